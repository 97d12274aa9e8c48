#pragma once

// The commands that change a layer's properties: its name, visibility,
// linking, what it shows beyond its last drawing, its colour and opacity.
//
// Name, visibility and linking go through the scene's table model (its
// horizontal header, as the exposure sheet edits them), the others through
// the scene. Each is obsolete when it would leave the property as it is, so
// that it never reaches the history. Only ChangeLayerOpacity merges: a run
// of opacity changes of one layer (a slider dragged, dragged again) is one
// history entry.

#include "scene/scenecommand.h"

#include <QColor>
#include <QString>
#include <QUndoCommand>

#include <memory>

class QAbstractItemModel;

namespace Model {
class Scene;
}

namespace Commands {

class RenameLayerPrivate;
class HeaderFlagPrivate;
class SetLayerBeyondLastPrivate;
class ChangeLayerColorPrivate;
class ChangeLayerOpacityPrivate;

// Obsolete for an empty name, the name the layer has, and the audio column,
// whose header shows the sound's offset instead of a name.
class RenameLayer : public Model::SceneCommand
{
public:
    RenameLayer(QAbstractItemModel *model, int column, const QString &name, QUndoCommand *parent = nullptr);
    ~RenameLayer() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<RenameLayerPrivate> d;
};

class SetLayerVisible : public Model::SceneCommand
{
public:
    SetLayerVisible(QAbstractItemModel *model, int column, bool visible, QUndoCommand *parent = nullptr);
    ~SetLayerVisible() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<HeaderFlagPrivate> d;
};

class SetLayerLinked : public Model::SceneCommand
{
public:
    SetLayerLinked(QAbstractItemModel *model, int column, bool linked, QUndoCommand *parent = nullptr);
    ~SetLayerLinked() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<HeaderFlagPrivate> d;
};

// Links or unlinks every visual layer: a macro of one SetLayerLinked per
// layer, so that undo gives each its own former state. Obsolete when every
// layer is already so.
class SetAllLayersLinked : public Model::SceneCommand
{
public:
    SetAllLayersLinked(QAbstractItemModel *model, bool linked, QUndoCommand *parent = nullptr);
    ~SetAllLayersLinked() override;
};

// mode: 1 show nothing, 2 freeze the last drawing, 3 cycle the drawings;
// 0 is obsolete.
class SetLayerBeyondLast : public Model::SceneCommand
{
public:
    SetLayerBeyondLast(Model::Scene *scene, int layer, int mode, QUndoCommand *parent = nullptr);
    ~SetLayerBeyondLast() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<SetLayerBeyondLastPrivate> d;
};

// Obsolete when the colour is the layer's already, or the layer has no
// colour of its own to change.
class ChangeLayerColor : public Model::SceneCommand
{
public:
    ChangeLayerColor(Model::Scene *scene, int layer, const QColor &color, QUndoCommand *parent = nullptr);
    ~ChangeLayerColor() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<ChangeLayerColorPrivate> d;
};

// From oldOpacity, which the caller read before it previewed the change
// live, to newOpacity (0..1). Opacities are compared plus one, so that 0
// compares sensibly under the fuzzy rule. Merges with a later opacity change
// of the same layer only.
class ChangeLayerOpacity : public Model::SceneCommand
{
public:
    ChangeLayerOpacity(Model::Scene *scene, int layer, double oldOpacity, double newOpacity,
                       QUndoCommand *parent = nullptr);
    ~ChangeLayerOpacity() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<ChangeLayerOpacityPrivate> d;
};

} // namespace Commands
