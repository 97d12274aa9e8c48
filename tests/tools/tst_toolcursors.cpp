#include "kl.h"
#include "settings/settings.h"
#include "tools/erasertool.h"
#include "tools/fixedcursortools.h"
#include "tools/floatingselectiontool.h"
#include "tools/offpegstool.h"
#include "tools/pentool.h"
#include "tools/toolcursors.h"
#include "tools/zprtool.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Model;

namespace {

QImage cursorImage(const QCursor &cursor)
{
    return cursor.pixmap().toImage();
}

// The size a cursor takes on screen, in logical pixels.
QSize logicalSize(const QCursor &cursor)
{
    return cursor.pixmap().deviceIndependentSize().toSize();
}

std::unique_ptr<DrawingTool> drawingTool(bool eraser)
{
    if (eraser)
        return std::make_unique<EraserTool>(Tool::PenType::RubberEraser);
    return std::make_unique<PenTool>(Tool::PenType::Pencil);
}

bool hasInk(const QCursor &cursor)
{
    const QImage image = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 255)
                return true;
        }
    }
    return false;
}

// The rectangle of the pixmap that holds anything visible.
QRect inkBounds(const QImage &cursorImage)
{
    const QImage image = cursorImage.convertToFormat(QImage::Format_ARGB32);
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

int alphaAt(const QCursor &cursor, QPoint devicePixel)
{
    return qAlpha(cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32).pixel(devicePixel));
}

} // namespace

class TestToolCursors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Cursors from the pointer art
    void sharedCursors_data();
    void sharedCursors();
    void sameRatioRebuildsNothing();
    void fixedToolCursors_data();
    void fixedToolCursors();
    void floatingSelectionCursors_data();
    void floatingSelectionCursors();

    // Rotating cursors
    void rotateCursorIsReadyAtStart();
    void rotateCursorFollowsTheView_data();
    void rotateCursorFollowsTheView();
    void floatingSelectionCursorsTurn();

    // Painted cursors
    void sizeCursorGeometry_data();
    void sizeCursorGeometry();
    void sizeCursorGrowsWithSize_data();
    void sizeCursorGrowsWithSize();
    void sizeRangeCursor_data();
    void sizeRangeCursor();
    void opacityCursor_data();
    void opacityCursor();

    // What a drawing tool shows
    void drawCursorPreferences_data();
    void drawCursorPreferences();
    void cursorTypeOverridesPreferences_data();
    void cursorTypeOverridesPreferences();
    void previewCursor_data();
    void previewCursor();
};

void TestToolCursors::initTestCase()
{
    // A store of its own: ctest runs the tests side by side in one scratch
    // home, and others clear their store as they go.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("tst_toolcursors"));
    QSettings().clear();
    initToolCursors();
}

void TestToolCursors::init()
{
    QSettings().clear();
    Settings::instance()->setDrawCursorType(KL::DrawCursorType::AdaptToSize);
    Settings::instance()->setDrawCursorOpacity(KL::DrawCursorOpacity::Faint);
    setToolCursorDevicePixelRatio(1.0);
    setToolCursorCanvasScale(1.0);
}

void TestToolCursors::cleanup()
{
    setToolCursorDevicePixelRatio(1.0);
    setToolCursorCanvasScale(1.0);
}

