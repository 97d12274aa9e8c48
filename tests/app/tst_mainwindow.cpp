#include "application.h"
#include "applicationfont.h"
#include "mainwindow.h"
#include "startup.h"

#include "paper/drawingarea.h"
#include "paper/paper.h"
#include "style/klproxystyle.h"
#include "tools/controlsbar.h"
#include "tools/toolbar.h"
#include "xsheet/detachedxsheet.h"
#include "xsheet/xsheet.h"

#include "actions/actionmanager.h"
#include "initialize.h"
#include "layers/strokelayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "tools/toolmanager.h"

#include "mainwindowtesthelpers.h"
#include "support/scripteddialogs.h"
#include "support/widgetevents.h"

#include <QFileOpenEvent>
#include <QFontDatabase>
#include <QMenuBar>
#include <QMetaEnum>
#include <QPointer>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QTabletEvent>
#include <QTest>
#include <QUndoCommand>
#include <QUndoStack>

#include <cmath>
#include <memory>

namespace {

using namespace MainWindowTest;

// Every action reachable from the menu bar, submenus included.
QList<QAction *> menuBarActions(const QMenuBar *bar)
{
    QList<QAction *> result;
    QList<const QMenu *> menus;
    const QList<QAction *> top = bar->actions();
    for (const QAction *entry : top) {
        if (entry->menu())
            menus << entry->menu();
    }
    while (!menus.isEmpty()) {
        const QMenu *menu = menus.takeFirst();
        const QList<QAction *> entries = menu->actions();
        for (QAction *entry : entries) {
            if (entry->menu())
                menus << entry->menu();
            else if (!entry->isSeparator())
                result << entry;
        }
    }
    return result;
}

QString key(const QAction *action)
{
    return action->property("KLActionName").toString();
}

// Degrees the paper is turned by, from its view transform.
double paperAngle(const UI::Paper *paper)
{
    const QTransform t = paper->widgetToScene();
    return qRadiansToDegrees(std::atan2(t.m12(), t.m11()));
}

QString xSheetSubmenu()
{
    return QStringLiteral("X-Sheet{XSheetTopBar|XSheetOppositeSide|XSheetDetachSeparateWindow|-|SlideMode|"
                          "AddClonesMode|ToggleXSheetDragMode|-|UnlinkAllLayers|LinkAllLayers|-|"
                          "Show Beyond-Last-Drawing Buttons|-|Thumbnail Size{ThumbnailSizeTiny|ThumbnailSizeSmall|"
                          "ThumbnailSizeMedium|ThumbnailSizeLarge|-|ThumbnailSizeSmaller|ThumbnailSizeLarger}|-|"
                          "ImportReferenceLayer|-|ImportAudio|MuteAudio|DiscardAudio}");
}

QString layerEntries()
{
    return QStringLiteral("NewLayer|DuplicateActiveLayer|-|DiscardActiveLayer|-|MergeLayerDown|-|NewPaintLayer|"
                          "NewPaintLayerWithCloneStructure");
}

} // namespace

// The main window as the start-up builds it: the order of start-up, the
// form, the menus and context menus with their actions, the window's own
// zoom and rotation entries, what happens without a scene, the command-line
// file, the questions before a modified scene is replaced and closing.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void firstShowPlacesTheSheet();
    void startUpBeforeTheFirstTurn();
    void formHasItsNames();
    void menuBar_data();
    void menuBar();
    void windowWideActions();
    void contextMenus();
    void ownZoomEntries_data();
    void ownZoomEntries();
    void ownRotationEntries_data();
    void ownRotationEntries();
    void handlersDoNothingWithoutAScene();
    void missingSceneArgument();
    void documentFromTheSystem();
    void modifiedSceneAsksFirst_data();
    void modifiedSceneAsksFirst();
    void titleFollowsTheScene();
    void beyondButtonsEntryReachesThePreference();
    void toolBarStandsOverTheDrawingArea();
    void closing();
    void proximityChoosesTheDrawingSide();
};

void TestMainWindow::initTestCase()
{
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    registerApplicationFont();
    // The tutorial would be the first question of every start.
    Model::Settings::instance()->setShowHowToAnimateOnStartup(false);
}

