#include "drawingcellcommands.h"

#include "commandconventions.h"
#include "drawings/drawing.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QMap>
#include <QUuid>

namespace Commands {

namespace {

enum class Insertion {
    AddBlank,
    InsertBlank,
    Duplicate,
};

QModelIndexList single(const QModelIndex &cell)
{
    return QModelIndexList{cell};
}

} // namespace

// Add blank, insert blank and duplicate: one cell edit each, kept as
// inserted lists.
class InsertionCommandPrivate : public CellRecord
{
public:
    InsertionCommandPrivate(QUndoCommand *command, Insertion insertion, Model::KLScene *scene,
                            const QModelIndexList &given)
        : CellRecord(scene)
        , m_insertion(insertion)
    {
        keepCells(command, given, [scene](const QModelIndex &cell) { return isVisualLayerIndex(scene, cell); },
                  CellOrder::AscendingRows);
    }

    // False when it inserted nothing.
    bool redo()
    {
        if (m_cells.isEmpty())
            return false;
        Model::SceneModel *sceneModel = model();
        const auto insert = [this, sceneModel](const QModelIndex &cell) {
            switch (m_insertion) {
            case Insertion::AddBlank:
                return sceneModel->addBlankDrawing(cell);
            case Insertion::InsertBlank:
                return sceneModel->insertBlankDrawing(cell);
            case Insertion::Duplicate:
                break;
            }
            QList<Model::SceneChange> changes = sceneModel->addCloneDrawing(cell);
            if (!changes.isEmpty())
                changes += sceneModel->makeOriginal(sceneModel->index(cell.row() + 1, cell.column()), QUuid());
            return changes;
        };
        // With a run of cells in one layer holding the current cell, the
        // current drawing's new neighbour (or the blank put in its place).
        const int r0 = m_cells.constFirst().row();
        const int cr = m_currentIndex.row();
        const int frame = 2 * cr - r0 + (m_insertion == Insertion::InsertBlank ? 1 : 2);
        return redoInsertion(insert, frame, currentLayer());
    }

    void undo()
    {
        if (m_cells.isEmpty())
            return;
        Model::SceneModel *sceneModel = model();
        const int offset = m_insertion == Insertion::InsertBlank ? 0 : 1;
        undoInsertion([sceneModel, offset](const QModelIndex &cell) {
            return sceneModel->removeDrawing(sceneModel->index(cell.row() + offset, cell.column()));
        });
    }

private:
    Insertion m_insertion;
};

// Clear and turn-into-original: recorded lists, and the copy id that each
// cell's drawing carried at the last undo, for the drawing a redo gives it.
class CopyIdCommandPrivate : public CellRecord
{
public:
    using CellRecord::CellRecord;

    // What the cells' drawings carry now, for the next redo.
    void rememberCopyIds()
    {
        m_copyIds.clear();
        for (const QModelIndex &cell : std::as_const(m_cells)) {
            const std::shared_ptr<Model::LayerItem> item = model()->itemAt(cell);
            if (item && item->drawing())
                m_copyIds.insert(cell, item->drawing()->copyId());
        }
    }

    void undo()
    {
        if (!hasScene())
            return;
        rememberCopyIds();
        model()->applyChanges(m_changes);
        m_changes.clear();
    }

    // Ordered by row, then column, as QModelIndex orders.
    QMap<QModelIndex, QUuid> m_copyIds;
};

class LoseDrawingMakingHoldPrivate : public CellRecord
{
public:
    using CellRecord::CellRecord;
};

// Discard and discard clones: recorded lists; a blank that a redo leaves in
// a layer whose last cell went is the same cell on every redo.
class DiscardCommandPrivate : public CellRecord
{
public:
    DiscardCommandPrivate(QUndoCommand *command, bool clonesOnly, Model::KLScene *scene,
                          const QModelIndexList &given)
        : CellRecord(scene)
        , m_clonesOnly(clonesOnly)
    {
        for (const QModelIndex &cell : given)
            m_maxRow = std::max(m_maxRow, cell.row());
        keepCells(
            command, given,
            [this, scene](const QModelIndex &cell) {
                return isVisualLayerIndex(scene, cell)
                    && !model()->data(cell, Model::SceneModel::FrameAfterLastRole).toBool()
                    && (!m_clonesOnly || model()->data(cell, Model::SceneModel::CloneRole).toBool());
            },
            CellOrder::AscendingRows);
    }

