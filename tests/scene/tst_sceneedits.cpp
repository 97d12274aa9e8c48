#include "scene/scene.h"

#include "drawings/strokedrawing.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "strokes/bitmapstroke.h"
#include "strokes/singlestroke.h"
#include "support/cellpattern.h"
#include "support/testsupport.h"
#include "tools/erasertool.h"

#include <QPainterPath>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Model;

// The scene's cell edits as the exposure sheet shows them: layers are written
// as cell patterns (upper case an original named after the letter, lower case
// or '.' a hold, '_' a blank original, '?' a distant clone), change records as
// "kind:frame:layer".
namespace {

using CellPattern::build;
using CellPattern::cells;
using CellPattern::FrameSize;
using CellPattern::makeDistantClone;

using Cells = QList<std::pair<int, int>>;

QStringList allCells(const Scene &scene)
{
    QStringList patterns;
    for (int i = 0; i < scene.layerCount(); ++i)
        patterns << cells(scene, i);
    return patterns;
}

QString records(const QList<SceneChange> &changes)
{
    QStringList texts;
    for (const SceneChange &change : changes)
        texts << QStringLiteral("%1:%2:%3").arg(change.kind()).arg(change.index()).arg(change.layer());
    return texts.join(u' ');
}

// The inserting edit a table row names: "add" or "insert" a blank drawing,
// "clone" one clone, "clones" count of them.
QList<SceneChange> insertingEdit(Scene &scene, const QString &edit, int layer, int frame, int count)
{
    if (edit == u"add")
        return scene.addBlankDrawing(layer, frame);
    if (edit == u"insert")
        return scene.insertBlankDrawing(layer, frame);
    if (edit == u"clone")
        return scene.addCloneDrawing(layer, frame);
    return scene.addCloneDrawings(layer, frame, count);
}

std::unique_ptr<BitmapStroke> square(const QRect &rect)
{
    QImage image(rect.size(), QImage::Format_Alpha8);
    image.fill(200);
    return std::make_unique<BitmapStroke>(image, rect);
}

const StrokeDrawing *strokeDrawing(const Scene &scene, int layer, int frame)
{
    const auto item = scene.itemAt(layer, frame);
    return item ? dynamic_cast<const StrokeDrawing *>(item->drawing().get()) : nullptr;
}

QPainterPath rectPath(const QRectF &rect)
{
    QPainterPath path;
    path.addRect(rect);
    return path;
}

} // namespace

class TestSceneEdits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    // Blank drawings, clones and holds
    void insertingEdits_data();
    void insertingEdits();
    void severalClonesAnnounceOnce();
    void quietCloneAnnouncesNothing();
    void linkedLayersInsertTogether_data();
    void linkedLayersInsertTogether();
    void activeFrameStaysOnItsDrawing_data();
    void activeFrameStaysOnItsDrawing();
    void frameRangeFollowsInsertions_data();
    void frameRangeFollowsInsertions();
    void holdFramesForANewScene_data();
    void holdFramesForANewScene();

    // Sliding an original
    void slide_data();
    void slide();

    // Clones and distant clones
    void distantCloneCells_data();
    void distantCloneCells();
    void resolveClonesSharesTheDrawings();
    void linkDistantCloneNeedsADistantClone();

    // Removing drawings
    void removalShrinksTheRange_data();
    void removalShrinksTheRange();
    void removingTheRangeEndKeepsTheActiveLayersEnd();
    void removalMovesTheScrubFrame_data();
    void removalMovesTheScrubFrame();
    void linkedLayersLoseTheFrameTogether();
    void removeDrawingsFromTheLastBack();
    void refusedRemovals_data();
    void refusedRemovals();
    void offPegsTransformOfTheTopmostLayer_data();
    void offPegsTransformOfTheTopmostLayer();
    void annotationImage();

    // Strokes
    void strokeShowsWhereverItsDrawingShows_data();
    void strokeShowsWhereverItsDrawingShows();
    void refusedStrokes_data();
    void refusedStrokes();
    void eraserOnAnEmptyDrawingIsRefused();
    void removeStrokeGivesTheStrokeBack();
    void refusedCuts_data();
    void refusedCuts();
    void cutChangesTheSharedDrawing();
    void cutOfNothingRecordsNothing();

private:
    bool m_gl = false;
};

void TestSceneEdits::initTestCase()
{
    m_gl = TestSupport::startRenderer(QSize(256, 256));
}

void TestSceneEdits::init()
{
    QSettings().clear();
}

// Blank drawings, clones and holds