void TestMainWindow::firstShowPlacesTheSheet()
{
    // The last run left the sheet detached and shown.
    Model::Settings *settings = Model::Settings::instance();
    settings->setMainWindowGeometry(QByteArray(), true, true, true, 0);
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *detached = window->findChild<UI::DetachedXSheet *>();
    QVERIFY(detached);
    const QPointer<UI::XSheet> sheet = window->findChild<UI::XSheet *>();
    QTRY_VERIFY(detached->isVisible());
    QCOMPARE(sheet->window(), detached);
    QVERIFY(Model::ActionManager::instance()->action(KL::Action::XSheetDetachSeparateWindow)->isChecked());
    QVERIFY(Model::ActionManager::instance()->action(KL::Action::XSheetShow)->isChecked());

    // Closing takes the detached window down, but not the sheet inside it:
    // the window's handlers go on finding it.
    QVERIFY(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window->findChild<UI::DetachedXSheet *>());
    QVERIFY(sheet);
    QCOMPARE(sheet->window(), window);
    settings->setTransparencyType(KL::TransparencyType::TransparencyDarkGrey);
    settings->setTransparencyType(KL::TransparencyType::TransparencyWhite);
    QSettings().remove(QStringLiteral("MainWindow"));
    QVERIFY(started.dialogs->asked.isEmpty());
}

void TestMainWindow::startUpBeforeTheFirstTurn()
{
    Started started = startWindow({});
    MainWindow *window = started.window.get();

    // Before the event loop turns: fonts, every action, the bare title, no
    // scene and nobody asked anything.
    QVERIFY(QFontDatabase::families().contains(QStringLiteral("Passion One")));
    const QMetaEnum actions = QMetaEnum::fromType<KL::Action>();
    for (int i = 0; i < actions.keyCount(); ++i) {
        const auto id = KL::Action(actions.value(i));
        if (id == KL::Action::NoAction)
            continue;
        QAction *registered = Model::ActionManager::instance()->action(id);
        QVERIFY2(registered, actions.key(i));
        QCOMPARE(key(registered), QString::fromLatin1(actions.key(i)));
    }
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: "));
    QVERIFY(!Model::KLScene::current());
    QVERIFY(started.dialogs->asked.isEmpty());
    QVERIFY(qobject_cast<UI::KLProxyStyle *>(QApplication::style()));

    // The first turn makes a new scene with the document's own defaults.
    QTRY_VERIFY(Model::KLScene::current());
    const Model::Scene *scene = currentScene();
    QCOMPARE(scene->layerCount(), 3);
    QCOMPARE(scene->layerAt(0)->type(), Model::Layer::StrokeLayerType);
    QCOMPARE(scene->layerAt(1)->type(), Model::Layer::AudioLayerType);
    QCOMPARE(scene->layerAt(2)->type(), Model::Layer::AnnotationLayerType);
    QCOMPARE(scene->activeFrame(), 1);
    QCOMPARE(scene->activeLayerIdx(), 0);
    QCOMPARE(scene->frameSize(), QSize(1920, 1080));
    QCOMPARE(scene->frameRate(), 12.0);
    QVERIFY(scene->undoStack()->isClean());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled [1920x1080] 100%"));
    QVERIFY(started.dialogs->asked.isEmpty());
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().availableSizes().size(), 7);
}

void TestMainWindow::formHasItsNames()
{
    Started started = startWindow({});
    MainWindow *window = started.window.get();
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    auto *central = window->findChild<QWidget *>(QStringLiteral("centralwidget"));
    QVERIFY(central);
    QCOMPARE(window->centralWidget(), central);
    auto *splitter = window->findChild<QSplitter *>(QStringLiteral("splitter"));
    auto *frame = window->findChild<UI::DrawingArea *>(QStringLiteral("frame"));
    auto *paper = window->findChild<UI::Paper *>(QStringLiteral("scrollAreaWidgetContents"));
    auto *timeline = window->findChild<QWidget *>(QStringLiteral("timeline"));
    QVERIFY(splitter && frame && paper && timeline);
    QCOMPARE(window->menuBar()->objectName(), QStringLiteral("menubar"));
    QCOMPARE(frame->paper(), paper);
    QCOMPARE(frame->parentWidget(), splitter);
    QCOMPARE(splitter->handleWidth(), 6);
    QVERIFY(!splitter->childrenCollapsible());
    // The exposure sheet's pane is docked on the left by default.
    QCOMPARE(splitter->count(), 2);
    QVERIFY(splitter->widget(0)->findChild<UI::XSheet *>());
    QCOMPARE(splitter->widget(1), frame);
}

