#include "scene/scene.h"

#include "drawings/drawing.h"
#include "layers/visuallayer.h"

#include <QImage>
#include <QSignalBlocker>

namespace Model {

namespace {

using Cells = QList<std::pair<int, int>>;

VisualLayer *asVisual(const std::shared_ptr<Layer> &layer)
{
    return qobject_cast<VisualLayer *>(layer.get());
}

bool suitsLayer(const Drawing &drawing, const VisualLayer &layer)
{
    const int wanted = layer.type() == Layer::ReferenceLayerType ? Drawing::ImageDrawingType : Drawing::StrokeDrawingType;
    return drawing.type() == wanted;
}

// The first distant clone of original, in scene order, takes its place as
// the original of the old drawing, which it already shows; the others now
// look to it. The original keeps none of them.
void promoteFirstDistantClone(const Scene &scene, LayerItem &original, Cells &changed)
{
    const QList<LayerItem::Key> keys = scene.inSceneOrder(original.distantClones());
    original.setDistantClones({});
    if (keys.isEmpty())
        return;
    int heirLayer = -1;
    int heirFrame = -1;
    const std::shared_ptr<LayerItem> heir = scene.findDrawing(keys.first(), &heirLayer, &heirFrame);
    if (!heir)
        return;
    const QList<LayerItem::Key> rest = keys.mid(1);
    heir->setDistantClones(rest);
    heir->setOriginal({});
    heir->setKind(LayerItem::OriginalKind);
    changed.append({heirFrame, heirLayer});
    for (const LayerItem::Key &key : rest) {
        if (const std::shared_ptr<LayerItem> other = scene.findDrawing(key))
            other->setOriginal(keys.first());
    }
}

// Takes the distant clone item of layer out of its original's list.
void unlinkDistantClone(const Scene &scene, const Layer &layer, LayerItem &item, Cells &changed)
{
    int originalLayer = -1;
    int originalFrame = -1;
    if (const std::shared_ptr<LayerItem> original =
            scene.findDrawing({item.originalLayer(), item.originalItem()}, &originalLayer, &originalFrame)) {
        QList<LayerItem::Key> keys = original->distantClones();
        keys.removeAll(LayerItem::Key(layer.identifier(), item.identifier()));
        original->setDistantClones(keys);
        changed.append({originalFrame, originalLayer});
    }
    item.setOriginal({});
}

void addPreviousHold(const VisualLayer &layer, int layerIndex, int frame, Cells &changed)
{
    if (layer.isClone(frame - 1))
        changed.append({frame - 1, layerIndex});
}

// The record that puts the cell back as it was, placement and key mark
// included, which the replacement keeps too, so that undoing never moves or
// unmarks a cell. An original's record holds its very drawing, which the
// replacement leaves as it is: putting it back restores the drawing that the
// cell's distant clones and earlier records hold, name and copy id and all,
// and the edits done to it in place since are undone in place before. A
// hold's or distant clone's record holds none: applying it links the cell to
// what it showed again.
SceneChange recordOf(const LayerItem &item, int layer, int frame)
{
    auto copy = std::make_shared<LayerItem>(QImage());
    copy->setKind(item.kind());
    copy->setIdentifier(item.identifier());
    copy->setDrawing(item.kind() == LayerItem::OriginalKind ? item.drawing() : nullptr);
    copy->setDistantClones(item.distantClones());
    copy->setOriginal({item.originalLayer(), item.originalItem()});
    copy->setOffPegsTransform(item.offPegsTransform());
    copy->setKeyDrawing(item.isKeyDrawing());
    return SceneChange(LayerChange(LayerChange::PutItemBack, frame, std::move(copy)), layer);
}

} // namespace

QList<SceneChange> Scene::setDrawing(int layer, int frame, std::shared_ptr<Drawing> drawing, bool detachDistantClones,
                                     bool quiet)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || !visual->hasFrame(frame) || !drawing || !suitsLayer(*drawing, *visual))
        return {};
    const QSignalBlocker blocker(quiet ? this : nullptr);
    const std::shared_ptr<LayerItem> item = visual->cell(frame);
    Cells changed{{frame, layer}};
    const QList<SceneChange> changes{recordOf(*item, layer, frame)};

    switch (item->kind()) {
    case LayerItem::OriginalKind:
        if (detachDistantClones)
            promoteFirstDistantClone(*this, *item, changed);
        break;
    case LayerItem::DistantCloneKind:
        unlinkDistantClone(*this, *visual, *item, changed);
        break;
    default:
        addPreviousHold(*visual, layer, frame, changed);
        break;
    }

    item->setKind(LayerItem::OriginalKind);
    item->setDrawing(drawing);
    // An original replaced without detaching takes its distant clones along.
    for (const LayerItem::Key &key : item->distantClones()) {
        int cloneLayer = -1;
        int cloneFrame = -1;
        const std::shared_ptr<LayerItem> clone = findDrawing(key, &cloneLayer, &cloneFrame);
        if (!clone)
            continue;
        clone->setDrawing(drawing);
        changed += propagateToFollowingClones(cloneFrame, cloneLayer);
    }
    changed += propagateToFollowingClones(frame, layer);
    finishContentReplacement(changed, !quiet);
    return changes;
}

