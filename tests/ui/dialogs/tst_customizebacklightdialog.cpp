#include "dialogs/backlightsliders.h"
#include "dialogs/customizebacklightdialog.h"
#include "dialogtesthelpers.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace DialogTest;
using Model::BacklightSetting;
using Model::BacklightSettings;

namespace {

QString levels(const QList<double> &list)
{
    QStringList texts;
    for (double level : list)
        texts << QString::number(level);
    return texts.join(u',');
}

QString describe(const BacklightSetting &setting)
{
    return QStringLiteral("before=%1 after=%2 %3 %4 %5")
        .arg(levels(setting.opacityLevelsBefore), levels(setting.opacityLevelsAfter), keyOf(setting.hueShift),
             keyOf(setting.showOption), keyOf(setting.layers));
}

QString describe(const BacklightSettings &settings)
{
    return QStringLiteral("on=%1 current=%2 keyFrames=%3 | A: %4 | B: %5")
        .arg(settings.on)
        .arg(keyOf(settings.current))
        .arg(settings.onlyKeyFrames)
        .arg(describe(settings.settingA), describe(settings.settingB));
}

// Both looks at their built-in values, A in use.
BacklightSettings builtIn()
{
    BacklightSettings settings;
    settings.resetSetting(BacklightSettings::BacklightSettingA);
    settings.resetSetting(BacklightSettings::BacklightSettingB);
    return settings;
}

// Both looks edited away from every built-in value.
BacklightSettings edited()
{
    BacklightSettings settings;
    for (BacklightSetting *setting : {&settings.settingA, &settings.settingB}) {
        setting->opacityLevelsBefore = {0.5, 0.4, 0.3, 0.2};
        setting->opacityLevelsAfter = {0.9, 0.8, 0.7, 0.6};
        setting->hueShift = BacklightSetting::NoHueShift;
        setting->showOption = BacklightSetting::ShowOutsideRange;
        setting->layers = BacklightSetting::BacklightActiveLayerOnly;
    }
    return settings;
}

void click(QWidget *dialog, const char *name)
{
    auto *button = child<QAbstractButton>(dialog, name);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
}

QString lastReported(const QSignalSpy &spy)
{
    return describe(spy.last().first().value<BacklightSettings>());
}

const QStringList ColumnA = {QStringLiteral("backlightSliders_A"), QStringLiteral("checkBox_HueShift_A"),
                             QStringLiteral("radioButton_StopAtEnds_A"), QStringLiteral("radioButton_WrapAtEnds_A"),
                             QStringLiteral("radioButton_ShowOutsideRange_A"),
                             QStringLiteral("checkBox_OnlyActiveLayer_A")};

QStringList columnB()
{
    QStringList names = ColumnA;
    for (QString &name : names)
        name.back() = u'B';
    return names;
}

QStringList enabledOf(const QWidget *dialog, const QStringList &names)
{
    QStringList enabled;
    for (const QString &name : names) {
        if (child<QWidget>(dialog, name.toLatin1().constData())->isEnabled())
            enabled << name;
    }
    return enabled;
}

} // namespace

// The backlight dialog: each control edits its field and reports the whole
// record once, the look not in use is locked, Reset restores only the look
// in use, and records copied in are shown without being reported back.
class TestCustomizeBacklightDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void edits_data();
    void edits();
    void slidersReplaceOnlyTheLevels();
    void onlyTheLookInUseIsEditable();
    void reset_data();
    void reset();
    void recordsComeInPaddedAndSilently();
    void closingChangesNothing();
    void separatorsFollowPalette();
};

void TestCustomizeBacklightDialog::initTestCase()
{
    useEmptyStore();
}

void TestCustomizeBacklightDialog::cleanupTestCase()
{
    // The main window stores what the dialog reports; the dialog stores nothing.
    QVERIFY(QSettings().allKeys().isEmpty());
}

