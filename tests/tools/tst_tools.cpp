#include "strokes/singlestroke.h"
#include "tools/erasertool.h"
#include "tools/fixedcursortools.h"
#include "tools/floatingselectiontool.h"
#include "tools/offpegstool.h"
#include "tools/penadjustmenttool.h"
#include "tools/pentool.h"
#include "tools/toolcursors.h"
#include "tools/zprtool.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Model;

namespace {

// A pen whose limits make the percents easy to read: 0.5 to 180 pixels.
std::unique_ptr<PenTool> pencil()
{
    return std::make_unique<PenTool>(Tool::PenType::Pencil);
}

QImage cursorImage(const QCursor &cursor)
{
    return cursor.pixmap().toImage();
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Size and opacity ranges
    void sizeRangeIsClamped_data();
    void sizeRangeIsClamped();
    void radiusFollowsRangeAndLimits_data();
    void radiusFollowsRangeAndLimits();
    void opacityFollowsRangeAndLimits();
    void limitsAreClamped_data();
    void limitsAreClamped();

    // Keyboard steps
    void firstSmallerStep();
    void stepsRetraceExactly_data();
    void stepsRetraceExactly();
    void stepsStopAtTheEnds_data();
    void stepsStopAtTheEnds();
    void directChangeRestartsSteps();

    // Pressure
    void pressureCurves_data();
    void pressureCurves();

    // Names and copies
    void names_data();
    void names();
    void drawingToolClone();
    void strokesShareACopyOfTheTool_data();
    void strokesShareACopyOfTheTool();

    // Cursor-type slots
    void cursorTypeSlotsEmitOnChange();
    void unsupportedIconFileName();

    // Pen adjustment
    void adjustmentScalesTheSavedRange_data();
    void adjustmentScalesTheSavedRange();
    void adjustmentSwitchRestoresTheOtherRange();
    void adjustmentCursorFollowsTheTool();
};

void TestTools::initTestCase()
{
    initToolCursors();
}

void TestTools::sizeRangeIsClamped_data()
{
    QTest::addColumn<double>("minPercent");
    QTest::addColumn<double>("maxPercent");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::newRow("inside") << 20.0 << 70.0 << 20.0 << 70.0;
    QTest::newRow("both above 100") << 120.0 << 150.0 << 100.0 << 100.0;
    QTest::newRow("lower above upper") << 60.0 << 40.0 << 40.0 << 40.0;
    QTest::newRow("both negative") << -10.0 << -5.0 << 0.0 << 0.0;
    QTest::newRow("lower negative") << -10.0 << 50.0 << 0.0 << 50.0;
}

void TestTools::sizeRangeIsClamped()
{
    QFETCH(double, minPercent);
    QFETCH(double, maxPercent);
    QFETCH(double, lower);
    QFETCH(double, upper);
    auto pen = pencil();
    QSignalSpy spy(pen.get(), &DrawingTool::sizeRangeChanged);
    pen->setSizeRangePercent(minPercent, maxPercent);
    QCOMPARE(pen->sizeRangeLowerPercent(), lower);
    QCOMPARE(pen->sizeRangeUpperPercent(), upper);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("Pencil"));
    QCOMPARE(spy.at(0).at(1).toDouble(), lower);
    QCOMPARE(spy.at(0).at(2).toDouble(), upper);
}

void TestTools::radiusFollowsRangeAndLimits_data()
{
    QTest::addColumn<double>("lowerLimit");
    QTest::addColumn<double>("upperLimit");
    QTest::addColumn<double>("lowerPercent");
    QTest::addColumn<double>("upperPercent");
    QTest::addColumn<double>("minimumRadius");
    QTest::addColumn<double>("radiusVariation");
    QTest::newRow("whole range") << 0.5 << 180.0 << 0.0 << 100.0 << 0.25 << 89.75;
    QTest::newRow("single size") << 0.5 << 180.0 << 50.0 << 50.0 << 45.125 << 0.0;
    QTest::newRow("kneaded eraser") << 10.0 << 135.0 << 0.0 << 24.1 << 5.0 << 15.0625;
    QTest::newRow("narrow limits") << 3.0 << 6.0 << 0.0 << 100.0 << 1.5 << 1.5;
}

