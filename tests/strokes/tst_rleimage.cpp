#include "strokes/rleimage.h"

#include <QBuffer>
#include <QDataStream>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <limits>

using namespace Model;

// Under AddressSanitizer an allocation beyond 1 GB aborts the test: a damaged
// record must never make the reader reserve what the record only claims.
extern "C" __attribute__((visibility("default"), used)) const char *__asan_default_options()
{
    return "max_allocation_size_mb=1024";
}

namespace {

// bytes holds width * height pixels, row after row, without padding.
QImage alphaImage(int width, int height, const QByteArray &bytes)
{
    QImage image(width, height, QImage::Format_Alpha8);
    image.fill(0);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), bytes.constData() + qsizetype(y) * width, size_t(width));
    return image;
}

// A record as a file or the clipboard would carry it, read back through the
// stream form, so that any width, height and codes can be tried.
RleImage readRecord(qint32 width, qint32 height, const QByteArray &codes)
{
    QByteArray record;
    {
        QDataStream out(&record, QIODevice::WriteOnly);
        out.setVersion(19);
        out << width << height << codes;
    }
    QDataStream in(record);
    RleImage image;
    in >> image;
    return image;
}

// Sparse paper with a few soft strokes, or dense coverage with no zero at all.
QImage randomImage(int width, int height, int kind, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_Alpha8);
    image.fill(0);
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            switch (kind) {
            case 0: // isolated specks
                row[x] = random.bounded(100) == 0 ? uchar(1 + random.bounded(255)) : 0;
                break;
            case 1: // every byte set
                row[x] = uchar(1 + random.bounded(255));
                break;
            default: // noise with zeros alone, in pairs and in long stretches
                row[x] = random.bounded(2) == 0 ? 0 : uchar(random.bounded(256));
                break;
            }
        }
    }
    if (kind == 2) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(QRect(0, height / 3, width, height / 3), Qt::black);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(QPen(Qt::black, 3));
        painter.drawLine(QPointF(0.5, 0.5), QPointF(width - 0.5, height - 0.5));
    }
    return image;
}

} // namespace

class TestRleImage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodesExactCodes_data();
    void encodesExactCodes();
    void roundTrip_data();
    void roundTrip();
    void emptyImages();
    void otherFormatsKeepTheirAlpha();
    void copiesAndMoves();
    void streamForm();
    void streamRecordsFollowEachOther();
    void damagedCodesDecodeToNull_data();
    void damagedCodesDecodeToNull();
    void unusualCodesDecode_data();
    void unusualCodesDecode();
    void damagedStreamGivesEmptyRecord_data();
    void damagedStreamGivesEmptyRecord();
    void runsMakeTheImage_data();
    void runsMakeTheImage();
    void runsOfReadCodes_data();
    void runsOfReadCodes();
};

