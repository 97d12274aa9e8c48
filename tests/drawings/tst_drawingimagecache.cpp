#include "drawings/drawingimagecache.h"
#include "drawings/strokedrawing.h"
#include "export/exportlayers.h"
#include "export/movieframes.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
#include "scene/scene.h"
#include "strokes/bitmapstroke.h"
#include "support/testsupport.h"

#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace Model;

namespace {

const QSize Frame(120, 90);

// An Alpha8 image of the frame's size, whose bytes tell drawings apart.
QImage patternImage(QSize size, int seed)
{
    QImage image(size, QImage::Format_Alpha8);
    image.fill(0);
    for (int y = 5 + seed % 7; y < size.height() - 5; y += 2) {
        uchar *line = image.scanLine(y);
        for (int x = 10 + seed % 11; x < size.width() - 10; ++x)
            line[x] = uchar((x * (seed + 3) + y) % 255 + 1);
    }
    return image;
}

// A stroke drawing whose one bitmap stroke covers the frame: composed
// without OpenGL, and different for every seed.
std::shared_ptr<StrokeDrawing> patternDrawing(int seed)
{
    auto drawing = std::make_shared<StrokeDrawing>(Frame);
    drawing->addStroke(std::make_unique<BitmapStroke>(patternImage(Frame, seed), QRect(QPoint(0, 0), Frame)));
    return drawing;
}

QImage rendered(const StrokeDrawing &drawing)
{
    QImage image(drawing.size(), QImage::Format_Alpha8);
    image.fill(0);
    drawing.root().render(image, image.rect(), QTransform(), QPoint(0, 0), 1.0);
    return image;
}

qint64 frameBytes()
{
    return QImage(Frame, QImage::Format_Alpha8).sizeInBytes();
}

// One stroke layer of `drawings` pattern drawings, one per frame.
std::unique_ptr<Scene> patternScene(int drawings)
{
    auto scene = std::make_unique<Scene>();
    scene->setFrameSize(Frame, KL::FitMode::FitModeIgnore);
    auto layer = std::make_shared<StrokeLayer>(Qt::black, Frame, scene.get());
    for (int frame = 1; frame <= drawings; ++frame) {
        if (layer->frameCount() < frame)
            layer->insertCell(layer->frameCount(), layer->newCell());
        layer->cell(frame)->setDrawing(patternDrawing(frame));
    }
    scene->insertLayer(layer, 0);
    scene->updateMaxFrameNumber();
    scene->setFrameRange(1, drawings, 1, 0);
    return scene;
}

StrokeDrawing *drawingAt(const Scene &scene, int frame)
{
    const auto *layer = qobject_cast<const StrokeLayer *>(scene.layerAt(0).get());
    return static_cast<StrokeDrawing *>(layer->cell(frame)->drawing().get());
}

// Runs of the cache's operations on keys 1, 2, 3 ... of one image each.
enum Operation { Insert, Find, Take, Remove };
struct Step
{
    Operation operation;
    int key;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestDrawingImageCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void leastRecentlyUsedGoFirst_data();
    void leastRecentlyUsedGoFirst();
    void imageLargerThanTheBoundIsNotKept();
    void boundHoldsOverASceneOfManyDrawings();
    void recordIsReadWithoutDecoding_data();
    void recordIsReadWithoutDecoding();
    void exportThreadAndGuiThreadReadAtOnce_data();
    void exportThreadAndGuiThreadReadAtOnce();

private:
    DrawingImageCache *m_cache = DrawingImageCache::instance();
};

void TestDrawingImageCache::initTestCase()
{
    initAlphaCompositionTables();
}

void TestDrawingImageCache::init()
{
    m_cache->clear();
}

void TestDrawingImageCache::cleanup()
{
    m_cache->clear();
    m_cache->setCapacity(DrawingImageCache::defaultCapacity);
}

void TestDrawingImageCache::leastRecentlyUsedGoFirst_data()
{
    QTest::addColumn<QList<Step>>("steps");
    // The keys that hold an image afterwards, in a cache of three images.
    QTest::addColumn<QList<int>>("kept");
    QTest::newRow("fills up") << QList<Step>{{Insert, 1}, {Insert, 2}, {Insert, 3}} << QList<int>{1, 2, 3};
    QTest::newRow("oldest out") << QList<Step>{{Insert, 1}, {Insert, 2}, {Insert, 3}, {Insert, 4}}
                                << QList<int>{2, 3, 4};
    QTest::newRow("a find keeps it")
        << QList<Step>{{Insert, 1}, {Insert, 2}, {Insert, 3}, {Find, 1}, {Insert, 4}} << QList<int>{1, 3, 4};
    QTest::newRow("inserted again keeps it")
        << QList<Step>{{Insert, 1}, {Insert, 2}, {Insert, 3}, {Insert, 1}, {Insert, 4}, {Insert, 5}}
        << QList<int>{1, 4, 5};
    QTest::newRow("taken out makes room")
        << QList<Step>{{Insert, 1}, {Insert, 2}, {Insert, 3}, {Take, 2}, {Insert, 4}} << QList<int>{1, 3, 4};
    QTest::newRow("removed") << QList<Step>{{Insert, 1}, {Insert, 2}, {Remove, 1}, {Remove, 7}} << QList<int>{2};
}

void TestDrawingImageCache::leastRecentlyUsedGoFirst()
{
    QFETCH(QList<Step>, steps);
    QFETCH(QList<int>, kept);
    m_cache->setCapacity(3 * frameBytes());
    const DrawingImageCache::Key base = DrawingImageCache::newKey();
    for (const Step &step : steps) {
        const DrawingImageCache::Key key = base + DrawingImageCache::Key(step.key);
        switch (step.operation) {
        case Insert:
            m_cache->insert(key, patternImage(Frame, step.key));
            break;
        case Find:
            QCOMPARE(m_cache->find(key), patternImage(Frame, step.key));
            break;
        case Take:
            QCOMPARE(m_cache->take(key), patternImage(Frame, step.key));
            break;
        case Remove:
            m_cache->remove(key);
            break;
        }
    }
    QList<int> held;
    for (int key = 1; key <= 8; ++key) {
        const QImage image = m_cache->find(base + DrawingImageCache::Key(key));
        if (!image.isNull()) {
            QCOMPARE(image, patternImage(Frame, key));
            held.append(key);
        }
    }
    QCOMPARE(held, kept);
    QCOMPARE(m_cache->bytesHeld(), kept.size() * frameBytes());
}

void TestDrawingImageCache::imageLargerThanTheBoundIsNotKept()
{
    m_cache->setCapacity(frameBytes() - 1);
    const DrawingImageCache::Key key = DrawingImageCache::newKey();
    m_cache->insert(key, patternImage(Frame, 1));
    QVERIFY(m_cache->find(key).isNull());
    QCOMPARE(m_cache->bytesHeld(), 0);

    // The drawing still hands out its image; it is decoded every time.
    const std::shared_ptr<StrokeDrawing> drawing = patternDrawing(2);
    QCOMPARE(drawing->image(), rendered(*drawing));
    QCOMPARE(m_cache->count(), 0);
}

// A scene of 40 drawings and room for 6 images: composing every frame, with
// thumbnails and the drawings' images asked for, never holds more, and every
// image asked for shows its own drawing, however often it was let go.
void TestDrawingImageCache::boundHoldsOverASceneOfManyDrawings()
{
    constexpr int Drawings = 40;
    constexpr int Room = 6;
    const std::unique_ptr<Scene> scene = patternScene(Drawings);
    m_cache->clear();
    m_cache->setCapacity(Room * frameBytes());
    const QList<QRgb> table = static_cast<const StrokeLayer *>(scene->layerAt(0).get())->colorTable();

    for (int round = 0; round < 2; ++round) {
        for (int frame = 1; frame <= Drawings; ++frame) {
            const StrokeDrawing *drawing = drawingAt(*scene, frame);
            scene->setActiveFrameAndLayer(frame, 0, Scene::AllowFrameAfterLast);
            scene->updateCachedFramePixmap(true);
            QVERIFY(!drawing->thumbnail(QSize(40, 30), table).isNull());
            QCOMPARE(drawing->image(), rendered(*drawing));
            QVERIFY2(m_cache->bytesHeld() <= Room * frameBytes(),
                     qPrintable(QStringLiteral("%1 bytes held").arg(m_cache->bytesHeld())));
            QVERIFY(m_cache->count() <= Room);
        }
    }
    QCOMPARE(m_cache->count(), Room);

    // Drawings that go give their room back.
    scene->removeLayerAt(0);
    QCOMPARE(m_cache->bytesHeld(), 0);
}

void TestDrawingImageCache::recordIsReadWithoutDecoding_data()
{
    QTest::addColumn<bool>("writtenTwice");
    QTest::newRow("rows as 32-bit literals") << false;
    QTest::newRow("rows written twice") << true;
}

// Reading a record keeps its code without decoding it, and writing the
// drawing writes that code as it came, even where the encoder would write
// other codes for the same pixels. Codes whose runs write over each other
// (legal, if no writer makes them) are composed from the decoded image.
void TestDrawingImageCache::recordIsReadWithoutDecoding()
{
    QFETCH(bool, writtenTwice);
    const std::shared_ptr<StrokeDrawing> original = patternDrawing(5);
    const QImage image = original->image();
    const QByteArray noise(image.width(), char(0x7f));
    QByteArray codes;
    {
        QDataStream out(&codes, QIODevice::WriteOnly);
        for (int y = 0; y < image.height(); ++y) {
            if (writtenTwice) {
                // Noise over the row, then back to its start (an advance by
                // no rows) for the real bytes.
                out << qint8(5) << qint32(image.width());
                out.writeRawData(noise.constData(), image.width());
                out << qint8(7) << quint8(0);
            }
            out << qint8(5) << qint32(image.width());
            out.writeRawData(reinterpret_cast<const char *>(image.constScanLine(y)), image.width());
            if (y + 1 < image.height())
                out << qint8(6);
        }
        out << qint8(10);
    }
    QByteArray record;
    {
        QDataStream out(&record, QIODevice::WriteOnly);
        TestSupport::prepareRecordStream(out) << Frame;
        original->root().write(out);
        out.setVersion(19);
        out << qint32(2) << qint32(Frame.width()) << qint32(Frame.height()) << codes;
    }

    m_cache->clear();
    StrokeDrawing read{QSize()};
    QDataStream in(record);
    TestSupport::prepareRecordStream(in) >> read;
    QCOMPARE(in.status(), QDataStream::Ok);
    QCOMPARE(m_cache->count(), 0);

    const QByteArray written = TestSupport::record([&](QDataStream &out) { out << read; });
    QCOMPARE(written, record);
    QCOMPARE(m_cache->count(), 0);

    const QList<QRgb> table(256, qRgba(200, 30, 30, 255));
    QImage composed(Frame, QImage::Format_ARGB32_Premultiplied);
    composed.fill(Qt::white);
    QImage expected = composed;
    read.blendOnto(composed, table, composed.rect(), 1.0);
    original->blendOnto(expected, table, expected.rect(), 1.0);
    QCOMPARE(composed, expected);
    QCOMPARE(read.image(), image);
}

// The movie export composites frames on an encoder's thread while the GUI
// thread paints thumbnails and asks for images, or draws on other drawings,
// all through a cache so small that images come and go all the time. At the
// frame's size the export composes from the drawings' code; scaled, it
// paints their images, decoded through the cache as well. Every picture must
// come out whole, and every edit must give the pixels of its strokes.
void TestDrawingImageCache::exportThreadAndGuiThreadReadAtOnce_data()
{
    QTest::addColumn<QSize>("output");
    QTest::addColumn<bool>("drawing");
    QTest::newRow("frame size: composed from the code") << Frame << false;
    QTest::newRow("scaled: painted from decoded images") << Frame * 2 << false;
    QTest::newRow("frame size, drawing meanwhile") << Frame << true;
    QTest::newRow("scaled, drawing meanwhile") << Frame * 2 << true;
}

void TestDrawingImageCache::exportThreadAndGuiThreadReadAtOnce()
{
    QFETCH(QSize, output);
    QFETCH(bool, drawing);
    constexpr int Drawings = 24;
    constexpr int Passes = 3;
    const std::unique_ptr<Scene> scene = patternScene(Drawings);
    const QList<ExportLayer> layers = exportLayers(*scene, ExportSettings::AllLayers);
    QList<QImage> expected;
    QList<QImage> expectedImages;
    for (int frame = 1; frame <= Drawings; ++frame) {
        expected.append(compositeFrame(layers, frame, Frame, output, Qt::white));
        expectedImages.append(rendered(*drawingAt(*scene, frame)));
    }
    m_cache->clear();
    m_cache->setCapacity(3 * frameBytes());
    const QList<QRgb> table = static_cast<const StrokeLayer *>(scene->layerAt(0).get())->colorTable();

    std::atomic<int> wrong{0};
    std::atomic<bool> done{false};
    std::thread encoder([&] {
        for (int pass = 0; pass < Passes; ++pass) {
            MovieFrames frames(layers, {1, Drawings}, Frame, output, Qt::white);
            for (int frame = 1; frame <= Drawings; ++frame) {
                if (frames.next() != expected.at(frame - 1))
                    ++wrong;
            }
        }
        done = true;
    });
    // Drawn on while the export runs: drawings of another scene, each edit
    // taking its image out of the cache and putting it back.
    QList<std::shared_ptr<StrokeDrawing>> drawn;
    for (int seed = 0; seed < 4; ++seed)
        drawn.append(patternDrawing(100 + seed));
    int wrongImages = 0;
    for (int i = 0; !done || i < Drawings; ++i) {
        const int frame = Drawings - i % Drawings;
        StrokeDrawing *shown = drawingAt(*scene, frame);
        if (shown->image() != expectedImages.at(frame - 1))
            ++wrongImages;
        shown->clearCache();
        if (shown->thumbnail(QSize(30, 20), table).isNull())
            ++wrongImages;
        if (drawing) {
            StrokeDrawing &edited = *drawn.at(i % drawn.size());
            QImage dab(8, 8, QImage::Format_Alpha8);
            dab.fill(uint(40 + i % 200));
            edited.addStroke(std::make_unique<BitmapStroke>(dab, QRect(i % 100, 40 + i % 30, 8, 8)));
            if (edited.image() != rendered(edited))
                ++wrongImages;
        }
        if (i % 7 == 0)
            m_cache->clear();
    }
    encoder.join();
    QCOMPARE(wrong.load(), 0);
    QCOMPARE(wrongImages, 0);
    QVERIFY(m_cache->bytesHeld() <= 3 * frameBytes());
}

QTEST_MAIN(TestDrawingImageCache)
#include "tst_drawingimagecache.moc"
