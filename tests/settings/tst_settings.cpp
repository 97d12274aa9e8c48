#include "settings/settings.h"

#include <QCoreApplication>
#include <QLocale>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <functional>
#include <limits>
#include <memory>

using namespace Model;

namespace {

// A preferences object of its own for each test, starting from the built-in
// defaults rather than from whatever an earlier test left in the singleton.
class FreshSettings : public Settings
{
};

QVariant stored(const QString &key)
{
    return QSettings().value(QStringLiteral("Preferences/") + key);
}

void store(const QString &key, const QVariant &value)
{
    QSettings().setValue(QStringLiteral("Preferences/") + key, value);
}

// One "set when changed" preference: how to set it to its default and to
// another value, which signal announces it, and what lands in the store.
struct WatchedPreference
{
    std::function<void(Settings &)> setDefault;
    std::function<void(Settings &)> setOther;
    std::function<std::unique_ptr<QSignalSpy>(Settings *)> spy;
    QString key;          // empty when the preference is not stored
    QString storedText;   // the store's text after setOther
    QVariant signalValue; // invalid when the signal has no argument
};

template<typename Value>
WatchedPreference watched(void (Settings::*setter)(Value), Value defaultValue, Value other,
                          void (Settings::*signal)(Value), const QString &key, const QString &storedText)
{
    return {[=](Settings &s) { (s.*setter)(defaultValue); },
            [=](Settings &s) { (s.*setter)(other); },
            [=](Settings *s) { return std::make_unique<QSignalSpy>(s, signal); },
            key,
            storedText,
            QVariant::fromValue(other)};
}

WatchedPreference watchedAutoSave(void (Settings::*setter)(int), int defaultValue, int other, const QString &key)
{
    return {[=](Settings &s) { (s.*setter)(defaultValue); },
            [=](Settings &s) { (s.*setter)(other); },
            [](Settings *s) { return std::make_unique<QSignalSpy>(s, &Settings::autoSaveChanged); },
            key,
            QString::number(other),
            QVariant()};
}

} // namespace

Q_DECLARE_METATYPE(WatchedPreference)

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void emptyStoreGivesEveryDefault();
    void storedValuesLoadAsTheyAre();
    void enumeratedPreferenceByName_data();
    void enumeratedPreferenceByName();
    void badFrameSizeOrRateReplacedOnLoad_data();
    void badFrameSizeOrRateReplacedOnLoad();

    void watchedSetterEmitsOnlyOnChange_data();
    void watchedSetterEmitsOnlyOnChange();
    void silentSettersWriteOnlyOnChange();
    void autoSaveSignalOncePerChange();
    void defaultFrameRateLimits_data();
    void defaultFrameRateLimits();
    void defaultFrameSizeLimits_data();
    void defaultFrameSizeLimits();
    void initialNumberOfFrames_data();
    void initialNumberOfFrames();
    void alwaysWrittenSetters();

    void backlightStoredSetsAndChoice();
    void backlightLevelKeys_data();
    void backlightLevelKeys();
    void backlightSwitchesAreNotStored();

    void windowGeometry();

    void recentFilesAddAndCollapse_data();
    void recentFilesAddAndCollapse();
    void recentFilesKeepTen();
    void recentFilesRemoveAndClear();
    void recentFilesIgnoreEmptyPath();

    void toolRangeFallbacks_data();
    void toolRangeFallbacks();
    void toolRangeDefaultPresetHasNoGroup();
};

void TestSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
}

void TestSettings::init()
{
    QSettings().clear();
}

