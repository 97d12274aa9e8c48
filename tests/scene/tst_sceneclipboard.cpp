#include "scene/scene.h"

#include "drawings/imagedrawing.h"
#include "scene/clipboardrecord.h"

#include "celltesthelpers.h"
#include "drawings/strokedrawing.h"
#include "render/alphacomposition.h"
#include "scenetesthelpers.h"
#include "support/hostileinput.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QMimeData>
#include <QSettings>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>

using namespace Model;
using namespace CellTest;

namespace {

// The record as the paste command reads it, trusting it to be well formed.
struct Record
{
    qint32 type = 0;
    qint32 count = 0;
    QList<QByteArray> blocks;
};

struct Block
{
    qint32 kind = -1;
    QUuid copyId;
    qint8 hasContent = -1;
    QByteArray content;
};

Record readRecord(const QByteArray &bytes)
{
    Record record;
    QDataStream in(bytes);
    in >> record.type >> record.count;
    for (qint32 i = 0; i < record.count && !in.atEnd(); ++i) {
        quint32 length = 0;
        in >> length;
        record.blocks.append(bytes.mid(in.device()->pos(), length));
        in.skipRawData(length);
    }
    return record;
}

QByteArray writeRecord(const Record &record)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << record.type << record.count;
    for (const QByteArray &block : record.blocks)
        out.writeBytes(block.constData(), uint(block.size()));
    return bytes;
}

Block readBlock(const QByteArray &bytes)
{
    Block block;
    QDataStream in(bytes);
    in >> block.kind >> block.copyId >> block.hasContent;
    block.content = bytes.mid(in.device()->pos());
    return block;
}

QByteArray writeBlock(const Block &block)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << block.kind << block.copyId << block.hasContent;
    bytes.append(block.content);
    return bytes;
}

QString inkOfContent(const QByteArray &content)
{
    QDataStream in(content);
    in.setFloatingPointPrecision(QDataStream::SinglePrecision);
    StrokeDrawing drawing{QSize()};
    in >> drawing;
    return in.status() == QDataStream::Ok ? inkOf(&drawing) : QStringLiteral("damaged");
}

QByteArray copiedRecord(Scene &scene, int layer, int first, int count)
{
    const std::unique_ptr<QMimeData> mime(scene.copy(layer, first, count));
    return mime ? mime->data(Scene::CellsMimeType) : QByteArray();
}

std::shared_ptr<ReferenceLayer> pictureLayer(Scene &scene, const QList<QImage> &pictures)
{
    auto layer = SceneTest::referenceLayer(scene, QString());
    for (const QImage &picture : pictures)
        layer->insertCell(layer->frameCount(), std::make_shared<LayerItem>(picture));
    return layer;
}

QImage filledImage(const QColor &color)
{
    QImage image(8, 6, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

using Damage = std::function<void(QByteArray &)>;

void editBlock(QByteArray &bytes, int index, const std::function<void(Block &)> &edit)
{
    Record record = readRecord(bytes);
    Block block = readBlock(record.blocks.at(index));
    edit(block);
    record.blocks[index] = writeBlock(block);
    bytes = writeRecord(record);
}

void setCount(QByteArray &bytes, qint32 count)
{
    Record record = readRecord(bytes);
    record.count = count;
    bytes = writeRecord(record);
}

} // namespace

// Copying cells for the clipboard (the record, its picture and its text) and
// telling whether clipboard data can be pasted onto the active layer.
class TestSceneClipboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void refusedCopies_data();
    void refusedCopies();
    void text_data();
    void text();
    void recordBlocks_data();
    void recordBlocks();
    void damagedDrawingLosesOnlyItsCell();
    void cellsAreReadForTheirScene_data();
    void cellsAreReadForTheirScene();
    void copyIdsMarkUneditedDrawings();
    void referenceCells();
    void picture_data();
    void picture();

    void canPaste_data();
    void canPaste();
};

void TestSceneClipboard::initTestCase()
{
    initAlphaCompositionTables();
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Kelvane"));
}

void TestSceneClipboard::init()
{
    QSettings().clear();
}

void TestSceneClipboard::refusedCopies_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");

    QTest::newRow("no such layer") << 5 << 1 << 1;
    QTest::newRow("audio layer") << 1 << 1 << 1;
    QTest::newRow("frame 0") << 0 << 0 << 2;
    QTest::newRow("after the last cell") << 0 << 4 << 1;
    QTest::newRow("no cells asked for") << 0 << 1 << 0;
    QTest::newRow("a negative count") << 0 << 1 << -2;
}

