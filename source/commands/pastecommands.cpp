#include "pastecommands.h"

#include "clonecommands.h"
#include "commandconventions.h"
#include "drawingcellcommands.h"
#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "layers/layer.h"
#include "layers/layeritem.h"
#include "scene/clipboardrecord.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QMap>
#include <QMimeData>
#include <QUuid>

#include <algorithm>

namespace Commands {

namespace {

using CopiedCell = Model::ClipboardRecord::Cell;

// Why a cell that carried a drawing cannot be pasted; empty when it can.
// index counts from 0.
QString refusal(const CopiedCell &cell, int index)
{
    QString why;
    if (cell.damaged) {
        why = QObject::tr("the drawing of cell %1 of the copied cells cannot be read.", "Commands::PasteDrawing")
                  .arg(index + 1);
    } else if (cell.unreadablePictures > 0) {
        why = QObject::tr("some collapsed strokes of the drawing of cell %1 of the copied cells cannot be read.",
                          "Commands::PasteDrawing")
                  .arg(index + 1);
    }
    if (why.isEmpty())
        return why;
    return QObject::tr("The copied cells cannot be pasted: %1", "Commands::PasteDrawing").arg(why);
}

// The cells of a clipboard record with their drawings, read once, through
// the model's reader, as drawings of a scene of frame. A paste takes a
// record whole or not at all: a layer type that no paste takes, or any cell
// whose drawing does not read whole (its collapsed strokes included) fails
// it, and for a drawing problem says why.
bool readCells(const QByteArray &bytes, QSize frame, QList<CopiedCell> *cells, qint32 *layerType, QString *problem)
{
    const Model::ClipboardRecord record(bytes);
    if (record.layerType() != Model::Layer::StrokeLayerType && record.layerType() != Model::Layer::ReferenceLayerType)
        return false;
    QList<CopiedCell> read;
    for (int i = 0; i < record.cellCount(); ++i) {
        read.append(record.cell(i, frame));
        *problem = refusal(read.constLast(), i);
        if (!problem->isEmpty())
            return false;
    }
    if (read.isEmpty())
        return false;
    *cells = std::move(read);
    *layerType = record.layerType();
    return true;
}

bool isKey(const Model::Scene::DrawingKey &key)
{
    return !key.first.isNull() && !key.second.isNull();
}

bool sameCell(const QModelIndex &a, const QModelIndex &b)
{
    return a.row() == b.row() && a.column() == b.column();
}

} // namespace

class PasteDrawingPrivate : public CellRecord
{
public:
    PasteDrawingPrivate(Model::KLScene *scene, const QMimeData *mime)
        : CellRecord(scene)
    {
        if (!hasScene() || !mime || !mime->hasFormat(Model::Scene::CellsMimeType))
            return;
        readCells(mime->data(Model::Scene::CellsMimeType), document()->frameSize(), &m_copied, &m_layerType,
                  &m_errorString);
    }

    bool hasRecord() const { return !m_copied.isEmpty(); }
    qint32 count() const { return qint32(m_copied.size()); }

    // Whether the cells the record fills lie in a layer of the record's kind.
    bool suits(const QModelIndex &target) const
    {
        return model()->headerData(target.column(), Qt::Horizontal, Model::SceneModel::LayerTypeRole).toInt()
            == m_layerType;
    }

    void redo(QUndoCommand *command);

    // The cells as the record held them when the command was made, read
    // once: every redo pastes copies of the same drawings, whatever the
    // clipboard holds by then.
    QList<CopiedCell> m_copied;
    qint32 m_layerType = 0;
    QString m_errorString;
    QModelIndexList m_surplus;
    QModelIndex m_target;
    // The identifier of the cell that took each drawing of the record at the
    // first redo, by the drawing's place in the record.
    QMap<qint32, QUuid> m_identifiers;

private:
    // Where the unedited source of a copy id can still be found while one
    // redo runs: a cell (for a distant clone of it) or a drawing that no
    // cell holds any longer.
    struct Sources
    {
        QMap<QUuid, Model::Scene::DrawingKey> moved;
        QMap<QUuid, std::shared_ptr<Model::Drawing>> kept;
    };

