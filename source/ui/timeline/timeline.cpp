#include "timeline/timeline.h"

#include "timeline/textbubble.h"

#include "settings/settings.h"

#include <QApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstdlib>

// Q_INIT_RESOURCE declares the registration function where it stands, so it
// must stand outside any namespace.
static void registerTimelineResources()
{
    Q_INIT_RESOURCE(timeline);
}

namespace UI {

namespace {

enum DragState {
    DragPlayhead = 0,
    DragLowerHandle = 1,
    DragMiddle = 2,
    DragUpperHandle = 3,
    DragNone = 4,
};

// Squared distance from the knob within which a press grabs it where it is
// instead of making it jump under the pointer.
constexpr int KnobGrabRadiusSquared = 65;

// Clamps without asserting lo <= hi: on a widget narrower than its tracks the
// pixel spans run backwards, and the lower bound then wins.
int clampInto(int value, int lo, int hi)
{
    return std::max(lo, std::min(hi, value));
}

// Half away from zero, as every pixel here is rounded.
int roundHalfAway(double value)
{
    return int(std::lround(value));
}

// The first multiple of step at or above value.
qint64 firstMultipleFrom(qint64 value, qint64 step)
{
    qint64 quotient = value / step;
    if (quotient * step < value)
        ++quotient;
    return quotient * step;
}

// The tick spacing in frames: 1, 2, 5, 10, 25, 50, 125, ... growing from
// start until it is at least threshold pixels wide. pixelsPerFrame > 0.
qint64 tickStep(qint64 start, double pixelsPerFrame, double threshold)
{
    qint64 step = start;
    while (double(step) * pixelsPerFrame < threshold) {
        if (double(2 * step) * pixelsPerFrame >= threshold)
            return 2 * step;
        step = qint64(5 * step);
        if (double(step) * pixelsPerFrame >= threshold)
            return step;
    }
    return step;
}

struct HitResult
{
    int state = DragNone;
    QPoint grabOffset;
    int handleDistance = 0;
    bool onKnob = false;
};

} // namespace

class TimelinePrivate
{
public:
    QLinearGradient m_background;
    QIcon m_knobIcon{QStringLiteral(":/timeline/knob.svg")};
    double m_knobOffsetX = 19;
    double m_knobOffsetY = 18;
    QRectF m_playheadTrack;
    QRectF m_rangeTrack;
    int m_playheadSpanStart = 0;
    int m_playheadSpanEnd = 0;
    int m_rangeSpanStart = 0;
    int m_rangeSpanEnd = 0;
    QLinearGradient m_playheadTrackGradient;
    QLinearGradient m_rangeTrackGradient;
    QPen m_trackPen;
    int m_value = 0;
    int m_sliderPosition = 0;
    int m_dragX = 0;
    QPointF m_pressPoint;
    QPoint m_grabOffset;
    bool m_dragStarted = false;
    QIcon m_rangeLeftIcon{QStringLiteral(":/timeline/rangeslider-left.svg")};
    QIcon m_rangeMiddleIcon{QStringLiteral(":/timeline/rangeslider-middle.svg")};
    QIcon m_rangeRightIcon{QStringLiteral(":/timeline/rangeslider-right.svg")};
    int m_labelPixelSize = 11;
    int m_fixedHeight = 60;
    double m_playheadCentreY = 24.5;
    double m_rangeCentreY = 46.5;
    double m_trackRadius = 2.5;
    double m_playheadEndInset = 1.5;
    int m_tickBaseY = 22;
    int m_rangeLower = 40;
    int m_rangeUpper = 70;
    int m_positionLower = 40;
    int m_positionUpper = 70;
    int m_lowerHandlePixel = 40;
    int m_upperHandlePixel = 70;
    int m_handleDistance = 30;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_dragState = DragNone;
    TextBubble *m_lowerBubble = nullptr;
    TextBubble *m_upperBubble = nullptr;
    double m_scale = 1.0;

