#include "arcsegment.h"

#include <QDataStream>
#include <QLineF>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

constexpr int BodySteps = 10;

// Whether the direction `angle` lies on the arc that starts at `startAngle`
// and turns by `sweep` (negative: clockwise), both ends included. Angles are
// in [0, 360), so an arc across the 0/360 seam is handled by the modulo.
bool angleOnArc(double angle, double startAngle, double sweep)
{
    if (sweep >= 0.0)
        return std::fmod(angle - startAngle + 360.0, 360.0) <= sweep;
    return std::fmod(startAngle - angle + 360.0, 360.0) <= -sweep;
}

} // namespace

class ArcSegmentPrivate
{
public:
    double startAngle() const { return QLineF(m_centre, m_start).angle(); }
    double endAngle() const { return QLineF(m_centre, m_end).angle(); }

    double sweep() const
    {
        const double a0 = startAngle();
        double a1 = endAngle();
        if (m_clockwise) {
            double s = a1 - a0;
            if (a0 < a1)
                s -= 360.0;
            return s;
        }
        if (a1 < a0)
            a1 += 360.0;
        return a1 - a0;
    }

    // The direction of travel at a point of the arc.
    QPointF tangentAt(QPointF point) const
    {
        const QPointF r = point - m_centre;
        return m_clockwise ? QPointF(-r.y(), r.x()) : QPointF(r.y(), -r.x());
    }

    QPointF m_centre;
    double m_arcRadius = 0.0;
    QPointF m_start;
    QPointF m_end;
    bool m_clockwise = false;
    double m_startOpacity = 0.0;
    double m_endOpacity = 0.0;
    double m_startRadius = 0.0;
    double m_endRadius = 0.0;
};

ArcSegment::ArcSegment()
    : d(std::make_unique<ArcSegmentPrivate>())
{
}

ArcSegment::ArcSegment(QPointF centre, double arcRadius, QPointF start, QPointF end,
                       bool clockwise, double startOpacity, double endOpacity,
                       double startRadius, double endRadius)
    : d(std::make_unique<ArcSegmentPrivate>())
{
    d->m_centre = centre;
    d->m_arcRadius = arcRadius;
    d->m_start = start;
    d->m_end = end;
    d->m_clockwise = clockwise;
    d->m_startOpacity = startOpacity;
    d->m_endOpacity = endOpacity;
    d->m_startRadius = startRadius;
    d->m_endRadius = endRadius;
}

ArcSegment::~ArcSegment() = default;

QPointF ArcSegment::centre() const
{
    return d->m_centre;
}

double ArcSegment::arcRadius() const
{
    return d->m_arcRadius;
}

QPointF ArcSegment::start() const
{
    return d->m_start;
}

QPointF ArcSegment::end() const
{
    return d->m_end;
}

bool ArcSegment::clockwise() const
{
    return d->m_clockwise;
}

double ArcSegment::startOpacity() const
{
    return d->m_startOpacity;
}

double ArcSegment::endOpacity() const
{
    return d->m_endOpacity;
}

double ArcSegment::startRadius() const
{
    return d->m_startRadius;
}

double ArcSegment::endRadius() const
{
    return d->m_endRadius;
}

int ArcSegment::type() const
{
    return ArcType;
}

// The end discs cover the arc's ends; where the arc passes one of the four
// axis directions it bulges beyond them, and that side is pushed out to the
// circle's extreme plus the wider of the two stroke radii.
QRect ArcSegment::boundingRect() const
{
    QRectF rect = discRect(d->m_start, d->m_startRadius) | discRect(d->m_end, d->m_endRadius);
    const double a0 = d->startAngle();
    const double sweep = d->sweep();
    const double reach = d->m_arcRadius + std::max(d->m_startRadius, d->m_endRadius);
    const QPointF c = d->m_centre;
    if (angleOnArc(0.0, a0, sweep))
        rect.setRight(std::max(rect.right(), c.x() + reach));
    if (angleOnArc(90.0, a0, sweep))
        rect.setTop(std::min(rect.top(), c.y() - reach));
    if (angleOnArc(180.0, a0, sweep))
        rect.setLeft(std::min(rect.left(), c.x() - reach));
    if (angleOnArc(270.0, a0, sweep))
        rect.setBottom(std::max(rect.bottom(), c.y() + reach));
    return alignedRect(rect);
}

