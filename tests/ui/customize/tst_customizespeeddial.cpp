#include "customize/customizespeeddial.h"
#include "customize/recyclebin.h"

#include "customizetesthelpers.h"
#include "support/widgetevents.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>

#include <cmath>

using CustomizeTest::differingPixels;
using CustomizeTest::dragData;
using CustomizeTest::DragRunner;
using CustomizeTest::painted;
using TestSupport::dropOn;

namespace {

constexpr double Pi = 3.14159265358979323846;
const QPointF Centre(97, 97);
const QString Primary(Model::Settings::DefaultPrimarySpeedDialActionList);
const QString Secondary(Model::Settings::DefaultSecondarySpeedDialActionList);

// Counter-clockwise from the right, y up, as the user sees it.
QPointF pointAt(double degrees, double radius = 69.0)
{
    const double a = degrees * Pi / 180;
    return Centre + QPointF(radius * std::cos(a), -radius * std::sin(a));
}

// The middle of slot i: 0 right, 2 bottom, 4 left, 6 top.
QPointF slotCentre(int slot)
{
    return pointAt(-45.0 * slot);
}

QString withSlot(const QString &list, int slot, const QString &name)
{
    QStringList names = list.split(QLatin1Char('|'));
    names[slot] = name;
    return names.join(QLatin1Char('|'));
}

} // namespace

// The speed-dial editor: which slot a point is, reading and writing the
// lists, what drops do to the slots, and dragging a slot's action to the
// other dial, the recycle bin, its own slot or nowhere.
class TestCustomizeSpeedDial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void slotUnderPoint_data();
    void slotUnderPoint();
    void actionLists_data();
    void actionLists();
    void drops_data();
    void drops();
    void dropBackOnItsOwnSlotIsRefused();
    void dragOut_data();
    void dragOut();
    void hoveredAndFlashingSlots();
    void toolTips();

private:
    std::unique_ptr<QWidget> m_window;
    UI::CustomizeSpeedDial *m_primary = nullptr;
    UI::CustomizeSpeedDial *m_secondary = nullptr;
    UI::RecycleBin *m_bin = nullptr;
};

void TestCustomizeSpeedDial::initTestCase()
{
    TestSupport::startModel();
}

void TestCustomizeSpeedDial::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(700, 500);
    m_primary = new UI::CustomizeSpeedDial(m_window.get());
    m_primary->move(10, 10);
    m_primary->setActionList(Primary);
    m_secondary = new UI::CustomizeSpeedDial(m_window.get());
    m_secondary->move(10, 250);
    m_secondary->setActionList(Secondary);
    m_bin = new UI::RecycleBin(m_window.get());
    m_bin->move(400, 100);
}

void TestCustomizeSpeedDial::cleanup()
{
    m_window.reset();
}

void TestCustomizeSpeedDial::slotUnderPoint_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<int>("slot");

    QTest::newRow("dead centre") << Centre << -1;
    QTest::newRow("right") << pointAt(0) << 0;
    QTest::newRow("bottom") << pointAt(270) << 2;
    QTest::newRow("left") << pointAt(180) << 4;
    QTest::newRow("top") << pointAt(90) << 6;
    QTest::newRow("on the inner edge") << Centre + QPointF(0, -46.75) << 6;
    QTest::newRow("just inside the inner edge") << Centre + QPointF(0, -46.7) << -1;
    QTest::newRow("on the outer edge") << Centre + QPointF(89.75, 0) << 0;
    QTest::newRow("just beyond the outer edge") << Centre + QPointF(89.8, 0) << -1;
    QTest::newRow("just under 22.5 above right") << pointAt(22.4) << 0;
    QTest::newRow("just over 22.5 above right") << pointAt(22.6) << 7;
    QTest::newRow("just over 22.5 below right") << pointAt(-22.6) << 1;
}

void TestCustomizeSpeedDial::slotUnderPoint()
{
    QFETCH(QPointF, point);
    QFETCH(int, slot);

    QCOMPARE(UI::CustomizeSpeedDial::slotAt(point), slot);
}

void TestCustomizeSpeedDial::actionLists_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("written");

    QTest::newRow("default primary") << Primary << Primary;
    QTest::newRow("default secondary") << Secondary << Secondary;
    QTest::newRow("one action in slot 3") << "|||Lasso||||" << "|||Lasso||||";
    // Only the first slots of a shorter list change.
    QTest::newRow("two entries") << "Draw|" << "Draw||" + Primary.section('|', 2);
    QTest::newRow("empty string empties slot 0") << QString() << "|" + Primary.section('|', 1);
    QTest::newRow("unknown and miscased names empty their slots")
        << "NoSuchAction|cutter|Spacer|NewToolBarColumn|BacklightOnOff|ResetView|Draw|Lasso"
        << "||||BacklightOnOff|ResetView|Draw|Lasso";
    QTest::newRow("a ninth entry is ignored") << Primary + "|Undo" << Primary;
}

