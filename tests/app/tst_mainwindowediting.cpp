#include "keychord.h"
#include "mainwindow.h"
#include "playbackcontroller.h"
#include "startup.h"

#include "paper/holdkey.h"
#include "paper/paper.h"
#include "timeline/timeline.h"

#include "actions/actionmanager.h"
#include "commands/commandtesthelpers.h"
#include "initialize.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "support/hostileinput.h"
#include "support/scripteddialogs.h"
#include "support/testsupport.h"
#include "support/widgetevents.h"
#include "tools/fixedcursortools.h"
#include "tools/toolmanager.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaEnum>
#include <QMimeData>
#include <QMouseEvent>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTest>
#include <QUndoStack>

#include <memory>

namespace {

using A = KL::Action;
using Type = Model::Tool::Type;

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

QAction *actionNamed(const QString &name)
{
    return Model::ActionManager::instance()->actionByName(name);
}

Model::KLScene *handle()
{
    return Model::KLScene::current();
}

Model::Scene *scene()
{
    return handle() ? handle()->scene() : nullptr;
}

QUndoStack *history()
{
    return scene()->undoStack();
}

QString describe()
{
    return CellTest::describe(*scene());
}

// Selects frames first to last of a layer on the sheet, and tells the
// window as the scene's selection model does.
void selectFrames(MainWindow *window, int first, int last, int layer)
{
    const Model::FrameRangeModel *proxy = handle()->frameRangeModel();
    const QModelIndex from = proxy->mapFromSource(handle()->sceneModel()->index(first - 1, layer));
    const QModelIndex to = proxy->mapFromSource(handle()->sceneModel()->index(last - 1, layer));
    handle()->selectionModel()->select(QItemSelection(from, to), QItemSelectionModel::ClearAndSelect);
    QVERIFY(QMetaObject::invokeMethod(window, "onSelectionChanged"));
}

// Frames of the selection, by the scene model's rows, in row order.
QList<int> selectedFrames()
{
    QList<int> frames;
    const QModelIndexList cells = handle()->selection().indexes();
    for (const QModelIndex &cell : cells)
        frames.append(cell.row() + 1);
    std::sort(frames.begin(), frames.end());
    return frames;
}

// A key event as the X server delivers it: the state holds the modifiers
// from before the key, the key code names the physical key.
bool sendKey(QWidget *widget, QEvent::Type type, int key, Qt::KeyboardModifiers stateBefore, quint32 xKeyCode,
             quint32 xState)
{
    QKeyEvent event(type, key, stateBefore, xKeyCode, 0, xState);
    return QCoreApplication::sendEvent(widget, &event);
}

void mouse(QWidget *widget, QEvent::Type type, QPoint position)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(position), QPointF(widget->mapToGlobal(position)), button, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// At scale 1 a timeline 1059 pixels wide maps the frame range onto its
// upper track from pixel 30 to pixel 1029, 24 pixels down.
constexpr int TimelineWidth = 1059;
constexpr int PlayheadY = 24;

QPoint playheadAt(const UI::Timeline *timeline, int frame)
{
    return {30 + QStyle::sliderPositionFromValue(timeline->rangeLower(), timeline->rangeUpper(), frame, 999),
            PlayheadY};
}

} // namespace

// The main window's editing: every action with and without a scene, the
// cell edits with their end rule and selection forms, the cell clipboard,
// moving through frames and layers, the frame range, the frame rate, the
// tool slots, the spring-loaded keys and the timeline's playhead.
class TestMainWindowEditing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void everyAction_data();
    void everyAction();
    void cellEditsWithoutSelection_data();
    void cellEditsWithoutSelection();
    void cellEditsAtTheRangeStart_data();
    void cellEditsAtTheRangeStart();
    void cellEditsOnSelection_data();
    void cellEditsOnSelection();
    void cloningReselectsTheRun();
    void selectAllDrawings_data();
    void selectAllDrawings();
    void clipboard();
    void cutOnlyWhatWasCopied();
    void keyDrawingMark();

    void rememberedFrame();
    void strokeEndsAtAKeysStep_data();
    void strokeEndsAtAKeysStep();
    void steps_data();
    void steps();
    void frameRange_data();
    void frameRange();
    void rangeKeepsTheActiveFrame();
    void extendingTheSelection_data();
    void extendingTheSelection();

    void frameRateMenu_data();
    void frameRateMenu();
    void customFrameRate_data();
    void customFrameRate();
    void playbackModes();
    void timelineDragAndRelease_data();
    void timelineDragAndRelease();

    void tabletPointerType();
    void toolActionsFollowTheTool();
    void plainControlAlt_data();
    void plainControlAlt();
    void controlAltHoldsOffPegs();
    void shiftScrubs();
    void releasesLetToolsGo_data();
    void releasesLetToolsGo();

private:
    // Makes a scene of stroke layers (commandtesthelpers' patterns: 'X' an
    // original, '-' a hold) current, with an audio and a notes layer after
    // them; frame 1 of layer 0 is active and the history empty.
    Model::KLScene *open(const QStringList &patterns, int frame = 1, int layer = 0);
    // A twin of the scene open() made, for doing by hand what an action does.
    std::unique_ptr<Model::KLScene> twin(const QStringList &patterns, int frame, int layer) const;
    void trigger(A key);

    TestSupport::ScriptedDialogs *m_dialogs = nullptr;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindowEditing::initTestCase()
{
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    Model::Settings::instance()->setShowHowToAnimateOnStartup(false);
    auto dialogs = std::make_unique<TestSupport::ScriptedDialogs>();
    m_dialogs = dialogs.get();
    m_window = std::make_unique<MainWindow>(std::move(dialogs));
}

void TestMainWindowEditing::init()
{
    m_window->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    m_dialogs->asked.clear();
    m_dialogs->runDialog = nullptr;
    Model::ToolManager::instance()->setCurrentTool(Type::Pen);
}

void TestMainWindowEditing::cleanupTestCase()
{
    m_window->setCurrentScene(nullptr);
    m_window.reset();
}

Model::KLScene *TestMainWindowEditing::open(const QStringList &patterns, int frame, int layer)
{
    Model::KLScene *klscene = twin(patterns, frame, layer).release();
    klscene->setParent(m_window.get());
    Model::KLScene *previous = Model::KLScene::current();
    m_window->setCurrentScene(klscene);
    delete previous;
    // Opening leaves the drawing tool current.
    Model::ToolManager::instance()->setCurrentTool(Type::Pen);
    klscene->scene()->undoStack()->clear();
    return klscene;
}

std::unique_ptr<Model::KLScene> TestMainWindowEditing::twin(const QStringList &patterns, int frame, int layer) const
{
    std::unique_ptr<Model::KLScene> klscene = CommandTest::makeScene(patterns);
    Model::Scene *document = klscene->scene();
    document->insertLayer(std::make_shared<Model::AudioLayer>(document), document->layerCount());
    document->insertLayer(std::make_shared<Model::AnnotationLayer>(document), document->layerCount());
    document->setActiveFrameAndLayer(frame, layer, Model::Scene::AllowFrameAfterLast);
    // The sheet stands on the active cell, as after any move.
    const QModelIndex cell = klscene->frameRangeModel()->mapFromSource(klscene->sceneModel()->index(frame - 1, layer));
    klscene->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    return klscene;
}

void TestMainWindowEditing::trigger(A key)
{
    action(key)->trigger();
}

// --- Every action ------------------------------------------------------------

