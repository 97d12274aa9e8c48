#include "commandtesthelpers.h"

#include "initialize.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "scene/scenetesthelpers.h"
#include "support/testsupport.h"

#include <QTest>
#include <QUndoStack>

#include <memory>

using namespace CommandTest;

namespace {

// Three stroke layers with ink, a picture layer, notes and a second of
// sound 3 frames in; 12 frames a second; the pen is the current tool.
std::unique_ptr<Model::KLScene> sceneWithEveryKind()
{
    auto handle = makeScene({QStringLiteral("X-X-X-"), QStringLiteral("XXX"), QStringLiteral("X-----")});
    Model::Scene *scene = handle->scene();
    scene->insertLayer(SceneTest::referenceLayer(*scene, QStringLiteral("XX")), 3);
    scene->insertLayer(std::make_shared<Model::AnnotationLayer>(scene), 4);
    auto sound = std::make_shared<Model::AudioLayer>(scene);
    sound->loadAudioFile(ImportFiles::instance().path(QStringLiteral("tone.wav")));
    scene->insertLayer(sound, 5);
    scene->setFrameRate(12.0);
    scene->setAudioOffset(3.0);
    scene->setFrameRange(1, scene->maximumFrameNumber(), 1, 0);
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::Pen);
    return handle;
}

QList<std::shared_ptr<Model::Layer>> layersOf(const Model::Scene &scene)
{
    QList<std::shared_ptr<Model::Layer>> layers;
    for (int i = 0; i < scene.layerCount(); ++i)
        layers.append(scene.layerAt(i));
    return layers;
}

// One step of a run, as the sheet, the pop-ups and the navigation build
// them: "opacity L V", "offset V", "rate V", "range F L A" (A the active
// frame asked for), "cell F L R" (R the remembered frame), "tool T".
QUndoCommand *step(Model::KLScene &handle, const QString &text)
{
    Model::Scene *scene = handle.scene();
    const QStringList words = text.split(u' ');
    const auto number = [&words](int i) { return words.value(i).toDouble(); };
    const QString &what = words.first();
    if (what == u"opacity")
        return new Commands::ChangeLayerOpacity(scene, int(number(1)), scene->layerOpacity(int(number(1))), number(2));
    if (what == u"offset")
        return new Commands::SetAudioOffset(scene, number(1));
    if (what == u"rate")
        return new Commands::SetFrameRate(&handle, number(1));
    if (what == u"range")
        return new Commands::SetFrameRange(scene, int(number(1)), int(number(2)), int(number(3)),
                                           scene->activeLayerIdx());
    if (what == u"cell")
        return new Commands::SetActiveFrameAndLayer(scene, int(number(1)), int(number(2)), int(number(3)), 0);
    if (what == u"tool")
        return new Commands::ChangeToolType(&handle, int(number(1)));
    return nullptr;
}

} // namespace

// The layer commands where layers come and go: the very same layer objects
// come back at their places, merges happen once, orderings stay whole; and
// the value commands of layers and of the view: what merges into one history
// entry and what never reaches the history.
class TestLayerCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void discardingTheOnlyLayerKeepsItForUndo_data();
    void discardingTheOnlyLayerKeepsItForUndo();
    void discardingTheActiveLayer_data();
    void discardingTheActiveLayer();
    void mergeDownHappensOnce_data();
    void mergeDownHappensOnce();
    void moveLayerKeepsAPermutation_data();
    void moveLayerKeepsAPermutation();
    void runsMerge_data();
    void runsMerge();
    void obsoleteCommandsLeaveNoEntry_data();
    void obsoleteCommandsLeaveNoEntry();
    void linkingGivesBackEachLayersState();
};

void TestLayerCommands::initTestCase()
{
    Model::initialize();
}

void TestLayerCommands::init()
{
    resetPreferences();
}

void TestLayerCommands::discardingTheOnlyLayerKeepsItForUndo_data()
{
    QTest::addColumn<int>("layer");
    QTest::newRow("the only drawing layer") << 0;
    QTest::newRow("the sound") << 2;
}