void TestTools::radiusFollowsRangeAndLimits()
{
    QFETCH(double, lowerLimit);
    QFETCH(double, upperLimit);
    QFETCH(double, lowerPercent);
    QFETCH(double, upperPercent);
    auto pen = pencil();
    pen->setSizeRangeLimits(lowerLimit, upperLimit);
    pen->setSizeRangePercent(lowerPercent, upperPercent);
    QTEST(pen->minimumRadius(), "minimumRadius");
    QTEST(pen->radiusVariation(), "radiusVariation");
}

void TestTools::opacityFollowsRangeAndLimits()
{
    EraserTool eraser(Tool::PenType::RubberEraser);
    QSignalSpy spy(&eraser, &DrawingTool::opacityRangeChanged);
    QSignalSpy cursorSpy(&eraser, &Tool::cursorChanged);
    eraser.setOpacityRangeLimits(0.25, 1.0);
    eraser.setOpacityRangePercent(20.0, 80.0);
    QCOMPARE(eraser.minimumOpacity(), 0.4);
    QCOMPARE(eraser.opacityVariation(), 0.45);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().at(0).toString(), QStringLiteral("RubberEraser"));
    QCOMPARE(spy.last().at(1).toDouble(), 20.0);
    QCOMPARE(spy.last().at(2).toDouble(), 80.0);
    // Opacity is not part of the drawing cursor.
    QCOMPARE(cursorSpy.count(), 0);
}

void TestTools::limitsAreClamped_data()
{
    QTest::addColumn<bool>("size");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<double>("lowerLimit");
    QTest::addColumn<double>("upperLimit");
    QTest::newRow("size above the top") << true << 200.0 << 300.0 << 180.0 << 180.0;
    QTest::newRow("size zero") << true << 0.0 << 0.0 << 0.5 << 0.5;
    QTest::newRow("size lower from zero") << true << 0.0 << 45.0 << 0.5 << 45.0;
    QTest::newRow("size crossed") << true << 50.0 << 20.0 << 20.0 << 20.0;
    QTest::newRow("opacity outside") << false << -1.0 << 2.0 << 0.0 << 1.0;
    QTest::newRow("opacity crossed") << false << 0.8 << 0.3 << 0.3 << 0.3;
}

void TestTools::limitsAreClamped()
{
    QFETCH(bool, size);
    QFETCH(double, lower);
    QFETCH(double, upper);
    auto pen = pencil();
    if (size) {
        pen->setSizeRangeLimits(lower, upper);
        QTEST(pen->sizeLowerLimit(), "lowerLimit");
        QTEST(pen->sizeUpperLimit(), "upperLimit");
    } else {
        pen->setOpacityRangeLimits(lower, upper);
        QTEST(pen->opacityLowerLimit(), "lowerLimit");
        QTEST(pen->opacityUpperLimit(), "upperLimit");
    }
}

void TestTools::firstSmallerStep()
{
    auto pen = pencil();
    pen->setSizeRangePercent(0.0, 100.0);
    pen->decreaseSizeRange();
    QCOMPARE(pen->incDecSizeMinPercent(), -0.8);
    QCOMPARE(pen->incDecSizeMaxPercent(), 79.2);
    QCOMPARE(pen->sizeRangeLowerPercent(), 0.0);
    QCOMPARE(pen->sizeRangeUpperPercent(), 79.2);
    pen->increaseSizeRange();
    QCOMPARE(pen->sizeRangeLowerPercent(), 0.0);
    QCOMPARE(pen->sizeRangeUpperPercent(), 100.0);
}

void TestTools::stepsRetraceExactly_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("steps");
    QTest::addColumn<bool>("smallerFirst");
    QTest::newRow("whole range, one step") << 0.0 << 100.0 << 1 << true;
    QTest::newRow("pencil default, three steps") << 5.0 << 12.31 << 3 << true;
    QTest::newRow("middle, five steps") << 20.0 << 60.0 << 5 << true;
    QTest::newRow("single size, four steps") << 30.0 << 30.0 << 4 << true;
    // The upper value passes 100 on the way up and is clamped while stored,
    // yet the way back ends where it began.
    QTest::newRow("larger past the top") << 20.0 << 60.0 << 5 << false;
}

