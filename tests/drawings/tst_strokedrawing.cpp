#include "drawings/drawingimagecache.h"
#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "render/alphacomposition.h"
#include "strokes/bitmapstroke.h"
#include "strokes/compoundstroke.h"
#include "strokes/rleimage.h"
#include "strokes/singlestroke.h"
#include "support/testsupport.h"
#include "tools/erasertool.h"
#include "tools/pentool.h"

#include <QDataStream>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace Model;
using namespace TestSupport;

namespace {

const QSize Frame(160, 120);

enum Step {
    LivePen,      // drawn on the canvas: the drawing receives its mask
    LiveEraser,
    RecordPen,    // pasted or read: no mask, rendered on arrival
    RecordEraser,
    Bitmap,
    Group,        // a compound with pens and an eraser, as a stamp brings it
    ShrunkGroup,  // taps in a compound shrunk to a twentieth, each under a pixel
    EraseCircle,
    TakeLast,
    Collapse,
    Resize,       // the strokes move into a larger frame
    OddShrink,    // a smaller frame, cropped about its centre: strokes move by halves
};

bool needsOpenGL(const QList<int> &steps)
{
    for (int step : steps)
        if (step != Bitmap && step != TakeLast && step != Resize && step != OddShrink)
            return true;
    return false;
}

std::unique_ptr<DrawingTool> makeTool(bool pen)
{
    std::unique_ptr<DrawingTool> tool;
    if (pen)
        tool = std::make_unique<PenTool>(Tool::PenType::Marker);
    else
        tool = std::make_unique<EraserTool>(Tool::PenType::RubberEraser);
    tool->setSizeRangeLimits(4.0, 16.0);
    return tool;
}

// A gentle wave across the frame at height y, sampled as a pen gives it.
QList<QPointF> wave(double y, double phase)
{
    QList<QPointF> points;
    for (int i = 0; i <= 40; ++i) {
        const double x = 10.0 + i * 3.5;
        points.append(QPointF(x, y + 12.0 * std::sin(x / 25.0 + phase)));
    }
    return points;
}

// Drawn as the canvas draws: the mask follows every sample.
std::unique_ptr<SingleStroke> liveStroke(bool pen, const QList<QPointF> &points)
{
    return TestSupport::liveStroke(Frame, *makeTool(pen), points);
}

// The same stroke after a trip through a record: vector data only.
std::unique_ptr<SingleStroke> recordStroke(bool pen, const QList<QPointF> &points)
{
    const auto live = liveStroke(pen, points);
    const QByteArray data = record([&](QDataStream &out) { live->write(out); });
    QDataStream in(data);
    return SingleStroke::read(prepareRecordStream(in));
}

// Coverage that changes across the rectangle, so that misplaced pixels show.
std::unique_ptr<BitmapStroke> gradient(QRect rect)
{
    QImage image(rect.size(), QImage::Format_Alpha8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.scanLine(y)[x] = uchar((x * 7 + y * 3) % 256);
    return std::make_unique<BitmapStroke>(image, rect);
}

void apply(StrokeDrawing &drawing, Step step, int index)
{
    const double y = 20.0 + 13.0 * (index % 7);
    switch (step) {
    case LivePen:
        QVERIFY(drawing.addStroke(liveStroke(true, wave(y, index))));
        break;
    case LiveEraser:
        QVERIFY(drawing.addStroke(liveStroke(false, wave(y, index + 2.0))));
        break;
    case RecordPen:
        QVERIFY(drawing.addStroke(recordStroke(true, wave(y, index))));
        break;
    case RecordEraser:
        QVERIFY(drawing.addStroke(recordStroke(false, wave(y, index + 2.0))));
        break;
    case Bitmap:
        QVERIFY(drawing.addStroke(gradient(QRect(15 + 9 * index, 10 + 5 * index, 60, 40))));
        break;
    case Group: {
        auto group = std::make_unique<CompoundStroke>();
        group->addStroke(recordStroke(true, wave(40.0, 0.5)));
        group->addStroke(recordStroke(true, wave(80.0, 1.5)));
        group->addStroke(recordStroke(false, {QPointF(80, 10), QPointF(80, 60), QPointF(82, 110)}));
        QVERIFY(drawing.addStroke(std::move(group)));
        break;
    }
    case ShrunkGroup: {
        auto group = std::make_unique<CompoundStroke>();
        group->addStroke(recordStroke(true, {QPointF(1000.0 + 60.0 * index, 800.0)}));
        group->addStroke(recordStroke(true, {QPointF(1430.0, 1210.0 + 70.0 * index)}));
        group->setTransform(QTransform::fromScale(0.05, 0.05));
        QVERIFY(drawing.addStroke(std::move(group)));
        break;
    }
    case EraseCircle: {
        QPainterPath path;
        path.addEllipse(QPointF(40.0 + 17.0 * index, 60.0), 22.0, 30.0);
        drawing.eraseInside(path);
        break;
    }
    case TakeLast:
        QVERIFY(drawing.takeLastStroke());
        break;
    case Collapse:
        QVERIFY(drawing.collapseVectorData(1, QRect(), {}));
        break;
    case Resize:
        drawing.changeFrameSize(drawing.size() + QSize(40, 30), KL::FitMode::FitModeCropCenter);
        break;
    case OddShrink:
        drawing.changeFrameSize(drawing.size() - QSize(41, 31), KL::FitMode::FitModeCropCenter);
        break;
    }
}

QImage freshRender(const StrokeDrawing &drawing)
{
    QImage image(drawing.size(), QImage::Format_Alpha8);
    image.fill(0);
    drawing.root().render(image, image.rect(), QTransform(), QPoint(0, 0), 1.0);
    return image;
}

int coverage(const QImage &image, int x, int y)
{
    return image.constScanLine(y)[x];
}

int coveredPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += coverage(image, x, y) != 0 ? 1 : 0;
    return count;
}

// Empty when the drawing's image is what its strokes render to (within
// tolerance), otherwise what differs.
QString imageMismatch(const StrokeDrawing &drawing, int tolerance = 0)
{
    if (drawing.isEmpty())
        return drawing.image().isNull() ? QString() : QStringLiteral("an empty drawing has an image");
    if (drawing.image().isNull())
        return QStringLiteral("strokes without an image");
    if (drawing.image().size() != drawing.size())
        return QStringLiteral("image of another size");
    if (drawing.image().format() != QImage::Format_Alpha8)
        return QStringLiteral("image of another format");
    const Difference diff = difference(drawing.image(), freshRender(drawing));
    // Masks gathered segment by segment resolve overlapping edges from their
    // own samples; inside the strokes they agree.
    if (diff.largest > tolerance || (tolerance > 0 && diff.mean > 0.05))
        return QStringLiteral("differs by up to %1, mean %2").arg(diff.largest).arg(diff.mean);
    return {};
}

QByteArray recordOf(const StrokeDrawing &drawing)
{
    return record([&](QDataStream &stream) { stream << drawing; });
}

struct ReadResult
{
    std::unique_ptr<StrokeDrawing> drawing;
    QDataStream::Status status = QDataStream::Ok;
    int version = 0;
};

ReadResult readRecord(const QByteArray &data, QSize startSize = QSize())
{
    ReadResult result;
    result.drawing = std::make_unique<StrokeDrawing>(startSize);
    QDataStream stream(data);
    prepareRecordStream(stream) >> *result.drawing;
    result.status = stream.status();
    result.version = stream.version();
    return result;
}

// A record written field by field around a real root, for tails and damage
// that no writer produces.
QByteArray handMadeRecord(QSize size, const CompoundStroke &root,
                          const std::function<void(QDataStream &)> &tail)
{
    QByteArray data;
    QDataStream stream(&data, QIODevice::WriteOnly);
    prepareRecordStream(stream) << size;
    root.write(stream);
    if (tail)
        tail(stream);
    return data;
}

QList<QRgb> colourTable(QColor colour)
{
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) {
        QColor entry = colour;
        entry.setAlpha(qRound(colour.alphaF() * i));
        table.append(entry.rgba());
    }
    return table;
}

