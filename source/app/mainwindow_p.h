#pragma once

#include "mainwindow.h"
#include "wintabclickworkaround.h"

#include <QIcon>
#include <QMetaObject>
#include <QPoint>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <memory>

class AutosaveManager;
class QLabel;
class QMenu;
class QShortcut;
class QTimer;

namespace UI {
class AboutDialog;
class ControlsBar;
class ControlsBarIndicator;
class ControlsBarToolButton;
class CustomizeBacklightDialog;
class CustomizeOverlay;
class DetachedXSheet;
class Dialogs;
class LayerRenameWidget;
class OpacitySlider;
class Preferences;
class ReferenceDisplay;
class SpeedDial;
class ToolPocket;
class ToolSettings;
class XSheet;
class XSheetPane;
} // namespace UI

// Everything the main window keeps for the whole run besides its form. The
// widgets and timers are children of the window (or of its widgets) and are
// deleted by Qt; this object owns only the autosave manager, the click
// workaround and the dialogs seam.
class MainWindow::MainWindowPrivate
{
public:
    explicit MainWindowPrivate(MainWindow *window, std::unique_ptr<UI::Dialogs> dialogs);
    ~MainWindowPrivate();

    MainWindowPrivate(const MainWindowPrivate &) = delete;
    MainWindowPrivate &operator=(const MainWindowPrivate &) = delete;

    // An application event filter only while WinTab is the tablet interface.
    WinTabClickWorkaround m_winTabClickWorkaround;

    UI::Preferences *m_preferences = nullptr;
    UI::ToolPocket *m_eraserPocket = nullptr;
    UI::ToolPocket *m_drawingPocket = nullptr;
    UI::ToolSettings *m_eraseToolSettings = nullptr;
    UI::ToolSettings *m_drawToolSettings = nullptr;
    UI::CustomizeBacklightDialog *m_backlightDialog = nullptr;
    UI::SpeedDial *m_primarySpeedDial = nullptr;
    UI::SpeedDial *m_secondarySpeedDial = nullptr;
    UI::OpacitySlider *m_opacitySlider = nullptr;
    UI::LayerRenameWidget *m_layerRenameWidget = nullptr;
    int m_layerBeingRenamed = -1;

    UI::XSheet *m_xSheet = nullptr;
    UI::XSheetPane *m_xSheetPane = nullptr;
    UI::DetachedXSheet *m_detachedXSheet = nullptr;
    UI::ReferenceDisplay *m_referenceDisplay = nullptr;
    UI::CustomizeOverlay *m_customizeOverlay = nullptr;
    // Made on first use and kept.
    UI::AboutDialog *m_about = nullptr;

    QShortcut *m_shiftLeftShortcut = nullptr;
    QShortcut *m_shiftRightShortcut = nullptr;
    QMenu *m_recentFilesMenu = nullptr;
    QMenu *m_xSheetContextMenu = nullptr;

    // Set while a settings action triggers Draw or Erase; the menu bar's
    // trigger handler then leaves the tool-settings panels alone.
    bool m_openingSettings = false;

    QTimer *m_dHoldTimer = nullptr;
    QTimer *m_eHoldTimer = nullptr;
    QTimer *m_panelHideTimer = nullptr;
    QPoint m_holdKeyCursorPos;
    QTimer *m_spaceHoldTimer = nullptr;
    int m_spaceHoldInterval = 200;
    QVariant m_spacePressCursorPos;
    QMetaObject::Connection m_spaceHoldConnection;
    QTimer *m_zHoldTimer = nullptr;
    int m_zHoldInterval = 200;
    QMetaObject::Connection m_zHoldConnection;
    // Milliseconds from a fixed start; times the slow work that asks the
    // user afterwards whether it may be made quicker.
    std::function<qint64()> m_elapsedClock;

    int m_rememberedFrame = -1;

    // The exposure sheet's placement, restored at start and stored at close.
    int m_xSheetWidth = 0;
    bool m_xSheetOnLeft = true;
    bool m_xSheetDetached = false;
    bool m_xSheetVisible = true;

    // The frame-range origin: the active cell when the range was last
    // changed by the timeline.
    int m_frameRangeOriginFrame = -1;
    int m_frameRangeOriginLayer = -1;
    // The scene the remembered frame and the range origin are places of;
    // another scene starts without them.
    QPointer<Model::KLScene> m_placesScene;

    QTimer *m_framesLostTimer = nullptr;
    AutosaveManager *m_autosaveManager = nullptr;
    // A scene opened from a backup, and that backup, until the scene is
    // saved: its work is recovered, in no file of the user's yet.
    QPointer<Model::KLScene> m_recovered;
    QString m_recoveredFrom;

    UI::ControlsBar *m_controlsBar = nullptr;
    UI::ControlsBarToolButton *m_jumpToStartButton = nullptr;
    UI::ControlsBarToolButton *m_stepBackButton = nullptr;
    UI::ControlsBarToolButton *m_playButton = nullptr;
    QIcon m_playIcon;
    QIcon m_stopIcon;
    UI::ControlsBarToolButton *m_stepForwardButton = nullptr;
    UI::ControlsBarToolButton *m_jumpToEndButton = nullptr;
    UI::ControlsBarIndicator *m_mirrorIndicator = nullptr;
    UI::ControlsBarIndicator *m_backlightIndicator = nullptr;
    QLabel *m_frameNumberLabel = nullptr;

    // Seconds since the epoch of the last change to the current scene.
    qint64 m_lastChangeTime = 0;
    // What the user last heard of the backups, so that each thing is told
    // once: why they cannot be written (empty while they can), and why they
    // go to autosave's own folder (empty while they go where asked).
    QString m_backupTrouble;
    QString m_backupDetour;
    // Whether the user heard that this run's backups cannot be found after
    // a crash.
    bool m_recordTroubleTold = false;
    // How many long commands are running, one inside another (a save asked
    // for by an open, say): the file commands, the exports and the edits
    // that show progress. Autosave waits while any runs, or playback.
    int m_busyDepth = 0;
    // The system asked the program to end; it is on its way.
    bool m_ending = false;
    // The work of the run is kept for the next start: nothing more is.
    bool m_workKept = false;

    std::unique_ptr<UI::Dialogs> m_dialogs;
};

// Marks a long command as running for as long as it lives, whichever way
// the command ends. Commands nest: a save run by an open ends before the
// open does, and the open still counts as running after it.
class BusyScope
{
public:
    explicit BusyScope(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~BusyScope() { --m_depth; }

    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    int &m_depth;
};
