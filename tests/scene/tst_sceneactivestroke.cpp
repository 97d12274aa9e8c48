#include "scene/scene.h"

#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "settings/settings.h"
#include "strokes/bitmapstroke.h"
#include "support/testsupport.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QPainter>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Model;
using namespace TestSupport;

namespace {

const QSize StrokeFrameSize(200, 120);

// A scene of one stroke layer of two cells, the first active.
int addLayer(Scene &scene, const QColor &color)
{
    auto layer = std::make_shared<StrokeLayer>(color, scene.frameSize(), &scene);
    layer->insertCell(1, layer->newCell());
    return scene.insertLayer(layer, scene.layerCount());
}

void tick(Scene &scene, const char *slot)
{
    QVERIFY(QMetaObject::invokeMethod(&scene, slot));
}

QImage blankPicture(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

class TestSceneActiveStroke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Samples
    void samplesWithoutAStrokeAreIgnored();
    void nearSamplesAreDropped_data();
    void nearSamplesAreDropped();
    void strokeTakesTheCurrentTool_data();
    void strokeTakesTheCurrentTool();
    void reportedRectanglesCoverTheInk();

    // Timers
    void updateTimerRefitsTowardsThePen();
    void finishTimerFitsAllTheWayAndKeepsTheStroke();
    void timersStopHalfASecondAfterTheLastSample();

    // Handing over
    void takeHandsOverAFinishedStroke();
    void beginDiscardsAHeldStroke();

    // Painting while drawing
    void pendingLine_data();
    void pendingLine();
    void liveFrameShowsTheStrokeOnTop();

private:
    bool m_gl = false;
};

void TestSceneActiveStroke::initTestCase()
{
    m_gl = startRenderer(QSize(256, 256));
    ToolManager::instance()->createTools();
}

void TestSceneActiveStroke::init()
{
    QSettings().clear();
    Settings::instance()->setDefaultFrameSize(StrokeFrameSize);
    ToolManager *tools = ToolManager::instance();
    tools->setCurrentPenToolType(Tool::PenType::Marker);
    tools->setCurrentTool(Tool::Type::Pen);
    // A pen of 4 to 12 pixels across, fully opaque at full pressure.
    auto *pen = qobject_cast<DrawingTool *>(tools->tool(Tool::Type::Pen));
    QVERIFY(pen);
    pen->setSizeRangeLimits(4.0, 12.0);
    pen->setOpacityRangePercent(100.0, 100.0);
}

void TestSceneActiveStroke::cleanup()
{
    ToolManager::instance()->setCurrentTool(Tool::Type::None);
}

// Samples

void TestSceneActiveStroke::samplesWithoutAStrokeAreIgnored()
{
    Scene scene;
    addLayer(scene, Qt::blue);
    QSignalSpy changed(&scene, &Scene::rectChanged);
    QSignalSpy active(&scene, &Scene::hasActiveStrokeChanged);

    scene.addStrokePoint(sample({20, 20}));
    tick(scene, "strokeUpdateTimeout");
    tick(scene, "strokeFinishTimeout");
    QVERIFY(!scene.takeActiveStroke());

    QVERIFY(!scene.hasActiveStroke());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(active.count(), 0);
}

void TestSceneActiveStroke::nearSamplesAreDropped_data()
{
    QTest::addColumn<QPointF>("step");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("same place") << QPointF(0, 0) << false;
    QTest::newRow("half a pixel both ways") << QPointF(0.5, -0.5) << false;
    QTest::newRow("just under a pixel") << QPointF(0.99, 0) << false;
    QTest::newRow("one pixel") << QPointF(0, 1) << true;
    QTest::newRow("three pixels") << QPointF(-3, 0) << true;
}

void TestSceneActiveStroke::nearSamplesAreDropped()
{
    QFETCH(QPointF, step);
    QFETCH(bool, accepted);

    Scene scene;
    addLayer(scene, Qt::blue);
    const QPointF first(100, 60);
    scene.beginStroke(sample(first));
    QSignalSpy changed(&scene, &Scene::rectChanged);

    scene.addStrokePoint(sample(first + step));

    QCOMPARE(changed.count(), accepted ? 1 : 0);
    QCOMPARE(scene.activeStroke()->inputPoints().size(), accepted ? 2 : 1);
}

void TestSceneActiveStroke::strokeTakesTheCurrentTool_data()
{
    QTest::addColumn<Tool::Type>("current");
    QTest::addColumn<bool>("eraser");
    QTest::newRow("pen") << Tool::Type::Pen << false;
    QTest::newRow("eraser") << Tool::Type::Eraser << true;
}

void TestSceneActiveStroke::strokeTakesTheCurrentTool()
{
    QFETCH(Tool::Type, current);
    QFETCH(bool, eraser);

    ToolManager::instance()->setCurrentTool(current);
    Scene scene;
    addLayer(scene, Qt::blue);
    scene.beginStroke(sample({100, 60}));

    QVERIFY(scene.hasActiveStroke());
    QCOMPARE(scene.activeStroke()->isEraserStroke(), eraser);
    QCOMPARE(scene.activeStroke()->image().size(), StrokeFrameSize);
}

// A canvas that repaints only the reported rectangles shows all the ink.
void TestSceneActiveStroke::reportedRectanglesCoverTheInk()
{
    REQUIRE_GL();

    Scene scene;
    addLayer(scene, Qt::blue);
    QSignalSpy changed(&scene, &Scene::rectChanged);
    scene.beginStroke(sample({20, 20}, 0.4));
    for (int i = 1; i <= 12; ++i) {
        scene.addStrokePoint(sample({20.0 + i * 13, 20.0 + (i % 4) * 25}, 0.4 + i * 0.05));
        if (i % 3 == 0)
            tick(scene, "strokeUpdateTimeout");
    }
    tick(scene, "strokeFinishTimeout");

    QImage unreported = scene.activeStroke()->image().copy();
    QVERIFY2(unreported != QImage(unreported.size(), QImage::Format_Alpha8), "the stroke left no ink");
    for (const QList<QVariant> &arguments : std::as_const(changed)) {
        const QRect rect = arguments.at(0).toRect();
        QVERIFY2(scene.frameRect().contains(rect) || rect.isNull(), qPrintable(describe(rect)));
        fillAlphaRect(unreported, rect, 0);
    }
    QImage blank(unreported.size(), QImage::Format_Alpha8);
    blank.fill(0);
    QCOMPARE(unreported, blank);
}

// Timers

void TestSceneActiveStroke::updateTimerRefitsTowardsThePen()
{
    Scene scene;
    addLayer(scene, Qt::blue);
    scene.beginStroke(sample({10, 60}));
    scene.addStrokePoint(sample({190, 60}));
    QSignalSpy changed(&scene, &Scene::rectChanged);

    // The fit lags behind the pen; each refit takes it closer.
    double reached = scene.activeStroke()->path().currentPosition().x();
    for (int i = 0; i < 3; ++i) {
        tick(scene, "strokeUpdateTimeout");
        QCOMPARE(changed.count(), i + 1);
        const double now = scene.activeStroke()->path().currentPosition().x();
        QVERIFY2(now > reached && now < 190.0, qPrintable(QString::number(now)));
        reached = now;
    }
    QVERIFY(scene.hasActiveStroke());
}

void TestSceneActiveStroke::finishTimerFitsAllTheWayAndKeepsTheStroke()
{
    Scene scene;
    addLayer(scene, Qt::blue);
    scene.beginStroke(sample({10, 60}));
    scene.addStrokePoint(sample({190, 60}));
    QSignalSpy changed(&scene, &Scene::rectChanged);
    QSignalSpy active(&scene, &Scene::hasActiveStrokeChanged);

    tick(scene, "strokeFinishTimeout");

    QCOMPARE(changed.count(), 1);
    QCOMPARE(scene.activeStroke()->path().currentPosition(), QPointF(190, 60));
    QVERIFY(scene.hasActiveStroke());
    QCOMPARE(active.count(), 0);

    // The pen goes on: the complete stroke takes the next sample.
    scene.addStrokePoint(sample({190, 100}));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(scene.activeStroke()->inputPoints().size(), 3);
}

// Refits come while the pen rests; half a second after the last sample the
// stroke is fitted to the pen once, and then the timers fall silent. The
// silence is measured against a clock of the test's own that ticks no more
// often than the refits come: however slowly a busy machine turns the event
// loop, the refit timer, while it runs, fires between any two of its ticks,
// so ten ticks without a change mean that both timers have stopped.
void TestSceneActiveStroke::timersStopHalfASecondAfterTheLastSample()
{
    Scene scene;
    addLayer(scene, Qt::blue);
    QSignalSpy changed(&scene, &Scene::rectChanged);
    scene.beginStroke(sample({10, 60}));
    scene.addStrokePoint(sample({190, 60}));
    const qsizetype afterSamples = changed.count();

    QTimer clock;
    clock.setInterval(25);
    qsizetype seen = changed.count();
    int quietTicks = 0;
    connect(&clock, &QTimer::timeout, this, [&] {
        quietTicks = changed.count() == seen ? quietTicks + 1 : 0;
        seen = changed.count();
    });
    clock.start();
    // Only timers that never stop make this run out.
    QTRY_VERIFY_WITH_TIMEOUT(quietTicks >= 10, 60000);
    clock.stop();

    // At least one refit, then the finish: the refit timer comes due first
    // however late the event loop turns.
    QVERIFY(changed.count() >= afterSamples + 2);
    QVERIFY(scene.hasActiveStroke());
    // Within a pixel of the pen: a shorter rest is below the fit's smallest step.
    QVERIFY(QLineF(scene.activeStroke()->path().currentPosition(), QPointF(190, 60)).length() < 1.0);
}

// Handing over

void TestSceneActiveStroke::takeHandsOverAFinishedStroke()
{
    Scene scene;
    addLayer(scene, Qt::blue);
    scene.beginStroke(sample({10, 60}));
    scene.addStrokePoint(sample({190, 60}));
    QSignalSpy changed(&scene, &Scene::rectChanged);
    QSignalSpy active(&scene, &Scene::hasActiveStrokeChanged);
    bool heldWhenAnnounced = true;
    connect(&scene, &Scene::hasActiveStrokeChanged, this,
            [&scene, &heldWhenAnnounced] { heldWhenAnnounced = scene.hasActiveStroke(); });

    const std::unique_ptr<SingleStroke> stroke = scene.takeActiveStroke();

    QVERIFY(stroke);
    // Fitted all the way to the pen, although no timer fired.
    QCOMPARE(stroke->path().currentPosition(), QPointF(190, 60));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(active.count(), 1);
    QCOMPARE(active.at(0).at(0).toBool(), false);
    QVERIFY(!heldWhenAnnounced);
    QVERIFY(!scene.hasActiveStroke());

    // Nothing is left to take, and late timer ticks find nothing to do.
    QVERIFY(!scene.takeActiveStroke());
    tick(scene, "strokeUpdateTimeout");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(active.count(), 1);
}

void TestSceneActiveStroke::beginDiscardsAHeldStroke()
{
    Scene scene;
    addLayer(scene, Qt::blue);
    QSignalSpy active(&scene, &Scene::hasActiveStrokeChanged);
    scene.beginStroke(sample({10, 10}));
    scene.addStrokePoint(sample({60, 40}));
    scene.beginStrokeWithVector(sample({150, 80}), QPointF(140, 80));

    QCOMPARE(active.count(), 3);
    QCOMPARE(active.at(0).at(0).toBool(), true);
    QCOMPARE(active.at(1).at(0).toBool(), false);
    QCOMPARE(active.at(2).at(0).toBool(), true);
    QCOMPARE(scene.activeStroke()->inputPoints().size(), 1);
    QCOMPARE(scene.activeStroke()->inputPoints().first().position(), QPointF(150, 80));
}

// Painting while drawing

void TestSceneActiveStroke::pendingLine_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("shown");
    QTest::newRow("pen on a visible stroke layer") << QStringLiteral("pen") << true;
    QTest::newRow("eraser") << QStringLiteral("eraser") << false;
    QTest::newRow("scrub frame shown") << QStringLiteral("scrub") << false;
    QTest::newRow("hidden layer") << QStringLiteral("hidden") << false;
    QTest::newRow("reference layer active") << QStringLiteral("reference") << false;
}

