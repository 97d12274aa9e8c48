// The exposure sheet's pane: its button bar with the registry's actions,
// shown as the preferences say, and the detached window that keeps its
// place while hidden.

#include "xsheet/detachedxsheet.h"
#include "xsheet/xsheetpane.h"
#include "xsheet/xsheetpanebar.h"

#include "actions/actionmanager.h"
#include "commands/commandtesthelpers.h"
#include "settings/settings.h"
#include "support/widgetevents.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

using TestSupport::sendMouseEvent;

namespace {

// At scale 1 the bar is 43 px tall with its buttons on a pitch of 21 px:
// two at the left from x 1, four at the right ending 1 px before the
// right edge, and the three in the middle centred, 3 px right of the
// middle of the space between.
constexpr int Pitch = 21;
constexpr int CentreY = 21;

const QList<KL::Action> buttons{KL::Action::AddClonesMode,           KL::Action::SlideMode,
                                KL::Action::AddBlankDrawing,         KL::Action::ClearDrawingMakingBlank,
                                KL::Action::DiscardDrawing,          KL::Action::NewLayer,
                                KL::Action::DuplicateActiveLayer,    KL::Action::DiscardActiveLayer,
                                KL::Action::MergeLayerDown};

QAction *actionOf(int button)
{
    return Model::ActionManager::instance()->action(buttons.at(button));
}

// The middle of a button on a bar of the given width.
QPoint buttonCentre(int button, int width)
{
    int left = 0;
    if (button < 2) {
        left = button * Pitch + 1;
    } else if (button >= 5) {
        left = width - (9 - button) * Pitch - 1;
    } else {
        const int space = width - 4 * Pitch - 2 * Pitch;
        left = (space - 3 * Pitch) / 2 + (button - 2) * Pitch + 3 + 2 * Pitch;
    }
    return QPoint(left + Pitch / 2, CentreY);
}

void click(QWidget *widget, QPoint from, QPoint to)
{
    sendMouseEvent(widget, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
    sendMouseEvent(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouseEvent(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouseEvent(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

QString toolTipAt(QWidget *widget, QPoint at)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QApplication::sendEvent(widget, &help);
    return help.isAccepted() ? QToolTip::text() : QString();
}

// For each button, whether a click on it triggers its action.
QList<bool> triggeredByClicks(UI::XSheetPaneBar *bar)
{
    QList<bool> triggered;
    for (int button = 0; button < buttons.size(); ++button) {
        QSignalSpy spy(actionOf(button), &QAction::triggered);
        const QPoint at = buttonCentre(button, bar->width());
        click(bar, at, at);
        triggered.append(spy.count() == 1);
    }
    return triggered;
}

} // namespace

class TestXSheetPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void barFollowsThePreference();
    void buttonsTriggerTheirActions_data();
    void buttonsTriggerTheirActions();
    void releasedOnAnotherButton();
    void disabledActionsButton();
    void checkedTogglesLookPressed();
    void detachedWindowHidesAndKeepsItsGeometry();
    void detachedWindowHandsKeysOn();

private:
    std::unique_ptr<UI::XSheetPane> m_pane;
};

void TestXSheetPane::initTestCase()
{
    TestSupport::startModel();
}

void TestXSheetPane::init()
{
    CommandTest::resetPreferences();
    Model::Settings::instance()->setUIScalePercent(100);
    Model::Settings::instance()->setShowXSheetTopBar(true);
    m_pane = std::make_unique<UI::XSheetPane>();
    m_pane->resize(400, 300);
    m_pane->show();
}

void TestXSheetPane::cleanup()
{
    m_pane.reset();
    for (const KL::Action id : buttons)
        Model::ActionManager::instance()->action(id)->setEnabled(true);
}

void TestXSheetPane::barFollowsThePreference()
{
    UI::XSheetPaneBar *bar = m_pane->bar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->height(), 43);
    Model::Settings::instance()->setShowXSheetTopBar(false);
    QVERIFY(!bar->isVisible());
    Model::Settings::instance()->setShowXSheetTopBar(true);
    QVERIFY(bar->isVisible());

    Model::Settings::instance()->setUIScalePercent(150);
    m_pane->updateUISize();
    QCOMPARE(bar->height(), 65);
}

void TestXSheetPane::buttonsTriggerTheirActions_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("middleShown");

    QTest::newRow("wide") << 400 << true;
    // Room for the middle group and twice the margin of 8 px, and 1 px less.
    QTest::newRow("just wide enough") << 6 * Pitch + 3 * Pitch + 16 + 1 << true;
    QTest::newRow("too narrow for the middle") << 6 * Pitch + 3 * Pitch + 16 << false;
    QTest::newRow("narrowest") << 6 * Pitch + 2 << false;
}

void TestXSheetPane::buttonsTriggerTheirActions()
{
    QFETCH(int, width);
    QFETCH(bool, middleShown);

    UI::XSheetPaneBar *bar = m_pane->bar();
    QCOMPARE(bar->minimumWidth(), 6 * Pitch + 2);
    m_pane->resize(width, 300);
    QCOMPARE(bar->width(), width);

    // The outer groups always take clicks and show tool tips.
    const QList<int> outer{0, 1, 5, 6, 7, 8};
    const QList<bool> triggered = triggeredByClicks(bar);
    for (int button : outer) {
        QVERIFY2(triggered.at(button), qPrintable(QStringLiteral("button %1").arg(button)));
        QCOMPARE(toolTipAt(bar, buttonCentre(button, width)), actionOf(button)->toolTip());
    }
    if (middleShown) {
        for (int button : {2, 3, 4}) {
            QVERIFY2(triggered.at(button), qPrintable(QStringLiteral("button %1").arg(button)));
            QCOMPARE(toolTipAt(bar, buttonCentre(button, width)), actionOf(button)->toolTip());
        }
    } else {
        // Between the groups nothing answers.
        QList<QSignalSpy *> spies;
        for (int button : {2, 3, 4})
            spies.append(new QSignalSpy(actionOf(button), &QAction::triggered));
        for (int x = 2 * Pitch + 1; x < width - 4 * Pitch - 1; ++x) {
            click(bar, QPoint(x, CentreY), QPoint(x, CentreY));
            QCOMPARE(toolTipAt(bar, QPoint(x, CentreY)), QString());
        }
        for (QSignalSpy *spy : std::as_const(spies))
            QCOMPARE(spy->count(), 0);
        qDeleteAll(spies);
    }
    // Nothing above or below the buttons.
    QCOMPARE(toolTipAt(bar, buttonCentre(0, width) - QPoint(0, 17)), QString());
    QCOMPARE(toolTipAt(bar, buttonCentre(8, width) + QPoint(0, 17)), QString());
}

void TestXSheetPane::releasedOnAnotherButton()
{
    UI::XSheetPaneBar *bar = m_pane->bar();
    QSignalSpy first(actionOf(5), &QAction::triggered);
    QSignalSpy second(actionOf(6), &QAction::triggered);
    click(bar, buttonCentre(5, bar->width()), buttonCentre(6, bar->width()));
    QCOMPARE(first.count(), 0);
    QCOMPARE(second.count(), 0);
}

void TestXSheetPane::disabledActionsButton()
{
    UI::XSheetPaneBar *bar = m_pane->bar();
    QAction *action = actionOf(7);
    const QPoint at = buttonCentre(7, bar->width());
    const QRect square(at - QPoint(Pitch / 2, Pitch / 2), QSize(Pitch, Pitch));
    const QImage enabled = bar->grab(square).toImage();

    action->setEnabled(false);
    QSignalSpy spy(action, &QAction::triggered);
    click(bar, at, at);
    QCOMPARE(spy.count(), 0);
    // Still explained, drawn faint and without the hover frame.
    QCOMPARE(toolTipAt(bar, at), action->toolTip());
    const QImage disabled = bar->grab(square).toImage();
    QVERIFY(disabled != enabled);

    action->setEnabled(true);
    click(bar, at, at);
    QCOMPARE(spy.count(), 1);
}

void TestXSheetPane::checkedTogglesLookPressed()
{
    UI::XSheetPaneBar *bar = m_pane->bar();
    QAction *addClones = actionOf(0);
    QAction *slide = actionOf(1);
    const QPoint at = buttonCentre(1, bar->width());
    const QRect square(at - QPoint(Pitch / 2, Pitch / 2), QSize(Pitch, Pitch));
    // Away from the pointer, so that no hover frame shows.
    sendMouseEvent(bar, QEvent::MouseMove, QPoint(bar->width() / 2, CentreY), Qt::NoButton, Qt::NoButton);

    // The two modes exclude each other.
    addClones->setChecked(true);
    QVERIFY(!slide->isChecked());
    const QImage unchecked = bar->grab(square).toImage();
    slide->setChecked(true);
    const QImage checked = bar->grab(square).toImage();
    QVERIFY(checked != unchecked);
    addClones->setChecked(true);
    QCOMPARE(bar->grab(square).toImage(), unchecked);
}

void TestXSheetPane::detachedWindowHidesAndKeepsItsGeometry()
{
    QWidget mainWindow;
    auto *window = new UI::DetachedXSheet(&mainWindow);
    QCOMPARE(window->windowTitle(), QStringLiteral("X-Sheet"));
    QVERIFY(window->isWindow());
    window->layout()->addWidget(m_pane.release());
    QSignalSpy hidden(window, &UI::DetachedXSheet::hidden);

    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QRect placed(120, 90, 320, 240);
    window->setGeometry(placed);
    QCOMPARE(window->geometry(), placed);

    QVERIFY(!window->close());
    QVERIFY(window->isHidden());
    QCOMPARE(hidden.count(), 1);
    const QByteArray saved = window->savedGeometry();
    QVERIFY(!saved.isEmpty());

    window->setGeometry(10, 10, 200, 150);
    window->show();
    QCOMPARE(window->geometry(), placed);

    // What the preferences kept from an earlier run comes back on the
    // next show.
    window->hide();
    auto *later = new UI::DetachedXSheet(&mainWindow);
    later->setSavedGeometry(saved);
    later->show();
    QCOMPARE(later->geometry(), placed);
    QCOMPARE(later->savedGeometry(), later->saveGeometry());
}

void TestXSheetPane::detachedWindowHandsKeysOn()
{
    UI::DetachedXSheet window;
    QSignalSpy pressed(&window, &UI::DetachedXSheet::keyPressed);
    QSignalSpy released(&window, &UI::DetachedXSheet::keyReleased);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    QApplication::sendEvent(&window, &release);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(released.count(), 1);
}

QTEST_MAIN(TestXSheetPane)
#include "tst_xsheetpane.moc"
