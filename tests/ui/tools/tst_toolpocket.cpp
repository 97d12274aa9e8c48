#include "tools/toolpocket.h"

#include "support/widgetevents.h"

#include "settings/settings.h"

#include <QAction>
#include <QSignalSpy>
#include <QTest>

using TestSupport::clickFromTo;
using TestSupport::sendMouse;
using TestSupport::sendTablet;

namespace {

// A pocket of the minimum width at scale 1: the slots start at x = 8 and are
// 40 wide; the rim lies at y = 37.
QPointF slotPoint(int slot)
{
    return QPointF(8 + 40 * slot + 20, 30);
}

} // namespace

// The tool pocket: its size, which clicks choose a tool, and its filter of
// doubled presses from pen and mouse.
class TestToolPocket : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sizes_data();
    void sizes();
    void clicks_data();
    void clicks();
    void doubledPressesCountOnce();
    void slotsOutsideTheRowAreIgnored();

private:
    std::unique_ptr<UI::ToolPocket> m_pocket;
    QAction m_pencil{QStringLiteral("Pencil")};
    QAction m_marker{QStringLiteral("Marker")};
    std::unique_ptr<QSignalSpy> m_pressed;
    std::unique_ptr<QSignalSpy> m_pencilTriggered;
    std::unique_ptr<QSignalSpy> m_markerTriggered;
};

void TestToolPocket::init()
{
    m_pocket = std::make_unique<UI::ToolPocket>();
    m_pocket->resize(m_pocket->minimumSize());
    // Slot 2 stays empty.
    m_pocket->setAction(0, &m_pencil);
    m_pocket->setAction(1, &m_marker);
    m_pressed = std::make_unique<QSignalSpy>(m_pocket.get(), &UI::ToolPocket::pressed);
    m_pencilTriggered = std::make_unique<QSignalSpy>(&m_pencil, &QAction::triggered);
    m_markerTriggered = std::make_unique<QSignalSpy>(&m_marker, &QAction::triggered);
}

void TestToolPocket::cleanup()
{
    m_pressed.reset();
    m_pencilTriggered.reset();
    m_markerTriggered.reset();
    m_pocket.reset();
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestToolPocket::sizes_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<int>("panelHeight");

    QTest::newRow("1") << 100 << QSize(136, 44) << 57;
    QTest::newRow("1.5") << 150 << QSize(204, 66) << 85;
    QTest::newRow("0.75") << 75 << QSize(102, 33) << 42;
}

void TestToolPocket::sizes()
{
    QFETCH(int, scalePercent);
    QFETCH(QSize, minimum);
    QFETCH(int, panelHeight);

    Model::Settings::instance()->setUIScalePercent(scalePercent);
    m_pocket->updateUISize();
    QCOMPARE(m_pocket->minimumSize(), minimum);
    QCOMPARE(m_pocket->maximumHeight(), panelHeight);
    m_pocket->setShownInPanel(true);
    QCOMPARE(m_pocket->minimumHeight(), panelHeight);
    // A change of scale keeps it a panel's pocket.
    Model::Settings::instance()->setUIScalePercent(100);
    m_pocket->updateUISize();
    QCOMPARE(m_pocket->minimumHeight(), 57);
    m_pocket->setShownInPanel(false);
    QCOMPARE(m_pocket->minimumHeight(), 44);
}

void TestToolPocket::clicks_data()
{
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<int>("slot");

    QTest::newRow("pencil") << slotPoint(0) << slotPoint(0) << 0;
    QTest::newRow("marker") << slotPoint(1) << slotPoint(1) << 1;
    QTest::newRow("below the rim counts") << QPointF(70, 43) << QPointF(70, 43) << 1;
    QTest::newRow("pencil to marker") << slotPoint(0) << slotPoint(1) << -1;
    QTest::newRow("marker off to the right") << slotPoint(1) << QPointF(135, 30) << -1;
    QTest::newRow("empty slot") << slotPoint(2) << slotPoint(2) << -1;
    QTest::newRow("left of the slots") << QPointF(4, 30) << QPointF(4, 30) << -1;
}

void TestToolPocket::clicks()
{
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(int, slot);

    clickFromTo(m_pocket.get(), from, to, 1000);
    QCOMPARE(m_pencilTriggered->count(), slot == 0 ? 1 : 0);
    QCOMPARE(m_markerTriggered->count(), slot == 1 ? 1 : 0);
    QCOMPARE(m_pressed->count(), slot >= 0 ? 1 : 0);
    if (slot >= 0)
        QCOMPARE(m_pressed->at(0).at(0).toInt(), slot);
}

void TestToolPocket::doubledPressesCountOnce()
{
    // A pen tap, then the mouse press made of it 5 ms after its release.
    QVERIFY(sendTablet(m_pocket.get(), QEvent::TabletPress, slotPoint(0), 2000));
    QVERIFY(sendTablet(m_pocket.get(), QEvent::TabletRelease, slotPoint(0), 2001));
    QCOMPARE(m_pencilTriggered->count(), 1);
    QVERIFY(sendMouse(m_pocket.get(), QEvent::MouseButtonPress, slotPoint(1), 2006));
    sendMouse(m_pocket.get(), QEvent::MouseButtonRelease, slotPoint(1), 2007);
    QCOMPARE(m_markerTriggered->count(), 0);

    // Its release counts as accepted too: 10 ms after it a press counts
    // again.
    sendMouse(m_pocket.get(), QEvent::MouseButtonPress, slotPoint(1), 2016);
    sendMouse(m_pocket.get(), QEvent::MouseButtonRelease, slotPoint(1), 2017);
    QCOMPARE(m_markerTriggered->count(), 0);
    sendMouse(m_pocket.get(), QEvent::MouseButtonPress, slotPoint(1), 2027);
    sendMouse(m_pocket.get(), QEvent::MouseButtonRelease, slotPoint(1), 2028);
    QCOMPARE(m_markerTriggered->count(), 1);
    QCOMPARE(m_pressed->count(), 2);
}

void TestToolPocket::slotsOutsideTheRowAreIgnored()
{
    QAction brush(QStringLiteral("Brush"));
    m_pocket->setAction(3, &brush);
    m_pocket->setAction(-1, &brush);
    QCOMPARE(m_pocket->action(0), &m_pencil);
    QCOMPARE(m_pocket->action(2), nullptr);
}

QTEST_MAIN(TestToolPocket)
#include "tst_toolpocket.moc"
