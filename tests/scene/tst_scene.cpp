#include "scene/scene.h"

#include "drawings/drawing.h"
#include "scenetesthelpers.h"
#include "settings/settings.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <cmath>
#include <functional>
#include <limits>

using namespace Model;
using namespace SceneTest;

using Cells = QList<std::pair<int, int>>;
using SceneEdit = std::function<bool(Scene &)>;
Q_DECLARE_METATYPE(SceneEdit)

class TestScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void newSceneStartsFromThePreferences();
    void undoStackKeepsFiftyCommands();
    void filePathNamesTheScene();
    void layersHeldElsewhereOutliveTheScene();

    void orderingStaysConsistent_data();
    void orderingStaysConsistent();
    void insertAnnouncesBothIndexes();
    void refusedLayerEditsChangeNothing();
    void firstVisualLayerBecomesActive();
    void activeLayerFollowsItsLayer();
    void removingTheLastVisualLayerLeavesNoActiveLayer();
    void audioLayerIndexIsTracked();
    void navigationWalksTheOrdering();
    void layerNumbersCountUp();

    void distantClonesSurviveRemovalAndReinsertion();
    void findDrawingResolvesKeys();
    void drawingKeyFollowsBeyondLast_data();
    void drawingKeyFollowsBeyondLast();

    void settersAnnounceOneLayer_data();
    void settersAnnounceOneLayer();
    void opacityAnnouncesWhatWasStored_data();
    void opacityAnnouncesWhatWasStored();
    void beyondLastOfAHiddenLayerDoesNotRepaint();
    void settersRefuseWrongKinds_data();
    void settersRefuseWrongKinds();
    void queriesAreTotal_data();
    void queriesAreTotal();
    void keyDrawingAnnouncesTheCell();
    void offPegsTopLayerWins();
    void annotationImageNeedsAnAnnotationLayer();
};

void TestScene::init()
{
    QSettings().clear();
}

void TestScene::cleanup()
{
    Settings::instance()->setDefaultFrameSize(QSize(1920, 1080));
    Settings::instance()->setDefaultFrameRate(12.0);
}

void TestScene::newSceneStartsFromThePreferences()
{
    Settings::instance()->setDefaultFrameSize(QSize(800, 600));
    Settings::instance()->setDefaultFrameRate(24.0);

    Scene scene;

    QCOMPARE(scene.name(), QStringLiteral("Untitled"));
    QCOMPARE(scene.frameSize(), QSize(800, 600));
    QCOMPARE(scene.frameRate(), 24.0);
    QCOMPARE(scene.maximumFrameNumber(), 1);
    QCOMPARE(scene.minimumFrameNumber(), 1);
    QCOMPARE(scene.frameRangeFirst(), 1);
    QCOMPARE(scene.frameRangeLast(), 1);
    QCOMPARE(scene.activeFrame(), -1);
    QCOMPARE(scene.activeLayerIdx(), -1);
    QCOMPARE(scene.audioLayerIdx(), -1);
    QCOMPARE(scene.layerCount(), 0);
    QVERIFY(!scene.hasActiveStroke());
}

void TestScene::undoStackKeepsFiftyCommands()
{
    Scene scene;
    for (int i = 0; i < 51; ++i)
        scene.undoStack()->push(new QUndoCommand(QString::number(i)));

    QCOMPARE(scene.undoStack()->count(), 50);
    QCOMPARE(scene.undoStack()->text(0), QStringLiteral("1"));
}

void TestScene::filePathNamesTheScene()
{
    Scene scene;
    QSignalSpy named(&scene, &Scene::nameChanged);

    scene.setFilePath(QStringLiteral("/work/shots/walk.cycle.kl"));
    scene.setFilePath(QStringLiteral("/work/shots/walk.cycle.kl"));

    QCOMPARE(scene.name(), QStringLiteral("walk.cycle"));
    QCOMPARE(scene.filePath(), QStringLiteral("/work/shots/walk.cycle.kl"));
    QCOMPARE(named.count(), 2);
}

