#include "tools/toolsliders.h"

#include "style/tooltips.h"
#include "style/uiresources.h"
#include "timeline/textbubble.h"
#include "tools/peninput.h"

#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolcursors.h"
#include "tools/toolmanager.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace UI {

namespace {

// qFuzzyCompare's rule, under which zero equals only zero.
bool samePosition(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

} // namespace

class ToolSliders::ToolSlidersPrivate
{
public:
    // One two-handled slider; the size and the opacity slider work alike.
    struct Track
    {
        Handle minHandle;
        Handle maxHandle;
        QSvgRenderer background;
        QSvgRenderer foreground;
        // The background's view box as loaded; the shown one is cropped to
        // the tool's limits.
        QRectF loadedViewBox;
        Range range{10.0, 20.0};
        Range positions{10.0, 20.0};
        int minPixel = 0;
        int maxPixel = 0;
        Range limits{0.0, 100.0};
        int top = 0;
    };

    ToolSlidersPrivate(ToolSliders *owner, int kind)
        : q(owner)
        , m_kind(kind)
    {
        registerUiResources();
        m_size.minHandle = SizeMinimum;
        m_size.maxHandle = SizeMaximum;
        m_opacity.minHandle = OpacityMinimum;
        m_opacity.maxHandle = OpacityMaximum;
        const QString prefix = kind == 0 ? QStringLiteral(":/toolsettings/pen") : QStringLiteral(":/toolsettings/eraser");
        m_size.background.load(prefix + QStringLiteral("SizeSliderBackground.svg"));
        m_size.foreground.load(prefix + QStringLiteral("SizeSliderForeground.svg"));
        m_opacity.background.load(prefix + QStringLiteral("TransparencySliderBackground.svg"));
        m_opacity.foreground.load(prefix + QStringLiteral("TransparencySliderForeground.svg"));
        m_size.loadedViewBox = m_size.background.viewBoxF();
        m_opacity.loadedViewBox = m_opacity.background.viewBoxF();
        m_bubble = new TextBubble(owner);
    }

    Model::DrawingTool *tool() const
    {
        const auto type = m_kind == 0 ? Model::Tool::Type::Pen : Model::Tool::Type::Eraser;
        return qobject_cast<Model::DrawingTool *>(Model::ToolManager::instance()->tool(type));
    }

    void computeMetrics()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_scale = s;
        m_width = int(217 * s);
        m_height = int(127 * s);
        m_trackWidth = int(195 * s);
        m_trackHeight = int(25 * s);
        m_trackLeft = int(11 * s);
        m_trackRight = m_trackLeft + m_trackWidth;
        m_labelOffset = int(17 * s);
        m_fontPixelSize = std::max(1, int(12 * s));
        m_size.top = int(46 * s);
        m_opacity.top = int(91 * s);
        m_labelFont.setPixelSize(m_fontPixelSize);
        m_nameFont.setPixelSize(m_fontPixelSize);
    }

    Track *trackOf(int handle)
    {
        if (handle == SizeMinimum || handle == SizeMaximum)
            return &m_size;
        if (handle == OpacityMinimum || handle == OpacityMaximum)
            return &m_opacity;
        return nullptr;
    }

    static double clampPosition(const Track &track, double value)
    {
        return std::max(track.limits.first, std::min(track.limits.second, value));
    }

    double pixelToPosition(const Track &track, int x) const
    {
        const double lo = track.limits.first;
        const double hi = track.limits.second;
        if (m_trackWidth < 1 || x - m_trackLeft < 1)
            return lo;
        if (x - m_trackLeft >= m_trackWidth)
            return hi;
        return lo + (hi - lo) * (x - m_trackLeft) / m_trackWidth;
    }

    int positionToPixel(const Track &track, double p) const
    {
        const double lo = track.limits.first;
        const double hi = track.limits.second;
        if (m_trackWidth < 1 || p < lo || lo >= hi)
            return m_trackLeft;
        if (p > hi)
            return m_trackLeft + m_trackWidth;
        return m_trackLeft + int((p - lo) * m_trackWidth / (hi - lo));
    }

