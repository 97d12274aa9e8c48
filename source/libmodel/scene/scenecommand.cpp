#include "scene/scenecommand.h"

#include <utility>

namespace Model {

void SceneCommand::redo()
{
    if (std::exchange(m_performed, false))
        return;
    perform();
}

void SceneCommand::markPerformed()
{
    m_performed = true;
}

void SceneCommand::perform()
{
    QUndoCommand::redo();
}

} // namespace Model