void TestRleImage::encodesExactCodes_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("pixels");
    QTest::addColumn<QByteArray>("codes");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("all zero") << 4 << 3 << QByteArray(12, 0) << hex("0a");
    QTest::newRow("single zero stays in the literal") << 3 << 1 << hex("05 00 07") << hex("03 03 05 00 07 0a");
    QTest::newRow("two zeros split the literal") << 4 << 1 << hex("05 00 00 07") << hex("03 01 05 00 02 03 01 07 0a");
    QTest::newRow("trailing zero dropped") << 3 << 1 << hex("03 09 00") << hex("03 02 03 09 0a");
    QTest::newRow("trailing zeros dropped") << 6 << 1 << hex("03 09 00 00 00 00") << hex("03 02 03 09 0a");
    QTest::newRow("leading zero skipped") << 2 << 1 << hex("00 04") << hex("00 01 03 01 04 0a");
    QTest::newRow("next row") << 1 << 2 << hex("01 02") << hex("03 01 01 06 03 01 02 0a");
    QTest::newRow("three empty rows") << 2 << 5 << hex("01 01 00 00 00 00 00 00 02 02")
                                      << hex("03 02 01 01 07 04 03 02 02 02 0a");
    QTest::newRow("empty first rows") << 1 << 3 << hex("00 00 05") << hex("07 02 03 01 05 0a");
    QTest::newRow("empty last rows dropped") << 1 << 3 << hex("05 00 00") << hex("03 01 05 0a");
    QTest::newRow("single column") << 1 << 3 << hex("07 08 09") << hex("03 01 07 06 03 01 08 06 03 01 09 0a");
    QTest::newRow("skip before a row's first run follows the advance")
        << 3 << 2 << hex("01 00 00 00 00 02") << hex("03 01 01 06 00 02 03 01 02 0a");

    QByteArray ones300(300, 1);
    QTest::newRow("literal of 300") << 300 << 1 << ones300 << hex("04 01 2c") + ones300 + hex("0a");
    QByteArray skip299(300, 0);
    skip299[299] = 7;
    QTest::newRow("skip of 299") << 300 << 1 << skip299 << hex("01 01 2b 03 01 07 0a");
    QByteArray ones70000(70000, 1);
    QTest::newRow("literal of 70000") << 70000 << 1 << ones70000 << hex("05 00 01 11 70") + ones70000 + hex("0a");
    QByteArray skip69999(70000, 0);
    skip69999[69999] = 7;
    QTest::newRow("skip of 69999") << 70000 << 1 << skip69999 << hex("02 00 01 11 6f 03 01 07 0a");
    QByteArray rows300(300, 0);
    rows300[0] = 1;
    rows300[299] = 2;
    QTest::newRow("advance of 299 rows") << 1 << 300 << rows300 << hex("03 01 01 08 01 2b 03 01 02 0a");
    QByteArray rows70000(70000, 0);
    rows70000[0] = 1;
    rows70000[69999] = 2;
    QTest::newRow("advance of 69999 rows") << 1 << 70000 << rows70000 << hex("03 01 01 09 00 01 11 6f 03 01 02 0a");
}

void TestRleImage::encodesExactCodes()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QByteArray, pixels);
    QFETCH(QByteArray, codes);

    const QImage image = alphaImage(width, height, pixels);
    const RleImage rle(image);
    QCOMPARE(rle.width(), width);
    QCOMPARE(rle.height(), height);
    QCOMPARE(rle.codes().toHex(' '), codes.toHex(' '));
    QCOMPARE(rle.toImage(), image);
}

void TestRleImage::roundTrip_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("kind");

    const QList<QSize> sizes = {{1, 1}, {1, 50}, {13, 7}, {13, 40}, {64, 64}, {257, 3}, {300, 2}, {1031, 17}};
    const char *kinds[] = {"sparse", "dense", "strokes"};
    for (const QSize size : sizes) {
        for (int kind = 0; kind < 3; ++kind) {
            QTest::addRow("%s %dx%d", kinds[kind], size.width(), size.height())
                << size.width() << size.height() << kind;
        }
    }
}

void TestRleImage::roundTrip()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, kind);

    for (quint32 seed = 1; seed <= 5; ++seed) {
        const QImage image = randomImage(width, height, kind, seed);
        const QImage decoded = RleImage(image).toImage();
        QCOMPARE(decoded.format(), QImage::Format_Alpha8);
        QCOMPARE(decoded, image);
    }
}

void TestRleImage::emptyImages()
{
    const RleImage fromNull{QImage()};
    QCOMPARE(fromNull.codes(), QByteArray(1, 10));
    QVERIFY(fromNull.toImage().isNull());

    QVERIFY(RleImage().toImage().isNull());
    QVERIFY(readRecord(5, 0, QByteArray(1, 10)).toImage().isNull());

    // An all-zero frame is one code byte, however large the frame.
    const QImage decoded = readRecord(4000, 3000, QByteArray(1, 10)).toImage();
    QCOMPARE(decoded.size(), QSize(4000, 3000));
    QCOMPARE(decoded.format(), QImage::Format_Alpha8);
    for (int y = 0; y < decoded.height(); ++y) {
        const uchar *row = decoded.constScanLine(y);
        QVERIFY(std::all_of(row, row + decoded.bytesPerLine(), [](uchar b) { return b == 0; }));
    }
}

