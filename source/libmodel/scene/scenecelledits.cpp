#include "scene/scene.h"

#include "drawings/drawing.h"
#include "layers/annotationlayer.h"
#include "layers/visuallayer.h"
#include "scene/scene_p.h"

#include <QImage>
#include <QSignalBlocker>

namespace Model {

namespace {

VisualLayer *asVisual(const std::shared_ptr<Layer> &layer)
{
    return qobject_cast<VisualLayer *>(layer.get());
}

// Frames a layer stores, notes of an annotation layer included (it reports
// no frames of its own), so that an insertion can tell whether it took.
int storedFrames(const Layer &layer)
{
    if (const auto *annotations = qobject_cast<const AnnotationLayer *>(&layer))
        return annotations->imageCount();
    return layer.frameCount();
}

bool acceptsInsertionAfter(const std::shared_ptr<Layer> &layer, int after)
{
    return layer && after >= 0 && after <= layer->frameCount();
}

enum class Insertion {
    // The given layer gets a blank cell, linked layers hold theirs.
    Blank,
    // Every layer holds the drawing it shows.
    Hold,
};

// Inserts a cell just after frame `after` of layer, or of every linked layer
// when layer is linked. Records (one per layer that took the cell) go in
// front of changes, so that the newest is applied first. grewAtEnd tells
// whether a layer that took the cell now reaches past the frame range.
bool insertCells(Scene &scene, int layer, int after, Insertion insertion, QList<SceneChange> *changes,
                 bool *grewAtEnd)
{
    const std::shared_ptr<Layer> given = scene.layerAt(layer);
    QList<int> layers{layer};
    if (given->isLinked()) {
        layers.clear();
        for (int i = 0; i < scene.layerCount(); ++i) {
            if (scene.layerAt(i)->isLinked())
                layers.append(i);
        }
    }

    bool changed = false;
    for (int i : std::as_const(layers)) {
        const std::shared_ptr<Layer> target = scene.layerAt(i);
        const int before = storedFrames(*target);
        if (i == layer && insertion == Insertion::Blank)
            target->insertFrame(after);
        else
            target->extendFrame(after);
        if (storedFrames(*target) == before)
            continue;
        changed = true;
        if (changes)
            changes->prepend(SceneChange(LayerChange(LayerChange::RemoveCell, after + 1, nullptr), i));
        if (after <= scene.frameRangeLast() && target->frameCount() > scene.frameRangeLast())
            *grewAtEnd = true;
    }
    return changed;
}

} // namespace

bool Scene::growFrameRangeForInsertion(int after, bool grewAtEnd)
{
    // It grows with a layer that reached its end, and moves along with cells
    // inserted before it. An insertion before a range that did not grow
    // leaves it where it was.
    if (!grewAtEnd)
        return false;
    ++d->m_frameRangeLast;
    if (after + 1 < d->m_frameRangeFirst)
        ++d->m_frameRangeFirst;
    return true;
}

void Scene::finishCellInsertion(int layer, int after, bool grewAtEnd, bool refresh)
{
    updateMaxFrameNumber();
    if (growFrameRangeForInsertion(after, grewAtEnd))
        Q_EMIT frameRangeChanged(d->m_frameRangeFirst, d->m_frameRangeLast);
    // The active cell stays on its drawing. Only the layer that took the new
    // cell, and the layers linked with it, moved: on any other layer the
    // active frame stays, or it would leave the layer's cells.
    const int active = d->m_activeLayerIdx;
    const bool activeLayerMoved = active == layer || (isLayerLinked(layer) && isLayerLinked(active));
    if (activeLayerMoved && after < d->m_activeFrame) {
        ++d->m_activeFrame;
        Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    }
    if (after < d->m_scrubFrame) {
        const int previous = d->m_scrubFrame;
        ++d->m_scrubFrame;
        Q_EMIT scrubFrameChanged(d->m_scrubFrame, previous);
    }
    Q_EMIT layersChanged(layer, layer);
    if (refresh) {
        updateCachedFramePixmap(true);
        // Layers that did not move show other drawings at the active frame.
        emitWholeFrameChanged();
    }
}

QList<SceneChange> Scene::addBlankDrawing(int layer, int frame)
{
    if (!acceptsInsertionAfter(layerAt(layer), frame))
        return {};
    QList<SceneChange> changes;
    bool grewAtEnd = false;
    if (insertCells(*this, layer, frame, Insertion::Blank, &changes, &grewAtEnd))
        finishCellInsertion(layer, frame, grewAtEnd, true);
    return changes;
}

std::optional<Scene::UnannouncedInsertion> Scene::addBlankAfterLastUnannounced(int layer)
{
    const std::shared_ptr<Layer> given = layerAt(layer);
    if (!asVisual(given))
        return std::nullopt;
    const int after = given->frameCount();
    UnannouncedInsertion insertion{{}, d->m_maximumFrameNumber, d->m_frameRangeFirst, d->m_frameRangeLast};
    bool grewAtEnd = false;
    if (!insertCells(*this, layer, after, Insertion::Blank, &insertion.changes, &grewAtEnd))
        return std::nullopt;
    {
        const QSignalBlocker quiet(this);
        updateMaxFrameNumber();
    }
    growFrameRangeForInsertion(after, grewAtEnd);
    return insertion;
}

void Scene::takeBackUnannounced(const UnannouncedInsertion &insertion)
{
    // Blank cells and holds at the layers' ends: taking them away touches no
    // link, and the layers announce nothing.
    for (const SceneChange &change : insertion.changes) {
        if (const std::shared_ptr<Layer> target = layerAt(change.layer()))
            target->applyChange(change, change.layer());
    }
    d->m_maximumFrameNumber = insertion.maximumFrameNumber;
    d->m_frameRangeFirst = insertion.frameRangeFirst;
    d->m_frameRangeLast = insertion.frameRangeLast;
}

QList<SceneChange> Scene::insertBlankDrawing(int layer, int frame)
{
    if (frame < 1 || !acceptsInsertionAfter(layerAt(layer), frame - 1))
        return {};
    QList<SceneChange> changes;
    bool grewAtEnd = false;
    if (insertCells(*this, layer, frame - 1, Insertion::Blank, &changes, &grewAtEnd))
        finishCellInsertion(layer, frame - 1, grewAtEnd, true);
    return changes;
}

QList<SceneChange> Scene::addCloneDrawing(int layer, int frame, bool quiet)
{
    if (!acceptsInsertionAfter(layerAt(layer), frame))
        return {};
    // Restores whatever blocking was in place before, also for nested quiet
    // edits.
    const QSignalBlocker blocker(quiet ? this : nullptr);
    QList<SceneChange> changes;
    bool grewAtEnd = false;
    if (insertCells(*this, layer, frame, Insertion::Hold, &changes, &grewAtEnd))
        finishCellInsertion(layer, frame, grewAtEnd, !quiet);
    return changes;
}

QList<SceneChange> Scene::addCloneDrawings(int layer, int frame, int count)
{
    QList<SceneChange> changes;
    for (int i = 0; i < count; ++i)
        changes = addCloneDrawing(layer, frame, i < count - 1) + changes;
    return changes;
}

int Scene::insertHoldFrames(int layer, int frame, int count)
{
    if (count < 1)
        return -1;
    for (int i = 0; i < count; ++i) {
        if (!acceptsInsertionAfter(layerAt(layer), frame))
            return -1;
        bool grewAtEnd = false;
        if (insertCells(*this, layer, frame, Insertion::Hold, nullptr, &grewAtEnd))
            finishCellInsertion(layer, frame, grewAtEnd, true);
        ++frame;
    }
    return frame;
}

QList<SceneChange> Scene::slideOriginalDrawing(int layer, int frame, int distance, int smallestDistance,
                                               int largestDistance)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || frame < 2 || frame > visual->frameCount() || visual->isClone(frame))
        return {};
    if (smallestDistance > distance || distance > largestDistance || smallestDistance > 0 || largestDistance < 0)
        return {};
    // The slide trades holds: the drag's way left eats into the hold before
    // the drawing, its way right into the drawing's own. Without enough of
    // them the walk below would shorten other drawings' holds and move
    // drawings that are meant to stay.
    int holdBefore = 0;
    for (int f = frame - 1; f >= 1 && visual->isClone(f); --f)
        ++holdBefore;
    if (holdBefore < -smallestDistance || visual->holdCount(frame) < largestDistance)
        return {};

    QList<SceneChange> changes;
    int start = frame;
    for (int n = -smallestDistance; n >= 1;) {
        if (visual->isClone(start))
            --n;
        if (n < 1)
            break;
        --start;
        if (start < 2)
            break;
    }

    for (int p = start, remaining = largestDistance - smallestDistance; p <= visual->frameCount() && remaining >= 1;) {
        if (!visual->isClone(p)) {
            ++p;
            continue;
        }
        QList<SceneChange> removed;
        for (const LayerChange &change : visual->removeFrame(p))
            removed.append(SceneChange(change, layer));
        changes = removed + changes;
        --remaining;
    }

    const int at = frame + smallestDistance;
    for (int i = 0; i < largestDistance - distance; ++i) {
        visual->extendFrame(at);
        changes.prepend(SceneChange(LayerChange(LayerChange::RemoveCell, at + 1, nullptr), layer));
    }
    for (int i = 0; i < distance - smallestDistance; ++i) {
        visual->extendFrame(at - 1);
        changes.prepend(SceneChange(LayerChange(LayerChange::RemoveCell, at, nullptr), layer));
    }

    // Cells moved, no drawing changed: the layer is announced, no cell.
    Q_EMIT drawingsChanged({});
    Q_EMIT layersChanged(layer, layer);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    return changes;
}