void TestScene::layersHeldElsewhereOutliveTheScene()
{
    std::shared_ptr<Layer> kept;
    {
        Scene scene;
        addStrokeLayer(scene, QStringLiteral("XX"));
        kept = scene.layerAt(0);
        QCOMPARE(kept->parent(), &scene);
    }
    QCOMPARE(kept->frameCount(), 2);
    QVERIFY(!kept->parent());
    // Nothing of the scene is left to hear the preferences.
    Settings::instance()->setBacklightSettings(BacklightSettings());
}

// Each step: "i<index>" inserts a stroke layer, "r<index>" removes one,
// "m<layer>:<from>:<to>" moves one.
void TestScene::orderingStaysConsistent_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("ordering");

    QTest::newRow("inserts go to the bottom") << QStringList{"i0", "i1", "i2"} << QList<int>{0, 1, 2};
    QTest::newRow("insert before others") << QStringList{"i0", "i0", "i0"} << QList<int>{2, 1, 0};
    QTest::newRow("insert into the middle") << QStringList{"i0", "i1", "i1"} << QList<int>{0, 2, 1};
    QTest::newRow("move down") << QStringList{"i0", "i0", "i2", "m1:0:2"} << QList<int>{0, 2, 1};
    QTest::newRow("move up") << QStringList{"i0", "i1", "i2", "m2:2:0"} << QList<int>{2, 0, 1};
    QTest::newRow("move in place") << QStringList{"i0", "i1", "m1:1:1"} << QList<int>{0, 1};
    QTest::newRow("remove top") << QStringList{"i0", "i1", "i2", "m2:2:0", "r2"} << QList<int>{0, 1};
    QTest::newRow("remove after moves") << QStringList{"i0", "i1", "i2", "i3", "m0:0:3", "m3:2:0", "r1"}
                                        << QList<int>{2, 1, 0};
    QTest::newRow("remove all") << QStringList{"i0", "i1", "r0", "r0"} << QList<int>{};
}

void TestScene::orderingStaysConsistent()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, ordering);

    Scene scene;
    for (const QString &step : std::as_const(steps)) {
        const QStringList args = step.mid(1).split(u':');
        if (step.startsWith(u'i')) {
            scene.insertLayer(strokeLayer(scene, QStringLiteral("X")), args.at(0).toInt());
        } else if (step.startsWith(u'r')) {
            QVERIFY(scene.removeLayerAt(args.at(0).toInt()));
        } else {
            QSignalSpy moved(&scene, &Scene::layerMoved);
            QVERIFY(scene.moveLayer(args.at(0).toInt(), args.at(1).toInt(), args.at(2).toInt()));
            QCOMPARE(moved.count(), 1);
        }
        QVERIFY2(orderingFault(scene).isEmpty(), qPrintable(step + QStringLiteral(": ") + orderingFault(scene)));
    }
    QCOMPARE(scene.layerOrdering(), ordering);
}

void TestScene::insertAnnouncesBothIndexes()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    QStringList log;
    connect(&scene, &Scene::beginInsertLayer, this, [&](int index) { log << QStringLiteral("begin %1").arg(index); });
    connect(&scene, &Scene::layerInserted, this, [&](int index) { log << QStringLiteral("inserted %1").arg(index); });
    connect(&scene, &Scene::endInsertLayer, this, [&] { log << QStringLiteral("end"); });

    QCOMPARE(scene.insertLayer(strokeLayer(scene, QStringLiteral("X")), 7), 1);

    QCOMPARE(log, (QStringList{"begin 7", "inserted 1", "end"}));
}