void TestSettings::emptyStoreGivesEveryDefault()
{
    FreshSettings s;
    s.load();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);

    QCOMPARE(s.showBeyondButtons(), false);
    QCOMPARE(s.clonesLockedForDrawing(), false);
    QCOMPARE(s.slideMode(), false);
    QCOMPARE(s.gridType(), KL::GridType::FieldGuide);
    QCOMPARE(s.thumbnailSize(), KL::ThumbnailSize::ThumbnailMedium);
    QCOMPARE(s.transparencyType(), KL::TransparencyType::TransparencyWhite);
    QCOMPARE(s.drawCursorType(), KL::DrawCursorType::AdaptToSize);
    QCOMPARE(s.drawCursorOpacity(), KL::DrawCursorOpacity::Faint);
    QCOMPARE(s.defaultSaveDir(), QDir(documents));
    QCOMPARE(s.defaultImportDir(), QDir(documents));
    QCOMPARE(s.defaultFrameSize(), QSize(1920, 1080));
    QCOMPARE(s.defaultFrameRate(), 12.0);
    QCOMPARE(s.defaultInitialNumberOfFrames(), 1);
    QCOMPARE(s.defaultChangeFrameSizeFitMode(), KL::FitMode::FitModeKeepAspect);
    QVERIFY(s.recentFiles().isEmpty());
    QCOMPARE(s.showHowToAnimateOnStartup(), true);
    QCOMPARE(s.toolBarPosition(), KL::ToolBarPosition::Right);
    QCOMPARE(s.toolBarVisible(), true);
    QCOMPARE(s.toolBarActionList(),
             QStringLiteral("Draw|Erase|Spacer|BacklightOnOff|Spacer|Pan|Zoom|Rotate|Spacer|"
                            "AddBlankDrawing|ClearDrawingMakingBlank|DiscardDrawing"));
    QCOMPARE(s.primarySpeedDialActionList(),
             QStringLiteral("Play|Cutter|Erase|FitPaperToView|BacklightOnOff|ResetView|Draw|Lasso"));
    QCOMPARE(s.secondarySpeedDialActionList(),
             QStringLiteral("ToggleXSheetDragMode|LoseDrawingMakingHold|AddBlankDrawing|PencilPreset2|"
                            "PencilPreset1|BrushPreset1|DiscardDrawing|ClearDrawingMakingBlank"));
    QCOMPARE(s.collapseScaleFactor(), 2);
    QCOMPARE(s.collapseAutomatically(), false);
    QCOMPARE(s.useWindowsInk(), false);
    QCOMPARE(s.showXSheetTopBar(), false);
    QCOMPARE(s.autoSaveEnabled(), false);
    QCOMPARE(s.autoSaveIntervalMins(), 15);
    QCOMPARE(s.autoSaveNumFiles(), 3);
    QCOMPARE(s.UIScalePercent(), 100);
    QCOMPARE(s.UIScale(), 1.0f);

    const BacklightSettings backlight = s.backlightSettings();
    QCOMPARE(backlight.on, false);
    QCOMPARE(s.backlightOn(), false);
    QCOMPARE(s.onlyBacklightKeyFrames(), false);
    QCOMPARE(backlight.current, BacklightSettings::BacklightSettingA);
    QCOMPARE(backlight.settingA.opacityLevelsBefore, (QList<double>{0.3, 0.2, 0.15, 0.0}));
    QCOMPARE(backlight.settingA.opacityLevelsAfter, (QList<double>{0.3, 0.2, 0.15, 0.0}));
    QCOMPARE(backlight.settingB.opacityLevelsBefore, (QList<double>{0.3, 0.0, 0.0, 0.0}));
    QCOMPARE(backlight.settingB.opacityLevelsAfter, (QList<double>{0.3, 0.0, 0.0, 0.0}));

    // Loading never writes.
    QVERIFY(QSettings().allKeys().isEmpty());
}

void TestSettings::storedValuesLoadAsTheyAre()
{
    store(QStringLiteral("DefaultFrameRate"), 100.0);
    store(QStringLiteral("UIScalePercent"), 333);
    store(QStringLiteral("DefaultInitialNumberOfFrames"), 5000);
    store(QStringLiteral("AutoSave/IntervalMins"), 7);
    store(QStringLiteral("AutoSave/NumFiles"), QStringLiteral("many"));
    store(QStringLiteral("DefaultFrameSize"), QSize(9000, 9000));
    store(QStringLiteral("DefaultSaveDir"), QStringLiteral("/no/such/folder"));
    store(QStringLiteral("ToolBar/ActionList"), QStringLiteral("Draw|Nonsense"));

    FreshSettings s;
    QSignalSpy spy(&s, &Settings::autoSaveChanged);
    s.load();
    QCOMPARE(s.defaultFrameRate(), 100.0);
    QCOMPARE(s.UIScalePercent(), 333);
    QCOMPARE(s.defaultInitialNumberOfFrames(), 5000);
    QCOMPARE(s.autoSaveIntervalMins(), 7);
    QCOMPARE(s.autoSaveNumFiles(), 0);
    QCOMPARE(s.defaultFrameSize(), QSize(9000, 9000));
    QCOMPARE(s.defaultSaveDir().path(), QStringLiteral("/no/such/folder"));
    QCOMPARE(s.toolBarActionList(), QStringLiteral("Draw|Nonsense"));
    QCOMPARE(spy.count(), 0);
}

void TestSettings::enumeratedPreferenceByName_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("tool bar Right") << "ToolBar/Position" << "Right" << 1;
    QTest::newRow("tool bar Middle is Left") << "ToolBar/Position" << "Middle" << 0;
    QTest::newRow("tool bar lower case is Left") << "ToolBar/Position" << "right" << 0;
    QTest::newRow("thumbnail unknown is tiny") << "XSheet/ThumbnailSize" << "Huge" << 0;
    QTest::newRow("transparency black") << "Transparency/Type" << "TransparencyBlack" << 7;
    QTest::newRow("transparency empty is first") << "Transparency/Type" << "" << 0;
    QTest::newRow("grid Renaissance") << "Grid/Type" << "Renaissance" << 4;
    QTest::newRow("grid lower case is FieldGuide") << "Grid/Type" << "renaissance" << 0;
    QTest::newRow("cursor opacity") << "DrawCursor/Opacity" << "Opaque" << 1;
    QTest::newRow("fit mode unknown is Stretch") << "DefaultChangeFrameSizeFitMode" << "Crop" << 0;
    QTest::newRow("backlight set B") << "CurrentBacklightSetting" << "BacklightSettingB" << 1;
    QTest::newRow("backlight set other is A") << "CurrentBacklightSetting" << "B" << 0;
}

