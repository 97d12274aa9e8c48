#include "settings.h"

#include <QFileInfo>
#include <QMetaEnum>
#include <QSettings>
#include <QStandardPaths>

#include <cmath>

namespace Model {

namespace {

const QString PreferencesGroup = QStringLiteral("Preferences");
const QString RecentFilesGroup = QStringLiteral("RecentFiles");
const QString RecentScenesKey = QStringLiteral("RecentScenes");
const QString ToolsGroup = QStringLiteral("Tools");

constexpr int MaxRecentFiles = 10;

constexpr QSize BuiltInFrameSize(1920, 1080);
constexpr double BuiltInFrameRate = 12.0;

template<typename Enum>
QString keyName(Enum value)
{
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(int(value)));
}

template<typename Enum>
void writeEnum(QSettings &store, const QString &key, Enum value)
{
    store.setValue(key, keyName(value));
}

// A name that is not a key gives the first value rather than `current`: a
// store written by another build must not leave a half-known choice behind.
template<typename Enum>
Enum readEnum(const QSettings &store, const QString &key, Enum current)
{
    const QString text = store.value(key, keyName(current)).toString();
    bool ok = false;
    const int value = QMetaEnum::fromType<Enum>().keyToValue(text.toLatin1().constData(), &ok);
    return ok ? Enum(value) : Enum(0);
}

void writeBacklightSetting(QSettings &store, const BacklightSetting &setting)
{
    store.setValue(QStringLiteral("OpacityLevelsBefore"),
                   BacklightSetting::opacityLevelsToString(setting.opacityLevelsBefore));
    store.setValue(QStringLiteral("OpacityLevelsAfter"),
                   BacklightSetting::opacityLevelsToString(setting.opacityLevelsAfter));
    writeEnum(store, QStringLiteral("HueShift"), setting.hueShift);
    writeEnum(store, QStringLiteral("ShowOption"), setting.showOption);
    writeEnum(store, QStringLiteral("Layers"), setting.layers);
}

// An absent list keeps the starting one; a present but empty text means the
// user asked for no steps on that side.
void readOpacityLevels(const QSettings &store, const QString &key, QList<double> &levels)
{
    const QVariant value = store.value(key);
    if (value.isValid() && value.canConvert<QString>())
        levels = BacklightSetting::opacityLevelsFromString(value.toString());
}

BacklightSetting readBacklightSetting(const QSettings &store, BacklightSetting setting)
{
    readOpacityLevels(store, QStringLiteral("OpacityLevelsBefore"), setting.opacityLevelsBefore);
    readOpacityLevels(store, QStringLiteral("OpacityLevelsAfter"), setting.opacityLevelsAfter);
    setting.hueShift = readEnum(store, QStringLiteral("HueShift"), setting.hueShift);
    setting.showOption = readEnum(store, QStringLiteral("ShowOption"), setting.showOption);
    setting.layers = readEnum(store, QStringLiteral("Layers"), setting.layers);
    return setting;
}

void readExportHead(const QSettings &store, ExportSettings &settings)
{
    settings.exportDir = store.value(QStringLiteral("ExportDir"), settings.exportDir).toString();
    settings.layers = readEnum(store, QStringLiteral("Layers"), settings.layers);
    settings.frames = readEnum(store, QStringLiteral("Frames"), settings.frames);
}

void writeExportHead(QSettings &store, const ExportSettings &settings)
{
    store.setValue(QStringLiteral("ExportDir"), QDir(settings.exportDir).absolutePath());
    writeEnum(store, QStringLiteral("Layers"), settings.layers);
    writeEnum(store, QStringLiteral("Frames"), settings.frames);
}

template<typename Record>
Record withExportDir(Record record, const QString &defaultSaveDir)
{
    if (record.exportDir.isEmpty() || !QDir(record.exportDir).exists())
        record.exportDir = defaultSaveDir;
    return record;
}

// Two spellings of a recent scene name the same file when their normal forms
// match. File names on this platform differ by case, so case is kept.
QString normalRecentPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(path)).absoluteFilePath());
}

void removeRecentPath(QStringList &list, const QString &path)
{
    const QString normal = normalRecentPath(path);
    list.removeIf([&normal](const QString &entry) { return normalRecentPath(entry) == normal; });
}

void writeRecentFiles(const QStringList &list)
{
    QSettings store;
    store.beginGroup(RecentFilesGroup);
    store.setValue(RecentScenesKey, list);
}

