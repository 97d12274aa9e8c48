#include "scene/klscene.h"

#include "render/alphacomposition.h"
#include "scene/framerangemodel.h"
#include "scene/scene.h"
#include "scene/scenecommand.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "support/cellpattern.h"

#include <QItemSelectionModel>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace Model;
using CellPattern::build;

namespace {

// Counts its runs and tells when it is gone.
class CountingCommand : public SceneCommand
{
public:
    CountingCommand(int *redone, bool *deleted)
        : m_redone(redone)
        , m_deleted(deleted)
    {
    }
    ~CountingCommand() override { *m_deleted = true; }
    void undo() override {}

private:
    void perform() override { ++*m_redone; }

    int *m_redone;
    bool *m_deleted;
};

std::unique_ptr<FloatingSelection> floating()
{
    return std::make_unique<FloatingSelection>(nullptr, QImage(), 1.0);
}

} // namespace

class TestKLScene : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void handleOwnsItsSceneAndModels();
    void commandsGoToTheCurrentScene();
    void commandWithoutCurrentSceneIsDropped();
    void deletedHandleIsNoLongerCurrent();

    void currentCellFollowsTheActiveFrame();
    void positionsAreSceneModelRows();

    void floatingSelectionIsSwapped();
    void floatingSelectionTransform_data();
    void floatingSelectionTransform();
    void registeredConnectionsAreCut();
};

void TestKLScene::initTestCase()
{
    initAlphaCompositionTables();
}

void TestKLScene::init()
{
    QSettings().clear();
    Settings::instance()->load();
}

void TestKLScene::cleanup()
{
    KLScene::setCurrent(nullptr);
}

void TestKLScene::handleOwnsItsSceneAndModels()
{
    auto handle = std::make_unique<KLScene>();
    QPointer<Scene> scene = handle->scene();
    QPointer<QItemSelectionModel> selection = handle->selectionModel();
    QVERIFY(scene);
    QCOMPARE(handle->sceneModel()->scene(), handle->scene());
    QCOMPARE(handle->frameRangeModel()->sourceModel(), handle->sceneModel());
    QCOMPARE(selection->model(), handle->frameRangeModel());
    QVERIFY(!handle->floatingSelection());
    QVERIFY(!handle->hasSelection());

    handle.reset();
    QVERIFY(!scene);
    QVERIFY(!selection);
}

void TestKLScene::commandsGoToTheCurrentScene()
{
    KLScene first;
    KLScene second;
    int redone = 0;
    bool deleted = false;

    KLScene::setCurrent(&first);
    QCOMPARE(KLScene::current(), &first);
    KLScene::pushCommand(new CountingCommand(&redone, &deleted));
    QCOMPARE(redone, 1);
    QCOMPARE(first.scene()->undoStack()->count(), 1);

    KLScene::setCurrent(&second);
    KLScene::pushCommand(new CountingCommand(&redone, &deleted));
    QCOMPARE(redone, 2);
    QCOMPARE(first.scene()->undoStack()->count(), 1);
    QCOMPARE(second.scene()->undoStack()->count(), 1);
    QVERIFY(!deleted);
}

void TestKLScene::commandWithoutCurrentSceneIsDropped()
{
    KLScene handle;
    int redone = 0;
    bool deleted = false;

    QVERIFY(!KLScene::current());
    QTest::ignoreMessage(QtDebugMsg, "Trying to push command with no current scene");
    KLScene::pushCommand(new CountingCommand(&redone, &deleted));

    QCOMPARE(redone, 0);
    QVERIFY(deleted);
    QCOMPARE(handle.scene()->undoStack()->count(), 0);
}

void TestKLScene::deletedHandleIsNoLongerCurrent()
{
    auto handle = std::make_unique<KLScene>();
    KLScene::setCurrent(handle.get());
    handle.reset();
    QVERIFY(!KLScene::current());
}

