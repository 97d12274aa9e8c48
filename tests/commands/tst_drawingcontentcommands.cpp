#include "commandtesthelpers.h"
#include "drawingcellcommands.h"
#include "drawingcontentcommands.h"

#include "drawings/strokedrawing.h"
#include "layers/annotationlayer.h"
#include "strokes/singlestroke.h"
#include "support/testsupport.h"
#include "tools/erasertool.h"
#include "tools/pentool.h"

#include <QMap>
#include <QPainterPath>
#include <QPoint>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace CommandTest;

namespace {

// Ink at the place of letter z, which no original of these scenes has.
std::unique_ptr<Model::Stroke> stamp()
{
    return CellTest::inkStroke(u'z');
}

QPainterPath rectangle(const QRectF &rect)
{
    QPainterPath path;
    path.addRect(rect);
    return path;
}

int strokeCount(const Model::KLScene &handle, int frame, int layer)
{
    const auto drawing = std::dynamic_pointer_cast<Model::StrokeDrawing>(handle.scene()->itemAt(layer, frame)->drawing());
    return drawing ? drawing->root().memberCount() : -1;
}

// (layer, frame) pairs as cells.
QModelIndexList cellsOf(const Model::KLScene &handle, const QList<QPoint> &places)
{
    QModelIndexList cells;
    for (const QPoint &place : places)
        cells.append(cellAt(handle, place.y(), place.x()));
    return cells;
}

// A short wave, as a pen draws it.
QList<QPointF> scribble(double x, double y)
{
    QList<QPointF> points;
    for (int i = 0; i < 8; ++i)
        points.append(QPointF(x + 3.0 * i, y + (i % 2 ? 2.0 : -2.0)));
    return points;
}

} // namespace

// Strokes, cuts, collapses, the floating selection, off-pegs transforms and
// annotations as undo steps: what each puts in the drawings, what undo takes
// back (only what redo put there), the copy ids a paste relies on, and what
// the history keeps.
class TestDrawingContentCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void strokeReachesEachDrawingOnce_data();
    void strokeReachesEachDrawingOnce();
    void undoTakesBackOnlyStrokesThatWereAdded_data();
    void undoTakesBackOnlyStrokesThatWereAdded();
    void strokeKeepsCopyIds();
    void historyHoldsNoFrameSizedMask();
    void strokesOfOneGestureDoNotMerge();

    void cuts_data();
    void cuts();
    void cutKeepsCopyIds();
    void cutUndoneBeforeAnEarlierStep();

    void collapse_data();
    void collapse();

    void floatingSelection();
    void floatingSelectionPlacement();
    void offPegsMerges();
    void annotations();

private:
    bool m_gl = false;
};

void TestDrawingContentCommands::initTestCase()
{
    m_gl = TestSupport::startRenderer(QSize(512, 512));
}

void TestDrawingContentCommands::init()
{
    resetPreferences();
}

// Stamping a stroke (ink z) onto selected cells, given as (layer, frame).
void TestDrawingContentCommands::strokeReachesEachDrawingOnce_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QString>("links");
    QTest::addColumn<QList<QPoint>>("selected");
    QTest::addColumn<bool>("clonesLocked");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("strokesOfA");

    QTest::newRow("an original and its holds") << QStringList{QStringLiteral("X--X")} << "" << QList<QPoint>{{0, 1}, {0, 2}, {0, 3}}
                                               << false << "Oaz Caz Caz Ob" << 2;
    QTest::newRow("holds reach their original") << QStringList{QStringLiteral("X--X")} << "" << QList<QPoint>{{0, 3}}
                                                << false << "Oaz Caz Caz Ob" << 2;
    QTest::newRow("a distant clone and its original")
        << QStringList{QStringLiteral("X"), QStringLiteral("X-")} << "1.1>0.1" << QList<QPoint>{{1, 1}, {1, 2}, {0, 1}}
        << false << "Oaz | Daz Caz" << 2;
    QTest::newRow("originals with clones locked") << QStringList{QStringLiteral("X-X")} << ""
                                                  << QList<QPoint>{{0, 1}, {0, 2}, {0, 3}} << true << "Oaz Caz Obz" << 2;
    QTest::newRow("holds only, clones locked") << QStringList{QStringLiteral("X--")} << "" << QList<QPoint>{{0, 2}, {0, 3}}
                                               << true << "obsolete" << 1;
    QTest::newRow("the row after the last cell") << QStringList{QStringLiteral("XX")} << "" << QList<QPoint>{{0, 3}}
                                                 << false << "Oa Ob" << 1;
    QTest::newRow("nothing selected") << QStringList{QStringLiteral("XX")} << "" << QList<QPoint>{} << false
                                      << "obsolete" << 1;
}

