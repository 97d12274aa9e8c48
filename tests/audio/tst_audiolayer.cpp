#include "layers/audiolayer.h"

#include "audio/audiobuffer.h"
#include "audio/ffmpegaudiodecoder.h"
#include "audiotestfiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <limits>
#include <memory>

using Model::AudioBuffer;
using Model::AudioLayer;
using namespace AudioTestFiles;

namespace {

// Stands in for a progress dialog: the layer writes "maximum" and "value"
// and reads "wasCanceled", which turns true once value reaches cancelAtMs.
class FakeProgress : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int maximum MEMBER m_maximum)
    Q_PROPERTY(int value READ value WRITE setValue)
    Q_PROPERTY(bool wasCanceled READ wasCanceled)

public:
    explicit FakeProgress(int cancelAtMs)
        : m_cancelAtMs(cancelAtMs)
    {
    }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    void setValue(int value) { m_value = value; }
    bool wasCanceled() const { return m_cancelAtMs >= 0 && m_value >= m_cancelAtMs; }

private:
    int m_cancelAtMs = -1;
    int m_maximum = -1;
    int m_value = -1;
};

QByteArray writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return bytes;
}

// A tone on the left, silence on the right, at CD rate and in stereo, which
// the decoder passes through sample for sample.
QByteArray cdWav(double seconds)
{
    return wavFile(44100, 2, 16, tone(44100, 2, seconds, 440, 0));
}

std::unique_ptr<AudioLayer> layerWithSound(double seconds, double fps)
{
    auto layer = std::make_unique<AudioLayer>();
    layer->setFrameRate(fps);
    if (!layer->setOriginalAudioData(cdWav(seconds)))
        return nullptr;
    return layer;
}

// The bytes as a file in dir, for loadAudioFile; empty when it cannot be
// written.
QString writtenFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    QFile file(dir.filePath(QStringLiteral("sound")));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return file.fileName();
}

// The samples a WAV or AIFF written here holds, as they play.
QByteArray heldSamples(const QByteArray &file)
{
    if (file.startsWith("RIFF"))
        return file.mid(44);
    QByteArray samples = file.mid(54);
    for (qsizetype i = 0; i + 1 < samples.size(); i += 2)
        std::swap(samples[i], samples[i + 1]);
    return samples;
}

// The last frame that plays sound; 0 when none does.
int lastSoundingFrame(const AudioLayer &layer)
{
    int frame = 0;
    for (int f = 1; f < 10000; ++f) {
        if (layer.hasAudioInFrames(f, f))
            frame = f;
    }
    return frame;
}

struct Window
{
    QByteArray sound;
    qint64 offset = 0;
    qint64 length = 0;
    qint64 startPos = 0;
};

Window windowOf(const QList<QVariant> &arguments)
{
    return {arguments.at(0).toByteArray(), arguments.at(1).toLongLong(), arguments.at(2).toLongLong(),
            arguments.at(4).toLongLong()};
}

// What a sink pulling from the layer's buffer would play of the window,
// from its start, without fades reaching into it.
QByteArray heard(const QAudioFormat &format, const Window &window)
{
    AudioBuffer buffer(format);
    buffer.start();
    buffer.setWindow(window.sound, window.offset, window.length, 0, 0, false);
    return buffer.read(window.length);
}

int peak(const QByteArray &pcm)
{
    int result = 0;
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    for (qint64 i = 0; i < pcm.size() / 2; ++i)
        result = qMax(result, std::abs(int(samples[i])));
    return result;
}

int opaquePixels(const QImage &image, int x0, int x1, int y0, int y1)
{
    int count = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
    return count;
}

} // namespace

class TestAudioLayer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadsSoundFiles_data();
    void loadsSoundFiles();
    void soundEndsAtAFrameStart();
    void reportsProgressAndCancels_data();
    void reportsProgressAndCancels();
    void badInputLeavesNoSound_data();
    void badInputLeavesNoSound();
    void cutShortSoundPlaysWhatIsThere_data();
    void cutShortSoundPlaysWhatIsThere();
    void refusesSoundsOverHalfAnHour();

    void offsetsStayInFrames_data();
    void offsetsStayInFrames();
    void dragSnapsToFrameOne_data();
    void dragSnapsToFrameOne();
    void farOffsetsAreBounded_data();
    void farOffsetsAreBounded();

    void playbackPlaysTheRange_data();
    void playbackPlaysTheRange();
    void scrubbingSendsTheFrame_data();
    void scrubbingSendsTheFrame();
    void mutedLayerIsSilent_data();
    void mutedLayerIsSilent();
    void reloadWhilePlaying();

    void waveformShowsTheFrame_data();
    void waveformShowsTheFrame();
};

