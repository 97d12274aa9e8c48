#include "customize/customizetoolbar.h"

#include "customize/actiondrag.h"
#include "style/tooltips.h"
#include "style/uiresources.h"
#include "tools/toolbarlayout.h"

#include "actions/actionmanager.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>
#include <QSvgRenderer>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

using Entry = Model::ActionManager::ActionEntry *;

// Unscaled pixels.
constexpr int Margin = 8;
constexpr int ColumnWidth = 40;
constexpr int ColumnPitch = 42;
constexpr int ActionHeight = 40;
constexpr int SpacerHeight = 20;
constexpr int IconSize = 32;
// Room a column keeps free under and over its entries; a column may grow
// to the editor's height less this (twelve actions in 496 px).
constexpr int ColumnRoom = 16;
// What a column must have free to take a placeholder that is not in it yet.
constexpr int ActionRoom = 32;
constexpr int SpacerRoom = 16;
// How far from its middle an entry counts as its own when the placeholder
// of a drag passes it.
constexpr int ActionReach = 16;
constexpr int SpacerReach = 8;
constexpr int ShadowReach = 75;
constexpr int ShadowInside = 28;
constexpr int FlashMs = 333;
const QSize EditorSize(141, 496);

using Cell = ToolBarLayout::Cell;

int rounded(double value)
{
    return int(std::lround(value));
}

void setShadowStops(QGradient &gradient)
{
    const QColor shadow(45, 41, 38);
    const std::pair<double, int> stops[] = {{0.0, 90}, {0.4, 60}, {0.6, 25}, {0.75, 10}, {1.0, 0}};
    for (const auto &stop : stops) {
        QColor colour = shadow;
        colour.setAlpha(stop.second);
        gradient.setColorAt(stop.first, colour);
    }
}

} // namespace

class CustomizeToolBar::CustomizeToolBarPrivate
{
public:
    explicit CustomizeToolBarPrivate(CustomizeToolBar *owner);

    CustomizeToolBar *m_owner;
    // Left to right, top to bottom; null is a spacer. The entries belong to
    // the action registry, which outlives every widget.
    QList<QList<Entry>> m_columns;
    QSvgRenderer m_iconFrameArt;
    QSvgRenderer m_clickArt;
    QSvgRenderer m_hoverArt;
    QSvgRenderer m_spacerLineArt;
    QSvgRenderer m_spacerArt;
    QSvgRenderer m_spacerClickArt;
    // Where each art's centre lies from the entry's.
    QPointF m_clickOffset{0.0, 2.0};
    QPointF m_hoverOffset{1.0, 1.0};
    QPointF m_spacerClickOffset{0.0, 2.0};
    QLinearGradient m_edgeGradient;
    QRadialGradient m_cornerGradient;
    QTimer m_flashTimer;
    Cell m_hovered;
    // Where the placeholder of a drag over the editor stands.
    Cell m_insertPoint;
    Cell m_flash;
    ActionDrag::Gesture m_gesture;
    // What a drag over the editor would insert (null: a spacer).
    Entry m_draggedEntry = nullptr;
    // The entry of a drag out while it runs, and where it came from.
    bool m_takenOut = false;
    Entry m_takenEntry = nullptr;
    Cell m_takenFrom;

    static int entryHeight(Entry entry) { return entry ? ActionHeight : SpacerHeight; }
    bool exists(Cell cell) const;
    Entry entryAt(Cell cell) const { return m_columns.at(cell.column).at(cell.row); }
    // An empty column counts as -1 high, so that it is centred like a column
    // of nothing and offers its first row to every point.
    int columnHeight(int column) const;
    int columnTop(int column) const { return (m_owner->height() - columnHeight(column)) / 2; }
    QPointF entryCentre(Cell cell) const;
    QRect barRect() const;
    int columnAt(QPointF point) const;
    Cell cellAt(QPointF point) const;
    Cell insertPointFor(QPointF point) const;
    void insert(Cell cell, Entry entry);
    void takeOut(Cell cell);
    void paintEntry(QPainter &painter, Cell cell, QPointF centre);
};

