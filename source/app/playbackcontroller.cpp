#include "playbackcontroller.h"

#include "scene/klscene.h"
#include "scene/scene.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

enum RunMode {
    RunIdle = 0,
    RunLoop = 1,
    RunOnce = 2,
    RunFlipBack = 3,
    RunReturnFlip = 4,
    RunFlipBackAndReturn = 5,
};

constexpr double MinimumFrameRate = 0.1;
constexpr double MaximumFrameRate = 60.0;

qint64 steadyClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Rounds half away from zero, as every frame and interval count here does.
qint64 roundToInt(double value)
{
    return qint64(std::lround(value));
}

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

} // namespace

class PlaybackControllerPrivate
{
public:
    double m_frameRate = 12.0;
    QTimer *m_frameTimer = nullptr;
    int m_rangeLower = -1;
    int m_rangeUpper = -1;
    int m_activeFrame = -1;
    int m_startFrame = -1;
    int m_flipDistance = -1;
    int m_flipPosition = -1;
    int m_currentFrame = -1;
    PlaybackController::PlaybackModes m_playbackModes = PlaybackController::Loop;
    // The elapsed clock: started whenever the frame clock starts; invalid
    // (reading 0) before that.
    PlaybackController::Clock m_clock = steadyClockMs;
    qint64 m_clockStart = 0;
    bool m_clockValid = false;
    int m_runMode = RunIdle;
    bool m_paused = false;
    int m_audioWaitMs = PlaybackController::DefaultAudioWaitMs;
    QTimer *m_audioWaitTimer = nullptr;
    bool m_switchFlipDirection = false;
    // 0 forwards, 1 backwards; survives stops and steers the next return flip.
    int m_flipDirection = 0;
    qint64 m_lastElapsedMs = 0;
    qint64 m_lastTickFrame = 0;
    // The delay that was scheduled for the coming tick, in ms.
    qint64 m_interval = roundToInt(1000.0 / 12.0);
    // Not owned; guarded, since a scene may be closed while it is still set.
    QPointer<Model::KLScene> m_klScene;
    QPointer<Model::Scene> m_scene;
    QAudioDevice m_audioDevice;
    QMediaDevices *m_mediaDevices = nullptr;

    // Frames are counted from now: the counts start again at frame 0.
    void startFrameClock()
    {
        m_lastElapsedMs = 0;
        m_lastTickFrame = 0;
        m_paused = false;
        m_frameTimer->start();
        m_clockStart = m_clock();
        m_clockValid = true;
    }

    qint64 elapsedMs() const { return m_clockValid ? m_clock() - m_clockStart : 0; }

    bool has(PlaybackController::PlaybackMode mode) const { return m_playbackModes.testFlag(mode); }

    // The timers take ints; a clamped rate keeps every delay far inside them.
    void setFrameTimerInterval(qint64 interval) { m_frameTimer->setInterval(int(std::clamp<qint64>(interval, 0, 100000))); }
};

PlaybackController::PlaybackController(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<PlaybackControllerPrivate>())
{
    d->m_frameTimer = new QTimer(this);
    d->m_frameTimer->setObjectName(QStringLiteral("frameTimer"));
    d->m_frameTimer->setTimerType(Qt::PreciseTimer);
    d->m_frameTimer->setSingleShot(false);
    d->setFrameTimerInterval(d->m_interval);
    connect(d->m_frameTimer, &QTimer::timeout, this, &PlaybackController::tick);

    d->m_audioWaitTimer = new QTimer(this);
    d->m_audioWaitTimer->setObjectName(QStringLiteral("audioWaitTimer"));
    d->m_audioWaitTimer->setSingleShot(true);
    d->m_audioWaitTimer->setInterval(d->m_audioWaitMs);
    connect(d->m_audioWaitTimer, &QTimer::timeout, this, &PlaybackController::audioWaitTimedOut);

    d->m_mediaDevices = new QMediaDevices(this);
    d->m_audioDevice = QMediaDevices::defaultAudioOutput();
    connect(d->m_mediaDevices, &QMediaDevices::audioOutputsChanged, this, &PlaybackController::onAudioOutputsChanged);
}