    // A position as percent of the track, which is percent of the tool's
    // limits; and back. On the usual track of 0 to 100 both are exact.
    static double percentOf(const Track &track, double position)
    {
        const double span = track.limits.second - track.limits.first;
        if (span <= 0.0)
            return 0.0;
        return std::clamp((position - track.limits.first) * (100.0 / span), 0.0, 100.0);
    }

    static double positionOf(const Track &track, double percent)
    {
        return percent * ((track.limits.second - track.limits.first) / 100.0) + track.limits.first;
    }

    // Diameter in pixels and opacity as a fraction, through the tool's limits.
    double sizeValue(const Model::DrawingTool *tool, double position) const
    {
        return percentOf(m_size, position) * (tool->sizeUpperLimit() - tool->sizeLowerLimit()) * 0.01
            + tool->sizeLowerLimit();
    }

    double opacityValue(const Model::DrawingTool *tool, double position) const
    {
        return percentOf(m_opacity, position) * (tool->opacityUpperLimit() - tool->opacityLowerLimit()) * 0.01
            + tool->opacityLowerLimit();
    }

    // Each returns whether anything changed.
    static bool setRange(Track &track, double lower, double upper)
    {
        lower = clampPosition(track, lower);
        upper = clampPosition(track, upper);
        if (lower > upper)
            std::swap(lower, upper);
        if (samePosition(lower, track.range.first) && samePosition(lower, track.positions.first)
            && samePosition(upper, track.range.second) && samePosition(upper, track.positions.second))
            return false;
        track.range = track.positions = Range(lower, upper);
        return true;
    }

    static bool setPositions(Track &track, double lower, double upper)
    {
        lower = clampPosition(track, lower);
        upper = clampPosition(track, upper);
        if (lower > upper)
            std::swap(lower, upper);
        if (samePosition(lower, track.positions.first) && samePosition(upper, track.positions.second))
            return false;
        track.positions = Range(lower, upper);
        return true;
    }

    // Moving one handle past the other pushes the other along.
    static bool setPositionLower(Track &track, double position)
    {
        position = clampPosition(track, position);
        if (samePosition(position, track.positions.first))
            return false;
        track.positions = Range(position, std::max(track.positions.second, position));
        return true;
    }

    static bool setPositionUpper(Track &track, double position)
    {
        position = clampPosition(track, position);
        if (samePosition(position, track.positions.second))
            return false;
        track.positions = Range(std::min(track.positions.first, position), position);
        return true;
    }

    Handle handleOn(const Track &track, QPoint point) const
    {
        if (point.x() < m_trackLeft || point.x() > m_trackRight)
            return NoHandle;
        const int lower = positionToPixel(track, track.range.first);
        const int upper = positionToPixel(track, track.range.second);
        if (point.x() <= lower)
            return track.minHandle;
        // Midway between the handles grabs the maximum.
        return std::abs(point.x() - lower) >= std::abs(point.x() - upper) ? track.maxHandle : track.minHandle;
    }

    Handle handleAt(QPoint point) const
    {
        for (const Track *track : {&m_size, &m_opacity}) {
            if (point.y() >= track->top && point.y() < track->top + m_trackHeight)
                return handleOn(*track, point);
        }
        return NoHandle;
    }

    // The view box of the background cropped to the part between two
    // fractions of its width.
    static QRectF cropped(const QRectF &box, double from, double to)
    {
        QRectF result = box;
        result.setLeft(box.left() + box.width() * from);
        result.setRight(box.right() - box.width() * (1.0 - to));
        return result;
    }

