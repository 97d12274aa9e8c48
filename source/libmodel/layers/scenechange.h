#pragma once

#include "layers/layerchange.h"

namespace Model {

// A layer's change record together with the index of its layer in the
// scene's layer list: what the scene's edits return and applyChanges takes.
class SceneChange : public LayerChange
{
public:
    SceneChange();
    SceneChange(const LayerChange &change, int layer);
    SceneChange(LayerChange &&change, int layer);
    SceneChange(const SceneChange &other);
    SceneChange(SceneChange &&other) noexcept;
    SceneChange &operator=(const SceneChange &other);
    SceneChange &operator=(SceneChange &&other) noexcept;
    ~SceneChange() override;

    int layer() const;
    void setLayer(int layer);

private:
    int m_layer = -1;
};

} // namespace Model
