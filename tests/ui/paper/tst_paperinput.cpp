#include "papertesthelpers.h"

#include "paper/holdkey.h"

#include "actions/actionmanager.h"
#include "drawingcontentcommands.h"
#include "drawings/strokedrawing.h"
#include "layercommands.h"
#include "support/testsupport.h"
#include "tools/fixedcursortools.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

using namespace PaperTest;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

int strokesAt(const Model::KLScene &handle, int frame)
{
    const auto item = handle.scene()->itemAt(0, frame);
    const auto drawing = item ? std::dynamic_pointer_cast<Model::StrokeDrawing>(item->drawing()) : nullptr;
    return drawing ? drawing->root().memberCount() : -1;
}

Model::ToolManager *tools()
{
    return Model::ToolManager::instance();
}

Model::DrawingTool *pen()
{
    return qobject_cast<Model::DrawingTool *>(tools()->tool(Model::Tool::Type::Pen));
}

} // namespace

// What pointer and pen input does on the paper: strokes reach the history
// as one command each, after a blank drawing where the frame has none; one
// device holds the paper at a time; broken samples change nothing; and the
// other tools' gestures report what they chose.
class TestPaperInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void strokesReachTheHistory_data();
    void strokesReachTheHistory();
    void mouseAfterPenIsFiltered_data();
    void mouseAfterPenIsFiltered();
    void oneDeviceAtATime_data();
    void oneDeviceAtATime();
    void brokenSamplesAreIgnored_data();
    void brokenSamplesAreIgnored();

    void outlines_data();
    void outlines();
    void scrubOffsets();
    void penAdjustmentSteps_data();
    void penAdjustmentSteps();
    void otherButtons();

private:
    bool m_gl = false;
};

void TestPaperInput::initTestCase()
{
    TestSupport::startModel();
    m_gl = TestSupport::startRenderer(QSize(256, 256));
    followPenAdjustment(this);
}

void TestPaperInput::init()
{
    CommandTest::resetPreferences();
    UI::setHoldKeyResolved(true);
    tools()->setCurrentTool(Model::Tool::Type::Pen, Model::Tool::OwnCursor);
}

void TestPaperInput::cleanup()
{
    Model::KLScene::setCurrent(nullptr);
}

