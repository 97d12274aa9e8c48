#include "commandtesthelpers.h"
#include "pastecommands.h"

#include "drawings/imagedrawing.h"
#include "render/alphacomposition.h"

#include <QDataStream>
#include <QMimeData>
#include <QTest>
#include <QUndoStack>

#include <memory>
#include <optional>

using namespace CommandTest;

namespace {

// A clipboard record written field by field, as the copy writes it, so that
// each row can spoil one field.
struct RecordedCell
{
    qint32 kind = 0;
    QUuid copyId;
    qint8 hasContent = 1;
    QByteArray content;
};

QByteArray strokeDrawingRecord(QChar ink)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << *CellTest::inkedDrawing(ink);
    return bytes;
}

// The same drawing claiming a frame of another size: the record's first
// field.
QByteArray withFrame(QByteArray drawing, QSize frame)
{
    QDataStream out(&drawing, QIODevice::ReadWrite);
    out << frame;
    return drawing;
}

// count, when given, is the number of cells the record announces.
QByteArray clipboardRecord(qint32 layerType, const QList<RecordedCell> &cells, std::optional<qint32> count = {})
{
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out << layerType << count.value_or(qint32(cells.size()));
    for (const RecordedCell &cell : cells) {
        QByteArray block;
        QDataStream inner(&block, QIODevice::WriteOnly);
        inner.setFloatingPointPrecision(QDataStream::SinglePrecision);
        inner << cell.kind << cell.copyId << cell.hasContent;
        block += cell.content;
        out.writeBytes(block.constData(), uint(block.size()));
    }
    return record;
}

std::unique_ptr<QMimeData> copy(Model::KLScene &handle, int layer, int frame, int count)
{
    return std::unique_ptr<QMimeData>(handle.scene()->copy(layer, frame, count));
}

std::shared_ptr<Model::Drawing> drawingAt(const Model::KLScene &handle, int frame, int layer)
{
    const auto item = handle.scene()->itemAt(layer, frame);
    return item ? item->drawing() : nullptr;
}

QString layerCells(const Model::KLScene &handle, int layer)
{
    return CellTest::describeLayer(*handle.scene(), layer);
}

} // namespace

// Pasting copied cells keeps clones as clones and tracks sources that the
// paste itself removes; a record that is damaged, foreign or of another kind
// of layer changes nothing; pictures go into reference layers.
class TestPasteCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void pastingAtFrameTen_data();
    void pastingAtFrameTen();
    void selectionDecidesWhereDrawingsGo_data();
    void selectionDecidesWhereDrawingsGo();
    void discardedSourceLivesOnInThePaste();
    void redoReadsWhatWasCopied();
    void badRecordsChangeNothing_data();
    void badRecordsChangeNothing();
    void pictures_data();
    void pictures();
};

void TestPasteCommands::initTestCase()
{
    Model::initAlphaCompositionTables();
}

void TestPasteCommands::init()
{
    resetPreferences();
}

// Layer 0 holds the sources: an original (a), its hold, another original
// (b) and a distant clone of a. Layer 1 has ten originals (c to l); the
// paste goes in at its frame 10 with the one-cell constructor.
void TestPasteCommands::pastingAtFrameTen_data()
{
    QTest::addColumn<int>("copied");
    QTest::addColumn<bool>("editSource");
    QTest::addColumn<QString>("pasted");

    // Unedited sources: distant clones of them, and holds, share the drawings.
    QTest::newRow("original, hold, original") << 3 << false << "Da Ca Db Ol";
    QTest::newRow("original, hold, original, distant clone") << 4 << false << "Da Ca Db Da Ol";
    // An edited source is not the copied drawing any more: the record's own
    // drawing becomes a new original, and a later cell of it a distant clone
    // of that.
    QTest::newRow("edited source") << 4 << true << "Oa Ca Db Da Ol";
}