void TestSceneActiveStroke::pendingLine()
{
    QFETCH(QString, situation);
    QFETCH(bool, shown);

    Scene scene;
    addLayer(scene, Qt::blue);
    if (situation == u"eraser") {
        ToolManager::instance()->setCurrentTool(Tool::Type::Eraser);
    } else if (situation == u"hidden") {
        scene.setLayerVisible(0, false);
    } else if (situation == u"reference") {
        const int reference =
            scene.insertLayer(std::make_shared<ReferenceLayer>(scene.frameSize(), &scene), scene.layerCount());
        QVERIFY(scene.setActiveFrameAndLayer(1, reference, Scene::ClampToDrawings));
    }
    scene.beginStroke(sample({10, 60}));
    scene.addStrokePoint(sample({190, 60}));
    if (situation == u"scrub")
        QVERIFY(scene.setScrubFrame(2));

    QImage image = blankPicture(StrokeFrameSize);
    {
        QPainter painter(&image);
        scene.paintActiveStroke(&painter, QRect(-50, -50, 400, 300), 1.0);
    }

    QCOMPARE(image != blankPicture(StrokeFrameSize), shown);
    if (shown) {
        // The line runs from the fit towards the pen, in the layer's colour.
        const QColor near = image.pixelColor(188, 60);
        QVERIFY(near.alpha() > 0);
        QVERIFY2(near.blue() > 200 && near.red() < 50 && near.green() < 50,
                 qPrintable(near.name(QColor::HexArgb)));
    }
}