QString documentsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void writeToolRange(const QString &toolKey, KL::ToolPreset preset, const QString &lowerKey,
                    const QString &upperKey, double lower, double upper)
{
    QSettings store;
    store.beginGroup(PreferencesGroup);
    store.beginGroup(ToolsGroup);
    store.beginGroup(toolKey);
    if (preset != KL::ToolPreset::Default)
        store.beginGroup(keyName(preset));
    store.setValue(lowerKey, lower);
    store.setValue(upperKey, upper);
}

// A preset group is entered only when it exists, so that a preset the user
// never saved shows the tool's own ranges instead of the built-in ones.
void readToolRange(const QString &toolKey, KL::ToolPreset preset, const QString &lowerKey,
                   const QString &upperKey, double &lower, double &upper, double defaultLower,
                   double defaultUpper)
{
    QSettings store;
    store.beginGroup(PreferencesGroup);
    store.beginGroup(ToolsGroup);
    store.beginGroup(toolKey);
    if (preset != KL::ToolPreset::Default) {
        const QString presetGroup = keyName(preset);
        if (store.childGroups().contains(presetGroup, Qt::CaseSensitive))
            store.beginGroup(presetGroup);
    }
    lower = store.value(lowerKey, defaultLower).toDouble();
    upper = store.value(upperKey, defaultUpper).toDouble();
}

} // namespace

class Settings::SettingsPrivate
{
public:
    // Writes one key below "Preferences"; `key` may name a group path.
    static void write(const QString &key, const QVariant &value)
    {
        QSettings store;
        store.beginGroup(PreferencesGroup);
        store.setValue(key, value);
    }

    template<typename Enum>
    static void writeEnumPreference(const QString &key, Enum value)
    {
        write(key, keyName(value));
    }

    bool m_showBeyondButtons = false;
    bool m_clonesLockedForDrawing = DefaultClonesLockedForDrawing;
    bool m_slideMode = false;
    KL::GridType m_gridType = KL::GridType::FieldGuide;
    KL::ThumbnailSize m_thumbnailSize = KL::ThumbnailSize::ThumbnailMedium;
    KL::TransparencyType m_transparencyType = DefaultTransparencyType;
    KL::DrawCursorType m_drawCursorType = KL::DrawCursorType::AdaptToSize;
    KL::DrawCursorOpacity m_drawCursorOpacity = DefaultDrawCursorOpacity;
    QString m_defaultSaveDir;
    QString m_defaultImportDir;
    QSize m_defaultFrameSize = BuiltInFrameSize;
    double m_defaultFrameRate = BuiltInFrameRate;
    int m_defaultInitialNumberOfFrames = 1;
    KL::FitMode m_defaultChangeFrameSizeFitMode = KL::FitMode::FitModeKeepAspect;
    QStringList m_recentFiles;
    ExportFramesSettings m_exportFrames;
    ExportExposureSheetSettings m_exportExposureSheet;
    ExportVideoSettings m_exportVideo;
    BacklightSettings m_backlightSettings;
    bool m_showHowToAnimateOnStartup = true;
    KL::ToolBarPosition m_toolBarPosition = DefaultToolBarPosition;
    bool m_toolBarVisible = DefaultToolBarVisible;
    QString m_toolBarActionList = DefaultToolBarActionList;
    QString m_primarySpeedDialActionList = DefaultPrimarySpeedDialActionList;
    QString m_secondarySpeedDialActionList = DefaultSecondarySpeedDialActionList;
    int m_collapseScaleFactor = 2;
    bool m_collapseAutomatically = DefaultCollapseAutomatically;
    bool m_useWindowsInk = DefaultUseWindowsInk;
    bool m_showXSheetTopBar = DefaultShowXSheetTopBar;
    bool m_autoSaveEnabled = DefaultAutoSaveEnabled;
    int m_autoSaveIntervalMins = DefaultAutoSaveIntervalMins;
    int m_autoSaveNumFiles = DefaultAutoSaveNumFiles;
    int m_UIScalePercent = DefaultUIScalePercent;
};

Settings::Settings()
    : d(std::make_unique<SettingsPrivate>())
{
}

Settings::~Settings() = default;

Settings *Settings::instance()
{
    static Settings settings;
    return &settings;
}

