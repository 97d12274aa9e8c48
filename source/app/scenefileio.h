#pragma once

#include "io/scenereader.h"

#include <QList>
#include <QString>

class QIODevice;
class QWidget;

namespace Model {
class Scene;
}

// Where the main window's file commands read and write scene files: the one
// place that knows the scene file format's reader and writer. Both run under
// a window-modal progress dialog on `parent`, hidden for the first two
// seconds, whose Cancel stops them between layers and cells.
namespace SceneFileIO {

enum Result {
    Success = 0,
    // Reading: the bytes are not a scene this program can read. Writing: the
    // stream failed.
    Failed = 1,
    // The user cancelled in the progress dialog; nothing to report.
    Cancelled = 2,
};

struct Outcome
{
    Result result = Failed;
    // Why reading or writing failed, in words for the user; empty otherwise.
    QString errorString;
    // Reading: what of the scene could not be read (drawings, pictures,
    // notes or sound) or was made good (its frame size, the order of its
    // layers), by layer and frame. The scene opened all the same, with
    // everything else; the user is told once, with damageReport under
    // SceneReader::damageHeading().
    QList<Model::SceneReader::Damage> damage;
    // The damage as one text for a message; empty when there is none.
    QString damageReport;
};

// Fills the empty scene from the device. On anything but Success the scene
// is to be thrown away.
Outcome readScene(Model::Scene *scene, QIODevice *device, QWidget *parent);

// Writes the scene to the device. A file device is flushed before Success is
// answered, so that a disk that fills up on the document's last bytes
// reports Failed and the caller discards the file rather than committing it.
// Progress shows in a dialog modal to parent; without one, nowhere.
Outcome writeScene(Model::Scene *scene, QIODevice *device, QWidget *parent);

} // namespace SceneFileIO
