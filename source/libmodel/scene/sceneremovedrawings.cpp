#include "scene/scene.h"

#include "layers/annotationlayer.h"
#include "scene/scene_p.h"

#include <algorithm>

namespace Model {

QList<SceneChange> Scene::removeDrawing(int layer, int frame)
{
    const std::shared_ptr<Layer> given = layerAt(layer);
    // Audio and annotation layers report no frames and are never changed.
    if (!given || frame < 1 || frame > given->frameCount())
        return {};

    const int rangeLast = d->m_frameRangeLast;
    int lowest = layer;
    int highest = layer;
    // The range end follows the cells pulled up, unless a layer that keeps
    // all its cells still reaches it.
    bool shrink = true;
    QList<SceneChange> changes;
    const bool linked = given->isLinked();
    for (int i = 0; i < d->m_layers.size(); ++i) {
        const std::shared_ptr<Layer> &target = d->m_layers.at(i);
        if (i == layer || (linked && target->isLinked())) {
            lowest = std::min(lowest, i);
            highest = std::max(highest, i);
            for (const LayerChange &change : target->removeFrame(frame))
                changes.append(SceneChange(change, i));
        } else if (frame <= rangeLast && target->frameCount() >= rangeLast) {
            shrink = false;
        }
    }

    updateMaxFrameNumber();
    if (frame < d->m_scrubFrame) {
        const int previous = d->m_scrubFrame;
        --d->m_scrubFrame;
        Q_EMIT scrubFrameChanged(d->m_scrubFrame, previous);
    }

    int first = d->m_frameRangeFirst;
    int last = d->m_frameRangeLast;
    if (shrink && frame <= last && last >= 2) {
        --last;
        if (frame < first)
            --first;
    }
    // Removing the range's last frame leaves the active layer's empty frame
    // after its cells in view rather than a frame that has moved away.
    const int wantedFrame = frame == rangeLast ? layerFrameCount(d->m_activeLayerIdx) + 1 : d->m_activeFrame;
    setFrameRange(first, last, wantedFrame, d->m_activeLayerIdx);

    if (frame == d->m_activeFrame)
        Q_EMIT offPegsTransformChanged(offPegsTransform(frame));
    Q_EMIT layersChanged(lowest, highest);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    return changes;
}

QList<SceneChange> Scene::removeDrawings(int layer, int frame, int count)
{
    QList<SceneChange> changes;
    for (int k = 0; k < count; ++k)
        changes = removeDrawing(layer, frame - k) + changes;
    return changes;
}

QImage Scene::annotationImage(int frame) const
{
    const auto *annotations = qobject_cast<const AnnotationLayer *>(layerAt(annotationLayerIndex()).get());
    return annotations ? annotations->image(frame).copy() : QImage();
}

} // namespace Model
