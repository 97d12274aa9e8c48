#pragma once

// The commands that change which drawing stands in the cells of the exposure
// sheet: add or insert a blank, duplicate a drawing as a new original, clear
// a drawing to a blank, turn a drawing into a hold of the one before it, turn
// clones into originals, discard drawings or clone drawings.
//
// Each takes either the sheet's selection or one cell, both as scene model
// indexes, and keeps the cells that suit it; with none it is obsolete. The
// blank, insert and duplicate commands keep their lists as inserted lists,
// the others as recorded lists (see commandconventions.h). Clearing and
// turning clones into originals give each cell's new drawing, on a redo, the
// copy id that the cell's drawing carried when the command was undone, so
// that a paste still recognises a drawing copied in between.

#include "scene/scenecommand.h"

#include <QModelIndex>
#include <QUndoCommand>

#include <memory>

namespace Model {
class KLScene;
}

namespace Commands {

class InsertionCommandPrivate;
class CopyIdCommandPrivate;
class DiscardCommandPrivate;
class LoseDrawingMakingHoldPrivate;

// A blank drawing right after each cell; on a linked layer every other
// linked layer holds its drawing one frame longer there.
class AddBlankDrawing : public Model::SceneCommand
{
public:
    AddBlankDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    AddBlankDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~AddBlankDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<InsertionCommandPrivate> d;
};

// A blank drawing at each cell's own frame; the cell and all below it move
// down one frame.
class InsertBlankDrawing : public Model::SceneCommand
{
public:
    InsertBlankDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    InsertBlankDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~InsertBlankDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<InsertionCommandPrivate> d;
};

// A copy of each cell's drawing right after it, as an original of its own.
class DuplicateDrawing : public Model::SceneCommand
{
public:
    DuplicateDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    DuplicateDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~DuplicateDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<InsertionCommandPrivate> d;
};

// Each cell becomes an original of a new blank drawing.
class ClearDrawingMakingBlank : public Model::SceneCommand
{
public:
    ClearDrawingMakingBlank(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    ClearDrawingMakingBlank(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~ClearDrawingMakingBlank() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<CopyIdCommandPrivate> d;
};

// Each cell but one of frame 1 becomes a hold of the drawing before it.
class LoseDrawingMakingHold : public Model::SceneCommand
{
public:
    LoseDrawingMakingHold(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    LoseDrawingMakingHold(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~LoseDrawingMakingHold() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<LoseDrawingMakingHoldPrivate> d;
};

// Each hold or distant clone gets a copy of the drawing it shows.
class TurnCloneIntoOriginal : public Model::SceneCommand
{
public:
    TurnCloneIntoOriginal(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    TurnCloneIntoOriginal(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~TurnCloneIntoOriginal() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<CopyIdCommandPrivate> d;
};

// Removes the cells; those below move up. Not the empty row after a
// layer's last cell.
class DiscardDrawing : public Model::SceneCommand
{
public:
    DiscardDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    DiscardDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~DiscardDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<DiscardCommandPrivate> d;
};

// Removes the holds among the cells.
class DeleteCloneDrawing : public Model::SceneCommand
{
public:
    DeleteCloneDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent = nullptr);
    DeleteCloneDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent = nullptr);
    ~DeleteCloneDrawing() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<DiscardCommandPrivate> d;
};

} // namespace Commands