// A stroke across the frame, by tool, device and the state of the active
// cell, and what the history holds afterwards; with an undo during any
// gesture, just the strokes before it, each still there to undo and redo.
void TestPaperInput::strokesReachTheHistory_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<bool>("usePen");
    QTest::addColumn<int>("activeFrame");
    QTest::addColumn<int>("cursorType");
    QTest::addColumn<bool>("holdKeyResolved");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<int>("strokesOfFrame2");
    // Empty: no undo. Else strokes drawn before, how many of them undone,
    // and the history's limit.
    QTest::addColumn<QList<int>>("before");
    // Strokes of the active frame: after the gesture, all undone, all redone.
    QTest::addColumn<QList<int>>("walk");

    const QStringList blankThenDraw{QStringLiteral("Add Blank Drawing"), QStringLiteral("Draw")};
    const QStringList draws{QStringLiteral("Draw"), QStringLiteral("Draw")};
    const int pen = int(Model::Tool::Type::Pen);
    const int eraser = int(Model::Tool::Type::Eraser);
    const QList<int> no;
    QTest::newRow("mouse on the empty frame") << pen << false << 2 << 0 << true << blankThenDraw << 1 << no << no;
    QTest::newRow("pen on the empty frame") << pen << true << 2 << 0 << true << blankThenDraw << 1 << no << no;
    QTest::newRow("mouse on a drawing") << pen << false << 1 << 0 << true << QStringList{"Draw"} << -1 << no << no;
    QTest::newRow("eraser on a drawing") << eraser << true << 1 << 0 << true << QStringList{"Erase"} << -1 << no << no;
    QTest::newRow("hidden layer") << pen << false << 2 << int(Model::Tool::LayerNotVisibleCursor) << true
                                  << QStringList() << -1 << no << no;
    QTest::newRow("forbidden cell") << pen << true << 1 << int(Model::Tool::ForbiddenCursor) << true
                                    << QStringList() << -1 << no << no;
    QTest::newRow("hold key not told apart yet") << pen << true << 2 << 0 << false << QStringList() << -1 << no << no;
    QTest::newRow("the first step, a stroke on the empty frame, an undo during it") << pen << false << 2 << 0 << true
        << QStringList{"|", "Add Blank Drawing", "Draw"} << -1 << QList<int>{0} << QList<int>{-1, -1, 1};
    QTest::newRow("a stroke, an undo during it, two steps undone") << pen << true << 1 << 0 << true
        << QStringList{"Draw", "|", "Draw", "Draw"} << -1 << QList<int>{3, 2} << QList<int>{2, 1, 4};
    QTest::newRow("a stroke, an undo during it, the history full") << pen << false << 1 << 0 << true
        << draws + QStringList{"Draw"} << -1 << QList<int>{3, 0, 3} << QList<int>{4, 1, 4};
    QTest::newRow("lasso, an undo during the outline") << int(Model::Tool::Type::Lasso) << false << 1 << 0 << true
                                                       << draws << -1 << QList<int>{2} << QList<int>{3, 1, 3};
    // A key's step ends the gesture first, as its release would: the undo
    // takes back the key's step.
    QTest::newRow("lasso, a key's step during the outline, an undo") << int(Model::Tool::Type::Lasso) << false << 1
        << 0 << true << draws + QStringList{"|", "Add Clone Drawings"} << -1 << QList<int>{2} << QList<int>{3, 1, 3};
    QTest::newRow("a stroke, New Layer during it") << pen << false << 1 << 0 << true
                                                   << QStringList{"Draw", "New Layer"} << -1 << no << QList<int>{2, 1, 2};
    // A redo would discard the layer under the stroke.
    QTest::newRow("a stroke, a redo during it, Discard Layer undone") << pen << false << 1 << 0 << true
        << QStringList{"Draw"} << -1 << no << QList<int>{2, 1, 2};
    QTest::newRow("cutter, an undo during the outline") << int(Model::Tool::Type::Cutter) << true << 1 << 0 << true
                                                        << draws << -1 << QList<int>{2} << QList<int>{3, 1, 3};
    QTest::newRow("off pegs, an undo during the drag") << int(Model::Tool::Type::OffPegs) << false << 1 << 0 << true
                                                       << draws + QStringList{"Draw"} << -1 << QList<int>{3}
                                                       << QList<int>{4, 1, 4};
}

