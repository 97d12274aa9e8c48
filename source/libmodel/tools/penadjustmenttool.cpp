#include "tools/penadjustmenttool.h"

#include "tools/drawingtool.h"
#include "tools/toolcursors.h"

#include <algorithm>

namespace Model {

namespace {

double scaled(double percent, double factor)
{
    return (percent + 4.0) * factor - 4.0;
}

// Whether a change from the saved range is worth making: a shrink that is
// already at the bottom, or a growth already at the top, would only push the
// step range further out of reach.
bool changes(double factor, double lower, double upper, double currentLower, double currentUpper)
{
    if (factor == 1.0)
        return false;
    if (factor < 1.0 && upper <= 0.0 && currentUpper <= 0.0)
        return false;
    if (factor > 1.0 && lower >= 100.0 && currentLower >= 100.0)
        return false;
    return true;
}

} // namespace

PenAdjustmentTool::PenAdjustmentTool(QObject *parent)
    : Tool(Type::PenAdjustment, parent)
{
}

PenAdjustmentTool::PenAdjustmentTool(const PenAdjustmentTool &other)
    : Tool(other.type(), other.parent())
{
}

Tool *PenAdjustmentTool::clone() const
{
    return new PenAdjustmentTool(*this);
}

QCursor PenAdjustmentTool::cursor() const
{
    if (!m_drawingTool)
        return sharedCursor(SharedCursor::Forbidden);
    const DrawingTool *tool = m_drawingTool;
    switch (m_mode) {
    case AdjustingOpacity:
        return tool->opacityCursor(tool->minimumOpacity(), tool->minimumOpacity() + tool->opacityVariation());
    case AdjustingSize:
        return tool->minMaxSizeCursor(2.0 * tool->minimumRadius(),
                                      2.0 * (tool->minimumRadius() + tool->radiusVariation()),
                                      toolCursorCanvasScale());
    case NothingAdjusted:
        break;
    }
    return sharedCursor(SharedCursor::Drag);
}

void PenAdjustmentTool::setDrawingTool(DrawingTool *drawingTool)
{
    if (drawingTool == m_drawingTool)
        return;
    if (m_drawingTool)
        disconnect(m_drawingTool, nullptr, this, nullptr);
    m_drawingTool = drawingTool;
    if (drawingTool) {
        m_savedSizeLower = drawingTool->incDecSizeMinPercent();
        m_savedSizeUpper = drawingTool->incDecSizeMaxPercent();
        m_savedOpacityLower = drawingTool->incDecOpacityMinPercent();
        m_savedOpacityUpper = drawingTool->incDecOpacityMaxPercent();
        connect(drawingTool, &DrawingTool::sizeRangeChanged, this, [this] { Q_EMIT cursorChanged(cursor()); });
        connect(drawingTool, &DrawingTool::opacityRangeChanged, this, [this] { Q_EMIT cursorChanged(cursor()); });
    }
    m_mode = NothingAdjusted;
    Q_EMIT cursorChanged(cursor());
}

void PenAdjustmentTool::adjustSizeRange(double factor)
{
    factor = std::clamp(factor, 0.001, 1000.0);
    if (!m_drawingTool)
        return;
    DrawingTool *tool = m_drawingTool;
    const double lower = scaled(m_savedSizeLower, factor);
    const double upper = scaled(m_savedSizeUpper, factor);
    if (changes(factor, lower, upper, tool->incDecSizeMinPercent(), tool->incDecSizeMaxPercent()))
        tool->setIncDecSizeRangePercent(lower, upper);
    if (m_mode != AdjustingSize) {
        m_mode = AdjustingSize;
        tool->setIncDecOpacityRangePercent(m_savedOpacityLower, m_savedOpacityUpper);
    }
}

void PenAdjustmentTool::adjustOpacityRange(double factor)
{
    factor = std::clamp(factor, 0.001, 1000.0);
    if (!m_drawingTool)
        return;
    DrawingTool *tool = m_drawingTool;
    const double lower = scaled(m_savedOpacityLower, factor);
    const double upper = scaled(m_savedOpacityUpper, factor);
    if (changes(factor, lower, upper, tool->incDecOpacityMinPercent(), tool->incDecOpacityMaxPercent()))
        tool->setIncDecOpacityRangePercent(lower, upper);
    if (m_mode != AdjustingOpacity) {
        m_mode = AdjustingOpacity;
        tool->setIncDecSizeRangePercent(m_savedSizeLower, m_savedSizeUpper);
    }
}

} // namespace Model