void TestToolCursors::sharedCursors_data()
{
    QTest::addColumn<SharedCursor>("which");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("hotSpot");
    for (const double ratio : {1.0, 2.0}) {
        const char *r = ratio == 1.0 ? "1x" : "2x";
        QTest::addRow("slide mode %s", r) << SharedCursor::SlideMode << ratio << QSize(24, 24) << QPoint(0, 1);
        QTest::addRow("add clones %s", r) << SharedCursor::AddClonesMode << ratio << QSize(24, 24) << QPoint(0, 1);
        QTest::addRow("drag %s", r) << SharedCursor::Drag << ratio << QSize(24, 24) << QPoint(12, 12);
        QTest::addRow("drag left-right %s", r) << SharedCursor::DragLeftRight << ratio << QSize(24, 24) << QPoint(12, 12);
        QTest::addRow("drag up-down %s", r) << SharedCursor::DragUpDown << ratio << QSize(24, 24) << QPoint(12, 12);
        QTest::addRow("forbidden %s", r) << SharedCursor::Forbidden << ratio << QSize(24, 24) << QPoint(12, 12);
        QTest::addRow("layer not visible %s", r) << SharedCursor::LayerNotVisible << ratio << QSize(24, 24) << QPoint(12, 12);
        QTest::addRow("opacity zero %s", r) << SharedCursor::LayerOpacityZero << ratio << QSize(24, 24) << QPoint(10, 1);
        QTest::addRow("lock %s", r) << SharedCursor::Lock << ratio << QSize(24, 24) << QPoint(12, 12);
        QTest::addRow("scribble eraser %s", r) << SharedCursor::ScribbleEraser << ratio << QSize(24, 24) << QPoint(1, 21);
        QTest::addRow("scribble pen %s", r) << SharedCursor::ScribblePen << ratio << QSize(24, 24) << QPoint(1, 21);
    }
}

void TestToolCursors::sharedCursors()
{
    QFETCH(SharedCursor, which);
    QFETCH(double, ratio);
    QFETCH(QSize, size);
    setToolCursorDevicePixelRatio(ratio);
    const QCursor cursor = sharedCursor(which);
    QCOMPARE(cursor.pixmap().devicePixelRatio(), ratio);
    QCOMPARE(cursor.pixmap().size(), size * ratio);
    QCOMPARE(logicalSize(cursor), size);
    QTEST(cursor.hotSpot(), "hotSpot");
    // Something is drawn under the hot spot or next to it.
    QVERIFY(hasInk(cursor));
}

void TestToolCursors::sameRatioRebuildsNothing()
{
    const qint64 before = sharedCursor(SharedCursor::Forbidden).pixmap().cacheKey();
    setToolCursorDevicePixelRatio(1.0);
    QCOMPARE(sharedCursor(SharedCursor::Forbidden).pixmap().cacheKey(), before);
    setToolCursorDevicePixelRatio(2.0);
    QVERIFY(sharedCursor(SharedCursor::Forbidden).pixmap().cacheKey() != before);
    QCOMPARE(sharedCursor(SharedCursor::Arrow).shape(), Qt::ArrowCursor);
}

void TestToolCursors::fixedToolCursors_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<QPoint>("hotSpot");
    for (const double ratio : {1.0, 2.0}) {
        const char *r = ratio == 1.0 ? "1x" : "2x";
        QTest::addRow("hand %s", r) << 2 << ratio << QPoint(12, 12);
        QTest::addRow("zoom %s", r) << 3 << ratio << QPoint(9, 9);
        QTest::addRow("rotate %s", r) << 4 << ratio << QPoint(12, 12);
        QTest::addRow("lasso %s", r) << 7 << ratio << QPoint(13, 8);
        QTest::addRow("cutter %s", r) << 8 << ratio << QPoint(2, 24);
        QTest::addRow("scrubbing %s", r) << 10 << ratio << QPoint(12, 12);
    }
}

void TestToolCursors::fixedToolCursors()
{
    QFETCH(int, type);
    QFETCH(double, ratio);
    setToolCursorDevicePixelRatio(ratio);
    std::unique_ptr<Tool> tool;
    switch (Tool::Type(type)) {
    case Tool::Type::Hand: tool = std::make_unique<HandTool>(); break;
    case Tool::Type::Zoom: tool = std::make_unique<ZoomTool>(); break;
    case Tool::Type::Rotate: tool = std::make_unique<RotateTool>(); break;
    case Tool::Type::Lasso: tool = std::make_unique<LassoTool>(); break;
    case Tool::Type::Cutter: tool = std::make_unique<CutterTool>(); break;
    default: tool = std::make_unique<ScrubbingTool>(); break;
    }
    const QCursor cursor = tool->cursor();
    QVERIFY(!cursor.pixmap().isNull());
    QCOMPARE(cursor.pixmap().devicePixelRatio(), ratio);
    QTEST(cursor.hotSpot(), "hotSpot");
    const QSize size = logicalSize(cursor);
    QVERIFY(cursor.hotSpot().x() < size.width() && cursor.hotSpot().y() < size.height());

    // A refusal shows the shared cursor instead, and going back shows the
    // tool's own again.
    tool->setCursorType(Tool::ForbiddenCursor);
    QCOMPARE(cursorImage(tool->cursor()), cursorImage(sharedCursor(SharedCursor::Forbidden)));
    tool->setCursorType(Tool::OwnCursor);
    QCOMPARE(cursorImage(tool->cursor()), cursorImage(cursor));
}