void TestPaperInput::strokesReachTheHistory()
{
    REQUIRE_GL();
    QFETCH(int, tool);
    QFETCH(bool, usePen);
    QFETCH(int, activeFrame);
    QFETCH(int, cursorType);
    QFETCH(bool, holdKeyResolved);
    QFETCH(QStringList, history);
    QFETCH(int, strokesOfFrame2);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, walk);

    auto handle = makeScene(QStringLiteral("X"));
    QUndoStack *stack = handle->scene()->undoStack();
    stack->setUndoLimit(before.value(2, stack->undoLimit()));
    CommandTest::makeCurrent(*handle, activeFrame, 0);
    if (cursorType == Model::Tool::LayerNotVisibleCursor)
        handle->scene()->setLayerVisible(0, false);
    ShownPaper shown(handle.get());
    // As the main window takes what the paper reports.
    QObject::connect(&shown.paper, &UI::Paper::offPegsTransformChanged, handle.get(), [&handle](const QTransform &to) {
        Model::KLScene::pushCommand(new Commands::OffPegs(handle->scene(), to));
    });
    Pointer pointer(&shown.paper);
    for (int i = 0; i < before.value(0); ++i)
        pointer.stroke(line(shown, {60.0, 40.0 + 10.0 * i}, {140.0, 50.0 + 10.0 * i}));
    for (int i = 0; i < before.value(1); ++i)
        stack->undo();
    const QByteArray tag = QTest::currentDataTag();
    if (tag.contains("redo")) {
        Model::KLScene::pushCommand(new Commands::DiscardLayer(handle->scene(), 0));
        handle->undo();
    }
    // As the main window tells the tool why it cannot draw.
    tools()->setCurrentTool(Model::Tool::Type(tool), cursorType);
    UI::setHoldKeyResolved(holdKeyResolved);
    QSignalSpy pressed(&shown.paper, &UI::Paper::devicePressedChanged);

    // Across the ink of frame 1 (at 2, 2), so that the eraser has ink to take.
    pointer.stroke(line(shown, {1.0, 1.0}, {40.0, 30.0}), usePen, Qt::NoModifier, [&] {
        if (tag.contains("redo"))
            handle->redo();
        if (tag.contains("key"))
            Model::KLScene::pushCommand(new Commands::AddCloneDrawings(handle.get(), handle->currentIndex(), 1));
        if (tag.contains("New Layer"))
            Model::KLScene::pushCommand(new Commands::NewLayer(handle->scene(), Model::Layer::StrokeLayerType));
        if (!before.isEmpty())
            handle->undo();
    });

    QCOMPARE(PaperTest::history(*handle), history);
    QCOMPARE(strokesAt(*handle, 2), strokesOfFrame2);
    QVERIFY(!handle->scene()->hasActiveStroke());
    QCOMPARE(pressed.count(), 2);
    QVERIFY(!shown.paper.devicePressed());
    UI::setHoldKeyResolved(true);
    if (walk.isEmpty())
        return;
    QList<int> walked{strokesAt(*handle, activeFrame)};
    for (const bool back : {true, false}) {
        while (back ? stack->canUndo() : stack->canRedo())
            back ? handle->undo() : handle->redo();
        walked.append(strokesAt(*handle, activeFrame));
    }
    QCOMPARE(walked, walk);
}

// The mouse press that a tablet makes up after a tap: 10 ms and 2 pixels
// (summed across and down) from the last pen press.
void TestPaperInput::mouseAfterPenIsFiltered_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<int>("draws");

    QTest::newRow("5 ms, 1 px") << 5 << QPointF(1.0, 0.0) << 1;
    QTest::newRow("5 ms, 1.9 px summed") << 5 << QPointF(1.0, 0.9) << 1;
    QTest::newRow("12 ms, 1 px") << 12 << QPointF(1.0, 0.0) << 2;
    QTest::newRow("5 ms, 3 px") << 5 << QPointF(0.0, 3.0) << 2;
}

void TestPaperInput::mouseAfterPenIsFiltered()
{
    REQUIRE_GL();
    QFETCH(int, delay);
    QFETCH(QPointF, offset);
    QFETCH(int, draws);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    Pointer pointer(&shown.paper);
    const QPointF tap = shown.at({100.0, 75.0});
    pointer.tablet(QEvent::TabletPress, tap);
    pointer.tablet(QEvent::TabletRelease, tap);

    pointer.step = quint64(delay);
    QVERIFY(pointer.mouse(QEvent::MouseButtonPress, tap + offset));
    pointer.mouse(QEvent::MouseButtonRelease, tap + offset);
    QCOMPARE(PaperTest::history(*handle).count(), draws);
}

// Whatever a second device does while the first holds the paper, there is
// one stroke, by the first, finished when the first lets go.
void TestPaperInput::oneDeviceAtATime_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("pressedAfter");

    // m/M mouse press/release, v mouse move, p/P pen press/release, t pen
    // move, s/S a pen's made-up mouse move/release, r/R right press/release.
    QTest::newRow("mouse during a pen stroke") << "p t m v M t P" << 0;
    QTest::newRow("pen during a mouse stroke") << "m v p t P v M" << 0;
    QTest::newRow("a pen's mouse events during a mouse stroke") << "m v s S v M" << 0;
    QTest::newRow("pen hovering during a mouse stroke") << "m t v t M" << 0;
    QTest::newRow("right button held over the release") << "m v r M" << 0;
    QTest::newRow("pen released before the mouse") << "m p P v" << 1;
}

