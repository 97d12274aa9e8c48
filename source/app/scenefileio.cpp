#include "scenefileio.h"

#include <QCoreApplication>

// The scene file format has no reader or writer in this build yet: reading
// reports every file as unreadable and writing as failed, so that no command
// takes a scene for loaded or saved when it is not.
namespace SceneFileIO {

Outcome readScene(Model::Scene *scene, QIODevice *device, QWidget *parent)
{
    Q_UNUSED(scene);
    Q_UNUSED(device);
    Q_UNUSED(parent);
    return {Failed, QCoreApplication::translate("MainWindow", "This version of the program cannot read scene files.")};
}

Outcome writeScene(Model::Scene *scene, QIODevice *device, QWidget *parent)
{
    Q_UNUSED(scene);
    Q_UNUSED(device);
    Q_UNUSED(parent);
    return {Failed, QString()};
}

} // namespace SceneFileIO
