#pragma once

#include "segment.h"

namespace Model {

class PointSegmentPrivate;

// A round dab: the first segment of every stroke, so that a single click
// paints a dot. It has no extent along the stroke, so it adds nothing to a
// path beyond its starting point and has no caps.
class PointSegment : public Segment
{
public:
    // Zero position, opacity and radius; for reading.
    PointSegment();
    PointSegment(QPointF position, double opacity, double radius);
    ~PointSegment() override;

    QPointF position() const;
    double opacity() const;
    double radius() const;

    int type() const override;
    QRect boundingRect() const override;
    void moveToStart(QPainterPath &path) const override;
    void addToPath(QPainterPath &path) const override;
    void tessellateStartCap(QList<float> &positions, QList<float> &attributes,
                            QList<float> &kinds) const override;
    void tessellate(QList<float> &positions, QList<float> &attributes,
                    QList<float> &kinds) const override;
    void tessellateEndCap(QList<float> &positions, QList<float> &attributes,
                          QList<float> &kinds) const override;
    void write(QDataStream &stream) const override;
    void read(QDataStream &stream) override;

private:
    std::unique_ptr<PointSegmentPrivate> d;
};

} // namespace Model
