#include "scenesave.h"

#include "scenefileio.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>

namespace SceneSave {

namespace {

bool isReadOnlyFile(const QString &path)
{
    const QFileInfo info(path);
    // The permission bits alone: whether this user may write anyway (root
    // may) does not make a file marked read-only fair game.
    constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    return info.isFile() && !(info.permissions() & anyWrite);
}

} // namespace

Result save(Model::Scene *scene, const QString &path, QWidget *parent)
{
    if (isReadOnlyFile(path))
        return {CannotOpen, QCoreApplication::translate("MainWindow", "The file is read-only")};

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
