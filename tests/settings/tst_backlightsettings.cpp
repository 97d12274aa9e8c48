#include "settings/backlightsettings.h"

#include <QLocale>
#include <QTest>

using Model::BacklightSetting;
using Model::BacklightSettings;

namespace {

const QList<double> SetALevels{0.3, 0.2, 0.15, 0.0};
const QList<double> SetBLevels{0.3, 0.0, 0.0, 0.0};

BacklightSetting customSetting()
{
    BacklightSetting setting;
    setting.opacityLevelsBefore = {0.9, 0.5};
    setting.opacityLevelsAfter = {0.7};
    setting.hueShift = BacklightSetting::NoHueShift;
    setting.showOption = BacklightSetting::ShowOutsideRange;
    setting.layers = BacklightSetting::BacklightActiveLayerOnly;
    return setting;
}

void compareSetting(const BacklightSetting &actual, const BacklightSetting &expected)
{
    QCOMPARE(actual.opacityLevelsBefore, expected.opacityLevelsBefore);
    QCOMPARE(actual.opacityLevelsAfter, expected.opacityLevelsAfter);
    QCOMPARE(actual.hueShift, expected.hueShift);
    QCOMPARE(actual.showOption, expected.showOption);
    QCOMPARE(actual.layers, expected.layers);
}

void compareDefaultSet(const BacklightSetting &actual, const QList<double> &levels)
{
    QCOMPARE(actual.opacityLevelsBefore, levels);
    QCOMPARE(actual.opacityLevelsAfter, levels);
    QCOMPARE(actual.hueShift, BacklightSetting::UseHueShift);
    QCOMPARE(actual.showOption, BacklightSetting::StopAtEnds);
    QCOMPARE(actual.layers, BacklightSetting::BacklightVisibleLayers);
}

} // namespace

class TestBacklightSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void defaultRecord();
    void resetSetting_data();
    void resetSetting();
    void copiesShareLists();
    void moveTakesListsOver();
    void recordCopyAndMove();

    void levelsToString_data();
    void levelsToString();
    void levelsFromString_data();
    void levelsFromString();
    void textFormIgnoresCommaLocale();
};

void TestBacklightSettings::defaultRecord()
{
    const BacklightSettings settings;
    QCOMPARE(settings.on, false);
    QCOMPARE(settings.current, BacklightSettings::BacklightSettingA);
    QCOMPARE(settings.onlyKeyFrames, false);
    compareDefaultSet(settings.settingA, {});
    compareDefaultSet(settings.settingB, SetBLevels);
}

void TestBacklightSettings::resetSetting_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<bool>("resetsA");
    QTest::addColumn<bool>("resetsB");

    QTest::newRow("set A") << int(BacklightSettings::BacklightSettingA) << true << false;
    QTest::newRow("set B") << int(BacklightSettings::BacklightSettingB) << false << true;
    QTest::newRow("unknown set") << 7 << false << false;
}

void TestBacklightSettings::resetSetting()
{
    QFETCH(int, which);
    QFETCH(bool, resetsA);
    QFETCH(bool, resetsB);

    BacklightSettings settings;
    settings.on = true;
    settings.onlyKeyFrames = true;
    settings.current = BacklightSettings::BacklightSettingB;
    settings.settingA = customSetting();
    settings.settingB = customSetting();

    settings.resetSetting(BacklightSettings::BacklightSet(which));

    if (resetsA)
        compareDefaultSet(settings.settingA, SetALevels);
    else
        compareSetting(settings.settingA, customSetting());
    if (resetsB)
        compareDefaultSet(settings.settingB, SetBLevels);
    else
        compareSetting(settings.settingB, customSetting());
    QCOMPARE(settings.on, true);
    QCOMPARE(settings.onlyKeyFrames, true);
    QCOMPARE(settings.current, BacklightSettings::BacklightSettingB);
}

