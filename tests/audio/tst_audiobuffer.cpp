#include "audio/audiobuffer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <functional>

using Model::AudioBuffer;

namespace {

constexpr double Pi = 3.14159265358979323846;

// The format every decoded sound has.
QAudioFormat cdFormat()
{
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelConfig(QAudioFormat::ChannelConfigStereo);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

qint64 bytesForMs(qint64 ms)
{
    return cdFormat().bytesForDuration(ms * 1000);
}

// Bytes per sample frame of cdFormat().
constexpr qint64 FrameBytes = 4;

QByteArray makeSound(qint64 ms, const std::function<qint16(qint64 frame, int channel)> &value)
{
    const qint64 frames = bytesForMs(ms) / FrameBytes;
    QByteArray sound(frames * FrameBytes, Qt::Uninitialized);
    for (qint64 i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c)
            qToLittleEndian(value(i, c), sound.data() + i * FrameBytes + 2 * c);
    }
    return sound;
}

QByteArray constantSound(qint64 ms, qint16 level)
{
    return makeSound(ms, [level](qint64, int) { return level; });
}

// Never zero, and every frame differs from its neighbours, so that a sample
// out of place shows.
QByteArray countingSound(qint64 ms)
{
    return makeSound(ms, [](qint64 frame, int channel) {
        const auto value = qint16(1 + frame % 30000);
        return channel == 0 ? value : qint16(-value);
    });
}

QByteArray sineSound(qint64 ms, double hz)
{
    return makeSound(ms, [hz](qint64 frame, int) {
        return qint16(std::lround(10000 * std::sin(2 * Pi * hz * double(frame) / 44100)));
    });
}

qint16 sampleAt(const QByteArray &bytes, qint64 index)
{
    return qFromLittleEndian<qint16>(bytes.constData() + 2 * index);
}

// The largest step between neighbouring samples of one channel: a click is a
// step far larger than the sound itself makes.
int largestStep(const QByteArray &bytes)
{
    int result = 0;
    for (qint64 i = 2; i < bytes.size() / 2; ++i)
        result = qMax(result, std::abs(int(sampleAt(bytes, i)) - int(sampleAt(bytes, i - 2))));
    return result;
}

bool isSilent(const QByteArray &bytes)
{
    return bytes.count('\0') == bytes.size();
}

// Reads as the sink would, in the sink's usual portions.
QByteArray pull(AudioBuffer &buffer, qint64 bytes)
{
    QByteArray result;
    while (result.size() < bytes) {
        const QByteArray part = buffer.read(qMin<qint64>(bytes - result.size(), 4096));
        if (part.isEmpty())
            break;
        result += part;
    }
    return result;
}

// Emits the layer's signals from the test's thread.
class Driver : public QObject
{
    Q_OBJECT

Q_SIGNALS:
    void startAudio();
    void newAudioBuffer(const QByteArray &sound, qlonglong offset, qlonglong len, qlonglong fadeInOutUs,
                        qlonglong startPos, bool loop);
};

} // namespace

class TestAudioBuffer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void silenceBeforeAnyWindow_data();
    void silenceBeforeAnyWindow();
    void windowPlaysItsPartOfTheSound_data();
    void windowPlaysItsPartOfTheSound();
    void negativeLengthKeepsPlaying();
    void shortWindowFadesOverHalfItsLength_data();
    void shortWindowFadesOverHalfItsLength();
    void loopRepeatsWithFadeAtEachWrap();
    void stopPlaysTheTailThenResets();
    void neverClicks_data();
    void neverClicks();
    void overlappingFadesSaturate_data();
    void overlappingFadesSaturate();
    void volumeIsClamped_data();
    void volumeIsClamped();
    void noSinkWithoutAnOutput();
    void soundCrossesThreadsAsSharedData();
};

void TestAudioBuffer::silenceBeforeAnyWindow_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("one frame") << FrameBytes;
    QTest::newRow("a sink's portion") << qint64(4096);
    QTest::newRow("one second") << bytesForMs(1000);
}

void TestAudioBuffer::silenceBeforeAnyWindow()
{
    QFETCH(qint64, bytes);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    const QByteArray read = buffer.read(bytes);
    QCOMPARE(read.size(), bytes);
    QVERIFY(isSilent(read));
}