// Whether every pixel inside inner is covered and every pixel outside outer
// is empty.
QString placementMismatch(const QImage &image, QRect inner, QRect outer)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int value = coverage(image, x, y);
            if (inner.contains(x, y) && value == 0)
                return QStringLiteral("empty at %1,%2").arg(x).arg(y);
            if (!outer.contains(x, y) && value != 0)
                return QStringLiteral("covered at %1,%2").arg(x).arg(y);
        }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(KL::FitMode)

class TestStrokeDrawing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // Content and its cached image
    void newDrawingIsEmpty_data();
    void newDrawingIsEmpty();
    void cachedImageFollowsEdits_data();
    void cachedImageFollowsEdits();
    void penMaskBecomesTheImage();
    void addedStrokesHoldNoMask_data();
    void addedStrokesHoldNoMask();
    void strokeTakenBackAndAddedAgainWithItsMask_data();
    void strokeTakenBackAndAddedAgainWithItsMask();
    void eraserOnEmptyDrawingIsRefused();
    void takingTheOnlyStrokeEmptiesTheDrawing();
    void copyIdIsResetByEdits_data();
    void copyIdIsResetByEdits();
    void editOfAnEvictedImage_data();
    void editOfAnEvictedImage();
    void cloneIsIndependent();
    void copyInsideLiftsOnlyWhatThePathTouches();
    void cancelledCollapseChangesNothing();

    // Records
    void recordRoundTrip_data();
    void recordRoundTrip();
    void recordTails_data();
    void recordTails();
    void damagedRecords_data();
    void damagedRecords();
    void damagedBitmapLosesOnlyItself_data();
    void damagedBitmapLosesOnlyItself();
    void everyPrefixOfARecord();
    void flippedBytes();

    // Thumbnails and painting
    void thumbnailSizes_data();
    void thumbnailSizes();
    void thumbnailStrengthensFaintCoverage_data();
    void thumbnailStrengthensFaintCoverage();
    void thumbnailCache();
    void paintColoursTheCoverage();
    void paintMatchesTheIndexedColourTable_data();
    void paintMatchesTheIndexedColourTable();
    void activeStrokePreviewMatchesTheResult_data();
    void activeStrokePreviewMatchesTheResult();

    // Frame size and merging
    void changeFrameSize_data();
    void changeFrameSize();
    void changeFrameSizeFromNoSize();
    void mergeFrom_data();
    void mergeFrom();

private:
    bool m_gl = false;
};

void TestStrokeDrawing::initTestCase()
{
    // Smaller than the full-HD frames below, so that those tile.
    m_gl = startRenderer(QSize(512, 512));
}

// Content and its cached image

void TestStrokeDrawing::newDrawingIsEmpty_data()
{
    QTest::addColumn<QSize>("thumbnailSize");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("small, black") << QSize(40, 30) << QColor(Qt::black);
    QTest::newRow("large, half-transparent red") << QSize(400, 300) << QColor(255, 0, 0, 128);
}

void TestStrokeDrawing::newDrawingIsEmpty()
{
    QFETCH(QSize, thumbnailSize);
    QFETCH(QColor, colour);
    StrokeDrawing drawing(Frame);
    QCOMPARE(drawing.type(), Drawing::StrokeDrawingType);
    QVERIFY(drawing.isEmpty());
    QVERIFY(drawing.image().isNull());
    QVERIFY(drawing.copyId().isNull());
    QVERIFY(drawing.name().isEmpty());
    QVERIFY(drawing.thumbnail(thumbnailSize, colourTable(colour)).isNull());
}

void TestStrokeDrawing::cachedImageFollowsEdits_data()
{
    QTest::addColumn<QList<int>>("steps");
    // Live strokes bring masks gathered piece by piece; everything else is
    // rendered whole and must agree exactly.
    QTest::addColumn<int>("tolerance");
    QTest::newRow("live pens") << QList<int>{LivePen, LivePen, LivePen} << 4;
    QTest::newRow("live pens and erasers") << QList<int>{LivePen, LivePen, LiveEraser, LivePen} << 4;
    QTest::newRow("live, then take last") << QList<int>{LivePen, LiveEraser, TakeLast} << 4;
    QTest::newRow("strokes from records") << QList<int>{RecordPen, RecordEraser, RecordPen} << 0;
    QTest::newRow("bitmaps and a group") << QList<int>{Bitmap, Group, RecordPen, Bitmap} << 0;
    QTest::newRow("erase inside") << QList<int>{RecordPen, Bitmap, EraseCircle, RecordPen, EraseCircle} << 0;
    QTest::newRow("take last") << QList<int>{RecordPen, RecordEraser, Bitmap, TakeLast, TakeLast} << 0;
    QTest::newRow("take last after an erase") << QList<int>{RecordPen, EraseCircle, RecordPen, TakeLast} << 0;
    QTest::newRow("bitmaps only") << QList<int>{Bitmap, Bitmap, TakeLast, Bitmap} << 0;
    QTest::newRow("take last after a resize") << QList<int>{Bitmap, Bitmap, Resize, TakeLast} << 0;
    QTest::newRow("draw and erase after a resize")
        << QList<int>{RecordPen, Resize, RecordPen, EraseCircle, TakeLast} << 0;
    QTest::newRow("collapse, then draw on")
        << QList<int>{RecordPen, RecordEraser, Group, Collapse, RecordPen} << 0;
    QTest::newRow("a picture off the frame by halves, a stroke across it taken back")
        << QList<int>{Bitmap, OddShrink, RecordPen, TakeLast} << 0;
    QTest::newRow("taps shrunk in a group, then take last")
        << QList<int>{RecordPen, ShrunkGroup, ShrunkGroup, TakeLast} << 0;
}

void TestStrokeDrawing::cachedImageFollowsEdits()
{
    QFETCH(QList<int>, steps);
    QFETCH(int, tolerance);
    if (needsOpenGL(steps))
        REQUIRE_GL();
    StrokeDrawing drawing(Frame);
    for (int i = 0; i < steps.size(); ++i) {
        apply(drawing, Step(steps.at(i)), i);
        if (QTest::currentTestFailed())
            return;
        const QString mismatch = imageMismatch(drawing, tolerance);
        QVERIFY2(mismatch.isEmpty(), qPrintable(QStringLiteral("after step %1: %2").arg(i).arg(mismatch)));
    }
    QVERIFY(coveredPixels(drawing.image()) > 500);
}

void TestStrokeDrawing::penMaskBecomesTheImage()
{
    REQUIRE_GL();
    StrokeDrawing drawing(Frame);
    auto stroke = liveStroke(true, wave(50.0, 0.0));
    const uchar *mask = stroke->image().constBits();
    QVERIFY(drawing.addStroke(std::move(stroke)));
    QCOMPARE(drawing.image().constBits(), mask);
}

