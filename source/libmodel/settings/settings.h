#pragma once

#include "kl.h"
#include "settings/backlightsettings.h"
#include "settings/exportexposuresheetsettings.h"
#include "settings/exportframessettings.h"
#include "settings/exportvideosettings.h"

#include <QByteArray>
#include <QDir>
#include <QLatin1String>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace Model {

// The user's preferences, held in memory and mirrored in the platform
// settings store (group "Preferences"; recent scenes and window geometry in
// top-level groups of their own).
//
// Filled once by load() at start-up; afterwards every change goes through a
// setter, which updates the record and writes its key at once, so the store
// always holds what the process last set and nothing needs saving at exit.
// Loading takes stored values as they are; only the setters apply limits.
// Every store access opens its own short-lived QSettings, built with the
// default constructor so that it follows the application's organisation and
// application names. Store errors are not checked.
//
// Enumerated values are stored as key names; a name that does not convert
// reads back as the enumeration's first value, not as the previous one.
//
// GUI thread only.
class Settings : public QObject
{
    Q_OBJECT

public:
    // Built-in defaults that other classes reset to (the preferences
    // dialog's restore-defaults, the tool bar and speed-dial panels).
    static constexpr bool DefaultClonesLockedForDrawing = false;
    static constexpr KL::TransparencyType DefaultTransparencyType = KL::TransparencyType::TransparencyWhite;
    static constexpr KL::DrawCursorOpacity DefaultDrawCursorOpacity = KL::DrawCursorOpacity::Faint;
    static constexpr bool DefaultCollapseAutomatically = false;
    static constexpr bool DefaultUseWindowsInk = false;
    static constexpr bool DefaultShowXSheetTopBar = false;
    static constexpr bool DefaultAutoSaveEnabled = false;
    static constexpr int DefaultAutoSaveIntervalMins = 15;
    static constexpr int DefaultAutoSaveNumFiles = 3;
    static constexpr KL::ToolBarPosition DefaultToolBarPosition = KL::ToolBarPosition::Right;
    static constexpr bool DefaultToolBarVisible = true;
    static constexpr int DefaultUIScalePercent = 100;
    // Action lists are KL::Action key names joined by "|"; the tool bar's may
    // also hold "Spacer" and "NewToolBarColumn".
    static constexpr QLatin1String DefaultToolBarActionList{
        "Draw|Erase|Spacer|BacklightOnOff|Spacer|Pan|Zoom|Rotate|Spacer|AddBlankDrawing|"
        "ClearDrawingMakingBlank|DiscardDrawing"};
    static constexpr QLatin1String DefaultPrimarySpeedDialActionList{
        "Play|Cutter|Erase|FitPaperToView|BacklightOnOff|ResetView|Draw|Lasso"};
    static constexpr QLatin1String DefaultSecondarySpeedDialActionList{
        "ToggleXSheetDragMode|LoseDrawingMakingHold|AddBlankDrawing|PencilPreset2|PencilPreset1|"
        "BrushPreset1|DiscardDrawing|ClearDrawingMakingBlank"};

    // The process-wide preferences, created with the built-in defaults on
    // first use.
    static Settings *instance();

    ~Settings() override;

    // Fills the record from the store; missing keys keep the current values.
    // Emits nothing.
    void load();

    bool showBeyondButtons() const;
    bool clonesLockedForDrawing() const;
    bool slideMode() const;
    KL::GridType gridType() const;
    KL::ThumbnailSize thumbnailSize() const;
    KL::TransparencyType transparencyType() const;
    KL::DrawCursorType drawCursorType() const;
    KL::DrawCursorOpacity drawCursorOpacity() const;
    QDir defaultSaveDir() const;
    QDir defaultImportDir() const;
    QSize defaultFrameSize() const;
    double defaultFrameRate() const;
    int defaultInitialNumberOfFrames() const;
    KL::FitMode defaultChangeFrameSizeFitMode() const;
    // The export records as last stored, except that an export directory
    // that is empty or no longer exists is handed out as the default save
    // directory.
    ExportFramesSettings exportFramesSettings() const;
    ExportExposureSheetSettings exportExposureSheetSettings() const;
    ExportVideoSettings exportVideoSettings() const;
    BacklightSettings backlightSettings() const;
    bool backlightOn() const;
    bool onlyBacklightKeyFrames() const;
    bool showHowToAnimateOnStartup() const;
    KL::ToolBarPosition toolBarPosition() const;
    bool toolBarVisible() const;
    QString toolBarActionList() const;
    QString primarySpeedDialActionList() const;
    QString secondarySpeedDialActionList() const;
    // Resolution multiplier for collapsing vector drawings into bitmaps.
    int collapseScaleFactor() const;
    bool collapseAutomatically() const;
    // Kept for the store's sake; has no effect on this platform.
    bool useWindowsInk() const;
    bool showXSheetTopBar() const;
    bool autoSaveEnabled() const;
    int autoSaveIntervalMins() const;
    int autoSaveNumFiles() const;
    int UIScalePercent() const;
    float UIScale() const;

