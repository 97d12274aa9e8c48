#include "scene/scene.h"

#include "celltesthelpers.h"
#include "drawings/imagedrawing.h"
#include "render/alphacomposition.h"
#include "scenetesthelpers.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace Model;
using namespace CellTest;
using Cells = QList<std::pair<int, int>>;

namespace {

// One request to replace what a cell shows. keyLayer and keyFrame name the
// original of makeClone.
struct Request
{
    QString operation;
    int layer = 0;
    int frame = 1;
    int keyLayer = 0;
    int keyFrame = 1;
};

QList<SceneChange> run(Scene &scene, const Request &request, bool quiet = false)
{
    const QString &op = request.operation;
    if (op == u"setDrawing" || op == u"setDrawing detached")
        return scene.setDrawing(request.layer, request.frame, inkedDrawing(u'z'), op != u"setDrawing", quiet);
    if (op == u"setDrawing null")
        return scene.setDrawing(request.layer, request.frame, nullptr, false, quiet);
    if (op == u"setDrawing picture")
        return scene.setDrawing(request.layer, request.frame, std::make_shared<ImageDrawing>(QImage(4, 4, QImage::Format_RGB32)),
                                false, quiet);
    if (op == u"makeClone")
        return scene.makeClone(request.layer, request.frame, keyOf(scene, request.keyLayer, request.keyFrame), quiet);
    if (op == u"makeClone unknown")
        return scene.makeClone(request.layer, request.frame, {QUuid::createUuid(), QUuid::createUuid()}, quiet);
    if (op == u"makeHold")
        return scene.makeHold(request.layer, request.frame, quiet);
    if (op == u"makeOriginal")
        return scene.makeOriginal(request.layer, request.frame, QUuid());
    return {};
}

} // namespace

Q_DECLARE_METATYPE(Request)

// Replacing what one cell shows (a drawing of its own, a distant clone, a
// hold, a copy of its own), the cells that are announced, and the record that
// puts the cell back.
class TestSceneReplace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void replaceContent_data();
    void replaceContent();
    void refusedRequestsChangeNothing_data();
    void refusedRequestsChangeNothing();
    void quietRequestsAnnounceNothing_data();
    void quietRequestsAnnounceNothing();
    void makeOriginalGivesTheHoldsItsCopy_data();
    void makeOriginalGivesTheHoldsItsCopy();
};

void TestSceneReplace::initTestCase()
{
    initAlphaCompositionTables();
}

void TestSceneReplace::init()
{
    QSettings().clear();
}

// Cells read as kind (Original, Clone, Distant clone) and ink letters; the
// originals are inked a, b, c... in layer and frame order, and setDrawing
// puts in a drawing of ink z.
void TestSceneReplace::replaceContent_data()
{
    QTest::addColumn<QStringList>("layers");
    QTest::addColumn<QString>("links");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("announced");
    QTest::addColumn<bool>("recorded");

    const QString set = QStringLiteral("setDrawing");
    QTest::newRow("new drawing for an original with holds")
        << QStringList{"X--X"} << "" << Request{set, 0, 1} << "Oz Cz Cz Ob" << "1.0 2.0 3.0" << true;
    QTest::newRow("new drawing for a hold starts a new hold")
        << QStringList{"X---"} << "" << Request{set, 0, 3} << "Oa Ca Oz Cz" << "2.0 3.0 4.0" << true;
    QTest::newRow("new drawing shows in the distant clones and their holds")
        << QStringList{"X-", "X-X"} << "1.1>0.1,1.3>0.1" << Request{set, 0, 1} << "Oz Cz | Dz Cz Dz"
        << "1.0 1.1 2.0 2.1 3.1" << true;
    QTest::newRow("detached distant clones keep the old drawing")
        << QStringList{"X-", "X-X"} << "1.1>0.1,1.3>0.1" << Request{"setDrawing detached", 0, 1}
        << "Oz Cz | Oa Ca Da" << "1.0 1.1 2.0" << true;
    QTest::newRow("new drawing for a distant clone")
        << QStringList{"X-", "X-"} << "1.1>0.1" << Request{set, 1, 1} << "Oa Ca | Oz Cz" << "1.0 1.1 2.1" << true;

    QTest::newRow("distant clone of an original")
        << QStringList{"X", "X-X"} << "" << Request{"makeClone", 1, 3, 0, 1} << "Oa | Ob Cb Da" << "1.0 3.1" << true;
    QTest::newRow("distant clone of a hold, with its own holds")
        << QStringList{"X", "X--"} << "" << Request{"makeClone", 1, 2, 0, 1} << "Oa | Ob Da Ca" << "1.0 2.1 3.1"
        << true;
    QTest::newRow("distant clone of an original with distant clones")
        << QStringList{"X", "XX"} << "1.2>1.1" << Request{"makeClone", 1, 1, 0, 1} << "Oa | Da Ob" << "1.0 1.1 2.1"
        << true;
    QTest::newRow("distant clone of another original")
        << QStringList{"X", "X", "X"} << "2.1>0.1" << Request{"makeClone", 2, 1, 1, 1} << "Oa | Ob | Db"
        << "1.0 1.1 1.2" << true;

    QTest::newRow("hold instead of an original")
        << QStringList{"XX-X"} << "" << Request{"makeHold", 0, 2} << "Oa Ca Ca Oc" << "1.0 2.0 3.0" << true;
    QTest::newRow("hold instead of a distant clone")
        << QStringList{"X", "XX"} << "1.2>0.1" << Request{"makeHold", 1, 2} << "Oa | Ob Cb" << "1.0 1.1 2.1" << true;
    QTest::newRow("hold instead of an original with distant clones")
        << QStringList{"X", "XX"} << "0.1>1.2" << Request{"makeHold", 1, 2} << "Ob | Oa Ca" << "1.0 1.1 2.1" << true;
    QTest::newRow("hold that already is one")
        << QStringList{"X--"} << "" << Request{"makeHold", 0, 2} << "Oa Ca Ca" << "2.0 3.0" << false;

    QTest::newRow("original instead of a hold")
        << QStringList{"X--"} << "" << Request{"makeOriginal", 0, 2} << "Oa Oa Ca" << "2.0 3.0" << true;
    QTest::newRow("original instead of a hold after a hold")
        << QStringList{"X--"} << "" << Request{"makeOriginal", 0, 3} << "Oa Ca Oa" << "2.0 3.0" << true;
    QTest::newRow("original instead of a distant clone")
        << QStringList{"X", "X-"} << "1.1>0.1" << Request{"makeOriginal", 1, 1} << "Oa | Oa Ca" << "1.0 1.1 2.1"
        << true;
    QTest::newRow("original that already is one")
        << QStringList{"X-"} << "" << Request{"makeOriginal", 0, 1} << "Oa Ca" << "" << false;
}

