#include "io/scenefile.h"

#include "io/sceneformat.h"
#include "io/scenewriter.h"
#include "scene/floatingpieceinplace.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace Model {

namespace {

// The file's own bits: WriteUser says only what this process may do.
constexpr QFileDevice::Permissions AnyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;

} // namespace

SceneFile::SaveResult SceneFile::save(const Scene &scene, const QString &path, QObject *progress)
{
    const QString shown = QDir::toNativeSeparators(path);
    const auto failed = [&shown](const QString &reason) {
        return SaveResult{SceneFormat::Failed, tr("Cannot write file %1:\n%2.").arg(shown, reason)};
    };

    // The new file would take the place of whatever stands at path: never
    // that of a folder or a device, and not that of a file marked read-only,
    // which a user running with every right (who may write anything) would
    // otherwise lose all the same.
    const QFileInfo target(path);
    if (target.exists() && target.isDir())
        return failed(tr("It is a folder"));
    if (target.exists() && !target.isFile())
        return failed(tr("It is not a regular file"));
    if (target.exists() && (!target.isWritable() || !(target.permissions() & AnyWrite)))
        return failed(tr("The file is read-only"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return failed(file.errorString());

    const SaveResult written = write(scene, &file, progress);
    if (written.result != SceneFormat::Done) {
        file.cancelWriting();
        if (written.result == SceneFormat::Cancelled)
            return written;
        if (written.message.isEmpty())
            return {SceneFormat::Failed, tr("Cannot write file %1").arg(shown)};
        return failed(written.message);
    }
    if (!file.commit())
        return failed(file.errorString());
    return {SceneFormat::Done, {}};
}

SceneFile::SaveResult SceneFile::write(const Scene &scene, QIODevice *device, QObject *progress)
{
    const FloatingPieceInPlace piece(scene);
    SceneWriter writer(&scene, progress);
    const int result = writer.write(device);
    auto *file = qobject_cast<QFileDevice *>(device);
    // A disk that fills up part-way through a write takes what it can
    // without giving a reason; writing the rest again brings the system's
    // ("No space left on device").
    if (result == SceneFormat::Failed) {
        if (file)
            file->flush();
        return {result, writer.errorString()};
    }
    if (result != SceneFormat::Done)
        return {result, {}};
    if (file && (!file->flush() || file->error() != QFileDevice::NoError)) {
        file->flush();
        return {SceneFormat::Failed, file->errorString()};
    }
    return {SceneFormat::Done, {}};
}

} // namespace Model
