#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QtGlobal>

#include <initializer_list>
#include <memory>

class QDataStream;
class QPainterPath;
class QRectF;
class QTransform;

namespace Model {

// One piece of a fitted pen stroke: a round dab, a straight piece or a circular
// arc, each with an opacity (0..1) and a radius (half the stroke's width, in
// drawing pixels) at its ends.
//
// Segments are immutable once built and are shared between copies of a stroke
// through std::shared_ptr; the only exception is read(), which fills a freshly
// made segment.
//
// Tessellation appends independent triangles to three parallel vertex lists.
// Per vertex: positions gets the centre-line point and a direction (4 floats),
// attributes the opacity and radius (2 floats), kinds the side code and an
// anti-aliasing direction (3 floats). The outline itself is placed later by the
// vertex program, under whatever transform the view has, so the lists hold no
// edge coordinates and stay exact under rotation, mirroring and skew.
class Segment
{
public:
    // Type codes, written as qint32 in front of each segment record.
    static constexpr qint32 PointType = 0;
    static constexpr qint32 LineType = 1;
    static constexpr qint32 ArcType = 2;

    // Side codes of the vertex lists.
    static constexpr float CentreSide = 0.0f;
    static constexpr float LeftSide = 1.0f;
    static constexpr float RightSide = -1.0f;
    // A disc rim vertex: moved like a left edge, but feathered along the
    // anti-aliasing direction (the vertex program treats |code| < 0.75 so).
    static constexpr float RimSide = 0.6f;

    virtual ~Segment();

    virtual int type() const = 0;
    virtual QRect boundingRect() const = 0;
    virtual void moveToStart(QPainterPath &path) const = 0;
    virtual void addToPath(QPainterPath &path) const = 0;
    virtual void tessellateStartCap(QList<float> &positions, QList<float> &attributes,
                                    QList<float> &kinds) const = 0;
    virtual void tessellate(QList<float> &positions, QList<float> &attributes,
                            QList<float> &kinds) const = 0;
    virtual void tessellateEndCap(QList<float> &positions, QList<float> &attributes,
                                  QList<float> &kinds) const = 0;
    // The squares around the discs that tessellateStartCap() and
    // tessellateEndCap() fill; empty for a segment without caps.
    virtual QRectF startCapRect() const;
    virtual QRectF endCapRect() const;
    // The start cap, the body and the end cap, as a render draws them.
    void tessellateWithCaps(QList<float> &positions, QList<float> &attributes, QList<float> &kinds) const;
    // The same for a render through transform, leaving out a cap whose disc
    // lies wholly outside clip (grown by the caller to where feathered edges
    // reach): a long line drawn in pieces does not fill its far ends' discs
    // for every piece.
    void tessellateWithCaps(QList<float> &positions, QList<float> &attributes, QList<float> &kinds,
                            const QTransform &transform, const QRect &clip) const;
    // Whether shape, in drawing coordinates, reaches clip through transform.
    // Mapped as it is, not as whole pixels: a shape under a pixel across,
    // shrunk, rounds to nothing, though it still draws.
    static bool reaches(const QRectF &shape, const QTransform &transform, const QRect &clip);
    virtual void write(QDataStream &stream) const = 0;
    // Reads the record body that write() produced. Stream errors are left for
    // the caller to inspect after the whole record; a record with a value that
    // is not a finite number marks the stream QDataStream::ReadCorruptData and
    // leaves the segment as it was.
    virtual void read(QDataStream &stream) = 0;

    // A fresh, default-valued segment of the class that the type code names,
    // ready for read(); nullptr for an unknown code.
    static std::shared_ptr<Segment> create(qint32 type);

    // A segment as a single stroke stores it: the qint32 type code, then the
    // record body.
    static void writeRecord(QDataStream &stream, const Segment &segment);
    // Reads the type code and, when it is known, the record that follows.
    // An unknown code reads nothing further and gives nullptr, since records
    // carry no length that would let the reader skip them.
    static std::shared_ptr<Segment> readRecord(QDataStream &stream);

protected:
    Segment() = default;

    // One end of a piece of tessellated stroke.
    struct End
    {
        QPointF position;
        QPointF direction;
        double opacity = 0.0;
        double radius = 0.0;
    };

    // A full disc around end.position as a fan of 100 triangles (the first one
    // degenerate), starting at end.direction and turning once around; the
    // length of end.direction is the length of every rim direction.
    static void appendDiscFan(QList<float> &positions, QList<float> &attributes,
                              QList<float> &kinds, const End &end);
    // The quad between two ends as two triangles, each end contributing a
    // left and a right edge vertex.
    static void appendQuad(QList<float> &positions, QList<float> &attributes,
                           QList<float> &kinds, const End &from, const End &to);

    // QRectF::toAlignedRect with the coordinates held inside the range where
    // a float still carries whole pixels, so that damaged records cannot
    // overflow int.
    static QRect alignedRect(const QRectF &rect);
    // The square of side 2 * radius around centre.
    static QRectF discRect(QPointF centre, double radius);

    // When one of the values read is not one a segment can have (see
    // Stroke::isWithinLimits), marks the stream as corrupt (unless it
    // already reports an error) and returns false.
    static bool acceptValues(QDataStream &stream, std::initializer_list<QPointF> positions,
                             std::initializer_list<double> opacities, std::initializer_list<double> radii);

private:
    Q_DISABLE_COPY_MOVE(Segment)
};

} // namespace Model
