#include "tools/palette.h"

#include "support/widgetevents.h"

#include <QTest>
#include <QtMath>

#include <cmath>

using TestSupport::sendMouse;

namespace {

// A palette of 400 x 400 has its centre at (200, 200): the triangle inside
// 67.2, the hue ring out to 90, the alpha arc out to 112 and the swatches
// from 144 to 166.8.
const QPointF Centre(200, 200);

// A point at an angle in degrees measured clockwise on screen from +x.
QPointF onScreen(double radius, double degrees)
{
    return Centre + radius * QPointF(std::cos(qDegreesToRadians(degrees)), std::sin(qDegreesToRadians(degrees)));
}

QString describe(const QColor &color)
{
    return QStringLiteral("hsl(%1, %2, %3) alpha %4")
        .arg(color.hslHueF())
        .arg(color.hslSaturationF())
        .arg(color.lightnessF())
        .arg(color.alphaF());
}

bool sameRgb(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 1 && std::abs(a.green() - b.green()) <= 1
        && std::abs(a.blue() - b.blue()) <= 1;
}

} // namespace

// The colour palette: what presses in its rings choose, the swatches that
// keep the last chosen first, the hue that wraps round, the triangle that
// turns with it and holds the colour on its edges, and the alpha arc.
class TestPalette : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void pressesThatChooseNothing_data();
    void pressesThatChooseNothing();
    void swatches_data();
    void swatches();
    void swatchesArePainted();
    void hueRing_data();
    void hueRing();
    void hueWrapsRound();
    void triangle_data();
    void triangle();
    void alphaArc_data();
    void alphaArc();
    void greyKeepsTheHue();

private:
    void click(QPointF at) { drag(at, at); }
    void drag(QPointF from, QPointF to);

    std::unique_ptr<UI::Palette> m_palette;
};

void TestPalette::init()
{
    m_palette = std::make_unique<UI::Palette>();
    m_palette->resize(400, 400);
    // Lays itself out on the resize that showing it delivers.
    m_palette->show();
}

void TestPalette::cleanup()
{
    m_palette.reset();
}