PlaybackController::~PlaybackController() = default;

double PlaybackController::frameRate() const
{
    return d->m_frameRate;
}

PlaybackController::PlaybackModes PlaybackController::playbackModes() const
{
    return d->m_playbackModes;
}

bool PlaybackController::isPlaying() const
{
    return d->m_frameTimer->isActive() || d->m_paused || d->m_audioWaitTimer->isActive();
}

void PlaybackController::setClock(Clock clock)
{
    d->m_clock = clock ? std::move(clock) : Clock(steadyClockMs);
    d->m_clockValid = false;
}

void PlaybackController::setAudioWaitMs(int milliseconds)
{
    d->m_audioWaitMs = std::max(0, milliseconds);
    d->m_audioWaitTimer->setInterval(d->m_audioWaitMs);
}

int PlaybackController::audioWaitMs() const
{
    return d->m_audioWaitMs;
}

void PlaybackController::setCurrentScene(Model::KLScene *klscene)
{
    if (d->m_klScene) {
        disconnect(d->m_klScene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->m_klScene, nullptr);
    }
    if (d->m_scene) {
        stopPlayback();
        disconnect(d->m_scene, nullptr, this, nullptr);
        disconnect(this, nullptr, d->m_scene, nullptr);
    }
    d->m_klScene = klscene;
    d->m_scene = klscene ? klscene->scene() : nullptr;
    Model::Scene *scene = d->m_scene;
    if (!scene)
        return;

    setFrameRange(scene->frameRangeFirst(), scene->frameRangeLast());
    connect(scene, &Model::Scene::frameRangeChanged, this, &PlaybackController::setFrameRange);
    connect(scene, &Model::Scene::activeFrameAndLayerChanged, this,
            [this](int frame, int) { setActiveFrame(frame); });
    connect(scene, &Model::Scene::audioStateChanged, this, &PlaybackController::onAudioStateChanged);
    connect(this, &PlaybackController::showFrame, scene, &Model::Scene::setScrubFrame);
    d->m_activeFrame = scene->activeFrame();
}

void PlaybackController::setFrameRange(int lower, int upper)
{
    if (lower == d->m_rangeLower && upper == d->m_rangeUpper)
        return;
    if (isPlaying())
        stopPlayback();
    d->m_rangeLower = lower;
    d->m_rangeUpper = upper;
}

void PlaybackController::setActiveFrame(int frameId)
{
    d->m_activeFrame = frameId;
}

void PlaybackController::setFrameRate(double fps)
{
    // Frames are counted by dividing by the rate: a rate that is not a
    // positive number would stop or break the clock, so it is refused, not
    // clamped.
    if (!std::isfinite(fps) || fps <= 0.0)
        return;
    const double value = std::max(MinimumFrameRate, std::min(fps, MaximumFrameRate));
    if (fuzzyEqual(d->m_frameRate, value))
        return;
    d->m_frameRate = value;
    d->m_interval = roundToInt(1000.0 / value);
    if (isPlaying())
        stopPlayback();
    d->setFrameTimerInterval(d->m_interval);
}

void PlaybackController::setPlaybackModes(PlaybackModes modes)
{
    d->m_playbackModes = modes;
}

void PlaybackController::setPlaybackMode(PlaybackMode mode, bool on)
{
    d->m_playbackModes.setFlag(mode, on);
}

void PlaybackController::startPlayback()
{
    d->m_runMode = d->has(Loop) ? RunLoop : RunOnce;
    startRun();
}

void PlaybackController::togglePlayback()
{
    if (isPlaying())
        stopPlayback();
    else
        startPlayback();
}

void PlaybackController::startFlipBack()
{
    d->m_runMode = RunFlipBack;
    startRun();
}

