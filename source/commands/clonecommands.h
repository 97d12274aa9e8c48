#pragma once

// The commands that add and remove holds, repeat a run of drawings, slide an
// original along its holds, and mark key drawings.
//
// AddCloneDrawings, CloneEachSelectedDrawingOnce and CycleSelectedDrawingsOnce
// work on cells through the scene's table model (the first keeps inserted
// lists, the other two recorded lists, see commandconventions.h). The others
// act on the scene directly, at its active cell (read when they are made) or
// over all layers, and keep the scene's own lists.

#include "scene/scenecommand.h"

#include <QModelIndex>
#include <QUndoCommand>

#include <memory>

namespace Model {
class KLScene;
class Scene;
} // namespace Model

namespace Commands {

class AddCloneDrawingsPrivate;
class RepeatCommandPrivate;
class SceneCellCommandPrivate;
class MarkAsKeyDrawingPrivate;
class UnmarkAllKeyDrawingsPrivate;

// count holds right after each cell, holding its drawing.
class AddCloneDrawings : public Model::SceneCommand
{
public:
    AddCloneDrawings(Model::KLScene *scene, const QModelIndexList &selection, int count,
                     QUndoCommand *parent = nullptr);
    AddCloneDrawings(Model::KLScene *scene, const QModelIndex &cell, int count, QUndoCommand *parent = nullptr);
    ~AddCloneDrawings() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<AddCloneDrawingsPrivate> d;
};

// One hold right after each cell.
class CloneEachSelectedDrawingOnce : public Model::SceneCommand
{
public:
    CloneEachSelectedDrawingOnce(Model::KLScene *scene, const QModelIndexList &selection,
                                 QUndoCommand *parent = nullptr);
    ~CloneEachSelectedDrawingOnce() override;
    void undo() override;

    // For selecting the result: the topmost cell (invalid without cells) and
    // the number of cells; the result spans 2 * cellCount() - 1 rows from it.
    QModelIndex lastCell() const;
    int cellCount() const;

protected:
    void perform() override;

private:
    std::unique_ptr<RepeatCommandPrivate> d;
};

// The run of cells repeated once right after it: originals and distant
// clones come back as distant clones of the same drawings, holds as holds.
class CycleSelectedDrawingsOnce : public Model::SceneCommand
{
public:
    CycleSelectedDrawingsOnce(Model::KLScene *scene, const QModelIndexList &selection,
                              QUndoCommand *parent = nullptr);
    ~CycleSelectedDrawingsOnce() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<RepeatCommandPrivate> d;
};

// Removes the count cells of the active layer that end at the active frame;
// the caller has counted holds there.
class DiscardCloneDrawings : public Model::SceneCommand
{
public:
    DiscardCloneDrawings(Model::Scene *scene, int count, QUndoCommand *parent = nullptr);
    ~DiscardCloneDrawings() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<SceneCellCommandPrivate> d;
};

// Moves the original at the active cell along its layer by distance frames,
// the exposure sheet's slide drag, with the farthest the drag went each way.
class SlideOriginalDrawing : public Model::SceneCommand
{
public:
    SlideOriginalDrawing(Model::Scene *scene, int distance, int smallestDistance, int largestDistance,
                         QUndoCommand *parent = nullptr);
    ~SlideOriginalDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<SceneCellCommandPrivate> d;
};

// Sets or clears the key-drawing mark of the active cell.
class MarkAsKeyDrawing : public Model::SceneCommand
{
public:
    MarkAsKeyDrawing(Model::Scene *scene, bool mark, QUndoCommand *parent = nullptr);
    ~MarkAsKeyDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<MarkAsKeyDrawingPrivate> d;
};

// Clears every key-drawing mark of the scene.
class UnmarkAllKeyDrawings : public Model::SceneCommand
{
public:
    explicit UnmarkAllKeyDrawings(Model::Scene *scene, QUndoCommand *parent = nullptr);
    ~UnmarkAllKeyDrawings() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<UnmarkAllKeyDrawingsPrivate> d;
};

} // namespace Commands
