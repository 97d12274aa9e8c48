#include "xsheet/opacityslider.h"

#include "style/tooltips.h"
#include "xsheet/opacityslidergraphicseffect.h"

#include <QHelpEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <cmath>

namespace UI {

namespace {

constexpr int Width = 44;
constexpr int Height = 112;
constexpr int CheckerStep = 3;

QLinearGradient verticalGradient(const QColor &top, const QColor &bottom)
{
    QLinearGradient gradient(0, 1, 0, Height);
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    return gradient;
}

// Stripes across and down of one step, every second step; where they cross
// the odd-even rule leaves a checkerboard of squares.
QPainterPath checkerPath(const QRect &rect)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (int y = rect.top() + CheckerStep; y <= rect.bottom(); y += 2 * CheckerStep)
        path.addRect(rect.left(), y, rect.width(), CheckerStep);
    for (int x = rect.left() + CheckerStep; x <= rect.right(); x += 2 * CheckerStep)
        path.addRect(x, rect.top(), CheckerStep, rect.height());
    return path;
}

} // namespace

class OpacitySlider::OpacitySliderPrivate
{
public:
    // Where the pointer is still within reach: the slider grown by its own
    // width to either side and its own height above and below.
    bool inReach(QPoint point) const { return m_dragZone.contains(point); }
    void reachAround(const QRect &rect)
    {
        m_dragZone = rect.adjusted(-rect.width(), -rect.height(), rect.width(), rect.height());
    }

    static double levelAt(int y)
    {
        const double level = 1.0 - double(y) / Height;
        if (level > 0.95)
            return 1.0;
        if (level < 0.05)
            return 0.0;
        return level;
    }

    int m_layerIdx = -1;
    double m_opacity = 1.0;
    double m_shown = 1.0;
    QColor m_color;
    bool m_pressed = false;
    // Where the pointer was last seen during the drag.
    QPoint m_lastPoint;
    bool m_emitting = false;
    QRect m_dragZone;
    QLinearGradient m_background = verticalGradient(QColor(119, 115, 111), QColor(101, 97, 92));
    QLinearGradient m_checkerBrush = verticalGradient(QColor(95, 92, 89), QColor(77, 74, 71));
    QPainterPath m_checker = checkerPath(QRect(0, 0, Width, Height));
};

OpacitySlider::OpacitySlider(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<OpacitySliderPrivate>())
{
    setFixedSize(Width, Height);
    d->reachAround(rect());
    setFocusPolicy(Qt::ClickFocus);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, Width, Height), 4, 4);
    setMask(QRegion(outline.toFillPolygon().toPolygon()));
    setGraphicsEffect(new OpacitySliderGraphicsEffect(this));
}

OpacitySlider::~OpacitySlider() = default;

int OpacitySlider::layerIdx() const
{
    return d->m_layerIdx;
}

double OpacitySlider::opacity() const
{
    return d->m_opacity;
}

double OpacitySlider::shownOpacity() const
{
    return d->m_shown;
}

void OpacitySlider::setLayerIdx(int layerIdx)
{
    d->m_layerIdx = layerIdx;
}

void OpacitySlider::setColor(const QColor &color)
{
    if (color == d->m_color)
        return;
    d->m_color = color;
    update();
}

void OpacitySlider::setOpacity(double opacity)
{
    // Compared plus one, so that 0 compares sensibly.
    if (d->m_emitting || qFuzzyCompare(opacity + 1.0, d->m_opacity + 1.0))
        return;
    d->m_opacity = opacity;
    d->m_shown = opacity;
    update();
}

bool OpacitySlider::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        return answerToolTip(static_cast<QHelpEvent *>(event), tr("Set Layer Opacity"));
    return QWidget::event(event);
}

void OpacitySlider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), d->m_background);
    painter.setPen(Qt::NoPen);
    painter.setBrush(d->m_checkerBrush);
    painter.drawPath(d->m_checker);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int top = int((1.0 - d->m_shown) * Height);
    painter.fillRect(QRect(0, top, Width, Height - top), d->m_color);
}

void OpacitySlider::mousePressEvent(QMouseEvent *event)
{
    d->m_pressed = true;
    mouseMoveEvent(event);
}

void OpacitySlider::mouseMoveEvent(QMouseEvent *event)
{
    if (!d->m_pressed)
        return;
    const QPoint point = event->position().toPoint();
    d->m_lastPoint = point;
    d->m_shown = d->inReach(point) ? OpacitySliderPrivate::levelAt(point.y()) : d->m_opacity;
    update();
    d->m_emitting = true;
    Q_EMIT opacitySliderMoved(d->m_layerIdx, d->m_shown);
    d->m_emitting = false;
}

void OpacitySlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (d->m_pressed)
        finishDrag(event->position().toPoint());
}

void OpacitySlider::finishDrag(QPoint at)
{
    d->m_pressed = false;
    if (d->inReach(at)) {
        update();
        const double previous = d->m_opacity;
        d->m_opacity = d->m_shown;
        Q_EMIT opacityChanged(d->m_layerIdx, previous, d->m_shown);
    } else {
        // Let go out of reach: the preview goes back to what was committed.
        d->m_shown = d->m_opacity;
        update();
        d->m_emitting = true;
        Q_EMIT opacitySliderMoved(d->m_layerIdx, d->m_opacity);
        d->m_emitting = false;
    }
}

void OpacitySlider::focusOutEvent(QFocusEvent *event)
{
    // The release will not come here any more (hiding ends the mouse grab);
    // the scene shows the dragged level, which must not stay there without
    // a step in the history.
    if (d->m_pressed)
        finishDrag(d->m_lastPoint);
    hide();
    QWidget::focusOutEvent(event);
}

void OpacitySlider::resizeEvent(QResizeEvent *event)
{
    d->reachAround(rect());
    QWidget::resizeEvent(event);
}

} // namespace UI
