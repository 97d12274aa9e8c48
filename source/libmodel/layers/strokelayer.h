#pragma once

#include "drawings/strokedrawing.h"
#include "layers/drawlayer.h"
#include "render/premultipliedblend.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRgb>

#include <memory>

namespace Model {

class Stroke;
class StrokeLayerPrivate;

// The drawing layer (type 1): each original cell owns a StrokeDrawing, whose
// coverage the layer paints in its one colour through a 256-entry colour
// table (entry a is the colour with alpha a).
class StrokeLayer : public DrawLayer
{
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)

public:
    // One blank cell of the frame size.
    StrokeLayer(const QColor &color, const QSize &frameSize, QObject *parent = nullptr);
    // Used by clone(): deep copies of the drawings under the same item
    // identifiers, without off-pegs transforms or key-drawing flags.
    StrokeLayer(const StrokeLayer &other);
    ~StrokeLayer() override;

    QColor color() const;
    const QList<QRgb> &colorTable() const;

    int type() const override;
    Layer *clone() const override;
    std::shared_ptr<LayerItem> newCell() const override;
    void paint(int frame, QPainter *painter, const QRect &target, bool allBlack) const override;
    void paint(int frame, QPainter *painter, const QRect &target) const override;
    QImage thumbnail(int frame, const QSize &size) const override;
    void paintWithActiveStroke(int frame, QPainter *painter, const QRect &target,
                               const SingleStroke *stroke) const override;
    std::unique_ptr<FloatingSelection> floatingSelectionContent(int frame,
                                                                const QPainterPath &path) const override;

    // Paints a frame for the backlight: the colour turned by hueShift degrees,
    // the coverage scaled by alphaFactor.
    void paintBacklight(int frame, QPainter *painter, const QRect &target, int hueShift,
                        double alphaFactor) const;
    // The same pictures blended straight onto a Format_ARGB32_Premultiplied
    // image, pixel for pixel what paint() gives through a QPainter on it at
    // painterOpacity, and paintBacklight() through one at full opacity; far
    // cheaper for the cached pictures of a scene.
    void blendOnto(int frame, QImage &image, const QRect &target, double painterOpacity) const;
    void blendBacklightOnto(int frame, QImage &image, const QRect &target, int hueShift,
                            double alphaFactor) const;

    // What those two blend, made ready once on the thread that owns the
    // layer, for a picture composed in bands of rows on several threads:
    // the drawing's coverage and the colours it is blended with. Valid while
    // the drawing is neither edited nor destroyed.
    struct Ink
    {
        StrokeDrawing::Ink coverage;
        PremultipliedColours colours{};

        bool isEmpty() const { return coverage.isEmpty(); }
        void blendOnto(const PremultipliedRows &target, const QRect &rect) const
        {
            coverage.blendOnto(target, colours, rect);
        }
    };
    Ink inkAt(int frame, double painterOpacity) const;
    Ink backlightInkAt(int frame, int hueShift, double alphaFactor) const;

    // Stroke edits on the drawing of a frame; false or null when the frame
    // has no cell (a stroke given then is dropped).
    bool eraseInside(int frame, const QPainterPath &path);
    bool addStroke(int frame, std::unique_ptr<Stroke> stroke);
    // before and at as StrokeDrawing::takeLastStroke takes them.
    std::unique_ptr<Stroke> takeLastStroke(int frame, const QImage &before = QImage(), QPoint at = QPoint());

public Q_SLOTS:
    // Cached renderings of the originals are dropped so that they redraw in
    // the new colour.
    void setColor(const QColor &color);

private:
    std::unique_ptr<StrokeLayerPrivate> d;
};

} // namespace Model
