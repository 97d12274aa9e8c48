#include "playbackcontroller.h"

#include "../audio/audiotestfiles.h"
#include "render/alphacomposition.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "support/cellpattern.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

using Modes = PlaybackController::PlaybackModes;

namespace {

// A controller on a clock that the test steps by hand. Ticks run when the
// test says so, each with the clock where the frame timer was aimed, or
// later while a frame is still being painted, just as the timer would fire;
// the event loop never runs, so no real timer fires in between.
struct Rig
{
    PlaybackController controller;
    qint64 now = 100000;
    // A slow paint of the frame on screen keeps the next tick waiting.
    qint64 busyUntil = 0;
    QSignalSpy shown{&controller, &PlaybackController::showFrame};
    QSignalSpy activeFrames{&controller, &PlaybackController::updateActiveFrame};
    QSignalSpy playing{&controller, &PlaybackController::playbackChanged};
    QSignalSpy skipped{&controller, &PlaybackController::skippedFrame};

    Rig() { controller.setClock([this] { return now; }); }

    QTimer *timer(const char *name) const { return controller.findChild<QTimer *>(QLatin1StringView(name)); }

    void tickNow() { QVERIFY(QMetaObject::invokeMethod(&controller, "tick")); }

    // Runs the next tick where the frame timer points, while it runs.
    bool nextTick()
    {
        if (!timer("frameTimer")->isActive())
            return false;
        now = std::max(now + timer("frameTimer")->interval(), busyUntil);
        tickNow();
        return true;
    }

    void ticks(int count)
    {
        for (int i = 0; i < count && nextTick(); ++i) {
        }
    }

    QList<int> frames() const
    {
        QList<int> list;
        for (const QList<QVariant> &arguments : shown)
            list.append(arguments.at(0).toInt());
        return list;
    }

    void setUp(Modes modes, int lower, int upper, int active, double fps = 25.0)
    {
        controller.setFrameRate(fps);
        controller.setPlaybackModes(modes);
        controller.setFrameRange(lower, upper);
        controller.setActiveFrame(active);
    }
};

// Two seconds of a tone: 48 frames at 24 fps.
QByteArray twoSeconds()
{
    return AudioTestFiles::wavFile(44100, 2, 16, AudioTestFiles::tone(44100, 2, 2.0, 440, 660));
}

// A scene of 48 frames at 24 fps with its sound, the range over all of it.
void buildSoundScene(Model::Scene &scene)
{
    scene.setFrameRate(24);
    CellPattern::build(scene, {QStringLiteral("A") + QString(47, u'.')});
    auto audio = std::make_shared<Model::AudioLayer>(&scene);
    audio->setOriginalAudioData(twoSeconds());
    scene.insertLayer(audio, 1);
    scene.setFrameRange(1, 48, 1, 0);
}

} // namespace

// The playback clock: which frames come, when runs stop, how late ticks and
// the sound's start are handled.
class TestPlaybackController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void runs_data();
    void runs();
    void nothingToPlay_data();
    void nothingToPlay();
    void flipBackAndRelease_data();
    void flipBackAndRelease();
    void lateTicksSkipFrames_data();
    void lateTicksSkipFrames();
    void pauseAndResume();
    void frameRates_data();
    void frameRates();

    void framesReachTheScene();
    void soundStartsTheClock_data();
    void soundStartsTheClock();
    void silentSoundIsMuted();
};

void TestPlaybackController::initTestCase()
{
    Model::initAlphaCompositionTables();
    qRegisterMetaType<Model::AudioState>("Model::AudioState");
}

void TestPlaybackController::init()
{
    QSettings().clear();
}

