#include "timeline/textbubble.h"

#include "support/widgetevents.h"

#include "settings/settings.h"

#include <QGraphicsDropShadowEffect>
#include <QImage>
#include <QTest>
#include <QWidget>

#include <algorithm>

namespace {

// The bubble as painted, without its shadow, on transparent pixels.
QImage paintedBubble(UI::TextBubble &bubble)
{
    bubble.graphicsEffect()->setEnabled(false);
    QImage image(bubble.size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    bubble.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace

// The value bubble: its size follows the text, its widget holds the body and
// the pointer, and the pointer's base keeps clear of the rounded corners.
class TestTextBubble : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void sizeFollowsTheText_data();
    void sizeFollowsTheText();
    void placement_data();
    void placement();
    void pointerHugsTheCorner();
    void nothingPaintedBeforePlacing();
};

void TestTextBubble::initTestCase()
{
    TestSupport::startModel();
}

void TestTextBubble::cleanup()
{
    Model::Settings::instance()->setUIScalePercent(100);
}

// The bubble is drawn in plain pixels: the UI scale changes neither its
// size nor where it goes.
void TestTextBubble::sizeFollowsTheText_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<QSize>("size");

    for (const int scalePercent : {100, 150}) {
        const QByteArray scale = " at " + QByteArray::number(scalePercent) + "%";
        QTest::newRow(("empty" + scale).constData()) << scalePercent << QString() << 0 << QSize(12, 16);
        QTest::newRow(("three characters" + scale).constData())
            << scalePercent << QStringLiteral("abc") << 0 << QSize(33, 16);
        QTest::newRow(("a number" + scale).constData()) << scalePercent << QString() << 1440 << QSize(40, 16);
        QTest::newRow(("a negative number" + scale).constData()) << scalePercent << QString() << -12 << QSize(33, 16);
    }
}

void TestTextBubble::sizeFollowsTheText()
{
    QFETCH(int, scalePercent);
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(QSize, size);

    Model::Settings::instance()->setUIScalePercent(scalePercent);
    QWidget owner;
    UI::TextBubble bubble(&owner);
    QCOMPARE(bubble.bubbleSize(), QSize(12, 16));
    QVERIFY(bubble.isHidden());
    if (number != 0)
        bubble.setNumber(number);
    else
        bubble.setText(text);
    QCOMPARE(bubble.bubbleSize(), size);
    QCOMPARE(UI::TextBubble::pointerHeight(), 5);
}

void TestTextBubble::placement_data()
{
    QTest::addColumn<int>("scalePercent");
    QTest::addColumn<int>("x");
    QTest::addColumn<QRect>("geometry");

    // The body is (100, 20) 33 x 16.
    for (const int scalePercent : {100, 150}) {
        const QByteArray scale = " at " + QByteArray::number(scalePercent) + "%";
        QTest::newRow(("tip over the body" + scale).constData()) << scalePercent << 116 << QRect(100, 20, 33, 21);
        QTest::newRow(("tip left of the body" + scale).constData()) << scalePercent << 90 << QRect(90, 20, 43, 21);
        QTest::newRow(("tip right of the body" + scale).constData()) << scalePercent << 140 << QRect(100, 20, 41, 21);
    }
}

void TestTextBubble::placement()
{
    QFETCH(int, scalePercent);
    QFETCH(int, x);
    QFETCH(QRect, geometry);

    Model::Settings::instance()->setUIScalePercent(scalePercent);
    QWidget owner;
    owner.resize(300, 100);
    UI::TextBubble bubble(&owner);
    bubble.setNumber(123);
    bubble.placeAt(QRect(QPoint(100, 20), bubble.bubbleSize()), x);
    QCOMPARE(bubble.geometry(), geometry);

    // The pointer ends where asked, 5 pixels under the body, and the body
    // is a dark translucent fill.
    const QImage image = paintedBubble(bubble);
    const int tip = x - geometry.left();
    int nearTip = 0;
    for (int column = std::max(0, tip - 2); column <= std::min(image.width() - 1, tip + 2); ++column)
        nearTip = std::max(nearTip, qAlpha(image.pixel(column, 20)));
    QVERIFY(nearTip > 0);
    QCOMPARE(image.pixel(100 - geometry.left() + 2, 8), qRgba(0, 0, 0, 192));
}

void TestTextBubble::pointerHugsTheCorner()
{
    QWidget owner;
    owner.resize(300, 100);
    UI::TextBubble bubble(&owner);
    bubble.setNumber(12345);
    const QRect body(QPoint(50, 10), bubble.bubbleSize());
    bubble.placeAt(body, body.right() - 1);
    const QImage image = paintedBubble(bubble);
    const int tip = body.width() - 2;
    // The base runs left of the tip up to the corner's end: eight pixels to
    // the left of the tip the pointer is still there, as it would not be if
    // its base were centred on the tip.
    QVERIFY(qAlpha(image.pixel(tip - 8, 16)) > 0);
    QCOMPARE(qAlpha(image.pixel(body.width() - 1, 17)), 0);
}

void TestTextBubble::nothingPaintedBeforePlacing()
{
    QWidget owner;
    UI::TextBubble bubble(&owner);
    bubble.setText(QStringLiteral("42"));
    bubble.resize(40, 21);
    const QImage image = paintedBubble(bubble);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(qAlpha(image.pixel(x, y)), 0);
    }
}

QTEST_MAIN(TestTextBubble)
#include "tst_textbubble.moc"