void TestMainWindow::menuBar_data()
{
    QTest::addColumn<QString>("outline");

    QTest::newRow("File") << QStringLiteral(
        "NewScene|OpenScene|Open Recent{}|-|SaveScene|SaveSceneAs|-|AutoSave|-|Import|"
        "Export{ExportFrames|ExportVideo|-|ExportExposureSheet}|-|SceneSettings|-|Quit");
    QTest::newRow("Edit") << QStringLiteral(
        "Undo|Redo|-|AddCloneDrawing|AddBlankDrawing|InsertBlankDrawing|-|TurnCloneIntoOriginal|DuplicateDrawing|-|"
        "CutDrawing|CopyDrawing|PasteDrawing|-|ClearDrawingMakingBlank|LoseDrawingMakingHold|-|DiscardDrawing|"
        "BackDeleteDrawing|-|SelectAllDrawings|-|CycleSelectedDrawingsOnce");
    QTest::newRow("Draw") << QStringLiteral(
        "Draw|Erase|DrawEraseToggle|-|Drawing Tools{Pencil|Marker|Brush|-|ResetDrawingUserSettings}|"
        "Erasing Tools{KneadedEraser|RubberEraser|VinylEraser|-|ResetErasingUserSettings}|-|DrawSettings|"
        "EraseSettings|-|ToggleCursor");
    QTest::newRow("Flip && Play") << QStringLiteral(
        "Play|Playback Mode{PlayLoop|PlayOnce|-|PlayBackwards|-|PlayStopAndStay}|"
        "Playback Rate (Frames Per Second){FrameRate06|FrameRate12|FrameRate12_5|FrameRate15|FrameRate24|"
        "FrameRate25|FrameRate30|FrameRate50|FrameRate60|FrameRateCustom}|-|"
        "Flipping (Use Keyboard){StepBack|StepForward|-|StepBackSkippingLocalClones|StepForwardSkippingLocalClones|-|"
        "SkipBackToKeyDrawing|SkipForwardToKeyDrawing|-|ReturnFlip}|-|JumpToStart|JumpToEnd|-|"
        "Range - Start && End{RangeStartStepBack|RangeStartStepForward|-|RangeEndStepBack|RangeEndStepForward|-|"
        "RangeStartToFirstFrame|RangeEndToLastFrame}|-|MuteAudio|DiscardAudio");
    QTest::newRow("Light Table") << QStringLiteral(
        "BacklightOnOff|CustomizeBacklight|-|Pan|Zoom|Rotate|ZPR|-|ResetView|FitPaperToView|-|"
        "Zoom View{ZoomIn|ZoomOut|-|ViewToX1|X2 (200%)|X4 (400%)|X8 (800%)|X16 (1600%)|-|X1/2 (50%)|X1/4 (25%)|"
        "X1/8 (12.5%)|X1/16 (6.25%)}|"
        "Rotate View{Rotate Clockwise|Rotate Counter-Clockwise|-|North (0°)|North East (45°)|East (90°)|"
        "South East (135°)|South (180°)|South West (225°)|West (270°)|North West (315°)}|-|GridOnOff|"
        "Select Grid Type{GridTypeFieldGuide|GridTypeSafety|GridTypeThirds|GridTypeDiagonals|GridTypeRenaissance|-|"
        "GridTypeNext}|-|MarkAsKeyDrawing|UnmarkAllKeyDrawings|-|OnlyBacklightKeyFrames|-|MirrorView|-|OffPegs");
    QTest::newRow("X-Sheet") << QStringLiteral(
        "XSheetShow|XSheetDetachSeparateWindow|-|AddClonesMode|SlideMode|ToggleXSheetDragMode|-|NewLayer|"
        "DuplicateActiveLayer|-|DiscardActiveLayer|-|Active Layer{LayerAbove|LayerBelow|-|LayerTop|LayerBottom|-|"
        "LayerVisibility|LayerLink|-|What to Display Beyond Last Drawing{ShowNothingBeyond|FreezeLastDrawingBeyond|"
        "CycleDrawingsBeyond|-|ShowBeyondButtons}}|-|MergeLayerDown|-|UnlinkAllLayers|LinkAllLayers|-|"
        "Thumbnail Size{ThumbnailSizeTiny|ThumbnailSizeSmall|ThumbnailSizeMedium|ThumbnailSizeLarge|-|"
        "ThumbnailSizeSmaller|ThumbnailSizeLarger}");
    QTest::newRow("Pick Up") << QStringLiteral(
        "Lasso|Cutter|PickUpAllOfThisDrawing|-|StampFloatingSelection|-|DropFloatingSelection|"
        "GetLatestFloatingSelectionBack");
    QTest::newRow("Window") << QStringLiteral(
        "ReferenceDisplay|-|ToolBar|CustomizeToolBar|-|PrimarySpeedDial|SecondarySpeedDial|CustomizeSpeedDials|-|"
        "FullScreen|Settings");
    QTest::newRow("&Help") << QStringLiteral(
        "ShowHowToAnimate|-|BasicOverview|-|VideoTutorials|-|KeyboardShortcuts|-|QuestionsAnswers|-|About");
}