// The scene keeps a layer of each kind: the discarded one gives way to an
// empty one, and undo puts the very same object back, cells and sound.
void TestLayerCommands::discardingTheOnlyLayerKeepsItForUndo()
{
    QFETCH(int, layer);
    auto handle = makeScene({QStringLiteral("X-X")});
    Model::Scene *scene = handle->scene();
    scene->insertLayer(std::make_shared<Model::AnnotationLayer>(scene), 1);
    auto sound = std::make_shared<Model::AudioLayer>(scene);
    sound->loadAudioFile(ImportFiles::instance().path(QStringLiteral("tone.wav")));
    scene->insertLayer(sound, 2);
    const std::shared_ptr<Model::Layer> original = scene->layerAt(layer);
    const auto *visual = qobject_cast<const Model::VisualLayer *>(original.get());
    const QList<std::shared_ptr<Model::LayerItem>> cells = visual ? visual->cells() : decltype(cells)();
    const QByteArray before = record(*handle);
    QUndoStack *stack = scene->undoStack();

    stack->push(new Commands::DiscardLayer(scene, layer));
    QCOMPARE(stack->count(), 1);
    const std::shared_ptr<Model::Layer> replacement = scene->layerAt(layer);
    QVERIFY(replacement != original);
    QCOMPARE(replacement->type(), original->type());
    if (visual) {
        QCOMPARE(replacement->name(), QStringLiteral("New Layer"));
        QCOMPARE(CellTest::describeLayer(*scene, layer), QStringLiteral("O_"));
    } else {
        QVERIFY(!scene->hasAudio());
    }

    for (int round = 0; round < 2; ++round) {
        stack->undo();
        QCOMPARE(scene->layerAt(layer), original);
        if (visual)
            QCOMPARE(visual->cells(), cells);
        QCOMPARE(scene->hasAudio(), true);
        QCOMPARE(record(*handle), before);
        stack->redo();
        QCOMPARE(scene->layerAt(layer), replacement);
    }
}

void TestLayerCommands::discardingTheActiveLayer_data()
{
    QTest::addColumn<int>("layer");
    QTest::addColumn<int>("active");
    QTest::addColumn<int>("activeAfter");
    QTest::addColumn<int>("soundPosition");
    QTest::newRow("the top layer, active: the one below") << 0 << 0 << 1 << 5;
    QTest::newRow("a layer in the middle, active: the one above") << 1 << 1 << 0 << 5;
    QTest::newRow("another layer: the active one stays") << 2 << 0 << 0 << 5;
    QTest::newRow("below the sound, active: the drawing layer above it") << 1 << 1 << 0 << 1;
}

void TestLayerCommands::discardingTheActiveLayer()
{
    QFETCH(int, layer);
    QFETCH(int, active);
    QFETCH(int, activeAfter);
    QFETCH(int, soundPosition);
    auto handle = sceneWithEveryKind();
    Model::Scene *scene = handle->scene();
    scene->moveLayer(5, 5, soundPosition);
    makeCurrent(*handle, 2, active);
    const auto layers = layersOf(*scene);
    const QByteArray before = record(*handle);

    scene->undoStack()->push(new Commands::DiscardLayer(scene, layer));
    QCOMPARE(scene->layerCount(), layers.size() - 1);
    QCOMPARE(scene->layerAt(scene->activeLayerIdx()), layers.at(activeAfter));
    QCOMPARE(SceneTest::orderingFault(*scene), QString());
    scene->undoStack()->undo();
    QCOMPARE(layersOf(*scene), layers);
    QCOMPARE(record(*handle), before);
}

void TestLayerCommands::mergeDownHappensOnce_data()
{
    QTest::addColumn<bool>("upperListedLast");
    QTest::addColumn<QString>("merged");
    QTest::newRow("the upper layer listed first") << false << "Oad Oae Obf Ob Oc Cc";
    QTest::newRow("the upper layer listed after the lower one") << true << "Oad Oae Obf Cbf Oc Cc";
}