void TestTools::stepsRetraceExactly()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, steps);
    QFETCH(bool, smallerFirst);
    auto pen = pencil();
    pen->setSizeRangePercent(lower, upper);
    const double minimumRadius = pen->minimumRadius();
    const double radiusVariation = pen->radiusVariation();
    for (int i = 0; i < steps; ++i)
        smallerFirst ? pen->decreaseSizeRange() : pen->increaseSizeRange();
    QVERIFY(smallerFirst ? pen->sizeRangeUpperPercent() < upper : pen->sizeRangeLowerPercent() > lower);
    for (int i = 0; i < steps; ++i)
        smallerFirst ? pen->increaseSizeRange() : pen->decreaseSizeRange();
    QCOMPARE(pen->sizeRangeLowerPercent(), lower);
    QCOMPARE(pen->sizeRangeUpperPercent(), upper);
    QCOMPARE(pen->minimumRadius(), minimumRadius);
    QCOMPARE(pen->radiusVariation(), radiusVariation);
}

void TestTools::stepsStopAtTheEnds_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<bool>("smaller");
    QTest::newRow("smaller at zero") << 0.0 << 0.0 << true;
    QTest::newRow("larger at 100") << 100.0 << 100.0 << false;
}

void TestTools::stepsStopAtTheEnds()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(bool, smaller);
    auto pen = pencil();
    pen->setSizeRangePercent(lower, upper);
    QSignalSpy spy(pen.get(), &DrawingTool::sizeRangeChanged);
    for (int i = 0; i < 3; ++i)
        smaller ? pen->decreaseSizeRange() : pen->increaseSizeRange();
    QCOMPARE(pen->incDecSizeMinPercent(), lower);
    QCOMPARE(pen->incDecSizeMaxPercent(), upper);
    QCOMPARE(pen->sizeRangeLowerPercent(), lower);
    QCOMPARE(pen->sizeRangeUpperPercent(), upper);
    // Each step still announces the (unchanged) range.
    QCOMPARE(spy.count(), 3);
    // One step the other way moves again.
    smaller ? pen->increaseSizeRange() : pen->decreaseSizeRange();
    QVERIFY(smaller ? pen->sizeRangeUpperPercent() > upper : pen->sizeRangeLowerPercent() < lower);
}

void TestTools::directChangeRestartsSteps()
{
    auto pen = pencil();
    pen->setSizeRangePercent(0.0, 100.0);
    pen->decreaseSizeRange();
    QCOMPARE(pen->incDecSizeMinPercent(), -0.8);
    pen->setSizeRangePercent(10.0, 50.0);
    QCOMPARE(pen->incDecSizeMinPercent(), 10.0);
    QCOMPARE(pen->incDecSizeMaxPercent(), 50.0);
    pen->decreaseSizeRange();
    QCOMPARE(pen->sizeRangeLowerPercent(), 7.2);
    QCOMPARE(pen->sizeRangeUpperPercent(), 39.2);

    pen->setIncDecSizeRangePercent(-3.0, 120.0);
    QCOMPARE(pen->incDecSizeMinPercent(), -3.0);
    QCOMPARE(pen->incDecSizeMaxPercent(), 120.0);
    QCOMPARE(pen->sizeRangeLowerPercent(), 0.0);
    QCOMPARE(pen->sizeRangeUpperPercent(), 100.0);
}

void TestTools::pressureCurves_data()
{
    QTest::addColumn<double>("pressure");
    QTest::addColumn<double>("share");
    QTest::addColumn<double>("opacity");
    // share: the part of the radius variation added at that pressure, which
    // stays small under a light hand; opacity from 0.2 to 0.7, linear.
    QTest::newRow("no pressure") << 0.0 << 0.0 << 0.2;
    QTest::newRow("light") << 0.25 << (std::sqrt(10.0) - 1.0) / 99.0 << 0.325;
    QTest::newRow("mouse") << 0.5 << 1.0 / 11.0 << 0.45;
    QTest::newRow("firm") << 0.75 << (std::pow(10.0, 1.5) - 1.0) / 99.0 << 0.575;
    QTest::newRow("full") << 1.0 << 1.0 << 0.7;
    QTest::newRow("below zero") << -0.5 << 0.0 << 0.2;
    QTest::newRow("above one") << 1.5 << 1.0 << 0.7;
}

