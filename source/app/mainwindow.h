#pragma once

#include "tools/tool.h"

#include <QClipboard>
#include <QMainWindow>
#include <QModelIndex>
#include <QPoint>
#include <QPointingDevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class PlaybackController;
class QKeyEvent;
class QMenu;
class QPainterPath;
class QTimer;
class QProgressDialog;
class QUndoGroup;

namespace Model {
class KLScene;
class Scene;
class SceneCommand;
struct ExportResult;
} // namespace Model

namespace UI {
class Dialogs;
class Palette;
class ToolBar;
class ToolPocket;
class ToolSettings;
} // namespace UI

namespace SceneSave {
struct Result;
} // namespace SceneSave

namespace Ui {
class MainWindow;
}

// The program's one main window. Its constructor builds, in a fixed order,
// everything that lives for the whole run: the application style, the paper
// and its frame, the timeline, the exposure sheet, the undo group, the tool
// bar, the speed dials, the reference display, the menus, the window-wide
// shortcuts and the connections between these and the model's singletons.
// Every widget is owned through Qt parenthood; the destructor frees only the
// private data and the form record.
//
// The window shows one scene at a time, or none. The current scene changes
// only through setCurrentScene(), which the file commands call; the window
// owns every open scene as a child. Until the event loop's first turn no
// scene is open, and every handler that works on the current scene does
// nothing while there is none.
//
// Every modal question goes through dialogs() (see UI::Dialogs), which a
// test replaces with scripted answers.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum NewSceneBehaviour {
        SkipDialog = 0,
        ShowDialog = 1,
    };
    Q_ENUM(NewSceneBehaviour)

    class MainWindowPrivate;

    // Asks the user with Qt's own dialogs.
    explicit MainWindow(QWidget *parent = nullptr);
    // Asks through the given dialogs; null means Qt's own.
    explicit MainWindow(std::unique_ptr<UI::Dialogs> dialogs, QWidget *parent = nullptr);
    ~MainWindow() override;

    UI::Dialogs *dialogs() const;

    // Whether the chosen files form one numbered sequence (a common prefix,
    // then a number that ends the base name) with numbers missing. Sorts
    // files as a person reads them; when the names carry numbers, digitPos
    // is where the first name's number begins, startsAboveZero is 1 unless
    // that number is 0, and missingCount counts the numbers from 0 or 1 up
    // to the largest that no file carries. Fewer than two files leave the
    // outputs alone.
    static bool numberedSequenceHasGaps(QStringList &files, int &digitPos, int &startsAboveZero,
                                        int &missingCount);

public Q_SLOTS:
    void newScene(MainWindow::NewSceneBehaviour behaviour);
    void newSceneIfNoneOpen();
    // Asks for a scene file and opens it.
    void openScene();
    // True when the file was opened and became the current scene.
    bool openFile(const QString &filename);
    // False when the user cancelled; true when nothing needs saving.
    bool maybeSave();
    bool closeAllScenes();
    // True when the scene is saved or needed no saving.
    bool saveScene();
    // True when written, and when there is no scene to write.
    bool saveSceneAs();
    // At the start: where the work of a run that did not end normally is,
    // in a notice that waits for no one.
    void tellOfLostWork();
    // The system asks the program to end (a logout, a shutdown): the user
    // did not choose to end this run. Nothing waits for their answer any
    // more: a dialog ends as Escape ends it, work under way (a save, an
    // open, an export) as its Cancel does. Then the stroke being drawn is
    // kept, a scene with changes that neither its file nor a backup holds
    // is backed up as autosave backs it up, whether autosave is on or not,
    // and the program quits without a question; the next start names the
    // run's backups as those of a run that did not end normally. A second
    // request while the first is under way changes nothing.
    void endOnRequest();
    // The display is gone and the process ends as soon as this returns:
    // the work is kept as endOnRequest() keeps it, at once, without a turn
    // of the event loop and without the display.
    void endWithoutDisplay();
    // The one place where the current scene changes. It never deletes a
    // scene: the caller deletes the one it replaced.
    void setCurrentScene(Model::KLScene *klscene);
    void setTabletPointerType(QPointingDevice::PointerType type);

    // Import: images become a new reference layer, sound a new audio layer;
    // each is one undoable step. The export commands ask how and where,
    // keep the choices once a target is chosen and write the files.
    void import();
    void importReferenceLayer();
    void importAudio();
    void exportFrames();
    void exportExposureSheet();
    void exportVideo();

    // The view of the paper, by steps and to given levels and angles; the
    // zoom steps climb and descend a ladder of levels from 1/16 to 24.
    void rotatePaperTo(double degrees);
    void rotatePaperToNext(double degrees);
    void zoomPaperTo(double zoomLevel);
    void zoomPaperInToNextLevel();
    void zoomPaperOutToNextLevel();
    // Lifts what the active drawing shows inside path (all of it for an
    // empty path) into a new floating selection, copies it to the clipboard
    // and, for the cutter, cuts it out: one undo step, which also makes the
    // floating-selection tool current.
    void liftFloatingSelection(const QPainterPath &path, bool cutLassoPath);