// Undo gives back both layers, the very objects, at their list indexes and
// positions, and the active layer; a redo puts the same merged layer back
// without merging into it again.
void TestLayerCommands::mergeDownHappensOnce()
{
    QFETCH(bool, upperListedLast);
    QFETCH(QString, merged);
    auto handle = sceneWithEveryKind();
    Model::Scene *scene = handle->scene();
    // Layer 0 (a, b, c, each held) over layer 1 (d, e, f) by default.
    int upper = 0;
    if (upperListedLast) {
        scene->moveLayer(1, 1, 0);
        upper = 1;
    }
    makeCurrent(*handle, 2, 2);
    const auto layers = layersOf(*scene);
    const QList<int> ordering = scene->layerOrdering();
    const QByteArray before = record(*handle);
    QUndoStack *stack = scene->undoStack();

    stack->push(new Commands::MergeLayerDown(handle.get(), upper));
    QCOMPARE(stack->count(), 1);
    QCOMPARE(scene->layerCount(), layers.size() - 1);
    const int mergedIndex = scene->activeLayerIdx();
    const std::shared_ptr<Model::Layer> result = scene->layerAt(mergedIndex);
    QCOMPARE(CellTest::describeLayer(*scene, mergedIndex), merged);
    QCOMPARE(scene->layerOrdering().indexOf(mergedIndex), 0);
    const QByteArray done = record(*handle);

    for (int round = 0; round < 2; ++round) {
        stack->undo();
        QCOMPARE(layersOf(*scene), layers);
        QCOMPARE(scene->layerOrdering(), ordering);
        QCOMPARE(scene->activeLayerIdx(), 2);
        QCOMPARE(record(*handle), before);
        stack->redo();
        QCOMPARE(scene->layerAt(mergedIndex), result);
        QCOMPARE(record(*handle), done);
    }
}

void TestLayerCommands::moveLayerKeepsAPermutation_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("moves");
    QTest::newRow("top to bottom") << 0 << 5 << true;
    QTest::newRow("bottom to top") << 5 << 0 << true;
    QTest::newRow("one down") << 1 << 2 << true;
    QTest::newRow("where it stands") << 2 << 2 << false;
    QTest::newRow("below the bottom") << 1 << 6 << false;
    QTest::newRow("from nowhere") << -1 << 2 << false;
}

void TestLayerCommands::moveLayerKeepsAPermutation()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, moves);
    auto handle = sceneWithEveryKind();
    Model::Scene *scene = handle->scene();
    const QList<int> ordering = scene->layerOrdering();
    const int layer = ordering.value(from, -1);
    QUndoStack *stack = scene->undoStack();

    stack->push(new Commands::MoveLayer(scene, layer, from, to));
    QCOMPARE(stack->count(), moves ? 1 : 0);
    QCOMPARE(SceneTest::orderingFault(*scene), QString());
    if (!moves) {
        QCOMPARE(scene->layerOrdering(), ordering);
        return;
    }
    QCOMPARE(scene->layerOrdering().at(to), layer);
    const QList<int> moved = scene->layerOrdering();
    stack->undo();
    QCOMPARE(scene->layerOrdering(), ordering);
    QCOMPARE(SceneTest::orderingFault(*scene), QString());
    stack->redo();
    QCOMPARE(scene->layerOrdering(), moved);
}

void TestLayerCommands::runsMerge_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const QStringList &steps, int entries, const char *text = "") {
        QTest::newRow(name) << steps << entries << QString::fromUtf8(text);
    };
    row("opacity of one layer, twice", {"opacity 0 0.5", "opacity 0 0.25"}, 1, "Change Layer Opacity");
    row("opacity of two layers in a row", {"opacity 0 0.5", "opacity 1 0.25"}, 2, "Change Layer Opacity");
    row("opacity back where it began", {"opacity 2 0.5", "opacity 2 1"}, 0);
    row("audio offset, twice", {"offset 4", "offset 2.5"}, 1, "Set Audio Offset");
    row("audio offset to zero", {"offset 1", "offset 0"}, 1, "Remove Audio Offset");
    row("audio offset back where it began", {"offset 1", "offset 3"}, 0);
    row("frame rate typed", {"rate 2", "rate 25"}, 1, "Set Frame Rate");
    row("frame rate back where it began", {"rate 24", "rate 12"}, 0);
    row("range dragged twice", {"range 2 5 3", "range 2 6 3"}, 1, "Change Active Frame Range");
    row("range dragged with another active frame", {"range 2 5 3", "range 2 6 4"}, 2, "Change Active Frame Range");
    row("range dragged back", {"range 2 5 1", "range 1 6 1"}, 0);
    row("three steps right", {"cell 2 0 2", "cell 3 0 3", "cell 4 0 4"}, 1, "Change Active Frame");
    row("three steps right and back", {"cell 2 0 2", "cell 3 0 3", "cell 1 0 1"}, 0);
    row("another layer, the same remembered frame", {"cell 2 0 2", "cell 2 1 2"}, 1,
        "Change Active Frame and Layer");
    row("another layer, another remembered frame", {"cell 2 0 2", "cell 3 1 3"}, 2,
        "Change Active Frame and Layer");
    row("tools picked in a row", {"tool 7", "tool 8", "tool 2"}, 1, "Change tool type");
    row("back to the pen", {"tool 7", "tool 0"}, 0);
}