void TestMainWindowEditing::everyAction_data()
{
    QTest::addColumn<QString>("name");
    // The actions that ask the user in a modal dialog (a Windows Ink switch
    // that fails says so), leave the window or the scene, or open a web page.
    const QStringList asking{
        QStringLiteral("NewScene"),          QStringLiteral("OpenScene"),         QStringLiteral("SaveScene"),
        QStringLiteral("SaveSceneAs"),       QStringLiteral("Import"),            QStringLiteral("ImportReferenceLayer"),
        QStringLiteral("ImportAudio"),       QStringLiteral("ExportFrames"),      QStringLiteral("ExportExposureSheet"),
        QStringLiteral("ExportVideo"),       QStringLiteral("SceneSettings"),     QStringLiteral("Quit"),
        QStringLiteral("CustomizeBacklight"), QStringLiteral("Settings"),         QStringLiteral("About"),
        QStringLiteral("ShowHowToAnimate"),  QStringLiteral("CollapseVectorData"), QStringLiteral("CustomizeToolBar"),
        QStringLiteral("CustomizeSpeedDials"), QStringLiteral("FrameRateCustom"), QStringLiteral("FullScreen"),
        QStringLiteral("BasicOverview"),     QStringLiteral("VideoTutorials"),    QStringLiteral("KeyboardShortcuts"),
        QStringLiteral("QuestionsAnswers"),  QStringLiteral("UseWindowsInk")};
    const QMetaEnum keys = QMetaEnum::fromType<KL::Action>();
    for (int i = 0; i < keys.keyCount(); ++i) {
        const QString name = QString::fromLatin1(keys.key(i));
        if (keys.value(i) != int(A::NoAction) && !asking.contains(name))
            QTest::newRow(keys.key(i)) << name;
    }
}

void TestMainWindowEditing::everyAction()
{
    QFETCH(QString, name);
    QAction *entry = actionNamed(name);
    QVERIFY(entry);
    Model::Settings *settings = Model::Settings::instance();

    // Disabled actions are tried all the same: their handlers must cope
    // with whatever state they find.
    const auto use = [entry] {
        const bool enabled = entry->isEnabled();
        entry->setEnabled(true);
        entry->trigger();
        entry->setEnabled(enabled);
        QCoreApplication::processEvents();
    };

    // No scene: nothing happens to any scene, nobody is asked.
    Model::KLScene *previous = handle();
    m_window->setCurrentScene(nullptr);
    delete previous;
    use();
    QVERIFY(!handle());
    QCOMPARE(m_dialogs->kinds(), QStringList());

    // A scene, with and without selected cells.
    for (const bool selecting : {false, true}) {
        open({QStringLiteral("X-X"), QStringLiteral("XX")}, 2);
        if (selecting)
            selectFrames(m_window.get(), 1, 2, 0);
        use();
        QVERIFY(handle());

        // Telling a checkable action the state it already shows edits
        // nothing.
        if (entry->isCheckable()) {
            const int index = history()->index();
            const int count = history()->count();
            Q_EMIT entry->toggled(entry->isChecked());
            QCOMPARE(history()->index(), index);
            QCOMPARE(history()->count(), count);
        }
    }

    // Preferences that some actions change and the other cases rely on.
    settings->setUIScalePercent(100);
    settings->setToolBarPosition(KL::ToolBarPosition::Right);
    settings->setToolBarVisible(true);
    for (const A view : {A::Pan, A::Zoom, A::Rotate, A::OffPegs, A::PlayBackwards, A::PlayStopAndStay})
        action(view)->setChecked(false);
    action(A::PlayLoop)->setChecked(true);
}

// --- Cell edits --------------------------------------------------------------

void TestMainWindowEditing::cellEditsWithoutSelection_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<int>("frame");
    // The command the action should push, by commandtesthelpers' names, and
    // the frame of the cell it should take; none when nothing is to happen.
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("target");

    // Layer 0 is X-X: frame 4 is the empty row after its last cell.
    QTest::newRow("add clone") << A::AddCloneDrawing << 1 << "add clones (cell)" << 1;
    QTest::newRow("add clone, end") << A::AddCloneDrawing << 4 << "add clones (cell)" << 3;
    QTest::newRow("add blank") << A::AddBlankDrawing << 2 << "add blank (cell)" << 2;
    QTest::newRow("add blank, end") << A::AddBlankDrawing << 4 << "add blank (cell)" << 3;
    QTest::newRow("insert blank") << A::InsertBlankDrawing << 2 << "insert blank (cell)" << 2;
    QTest::newRow("insert blank, end") << A::InsertBlankDrawing << 4 << "add blank (cell)" << 3;
    QTest::newRow("turn clone") << A::TurnCloneIntoOriginal << 2 << "turn into original (cell)" << 2;
    QTest::newRow("turn clone, end") << A::TurnCloneIntoOriginal << 4 << "add blank (cell)" << 3;
    QTest::newRow("duplicate") << A::DuplicateDrawing << 1 << "duplicate (cell)" << 1;
    QTest::newRow("duplicate, end") << A::DuplicateDrawing << 4 << "add blank (cell)" << 3;
    QTest::newRow("clear") << A::ClearDrawingMakingBlank << 3 << "clear (cell)" << 3;
    QTest::newRow("clear, end") << A::ClearDrawingMakingBlank << 4 << "add blank (cell)" << 3;
    QTest::newRow("lose") << A::LoseDrawingMakingHold << 3 << "lose (cell)" << 3;
    QTest::newRow("lose, end") << A::LoseDrawingMakingHold << 4 << "add clones (cell)" << 3;
    QTest::newRow("discard") << A::DiscardDrawing << 3 << "discard (cell)" << 3;
    QTest::newRow("discard, end") << A::DiscardDrawing << 4 << "" << 0;
    QTest::newRow("delete clone") << A::DeleteCloneDrawing << 2 << "discard clone (cell)" << 2;
    // One frame up, whatever the current cell holds.
    QTest::newRow("back delete") << A::BackDeleteDrawing << 3 << "discard (cell)" << 2;
    QTest::newRow("back delete, end") << A::BackDeleteDrawing << 4 << "discard (cell)" << 3;
    QTest::newRow("back delete, first frame") << A::BackDeleteDrawing << 1 << "" << 0;
    // The flip back of Return still runs when the edit comes; on the longest
    // layer the edit also shortens the frame range, which ends the flip.
    QTest::newRow("back delete, end, right after Return") << A::BackDeleteDrawing << 4 << "discard (cell)" << 3;
}

void TestMainWindowEditing::cellEditsWithoutSelection()
{
    QFETCH(A, key);
    QFETCH(int, frame);
    QFETCH(QString, command);
    QFETCH(int, target);
    const bool flipping = QByteArray(QTest::currentDataTag()).endsWith("right after Return");
    const QStringList patterns{QStringLiteral("X-X"), flipping ? QStringLiteral("XX") : QStringLiteral("XXXX")};
    open(patterns, frame);
    const QString before = describe();

    // The same scene, edited by hand.
    std::unique_ptr<Model::KLScene> expected = twin(patterns, frame, 0);
    if (!command.isEmpty()) {
        expected->scene()->undoStack()->push(
            CommandTest::cellCommand(*expected, command, {CommandTest::cellAt(*expected, target, 0)}));
        QVERIFY(CellTest::describe(*expected->scene()) != before);
    }

    if (flipping)
        trigger(A::ReturnFlip);
    trigger(key);
    QTRY_VERIFY(!m_window->findChild<PlaybackController *>()->isPlaying());
    QCOMPARE(describe(), CellTest::describe(*expected->scene()));
    QCOMPARE(scene()->activeFrame(), expected->scene()->activeFrame());
    QCOMPARE(history()->count(), command.isEmpty() ? 0 : 1);
    // Undo gives the cells back.
    if (history()->canUndo())
        history()->undo();
    QCOMPARE(describe(), before);
}