void TestPasteCommands::pastingAtFrameTen()
{
    QFETCH(int, copied);
    QFETCH(bool, editSource);
    QFETCH(QString, pasted);

    const auto handle = makeScene({QStringLiteral("X-XX"), QStringLiteral("XXXXXXXXXX")}, QStringLiteral("0.4>0.1"));
    Model::Scene *scene = handle->scene();
    const std::unique_ptr<QMimeData> mime = copy(*handle, 0, 1, copied);
    const QUuid copyIdOfA = drawingAt(*handle, 1, 0)->copyId();
    if (editSource)
        QVERIFY(scene->addStroke(0, 1, TestSupport::bitmapStroke(QRect(50, 40, 3, 3), 255)));
    makeCurrent(*handle, 10, 1);
    const QByteArray before = record(*handle);
    const QString sourcesBefore = layerCells(*handle, 0);

    scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellAt(*handle, 10, 1), mime.get()));

    QCOMPARE(scene->undoStack()->count(), 1);
    QCOMPARE(layerCells(*handle, 1), QStringLiteral("Oc Od Oe Of Og Oh Oi Oj Ok ") + pasted);
    QCOMPARE(layerCells(*handle, 0), sourcesBefore);
    QCOMPARE(scene->activeFrame(), 10);
    QCOMPARE(scene->activeLayerIdx(), 1);
    QCOMPARE(CellTest::linkFault(*scene), QString());
    if (editSource) {
        QVERIFY(drawingAt(*handle, 10, 1) != drawingAt(*handle, 1, 0));
        QCOMPARE(drawingAt(*handle, 10, 1)->copyId(), copyIdOfA);
    } else {
        // No drawing data is duplicated.
        QCOMPARE(drawingAt(*handle, 10, 1), drawingAt(*handle, 1, 0));
        QCOMPARE(drawingAt(*handle, 12, 1), drawingAt(*handle, 3, 0));
    }

    scene->undoStack()->undo();
    QCOMPARE(record(*handle), before);
}

// Three drawings (a, its hold, b) onto selections of one layer of five
// originals (c to g).
void TestPasteCommands::selectionDecidesWhereDrawingsGo_data()
{
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QString>("after");

    QTest::newRow("five selected: the last two go") << QList<int>{1, 2, 3, 4, 5} << "Da Ca Db";
    QTest::newRow("three selected") << QList<int>{2, 3, 4} << "Oc Da Ca Db Og";
    QTest::newRow("one selected: holds follow it") << QList<int>{2} << "Oc Da Ca Db Oe Of Og";
    QTest::newRow("no selection: inserted at the current cell") << QList<int>{} << "Oc Da Ca Db Od Oe Of Og";
}

void TestPasteCommands::selectionDecidesWhereDrawingsGo()
{
    QFETCH(QList<int>, selected);
    QFETCH(QString, after);

    const auto handle = makeScene({QStringLiteral("X-X"), QStringLiteral("XXXXX")});
    const std::unique_ptr<QMimeData> mime = copy(*handle, 0, 1, 3);
    makeCurrent(*handle, 2, 1);
    Model::Scene *scene = handle->scene();
    const QByteArray before = record(*handle);

    if (selected.isEmpty())
        scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellAt(*handle, 2, 1), mime.get()));
    else
        scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellsAt(*handle, selected, 1), mime.get()));

    QCOMPARE(layerCells(*handle, 1), after);
    QCOMPARE(scene->activeFrame(), selected.isEmpty() ? 2 : selected.first());
    QCOMPARE(CellTest::linkFault(*scene), QString());
    const QByteArray done = record(*handle);
    scene->undoStack()->undo();
    QCOMPARE(record(*handle), before);
    scene->undoStack()->redo();
    QCOMPARE(record(*handle), done);
}

// Pasting e over the selection of all five cells discards e's own cell;
// with no distant clone to hand it to, the paste keeps e's drawing itself.
void TestPasteCommands::discardedSourceLivesOnInThePaste()
{
    const auto handle = makeScene({QStringLiteral("XXXXX")});
    const std::unique_ptr<QMimeData> mime = copy(*handle, 0, 5, 1);
    const std::shared_ptr<Model::Drawing> source = drawingAt(*handle, 5, 0);
    Model::Scene *scene = handle->scene();

    scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellsAt(*handle, {1, 2, 3, 4, 5}, 0), mime.get()));

    QCOMPARE(layerCells(*handle, 0), QStringLiteral("Oe"));
    QCOMPARE(drawingAt(*handle, 1, 0), source);
    scene->undoStack()->undo();
    QCOMPARE(layerCells(*handle, 0), QStringLiteral("Oa Ob Oc Od Oe"));
}

