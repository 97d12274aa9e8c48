#include "audio/ffmpegaudiodecoder.h"

#include "audiotestfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

using Model::FfmpegAudioDecoder;
using namespace AudioTestFiles;

namespace {

// A device that can only be read forwards, like a pipe.
class SequentialDevice : public QIODevice
{
public:
    explicit SequentialDevice(const QByteArray &data)
        : m_data(data)
    {
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_data.size() - m_read + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, m_data.size() - m_read);
        std::memcpy(data, m_data.constData() + m_read, size_t(n));
        m_read += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_read = 0;
};

struct Decoded
{
    QByteArray pcm;
    QAudioFormat format;
    QString error;
    FfmpegAudioDecoder::Ending ending = FfmpegAudioDecoder::Ending::Complete;
    qint64 durationMs = -1;
    int finishedCount = 0;
    int formatCount = 0;
    QList<qint64> positions;
};

// Runs a decoder as the audio layer does: started from a zero-time timer and
// waited for in an event loop until finished(). prepare() may connect to the
// decoder before it starts.
Decoded decode(QIODevice *device, const std::function<void(FfmpegAudioDecoder *)> &prepare = {})
{
    FfmpegAudioDecoder decoder(device);
    QSignalSpy finished(&decoder, &FfmpegAudioDecoder::finished);
    QSignalSpy formats(&decoder, &FfmpegAudioDecoder::formatChanged);
    QSignalSpy positions(&decoder, &FfmpegAudioDecoder::positionMsChanged);
    if (prepare)
        prepare(&decoder);
    QTimer::singleShot(0, &decoder, &FfmpegAudioDecoder::start);
    finished.wait(60000);
    // A second finished() would come from a step that was still queued.
    QTest::qWait(20);

    Decoded result;
    result.pcm = decoder.buffer();
    result.format = decoder.format();
    result.error = decoder.errorString();
    result.ending = decoder.ending();
    result.durationMs = decoder.durationMs();
    result.finishedCount = int(finished.count());
    result.formatCount = int(formats.count());
    for (const QList<QVariant> &arguments : positions)
        result.positions.append(arguments.at(0).toLongLong());
    return result;
}

Decoded decodeBytes(const QByteArray &bytes)
{
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    return decode(&device);
}

qint16 sampleAt(const QByteArray &pcm, qint64 index)
{
    return qFromLittleEndian<qint16>(pcm.constData() + 2 * index);
}

// Sign changes of one channel of interleaved stereo: twice the pitch in Hz
// for each second of a pure tone.
int signChanges(const QByteArray &pcm, int channel)
{
    const qint64 frames = pcm.size() / 4;
    int changes = 0;
    for (qint64 i = 1; i < frames; ++i) {
        if ((sampleAt(pcm, 2 * (i - 1) + channel) < 0) != (sampleAt(pcm, 2 * i + channel) < 0))
            ++changes;
    }
    return changes;
}

int peak(const QByteArray &pcm)
{
    int result = 0;
    for (qint64 i = 0; i < pcm.size() / 2; ++i)
        result = qMax(result, std::abs(int(sampleAt(pcm, i))));
    return result;
}

} // namespace

class TestAudioDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesToCdStereo_data();
    void decodesToCdStereo();
    void sequentialSourceDecodesTheSame_data();
    void sequentialSourceDecodesTheSame();
    void reportsPositionUpToTheEnd();

    void stopFromPositionCancels();
    void stopWhenDurationIsKnownDecodesNothing();

    void badInputFails_data();
    void badInputFails();
    void truncatedFileKeepsWhatIsThere_data();
    void truncatedFileKeepsWhatIsThere();
};

void TestAudioDecoder::decodesToCdStereo_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::addColumn<double>("seconds");
    // Frames that may be missing or added at the ends: the resampler's and,
    // for MP3, the codec's rounding of the stated delay and padding.
    QTest::addColumn<int>("toleranceFrames");

    QTest::newRow("mono 48 kHz WAV") << "wav" << 48000 << 1 << 16 << 1.0 << 2;
    QTest::newRow("stereo 44.1 kHz WAV") << "wav" << 44100 << 2 << 16 << 1.0 << 0;
    QTest::newRow("stereo 22.05 kHz 8-bit WAV") << "wav" << 22050 << 2 << 8 << 0.5 << 2;
    QTest::newRow("mono 48 kHz MP3") << "mp3" << 48000 << 1 << 16 << 1.0 << 2;
    QTest::newRow("stereo 44.1 kHz MP3") << "mp3" << 44100 << 2 << 16 << 2.0 << 2;
}

