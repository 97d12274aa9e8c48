// What a user makes comes back as it was: each row is a short session of
// edits through the commands the window pushes, and what the frames show
// right after it must be what they show once the scene is saved and opened
// again (with nothing reported missing), and once every edit is undone and
// done again.

#include "scenefiletesthelpers.h"

#include "drawingcellcommands.h"
#include "drawingcontentcommands.h"
#include "layercommands.h"
#include "scenesettingscommands.h"

#include "export/exportresult.h"
#include "initialize.h"
#include "io/scenefile.h"
#include "scene/klscene.h"
#include "scene/scenemodel.h"
#include "settings/exportframessettings.h"
#include "strokes/floatingselection.h"
#include "tools/toolmanager.h"

#include <QBuffer>
#include <QDir>
#include <QPainterPath>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <functional>

using namespace Model;
using namespace SceneFileTest;

// What the user does, on a scene handle that is the current one.
using Steps = std::function<void(KLScene &)>;
Q_DECLARE_METATYPE(Steps)

namespace {

QModelIndex cell(const KLScene &handle, int frame, int layer)
{
    return handle.sceneModel()->index(frame - 1, layer);
}

// Ink of its own across the whole frame: a band, and the two corners, so
// that a collapse renders the frame from corner to corner.
std::unique_ptr<Stroke> band(QSize frame, int seed)
{
    QImage ink(frame, QImage::Format_Alpha8);
    ink.fill(0);
    for (int y = 0; y < frame.height(); ++y) {
        uchar *line = ink.scanLine(y);
        for (int x = 0; x < frame.width(); ++x) {
            if ((x + 3 * y + 97 * seed) % (29 + seed) < 2)
                line[x] = uchar(60 + 20 * (seed % 10));
        }
    }
    ink.setPixel(0, 0, 255);
    ink.setPixel(frame.width() - 1, frame.height() - 1, 255);
    return std::make_unique<BitmapStroke>(ink, QRect(QPoint(0, 0), frame));
}

// A stroke layer of the scene's frame size whose cells are originals, each
// inked with a band of its own.
void addInkedLayer(Scene &scene, int cells)
{
    const int seed = scene.layerCount();
    auto layer = std::make_shared<StrokeLayer>(QColor::fromHsv(seed * 67 % 360, 200, 160), scene.frameSize(), &scene);
    while (layer->frameCount() < cells)
        layer->insertCell(layer->frameCount(), layer->newCell());
    for (int frame = 1; frame <= cells; ++frame)
        layer->addStroke(frame, band(scene.frameSize(), seed * 5 + frame));
    scene.insertLayer(layer, scene.layerCount());
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
}

// Collapse every layer, then merge them down into one, as the user does
// with the window's actions.
Steps collapseAndMerge(QSize frame, int layers)
{
    return [frame, layers](KLScene &handle) {
        Scene &scene = *handle.scene();
        scene.setFrameSize(frame, KL::FitMode::FitModeIgnore);
        for (int layer = 0; layer < layers; ++layer)
            addInkedLayer(scene, 1);
        QUndoStack *stack = scene.undoStack();
        for (int layer = 0; layer < layers; ++layer)
            stack->push(new Commands::CollapseVectorData(&handle, cell(handle, 1, layer)));
        for (int merged = 1; merged < layers; ++merged)
            stack->push(new Commands::MergeLayerDown(&handle, scene.layerOrdering().constFirst()));
        QCOMPARE(scene.layerCount(), 1);
    };
}

// Lifts what a lasso takes of the active drawing and leaves it floating
// where the user moved it, as the window's lift does: one step that makes
// the piece, cuts it out and picks the floating selection tool.
void liftAndMove(KLScene &handle, const QPainterPath &lasso, QTransform move)
{
    Scene &scene = *handle.scene();
    std::unique_ptr<FloatingSelection> piece = scene.activeDrawingContent(lasso);
    QVERIFY(piece);
    auto *lift = new QUndoCommand(QStringLiteral("New Floating Selection"));
    new Commands::FloatingSelectionNew(&handle, std::move(piece), lift);
    new Commands::CutPath(&handle, cell(handle, scene.activeFrame(), scene.activeLayerIdx()), lasso, lift);
    new Commands::ChangeToolType(&handle, int(Tool::Type::FloatingSelection), lift);
    scene.undoStack()->push(lift);
    FloatingSelection::Transform placement = handle.floatingSelectionTransform();
    placement.third = move;
    scene.undoStack()->push(new Commands::FloatingSelectionTransform(&handle, placement));
}

// Two layers, a piece cut out of frame 2 of the second and moved; then the
// user goes with the piece to activeFrame (3: the row after the layer's
// last drawing).
Steps floatingPiece(int activeFrame)
{
    return [activeFrame](KLScene &handle) {
        Scene &scene = *handle.scene();
        scene.setFrameSize(QSize(320, 240), KL::FitMode::FitModeIgnore);
        addInkedLayer(scene, 1);
        addInkedLayer(scene, 2);
        scene.setActiveFrameAndLayer(2, 1, Scene::ClampToDrawings);
        QPainterPath lasso;
        lasso.addEllipse(QRectF(30, 20, 90, 70));
        // Stamped through the placement's inverse, the piece lands 120
        // pixels right and 90 down, turned, well inside the frame.
        liftAndMove(handle, lasso, QTransform().rotate(-20).translate(-120, -90));
        scene.setActiveFrameAndLayer(activeFrame, 1, Scene::AllowFrameAfterLast);
        QCOMPARE(scene.activeFrame(), activeFrame);
    };
}

// The drawings' records of a document, in the order written.
QStringList drawingRecords(const QByteArray &document)
{
    QStringList records;
    for (int n = 0;; ++n) {
        const QRegularExpressionMatch match = element(document, QStringLiteral("strokes"), n);
        if (!match.hasMatch())
            return records;
        records.append(match.captured(1));
    }
}

// What the frames show, the piece that floats over the paper included:
// put down there as the stamp puts it, for as long as the pictures take.
QList<QImage> seen(KLScene &handle)
{
    Scene &scene = *handle.scene();
    FloatingSelection *selection = handle.floatingSelection();
    if (!selection || ToolManager::instance()->currentToolType() != Tool::Type::FloatingSelection)
        return composites(scene);
    const int frame = scene.activeFrame();
    const int layer = scene.activeLayerIdx();
    std::unique_ptr<QUndoCommand> blank;
    if (frame > scene.layerFrameCount(layer)) {
        blank = std::make_unique<Commands::AddBlankDrawing>(&handle, cell(handle, frame - 1, layer));
        blank->redo();
    }
    Commands::Stroke stamp(&handle, cell(handle, frame, layer), selection->stamp());
    stamp.redo();
    scene.updateMaxFrameNumber();
    const QList<QImage> frames = composites(scene);
    stamp.undo();
    if (blank)
        blank->undo();
    scene.updateMaxFrameNumber();
    return frames;
}

} // namespace