void TestSettings::enumeratedPreferenceByName()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(int, value);

    store(key, text);
    FreshSettings s;
    s.load();

    const QHash<QString, int> loaded{
        {QStringLiteral("ToolBar/Position"), int(s.toolBarPosition())},
        {QStringLiteral("XSheet/ThumbnailSize"), int(s.thumbnailSize())},
        {QStringLiteral("Transparency/Type"), int(s.transparencyType())},
        {QStringLiteral("Grid/Type"), int(s.gridType())},
        {QStringLiteral("DrawCursor/Type"), int(s.drawCursorType())},
        {QStringLiteral("DrawCursor/Opacity"), int(s.drawCursorOpacity())},
        {QStringLiteral("DefaultChangeFrameSizeFitMode"), int(s.defaultChangeFrameSizeFitMode())},
        {QStringLiteral("CurrentBacklightSetting"), int(s.backlightSettings().current)},
    };
    QVERIFY(loaded.contains(key));
    QCOMPARE(loaded.value(key), value);
}

void TestSettings::badFrameSizeOrRateReplacedOnLoad_data()
{
    QTest::addColumn<QVariant>("size");
    QTest::addColumn<QVariant>("rate");
    QTest::addColumn<QSize>("expectedSize");
    QTest::addColumn<double>("expectedRate");

    const QSize builtInSize(1920, 1080);
    QTest::newRow("zero size") << QVariant(QSize(0, 0)) << QVariant(24.0) << builtInSize << 24.0;
    QTest::newRow("negative width") << QVariant(QSize(-5, 10)) << QVariant(24.0) << builtInSize << 24.0;
    QTest::newRow("size as text") << QVariant(QStringLiteral("big")) << QVariant(24.0) << builtInSize << 24.0;
    QTest::newRow("smallest size") << QVariant(QSize(1, 1)) << QVariant(24.0) << QSize(1, 1) << 24.0;
    QTest::newRow("zero rate") << QVariant(QSize(640, 480)) << QVariant(0.0) << QSize(640, 480) << 12.0;
    QTest::newRow("negative rate") << QVariant(QSize(640, 480)) << QVariant(-24.0) << QSize(640, 480) << 12.0;
    QTest::newRow("rate as text") << QVariant(QSize(640, 480)) << QVariant(QStringLiteral("fast")) << QSize(640, 480)
                                  << 12.0;
    QTest::newRow("infinite rate") << QVariant(QSize(640, 480))
                                   << QVariant(std::numeric_limits<double>::infinity()) << QSize(640, 480) << 12.0;
    QTest::newRow("NaN rate") << QVariant(QSize(640, 480)) << QVariant(std::numeric_limits<double>::quiet_NaN())
                              << QSize(640, 480) << 12.0;
    QTest::newRow("slow rate kept") << QVariant(QSize(640, 480)) << QVariant(0.5) << QSize(640, 480) << 0.5;
}

void TestSettings::badFrameSizeOrRateReplacedOnLoad()
{
    QFETCH(QVariant, size);
    QFETCH(QVariant, rate);
    QFETCH(QSize, expectedSize);
    QFETCH(double, expectedRate);

    store(QStringLiteral("DefaultFrameSize"), size);
    store(QStringLiteral("DefaultFrameRate"), rate);
    FreshSettings s;
    s.load();
    QCOMPARE(s.defaultFrameSize(), expectedSize);
    QCOMPARE(s.defaultFrameRate(), expectedRate);
}

