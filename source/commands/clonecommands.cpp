#include "clonecommands.h"

#include "commandconventions.h"
#include "layers/layeritem.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QList>

#include <utility>

namespace Commands {

namespace {

bool keepsVisualCell(const Model::KLScene *scene, const QModelIndex &cell)
{
    return isVisualLayerIndex(scene, cell);
}

} // namespace

class AddCloneDrawingsPrivate : public CellRecord
{
public:
    AddCloneDrawingsPrivate(QUndoCommand *command, Model::KLScene *scene, const QModelIndexList &given, int count)
        : CellRecord(scene)
        , m_count(count)
    {
        keepCells(command, given, [scene](const QModelIndex &cell) { return keepsVisualCell(scene, cell); },
                  CellOrder::AscendingRows);
    }

    qint32 m_count = 1;
};

AddCloneDrawings::AddCloneDrawings(Model::KLScene *scene, const QModelIndexList &selection, int count,
                                   QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<AddCloneDrawingsPrivate>(this, scene, selection, count))
{
    if (!d->hasScene() || count < 1) {
        setObsolete(true);
        return;
    }
    setText(historyText("Add Clones after each Selected Drawing", "Commands::AddCloneDrawings", count));
}

AddCloneDrawings::AddCloneDrawings(Model::KLScene *scene, const QModelIndex &cell, int count, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<AddCloneDrawingsPrivate>(this, scene, QModelIndexList{cell}, count))
{
    if (!d->hasScene() || count < 1) {
        setObsolete(true);
        return;
    }
    setText(historyText("Add Clone Drawings", "Commands::AddCloneDrawings", count));
}

AddCloneDrawings::~AddCloneDrawings() = default;

void AddCloneDrawings::undo()
{
    if (d->m_cells.isEmpty() || d->m_count < 1)
        return;
    Model::SceneModel *sceneModel = d->model();
    const int count = d->m_count;
    d->undoInsertion([sceneModel, count](const QModelIndex &cell) {
        return sceneModel->removeDrawings(sceneModel->index(cell.row() + 1, cell.column()), count);
    });
}

void AddCloneDrawings::perform()
{
    if (d->m_cells.isEmpty() || d->m_count < 1)
        return;
    Model::SceneModel *sceneModel = d->model();
    const int count = d->m_count;
    // For a run of cells in one layer holding the current cell: the last new
    // hold of the current drawing.
    const int cr = d->m_currentIndex.row();
    const int frame = (cr - d->m_cells.constFirst().row() + 1) * count + cr + 1;
    if (!d->redoInsertion(
            [sceneModel, count](const QModelIndex &cell) { return sceneModel->addCloneDrawings(cell, count); },
            frame, d->currentLayer()))
        setObsolete(true);
}

// Clone each and cycle: recorded lists.
class RepeatCommandPrivate : public CellRecord
{
public:
    RepeatCommandPrivate(QUndoCommand *command, Model::KLScene *scene, const QModelIndexList &given, CellOrder order)
        : CellRecord(scene)
    {
        if (!hasScene()) {
            command->setObsolete(true);
            return;
        }
        keepCells(command, given, [scene](const QModelIndex &cell) { return keepsVisualCell(scene, cell); }, order);
    }

    void activate(const QModelIndex &cell) const
    {
        document()->setActiveFrameAndLayer(cell.row() + 1, cell.column(), Model::Scene::ClampToDrawings);
    }

    // A hold right after cell, the same cell on every redo.
    QList<Model::SceneChange> addHold(const QModelIndex &cell)
    {
        Model::SceneModel *sceneModel = model();
        return m_newCells.track(document(), [sceneModel, &cell] { return sceneModel->addCloneDrawing(cell); });
    }

