#include "tools/toolbar.h"

#include "style/tooltips.h"
#include "style/uiresources.h"
#include "tools/toolbarhandle.h"
#include "tools/toolbarlayout.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QGraphicsDropShadowEffect>
#include <QHelpEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

// Between the bar's edge and the first column, and the bar's frame width.
constexpr int Margin = 8;
constexpr int ColumnGap = 2;

using Cell = ToolBarLayout::Cell;

} // namespace

class ToolBar::ToolBarPrivate
{
public:
    explicit ToolBarPrivate(ToolBar *owner);

    ToolBar *m_owner;
    // Deleted with the bar: a bar that goes leaves no handle behind.
    QPointer<ToolBarHandle> m_handle;
    QGraphicsDropShadowEffect *m_shadow;
    // Left to right, top to bottom; a null entry is a spacer. No column is
    // empty and there are at most three. A deleted action turns into a
    // spacer rather than a dangling entry.
    QList<QList<QPointer<QAction>>> m_columns;
    QSvgRenderer m_clickArt;
    QSvgRenderer m_hoverArt;
    // Where each art's centre lies from the icon's, in unscaled pixels.
    QPointF m_clickOffset{0.0, 2.0};
    QPointF m_hoverOffset{1.0, 1.0};
    Cell m_hovered;
    Cell m_pressed;
    QPoint m_leftCenter;
    QPoint m_leftOffset;
    QPoint m_rightCenter;
    QPoint m_rightOffset;
    float m_scale = 1.0f;
    int m_halfColumnWidth = 20;
    int m_columnWidth = 40;
    int m_spacerHeight = 20;
    int m_actionHeight = 40;
    int m_iconSize = 32;

    void computeMetrics();
    void parse(const QString &layout);
    QSize barSize() const;
    int entryHeight(const QAction *entry) const { return entry ? m_actionHeight : m_spacerHeight; }
    int columnHeight(int column) const;
    int columnTop(int column) const;
    int columnLeft(int column) const { return Margin + (m_columnWidth + ColumnGap) * column; }
    Cell cellAt(QPointF point) const;
    QAction *actionAt(Cell cell) const;
    void drawArt(QPainter &painter, QSvgRenderer &art, QPointF iconCentre, QPointF offset) const;
};

ToolBar::ToolBarPrivate::ToolBarPrivate(ToolBar *owner)
    : m_owner(owner)
    , m_handle(new ToolBarHandle(owner->parentWidget()))
    , m_shadow(new QGraphicsDropShadowEffect(owner))
{
    registerUiResources();
    m_clickArt.load(QStringLiteral(":/toolbar/icon-click.svg"));
    m_hoverArt.load(QStringLiteral(":/toolbar/icon-hover.svg"));
    // A handle without a parent would be a window of its own.
    if (m_handle->parentWidget())
        m_handle->show();
    m_shadow->setOffset(0, 0);
    m_shadow->setColor(QColor(0, 0, 0, 170));
    computeMetrics();
}

void ToolBar::ToolBarPrivate::computeMetrics()
{
    const float s = Model::Settings::instance()->UIScale();
    m_scale = s;
    m_halfColumnWidth = int(20 * s);
    m_columnWidth = int(40 * s);
    m_spacerHeight = int(20 * s);
    m_actionHeight = int(40 * s);
    m_iconSize = int(32 * s);
    m_leftOffset = QPoint(int(32 * s), 0);
    m_rightOffset = QPoint(-int(32 * s), 0);
    m_shadow->setBlurRadius(int(70 * s));
}

void ToolBar::ToolBarPrivate::parse(const QString &layout)
{
    m_columns.clear();
    Model::ActionManager *actions = Model::ActionManager::instance();
    const QList<QStringList> columns = ToolBarLayout::barColumns(layout);
    for (const QStringList &names : columns) {
        QList<QPointer<QAction>> column;
        for (const QString &name : names)
            column.append(name == ToolBarLayout::SpacerName ? nullptr : actions->actionByName(name));
        m_columns.append(column);
    }
    m_hovered = Cell();
    m_pressed = Cell();
}

QSize ToolBar::ToolBarPrivate::barSize() const
{
    if (m_columns.isEmpty())
        return QSize(0, 0);
    int tallest = 0;
    for (int c = 0; c < m_columns.size(); ++c)
        tallest = std::max(tallest, columnHeight(c));
    return QSize(int(m_columns.size()) * (m_columnWidth + ColumnGap) + 14, tallest + 16);
}

int ToolBar::ToolBarPrivate::columnHeight(int column) const
{
    int height = 0;
    for (const QPointer<QAction> &entry : m_columns.at(column))
        height += entryHeight(entry);
    return height;
}

int ToolBar::ToolBarPrivate::columnTop(int column) const
{
    return (m_owner->height() - columnHeight(column)) / 2;
}

Cell ToolBar::ToolBarPrivate::cellAt(QPointF point) const
{
    if (point.x() < Margin)
        return {};
    const int x = int(std::lround(point.x())) - Margin;
    const int column = x / (m_columnWidth + ColumnGap);
    if (column >= m_columns.size() || x % (m_columnWidth + ColumnGap) >= m_columnWidth)
        return {};
    const int y = int(std::lround(point.y())) - columnTop(column);
    const int row = ToolBarLayout::rowAt(m_columns.at(column), y,
                                         [this](const QPointer<QAction> &entry) { return entryHeight(entry); });
    if (row < 0)
        return {};
    return {column, row};
}