void TestAudioBuffer::windowPlaysItsPartOfTheSound_data()
{
    QTest::addColumn<qint64>("offsetMs");
    QTest::addColumn<qint64>("lengthMs");

    // The sound lasts 2 s.
    QTest::newRow("inside the sound") << qint64(500) << qint64(1000);
    QTest::newRow("starting 2 s before the sound") << qint64(-2000) << qint64(3000);
    QTest::newRow("reaching beyond the end") << qint64(1500) << qint64(1000);
    QTest::newRow("starting at the end") << qint64(2000) << qint64(500);
    QTest::newRow("starting past the end") << qint64(5000) << qint64(500);
    QTest::newRow("longer than the sound both ways") << qint64(-500) << qint64(3000);
    QTest::newRow("all before the sound") << qint64(-3000) << qint64(500);
}

void TestAudioBuffer::windowPlaysItsPartOfTheSound()
{
    QFETCH(qint64, offsetMs);
    QFETCH(qint64, lengthMs);

    const QByteArray sound = countingSound(2000);
    const qint64 offset = bytesForMs(offsetMs);
    const qint64 length = bytesForMs(lengthMs);
    const qint64 fade = bytesForMs(8);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    buffer.setWindow(sound, offset, length, 8000, 0, false);
    const QByteArray played = pull(buffer, length + bytesForMs(100));
    QCOMPARE(played.size(), length + bytesForMs(100));

    for (qint64 byte = 0; byte < played.size(); byte += 2) {
        const qint16 sample = sampleAt(played, byte / 2);
        const qint64 source = offset + byte;
        if (byte >= length || source < 0 || source >= sound.size()) {
            if (sample != 0)
                QFAIL(qPrintable(QStringLiteral("sound at byte %1, where there is none").arg(byte)));
        } else if (byte >= fade && byte < length - fade) {
            if (sample != sampleAt(sound, source / 2))
                QFAIL(qPrintable(QStringLiteral("wrong sample at byte %1").arg(byte)));
        } else if (std::abs(sample) > std::abs(sampleAt(sound, source / 2))) {
            QFAIL(qPrintable(QStringLiteral("a fade is louder than the sound at byte %1").arg(byte)));
        }
    }
}

void TestAudioBuffer::negativeLengthKeepsPlaying()
{
    const QByteArray sound = constantSound(1000, 5000);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    buffer.setWindow(sound, 0, sound.size(), 8000, 0, false);
    pull(buffer, bytesForMs(100));
    buffer.setWindow(sound, 0, -4, 8000, 0, false);
    const QByteArray played = pull(buffer, bytesForMs(100));
    QCOMPARE(sampleAt(played, 0), qint16(5000));
    QCOMPARE(sampleAt(played, played.size() / 2 - 1), qint16(5000));
}

void TestAudioBuffer::shortWindowFadesOverHalfItsLength_data()
{
    QTest::addColumn<qint64>("lengthMs");
    QTest::addColumn<qint64>("fadeMs");
    QTest::newRow("1 s: 8 ms fades") << qint64(1000) << qint64(8);
    QTest::newRow("20 ms: 8 ms fades") << qint64(20) << qint64(8);
    QTest::newRow("10 ms: 5 ms fades") << qint64(10) << qint64(5);
    QTest::newRow("4 ms: 2 ms fades") << qint64(4) << qint64(2);
}