void TestSceneEdits::insertingEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("records");

    QTest::newRow("blank at frame 0") << "add" << "AB" << 0 << 1 << "_AB" << "3:1:0";
    QTest::newRow("blank after the last") << "add" << "AB" << 2 << 1 << "AB_" << "3:3:0";
    QTest::newRow("blank inside a hold") << "add" << "Aaa" << 1 << 1 << "A_.." << "3:2:0";
    QTest::newRow("blank past the end") << "add" << "AB" << 3 << 1 << "AB" << "";
    QTest::newRow("blank before frame 0") << "add" << "AB" << -1 << 1 << "AB" << "";
    QTest::newRow("insert at the first") << "insert" << "AB" << 1 << 1 << "_AB" << "3:1:0";
    QTest::newRow("insert after the last") << "insert" << "AB" << 3 << 1 << "AB_" << "3:3:0";
    QTest::newRow("insert at frame 0") << "insert" << "AB" << 0 << 1 << "AB" << "";
    QTest::newRow("insert past the end") << "insert" << "AB" << 4 << 1 << "AB" << "";
    QTest::newRow("clone") << "clone" << "AB" << 1 << 1 << "AaB" << "3:2:0";
    QTest::newRow("clone of a hold") << "clone" << "Aa" << 2 << 1 << "Aaa" << "3:3:0";
    QTest::newRow("clone at frame 0 is a blank") << "clone" << "AB" << 0 << 1 << "_AB" << "3:1:0";
    QTest::newRow("clone past the end") << "clone" << "AB" << 3 << 1 << "AB" << "";
    QTest::newRow("three clones") << "clones" << "XYZ" << 2 << 3 << "XYyyyZ" << "3:3:0 3:3:0 3:3:0";
    QTest::newRow("no clones") << "clones" << "XYZ" << 2 << 0 << "XYZ" << "";
}

void TestSceneEdits::insertingEdits()
{
    QFETCH(QString, edit);
    QFETCH(QString, before);
    QFETCH(int, frame);
    QFETCH(int, count);
    QFETCH(QString, after);
    QFETCH(QString, records);

    Scene scene;
    build(scene, {before});
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    const QList<SceneChange> changes = insertingEdit(scene, edit, 0, frame, count);

    QCOMPARE(cells(scene, 0), after);
    QCOMPARE(::records(changes), records);
    QCOMPARE(layers.count(), changes.isEmpty() ? 0 : 1);
    QCOMPARE(rects.count(), changes.isEmpty() ? 0 : 1);
    if (changes.isEmpty())
        return;
    QCOMPARE(layers.first(), (QVariantList{0, 0}));

    scene.applyChanges(changes);
    QCOMPARE(cells(scene, 0), before);
}

void TestSceneEdits::severalClonesAnnounceOnce()
{
    Scene scene;
    build(scene, {QStringLiteral("XYZ")});
    scene.setFrameRange(1, 3, 3, 0);
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);

    scene.addCloneDrawings(0, 2, 3);

    // Only the last call speaks, yet the active frame moved with all three.
    QCOMPARE(layers.count(), 1);
    QCOMPARE(active.count(), 1);
    QCOMPARE(scene.activeFrame(), 6);
}

void TestSceneEdits::quietCloneAnnouncesNothing()
{
    Scene scene;
    build(scene, {QStringLiteral("AB")});
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy maximum(&scene, &Scene::maximumFrameNumberChanged);

    QCOMPARE(records(scene.addCloneDrawing(0, 1, true)), QStringLiteral("3:2:0"));
    QCOMPARE(cells(scene, 0), QStringLiteral("AaB"));
    QCOMPARE(layers.count(), 0);
    QCOMPARE(maximum.count(), 0);
    QVERIFY(!scene.signalsBlocked());

    // A caller's own blocking outlives the quiet edit.
    scene.blockSignals(true);
    scene.addCloneDrawing(0, 1, true);
    QVERIFY(scene.signalsBlocked());
}

void TestSceneEdits::linkedLayersInsertTogether_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("records");

    // Layers 0 and 2 are linked, layer 1 is not.
    QTest::newRow("blank") << "add" << 0 << 1 << QStringList{"A_.B", "Cc", "DdE"} << "3:2:2 3:2:0";
    QTest::newRow("blank on the other") << "add" << 2 << 1 << QStringList{"AaaB", "Cc", "D_E"} << "3:2:2 3:2:0";
    QTest::newRow("insert blank") << "insert" << 0 << 2 << QStringList{"A_.B", "Cc", "DdE"} << "3:2:2 3:2:0";
    QTest::newRow("clone") << "clone" << 2 << 2 << QStringList{"AaaB", "Cc", "DEe"} << "3:3:2 3:3:0";
    QTest::newRow("two clones") << "clones" << 0 << 3
                                << QStringList{"AaBbb", "Cc", "DE"} << "3:4:0 3:4:0";
    QTest::newRow("unlinked layer") << "clone" << 1 << 1 << QStringList{"AaB", "Ccc", "DE"} << "3:2:1";
}

