#include "timeline/textbubble.h"
#include "tools/toolsliders.h"

#include "support/widgetevents.h"

#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QSignalSpy>
#include <QTest>

using TestSupport::sendMouse;
using Range = UI::ToolSliders::Range;

namespace {

// The tracks at scale 1: x from 11 to 206, the size track from y 46 and the
// opacity track from y 91, each 25 high.
constexpr int SizeY = 58;
constexpr int OpacityY = 103;

// The pixel of a position on a track of positions 0 to 100.
int pixelOf(double position)
{
    return 11 + int(position * 195 / 100);
}

Model::DrawingTool *currentPen()
{
    return qobject_cast<Model::DrawingTool *>(Model::ToolManager::instance()->tool(Model::Tool::Type::Pen));
}

} // namespace

// The size and opacity sliders of the pen: pixels and positions both ways,
// which handle a press grabs, handles pushing each other, one write to the
// tool per drag, and the values the bubble shows.
class TestToolSliders : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void pressesMapPixelsToPositions_data();
    void pressesMapPixelsToPositions();
    void pressGrabsHandle_data();
    void pressGrabsHandle();
    void handlesPushEachOther_data();
    void handlesPushEachOther();
    void oneWriteToTheToolPerDrag();
    void pressOutsideTheTracksWritesNothing();
    void doubledPressesAreDropped_data();
    void doubledPressesAreDropped();
    void shownTexts_data();
    void shownTexts();
    void bubbleShowsTheDraggedValue();
    void rangeSetters();
    void followsTheTool();
    void hiddenSlidersShowNoTool();

private:
    // A drag along the points with the left button, on a clock that moves
    // on 50 ms per event, so that no press counts as doubled.
    void drag(const QList<QPoint> &points);

    std::unique_ptr<UI::ToolSliders> m_sliders;
    quint64 m_time = 1000;
};

void TestToolSliders::initTestCase()
{
    TestSupport::startModel();
    Model::ToolManager *tools = Model::ToolManager::instance();
    tools->setCurrentPenToolType(Model::Tool::PenType::Brush);
    // Only the current tool's ranges are stored as its Default preset.
    tools->setCurrentTool(Model::Tool::Type::Pen);
}

void TestToolSliders::init()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    tools->setCurrentPenToolType(Model::Tool::PenType::Brush);
    // The brush's own limits and ranges, without touching the store.
    tools->applyToolPresetDefaults(currentPen(), KL::ToolPreset::Default);
    m_sliders = std::make_unique<UI::ToolSliders>(0);
    m_sliders->setCurrentToolIdx(2);
}

void TestToolSliders::cleanup()
{
    m_sliders.reset();
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestToolSliders::drag(const QList<QPoint> &points)
{
    sendMouse(m_sliders.get(), QEvent::MouseButtonPress, points.first(), m_time += 50);
    for (const QPoint &point : points.mid(1, points.size() - 2))
        TestSupport::sendMouseEvent(m_sliders.get(), QEvent::MouseMove, point, Qt::NoButton, Qt::LeftButton,
                                    Qt::NoModifier, m_time += 50);
    sendMouse(m_sliders.get(), QEvent::MouseButtonRelease, points.last(), m_time += 50);
}

void TestToolSliders::pressesMapPixelsToPositions_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<Range>("range");

    // From the range (90, 95), at pixels 186 and 196: left of the minimum a
    // press grabs the minimum, right of the maximum the maximum.
    QTest::newRow("track's left end") << 11 << Range(0, 95);
    QTest::newRow("one pixel in") << 12 << Range(100.0 / 195, 95);
    QTest::newRow("a fifth") << 50 << Range(20, 95);
    QTest::newRow("track's right end") << 206 << Range(90, 100);
}

void TestToolSliders::pressesMapPixelsToPositions()
{
    QFETCH(int, x);
    QFETCH(Range, range);

    m_sliders->setSizeRange(90, 95);
    drag({QPoint(x, SizeY), QPoint(x, SizeY)});
    QCOMPARE(m_sliders->sizeRange().first, range.first);
    QCOMPARE(m_sliders->sizeRange().second, range.second);
}