void Scene::resolveClones()
{
    for (const std::shared_ptr<Layer> &layer : std::as_const(d->m_layers)) {
        VisualLayer *visual = asVisual(layer);
        if (!visual || visual->frameCount() == 0)
            continue;
        std::shared_ptr<LayerItem> previous = visual->cells().first();
        for (const std::shared_ptr<LayerItem> &item : visual->cells()) {
            if (item->kind() == LayerItem::CloneKind) {
                item->setDrawing(previous->drawing());
            } else if (item->kind() == LayerItem::DistantCloneKind) {
                // A broken link keeps the drawing the file gave the cell.
                if (const auto original = findDrawing({item->originalLayer(), item->originalItem()}))
                    item->setDrawing(original->drawing());
            }
            previous = item;
        }
    }
}

QList<std::pair<int, int>> Scene::distantCloneCells(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || !visual->hasFrame(frame))
        return {};
    std::shared_ptr<LayerItem> original = visual->cell(frame);
    int originalLayer = layer;
    int originalFrame = frame;
    if (original->kind() == LayerItem::DistantCloneKind)
        original = findDrawing({original->originalLayer(), original->originalItem()}, &originalLayer, &originalFrame);
    if (!original || original->kind() != LayerItem::OriginalKind)
        return {};
    QList<std::pair<int, int>> cells{{originalFrame, originalLayer}};
    for (const LayerItem::Key &key : original->distantClones()) {
        int cloneLayer = -1;
        int cloneFrame = -1;
        if (findDrawing(key, &cloneLayer, &cloneFrame))
            cells.append({cloneFrame, cloneLayer});
    }
    return cells;
}

void Scene::linkDistantClone(const DrawingKey &distantKey, const DrawingKey &originalKey,
                             std::shared_ptr<LayerItem> original)
{
    if (!original)
        original = findDrawing(originalKey);
    const std::shared_ptr<LayerItem> distant = findDrawing(distantKey);
    if (!original || !distant || distant->kind() != LayerItem::DistantCloneKind)
        return;
    QList<LayerItem::Key> keys = original->distantClones();
    if (!keys.contains(distantKey)) {
        keys.append(distantKey);
        original->setDistantClones(keys);
    }
    distant->setOriginal(originalKey);
}

std::shared_ptr<LayerItem> Scene::copyItemWithOwnDrawing(const LayerItem &item) const
{
    // Made from a null image so that no blank drawing is built only to be
    // replaced.
    auto copy = std::make_shared<LayerItem>(QImage());
    copy->setKind(item.kind());
    copy->setIdentifier(item.identifier());
    copy->setDrawing(item.drawing() ? std::shared_ptr<Drawing>(item.drawing()->clone()) : nullptr);
    copy->setDistantClones(item.distantClones());
    copy->setOriginal({item.originalLayer(), item.originalItem()});
    return copy;
}

} // namespace Model