void TestRleImage::otherFormatsKeepTheirAlpha()
{
    QImage argb(3, 1, QImage::Format_ARGB32);
    argb.setPixel(0, 0, qRgba(255, 0, 0, 200));
    argb.setPixel(1, 0, qRgba(0, 0, 0, 0));
    argb.setPixel(2, 0, qRgba(0, 255, 0, 255));
    const RleImage rle(argb);
    QCOMPARE(rle.codes().toHex(' '), QByteArray::fromHex("03 03 c8 00 ff 0a").toHex(' '));
    QCOMPARE(rle.toImage(), argb.convertToFormat(QImage::Format_Alpha8));
}

void TestRleImage::copiesAndMoves()
{
    const QImage image = randomImage(13, 9, 2, 3);
    const RleImage original(image);

    RleImage copy(original);
    QCOMPARE(copy.toImage(), image);
    RleImage assigned;
    assigned = copy;
    QCOMPARE(assigned.codes(), original.codes());

    RleImage moved(std::move(copy));
    QCOMPARE(moved.toImage(), image);
    // A moved-from record stays usable as the empty record.
    QCOMPARE(copy.width(), 0);
    QVERIFY(copy.toImage().isNull());
    const RleImage copyOfMovedFrom(copy);
    QVERIFY(copyOfMovedFrom.toImage().isNull());
    copy = original;
    QCOMPARE(copy.toImage(), image);

    assigned = std::move(moved);
    QCOMPARE(assigned.toImage(), image);
}

void TestRleImage::streamForm()
{
    const QImage image = alphaImage(3, 1, QByteArray::fromHex("05 00 07"));
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << RleImage(image);
    QCOMPARE(out.version(), 19);
    QCOMPARE(record.toHex(' '), QByteArray::fromHex("00000003 00000001 00000006 03 03 05 00 07 0a").toHex(' '));

    QDataStream in(record);
    in.setVersion(QDataStream::Qt_6_0);
    RleImage read;
    in >> read;
    QCOMPARE(in.version(), 19);
    QCOMPARE(in.status(), QDataStream::Ok);
    QVERIFY(in.atEnd());
    QCOMPARE(read.toImage(), image);
}

void TestRleImage::streamRecordsFollowEachOther()
{
    const QImage first = randomImage(40, 30, 2, 1);
    const QImage second = randomImage(7, 90, 0, 2);
    QByteArray record;
    {
        QDataStream out(&record, QIODevice::WriteOnly);
        out << RleImage(first) << RleImage(second) << qint32(-42);
    }
    QDataStream in(record);
    RleImage a;
    RleImage b;
    qint32 marker = 0;
    in >> a >> b >> marker;
    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(a.toImage(), first);
    QCOMPARE(b.toImage(), second);
    QCOMPARE(marker, -42);
}