void Settings::load()
{
    QSettings store;
    store.beginGroup(PreferencesGroup);

    d->m_showBeyondButtons = store.value(QStringLiteral("ShowBeyondButtons"), d->m_showBeyondButtons).toBool();
    d->m_clonesLockedForDrawing =
        store.value(QStringLiteral("ClonesLockedForDrawing"), d->m_clonesLockedForDrawing).toBool();
    d->m_defaultSaveDir = store.value(QStringLiteral("DefaultSaveDir"), documentsPath()).toString();
    d->m_defaultImportDir = store.value(QStringLiteral("DefaultImportDir"), documentsPath()).toString();
    // A size or rate that no scene can have would break every new scene, so
    // these two fall back to the built-in values instead of being taken as
    // they are.
    d->m_defaultFrameSize = store.value(QStringLiteral("DefaultFrameSize"), d->m_defaultFrameSize).toSize();
    if (d->m_defaultFrameSize.width() < 1 || d->m_defaultFrameSize.height() < 1)
        d->m_defaultFrameSize = BuiltInFrameSize;
    d->m_defaultFrameRate = store.value(QStringLiteral("DefaultFrameRate"), d->m_defaultFrameRate).toDouble();
    if (!(std::isfinite(d->m_defaultFrameRate) && d->m_defaultFrameRate > 0.0))
        d->m_defaultFrameRate = BuiltInFrameRate;
    d->m_defaultInitialNumberOfFrames =
        store.value(QStringLiteral("DefaultInitialNumberOfFrames"), d->m_defaultInitialNumberOfFrames).toInt();
    d->m_defaultChangeFrameSizeFitMode =
        readEnum(store, QStringLiteral("DefaultChangeFrameSizeFitMode"), d->m_defaultChangeFrameSizeFitMode);
    d->m_showHowToAnimateOnStartup =
        store.value(QStringLiteral("ShowHowToAnimateOnStartup"), d->m_showHowToAnimateOnStartup).toBool();
    d->m_collapseAutomatically =
        store.value(QStringLiteral("CollapseVectorDataAutomatically"), d->m_collapseAutomatically).toBool();
    d->m_useWindowsInk = store.value(QStringLiteral("UseWindowsInk"), d->m_useWindowsInk).toBool();
    d->m_UIScalePercent = store.value(QStringLiteral("UIScalePercent"), d->m_UIScalePercent).toInt();

    store.beginGroup(QStringLiteral("AutoSave"));
    d->m_autoSaveEnabled = store.value(QStringLiteral("Enabled"), d->m_autoSaveEnabled).toBool();
    d->m_autoSaveIntervalMins = store.value(QStringLiteral("IntervalMins"), d->m_autoSaveIntervalMins).toInt();
    d->m_autoSaveNumFiles = store.value(QStringLiteral("NumFiles"), d->m_autoSaveNumFiles).toInt();
    store.endGroup();

    store.beginGroup(QStringLiteral("Grid"));
    d->m_gridType = readEnum(store, QStringLiteral("Type"), d->m_gridType);
    store.endGroup();

    store.beginGroup(QStringLiteral("Transparency"));
    d->m_transparencyType = readEnum(store, QStringLiteral("Type"), d->m_transparencyType);
    store.endGroup();

    store.beginGroup(QStringLiteral("DrawCursor"));
    d->m_drawCursorType = readEnum(store, QStringLiteral("Type"), d->m_drawCursorType);
    d->m_drawCursorOpacity = readEnum(store, QStringLiteral("Opacity"), d->m_drawCursorOpacity);
    store.endGroup();

    store.beginGroup(QStringLiteral("ExportFrames"));
    ExportFramesSettings &frames = d->m_exportFrames;
    readExportHead(store, frames);
    frames.clones = readEnum(store, QStringLiteral("Clones"), frames.clones);
    frames.combineLayers = store.value(QStringLiteral("CombineLayers"), frames.combineLayers).toBool();
    frames.makeAllLinesBlack = store.value(QStringLiteral("MakeAllLinesBlack"), frames.makeAllLinesBlack).toBool();
    frames.imageFormat = readEnum(store, QStringLiteral("ImageFormat"), frames.imageFormat);
    frames.includeAlpha = store.value(QStringLiteral("IncludeAlpha"), frames.includeAlpha).toBool();
    store.endGroup();

    store.beginGroup(QStringLiteral("ExportExposureSheet"));
    ExportExposureSheetSettings &sheet = d->m_exportExposureSheet;
    readExportHead(store, sheet);
    sheet.imageFormat = readEnum(store, QStringLiteral("ImageFormat"), sheet.imageFormat);
    sheet.includeAudio = store.value(QStringLiteral("IncludeAudio"), sheet.includeAudio).toBool();
    store.endGroup();

    store.beginGroup(QStringLiteral("ExportVideo"));
    ExportVideoSettings &video = d->m_exportVideo;
    readExportHead(store, video);
    video.videoFormat = readEnum(store, QStringLiteral("VideoFormat"), video.videoFormat);
    video.includeAlpha = store.value(QStringLiteral("IncludeAlpha"), video.includeAlpha).toBool();
    video.includeAudio = store.value(QStringLiteral("IncludeAudio"), video.includeAudio).toBool();
    video.scalePercent = store.value(QStringLiteral("ScalePercent"), video.scalePercent).toInt();
    store.endGroup();

    BacklightSettings &backlight = d->m_backlightSettings;
    backlight.resetSetting(BacklightSettings::BacklightSettingA);
    store.beginGroup(QStringLiteral("BacklightSettingA"));
    backlight.settingA = readBacklightSetting(store, backlight.settingA);
    store.endGroup();
    backlight.resetSetting(BacklightSettings::BacklightSettingB);
    store.beginGroup(QStringLiteral("BacklightSettingB"));
    backlight.settingB = readBacklightSetting(store, backlight.settingB);
    store.endGroup();
    backlight.current = readEnum(store, QStringLiteral("CurrentBacklightSetting"), backlight.current);

    store.beginGroup(QStringLiteral("XSheet"));
    d->m_thumbnailSize = readEnum(store, QStringLiteral("ThumbnailSize"), d->m_thumbnailSize);
    d->m_showXSheetTopBar = store.value(QStringLiteral("ShowTopBar"), d->m_showXSheetTopBar).toBool();
    store.endGroup();

    store.beginGroup(QStringLiteral("ToolBar"));
    d->m_toolBarActionList = store.value(QStringLiteral("ActionList"), d->m_toolBarActionList).toString();
    d->m_toolBarPosition = readEnum(store, QStringLiteral("Position"), d->m_toolBarPosition);
    d->m_toolBarVisible = store.value(QStringLiteral("Visible"), d->m_toolBarVisible).toBool();
    store.endGroup();

    store.beginGroup(QStringLiteral("SpeedDials"));
    d->m_primarySpeedDialActionList =
        store.value(QStringLiteral("PrimaryActionList"), d->m_primarySpeedDialActionList).toString();
    d->m_secondarySpeedDialActionList =
        store.value(QStringLiteral("SecondaryActionList"), d->m_secondarySpeedDialActionList).toString();
    store.endGroup();

    store.endGroup();

    store.beginGroup(RecentFilesGroup);
    d->m_recentFiles = store.value(RecentScenesKey, d->m_recentFiles).toStringList();
    store.endGroup();
}