void TestMainWindow::menuBar()
{
    QFETCH(QString, outline);
    Started started = startWindow({});
    QMenuBar *bar = started.window->menuBar();

    QStringList titles;
    const QList<QAction *> top = bar->actions();
    for (const QAction *entry : top)
        titles << entry->menu()->title();
    QCOMPARE(titles, (QStringList{QStringLiteral("File"), QStringLiteral("Edit"), QStringLiteral("Draw"),
                                  QStringLiteral("Flip && Play"), QStringLiteral("Light Table"),
                                  QStringLiteral("X-Sheet"), QStringLiteral("Pick Up"), QStringLiteral("Window"),
                                  QStringLiteral("&Help")}));

    const QString title = QString::fromUtf8(QTest::currentDataTag());
    QMenu *menu = menuTitled(bar, title);
    QVERIFY(menu);
    QCOMPARE(TestSupport::menuOutline(menu), outline);
    // The recent files are empty, so their submenu is off.
    if (title == QLatin1String("File"))
        QVERIFY(!entryWithText(menu, QStringLiteral("Open Recent"))->isEnabled());
}

void TestMainWindow::windowWideActions()
{
    Started started = startWindow({});
    MainWindow *window = started.window.get();

    QStringList own;
    const QList<QAction *> actions = window->actions();
    for (const QAction *action : actions)
        own << key(action);
    QCOMPARE(own, (QStringList{QStringLiteral("BacklightToggleAB"), QStringLiteral("DecreasePenSize"),
                               QStringLiteral("IncreasePenSize"), QStringLiteral("StampFloatingSelectionKeepFloating"),
                               QStringLiteral("DeleteCloneDrawing")}));

    // Two registry actions are in no menu at all.
    const QList<QAction *> inMenus = menuBarActions(window->menuBar());
    for (const QAction *action : inMenus) {
        QVERIFY(key(action) != QLatin1String("DeleteCloneDrawing"));
        QVERIFY(key(action) != QLatin1String("CloneEachSelectedDrawingOnce"));
    }

    const QList<QShortcut *> shortcuts = window->findChildren<QShortcut *>(QString(), Qt::FindDirectChildrenOnly);
    QStringList keys;
    for (const QShortcut *shortcut : shortcuts) {
        QCOMPARE(shortcut->context(), Qt::WindowShortcut);
        keys << shortcut->key().toString();
    }
    QCOMPARE(keys, (QStringList{QStringLiteral("Shift+Left"), QStringLiteral("Shift+Right")}));
}

