#include "dialogs/preferences.h"

#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMetaEnum>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

using A = KL::Action;
using Model::Settings;

namespace {

class FreshSettings : public Settings
{
};

QString keyName(A key)
{
    return QString::fromLatin1(QMetaEnum::fromType<A>().valueToKey(int(key)));
}

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

QAbstractButton *row(const QWidget &window, A key)
{
    return window.findChild<QAbstractButton *>(keyName(key));
}

// The radio families of the page, each in page order.
const QList<QList<A>> Families = {
    {A::FreelyDrawOnClones, A::ClonesLockedForDrawing},
    {A::TransparencyShownAsWhite, A::TransparencyShownAsLightGrey, A::TransparencyShownAsDarkGrey,
     A::TransparencyShownAsBlack, A::TransparencyShownAsSmallCheckersLight, A::TransparencyShownAsSmallCheckersDark,
     A::TransparencyShownAsLargeCheckersLight, A::TransparencyShownAsLargeCheckersDark},
    {A::XSheetLeftSide, A::XSheetRightSide},
    {A::AutoSaveInterval5Min, A::AutoSaveInterval15Min, A::AutoSaveInterval30Min, A::AutoSaveInterval60Min},
    {A::AutoSaveFiles1, A::AutoSaveFiles2, A::AutoSaveFiles3, A::AutoSaveFiles5, A::AutoSaveFiles9},
    {A::ToolBarLeftSide, A::ToolBarRightSide},
    {A::UIScale75, A::UIScale100, A::UIScale125, A::UIScale150},
};

// Every row in page order.
const QList<A> PageOrder = {
    A::FaintCursor, A::FreelyDrawOnClones, A::ClonesLockedForDrawing, A::TransparencyShownAsWhite,
    A::TransparencyShownAsLightGrey, A::TransparencyShownAsDarkGrey, A::TransparencyShownAsBlack,
    A::TransparencyShownAsSmallCheckersLight, A::TransparencyShownAsSmallCheckersDark,
    A::TransparencyShownAsLargeCheckersLight, A::TransparencyShownAsLargeCheckersDark,
    A::CollapseVectorDataAutomatically, A::UseWindowsInk, A::XSheetLeftSide, A::XSheetRightSide, A::XSheetTopBar,
    A::AutoSave, A::AutoSaveInterval5Min, A::AutoSaveInterval15Min, A::AutoSaveInterval30Min,
    A::AutoSaveInterval60Min, A::AutoSaveFiles1, A::AutoSaveFiles2, A::AutoSaveFiles3, A::AutoSaveFiles5,
    A::AutoSaveFiles9, A::ToolBarLeftSide, A::ToolBarRightSide, A::UIScale75, A::UIScale100, A::UIScale125,
    A::UIScale150,
};

// The preferences the window shows, in one line.
QString describe(const Settings &s)
{
    return QStringLiteral("cursor %1 clones %2 transparency %3 collapse %4 ink %5 topbar %6 autosave %7/%8/%9 "
                          "toolbar %10 scale %11")
        .arg(int(s.drawCursorOpacity()))
        .arg(s.clonesLockedForDrawing())
        .arg(int(s.transparencyType()))
        .arg(s.collapseAutomatically())
        .arg(s.useWindowsInk())
        .arg(s.showXSheetTopBar())
        .arg(s.autoSaveEnabled())
        .arg(s.autoSaveIntervalMins())
        .arg(s.autoSaveNumFiles())
        .arg(int(s.toolBarPosition()))
        .arg(s.UIScalePercent());
}

// Everything away from its default, Windows Ink included.
void changeEveryPreference()
{
    Settings *s = Settings::instance();
    s->setDrawCursorOpacity(KL::DrawCursorOpacity::Opaque);
    s->setClonesLockedForDrawing(true);
    s->setTransparencyType(KL::TransparencyType::TransparencyLargeCheckersDark);
    s->setCollapseAutomatically(true);
    s->setUseWindowsInk(true);
    action(A::XSheetRightSide)->trigger();
    s->setShowXSheetTopBar(true);
    s->setAutoSaveEnabled(true);
    s->setAutoSaveIntervalMins(60);
    s->setAutoSaveNumFiles(9);
    s->setToolBarPosition(KL::ToolBarPosition::Left);
    s->setUIScalePercent(150);
}

// Clicks reach only buttons that are laid out.
void showWindow(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

QList<bool> checkedStates(const QWidget &window)
{
    QList<bool> states;
    for (const A key : PageOrder)
        states << row(window, key)->isChecked();
    return states;
}

} // namespace

// The Settings window: one row per preference action, in families as
// exclusive as the actions, clicks that write the preferences, and Restore
// Defaults.
class TestPreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void rows_data();
    void rows();
    void clickWritesThePreference_data();
    void clickWritesThePreference();
    void familiesAreExclusive_data();
    void familiesAreExclusive();
    void restoreDefaults();
    void restoreAtDefaultsOnlyMovesTheSheet();
    void rowsAreBuiltOnce();
    void closeHidesAndReopensTheSame();
    void shadowBandsAndIndicators();
};

