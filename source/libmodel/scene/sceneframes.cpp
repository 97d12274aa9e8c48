#include "scene/scene.h"

#include "layers/audiolayer.h"
#include "layers/visuallayer.h"
#include "scene/scene_p.h"

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

constexpr double MinimumFrameRate = 0.1;
constexpr double MaximumFrameRate = 60.0;

// Equal up to the last bits of a double, so that a rate read back from a
// file or a spin box does not count as a change.
bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

} // namespace

bool Scene::applyActiveFrameRule(int frame, int layer, SetFrameBehaviour behaviour)
{
    const bool scrubFrameShown = d->m_scrubFrame >= 1 && d->m_scrubFrame <= d->m_maximumFrameNumber;
    if (frame == d->m_activeFrame && layer == d->m_activeLayerIdx) {
        // Only a clamping request on the empty frame after the last cell
        // has anything left to do.
        if (behaviour == AllowFrameAfterLast || scrubFrameShown || !isActiveFrameAfterLastDrawing())
            return false;
    }

    // Audio and annotation layers are never active; neither is a layer that
    // does not exist, unless the scene has no visual layer to offer.
    if (layer >= 0 && layer < layerCount() && !isVisualLayer(layer))
        return false;
    if ((layer < 0 || layer >= layerCount()) && (layer != -1 || visualLayerCount() > 0))
        return false;
    const int frameCount = layerFrameCount(layer);
    if (frame < 1 || d->m_frameRangeFirst > frameCount + 1)
        return false;

    if (frame != frameCount + 1 || behaviour == ClampToDrawings) {
        if (frameCount < d->m_frameRangeFirst)
            frame = d->m_frameRangeFirst;
        else
            frame = std::max(d->m_frameRangeFirst, std::min({frameCount, d->m_frameRangeLast, frame}));
    }

    d->m_activeLayerIdx = layer;
    d->m_activeFrame = frame;

    if (d->m_scrubFrame != -1) {
        const int previous = d->m_scrubFrame;
        d->m_scrubFrame = -1;
        Q_EMIT scrubFrameChanged(-1, previous);
        Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    }
    return true;
}

bool Scene::setActiveFrameAndLayer(int frameId, int layerId, SetFrameBehaviour behaviour)
{
    if (!applyActiveFrameRule(frameId, layerId, behaviour))
        return false;
    Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    updateCachedFramePixmap(true);
    return true;
}

bool Scene::setFrameRange(int lower, int upper, int wantedFrameId, int wantedLayerIndex)
{
    const int maximum = d->m_maximumFrameNumber;
    int first = std::max(1, std::min(maximum, lower));
    int last = std::max(1, std::min(maximum, upper));
    if (first > last)
        return false;
    // Playing a single frame in a loop is of no use while there are more.
    if (first == last && maximum != 1) {
        if (first == 1)
            last = 2;
        else
            --first;
    }

    if (first == d->m_frameRangeFirst && last == d->m_frameRangeLast && wantedLayerIndex == d->m_activeLayerIdx
        && wantedFrameId == d->m_activeFrame && first <= wantedFrameId
        && wantedFrameId <= std::min(last, layerFrameCount(wantedLayerIndex)))
        return false;

    d->m_frameRangeFirst = first;
    d->m_frameRangeLast = last;

    int layer = -1;
    if (wantedLayerIndex >= 0 && wantedLayerIndex < layerCount()) {
        for (int position = d->m_layerPositions.at(wantedLayerIndex); position >= 0; --position) {
            const int candidate = d->m_layerOrdering.at(position);
            if (isVisualLayer(candidate) && layerFrameCount(candidate) + 1 >= first) {
                layer = candidate;
                break;
            }
        }
    }
    if (layer == -1)
        layer = topmostLayerInFrameRange();
    Q_EMIT frameRangeChanged(first, last);

    int frame = wantedFrameId;
    SetFrameBehaviour behaviour = AllowFrameAfterLast;
    if (!(isVisualLayer(layer) && wantedFrameId == layerFrameCount(layer) + 1)) {
        frame = std::max(first, std::min({last, layerFrameCount(layer), wantedFrameId}));
        behaviour = ClampToDrawings;
    }

    applyActiveFrameRule(frame, layer, behaviour);
    updateCachedFramePixmap(true);
    Q_EMIT offPegsTransformChanged(offPegsTransform(d->m_activeFrame));
    Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    return true;
}

bool Scene::setFrameRate(double fps)
{
    if (!std::isfinite(fps) || fps <= 0.0)
        return false;
    fps = std::max(std::min(fps, MaximumFrameRate), MinimumFrameRate);
    if (fuzzyEqual(d->m_frameRate, fps))
        return true;
    d->m_frameRate = fps;
    if (AudioLayer *audio = audioLayer())
        audio->setFrameRate(fps);
    Q_EMIT frameRateChanged(fps);
    Q_EMIT layersChanged(d->m_audioLayerIdx, d->m_audioLayerIdx);
    return true;
}

bool Scene::setFrameSize(const QSize &size, KL::FitMode fitMode, QObject *progress)
{
    if (size.width() < 1 || size.height() < 1)
        return false;
    if (size == d->m_frameSize)
        return true;
    Q_EMIT frameSizeAboutToChange(size);
    for (const std::shared_ptr<Layer> &layer : std::as_const(d->m_layers)) {
        if (auto *visual = qobject_cast<VisualLayer *>(layer.get()))
            visual->setFrameSize(size, fitMode, progress);
    }
    d->m_frameSize = size;
    Q_EMIT frameSizeChanged(size);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    return true;
}

bool Scene::setFrameSize(const QSize &size, KL::FitMode fitMode)
{
    return setFrameSize(size, fitMode, nullptr);
}

bool Scene::setScrubFrame(int frameId)
{
    if (frameId == d->m_scrubFrame)
        return false;
    const int previous = d->m_scrubFrame;
    if (frameId < 1)
        d->m_scrubFrame = -1;
    else if (frameId <= d->m_maximumFrameNumber)
        d->m_scrubFrame = frameId;
    // Past the last frame the scrub frame stays where it was; the listeners
    // are told all the same.
    Q_EMIT scrubFrameChanged(d->m_scrubFrame, previous);
    if (d->m_scrubFrame == -1) {
        Q_EMIT activeFrameAndLayerChanged(d->m_activeFrame, d->m_activeLayerIdx);
    } else if (d->m_scrubbing) {
        if (AudioLayer *audio = audioLayer())
            audio->playFrame(frameId);
    }
    return d->m_scrubFrame != previous;
}

bool Scene::unsetScrubFrame()
{
    return setScrubFrame(-1);
}

bool Scene::startScrubbing()
{
    if (d->m_scrubbing)
        return false;
    d->m_scrubbing = true;
    // The output runs for the whole scrub; each scrubbed frame only sends
    // its window.
    if (AudioLayer *audio = audioLayer()) {
        Q_EMIT audio->startAudio();
        if (d->m_scrubFrame != -1)
            audio->playFrame(d->m_scrubFrame);
    }
    return true;
}

bool Scene::stopScrubbing()
{
    if (!d->m_scrubbing)
        return false;
    d->m_scrubbing = false;
    if (AudioLayer *audio = audioLayer())
        Q_EMIT audio->stopAudio();
    return true;
}

} // namespace Model