void TestToolSliders::pressGrabsHandle_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("handle");

    // The size range (20, 60) lies at pixels 50 and 128, the opacity range
    // (40, 80) at 89 and 167.
    QTest::newRow("left of the minimum") << QPoint(20, SizeY) << int(UI::ToolSliders::SizeMinimum);
    QTest::newRow("on the minimum") << QPoint(50, SizeY) << int(UI::ToolSliders::SizeMinimum);
    QTest::newRow("nearer the minimum") << QPoint(88, SizeY) << int(UI::ToolSliders::SizeMinimum);
    QTest::newRow("midway goes to the maximum") << QPoint(89, SizeY) << int(UI::ToolSliders::SizeMaximum);
    QTest::newRow("right of the maximum") << QPoint(200, SizeY) << int(UI::ToolSliders::SizeMaximum);
    QTest::newRow("track's top row") << QPoint(100, 46) << int(UI::ToolSliders::SizeMaximum);
    QTest::newRow("below the track") << QPoint(100, 71) << int(UI::ToolSliders::NoHandle);
    QTest::newRow("left of the track") << QPoint(10, SizeY) << int(UI::ToolSliders::NoHandle);
    QTest::newRow("right of the track") << QPoint(207, SizeY) << int(UI::ToolSliders::NoHandle);
    QTest::newRow("opacity minimum") << QPoint(127, OpacityY) << int(UI::ToolSliders::OpacityMinimum);
    QTest::newRow("opacity maximum") << QPoint(128, OpacityY) << int(UI::ToolSliders::OpacityMaximum);
    QTest::newRow("the head") << QPoint(100, 10) << int(UI::ToolSliders::NoHandle);
}

void TestToolSliders::pressGrabsHandle()
{
    QFETCH(QPoint, point);
    QFETCH(int, handle);

    m_sliders->setSizeRange(20, 60);
    m_sliders->setOpacityRange(40, 80);
    QCOMPARE(int(m_sliders->handleAt(point)), handle);
}

void TestToolSliders::handlesPushEachOther_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("y");
    QTest::addColumn<Range>("positions");
    QTest::addColumn<Range>("toolPercents");

    QTest::newRow("size minimum past the maximum")
        << pixelOf(20) << pixelOf(80) << SizeY << Range(80, 80) << Range(80, 80);
    QTest::newRow("size maximum below the minimum")
        << pixelOf(40) << 30 << SizeY << Range(1900.0 / 195, 1900.0 / 195) << Range(1900.0 / 195, 1900.0 / 195);
    QTest::newRow("size maximum out of the track")
        << pixelOf(40) << 400 << SizeY << Range(20, 100) << Range(20, 100);
    QTest::newRow("opacity minimum to the left end")
        << pixelOf(20) << -30 << OpacityY << Range(0, 40) << Range(0, 40);
    QTest::newRow("opacity minimum past the maximum")
        << pixelOf(20) << pixelOf(60) << OpacityY << Range(60, 60) << Range(60, 60);
}

void TestToolSliders::handlesPushEachOther()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, y);
    QFETCH(Range, positions);
    QFETCH(Range, toolPercents);

    m_sliders->setSizeRange(20, 40);
    m_sliders->setOpacityRange(20, 40);
    drag({QPoint(from, y), QPoint((from + to) / 2, y), QPoint(to, y)});
    const bool size = y == SizeY;
    const Range committed = size ? m_sliders->sizeRange() : m_sliders->opacityRange();
    QCOMPARE(committed.first, positions.first);
    QCOMPARE(committed.second, positions.second);
    const Model::DrawingTool *pen = currentPen();
    QCOMPARE(size ? pen->sizeRangeLowerPercent() : pen->opacityRangeLowerPercent(), toolPercents.first);
    QCOMPARE(size ? pen->sizeRangeUpperPercent() : pen->opacityRangeUpperPercent(), toolPercents.second);
}

void TestToolSliders::oneWriteToTheToolPerDrag()
{
    const Model::DrawingTool *pen = currentPen();
    m_sliders->setSizeRange(20, 40);
    QSignalSpy toolSize(pen, &Model::DrawingTool::sizeRangeChanged);
    QSignalSpy toolOpacity(pen, &Model::DrawingTool::opacityRangeChanged);
    QSignalSpy committed(m_sliders.get(), &UI::ToolSliders::sizeRangeChanged);
    QSignalSpy moved(m_sliders.get(), &UI::ToolSliders::sizeRangeSliderMovedMax);

    QList<QPoint> points;
    for (int x = pixelOf(40); x <= pixelOf(70); x += 6)
        points.append(QPoint(x, SizeY));
    drag(points);

    QCOMPARE(toolSize.count(), 1);
    QCOMPARE(toolOpacity.count(), 0);
    QCOMPARE(committed.count(), 1);
    QVERIFY(moved.count() > 3);
    QCOMPARE(pen->sizeRangeUpperPercent(), m_sliders->sizeRange().second);
    // The tool keeps it as its Default preset, in the store.
    double lower = 0;
    double upper = 0;
    Model::Settings::instance()->toolSizeRange(pen->toolName(), KL::ToolPreset::Default, lower, upper, -1, -1);
    QCOMPARE(upper, pen->sizeRangeUpperPercent());
}