void TestMainWindow::contextMenus()
{
    Started started = startWindowWithScene();
    QVERIFY(Model::KLScene::current());
    auto *sheet = started.window->findChild<UI::XSheet *>();
    Model::Scene *scene = currentScene();
    scene->insertLayer(std::make_shared<Model::StrokeLayer>(Qt::darkRed, scene->frameSize(), scene), 1);
    const int menusBefore = started.window->findChildren<QMenu *>().size();

    // A thumbnail: the cell's menu with the layer's and the sheet's.
    const QModelIndex cell = Model::KLScene::current()->sceneModel()->index(0, 0);
    Q_EMIT sheet->rightClickedThumbnail(cell, QPoint(20, 20));
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("menu")});
    QCOMPARE(started.dialogs->asked.last().text,
             QStringLiteral("AddCloneDrawing|AddBlankDrawing|InsertBlankDrawing|-|TurnCloneIntoOriginal|"
                            "DuplicateDrawing|-|CutDrawing|CopyDrawing|PasteDrawing|-|ClearDrawingMakingBlank|"
                            "LoseDrawingMakingHold|-|DiscardDrawing|BackDeleteDrawing|-|SelectAllDrawings|-|"
                            "CycleSelectedDrawingsOnce|-|Layer{")
                 + layerEntries() + QStringLiteral("}|-|") + xSheetSubmenu()
                 + QStringLiteral("|-|MarkAsKeyDrawing|UnmarkAllKeyDrawings|-|OnlyBacklightKeyFrames"));

    // A layer head: that layer becomes active first, then its menu.
    QCOMPARE(scene->activeLayerIdx(), 0);
    Q_EMIT sheet->rightClickedLayer(1, QPoint(20, 20));
    QCOMPARE(scene->activeLayerIdx(), 1);
    QCOMPARE(started.dialogs->asked.last().text, layerEntries() + QStringLiteral("|-|") + xSheetSubmenu());

    // Each menu lives for its click only; the sheet's submenu stays.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(started.window->findChildren<QMenu *>().size(), menusBefore);
}

void TestMainWindow::ownZoomEntries_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<double>("level");
    QTest::newRow("X2") << QStringLiteral("X2 (200%)") << QStringLiteral("Ctrl+2") << 2.0;
    QTest::newRow("X4") << QStringLiteral("X4 (400%)") << QStringLiteral("Ctrl+3") << 4.0;
    QTest::newRow("X8") << QStringLiteral("X8 (800%)") << QStringLiteral("Ctrl+4") << 8.0;
    QTest::newRow("X16") << QStringLiteral("X16 (1600%)") << QStringLiteral("Ctrl+5") << 16.0;
    QTest::newRow("X1/2") << QStringLiteral("X1/2 (50%)") << QStringLiteral("Ctrl+6") << 0.5;
    QTest::newRow("X1/4") << QStringLiteral("X1/4 (25%)") << QStringLiteral("Ctrl+7") << 0.25;
    QTest::newRow("X1/8") << QStringLiteral("X1/8 (12.5%)") << QStringLiteral("Ctrl+8") << 0.125;
    QTest::newRow("X1/16") << QStringLiteral("X1/16 (6.25%)") << QStringLiteral("Ctrl+9") << 0.0625;
}

void TestMainWindow::ownZoomEntries()
{
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(double, level);
    Started started = startWindowWithScene();
    auto *paper = started.window->findChild<UI::Paper *>();
    QAction *entry = entryWithText(menuTitled(started.window->menuBar(), QStringLiteral("Light Table")), text);
    QVERIFY(entry);
    QCOMPARE(entry->shortcut(), QKeySequence(shortcut));
    entry->trigger();
    QCOMPARE(paper->zoomLevel(), level);
    QCOMPARE(started.window->windowTitle(),
             QStringLiteral("Kelvane: Untitled [1920x1080] %1%").arg(qRound(level * 100)));
}

void TestMainWindow::ownRotationEntries_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<double>("angle");
    QTest::newRow("north") << QStringLiteral("North (0°)") << QStringLiteral("Num+8") << 0.0;
    QTest::newRow("north east") << QStringLiteral("North East (45°)") << QStringLiteral("Num+9") << 45.0;
    QTest::newRow("east") << QStringLiteral("East (90°)") << QStringLiteral("Num+6") << 90.0;
    QTest::newRow("south east") << QStringLiteral("South East (135°)") << QStringLiteral("Num+3") << 135.0;
    QTest::newRow("south") << QStringLiteral("South (180°)") << QStringLiteral("Num+2") << 180.0;
    QTest::newRow("south west") << QStringLiteral("South West (225°)") << QStringLiteral("Num+1") << 135.0;
    QTest::newRow("west") << QStringLiteral("West (270°)") << QStringLiteral("Num+4") << 90.0;
    QTest::newRow("north west") << QStringLiteral("North West (315°)") << QStringLiteral("Num+7") << 45.0;
}