void TestPreferences::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings().clear();
    TestSupport::startModel();
}

// Every test starts from the built-in defaults and an empty store.
void TestPreferences::init()
{
    Settings *s = Settings::instance();
    s->setDrawCursorOpacity(Settings::DefaultDrawCursorOpacity);
    s->setClonesLockedForDrawing(Settings::DefaultClonesLockedForDrawing);
    s->setTransparencyType(Settings::DefaultTransparencyType);
    s->setCollapseAutomatically(Settings::DefaultCollapseAutomatically);
    s->setUseWindowsInk(Settings::DefaultUseWindowsInk);
    // The main window checks this one after asking the platform.
    action(A::UseWindowsInk)->setChecked(Settings::DefaultUseWindowsInk);
    action(A::XSheetLeftSide)->trigger();
    s->setShowXSheetTopBar(Settings::DefaultShowXSheetTopBar);
    s->setAutoSaveEnabled(Settings::DefaultAutoSaveEnabled);
    s->setAutoSaveIntervalMins(Settings::DefaultAutoSaveIntervalMins);
    s->setAutoSaveNumFiles(Settings::DefaultAutoSaveNumFiles);
    s->setToolBarPosition(Settings::DefaultToolBarPosition);
    s->setUIScalePercent(Settings::DefaultUIScalePercent);
    QSettings().clear();
}

void TestPreferences::rows_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<bool>("radio");
    QTest::addColumn<QString>("label");

    const QHash<A, QString> labels = {
        {A::FaintCursor, QStringLiteral("Drawing Cursor")},
        {A::FreelyDrawOnClones, QStringLiteral("Clone Drawings - Locked or Not")},
        {A::TransparencyShownAsWhite, QStringLiteral("Transparency Shown As")},
        {A::CollapseVectorDataAutomatically, QStringLiteral("Collapsing")},
        {A::XSheetLeftSide, QStringLiteral("X-Sheet Position")},
        {A::AutoSave, QStringLiteral("Automated Backups")},
        {A::AutoSaveInterval5Min, QStringLiteral("How often")},
        {A::AutoSaveFiles1, QStringLiteral("How many backup files")},
        {A::ToolBarLeftSide, QStringLiteral("Tool Bar Position")},
        {A::UIScale75, QStringLiteral("UI Scale")},
    };
    for (const A key : PageOrder) {
        const bool radio = std::any_of(Families.begin(), Families.end(),
                                       [key](const QList<A> &family) { return family.contains(key); });
        QTest::newRow(qPrintable(keyName(key))) << key << radio << labels.value(key);
    }
}

void TestPreferences::rows()
{
    QFETCH(A, key);
    QFETCH(bool, radio);
    QFETCH(QString, label);

    UI::Preferences window;
    QAbstractButton *button = row(window, key);
    QVERIFY(button);
    QCOMPARE(bool(qobject_cast<QRadioButton *>(button)), radio);
    QCOMPARE(bool(qobject_cast<QCheckBox *>(button)), !radio);
    QCOMPARE(button->text(), action(key)->text());
    QCOMPARE(button->isChecked(), action(key)->isChecked());
    QCOMPARE(button->parentWidget()->findChild<QLabel *>()->text(), label);
    // Rows stand in page order.
    const QList<QAbstractButton *> buttons = window.findChildren<QAbstractButton *>();
    QList<QAbstractButton *> rowButtons;
    for (QAbstractButton *each : buttons) {
        if (!qobject_cast<QPushButton *>(each))
            rowButtons << each;
    }
    QCOMPARE(rowButtons.indexOf(button), PageOrder.indexOf(key));
}

