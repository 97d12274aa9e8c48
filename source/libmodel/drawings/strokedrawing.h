#pragma once

#include "drawings/drawing.h"
#include "render/premultipliedblend.h"
#include "strokes/compoundstroke.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTransform>

#include <memory>
#include <optional>

class QDataStream;
class QPainter;
class QPainterPath;

namespace Model {

class RleImage;
class SingleStroke;
class Stroke;
class StrokeDrawingPrivate;

// The animator's own drawing: pen, eraser and bitmap strokes under one root
// compound stroke, and a cached coverage image of all of them.
//
// Invariant: image() is the root rendered with the identity transform into a
// Format_Alpha8 image of size() (strokes composed in order, pens through the
// draw table and erasers through the erase table), or null when the root is
// empty. Edits keep it by re-rendering only the region they change, or by
// composing a new stroke straight into it. Every edit of the content also
// drops the thumbnails and sets the copy id back to null.
//
// The drawing keeps that image as run-length code, which for a drawing of a
// few dozen lines is a hundredth of the frame; the decoded image lives in the
// DrawingImageCache that all drawings share, and is decoded again whenever the
// cache has let it go. An edit changes the decoded image in place and encodes
// it once. image() and the painting functions may run on any thread while no
// other thread edits the drawing.
//
// A frame without pixels, or too large to hold (beyond maximumImageBytes),
// keeps its strokes but has no image.
//
// Record (the scene file's embedded drawings and the cell clipboard): the
// size as QSize, the root's compound stroke body without a type code, then
// an image tag: -1 for no image, 2 when a run-length image of the cached image
// follows: the code the drawing keeps, written as it is and read back without
// decoding. A record may end after the root; whatever image it lacks, or
// carries in a size other than the frame's, is rebuilt from the strokes.
// Reading stops at the first damage and leaves the stream's error status for
// the caller: a frame beyond maximumImageBytes, with a side beyond
// Stroke::maximumCoordinate or of negative size (other than QSize(), a frame
// not known yet) marks it QDataStream::ReadCorruptData and
// leaves the drawing as it was; damage in the strokes keeps those read before
// it. The pictures of collapsed strokes are kept as the code the record
// carries (see BitmapStroke), so a record costs what its bytes hold, whatever
// sizes its pictures claim and whatever frame it is read for.
class StrokeDrawing : public Drawing
{
public:
    // The largest cached image a drawing makes: far beyond any frame this
    // program draws, the same bound as for run-length images.
    static constexpr qint64 maximumImageBytes = qint64(256) * 1024 * 1024;

    // An empty drawing: no strokes, no image.
    explicit StrokeDrawing(QSize size);
    ~StrokeDrawing() override;

    int type() const override;
    // A deep copy of the strokes; the image's code and the thumbnails are
    // shared until either side changes.
    std::unique_ptr<Drawing> clone() const override;
    bool isEmpty() const override;
    // Coloured through colorTable, scaled into size with the aspect kept, and
    // with faint coverage strengthened so that thin lines stay visible when
    // small. One thumbnail is kept per first colour of the table (one per
    // layer colour); a null image for an empty drawing or an empty table.
    QImage thumbnail(const QSize &size, const QList<QRgb> &colorTable) const override;
    void clearCache() override;
    // Fits the strokes into the new frame through the root's transform.
    void changeFrameSize(const QSize &size, KL::FitMode mode) override;
    // How changeFrameSize() carries the frame's pixels from a frame of size
    // from into one of size to: stretched, fitted inside or around with the
    // aspect kept, centred, or left where they lie. The identity when either
    // frame has no pixels.
    static QTransform frameFit(const QSize &from, const QSize &to, KL::FitMode mode);
    // What a drawing read for a frame other than the one its record claims
    // shows of its strokes beyond the claimed frame: what that frame showed
    // (a paste: the clipboard tells each drawing's frame truly), or all that
    // the new frame reaches (a scene file, whose sizes may have been damaged
    // or edited by hand while the strokes are the drawing).
    enum class InkBeyondClaim { Hidden, Shown };
    // Reads a record (see above) as a drawing of frame, as adoptFrame()
    // makes it of the drawing the record holds, but without ever making a
    // picture of the frame the record claims: the record's cached image is
    // kept only when it is of frame, and the strokes are rendered at frame
    // alone. A record of frame reads as operator>> reads it.
    void readFitted(QDataStream &stream, const QSize &frame, InkBeyondClaim beyond = InkBeyondClaim::Hidden);
    // Makes this a drawing of a frame of size frame without moving anything:
    // every pixel of the new frame shows what the drawing showed there, the
    // frame anchored at its top left corner as the paper and the exports
    // place a drawing, and what lay beyond the old frame stays unseen. From
    // then on strokes, stamps, merges and resizes reach the whole new frame,
    // as on any drawing made there. For a drawing that comes from a frame of
    // another size: a pasted one, or one a file carries in such a size. The
    // image is rendered only where the strokes reach, and only its code is
    // kept: fitting costs what the strokes cover, whatever the frame.
    void adoptFrame(const QSize &frame, InkBeyondClaim beyond = InkBeyondClaim::Hidden);
    // The bounds of the ink that the image shows within area; null when
    // there is none there, or no image.
    QRect inkBounds(const QRect &area) const;
    // Whether the strokes leave ink in area, which may lie beyond the frame:
    // rendered only where they reach, band by band, each band's pixels taken
    // from pixelsLeft; nullopt when it runs out before the answer is known.
    std::optional<bool> hasInkIn(const QRect &area, qint64 &pixelsLeft) const;
    // The bytes of run-length code the drawing keeps its image in; 0 for a
    // drawing without an image.
    qint64 imageCodeBytes() const;
    // Trades size, strokes, image and thumbnails with other as they stand,
    // the grouping of the strokes included; names and copy ids stay. For an
    // undo that must give a drawing that cells, clones and records share
    // back exactly as it was, from a copy made before the edit.
    void swapContent(StrokeDrawing &other);
    // Adds a copy of another stroke drawing's strokes as one group on top;
    // anything else (an image drawing, null, an empty drawing) changes nothing.
    void mergeFrom(const Drawing *other) override;