void TestPlaybackController::runs_data()
{
    QTest::addColumn<int>("modes");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("active");
    // "start", or "flip N" for a flip back and return of N frames.
    QTest::addColumn<QString>("action");
    QTest::addColumn<QList<int>>("frames");
    // -1 while the run goes on after the frames listed.
    QTest::addColumn<int>("activeAfterStop");

    const int loop = PlaybackController::Loop;
    const int backwards = PlaybackController::Backwards;
    const int stay = PlaybackController::StopAndStay;
    QTest::newRow("loop from after the range") << loop << 5 << 8 << 10 << "start" << QList<int>{8, 5, 6, 7, 8, 5} << -1;
    QTest::newRow("loop from before the range") << loop << 5 << 8 << 2 << "start" << QList<int>{5, 6, 7, 8, 5} << -1;
    QTest::newRow("loop backwards") << (loop | backwards) << 5 << 8 << 5 << "start" << QList<int>{5, 8, 7, 6, 5}
                                    << -1;
    QTest::newRow("loop over two frames") << loop << 5 << 6 << 6 << "start" << QList<int>{6, 5, 6, 5} << -1;
    QTest::newRow("once returns to the active frame") << 0 << 5 << 8 << 7 << "start" << QList<int>{5, 6, 7, 8} << 7;
    QTest::newRow("once stays on the last frame") << stay << 5 << 8 << 7 << "start" << QList<int>{5, 6, 7, 8} << 8;
    QTest::newRow("once backwards") << (backwards | stay) << 5 << 8 << 7 << "start" << QList<int>{8, 7, 6, 5} << 5;
    QTest::newRow("loop stopped by hand stays") << (loop | stay) << 5 << 8 << 5 << "start" << QList<int>{5, 6, 7}
                                                << -1;
    QTest::newRow("flip back and return") << loop << 1 << 20 << 10 << "flip 4" << QList<int>{9, 8, 7, 6, 7, 8, 9}
                                          << 10;
    QTest::newRow("flip back and return by one") << loop << 1 << 20 << 10 << "flip 1" << QList<int>{9} << 10;
    QTest::newRow("flip back and return stops at the range") << loop << 1 << 20 << 3 << "flip 6"
                                                             << QList<int>{2, 1, 2} << 3;
    QTest::newRow("flip back and return ignores stay") << (loop | stay) << 1 << 20 << 10 << "flip 2"
                                                       << QList<int>{9, 8, 9} << 10;
}

void TestPlaybackController::runs()
{
    QFETCH(int, modes);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, active);
    QFETCH(QString, action);
    QFETCH(QList<int>, frames);
    QFETCH(int, activeAfterStop);

    Rig rig;
    rig.setUp(Modes(modes), lower, upper, active);
    if (action == u"start")
        rig.controller.startPlayback();
    else
        rig.controller.flipBackAndReturn(action.mid(5).toInt());
    QCOMPARE(rig.playing.count(), 1);
    QCOMPARE(rig.playing.at(0).at(0).toBool(), true);
    if (activeAfterStop == -1) {
        // A run that goes on: stopped by hand after the frames listed, as
        // the play button does.
        rig.ticks(int(frames.size()) - 1);
        QCOMPARE(rig.frames(), frames);
        QVERIFY(rig.controller.isPlaying());
        rig.controller.togglePlayback();
        const bool stays = (modes & PlaybackController::StopAndStay) != 0;
        activeAfterStop = stays ? frames.last() : active;
    } else {
        rig.ticks(int(frames.size()) + 3);
        QCOMPARE(rig.frames(), frames);
    }
    QCOMPARE(rig.activeFrames.count(), 1);
    QCOMPARE(rig.activeFrames.at(0).at(0).toInt(), activeAfterStop);
    QVERIFY(!rig.controller.isPlaying());
    QCOMPARE(rig.playing.count(), 2);
    QCOMPARE(rig.playing.at(1).at(0).toBool(), false);
    QCOMPARE(rig.skipped.count(), 0);
}

void TestPlaybackController::nothingToPlay_data()
{
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("modes");
    QTest::addColumn<QString>("action");

    const int stay = PlaybackController::StopAndStay;
    QTest::newRow("one frame, loop") << 3 << 3 << int(PlaybackController::Loop) << "start";
    QTest::newRow("one frame, once and stay") << 3 << 3 << stay << "start";
    QTest::newRow("one frame, toggled") << 3 << 3 << int(PlaybackController::Loop | stay) << "toggle";
    QTest::newRow("one frame, flip back") << 3 << 3 << 0 << "flip back";
    QTest::newRow("one frame, flip back and return") << 3 << 3 << 0 << "flip 4";
    QTest::newRow("no scene") << -1 << -1 << int(PlaybackController::Loop) << "start";
}

