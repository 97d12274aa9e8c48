#include "export/gifencoder.h"

#include "export/gifwriter.h"
#include "exporttesthelpers.h"

#include <QBuffer>
#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Model;

namespace {

// The blocks of a GIF file as a reader walks them.
struct GifFrame
{
    int disposal = -1;
    bool transparentFlag = false;
    int transparentIndex = -1;
    int delay = -1;
    int colourTableSize = 0;
    int codeSize = 0;
    int dataBytes = 0;
};

struct GifFile
{
    QString error;
    QSize screen;
    int loopCount = -1;
    QList<GifFrame> frames;
    bool trailer = false;
};

GifFile parse(const QByteArray &data)
{
    GifFile file;
    const auto byte = [&data](qsizetype at) { return at < data.size() ? int(uchar(data.at(at))) : -1; };
    const auto word = [&byte](qsizetype at) { return byte(at) | byte(at + 1) << 8; };
    if (!data.startsWith("GIF89a") || data.size() < 13) {
        file.error = QStringLiteral("no GIF89a header");
        return file;
    }
    file.screen = QSize(word(6), word(8));
    qsizetype at = 13 + ((byte(10) & 0x80) ? 3 * (2 << (byte(10) & 7)) : 0);
    GifFrame pending;
    const auto skipSubBlocks = [&](int *total) {
        while (byte(at) > 0) {
            if (total)
                *total += byte(at);
            at += byte(at) + 1;
        }
        ++at;
    };
    while (at < data.size()) {
        const int introducer = byte(at);
        if (introducer == 0x3B) {
            file.trailer = at == data.size() - 1;
            return file;
        }
        if (introducer == 0x21) {
            const int label = byte(at + 1);
            if (label == 0xF9) {
                pending.disposal = (byte(at + 3) >> 2) & 7;
                pending.transparentFlag = byte(at + 3) & 1;
                pending.delay = word(at + 4);
                pending.transparentIndex = byte(at + 6);
            } else if (label == 0xFF && data.mid(at + 3, 11) == "NETSCAPE2.0") {
                file.loopCount = word(at + 16);
            }
            at += 2;
            skipSubBlocks(nullptr);
        } else if (introducer == 0x2C) {
            const int packed = byte(at + 9);
            pending.colourTableSize = (packed & 0x80) ? 2 << (packed & 7) : 0;
            at += 10 + 3 * pending.colourTableSize;
            pending.codeSize = byte(at++);
            skipSubBlocks(&pending.dataBytes);
            file.frames.append(pending);
            pending = GifFrame();
        } else {
            file.error = QStringLiteral("unknown block %1 at %2").arg(introducer).arg(at);
            return file;
        }
    }
    file.error = QStringLiteral("no trailer");
    return file;
}

QImage solid(QSize size, const QColor &colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Stripes of the given colours, one per column group.
QImage stripes(QSize size, const QList<QColor> &colours)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int x = 0; x < size.width(); ++x) {
        const QColor colour = colours.at(x * colours.size() / size.width());
        for (int y = 0; y < size.height(); ++y)
            image.setPixelColor(x, y, colour);
    }
    return image;
}

QImage gradient(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, QColor(x * 255 / size.width(), y * 255 / size.height(), 128));
    }
    return image;
}

// A black square on white, at a place that moves with frame.
QImage movingSquare(QSize size, int frame)
{
    QImage image = solid(size, Qt::white);
    for (int y = 10; y < 20; ++y) {
        for (int x = 5 + 4 * frame; x < 15 + 4 * frame; ++x)
            image.setPixelColor(x, y, Qt::black);
    }
    return image;
}

QByteArray encode(const QList<QImage> &frames, int delay = 8, int maxBitDepth = 16)
{
    GifWriterState state;
    const QSize size = frames.isEmpty() ? QSize(16, 16) : frames.first().size();
    if (!GifWriterBegin(state, size.width(), size.height()))
        return {};
    for (const QImage &frame : frames) {
        const QImage pixels = frame.convertToFormat(QImage::Format_ARGB32);
        if (!GifWriterFrame(state, pixels.constBits(), delay, maxBitDepth, pixels.bytesPerLine()))
            return {};
    }
    return GifWriterEnd(state);
}

