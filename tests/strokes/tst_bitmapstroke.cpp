#include "render/alphacomposition.h"
#include "strokes/bitmapstroke.h"
#include "strokes/decodebudget.h"
#include "strokes/rleimage.h"
#include "support/testsupport.h"

#include <QDataStream>
#include <QPainter>
#include <QPainterPath>
#include <QTest>
#include <QTransform>

using namespace Model;
using namespace TestSupport;

// Under AddressSanitizer an allocation beyond 1 GB aborts the test: a damaged
// record must never make the reader reserve what the record only claims.
extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "max_allocation_size_mb=1024";
}

namespace {

// A gradient, so that any shift or scaling of the pixels shows.
QImage gradient(int width, int height)
{
    QImage image(width, height, QImage::Format_Alpha8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = uchar(1 + (x * 7 + y * 13) % 250);
    }
    return image;
}

QByteArray recordOf(const BitmapStroke &stroke)
{
    return record([&](QDataStream &stream) { stroke.write(stream); });
}

struct ReadResult
{
    std::unique_ptr<BitmapStroke> stroke;
    QDataStream::Status status = QDataStream::Ok;
    int version = 0;
};

ReadResult readFrom(const QByteArray &data)
{
    QDataStream stream(data);
    prepareRecordStream(stream);
    ReadResult result;
    result.stroke = BitmapStroke::read(stream);
    result.status = stream.status();
    result.version = stream.version();
    return result;
}

uchar pixel(const QImage &image, int x, int y)
{
    return image.constScanLine(y)[x];
}

} // namespace

class TestBitmapStroke : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { initAlphaCompositionTables(); }

    void recordRoundTrip_data();
    void recordRoundTrip();
    void nullImageWritesRectAndNoImageTag();
    void recordEndingAfterRect_data();
    void recordEndingAfterRect();
    void damagedRecords_data();
    void damagedRecords();
    void truncatedAtEveryLength();

    void render_data();
    void render();
    void renderComposesThroughDrawTable();

    void clipTo_data();
    void clipTo();
    void eraseInsideChangesNothing();
};

void TestBitmapStroke::recordRoundTrip_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("same resolution") << gradient(20, 10) << QRect(5, 6, 20, 10);
    QTest::newRow("resolution factor 3") << gradient(30, 12) << QRect(-4, 2, 10, 4);
    QTest::newRow("no image") << QImage() << QRect(1, 2, 3, 4);
}

void TestBitmapStroke::recordRoundTrip()
{
    QFETCH(QImage, image);
    QFETCH(QRect, rect);
    const QByteArray record = recordOf(BitmapStroke(image, rect));
    const ReadResult read = readFrom(record);
    QCOMPARE(read.status, QDataStream::Ok);
    QCOMPARE(read.stroke->rect(), rect);
    QCOMPARE(read.stroke->image(), image);
    QCOMPARE(read.stroke->isEmpty(), false);
    // A run-length image switches the stream to version 19 for good.
    if (!image.isNull())
        QCOMPARE(read.version, 19);
    QCOMPARE(recordOf(*read.stroke), record);
}

void TestBitmapStroke::nullImageWritesRectAndNoImageTag()
{
    QByteArray expected;
    {
        QDataStream stream(&expected, QIODevice::WriteOnly);
        prepareRecordStream(stream) << QRect(3, 4, 5, 6) << qint32(-1);
    }
    QCOMPARE(recordOf(BitmapStroke(QImage(), QRect(3, 4, 5, 6))), expected);
}

void TestBitmapStroke::recordEndingAfterRect_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<bool>("empty");
    QTest::newRow("rect") << QRect(3, 4, 5, 6) << false;
    QTest::newRow("empty rect") << QRect(3, 4, 0, 6) << true;
}

void TestBitmapStroke::recordEndingAfterRect()
{
    QFETCH(QRect, rect);
    QFETCH(bool, empty);
    QByteArray record;
    {
        QDataStream stream(&record, QIODevice::WriteOnly);
        prepareRecordStream(stream) << rect;
    }
    const ReadResult read = readFrom(record);
    QCOMPARE(read.status, QDataStream::Ok);
    QCOMPARE(read.stroke->rect(), rect);
    QVERIFY(read.stroke->image().isNull());
    QCOMPARE(read.stroke->isEmpty(), empty);

    QImage target = alpha8(QSize(20, 20), 0);
    QVERIFY(read.stroke->render(target, target.rect(), QTransform(), QPoint(), 1.0).isNull());
    QCOMPARE(target, alpha8(QSize(20, 20), 0));
}