void TestPlaybackController::nothingToPlay()
{
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, modes);
    QFETCH(QString, action);

    Rig rig;
    rig.setUp(Modes(modes), lower, upper, 3);
    if (action == u"start")
        rig.controller.startPlayback();
    else if (action == u"toggle")
        rig.controller.togglePlayback();
    else if (action == u"flip back")
        rig.controller.startFlipBack();
    else
        rig.controller.flipBackAndReturn(4);

    QVERIFY(!rig.controller.isPlaying());
    QVERIFY(rig.shown.isEmpty());
    QCOMPARE(rig.playing.count(), 1);
    QCOMPARE(rig.playing.at(0).at(0).toBool(), false);
    // Never a frame that was not shown, even when the mode asks to stay.
    QCOMPARE(rig.activeFrames.count(), 1);
    QCOMPARE(rig.activeFrames.at(0).at(0).toInt(), 3);
}

void TestPlaybackController::flipBackAndRelease_data()
{
    QTest::addColumn<int>("heldTicks");
    QTest::addColumn<QList<int>>("frames");

    // Active frame 3 of 1..20: the flip holds on frame 1 while the key is
    // held, then runs back to frame 3 and stops there.
    QTest::newRow("released on the first frame") << 4 << QList<int>{2, 1, 1, 1, 1, 1, 2};
    QTest::newRow("released on the way back") << 0 << QList<int>{2, 2};
}

void TestPlaybackController::flipBackAndRelease()
{
    QFETCH(int, heldTicks);
    QFETCH(QList<int>, frames);

    Rig rig;
    rig.setUp(PlaybackController::Loop, 1, 20, 3);
    rig.controller.startFlipBack();
    rig.ticks(heldTicks);
    QVERIFY(rig.controller.isPlaying());
    rig.controller.startReturnFlip();
    rig.ticks(10);

    QCOMPARE(rig.frames(), frames);
    QVERIFY(!rig.controller.isPlaying());
    QCOMPARE(rig.activeFrames.count(), 1);
    QCOMPARE(rig.activeFrames.at(0).at(0).toInt(), 3);

    // The next start begins a fresh run.
    rig.shown.clear();
    rig.controller.startPlayback();
    QCOMPARE(rig.frames(), QList<int>{3});
}

void TestPlaybackController::lateTicksSkipFrames_data()
{
    QTest::addColumn<int>("paintMs");
    QTest::addColumn<QList<int>>("frames");
    QTest::addColumn<int>("skips");

    // 25 fps: a frame every 40 ms. Frame 3 takes paintMs to paint.
    QTest::newRow("in time") << 0 << QList<int>{1, 2, 3, 4, 5, 6} << 0;
    QTest::newRow("late, nearer the next frame than the one after")
        << 50 << QList<int>{1, 2, 3, 4, 5, 6} << 0;
    QTest::newRow("one and a half frames late") << 60 << QList<int>{1, 2, 3, 5, 6, 7} << 1;
    QTest::newRow("three frames late") << 120 << QList<int>{1, 2, 3, 6, 7, 8} << 1;
    QTest::newRow("ten frames late") << 400 << QList<int>{1, 2, 3, 13, 14, 15} << 1;
}

void TestPlaybackController::lateTicksSkipFrames()
{
    QFETCH(int, paintMs);
    QFETCH(QList<int>, frames);
    QFETCH(int, skips);

    Rig rig;
    rig.setUp(PlaybackController::Loop, 1, 40, 1);
    const qint64 start = rig.now;
    QList<qint64> shownAt;
    connect(&rig.controller, &PlaybackController::showFrame, this, [&](int frame) {
        shownAt.append(rig.now - start);
        if (frame == 3)
            rig.busyUntil = rig.now + paintMs;
    });
    rig.controller.startPlayback();
    rig.ticks(5);

    QCOMPARE(rig.frames(), frames);
    QCOMPARE(rig.skipped.count(), skips);
    // The cadence is kept: after the slow frame every frame comes on the
    // 40 ms grid of the clock, not 40 ms after the late one.
    for (qsizetype i = 4; i < shownAt.size(); ++i)
        QCOMPARE(shownAt.at(i) % 40, 0);
}

