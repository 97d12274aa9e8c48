#pragma once

#include "audio/audiostate.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>

#include <memory>

namespace Model {

class AudioBufferPrivate;

// Feeds one sound to a QAudioSink on the default audio output in pull mode:
// a play window of the sound, optionally looping, with linear fades at both
// ends and a fade-out of what was left of the previous window when a new one
// starts or playback stops, so that starting, seeking, looping and stopping
// never click.
//
// The sound is interleaved signed 16-bit PCM in format(). A window holds an
// implicitly shared copy of the sound, never a pointer into it: the owner may
// replace or clear its own array at any time without touching what plays.
// Parts of a window before the sound's start or after its end play as
// silence, whatever its offset and length.
//
// Threading: created on the owner's thread and moved to a playback thread;
// every slot then runs there through queued signals, and the sink pulls
// through readData() on the same thread, so nothing is locked.
//
// Without an audio output (QMediaDevices::defaultAudioOutput() null) no sink
// is made and the buffer can still be read like any QIODevice.
class AudioBuffer : public QIODevice
{
    Q_OBJECT

public:
    explicit AudioBuffer(const QAudioFormat &format, QObject *parent = nullptr);
    ~AudioBuffer() override;

    QAudioFormat format() const;
    double volume() const;
    bool hasSink() const;

    bool isSequential() const override;
    qint64 bytesAvailable() const override;

public Q_SLOTS:
    // Makes a sink for the default output unless the current one is already
    // for it; also run whenever the outputs change.
    void createSink();
    void start();
    // The window is len bytes of sound from byte offset (negative before the
    // sound's start), faded in and out over fadeInOutUs but at most half its
    // length each; playing starts startPos bytes into it. A negative len is
    // ignored.
    void setWindow(const QByteArray &sound, qlonglong offset, qlonglong len, qlonglong fadeInOutUs,
                   qlonglong startPos, bool loop);
    void stop();
    // Clamped to 0..1.
    void setVolume(double volume);
    // Silences and resets the sink, forgets the window and closes the device,
    // as after a stop has played out. QIODevice's reset() in name; always
    // true.
    bool reset() override;

Q_SIGNALS:
    void audioStateChanged(Model::AudioState state);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    void resetWhenDrained();

    std::unique_ptr<AudioBufferPrivate> d;
};

} // namespace Model
