#include "scene/scene.h"

#include "layers/visuallayer.h"
#include "scene/scene_p.h"

#include <algorithm>

namespace Model {

void Scene::applyChanges(const QList<SceneChange> &changes)
{
    QList<std::pair<int, int>> cells;
    int lowest = int(d->m_layers.size());
    int highest = -1;
    // However many cells come back before or past the range, it moves or
    // grows by one frame at most: the records undo a single edit.
    bool grewAtEnd = false;
    bool grewBeforeStart = false;

    d->m_applyingChanges = true;
    for (const SceneChange &change : changes) {
        const int layer = change.layer();
        const int frame = change.index();
        lowest = std::min(lowest, layer);
        highest = std::max(highest, layer);
        const std::shared_ptr<Layer> target = layerAt(layer);
        if (!target)
            continue;
        // The layer repairs the links around the cell and names the cells
        // whose picture changed, its own first.
        cells += target->applyChange(change, layer);

        if (change.kind() == LayerChange::InsertItem) {
            if (frame - 1 <= d->m_frameRangeLast && target->frameCount() > d->m_frameRangeLast)
                grewAtEnd = true;
            if (frame < d->m_frameRangeFirst)
                grewBeforeStart = true;
        }
        const bool cellChanged = change.kind() == LayerChange::InsertItem || change.kind() == LayerChange::PutItemBack
                                 || change.kind() == LayerChange::PutTransformBack;
        if (cellChanged && qobject_cast<VisualLayer *>(target.get()) && frame == d->m_activeFrame)
            Q_EMIT offPegsTransformChanged(offPegsTransform(frame));
    }
    d->m_applyingChanges = false;
    for (int layer = lowest; layer <= highest; ++layer) {
        if (auto *visual = qobject_cast<VisualLayer *>(layerAt(layer).get()))
            cells += visual->settleAwaitingDistantClones(layer);
    }

    updateMaxFrameNumber();
    setFrameRange(d->m_frameRangeFirst + (grewBeforeStart ? 1 : 0), d->m_frameRangeLast + (grewAtEnd ? 1 : 0),
                  d->m_activeFrame, d->m_activeLayerIdx);
    if (highest >= 0)
        Q_EMIT layersChanged(lowest, highest);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    emitDrawingsChanged(cells);
}

bool Scene::isApplyingChanges() const
{
    return d->m_applyingChanges;
}

} // namespace Model