class TestRoundTrips : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void roundTrips_data();
    void roundTrips();
    void floatingPieceIsExported();

private:
    QTemporaryDir m_dir;
};

void TestRoundTrips::initTestCase()
{
    Model::initialize();
    QVERIFY(m_dir.isValid());
}

void TestRoundTrips::cleanup()
{
    KLScene::setCurrent(nullptr);
    ToolManager::instance()->setCurrentTool(Tool::Type::Pen);
}

void TestRoundTrips::roundTrips_data()
{
    QTest::addColumn<Steps>("steps");
    // Collapsing renders at twice the frame's grain, and merging keeps each
    // layer's collapsed strokes: a drawing holds them all.
    QTest::newRow("3 layers collapsed and merged at 3840x2160") << collapseAndMerge(QSize(3840, 2160), 3);
    QTest::newRow("9 layers collapsed and merged at 1920x1080") << collapseAndMerge(QSize(1920, 1080), 9);
    QTest::newRow("a cut piece floats") << floatingPiece(2);
    QTest::newRow("a cut piece floats over another frame") << floatingPiece(1);
    QTest::newRow("a cut piece floats after the last drawing") << floatingPiece(3);
}

void TestRoundTrips::roundTrips()
{
    QFETCH(Steps, steps);
    KLScene handle;
    KLScene::setCurrent(&handle);
    steps(handle);
    if (QTest::currentTestFailed())
        return;
    const QList<QImage> edited = seen(handle);

    const QString path = m_dir.filePath(QStringLiteral("%1.kl").arg(QTest::currentDataTag()));
    QCOMPARE(SceneFile::save(*handle.scene(), path).result, int(SceneFormat::Done));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Scene reopened;
    SceneReader reader(&reopened);
    QCOMPARE(reader.read(&file), int(SceneFormat::Done));
    QCOMPARE(reader.damageReport(), QString());
    QVERIFY(composites(reopened) == edited);
    // Saved again as it was opened, each drawing is written as it was
    // read: nothing was lost on the way that the pictures kept from the file
    // would still hide.
    QBuffer again;
    again.open(QIODevice::WriteOnly | QIODevice::Text);
    QCOMPARE(SceneFile::write(reopened, &again).result, int(SceneFormat::Done));
    QVERIFY(file.seek(0));
    QVERIFY(drawingRecords(again.data()) == drawingRecords(file.readAll()));

    QUndoStack *stack = handle.scene()->undoStack();
    stack->setIndex(0);
    stack->setIndex(stack->count());
    QVERIFY(seen(handle) == edited);
}

// An export while a piece floats shows the piece where the user sees it.
void TestRoundTrips::floatingPieceIsExported()
{
    KLScene handle;
    KLScene::setCurrent(&handle);
    floatingPiece(2)(handle);
    const QList<QImage> edited = seen(handle);

    ExportFramesSettings settings;
    settings.name = QStringLiteral("walk");
    settings.exportDir = m_dir.filePath(QStringLiteral("frames"));
    settings.clones = ExportFramesSettings::IncludeClonesSimpleSequence;
    settings.combineLayers = true;
    settings.includeAlpha = false;
    QCOMPARE(handle.scene()->exportFrames(settings, nullptr).status, ExportResult::Finished);
    const QStringList files = QDir(settings.exportDir).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), edited.size());
    for (int frame = 0; frame < files.size(); ++frame) {
        const QImage exported(QDir(settings.exportDir).filePath(files.at(frame)));
        QCOMPARE(exported.convertToFormat(QImage::Format_RGB32),
                 edited.at(frame).convertToFormat(QImage::Format_RGB32));
    }
}

QTEST_MAIN(TestRoundTrips)
#include "tst_roundtrips.moc"
