#include "layers/audiolayer.h"

#include "audio/audiobuffer.h"
#include "audio/ffmpegaudiodecoder.h"

#include <QBuffer>
#include <QDebug>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QPainter>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace Model {

namespace {

// Longer sounds are refused as soon as their duration is known, before any
// of them is decoded: half an hour of CD stereo is already 300 MB.
constexpr qint64 MaximumDurationMs = 1'800'000;
// At least this much of the sound stays at or after the start of frame 1, so
// that the sound can always be found and dragged back on the sheet.
constexpr double MinimumFramesAfterStart = 0.25;
// Fades of a play window, and the margin around one scrubbed frame: short
// enough not to be heard as a fade, long enough not to click.
constexpr qint64 FadeUs = 8000;
constexpr qint64 ScrubMarginUs = 4000;
constexpr int RowsPerBlock = 2048;

// QAudioFormat::bytesForDuration answers in 32 bits, which a window far
// from the sound overflows (at CD rate, anything beyond three hours); this
// is the same in 64 bits.
qint64 bytesForDuration(const QAudioFormat &format, qint64 us)
{
    return qint64(format.bytesPerFrame()) * (qint64(format.sampleRate()) * us / 1'000'000);
}

double boundedOffset(double frames)
{
    return std::clamp(frames, -AudioLayer::MaximumOffsetFrames, AudioLayer::MaximumOffsetFrames);
}

double roundToHundredths(double frames)
{
    // std::round rounds halves away from zero.
    return std::round(frames * 100.0) / 100.0;
}

// Floor division, for times before the sound's start.
qint64 floorDiv(qint64 a, qint64 b)
{
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The level of the stretch of pcm from startUs for lengthUs microseconds;
// what lies outside the sound counts for nothing.
AudioLayer::LevelRecord measure(const QByteArray &pcm, const QAudioFormat &format, qint64 startUs, qint64 lengthUs)
{
    AudioLayer::LevelRecord record;
    if (startUs < 0) {
        lengthUs += startUs;
        startUs = 0;
    }
    const int channels = format.channelCount();
    if (lengthUs <= 0 || channels < 1)
        return record;
    const qint64 frameBytes = qint64(channels) * 2;
    const qint64 from = qMin(bytesForDuration(format, startUs), qint64(pcm.size()));
    const qint64 bytes = qMin(bytesForDuration(format, lengthUs), qint64(pcm.size()) - from);
    const qint64 frames = bytes / frameBytes;
    if (frames < 1)
        return record;

    // The decoder's samples are native-endian 16-bit, and a QByteArray's
    // data is aligned for them.
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData() + from);
    const int step = channels;
    double peakLeft = 0.0;
    double peakRight = 0.0;
    double sumLeft = 0.0;
    double sumRight = 0.0;
    for (qint64 i = 0; i < frames; ++i) {
        const double left = std::abs(int(samples[i * step])) / 32768.0;
        peakLeft = std::max(peakLeft, left);
        sumLeft += left * left;
        if (channels >= 2) {
            const double right = std::abs(int(samples[i * step + 1])) / 32768.0;
            peakRight = std::max(peakRight, right);
            sumRight += right * right;
        }
    }
    record.frames = int(qMin(frames, qint64(std::numeric_limits<int>::max())));
    record.peakLeft = peakLeft;
    record.rmsLeft = std::clamp(std::sqrt(sumLeft / double(frames)), 0.0, 1.0);
    if (channels >= 2) {
        record.peakRight = peakRight;
        record.rmsRight = std::clamp(std::sqrt(sumRight / double(frames)), 0.0, 1.0);
    } else {
        record.peakRight = record.peakLeft;
        record.rmsRight = record.rmsLeft;
    }
    return record;
}

// Why a decode gave no sound, in plain words that name the file when there
// is one; FFmpeg's own words follow as a detail.
QString noSoundMessage(const FfmpegAudioDecoder &decoder, bool decodedNothing, const QString &fileName)
{
    using Ending = FfmpegAudioDecoder::Ending;
    const Ending ending = decoder.ending();
    if (ending == Ending::Refused)
        return decoder.errorString();
    const bool unreadable = decodedNothing && (ending == Ending::Unreadable || ending == Ending::CutShort);
    if (!unreadable) {
        return fileName.isEmpty() ? AudioLayer::tr("The sound has nothing in it.")
                                  : AudioLayer::tr("The file \"%1\" has no sound in it.").arg(fileName);
    }
    const QString detail = decoder.errorString();
    if (fileName.isEmpty())
        return detail.isEmpty() ? AudioLayer::tr("The sound could not be read.")
                                : AudioLayer::tr("The sound could not be read (%1).").arg(detail);
    return detail.isEmpty() ? AudioLayer::tr("The file \"%1\" could not be read as sound.").arg(fileName)
                            : AudioLayer::tr("The file \"%1\" could not be read as sound (%2).").arg(fileName, detail);
}

// A length as the user reads it, never zero for a sound of a sample or more:
// seconds to a tenth from a second on, milliseconds below, to two digits
// below 10 ms (a click of one sample at CD rate is 0.023 ms); each extra
// digit one more.
QString duration(qint64 us, int extraDigits = 0)
{
    if (us >= 999'500)
        return AudioLayer::tr("%1 seconds").arg(double(us) / 1e6, 0, 'f', 1 + extraDigits);
    const double ms = double(us) / 1000.0;
    if (ms >= 9.95 && extraDigits == 0)
        return AudioLayer::tr("%1 ms").arg(std::lround(ms));
    if (ms >= 9.95)
        return AudioLayer::tr("%1 ms").arg(ms, 0, 'f', extraDigits);
    return AudioLayer::tr("%1 ms").arg(ms, 0, 'g', 2 + extraDigits);
}

// Two lengths that a message sets side by side, with as many digits as it
// takes to tell them apart: a message never names one length for two. Six
// extra digits reach the microsecond in every unit.
std::pair<QString, QString> durations(qint64 firstUs, qint64 secondUs)
{
    std::pair<QString, QString> texts{duration(firstUs), duration(secondUs)};
    for (int extra = 1; firstUs != secondUs && texts.first == texts.second && extra <= 6; ++extra)
        texts = {duration(firstUs, extra), duration(secondUs, extra)};
    return texts;
}

} // namespace

class AudioLayerPrivate
{
public:
    bool hasSound() const
    {
        return !m_pcm.isEmpty() && m_format.sampleRate() >= 1 && m_format.channelCount() >= 1
            && m_format.sampleFormat() == QAudioFormat::Int16 && m_durationUs >= 1;
    }
    // Scene time of the start of frame, in microseconds.
    qint64 frameStartUs(qint64 frame) const { return std::llround(double(frame - 1) * m_usPerFrame); }
    qint64 soundStartUs() const { return std::llround((m_offsetFrames + m_dragOffset) * m_usPerFrame); }
    // Frames of sound before the start of frame 1 allowed at most.
    double lowestOffset() const { return MinimumFramesAfterStart - double(m_durationUs) / m_usPerFrame; }
    const QList<AudioLayer::LevelRecord> &waveformBlock(qint64 block) const;