    NewCells m_newCells;
};

CloneEachSelectedDrawingOnce::CloneEachSelectedDrawingOnce(Model::KLScene *scene, const QModelIndexList &selection,
                                                           QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<RepeatCommandPrivate>(this, scene, selection, CellOrder::DescendingRows))
{
    if (d->hasScene())
        setText(historyText("Clone Each Selected Drawing Once", "Commands::CloneEachSelectedDrawingOnce"));
}

CloneEachSelectedDrawingOnce::~CloneEachSelectedDrawingOnce() = default;

void CloneEachSelectedDrawingOnce::undo()
{
    if (d->hasScene() && !d->m_cells.isEmpty())
        d->applyRecordedChanges();
}

void CloneEachSelectedDrawingOnce::perform()
{
    if (!d->hasScene() || d->m_cells.isEmpty())
        return;
    d->m_changes.clear();
    d->m_newCells.start();
    // From the bottom up, so that no new hold moves a cell still to come.
    for (const QModelIndex &cell : std::as_const(d->m_cells))
        d->m_changes += d->addHold(cell);
    if (d->m_changes.isEmpty())
        setObsolete(true);
    else
        d->activate(d->m_cells.constLast());
}

QModelIndex CloneEachSelectedDrawingOnce::lastCell() const
{
    return d->m_cells.isEmpty() ? QModelIndex() : d->m_cells.constLast();
}

int CloneEachSelectedDrawingOnce::cellCount() const
{
    return int(d->m_cells.size());
}

CycleSelectedDrawingsOnce::CycleSelectedDrawingsOnce(Model::KLScene *scene, const QModelIndexList &selection,
                                                     QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<RepeatCommandPrivate>(this, scene, selection, CellOrder::AscendingRows))
{
    if (d->hasScene())
        setText(historyText("Cycle Selected Drawings Once", "Commands::CycleSelectedDrawingsOnce"));
}

CycleSelectedDrawingsOnce::~CycleSelectedDrawingsOnce() = default;

void CycleSelectedDrawingsOnce::undo()
{
    if (d->hasScene() && !d->m_cells.isEmpty())
        d->applyRecordedChanges();
}

void CycleSelectedDrawingsOnce::perform()
{
    if (!d->hasScene() || d->m_cells.isEmpty())
        return;
    d->m_changes.clear();
    d->m_newCells.start();
    Model::SceneModel *sceneModel = d->model();
    const int k = int(d->m_cells.size());
    for (const QModelIndex &cell : std::as_const(d->m_cells)) {
        // For the first cell the last selected frame; for each later one the
        // cell that the step before added.
        const QModelIndex after = sceneModel->index(cell.row() + k - 1, cell.column());
        if (!after.isValid())
            continue;
        const QList<Model::SceneChange> added = d->addHold(after);
        if (added.isEmpty())
            continue;
        d->m_changes += added;
        const QModelIndex repeat = sceneModel->index(after.row() + 1, after.column());
        Model::Scene::DrawingKey original;
        if (sceneModel->data(cell, Model::SceneModel::OriginalDrawingRole).toBool()) {
            original = sceneModel->drawingKey(cell);
        } else if (sceneModel->data(cell, Model::SceneModel::DistantCloneRole).toBool()) {
            if (const std::shared_ptr<Model::LayerItem> item = sceneModel->itemAt(cell))
                original = {item->originalLayer(), item->originalItem()};
        }
        // A hold stays a hold of the repeated cell before it.
        if (!original.first.isNull() && !original.second.isNull())
            d->m_changes += sceneModel->makeClone(repeat, original, false);
    }
    if (d->m_changes.isEmpty())
        setObsolete(true);
    else
        d->activate(d->m_cells.constLast());
}

// Discard clones and slide: the scene's own lists, at the active cell of
// construction.
class SceneCellCommandPrivate
{
public:
    explicit SceneCellCommandPrivate(Model::Scene *scene)
        : m_scene(scene)
    {
        if (!scene)
            return;
        m_frame = scene->activeFrame();
        m_layer = scene->activeLayerIdx();
        m_range = FrameRange::of(scene);
    }

    void undo()
    {
        if (!m_scene)
            return;
        m_scene->applyChanges(m_changes);
        m_changes.clear();
        m_scene->setFrameRange(m_range.first, m_range.last, m_frame, m_layer);
    }

    // The scene's edit, its new cells the same on every redo.
    template<typename Edit>
    void record(Edit edit)
    {
        m_newCells.start();
        m_changes = m_newCells.track(m_scene, edit);
    }

