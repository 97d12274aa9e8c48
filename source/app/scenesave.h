#pragma once

#include <QString>

class QWidget;

namespace Model {
class Scene;
}

// Saving a scene into a file so that whatever happens on the way (the disk
// fills up, the folder goes, the writer fails, the user cancels, the
// program is killed) the file at the path is either the old one, untouched,
// or the whole new one: the document is written beside it and takes its
// place only once it is complete. Saving and autosave both go through here.
namespace SceneSave {

enum Status {
    Saved,
    // No new file could be begun next to the path, or the path may not be
    // replaced; errorString says why.
    CannotOpen,
    // The scene writer reported a broken stream; errorString says why when
    // the device told (a full disk does).
    WriterFailed,
    // The document was written but could not take the old file's place;
    // errorString says why.
    CannotCommit,
    // The user cancelled in the progress dialog.
    Cancelled,
};

struct Result
{
    Status status = CannotOpen;
    QString errorString;
};

// Writes the scene with a progress dialog modal to `parent`; without a
// parent, showing nothing and handling no event meanwhile. Only a file is
// replaced, never a folder or a device, and never a file whose permissions
// make it read-only, even by a user whom the system would let write it.
Result save(Model::Scene *scene, const QString &path, QWidget *parent);

} // namespace SceneSave
