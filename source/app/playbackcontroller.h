#pragma once

#include "audio/audiostate.h"

#include <QObject>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace Model {
class KLScene;
}

class PlaybackControllerPrivate;

// The clock of playback. It owns no widget: it counts frames against a
// monotonic clock, decides which frame is due and hands it to the scene as
// its scrub frame, so that the active frame stays where the user left it
// while the drawings play.
//
// The clock never drifts and never slows down: every tick aims the next one
// at the next frame boundary of the clock, and a tick that comes late shows
// the frame that is due, reporting the frames it dropped with skippedFrame().
//
// A loop or once run forwards starts the scene's sound first and holds the
// clock until the sound is audible, so that pictures and sound start
// together; sound that does not start within the wait (no output device, a
// blocked device) is switched off and playback goes on silent.
//
// Every run ends with exactly one updateActiveFrame() and one
// playbackChanged(false). The controller refuses a frame rate that is not
// positive and finite and keeps the others within 0.1 to 60 fps.
// GUI thread only; the sound's state arrives queued from the audio thread.
class PlaybackController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double frameRate READ frameRate WRITE setFrameRate)
    Q_PROPERTY(PlaybackModes playbackModes READ playbackModes WRITE setPlaybackModes)

public:
    enum PlaybackMode {
        Loop = 1,
        // Counts downwards; read on every tick, and starts no sound.
        Backwards = 2,
        // A stopped loop or once run leaves the frame on screen active.
        StopAndStay = 4,
    };
    Q_DECLARE_FLAGS(PlaybackModes, PlaybackMode)
    Q_FLAG(PlaybackModes)

    // Milliseconds of a monotonic clock; only differences are used.
    using Clock = std::function<qint64()>;

    static constexpr int DefaultAudioWaitMs = 5000;

    explicit PlaybackController(QObject *parent = nullptr);
    ~PlaybackController() override;

    double frameRate() const;
    PlaybackModes playbackModes() const;
    // A timer runs, playback is paused, or the clock waits for the sound.
    bool isPlaying() const;

    // Where time comes from; an empty clock restores the steady clock. Meant
    // for tests and measurements, which step or read time themselves.
    void setClock(Clock clock);
    // The longest wait for the sound to become audible.
    void setAudioWaitMs(int milliseconds);
    int audioWaitMs() const;

public Q_SLOTS:
    void setCurrentScene(Model::KLScene *klscene);
    void setFrameRange(int lower, int upper);
    void setActiveFrame(int frameId);
    void setFrameRate(double fps);
    void setPlaybackModes(PlaybackController::PlaybackModes modes);
    void setPlaybackMode(PlaybackController::PlaybackMode mode, bool on = true);
    void startPlayback();
    void stopPlayback();
    void togglePlayback();
    // False unless the frame clock runs (also while it waits for the sound).
    bool pausePlayback();
    // False unless paused.
    bool resumePlayback(int frameId);
    void onAudioStateChanged(Model::AudioState state);
    void flipBackAndReturn(int numFrames);
    void startFlipBack();
    void startReturnFlip();
    void allowSwitchFlipDirection();

Q_SIGNALS:
    void showFrame(int frameId);
    void updateActiveFrame(int frameId);
    void playbackChanged(bool playing);
    void skippedFrame();

private Q_SLOTS:
    // Driven by the frame timer; also run once by every start and resume.
    void tick();
    // Driven by the audio wait timer.
    void audioWaitTimedOut();
    void onAudioOutputsChanged();

private:
    void startRun();
    void startClock();
    void playAudioFrom(int frame, bool loop);

    std::unique_ptr<PlaybackControllerPrivate> d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(PlaybackController::PlaybackModes)