void TestScene::refusedLayerEditsChangeNothing()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    const auto layer = scene.layerAt(0);
    QSignalSpy inserted(&scene, &Scene::beginInsertLayer);
    QSignalSpy removed(&scene, &Scene::beginRemoveLayer);
    QSignalSpy moved(&scene, &Scene::layerMoved);
    QSignalSpy changed(&scene, &Scene::layersChanged);

    QCOMPARE(scene.insertLayer(nullptr, 0), -1);
    QCOMPARE(scene.insertLayer(layer, 0), -1);
    QVERIFY(!scene.removeLayerAt(-1));
    QVERIFY(!scene.removeLayerAt(1));
    QVERIFY(!scene.removeLayer(strokeLayer(scene, QStringLiteral("X"))));
    QVERIFY(!scene.replaceLayer(1, strokeLayer(scene, QStringLiteral("X"))));
    QVERIFY(!scene.replaceLayer(0, nullptr));
    QVERIFY(!scene.moveLayer(0, 0, 1));
    QVERIFY(!scene.moveLayer(0, -1, 0));
    QVERIFY(!scene.moveLayer(1, 0, 0));

    QCOMPARE(scene.layerCount(), 1);
    QCOMPARE(scene.layerAt(0), layer);
    QCOMPARE(inserted.count() + removed.count() + moved.count() + changed.count(), 0);
}

void TestScene::firstVisualLayerBecomesActive()
{
    Scene scene;
    QSignalSpy active(&scene, &Scene::activeFrameAndLayerChanged);
    QSignalSpy maximum(&scene, &Scene::maximumFrameNumberChanged);

    addLayerOfKind(scene, QStringLiteral("audio"));
    QCOMPARE(scene.activeLayerIdx(), -1);
    QCOMPARE(active.count(), 0);

    addStrokeLayer(scene, QStringLiteral("X-X"));

    QCOMPARE(scene.activeLayerIdx(), 1);
    QCOMPARE(scene.activeFrame(), 1);
    QCOMPARE(active.count(), 1);
    QCOMPARE(active.last(), (QVariantList{1, 1}));
    QCOMPARE(maximum.count(), 1);
    QCOMPARE(scene.maximumFrameNumber(), 3);

    // A second visual layer leaves the active frame where it is.
    scene.setFrameRange(1, 3, 3, 1);
    QCOMPARE(scene.activeFrame(), 3);
    addStrokeLayer(scene, QStringLiteral("XX"));
    QCOMPARE(scene.activeFrame(), 3);
    QCOMPARE(scene.activeLayerIdx(), 1);
}

void TestScene::activeLayerFollowsItsLayer()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXX"));
    addStrokeLayer(scene, QStringLiteral("XXX"));
    scene.setFrameRange(1, 3, 2, 1);
    const auto active = scene.layerAt(1);
    QSignalSpy announced(&scene, &Scene::activeFrameAndLayerChanged);

    scene.insertLayer(strokeLayer(scene, QStringLiteral("X")), 0);
    QCOMPARE(scene.layerAt(scene.activeLayerIdx()), active);
    QCOMPARE(announced.last(), (QVariantList{2, 2}));

    scene.removeLayerAt(0);
    QCOMPARE(scene.layerAt(scene.activeLayerIdx()), active);
    QCOMPARE(scene.activeFrame(), 2);

    // Removing the active layer hands over to the layer that takes its
    // position in the ordering.
    scene.removeLayerAt(1);
    QCOMPARE(scene.activeLayerIdx(), 0);
    QCOMPARE(scene.activeFrame(), 2);

    // A replacement that cannot be active gives the place to another layer.
    addStrokeLayer(scene, QStringLiteral("XX"));
    scene.replaceLayer(0, std::make_shared<AudioLayer>(&scene));
    QCOMPARE(scene.activeLayerIdx(), 1);
    QCOMPARE(scene.audioLayerIdx(), 0);
}

void TestScene::removingTheLastVisualLayerLeavesNoActiveLayer()
{
    Scene scene;
    addLayerOfKind(scene, QStringLiteral("annotation"));
    addStrokeLayer(scene, QStringLiteral("XX"));

    scene.removeLayerAt(1);

    QCOMPARE(scene.activeLayerIdx(), -1);
    QCOMPARE(scene.maximumFrameNumber(), 1);
    QCOMPARE(scene.frameRangeFirst(), 1);
    QCOMPARE(scene.frameRangeLast(), 1);
}

