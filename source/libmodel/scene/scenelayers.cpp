#include "scene/scene.h"

#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"
#include "scene/scene_p.h"

#include <algorithm>

namespace Model {

namespace {

VisualLayer *asVisual(const std::shared_ptr<Layer> &layer)
{
    return qobject_cast<VisualLayer *>(layer.get());
}

} // namespace

int Scene::layerCount() const { return int(d->m_layers.size()); }

std::shared_ptr<Layer> Scene::layerAt(int index) const
{
    if (index < 0 || index >= d->m_layers.size())
        return nullptr;
    return d->m_layers.at(index);
}

int Scene::indexOfLayer(const std::shared_ptr<Layer> &layer) const
{
    if (!layer)
        return -1;
    return int(d->m_layers.indexOf(layer));
}

QList<int> Scene::layerOrdering() const { return d->m_layerOrdering; }
QList<int> Scene::layerPositions() const { return d->m_layerPositions; }

int Scene::insertLayer(std::shared_ptr<Layer> layer, int index)
{
    if (!layer || d->m_layers.contains(layer))
        return -1;

    Q_EMIT beginInsertLayer(index);

    const int at = std::clamp(index, 0, layerCount());
    d->m_layers.insert(at, layer);
    if (d->m_audioLayerIdx >= 0 && at <= d->m_audioLayerIdx)
        ++d->m_audioLayerIdx;
    const bool activeShifted = d->m_activeLayerIdx >= 0 && at <= d->m_activeLayerIdx;
    if (activeShifted)
        ++d->m_activeLayerIdx;

    // A new layer enters at the bottom of the ordering.
    for (int &entry : d->m_layerOrdering) {
        if (entry >= at)
            ++entry;
    }
    d->m_layerOrdering.append(at);
    d->m_layerPositions.insert(at, layerCount() - 1);
    if (layer->type() == Layer::AudioLayerType)
        d->m_audioLayerIdx = at;

    if (asVisual(layer))
        relinkInsertedLayer(layer);

    Q_EMIT layerInserted(at);
    Q_EMIT endInsertLayer();
    updateMaxFrameNumber();

    if (layer->type() == Layer::AudioLayerType)
        connectAudioLayer(layer);

    if (asVisual(layer) && visualLayerCount() == 1) {
        if (setActiveFrameAndLayer(1, topmostLayerInFrameRange(), ClampToDrawings))
            return at;
    }
    // The active layer is the same layer under a new index.
    if (activeShifted)
        Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    return at;
}

std::shared_ptr<Layer> Scene::removeLayerAt(int index)
{
    if (index < 0 || index >= layerCount())
        return nullptr;

    const int previousActiveLayer = d->m_activeLayerIdx;
    int futureActivePosition = -1;
    if (previousActiveLayer >= 0 && previousActiveLayer < layerCount()) {
        futureActivePosition = d->m_layerPositions.at(previousActiveLayer);
        if (d->m_layerPositions.at(index) < futureActivePosition)
            --futureActivePosition;
    }

    Q_EMIT beginRemoveLayer(index);

    // Take the layer to the bottom of the ordering first, so that dropping
    // the last ordering entry drops it.
    const int from = d->m_layerPositions.at(index);
    const int last = layerCount() - 1;
    for (int position = from; position < last; ++position) {
        const int below = d->m_layerOrdering.at(position + 1);
        d->m_layerOrdering[position] = below;
        d->m_layerPositions[below] = position;
    }
    d->m_layerOrdering[last] = index;
    d->m_layerPositions[index] = last;

    std::shared_ptr<Layer> layer = d->m_layers.takeAt(index);
    d->m_layerPositions.removeAt(index);
    d->m_layerOrdering.removeLast();
    for (int &entry : d->m_layerOrdering) {
        if (entry > index)
            --entry;
    }
    if (d->m_audioLayerIdx == index)
        d->m_audioLayerIdx = -1;
    else if (d->m_audioLayerIdx > index)
        --d->m_audioLayerIdx;
    // Keep the index on the same layer; a removed active layer leaves none,
    // so that the frame range below cannot mistake another layer for it.
    if (d->m_activeLayerIdx == index)
        d->m_activeLayerIdx = -1;
    else if (d->m_activeLayerIdx > index)
        --d->m_activeLayerIdx;

    if (layer->type() == Layer::AudioLayerType)
        disconnectAudioLayer(layer);
    if (asVisual(layer))
        unlinkRemovedLayer(layer);

    Q_EMIT layerRemoved(index);
    Q_EMIT endRemoveLayer();
    updateMaxFrameNumber();

    int newActiveLayer = 0;
    if (futureActivePosition >= 0 && futureActivePosition < d->m_layerOrdering.size())
        newActiveLayer = d->m_layerOrdering.at(futureActivePosition);
    const auto [first, lastFrame] = frameRangeWithinMaximum();
    const bool announced = setFrameRange(first, lastFrame, d->m_activeFrame, newActiveLayer);
    if (!announced && d->m_activeLayerIdx != previousActiveLayer)
        Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    updateCachedFramePixmap(true);
    return layer;
}

std::shared_ptr<Layer> Scene::removeLayer(const std::shared_ptr<Layer> &layer)
{
    return removeLayerAt(indexOfLayer(layer));
}

std::shared_ptr<Layer> Scene::replaceLayer(int index, std::shared_ptr<Layer> layer)
{
    if (index < 0 || index >= layerCount() || !layer || d->m_layers.contains(layer))
        return nullptr;

    std::shared_ptr<Layer> old = d->m_layers.at(index);
    if (layer->type() == Layer::AudioLayerType)
        d->m_audioLayerIdx = index;
    else if (old->type() == Layer::AudioLayerType)
        d->m_audioLayerIdx = -1;
    d->m_layers[index] = layer;

    if (index == d->m_activeLayerIdx) {
        updateCachedFramePixmap(true);
        Q_EMIT offPegsTransformChanged(offPegsTransform(d->m_activeFrame));
        emitWholeFrameChanged();
    }

    if (old->type() == Layer::AudioLayerType)
        disconnectAudioLayer(old);
    updateMaxFrameNumber();
    if (layer->type() == Layer::AudioLayerType)
        connectAudioLayer(layer);

    // A layer that cannot be active any more must not stay so: the frame
    // range then looks for another one.
    int wantedLayer = d->m_activeLayerIdx;
    if (index == d->m_activeLayerIdx && !asVisual(layer))
        d->m_activeLayerIdx = wantedLayer = -1;
    const auto [first, last] = frameRangeWithinMaximum();
    setFrameRange(first, last, d->m_activeFrame, wantedLayer);
    Q_EMIT layersChanged(index, index);
    updateCachedFramePixmap(true);
    return old;
}

bool Scene::moveLayer(int layerIndex, int fromPosition, int toPosition)
{
    const int count = layerCount();
    if (fromPosition < 0 || fromPosition >= count || toPosition < 0 || toPosition >= count
        || d->m_layerOrdering.at(fromPosition) != layerIndex)
        return false;

    const int step = toPosition > fromPosition ? 1 : -1;
    for (int position = fromPosition; position != toPosition; position += step) {
        const int next = d->m_layerOrdering.at(position + step);
        d->m_layerOrdering[position] = next;
        d->m_layerPositions[next] = position;
    }
    d->m_layerOrdering[toPosition] = layerIndex;
    d->m_layerPositions[layerIndex] = toPosition;

    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    Q_EMIT layerMoved(layerIndex, fromPosition, toPosition);
    return true;
}

QString Scene::nextLayerNumber()
{
    return QString::number(++d->m_highestUsedLayerNumber);
}

int Scene::highestUsedLayerNumber() const { return d->m_highestUsedLayerNumber; }

void Scene::setHighestUsedLayerNumber(int number)
{
    d->m_highestUsedLayerNumber = number;
}

int Scene::topmostLayerInFrameRange() const
{
    for (int position = 0; position < d->m_layerOrdering.size(); ++position) {
        const int layer = d->m_layerOrdering.at(position);
        if (isVisualLayer(layer) && layerFrameCount(layer) >= d->m_frameRangeFirst)
            return layer;
    }
    return -1;
}

int Scene::bottommostLayerInFrameRange() const
{
    for (int position = int(d->m_layerOrdering.size()) - 1; position >= 0; --position) {
        const int layer = d->m_layerOrdering.at(position);
        if (isVisualLayer(layer) && layerFrameCount(layer) >= d->m_frameRangeFirst)
            return layer;
    }
    return -1;
}

int Scene::layerAboveActiveInFrameRange() const
{
    if (d->m_activeLayerIdx >= 0 && d->m_activeLayerIdx < layerCount()) {
        for (int position = d->m_layerPositions.at(d->m_activeLayerIdx) - 1; position >= 0; --position) {
            const int layer = d->m_layerOrdering.at(position);
            if (isVisualLayer(layer) && layerFrameCount(layer) >= d->m_frameRangeFirst)
                return layer;
        }
    }
    return topmostLayerInFrameRange();
}

int Scene::layerBelowInFrameRange(int layer) const
{
    if (layer < 0 || layer >= layerCount())
        return -1;
    for (int position = d->m_layerPositions.at(layer) + 1; position < d->m_layerOrdering.size(); ++position) {
        const int below = d->m_layerOrdering.at(position);
        if (isVisualLayer(below) && layerFrameCount(below) >= d->m_frameRangeFirst)
            return below;
    }
    return -1;
}

int Scene::layerBelowActiveInFrameRange() const
{
    const int below = layerBelowInFrameRange(d->m_activeLayerIdx);
    return below != -1 ? below : bottommostLayerInFrameRange();
}

std::pair<int, int> Scene::frameRangeWithinMaximum() const
{
    int first = d->m_frameRangeFirst;
    int last = d->m_frameRangeLast;
    if (d->m_maximumFrameNumber < last) {
        first = first - last + d->m_maximumFrameNumber;
        last = d->m_maximumFrameNumber;
    }
    return {first, last};
}

void Scene::connectAudioLayer(const std::shared_ptr<Layer> &layer)
{
    auto *audio = qobject_cast<AudioLayer *>(layer.get());
    if (!audio)
        return;
    audio->setFrameRate(d->m_frameRate);
    connect(audio, &AudioLayer::audioStateChanged, this, &Scene::audioStateChanged);
}

void Scene::disconnectAudioLayer(const std::shared_ptr<Layer> &layer)
{
    disconnect(layer.get(), nullptr, this, nullptr);
}

// A layer taken out of the scene cut the links of its cells to other layers
// (unlinkRemovedLayer) but kept its own lists, so putting it back restores
// each link from the inserted layer's side. A copy of a layer comes with
// drawings of its own in its distant clones, which take their originals'
// drawings here, with the holds that follow them.
void Scene::relinkInsertedLayer(const std::shared_ptr<Layer> &layer)
{
    const QUuid layerId = layer->identifier();
    VisualLayer *visual = asVisual(layer);
    const QList<std::shared_ptr<LayerItem>> cells = visual->cells();
    for (qsizetype index = 0; index < cells.size(); ++index) {
        const std::shared_ptr<LayerItem> &cell = cells.at(index);
        if (!cell)
            continue;
        const DrawingKey ownKey{layerId, cell->identifier()};
        if (cell->kind() == LayerItem::OriginalKind) {
            // The one promoted to original when this layer left, and the
            // rest that looked to it, are distant clones of this cell again.
            for (const DrawingKey &key : cell->distantClones()) {
                if (key.first == layerId)
                    continue;
                std::shared_ptr<LayerItem> clone = findDrawing(key);
                if (!clone)
                    continue;
                clone->setKind(LayerItem::DistantCloneKind);
                clone->setOriginal(ownKey);
                clone->setDistantClones({});
                clone->setDrawing(cell->drawing());
            }
        } else if (cell->kind() == LayerItem::DistantCloneKind) {
            std::shared_ptr<LayerItem> original = findDrawing({cell->originalLayer(), cell->originalItem()});
            if (!original)
                continue;
            if (cell->drawing() != original->drawing()) {
                cell->setDrawing(original->drawing());
                visual->relinkFollowingClones(int(index) + 1);
            }
            QList<DrawingKey> keys = original->distantClones();
            if (!keys.contains(ownKey)) {
                keys.append(ownKey);
                original->setDistantClones(keys);
            }
        }
    }
}

// Runs once the layer is out of the list, so lookups only find cells of the
// layers that stay.
void Scene::unlinkRemovedLayer(const std::shared_ptr<Layer> &layer)
{
    const QUuid layerId = layer->identifier();
    for (const std::shared_ptr<LayerItem> &cell : asVisual(layer)->cells()) {
        if (!cell)
            continue;
        if (cell->kind() == LayerItem::OriginalKind) {
            std::shared_ptr<LayerItem> newOriginal;
            DrawingKey newOriginalKey;
            for (const DrawingKey &key : inSceneOrder(cell->distantClones())) {
                std::shared_ptr<LayerItem> clone = findDrawing(key);
                if (!clone)
                    continue;
                if (!newOriginal) {
                    // The first distant clone keeps the drawing for the rest.
                    newOriginal = clone;
                    newOriginalKey = key;
                    clone->setKind(LayerItem::OriginalKind);
                    clone->setOriginal({});
                    clone->setDistantClones({});
                } else if (clone->kind() == LayerItem::DistantCloneKind) {
                    clone->setOriginal(newOriginalKey);
                    QList<DrawingKey> keys = newOriginal->distantClones();
                    if (!keys.contains(key)) {
                        keys.append(key);
                        newOriginal->setDistantClones(keys);
                    }
                }
            }
        } else if (cell->kind() == LayerItem::DistantCloneKind) {
            std::shared_ptr<LayerItem> original = findDrawing({cell->originalLayer(), cell->originalItem()});
            if (!original)
                continue;
            QList<DrawingKey> keys = original->distantClones();
            if (keys.removeAll(DrawingKey{layerId, cell->identifier()}) > 0)
                original->setDistantClones(keys);
        }
    }
}

} // namespace Model
