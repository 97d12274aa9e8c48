#include "tools/drawingtool.h"

#include "settings/settings.h"
#include "tools/toolcursors.h"

#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

// One keyboard step: scaling around -4 percent lets a range that reached 0
// grow again and keeps small sizes from stepping too coarsely.
double stepped(double percent, double factor)
{
    return (percent + 4.0) * factor - 4.0;
}

void clampRange(double &lower, double &upper)
{
    upper = std::clamp(upper, 0.0, 100.0);
    lower = std::max(std::min(lower, upper), 0.0);
}

QCursor fixedCursor(Tool::Type type, bool faint)
{
    switch (type) {
    case Tool::Type::Pen:
        return svgCursor(faint ? QStringLiteral(":/pointers/pointer-drawFixedFaint.svg")
                               : QStringLiteral(":/pointers/pointer-drawFixedOpaque.svg"));
    case Tool::Type::Eraser:
        return svgCursor(faint ? QStringLiteral(":/pointers/pointer-eraseFixedFaint.svg")
                               : QStringLiteral(":/pointers/pointer-eraseFixedOpaque.svg"));
    default:
        return sharedCursor(SharedCursor::Arrow);
    }
}

void drawCircle(QPainter &painter, QPointF centre, double diameter)
{
    painter.drawEllipse(centre, diameter / 2.0, diameter / 2.0);
}

} // namespace

DrawingTool::DrawingTool(Type type, PenType subType, QObject *parent)
    : Tool(type, parent)
    , m_fixedFaintCursor(fixedCursor(type, true))
    , m_fixedOpaqueCursor(fixedCursor(type, false))
    , m_opacityRenderer(std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-opacity.svg")))
    , m_subType(subType)
{
}

DrawingTool::DrawingTool(const DrawingTool &other)
    : Tool(other.type(), other.parent())
    , m_minimumRadius(other.m_minimumRadius)
    , m_radiusVariation(other.m_radiusVariation)
    , m_minimumOpacity(other.m_minimumOpacity)
    , m_opacityVariation(other.m_opacityVariation)
    , m_fixedFaintCursor(other.m_fixedFaintCursor)
    , m_fixedOpaqueCursor(other.m_fixedOpaqueCursor)
    , m_sizeLowerPercent(other.m_sizeLowerPercent)
    , m_sizeUpperPercent(other.m_sizeUpperPercent)
    , m_opacityLowerPercent(other.m_opacityLowerPercent)
    , m_opacityUpperPercent(other.m_opacityUpperPercent)
    , m_sizeLowerLimit(other.m_sizeLowerLimit)
    , m_sizeUpperLimit(other.m_sizeUpperLimit)
    , m_opacityLowerLimit(other.m_opacityLowerLimit)
    , m_opacityUpperLimit(other.m_opacityUpperLimit)
    , m_opacityRenderer(std::make_unique<QSvgRenderer>(QStringLiteral(":/pointers/pointer-opacity.svg")))
    , m_subType(other.m_subType)
{
}

bool DrawingTool::hasSettingsOf(const Tool &copy) const
{
    const auto *other = qobject_cast<const DrawingTool *>(&copy);
    return other && other->metaObject() == metaObject() && other->type() == type() && other->m_subType == m_subType
        && other->m_minimumRadius == m_minimumRadius && other->m_radiusVariation == m_radiusVariation
        && other->m_minimumOpacity == m_minimumOpacity && other->m_opacityVariation == m_opacityVariation
        && other->m_sizeLowerPercent == m_sizeLowerPercent && other->m_sizeUpperPercent == m_sizeUpperPercent
        && other->m_opacityLowerPercent == m_opacityLowerPercent
        && other->m_opacityUpperPercent == m_opacityUpperPercent && other->m_sizeLowerLimit == m_sizeLowerLimit
        && other->m_sizeUpperLimit == m_sizeUpperLimit && other->m_opacityLowerLimit == m_opacityLowerLimit
        && other->m_opacityUpperLimit == m_opacityUpperLimit;
}

DrawingTool::~DrawingTool() = default;

double DrawingTool::radiusForPressure(double pressure) const
{
    const double p = std::clamp(pressure, 0.0, 1.0);
    return m_minimumRadius + (std::pow(100.0, p) - 1.0) / 99.0 * m_radiusVariation;
}

double DrawingTool::opacityForPressure(double pressure) const
{
    return m_minimumOpacity + std::clamp(pressure, 0.0, 1.0) * m_opacityVariation;
}

QCursor DrawingTool::cursor() const
{
    return m_currentCursor;
}

QCursor DrawingTool::previewCursor(double scale) const
{
    switch (Settings::instance()->drawCursorType()) {
    case KL::DrawCursorType::AdaptToSize:
        return sizeCursor(2.0 * m_minimumRadius, 2.0 * (m_minimumRadius + m_radiusVariation), scale, false);
    case KL::DrawCursorType::FixedSmall:
        return m_fixedOpaqueCursor;
    }
    return m_currentCursor;
}

QCursor DrawingTool::opacityCursor(double minOpacity, double maxOpacity) const
{
    const QSize size = m_opacityRenderer->defaultSize() * 2;
    QPixmap pixmap = paintedCursorPixmap(size.width(), size.height());
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(2.0, 2.0);
        const QString prefix = type() == Type::Pen ? QStringLiteral("draw") : QStringLiteral("erase");
        auto render = [&](const QString &element, double opacity) {
            const QString id = prefix + element;
            painter.setOpacity(opacity);
            m_opacityRenderer->render(&painter, id,
                                      m_opacityRenderer->transformForElement(id).mapRect(
                                          m_opacityRenderer->boundsOnElement(id)));
        };
        render(QStringLiteral("base"), 1.0);
        render(QStringLiteral("left"), minOpacity);
        render(QStringLiteral("right"), maxOpacity);
    }
    return paintedCursor(pixmap);
}

