#pragma once

#include "strokes/stroke.h"

#include <QImage>
#include <QRect>

#include <memory>

namespace Model {

class BitmapStrokePrivate;

// Collapsed vector content: an 8-bit coverage image (QImage::Format_Alpha8)
// laid over a rectangle of the drawing. The image usually has a finer grain
// than the rectangle (a whole number of image pixels per drawing pixel, the
// resolution factor) and is scaled into place, smoothly, when rendered.
//
// The picture is kept as the run-length code its record carries, never
// decoded whole: a render decodes only the part it shows, band by band, and
// a picture shown at far less than its grain (a frame made many times
// smaller after the collapse) at about the grain it is shown at, in blocks
// counted from its top left corner. So a picture costs the bytes of its code
// however large it claims to be, and every picture the program makes reads
// back whole at any frame size. Where the last blocks reach past the
// picture, it is drawn to their edge: they hold its edge ink.
//
// A target pixel whose centre lies on the picture's edge, within the round-off
// of the single precision files keep transforms in, is drawn as one inside
// is, on every edge, upright, mirrored or turned, whole or in parts, so that
// ink at a picture's edge shows; a centre further out fades to nothing
// within a few more round-offs. A drawing shows the same pixels, within a
// level or two, before a save and after it is read back. The round-off is
// reckoned where the target lies on the paper (the render's paperOffset), so
// that a piece of a frame rendered on its own shows what a render of the
// whole frame shows there.
//
// A bitmap stroke can be cropped but not erased stroke by stroke: what lies
// under an eraser is wiped by the erase path of the compound stroke that holds
// it. It is empty when its rectangle is; a null image paints nothing.
//
// Records: the rectangle, then the image tag (-1 for no image, 2 when a
// run-length image follows). A damaged image loses only itself: a tag other
// than 2 reads no image data, and an image record that does not decode or is
// more than maximumResolutionFactor times finer than the rectangle leaves no
// image and the stream's status as it was (the run-length record carries its
// own length, so what follows is still read as what it is). Each such loss,
// but that of tag -1, which holds no image, is counted by the DecodeBudget in
// force. A rectangle beyond maximumCoordinate marks the stream
// QDataStream::ReadCorruptData.
class BitmapStroke : public Stroke
{
public:
    // Collapsing renders at a few image pixels per drawing pixel and cropping
    // keeps that grain, so no bitmap is finer than this; a record that claims
    // more holds a small rectangle over a huge image, which cropping would
    // have to scale to match.
    static constexpr int maximumResolutionFactor = 8;

    static constexpr qint32 NoImageTag = -1;
    static constexpr qint32 ImageTag = 2;

    // Null image and null rectangle; for the reader.
    BitmapStroke();
    // An image of another format is converted to Format_Alpha8.
    BitmapStroke(const QImage &image, const QRect &rect);
    ~BitmapStroke() override;

    // The whole picture, decoded on each call; null without one.
    QImage image() const;
    QRect rect() const;

    int type() const override;
    std::unique_ptr<Stroke> clone() const override;
    QRect render(QImage &target, QRect clip, const QTransform &transform, QPoint paperOffset,
                 double renderScale) const override;
    QRect boundingRect() const override;
    // The part of the rectangle that the picture's ink can reach, found from
    // its code without decoding it; null without ink. A picture that claims
    // a large rectangle with ink in a corner reaches that corner alone.
    QRect inkRect() const;
    bool isEmpty() const override;
    // Erasing a bitmap is its compound's business: nothing changes here, and
    // the answer is always true.
    bool eraseInside(const QPainterPath &path) override;
    // Keeps the stroke when path covers it, drops it when path misses it, and
    // otherwise crops image and rectangle to path's bounding box at the same
    // resolution factor (the outline itself is the compound's clip path).
    void clipTo(const QPainterPath &path) override;
    void write(QDataStream &stream) const override;

    // A record that ends right after the rectangle reads as a stroke without
    // an image.
    static std::unique_ptr<BitmapStroke> read(QDataStream &stream);

private:
    BitmapStroke(const BitmapStroke &other);

    std::unique_ptr<BitmapStrokePrivate> d;
};

} // namespace Model
