#include "io/scenefile.h"

#include "io/sceneformat.h"
#include "io/scenewriter.h"

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

    SceneWriter writer(&scene, progress);
    switch (writer.write(&file)) {
    case SceneFormat::Cancelled:
        file.cancelWriting();
        return {SceneFormat::Cancelled, {}};
    case SceneFormat::Failed: {
        const QString reason = writer.errorString();
        file.cancelWriting();
        if (reason.isEmpty())
            return {SceneFormat::Failed, tr("Cannot write file %1").arg(shown)};
        return failed(reason);
    }
    default:
        break;
    }
    // The last part of the document still waits in the file's buffer, and a
    // full disk refuses it only now: commit() would put a file cut short in
    // place of the old one.
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failed(reason);
    }
    if (!file.commit())
        return failed(file.errorString());
    return {SceneFormat::Done, {}};
}

} // namespace Model