void TestToolCursors::floatingSelectionCursors_data()
{
    QTest::addColumn<FloatingSelectionTool::FSCursorType>("handle");
    QTest::addColumn<QPoint>("hotSpot");
    QTest::addColumn<QSize>("size");
    using T = FloatingSelectionTool::FSCursorType;
    QTest::newRow("move") << T::Move << QPoint(12, 12) << QSize(24, 24);
    QTest::newRow("rotate") << T::Rotate << QPoint(12, 12) << QSize(24, 24);
    QTest::newRow("scale") << T::Scale << QPoint(12, 12) << QSize(24, 24);
    QTest::newRow("scale-rotate") << T::ScaleRotate << QPoint(12, 12) << QSize(24, 24);
    QTest::newRow("skew horizontal") << T::SkewHorizontal << QPoint(12, 12) << QSize(24, 24);
    QTest::newRow("skew vertical") << T::SkewVertical << QPoint(12, 12) << QSize(24, 24);
    QTest::newRow("squash-stretch") << T::SquashStretch << QPoint(11, 13) << QSize(22, 26);
    QTest::newRow("stamp") << T::Stamp << QPoint(12, 12) << QSize(24, 24);
}

void TestToolCursors::floatingSelectionCursors()
{
    QFETCH(FloatingSelectionTool::FSCursorType, handle);
    FloatingSelectionTool tool;
    tool.setCursorType(handle);
    const QCursor cursor = tool.cursor();
    QVERIFY(!cursor.pixmap().isNull());
    QTEST(cursor.hotSpot(), "hotSpot");
    QTEST(logicalSize(cursor), "size");
}

void TestToolCursors::rotateCursorIsReadyAtStart()
{
    ZPRTool zpr;
    QSignalSpy spy(&zpr, &Tool::cursorChanged);
    zpr.setCursorType(ZPRTool::ZPRCursorType::Rotate);
    QCOMPARE(spy.count(), 1);
    const QCursor cursor = spy.at(0).at(0).value<QCursor>();
    QVERIFY(!cursor.pixmap().isNull());
    QCOMPARE(cursor.pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(cursor.pixmap().size(), QSize(48, 48));
    QCOMPARE(cursor.hotSpot(), QPoint(12, 12));
    QVERIFY(hasInk(cursor));

    // The first call with the start angle does not re-render.
    const qint64 key = cursor.pixmap().cacheKey();
    zpr.setCursorRotation(0.0);
    QCOMPARE(zpr.cursor().pixmap().cacheKey(), key);
    QCOMPARE(spy.count(), 1);

    std::unique_ptr<Tool> clone(zpr.clone());
    auto *zprClone = qobject_cast<ZPRTool *>(clone.get());
    zprClone->setCursorType(ZPRTool::ZPRCursorType::Rotate);
    QVERIFY(hasInk(zprClone->cursor()));
}

void TestToolCursors::rotateCursorFollowsTheView_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<bool>("rendered");
    QTest::newRow("under a degree") << 0.9 << false;
    QTest::newRow("a degree") << 1.0 << true;
    QTest::newRow("back a degree") << -1.0 << true;
    QTest::newRow("quarter turn") << 90.0 << true;
    QTest::newRow("not a number") << std::nan("") << false;
}

void TestToolCursors::rotateCursorFollowsTheView()
{
    QFETCH(double, angle);
    QFETCH(bool, rendered);
    ZPRTool zpr;
    zpr.setCursorType(ZPRTool::ZPRCursorType::Rotate);
    const QImage before = cursorImage(zpr.cursor());
    QSignalSpy spy(&zpr, &Tool::cursorChanged);
    zpr.setCursorRotation(angle);
    QCOMPARE(spy.count(), rendered ? 1 : 0);
    QCOMPARE(cursorImage(zpr.cursor()) != before, rendered && std::abs(angle) >= 1.0);

    // Only the rotate cursor turns, and it announces itself only when shown.
    zpr.setCursorType(ZPRTool::ZPRCursorType::Hand);
    spy.clear();
    zpr.setCursorRotation(angle + 45.0);
    QCOMPARE(spy.count(), 0);
}

