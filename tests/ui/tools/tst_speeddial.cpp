#include "tools/speeddial.h"
#include "tools/speeddialgraphicseffect.h"

#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QCursor>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using TestSupport::sendMouse;

namespace {

constexpr double Pi = 3.14159265358979323846;
const QPointF Centre(97, 97);
const QPoint DialPosition(100, 100);

// Counter-clockwise from the right, y up, as the user sees it.
QPointF pointerAt(double degrees, double radius = 70.0)
{
    const double a = degrees * Pi / 180;
    return Centre + QPointF(radius * std::cos(a), -radius * std::sin(a));
}

QString nameOf(const QAction *action)
{
    return action ? action->property("KLActionName").toString() : QString();
}

} // namespace

// The speed dial: which slot a direction chooses, what the dead centre does,
// that only a release or selectAndHide triggers (hiding the dial does not),
// and the feedback after a choice. The dial grabs the mouse, so it runs on
// the virtual X server.
class TestSpeedDial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void directionChoosesSlot_data();
    void directionChoosesSlot();
    void centreReleaseTriggersNothing_data();
    void centreReleaseTriggersNothing();
    void emptyAndDisabledSlotsTriggerNothing();
    void hidingTriggersNothing();
    void openedAwayFromTheCentreWaits();
    void selectAndHideShowsFeedbackThenHides();
    void actionLists();
    void sizeFollowsTheScale_data();
    void sizeFollowsTheScale();

private:
    // Shows the dial with the pointer on its centre and arms it there, as
    // holding the key does.
    void open();
    void release(QPointF at);

    std::unique_ptr<QWidget> m_window;
    UI::SpeedDial *m_dial = nullptr;
    std::unique_ptr<QSignalSpy> m_selected;
};

void TestSpeedDial::initTestCase()
{
    TestSupport::startModel();
}

void TestSpeedDial::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(600, 600);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_dial = new UI::SpeedDial(m_window.get());
    m_dial->hide();
    m_dial->move(DialPosition);
    m_dial->setActionList(QString(Model::Settings::DefaultPrimarySpeedDialActionList));
    m_selected = std::make_unique<QSignalSpy>(m_dial, &UI::SpeedDial::functionSelected);
}

void TestSpeedDial::cleanup()
{
    m_selected.reset();
    m_window.reset();
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestSpeedDial::open()
{
    QCursor::setPos(m_dial->mapToGlobal(Centre.toPoint()));
    m_dial->show();
    sendMouse(m_dial, QEvent::MouseButtonPress, Centre);
    QVERIFY(m_dial->effect()->isTracking());
}

void TestSpeedDial::release(QPointF at)
{
    sendMouse(m_dial, QEvent::MouseMove, at);
    sendMouse(m_dial, QEvent::MouseButtonRelease, at);
}

void TestSpeedDial::directionChoosesSlot_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QString>("action");

    // The default primary list: Play right, Erase at the bottom,
    // BacklightOnOff left, Draw at the top, Lasso upper right.
    QTest::newRow("right") << 0.0 << 70.0 << "Play";
    QTest::newRow("straight up") << 90.0 << 70.0 << "Draw";
    QTest::newRow("straight left") << 180.0 << 70.0 << "BacklightOnOff";
    QTest::newRow("straight down") << 270.0 << 70.0 << "Erase";
    QTest::newRow("just under 22.5 above right") << 22.4 << 70.0 << "Play";
    QTest::newRow("just over 22.5 above right") << 22.6 << 70.0 << "Lasso";
    QTest::newRow("just under 22.5 below right") << -22.4 << 70.0 << "Play";
    QTest::newRow("just over 22.5 below right") << -22.6 << 70.0 << "Cutter";
    QTest::newRow("just over 67.5 up") << 67.6 << 70.0 << "Draw";
    QTest::newRow("on the inner edge") << 90.0 << 46.75 << "Draw";
    QTest::newRow("far beyond the ring") << 180.0 << 300.0 << "BacklightOnOff";
}

void TestSpeedDial::directionChoosesSlot()
{
    QFETCH(double, degrees);
    QFETCH(double, radius);
    QFETCH(QString, action);

    open();
    release(pointerAt(degrees, radius));
    QCOMPARE(m_selected->count(), 1);
    QCOMPARE(nameOf(m_selected->at(0).at(0).value<const QAction *>()), action);
    // The choice stays lit, the grab is gone.
    QVERIFY(m_dial->isSelectionTimerActive());
    QVERIFY(QWidget::mouseGrabber() != m_dial);
}

void TestSpeedDial::centreReleaseTriggersNothing_data()
{
    QTest::addColumn<bool>("hideAfterSelection");
    QTest::addColumn<bool>("byKey");

    QTest::newRow("released, stays open") << false << false;
    QTest::newRow("released, hides") << true << false;
    QTest::newRow("key released") << false << true;
}

void TestSpeedDial::centreReleaseTriggersNothing()
{
    QFETCH(bool, hideAfterSelection);
    QFETCH(bool, byKey);

    m_dial->setHideAfterSelection(hideAfterSelection);
    open();
    QCOMPARE(QWidget::mouseGrabber(), m_dial);
    // Out to a slot and back into the dead centre.
    sendMouse(m_dial, QEvent::MouseMove, pointerAt(90));
    sendMouse(m_dial, QEvent::MouseMove, pointerAt(90, 46));
    if (byKey)
        m_dial->selectAndHide();
    else
        sendMouse(m_dial, QEvent::MouseButtonRelease, pointerAt(90, 46));
    QVERIFY(m_selected->isEmpty());
    QVERIFY(!m_dial->isSelectionTimerActive());
    QCOMPARE(m_dial->isVisible(), !hideAfterSelection && !byKey);
    QVERIFY(QWidget::mouseGrabber() != m_dial);
}