void TestSettings::watchedSetterEmitsOnlyOnChange_data()
{
    QTest::addColumn<WatchedPreference>("preference");

    using S = Settings;
    QTest::newRow("showBeyondButtons")
        << watched(&S::setShowBeyondButtons, false, true, &S::showBeyondButtonsChanged, "ShowBeyondButtons", "true");
    QTest::newRow("clonesLockedForDrawing") << watched(&S::setClonesLockedForDrawing, false, true,
                                                       &S::clonesLockedForDrawingChanged, "ClonesLockedForDrawing",
                                                       "true");
    QTest::newRow("slideMode") << watched(&S::setSlideMode, false, true, &S::slideModeChanged, "", "");
    QTest::newRow("gridType") << watched(&S::setGridType, KL::GridType::FieldGuide, KL::GridType::Thirds,
                                         &S::gridTypeChanged, "Grid/Type", "Thirds");
    QTest::newRow("thumbnailSize") << watched(&S::setThumbnailSize, KL::ThumbnailSize::ThumbnailMedium,
                                              KL::ThumbnailSize::ThumbnailLarge, &S::thumbnailSizeChanged,
                                              "XSheet/ThumbnailSize", "ThumbnailLarge");
    QTest::newRow("transparencyType") << watched(&S::setTransparencyType, KL::TransparencyType::TransparencyWhite,
                                                 KL::TransparencyType::TransparencyLargeCheckersDark,
                                                 &S::transparencyTypeChanged, "Transparency/Type",
                                                 "TransparencyLargeCheckersDark");
    QTest::newRow("drawCursorType") << watched(&S::setDrawCursorType, KL::DrawCursorType::AdaptToSize,
                                               KL::DrawCursorType::FixedSmall, &S::drawCursorTypeChanged,
                                               "DrawCursor/Type", "FixedSmall");
    QTest::newRow("drawCursorOpacity") << watched(&S::setDrawCursorOpacity, KL::DrawCursorOpacity::Faint,
                                                  KL::DrawCursorOpacity::Opaque, &S::drawCursorOpacityChanged,
                                                  "DrawCursor/Opacity", "Opaque");
    QTest::newRow("toolBarPosition") << watched(&S::setToolBarPosition, KL::ToolBarPosition::Right,
                                                KL::ToolBarPosition::Left, &S::toolBarPositionChanged,
                                                "ToolBar/Position", "Left");
    QTest::newRow("toolBarVisible")
        << watched(&S::setToolBarVisible, true, false, &S::toolBarVisibleChanged, "ToolBar/Visible", "false");
    QTest::newRow("collapseAutomatically") << watched(&S::setCollapseAutomatically, false, true,
                                                      &S::collapseAutomaticallyChanged,
                                                      "CollapseVectorDataAutomatically", "true");
    QTest::newRow("useWindowsInk")
        << watched(&S::setUseWindowsInk, false, true, &S::useWindowsInkChanged, "UseWindowsInk", "true");
    QTest::newRow("showXSheetTopBar")
        << watched(&S::setShowXSheetTopBar, false, true, &S::showXSheetTopBarChanged, "XSheet/ShowTopBar", "true");
    QTest::newRow("UIScalePercent")
        << watched(&S::setUIScalePercent, 100, 125, &S::UIScaleChanged, "UIScalePercent", "125");
    QTest::newRow("autoSaveEnabled") << WatchedPreference{
        [](Settings &s) { s.setAutoSaveEnabled(false); },
        [](Settings &s) { s.setAutoSaveEnabled(true); },
        [](Settings *s) { return std::make_unique<QSignalSpy>(s, &Settings::autoSaveChanged); },
        QStringLiteral("AutoSave/Enabled"),
        QStringLiteral("true"),
        QVariant()};
    QTest::newRow("autoSaveIntervalMins")
        << watchedAutoSave(&S::setAutoSaveIntervalMins, 15, 60, QStringLiteral("AutoSave/IntervalMins"));
    QTest::newRow("autoSaveNumFiles")
        << watchedAutoSave(&S::setAutoSaveNumFiles, 3, 9, QStringLiteral("AutoSave/NumFiles"));
}

void TestSettings::watchedSetterEmitsOnlyOnChange()
{
    QFETCH(WatchedPreference, preference);

    FreshSettings s;
    s.load();
    const std::unique_ptr<QSignalSpy> spy = preference.spy(&s);
    QVERIFY(spy->isValid());

    preference.setDefault(s);
    QCOMPARE(spy->count(), 0);
    QVERIFY(QSettings().allKeys().isEmpty());

    preference.setOther(s);
    QCOMPARE(spy->count(), 1);
    if (preference.signalValue.isValid())
        QCOMPARE(spy->at(0).at(0), preference.signalValue);
    if (preference.key.isEmpty())
        QVERIFY(QSettings().allKeys().isEmpty());
    else
        QCOMPARE(stored(preference.key).toString(), preference.storedText);

    preference.setOther(s);
    QCOMPARE(spy->count(), 1);
}

void TestSettings::silentSettersWriteOnlyOnChange()
{
    FreshSettings s;
    s.load();
    s.setShowHowToAnimateOnStartup(true);
    s.setToolBarActionList(QString(Settings::DefaultToolBarActionList));
    s.setPrimarySpeedDialActionList(QString(Settings::DefaultPrimarySpeedDialActionList));
    s.setSecondarySpeedDialActionList(QString(Settings::DefaultSecondarySpeedDialActionList));
    QVERIFY(QSettings().allKeys().isEmpty());

    s.setShowHowToAnimateOnStartup(false);
    s.setToolBarActionList(QStringLiteral("Draw|NewToolBarColumn|Erase"));
    s.setPrimarySpeedDialActionList(QStringLiteral("Play"));
    s.setSecondarySpeedDialActionList(QStringLiteral("Lasso|Cutter"));
    QCOMPARE(stored(QStringLiteral("ShowHowToAnimateOnStartup")).toBool(), false);
    QCOMPARE(stored(QStringLiteral("ToolBar/ActionList")).toString(), QStringLiteral("Draw|NewToolBarColumn|Erase"));
    QCOMPARE(stored(QStringLiteral("SpeedDials/PrimaryActionList")).toString(), QStringLiteral("Play"));
    QCOMPARE(stored(QStringLiteral("SpeedDials/SecondaryActionList")).toString(), QStringLiteral("Lasso|Cutter"));
}