QList<QImage> decode(const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    QImageReader reader(&buffer, "gif");
    QList<QImage> frames;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read())
        frames.append(frame.convertToFormat(QImage::Format_ARGB32));
    return frames;
}

// The largest difference of a channel between the averages of two images
// over blocks of 4 x 4 pixels: the ordered dither averages out over each.
int blockError(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int by = 0; by + 4 <= a.height(); by += 4) {
        for (int bx = 0; bx + 4 <= a.width(); bx += 4) {
            int sums[2][3] = {};
            for (int y = by; y < by + 4; ++y) {
                for (int x = bx; x < bx + 4; ++x) {
                    const QRgb pa = a.pixel(x, y);
                    const QRgb pb = b.pixel(x, y);
                    sums[0][0] += qRed(pa);
                    sums[0][1] += qGreen(pa);
                    sums[0][2] += qBlue(pa);
                    sums[1][0] += qRed(pb);
                    sums[1][1] += qGreen(pb);
                    sums[1][2] += qBlue(pb);
                }
            }
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(sums[0][c] - sums[1][c]) / 16);
        }
    }
    return worst;
}

} // namespace

class TestGifEncoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The writer, read back by a block walk and by Qt's GIF reader
    void pictures_data();
    void pictures();
    void fileStructure();
    void unchangedPixelsAreTransparent();
    void codeSizes_data();
    void codeSizes();
    void emptyAnimation();
    void sizesGifCannotHold_data();
    void sizesGifCannotHold();

    // The encoder's states and signals
    void encodesAllFrames();
    void stopFinishesWithFramesSoFar();
    void misuseIsAnError();
    void fileThatCannotBeWritten();
};

void TestGifEncoder::pictures_data()
{
    QTest::addColumn<QList<QImage>>("frames");
    QTest::addColumn<int>("tolerance");

    const QSize size(40, 24);
    // Primaries and grey steps that the 5-6-5 bits of depth 16 hold exactly.
    QTest::newRow("exact colours") << QList<QImage>{stripes(size, {Qt::black, Qt::white, Qt::red, Qt::green, Qt::blue}),
                                                    stripes(size, {Qt::blue, Qt::black, Qt::white, Qt::red, Qt::green})}
                                   << 0;
    QTest::newRow("gradient") << QList<QImage>{gradient(size)} << 10;
    QTest::newRow("noise") << QList<QImage>{ExportTest::noise(size, 3), ExportTest::noise(size, 4)} << 48;
    QTest::newRow("odd size") << QList<QImage>{gradient(QSize(37, 19)), solid(QSize(37, 19), Qt::red)} << 10;
    QTest::newRow("moving square") << QList<QImage>{movingSquare(size, 0), movingSquare(size, 1), movingSquare(size, 2),
                                                    movingSquare(size, 2), movingSquare(size, 3)}
                                   << 0;
}

// Every frame as Qt shows it: the colours exact where depth 16 holds them,
// otherwise within the dither (over blocks of its 4 x 4 pattern).
void TestGifEncoder::pictures()
{
    QFETCH(QList<QImage>, frames);
    QFETCH(int, tolerance);

    const QByteArray file = encode(frames);
    QVERIFY(!file.isEmpty());
    const QList<QImage> decoded = decode(file);
    QCOMPARE(decoded.size(), frames.size());
    for (qsizetype i = 0; i < frames.size(); ++i) {
        QCOMPARE(decoded.at(i).size(), frames.at(i).size());
        const QImage expected = frames.at(i).convertToFormat(QImage::Format_ARGB32);
        if (tolerance == 0)
            QCOMPARE(decoded.at(i), expected);
        else
            QVERIFY2(blockError(decoded.at(i), expected) <= tolerance,
                     qPrintable(QString::number(blockError(decoded.at(i), expected))));
    }
}