void TestMainWindowEditing::cellEditsAtTheRangeStart_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<QString>("command");

    // The layer's last cell lies just before the range, on frame 1.
    QTest::newRow("add clone") << A::AddCloneDrawing << "add clones (cell)";
    QTest::newRow("add blank") << A::AddBlankDrawing << "add blank (cell)";
    QTest::newRow("insert blank") << A::InsertBlankDrawing << "add blank (cell)";
    QTest::newRow("duplicate") << A::DuplicateDrawing << "add blank (cell)";
    QTest::newRow("turn clone") << A::TurnCloneIntoOriginal << "add blank (cell)";
    QTest::newRow("clear") << A::ClearDrawingMakingBlank << "add blank (cell)";
    QTest::newRow("lose") << A::LoseDrawingMakingHold << "add clones (cell)";
}

// The empty row after a layer's last cell is the first row the sheet shows:
// the edit still goes to the last cell, one frame before the range.
void TestMainWindowEditing::cellEditsAtTheRangeStart()
{
    QFETCH(A, key);
    QFETCH(QString, command);
    const QStringList patterns{QStringLiteral("X"), QStringLiteral("XXXX")};
    const auto startRangeAtFrame2 = [](Model::KLScene &klscene) {
        QVERIFY(klscene.scene()->setFrameRange(2, 4, 2, 0));
        klscene.selectionModel()->setCurrentIndex(
            klscene.frameRangeModel()->mapFromSource(CommandTest::cellAt(klscene, 2, 0)),
            QItemSelectionModel::NoUpdate);
        QCOMPARE(klscene.currentIndex(), CommandTest::cellAt(klscene, 2, 0));
    };
    open(patterns, 2);
    startRangeAtFrame2(*handle());
    history()->clear();
    const QString before = describe();

    std::unique_ptr<Model::KLScene> expected = twin(patterns, 2, 0);
    startRangeAtFrame2(*expected);
    expected->scene()->undoStack()->push(
        CommandTest::cellCommand(*expected, command, {CommandTest::cellAt(*expected, 1, 0)}));
    QVERIFY(CellTest::describe(*expected->scene()) != before);

    trigger(key);
    QCOMPARE(describe(), CellTest::describe(*expected->scene()));
    QCOMPARE(history()->count(), 1);
    history()->undo();
    QCOMPARE(describe(), before);
}

void TestMainWindowEditing::cellEditsOnSelection_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("clears");

    QTest::newRow("add clone") << A::AddCloneDrawing << "add clones" << true;
    QTest::newRow("delete clone") << A::DeleteCloneDrawing << "discard clone" << true;
    QTest::newRow("add blank") << A::AddBlankDrawing << "add blank" << true;
    QTest::newRow("insert blank") << A::InsertBlankDrawing << "insert blank" << true;
    QTest::newRow("turn clone") << A::TurnCloneIntoOriginal << "turn into original" << true;
    QTest::newRow("duplicate") << A::DuplicateDrawing << "duplicate" << true;
    QTest::newRow("clear") << A::ClearDrawingMakingBlank << "clear" << false;
    QTest::newRow("lose") << A::LoseDrawingMakingHold << "lose" << false;
    QTest::newRow("discard") << A::DiscardDrawing << "discard" << true;
    QTest::newRow("back delete") << A::BackDeleteDrawing << "discard" << true;
    // Cutting leaves the selection for a paste.
    QTest::newRow("cut") << A::CutDrawing << "discard" << false;
    // The handler leaves the selection; the repeat moves the active cell
    // after the run, and the sheet drops a selection left behind.
    QTest::newRow("cycle") << A::CycleSelectedDrawingsOnce << "cycle" << true;
}

void TestMainWindowEditing::cellEditsOnSelection()
{
    QFETCH(A, key);
    QFETCH(QString, command);
    QFETCH(bool, clears);
    const QStringList patterns{QStringLiteral("XX-XX"), QStringLiteral("XXXXX")};
    open(patterns, 2);
    selectFrames(m_window.get(), 2, 4, 0);
    QCOMPARE(selectedFrames(), (QList<int>{2, 3, 4}));
    QVERIFY(action(A::CycleSelectedDrawingsOnce)->isEnabled());

    std::unique_ptr<Model::KLScene> expected = twin(patterns, 2, 0);
    expected->scene()->undoStack()->push(
        CommandTest::cellCommand(*expected, command, CommandTest::cellsAt(*expected, {2, 3, 4}, 0)));

    trigger(key);
    QCOMPARE(describe(), CellTest::describe(*expected->scene()));
    QCOMPARE(history()->count(), 1);
    QCOMPARE(handle()->hasSelection(), !clears);
}

void TestMainWindowEditing::cloningReselectsTheRun()
{
    open({QStringLiteral("XXXX")}, 1);
    selectFrames(m_window.get(), 2, 4, 0);
    // The registry keeps the action disabled; its handler is there all the
    // same for whatever triggers it.
    QAction *cloneEach = action(A::CloneEachSelectedDrawingOnce);
    Q_EMIT cloneEach->triggered();
    QCOMPARE(describe(), QStringLiteral("Oa Ob Cb Oc Cc Od Cd"));
    // Each of the three drawings with its new hold: six rows.
    QCOMPARE(selectedFrames(), (QList<int>{2, 3, 4, 5, 6, 7}));

    // Without a selection there is nothing to repeat.
    handle()->clearSelection();
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "onSelectionChanged"));
    QVERIFY(!action(A::CycleSelectedDrawingsOnce)->isEnabled());
    Q_EMIT cloneEach->triggered();
    Q_EMIT action(A::CycleSelectedDrawingsOnce)->triggered();
    QCOMPARE(history()->count(), 1);
}

void TestMainWindowEditing::selectAllDrawings_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("rangeLast");
    QTest::addColumn<QList<int>>("frames");

    QTest::newRow("drawing layer") << 0 << 5 << QList<int>{1, 2, 3, 4, 5};
    QTest::newRow("shorter layer") << 1 << 5 << QList<int>{1, 2};
    // No further than the sheet shows.
    QTest::newRow("range before the layer's end") << 0 << 3 << QList<int>{1, 2, 3};
    QTest::newRow("audio layer") << 2 << 5 << QList<int>{};
    QTest::newRow("notes layer") << 3 << 5 << QList<int>{};
}

void TestMainWindowEditing::selectAllDrawings()
{
    QFETCH(int, layer);
    QFETCH(int, rangeLast);
    QFETCH(QList<int>, frames);
    open({QStringLiteral("X-XX-"), QStringLiteral("XX")}, 1);
    scene()->setFrameRange(1, rangeLast, 1, 0);
    const QModelIndex column = handle()->frameRangeModel()->index(0, layer);
    QVERIFY(column.isValid());
    // Standing on another layer's cell makes it the active cell, an undo
    // step of its own; selecting adds none.
    handle()->selectionModel()->setCurrentIndex(column, QItemSelectionModel::NoUpdate);
    const int steps = history()->count();
    trigger(A::SelectAllDrawings);
    QCOMPARE(selectedFrames(), frames);
    QCOMPARE(history()->count(), steps);
}