// The record is taken when the command is made: a redo after the clipboard
// changed, or went away, pastes what was copied.
void TestPasteCommands::redoReadsWhatWasCopied()
{
    const auto handle = makeScene({QStringLiteral("XX"), QStringLiteral("XXX")});
    auto mime = copy(*handle, 0, 1, 2);
    Model::Scene *scene = handle->scene();
    scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellAt(*handle, 3, 1), mime.get()));
    const QString pasted = layerCells(*handle, 1);
    QCOMPARE(pasted, QStringLiteral("Oc Od Da Db Oe"));

    scene->undoStack()->undo();
    mime->setData(Model::Scene::CellsMimeType, clipboardRecord(1, {{0, QUuid::createUuid(), 1, strokeDrawingRecord(u'z')}}));
    scene->undoStack()->redo();
    QCOMPARE(layerCells(*handle, 1), pasted);

    scene->undoStack()->undo();
    mime.reset();
    scene->undoStack()->redo();
    QCOMPARE(layerCells(*handle, 1), pasted);

    // And what the first paste made, though a redone step remade its source.
    const auto one = makeScene({QStringLiteral("X")});
    QUndoStack *stack = one->scene()->undoStack();
    stack->push(new Commands::DiscardDrawing(one.get(), cellAt(*one, 1, 0)));
    mime = copy(*one, 0, 1, 1);
    stack->push(new Commands::PasteDrawing(one.get(), cellAt(*one, 1, 0), mime.get()));
    stack->setIndex(0);
    stack->setIndex(2);
    QCOMPARE(layerCells(*one, 0), QStringLiteral("D_ O_"));
}

void TestPasteCommands::badRecordsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("withFormat");
    // What the user is told of a record that frames its cells well but
    // holds drawings the scene cannot take; nothing for the others, which
    // cannot be pasted at all.
    QTest::addColumn<QString>("refusal");

    const QUuid id = QUuid::createUuid();
    const RecordedCell good{0, id, 1, strokeDrawingRecord(u'x')};
    const QByteArray sound = clipboardRecord(1, {good});
    QTest::newRow("no record") << QByteArray() << false << QString();
    QTest::newRow("empty record") << QByteArray() << true << QString();
    QTest::newRow("cut short") << sound.left(sound.size() - 5) << true << QString();
    QTest::newRow("bytes left over") << sound + QByteArray("junk") << true << QString();
    QTest::newRow("more cells announced") << clipboardRecord(1, {good}, 2) << true << QString();
    QTest::newRow("no cells") << clipboardRecord(1, {}) << true << QString();
    QTest::newRow("a negative count") << clipboardRecord(1, {good}, -7) << true << QString();
    QTest::newRow("unknown cell kind") << clipboardRecord(1, {{5, id, 1, good.content}}) << true << QString();
    QTest::newRow("unknown content flag") << clipboardRecord(1, {{0, id, 3, good.content}}) << true << QString();
    QTest::newRow("repeat of a drawing never carried") << clipboardRecord(1, {{1, id, 0, {}}}) << true << QString();
    QTest::newRow("damaged drawing") << clipboardRecord(1, {{0, id, 1, good.content.left(10)}}) << true
                                     << QStringLiteral("cannot be read");
    // Frames no scene has: reading and pasting such a drawing would take
    // seconds and gigabytes for a record of a few bytes.
    QTest::newRow("drawing of a frame 60416 wide")
        << clipboardRecord(1, {{0, id, 1, withFrame(good.content, QSize(60416, 3328))}}) << true << QString();
    QTest::newRow("drawing of a frame 16384 square")
        << clipboardRecord(1, {{0, id, 1, withFrame(good.content, QSize(16384, 16384))}}) << true << QString();
    QTest::newRow("drawing of a frame one pixel taller than any")
        << clipboardRecord(1, {good, {0, QUuid::createUuid(), 1, withFrame(good.content, QSize(64, 8193))}}) << true
        << QString();
    QTest::newRow("layer of another program") << clipboardRecord(7, {good}) << true << QString();
    QByteArray picture;
    QDataStream out(&picture, QIODevice::WriteOnly);
    out << QImage(4, 4, QImage::Format_ARGB32);
    QTest::newRow("cells of a reference layer") << clipboardRecord(3, {{0, id, 1, picture}}) << true << QString();
}