void TestTools::pressureCurves()
{
    QFETCH(double, pressure);
    QFETCH(double, share);
    auto pen = pencil();
    pen->setSizeRangePercent(0.0, 100.0);
    pen->setOpacityRangeLimits(0.2, 0.7);
    pen->setOpacityRangePercent(0.0, 100.0);
    QCOMPARE(pen->radiusForPressure(pressure), 0.25 + share * 89.75);
    QTEST(pen->opacityForPressure(pressure), "opacity");
}

void TestTools::names_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<int>("subType");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("toolName");
    QTest::newRow("pencil") << false << 0 << "Pencil" << "Pencil";
    QTest::newRow("marker") << false << 1 << "Marker" << "Marker";
    QTest::newRow("brush") << false << 2 << "Brush" << "Brush";
    QTest::newRow("kneaded") << true << 0 << "Kneaded Eraser" << "KneadedEraser";
    QTest::newRow("rubber") << true << 1 << "Rubber Eraser" << "RubberEraser";
    QTest::newRow("vinyl") << true << 2 << "Vinyl Eraser" << "VinylEraser";
    QTest::newRow("unknown pen") << false << 3 << QString() << QString();
    QTest::newRow("unknown eraser") << true << 7 << QString() << QString();
}

void TestTools::names()
{
    QFETCH(bool, eraser);
    QFETCH(int, subType);
    std::unique_ptr<DrawingTool> tool;
    if (eraser)
        tool = std::make_unique<EraserTool>(Tool::PenType(subType));
    else
        tool = std::make_unique<PenTool>(Tool::PenType(subType));
    QCOMPARE(tool->type(), eraser ? Tool::Type::Eraser : Tool::Type::Pen);
    QTEST(tool->displayName(), "displayName");
    QTEST(tool->toolName(), "toolName");
}

void TestTools::strokesShareACopyOfTheTool_data()
{
    // What happens to the pencil between two strokes, and whether the second
    // stroke shares the first one's copy.
    QTest::addColumn<int>("change");
    QTest::addColumn<bool>("shared");
    QTest::newRow("nothing") << 0 << true;
    QTest::newRow("size range") << 1 << false;
    QTest::newRow("opacity range") << 2 << false;
    QTest::newRow("size limits") << 3 << false;
    QTest::newRow("a keyboard step") << 4 << false;
    QTest::newRow("changed and back") << 5 << true;
    QTest::newRow("cursor only") << 6 << true;
}

// Strokes keep a copy of the tool they were drawn with; strokes drawn with
// the same settings share one, and a change gives later strokes a new one
// while the earlier strokes keep theirs as it was.
void TestTools::strokesShareACopyOfTheTool()
{
    QFETCH(int, change);
    QFETCH(bool, shared);
    PenTool pencil(Tool::PenType::Pencil);
    pencil.setSizeRangeLimits(2.0, 20.0);
    SingleStroke first(QSize(64, 64), &pencil);
    SingleStroke alsoFirst(&pencil);
    QVERIFY(first.tool() && first.tool() != &pencil);
    QCOMPARE(alsoFirst.tool(), first.tool());
    const double firstRadius = qobject_cast<const DrawingTool *>(first.tool())->radiusVariation();

    switch (change) {
    case 1:
        pencil.setSizeRangePercent(10.0, 40.0);
        break;
    case 2:
        pencil.setOpacityRangePercent(0.0, 50.0);
        break;
    case 3:
        pencil.setSizeRangeLimits(2.0, 30.0);
        break;
    case 4:
        pencil.decreaseSizeRange();
        break;
    case 5:
        pencil.setOpacityRangePercent(0.0, 50.0);
        pencil.setOpacityRangePercent(0.0, 100.0);
        break;
    case 6:
        pencil.setCursorType(Tool::ForbiddenCursor);
        pencil.updateCursor();
        break;
    }
    SingleStroke second(&pencil);
    QCOMPARE(second.tool() == first.tool(), shared);
    QVERIFY(second.tool()->parent() == nullptr);
    const auto *copy = qobject_cast<const DrawingTool *>(second.tool());
    QVERIFY(copy);
    QCOMPARE(copy->radiusVariation(), pencil.radiusVariation());
    QCOMPARE(copy->minimumOpacity(), pencil.minimumOpacity());
    QCOMPARE(copy->opacityVariation(), pencil.opacityVariation());
    QCOMPARE(qobject_cast<const DrawingTool *>(first.tool())->radiusVariation(), firstRadius);

    // An eraser never shares a pen's copy.
    EraserTool eraser(Tool::PenType::RubberEraser);
    SingleStroke erased(&eraser);
    QVERIFY(erased.tool() != second.tool());
    QVERIFY(erased.isEraserStroke());
}

