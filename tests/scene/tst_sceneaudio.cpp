#include "scene/scene.h"

#include "../audio/audiotestfiles.h"
#include "scenetesthelpers.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace Model;
using namespace SceneTest;

namespace {

// Two seconds of a tone in CD format: 48 frames at 24 fps.
QByteArray twoSeconds()
{
    return AudioTestFiles::wavFile(44100, 2, 16, AudioTestFiles::tone(44100, 2, 2.0, 440, 660));
}

std::shared_ptr<AudioLayer> soundLayer(Scene &scene)
{
    auto layer = std::make_shared<AudioLayer>(&scene);
    layer->setOriginalAudioData(twoSeconds());
    return layer;
}

// A scene at 24 fps with a stroke layer of 48 frames (index 0) and the
// sound (index 1), the frame range spanning all frames.
std::shared_ptr<AudioLayer> setUpScene(Scene &scene)
{
    scene.setFrameRate(24);
    addStrokeLayer(scene, QStringLiteral("X") + QString(47, u'-'));
    auto audio = soundLayer(scene);
    scene.insertLayer(audio, 1);
    scene.setFrameRange(1, 48, 1, 0);
    return audio;
}

int firstSoundingFrame(const Scene &scene)
{
    for (int frame = 1; frame < 1000; ++frame) {
        if (scene.hasAudioAtFrame(frame))
            return frame;
    }
    return 0;
}

} // namespace

// The scene's control of its sound: muting, offsets in frames, the frame
// rate, scrubbing and playback within the frame range.
class TestSceneAudio : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void neutralWithoutSound_data();
    void neutralWithoutSound();
    void mutingIsAnnounced_data();
    void mutingIsAnnounced();
    void offsetsInFrames_data();
    void offsetsInFrames();
    void frameRateReachesTheSound_data();
    void frameRateReachesTheSound();

    void scrubbingPlaysFrames_data();
    void scrubbingPlaysFrames();
    void playbackFollowsTheFrameRange_data();
    void playbackFollowsTheFrameRange();
    void playbackStateIsForwarded();
    void waveformAsLayerImage();
};

void TestSceneAudio::initTestCase()
{
    qRegisterMetaType<Model::AudioState>("Model::AudioState");
}

void TestSceneAudio::init()
{
    QSettings().clear();
}

void TestSceneAudio::neutralWithoutSound_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("enableAccepted");

    QTest::newRow("no audio layer") << "none" << false;
    QTest::newRow("audio layer removed") << "removed" << false;
    QTest::newRow("audio layer without sound") << "silent" << true;
    QTest::newRow("audio layer replaced by a stroke layer") << "replaced" << false;
}

void TestSceneAudio::neutralWithoutSound()
{
    QFETCH(QString, setup);
    QFETCH(bool, enableAccepted);

    Scene scene;
    scene.setFrameRate(24);
    addStrokeLayer(scene, QStringLiteral("XXXX"));
    if (setup == u"silent") {
        scene.insertLayer(std::make_shared<AudioLayer>(&scene), 1);
    } else if (setup == u"removed") {
        scene.insertLayer(soundLayer(scene), 1);
        scene.removeLayerAt(1);
    } else if (setup == u"replaced") {
        scene.insertLayer(soundLayer(scene), 1);
        scene.replaceLayer(1, strokeLayer(scene, QStringLiteral("XX")));
    }
    QCOMPARE(scene.audioLayerIdx(), setup == u"silent" ? 1 : -1);

    QSignalSpy layersChanged(&scene, &Scene::layersChanged);
    QVERIFY(!scene.hasAudio());
    QVERIFY(!scene.isAudioEnabled());
    QVERIFY(!scene.isLayerAudible(1));
    QVERIFY(!scene.hasAudioInFrames(1, 4));
    QVERIFY(!scene.hasAudioAtFrame(1));
    QCOMPARE(scene.audioOffset(), 0.0);
    QCOMPARE(scene.effectiveAudioOffset(), 0.0);
    QVERIFY(scene.layerImage(1, 1, QSize(40, 20)).isNull());
    QVERIFY(!scene.startAudioPlayback(1, false));
    scene.stopAudioPlayback();
    scene.setAudioOffset(3);
    scene.setAudioDragOffset(2);
    QCOMPARE(scene.effectiveAudioOffset(), setup == u"silent" ? 3.0 : 0.0);
    QCOMPARE(scene.setAudioEnabled(true), enableAccepted);
    // Only the offset setters of an existing audio layer announce anything.
    QCOMPARE(layersChanged.count(), setup == u"silent" ? 2 : 0);
}

void TestSceneAudio::mutingIsAnnounced_data()
{
    // -1: the scene's own audio switch.
    QTest::addColumn<int>("layer");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("through the audio switch") << -1 << true;
    QTest::newRow("through the audio layer") << 1 << true;
    QTest::newRow("through a stroke layer") << 0 << false;
    QTest::newRow("through a missing layer") << 7 << false;
}

