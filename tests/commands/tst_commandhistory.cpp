#include "clonecommands.h"
#include "commandconventions.h"
#include "commandtesthelpers.h"
#include "drawingcellcommands.h"
#include "drawingcontentcommands.h"
#include "importcommands.h"
#include "layercommands.h"
#include "layerpropertycommands.h"
#include "pastecommands.h"
#include "scenesettingscommands.h"

#include "initialize.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "mainwindow.h"
#include "strokes/singlestroke.h"
#include "support/scripteddialogs.h"
#include "support/testsupport.h"
#include "tools/erasertool.h"
#include "tools/pentool.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QPainterPath>
#include <QPoint>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <algorithm>
#include <memory>
#include <vector>

using namespace CommandTest;

namespace {

using Places = QList<QPoint>; // (layer, frame)

// The scene every case starts from:
// layer 0, strokes: a, hold, b (a key drawing), c, hold, hold, d;
// layer 1, strokes: e (off its pegs), a distant clone of a with a hold, f;
// layer 2, pictures: three empty cells; layer 3, annotations; layer 4, a
// second of sound. Frames 1 to 4 of layer 0 are on the clipboard.
struct Setup
{
    std::unique_ptr<Model::KLScene> handle;
    std::unique_ptr<QMimeData> copied;
    // The window showing the scene, when one does; it lets go of it first.
    std::shared_ptr<MainWindow> shown;
};

Setup setUp(bool linked = false, std::unique_ptr<MainWindow> *window = nullptr)
{
    Setup setup;
    setup.handle = makeScene({QStringLiteral("X-XX--X"), QStringLiteral("XX-X")}, QStringLiteral("1.2>0.1"));
    Model::Scene *scene = setup.handle->scene();
    scene->insertLayer(SceneTest::referenceLayer(*scene, QStringLiteral("XXX")), 2);
    scene->insertLayer(std::make_shared<Model::AnnotationLayer>(scene), 3);
    auto sound = std::make_shared<Model::AudioLayer>(scene);
    sound->loadAudioFile(ImportFiles::instance().path(QStringLiteral("tone.wav")));
    scene->insertLayer(sound, 4);
    scene->itemAt(0, 3)->setKeyDrawing(true);
    scene->itemAt(1, 1)->setOffPegsTransform(QTransform::fromTranslate(3, -2));
    if (linked) {
        scene->setLayerLinked(0, true);
        scene->setLayerLinked(1, true);
    }
    scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
    setup.copied.reset(scene->copy(0, 1, 4));
    if (window) {
        // A picture layer last in the file, as Import Frames leaves it, and
        // the sound column dragged between the first two drawing layers.
        scene->insertLayer(SceneTest::referenceLayer(*scene, QStringLiteral("XXXX")), 5);
        scene->moveLayer(4, 4, 1);
        if (!*window)
            *window = std::make_unique<MainWindow>(std::make_unique<TestSupport::ScriptedDialogs>());
        (*window)->setCurrentScene(setup.handle.get());
        setup.shown.reset(window->get(), [](MainWindow *shown) { shown->setCurrentScene(nullptr); });
    }
    return setup;
}

QModelIndexList cellsOf(const Model::KLScene &handle, const Places &places)
{
    QModelIndexList cells;
    for (const QPoint &place : places)
        cells.append(cellAt(handle, place.y(), place.x()));
    return cells;
}

QPainterPath rectangle(const QRectF &rect)
{
    QPainterPath path;
    path.addRect(rect);
    return path;
}

// How often the scene announced each of its changes while run ran.
template<typename Run>
QMap<QByteArray, int> announcements(const Model::Scene &scene, Run run)
{
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    const QMetaObject *meta = scene.metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Signal)
            spies.push_back(std::make_unique<QSignalSpy>(&scene, meta->method(i)));
    }
    run();
    QMap<QByteArray, int> counts;
    for (const auto &spy : spies) {
        if (!spy->isEmpty())
            counts.insert(spy->signal(), int(spy->size()));
    }
    return counts;
}