void TestDrawingContentCommands::strokeReachesEachDrawingOnce()
{
    QFETCH(QStringList, layers);
    QFETCH(QString, links);
    QFETCH(QList<QPoint>, selected);
    QFETCH(bool, clonesLocked);
    QFETCH(QString, after);
    QFETCH(int, strokesOfA);

    Model::Settings::instance()->setClonesLockedForDrawing(clonesLocked);
    const auto handle = makeScene(layers, links);
    QUndoStack *stack = handle->scene()->undoStack();
    const QByteArray before = record(*handle);
    const QString sheet = describe(*handle);

    stack->push(new Commands::Stroke(handle.get(), cellsOf(*handle, selected), stamp()));

    if (after == u"obsolete") {
        QCOMPARE(stack->count(), 0);
        QCOMPARE(record(*handle), before);
        return;
    }
    QCOMPARE(describe(*handle), after);
    QCOMPARE(strokeCount(*handle, 1, 0), strokesOfA);
    stack->undo();
    QCOMPARE(record(*handle), before);
    stack->redo();
    QCOMPARE(describe(*handle), after);
    stack->undo();
    QCOMPARE(describe(*handle), sheet);
}

// A drawing that refuses the stroke keeps every stroke it had through undo.
void TestDrawingContentCommands::undoTakesBackOnlyStrokesThatWereAdded_data()
{
    QTest::addColumn<QString>("refusal");

    QTest::newRow("hidden layer") << "hidden";
    QTest::newRow("hidden layer among the selected") << "hidden, stamped";
    QTest::newRow("eraser on an empty drawing") << "eraser";
}

void TestDrawingContentCommands::undoTakesBackOnlyStrokesThatWereAdded()
{
    QFETCH(QString, refusal);

    const auto handle = makeScene({QStringLiteral("X"), QStringLiteral("XX")});
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    if (refusal == u"eraser")
        // An empty drawing of its own in layer 1, frame 2.
        scene->itemAt(1, 2)->setDrawing(std::make_shared<Model::StrokeDrawing>(SceneTest::FrameSize));
    const QString sheet = describe(*handle);
    if (refusal == u"hidden") {
        scene->setLayerVisible(1, false);
        stack->push(new Commands::Stroke(handle.get(), cellAt(*handle, 1, 1), stamp()));
    } else if (refusal == u"hidden, stamped") {
        scene->setLayerVisible(1, false);
        stack->push(new Commands::Stroke(handle.get(), cellsOf(*handle, {{0, 1}, {1, 1}}), stamp()));
        QCOMPARE(describe(*handle), QStringLiteral("Oaz | Ob Oc"));
    } else {
        if (!m_gl)
            QSKIP(TestSupport::NoOpenGL);
        const Model::EraserTool eraser(Model::Tool::PenType::RubberEraser);
        stack->push(new Commands::Stroke(handle.get(), cellsOf(*handle, {{1, 2}, {1, 1}}),
                                         TestSupport::liveStroke(SceneTest::FrameSize, eraser, scribble(5, 10))));
        QCOMPARE(strokeCount(*handle, 1, 1), 2);
    }
    // A stroke that no drawing took is no step.
    QCOMPARE(stack->count(), refusal == u"hidden" ? 0 : 1);

    stack->undo();
    QCOMPARE(describe(*handle), sheet);
    QCOMPARE(strokeCount(*handle, 1, 1), 1);
    QCOMPARE(strokeCount(*handle, 1, 0), 1);
    if (refusal == u"eraser")
        QCOMPARE(strokeCount(*handle, 2, 1), 0);
}