bool Settings::showBeyondButtons() const { return d->m_showBeyondButtons; }
bool Settings::clonesLockedForDrawing() const { return d->m_clonesLockedForDrawing; }
bool Settings::slideMode() const { return d->m_slideMode; }
KL::GridType Settings::gridType() const { return d->m_gridType; }
KL::ThumbnailSize Settings::thumbnailSize() const { return d->m_thumbnailSize; }
KL::TransparencyType Settings::transparencyType() const { return d->m_transparencyType; }
KL::DrawCursorType Settings::drawCursorType() const { return d->m_drawCursorType; }
KL::DrawCursorOpacity Settings::drawCursorOpacity() const { return d->m_drawCursorOpacity; }
QDir Settings::defaultSaveDir() const { return QDir(d->m_defaultSaveDir); }
QDir Settings::defaultImportDir() const { return QDir(d->m_defaultImportDir); }
QSize Settings::defaultFrameSize() const { return d->m_defaultFrameSize; }
double Settings::defaultFrameRate() const { return d->m_defaultFrameRate; }
int Settings::defaultInitialNumberOfFrames() const { return d->m_defaultInitialNumberOfFrames; }
KL::FitMode Settings::defaultChangeFrameSizeFitMode() const { return d->m_defaultChangeFrameSizeFitMode; }

ExportFramesSettings Settings::exportFramesSettings() const
{
    return withExportDir(d->m_exportFrames, d->m_defaultSaveDir);
}

ExportExposureSheetSettings Settings::exportExposureSheetSettings() const
{
    return withExportDir(d->m_exportExposureSheet, d->m_defaultSaveDir);
}

ExportVideoSettings Settings::exportVideoSettings() const
{
    return withExportDir(d->m_exportVideo, d->m_defaultSaveDir);
}