void TestRleImage::damagedCodesDecodeToNull_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("codes");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("no codes") << 4 << 4 << QByteArray();
    QTest::newRow("missing end code") << 4 << 4 << hex("03 01 05");
    QTest::newRow("cut in an 8-bit count") << 4 << 4 << hex("00");
    QTest::newRow("cut in a 16-bit count") << 4 << 4 << hex("01 00");
    QTest::newRow("cut in a 32-bit count") << 4 << 4 << hex("05 00 00 00");
    QTest::newRow("cut in literal bytes") << 4 << 4 << hex("03 04 01 02");
    QTest::newRow("literal past the row") << 2 << 4 << hex("03 03 01 02 03 0a");
    QTest::newRow("skip past the row") << 2 << 4 << hex("00 03 0a");
    QTest::newRow("literal after a skip to the row's end") << 2 << 4 << hex("00 02 03 01 05 0a");
    QTest::newRow("advance past the image") << 2 << 2 << hex("07 05 0a");
    QTest::newRow("advance onto the row after the last") << 2 << 2 << hex("06 06 0a");
    QTest::newRow("end code after the last row") << 2 << 1 << hex("06 0a");
    QTest::newRow("negative skip") << 4 << 4 << hex("02 ff ff ff ff 0a");
    QTest::newRow("negative literal") << 4 << 4 << hex("05 80 00 00 00 0a");
    QTest::newRow("negative advance") << 4 << 4 << hex("09 ff ff ff ff 0a");
    QTest::newRow("huge skip") << 4 << 4 << hex("02 7f ff ff ff 0a");
    QTest::newRow("huge literal") << 4 << 4 << hex("05 7f ff ff ff 01 02 0a");
    QTest::newRow("huge advance") << 4 << 4 << hex("09 7f ff ff ff 0a");
    QTest::newRow("zero width") << 0 << 3 << hex("0a");
    QTest::newRow("zero height") << 3 << 0 << hex("0a");
    QTest::newRow("negative width") << -5 << 3 << hex("0a");
    QTest::newRow("negative height") << 3 << -5 << hex("0a");
    QTest::newRow("both negative") << -5 << -3 << hex("0a");
    QTest::newRow("2^30 by 2^30") << (1 << 30) << (1 << 30) << hex("0a");
    QTest::newRow("widest row") << std::numeric_limits<int>::max() << 1 << hex("0a");
    QTest::newRow("width of INT_MIN") << std::numeric_limits<int>::min() << 1 << hex("0a");
    QTest::newRow("tallest column") << 1 << std::numeric_limits<int>::max() << hex("0a");
    QTest::newRow("just above the size limit") << 16384 << 16385 << hex("0a");
}

void TestRleImage::damagedCodesDecodeToNull()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QByteArray, codes);

    QVERIFY(readRecord(width, height, codes).toImage().isNull());
}

// Codes that the encoder never writes but that decode by the format's rules.
void TestRleImage::unusualCodesDecode_data()
{
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<QByteArray>("pixels");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("unknown codes passed over") << hex("0b ff 03 01 05 0a") << hex("05 00 00 00 00 00 00 00");
    QTest::newRow("bytes after the end code") << hex("03 01 05 0a 03 09") << hex("05 00 00 00 00 00 00 00");
    QTest::newRow("long forms of short counts")
        << hex("02 00 00 00 01 04 00 01 05 09 00 00 00 01 01 00 03 0a") << hex("00 05 00 00 00 00 00 00");
    QTest::newRow("empty runs") << hex("00 00 03 00 03 01 05 0a") << hex("05 00 00 00 00 00 00 00");
    // An advance by no rows returns to the row's start; skips then keep what
    // was written.
    QTest::newRow("rewind then skip") << hex("03 02 01 02 07 00 00 01 03 01 09 0a") << hex("01 09 00 00 00 00 00 00");
    QTest::newRow("rewind then skip over") << hex("03 01 05 07 00 00 04 06 03 01 06 0a") << hex("05 00 00 00 06 00 00 00");
    QTest::newRow("row filled exactly") << hex("03 04 01 02 03 04 06 00 04 0a") << hex("01 02 03 04 00 00 00 00");
}

void TestRleImage::unusualCodesDecode()
{
    QFETCH(QByteArray, codes);
    QFETCH(QByteArray, pixels);

    QCOMPARE(readRecord(4, 2, codes).toImage(), alphaImage(4, 2, pixels));
}

void TestRleImage::damagedStreamGivesEmptyRecord_data()
{
    QTest::addColumn<QByteArray>("record");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("cut in the width") << hex("00 00");
    QTest::newRow("cut in the height") << hex("00 00 00 04 00 00 00");
    QTest::newRow("cut in the code count") << hex("00 00 00 04 00 00 00 04 00 00");
    QTest::newRow("cut in the codes") << hex("00 00 00 01 00 00 00 01 00 00 00 08 03 01 05");
    QTest::newRow("code count of 2 GB") << hex("00 00 00 01 00 00 00 01 7f ff ff f0 03 01 05 0a");
    QTest::newRow("code count of 4 GB") << hex("00 00 00 01 00 00 00 01 ff ff ff fe 03 01 05 0a");
}