void TestSettings::autoSaveSignalOncePerChange()
{
    FreshSettings s;
    s.load();
    QSignalSpy spy(&s, &Settings::autoSaveChanged);
    s.setAutoSaveIntervalMins(30);
    s.setAutoSaveNumFiles(5);
    QCOMPARE(spy.count(), 2);
    // Any value is taken; only the actions offer fixed choices.
    s.setAutoSaveIntervalMins(-4);
    QCOMPARE(s.autoSaveIntervalMins(), -4);
    QCOMPARE(spy.count(), 3);
}

void TestSettings::defaultFrameRateLimits_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("11.99") << 11.99 << false;
    QTest::newRow("12") << 12.0 << true;
    QTest::newRow("60") << 60.0 << true;
    QTest::newRow("60.01") << 60.01 << false;
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false;
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false;
}

void TestSettings::defaultFrameRateLimits()
{
    QFETCH(double, rate);
    QFETCH(bool, accepted);

    FreshSettings s;
    s.load();
    s.setDefaultFrameRate(rate);
    if (accepted) {
        QCOMPARE(s.defaultFrameRate(), rate);
        QCOMPARE(stored(QStringLiteral("DefaultFrameRate")).toDouble(), rate);
    } else {
        QCOMPARE(s.defaultFrameRate(), 12.0);
        QVERIFY(!stored(QStringLiteral("DefaultFrameRate")).isValid());
    }
}

void TestSettings::defaultFrameSizeLimits_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("8K UHD") << QSize(7680, 4320) << true;
    QTest::newRow("1x1") << QSize(1, 1) << true;
    QTest::newRow("0x0 is no frame") << QSize(0, 0) << false;
    QTest::newRow("zero height") << QSize(100, 0) << false;
    QTest::newRow("too wide") << QSize(7681, 100) << false;
    QTest::newRow("too high") << QSize(100, 4321) << false;
    QTest::newRow("negative width") << QSize(-1, 100) << false;
}

void TestSettings::defaultFrameSizeLimits()
{
    QFETCH(QSize, size);
    QFETCH(bool, accepted);

    FreshSettings s;
    s.load();
    s.setDefaultFrameSize(size);
    QCOMPARE(s.defaultFrameSize(), accepted ? size : QSize(1920, 1080));
    if (accepted)
        QCOMPARE(stored(QStringLiteral("DefaultFrameSize")).toSize(), size);
    else
        QVERIFY(!stored(QStringLiteral("DefaultFrameSize")).isValid());
}

void TestSettings::initialNumberOfFrames_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("expected");

    QTest::newRow("0") << 0 << 1;
    QTest::newRow("1") << 1 << 1;
    QTest::newRow("1000") << 1000 << 1000;
    QTest::newRow("1001") << 1001 << 1;
    QTest::newRow("negative") << -3 << 1;
}

void TestSettings::initialNumberOfFrames()
{
    QFETCH(int, frames);
    QFETCH(int, expected);

    FreshSettings s;
    s.load();
    s.setDefaultInitialNumberOfFrames(frames);
    QCOMPARE(s.defaultInitialNumberOfFrames(), expected);
    QCOMPARE(stored(QStringLiteral("DefaultInitialNumberOfFrames")).toInt(), expected);
}

void TestSettings::alwaysWrittenSetters()
{
    FreshSettings s;
    s.load();
    s.setDefaultChangeFrameSizeFitMode(KL::FitMode::FitModeKeepAspect);
    QCOMPARE(stored(QStringLiteral("DefaultChangeFrameSizeFitMode")).toString(),
             QStringLiteral("FitModeKeepAspect"));

    s.setDefaultSaveDir(QDir(QStringLiteral("/tmp/../tmp/scenes")));
    s.setDefaultImportDir(QDir(QStringLiteral("imports")));
    QCOMPARE(stored(QStringLiteral("DefaultSaveDir")).toString(), QStringLiteral("/tmp/scenes"));
    QCOMPARE(stored(QStringLiteral("DefaultImportDir")).toString(), QDir::current().absoluteFilePath("imports"));
    QCOMPARE(s.defaultImportDir(), QDir(QDir::current().absoluteFilePath("imports")));

    FreshSettings reloaded;
    reloaded.load();
    QCOMPARE(reloaded.defaultSaveDir().path(), QStringLiteral("/tmp/scenes"));
}