void TestStrokeDrawing::addedStrokesHoldNoMask_data()
{
    QTest::addColumn<bool>("startEmpty");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("tolerance");
    QTest::newRow("live pen on an empty drawing") << true << int(LivePen) << 4;
    QTest::newRow("live pen over strokes") << false << int(LivePen) << 4;
    QTest::newRow("live eraser over strokes") << false << int(LiveEraser) << 4;
    QTest::newRow("pen from a record on an empty drawing") << true << int(RecordPen) << 0;
    QTest::newRow("pen from a record over strokes") << false << int(RecordPen) << 0;
    QTest::newRow("eraser from a record over strokes") << false << int(RecordEraser) << 0;
    QTest::newRow("group with live strokes") << false << int(Group) << 0;
}

// An undo that knows what the drawing showed under the stroke puts that back
// instead of rendering; a redo that gives the stroke its mask back composes
// the pixels of the first add. Either way the pixels are those of before and
// after, to the bit. A picture that does not fit falls back to rendering.
void TestStrokeDrawing::strokeTakenBackAndAddedAgainWithItsMask_data()
{
    QTest::addColumn<QPoint>("shift");
    QTest::newRow("picture in place") << QPoint(0, 0);
    QTest::newRow("picture beyond the frame") << QPoint(Frame.width() - 5, 0);
}

void TestStrokeDrawing::strokeTakenBackAndAddedAgainWithItsMask()
{
    QFETCH(QPoint, shift);
    REQUIRE_GL();
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(liveStroke(true, wave(50.0, 0.0))));
    QVERIFY(drawing.addStroke(liveStroke(true, wave(60.0, 1.5))));
    const QImage before = drawing.image().copy();
    auto stroke = liveStroke(true, wave(55.0, 3.0));
    const QImage mask = stroke->image();
    const QRect area = stroke->boundingRect() & mask.rect();
    const QImage under = before.copy(area);
    QVERIFY(drawing.addStroke(std::move(stroke)));
    const QImage after = drawing.image().copy();

    std::unique_ptr<Stroke> taken = drawing.takeLastStroke(under, area.topLeft() + shift);
    QVERIFY(taken);
    if (shift.isNull())
        QCOMPARE(drawing.image(), before);
    else
        QCOMPARE(imageMismatch(drawing, 4), QString());

    static_cast<SingleStroke &>(*taken).setImage(mask);
    QVERIFY(drawing.addStroke(std::move(taken)));
    if (shift.isNull())
        QCOMPARE(drawing.image(), after);
}

// A mask is the size of the frame: kept by every stroke of a drawing, a few
// hundred strokes would hold a gigabyte. The drawing's image must still show
// each stroke.
void TestStrokeDrawing::addedStrokesHoldNoMask()
{
    QFETCH(bool, startEmpty);
    QFETCH(int, step);
    QFETCH(int, tolerance);
    REQUIRE_GL();
    StrokeDrawing drawing(Frame);
    if (!startEmpty) {
        QVERIFY(drawing.addStroke(gradient(QRect(10, 10, 140, 100))));
        QVERIFY(drawing.addStroke(recordStroke(true, wave(60.0, 1.0))));
    }
    const QImage before = drawing.image().isNull() ? QImage() : drawing.image().copy();

    if (step == Group) {
        // Strokes grouped before they reach the drawing, still with masks.
        auto group = std::make_unique<CompoundStroke>();
        group->addStroke(liveStroke(true, wave(40.0, 0.5)));
        group->addStroke(liveStroke(false, wave(45.0, 2.0)));
        QVERIFY(drawing.addStroke(std::move(group)));
    } else {
        apply(drawing, Step(step), 3);
    }

    const std::function<QString(const CompoundStroke &)> heldMask = [&](const CompoundStroke &compound) {
        for (int i = 0; i < compound.memberCount(); ++i) {
            const Stroke *member = compound.member(i);
            if (const auto *single = dynamic_cast<const SingleStroke *>(member); single && !single->image().isNull())
                return QStringLiteral("member %1 holds a mask").arg(i);
            if (const auto *nested = dynamic_cast<const CompoundStroke *>(member)) {
                const QString inside = heldMask(*nested);
                if (!inside.isEmpty())
                    return QStringLiteral("member %1: %2").arg(i).arg(inside);
            }
        }
        return QString();
    };
    QCOMPARE(heldMask(drawing.root()), QString());
    QCOMPARE(heldMask(static_cast<const StrokeDrawing &>(*drawing.clone()).root()), QString());

    const QString mismatch = imageMismatch(drawing, tolerance);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(drawing.image() != before);
}

void TestStrokeDrawing::eraserOnEmptyDrawingIsRefused()
{
    StrokeDrawing drawing(Frame);
    const auto tool = makeTool(false);
    auto eraser = std::make_unique<SingleStroke>(Frame, tool.get());
    eraser->addPoint({30.0, 30.0, 1.0, 0.0});
    QVERIFY(!drawing.addStroke(std::move(eraser)));
    QVERIFY(!drawing.addStroke(nullptr));
    QVERIFY(drawing.isEmpty());
    QVERIFY(drawing.image().isNull());
}

void TestStrokeDrawing::takingTheOnlyStrokeEmptiesTheDrawing()
{
    StrokeDrawing drawing(Frame);
    QVERIFY(!drawing.takeLastStroke());
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(10, 10, 30, 20), 200)));
    QVERIFY(!drawing.image().isNull());
    const auto stroke = drawing.takeLastStroke();
    QVERIFY(stroke);
    QCOMPARE(stroke->boundingRect(), QRect(10, 10, 30, 20));
    QVERIFY(drawing.isEmpty());
    QVERIFY(drawing.image().isNull());
}

void TestStrokeDrawing::copyIdIsResetByEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("changes");
    QTest::newRow("add a stroke") << "add" << true;
    QTest::newRow("erase inside") << "erase" << true;
    QTest::newRow("take the last stroke") << "take" << true;
    QTest::newRow("collapse") << "collapse" << true;
    QTest::newRow("change the frame size") << "resize" << true;
    QTest::newRow("merge a drawing") << "merge" << true;
    QTest::newRow("add nothing") << "add null" << false;
    QTest::newRow("cancelled collapse") << "cancel" << false;
    QTest::newRow("erase beside the ink") << "erase beside" << false;
    QTest::newRow("erase between the strokes") << "erase between" << false;
    QTest::newRow("merge an image drawing") << "merge image" << false;
    QTest::newRow("copy inside") << "copy inside" << false;
    QTest::newRow("thumbnail") << "thumbnail" << false;
}

