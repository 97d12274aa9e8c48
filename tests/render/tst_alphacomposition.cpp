#include "render/alphacomposition.h"
#include "support/testsupport.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTest>

using namespace Model;
using TestSupport::alpha8;

namespace {

uchar at(const QImage &image, int x, int y)
{
    return image.constScanLine(y)[x];
}

} // namespace

class TestAlphaComposition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { initAlphaCompositionTables(); }

    void tableValues_data();
    void tableValues();
    void tablesAreFilledOnce();
    void composeMatchesTablesForEveryPair();
    void composeClipsToBothImages();
    void composeHonoursRowPadding();
    void composeSkipsOnlyEmptySource_data();
    void composeSkipsOnlyEmptySource();
    void fillClips();
    void maxMergeWithOffset_data();
    void maxMergeWithOffset();
};

void TestAlphaComposition::tableValues_data()
{
    QTest::addColumn<int>("d");
    QTest::addColumn<int>("s");
    QTest::addColumn<int>("draw");
    QTest::addColumn<int>("erase");
    QTest::newRow("half on half") << 128 << 128 << 191 << 63;
    QTest::newRow("200 and 100") << 200 << 100 << 221 << 121;
    QTest::newRow("one on one truncates") << 1 << 1 << 1 << 0;
    QTest::newRow("empty source") << 77 << 0 << 77 << 77;
    QTest::newRow("full source") << 77 << 255 << 255 << 0;
    QTest::newRow("empty destination") << 0 << 90 << 90 << 0;
}

void TestAlphaComposition::tableValues()
{
    QFETCH(int, d);
    QFETCH(int, s);
    QFETCH(int, draw);
    QFETCH(int, erase);
    QCOMPARE(int(alphaDrawTable()[d * 256 + s]), draw);
    QCOMPARE(int(alphaEraseTable()[d * 256 + s]), erase);
}

void TestAlphaComposition::tablesAreFilledOnce()
{
    const QByteArray before(reinterpret_cast<const char *>(alphaDrawTable()), 65536);
    initAlphaCompositionTables();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(alphaDrawTable()), 65536), before);
    for (int d = 0; d < 256; ++d) {
        QCOMPARE(int(alphaDrawTable()[d * 256 + 255]), 255);
        QCOMPARE(int(alphaEraseTable()[d * 256 + 255]), 0);
        for (int s = 0; s < 256; ++s)
            QVERIFY(alphaDrawTable()[d * 256 + s] >= std::max(d, s));
    }
}

// Every (destination, source) pair run through composeAlphaMask gives the
// table's entry, for both tables.
void TestAlphaComposition::composeMatchesTablesForEveryPair()
{
    QImage source(256, 256, QImage::Format_Alpha8);
    QImage destination(256, 256, QImage::Format_Alpha8);
    for (int d = 0; d < 256; ++d) {
        for (int s = 0; s < 256; ++s) {
            destination.scanLine(d)[s] = uchar(d);
            source.scanLine(d)[s] = uchar(s);
        }
    }
    for (const bool draw : {true, false}) {
        QImage result = destination;
        composeAlphaMask(result, source, result.rect(), draw);
        const uchar *table = draw ? alphaDrawTable() : alphaEraseTable();
        for (int d = 0; d < 256; ++d) {
            for (int s = 0; s < 256; ++s) {
                if (at(result, s, d) != table[d * 256 + s])
                    QFAIL(qPrintable(QStringLiteral("draw=%1 d=%2 s=%3").arg(draw).arg(d).arg(s)));
            }
        }
    }
}

void TestAlphaComposition::composeClipsToBothImages()
{
    QImage destination = alpha8(QSize(10, 10), 100);
    const QImage source = alpha8(QSize(6, 6), 255);
    composeAlphaMask(destination, source, QRect(4, 4, 20, 20), true);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 4 && x < 6 && y >= 4 && y < 6;
            QCOMPARE(int(at(destination, x, y)), inside ? 255 : 100);
        }
    }
    const QImage untouched = destination;
    composeAlphaMask(destination, source, QRect(20, 20, 5, 5), false);
    QCOMPARE(destination, untouched);
    composeAlphaMask(destination, source, QRect(0, 0, 10, 10), false);
    QCOMPARE(int(at(destination, 5, 5)), 0);
    QCOMPARE(int(at(destination, 7, 7)), 100);
}