void TestSettings::backlightStoredSetsAndChoice()
{
    // The store's text form must not follow a comma-decimal locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(QLocale().toString(0.5, 'f', 2), QStringLiteral("0,50"));

    BacklightSettings record;
    record.current = BacklightSettings::BacklightSettingB;
    record.settingA.opacityLevelsBefore = {0.5};
    record.settingA.opacityLevelsAfter = {};
    record.settingA.hueShift = BacklightSetting::NoHueShift;
    record.settingB.showOption = BacklightSetting::WrapAtEnds;
    record.settingB.layers = BacklightSetting::BacklightActiveLayerOnly;
    record.settingB.opacityLevelsAfter = {0.333, 0.1};
    {
        FreshSettings s;
        s.load();
        QSignalSpy spy(&s, &Settings::backlightSettingsChanged);
        s.setBacklightSettings(record);
        QCOMPARE(spy.count(), 1);
        const auto emitted = spy.at(0).at(0).value<BacklightSettings>();
        QCOMPARE(emitted.current, BacklightSettings::BacklightSettingB);
        QCOMPARE(emitted.settingB.opacityLevelsAfter, record.settingB.opacityLevelsAfter);

        // Stored on every call, even when nothing changed.
        s.setBacklightSettings(record);
        QCOMPARE(spy.count(), 2);
    }
    QCOMPARE(stored(QStringLiteral("CurrentBacklightSetting")).toString(), QStringLiteral("BacklightSettingB"));
    QCOMPARE(stored(QStringLiteral("BacklightSettingA/OpacityLevelsBefore")).toString(), QStringLiteral("0.50;"));
    QCOMPARE(stored(QStringLiteral("BacklightSettingA/OpacityLevelsAfter")).toString(), QString());
    QCOMPARE(stored(QStringLiteral("BacklightSettingA/HueShift")).toString(), QStringLiteral("NoHueShift"));
    QCOMPARE(stored(QStringLiteral("BacklightSettingB/OpacityLevelsAfter")).toString(), QStringLiteral("0.33;0.10;"));
    QCOMPARE(stored(QStringLiteral("BacklightSettingB/ShowOption")).toString(), QStringLiteral("WrapAtEnds"));
    QCOMPARE(stored(QStringLiteral("BacklightSettingB/Layers")).toString(),
             QStringLiteral("BacklightActiveLayerOnly"));

    FreshSettings reloaded;
    reloaded.load();
    const BacklightSettings loaded = reloaded.backlightSettings();
    QCOMPARE(loaded.current, BacklightSettings::BacklightSettingB);
    QCOMPARE(loaded.settingA.opacityLevelsBefore, QList<double>{0.5});
    QVERIFY(loaded.settingA.opacityLevelsAfter.isEmpty());
    QCOMPARE(loaded.settingA.hueShift, BacklightSetting::NoHueShift);
    QCOMPARE(loaded.settingB.opacityLevelsAfter, (QList<double>{0.33, 0.1}));
    QCOMPARE(loaded.settingB.showOption, BacklightSetting::WrapAtEnds);
    QCOMPARE(loaded.settingB.layers, BacklightSetting::BacklightActiveLayerOnly);
}

void TestSettings::backlightLevelKeys_data()
{
    QTest::addColumn<QVariant>("text");
    QTest::addColumn<QList<double>>("levels");

    QTest::newRow("absent keeps the reset levels") << QVariant() << QList<double>{0.3, 0.0, 0.0, 0.0};
    QTest::newRow("empty text means no steps") << QVariant(QString()) << QList<double>{};
    QTest::newRow("damaged levels dropped") << QVariant(QStringLiteral("0.30;0.20;;x;0.15"))
                                            << QList<double>{0.3, 0.2, 0.15};
}

void TestSettings::backlightLevelKeys()
{
    QFETCH(QVariant, text);
    QFETCH(QList<double>, levels);

    if (text.isValid())
        store(QStringLiteral("BacklightSettingB/OpacityLevelsBefore"), text);
    FreshSettings s;
    s.load();
    QCOMPARE(s.backlightSettings().settingB.opacityLevelsBefore, levels);
    QCOMPARE(s.backlightSettings().settingB.opacityLevelsAfter, (QList<double>{0.3, 0.0, 0.0, 0.0}));
}

void TestSettings::backlightSwitchesAreNotStored()
{
    {
        FreshSettings s;
        s.load();
        QSignalSpy spy(&s, &Settings::backlightSettingsChanged);

        s.setBacklightOn(false);
        s.setOnlyBacklightKeyFrames(false);
        QCOMPARE(spy.count(), 0);

        s.setBacklightOn(true);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<BacklightSettings>().on, true);
        s.setOnlyBacklightKeyFrames(true);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).value<BacklightSettings>().onlyKeyFrames, true);
        QVERIFY(s.backlightOn());
        QVERIFY(s.onlyBacklightKeyFrames());
        QVERIFY(QSettings().allKeys().isEmpty());

        // Storing the whole record does not persist the switches either.
        s.setBacklightSettings(s.backlightSettings());
        QVERIFY(s.backlightOn());
    }
    FreshSettings reloaded;
    reloaded.load();
    QCOMPARE(reloaded.backlightOn(), false);
    QCOMPARE(reloaded.onlyBacklightKeyFrames(), false);
}