void TestMainWindowEditing::clipboard()
{
    open({QStringLiteral("XX-"), QStringLiteral("X")}, 1);
    QClipboard *clipboard = QGuiApplication::clipboard();
    QAction *paste = action(A::PasteDrawing);
    const QString singular = QStringLiteral("Paste Drawing");

    // Two cells copied: the paste action offers both.
    selectFrames(m_window.get(), 1, 2, 0);
    trigger(A::CopyDrawing);
    QTRY_VERIFY(clipboard->mimeData()->hasFormat(QString(Model::Scene::CellsMimeType)));
    QTRY_VERIFY(paste->isEnabled());
    QCOMPARE(paste->text(), QStringLiteral("Paste Drawings"));
    QCOMPARE(history()->count(), 0);
    QVERIFY(handle()->hasSelection());

    // Pasted onto the other layer's empty row: a run of cells after its own.
    handle()->clearSelection();
    scene()->setActiveFrameAndLayer(2, 1, Model::Scene::AllowFrameAfterLast);
    trigger(A::PasteDrawing);
    QCOMPARE(history()->count(), 1);
    QCOMPARE(scene()->layerFrameCount(1), 3);

    // A picture from another program goes to a picture layer only; onto a
    // stroke layer the paste command refuses it.
    auto *picture = new QMimeData;
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::green);
    picture->setImageData(image);
    clipboard->setMimeData(picture);
    QTRY_VERIFY(!clipboard->mimeData()->hasFormat(QString(Model::Scene::CellsMimeType)));
    QTRY_VERIFY(!paste->isEnabled());
    QCOMPARE(paste->text(), singular);
    selectFrames(m_window.get(), 1, 1, 0);
    Q_EMIT paste->triggered();
    QVERIFY(!handle()->hasSelection());

    // Cells whose drawing is cut short: the paste is refused, and the user
    // is told why.
    auto *hostile = new QMimeData;
    hostile->setData(Model::Scene::CellsMimeType,
                     HostileInput::clipboardRecord({HostileInput::drawingRecord({HostileInput::CapFrame}).chopped(8)}));
    clipboard->setMimeData(hostile);
    scene()->setActiveFrameAndLayer(1, 0, Model::Scene::AllowFrameAfterLast);
    QTRY_VERIFY(paste->isEnabled());
    const int pasted = history()->count();
    trigger(A::PasteDrawing);
    QCOMPARE(history()->count(), pasted);
    QCOMPARE(m_dialogs->kinds(), QStringList{QStringLiteral("warning")});
    QVERIFY2(m_dialogs->asked.constFirst().text.startsWith(QStringLiteral("The copied cells cannot be pasted: ")),
             qPrintable(m_dialogs->asked.constFirst().text));
    m_dialogs->asked.clear();

    // Nothing pasteable: nothing is pushed, the selection still goes.
    const int count = history()->count();
    clipboard->setText(QStringLiteral("words"));
    QTRY_VERIFY(!clipboard->mimeData()->hasImage());
    selectFrames(m_window.get(), 1, 1, 0);
    Q_EMIT paste->triggered();
    QCOMPARE(history()->count(), count);
    QVERIFY(!handle()->hasSelection());
}

void TestMainWindowEditing::cutOnlyWhatWasCopied()
{
    open({QStringLiteral("X-X")}, 4);
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("kept"));
    QTRY_COMPARE(clipboard->text(), QStringLiteral("kept"));

    // The empty row after the last cell copies nothing, so nothing goes.
    trigger(A::CutDrawing);
    QCOMPARE(history()->count(), 0);
    QCOMPARE(clipboard->text(), QStringLiteral("kept"));

    // A drawing that reached the clipboard leaves the sheet.
    scene()->setActiveFrameAndLayer(1, 0, Model::Scene::AllowFrameAfterLast);
    std::unique_ptr<Model::KLScene> expected = twin({QStringLiteral("X-X")}, 1, 0);
    expected->scene()->undoStack()->push(
        CommandTest::cellCommand(*expected, QStringLiteral("discard (cell)"), {CommandTest::cellAt(*expected, 1, 0)}));
    trigger(A::CutDrawing);
    QTRY_VERIFY(clipboard->mimeData()->hasFormat(QString(Model::Scene::CellsMimeType)));
    QCOMPARE(history()->count(), 1);
    QCOMPARE(describe(), CellTest::describe(*expected->scene()));
}

void TestMainWindowEditing::keyDrawingMark()
{
    open({QStringLiteral("XX")}, 2);
    trigger(A::MarkAsKeyDrawing);
    QVERIFY(scene()->isKeyDrawing(0, 2));
    trigger(A::MarkAsKeyDrawing);
    QVERIFY(!scene()->isKeyDrawing(0, 2));
    trigger(A::MarkAsKeyDrawing);
    scene()->setKeyDrawing(0, 1, true);
    trigger(A::UnmarkAllKeyDrawings);
    QVERIFY(!scene()->isKeyDrawing(0, 1) && !scene()->isKeyDrawing(0, 2));
    QCOMPARE(history()->count(), 4);
}

// --- Frames and layers -------------------------------------------------------

void TestMainWindowEditing::rememberedFrame()
{
    open({QStringLiteral("XXXXXXXX"), QStringLiteral("XX")}, 6);
    const auto toLayer = [this](int layer) {
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), "setActiveLayer", Q_ARG(int, layer)));
    };
    // Down to the short layer and back: the long layer's frame again.
    toLayer(1);
    QCOMPARE(scene()->activeFrame(), 2);
    QCOMPARE(scene()->activeLayerIdx(), 1);
    toLayer(0);
    QCOMPARE(scene()->activeFrame(), 6);
    QCOMPARE(scene()->activeLayerIdx(), 0);

    // Another command in between: the frame is forgotten.
    toLayer(1);
    trigger(A::MarkAsKeyDrawing);
    toLayer(0);
    QCOMPARE(scene()->activeFrame(), 2);

    // Moving to the active cell only takes a shown scrub frame away.
    scene()->setScrubFrame(5);
    const int count = history()->count();
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "setActiveCell", Q_ARG(int, 2), Q_ARG(int, 0),
                                      Q_ARG(bool, false)));
    QCOMPARE(scene()->scrubFrame(), -1);
    QCOMPARE(history()->count(), count);

    // A frame remembered in one scene is nothing to another.
    open({QStringLiteral("XXXXXXXX"), QStringLiteral("XX")}, 6);
    toLayer(1);
    open({QStringLiteral("XXXXXXXX"), QStringLiteral("XXXXXXXX")}, 4);
    toLayer(1);
    QCOMPARE(scene()->activeFrame(), 4);
}

void TestMainWindowEditing::strokeEndsAtAKeysStep_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<int>("activeFrame");

    QTest::newRow("a frame change") << A::StepForward << 2;
    // The clipboard takes the cell with the stroke: a paste gives it back.
    QTest::newRow("cut") << A::CutDrawing << 1;
}

void TestMainWindowEditing::strokeEndsAtAKeysStep()
{
    if (!TestSupport::hasOpenGL())
        QSKIP(TestSupport::NoOpenGL);
    QFETCH(A, key);
    QFETCH(int, activeFrame);
    open({QStringLiteral("XXX")}, 1);
    const auto strokes = [](int frame) {
        const auto drawing = std::dynamic_pointer_cast<Model::StrokeDrawing>(scene()->itemAt(0, frame)->drawing());
        return drawing ? drawing->root().memberCount() : -1;
    };
    const QList<int> before{strokes(1), strokes(2)};
    auto *paper = m_window->findChild<UI::Paper *>();
    const QPointF at = QRectF(paper->rect()).center();
    TestSupport::sendMouse(paper, QEvent::MouseButtonPress, at);
    TestSupport::sendMouseEvent(paper, QEvent::MouseMove, at + QPointF(40, 20), Qt::NoButton, Qt::LeftButton);
    trigger(key);
    TestSupport::sendMouseEvent(paper, QEvent::MouseMove, at + QPointF(60, 10), Qt::NoButton, Qt::LeftButton);
    TestSupport::sendMouse(paper, QEvent::MouseButtonRelease, at + QPointF(60, 10));

    // The stroke is one step in the cell it was drawn in, then the key's;
    // the rest of the drag draws nothing.
    QCOMPARE(history()->count(), 2);
    QCOMPARE(history()->command(0)->text(), QStringLiteral("Draw"));
    QCOMPARE(scene()->activeFrame(), activeFrame);
    QVERIFY(!scene()->hasActiveStroke());
    if (key == A::CutDrawing) {
        QTRY_VERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(QString(Model::Scene::CellsMimeType)));
        trigger(A::PasteDrawing);
    }
    QCOMPARE((QList<int>{strokes(1), strokes(2)}), (QList<int>{before.at(0) + 1, before.at(1)}));
}