void TestScene::audioLayerIndexIsTracked()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    addLayerOfKind(scene, QStringLiteral("audio"));
    QCOMPARE(scene.audioLayerIdx(), 1);

    scene.insertLayer(strokeLayer(scene, QStringLiteral("X")), 0);
    QCOMPARE(scene.audioLayerIdx(), 2);
    scene.insertLayer(strokeLayer(scene, QStringLiteral("X")), 3);
    QCOMPARE(scene.audioLayerIdx(), 2);
    scene.removeLayerAt(0);
    QCOMPARE(scene.audioLayerIdx(), 1);
    scene.replaceLayer(1, strokeLayer(scene, QStringLiteral("X")));
    QCOMPARE(scene.audioLayerIdx(), -1);
    addLayerOfKind(scene, QStringLiteral("audio"));
    scene.removeLayerAt(3);
    QCOMPARE(scene.audioLayerIdx(), -1);
}

void TestScene::navigationWalksTheOrdering()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXXX")); // 0
    addStrokeLayer(scene, QStringLiteral("X"));    // 1, too short for the range
    addLayerOfKind(scene, QStringLiteral("audio")); // 2
    addStrokeLayer(scene, QStringLiteral("XXXX")); // 3
    scene.moveLayer(3, 3, 0);                      // ordering 3 0 1 2
    scene.setFrameRange(2, 4, 2, 0);
    QCOMPARE(scene.activeLayerIdx(), 0);

    QCOMPARE(scene.topmostLayerInFrameRange(), 3);
    QCOMPARE(scene.bottommostLayerInFrameRange(), 0);
    QCOMPARE(scene.layerAboveActiveInFrameRange(), 3);
    QCOMPARE(scene.layerBelowActiveInFrameRange(), 0);
    QCOMPARE(scene.layerBelowInFrameRange(3), 0);
    QCOMPARE(scene.layerBelowInFrameRange(0), -1);
    QCOMPARE(scene.layerBelowInFrameRange(9), -1);

    scene.setActiveFrameAndLayer(2, 3, Scene::AllowFrameAfterLast);
    QCOMPARE(scene.layerAboveActiveInFrameRange(), 3);
}

void TestScene::layerNumbersCountUp()
{
    Scene scene;
    QCOMPARE(scene.nextLayerNumber(), QStringLiteral("1"));
    scene.setHighestUsedLayerNumber(7);
    QCOMPARE(scene.nextLayerNumber(), QStringLiteral("8"));
    QCOMPARE(scene.highestUsedLayerNumber(), 8);
}

// An original in layer A shown as distant clones in B and C. Taking A out
// must leave B and C with a drawing of their own; putting it back must
// restore the links to A.
void TestScene::distantClonesSurviveRemovalAndReinsertion()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    addStrokeLayer(scene, QStringLiteral("X"));
    addStrokeLayer(scene, QStringLiteral("X"));
    const auto a = scene.layerAt(0);
    const auto original = scene.itemAt(0, 1);
    const auto b = scene.itemAt(1, 1);
    const auto c = scene.itemAt(2, 1);
    const Scene::DrawingKey originalKey{a->identifier(), original->identifier()};
    const Scene::DrawingKey bKey{scene.layerAt(1)->identifier(), b->identifier()};
    const Scene::DrawingKey cKey{scene.layerAt(2)->identifier(), c->identifier()};
    for (const auto &clone : {b, c}) {
        clone->setKind(LayerItem::DistantCloneKind);
        clone->setOriginal(originalKey);
        clone->setDrawing(original->drawing());
    }
    original->setDistantClones({bKey, cKey});

    QCOMPARE(scene.removeLayerAt(0), a);
    QCOMPARE(b->kind(), LayerItem::OriginalKind);
    QVERIFY(b->originalItem().isNull());
    QCOMPARE(b->distantClones(), QList<Scene::DrawingKey>{cKey});
    QCOMPARE(c->kind(), LayerItem::DistantCloneKind);
    QCOMPARE(c->originalItem(), bKey.second);
    QCOMPARE(scene.originalKeyAt(1, 1), bKey);

    QCOMPARE(scene.insertLayer(a, 0), 0);
    for (const auto &clone : {b, c}) {
        QCOMPARE(clone->kind(), LayerItem::DistantCloneKind);
        QCOMPARE(clone->originalItem(), originalKey.second);
        QCOMPARE(clone->drawing(), original->drawing());
        QVERIFY(clone->distantClones().isEmpty());
    }
    QCOMPARE(scene.originalKeyAt(2, 1), originalKey);
    QCOMPARE(original->distantClones(), (QList<Scene::DrawingKey>{bKey, cKey}));
}

