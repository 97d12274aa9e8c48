#include "scene/scene.h"

#include "celltesthelpers.h"
#include "render/alphacomposition.h"
#include "scenetesthelpers.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace Model;
using namespace CellTest;
using Cells = QList<std::pair<int, int>>;

// Merging a draw layer into the one below it: when it is offered, and the
// drawings, timing and links of the lower layer afterwards.
class TestSceneMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void canMergeLayerDown_data();
    void canMergeLayerDown();
    void mergeKeepsTheTimingOfBoth_data();
    void mergeKeepsTheTimingOfBoth();
    void distantClonesKeepTheOldDrawing_data();
    void distantClonesKeepTheOldDrawing();
    void keyMarksAndPlacementCarryOver();
    void refusedMergesChangeNothing_data();
    void refusedMergesChangeNothing();
};

void TestSceneMerge::initTestCase()
{
    initAlphaCompositionTables();
}

void TestSceneMerge::init()
{
    QSettings().clear();
}

// Layers listed from the top of the ordering down: "stroke 3" is a stroke
// layer of 3 cells.
void TestSceneMerge::canMergeLayerDown_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<int>("rangeFirst");
    QTest::addColumn<int>("layer");
    QTest::addColumn<bool>("offered");

    QTest::newRow("stroke layer over a stroke layer") << QStringList{"stroke 3", "stroke 3"} << 1 << 0 << true;
    QTest::newRow("the bottom layer") << QStringList{"stroke 3", "stroke 3"} << 1 << 1 << false;
    QTest::newRow("stroke layer over a reference layer") << QStringList{"stroke 3", "reference 3"} << 1 << 0 << false;
    QTest::newRow("reference layer over a reference layer")
        << QStringList{"reference 3", "reference 3"} << 1 << 0 << false;
    QTest::newRow("past an audio layer") << QStringList{"stroke 3", "audio", "stroke 3"} << 1 << 0 << true;
    QTest::newRow("past a layer that ends before the range")
        << QStringList{"stroke 5", "stroke 2", "stroke 5"} << 3 << 0 << true;
    QTest::newRow("only layers that end before the range")
        << QStringList{"stroke 5", "stroke 2"} << 3 << 0 << false;
    QTest::newRow("audio layer") << QStringList{"audio", "stroke 3"} << 1 << 0 << false;
    QTest::newRow("no such layer") << QStringList{"stroke 3", "stroke 3"} << 1 << 2 << false;
    QTest::newRow("negative index") << QStringList{"stroke 3", "stroke 3"} << 1 << -1 << false;
}

void TestSceneMerge::canMergeLayerDown()
{
    QFETCH(QStringList, layers);
    QFETCH(int, rangeFirst);
    QFETCH(int, layer);
    QFETCH(bool, offered);

    Scene scene;
    for (const QString &description : layers) {
        const QStringList parts = description.split(u' ');
        const QString cells(parts.value(1).toInt(), u'X');
        if (parts.first() == u"stroke")
            scene.insertLayer(SceneTest::strokeLayer(scene, cells), scene.layerCount());
        else if (parts.first() == u"reference")
            scene.insertLayer(SceneTest::referenceLayer(scene, cells), scene.layerCount());
        else
            scene.insertLayer(std::make_shared<AudioLayer>(&scene), scene.layerCount());
    }
    scene.updateMaxFrameNumber();
    scene.setFrameRange(rangeFirst, scene.maximumFrameNumber(), rangeFirst, scene.activeLayerIdx());
    QCOMPARE(scene.frameRangeFirst(), rangeFirst);

    QCOMPARE(scene.canMergeLayerDown(layer), offered);
}

// Layer 0 is merged into layer 1. The originals are inked a, b, c... upper
// layer first, so that a merged cell shows the letters of both.
void TestSceneMerge::mergeKeepsTheTimingOfBoth_data()
{
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("merged");

    QTest::newRow("upper held over two originals") << "X--" << "XX" << "Oab Oac Oa";
    QTest::newRow("upper starts a drawing while lower holds") << "XX" << "X-" << "Oac Obc";
    QTest::newRow("both held alike") << "X-" << "X-" << "Oab Cab";
    QTest::newRow("lower longer than upper") << "X" << "XXX" << "Oab Oc Od";
    QTest::newRow("upper longer than lower") << "XX-X" << "X" << "Oad Ob Cb Oc";
    QTest::newRow("upper holds across lower originals") << "X-X" << "XX-" << "Oac Oad Obd";
}

