#pragma once

#include <QPainterPath>
#include <QPointF>

namespace UI {

// Where the eight slots of a speed dial lie, shared by the dial and its
// editor. Slot i sits at 45 degrees times i, clockwise on screen from the
// right: 0 right, 2 bottom, 4 left, 6 top. Directions are counted as the user
// sees them, counter-clockwise with y up, in steps of 45 degrees; a direction
// exactly between two slots takes the step farther from zero (22.5 degrees
// above the right is slot 7).
class SpeedDialGeometry
{
public:
    static constexpr int SlotCount = 8;
    // From the centre to a slot's icon, in unscaled pixels.
    static constexpr double IconDistance = 69.0;

    // The ring between the two radii within 22.5 degrees of the positive x
    // axis: slot 0's segment, with the dial's centre at the origin.
    static QPainterPath wedge(QPointF centre, double outerRadius, double innerRadius);
    // The wedge turned to a direction step and placed at the centre.
    static QPainterPath highlight(const QPainterPath &wedge, QPointF centre, int step);

    // The multiple of 45 degrees nearest the direction from `centre` to
    // `point`.
    static int directionStep(QPointF centre, QPointF point);
    static int slotForStep(int step);
    static QPointF slotCentre(QPointF centre, double distance, int slot);
};

} // namespace UI