BacklightSettings Settings::backlightSettings() const { return d->m_backlightSettings; }
bool Settings::backlightOn() const { return d->m_backlightSettings.on; }
bool Settings::onlyBacklightKeyFrames() const { return d->m_backlightSettings.onlyKeyFrames; }
bool Settings::showHowToAnimateOnStartup() const { return d->m_showHowToAnimateOnStartup; }
KL::ToolBarPosition Settings::toolBarPosition() const { return d->m_toolBarPosition; }
bool Settings::toolBarVisible() const { return d->m_toolBarVisible; }
QString Settings::toolBarActionList() const { return d->m_toolBarActionList; }
QString Settings::primarySpeedDialActionList() const { return d->m_primarySpeedDialActionList; }
QString Settings::secondarySpeedDialActionList() const { return d->m_secondarySpeedDialActionList; }
int Settings::collapseScaleFactor() const { return d->m_collapseScaleFactor; }
bool Settings::collapseAutomatically() const { return d->m_collapseAutomatically; }
bool Settings::useWindowsInk() const { return d->m_useWindowsInk; }
bool Settings::showXSheetTopBar() const { return d->m_showXSheetTopBar; }
bool Settings::autoSaveEnabled() const { return d->m_autoSaveEnabled; }
int Settings::autoSaveIntervalMins() const { return d->m_autoSaveIntervalMins; }
int Settings::autoSaveNumFiles() const { return d->m_autoSaveNumFiles; }
int Settings::UIScalePercent() const { return d->m_UIScalePercent; }
float Settings::UIScale() const { return float(d->m_UIScalePercent) * 0.01f; }

void Settings::setShowBeyondButtons(bool showBeyondButtons)
{
    if (d->m_showBeyondButtons == showBeyondButtons)
        return;
    d->m_showBeyondButtons = showBeyondButtons;
    SettingsPrivate::write(QStringLiteral("ShowBeyondButtons"), showBeyondButtons);
    Q_EMIT showBeyondButtonsChanged(showBeyondButtons);
}

void Settings::setClonesLockedForDrawing(bool clonesLockedForDrawing)
{
    if (d->m_clonesLockedForDrawing == clonesLockedForDrawing)
        return;
    d->m_clonesLockedForDrawing = clonesLockedForDrawing;
    SettingsPrivate::write(QStringLiteral("ClonesLockedForDrawing"), clonesLockedForDrawing);
    Q_EMIT clonesLockedForDrawingChanged(clonesLockedForDrawing);
}

void Settings::setSlideMode(bool slideMode)
{
    if (d->m_slideMode == slideMode)
        return;
    d->m_slideMode = slideMode;
    Q_EMIT slideModeChanged(slideMode);
}

void Settings::setGridType(KL::GridType gridType)
{
    if (d->m_gridType == gridType)
        return;
    d->m_gridType = gridType;
    SettingsPrivate::writeEnumPreference(QStringLiteral("Grid/Type"), gridType);
    Q_EMIT gridTypeChanged(gridType);
}

void Settings::setThumbnailSize(KL::ThumbnailSize thumbnailSize)
{
    if (d->m_thumbnailSize == thumbnailSize)
        return;
    d->m_thumbnailSize = thumbnailSize;
    SettingsPrivate::writeEnumPreference(QStringLiteral("XSheet/ThumbnailSize"), thumbnailSize);
    Q_EMIT thumbnailSizeChanged(thumbnailSize);
}

void Settings::setTransparencyType(KL::TransparencyType transparencyType)
{
    if (d->m_transparencyType == transparencyType)
        return;
    d->m_transparencyType = transparencyType;
    SettingsPrivate::writeEnumPreference(QStringLiteral("Transparency/Type"), transparencyType);
    Q_EMIT transparencyTypeChanged(transparencyType);
}

void Settings::setDrawCursorType(KL::DrawCursorType drawCursorType)
{
    if (d->m_drawCursorType == drawCursorType)
        return;
    d->m_drawCursorType = drawCursorType;
    SettingsPrivate::writeEnumPreference(QStringLiteral("DrawCursor/Type"), drawCursorType);
    Q_EMIT drawCursorTypeChanged(drawCursorType);
}

void Settings::setDrawCursorOpacity(KL::DrawCursorOpacity drawCursorOpacity)
{
    if (d->m_drawCursorOpacity == drawCursorOpacity)
        return;
    d->m_drawCursorOpacity = drawCursorOpacity;
    SettingsPrivate::writeEnumPreference(QStringLiteral("DrawCursor/Opacity"), drawCursorOpacity);
    Q_EMIT drawCursorOpacityChanged(drawCursorOpacity);
}

void Settings::setDefaultSaveDir(const QDir &dir)
{
    d->m_defaultSaveDir = dir.absolutePath();
    SettingsPrivate::write(QStringLiteral("DefaultSaveDir"), d->m_defaultSaveDir);
}

