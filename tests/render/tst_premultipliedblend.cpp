#include "render/premultipliedblend.h"

#include <QPainter>
#include <QTest>

using namespace Model;

namespace {

const QSize Size(96, 72);

// Every alpha over every alpha, with colours that differ from pixel to pixel,
// a transparent quarter, and an opaque band.
QImage pattern(int seed)
{
    QImage image(Size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            int alpha = (x * 7 + y * 11 + seed * 29) % 256;
            if (x < Size.width() / 2 && y < Size.height() / 2 && seed == 1)
                alpha = 0;
            if (y % 9 == seed)
                alpha = 255;
            image.setPixel(x, y, qPremultiply(qRgba((x * 13 + seed) % 256, (y * 5) % 256,
                                                    (x + y + seed * 50) % 256, alpha)));
        }
    }
    return image;
}

} // namespace

class TestPremultipliedBlend : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matchesQPainter_data();
    void matchesQPainter();
    void otherFormatsAreLeftAlone();
};

void TestPremultipliedBlend::matchesQPainter_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::newRow("whole") << QRect(QPoint(), Size);
    QTest::newRow("part") << QRect(10, 5, 40, 30);
    QTest::newRow("odd part") << QRect(3, 2, 37, 21);
    QTest::newRow("beyond the images") << QRect(-20, 30, 200, 100);
}

// The scene's composite is blended here; it must not differ from painting.
void TestPremultipliedBlend::matchesQPainter()
{
    QFETCH(QRect, rect);
    const QImage below = pattern(0);
    const QImage above = pattern(1);

    QImage expected = below;
    {
        QPainter painter(&expected);
        const QRect clipped = rect & above.rect();
        painter.drawImage(clipped.topLeft(), above, clipped);
    }
    QImage blended = below;
    blendPremultiplied(blended, above, rect);
    QCOMPARE(blended, expected);
}

void TestPremultipliedBlend::otherFormatsAreLeftAlone()
{
    const QImage below = pattern(0);
    QImage blended = below;
    blendPremultiplied(blended, pattern(1).convertToFormat(QImage::Format_ARGB32), QRect(QPoint(), Size));
    QCOMPARE(blended, below);
}

QTEST_GUILESS_MAIN(TestPremultipliedBlend)
#include "tst_premultipliedblend.moc"