void TestPlaybackController::pauseAndResume()
{
    Rig rig;
    rig.setUp(PlaybackController::Loop, 1, 20, 1);
    QVERIFY(!rig.controller.pausePlayback());
    QVERIFY(!rig.controller.resumePlayback(5));

    rig.controller.startPlayback();
    rig.ticks(2);
    QVERIFY(rig.controller.pausePlayback());
    QVERIFY(rig.controller.isPlaying());
    QVERIFY(!rig.timer("frameTimer")->isActive());
    QVERIFY(!rig.nextTick());

    // The playhead was dragged to frame 10 and let go there.
    QVERIFY(rig.controller.resumePlayback(10));
    rig.ticks(2);
    QCOMPARE(rig.frames(), (QList<int>{1, 2, 3, 10, 11, 12}));
    QCOMPARE(rig.playing.count(), 1);
    QVERIFY(!rig.controller.resumePlayback(4));

    rig.controller.stopPlayback();
    QCOMPARE(rig.activeFrames.count(), 1);
    QCOMPARE(rig.activeFrames.at(0).at(0).toInt(), 1);
}

void TestPlaybackController::frameRates_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("stops");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    QTest::newRow("25 fps") << 25.0 << 25.0 << 40 << true;
    QTest::newRow("above 60") << 100.0 << 60.0 << 17 << true;
    QTest::newRow("below 0.1") << 0.05 << 0.1 << 10000 << true;
    QTest::newRow("equal but for rounding") << 12.0 + 1e-14 << 12.0 << 83 << false;
    QTest::newRow("zero is refused") << 0.0 << 12.0 << 83 << false;
    QTest::newRow("negative is refused") << -24.0 << 12.0 << 83 << false;
    QTest::newRow("not a number is refused") << nan << 12.0 << 83 << false;
    QTest::newRow("infinity is refused") << infinity << 12.0 << 83 << false;
}

void TestPlaybackController::frameRates()
{
    QFETCH(double, fps);
    QFETCH(double, expected);
    QFETCH(int, interval);
    QFETCH(bool, stops);

    Rig rig;
    QCOMPARE(rig.controller.frameRate(), 12.0);
    rig.controller.setFrameRange(1, 20);
    rig.controller.setActiveFrame(1);
    rig.controller.startPlayback();
    rig.controller.setFrameRate(fps);
    QCOMPARE(rig.controller.frameRate(), expected);
    QCOMPARE(rig.controller.property("frameRate").toDouble(), expected);
    QCOMPARE(rig.controller.isPlaying(), !stops);
    if (stops)
        QCOMPARE(rig.timer("frameTimer")->interval(), interval);
    // A refused rate leaves a running clock as it was.
    rig.ticks(3);
    for (qsizetype i = 0; i < rig.shown.size(); ++i)
        QCOMPARE(rig.shown.at(i).at(0).toInt(), int(i) + 1);
}

void TestPlaybackController::framesReachTheScene()
{
    Model::KLScene holder;
    Model::Scene *scene = holder.scene();
    CellPattern::build(*scene, {QStringLiteral("ABCDEFGHIJ")});
    QVERIFY(scene->setFrameRange(2, 9, 4, 0));

    Rig rig;
    rig.controller.setFrameRate(25);
    rig.controller.setCurrentScene(&holder);
    rig.controller.startPlayback();
    QCOMPARE(scene->scrubFrame(), 4);
    QCOMPARE(scene->activeFrame(), 4);
    rig.ticks(2);
    QCOMPARE(scene->scrubFrame(), 6);

    // A range change stops playback; the active frame follows the scene.
    QVERIFY(scene->setFrameRange(1, 10, 7, 0));
    QVERIFY(!rig.controller.isPlaying());
    rig.shown.clear();
    rig.controller.startPlayback();
    QCOMPARE(rig.frames(), QList<int>{7});

    // Switching the scene away stops playback and cuts the wiring.
    rig.controller.setCurrentScene(nullptr);
    QVERIFY(!rig.controller.isPlaying());
    scene->unsetScrubFrame();
    rig.controller.setFrameRange(1, 10);
    rig.controller.startPlayback();
    QCOMPARE(scene->scrubFrame(), -1);
}

void TestPlaybackController::soundStartsTheClock_data()
{
    QTest::addColumn<int>("modes");
    QTest::addColumn<bool>("waits");

    QTest::newRow("loop") << int(PlaybackController::Loop) << true;
    QTest::newRow("once") << 0 << true;
    QTest::newRow("backwards starts no sound") << int(PlaybackController::Loop | PlaybackController::Backwards)
                                               << false;
}

