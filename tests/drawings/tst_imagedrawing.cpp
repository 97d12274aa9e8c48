#include "drawings/imagedrawing.h"
#include "drawings/strokedrawing.h"
#include "strokes/bitmapstroke.h"

#include <QPainter>
#include <QTest>

#include <memory>

using namespace Model;

namespace {

// A picture whose left half is red and right half blue, so that a fitted
// copy shows where it went and which way round.
QImage twoColours(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), Qt::red);
    return image;
}

bool isTransparent(QRgb pixel)
{
    return qAlpha(pixel) == 0;
}

QString describe(QRgb pixel)
{
    return QColor::fromRgba(pixel).name(QColor::HexArgb);
}

} // namespace

class TestImageDrawing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void basics();
    void cloneCopiesPictureAndThumbnail();
    void thumbnailIsCentred_data();
    void thumbnailIsCentred();
    void thumbnailCache();
    void framesAndStrokesLeaveItAlone();
    void paint_data();
    void paint();
};

void TestImageDrawing::basics()
{
    const QImage picture = twoColours(QSize(40, 20));
    ImageDrawing drawing(picture);
    QCOMPARE(drawing.type(), Drawing::ImageDrawingType);
    QVERIFY(!drawing.isEmpty());
    QCOMPARE(drawing.image(), picture);
    QVERIFY(drawing.copyId().isNull());
    QVERIFY(drawing.name().isEmpty());

    drawing.setName(QStringLiteral("scan-0001.png"));
    QCOMPARE(drawing.name(), QStringLiteral("scan-0001.png"));
    const QUuid id = drawing.createCopyId();
    QVERIFY(!id.isNull());
    QCOMPARE(drawing.copyId(), id);
    QVERIFY(drawing.createCopyId() != id);
    drawing.setCopyId(id);
    QCOMPARE(drawing.copyId(), id);

    QVERIFY(ImageDrawing(QImage()).isEmpty());
}

void TestImageDrawing::cloneCopiesPictureAndThumbnail()
{
    ImageDrawing drawing(twoColours(QSize(40, 20)));
    drawing.setName(QStringLiteral("scan"));
    drawing.createCopyId();
    const QImage thumbnail = drawing.thumbnail(QSize(20, 20), {});

    const std::unique_ptr<Drawing> copy = drawing.clone();
    QCOMPARE(copy->type(), Drawing::ImageDrawingType);
    QCOMPARE(static_cast<ImageDrawing &>(*copy).image(), drawing.image());
    QVERIFY(copy->copyId().isNull());
    QVERIFY(copy->name().isEmpty());
    QCOMPARE(copy->thumbnail(QSize(20, 20), {}).cacheKey(), thumbnail.cacheKey());
}

void TestImageDrawing::thumbnailIsCentred_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("placed");
    // 100x40 into 20x11 is 20x8, with 1.5 rows to spare above and below:
    // the half rounds away from zero, so the picture starts at row 2.
    QTest::newRow("wide, odd margin") << QSize(100, 40) << QSize(20, 11) << QRect(0, 2, 20, 8);
    QTest::newRow("tall") << QSize(30, 60) << QSize(40, 40) << QRect(10, 0, 20, 40);
    QTest::newRow("same aspect") << QSize(80, 40) << QSize(40, 20) << QRect(0, 0, 40, 20);
    QTest::newRow("smaller than the thumbnail") << QSize(10, 10) << QSize(30, 20) << QRect(5, 0, 20, 20);
    QTest::newRow("no picture") << QSize() << QSize(30, 20) << QRect();
}

void TestImageDrawing::thumbnailIsCentred()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, size);
    QFETCH(QRect, placed);
    const ImageDrawing drawing(picture.isValid() ? twoColours(picture) : QImage());
    const QImage thumbnail = drawing.thumbnail(size, {QColor(Qt::green).rgba()});
    QCOMPARE(thumbnail.size(), size);
    QCOMPARE(thumbnail.format(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const QRgb pixel = thumbnail.pixel(x, y);
            const QString where = QStringLiteral("%1,%2 is %3").arg(x).arg(y).arg(describe(pixel));
            if (placed.contains(x, y))
                QVERIFY2(qAlpha(pixel) == 255, qPrintable(where));
            else
                QVERIFY2(isTransparent(pixel), qPrintable(where));
        }
    if (placed.isValid()) {
        // The colour table does not apply: the picture keeps its colours.
        QCOMPARE(QColor(thumbnail.pixel(placed.left(), placed.center().y())), QColor(Qt::red));
        QCOMPARE(QColor(thumbnail.pixel(placed.right(), placed.center().y())), QColor(Qt::blue));
    }
    QVERIFY(drawing.thumbnail(QSize(), {}).isNull());
}