void TestMainWindowEditing::steps_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("rangeLast");
    QTest::addColumn<QList<int>>("keyDrawings");
    QTest::addColumn<int>("from");
    QTest::addColumn<A>("key");
    QTest::addColumn<int>("to");

    QTest::newRow("forward") << "XXXX" << 4 << QList<int>{} << 2 << A::StepForward << 3;
    QTest::newRow("forward wraps") << "XXXX" << 4 << QList<int>{} << 4 << A::StepForward << 1;
    QTest::newRow("forward wraps in the range") << "XXXXXX" << 4 << QList<int>{} << 4 << A::StepForward << 1;
    QTest::newRow("back") << "XXXX" << 4 << QList<int>{} << 3 << A::StepBack << 2;
    QTest::newRow("back wraps") << "XXXX" << 4 << QList<int>{} << 1 << A::StepBack << 4;
    QTest::newRow("back from the empty row") << "XXXX" << 4 << QList<int>{} << 5 << A::StepBack << 4;
    // The layer reaches past the range: back from its empty row goes to the
    // range's end, not to the frame above.
    QTest::newRow("back from the empty row past the range")
        << "XXXXXX" << 4 << QList<int>{} << 7 << A::StepBack << 4;
    QTest::newRow("skipping clones") << "X--XX" << 5 << QList<int>{} << 1 << A::StepForwardSkippingLocalClones << 4;
    QTest::newRow("skipping clones back") << "X--XX" << 5 << QList<int>{} << 4
                                          << A::StepBackSkippingLocalClones << 1;
    QTest::newRow("skipping clones wraps")
        << "XX--" << 4 << QList<int>{} << 2 << A::StepForwardSkippingLocalClones << 1;
    // Every other cell holds the first: round to where it started.
    QTest::newRow("only clones") << "X--" << 3 << QList<int>{} << 1 << A::StepForwardSkippingLocalClones << 1;
    QTest::newRow("key forward") << "XXXXX" << 5 << QList<int>{2, 4} << 2 << A::SkipForwardToKeyDrawing << 4;
    QTest::newRow("key forward wraps") << "XXXXX" << 5 << QList<int>{2, 4} << 4 << A::SkipForwardToKeyDrawing << 2;
    QTest::newRow("key back wraps") << "XXXXX" << 5 << QList<int>{4} << 3 << A::SkipBackToKeyDrawing << 4;
    QTest::newRow("no key drawing") << "XXXXX" << 5 << QList<int>{} << 3 << A::SkipBackToKeyDrawing << 3;
    QTest::newRow("jump to start") << "XXXXX" << 5 << QList<int>{} << 4 << A::JumpToStart << 1;
    QTest::newRow("jump to end") << "XXXXX" << 3 << QList<int>{} << 2 << A::JumpToEnd << 6;
}

void TestMainWindowEditing::steps()
{
    QFETCH(QString, pattern);
    QFETCH(int, rangeLast);
    QFETCH(QList<int>, keyDrawings);
    QFETCH(int, from);
    QFETCH(A, key);
    QFETCH(int, to);
    open({pattern}, 1);
    scene()->setFrameRange(1, rangeLast, 1, 0);
    for (const int frame : std::as_const(keyDrawings))
        scene()->setKeyDrawing(0, frame, true);
    scene()->setActiveFrameAndLayer(from, 0, Model::Scene::AllowFrameAfterLast);
    QCOMPARE(scene()->activeFrame(), from);

    trigger(key);
    QCOMPARE(scene()->activeFrame(), to);
    QCOMPARE(scene()->activeLayerIdx(), 0);
    QCOMPARE(history()->count(), to == from ? 0 : 1);
}

void TestMainWindowEditing::frameRange_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // An action by name, or "set a,b" for the setter the timeline calls.
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("newFirst");
    QTest::addColumn<int>("newLast");

    QTest::newRow("start back") << 3 << 6 << "RangeStartStepBack" << 2 << 6;
    QTest::newRow("start forward") << 3 << 6 << "RangeStartStepForward" << 4 << 6;
    QTest::newRow("end back") << 3 << 6 << "RangeEndStepBack" << 3 << 5;
    QTest::newRow("end forward") << 3 << 6 << "RangeEndStepForward" << 3 << 7;
    QTest::newRow("start to first") << 3 << 6 << "RangeStartToFirstFrame" << 1 << 6;
    QTest::newRow("end to last") << 3 << 6 << "RangeEndToLastFrame" << 3 << 10;
    QTest::newRow("start at the first frame") << 1 << 6 << "RangeStartStepBack" << 1 << 6;
    // Two frames stay two frames: either end meeting the other widens back.
    QTest::newRow("start onto the end") << 3 << 4 << "RangeStartStepForward" << 3 << 4;
    QTest::newRow("end onto the start") << 3 << 4 << "RangeEndStepBack" << 3 << 4;
    QTest::newRow("one frame, moved end") << 3 << 6 << "set 5,5" << 4 << 5;
    QTest::newRow("one frame, kept start") << 3 << 6 << "set 3,3" << 3 << 4;
    QTest::newRow("one frame at the start") << 3 << 6 << "set 1,1" << 1 << 2;
    QTest::newRow("clamped") << 3 << 6 << "set -4,40" << 1 << 10;
    QTest::newRow("backwards") << 3 << 6 << "set 6,3" << 3 << 6;
}

void TestMainWindowEditing::frameRange()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, change);
    QFETCH(int, newFirst);
    QFETCH(int, newLast);
    open({QStringLiteral("XXXXXXXXXX")}, 1);
    scene()->setFrameRange(first, last, first, 0);

    if (change.startsWith(QLatin1String("set "))) {
        const QStringList ends = change.mid(4).split(QLatin1Char(','));
        QVERIFY(QMetaObject::invokeMethod(m_window.get(), "setFrameRange", Q_ARG(int, ends[0].toInt()),
                                          Q_ARG(int, ends[1].toInt())));
    } else {
        actionNamed(change)->trigger();
    }
    QCOMPARE(scene()->frameRangeFirst(), newFirst);
    QCOMPARE(scene()->frameRangeLast(), newLast);
    const bool changed = newFirst != first || newLast != last;
    QCOMPARE(history()->count(), changed ? 1 : 0);
}

