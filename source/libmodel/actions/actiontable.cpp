// The action table: every command's text, icon, shortcuts, flags and group,
// and the handlers of the actions that only change a preference. Texts and
// shortcut texts are translated in the context Model::ActionManager; key
// names, not texts, identify actions in stored layouts.

#include "actions/actionmanager.h"
#include "actions/helppages.h"
#include "settings/settings.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QMetaEnum>

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>

namespace Model {

namespace {

enum Flag {
    Checkable = 0x1,
    Checked = 0x2,
    // Holding the key triggers once instead of repeating: tools and modes
    // that are switched, or held, by their key.
    NoAutoRepeat = 0x4,
    Disabled = 0x8,
};

QAction *withFlags(QAction *action, int flags)
{
    if (flags & (Checkable | Checked))
        action->setCheckable(true);
    if (flags & Checked)
        action->setChecked(true);
    if (flags & NoAutoRepeat)
        action->setAutoRepeat(false);
    if (flags & Disabled)
        action->setEnabled(false);
    return action;
}

QIcon icon(const char *name)
{
    return QIcon(QStringLiteral(":/icons/%1_icon.svg").arg(QLatin1String(name)));
}

// Shortcut texts are written in portable form, so that a translation of them
// means the same keys on every platform.
QKeySequence keys(const QString &portableText)
{
    return QKeySequence(portableText, QKeySequence::PortableText);
}

void addToExclusiveGroup(QObject *parent, std::initializer_list<QAction *> actions)
{
    auto *group = new QActionGroup(parent);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (QAction *action : actions)
        group->addAction(action);
}

void setSelectionWording(ActionManager *manager, KL::Action id, const char *sourceText)
{
    if (ActionManager::ActionEntry *entry = manager->klAction(id))
        entry->alternateText = QString::fromUtf8(sourceText);
}

// Groups that choose an enumerated preference list their actions in the
// enumeration's order, so a value is its action's distance from the first.
int distance(KL::Action first, KL::Action id)
{
    return static_cast<int>(id) - static_cast<int>(first);
}

KL::Action shifted(KL::Action first, int offset)
{
    return static_cast<KL::Action>(static_cast<int>(first) + offset);
}

QString frameRateText(double rate)
{
    return QLocale().toString(rate, 'g', 6);
}

// The value `step` keys away from `current` in the enumeration's key order,
// wrapping around or stopping at the ends; `whenUnknown` when `current` is no
// key of the enumeration.
template<typename Enum>
Enum neighbourValue(Enum current, int step, bool wrap, Enum whenUnknown)
{
    const QMetaEnum meta = QMetaEnum::fromType<Enum>();
    const int count = meta.keyCount();
    for (int i = 0; i < count; ++i) {
        if (meta.value(i) != static_cast<int>(current))
            continue;
        const int next = wrap ? (i + step + count) % count : std::clamp(i + step, 0, count - 1);
        return static_cast<Enum>(meta.value(next));
    }
    return whenUnknown;
}

} // namespace

void ActionManager::createFileActions()
{
    Settings *settings = Settings::instance();

    createAction(KL::Action::NewScene, tr("New Scene..."), QKeySequence::keyBindings(QKeySequence::New));
    createAction(KL::Action::OpenScene, tr("Open Scene..."), QKeySequence::keyBindings(QKeySequence::Open));
    createAction(KL::Action::SaveScene, tr("Save Scene"), QKeySequence::keyBindings(QKeySequence::Save));
    createAction(KL::Action::SaveSceneAs, tr("Save Scene As..."), QKeySequence::keyBindings(QKeySequence::SaveAs));
    QAction *autoSave = withFlags(createAction(KL::Action::AutoSave, tr("Enable Autosaving")),
                                  Checkable | NoAutoRepeat);
    connect(autoSave, &QAction::triggered, settings, &Settings::setAutoSaveEnabled);
    createAction(KL::Action::Import, tr("Import (Frames, Movie Clip or Audio)..."), keys(tr("Ctrl+I")));
    createAction(KL::Action::ExportFrames, tr("Frames..."));
    createAction(KL::Action::ExportExposureSheet, tr("OCA (Open Cel Animation)..."));
    createAction(KL::Action::ExportVideo, tr("Movie Clip..."), keys(tr("Ctrl+E")));
    createAction(KL::Action::SceneSettings, tr("Scene Settings..."), keys(tr("Ctrl+Shift+I")));
    createAction(KL::Action::Quit, tr("&Quit"), QKeySequence::keyBindings(QKeySequence::Quit))
        ->setMenuRole(QAction::QuitRole);
}

void ActionManager::createDrawingActions()
{
    createAction(KL::Action::AddCloneDrawing, icon("AddCloneDrawing"), tr("Add Clone Drawing"), keys(tr("'")));
    setSelectionWording(this, KL::Action::AddCloneDrawing, QT_TR_NOOP("Add Clone after each Selected Drawing"));
    createAction(KL::Action::DeleteCloneDrawing, tr("Delete Clone Drawing"), keys(tr("Ctrl+'")));
    setSelectionWording(this, KL::Action::DeleteCloneDrawing, QT_TR_NOOP("Delete All Selected Clone Drawings"));
    createAction(KL::Action::AddBlankDrawing, icon("AddBlankDrawing"), tr("Add Blank Drawing"),
                 keys(tr("Ctrl+Down")));
    setSelectionWording(this, KL::Action::AddBlankDrawing, QT_TR_NOOP("Add Blank after each Selected Drawing"));
    createAction(KL::Action::InsertBlankDrawing, icon("InsertBlankDrawing"), tr("Insert Blank Drawing"),
                 keys(tr("Ctrl+Up")));
    setSelectionWording(this, KL::Action::InsertBlankDrawing,
                        QT_TR_NOOP("Insert Blank before each Selected Drawing"));
    createAction(KL::Action::TurnCloneIntoOriginal, icon("TurnCloneToNewOriginal"), tr("Turn Clone into Original"),
                 keys(tr("O")));
    setSelectionWording(this, KL::Action::TurnCloneIntoOriginal, QT_TR_NOOP("Turn Selected Clones into Originals"));
    createAction(KL::Action::DuplicateDrawing, icon("DuplicateAsOriginal"), tr("Duplicate Drawing as Original"),
                 keys(tr("Ctrl+D")));
    setSelectionWording(this, KL::Action::DuplicateDrawing,
                        QT_TR_NOOP("Duplicate each Selected Drawing as Original"));
    createAction(KL::Action::CutDrawing, tr("Cut Drawing"), QKeySequence::keyBindings(QKeySequence::Cut));
    setSelectionWording(this, KL::Action::CutDrawing, QT_TR_NOOP("Cut Selected Drawings"));
    createAction(KL::Action::CopyDrawing, tr("Copy Drawing"), QKeySequence::keyBindings(QKeySequence::Copy));
    setSelectionWording(this, KL::Action::CopyDrawing, QT_TR_NOOP("Copy Selected Drawings"));
    withFlags(createAction(KL::Action::PasteDrawing, tr("Paste Drawing"),
                           QKeySequence::keyBindings(QKeySequence::Paste)),
              Disabled);
    setSelectionWording(this, KL::Action::PasteDrawing, QT_TR_NOOP("Paste Drawings"));
    createAction(KL::Action::ClearDrawingMakingBlank, icon("ClearDrawingMakingBlank"),
                 tr("Clear Drawing (Make it Blank)"), keys(tr("*")));
    setSelectionWording(this, KL::Action::ClearDrawingMakingBlank,
                        QT_TR_NOOP("Clear Selected Drawings (Make them Blank)"));
    createAction(KL::Action::LoseDrawingMakingHold, icon("LoseDrawingMakingClone"), tr("Lose Drawing (Keep Timing)"),
                 keys(tr("/")));
    setSelectionWording(this, KL::Action::LoseDrawingMakingHold, QT_TR_NOOP("Lose Selected Drawings (Keep Timing)"));
    createAction(KL::Action::DiscardDrawing, icon("DiscardDrawing"), tr("Delete Drawing"), keys(tr("Ctrl+Delete")));
    setSelectionWording(this, KL::Action::DiscardDrawing, QT_TR_NOOP("Delete Selected Drawings"));
    createAction(KL::Action::BackDeleteDrawing, icon("BackDeleteDrawing"), tr("Back-delete Drawing"),
                 keys(tr("Ctrl+Backspace")));
    setSelectionWording(this, KL::Action::BackDeleteDrawing, QT_TR_NOOP("Back-delete Selected Drawings"));
    createAction(KL::Action::SelectAllDrawings, tr("Select All Drawings"),
                 QKeySequence::keyBindings(QKeySequence::SelectAll));
    withFlags(createAction(KL::Action::CloneEachSelectedDrawingOnce, tr("Clone Each Selected Drawing Once")),
              Disabled);
    withFlags(createAction(KL::Action::CycleSelectedDrawingsOnce, tr("Cycle Selected Drawings Once"), keys(tr("@"))),
              Disabled);
}

void ActionManager::createDrawingToolActions()
{
    Settings *settings = Settings::instance();

    QAction *draw = withFlags(createAction(KL::Action::Draw, icon("Draw"), tr("&Draw (Latest Drawing Tool)"),
                                           keys(tr("D"))),
                              Checkable | NoAutoRepeat);
    QAction *erase = withFlags(createAction(KL::Action::Erase, icon("Erase"), tr("&Erase (Latest Erasing Tool)"),
                                            keys(tr("E"))),
                               Checkable | NoAutoRepeat);
    // Checking it unchecks both tool actions while some other tool is in use.
    QAction *nonDrawing = withFlags(
        createAction(KL::Action::NonDrawingAction, QStringLiteral("Dummy non-drawing action")), Checkable);
    addToExclusiveGroup(this, {draw, erase, nonDrawing});

    withFlags(createAction(KL::Action::DrawEraseToggle, icon("DrawEraseToggle"), tr("Draw/Erase Toggle"),
                           keys(tr("."))),
              NoAutoRepeat);

    QAction *pencil = withFlags(createAction(KL::Action::Pencil, icon("Pencil"), tr("Pencil (P)"),
                                             QList<QKeySequence>{keys(tr("4")), keys(tr("P"))}),
                                Checkable | NoAutoRepeat);
    withFlags(createAction(KL::Action::PencilPreset1, icon("Pencil_Preset1"), tr("Pencil Preset 1")), NoAutoRepeat);
    withFlags(createAction(KL::Action::PencilPreset2, icon("Pencil_Preset2"), tr("Pencil Preset 2")), NoAutoRepeat);
    withFlags(createAction(KL::Action::PencilPreset3, icon("Pencil_Preset3"), tr("Pencil Preset 3")), NoAutoRepeat);
    QAction *marker = withFlags(createAction(KL::Action::Marker, icon("Marker"), tr("Marker (M)"),
                                             QList<QKeySequence>{keys(tr("5")), keys(tr("M"))}),
                                Checkable | NoAutoRepeat);
    withFlags(createAction(KL::Action::MarkerPreset1, icon("Marker_Preset1"), tr("Marker Preset 1")), NoAutoRepeat);
    withFlags(createAction(KL::Action::MarkerPreset2, icon("Marker_Preset2"), tr("Marker Preset 2")), NoAutoRepeat);
    withFlags(createAction(KL::Action::MarkerPreset3, icon("Marker_Preset3"), tr("Marker Preset 3")), NoAutoRepeat);
    QAction *brush = withFlags(createAction(KL::Action::Brush, icon("Brush"), tr("Brush (B)"),
                                            QList<QKeySequence>{keys(tr("6")), keys(tr("B"))}),
                               Checkable | NoAutoRepeat);
    withFlags(createAction(KL::Action::BrushPreset1, icon("Brush_Preset1"), tr("Brush Preset 1")), NoAutoRepeat);
    withFlags(createAction(KL::Action::BrushPreset2, icon("Brush_Preset2"), tr("Brush Preset 2")), NoAutoRepeat);
    withFlags(createAction(KL::Action::BrushPreset3, icon("Brush_Preset3"), tr("Brush Preset 3")), NoAutoRepeat);
    QAction *kneaded = withFlags(createAction(KL::Action::KneadedEraser, icon("KneadedEraser"), tr("Kneaded Eraser"),
                                              keys(tr("1"))),
                                 Checkable | NoAutoRepeat);
    QAction *rubber = withFlags(createAction(KL::Action::RubberEraser, icon("RubberEraser"), tr("Rubber Eraser"),
                                             keys(tr("2"))),
                                Checkable | NoAutoRepeat);
    QAction *vinyl = withFlags(createAction(KL::Action::VinylEraser, icon("VinylEraser"), tr("Vinyl Eraser"),
                                            keys(tr("3"))),
                               Checkable | NoAutoRepeat);
    addToExclusiveGroup(this, {pencil, marker, brush, kneaded, rubber, vinyl});

    // Both read "Reset User Settings" in their own menus (drawing, erasing).
    ToolManager *tools = ToolManager::instance();
    connect(createAction(KL::Action::ResetDrawingUserSettings, tr("Reset User Settings")), &QAction::triggered,
            tools, &ToolManager::resetDrawingToolSettings);
    connect(createAction(KL::Action::ResetErasingUserSettings, tr("Reset User Settings")), &QAction::triggered,
            tools, &ToolManager::resetErasingToolSettings);
    connect(createAction(KL::Action::DecreasePenSize, tr("Decrease Pen Size"), keys(tr("["))), &QAction::triggered,
            tools, &ToolManager::decreaseDrawingToolSizeRange);
    connect(createAction(KL::Action::IncreasePenSize, tr("Increase Pen Size"), keys(tr("]"))), &QAction::triggered,
            tools, &ToolManager::increaseDrawingToolSizeRange);
    withFlags(createAction(KL::Action::DrawSettings, tr("Draw Settings (Hold D Key)"), keys(tr("Shift+D"))),
              NoAutoRepeat);
    withFlags(createAction(KL::Action::EraseSettings, tr("Erase Settings (Hold E Key)"), keys(tr("Shift+E"))),
              NoAutoRepeat);

    QAction *toggleCursor = createAction(KL::Action::ToggleCursor, tr("Toggle Cursor (Crosshair/Dot)"), keys(tr(",")));
    connect(toggleCursor, &QAction::triggered, this, [settings] {
        switch (settings->drawCursorType()) {
        case KL::DrawCursorType::AdaptToSize:
            settings->setDrawCursorType(KL::DrawCursorType::FixedSmall);
            break;
        case KL::DrawCursorType::FixedSmall:
            settings->setDrawCursorType(KL::DrawCursorType::AdaptToSize);
            break;
        }
    });
}

void ActionManager::createPlaybackActions()
{
    withFlags(createAction(KL::Action::Play, icon("Playback"), tr("Play"), keys(tr("Space"))), NoAutoRepeat);
    if (ActionEntry *play = klAction(KL::Action::Play)) {
        play->alternateText = QString::fromUtf8(QT_TR_NOOP("Stop"));
        play->alternateIcon = icon("Stop");
    }
    QAction *loop = withFlags(createAction(KL::Action::PlayLoop, tr("Loop")), Checkable);
    QAction *once = withFlags(createAction(KL::Action::PlayOnce, tr("Once")), Checkable);
    addToExclusiveGroup(this, {loop, once});
    withFlags(createAction(KL::Action::PlayBackwards, tr("Backwards")), Checkable);
    withFlags(createAction(KL::Action::PlayStopAndStay, tr("Stop and Stay")), Checkable);

    // Rates are numbers, not words: written in the user's locale, untranslated.
    auto *rates = new QActionGroup(this);
    rates->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const std::pair<KL::Action, double> rateActions[] = {
        {KL::Action::FrameRate06, 6},   {KL::Action::FrameRate12, 12}, {KL::Action::FrameRate12_5, 12.5},
        {KL::Action::FrameRate15, 15},  {KL::Action::FrameRate24, 24}, {KL::Action::FrameRate25, 25},
        {KL::Action::FrameRate30, 30},  {KL::Action::FrameRate50, 50}, {KL::Action::FrameRate60, 60},
    };
    for (const auto &[id, rate] : rateActions)
        rates->addAction(withFlags(createAction(id, frameRateText(rate)), Checkable));
    rates->addAction(withFlags(createAction(KL::Action::FrameRateCustom, tr("Custom", "fps menu action")), Checkable));

    createAction(KL::Action::StepBack, tr("Step Back"), QList<QKeySequence>{keys(tr("Left")), keys(tr("Alt+Q"))});
    createAction(KL::Action::StepForward, tr("Step Forward"),
                 QList<QKeySequence>{keys(tr("Right")), keys(tr("Alt+W"))});
    createAction(KL::Action::StepBackSkippingLocalClones, tr("Step Back (Skipping Local Clones)"), keys(tr("Up")));
    createAction(KL::Action::StepForwardSkippingLocalClones, tr("Step Forward (Skipping Local Clones)"),
                 keys(tr("Down")));
    createAction(KL::Action::SkipBackToKeyDrawing, tr("Skip Back to Key Drawing"), keys(tr("Shift+Up")));
    createAction(KL::Action::SkipForwardToKeyDrawing, tr("Skip Forward to Key Drawing"), keys(tr("Shift+Down")));
    withFlags(createAction(KL::Action::ReturnFlip, tr("Return Flip (Hold Return Key)"), keys(tr("Return"))),
              NoAutoRepeat);
    createAction(KL::Action::JumpToStart, icon("JumpToStart"), tr("Jump to Start"), keys(tr("Home")));
    createAction(KL::Action::JumpToEnd, icon("JumpToEnd"), tr("Jump to End"), keys(tr("End")));
    createAction(KL::Action::RangeStartStepBack, tr("Step Range-Start Back"), keys(tr("Ctrl+Left")));
    createAction(KL::Action::RangeStartStepForward, tr("Step Range-Start Forward"), keys(tr("Ctrl+Right")));
    createAction(KL::Action::RangeEndStepBack, tr("Step Range-End Back"), keys(tr("Ctrl+Shift+Left")));
    createAction(KL::Action::RangeEndStepForward, tr("Step Range-End Forward"), keys(tr("Ctrl+Shift+Right")));
    createAction(KL::Action::RangeStartToFirstFrame, tr("Reset Range-Start to First Frame"), keys(tr("Ctrl+Home")));
    createAction(KL::Action::RangeEndToLastFrame, tr("Reset Range-End to Last Frame"), keys(tr("Ctrl+End")));
    withFlags(createAction(KL::Action::MuteAudio, icon("Audio"), tr("Mute Audio")), Checkable);
    createAction(KL::Action::DiscardAudio, tr("Discard Audio"));
}

void ActionManager::createViewActions()
{
    Settings *settings = Settings::instance();

    QAction *backlight = withFlags(createAction(KL::Action::BacklightOnOff, icon("BacklightOnOff"),
                                                tr("Backlight (Onion Skin) On/Off"), keys(tr("Shift+Space"))),
                                   Checkable);
    backlight->setChecked(settings->backlightOn());
    connect(backlight, &QAction::triggered, settings, &Settings::setBacklightOn);
    connect(settings, &Settings::backlightSettingsChanged, backlight,
            [backlight, settings] { backlight->setChecked(settings->backlightOn()); });

    QAction *toggleAB = createAction(KL::Action::BacklightToggleAB, icon("BacklightToggleAB"),
                                     tr("Toggle between A and B backlight setting"), keys(tr("Shift+Alt+Space")));
    // Switching sets is only worth doing when the result can be seen.
    connect(toggleAB, &QAction::triggered, this, [settings] {
        BacklightSettings backlightSettings = settings->backlightSettings();
        backlightSettings.current = backlightSettings.current == BacklightSettings::BacklightSettingA
                                        ? BacklightSettings::BacklightSettingB
                                        : BacklightSettings::BacklightSettingA;
        settings->setBacklightSettings(backlightSettings);
        settings->setBacklightOn(true);
    });
    createAction(KL::Action::CustomizeBacklight, tr("Customize Backlight..."), keys(tr("Ctrl+Shift+Space")));

    // The view tools say in their tooltip that the key is meant to be held.
    withFlags(createAction(KL::Action::Pan, icon("HandTool"), tr("&Hand Tool (Hold H)"), keys(tr("H"))),
              Checkable | NoAutoRepeat)
        ->setToolTip(tr("Hand Tool [Hold H]", "toolTip"));
    withFlags(createAction(KL::Action::Zoom, icon("Zoom"), tr("&Zoom (Hold Z)"), keys(tr("Z"))),
              Checkable | NoAutoRepeat)
        ->setToolTip(tr("Zoom [Hold Z]", "toolTip"));
    withFlags(createAction(KL::Action::Rotate, icon("Rotate"), tr("&Rotate (Hold R)"), keys(tr("R"))),
              Checkable | NoAutoRepeat)
        ->setToolTip(tr("Rotate [Hold R]", "toolTip"));
    withFlags(createAction(KL::Action::ZPR, tr("Hand/Zoom/Rotate (Hold Space Bar)"), keys(tr("Space"))),
              NoAutoRepeat);
    createAction(KL::Action::ResetView, icon("ResetView"), tr("Reset View (0°, 100%, Centered)"), keys(tr("0")));
    createAction(KL::Action::FitPaperToView, icon("FitView"), tr("Fit View (?%)"), keys(tr("Ctrl+0")));
    createAction(KL::Action::ZoomIn, tr("Zoom In"),
                 QKeySequence::keyBindings(QKeySequence::ZoomIn) << keys(tr("Ctrl+=")));
    createAction(KL::Action::ZoomOut, tr("Zoom Out"), QKeySequence::keyBindings(QKeySequence::ZoomOut));
    createAction(KL::Action::ViewToX1, tr("X1 (100%)"), keys(tr("Ctrl+1")));

    QAction *grid = withFlags(createAction(KL::Action::GridOnOff, icon("Grid"), tr("Grid On/Off"), keys(tr("G"))),
                              Checkable | NoAutoRepeat);
    // Choosing a grid type means wanting to see the grid.
    auto *gridTypes = new QActionGroup(this);
    gridTypes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const std::pair<KL::Action, QString> gridTypeActions[] = {
        {KL::Action::GridTypeFieldGuide, tr("Field Guide")}, {KL::Action::GridTypeSafety, tr("Safety")},
        {KL::Action::GridTypeThirds, tr("Thirds")},          {KL::Action::GridTypeDiagonals, tr("Diagonals")},
        {KL::Action::GridTypeRenaissance, tr("Renaissance")},
    };
    for (const auto &[id, text] : gridTypeActions) {
        QAction *gridType = withFlags(createAction(id, text), Checkable | NoAutoRepeat);
        gridTypes->addAction(gridType);
        const auto type = static_cast<KL::GridType>(distance(KL::Action::GridTypeFieldGuide, id));
        connect(gridType, &QAction::triggered, this, [settings, grid, type] {
            settings->setGridType(type);
            grid->setChecked(true);
        });
    }
    QAction *nextGridType = createAction(KL::Action::GridTypeNext, tr("Next Grid Type"), keys(tr("Shift+G")));
    connect(nextGridType, &QAction::triggered, this, [settings, grid] {
        settings->setGridType(neighbourValue(settings->gridType(), 1, true, KL::GridType::FieldGuide));
        grid->setChecked(true);
    });
    connect(settings, &Settings::gridTypeChanged, this, &ActionManager::syncGridType);
    syncGridType(settings->gridType());

    createAction(KL::Action::MarkAsKeyDrawing, icon("MarkAsKeyDrawing"), tr("Mark (or Unmark) as Key Drawing"),
                 keys(tr("K")));
    createAction(KL::Action::UnmarkAllKeyDrawings, icon("ClearKeys"), tr("Unmark All (Clear Keys)"),
                 keys(tr("Shift+K")));
    QAction *onlyKeys = withFlags(createAction(KL::Action::OnlyBacklightKeyFrames, icon("BacklightKeys"),
                                               tr("Only Backlight Key Frames"), keys(tr("Ctrl+K"))),
                                  Checkable);
    onlyKeys->setChecked(settings->onlyBacklightKeyFrames());
    connect(onlyKeys, &QAction::toggled, settings, &Settings::setOnlyBacklightKeyFrames);
    withFlags(createAction(KL::Action::MirrorView, icon("Mirror"), tr("Mirror View"), keys(tr("Y"))), Checkable);

    // Named after the modifier keys as the platform's shortcut texts call them.
    QAction *offPegs = withFlags(
        createAction(KL::Action::OffPegs, icon("OffPegs"),
                     tr("Off Pegs Tool (Hold %1 and %2 Keys)")
                         .arg(QCoreApplication::translate("QShortcut", "Ctrl"),
                              QCoreApplication::translate("QShortcut", "Alt"))),
        Checkable | NoAutoRepeat);
    offPegs->setIconText(tr("Off Pegs Tool", "iconText"));
    updateToolTip(KL::Action::OffPegs);
}

void ActionManager::createXSheetActions()
{
    Settings *settings = Settings::instance();

    withFlags(createAction(KL::Action::XSheetShow, tr("Show X-Sheet"), keys(tr("Tab"))), Checkable);
    QAction *oppositeSide = createAction(KL::Action::XSheetOppositeSide, tr("Place X-Sheet at Opposite Side"));
    // A detached exposure sheet has no side of the main window to be on.
    QAction *detach = withFlags(createAction(KL::Action::XSheetDetachSeparateWindow,
                                             tr("Detach X-Sheet as Separate Window"), keys(tr("Shift+Tab"))),
                                Checkable);
    connect(detach, &QAction::toggled, oppositeSide, &QAction::setDisabled);
    withFlags(createAction(KL::Action::XSheetCenterAndScroll, tr("Center and Scroll when Flipping")), Checked);

    QAction *addClones = withFlags(
        createAction(KL::Action::AddClonesMode, icon("AddClonesMode"), tr("Add Clones Mode")), Checkable);
    QAction *slide = withFlags(createAction(KL::Action::SlideMode, icon("SlideMode"), tr("Slide Mode")), Checkable);
    addClones->setChecked(!settings->slideMode());
    slide->setChecked(settings->slideMode());
    addToExclusiveGroup(this, {addClones, slide});
    connect(addClones, &QAction::triggered, this, [settings] { settings->setSlideMode(false); });
    connect(slide, &QAction::triggered, this, [settings] { settings->setSlideMode(true); });
    // Triggering the mode actions keeps the group's check mark and the
    // preference together.
    QAction *toggleMode = createAction(KL::Action::ToggleXSheetDragMode, icon("ToggleMode"),
                                       tr("Toggle Mode (Add Clones/Slide)"), keys(tr("T")));
    connect(toggleMode, &QAction::triggered, this, [settings, addClones, slide] {
        (settings->slideMode() ? addClones : slide)->activate(QAction::Trigger);
    });

    createAction(KL::Action::NewLayer, icon("NewLayer"), tr("New Layer"), keys(tr("N")));
    createAction(KL::Action::DuplicateActiveLayer, icon("DuplicateLayer"), tr("Duplicate Layer"),
                 keys(tr("Ctrl+Shift+D")));
    createAction(KL::Action::LayerAbove, tr("Go to Layer Above"), keys(tr("PgUp")));
    createAction(KL::Action::LayerBelow, tr("Go to Layer Below"), keys(tr("PgDown")));
    createAction(KL::Action::LayerTop, tr("Go to Top Layer"), keys(tr("Shift+PgUp")));
    createAction(KL::Action::LayerBottom, tr("Go to Bottom Layer"), keys(tr("Shift+PgDown")));
    createAction(KL::Action::DiscardActiveLayer, icon("DeleteLayer"), tr("Delete Layer"),
                 keys(tr("Ctrl+Shift+Delete")));
    withFlags(createAction(KL::Action::LayerVisibility, icon("Visible"), tr("Layer Visible"), keys(tr("V"))), Checked);
    withFlags(createAction(KL::Action::LayerLink, icon("Link"), tr("Layer Linked"), keys(tr("-"))), Checked);

    QAction *nothing = withFlags(createAction(KL::Action::ShowNothingBeyond, tr("Nothing")), Checked);
    QAction *freeze = withFlags(createAction(KL::Action::FreezeLastDrawingBeyond, tr("Freeze Last Drawing")),
                                Checkable);
    QAction *cycle = withFlags(createAction(KL::Action::CycleDrawingsBeyond, tr("Cycle Drawings")), Checkable);
    addToExclusiveGroup(this, {nothing, freeze, cycle});
    QAction *beyondButtons = withFlags(createAction(KL::Action::ShowBeyondButtons, tr("Show Buttons")), Checkable);
    beyondButtons->setChecked(settings->showBeyondButtons());
    connect(beyondButtons, &QAction::triggered, settings, &Settings::setShowBeyondButtons);

    createAction(KL::Action::MergeLayerDown, icon("MergeLayers"), tr("Merge Layer Down (Right)"), keys(tr("&")));
    createAction(KL::Action::UnlinkAllLayers, tr("Unlink All Layers"), keys(tr("U")));
    createAction(KL::Action::LinkAllLayers, tr("Link All Layers"), keys(tr("Shift+U")));

    auto *sizes = new QActionGroup(this);
    sizes->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const std::pair<KL::Action, QString> sizeActions[] = {
        {KL::Action::ThumbnailSizeTiny, tr("Tiny")},
        {KL::Action::ThumbnailSizeSmall, tr("Small")},
        {KL::Action::ThumbnailSizeMedium, tr("Medium")},
        {KL::Action::ThumbnailSizeLarge, tr("Large")},
    };
    for (const auto &[id, text] : sizeActions) {
        QAction *size = withFlags(createAction(id, text), id == KL::Action::ThumbnailSizeMedium ? Checked : Checkable);
        sizes->addAction(size);
        const auto value = static_cast<KL::ThumbnailSize>(distance(KL::Action::ThumbnailSizeTiny, id));
        connect(size, &QAction::triggered, this, [settings, value] { settings->setThumbnailSize(value); });
    }
    QAction *smaller = createAction(KL::Action::ThumbnailSizeSmaller, tr("Smaller"), keys(tr("Ctrl+<")));
    connect(smaller, &QAction::triggered, this, [settings] {
        settings->setThumbnailSize(
            neighbourValue(settings->thumbnailSize(), -1, false, KL::ThumbnailSize::ThumbnailTiny));
    });
    QAction *larger = createAction(KL::Action::ThumbnailSizeLarger, tr("Larger"), keys(tr("Ctrl+>")));
    connect(larger, &QAction::triggered, this, [settings] {
        settings->setThumbnailSize(
            neighbourValue(settings->thumbnailSize(), 1, false, KL::ThumbnailSize::ThumbnailTiny));
    });
    connect(settings, &Settings::thumbnailSizeChanged, this, &ActionManager::syncThumbnailSize);
    syncThumbnailSize(settings->thumbnailSize());
}

void ActionManager::createSelectionActions()
{
    withFlags(createAction(KL::Action::Lasso, icon("LassoThisDrawing"), tr("Lasso"), keys(tr("L"))),
              Checkable | NoAutoRepeat);
    withFlags(createAction(KL::Action::Cutter, icon("Cutter"), tr("Cutter"), keys(tr("X"))), Checkable | NoAutoRepeat);
    withFlags(createAction(KL::Action::PickUpAllOfThisDrawing, icon("PickUpAll"), tr("All (Whole Drawing)"),
                           keys(tr("A"))),
              NoAutoRepeat);
    withFlags(createAction(KL::Action::StampFloatingSelection, tr("Stamp Floating Selection"), keys(tr("Return"))),
              NoAutoRepeat);
    withFlags(createAction(KL::Action::StampFloatingSelectionKeepFloating,
                           tr("Stamp Floating Selection (Keep Floating Selection)"),
                           QList<QKeySequence>{keys(tr("Shift+Return")), keys(tr("Shift+Enter"))}),
              NoAutoRepeat);
    createAction(KL::Action::DropFloatingSelection, tr("Drop Floating Selection"), keys(tr("Esc")));
    createAction(KL::Action::GetLatestFloatingSelectionBack, tr("Get latest Floating Selection back"),
                 keys(tr("Shift+Esc")));
    withFlags(createAction(KL::Action::FloatingSelection, tr("Floating Selection")), Checkable | NoAutoRepeat);
}

// Paint layers are not there yet; their actions exist so that tool-bar and
// speed-dial layouts can name them.
void ActionManager::createPaintLayerActions()
{
    withFlags(createAction(KL::Action::NewPaintLayer, tr("New Paint Layer")), Disabled);
    withFlags(createAction(KL::Action::NewPaintLayerWithCloneStructure, tr("New Paint Layer with Clone Structure"),
                           keys(tr("Ctrl+Shift+N"))),
              Disabled);
    withFlags(createAction(KL::Action::Palette, icon("Palette"), tr("&Color Palette"), keys(QStringLiteral("C"))),
              NoAutoRepeat | Disabled);
    withFlags(createAction(KL::Action::ColorPickerTool, icon("ColorPickerTool"), tr("Color Picker Tool"),
                           keys(tr("I"))),
              Disabled);
    withFlags(createAction(KL::Action::FillTool, icon("FillTool"), tr("Fill Tool"), keys(tr("F"))), Disabled);
}

void ActionManager::createWindowActions()
{
    Settings *settings = Settings::instance();

    QAction *toolBar = withFlags(createAction(KL::Action::ToolBar, tr("Show Tool Bar"), keys(tr("Ctrl+T"))),
                                 Checkable);
    toolBar->setChecked(settings->toolBarVisible());
    connect(toolBar, &QAction::triggered, settings, &Settings::setToolBarVisible);
    connect(settings, &Settings::toolBarVisibleChanged, toolBar, &QAction::setChecked);

    QAction *oppositeSide = createAction(KL::Action::ToolBarOppositeSide, tr("Place Tool Bar at Opposite Side"));
    connect(oppositeSide, &QAction::triggered, this, [settings] {
        switch (settings->toolBarPosition()) {
        case KL::ToolBarPosition::Left:
            settings->setToolBarPosition(KL::ToolBarPosition::Right);
            break;
        case KL::ToolBarPosition::Right:
            settings->setToolBarPosition(KL::ToolBarPosition::Left);
            break;
        }
    });
    QAction *left = withFlags(createAction(KL::Action::ToolBarLeftSide, tr("Left Side")), Checkable);
    QAction *right = withFlags(createAction(KL::Action::ToolBarRightSide, tr("Right Side")), Checkable);
    addToExclusiveGroup(this, {left, right});
    connect(left, &QAction::triggered, this, [settings](bool checked) {
        if (checked)
            settings->setToolBarPosition(KL::ToolBarPosition::Left);
    });
    connect(right, &QAction::triggered, this, [settings](bool checked) {
        if (checked)
            settings->setToolBarPosition(KL::ToolBarPosition::Right);
    });
    const auto syncPosition = [left, right](KL::ToolBarPosition position) {
        switch (position) {
        case KL::ToolBarPosition::Left:
            left->setChecked(true);
            break;
        case KL::ToolBarPosition::Right:
            right->setChecked(true);
            break;
        }
    };
    connect(settings, &Settings::toolBarPositionChanged, this, syncPosition);
    syncPosition(settings->toolBarPosition());

    withFlags(createAction(KL::Action::ReferenceDisplay, tr("Reference Display"), keys(tr("#"))), Checkable);
    createAction(KL::Action::CustomizeToolBar, tr("Customize Tool Bar..."));
    // The speed dials sit under the left hand whatever the keyboard layout's
    // language; their keys are not translated.
    withFlags(createAction(KL::Action::PrimarySpeedDial, tr("&Speed Dial (primary)"), keys(QStringLiteral("S"))),
              NoAutoRepeat);
    withFlags(createAction(KL::Action::SecondarySpeedDial, tr("Speed Dial (secondary)"),
                           keys(QStringLiteral("Shift+S"))),
              NoAutoRepeat);
    createAction(KL::Action::CustomizeSpeedDials, tr("Customize Speed Dials..."));
    createAction(KL::Action::FullScreen, tr("Full Screen"), QKeySequence::keyBindings(QKeySequence::FullScreen));
    createAction(KL::Action::Settings, tr("Settings..."))->setMenuRole(QAction::PreferencesRole);
}

void ActionManager::createHelpActions()
{
    connect(createAction(KL::Action::BasicOverview, tr("Basic Overview")), &QAction::triggered, this,
            [] { openHelpPage(HelpPage::BasicOverview); });
    connect(createAction(KL::Action::VideoTutorials, tr("Video Tutorials"),
                         QKeySequence::keyBindings(QKeySequence::HelpContents)),
            &QAction::triggered, this, [] { openHelpPage(HelpPage::VideoTutorials); });
    connect(createAction(KL::Action::KeyboardShortcuts, tr("Keyboard Shortcuts")), &QAction::triggered, this,
            [] { openHelpPage(HelpPage::KeyboardShortcuts); });
    connect(createAction(KL::Action::QuestionsAnswers, tr("Questions && Answers")), &QAction::triggered, this,
            [] { openHelpPage(HelpPage::QuestionsAnswers); });
    createAction(KL::Action::About, tr("About %1").arg(QGuiApplication::applicationDisplayName()))
        ->setMenuRole(QAction::AboutRole);
}

void ActionManager::createOptionsActions()
{
    Settings *settings = Settings::instance();

    createAction(KL::Action::ImportReferenceLayer, tr("Import Reference Frames or Movie Clip..."));
    createAction(KL::Action::ImportAudio, tr("Import Audio..."));
    withFlags(createAction(KL::Action::CollapseVectorData, tr("Collapse vector data to bitmap"), keys(tr("Ctrl+B"))),
              Disabled);
    createAction(KL::Action::ShowHowToAnimate, tr("How to animate with Kelvane"));

    QAction *faint = withFlags(createAction(KL::Action::FaintCursor, tr("Faint Cursor")), Checkable);
    faint->setChecked(settings->drawCursorOpacity() == KL::DrawCursorOpacity::Faint);
    connect(faint, &QAction::triggered, this, [settings](bool checked) {
        settings->setDrawCursorOpacity(checked ? KL::DrawCursorOpacity::Faint : KL::DrawCursorOpacity::Opaque);
    });
    connect(settings, &Settings::drawCursorOpacityChanged, faint,
            [faint](KL::DrawCursorOpacity opacity) { faint->setChecked(opacity == KL::DrawCursorOpacity::Faint); });

    QAction *freely = withFlags(
        createAction(KL::Action::FreelyDrawOnClones, tr("Freely draw on Clones - Original will update")), Checkable);
    QAction *locked = withFlags(createAction(KL::Action::ClonesLockedForDrawing, tr("Clones are locked for drawing")),
                                Checkable);
    addToExclusiveGroup(this, {freely, locked});
    const auto syncClones = [freely, locked](bool isLocked) { (isLocked ? locked : freely)->setChecked(true); };
    syncClones(settings->clonesLockedForDrawing());
    connect(freely, &QAction::triggered, this, [settings] { settings->setClonesLockedForDrawing(false); });
    connect(locked, &QAction::triggered, this, [settings] { settings->setClonesLockedForDrawing(true); });
    connect(settings, &Settings::clonesLockedForDrawingChanged, this, syncClones);

    auto *transparency = new QActionGroup(this);
    transparency->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const std::pair<KL::Action, QString> transparencyActions[] = {
        {KL::Action::TransparencyShownAsSmallCheckersLight, tr("Small Checkers, Light")},
        {KL::Action::TransparencyShownAsSmallCheckersDark, tr("Small Checkers, Dark")},
        {KL::Action::TransparencyShownAsLargeCheckersLight, tr("Large Checkers, Light")},
        {KL::Action::TransparencyShownAsLargeCheckersDark, tr("Large Checkers, Dark")},
        {KL::Action::TransparencyShownAsWhite, tr("White")},
        {KL::Action::TransparencyShownAsLightGrey, tr("Light Grey")},
        {KL::Action::TransparencyShownAsDarkGrey, tr("Dark Grey")},
        {KL::Action::TransparencyShownAsBlack, tr("Black")},
    };
    for (const auto &[id, text] : transparencyActions) {
        QAction *action = withFlags(createAction(id, text), Checkable | NoAutoRepeat);
        transparency->addAction(action);
        const auto type = static_cast<KL::TransparencyType>(
            distance(KL::Action::TransparencyShownAsSmallCheckersLight, id));
        connect(action, &QAction::triggered, this, [settings, type] { settings->setTransparencyType(type); });
    }
    connect(settings, &Settings::transparencyTypeChanged, this, &ActionManager::syncTransparencyType);
    syncTransparencyType(settings->transparencyType());

    QAction *collapse = withFlags(createAction(KL::Action::CollapseVectorDataAutomatically,
                                               tr("Collapse Automatically")),
                                  Checkable);
    collapse->setChecked(settings->collapseAutomatically());
    connect(collapse, &QAction::triggered, settings, &Settings::setCollapseAutomatically);
    connect(settings, &Settings::collapseAutomaticallyChanged, collapse, &QAction::setChecked);
    QAction *windowsInk = withFlags(createAction(KL::Action::UseWindowsInk, tr("Use Windows Ink")), Checkable);
    windowsInk->setChecked(settings->useWindowsInk());
    connect(windowsInk, &QAction::triggered, settings, &Settings::setUseWindowsInk);

    QAction *xSheetLeft = withFlags(createAction(KL::Action::XSheetLeftSide, tr("Left Side")),
                                    Checkable | NoAutoRepeat);
    QAction *xSheetRight = withFlags(createAction(KL::Action::XSheetRightSide, tr("Right Side")),
                                     Checkable | NoAutoRepeat);
    addToExclusiveGroup(this, {xSheetLeft, xSheetRight});
    QAction *topBar = withFlags(createAction(KL::Action::XSheetTopBar, tr("Show X-Sheet Top Bar")), Checkable);
    topBar->setChecked(settings->showXSheetTopBar());
    connect(topBar, &QAction::triggered, settings, &Settings::setShowXSheetTopBar);
    connect(settings, &Settings::showXSheetTopBarChanged, topBar, &QAction::setChecked);

    // One checkable action per choice, in an exclusive group; each hands its
    // value to the preference's setter.
    using Choice = std::tuple<KL::Action, QString, int>;
    const auto addChoices = [this, settings](std::initializer_list<Choice> choices,
                                             void (Settings::*setter)(int)) {
        auto *group = new QActionGroup(this);
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
        for (const Choice &choice : choices) {
            const int value = std::get<2>(choice);
            QAction *action = withFlags(createAction(std::get<0>(choice), std::get<1>(choice)),
                                        Checkable | NoAutoRepeat);
            group->addAction(action);
            connect(action, &QAction::triggered, this, [settings, setter, value] { (settings->*setter)(value); });
        }
    };
    addChoices({{KL::Action::AutoSaveInterval5Min, tr("5 mins"), 5},
                {KL::Action::AutoSaveInterval15Min, tr("15 mins"), 15},
                {KL::Action::AutoSaveInterval30Min, tr("30 mins"), 30},
                {KL::Action::AutoSaveInterval60Min, tr("1 hour"), 60}},
               &Settings::setAutoSaveIntervalMins);
    addChoices({{KL::Action::AutoSaveFiles1, tr("Only 1"), 1},
                {KL::Action::AutoSaveFiles2, tr("Alternate between 2"), 2},
                {KL::Action::AutoSaveFiles3, tr("Cycle through 3"), 3},
                {KL::Action::AutoSaveFiles5, tr("Cycle through 5"), 5},
                {KL::Action::AutoSaveFiles9, tr("Cycle through 9"), 9}},
               &Settings::setAutoSaveNumFiles);
    connect(settings, &Settings::autoSaveChanged, this, &ActionManager::syncAutoSave);
    syncAutoSave();

    addChoices({{KL::Action::UIScale75, tr("75%"), 75},
                {KL::Action::UIScale100, tr("100%"), 100},
                {KL::Action::UIScale125, tr("125%"), 125},
                {KL::Action::UIScale150, tr("150%"), 150}},
               &Settings::setUIScalePercent);
    connect(settings, &Settings::UIScaleChanged, this, &ActionManager::syncUIScale);
    syncUIScale(settings->UIScalePercent());
}

// Out-of-range grid, thumbnail and transparency values leave the check marks
// as they are: they are harmless, unlike the autosave and scale values below.
void ActionManager::syncGridType(KL::GridType type)
{
    const int offset = static_cast<int>(type);
    if (offset >= 0 && offset <= static_cast<int>(KL::GridType::Renaissance))
        action(shifted(KL::Action::GridTypeFieldGuide, offset))->setChecked(true);
}

void ActionManager::syncThumbnailSize(KL::ThumbnailSize size)
{
    const int offset = static_cast<int>(size);
    if (offset >= 0 && offset <= static_cast<int>(KL::ThumbnailSize::ThumbnailLarge))
        action(shifted(KL::Action::ThumbnailSizeTiny, offset))->setChecked(true);
    action(KL::Action::ThumbnailSizeSmaller)->setEnabled(size != KL::ThumbnailSize::ThumbnailTiny);
    action(KL::Action::ThumbnailSizeLarger)->setEnabled(size != KL::ThumbnailSize::ThumbnailLarge);
}

void ActionManager::syncTransparencyType(KL::TransparencyType type)
{
    const int offset = static_cast<int>(type);
    if (offset >= 0 && offset <= static_cast<int>(KL::TransparencyType::TransparencyBlack))
        action(shifted(KL::Action::TransparencyShownAsSmallCheckersLight, offset))->setChecked(true);
}

// A stored interval or backup count that no menu entry offers would leave its
// group without a check mark; it is put back to the default instead, whose
// change signal brings the check marks along (re-entering this function).
void ActionManager::syncAutoSave()
{
    Settings *settings = Settings::instance();
    action(KL::Action::AutoSave)->setChecked(settings->autoSaveEnabled());

    switch (settings->autoSaveIntervalMins()) {
    case 5: action(KL::Action::AutoSaveInterval5Min)->setChecked(true); break;
    case 15: action(KL::Action::AutoSaveInterval15Min)->setChecked(true); break;
    case 30: action(KL::Action::AutoSaveInterval30Min)->setChecked(true); break;
    case 60: action(KL::Action::AutoSaveInterval60Min)->setChecked(true); break;
    default: settings->setAutoSaveIntervalMins(Settings::DefaultAutoSaveIntervalMins); break;
    }

    switch (settings->autoSaveNumFiles()) {
    case 1: action(KL::Action::AutoSaveFiles1)->setChecked(true); break;
    case 2: action(KL::Action::AutoSaveFiles2)->setChecked(true); break;
    case 3: action(KL::Action::AutoSaveFiles3)->setChecked(true); break;
    case 5: action(KL::Action::AutoSaveFiles5)->setChecked(true); break;
    case 9: action(KL::Action::AutoSaveFiles9)->setChecked(true); break;
    default: settings->setAutoSaveNumFiles(Settings::DefaultAutoSaveNumFiles); break;
    }
}

void ActionManager::syncUIScale(int percent)
{
    switch (percent) {
    case 75: action(KL::Action::UIScale75)->setChecked(true); break;
    case 100: action(KL::Action::UIScale100)->setChecked(true); break;
    case 125: action(KL::Action::UIScale125)->setChecked(true); break;
    case 150: action(KL::Action::UIScale150)->setChecked(true); break;
    default: Settings::instance()->setUIScalePercent(Settings::DefaultUIScalePercent); break;
    }
}

} // namespace Model