void TestToolCursors::floatingSelectionCursorsTurn()
{
    FloatingSelectionTool tool;
    tool.setCursorType(FloatingSelectionTool::FSCursorType::Scale);
    const QImage scaleAt0 = cursorImage(tool.cursor());
    QVERIFY(!scaleAt0.isNull());
    QSignalSpy spy(&tool, &Tool::cursorChanged);
    tool.setCursorRotation(90.0);
    QCOMPARE(spy.count(), 1);
    // The scale arrows lie along the edge: a quarter turn makes the
    // horizontal arrow vertical.
    const QRect at0 = inkBounds(scaleAt0);
    const QRect at90 = inkBounds(cursorImage(tool.cursor()));
    QVERIFY(at0.width() > 2 * at0.height());
    QVERIFY(at90.height() > 2 * at90.width());

    tool.setCursorType(FloatingSelectionTool::FSCursorType::Move);
    spy.clear();
    tool.setCursorRotation(30.0);
    QCOMPARE(spy.count(), 0);
}

void TestToolCursors::sizeCursorGeometry_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<double>("maxDiameter");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("pixmapSize");
    QTest::addColumn<QPoint>("hotSpot");
    // Pen: side = outer diameter on the 2x pixmap (at least 8, a multiple
    // of 4) + 28; eraser: + 14.
    QTest::newRow("tiny pen") << false << 1.0 << 1.0 << QSize(36, 36) << QPoint(9, 9);
    QTest::newRow("pen 10px") << false << 10.0 << 1.0 << QSize(48, 48) << QPoint(12, 12);
    QTest::newRow("pen 11px rounds down") << false << 11.0 << 1.0 << QSize(48, 48) << QPoint(12, 12);
    QTest::newRow("pen 10px zoomed in") << false << 10.0 << 2.0 << QSize(68, 68) << QPoint(17, 17);
    QTest::newRow("pen 10px zoomed out") << false << 10.0 << 0.5 << QSize(36, 36) << QPoint(9, 9);
    QTest::newRow("tiny eraser") << true << 1.0 << 1.0 << QSize(22, 22) << QPoint(5, 5);
    QTest::newRow("eraser 10px") << true << 10.0 << 1.0 << QSize(34, 34) << QPoint(8, 8);
    QTest::newRow("eraser 30px zoomed in") << true << 30.0 << 3.0 << QSize(194, 194) << QPoint(48, 48);
}

void TestToolCursors::sizeCursorGeometry()
{
    QFETCH(bool, eraser);
    QFETCH(double, maxDiameter);
    QFETCH(double, scale);
    auto tool = drawingTool(eraser);
    for (const bool faint : {false, true}) {
        const QCursor cursor = tool->sizeCursor(0.5, maxDiameter, scale, faint);
        QCOMPARE(cursor.pixmap().devicePixelRatio(), 2.0);
        QTEST(cursor.pixmap().size(), "pixmapSize");
        QTEST(cursor.hotSpot(), "hotSpot");
    }
}

void TestToolCursors::sizeCursorGrowsWithSize_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::newRow("pen") << false;
    QTest::newRow("eraser") << true;
}

void TestToolCursors::sizeCursorGrowsWithSize()
{
    QFETCH(bool, eraser);
    auto tool = drawingTool(eraser);
    int previous = 0;
    for (const double upper : {10.0, 20.0, 40.0, 80.0}) {
        tool->setSizeRangePercent(0.0, upper);
        const int width = logicalSize(tool->cursor()).width();
        QVERIFY2(width > previous, qPrintable(QStringLiteral("%1% gives %2 px").arg(upper).arg(width)));
        previous = width;
    }
}