QImage picture(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// A piece lifted at the active cell, with its layer's opacity as a lift
// gives it.
std::unique_ptr<Model::FloatingSelection> lifted(const Model::Scene &scene, QChar ink)
{
    const int layer = scene.activeLayerIdx();
    return std::make_unique<Model::FloatingSelection>(CellTest::inkStroke(ink), QImage(),
                                                      scene.isVisualLayer(layer) ? scene.layerOpacity(layer) : 1.0);
}

std::unique_ptr<Model::SingleStroke> liveStroke(bool pen)
{
    static const Model::PenTool penTool(Model::Tool::PenType::Marker);
    static const Model::EraserTool eraserTool(Model::Tool::PenType::RubberEraser);
    QList<QPointF> points;
    for (int i = 0; i < 6; ++i)
        points.append(QPointF(2.0 + 2.0 * i, 3.0 + (i % 2)));
    return TestSupport::liveStroke(SceneTest::FrameSize, pen ? static_cast<const Model::Tool &>(penTool) : eraserTool,
                                   points);
}

// Every command by name, as its callers build it: on places, the first of
// them for a one-cell constructor ("(cell)") and for the layer and scene
// commands, with values for counts, distances, letters, rectangles,
// positions, modes and sizes. The commands on the scene directly work at its
// active cell.
QUndoCommand *makeCommand(Model::KLScene &handle, const QString &name, const Places &places, const QList<int> &values,
                          const QMimeData *copied)
{
    using namespace Commands;
    Model::KLScene *scene = &handle;
    const QModelIndexList cells = cellsOf(handle, places);
    const QModelIndex cell = cells.value(0);
    const QChar ink = QChar(u'a' + values.value(0) % 26);
    const QRectF area(values.value(0), values.value(1), values.value(2, 10), values.value(3, 10));
    if (QUndoCommand *command = cellCommand(handle, name, cells, values))
        return command;
    if (name == u"paste drawing")
        return new PasteDrawing(scene, cells, copied);
    if (name == u"paste drawing (cell)")
        return new PasteDrawing(scene, cell, copied);
    if (name == u"paste image")
        return new PasteImage(scene, cells, picture(80 + values.value(0), 30, qRgb(values.value(0), 80, 20)));
    if (name == u"paste image (cell)")
        return new PasteImage(scene, cell, picture(40, 30 + values.value(0), qRgb(10, values.value(0), 90)));
    if (name == u"stroke")
        return new Stroke(scene, cells, CellTest::inkStroke(ink));
    if (name == u"stroke (cell)")
        return new Stroke(scene, cell, CellTest::inkStroke(ink));
    if (name == u"draw" || name == u"erase")
        return new Stroke(scene, cell, liveStroke(name == u"draw"));
    if (name == u"cut")
        return new CutPath(scene, cell, rectangle(area));
    if (name == u"collapse")
        return new CollapseVectorData(scene, cell);
    if (name == u"floating selection")
        return new FloatingSelectionNew(scene, lifted(*handle.scene(), ink));
    if (name == u"floating placement") {
        Model::FloatingSelection::Transform placement;
        placement.third = QTransform::fromTranslate(values.value(0), values.value(1));
        return new FloatingSelectionTransform(scene, placement);
    }
    if (name == u"off pegs")
        return new OffPegs(handle.scene(), QTransform::fromTranslate(values.value(0), values.value(1)));
    if (name == u"on pegs")
        return new OffPegs(handle.scene(), QTransform());
    if (name == u"annotation")
        return new AddAnnotation(scene, cell, TestSupport::alpha8(QSize(20, 8), uchar(1 + values.value(0))));
    // The words in brackets only tell rows of one command apart.
    const QPoint place = places.value(0, QPoint(-1, -1));
    return sceneCommand(handle, name.section(QStringLiteral(" ("), 0, 0), place.x(), place.y(), values);
}

// A name of each row of the history tables, the places and values it is
// made with, and the active cell (layer, frame) it is made at.
struct Case
{
    const char *name;
    Places places;
    QList<int> values;
    QPoint current;
};

const QList<Case> &cases()
{
    static const QList<Case> all{
        {"add blank", {{0, 3}, {0, 4}}, {}, {0, 4}},
        {"add blank (cell)", {{1, 2}}, {}, {1, 2}},
        {"insert blank", {{0, 1}, {0, 7}}, {}, {0, 1}},
        {"insert blank (cell)", {{1, 5}}, {}, {1, 4}},
        {"duplicate", {{0, 2}, {1, 2}}, {}, {0, 2}},
        {"duplicate (cell)", {{0, 7}}, {}, {0, 7}},
        {"clear", {{0, 2}, {1, 1}}, {}, {0, 1}},
        {"clear (cell)", {{1, 4}}, {}, {1, 4}},
        {"lose", {{0, 3}, {0, 4}}, {}, {0, 3}},
        {"lose (cell)", {{1, 4}}, {}, {1, 4}},
        {"turn into original", {{0, 2}, {1, 2}}, {}, {0, 2}},
        {"turn into original (cell)", {{1, 3}}, {}, {1, 3}},
        {"discard", {{0, 1}, {0, 2}}, {}, {0, 2}},
        {"discard (cell)", {{1, 2}}, {}, {1, 2}},
        {"discard clone", {{0, 4}, {0, 5}, {0, 6}}, {}, {0, 6}},
        {"discard clone (cell)", {{0, 2}}, {}, {0, 2}},
        {"add clones", {{0, 1}, {0, 3}}, {2}, {0, 3}},
        {"add clones (cell)", {{1, 4}}, {2}, {1, 4}},
        {"clone each", {{0, 1}, {0, 4}}, {}, {0, 4}},
        {"cycle", {{1, 1}, {1, 2}, {1, 3}}, {}, {1, 1}},
        {"discard clones", {}, {2}, {0, 6}},
        {"slide", {}, {1, 0, 1}, {0, 4}},
        {"mark", {}, {}, {0, 4}},
        {"unmark", {}, {}, {0, 3}},
        {"unmark all", {}, {}, {0, 1}},
        {"paste drawing", {{1, 1}, {1, 2}}, {}, {1, 1}},
        {"paste drawing (cell)", {{1, 3}}, {}, {1, 3}},
        {"paste image", {{2, 1}, {2, 2}}, {}, {2, 2}},
        {"paste image (cell)", {{2, 3}}, {}, {2, 1}},
        {"stroke", {{0, 2}, {1, 3}, {1, 4}}, {25}, {0, 1}},
        {"stroke (cell)", {{1, 4}}, {24}, {1, 4}},
        {"draw", {{0, 4}}, {}, {0, 4}},
        {"erase", {{0, 1}}, {}, {0, 1}},
        {"cut", {{0, 2}}, {0, 0, 8, 8}, {0, 2}},
        {"collapse", {{1, 3}}, {}, {1, 3}},
        {"floating selection", {}, {3}, {0, 1}},
        {"floating placement", {}, {4, -2}, {0, 1}},
        {"off pegs", {}, {5, 1}, {0, 4}},
        {"on pegs", {}, {}, {1, 1}},
        {"annotation", {{3, 2}}, {60}, {0, 1}},
        {"new layer", {}, {}, {0, 4}},
        {"new reference layer", {}, {}, {1, 2}},
        {"duplicate layer", {{1, 1}}, {}, {0, 3}},
        {"discard layer", {{1, 1}}, {}, {1, 2}},
        {"discard layer (top)", {{0, 1}}, {}, {0, 5}},
        {"discard layer (inactive)", {{2, 1}}, {}, {0, 2}},
        {"discard layer (audio)", {{4, 1}}, {}, {0, 2}},
        {"merge down", {{0, 1}}, {}, {1, 3}},
        {"move layer", {}, {0, 2}, {0, 2}},
        {"rename", {{1, 1}}, {7}, {0, 1}},
        {"visibility", {{0, 1}}, {}, {0, 1}},
        {"link", {{2, 1}}, {}, {0, 1}},
        {"link all", {}, {}, {0, 1}},
        {"beyond last", {{1, 1}}, {2}, {0, 1}},
        {"colour", {{0, 1}}, {200}, {0, 1}},
        {"opacity", {{1, 1}}, {40}, {0, 1}},
        {"import frames", {}, {}, {1, 2}},
        {"import frames with gaps", {}, {}, {0, 6}},
        {"import audio", {}, {}, {0, 1}},
        {"audio offset", {}, {6}, {0, 1}},
        {"frame size", {}, {90, 30, 1}, {0, 2}},
        {"scene settings", {}, {40, 70, 2, 24}, {0, 2}},
        {"frame rate", {}, {30}, {0, 1}},
        {"frame range", {}, {2, 5}, {0, 3}},
        {"active cell", {{1, 3}}, {}, {0, 6}},
        {"tool", {}, {8}, {0, 1}},
    };
    return all;
}

// The steps of several commands that the program makes and pushes itself: a
// lift that cuts, a stamp that keeps the piece, a note across three rows.
const QList<Case> &groups()
{
    static const QList<Case> all{{"lift", {}, {}, {0, 1}}, {"stamp", {}, {}, {0, 4}},
                                 {"annotations", {{3, 1}, {3, 2}, {3, 3}}, {}, {0, 1}}};
    return all;
}

// Pushes a row's step through the current handle as the program does.
void push(Model::KLScene &handle, const Case &which, const QMimeData *copied)
{
    const QString name = QString::fromUtf8(which.name);
    const QImage note = TestSupport::alpha8(QSize(20, 8), 70);
    if (name == u"lift")
        Commands::liftFloatingSelection(&handle, lifted(*handle.scene(), u'k'), QPainterPath(), true);
    else if (name == u"stamp")
        Commands::stampFloatingSelection(&handle, true);
    else if (name == u"annotations")
        Commands::addAnnotations(&handle, cellsOf(handle, which.places), {note, QImage(), note});
    else
        Model::KLScene::pushCommand(
            static_cast<Model::SceneCommand *>(makeCommand(handle, name, which.places, which.values, copied)));
}

} // namespace