void TestMainWindowEditing::rangeKeepsTheActiveFrame()
{
    open({QStringLiteral("XXXXXXXXXX")}, 5);
    scene()->setFrameRange(3, 10, 5, 0);
    // The start pushed past the active frame takes it along...
    for (int step = 0; step < 3; ++step)
        trigger(A::RangeStartStepForward);
    QCOMPARE(scene()->frameRangeFirst(), 6);
    QCOMPARE(scene()->activeFrame(), 6);
    // ...and brought back, gives it back where it was: one step to undo.
    for (int step = 0; step < 3; ++step)
        trigger(A::RangeStartStepBack);
    QCOMPARE(scene()->frameRangeFirst(), 3);
    QCOMPARE(scene()->activeFrame(), 5);
    QCOMPARE(history()->count(), 0);

    // The timeline's range handles come the same way.
    auto *timeline = m_window->findChild<UI::Timeline *>(QStringLiteral("timeline"));
    Q_EMIT timeline->rangeChanged(2, 8);
    QCOMPARE(scene()->frameRangeFirst(), 2);
    QCOMPARE(scene()->frameRangeLast(), 8);
    QCOMPARE(history()->count(), 1);
    history()->undo();
    QCOMPARE(scene()->frameRangeFirst(), 3);
    QCOMPARE(scene()->frameRangeLast(), 10);
}

void TestMainWindowEditing::extendingTheSelection_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<int>>("directions");
    QTest::addColumn<QList<int>>("frames");

    QTest::newRow("one cell down") << 3 << QList<int>{} << QList<int>{1} << QList<int>{3, 4};
    QTest::newRow("one cell up") << 3 << QList<int>{} << QList<int>{-1} << QList<int>{2, 3};
    QTest::newRow("down twice") << 3 << QList<int>{} << QList<int>{1, 1} << QList<int>{3, 4, 5};
    // The end the current cell is on moves; the other stays.
    QTest::newRow("down, then back up") << 3 << QList<int>{} << QList<int>{1, 1, -1} << QList<int>{3, 4};
    QTest::newRow("up past the start") << 3 << QList<int>{} << QList<int>{1, -1, -1} << QList<int>{2, 3};
    QTest::newRow("a selection grows") << 2 << QList<int>{2, 3} << QList<int>{-1} << QList<int>{1, 2, 3};
    QTest::newRow("top of the range") << 1 << QList<int>{} << QList<int>{-1} << QList<int>{};
}

void TestMainWindowEditing::extendingTheSelection()
{
    QFETCH(int, from);
    QFETCH(QList<int>, selected);
    QFETCH(QList<int>, directions);
    QFETCH(QList<int>, frames);
    open({QStringLiteral("XXXXXX")}, from);
    if (!selected.isEmpty())
        selectFrames(m_window.get(), selected.first(), selected.last(), 0);
    const QList<QShortcut *> shortcuts = m_window->findChildren<QShortcut *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(shortcuts.size(), 2);
    QCOMPARE(shortcuts.at(0)->key(), QKeySequence(QStringLiteral("Shift+Left")));
    for (const int direction : std::as_const(directions))
        Q_EMIT shortcuts.at(direction < 0 ? 0 : 1)->activated();
    QCOMPARE(selectedFrames(), frames);
    // The current cell, and so the active frame, is the end that moved.
    if (!frames.isEmpty())
        QVERIFY(scene()->activeFrame() == frames.first() || scene()->activeFrame() == frames.last());
}

// --- Frame rate and playback -------------------------------------------------

void TestMainWindowEditing::frameRateMenu_data()
{
    QTest::addColumn<double>("fps");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("customText");

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("12") << 12.0 << english << "FrameRate12" << "Custom";
    QTest::newRow("12.5") << 12.5 << english << "FrameRate12_5" << "Custom";
    QTest::newRow("60") << 60.0 << english << "FrameRate60" << "Custom";
    QTest::newRow("23.976") << 23.976 << english << "FrameRateCustom" << "Custom (23.976)";
    QTest::newRow("23.976, comma") << 23.976 << german << "FrameRateCustom" << "Custom (23,976)";
    QTest::newRow("nearly 24") << 24.0 + 1e-9 << english << "FrameRateCustom" << "Custom (24)";
}

void TestMainWindowEditing::frameRateMenu()
{
    QFETCH(double, fps);
    QFETCH(QLocale, locale);
    QFETCH(QString, checked);
    QFETCH(QString, customText);
    m_window->setLocale(locale);
    open({QStringLiteral("XX")}, 1);
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "onActionFrameRate", Q_ARG(double, fps)));
    QCOMPARE(scene()->frameRate(), fps);

    QStringList marked;
    for (const char *name : {"FrameRate06", "FrameRate12", "FrameRate12_5", "FrameRate15", "FrameRate24",
                             "FrameRate25", "FrameRate30", "FrameRate50", "FrameRate60", "FrameRateCustom"}) {
        if (actionNamed(QLatin1String(name))->isChecked())
            marked << QLatin1String(name);
    }
    QCOMPARE(marked, QStringList{checked});
    QCOMPARE(action(A::FrameRateCustom)->text(), customText);

    // The preset actions set their rates, one undo step each.
    history()->clear();
    trigger(A::FrameRate25);
    QCOMPARE(scene()->frameRate(), 25.0);
    QVERIFY(action(A::FrameRate25)->isChecked());
    QCOMPARE(action(A::FrameRateCustom)->text(), QStringLiteral("Custom"));
    history()->undo();
    QCOMPARE(scene()->frameRate(), fps);
}

void TestMainWindowEditing::customFrameRate_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("rate");

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("23.976") << english << "23.976" << true << 23.976;
    QTest::newRow("24,5 with a decimal comma") << german << "24,5" << true << 24.5;
    // The point, typed where the comma is the decimal sign, still reads.
    QTest::newRow("24.5 with a decimal comma") << german << "24.5" << true << 24.5;
    QTest::newRow("24.500 with a decimal comma") << german << "24.500" << true << 24.5;
    QTest::newRow("cancelled") << english << "30" << false << 12.0;
    QTest::newRow("unchanged") << english << "12" << true << 12.0;
    // Rates no playback can have, and words, change nothing.
    QTest::newRow("zero") << english << "0" << true << 12.0;
    QTest::newRow("too fast") << english << "75" << true << 12.0;
    QTest::newRow("words") << english << "fast" << true << 12.0;
    QTest::newRow("empty") << english << "" << true << 12.0;
}

void TestMainWindowEditing::customFrameRate()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(double, rate);
    m_window->setLocale(locale);
    open({QStringLiteral("XX")}, 1);
    scene()->setFrameRate(12.0);
    QString shown;
    m_dialogs->runDialog = [&](QDialog *dialog) {
        auto *field = dialog->findChild<QLineEdit *>();
        shown = field->text();
        field->setText(typed);
        return int(accepted ? QDialog::Accepted : QDialog::Rejected);
    };

    trigger(A::FrameRateCustom);
    QCOMPARE(m_dialogs->kinds(), QStringList{QStringLiteral("exec")});
    QCOMPARE(shown, QStringLiteral("12"));
    QCOMPARE(scene()->frameRate(), rate);
    QCOMPARE(m_window->findChild<PlaybackController *>()->frameRate(), rate);
    QCOMPARE(history()->count(), qFuzzyCompare(rate, 12.0) ? 0 : 1);
    // The check mark stays on the scene's rate either way.
    QCOMPARE(action(A::FrameRate12)->isChecked(), qFuzzyCompare(rate, 12.0));
    QCOMPARE(action(A::FrameRateCustom)->isChecked(), !qFuzzyCompare(rate, 12.0));
}