void TestBitmapStroke::damagedRecords_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QDataStream::Status>("status");
    QTest::addColumn<bool>("readsImage");
    // Whether the reader of the record hears of a picture lost.
    QTest::addColumn<bool>("lost");
    // A rectangle, tag 2 and a run-length record written field by field.
    const auto withImage = [](QRect rect, qint32 width, qint32 height, const QByteArray &codes) {
        return record([&](QDataStream &s) {
            s << rect << qint32(2);
            s.setVersion(19);
            s << width << height << codes;
        });
    };
    const RleImage image(gradient(4, 4));
    // A damaged image loses only itself and leaves the stream as it was; a
    // tag other than 2 reads no image data at all.
    QTest::newRow("unknown tag") << record([&](QDataStream &s) {
        s << QRect(0, 0, 4, 4) << qint32(7) << image;
    }) << QDataStream::Ok << false << true;
    // The stream's status tells of this one.
    QTest::newRow("rect beyond any drawing") << record([&](QDataStream &s) {
        s << QRect(QPoint(-2147483647, 0), QPoint(2147483647, 4)) << qint32(-1);
    }) << QDataStream::ReadCorruptData << false << false;
    QTest::newRow("image codes without end") << withImage(QRect(0, 0, 4, 4), 4, 4, QByteArray("\x03\x02\x10\x10", 4))
                                             << QDataStream::Ok << true << true;
    QTest::newRow("image claiming 2^31 rows")
        << withImage(QRect(0, 0, 4, 4), 65536, 2147483647, QByteArray("\x0a", 1)) << QDataStream::Ok << true
        << true;
    // 39 bytes that would make a lasso crop ask for hundreds of gigabytes.
    QTest::newRow("image far finer than its rectangle")
        << withImage(QRect(0, 0, 2, 2), 60000, 4, QByteArray("\x0a", 1)) << QDataStream::Ok << true << true;
    // Not damage: the record says there is no picture.
    QTest::newRow("no image") << record([&](QDataStream &s) { s << QRect(0, 0, 4, 4) << qint32(-1); })
                              << QDataStream::Ok << true << false;
}

void TestBitmapStroke::damagedRecords()
{
    QFETCH(QByteArray, record);
    QFETCH(QDataStream::Status, status);
    QFETCH(bool, readsImage);
    QFETCH(bool, lost);
    QDataStream stream(record);
    prepareRecordStream(stream);
    const DecodeBudget watch(DecodeBudget::unboundedBytes);
    const std::unique_ptr<BitmapStroke> stroke = BitmapStroke::read(stream);
    QCOMPARE(stream.status(), status);
    QVERIFY(stroke->image().isNull());
    // The run-length record carries its own length: a damaged one is passed
    // over whole, and whatever follows it is read as what it is.
    if (status == QDataStream::Ok)
        QCOMPARE(stream.atEnd(), readsImage);
    QCOMPARE(watch.losses(), int(lost));

    // Cropping what was read asks for nothing beyond the rectangle.
    QPainterPath corner;
    corner.addRect(QRectF(0, 0, 1, 1));
    stroke->clipTo(corner);
    QVERIFY(stroke->image().isNull());
}

void TestBitmapStroke::truncatedAtEveryLength()
{
    const QByteArray record = recordOf(BitmapStroke(gradient(12, 8), QRect(1, 1, 6, 4)));
    const qsizetype rectBytes = 16;
    for (qsizetype length = 0; length < record.size(); ++length) {
        const ReadResult read = readFrom(record.left(length));
        QVERIFY(read.stroke);
        QVERIFY(read.stroke->image().isNull());
        // Only a cut right after the rectangle is a whole record.
        QCOMPARE(read.status == QDataStream::Ok, length == rectBytes);
    }
}