void TestTools::drawingToolClone()
{
    QObject parent;
    auto *brush = new PenTool(Tool::PenType::Brush, &parent);
    brush->setSizeRangeLimits(1.0, 90.0);
    brush->setOpacityRangeLimits(0.5, 1.0);
    brush->setSizeRangePercent(0.0, 60.0);
    brush->setOpacityRangePercent(30.0, 70.0);
    brush->decreaseSizeRange();
    brush->setCursorType(Tool::LayerNotVisibleCursor);
    brush->updateCursor();

    std::unique_ptr<Tool> copy(brush->clone());
    auto *clone = qobject_cast<PenTool *>(copy.get());
    QVERIFY(clone);
    QCOMPARE(clone->parent(), &parent);
    QCOMPARE(clone->subType(), Tool::PenType::Brush);
    QCOMPARE(clone->cursorType(), int(Tool::OwnCursor));
    QVERIFY(clone->cursor().pixmap().isNull());
    QCOMPARE(clone->sizeLowerLimit(), 1.0);
    QCOMPARE(clone->sizeUpperLimit(), 90.0);
    QCOMPARE(clone->opacityLowerLimit(), 0.5);
    QCOMPARE(clone->sizeRangeLowerPercent(), brush->sizeRangeLowerPercent());
    QCOMPARE(clone->sizeRangeUpperPercent(), brush->sizeRangeUpperPercent());
    QCOMPARE(clone->opacityRangeLowerPercent(), 30.0);
    QCOMPARE(clone->minimumRadius(), brush->minimumRadius());
    QCOMPARE(clone->radiusVariation(), brush->radiusVariation());
    QCOMPARE(clone->minimumOpacity(), brush->minimumOpacity());
    QCOMPARE(clone->opacityVariation(), brush->opacityVariation());
    // The step range stays with the original.
    QVERIFY(brush->incDecSizeMinPercent() != brush->sizeRangeLowerPercent());
    QCOMPARE(clone->incDecSizeMinPercent(), clone->sizeRangeLowerPercent());
    clone->updateCursor();
    QVERIFY(!clone->cursor().pixmap().isNull());
}

void TestTools::cursorTypeSlotsEmitOnChange()
{
    ZPRTool zpr;
    QSignalSpy zprSpy(&zpr, &Tool::cursorChanged);
    zpr.setCursorType(ZPRTool::ZPRCursorType::Hand);
    QCOMPARE(zprSpy.count(), 0);
    zpr.setCursorType(ZPRTool::ZPRCursorType::Zoom);
    QCOMPARE(zprSpy.count(), 1);
    QCOMPARE(cursorImage(zprSpy.at(0).at(0).value<QCursor>()), cursorImage(zpr.cursor()));

    OffPegsTool offPegs;
    QSignalSpy offPegsSpy(&offPegs, &Tool::cursorChanged);
    offPegs.setCursorType(OffPegsTool::OPCursorType::Rotate);
    QCOMPARE(offPegsSpy.count(), 0);
    offPegs.setCursorType(OffPegsTool::OPCursorType::Arrow);
    QCOMPARE(offPegsSpy.count(), 1);
    QCOMPARE(offPegs.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(offPegs.cursor().pixmap().isNull());

    FloatingSelectionTool floating;
    QSignalSpy floatingSpy(&floating, &Tool::cursorChanged);
    floating.setCursorType(FloatingSelectionTool::FSCursorType::Move);
    QCOMPARE(floatingSpy.count(), 0);
    floating.setCursorType(FloatingSelectionTool::FSCursorType::Stamp);
    QCOMPARE(floatingSpy.count(), 1);
}

void TestTools::unsupportedIconFileName()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Unsupported tool type!"));
    QVERIFY(FixedCursorTool::getIconFileName(Tool::Type::Pen).isEmpty());
    QCOMPARE(FixedCursorTool::getIconFileName(Tool::Type::Lasso), QStringLiteral(":/pointers/pointer-lasso.svg"));
}