void TestCustomizeBacklightDialog::edits_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("reports");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, BacklightSettings::BacklightSet current, const char *control, int reports,
                        const std::function<void(BacklightSettings &)> &edit) {
        BacklightSettings expected = builtIn();
        expected.current = current;
        edit(expected);
        QTest::newRow(name) << int(current) << QString::fromLatin1(control) << reports << describe(expected);
    };
    const auto a = BacklightSettings::BacklightSettingA;
    const auto b = BacklightSettings::BacklightSettingB;
    row("backlight on", a, "checkBox_BacklightOnOff", 1, [](BacklightSettings &s) { s.on = true; });
    row("key frames only", b, "checkBox_OnlyBacklightKeyFrames", 1,
        [](BacklightSettings &s) { s.onlyKeyFrames = true; });
    row("choose B", a, "radioButton_SettingB", 1,
        [](BacklightSettings &s) { s.current = BacklightSettings::BacklightSettingB; });
    row("choose A", b, "radioButton_SettingA", 1,
        [](BacklightSettings &s) { s.current = BacklightSettings::BacklightSettingA; });
    row("A without hue shift", a, "checkBox_HueShift_A", 1,
        [](BacklightSettings &s) { s.settingA.hueShift = BacklightSetting::NoHueShift; });
    row("A wraps", a, "radioButton_WrapAtEnds_A", 1,
        [](BacklightSettings &s) { s.settingA.showOption = BacklightSetting::WrapAtEnds; });
    row("A beyond the range", a, "radioButton_ShowOutsideRange_A", 1,
        [](BacklightSettings &s) { s.settingA.showOption = BacklightSetting::ShowOutsideRange; });
    row("A on the active layer", a, "checkBox_OnlyActiveLayer_A", 1,
        [](BacklightSettings &s) { s.settingA.layers = BacklightSetting::BacklightActiveLayerOnly; });
    row("B without hue shift", b, "checkBox_HueShift_B", 1,
        [](BacklightSettings &s) { s.settingB.hueShift = BacklightSetting::NoHueShift; });
    row("B wraps", b, "radioButton_WrapAtEnds_B", 1,
        [](BacklightSettings &s) { s.settingB.showOption = BacklightSetting::WrapAtEnds; });
    row("B on the active layer", b, "checkBox_OnlyActiveLayer_B", 1,
        [](BacklightSettings &s) { s.settingB.layers = BacklightSetting::BacklightActiveLayerOnly; });
    row("B locked while A is in use", a, "checkBox_HueShift_B", 0, [](BacklightSettings &) {});
    row("A locked while B is in use", b, "radioButton_WrapAtEnds_A", 0, [](BacklightSettings &) {});
    row("the checked option again", a, "radioButton_StopAtEnds_A", 0, [](BacklightSettings &) {});
    row("the look in use again", b, "radioButton_SettingB", 0, [](BacklightSettings &) {});
}

void TestCustomizeBacklightDialog::edits()
{
    QFETCH(int, current);
    QFETCH(QString, control);
    QFETCH(int, reports);
    QFETCH(QString, expected);

    BacklightSettings settings = builtIn();
    settings.current = BacklightSettings::BacklightSet(current);
    UI::CustomizeBacklightDialog dialog(settings);
    QSignalSpy changed(&dialog, &UI::CustomizeBacklightDialog::settingsChanged);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(&dialog, control.toLatin1().constData());

    QCOMPARE(changed.count(), reports);
    QCOMPARE(describe(dialog.settings()), expected);
    if (reports > 0)
        QCOMPARE(lastReported(changed), expected);
}

void TestCustomizeBacklightDialog::slidersReplaceOnlyTheLevels()
{
    UI::CustomizeBacklightDialog dialog(builtIn());
    QSignalSpy changed(&dialog, &UI::CustomizeBacklightDialog::settingsChanged);
    BacklightSetting dragged = edited().settingA;
    dragged.opacityLevelsBefore = {0.6, 0.0, 0.0, 0.0};
    Q_EMIT child<UI::BacklightSliders>(&dialog, "backlightSliders_A")->backlightSettingChanged(dragged);

    BacklightSettings expected = builtIn();
    expected.settingA.opacityLevelsBefore = dragged.opacityLevelsBefore;
    expected.settingA.opacityLevelsAfter = dragged.opacityLevelsAfter;
    QCOMPARE(changed.count(), 1);
    QCOMPARE(lastReported(changed), describe(expected));
}

void TestCustomizeBacklightDialog::onlyTheLookInUseIsEditable()
{
    UI::CustomizeBacklightDialog dialog(builtIn());
    const QPushButton *resetButton = child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Reset);
    QCOMPARE(enabledOf(&dialog, ColumnA + columnB()), ColumnA);
    QCOMPARE(resetButton->text(), QStringLiteral("Reset A"));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    click(&dialog, "radioButton_SettingB");
    QCOMPARE(enabledOf(&dialog, ColumnA + columnB()), columnB());
    QCOMPARE(resetButton->text(), QStringLiteral("Reset B"));
    for (const char *always : {"radioButton_SettingA", "radioButton_SettingB", "checkBox_BacklightOnOff",
                               "checkBox_OnlyBacklightKeyFrames"})
        QVERIFY2(child<QWidget>(&dialog, always)->isEnabled(), always);
}

void TestCustomizeBacklightDialog::reset_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<QString>("expected");

    BacklightSettings resetA = edited();
    resetA.resetSetting(BacklightSettings::BacklightSettingA);
    QCOMPARE(describe(resetA.settingA), describe(builtIn().settingA));
    QTest::newRow("A: everything built in") << int(BacklightSettings::BacklightSettingA) << describe(resetA);

    BacklightSettings resetB = edited();
    resetB.current = BacklightSettings::BacklightSettingB;
    resetB.settingB.opacityLevelsBefore = {0.3, 0.0, 0.0, 0.0};
    resetB.settingB.opacityLevelsAfter = {0.3, 0.0, 0.0, 0.0};
    QTest::newRow("B: only the levels") << int(BacklightSettings::BacklightSettingB) << describe(resetB);
}