void TestStrokeDrawing::copyIdIsResetByEdits()
{
    const auto rectangle = [](const QRectF &rect) {
        QPainterPath path;
        path.addRect(rect);
        return path;
    };
    QFETCH(QString, edit);
    QFETCH(bool, changes);
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(10, 10, 50, 40), 180)));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(70, 50, 50, 40), 90)));
    const QUuid id = drawing.createCopyId();
    QVERIFY(!id.isNull());
    QCOMPARE(drawing.copyId(), id);

    QPainterPath path;
    path.addRect(0, 0, 65, 55);
    StrokeDrawing other(Frame);
    QVERIFY(other.addStroke(bitmapStroke(QRect(0, 0, 20, 20), 255)));
    const ImageDrawing picture(QImage(10, 10, QImage::Format_ARGB32));

    if (edit == "add")
        QVERIFY(drawing.addStroke(bitmapStroke(QRect(5, 5, 10, 10), 50)));
    else if (edit == "erase")
        QVERIFY(drawing.eraseInside(path));
    else if (edit == "take")
        QVERIFY(drawing.takeLastStroke());
    else if (edit == "collapse")
        QVERIFY(drawing.collapseVectorData(2, QRect(), {}));
    else if (edit == "resize")
        drawing.changeFrameSize(QSize(80, 60), KL::FitMode::FitModeStretch);
    else if (edit == "merge")
        drawing.mergeFrom(&other);
    else if (edit == "add null")
        QVERIFY(!drawing.addStroke(nullptr));
    else if (edit == "cancel")
        QVERIFY(!drawing.collapseVectorData(2, QRect(), [](int, int) { return false; }));
    else if (edit == "merge image")
        drawing.mergeFrom(&picture);
    else if (edit == "erase beside")
        QVERIFY(!drawing.eraseInside(rectangle(QRectF(130, 5, 20, 20))));
    else if (edit == "erase between")
        // Inside the strokes' bounds, yet over no ink.
        QVERIFY(!drawing.eraseInside(rectangle(QRectF(62, 10, 6, 30))));
    else if (edit == "copy inside")
        QVERIFY(drawing.copyInside(path));
    else if (edit == "thumbnail")
        QVERIFY(!drawing.thumbnail(QSize(40, 30), colourTable(Qt::black)).isNull());

    QCOMPARE(drawing.copyId().isNull(), changes);
}

void TestStrokeDrawing::editOfAnEvictedImage_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<int>("edit");
    const QList<int> strokes{RecordPen, Bitmap, RecordEraser};
    const QList<int> bitmaps{Bitmap, Bitmap};
    QTest::newRow("live pen") << strokes << int(LivePen);
    QTest::newRow("live eraser") << strokes << int(LiveEraser);
    QTest::newRow("pen from a record") << strokes << int(RecordPen);
    QTest::newRow("eraser from a record") << strokes << int(RecordEraser);
    QTest::newRow("bitmap") << bitmaps << int(Bitmap);
    QTest::newRow("group") << strokes << int(Group);
    QTest::newRow("erase inside") << strokes << int(EraseCircle);
    QTest::newRow("take last") << strokes << int(TakeLast);
    QTest::newRow("take the only stroke") << QList<int>{Bitmap} << int(TakeLast);
    QTest::newRow("collapse") << strokes << int(Collapse);
    QTest::newRow("resize") << bitmaps << int(Resize);
}

// Two drawings of the same strokes, one whose decoded image stayed in the
// cache and one whose image the cache let go: the same edit gives the same
// pixels, the same record, and the same picture composed from either.
void TestStrokeDrawing::editOfAnEvictedImage()
{
    QFETCH(QList<int>, before);
    QFETCH(int, edit);
    if (needsOpenGL(before + QList<int>{edit}))
        REQUIRE_GL();
    DrawingImageCache *cache = DrawingImageCache::instance();
    StrokeDrawing evicted(Frame);
    for (int i = 0; i < before.size(); ++i)
        apply(evicted, Step(before.at(i)), i);
    cache->clear();
    StrokeDrawing decoded(Frame);
    for (int i = 0; i < before.size(); ++i)
        apply(decoded, Step(before.at(i)), i);
    QCOMPARE(cache->count(), 1);

    apply(evicted, Step(edit), int(before.size()));
    apply(decoded, Step(edit), int(before.size()));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(recordOf(evicted), recordOf(decoded));
    QCOMPARE(evicted.image(), decoded.image());
    QCOMPARE(imageMismatch(evicted, 4), QString());

    // Composed from the code, and from the image the cache holds.
    cache->clear();
    QVERIFY(!decoded.image().isNull() || decoded.isEmpty());
    const QList<QRgb> table = colourTable(QColor(20, 90, 200, 230));
    QImage fromCode(evicted.size(), QImage::Format_ARGB32_Premultiplied);
    fromCode.fill(QColor(250, 240, 200));
    QImage fromImage = fromCode;
    evicted.blendOnto(fromCode, table, fromCode.rect(), 0.8);
    decoded.blendOnto(fromImage, table, fromImage.rect(), 0.8);
    QCOMPARE(fromCode, fromImage);
}

void TestStrokeDrawing::cloneIsIndependent()
{
    StrokeDrawing drawing(Frame);
    drawing.setName(QStringLiteral("Inserted blank"));
    drawing.createCopyId();
    QVERIFY(drawing.addStroke(gradient(QRect(10, 10, 60, 50))));
    const QImage before = drawing.image().copy();
    const QImage thumbnail = drawing.thumbnail(QSize(40, 30), colourTable(Qt::blue));

    const auto copy = drawing.clone();
    QCOMPARE(copy->type(), Drawing::StrokeDrawingType);
    QVERIFY(copy->copyId().isNull());
    QVERIFY(copy->name().isEmpty());
    QCOMPARE(copy->thumbnail(QSize(40, 30), colourTable(Qt::blue)).cacheKey(), thumbnail.cacheKey());
    auto &strokeCopy = static_cast<StrokeDrawing &>(*copy);
    QCOMPARE(strokeCopy.image(), before);
    QCOMPARE(recordOf(strokeCopy), recordOf(drawing));

    QVERIFY(strokeCopy.addStroke(bitmapStroke(QRect(80, 60, 40, 40), 255)));
    QVERIFY(strokeCopy.takeLastStroke());
    QVERIFY(strokeCopy.takeLastStroke());
    QVERIFY(strokeCopy.isEmpty());
    QCOMPARE(drawing.image(), before);
    QCOMPARE(drawing.root().memberCount(), 1);
    QCOMPARE(drawing.name(), QStringLiteral("Inserted blank"));
}

void TestStrokeDrawing::copyInsideLiftsOnlyWhatThePathTouches()
{
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(10, 10, 40, 40), 255)));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(100, 60, 40, 40), 255)));
    const QByteArray record = recordOf(drawing);

    QPainterPath lasso;
    lasso.addEllipse(QRectF(10, 10, 40, 40));
    const auto lifted = drawing.copyInside(lasso);
    QVERIFY(lifted);
    QImage image(Frame, QImage::Format_Alpha8);
    image.fill(0);
    lifted->render(image, image.rect(), QTransform(), QPoint(0, 0), 1.0);
    // The lasso's outline cuts the square's corner off, and the other square
    // stays behind.
    QCOMPARE(coverage(image, 30, 30), 255);
    QCOMPARE(coverage(image, 11, 11), 0);
    QCOMPARE(coverage(image, 120, 80), 0);
    QCOMPARE(recordOf(drawing), record);
}

