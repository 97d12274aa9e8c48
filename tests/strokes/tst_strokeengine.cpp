#include "render/alphacomposition.h"
#include "settings/settings.h"
#include "strokes/strokeengine.h"
#include "support/testsupport.h"
#include "tools/pentool.h"
#include "tools/toolmanager.h"

#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

using namespace Model;
using namespace TestSupport;

namespace {

// A marker of 4 to 12 pixels across.
std::unique_ptr<PenTool> marker()
{
    auto tool = std::make_unique<PenTool>(Tool::PenType::Marker);
    tool->setSizeRangeLimits(4.0, 12.0);
    return tool;
}

QList<QRect> rects(const QSignalSpy &spy)
{
    QList<QRect> result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.at(0).toRect());
    return result;
}

QTimer *timer(const StrokeEngine &engine, const char *name)
{
    return engine.findChild<QTimer *>(QLatin1StringView(name));
}

void tick(StrokeEngine &engine, const char *slot)
{
    QVERIFY(QMetaObject::invokeMethod(&engine, slot));
}

} // namespace

class TestStrokeEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Without a stroke
    void idleEngineIgnoresInput();

    // Samples and rectangles
    void rectanglesInOwnerCoordinates_data();
    void rectanglesInOwnerCoordinates();
    void reportedRectanglesCoverTheInk();
    void nearSamplesAreDropped_data();
    void nearSamplesAreDropped();
    void currentToolWhenNoneIsGiven_data();
    void currentToolWhenNoneIsGiven();

    // Timers
    void updateTickRefitsTowardsThePen();
    void finishTickClosesTheGapAndKeepsTheStroke();
    void timersRunOnTheirOwn();
    void acceptedSamplesRestartTheTimers();

    // Handing over
    void endStrokeHandsOverAFinishedStroke();
    void secondBeginDiscardsTheFirstStroke();

private:
    bool m_gl = false;
    std::unique_ptr<PenTool> m_marker = marker();
};

void TestStrokeEngine::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_strokeengine"));
    QSettings().clear();
    ToolManager::instance()->createTools();

    m_gl = startRenderer(QSize(256, 256));
}

// Without a stroke

void TestStrokeEngine::idleEngineIgnoresInput()
{
    StrokeEngine engine;
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);
    QSignalSpy active(&engine, &StrokeEngine::hasActiveStrokeChanged);

    engine.addPoint(sample({10, 10}));
    tick(engine, "updateTick");
    tick(engine, "finishTick");
    QVERIFY(!engine.endStroke());

    QVERIFY(!engine.hasActiveStroke());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(active.count(), 0);
}

// Samples and rectangles

void TestStrokeEngine::rectanglesInOwnerCoordinates_data()
{
    QTest::addColumn<QRect>("canvas");
    QTest::newRow("canvas at the origin") << QRect(0, 0, 200, 120);
    QTest::newRow("canvas at (100, 50)") << QRect(100, 50, 200, 120);
    QTest::newRow("canvas left of and below the origin") << QRect(-40, 300, 160, 90);
}

// The engine reports what a stroke of the canvas's size would report for the
// same samples taken relative to the canvas, moved back onto the owner.
void TestStrokeEngine::rectanglesInOwnerCoordinates()
{
    QFETCH(QRect, canvas);
    const QList<QPointF> inside{{10, 10}, {40, 18}, {70, 35}, {95, 60}, {150, 100}};

    StrokeEngine engine;
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);
    SingleStroke reference(canvas.size(), m_marker.get());
    QList<QRect> expected;

    engine.beginStroke(canvas, sample(inside.first() + canvas.topLeft()), m_marker.get());
    reference.addPoint(sample(inside.first()));
    expected.append(reference.updateMask().translated(canvas.topLeft()));
    for (qsizetype i = 1; i < inside.size(); ++i) {
        engine.addPoint(sample(inside.at(i) + canvas.topLeft()));
        reference.addPoint(sample(inside.at(i)));
        expected.append(reference.updateMask().translated(canvas.topLeft()));
    }
    tick(engine, "updateTick");
    reference.update();
    expected.append(reference.updateMask().translated(canvas.topLeft()));
    tick(engine, "finishTick");
    reference.finish();
    expected.append(reference.updateMask().translated(canvas.topLeft()));

    QCOMPARE(rects(changed), expected);
    for (const QRect &rect : rects(changed))
        QVERIFY2(canvas.contains(rect), qPrintable(describe(rect)));
    // The first sample's dab is reported around the pen, in owner coordinates.
    QVERIFY(rects(changed).first().contains((inside.first() + canvas.topLeft()).toPoint()));

    const std::unique_ptr<SingleStroke> stroke = engine.endStroke();
    QVERIFY(stroke);
    QCOMPARE(stroke->inputPoints().first().position(), inside.first());
    QCOMPARE(stroke->inputPoints().last().position(), inside.last());
}

