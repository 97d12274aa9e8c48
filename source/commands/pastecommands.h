#pragma once

// Pasting cells copied from the exposure sheet, and pasting a picture into a
// reference layer.
//
// PasteDrawing keeps clones as clones: a copied drawing whose source is still
// in the scene unedited (its copy id still matches the record's) is pasted as
// a distant clone of that source, or as a hold, instead of as a new copy; a
// source that the paste itself removes or replaces is tracked, so that its
// drawing lives on in the pasted cells. Both commands first make room with
// child commands (discard the surplus selected cells, insert a blank, add
// holds) and then fill the cells, recording what undoes it.
//
// The clipboard record is read whole, once, when the command is made, its
// drawings as drawings of the scene's frame: a damaged record, one of another
// program or one copied from a layer of another kind makes the command
// obsolete, so that it changes nothing and never reaches the history; so does
// a drawing whose collapsed strokes cannot all be read, and errorString()
// then says which. Every redo pastes copies of what was read, whatever the
// clipboard holds by then.

#include "scene/scenecommand.h"

#include <QImage>
#include <QModelIndex>
#include <QString>
#include <QUndoCommand>

#include <memory>

class QMimeData;

namespace Model {
class KLScene;
}

namespace Commands {

class PasteDrawingPrivate;
class PasteImagePrivate;

// The cells of a "application/x-kelvane" record into the active layer: from
// the first selected cell down, as many cells as the record holds (surplus
// selected cells are discarded, missing ones added as holds), or, for one
// cell, into a run of cells inserted at it.
class PasteDrawing : public Model::SceneCommand
{
public:
    PasteDrawing(Model::KLScene *scene, const QModelIndexList &selection, const QMimeData *mime,
                 QUndoCommand *parent = nullptr);
    PasteDrawing(Model::KLScene *scene, const QModelIndex &cell, const QMimeData *mime,
                 QUndoCommand *parent = nullptr);
    ~PasteDrawing() override;
    void undo() override;

    // Why the copied cells cannot be pasted, for the user, when a drawing
    // they carry is at fault; empty otherwise.
    QString errorString() const;

protected:
    void perform() override;

private:
    std::unique_ptr<PasteDrawingPrivate> d;
};

// A picture as a new cell of a reference layer at the topmost selected cell,
// in place of the selected cells, scaled down to fit the frame when wider.
class PasteImage : public Model::SceneCommand
{
public:
    PasteImage(Model::KLScene *scene, const QModelIndexList &selection, const QImage &image,
               QUndoCommand *parent = nullptr);
    PasteImage(Model::KLScene *scene, const QModelIndex &cell, const QImage &image, QUndoCommand *parent = nullptr);
    ~PasteImage() override;
    void undo() override;

protected:
    void perform() override;

private:
    std::unique_ptr<PasteImagePrivate> d;
};

} // namespace Commands