void TestSceneClipboard::refusedCopies()
{
    QFETCH(int, layer);
    QFETCH(int, first);
    QFETCH(int, count);

    Scene scene;
    buildScene(scene, {"XXX"});
    scene.insertLayer(std::make_shared<AudioLayer>(&scene), 1);

    const std::unique_ptr<QMimeData> mime(scene.copy(layer, first, count));
    QVERIFY(!mime);
    QVERIFY(scene.itemAt(0, 1)->drawing()->copyId().isNull());
}

void TestSceneClipboard::text_data()
{
    QTest::addColumn<QString>("cells");
    QTest::addColumn<QString>("layerName");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");

    const QString prefix = QStringLiteral("Kelvane scene Untitled, Layer ");
    QTest::newRow("one frame") << "XXX" << "Ink" << 2 << 1 << prefix + "Ink, frame 2";
    QTest::newRow("several frames") << "XXX" << "Ink" << 1 << 3 << prefix + "Ink, frames 1-3";
    QTest::newRow("fewer frames at the end") << "XXXXX" << "Ink" << 4 << 3 << prefix + "Ink, frames 4-5";
    QTest::newRow("one frame left at the end") << "XXXXX" << "Ink" << 5 << 3 << prefix + "Ink, frame 5";
    QTest::newRow("a name with a place marker") << "XX" << "Ink %4" << 1 << 2 << prefix + "Ink %4, frames 1-2";
}

void TestSceneClipboard::text()
{
    QFETCH(QString, cells);
    QFETCH(QString, layerName);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, text);

    Scene scene;
    buildScene(scene, {cells});
    QVERIFY(scene.setLayerName(0, layerName));
    // Not even a complaint about the text's place markers.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const std::unique_ptr<QMimeData> mime(scene.copy(0, first, count));
    QVERIFY(mime);
    QCOMPARE(mime->text(), text);
}

// Blocks read as kind/content flag/drawing, the drawings lettered by copy id
// in order of appearance.
void TestSceneClipboard::recordBlocks_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QString>("links");
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("blocks");

    QTest::newRow("a held drawing") << QStringList{"XX--"} << "" << 0 << 2 << 3 << "0/1/a 1/0/a 1/0/a";
    QTest::newRow("starting inside a hold") << QStringList{"X--X"} << "" << 0 << 2 << 3 << "1/1/a 1/0/a 0/1/b";
    QTest::newRow("a distant clone after its original")
        << QStringList{"X-X"} << "0.3>0.1" << 0 << 1 << 3 << "0/1/a 1/0/a 2/0/a";
    QTest::newRow("a distant clone before its original")
        << QStringList{"XX"} << "0.1>0.2" << 0 << 1 << 2 << "2/1/a 0/0/a";
    QTest::newRow("a distant clone of another layer")
        << QStringList{"X", "X-"} << "1.1>0.1" << 1 << 1 << 2 << "2/1/a 1/0/a";
    QTest::newRow("fewer cells at the end") << QStringList{"XXXXX"} << "" << 0 << 4 << 3 << "0/1/a 0/1/b";
}

void TestSceneClipboard::recordBlocks()
{
    QFETCH(QStringList, layers);
    QFETCH(QString, links);
    QFETCH(int, layer);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, blocks);

    Scene scene;
    buildScene(scene, layers, links);
    const QByteArray bytes = copiedRecord(scene, layer, first, count);
    const Record record = readRecord(bytes);
    // The paste reads the same through the model's reader.
    const ClipboardRecord pasted(bytes);
    QCOMPARE(pasted.layerType(), Layer::StrokeLayerType);
    QCOMPARE(pasted.cellCount(), record.blocks.size());

    QCOMPARE(record.type, Layer::StrokeLayerType);
    QCOMPARE(record.count, record.blocks.size());
    QList<QUuid> copyIds;
    QStringList seen;
    for (int i = 0; i < record.blocks.size(); ++i) {
        const Block block = readBlock(record.blocks.at(i));
        const std::shared_ptr<Drawing> shown = scene.itemAt(layer, first + i)->drawing();
        QVERIFY(!block.copyId.isNull());
        QCOMPARE(block.copyId, shown->copyId());
        if (!copyIds.contains(block.copyId))
            copyIds.append(block.copyId);
        seen.append(QStringLiteral("%1/%2/%3").arg(block.kind).arg(block.hasContent).arg(QChar(char16_t(u'a' + copyIds.indexOf(block.copyId)))));
        if (block.hasContent == 1)
            QCOMPARE(inkOfContent(block.content), inkOf(shown.get()));
        else
            QVERIFY(block.content.isEmpty());

        const ClipboardRecord::Cell cell = pasted.cell(i);
        QCOMPARE(cell.kind, block.kind);
        QCOMPARE(cell.copyId, block.copyId);
        QCOMPARE(cell.hasContent, block.hasContent == 1);
        QVERIFY(!cell.damaged);
        QCOMPARE(cell.drawing ? inkOf(cell.drawing.get()) : QString(),
                 block.hasContent == 1 ? inkOf(shown.get()) : QString());
    }
    QCOMPARE(seen.join(u' '), blocks);
}