QAction *ToolBar::ToolBarPrivate::actionAt(Cell cell) const
{
    if (!cell.isValid() || cell.column >= m_columns.size() || cell.row >= m_columns.at(cell.column).size())
        return nullptr;
    return m_columns.at(cell.column).at(cell.row);
}

void ToolBar::ToolBarPrivate::drawArt(QPainter &painter, QSvgRenderer &art, QPointF iconCentre,
                                      QPointF offset) const
{
    drawArtCentred(painter, art, iconCentre + offset * m_scale, m_scale);
}

ToolBar::ToolBar(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<ToolBarPrivate>(this))
{
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    connect(d->m_handle, &ToolBarHandle::toggled, this, &QWidget::setVisible);
    connect(d->m_handle, &ToolBarHandle::toggled, this, &ToolBar::toggled);
    connect(this, &ToolBar::opened, d->m_handle, &ToolBarHandle::setOpened);
    layOut();
    setGraphicsEffect(d->m_shadow);
}

ToolBar::~ToolBar()
{
    delete d->m_handle;
}

ToolBarHandle *ToolBar::handle() const
{
    return d->m_handle;
}

void ToolBar::setActionList(const QString &layout)
{
    d->parse(layout);
    layOut();
    update();
}

void ToolBar::setHandlePosition(KL::ToolBarPosition position)
{
    d->m_handle->setHandlePosition(position);
    layOut();
}

void ToolBar::updateUISize()
{
    d->computeMetrics();
    layOut();
    d->m_handle->updateUISize();
    update();
    updateGeometry();
}

void ToolBar::moveLeftAndRightCenter(QPoint leftCenter, QPoint rightCenter)
{
    d->m_leftCenter = leftCenter;
    d->m_rightCenter = rightCenter;
    layOut();
}

void ToolBar::layOut()
{
    d->m_handle->moveLeftAndRightCenter(d->m_leftCenter, d->m_rightCenter);
    resize(d->barSize());
    if (d->m_handle->handlePosition() == KL::ToolBarPosition::Right) {
        const QPoint anchor = d->m_rightCenter + d->m_rightOffset;
        move(anchor.x() - width(), anchor.y() - height() / 2);
    } else {
        const QPoint anchor = d->m_leftCenter + d->m_leftOffset;
        move(anchor.x(), anchor.y() - height() / 2);
    }
}

bool ToolBar::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const Cell cell = d->cellAt(help->pos());
    if (!cell.isValid())
        return answerToolTip(help, QString());
    // Over a spacer a tip that shows stays.
    if (QAction *action = d->actionAt(cell))
        return answerToolTip(help, action->toolTip());
    return true;
}

void ToolBar::mousePressEvent(QMouseEvent *event)
{
    d->m_pressed = d->cellAt(event->position());
    mouseMoveEvent(event);
    update();
}

void ToolBar::mouseReleaseEvent(QMouseEvent *event)
{
    const Cell pressed = d->m_pressed;
    if (pressed.isValid() && d->cellAt(event->position()) == pressed) {
        QAction *action = d->actionAt(pressed);
        if (action && action->isEnabled())
            action->activate(QAction::Trigger);
    }
    d->m_pressed = Cell();
    mouseMoveEvent(event);
    update();
}

void ToolBar::mouseMoveEvent(QMouseEvent *event)
{
    const Cell hovered = d->cellAt(event->position());
    if (hovered == d->m_hovered)
        return;
    d->m_hovered = hovered;
    update();
}

void ToolBar::paintEvent(QPaintEvent *)
{
    if (rect().isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(45, 41, 38, 170));
    painter.drawRoundedRect(QRectF(rect()), 5.0, 5.0);
    painter.setBrush(QColor(221, 216, 213));
    painter.drawRoundedRect(QRectF(rect().adjusted(7, 7, -7, -7)), 2.5, 2.5);

    for (int c = 0; c < d->m_columns.size(); ++c) {
        const QList<QPointer<QAction>> &entries = d->m_columns.at(c);
        int top = d->columnTop(c);
        for (int r = 0; r < entries.size(); ++r) {
            QAction *action = entries.at(r);
            const int entryTop = top;
            top += d->entryHeight(action);
            if (!action)
                continue;
            const Cell cell{c, r};
            const QPointF centre(d->m_halfColumnWidth + d->columnLeft(c), entryTop + d->m_spacerHeight);
            QRectF iconRect(0, 0, d->m_iconSize, d->m_iconSize);
            iconRect.moveCenter(centre);
            if (!action->isEnabled()) {
                painter.save();
                painter.setOpacity(painter.opacity() * 0.3);
                action->icon().paint(&painter, iconRect.toRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
                painter.restore();
                continue;
            }
            if (action->isChecked() || (cell == d->m_pressed && cell == d->m_hovered))
                d->drawArt(painter, d->m_clickArt, centre, d->m_clickOffset);
            action->icon().paint(&painter, iconRect.toRect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
            if (cell == d->m_pressed || (!d->m_pressed.isValid() && cell == d->m_hovered))
                d->drawArt(painter, d->m_hoverArt, centre, d->m_hoverOffset);
        }
    }
}

void ToolBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Q_EMIT opened(true);
}

void ToolBar::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    Q_EMIT opened(false);
}

} // namespace UI
