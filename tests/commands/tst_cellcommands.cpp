#include "clonecommands.h"
#include "commandtesthelpers.h"
#include "drawingcellcommands.h"

#include "render/alphacomposition.h"

#include <QTest>
#include <QUndoStack>

using namespace CommandTest;

// The commands that rearrange cells, on the exposure sheets their users see:
// where blanks, holds and distant clones land, which cell becomes active,
// and that undo gives the sheet back with the range and current cell it had.
class TestCellCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void examples_data();
    void examples();

    void repeatedRedoBringsBackTheSameCells();
    void undoGivesBackTheRangeAndCellOfConstruction_data();
    void undoGivesBackTheRangeAndCellOfConstruction();
    void discardKeepsTheCellsAtFrameOneOnRedo();
    void clearedDrawingKeepsItsLaterCopyId();
    void keyMarks();
    void cloneEachNamesTheSelectionToMake();
};

void TestCellCommands::initTestCase()
{
    Model::initAlphaCompositionTables();
}

void TestCellCommands::init()
{
    resetPreferences();
}

// Each row: the layers (ink letters a, b, c... on the originals, layer by
// layer), the command with its cells on one layer and the current cell, and
// the sheet and active frame after it ("obsolete" for a command that could
// change nothing). Cells read as kind (O original, C hold, D distant clone)
// and the ink they show.
void TestCellCommands::examples_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QString>("links");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("layer");
    QTest::addColumn<QList<int>>("frames");
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("active");

    const QStringList five{QStringLiteral("XXXXX")};
    QTest::newRow("add a blank after frames 3 to 5") << five << "" << "add blank" << 0 << QList<int>{3, 4, 5} << 4
                                                     << QList<int>{} << "Oa Ob Oc O_ Od O_ Oe O_" << 6;
    QTest::newRow("insert a blank at frames 3 to 5") << five << "" << "insert blank" << 0 << QList<int>{3, 4, 5} << 4
                                                     << QList<int>{} << "Oa Ob O_ Oc O_ Od O_ Oe" << 5;
    QTest::newRow("add a blank after one cell") << five << "" << "add blank (cell)" << 0 << QList<int>{5} << 5
                                                << QList<int>{} << "Oa Ob Oc Od Oe O_" << 6;
    QTest::newRow("insert a blank on the row after the last cell")
        << five << "" << "insert blank (cell)" << 0 << QList<int>{6} << 6 << QList<int>{} << "Oa Ob Oc Od Oe O_"
        << 6;
    QTest::newRow("duplicate a drawing and the one before a hold")
        << QStringList{QStringLiteral("X-X")} << "" << "duplicate" << 0 << QList<int>{1, 3} << 1 << QList<int>{}
        << "Oa Oa Ca Ob Ob" << 2;
    QTest::newRow("clear a drawing and its hold") << QStringList{QStringLiteral("X-X")} << "" << "clear" << 0
                                                  << QList<int>{1} << 1 << QList<int>{} << "O_ C_ Ob" << 1;
    QTest::newRow("clear an original with a distant clone")
        << QStringList{QStringLiteral("XX"), QStringLiteral("XX")} << "1.2>0.1" << "clear (cell)" << 0
        << QList<int>{1} << 1 << QList<int>{} << "O_ Ob | Oc D_" << 1;
    QTest::newRow("lose skips frame 1") << QStringList{QStringLiteral("XXX")} << "" << "lose" << 0
                                        << QList<int>{1, 2, 3} << 1 << QList<int>{} << "Oa Ca Ca" << 1;
    QTest::newRow("lose frame 1 alone") << QStringList{QStringLiteral("XXX")} << "" << "lose (cell)" << 0
                                        << QList<int>{1} << 1 << QList<int>{} << "obsolete" << 1;
    QTest::newRow("turn a hold into an original") << QStringList{QStringLiteral("X-X")} << "" << "turn into original"
                                                  << 0 << QList<int>{2} << 1 << QList<int>{} << "Oa Oa Ob" << 1;
    QTest::newRow("turn a distant clone into an original")
        << QStringList{QStringLiteral("X"), QStringLiteral("X--")} << "1.2>0.1" << "turn into original (cell)" << 1
        << QList<int>{2} << 1 << QList<int>{} << "Oa | Ob Oa Ca" << 1;
    QTest::newRow("turn an original into an original") << five << "" << "turn into original" << 0 << QList<int>{2}
                                                       << 1 << QList<int>{} << "obsolete" << 1;
    QTest::newRow("discard frames 2 to 4") << QStringList{QStringLiteral("XXXXXX")} << "" << "discard" << 0
                                           << QList<int>{2, 3, 4} << 2 << QList<int>{} << "Oa Oe Of" << 2;
    QTest::newRow("discard up to the end of the range")
        << QStringList{QStringLiteral("XXXX")} << "" << "discard" << 0 << QList<int>{2, 3, 4} << 4 << QList<int>{}
        << "Oa" << 2;
    QTest::newRow("discard a drawing before its hold") << QStringList{QStringLiteral("XX-X")} << "" << "discard (cell)"
                                                       << 0 << QList<int>{2} << 2 << QList<int>{} << "Oa Ca Oc" << 2;
    QTest::newRow("discard the row after the last cell") << five << "" << "discard (cell)" << 0 << QList<int>{6}
                                                         << 1 << QList<int>{} << "obsolete" << 1;
    QTest::newRow("discard the holds among frames 2 to 6")
        << QStringList{QStringLiteral("XX--XX")} << "" << "discard clone" << 0 << QList<int>{2, 3, 4, 5, 6} << 2
        << QList<int>{} << "Oa Ob Oc Od" << 4;
    QTest::newRow("discard the holds that end the selection")
        << QStringList{QStringLiteral("XXXX--")} << "" << "discard clone" << 0 << QList<int>{2, 3, 4, 5, 6} << 2
        << QList<int>{} << "Oa Ob Oc Od" << 4;
    QTest::newRow("discard a clone that is an original") << five << "" << "discard clone (cell)" << 0
                                                         << QList<int>{2} << 2 << QList<int>{} << "obsolete" << 2;
    QTest::newRow("add 3 clones after frames 2 and 3")
        << QStringList{QStringLiteral("XXXX")} << "" << "add clones" << 0 << QList<int>{2, 3} << 3 << QList<int>{3}
        << "Oa Ob Cb Cb Cb Oc Cc Cc Cc Od" << 9;
    QTest::newRow("hold the last drawing one frame longer")
        << QStringList{QStringLiteral("XX")} << "" << "add clones (cell)" << 0 << QList<int>{2} << 2 << QList<int>{1}
        << "Oa Ob Cb" << 3;
    QTest::newRow("add no clones") << five << "" << "add clones" << 0 << QList<int>{2} << 2 << QList<int>{0}
                                   << "obsolete" << 2;
    QTest::newRow("clone frames 2 and 5 once") << five << "" << "clone each" << 0 << QList<int>{2, 5} << 5
                                               << QList<int>{} << "Oa Ob Cb Oc Od Oe Ce" << 2;
    QTest::newRow("cycle frames 3 to 5") << QStringList{QStringLiteral("XXX-X")} << "" << "cycle" << 0
                                         << QList<int>{3, 4, 5} << 5 << QList<int>{} << "Oa Ob Oc Cc Od Dc Cc Dd" << 5;
    QTest::newRow("cycle from a distant clone")
        << QStringList{QStringLiteral("X"), QStringLiteral("X-X")} << "1.2>0.1" << "cycle" << 1 << QList<int>{2, 3}
        << 2 << QList<int>{} << "Oa | Ob Da Oc Da Dc" << 3;
    QTest::newRow("discard the 2 holds ending at frame 6")
        << QStringList{QStringLiteral("XXXX--")} << "" << "discard clones" << 0 << QList<int>{} << 6 << QList<int>{2}
        << "Oa Ob Oc Od" << 4;
    QTest::newRow("slide a drawing one frame into its hold")
        << QStringList{QStringLiteral("XX--X")} << "" << "slide" << 0 << QList<int>{} << 2 << QList<int>{1, 0, 1}
        << "Oa Ca Ob Cb Oc" << 3;
    QTest::newRow("slide nowhere") << five << "" << "slide" << 0 << QList<int>{} << 2 << QList<int>{0, 0, 0}
                                   << "obsolete" << 2;
    QTest::newRow("unmark all without key drawings") << five << "" << "unmark all" << 0 << QList<int>{} << 2
                                                     << QList<int>{} << "obsolete" << 2;
}