void TestAudioBuffer::shortWindowFadesOverHalfItsLength()
{
    QFETCH(qint64, lengthMs);
    QFETCH(qint64, fadeMs);

    const QByteArray sound = constantSound(2000, 10000);
    const qint64 length = bytesForMs(lengthMs);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    buffer.setWindow(sound, bytesForMs(500), length, 8000, 0, false);
    const QByteArray played = pull(buffer, length);

    // Left channel only; the right one is the same.
    QList<int> left;
    for (qint64 i = 0; i < played.size() / 2; i += 2)
        left.append(sampleAt(played, i));
    QCOMPARE(left.first(), 0);
    QVERIFY(left.last() > 0);
    QVERIFY(left.last() < 10000 / 40);
    const qsizetype middle = left.size() / 2;
    QVERIFY(left.at(middle) >= 9900);
    for (qsizetype i = 1; i < left.size(); ++i) {
        if (i <= middle)
            QVERIFY(left.at(i) >= left.at(i - 1));
        else
            QVERIFY(left.at(i) <= left.at(i - 1));
    }
    // Each fade takes its time: the rise reaches full level after it.
    const qsizetype riseFrames = std::find(left.cbegin(), left.cend(), 10000) - left.cbegin();
    const qint64 fadeFrames = bytesForMs(fadeMs) / FrameBytes;
    QVERIFY2(std::abs(riseFrames - fadeFrames) <= 2 || (riseFrames == left.size() && lengthMs == 2 * fadeMs),
             qPrintable(QStringLiteral("%1 frames of fade-in").arg(riseFrames)));
}

void TestAudioBuffer::loopRepeatsWithFadeAtEachWrap()
{
    const QByteArray sound = countingSound(3000);
    const qint64 period = bytesForMs(1000);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    buffer.setWindow(sound, bytesForMs(1000), period, 8000, 0, true);
    const QByteArray played = pull(buffer, 3 * period + period / 2);
    QCOMPARE(played.size(), 3 * period + period / 2);

    for (qint64 byte = 0; byte + period < played.size(); byte += 2) {
        if (sampleAt(played, byte / 2) != sampleAt(played, (byte + period) / 2))
            QFAIL(qPrintable(QStringLiteral("repetition differs at byte %1").arg(byte)));
    }
    for (int wrap = 1; wrap <= 3; ++wrap) {
        QCOMPARE(sampleAt(played, wrap * period / 2), qint16(0));
        QVERIFY(std::abs(sampleAt(played, wrap * period / 2 - 1)) < 100);
    }
    // Away from the wraps the window's own sound plays.
    QCOMPARE(sampleAt(played, (period + bytesForMs(500)) / 2), sampleAt(sound, bytesForMs(1500) / 2));
}

void TestAudioBuffer::stopPlaysTheTailThenResets()
{
    const QByteArray sound = constantSound(2000, 10000);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    buffer.setWindow(sound, 0, sound.size(), 8000, 0, false);
    pull(buffer, bytesForMs(250));
    QSignalSpy readyRead(&buffer, &QIODevice::readyRead);
    buffer.stop();
    QCOMPARE(readyRead.count(), 1);

    const QByteArray tail = buffer.read(bytesForMs(1000));
    QCOMPARE(tail.size(), bytesForMs(8));
    QVERIFY(sampleAt(tail, 0) >= 9900);
    QVERIFY(sampleAt(tail, tail.size() / 2 - 1) < 100);
    for (qint64 i = 2; i < tail.size() / 2; ++i)
        QVERIFY(sampleAt(tail, i) <= sampleAt(tail, i - 2));
    QVERIFY(buffer.read(4096).isEmpty());
    QTRY_VERIFY(!buffer.isOpen());
}

void TestAudioBuffer::neverClicks_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("start") << "start";
    QTest::newRow("seek to another part") << "seek";
    QTest::newRow("loop") << "loop";
    QTest::newRow("stop") << "stop";
    QTest::newRow("seek twice in a fade") << "seek twice";
}

void TestAudioBuffer::neverClicks()
{
    QFETCH(QString, action);
    // The sound itself steps at most 10000 * 2 pi * 440 / 44100, about 630.
    const QByteArray sound = sineSound(3000, 440);
    AudioBuffer buffer(cdFormat());
    buffer.start();
    QByteArray played;
    const bool loop = action == QLatin1String("loop");
    // Odd offsets and lengths: the wraps and cuts fall mid-wave.
    buffer.setWindow(sound, bytesForMs(333), bytesForMs(417), 8000, 0, loop);
    played += pull(buffer, bytesForMs(200));
    if (action == QLatin1String("seek")) {
        buffer.setWindow(sound, bytesForMs(1777), bytesForMs(500), 8000, 0, false);
    } else if (action == QLatin1String("seek twice")) {
        buffer.setWindow(sound, bytesForMs(1777), bytesForMs(500), 8000, 0, false);
        played += pull(buffer, bytesForMs(3));
        buffer.setWindow(sound, bytesForMs(2555), bytesForMs(300), 8000, 0, false);
    } else if (action == QLatin1String("stop")) {
        buffer.stop();
    }
    played += pull(buffer, bytesForMs(1000));
    QVERIFY2(largestStep(played) < 1500, qPrintable(QString::number(largestStep(played))));
}

