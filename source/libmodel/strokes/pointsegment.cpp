#include "pointsegment.h"

#include <QDataStream>
#include <QPainterPath>

namespace Model {

class PointSegmentPrivate
{
public:
    QPointF m_position;
    double m_opacity = 0.0;
    double m_radius = 0.0;
};

PointSegment::PointSegment()
    : d(std::make_unique<PointSegmentPrivate>())
{
}

PointSegment::PointSegment(QPointF position, double opacity, double radius)
    : d(std::make_unique<PointSegmentPrivate>())
{
    d->m_position = position;
    d->m_opacity = opacity;
    d->m_radius = radius;
}

PointSegment::~PointSegment() = default;

QPointF PointSegment::position() const
{
    return d->m_position;
}

double PointSegment::opacity() const
{
    return d->m_opacity;
}

double PointSegment::radius() const
{
    return d->m_radius;
}

int PointSegment::type() const
{
    return PointType;
}

QRect PointSegment::boundingRect() const
{
    return alignedRect(discRect(d->m_position, d->m_radius));
}

void PointSegment::moveToStart(QPainterPath &path) const
{
    path.moveTo(d->m_position);
}

void PointSegment::addToPath(QPainterPath &) const
{
}

void PointSegment::tessellateStartCap(QList<float> &, QList<float> &, QList<float> &) const
{
}

void PointSegment::tessellate(QList<float> &positions, QList<float> &attributes,
                              QList<float> &kinds) const
{
    // The fan starts at angle 0, so its direction is (radius, 0).
    appendDiscFan(positions, attributes, kinds,
                  {d->m_position, QPointF(d->m_radius, 0.0), d->m_opacity, d->m_radius});
}

void PointSegment::tessellateEndCap(QList<float> &, QList<float> &, QList<float> &) const
{
}

void PointSegment::write(QDataStream &stream) const
{
    stream << d->m_position << d->m_opacity << d->m_radius;
}

void PointSegment::read(QDataStream &stream)
{
    QPointF position;
    double opacity = 0.0;
    double radius = 0.0;
    stream >> position >> opacity >> radius;
    if (!acceptValues(stream, {position}, {opacity}, {radius}))
        return;
    d->m_position = position;
    d->m_opacity = opacity;
    d->m_radius = radius;
}

} // namespace Model