    void reload()
    {
        const Model::DrawingTool *tool = this->tool();
        if (!tool)
            return;
        q->setSizeRange(positionOf(m_size, tool->sizeRangeLowerPercent()),
                        positionOf(m_size, tool->sizeRangeUpperPercent()));
        q->setOpacityRange(positionOf(m_opacity, tool->opacityRangeLowerPercent()),
                           positionOf(m_opacity, tool->opacityRangeUpperPercent()));
        // The size art pictures every diameter from 0.5 to 180 px; the
        // opacity art every opacity from 0 to 1. Each shows the tool's part.
        m_sizeLimitFractions = Range((tool->sizeLowerLimit() - 0.5) / 179.5, (tool->sizeUpperLimit() - 0.5) / 179.5);
        m_opacityLimits = Range(tool->opacityLowerLimit(), tool->opacityUpperLimit());
        m_size.background.setViewBox(
            cropped(m_size.loadedViewBox, m_sizeLimitFractions.first, m_sizeLimitFractions.second));
        m_opacity.background.setViewBox(
            cropped(m_opacity.loadedViewBox, m_opacityLimits.first, m_opacityLimits.second));
    }

    void disconnectTool()
    {
        QObject::disconnect(m_sizeConnection);
        QObject::disconnect(m_opacityConnection);
    }

    void connectTool()
    {
        if (Model::DrawingTool *tool = this->tool()) {
            m_sizeConnection = QObject::connect(tool, &Model::DrawingTool::sizeRangeChanged, q, [this] { reload(); });
            m_opacityConnection =
                QObject::connect(tool, &Model::DrawingTool::opacityRangeChanged, q, [this] { reload(); });
        }
    }

    // The value under the dragged handle, over it.
    void updateBubble()
    {
        const Model::DrawingTool *tool = this->tool();
        const Track *track = trackOf(m_pressed);
        if (!tool || !track)
            return;
        const bool minimum = m_pressed == track->minHandle;
        const int x = minimum ? track->minPixel : track->maxPixel;
        const double position = pixelToPosition(*track, x);
        m_bubble->setText(track == &m_size ? q->sizeText(position) : q->opacityText(position));
        const int anchorY = track->top - 2 * TextBubble::pointerHeight();
        QRect body(QPoint(), m_bubble->bubbleSize());
        body.moveCenter(QPoint(x, anchorY));
        body.moveBottom(anchorY);
        // Kept over the panel, at most half the margin beyond the track.
        if (body.left() < m_trackLeft / 2)
            body.moveLeft(m_trackLeft / 2);
        if (body.right() > m_trackRight + m_trackLeft / 2)
            body.moveRight(m_trackRight + m_trackLeft / 2);
        m_bubble->placeAt(body, x);
        m_bubble->show();
    }

    // The foreground over the span between the handles; while one handle is
    // dragged the span follows it, and it never gets narrower than 3 px.
    void paintForeground(QPainter &painter, Track &track)
    {
        int a;
        int b;
        if (m_pressed == track.minHandle) {
            b = positionToPixel(track, track.positions.second);
            a = std::min(track.minPixel, b - 3);
        } else if (m_pressed == track.maxHandle) {
            a = positionToPixel(track, track.positions.first);
            b = std::max(track.maxPixel, a + 3);
        } else {
            a = positionToPixel(track, track.range.first);
            b = positionToPixel(track, track.range.second);
        }
        if (b - a < 3) {
            a = std::max(m_trackLeft, a - 1);
            b = std::min(m_trackRight, b + 2);
        }
        if (a == m_trackLeft)
            b = std::max(a + 3, std::min(m_trackRight, b));
        if (b == m_trackRight)
            a = std::max(m_trackLeft, std::min(b - 3, a));
        const double from = percentOf(track, pixelToPosition(track, a)) / 100.0;
        const double to = percentOf(track, pixelToPosition(track, b)) / 100.0;
        track.foreground.setViewBox(cropped(track.background.viewBoxF(), from, to));
        const QRect span(a, track.top, b - a, m_trackHeight);
        painter.save();
        painter.setClipRect(span);
        track.foreground.render(&painter, span);
        painter.restore();
    }