// The other layer lies on top in the ordering, yet the stroke drawn on the
// active layer shows above it; the cached pictures stay as they were.
void TestSceneActiveStroke::liveFrameShowsTheStrokeOnTop()
{
    REQUIRE_GL();

    Scene scene;
    const int other = addLayer(scene, Qt::red);
    const int active = addLayer(scene, Qt::blue);
    QImage coverage(StrokeFrameSize, QImage::Format_Alpha8);
    coverage.fill(255);
    auto *otherLayer = qobject_cast<StrokeLayer *>(scene.layerAt(other).get());
    QVERIFY(otherLayer->addStroke(1, std::make_unique<BitmapStroke>(coverage, scene.frameRect())));
    QVERIFY(scene.setActiveFrameAndLayer(1, active, Scene::ClampToDrawings));

    scene.beginStroke(sample({10, 60}));
    for (int x = 20; x <= 190; x += 10)
        scene.addStrokePoint(sample({double(x), 60}));
    tick(scene, "strokeFinishTimeout");

    const auto paint = [&scene](void (Scene::*function)(QPainter *, const QRect &) const) {
        QImage image = blankPicture(StrokeFrameSize);
        QPainter painter(&image);
        (scene.*function)(&painter, QRect(0, 40, 200, 40));
        return image;
    };
    for (const auto function : {&Scene::paintFrame, &Scene::paintCurrentFrame}) {
        const QImage live = paint(function);
        // The marker covers its middle all but fully.
        const QColor stroke = live.pixelColor(100, 60);
        QVERIFY2(stroke.blue() >= 250 && stroke.red() <= 5, qPrintable(stroke.name(QColor::HexArgb)));
        QCOMPARE(live.pixelColor(100, 45), QColor(Qt::red));
        // Outside the rectangle asked for nothing is painted.
        QCOMPARE(live.pixelColor(100, 20).alpha(), 0);
    }

    QVERIFY(scene.takeActiveStroke());
    QCOMPARE(paint(&Scene::paintFrame).pixelColor(100, 60), QColor(Qt::red));
}

QTEST_MAIN(TestSceneActiveStroke)
#include "tst_sceneactivestroke.moc"