void TestSceneReplace::replaceContent()
{
    QFETCH(QStringList, layers);
    QFETCH(QString, links);
    QFETCH(Request, request);
    QFETCH(QString, after);
    QFETCH(QString, announced);
    QFETCH(bool, recorded);

    Scene scene;
    buildScene(scene, layers, links);
    // The cell's own placement and key mark are no part of its content.
    const QTransform placement = QTransform::fromTranslate(3, -2);
    QVERIFY(scene.setOffPegsTransform(request.frame, request.layer, placement));
    QVERIFY(scene.setKeyDrawing(request.layer, request.frame, true));
    const QString before = describe(scene);
    QCOMPARE(linkFault(scene), QString());

    QSignalSpy cells(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);
    QSignalSpy kinds(&scene, &Scene::currentDrawingTypeUpdated);
    const QList<SceneChange> changes = run(scene, request);

    QCOMPARE(describe(scene), after);
    QCOMPARE(linkFault(scene), QString());
    QCOMPARE(cells.count(), 1);
    QCOMPARE(cellsText(cells.first().at(0).value<Cells>()), announced);
    QCOMPARE(rects.count(), 1);
    QCOMPARE(rects.first().at(0).toRect(), scene.frameRect());
    QCOMPARE(kinds.count(), 1);
    QCOMPARE(scene.offPegsTransform(request.frame), placement);
    QVERIFY(scene.isKeyDrawing(request.layer, request.frame));

    QCOMPARE(changes.size(), recorded ? 1 : 0);
    if (!recorded)
        return;
    QCOMPARE(changes.first().kind(), LayerChange::PutItemBack);
    QCOMPARE(changes.first().index(), request.frame);
    QCOMPARE(changes.first().layer(), request.layer);

    scene.applyChanges(changes);
    QCOMPARE(describe(scene), before);
    QCOMPARE(linkFault(scene), QString());
    QCOMPARE(scene.offPegsTransform(request.frame), placement);
    QVERIFY(scene.isKeyDrawing(request.layer, request.frame));
}