void TestScene::findDrawingResolvesKeys()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    addStrokeLayer(scene, QStringLiteral("XX-X"));
    const QUuid layerId = scene.layerAt(1)->identifier();
    const auto held = scene.itemAt(1, 2);

    int layer = -2;
    int frame = -2;
    QCOMPARE(scene.findDrawing({layerId, held->identifier()}, &layer, &frame), held);
    QCOMPARE(layer, 1);
    QCOMPARE(frame, 2);
    QVERIFY(scene.containsDrawing({layerId, scene.itemAt(1, 3)->identifier()}));
    QVERIFY(!scene.findDrawing({layerId, QUuid()}));
    QVERIFY(!scene.findDrawing({QUuid(), held->identifier()}));
    QVERIFY(!scene.findDrawing({scene.layerAt(0)->identifier(), held->identifier()}));

    // A hold resolves to the original it holds.
    QCOMPARE(scene.originalKeyAt(1, 3), (Scene::DrawingKey{layerId, held->identifier()}));
    QCOMPARE(scene.originalKeyAt(1, 5), Scene::DrawingKey());
    QCOMPARE(scene.originalKeyAt(7, 1), Scene::DrawingKey());

    const QUuid copyId = held->drawing()->createCopyId();
    Scene::DrawingKey key;
    QCOMPARE(scene.findOriginalByCopyId(copyId, &key, &layer, &frame), held);
    QCOMPARE(key, (Scene::DrawingKey{layerId, held->identifier()}));
    QCOMPARE(frame, 2);
    QVERIFY(!scene.findOriginalByCopyId(QUuid()));

    // The holds after a cell take its drawing again.
    scene.itemAt(1, 3)->setDrawing(nullptr);
    QCOMPARE(scene.propagateToFollowingClones(2, 1), (Cells{{2, 1}, {3, 1}}));
    QCOMPARE(scene.itemAt(1, 3)->drawing(), held->drawing());
    QCOMPARE(scene.propagateToFollowingClones(5, 1), Cells());
}

void TestScene::drawingKeyFollowsBeyondLast_data()
{
    QTest::addColumn<QString>("cells");
    QTest::addColumn<int>("beyondLast");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("shownFrame"); // 0: no drawing

    QTest::newRow("inside") << "XXX" << int(Layer::ShowNothing) << 2 << 2;
    QTest::newRow("show nothing") << "XXX" << int(Layer::ShowNothing) << 4 << 0;
    QTest::newRow("freeze") << "XXX" << int(Layer::FreezeLastDrawing) << 9 << 3;
    QTest::newRow("cycle") << "XXX" << int(Layer::CycleDrawings) << 7 << 1;
    QTest::newRow("cycle a hold") << "XX-" << int(Layer::CycleDrawings) << 6 << 2;
    QTest::newRow("cycle one cell") << "X" << int(Layer::CycleDrawings) << 5 << 1;
    QTest::newRow("frame zero") << "XXX" << int(Layer::FreezeLastDrawing) << 0 << 0;
}