void TestCellCommands::examples()
{
    QFETCH(QStringList, layers);
    QFETCH(QString, links);
    QFETCH(QString, command);
    QFETCH(int, layer);
    QFETCH(QList<int>, frames);
    QFETCH(int, current);
    QFETCH(QList<int>, values);
    QFETCH(QString, after);
    QFETCH(int, active);

    const auto handle = makeScene(layers, links);
    Model::Scene *scene = handle->scene();
    makeCurrent(*handle, current, layer);
    const QString sheetBefore = describe(*handle);
    const QByteArray before = record(*handle);
    QUndoStack *stack = scene->undoStack();

    stack->push(cellCommand(*handle, command, cellsAt(*handle, frames, layer), values));

    if (after == u"obsolete") {
        QCOMPARE(stack->count(), 0);
        QCOMPARE(record(*handle), before);
        return;
    }
    QCOMPARE(stack->count(), 1);
    QCOMPARE(describe(*handle), after);
    QCOMPARE(scene->activeFrame(), active);
    QCOMPARE(scene->activeLayerIdx(), layer);
    QCOMPARE(CellTest::linkFault(*scene), QString());

    stack->undo();
    QCOMPARE(describe(*handle), sheetBefore);
    QCOMPARE(record(*handle), before);
    QCOMPARE(handle->currentIndex(), cellAt(*handle, current, layer));

    stack->redo();
    QCOMPARE(describe(*handle), after);
    QCOMPARE(scene->activeFrame(), active);
}

