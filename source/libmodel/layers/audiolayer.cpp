#include "layers/audiolayer.h"

namespace Model {

AudioLayer::AudioLayer(QObject *parent)
    : Layer(parent)
{
}

AudioLayer::~AudioLayer() = default;

int AudioLayer::type() const
{
    return AudioLayerType;
}

Layer *AudioLayer::clone() const
{
    return nullptr;
}

bool AudioLayer::hasFrame(int) const
{
    return false;
}

} // namespace Model