void TestMainWindow::ownRotationEntries()
{
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(double, angle);
    Started started = startWindowWithScene();
    auto *paper = started.window->findChild<UI::Paper *>();
    const QMenu *lightTable = menuTitled(started.window->menuBar(), QStringLiteral("Light Table"));
    QAction *entry = entryWithText(lightTable, text);
    QVERIFY(entry);
    QCOMPARE(entry->shortcut(), QKeySequence(shortcut));
    entry->trigger();
    // How far the paper is turned; the direction is checked below.
    QVERIFY2(std::abs(std::abs(paperAngle(paper)) - angle) < 0.01, qPrintable(QString::number(paperAngle(paper))));

    // The opposite compass points turn opposite ways; so do the steps.
    entryWithText(lightTable, QStringLiteral("East (90°)"))->trigger();
    const double east = paperAngle(paper);
    entryWithText(lightTable, QStringLiteral("West (270°)"))->trigger();
    QVERIFY(std::abs(paperAngle(paper) + east) < 0.01);
    entryWithText(lightTable, QStringLiteral("North (0°)"))->trigger();
    QAction *clockwise = entryWithText(lightTable, QStringLiteral("Rotate Clockwise"));
    QCOMPARE(clockwise->shortcut(), QKeySequence(QStringLiteral(">")));
    clockwise->trigger();
    const double step = paperAngle(paper);
    QVERIFY(std::abs(std::abs(step) - 15) < 0.01);
    QVERIFY(step * east > 0);
    entryWithText(lightTable, QStringLiteral("Rotate Counter-Clockwise"))->trigger();
    entryWithText(lightTable, QStringLiteral("Rotate Counter-Clockwise"))->trigger();
    QVERIFY(std::abs(paperAngle(paper) + step) < 0.01);
}

void TestMainWindow::handlersDoNothingWithoutAScene()
{
    // Built without the start-up's first-turn scene: as the window is
    // before its event loop turns.
    auto owned = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs *dialogs = owned.get();
    MainWindow window(std::move(owned));
    auto *sheet = window.findChild<UI::XSheet *>();
    Model::Settings *settings = Model::Settings::instance();
    // Actions whose registry handlers open the user's web browser, the
    // tutorial (which shows with or without a scene), and the one that ends
    // the window. The commands that make or open a scene are tried
    // elsewhere.
    const QStringList skipped{QStringLiteral("Quit"), QStringLiteral("NewScene"), QStringLiteral("OpenScene"),
                              QStringLiteral("ShowHowToAnimate"), QStringLiteral("BasicOverview"),
                              QStringLiteral("VideoTutorials"), QStringLiteral("KeyboardShortcuts"),
                              QStringLiteral("QuestionsAnswers")};
    const auto useEverything = [&] {
        const QList<QAction *> actions = menuBarActions(window.menuBar()) + window.actions();
        for (QAction *action : actions) {
            if (!skipped.contains(key(action)))
                action->trigger();
        }
        Q_EMIT sheet->rightClickedThumbnail(QModelIndex(), QPoint(5, 5));
        Q_EMIT sheet->rightClickedLayer(0, QPoint(5, 5));
        window.setTabletPointerType(QPointingDevice::PointerType::Eraser);
        window.setTabletPointerType(QPointingDevice::PointerType::Pen);
        QCoreApplication::processEvents();
        // Preferences that the actions changed and later tests rely on.
        settings->setUIScalePercent(100);
        settings->setToolBarPosition(KL::ToolBarPosition::Right);
        settings->setToolBarVisible(true);
    };

    QVERIFY(!Model::KLScene::current());
    useEverything();
    QVERIFY(!Model::KLScene::current());
    QCOMPARE(dialogs->kinds(), QStringList());
    QCOMPARE(window.windowTitle(), QStringLiteral("Kelvane: "));

    // After closing, the same.
    window.show();
    window.newSceneIfNoneOpen();
    QVERIFY(Model::KLScene::current());
    QVERIFY(window.close());
    QVERIFY(!Model::KLScene::current());
    useEverything();
    QVERIFY(!Model::KLScene::current());
    QCOMPARE(dialogs->kinds(), QStringList());
    QCOMPARE(window.windowTitle(), QStringLiteral("Kelvane: "));
}

void TestMainWindow::missingSceneArgument()
{
    const QString missing = QStringLiteral("/no/such/folder/walk.kl");
    Started started = startWindow({missing, QStringLiteral("/no/such/folder/second.kl")});
    QVERIFY(!Model::KLScene::current());
    QTRY_VERIFY(Model::KLScene::current());

    // The read error, once: the second file is not tried.
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("warning")});
    QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("Kelvane"));
    QCOMPARE(started.dialogs->asked.first().text,
             QStringLiteral("Cannot read file %1:\nNo such file or directory.").arg(missing));
    // Then a new scene, as when there is no file.
    QCOMPARE(currentScene()->layerCount(), 3);
    QVERIFY(started.window->windowTitle().startsWith(QStringLiteral("Kelvane: Untitled [1920x1080]")));
}