    ToolSliders *q;
    int m_kind;
    QIcon m_triangle{QStringLiteral(":/toolsettings/dropdown-triangle.svg")};
    Track m_size;
    Track m_opacity;
    QPen m_labelPen{QColor(255, 255, 255, 77)};
    QFont m_labelFont{QStringLiteral("Sans Serif"), 10, 500};
    QPen m_namePen{QColor(45, 41, 38, 255)};
    QFont m_nameFont{QStringLiteral("Sans Serif"), 10, 600};
    Range m_sizeLimitFractions{0.0, 1.0};
    Range m_opacityLimits{0.0, 1.0};
    int m_pressed = NoHandle;
    int m_hovered = NoHandle;
    TextBubble *m_bubble = nullptr;
    float m_scale = 1.0f;
    int m_width = 217;
    int m_height = 127;
    int m_trackWidth = 195;
    int m_trackHeight = 25;
    int m_trackLeft = 11;
    int m_trackRight = 206;
    int m_labelOffset = 17;
    int m_fontPixelSize = 12;
    int m_currentToolIdx = -1;
    QMetaObject::Connection m_sizeConnection;
    QMetaObject::Connection m_opacityConnection;
    PressFilter m_pressFilter;
};

ToolSliders::ToolSliders(int kind, QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<ToolSlidersPrivate>(this, kind))
{
    d->computeMetrics();
    setFixedSize(d->m_width, d->m_height);
    setAttribute(Qt::WA_MouseTracking);
    setAttribute(Qt::WA_TabletTracking);

    // While a handle is dragged the pointer previews the tip.
    connect(this, &ToolSliders::sizeRangeSliderMovedMin, this, [this](double lower, double upper) {
        if (const Model::DrawingTool *tool = d->tool())
            setCursor(tool->minSizeCursor(d->sizeValue(tool, lower), d->sizeValue(tool, upper),
                                          Model::toolCursorCanvasScale()));
    });
    connect(this, &ToolSliders::sizeRangeSliderMovedMax, this, [this](double lower, double upper) {
        if (const Model::DrawingTool *tool = d->tool())
            setCursor(tool->maxSizeCursor(d->sizeValue(tool, lower), d->sizeValue(tool, upper),
                                          Model::toolCursorCanvasScale()));
    });
    connect(this, &ToolSliders::opacityRangeSliderMoved, this, [this](double lower, double upper) {
        if (const Model::DrawingTool *tool = d->tool())
            setCursor(tool->opacityCursor(d->opacityValue(tool, lower), d->opacityValue(tool, upper)));
    });
}

ToolSliders::~ToolSliders()
{
    d->disconnectTool();
}

int ToolSliders::kind() const
{
    return d->m_kind;
}

int ToolSliders::currentToolIdx() const
{
    return d->m_currentToolIdx;
}

ToolSliders::Range ToolSliders::sizeRange() const
{
    return d->m_size.range;
}

ToolSliders::Range ToolSliders::sizeRangePositions() const
{
    return d->m_size.positions;
}

ToolSliders::Range ToolSliders::sizeRangeLimits() const
{
    return d->m_size.limits;
}

ToolSliders::Range ToolSliders::opacityRange() const
{
    return d->m_opacity.range;
}

ToolSliders::Range ToolSliders::opacityRangePositions() const
{
    return d->m_opacity.positions;
}

ToolSliders::Handle ToolSliders::handleAt(QPoint point) const
{
    return d->handleAt(point);
}

QString ToolSliders::sizeText(double position) const
{
    const Model::DrawingTool *tool = d->tool();
    return tool ? tr("%1px").arg(d->sizeValue(tool, position), 0, 'f', 1) : QString();
}

QString ToolSliders::opacityText(double position) const
{
    const Model::DrawingTool *tool = d->tool();
    return tool ? tr("%1%").arg(int(d->opacityValue(tool, position) * 100)) : QString();
}

void ToolSliders::updateUISize()
{
    d->computeMetrics();
    setFixedSize(d->m_width, d->m_height);
    update();
    updateGeometry();
}

void ToolSliders::setSizeRange(double lower, double upper)
{
    if (!d->setRange(d->m_size, lower, upper))
        return;
    Q_EMIT sizeRangeChanged(d->m_size.range.first, d->m_size.range.second);
    update();
}

