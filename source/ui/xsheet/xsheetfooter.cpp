#include "xsheet/xsheetfooter.h"

#include "style/tooltips.h"
#include "xsheet/xsheetchrome.h"
#include "commandconventions.h"

#include "layers/layer.h"
#include "scene/scenegesture.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "tools/toolcursors.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>

#include <cmath>

namespace UI {

namespace {

using Role = Model::SceneModel::Role;

QLinearGradient verticalGradient(double top, double bottom, const QList<QPair<double, QColor>> &stops)
{
    QLinearGradient gradient(0, top, 0, bottom);
    for (const auto &stop : stops)
        gradient.setColorAt(stop.first, stop.second);
    return gradient;
}

} // namespace

class XSheetFooterPrivate
{
public:
    explicit XSheetFooterPrivate(XSheetFooter *owner)
        : q(owner)
    {
    }

    void updateMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_bandHeight = int(28 * s);
        m_stripHeight = int(15 * s);
        m_checkerCell = int(3 * s);
        const int h1 = m_stripHeight;
        const int h2 = m_bandHeight;
        m_bandGradient = verticalGradient(
            h1 + 1, h2 + h1, {{0, QColor(102, 99, 95)}, {0.5, QColor(100, 96, 92)}, {1, QColor(91, 87, 83)}});
        m_stripGradient = verticalGradient(1, h1, {{0, QColor(105, 101, 97)}, {1, QColor(88, 84, 80)}});
        m_checkerLightGradient = verticalGradient(1, h1, {{0, QColor(119, 115, 111)}, {1, QColor(101, 97, 92)}});
        m_checkerDarkGradient = verticalGradient(1, h1, {{0, QColor(95, 92, 89)}, {1, QColor(77, 74, 71)}});
    }

    int kind(int section) const { return SheetChrome::columnKind(q->model(), section); }

    // Columns of the visual layers (kinds 1 to 3) have an opacity.
    bool isOpacityColumn(int section) const
    {
        const int kind = this->kind(section);
        return kind >= Model::Layer::StrokeLayerType && kind <= Model::Layer::ReferenceLayerType;
    }

    bool inBand(QPointF position) const
    {
        return position.y() > m_stripHeight && q->logicalIndexAt(position.toPoint()) >= 0;
    }

    // The drag cursor is set on the sheet around the footer, so that it
    // shows over the whole strip while a column is dragged.
    QWidget *cursorHolder() const { return q->parentWidget() ? q->parentWidget() : q; }

    void setDragCursor()
    {
        cursorHolder()->setCursor(Model::sharedCursor(Model::SharedCursor::DragLeftRight));
        m_cursorSet = true;
    }

    void restoreCursor()
    {
        cursorHolder()->setCursor(Model::sharedCursor(Model::SharedCursor::Arrow));
        m_cursorSet = false;
    }

    // Stripes of one cell across and down the strip; filled odd-even, their
    // crossings cancel to a checkerboard. The phase keeps it fixed to the
    // columns while they scroll.
    QPainterPath checkerPath(const QRect &strip, int cell, int phase) const
    {
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        for (QRect row(strip.left(), strip.top() + cell, strip.width(), cell); strip.bottom() > row.top();
             row.translate(0, 2 * cell))
            path.addRect(row);
        const int m = (strip.left() + phase) % (2 * cell);
        for (QRect column(strip.left() - m + cell, strip.top(), cell, strip.height()); strip.right() > column.left();
             column.translate(2 * cell, 0))
            path.addRect(column);
        return path;
    }

    void paintSeparatorLines(QPainter *painter, const QRect &rect) const
    {
        painter->setPen(QColor(114, 110, 107));
        const double top = rect.top() + 0.5;
        const double stripBottom = rect.top() + m_stripHeight + 0.5;
        painter->drawLine(QPointF(rect.left(), top), QPointF(rect.left() + rect.width(), top));
        painter->drawLine(QPointF(rect.left(), stripBottom), QPointF(rect.left() + rect.width(), stripBottom));
    }