QList<SceneChange> Scene::makeClone(int layer, int frame, const DrawingKey &key, bool quiet)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || !visual->hasFrame(frame))
        return {};
    int targetLayer = -1;
    int targetFrame = -1;
    const std::shared_ptr<LayerItem> target = findDrawing(key, &targetLayer, &targetFrame);
    // Only an original lists distant clones: a link to a hold or to another
    // distant clone would have no other end that the scene keeps right.
    if (!target || target->kind() != LayerItem::OriginalKind || layerType(targetLayer) != visual->type()
        || (targetLayer == layer && targetFrame == frame))
        return {};
    const QSignalBlocker blocker(quiet ? this : nullptr);
    const std::shared_ptr<LayerItem> item = visual->cell(frame);
    Cells changed;
    const QList<SceneChange> changes{recordOf(*item, layer, frame)};

    switch (item->kind()) {
    case LayerItem::OriginalKind:
        promoteFirstDistantClone(*this, *item, changed);
        break;
    case LayerItem::CloneKind:
        addPreviousHold(*visual, layer, frame, changed);
        break;
    default:
        unlinkDistantClone(*this, *visual, *item, changed);
        break;
    }

    item->setKind(LayerItem::DistantCloneKind);
    item->setDrawing(target->drawing());
    item->setDistantClones({});
    item->setOriginal(key);
    QList<LayerItem::Key> keys = target->distantClones();
    keys.append({visual->identifier(), item->identifier()});
    target->setDistantClones(keys);
    changed.append({targetFrame, targetLayer});
    changed += propagateToFollowingClones(frame, layer);
    finishContentReplacement(changed, !quiet);
    return changes;
}

QList<SceneChange> Scene::makeHold(int layer, int frame, bool quiet)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || frame < 2 || !visual->hasFrame(frame))
        return {};
    const QSignalBlocker blocker(quiet ? this : nullptr);
    const std::shared_ptr<LayerItem> item = visual->cell(frame);
    Cells changed{{frame, layer}};
    QList<SceneChange> changes;

    if (item->kind() != LayerItem::CloneKind) {
        changes.append(recordOf(*item, layer, frame));
        if (item->kind() == LayerItem::OriginalKind)
            promoteFirstDistantClone(*this, *item, changed);
        else
            unlinkDistantClone(*this, *visual, *item, changed);
        item->setKind(LayerItem::CloneKind);
        item->setDrawing(visual->cell(frame - 1)->drawing());
        changed.append({frame - 1, layer});
    }
    changed += propagateToFollowingClones(frame, layer);
    finishContentReplacement(changed, !quiet);
    return changes;
}

QList<SceneChange> Scene::makeOriginal(int layer, int frame, const QUuid &copyId)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || !visual->hasFrame(frame))
        return {};
    const std::shared_ptr<LayerItem> item = visual->cell(frame);
    Cells changed;
    QList<SceneChange> changes;

    if (item->kind() != LayerItem::OriginalKind) {
        changes.append(recordOf(*item, layer, frame));
        std::shared_ptr<Drawing> own;
        if (item->drawing()) {
            own = item->drawing()->clone();
        } else if (const std::shared_ptr<LayerItem> blank = visual->newCell()) {
            own = blank->drawing();
        }
        if (own)
            own->setCopyId(copyId);
        if (item->kind() == LayerItem::CloneKind)
            addPreviousHold(*visual, layer, frame, changed);
        else
            unlinkDistantClone(*this, *visual, *item, changed);
        item->setKind(LayerItem::OriginalKind);
        item->setDrawing(std::move(own));
        changed += propagateToFollowingClones(frame, layer);
    }
    finishContentReplacement(changed, true);
    return changes;
}

void Scene::finishContentReplacement(const QList<std::pair<int, int>> &changed, bool refresh)
{
    if (refresh)
        updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    emitDrawingsChanged(changed);
    Q_EMIT currentDrawingTypeUpdated();
}

} // namespace Model