void TestMainWindow::documentFromTheSystem()
{
    Started started = startWindowWithScene();
    Model::KLScene *before = Model::KLScene::current();
    QVERIFY(before);
    const QString missing = QStringLiteral("/no/such/folder/sent.kl");
    QCoreApplication::postEvent(QCoreApplication::instance(), new QFileOpenEvent(missing));
    QTRY_COMPARE(started.dialogs->asked.size(), 1);
    QVERIFY(started.dialogs->asked.first().text.startsWith(QStringLiteral("Cannot read file %1:").arg(missing)));
    // The open scene stays.
    QCOMPARE(Model::KLScene::current(), before);
}

void TestMainWindow::modifiedSceneAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("asked");
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << QStringList{QStringLiteral("warning")};
    QTest::newRow("save, then cancel the file chooser")
        << int(QMessageBox::Save) << QStringList{QStringLiteral("warning"), QStringLiteral("getSaveFileName")};
    // Discarding goes on to the file, which does not exist.
    QTest::newRow("discard") << int(QMessageBox::Discard)
                             << QStringList{QStringLiteral("warning"), QStringLiteral("warning")};
    // The stroke, which no release will end now, is the edit.
    QTest::newRow("cancel, asked during a stroke") << int(QMessageBox::Cancel) << QStringList{QStringLiteral("warning")};
}

void TestMainWindow::modifiedSceneAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(QStringList, asked);
    Started started = startWindowWithScene();
    Model::KLScene *before = Model::KLScene::current();
    auto *paper = started.window->findChild<UI::Paper *>();
    const QPointF at = QRectF(paper->rect()).center();
    if (QByteArray(QTest::currentDataTag()).contains("stroke")) {
        TestSupport::sendMouse(paper, QEvent::MouseButtonPress, at);
        TestSupport::sendMouseEvent(paper, QEvent::MouseMove, at + QPointF(40, 20), Qt::NoButton, Qt::LeftButton);
    } else {
        editScene();
    }
    started.dialogs->buttons.enqueue(QMessageBox::StandardButton(answer));

    QVERIFY(!started.window->openFile(QStringLiteral("/no/such/folder/other.kl")));
    QCOMPARE(started.dialogs->kinds(), asked);
    QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("Save"));
    QCOMPARE(started.dialogs->asked.first().text,
             QStringLiteral("\"Untitled\" has been modified.\n\nSave the scene?"));
    if (asked.size() > 1 && asked[1] == QLatin1String("getSaveFileName")) {
        const QString suggested = Model::Settings::instance()->defaultSaveDir().filePath(QStringLiteral("Untitled.kl"));
        QCOMPARE(started.dialogs->asked[1].text, suggested);
        // The actions are given back after the chooser.
        QVERIFY(Model::ActionManager::instance()->action(KL::Action::Quit)->isEnabled());
    }
    // Nothing was lost: the same scene, still with its edit.
    QCOMPARE(Model::KLScene::current(), before);
    QVERIFY(!currentScene()->undoStack()->isClean());
}

void TestMainWindow::titleFollowsTheScene()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled [1920x1080] 100%"));
    editScene();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled* [1920x1080] 100%"));
    currentScene()->undoStack()->undo();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled [1920x1080] 100%"));
    // The undo group follows the current scene's stack.
    QCOMPARE(Model::ActionManager::instance()->action(KL::Action::Redo)->isEnabled(), true);
    window->setCurrentScene(nullptr);
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: "));
    QCOMPARE(Model::ActionManager::instance()->action(KL::Action::Redo)->isEnabled(), false);
}

