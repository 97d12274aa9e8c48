#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QtGlobal>

#include <memory>

class QDataStream;
class QImage;
class QPainterPath;
class QPoint;
class QTransform;

namespace Model {

// A node of a drawing's stroke tree: a pen or eraser stroke, a group of strokes
// or collapsed bitmap content. The interface carries no data of its own.
//
// Records: write() puts out the record body only; whoever stores a stroke as a
// member writes its type code in front (writeRecord). Reading is not virtual,
// because the reader must know the class before it exists: each class has its
// own static reader, and readRecord() picks the class from the type code.
class Stroke
{
public:
    // Type codes, written as qint32 in front of each member of a compound stroke.
    static constexpr qint32 SingleStrokeType = 0;
    static constexpr qint32 CompoundStrokeType = 1;
    static constexpr qint32 BitmapStrokeType = 2;

    // No drawing reaches this far from its origin, and whole pixels stop
    // being exact in the floats that records carry beyond it. A rectangle
    // read from a record that reaches further is damage; keeping such
    // rectangles out means that no width, height or margin of one overflows.
    static constexpr int maximumCoordinate = 1 << 24;
    static bool isWithinLimits(const QRect &rect);
    // The values that a stroke holds, and so its record carries, are those
    // the program makes: finite, positions within maximumCoordinate of the
    // origin, radii from 0 to maximumCoordinate, pressures and opacities
    // from 0 to 1. A record holding any other value is damaged, and what
    // follows it cannot be trusted; a stroke never takes one, so that the
    // writer never writes what a reader must refuse (a double beyond float
    // range would even be written as an infinity).
    static bool isWithinLimits(QPointF point);
    static bool isWithinLimits(const QPainterPath &path);
    static bool isPossibleRadius(double radius);
    static bool isPossibleFraction(double value);
    // The transforms of groups are made of turns, moves and scales: affine
    // (their last column exactly 0, 0, 1) and invertible, and neither they
    // nor their inverses have an entry beyond the square of
    // maximumCoordinate, far beyond any fit of a frame and far inside float
    // range, which records hold them in.
    static bool isPossibleTransform(const QTransform &transform);
    // QRect's own width() and right() + 1 overflow for rectangles that span
    // more than the int range; this conversion takes the long way.
    static QRectF toRectF(const QRect &rect);
    // QRectF::toAlignedRect, held inside maximumCoordinate; null for a
    // rectangle with a coordinate that is not a finite number.
    static QRect alignedRect(const QRectF &rect);
    // Every pixel that rect reaches through transform. QTransform::mapRect
    // rounds the corners instead, and a rectangle shrunk under a pixel to
    // nothing, though what lies in it still draws.
    static QRect mappedRect(const QTransform &transform, const QRect &rect);
    // How far, in target pixels, a render at renderScale may paint beyond a
    // stroke's mapped bounds: the renderer feathers every edge outwards by
    // less than one render scale unit, and rectangles are rounded to whole
    // pixels on the way.
    static int featherMargin(double renderScale);

    virtual ~Stroke();

    virtual int type() const = 0;
    // A deep copy.
    virtual std::unique_ptr<Stroke> clone() const = 0;
    // Draws the stroke into an 8-bit alpha image, only inside clip, with its
    // drawing coordinates mapped through transform; paperOffset places the
    // paper texture and renderScale is the target's pixels per drawing pixel.
    // Returns the changed rectangle, null when nothing was drawn.
    virtual QRect render(QImage &target, QRect clip, const QTransform &transform,
                         QPoint paperOffset, double renderScale) const = 0;
    // Covers everything the stroke can paint, in drawing pixels.
    virtual QRect boundingRect() const = 0;
    virtual bool isEmpty() const = 0;
    // Removes what lies inside path; returns whether anything changed.
    virtual bool eraseInside(const QPainterPath &path) = 0;
    // Keeps only what lies inside or touches path.
    virtual void clipTo(const QPainterPath &path) = 0;
    virtual void write(QDataStream &stream) const = 0;

    // A member of a compound stroke: the qint32 type code, then the body.
    static void writeRecord(QDataStream &stream, const Stroke &stroke);
    // Reads a type code and the member record that follows it. Each class is
    // read in the form its own reader starts from: a single stroke without a
    // tool, an empty compound stroke, an empty bitmap stroke. An unknown code
    // reads nothing further and gives nullptr: records carry no length, so the
    // rest of the entry cannot be skipped. Stream errors are left for the
    // caller to inspect after the whole record.
    static std::unique_ptr<Stroke> readRecord(QDataStream &stream);
    // The same for a member whose type code has been read already.
    static std::unique_ptr<Stroke> readRecord(qint32 type, QDataStream &stream);

protected:
    Stroke() = default;
    // Derived classes may copy themselves (clone); strokes are never assigned
    // through the base, which would slice them.
    Stroke(const Stroke &) = default;
    Stroke &operator=(const Stroke &) = delete;
};

} // namespace Model
