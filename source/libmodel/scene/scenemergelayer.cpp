#include "scene/scene.h"

#include "drawings/drawing.h"
#include "layers/drawlayer.h"

namespace Model {

namespace {

DrawLayer *asDrawLayer(const std::shared_ptr<Layer> &layer)
{
    return qobject_cast<DrawLayer *>(layer.get());
}

bool isDrawLayerType(int type)
{
    return type == Layer::StrokeLayerType || type == Layer::DrawLayerType;
}

std::shared_ptr<Drawing> copyOf(const std::shared_ptr<Drawing> &drawing)
{
    return drawing ? std::shared_ptr<Drawing>(drawing->clone()) : nullptr;
}

} // namespace

bool Scene::canMergeLayerDown(int layer) const
{
    if (!isDrawLayerType(layerType(layer)))
        return false;
    const int below = layerBelowInFrameRange(layer);
    return below != -1 && layerType(below) == layerType(layer);
}

bool Scene::mergeLayerDown(int upperLayer, int lowerLayer)
{
    DrawLayer *upper = asDrawLayer(layerAt(upperLayer));
    DrawLayer *lower = asDrawLayer(layerAt(lowerLayer));
    if (!upper || !lower || upper == lower || upper->type() != lower->type())
        return false;

    // The lower layer ends with a blank drawing held for as long as the
    // upper layer goes on, which the upper drawings are then merged into.
    if (upper->frameCount() > lower->frameCount()) {
        lower->insertFrame(lower->frameCount());
        for (int k = lower->frameCount(); k < upper->frameCount(); ++k)
            lower->extendFrame(k);
    }

    QList<std::pair<int, int>> changed;
    // What the lower cell shows before the merge at the last drawing of its
    // own, and what the lower cells show after it from there on.
    std::shared_ptr<Drawing> previous;
    std::shared_ptr<Drawing> target;
    for (int frame = 1; frame <= upper->frameCount(); ++frame) {
        const std::shared_ptr<LayerItem> upperItem = upper->cell(frame);
        const std::shared_ptr<LayerItem> item = lower->cell(frame);
        const LayerItem::Key ownKey(lower->identifier(), item->identifier());

        switch (item->kind()) {
        case LayerItem::OriginalKind: {
            previous = item->drawing();
            item->setDrawing(copyOf(previous));
            target = item->drawing();
            // The distant clones keep the old drawing: the first of them
            // becomes its original.
            const QList<LayerItem::Key> keys = inSceneOrder(item->distantClones());
            item->setDistantClones({});
            int heirLayer = -1;
            int heirFrame = -1;
            const std::shared_ptr<LayerItem> heir =
                keys.isEmpty() ? nullptr : findDrawing(keys.first(), &heirLayer, &heirFrame);
            if (heir) {
                heir->setDistantClones(keys.mid(1));
                heir->setOriginal({});
                heir->setKind(LayerItem::OriginalKind);
                changed.append({heirFrame, heirLayer});
                for (const LayerItem::Key &key : keys.mid(1)) {
                    if (const std::shared_ptr<LayerItem> other = findDrawing(key))
                        other->setOriginal(keys.first());
                }
            }
            break;
        }
        case LayerItem::CloneKind:
            // A hold at the very start has no drawing before it to follow.
            if (upperItem->kind() == LayerItem::CloneKind && target) {
                item->setDrawing(target);
            } else {
                if (!previous)
                    previous = item->drawing();
                item->setKind(LayerItem::OriginalKind);
                item->setDrawing(copyOf(previous));
                target = item->drawing();
            }
            break;
        default: {
            previous = item->drawing();
            item->setDrawing(copyOf(previous));
            item->setKind(LayerItem::OriginalKind);
            target = item->drawing();
            int originalLayer = -1;
            int originalFrame = -1;
            if (const std::shared_ptr<LayerItem> original =
                    findDrawing({item->originalLayer(), item->originalItem()}, &originalLayer, &originalFrame)) {
                QList<LayerItem::Key> keys = original->distantClones();
                keys.removeAll(ownKey);
                original->setDistantClones(keys);
                changed.append({originalFrame, originalLayer});
            }
            item->setOriginal({});
            break;
        }
        }

        if (upperItem->isKeyDrawing())
            item->setKeyDrawing(true);
        if (!upperItem->offPegsTransform().isIdentity())
            item->setOffPegsTransform(upperItem->offPegsTransform());
        if (item->kind() != LayerItem::CloneKind && item->drawing())
            item->drawing()->mergeFrom(upperItem->drawing().get());
    }
    // Holds of the lower layer that go on past the upper layer's end show
    // the merged drawing before them, not the one it was copied from.
    for (const int frame : lower->relinkFollowingClones(upper->frameCount()))
        changed.append({frame, lowerLayer});

    emitDrawingsChanged(changed);
    return true;
}

} // namespace Model