void TestBitmapStroke::render_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<QTransform>("transform");
    QTest::addColumn<QRect>("clip");
    // The pixels the picture covers: each of them 200 for a flat picture
    // and inked for an upright one; an empty size when nothing may be drawn.
    QTest::addColumn<QRect>("expected");
    // Whether every pixel QPainter inks, drawing the image smoothly into rect
    // through transform, must show within 3 levels of it.
    QTest::addColumn<bool>("asPainted");

    const QImage flat = alpha8(QSize(10, 10), 200);
    const QRect all(0, 0, 40, 40);
    QTest::newRow("in place") << flat << QRect(5, 5, 10, 10) << QTransform() << all
                              << QRect(5, 5, 10, 10) << false;
    QTest::newRow("finer image") << alpha8(QSize(30, 30), 200) << QRect(5, 5, 10, 10) << QTransform()
                                 << all << QRect(5, 5, 10, 10) << false;
    QTest::newRow("translated") << flat << QRect(5, 5, 10, 10)
                                << QTransform::fromTranslate(12, 3) << all << QRect(17, 8, 10, 10) << false;
    // Its edges on pixel centres, the picture is drawn as QPainter draws it,
    // a half pixel rounded away from zero (left to -5, down to 8), as such
    // pictures always were.
    QTest::newRow("translated by halves, left of the frame") << gradient(10, 10) << QRect(5, 5, 10, 10)
                                                             << QTransform::fromTranslate(-9.5, 2.5) << all
                                                             << QRect(0, 7, 6, 11) << true;
    // Hanging off the frame by a half pixel, so that the parts' corners lie
    // on the other side of zero from the picture's: every part is drawn
    // where the whole frame draws the picture.
    QTest::newRow("off the frame by halves, both ways") << gradient(40, 40) << QRect(0, 0, 40, 40)
                                                        << QTransform::fromTranslate(-0.5, -0.5) << all
                                                        << QRect(0, 0, 40, 40) << true;
    QTest::newRow("off the frame by ten and a half, across") << gradient(40, 40) << QRect(0, 0, 40, 40)
                                                             << QTransform::fromTranslate(-10.5, 0) << all
                                                             << QRect(0, 0, 30, 40) << true;
    QTest::newRow("off the frame by seven and a half, down") << gradient(40, 40) << QRect(0, 0, 40, 40)
                                                             << QTransform::fromTranslate(0, -7.5) << all
                                                             << QRect(0, 0, 40, 33) << true;
    QTest::newRow("scaled") << flat << QRect(5, 5, 10, 10) << QTransform::fromScale(2, 2) << all
                            << QRect(10, 10, 20, 20) << false;
    QTest::newRow("outside clip") << flat << QRect(5, 5, 10, 10) << QTransform()
                                  << QRect(20, 20, 10, 10) << QRect() << false;
    QTest::newRow("empty rect") << flat << QRect(5, 5, 0, 10) << QTransform() << all << QRect() << false;
    // Not flat, so that only its bounds are checked, and its parts must meet.
    const QTransform turned = QTransform::fromTranslate(20, 20).rotate(30).translate(-20, -20);
    QTest::newRow("turned") << gradient(30, 30) << QRect(10, 10, 20, 20) << turned << all
                            << turned.mapRect(QRect(10, 10, 20, 20)) << false;
    // Sheared, its top edge on the centres of row 5 and its bottom edge on
    // those of row 6: both rows, as the same picture upright is drawn.
    const QTransform sheared = QTransform().shear(0.3, 0) * QTransform::fromScale(0.5, 0.5)
        * QTransform::fromTranslate(0.25, 0.5);
    QTest::newRow("sheared, edges on pixel centres") << alpha8(QSize(20, 2), 200) << QRect(10, 10, 20, 2) << sheared
                                                     << all << QRect(7, 5, 10, 2) << false;
    // Both near edges run through pixel centres, which QPainter inks.
    QImage border = alpha8(QSize(48, 48), 255);
    fillAlphaRect(border, QRect(1, 1, 46, 46), 0);
    const QTransform leaning = QTransform().scale(0.5, 0.5) * QTransform().rotate(45) * QTransform::fromTranslate(20.5, 3.5);
    QTest::newRow("turned 45 degrees at zoom 0.5, an inked border") << border << QRect(0, 0, 48, 48) << leaning << all
                                                                   << leaning.mapRect(QRectF(0, 0, 48, 48)).toAlignedRect()
                                                                   << true;
    // As a shrunk frame read back keeps it: the right edge on the centres of
    // column 15, the bottom edge a hair below the clip.
    QTest::newRow("upright, an edge a hair past the clip")
        << alpha8(QSize(64, 36), 200) << QRect(0, 0, 64, 36)
        << QTransform(float(15.0 / 64), 0, 0, float(23.0 / 36), 0.5, 0) << QRect(0, 0, 40, 23) << QRect(0, 0, 16, 23)
        << false;
    // Shown at a tenth it is decoded in blocks of two pixels, and the last
    // column of blocks reaches on past the image, over the centres of
    // column 24.
    QTest::newRow("shrunk, its last blocks reaching past it")
        << gradient(243, 100) << QRect(0, 0, 243, 100) << QTransform(0.1, 0, 0, 0.1, 0.15, 0) << all
        << QRect(0, 0, 25, 10) << false;
}

