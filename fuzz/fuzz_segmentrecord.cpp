// A segment record as a single stroke holds it: Segment::readRecord, then
// what rendering asks of a segment.

#include "fuzztarget.h"

#include "strokes/arcsegment.h"
#include "strokes/linesegment.h"
#include "strokes/pointsegment.h"
#include "strokes/segment.h"
#include "strokes/stroke.h"

#include <QPainterPath>

void Fuzz::testOneInput(const QByteArray &input)
{
    QDataStream stream(input);
    prepareRecordStream(stream);
    const std::shared_ptr<Model::Segment> segment = Model::Segment::readRecord(stream);
    if (!segment || stream.status() != QDataStream::Ok)
        return;
    const QRect bounds = segment->boundingRect();
    // A segment's rectangle is held inside the coordinate limit itself: the
    // margins that go beyond it are the stroke's, not the segment's.
    expect(bounds.isEmpty() || Model::Stroke::isWithinLimits(bounds), "a segment lies within a drawing's reach");
    QList<float> positions;
    QList<float> attributes;
    QList<float> kinds;
    segment->tessellateStartCap(positions, attributes, kinds);
    segment->tessellate(positions, attributes, kinds);
    segment->tessellateEndCap(positions, attributes, kinds);
    QPainterPath path;
    segment->moveToStart(path);
    segment->addToPath(path);

    // What was read writes and reads back the same.
    const QByteArray written = record([&](QDataStream &out) { Model::Segment::writeRecord(out, *segment); });
    QDataStream again(written);
    prepareRecordStream(again);
    const std::shared_ptr<Model::Segment> reread = Model::Segment::readRecord(again);
    expect(reread && again.status() == QDataStream::Ok, "a written segment reads back");
    expect(record([&](QDataStream &out) { Model::Segment::writeRecord(out, *reread); }) == written,
           "a segment reads back as it was written");
}

QList<QByteArray> Fuzz::seeds()
{
    const Model::PointSegment point(QPointF(12.5, 30.0), 0.8, 4.0);
    const Model::LineSegment line(QPointF(10, 10), QPointF(200, 60), 0.2, 1.0, 1.5, 6.0);
    const Model::ArcSegment arc(QPointF(100, 100), 40.0, QPointF(140, 100), QPointF(100, 140), true, 0.5, 0.9,
                                2.0, 3.0);
    QList<QByteArray> seeds;
    for (const Model::Segment *segment : {static_cast<const Model::Segment *>(&point),
                                          static_cast<const Model::Segment *>(&line),
                                          static_cast<const Model::Segment *>(&arc)})
        seeds.append(record([&](QDataStream &out) { Model::Segment::writeRecord(out, *segment); }));
    return seeds;
}