void TestAudioLayer::loadsSoundFiles_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("fps");
    QTest::addColumn<int>("lastFrame");
    QTest::addColumn<int>("bits");
    QTest::addColumn<qint64>("statedDataBytes");
    // Chunks after the sound's own.
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("mono 48 kHz WAV, 1.3 s at 25 fps")
        << "wav" << 48000 << 1 << 1.3 << 25.0 << 33 << 16 << qint64(-1) << QByteArray();
    QTest::newRow("stereo WAV, 2.1 s at 24 fps")
        << "wav" << 44100 << 2 << 2.1 << 24.0 << 51 << 16 << qint64(-1) << QByteArray();
    QTest::newRow("stereo MP3, 1.3 s at 12 fps")
        << "mp3" << 44100 << 2 << 1.3 << 12.0 << 16 << 16 << qint64(-1) << QByteArray();
    QTest::newRow("mono WAV click of 5 ms at 24 fps")
        << "wav" << 44100 << 1 << 0.005 << 24.0 << 1 << 16 << qint64(-1) << QByteArray();
    // An odd number of 3-byte samples, then the pad byte.
    QTest::newRow("24-bit WAV, sizes 0")
        << "wav" << 44100 << 1 << 1.01 << 24.0 << 25 << 24 << qint64(0) << QByteArray();
    QTest::newRow("24-bit WAV, sizes 0xFFFFFFFF")
        << "wav" << 11025 << 1 << 0.6 << 24.0 << 15 << 24 << qint64(~0u) << QByteArray();
    // Shorter than the resampler's filter.
    QTest::newRow("24 samples at 48 kHz")
        << "wav" << 48000 << 1 << 0.0005 << 24.0 << 1 << 16 << qint64(-1) << QByteArray();
    QTest::newRow("48 samples at 96 kHz")
        << "wav" << 96000 << 2 << 0.0005 << 24.0 << 1 << 24 << qint64(-1) << QByteArray();
    QTest::newRow("96 samples at 192 kHz")
        << "wav" << 192000 << 1 << 0.0005 << 24.0 << 1 << 16 << qint64(-1) << QByteArray();
    QTest::newRow("1 sample at 22.05 kHz")
        << "wav" << 22050 << 1 << 1 / 22050.0 << 24.0 << 1 << 16 << qint64(-1) << QByteArray();
    // Written while streaming, then tagged: the sound ends where its data
    // does, before its pad byte, a list and a picture.
    QByteArray picture(60001, '\0');
    QRandomGenerator(70).fillRange(reinterpret_cast<quint32 *>(picture.data()), picture.size() / 4);
    QTest::newRow("24-bit WAV, sizes 0xFFFFFFFF, then a list and a picture")
        << "wav" << 11025 << 1 << 0.2 << 24.0 << 5 << 24 << qint64(~0u)
        << riffChunk("LIST", "INFO" + riffChunk("ICMT", "a take")) + riffChunk("id3 ", picture);
    QTest::newRow("8-bit WAV, sizes 0, ending in its pad byte")
        << "wav" << 11025 << 1 << 0.2 << 24.0 << 5 << 8 << qint64(0) << QByteArray();
}

void TestAudioLayer::loadsSoundFiles()
{
    QFETCH(QString, container);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(double, seconds);
    QFETCH(double, fps);
    QFETCH(int, lastFrame);
    QFETCH(int, bits);
    QFETCH(qint64, statedDataBytes);
    QFETCH(QByteArray, after);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QList<qint16> samples = tone(rate, channels, seconds, 440, 660);
    const QString path = dir.filePath(QStringLiteral("sound.") + container);
    QByteArray file;
    if (container == QLatin1String("wav")) {
        file = writeFile(dir, QStringLiteral("sound.wav"),
                         wavFile(rate, channels, bits, samples, statedDataBytes) + after);
    } else {
        if (!avcodec_find_encoder(AV_CODEC_ID_MP3))
            QSKIP("This FFmpeg has no MP3 encoder.");
        file = mp3File(path, rate, channels, samples);
    }
    QVERIFY(!file.isEmpty());

    AudioLayer layer;
    layer.setFrameRate(fps);
    QSignalSpy available(&layer, &AudioLayer::audioAvailableChanged);
    QVERIFY2(layer.loadAudioFile(path), qPrintable(layer.errorString()));
    QCOMPARE(available.count(), 1);
    QVERIFY(layer.hasAudio());
    QVERIFY(layer.isAudible());
    QVERIFY(layer.errorString().isEmpty());
    QVERIFY2(layer.warningString().isEmpty(), qPrintable(layer.warningString()));
    QCOMPARE(layer.originalAudioData(), file);
    QCOMPARE(layer.format().sampleRate(), 44100);
    QCOMPARE(layer.format().channelCount(), 2);
    QVERIFY2(std::abs(layer.durationUs() - qint64(seconds * 1e6)) < qMin(5000.0, seconds * 1e5),
             qPrintable(QString::number(layer.durationUs())));
    // The tone, and nothing louder: no noise after it, no click at its end.
    QVERIFY2(peak(layer.pcm()) < 14000, qPrintable(QString::number(peak(layer.pcm()))));

    // The sound has no cells, yet claims the frames it plays in.
    QCOMPARE(layer.frameCount(), 0);
    QCOMPARE(lastSoundingFrame(layer), lastFrame);
    QVERIFY(layer.hasFrame(1));
    QVERIFY(layer.hasFrame(lastFrame));
    QVERIFY(!layer.hasFrame(lastFrame + 1));
    QVERIFY(!layer.hasFrame(0));
}

