#include "style/klproxystyle.h"

#include "initialize.h"

#include <QCommonStyle>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyleOptionMenuItem>
#include <QStyleOptionSlider>
#include <QTest>

namespace {

// A platform style that writes down the menu texts it is asked to draw.
class RecordingStyle : public QCommonStyle
{
public:
    QStringList *menuTexts = nullptr;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_MenuItem && menuTexts)
            *menuTexts << qstyleoption_cast<const QStyleOptionMenuItem *>(option)->text;
        QCommonStyle::drawControl(element, option, painter, widget);
    }
};

QStyleOptionSlider sliderOption(Qt::Orientation orientation, QRect rect, int minimum, int maximum, int pageStep,
                                int position, bool upsideDown = false)
{
    QStyleOptionSlider option;
    option.rect = rect;
    option.orientation = orientation;
    option.minimum = minimum;
    option.maximum = maximum;
    option.pageStep = pageStep;
    option.sliderPosition = position;
    option.sliderValue = position;
    option.upsideDown = upsideDown;
    return option;
}

// A bar that has opted into one of the program's looks (or none).
std::unique_ptr<QScrollBar> bar(const char *property)
{
    auto scrollBar = std::make_unique<QScrollBar>();
    if (property)
        scrollBar->setProperty(property, true);
    return scrollBar;
}

constexpr char XSheet[] = "X-Sheet ScrollBar";
constexpr char ActionsList[] = "ActionsList ScrollBar";

int distance(QRgb a, QColor b)
{
    return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) + std::abs(qBlue(a) - b.blue());
}

} // namespace

// The application style: its scroll bars, their extents, the menu shortcut
// texts, unchanged icons and the warm-grey pieces it paints, beside the
// platform style it wraps.
class TestKLProxyStyle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void handleRectangles_data();
    void handleRectangles();
    void noArrowButtons_data();
    void noArrowButtons();
    void plainScrollBarKeepsPlatformStyle();
    void scrollBarExtents_data();
    void scrollBarExtents();
    void menuShortcutsShowAmpersands_data();
    void menuShortcutsShowAmpersands();
    void iconsAreNotGreyedOut();
    void exposureSheetBarPainting();
    void scrollAreaCornerPainting();
    void headerEmptyAreaPainting();

private:
    QCommonStyle m_platform;
    UI::KLProxyStyle m_style{new QCommonStyle};
};

void TestKLProxyStyle::initTestCase()
{
    // The header band's height follows the preferences' UI scale.
    QStandardPaths::setTestModeEnabled(true);
    Model::initialize();
}

void TestKLProxyStyle::handleRectangles_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("pageStep");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("upsideDown");
    QTest::addColumn<QRect>("handle");

    const QByteArray sheet(XSheet);
    const QByteArray list(ActionsList);
    const int v = Qt::Vertical;
    const int h = Qt::Horizontal;
    // A 200-pixel bar over 0..100 with a page of 100: the handle is half
    // the bar, inset by 4 across and 2 along on the exposure sheet.
    QTest::newRow("sheet vertical, top") << sheet << v << QRect(0, 0, 16, 200) << 100 << 100 << 0 << false
                                         << QRect(4, 2, 8, 96);
    QTest::newRow("sheet vertical, bottom") << sheet << v << QRect(0, 0, 16, 200) << 100 << 100 << 100 << false
                                            << QRect(4, 102, 8, 96);
    QTest::newRow("sheet vertical, upside down") << sheet << v << QRect(0, 0, 16, 200) << 100 << 100 << 100 << true
                                                 << QRect(4, 2, 8, 96);
    QTest::newRow("sheet horizontal, middle") << sheet << h << QRect(0, 0, 400, 16) << 300 << 100 << 150 << false
                                              << QRect(152, 4, 96, 8);
    QTest::newRow("list vertical, top") << list << v << QRect(0, 0, 8, 200) << 100 << 100 << 0 << false
                                        << QRect(0, 0, 8, 100);
    QTest::newRow("list horizontal, end") << list << h << QRect(0, 0, 400, 8) << 300 << 100 << 300 << false
                                          << QRect(300, 0, 100, 8);
    // No minimum length: a tiny page gives a tiny handle, and on the sheet
    // one under 4 pixels long vanishes.
    QTest::newRow("sheet, handle of 2 pixels") << sheet << v << QRect(0, 0, 16, 200) << 9900 << 100 << 0 << false
                                               << QRect(4, 2, 8, -2);
    QTest::newRow("list, handle of 2 pixels") << list << v << QRect(0, 0, 8, 200) << 9900 << 100 << 0 << false
                                              << QRect(0, 0, 8, 2);
    // Nothing to scroll: the handle fills the bar.
    QTest::newRow("sheet, nothing to scroll") << sheet << v << QRect(0, 0, 16, 200) << 0 << 100 << 0 << false
                                              << QRect(4, 2, 8, 196);
    // Page steps and ranges near the int limits do not overflow.
    QTest::newRow("sheet, huge range") << sheet << v << QRect(0, 0, 16, 200) << 2000000000 << 2000000000 << 0
                                       << false << QRect(4, 2, 8, 96);
}