// What every command of these families shares: its line in the history, its
// merge id, and that undo gives back exactly the scene it was made in (cells,
// drawings, copy ids, range, active cell, floating selection) and redo again
// the scene of its first redo; also over random histories of them.
class TestCommandHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void texts_data();
    void texts();
    void everyCommandUndoesExactly_data();
    void everyCommandUndoesExactly();
    void randomHistories_data();
    void randomHistories();

    void conventions();

private:
    bool m_gl = false;
    std::unique_ptr<MainWindow> m_window;
};

void TestCommandHistory::initTestCase()
{
    m_gl = TestSupport::startRenderer(QSize(256, 256));
    Model::initialize();
}

void TestCommandHistory::init()
{
    resetPreferences();
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::None);
}

void TestCommandHistory::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("id");

    const auto row = [](const char *name, const QString &text, int id = -1) { QTest::newRow(name) << text << id; };
    row("add blank", "Add Blank after each Selected Drawing|Commands::AddBlankDrawing|-1");
    row("add blank (cell)", "Add Blank Drawing|Commands::AddBlankDrawing|-1");
    row("insert blank", "Insert Blank after each Selected Drawing|Commands::InsertBlankDrawing|-1");
    row("insert blank (cell)", "Insert Blank Drawing|Commands::InsertBlankDrawing|-1");
    row("duplicate", "Duplicate each Selected Drawing as Original|Commands::DuplicateDrawing|-1");
    row("duplicate (cell)", "Duplicate Drawing as Original|Commands::DuplicateDrawing|-1");
    row("clear", "Clear Selected Drawings|Commands::ClearDrawingMakingBlank|2");
    row("clear (cell)", "Clear Drawing|Commands::ClearDrawingMakingBlank|-1");
    row("lose", "Lose Selected Drawings|Commands::LoseDrawingMakingHold|2");
    row("lose (cell)", "Lose Drawing|Commands::LoseDrawingMakingHold|-1");
    row("turn into original", "Turn Selected Clones into Originals|Commands::TurnCloneIntoOriginal|2");
    row("turn into original (cell)", "Turn Clone into Original|Commands::TurnCloneIntoOriginal|-1");
    row("discard", "Discard Selected Drawings|Commands::DiscardDrawing|2");
    row("discard (cell)", "Discard Drawing|Commands::DiscardDrawing|-1");
    row("discard clone", "Discard Selected Clone Drawings|Commands::DiscardCloneDrawing|3");
    row("discard clone (cell)", "Discard Clone Drawing|Commands::DiscardCLoneDrawing|-1");
    row("add clones", "Add Clones after each Selected Drawing|Commands::AddCloneDrawings|2");
    row("add clones (cell)", "Add Clone Drawings|Commands::AddCloneDrawings|2");
    row("clone each", "Clone Each Selected Drawing Once|Commands::CloneEachSelectedDrawingOnce|-1");
    row("cycle", "Cycle Selected Drawings Once|Commands::CycleSelectedDrawingsOnce|-1");
    row("discard clones", "Discard Clone Drawings|Commands::DiscardCloneDrawings|2");
    row("slide", "Slide Original Drawing|Commands::SlideOriginal|-1");
    row("mark", "Mark as Key Drawing|Commands::MarkAsKeyDrawing|-1");
    row("unmark", "Unmark as Key Drawing|Commands::MarkAsKeyDrawing|-1");
    row("unmark all", "Unmark all Key Drawings|Commands::UnmarkAllKeyDrawings|-1");
    row("paste drawing", "Paste Drawing|Commands::PasteDrawing|-1");
    row("paste drawing (cell)", "Paste Drawing|Commands::PasteDrawing|-1");
    row("paste image", "Paste Image|Commands::PasteImage|-1");
    row("paste image (cell)", "Paste Image|Commands::PasteImage|-1");
    row("stroke", "Append stroke|Commands::Stroke|-1");
    row("stroke (cell)", "Append stroke|Commands::Stroke|-1");
    row("draw", "Draw|Commands::Stroke|-1");
    row("erase", "Erase|Commands::Stroke|-1");
    row("cut", "Cutout|Commands::CutPath|-1");
    row("collapse", "Collapse Vector Data|Commands::CollapseVectorData|-1");
    row("floating selection", "Create floating selection|Commands::FloatingSelectionNew|-1");
    row("floating placement", "Change floating selection|Commands::FloatingSelectionTransform|-1");
    row("off pegs", "Take Frame Off the Pegs|Commands::OffPegs|-1", Commands::OffPegsId);
    row("on pegs", "Put Frame On the Pegs|Commands::OffPegs|-1", Commands::OffPegsId);
    row("annotation", "Add Annotation|Commands::AddAnnotation|-1");
    row("new layer", "New Layer|Commands::NewLayer|-1");
    row("new reference layer", "New Reference Layer|Commands::NewLayer|-1");
    row("duplicate layer", "Duplicate Layer|Commands::DuplicateLayer|-1");
    row("discard layer", "Discard Layer|Commands::DiscardLayer|-1");
    row("discard layer (top)", "Discard Layer|Commands::DiscardLayer|-1");
    row("discard layer (inactive)", "Discard Layer|Commands::DiscardLayer|-1");
    row("discard layer (audio)", "Discard Audio|Commands::DiscardLayer|-1");
    row("merge down", "Merge Layer Down|Commands::MergeLayerDown|-1");
    row("move layer", "Move Layer|Commands::MoveLayer|-1");
    row("rename", "Rename Layer|Commands::RenameLayer|-1");
    row("visibility", "Set Layer Invisible|Commands::SetLayerVisible|-1");
    row("link", "Link Layer|Commands::SetLayerLinked|-1");
    row("link all", "Link All Layers|Commands::SetAllLayersLinked|-1");
    row("beyond last", "Freeze Last Drawing|Commands::SetLayerBeyondLast|-1");
    row("colour", "Change Layer Color|Commands::ChangeLayerColor|-1");
    row("opacity", "Change Layer Opacity|Commands::ChangeLayerOpacity|-1", Commands::ChangeLayerOpacityId);
    row("import frames", "Import Frames|Commands::Import|-1");
    row("import frames with gaps", "Import Frames|Commands::Import|-1");
    row("import audio", "Import Audio|Commands::Import|-1");
    row("audio offset", "Set Audio Offset|Commands::SetAudioOffset|-1", Commands::SetAudioOffsetId);
    row("frame size", "Change frame size|Commands::ChangeFrameSize|-1");
    row("scene settings", "Change scene settings|Commands::ChangeSceneSettings|-1");
    row("frame rate", "Set Frame Rate|Commands::SetFrameRate|-1", Commands::SetFrameRateId);
    row("frame range", "Change Active Frame Range|Commands::SetFrameRange|-1", Commands::SetFrameRangeId);
    row("active cell", "Change Active Frame and Layer|Commands::SetActiveFrameAndLayer|-1",
        Commands::SetActiveFrameAndLayerId);
    row("tool", "Change tool type|Commands::ChangeToolType|-1", Commands::ChangeToolTypeId);
}