void TestTools::adjustmentScalesTheSavedRange_data()
{
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    // From a saved size range of 16 to 56: (x + 4) x factor - 4.
    QTest::newRow("half once") << 0.5 << 1 << 6.0 << 26.0;
    QTest::newRow("half twice is half once") << 0.5 << 2 << 6.0 << 26.0;
    QTest::newRow("one changes nothing") << 1.0 << 1 << 16.0 << 56.0;
    QTest::newRow("double, clamped") << 2.0 << 1 << 36.0 << 100.0;
    QTest::newRow("factor clamped to 1000") << 1.0e6 << 1 << 100.0 << 100.0;
}

void TestTools::adjustmentScalesTheSavedRange()
{
    QFETCH(double, factor);
    QFETCH(int, repeats);
    auto pen = pencil();
    pen->setSizeRangePercent(16.0, 56.0);
    PenAdjustmentTool adjustment;
    adjustment.setDrawingTool(pen.get());
    for (int i = 0; i < repeats; ++i)
        adjustment.adjustSizeRange(factor);
    QCOMPARE(adjustment.mode(), PenAdjustmentTool::AdjustingSize);
    QTEST(pen->sizeRangeLowerPercent(), "lower");
    QTEST(pen->sizeRangeUpperPercent(), "upper");
}

void TestTools::adjustmentSwitchRestoresTheOtherRange()
{
    auto pen = pencil();
    pen->setSizeRangePercent(16.0, 56.0);
    pen->setOpacityRangePercent(20.0, 60.0);
    PenAdjustmentTool adjustment;
    adjustment.setDrawingTool(pen.get());

    adjustment.adjustSizeRange(0.5);
    QCOMPARE(pen->sizeRangeUpperPercent(), 26.0);
    adjustment.adjustOpacityRange(1.5);
    QCOMPARE(adjustment.mode(), PenAdjustmentTool::AdjustingOpacity);
    QCOMPARE(pen->opacityRangeLowerPercent(), 32.0);
    QCOMPARE(pen->opacityRangeUpperPercent(), 92.0);
    // The size is back to what it was when the pen was handed over.
    QCOMPARE(pen->sizeRangeLowerPercent(), 16.0);
    QCOMPARE(pen->sizeRangeUpperPercent(), 56.0);

    adjustment.adjustSizeRange(1.25);
    QCOMPARE(pen->opacityRangeLowerPercent(), 20.0);
    QCOMPARE(pen->opacityRangeUpperPercent(), 60.0);
    QCOMPARE(pen->sizeRangeLowerPercent(), 21.0);
}

void TestTools::adjustmentCursorFollowsTheTool()
{
    auto pen = pencil();
    pen->setSizeRangePercent(10.0, 40.0);
    PenAdjustmentTool adjustment;
    QSignalSpy spy(&adjustment, &Tool::cursorChanged);
    adjustment.setDrawingTool(pen.get());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(cursorImage(adjustment.cursor()), cursorImage(sharedCursor(SharedCursor::Drag)));
    adjustment.setDrawingTool(pen.get());
    QCOMPARE(spy.count(), 1);

    adjustment.adjustSizeRange(0.8);
    QVERIFY(spy.count() > 1);
    const double minDiameter = 2.0 * pen->minimumRadius();
    const double maxDiameter = 2.0 * (pen->minimumRadius() + pen->radiusVariation());
    const QImage sizeRings = cursorImage(pen->minMaxSizeCursor(minDiameter, maxDiameter, toolCursorCanvasScale()));
    QCOMPARE(cursorImage(adjustment.cursor()), sizeRings);
    QCOMPARE(cursorImage(spy.last().at(0).value<QCursor>()), sizeRings);

    // Once detached, the pen's changes no longer reach the adjustment.
    adjustment.setDrawingTool(nullptr);
    const int count = spy.count();
    pen->setSizeRangePercent(1.0, 2.0);
    QCOMPARE(spy.count(), count);
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
