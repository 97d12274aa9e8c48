#include "audiobuffer.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace Model {

namespace {

// Offsets and lengths are held within this many bytes (years of sound), so
// that no sum of positions below can overflow whatever the caller sends.
constexpr qint64 MaxSpanBytes = qint64(1) << 48;
// A fade is mixed ahead when a window is replaced; it is held to a length
// that stays cheap to mix and far beyond any fade a listener wants.
constexpr qint64 MaxFadeUs = 10'000'000;

// A stretch of a sound, in bytes from the sound's start. What lies before the
// sound's start or after its end reads as silence, so a window may reach
// anywhere without a copy ever leaving the sound's bytes.
struct SoundSpan
{
    QByteArray sound;
    qint64 start = 0;
    qint64 size = 0;

    // Writes the n bytes from position pos of the span to out.
    void read(char *out, qint64 pos, qint64 n) const
    {
        const qint64 from = start + pos;
        const qint64 first = qMax(from, qint64(0));
        const qint64 last = qMin(from + n, qint64(sound.size()));
        if (first >= last) {
            std::memset(out, 0, size_t(n));
            return;
        }
        std::memset(out, 0, size_t(first - from));
        std::memcpy(out + (first - from), sound.constData() + first, size_t(last - first));
        std::memset(out + (last - from), 0, size_t(from + n - last));
    }
};

// Multiplies each sample at byte b of p by (base + b) / length, a gain rising
// linearly from base / length. Integer division truncates toward zero, as
// every faded sample does.
void scaleFadingIn(char *p, qint64 n, qint64 base, qint64 length)
{
    for (qint64 b = 0; b + 1 < n; b += 2) {
        const qint64 sample = qFromUnaligned<qint16>(p + b);
        qToUnaligned(qint16(sample * (base + b) / length), p + b);
    }
}

// Multiplies each sample at byte b of p by (remaining - b) / length, a gain
// falling linearly to 0 at remaining bytes past p. remaining <= length.
void scaleFadingOut(char *p, qint64 n, qint64 remaining, qint64 length)
{
    for (qint64 b = 0; b + 1 < n; b += 2) {
        const qint64 sample = qFromUnaligned<qint16>(p + b);
        qToUnaligned(qint16(sample * (remaining - b) / length), p + b);
    }
}

// Adds each sample of tail at byte b times (remaining - b) / length onto p.
// Sums saturate: a fade-out overlapping a loud window must not wrap round to
// the opposite extreme, which would click louder than any fade could hide.
void mixFadingOut(char *p, const char *tail, qint64 n, qint64 remaining, qint64 length)
{
    for (qint64 b = 0; b + 1 < n; b += 2) {
        const qint64 added = qint64(qFromUnaligned<qint16>(tail + b)) * (remaining - b) / length;
        const qint64 sum = qFromUnaligned<qint16>(p + b) + added;
        qToUnaligned(qint16(qBound(qint64(-32768), sum, qint64(32767))), p + b);
    }
}

} // namespace

class AudioBufferPrivate
{
public:
    qint64 frameBytes() const { return qMax(m_format.bytesPerFrame(), 2); }
    qint64 play(char *data, qint64 size);
    void takeTail();
    void clearPlayback();

    qint64 m_chunkSize = 0;
    qint64 m_readPos = 0;
    qint64 m_fadeLength = 0;
    qint64 m_tailLength = 0;
    qint64 m_fadeInRemaining = 0;
    double m_volume = 1.0;
    bool m_stopped = false;
    bool m_loop = false;
    SoundSpan m_window;
    // The sound that would have played next when the previous window was
    // replaced or stopped, already mixed; m_tailPos bytes of it have played.
    QByteArray m_previousTail;
    qint64 m_tailPos = 0;
    QAudioFormat m_format;
    QAudioSink *m_sink = nullptr;
    QAudioDevice m_device;
    QMediaDevices *m_mediaDevices = nullptr;
    // One reset at a time is armed once a stopped buffer has run dry.
    bool m_resetArmed = false;
};