void TestToolSliders::pressOutsideTheTracksWritesNothing()
{
    QSignalSpy toolSize(currentPen(), &Model::DrawingTool::sizeRangeChanged);
    QSignalSpy toolOpacity(currentPen(), &Model::DrawingTool::opacityRangeChanged);
    QSignalSpy moved(m_sliders.get(), &UI::ToolSliders::sizeRangeSliderMovedMin);
    drag({QPoint(100, 80), QPoint(30, SizeY), QPoint(30, OpacityY)});
    QCOMPARE(toolSize.count(), 0);
    QCOMPARE(toolOpacity.count(), 0);
    QCOMPARE(moved.count(), 0);
}

void TestToolSliders::doubledPressesAreDropped_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("handled");

    QTest::newRow("9 ms") << 9 << false;
    QTest::newRow("10 ms") << 10 << true;
}

void TestToolSliders::doubledPressesAreDropped()
{
    QFETCH(int, delay);
    QFETCH(bool, handled);

    m_sliders->setSizeRange(50, 90);
    const quint64 first = m_time += 1000;
    sendMouse(m_sliders.get(), QEvent::MouseButtonPress, QPoint(pixelOf(40), SizeY), first);
    // A second press before any release, by the maximum: the pen's tap
    // arriving again as a mouse press. Dropped, it leaves the drag of the
    // minimum running, which the release then pushes up to the maximum.
    sendMouse(m_sliders.get(), QEvent::MouseButtonPress, QPoint(200, SizeY), first + delay);
    sendMouse(m_sliders.get(), QEvent::MouseButtonRelease, QPoint(200, SizeY), first + 100);
    const double atRelease = 100.0 * (200 - 11) / 195;
    QCOMPARE(m_sliders->sizeRange().first, handled ? 40.0 : atRelease);
    QCOMPARE(m_sliders->sizeRange().second, atRelease);
}

void TestToolSliders::shownTexts_data()
{
    QTest::addColumn<Range>("sizeLimits");
    QTest::addColumn<Range>("opacityLimits");
    QTest::addColumn<double>("position");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("opacity");

    const Range wholeSize(0.5, 180);
    const Range wholeOpacity(0, 1);
    QTest::newRow("40 of the whole scale") << wholeSize << wholeOpacity << 40.0 << "72.3px" << "40%";
    QTest::newRow("a third") << wholeSize << wholeOpacity << 33.3 << "60.3px" << "33%";
    QTest::newRow("bottom") << wholeSize << wholeOpacity << 0.0 << "0.5px" << "0%";
    QTest::newRow("top") << wholeSize << wholeOpacity << 100.0 << "180.0px" << "100%";
    QTest::newRow("beyond the top") << wholeSize << wholeOpacity << 130.0 << "180.0px" << "100%";
    QTest::newRow("below the bottom") << wholeSize << wholeOpacity << -10.0 << "0.5px" << "0%";
    QTest::newRow("narrow limits") << Range(0.5, 45) << Range(0.5, 1) << 20.0 << "9.4px" << "60%";
}

void TestToolSliders::shownTexts()
{
    QFETCH(Range, sizeLimits);
    QFETCH(Range, opacityLimits);
    QFETCH(double, position);
    QFETCH(QString, size);
    QFETCH(QString, opacity);

    Model::DrawingTool *pen = currentPen();
    pen->setSizeRangeLimits(sizeLimits.first, sizeLimits.second);
    pen->setOpacityRangeLimits(opacityLimits.first, opacityLimits.second);
    QCOMPARE(m_sliders->sizeText(position), size);
    QCOMPARE(m_sliders->opacityText(position), opacity);
}

