#include "compactstrokedata.h"

#include "strokes/arcsegment.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"

#include <cstring>

namespace Model {

namespace {

constexpr quint8 TypeBits = 0x03;
constexpr quint8 ClockwiseBit = 0x40;
constexpr quint8 ContinuesBit = 0x80;

// One end of a segment: where it is, and the opacity and radius there.
struct End
{
    float x = 0.0f;
    float y = 0.0f;
    float opacity = 0.0f;
    float radius = 0.0f;

    End() = default;
    End(QPointF position, double endOpacity, double endRadius)
        : x(float(position.x()))
        , y(float(position.y()))
        , opacity(float(endOpacity))
        , radius(float(endRadius))
    {
    }

    QPointF position() const { return {x, y}; }
    bool operator==(const End &other) const
    {
        return x == other.x && y == other.y && opacity == other.opacity && radius == other.radius;
    }
};

class Writer
{
public:
    explicit Writer(QByteArray &bytes)
        : m_bytes(bytes)
    {
    }

    void putTag(quint8 tag) { m_bytes.append(char(tag)); }
    void put(float value) { m_bytes.append(reinterpret_cast<const char *>(&value), sizeof value); }
    void put(const End &end)
    {
        put(end.x);
        put(end.y);
        put(end.opacity);
        put(end.radius);
    }

private:
    QByteArray &m_bytes;
};

// Reads what Writer wrote; the bytes are the object's own, never damaged,
// so only running out is checked.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_at(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
    {
    }

    bool atEnd() const { return m_at >= m_end; }
    quint8 tag() { return atEnd() ? 0 : quint8(*m_at++); }
    float take()
    {
        float value = 0.0f;
        if (m_end - m_at >= qsizetype(sizeof value)) {
            std::memcpy(&value, m_at, sizeof value);
            m_at += sizeof value;
        } else {
            m_at = m_end;
        }
        return value;
    }
    End takeEnd()
    {
        End end;
        end.x = take();
        end.y = take();
        end.opacity = take();
        end.radius = take();
        return end;
    }

private:
    const char *m_at;
    const char *m_end;
};

} // namespace

CompactStrokeData::CompactStrokeData(const QList<SingleStroke::InputPoint> &points,
                                     const QList<std::shared_ptr<Segment>> &segments)
{
    Writer pointWriter(m_points);
    m_points.reserve(points.size() * 3 * qsizetype(sizeof(float)));
    for (const SingleStroke::InputPoint &point : points) {
        pointWriter.put(float(point.x));
        pointWriter.put(float(point.y));
        pointWriter.put(float(point.pressure));
    }
    m_pointCount = points.size();

    Writer writer(m_segments);
    m_segments.reserve(segments.size() * 45);
    // Where the last segment ended; a segment that starts there leaves its
    // start out.
    End joint;
    bool jointKnown = false;
    for (const std::shared_ptr<Segment> &segment : segments) {
        switch (segment->type()) {
        case Segment::PointType: {
            const auto &dab = static_cast<const PointSegment &>(*segment);
            joint = End(dab.position(), dab.opacity(), dab.radius());
            writer.putTag(quint8(Segment::PointType));
            writer.put(joint);
            break;
        }
        case Segment::LineType: {
            const auto &line = static_cast<const LineSegment &>(*segment);
            const End start(line.start(), line.startOpacity(), line.startRadius());
            const bool continues = jointKnown && start == joint;
            writer.putTag(quint8(Segment::LineType) | (continues ? ContinuesBit : 0));
            if (!continues)
                writer.put(start);
            joint = End(line.end(), line.endOpacity(), line.endRadius());
            writer.put(joint);
            break;
        }
        case Segment::ArcType: {
            const auto &arc = static_cast<const ArcSegment &>(*segment);
            const End start(arc.start(), arc.startOpacity(), arc.startRadius());
            const bool continues = jointKnown && start == joint;
            writer.putTag(quint8(Segment::ArcType) | (continues ? ContinuesBit : 0)
                          | (arc.clockwise() ? ClockwiseBit : 0));
            writer.put(float(arc.centre().x()));
            writer.put(float(arc.centre().y()));
            writer.put(float(arc.arcRadius()));
            if (!continues)
                writer.put(start);
            joint = End(arc.end(), arc.endOpacity(), arc.endRadius());
            writer.put(joint);
            break;
        }
        default:
            continue;
        }
        jointKnown = true;
        ++m_segmentCount;
    }
    m_points.squeeze();
    m_segments.squeeze();
}

QList<SingleStroke::InputPoint> CompactStrokeData::points() const
{
    QList<SingleStroke::InputPoint> points;
    points.reserve(m_pointCount);
    Reader reader(m_points);
    for (qsizetype i = 0; i < m_pointCount; ++i) {
        const double x = reader.take();
        const double y = reader.take();
        const double pressure = reader.take();
        points.append({x, y, pressure, 0.0});
    }
    return points;
}

QList<std::shared_ptr<Segment>> CompactStrokeData::segments() const
{
    QList<std::shared_ptr<Segment>> segments;
    segments.reserve(m_segmentCount);
    Reader reader(m_segments);
    End joint;
    while (!reader.atEnd()) {
        const quint8 tag = reader.tag();
        const bool continues = tag & ContinuesBit;
        switch (tag & TypeBits) {
        case Segment::PointType:
            joint = reader.takeEnd();
            segments.append(std::make_shared<PointSegment>(joint.position(), joint.opacity, joint.radius));
            break;
        case Segment::LineType: {
            const End start = continues ? joint : reader.takeEnd();
            joint = reader.takeEnd();
            segments.append(std::make_shared<LineSegment>(start.position(), joint.position(), start.opacity,
                                                          joint.opacity, start.radius, joint.radius));
            break;
        }
        case Segment::ArcType: {
            const double centreX = reader.take();
            const double centreY = reader.take();
            const double arcRadius = reader.take();
            const End start = continues ? joint : reader.takeEnd();
            joint = reader.takeEnd();
            segments.append(std::make_shared<ArcSegment>(QPointF(centreX, centreY), arcRadius, start.position(),
                                                         joint.position(), tag & ClockwiseBit, start.opacity,
                                                         joint.opacity, start.radius, joint.radius));
            break;
        }
        default:
            break;
        }
    }
    return segments;
}

void CompactStrokeData::clearSegments()
{
    m_segments = QByteArray();
    m_segmentCount = 0;
}

} // namespace Model