void TestStrokeDrawing::cancelledCollapseChangesNothing()
{
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(gradient(QRect(10, 10, 60, 50))));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(50, 40, 60, 50), 120)));
    const QByteArray record = recordOf(drawing);
    const QImage image = drawing.image().copy();
    int asked = 0;
    QVERIFY(!drawing.collapseVectorData(2, QRect(), [&asked](int, int) { return ++asked < 2; }));
    QCOMPARE(recordOf(drawing), record);
    QCOMPARE(drawing.image(), image);

    QVERIFY(drawing.collapseVectorData(1, QRect(0, 0, 80, 120), {}));
    QCOMPARE(drawing.root().memberCount(), 1);
    QCOMPARE(drawing.root().member(0)->type(), Stroke::BitmapStrokeType);
    QVERIFY2(imageMismatch(drawing).isEmpty(), qPrintable(imageMismatch(drawing)));
    // What lay outside the limit is gone; what lay inside looks the same.
    QCOMPARE(coverage(drawing.image(), 100, 80), 0);
    QCOMPARE(coverage(drawing.image(), 30, 30), coverage(image, 30, 30));
    QCOMPARE(coverage(drawing.image(), 60, 50), coverage(image, 60, 50));
}

// Records

void TestStrokeDrawing::recordRoundTrip_data()
{
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<bool>("resized");
    QTest::newRow("empty") << QList<int>{} << false;
    QTest::newRow("bitmaps") << QList<int>{Bitmap, Bitmap} << false;
    QTest::newRow("bitmaps, resized") << QList<int>{Bitmap, Bitmap} << true;
    QTest::newRow("pens, erasers and a group")
        << QList<int>{LivePen, RecordEraser, Group, EraseCircle} << false;
    QTest::newRow("pens, resized") << QList<int>{RecordPen, LivePen} << true;
}

void TestStrokeDrawing::recordRoundTrip()
{
    QFETCH(QList<int>, steps);
    QFETCH(bool, resized);
    if (needsOpenGL(steps))
        REQUIRE_GL();
    StrokeDrawing drawing(Frame);
    for (int i = 0; i < steps.size(); ++i)
        apply(drawing, Step(steps.at(i)), i);
    if (resized) // a scale of 3/4 and 2/3 does not fit a float exactly
        drawing.changeFrameSize(QSize(120, 80), KL::FitMode::FitModeStretch);

    const QByteArray record = recordOf(drawing);
    // Big-endian qint32 width and height lead the record.
    QByteArray header;
    QDataStream(&header, QIODevice::WriteOnly) << qint32(drawing.size().width())
                                               << qint32(drawing.size().height());
    QCOMPARE(record.left(8), header);

    const ReadResult read = readRecord(record);
    QCOMPARE(read.status, QDataStream::Ok);
    // A run-length image switches the stream to version 19 for good.
    QCOMPARE(read.version == 19, !drawing.image().isNull());
    QCOMPARE(read.drawing->size(), drawing.size());
    QCOMPARE(read.drawing->isEmpty(), drawing.isEmpty());
    QCOMPARE(read.drawing->image(), drawing.image());
    QCOMPARE(read.drawing->root().strokeCount(), drawing.root().strokeCount());
    // Values travel as floats: what was read writes the same record again.
    QCOMPARE(recordOf(*read.drawing), record);
    QCOMPARE(read.drawing->root().transform().m22(), double(float(drawing.root().transform().m22())));
}

void TestStrokeDrawing::recordTails_data()
{
    QTest::addColumn<int>("tail");
    QTest::newRow("ends after the strokes") << 0;
    QTest::newRow("tag -1") << 1;
    QTest::newRow("unknown tag") << 2;
    QTest::newRow("image of another size") << 3;
    QTest::newRow("damaged run-length image") << 4;
    QTest::newRow("image without strokes") << 5;
}

// However the record ends, the image shown is that of the strokes.
void TestStrokeDrawing::recordTails()
{
    QFETCH(int, tail);
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(gradient(QRect(20, 10, 70, 60))));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(60, 50, 60, 60), 140)));
    const CompoundStroke empty;
    const CompoundStroke &root = tail == 5 ? empty : drawing.root();

    QImage otherSize(Frame / 2, QImage::Format_Alpha8);
    otherSize.fill(77);
    const QByteArray record = handMadeRecord(Frame, root, [&](QDataStream &stream) {
        switch (tail) {
        case 1:
            stream << qint32(-1);
            break;
        case 2:
            stream << qint32(7);
            break;
        case 3:
            stream << qint32(2) << RleImage(otherSize);
            break;
        case 4: {
            // Width, height and codes of the real image, the codes cut short.
            const QImage image = drawing.image();
            QByteArray codes = RleImage(image).codes();
            codes.chop(1);
            stream << qint32(2) << qint32(image.width()) << qint32(image.height()) << codes;
            break;
        }
        case 5:
            stream << qint32(2) << RleImage(drawing.image());
            break;
        default:
            break;
        }
    });

    const ReadResult read = readRecord(record);
    QCOMPARE(read.status, QDataStream::Ok);
    QVERIFY2(imageMismatch(*read.drawing).isEmpty(), qPrintable(imageMismatch(*read.drawing)));
    if (tail == 5) {
        QVERIFY(read.drawing->isEmpty());
    } else {
        QCOMPARE(read.drawing->image(), drawing.image());
    }
}

void TestStrokeDrawing::damagedRecords_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("keepsOldContent");

    // The end of a compound stroke's body: erase path, clip path, transform.
    const auto paths = [](QDataStream &s) { s << QPainterPath() << QPainterPath() << QTransform(); };
    // A bitmap member without an image.
    const auto member = [](QDataStream &s) {
        s << qint32(Stroke::BitmapStrokeType) << QRect(1, 1, 5, 5) << qint32(-1);
    };

    QTest::newRow("frame too large to hold") << record([&](QDataStream &s) {
        s << QSize(100000, 100000) << qint64(0);
        paths(s);
        s << qint32(-1);
    }) << int(QDataStream::ReadCorruptData) << true;
    QTest::newRow("negative frame size") << record([&](QDataStream &s) {
        s << QSize(-5, 100) << qint64(0);
        paths(s);
        s << qint32(-1);
    }) << int(QDataStream::ReadCorruptData) << true;
    QTest::newRow("frame a billion rows tall and no column wide") << record([&](QDataStream &s) {
        s << QSize(0, 1 << 30) << qint64(0);
        paths(s);
    }) << int(QDataStream::ReadCorruptData) << true;
    QTest::newRow("frame size at the end of int") << record([&](QDataStream &s) {
        s << QSize(std::numeric_limits<int>::min(), std::numeric_limits<int>::min()) << qint64(0);
        paths(s);
    }) << int(QDataStream::ReadCorruptData) << true;
    QTest::newRow("only half a size") << record([](QDataStream &s) { s << qint32(160); })
                                      << int(QDataStream::ReadPastEnd) << true;
    QTest::newRow("member count beyond the data") << record([&](QDataStream &s) {
        s << Frame << (qint64(1) << 62);
        member(s);
    }) << int(QDataStream::ReadPastEnd) << false;
    QTest::newRow("negative member count") << record([&](QDataStream &s) {
        s << Frame << qint64(-3);
        paths(s);
    }) << int(QDataStream::ReadCorruptData) << false;
    QTest::newRow("unknown member type") << record([&](QDataStream &s) {
        s << Frame << qint64(2);
        member(s);
        s << qint32(9) << QRect();
    }) << int(QDataStream::ReadCorruptData) << false;
    QTest::newRow("image cut short") << record([&](QDataStream &s) {
        s << Frame << qint64(0);
        paths(s);
        s << qint32(2) << qint32(160);
    }) << int(QDataStream::ReadPastEnd) << false;
}

