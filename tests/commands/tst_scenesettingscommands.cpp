#include "commandtesthelpers.h"
#include "systemmemory.h"

#include "drawings/drawingimagecache.h"
#include "drawings/strokedrawing.h"
#include "initialize.h"
#include "scene/scenetesthelpers.h"

#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace CommandTest;

namespace {

// Two stroke layers with ink, holds, a distant clone, a drawing that carries
// a copy id and a frame off its pegs, and a picture layer.
std::unique_ptr<Model::KLScene> inkedScene()
{
    auto handle = makeScene({QStringLiteral("X-XX"), QStringLiteral("XX-X")}, QStringLiteral("1.2>0.1"));
    Model::Scene *scene = handle->scene();
    scene->insertLayer(SceneTest::referenceLayer(*scene, QStringLiteral("XX")), 2);
    scene->itemAt(0, 3)->drawing()->setCopyId(QUuid::createUuid());
    scene->itemAt(1, 1)->setOffPegsTransform(QTransform::fromTranslate(5, -3));
    scene->setFrameRate(12.0);
    return handle;
}

// Every original stroke drawing's picture, layer by layer and frame by frame.
QList<QImage> pictures(const Model::Scene &scene)
{
    QList<QImage> images;
    for (int layer = 0; layer < scene.layerCount(); ++layer) {
        for (int frame = 1; scene.isDrawLayer(layer) && frame <= scene.layerFrameCount(layer); ++frame) {
            if (const auto *strokes = dynamic_cast<const Model::StrokeDrawing *>(scene.itemAt(layer, frame)->drawing().get()))
                images.append(strokes->image());
        }
    }
    return images;
}

} // namespace

// The frame size, resized with each fit mode and given back exactly, and
// refused when it would not fit in memory; the settings dialog's command
// built of it and the frame rate; the tool a tool change goes back to.
class TestSceneSettingsCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void frameSizeUndoesPixelForPixel_data();
    void frameSizeUndoesPixelForPixel();
    void frameSizeBeyondMemoryIsRefused_data();
    void frameSizeBeyondMemoryIsRefused();
    void frameSizeWithinMemoryIsChanged_data();
    void frameSizeWithinMemoryIsChanged();
    void sceneSettingsChangeWhatChanged();
    void toolChangeGoesBackToTheLastDrawingTool();
};

void TestSceneSettingsCommands::initTestCase()
{
    Model::initialize();
}

void TestSceneSettingsCommands::init()
{
    resetPreferences();
}

void TestSceneSettingsCommands::cleanup()
{
    Model::assumePhysicalMemoryBytes(0);
}

void TestSceneSettingsCommands::frameSizeUndoesPixelForPixel_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("size");
    QTest::newRow("stretch") << int(KL::FitMode::FitModeStretch) << QSize(100, 30);
    QTest::newRow("keep aspect, narrower") << int(KL::FitMode::FitModeKeepAspect) << QSize(41, 70);
    QTest::newRow("keep aspect, wider") << int(KL::FitMode::FitModeKeepAspect) << QSize(107, 50);
    QTest::newRow("keep aspect by expanding") << int(KL::FitMode::FitModeKeepAspectByExpanding) << QSize(100, 30);
    QTest::newRow("keep aspect by expanding, taller") << int(KL::FitMode::FitModeKeepAspectByExpanding)
                                                      << QSize(33, 70);
    QTest::newRow("crop centre") << int(KL::FitMode::FitModeCropCenter) << QSize(37, 61);
    QTest::newRow("ignore") << int(KL::FitMode::FitModeIgnore) << QSize(37, 61);
}

