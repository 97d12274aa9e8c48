#pragma once

#include "strokes/stroke.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <memory>

class QPainter;
class QPainterPath;

namespace Model {

class Segment;
class SingleStrokePrivate;
class Tool;

// One pen or eraser stroke: the raw pen samples, the chain of point, line and
// arc segments fitted to them, and the stroke's own coverage mask.
//
// The fit runs behind the pen. Each refit moves the end of the fitted chain
// only a fraction of the way towards the newest sample (0.6 while drawing,
// 1.0 when finished), which smooths the line and lets it bend into arcs; the
// owner's timers call update() and finish() while the pen pauses. Radius and
// opacity follow the pressure through a copy of the drawing tool it began
// with (Tool::sharedCopy()); that copy is shared by every clone of the stroke
// and by the other strokes begun with the same settings. A
// stroke without a drawing tool (one read from a record) keeps its samples but
// never fits, so its segments stay exactly as they were stored.
//
// The mask is the size of the drawing and exists only for a live stroke; it
// gathers the segments one by one as updateMask() rasterises the newest. A
// stroke in a drawing is rasterised whole by render() instead, so the drawing
// takes the mask when the stroke is added (takeImage()); a frame-sized mask
// per stroke would otherwise stay in memory for as long as the drawing. A
// clone shares the mask until either side lets it go.
//
// Records: read() stops at the first damage it finds and leaves the stream's
// error status for the caller; what was read before the damage is kept. A
// sub-type other than 0..2, bounds beyond maximumCoordinate and a sample that
// is not a finite number mark the stream QDataStream::ReadCorruptData.
class SingleStroke : public Stroke
{
public:
    // One pen sample. The fourth value travels with the sample (an owner may
    // keep the sample's time there) but is neither used nor written; it reads
    // back as 0.
    struct InputPoint
    {
        double x = 0.0;
        double y = 0.0;
        double pressure = 0.0; // 0..1
        double extra = 0.0;

        QPointF position() const { return {x, y}; }
    };

    // A live stroke on a drawing of the given size, with a copy of tool's
    // settings.
    SingleStroke(QSize size, const Tool *tool);
    // A stroke without a mask; the reader makes one with no tool.
    explicit SingleStroke(const Tool *tool = nullptr);
    ~SingleStroke() override;

    int type() const override;
    std::unique_ptr<Stroke> clone() const override;
    QRect render(QImage &target, QRect clip, const QTransform &transform, QPoint paperOffset,
                 double renderScale) const override;
    QRect boundingRect() const override;
    bool isEmpty() const override;
    // Takes the stroke away only when the path covers all of it.
    bool eraseInside(const QPainterPath &path) override;
    // Keeps the stroke whole when the path touches it, drops it otherwise.
    void clipTo(const QPainterPath &path) override;
    void write(QDataStream &stream) const override;

    static std::unique_ptr<SingleStroke> read(QDataStream &stream);

    // Samples and fitting. Owners drop samples for which isNearLastPoint()
    // holds before adding them; samples with a coordinate or pressure that is
    // not a finite number are dropped here.
    void addPoint(const InputPoint &point);
    // For the first sample of a stroke whose direction is already known (from
    // is where the pen came from): the first fitted point gets that direction,
    // so that the stroke continues smoothly from it.
    void addPointWithTangent(const InputPoint &point, QPointF from);
    void update();
    void finish();
    bool isNearLastPoint(QPointF position) const;
    // All zero when there is no sample.
    InputPoint lastPoint() const;

    bool isPenStroke() const;
    bool isEraserStroke() const;
    // Tool type (0 pen, 1 eraser), pen sub-type and eraser sub-type as the
    // record keeps them; the sub-type of the other kind stays 1.
    int toolType() const;
    int penType() const;
    int eraserType() const;
    // The stroke's copy of its tool; null for a stroke read from a record.
    const Tool *tool() const;

    QList<InputPoint> inputPoints() const;
    QList<std::shared_ptr<Segment>> segments() const;
    // How many points the fit has placed so far (the end of the fitted chain
    // is the last of them).
    int fitPointCount() const;
    QPainterPath path() const;

    // For a stroke that has ended and that a drawing keeps: it is never
    // fitted again, drops its fit points and keeps its samples and segments
    // in the form its record has (32-bit floats) instead of as objects, a
    // third of the memory. What the accessors give is then what the stroke
    // would give once written and read back; a stroke read from a record
    // is settled already.
    void settle();

    // The coverage mask; null for a stroke read from a record and for one that
    // has handed its mask over.
    const QImage &image() const;
    // Hands the mask over (nothing is copied) and leaves the stroke without
    // one; later updateMask() calls do nothing.
    QImage takeImage();
    // Gives the stroke a mask again, as it was gathered while the stroke was
    // drawn: a drawing that takes the stroke once more then composes the
    // same pixels as the first time instead of rendering it anew.
    void setImage(QImage mask);
    // Rasterises the newest segment into the mask. Returns what the owner must
    // repaint: the segment, a small square around the newest sample and the
    // last lag line, inside the mask; null when nothing was rasterised.
    QRect updateMask();
    // The dotted line from the newest sample back to the end of the fit, of
    // width 2 * size in the given colour. Returns the painted rectangle inside
    // clip, null when there is no fit to lag behind.
    QRect paintPendingLine(QPainter &painter, QColor color, QRect clip, double size);

private:
    SingleStroke(const SingleStroke &other);

    std::unique_ptr<SingleStrokePrivate> d;
};

} // namespace Model