CustomizeToolBar::CustomizeToolBarPrivate::CustomizeToolBarPrivate(CustomizeToolBar *owner)
    : m_owner(owner)
    , m_columns(ToolBarLayout::ColumnCount)
{
    registerUiResources();
    m_iconFrameArt.load(QStringLiteral(":/customize/iconFrame.svg"));
    m_clickArt.load(QStringLiteral(":/toolbar/icon-click.svg"));
    m_hoverArt.load(QStringLiteral(":/toolbar/icon-hover.svg"));
    m_spacerLineArt.load(QStringLiteral(":/customize/iconSpacerLine.svg"));
    m_spacerArt.load(QStringLiteral(":/customize/iconSpacerNoLine.svg"));
    m_spacerClickArt.load(QStringLiteral(":/customize/iconSpacer-click.svg"));
    setShadowStops(m_edgeGradient);
    setShadowStops(m_cornerGradient);
    m_flashTimer.setSingleShot(true);
    m_flashTimer.setInterval(FlashMs);
}

bool CustomizeToolBar::CustomizeToolBarPrivate::exists(Cell cell) const
{
    return cell.column >= 0 && cell.column < m_columns.size() && cell.row >= 0
        && cell.row < m_columns.at(cell.column).size();
}

int CustomizeToolBar::CustomizeToolBarPrivate::columnHeight(int column) const
{
    const QList<Entry> &entries = m_columns.at(column);
    if (entries.isEmpty())
        return -1;
    int height = 0;
    for (Entry entry : entries)
        height += entryHeight(entry);
    return height;
}

QPointF CustomizeToolBar::CustomizeToolBarPrivate::entryCentre(Cell cell) const
{
    int top = columnTop(cell.column);
    const QList<Entry> &entries = m_columns.at(cell.column);
    for (int r = 0; r < cell.row; ++r)
        top += entryHeight(entries.at(r));
    return QPointF(Margin + ColumnWidth / 2 + ColumnPitch * cell.column, top + entryHeight(entries.at(cell.row)) / 2);
}

QRect CustomizeToolBar::CustomizeToolBarPrivate::barRect() const
{
    int first = -1;
    int last = -1;
    int tallest = 0;
    for (int c = 0; c < m_columns.size(); ++c) {
        if (m_columns.at(c).isEmpty())
            continue;
        if (first < 0)
            first = c;
        last = c;
        tallest = std::max(tallest, columnHeight(c));
    }
    if (first < 0)
        return QRect();
    return QRect(ColumnPitch * first, (m_owner->height() - tallest) / 2 - Margin,
                 ColumnPitch * (last - first) + ColumnWidth + 2 * Margin, tallest + 2 * Margin);
}

int CustomizeToolBar::CustomizeToolBarPrivate::columnAt(QPointF point) const
{
    if (point.x() < Margin)
        return -1;
    const int x = rounded(point.x()) - Margin;
    const int column = x / ColumnPitch;
    if (column < 0 || column >= m_columns.size() || x - ColumnPitch * column >= ColumnWidth)
        return -1;
    return column;
}

Cell CustomizeToolBar::CustomizeToolBarPrivate::cellAt(QPointF point) const
{
    const int column = columnAt(point);
    if (column < 0)
        return {};
    const int row = ToolBarLayout::rowAt(m_columns.at(column), rounded(point.y()) - columnTop(column), entryHeight);
    if (row < 0)
        return {};
    return {column, row};
}

Cell CustomizeToolBar::CustomizeToolBarPrivate::insertPointFor(QPointF point) const
{
    const int column = columnAt(point);
    if (column < 0)
        return {};
    const bool placed = m_insertPoint.column == column;
    int height = columnHeight(column);
    if (!placed)
        height += m_draggedEntry ? ActionRoom : SpacerRoom;
    if (height > m_owner->height() - ColumnRoom)
        return {};

    const int count = int(m_columns.at(column).size());
    const int y = rounded(point.y()) - columnTop(column);
    if (y < 0)
        return {column, 0};
    if (y >= columnHeight(column)) {
        // Below the column: its end. A placeholder already in it is its last
        // entry; one from elsewhere goes after the last entry.
        return {column, placed ? std::max(count - 1, 0) : count};
    }
    if (placed) {
        // The placeholder moves onto a neighbour only once the pointer is
        // well into it, so that it does not flicker between two rows.
        const Cell under = cellAt(point);
        if (!under.isValid())
            return m_insertPoint;
        const int dragged = m_draggedEntry ? ActionReach : SpacerReach;
        const int neighbour = entryAt(under) ? ActionReach : SpacerReach;
        const double centre = entryCentre(under).y();
        if (under.row < m_insertPoint.row)
            return point.y() < centre - neighbour + dragged ? under : m_insertPoint;
        if (under.row == m_insertPoint.row)
            return under;
        return point.y() > centre - dragged + neighbour ? under : m_insertPoint;
    }
    return cellAt(QPointF(point.x(), point.y() - 10));
}