// Undo gives the drawing back the copy id it had; a redo gives the edited
// drawing the one it carried when it was undone.
void TestDrawingContentCommands::strokeKeepsCopyIds()
{
    const auto handle = makeScene({QStringLiteral("XX")});
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const auto drawing = scene->itemAt(0, 1)->drawing();
    const QUuid copied = drawing->createCopyId();

    stack->push(new Commands::Stroke(handle.get(), cellAt(*handle, 1, 0), stamp()));
    QVERIFY(drawing->copyId().isNull());
    const QUuid copiedAfter = drawing->createCopyId();
    stack->undo();
    QCOMPARE(drawing->copyId(), copied);
    stack->redo();
    QCOMPARE(drawing->copyId(), copiedAfter);
    QCOMPARE(CellTest::inkOf(drawing.get()), QStringLiteral("az"));
}

// 500 strokes drawn on a full-HD frame: each comes with a mask of the
// frame's size. Once pushed, neither the command nor the drawing holds on to
// it, also after the whole history is undone and redone.
void TestDrawingContentCommands::historyHoldsNoFrameSizedMask()
{
    if (!m_gl)
        QSKIP(TestSupport::NoOpenGL);
    Model::KLScene handle;
    Model::Scene *scene = handle.scene();
    const QSize frame(1920, 1080);
    scene->setFrameSize(frame, KL::FitMode::FitModeStretch);
    scene->insertLayer(std::make_shared<Model::StrokeLayer>(Qt::black, frame, scene), 0);
    QUndoStack *stack = scene->undoStack();
    stack->setUndoLimit(0);
    Model::PenTool pen(Model::Tool::PenType::Pencil);
    pen.setSizeRangeLimits(2.0, 6.0);
    const QModelIndex cell = cellAt(handle, 1, 0);

    const auto image = [scene] {
        return std::static_pointer_cast<Model::StrokeDrawing>(scene->itemAt(0, 1)->drawing())->image().copy();
    };
    QMap<int, QImage> drawnAfter;
    for (int i = 0; i < 500; ++i) {
        auto stroke = TestSupport::liveStroke(frame, pen, scribble(20 + (i * 37) % 1800, 20 + (i * 53) % 1000));
        QImage mask = stroke->image();
        QCOMPARE(mask.size(), frame);
        stack->push(new Commands::Stroke(&handle, cell, std::move(stroke)));
        // The first mask becomes the drawing's image; every later one is
        // composed into it and let go.
        if (i > 0)
            QVERIFY2(mask.isDetached(), qPrintable(QStringLiteral("stroke %1").arg(i)));
        if (i == 1 || i == 250 || i == 498)
            drawnAfter.insert(i + 1, image());
    }
    QCOMPARE(stack->count(), 500);
    QCOMPARE(strokeCount(handle, 1, 0), 500);
    const QImage drawn = image();

    // Undo gives back the very pixels each step had.
    while (stack->index() > 0) {
        stack->undo();
        if (drawnAfter.contains(stack->index()))
            QVERIFY2(image() == drawnAfter.value(stack->index()), qPrintable(QString::number(stack->index())));
    }
    QCOMPARE(strokeCount(handle, 1, 0), 0);
    stack->setIndex(500);
    const auto drawing = std::static_pointer_cast<Model::StrokeDrawing>(scene->itemAt(0, 1)->drawing());
    QCOMPARE(drawing->root().memberCount(), 500);
    for (int i = 0; i < drawing->root().memberCount(); ++i) {
        const auto *single = dynamic_cast<const Model::SingleStroke *>(drawing->root().member(i));
        QVERIFY(single && single->image().isNull());
    }
    // Composed from the masks the history kept, it shows what the drawn
    // masks showed, to the pixel.
    QCOMPARE(drawing->image(), drawn);
}

// Two strokes are two steps back, however fast they follow each other.
void TestDrawingContentCommands::strokesOfOneGestureDoNotMerge()
{
    const auto handle = makeScene({QStringLiteral("X")});
    QUndoStack *stack = handle->scene()->undoStack();
    stack->push(new Commands::Stroke(handle.get(), cellAt(*handle, 1, 0), stamp()));
    stack->push(new Commands::Stroke(handle.get(), cellAt(*handle, 1, 0), CellTest::inkStroke(u'y')));
    QCOMPARE(stack->count(), 2);
    QCOMPARE(stack->command(0)->id(), -1);
    stack->undo();
    QCOMPARE(CellTest::inkOf(handle->scene()->itemAt(0, 1)->drawing().get()), QStringLiteral("az"));
}

