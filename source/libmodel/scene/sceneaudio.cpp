#include "scene/scene.h"

#include "layers/audiolayer.h"
#include "scene/scene_p.h"

namespace Model {

// The rest of the program reaches the sound only through these operations:
// the playback clock, the timeline and the exposure sheet's audio column
// with its offset drag. Each forwards to the tracked audio layer and
// announces what changed as layersChanged for that layer's column.

AudioLayer *Scene::audioLayer() const
{
    return qobject_cast<AudioLayer *>(layerAt(d->m_audioLayerIdx).get());
}

bool Scene::hasAudio() const
{
    const AudioLayer *audio = audioLayer();
    return audio && audio->hasAudio();
}

bool Scene::isAudioEnabled() const
{
    const AudioLayer *audio = audioLayer();
    return audio && audio->hasAudio() && audio->isAudible();
}

bool Scene::hasAudioInFrames(int first, int last) const
{
    const AudioLayer *audio = audioLayer();
    return audio && audio->hasAudioInFrames(first, last);
}

bool Scene::hasAudioAtFrame(int frame) const
{
    const AudioLayer *audio = audioLayer();
    return audio && audio->hasFrame(frame);
}

double Scene::audioOffset() const
{
    const AudioLayer *audio = audioLayer();
    return audio ? audio->offsetFrames() : 0.0;
}

double Scene::effectiveAudioOffset() const
{
    const AudioLayer *audio = audioLayer();
    return audio ? audio->effectiveOffsetFrames() : 0.0;
}

bool Scene::setAudioEnabled(bool enabled)
{
    if (!audioLayer())
        return false;
    return setLayerAudible(d->m_audioLayerIdx, enabled);
}

void Scene::setAudioOffset(double frames)
{
    AudioLayer *audio = audioLayer();
    if (!audio)
        return;
    audio->setOffsetFrames(frames);
    Q_EMIT layersChanged(d->m_audioLayerIdx, d->m_audioLayerIdx);
}

void Scene::setAudioDragOffset(double frames)
{
    AudioLayer *audio = audioLayer();
    if (!audio)
        return;
    audio->setDragOffset(frames);
    Q_EMIT layersChanged(d->m_audioLayerIdx, d->m_audioLayerIdx);
}

bool Scene::startAudioPlayback(int frameId, bool loop)
{
    AudioLayer *audio = audioLayer();
    return audio && audio->startPlayback(frameId, d->m_frameRangeFirst, d->m_frameRangeLast, loop);
}

void Scene::stopAudioPlayback()
{
    if (AudioLayer *audio = audioLayer())
        audio->stopPlayback();
}

} // namespace Model