void CustomizeToolBar::CustomizeToolBarPrivate::insert(Cell cell, Entry entry)
{
    if (cell.column < 0 || cell.column >= m_columns.size() || cell.row < 0
        || cell.row > m_columns.at(cell.column).size())
        return;
    m_columns[cell.column].insert(cell.row, entry);
}

void CustomizeToolBar::CustomizeToolBarPrivate::takeOut(Cell cell)
{
    if (exists(cell))
        m_columns[cell.column].removeAt(cell.row);
}

void CustomizeToolBar::CustomizeToolBarPrivate::paintEntry(QPainter &painter, Cell cell, QPointF centre)
{
    const Entry entry = entryAt(cell);
    QRectF iconRect(0, 0, IconSize, IconSize);
    iconRect.moveCenter(centre);
    if (entry && cell == m_flash) {
        drawArtCentred(painter, m_clickArt, centre + m_clickOffset);
        entry->defaultIcon.paint(&painter, iconRect.toRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
        drawArtCentred(painter, m_hoverArt, centre + m_hoverOffset);
    } else if (cell == m_insertPoint) {
        drawArtCentred(painter, entry ? m_iconFrameArt : m_spacerLineArt, centre);
    } else if (entry) {
        entry->defaultIcon.paint(&painter, iconRect.toRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
        if (cell == m_hovered)
            drawArtCentred(painter, m_hoverArt, centre + m_hoverOffset);
    } else {
        drawArtCentred(painter, m_spacerArt, centre);
        if (cell == m_flash) {
            drawArtCentred(painter, m_spacerClickArt, centre + m_spacerClickOffset);
            drawArtCentred(painter, m_spacerLineArt, centre);
            drawArtCentred(painter, m_hoverArt, centre + m_hoverOffset);
        } else if (cell == m_hovered) {
            drawArtCentred(painter, m_hoverArt, centre + m_hoverOffset);
        }
    }
}

CustomizeToolBar::CustomizeToolBar(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<CustomizeToolBarPrivate>(this))
{
    setAttribute(Qt::WA_NoSystemBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumSize(EditorSize);
    setMouseTracking(true);
    setAcceptDrops(true);
    connect(&d->m_flashTimer, &QTimer::timeout, this, [this] {
        d->m_flash = Cell();
        update();
    });
}

CustomizeToolBar::~CustomizeToolBar() = default;

void CustomizeToolBar::setActionList(const QString &layout)
{
    Model::ActionManager *actions = Model::ActionManager::instance();
    d->m_columns.clear();
    for (const QStringList &names : ToolBarLayout::columns(layout)) {
        QList<Entry> column;
        for (const QString &name : names)
            column.append(name == ToolBarLayout::SpacerName ? nullptr : actions->actionEntry(name));
        d->m_columns.append(column);
    }
    d->m_hovered = Cell();
    d->m_flash = Cell();
    updateGeometry();
    announceShadow();
    update();
}

QString CustomizeToolBar::actionList() const
{
    return ToolBarLayout::write(columns());
}

QList<QStringList> CustomizeToolBar::columns() const
{
    QList<QStringList> names;
    for (const QList<Entry> &entries : d->m_columns) {
        QStringList column;
        for (Entry entry : entries) {
            if (!entry) {
                column.append(ToolBarLayout::SpacerName);
                continue;
            }
            const QVariant name = entry->action ? entry->action->property("KLActionName") : QVariant();
            if (name.isValid())
                column.append(name.toString());
        }
        names.append(column);
    }
    return names;
}

void CustomizeToolBar::paintShadow(QPainter *painter)
{
    const QRectF bar(d->barRect());
    if (bar.isEmpty())
        return;
    painter->save();
    painter->setPen(Qt::NoPen);
    const double reach = ShadowReach;
    const double outside = ShadowReach - ShadowInside;
    const double inside = ShadowInside;
    const QRectF left(bar.left() - outside, bar.top() + inside, reach, bar.height() - 2 * inside);
    const QRectF right(bar.right() - inside, bar.top() + inside, reach, bar.height() - 2 * inside);
    const QRectF top(bar.left() + inside, bar.top() - outside, bar.width() - 2 * inside, reach);
    const QRectF bottom(bar.left() + inside, bar.bottom() - inside, bar.width() - 2 * inside, reach);
    const auto edge = [&](const QRectF &part, QPointF from, QPointF to) {
        d->m_edgeGradient.setStart(from);
        d->m_edgeGradient.setFinalStop(to);
        painter->fillRect(part, d->m_edgeGradient);
    };
    edge(left, left.topRight(), left.topLeft());
    edge(right, right.topLeft(), right.topRight());
    edge(top, top.bottomLeft(), top.topLeft());
    edge(bottom, bottom.topLeft(), bottom.bottomLeft());

    const QSizeF corner(reach, reach);
    const auto cornerPart = [&](QPointF topLeft, QPointF centre) {
        d->m_cornerGradient.setCenter(centre);
        d->m_cornerGradient.setFocalPoint(centre);
        d->m_cornerGradient.setRadius(reach);
        painter->fillRect(QRectF(topLeft, corner), d->m_cornerGradient);
    };
    const QRectF topLeft(QPointF(bar.left() - outside, bar.top() - outside), corner);
    const QRectF topRight(QPointF(bar.right() - inside, bar.top() - outside), corner);
    const QRectF bottomLeft(QPointF(bar.left() - outside, bar.bottom() - inside), corner);
    const QRectF bottomRight(QPointF(bar.right() - inside, bar.bottom() - inside), corner);
    cornerPart(topLeft.topLeft(), topLeft.bottomRight());
    cornerPart(topRight.topLeft(), topRight.bottomLeft());
    cornerPart(bottomLeft.topLeft(), bottomLeft.topRight());
    cornerPart(bottomRight.topLeft(), bottomRight.topLeft());
    painter->restore();
}

QString CustomizeToolBar::takeOutForDrag(int column, int row)
{
    const Cell cell{column, row};
    if (d->m_takenOut || !d->exists(cell))
        return {};
    const Entry entry = d->entryAt(cell);
    QString name = ToolBarLayout::SpacerName;
    if (entry) {
        const QVariant property = entry->action ? entry->action->property("KLActionName") : QVariant();
        if (!property.isValid() || property.toString().isEmpty())
            return {};
        name = property.toString();
    }
    d->m_takenOut = true;
    d->m_takenEntry = entry;
    d->m_takenFrom = cell;
    d->takeOut(cell);
    d->m_hovered = Cell();
    announceShadow();
    update();
    return name;
}

void CustomizeToolBar::finishDrag(Qt::DropAction result)
{
    if (!d->m_takenOut)
        return;
    d->m_takenOut = false;
    if (result != Qt::MoveAction) {
        // A placeholder that the drag left behind goes first, so that the
        // entry finds its column as it left it.
        if (d->m_insertPoint.isValid()) {
            d->takeOut(d->m_insertPoint);
            d->m_insertPoint = Cell();
        }
        Cell back = d->m_takenFrom;
        back.row = std::min(back.row, int(d->m_columns.at(back.column).size()));
        d->insert(back, d->m_takenEntry);
    }
    d->m_takenEntry = nullptr;
    d->m_takenFrom = Cell();
    announceShadow();
    update();
}

QSize CustomizeToolBar::sizeHint() const
{
    return EditorSize;
}

QSize CustomizeToolBar::minimumSizeHint() const
{
    return EditorSize;
}

void CustomizeToolBar::announceShadow()
{
    Q_EMIT shadowUpdateNeeded(QRect(mapToGlobal(QPoint(-50, -50)), size() + QSize(100, 100)));
}

bool CustomizeToolBar::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const Cell cell = d->cellAt(help->pos());
    const Entry entry = cell.isValid() ? d->entryAt(cell) : nullptr;
    return answerToolTip(help, entry && entry->action ? entry->action->toolTip() : QString());
}

void CustomizeToolBar::mousePressEvent(QMouseEvent *event)
{
    d->m_gesture.press(event);
}

void CustomizeToolBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        const Cell hovered = d->cellAt(event->position());
        if (hovered != d->m_hovered) {
            d->m_hovered = hovered;
            update();
        }
        return;
    }
    if (!d->m_gesture.startsDrag(event))
        return;
    const Cell cell = d->cellAt(d->m_gesture.pressPosition());
    if (!cell.isValid())
        return;
    const QString name = takeOutForDrag(cell.column, cell.row);
    if (name.isEmpty())
        return;
    const Entry entry = d->m_takenEntry;
    const Qt::DropAction result =
        entry ? ActionDrag::exec(this, name, true, ActionDrag::actionPixmap(*entry), QPoint(16, 16), Qt::MoveAction)
              : ActionDrag::exec(this, name, true, ActionDrag::spacerPixmap(), QPoint(16, 8), Qt::MoveAction);
    finishDrag(result);
}

void CustomizeToolBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    const auto drawFrame = [&painter](const QRectF &rect) {
        painter.setBrush(QColor(45, 41, 38, 170));
        painter.drawRoundedRect(rect, 5, 5);
        painter.setBrush(QColor(221, 216, 213));
        painter.drawRoundedRect(rect.adjusted(7, 7, -7, -7), 2.5, 2.5);
    };
    // A faint outline of the room there is.
    const qreal opacity = painter.opacity();
    painter.setOpacity(0.05);
    drawFrame(QRectF(rect()));
    painter.setOpacity(opacity);
    const QRect bar = d->barRect();
    if (!bar.isEmpty())
        drawFrame(QRectF(bar));

    for (int c = 0; c < d->m_columns.size(); ++c) {
        for (int r = 0; r < d->m_columns.at(c).size(); ++r)
            d->paintEntry(painter, Cell{c, r}, d->entryCentre(Cell{c, r}));
    }
}

void CustomizeToolBar::resizeEvent(QResizeEvent *)
{
}

void CustomizeToolBar::dragEnterEvent(QDragEnterEvent *event)
{
    const ActionDrag::Payload payload = ActionDrag::read(event->mimeData());
    if (!payload.valid) {
        event->ignore();
        return;
    }
    d->m_draggedEntry = payload.entry;
    event->acceptProposedAction();
}