// Layer 0 shows a in frames 1 and 2 (a hold), b in frame 3.
void TestDrawingContentCommands::cuts_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<QRectF>("path");
    QTest::addColumn<QString>("after");

    const QRectF aroundA = CellTest::inkRect(u'a').adjusted(-1, -1, 1, 1);
    QTest::newRow("cut a out through its hold") << 2 << aroundA << "O_ C_ Ob";
    QTest::newRow("cut beside the ink") << 1 << QRectF(40, 30, 10, 10) << "unchanged";
    QTest::newRow("cut where b would be") << 1 << QRectF(CellTest::inkRect(u'b')) << "unchanged";
    QTest::newRow("cut with an empty path") << 1 << QRectF() << "unchanged";
}

void TestDrawingContentCommands::cuts()
{
    QFETCH(int, frame);
    QFETCH(QRectF, path);
    QFETCH(QString, after);

    const auto handle = makeScene({QStringLiteral("X-X")});
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const QByteArray before = record(*handle);
    QSignalSpy drawings(scene, &Model::Scene::drawingsChanged);

    stack->push(new Commands::CutPath(handle.get(), cellAt(*handle, frame, 0), path.isNull() ? QPainterPath() : rectangle(path)));

    if (after == u"unchanged") {
        // No step in the history, and not a cell reported as changed.
        QCOMPARE(stack->count(), 0);
        QCOMPARE(drawings.count(), 0);
        QCOMPARE(record(*handle), before);
        return;
    }
    QCOMPARE(stack->count(), 1);
    QCOMPARE(describe(*handle), after);
    QVERIFY(drawings.count() > 0);
    stack->undo();
    QCOMPARE(record(*handle), before);
    stack->redo();
    QCOMPARE(describe(*handle), after);
}

void TestDrawingContentCommands::cutKeepsCopyIds()
{
    const auto handle = makeScene({QStringLiteral("X")});
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const QUuid copied = scene->itemAt(0, 1)->drawing()->createCopyId();
    stack->push(new Commands::CutPath(handle.get(), cellAt(*handle, 1, 0), rectangle(QRectF(0, 0, 64, 48))));
    QVERIFY(scene->itemAt(0, 1)->drawing()->copyId().isNull());
    const QUuid copiedAfter = scene->itemAt(0, 1)->drawing()->createCopyId();

    stack->undo();
    QCOMPARE(scene->itemAt(0, 1)->drawing()->copyId(), copied);
    QCOMPARE(describe(*handle), QStringLiteral("Oa"));
    stack->redo();
    QCOMPARE(scene->itemAt(0, 1)->drawing()->copyId(), copiedAfter);
    QCOMPARE(describe(*handle), QStringLiteral("O_"));
}

// The distant clone of a removed original holds its drawing; a cut there,
// undone, must leave that drawing as the removal's undo expects to find it.
void TestDrawingContentCommands::cutUndoneBeforeAnEarlierStep()
{
    const auto handle = makeScene({QStringLiteral("XX"), QStringLiteral("X")}, QStringLiteral("1.1>0.1"));
    QUndoStack *stack = handle->scene()->undoStack();
    const QByteArray before = record(*handle);
    stack->push(new Commands::DiscardDrawing(handle.get(), cellAt(*handle, 1, 0)));
    QCOMPARE(describe(*handle), QStringLiteral("Ob | Oa"));
    stack->push(new Commands::CutPath(handle.get(), cellAt(*handle, 1, 1), rectangle(QRectF(0, 0, 20, 20))));
    QCOMPARE(describe(*handle), QStringLiteral("Ob | O_"));

    stack->undo();
    QCOMPARE(describe(*handle), QStringLiteral("Ob | Oa"));
    stack->undo();
    QCOMPARE(describe(*handle), QStringLiteral("Oa Ob | Da"));
    QCOMPARE(record(*handle), before);
}