// One pass over the window up to its end, with the previous tail fading out
// on top of it from the first byte: returns the bytes written from data, at
// most size. Window and tail are separate voices, so however their lengths
// compare, neither is delayed nor cut by the other.
qint64 AudioBufferPrivate::play(char *data, qint64 size)
{
    qint64 written = 0;
    if (m_fadeInRemaining > 0) {
        const qint64 n = qMax(qint64(0), std::min({m_window.size - m_readPos, m_fadeInRemaining, size}));
        m_window.read(data, m_readPos, n);
        scaleFadingIn(data, n, m_fadeLength - m_fadeInRemaining, m_fadeLength);
        m_fadeInRemaining -= n;
        m_readPos += n;
        written += n;
    }
    const qint64 fadeOutStart = m_window.size - m_fadeLength;
    if (m_readPos < fadeOutStart && written < size) {
        const qint64 n = qMin(fadeOutStart - m_readPos, size - written);
        m_window.read(data + written, m_readPos, n);
        m_readPos += n;
        written += n;
    }
    if (m_readPos >= fadeOutStart && m_readPos < m_window.size && written < size) {
        const qint64 n = qMin(m_window.size - m_readPos, size - written);
        m_window.read(data + written, m_readPos, n);
        scaleFadingOut(data + written, n, m_window.size - m_readPos, m_fadeLength);
        m_readPos += n;
        written += n;
    }

    const qint64 tailRemaining = m_previousTail.size() - m_tailPos;
    const qint64 tailPart = qMin(tailRemaining, size);
    if (tailPart > 0) {
        if (tailPart > written)
            std::memset(data + written, 0, size_t(tailPart - written));
        mixFadingOut(data, m_previousTail.constData() + m_tailPos, tailPart, tailRemaining, m_tailLength);
        m_tailPos += tailPart;
        if (m_tailPos == m_previousTail.size()) {
            m_previousTail.clear();
            m_tailPos = 0;
        }
        written = qMax(written, tailPart);
    }
    return written;
}

// What would play next, at most one fade length of the window (more when an
// earlier tail is still fading), is mixed now and becomes the tail that fades
// out from full level under whatever plays next. Mixing it rather than
// cutting it from the window keeps a fade that is still under way: replacing
// a window twice within one fade does not click.
void AudioBufferPrivate::takeTail()
{
    const qint64 windowPart = qBound(qint64(0), m_window.size - m_readPos, m_fadeLength);
    const qint64 n = qMax(windowPart, qint64(m_previousTail.size()) - m_tailPos);
    QByteArray tail(n, '\0');
    play(tail.data(), n);
    m_previousTail = tail;
    m_tailPos = 0;
    m_tailLength = n;
}

void AudioBufferPrivate::clearPlayback()
{
    m_window = {};
    m_previousTail.clear();
    m_tailPos = 0;
    m_readPos = 0;
    m_fadeLength = 0;
    m_tailLength = 0;
    m_fadeInRemaining = 0;
    m_stopped = false;
    m_loop = false;
}

AudioBuffer::AudioBuffer(const QAudioFormat &format, QObject *parent)
    : QIODevice(parent)
    , d(std::make_unique<AudioBufferPrivate>())
{
    qRegisterMetaType<Model::AudioState>("Model::AudioState");
    d->m_format = format;
    d->m_chunkSize = format.bytesForDuration(50000);
    // A child, so that it moves to the playback thread with the buffer.
    d->m_mediaDevices = new QMediaDevices(this);
    connect(d->m_mediaDevices, &QMediaDevices::audioOutputsChanged, this, &AudioBuffer::createSink);
}

AudioBuffer::~AudioBuffer()
{
    reset();
    // The sink pulls from this device and the outputs' signal reaches into
    // the private data: both go before it does.
    delete d->m_sink;
    d->m_sink = nullptr;
    delete d->m_mediaDevices;
    d->m_mediaDevices = nullptr;
}

QAudioFormat AudioBuffer::format() const
{
    return d->m_format;
}

double AudioBuffer::volume() const
{
    return d->m_volume;
}

bool AudioBuffer::hasSink() const
{
    return d->m_sink != nullptr;
}

bool AudioBuffer::isSequential() const
{
    return true;
}

qint64 AudioBuffer::bytesAvailable() const
{
    const qint64 buffered = QIODevice::bytesAvailable();
    if (d->m_stopped)
        return buffered + d->m_previousTail.size() - d->m_tailPos;
    if (d->m_loop)
        return buffered + d->m_chunkSize;
    return buffered + qMax(qint64(0), qMin(d->m_chunkSize, d->m_window.size - d->m_readPos));
}