void TestScene::drawingKeyFollowsBeyondLast()
{
    QFETCH(QString, cells);
    QFETCH(int, beyondLast);
    QFETCH(int, frame);
    QFETCH(int, shownFrame);

    Scene scene;
    const int index = addStrokeLayer(scene, cells);
    QVERIFY(scene.setLayerBeyondLast(index, Layer::LayerBeyondLast(beyondLast)));

    const QUuid layerId = scene.layerAt(index)->identifier();
    const Scene::DrawingKey expected =
        shownFrame ? Scene::DrawingKey{layerId, scene.itemAt(index, shownFrame)->identifier()} : Scene::DrawingKey();
    QCOMPARE(scene.drawingKeyAt(layerId, frame), expected);
}

// Each row changes one property of layer 1 and says whether the picture
// must be refreshed.
void TestScene::settersAnnounceOneLayer_data()
{
    QTest::addColumn<SceneEdit>("set");
    QTest::addColumn<SceneEdit>("check");
    QTest::addColumn<bool>("repaints");

    QTest::newRow("hide") << SceneEdit([](Scene &s) { return s.setLayerVisible(1, false); })
                          << SceneEdit([](Scene &s) { return !s.isLayerVisible(1); }) << true;
    QTest::newRow("link") << SceneEdit([](Scene &s) { return s.setLayerLinked(1, true); })
                          << SceneEdit([](Scene &s) { return s.isLayerLinked(1); }) << false;
    QTest::newRow("rename") << SceneEdit([](Scene &s) { return s.setLayerName(1, QStringLiteral("Ink")); })
                            << SceneEdit([](Scene &s) { return s.layerName(1) == u"Ink"; }) << false;
    QTest::newRow("beyond last")
        << SceneEdit([](Scene &s) { return s.setLayerBeyondLast(1, Layer::CycleDrawings); })
        << SceneEdit([](Scene &s) { return s.layerBeyondLast(1) == Layer::CycleDrawings; }) << true;
    QTest::newRow("colour") << SceneEdit([](Scene &s) { return s.setLayerColor(1, Qt::red); })
                            << SceneEdit([](Scene &s) { return s.layerColor(1) == QColor(Qt::red); }) << true;
}

void TestScene::settersAnnounceOneLayer()
{
    QFETCH(SceneEdit, set);
    QFETCH(SceneEdit, check);
    QFETCH(bool, repaints);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    addStrokeLayer(scene, QStringLiteral("XX"));
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QVERIFY(set(scene));
    QVERIFY(check(scene));
    QCOMPARE(layers.count(), 1);
    QCOMPARE(layers.first(), (QVariantList{1, 1}));
    QCOMPARE(rects.count(), repaints ? 1 : 0);
    if (repaints)
        QCOMPARE(rects.first().first().toRect(), QRect(QPoint(0, 0), scene.frameSize()));

    // The same value again is accepted quietly; only the colour is announced
    // on every call.
    const bool announcesAlways = QByteArray(QTest::currentDataTag()) == "colour";
    QVERIFY(set(scene));
    QCOMPARE(layers.count(), announcesAlways ? 2 : 1);
}

void TestScene::opacityAnnouncesWhatWasStored_data()
{
    QTest::addColumn<double>("requested");
    QTest::addColumn<double>("stored");

    QTest::newRow("inside") << 0.4 << 0.4;
    QTest::newRow("above one") << 1.7 << 1.0;
    QTest::newRow("below zero") << -0.2 << 0.0;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 1.0;
}

void TestScene::opacityAnnouncesWhatWasStored()
{
    QFETCH(double, requested);
    QFETCH(double, stored);

    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    QSignalSpy opacity(&scene, &Scene::layerOpacityChanged);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    QVERIFY(scene.setLayerOpacity(0, requested));

    QCOMPARE(scene.layerOpacity(0), stored);
    QCOMPARE(opacity.count(), 1);
    QCOMPARE(opacity.first(), (QVariantList{0, stored}));
    QCOMPARE(layers.count(), 1);
}