void TestSceneEdits::linkedLayersInsertTogether()
{
    QFETCH(QString, edit);
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(QStringList, after);
    QFETCH(QString, records);

    Scene scene;
    const QStringList before{"AaB", "Cc", "DE"};
    build(scene, before);
    scene.setLayerLinked(0, true);
    scene.setLayerLinked(2, true);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    const QList<SceneChange> changes = insertingEdit(scene, edit, layer, frame, 2);

    QCOMPARE(allCells(scene), after);
    QCOMPARE(::records(changes), records);
    // The given layer is announced; the others follow it on the sheet.
    QCOMPARE(layers.count(), 1);
    QCOMPARE(layers.first(), (QVariantList{layer, layer}));

    scene.applyChanges(changes);
    QCOMPARE(allCells(scene), before);
}

void TestSceneEdits::activeFrameStaysOnItsDrawing_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("active");

    // Frame 3 of layer 0 is active.
    QTest::newRow("blank before") << "add" << 0 << 1 << 4;
    QTest::newRow("blank at the active frame") << "add" << 0 << 3 << 3;
    QTest::newRow("clone before") << "clone" << 0 << 2 << 4;
    QTest::newRow("clone of the active frame") << "clone" << 0 << 3 << 3;
    QTest::newRow("insert at the active frame") << "insert" << 0 << 3 << 4;
    QTest::newRow("insert after") << "insert" << 0 << 4 << 3;
    // Another layer's cells move; the active layer's stay where they are.
    QTest::newRow("insert on another layer") << "insert" << 1 << 1 << 3;
    QTest::newRow("blank on another layer") << "add" << 1 << 1 << 3;
}

void TestSceneEdits::activeFrameStaysOnItsDrawing()
{
    QFETCH(QString, edit);
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(int, active);

    Scene scene;
    build(scene, {QStringLiteral("ABC"), QStringLiteral("DEFGH")});
    QVERIFY(scene.setActiveFrameAndLayer(3, 0, Scene::ClampToDrawings));
    QSignalSpy moved(&scene, &Scene::activeFrameAndLayerChanged);

    insertingEdit(scene, edit, layer, frame, 1);

    QCOMPARE(scene.activeFrame(), active);
    QCOMPARE(moved.count(), active == 3 ? 0 : 1);
}

void TestSceneEdits::frameRangeFollowsInsertions_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("expectedFirst");
    QTest::addColumn<int>("expectedLast");

    QTest::newRow("at the end") << QStringList{"ABCD"} << 1 << 4 << 4 << 1 << 5;
    QTest::newRow("before a range that grows") << QStringList{"ABCD"} << 2 << 4 << 0 << 3 << 5;
    QTest::newRow("at the range start") << QStringList{"ABCD"} << 1 << 3 << 0 << 1 << 4;
    QTest::newRow("past the range end") << QStringList{"ABCD"} << 1 << 2 << 3 << 1 << 2;
    QTest::newRow("a longer layer keeps the end") << QStringList{"AB", "CDEF"} << 1 << 4 << 2 << 1 << 4;
    QTest::newRow("before a range that stays") << QStringList{"AB", "CDEF"} << 2 << 4 << 0 << 2 << 4;
}

void TestSceneEdits::frameRangeFollowsInsertions()
{
    QFETCH(QStringList, layers);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, frame);
    QFETCH(int, expectedFirst);
    QFETCH(int, expectedLast);

    Scene scene;
    build(scene, layers);
    scene.setFrameRange(first, last, first, 0);
    QSignalSpy range(&scene, &Scene::frameRangeChanged);

    QVERIFY(!scene.addBlankDrawing(0, frame).isEmpty());

    QCOMPARE(scene.frameRangeFirst(), expectedFirst);
    QCOMPARE(scene.frameRangeLast(), expectedLast);
    QCOMPARE(range.count(), expectedLast == last ? 0 : 1);
}

void TestSceneEdits::holdFramesForANewScene_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("after");

    QTest::newRow("two holds") << 1 << 2 << 3 << "AaaB";
    QTest::newRow("after the last") << 2 << 3 << 5 << "ABbbb";
    QTest::newRow("no holds") << 1 << 0 << -1 << "AB";
    QTest::newRow("past the end") << 3 << 1 << -1 << "AB";
}

void TestSceneEdits::holdFramesForANewScene()
{
    QFETCH(int, frame);
    QFETCH(int, count);
    QFETCH(int, result);
    QFETCH(QString, after);

    Scene scene;
    build(scene, {QStringLiteral("AB")});

    QCOMPARE(scene.insertHoldFrames(0, frame, count), result);
    QCOMPARE(cells(scene, 0), after);
    QCOMPARE(scene.maximumFrameNumber(), after.size());
}