// The header, the loop-for-ever block, each frame's control block and
// delay, and the trailer; Qt reads the same.
void TestGifEncoder::fileStructure()
{
    const QSize size(40, 24);
    const QByteArray file = encode({gradient(size), movingSquare(size, 0), movingSquare(size, 1)}, 4);
    const GifFile gif = parse(file);
    QVERIFY2(gif.error.isEmpty(), qPrintable(gif.error));
    QCOMPARE(gif.screen, size);
    QCOMPARE(gif.loopCount, 0);
    QVERIFY(gif.trailer);
    QCOMPARE(gif.frames.size(), 3);
    for (const GifFrame &frame : gif.frames) {
        QCOMPARE(frame.disposal, 1);
        QVERIFY(frame.transparentFlag);
        QCOMPARE(frame.transparentIndex, 0);
        QCOMPARE(frame.delay, 4);
    }

    QBuffer buffer;
    buffer.setData(file);
    QImageReader reader(&buffer, "gif");
    QCOMPARE(reader.imageCount(), 3);
    QCOMPARE(reader.loopCount(), -1);
    QVERIFY(!reader.read().isNull());
    QCOMPARE(reader.nextImageDelay(), 40);
}

// A frame like the one before is written as one transparent colour: a few
// bytes that show the previous frame unchanged.
void TestGifEncoder::unchangedPixelsAreTransparent()
{
    const QSize size(64, 48);
    const QImage busy = gradient(size);
    const GifFile gif = parse(encode({busy, busy, movingSquare(size, 1)}));
    QCOMPARE(gif.frames.size(), 3);
    QVERIFY2(gif.frames.at(1).dataBytes < 128, qPrintable(QString::number(gif.frames.at(1).dataBytes)));
    QVERIFY(gif.frames.at(1).dataBytes * 20 < gif.frames.at(0).dataBytes);
    QCOMPARE(decode(encode({busy, busy})).at(1), decode(encode({busy})).at(0));
}

void TestGifEncoder::codeSizes_data()
{
    QTest::addColumn<QList<QColor>>("colours");
    QTest::addColumn<int>("codeSize");
    QTest::addColumn<int>("tableSize");

    // Slot 0 is kept for transparency: n colours need n + 1 slots.
    QTest::newRow("one colour") << QList<QColor>{Qt::red} << 2 << 4;
    QTest::newRow("two colours") << QList<QColor>{Qt::red, Qt::black} << 2 << 4;
    QTest::newRow("four colours") << QList<QColor>{Qt::red, Qt::black, Qt::white, Qt::blue} << 3 << 8;
    QTest::newRow("seven colours") << QList<QColor>{Qt::red, Qt::black, Qt::white, Qt::blue, Qt::green, Qt::cyan,
                                                    Qt::magenta}
                                   << 3 << 8;
}

// The smallest code size and colour table that hold the frame's colours; a
// one-colour frame gets the smallest GIF allows.
void TestGifEncoder::codeSizes()
{
    QFETCH(QList<QColor>, colours);
    QFETCH(int, codeSize);
    QFETCH(int, tableSize);

    const GifFile gif = parse(encode({stripes(QSize(28, 8), colours)}));
    QCOMPARE(gif.frames.size(), 1);
    QCOMPARE(gif.frames.first().codeSize, codeSize);
    QCOMPARE(gif.frames.first().colourTableSize, tableSize);
}

// Without frames: the header, the loop block and the trailer only.
void TestGifEncoder::emptyAnimation()
{
    const QByteArray file = encode({});
    QCOMPARE(file.size(), 13 + 19 + 1);
    const GifFile gif = parse(file);
    QVERIFY2(gif.error.isEmpty(), qPrintable(gif.error));
    QCOMPARE(gif.loopCount, 0);
    QVERIFY(gif.frames.isEmpty());

    GifWriterState state;
    QCOMPARE(GifWriterEnd(state), QByteArray());
    const uchar pixel[4] = {};
    QVERIFY(!GifWriterFrame(state, pixel, 1, 16, 0));
}

void TestGifEncoder::sizesGifCannotHold_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("empty") << QSize(0, 10);
    QTest::newRow("negative") << QSize(10, -1);
    QTest::newRow("too wide") << QSize(65536, 1);
}