// Each run is pushed step by step; the history then holds the entries the
// merges leave, the last with its text, and undoing them all gives the
// scene back as it was.
void TestLayerCommands::runsMerge()
{
    QFETCH(QStringList, steps);
    QFETCH(int, entries);
    QFETCH(QString, text);
    auto handle = sceneWithEveryKind();
    Model::Scene *scene = handle->scene();
    QUndoStack *stack = scene->undoStack();
    const QByteArray before = record(*handle);

    for (const QString &words : std::as_const(steps))
        stack->push(step(*handle, words));
    QCOMPARE(stack->count(), entries);
    if (entries > 0)
        QCOMPARE(stack->command(entries - 1)->text(), text);
    while (stack->canUndo())
        stack->undo();
    QCOMPARE(record(*handle), before);
}

void TestLayerCommands::obsoleteCommandsLeaveNoEntry_data()
{
    QTest::addColumn<QString>("command");
    for (const char *name :
         {"rename to its name", "rename to nothing", "rename the audio column", "show a visible layer",
          "link a linked layer", "unlink all unlinked layers", "beyond last undefined", "beyond last as it is",
          "colour as it is", "colour of a picture layer", "opacity within the fuzzy rule", "opacity from zero to almost zero",
          "frame rate within the fuzzy rule", "audio offset as it is", "frame range as it is", "active cell as it is",
          "frame size as it is", "scene settings as they are", "tool already current", "new paint layer",
          "discard the notes", "duplicate the notes", "merge a picture layer down"})
        QTest::newRow(name) << QString::fromUtf8(name);
}

