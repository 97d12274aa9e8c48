// The main window's handlers of the cell edits: each turns the sheet's
// selection, or else its current cell, into one undo command; and the cell
// clipboard, which moves cells (and pictures from other programs) through
// the system clipboard.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"

#include "dialogs/dialogs.h"

#include "clonecommands.h"
#include "drawingcellcommands.h"
#include "pastecommands.h"

#include "actions/actionmanager.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QMimeData>

#include <algorithm>

namespace {

using A = KL::Action;

using SelectionCommand = Model::SceneCommand *(*)(Model::KLScene *, const QModelIndexList &);
using CellCommand = Model::SceneCommand *(*)(Model::KLScene *, const QModelIndex &);

template<typename Command>
Model::SceneCommand *onSelection(Model::KLScene *klscene, const QModelIndexList &cells)
{
    return new Command(klscene, cells);
}

template<typename Command>
Model::SceneCommand *onCell(Model::KLScene *klscene, const QModelIndex &cell)
{
    return new Command(klscene, cell);
}

Model::SceneCommand *holdOnSelection(Model::KLScene *klscene, const QModelIndexList &cells)
{
    return new Commands::AddCloneDrawings(klscene, cells, 1);
}

Model::SceneCommand *holdOnCell(Model::KLScene *klscene, const QModelIndex &cell)
{
    return new Commands::AddCloneDrawings(klscene, cell, 1);
}

// Which cell an edit without a selection works on.
enum class Target {
    Current,
    // The current cell; on the empty row just after a layer's last cell,
    // where there is nothing to edit, the edit that makes sense there goes
    // to the layer's last cell instead.
    EndRule,
    // The cell one frame up, whatever the current cell holds.
    Previous,
};

struct CellEdit
{
    A key;
    SelectionCommand selectionForm;
    CellCommand cellForm;
    Target target;
    // For Target::EndRule: the edit on the layer's last cell.
    CellCommand endRuleForm;
    // Whether the selection goes once its cells are edited.
    bool clearsSelection;
};

const CellEdit cellEdits[] = {
    {A::AddCloneDrawing, holdOnSelection, holdOnCell, Target::EndRule, holdOnCell, true},
    {A::DeleteCloneDrawing, onSelection<Commands::DeleteCloneDrawing>, onCell<Commands::DeleteCloneDrawing>,
     Target::Current, nullptr, true},
    {A::AddBlankDrawing, onSelection<Commands::AddBlankDrawing>, onCell<Commands::AddBlankDrawing>,
     Target::EndRule, onCell<Commands::AddBlankDrawing>, true},
    {A::InsertBlankDrawing, onSelection<Commands::InsertBlankDrawing>, onCell<Commands::InsertBlankDrawing>,
     Target::EndRule, onCell<Commands::AddBlankDrawing>, true},
    {A::TurnCloneIntoOriginal, onSelection<Commands::TurnCloneIntoOriginal>,
     onCell<Commands::TurnCloneIntoOriginal>, Target::EndRule, onCell<Commands::AddBlankDrawing>, true},
    {A::DuplicateDrawing, onSelection<Commands::DuplicateDrawing>, onCell<Commands::DuplicateDrawing>,
     Target::EndRule, onCell<Commands::AddBlankDrawing>, true},
    {A::ClearDrawingMakingBlank, onSelection<Commands::ClearDrawingMakingBlank>,
     onCell<Commands::ClearDrawingMakingBlank>, Target::EndRule, onCell<Commands::AddBlankDrawing>, false},
    {A::LoseDrawingMakingHold, onSelection<Commands::LoseDrawingMakingHold>,
     onCell<Commands::LoseDrawingMakingHold>, Target::EndRule, holdOnCell, false},
    {A::DiscardDrawing, onSelection<Commands::DiscardDrawing>, onCell<Commands::DiscardDrawing>, Target::Current,
     nullptr, true},
    {A::BackDeleteDrawing, onSelection<Commands::DiscardDrawing>, onCell<Commands::DiscardDrawing>,
     Target::Previous, nullptr, true},
};

using MainWindowLookups::action;

Model::KLScene *currentHandle()
{
    Model::KLScene *klscene = Model::KLScene::current();
    return klscene && klscene->scene() ? klscene : nullptr;
}

bool isAfterLastCell(const QModelIndex &cell)
{
    return cell.data(Model::SceneModel::FrameAfterLastRole).toBool();
}

// The layer's last cell when the current cell is the empty one just after
// it. It is looked up in the scene, not in the frame range, which may begin
// at the current cell.
QModelIndex lastCellBefore(const QModelIndex &afterLast)
{
    return afterLast.row() > 0 ? afterLast.siblingAtRow(afterLast.row() - 1) : QModelIndex();
}

// The cell one frame before the current one, on its layer and within the
// frame range; invalid on the range's first frame.
QModelIndex previousCell(const Model::KLScene &klscene)
{
    const Model::FrameRangeModel *proxy = klscene.frameRangeModel();
    const QModelIndex shown = proxy->mapFromSource(klscene.currentIndex());
    if (!shown.isValid() || shown.row() == 0)
        return {};
    return proxy->mapToSource(proxy->index(shown.row() - 1, shown.column()));
}

void runCellEdit(const CellEdit &edit)
{
    Model::KLScene *klscene = currentHandle();
    if (!klscene)
        return;
    if (klscene->hasSelection()) {
        Model::KLScene::pushCommand(edit.selectionForm(klscene, klscene->selection().indexes()));
        if (edit.clearsSelection)
            klscene->clearSelection();
        return;
    }
    const QModelIndex current = klscene->currentIndex();
    switch (edit.target) {
    case Target::Current:
        Model::KLScene::pushCommand(edit.cellForm(klscene, current));
        break;
    case Target::EndRule:
        if (isAfterLastCell(current))
            Model::KLScene::pushCommand(edit.endRuleForm(klscene, lastCellBefore(current)));
        else
            Model::KLScene::pushCommand(edit.cellForm(klscene, current));
        break;
    case Target::Previous:
        Model::KLScene::pushCommand(edit.cellForm(klscene, previousCell(*klscene)));
        break;
    }
}

// The selected cells, or else the current one, onto the system clipboard;
// false, with the clipboard as it was, when there was nothing to copy.
bool copyCells(const Model::KLScene &klscene)
{
    const Model::SceneModel *model = klscene.sceneModel();
    if (klscene.hasSelection())
        return model->copyToClipboard(klscene.selection().indexes());
    return model->copyToClipboard(klscene.currentIndex());
}

void cutCells()
{
    Model::KLScene *klscene = currentHandle();
    if (!klscene)
        return;
    // A gesture under way ends first, as for any step: what it drew is in
    // the cell the clipboard takes.
    klscene->endGestures();
    // Only what is safe on the clipboard may leave the sheet.
    if (!copyCells(*klscene))
        return;
    // Cutting leaves the selection, so that a paste can go where it was.
    if (klscene->hasSelection())
        Model::KLScene::pushCommand(new Commands::DiscardDrawing(klscene, klscene->selection().indexes()));
    else
        Model::KLScene::pushCommand(new Commands::DiscardDrawing(klscene, klscene->currentIndex()));
}

// Cells copied in this program, else a picture (from any program), else
// nothing; the commands read the data themselves. Pushes the command and
// gives why the copied cells were refused, when a drawing they carry is at
// fault.
template<typename Cells>
QString paste(Model::KLScene *klscene, const Cells &cells, const QMimeData *mime)
{
    if (!mime)
        return {};
    QString refusal;
    Model::SceneCommand *command = nullptr;
    if (mime->hasFormat(QString(Model::Scene::CellsMimeType))) {
        auto *drawings = new Commands::PasteDrawing(klscene, cells, mime);
        refusal = drawings->errorString();
        command = drawings;
    } else if (mime->hasImage()) {
        command = new Commands::PasteImage(klscene, cells, qvariant_cast<QImage>(mime->imageData()));
    }
    if (command)
        Model::KLScene::pushCommand(command);
    return refusal;
}

QString pasteCells()
{
    Model::KLScene *klscene = currentHandle();
    if (!klscene)
        return {};
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (klscene->hasSelection()) {
        const QString refusal = paste(klscene, klscene->selection().indexes(), mime);
        klscene->clearSelection();
        return refusal;
    }
    QModelIndex target = klscene->currentIndex();
    if (isAfterLastCell(target)) {
        const QModelIndex before = previousCell(*klscene);
        if (before.isValid())
            target = klscene->sceneModel()->index(before.row() + 1, before.column());
    }
    return paste(klscene, target, mime);
}

void selectAllDrawings()
{
    Model::KLScene *klscene = currentHandle();
    if (!klscene)
        return;
    QItemSelectionModel *selection = klscene->selectionModel();
    const Model::FrameRangeModel *proxy = klscene->frameRangeModel();
    const int column = selection->currentIndex().column();
    if (column < 0 || !proxy->headerData(column, Qt::Horizontal, Model::SceneModel::VisualLayerRole).toBool())
        return;
    // The layer's rows from the top of the range, no further than the
    // sheet shows.
    const int count = proxy->headerData(column, Qt::Horizontal, Model::SceneModel::FrameCountRole).toInt();
    const int last = std::min(count, proxy->rowCount()) - 1;
    if (last < 0)
        return;
    selection->select(QItemSelection(proxy->index(0, column), proxy->index(last, column)),
                      QItemSelectionModel::ClearAndSelect);
}

void cloneEachSelectedDrawingOnce()
{
    Model::KLScene *klscene = currentHandle();
    if (!klscene || !klscene->hasSelection())
        return;
    auto *command = new Commands::CloneEachSelectedDrawingOnce(klscene, klscene->selection().indexes());
    const Model::FrameRangeModel *proxy = klscene->frameRangeModel();
    const QModelIndex first = proxy->mapFromSource(command->lastCell());
    const int count = command->cellCount();
    Model::KLScene::pushCommand(command);
    // The run the cloning made, each drawing followed by its hold.
    if (!first.isValid())
        return;
    const QModelIndex last = proxy->index(std::min(first.row() + std::max(0, 2 * count - 1), proxy->rowCount() - 1),
                                          first.column());
    klscene->selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::ClearAndSelect);
}