    Model::Scene *m_scene = nullptr;
    qint32 m_count = 1;
    qint32 m_frame = -1;
    qint32 m_layer = -1;
    FrameRange m_range;
    qint32 m_distance = 0;
    qint32 m_smallestDistance = 0;
    qint32 m_largestDistance = 0;
    QList<Model::SceneChange> m_changes;
    NewCells m_newCells;
};

DiscardCloneDrawings::DiscardCloneDrawings(Model::Scene *scene, int count, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SceneCellCommandPrivate>(scene))
{
    if (!scene || count < 1) {
        setObsolete(true);
        return;
    }
    d->m_count = count;
    setText(historyText("Discard Clone Drawings", "Commands::DiscardCloneDrawings", count));
}

DiscardCloneDrawings::~DiscardCloneDrawings() = default;

void DiscardCloneDrawings::undo()
{
    d->undo();
}

void DiscardCloneDrawings::perform()
{
    if (!d->m_scene)
        return;
    d->record([this] { return d->m_scene->removeDrawings(d->m_layer, d->m_frame, d->m_count); });
    if (d->m_changes.isEmpty()) {
        setObsolete(true);
        return;
    }
    // The frame just above the removed run.
    d->m_scene->setActiveFrameAndLayer(d->m_frame - d->m_count, d->m_layer, Model::Scene::ClampToDrawings);
}

SlideOriginalDrawing::SlideOriginalDrawing(Model::Scene *scene, int distance, int smallestDistance,
                                           int largestDistance, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SceneCellCommandPrivate>(scene))
{
    setText(historyText("Slide Original Drawing", "Commands::SlideOriginal"));
    d->m_distance = distance;
    d->m_smallestDistance = smallestDistance;
    d->m_largestDistance = largestDistance;
    if (!scene || (distance == 0 && smallestDistance == 0 && largestDistance == 0))
        setObsolete(true);
}

SlideOriginalDrawing::~SlideOriginalDrawing() = default;

void SlideOriginalDrawing::undo()
{
    d->undo();
}

void SlideOriginalDrawing::perform()
{
    if (!d->m_scene)
        return;
    d->record([this] {
        return d->m_scene->slideOriginalDrawing(d->m_layer, d->m_frame, d->m_distance, d->m_smallestDistance,
                                                d->m_largestDistance);
    });
    if (d->m_changes.isEmpty()) {
        setObsolete(true);
        return;
    }
    d->m_scene->setActiveFrameAndLayer(d->m_frame + d->m_distance, d->m_layer, Model::Scene::ClampToDrawings);
}

class MarkAsKeyDrawingPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    bool m_mark = false;
    qint32 m_layer = -1;
    qint32 m_frame = -1;
};

MarkAsKeyDrawing::MarkAsKeyDrawing(Model::Scene *scene, bool mark, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<MarkAsKeyDrawingPrivate>())
{
    d->m_scene = scene;
    d->m_mark = mark;
    setText(mark ? historyText("Mark as Key Drawing", "Commands::MarkAsKeyDrawing")
                 : historyText("Unmark as Key Drawing", "Commands::MarkAsKeyDrawing"));
    if (!scene) {
        setObsolete(true);
        return;
    }
    d->m_layer = scene->activeLayerIdx();
    d->m_frame = scene->activeFrame();
    // Only a cell takes a mark: not the empty rows after a layer's cells.
    if (!scene->itemAt(d->m_layer, d->m_frame) || scene->isKeyDrawing(d->m_layer, d->m_frame) == mark)
        setObsolete(true);
}

MarkAsKeyDrawing::~MarkAsKeyDrawing() = default;

void MarkAsKeyDrawing::undo()
{
    if (d->m_scene)
        d->m_scene->setKeyDrawing(d->m_layer, d->m_frame, !d->m_mark);
}

void MarkAsKeyDrawing::perform()
{
    if (d->m_scene)
        d->m_scene->setKeyDrawing(d->m_layer, d->m_frame, d->m_mark);
}

class UnmarkAllKeyDrawingsPrivate
{
public:
    void setAll(bool mark) const
    {
        if (!m_scene)
            return;
        for (const auto &[layer, frame] : m_marked)
            m_scene->setKeyDrawing(layer, frame, mark);
    }

    Model::Scene *m_scene = nullptr;
    // (layer, frame), layer by layer, frame by frame.
    QList<std::pair<qint32, qint32>> m_marked;
};

UnmarkAllKeyDrawings::UnmarkAllKeyDrawings(Model::Scene *scene, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<UnmarkAllKeyDrawingsPrivate>())
{
    d->m_scene = scene;
    if (!scene) {
        setObsolete(true);
        return;
    }
    setText(historyText("Unmark all Key Drawings", "Commands::UnmarkAllKeyDrawings"));
    for (int layer = 0; layer < scene->layerCount(); ++layer) {
        if (!scene->isVisualLayer(layer))
            continue;
        for (int frame = 1; frame <= scene->layerFrameCount(layer); ++frame) {
            if (scene->isKeyDrawing(layer, frame))
                d->m_marked.append({layer, frame});
        }
    }
    if (d->m_marked.isEmpty())
        setObsolete(true);
}

UnmarkAllKeyDrawings::~UnmarkAllKeyDrawings() = default;

void UnmarkAllKeyDrawings::undo()
{
    d->setAll(true);
}

void UnmarkAllKeyDrawings::perform()
{
    d->setAll(false);
}

} // namespace Commands
