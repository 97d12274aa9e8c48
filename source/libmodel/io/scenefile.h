#pragma once

#include <QCoreApplication>
#include <QString>

class QIODevice;
class QObject;

namespace Model {

class Scene;

// Saving a scene to its file as the shell does it: the document goes into a
// new file beside the old one, which takes the old one's place only once the
// whole document is written and on the disk. Whatever goes wrong on the way
// (the disk is full, the folder has gone, the file is read-only, the user
// cancels), the file that was there stays exactly as it was.
class SceneFile
{
    Q_DECLARE_TR_FUNCTIONS(Model::SceneFile)

public:
    struct SaveResult
    {
        // SceneFormat::Done, Failed or Cancelled.
        int result = 0;
        // For the user when the save failed; empty otherwise.
        QString message;
    };

    // progress as SceneWriter takes it. Only a regular file (or a new one) is
    // written: a folder or a device at path is never replaced, and a file
    // whose permissions say read-only is left alone even where the user could
    // write it anyway.
    static SaveResult save(const Scene &scene, const QString &path, QObject *progress = nullptr);

    // Why a save may not replace what stands at path, in words for the user
    // (the system's own where it is the one refusing); empty when it may,
    // and when nothing stands there.
    static QString whyNotReplaceable(const QString &path);

    // The document alone, on a device that the caller opened and will
    // commit or discard. A piece that floats over the paper is written in
    // the drawing under it (FloatingPieceInPlace). A file device is flushed before Done is answered:
    // a disk that fills up on the document's last bytes refuses them only
    // then, and a commit would put a document cut short in place of the
    // old file. message holds the device's account of a failure.
    static SaveResult write(const Scene &scene, QIODevice *device, QObject *progress = nullptr);
};

} // namespace Model