    void setShowBeyondButtons(bool showBeyondButtons);
    void setClonesLockedForDrawing(bool clonesLockedForDrawing);
    // Not stored: the exposure sheet starts in add-clones mode every run.
    void setSlideMode(bool slideMode);
    void setGridType(KL::GridType gridType);
    void setThumbnailSize(KL::ThumbnailSize thumbnailSize);
    void setTransparencyType(KL::TransparencyType transparencyType);
    void setDrawCursorType(KL::DrawCursorType drawCursorType);
    void setDrawCursorOpacity(KL::DrawCursorOpacity drawCursorOpacity);
    void setDefaultSaveDir(const QDir &dir);
    void setDefaultImportDir(const QDir &dir);
    // Ignores a negative dimension and anything above 7680x4320.
    void setDefaultFrameSize(QSize size);
    // Ignores rates outside 12 to 60 frames per second.
    void setDefaultFrameRate(double rate);
    // Stores 1 for anything outside 2 to 1000.
    void setDefaultInitialNumberOfFrames(int frames);
    void setDefaultChangeFrameSizeFitMode(KL::FitMode fitMode);
    // Keep a copy without the file name; the directory is stored as given.
    void setExportFramesSettings(const ExportFramesSettings &settings);
    void setExportExposureSheetSettings(const ExportExposureSheetSettings &settings);
    void setExportVideoSettings(const ExportVideoSettings &settings);
    // Stores the whole record but writes only the two sets and the choice
    // between them; always emits backlightSettingsChanged.
    void setBacklightSettings(const BacklightSettings &settings);
    // Change the running backlight only; nothing is written.
    void setBacklightOn(bool on);
    void setOnlyBacklightKeyFrames(bool onlyKeyFrames);
    void setShowHowToAnimateOnStartup(bool show);
    void setToolBarPosition(KL::ToolBarPosition toolBarPosition);
    void setToolBarVisible(bool toolBarVisible);
    void setToolBarActionList(const QString &actions);
    void setPrimarySpeedDialActionList(const QString &actions);
    void setSecondarySpeedDialActionList(const QString &actions);
    void setCollapseAutomatically(bool collapse);
    void setUseWindowsInk(bool useInk);
    void setShowXSheetTopBar(bool show);
    void setAutoSaveEnabled(bool enabled);
    void setAutoSaveIntervalMins(int minutes);
    void setAutoSaveNumFiles(int files);
    void setUIScalePercent(int scalePercent);

    // Window geometry, read from and written to the store directly. An absent
    // geometry leaves `geometry` invalid.
    void mainWindowGeometry(QVariant &geometry, bool &xSheetOnLeft, bool &xSheetDetached,
                            bool &xSheetVisible, int &xSheetWidth) const;
    void setMainWindowGeometry(const QByteArray &geometry, bool xSheetOnLeft, bool xSheetDetached,
                               bool xSheetVisible, int xSheetWidth);
    void referenceDisplayGeometry(QVariant &geometry) const;
    void setReferenceDisplayGeometry(const QByteArray &geometry);
    void xSheetWindowGeometry(QVariant &geometry) const;
    void setXSheetWindowGeometry(const QByteArray &geometry);

    // Recently used scenes, newest first, at most ten. Paths naming the same
    // file count once; the newest spelling wins. No signals: the main window
    // rebuilds its menu itself.
    QStringList recentFiles() const;
    void addRecentFile(const QString &path);
    void removeRecentFile(const QString &path);
    void clearRecentFiles();

    // Size and opacity ranges of a drawing tool, in percent, per preset. They
    // live only in the store (no copy in memory, not part of load()). A
    // numbered preset that was never saved reads the tool's Default values,
    // and those fall back to the given defaults. Bounds are not checked.
    void setToolSizeRange(const QString &toolKey, KL::ToolPreset preset, double lower, double upper);
    void setToolOpacityRange(const QString &toolKey, KL::ToolPreset preset, double lower, double upper);
    void toolSizeRange(const QString &toolKey, KL::ToolPreset preset, double &lower, double &upper,
                       double defaultLower, double defaultUpper) const;
    void toolOpacityRange(const QString &toolKey, KL::ToolPreset preset, double &lower, double &upper,
                          double defaultLower, double defaultUpper) const;

Q_SIGNALS:
    void showBeyondButtonsChanged(bool showBeyondButtons);
    void clonesLockedForDrawingChanged(bool clonesLockedForDrawing);
    void slideModeChanged(bool slideMode);
    void gridTypeChanged(KL::GridType gridType);
    void thumbnailSizeChanged(KL::ThumbnailSize thumbnailSize);
    void transparencyTypeChanged(KL::TransparencyType transparencyType);
    void drawCursorTypeChanged(KL::DrawCursorType drawCursorType);
    void drawCursorOpacityChanged(KL::DrawCursorOpacity drawCursorOpacity);
    void backlightSettingsChanged(const Model::BacklightSettings &backlightSettings);
    void collapseAutomaticallyChanged(bool collapse);
    void useWindowsInkChanged(bool useInk);
    void showXSheetTopBarChanged(bool show);
    void autoSaveChanged();
    void toolBarPositionChanged(KL::ToolBarPosition toolBarPosition);
    void toolBarVisibleChanged(bool toolBarVisible);
    void UIScaleChanged(int scalePercent);

protected:
    // Only instance() makes the shared object; tests derive to get a fresh
    // one with the built-in defaults.
    Settings();

private:
    class SettingsPrivate;
    std::unique_ptr<SettingsPrivate> d;
};

} // namespace Model