    // What a cell of the record became: a hold, a distant clone of the cell
    // of source, or a drawing of its own.
    struct Made
    {
        enum Kind { Hold, DistantClone, Own } kind = Own;
        Model::Scene::DrawingKey source;
    };

    void noteSurplusSources(Sources &sources) const;
    Made decide(int i, const CopiedCell &copied, const QModelIndex &cell, const Sources &sources) const;
    void pasteCell(int i, const CopiedCell &copied, Sources &sources);

    // What each cell became at the first redo, by its place in the record.
    // Later redos make the same, though the copy ids that found the sources
    // may be gone: a step that made a source makes it afresh on its redo.
    QMap<qint32, Made> m_made;
};

void PasteDrawingPrivate::redo(QUndoCommand *command)
{
    if (!hasScene() || !hasRecord())
        return;
    m_changes.clear();

    Sources sources;
    noteSurplusSources(sources);
    // Discard the surplus cells, or add the cells still missing.
    command->QUndoCommand::redo();
    for (int i = 0; i < m_copied.size(); ++i)
        pasteCell(i, m_copied.at(i), sources);
    document()->setActiveFrameAndLayer(m_target.row() + 1, m_target.column(), Model::Scene::ClampToDrawings);
}

// The surplus cells are about to go: an original among them that is an
// unedited source hands its drawing to its first distant clone that stays,
// or, with none, leaves it to this paste alone.
void PasteDrawingPrivate::noteSurplusSources(Sources &sources) const
{
    const Model::SceneModel *sceneModel = model();
    for (const QModelIndex &cell : m_surplus) {
        const std::shared_ptr<Model::LayerItem> item = sceneModel->itemAt(cell);
        if (!item || item->kind() != Model::LayerItem::OriginalKind || !item->drawing()
            || item->drawing()->copyId().isNull())
            continue;
        const QUuid copyId = item->drawing()->copyId();
        bool moved = false;
        for (const Model::LayerItem::Key &key : item->distantClones()) {
            const QModelIndex heir = sceneModel->indexOfDrawing(key);
            const bool discarded = std::any_of(m_surplus.cbegin(), m_surplus.cend(),
                                               [&heir](const QModelIndex &other) { return sameCell(heir, other); });
            if (heir.isValid() && !discarded) {
                sources.moved.insert(copyId, key);
                moved = true;
                break;
            }
        }
        if (!moved)
            sources.kept.insert(copyId, item->drawing());
    }
}

PasteDrawingPrivate::Made PasteDrawingPrivate::decide(int i, const CopiedCell &copied, const QModelIndex &cell,
                                                      const Sources &sources) const
{
    // A hold of the drawing pasted just before it.
    if (copied.kind == Model::LayerItem::CloneKind && i >= 1)
        return {Made::Hold, {}};

    const Model::Scene *scene = document();
    const QUuid copyId = copied.copyId;
    const Model::Scene::DrawingKey source =
        copyId.isNull() ? Model::Scene::DrawingKey() : model()->findDrawingKey(copyId);
    if (isKey(source)) {
        // A copied hold pasted right after the run that shows its source
        // holds that run's drawing.
        if (copied.kind == Model::LayerItem::CloneKind && cell.row() >= 1) {
            const int layer = cell.column();
            int frame = cell.row();
            while (frame > 1 && scene->isCloneDrawing(layer, frame))
                --frame;
            const std::shared_ptr<Model::LayerItem> above = scene->itemAt(layer, frame);
            if (above && above->drawing() && above->drawing()->copyId() == copyId)
                return {Made::Hold, {}};
        }
        return {Made::DistantClone, source};
    }
    if (sources.moved.contains(copyId))
        return {Made::DistantClone, sources.moved.value(copyId)};
    return {Made::Own, {}};
}

void PasteDrawingPrivate::pasteCell(int i, const CopiedCell &copied, Sources &sources)
{
    Model::Scene *scene = document();
    Model::SceneModel *sceneModel = model();
    const int layer = m_target.column();
    const QModelIndex cell = sceneModel->index(m_target.row() + i, layer);
    const std::shared_ptr<Model::LayerItem> item = sceneModel->itemAt(cell);
    const std::shared_ptr<Model::Layer> targetLayer = scene->layerAt(layer);
    if (!item || !targetLayer)
        return;

    // The pasted cells keep their identifiers across undo and redo.
    if (!m_identifiers.contains(i))
        m_identifiers.insert(i, item->identifier());
    else if (item->identifier() != m_identifiers.value(i))
        item->setIdentifier(m_identifiers.value(i));
    const Model::Scene::DrawingKey cellKey(targetLayer->identifier(), item->identifier());
    // Only the last cell refreshes the scene, for all of them.
    const bool quiet = i < count() - 1;
    const QUuid copyId = copied.copyId;

    // A source that this cell holds is about to be replaced: its drawing
    // lives on in its first distant clone, or in this paste.
    const std::shared_ptr<Model::Drawing> current = item->drawing();
    if (item->kind() == Model::LayerItem::OriginalKind && current && !current->copyId().isNull()
        && current->copyId() != copyId) {
        if (item->distantClones().isEmpty()) {
            sources.kept.insert(current->copyId(), current);
            sources.moved.remove(current->copyId());
        } else {
            sources.moved.insert(current->copyId(), item->distantClones().constFirst());
        }
    }

    if (!m_made.contains(i))
        m_made.insert(i, decide(i, copied, cell, sources));
    const Made made = m_made.value(i);
    if (made.kind == Made::Hold) {
        m_changes += sceneModel->makeHold(cell, quiet);
        return;
    }
    if (made.kind == Made::DistantClone) {
        m_changes += sceneModel->makeClone(cell, made.source, quiet);
        return;
    }
    std::shared_ptr<Model::Drawing> drawing = sources.kept.take(copyId);
    if (!drawing && copied.drawing) {
        // Each redo pastes a copy of its own: the drawing a redo pasted
        // lives on in the history of whatever was drawn on it.
        drawing = copied.drawing->clone();
        // Read as a drawing of the frame the scene had when the command was
        // made; a change of frame since is undone before any redo, and
        // should the frame still differ, the drawing takes it.
        if (auto *strokes = dynamic_cast<Model::StrokeDrawing *>(drawing.get()))
            strokes->adoptFrame(scene->frameSize());
        drawing->setCopyId(copyId);
    }
    if (!drawing)
        return;
    const QList<Model::SceneChange> changes = sceneModel->setDrawing(cell, drawing, true, quiet);
    m_changes += changes;
    // Later cells of the same drawing become distant clones of this one.
    if (!changes.isEmpty() && !copyId.isNull())
        sources.moved.insert(copyId, cellKey);
}

PasteDrawing::PasteDrawing(Model::KLScene *scene, const QModelIndexList &selection, const QMimeData *mime,
                           QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<PasteDrawingPrivate>(scene, mime))
{
    setText(historyText("Paste Drawing", "Commands::PasteDrawing"));
    if (!d->hasRecord()) {
        setObsolete(true);
        return;
    }
    d->keepCells(this, selection, [scene](const QModelIndex &cell) { return isVisualLayerIndex(scene, cell); },
                 CellOrder::AscendingRows);
    if (d->m_cells.isEmpty() || !d->suits(d->m_cells.constFirst())) {
        setObsolete(true);
        return;
    }
    d->m_target = d->m_cells.constFirst();
    const int kept = int(d->m_cells.size());
    if (kept > d->count()) {
        d->m_surplus = d->m_cells.mid(d->count());
        new DiscardDrawing(scene, d->m_surplus, this);
    } else if (kept < d->count()) {
        new AddCloneDrawings(scene, d->m_cells.constLast(), d->count() - kept, this);
    }
}

PasteDrawing::PasteDrawing(Model::KLScene *scene, const QModelIndex &cell, const QMimeData *mime,
                           QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<PasteDrawingPrivate>(scene, mime))
{
    setText(historyText("Paste Drawing", "Commands::PasteDrawing"));
    if (!d->hasRecord() || !isVisualLayerIndex(scene, cell) || !d->suits(cell)) {
        setObsolete(true);
        return;
    }
    d->m_cells = {cell};
    d->m_target = cell;
    // The cell's own drawing moves down below the pasted ones.
    new InsertBlankDrawing(scene, cell, this);
    if (d->count() > 1)
        new AddCloneDrawings(scene, cell, d->count() - 1, this);
}

PasteDrawing::~PasteDrawing() = default;

QString PasteDrawing::errorString() const
{
    return d->m_errorString;
}

void PasteDrawing::perform()
{
    d->redo(this);
}

void PasteDrawing::undo()
{
    if (!d->hasScene() || !d->hasRecord())
        return;
    d->model()->applyChanges(d->m_changes);
    d->m_changes.clear();
    QUndoCommand::undo();
    d->restoreConstructionState();
}

class PasteImagePrivate : public CellRecord
{
public:
    PasteImagePrivate(QUndoCommand *command, Model::KLScene *scene, const QModelIndexList &given, const QImage &image)
        : CellRecord(scene)
    {
        keepCells(
            command, given,
            [scene](const QModelIndex &cell) {
                return cell.isValid()
                    && scene->sceneModel()
                           ->headerData(cell.column(), Qt::Horizontal, Model::SceneModel::LayerTypeRole)
                           .toInt()
                    == Model::Layer::ReferenceLayerType;
            },
            CellOrder::DescendingRows);
        // A picture that could not be read pastes nothing.
        if (image.isNull())
            command->setObsolete(true);
        if (command->isObsolete())
            return;
        m_target = m_cells.constLast();
        // Wider than the frame allows: scaled down to fit it.
        const QSize frame = document()->frameSize();
        m_image = image;
        if (image.width() > image.size().scaled(frame, Qt::KeepAspectRatio).width())
            m_image = image.scaled(frame, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    QImage m_image;
    QModelIndex m_target;
    NewCells m_newCell;
};

PasteImage::PasteImage(Model::KLScene *scene, const QModelIndexList &selection, const QImage &image,
                       QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<PasteImagePrivate>(this, scene, selection, image))
{
    setText(historyText("Paste Image", "Commands::PasteImage"));
    if (!isObsolete())
        new DiscardDrawing(scene, d->m_cells, this);
}

PasteImage::PasteImage(Model::KLScene *scene, const QModelIndex &cell, const QImage &image, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<PasteImagePrivate>(this, scene, QModelIndexList{cell}, image))
{
    setText(historyText("Paste Image", "Commands::PasteImage"));
}

PasteImage::~PasteImage() = default;

void PasteImage::perform()
{
    if (!d->hasScene() || d->m_cells.isEmpty())
        return;
    // The selected reference cells go first.
    QUndoCommand::redo();
    Model::SceneModel *sceneModel = d->model();
    d->m_changes.clear();
    // The new cell is the same cell on every redo.
    d->m_newCell.start();
    const QModelIndex target = d->m_target;
    const QList<Model::SceneChange> inserted =
        d->m_newCell.track(d->document(), [sceneModel, &target] { return sceneModel->insertBlankDrawing(target); });
    if (inserted.isEmpty())
        return;
    d->m_changes += inserted;
    d->m_changes += sceneModel->setDrawing(d->m_target, std::make_shared<Model::ImageDrawing>(d->m_image), true, false);
    d->document()->setActiveFrameAndLayer(d->m_target.row() + 1, d->m_target.column(), Model::Scene::ClampToDrawings);
}

void PasteImage::undo()
{
    if (!d->hasScene() || d->m_cells.isEmpty())
        return;
    d->model()->applyChanges(d->m_changes);
    d->m_changes.clear();
    QUndoCommand::undo();
    d->restoreConstructionState();
}

} // namespace Commands