void TestAudioDecoder::decodesToCdStereo()
{
    QFETCH(QString, container);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, bits);
    QFETCH(double, seconds);
    QFETCH(int, toleranceFrames);

    // A 440 Hz tone on the left, 660 Hz on the right of a stereo source.
    const QList<qint16> samples = tone(rate, channels, seconds, 440, 660);
    QByteArray file;
    if (container == QLatin1String("wav")) {
        file = wavFile(rate, channels, bits, samples);
    } else {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!avcodec_find_encoder(AV_CODEC_ID_MP3))
            QSKIP("This FFmpeg has no MP3 encoder (Debian's libavcodec59 links libmp3lame0).");
        file = mp3File(dir.filePath(QStringLiteral("tone.mp3")), rate, channels, samples);
        QVERIFY2(!file.isEmpty(), "Encoding the MP3 sample failed");
    }

    const Decoded decoded = decodeBytes(file);
    QCOMPARE(decoded.finishedCount, 1);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    QCOMPARE(decoded.formatCount, 1);
    QCOMPARE(decoded.format.sampleRate(), 44100);
    QCOMPARE(decoded.format.channelCount(), 2);
    QCOMPARE(decoded.format.sampleFormat(), QAudioFormat::Int16);
    QCOMPARE(decoded.format.channelConfig(), QAudioFormat::ChannelConfigStereo);
    QCOMPARE(decoded.pcm.size() % 4, 0);

    const qint64 frames = decoded.pcm.size() / 4;
    const qint64 expectedFrames = qint64(std::llround(seconds * 44100));
    QVERIFY2(std::abs(frames - expectedFrames) <= toleranceFrames,
             qPrintable(QStringLiteral("%1 frames instead of %2").arg(frames).arg(expectedFrames)));

    // The same tones, neither silenced nor clipped.
    const int expectedRightChanges = int(2 * seconds * (channels == 1 ? 440 : 660));
    QVERIFY2(std::abs(signChanges(decoded.pcm, 0) - int(2 * seconds * 440)) <= 4,
             qPrintable(QString::number(signChanges(decoded.pcm, 0))));
    QVERIFY2(std::abs(signChanges(decoded.pcm, 1) - expectedRightChanges) <= 4,
             qPrintable(QString::number(signChanges(decoded.pcm, 1))));
    QVERIFY(peak(decoded.pcm) > 6000);
    QVERIFY(peak(decoded.pcm) < 32767);
    if (channels == 1 && container == QLatin1String("wav")) {
        for (qint64 i = 0; i < frames; ++i)
            QCOMPARE(sampleAt(decoded.pcm, 2 * i + 1), sampleAt(decoded.pcm, 2 * i));
    }
}

void TestAudioDecoder::sequentialSourceDecodesTheSame_data()
{
    QTest::addColumn<QByteArray>("piped");

    const QList<qint16> samples = tone(48000, 1, 1.0, 440);
    QTest::newRow("WAV") << wavFile(48000, 1, 16, samples);
    QTest::newRow("WAV written while streaming, then tagged")
        << wavFile(48000, 1, 16, samples, 0) + riffChunk("LIST", "INFO" + riffChunk("ICMT", "recorded to a pipe"));
}

// As the same sound decodes from a file.
void TestAudioDecoder::sequentialSourceDecodesTheSame()
{
    QFETCH(QByteArray, piped);

    const QByteArray file = wavFile(48000, 1, 16, tone(48000, 1, 1.0, 440));
    SequentialDevice device(piped);
    QVERIFY(device.open(QIODevice::ReadOnly));
    const Decoded fromPipe = decode(&device);
    const Decoded fromFile = decodeBytes(file);
    QCOMPARE(fromPipe.finishedCount, 1);
    QVERIFY2(fromPipe.error.isEmpty(), qPrintable(fromPipe.error));
    QVERIFY(!fromFile.pcm.isEmpty());
    QCOMPARE(fromPipe.pcm, fromFile.pcm);
}