// Sliding an original

void TestSceneEdits::slide_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("distance");
    QTest::addColumn<int>("smallest");
    QTest::addColumn<int>("largest");
    QTest::addColumn<QString>("after"); // empty: refused

    QTest::newRow("right by one") << "XxxYyyZ" << 4 << 1 << 0 << 1 << "XxxxYyZ";
    QTest::newRow("left by one") << "XxxYyyZ" << 4 << -1 << -1 << 0 << "XxYyyyZ";
    QTest::newRow("right by two and back") << "XxxYyyZ" << 4 << 1 << 0 << 2 << "XxxxYyZ";
    QTest::newRow("left, right and back") << "XxxYyyZ" << 4 << 0 << -1 << 1 << "XxxYyyZ";
    QTest::newRow("left by two") << "XxxYyyZ" << 4 << -2 << -2 << 0 << "XYyyyyZ";
    QTest::newRow("not moved") << "XxxYyyZ" << 4 << 0 << 0 << 0 << "XxxYyyZ";
    QTest::newRow("a hold") << "XxxYyyZ" << 5 << 1 << 0 << 1 << "";
    QTest::newRow("the first frame") << "XxxYyyZ" << 1 << 1 << 0 << 1 << "";
    QTest::newRow("past the end") << "XxxYyyZ" << 8 << 0 << 0 << 0 << "";
    QTest::newRow("more than its hold") << "XxYyZ" << 3 << 2 << 0 << 2 << "";
    QTest::newRow("more than the hold before") << "XYyZ" << 2 << -1 << -1 << 0 << "";
    QTest::newRow("outside the drag") << "XxxYyyZ" << 4 << 2 << 0 << 1 << "";
}

void TestSceneEdits::slide()
{
    QFETCH(QString, before);
    QFETCH(int, frame);
    QFETCH(int, distance);
    QFETCH(int, smallest);
    QFETCH(int, largest);
    QFETCH(QString, after);

    Scene scene;
    build(scene, {before});
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    const QList<SceneChange> changes = scene.slideOriginalDrawing(0, frame, distance, smallest, largest);

    if (after.isEmpty()) {
        QVERIFY(changes.isEmpty());
        QCOMPARE(cells(scene, 0), before);
        QCOMPARE(drawings.count() + layers.count(), 0);
        return;
    }
    QCOMPARE(cells(scene, 0), after);
    // Cells moved, no drawing changed.
    QCOMPARE(drawings.count(), 1);
    QVERIFY(drawings.first().first().value<Cells>().isEmpty());
    QCOMPARE(layers.count(), 1);

    scene.applyChanges(changes);
    QCOMPARE(cells(scene, 0), before);
}

// Clones and distant clones

void TestSceneEdits::distantCloneCells_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<Cells>("expected");

    // Layer 0 "AaB"; layer 1 "C" and a distant clone of A; layer 2 one more.
    const Cells everyA{{1, 0}, {2, 1}, {1, 2}};
    QTest::newRow("the original") << 0 << 1 << everyA;
    QTest::newRow("a distant clone") << 1 << 2 << everyA;
    QTest::newRow("another distant clone") << 2 << 1 << everyA;
    QTest::newRow("a hold") << 0 << 2 << Cells();
    QTest::newRow("an original without distant clones") << 0 << 3 << Cells{{3, 0}};
    QTest::newRow("past the cells") << 0 << 4 << Cells();
    QTest::newRow("no such layer") << 3 << 1 << Cells();
}

void TestSceneEdits::distantCloneCells()
{
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(Cells, expected);

    Scene scene;
    build(scene, {QStringLiteral("AaB"), QStringLiteral("CD"), QStringLiteral("E")});
    makeDistantClone(scene, 1, 2, 0, 1);
    makeDistantClone(scene, 2, 1, 0, 1);

    QCOMPARE(scene.distantCloneCells(layer, frame), expected);
}

void TestSceneEdits::resolveClonesSharesTheDrawings()
{
    Scene scene;
    build(scene, {QStringLiteral("AaB"), QStringLiteral("CDd"), QStringLiteral("EF")});
    makeDistantClone(scene, 1, 2, 0, 1);
    makeDistantClone(scene, 2, 2, 0, 3);
    // As a file reader leaves them: every cell with a drawing of its own, and
    // one distant clone whose original is not in the scene.
    for (int layer = 0; layer < 3; ++layer) {
        for (int frame = 1; frame <= scene.layerFrameCount(layer); ++frame)
            scene.itemAt(layer, frame)->setDrawing(std::make_shared<StrokeDrawing>(FrameSize));
    }
    scene.itemAt(2, 2)->setOriginal({QUuid::createUuid(), QUuid::createUuid()});
    const auto lostDrawing = scene.itemAt(2, 2)->drawing();

    scene.resolveClones();

    QCOMPARE(scene.itemAt(0, 2)->drawing(), scene.itemAt(0, 1)->drawing());
    QCOMPARE(scene.itemAt(1, 2)->drawing(), scene.itemAt(0, 1)->drawing());
    QCOMPARE(scene.itemAt(1, 3)->drawing(), scene.itemAt(0, 1)->drawing());
    QVERIFY(scene.itemAt(0, 3)->drawing() != scene.itemAt(0, 1)->drawing());
    QCOMPARE(scene.itemAt(2, 2)->drawing(), lostDrawing);
}