    void computeMetrics()
    {
        const double s = m_scale;
        m_knobOffsetX = 19 * s;
        m_knobOffsetY = 18 * s;
        m_playheadCentreY = 24.5 * s;
        m_rangeCentreY = 46.5 * s;
        m_trackRadius = 2.5 * s;
        m_playheadEndInset = 1.5 * s;
        m_labelPixelSize = int(11 * s);
        m_fixedHeight = int(60 * s);
        m_tickBaseY = int(22 * s);
        m_trackPen = QPen(QColor(0, 0, 0, 64), int(2 * s));
    }

    void computeWidthGeometry(int width)
    {
        const double s = m_scale;
        m_playheadTrack = QRectF(26, m_playheadCentreY - m_trackRadius, width - 52, 5 * s);
        m_rangeTrack = QRectF(26, m_rangeCentreY - m_trackRadius, width - 52, 5 * s);
        m_playheadSpanStart = int(m_playheadTrack.left() + m_trackRadius + m_playheadEndInset);
        m_playheadSpanEnd = int(m_playheadTrack.right() - m_trackRadius - m_playheadEndInset);
        m_rangeSpanStart = int(m_rangeTrack.left() + m_trackRadius);
        m_rangeSpanEnd = int(m_rangeTrack.right() - m_trackRadius);
        m_playheadTrackGradient = QLinearGradient(0, m_playheadTrack.top(), 0, m_playheadTrack.bottom());
        m_playheadTrackGradient.setColorAt(0, QColor(48, 48, 48));
        m_playheadTrackGradient.setColorAt(1, QColor(96, 96, 96));
        m_rangeTrackGradient = QLinearGradient(0, m_rangeTrack.top(), 0, m_rangeTrack.bottom());
        m_rangeTrackGradient.setColorAt(0, QColor(48, 48, 48));
        m_rangeTrackGradient.setColorAt(1, QColor(96, 96, 96));
    }

    void computeBackground(int height)
    {
        m_background = QLinearGradient(0, 0, 0, height);
        m_background.setColorAt(0, QColor(108, 104, 100));
        m_background.setColorAt(1, QColor(92, 88, 84));
    }

    // Upper track, frames lower..upper.
    int playheadPixel(int frame, int lower, int upper) const
    {
        const int span = m_playheadSpanEnd - m_playheadSpanStart;
        if (lower == upper)
            return m_playheadSpanStart + span / 2;
        return m_playheadSpanStart + QStyle::sliderPositionFromValue(lower, upper, frame, span);
    }

    int playheadPixel(int frame) const { return playheadPixel(frame, m_rangeLower, m_rangeUpper); }

    int playheadFrame(int pixel) const
    {
        return QStyle::sliderValueFromPosition(m_rangeLower, m_rangeUpper, pixel - m_playheadSpanStart,
                                               m_playheadSpanEnd - m_playheadSpanStart);
    }

    // Lower track, all frames from minimum to maximum.
    int rangePixel(int frame) const
    {
        return m_rangeSpanStart
            + QStyle::sliderPositionFromValue(m_minimum, m_maximum, frame, m_rangeSpanEnd - m_rangeSpanStart);
    }

    int rangeFrame(int pixel) const
    {
        return QStyle::sliderValueFromPosition(m_minimum, m_maximum, pixel - m_rangeSpanStart,
                                               m_rangeSpanEnd - m_rangeSpanStart);
    }

    int withinLimits(int frame) const { return std::max(m_minimum, std::min(m_maximum, frame)); }

    // The frames the upper track shows while painting: during a handle drag
    // they follow the handles.
    std::pair<int, int> paintedRange() const
    {
        switch (m_dragState) {
        case DragLowerHandle:
            return {m_positionLower, m_rangeUpper};
        case DragUpperHandle:
            return {m_rangeLower, m_positionUpper};
        case DragMiddle:
            return {m_positionLower, m_positionUpper};
        default:
            return {m_rangeLower, m_rangeUpper};
        }
    }