// Damage inside one drawing leaves the record framed: that cell comes without
// a drawing, and every other cell reads as it was copied.
void TestSceneClipboard::damagedDrawingLosesOnlyItsCell()
{
    Scene scene;
    buildScene(scene, {"XX"});
    QByteArray bytes = copiedRecord(scene, 0, 1, 2);
    editBlock(bytes, 0, [](Block &b) { b.content.truncate(b.content.size() / 2); });

    scene.setActiveFrameAndLayer(1, 0, Scene::ClampToDrawings);
    QMimeData mime;
    mime.setData(Scene::CellsMimeType, bytes);
    QCOMPARE(scene.canPaste(&mime), 2);
    const ClipboardRecord record(bytes);
    QVERIFY(record.cell(0).damaged);
    QVERIFY(!record.cell(0).drawing);
    QVERIFY(!record.cell(1).damaged);
    QCOMPARE(inkOf(record.cell(1).drawing.get()), inkOf(scene.itemAt(0, 2)->drawing().get()));
    QVERIFY(!record.cell(2).drawing);
}

// A paste reads each drawing as one of the scene it goes into: a drawing
// copied at another frame size becomes one of the scene's frame, and its
// collapsed strokes together may take what a drawing of that frame can hold,
// whatever frame the record claims. Those beyond it come without their
// pictures and are counted, so that the paste can tell the user.
void TestSceneClipboard::cellsAreReadForTheirScene_data()
{
    QTest::addColumn<QByteArray>("drawing");
    QTest::addColumn<QSize>("frame");
    // Whether the speck of ink in the far corner of the claimed frame shows.
    QTest::addColumn<bool>("speck");

    using HostileInput::CapFrame;
    using HostileInput::drawingRecord;
    const QSize small = SceneTest::FrameSize;
    QTest::newRow("copied at the scene's frame") << drawingRecord({small}) << small << true;
    QTest::newRow("claiming 8192x8192") << drawingRecord({CapFrame}) << small << false;
    // Pictures of 64 MiB each, in a scene whose frame takes 3 KiB: what they
    // claim costs nothing until a part of them is shown.
    QTest::newRow("ten pictures of 8192x8192") << drawingRecord({CapFrame, false, 10}) << small << false;
}

void TestSceneClipboard::cellsAreReadForTheirScene()
{
    QFETCH(QByteArray, drawing);
    QFETCH(QSize, frame);
    QFETCH(bool, speck);

    const ClipboardRecord record(HostileInput::clipboardRecord({drawing}));
    QCOMPARE(record.cellCount(), 1);
    const ClipboardRecord::Cell cell = record.cell(0, frame);
    QVERIFY(!cell.damaged);
    QCOMPARE(cell.unreadablePictures, 0);
    const auto *strokes = dynamic_cast<const StrokeDrawing *>(cell.drawing.get());
    QVERIFY(strokes);
    QCOMPARE(strokes->size(), frame);
    const QImage image = strokes->image();
    QCOMPARE(image.size(), frame);
    const QPoint corner(frame.width() - 6, frame.height() - 6);
    QCOMPARE(qAlpha(image.pixel(corner)) > 0, speck);
    // The strokes, collapsed ones with their pictures, come whole.
    QVERIFY(drawing.contains(TestSupport::record([&](QDataStream &out) { strokes->root().write(out); })));
}

