#pragma once

// Look-ups that the main window's files share: the registry's action for a
// key and the document of the current scene (null while none is open).

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"

class QAction;

namespace MainWindowLookups {

inline QAction *action(KL::Action key)
{
    return Model::ActionManager::instance()->action(key);
}

inline Model::Scene *currentScene()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    return klscene ? klscene->scene() : nullptr;
}

} // namespace MainWindowLookups