void TestSceneEdits::linkDistantCloneNeedsADistantClone()
{
    Scene scene;
    build(scene, {QStringLiteral("AB")});
    const LayerItem::Key a{scene.layerAt(0)->identifier(), scene.itemAt(0, 1)->identifier()};
    const LayerItem::Key b{scene.layerAt(0)->identifier(), scene.itemAt(0, 2)->identifier()};

    scene.linkDistantClone(b, a, nullptr);

    QVERIFY(scene.itemAt(0, 1)->distantClones().isEmpty());
    QVERIFY(scene.itemAt(0, 2)->originalItem().isNull());
}

// Removing drawings

void TestSceneEdits::removalShrinksTheRange_data()
{
    QTest::addColumn<QList<int>>("lengths");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("expectedFirst");
    QTest::addColumn<int>("expectedLast");

    QTest::newRow("inside the range") << QList<int>{10} << 1 << 10 << 3 << 1 << 9;
    QTest::newRow("another layer reaches the end") << QList<int>{10, 10} << 1 << 10 << 3 << 1 << 10;
    QTest::newRow("before the range") << QList<int>{20} << 4 << 10 << 2 << 3 << 9;
    QTest::newRow("after the range") << QList<int>{20} << 4 << 10 << 15 << 4 << 10;
    QTest::newRow("a range of two frames") << QList<int>{3} << 1 << 2 << 1 << 1 << 2;
}

void TestSceneEdits::removalShrinksTheRange()
{
    QFETCH(QList<int>, lengths);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, frame);
    QFETCH(int, expectedFirst);
    QFETCH(int, expectedLast);

    Scene scene;
    QStringList patterns;
    for (int length : lengths)
        patterns << QString(length, u'A');
    build(scene, patterns);
    scene.setFrameRange(first, last, first, 0);
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QCOMPARE(records(scene.removeDrawing(0, frame)), QStringLiteral("1:%1:0").arg(frame));

    QCOMPARE(scene.layerFrameCount(0), lengths.first() - 1);
    QCOMPARE(scene.frameRangeFirst(), expectedFirst);
    QCOMPARE(scene.frameRangeLast(), expectedLast);
    QCOMPARE(layers.count(), 1);
    QCOMPARE(rects.last().first().toRect(), QRect(QPoint(0, 0), scene.frameSize()));
}

void TestSceneEdits::removingTheRangeEndKeepsTheActiveLayersEnd()
{
    Scene scene;
    build(scene, {QStringLiteral("ABCDE")});
    scene.setFrameRange(1, 5, 5, 0);

    scene.removeDrawing(0, 5);

    QCOMPARE(scene.frameRangeLast(), 4);
    QCOMPARE(scene.activeFrame(), 5);
    QVERIFY(scene.isActiveFrameAfterLastDrawing());
}

void TestSceneEdits::removalMovesTheScrubFrame_data()
{
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("scrubFrame");

    QTest::newRow("before") << 2 << 3;
    QTest::newRow("the scrub frame") << 4 << 4;
    QTest::newRow("after") << 5 << 4;
}

void TestSceneEdits::removalMovesTheScrubFrame()
{
    QFETCH(int, frame);
    QFETCH(int, scrubFrame);

    Scene scene;
    build(scene, {QStringLiteral("ABCDEF")});
    QVERIFY(scene.setScrubFrame(4));
    QSignalSpy scrubbed(&scene, &Scene::scrubFrameChanged);

    scene.removeDrawing(0, frame);

    QCOMPARE(scene.scrubFrame(), scrubFrame);
    QCOMPARE(scrubbed.count(), scrubFrame == 4 ? 0 : 1);
    if (scrubFrame != 4)
        QCOMPARE(scrubbed.first(), (QVariantList{3, 4}));
}