void TestMainWindowEditing::playbackModes()
{
    auto *playback = m_window->findChild<PlaybackController *>();
    // The actions show the clock's modes, exactly one of loop and once.
    const PlaybackController::PlaybackModes modes = playback->playbackModes();
    QCOMPARE(action(A::PlayLoop)->isChecked(), modes.testFlag(PlaybackController::Loop));
    QCOMPARE(action(A::PlayOnce)->isChecked(), !modes.testFlag(PlaybackController::Loop));
    QCOMPARE(action(A::PlayBackwards)->isChecked(), modes.testFlag(PlaybackController::Backwards));
    QCOMPARE(action(A::PlayStopAndStay)->isChecked(), modes.testFlag(PlaybackController::StopAndStay));

    trigger(A::PlayOnce);
    trigger(A::PlayBackwards);
    trigger(A::PlayStopAndStay);
    QCOMPARE(playback->playbackModes(), PlaybackController::Backwards | PlaybackController::StopAndStay);
    trigger(A::PlayLoop);
    trigger(A::PlayBackwards);
    trigger(A::PlayStopAndStay);
    QCOMPARE(playback->playbackModes(), PlaybackController::PlaybackModes(PlaybackController::Loop));

    // Play and stop: the action's wording follows.
    open({QStringLiteral("XXXX")}, 1);
    const QString play = action(A::Play)->text();
    trigger(A::Play);
    QVERIFY(playback->isPlaying());
    QVERIFY(action(A::Play)->text() != play);
    trigger(A::Play);
    QVERIFY(!playback->isPlaying());
    QCOMPARE(action(A::Play)->text(), play);
}

void TestMainWindowEditing::timelineDragAndRelease_data()
{
    QTest::addColumn<bool>("playing");
    QTest::newRow("stopped") << false;
    QTest::newRow("playing") << true;
}

void TestMainWindowEditing::timelineDragAndRelease()
{
    QFETCH(bool, playing);
    open({QStringLiteral("XXXXXXXXXX")}, 3);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *timeline = m_window->findChild<UI::Timeline *>(QStringLiteral("timeline"));
    auto *playback = m_window->findChild<PlaybackController *>();
    // The clock stands still: only the drag moves frames.
    playback->setClock([] { return qint64(0); });
    timeline->resize(TimelineWidth, timeline->height());
    QCOMPARE(timeline->value(), 3);
    if (playing) {
        trigger(A::Play);
        QVERIFY(playback->isPlaying());
    }

    // A click moves the active frame (unless playing).
    mouse(timeline, QEvent::MouseButtonPress, playheadAt(timeline, 7));
    mouse(timeline, QEvent::MouseButtonRelease, playheadAt(timeline, 7));
    QCOMPARE(scene()->activeFrame(), playing ? 3 : 7);
    scene()->setActiveFrameAndLayer(3, 0, Model::Scene::AllowFrameAfterLast);
    const int count = history()->count();

    // A drag scrubs: the sheet shows the frames under the playhead.
    mouse(timeline, QEvent::MouseButtonPress, playheadAt(timeline, 3));
    for (const int frame : {5, 6, 7, 8, 9}) {
        mouse(timeline, QEvent::MouseMove, playheadAt(timeline, frame));
        QCOMPARE(scene()->scrubFrame(), frame);
        QVERIFY(scene()->isScrubbing());
    }
    mouse(timeline, QEvent::MouseButtonRelease, playheadAt(timeline, 9));
    QVERIFY(!scene()->isScrubbing());
    QCOMPARE(scene()->activeFrame(), 3);
    QCOMPARE(history()->count(), count);
    if (playing) {
        // Playback goes on from the released frame.
        QVERIFY(playback->isPlaying());
        QCOMPARE(scene()->scrubFrame(), 9);
        trigger(A::Play);
    } else {
        QCOMPARE(scene()->scrubFrame(), -1);
        QCOMPARE(timeline->value(), 3);
    }
    playback->setClock({});
    m_window->hide();
}

// --- Tools and keys ----------------------------------------------------------

void TestMainWindowEditing::tabletPointerType()
{
    using Pointer = QPointingDevice::PointerType;
    Model::ToolManager *tools = Model::ToolManager::instance();
    open({QStringLiteral("X")}, 1);
    const auto bring = [this](Pointer end) { m_window->setTabletPointerType(end); };

    // Whatever came before, the pen end leaves the pen as it is.
    bring(Pointer::Pen);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    // The eraser end erases while drawing...
    bring(Pointer::Eraser);
    QCOMPARE(tools->currentToolType(), Type::Eraser);
    // ...and the same end again is nothing new.
    tools->setCurrentTool(Type::Pen);
    bring(Pointer::Eraser);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    // The pen end after the eraser draws again.
    tools->setCurrentTool(Type::Eraser);
    bring(Pointer::Pen);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    // A pen end after some other pointer changes nothing.
    bring(Pointer::Cursor);
    tools->setCurrentTool(Type::Eraser);
    bring(Pointer::Pen);
    QCOMPARE(tools->currentToolType(), Type::Eraser);

    // With a view tool in use only the next drawing tool's side changes.
    tools->setCurrentTool(Type::Hand);
    bring(Pointer::Eraser);
    QCOMPARE(tools->currentToolType(), Type::Hand);
    QCOMPARE(tools->lastDrawingToolType(), Type::Eraser);
    bring(Pointer::Pen);
    QCOMPARE(tools->currentToolType(), Type::Hand);
    QCOMPARE(tools->lastDrawingToolType(), Type::Pen);
}

void TestMainWindowEditing::toolActionsFollowTheTool()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    open({QStringLiteral("XX")}, 1);
    tools->setCurrentTool(Type::Eraser);
    tools->setCurrentTool(Type::Pen);
    QVERIFY(action(A::Draw)->isChecked());
    QVERIFY(!action(A::Erase)->isChecked());

    // A view action lends its tool and gives the drawing tool back.
    action(A::Pan)->setChecked(true);
    QCOMPARE(tools->currentToolType(), Type::Hand);
    QVERIFY(!action(A::Draw)->isChecked());
    action(A::Pan)->setChecked(false);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    QVERIFY(action(A::Draw)->isChecked());

    // The tool's own actions follow a change made elsewhere.
    tools->setCurrentTool(Type::Zoom);
    QVERIFY(action(A::Zoom)->isChecked());
    tools->setCurrentTool(Type::Eraser);
    QVERIFY(!action(A::Zoom)->isChecked());
    QVERIFY(action(A::Erase)->isChecked());

    trigger(A::DrawEraseToggle);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    trigger(A::DrawEraseToggle);
    QCOMPARE(tools->currentToolType(), Type::Eraser);
    trigger(A::Lasso);
    QCOMPARE(tools->currentToolType(), Type::Lasso);
    trigger(A::Draw);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    QVERIFY(!action(A::Lasso)->isChecked());
    QCOMPARE(history()->count(), 0);
}

