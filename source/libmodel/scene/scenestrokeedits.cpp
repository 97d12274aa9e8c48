#include "scene/scene.h"

#include "drawings/drawing.h"
#include "layers/strokelayer.h"
#include "strokes/stroke.h"

#include <QPainterPath>

namespace Model {

namespace {

StrokeLayer *asStrokeLayer(const std::shared_ptr<Layer> &layer)
{
    return qobject_cast<StrokeLayer *>(layer.get());
}

// The cell that owns the drawing (layer, frame) shows: back over the holds,
// and from a distant clone to its original. A distant clone whose original
// is gone shows a drawing of its own, so it is its own owner: walking on
// past it would edit and announce a drawing that the cell does not show.
// A layer that starts with a hold has no owner before it; the cell itself
// then stands for one.
std::pair<int, int> drawingOwner(const Scene &scene, int layer, int frame)
{
    for (int f = frame; f >= 1; --f) {
        const std::shared_ptr<LayerItem> item = scene.itemAt(layer, f);
        if (!item)
            break;
        if (item->kind() == LayerItem::OriginalKind)
            return {f, layer};
        if (item->kind() == LayerItem::DistantCloneKind) {
            int originalLayer = -1;
            int originalFrame = -1;
            if (scene.findDrawing({item->originalLayer(), item->originalItem()}, &originalLayer, &originalFrame))
                return {originalFrame, originalLayer};
            return {f, layer};
        }
    }
    return {frame, layer};
}

// Every cell that shows the drawing of owner (frame, layer): the owner, the
// holds after it, its distant clones and their holds. The holds are made to
// share the drawing again on the way.
QList<std::pair<int, int>> cellsShowingDrawing(Scene &scene, std::pair<int, int> owner)
{
    QList<std::pair<int, int>> cells{owner};
    cells += scene.propagateToFollowingClones(owner.first, owner.second);
    const std::shared_ptr<LayerItem> item = scene.itemAt(owner.second, owner.first);
    if (!item)
        return cells;
    for (const LayerItem::Key &key : item->distantClones()) {
        int cloneLayer = -1;
        int cloneFrame = -1;
        if (!scene.findDrawing(key, &cloneLayer, &cloneFrame))
            continue;
        cells.append({cloneFrame, cloneLayer});
        cells += scene.propagateToFollowingClones(cloneFrame, cloneLayer);
    }
    return cells;
}

} // namespace

QList<SceneChange> Scene::cutPath(int layer, int frame, const QPainterPath &path)
{
    if (path.isEmpty())
        return {};
    const StrokeLayer *given = asStrokeLayer(layerAt(layer));
    if (!given || !given->isVisible() || !given->hasFrame(frame))
        return {};
    const std::pair<int, int> owner = drawingOwner(*this, layer, frame);
    StrokeLayer *ownerLayer = asStrokeLayer(layerAt(owner.second));
    const std::shared_ptr<LayerItem> item = itemAt(owner.second, owner.first);
    if (!ownerLayer || !item)
        return {};

    // The copy keeps what a cut does not touch: putting it back must not move
    // the drawing, drop its key mark or its name, nor make a paste take the
    // restored drawing for another than the one that was copied.
    std::shared_ptr<LayerItem> before = copyItemWithOwnDrawing(*item);
    before->setOffPegsTransform(item->offPegsTransform());
    before->setKeyDrawing(item->isKeyDrawing());
    if (before->drawing() && item->drawing()) {
        before->drawing()->setName(item->drawing()->name());
        before->drawing()->setCopyId(item->drawing()->copyId());
    }
    const QList<SceneChange> changes{
        SceneChange(LayerChange(LayerChange::PutItemBack, owner.first, std::move(before)), owner.second)};

    const QRect changedRect = path.boundingRect().toAlignedRect();
    // A path that misses every stroke leaves nothing to undo.
    if (!ownerLayer->eraseInside(owner.first, path))
        return {};
    updateCachedFramePixmap(true);
    Q_EMIT rectChanged(changedRect);
    emitDrawingsChanged(cellsShowingDrawing(*this, owner));
    return changes;
}

bool Scene::addStroke(int layer, int frame, std::unique_ptr<Stroke> stroke)
{
    if (!stroke)
        return false;
    StrokeLayer *target = asStrokeLayer(layerAt(layer));
    if (!target || !target->isVisible())
        return false;
    const QRect changedRect = stroke->boundingRect();
    if (!target->addStroke(frame, std::move(stroke)))
        return false;
    updateCachedFramePixmap(true);
    Q_EMIT rectChanged(changedRect);
    emitDrawingsChanged(cellsShowingDrawing(*this, drawingOwner(*this, layer, frame)));
    return true;
}

std::unique_ptr<Stroke> Scene::removeStroke(int layer, int frame)
{
    // A hidden layer still gives its stroke back, so that drawing on it can
    // be undone after hiding it.
    StrokeLayer *target = asStrokeLayer(layerAt(layer));
    if (!target)
        return nullptr;
    std::unique_ptr<Stroke> stroke = target->takeLastStroke(frame);
    if (!stroke)
        return nullptr;
    updateCachedFramePixmap(true);
    Q_EMIT rectChanged(stroke->boundingRect());
    emitDrawingsChanged(cellsShowingDrawing(*this, drawingOwner(*this, layer, frame)));
    return stroke;
}

} // namespace Model
