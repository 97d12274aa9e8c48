#pragma once

#include "audio/audiostate.h"
#include "layers/layer.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace Model {

class AudioLayerPrivate;

// The scene's sound (type 4): the imported file's bytes as read, which the
// scene file keeps, and the decoded samples that play in step with the
// frames. It has no cells: its place on the exposure sheet is an offset in
// frames, and a frame counts as its own while the sound plays in it.
//
// Units: every offset is in frames, a double rounded to 0.01 frame, never in
// seconds, so that a sound keeps its place against the drawings when the
// frame rate changes (only a sound starting before frame 1 is moved then, to
// keep the part before frame 1 equally long in time). An offset of 0 starts
// the sound at the start of frame 1. At least a quarter frame of sound always
// stays at or after the start of frame 1, and no offset, with or without a
// drag, goes beyond MaximumOffsetFrames either way.
//
// Sound is loaded when decoding gave samples in a known format, however
// few. A file that cannot be decoded or holds no sound, a decode that is
// cancelled and a sound over 30 minutes all leave the layer without sound,
// errorString() saying why in plain words that name the file loaded; a file
// cut short or damaged part-way keeps the sound read before the damage, and
// a sound that claims to last longer than its bytes can carry keeps as much
// as they can, warningString() saying how much. Samples that fall out of
// step with the file's bytes play as the file holds them, as noise, and
// warningString() says where that starts.
// Nothing throws and nothing crashes.
//
// Threading: decoding runs on the layer's thread (the GUI thread) inside a
// local event loop. Playback runs on a thread the layer owns, through an
// AudioBuffer that lives there and is driven only by the layer's signals, so
// every call into it is queued. The samples cross as an implicitly shared
// QByteArray, never as a pointer, so a new decode can replace them while a
// window is still on its way. The destructor waits for that thread to end.
class AudioLayer : public Layer
{
    Q_OBJECT

public:
    // The level of a stretch of sound, 0..1 of full scale (32 768). For one
    // channel the right values equal the left ones.
    struct LevelRecord
    {
        double peakLeft = 0.0;
        double peakRight = 0.0;
        double rmsLeft = 0.0;
        double rmsRight = 0.0;
        // Sample frames measured.
        int frames = 0;
    };

    // The farthest a sound may be placed from frame 1, either way. Times in
    // the sound are whole microseconds in 64 bits, and byte positions are
    // found by multiplying them by the sample rate: a million frames at the
    // slowest rate a scene has, 0.1 frames per second, are 10^13
    // microseconds, which times the decoder's 44.1 kHz is 4.4 * 10^17,
    // twenty times below 2^63 (and still below it at the highest rate a
    // sound file may have, 768 kHz). A million frames are also more than
    // four and a half hours at the fastest rate, far beyond any scene.
    static constexpr double MaximumOffsetFrames = 1'000'000.0;

    explicit AudioLayer(QObject *parent = nullptr);
    ~AudioLayer() override;

    int type() const override;
    // Null: audio layers are not copied.
    Layer *clone() const override;
    bool hasFrame(int frame) const override;

    // Reads the file whole and decodes it. progress, when given, is any
    // object with the properties of a progress dialog: "maximum" and "value"
    // (int, milliseconds of sound) are written while decoding, and a true
    // "wasCanceled" stops it. False when the path is not a readable file,
    // which changes nothing, and when decoding fails or is cancelled, which
    // leaves no sound.
    bool loadAudioFile(const QString &path, QObject *progress = nullptr);
    // As read from a scene file: replaces the bytes and decodes them.
    bool setOriginalAudioData(const QByteArray &data);
    QByteArray originalAudioData() const;
    // Why the last load or decode gave no sound; empty after a success and
    // after a cancel.
    QString errorString() const;
    // After a load or decode that kept only part of the sound (the file is
    // cut short or damaged part-way, or claims more sound than it holds):
    // how much of how much was kept, and where samples fall out of step,
    // for the user to see as a warning. Empty otherwise.
    QString warningString() const;

    bool hasAudio() const;
    // Interleaved signed 16-bit samples in format().
    QByteArray pcm() const;
    QAudioFormat format() const;
    qint64 durationUs() const;
    bool isAudible() const;
    double frameRate() const;
    double offsetFrames() const;
    double dragOffset() const;
    // The offset in effect: the offset plus the drag offset.
    double effectiveOffsetFrames() const;
    // The sound overlaps frames first..last; a range that starts where the
    // sound ends has none.
    bool hasAudioInFrames(int first, int last) const;

    // A sound starting before frame 1 keeps its time position; any other
    // offset stays in frames. A rate that is not positive and finite is
    // ignored.
    void setFrameRate(double fps);
    void setOffsetFrames(double frames);
    // A temporary offset while the user drags the sound; within a quarter
    // frame of frame 1 the sound snaps to start exactly there. Only with
    // sound loaded.
    void setDragOffset(double frames);

    // Plays frames first..last from frame, looping when asked. Parts of the
    // range outside the sound play as silence. False, with nothing sent,
    // without sound or when frame lies outside the range.
    bool startPlayback(int frame, int first, int last, bool loop);
    // The sound of one frame, with 4 ms to spare on each side, as when
    // scrubbing; the caller starts and stops the output. False, with nothing
    // sent, when muted or the sound does not reach the frame.
    bool playFrame(int frame);
    void stopPlayback();

    // The frame's waveform as a vertical strip, time running downwards, the
    // left channel left of the centre: peaks half-transparent, levels opaque,
    // white on transparent. Null when the sound does not reach the frame or
    // the size is empty. Quiet sounds are drawn up to ten times larger.
    QImage waveformImage(int frame, const QSize &size) const;

public Q_SLOTS:
    void setAudible(bool audible);

Q_SIGNALS:
    void audioAvailableChanged();
    void audioStateChanged(Model::AudioState state);
    // Only with sound loaded.
    void audibleChanged(bool audible);
    void volumeChanged(double volume);
    void startAudio();
    void stopAudio();
    // A play window of the sound in bytes (see AudioBuffer::setWindow).
    void newAudioBuffer(const QByteArray &sound, qlonglong offset, qlonglong len, qlonglong fadeInOutUs,
                        qlonglong startPos, bool loop);

private:
    // fileName names the file in messages; empty for bytes from a scene.
    bool decodeAudio(QObject *progress, const QString &fileName);
    void dropSound();

    std::unique_ptr<AudioLayerPrivate> d;
};

} // namespace Model