void TestCustomizeSpeedDial::actionLists()
{
    QFETCH(QString, list);
    QFETCH(QString, written);

    m_primary->setActionList(list);
    QCOMPARE(m_primary->actionList(), written);
    QCOMPARE(m_primary->actionList().count('|'), 7);
    // What the editor writes, it reads back the same.
    m_secondary->setActionList(written);
    QCOMPARE(m_secondary->actionList(), written);
}

void TestCustomizeSpeedDial::drops_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<Qt::DropAction>("result");
    QTest::addColumn<QString>("list");

    // The default primary list: Play right, Erase at the bottom, Draw at
    // the top.
    QTest::newRow("replaces the slot's action")
        << QByteArray("MirrorView") << slotCentre(0) << Qt::CopyAction << withSlot(Primary, 0, "MirrorView");
    QTest::newRow("an action already on the dial")
        << QByteArray("Draw") << slotCentre(2) << Qt::CopyAction << withSlot(Primary, 2, "Draw");
    QTest::newRow("the ring's outer part") << QByteArray("MirrorView") << pointAt(90, 89) << Qt::CopyAction
                                           << withSlot(Primary, 6, "MirrorView");
    QTest::newRow("the dead centre") << QByteArray("MirrorView") << pointAt(90, 40) << Qt::IgnoreAction << Primary;
    QTest::newRow("beyond the ring") << QByteArray("MirrorView") << pointAt(45, 95) << Qt::IgnoreAction << Primary;
    QTest::newRow("a spacer") << QByteArray("Spacer") << slotCentre(0) << Qt::IgnoreAction << Primary;
    QTest::newRow("an unknown name") << QByteArray("NoSuchAction") << slotCentre(0) << Qt::IgnoreAction << Primary;
    QTest::newRow("damaged bytes") << QByteArray("Mirror\xff" "View") << slotCentre(0) << Qt::IgnoreAction << Primary;
}

void TestCustomizeSpeedDial::drops()
{
    QFETCH(QByteArray, data);
    QFETCH(QPointF, point);
    QFETCH(Qt::DropAction, result);
    QFETCH(QString, list);

    QVERIFY(m_primary->acceptDrops());
    const auto mime = dragData(data);
    QCOMPARE(dropOn(m_primary, point, mime.get(), Qt::CopyAction), result);
    QCOMPARE(m_primary->actionList(), list);
    QCOMPARE(m_secondary->actionList(), Secondary);
}

void TestCustomizeSpeedDial::dropBackOnItsOwnSlotIsRefused()
{
    QCOMPARE(m_primary->startSlotDrag(2), QStringLiteral("Erase"));
    const auto data = dragData(QStringLiteral("Erase"));
    const Qt::DropAction result = dropOn(m_primary, slotCentre(2), data.get(), Qt::MoveAction);
    QCOMPARE(result, Qt::IgnoreAction);
    m_primary->finishSlotDrag(result);
    QCOMPARE(m_primary->actionList(), Primary);
    // An empty slot has nothing to drag.
    m_primary->setActionList(QStringLiteral("|||Lasso||||"));
    QCOMPARE(m_primary->startSlotDrag(2), QString());
    m_primary->finishSlotDrag(Qt::MoveAction);
    QCOMPARE(m_primary->actionList(), QStringLiteral("|||Lasso||||"));
}

void TestCustomizeSpeedDial::dragOut_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("primary");
    QTest::addColumn<QString>("secondary");

    // Slot 2 of the primary dial holds Erase.
    QTest::newRow("onto slot 5 of the other dial")
        << "secondary" << withSlot(Primary, 2, "") << withSlot(Secondary, 5, "Erase");
    QTest::newRow("onto slot 5 of its own dial")
        << "own dial" << withSlot(withSlot(Primary, 2, ""), 5, "Erase") << Secondary;
    QTest::newRow("onto the recycle bin") << "bin" << withSlot(Primary, 2, "") << Secondary;
    QTest::newRow("back onto its own slot") << "own slot" << Primary << Secondary;
    QTest::newRow("let go") << "let go" << Primary << Secondary;
}