void Settings::setDefaultImportDir(const QDir &dir)
{
    d->m_defaultImportDir = dir.absolutePath();
    SettingsPrivate::write(QStringLiteral("DefaultImportDir"), d->m_defaultImportDir);
}

void Settings::setDefaultFrameSize(QSize size)
{
    // A scene needs at least one pixel: an empty size would be replaced on the
    // next load anyway, so it is refused here like any other out-of-range size.
    if (size.width() < 1 || size.height() < 1 || size.width() > 7680 || size.height() > 4320)
        return;
    d->m_defaultFrameSize = size;
    SettingsPrivate::write(QStringLiteral("DefaultFrameSize"), size);
}

void Settings::setDefaultFrameRate(double rate)
{
    if (!(rate >= 12.0 && rate <= 60.0))
        return;
    d->m_defaultFrameRate = rate;
    SettingsPrivate::write(QStringLiteral("DefaultFrameRate"), rate);
}

void Settings::setDefaultInitialNumberOfFrames(int frames)
{
    d->m_defaultInitialNumberOfFrames = (frames >= 2 && frames <= 1000) ? frames : 1;
    SettingsPrivate::write(QStringLiteral("DefaultInitialNumberOfFrames"), d->m_defaultInitialNumberOfFrames);
}

void Settings::setDefaultChangeFrameSizeFitMode(KL::FitMode fitMode)
{
    d->m_defaultChangeFrameSizeFitMode = fitMode;
    SettingsPrivate::writeEnumPreference(QStringLiteral("DefaultChangeFrameSizeFitMode"), fitMode);
}

void Settings::setExportFramesSettings(const ExportFramesSettings &settings)
{
    ExportFramesSettings &stored = d->m_exportFrames;
    stored = settings;
    stored.name.clear();

    QSettings store;
    store.beginGroup(PreferencesGroup);
    store.beginGroup(QStringLiteral("ExportFrames"));
    writeExportHead(store, stored);
    writeEnum(store, QStringLiteral("Clones"), stored.clones);
    store.setValue(QStringLiteral("CombineLayers"), stored.combineLayers);
    store.setValue(QStringLiteral("MakeAllLinesBlack"), stored.makeAllLinesBlack);
    writeEnum(store, QStringLiteral("ImageFormat"), stored.imageFormat);
    store.setValue(QStringLiteral("IncludeAlpha"), stored.includeAlpha);
}

void Settings::setExportExposureSheetSettings(const ExportExposureSheetSettings &settings)
{
    ExportExposureSheetSettings &stored = d->m_exportExposureSheet;
    stored = settings;
    stored.name.clear();

    QSettings store;
    store.beginGroup(PreferencesGroup);
    store.beginGroup(QStringLiteral("ExportExposureSheet"));
    writeExportHead(store, stored);
    writeEnum(store, QStringLiteral("ImageFormat"), stored.imageFormat);
    store.setValue(QStringLiteral("IncludeAudio"), stored.includeAudio);
}

void Settings::setExportVideoSettings(const ExportVideoSettings &settings)
{
    ExportVideoSettings &stored = d->m_exportVideo;
    stored = settings;
    stored.name.clear();

    QSettings store;
    store.beginGroup(PreferencesGroup);
    store.beginGroup(QStringLiteral("ExportVideo"));
    writeExportHead(store, stored);
    writeEnum(store, QStringLiteral("VideoFormat"), stored.videoFormat);
    store.setValue(QStringLiteral("IncludeAlpha"), stored.includeAlpha);
    store.setValue(QStringLiteral("IncludeAudio"), stored.includeAudio);
    store.setValue(QStringLiteral("ScalePercent"), stored.scalePercent);
}

void Settings::setBacklightSettings(const BacklightSettings &settings)
{
    d->m_backlightSettings = settings;
    {
        QSettings store;
        store.beginGroup(PreferencesGroup);
        store.beginGroup(QStringLiteral("BacklightSettingA"));
        writeBacklightSetting(store, settings.settingA);
        store.endGroup();
        store.beginGroup(QStringLiteral("BacklightSettingB"));
        writeBacklightSetting(store, settings.settingB);
        store.endGroup();
        writeEnum(store, QStringLiteral("CurrentBacklightSetting"), settings.current);
    }
    Q_EMIT backlightSettingsChanged(d->m_backlightSettings);
}

void Settings::setBacklightOn(bool on)
{
    if (d->m_backlightSettings.on == on)
        return;
    d->m_backlightSettings.on = on;
    Q_EMIT backlightSettingsChanged(d->m_backlightSettings);
}

