// The main window's menus, context menus, window-wide shortcuts and the
// connections of the registry's actions that the window handles.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"
#include "mainwindowform.h"

#include "dialogs/dialogs.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"

#include <QAction>
#include <QFileInfo>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QUndoGroup>

#include <algorithm>

namespace {

using A = KL::Action;

// Marks a separator in the entry lists below; NoAction is never registered.
constexpr A Separator = A::NoAction;

using MainWindowLookups::action;

void addEntries(QMenu *menu, const QList<A> &keys)
{
    for (const A key : keys) {
        if (key == Separator)
            menu->addSeparator();
        else
            menu->addAction(action(key));
    }
}

// The cell edits, in the Edit menu and the cells' context menu alike.
const QList<A> &cellEntries()
{
    static const QList<A> entries{A::AddCloneDrawing,
                                  A::AddBlankDrawing,
                                  A::InsertBlankDrawing,
                                  Separator,
                                  A::TurnCloneIntoOriginal,
                                  A::DuplicateDrawing,
                                  Separator,
                                  A::CutDrawing,
                                  A::CopyDrawing,
                                  A::PasteDrawing,
                                  Separator,
                                  A::ClearDrawingMakingBlank,
                                  A::LoseDrawingMakingHold,
                                  Separator,
                                  A::DiscardDrawing,
                                  A::BackDeleteDrawing,
                                  Separator,
                                  A::SelectAllDrawings,
                                  Separator,
                                  A::CycleSelectedDrawingsOnce};
    return entries;
}

const QList<A> &thumbnailSizeEntries()
{
    static const QList<A> entries{A::ThumbnailSizeTiny,  A::ThumbnailSizeSmall,   A::ThumbnailSizeMedium,
                                  A::ThumbnailSizeLarge, Separator,               A::ThumbnailSizeSmaller,
                                  A::ThumbnailSizeLarger};
    return entries;
}

using MainWindowLookups::currentScene;

} // namespace

void MainWindow::wireActions()
{
    Model::ActionManager::instance()->createUndoRedoActions(m_undoGroup);
    // After the group's own updates of the actions, which know of no gesture.
    connect(m_undoGroup, &QUndoGroup::canUndoChanged, this, &MainWindow::updateUndoAction);
    connect(m_undoGroup, &QUndoGroup::canRedoChanged, this, &MainWindow::updateUndoAction);
    connect(m_undoGroup, &QUndoGroup::undoTextChanged, this, &MainWindow::updateUndoAction);

    connect(action(A::Quit), &QAction::triggered, this, &QWidget::close);
    connect(action(A::NewScene), &QAction::triggered, this, [this] { newScene(ShowDialog); });
    connect(action(A::OpenScene), &QAction::triggered, this, &MainWindow::openScene);
    connect(action(A::SaveScene), &QAction::triggered, this, &MainWindow::saveScene);
    connect(action(A::SaveSceneAs), &QAction::triggered, this, &MainWindow::saveSceneAs);

    // The undo group keeps the actions' texts and states; the steps run
    // through the scene's handle, which lets nothing push meanwhile. The
    // selection of cells would point at cells that may be gone.
    for (const A key : {A::Undo, A::Redo}) {
        disconnect(action(key), &QAction::triggered, m_undoGroup, nullptr);
        connect(action(key), &QAction::triggered, this, [key] {
            Model::KLScene *klscene = Model::KLScene::current();
            if (!klscene)
                return;
            if (key == A::Undo)
                klscene->undo();
            else
                klscene->redo();
            klscene->clearSelection();
        });
    }

    wireCellActions();
    wireToolSlotActions();
    wireFlipAndPlayActions();
    wireViewActions();
    wireLayerActions();
    wireWindowActions();
    wireToolActions();
    wireImportExportActions();
}

void MainWindow::createShortcutsAndWindowActions()
{
    d->m_shiftLeftShortcut = new QShortcut(QKeySequence(tr("Shift+Left")), this);
    d->m_shiftLeftShortcut->setContext(Qt::WindowShortcut);
    d->m_shiftRightShortcut = new QShortcut(QKeySequence(tr("Shift+Right")), this);
    d->m_shiftRightShortcut->setContext(Qt::WindowShortcut);

    // In no menu: added to the window only so that their shortcuts work.
    for (const A key : {A::BacklightToggleAB, A::DecreasePenSize, A::IncreasePenSize,
                        A::StampFloatingSelectionKeepFloating, A::DeleteCloneDrawing})
        addAction(action(key));
}

