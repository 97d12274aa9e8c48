#include "scene/scene.h"

#include "drawings/strokedrawing.h"
#include "layers/annotationlayer.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "strokes/bitmapstroke.h"
#include "support/cellpattern.h"
#include "support/scenerecord.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Model;

// Applying change records: what each kind puts back, what the scene
// announces, and, over long random runs of cell edits, that the records every
// edit returns take the scene back exactly.
namespace {

using CellPattern::FrameSize;
using CellPattern::keyOf;
using CellPattern::makeDistantClone;
using SceneRecord::Describer;

using Cells = QList<std::pair<int, int>>;

std::shared_ptr<VisualLayer> visualLayer(const Scene &scene, int layer)
{
    return std::dynamic_pointer_cast<VisualLayer>(scene.layerAt(layer));
}

int addLayer(Scene &scene, std::shared_ptr<VisualLayer> layer, const QString &pattern)
{
    CellPattern::setCells(*layer, pattern);
    const int index = scene.insertLayer(std::move(layer), scene.layerCount());
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
    return index;
}

int addStrokeLayer(Scene &scene, const QString &pattern)
{
    return addLayer(scene, std::make_shared<StrokeLayer>(Qt::darkRed, FrameSize, &scene), pattern);
}

// Empty when every hold shares the drawing before it and every distant-clone
// link is kept at both ends with the drawing shared.
QString linkFault(const Scene &scene)
{
    for (int i = 0; i < scene.layerCount(); ++i) {
        const auto layer = visualLayer(scene, i);
        if (!layer)
            continue;
        for (int frame = 1; frame <= layer->frameCount(); ++frame) {
            const auto item = layer->cell(frame);
            const QString where = QStringLiteral("layer %1 frame %2: ").arg(i).arg(frame);
            if (!item->drawing())
                return where + QStringLiteral("no drawing");
            switch (item->kind()) {
            case LayerItem::CloneKind:
                if (frame == 1 || layer->cell(frame - 1)->drawing() != item->drawing())
                    return where + QStringLiteral("hold without the drawing before it");
                break;
            case LayerItem::DistantCloneKind: {
                const auto original = scene.findDrawing({item->originalLayer(), item->originalItem()});
                if (!original || original->kind() != LayerItem::OriginalKind)
                    return where + QStringLiteral("distant clone without an original");
                if (!original->distantClones().contains(keyOf(scene, i, frame)))
                    return where + QStringLiteral("distant clone its original does not list");
                if (original->drawing() != item->drawing())
                    return where + QStringLiteral("distant clone with another drawing");
                break;
            }
            default: {
                const QList<LayerItem::Key> keys = item->distantClones();
                for (const auto &key : keys) {
                    const auto clone = scene.findDrawing(key);
                    if (!clone || clone->kind() != LayerItem::DistantCloneKind)
                        return where + QStringLiteral("lists a cell that is not its distant clone");
                    if (LayerItem::Key(clone->originalLayer(), clone->originalItem()) != keyOf(scene, i, frame))
                        return where + QStringLiteral("lists a distant clone of another original");
                    if (keys.count(key) != 1)
                        return where + QStringLiteral("lists a distant clone twice");
                }
            }
            }
        }
    }
    return {};
}

bool sortedAndUnique(const Cells &cells)
{
    for (qsizetype i = 1; i < cells.size(); ++i) {
        if (!(cells.at(i - 1) < cells.at(i)))
            return false;
    }
    return true;
}

// The cells whose item shows drawing.
Cells cellsShowing(const Scene &scene, const Drawing *drawing)
{
    Cells cells;
    for (int i = 0; i < scene.layerCount(); ++i) {
        const auto layer = visualLayer(scene, i);
        for (int frame = 1; layer && frame <= layer->frameCount(); ++frame) {
            if (layer->cell(frame)->drawing().get() == drawing)
                cells.append({frame, i});
        }
    }
    return cells;
}

std::unique_ptr<BitmapStroke> square(const QRect &rect)
{
    QImage image(rect.size(), QImage::Format_Alpha8);
    image.fill(120);
    return std::make_unique<BitmapStroke>(image, rect);
}

} // namespace

class TestSceneChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void emptyListStillRefreshes();
    void restoringAnOriginalTakesBackItsDistantClones();
    void linkedRemovalOfAnOriginalAndADistantClone_data();
    void linkedRemovalOfAnOriginalAndADistantClone();
    void puttingBackADistantCloneOfAGoneOriginal();
    void cellsBeforeTheRangeMoveItOnce();
    void transformOnTheActiveFrameIsAnnounced();
    void annotationRecords_data();
    void annotationRecords();

    void recordsUndoEveryEdit_data();
    void recordsUndoEveryEdit();
};

void TestSceneChanges::init()
{
    QSettings().clear();
}