void TestAudioDecoder::reportsPositionUpToTheEnd()
{
    const Decoded decoded = decodeBytes(wavFile(48000, 2, 16, tone(48000, 2, 3.0, 440, 440)));
    QCOMPARE(decoded.durationMs, 3000);
    QVERIFY(decoded.positions.size() > 10);
    for (qsizetype i = 1; i < decoded.positions.size(); ++i)
        QVERIFY(decoded.positions.at(i) > decoded.positions.at(i - 1));
    QVERIFY(decoded.positions.last() >= 2999);
    QVERIFY(decoded.positions.last() <= 3000);
}

void TestAudioDecoder::stopFromPositionCancels()
{
    // As a progress dialog's Cancel does: stop() from positionMsChanged.
    QBuffer device;
    device.setData(wavFile(48000, 1, 16, tone(48000, 1, 10.0, 440)));
    QVERIFY(device.open(QIODevice::ReadOnly));
    const Decoded decoded = decode(&device, [](FfmpegAudioDecoder *decoder) {
        QObject::connect(decoder, &FfmpegAudioDecoder::positionMsChanged, decoder, [decoder](qlonglong position) {
            if (position >= 1000)
                decoder->stop();
        });
    });
    QCOMPARE(decoded.finishedCount, 1);
    QVERIFY2(decoded.error.isEmpty(), qPrintable(decoded.error));
    const qint64 decodedMs = decoded.format.durationForBytes(decoded.pcm.size()) / 1000;
    QVERIFY2(decodedMs >= 1000 && decodedMs < 2000, qPrintable(QString::number(decodedMs)));
    QVERIFY(decoded.positions.last() < 2000);
}

void TestAudioDecoder::stopWhenDurationIsKnownDecodesNothing()
{
    // As the audio layer does with a sound that is too long.
    QBuffer device;
    device.setData(wavFile(48000, 1, 16, tone(48000, 1, 2.0, 440)));
    QVERIFY(device.open(QIODevice::ReadOnly));
    const Decoded decoded = decode(&device, [](FfmpegAudioDecoder *decoder) {
        QObject::connect(decoder, &FfmpegAudioDecoder::durationMsChanged, decoder, &FfmpegAudioDecoder::stop);
    });
    QCOMPARE(decoded.finishedCount, 1);
    QCOMPARE(decoded.durationMs, 2000);
    QCOMPARE(decoded.formatCount, 0);
    QVERIFY(decoded.pcm.isEmpty());
    QVERIFY(decoded.positions.isEmpty());
}

void TestAudioDecoder::badInputFails_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    const QByteArray wav = wavFile(48000, 1, 16, tone(48000, 1, 1.0, 440));

    QByteArray png;
    QBuffer pngDevice(&png);
    pngDevice.open(QIODevice::WriteOnly);
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.save(&pngDevice, "PNG");

    QByteArray noise(64 * 1024, Qt::Uninitialized);
    QRandomGenerator random(1234);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);

    QByteArray zeroChannels = wav;
    qToLittleEndian<quint16>(0, zeroChannels.data() + 22);
    QByteArray zeroRate = wav;
    qToLittleEndian<quint32>(0, zeroRate.data() + 24);
    QByteArray manyChannels = wav;
    qToLittleEndian<quint16>(4000, manyChannels.data() + 22);

    QTest::newRow("empty") << QByteArray() << "Could not open source";
    QTest::newRow("text") << QByteArray("These are words, not sound.\n").repeated(200) << "Could not open source";
    QTest::newRow("noise") << noise << "Could not open source";
    QTest::newRow("picture without sound") << png << "Could not find audio stream in input";
    QTest::newRow("cut inside the header") << wav.left(30) << "Could not open source";
    QTest::newRow("no channels") << zeroChannels << "Could not find audio stream in input";
    QTest::newRow("no sample rate") << zeroRate << "Could not open source";
    QByteArray gigahertz = wav;
    qToLittleEndian<quint32>(1'000'000'000, gigahertz.data() + 24);
    QTest::newRow("4000 channels") << manyChannels << "The sound has 4000 channels; at most 8 can be played.";
    QTest::newRow("1 GHz") << gigahertz << "The sound states a sample rate of 1000000000 Hz";
}

void TestAudioDecoder::badInputFails()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);

    const Decoded decoded = decodeBytes(file);
    QCOMPARE(decoded.finishedCount, 1);
    QVERIFY(decoded.pcm.isEmpty());
    QVERIFY(!decoded.error.isEmpty());
    QVERIFY2(decoded.error.startsWith(error), qPrintable(decoded.error));
}