void TestAudioBuffer::overlappingFadesSaturate_data()
{
    QTest::addColumn<int>("level");
    QTest::newRow("loud positive") << 30000;
    QTest::newRow("loud negative") << -30000;
}

void TestAudioBuffer::overlappingFadesSaturate()
{
    QFETCH(int, level);
    const QByteArray sound = constantSound(1000, qint16(level));
    AudioBuffer buffer(cdFormat());
    buffer.start();
    buffer.setWindow(sound, 0, sound.size(), 8000, 0, false);
    pull(buffer, bytesForMs(100));
    // A window of 4 ms fades in over 2 ms while the old one fades out over
    // 8 ms: their sum goes beyond 16 bits.
    buffer.setWindow(sound, 0, bytesForMs(4), 8000, 0, false);
    const QByteArray played = pull(buffer, bytesForMs(4));
    bool clipped = false;
    for (qint64 i = 0; i < played.size() / 2; ++i) {
        const int sample = sampleAt(played, i);
        QVERIFY2((sample > 0) == (level > 0), "a sum wrapped round");
        clipped = clipped || std::abs(sample) >= 32767;
    }
    QVERIFY(clipped);
}

void TestAudioBuffer::volumeIsClamped_data()
{
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("stored");
    QTest::newRow("too loud") << 2.0 << 1.0;
    QTest::newRow("negative") << -0.5 << 0.0;
    QTest::newRow("half") << 0.5 << 0.5;
}

void TestAudioBuffer::volumeIsClamped()
{
    QFETCH(double, volume);
    QFETCH(double, stored);
    AudioBuffer buffer(cdFormat());
    QCOMPARE(buffer.volume(), 1.0);
    buffer.setVolume(volume);
    QCOMPARE(buffer.volume(), stored);
}

void TestAudioBuffer::noSinkWithoutAnOutput()
{
    if (!QMediaDevices::defaultAudioOutput().isNull())
        QSKIP("This machine has an audio output; the case is a machine without one.");
    AudioBuffer buffer(cdFormat());
    buffer.createSink();
    QVERIFY(!buffer.hasSink());
    buffer.start();
    buffer.setWindow(constantSound(100, 100), 0, bytesForMs(100), 8000, 0, false);
    QCOMPARE(buffer.read(4096).size(), 4096);
}

void TestAudioBuffer::soundCrossesThreadsAsSharedData()
{
    QThread thread;
    auto *buffer = new AudioBuffer(cdFormat());
    buffer->moveToThread(&thread);
    connect(&thread, &QThread::finished, buffer, &QObject::deleteLater);
    Driver driver;
    connect(&driver, &Driver::startAudio, buffer, &AudioBuffer::start);
    connect(&driver, &Driver::newAudioBuffer, buffer, &AudioBuffer::setWindow);
    thread.start();

    QByteArray sound = countingSound(1000);
    const QByteArray expected = sound.mid(bytesForMs(100), bytesForMs(100));
    Q_EMIT driver.startAudio();
    Q_EMIT driver.newAudioBuffer(sound, 0, sound.size(), 8000, bytesForMs(100), false);
    // The owner may drop or refill its samples at once (a new decode).
    sound.fill('\x7f');
    sound.clear();

    QByteArray played;
    QMetaObject::invokeMethod(
        buffer, [&] { played = pull(*buffer, bytesForMs(200)); }, Qt::BlockingQueuedConnection);
    thread.quit();
    QVERIFY(thread.wait());
    QCOMPARE(played.size(), bytesForMs(200));
    // Past the fade-in, exactly the samples that were sent.
    const qint64 fade = bytesForMs(8);
    QCOMPARE(played.mid(fade, bytesForMs(100) - fade), expected.mid(fade));
}

QTEST_GUILESS_MAIN(TestAudioBuffer)

#include "tst_audiobuffer.moc"
