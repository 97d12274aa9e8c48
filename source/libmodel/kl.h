#pragma once

#include <QObject>

// Enumerations shared across the program. Their key names are persistent: the
// preferences store enumerated values by key name, and the tool bar, the speed
// dials and drag data name actions by key name. Never rename or reorder a key;
// values are positions, and a stored name that no longer converts reads back
// as the enumeration's first value.
namespace KL {
Q_NAMESPACE

// Every user command, value = position. Keys are persistent (see above).
enum class Action : int {
    NoAction,

    // File
    NewScene,
    OpenScene,
    SaveScene,
    SaveSceneAs,
    AutoSave,
    Import,
    ExportFrames,
    ExportExposureSheet,
    ExportVideo,
    SceneSettings,
    Quit,
    Undo,
    Redo,

    // Drawings
    AddCloneDrawing,
    DeleteCloneDrawing,
    AddBlankDrawing,
    InsertBlankDrawing,
    TurnCloneIntoOriginal,
    DuplicateDrawing,
    CutDrawing,
    CopyDrawing,
    PasteDrawing,
    ClearDrawingMakingBlank,
    LoseDrawingMakingHold,
    DiscardDrawing,
    BackDeleteDrawing,
    SelectAllDrawings,
    CloneEachSelectedDrawingOnce,
    CycleSelectedDrawingsOnce,

    // Drawing and erasing tools
    Draw,
    Erase,
    NonDrawingAction,
    DrawEraseToggle,
    Pencil,
    PencilPreset1,
    PencilPreset2,
    PencilPreset3,
    Marker,
    MarkerPreset1,
    MarkerPreset2,
    MarkerPreset3,
    Brush,
    BrushPreset1,
    BrushPreset2,
    BrushPreset3,
    KneadedEraser,
    RubberEraser,
    VinylEraser,
    ResetDrawingUserSettings,
    ResetErasingUserSettings,
    DecreasePenSize,
    IncreasePenSize,
    DrawSettings,
    EraseSettings,
    ToggleCursor,

    // Playback
    Play,
    PlayLoop,
    PlayOnce,
    PlayBackwards,
    PlayStopAndStay,
    FrameRate06,
    FrameRate12,
    FrameRate12_5,
    FrameRate15,
    FrameRate24,
    FrameRate25,
    FrameRate30,
    FrameRate50,
    FrameRate60,
    FrameRateCustom,
    StepBack,
    StepForward,
    StepBackSkippingLocalClones,
    StepForwardSkippingLocalClones,
    SkipBackToKeyDrawing,
    SkipForwardToKeyDrawing,
    ReturnFlip,
    JumpToStart,
    JumpToEnd,
    RangeStartStepBack,
    RangeStartStepForward,
    RangeEndStepBack,
    RangeEndStepForward,
    RangeStartToFirstFrame,
    RangeEndToLastFrame,
    MuteAudio,
    DiscardAudio,

    // View
    BacklightOnOff,
    BacklightToggleAB,
    CustomizeBacklight,
    Pan,
    Zoom,
    Rotate,
    ZPR,
    ResetView,
    FitPaperToView,
    ZoomIn,
    ZoomOut,
    ViewToX1,
    GridOnOff,
    GridTypeFieldGuide,
    GridTypeSafety,
    GridTypeThirds,
    GridTypeDiagonals,
    GridTypeRenaissance,
    GridTypeNext,
    MarkAsKeyDrawing,
    UnmarkAllKeyDrawings,
    OnlyBacklightKeyFrames,
    MirrorView,
    OffPegs,

    // Exposure sheet and layers
    XSheetShow,
    XSheetOppositeSide,
    XSheetDetachSeparateWindow,
    XSheetCenterAndScroll,
    SlideMode,
    AddClonesMode,
    ToggleXSheetDragMode,
    NewLayer,
    DuplicateActiveLayer,
    LayerAbove,
    LayerBelow,
    LayerTop,
    LayerBottom,
    DiscardActiveLayer,
    LayerVisibility,
    LayerLink,
    ShowNothingBeyond,
    FreezeLastDrawingBeyond,
    CycleDrawingsBeyond,
    ShowBeyondButtons,
    MergeLayerDown,
    UnlinkAllLayers,
    LinkAllLayers,
    ThumbnailSizeTiny,
    ThumbnailSizeSmall,
    ThumbnailSizeMedium,
    ThumbnailSizeLarge,
    ThumbnailSizeSmaller,
    ThumbnailSizeLarger,