void PlaybackController::flipBackAndReturn(int numFrames)
{
    d->m_flipDistance = numFrames;
    d->m_runMode = RunFlipBackAndReturn;
    startRun();
}

void PlaybackController::startReturnFlip()
{
    if (!isPlaying())
        return;
    d->m_switchFlipDirection = false;
    if (d->m_flipDirection == 1 && d->m_currentFrame <= d->m_startFrame)
        d->m_flipDirection = 0;
    else if (d->m_flipDirection == 0 && d->m_currentFrame >= d->m_startFrame)
        d->m_flipDirection = 1;
    d->m_runMode = RunReturnFlip;
    d->m_flipPosition = d->m_currentFrame;
    startRun();
}

void PlaybackController::allowSwitchFlipDirection()
{
    d->m_switchFlipDirection = true;
}

void PlaybackController::startRun()
{
    if (d->m_rangeLower >= d->m_rangeUpper) {
        stopPlayback();
        return;
    }
    d->m_startFrame = d->m_activeFrame;
    d->startFrameClock();
    Q_EMIT playbackChanged(true);
    tick();
}

void PlaybackController::stopPlayback()
{
    d->m_frameTimer->stop();
    d->m_paused = false;
    d->m_audioWaitTimer->stop();
    // A run stopped before its first frame has no frame on screen to keep.
    const bool stay = (d->m_runMode == RunLoop || d->m_runMode == RunOnce) && d->has(StopAndStay)
        && d->m_currentFrame != -1;
    const int frame = stay ? d->m_currentFrame : d->m_activeFrame;
    d->m_runMode = RunIdle;
    Q_EMIT updateActiveFrame(frame);
    d->m_currentFrame = -1;
    if (d->m_scene)
        d->m_scene->stopAudioPlayback();
    Q_EMIT playbackChanged(false);
}

bool PlaybackController::pausePlayback()
{
    if (!d->m_frameTimer->isActive())
        return false;
    if (d->m_scene)
        d->m_scene->stopAudioPlayback();
    d->m_frameTimer->stop();
    d->m_paused = true;
    return true;
}

bool PlaybackController::resumePlayback(int frameId)
{
    if (!d->m_paused)
        return false;
    d->m_startFrame = frameId;
    d->m_currentFrame = frameId;
    if (!d->has(Backwards))
        playAudioFrom(frameId, d->has(Loop));
    if (d->m_audioWaitTimer->isActive())
        return true;
    d->startFrameClock();
    tick();
    return true;
}