void TestSceneEdits::linkedLayersLoseTheFrameTogether()
{
    Scene scene;
    const QStringList before{"AaB", "Cc", "DEF"};
    build(scene, before);
    scene.setLayerLinked(0, true);
    scene.setLayerLinked(2, true);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    const QList<SceneChange> changes = scene.removeDrawing(2, 2);

    QCOMPARE(allCells(scene), (QStringList{"AB", "Cc", "DF"}));
    QCOMPARE(records(changes), QStringLiteral("1:2:0 1:2:2"));
    QCOMPARE(layers.count(), 1);
    QCOMPARE(layers.first(), (QVariantList{0, 2}));

    scene.applyChanges(changes);
    QCOMPARE(allCells(scene), before);
}

void TestSceneEdits::removeDrawingsFromTheLastBack()
{
    Scene scene;
    build(scene, {QStringLiteral("ABCDEF")});

    const QList<SceneChange> changes = scene.removeDrawings(0, 5, 3);

    QCOMPARE(cells(scene, 0), QStringLiteral("ABF"));
    QCOMPARE(records(changes), QStringLiteral("1:3:0 1:4:0 1:5:0"));
    scene.applyChanges(changes);
    QCOMPARE(cells(scene, 0), QStringLiteral("ABCDEF"));
}

void TestSceneEdits::refusedRemovals_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("count");

    QTest::newRow("no such layer") << 5 << 1 << 1;
    QTest::newRow("frame 0") << 0 << 0 << 1;
    QTest::newRow("past the cells") << 0 << 3 << 1;
    QTest::newRow("audio layer") << 1 << 1 << 1;
    QTest::newRow("annotation layer") << 2 << 1 << 1;
    QTest::newRow("no count") << 0 << 2 << 0;
}

void TestSceneEdits::refusedRemovals()
{
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(int, count);

    Scene scene;
    build(scene, {QStringLiteral("AB")});
    scene.insertLayer(std::make_shared<AudioLayer>(&scene), 1);
    auto annotations = std::make_shared<AnnotationLayer>(&scene);
    annotations->appendImage(QImage(8, 8, QImage::Format_Alpha8));
    scene.insertLayer(annotations, 2);
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QVERIFY(scene.removeDrawings(layer, frame, count).isEmpty());
    QCOMPARE(cells(scene, 0), QStringLiteral("AB"));
    QCOMPARE(annotations->imageCount(), 1);
    QCOMPARE(layers.count() + rects.count(), 0);
}

void TestSceneEdits::offPegsTransformOfTheTopmostLayer_data()
{
    QTest::addColumn<bool>("topOffPegs");
    QTest::addColumn<bool>("bottomOffPegs");
    QTest::addColumn<int>("layer");

    QTest::newRow("none") << false << false << -1;
    QTest::newRow("the bottom layer") << false << true << 1;
    QTest::newRow("both") << true << true << 0;
}

void TestSceneEdits::offPegsTransformOfTheTopmostLayer()
{
    QFETCH(bool, topOffPegs);
    QFETCH(bool, bottomOffPegs);
    QFETCH(int, layer);

    Scene scene;
    build(scene, {QStringLiteral("AB"), QStringLiteral("CD")});
    QCOMPARE(scene.layerOrdering(), (QList<int>{0, 1}));
    const QTransform top = QTransform::fromTranslate(5, 0);
    const QTransform bottom = QTransform::fromTranslate(0, 7);
    if (topOffPegs)
        scene.itemAt(0, 2)->setOffPegsTransform(top);
    if (bottomOffPegs)
        scene.itemAt(1, 2)->setOffPegsTransform(bottom);

    int found = -2;
    const QTransform transform = scene.offPegsTransform(2, &found);

    QCOMPARE(found, layer);
    QCOMPARE(transform, layer == 0 ? top : layer == 1 ? bottom : QTransform());
    QCOMPARE(scene.offPegsTransform(1), QTransform());
}

void TestSceneEdits::annotationImage()
{
    Scene scene;
    build(scene, {QStringLiteral("AB")});
    QVERIFY(scene.annotationImage(1).isNull());

    auto annotations = std::make_shared<AnnotationLayer>(&scene);
    QImage note(8, 8, QImage::Format_Alpha8);
    note.fill(90);
    annotations->appendImage(QImage());
    annotations->appendImage(note);
    scene.insertLayer(annotations, 1);

    QVERIFY(scene.annotationImage(1).isNull());
    QCOMPARE(scene.annotationImage(2), note);
    QVERIFY(scene.annotationImage(3).isNull());
}

// Strokes

void TestSceneEdits::strokeShowsWhereverItsDrawingShows_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("frame");
    QTest::addColumn<Cells>("announced");

    // Layer 0 "AaaB"; layer 1 "C" then a distant clone of A held for two.
    const Cells everyA{{1, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1}, {4, 1}};
    QTest::newRow("the original") << 0 << 1 << everyA;
    QTest::newRow("its last hold") << 0 << 3 << everyA;
    QTest::newRow("its distant clone") << 1 << 2 << everyA;
    QTest::newRow("the hold of its distant clone") << 1 << 4 << everyA;
    QTest::newRow("another drawing") << 0 << 4 << Cells{{4, 0}};
}

