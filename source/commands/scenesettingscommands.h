#pragma once

// The commands that change a scene's frame size and frame rate, and those of
// the view state the user moves through (the active frame and layer, the
// frame range, the current tool), which are undoable so that walking the
// history also walks back through where the user was.
//
// Four of them merge with the one before them on the stack, so that a run of
// small steps is one history entry: SetActiveFrameAndLayer (arrow keys),
// SetFrameRange (a range handle dragged), ChangeToolType and SetFrameRate
// (a rate typed digit by digit). A merge that brings the value back to where
// the run began takes the entry out of the history.

#include "kl.h"
#include "scene/scenecommand.h"

#include <QSize>
#include <QString>
#include <QUndoCommand>

#include <memory>

class QObject;

namespace Model {
class KLScene;
class Scene;
} // namespace Model

namespace Commands {

class ChangeFrameSizePrivate;
class SetFrameRatePrivate;
class SetFrameRangePrivate;
class SetActiveFrameAndLayerPrivate;
class ChangeToolTypePrivate;

// Resizes every drawing of the scene to a new frame size, fitting it as mode
// says (stretched, inside, filling, centred without scaling, or left as it
// lies). Undo gives every drawing back exactly as it was, strokes, placements
// and pixels: fitting back could not, since a fit rounds to whole pixels and
// filling is not the reverse of fitting inside.
//
// The piece that floats over the paper, if any, is fitted with the
// drawings: its placement follows the frame, so that putting it down after
// the change lands it where the drawing's lines went. Undo gives it its
// placement back.
//
// progress, when given, is any object with the properties of a progress
// dialog ("labelText", "minimum", "maximum", "value"); the resize cannot be
// cancelled, so the caller's dialog offers no Cancel. A size whose drawings
// and pictures would need more memory than the machine has is refused when
// the command is made, before anything is resized: the command is obsolete
// and errorString() says why.
class ChangeFrameSize : public Model::SceneCommand
{
public:
    ChangeFrameSize(Model::KLScene *scene, const QSize &size, KL::FitMode mode, QObject *progress = nullptr,
                    QUndoCommand *parent = nullptr);
    ~ChangeFrameSize() override;
    void undo() override;

    // Empty unless the size was refused.
    QString errorString() const;

    // The bytes that the change holds at its peak: the scene's pictures at
    // size, every drawing's run-length code twice (as it was, for undo, and
    // as it becomes), the undo copies of the strokes, and the decoded
    // images, which the drawings share a bounded cache for, with those of
    // the drawing being fitted.
    static double bytesNeeded(const Model::Scene &scene, const QSize &size, KL::FitMode mode);

protected:
    void perform() override;

private:
    std::unique_ptr<ChangeFrameSizePrivate> d;
};

// From the frame rate the scene has; obsolete when equal by the fuzzy rule,
// and for a rate that is not a positive number, which the scene would not take.
class SetFrameRate : public Model::SceneCommand
{
public:
    SetFrameRate(Model::KLScene *scene, double rate, QUndoCommand *parent = nullptr);
    ~SetFrameRate() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<SetFrameRatePrivate> d;
};

// The scene settings dialog's answer: the frame rate, then the frame size,
// each child skipping itself when it changes nothing. When the size is
// refused, so is the whole: the command is obsolete, errorString() says why,
// and the rate is left as it was too.
class ChangeSceneSettings : public Model::SceneCommand
{
public:
    ChangeSceneSettings(Model::KLScene *scene, const QSize &size, KL::FitMode mode, double rate,
                        QObject *progress = nullptr, QUndoCommand *parent = nullptr);
    ~ChangeSceneSettings() override;

    QString errorString() const;

private:
    QString m_errorString;
};

// The frame range and, within it, the active frame and layer. Merges with a
// later range change that asks for the same active frame and layer.
class SetFrameRange : public Model::SceneCommand
{
public:
    SetFrameRange(Model::Scene *scene, int first, int last, int activeFrame, int activeLayer,
                  QUndoCommand *parent = nullptr);
    ~SetFrameRange() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<SetFrameRangePrivate> d;
};

// Moves the active frame and layer. reapply 1 clamps the frame into the
// layer's cells, 0 lets it stand on the row just after them (the sheet's
// navigation). rememberedFrame is the frame the navigation keeps for moving
// between layers: a step to another layer with the same remembered frame
// still merges with the steps before it.
class SetActiveFrameAndLayer : public Model::SceneCommand
{
public:
    SetActiveFrameAndLayer(Model::Scene *scene, int frame, int layer, int rememberedFrame,
                           QUndoCommand *parent = nullptr);
    SetActiveFrameAndLayer(Model::Scene *scene, int frame, int layer, int rememberedFrame, int reapply,
                           QUndoCommand *parent = nullptr);
    ~SetActiveFrameAndLayer() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<SetActiveFrameAndLayerPrivate> d;
};

// Makes a tool current (Model::Tool::Type as int). Undo goes back to the
// last pen, eraser or floating selection tool, the tools a user returns to,
// whatever tool was current in between.
class ChangeToolType : public Model::SceneCommand
{
public:
    ChangeToolType(Model::KLScene *scene, int toolType, QUndoCommand *parent = nullptr);
    ~ChangeToolType() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<ChangeToolTypePrivate> d;
};

} // namespace Commands