// The texts go through the translations in QObject's context, with the
// disambiguations and counts the translations were made for.
void TestCommandHistory::texts()
{
    QFETCH(QString, text);
    QFETCH(int, id);
    const QString name = QString::fromUtf8(QTest::currentDataTag());
    if ((name == u"draw" || name == u"erase") && !m_gl)
        QSKIP(TestSupport::NoOpenGL);
    const Case &which = *std::find_if(cases().cbegin(), cases().cend(),
                                      [&name](const Case &c) { return name == QLatin1StringView(c.name); });
    const Setup setup = setUp();
    makeCurrent(*setup.handle, which.current.y(), which.current.x());
    TextRecorder recorder;
    QCoreApplication::installTranslator(&recorder);
    const std::unique_ptr<QUndoCommand> command(
        makeCommand(*setup.handle, name, which.places, which.values, setup.copied.get()));
    QCoreApplication::removeTranslator(&recorder);

    QCOMPARE(command->text(), text);
    QCOMPARE(command->id(), id);
}

void TestCommandHistory::everyCommandUndoesExactly_data()
{
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("window");
    QTest::addColumn<bool>("afterUndo");
    for (const Case &c : cases()) {
        QTest::newRow(c.name) << false << false << false;
        QTest::addRow("%s, linked layers", c.name) << true << false << false;
    }
    for (const char *name : {"discard layer", "merge down", "duplicate layer"})
        QTest::addRow("%s, window", name) << false << true << false;
    for (const char *name : {"frame size", "scene settings", "active cell", "cut", "lift", "stamp", "annotations"})
        QTest::addRow("%s, after an undo", name) << false << false << true;
}