void CustomizeToolBar::dragMoveEvent(QDragMoveEvent *event)
{
    const Cell old = d->m_insertPoint;
    const Cell point = d->insertPointFor(event->position());
    if (!point.isValid()) {
        if (old.isValid())
            d->takeOut(old);
        else
            event->ignore();
    } else {
        if (!old.isValid()) {
            d->insert(point, d->m_draggedEntry);
        } else if (old.column != point.column) {
            d->takeOut(old);
            d->insert(point, d->m_draggedEntry);
        } else if (old != point) {
            // The placeholder moves to the new row and the entries between
            // close up behind it; from one row to the next that is a swap.
            d->m_columns[point.column].move(old.row, point.row);
        }
        event->acceptProposedAction();
    }
    d->m_insertPoint = point;
    if (point != old) {
        update();
        announceShadow();
    }
}

void CustomizeToolBar::dragLeaveEvent(QDragLeaveEvent *)
{
    if (!d->m_insertPoint.isValid())
        return;
    d->takeOut(d->m_insertPoint);
    d->m_insertPoint = Cell();
    d->m_draggedEntry = nullptr;
    update();
    announceShadow();
}

void CustomizeToolBar::dropEvent(QDropEvent *event)
{
    // The placeholder already stands where the entry lands and stays as the
    // entry; without one (no move came before the drop) nothing is taken.
    if (d->m_insertPoint.isValid() && ActionDrag::read(event->mimeData()).valid) {
        event->acceptProposedAction();
        d->m_flash = d->m_insertPoint;
        d->m_flashTimer.start();
    } else {
        event->ignore();
        d->takeOut(d->m_insertPoint);
    }
    if (d->m_insertPoint.isValid()) {
        d->m_insertPoint = Cell();
        update();
        announceShadow();
    }
    d->m_draggedEntry = nullptr;
}

} // namespace UI
