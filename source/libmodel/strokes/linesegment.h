#pragma once

#include "segment.h"

namespace Model {

class LineSegmentPrivate;

// A straight piece of stroke whose opacity and radius change linearly from
// start to end. Its caps are full discs, so consecutive segments join without
// gaps at any angle.
class LineSegment : public Segment
{
public:
    // All zero; for reading.
    LineSegment();
    LineSegment(QPointF start, QPointF end, double startOpacity, double endOpacity,
                double startRadius, double endRadius);
    ~LineSegment() override;

    QPointF start() const;
    QPointF end() const;
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

private:
    std::unique_ptr<LineSegmentPrivate> d;
};

} // namespace Model