public:
    // The clock that times slow work (a lift that took long asks whether to
    // collapse vector data): milliseconds from any fixed start. Null puts
    // back the steady clock; tests give their own.
    void setElapsedClock(std::function<qint64()> clock);

Q_SIGNALS:
    void resized(QResizeEvent *event);

protected:
    // Looks at keys before the shortcuts do (ShortcutOverride only): the tap
    // and hold keys, stepping by letter case, Escape, Return, S, D and E.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // Spring-loaded keys: Shift scrubs, Control + Alt holds the paper off
    // its pegs; the releases end what the presses and holds began.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private Q_SLOTS:
    void actualizeTitlebar();
    void actualizeTitlebar(double zoomLevel);
    void onActionDraw(bool checked);
    void onActionErase(bool checked);
    void onUseWindowsInkChanged(bool useWindowsInk);
    void hideToolSettingsPanels();
    void updateUISize();
    void onMenuBarTriggered(QAction *action);
    void onRightClickedThumbnail(const QModelIndex &index, QPoint globalPos);
    void onRightClickedLayer(int layer, QPoint globalPos);
    void updateRecentFilesMenu();
    void onAutosaveTimeout();

    // The current tool. on = false lets a tool go, back to the editing tool.
    void setTool(Model::Tool::Type type, bool on);
    void restoreEditingTool();
    void onActionHandTool(bool on);
    void onActionZoom(bool on);
    void onActionRotate(bool on);
    void onActionZPRTool(bool on);
    void onActionOffPegs(bool on);
    void onActionLassoThisDrawing(bool on);
    void onActionCutter(bool on);
    void onActionColorPickerTool(bool on);
    void onActionFillTool(bool on);
    void onActionDrawEraseToggle();
    void onCurrentToolChanged(Model::Tool::Type currentToolType, Model::Tool::Type previousToolType);

    // The active cell and the frame range, each move an undoable step; each
    // does nothing without a scene.
    void setActiveCell(int frame, int layer, bool toLastCell);
    void setActiveFrame(int frame);
    // Makes a layer active on the frame the user was on.
    void setActiveLayer(int layer);
    void setFrameRange(int first, int last);

    // The actions' enabled and checked states, kept in step with the scene.
    void updateLayerActions();
    void updateAudioActions();
    void updateUndoAction();
    void updateFrameRateMenu(double fps);
    void onActionFrameRate(double fps);
    void onClipboardChanged(QClipboard::Mode mode = QClipboard::Clipboard);
    void onSelectionChanged();
    void onFloatingSelectionChanged();
    void onFramesLost();