void TestPaperInput::oneDeviceAtATime()
{
    REQUIRE_GL();
    QFETCH(QString, script);
    QFETCH(int, pressedAfter);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    Pointer pointer(&shown.paper);
    int x = 20;
    for (const QString &step : script.split(u' ')) {
        // The first device draws along y = 40, the second along y = 100.
        const QPointF first = shown.at({double(x += 10), 40.0});
        const QPointF second = shown.at({double(x), 100.0});
        const bool mouseFirst = script.startsWith(u'm');
        const QPointF mousePoint = mouseFirst ? first : second;
        const QPointF penPoint = mouseFirst ? second : first;
        const char c = step.at(0).toLatin1();
        if (c == 'm')
            pointer.mouse(QEvent::MouseButtonPress, mousePoint);
        else if (c == 'v')
            pointer.mouse(QEvent::MouseMove, mousePoint);
        else if (c == 'M')
            pointer.mouse(QEvent::MouseButtonRelease, mousePoint);
        else if (c == 'p')
            pointer.tablet(QEvent::TabletPress, penPoint);
        else if (c == 't')
            pointer.tablet(QEvent::TabletMove, penPoint);
        else if (c == 'P')
            pointer.tablet(QEvent::TabletRelease, penPoint);
        else if (c == 's')
            pointer.mouse(QEvent::MouseMove, penPoint, Qt::NoButton, {}, Qt::LeftButton, TestSupport::pen());
        else if (c == 'S')
            pointer.mouse(QEvent::MouseButtonRelease, penPoint, Qt::LeftButton, {}, {}, TestSupport::pen());
        else if (c == 'r')
            pointer.mouse(QEvent::MouseButtonPress, mousePoint, Qt::RightButton);
    }
    QCOMPARE(int(shown.paper.devicePressed()), pressedAfter);
    if (pressedAfter)
        pointer.mouse(QEvent::MouseButtonRelease, shown.at({x + 10.0, 40.0}));

    QCOMPARE(PaperTest::history(*handle), QStringList{QStringLiteral("Draw")});
    QVERIFY(!handle->scene()->hasActiveStroke());
    // The stroke runs from the first device's press on and holds none of the
    // second device's samples.
    const QImage ink = std::dynamic_pointer_cast<Model::StrokeDrawing>(handle->scene()->itemAt(0, 1)->drawing())->image();
    QVERIFY(qAlpha(ink.pixel(35, 40)) > 0);
    for (int column = 0; column < ink.width(); ++column)
        QCOMPARE(qAlpha(ink.pixel(column, 100)), 0);
}

// Samples whose position or pressure is not a number: a press takes no
// hold, a move adds nothing, and a release still ends the stroke.
void TestPaperInput::brokenSamplesAreIgnored_data()
{
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QStringList>("history");

    const QStringList draw{QStringLiteral("Draw")};
    QTest::newRow("mouse press position") << "press" << QStringList();
    QTest::newRow("pen press pressure") << "pressure" << QStringList();
    QTest::newRow("pen move position") << "move" << draw;
    QTest::newRow("pen release position") << "release" << draw;
}