    HitResult hitTest(QPoint point) const
    {
        HitResult hit;
        const int x = point.x();
        const int y = point.y();
        if (std::abs(y - m_rangeCentreY) <= std::abs(y - m_playheadCentreY)) {
            const int l = rangePixel(m_rangeLower);
            const int u = rangePixel(m_rangeUpper);
            const int m = (l + u) / 2;
            // Handles that meet in the middle are measured from their outer
            // edges, so that each stays reachable.
            const int dl = l == m ? std::abs(x - (l - 1)) : std::abs(x - l);
            const int du = u == m ? std::abs(x - (u + 1)) : std::abs(x - u);
            const int dm = std::abs(x - m);
            if (dl < 9 && dl < du && dm >= 4)
                hit.state = DragLowerHandle;
            else if (du < 9 && du < dl && dm >= 4)
                hit.state = DragUpperHandle;
            else if (dm > 4 && (x <= l || x >= u))
                hit.state = DragNone;
            else
                hit.state = DragMiddle;
            hit.handleDistance = u - l;
            const int handle = hit.state == DragUpperHandle ? u : l;
            hit.grabOffset = QPoint(handle - x, int(m_rangeCentreY) - y);
            return hit;
        }
        hit.state = DragPlayhead;
        const int k = playheadPixel(m_sliderPosition);
        const int dy = int(m_playheadCentreY) - y;
        hit.onKnob = (k - x) * (k - x) + dy * dy < KnobGrabRadiusSquared;
        hit.grabOffset = hit.onKnob ? QPoint(k - x, dy) : QPoint();
        return hit;
    }
};

Timeline::Timeline(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<TimelinePrivate>())
{
    registerTimelineResources();
    d->m_lowerBubble = new TextBubble(this);
    d->m_lowerBubble->hide();
    d->m_upperBubble = new TextBubble(this);
    d->m_upperBubble->hide();
    setMinimumWidth(50);
    setFocusPolicy(Qt::NoFocus);
    d->m_scale = Model::Settings::instance()->UIScale();
    d->computeMetrics();
    setFixedHeight(d->m_fixedHeight);
    d->computeBackground(d->m_fixedHeight);
    d->computeWidthGeometry(width());
}

Timeline::~Timeline() = default;

int Timeline::value() const
{
    return d->m_value;
}

int Timeline::sliderPosition() const
{
    return d->m_sliderPosition;
}

int Timeline::rangeLower() const
{
    return d->m_rangeLower;
}

int Timeline::rangeUpper() const
{
    return d->m_rangeUpper;
}

int Timeline::rangePositionLower() const
{
    return d->m_positionLower;
}

int Timeline::rangePositionUpper() const
{
    return d->m_positionUpper;
}

int Timeline::minimum() const
{
    return d->m_minimum;
}

int Timeline::maximum() const
{
    return d->m_maximum;
}

void Timeline::updateUISize()
{
    d->m_scale = Model::Settings::instance()->UIScale();
    d->computeMetrics();
    setFixedHeight(d->m_fixedHeight);
    d->computeBackground(d->m_fixedHeight);
    d->computeWidthGeometry(width());
    update();
    updateGeometry();
}

void Timeline::setValue(int value)
{
    const int v = std::max(d->m_rangeLower, std::min(d->m_maximum + 1, value));
    if (d->m_value == v && d->m_sliderPosition == v)
        return;
    d->m_value = v;
    d->m_sliderPosition = v;
    Q_EMIT valueChanged(v);
    update();
}

void Timeline::setSliderPosition(int position)
{
    const int v = std::max(d->m_rangeLower, std::min(d->m_maximum + 1, position));
    if (v == d->m_sliderPosition)
        return;
    d->m_sliderPosition = v;
    if (d->m_dragState == DragPlayhead)
        Q_EMIT sliderMoved(v);
    update();
}

void Timeline::setRange(int lower, int upper)
{
    setRangeInternal(lower, upper, true);
}

void Timeline::setRangeLower(int value)
{
    setRangeEnd(true, value);
}

void Timeline::setRangeUpper(int value)
{
    setRangeEnd(false, value);
}

void Timeline::setRangeEnd(bool lower, int value)
{
    // Each end stops one frame short of the other, unless the limits leave
    // room for a single frame only.
    const int other = lower ? d->m_rangeUpper : d->m_rangeLower;
    int v = lower ? std::min(other, d->withinLimits(value)) : std::max(other, d->withinLimits(value));
    if (v == other && v != (lower ? d->m_minimum : d->m_maximum))
        v += lower ? -1 : 1;
    int &end = lower ? d->m_rangeLower : d->m_rangeUpper;
    int &position = lower ? d->m_positionLower : d->m_positionUpper;
    if (end == v && position == v)
        return;
    end = v;
    position = v;
    Q_EMIT rangeChanged(d->m_rangeLower, d->m_rangeUpper);
    clampValue();
    update();
}

void Timeline::setRangePositions(int positionLower, int positionUpper)
{
    int lo = d->withinLimits(positionLower);
    int hi = d->withinLimits(positionUpper);
    if (lo > hi)
        std::swap(lo, hi);
    if (lo == d->m_positionLower && hi == d->m_positionUpper)
        return;
    d->m_positionLower = lo;
    d->m_positionUpper = hi;
    if (d->m_dragState == DragMiddle)
        Q_EMIT rangeSliderMoved(lo, hi);
    update();
}

void Timeline::setRangePositionLower(int position)
{
    setRangePositionEnd(true, position);
}

void Timeline::setRangePositionUpper(int position)
{
    setRangePositionEnd(false, position);
}

void Timeline::setRangePositionEnd(bool lower, int position)
{
    const int frame = d->withinLimits(position);
    const int v = lower ? std::min(d->m_rangeUpper, frame) : std::max(d->m_rangeLower, frame);
    int &end = lower ? d->m_positionLower : d->m_positionUpper;
    if (v == end)
        return;
    end = v;
    if (d->m_dragState == (lower ? DragLowerHandle : DragUpperHandle))
        Q_EMIT rangeSliderMoved(d->m_positionLower, d->m_positionUpper);
    update();
}

void Timeline::setRangeLimits(int min, int max)
{
    const int newMaximum = std::max(min, max);
    if (min == d->m_minimum && newMaximum == d->m_maximum)
        return;
    d->m_minimum = min;
    d->m_maximum = newMaximum;
    Q_EMIT rangeLimitsChanged(d->m_minimum, d->m_maximum);
    setRangeInternal(d->m_rangeLower, d->m_rangeUpper, false);
    // A lower maximum may leave the range in place and the playhead beyond
    // the new end.
    clampValue();
    update();
}

void Timeline::setRangeInternal(int lower, int upper, bool emitChanged)
{
    int lo = d->withinLimits(lower);
    int hi = d->withinLimits(upper);
    if (lo > hi)
        std::swap(lo, hi);
    // A range is at least two frames long wherever the limits allow it.
    if (lo == hi && d->m_minimum != d->m_maximum) {
        if (lo == d->m_minimum)
            ++hi;
        else
            --lo;
    }
    if (d->m_rangeLower == lo && d->m_positionLower == lo && d->m_rangeUpper == hi && d->m_positionUpper == hi)
        return;
    d->m_rangeLower = lo;
    d->m_positionLower = lo;
    d->m_rangeUpper = hi;
    d->m_positionUpper = hi;
    if (emitChanged)
        Q_EMIT rangeChanged(lo, hi);
    clampValue();
    update();
}

void Timeline::clampValue()
{
    const int v = std::max(d->m_rangeLower, std::min(d->m_maximum + 1, d->m_value));
    d->m_value = v;
    d->m_sliderPosition = v;
}

bool Timeline::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const HitResult hit = d->hitTest(help->pos());
    QString text;
    switch (hit.state) {
    case DragPlayhead:
        text = hit.onKnob ? tr("Playhead at frame %1").arg(d->m_value) : tr("Timeline");
        break;
    case DragLowerHandle:
        text = tr("Frame Range starts at frame %1").arg(d->m_rangeLower);
        break;
    case DragMiddle:
        text = tr("Frame Range");
        break;
    case DragUpperHandle:
        text = tr("Frame Range ends at frame %1").arg(d->m_rangeUpper);
        break;
    default:
        break;
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), text, this);
    return true;
}