void TestPreferences::clickWritesThePreference_data()
{
    QTest::addColumn<A>("key");
    QTest::addColumn<QString>("storeKey");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("opaque cursor") << A::FaintCursor << "DrawCursor/Opacity" << QVariant("Opaque");
    QTest::newRow("locked clones") << A::ClonesLockedForDrawing << "ClonesLockedForDrawing" << QVariant(true);
    QTest::newRow("black") << A::TransparencyShownAsBlack << "Transparency/Type" << QVariant("TransparencyBlack");
    QTest::newRow("checkers") << A::TransparencyShownAsSmallCheckersDark << "Transparency/Type"
                              << QVariant("TransparencySmallCheckersDark");
    QTest::newRow("collapse") << A::CollapseVectorDataAutomatically << "CollapseVectorDataAutomatically"
                              << QVariant(true);
    QTest::newRow("ink") << A::UseWindowsInk << "UseWindowsInk" << QVariant(true);
    QTest::newRow("top bar") << A::XSheetTopBar << "XSheet/ShowTopBar" << QVariant(true);
    QTest::newRow("autosave") << A::AutoSave << "AutoSave/Enabled" << QVariant(true);
    QTest::newRow("every hour") << A::AutoSaveInterval60Min << "AutoSave/IntervalMins" << QVariant(60);
    QTest::newRow("nine files") << A::AutoSaveFiles9 << "AutoSave/NumFiles" << QVariant(9);
    QTest::newRow("tool bar left") << A::ToolBarLeftSide << "ToolBar/Position" << QVariant("Left");
    QTest::newRow("scale 125") << A::UIScale125 << "UIScalePercent" << QVariant(125);
}

// The stored key is what the next run reads.
void TestPreferences::clickWritesThePreference()
{
    QFETCH(A, key);
    QFETCH(QString, storeKey);
    QFETCH(QVariant, stored);

    UI::Preferences window;
    showWindow(window);
    QTest::mouseClick(row(window, key), Qt::LeftButton, {}, QPoint(6, 10));
    QCOMPARE(QSettings().value(QStringLiteral("Preferences/") + storeKey).toString(), stored.toString());
    FreshSettings nextRun;
    nextRun.load();
    QCOMPARE(describe(nextRun), describe(*Settings::instance()));
    QVERIFY(describe(nextRun) != describe(FreshSettings()));
}

void TestPreferences::familiesAreExclusive_data()
{
    QTest::addColumn<int>("family");
    for (int family = 0; family < Families.size(); ++family)
        QTest::newRow(qPrintable(keyName(Families.at(family).first()))) << family;
}

// Each click checks its row and action alone in the family, leaves the other
// families as they were, and triggers its action once, also when the row
// was checked already.
void TestPreferences::familiesAreExclusive()
{
    QFETCH(int, family);

    UI::Preferences window;
    showWindow(window);
    const QList<A> &members = Families.at(family);
    QList<A> sequence = members;
    sequence << members.last() << members.first();
    for (const A clicked : sequence) {
        const QList<bool> before = checkedStates(window);
        QSignalSpy triggered(action(clicked), &QAction::triggered);
        QTest::mouseClick(row(window, clicked), Qt::LeftButton, {}, QPoint(6, 10));
        QCOMPARE(triggered.count(), 1);
        const QList<bool> after = checkedStates(window);
        for (int i = 0; i < PageOrder.size(); ++i) {
            const A key = PageOrder.at(i);
            const bool expected = members.contains(key) ? key == clicked : before.at(i);
            QVERIFY2(after.at(i) == expected, qPrintable(keyName(key)));
            QCOMPARE(action(key)->isChecked(), expected);
        }
    }
}