void TestSceneEdits::strokeShowsWhereverItsDrawingShows()
{
    QFETCH(int, layer);
    QFETCH(int, frame);
    QFETCH(Cells, announced);

    Scene scene;
    build(scene, {QStringLiteral("AaaB"), QStringLiteral("CDdd")});
    makeDistantClone(scene, 1, 2, 0, 1);
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    const QRect rect(3, 4, 10, 6);
    QVERIFY(scene.addStroke(layer, frame, square(rect)));

    QCOMPARE(drawings.count(), 1);
    QCOMPARE(drawings.first().first().value<Cells>(), announced);
    QCOMPARE(rects.count(), 1);
    QCOMPARE(rects.first().first().toRect(), rect);
    for (const auto &[f, l] : announced)
        QCOMPARE(strokeDrawing(scene, l, f)->root().memberCount(), 1);
    if (announced.size() > 1)
        QVERIFY(strokeDrawing(scene, 0, 4)->isEmpty());

    // Taking it back announces the same cells.
    QVERIFY(scene.removeStroke(layer, frame));
    QCOMPARE(drawings.count(), 2);
    QCOMPARE(drawings.last().first().value<Cells>(), announced);
    QVERIFY(strokeDrawing(scene, announced.first().second, announced.first().first)->isEmpty());
}

void TestSceneEdits::refusedStrokes_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("frame");

    QTest::newRow("null stroke") << "null" << 1;
    QTest::newRow("hidden layer") << "hidden" << 1;
    QTest::newRow("reference layer") << "reference" << 1;
    QTest::newRow("past the cells") << "stroke" << 3;
    QTest::newRow("no such layer") << "none" << 1;
}

void TestSceneEdits::refusedStrokes()
{
    QFETCH(QString, target);
    QFETCH(int, frame);

    Scene scene;
    build(scene, {QStringLiteral("AB")});
    auto reference = std::make_shared<ReferenceLayer>(FrameSize, &scene);
    scene.insertLayer(reference, 1);
    int layer = 0;
    if (target == u"hidden")
        scene.setLayerVisible(0, false);
    else if (target == u"reference")
        layer = 1;
    else if (target == u"none")
        layer = 7;
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QVERIFY(!scene.addStroke(layer, frame, target == u"null" ? nullptr : square(QRect(1, 1, 5, 5))));

    QVERIFY(strokeDrawing(scene, 0, 1)->isEmpty());
    QCOMPARE(drawings.count() + rects.count(), 0);
}

void TestSceneEdits::eraserOnAnEmptyDrawingIsRefused()
{
    REQUIRE_GL();
    Scene scene;
    build(scene, {QStringLiteral("AB")});
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    EraserTool tool(Tool::PenType::RubberEraser);
    QList<QPointF> points;
    for (int i = 0; i < 10; ++i)
        points.append(QPointF(5.0 + 4.0 * i, 10.0));
    auto eraser = TestSupport::liveStroke(FrameSize, tool, points);

    QVERIFY(!scene.addStroke(0, 1, std::move(eraser)));
    QVERIFY(strokeDrawing(scene, 0, 1)->isEmpty());
    QCOMPARE(drawings.count() + rects.count(), 0);
}

void TestSceneEdits::removeStrokeGivesTheStrokeBack()
{
    Scene scene;
    build(scene, {QStringLiteral("Aa")});
    QVERIFY(scene.addStroke(0, 2, square(QRect(2, 3, 4, 5))));
    scene.setLayerVisible(0, false);
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    // Hidden since: undoing the stroke must still work.
    const std::unique_ptr<Stroke> stroke = scene.removeStroke(0, 2);
    QVERIFY(stroke);
    QCOMPARE(stroke->boundingRect(), QRect(2, 3, 4, 5));
    QCOMPARE(rects.count(), 1);
    QCOMPARE(rects.first().first().toRect(), QRect(2, 3, 4, 5));
    QCOMPARE(drawings.first().first().value<Cells>(), (Cells{{1, 0}, {2, 0}}));

    QVERIFY(!scene.removeStroke(0, 1));
    QCOMPARE(drawings.count(), 1);
    QCOMPARE(rects.count(), 1);
}

void TestSceneEdits::refusedCuts_data()
{
    QTest::addColumn<QString>("target");

    QTest::newRow("empty path") << "empty";
    QTest::newRow("hidden layer") << "hidden";
    QTest::newRow("reference layer") << "reference";
    QTest::newRow("annotation layer") << "annotation";
    QTest::newRow("past the cells") << "past";
    QTest::newRow("path beside the ink") << "beside";
}

