#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QIODevice;

namespace Model {

class FfmpegAudioDecoderPrivate;

// Turns the bytes of a sound file, read through a QIODevice, into interleaved
// signed 16-bit stereo PCM at 44 100 Hz.
//
// Decoding runs on the owner's thread one packet per event-loop turn, driven
// by a queued signal to itself, so that a caller's local event loop and
// progress dialog stay responsive. Each step drains everything the codec and
// the conversion graph hold, and the end of the input flushes both, so no
// sound is lost between packets or at the end.
//
// Lifecycle: start() once; then finished() is emitted exactly once, after the
// end of the input, a failure or stop(), also when stop() is called from a
// handler of durationMsChanged() or positionMsChanged(). After finished() the
// caller takes buffer() and format().
//
// Failure rules: nothing throws and nothing crashes on bad input. A source
// that is not a sound file, has no audio stream or cannot be decoded ends the
// decoding with errorString() set and whatever was decoded before the failure
// (often nothing) in buffer(). A sample rate above 768 kHz or more than eight
// channels is refused before any conversion is set up. The device is not owned and must outlive the
// decoder's use of it.
class FfmpegAudioDecoder : public QObject
{
    Q_OBJECT

public:
    explicit FfmpegAudioDecoder(QIODevice *device, QObject *parent = nullptr);
    ~FfmpegAudioDecoder() override;

    // The decoded samples; implicitly shared, so taking them is cheap.
    QByteArray buffer() const;
    // The format last announced by formatChanged(); invalid before that.
    QAudioFormat format() const;
    // Milliseconds; -1 while unknown.
    qint64 durationMs() const;
    qint64 positionMs() const;
    // Why decoding ended early; empty while running, after the end of the
    // input and after stop().
    QString errorString() const;

public Q_SLOTS:
    void start();
    void handleNextFrame();
    void stop();
    void finalize();

Q_SIGNALS:
    void formatChanged(QAudioFormat format);
    void finished();
    void processNextFrame();
    void durationMsChanged(qlonglong durationMs);
    void positionMsChanged(qlonglong positionMs);

private Q_SLOTS:
    void setDurationMs(qlonglong durationMs);
    void setPositionMs(qlonglong positionMs);

private:
    int openInput();
    // Refuses, with a message, rates and channel counts beyond any sound the
    // output can play, before anything is set up for them.
    int checkSoundFormat(int sampleRate, int channels);
    int createFilterGraph();
    int decodeStep();
    int drainDecoder();
    int drainFilterGraph();
    void fail(int code, const char *message);
    void releaseFfmpeg();
    void finish();

    std::unique_ptr<FfmpegAudioDecoderPrivate> d;
};

} // namespace Model
