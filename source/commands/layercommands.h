#pragma once

// The commands that add, copy, remove, merge and reorder the layers of a
// scene (the columns of the exposure sheet).
//
// Layers are shared objects: a command that takes a layer out of the scene
// keeps it alive through its own std::shared_ptr and puts the very same
// object back, so that its cells, their identifiers and the distant-clone
// links that name them (layer identifier, cell identifier) stay valid for
// every command below it on the stack. A layer that a command makes is made
// once and then handed between the command and the scene.
//
// Layers are addressed by their index in the scene's layer list; undo puts
// every layer back at the index and ordering position it had, since the
// commands below on the stack address layers by index too. Where the
// layer list changes under the user's eyes, undo also gives back the frame
// range and the active frame and layer read when the command was made.

#include "scene/scenecommand.h"

#include <QUndoCommand>

#include <memory>

namespace Model {
class KLScene;
class Layer;
class Scene;
} // namespace Model

namespace Commands {

class NewLayerPrivate;
class DuplicateLayerPrivate;
class RemoveLayerPrivate;
class SwapLayerPrivate;
class MergeLayerDownPrivate;
class MoveLayerPrivate;

// A new, empty layer above referenceLayer (-1: the active layer), named by
// the scene's layer count, made active. type 1 a stroke layer, 3 a reference
// layer; any other type is obsolete.
class NewLayer : public Model::SceneCommand
{
public:
    NewLayer(Model::Scene *scene, int type, int referenceLayer = -1, QUndoCommand *parent = nullptr);
    ~NewLayer() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<NewLayerPrivate> d;
};

// A copy of a visual layer, named "Copy of" its name, above the layer that
// was active, made active. The copy is made on the first redo and is the
// same object on every later one.
class DuplicateLayer : public Model::SceneCommand
{
public:
    DuplicateLayer(Model::Scene *scene, int layer, QUndoCommand *parent = nullptr);
    ~DuplicateLayer() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<DuplicateLayerPrivate> d;
};

// Takes a layer out of the scene: a visual layer among others is removed
// (after the layer above it, or below it at the top, became active when it
// was the active one); the only visual layer is replaced by an empty stroke
// layer named "New Layer", and the audio layer by an empty one, so that a
// scene never loses its last drawing layer. Annotation layers are never
// discarded. A macro of SetActiveFrameAndLayer, RemoveLayer and SwapLayer.
class DiscardLayer : public Model::SceneCommand
{
public:
    DiscardLayer(Model::Scene *scene, int layer, QUndoCommand *parent = nullptr);
    ~DiscardLayer() override;
};

// Removes the layer; undo puts it back at its index and position.
class RemoveLayer : public Model::SceneCommand
{
public:
    RemoveLayer(Model::Scene *scene, int layer, QUndoCommand *parent = nullptr);
    ~RemoveLayer() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<RemoveLayerPrivate> d;
};

// Puts replacement in the place of the layer; undo swaps them back.
class SwapLayer : public Model::SceneCommand
{
public:
    SwapLayer(Model::Scene *scene, int layer, std::shared_ptr<Model::Layer> replacement,
              QUndoCommand *parent = nullptr);
    ~SwapLayer() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<SwapLayerPrivate> d;
};

// Folds a draw layer into the draw layer of the same type below it in the
// frame range. Both stay untouched: the result is a new layer, made once, on
// the first redo, from a copy of the lower one, that takes the lower one's
// place; undo puts the two originals back.
class MergeLayerDown : public Model::SceneCommand
{
public:
    MergeLayerDown(Model::KLScene *scene, int layer, QUndoCommand *parent = nullptr);
    ~MergeLayerDown() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<MergeLayerDownPrivate> d;
};

// Moves the layer standing at ordering position from to position to; equal
// positions, or a from where the layer does not stand, leave the command
// obsolete.
class MoveLayer : public Model::SceneCommand
{
public:
    MoveLayer(Model::Scene *scene, int layer, int from, int to, QUndoCommand *parent = nullptr);
    ~MoveLayer() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<MoveLayerPrivate> d;
};

} // namespace Commands