    QSize size() const;
    // Implicitly shared with the cache: it stays valid, and unchanged, for as
    // long as it is held, whatever later edits or the cache do.
    QImage image() const;
    const CompoundStroke &root() const;

    // Takes the stroke and composes it into the image. A live single stroke's
    // mask is used as it stands rather than rendered again, and the stroke
    // gives it up: strokes in a drawing hold no mask. A single stroke is
    // settled (SingleStroke::settle()): a drawing keeps its strokes in their
    // compact form. False, and the
    // stroke is dropped, for a null stroke and for an eraser stroke on an
    // empty drawing (there is nothing to erase, and an eraser must never be
    // a drawing's first stroke).
    bool addStroke(std::unique_ptr<Stroke> stroke);
    // Wipes what lies inside path; true when anything changed. A path that
    // covers no ink changes nothing.
    bool eraseInside(const QPainterPath &path);
    // Removes and returns the last stroke of the root; null when there is none.
    // before, when given, is what the image showed inside the rectangle at
    // before the last stroke came: the image takes it back there instead of
    // rendering the strokes left again, which would cost the render of every
    // stroke the rectangle touches. Without it, or for one that does not lie
    // within the image, the strokes are rendered.
    std::unique_ptr<Stroke> takeLastStroke(const QImage &before = QImage(), QPoint at = QPoint());
    // The strokes as they lie in the frame, cut to path: what a lasso lifts.
    // The drawing is unchanged.
    std::unique_ptr<CompoundStroke> copyInside(const QPainterPath &path) const;
    // Replaces all strokes by one bitmap stroke at scaleFactor image pixels per
    // drawing pixel, keeping only what lies inside clip when clip is valid.
    // progress may cancel; false, with nothing changed, when it does.
    bool collapseVectorData(int scaleFactor, QRect clip,
                            const CompoundStroke::Progress &progress = {});
    // Renders the image again from the strokes inside rect.
    void updateImage(QRect rect);

    // Draws the part rect of the drawing onto rect, coloured through
    // colorTable.
    void paint(QPainter *painter, const QList<QRgb> &colorTable, const QRect &rect) const;
    // Blends the part rect of the drawing, coloured through colorTable, onto
    // the same part of target at opacity: the pixels paint() gives through a
    // QPainter on target at that opacity, without the painter's set-up and
    // its hand-offs to worker threads. Nothing for a target of any format
    // but Format_ARGB32_Premultiplied.
    void blendOnto(QImage &target, const QList<QRgb> &colorTable, const QRect &rect,
                   double opacity) const;

    // The coverage as blendOnto() reads it, fetched once on the thread that
    // owns the drawing and then blended from any thread: the run-length code
    // where its runs alone make the image (only the runs are visited, and
    // the empty paper between them costs nothing), the decoded image
    // otherwise. It reads the drawing's code, which stays valid while the
    // drawing is neither edited nor destroyed.
    class Ink
    {
    public:
        // Whether there is nothing to blend.
        bool isEmpty() const { return !m_code && m_image.isNull(); }
        // Blends the part rect, through colours, onto the same part of
        // target: what blendOnto() gives with the colours paintedColours()
        // makes of its table and opacity.
        void blendOnto(const PremultipliedRows &target, const PremultipliedColours &colours, QRect rect) const;

    private:
        friend class StrokeDrawing;
        const RleImage *m_code = nullptr;
        QImage m_image;
        QSize m_size;
    };
    Ink ink() const;
    // Paints the drawing as it will look once the stroke in progress is
    // added, from the stroke's mask; nothing for a stroke without one.
    void paintWithActiveStroke(QPainter *painter, const QList<QRgb> &colorTable, const QRect &rect,
                               const SingleStroke *stroke) const;

private:
    friend QDataStream &operator<<(QDataStream &stream, const StrokeDrawing &drawing);
    friend QDataStream &operator>>(QDataStream &stream, StrokeDrawing &drawing);

    // The record into this drawing; a drawing of frame when it is given,
    // of the record's own frame otherwise.
    void readRecord(QDataStream &stream, const QSize *frame, InkBeyondClaim beyond);
    // The image rendered from the strokes where they reach alone, in pieces,
    // and kept as code: no picture of the whole frame is made or cached.
    void renderWhereStrokesReach();
    // Drops the thumbnails and the copy id after an edit of the content.
    void contentChanged();
    // updateImage() on an image already taken for an edit; keeps the result.
    void renderImage(QImage image, QRect rect);

    std::unique_ptr<StrokeDrawingPrivate> d;
};

QDataStream &operator<<(QDataStream &stream, const StrokeDrawing &drawing);
QDataStream &operator>>(QDataStream &stream, StrokeDrawing &drawing);

} // namespace Model
