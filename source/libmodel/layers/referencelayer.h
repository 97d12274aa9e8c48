#pragma once

#include "layers/visuallayer.h"

namespace Model {

// Imported pictures to trace or follow (type 3): each original cell owns an
// ImageDrawing, fitted into the frame when painted. Half transparent when
// new. Not drawn on: no strokes, no floating selection.
class ReferenceLayer : public VisualLayer
{
    Q_OBJECT

public:
    // One cell holding a null picture.
    explicit ReferenceLayer(const QSize &frameSize, QObject *parent = nullptr);
    // Used by clone(): deep copies of the pictures, the source's opacity.
    ReferenceLayer(const ReferenceLayer &other);
    ~ReferenceLayer() override;

    int type() const override;
    Layer *clone() const override;
    std::shared_ptr<LayerItem> newCell() const override;
    // Within the cells and beyond them, at the layer opacity.
    void paint(int frame, QPainter *painter, const QRect &target) const override;
    // Only a frame's own picture, at full opacity; allBlack does not apply to
    // pictures.
    void paint(int frame, QPainter *painter, const QRect &target, bool allBlack) const override;
    QImage thumbnail(int frame, const QSize &size) const override;
};

} // namespace Model