void TestAudioDecoder::truncatedFileKeepsWhatIsThere_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<qint64>("cutAtPermille");
    QTest::addColumn<bool>("cutInsideASample");
    QTest::addColumn<qint64>("statedDataBytes");
    QTest::addColumn<FfmpegAudioDecoder::Ending>("ending");

    using Ending = FfmpegAudioDecoder::Ending;
    // FFmpeg ignores a WAV's stated length when it reaches beyond the file;
    // the header still tells that a WAV cut cleanly between samples is cut,
    // unless its sizes are the placeholders of a WAV written while streaming.
    QTest::newRow("WAV cut in half") << "wav" << 48000 << 2.0 << qint64(500) << false << qint64(-1) << Ending::CutShort;
    QTest::newRow("WAV cut inside a sample")
        << "wav" << 48000 << 2.0 << qint64(500) << true << qint64(-1) << Ending::CutShort;
    QTest::newRow("WAV stating 4 GB, as streamed")
        << "wav" << 48000 << 2.0 << qint64(1000) << false << qint64(0xfffffff0) << Ending::Complete;
    QTest::newRow("MP3 cut in half") << "mp3" << 48000 << 2.0 << qint64(500) << false << qint64(-1) << Ending::CutShort;
    QTest::newRow("MP3 cut near its start")
        << "mp3" << 48000 << 2.0 << qint64(100) << false << qint64(-1) << Ending::CutShort;
    // 5 KB that its header makes last 42 minutes at 1 Hz, and that claim
    // ten times as much: decoded whole, it took seconds and a gigabyte.
    QTest::newRow("WAV at 1 Hz claiming more than it holds")
        << "wav" << 1 << 2500.0 << qint64(1000) << false << qint64(50000) << Ending::Overclaimed;
    // Bytes read again are no more bytes.
    QTest::newRow("WAV at 1 Hz written while streaming, longer than a read")
        << "wav" << 1 << 20000.0 << qint64(1000) << false << qint64(0) << Ending::Overclaimed;
}

// A file cut short plays what is there; a sound never lasts longer than its
// bytes can carry.
void TestAudioDecoder::truncatedFileKeepsWhatIsThere()
{
    QFETCH(QString, container);
    QFETCH(int, rate);
    QFETCH(double, seconds);
    QFETCH(qint64, cutAtPermille);
    QFETCH(bool, cutInsideASample);
    QFETCH(qint64, statedDataBytes);
    QFETCH(FfmpegAudioDecoder::Ending, ending);

    const QList<qint16> samples = tone(rate, 1, seconds, rate > 1000 ? 440 : 0.1);
    QByteArray file;
    if (container == QLatin1String("wav")) {
        constexpr qint64 HeaderBytes = 44;
        file = wavFile(rate, 1, 16, samples, statedDataBytes);
        qint64 keep = HeaderBytes + (file.size() - HeaderBytes) * cutAtPermille / 1000;
        if (cutInsideASample)
            keep |= 1;
        file.truncate(keep);
    } else {
        if (!avcodec_find_encoder(AV_CODEC_ID_MP3))
            QSKIP("This FFmpeg has no MP3 encoder (Debian's libavcodec59 links libmp3lame0).");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        file = mp3File(dir.filePath(QStringLiteral("tone.mp3")), rate, 1, samples);
        QVERIFY(!file.isEmpty());
        file.truncate(file.size() * cutAtPermille / 1000);
    }

    const Decoded decoded = decodeBytes(file);
    QCOMPARE(decoded.finishedCount, 1);
    const qint64 decodedMs = decoded.format.durationForBytes(decoded.pcm.size()) / 1000;
    const qint64 heldMs = qint64(std::llround(seconds * double(cutAtPermille)));
    const qint64 carriedMs = file.size() * 1000 / FfmpegAudioDecoder::MinimumBytesPerSecond;
    const qint64 keptMs = std::min(heldMs, carriedMs);
    QVERIFY2(std::abs(decodedMs - keptMs) <= 60, qPrintable(QStringLiteral("%1 ms of %2").arg(decodedMs).arg(keptMs)));
    QCOMPARE(decoded.ending, ending);
    QVERIFY2(decoded.error.isEmpty() == (ending == FfmpegAudioDecoder::Ending::Complete), qPrintable(decoded.error));
}

QTEST_GUILESS_MAIN(TestAudioDecoder)

#include "tst_audiodecoder.moc"