    bool m_audible = true;
    double m_fps = 0.0;
    // 0 while the frame rate is unknown: then no frame has sound.
    double m_usPerFrame = 0.0;
    QByteArray m_originalAudioData;
    QByteArray m_pcm;
    QAudioFormat m_format;
    qint64 m_durationUs = 0;
    double m_offsetFrames = 0.0;
    double m_dragOffset = 0.0;
    QThread m_thread;
    // Lives on m_thread; reached only through queued signals.
    AudioBuffer *m_buffer = nullptr;
    double m_gain = 1.0;
    // Filled lazily on the GUI thread for one row height at a time.
    mutable QMap<qint64, QList<AudioLayer::LevelRecord>> m_waveformCache;
    mutable qint64 m_usPerRow = 0;
    QString m_errorString;
    QString m_warningString;
    bool m_decoding = false;
};

const QList<AudioLayer::LevelRecord> &AudioLayerPrivate::waveformBlock(qint64 block) const
{
    auto it = m_waveformCache.find(block);
    if (it == m_waveformCache.end()) {
        QList<AudioLayer::LevelRecord> records;
        records.reserve(RowsPerBlock);
        for (qint64 i = 0; i < RowsPerBlock; ++i)
            records.append(measure(m_pcm, m_format, (block * RowsPerBlock + i) * m_usPerRow, m_usPerRow));
        it = m_waveformCache.insert(block, records);
    }
    return it.value();
}

AudioLayer::AudioLayer(QObject *parent)
    : Layer(parent)
    , d(std::make_unique<AudioLayerPrivate>())
{
}

AudioLayer::~AudioLayer()
{
    // The buffer goes with the thread's end (deleteLater on finished), so
    // the sink is silenced and released on the thread it lives on.
    d->m_thread.quit();
    d->m_thread.wait();
}

int AudioLayer::type() const
{
    return AudioLayerType;
}

Layer *AudioLayer::clone() const
{
    return nullptr;
}

bool AudioLayer::hasFrame(int frame) const
{
    if (frame < 1 || d->m_usPerFrame <= 0.0 || !d->hasSound())
        return false;
    const qint64 s = d->soundStartUs();
    return d->frameStartUs(qint64(frame) + 1) > s && d->frameStartUs(frame) <= s + d->m_durationUs;
}

bool AudioLayer::loadAudioFile(const QString &path, QObject *progress)
{
    if (d->m_decoding)
        return false;
    if (!QFileInfo(path).isFile()) {
        d->m_errorString = tr("\"%1\" is not a file.").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        d->m_errorString = file.errorString();
        return false;
    }
    d->m_originalAudioData = file.readAll();
    return decodeAudio(progress, QFileInfo(path).fileName());
}

bool AudioLayer::setOriginalAudioData(const QByteArray &data)
{
    if (d->m_decoding)
        return false;
    d->m_originalAudioData = data;
    return decodeAudio(nullptr, QString());
}

QByteArray AudioLayer::originalAudioData() const
{
    return d->m_originalAudioData;
}

QString AudioLayer::errorString() const
{
    return d->m_errorString;
}

QString AudioLayer::warningString() const
{
    return d->m_warningString;
}

bool AudioLayer::hasAudio() const
{
    return d->hasSound();
}

QByteArray AudioLayer::pcm() const
{
    return d->m_pcm;
}

QAudioFormat AudioLayer::format() const
{
    return d->m_format;
}

qint64 AudioLayer::durationUs() const
{
    return d->m_durationUs;
}

bool AudioLayer::isAudible() const
{
    return d->m_audible;
}

double AudioLayer::frameRate() const
{
    return d->m_fps;
}

double AudioLayer::offsetFrames() const
{
    return d->m_offsetFrames;
}

double AudioLayer::dragOffset() const
{
    return d->m_dragOffset;
}

double AudioLayer::effectiveOffsetFrames() const
{
    return d->m_offsetFrames + d->m_dragOffset;
}

bool AudioLayer::hasAudioInFrames(int first, int last) const
{
    if (d->m_usPerFrame <= 0.0 || !d->hasSound())
        return false;
    const qint64 s = d->soundStartUs();
    return d->frameStartUs(qint64(last) + 1) > s && d->frameStartUs(first) < s + d->m_durationUs;
}

void AudioLayer::setFrameRate(double fps)
{
    if (!std::isfinite(fps) || fps <= 0.0)
        return;
    if (d->m_offsetFrames < 0.0 && d->m_fps > 0.1)
        d->m_offsetFrames = roundToHundredths(boundedOffset(d->m_offsetFrames * fps / d->m_fps));
    d->m_fps = fps;
    d->m_usPerFrame = 1'000'000.0 / fps;
}

void AudioLayer::setOffsetFrames(double frames)
{
    if (!std::isfinite(frames))
        return;
    if (d->m_durationUs > 0 && std::abs(d->m_usPerFrame) > 1e-12)
        frames = std::max(frames, d->lowestOffset());
    d->m_offsetFrames = roundToHundredths(boundedOffset(frames));
}

void AudioLayer::setDragOffset(double frames)
{
    if (!d->hasSound() || !std::isfinite(frames))
        return;
    d->m_dragOffset = frames;
    double total = d->m_offsetFrames + frames;
    if (total != boundedOffset(total)) {
        total = boundedOffset(total);
        d->m_dragOffset = total - d->m_offsetFrames;
    }
    if (std::abs(total) < MinimumFramesAfterStart)
        d->m_dragOffset = -d->m_offsetFrames;
    else if (std::abs(d->m_usPerFrame) > 1e-12 && total < d->lowestOffset())
        d->m_dragOffset = d->lowestOffset() - d->m_offsetFrames;
}

bool AudioLayer::startPlayback(int frame, int first, int last, bool loop)
{
    if (!d->hasSound() || frame < first || frame > last)
        return false;
    const qint64 a = d->frameStartUs(first);
    const qint64 b = d->frameStartUs(qint64(last) + 1);
    const qint64 s = d->soundStartUs();
    const qint64 p = std::llround(double(frame - first) * d->m_usPerFrame);
    Q_EMIT startAudio();
    // Parts of the window before or after the sound play as silence.
    Q_EMIT newAudioBuffer(d->m_pcm, bytesForDuration(d->m_format, a - s), bytesForDuration(d->m_format, b - a), FadeUs,
                          bytesForDuration(d->m_format, p), loop);
    return true;
}

bool AudioLayer::playFrame(int frame)
{
    if (!d->m_audible || !hasFrame(frame))
        return false;
    const qint64 a = d->frameStartUs(frame);
    const qint64 b = d->frameStartUs(qint64(frame) + 1);
    const qint64 s = d->soundStartUs();
    const qint64 start = std::max(a - s - ScrubMarginUs, qint64(0));
    const qint64 length = b - s - start + ScrubMarginUs;
    const qint64 readPos = bytesForDuration(d->m_format, start);
    const qint64 readLength = bytesForDuration(d->m_format, length);
    // hasFrame() rules both out; a negative one means the time arithmetic
    // above is wrong.
    if (readPos < 0 || readLength < 0)
        qDebug() << "readPos,readLength " << readPos << readLength;
    Q_EMIT newAudioBuffer(d->m_pcm, readPos, readLength, FadeUs, 0, false);
    return true;
}

void AudioLayer::stopPlayback()
{
    Q_EMIT stopAudio();
}

QImage AudioLayer::waveformImage(int frame, const QSize &size) const
{
    if (size.width() < 1 || size.height() < 1 || !hasFrame(frame))
        return QImage();
    const qint64 usPerRow = std::max(std::llround(d->m_usPerFrame / size.height()), 1LL);
    if (usPerRow != d->m_usPerRow) {
        d->m_waveformCache.clear();
        d->m_usPerRow = usPerRow;
    }

    const qint64 a = d->frameStartUs(frame);
    const qint64 b = d->frameStartUs(qint64(frame) + 1);
    const qint64 s = d->soundStartUs();
    const qint64 from = std::max(a, s);
    const qint64 to = std::min(b, s + d->m_durationUs);
    const qint64 firstRow = (from - a) / usPerRow;
    const qint64 endRow = std::min<qint64>((to - a + usPerRow - 1) / usPerRow, size.height());
    // Cache rows are counted from the sound's start; an image row shows the
    // one that holds its middle.
    const qint64 lastCacheRow = (d->m_durationUs - 1) / usPerRow;

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const double w = size.width() / 2.0;
    const QColor peakColor(255, 255, 255, 128);
    const QColor rmsColor(Qt::white);
    const double gain = d->m_gain;
    for (qint64 row = firstRow; row < endRow; ++row) {
        const qint64 middle = a + row * usPerRow + usPerRow / 2 - s;
        const qint64 cacheRow = std::clamp(floorDiv(middle, usPerRow), qint64(0), lastCacheRow);
        const LevelRecord &r = d->waveformBlock(cacheRow / RowsPerBlock).at(cacheRow % RowsPerBlock);
        const double peakLeft = std::min(gain * r.peakLeft, 1.0) * w;
        const double peakRight = std::min(gain * r.peakRight, 1.0) * w;
        painter.fillRect(QRectF(w - peakLeft, double(row), peakLeft + peakRight, 1.0), peakColor);
        if (gain * r.rmsLeft > 1e-12 || gain * r.rmsRight > 1e-12) {
            const double rmsLeft = std::min(gain * r.rmsLeft, 1.0) * w;
            const double rmsRight = std::min(gain * r.rmsRight, 1.0) * w;
            painter.fillRect(QRectF(w - rmsLeft, double(row), rmsLeft + rmsRight, 1.0), rmsColor);
        }
    }
    return image;
}

void AudioLayer::setAudible(bool audible)
{
    if (audible == d->m_audible)
        return;
    d->m_audible = audible;
    Q_EMIT volumeChanged(audible ? 1.0 : 0.0);
    if (hasAudio())
        Q_EMIT audibleChanged(audible);
}

// Every decode starts from a layer without sound, so that a failure or a
// cancel leaves nothing of an earlier sound behind to play or be drawn.
void AudioLayer::dropSound()
{
    if (d->m_buffer) {
        disconnect(this, nullptr, d->m_buffer, nullptr);
        disconnect(d->m_buffer, nullptr, this, nullptr);
        // Deleted on its own thread, which resets its sink first.
        d->m_buffer->deleteLater();
        d->m_buffer = nullptr;
    }
    d->m_pcm.clear();
    d->m_format = QAudioFormat();
    d->m_durationUs = 0;
    d->m_dragOffset = 0.0;
    d->m_gain = 1.0;
    d->m_waveformCache.clear();
    d->m_usPerRow = 0;
}

bool AudioLayer::decodeAudio(QObject *progress, const QString &fileName)
{
    const bool hadSound = hasAudio();
    dropSound();
    d->m_errorString.clear();
    d->m_warningString.clear();
    const auto fail = [this, hadSound](const QString &error) {
        d->m_errorString = error;
        if (hadSound)
            Q_EMIT audioAvailableChanged();
        return false;
    };
    if (d->m_originalAudioData.isEmpty())
        return fail(fileName.isEmpty() ? tr("The file is empty.") : tr("The file \"%1\" is empty.").arg(fileName));

    QBuffer source;
    source.setData(d->m_originalAudioData);
    source.open(QIODevice::ReadOnly);
    FfmpegAudioDecoder decoder(&source);
    QEventLoop loop;
    QAudioFormat format;
    bool tooLong = false;
    bool cancelled = false;
    // A dialog closed while decoding must not be written to.
    const QPointer<QObject> dialog(progress);

    connect(&decoder, &FfmpegAudioDecoder::finished, &loop, &QEventLoop::quit);
    connect(&decoder, &FfmpegAudioDecoder::formatChanged, &loop,
            [&format](const QAudioFormat &announced) { format = announced; });
    connect(&decoder, &FfmpegAudioDecoder::durationMsChanged, &loop, [&](qlonglong durationMs) {
        if (durationMs > MaximumDurationMs) {
            tooLong = true;
            decoder.stop();
        }
        if (dialog)
            dialog->setProperty("maximum", int(std::min(durationMs, MaximumDurationMs)));
    });
    connect(&decoder, &FfmpegAudioDecoder::positionMsChanged, &loop, [&](qlonglong positionMs) {
        if (!dialog || cancelled)
            return;
        if (dialog->property("wasCanceled").toBool()) {
            cancelled = true;
            decoder.stop();
            return;
        }
        dialog->setProperty("value", int(std::min(positionMs, MaximumDurationMs)));
    });
    d->m_decoding = true;
    QTimer::singleShot(0, &decoder, &FfmpegAudioDecoder::start);
    loop.exec();
    d->m_decoding = false;

    if (cancelled)
        return fail(QString());
    if (tooLong)
        return fail(tr("The sound is longer than 30 minutes."));

    d->m_pcm = decoder.buffer();
    d->m_format = format;
    d->m_durationUs = format.isValid() ? format.durationForBytes(d->m_pcm.size()) : 0;
    const bool decodedTooLong = d->m_durationUs > MaximumDurationMs * 1000;
    // However short, what holds a sample is a sound: a click of a few
    // milliseconds is one that animators time frames against.
    if (!d->hasSound() || decodedTooLong) {
        const bool decodedNothing = d->m_pcm.isEmpty();
        d->m_pcm.clear();
        d->m_format = QAudioFormat();
        d->m_durationUs = 0;
        if (decodedTooLong)
            return fail(tr("The sound is longer than 30 minutes."));
        return fail(noSoundMessage(decoder, decodedNothing, fileName));
    }
    // A recording cut off at the end, or one with a damaged stretch, plays
    // what could be read, as players and editors do; the cues before the
    // damage keep their place against the frames. A sound that lasts longer
    // than its bytes can carry keeps what they can. The user is told how
    // much was kept, of how much the file states when it states a length.
    // What could be read is counted in the file's own samples, as its
    // stated length is.
    const qint64 claimedUs = decoder.durationMs() * 1000;
    const qint64 statedUs = decoder.statedDurationUs() >= 0 ? decoder.statedDurationUs() : claimedUs;
    const qint64 readUs = decoder.readDurationUs();
    if (decoder.ending() == FfmpegAudioDecoder::Ending::Overclaimed) {
        if (claimedUs > d->m_durationUs) {
            const auto [claimed, kept] = durations(claimedUs, d->m_durationUs);
            d->m_warningString =
                tr("The sound claims more than its file holds: %1 in %2 bytes. Only its first %3 were kept.")
                    .arg(claimed)
                    .arg(d->m_originalAudioData.size())
                    .arg(kept);
        } else {
            d->m_warningString = tr("The sound claims more than its file holds: only its first %1 were kept.")
                                     .arg(duration(d->m_durationUs));
        }
    } else if (!decoder.errorString().isEmpty()) {
        if (statedUs > readUs) {
            const auto [read, stated] = durations(readUs, statedUs);
            d->m_warningString = tr("The sound ends early: only %1 of its %2 could be read.").arg(read, stated);
        } else {
            d->m_warningString =
                tr("The sound ends early: only its first %1 could be read.").arg(duration(d->m_durationUs));
        }
    }
    // Samples out of step play as the file holds them, noise, as every
    // other reader of the file plays them; the user hears where it starts,
    // and why.
    if (const QList<qint64> steps = decoder.stepsUs(); !steps.isEmpty()) {
        const QString outOfStep = steps.size() == 1
            ? tr("The sound's samples fall out of step %1 in, where bytes were added to its file or lost from "
                 "it: from there on it plays as noise.")
                  .arg(duration(steps.constFirst()))
            : tr("The sound's samples fall out of step in %n places, the first %1 in, where bytes were added to "
                 "its file or lost from it: after each it plays as noise.",
                 nullptr, int(steps.size()))
                  .arg(duration(steps.constFirst()));
        d->m_warningString = d->m_warningString.isEmpty() ? outOfStep : outOfStep + u' ' + d->m_warningString;
    }

    const LevelRecord whole = measure(d->m_pcm, d->m_format, 0, d->m_durationUs);
    d->m_gain = std::max(1.0 / std::max(std::max(whole.peakLeft, whole.peakRight), 0.1), 1.0);

    auto *buffer = new AudioBuffer(d->m_format);
    buffer->setVolume(d->m_audible ? 1.0 : 0.0);
    buffer->moveToThread(&d->m_thread);
    d->m_buffer = buffer;
    connect(&d->m_thread, &QThread::finished, buffer, &QObject::deleteLater);
    connect(this, &AudioLayer::audioAvailableChanged, buffer, &AudioBuffer::createSink);
    connect(this, &AudioLayer::startAudio, buffer, &AudioBuffer::start);
    connect(this, &AudioLayer::stopAudio, buffer, &AudioBuffer::stop);
    connect(this, &AudioLayer::newAudioBuffer, buffer, &AudioBuffer::setWindow);
    connect(this, &AudioLayer::volumeChanged, buffer, &AudioBuffer::setVolume);
    connect(buffer, &AudioBuffer::audioStateChanged, this, &AudioLayer::audioStateChanged);
    if (!d->m_thread.isRunning())
        d->m_thread.start(QThread::InheritPriority);

    Q_EMIT audioAvailableChanged();
    setAudible(true);
    return true;
}

} // namespace Model