    XSheetFooter *q;
    QLinearGradient m_bandGradient;
    QLinearGradient m_stripGradient;
    QLinearGradient m_checkerLightGradient;
    QLinearGradient m_checkerDarkGradient;
    int m_bandHeight = 28;
    int m_stripHeight = 15;
    int m_checkerCell = 3;
    bool m_cursorSet = false;
    // The opacity strip where the left button went down, or -1: a click
    // asks for the pop-up only when it also began there, so that a column
    // dragged and let go over the strip does not open it.
    int m_pressedStrip = -1;
    // The left button went down here and is still held.
    bool m_pressed = false;
    // The press took a column to move: where, and whether the pointer has
    // gone far enough sideways since to drag it.
    bool m_columnHeld = false;
    double m_pressX = 0.0;
    QPointF m_lastPosition;
    bool m_columnDragged = false;
    // The column drag, which ends in a step.
    Model::SceneGesture m_gesture;
    // The context menu that ends a column drag is no request for a menu.
    bool m_abandoning = false;
};

XSheetFooter::XSheetFooter(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , d(std::make_unique<XSheetFooterPrivate>(this))
{
    d->updateMetrics();
    setFixedHeight(d->m_stripHeight + d->m_bandHeight);
    // As wide as the header's sections, which follow the size hints alone.
    setMinimumSectionSize(1);
    setSectionResizeMode(QHeaderView::ResizeToContents);
    setSectionsMovable(false);
}

XSheetFooter::~XSheetFooter() = default;

void XSheetFooter::updateUISize()
{
    d->updateMetrics();
    setFixedHeight(d->m_stripHeight + d->m_bandHeight);
    update();
    updateGeometry();
}

bool XSheetFooter::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QHeaderView::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const int section = logicalIndexAt(help->pos());
    const int y = help->pos().y();
    QString text;
    if (section >= 0 && d->isOpacityColumn(section) && y < d->m_stripHeight) {
        text = tr("Layer Opacity");
    } else if (section >= 0 && y > d->m_stripHeight) {
        const int kind = d->kind(section);
        text = kind == Model::Layer::AudioLayerType || kind == Model::Layer::AnnotationLayerType
            ? tr("Arrange Column")
            : tr("Arrange Layer");
    }
    return answerToolTip(help, text);
}

bool XSheetFooter::dragsColumn() const
{
    return d->m_columnDragged;
}

void XSheetFooter::abandonPress()
{
    d->m_pressedStrip = -1;
    if (!d->m_pressed)
        return;
    d->m_pressed = d->m_columnHeld = d->m_columnDragged = false;
    // A header view drops a column drag, with its floating picture of the
    // column, when a context menu is asked for over it.
    const QScopedValueRollback<bool> abandoning(d->m_abandoning, true);
    QContextMenuEvent ending(QContextMenuEvent::Other, QPoint(), QPoint());
    QCoreApplication::sendEvent(viewport(), &ending);
    d->m_gesture.drop();
}

void XSheetFooter::releaseLost()
{
    if (!d->m_columnDragged) {
        abandonPress();
        return;
    }
    const QPointF at = d->m_lastPosition;
    QMouseEvent release(QEvent::MouseButtonRelease, at, viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    mouseReleaseEvent(&release);
}

void XSheetFooter::mousePressEvent(QMouseEvent *event)
{
    const int section = logicalIndexAt(event->position().toPoint());
    d->m_pressedStrip = event->button() == Qt::LeftButton && event->position().y() < d->m_stripHeight ? section : -1;
    if (event->button() == Qt::LeftButton) {
        d->m_pressed = true;
        d->m_columnHeld = sectionsMovable() && section >= 0;
        d->m_pressX = event->position().x();
        d->m_lastPosition = event->position();
        d->m_columnDragged = false;
    }
    QHeaderView::mousePressEvent(event);
}

void XSheetFooter::mouseMoveEvent(QMouseEvent *event)
{
    if (d->m_columnHeld && (event->buttons() & Qt::LeftButton)
        && std::abs(event->position().x() - d->m_pressX) >= QApplication::startDragDistance()) {
        d->m_columnDragged = true;
        d->m_gesture.begin(Commands::historyText("Move Layer", "Commands::MoveLayer"));
    }
    if (event->buttons() & Qt::LeftButton)
        d->m_lastPosition = event->position();
    if (d->inBand(event->position())) {
        setSectionsMovable(true);
        if (!d->m_cursorSet)
            d->setDragCursor();
    } else {
        setSectionsMovable(false);
        if (d->m_cursorSet && !(event->buttons() & Qt::LeftButton))
            d->restoreCursor();
    }
    QHeaderView::mouseMoveEvent(event);
}

void XSheetFooter::mouseReleaseEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::RightButton)) {
        const int section = logicalIndexAt(event->position().toPoint());
        const double y = event->position().y();
        if ((y <= d->m_stripHeight || section < 0) && d->m_cursorSet)
            d->restoreCursor();
        if (section >= 0 && d->isOpacityColumn(section) && y < d->m_stripHeight && section == d->m_pressedStrip)
            Q_EMIT opacityClicked(section);
    }
    d->m_pressedStrip = -1;
    if (!(event->buttons() & Qt::LeftButton))
        d->m_pressed = d->m_columnHeld = d->m_columnDragged = false;
    QHeaderView::mouseReleaseEvent(event);
    if (!(event->buttons() & Qt::LeftButton))
        d->m_gesture.end();
}