void Timeline::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    d->computeWidthGeometry(width());
}

void Timeline::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const double s = d->m_scale;
    const std::pair<int, int> painted = d->paintedRange();
    const int lower = painted.first;
    const int upper = painted.second;
    const bool knobDragged = d->m_dragState == DragPlayhead;
    const bool positionShown = knobDragged || (d->m_sliderPosition >= lower && d->m_sliderPosition <= upper);

    // 1. Background with a light line along the top.
    painter.fillRect(event->rect(), d->m_background);
    painter.setPen(QColor(132, 128, 124));
    painter.drawLine(0, 0, width(), 0);

    // 2. A faint column over the current frame, as wide as a frame.
    if (positionShown) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 16));
        const int spanStart = d->m_playheadSpanStart;
        const int spanEnd = d->m_playheadSpanEnd;
        if (lower == upper) {
            painter.drawRect(QRectF(spanStart, 0, spanEnd - spanStart + 1, 24.5));
        } else {
            const int w = std::max(1, (spanEnd - spanStart + 1) / (upper - lower));
            const int left = d->playheadPixel(d->m_sliderPosition, lower, upper) - w / 2;
            painter.drawRect(QRectF(left, 0, w, 24.5));
        }
    }

    // 3. Ticks and frame numbers. Below about 60 pixels the span holds no
    // pixel per frame and no spacing of ticks would ever fit: skip them.
    const double pixelsPerFrame
        = double(d->m_playheadSpanEnd - d->m_playheadSpanStart + 1) / (double(upper) - double(lower) + 1.0);
    const bool ticksFit = pixelsPerFrame > 0.0;
    qint64 majorStep = 0;
    if (ticksFit) {
        const qint64 minorStep = tickStep(1, pixelsPerFrame, 10.0);
        majorStep = tickStep(minorStep, pixelsPerFrame, 50.0);
        const auto drawTicks = [&](qint64 step, int height) {
            for (qint64 f = firstMultipleFrom(lower, step); f <= upper; f += step) {
                const int x = d->playheadPixel(int(f), lower, upper);
                painter.drawLine(x, d->m_tickBaseY, x, d->m_tickBaseY - height);
            }
        };
        painter.setPen(QColor(64, 64, 64));
        drawTicks(minorStep, 2);
        drawTicks(majorStep, 4);
    }

    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::black);
    QFont font = painter.font();
    const auto labelBox = [&](int frame, int widen) {
        const QRect bounds = QFontMetrics(font).boundingRect(QString::number(frame));
        QRect box(0, 0, bounds.width() + widen, bounds.height() + 5);
        box.moveLeft(d->playheadPixel(frame, lower, upper) - box.width() / 2);
        return box;
    };
    const auto drawLabel = [&](int frame, const QRect &box) {
        painter.setFont(font);
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignBottom, QString::number(frame));
    };
    QRect lowerBox;
    QRect upperBox;
    if (lower != upper) {
        // The first and last frames stand out unless they are the limits.
        const auto endLabel = [&](int frame, bool atLimit) {
            font.setPixelSize(atLimit ? d->m_labelPixelSize : d->m_labelPixelSize + 1);
            font.setWeight(atLimit ? QFont::Normal : QFont::Bold);
            const QRect box = labelBox(frame, 1);
            drawLabel(frame, box);
            return box;
        };
        lowerBox = endLabel(lower, lower == d->m_minimum);
        upperBox = endLabel(upper, upper == d->m_maximum);
    }
    if (ticksFit) {
        font.setPixelSize(d->m_labelPixelSize);
        font.setWeight(QFont::Normal);
        for (qint64 f = firstMultipleFrom(lower, majorStep); f <= upper; f += majorStep) {
            const QRect box = labelBox(int(f), 29);
            if (!box.intersects(lowerBox) && !box.intersects(upperBox))
                drawLabel(int(f), box);
        }
    }

    // 4. Tracks. Frames outside the range but inside the limits are shown as
    // an open track beyond the ends.
    const double centreY = d->m_playheadCentreY;
    const double radius = d->m_trackRadius;
    const double halfPen = d->m_trackPen.widthF() / 2;
    const auto openTrack = [&](double from, double to, double linesFrom, double linesTo, const QRectF &keep) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(d->m_playheadTrackGradient);
        painter.setOpacity(0.5);
        painter.drawRect(QRectF(from, centreY - radius, to - from, 2 * radius));
        painter.setOpacity(1.0);
        painter.setPen(d->m_trackPen);
        painter.drawLine(QLineF(linesFrom, centreY - radius, linesTo, centreY - radius));
        painter.drawLine(QLineF(linesFrom, centreY + radius, linesTo, centreY + radius));
        painter.setClipRect(keep, Qt::IntersectClip);
    };
    painter.save();
    if (lower != d->m_minimum) {
        const int x = d->playheadPixel(lower, lower, upper);
        openTrack(0, x, 0, x - halfPen, QRectF(x, 0, width() - x, height()));
    }
    if (upper != d->m_maximum) {
        const int x = d->playheadPixel(upper + 1, lower, upper);
        openTrack(x, width(), x + halfPen, width(), QRectF(0, 0, x, height()));
    }
    painter.setPen(d->m_trackPen);
    painter.setBrush(d->m_playheadTrackGradient);
    painter.drawRoundedRect(d->m_playheadTrack, radius, radius);
    painter.restore();
    painter.setPen(d->m_trackPen);
    painter.setBrush(d->m_rangeTrackGradient);
    painter.drawRoundedRect(d->m_rangeTrack, radius, radius);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // 5. The knob.
    const qreal ratio = devicePixelRatioF();
    if (positionShown) {
        const int x = knobDragged ? d->m_dragX : d->playheadPixel(d->m_sliderPosition, lower, upper);
        const int side = int(39 * s);
        const QPixmap knob = d->m_knobIcon.pixmap(QSize(side, side), ratio);
        painter.drawPixmap(QRect(QPoint(roundHalfAway(x - d->m_knobOffsetX), roundHalfAway(centreY - d->m_knobOffsetY)),
                                 QSize(side, side)),
                           knob);
    }

    // 6. The range handles with their grip lines.
    const double rangeY = d->m_rangeCentreY;
    QRectF handles(QPointF(d->rangePixel(d->m_positionLower) - 1, rangeY - roundHalfAway(13.5 * s)),
                   QPointF(d->rangePixel(d->m_positionUpper) + 1, rangeY + roundHalfAway(17.5 * s)));
    if (d->m_minimum == d->m_maximum)
        handles.setRight(d->m_rangeSpanEnd);
    if (d->m_dragState == DragLowerHandle || d->m_dragState == DragMiddle)
        handles.setLeft(d->m_lowerHandlePixel - 1);
    if (d->m_dragState == DragUpperHandle || d->m_dragState == DragMiddle)
        handles.setRight(d->m_upperHandlePixel + 1);
    const QSize endSize(int(14 * s), int(31 * s));
    painter.drawPixmap(QRect(QPoint(roundHalfAway(handles.left() - roundHalfAway(13.5 * s)), roundHalfAway(handles.top())),
                             endSize),
                       d->m_rangeLeftIcon.pixmap(endSize, ratio));
    painter.drawPixmap(QRect(QPoint(roundHalfAway(handles.right()), roundHalfAway(handles.top())), endSize),
                       d->m_rangeRightIcon.pixmap(endSize, ratio));
    if (handles.width() > 0) {
        const QPixmap middle = d->m_rangeMiddleIcon.pixmap(QSize(1, endSize.height()), ratio);
        painter.drawPixmap(handles, middle, QRectF(middle.rect()));
    }
    painter.setPen(QColor(64, 62, 60, 153));
    const double gripTop = rangeY - 2.5 * s;
    const double gripBottom = gripTop + 3 * s + ratio;
    const auto grip = [&](double x) { painter.drawLine(QLineF(x, gripTop, x, gripBottom)); };
    const double centreX = handles.center().x();
    if (handles.width() > 0)
        grip(centreX);
    if (handles.width() > 7) {
        grip(handles.left() + 1);
        grip(handles.right() - 1);
    }
    if (handles.width() > 15) {
        grip(centreX - 4);
        grip(centreX + 4);
    }
}