void TestScene::beyondLastOfAHiddenLayerDoesNotRepaint()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XX"));
    scene.setLayerVisible(0, false);
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);

    QVERIFY(scene.setLayerBeyondLast(0, Layer::FreezeLastDrawing));

    QCOMPARE(layers.count(), 1);
    QCOMPARE(rects.count(), 0);
}

void TestScene::settersRefuseWrongKinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("index");

    QTest::newRow("no layer") << "stroke" << 5;
    QTest::newRow("negative") << "stroke" << -1;
    QTest::newRow("audio") << "audio" << 0;
    QTest::newRow("annotation") << "annotation" << 0;
}

void TestScene::settersRefuseWrongKinds()
{
    QFETCH(QString, kind);
    QFETCH(int, index);

    Scene scene;
    addLayerOfKind(scene, kind);
    const int reference = addLayerOfKind(scene, QStringLiteral("reference"));
    const double opacity = scene.layerOpacity(reference);
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QSignalSpy colours(&scene, &Scene::layerColorChanged);
    QSignalSpy opacities(&scene, &Scene::layerOpacityChanged);
    QSignalSpy cells(&scene, &Scene::drawingsChanged);

    QVERIFY(!scene.setLayerColor(index, Qt::red));
    QVERIFY(!scene.setLayerColor(reference, Qt::red));
    QVERIFY(!scene.setLayerOpacity(index, 0.5));
    QVERIFY(!scene.setLayerOpacity(reference, std::nan("")));
    QVERIFY(!scene.setLayerVisible(index, false));
    QVERIFY(!scene.setLayerBeyondLast(index, Layer::CycleDrawings));
    QVERIFY(!scene.setKeyDrawing(index, 1, true));
    QVERIFY(!scene.setOffPegsTransform(1, index, QTransform::fromTranslate(3, 4)));
    QVERIFY(!scene.setLayerAudible(reference, false));
    if (index < 0 || index >= scene.layerCount()) {
        QVERIFY(!scene.setLayerLinked(index, true));
        QVERIFY(!scene.setLayerName(index, QStringLiteral("x")));
    }

    QCOMPARE(layers.count() + colours.count() + opacities.count() + cells.count(), 0);
    QCOMPARE(scene.layerOpacity(reference), opacity);
}

void TestScene::queriesAreTotal_data()
{
    settersRefuseWrongKinds_data();
}

void TestScene::queriesAreTotal()
{
    QFETCH(QString, kind);
    QFETCH(int, index);

    Scene scene;
    addLayerOfKind(scene, kind);
    addStrokeLayer(scene, QStringLiteral("XXX"));
    const bool valid = index >= 0 && index < scene.layerCount();

    QCOMPARE(scene.layerAt(index) != nullptr, valid);
    QCOMPARE(scene.layerType(index), valid ? scene.layerAt(index)->type() : 0);
    QVERIFY(!scene.isVisualLayer(index));
    QVERIFY(!scene.isDrawLayer(index));
    QVERIFY(!scene.isReferenceLayer(index));
    QCOMPARE(scene.layerName(index), QString());
    QVERIFY(!scene.isLayerLinked(index));
    QVERIFY(!scene.isLayerVisible(index));
    QCOMPARE(scene.layerOpacity(index), 0.0);
    QVERIFY(!scene.layerColor(index).isValid());
    QCOMPARE(scene.layerBeyondLast(index), 0);
    QVERIFY(!scene.isLayerAudible(index));
    // Layers without cells span the whole scene.
    QCOMPARE(scene.layerFrameCount(index), valid ? 3 : 0);
    QCOMPARE(scene.nextFreeFrame(index), valid ? 4 : 1);
    QVERIFY(!scene.isOriginalDrawing(index, 1));
    QVERIFY(!scene.isCloneDrawing(index, 1));
    QVERIFY(!scene.isDistantCloneDrawing(index, 1));
    QVERIFY(!scene.isKeyDrawing(index, 1));
    QVERIFY(!scene.isFrameAfterLastDrawing(index, 1));
    QVERIFY(!scene.itemAt(index, 1));
    QCOMPARE(scene.frameLabel(1, index), QString());
    QVERIFY(scene.originalKeyAt(index, 1).first.isNull());
    QVERIFY(scene.propagateToFollowingClones(1, index).isEmpty());
    QVERIFY(scene.layerImage(1, index, QSize(16, 16)).isNull());

    QCOMPARE(scene.visualLayerCount(), kind == u"stroke" ? 2 : 1);
    QCOMPARE(scene.totalNumberOfDrawings(), kind == u"stroke" ? 4 : 3);
}

