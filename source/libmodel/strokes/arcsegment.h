#pragma once

#include "segment.h"

#include <tuple>

class QLineF;

namespace Model {

class ArcSegmentPrivate;

// A circular arc of stroke around a centre, from start to end in the given
// direction, with opacity and radius changing evenly along it. Angles follow
// QLineF: degrees, counter-clockwise on screen with y pointing up, so a
// clockwise arc has a negative sweep.
class ArcSegment : public Segment
{
public:
    // All zero, counter-clockwise; for reading.
    ArcSegment();
    ArcSegment(QPointF centre, double arcRadius, QPointF start, QPointF end, bool clockwise,
               double startOpacity, double endOpacity, double startRadius, double endRadius);
    ~ArcSegment() override;

    QPointF centre() const;
    double arcRadius() const;
    QPointF start() const;
    QPointF end() const;
    bool clockwise() const;
    double startOpacity() const;
    double endOpacity() const;
    double startRadius() const;
    double endRadius() const;

    int type() const override;
    QRect boundingRect() const override;
    void moveToStart(QPainterPath &path) const override;
    void addToPath(QPainterPath &path) const override;
    QRectF startCapRect() const override;
    QRectF endCapRect() const override;
    void tessellateStartCap(QList<float> &positions, QList<float> &attributes,
                            QList<float> &kinds) const override;
    void tessellate(QList<float> &positions, QList<float> &attributes,
                    QList<float> &kinds) const override;
    void tessellateEndCap(QList<float> &positions, QList<float> &attributes,
                          QList<float> &kinds) const override;
    void write(QDataStream &stream) const override;
    void read(QDataStream &stream) override;

    // The circle through start that touches the tangent line there and also
    // passes through end: centre x, centre y and radius. All three are 0 when
    // there is no such circle (end straight ahead on the tangent, start and
    // end equal, or a degenerate tangent).
    static std::tuple<double, double, double> centerFromTangent(QPointF start, QPointF end,
                                                                const QLineF &tangent);

private:
    std::unique_ptr<ArcSegmentPrivate> d;
};

} // namespace Model