// A paste recognises an unedited copy by its copy id: copying again keeps
// it, an edit drops it, and the next copy marks the drawing afresh.
void TestSceneClipboard::copyIdsMarkUneditedDrawings()
{
    Scene scene;
    buildScene(scene, {"X-"});
    const std::shared_ptr<Drawing> drawing = scene.itemAt(0, 1)->drawing();

    copiedRecord(scene, 0, 1, 2);
    const QUuid marked = drawing->copyId();
    QVERIFY(!marked.isNull());
    copiedRecord(scene, 0, 2, 1);
    QCOMPARE(drawing->copyId(), marked);

    QVERIFY(qobject_cast<StrokeLayer *>(scene.layerAt(0).get())->addStroke(1, inkStroke(u'y')));
    QVERIFY(drawing->copyId().isNull());
    const Record record = readRecord(copiedRecord(scene, 0, 1, 1));
    QVERIFY(!drawing->copyId().isNull());
    QVERIFY(drawing->copyId() != marked);
    QCOMPARE(readBlock(record.blocks.at(0)).copyId, drawing->copyId());
}

void TestSceneClipboard::referenceCells()
{
    Scene scene;
    const QImage red = filledImage(Qt::red);
    const QImage green = filledImage(Qt::green);
    // A blank cell travels as a null picture, and is no damage.
    const QList<QImage> pictures{red, green, QImage()};
    scene.insertLayer(pictureLayer(scene, pictures), 0);

    const std::unique_ptr<QMimeData> mime(scene.copy(0, 1, 3));
    QVERIFY(mime);
    QCOMPARE(qvariant_cast<QImage>(mime->imageData()), red);
    const Record record = readRecord(mime->data(Scene::CellsMimeType));
    QCOMPARE(record.type, Layer::ReferenceLayerType);
    QCOMPARE(record.blocks.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const Block block = readBlock(record.blocks.at(i));
        QCOMPARE(block.hasContent, qint8(1));
        QDataStream in(block.content);
        QImage picture;
        in >> picture;
        QCOMPARE(picture, pictures.at(i));
        const ClipboardRecord::Cell cell = ClipboardRecord(mime->data(Scene::CellsMimeType)).cell(i);
        QVERIFY(!cell.damaged);
        const auto drawing = std::dynamic_pointer_cast<ImageDrawing>(cell.drawing);
        QVERIFY(drawing);
        QCOMPARE(drawing->image(), picture);
    }
}

void TestSceneClipboard::picture_data()
{
    QTest::addColumn<QString>("cells");
    QTest::addColumn<int>("first");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<QChar>("shown");
    QTest::addColumn<QChar>("hidden");
    QTest::addColumn<QColor>("ink");

    QTest::newRow("an original") << "XX" << 2 << 1.0 << QChar(u'b') << QChar(u'a') << QColor(Qt::darkBlue);
    QTest::newRow("a hold shows its original") << "XX-" << 3 << 1.0 << QChar(u'b') << QChar(u'a')
                                               << QColor(Qt::darkBlue);
    QTest::newRow("the layer's opacity") << "X" << 1 << 0.5 << QChar(u'a') << QChar(u'b') << QColor(127, 127, 191);
}

// Other programs get the first drawing as it looks on white paper.
void TestSceneClipboard::picture()
{
    QFETCH(QString, cells);
    QFETCH(int, first);
    QFETCH(double, opacity);
    QFETCH(QChar, shown);
    QFETCH(QChar, hidden);
    QFETCH(QColor, ink);

    Scene scene;
    buildScene(scene, {cells});
    QVERIFY(scene.setLayerOpacity(0, opacity));
    const std::unique_ptr<QMimeData> mime(scene.copy(0, first, 1));
    QVERIFY(mime);
    const QImage picture = qvariant_cast<QImage>(mime->imageData());

    QCOMPARE(picture.size(), SceneTest::FrameSize);
    QCOMPARE(picture.format(), QImage::Format_RGB32);
    QCOMPARE(picture.pixelColor(inkRect(hidden).center()), QColor(Qt::white));
    QCOMPARE(picture.pixelColor(picture.rect().bottomRight()), QColor(Qt::white));
    const QColor painted = picture.pixelColor(inkRect(shown).center());
    QVERIFY2(qAbs(painted.red() - ink.red()) <= 2 && qAbs(painted.green() - ink.green()) <= 2
                 && qAbs(painted.blue() - ink.blue()) <= 2,
             qPrintable(painted.name()));
}