void TestSceneEdits::refusedCuts()
{
    QFETCH(QString, target);

    Scene scene;
    build(scene, {QStringLiteral("AB")});
    scene.insertLayer(std::make_shared<ReferenceLayer>(FrameSize, &scene), 1);
    scene.insertLayer(std::make_shared<AnnotationLayer>(&scene), 2);
    QVERIFY(scene.addStroke(0, 1, square(QRect(0, 0, 20, 20))));
    int layer = 0;
    int frame = 1;
    QPainterPath path = rectPath(QRectF(2, 2, 8, 8));
    if (target == u"empty")
        path = QPainterPath();
    else if (target == u"hidden")
        scene.setLayerVisible(0, false);
    else if (target == u"reference")
        layer = 1;
    else if (target == u"annotation")
        layer = 2;
    else if (target == u"beside")
        path = rectPath(QRectF(30, 25, 8, 8));
    else
        frame = 3;
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);

    QVERIFY(scene.cutPath(layer, frame, path).isEmpty());
    QCOMPARE(drawings.count(), 0);
    QCOMPARE(strokeDrawing(scene, 0, 1)->root().memberCount(), 1);
}

void TestSceneEdits::cutChangesTheSharedDrawing()
{
    REQUIRE_GL();
    Scene scene;
    build(scene, {QStringLiteral("AaB"), QStringLiteral("Cdd")});
    makeDistantClone(scene, 1, 2, 0, 1);
    QVERIFY(scene.addStroke(0, 1, square(QRect(0, 0, 30, 30))));
    scene.itemAt(0, 1)->setOffPegsTransform(QTransform::fromTranslate(4, 2));
    scene.itemAt(0, 1)->setKeyDrawing(true);
    const QImage before = strokeDrawing(scene, 0, 1)->image();
    const QUuid copyId = scene.itemAt(0, 1)->drawing()->createCopyId();
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    // Cut through the hold of the distant clone: the original changes.
    const QList<SceneChange> changes = scene.cutPath(1, 3, rectPath(QRectF(4.5, 4.5, 10, 10)));

    QCOMPARE(records(changes), QStringLiteral("2:1:0"));
    QVERIFY(strokeDrawing(scene, 1, 3)->image() != before);
    QCOMPARE(strokeDrawing(scene, 1, 3), strokeDrawing(scene, 0, 1));
    QCOMPARE(rects.count(), 1);
    QCOMPARE(rects.first().first().toRect(), QRect(4, 4, 11, 11));
    QCOMPARE(drawings.count(), 1);
    QCOMPARE(drawings.first().first().value<Cells>(), (Cells{{1, 0}, {2, 0}, {2, 1}, {3, 1}}));

    scene.applyChanges(changes);
    QCOMPARE(strokeDrawing(scene, 0, 1)->image(), before);
    // Every cell shows the restored drawing again, placed and marked as before.
    QCOMPARE(strokeDrawing(scene, 0, 2), strokeDrawing(scene, 0, 1));
    QCOMPARE(strokeDrawing(scene, 1, 2), strokeDrawing(scene, 0, 1));
    QCOMPARE(strokeDrawing(scene, 1, 3), strokeDrawing(scene, 0, 1));
    QCOMPARE(scene.itemAt(0, 1)->offPegsTransform(), QTransform::fromTranslate(4, 2));
    QVERIFY(scene.itemAt(0, 1)->isKeyDrawing());
    QCOMPARE(scene.itemAt(0, 1)->drawing()->name(), QStringLiteral("A"));
    QCOMPARE(scene.itemAt(0, 1)->drawing()->copyId(), copyId);
    QCOMPARE(scene.itemAt(0, 1)->distantClones().size(), 1);
}

// A cut on blank drawings changes nothing that could be undone.
void TestSceneEdits::cutOfNothingRecordsNothing()
{
    Scene scene;
    build(scene, {QStringLiteral("Aa")});
    const QUuid copyId = scene.itemAt(0, 1)->drawing()->createCopyId();
    QSignalSpy drawings(&scene, &Scene::drawingsChanged);

    QVERIFY(scene.cutPath(0, 2, rectPath(QRectF(4, 3, 10, 10))).isEmpty());

    QCOMPARE(drawings.count(), 0);
    QVERIFY(strokeDrawing(scene, 0, 2)->isEmpty());
    QCOMPARE(strokeDrawing(scene, 0, 2), strokeDrawing(scene, 0, 1));
    QCOMPARE(scene.itemAt(0, 1)->drawing()->copyId(), copyId);
}

QTEST_MAIN(TestSceneEdits)
#include "tst_sceneedits.moc"