// Commands that would leave everything as it is never reach the history:
// the stack drops them, and the scene is as it was.
void TestLayerCommands::obsoleteCommandsLeaveNoEntry()
{
    QFETCH(QString, command);
    auto handle = sceneWithEveryKind();
    Model::Scene *scene = handle->scene();
    Model::SceneModel *model = handle->sceneModel();
    scene->setLayerLinked(1, true);
    scene->setLayerOpacity(2, 0.0);
    const QByteArray before = record(*handle);
    using namespace Commands;

    QUndoCommand *made = nullptr;
    if (command == u"rename to its name")
        made = new RenameLayer(model, 0, scene->layerName(0));
    else if (command == u"rename to nothing")
        made = new RenameLayer(model, 0, QString());
    else if (command == u"rename the audio column")
        made = new RenameLayer(model, 5, QStringLiteral("Sound"));
    else if (command == u"show a visible layer")
        made = new SetLayerVisible(model, 0, true);
    else if (command == u"link a linked layer")
        made = new SetLayerLinked(model, 1, true);
    else if (command == u"unlink all unlinked layers")
        made = (scene->setLayerLinked(1, false), new SetAllLayersLinked(model, false));
    else if (command == u"beyond last undefined")
        made = new SetLayerBeyondLast(scene, 0, 0);
    else if (command == u"beyond last as it is")
        made = new SetLayerBeyondLast(scene, 0, scene->layerBeyondLast(0));
    else if (command == u"colour as it is")
        made = new ChangeLayerColor(scene, 0, scene->layerColor(0));
    else if (command == u"colour of a picture layer")
        made = new ChangeLayerColor(scene, 3, Qt::red);
    else if (command == u"opacity within the fuzzy rule")
        made = new ChangeLayerOpacity(scene, 0, 1.0, 1.0 + 1e-13);
    else if (command == u"opacity from zero to almost zero")
        made = new ChangeLayerOpacity(scene, 2, 0.0, 1e-14);
    else if (command == u"frame rate within the fuzzy rule")
        made = new SetFrameRate(handle.get(), 12.0 * (1.0 + 1e-13));
    else if (command == u"audio offset as it is")
        made = new SetAudioOffset(scene, 3.0);
    else if (command == u"frame range as it is")
        made = new SetFrameRange(scene, scene->frameRangeFirst(), scene->frameRangeLast(), scene->activeFrame(),
                                 scene->activeLayerIdx());
    else if (command == u"active cell as it is")
        made = new SetActiveFrameAndLayer(scene, scene->activeFrame(), scene->activeLayerIdx(), 1);
    else if (command == u"frame size as it is")
        made = new ChangeFrameSize(handle.get(), scene->frameSize(), KL::FitMode::FitModeStretch);
    else if (command == u"scene settings as they are")
        made = new ChangeSceneSettings(handle.get(), scene->frameSize(), KL::FitMode::FitModeStretch, 12.0);
    else if (command == u"tool already current")
        made = new ChangeToolType(handle.get(), int(Model::Tool::Type::Pen));
    else if (command == u"new paint layer")
        made = new NewLayer(scene, Model::Layer::DrawLayerType);
    else if (command == u"discard the notes")
        made = new DiscardLayer(scene, 4);
    else if (command == u"duplicate the notes")
        made = new DuplicateLayer(scene, 4);
    else if (command == u"merge a picture layer down")
        made = new MergeLayerDown(handle.get(), 3);
    QVERIFY(made);
    const QByteArray atPush = record(*handle);

    scene->undoStack()->push(made);
    QCOMPARE(scene->undoStack()->count(), 0);
    QCOMPARE(record(*handle), atPush);
    if (command != u"unlink all unlinked layers")
        QCOMPARE(atPush, before);
}

// Linking and unlinking all gives each layer its own state back on undo; a
// note on a linked annotation column moves with an insertion on a linked
// layer and comes back to its frame on undo.
void TestLayerCommands::linkingGivesBackEachLayersState()
{
    auto handle = sceneWithEveryKind();
    Model::Scene *scene = handle->scene();
    Model::SceneModel *model = handle->sceneModel();
    QUndoStack *stack = scene->undoStack();
    const auto linked = [scene] {
        QList<int> layers;
        for (int i = 0; i < scene->layerCount(); ++i) {
            if (scene->isLayerLinked(i))
                layers.append(i);
        }
        return layers;
    };
    scene->setLayerLinked(1, true);

    stack->push(new Commands::SetAllLayersLinked(model, false));
    QCOMPARE(stack->command(0)->text(), QStringLiteral("Unlink All Layers"));
    QCOMPARE(linked(), QList<int>());
    stack->push(new Commands::SetAllLayersLinked(model, true));
    QCOMPARE(linked(), QList<int>({0, 1, 2, 3}));
    stack->undo();
    QCOMPARE(linked(), QList<int>());
    stack->undo();
    QCOMPARE(linked(), QList<int>({1}));

    // The notes of the annotation column are linked with layer 1.
    stack->push(new Commands::SetLayerLinked(model, 4, true));
    const QImage note = TestSupport::alpha8(QSize(20, 8), 200);
    scene->setAnnotationImage(2, note);
    stack->push(new Commands::InsertBlankDrawing(handle.get(), cellAt(*handle, 1, 1)));
    QCOMPARE(scene->annotationImage(3), note);
    QVERIFY(scene->annotationImage(2).isNull());
    stack->undo();
    QCOMPARE(scene->annotationImage(2), note);
    QVERIFY(scene->annotationImage(1).isNull());
    QVERIFY(scene->annotationImage(3).isNull());
}

QTEST_MAIN(TestLayerCommands)
#include "tst_layercommands.moc"