private:
    // Construction steps that are more than a line or two.
    void connectToolBar();
    void wireActions();
    void createShortcutsAndWindowActions();
    void createMenus();
    QMenu *createXSheetContextMenu();
    void restoreSettings();
    void onFirstShow();
    void placeXSheet();
    void onScreenChanged();

    // Window, preference and help actions (mainwindowwindow.cpp).
    void wireWindowActions();
    void changeSceneSettings();
    void showHowToAnimate();
    // The start-up's run does not warn where the system has no WinTab.
    void applyWindowsInkChoice(bool useWindowsInk, bool atStartUp);
    void setXSheetVisible(bool visible);
    void onXSheetSplitterMoved();
    // The pane's width in the splitter; 0 when hidden or detached.
    int dockedXSheetWidth() const;
    void rememberDockedXSheetWidth();

    // Context menus, built anew for every right click. A given menu is
    // filled; null makes a new one whose parent is the window. The layer
    // menu's column is the layer clicked, -1 for a column that is no visual
    // layer (or none), which offers only what does not act on a layer.
    QMenu *createCellContextMenu(const QModelIndex &cell, QMenu *menu);
    QMenu *createLayerContextMenu(int column, bool withXSheetMenu, QMenu *menu);

    // The rows of the action wiring whose handlers edit cells, switch tools,
    // step through frames and play; and the signals of the tool manager,
    // the timeline, the paper and the playback clock that reach them.
    void wireCellActions();
    void wireToolSlotActions();
    void wireFlipAndPlayActions();
    void connectEditingSignals();
    void askCustomFrameRate();
    // Grows the sheet's selection by a frame back (-1) or on (1).
    void extendSelection(int direction);
    void scrubToFrame(int frame);
    // Return stamps the floating selection while its tool is current and
    // flips otherwise; of the two actions that share the key, only the one
    // for the current tool is on, so that the key always means one thing.
    void updateReturnActions();
    // Shift's tool, unless the floating selection (whose gestures use Shift)
    // is current.
    void lendScrubbingTool();
    void endScrubbing();
    // Leaving the paper ends scrubbing; coming to it with Shift held starts
    // it, as a press of Shift there would.
    void onFocusObjectChanged(QObject *focusObject);
    // Whether the keyboard is with a field that takes typed text, where keys
    // are text and lend no tool.
    static bool isTypingIntoTextField();

    // What asks the user, writes the scene or lets it go first ends every
    // gesture under way as its release would: what it made is then in the
    // question, the file and the history.
    void endGestures();
    Model::KLScene *loadScene(const QString &path);
    // Makes a loaded or new scene current and lets the one it replaces go,
    // with the changes that waited for its backup.
    void replaceCurrentScene(Model::KLScene *klscene);
    bool saveSceneTo(Model::Scene *scene, const QString &path);
    // Which names typed for writing keep the end they were given: any that
    // has a suffix, or only one that ends with the suffix asked for, in any
    // case ("walk.v2" is then "walk.v2.kl").
    enum class TypedSuffix { AnyKept, OnlyThisKept };
    // A file name chosen for writing, with the suffix (".kl", say) added
    // unless the name keeps its own; empty when that makes the name of a
    // file already there and the user would rather not replace it.
    QString withSuffix(const QString &chosen, const QString &suffix, TypedSuffix typed);
    bool writeSceneFile(Model::Scene *scene, const QString &path);
    // Writes the scene into the next slot of autosave's ring, as every
    // backup is written, and tells the ring how it went; path and refused
    // say where it went and why not where asked (see backupFolder()).
    // Without a progress parent, nothing is shown and no event is handled.
    SceneSave::Result writeBackup(Model::Scene *scene, QString *path, QString *refused, QWidget *progressParent);
    // The rest of endOnRequest(), tried again until no command runs.
    void endWhenAtRest();
    // The end of both: the stroke and the gestures under way kept, the
    // changes backed up, and the record left for the next start.
    void keepWorkForTheNextStart(QWidget *progressParent);
    // Where backups go: the default save folder, made when it is the
    // documents folder a new account lacks; else, when that folder cannot
    // take files, a folder of autosave's own, and refused then holds the
    // system's reason why the other could not.
    QString backupFolder(QString *refused);
    // What the user hears of a backup just tried: each trouble once, and
    // once that backups work again; never a question that waits for them.
    void tellOfBackup(const QString &path, const SceneSave::Result &saved, const QString &refused);
    void tellOfNewerBackups(const QString &sceneFile);
    // Once a run: that this run's backups cannot be found after a crash.
    void tellOfRecordTrouble();
    void connectScene(Model::KLScene *klscene);
    void disconnectScene(Model::KLScene *klscene);
    void onCurrentCellChanged(const QModelIndex &current, const QModelIndex &previous);
    void showFrameNumber(int frame, bool scrubbing);
    void refreshToolCursor();
    int cursorTypeForTool(Model::Tool::Type type) const;

    // Press-and-hold keys (Space, Z, D, E) and the other keys the event
    // filter takes before the shortcuts.
    void connectHoldKeys();
    void overrideShortcut(QKeyEvent *event);
    void startHold(QTimer *timer, QMetaObject::Connection &connection, void (MainWindow::*decide)());
    void onSpaceHold();
    void onZHold();
    void popUpToolSettings(UI::ToolSettings *panel);
    void closeSpeedDialOrViewTool();
    // Pushes the stroke being drawn, if any, as an undoable edit.
    void commitActiveStroke();

    // View, backlight and layer actions, and the exposure sheet's requests
    // for renaming a layer and changing its opacity.
    void wireViewActions();
    void wireLayerActions();
    void connectLayerRequests();
    void createBacklightDialog();
    void showBacklightDialog();
    void openLayerRename(int layer, const QRect &headerArea);
    void showOpacitySlider(int layer);
    void placeOpacitySlider(QPoint globalCenter);

    // The tool chrome: the controls bar with its pockets, the two tool
    // settings panels that hang below the pockets, the customise overlay,
    // and the actions that choose pens and presets, stamp or drop the
    // floating selection and open the pop-ups (mainwindowtoolsettings.cpp).
    void createControlsBar();
    void createToolSettingsPanels();
    void createCustomizeOverlay();
    void wireToolActions();
    // The frame number's type and the playback buttons' icons at the UI scale.
    void applyControlsBarScale();
    void hangUnderPocket(UI::ToolSettings *panel, const UI::ToolPocket *pocket);
    void openToolSettings(bool drawing);
    void stampFloatingSelection(bool keepFloating);
    void dropFloatingSelection();
    // Centres a child pop-up on the pointer, moved by offset and kept margin
    // pixels inside the drawing area.
    void placePopUpAtCursor(QWidget *popUp, int margin, QPoint offset);
    void togglePalette();
    void toggleSpeedDial(bool primary);
    // Opens a speed dial from a key or the pen's right button.
    void openSpeedDial(bool primary, bool hideAfterSelection);

    // Import and export.
    void wireImportExportActions();
    // False when the user cancelled the question about gaps.
    bool importImages(QStringList files);
    void importSound(const QString &file);
    void pushImport(std::unique_ptr<Model::SceneCommand> command, const QString &errorString, const QString &note);
    // Window-modal, shown once the work takes a second; the work drives it.
    std::unique_ptr<QProgressDialog> modalProgressDialog(const QString &label, const QString &cancelText);
    // Runs the exporter under a progress dialog and tells the user how it
    // ended: why it failed, or a note on a finished export; a cancel ends
    // quietly.
    void runExport(const QString &label, const QString &cancelText, bool stayUp,
                   const std::function<Model::ExportResult(QObject *)> &exporter);

    std::unique_ptr<MainWindowPrivate> d;
    std::unique_ptr<Ui::MainWindow> ui;
    QUndoGroup *m_undoGroup = nullptr;
    UI::Palette *m_palette = nullptr;
    UI::ToolBar *m_toolBar = nullptr;
    PlaybackController *m_playbackController = nullptr;
};