void TestSceneChanges::emptyListStillRefreshes()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("AB"));
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);

    scene.applyChanges({});

    QCOMPARE(layers.count(), 0);
    QCOMPARE(rects.count(), 1);
    QCOMPARE(rects.first().first().toRect(), QRect(QPoint(0, 0), scene.frameSize()));
    QCOMPARE(drawings.count(), 1);
    QVERIFY(drawings.first().first().value<Cells>().isEmpty());
}

void TestSceneChanges::restoringAnOriginalTakesBackItsDistantClones()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("AB"));
    addStrokeLayer(scene, QStringLiteral("CDEe"));
    makeDistantClone(scene, 1, 2, 0, 1);
    makeDistantClone(scene, 1, 3, 0, 1);
    Describer describer;
    const QString before = describer.describe(scene);

    const QList<SceneChange> changes = scene.removeDrawing(0, 1);
    // The first distant clone took over the drawing for the others.
    QCOMPARE(scene.itemAt(1, 2)->kind(), LayerItem::OriginalKind);
    QCOMPARE(scene.itemAt(1, 3)->originalItem(), scene.itemAt(1, 2)->identifier());
    QCOMPARE(linkFault(scene), QString());
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    scene.applyChanges(changes);

    QCOMPARE(describer.describe(scene), before);
    QCOMPARE(linkFault(scene), QString());
    QCOMPARE(drawings.first().first().value<Cells>(), (Cells{{1, 0}, {2, 1}, {3, 1}, {4, 1}}));
    QCOMPARE(layers.first(), (QVariantList{0, 0}));
}

// Removing a frame of linked layers removes an original and, on the other
// layer, one of its distant clones: the first of them, which took over as
// original before it went too, or another one, which by then looked to the
// first. Put back layer by layer, both look to the original again.
void TestSceneChanges::linkedRemovalOfAnOriginalAndADistantClone_data()
{
    QTest::addColumn<bool>("heirRemoved");
    QTest::newRow("a distant clone of the heir") << false;
    QTest::newRow("the heir") << true;
}

void TestSceneChanges::linkedRemovalOfAnOriginalAndADistantClone()
{
    QFETCH(bool, heirRemoved);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("AB"));
    addStrokeLayer(scene, QStringLiteral("CD"));
    addStrokeLayer(scene, QStringLiteral("EF"));
    // The first distant clone made is the heir.
    if (heirRemoved) {
        makeDistantClone(scene, 1, 2, 0, 2);
        makeDistantClone(scene, 2, 1, 0, 2);
    } else {
        makeDistantClone(scene, 2, 1, 0, 2);
        makeDistantClone(scene, 1, 2, 0, 2);
    }
    scene.setLayerLinked(0, true);
    scene.setLayerLinked(1, true);
    Describer describer;
    const QString before = describer.describe(scene);

    const QList<SceneChange> changes = scene.removeDrawing(0, 2);
    QCOMPARE(scene.layerFrameCount(1), 1);
    QCOMPARE(linkFault(scene), QString());

    scene.applyChanges(changes);
    QCOMPARE(linkFault(scene), QString());
    QCOMPARE(describer.describe(scene), before);
}

void TestSceneChanges::puttingBackADistantCloneOfAGoneOriginal()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("AB"));
    auto lost = std::make_shared<LayerItem>(FrameSize);
    lost->setKind(LayerItem::DistantCloneKind);
    lost->setOriginal({QUuid::createUuid(), QUuid::createUuid()});
    lost->setDrawing(nullptr);

    scene.applyChanges({SceneChange(LayerChange(LayerChange::PutItemBack, 2, lost), 0)});

    QCOMPARE(scene.itemAt(0, 2), lost);
    QCOMPARE(lost->kind(), LayerItem::OriginalKind);
    QVERIFY(lost->originalItem().isNull());
    const auto *drawing = dynamic_cast<const StrokeDrawing *>(lost->drawing().get());
    QVERIFY(drawing);
    QVERIFY(drawing->isEmpty());
    QCOMPARE(drawing->size(), FrameSize);
}

void TestSceneChanges::cellsBeforeTheRangeMoveItOnce()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("ABCDEFGH"));
    scene.setFrameRange(4, 8, 4, 0);
    const QList<SceneChange> changes = scene.removeDrawings(0, 2, 2);
    QCOMPARE(scene.frameRangeFirst(), 2);
    QCOMPARE(scene.frameRangeLast(), 6);

    scene.applyChanges(changes);

    // The command that undoes puts its own range back; the records move it
    // by one frame however many cells they bring back.
    QCOMPARE(CellPattern::cells(*visualLayer(scene, 0)), QStringLiteral("ABCDEFGH"));
    QCOMPARE(scene.frameRangeFirst(), 3);
    QCOMPARE(scene.frameRangeLast(), 7);
}

