#include "scene/scene.h"

#include "scenetesthelpers.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Model;
using namespace SceneTest;

// Where the playhead lands: the active frame and layer, the frame range, the
// frame rate and size, and the scrub frame.
class TestSceneFrames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void activeFrameRule_data();
    void activeFrameRule();
    void repeatedRequests_data();
    void repeatedRequests();
    void nonVisualLayersAreNeverActive_data();
    void nonVisualLayersAreNeverActive();

    void frameRange_data();
    void frameRange();
    void frameRangeMovesTheActiveFrame();

    void frameRate_data();
    void frameRate();
    void frameSize_data();
    void frameSize();

    void scrubFrame_data();
    void scrubFrame();
    void activeFrameChangeClearsTheScrubFrame();
    void scrubbingMode();
};

void TestSceneFrames::init()
{
    QSettings().clear();
}

// Layer 0 has the cells under test, layer 1 ten cells so that the range can
// reach past layer 0.
void TestSceneFrames::activeFrameRule_data()
{
    QTest::addColumn<int>("cells");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("frame");
    QTest::addColumn<Scene::SetFrameBehaviour>("behaviour");
    QTest::addColumn<int>("expected"); // -1: refused

    const auto allow = Scene::AllowFrameAfterLast;
    const auto clamp = Scene::ClampToDrawings;
    QTest::newRow("inside") << 3 << 1 << 10 << 2 << allow << 2;
    QTest::newRow("after last, allowed") << 3 << 1 << 10 << 4 << allow << 4;
    QTest::newRow("after last, clamped") << 3 << 1 << 10 << 4 << clamp << 3;
    QTest::newRow("past the cells") << 3 << 1 << 10 << 8 << allow << 3;
    QTest::newRow("past the range") << 8 << 1 << 5 << 7 << clamp << 5;
    QTest::newRow("before the range") << 8 << 4 << 6 << 2 << allow << 4;
    QTest::newRow("after last beyond the range") << 8 << 1 << 5 << 9 << allow << 9;
    QTest::newRow("range starts after the layer") << 3 << 5 << 10 << 2 << allow << -1;
    QTest::newRow("range starts after the last cell") << 4 << 5 << 10 << 2 << clamp << 5;
    QTest::newRow("range starts after the last cell, late") << 4 << 5 << 10 << 9 << allow << 5;
    QTest::newRow("frame zero") << 3 << 1 << 10 << 0 << allow << -1;
}

void TestSceneFrames::activeFrameRule()
{
    QFETCH(int, cells);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, frame);
    QFETCH(Scene::SetFrameBehaviour, behaviour);
    QFETCH(int, expected);

    Scene scene;
    addStrokeLayer(scene, QString(cells, u'X'));
    addStrokeLayer(scene, QString(10, u'X'));
    scene.setFrameRange(first, last, first, 1);
    QCOMPARE(scene.activeLayerIdx(), 1);
    const int before = scene.activeFrame();
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);

    const bool changed = scene.setActiveFrameAndLayer(frame, 0, behaviour);

    QCOMPARE(changed, expected != -1);
    QCOMPARE(scene.activeFrame(), expected != -1 ? expected : before);
    QCOMPARE(scene.activeLayerIdx(), expected != -1 ? 0 : 1);
    QCOMPARE(active.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(active.first(), (QVariantList{expected, 0}));
}

// A request for the frame and layer already active.
void TestSceneFrames::repeatedRequests_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<Scene::SetFrameBehaviour>("behaviour");
    QTest::addColumn<int>("expected"); // -1: nothing happens

    QTest::newRow("on a cell, allowed") << 2 << Scene::AllowFrameAfterLast << -1;
    QTest::newRow("on a cell, clamped") << 2 << Scene::ClampToDrawings << -1;
    QTest::newRow("after last, allowed") << 4 << Scene::AllowFrameAfterLast << -1;
    QTest::newRow("after last, clamped") << 4 << Scene::ClampToDrawings << 3;
}

void TestSceneFrames::repeatedRequests()
{
    QFETCH(int, frame);
    QFETCH(Scene::SetFrameBehaviour, behaviour);
    QFETCH(int, expected);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXX"));
    addStrokeLayer(scene, QString(10, u'X'));
    scene.setFrameRange(1, 10, frame, 0);
    QCOMPARE(scene.activeFrame(), frame);
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);

    QCOMPARE(scene.setActiveFrameAndLayer(frame, 0, behaviour), expected != -1);
    QCOMPARE(scene.activeFrame(), expected != -1 ? expected : frame);
    QCOMPARE(active.count(), expected != -1 ? 1 : 0);
}