void TestToolCursors::sizeRangeCursor_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<int>("highlight");
    QTest::newRow("pen inner") << false << 1;
    QTest::newRow("pen outer") << false << 2;
    QTest::newRow("pen both") << false << 3;
    QTest::newRow("eraser both") << true << 3;
}

void TestToolCursors::sizeRangeCursor()
{
    QFETCH(bool, eraser);
    QFETCH(int, highlight);
    auto tool = drawingTool(eraser);
    // Diameters 10 and 30 at scale 1: radii 10 and 30 on the 2x pixmap,
    // side 60 + 28.
    const QCursor cursor = tool->sizeRangeCursor(10.0, 30.0, 1.0, highlight);
    QCOMPARE(cursor.pixmap().size(), QSize(88, 88));
    QCOMPARE(cursor.pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(cursor.hotSpot(), QPoint(22, 22));
    const int c = 44;
    // The ring between both sizes is shaded; the centre is clear.
    QVERIFY(alphaAt(cursor, {c + 20, c}) > 0);
    QCOMPARE(alphaAt(cursor, {c + 4, c + 4}), 0);
    const QCursor plain = tool->sizeRangeCursor(10.0, 30.0, 1.0, 0);
    const int outerBoost = alphaAt(cursor, {c + 30, c}) - alphaAt(plain, {c + 30, c});
    const int innerBoost = alphaAt(cursor, {c + 10, c + 1}) - alphaAt(plain, {c + 10, c + 1});
    QCOMPARE(outerBoost > 0, bool(highlight & 2));
    QCOMPARE(innerBoost > 0, bool(highlight & 1));

}

void TestToolCursors::opacityCursor_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::newRow("pen") << false;
    QTest::newRow("eraser") << true;
}

void TestToolCursors::opacityCursor()
{
    QFETCH(bool, eraser);
    auto tool = drawingTool(eraser);
    const QCursor cursor = tool->opacityCursor(0.0, 1.0);
    QCOMPARE(cursor.pixmap().size(), QSize(64, 40));
    QCOMPARE(cursor.pixmap().devicePixelRatio(), 2.0);
    QCOMPARE(cursor.hotSpot(), QPoint(16, 10));
    // Left swatch: the lower opacity, none here; right swatch: full.
    const QImage image = cursorImage(cursor).convertToFormat(QImage::Format_ARGB32);
    const QColor left = image.pixelColor(17, 20);
    const QColor right = image.pixelColor(47, 20);
    QCOMPARE(right, QColor(Qt::black));
    QVERIFY(left.lightness() > 150);
    const QImage half = cursorImage(tool->opacityCursor(0.5, 0.5)).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(half.pixelColor(17, 20).lightness() < left.lightness());
    QVERIFY(half.pixelColor(47, 20).lightness() > right.lightness());
}

void TestToolCursors::drawCursorPreferences_data()
{
    QTest::addColumn<bool>("eraser");
    QTest::addColumn<KL::DrawCursorType>("type");
    QTest::addColumn<KL::DrawCursorOpacity>("opacity");
    QTest::addColumn<QString>("fixedFile");
    for (const bool eraser : {false, true}) {
        const char *tool = eraser ? "eraser" : "pen";
        const QString prefix = eraser ? QStringLiteral(":/pointers/pointer-erase") : QStringLiteral(":/pointers/pointer-draw");
        QTest::addRow("%s adapted, faint", tool) << eraser << KL::DrawCursorType::AdaptToSize << KL::DrawCursorOpacity::Faint << QString();
        QTest::addRow("%s adapted, opaque", tool) << eraser << KL::DrawCursorType::AdaptToSize << KL::DrawCursorOpacity::Opaque << QString();
        QTest::addRow("%s small, faint", tool) << eraser << KL::DrawCursorType::FixedSmall << KL::DrawCursorOpacity::Faint << prefix + "FixedFaint.svg";
        QTest::addRow("%s small, opaque", tool) << eraser << KL::DrawCursorType::FixedSmall << KL::DrawCursorOpacity::Opaque << prefix + "FixedOpaque.svg";
    }
}

