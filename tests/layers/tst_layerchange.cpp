#include "drawings/strokedrawing.h"
#include "layers/annotationlayer.h"
#include "layers/layeritem.h"
#include "layers/scenechange.h"
#include "layers/strokelayer.h"
#include "scene/scene.h"
#include "support/cellpattern.h"

#include <QTest>

#include <algorithm>
#include <memory>

using namespace Model;
using CellPattern::cells;
using CellPattern::setCells;

namespace {

const QSize Frame(160, 120);
QColor Ink() { return QColor(200, 40, 20); }
using Cells = QList<std::pair<int, int>>;

// Everything about a cell that the animator or a scene file could tell apart.
struct CellState
{
    const LayerItem *item;
    int kind;
    const Drawing *drawing;
    QTransform transform;
    bool key;
    QList<LayerItem::Key> distantClones;
    LayerItem::Key original;

    bool operator==(const CellState &other) const = default;
};

QList<CellState> snapshot(const VisualLayer &layer)
{
    QList<CellState> states;
    for (const auto &item : layer.cells()) {
        states.append({item.get(), item->kind(), item->drawing().get(), item->offPegsTransform(),
                       item->isKeyDrawing(), item->distantClones(),
                       {item->originalLayer(), item->originalItem()}});
    }
    return states;
}

Cells apply(Layer &layer, int index, const QList<LayerChange> &records)
{
    Cells changed;
    for (const LayerChange &record : records)
        changed += layer.applyChange(record, index);
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    return changed;
}

// Marks every cell so that a cell put back in the wrong place, or without
// its placement, shows.
void markCells(VisualLayer &layer)
{
    for (int frame = 1; frame <= layer.frameCount(); ++frame) {
        layer.cell(frame)->setOffPegsTransform(QTransform::fromTranslate(frame, -frame));
        layer.cell(frame)->setKeyDrawing(frame % 2);
    }
}

void showAsDistantClone(VisualLayer &original, int originalFrame, VisualLayer &layer, int frame)
{
    const auto source = original.cell(originalFrame);
    const auto clone = layer.cell(frame);
    clone->setKind(LayerItem::DistantCloneKind);
    clone->setDrawing(source->drawing());
    clone->setOriginal({original.identifier(), source->identifier()});
    source->setDistantClones(source->distantClones() << LayerItem::Key(layer.identifier(), clone->identifier()));
    layer.relinkFollowingClones(frame);
}

QList<int> kinds(const QList<LayerChange> &records)
{
    QList<int> result;
    for (const auto &record : records)
        result.append(record.kind());
    return result;
}

QImage note(uchar coverage)
{
    QImage image(8, 4, QImage::Format_Alpha8);
    image.fill(coverage);
    return image;
}

QList<int> notes(const AnnotationLayer &layer)
{
    QList<int> found;
    for (int frame = 1; frame <= 8; ++frame)
        found.append(layer.image(frame).isNull() ? 0 : layer.image(frame).constBits()[0]);
    return found;
}

} // namespace

class TestLayerChange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordsTravelAsValues();
    void removalIsUndoneExactly_data();
    void removalIsUndoneExactly();
    void distantLinksAreRestored_data();
    void distantLinksAreRestored();
    void distantCloneWithoutOriginalBecomesBlankOriginal();
    void insertedCellIsRemovedByItsRecord();
    void annotationEditsAreUndone_data();
    void annotationEditsAreUndone();
};

void TestLayerChange::recordsTravelAsValues()
{
    StrokeLayer layer(Ink(), Frame);
    setCells(layer, QStringLiteral("AB"));
    const auto removed = layer.removeFrame(2);

    QList<SceneChange> list{SceneChange(removed.first(), 3)};
    const SceneChange copy = list.first();
    QCOMPARE(copy.layer(), 3);
    QCOMPARE(copy.kind(), LayerChange::InsertItem);
    QCOMPARE(copy.index(), 2);

    // A record whose content went elsewhere undoes nothing.
    SceneChange taken = std::move(list.first());
    QCOMPARE(list.first().kind(), LayerChange::NoChange);
    apply(layer, 0, {list.first()});
    QCOMPARE(cells(layer), QStringLiteral("A"));
    apply(layer, 0, {taken});
    QCOMPARE(cells(layer), QStringLiteral("AB"));
}

void TestLayerChange::removalIsUndoneExactly_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QList<int>>("records");

    const int insert = LayerChange::InsertItem;
    QTest::newRow("hold shortened") << "Aaa" << 3 << QList<int>{insert};
    QTest::newRow("held first frame") << "AaB" << 1 << QList<int>{insert, LayerChange::PutTransformBack};
    QTest::newRow("held original in the middle") << "ABCcc" << 3 << QList<int>{insert};
    QTest::newRow("only cell") << "A" << 1 << QList<int>{LayerChange::PutItemBack};
    QTest::newRow("first of two") << "AB" << 1 << QList<int>{insert};
    QTest::newRow("last") << "AaB" << 3 << QList<int>{insert};
}