void TestSceneAudio::mutingIsAnnounced()
{
    QFETCH(int, layer);
    QFETCH(bool, accepted);

    Scene scene;
    const auto audio = setUpScene(scene);
    QVERIFY(scene.isAudioEnabled());
    QVERIFY(scene.isLayerAudible(1));
    const auto setAudible = [&](bool audible) {
        return layer == -1 ? scene.setAudioEnabled(audible) : scene.setLayerAudible(layer, audible);
    };

    QSignalSpy layersChanged(&scene, &Scene::layersChanged);
    QSignalSpy volumes(audio.get(), &AudioLayer::volumeChanged);
    QCOMPARE(setAudible(true), accepted);
    QCOMPARE(layersChanged.count(), 0);

    QCOMPARE(setAudible(false), accepted);
    QCOMPARE(scene.isAudioEnabled(), !accepted);
    QCOMPARE(scene.isLayerAudible(1), !accepted);
    QCOMPARE(layersChanged.count(), accepted ? 1 : 0);
    QCOMPARE(volumes.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(layersChanged.at(0), (QList<QVariant>{1, 1}));
        QCOMPARE(volumes.at(0).at(0).toDouble(), 0.0);
        // Muted, a scrubbed frame sends no sound.
        QSignalSpy windows(audio.get(), &AudioLayer::newAudioBuffer);
        scene.startScrubbing();
        scene.setScrubFrame(5);
        QCOMPARE(windows.count(), 0);
    }
    QCOMPARE(setAudible(false), accepted);
    QCOMPARE(layersChanged.count(), accepted ? 1 : 0);

    QCOMPARE(setAudible(true), accepted);
    QVERIFY(scene.isAudioEnabled());
    QCOMPARE(layersChanged.count(), accepted ? 2 : 0);
}

void TestSceneAudio::offsetsInFrames_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<double>("drag");
    QTest::addColumn<double>("expectedOffset");
    QTest::addColumn<double>("expectedEffective");
    QTest::addColumn<int>("firstFrame");

    QTest::newRow("rounded to hundredths") << 2.346 << 0.0 << 2.35 << 2.35 << 3;
    QTest::newRow("a quarter frame kept after frame 1") << -1000.0 << 0.0 << -47.75 << -47.75 << 1;
    QTest::newRow("while dragged") << 2.35 << 3.0 << 2.35 << 5.35 << 6;
    QTest::newRow("dragged to frame 1") << 2.35 << -2.2 << 2.35 << 0.0 << 1;
}

void TestSceneAudio::offsetsInFrames()
{
    QFETCH(double, offset);
    QFETCH(double, drag);
    QFETCH(double, expectedOffset);
    QFETCH(double, expectedEffective);
    QFETCH(int, firstFrame);

    Scene scene;
    setUpScene(scene);
    QSignalSpy layersChanged(&scene, &Scene::layersChanged);
    scene.setAudioOffset(offset);
    scene.setAudioDragOffset(drag);
    QCOMPARE(layersChanged.count(), 2);
    QCOMPARE(layersChanged.at(0), (QList<QVariant>{1, 1}));
    QCOMPARE(scene.audioOffset(), expectedOffset);
    QVERIFY(std::abs(scene.effectiveAudioOffset() - expectedEffective) < 1e-9);
    QCOMPARE(firstSoundingFrame(scene), firstFrame);

    // The drag ends: the offset in effect is the stored one again.
    scene.setAudioDragOffset(0);
    QCOMPARE(scene.effectiveAudioOffset(), scene.audioOffset());
}

void TestSceneAudio::frameRateReachesTheSound_data()
{
    QTest::addColumn<bool>("replacing");

    QTest::newRow("inserted") << false;
    QTest::newRow("put in place of another") << true;
}

void TestSceneAudio::frameRateReachesTheSound()
{
    QFETCH(bool, replacing);

    Scene scene;
    scene.setFrameRate(24);
    addStrokeLayer(scene, QStringLiteral("XX"));
    const auto audio = soundLayer(scene);
    if (replacing) {
        addLayerOfKind(scene, QStringLiteral("audio"));
        scene.replaceLayer(1, audio);
    } else {
        scene.insertLayer(audio, 1);
    }
    QCOMPARE(audio->frameRate(), 24.0);
    QVERIFY(scene.hasAudioInFrames(48, 48));
    QVERIFY(!scene.hasAudioInFrames(49, 49));

    // A sound starting before frame 1 keeps its time; one after it, its
    // frame.
    scene.setAudioOffset(-10);
    QSignalSpy layersChanged(&scene, &Scene::layersChanged);
    QVERIFY(scene.setFrameRate(12));
    QCOMPARE(layersChanged.count(), 1);
    QCOMPARE(layersChanged.at(0), (QList<QVariant>{1, 1}));
    QCOMPARE(scene.audioOffset(), -5.0);
    QVERIFY(scene.hasAudioInFrames(19, 19));
    QVERIFY(!scene.hasAudioInFrames(20, 20));
    scene.setAudioOffset(10);
    scene.setFrameRate(24);
    QCOMPARE(scene.audioOffset(), 10.0);
    QCOMPARE(firstSoundingFrame(scene), 11);
}