void AudioBuffer::createSink()
{
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (d->m_sink && d->m_device == output)
        return;
    if (d->m_sink) {
        d->m_sink->stop();
        d->m_sink->deleteLater();
        d->m_sink = nullptr;
    }
    d->m_device = output;
    if (output.isNull())
        return;
    d->m_sink = new QAudioSink(output, d->m_format, this);
    d->m_sink->setVolume(d->m_volume);
    connect(d->m_sink, &QAudioSink::stateChanged, this, &AudioBuffer::audioStateChanged);
}

void AudioBuffer::start()
{
    d->clearPlayback();
    if (isOpen())
        close();
    // Unbuffered: what the sink asks for is computed at that moment, so a
    // stop or a new window is heard at once rather than after QIODevice's
    // read-ahead.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (d->m_sink)
        d->m_sink->start(this);
}

void AudioBuffer::setWindow(const QByteArray &sound, qlonglong offset, qlonglong len, qlonglong fadeInOutUs,
                            qlonglong startPos, bool loop)
{
    if (len < 0)
        return;
    d->takeTail();

    // Whole sample frames only, so that every copy stays on sample bounds.
    const qint64 frame = d->frameBytes();
    len = qMin(len, MaxSpanBytes);
    len -= len % frame;
    offset = qBound(-MaxSpanBytes, offset, MaxSpanBytes);
    offset -= offset % frame;
    d->m_window = len > 0 ? SoundSpan{sound, offset, len} : SoundSpan{};

    d->m_readPos = qBound(qint64(0), startPos, len);
    d->m_readPos -= d->m_readPos % frame;
    d->m_loop = loop;

    qint64 half = len / 2;
    half -= half % frame;
    const qint64 fade = d->m_format.bytesForDuration(qBound(qint64(0), fadeInOutUs, MaxFadeUs));
    d->m_fadeLength = qMin(half, fade);
    d->m_fadeInRemaining = d->m_fadeLength;
    Q_EMIT readyRead();
}

void AudioBuffer::stop()
{
    d->takeTail();
    d->m_window = {};
    d->m_readPos = 0;
    d->m_fadeLength = 0;
    d->m_fadeInRemaining = 0;
    d->m_stopped = true;
    d->m_loop = false;
    // The sink pulls the fade-out of the tail.
    Q_EMIT readyRead();
}

void AudioBuffer::setVolume(double volume)
{
    d->m_volume = qBound(0.0, volume, 1.0);
    if (d->m_sink)
        d->m_sink->setVolume(d->m_volume);
}

bool AudioBuffer::reset()
{
    if (d->m_sink) {
        d->m_sink->reset();
        d->m_sink->setBufferSize(0);
    }
    d->clearPlayback();
    close();
    return true;
}

qint64 AudioBuffer::readData(char *data, qint64 maxSize)
{
    // Whole sample frames only; a request for less than one gets nothing.
    const qint64 size = maxSize - maxSize % d->frameBytes();
    if (size < 1)
        return 0;

    qint64 written = 0;
    for (;;) {
        written += d->play(data + written, size - written);
        if (written == size)
            return written;
        if (d->m_stopped) {
            // The sink runs dry and goes idle; then it is reset.
            if (!d->m_resetArmed) {
                d->m_resetArmed = true;
                QTimer::singleShot(0, this, [this] { resetWhenDrained(); });
            }
            return written;
        }
        if (!d->m_loop || d->m_window.size == 0) {
            std::memset(data + written, 0, size_t(size - written));
            return size;
        }
        // Every repetition fades out at the window's end and in again at its
        // start.
        d->m_readPos = 0;
        d->m_fadeInRemaining = d->m_fadeLength;
    }
}

qint64 AudioBuffer::writeData(const char *, qint64)
{
    return -1;
}

// A start() may have come between arming and now; only a buffer that is
// still stopped and has played its whole fade-out is reset.
void AudioBuffer::resetWhenDrained()
{
    d->m_resetArmed = false;
    if (d->m_stopped && d->m_previousTail.isEmpty())
        reset();
}

} // namespace Model