void TestSpeedDial::emptyAndDisabledSlotsTriggerNothing()
{
    // Slot 6 (top) empty.
    m_dial->setActionList(QStringLiteral("Play|Cutter|Erase|FitPaperToView|BacklightOnOff|ResetView||Lasso"));
    open();
    release(pointerAt(90));
    QVERIFY(m_selected->isEmpty());

    QAction *left = Model::ActionManager::instance()->action(KL::Action::BacklightOnOff);
    left->setEnabled(false);
    sendMouse(m_dial, QEvent::MouseButtonPress, Centre);
    release(pointerAt(180));
    left->setEnabled(true);
    QVERIFY(m_selected->isEmpty());
}

void TestSpeedDial::hidingTriggersNothing()
{
    // Escape and the window losing the focus hide the dial while the pointer
    // points at a slot.
    QSignalSpy triggered(Model::ActionManager::instance()->action(KL::Action::Draw), &QAction::triggered);
    open();
    sendMouse(m_dial, QEvent::MouseMove, pointerAt(90));
    m_dial->hide();
    QVERIFY(triggered.isEmpty());
    QVERIFY(m_selected->isEmpty());
    QVERIFY(QWidget::mouseGrabber() != m_dial);

    // Opened again, it chooses afresh.
    open();
    release(pointerAt(90));
    QCOMPARE(triggered.count(), 1);
}

void TestSpeedDial::openedAwayFromTheCentreWaits()
{
    // Opened under a pointer that already lies over a slot, the dial does
    // not follow it until it has moved more than 5 px.
    QCursor::setPos(m_dial->mapToGlobal(pointerAt(0).toPoint()));
    m_dial->show();
    QTRY_COMPARE(QWidget::mouseGrabber(), m_dial);
    QVERIFY(!m_dial->effect()->isTracking());
    sendMouse(m_dial, QEvent::MouseMove, pointerAt(0) + QPointF(0, -4));
    QVERIFY(!m_dial->effect()->isTracking());
    m_dial->selectAndHide();
    QVERIFY(m_selected->isEmpty());
    QVERIFY(!m_dial->isVisible());

    m_dial->show();
    sendMouse(m_dial, QEvent::MouseMove, pointerAt(90));
    QVERIFY(m_dial->effect()->isTracking());
    release(pointerAt(90));
    QCOMPARE(nameOf(m_selected->value(0).value(0).value<const QAction *>()), QStringLiteral("Draw"));
}

void TestSpeedDial::selectAndHideShowsFeedbackThenHides()
{
    QSignalSpy triggered(Model::ActionManager::instance()->action(KL::Action::Draw), &QAction::triggered);
    open();
    sendMouse(m_dial, QEvent::MouseMove, pointerAt(90));
    m_dial->selectAndHide();
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(m_selected->count(), 1);
    QVERIFY(m_dial->isSelectionTimerActive());
    QVERIFY(m_dial->isVisible());
    QVERIFY(m_dial->testAttribute(Qt::WA_TransparentForMouseEvents));

    // During the feedback presses count for nothing and a second
    // selectAndHide triggers nothing more.
    sendMouse(m_dial, QEvent::MouseButtonPress, Centre);
    QVERIFY(!m_dial->effect()->isTracking());
    m_dial->selectAndHide();
    QCOMPARE(triggered.count(), 1);

    QTRY_VERIFY(!m_dial->isVisible());
    QVERIFY(!m_dial->isSelectionTimerActive());
    QCOMPARE(triggered.count(), 1);
}

void TestSpeedDial::actionLists()
{
    UI::SpeedDialGraphicsEffect *effect = m_dial->effect();
    // A shorter list sets only the first slots; an empty entry and an
    // unknown name clear theirs.
    m_dial->setActionList(QStringLiteral("Draw||NoSuchAction"));
    QCOMPARE(nameOf(effect->slotAction(0)), QStringLiteral("Draw"));
    QCOMPARE(effect->slotAction(1), nullptr);
    QCOMPARE(effect->slotAction(2), nullptr);
    QCOMPARE(nameOf(effect->slotAction(3)), QStringLiteral("FitPaperToView"));
    QCOMPARE(nameOf(effect->slotAction(7)), QStringLiteral("Lasso"));
    // Entries past the eighth are left out.
    m_dial->setActionList(QStringLiteral("|||||||Play|Draw"));
    QCOMPARE(nameOf(effect->slotAction(7)), QStringLiteral("Play"));
    QCOMPARE(effect->slotAction(0), nullptr);
}

void TestSpeedDial::sizeFollowsTheScale_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<int>("diameter");

    QTest::newRow("1") << 100 << 194;
    QTest::newRow("1.5") << 150 << 291;
    QTest::newRow("0.75") << 75 << 145;
}

void TestSpeedDial::sizeFollowsTheScale()
{
    QFETCH(int, scalePercent);
    QFETCH(int, diameter);

    Model::Settings::instance()->setUIScalePercent(scalePercent);
    m_dial->updateUISize();
    QCOMPARE(m_dial->size(), QSize(diameter, diameter));

    // The dead centre and the ring scale with it: radii 46.75 and 89.75 at 1.
    const double s = scalePercent / 100.0;
    const QPointF centre = Centre * s;
    UI::SpeedDialGraphicsEffect *effect = m_dial->effect();
    QCOMPARE(effect->toolTipText((centre + QPointF(0, -46.5 * s)).toPoint()), QStringLiteral("Select nothing"));
    QCOMPARE(effect->toolTipText((centre + QPointF(0, -89.5 * s)).toPoint()),
             Model::ActionManager::instance()->action(KL::Action::Draw)->toolTip());
}

QTEST_MAIN(TestSpeedDial)
#include "tst_speeddial.moc"