// Layer 0: a with a hold, b; layer 1: a distant clone of b; layer 2: a
// reference layer. The progress object stands for the dialog.
void TestDrawingContentCommands::collapse_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QPoint>("collapsed");

    QTest::newRow("an original") << 0 << 1 << false << QPoint(0, 1);
    QTest::newRow("through a hold") << 0 << 2 << false << QPoint(0, 1);
    QTest::newRow("through a distant clone") << 1 << 1 << false << QPoint(0, 3);
    QTest::newRow("cancelled") << 0 << 1 << true << QPoint(-1, -1);
    QTest::newRow("a reference layer") << 2 << 1 << false << QPoint(-1, -1);
    QTest::newRow("the row after the last cell") << 0 << 4 << false << QPoint(-1, -1);
}

void TestDrawingContentCommands::collapse()
{
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(bool, cancel);
    QFETCH(QPoint, collapsed);

    const auto handle = makeScene({QStringLiteral("X-X"), QStringLiteral("X")}, QStringLiteral("1.1>0.3"));
    Model::Scene *scene = handle->scene();
    scene->insertLayer(SceneTest::referenceLayer(*scene, QStringLiteral("X")), 2);
    QUndoStack *stack = scene->undoStack();
    const QString sheet = describe(*handle);
    const QByteArray before = record(*handle);
    QObject progress;
    progress.setProperty("wasCanceled", cancel);

    stack->push(new Commands::CollapseVectorData(handle.get(), cellAt(*handle, frame, layer), &progress));

    if (collapsed.x() < 0) {
        QCOMPARE(stack->count(), 0);
        QCOMPARE(record(*handle), before);
        return;
    }
    QCOMPARE(stack->count(), 1);
    QCOMPARE(progress.property("labelText").toString(), QStringLiteral("Collapsing current drawing"));
    QVERIFY(progress.property("maximum").toInt() >= 1);
    QCOMPARE(progress.property("value"), progress.property("maximum"));
    // The same ink, now one bitmap stroke, in every cell that shows it.
    QCOMPARE(describe(*handle), sheet);
    QCOMPARE(strokeCount(*handle, collapsed.y(), collapsed.x()), 1);
    const auto result = std::static_pointer_cast<Model::StrokeDrawing>(
        scene->itemAt(collapsed.x(), collapsed.y())->drawing());
    QCOMPARE(result->root().member(0)->type(), Model::Stroke::BitmapStrokeType);
    const QByteArray done = record(*handle);

    stack->undo();
    QCOMPARE(record(*handle), before);
    // Once worked out, the collapse is put back without asking again.
    progress.setProperty("wasCanceled", true);
    stack->redo();
    QCOMPARE(record(*handle), done);
}

void TestDrawingContentCommands::floatingSelection()
{
    const auto handle = makeScene({QStringLiteral("X")});
    QUndoStack *stack = handle->scene()->undoStack();
    auto first = std::make_unique<Model::FloatingSelection>(stamp(), QImage(), 1.0);
    const Model::FloatingSelection *firstSelection = first.get();
    auto second = std::make_unique<Model::FloatingSelection>(CellTest::inkStroke(u'y'), QImage(), 0.5);
    const Model::FloatingSelection *secondSelection = second.get();

    stack->push(new Commands::FloatingSelectionNew(handle.get(), std::move(first)));
    QCOMPARE(handle->floatingSelection(), firstSelection);
    stack->push(new Commands::FloatingSelectionNew(handle.get(), std::move(second)));
    QCOMPARE(handle->floatingSelection(), secondSelection);
    stack->undo();
    QCOMPARE(handle->floatingSelection(), firstSelection);
    stack->undo();
    QCOMPARE(handle->floatingSelection(), nullptr);
    stack->redo();
    stack->redo();
    QCOMPARE(handle->floatingSelection(), secondSelection);
    QCOMPARE(stack->text(0), QStringLiteral("Create floating selection"));
    QVERIFY(Commands::FloatingSelectionNew(nullptr, nullptr).isObsolete());
}