void TestPlaybackController::soundStartsTheClock()
{
    QFETCH(int, modes);
    QFETCH(bool, waits);

    Model::KLScene holder;
    Model::Scene *scene = holder.scene();
    buildSoundScene(*scene);
    QVERIFY(scene->isAudioEnabled());
    QVERIFY(scene->setActiveFrameAndLayer(5, 0, Model::Scene::ClampToDrawings));

    Rig rig;
    rig.controller.setFrameRate(24);
    rig.controller.setPlaybackModes(Modes(modes));
    rig.controller.setCurrentScene(&holder);
    rig.controller.startPlayback();
    QVERIFY(rig.controller.isPlaying());
    QCOMPARE(rig.playing.count(), 1);
    QCOMPARE(rig.timer("audioWaitTimer")->isActive(), waits);
    QCOMPARE(rig.timer("audioWaitTimer")->interval(), PlaybackController::DefaultAudioWaitMs);
    if (!waits) {
        QCOMPARE(rig.frames(), QList<int>{5});
        return;
    }

    // The picture waits for the sound; no pause while waiting.
    QVERIFY(rig.shown.isEmpty());
    QVERIFY(!rig.timer("frameTimer")->isActive());
    QVERIFY(!rig.controller.pausePlayback());
    Q_EMIT scene->audioStateChanged(Model::AudioState::IdleState);
    QVERIFY(rig.shown.isEmpty());

    // Audible: the clock starts at the frame the sound started at.
    rig.now += 300;
    Q_EMIT scene->audioStateChanged(Model::AudioState::ActiveState);
    QVERIFY(!rig.timer("audioWaitTimer")->isActive());
    rig.ticks(2);
    const int first = modes & PlaybackController::Loop ? 5 : 1;
    QCOMPARE(rig.frames(), (QList<int>{first, first + 1, first + 2}));
    QVERIFY(scene->isAudioEnabled());

    // A resume starts the sound again and waits for it.
    QVERIFY(rig.controller.pausePlayback());
    QVERIFY(rig.controller.resumePlayback(20));
    QVERIFY(rig.timer("audioWaitTimer")->isActive());
    QCOMPARE(rig.frames().size(), 3);
    Q_EMIT scene->audioStateChanged(Model::AudioState::ActiveState);
    QCOMPARE(rig.frames().last(), 20);
    rig.controller.stopPlayback();
    QVERIFY(!rig.timer("audioWaitTimer")->isActive());
}

void TestPlaybackController::silentSoundIsMuted()
{
    Model::KLScene holder;
    Model::Scene *scene = holder.scene();
    buildSoundScene(*scene);

    Rig rig;
    rig.controller.setAudioWaitMs(250);
    QCOMPARE(rig.controller.audioWaitMs(), 250);
    rig.controller.setCurrentScene(&holder);
    rig.controller.startPlayback();
    QVERIFY(rig.timer("audioWaitTimer")->isActive());
    QCOMPARE(rig.timer("audioWaitTimer")->interval(), 250);
    QVERIFY(rig.shown.isEmpty());

    // The sound never became audible within the wait (no output device, or
    // a blocked one): it is switched off and the pictures play on without it.
    QVERIFY(QMetaObject::invokeMethod(&rig.controller, "audioWaitTimedOut"));
    QVERIFY(!scene->isAudioEnabled());
    QCOMPARE(rig.frames(), QList<int>{1});
    QVERIFY(rig.controller.isPlaying());
    QVERIFY(rig.timer("frameTimer")->isActive());
    // Audible after all, too late: the clock has started already.
    Q_EMIT scene->audioStateChanged(Model::AudioState::ActiveState);
    QCOMPARE(rig.frames(), QList<int>{1});
    rig.ticks(1);
    QCOMPARE(rig.frames(), (QList<int>{1, 2}));
    rig.controller.stopPlayback();

    // Muted, the next start does not wait.
    rig.shown.clear();
    rig.controller.startPlayback();
    QVERIFY(!rig.timer("audioWaitTimer")->isActive());
    QCOMPARE(rig.frames(), QList<int>{1});
}

QTEST_MAIN(TestPlaybackController)
#include "tst_playbackcontroller.moc"