void TestSceneChanges::transformOnTheActiveFrameIsAnnounced()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("ABC"));
    QVERIFY(scene.setActiveFrameAndLayer(2, 0, Scene::ClampToDrawings));
    const QTransform moved = QTransform::fromTranslate(3, -2);
    QSignalSpy offPegs(&scene, &Scene::offPegsTransformChanged);

    scene.applyChanges({SceneChange(LayerChange(2, moved), 0)});

    QCOMPARE(scene.itemAt(0, 2)->offPegsTransform(), moved);
    QVERIFY(offPegs.count() >= 1);
    QCOMPARE(offPegs.first().first().value<QTransform>(), moved);
}

void TestSceneChanges::annotationRecords_data()
{
    QTest::addColumn<QString>("edit");

    QTest::newRow("replaced note") << "set";
    QTest::newRow("inserted note") << "insert";
    QTest::newRow("removed note") << "remove";
}

void TestSceneChanges::annotationRecords()
{
    QFETCH(QString, edit);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("ABC"));
    auto annotations = std::make_shared<AnnotationLayer>(&scene);
    QImage first(8, 8, QImage::Format_Alpha8);
    first.fill(10);
    QImage second(8, 8, QImage::Format_Alpha8);
    second.fill(200);
    annotations->appendImage(first);
    annotations->appendImage(second);
    scene.insertLayer(annotations, 1);

    QList<LayerChange> steps;
    if (edit == u"set")
        steps = annotations->setImage(1, second);
    else if (edit == u"insert")
        steps = annotations->insertImage(1, second);
    else
        steps = annotations->removeFrame(1);
    QVERIFY(!steps.isEmpty());
    QList<SceneChange> changes;
    for (const LayerChange &step : std::as_const(steps))
        changes.append(SceneChange(step, 1));

    // Aimed at a stroke layer, the same records change nothing.
    QList<SceneChange> misdirected = changes;
    for (SceneChange &change : misdirected)
        change.setLayer(0);
    scene.applyChanges(misdirected);
    QCOMPARE(CellPattern::cells(*visualLayer(scene, 0)), QStringLiteral("ABC"));

    scene.applyChanges(changes);
    QCOMPARE(annotations->imageCount(), 2);
    QCOMPARE(annotations->image(1), first);
    QCOMPARE(annotations->image(2), second);
}

// Random runs of cell and stroke edits on a scene with holds, distant clones
// across layers, linked layers, off-pegs cells and key drawings. After every
// edit the links hold at both ends and every drawingsChanged is sorted and
// unique; a stroke announces every cell that shows its drawing. Then the
// edits are undone from the last back, each by its own records (a stroke by
// taking it back), and each undo must give exactly the state before it.
void TestSceneChanges::recordsUndoEveryEdit_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("linked");

    for (quint32 seed : {1u, 7u, 42u, 1234u, 98765u})
        QTest::addRow("seed %u", seed) << seed << (seed % 2 == 0);
    QTest::addRow("seed 5, linked") << 5u << true;
}