void XSheetFooter::enterEvent(QEnterEvent *event)
{
    if (d->inBand(event->position()) && !d->m_cursorSet)
        d->setDragCursor();
    QHeaderView::enterEvent(event);
}

void XSheetFooter::leaveEvent(QEvent *event)
{
    if (d->m_cursorSet)
        d->restoreCursor();
    QHeaderView::leaveEvent(event);
}

void XSheetFooter::contextMenuEvent(QContextMenuEvent *event)
{
    if (d->m_abandoning)
        return;
    const int section = logicalIndexAt(event->pos());
    Q_EMIT rightClickedLayer(SheetChrome::visualLayerOrNone(model(), section), event->globalPos());
}

void XSheetFooter::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const int section = logicalIndex;
    const int h1 = d->m_stripHeight;
    const QRect strip(rect.left(), rect.top(), rect.width(), h1);
    if (d->isOpacityColumn(section)) {
        QColor color = SheetChrome::columnData(model(), section, Role::ColorRole).value<QColor>();
        color.setAlphaF(float(SheetChrome::columnData(model(), section, Role::OpacityRole).toDouble()));
        painter->fillRect(strip, d->m_checkerLightGradient);
        const int cell = d->m_checkerCell;
        // A scale too small for a checker cell leaves the light ground.
        if (cell > 0) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(d->m_checkerDarkGradient);
            painter->drawPath(d->checkerPath(strip, cell, offset()));
        }
        // The colour covers the right half with a slanted edge, so that the
        // checkerboard shows beside it and through it.
        const double middle = rect.left() + rect.width() / 2;
        QPainterPath swatch(QPointF(middle - 6, rect.top()));
        swatch.lineTo(rect.right(), rect.top());
        swatch.lineTo(rect.right(), rect.top() + h1);
        swatch.lineTo(middle + 6, rect.top() + h1);
        swatch.closeSubpath();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->fillPath(swatch, color);
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->fillRect(QRect(strip.right(), strip.top(), 1, h1), d->m_stripGradient);
    } else {
        painter->fillRect(strip, d->m_stripGradient);
    }

    const QRect band = rect.adjusted(0, h1, 0, 0);
    painter->fillRect(band, d->m_bandGradient);

    // The grip: three short bars in the middle of the band.
    const double s = Model::Settings::instance()->UIScale();
    const QPointF centre = QRectF(band).center();
    painter->setPen(QColor(64, 64, 64));
    for (int k : {-5, 0, 5}) {
        const double x = centre.x() + k * s;
        painter->drawLine(QPointF(x, centre.y() - 3 * s), QPointF(x, centre.y() + 6 * s));
    }

    if (width() > sectionViewportPosition(section) + sectionSize(section)) {
        painter->setPen(QColor(0, 0, 0, 64));
        painter->drawLine(QPointF(rect.right() + 0.5, rect.top()), QPointF(rect.right() + 0.5, rect.top() + rect.height()));
    }
    d->paintSeparatorLines(painter, rect);
}

void XSheetFooter::paintEmptyArea(QPainter *painter, const QRect &rect) const
{
    painter->fillRect(rect.adjusted(0, d->m_stripHeight, 0, 0), d->m_bandGradient);
    painter->fillRect(QRect(rect.left(), rect.top(), rect.width(), d->m_stripHeight), d->m_stripGradient);
    d->paintSeparatorLines(painter, rect);
}

} // namespace UI