void TestSceneClipboard::canPaste_data()
{
    QTest::addColumn<QString>("activeLayer");
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("cells");

    QTest::newRow("stroke cells onto a stroke layer") << "stroke" << "stroke cells" << 3;
    QTest::newRow("stroke cells onto a reference layer") << "reference" << "stroke cells" << 0;
    QTest::newRow("reference cells onto a reference layer") << "reference" << "reference cells" << 2;
    QTest::newRow("reference cells onto a stroke layer") << "stroke" << "reference cells" << 0;
    QTest::newRow("stroke cells without an active layer") << "none" << "stroke cells" << 0;
    QTest::newRow("a picture onto a reference layer") << "reference" << "picture" << 1;
    QTest::newRow("a picture onto a stroke layer") << "stroke" << "picture" << 0;
    QTest::newRow("text") << "stroke" << "text" << 0;
    QTest::newRow("nothing") << "stroke" << "empty" << 0;
    QTest::newRow("no data at all") << "stroke" << "null" << 0;

    const QStringList damages{"truncated header", "no cells", "negative count", "absurd count",
                              "more cells than blocks", "block longer than the record", "truncated last block",
                              "unknown cell kind", "unknown content flag", "content missing",
                              "a repeat before any content", "empty record", "bytes left over"};
    for (const QString &damage : damages)
        QTest::addRow("damaged: %s", qPrintable(damage)) << "stroke" << damage << 0;
}

void TestSceneClipboard::canPaste()
{
    QFETCH(QString, activeLayer);
    QFETCH(QString, data);
    QFETCH(int, cells);

    // The clipboard's content, copied from another scene.
    Scene source;
    buildScene(source, {"X-X"});
    source.insertLayer(pictureLayer(source, {filledImage(Qt::red), filledImage(Qt::blue)}), 1);
    QByteArray record = copiedRecord(source, data == u"reference cells" ? 1 : 0, 1, 3);
    QCOMPARE(readRecord(record).count, data == u"reference cells" ? 2 : 3);

    const QHash<QString, Damage> damages{
        {"truncated header", [](QByteArray &bytes) { bytes.truncate(6); }},
        {"no cells", [](QByteArray &bytes) { setCount(bytes, 0); }},
        {"negative count", [](QByteArray &bytes) { setCount(bytes, -3); }},
        {"absurd count", [](QByteArray &bytes) { setCount(bytes, 0x7fffffff); }},
        {"more cells than blocks", [](QByteArray &bytes) { setCount(bytes, 4); }},
        {"block longer than the record",
         [](QByteArray &bytes) {
             QDataStream out(&bytes, QIODevice::ReadWrite);
             out.device()->seek(8);
             out << quint32(0xfffffff0);
         }},
        {"truncated last block", [](QByteArray &bytes) { bytes.chop(5); }},
        {"unknown cell kind", [](QByteArray &bytes) { editBlock(bytes, 0, [](Block &b) { b.kind = 7; }); }},
        {"unknown content flag", [](QByteArray &bytes) { editBlock(bytes, 0, [](Block &b) { b.hasContent = 2; }); }},
        {"content missing", [](QByteArray &bytes) { editBlock(bytes, 0, [](Block &b) { b.content.clear(); }); }},
        {"a repeat before any content",
         [](QByteArray &bytes) {
             editBlock(bytes, 0, [](Block &b) {
                 b.hasContent = 0;
                 b.content.clear();
             });
         }},
        {"empty record", [](QByteArray &bytes) { bytes.clear(); }},
        {"bytes left over", [](QByteArray &bytes) { bytes.append("junk"); }},
    };
    if (damages.contains(data))
        damages.value(data)(record);

    std::unique_ptr<QMimeData> mime;
    if (data != u"null") {
        mime = std::make_unique<QMimeData>();
        if (data == u"picture")
            mime->setImageData(filledImage(Qt::red));
        else if (data == u"text")
            mime->setText(QStringLiteral("Kelvane scene Untitled, Layer 1, frame 1"));
        else if (data != u"empty")
            mime->setData(Scene::CellsMimeType, record);
    }

    Scene scene;
    if (activeLayer != u"none") {
        buildScene(scene, {"XX"});
        scene.insertLayer(pictureLayer(scene, {filledImage(Qt::red)}), 1);
        QVERIFY(scene.setActiveFrameAndLayer(1, activeLayer == u"stroke" ? 0 : 1, Scene::ClampToDrawings)
                || scene.activeLayerIdx() == (activeLayer == u"stroke" ? 0 : 1));
    }
    QCOMPARE(scene.canPaste(mime.get()), cells);
}

QTEST_MAIN(TestSceneClipboard)

#include "tst_sceneclipboard.moc"