void TestToolSliders::bubbleShowsTheDraggedValue()
{
    Model::DrawingTool *pen = currentPen();
    pen->setSizeRangeLimits(0.5, 180);
    pen->setOpacityRangeLimits(0, 1);
    auto *bubble = m_sliders->findChild<UI::TextBubble *>();
    QVERIFY(bubble);
    QVERIFY(bubble->isHidden());

    m_sliders->setSizeRange(10, 20);
    m_sliders->setOpacityRange(10, 20);
    // Position 40 lies at pixel 89, 33.3 at 76.
    sendMouse(m_sliders.get(), QEvent::MouseButtonPress, QPoint(89, SizeY), m_time += 50);
    QCOMPARE(bubble->text(), QStringLiteral("72.3px"));
    QVERIFY(!bubble->isHidden());
    // The pointer's tip just above the track, at the handle.
    QCOMPARE(bubble->geometry().bottom(), 46 - 5);
    QVERIFY(bubble->geometry().contains(QPoint(89, 38)));
    sendMouse(m_sliders.get(), QEvent::MouseButtonRelease, QPoint(89, SizeY), m_time += 50);
    QVERIFY(bubble->isHidden());

    sendMouse(m_sliders.get(), QEvent::MouseButtonPress, QPoint(76, OpacityY), m_time += 50);
    QCOMPARE(bubble->text(), QStringLiteral("33%"));
    sendMouse(m_sliders.get(), QEvent::MouseButtonRelease, QPoint(76, OpacityY), m_time += 50);

    // Near the track's end the bubble stays over the panel.
    sendMouse(m_sliders.get(), QEvent::MouseButtonPress, QPoint(206, SizeY), m_time += 50);
    QCOMPARE(bubble->text(), QStringLiteral("180.0px"));
    QVERIFY(bubble->geometry().right() <= 206 + 5);
    sendMouse(m_sliders.get(), QEvent::MouseButtonRelease, QPoint(206, SizeY), m_time += 50);
}

void TestToolSliders::rangeSetters()
{
    QSignalSpy committed(m_sliders.get(), &UI::ToolSliders::sizeRangeChanged);
    m_sliders->setSizeRange(80, 20);
    QCOMPARE(m_sliders->sizeRange(), Range(20, 80));
    QCOMPARE(committed.count(), 1);
    m_sliders->setSizeRange(20, 80);
    m_sliders->setSizeRange(80, 20);
    QCOMPARE(committed.count(), 1);
    m_sliders->setSizeRange(-5, 300);
    QCOMPARE(m_sliders->sizeRange(), Range(0, 100));

    // Narrower limits re-clamp the range.
    QSignalSpy limits(m_sliders.get(), &UI::ToolSliders::sizeRangeLimitsChanged);
    m_sliders->setSizeRangeLimits(10, 50);
    QCOMPARE(limits.count(), 1);
    QCOMPARE(m_sliders->sizeRange(), Range(10, 50));
    m_sliders->setSizeRangeLimits(10, 50);
    QCOMPARE(limits.count(), 1);

    // Positions move without committing or emitting.
    QSignalSpy moved(m_sliders.get(), &UI::ToolSliders::sizeRangeSliderMovedMin);
    m_sliders->setSizeRangePositionLower(45);
    QCOMPARE(m_sliders->sizeRangePositions(), Range(45, 50));
    QCOMPARE(m_sliders->sizeRange(), Range(10, 50));
    QCOMPARE(moved.count(), 0);
}

void TestToolSliders::followsTheTool()
{
    Model::DrawingTool *pen = currentPen();
    pen->setSizeRangePercent(30, 60);
    pen->setOpacityRangePercent(5, 15);
    QCOMPARE(m_sliders->sizeRange(), Range(30, 60));
    QCOMPARE(m_sliders->opacityRange(), Range(5, 15));

    // Another tool index shows the same current pen.
    m_sliders->setCurrentToolIdx(1);
    Model::ToolManager::instance()->setCurrentPenToolType(Model::Tool::PenType::Pencil);
    m_sliders->setCurrentToolIdx(0);
    QCOMPARE(m_sliders->sizeRange().first, currentPen()->sizeRangeLowerPercent());
    QCOMPARE(m_sliders->sizeRange().second, currentPen()->sizeRangeUpperPercent());
    // The brush is no longer shown.
    pen->setSizeRangePercent(1, 2);
    QCOMPARE(m_sliders->sizeRange().second, currentPen()->sizeRangeUpperPercent());
    QVERIFY(m_sliders->sizeRange().second != 2.0);
}

void TestToolSliders::hiddenSlidersShowNoTool()
{
    m_sliders->show();
    QCOMPARE(m_sliders->currentToolIdx(), 2);
    m_sliders->hide();
    QCOMPARE(m_sliders->currentToolIdx(), -1);

    // At another scale the sliders are sized anew.
    Model::Settings::instance()->setUIScalePercent(125);
    m_sliders->updateUISize();
    QCOMPARE(m_sliders->size(), QSize(271, 158));
}

QTEST_MAIN(TestToolSliders)
#include "tst_toolsliders.moc"
