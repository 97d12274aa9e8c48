#include "segment.h"

#include "arcsegment.h"
#include "linesegment.h"
#include "pointsegment.h"
#include "stroke.h"

#include <QDataStream>
#include <QLineF>
#include <QRectF>
#include <QTransform>

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

constexpr int FanTriangles = 100;
constexpr int FloatsPerFanKinds = FanTriangles * 3 * 3;

void appendVertex(QList<float> &positions, QList<float> &attributes, QList<float> &kinds,
                  QPointF position, QPointF direction, double opacity, double radius,
                  float side, QPointF antiAliasing)
{
    positions << float(position.x()) << float(position.y())
              << float(direction.x()) << float(direction.y());
    attributes << float(opacity) << float(radius);
    kinds << side << float(antiAliasing.x()) << float(antiAliasing.y());
}

// Makes room for `count` more floats. Renderers append the fans of many
// segments to one list, so the capacity grows geometrically rather than by
// exactly one fan at a time, which would copy the whole list for every fan.
void reserveMore(QList<float> &list, qsizetype count)
{
    const qsizetype needed = list.size() + count;
    if (list.capacity() < needed)
        list.reserve(std::max(needed, list.capacity() * 2));
}

} // namespace

Segment::~Segment() = default;

std::shared_ptr<Segment> Segment::create(qint32 type)
{
    switch (type) {
    case PointType:
        return std::make_shared<PointSegment>();
    case LineType:
        return std::make_shared<LineSegment>();
    case ArcType:
        return std::make_shared<ArcSegment>();
    default:
        return nullptr;
    }
}

void Segment::writeRecord(QDataStream &stream, const Segment &segment)
{
    stream << qint32(segment.type());
    segment.write(stream);
}

std::shared_ptr<Segment> Segment::readRecord(QDataStream &stream)
{
    qint32 type = -1;
    stream >> type;
    if (stream.status() != QDataStream::Ok)
        return nullptr;
    std::shared_ptr<Segment> segment = create(type);
    if (segment)
        segment->read(stream);
    return segment;
}

void Segment::tessellateWithCaps(QList<float> &positions, QList<float> &attributes, QList<float> &kinds) const
{
    tessellateStartCap(positions, attributes, kinds);
    tessellate(positions, attributes, kinds);
    tessellateEndCap(positions, attributes, kinds);
}

void Segment::tessellateWithCaps(QList<float> &positions, QList<float> &attributes, QList<float> &kinds,
                                 const QTransform &transform, const QRect &clip) const
{
    if (reaches(startCapRect(), transform, clip))
        tessellateStartCap(positions, attributes, kinds);
    tessellate(positions, attributes, kinds);
    if (reaches(endCapRect(), transform, clip))
        tessellateEndCap(positions, attributes, kinds);
}

bool Segment::reaches(const QRectF &shape, const QTransform &transform, const QRect &clip)
{
    if (shape.isEmpty() || clip.isEmpty())
        return false;
    return transform.mapRect(shape).intersects(QRectF(clip));
}

QRectF Segment::startCapRect() const
{
    return {};
}

QRectF Segment::endCapRect() const
{
    return {};
}

void Segment::appendDiscFan(QList<float> &positions, QList<float> &attributes,
                            QList<float> &kinds, const End &end)
{
    const QPointF centre = end.position;
    const QLineF first(centre, centre + end.direction);
    const double base = first.angle();
    const double length = first.length();

    reserveMore(kinds, FloatsPerFanKinds);
    reserveMore(positions, FanTriangles * 3 * 4);
    reserveMore(attributes, FanTriangles * 3 * 2);

    QPointF previous = end.direction;
    for (int i = 0; i < FanTriangles; ++i) {
        const QLineF spoke = QLineF::fromPolar(length, base - i * 360.0 / (FanTriangles - 1));
        const QPointF current(spoke.dx(), spoke.dy());
        const QPointF middle = (previous + current) * 0.5;
        appendVertex(positions, attributes, kinds, centre, QPointF(), end.opacity, end.radius,
                     CentreSide, QPointF());
        appendVertex(positions, attributes, kinds, centre, previous, end.opacity, end.radius,
                     RimSide, middle);
        appendVertex(positions, attributes, kinds, centre, current, end.opacity, end.radius,
                     RimSide, middle);
        previous = current;
    }
}

void Segment::appendQuad(QList<float> &positions, QList<float> &attributes,
                         QList<float> &kinds, const End &from, const End &to)
{
    const auto vertex = [&](const End &e, float side) {
        appendVertex(positions, attributes, kinds, e.position, e.direction, e.opacity, e.radius,
                     side, QPointF());
    };
    vertex(from, LeftSide);
    vertex(from, RightSide);
    vertex(to, LeftSide);
    vertex(from, RightSide);
    vertex(to, LeftSide);
    vertex(to, RightSide);
}

QRect Segment::alignedRect(const QRectF &rect)
{
    return Stroke::alignedRect(rect);
}

QRectF Segment::discRect(QPointF centre, double radius)
{
    return QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
}

bool Segment::acceptValues(QDataStream &stream, std::initializer_list<QPointF> positions,
                           std::initializer_list<double> opacities, std::initializer_list<double> radii)
{
    const bool possible =
        std::all_of(positions.begin(), positions.end(), [](QPointF p) { return Stroke::isWithinLimits(p); })
        && std::all_of(opacities.begin(), opacities.end(), &Stroke::isPossibleFraction)
        && std::all_of(radii.begin(), radii.end(), &Stroke::isPossibleRadius);
    if (!possible)
        stream.setStatus(QDataStream::ReadCorruptData);
    return possible;
}

} // namespace Model