void TestAudioLayer::soundEndsAtAFrameStart()
{
    // Two seconds at 24 fps end exactly where frame 49 starts.
    const auto layer = layerWithSound(2.0, 24);
    QVERIFY(layer);
    QCOMPARE(layer->durationUs(), 2'000'000);
    QVERIFY(layer->hasAudioInFrames(48, 48));
    QVERIFY(layer->hasFrame(49));
    QVERIFY(!layer->hasAudioInFrames(49, 49));
    QVERIFY(!layer->hasFrame(50));
}

void TestAudioLayer::reportsProgressAndCancels_data()
{
    QTest::addColumn<int>("cancelAtMs");
    QTest::addColumn<bool>("loaded");

    QTest::newRow("left alone") << -1 << true;
    QTest::newRow("cancelled after half a second") << 500 << false;
    QTest::newRow("cancelled at once") << 0 << false;
}

void TestAudioLayer::reportsProgressAndCancels()
{
    QFETCH(int, cancelAtMs);
    QFETCH(bool, loaded);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!writeFile(dir, QStringLiteral("long.wav"), cdWav(3.0)).isEmpty());

    // A layer that already plays a sound: a cancelled import leaves none.
    const auto layer = layerWithSound(1.0, 24);
    QVERIFY(layer);
    FakeProgress progress(cancelAtMs);
    QCOMPARE(layer->loadAudioFile(dir.filePath(QStringLiteral("long.wav")), &progress), loaded);
    QCOMPARE(progress.maximum(), 3000);
    QCOMPARE(layer->hasAudio(), loaded);
    QVERIFY(layer->errorString().isEmpty());
    if (loaded) {
        QVERIFY(progress.value() >= 2999);
        QCOMPARE(layer->durationUs(), 3'000'000);
    } else {
        QVERIFY2(progress.value() >= cancelAtMs && progress.value() < 3000, qPrintable(QString::number(progress.value())));
        QVERIFY(layer->pcm().isEmpty());
        QVERIFY(!layer->hasFrame(1));
        QVERIFY(layer->waveformImage(1, QSize(20, 20)).isNull());
    }
}

void TestAudioLayer::badInputLeavesNoSound_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");

    const QByteArray wav = cdWav(1.0);
    QByteArray png;
    QBuffer pngDevice(&png);
    pngDevice.open(QIODevice::WriteOnly);
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    image.save(&pngDevice, "PNG");

    // Named as the user chose it, in plain words; FFmpeg's own words may
    // follow.
    QTest::newRow("empty") << QByteArray() << "The file \"sound\" is empty.";
    QTest::newRow("text") << QByteArray("Not a sound at all.\n").repeated(100)
                          << "The file \"sound\" could not be read as sound (";
    QTest::newRow("picture without sound") << png << "The file \"sound\" has no sound in it.";
    QTest::newRow("WAV cut inside the header") << wav.left(30) << "The file \"sound\" could not be read as sound";
    // A WAV of only its header, which took the place of the sound before.
    QTest::newRow("WAV of only its header") << wav.left(44) << "The file \"sound\" has no sound in it.";
    // Refused before any conversion is set up, which for such a rate took
    // seconds and most of a gigabyte.
    QByteArray gigahertz = wav;
    qToLittleEndian<quint32>(1'000'000'000, gigahertz.data() + 24);
    QTest::newRow("WAV at 1 GHz") << gigahertz << "The sound states a sample rate of 1000000000 Hz";
    QTest::newRow("WAV with 32 channels") << wavFile(44100, 32, 16, tone(44100, 32, 0.1, 440))
                                          << "The sound has 32 channels";
}