// Rows of a 13-pixel-wide Alpha8 image are padded to 16 bytes; a random mix of
// zero and non-zero stretches also exercises the skipping of empty source runs.
void TestAlphaComposition::composeHonoursRowPadding()
{
    QRandomGenerator random(7);
    QImage source(13, 40, QImage::Format_Alpha8);
    QImage destination(13, 40, QImage::Format_Alpha8);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 13; ++x) {
            source.scanLine(y)[x] = (y % 3 == 0) ? 0 : uchar(random.bounded(256));
            destination.scanLine(y)[x] = uchar(random.bounded(256));
        }
    }
    QImage result = destination;
    const QRect rect(1, 2, 11, 35);
    composeAlphaMask(result, source, rect, true);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 13; ++x) {
            const uchar d = at(destination, x, y);
            const uchar expected = rect.contains(x, y) ? alphaDrawTable()[d * 256 + at(source, x, y)] : d;
            QCOMPARE(at(result, x, y), expected);
        }
    }
}

void TestAlphaComposition::composeSkipsOnlyEmptySource_data()
{
    QTest::addColumn<bool>("draw");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("draw, whole image") << true << QRect(0, 0, 1001, 24);
    QTest::newRow("erase, whole image") << false << QRect(0, 0, 1001, 24);
    QTest::newRow("draw, odd rectangle") << true << QRect(3, 1, 997, 21);
    QTest::newRow("erase, odd rectangle") << false << QRect(7, 2, 990, 20);
}

// Wide rows where stretches of empty source of every length from 0 to 70
// alternate with coverage: only the empty bytes may be passed over, wherever
// they fall against the blocks in which empty source is skipped.
void TestAlphaComposition::composeSkipsOnlyEmptySource()
{
    QFETCH(bool, draw);
    QFETCH(QRect, rect);
    QRandomGenerator random(11);
    QImage source(1001, 24, QImage::Format_Alpha8);
    QImage destination(1001, 24, QImage::Format_Alpha8);
    for (int y = 0; y < 24; ++y) {
        int x = 0;
        while (x < 1001) {
            const int zeros = int(random.bounded(71));
            const int covered = 1 + int(random.bounded(40));
            for (int i = 0; i < zeros && x < 1001; ++i, ++x)
                source.scanLine(y)[x] = 0;
            for (int i = 0; i < covered && x < 1001; ++i, ++x)
                source.scanLine(y)[x] = uchar(random.bounded(256));
        }
        for (x = 0; x < 1001; ++x)
            destination.scanLine(y)[x] = uchar(random.bounded(256));
    }
    QImage result = destination;
    composeAlphaMask(result, source, rect, draw);
    const uchar *table = draw ? alphaDrawTable() : alphaEraseTable();
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 1001; ++x) {
            const uchar d = at(destination, x, y);
            const uchar expected = rect.contains(x, y) ? table[d * 256 + at(source, x, y)] : d;
            if (at(result, x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("x=%1 y=%2").arg(x).arg(y)));
        }
    }
}

void TestAlphaComposition::fillClips()
{
    QImage image = alpha8(QSize(8, 8), 3);
    fillAlphaRect(image, QRect(-2, 6, 4, 10), 200);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            QCOMPARE(int(at(image, x, y)), (x < 2 && y >= 6) ? 200 : 3);
    }
    const QImage untouched = image;
    fillAlphaRect(image, QRect(8, 0, 3, 3), 9);
    QCOMPARE(image, untouched);
}

void TestAlphaComposition::maxMergeWithOffset_data()
{
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("positive") << QPoint(3, 2);
    QTest::newRow("negative") << QPoint(-2, -3);
    QTest::newRow("none") << QPoint(0, 0);
}

void TestAlphaComposition::maxMergeWithOffset()
{
    QFETCH(QPoint, offset);
    QImage source(5, 5, QImage::Format_Alpha8);
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x)
            source.scanLine(y)[x] = uchar(10 * (y * 5 + x));
    }
    QImage destination = alpha8(QSize(10, 10), 60);
    composeAlphaMaskMax(destination, source, QRect(0, 0, 10, 10), offset);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const QPoint s = QPoint(x, y) - offset;
            const int expected = source.rect().contains(s) ? std::max(60, int(at(source, s.x(), s.y()))) : 60;
            QCOMPARE(int(at(destination, x, y)), expected);
        }
    }
}

QTEST_GUILESS_MAIN(TestAlphaComposition)
#include "tst_alphacomposition.moc"