// Undo, redo, undo, redo: an inserting command brings back the very cells
// it made the first time, and the range as the first redo left it.
void TestCellCommands::repeatedRedoBringsBackTheSameCells()
{
    const auto handle = makeScene({QStringLiteral("XXXXX")});
    makeCurrent(*handle, 4, 0);
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    stack->push(new Commands::AddBlankDrawing(handle.get(), cellsAt(*handle, {3, 4, 5}, 0)));
    const QByteArray done = record(*handle);
    const QList<int> range{scene->frameRangeFirst(), scene->frameRangeLast()};
    QCOMPARE(range, (QList<int>{1, 8}));

    for (int round = 0; round < 2; ++round) {
        stack->undo();
        stack->redo();
        QCOMPARE(record(*handle), done);
        QCOMPARE((QList<int>{scene->frameRangeFirst(), scene->frameRangeLast()}), range);
    }
}

// Whatever the user did to the range and the active cell since, undo gives
// back those the command was made with.
void TestCellCommands::undoGivesBackTheRangeAndCellOfConstruction_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<int>>("values");
    for (const char *name : {"add blank", "insert blank", "duplicate", "discard", "discard clone", "add clones",
                             "clone each", "cycle"})
        QTest::newRow(name) << QString::fromLatin1(name) << QList<int>{2};
    QTest::newRow("discard clones") << "discard clones" << QList<int>{1};
    QTest::newRow("slide") << "slide" << QList<int>{-1, -1, 0};
}

void TestCellCommands::undoGivesBackTheRangeAndCellOfConstruction()
{
    QFETCH(QString, command);
    QFETCH(QList<int>, values);

    const auto handle = makeScene({QStringLiteral("XX--XXX"), QStringLiteral("XXXXXX")});
    Model::Scene *scene = handle->scene();
    QVERIFY(scene->setFrameRange(2, 6, 4, 0));
    // A slide moves the original it stands on.
    const int frame = command == u"slide" ? 5 : 4;
    makeCurrent(*handle, frame, 0);
    const QList<int> before{scene->frameRangeFirst(), scene->frameRangeLast(), scene->activeFrame(),
                            scene->activeLayerIdx()};
    QCOMPARE(before, (QList<int>{2, 6, frame, 0}));
    scene->undoStack()->push(cellCommand(*handle, command, cellsAt(*handle, {2, 3, 4}, 0), values));
    QCOMPARE(scene->undoStack()->count(), 1);

    scene->setFrameRange(3, 5, 5, 1);
    scene->undoStack()->undo();
    QCOMPARE((QList<int>{scene->frameRangeFirst(), scene->frameRangeLast(), scene->activeFrame(),
                         scene->activeLayerIdx()}),
             before);
    QCOMPARE(handle->currentIndex(), cellAt(*handle, frame, 0));
}

