#pragma once

#include "strokes/singlestroke.h"

#include <QByteArray>
#include <QList>

#include <memory>

namespace Model {

class Segment;

// The samples and segments of a stroke that has ended, in a fifth of the
// memory the objects take: every value as a 32-bit float (the precision the
// stroke's record has, so nothing is lost that saving would keep), and each
// segment that starts where the one before it ended (as fitted segments do)
// without repeating its start. A drawing of a few dozen strokes then keeps
// kilobytes of vector data per stroke rather than tens of kilobytes.
//
// The objects are made again whenever they are asked for; each call gives
// new ones. The samples' fourth value is not kept, as the record does not
// keep it: it reads back as 0.
class CompactStrokeData
{
public:
    CompactStrokeData() = default;
    CompactStrokeData(const QList<SingleStroke::InputPoint> &points,
                      const QList<std::shared_ptr<Segment>> &segments);

    qsizetype pointCount() const { return m_pointCount; }
    qsizetype segmentCount() const { return m_segmentCount; }

    QList<SingleStroke::InputPoint> points() const;
    QList<std::shared_ptr<Segment>> segments() const;
    void clearSegments();

private:
    // x, y and pressure per sample.
    QByteArray m_points;
    // Per segment a tag byte (type, whether it continues from the previous
    // end, the arc's direction), then its floats.
    QByteArray m_segments;
    qsizetype m_pointCount = 0;
    qsizetype m_segmentCount = 0;
};

} // namespace Model