void TestMainWindowEditing::plainControlAlt_data()
{
    QTest::addColumn<int>("platform");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<uint>("scanCode");
    QTest::addColumn<uint>("nativeModifiers");
    QTest::addColumn<bool>("plain");

    using P = KeyChord::Platform;
    const int controlAlt = int(Qt::ControlModifier | Qt::AltModifier);
    // Windows: the bits of the left and right keys.
    QTest::newRow("windows, both left") << int(P::Windows) << int(Qt::Key_Alt) << controlAlt << 0u << 0x6u << true;
    QTest::newRow("windows, both right") << int(P::Windows) << int(Qt::Key_Control) << controlAlt << 0u << 0x60u
                                         << true;
    // AltGr as Windows reports it: left Control, right Alt.
    QTest::newRow("windows, AltGr") << int(P::Windows) << int(Qt::Key_Alt) << controlAlt << 0u << 0x42u << false;
    QTest::newRow("windows, right Control, left Alt")
        << int(P::Windows) << int(Qt::Key_Control) << controlAlt << 0u << 0x24u << false;
    QTest::newRow("windows, with Shift") << int(P::Windows) << int(Qt::Key_Alt)
                                         << int(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier) << 0u
                                         << 0x7u << false;
    // X11: the key codes of the physical keys; the X state before the key.
    QTest::newRow("x11, left Alt") << int(P::X11) << int(Qt::Key_Alt) << controlAlt << 64u << 0x4u << true;
    QTest::newRow("x11, right Alt") << int(P::X11) << int(Qt::Key_Alt) << controlAlt << 108u << 0x4u << true;
    QTest::newRow("x11, left Control") << int(P::X11) << int(Qt::Key_Control) << controlAlt << 37u << 0x8u << true;
    QTest::newRow("x11, right Control") << int(P::X11) << int(Qt::Key_Control) << controlAlt << 105u << 0x8u
                                        << true;
    QTest::newRow("x11, AltGr key") << int(P::X11) << int(Qt::Key_AltGr) << controlAlt << 108u << 0x4u << false;
    QTest::newRow("x11, level three shift held") << int(P::X11) << int(Qt::Key_Control) << controlAlt << 37u
                                                 << 0x88u << false;
    QTest::newRow("x11, some other key as Alt") << int(P::X11) << int(Qt::Key_Alt) << controlAlt << 66u << 0x4u
                                                << false;
    QTest::newRow("x11, Control only") << int(P::X11) << int(Qt::Key_Control) << int(Qt::ControlModifier) << 37u
                                       << 0x0u << false;
    QTest::newRow("x11, a letter") << int(P::X11) << int(Qt::Key_A) << controlAlt << 38u << 0xcu << false;
    QTest::newRow("other, Control and Alt") << int(P::Other) << int(Qt::Key_Alt) << controlAlt << 0u << 0u << true;
    QTest::newRow("other, from the keypad") << int(P::Other) << int(Qt::Key_Control)
                                            << int(Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier) << 0u
                                            << 0u << true;
}

void TestMainWindowEditing::plainControlAlt()
{
    QFETCH(int, platform);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(uint, scanCode);
    QFETCH(uint, nativeModifiers);
    QFETCH(bool, plain);
    QCOMPARE(KeyChord::isPlainControlAlt(key, Qt::KeyboardModifiers(modifiers), scanCode, nativeModifiers,
                                         KeyChord::Platform(platform)),
             plain);
}

void TestMainWindowEditing::controlAltHoldsOffPegs()
{
    if (KeyChord::currentPlatform() != KeyChord::Platform::X11)
        QSKIP("The key codes and states are those of an X server");
    Model::ToolManager *tools = Model::ToolManager::instance();
    open({QStringLiteral("XX")}, 1);
    QWidget *window = m_window.get();

    // Control held, then Alt: the paper comes off its pegs until either
    // key goes.
    sendKey(window, QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier, 37, 0x0);
    QVERIFY(!action(A::OffPegs)->isChecked());
    sendKey(window, QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier, 64, 0x4);
    QVERIFY(action(A::OffPegs)->isChecked());
    QCOMPARE(tools->currentToolType(), Type::OffPegs);
    sendKey(window, QEvent::KeyRelease, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier, 64, 0xc);
    QVERIFY(!action(A::OffPegs)->isChecked());
    QCOMPARE(tools->currentToolType(), Type::Pen);

    sendKey(window, QEvent::KeyPress, Qt::Key_Alt, Qt::ControlModifier, 64, 0x4);
    QVERIFY(action(A::OffPegs)->isChecked());
    sendKey(window, QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier | Qt::AltModifier, 37, 0xc);
    QVERIFY(!action(A::OffPegs)->isChecked());

    // AltGr with Control does not.
    sendKey(window, QEvent::KeyPress, Qt::Key_AltGr, Qt::ControlModifier, 108, 0x4);
    QVERIFY(!action(A::OffPegs)->isChecked());
    QCOMPARE(tools->currentToolType(), Type::Pen);
    QCOMPARE(history()->count(), 0);
}

void TestMainWindowEditing::shiftScrubs()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    open({QStringLiteral("XXXXXXX")}, 3);
    QWidget *window = m_window.get();
    auto *paper = m_window->findChild<UI::Paper *>();
    const auto drag = [paper](QPointF to) {
        TestSupport::sendMouseEvent(paper, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    };

    // Shift held and the pen dragged: a frame for every 16 pixels, kept
    // within the range.
    sendKey(window, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 50, 0x0);
    QCOMPARE(tools->currentToolType(), Type::Scrubbing);
    TestSupport::sendMouse(paper, QEvent::MouseButtonPress, QPointF(100, 100));
    QVERIFY(scene()->isScrubbing());
    QCOMPARE(scene()->scrubFrame(), 3);
    drag(QPointF(132, 100));
    QCOMPARE(scene()->scrubFrame(), 5);
    drag(QPointF(196, 100));
    QCOMPARE(scene()->scrubFrame(), 7);
    // Let go of Shift with the pen still down: the scrubbed frame it is.
    sendKey(window, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 50, 0x1);
    TestSupport::sendMouse(paper, QEvent::MouseButtonRelease, QPointF(196, 100));
    QCOMPARE(tools->currentToolType(), Type::Pen);
    QVERIFY(!scene()->isScrubbing());
    QCOMPARE(scene()->activeFrame(), 7);
    QCOMPARE(history()->count(), 1);

    // With the pen up first, the scrub was only a look.
    sendKey(window, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 50, 0x0);
    TestSupport::sendMouse(paper, QEvent::MouseButtonPress, QPointF(100, 100));
    drag(QPointF(20, 100));
    QVERIFY(scene()->scrubFrame() < 7);
    TestSupport::sendMouse(paper, QEvent::MouseButtonRelease, QPointF(20, 100));
    sendKey(window, QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 50, 0x1);
    QCOMPARE(tools->currentToolType(), Type::Pen);
    QCOMPARE(scene()->scrubFrame(), -1);
    QCOMPARE(scene()->activeFrame(), 7);
    QCOMPARE(history()->count(), 1);

    // With the floating selection, Shift stays its own.
    tools->setCurrentTool(Type::FloatingSelection);
    sendKey(window, QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier, 50, 0x0);
    QCOMPARE(tools->currentToolType(), Type::FloatingSelection);
}

void TestMainWindowEditing::releasesLetToolsGo_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<A>("held");
    QTest::addColumn<Type>("tool");
    QTest::newRow("H") << int(Qt::Key_H) << A::Pan << Type::Hand;
    QTest::newRow("R") << int(Qt::Key_R) << A::Rotate << Type::Rotate;
    QTest::newRow("Z") << int(Qt::Key_Z) << A::Zoom << Type::Zoom;
}

void TestMainWindowEditing::releasesLetToolsGo()
{
    QFETCH(int, key);
    QFETCH(A, held);
    QFETCH(Type, tool);
    Model::ToolManager *tools = Model::ToolManager::instance();
    open({QStringLiteral("XX")}, 1);
    action(held)->setChecked(true);
    QCOMPARE(tools->currentToolType(), tool);

    // A repeat is no release; the real one gives the drawing tool back.
    QKeyEvent repeat(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
    QCoreApplication::sendEvent(m_window.get(), &repeat);
    QCOMPARE(tools->currentToolType(), tool);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(m_window.get(), &release);
    QVERIFY(!action(held)->isChecked());
    QCOMPARE(tools->currentToolType(), Type::Pen);
    QVERIFY(UI::holdKeyResolved());
}

QTEST_MAIN(TestMainWindowEditing)

#include "tst_mainwindowediting.moc"
