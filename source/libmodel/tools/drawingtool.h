#pragma once

#include "tools/tool.h"

#include <memory>

class QPainter;
class QSvgRenderer;

namespace Model {

// A pen or an eraser: what a stroke draws with. Its size and opacity ranges
// are kept in percent (0 to 100) of its limits, a size in diameters of 0.5
// to 180 drawing pixels and an opacity of 0 to 1, and turned into the four
// numbers a stroke reads: the minimum radius and the radius variation, the
// minimum opacity and the opacity variation.
//
// Keyboard steps scale the size and opacity ranges by 0.8 or 1.25 around -4
// percent. The step range keeps the unclamped, unrounded percents between
// steps, so that any series of steps can be walked back exactly; any direct
// change of a range (a slider, a preset) drops it, and the next step starts
// from the clamped range.
class DrawingTool : public Tool
{
    Q_OBJECT

public:
    ~DrawingTool() override;

    // Pen or eraser sub-type, fixed at construction.
    PenType subType() const { return m_subType; }

    double minimumRadius() const { return m_minimumRadius; }
    double radiusVariation() const { return m_radiusVariation; }
    double minimumOpacity() const { return m_minimumOpacity; }
    double opacityVariation() const { return m_opacityVariation; }

    // What a stroke draws at a pen pressure of 0 to 1 (clamped). The radius
    // rises slowly at light pressure, (100^p - 1) / 99 of the variation, so
    // that a light hand keeps fine control; the opacity follows linearly.
    double radiusForPressure(double pressure) const;
    double opacityForPressure(double pressure) const;

    double sizeRangeLowerPercent() const { return m_sizeLowerPercent; }
    double sizeRangeUpperPercent() const { return m_sizeUpperPercent; }
    double opacityRangeLowerPercent() const { return m_opacityLowerPercent; }
    double opacityRangeUpperPercent() const { return m_opacityUpperPercent; }
    double sizeLowerLimit() const { return m_sizeLowerLimit; }
    double sizeUpperLimit() const { return m_sizeUpperLimit; }
    double opacityLowerLimit() const { return m_opacityLowerLimit; }
    double opacityUpperLimit() const { return m_opacityUpperLimit; }

    // The cursor last made by updateCursor(); empty in a fresh clone.
    QCursor cursor() const override;

    virtual QString displayName() const = 0;
    // The key of the tool's stored ranges.
    virtual QString toolName() const = 0;
    // The pen circle at its on-screen size; diameters in drawing pixels,
    // scale in screen pixels per drawing pixel.
    virtual QCursor sizeCursor(double minDiameter, double maxDiameter, double scale, bool faint) const = 0;
    // Both diameters as circles; highlight bit 1 stresses the inner circle,
    // bit 2 the outer one.
    virtual QCursor sizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight) const = 0;

    // What the tool settings panel shows at the given scale: the size cursor
    // (never faint) or the small opaque cursor, as the preferences say.
    QCursor previewCursor(double scale) const;
    // The two swatches of the pen adjustment gesture.
    QCursor opacityCursor(double minOpacity, double maxOpacity) const;
    QCursor minSizeCursor(double minDiameter, double maxDiameter, double scale) const;
    QCursor maxSizeCursor(double minDiameter, double maxDiameter, double scale) const;
    QCursor minMaxSizeCursor(double minDiameter, double maxDiameter, double scale) const;

public Q_SLOTS:
    void decreaseSizeRange();
    void increaseSizeRange();
    double incDecSizeMinPercent() const;
    double incDecSizeMaxPercent() const;
    void setIncDecSizeRangePercent(double sizeMinPercent, double sizeMaxPercent);
    void setSizeRangePercent(double sizeMinPercent, double sizeMaxPercent);
    void decreaseOpacityRange();
    void increaseOpacityRange();
    double incDecOpacityMinPercent() const;
    double incDecOpacityMaxPercent() const;
    void setIncDecOpacityRangePercent(double opacityMinPercent, double opacityMaxPercent);
    void setOpacityRangePercent(double opacityMinPercent, double opacityMaxPercent);
    // The percents stay; the pixel sizes and opacities follow the limits.
    void setSizeRangeLimits(double lowerLimit, double upperLimit);
    void setOpacityRangeLimits(double lowerLimit, double upperLimit);
    // Cursor type first, then the draw cursor preferences at the current
    // canvas scale; always announces the result.
    void updateCursor() override;

Q_SIGNALS:
    void sizeRangeChanged(const QString &toolName, double lowerPercent, double upperPercent);
    void opacityRangeChanged(const QString &toolName, double lowerPercent, double upperPercent);

protected:
    DrawingTool(Type type, PenType subType, QObject *parent);
    // Everything but the cursor type, the current cursor and the step
    // ranges.
    DrawingTool(const DrawingTool &other);

    // The type, sub-type, ranges and limits: everything a copy carries but
    // its cursors, which follow from the type.
    bool hasSettingsOf(const Tool &copy) const override;

    // The ring between both diameters with its circles, shared by pens and
    // erasers; a pen adds its arms.
    QCursor paintSizeRangeCursor(double minDiameter, double maxDiameter, double scale, int highlight,
                                 bool arms) const;

private:
    struct StepRange
    {
        double lower = 0.0;
        double upper = 100.0;
        bool valid = false;
    };
    using RangeSetter = void (DrawingTool::*)(double, double);

    // One keyboard step of the size or the opacity range, which step alike;
    // a factor below 1 shrinks the range, one above grows it.
    void stepRange(StepRange &step, double lowerPercent, double upperPercent, double factor,
                   RangeSetter setRange);
    void applyStep(StepRange &step, RangeSetter setRange);

    double m_minimumRadius = 0.5;
    double m_radiusVariation = 4.5;
    double m_minimumOpacity = 0.0;
    double m_opacityVariation = 1.0;
    QCursor m_currentCursor;
    QCursor m_fixedFaintCursor;
    QCursor m_fixedOpaqueCursor;
    double m_sizeLowerPercent = 0.0;
    double m_sizeUpperPercent = 100.0;
    double m_opacityLowerPercent = 0.0;
    double m_opacityUpperPercent = 100.0;
    double m_sizeLowerLimit = 0.5;
    double m_sizeUpperLimit = 180.0;
    double m_opacityLowerLimit = 0.0;
    double m_opacityUpperLimit = 1.0;
    StepRange m_sizeStep;
    StepRange m_opacityStep;
    std::unique_ptr<QSvgRenderer> m_opacityRenderer;
    PenType m_subType;
};

} // namespace Model