void TestLayerChange::removalIsUndoneExactly()
{
    QFETCH(QString, pattern);
    QFETCH(int, frame);
    QFETCH(QList<int>, records);

    StrokeLayer layer(Ink(), Frame);
    setCells(layer, pattern);
    markCells(layer);
    const auto before = snapshot(layer);

    const auto removed = layer.removeFrame(frame);
    QCOMPARE(kinds(removed), records);
    QCOMPARE(layer.frameCount(), std::max<int>(1, pattern.size() - 1));

    apply(layer, 0, removed);
    QCOMPARE(cells(layer), pattern);
    QVERIFY(snapshot(layer) == before);
}

void TestLayerChange::distantLinksAreRestored_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<Cells>("repainted");

    // Layer 0 "A_" shows A; layer 1 shows A at frames 1 (held at 2) and 4.
    QTest::newRow("original with distant clones")
        << 0 << 1 << Cells{{1, 0}, {1, 1}, {2, 1}, {4, 1}};
    QTest::newRow("distant clone") << 1 << 4 << Cells{{4, 1}};
    QTest::newRow("held distant clone") << 1 << 1 << Cells{{1, 1}, {2, 1}};
}

void TestLayerChange::distantLinksAreRestored()
{
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(Cells, repainted);

    Scene scene;
    const auto first = std::make_shared<StrokeLayer>(Ink(), Frame, &scene);
    const auto second = std::make_shared<StrokeLayer>(Ink(), Frame, &scene);
    scene.insertLayer(first, 0);
    scene.insertLayer(second, 1);
    setCells(*first, QStringLiteral("A_"));
    setCells(*second, QStringLiteral("_._C_"));
    showAsDistantClone(*first, 1, *second, 1);
    showAsDistantClone(*first, 1, *second, 4);
    markCells(*first);
    markCells(*second);
    const auto before = std::make_pair(snapshot(*first), snapshot(*second));
    const QList<VisualLayer *> layers{first.get(), second.get()};

    const auto removed = layers.at(layer)->removeFrame(frame);

    // No link is left pointing at a cell that is gone.
    for (VisualLayer *visual : layers) {
        for (const auto &item : visual->cells()) {
            for (const auto &key : item->distantClones())
                QVERIFY(scene.containsDrawing(key));
            if (item->kind() == LayerItem::DistantCloneKind) {
                QVERIFY(scene.containsDrawing({item->originalLayer(), item->originalItem()}));
                QCOMPARE(item->drawing(), scene.findDrawing({item->originalLayer(), item->originalItem()})->drawing());
            }
        }
    }

    QCOMPARE(apply(*layers.at(layer), layer, removed), repainted);
    QVERIFY(snapshot(*first) == before.first);
    QVERIFY(snapshot(*second) == before.second);
}

void TestLayerChange::distantCloneWithoutOriginalBecomesBlankOriginal()
{
    Scene scene;
    const auto layer = std::make_shared<StrokeLayer>(Ink(), Frame, &scene);
    scene.insertLayer(layer, 0);
    setCells(*layer, QStringLiteral("A"));
    auto orphan = std::make_shared<LayerItem>(QImage());
    orphan->setKind(LayerItem::DistantCloneKind);
    orphan->setOriginal({QUuid::createUuid(), QUuid::createUuid()});

    layer->applyChange(LayerChange(LayerChange::PutItemBack, 1, orphan), 0);

    QCOMPARE(layer->cell(1), orphan);
    QVERIFY(layer->isOriginal(1));
    QVERIFY(orphan->originalLayer().isNull());
    QCOMPARE(orphan->drawing()->type(), Drawing::StrokeDrawingType);
    QVERIFY(orphan->drawing()->isEmpty());
    QCOMPARE(static_cast<const StrokeDrawing &>(*orphan->drawing()).size(), Frame);
}

void TestLayerChange::insertedCellIsRemovedByItsRecord()
{
    StrokeLayer layer(Ink(), Frame);
    setCells(layer, QStringLiteral("Aa"));
    layer.insertFrame(1);
    QCOMPARE(cells(layer), QStringLiteral("A_."));

    apply(layer, 0, {LayerChange(LayerChange::RemoveCell, 2, nullptr)});
    QCOMPARE(cells(layer), QStringLiteral("Aa"));
}

void TestLayerChange::annotationEditsAreUndone_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("frame");

    QTest::newRow("note replaced") << "set" << 2;
    QTest::newRow("note written past the end") << "set" << 6;
    QTest::newRow("note inserted") << "insert" << 2;
    QTest::newRow("note inserted past the end") << "insert" << 7;
    QTest::newRow("frame removed") << "remove" << 1;
    QTest::newRow("nothing removed") << "remove" << 5;
}

void TestLayerChange::annotationEditsAreUndone()
{
    QFETCH(QString, edit);
    QFETCH(int, frame);

    AnnotationLayer layer;
    layer.appendImage(note(10));
    layer.appendImage(note(20));
    layer.appendImage(QImage());
    layer.appendImage(note(40));
    const QList<int> before = notes(layer);

    QList<LayerChange> records;
    if (edit == QLatin1String("set"))
        records = layer.setImage(frame, note(99));
    else if (edit == QLatin1String("insert"))
        records = layer.insertImage(frame, note(99));
    else
        records = layer.removeFrame(frame);
    if (edit != QLatin1String("remove") || frame <= 4)
        QVERIFY(notes(layer) != before);

    apply(layer, 2, records);
    QCOMPARE(notes(layer), before);
}

QTEST_MAIN(TestLayerChange)
#include "tst_layerchange.moc"