void TestAudioLayer::badInputLeavesNoSound()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writtenFile(dir, file);
    QVERIFY(!path.isEmpty());

    const auto layer = layerWithSound(1.0, 24);
    QVERIFY(layer);
    QSignalSpy available(layer.get(), &AudioLayer::audioAvailableChanged);
    QSignalSpy windows(layer.get(), &AudioLayer::newAudioBuffer);
    QVERIFY(!layer->loadAudioFile(path));
    QVERIFY(!layer->errorString().isEmpty());
    QVERIFY2(layer->errorString().startsWith(error), qPrintable(layer->errorString()));
    QCOMPARE(available.count(), 1);
    QVERIFY(!layer->hasAudio());
    QVERIFY(layer->pcm().isEmpty());
    QCOMPARE(layer->originalAudioData(), file);
    QCOMPARE(lastSoundingFrame(*layer), 0);
    QVERIFY(!layer->startPlayback(1, 1, 24, false));
    QVERIFY(!layer->playFrame(1));
    QCOMPARE(windows.count(), 0);
    QVERIFY(layer->waveformImage(1, QSize(20, 20)).isNull());

    // The same bytes in a scene file: refused in the same words, without a
    // file to name, and kept to be saved again.
    AudioLayer stored;
    QVERIFY(!stored.setOriginalAudioData(file));
    QVERIFY(!stored.hasAudio());
    QVERIFY(!stored.errorString().isEmpty());
    QVERIFY2(!stored.errorString().contains(QLatin1String("\"sound\"")), qPrintable(stored.errorString()));
    QCOMPARE(stored.originalAudioData(), file);

    // What is not a file is not read, and changes nothing.
    const auto other = layerWithSound(1.0, 24);
    QVERIFY(other);
    QVERIFY(!other->loadAudioFile(dir.path()));
    QVERIFY(!other->errorString().isEmpty());
    QVERIFY(other->hasAudio());
}

void TestAudioLayer::cutShortSoundPlaysWhatIsThere_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<double>("keptSeconds");

    QByteArray wav = cdWav(1.0);
    wav.truncate((44 + wav.size() / 2) | 1);
    QTest::newRow("WAV cut in the middle of a sample")
        << wav << "The sound ends early: only 500 ms of its 1.0 seconds" << 0.5;
    // The header and 28 samples of a mono WAV of 2 s.
    QTest::newRow("WAV cut after its header") << wavFile(44100, 1, 16, tone(44100, 1, 2.0, 440)).left(100)
                                              << "The sound ends early: only 0.63 ms of its 2.0 seconds"
                                              << 28 / 44100.0;
    // The last sample is lost with its last byte.
    QTest::newRow("WAV one byte short")
        << wavFile(44100, 1, 16, tone(44100, 1, 2.0, 440)).chopped(1)
        << "The sound ends early: only 1.99998 seconds of its 2.00000 seconds" << 2.0;
    // Converted to 44.1 kHz, what is left lasts the full 2 s.
    QTest::newRow("48 kHz WAV one sample short")
        << wavFile(48000, 2, 16, tone(48000, 2, 2.0, 440)).chopped(4)
        << "The sound ends early: only 1.99998 seconds of its 2.00000 seconds" << 2.0;
    QTest::newRow("100 ms header holding 50 ms") << wavFile(44100, 1, 16, tone(44100, 1, 0.05, 440), 8820)
                                                 << "The sound ends early: only 50 ms of its 100 ms" << 0.05;
    QTest::newRow("10 ms cut to 5 ms") << wavFile(44100, 1, 16, tone(44100, 1, 0.01, 440)).left(44 + 440)
                                       << "The sound ends early: only 5 ms of its 10 ms" << 0.005;
    if (avcodec_find_encoder(AV_CODEC_ID_MP3)) {
        QTemporaryDir dir;
        QByteArray mp3 = mp3File(dir.filePath(QStringLiteral("tone.mp3")), 44100, 2, tone(44100, 2, 1.0, 440, 440));
        QTest::newRow("MP3 cut to 1,000 bytes")
            << mp3.left(1000) << "The sound ends early: only 27 ms of its 1.0 seconds" << 0.027;
        mp3.truncate(mp3.size() / 2);
        QTest::newRow("MP3 cut in half") << mp3 << "The sound ends early: only 497 ms of its 1.0 seconds" << 0.5;
    }
    // Healthy loud, rough stretches, as clipped takes hold them, play as
    // they are, without a word.
    const QList<qint16> clipped = toneClippedBurstTone(44100, 2);
    QTest::newRow("tone, clipped burst, tone, as WAV") << wavFile(44100, 2, 16, clipped) << QString() << 2.0;
    QTest::newRow("tone, clipped burst, tone, as AIFF") << aiffFile(2, clipped) << QString() << 2.0;
    // Every sample after the lost byte is made of the ends of two: the user
    // hears where the noise starts, and it plays as every player plays it.
    QTest::newRow("stereo WAV with one byte lost at 1 s")
        << cdWav(2.0).remove(44 + 44100 * 4 + 1, 1)
        << "The sound's samples fall out of step 1.0 seconds in, where bytes were added to its file or lost from it: "
           "from there on it plays as noise. The sound ends early"
        << 2.0;
    // 5 KB of stereo at 1 Hz stand for 21 minutes, and the header claims
    // ten times more: decoded whole, that took seconds and more than a
    // gigabyte. What 5044 bytes can carry is kept, no more.
    const QByteArray slow = wavFile(1, 2, 16, tone(1, 2, 1250, 0.1, 0.2), 50000);
    QTest::newRow("WAV at 1 Hz claiming more than it holds")
        << slow << "The sound claims more than its file holds: 1250.0 seconds in 5044 bytes. Only its first 40.4 "
        << 5044.0 / double(Model::FfmpegAudioDecoder::MinimumBytesPerSecond);
}

