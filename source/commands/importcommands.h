#pragma once

// The commands that bring outside media into a scene, and the one that
// places the sound against the frames.
//
// The heavy work, reading the images and decoding the sound, happens when
// an import command is made, under the caller's progress dialog (any object
// with its properties: "labelText", "minimumDuration", "maximum", "value",
// and "wasCanceled", which the import reads between files). Redo and undo
// only hand the finished layer between the command and the scene, the same
// object every time.
//
// An import that cannot be made whole (a sound file that is not sound, no
// file that holds a picture, a picture or a sequence too large to hold) or
// that the user cancels is obsolete, so that pushing it changes nothing;
// errorString() says why, and is empty after a cancel. Callers read it
// before pushing, since the stack deletes an obsolete command. Pictures may
// be of any sizes, and a file among them that holds no picture is left out
// of the layer (skippedFiles() names it) while the others go in.

#include "scene/scenecommand.h"

#include <QString>
#include <QStringList>
#include <QUndoCommand>

#include <memory>

class QObject;

namespace Model {
class Scene;
}

namespace Commands {

class ImportNewReferenceLayerPrivate;
class ImportNewAudioLayerPrivate;
class SetAudioOffsetPrivate;

// Sorts file names as a person reads numbered names: runs of digits compare
// by their numbers (img2 before img10), the rest by the user's language.
// The image import orders its files so, and so does everything that looks
// at a sequence before it is imported.
void sortNumberedNames(QStringList &names);

// The images of files, sorted as a person reads numbered names (2 before
// 10), as a new reference layer above the active one, one frame per image
// (an animated image gives several), made active. With numberPosition and
// firstNumber (both -1 to leave gaps alone), the number that a file's base
// name holds from numberPosition on says its frame, n landing on frame
// n - firstNumber + 1, and a gap in the numbering holds the image before it.
class ImportNewReferenceLayer : public Model::SceneCommand
{
public:
    ImportNewReferenceLayer(Model::Scene *scene, QStringList files, QObject *progress = nullptr,
                            int numberPosition = -1, int firstNumber = -1, QUndoCommand *parent = nullptr);
    ~ImportNewReferenceLayer() override;
    void undo() override;

    QString errorString() const;
    // One "file name: why" for each file that held no picture and was left
    // out.
    QStringList skippedFiles() const;

    // More frames than an import may make, whatever the numbers in the names
    // say.
    static constexpr int maximumFrameCount = 100000;

protected:
    void perform() override;

private:
    std::unique_ptr<ImportNewReferenceLayerPrivate> d;
};

// A sound file decoded into a new audio layer, which takes the place of the
// scene's audio layer (or joins the scene when it has none). A file that
// cannot be read as sound or has no sound in it (a header and a few samples
// are none) is refused before the scene is touched, errorString() naming it,
// so that the scene keeps the sound it has.
class ImportNewAudioLayer : public Model::SceneCommand
{
public:
    ImportNewAudioLayer(Model::Scene *scene, const QString &path, QObject *progress = nullptr,
                        QUndoCommand *parent = nullptr);
    ~ImportNewAudioLayer() override;
    void undo() override;

    QString errorString() const;
    // After an import that kept only the part of the sound before damage in
    // the file: how much, for the user to see as a warning. The import goes
    // ahead; empty otherwise.
    QString warningString() const;

protected:
    void perform() override;

private:
    std::unique_ptr<ImportNewAudioLayerPrivate> d;
};

// Where the sound starts, in frames (fractions and values below 0 allowed).
// A run of offset changes is one history entry.
class SetAudioOffset : public Model::SceneCommand
{
public:
    SetAudioOffset(Model::Scene *scene, double offset, QUndoCommand *parent = nullptr);
    ~SetAudioOffset() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<SetAudioOffsetPrivate> d;
};

} // namespace Commands