    // False when there was nothing to take away.
    bool redo()
    {
        if (m_cells.isEmpty() || !hasScene())
            return false;
        m_changes.clear();
        m_newCells.start();
        Model::Scene *scene = document();
        Model::SceneModel *sceneModel = model();

        // Each removal moves the cells below it up one row on its layer, and
        // on every layer linked with it; a cell whose row a linked removal
        // already took is not removed twice.
        struct Removal
        {
            int row;
            int column;
        };
        QList<Removal> removals;
        const auto moves = [scene](int removedColumn, int column) {
            return removedColumn == column || (scene->isLayerLinked(removedColumn) && scene->isLayerLinked(column));
        };
        for (const QModelIndex &cell : std::as_const(m_cells)) {
            int shift = 0;
            bool taken = false;
            for (const Removal &removal : std::as_const(removals)) {
                if (!moves(removal.column, cell.column()))
                    continue;
                if (removal.row == cell.row())
                    taken = true;
                else if (removal.row < cell.row())
                    ++shift;
            }
            if (taken)
                continue;
            const QModelIndex removed = sceneModel->index(cell.row() - shift, cell.column());
            m_changes += m_newCells.track(scene, [&] { return sceneModel->removeDrawing(removed); });
            removals.append({cell.row(), cell.column()});
        }
        if (m_changes.isEmpty())
            return false;

        const QModelIndex &last = m_cells.constLast();
        int removed = 0;
        for (const Removal &removal : std::as_const(removals))
            removed += moves(removal.column, last.column()) ? 1 : 0;
        int frame = 0;
        if (m_clonesOnly) {
            // The last selected frame, moved up by the cells taken away.
            frame = m_maxRow - removed + 1;
        } else {
            // Where the discarded run began, now holding what followed it.
            frame = last.row() - removed + 2;
            if (frame > scene->frameRangeLast())
                frame = scene->nextFreeFrame(last.column());
        }
        scene->setActiveFrameAndLayer(frame, last.column(), Model::Scene::AllowFrameAfterLast);
        return true;
    }

    void undo()
    {
        if (!m_cells.isEmpty() && hasScene())
            applyRecordedChanges();
    }

private:
    bool m_clonesOnly;
    NewCells m_newCells;
    int m_maxRow = -1;
};

// Add blank

AddBlankDrawing::AddBlankDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<InsertionCommandPrivate>(this, Insertion::AddBlank, scene, selection))
{
    setText(historyText("Add Blank after each Selected Drawing", "Commands::AddBlankDrawing"));
}

AddBlankDrawing::AddBlankDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<InsertionCommandPrivate>(this, Insertion::AddBlank, scene, single(cell)))
{
    setText(historyText("Add Blank Drawing", "Commands::AddBlankDrawing"));
}

AddBlankDrawing::~AddBlankDrawing() = default;

void AddBlankDrawing::undo() { d->undo(); }
void AddBlankDrawing::perform()
{
    if (!d->redo())
        setObsolete(true);
}

// Insert blank

InsertBlankDrawing::InsertBlankDrawing(Model::KLScene *scene, const QModelIndexList &selection,
                                       QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<InsertionCommandPrivate>(this, Insertion::InsertBlank, scene, selection))
{
    setText(historyText("Insert Blank after each Selected Drawing", "Commands::InsertBlankDrawing"));
}

InsertBlankDrawing::InsertBlankDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<InsertionCommandPrivate>(this, Insertion::InsertBlank, scene, single(cell)))
{
    setText(historyText("Insert Blank Drawing", "Commands::InsertBlankDrawing"));
}

InsertBlankDrawing::~InsertBlankDrawing() = default;

void InsertBlankDrawing::undo() { d->undo(); }
void InsertBlankDrawing::perform()
{
    if (!d->redo())
        setObsolete(true);
}

// Duplicate

DuplicateDrawing::DuplicateDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<InsertionCommandPrivate>(this, Insertion::Duplicate, scene, selection))
{
    setText(historyText("Duplicate each Selected Drawing as Original", "Commands::DuplicateDrawing"));
}

