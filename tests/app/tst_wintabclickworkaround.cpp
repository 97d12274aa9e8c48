#include "wintabclickworkaround.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPair>
#include <QPointingDevice>
#include <QTest>
#include <QWidget>

namespace {

// Counts the presses and releases that reach it.
class Target : public QWidget
{
public:
    int presses = 0;
    int releases = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
    void mouseReleaseEvent(QMouseEvent *) override { ++releases; }
};

// A platform with WinTab, whose switch reads back what was asked.
class SwitchingBackend : public WinTabClickWorkaround::Backend
{
public:
    void setWinTabEnabled(bool enabled) override { m_enabled = enabled; }
    bool isWinTabEnabled() const override { return m_enabled; }

private:
    bool m_enabled = false;
};

// A press of the given device, then its release; returns the presses and
// releases that reached the widget.
QPair<int, int> clickWith(const QPointingDevice &device)
{
    Target target;
    const QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, &device);
    QApplication::sendEvent(&target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier,
                        &device);
    QApplication::sendEvent(&target, &release);
    return {target.presses, target.releases};
}

} // namespace

// The filter drops only presses that the platform makes up from a pen or an
// eraser, and only while WinTab is on.
class TestWinTabClickWorkaround : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void switchReadsBack();
    void builtInSwitchWithoutWinTab_data();
    void builtInSwitchWithoutWinTab();
    void penPressesAreDropped_data();
    void penPressesAreDropped();
};

// The switching platforms are the test functions' own: gone by now.
void TestWinTabClickWorkaround::cleanup()
{
    WinTabClickWorkaround::setBackend(nullptr);
    WinTabClickWorkaround::setWinTabEnabled(false);
}

void TestWinTabClickWorkaround::switchReadsBack()
{
    SwitchingBackend platform;
    WinTabClickWorkaround::setBackend(&platform);
    QVERIFY(WinTabClickWorkaround::isWinTabAvailable());
    QVERIFY(!WinTabClickWorkaround::isWinTabEnabled());
    WinTabClickWorkaround::setWinTabEnabled(true);
    QVERIFY(WinTabClickWorkaround::isWinTabEnabled());
    WinTabClickWorkaround::setWinTabEnabled(false);
    QVERIFY(!WinTabClickWorkaround::isWinTabEnabled());
}

void TestWinTabClickWorkaround::builtInSwitchWithoutWinTab_data()
{
    QTest::addColumn<int>("pointerType");
    QTest::newRow("pen") << int(QPointingDevice::PointerType::Pen);
    QTest::newRow("eraser") << int(QPointingDevice::PointerType::Eraser);
}

void TestWinTabClickWorkaround::builtInSwitchWithoutWinTab()
{
    QFETCH(int, pointerType);
    // The program has no switch of the platform's tablet interface of its
    // own, on any system: asking for WinTab changes nothing, and a pen's
    // click reaches a widget even with the filter installed.
    QVERIFY(!WinTabClickWorkaround::isWinTabAvailable());
    WinTabClickWorkaround::setWinTabEnabled(true);
    QVERIFY(!WinTabClickWorkaround::isWinTabEnabled());
    const QPointingDevice stylus(QStringLiteral("test stylus"), 4242, QInputDevice::DeviceType::Stylus,
                                 QPointingDevice::PointerType(pointerType), QInputDevice::Capability::Position, 1,
                                 3);
    WinTabClickWorkaround filter;
    qApp->installEventFilter(&filter);
    const QPair<int, int> arrived = clickWith(stylus);
    qApp->removeEventFilter(&filter);
    QCOMPARE(arrived, qMakePair(1, 1));
}

void TestWinTabClickWorkaround::penPressesAreDropped_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<int>("pointerType");
    QTest::addColumn<bool>("winTab");
    QTest::addColumn<bool>("pressArrives");

    const int stylus = int(QInputDevice::DeviceType::Stylus);
    const int pen = int(QPointingDevice::PointerType::Pen);
    const int eraser = int(QPointingDevice::PointerType::Eraser);
    QTest::newRow("pen with WinTab") << stylus << pen << true << false;
    QTest::newRow("eraser with WinTab") << stylus << eraser << true << false;
    QTest::newRow("mouse with WinTab") << int(QInputDevice::DeviceType::Mouse)
                                       << int(QPointingDevice::PointerType::Generic) << true << true;
    QTest::newRow("finger with WinTab") << int(QInputDevice::DeviceType::TouchScreen)
                                        << int(QPointingDevice::PointerType::Finger) << true << true;
    QTest::newRow("pen without WinTab") << stylus << pen << false << true;
}

void TestWinTabClickWorkaround::penPressesAreDropped()
{
    QFETCH(int, deviceType);
    QFETCH(int, pointerType);
    QFETCH(bool, winTab);
    QFETCH(bool, pressArrives);

    const QPointingDevice device(QStringLiteral("test device"), 4242, QInputDevice::DeviceType(deviceType),
                                 QPointingDevice::PointerType(pointerType), QInputDevice::Capability::Position, 1, 3);
    SwitchingBackend platform;
    WinTabClickWorkaround::setBackend(&platform);
    WinTabClickWorkaround::setWinTabEnabled(winTab);
    WinTabClickWorkaround filter;
    qApp->installEventFilter(&filter);
    const QPair<int, int> arrived = clickWith(device);
    qApp->removeEventFilter(&filter);

    QCOMPARE(arrived.first, pressArrives ? 1 : 0);
    // Only the press starts a gesture; everything else passes.
    QCOMPARE(arrived.second, 1);
}

QTEST_MAIN(TestWinTabClickWorkaround)
#include "tst_wintabclickworkaround.moc"