void TestKLProxyStyle::handleRectangles()
{
    QFETCH(QByteArray, property);
    QFETCH(int, orientation);
    QFETCH(QRect, rect);
    QFETCH(int, maximum);
    QFETCH(int, pageStep);
    QFETCH(int, position);
    QFETCH(bool, upsideDown);
    QFETCH(QRect, handle);

    const auto scrollBar = bar(property.constData());
    const QStyleOptionSlider option =
        sliderOption(Qt::Orientation(orientation), rect, 0, maximum, pageStep, position, upsideDown);
    const QRect slider =
        m_style.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, scrollBar.get());
    QCOMPARE(slider, handle);
    QCOMPARE(slider.isEmpty(), handle.isEmpty());
    QCOMPARE(m_style.subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove, scrollBar.get()),
             rect);
}

void TestKLProxyStyle::noArrowButtons_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::newRow("exposure sheet") << QByteArray(XSheet);
    QTest::newRow("actions list") << QByteArray(ActionsList);
}

void TestKLProxyStyle::noArrowButtons()
{
    QFETCH(QByteArray, property);
    const auto scrollBar = bar(property.constData());
    for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
        const QRect rect = orientation == Qt::Vertical ? QRect(0, 0, 16, 300) : QRect(0, 0, 300, 16);
        const QStyleOptionSlider option = sliderOption(orientation, rect, 0, 1000, 100, 500);
        for (const QStyle::SubControl arrow : {QStyle::SC_ScrollBarAddLine, QStyle::SC_ScrollBarSubLine,
                                               QStyle::SC_ScrollBarFirst, QStyle::SC_ScrollBarLast})
            QVERIFY(m_style.subControlRect(QStyle::CC_ScrollBar, &option, arrow, scrollBar.get()).isEmpty());
        // Where the platform puts its arrows, a click pages instead.
        for (const QPoint end : {rect.topLeft() + QPoint(1, 1), rect.bottomRight() - QPoint(1, 1)}) {
            const QStyle::SubControl hit =
                m_style.hitTestComplexControl(QStyle::CC_ScrollBar, &option, end, scrollBar.get());
            QVERIFY2(hit != QStyle::SC_ScrollBarAddLine && hit != QStyle::SC_ScrollBarSubLine,
                     qPrintable(QString::number(hit)));
        }
    }
}

void TestKLProxyStyle::plainScrollBarKeepsPlatformStyle()
{
    const auto scrollBar = bar(nullptr);
    for (const Qt::Orientation orientation : {Qt::Vertical, Qt::Horizontal}) {
        const QRect rect = orientation == Qt::Vertical ? QRect(0, 0, 16, 300) : QRect(0, 0, 300, 16);
        const QStyleOptionSlider option = sliderOption(orientation, rect, 0, 1000, 100, 250);
        for (const QStyle::SubControl part :
             {QStyle::SC_ScrollBarAddLine, QStyle::SC_ScrollBarSubLine, QStyle::SC_ScrollBarSlider,
              QStyle::SC_ScrollBarGroove, QStyle::SC_ScrollBarAddPage, QStyle::SC_ScrollBarSubPage}) {
            QCOMPARE(m_style.subControlRect(QStyle::CC_ScrollBar, &option, part, scrollBar.get()),
                     m_platform.subControlRect(QStyle::CC_ScrollBar, &option, part, scrollBar.get()));
        }
    }
}

void TestKLProxyStyle::scrollBarExtents_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("difference");
    QTest::newRow("exposure sheet") << QByteArray(XSheet) << 2;
    QTest::newRow("actions list") << QByteArray(ActionsList) << -8;
    QTest::newRow("any other") << QByteArray() << 0;
}

void TestKLProxyStyle::scrollBarExtents()
{
    QFETCH(QByteArray, property);
    QFETCH(int, difference);
    const auto scrollBar = bar(property.isEmpty() ? nullptr : property.constData());
    const int platform = m_platform.pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollBar.get());
    QCOMPARE(m_style.pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scrollBar.get()), platform + difference);
}

void TestKLProxyStyle::menuShortcutsShowAmpersands_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("drawn");
    QTest::newRow("shortcut with an ampersand") << QStringLiteral("Merge Layer Down\t&")
                                                << QStringLiteral("Merge Layer Down\t&&");
    QTest::newRow("mnemonic kept before the tab") << QStringLiteral("&Quit\tCtrl+&")
                                                  << QStringLiteral("&Quit\tCtrl+&&");
    QTest::newRow("only the last tab's part") << QStringLiteral("A&\tB&\tC&") << QStringLiteral("A&\tB&\tC&&");
    QTest::newRow("no shortcut") << QStringLiteral("Flip && &Play") << QStringLiteral("Flip && &Play");
}