void TestBitmapStroke::render()
{
    QFETCH(QImage, image);
    QFETCH(QRect, rect);
    QFETCH(QTransform, transform);
    QFETCH(QRect, clip);
    QFETCH(QRect, expected);
    QFETCH(bool, asPainted);

    const BitmapStroke stroke(image, rect);
    QImage target = alpha8(QSize(40, 40), 0);
    const QRect changed = stroke.render(target, clip, transform, QPoint(), 1.0);
    if (expected.isEmpty()) {
        QVERIFY(changed.isNull());
        QCOMPARE(target, alpha8(QSize(40, 40), 0));
        return;
    }
    QVERIFY(changed.contains(expected));
    const bool flat = image == alpha8(image.size(), 200);
    const bool upright = transform.type() <= QTransform::TxScale;
    QImage painted = alpha8(QSize(40, 40), 0);
    if (asPainted) {
        QPainter painter(&painted);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(transform);
        painter.drawImage(QRectF(rect), image);
    }
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            const uchar want = expected.contains(x, y) ? 200 : 0;
            if (pixel(target, x, y) != want && (flat || want == 0))
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, not %4")
                                     .arg(x).arg(y).arg(pixel(target, x, y)).arg(want)));
            if (upright && want != 0 && pixel(target, x, y) == 0)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) shows no ink").arg(x).arg(y)));
            if (pixel(painted, x, y) > 0 && std::abs(pixel(target, x, y) - pixel(painted, x, y)) > 3)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, painted %4")
                                     .arg(x).arg(y).arg(pixel(target, x, y)).arg(pixel(painted, x, y))));
        }
    }
    // A render in parts gives the pixels of the whole, and so does a render
    // of each part on a picture of its own placed on the paper, as a
    // drawing's pieces are.
    QImage inParts = alpha8(QSize(40, 40), 0);
    const int cuts[] = {0, 13, 27, 40};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QRect part = clip & QRect(QPoint(cuts[i], cuts[j]), QPoint(cuts[i + 1] - 1, cuts[j + 1] - 1));
            stroke.render(inParts, part, transform, QPoint(), 1.0);
            if (part.isEmpty())
                continue;
            QImage piece = alpha8(part.size(), 0);
            stroke.render(piece, piece.rect(), transform * QTransform::fromTranslate(-part.left(), -part.top()),
                          part.topLeft(), 1.0);
            QCOMPARE(piece, target.copy(part));
        }
    }
    QCOMPARE(inParts, target);
}

void TestBitmapStroke::renderComposesThroughDrawTable()
{
    QImage target = alpha8(QSize(10, 10), 128);
    const QRect changed = BitmapStroke(alpha8(QSize(10, 10), 128), QRect(0, 0, 10, 10))
                              .render(target, QRect(0, 0, 5, 10), QTransform(), QPoint(), 1.0);
    QCOMPARE(changed, QRect(0, 0, 5, 10));
    QCOMPARE(pixel(target, 4, 4), uchar(191));
    // Outside the clip the target keeps what it had.
    QCOMPARE(pixel(target, 5, 4), uchar(128));
}

void TestBitmapStroke::clipTo_data()
{
    QTest::addColumn<QPainterPath>("path");
    QTest::addColumn<QRect>("expectedRect");

    const auto rectPath = [](QRectF r) {
        QPainterPath path;
        path.addRect(r);
        return path;
    };
    QPainterPath corner;
    corner.addEllipse(QPointF(10, 10), 4, 4);
    QTest::newRow("covers") << rectPath(QRectF(0, 0, 50, 50)) << QRect(10, 10, 20, 10);
    QTest::newRow("misses") << rectPath(QRectF(40, 40, 5, 5)) << QRect();
    QTest::newRow("corner") << corner << QRect(10, 10, 4, 4);
    QTest::newRow("fractional edge") << rectPath(QRectF(20.5, 12.25, 30, 30))
                                     << QRect(20, 12, 10, 8);
}

void TestBitmapStroke::clipTo()
{
    QFETCH(QPainterPath, path);
    QFETCH(QRect, expectedRect);

    // Resolution factor 2 and every pixel different.
    const QRect rect(10, 10, 20, 10);
    const QImage original = gradient(40, 20);
    BitmapStroke stroke(original, rect);
    stroke.clipTo(path);
    QCOMPARE(stroke.rect(), expectedRect);
    QCOMPARE(stroke.isEmpty(), expectedRect.isEmpty());
    if (expectedRect.isEmpty()) {
        QVERIFY(stroke.image().isNull());
        return;
    }
    // The crop keeps each remaining pixel where it was, at the same factor.
    const QImage expectedImage = original.copy(QRect((expectedRect.topLeft() - rect.topLeft()) * 2,
                                                     expectedRect.size() * 2));
    QCOMPARE(stroke.image(), expectedImage);
}

void TestBitmapStroke::eraseInsideChangesNothing()
{
    BitmapStroke stroke(gradient(10, 10), QRect(0, 0, 10, 10));
    QPainterPath everything;
    everything.addRect(-100, -100, 200, 200);
    QVERIFY(stroke.eraseInside(everything));
    QCOMPARE(stroke.rect(), QRect(0, 0, 10, 10));
    QCOMPARE(stroke.image(), gradient(10, 10));
}

QTEST_MAIN(TestBitmapStroke)
#include "tst_bitmapstroke.moc"
