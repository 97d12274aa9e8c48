#include "io/scenefile.h"

#include "io/filewriting.h"
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

QString SceneFile::whyNotReplaceable(const QString &path)
{
    // The new file would take the place of whatever stands at path: never
    // that of a folder or a device, and not that of a file marked read-only,
    // which a user running with every right (who may write anything) would
    // otherwise lose all the same.
    const QFileInfo target(path);
    if (!target.exists())
        return {};
    if (target.isDir())
        return tr("It is a folder");
    if (!target.isFile())
        return tr("It is not a regular file");
    if (!(target.permissions() & AnyWrite))
        return tr("The file is read-only");
    // The file's bits allow writing, but the system may not (a read-only
    // file system, another owner's file): its own words say which.
    QString reason;
    if (!mayWriteFile(path, &reason))
        return reason;
    return {};
}

SceneFile::SaveResult SceneFile::save(const Scene &scene, const QString &path, QObject *progress)
{
    const QString shown = QDir::toNativeSeparators(path);
    const auto failed = [&shown](const QString &reason) {
        return SaveResult{SceneFormat::Failed, tr("Cannot write file %1:\n%2.").arg(shown, reason)};
    };

    if (const QString refused = whyNotReplaceable(path); !refused.isEmpty())
        return failed(refused);

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