QCursor DrawingTool::minSizeCursor(double minDiameter, double maxDiameter, double scale) const
{
    return sizeRangeCursor(minDiameter, maxDiameter, scale, 1);
}

QCursor DrawingTool::maxSizeCursor(double minDiameter, double maxDiameter, double scale) const
{
    return sizeRangeCursor(minDiameter, maxDiameter, scale, 2);
}

QCursor DrawingTool::minMaxSizeCursor(double minDiameter, double maxDiameter, double scale) const
{
    return sizeRangeCursor(minDiameter, maxDiameter, scale, 3);
}

QCursor DrawingTool::paintSizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight,
                                          bool arms) const
{
    const int outerDiameter = paintedCursorDiameter(maxDiameter, scale);
    int span = std::max(outerDiameter, 8);
    if (outerDiameter >= 9)
        span -= outerDiameter % 4;
    const int side = span + 28;
    const double outerRadius = std::lround(maxDiameter * scale);
    const double innerRadius = std::lround(minDiameter * scale);

    QPixmap pixmap = paintedCursorPixmap(side, side);
    const QPointF c = paintedCursorCentre(pixmap);
    QPainter painter(&pixmap);

    // The ring covers what the pen paints between light and full pressure.
    QPainterPath ring;
    ring.setFillRule(Qt::OddEvenFill);
    ring.addEllipse(c, outerRadius, outerRadius);
    ring.addEllipse(c, innerRadius, innerRadius);
    painter.setOpacity(0.25);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPath(ring);
    painter.setBrush(Qt::NoBrush);

    const bool innerStressed = highlight & 1;
    const bool outerStressed = highlight & 2;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setPen(QPen(Qt::white));
    painter.setOpacity(outerStressed ? 0.5 : 0.25);
    drawCircle(painter, c, 2.0 * outerRadius + 4.0);
    painter.setOpacity(innerStressed ? 0.5 : 0.25);
    drawCircle(painter, c, std::max(2.0 * innerRadius - 4.0, 0.0));

    if (arms) {
        const int inner = std::max(std::min(span / 2, paintedCursorDiameter(minDiameter, scale) / 2), 4);
        const int reach = std::max(side / 2, 20);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(0.25);
        painter.setPen(QPen(Qt::black, 2));
        painter.drawLine(QLineF(c.x() + inner, c.y(), c.x() + reach, c.y()));
        painter.drawLine(QLineF(c.x() - inner, c.y(), c.x() - reach, c.y()));
        painter.drawLine(QLineF(c.x(), c.y() + inner, c.x(), c.y() + reach));
        painter.drawLine(QLineF(c.x(), c.y() - inner, c.x(), c.y() - reach));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
    }

    painter.setPen(QPen(Qt::black));
    painter.setOpacity(outerStressed ? 1.0 : 0.5);
    drawCircle(painter, c, std::max(2.0 * outerRadius, 1.0));
    painter.setOpacity(innerStressed ? 1.0 : 0.5);
    drawCircle(painter, c, 2.0 * innerRadius);
    painter.end();
    return paintedCursor(pixmap);
}

void DrawingTool::stepRange(StepRange &step, double lowerPercent, double upperPercent, double factor,
                            RangeSetter setRange)
{
    if (!step.valid)
        step = {lowerPercent, upperPercent, false};
    // A range that reached 0 cannot shrink, nor one that reached 100 grow;
    // the step still reapplies it, as a key press always announces a range.
    const bool canMove = factor < 1.0 ? step.upper > 0.0 : step.lower < 100.0;
    if (canMove) {
        step.lower = stepped(step.lower, factor);
        step.upper = stepped(step.upper, factor);
    }
    applyStep(step, setRange);
}

void DrawingTool::applyStep(StepRange &step, RangeSetter setRange)
{
    // The setter drops the step range, as any direct change does; keeping it
    // afterwards is what lets the next step start from the unclamped percents.
    (this->*setRange)(step.lower, step.upper);
    step.valid = true;
}

void DrawingTool::decreaseSizeRange()
{
    stepRange(m_sizeStep, m_sizeLowerPercent, m_sizeUpperPercent, 0.8, &DrawingTool::setSizeRangePercent);
}