void TestImageDrawing::thumbnailCache()
{
    ImageDrawing drawing(twoColours(QSize(40, 20)));
    const QImage first = drawing.thumbnail(QSize(20, 20), {QColor(Qt::black).rgba()});
    QCOMPARE(drawing.thumbnail(QSize(20, 20), {QColor(Qt::white).rgba()}).cacheKey(), first.cacheKey());
    QCOMPARE(drawing.thumbnail(QSize(20, 20), {}).cacheKey(), first.cacheKey());

    QCOMPARE(drawing.thumbnail(QSize(30, 30), {}).size(), QSize(30, 30));
    const QImage again = drawing.thumbnail(QSize(20, 20), {});
    QVERIFY(again.cacheKey() != first.cacheKey());
    QCOMPARE(again, first);

    drawing.clearCache();
    const QImage cleared = drawing.thumbnail(QSize(20, 20), {});
    QVERIFY(cleared.cacheKey() != again.cacheKey());
    QCOMPARE(cleared, first);
}

void TestImageDrawing::framesAndStrokesLeaveItAlone()
{
    const QImage picture = twoColours(QSize(40, 20));
    ImageDrawing drawing(picture);
    const QUuid id = drawing.createCopyId();
    const QImage thumbnail = drawing.thumbnail(QSize(20, 20), {});

    StrokeDrawing strokes(QSize(40, 20));
    QImage coverage(QSize(40, 20), QImage::Format_Alpha8);
    coverage.fill(255);
    QVERIFY(strokes.addStroke(std::make_unique<BitmapStroke>(coverage, QRect(0, 0, 40, 20))));
    ImageDrawing other(twoColours(QSize(10, 10)));

    for (const KL::FitMode mode : {KL::FitMode::FitModeStretch, KL::FitMode::FitModeKeepAspect,
                                   KL::FitMode::FitModeKeepAspectByExpanding,
                                   KL::FitMode::FitModeCropCenter, KL::FitMode::FitModeIgnore})
        drawing.changeFrameSize(QSize(300, 100), mode);
    drawing.mergeFrom(&strokes);
    drawing.mergeFrom(&other);
    drawing.mergeFrom(nullptr);

    QCOMPARE(drawing.image(), picture);
    QCOMPARE(drawing.copyId(), id);
    QCOMPARE(drawing.thumbnail(QSize(20, 20), {}).cacheKey(), thumbnail.cacheKey());
}

void TestImageDrawing::paint_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("frame");
    QTest::addColumn<QRect>("rect");
    // Where the picture's red and blue halves must show, and what stays white.
    QTest::addColumn<QRect>("red");
    QTest::addColumn<QRect>("blue");

    QTest::newRow("frame size, whole") << QSize(100, 60) << QSize(100, 60) << QRect(0, 0, 100, 60)
                                       << QRect(0, 0, 50, 60) << QRect(50, 0, 50, 60);
    QTest::newRow("frame size, a part") << QSize(100, 60) << QSize(100, 60) << QRect(40, 10, 30, 20)
                                        << QRect(40, 10, 10, 20) << QRect(50, 10, 20, 20);
    // Half the frame's aspect: fitted to 60x60, centred with 20 on each side.
    QTest::newRow("narrower, whole") << QSize(30, 30) << QSize(100, 60) << QRect(0, 0, 100, 60)
                                     << QRect(20, 0, 30, 60) << QRect(50, 0, 30, 60);
    QTest::newRow("narrower, a part") << QSize(30, 30) << QSize(100, 60) << QRect(0, 30, 40, 30)
                                      << QRect(20, 30, 20, 30) << QRect();
    // A larger picture is scaled down: 400x120 fits as 100x30, 15 above.
    QTest::newRow("larger and wider") << QSize(400, 120) << QSize(100, 60) << QRect(0, 0, 100, 60)
                                      << QRect(0, 15, 50, 30) << QRect(50, 15, 50, 30);
}

void TestImageDrawing::paint()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, frame);
    QFETCH(QRect, rect);
    QFETCH(QRect, red);
    QFETCH(QRect, blue);
    const ImageDrawing drawing(twoColours(picture));
    QImage canvas(frame, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setOpacity(1.0);
        drawing.paint(&painter, frame, rect);
        // The painter's own state is given back as it was.
        QVERIFY(!painter.testRenderHint(QPainter::SmoothPixmapTransform));
        ImageDrawing(QImage()).paint(&painter, frame, canvas.rect());
    }
    // Edges of a scaled picture blend with the ground; look one pixel in.
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb pixel = canvas.pixel(x, y);
            const QString where = QStringLiteral("%1,%2 is %3").arg(x).arg(y).arg(describe(pixel));
            const auto inside = [x, y](QRect area) { return area.isValid() && area.contains(x, y); };
            if (inside(red.adjusted(1, 1, -1, -1)))
                QVERIFY2(QColor(pixel) == QColor(Qt::red), qPrintable(where));
            else if (inside(blue.adjusted(1, 1, -1, -1)))
                QVERIFY2(QColor(pixel) == QColor(Qt::blue), qPrintable(where));
            else if (!inside(red.adjusted(-1, -1, 1, 1)) && !inside(blue.adjusted(-1, -1, 1, 1)))
                QVERIFY2(QColor(pixel) == QColor(Qt::white), qPrintable(where));
        }
}

QTEST_MAIN(TestImageDrawing)
#include "tst_imagedrawing.moc"