void Timeline::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    d->m_pressPoint = event->position();
    d->m_dragStarted = false;
    const HitResult hit = d->hitTest(event->position().toPoint());
    d->m_dragState = hit.state;
    d->m_grabOffset = hit.grabOffset;
    if (hit.state == DragMiddle)
        d->m_handleDistance = hit.handleDistance;
    if (hit.state == DragPlayhead)
        Q_EMIT sliderPressed();
    else if (hit.state != DragNone)
        Q_EMIT rangeSliderPressed();
    handleMove(event->position());
    event->setAccepted(hit.state != DragNone);
}

void Timeline::mouseMoveEvent(QMouseEvent *event)
{
    if (d->m_dragState == DragNone) {
        event->ignore();
        return;
    }
    handleMove(event->position());
    event->accept();
}

void Timeline::handleMove(const QPointF &position)
{
    const bool dragBegins = !d->m_dragStarted
        && (position - d->m_pressPoint).manhattanLength() >= QApplication::startDragDistance();
    if (dragBegins)
        d->m_dragStarted = true;
    const int pointerX = d->m_grabOffset.x() + roundHalfAway(position.x());
    switch (d->m_dragState) {
    case DragPlayhead: {
        d->m_dragX = clampInto(pointerX, d->m_playheadSpanStart, d->m_playheadSpanEnd);
        const int frame = d->playheadFrame(d->m_dragX);
        // Once per drag, when the pointer has gone far enough to mean it.
        if (dragBegins)
            Q_EMIT sliderDragged(frame);
        const int v = std::max(d->m_rangeLower, std::min(d->m_maximum + 1, frame));
        if (v != d->m_sliderPosition) {
            d->m_sliderPosition = v;
            Q_EMIT sliderMoved(v);
        }
        break;
    }
    case DragLowerHandle:
    case DragUpperHandle: {
        // A handle stops at the other one: they may meet while dragged.
        const bool lower = d->m_dragState == DragLowerHandle;
        (lower ? d->m_lowerBubble : d->m_upperBubble)->show();
        int &pixel = lower ? d->m_lowerHandlePixel : d->m_upperHandlePixel;
        pixel = lower ? clampInto(pointerX, d->m_rangeSpanStart, d->rangePixel(d->m_rangeUpper))
                      : clampInto(pointerX, d->rangePixel(d->m_rangeLower), d->m_rangeSpanEnd);
        const int frame = d->withinLimits(d->rangeFrame(pixel));
        const int v = lower ? std::min(d->m_rangeUpper, frame) : std::max(d->m_rangeLower, frame);
        int &handlePosition = lower ? d->m_positionLower : d->m_positionUpper;
        if (v != handlePosition) {
            handlePosition = v;
            Q_EMIT rangeSliderMoved(d->m_positionLower, d->m_positionUpper);
        }
        placeBubbles();
        break;
    }
    case DragMiddle: {
        d->m_lowerBubble->show();
        d->m_upperBubble->show();
        d->m_lowerHandlePixel = clampInto(pointerX, d->m_rangeSpanStart, d->m_rangeSpanEnd - d->m_handleDistance);
        d->m_upperHandlePixel
            = clampInto(d->m_handleDistance + d->m_lowerHandlePixel, d->m_rangeSpanStart, d->m_rangeSpanEnd);
        const int v = d->rangeFrame(d->m_lowerHandlePixel);
        int lo = d->withinLimits(v);
        int hi = d->withinLimits(v + (d->m_positionUpper - d->m_positionLower));
        if (lo > hi)
            std::swap(lo, hi);
        if (lo != d->m_positionLower || hi != d->m_positionUpper) {
            d->m_positionLower = lo;
            d->m_positionUpper = hi;
            Q_EMIT rangeSliderMoved(lo, hi);
        }
        placeBubbles();
        break;
    }
    default:
        return;
    }
    update();
}