// Redo, undo, redo, undo of one command. After an undo, it is pushed through
// the scene's handle, where it takes the undone step's place and must cost
// no more than with nothing undone: the scene announces the same changes.
void TestCommandHistory::everyCommandUndoesExactly()
{
    QFETCH(bool, linked);
    QFETCH(bool, window);
    QFETCH(bool, afterUndo);
    QString name = QString::fromUtf8(QTest::currentDataTag());
    name = name.section(u',', 0, 0);
    if ((name == u"draw" || name == u"erase") && !m_gl)
        QSKIP(TestSupport::NoOpenGL);
    const QList<Case> all = cases() + groups();
    const Case &which = *std::find_if(all.cbegin(), all.cend(),
                                      [&name](const Case &c) { return name == QLatin1StringView(c.name); });
    const Setup setup = setUp(linked, window ? &m_window : nullptr);
    Model::KLScene &handle = *setup.handle;
    // The tool is the application's: each push after an undo starts from the
    // row's again, a lift from a drawing tool.
    const auto prepare = [&](Model::KLScene &scene) {
        if (name == u"floating placement" || name == u"stamp")
            scene.setFloatingSelection(lifted(*scene.scene(), u'q'));
        if (name == u"lift")
            Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::Pen);
        makeCurrent(scene, which.current.y(), which.current.x());
    };
    prepare(handle);
    QUndoStack *stack = handle.scene()->undoStack();
    const QByteArray before = record(handle);

    if (afterUndo) {
        const Setup alone = setUp();
        const auto pushTo = [&](Model::KLScene &scene, const QMimeData *copied) {
            Model::KLScene::setCurrent(&scene);
            prepare(scene);
            return announcements(*scene.scene(), [&] { push(scene, which, copied); });
        };
        const QMap<QByteArray, int> expected = pushTo(*alone.handle, alone.copied.get());
        stack->push(new Commands::ChangeLayerColor(handle.scene(), 0, Qt::darkCyan));
        stack->undo();
        QCOMPARE(pushTo(handle, setup.copied.get()), expected);
        Model::KLScene::setCurrent(nullptr);
    } else {
        stack->push(makeCommand(handle, name, which.places, which.values, setup.copied.get()));
    }
    QCOMPARE(stack->count(), 1);
    QVERIFY(record(handle) != before);
    QCOMPARE(CellTest::linkFault(*handle.scene()), QString());
    const QByteArray done = record(handle);

    for (int round = 0; round < 2; ++round) {
        stack->undo();
        QCOMPARE(record(handle), before);
        stack->redo();
        QCOMPARE(record(handle), done);
        QCOMPARE(stack->count(), 1);
    }
}