void TestRleImage::damagedStreamGivesEmptyRecord()
{
    QFETCH(QByteArray, record);

    QDataStream in(record);
    RleImage image(alphaImage(1, 1, QByteArray(1, 9)));
    in >> image;
    QCOMPARE(in.status(), QDataStream::ReadPastEnd);
    QCOMPARE(image.width(), 0);
    QCOMPARE(image.height(), 0);
    QVERIFY(image.codes().isEmpty());
    QVERIFY(image.toImage().isNull());
}

namespace {

// The image the runs make, each written where it lies in turn.
QImage imageFromRuns(const RleImage &code, bool *finished = nullptr)
{
    QImage image(code.width(), code.height(), QImage::Format_Alpha8);
    image.fill(0);
    RleImage::Runs runs(code);
    RleImage::Run run;
    while (runs.next(run))
        std::memcpy(image.scanLine(run.row) + run.column, run.bytes, size_t(run.length));
    if (finished)
        *finished = runs.isFinished();
    return image;
}

} // namespace

void TestRleImage::runsMakeTheImage_data()
{
    roundTrip_data();
}

// Composing from the code walks its runs: for every image the encoder
// writes, the runs alone give the image, each after the one before.
void TestRleImage::runsMakeTheImage()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, kind);
    for (quint32 seed = 1; seed <= 3; ++seed) {
        const QImage image = randomImage(width, height, kind, seed);
        const RleImage code(image);
        QVERIFY(code.isValid());
        QVERIFY(code.runsInOrder());
        bool finished = false;
        QCOMPARE(imageFromRuns(code, &finished), image);
        QVERIFY(finished);
        RleImage::Runs runs(code);
        RleImage::Run run;
        while (runs.next(run))
            QVERIFY(run.length > 0 && run.bytes[0] != 0);
    }
}

void TestRleImage::runsOfReadCodes_data()
{
    QTest::addColumn<QByteArray>("codes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("inOrder");
    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("one run") << hex("03 01 05 0a") << true << true;
    QTest::newRow("long forms of short counts")
        << hex("02 00 00 00 01 04 00 01 05 09 00 00 00 01 01 00 03 0a") << true << true;
    QTest::newRow("empty runs") << hex("00 00 03 00 03 01 05 0a") << true << true;
    QTest::newRow("rewind, then skip on to the next row") << hex("03 01 05 07 00 00 04 06 03 01 06 0a") << true
                                                          << true;
    QTest::newRow("rewind, then write over") << hex("03 02 01 02 07 00 00 01 03 01 09 0a") << true << false;
    QTest::newRow("missing end code") << hex("03 01 05") << false << false;
    QTest::newRow("literal past the row") << hex("03 05 01 02 03 04 05 0a") << false << false;
}

// Codes read from a file are checked as they are read: whether they decode,
// and whether their runs lie each after the one before, or write over each
// other: written in turn they still make the image, but blended in turn
// they would not.
void TestRleImage::runsOfReadCodes()
{
    QFETCH(QByteArray, codes);
    QFETCH(bool, valid);
    QFETCH(bool, inOrder);
    const RleImage code = readRecord(4, 2, codes);
    QCOMPARE(code.isValid(), valid);
    QCOMPARE(code.runsInOrder(), inOrder);
    bool finished = false;
    const QImage fromRuns = imageFromRuns(code, &finished);
    QCOMPARE(finished, valid);
    if (valid)
        QCOMPARE(fromRuns, code.toImage());
}

QTEST_GUILESS_MAIN(TestRleImage)
#include "tst_rleimage.moc"