void TestSceneChanges::recordsUndoEveryEdit()
{
    QFETCH(quint32, seed);
    QFETCH(bool, linked);

    Scene scene;
    // Every edit refreshes the cached pictures: small frames keep the run short.
    QVERIFY(scene.setFrameSize(FrameSize, KL::FitMode::FitModeStretch));
    addStrokeLayer(scene, QStringLiteral("AaBbbC"));
    addStrokeLayer(scene, QStringLiteral("DEeF"));
    addStrokeLayer(scene, QStringLiteral("GgHI"));
    addLayer(scene, std::make_shared<ReferenceLayer>(FrameSize, &scene), QStringLiteral("JKk"));
    makeDistantClone(scene, 1, 2, 0, 1);
    makeDistantClone(scene, 2, 3, 0, 1);
    makeDistantClone(scene, 2, 4, 1, 1);
    makeDistantClone(scene, 0, 6, 2, 1);
    scene.itemAt(0, 2)->setOffPegsTransform(QTransform::fromTranslate(2, 1));
    scene.itemAt(1, 1)->setKeyDrawing(true);
    scene.itemAt(2, 2)->setOffPegsTransform(QTransform::fromTranslate(-1, 4));
    scene.itemAt(2, 2)->setKeyDrawing(true);
    scene.itemAt(3, 3)->setOffPegsTransform(QTransform::fromTranslate(0, 5));
    if (linked) {
        scene.setLayerLinked(0, true);
        scene.setLayerLinked(2, true);
    }
    QCOMPARE(linkFault(scene), QString());

    QList<Cells> announced;
    connect(&scene, &Scene::drawingsChanged, this, [&](const Cells &cells) { announced.append(cells); });

    struct Step
    {
        QString edit;
        QString before;
        QList<SceneChange> changes;
        int strokeLayer = -1;
        int strokeFrame = -1;
    };
    QList<Step> steps;
    Describer describer;
    QRandomGenerator random(seed);
    const auto pick = [&random](int lowest, int highest) {
        return highest <= lowest ? lowest : random.bounded(lowest, highest + 1);
    };

    for (int i = 0; i < 300; ++i) {
        const int layer = pick(0, 3);
        const int count = scene.layerFrameCount(layer);
        Step step;
        step.before = describer.describe(scene);
        announced.clear();
        // Long layers rather lose cells than gain them.
        const int kind = count > 12 ? pick(5, 8) : pick(0, 8);
        switch (kind) {
        case 0: {
            const int frame = pick(-1, count + 1);
            step.edit = QStringLiteral("addBlankDrawing(%1, %2)").arg(layer).arg(frame);
            step.changes = scene.addBlankDrawing(layer, frame);
            break;
        }
        case 1: {
            const int frame = pick(0, count + 2);
            step.edit = QStringLiteral("insertBlankDrawing(%1, %2)").arg(layer).arg(frame);
            step.changes = scene.insertBlankDrawing(layer, frame);
            break;
        }
        case 2: {
            const int frame = pick(0, count);
            step.edit = QStringLiteral("addCloneDrawing(%1, %2)").arg(layer).arg(frame);
            step.changes = scene.addCloneDrawing(layer, frame);
            break;
        }
        case 3: {
            const int frame = pick(1, count);
            const int clones = pick(1, 3);
            step.edit = QStringLiteral("addCloneDrawings(%1, %2, %3)").arg(layer).arg(frame).arg(clones);
            step.changes = scene.addCloneDrawings(layer, frame, clones);
            break;
        }
        case 4: {
            const int frame = pick(2, count);
            const int smallest = pick(-2, 0);
            const int largest = pick(0, 2);
            const int distance = pick(smallest, largest);
            step.edit = QStringLiteral("slideOriginalDrawing(%1, %2, %3, %4, %5)")
                            .arg(layer).arg(frame).arg(distance).arg(smallest).arg(largest);
            step.changes = scene.slideOriginalDrawing(layer, frame, distance, smallest, largest);
            break;
        }
        case 5:
        case 6: {
            const int frame = pick(1, count);
            step.edit = QStringLiteral("removeDrawing(%1, %2)").arg(layer).arg(frame);
            step.changes = scene.removeDrawing(layer, frame);
            break;
        }
        case 7: {
            const int frame = pick(1, count);
            const int removed = pick(1, 3);
            step.edit = QStringLiteral("removeDrawings(%1, %2, %3)").arg(layer).arg(frame).arg(removed);
            step.changes = scene.removeDrawings(layer, frame, removed);
            break;
        }
        default: {
            const int frame = pick(1, count);
            step.edit = QStringLiteral("addStroke(%1, %2)").arg(layer).arg(frame);
            const int x = pick(0, 50);
            if (scene.addStroke(layer, frame, square(QRect(x, x / 2, 8, 6)))) {
                step.strokeLayer = layer;
                step.strokeFrame = frame;
                QCOMPARE(announced.size(), 1);
                const Cells showing = cellsShowing(scene, scene.itemAt(layer, frame)->drawing().get());
                for (const auto &cell : showing)
                    QVERIFY2(announced.first().contains(cell), qPrintable(step.edit));
            }
            break;
        }
        }
        QVERIFY2(linkFault(scene).isEmpty(), qPrintable(step.edit + QStringLiteral(": ") + linkFault(scene)));
        for (const Cells &cells : std::as_const(announced))
            QVERIFY2(sortedAndUnique(cells), qPrintable(step.edit));
        if (!step.changes.isEmpty() || step.strokeLayer >= 0)
            steps.append(step);
    }
    QVERIFY(steps.size() > 100);

    while (!steps.isEmpty()) {
        const Step step = steps.takeLast();
        announced.clear();
        if (step.strokeLayer >= 0)
            QVERIFY(scene.removeStroke(step.strokeLayer, step.strokeFrame));
        else
            scene.applyChanges(step.changes);
        QVERIFY2(linkFault(scene).isEmpty(), qPrintable(QStringLiteral("undo of ") + step.edit));
        for (const Cells &cells : std::as_const(announced))
            QVERIFY2(sortedAndUnique(cells), qPrintable(QStringLiteral("undo of ") + step.edit));
        const QString after = describer.describe(scene);
        if (after != step.before)
            qWarning().noquote() << "undo of" << step.edit << "\nexpected:\n" << step.before << "\nactual:\n" << after;
        QCOMPARE(after, step.before);
    }
}

QTEST_MAIN(TestSceneChanges)
#include "tst_scenechanges.moc"
