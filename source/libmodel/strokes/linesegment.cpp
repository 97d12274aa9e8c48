#include "linesegment.h"

#include <QDataStream>
#include <QPainterPath>

namespace Model {

class LineSegmentPrivate
{
public:
    QPointF m_start;
    QPointF m_end;
    double m_startOpacity = 0.0;
    double m_endOpacity = 0.0;
    double m_startRadius = 0.0;
    double m_endRadius = 0.0;
};

LineSegment::LineSegment()
    : d(std::make_unique<LineSegmentPrivate>())
{
}

LineSegment::LineSegment(QPointF start, QPointF end, double startOpacity, double endOpacity,
                         double startRadius, double endRadius)
    : d(std::make_unique<LineSegmentPrivate>())
{
    d->m_start = start;
    d->m_end = end;
    d->m_startOpacity = startOpacity;
    d->m_endOpacity = endOpacity;
    d->m_startRadius = startRadius;
    d->m_endRadius = endRadius;
}

LineSegment::~LineSegment() = default;

QPointF LineSegment::start() const
{
    return d->m_start;
}

QPointF LineSegment::end() const
{
    return d->m_end;
}

double LineSegment::startOpacity() const
{
    return d->m_startOpacity;
}

double LineSegment::endOpacity() const
{
    return d->m_endOpacity;
}

double LineSegment::startRadius() const
{
    return d->m_startRadius;
}

double LineSegment::endRadius() const
{
    return d->m_endRadius;
}

int LineSegment::type() const
{
    return LineType;
}

QRect LineSegment::boundingRect() const
{
    return alignedRect(discRect(d->m_start, d->m_startRadius))
        | alignedRect(discRect(d->m_end, d->m_endRadius));
}

void LineSegment::moveToStart(QPainterPath &path) const
{
    path.moveTo(d->m_start);
}

void LineSegment::addToPath(QPainterPath &path) const
{
    path.lineTo(d->m_end);
}

QRectF LineSegment::startCapRect() const
{
    return discRect(d->m_start, d->m_startRadius);
}

QRectF LineSegment::endCapRect() const
{
    return discRect(d->m_end, d->m_endRadius);
}

// Both caps start their fan along the line's own direction.
void LineSegment::tessellateStartCap(QList<float> &positions, QList<float> &attributes,
                                     QList<float> &kinds) const
{
    appendDiscFan(positions, attributes, kinds,
                  {d->m_start, d->m_end - d->m_start, d->m_startOpacity, d->m_startRadius});
}

void LineSegment::tessellate(QList<float> &positions, QList<float> &attributes,
                             QList<float> &kinds) const
{
    const QPointF direction = d->m_end - d->m_start;
    appendQuad(positions, attributes, kinds,
               {d->m_start, direction, d->m_startOpacity, d->m_startRadius},
               {d->m_end, direction, d->m_endOpacity, d->m_endRadius});
}

void LineSegment::tessellateEndCap(QList<float> &positions, QList<float> &attributes,
                                   QList<float> &kinds) const
{
    appendDiscFan(positions, attributes, kinds,
                  {d->m_end, d->m_end - d->m_start, d->m_endOpacity, d->m_endRadius});
}

void LineSegment::write(QDataStream &stream) const
{
    stream << d->m_start << d->m_end << d->m_startOpacity << d->m_endOpacity
           << d->m_startRadius << d->m_endRadius;
}

void LineSegment::read(QDataStream &stream)
{
    QPointF start;
    QPointF end;
    double startOpacity = 0.0;
    double endOpacity = 0.0;
    double startRadius = 0.0;
    double endRadius = 0.0;
    stream >> start >> end >> startOpacity >> endOpacity >> startRadius >> endRadius;
    if (!acceptValues(stream, {start, end}, {startOpacity, endOpacity}, {startRadius, endRadius}))
        return;
    d->m_start = start;
    d->m_end = end;
    d->m_startOpacity = startOpacity;
    d->m_endOpacity = endOpacity;
    d->m_startRadius = startRadius;
    d->m_endRadius = endRadius;
}

} // namespace Model