void TestSettings::windowGeometry()
{
    FreshSettings s;
    QVariant geometry(42);
    bool onLeft = false;
    bool detached = true;
    bool visible = false;
    int width = -1;
    s.mainWindowGeometry(geometry, onLeft, detached, visible, width);
    QVERIFY(!geometry.isValid());
    QCOMPARE(onLeft, true);
    QCOMPARE(detached, false);
    QCOMPARE(visible, true);
    QCOMPARE(width, 0);

    s.setMainWindowGeometry(QByteArray("main"), false, true, false, 321);
    s.setReferenceDisplayGeometry(QByteArray("reference"));
    s.setXSheetWindowGeometry(QByteArray("sheet"));
    s.mainWindowGeometry(geometry, onLeft, detached, visible, width);
    QCOMPARE(geometry.toByteArray(), QByteArray("main"));
    QCOMPARE(onLeft, false);
    QCOMPARE(detached, true);
    QCOMPARE(visible, false);
    QCOMPARE(width, 321);

    QVariant reference;
    QVariant sheet;
    s.referenceDisplayGeometry(reference);
    s.xSheetWindowGeometry(sheet);
    QCOMPARE(reference.toByteArray(), QByteArray("reference"));
    QCOMPARE(sheet.toByteArray(), QByteArray("sheet"));
    QCOMPARE(QSettings().value(QStringLiteral("MainWindow/xSheetWidth")).toInt(), 321);
    QCOMPARE(QSettings().value(QStringLiteral("XSheetWindow/geometry")).toByteArray(), QByteArray("sheet"));
}

void TestSettings::recentFilesAddAndCollapse_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("expected");

    const QString cwd = QDir::currentPath();
    QTest::newRow("newest first") << QStringList{"/s/a.kl", "/s/b.kl"} << QStringList{"/s/b.kl", "/s/a.kl"};
    QTest::newRow("re-adding moves to front")
        << QStringList{"/s/a.kl", "/s/b.kl", "/s/a.kl"} << QStringList{"/s/a.kl", "/s/b.kl"};
    QTest::newRow("current-directory step collapses")
        << QStringList{"/s/a.kl", "/s/./a.kl"} << QStringList{"/s/./a.kl"};
    QTest::newRow("parent step and doubled separator collapse")
        << QStringList{"/s/a.kl", "/s/x/..//a.kl"} << QStringList{"/s/x/..//a.kl"};
    QTest::newRow("relative path against working directory")
        << QStringList{cwd + "/a.kl", "a.kl"} << QStringList{"a.kl"};
    QTest::newRow("case differs: two scenes") << QStringList{"/s/Scene.kl", "/s/./scene.kl"}
                                              << QStringList{"/s/./scene.kl", "/s/Scene.kl"};
}

void TestSettings::recentFilesAddAndCollapse()
{
    QFETCH(QStringList, added);
    QFETCH(QStringList, expected);

    {
        FreshSettings s;
        s.load();
        for (const QString &path : added)
            s.addRecentFile(path);
        QCOMPARE(s.recentFiles(), expected);
    }
    QCOMPARE(QSettings().value(QStringLiteral("RecentFiles/RecentScenes")).toStringList(), expected);
    FreshSettings reloaded;
    reloaded.load();
    QCOMPARE(reloaded.recentFiles(), expected);
}

void TestSettings::recentFilesKeepTen()
{
    FreshSettings s;
    s.load();
    QStringList expected;
    for (int i = 1; i <= 11; ++i) {
        const QString path = QStringLiteral("/scenes/%1.kl").arg(i);
        s.addRecentFile(path);
        expected.prepend(path);
    }
    expected.removeLast();
    QCOMPARE(s.recentFiles().size(), 10);
    QCOMPARE(s.recentFiles(), expected);
    QVERIFY(!s.recentFiles().contains(QStringLiteral("/scenes/1.kl")));
}

void TestSettings::recentFilesRemoveAndClear()
{
    FreshSettings s;
    s.load();
    s.addRecentFile(QStringLiteral("/s/a.kl"));
    s.addRecentFile(QStringLiteral("/s/b.kl"));
    s.addRecentFile(QStringLiteral("/s/c.kl"));

    s.removeRecentFile(QStringLiteral("/s/sub/../b.kl"));
    QCOMPARE(s.recentFiles(), (QStringList{"/s/c.kl", "/s/a.kl"}));
    s.removeRecentFile(QStringLiteral("/s/not-listed.kl"));
    QCOMPARE(s.recentFiles(), (QStringList{"/s/c.kl", "/s/a.kl"}));
    QCOMPARE(QSettings().value(QStringLiteral("RecentFiles/RecentScenes")).toStringList(),
             (QStringList{"/s/c.kl", "/s/a.kl"}));

    s.clearRecentFiles();
    QVERIFY(s.recentFiles().isEmpty());
    FreshSettings reloaded;
    reloaded.load();
    QVERIFY(reloaded.recentFiles().isEmpty());
}