void TestPreferences::restoreDefaults()
{
    UI::Preferences window;
    showWindow(window);
    const QList<bool> defaults = checkedStates(window);
    const QString defaultPreferences = describe(*Settings::instance());
    changeEveryPreference();
    // The rows follow the preferences through the actions.
    for (const A key : {A::ClonesLockedForDrawing, A::TransparencyShownAsLargeCheckersDark,
                        A::CollapseVectorDataAutomatically, A::XSheetRightSide, A::XSheetTopBar, A::AutoSave,
                        A::AutoSaveInterval60Min, A::AutoSaveFiles9, A::ToolBarLeftSide, A::UIScale150})
        QVERIFY2(row(window, key)->isChecked(), qPrintable(keyName(key)));
    QVERIFY(!row(window, A::FaintCursor)->isChecked());

    QSignalSpy left(action(A::XSheetLeftSide), &QAction::triggered);
    QTest::mouseClick(window.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::RestoreDefaults),
                      Qt::LeftButton);
    QCOMPARE(left.count(), 1);
    // Windows Ink is left as the user set it.
    Settings::instance()->setUseWindowsInk(false);
    QCOMPARE(describe(*Settings::instance()), defaultPreferences);
    QCOMPARE(checkedStates(window), defaults);
}

void TestPreferences::restoreAtDefaultsOnlyMovesTheSheet()
{
    UI::Preferences window;
    showWindow(window);
    Settings *s = Settings::instance();
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::drawCursorOpacityChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::clonesLockedForDrawingChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::transparencyTypeChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::collapseAutomaticallyChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::showXSheetTopBarChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::autoSaveChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::toolBarPositionChanged));
    spies.push_back(std::make_unique<QSignalSpy>(s, &Settings::UIScaleChanged));
    QSignalSpy left(action(A::XSheetLeftSide), &QAction::triggered);
    QTest::mouseClick(window.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::RestoreDefaults),
                      Qt::LeftButton);
    QCOMPARE(left.count(), 1);
    for (const auto &spy : spies)
        QCOMPARE(spy->count(), 0);
    QVERIFY(QSettings().allKeys().isEmpty());
}

// A row follows what its action was when the window was built: a disabled
// action's row stays disabled, and an action that was not checkable gets no
// row at all.
void TestPreferences::rowsAreBuiltOnce()
{
    action(A::AutoSaveFiles9)->setEnabled(false);
    action(A::XSheetTopBar)->setCheckable(false);
    const std::unique_ptr<UI::Preferences> window = std::make_unique<UI::Preferences>();
    action(A::AutoSaveFiles9)->setEnabled(true);
    action(A::XSheetTopBar)->setCheckable(true);
    QVERIFY(!row(*window, A::AutoSaveFiles9)->isEnabled());
    QVERIFY(!row(*window, A::XSheetTopBar));
    QVERIFY(row(*window, A::AutoSave));
}

void TestPreferences::closeHidesAndReopensTheSame()
{
    QWidget owner;
    auto *window = new UI::Preferences(&owner);
    QVERIFY(window->isWindow());
    QCOMPARE(window->windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(window->size(), QSize(550, 500));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QAbstractButton *ink = row(*window, A::UseWindowsInk);
    QVERIFY(!ink->isChecked());
    QTest::mouseClick(window->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Close), Qt::LeftButton);
    QVERIFY(!window->isVisible());
    action(A::UseWindowsInk)->trigger();
    window->show();
    QCOMPARE(row(*window, A::UseWindowsInk), ink);
    QVERIFY(ink->isChecked());
}

// The bands darken the top edge and the edge above the buttons. The check
// boxes' ground is the chrome's dark grey, not the green the platform style
// would fill it with from the page's palette.
void TestPreferences::shadowBandsAndIndicators()
{
    UI::Preferences window;
    showWindow(window);
    const QImage image = window.grab().toImage();
    const auto brightness = [&image](int y) { return qGray(image.pixel(2, y)); };
    QVERIFY(brightness(1) < brightness(20));
    QVERIFY(brightness(20) < brightness(40));
    QCOMPARE(image.pixelColor(2, 200), QColor(100, 96, 92));
    QVERIFY(brightness(452) < brightness(430));
    QVERIFY(brightness(430) < brightness(415));
    QCOMPARE(image.pixelColor(2, 470), QColor(57, 57, 57));

    const QImage box = row(window, A::FaintCursor)->grab().toImage();
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const QColor c = box.pixelColor(x, y);
            QVERIFY2(!(c.green() > c.red() + 60 && c.green() > c.blue() + 60), "a green indicator");
        }
    }
}

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