void TestCommandHistory::randomHistories_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("window");
    QTest::addColumn<bool>("afterUndos");
    for (quint32 seed = 1; seed <= 40; ++seed)
        QTest::addRow("seed %u", seed) << seed << (seed % 2 == 1) << false << false;
    QTest::newRow("seed 12, window") << 12u << false << true << false;
    QTest::newRow("seed 41, after undos") << 41u << false << false << true;
    QTest::newRow("seed 4, window") << 4u << false << true << false;
    for (quint32 seed : {2u, 108u, 240u})
        QTest::addRow("seed %u, after undos", seed) << seed << false << false << true;
}

// Random runs of these commands pushed through the scene's handle, each on
// random cells of the kind of layer it works on. Each push is undone and
// redone at once, and its record kept; then the whole history is undone,
// one step at a time, each step giving back exactly the record before it,
// and redone, each step giving exactly the record of its first redo again.
// After undos, half the commands find the last step undone: one that
// changes nothing leaves it to be redone.
void TestCommandHistory::randomHistories()
{
    QFETCH(quint32, seed);
    QFETCH(bool, linked);
    QFETCH(bool, window);
    QFETCH(bool, afterUndos);

    const Setup setup = setUp(linked, window ? &m_window : nullptr);
    Model::KLScene &handle = *setup.handle;
    Model::KLScene::setCurrent(&handle);
    Model::Scene *scene = handle.scene();
    QUndoStack *stack = scene->undoStack();
    QRandomGenerator random(seed);
    const auto pick = [&random](int lowest, int highest) {
        return highest <= lowest ? lowest : random.bounded(lowest, highest + 1);
    };
    // A few frames of a layer, one of them sometimes the row after its cells.
    const auto somePlaces = [&](int layer, int count) {
        Places places;
        const int frames = std::max(1, scene->layerFrameCount(layer));
        const int first = pick(1, frames);
        for (int i = 0; i < count; ++i)
            places.append(QPoint(layer, std::min(first + i, frames + 1)));
        return places;
    };

    // A state as a failure message shows it.
    const auto dump = [scene] {
        QStringList layers;
        for (int layer = 0; layer < scene->layerCount(); ++layer) {
            layers.append(QStringLiteral("%1 '%2' %3%4 %5 %6 %7")
                              .arg(scene->layerType(layer))
                              .arg(scene->layerName(layer))
                              .arg(scene->isLayerLinked(layer) ? QStringLiteral("L") : QStringLiteral("-"))
                              .arg(scene->isLayerVisible(layer) ? QStringLiteral("V") : QStringLiteral("-"))
                              .arg(scene->layerOpacity(layer))
                              .arg(scene->layerBeyondLast(layer))
                              .arg(scene->layerColor(layer).name()));
        }
        return QStringLiteral("range %1-%2, active %3/%4, maximum %5, %6x%7 at %8, sound %9\n")
                   .arg(scene->frameRangeFirst())
                   .arg(scene->frameRangeLast())
                   .arg(scene->activeFrame())
                   .arg(scene->activeLayerIdx())
                   .arg(scene->maximumFrameNumber())
                   .arg(scene->frameWidth())
                   .arg(scene->frameHeight())
                   .arg(scene->frameRate())
                   .arg(scene->audioOffset())
            + layers.join(QStringLiteral(" | ")) + u'\n' + SceneRecord::Describer().describe(*scene) + u'\n'
            + CellTest::describe(*scene);
    };
    // The record of each state of the history, index by index.
    struct State
    {
        QByteArray record;
        QString shown;
        QString step;
    };
    QList<State> states{{record(handle), dump(), QStringLiteral("start")}};
    const auto expect = [&](int index, const QString &what) {
        if (record(handle) == states.at(index).record)
            return true;
        qWarning().noquote() << what << "\nexpected:\n" << states.at(index).shown << "\nactual:\n" << dump();
        return false;
    };

    for (int i = 0; i < 45; ++i) {
        const Case &which = cases().at(pick(0, int(cases().size()) - 1));
        const QString name = QString::fromUtf8(which.name);
        if ((name == u"draw" || name == u"erase") && !m_gl)
            continue;
        // Undoing a tool change goes back to the last drawing tool on
        // purpose, not to the tool before it.
        if (name == u"tool")
            continue;
        // The kind of layer the command was made for, other places on it.
        int layer = which.places.isEmpty() ? pick(0, 1) : which.places.first().x();
        if (layer < 2)
            layer = pick(0, 1);
        const Places places = which.places.isEmpty() ? Places{} : somePlaces(layer, pick(1, 3));
        QList<int> values = which.values;
        for (int &value : values)
            value = value < 0 ? pick(value, 0) : pick(value == 0 ? 0 : 1, value + 5);
        QStringList where;
        for (const QPoint &place : places)
            where.append(QStringLiteral("%1.%2").arg(place.x()).arg(place.y()));
        QStringList given;
        for (int value : std::as_const(values))
            given.append(QString::number(value));
        const QString step = QStringLiteral("%1 at %2 (%3), active %4/%5")
                                 .arg(name, where.join(u' '), given.join(u' '))
                                 .arg(scene->activeFrame())
                                 .arg(scene->activeLayerIdx());

        int index = stack->index();
        const bool undone = afterUndos && index > 0 && random.bounded(2) == 0;
        if (undone) {
            handle.undo();
            QVERIFY2(expect(--index, step), qPrintable(QStringLiteral("undo before ") + step));
        }
        Model::KLScene::pushCommand(
            static_cast<Model::SceneCommand *>(makeCommand(handle, name, places, values, setup.copied.get())));
        QVERIFY2(CellTest::linkFault(*scene).isEmpty(), qPrintable(step + QStringLiteral(": ") + CellTest::linkFault(*scene)));
        if (undone && stack->canRedo()) {
            QVERIFY2(expect(index, step), qPrintable(QStringLiteral("unpushed ") + step));
            handle.redo();
            continue;
        }
        states.resize(index + 1);
        // What takes the redo away changes the scene.
        const bool changed = !undone || record(handle) != states.at(index).record;
        if (stack->index() == index + 1) {
            QVERIFY2(changed, qPrintable(QStringLiteral("no change by ") + step));
            states.append({record(handle), dump(), step});
            // Straight back and forth, in the state it was made in.
            stack->undo();
            QVERIFY2(expect(index, step), qPrintable(QStringLiteral("undo of ") + step));
            stack->redo();
            QVERIFY2(expect(index + 1, step), qPrintable(QStringLiteral("redo of ") + step));
        } else if (stack->index() == index) {
            // Dropped as obsolete, or merged into a step of its kind before it.
            QVERIFY2(changed, qPrintable(QStringLiteral("redo lost to ") + step));
            if (index > 0 && stack->command(index - 1)->id() != -1)
                states.last() = {record(handle), dump(), states.last().step + QStringLiteral(", ") + step};
            QVERIFY2(expect(index, step), qPrintable(QStringLiteral("obsolete ") + step));
        } else {
            // A merge that took the step before back to where it began.
            QCOMPARE(stack->index(), index - 1);
            states.removeLast();
            QVERIFY2(expect(index - 1, step), qPrintable(step));
        }
    }
    QVERIFY2(stack->index() > (afterUndos ? 7 : 14), qPrintable(QString::number(stack->index())));

    QStringList steps;
    for (const State &state : std::as_const(states))
        steps.append(state.step);
    while (stack->index() > 0) {
        const QString step = states.at(stack->index()).step;
        stack->undo();
        QVERIFY2(expect(stack->index(), step),
                 qPrintable(QStringLiteral("undo of ") + step + QStringLiteral(" in\n") + steps.join(u'\n')));
    }
    while (stack->canRedo()) {
        stack->redo();
        const QString step = states.at(stack->index()).step;
        QVERIFY2(expect(stack->index(), step),
                 qPrintable(QStringLiteral("redo of ") + step + QStringLiteral(" in\n") + steps.join(u'\n')));
    }
}