void TestBacklightSettings::copiesShareLists()
{
    const BacklightSetting original = customSetting();

    BacklightSetting assigned;
    assigned = original;
    compareSetting(assigned, original);
    QVERIFY(assigned.opacityLevelsBefore.isSharedWith(original.opacityLevelsBefore));
    QVERIFY(assigned.opacityLevelsAfter.isSharedWith(original.opacityLevelsAfter));

    // Writing to a copy leaves the original alone.
    assigned.opacityLevelsBefore[0] = 0.1;
    QCOMPARE(original.opacityLevelsBefore.first(), 0.9);
}

void TestBacklightSettings::moveTakesListsOver()
{
    BacklightSetting source = customSetting();
    BacklightSetting target;
    target = std::move(source);

    compareSetting(target, customSetting());
    QVERIFY(source.opacityLevelsBefore.isEmpty());
    QVERIFY(source.opacityLevelsAfter.isEmpty());
    // The enumerations are copied, not reset.
    QCOMPARE(source.hueShift, BacklightSetting::NoHueShift);
    QCOMPARE(source.showOption, BacklightSetting::ShowOutsideRange);
    QCOMPARE(source.layers, BacklightSetting::BacklightActiveLayerOnly);
}

void TestBacklightSettings::recordCopyAndMove()
{
    BacklightSettings original;
    original.on = true;
    original.current = BacklightSettings::BacklightSettingB;
    original.onlyKeyFrames = true;
    original.settingA = customSetting();

    BacklightSettings copy;
    copy = original;
    QCOMPARE(copy.on, true);
    QCOMPARE(copy.current, BacklightSettings::BacklightSettingB);
    QCOMPARE(copy.onlyKeyFrames, true);
    compareSetting(copy.settingA, customSetting());
    compareDefaultSet(copy.settingB, SetBLevels);
    QVERIFY(copy.settingA.opacityLevelsBefore.isSharedWith(original.settingA.opacityLevelsBefore));
    QVERIFY(copy.settingB.opacityLevelsAfter.isSharedWith(original.settingB.opacityLevelsAfter));

    BacklightSettings moved(std::move(original));
    compareSetting(moved.settingA, customSetting());
    QVERIFY(original.settingA.opacityLevelsBefore.isEmpty());
    QVERIFY(original.settingB.opacityLevelsAfter.isEmpty());
}

void TestBacklightSettings::levelsToString_data()
{
    QTest::addColumn<QList<double>>("levels");
    QTest::addColumn<QString>("text");

    QTest::newRow("default set A") << SetALevels << "0.30;0.20;0.15;0.00;";
    QTest::newRow("two decimals") << QList<double>{0.333} << "0.33;";
    QTest::newRow("empty") << QList<double>{} << "";
    QTest::newRow("not range-checked") << QList<double>{1.5, -0.25} << "1.50;-0.25;";
}

void TestBacklightSettings::levelsToString()
{
    QFETCH(QList<double>, levels);
    QFETCH(QString, text);
    QCOMPARE(BacklightSetting::opacityLevelsToString(levels), text);
}

void TestBacklightSettings::levelsFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("levels");

    QTest::newRow("written form") << "0.30;0.20;0.15;0.00;" << SetALevels;
    QTest::newRow("damaged parts are dropped") << "0.30;0.20;;x;0.15" << QList<double>{0.3, 0.2, 0.15};
    QTest::newRow("comma decimal is not a number") << "0,30;0.5" << QList<double>{0.5};
    QTest::newRow("empty") << "" << QList<double>{};
}

void TestBacklightSettings::levelsFromString()
{
    QFETCH(QString, text);
    QFETCH(QList<double>, levels);
    QCOMPARE(BacklightSetting::opacityLevelsFromString(text), levels);
}

void TestBacklightSettings::textFormIgnoresCommaLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));

    const QString text = BacklightSetting::opacityLevelsToString({0.3, 0.126});
    QCOMPARE(text, QStringLiteral("0.30;0.13;"));
    QCOMPARE(BacklightSetting::opacityLevelsFromString(text), (QList<double>{0.3, 0.13}));
}

QTEST_GUILESS_MAIN(TestBacklightSettings)
#include "tst_backlightsettings.moc"
