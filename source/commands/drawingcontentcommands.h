#pragma once

// The commands that change what a drawing holds or where drawn content sits:
// a stroke drawn, erased or stamped onto drawings, a region cut out, vector
// strokes collapsed into a bitmap, the floating selection lifted and placed,
// a frame taken off or put back on the pegs, an annotation written.
//
// Copy ids. Any edit of a drawing's content sets its copy id to null, which
// tells a paste that the drawing is no longer the copied one. Stroke, CutPath
// and CollapseVectorData keep the ids themselves: undo gives the drawing back
// the id it had before the edit, and a later redo gives the edited drawing
// back the id that it carried when it was undone.
//
// Only OffPegs merges (with a later OffPegs of the same frame and layer).

#include "scene/scenecommand.h"
#include "strokes/floatingselection.h"

#include <QImage>
#include <QModelIndex>
#include <QPainterPath>
#include <QTransform>
#include <QUndoCommand>

#include <memory>

class QObject;

namespace Model {
class KLScene;
class Scene;
class SingleStroke;
class Stroke;
} // namespace Model

namespace Commands {

class StrokePrivate;
class CutPathPrivate;
class CollapseVectorDataPrivate;
class FloatingSelectionNewPrivate;
class FloatingSelectionTransformPrivate;
class OffPegsPrivate;
class AddAnnotationPrivate;

// A stroke added to the drawings of cells. Each redo adds a fresh copy of
// the kept stroke, each undo takes the last stroke back, and only from the
// drawings that took the stroke: a hidden layer, or an eraser on an empty
// drawing, refuses it, and undo must not take an earlier stroke instead.
//
// The stroke of a pen gesture comes with the mask it was drawn into, as big
// as the frame. The first redo composes it as it stands, and then the
// command lets it go: the history keeps the stroke's vector data and the
// mask coded and cut to the stroke's rectangle, from which every redo
// composes the same pixels and undo puts back what the drawing showed.
class Stroke : public Model::SceneCommand
{
public:
    // Stamping onto the selected cells: a drawing reached through several
    // cells (an original, its holds, its distant clones) takes the stroke
    // once, at its original; with clones locked for drawing only originals
    // take it. A copy of stroke is kept; stroke itself is destroyed.
    Stroke(Model::KLScene *scene, const QModelIndexList &cells, std::unique_ptr<Model::Stroke> stroke,
           QUndoCommand *parent = nullptr);
    // The pen or eraser stroke just drawn: "Draw" or "Erase".
    Stroke(Model::KLScene *scene, const QModelIndex &cell, std::unique_ptr<Model::SingleStroke> stroke,
           QUndoCommand *parent = nullptr);
    Stroke(Model::KLScene *scene, const QModelIndex &cell, std::unique_ptr<Model::Stroke> stroke,
           QUndoCommand *parent = nullptr);
    ~Stroke() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<StrokePrivate> d;
};

// Cuts the inside of path (frame coordinates) out of the drawing the cell
// shows. A path that cuts nothing leaves the command obsolete after its
// first redo, so that it never reaches the history.
class CutPath : public Model::SceneCommand
{
public:
    CutPath(Model::KLScene *scene, const QModelIndex &cell, QPainterPath path, QUndoCommand *parent = nullptr);
    ~CutPath() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<CutPathPrivate> d;
};

// Replaces the vector strokes of the original drawing behind the cell by one
// bitmap stroke. The collapse is worked out once, at the first redo;
// progress, when given, is any object with the properties of a progress
// dialog ("maximum", "value", "wasCanceled", "labelText") that follows it
// and may cancel it, which leaves the command obsolete and the scene as it
// was. Later redos put copies of the result back.
class CollapseVectorData : public Model::SceneCommand
{
public:
    CollapseVectorData(Model::KLScene *scene, const QModelIndex &cell, QObject *progress = nullptr,
                       QUndoCommand *parent = nullptr);
    ~CollapseVectorData() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<CollapseVectorDataPrivate> d;
};

// Installs a floating selection (may be null) in place of the scene's
// current one; the command owns whichever of the two is not installed.
class FloatingSelectionNew : public Model::SceneCommand
{
public:
    FloatingSelectionNew(Model::KLScene *scene, std::unique_ptr<Model::FloatingSelection> selection,
                         QUndoCommand *parent = nullptr);
    ~FloatingSelectionNew() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<FloatingSelectionNewPrivate> d;
};

// Places the floating selection. The placement to go back to is the one the
// scene has when the command runs, not when it was made.
class FloatingSelectionTransform : public Model::SceneCommand
{
public:
    FloatingSelectionTransform(Model::KLScene *scene, const Model::FloatingSelection::Transform &transform,
                               QUndoCommand *parent = nullptr);
    ~FloatingSelectionTransform() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<FloatingSelectionTransformPrivate> d;
};

// Gives the active frame an off-pegs transform (the identity puts it back on
// the pegs), on the layer whose transform is in effect there, else on the
// active layer. The first redo chooses the layer; every later redo changes
// that same layer, whatever is active then. A run of them on one frame and
// layer is one history entry.
class OffPegs : public Model::SceneCommand
{
public:
    OffPegs(Model::Scene *scene, const QTransform &transform, QUndoCommand *parent = nullptr);
    ~OffPegs() override;
    void undo() override;
    int id() const override;
    bool mergeWith(const QUndoCommand *other) override;

protected:
    void perform() override;

private:
    std::unique_ptr<OffPegsPrivate> d;
};

// Writes an annotation image into a cell of the annotation layer; undo and
// redo swap it with the image that was there.
class AddAnnotation : public Model::SceneCommand
{
public:
    AddAnnotation(Model::KLScene *scene, const QModelIndex &cell, QImage image, QUndoCommand *parent = nullptr);
    ~AddAnnotation() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<AddAnnotationPrivate> d;
};

// One step of what an annotation stroke wrote: cells are the rows it
// crossed, top down, and images their new notes, null where a row did not
// change. A stroke within one row is that row's AddAnnotation; one across
// several rows is one "Add Annotations" step of the rows it changed. A
// stroke that changed nothing makes no step.
void addAnnotations(Model::KLScene *klscene, const QModelIndexList &cells, const QList<QImage> &images);

// The lift: the selection becomes the current scene's floating piece and
// the floating-selection tool current, as one step that undo takes back
// whole. With cut, the lifted content leaves the active cell: the whole
// drawing for an empty path. A piece to collapse is collapsed when the
// step is pushed; progress follows it.
void liftFloatingSelection(Model::KLScene *klscene, std::unique_ptr<Model::FloatingSelection> selection,
                           const QPainterPath &path, bool cut, QObject *progress = nullptr);

// The stamp key: puts the current scene's floating piece down where the
// floating-selection tool points, into the active cell or into each cell of
// the sheet's selection (which it then clears), as one undo step; a blank
// that the row after a layer's last cell needs comes first, as a step of its
// own. Unless keepFloating, the step also goes back to the last drawing
// tool, so that undoing it brings the piece back. Where the active cell
// takes no ink (Model::Scene::activeCellInkRefusal) nothing changes and the
// piece floats on: false. progress follows a collapsing stamp.
bool stampFloatingSelection(Model::KLScene *klscene, bool keepFloating,
                            const Model::CompoundStroke::Progress &progress = {});

} // namespace Commands