void TestMainWindow::beyondButtonsEntryReachesThePreference()
{
    Started started = startWindow({});
    QMenu *xSheetMenu = nullptr;
    const QList<QMenu *> menus = started.window->findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly);
    for (QMenu *menu : menus) {
        if (menu->title() == QLatin1String("X-Sheet"))
            xSheetMenu = menu;
    }
    QVERIFY(xSheetMenu);
    QAction *entry = entryWithText(xSheetMenu, QStringLiteral("Show Beyond-Last-Drawing Buttons"));
    QVERIFY(entry && entry->isCheckable());
    QAction *registered = Model::ActionManager::instance()->action(KL::Action::ShowBeyondButtons);
    const bool shown = Model::Settings::instance()->showBeyondButtons();
    QCOMPARE(entry->isChecked(), shown);

    entry->trigger();
    QCOMPARE(registered->isChecked(), !shown);
    QCOMPARE(Model::Settings::instance()->showBeyondButtons(), !shown);
    entry->trigger();
    QCOMPARE(Model::Settings::instance()->showBeyondButtons(), shown);
}

void TestMainWindow::toolBarStandsOverTheDrawingArea()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *frame = window->findChild<UI::DrawingArea *>();
    auto *toolBar = window->findChild<UI::ToolBar *>();
    QWidget *central = window->centralWidget();
    // The sheet on the left pushes the drawing area to the right.
    QTRY_VERIFY(frame->mapTo(central, QPoint()).x() > 0);
    frame->triggerLeftAndRightCenterMoved();

    const QRect area(frame->mapTo(central, QPoint()), frame->size());
    const int inset = 32;
    QCOMPARE(Model::Settings::instance()->toolBarPosition(), KL::ToolBarPosition::Right);
    QCOMPARE(toolBar->geometry().right() + 1, area.right() + 1 - inset);
    // Centred on what the controls bar leaves of the paper's height.
    const auto *bar = window->findChild<UI::ControlsBar *>(QStringLiteral("controlsBar"));
    QVERIFY(bar && bar->height() > 0);
    QVERIFY(std::abs(toolBar->geometry().center().y() - (area.center().y() + bar->height() / 2)) <= 1);
}

void TestMainWindow::closing()
{
    QSettings().remove(QStringLiteral("MainWindow"));
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    editScene();

    // A modified scene and Cancel: the window stays, nothing is stored.
    started.dialogs->buttons.enqueue(QMessageBox::Cancel);
    QVERIFY(!window->close());
    QVERIFY(window->isVisible());
    QVERIFY(Model::KLScene::current());
    QVariant geometry;
    bool onLeft = false;
    bool detached = false;
    bool visible = false;
    int width = 0;
    Model::Settings::instance()->mainWindowGeometry(geometry, onLeft, detached, visible, width);
    QVERIFY(!geometry.isValid());

    // Discard: the geometry is stored and no scene is left.
    started.dialogs->buttons.enqueue(QMessageBox::Discard);
    QVERIFY(window->close());
    QVERIFY(!Model::KLScene::current());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: "));
    Model::Settings::instance()->mainWindowGeometry(geometry, onLeft, detached, visible, width);
    QVERIFY(window->restoreGeometry(geometry.toByteArray()));
    QVERIFY(onLeft);
    QVERIFY(visible);
    QVERIFY(!detached);
}

void TestMainWindow::proximityChoosesTheDrawingSide()
{
    Started started = startWindowWithScene();
    Model::ToolManager *tools = Model::ToolManager::instance();
    // A view tool in use: turning the pen over only changes the side the
    // next drawing tool takes.
    tools->setCurrentTool(Model::Tool::Type::Hand);
    const auto enter = [](const QPointingDevice *device) {
        QTabletEvent event(QEvent::TabletEnterProximity, device, QPointF(), QPointF(), 0, 0, 0, 0, 0, 0,
                           Qt::NoModifier, Qt::NoButton, Qt::NoButton);
        QVERIFY(qobject_cast<Application *>(QCoreApplication::instance())->event(&event));
    };
    enter(TestSupport::eraser());
    QCOMPARE(tools->currentToolType(), Model::Tool::Type::Hand);
    QCOMPARE(tools->lastDrawingToolType(), Model::Tool::Type::Eraser);
    enter(TestSupport::pen());
    QCOMPARE(tools->lastDrawingToolType(), Model::Tool::Type::Pen);

    // A drawing tool in use: the eraser end switches to erasing and back.
    tools->setCurrentTool(Model::Tool::Type::Pen);
    enter(TestSupport::eraser());
    QCOMPARE(tools->currentToolType(), Model::Tool::Type::Eraser);
    enter(TestSupport::pen());
    QCOMPARE(tools->currentToolType(), Model::Tool::Type::Pen);
}

int main(int argc, char **argv)
{
    // The window is built with the program's own application object, which
    // the start-up connects it to.
    Application application(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
