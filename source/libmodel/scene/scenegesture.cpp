#include "scene/scenegesture.h"

#include "scene/klscene.h"

namespace Model {

void SceneGesture::begin()
{
    if (m_scene)
        return;
    m_scene = KLScene::current();
    if (m_scene)
        m_scene->beginGesture();
}

void SceneGesture::end()
{
    finish(true);
}

void SceneGesture::drop()
{
    finish(false);
}

void SceneGesture::finish(bool kept)
{
    // Cleared first: what the scene does as the gesture ends may end it
    // again.
    if (KLScene *scene = m_scene.data()) {
        m_scene.clear();
        scene->endGesture(kept);
    }
}

} // namespace Model