void TestToolCursors::drawCursorPreferences()
{
    QFETCH(bool, eraser);
    QFETCH(KL::DrawCursorType, type);
    QFETCH(KL::DrawCursorOpacity, opacity);
    QFETCH(QString, fixedFile);
    Settings::instance()->setDrawCursorType(type);
    Settings::instance()->setDrawCursorOpacity(opacity);
    auto tool = drawingTool(eraser);
    for (const double upper : {5.0, 60.0}) {
        QSignalSpy spy(tool.get(), &Tool::cursorChanged);
        tool->setSizeRangePercent(0.0, upper);
        QCOMPARE(spy.count(), 1);
        const QImage shown = cursorImage(spy.at(0).at(0).value<QCursor>());
        QCOMPARE(shown, cursorImage(tool->cursor()));
        if (fixedFile.isEmpty()) {
            const double maxDiameter = 2.0 * (tool->minimumRadius() + tool->radiusVariation());
            const bool faint = opacity == KL::DrawCursorOpacity::Faint;
            QCOMPARE(shown, cursorImage(tool->sizeCursor(2.0 * tool->minimumRadius(), maxDiameter, 1.0, faint)));
        } else {
            // The same small image whatever the size.
            QCOMPARE(shown, cursorImage(svgCursor(fixedFile)));
            QCOMPARE(tool->cursor().hotSpot(), QPoint(8, 8));
        }
    }
}

void TestToolCursors::cursorTypeOverridesPreferences_data()
{
    QTest::addColumn<int>("cursorType");
    QTest::addColumn<SharedCursor>("shared");
    QTest::addColumn<KL::DrawCursorType>("type");
    QTest::newRow("forbidden") << 1 << SharedCursor::Forbidden << KL::DrawCursorType::AdaptToSize;
    QTest::newRow("not visible, adapted") << 2 << SharedCursor::LayerNotVisible << KL::DrawCursorType::AdaptToSize;
    QTest::newRow("not visible, small") << 2 << SharedCursor::LayerNotVisible << KL::DrawCursorType::FixedSmall;
    QTest::newRow("opacity zero") << 3 << SharedCursor::LayerOpacityZero << KL::DrawCursorType::FixedSmall;
}

void TestToolCursors::cursorTypeOverridesPreferences()
{
    QFETCH(int, cursorType);
    QFETCH(SharedCursor, shared);
    QFETCH(KL::DrawCursorType, type);
    Settings::instance()->setDrawCursorType(type);
    PenTool pen(Tool::PenType::Marker);
    pen.setCursorType(cursorType);
    pen.updateCursor();
    QCOMPARE(cursorImage(pen.cursor()), cursorImage(sharedCursor(shared)));
    QCOMPARE(pen.cursor().hotSpot(), sharedCursor(shared).hotSpot());
}

void TestToolCursors::previewCursor_data()
{
    QTest::addColumn<KL::DrawCursorType>("type");
    QTest::addColumn<KL::DrawCursorOpacity>("opacity");
    QTest::newRow("adapted, faint preference") << KL::DrawCursorType::AdaptToSize << KL::DrawCursorOpacity::Faint;
    QTest::newRow("small, faint preference") << KL::DrawCursorType::FixedSmall << KL::DrawCursorOpacity::Faint;
}

void TestToolCursors::previewCursor()
{
    QFETCH(KL::DrawCursorType, type);
    QFETCH(KL::DrawCursorOpacity, opacity);
    Settings::instance()->setDrawCursorType(type);
    Settings::instance()->setDrawCursorOpacity(opacity);
    PenTool pen(Tool::PenType::Pencil);
    pen.setSizeRangePercent(10.0, 30.0);
    const QImage preview = cursorImage(pen.previewCursor(2.0));
    if (type == KL::DrawCursorType::AdaptToSize) {
        const double minDiameter = 2.0 * pen.minimumRadius();
        const double maxDiameter = 2.0 * (pen.minimumRadius() + pen.radiusVariation());
        // Always at full strength, at the panel's own scale.
        QCOMPARE(preview, cursorImage(pen.sizeCursor(minDiameter, maxDiameter, 2.0, false)));
    } else {
        QCOMPARE(preview, cursorImage(svgCursor(QStringLiteral(":/pointers/pointer-drawFixedOpaque.svg"))));
    }
}

QTEST_MAIN(TestToolCursors)
#include "tst_toolcursors.moc"