void TestSceneFrames::nonVisualLayersAreNeverActive_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("layer");

    QTest::newRow("audio") << "audio" << 1;
    QTest::newRow("annotation") << "annotation" << 1;
    QTest::newRow("no such layer") << "stroke" << 7;
    QTest::newRow("no layer at all") << "stroke" << -1;
}

void TestSceneFrames::nonVisualLayersAreNeverActive()
{
    QFETCH(QString, kind);
    QFETCH(int, layer);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXX"));
    addLayerOfKind(scene, kind);
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);

    for (const auto behaviour : {Scene::AllowFrameAfterLast, Scene::ClampToDrawings})
        QVERIFY(!scene.setActiveFrameAndLayer(1, layer, behaviour));
    QCOMPARE(scene.activeLayerIdx(), 0);
    QCOMPARE(active.count(), 0);
}

void TestSceneFrames::frameRange_data()
{
    QTest::addColumn<int>("frames"); // the maximum frame number
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("announced");

    QTest::newRow("inside") << 10 << 3 << 7 << 3 << 7 << true;
    QTest::newRow("one frame widens down") << 10 << 3 << 3 << 2 << 3 << true;
    QTest::newRow("first frame widens up") << 10 << 1 << 1 << 1 << 2 << true;
    QTest::newRow("single-frame scene") << 1 << 1 << 1 << 1 << 1 << false;
    QTest::newRow("reversed") << 10 << 8 << 4 << 1 << 1 << false;
    QTest::newRow("clamped to the frames") << 10 << -4 << 99 << 1 << 10 << true;
    QTest::newRow("past the end widens down") << 10 << 12 << 15 << 9 << 10 << true;
}

void TestSceneFrames::frameRange()
{
    QFETCH(int, frames);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, announced);

    Scene scene;
    addStrokeLayer(scene, QString(frames, u'X'));
    QSignalSpy range(&scene, &Scene::frameRangeChanged);

    QCOMPARE(scene.setFrameRange(lower, upper, scene.activeFrame(), 0), announced);

    QCOMPARE(scene.frameRangeFirst(), first);
    QCOMPARE(scene.frameRangeLast(), last);
    QCOMPARE(range.count(), announced ? 1 : 0);
    if (announced)
        QCOMPARE(range.first(), (QVariantList{first, last}));
    QVERIFY(scene.activeFrame() >= first && scene.activeFrame() <= last);
}

void TestSceneFrames::frameRangeMovesTheActiveFrame()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXX"));   // 0
    addStrokeLayer(scene, QString(10, u'X'));       // 1
    scene.setFrameRange(1, 10, 8, 1);
    QCOMPARE(scene.activeFrame(), 8);
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);
    QSignalSpy offPegs(&scene, &Scene::offPegsTransformChanged);

    scene.setFrameRange(2, 5, 8, 1);
    QCOMPARE(scene.activeFrame(), 5);
    QCOMPARE(active.last(), (QVariantList{5, 1}));
    QCOMPARE(offPegs.count(), 1);

    // A wanted layer that does not reach the range gives way to the next
    // one above it that does.
    scene.moveLayer(1, 1, 0);
    scene.setFrameRange(5, 9, 5, 0);
    QCOMPARE(scene.activeLayerIdx(), 1);
    QCOMPARE(scene.activeFrame(), 5);

    // The empty frame after the last cell may stay active.
    scene.setFrameRange(1, 9, 4, 0);
    QCOMPARE(scene.activeLayerIdx(), 0);
    QCOMPARE(scene.activeFrame(), 4);
}

void TestSceneFrames::frameRate_data()
{
    QTest::addColumn<double>("requested");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("stored");

    QTest::newRow("ordinary") << 24.0 << true << 24.0;
    QTest::newRow("too fast") << 75.0 << true << 60.0;
    QTest::newRow("very slow") << 0.01 << true << 0.1;
    QTest::newRow("same rate, all but equal") << 12.000000000001 << true << 12.0;
    QTest::newRow("zero") << 0.0 << false << 12.0;
    QTest::newRow("negative") << -24.0 << false << 12.0;
    QTest::newRow("not a number") << std::nan("") << false << 12.0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << false << 12.0;
}

void TestSceneFrames::frameRate()
{
    QFETCH(double, requested);
    QFETCH(bool, accepted);
    QFETCH(double, stored);

    Scene scene;
    QCOMPARE(scene.frameRate(), 12.0);
    QSignalSpy rate(&scene, &Scene::frameRateChanged);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    QCOMPARE(scene.setFrameRate(requested), accepted);

    QCOMPARE(scene.frameRate(), stored);
    const bool changed = stored != 12.0;
    QCOMPARE(rate.count(), changed ? 1 : 0);
    QCOMPARE(layers.count(), changed ? 1 : 0);
    if (changed) {
        QCOMPARE(rate.first().first().toDouble(), stored);
        QCOMPARE(layers.first(), (QVariantList{-1, -1}));
    }
}

