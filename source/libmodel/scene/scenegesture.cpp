#include "scene/scenegesture.h"

#include "scene/klscene.h"

namespace Model {

namespace {

// Only the GUI thread pushes steps.
int s_ownSteps = 0;

} // namespace

SceneGesture::OwnSteps::OwnSteps() { ++s_ownSteps; }

SceneGesture::OwnSteps::~OwnSteps() { --s_ownSteps; }

bool SceneGesture::isMakingOwnSteps() { return s_ownSteps > 0; }

void SceneGesture::begin(const QString &text)
{
    if (m_scene)
        return;
    m_scene = KLScene::current();
    m_text = text;
    if (m_scene)
        m_scene->beginGesture(m_text);
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
        scene->endGesture(kept, m_text);
    }
}

} // namespace Model