void MainWindow::createMenus()
{
    QMenuBar *bar = ui->menubar;

    QMenu *file = bar->addMenu(tr("File"));
    addEntries(file, {A::NewScene, A::OpenScene});
    d->m_recentFilesMenu = file->addMenu(tr("Open Recent"));
    addEntries(file, {Separator, A::SaveScene, A::SaveSceneAs, Separator, A::AutoSave, Separator, A::Import});
    addEntries(file->addMenu(tr("Export")), {A::ExportFrames, A::ExportVideo, Separator, A::ExportExposureSheet});
    addEntries(file, {Separator, A::SceneSettings, Separator, A::Quit});
    connect(file, &QMenu::aboutToShow, this, &MainWindow::updateRecentFilesMenu);
    updateRecentFilesMenu();

    QMenu *edit = bar->addMenu(tr("Edit"));
    addEntries(edit, {A::Undo, A::Redo, Separator});
    addEntries(edit, cellEntries());

    QMenu *draw = bar->addMenu(tr("Draw"));
    addEntries(draw, {A::Draw, A::Erase, A::DrawEraseToggle, Separator});
    addEntries(draw->addMenu(tr("Drawing Tools")),
               {A::Pencil, A::Marker, A::Brush, Separator, A::ResetDrawingUserSettings});
    addEntries(draw->addMenu(tr("Erasing Tools")),
               {A::KneadedEraser, A::RubberEraser, A::VinylEraser, Separator, A::ResetErasingUserSettings});
    addEntries(draw, {Separator, A::DrawSettings, A::EraseSettings, Separator, A::ToggleCursor});

    QMenu *play = bar->addMenu(tr("Flip && Play"));
    addEntries(play, {A::Play});
    addEntries(play->addMenu(tr("Playback Mode")),
               {A::PlayLoop, A::PlayOnce, Separator, A::PlayBackwards, Separator, A::PlayStopAndStay});
    addEntries(play->addMenu(tr("Playback Rate (Frames Per Second)")),
               {A::FrameRate06, A::FrameRate12, A::FrameRate12_5, A::FrameRate15, A::FrameRate24, A::FrameRate25,
                A::FrameRate30, A::FrameRate50, A::FrameRate60, A::FrameRateCustom});
    play->addSeparator();
    addEntries(play->addMenu(tr("Flipping (Use Keyboard)")),
               {A::StepBack, A::StepForward, Separator, A::StepBackSkippingLocalClones,
                A::StepForwardSkippingLocalClones, Separator, A::SkipBackToKeyDrawing, A::SkipForwardToKeyDrawing,
                Separator, A::ReturnFlip});
    addEntries(play, {Separator, A::JumpToStart, A::JumpToEnd, Separator});
    addEntries(play->addMenu(tr("Range - Start && End")),
               {A::RangeStartStepBack, A::RangeStartStepForward, Separator, A::RangeEndStepBack,
                A::RangeEndStepForward, Separator, A::RangeStartToFirstFrame, A::RangeEndToLastFrame});
    addEntries(play, {Separator, A::MuteAudio, A::DiscardAudio});

    QMenu *lightTable = bar->addMenu(tr("Light Table"));
    addEntries(lightTable, {A::BacklightOnOff, A::CustomizeBacklight, Separator, A::Pan, A::Zoom, A::Rotate, A::ZPR,
                            Separator, A::ResetView, A::FitPaperToView, Separator});
    QMenu *zoomView = lightTable->addMenu(tr("Zoom View"));
    addEntries(zoomView, {A::ZoomIn, A::ZoomOut, Separator, A::ViewToX1});
    const auto addZoomEntry = [this, zoomView](const QString &text, const QString &shortcut, double level) {
        QAction *entry = zoomView->addAction(text);
        entry->setShortcut(QKeySequence(shortcut));
        connect(entry, &QAction::triggered, this, [this, level] { zoomPaperTo(level); });
    };
    addZoomEntry(tr("X2 (200%)"), tr("Ctrl+2"), 2.0);
    addZoomEntry(tr("X4 (400%)"), tr("Ctrl+3"), 4.0);
    addZoomEntry(tr("X8 (800%)"), tr("Ctrl+4"), 8.0);
    addZoomEntry(tr("X16 (1600%)"), tr("Ctrl+5"), 16.0);
    zoomView->addSeparator();
    addZoomEntry(tr("X1/2 (50%)"), tr("Ctrl+6"), 0.5);
    addZoomEntry(tr("X1/4 (25%)"), tr("Ctrl+7"), 0.25);
    addZoomEntry(tr("X1/8 (12.5%)"), tr("Ctrl+8"), 0.125);
    addZoomEntry(tr("X1/16 (6.25%)"), tr("Ctrl+9"), 0.0625);

    QMenu *rotateView = lightTable->addMenu(tr("Rotate View"));
    const auto addRotateEntry = [this, rotateView](const QString &text, const QString &shortcut, auto turn) {
        QAction *entry = rotateView->addAction(text);
        entry->setShortcut(QKeySequence(shortcut));
        connect(entry, &QAction::triggered, this, [this, turn] { turn(this); });
    };
    // Positive angles turn the paper counter-clockwise.
    addRotateEntry(tr("Rotate Clockwise"), tr(">"), [](MainWindow *w) { w->rotatePaperToNext(-15); });
    addRotateEntry(tr("Rotate Counter-Clockwise"), tr("<"), [](MainWindow *w) { w->rotatePaperToNext(15); });
    rotateView->addSeparator();
    const struct
    {
        const char *text;
        const char *shortcut;
        double angle;
    } directions[] = {
        {QT_TR_NOOP("North (0°)"), QT_TR_NOOP("Num+8"), 0},
        {QT_TR_NOOP("North East (45°)"), QT_TR_NOOP("Num+9"), -45},
        {QT_TR_NOOP("East (90°)"), QT_TR_NOOP("Num+6"), -90},
        {QT_TR_NOOP("South East (135°)"), QT_TR_NOOP("Num+3"), -135},
        {QT_TR_NOOP("South (180°)"), QT_TR_NOOP("Num+2"), 180},
        {QT_TR_NOOP("South West (225°)"), QT_TR_NOOP("Num+1"), 135},
        {QT_TR_NOOP("West (270°)"), QT_TR_NOOP("Num+4"), 90},
        {QT_TR_NOOP("North West (315°)"), QT_TR_NOOP("Num+7"), 45},
    };
    for (const auto &direction : directions) {
        const double angle = direction.angle;
        addRotateEntry(tr(direction.text), tr(direction.shortcut), [angle](MainWindow *w) { w->rotatePaperTo(angle); });
    }

    addEntries(lightTable, {Separator, A::GridOnOff});
    addEntries(lightTable->addMenu(tr("Select Grid Type")),
               {A::GridTypeFieldGuide, A::GridTypeSafety, A::GridTypeThirds, A::GridTypeDiagonals,
                A::GridTypeRenaissance, Separator, A::GridTypeNext});
    addEntries(lightTable, {Separator, A::MarkAsKeyDrawing, A::UnmarkAllKeyDrawings, Separator,
                            A::OnlyBacklightKeyFrames, Separator, A::MirrorView, Separator, A::OffPegs});

    QMenu *xSheet = bar->addMenu(tr("X-Sheet"));
    addEntries(xSheet, {A::XSheetShow, A::XSheetDetachSeparateWindow, Separator, A::AddClonesMode, A::SlideMode,
                        A::ToggleXSheetDragMode, Separator, A::NewLayer, A::DuplicateActiveLayer, Separator,
                        A::DiscardActiveLayer, Separator});
    QMenu *activeLayer = xSheet->addMenu(tr("Active Layer"));
    addEntries(activeLayer, {A::LayerAbove, A::LayerBelow, Separator, A::LayerTop, A::LayerBottom, Separator,
                             A::LayerVisibility, A::LayerLink, Separator});
    addEntries(activeLayer->addMenu(tr("What to Display Beyond Last Drawing")),
               {A::ShowNothingBeyond, A::FreezeLastDrawingBeyond, A::CycleDrawingsBeyond, Separator,
                A::ShowBeyondButtons});
    addEntries(xSheet, {Separator, A::MergeLayerDown, Separator, A::UnlinkAllLayers, A::LinkAllLayers, Separator});
    addEntries(xSheet->addMenu(tr("Thumbnail Size")), thumbnailSizeEntries());

    addEntries(bar->addMenu(tr("Pick Up")), {A::Lasso, A::Cutter, A::PickUpAllOfThisDrawing, Separator,
                                             A::StampFloatingSelection, Separator, A::DropFloatingSelection,
                                             A::GetLatestFloatingSelectionBack});

    addEntries(bar->addMenu(tr("Window")),
               {A::ReferenceDisplay, Separator, A::ToolBar, A::CustomizeToolBar, Separator, A::PrimarySpeedDial,
                A::SecondarySpeedDial, A::CustomizeSpeedDials, Separator, A::FullScreen, A::Settings});

    // The tutorial first: once its "Don't show this again" is ticked, this is
    // the only way back to it.
    addEntries(bar->addMenu(tr("&Help")),
               {A::ShowHowToAnimate, Separator, A::BasicOverview, Separator, A::VideoTutorials, Separator,
                A::KeyboardShortcuts, Separator, A::QuestionsAnswers, Separator, A::About});

    connect(bar, &QMenuBar::triggered, this, &MainWindow::onMenuBarTriggered);
}