void TestPalette::drag(QPointF from, QPointF to)
{
    sendMouse(m_palette.get(), QEvent::MouseButtonPress, from);
    TestSupport::sendMouseEvent(m_palette.get(), QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(m_palette.get(), QEvent::MouseButtonRelease, to);
}

void TestPalette::pressesThatChooseNothing_data()
{
    QTest::addColumn<QPointF>("point");

    QTest::newRow("between the alpha arc and the swatches") << onScreen(128, -150);
    QTest::newRow("between two swatches") << onScreen(155, 7.5);
    QTest::newRow("beyond the swatches") << onScreen(175, 0);
    QTest::newRow("beyond the last swatch") << onScreen(155, 150);
    QTest::newRow("alpha band away from the arc") << onScreen(100, 90);
}

void TestPalette::pressesThatChooseNothing()
{
    QFETCH(QPointF, point);

    const QColor before = m_palette->color();
    const QList<QColor> swatches = m_palette->swatches();
    click(point);
    QCOMPARE(m_palette->color(), before);
    QCOMPARE(m_palette->swatches(), swatches);
}

void TestPalette::swatches_data()
{
    QTest::addColumn<int>("pressed");
    QTest::addColumn<int>("released");
    QTest::addColumn<QList<int>>("order");

    // Swatch i is centred 15 i degrees clockwise from +x.
    QTest::newRow("the fourth comes first") << 3 << 3 << QList<int>{3, 0, 1, 2, 4, 5, 6, 7, 8, 9};
    QTest::newRow("the first stays first") << 0 << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    QTest::newRow("the last comes first") << 9 << 9 << QList<int>{9, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("released on another") << 3 << 4 << QList<int>();
}

void TestPalette::swatches()
{
    QFETCH(int, pressed);
    QFETCH(int, released);
    QFETCH(QList<int>, order);

    const QList<QColor> before = m_palette->swatches();
    const QColor colorBefore = m_palette->color();
    drag(onScreen(155, 15 * pressed), onScreen(155, 15 * released));
    if (order.isEmpty()) {
        QCOMPARE(m_palette->swatches(), before);
        QCOMPARE(m_palette->color(), colorBefore);
        return;
    }
    QVERIFY2(sameRgb(m_palette->color(), before.at(pressed)), qPrintable(describe(m_palette->color())));
    QList<QColor> expected;
    for (int i : order)
        expected.append(before.at(i));
    QCOMPARE(m_palette->swatches(), expected);
}

void TestPalette::swatchesArePainted()
{
    const QList<QColor> swatches = m_palette->swatches();
    QCOMPARE(swatches.size(), UI::Palette::SwatchCount);
    QCOMPARE(swatches.at(3), QColor(255, 203, 88));
    click(onScreen(155, 45));
    const QImage image = m_palette->grab().toImage();
    // The chosen swatch now stands first, on +x; the first one moved on.
    QCOMPARE(image.pixelColor(onScreen(155, 0).toPoint()), QColor(255, 203, 88));
    QCOMPARE(image.pixelColor(onScreen(155, 15).toPoint()), swatches.at(0));
}

void TestPalette::hueRing_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("hue");

    // The hues run clockwise from red at the right.
    QTest::newRow("right") << 0.0 << 0.0;
    QTest::newRow("below") << 90.0 << 0.25;
    QTest::newRow("left") << 180.0 << 0.5;
    QTest::newRow("above") << 270.0 << 0.75;
    QTest::newRow("just above the right") << -3.0 << 357.0 / 360;
}

void TestPalette::hueRing()
{
    QFETCH(double, degrees);
    QFETCH(double, hue);

    click(onScreen(80, degrees));
    const QColor color = m_palette->color();
    QVERIFY2(std::abs(color.hslHueF() - hue) < 0.005, qPrintable(describe(color)));
    // Saturation, lightness and alpha stay.
    QVERIFY2(std::abs(color.hslSaturationF() - 1) < 1e-4, qPrintable(describe(color)));
    QVERIFY2(std::abs(color.lightnessF() - 0.5) < 1e-4, qPrintable(describe(color)));
    QVERIFY2(std::abs(color.alphaF() - 1) < 1e-4, qPrintable(describe(color)));
}

void TestPalette::hueWrapsRound()
{
    sendMouse(m_palette.get(), QEvent::MouseButtonPress, onScreen(80, -3));
    QVERIFY2(m_palette->color().hslHueF() > 0.98, qPrintable(describe(m_palette->color())));
    TestSupport::sendMouseEvent(m_palette.get(), QEvent::MouseMove, onScreen(80, 3), Qt::NoButton, Qt::LeftButton);
    QVERIFY2(m_palette->color().hslHueF() < 0.02, qPrintable(describe(m_palette->color())));
    // A drag that leaves the ring keeps turning the hue.
    TestSupport::sendMouseEvent(m_palette.get(), QEvent::MouseMove, onScreen(150, 90), Qt::NoButton, Qt::LeftButton);
    sendMouse(m_palette.get(), QEvent::MouseButtonRelease, onScreen(150, 90));
    QVERIFY2(std::abs(m_palette->color().hslHueF() - 0.25) < 0.005, qPrintable(describe(m_palette->color())));
}

void TestPalette::triangle_data()
{
    QTest::addColumn<double>("hueDegrees");
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<double>("saturation");
    QTest::addColumn<double>("lightness");
    QTest::addColumn<int>("edge");

    // The pure-hue corner points at the hue, black lies 120 degrees
    // counter-clockwise from it and white 120 degrees clockwise, on a
    // circle of 67.19. Outside the triangle the colour stays on the edge
    // nearest the point: 1 black to hue, 2 white to hue, 3 black to white.
    for (double hue : {0.0, 120.0}) {
        const QByteArray at = " " + QByteArray::number(hue);
        QTest::newRow("pure hue corner" + at) << hue << onScreen(67, hue) << 1.0 << 0.5 << 0;
        QTest::newRow("black corner" + at) << hue << onScreen(67, hue - 120) << 0.0 << 0.0 << 0;
        QTest::newRow("white corner" + at) << hue << onScreen(67, hue + 120) << 0.0 << 1.0 << 0;
        QTest::newRow("middle" + at) << hue << Centre << 1.0 / 3 << 0.5 << 0;
        QTest::newRow("beyond black to white" + at) << hue << onScreen(60, hue + 180) << 0.0 << 0.5 << 3;
        QTest::newRow("beyond black to hue" + at) << hue << onScreen(60, hue - 60) << 0.5 << 0.25 << 1;
        QTest::newRow("beyond white to hue" + at) << hue << onScreen(60, hue + 60) << 0.5 << 0.75 << 2;
    }
}

void TestPalette::triangle()
{
    QFETCH(double, hueDegrees);
    QFETCH(QPointF, point);
    QFETCH(double, saturation);
    QFETCH(double, lightness);
    QFETCH(int, edge);

    click(onScreen(80, hueDegrees));
    // Dragged in from the far side of the triangle.
    drag(onScreen(30, hueDegrees + 180), point);
    const QColor color = m_palette->color();
    const QString text = describe(color);
    const double s = color.hslSaturationF();
    const double l = color.lightnessF();
    // The corners and the middle exactly, the edges near their middles.
    const double tolerance = edge == 0 ? 0.02 : 0.05;
    QVERIFY2(std::abs(s - saturation) < tolerance, qPrintable(text));
    QVERIFY2(std::abs(l - lightness) < tolerance, qPrintable(text));
    if (s > 0.1)
        QVERIFY2(std::abs(color.hslHueF() - hueDegrees / 360) < 0.005, qPrintable(text));
    QVERIFY2(l >= s / 2 - 1e-4 && l <= 1 - s / 2 + 1e-4, qPrintable(text));
    const double offEdge[] = {0.0, std::abs(l - s / 2), std::abs(l - (1 - s / 2)), s};
    QVERIFY2(offEdge[edge] < 1e-4, qPrintable(text));
}

void TestPalette::alphaArc_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("alpha");

    // Counter-clockwise from +x, y up: opaque at 110 degrees, clear at 200,
    // a little slack beyond each end.
    QTest::newRow("opaque end") << 110.0 << 1.0;
    QTest::newRow("half") << 155.0 << 0.5;
    QTest::newRow("clear end") << 200.0 << 0.0;
    QTest::newRow("within the slack") << 205.0 << 0.0;
    QTest::newRow("past the preview") << 102.0 << 1.0;
    QTest::newRow("beyond the slack") << 215.0 << 0.7;
}

void TestPalette::alphaArc()
{
    QFETCH(double, degrees);
    QFETCH(double, alpha);

    m_palette->setColor(QColor::fromHslF(0.2f, 0.8f, 0.4f, 0.7f));
    click(onScreen(100, -degrees));
    const QColor color = m_palette->color();
    QVERIFY2(std::abs(color.alphaF() - alpha) < 0.02, qPrintable(describe(color)));
    QVERIFY2(std::abs(color.hslHueF() - 0.2) < 0.001, qPrintable(describe(color)));
}

void TestPalette::greyKeepsTheHue()
{
    m_palette->setColor(QColor::fromHslF(0.5f, 1.0f, 0.5f));
    m_palette->setColor(QColor(128, 128, 128));
    QVERIFY(m_palette->color().hslSaturationF() < 1e-4);
    // Dragging to the pure-hue corner gives the hue shown before, not red.
    drag(Centre, onScreen(67, 180));
    const QColor color = m_palette->color();
    QVERIFY2(std::abs(color.hslHueF() - 0.5) < 0.001, qPrintable(describe(color)));
    QVERIFY2(color.hslSaturationF() > 0.98, qPrintable(describe(color)));
}

QTEST_MAIN(TestPalette)
#include "tst_palette.moc"
