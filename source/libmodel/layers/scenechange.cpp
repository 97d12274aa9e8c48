#include "layers/scenechange.h"

#include <utility>

namespace Model {

SceneChange::SceneChange() = default;

SceneChange::SceneChange(const LayerChange &change, int layer)
    : LayerChange(change)
    , m_layer(layer)
{
}

SceneChange::SceneChange(LayerChange &&change, int layer)
    : LayerChange(std::move(change))
    , m_layer(layer)
{
}

SceneChange::SceneChange(const SceneChange &other) = default;

SceneChange::SceneChange(SceneChange &&other) noexcept
    : LayerChange(std::move(other))
    , m_layer(other.m_layer)
{
}

SceneChange &SceneChange::operator=(const SceneChange &other) = default;

SceneChange &SceneChange::operator=(SceneChange &&other) noexcept
{
    m_layer = other.m_layer;
    LayerChange::operator=(std::move(other));
    return *this;
}

SceneChange::~SceneChange() = default;

int SceneChange::layer() const
{
    return m_layer;
}

void SceneChange::setLayer(int layer)
{
    m_layer = layer;
}

} // namespace Model