void TestSceneReplace::refusedRequestsChangeNothing_data()
{
    QTest::addColumn<Request>("request");

    QTest::newRow("setDrawing, no such layer") << Request{"setDrawing", 5, 1};
    QTest::newRow("setDrawing, audio layer") << Request{"setDrawing", 2, 1};
    QTest::newRow("setDrawing, frame 0") << Request{"setDrawing", 0, 0};
    QTest::newRow("setDrawing, after the last cell") << Request{"setDrawing", 0, 4};
    QTest::newRow("setDrawing, no drawing") << Request{"setDrawing null", 0, 1};
    QTest::newRow("setDrawing, a picture on a stroke layer") << Request{"setDrawing picture", 0, 1};
    QTest::newRow("makeClone of itself") << Request{"makeClone", 0, 1, 0, 1};
    QTest::newRow("makeClone across layer types") << Request{"makeClone", 0, 3, 1, 1};
    QTest::newRow("makeClone of a hold") << Request{"makeClone", 0, 3, 0, 2};
    QTest::newRow("makeClone of an unknown drawing") << Request{"makeClone unknown", 0, 3};
    QTest::newRow("makeClone onto an audio layer") << Request{"makeClone", 2, 1, 0, 1};
    QTest::newRow("makeHold of frame 1") << Request{"makeHold", 0, 1};
    QTest::newRow("makeHold after the last cell") << Request{"makeHold", 0, 4};
    QTest::newRow("makeOriginal, no such layer") << Request{"makeOriginal", -1, 1};
    QTest::newRow("makeOriginal, frame 0") << Request{"makeOriginal", 0, 0};
}

void TestSceneReplace::refusedRequestsChangeNothing()
{
    QFETCH(Request, request);

    Scene scene;
    buildScene(scene, {"X-X"});
    scene.insertLayer(SceneTest::referenceLayer(scene, QStringLiteral("X")), 1);
    scene.insertLayer(std::make_shared<AudioLayer>(&scene), 2);
    const QString before = describe(scene);
    QSignalSpy cells(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);
    QSignalSpy kinds(&scene, &Scene::currentDrawingTypeUpdated);
    QSignalSpy layers(&scene, &Scene::layersChanged);

    QVERIFY(run(scene, request).isEmpty());
    QCOMPARE(describe(scene), before);
    QCOMPARE(cells.count() + rects.count() + kinds.count() + layers.count(), 0);
}

void TestSceneReplace::quietRequestsAnnounceNothing_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<bool>("blockedBefore");

    for (const bool blocked : {false, true}) {
        const char *state = blocked ? "signals blocked before" : "signals open before";
        QTest::addRow("setDrawing, %s", state) << Request{"setDrawing", 0, 2} << blocked;
        QTest::addRow("makeClone, %s", state) << Request{"makeClone", 0, 2, 0, 3} << blocked;
        QTest::addRow("makeHold, %s", state) << Request{"makeHold", 0, 3} << blocked;
    }
}

// A caller replacing several cells passes quiet for all but the last, whose
// announcement then covers the whole batch.
void TestSceneReplace::quietRequestsAnnounceNothing()
{
    QFETCH(Request, request);
    QFETCH(bool, blockedBefore);

    Scene scene;
    buildScene(scene, {"XXX"});
    QSignalSpy cells(&scene, &Scene::drawingsChanged);
    QSignalSpy rects(&scene, &Scene::rectChanged);
    QSignalSpy kinds(&scene, &Scene::currentDrawingTypeUpdated);
    scene.blockSignals(blockedBefore);

    const QString before = describe(scene);
    QCOMPARE(run(scene, request, true).size(), 1);
    QVERIFY(describe(scene) != before);
    QCOMPARE(scene.signalsBlocked(), blockedBefore);
    scene.blockSignals(false);
    QCOMPARE(cells.count() + rects.count() + kinds.count(), 0);
}

void TestSceneReplace::makeOriginalGivesTheHoldsItsCopy_data()
{
    QTest::addColumn<bool>("withCopyId");

    QTest::newRow("an unedited pasted copy") << true;
    QTest::newRow("a drawing of its own") << false;
}

void TestSceneReplace::makeOriginalGivesTheHoldsItsCopy()
{
    QFETCH(bool, withCopyId);

    Scene scene;
    buildScene(scene, {"X---"});
    const std::shared_ptr<Drawing> shared = scene.itemAt(0, 1)->drawing();
    shared->createCopyId();
    const QUuid copyId = withCopyId ? QUuid::createUuid() : QUuid();

    QCOMPARE(scene.makeOriginal(0, 3, copyId).size(), 1);
    const std::shared_ptr<Drawing> own = scene.itemAt(0, 3)->drawing();
    QVERIFY(own != shared);
    QCOMPARE(own->copyId(), copyId);
    QCOMPARE(scene.itemAt(0, 2)->drawing(), shared);
    QCOMPARE(scene.itemAt(0, 4)->drawing(), own);
    QCOMPARE(inkOf(own.get()), QStringLiteral("a"));
    // The copy is the cell's alone: editing it leaves the original as it was.
    QVERIFY(qobject_cast<StrokeLayer *>(scene.layerAt(0).get())->addStroke(4, inkStroke(u'y')));
    QCOMPARE(describe(scene), QStringLiteral("Oa Ca Oay Cay"));
}

QTEST_MAIN(TestSceneReplace)

#include "tst_scenereplace.moc"
