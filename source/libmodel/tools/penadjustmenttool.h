#pragma once

#include "tools/tool.h"

#include <QPointer>

namespace Model {

class DrawingTool;

// The drag gesture that resizes the pen or changes its opacity. Every change
// is the range saved when the drawing tool was set, scaled by the gesture's
// factor, never a product of earlier changes, so a drag can go back and forth
// freely. Switching between size and opacity puts the other range back as it
// was saved.
class PenAdjustmentTool : public Tool
{
    Q_OBJECT

public:
    enum Mode : int {
        NothingAdjusted = 0,
        AdjustingOpacity = 1,
        AdjustingSize = 2,
    };

    explicit PenAdjustmentTool(QObject *parent = nullptr);

    Tool *clone() const override;
    // Forbidden without a drawing tool; the drag cursor until something is
    // adjusted; then the opacity swatches or the size rings.
    QCursor cursor() const override;

    DrawingTool *drawingTool() const { return m_drawingTool; }
    Mode mode() const { return m_mode; }

public Q_SLOTS:
    // Not owned.
    void setDrawingTool(Model::DrawingTool *drawingTool);
    // factor is clamped to 0.001..1000; 1 leaves the range as saved.
    void adjustSizeRange(double factor);
    void adjustOpacityRange(double factor);

private:
    PenAdjustmentTool(const PenAdjustmentTool &other);

    QPointer<DrawingTool> m_drawingTool;
    Mode m_mode = NothingAdjusted;
    double m_savedSizeLower = 0.0;
    double m_savedSizeUpper = 100.0;
    double m_savedOpacityLower = 0.0;
    double m_savedOpacityUpper = 100.0;
};

} // namespace Model