void TestSceneMerge::mergeKeepsTheTimingOfBoth()
{
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QFETCH(QString, merged);

    Scene scene;
    buildScene(scene, {upper, lower});
    const QString upperBefore = describeLayer(scene, 0);
    const std::shared_ptr<Drawing> lowerFirst = scene.itemAt(1, 1)->drawing();
    const QString lowerFirstInk = inkOf(lowerFirst.get());
    QSignalSpy cells(&scene, &Scene::drawingsChanged);
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QVERIFY(scene.mergeLayerDown(0, 1));
    QCOMPARE(describeLayer(scene, 1), merged);
    QCOMPARE(describeLayer(scene, 0), upperBefore);
    QCOMPARE(linkFault(scene), QString());
    // The merge works on copies: a drawing that someone else still holds
    // (an undo command, a distant clone) is left as it was.
    QCOMPARE(inkOf(lowerFirst.get()), lowerFirstInk);
    QCOMPARE(cells.count(), 1);
    QVERIFY(cells.first().at(0).value<Cells>().isEmpty());
    QCOMPARE(layers.count() + rects.count(), 0);
}

// Layer 0 is merged into layer 1; layer 2 holds the other ends of links.
void TestSceneMerge::distantClonesKeepTheOldDrawing_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QString>("links");
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("announced");

    QTest::newRow("distant clones of a lower original")
        << QStringList{"X", "X", "XX"} << "2.1>1.1,2.2>1.1" << "Oa | Oab | Ob Db" << "1.2";
    QTest::newRow("distant clones in the lower layer itself")
        << QStringList{"X-X", "X-X"} << "1.3>1.1" << "Oa Ca Ob | Oac Cac Obc" << "3.1";
    QTest::newRow("a lower distant clone of another layer")
        << QStringList{"X", "X", "X"} << "1.1>2.1" << "Oa | Oab | Ob" << "1.2";
}

void TestSceneMerge::distantClonesKeepTheOldDrawing()
{
    QFETCH(QStringList, layers);
    QFETCH(QString, links);
    QFETCH(QString, scene);
    QFETCH(QString, announced);

    Scene document;
    buildScene(document, layers, links);
    QSignalSpy cells(&document, &Scene::drawingsChanged);

    QVERIFY(document.mergeLayerDown(0, 1));
    QCOMPARE(describe(document), scene);
    QCOMPARE(linkFault(document), QString());
    QCOMPARE(cells.count(), 1);
    QCOMPARE(cellsText(cells.first().at(0).value<Cells>()), announced);
}

void TestSceneMerge::keyMarksAndPlacementCarryOver()
{
    Scene scene;
    buildScene(scene, {"XX-", "X-X"});
    const QTransform upperPlacement = QTransform::fromTranslate(5, 0);
    const QTransform lowerPlacement = QTransform::fromTranslate(0, 3);
    QVERIFY(scene.setOffPegsTransform(1, 0, upperPlacement));
    QVERIFY(scene.setKeyDrawing(0, 1, true));
    QVERIFY(scene.setKeyDrawing(1, 3, true));
    QVERIFY(scene.setOffPegsTransform(2, 1, lowerPlacement));

    QVERIFY(scene.mergeLayerDown(0, 1));
    QCOMPARE(scene.itemAt(1, 1)->offPegsTransform(), upperPlacement);
    QVERIFY(scene.isKeyDrawing(1, 1));
    QCOMPARE(scene.itemAt(1, 2)->offPegsTransform(), lowerPlacement);
    QVERIFY(!scene.isKeyDrawing(1, 2));
    QCOMPARE(scene.itemAt(1, 3)->offPegsTransform(), QTransform());
    QVERIFY(scene.isKeyDrawing(1, 3));
}

void TestSceneMerge::refusedMergesChangeNothing_data()
{
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("lower");

    QTest::newRow("into itself") << 0 << 0;
    QTest::newRow("into a reference layer") << 0 << 2;
    QTest::newRow("a reference layer into a stroke layer") << 2 << 1;
    QTest::newRow("into an audio layer") << 0 << 3;
    QTest::newRow("into no layer") << 0 << 4;
    QTest::newRow("from no layer") << -1 << 1;
}

void TestSceneMerge::refusedMergesChangeNothing()
{
    QFETCH(int, upper);
    QFETCH(int, lower);

    Scene scene;
    buildScene(scene, {"XX", "X-"});
    scene.insertLayer(SceneTest::referenceLayer(scene, QStringLiteral("X")), 2);
    scene.insertLayer(std::make_shared<AudioLayer>(&scene), 3);
    const QString before = describe(scene);
    QSignalSpy cells(&scene, &Scene::drawingsChanged);

    QVERIFY(!scene.mergeLayerDown(upper, lower));
    QCOMPARE(describe(scene), before);
    QCOMPARE(cells.count(), 0);
}

QTEST_MAIN(TestSceneMerge)

#include "tst_scenemerge.moc"
