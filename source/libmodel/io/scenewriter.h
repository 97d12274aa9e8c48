#pragma once

#include <QCoreApplication>
#include <QString>

#include <memory>

class QIODevice;
class QObject;

namespace Model {

class Scene;
class SceneWriterPrivate;

// Thrown inside the writer when the user has cancelled; write() turns it
// into its result.
struct WritingCancelledException
{
};

// Writes a scene as a ".kl" document (version 0.4, see SceneFormat) to a
// device that is open for writing, and never changes the scene. The caller
// owns the device: the writer neither opens, closes nor commits it, so an
// unfinished document never replaces a file unless the caller lets it
// (SceneFile::save writes through a QSaveFile and commits only a whole one).
//
// progress, when given, is any object with QProgressDialog's properties
// ("maximum", "value", "wasCanceled", "labelText", "minimumDuration"); the
// writer sets it up as "Saving scene...", counts one step per layer and per
// cell, and notices Cancel after the scene's attributes, after the ordering,
// after each layer's attributes and after every cell.
//
// Drawings travel as Base64 text of their records, written a piece at a
// time, so that a save holds little more than the scene itself.
class SceneWriter
{
    Q_DECLARE_TR_FUNCTIONS(Model::SceneWriter)

public:
    SceneWriter(const Scene *scene, QObject *progress = nullptr);
    ~SceneWriter();

    // SceneFormat::Done, Failed when the device did not take the document
    // (errorString() says why), Cancelled when the user cancelled; a
    // cancelled or failed document stays unfinished on the device.
    int write(QIODevice *device);
    // The device's own account of a failed write; empty otherwise.
    QString errorString() const;

private:
    SceneWriter(const SceneWriter &) = delete;
    SceneWriter &operator=(const SceneWriter &) = delete;

    std::unique_ptr<SceneWriterPrivate> d;
};

} // namespace Model
