#include "tools/controlsbar.h"
#include "tools/controlsbarindicator.h"
#include "tools/controlsbartoolbutton.h"

#include "support/widgetevents.h"

#include "settings/settings.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

using TestSupport::sendMouse;
using TestSupport::sendTablet;

namespace {

QImage painted(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool paintsAnything(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

} // namespace

// The controls bar: its size at each UI scale, the tool buttons' filter of
// doubled presses and their pen input, and the indicators that keep their
// place when they show nothing.
class TestControlsBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void sizesFollowTheScale_data();
    void sizesFollowTheScale();
    void doubledPressesCountOnce_data();
    void doubledPressesCountOnce();
    void penTapsCountOnce();
    void hiddenIndicatorPaintsNothing();
};

void TestControlsBar::initTestCase()
{
    TestSupport::startModel();
}

void TestControlsBar::cleanup()
{
    Model::Settings::instance()->setUIScalePercent(100);
}

void TestControlsBar::sizesFollowTheScale_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<int>("minimumWidth");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("indicatorSide");

    QTest::newRow("1") << 100 << 750 << 44 << 32;
    QTest::newRow("1.5") << 150 << 1125 << 66 << 48;
}

void TestControlsBar::sizesFollowTheScale()
{
    QFETCH(int, scalePercent);
    QFETCH(int, minimumWidth);
    QFETCH(int, height);
    QFETCH(int, indicatorSide);

    UI::ControlsBar bar;
    UI::ControlsBarIndicator indicator(QStringLiteral(":/controlsbar/indicator-mirror.svg"));
    Model::Settings::instance()->setUIScalePercent(scalePercent);
    bar.updateUISize();
    indicator.updateUISize();
    QCOMPARE(bar.minimumWidth(), minimumWidth);
    QCOMPARE(bar.minimumHeight(), height);
    QCOMPARE(bar.maximumHeight(), height);
    QCOMPARE(indicator.minimumSize(), QSize(indicatorSide, indicatorSide));
    QCOMPARE(indicator.maximumSize(), QSize(indicatorSide, indicatorSide));
}

void TestControlsBar::doubledPressesCountOnce_data()
{
    QTest::addColumn<QEvent::Type>("second");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("clicks");

    // A quick tap at 1000 ms, then a second press `gap` ms later.
    QTest::newRow("press 9 ms later") << QEvent::MouseButtonPress << 9 << 1;
    QTest::newRow("press 10 ms later") << QEvent::MouseButtonPress << 10 << 2;
    QTest::newRow("double click 9 ms later") << QEvent::MouseButtonDblClick << 9 << 1;
    QTest::newRow("double click 10 ms later") << QEvent::MouseButtonDblClick << 10 << 2;
    // A press stamped earlier, as events a program makes up often are, is
    // no doubled press.
    QTest::newRow("press stamped earlier") << QEvent::MouseButtonPress << -1000 << 2;
}

void TestControlsBar::doubledPressesCountOnce()
{
    QFETCH(QEvent::Type, second);
    QFETCH(int, gap);
    QFETCH(int, clicks);

    UI::ControlsBarToolButton button;
    button.resize(40, 40);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    const QPointF middle(20, 20);
    sendMouse(&button, QEvent::MouseButtonPress, middle, 1000);
    sendMouse(&button, QEvent::MouseButtonRelease, middle, 1000);
    QCOMPARE(clicked.count(), 1);

    const quint64 at = quint64(1000 + gap);
    // The dropped press is still taken, so that nothing beneath sees it.
    QVERIFY(sendMouse(&button, second, middle, at));
    sendMouse(&button, QEvent::MouseButtonRelease, middle, at + 50);
    QCOMPARE(clicked.count(), clicks);
}

void TestControlsBar::penTapsCountOnce()
{
    UI::ControlsBarToolButton button;
    button.resize(40, 40);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    const QPointF middle(20, 20);

    // A pen tap clicks, and the tablet events are taken.
    QVERIFY(sendTablet(&button, QEvent::TabletPress, middle, 5000));
    QVERIFY(sendTablet(&button, QEvent::TabletMove, middle, 5001));
    QVERIFY(sendTablet(&button, QEvent::TabletRelease, middle, 5002));
    QCOMPARE(clicked.count(), 1);

    // The mouse press the platform makes of the same tap 4 ms later is
    // dropped; a real press later on counts.
    sendMouse(&button, QEvent::MouseButtonPress, middle, 5006);
    sendMouse(&button, QEvent::MouseButtonRelease, middle, 5007);
    QCOMPARE(clicked.count(), 1);
    sendMouse(&button, QEvent::MouseButtonPress, middle, 5300);
    sendMouse(&button, QEvent::MouseButtonRelease, middle, 5310);
    QCOMPARE(clicked.count(), 2);

    // The pen coming near is no press.
    QVERIFY(!sendTablet(&button, QEvent::TabletEnterProximity, middle, 6000));
    QVERIFY(!button.isDown());
    QCOMPARE(clicked.count(), 2);
}

void TestControlsBar::hiddenIndicatorPaintsNothing()
{
    UI::ControlsBarIndicator indicator(QStringLiteral(":/controlsbar/indicator-backlight.svg"));
    QVERIFY(!indicator.isIndicatorVisible());
    QVERIFY(!paintsAnything(painted(indicator)));
    QCOMPARE(indicator.size(), QSize(32, 32));

    indicator.setIndicatorVisible(true);
    QVERIFY(paintsAnything(painted(indicator)));
    indicator.setIndicatorVisible(false);
    QVERIFY(!paintsAnything(painted(indicator)));
    QCOMPARE(indicator.size(), QSize(32, 32));
}

QTEST_MAIN(TestControlsBar)
#include "tst_controlsbar.moc"