// A recording cut off part-way plays what is there, a sound that claims
// more than its file holds plays what it holds, and the user hears how much
// that is.
void TestAudioLayer::cutShortSoundPlaysWhatIsThere()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, warning);
    QFETCH(double, keptSeconds);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = writtenFile(dir, file);
    QVERIFY(!path.isEmpty());

    AudioLayer layer;
    layer.setFrameRate(24);
    QSignalSpy windows(&layer, &AudioLayer::newAudioBuffer);
    QVERIFY(layer.loadAudioFile(path));
    QVERIFY(layer.hasAudio());
    QVERIFY(layer.errorString().isEmpty());
    QVERIFY2(warning.isEmpty() ? layer.warningString().isEmpty() : layer.warningString().startsWith(warning),
             qPrintable(layer.warningString()));
    // The samples are the file's, as far as they go.
    if (file.mid(8, 28) == cdWav(0).mid(8, 28) || file.startsWith("FORM"))
        QVERIFY(layer.pcm() == heldSamples(file).left(layer.pcm().size()));
    const qint64 keptUs = std::llround(keptSeconds * 1e6);
    QVERIFY2(std::abs(layer.durationUs() - keptUs) <= 60'000, qPrintable(QString::number(layer.durationUs())));
    const int lastFrame = int(keptSeconds * 24);
    QVERIFY2(lastSoundingFrame(layer) >= lastFrame && lastSoundingFrame(layer) <= lastFrame + 2,
             qPrintable(QString::number(lastSoundingFrame(layer))));
    QVERIFY(layer.startPlayback(1, 1, 24, false));
    QCOMPARE(windows.count(), 1);

    // A whole file afterwards leaves no warning behind.
    QVERIFY(layer.setOriginalAudioData(cdWav(1.0)));
    QVERIFY(layer.warningString().isEmpty());
}

void TestAudioLayer::refusesSoundsOverHalfAnHour()
{
    // 31 minutes of 8 kHz 8-bit silence: refused once its length is known.
    const qint64 bytes = qint64(31) * 60 * 8000;
    QByteArray file = wavFile(8000, 1, 8, {}, bytes);
    file.append(QByteArray(bytes, char(128)));
    AudioLayer layer;
    layer.setFrameRate(24);
    QVERIFY(!layer.setOriginalAudioData(file));
    QVERIFY(!layer.hasAudio());
    QCOMPARE(layer.errorString(), QStringLiteral("The sound is longer than 30 minutes."));
}

void TestAudioLayer::offsetsStayInFrames_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<double>("newFps");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("lastFrame");

    // Two seconds at 24 fps.
    QTest::newRow("at frame 1") << 0.0 << 24.0 << 0.0 << 48;
    QTest::newRow("rounded to hundredths") << 2.346 << 24.0 << 2.35 << 51;
    QTest::newRow("far before frame 1 keeps a quarter frame") << -1000.0 << 24.0 << -47.75 << 1;
    QTest::newRow("before frame 1, 24 to 12 fps, keeps its time") << -10.0 << 12.0 << -5.0 << 19;
    QTest::newRow("after frame 1, 24 to 12 fps, keeps its frame") << 10.0 << 12.0 << 10.0 << 34;
}