void TestCustomizeSpeedDial::dragOut()
{
    QFETCH(QString, ending);
    QFETCH(QString, primary);
    QFETCH(QString, secondary);

    QImage during;
    DragRunner runner([&](const QMimeData *data, Qt::DropActions actions) {
        during = painted(m_primary);
        if (ending == QLatin1String("secondary"))
            return dropOn(m_secondary, slotCentre(5), data, actions);
        if (ending == QLatin1String("own dial"))
            return dropOn(m_primary, slotCentre(5), data, actions);
        if (ending == QLatin1String("bin"))
            return dropOn(m_bin, QPointF(100, 100), data, actions);
        if (ending == QLatin1String("own slot"))
            return dropOn(m_primary, slotCentre(2) + QPointF(3, 3), data, actions);
        return Qt::IgnoreAction;
    });
    const QPointF from = slotCentre(2);
    TestSupport::drag(m_primary, {from, from + QPointF(20, 0), from + QPointF(40, 0)});

    QCOMPARE(runner.drags().size(), 1);
    const CustomizeTest::DragRecord &drag = runner.drags().first();
    QCOMPARE(drag.data, QByteArray("Erase"));
    QCOMPARE(drag.text, QStringLiteral("Erase"));
    QCOMPARE(drag.actions, Qt::DropActions(Qt::MoveAction));
    QCOMPARE(drag.pixmapSize, QSize(32, 32));
    QCOMPARE(drag.hotSpot, QPoint(16, 16));
    // While the drag runs, the slot it came from shows an empty frame.
    UI::CustomizeSpeedDial emptied;
    emptied.setActionList(withSlot(Primary, 2, ""));
    QCOMPARE(differingPixels(during, painted(&emptied)), 0);

    QCOMPARE(m_primary->actionList(), primary);
    QCOMPARE(m_secondary->actionList(), secondary);
}

void TestCustomizeSpeedDial::hoveredAndFlashingSlots()
{
    const QImage still = painted(m_primary);
    // A drag over a filled slot lights it and shows an empty frame there,
    // as over an empty slot.
    UI::CustomizeSpeedDial emptied;
    emptied.setActionList(withSlot(Primary, 0, ""));
    const auto data = dragData(QStringLiteral("MirrorView"));
    // Qt hands a drag's moves to the widget that took its enter, so the
    // two dials are hovered one after the other.
    QVERIFY(TestSupport::sendDragEnter(&emptied, slotCentre(0), data.get(), Qt::CopyAction));
    QVERIFY(TestSupport::sendDragMove(&emptied, slotCentre(0), data.get(), Qt::CopyAction));
    const QImage hoveredEmpty = painted(&emptied);
    TestSupport::sendDragLeave(&emptied);
    QVERIFY(TestSupport::sendDragEnter(m_primary, slotCentre(0), data.get(), Qt::CopyAction));
    QVERIFY(TestSupport::sendDragMove(m_primary, slotCentre(0), data.get(), Qt::CopyAction));
    const QImage hovered = painted(m_primary);
    QVERIFY(differingPixels(hovered, still) > 0);
    QCOMPARE(differingPixels(hovered, hoveredEmpty), 0);
    // Off the ring nothing is lit; leaving puts everything back.
    QVERIFY(!TestSupport::sendDragMove(m_primary, Centre, data.get(), Qt::CopyAction));
    QCOMPARE(differingPixels(painted(m_primary), still), 0);
    TestSupport::sendDragMove(m_primary, slotCentre(0), data.get(), Qt::CopyAction, false);
    TestSupport::sendDragLeave(m_primary);
    QCOMPARE(differingPixels(painted(m_primary), still), 0);

    // After a drop the slot stays lit for a moment, then shows its new icon
    // alone.
    QCOMPARE(dropOn(m_primary, slotCentre(0), data.get(), Qt::CopyAction), Qt::CopyAction);
    UI::CustomizeSpeedDial replaced;
    replaced.setActionList(withSlot(Primary, 0, "MirrorView"));
    const QImage settled = painted(&replaced);
    QVERIFY(differingPixels(painted(m_primary), settled) > 0);
    QTRY_COMPARE(differingPixels(painted(m_primary), settled), 0);
}

void TestCustomizeSpeedDial::toolTips()
{
    m_primary->setActionList(QStringLiteral("Draw|||||||"));
    const QPoint onDraw = slotCentre(0).toPoint();
    QHelpEvent onAction(QEvent::ToolTip, onDraw, m_primary->mapToGlobal(onDraw));
    QApplication::sendEvent(m_primary, &onAction);
    QVERIFY(onAction.isAccepted());
    QTRY_COMPARE(QToolTip::text(), Model::ActionManager::instance()->action(KL::Action::Draw)->toolTip());
    const QPoint onEmpty = slotCentre(4).toPoint();
    QHelpEvent overEmpty(QEvent::ToolTip, onEmpty, m_primary->mapToGlobal(onEmpty));
    QApplication::sendEvent(m_primary, &overEmpty);
    QVERIFY(!overEmpty.isAccepted());
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TestCustomizeSpeedDial)
#include "tst_customizespeeddial.moc"
