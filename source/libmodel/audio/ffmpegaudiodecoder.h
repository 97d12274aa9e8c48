#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QIODevice;
struct AVFrame;

namespace Model {

class FfmpegAudioDecoderPrivate;

// Turns the bytes of a sound file, read through a QIODevice, into interleaved
// signed 16-bit stereo PCM at 44 100 Hz.
//
// Decoding runs on the owner's thread one packet per event-loop turn, driven
// by a queued signal to itself, so that a caller's local event loop and
// progress dialog stay responsive. Each step drains everything the codec and
// the conversion graph hold, and the end of the input flushes both, so no
// sound is lost between packets or at the end: a sound of one sample comes
// out as long as it lasts.
//
// Lifecycle: start() once; then finished() is emitted exactly once, after the
// end of the input, a failure or stop(), also when stop() is called from a
// handler of durationMsChanged() or positionMsChanged(). After finished() the
// caller takes buffer() and format().
//
// Failure rules: nothing throws and nothing crashes on bad input. A source
// that is not a sound file, has no audio stream or cannot be decoded ends the
// decoding with errorString() set and whatever was decoded before the failure
// (often nothing) in buffer(); ending() tells the kinds apart. A sample rate
// above 768 kHz or more than eight channels is refused before any conversion
// is set up. The device is not owned and must outlive the decoder's use of
// it. A WAV or AIFF is held whole before it is decoded (from a device that
// cannot seek, read whole): its header, read again, and what follows its
// sound tell where the sound ends. Its samples are the file's, as every
// reader of the file reads them: uncompressed samples whose bytes fall out
// of step somewhere (bytes added or lost) play as the noise they are, and
// stepsUs() tells where.
//
// Cost: what a source may decode to is bounded by its size. No sound lasts
// longer than its bytes could carry at MinimumBytesPerSecond, so a header
// that makes a few kilobytes stand for minutes (a WAV at 1 Hz) decodes only
// that much, and ends with Ending::Overclaimed. Sound goes into the
// conversion a second at a time, so that no single call builds more than a
// second of output before that bound is checked.
class FfmpegAudioDecoder : public QObject
{
    Q_OBJECT

public:
    // How the decoding ended, so that the caller can explain it in its own
    // words; errorString() holds the details.
    enum class Ending {
        // The end of the input, or stop().
        Complete,
        // Not sound that can be read: no known format, no decoder, or damage
        // before the conversion could be set up.
        Unreadable,
        // A file that can be read but holds no sound stream (a picture).
        NoSoundStream,
        // A sound the output cannot play, refused by its header;
        // errorString() says why in plain words.
        Refused,
        // Stopped part-way by damage, a read error, a file that ends before
        // its stated length or more sound than memory allows; buffer() holds
        // what came before.
        CutShort,
        // The sound lasts longer than its bytes can carry; buffer() holds as
        // much as they can.
        Overclaimed,
    };
    Q_ENUM(Ending)

    // The fewest bytes a sound file spends on a second of sound: 1 kbit/s,
    // below every codec found in WAV and MP3 files (MP3 starts at 8 kbit/s,
    // the thriftiest speech codecs in WAV files at 5.3) and below the speech
    // codecs of other containers (Speex from 2.15 kbit/s, AMR, Opus).
    static constexpr qint64 MinimumBytesPerSecond = 125;

    explicit FfmpegAudioDecoder(QIODevice *device, QObject *parent = nullptr);
    ~FfmpegAudioDecoder() override;

    // The decoded samples; implicitly shared, so taking them is cheap.
    QByteArray buffer() const;
    // The format last announced by formatChanged(); invalid before that.
    QAudioFormat format() const;
    // Milliseconds; -1 while unknown.
    qint64 durationMs() const;
    // The length the file itself states, which durationMs() may only guess
    // from the file's size (a WAV cut short), in microseconds to its own
    // sample; -1 when it states none.
    qint64 statedDurationUs() const;
    // The length of the sound read from the file, at its own sample rate
    // before the conversion, in microseconds to its own sample.
    qint64 readDurationUs() const;
    // Where the samples fall out of step with the file's bytes, and play as
    // noise from, in microseconds from the sound's start; known once
    // decoding has begun.
    QList<qint64> stepsUs() const;
    qint64 positionMs() const;
    // Why decoding ended early; empty while running, after the end of the
    // input and after stop().
    QString errorString() const;
    Ending ending() const;

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
    int feedFilterGraph();
    int addToFilterGraph(AVFrame *frame);
    int drainFilterGraph();
    int flushFilterGraph();
    int addSilenceAfterSound();
    // Damage ended the sound: what the conversion still holds of it is kept.
    int cutOff(int code, const QString &what);
    // The sound ended, at the end of the input or at damage.
    void endOfInput(const QString &damage);
    bool fallsShortOfStatedLength() const;
    // The most PCM bytes the source's bytes can stand for.
    qint64 pcmBudget(bool *boundBySource = nullptr) const;
    void fail(int code, const char *message, Ending ending = Ending::Unreadable);
    void endAs(Ending ending, const QString &error);
    void releaseFfmpeg();
    void finish();

    std::unique_ptr<FfmpegAudioDecoderPrivate> d;
};

} // namespace Model
