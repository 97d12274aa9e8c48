#include "layers/drawlayer.h"

namespace Model {

DrawLayer::DrawLayer(const QSize &frameSize, QObject *parent)
    : VisualLayer(frameSize, parent)
{
}

DrawLayer::DrawLayer(const DrawLayer &other) = default;

DrawLayer::~DrawLayer() = default;

} // namespace Model