void TestCustomizeBacklightDialog::reset()
{
    QFETCH(int, current);
    QFETCH(QString, expected);

    BacklightSettings settings = edited();
    settings.current = BacklightSettings::BacklightSet(current);
    UI::CustomizeBacklightDialog dialog(settings);
    QSignalSpy changed(&dialog, &UI::CustomizeBacklightDialog::settingsChanged);
    child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Reset)->click();

    QCOMPARE(changed.count(), 1);
    QCOMPARE(lastReported(changed), expected);
    // The controls show the restored look.
    const BacklightSettings now = dialog.settings();
    const BacklightSetting &look = current == 0 ? now.settingA : now.settingB;
    const char *sliders = current == 0 ? "backlightSliders_A" : "backlightSliders_B";
    QCOMPARE(describe(child<UI::BacklightSliders>(&dialog, sliders)->backlightSetting()), describe(look));
    const char *hueShift = current == 0 ? "checkBox_HueShift_A" : "checkBox_HueShift_B";
    QCOMPARE(child<QCheckBox>(&dialog, hueShift)->isChecked(), look.hueShift == BacklightSetting::UseHueShift);
}

void TestCustomizeBacklightDialog::recordsComeInPaddedAndSilently()
{
    BacklightSettings shortLists = builtIn();
    shortLists.settingA.opacityLevelsBefore = {0.5, 0.25};
    shortLists.settingB.opacityLevelsAfter.clear();
    UI::CustomizeBacklightDialog dialog(shortLists);
    QCOMPARE(levels(dialog.settings().settingA.opacityLevelsBefore), QStringLiteral("0.5,0.25,0,0"));
    QCOMPARE(levels(dialog.settings().settingB.opacityLevelsAfter), QStringLiteral("0,0,0,0"));

    QSignalSpy changed(&dialog, &UI::CustomizeBacklightDialog::settingsChanged);
    BacklightSettings incoming = edited();
    incoming.current = BacklightSettings::BacklightSettingB;
    incoming.on = true;
    incoming.settingB.showOption = BacklightSetting::WrapAtEnds;
    incoming.settingB.opacityLevelsBefore = {0.7, 0.1};
    dialog.setSettings(incoming);

    QCOMPARE(changed.count(), 0);
    const BacklightSettings shown = dialog.settings();
    QCOMPARE(levels(shown.settingB.opacityLevelsBefore), QStringLiteral("0.7,0.1,0,0"));
    QCOMPARE(levels(child<UI::BacklightSliders>(&dialog, "backlightSliders_B")->backlightSetting().opacityLevelsBefore),
             QStringLiteral("0.7,0.1,0,0"));
    const QStringList looked = {QStringLiteral("radioButton_SettingA"),     QStringLiteral("radioButton_SettingB"),
                                QStringLiteral("radioButton_StopAtEnds_B"), QStringLiteral("radioButton_WrapAtEnds_B"),
                                QStringLiteral("checkBox_BacklightOnOff"),  QStringLiteral("checkBox_HueShift_B")};
    QCOMPARE(checkedNames(&dialog, looked), (QStringList{QStringLiteral("radioButton_SettingB"),
                                                         QStringLiteral("radioButton_WrapAtEnds_B"),
                                                         QStringLiteral("checkBox_BacklightOnOff")}));
    QCOMPARE(enabledOf(&dialog, ColumnA + columnB()), columnB());

    // A show option outside the enumeration shows no option checked.
    incoming.settingB.showOption = BacklightSetting::ShowOption(3);
    dialog.setSettings(incoming);
    QCOMPARE(checkedNames(&dialog, columnB().mid(2, 3)), QStringList());
    QCOMPARE(changed.count(), 0);
}

void TestCustomizeBacklightDialog::closingChangesNothing()
{
    UI::CustomizeBacklightDialog dialog(edited());
    QSignalSpy changed(&dialog, &UI::CustomizeBacklightDialog::settingsChanged);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Close)->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(describe(dialog.settings()), describe(edited()));
}

void TestCustomizeBacklightDialog::separatorsFollowPalette()
{
    UI::CustomizeBacklightDialog dialog(builtIn());
    QVERIFY(linesFollowPalette(&dialog, {QStringLiteral("line"), QStringLiteral("line_2"), QStringLiteral("line_3")}));
}

QTEST_MAIN(TestCustomizeBacklightDialog)
#include "tst_customizebacklightdialog.moc"