void Timeline::mouseReleaseEvent(QMouseEvent *event)
{
    if (d->m_dragState == DragNone || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    handleMove(event->position());
    switch (d->m_dragState) {
    case DragPlayhead: {
        const int v = std::max(d->m_rangeLower, std::min(d->m_maximum + 1, d->m_sliderPosition));
        if (d->m_value != v || d->m_sliderPosition != v) {
            d->m_value = v;
            d->m_sliderPosition = v;
            Q_EMIT valueChanged(v);
        }
        Q_EMIT sliderReleased(d->m_sliderPosition);
        break;
    }
    case DragLowerHandle:
        // Handles released on each other leave a range of two frames.
        setRangeLower(d->m_positionLower);
        Q_EMIT rangeSliderReleased();
        break;
    case DragUpperHandle:
        setRangeUpper(d->m_positionUpper);
        Q_EMIT rangeSliderReleased();
        break;
    case DragMiddle:
        setRangeInternal(d->m_positionLower, d->m_positionUpper, true);
        Q_EMIT rangeSliderReleased();
        break;
    default:
        break;
    }
    d->m_dragState = DragNone;
    d->m_dragStarted = false;
    d->m_lowerBubble->hide();
    d->m_upperBubble->hide();
    update();
    event->accept();
}

void Timeline::placeBubbles()
{
    d->m_lowerBubble->setNumber(d->m_positionLower);
    d->m_upperBubble->setNumber(d->m_positionUpper);
    const int state = d->m_dragState;
    const bool lowerUsed = state == DragLowerHandle || state == DragMiddle;
    const bool upperUsed = state == DragUpperHandle || state == DragMiddle;
    const int y = int(d->m_playheadCentreY);
    QRect lowerRect;
    QRect upperRect;
    if (lowerUsed) {
        lowerRect = QRect(QPoint(), d->m_lowerBubble->bubbleSize());
        lowerRect.moveCenter(QPoint(d->m_lowerHandlePixel, y));
    }
    if (upperUsed) {
        upperRect = QRect(QPoint(), d->m_upperBubble->bubbleSize());
        upperRect.moveCenter(QPoint(d->m_upperHandlePixel, y));
    }
    const int left = int(d->m_rangeTrack.left() - 3);
    const int right = int(d->m_rangeTrack.right() + 2);
    if (lowerUsed && upperUsed) {
        // Two bubbles never overlap: they part around their middle, and a
        // pair that would leave the track is kept whole at its end.
        const int need = lowerRect.width() + 3 + upperRect.width();
        const int room = upperRect.right() - lowerRect.left();
        if (need > room) {
            const int shortfall = need - room;
            lowerRect.translate(-(shortfall / 2), 0);
            upperRect.translate(shortfall - shortfall / 2, 0);
        }
        if (left + need > upperRect.right()) {
            lowerRect.moveLeft(left);
            upperRect.moveRight(left + need);
        } else if (right - need < lowerRect.left()) {
            lowerRect.moveLeft(right - need);
            upperRect.moveRight(right);
        }
    }
    const auto keepInside = [left, right](QRect &rect) {
        if (rect.left() < left)
            rect.moveLeft(left);
        if (rect.right() > right)
            rect.moveRight(right);
    };
    if (lowerUsed) {
        keepInside(lowerRect);
        d->m_lowerBubble->placeAt(lowerRect, d->m_lowerHandlePixel);
    }
    if (upperUsed) {
        keepInside(upperRect);
        d->m_upperBubble->placeAt(upperRect, d->m_upperHandlePixel);
    }
}

} // namespace UI
