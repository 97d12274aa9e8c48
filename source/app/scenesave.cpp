#include "scenesave.h"

#include "scenefileio.h"

#include "io/scenefile.h"

#include <QSaveFile>

namespace SceneSave {

Result save(Model::Scene *scene, const QString &path, QWidget *parent)
{
    // The save file would find out for itself, but in its own words
    // ("Existing file ... is not writable"), whatever the system's reason.
    if (const QString refused = Model::SceneFile::whyNotReplaceable(path); !refused.isEmpty())
        return {CannotOpen, refused};

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return {CannotOpen, file.errorString()};
    const SceneFileIO::Outcome written = SceneFileIO::writeScene(scene, &file, parent);
    switch (written.result) {
    case SceneFileIO::Success:
        // A write error on the way (a full disk) leaves the save file in
        // error, and commit() then refuses to replace the old file.
        if (file.error() == QFileDevice::NoError && file.commit())
            return {Saved, QString()};
        return {CannotCommit, file.errorString()};
    case SceneFileIO::Failed:
        file.cancelWriting();
        return {WriterFailed, written.errorString};
    case SceneFileIO::Cancelled:
        file.cancelWriting();
        return {Cancelled, QString()};
    }
    file.cancelWriting();
    return {WriterFailed, QString()};
}

} // namespace SceneSave