void TestPaperInput::brokenSamplesAreIgnored()
{
    REQUIRE_GL();
    QFETCH(QString, broken);
    QFETCH(QStringList, history);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    Pointer pointer(&shown.paper);
    const QPointF from = shown.at({50.0, 50.0});
    const QPointF to = shown.at({90.0, 50.0});
    const QPointF nowhere(NaN, 10.0);
    if (broken == u"press") {
        pointer.mouse(QEvent::MouseButtonPress, nowhere);
        pointer.mouse(QEvent::MouseMove, to);
        pointer.mouse(QEvent::MouseButtonRelease, to);
    } else {
        pointer.tablet(QEvent::TabletPress, from, broken == u"pressure" ? std::numeric_limits<double>::infinity() : 0.7);
        pointer.tablet(QEvent::TabletMove, broken == u"move" ? nowhere : to);
        pointer.tablet(QEvent::TabletMove, to + QPointF(0.0, 5.0));
        pointer.tablet(QEvent::TabletRelease, broken == u"release" ? nowhere : to);
    }
    QCOMPARE(PaperTest::history(*handle), history);
    QVERIFY(!shown.paper.devicePressed());
    QVERIFY(!handle->scene()->hasActiveStroke());
}

void TestPaperInput::outlines_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<bool>("cut");

    QTest::newRow("lasso") << int(Model::Tool::Type::Lasso) << false;
    QTest::newRow("cutter") << int(Model::Tool::Type::Cutter) << true;
}

// A loop drawn with the lasso or cutter comes back closed, in drawing
// coordinates, around what it enclosed.
void TestPaperInput::outlines()
{
    REQUIRE_GL();
    QFETCH(int, tool);
    QFETCH(bool, cut);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    tools()->setCurrentTool(Model::Tool::Type(tool));
    QSignalSpy completed(&shown.paper, &UI::Paper::lassoingCompleted);
    QList<QPointF> loop;
    for (int i = 0; i <= 24; ++i) {
        const double a = i * 2.0 * M_PI / 24.0;
        loop.append(shown.at(QPointF(100.0 + 40.0 * std::cos(a), 75.0 + 30.0 * std::sin(a))));
    }
    Pointer(&shown.paper).stroke(loop, true);

    QCOMPARE(completed.count(), 1);
    const auto path = completed.at(0).at(0).value<QPainterPath>();
    QCOMPARE(completed.at(0).at(1).toBool(), cut);
    QVERIFY(path.contains(QPointF(100.0, 75.0)));
    QVERIFY(!path.contains(QPointF(150.0, 75.0)));
    QVERIFY(PaperTest::history(*handle).isEmpty());
}

// One frame for every 16 pixels of the summed displacement; the offset kept
// at the release is bounded, and the next scrub starts from it.
void TestPaperInput::scrubOffsets()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    tools()->setCurrentTool(Model::Tool::Type::Scrubbing);
    auto *scrubbing = qobject_cast<Model::ScrubbingTool *>(tools()->tool(Model::Tool::Type::Scrubbing));
    scrubbing->setScrubbingStarted(false);
    QSignalSpy started(scrubbing, &Model::ScrubbingTool::scrubbingStarted);
    QSignalSpy offsets(&shown.paper, &UI::Paper::scrubOffsetChanged);
    shown.paper.setMinMaxScrubOffset(-1, 2);

    Pointer pointer(&shown.paper);
    const QPointF start(60.0, 60.0);
    pointer.stroke({start, start + QPointF(40.0, 10.0), start + QPointF(-20.0, -20.0), start + QPointF(80.0, 0.0)});
    QCOMPARE(started.count(), 1);
    QList<int> seen;
    for (const QList<QVariant> &args : offsets)
        seen.append(args.at(0).toInt());
    // floor(50 / 16), floor(-40 / 16), then 5 kept as the largest, 2.
    QCOMPARE(seen, (QList<int>{3, -3, 5}));

    offsets.clear();
    pointer.stroke({start, start + QPointF(16.0, 0.0)});
    QCOMPARE(offsets.last().at(0).toInt(), 3);
    QCOMPARE(started.count(), 1);
}