void Settings::setOnlyBacklightKeyFrames(bool onlyKeyFrames)
{
    if (d->m_backlightSettings.onlyKeyFrames == onlyKeyFrames)
        return;
    d->m_backlightSettings.onlyKeyFrames = onlyKeyFrames;
    Q_EMIT backlightSettingsChanged(d->m_backlightSettings);
}

void Settings::setShowHowToAnimateOnStartup(bool show)
{
    if (d->m_showHowToAnimateOnStartup == show)
        return;
    d->m_showHowToAnimateOnStartup = show;
    SettingsPrivate::write(QStringLiteral("ShowHowToAnimateOnStartup"), show);
}

void Settings::setToolBarPosition(KL::ToolBarPosition toolBarPosition)
{
    if (d->m_toolBarPosition == toolBarPosition)
        return;
    d->m_toolBarPosition = toolBarPosition;
    SettingsPrivate::writeEnumPreference(QStringLiteral("ToolBar/Position"), toolBarPosition);
    Q_EMIT toolBarPositionChanged(toolBarPosition);
}

void Settings::setToolBarVisible(bool toolBarVisible)
{
    if (d->m_toolBarVisible == toolBarVisible)
        return;
    d->m_toolBarVisible = toolBarVisible;
    SettingsPrivate::write(QStringLiteral("ToolBar/Visible"), toolBarVisible);
    Q_EMIT toolBarVisibleChanged(toolBarVisible);
}

void Settings::setToolBarActionList(const QString &actions)
{
    if (d->m_toolBarActionList == actions)
        return;
    d->m_toolBarActionList = actions;
    SettingsPrivate::write(QStringLiteral("ToolBar/ActionList"), actions);
}

void Settings::setPrimarySpeedDialActionList(const QString &actions)
{
    if (d->m_primarySpeedDialActionList == actions)
        return;
    d->m_primarySpeedDialActionList = actions;
    SettingsPrivate::write(QStringLiteral("SpeedDials/PrimaryActionList"), actions);
}

void Settings::setSecondarySpeedDialActionList(const QString &actions)
{
    if (d->m_secondarySpeedDialActionList == actions)
        return;
    d->m_secondarySpeedDialActionList = actions;
    SettingsPrivate::write(QStringLiteral("SpeedDials/SecondaryActionList"), actions);
}

void Settings::setCollapseAutomatically(bool collapse)
{
    if (d->m_collapseAutomatically == collapse)
        return;
    d->m_collapseAutomatically = collapse;
    SettingsPrivate::write(QStringLiteral("CollapseVectorDataAutomatically"), collapse);
    Q_EMIT collapseAutomaticallyChanged(collapse);
}

void Settings::setUseWindowsInk(bool useInk)
{
    if (d->m_useWindowsInk == useInk)
        return;
    d->m_useWindowsInk = useInk;
    SettingsPrivate::write(QStringLiteral("UseWindowsInk"), useInk);
    Q_EMIT useWindowsInkChanged(useInk);
}

void Settings::setShowXSheetTopBar(bool show)
{
    if (d->m_showXSheetTopBar == show)
        return;
    d->m_showXSheetTopBar = show;
    SettingsPrivate::write(QStringLiteral("XSheet/ShowTopBar"), show);
    Q_EMIT showXSheetTopBarChanged(show);
}

void Settings::setAutoSaveEnabled(bool enabled)
{
    if (d->m_autoSaveEnabled == enabled)
        return;
    d->m_autoSaveEnabled = enabled;
    SettingsPrivate::write(QStringLiteral("AutoSave/Enabled"), enabled);
    Q_EMIT autoSaveChanged();
}

void Settings::setAutoSaveIntervalMins(int minutes)
{
    if (d->m_autoSaveIntervalMins == minutes)
        return;
    d->m_autoSaveIntervalMins = minutes;
    SettingsPrivate::write(QStringLiteral("AutoSave/IntervalMins"), minutes);
    Q_EMIT autoSaveChanged();
}

void Settings::setAutoSaveNumFiles(int files)
{
    if (d->m_autoSaveNumFiles == files)
        return;
    d->m_autoSaveNumFiles = files;
    SettingsPrivate::write(QStringLiteral("AutoSave/NumFiles"), files);
    Q_EMIT autoSaveChanged();
}