DuplicateDrawing::DuplicateDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<InsertionCommandPrivate>(this, Insertion::Duplicate, scene, single(cell)))
{
    setText(historyText("Duplicate Drawing as Original", "Commands::DuplicateDrawing"));
}

DuplicateDrawing::~DuplicateDrawing() = default;

void DuplicateDrawing::undo() { d->undo(); }
void DuplicateDrawing::perform()
{
    if (!d->redo())
        setObsolete(true);
}

// Clear

namespace {

// A cell to clear: not one beyond its layer's cells, nor a blank original
// of its own, which clearing would give a blank again.
bool isClearable(const Model::KLScene *scene, const QModelIndex &cell)
{
    const std::shared_ptr<Model::LayerItem> item =
        isVisualLayerIndex(scene, cell) ? scene->sceneModel()->itemAt(cell) : nullptr;
    if (!item)
        return false;
    const std::shared_ptr<Model::Drawing> drawing = item->drawing();
    return !drawing || item->kind() != Model::LayerItem::OriginalKind || !drawing->isEmpty()
        || !drawing->copyId().isNull();
}

// Without a scene these commands are obsolete before they take a text.
template<typename Test>
std::unique_ptr<CopyIdCommandPrivate> copyIdRecord(QUndoCommand *command, Model::KLScene *scene,
                                                   const QModelIndexList &given, Test test)
{
    auto d = std::make_unique<CopyIdCommandPrivate>(scene);
    d->keepCells(command, given, test, CellOrder::AsGiven);
    return d;
}

} // namespace

ClearDrawingMakingBlank::ClearDrawingMakingBlank(Model::KLScene *scene, const QModelIndexList &selection,
                                                 QUndoCommand *parent)
    : SceneCommand(parent)
    , d(copyIdRecord(this, scene, selection, [scene](const QModelIndex &cell) { return isClearable(scene, cell); }))
{
    if (d->hasScene())
        setText(historyText("Clear Selected Drawings", "Commands::ClearDrawingMakingBlank", int(selection.size())));
}

ClearDrawingMakingBlank::ClearDrawingMakingBlank(Model::KLScene *scene, const QModelIndex &cell,
                                                 QUndoCommand *parent)
    : SceneCommand(parent)
    , d(copyIdRecord(this, scene, single(cell), [scene](const QModelIndex &index) { return isClearable(scene, index); }))
{
    if (d->hasScene())
        setText(historyText("Clear Drawing", "Commands::ClearDrawingMakingBlank"));
}

ClearDrawingMakingBlank::~ClearDrawingMakingBlank() = default;

void ClearDrawingMakingBlank::undo()
{
    d->undo();
}

void ClearDrawingMakingBlank::perform()
{
    if (!d->hasScene())
        return;
    d->m_changes.clear();
    for (const QModelIndex &cell : std::as_const(d->m_cells)) {
        const auto layer = std::dynamic_pointer_cast<Model::VisualLayer>(d->document()->layerAt(cell.column()));
        const std::shared_ptr<Model::LayerItem> blankCell = layer ? layer->newCell() : nullptr;
        if (!blankCell || !blankCell->drawing())
            continue;
        const std::shared_ptr<Model::Drawing> blank = blankCell->drawing();
        const QUuid copyId = d->m_copyIds.value(cell);
        if (!copyId.isNull())
            blank->setCopyId(copyId);
        d->m_changes += d->model()->setDrawing(cell, blank, false, false);
    }
}

// Lose

namespace {

std::unique_ptr<LoseDrawingMakingHoldPrivate> loseRecord(QUndoCommand *command, Model::KLScene *scene,
                                                         const QModelIndexList &given)
{
    auto d = std::make_unique<LoseDrawingMakingHoldPrivate>(scene);
    // Frame 1 has no drawing before it to hold.
    d->keepCells(command, given, [](const QModelIndex &cell) { return cell.isValid() && cell.row() != 0; },
                 CellOrder::AsGiven);
    return d;
}

} // namespace

LoseDrawingMakingHold::LoseDrawingMakingHold(Model::KLScene *scene, const QModelIndexList &selection,
                                             QUndoCommand *parent)
    : SceneCommand(parent)
    , d(loseRecord(this, scene, selection))
{
    if (d->hasScene())
        setText(historyText("Lose Selected Drawings", "Commands::LoseDrawingMakingHold", int(selection.size())));
}