// Discarding the only cell of a layer leaves a new blank there; a redo
// after an undo leaves the same blank cell, not another one.
void TestCellCommands::discardKeepsTheCellsAtFrameOneOnRedo()
{
    const auto handle = makeScene({QStringLiteral("X"), QStringLiteral("XX")});
    QUndoStack *stack = handle->scene()->undoStack();
    stack->push(new Commands::DiscardDrawing(handle.get(), cellAt(*handle, 1, 0)));
    QCOMPARE(describe(*handle), QStringLiteral("O_ | Ob Oc"));
    const QUuid blank = handle->scene()->itemAt(0, 1)->identifier();

    stack->undo();
    QCOMPARE(describe(*handle), QStringLiteral("Oa | Ob Oc"));
    stack->redo();
    QCOMPARE(handle->scene()->itemAt(0, 1)->identifier(), blank);
}

// A blank drawing copied to the clipboard between undo and redo of its
// clearing is, after the redo, still the copied one.
void TestCellCommands::clearedDrawingKeepsItsLaterCopyId()
{
    const auto handle = makeScene({QStringLiteral("XX")});
    QUndoStack *stack = handle->scene()->undoStack();
    const QUuid original = handle->scene()->itemAt(0, 1)->drawing()->createCopyId();
    stack->push(new Commands::ClearDrawingMakingBlank(handle.get(), cellAt(*handle, 1, 0)));
    const QUuid copied = handle->scene()->itemAt(0, 1)->drawing()->createCopyId();

    stack->undo();
    QCOMPARE(handle->scene()->itemAt(0, 1)->drawing()->copyId(), original);
    QCOMPARE(describe(*handle), QStringLiteral("Oa Ob"));
    stack->redo();
    QCOMPARE(handle->scene()->itemAt(0, 1)->drawing()->copyId(), copied);
}

// Marks are set and cleared on the cells they name, wherever the active
// cell went since; a mark already there, or none to clear, is no step.
void TestCellCommands::keyMarks()
{
    const auto handle = makeScene({QStringLiteral("XXX"), QStringLiteral("XX")});
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    makeCurrent(*handle, 2, 0);
    stack->push(new Commands::MarkAsKeyDrawing(scene, true));
    stack->push(new Commands::MarkAsKeyDrawing(scene, true));
    makeCurrent(*handle, 1, 1);
    stack->push(new Commands::MarkAsKeyDrawing(scene, true));
    stack->push(new Commands::UnmarkAllKeyDrawings(scene));
    stack->push(new Commands::UnmarkAllKeyDrawings(scene));
    QCOMPARE(stack->count(), 3);
    QVERIFY(!scene->isKeyDrawing(0, 2) && !scene->isKeyDrawing(1, 1));

    makeCurrent(*handle, 3, 0);
    stack->undo();
    QVERIFY(scene->isKeyDrawing(0, 2) && scene->isKeyDrawing(1, 1));
    stack->undo();
    QVERIFY(scene->isKeyDrawing(0, 2) && !scene->isKeyDrawing(1, 1));
    QCOMPARE(scene->activeFrame(), 3);
}

void TestCellCommands::cloneEachNamesTheSelectionToMake()
{
    const auto handle = makeScene({QStringLiteral("XXXXX")});
    const Commands::CloneEachSelectedDrawingOnce command(handle.get(), cellsAt(*handle, {2, 5, 3}, 0));
    QCOMPARE(command.lastCell(), cellAt(*handle, 2, 0));
    QCOMPARE(command.cellCount(), 3);

    const Commands::CloneEachSelectedDrawingOnce none(handle.get(), QModelIndexList{});
    QVERIFY(none.isObsolete());
    QVERIFY(!none.lastCell().isValid());
    QCOMPARE(none.cellCount(), 0);
}

QTEST_MAIN(TestCellCommands)
#include "tst_cellcommands.moc"