void cycleSelectedDrawingsOnce()
{
    Model::KLScene *klscene = currentHandle();
    if (klscene && klscene->hasSelection())
        Model::KLScene::pushCommand(
            new Commands::CycleSelectedDrawingsOnce(klscene, klscene->selection().indexes()));
}

void markAsKeyDrawing()
{
    if (Model::KLScene *klscene = currentHandle()) {
        Model::Scene *scene = klscene->scene();
        const bool marked = scene->isKeyDrawing(scene->activeLayerIdx(), scene->activeFrame());
        Model::KLScene::pushCommand(new Commands::MarkAsKeyDrawing(scene, !marked));
    }
}

void unmarkAllKeyDrawings()
{
    if (Model::KLScene *klscene = currentHandle())
        Model::KLScene::pushCommand(new Commands::UnmarkAllKeyDrawings(klscene->scene()));
}

} // namespace

void MainWindow::wireCellActions()
{
    for (const CellEdit &edit : cellEdits)
        connect(action(edit.key), &QAction::triggered, this, [edit] { runCellEdit(edit); });
    connect(action(A::CutDrawing), &QAction::triggered, this, cutCells);
    connect(action(A::CopyDrawing), &QAction::triggered, this, [] {
        if (const Model::KLScene *klscene = currentHandle())
            copyCells(*klscene);
    });
    connect(action(A::PasteDrawing), &QAction::triggered, this, [this] {
        const QString refusal = pasteCells();
        if (!refusal.isEmpty())
            d->m_dialogs->warning(this, QGuiApplication::applicationDisplayName(), refusal);
    });
    connect(action(A::SelectAllDrawings), &QAction::triggered, this, selectAllDrawings);
    connect(action(A::CloneEachSelectedDrawingOnce), &QAction::triggered, this, cloneEachSelectedDrawingOnce);
    connect(action(A::CycleSelectedDrawingsOnce), &QAction::triggered, this, cycleSelectedDrawingsOnce);
    connect(action(A::MarkAsKeyDrawing), &QAction::triggered, this, markAsKeyDrawing);
    connect(action(A::UnmarkAllKeyDrawings), &QAction::triggered, this, unmarkAllKeyDrawings);
}
