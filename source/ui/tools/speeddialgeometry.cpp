#include "tools/speeddialgeometry.h"

#include <QRectF>
#include <QTransform>

#include <cmath>

namespace UI {

namespace {

constexpr double Pi = 3.14159265358979323846;

} // namespace

QPainterPath SpeedDialGeometry::wedge(QPointF centre, double outerRadius, double innerRadius)
{
    QPainterPath outer;
    outer.addEllipse(centre, outerRadius, outerRadius);
    QPainterPath inner;
    inner.addEllipse(centre, innerRadius, innerRadius);
    const QPainterPath ring = outer.subtracted(inner);
    QPainterPath pie;
    pie.moveTo(centre);
    pie.arcTo(QRectF(centre.x() - outerRadius, centre.y() - outerRadius, 2 * outerRadius, 2 * outerRadius), -22.5,
              45.0);
    pie.closeSubpath();
    return ring.intersected(pie).translated(-centre);
}

QPainterPath SpeedDialGeometry::highlight(const QPainterPath &wedge, QPointF centre, int step)
{
    // Counter-clockwise on screen is a negative angle for QTransform, whose
    // y runs down.
    QTransform turn;
    turn.translate(centre.x(), centre.y());
    turn.rotateRadians(-step * Pi / 4);
    return turn.map(wedge);
}

int SpeedDialGeometry::directionStep(QPointF centre, QPointF point)
{
    const double angle = std::atan2(centre.y() - point.y(), point.x() - centre.x());
    // std::round rounds halves away from zero.
    return int(std::round(angle * 4 / Pi));
}

int SpeedDialGeometry::slotForStep(int step)
{
    return ((-step) % SlotCount + SlotCount) % SlotCount;
}

QPointF SpeedDialGeometry::slotCentre(QPointF centre, double distance, int slot)
{
    const double angle = slot * Pi / 4;
    return centre + distance * QPointF(std::cos(angle), std::sin(angle));
}

} // namespace UI