void Settings::setUIScalePercent(int scalePercent)
{
    if (d->m_UIScalePercent == scalePercent)
        return;
    d->m_UIScalePercent = scalePercent;
    SettingsPrivate::write(QStringLiteral("UIScalePercent"), scalePercent);
    Q_EMIT UIScaleChanged(scalePercent);
}

void Settings::mainWindowGeometry(QVariant &geometry, bool &xSheetOnLeft, bool &xSheetDetached,
                                  bool &xSheetVisible, int &xSheetWidth) const
{
    QSettings store;
    store.beginGroup(QStringLiteral("MainWindow"));
    geometry = store.value(QStringLiteral("geometry"));
    xSheetOnLeft = store.value(QStringLiteral("xSheetOnLeft"), true).toBool();
    xSheetDetached = store.value(QStringLiteral("xSheetDetached"), false).toBool();
    xSheetVisible = store.value(QStringLiteral("xSheetVisible"), true).toBool();
    xSheetWidth = store.value(QStringLiteral("xSheetWidth"), 0).toInt();
}

void Settings::setMainWindowGeometry(const QByteArray &geometry, bool xSheetOnLeft, bool xSheetDetached,
                                     bool xSheetVisible, int xSheetWidth)
{
    QSettings store;
    store.beginGroup(QStringLiteral("MainWindow"));
    store.setValue(QStringLiteral("geometry"), geometry);
    store.setValue(QStringLiteral("xSheetOnLeft"), xSheetOnLeft);
    store.setValue(QStringLiteral("xSheetDetached"), xSheetDetached);
    store.setValue(QStringLiteral("xSheetVisible"), xSheetVisible);
    store.setValue(QStringLiteral("xSheetWidth"), xSheetWidth);
}

void Settings::referenceDisplayGeometry(QVariant &geometry) const
{
    QSettings store;
    geometry = store.value(QStringLiteral("ReferenceDisplay/geometry"));
}

void Settings::setReferenceDisplayGeometry(const QByteArray &geometry)
{
    QSettings store;
    store.setValue(QStringLiteral("ReferenceDisplay/geometry"), geometry);
}

void Settings::xSheetWindowGeometry(QVariant &geometry) const
{
    QSettings store;
    geometry = store.value(QStringLiteral("XSheetWindow/geometry"));
}

void Settings::setXSheetWindowGeometry(const QByteArray &geometry)
{
    QSettings store;
    store.setValue(QStringLiteral("XSheetWindow/geometry"), geometry);
}

QStringList Settings::recentFiles() const
{
    return d->m_recentFiles;
}

void Settings::addRecentFile(const QString &path)
{
    if (path.isEmpty())
        return;
    removeRecentPath(d->m_recentFiles, path);
    d->m_recentFiles.prepend(path);
    while (d->m_recentFiles.size() > MaxRecentFiles)
        d->m_recentFiles.removeLast();
    writeRecentFiles(d->m_recentFiles);
}

void Settings::removeRecentFile(const QString &path)
{
    if (path.isEmpty())
        return;
    removeRecentPath(d->m_recentFiles, path);
    writeRecentFiles(d->m_recentFiles);
}

void Settings::clearRecentFiles()
{
    d->m_recentFiles.clear();
    writeRecentFiles(d->m_recentFiles);
}

void Settings::setToolSizeRange(const QString &toolKey, KL::ToolPreset preset, double lower, double upper)
{
    writeToolRange(toolKey, preset, QStringLiteral("SizeRangeLowerPercent"),
                   QStringLiteral("SizeRangeUpperPercent"), lower, upper);
}

void Settings::setToolOpacityRange(const QString &toolKey, KL::ToolPreset preset, double lower, double upper)
{
    writeToolRange(toolKey, preset, QStringLiteral("OpacityRangeLowerPercent"),
                   QStringLiteral("OpacityRangeUpperPercent"), lower, upper);
}

void Settings::toolSizeRange(const QString &toolKey, KL::ToolPreset preset, double &lower, double &upper,
                             double defaultLower, double defaultUpper) const
{
    readToolRange(toolKey, preset, QStringLiteral("SizeRangeLowerPercent"),
                  QStringLiteral("SizeRangeUpperPercent"), lower, upper, defaultLower, defaultUpper);
}

void Settings::toolOpacityRange(const QString &toolKey, KL::ToolPreset preset, double &lower, double &upper,
                                double defaultLower, double defaultUpper) const
{
    readToolRange(toolKey, preset, QStringLiteral("OpacityRangeLowerPercent"),
                  QStringLiteral("OpacityRangeUpperPercent"), lower, upper, defaultLower, defaultUpper);
}

} // namespace Model

#include "moc_settings.cpp"