LoseDrawingMakingHold::LoseDrawingMakingHold(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(loseRecord(this, scene, single(cell)))
{
    if (d->hasScene())
        setText(historyText("Lose Drawing", "Commands::LoseDrawingMakingHold"));
}

LoseDrawingMakingHold::~LoseDrawingMakingHold() = default;

void LoseDrawingMakingHold::undo()
{
    if (!d->hasScene())
        return;
    d->model()->applyChanges(d->m_changes);
    d->m_changes.clear();
}

void LoseDrawingMakingHold::perform()
{
    if (!d->hasScene())
        return;
    d->m_changes.clear();
    for (const QModelIndex &cell : std::as_const(d->m_cells))
        d->m_changes += d->model()->makeHold(cell, false);
    // Holds already, or no cells.
    if (d->m_changes.isEmpty())
        setObsolete(true);
}

// Turn clone into original

namespace {

bool isCloneCell(const Model::KLScene *scene, const QModelIndex &cell)
{
    const Model::SceneModel *sceneModel = scene->sceneModel();
    return cell.isValid()
        && (sceneModel->data(cell, Model::SceneModel::CloneRole).toBool()
            || sceneModel->data(cell, Model::SceneModel::DistantCloneRole).toBool());
}

} // namespace

TurnCloneIntoOriginal::TurnCloneIntoOriginal(Model::KLScene *scene, const QModelIndexList &selection,
                                             QUndoCommand *parent)
    : SceneCommand(parent)
    , d(copyIdRecord(this, scene, selection, [scene](const QModelIndex &cell) { return isCloneCell(scene, cell); }))
{
    if (d->hasScene())
        setText(historyText("Turn Selected Clones into Originals", "Commands::TurnCloneIntoOriginal",
                            int(selection.size())));
}

TurnCloneIntoOriginal::TurnCloneIntoOriginal(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(copyIdRecord(this, scene, single(cell), [scene](const QModelIndex &index) { return isCloneCell(scene, index); }))
{
    if (d->hasScene())
        setText(historyText("Turn Clone into Original", "Commands::TurnCloneIntoOriginal"));
}

TurnCloneIntoOriginal::~TurnCloneIntoOriginal() = default;

void TurnCloneIntoOriginal::undo()
{
    d->undo();
}

void TurnCloneIntoOriginal::perform()
{
    if (!d->hasScene())
        return;
    d->m_changes.clear();
    for (const QModelIndex &cell : std::as_const(d->m_cells))
        d->m_changes += d->model()->makeOriginal(cell, d->m_copyIds.value(cell));
}

// Discard

DiscardDrawing::DiscardDrawing(Model::KLScene *scene, const QModelIndexList &selection, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<DiscardCommandPrivate>(this, false, scene, selection))
{
    setText(historyText("Discard Selected Drawings", "Commands::DiscardDrawing", int(selection.size())));
}

DiscardDrawing::DiscardDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<DiscardCommandPrivate>(this, false, scene, single(cell)))
{
    setText(historyText("Discard Drawing", "Commands::DiscardDrawing"));
}

DiscardDrawing::~DiscardDrawing() = default;

void DiscardDrawing::undo() { d->undo(); }
void DiscardDrawing::perform()
{
    if (!d->redo())
        setObsolete(true);
}

// Discard clones

DeleteCloneDrawing::DeleteCloneDrawing(Model::KLScene *scene, const QModelIndexList &selection,
                                       QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<DiscardCommandPrivate>(this, true, scene, selection))
{
    setText(historyText("Discard Selected Clone Drawings", "Commands::DiscardCloneDrawing", int(selection.size())));
}

DeleteCloneDrawing::DeleteCloneDrawing(Model::KLScene *scene, const QModelIndex &cell, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<DiscardCommandPrivate>(this, true, scene, single(cell)))
{
    // The translations know this text under this spelling.
    setText(historyText("Discard Clone Drawing", "Commands::DiscardCLoneDrawing"));
}

DeleteCloneDrawing::~DeleteCloneDrawing() = default;

void DeleteCloneDrawing::undo() { d->undo(); }
void DeleteCloneDrawing::perform()
{
    if (!d->redo())
        setObsolete(true);
}

} // namespace Commands