void ToolSliders::setSizeRangePositions(double positionLower, double positionUpper)
{
    d->setPositions(d->m_size, positionLower, positionUpper);
}

void ToolSliders::setSizeRangePositionLower(double position)
{
    if (d->setPositionLower(d->m_size, position) && d->m_pressed == SizeMinimum)
        Q_EMIT sizeRangeSliderMovedMin(d->m_size.positions.first, d->m_size.positions.second);
}

void ToolSliders::setSizeRangePositionUpper(double position)
{
    if (d->setPositionUpper(d->m_size, position) && d->m_pressed == SizeMaximum)
        Q_EMIT sizeRangeSliderMovedMax(d->m_size.positions.first, d->m_size.positions.second);
}

void ToolSliders::setSizeRangeLimits(double lower, double upper)
{
    const ToolSliders::Range limits(lower, std::max(upper, lower));
    if (limits == d->m_size.limits)
        return;
    d->m_size.limits = limits;
    Q_EMIT sizeRangeLimitsChanged(limits.first, limits.second);
    setSizeRange(d->m_size.range.first, d->m_size.range.second);
}

void ToolSliders::setOpacityRange(double lower, double upper)
{
    if (!d->setRange(d->m_opacity, lower, upper))
        return;
    Q_EMIT opacityRangeChanged(d->m_opacity.range.first, d->m_opacity.range.second);
    update();
}

void ToolSliders::setOpacityRangePositions(double positionLower, double positionUpper)
{
    d->setPositions(d->m_opacity, positionLower, positionUpper);
}

void ToolSliders::setOpacityRangePositionLower(double position)
{
    if (d->setPositionLower(d->m_opacity, position) && d->m_pressed == OpacityMinimum)
        Q_EMIT opacityRangeSliderMoved(d->m_opacity.positions.first, d->m_opacity.positions.second);
}

void ToolSliders::setOpacityRangePositionUpper(double position)
{
    if (d->setPositionUpper(d->m_opacity, position) && d->m_pressed == OpacityMaximum)
        Q_EMIT opacityRangeSliderMoved(d->m_opacity.positions.first, d->m_opacity.positions.second);
}

void ToolSliders::setCurrentToolIdx(int toolIdx)
{
    d->disconnectTool();
    d->m_currentToolIdx = toolIdx;
    d->reload();
    d->connectTool();
    update();
}

bool ToolSliders::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto *help = static_cast<QHelpEvent *>(event);
    QString text;
    switch (d->handleAt(help->pos())) {
    case SizeMinimum:
    case SizeMaximum:
        text = tr("Adjust Minimum and Maximum Tip Size");
        break;
    case OpacityMinimum:
    case OpacityMaximum:
        text = tr("Adjust Minimum and Maximum Tip Opacity");
        break;
    case NoHandle:
        break;
    }
    return answerToolTip(help, text);
}

void ToolSliders::mousePressEvent(QMouseEvent *event)
{
    if (d->m_pressFilter.isDoubledPress(event->timestamp())) {
        event->accept();
        return;
    }
    d->m_pressed = d->handleAt(event->position().toPoint());
    // The grabbed handle jumps to the pointer at once.
    mouseMoveEvent(event);
    event->accept();
    d->m_pressFilter.remember(event->timestamp());
}

void ToolSliders::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint point = event->position().toPoint();
    ToolSlidersPrivate::Track *track = d->trackOf(d->m_pressed);
    if (!track) {
        const int hovered = d->handleAt(point);
        if (hovered != d->m_hovered) {
            d->m_hovered = hovered;
            update();
        }
        event->ignore();
        return;
    }
    event->accept();
    const int pixel = std::clamp(point.x(), d->m_trackLeft, d->m_trackRight);
    const double position = d->pixelToPosition(*track, pixel);
    if (d->m_pressed == track->minHandle) {
        track->minPixel = pixel;
        if (track == &d->m_size)
            setSizeRangePositionLower(position);
        else
            setOpacityRangePositionLower(position);
    } else {
        track->maxPixel = pixel;
        if (track == &d->m_size)
            setSizeRangePositionUpper(position);
        else
            setOpacityRangePositionUpper(position);
    }
    d->updateBubble();
    update();
}

