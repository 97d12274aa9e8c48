#include "scene/scene.h"

#include "drawings/drawing.h"
#include "drawings/strokedrawing.h"
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
    const std::shared_ptr<LayerItem> item = itemAt(owner.second, owner.first);
    const auto current = item ? std::dynamic_pointer_cast<StrokeDrawing>(item->drawing()) : nullptr;
    if (!asStrokeLayer(layerAt(owner.second)) || !current)
        return {};

    // The cut goes into a copy, which takes the drawing's place in every cell
    // that shows it. The drawing itself stays as it was: the record puts it
    // back, and an earlier record that still holds it (the cell of a removed
    // original whose distant clone took its drawing over) must find it
    // unedited when that edit is undone in turn.
    std::shared_ptr<StrokeDrawing> cut(static_cast<StrokeDrawing *>(current->clone().release()));
    cut->setName(current->name());
    // A path that misses every stroke leaves nothing to undo.
    if (!cut->eraseInside(path))
        return {};

    auto before = std::make_shared<LayerItem>(QImage());
    before->setKind(item->kind());
    before->setIdentifier(item->identifier());
    before->setDrawing(current);
    before->setDistantClones(item->distantClones());
    before->setOriginal({item->originalLayer(), item->originalItem()});
    before->setOffPegsTransform(item->offPegsTransform());
    before->setKeyDrawing(item->isKeyDrawing());
    const QList<SceneChange> changes{
        SceneChange(LayerChange(LayerChange::PutItemBack, owner.first, std::move(before)), owner.second)};

    item->setDrawing(cut);
    for (const LayerItem::Key &key : item->distantClones()) {
        if (const std::shared_ptr<LayerItem> clone = findDrawing(key))
            clone->setDrawing(cut);
    }
    updateCachedFramePixmap(true);
    Q_EMIT rectChanged(path.boundingRect().toAlignedRect());
    // The holds of the owner and of its distant clones take the copy here.
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

std::unique_ptr<Stroke> Scene::removeStroke(int layer, int frame, const QImage &before, QPoint at)
{
    // A hidden layer still gives its stroke back, so that drawing on it can
    // be undone after hiding it.
    StrokeLayer *target = asStrokeLayer(layerAt(layer));
    if (!target)
        return nullptr;
    std::unique_ptr<Stroke> stroke = target->takeLastStroke(frame, before, at);
    if (!stroke)
        return nullptr;
    updateCachedFramePixmap(true);
    Q_EMIT rectChanged(stroke->boundingRect());
    emitDrawingsChanged(cellsShowingDrawing(*this, drawingOwner(*this, layer, frame)));
    return stroke;
}

} // namespace Model