// An owner that repaints only the reported rectangles shows all the ink.
void TestStrokeEngine::reportedRectanglesCoverTheInk()
{
    if (!m_gl)
        QSKIP(NoOpenGL);

    const QRect canvas(100, 50, 240, 160);
    StrokeEngine engine;
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);
    engine.beginStroke(canvas, sample({120, 70}, 0.4), m_marker.get());
    for (int i = 1; i <= 12; ++i) {
        engine.addPoint(sample({120.0 + i * 15, 70.0 + (i % 4) * 25}, 0.4 + i * 0.05));
        if (i % 3 == 0)
            tick(engine, "updateTick");
    }
    tick(engine, "finishTick");
    const std::unique_ptr<SingleStroke> stroke = engine.endStroke();
    QVERIFY(stroke);

    QImage unreported = stroke->image().copy();
    QVERIFY(!unreported.isNull());
    QCOMPARE(unreported.size(), canvas.size());
    QVERIFY2(unreported != QImage(unreported.size(), QImage::Format_Alpha8), "the stroke left no ink");
    for (const QRect &rect : rects(changed))
        fillAlphaRect(unreported, rect.translated(-canvas.topLeft()), 0);
    QImage blank(unreported.size(), QImage::Format_Alpha8);
    blank.fill(0);
    QCOMPARE(unreported, blank);
}

void TestStrokeEngine::nearSamplesAreDropped_data()
{
    QTest::addColumn<QPointF>("step");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("same place") << QPointF(0, 0) << false;
    QTest::newRow("half a pixel both ways") << QPointF(0.5, -0.5) << false;
    QTest::newRow("just under a pixel") << QPointF(0.99, 0) << false;
    QTest::newRow("one pixel") << QPointF(0, 1) << true;
    QTest::newRow("two pixels") << QPointF(-2, 0) << true;
}

void TestStrokeEngine::nearSamplesAreDropped()
{
    QFETCH(QPointF, step);
    QFETCH(bool, accepted);

    const QRect canvas(100, 50, 200, 120);
    const QPointF first(160, 100);
    StrokeEngine engine;
    engine.beginStroke(canvas, sample(first), m_marker.get());
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);

    engine.addPoint(sample(first + step));

    QCOMPARE(changed.count(), accepted ? 1 : 0);
    const std::unique_ptr<SingleStroke> stroke = engine.endStroke();
    QCOMPARE(stroke->inputPoints().size(), accepted ? 2 : 1);
}

void TestStrokeEngine::currentToolWhenNoneIsGiven_data()
{
    QTest::addColumn<Tool::Type>("current");
    QTest::addColumn<bool>("eraser");
    QTest::newRow("pen") << Tool::Type::Pen << false;
    QTest::newRow("eraser") << Tool::Type::Eraser << true;
}

void TestStrokeEngine::currentToolWhenNoneIsGiven()
{
    QFETCH(Tool::Type, current);
    QFETCH(bool, eraser);

    ToolManager::instance()->setCurrentTool(current);
    StrokeEngine engine;
    engine.beginStroke(QRect(0, 0, 100, 100), sample({50, 50}), nullptr);
    const std::unique_ptr<SingleStroke> stroke = engine.endStroke();
    ToolManager::instance()->setCurrentTool(Tool::Type::None);

    QVERIFY(stroke);
    QCOMPARE(stroke->isEraserStroke(), eraser);
    QCOMPARE(stroke->isPenStroke(), !eraser);
    // The current tool is a drawing tool, so the first sample made a dab.
    QVERIFY(!stroke->isEmpty());
}

// Timers

void TestStrokeEngine::updateTickRefitsTowardsThePen()
{
    const QRect canvas(100, 50, 300, 100);
    StrokeEngine engine;
    engine.beginStroke(canvas, sample({110, 100}), m_marker.get());
    engine.addPoint(sample({310, 100}));
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);

    // The fit lags behind the pen; each tick takes it closer and reports the
    // newest piece of the line together with the pen's place.
    int left = 0;
    for (int i = 0; i < 3; ++i) {
        tick(engine, "updateTick");
        QCOMPARE(changed.count(), i + 1);
        const QRect rect = changed.at(i).at(0).toRect();
        QVERIFY2(rect.left() > left, qPrintable(describe(rect)));
        QVERIFY(rect.contains(QPoint(310, 100)));
        left = rect.left();
    }
    QVERIFY(engine.hasActiveStroke());
}