// Undo gives every drawing back pixel for pixel, with its strokes, copy id
// and placement; redo gives the very result of the first resize again; the
// progress object sees the work through to its end.
void TestSceneSettingsCommands::frameSizeUndoesPixelForPixel()
{
    QFETCH(int, mode);
    QFETCH(QSize, size);
    auto handle = inkedScene();
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const QByteArray before = record(*handle);
    const QList<QImage> picturesBefore = pictures(*scene);
    Progress progress;

    stack->push(new Commands::ChangeFrameSize(handle.get(), size, KL::FitMode(mode), &progress));
    QCOMPARE(stack->count(), 1);
    QCOMPARE(scene->frameSize(), size);
    QCOMPARE(progress.property("labelText").toString(), QStringLiteral("Resizing all frames..."));
    QCOMPARE(progress.property("maximum").toInt(), scene->totalNumberOfDrawings() + 1);
    QCOMPARE(progress.highestValue(), scene->totalNumberOfDrawings() + 1);
    for (const QImage &picture : pictures(*scene))
        QCOMPARE(picture.size(), size);
    QCOMPARE(CellTest::linkFault(*scene), QString());
    const QByteArray done = record(*handle);

    for (int round = 0; round < 2; ++round) {
        stack->undo();
        QCOMPARE(pictures(*scene), picturesBefore);
        QCOMPARE(record(*handle), before);
        stack->redo();
        QCOMPARE(record(*handle), done);
    }
}

void TestSceneSettingsCommands::frameSizeBeyondMemoryIsRefused_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("drawings");
    QTest::addColumn<qint64>("memory");
    // The frame's own pictures alone, on this machine.
    QTest::newRow("pictures beyond memory") << QSize(1 << 20, 1 << 20) << 0 << qint64(0);
    // On a machine of 64 MiB: the pictures of a frame of 2048 x 2048 and a
    // drawing being fitted into it, and the images the drawings keep.
    QTest::newRow("drawings beyond memory") << QSize(2048, 2048) << 40 << qint64(64) * 1024 * 1024;
}

// Refused before anything is resized, with a message, the whole of the
// settings dialog's answer with it.
void TestSceneSettingsCommands::frameSizeBeyondMemoryIsRefused()
{
    QFETCH(QSize, size);
    QFETCH(int, drawings);
    QFETCH(qint64, memory);
    Model::assumePhysicalMemoryBytes(memory);
    auto handle = inkedScene();
    Model::Scene *scene = handle->scene();
    auto layer = SceneTest::strokeLayer(*scene, QString(drawings, u'X'));
    for (int frame = 1; frame <= drawings; ++frame)
        layer->addStroke(frame, CellTest::inkStroke(u'a'));
    scene->insertLayer(layer, scene->layerCount());
    const QByteArray before = record(*handle);

    auto *resize = new Commands::ChangeFrameSize(handle.get(), size, KL::FitMode::FitModeStretch);
    QVERIFY(resize->isObsolete());
    QVERIFY2(resize->errorString().contains(QStringLiteral("more memory than this computer has")),
             qPrintable(resize->errorString()));
    scene->undoStack()->push(resize);
    auto *settings = new Commands::ChangeSceneSettings(handle.get(), size, KL::FitMode::FitModeStretch, 24.0);
    QVERIFY(!settings->errorString().isEmpty());
    scene->undoStack()->push(settings);

    QCOMPARE(scene->undoStack()->count(), 0);
    QCOMPARE(scene->frameRate(), 12.0);
    QCOMPARE(record(*handle), before);
}

// A long film whose drawings keep run-length code, and only the images of a
// bounded cache decoded, is resized on a machine that could never hold a
// decoded frame for every drawing; undo gives it back.
void TestSceneSettingsCommands::frameSizeWithinMemoryIsChanged_data()
{
    QTest::addColumn<int>("drawings");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("memory");
    const qint64 mebibyte = 1024 * 1024;
    // A decoded frame for each would take 300 MiB.
    QTest::newRow("a thousand drawings stretched on 128 MiB")
        << 1000 << QSize(640, 480) << int(KL::FitMode::FitModeStretch) << 128 * mebibyte;
    QTest::newRow("a thousand drawings fitted on 128 MiB")
        << 1000 << QSize(720, 480) << int(KL::FitMode::FitModeKeepAspect) << 128 * mebibyte;
    // Two thousand frames of 512 x 384 would take 384 MiB.
    QTest::newRow("two thousand drawings cropped on 96 MiB")
        << 2000 << QSize(512, 384) << int(KL::FitMode::FitModeCropCenter) << 96 * mebibyte;
}