void ToolSliders::mouseReleaseEvent(QMouseEvent *event)
{
    mouseMoveEvent(event);
    // Only the release writes to the tool, once per drag.
    Model::DrawingTool *tool = d->tool();
    if (d->m_pressed == SizeMinimum || d->m_pressed == SizeMaximum) {
        update();
        setSizeRange(d->m_size.positions.first, d->m_size.positions.second);
        if (tool)
            tool->setSizeRangePercent(d->percentOf(d->m_size, d->m_size.range.first),
                                      d->percentOf(d->m_size, d->m_size.range.second));
    } else if (d->m_pressed == OpacityMinimum || d->m_pressed == OpacityMaximum) {
        update();
        setOpacityRange(d->m_opacity.positions.first, d->m_opacity.positions.second);
        if (tool)
            tool->setOpacityRangePercent(d->percentOf(d->m_opacity, d->m_opacity.range.first),
                                         d->percentOf(d->m_opacity, d->m_opacity.range.second));
    }
    d->m_pressed = NoHandle;
    unsetCursor();
    d->m_bubble->hide();
    event->accept();
    d->m_pressFilter.remember(event->timestamp());
}

void ToolSliders::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const double s = d->m_scale;
    const Model::DrawingTool *tool = d->tool();

    // The triangle points up at the tool's slot of the pocket above.
    const int index = d->m_currentToolIdx;
    if (index >= 0 && index <= 2) {
        const int cx = width() / 2 + int((40 * index - 40) * s);
        d->m_triangle.paint(&painter, QRect(cx - int(6 * s), 0, int(13 * s), int(9 * s)));
        if (tool) {
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setFont(d->m_nameFont);
            painter.setPen(d->m_namePen);
            const int nameWidth = int(120 * s);
            const int nameHeight = int(18 * s);
            const QString name = QFontMetrics(d->m_nameFont).elidedText(tool->displayName(), Qt::ElideRight, nameWidth);
            QRect nameRect(0, 0, nameWidth, nameHeight);
            nameRect.moveCenter(QPoint(cx, int(16 * s)));
            painter.drawText(nameRect, Qt::AlignCenter, name);
            painter.restore();
        }
    }

    for (ToolSlidersPrivate::Track *track : {&d->m_size, &d->m_opacity}) {
        const QRect rect(d->m_trackLeft, track->top, d->m_trackWidth, d->m_trackHeight);
        painter.save();
        painter.setClipRect(rect);
        track->background.render(&painter, rect);
        painter.restore();
    }

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(d->m_labelFont);
    painter.setPen(d->m_labelPen);
    const QString labels[] = {tr("Size (min/max)"), tr("Opacity (min/max)")};
    const int tops[] = {d->m_size.top, d->m_opacity.top};
    for (int i = 0; i < 2; ++i)
        painter.drawText(QRect(d->m_trackLeft, tops[i] - d->m_labelOffset, d->m_trackWidth, d->m_trackHeight),
                         Qt::AlignLeft | Qt::AlignTop, labels[i]);
    painter.restore();

    d->paintForeground(painter, d->m_size);
    d->paintForeground(painter, d->m_opacity);
}

void ToolSliders::tabletEvent(QTabletEvent *event)
{
    sendTabletAsMouse(this, event);
}

void ToolSliders::showEvent(QShowEvent *event)
{
    d->m_pressed = NoHandle;
    d->disconnectTool();
    const Model::DrawingTool *tool = d->tool();
    d->m_currentToolIdx = tool ? int(tool->subType()) : -1;
    d->reload();
    d->connectTool();
    QWidget::showEvent(event);
}

void ToolSliders::hideEvent(QHideEvent *event)
{
    d->m_currentToolIdx = -1;
    d->disconnectTool();
    QWidget::hideEvent(event);
}

} // namespace UI
