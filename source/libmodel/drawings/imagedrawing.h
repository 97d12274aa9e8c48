#pragma once

#include "drawings/drawing.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <memory>

class QPainter;

namespace Model {

class ImageDrawingPrivate;

// A plain picture, the content of a reference layer's cell (an imported
// frame). It is shown fitted into the frame whatever its own size, so a change
// of frame size needs nothing from it, and it takes no strokes: changeFrameSize
// and mergeFrom leave it as it is. The colour table of a thumbnail does not
// apply to it either.
class ImageDrawing : public Drawing
{
public:
    explicit ImageDrawing(const QImage &image);
    ~ImageDrawing() override;

    int type() const override;
    std::unique_ptr<Drawing> clone() const override;
    // True for a null image.
    bool isEmpty() const override;
    // The picture fitted into size and centred on a transparent ground; a
    // null image gives the bare ground.
    QImage thumbnail(const QSize &size, const QList<QRgb> &colorTable) const override;
    void clearCache() override;
    void changeFrameSize(const QSize &size, KL::FitMode mode) override;
    void mergeFrom(const Drawing *other) override;

    QImage image() const;

    // Paints the part rect of a frame of frameSize: the picture drawn 1:1 when
    // it has the frame's size, otherwise scaled to fit inside the frame with
    // its aspect kept, centred.
    void paint(QPainter *painter, const QSize &frameSize, const QRect &rect) const;

private:
    std::unique_ptr<ImageDrawingPrivate> d;
};

} // namespace Model