void TestAudioLayer::offsetsStayInFrames()
{
    QFETCH(double, offset);
    QFETCH(double, newFps);
    QFETCH(double, expected);
    QFETCH(int, lastFrame);

    const auto layer = layerWithSound(2.0, 24);
    QVERIFY(layer);
    layer->setOffsetFrames(offset);
    layer->setFrameRate(newFps);
    QCOMPARE(layer->offsetFrames(), expected);
    QCOMPARE(layer->effectiveOffsetFrames(), expected);
    QCOMPARE(lastSoundingFrame(*layer), lastFrame);
}

void TestAudioLayer::dragSnapsToFrameOne_data()
{
    QTest::addColumn<double>("drag");
    QTest::addColumn<double>("effective");

    // From an offset of 2.35 frames, with two seconds at 24 fps.
    QTest::newRow("a little way") << 1.0 << 3.35;
    QTest::newRow("to within a quarter frame of frame 1") << -2.2 << 0.0;
    QTest::newRow("just beyond the quarter frame") << -2.0 << 0.35;
    QTest::newRow("far before frame 1") << -1000.0 << -47.75;
    QTest::newRow("dropped") << 0.0 << 2.35;
}

void TestAudioLayer::dragSnapsToFrameOne()
{
    QFETCH(double, drag);
    QFETCH(double, effective);

    const auto layer = layerWithSound(2.0, 24);
    QVERIFY(layer);
    layer->setOffsetFrames(2.35);
    layer->setDragOffset(drag);
    QCOMPARE(layer->offsetFrames(), 2.35);
    QVERIFY2(std::abs(layer->effectiveOffsetFrames() - effective) < 1e-9,
             qPrintable(QString::number(layer->effectiveOffsetFrames())));
}

void TestAudioLayer::farOffsetsAreBounded_data()
{
    QTest::addColumn<bool>("withSound");
    QTest::addColumn<double>("offset");
    QTest::addColumn<double>("drag");
    QTest::addColumn<double>("newFps");
    QTest::addColumn<double>("effective");

    const double farthest = AudioLayer::MaximumOffsetFrames;
    QTest::newRow("1e15 frames after frame 1") << true << 1e15 << 0.0 << 24.0 << farthest;
    QTest::newRow("1e300 frames after frame 1") << true << 1e300 << 0.0 << 24.0 << farthest;
    QTest::newRow("the largest double") << true << std::numeric_limits<double>::max() << 0.0 << 24.0 << farthest;
    QTest::newRow("dragged 1e15 frames on") << true << 10.0 << 1e15 << 24.0 << farthest;
    // Before the sound is known, as the scene reader sets it, there is no
    // quarter frame to keep; a change of rate from 1 fps to 60 multiplies
    // an offset before frame 1 by 60.
    QTest::newRow("1e15 before frame 1, no sound yet") << false << -1e15 << 0.0 << 24.0 << -farthest;
    QTest::newRow("far before frame 1, 1 to 60 fps") << false << -farthest << 0.0 << 60.0 << -farthest;
}

// However far the offset asked for, the sound stays within reach of the
// time arithmetic: playing the first frames before it plays silence.
void TestAudioLayer::farOffsetsAreBounded()
{
    QFETCH(bool, withSound);
    QFETCH(double, offset);
    QFETCH(double, drag);
    QFETCH(double, newFps);
    QFETCH(double, effective);

    auto layer = withSound ? layerWithSound(2.0, 24) : std::make_unique<AudioLayer>();
    QVERIFY(layer);
    if (!withSound)
        layer->setFrameRate(1.0);
    layer->setOffsetFrames(offset);
    layer->setDragOffset(drag);
    layer->setFrameRate(newFps);
    QCOMPARE(layer->effectiveOffsetFrames(), effective);
    if (!withSound)
        return;

    QCOMPARE(lastSoundingFrame(*layer), 0);
    QVERIFY(!layer->playFrame(1));
    QSignalSpy windows(layer.get(), &AudioLayer::newAudioBuffer);
    QVERIFY(layer->startPlayback(1, 1, 48, false));
    QCOMPARE(windows.count(), 1);
    const Window window = windowOf(windows.at(0));
    QVERIFY(window.offset < 0);
    QCOMPARE(window.length, layer->format().bytesForDuration(2'000'000));
    QCOMPARE(peak(heard(layer->format(), window)), 0);
}

void TestAudioLayer::playbackPlaysTheRange_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // Frames of the range that sound; the others are silent.
    QTest::addColumn<int>("soundFrom");
    QTest::addColumn<int>("soundTo");

    // Two seconds at 24 fps: frames 1 to 48 without an offset.
    QTest::newRow("inside the sound") << 0.0 << 1 << 1 << 48 << 1 << 48;
    QTest::newRow("range starting 2 s before the sound") << 48.0 << 1 << 1 << 96 << 49 << 96;
    QTest::newRow("range reaching past the end") << 0.0 << 40 << 40 << 60 << 40 << 48;
    QTest::newRow("range wholly past the end") << 0.0 << 65 << 60 << 70 << 0 << -1;
    QTest::newRow("sound starting before frame 1") << -24.0 << 1 << 1 << 30 << 1 << 24;
}