void TestKLProxyStyle::menuShortcutsShowAmpersands()
{
    QFETCH(QString, text);
    QFETCH(QString, drawn);
    auto *recording = new RecordingStyle;
    QStringList texts;
    recording->menuTexts = &texts;
    const UI::KLProxyStyle style(recording);

    QStyleOptionMenuItem option;
    option.rect = QRect(0, 0, 200, 24);
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.text = text;
    QImage image(200, 24, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    style.drawControl(QStyle::CE_MenuItem, &option, &painter);
    QCOMPARE(texts, QStringList{drawn});
}

void TestKLProxyStyle::iconsAreNotGreyedOut()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    QStyleOption option;
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected})
        QCOMPARE(m_style.generatedIconPixmap(mode, pixmap, &option).cacheKey(), pixmap.cacheKey());
    // The platform style does grey a disabled icon.
    QVERIFY(m_platform.generatedIconPixmap(QIcon::Disabled, pixmap, &option).toImage() != pixmap.toImage());
}

void TestKLProxyStyle::exposureSheetBarPainting()
{
    const auto scrollBar = bar(XSheet);
    const QStyleOptionSlider option = sliderOption(Qt::Vertical, QRect(0, 0, 16, 400), 0, 300, 100, 0);
    QImage image(16, 400, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    m_style.drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, scrollBar.get());
    painter.end();

    // The track in the middle, away from the shadows at both ends.
    QCOMPARE(QColor(image.pixel(10, 300)), QColor(115, 112, 108));
    // The shadows darken the ends, most at the very end.
    QVERIFY(qRed(image.pixel(10, 399)) < qRed(image.pixel(10, 380)));
    QVERIFY(qRed(image.pixel(10, 380)) < qRed(image.pixel(10, 300)));
    // The handle (rows 2 to 97 of the upper quarter) is a translucent black
    // over the track: 64/255 darker.
    QVERIFY(distance(image.pixel(8, 60), QColor(86, 84, 81)) <= 6);
    // No arrows, no platform parts: nothing left unpainted.
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            QVERIFY(image.pixel(x, y) != QColor(Qt::magenta).rgb());
    }
}

void TestKLProxyStyle::scrollAreaCornerPainting()
{
    QStyleOption option;
    option.rect = QRect(0, 0, 16, 16);
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    m_style.drawPrimitive(QStyle::PE_PanelScrollAreaCorner, &option, &painter);
    painter.end();
    // A line along the top, then a gradient that darkens downwards.
    QCOMPARE(QColor(image.pixel(8, 0)), QColor(113, 109, 105));
    QVERIFY(qRed(image.pixel(8, 4)) > qRed(image.pixel(8, 15)));
    QVERIFY(distance(image.pixel(8, 15), QColor(86, 82, 79)) <= 4);
    QVERIFY(distance(image.pixel(8, 2), QColor(106, 102, 98)) <= 6);
}

void TestKLProxyStyle::headerEmptyAreaPainting()
{
    // Beside the last layer column the exposure sheet's header continues
    // its two bands: the icon band (28 pixels at UI scale 1) and the name
    // strip, each with a line along its top, and a line at the bottom.
    QHeaderView header(Qt::Horizontal);
    header.setProperty("X-Sheet Header", true);
    QStyleOption option;
    option.rect = QRect(0, 0, 40, 44);
    QImage image(40, 44, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    m_style.drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, &header);
    painter.end();

    const QColor line(60, 56, 52);
    for (const int y : {0, 28, 43})
        QVERIFY2(distance(image.pixel(20, y), line) <= 6, qPrintable(QString::number(y)));
    // Both bands lighten downwards; the name strip starts darker.
    QVERIFY(qRed(image.pixel(20, 2)) < qRed(image.pixel(20, 26)));
    QVERIFY(qRed(image.pixel(20, 30)) < qRed(image.pixel(20, 41)));
    QVERIFY(qRed(image.pixel(20, 30)) < qRed(image.pixel(20, 26)));

    // Another header keeps the platform's look.
    QHeaderView plain(Qt::Horizontal);
    QImage platformImage(40, 44, QImage::Format_RGB32);
    platformImage.fill(Qt::magenta);
    image.fill(Qt::magenta);
    QPainter platformPainter(&platformImage);
    m_platform.drawControl(QStyle::CE_HeaderEmptyArea, &option, &platformPainter, &plain);
    platformPainter.end();
    painter.begin(&image);
    m_style.drawControl(QStyle::CE_HeaderEmptyArea, &option, &painter, &plain);
    painter.end();
    QCOMPARE(image, platformImage);
}

QTEST_MAIN(TestKLProxyStyle)
#include "tst_klproxystyle.moc"