void PlaybackController::tick()
{
    const qint64 elapsed = d->elapsedMs();
    const qint64 n = roundToInt(double(elapsed) * d->m_frameRate / 1000.0);
    if (n - d->m_lastTickFrame >= 2 && elapsed - d->m_lastElapsedMs > d->m_interval)
        Q_EMIT skippedFrame();
    d->m_lastTickFrame = n;
    d->m_lastElapsedMs = elapsed;
    // Aimed at the next frame boundary of the clock: a late tick drops
    // frames instead of slowing the cadence down.
    d->m_interval = roundToInt(double(n + 1) * 1000.0 / d->m_frameRate) - elapsed;
    d->setFrameTimerInterval(d->m_interval);

    const int lower = d->m_rangeLower;
    const int upper = d->m_rangeUpper;
    const int start = d->m_startFrame;
    const int steps = int(std::min<qint64>(n, std::numeric_limits<int>::max() / 4));
    int frame = -1;
    switch (d->m_runMode) {
    case RunLoop: {
        const int base = std::max(lower, std::min(upper, start));
        const qint64 span = qint64(upper) - lower + 1;
        const qint64 step = d->has(Backwards) ? -qint64(steps) : qint64(steps);
        qint64 offset = (base + step - lower) % span;
        if (offset < 0)
            offset += span;
        frame = int(lower + offset);
        if (!d->has(Backwards) && d->m_currentFrame == -1)
            playAudioFrom(frame, true);
        break;
    }
    case RunOnce: {
        // The active frame plays no part: a once run covers the whole range.
        const qint64 candidate = d->has(Backwards) ? qint64(upper) - steps : qint64(lower) + steps;
        if (candidate < lower || candidate > upper) {
            stopPlayback();
            return;
        }
        frame = int(candidate);
        if (!d->has(Backwards) && d->m_currentFrame == -1)
            playAudioFrom(frame, false);
        break;
    }
    case RunFlipBack:
        // Holds on the first frame of the range until released.
        frame = int(std::max<qint64>(lower, qint64(start) - 1 - steps));
        break;
    case RunReturnFlip:
        if (d->m_flipDirection == 0) {
            frame = int(std::min<qint64>(qint64(d->m_flipPosition) + steps, std::numeric_limits<int>::max()));
            if (d->m_switchFlipDirection) {
                if (frame >= upper) {
                    frame = upper;
                    d->m_flipPosition = d->m_currentFrame - 1;
                    d->m_flipDirection = 1;
                    stopPlayback();
                    return;
                }
            } else if (frame >= start) {
                d->m_flipDirection = 0;
                stopPlayback();
                return;
            }
        } else {
            frame = int(std::max<qint64>(qint64(d->m_flipPosition) - steps, std::numeric_limits<int>::min()));
            const int limit = d->m_switchFlipDirection ? lower : start;
            if (frame <= limit) {
                d->m_flipDirection = 0;
                stopPlayback();
                return;
            }
        }
        break;
    case RunFlipBackAndReturn:
        frame = int(std::max<qint64>(lower, qint64(start) - 1 - steps));
        if (steps >= d->m_flipDistance - 1 || frame <= lower) {
            // The return counts on from the frame where the flip turned, so
            // that it runs back frame by frame even when this tick came late.
            d->m_flipPosition = frame - steps;
            d->m_runMode = RunReturnFlip;
            d->m_flipDirection = 0;
        }
        break;
    default:
        return;
    }
    d->m_currentFrame = frame;

    if (d->m_audioWaitTimer->isActive())
        return;
    if (d->m_frameTimer->isActive() || d->m_paused)
        Q_EMIT showFrame(d->m_currentFrame);
}

void PlaybackController::playAudioFrom(int frame, bool loop)
{
    d->m_audioWaitTimer->stop();
    Model::Scene *scene = d->m_scene;
    if (!scene || !scene->isAudioEnabled() || !scene->startAudioPlayback(frame, loop))
        return;
    // The picture waits for the sound: the clock starts when the sound is
    // audible, or silent after the wait.
    d->m_frameTimer->stop();
    d->m_audioWaitTimer->start(d->m_audioWaitMs);
}

void PlaybackController::onAudioStateChanged(Model::AudioState state)
{
    if (!d->m_audioWaitTimer->isActive() || state != Model::AudioState::ActiveState)
        return;
    d->m_audioWaitTimer->stop();
    startClock();
}

void PlaybackController::audioWaitTimedOut()
{
    d->m_audioWaitTimer->stop();
    if (Model::Scene *scene = d->m_scene) {
        scene->stopAudioPlayback();
        scene->setAudioEnabled(false);
    }
    startClock();
}

void PlaybackController::startClock()
{
    d->startFrameClock();
    // Counting begins now, from the frame the sound was started at.
    d->m_startFrame = d->m_currentFrame;
    Q_EMIT showFrame(d->m_currentFrame);
}

void PlaybackController::onAudioOutputsChanged()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device == d->m_audioDevice)
        return;
    d->m_audioDevice = device;
    Model::Scene *scene = d->m_scene;
    // Sound that keeps playing would go to the old device: the user starts
    // again on the new one.
    if (isPlaying() && scene && scene->isAudioEnabled() && scene->hasAudioInFrames(d->m_rangeLower, d->m_rangeUpper))
        stopPlayback();
}