void TestStrokeEngine::finishTickClosesTheGapAndKeepsTheStroke()
{
    const QRect canvas(100, 50, 300, 100);
    StrokeEngine engine;
    engine.beginStroke(canvas, sample({110, 100}), m_marker.get());
    engine.addPoint(sample({310, 100}));
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);
    QSignalSpy active(&engine, &StrokeEngine::hasActiveStrokeChanged);

    tick(engine, "finishTick");

    // One piece from where the fit stood (at 230) all the way to the pen.
    QCOMPARE(changed.count(), 1);
    QVERIFY(changed.at(0).at(0).toRect().contains(QRect(230, 100, 81, 1)));
    QVERIFY(!timer(engine, "updateTimer")->isActive());
    QVERIFY(!timer(engine, "finishTimer")->isActive());
    QVERIFY(engine.hasActiveStroke());
    QCOMPARE(active.count(), 0);

    // The pen goes on: the stroke takes the sample and the timers run again.
    engine.addPoint(sample({330, 120}));
    QCOMPARE(changed.count(), 2);
    QVERIFY(timer(engine, "updateTimer")->isActive());
    QVERIFY(timer(engine, "finishTimer")->isActive());
    QCOMPARE(engine.endStroke()->inputPoints().size(), 3);
}

void TestStrokeEngine::timersRunOnTheirOwn()
{
    const QRect canvas(100, 50, 300, 100);
    StrokeEngine engine;
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);
    engine.beginStroke(canvas, sample({110, 100}), m_marker.get());
    engine.addPoint(sample({310, 100}));
    const qsizetype afterSamples = changed.count();

    // Refits come while the pen rests, then the finish stops them. How many
    // refits come first depends on how often a busy machine turns the event
    // loop; at least one does, as the refit timer comes due first. Only
    // timers that never stop make the wait run out.
    QTRY_VERIFY_WITH_TIMEOUT(!timer(engine, "finishTimer")->isActive(), 60000);
    QVERIFY(changed.count() >= afterSamples + 2);
    QVERIFY(!timer(engine, "updateTimer")->isActive());
    QVERIFY(changed.last().at(0).toRect().contains(QPoint(310, 100)));
    QVERIFY(engine.hasActiveStroke());
}

// The finish timer's time is let run out with the event loop standing, so
// that it cannot fire however long that takes: a rejected sample leaves it
// run out, an accepted one starts it again.
void TestStrokeEngine::acceptedSamplesRestartTheTimers()
{
    StrokeEngine engine;
    engine.beginStroke(QRect(0, 0, 300, 100), sample({10, 50}), m_marker.get());
    QTimer *finish = timer(engine, "finishTimer");
    QCOMPARE(finish->interval(), 500);
    while (finish->remainingTime() > 0)
        QThread::msleep(10);
    QVERIFY(finish->isActive());

    engine.addPoint(sample({10.5, 50}));
    QCOMPARE(finish->remainingTime(), 0);

    engine.addPoint(sample({40, 50}));
    QVERIFY(finish->isActive());
    QVERIFY2(finish->remainingTime() > 0, qPrintable(QString::number(finish->remainingTime())));
    QVERIFY(timer(engine, "updateTimer")->isActive());
}

// Handing over

void TestStrokeEngine::endStrokeHandsOverAFinishedStroke()
{
    const QRect canvas(100, 50, 300, 100);
    StrokeEngine engine;
    engine.beginStroke(canvas, sample({110, 100}), m_marker.get());
    engine.addPoint(sample({310, 100}));
    QSignalSpy changed(&engine, &StrokeEngine::rectChanged);
    QSignalSpy active(&engine, &StrokeEngine::hasActiveStrokeChanged);

    const std::unique_ptr<SingleStroke> stroke = engine.endStroke();

    QVERIFY(stroke);
    // Fitted all the way to the pen, although no tick came.
    QCOMPARE(stroke->path().currentPosition(), QPointF(210, 50));
    QCOMPARE(stroke->image().size(), canvas.size());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(active.count(), 1);
    QCOMPARE(active.at(0).at(0).toBool(), false);
    QVERIFY(!engine.hasActiveStroke());
    QVERIFY(!timer(engine, "updateTimer")->isActive());
    QVERIFY(!timer(engine, "finishTimer")->isActive());

    QVERIFY(!engine.endStroke());
    QCOMPARE(active.count(), 1);
}

void TestStrokeEngine::secondBeginDiscardsTheFirstStroke()
{
    StrokeEngine engine;
    QSignalSpy active(&engine, &StrokeEngine::hasActiveStrokeChanged);
    engine.beginStroke(QRect(0, 0, 200, 100), sample({10, 10}), m_marker.get());
    engine.addPoint(sample({60, 40}));
    engine.beginStroke(QRect(0, 0, 200, 100), sample({150, 80}), m_marker.get());

    QCOMPARE(active.count(), 3);
    QCOMPARE(active.at(0).at(0).toBool(), true);
    QCOMPARE(active.at(1).at(0).toBool(), false);
    QCOMPARE(active.at(2).at(0).toBool(), true);

    const std::unique_ptr<SingleStroke> stroke = engine.endStroke();
    QCOMPARE(stroke->inputPoints().size(), 1);
    QCOMPARE(stroke->inputPoints().first().position(), QPointF(150, 80));
}

QTEST_MAIN(TestStrokeEngine)
#include "tst_strokeengine.moc"