void TestSettings::recentFilesIgnoreEmptyPath()
{
    FreshSettings s;
    s.load();
    s.addRecentFile(QString());
    s.removeRecentFile(QString());
    QVERIFY(s.recentFiles().isEmpty());
    QVERIFY(QSettings().allKeys().isEmpty());
}

void TestSettings::toolRangeFallbacks_data()
{
    // Keys to write below Preferences/Tools/pencil before reading.
    QTest::addColumn<QVariantMap>("storedKeys");
    QTest::addColumn<int>("preset");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");

    const int preset2 = int(KL::ToolPreset::Preset2);
    QTest::newRow("never saved gives caller defaults") << QVariantMap{} << preset2 << 5.0 << 95.0;
    QTest::newRow("unsaved preset reads Default values")
        << QVariantMap{{"SizeRangeLowerPercent", 10.0}, {"SizeRangeUpperPercent", 80.0}} << preset2 << 10.0
        << 80.0;
    QTest::newRow("saved preset wins")
        << QVariantMap{{"SizeRangeLowerPercent", 10.0},
                       {"SizeRangeUpperPercent", 80.0},
                       {"Preset2/SizeRangeLowerPercent", 20.0},
                       {"Preset2/SizeRangeUpperPercent", 40.0}}
        << preset2 << 20.0 << 40.0;
    QTest::newRow("half-saved preset does not consult the tool's values")
        << QVariantMap{{"SizeRangeLowerPercent", 10.0},
                       {"SizeRangeUpperPercent", 80.0},
                       {"Preset2/SizeRangeLowerPercent", 30.0}}
        << preset2 << 30.0 << 95.0;
    QTest::newRow("lower-case group is not the preset")
        << QVariantMap{{"SizeRangeLowerPercent", 10.0},
                       {"SizeRangeUpperPercent", 80.0},
                       {"preset2/SizeRangeLowerPercent", 50.0},
                       {"preset2/SizeRangeUpperPercent", 60.0}}
        << preset2 << 10.0 << 80.0;
    QTest::newRow("not a number reads as 0")
        << QVariantMap{{"SizeRangeLowerPercent", "thin"}} << int(KL::ToolPreset::Default) << 0.0 << 95.0;
}

void TestSettings::toolRangeFallbacks()
{
    QFETCH(QVariantMap, storedKeys);
    QFETCH(int, preset);
    QFETCH(double, lower);
    QFETCH(double, upper);

    {
        QSettings settings;
        settings.beginGroup(QStringLiteral("Preferences/Tools/pencil"));
        for (auto it = storedKeys.cbegin(); it != storedKeys.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }
    FreshSettings s;
    double readLower = -1.0;
    double readUpper = -1.0;
    s.toolSizeRange(QStringLiteral("pencil"), KL::ToolPreset(preset), readLower, readUpper, 5.0, 95.0);
    QCOMPARE(readLower, lower);
    QCOMPARE(readUpper, upper);
}

void TestSettings::toolRangeDefaultPresetHasNoGroup()
{
    FreshSettings s;
    s.setToolSizeRange(QStringLiteral("marker"), KL::ToolPreset::Default, 12.5, 70.0);
    s.setToolOpacityRange(QStringLiteral("marker"), KL::ToolPreset::Default, 40.0, 100.0);
    s.setToolOpacityRange(QStringLiteral("marker"), KL::ToolPreset::Preset3, 90.0, 10.0);

    QSettings store;
    store.beginGroup(QStringLiteral("Preferences/Tools/marker"));
    QCOMPARE(store.childGroups(), QStringList{"Preset3"});
    QCOMPARE(store.value(QStringLiteral("SizeRangeLowerPercent")).toDouble(), 12.5);
    QCOMPARE(store.value(QStringLiteral("OpacityRangeUpperPercent")).toDouble(), 100.0);
    // Bounds are written as given, even reversed.
    QCOMPARE(store.value(QStringLiteral("Preset3/OpacityRangeLowerPercent")).toDouble(), 90.0);
    store.endGroup();

    double lower = 0.0;
    double upper = 0.0;
    s.toolOpacityRange(QStringLiteral("marker"), KL::ToolPreset::Preset3, lower, upper, 0.0, 100.0);
    QCOMPARE(lower, 90.0);
    QCOMPARE(upper, 10.0);
    // Preset3 saved only opacity, so its size reads the caller's defaults.
    s.toolSizeRange(QStringLiteral("marker"), KL::ToolPreset::Preset3, lower, upper, 1.0, 99.0);
    QCOMPARE(lower, 1.0);
    QCOMPARE(upper, 99.0);
    s.toolSizeRange(QStringLiteral("marker"), KL::ToolPreset::Preset1, lower, upper, 1.0, 99.0);
    QCOMPARE(lower, 12.5);
    QCOMPARE(upper, 70.0);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