// The placement to go back to is the one in place when the command runs.
void TestDrawingContentCommands::floatingSelectionPlacement()
{
    const auto handle = makeScene({QStringLiteral("X")});
    QUndoStack *stack = handle->scene()->undoStack();
    handle->setFloatingSelection(std::make_unique<Model::FloatingSelection>(stamp(), QImage(), 1.0));
    const auto placement = [](double dx) {
        Model::FloatingSelection::Transform transform;
        transform.third = QTransform::fromTranslate(dx, 0);
        return transform;
    };
    const Model::FloatingSelection::Transform start = handle->floatingSelectionTransform();

    stack->push(new Commands::FloatingSelectionTransform(handle.get(), placement(5)));
    QCOMPARE(handle->floatingSelectionTransform(), placement(5));
    stack->undo();
    QCOMPARE(handle->floatingSelectionTransform(), start);

    handle->setFloatingSelectionTransform(placement(9));
    stack->redo();
    QCOMPARE(handle->floatingSelectionTransform(), placement(5));
    stack->undo();
    QCOMPARE(handle->floatingSelectionTransform(), placement(9));
}

void TestDrawingContentCommands::offPegsMerges()
{
    const auto handle = makeScene({QStringLiteral("XX"), QStringLiteral("XX")});
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    makeCurrent(*handle, 2, 1);
    const QTransform moved = QTransform::fromTranslate(4, 2);

    // On the pegs already.
    stack->push(new Commands::OffPegs(scene, QTransform()));
    QCOMPARE(stack->count(), 0);

    stack->push(new Commands::OffPegs(scene, moved));
    QCOMPARE(stack->text(0), QStringLiteral("Take Frame Off the Pegs"));
    QCOMPARE(scene->itemAt(1, 2)->offPegsTransform(), moved);
    stack->push(new Commands::OffPegs(scene, moved * QTransform::fromTranslate(1, 1)));
    QCOMPARE(stack->count(), 1);
    QCOMPARE(scene->offPegsTransform(2), moved * QTransform::fromTranslate(1, 1));
    stack->undo();
    QCOMPARE(scene->offPegsTransform(2), QTransform());
    stack->redo();

    // Back on the pegs in the same run: nothing is left to undo.
    stack->push(new Commands::OffPegs(scene, QTransform()));
    QCOMPARE(stack->count(), 0);
    QCOMPARE(scene->offPegsTransform(2), QTransform());

    // Another frame is another step.
    stack->push(new Commands::OffPegs(scene, moved));
    makeCurrent(*handle, 1, 1);
    stack->push(new Commands::OffPegs(scene, moved));
    QCOMPARE(stack->count(), 2);
    QCOMPARE(scene->offPegsTransform(1), moved);
    QCOMPARE(scene->offPegsTransform(2), moved);

    // Putting a frame back that an earlier step took off is a step of its own.
    stack->clear();
    makeCurrent(*handle, 2, 1);
    stack->push(new Commands::OffPegs(scene, QTransform()));
    QCOMPARE(stack->count(), 1);
    QCOMPARE(stack->text(0), QStringLiteral("Put Frame On the Pegs"));
    QCOMPARE(scene->offPegsTransform(2), QTransform());
    stack->undo();
    QCOMPARE(scene->itemAt(1, 2)->offPegsTransform(), moved);
}

void TestDrawingContentCommands::annotations()
{
    const auto handle = makeScene({QStringLiteral("XX")});
    Model::Scene *scene = handle->scene();
    scene->insertLayer(std::make_shared<Model::AnnotationLayer>(scene), 1);
    QUndoStack *stack = scene->undoStack();
    QImage note = TestSupport::alpha8(QSize(30, 10), 200);

    stack->push(new Commands::AddAnnotation(handle.get(), cellAt(*handle, 2, 1), note));
    QCOMPARE(scene->annotationImage(2), note);
    stack->undo();
    QVERIFY(scene->annotationImage(2).isNull());
    stack->redo();
    QCOMPARE(scene->annotationImage(2), note);

    // Only pictures, and only into the annotation layer.
    stack->push(new Commands::AddAnnotation(handle.get(), cellAt(*handle, 2, 1), QImage()));
    stack->push(new Commands::AddAnnotation(handle.get(), cellAt(*handle, 1, 0), note));
    QCOMPARE(stack->count(), 1);
}

QTEST_MAIN(TestDrawingContentCommands)
#include "tst_drawingcontentcommands.moc"