void TestSceneSettingsCommands::frameSizeWithinMemoryIsChanged()
{
    QFETCH(int, drawings);
    QFETCH(QSize, size);
    QFETCH(int, mode);
    QFETCH(qint64, memory);
    auto handle = inkedScene();
    Model::Scene *scene = handle->scene();
    auto layer = SceneTest::strokeLayer(*scene, QString(drawings, u'X'));
    for (int frame = 1; frame <= drawings; ++frame)
        layer->addStroke(frame, CellTest::inkStroke(QChar(u'a' + frame % 26)));
    scene->insertLayer(layer, scene->layerCount());
    const QByteArray before = record(*handle);
    // A cache of a laptop's size next to the machine's memory.
    Model::DrawingImageCache *cache = Model::DrawingImageCache::instance();
    const qint64 capacity = cache->capacity();
    cache->setCapacity(memory / 4);
    Model::assumePhysicalMemoryBytes(memory);

    auto *resize = new Commands::ChangeFrameSize(handle.get(), size, KL::FitMode(mode));
    const QString refusal = resize->errorString();
    scene->undoStack()->push(resize);
    cache->setCapacity(capacity);
    QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
    QCOMPARE(scene->undoStack()->count(), 1);
    QCOMPARE(scene->frameSize(), size);
    const auto *last = dynamic_cast<const Model::StrokeDrawing *>(scene->itemAt(3, drawings)->drawing().get());
    QVERIFY(last);
    QCOMPARE(last->image().size(), size);
    scene->undoStack()->undo();
    QCOMPARE(record(*handle), before);
}

// Each child skips itself when it changes nothing: the rate alone, the size
// alone, both, and undo of both in reverse order.
void TestSceneSettingsCommands::sceneSettingsChangeWhatChanged()
{
    auto handle = inkedScene();
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const QSize size = scene->frameSize();
    const QByteArray before = record(*handle);
    const auto settings = [&](QSize to, double rate) {
        stack->push(new Commands::ChangeSceneSettings(handle.get(), to, KL::FitMode::FitModeKeepAspect, rate));
    };

    settings(size, 24.0);
    QCOMPARE(scene->frameRate(), 24.0);
    QCOMPARE(scene->frameSize(), size);
    settings(QSize(80, 60), 24.0);
    QCOMPARE(scene->frameSize(), QSize(80, 60));
    settings(QSize(40, 40), 6.0);
    QCOMPARE(stack->count(), 3);
    QCOMPARE(stack->command(2)->text(), QStringLiteral("Change scene settings"));
    stack->undo();
    QCOMPARE(scene->frameRate(), 24.0);
    QCOMPARE(scene->frameSize(), QSize(80, 60));
    stack->undo();
    stack->undo();
    QCOMPARE(record(*handle), before);
}

// Undo of a tool change returns to the last pen, eraser or floating
// selection, whatever tool stood in between.
void TestSceneSettingsCommands::toolChangeGoesBackToTheLastDrawingTool()
{
    auto handle = inkedScene();
    Model::ToolManager *tools = Model::ToolManager::instance();
    tools->setCurrentTool(Model::Tool::Type::Eraser);
    tools->setCurrentTool(Model::Tool::Type::Lasso);
    QUndoStack *stack = handle->scene()->undoStack();

    stack->push(new Commands::ChangeToolType(handle.get(), int(Model::Tool::Type::Hand)));
    QCOMPARE(tools->currentToolType(), Model::Tool::Type::Hand);
    stack->undo();
    QCOMPARE(tools->currentToolType(), Model::Tool::Type::Eraser);
    stack->redo();
    QCOMPARE(tools->currentToolType(), Model::Tool::Type::Hand);
}

QTEST_MAIN(TestSceneSettingsCommands)
#include "tst_scenesettingscommands.moc"