void TestAudioLayer::playbackPlaysTheRange()
{
    QFETCH(double, offset);
    QFETCH(int, frame);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, soundFrom);
    QFETCH(int, soundTo);

    const auto layer = layerWithSound(2.0, 24);
    QVERIFY(layer);
    layer->setOffsetFrames(offset);
    QSignalSpy starts(layer.get(), &AudioLayer::startAudio);
    QSignalSpy windows(layer.get(), &AudioLayer::newAudioBuffer);
    QVERIFY(layer->startPlayback(frame, first, last, true));
    QCOMPARE(starts.count(), 1);
    QCOMPARE(windows.count(), 1);
    QVERIFY(windows.at(0).at(5).toBool());

    const QAudioFormat format = layer->format();
    const Window window = windowOf(windows.at(0));
    QCOMPARE(window.length, format.bytesForDuration(qint64(last - first + 1) * 1'000'000 / 24));
    QCOMPARE(window.startPos, format.bytesForDuration(qint64(frame - first) * 1'000'000 / 24));
    const QByteArray played = heard(format, window);
    QCOMPARE(played.size(), window.length);
    for (int f = first; f <= last; ++f) {
        // The middle half of each frame, clear of its neighbours.
        const qint64 from = format.bytesForDuration(qint64(f - first) * 1'000'000 / 24 + 10'000);
        const QByteArray part = played.mid(from, format.bytesForDuration(20'000));
        const bool sounds = f >= soundFrom && f <= soundTo;
        QVERIFY2(sounds ? peak(part) > 6000 : peak(part) == 0, qPrintable(QStringLiteral("frame %1").arg(f)));
    }

    // Outside the range nothing is sent.
    QVERIFY(!layer->startPlayback(first - 1, first, last, false));
    QVERIFY(!layer->startPlayback(last + 1, first, last, false));
    QCOMPARE(windows.count(), 1);
}

void TestAudioLayer::scrubbingSendsTheFrame_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<int>("frame");
    // The window in microseconds of the sound.
    QTest::addColumn<qint64>("fromUs");
    QTest::addColumn<qint64>("toUs");

    // Two seconds at 24 fps; frames last 41 667 us, with 4 ms on each side.
    QTest::newRow("first frame") << 0.0 << 1 << qint64(0) << qint64(45'667);
    QTest::newRow("tenth frame") << 0.0 << 10 << qint64(371'000) << qint64(420'667);
    QTest::newRow("last frame, reaching past the end") << 0.0 << 48 << qint64(1'954'333) << qint64(2'004'000);
    QTest::newRow("sound starting before frame 1") << -24.0 << 1 << qint64(996'000) << qint64(1'045'667);
}

void TestAudioLayer::scrubbingSendsTheFrame()
{
    QFETCH(double, offset);
    QFETCH(int, frame);
    QFETCH(qint64, fromUs);
    QFETCH(qint64, toUs);

    const auto layer = layerWithSound(2.0, 24);
    QVERIFY(layer);
    layer->setOffsetFrames(offset);
    QSignalSpy windows(layer.get(), &AudioLayer::newAudioBuffer);
    QVERIFY(layer->playFrame(frame));
    QCOMPARE(windows.count(), 1);
    const Window window = windowOf(windows.at(0));
    QVERIFY(!windows.at(0).at(5).toBool());

    const QAudioFormat format = layer->format();
    const qint64 frameBytes = format.bytesPerFrame();
    QVERIFY(std::abs(window.offset - format.bytesForDuration(fromUs)) <= frameBytes);
    QVERIFY(std::abs(window.length - format.bytesForDuration(toUs - fromUs)) <= 2 * frameBytes);

    // Exactly the sound there, and silence beyond its end.
    const QByteArray played = heard(format, window);
    const QByteArray pcm = layer->pcm();
    const qint64 inside = qBound(qint64(0), qint64(pcm.size()) - window.offset, window.length);
    QCOMPARE(played.left(inside), pcm.mid(window.offset, inside));
    QCOMPARE(peak(played.mid(inside)), 0);

    // No window for frames without sound.
    QVERIFY(!layer->playFrame(0));
    QVERIFY(!layer->playFrame(60));
    QCOMPARE(windows.count(), 1);
}

void TestAudioLayer::mutedLayerIsSilent_data()
{
    QTest::addColumn<bool>("withSound");

    QTest::newRow("with sound") << true;
    QTest::newRow("without sound") << false;
}

void TestAudioLayer::mutedLayerIsSilent()
{
    QFETCH(bool, withSound);

    std::unique_ptr<AudioLayer> layer = withSound ? layerWithSound(1.0, 24) : std::make_unique<AudioLayer>();
    QVERIFY(layer);
    QSignalSpy volumes(layer.get(), &AudioLayer::volumeChanged);
    QSignalSpy audible(layer.get(), &AudioLayer::audibleChanged);
    QSignalSpy windows(layer.get(), &AudioLayer::newAudioBuffer);

    layer->setAudible(false);
    layer->setAudible(false);
    QVERIFY(!layer->isAudible());
    QCOMPARE(volumes.count(), 1);
    QCOMPARE(volumes.at(0).at(0).toDouble(), 0.0);
    QCOMPARE(audible.count(), withSound ? 1 : 0);
    QVERIFY(!layer->playFrame(1));
    QCOMPARE(windows.count(), 0);

    layer->setAudible(true);
    QCOMPARE(volumes.last().at(0).toDouble(), 1.0);
    QCOMPARE(audible.count(), withSound ? 2 : 0);
    QCOMPARE(layer->playFrame(1), withSound);
}

void TestAudioLayer::reloadWhilePlaying()
{
    // Windows still on their way to the playback thread hold their own
    // share of the old samples while new ones replace them.
    const auto layer = layerWithSound(1.0, 24);
    QVERIFY(layer);
    QSignalSpy available(layer.get(), &AudioLayer::audioAvailableChanged);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(layer->startPlayback(1, 1, 24, true));
        QVERIFY(layer->playFrame(12));
        QVERIFY(layer->setOriginalAudioData(cdWav(0.5 + 0.1 * i)));
    }
    QCOMPARE(available.count(), 5);
    layer->stopPlayback();
    QCOMPARE(lastSoundingFrame(*layer), 22);
}

void TestAudioLayer::waveformShowsTheFrame_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QSize>("size");
    // Rows of the image that show sound; -1, -1: a null image.
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("lastRow");

    // Two seconds at 24 fps, the tone on the left only.
    QTest::newRow("a frame inside the sound") << 0.0 << 10 << QSize(40, 20) << 0 << 19;
    QTest::newRow("a tall strip") << 0.0 << 10 << QSize(64, 100) << 0 << 99;
    QTest::newRow("sound starting mid-frame") << 0.52 << 1 << QSize(40, 20) << 10 << 19;
    QTest::newRow("sound ending mid-frame") << -0.48 << 48 << QSize(40, 20) << 0 << 10;
    QTest::newRow("frame without sound") << 0.0 << 60 << QSize(40, 20) << -1 << -1;
    QTest::newRow("empty size") << 0.0 << 10 << QSize(0, 20) << -1 << -1;
}

void TestAudioLayer::waveformShowsTheFrame()
{
    QFETCH(double, offset);
    QFETCH(int, frame);
    QFETCH(QSize, size);
    QFETCH(int, firstRow);
    QFETCH(int, lastRow);

    const auto layer = layerWithSound(2.0, 24);
    QVERIFY(layer);
    layer->setOffsetFrames(offset);
    const QImage image = layer->waveformImage(frame, size);
    if (firstRow < 0) {
        QVERIFY(image.isNull());
        return;
    }
    QCOMPARE(image.size(), size);
    const int half = size.width() / 2;
    for (int y = 0; y < size.height(); ++y) {
        const bool sounds = y >= firstRow && y <= lastRow;
        // The left channel left of the centre; the silent right shows nothing.
        QVERIFY2((opaquePixels(image, 0, half, y, y + 1) > 0) == sounds, qPrintable(QStringLiteral("row %1").arg(y)));
        QCOMPARE(opaquePixels(image, half + 1, size.width(), y, y + 1), 0);
    }
    // Levels are opaque white, peaks half-transparent around them.
    QCOMPARE(image.pixel(half - 1, firstRow), qRgba(255, 255, 255, 255));
    bool peaksShown = false;
    for (int y = firstRow; y <= lastRow && !peaksShown; ++y)
        peaksShown = qAlpha(image.pixel(0, y)) == 128 || qAlpha(image.pixel(1, y)) == 128;
    QVERIFY(peaksShown);

    // Drawn again from the cache, the same picture.
    QCOMPARE(layer->waveformImage(frame, size), image);
}

QTEST_GUILESS_MAIN(TestAudioLayer)

#include "tst_audiolayer.moc"