    // Lasso and floating selection
    Lasso,
    Cutter,
    PickUpAllOfThisDrawing,
    StampFloatingSelection,
    StampFloatingSelectionKeepFloating,
    DropFloatingSelection,
    GetLatestFloatingSelectionBack,
    FloatingSelection,

    // Paint layer
    NewPaintLayer,
    NewPaintLayerWithCloneStructure,
    Palette,
    ColorPickerTool,
    FillTool,

    // Tool bar and windows
    ToolBar,
    ToolBarOppositeSide,
    ToolBarLeftSide,
    ToolBarRightSide,
    ReferenceDisplay,
    CustomizeToolBar,
    PrimarySpeedDial,
    SecondarySpeedDial,
    CustomizeSpeedDials,
    FullScreen,
    Settings,

    // Help
    BasicOverview,
    VideoTutorials,
    KeyboardShortcuts,
    QuestionsAnswers,
    About,

    // Options
    ImportReferenceLayer,
    ImportAudio,
    CollapseVectorData,
    ShowHowToAnimate,
    FaintCursor,
    FreelyDrawOnClones,
    ClonesLockedForDrawing,
    TransparencyShownAsSmallCheckersLight,
    TransparencyShownAsSmallCheckersDark,
    TransparencyShownAsLargeCheckersLight,
    TransparencyShownAsLargeCheckersDark,
    TransparencyShownAsWhite,
    TransparencyShownAsLightGrey,
    TransparencyShownAsDarkGrey,
    TransparencyShownAsBlack,
    CollapseVectorDataAutomatically,
    UseWindowsInk,
    XSheetLeftSide,
    XSheetRightSide,
    XSheetTopBar,
    AutoSaveInterval5Min,
    AutoSaveInterval15Min,
    AutoSaveInterval30Min,
    AutoSaveInterval60Min,
    AutoSaveFiles1,
    AutoSaveFiles2,
    AutoSaveFiles3,
    AutoSaveFiles5,
    AutoSaveFiles9,
    UIScale75,
    UIScale100,
    UIScale125,
    UIScale150,
};
Q_ENUM_NS(Action)

enum class AnnotationPenType : int { ScribblePen, DrawToolPen };
Q_ENUM_NS(AnnotationPenType)

enum class DrawCursorType : int { AdaptToSize, FixedSmall };
Q_ENUM_NS(DrawCursorType)

enum class DrawCursorOpacity : int { Faint, Opaque };
Q_ENUM_NS(DrawCursorOpacity)

enum class FitMode : int {
    FitModeStretch,
    FitModeKeepAspect,
    FitModeKeepAspectByExpanding,
    FitModeCropCenter,
    FitModeIgnore,
};
Q_ENUM_NS(FitMode)

enum class GridType : int { FieldGuide, Safety, Thirds, Diagonals, Renaissance };
Q_ENUM_NS(GridType)

enum class GridStatus : int { GridOn, GridOff };
Q_ENUM_NS(GridStatus)

enum class ThumbnailSize : int { ThumbnailTiny, ThumbnailSmall, ThumbnailMedium, ThumbnailLarge };
Q_ENUM_NS(ThumbnailSize)

// Default is the tool's own ranges; the numbered presets are stored beside it.
enum class ToolPreset : int { Default, Preset1, Preset2, Preset3 };
Q_ENUM_NS(ToolPreset)

enum class ToolBarPosition : int { Left, Right };
Q_ENUM_NS(ToolBarPosition)

enum class TransparencyType : int {
    TransparencySmallCheckersLight,
    TransparencySmallCheckersDark,
    TransparencyLargeCheckersLight,
    TransparencyLargeCheckersDark,
    TransparencyWhite,
    TransparencyLightGrey,
    TransparencyDarkGrey,
    TransparencyBlack,
};
Q_ENUM_NS(TransparencyType)

} // namespace KL
