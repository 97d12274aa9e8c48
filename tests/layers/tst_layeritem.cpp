#include "drawings/imagedrawing.h"
#include "layers/layeritem.h"

#include <QImage>
#include <QTest>

#include <memory>

using namespace Model;

namespace {

QImage frame(QColor color)
{
    QImage image(32, 24, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestLayerItem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void imageCellIsAnOriginal_data();
    void imageCellIsAnOriginal();
    void cloneSharesTheDrawing();
    void cloneKeepsTheDrawingAlive();
    void everyCellHasItsOwnKey();
};

void TestLayerItem::imageCellIsAnOriginal_data()
{
    QTest::addColumn<QImage>("image");
    QTest::newRow("imported frame") << frame(Qt::darkCyan);
    QTest::newRow("frame that could not be read") << QImage();
}

void TestLayerItem::imageCellIsAnOriginal()
{
    QFETCH(QImage, image);

    const auto cell = std::make_shared<LayerItem>(image);

    QCOMPARE(cell->kind(), LayerItem::OriginalKind);
    QVERIFY(cell->drawing());
    QCOMPARE(cell->drawing()->type(), Drawing::ImageDrawingType);
    QCOMPARE(static_cast<const ImageDrawing &>(*cell->drawing()).image(), image);
    QVERIFY(cell->offPegsTransform().isIdentity());
    QVERIFY(!cell->isKeyDrawing());
    QVERIFY(cell->distantClones().isEmpty());
    QVERIFY(cell->originalLayer().isNull());
    QVERIFY(cell->originalItem().isNull());
}

// A hold shows the very drawing of the cell before it: a change made through
// one cell shows in the other.
void TestLayerItem::cloneSharesTheDrawing()
{
    const auto original = std::make_shared<LayerItem>(frame(Qt::red));
    original->setOffPegsTransform(QTransform::fromTranslate(12, 4));
    original->setKeyDrawing(true);

    const auto clone = std::make_shared<LayerItem>(original);

    QCOMPARE(clone->kind(), LayerItem::CloneKind);
    QCOMPARE(clone->drawing(), original->drawing());
    original->drawing()->setName(QStringLiteral("Jump"));
    QCOMPARE(clone->drawing()->name(), QStringLiteral("Jump"));
    // Placement and key mark belong to a cell, not to its drawing.
    QVERIFY(clone->offPegsTransform().isIdentity());
    QVERIFY(!clone->isKeyDrawing());
    QVERIFY(clone->distantClones().isEmpty());
    QVERIFY(clone->originalItem().isNull());
}

void TestLayerItem::cloneKeepsTheDrawingAlive()
{
    auto original = std::make_shared<LayerItem>(frame(Qt::blue));
    const std::weak_ptr<Drawing> drawing = original->drawing();
    std::weak_ptr<LayerItem> originalAlive = original;

    const auto clone = std::make_shared<LayerItem>(std::move(original));
    QVERIFY(originalAlive.expired());
    QVERIFY(!drawing.expired());

    const QImage shown = static_cast<const ImageDrawing &>(*clone->drawing()).image();
    QCOMPARE(shown.pixelColor(0, 0), QColor(Qt::blue));

    const auto none = std::make_shared<LayerItem>(std::shared_ptr<LayerItem>());
    QCOMPARE(none->kind(), LayerItem::CloneKind);
    QVERIFY(!none->drawing());
}

void TestLayerItem::everyCellHasItsOwnKey()
{
    const auto first = std::make_shared<LayerItem>(frame(Qt::green));
    const auto second = std::make_shared<LayerItem>(frame(Qt::green));
    const auto clone = std::make_shared<LayerItem>(first);

    QVERIFY(!first->identifier().isNull());
    QVERIFY(!clone->identifier().isNull());
    QCOMPARE(QSet<QUuid>({first->identifier(), second->identifier(), clone->identifier()}).size(), 3);

    // Both ends of a distant-clone link, as the scene keeps them.
    const QUuid layer = QUuid::createUuid();
    const QUuid otherLayer = QUuid::createUuid();
    second->setKind(LayerItem::DistantCloneKind);
    second->setDrawing(first->drawing());
    second->setOriginal({layer, first->identifier()});
    first->setDistantClones({{otherLayer, second->identifier()}});
    QCOMPARE(second->originalLayer(), layer);
    QCOMPARE(second->originalItem(), first->identifier());
    QCOMPARE(first->distantClones(), (QList<LayerItem::Key>{{otherLayer, second->identifier()}}));
    QCOMPARE(second->drawing(), first->drawing());
}

QTEST_MAIN(TestLayerItem)
#include "tst_layeritem.moc"