// Damage is reported through the stream, and what the drawing holds
// afterwards is consistent: its image is that of the strokes it kept.
void TestStrokeDrawing::damagedRecords()
{
    QFETCH(QByteArray, record);
    QFETCH(int, status);
    QFETCH(bool, keepsOldContent);
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(30, 30, 20, 20), 255)));
    const QByteArray before = recordOf(drawing);

    QDataStream stream(record);
    prepareRecordStream(stream) >> drawing;
    QCOMPARE(int(stream.status()), status);
    if (keepsOldContent)
        QCOMPARE(recordOf(drawing), before);
    QVERIFY2(imageMismatch(drawing).isEmpty(), qPrintable(imageMismatch(drawing)));
}

void TestStrokeDrawing::damagedBitmapLosesOnlyItself_data()
{
    QTest::addColumn<QByteArray>("damagedBitmap");
    QTest::newRow("image tag 5") << record([](QDataStream &s) {
        s << qint32(Stroke::BitmapStrokeType) << QRect(10, 10, 40, 30) << qint32(5);
    });
    QTest::newRow("run-length image running past its row") << record([](QDataStream &s) {
        s << qint32(Stroke::BitmapStrokeType) << QRect(10, 10, 4, 4) << qint32(2);
        s.setVersion(19);
        s << qint32(4) << qint32(4) << QByteArray("\x03\x09" "123456789\x0a", 12);
    });
}

// A damaged image inside a drawing costs that bitmap its picture and nothing
// else: the dot after it is read, and the image is rebuilt from both.
void TestStrokeDrawing::damagedBitmapLosesOnlyItself()
{
    QFETCH(QByteArray, damagedBitmap);
    const QRect dot(70, 50, 3, 3);
    QByteArray data;
    {
        QDataStream stream(&data, QIODevice::WriteOnly);
        prepareRecordStream(stream) << Frame << qint64(2);
        stream.writeRawData(damagedBitmap.constData(), int(damagedBitmap.size()));
        Stroke::writeRecord(stream, *bitmapStroke(dot, 255));
        stream << QPainterPath() << QPainterPath() << QTransform() << qint32(-1);
    }

    const ReadResult read = readRecord(data);
    QCOMPARE(read.status, QDataStream::Ok);
    QCOMPARE(read.drawing->root().memberCount(), 2);
    QVERIFY(static_cast<const BitmapStroke *>(read.drawing->root().member(0))->image().isNull());
    QVERIFY2(imageMismatch(*read.drawing).isEmpty(), qPrintable(imageMismatch(*read.drawing)));
    StrokeDrawing onlyTheDot(Frame);
    QVERIFY(onlyTheDot.addStroke(bitmapStroke(dot, 255)));
    QCOMPARE(read.drawing->image(), onlyTheDot.image());
}

void TestStrokeDrawing::everyPrefixOfARecord()
{
    StrokeDrawing drawing(QSize(64, 48));
    QVERIFY(drawing.addStroke(gradient(QRect(5, 5, 30, 20))));
    auto group = std::make_unique<CompoundStroke>();
    group->addStroke(bitmapStroke(QRect(20, 20, 30, 20), 200));
    QVERIFY(drawing.addStroke(std::move(group)));
    QPainterPath path;
    path.addEllipse(QRectF(15, 10, 20, 20));
    QVERIFY(drawing.eraseInside(path));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(40, 30, 20, 15), 90)));
    const QByteArray record = recordOf(drawing);

    for (int length = 0; length <= record.size(); ++length) {
        const ReadResult read = readRecord(record.left(length));
        const QString mismatch = imageMismatch(*read.drawing);
        QVERIFY2(mismatch.isEmpty(), qPrintable(QStringLiteral("%1 bytes: %2").arg(length).arg(mismatch)));
        if (read.status == QDataStream::Ok)
            QCOMPARE(read.drawing->image(), drawing.image());
    }
}

// Random damage anywhere: whatever the reader makes of it, it returns, and
// the drawing it leaves is consistent.
void TestStrokeDrawing::flippedBytes()
{
    StrokeDrawing drawing(QSize(64, 48));
    QVERIFY(drawing.addStroke(gradient(QRect(5, 5, 30, 20))));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(20, 20, 30, 20), 200)));
    QPainterPath path;
    path.addRect(QRectF(10, 10, 12, 12));
    QVERIFY(drawing.eraseInside(path));
    const QByteArray record = recordOf(drawing);

    // A changed coverage byte of the stored image, or of a bitmap stroke,
    // reads as well as the original; only the shape of the result can be
    // held against the strokes.
    QRandomGenerator random(2024);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = record;
        const int flips = 1 + int(random.bounded(4));
        for (int i = 0; i < flips; ++i)
            damaged[int(random.bounded(qsizetype(damaged.size())))] = char(random.bounded(256));
        const ReadResult read = readRecord(damaged);
        const StrokeDrawing &result = *read.drawing;
        const QString where = QStringLiteral("round %1").arg(round);
        QVERIFY2(result.image().isNull() == (result.isEmpty() || result.size().isEmpty()), qPrintable(where));
        if (!result.image().isNull()) {
            QVERIFY2(result.image().size() == result.size(), qPrintable(where));
            QVERIFY2(result.image().format() == QImage::Format_Alpha8, qPrintable(where));
        }
    }
}

// Thumbnails and painting

void TestStrokeDrawing::thumbnailSizes_data()
{
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("landscape into a square") << QSize(160, 120) << QSize(40, 40) << QSize(40, 30);
    QTest::newRow("same aspect") << QSize(160, 120) << QSize(80, 60) << QSize(80, 60);
    QTest::newRow("portrait into a square") << QSize(120, 160) << QSize(40, 40) << QSize(30, 40);
    QTest::newRow("larger than the frame") << QSize(160, 120) << QSize(320, 320) << QSize(320, 240);
    // The coverage is reduced before it is coloured.
    QTest::newRow("a hundredth of a large frame") << QSize(4000, 3000) << QSize(40, 40) << QSize(40, 30);
    QTest::newRow("invalid size") << QSize(160, 120) << QSize() << QSize();
}

void TestStrokeDrawing::thumbnailSizes()
{
    QFETCH(QSize, frame);
    QFETCH(QSize, asked);
    QFETCH(QSize, expected);
    StrokeDrawing drawing(frame);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(QPoint(0, 0), frame), 255)));
    const QImage thumbnail = drawing.thumbnail(asked, colourTable(Qt::darkGreen));
    if (!expected.isValid()) {
        QVERIFY(thumbnail.isNull());
        return;
    }
    QCOMPARE(thumbnail.size(), expected);
    QCOMPARE(thumbnail.pixel(expected.width() / 2, expected.height() / 2), QColor(Qt::darkGreen).rgba());
    QVERIFY(drawing.thumbnail(asked, {}).isNull());
}

void TestStrokeDrawing::thumbnailStrengthensFaintCoverage_data()
{
    QTest::addColumn<int>("covered");
    QTest::addColumn<int>("alpha");
    QTest::newRow("10") << 10 << 80;
    QTest::newRow("20") << 20 << 160;
    QTest::newRow("31") << 31 << 248;
    QTest::newRow("32") << 32 << 255;
    QTest::newRow("40") << 40 << 255;
    QTest::newRow("full") << 255 << 255;
}