void TestKLScene::currentCellFollowsTheActiveFrame()
{
    KLScene handle;
    build(*handle.scene(), {QStringLiteral("ABCDEF"), QStringLiteral("GHIJ")});
    QItemSelectionModel *selection = handle.selectionModel();
    FrameRangeModel *proxy = handle.frameRangeModel();
    QCOMPARE(selection->currentIndex(), proxy->index(0, 0));

    // Moving to another cell drops what was selected around the old one.
    selection->select(proxy->index(1, 0), QItemSelectionModel::Select);
    QVERIFY(handle.hasSelection());

    QVERIFY(handle.scene()->setActiveFrameAndLayer(3, 1, Scene::ClampToDrawings));
    QCOMPARE(selection->currentIndex(), proxy->index(2, 1));
    QVERIFY(!handle.hasSelection());
    QVERIFY(!selection->isSelected(proxy->index(2, 1)));

    handle.clearSelection();
    QVERIFY(!handle.hasSelection());
}

void TestKLScene::positionsAreSceneModelRows()
{
    KLScene handle;
    Scene *scene = handle.scene();
    build(*scene, {QStringLiteral("ABCDEFGHIJKL")});
    QVERIFY(scene->setFrameRange(5, 10, 7, 0));
    QCOMPARE(scene->activeFrame(), 7);

    QCOMPARE(handle.selectionModel()->currentIndex().row(), 2);
    QCOMPARE(handle.currentIndex(), handle.sceneModel()->index(6, 0));

    handle.selectionModel()->select(handle.frameRangeModel()->index(3, 0), QItemSelectionModel::Select);
    const QItemSelection selected = handle.selection();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().topLeft(), handle.sceneModel()->index(7, 0));
}

void TestKLScene::floatingSelectionIsSwapped()
{
    KLScene handle;
    QSignalSpy changed(&handle, &KLScene::floatingSelectionChanged);

    auto first = floating();
    FloatingSelection *firstPointer = first.get();
    QVERIFY(!handle.setFloatingSelection(std::move(first)));
    QCOMPARE(handle.floatingSelection(), firstPointer);
    QCOMPARE(changed.count(), 1);

    std::unique_ptr<FloatingSelection> previous = handle.setFloatingSelection(nullptr);
    QCOMPARE(previous.get(), firstPointer);
    QVERIFY(!handle.floatingSelection());
    QCOMPARE(changed.count(), 2);
}

void TestKLScene::floatingSelectionTransform_data()
{
    QTest::addColumn<bool>("floats");
    QTest::addColumn<int>("announced");

    QTest::newRow("nothing floats") << false << 0;
    QTest::newRow("a selection floats") << true << 1;
}

void TestKLScene::floatingSelectionTransform()
{
    QFETCH(bool, floats);
    QFETCH(int, announced);

    KLScene handle;
    if (floats)
        handle.setFloatingSelection(floating());
    QSignalSpy changed(&handle, &KLScene::floatingSelectionTransformChanged);
    QCOMPARE(handle.floatingSelectionTransform(), FloatingSelection::Transform());

    FloatingSelection::Transform moved;
    moved.first = QTransform::fromTranslate(12, -4);
    moved.third = QTransform::fromScale(2, 2);
    moved.center = QPointF(30, 20);
    handle.setFloatingSelectionTransform(moved);

    QCOMPARE(changed.count(), announced);
    if (floats) {
        QCOMPARE(handle.floatingSelectionTransform(), moved);
        QCOMPARE(changed.at(0).at(0).value<FloatingSelection::Transform>(), moved);
    } else {
        QCOMPARE(handle.floatingSelectionTransform(), FloatingSelection::Transform());
    }
}

void TestKLScene::registeredConnectionsAreCut()
{
    KLScene handle;
    int heard = 0;
    handle.addConnection(connect(handle.scene(), &Scene::layersChanged, this, [&heard] { ++heard; }));
    build(*handle.scene(), {QStringLiteral("AB")});
    QVERIFY(handle.scene()->setLayerName(0, QStringLiteral("Ink")));
    const int before = heard;
    QVERIFY(before > 0);

    handle.disconnectAll();
    QVERIFY(handle.scene()->setLayerName(0, QStringLiteral("Rough")));
    QCOMPARE(heard, before);
}

QTEST_MAIN(TestKLScene)

#include "tst_klscene.moc"