QMenu *MainWindow::createXSheetContextMenu()
{
    auto *menu = new QMenu(tr("X-Sheet", "context sub menu"), this);
    addEntries(menu, {A::XSheetTopBar, A::XSheetOppositeSide, A::XSheetDetachSeparateWindow, Separator, A::SlideMode,
                      A::AddClonesMode, A::ToggleXSheetDragMode, Separator, A::UnlinkAllLayers, A::LinkAllLayers,
                      Separator});

    QAction *showBeyondButtons = action(A::ShowBeyondButtons);
    QAction *beyondEntry = menu->addAction(tr("Show Beyond-Last-Drawing Buttons"));
    beyondEntry->setCheckable(true);
    beyondEntry->setChecked(showBeyondButtons->isChecked());
    // Triggering the registry's action, not only checking it, is what
    // reaches the preference and with it the exposure sheet.
    connect(beyondEntry, &QAction::toggled, this, [showBeyondButtons](bool on) {
        if (showBeyondButtons->isChecked() != on)
            showBeyondButtons->trigger();
    });

    menu->addSeparator();
    addEntries(menu->addMenu(tr("Thumbnail Size", "context sub menu")), thumbnailSizeEntries());
    addEntries(menu, {Separator, A::ImportReferenceLayer, Separator, A::ImportAudio, A::MuteAudio, A::DiscardAudio});
    return menu;
}