void TestStrokeDrawing::thumbnailStrengthensFaintCoverage()
{
    QFETCH(int, covered);
    QFETCH(int, alpha);
    StrokeDrawing drawing(QSize(64, 48));
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(0, 0, 64, 48), uchar(covered))));
    const QImage thumbnail = drawing.thumbnail(QSize(32, 24), colourTable(QColor(200, 40, 0)));
    QCOMPARE(thumbnail.size(), QSize(32, 24));
    const QRgb pixel = qUnpremultiply(thumbnail.pixel(16, 12));
    QCOMPARE(qAlpha(pixel), alpha);
    // Only the alpha is strengthened; the layer's colour stays, as far as
    // faint coverage keeps it.
    QVERIFY2(std::abs(qRed(pixel) - 200) <= 8 && std::abs(qGreen(pixel) - 40) <= 12 && qBlue(pixel) == 0,
             qPrintable(QColor::fromRgba(pixel).name(QColor::HexArgb)));
}

void TestStrokeDrawing::thumbnailCache()
{
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(10, 10, 50, 50), 255)));
    const QList<QRgb> red = colourTable(Qt::red);
    const QList<QRgb> blue = colourTable(Qt::blue);

    const QImage first = drawing.thumbnail(QSize(40, 30), red);
    QCOMPARE(drawing.thumbnail(QSize(40, 30), red).cacheKey(), first.cacheKey());
    // Another layer colour gets a thumbnail of its own beside the first.
    const QImage second = drawing.thumbnail(QSize(40, 30), blue);
    QVERIFY(second.cacheKey() != first.cacheKey());
    QCOMPARE(QColor(second.pixel(5, 5)), QColor(Qt::blue));
    QCOMPARE(drawing.thumbnail(QSize(40, 30), red).cacheKey(), first.cacheKey());
    QCOMPARE(drawing.thumbnail(QSize(40, 30), blue).cacheKey(), second.cacheKey());

    // Another size starts the cache over.
    QCOMPARE(drawing.thumbnail(QSize(80, 60), red).size(), QSize(80, 60));
    const QImage again = drawing.thumbnail(QSize(40, 30), red);
    QVERIFY(again.cacheKey() != first.cacheKey());
    QCOMPARE(again, first);

    // An edit shows at once.
    QCOMPARE(qAlpha(again.pixel(30, 20)), 0);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(100, 70, 60, 50), 255)));
    QCOMPARE(qAlpha(drawing.thumbnail(QSize(40, 30), red).pixel(30, 20)), 255);

    const QImage beforeClear = drawing.thumbnail(QSize(40, 30), red);
    drawing.clearCache();
    QVERIFY(drawing.thumbnail(QSize(40, 30), red).cacheKey() != beforeClear.cacheKey());
}

void TestStrokeDrawing::paintColoursTheCoverage()
{
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(0, 0, 80, 120), 255)));
    QImage canvas(Frame, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    const QRect part(40, 30, 80, 60);
    {
        QPainter painter(&canvas);
        drawing.paint(&painter, colourTable(QColor(0, 0, 255, 128)), part);
        drawing.paint(&painter, {}, canvas.rect());
    }
    // Half-transparent blue over white, only inside the part and the coverage.
    const QColor blended = QColor(canvas.pixel(50, 40));
    QVERIFY2(std::abs(blended.red() - 127) <= 2 && blended.blue() == 255, qPrintable(blended.name()));
    QCOMPARE(canvas.pixel(10, 10), QColor(Qt::white).rgba());
    QCOMPARE(canvas.pixel(100, 40), QColor(Qt::white).rgba());
    QCOMPARE(canvas.pixel(50, 100), QColor(Qt::white).rgba());
}

void TestStrokeDrawing::paintMatchesTheIndexedColourTable_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<QRect>("part");

    const QRect inside(12, 8, 130, 100);
    QTest::newRow("opaque black") << QColor(Qt::black) << 1.0 << inside;
    QTest::newRow("opaque colour at layer opacity") << QColor(200, 40, 90) << 0.6 << inside;
    QTest::newRow("translucent colour") << QColor(20, 150, 230, 140) << 1.0 << inside;
    QTest::newRow("translucent colour at faint opacity") << QColor(250, 250, 10, 77) << 0.25 * 0.7 << inside;
    QTest::newRow("part beyond the frame") << QColor(90, 0, 160, 200) << 0.4 << QRect(-20, 50, 400, 400);
    QTest::newRow("no opacity") << QColor(90, 0, 160) << 0.0 << inside;
}

// Painted or blended without a painter, the drawing gives the pixels Qt
// gives an indexed view of the coverage through the same table, over any
// backdrop.
void TestStrokeDrawing::paintMatchesTheIndexedColourTable()
{
    QFETCH(QColor, colour);
    QFETCH(double, opacity);
    QFETCH(QRect, part);
    StrokeDrawing drawing(Frame);
    // Every coverage value, twice over.
    QVERIFY(drawing.addStroke(gradient(QRect(5, 5, 150, 110))));
    const QList<QRgb> table = colourTable(colour);

    QImage backdrop(Frame, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < backdrop.height(); ++y)
        for (int x = 0; x < backdrop.width(); ++x)
            backdrop.setPixel(x, y, qPremultiply(qRgba(x * 3 % 256, y * 5 % 256, 128, (x + y) * 2 % 256)));

    QImage expected = backdrop;
    {
        const QImage &coverage = drawing.image();
        QImage indexed(coverage.constBits(), coverage.width(), coverage.height(), coverage.bytesPerLine(),
                       QImage::Format_Indexed8);
        indexed.setColorTable(table);
        QPainter painter(&expected);
        painter.setOpacity(opacity);
        painter.drawImage(part, indexed, part);
    }
    QImage painted = backdrop;
    {
        QPainter painter(&painted);
        painter.setOpacity(opacity);
        drawing.paint(&painter, table, part);
    }
    QCOMPARE(painted, expected);

    QImage blended = backdrop;
    drawing.blendOnto(blended, table, part, opacity);
    QCOMPARE(blended, expected);
}

void TestStrokeDrawing::activeStrokePreviewMatchesTheResult_data()
{
    QTest::addColumn<bool>("startEmpty");
    QTest::addColumn<bool>("pen");
    QTest::newRow("pen on an empty drawing") << true << true;
    QTest::newRow("pen over strokes") << false << true;
    QTest::newRow("eraser over strokes") << false << false;
    QTest::newRow("eraser on an empty drawing") << true << false;
}