void TestGifEncoder::sizesGifCannotHold()
{
    QFETCH(QSize, size);
    GifWriterState state;
    QVERIFY(!GifWriterBegin(state, size.width(), size.height()));
    QCOMPARE(GifWriterEnd(state), QByteArray());
}

void TestGifEncoder::encodesAllFrames()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("walk.gif"));
    int served = 0;
    GIFEncoder encoder;
    encoder.setup(
        [&served] { return served < 5 ? movingSquare(QSize(48, 32), served++) : QImage(); }, path, 48, 32, 8, 16);
    QCOMPARE(encoder.state(), GIFEncoder::Ready);
    QSignalSpy finished(&encoder, &GIFEncoder::finished);
    QSignalSpy errors(&encoder, &GIFEncoder::error);
    encoder.start();
    QCOMPARE(encoder.state(), GIFEncoder::Running);
    // Nothing is written before the end.
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(finished.wait(5000));
    QCOMPARE(errors.count(), 0);
    QCOMPARE(served, 5);
    QCOMPARE(decode(ExportTest::fileContents(path)).size(), 5);
    // Stopping a finished encoder writes nothing more.
    encoder.stop();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(errors.count(), 0);
}

void TestGifEncoder::stopFinishesWithFramesSoFar()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("walk.gif"));
    GIFEncoder encoder;
    int served = 0;
    encoder.setup(
        [&encoder, &served] {
            if (served == 3)
                encoder.stop();
            return movingSquare(QSize(48, 32), served++ % 5);
        },
        path, 48, 32, 8, 16);
    QSignalSpy finished(&encoder, &GIFEncoder::finished);
    encoder.start();
    QVERIFY(finished.wait(5000));
    QCOMPARE(encoder.state(), GIFEncoder::Stopped);
    QCOMPARE(decode(ExportTest::fileContents(path)).size(), 3);
    QTest::qWait(20);
    QCOMPARE(finished.count(), 1);
}

void TestGifEncoder::misuseIsAnError()
{
    GIFEncoder encoder;
    QSignalSpy errors(&encoder, &GIFEncoder::error);
    encoder.start();
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<GIFEncoder::Error>(), GIFEncoder::NotReady);
    QCOMPARE(encoder.state(), GIFEncoder::Failed);

    QTemporaryDir dir;
    encoder.setup([] { return solid(QSize(8, 8), Qt::red); }, dir.filePath(QStringLiteral("a.gif")), 8, 8, 8, 16);
    encoder.start();
    encoder.setup([] { return QImage(); }, dir.filePath(QStringLiteral("b.gif")), 8, 8, 8, 16);
    QCOMPARE(errors.count(), 2);
    QCOMPARE(errors.at(1).at(0).value<GIFEncoder::Error>(), GIFEncoder::SetupWhileRunning);
    QCOMPARE(encoder.state(), GIFEncoder::Failed);
    // The queued frame step of the abandoned run finds it failed.
    QTRY_COMPARE(errors.count(), 3);
    QCOMPARE(errors.at(2).at(0).value<GIFEncoder::Error>(), GIFEncoder::NotRunning);
    QVERIFY(ExportTest::entriesBelow(dir.path()).isEmpty());
}

void TestGifEncoder::fileThatCannotBeWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/walk.gif"));
    int served = 0;
    GIFEncoder encoder;
    encoder.setup([&served] { return served++ < 2 ? solid(QSize(8, 8), Qt::red) : QImage(); }, path, 8, 8, 8, 16);
    QSignalSpy errors(&encoder, &GIFEncoder::error);
    QSignalSpy finished(&encoder, &GIFEncoder::finished);
    encoder.start();
    QVERIFY(errors.wait(5000));
    QCOMPARE(errors.at(0).at(0).value<GIFEncoder::Error>(), GIFEncoder::FileNotWritten);
    QVERIFY(!encoder.errorString().isEmpty());
    QCOMPARE(finished.count(), 0);
    QVERIFY(ExportTest::entriesBelow(dir.path()).isEmpty());
}

QTEST_MAIN(TestGifEncoder)
#include "tst_gifencoder.moc"