// Ten pixels sideways change the size range by a quarter, ten up the
// opacity; the axis stays as the drag first chose it.
void TestPaperInput::penAdjustmentSteps_data()
{
    QTest::addColumn<QList<QPointF>>("drag");
    QTest::addColumn<double>("sizeFactor");
    QTest::addColumn<double>("opacityFactor");

    QTest::newRow("40 right") << QList<QPointF>{{40.0, 0.0}} << 2.44140625 << 1.0;
    QTest::newRow("20 left") << QList<QPointF>{{-20.0, 0.0}} << 0.64 << 1.0;
    QTest::newRow("10 up") << QList<QPointF>{{0.0, -10.0}} << 1.0 << 1.25;
    QTest::newRow("too short to tell") << QList<QPointF>{{1.0, 1.0}} << 1.0 << 1.0;
    QTest::newRow("right, then up") << QList<QPointF>{{20.0, 0.0}, {20.0, -60.0}} << 1.5625 << 1.0;
}

void TestPaperInput::penAdjustmentSteps()
{
    QFETCH(QList<QPointF>, drag);
    QFETCH(double, sizeFactor);
    QFETCH(double, opacityFactor);

    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    pen()->setIncDecSizeRangePercent(10.0, 30.0);
    pen()->setIncDecOpacityRangePercent(20.0, 40.0);

    Pointer pointer(&shown.paper);
    const QPointF start(80.0, 80.0);
    pointer.mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::AltModifier);
    QCOMPARE(tools()->currentToolType(), Model::Tool::Type::PenAdjustment);
    for (const QPointF &offset : drag)
        pointer.mouse(QEvent::MouseMove, start + offset);
    pointer.mouse(QEvent::MouseButtonRelease, start + drag.last());
    QCOMPARE(tools()->currentToolType(), Model::Tool::Type::Pen);

    const auto scaled = [](double percent, double factor) { return (percent + 4.0) * factor - 4.0; };
    QCOMPARE(pen()->incDecSizeMinPercent(), scaled(10.0, sizeFactor));
    QCOMPARE(pen()->incDecSizeMaxPercent(), scaled(30.0, sizeFactor));
    QCOMPARE(pen()->incDecOpacityMinPercent(), scaled(20.0, opacityFactor));
    QCOMPARE(pen()->incDecOpacityMaxPercent(), scaled(40.0, opacityFactor));
    QVERIFY(PaperTest::history(*handle).isEmpty());
}

// The right button reports itself when nothing holds the paper; the middle
// button holds the pan action for as long as it is down.
void TestPaperInput::otherButtons()
{
    auto handle = makeScene(QStringLiteral("X"));
    ShownPaper shown(handle.get());
    Pointer pointer(&shown.paper);
    QSignalSpy right(&shown.paper, &UI::Paper::rightButtonPressed);

    QVERIFY(pointer.mouse(QEvent::MouseButtonPress, {50.0, 50.0}, Qt::RightButton, Qt::ShiftModifier));
    pointer.mouse(QEvent::MouseButtonRelease, {50.0, 50.0}, Qt::RightButton);
    QCOMPARE(right.count(), 1);
    QCOMPARE(right.at(0).at(0).value<Qt::KeyboardModifiers>(), Qt::ShiftModifier);

    pointer.tablet(QEvent::TabletPress, {60.0, 60.0});
    QVERIFY(!pointer.mouse(QEvent::MouseButtonPress, {50.0, 50.0}, Qt::RightButton));
    pointer.tablet(QEvent::TabletRelease, {60.0, 60.0});
    QCOMPARE(right.count(), 1);

    QAction *pan = Model::ActionManager::instance()->action(KL::Action::Pan);
    QVERIFY(pan);
    pan->setChecked(false);
    pointer.mouse(QEvent::MouseButtonPress, {50.0, 50.0}, Qt::MiddleButton);
    QVERIFY(pan->isChecked());
    QVERIFY(shown.paper.devicePressed());
    pointer.mouse(QEvent::MouseButtonRelease, {50.0, 50.0}, Qt::MiddleButton);
    QVERIFY(!pan->isChecked());
    QVERIFY(!shown.paper.devicePressed());
}

QTEST_MAIN(TestPaperInput)
#include "tst_paperinput.moc"