// While the stroke is drawn the canvas shows what adding it will give.
void TestStrokeDrawing::activeStrokePreviewMatchesTheResult()
{
    QFETCH(bool, startEmpty);
    QFETCH(bool, pen);
    REQUIRE_GL();
    StrokeDrawing drawing(Frame);
    if (!startEmpty) {
        QVERIFY(drawing.addStroke(gradient(QRect(10, 10, 140, 100))));
        QVERIFY(drawing.addStroke(recordStroke(true, wave(70.0, 1.0))));
    }
    const QList<QRgb> table = colourTable(QColor(120, 20, 160));
    const QRect part(20, 15, 100, 80);
    const auto paintOnto = [&](const std::function<void(QPainter &)> &paint) {
        QImage canvas(Frame, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        paint(painter);
        return canvas;
    };

    auto stroke = liveStroke(pen, wave(50.0, 0.0));
    QVERIFY(!stroke->image().isNull());
    const QImage preview = paintOnto([&](QPainter &painter) {
        drawing.paintWithActiveStroke(&painter, table, part, stroke.get());
        // Neither no stroke nor one without a mask adds anything.
        drawing.paintWithActiveStroke(&painter, table, part, nullptr);
        drawing.paintWithActiveStroke(&painter, table, part, recordStroke(true, wave(90.0, 0.0)).get());
    });
    drawing.addStroke(std::move(stroke));
    const QImage result = paintOnto([&](QPainter &painter) { drawing.paint(&painter, table, part); });
    QCOMPARE(preview, result);
    QCOMPARE(preview.pixel(5, 5), 0u);
}

// Frame size and merging

void TestStrokeDrawing::changeFrameSize_data()
{
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QRect>("content");
    QTest::addColumn<QSize>("to");
    QTest::addColumn<KL::FitMode>("mode");
    QTest::addColumn<QRect>("expected");

    // A 40x40 square in a 200x100 frame, fitted into 100x150.
    const QSize from(200, 100);
    const QRect square(60, 20, 40, 40);
    const QSize to(100, 150);
    QTest::newRow("stretch") << from << square << to << KL::FitMode::FitModeStretch << QRect(30, 30, 20, 60);
    // Fitted to 100x50, centred with 50 above and below.
    QTest::newRow("keep aspect")
        << from << square << to << KL::FitMode::FitModeKeepAspect << QRect(30, 60, 20, 20);
    // Grown to 300x150 to cover the frame; 100 cut off on either side.
    QTest::newRow("keep aspect by expanding")
        << from << square << to << KL::FitMode::FitModeKeepAspectByExpanding << QRect(-10, 30, 60, 60);
    QTest::newRow("crop centre")
        << from << square << to << KL::FitMode::FitModeCropCenter << QRect(10, 45, 40, 40);
    QTest::newRow("ignore") << from << square << to << KL::FitMode::FitModeIgnore << square;
    // Full HD into a square: 1080x607 (not 607.5), 236.5 above it.
    QTest::newRow("full HD, keep aspect") << QSize(1920, 1080) << QRect(0, 0, 1920, 1080) << QSize(1080, 1080)
                                          << KL::FitMode::FitModeKeepAspect << QRect(0, 237, 1080, 606);
}

void TestStrokeDrawing::changeFrameSize()
{
    QFETCH(QSize, from);
    QFETCH(QRect, content);
    QFETCH(QSize, to);
    QFETCH(KL::FitMode, mode);
    QFETCH(QRect, expected);
    StrokeDrawing drawing(from);
    QVERIFY(drawing.addStroke(bitmapStroke(content, 255)));
    (void)drawing.thumbnail(QSize(20, 20), colourTable(Qt::black));

    drawing.changeFrameSize(to, mode);
    QCOMPARE(drawing.size(), to);
    QCOMPARE(drawing.image().size(), to);
    // Scaled edges may be partly covered; one pixel in from them is full,
    // one pixel out is empty.
    const QString placed = placementMismatch(drawing.image(), expected.adjusted(1, 1, -1, -1),
                                             expected.adjusted(-1, -1, 1, 1));
    QVERIFY2(placed.isEmpty(), qPrintable(placed));
    QVERIFY2(imageMismatch(drawing).isEmpty(), qPrintable(imageMismatch(drawing)));
    QCOMPARE(drawing.thumbnail(QSize(20, 20), colourTable(Qt::black)).size(),
             to.scaled(QSize(20, 20), Qt::KeepAspectRatio));

    // Strokes added afterwards are placed in the new frame as drawn.
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(2, 2, 4, 4), 255)));
    QCOMPARE(coverage(drawing.image(), 3, 3), 255);
    QVERIFY2(imageMismatch(drawing).isEmpty(), qPrintable(imageMismatch(drawing)));
    // And the placement survives a record.
    QCOMPARE(readRecord(recordOf(drawing)).drawing->image(), drawing.image());
}

void TestStrokeDrawing::changeFrameSizeFromNoSize()
{
    StrokeDrawing drawing{QSize()};
    QVERIFY(drawing.addStroke(bitmapStroke(QRect(10, 10, 20, 20), 255)));
    QVERIFY(drawing.image().isNull());
    drawing.changeFrameSize(QSize(100, 80), KL::FitMode::FitModeStretch);
    QCOMPARE(drawing.size(), QSize(100, 80));
    QCOMPARE(placementMismatch(drawing.image(), QRect(10, 10, 20, 20), QRect(10, 10, 20, 20)), QString());

    // Nor does an empty drawing pick up a placement on the way.
    StrokeDrawing empty(Frame);
    empty.changeFrameSize(QSize(80, 60), KL::FitMode::FitModeStretch);
    QVERIFY(empty.isEmpty());
    QVERIFY(empty.image().isNull());
    QVERIFY(empty.addStroke(bitmapStroke(QRect(10, 10, 20, 20), 255)));
    QCOMPARE(empty.root().memberCount(), 1);
}

void TestStrokeDrawing::mergeFrom_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("merges");
    QTest::newRow("stroke drawing") << "strokes" << true;
    QTest::newRow("resized stroke drawing") << "resized" << true;
    QTest::newRow("itself") << "itself" << true;
    QTest::newRow("empty stroke drawing") << "empty" << false;
    QTest::newRow("image drawing") << "image" << false;
    QTest::newRow("null") << "null" << false;
}

void TestStrokeDrawing::mergeFrom()
{
    QFETCH(QString, source);
    QFETCH(bool, merges);
    StrokeDrawing drawing(Frame);
    QVERIFY(drawing.addStroke(gradient(QRect(10, 10, 100, 60))));
    drawing.createCopyId();
    const QImage before = drawing.image().copy();
    const QByteArray record = recordOf(drawing);

    StrokeDrawing strokes(Frame);
    QVERIFY(strokes.addStroke(bitmapStroke(QRect(60, 40, 80, 60), 100)));
    if (source == "resized")
        strokes.changeFrameSize(QSize(80, 60), KL::FitMode::FitModeStretch);
    const StrokeDrawing empty(Frame);
    QImage picture(Frame, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    const ImageDrawing image(picture);
    const QByteArray otherRecord = recordOf(strokes);

    const Drawing *other = nullptr;
    if (source == "strokes" || source == "resized")
        other = &strokes;
    else if (source == "itself")
        other = &drawing;
    else if (source == "empty")
        other = &empty;
    else if (source == "image")
        other = &image;
    const QImage otherImage = source == "itself" ? before : strokes.image().copy();
    drawing.mergeFrom(other);

    if (!merges) {
        QCOMPARE(recordOf(drawing), record);
        QVERIFY(!drawing.copyId().isNull());
        return;
    }
    // The other drawing's strokes lie on top, placed as it shows them.
    QCOMPARE(drawing.root().memberCount(), 2);
    QCOMPARE(drawing.root().member(1)->type(), Stroke::CompoundStrokeType);
    QImage expected = before;
    composeAlphaMask(expected, otherImage.copy(QRect(QPoint(0, 0), Frame)), expected.rect(), true);
    QCOMPARE(drawing.image(), expected);
    QVERIFY2(imageMismatch(drawing).isEmpty(), qPrintable(imageMismatch(drawing)));
    if (source != "itself")
        QCOMPARE(recordOf(strokes), otherRecord);
}

QTEST_MAIN(TestStrokeDrawing)
#include "tst_strokedrawing.moc"