void TestScene::keyDrawingAnnouncesTheCell()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XXX"));
    QSignalSpy cells(&scene, &Scene::drawingsChanged);

    QVERIFY(scene.setKeyDrawing(0, 2, true));
    QVERIFY(scene.isKeyDrawing(0, 2));
    QCOMPARE(cells.count(), 1);
    QCOMPARE(cells.first().first().value<Cells>(), (Cells{{2, 0}}));

    QVERIFY(scene.setKeyDrawing(0, 2, true));
    QVERIFY(scene.setKeyDrawing(0, 9, true));
    QCOMPARE(cells.count(), 1);
}

void TestScene::offPegsTopLayerWins()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("XX"));
    addStrokeLayer(scene, QStringLiteral("XX"));
    addLayerOfKind(scene, QStringLiteral("audio"));
    scene.setFrameRange(1, 2, 2, 0); // ordering 0 1 2
    const QTransform low = QTransform::fromTranslate(5, 0);
    const QTransform high = QTransform::fromTranslate(0, 7);
    QSignalSpy cells(&scene, &Scene::drawingsChanged);
    QSignalSpy offPegs(&scene, &Scene::offPegsTransformChanged);

    QVERIFY(scene.setOffPegsTransform(2, 1, low));
    int layer = -2;
    QCOMPARE(scene.offPegsTransform(2, &layer), low);
    QCOMPARE(layer, 1);
    QCOMPARE(offPegs.count(), 1);
    QCOMPARE(offPegs.first().first().value<QTransform>(), low);
    // Every layer's drawing at the frame moves with the paper.
    QCOMPARE(cells.first().first().value<Cells>(), (Cells{{2, 0}, {2, 1}}));

    // The transform in effect keeps its layer.
    QVERIFY(scene.setCurrentDrawingOffPegsTransform(low * 2));
    QCOMPARE(scene.offPegsTransform(2, &layer), low * 2);
    QCOMPARE(layer, 1);

    QVERIFY(scene.setOffPegsTransform(2, 0, high));
    QCOMPARE(scene.offPegsTransform(2, &layer), high);
    QCOMPARE(layer, 0);
    QVERIFY(scene.isOffPegs(2));

    QVERIFY(scene.setOffPegsTransform(1, 0, high));
    QCOMPARE(offPegs.count(), 3);
    QVERIFY(!scene.isOffPegs(3, &layer));
    QCOMPARE(layer, -1);
}

void TestScene::annotationImageNeedsAnAnnotationLayer()
{
    Scene scene;
    addStrokeLayer(scene, QStringLiteral("X"));
    QImage note(8, 8, QImage::Format_Alpha8);
    note.fill(200);
    QVERIFY(!scene.setAnnotationImage(1, note));

    const int annotations = addLayerOfKind(scene, QStringLiteral("annotation"));
    QSignalSpy layers(&scene, &Scene::layersChanged);
    QCOMPARE(scene.annotationLayerIndex(), annotations);
    QVERIFY(!scene.setAnnotationImage(0, note));
    QVERIFY(scene.setAnnotationImage(2, note));
    QCOMPARE(layers.count(), 1);
    QCOMPARE(layers.first(), (QVariantList{annotations, annotations}));
    QVERIFY(!scene.layerImage(2, annotations, QSize(8, 8)).isNull());
}

QTEST_MAIN(TestScene)
#include "tst_scene.moc"