void TestCommandHistory::conventions()
{
    QVERIFY(Commands::fuzzyEqual(12.0, 12.0 + 1e-12));
    QVERIFY(!Commands::fuzzyEqual(12.0, 12.001));
    QVERIFY(Commands::fuzzyEqual(0.0, 0.0));
    QVERIFY(!Commands::fuzzyEqual(0.0, 1e-30));

    const Setup setup = setUp();
    Model::KLScene &handle = *setup.handle;
    QVERIFY(Commands::isVisualLayerIndex(&handle, cellAt(handle, 1, 0)));
    QVERIFY(Commands::isVisualLayerIndex(&handle, cellAt(handle, 2, 2)));
    QVERIFY(!Commands::isVisualLayerIndex(&handle, cellAt(handle, 1, 3)));
    QVERIFY(!Commands::isVisualLayerIndex(&handle, QModelIndex()));
    QVERIFY(!Commands::isVisualLayerIndex(nullptr, cellAt(handle, 1, 0)));

    // The obsolete rule: without a scene nothing is kept, and the stack
    // drops the command without running it.
    QUndoStack stack;
    stack.push(new Commands::AddBlankDrawing(nullptr, cellAt(handle, 1, 0)));
    stack.push(new Commands::ClearDrawingMakingBlank(nullptr, QModelIndexList{cellAt(handle, 1, 0)}));
    stack.push(new Commands::CloneEachSelectedDrawingOnce(nullptr, QModelIndexList{cellAt(handle, 1, 0)}));
    stack.push(new Commands::DiscardCloneDrawings(nullptr, 2));
    stack.push(new Commands::SlideOriginalDrawing(nullptr, 1, 0, 1));
    stack.push(new Commands::MarkAsKeyDrawing(nullptr, true));
    stack.push(new Commands::UnmarkAllKeyDrawings(nullptr));
    stack.push(new Commands::PasteImage(nullptr, cellAt(handle, 1, 2), picture(4, 4, 0)));
    stack.push(new Commands::CutPath(nullptr, cellAt(handle, 1, 0), rectangle(QRectF(0, 0, 5, 5))));
    stack.push(new Commands::CollapseVectorData(nullptr, cellAt(handle, 1, 0)));
    stack.push(new Commands::OffPegs(nullptr, QTransform::fromTranslate(1, 1)));
    stack.push(new Commands::AddAnnotation(nullptr, cellAt(handle, 1, 3), picture(4, 4, 0)));
    // Nothing to add, or nowhere to add it.
    stack.push(new Commands::Stroke(nullptr, cellAt(handle, 1, 0), CellTest::inkStroke(u'z')));
    stack.push(new Commands::Stroke(&handle, cellAt(handle, 1, 0), std::unique_ptr<Model::SingleStroke>()));
    stack.push(new Commands::Stroke(&handle, QModelIndex(), CellTest::inkStroke(u'z')));
    // The layer, import and scene commands without a scene or a model.
    stack.push(new Commands::NewLayer(nullptr, Model::Layer::StrokeLayerType));
    stack.push(new Commands::DuplicateLayer(nullptr, 0));
    stack.push(new Commands::DiscardLayer(nullptr, 0));
    stack.push(new Commands::MergeLayerDown(nullptr, 0));
    stack.push(new Commands::MoveLayer(nullptr, 0, 0, 1));
    stack.push(new Commands::RenameLayer(nullptr, 0, QStringLiteral("name")));
    stack.push(new Commands::SetLayerVisible(nullptr, 0, false));
    stack.push(new Commands::SetAllLayersLinked(nullptr, true));
    stack.push(new Commands::SetLayerBeyondLast(nullptr, 0, 2));
    stack.push(new Commands::ChangeLayerColor(nullptr, 0, Qt::red));
    stack.push(new Commands::ChangeLayerOpacity(nullptr, 0, 1.0, 0.5));
    stack.push(new Commands::ImportNewReferenceLayer(nullptr, ImportFiles::instance().frames({1})));
    stack.push(new Commands::ImportNewAudioLayer(nullptr, ImportFiles::instance().path(QStringLiteral("tone.wav"))));
    stack.push(new Commands::SetAudioOffset(nullptr, 2.0));
    stack.push(new Commands::ChangeSceneSettings(nullptr, QSize(20, 20), KL::FitMode::FitModeStretch, 24.0));
    stack.push(new Commands::SetFrameRange(nullptr, 1, 2, 1, 0));
    stack.push(new Commands::SetActiveFrameAndLayer(nullptr, 2, 0, 2));
    stack.push(new Commands::ChangeToolType(nullptr, 1));
    // Nothing to make.
    stack.push(new Commands::NewLayer(handle.scene(), Model::Layer::DrawLayerType));
    stack.push(new Commands::DiscardLayer(handle.scene(), 3));
    stack.push(new Commands::ImportNewReferenceLayer(handle.scene(), {}));
    stack.push(new Commands::ImportNewAudioLayer(handle.scene(), QString()));
    QCOMPARE(stack.count(), 0);
}

QTEST_MAIN(TestCommandHistory)
#include "tst_commandhistory.moc"
