#include "commandconventions.h"

#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace Commands {

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

QString historyText(const char *sourceText, const char *disambiguation, int n)
{
    return QObject::tr(sourceText, disambiguation, n);
}

bool isVisualLayerIndex(const Model::KLScene *scene, const QModelIndex &index)
{
    if (!scene || !scene->sceneModel() || index.row() < 0 || index.column() < 0 || !index.model())
        return false;
    return scene->sceneModel()
        ->headerData(index.column(), Qt::Horizontal, Model::SceneModel::VisualLayerRole)
        .toBool();
}

std::function<bool(int done, int total)> progressCallback(QObject *progress)
{
    if (!progress)
        return {};
    // A dialog that its owner closes on the way must not be written to.
    return [object = QPointer<QObject>(progress)](int done, int total) {
        if (!object)
            return true;
        if (object->property("maximum").toInt() != total)
            object->setProperty("maximum", total);
        object->setProperty("value", done);
        return !object->property("wasCanceled").toBool();
    };
}

void sortByRow(QModelIndexList &cells, Qt::SortOrder order)
{
    std::sort(cells.begin(), cells.end(), [order](const QModelIndex &a, const QModelIndex &b) {
        return order == Qt::AscendingOrder ? a.row() < b.row() : a.row() > b.row();
    });
}

NewCells::NewCells() = default;
NewCells::~NewCells() = default;

void NewCells::start()
{
    m_recording = !m_started;
    m_started = true;
    m_next = 0;
}

QList<std::shared_ptr<Model::LayerItem>> NewCells::cellsOf(const Model::Scene *scene)
{
    QList<std::shared_ptr<Model::LayerItem>> cells;
    for (int layer = 0; scene && layer < scene->layerCount(); ++layer) {
        if (const auto visual = std::dynamic_pointer_cast<Model::VisualLayer>(scene->layerAt(layer)))
            cells += visual->cells();
    }
    return cells;
}

void NewCells::settle(const Model::Scene *scene, const QList<std::shared_ptr<Model::LayerItem>> &before)
{
    // The cells from before stay alive in the list until here, so that no
    // new cell can take the place in memory of one that went.
    QSet<const Model::LayerItem *> known;
    for (const auto &cell : before)
        known.insert(cell.get());
    for (const auto &cell : cellsOf(scene)) {
        if (!cell || known.contains(cell.get()))
            continue;
        if (m_recording) {
            m_identifiers.append(cell->identifier());
        } else if (m_next < m_identifiers.size()) {
            if (cell->identifier() != m_identifiers.at(m_next))
                cell->setIdentifier(m_identifiers.at(m_next));
            ++m_next;
        }
    }
}

FrameRange FrameRange::of(const Model::Scene *scene)
{
    if (!scene)
        return {};
    return {scene->frameRangeFirst(), scene->frameRangeLast()};
}

ViewState ViewState::of(const Model::Scene *scene)
{
    if (!scene)
        return {};
    return {FrameRange::of(scene), scene->activeFrame(), scene->activeLayerIdx()};
}

void ViewState::restore(Model::Scene *scene) const
{
    if (scene)
        scene->setFrameRange(range.first, range.last, activeFrame, activeLayer);
}

int positionOfLayer(const Model::Scene *scene, int layer)
{
    return scene ? scene->layerPositions().value(layer, -1) : -1;
}

int insertLayerAt(Model::Scene *scene, const std::shared_ptr<Model::Layer> &layer, int index, int position)
{
    if (!scene)
        return -1;
    const int at = scene->insertLayer(layer, index);
    const int from = positionOfLayer(scene, at);
    if (at >= 0 && position >= 0 && position < scene->layerCount() && position != from)
        scene->moveLayer(at, from, position);
    return at;
}

CellRecord::CellRecord(Model::KLScene *scene)
    : m_scene(scene)
{
    if (!scene)
        return;
    m_currentIndex = scene->currentIndex();
    m_constructionRange = FrameRange::of(scene->scene());
}

CellRecord::~CellRecord() = default;

bool CellRecord::hasScene() const
{
    return m_scene && m_scene->scene() && m_scene->sceneModel();
}

Model::Scene *CellRecord::document() const
{
    return m_scene ? m_scene->scene() : nullptr;
}

Model::SceneModel *CellRecord::model() const
{
    return m_scene ? m_scene->sceneModel() : nullptr;
}

int CellRecord::currentFrame() const
{
    return m_currentIndex.row() + 1;
}

int CellRecord::currentLayer() const
{
    return m_currentIndex.column();
}

void CellRecord::restoreConstructionState() const
{
    if (Model::Scene *scene = document())
        scene->setFrameRange(m_constructionRange.first, m_constructionRange.last, currentFrame(), currentLayer());
}

void CellRecord::applyRecordedChanges()
{
    if (Model::SceneModel *sceneModel = model())
        sceneModel->applyChanges(m_changes);
    m_changes.clear();
    restoreConstructionState();
}

void CellRecord::activate(int frame, int layer)
{
    Model::Scene *scene = document();
    if (!scene)
        return;
    scene->setActiveFrameAndLayer(frame, layer, Model::Scene::ClampToDrawings);
    // An insertion before the range moves the range along, and a refused
    // request leaves an active cell on another layer behind it: the cell is
    // settled as a later redo, which restores the range, would settle it.
    scene->setFrameRange(scene->frameRangeFirst(), scene->frameRangeLast(), scene->activeFrame(),
                         scene->activeLayerIdx());
    m_redoFrame = scene->activeFrame();
    m_redoLayer = scene->activeLayerIdx();
}

void CellRecord::applyInsertion()
{
    if (Model::SceneModel *sceneModel = model())
        sceneModel->applyChanges(m_changes);
    // The cell as the first redo clamped it: the range may let a later
    // request keep the row after the layer's cells, which the first did not.
    if (Model::Scene *scene = document())
        scene->setFrameRange(m_lastUndoRange.first, m_lastUndoRange.last, m_redoFrame, m_redoLayer);
    m_changes.clear();
}

} // namespace Commands