void TestSceneFrames::frameSize_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("changed");

    QTest::newRow("larger") << QSize(128, 96) << true << true;
    QTest::newRow("one pixel") << QSize(1, 1) << true << true;
    QTest::newRow("same") << FrameSize << true << false;
    QTest::newRow("no width") << QSize(0, 48) << false << false;
    QTest::newRow("no height") << QSize(64, 0) << false << false;
    QTest::newRow("negative") << QSize(-64, 48) << false << false;
    QTest::newRow("invalid") << QSize() << false << false;
}

void TestSceneFrames::frameSize()
{
    QFETCH(QSize, requested);
    QFETCH(bool, accepted);
    QFETCH(bool, changed);

    Scene scene;
    QVERIFY(scene.setFrameSize(FrameSize, KL::FitMode::FitModeStretch));
    const int layer = addStrokeLayer(scene, QStringLiteral("X-X"));
    QSignalSpy aboutToChange(&scene, &Scene::frameSizeAboutToChange);
    QSignalSpy sizeChanged(&scene, &Scene::frameSizeChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QCOMPARE(scene.setFrameSize(requested, KL::FitMode::FitModeKeepAspect), accepted);

    const QSize expected = changed ? requested : FrameSize;
    QCOMPARE(scene.frameSize(), expected);
    QCOMPARE(qobject_cast<VisualLayer *>(scene.layerAt(layer).get())->frameSize(), expected);
    QCOMPARE(aboutToChange.count(), changed ? 1 : 0);
    QCOMPARE(sizeChanged.count(), changed ? 1 : 0);
    QCOMPARE(rects.count(), changed ? 1 : 0);
    if (changed)
        QCOMPARE(rects.first().first().toRect(), QRect(QPoint(0, 0), requested));
}

// The scene has 5 frames; the scrub frame starts at 3.
void TestSceneFrames::scrubFrame_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("scrubSignals");
    QTest::addColumn<int>("activeSignals");

    QTest::newRow("another frame") << 5 << 5 << 1 << 0;
    QTest::newRow("same frame") << 3 << 3 << 0 << 0;
    QTest::newRow("cleared") << -1 << -1 << 1 << 1;
    QTest::newRow("below one clears") << 0 << -1 << 1 << 1;
    QTest::newRow("past the end keeps it") << 10 << 3 << 1 << 0;
}

void TestSceneFrames::scrubFrame()
{
    QFETCH(int, frame);
    QFETCH(int, stored);
    QFETCH(int, scrubSignals);
    QFETCH(int, activeSignals);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXXXX"));
    scene.setScrubFrame(3);
    QSignalSpy scrub(&scene, &Scene::scrubFrameChanged);
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);

    scene.setScrubFrame(frame);

    QCOMPARE(scene.scrubFrame(), stored);
    QCOMPARE(scene.isScrubFrame(3), stored == 3);
    QCOMPARE(scrub.count(), scrubSignals);
    if (scrubSignals)
        QCOMPARE(scrub.first(), (QVariantList{stored, 3}));
    QCOMPARE(active.count(), activeSignals);
}

void TestSceneFrames::activeFrameChangeClearsTheScrubFrame()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXXXX"));
    scene.setFrameRange(1, 5, 1, 0);
    scene.setScrubFrame(4);
    QStringList log;
    connect(&scene, &Scene::scrubFrameChanged, this,
            [&](int current, int previous) { log << QStringLiteral("scrub %1 %2").arg(current).arg(previous); });
    connect(&scene, &Scene::activeFrameAndLayerChanged, this,
            [&](int frame, int layer) { log << QStringLiteral("active %1 %2").arg(frame).arg(layer); });

    QVERIFY(scene.setActiveFrameAndLayer(2, 0, Scene::AllowFrameAfterLast));

    QCOMPARE(scene.scrubFrame(), -1);
    QCOMPARE(log.value(0), QStringLiteral("scrub -1 4"));
    QCOMPARE(log.value(1), QStringLiteral("active 2 0"));
}

void TestSceneFrames::scrubbingMode()
{
    Scene scene;
    QVERIFY(!scene.isScrubbing());
    QVERIFY(!scene.stopScrubbing());
    QVERIFY(scene.startScrubbing());
    QVERIFY(!scene.startScrubbing());
    QVERIFY(scene.isScrubbing());
    QVERIFY(scene.stopScrubbing());
    QVERIFY(!scene.isScrubbing());
}

QTEST_MAIN(TestSceneFrames)
#include "tst_sceneframes.moc"