void DrawingTool::increaseSizeRange()
{
    stepRange(m_sizeStep, m_sizeLowerPercent, m_sizeUpperPercent, 1.25, &DrawingTool::setSizeRangePercent);
}

double DrawingTool::incDecSizeMinPercent() const
{
    return m_sizeStep.valid ? m_sizeStep.lower : m_sizeLowerPercent;
}

double DrawingTool::incDecSizeMaxPercent() const
{
    return m_sizeStep.valid ? m_sizeStep.upper : m_sizeUpperPercent;
}

void DrawingTool::setIncDecSizeRangePercent(double sizeMinPercent, double sizeMaxPercent)
{
    m_sizeStep = {sizeMinPercent, sizeMaxPercent, false};
    applyStep(m_sizeStep, &DrawingTool::setSizeRangePercent);
}

void DrawingTool::setSizeRangePercent(double sizeMinPercent, double sizeMaxPercent)
{
    double lower = sizeMinPercent;
    double upper = sizeMaxPercent;
    clampRange(lower, upper);
    m_sizeLowerPercent = lower;
    m_sizeUpperPercent = upper;
    // Limits are diameters; a stroke wants radii.
    const double range = m_sizeUpperLimit - m_sizeLowerLimit;
    m_minimumRadius = (m_sizeLowerLimit + range * lower / 100.0) * 0.5;
    m_radiusVariation = (range * (upper - lower) / 100.0) * 0.5;
    updateCursor();
    Q_EMIT sizeRangeChanged(toolName(), lower, upper);
    m_sizeStep.valid = false;
}

void DrawingTool::decreaseOpacityRange()
{
    stepRange(m_opacityStep, m_opacityLowerPercent, m_opacityUpperPercent, 0.8,
              &DrawingTool::setOpacityRangePercent);
}

void DrawingTool::increaseOpacityRange()
{
    stepRange(m_opacityStep, m_opacityLowerPercent, m_opacityUpperPercent, 1.25,
              &DrawingTool::setOpacityRangePercent);
}

double DrawingTool::incDecOpacityMinPercent() const
{
    return m_opacityStep.valid ? m_opacityStep.lower : m_opacityLowerPercent;
}

double DrawingTool::incDecOpacityMaxPercent() const
{
    return m_opacityStep.valid ? m_opacityStep.upper : m_opacityUpperPercent;
}

void DrawingTool::setIncDecOpacityRangePercent(double opacityMinPercent, double opacityMaxPercent)
{
    m_opacityStep = {opacityMinPercent, opacityMaxPercent, false};
    applyStep(m_opacityStep, &DrawingTool::setOpacityRangePercent);
}

void DrawingTool::setOpacityRangePercent(double opacityMinPercent, double opacityMaxPercent)
{
    double lower = opacityMinPercent;
    double upper = opacityMaxPercent;
    clampRange(lower, upper);
    m_opacityLowerPercent = lower;
    m_opacityUpperPercent = upper;
    const double range = m_opacityUpperLimit - m_opacityLowerLimit;
    m_minimumOpacity = m_opacityLowerLimit + range * lower / 100.0;
    m_opacityVariation = (upper - lower) * range / 100.0;
    // The cursor does not show the opacity.
    Q_EMIT opacityRangeChanged(toolName(), lower, upper);
    m_opacityStep.valid = false;
}

void DrawingTool::setSizeRangeLimits(double lowerLimit, double upperLimit)
{
    m_sizeUpperLimit = std::clamp(upperLimit, 0.5, 180.0);
    m_sizeLowerLimit = std::max(std::min(lowerLimit, m_sizeUpperLimit), 0.5);
    setSizeRangePercent(m_sizeLowerPercent, m_sizeUpperPercent);
}

void DrawingTool::setOpacityRangeLimits(double lowerLimit, double upperLimit)
{
    m_opacityUpperLimit = std::clamp(upperLimit, 0.0, 1.0);
    m_opacityLowerLimit = std::max(std::min(lowerLimit, m_opacityUpperLimit), 0.0);
    setOpacityRangePercent(m_opacityLowerPercent, m_opacityUpperPercent);
}

void DrawingTool::updateCursor()
{
    QCursor shared;
    if (sharedCursorForType(shared)) {
        m_currentCursor = shared;
    } else {
        const Settings *settings = Settings::instance();
        const bool faint = settings->drawCursorOpacity() == KL::DrawCursorOpacity::Faint;
        switch (settings->drawCursorType()) {
        case KL::DrawCursorType::AdaptToSize:
            m_currentCursor = sizeCursor(2.0 * m_minimumRadius, 2.0 * (m_minimumRadius + m_radiusVariation),
                                         toolCursorCanvasScale(), faint);
            break;
        case KL::DrawCursorType::FixedSmall:
            m_currentCursor = faint ? m_fixedFaintCursor : m_fixedOpaqueCursor;
            break;
        }
    }
    Q_EMIT cursorChanged(m_currentCursor);
}

} // namespace Model