void TestPasteCommands::badRecordsChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, withFormat);
    QFETCH(QString, refusal);

    const auto handle = makeScene({QStringLiteral("X-X")});
    Model::Scene *scene = handle->scene();
    auto mime = std::make_unique<QMimeData>();
    mime->setText(QStringLiteral("not cells"));
    if (withFormat)
        mime->setData(Model::Scene::CellsMimeType, bytes);
    const QByteArray before = record(*handle);

    auto *paste = new Commands::PasteDrawing(handle.get(), cellAt(*handle, 2, 0), mime.get());
    QVERIFY2(refusal.isEmpty() ? paste->errorString().isEmpty() : paste->errorString().contains(refusal),
             qPrintable(paste->errorString()));
    scene->undoStack()->push(paste);
    scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellsAt(*handle, {1, 2}, 0), mime.get()));
    scene->undoStack()->push(new Commands::PasteDrawing(handle.get(), cellAt(*handle, 1, 0), nullptr));

    QCOMPARE(scene->undoStack()->count(), 0);
    QCOMPARE(record(*handle), before);
}

// A reference layer of four cells (each an empty picture) in a full-HD
// scene; the picture goes in at the topmost selected cell or the one cell.
void TestPasteCommands::pictures_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QSize>("pasted");
    QTest::addColumn<int>("cells");

    QTest::newRow("wider than the frame") << QSize(4000, 1000) << QList<int>{2} << QSize(1920, 480) << 4;
    QTest::newRow("smaller than the frame") << QSize(800, 600) << QList<int>{2} << QSize(800, 600) << 4;
    QTest::newRow("over three selected cells") << QSize(800, 600) << QList<int>{4, 2, 3} << QSize(800, 600) << 2;
    QTest::newRow("into one cell") << QSize(800, 600) << QList<int>{} << QSize(800, 600) << 5;
}

void TestPasteCommands::pictures()
{
    QFETCH(QSize, size);
    QFETCH(QList<int>, selected);
    QFETCH(QSize, pasted);
    QFETCH(int, cells);

    Model::KLScene handle;
    Model::Scene *scene = handle.scene();
    scene->setFrameSize(QSize(1920, 1080), KL::FitMode::FitModeStretch);
    scene->insertLayer(SceneTest::referenceLayer(*scene, QStringLiteral("XXXX")), 0);
    scene->insertLayer(SceneTest::strokeLayer(*scene, QStringLiteral("XX")), 1);
    scene->setFrameRange(1, 4, 1, 0);
    const QByteArray before = record(handle);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::darkGreen);

    if (selected.isEmpty()) {
        // Not into a stroke layer.
        scene->undoStack()->push(new Commands::PasteImage(&handle, cellAt(handle, 2, 1), image));
        QCOMPARE(scene->undoStack()->count(), 0);
        scene->undoStack()->push(new Commands::PasteImage(&handle, cellAt(handle, 2, 0), image));
    } else {
        scene->undoStack()->push(new Commands::PasteImage(&handle, cellsAt(handle, selected, 0), image));
    }

    QCOMPARE(scene->undoStack()->count(), 1);
    QCOMPARE(scene->layerFrameCount(0), cells);
    const auto drawing = std::dynamic_pointer_cast<Model::ImageDrawing>(drawingAt(handle, 2, 0));
    QVERIFY(drawing);
    QCOMPARE(drawing->image().size(), pasted);
    QCOMPARE(scene->activeFrame(), 2);
    const QByteArray done = record(handle);
    scene->undoStack()->undo();
    QCOMPARE(record(handle), before);
    scene->undoStack()->redo();
    QCOMPARE(record(handle), done);

    // A picture that could not be read pastes nothing.
    scene->undoStack()->push(new Commands::PasteImage(&handle, cellAt(handle, 1, 0), QImage()));
    QCOMPARE(scene->undoStack()->count(), 1);
}

QTEST_MAIN(TestPasteCommands)
#include "tst_pastecommands.moc"
