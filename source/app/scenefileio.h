#pragma once

#include <QString>

class QIODevice;
class QWidget;

namespace Model {
class Scene;
}

// Where the main window's file commands read and write scene files: the one
// place that knows the scene file format's reader and writer.
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
    // Why reading failed, in words for the user; empty otherwise.
    QString errorString;
};

// Fills the empty scene from the device, with a progress dialog modal to
// `parent`. On anything but Success the scene is to be thrown away.
Outcome readScene(Model::Scene *scene, QIODevice *device, QWidget *parent);

// Writes the scene to the device, with a progress dialog modal to `parent`.
Outcome writeScene(Model::Scene *scene, QIODevice *device, QWidget *parent);

} // namespace SceneFileIO