QMenu *MainWindow::createCellContextMenu(const QModelIndex &cell, QMenu *menu)
{
    if (!menu)
        menu = new QMenu(this);
    addEntries(menu, cellEntries());
    menu->addSeparator();
    // The sheet made the clicked cell's layer the active one.
    createLayerContextMenu(cell.column(), false, menu->addMenu(tr("Layer", "Context sub menu")));
    menu->addSeparator();
    menu->addMenu(d->m_xSheetContextMenu);
    addEntries(menu, {Separator, A::MarkAsKeyDrawing, A::UnmarkAllKeyDrawings, Separator, A::OnlyBacklightKeyFrames});
    return menu;
}

QMenu *MainWindow::createLayerContextMenu(int column, bool withXSheetMenu, QMenu *menu)
{
    if (!menu)
        menu = new QMenu(this);
    // The layer entries act on the active layer, which a column of sound or
    // notes never becomes: such a column (-1 here, as is the empty header
    // beside the columns) gets only what adds layers; the sound's own
    // entries are in the sheet's submenu.
    if (column < 0) {
        addEntries(menu, {A::NewLayer, A::NewPaintLayer});
    } else {
        addEntries(menu, {A::NewLayer, A::DuplicateActiveLayer, Separator, A::DiscardActiveLayer, Separator,
                          A::MergeLayerDown, Separator, A::NewPaintLayer, A::NewPaintLayerWithCloneStructure});
    }
    if (withXSheetMenu) {
        menu->addSeparator();
        menu->addMenu(d->m_xSheetContextMenu);
    }
    return menu;
}

void MainWindow::onRightClickedThumbnail(const QModelIndex &index, QPoint globalPos)
{
    if (!currentScene())
        return;
    QMenu *menu = createCellContextMenu(index, nullptr);
    d->m_dialogs->exec(menu, globalPos);
    menu->deleteLater();
}

void MainWindow::onRightClickedLayer(int layer, QPoint globalPos)
{
    Model::Scene *scene = currentScene();
    if (!scene)
        return;
    if (layer >= 0)
        setActiveLayer(layer);
    QMenu *menu = createLayerContextMenu(layer, true, nullptr);
    d->m_dialogs->exec(menu, globalPos);
    menu->deleteLater();
}

void MainWindow::onMenuBarTriggered(QAction *triggered)
{
    if (d->m_openingSettings && (triggered == action(A::Draw) || triggered == action(A::Erase)))
        return;
    for (const A key : {A::DrawSettings, A::EraseSettings, A::Pencil, A::Marker, A::Brush, A::KneadedEraser,
                        A::RubberEraser, A::VinylEraser}) {
        if (triggered == action(key))
            return;
    }
    hideToolSettingsPanels();
}

void MainWindow::updateRecentFilesMenu()
{
    QMenu *menu = d->m_recentFilesMenu;
    menu->clear();
    Model::Settings *settings = Model::Settings::instance();
    const QStringList files = settings->recentFiles();
    for (const QString &path : files) {
        connect(menu->addAction(QFileInfo(path).fileName()), &QAction::triggered, this,
                [this, path] { openFile(path); });
    }
    menu->setEnabled(!files.isEmpty());
    if (!files.isEmpty()) {
        menu->addSeparator();
        connect(menu->addAction(tr("Clear")), &QAction::triggered, settings, &Model::Settings::clearRecentFiles);
    }
}