void TestSceneAudio::scrubbingPlaysFrames_data()
{
    QTest::addColumn<int>("scrubFrameBefore");
    QTest::addColumn<int>("windowsAtStart");

    QTest::newRow("no frame scrubbed yet") << -1 << 0;
    QTest::newRow("a frame already scrubbed") << 5 << 1;
}

void TestSceneAudio::scrubbingPlaysFrames()
{
    QFETCH(int, scrubFrameBefore);
    QFETCH(int, windowsAtStart);

    Scene scene;
    const auto audio = setUpScene(scene);
    QSignalSpy starts(audio.get(), &AudioLayer::startAudio);
    QSignalSpy stops(audio.get(), &AudioLayer::stopAudio);
    QSignalSpy windows(audio.get(), &AudioLayer::newAudioBuffer);

    // A scrub frame set outside a scrub is only shown.
    scene.setScrubFrame(scrubFrameBefore);
    QCOMPARE(windows.count(), 0);

    QVERIFY(scene.startScrubbing());
    QCOMPARE(starts.count(), 1);
    QCOMPARE(windows.count(), windowsAtStart);

    // Each scrubbed frame sends its own sound, 4 ms to spare on each side.
    scene.setScrubFrame(10);
    QCOMPARE(windows.count(), windowsAtStart + 1);
    const QList<QVariant> window = windows.last();
    const QAudioFormat format = audio->format();
    QVERIFY(std::abs(format.durationForBytes(window.at(1).toLongLong()) - 371'000) < 50);
    QVERIFY(std::abs(format.durationForBytes(window.at(2).toLongLong()) - 49'667) < 50);
    QVERIFY(!window.at(5).toBool());

    // Back to the active frame: nothing to play.
    scene.unsetScrubFrame();
    QCOMPARE(windows.count(), windowsAtStart + 1);
    QCOMPARE(stops.count(), 0);

    QVERIFY(scene.stopScrubbing());
    QCOMPARE(stops.count(), 1);
    scene.setScrubFrame(12);
    QCOMPARE(windows.count(), windowsAtStart + 1);
    QCOMPARE(starts.count(), 1);
}

void TestSceneAudio::playbackFollowsTheFrameRange_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("loop");
    QTest::addColumn<bool>("started");

    // The range is 10 to 20.
    QTest::newRow("first frame of the range") << 10 << false << true;
    QTest::newRow("inside the range, looping") << 15 << true << true;
    QTest::newRow("before the range") << 9 << false << false;
    QTest::newRow("after the range") << 21 << true << false;
}

void TestSceneAudio::playbackFollowsTheFrameRange()
{
    QFETCH(int, frame);
    QFETCH(bool, loop);
    QFETCH(bool, started);

    Scene scene;
    const auto audio = setUpScene(scene);
    QVERIFY(scene.setFrameRange(10, 20, 10, 0));
    QSignalSpy starts(audio.get(), &AudioLayer::startAudio);
    QSignalSpy stops(audio.get(), &AudioLayer::stopAudio);
    QSignalSpy windows(audio.get(), &AudioLayer::newAudioBuffer);

    QCOMPARE(scene.startAudioPlayback(frame, loop), started);
    QCOMPARE(starts.count(), started ? 1 : 0);
    QCOMPARE(windows.count(), started ? 1 : 0);
    if (started) {
        // The window is the range, and playing starts at the frame.
        const QAudioFormat format = audio->format();
        const QList<QVariant> window = windows.at(0);
        QVERIFY(std::abs(format.durationForBytes(window.at(1).toLongLong()) - 375'000) < 50);
        QVERIFY(std::abs(format.durationForBytes(window.at(2).toLongLong()) - 458'333) < 50);
        QVERIFY(std::abs(format.durationForBytes(window.at(4).toLongLong()) - (frame - 10) * 41'667) < 50);
        QCOMPARE(window.at(5).toBool(), loop);
    }
    scene.stopAudioPlayback();
    QCOMPARE(stops.count(), 1);
}

void TestSceneAudio::playbackStateIsForwarded()
{
    Scene scene;
    const auto audio = setUpScene(scene);
    QSignalSpy states(&scene, &Scene::audioStateChanged);
    Q_EMIT audio->audioStateChanged(QAudio::ActiveState);
    Q_EMIT audio->audioStateChanged(QAudio::IdleState);
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.at(1).at(0).value<Model::AudioState>(), QAudio::IdleState);

    // A layer taken out of the scene no longer speaks for it.
    const std::shared_ptr<Layer> removed = scene.removeLayerAt(1);
    QCOMPARE(removed.get(), audio.get());
    Q_EMIT audio->audioStateChanged(QAudio::ActiveState);
    QCOMPARE(states.count(), 2);
}

void TestSceneAudio::waveformAsLayerImage()
{
    Scene scene;
    setUpScene(scene);
    const QImage image = scene.layerImage(10, 1, QSize(40, 20));
    QCOMPARE(image.size(), QSize(40, 20));
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
    QVERIFY(drawn > 200);
    QVERIFY(scene.layerImage(50, 1, QSize(40, 20)).isNull());
    QVERIFY(scene.layerImage(10, 1, QSize()).isNull());
}

QTEST_MAIN(TestSceneAudio)
#include "tst_sceneaudio.moc"