void ArcSegment::moveToStart(QPainterPath &path) const
{
    path.moveTo(d->m_start);
}

void ArcSegment::addToPath(QPainterPath &path) const
{
    const double r = d->m_arcRadius;
    path.arcTo(QRectF(d->m_centre.x() - r, d->m_centre.y() - r, 2 * r, 2 * r), d->startAngle(),
               d->sweep());
}

QRectF ArcSegment::startCapRect() const
{
    return discRect(d->m_start, d->m_startRadius);
}

QRectF ArcSegment::endCapRect() const
{
    return discRect(d->m_end, d->m_endRadius);
}

void ArcSegment::tessellateStartCap(QList<float> &positions, QList<float> &attributes,
                                    QList<float> &kinds) const
{
    appendDiscFan(positions, attributes, kinds,
                  {d->m_start, d->tangentAt(d->m_start), d->m_startOpacity, d->m_startRadius});
}

// Eleven quads along the arc, each vertex pushed out along its own point's
// tangent so that the edges follow the curve. The first quad is degenerate
// (step 0 is the start itself).
void ArcSegment::tessellate(QList<float> &positions, QList<float> &attributes,
                            QList<float> &kinds) const
{
    const double a0 = d->startAngle();
    const double sweep = d->sweep();
    QLineF spoke(d->m_centre, d->m_start);

    End previous{d->m_start, d->tangentAt(d->m_start), d->m_startOpacity, d->m_startRadius};
    for (int i = 0; i <= BodySteps; ++i) {
        spoke.setAngle(a0 + i * sweep / BodySteps);
        const QPointF point = spoke.p2();
        const End current{
            point, d->tangentAt(point),
            (i * d->m_endOpacity + (BodySteps - i) * d->m_startOpacity) / BodySteps,
            (i * d->m_endRadius + (BodySteps - i) * d->m_startRadius) / BodySteps};
        appendQuad(positions, attributes, kinds, previous, current);
        previous = current;
    }
}

void ArcSegment::tessellateEndCap(QList<float> &positions, QList<float> &attributes,
                                  QList<float> &kinds) const
{
    appendDiscFan(positions, attributes, kinds,
                  {d->m_end, d->tangentAt(d->m_end), d->m_endOpacity, d->m_endRadius});
}

void ArcSegment::write(QDataStream &stream) const
{
    stream << d->m_centre << d->m_arcRadius << d->m_start << d->m_end
           << qint8(d->m_clockwise ? 1 : 0) << d->m_startOpacity << d->m_endOpacity
           << d->m_startRadius << d->m_endRadius;
}

void ArcSegment::read(QDataStream &stream)
{
    QPointF centre;
    double arcRadius = 0.0;
    QPointF start;
    QPointF end;
    bool clockwise = false;
    double startOpacity = 0.0;
    double endOpacity = 0.0;
    double startRadius = 0.0;
    double endRadius = 0.0;
    stream >> centre >> arcRadius >> start >> end >> clockwise >> startOpacity >> endOpacity
        >> startRadius >> endRadius;
    if (!acceptValues(stream, {centre, start, end}, {startOpacity, endOpacity},
                      {arcRadius, startRadius, endRadius}))
        return;
    d->m_centre = centre;
    d->m_arcRadius = arcRadius;
    d->m_start = start;
    d->m_end = end;
    d->m_clockwise = clockwise;
    d->m_startOpacity = startOpacity;
    d->m_endOpacity = endOpacity;
    d->m_startRadius = startRadius;
    d->m_endRadius = endRadius;
}

std::tuple<double, double, double> ArcSegment::centerFromTangent(QPointF start, QPointF end,
                                                                 const QLineF &tangent)
{
    // The centre lies on the perpendicular bisector of start and end and on
    // the normal of the tangent at start.
    const QPointF middle = (start + end) / 2.0;
    const QLineF bisector = QLineF(middle, end).normalVector();
    const QLineF normal = tangent.normalVector();

    QPointF centre;
    if (bisector.intersects(normal, &centre) == QLineF::NoIntersection)
        return {0.0, 0.0, 0.0};
    const QPointF r = start - centre;
    const double squared = r.x() * r.x() + r.y() * r.y();
    if (!(squared > 1e-12))
        return {0.0, 0.0, 0.0};
    return {centre.x(), centre.y(), std::sqrt(squared)};
}

} // namespace Model
