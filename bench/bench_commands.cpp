#include "benchsupport.h"

#include "clonecommands.h"
#include "drawingcontentcommands.h"
#include "drawings/strokedrawing.h"
#include "kl.h"
#include "layers/strokelayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "scenesettingscommands.h"
#include "strokes/singlestroke.h"
#include "tools/pentool.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QRandomGenerator>
#include <QSize>
#include <QUndoStack>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int StrokeCount = 500;

// Stroke i as an animator draws it: a curve of some forty samples, a few
// hundred pixels long, somewhere on the frame, its mask gathered sample by
// sample as the canvas gathers it.
std::unique_ptr<Model::SingleStroke> drawnStroke(const Model::Tool &pen, QRandomGenerator &random)
{
    auto stroke = std::make_unique<Model::SingleStroke>(QSize(Width, Height), &pen);
    const QPointF start(100 + random.bounded(Width - 500), 100 + random.bounded(Height - 300));
    const double angle = random.bounded(2.0 * M_PI);
    const double bend = random.bounded(0.06) - 0.03;
    QPointF point = start;
    for (int s = 0; s < 40; ++s) {
        const double heading = angle + bend * s;
        point += QPointF(7.0 * std::cos(heading), 7.0 * std::sin(heading));
        if (stroke->isNearLastPoint(point))
            continue;
        stroke->addPoint({point.x(), point.y(), 0.3 + 0.6 * std::sin(M_PI * s / 40.0), 0.0});
        stroke->updateMask();
    }
    stroke->finish();
    stroke->updateMask();
    return stroke;
}

// A thin pencil, as for clean-up lines.
const Model::PenTool &pencil()
{
    static const std::unique_ptr<Model::PenTool> pen = [] {
        auto tool = std::make_unique<Model::PenTool>(Model::Tool::PenType::Pencil);
        tool->setSizeRangeLimits(2.0, 6.0);
        return tool;
    }();
    return *pen;
}

std::unique_ptr<Model::KLScene> fullHdScene()
{
    auto handle = std::make_unique<Model::KLScene>();
    Model::Scene *scene = handle->scene();
    scene->setFrameSize(QSize(Width, Height), KL::FitMode::FitModeIgnore);
    scene->insertLayer(std::make_shared<Model::StrokeLayer>(Qt::black, QSize(Width, Height), scene), 0);
    scene->setFrameRange(1, 1, 1, 0);
    // The whole history stays: the scene's own limit would drop the oldest.
    scene->undoStack()->setUndoLimit(0);
    return handle;
}

Model::StrokeDrawing &drawingOf(const Model::KLScene &handle)
{
    return static_cast<Model::StrokeDrawing &>(*handle.scene()->itemAt(0, 1)->drawing());
}

qint64 recordBytes(const Model::StrokeDrawing &drawing)
{
    QByteArray record;
    QDataStream out(&record, QIODevice::WriteOnly);
    out.setFloatingPointPrecision(QDataStream::SinglePrecision);
    out << drawing;
    return record.size();
}

// A full-HD scene of one stroke layer of `drawings` drawings of `strokes`
// pencil strokes each, frame 1 active.
std::unique_ptr<Model::KLScene> drawnScene(int drawings, int strokes)
{
    auto handle = std::make_unique<Model::KLScene>();
    Model::Scene *scene = handle->scene();
    scene->setFrameSize(QSize(Width, Height), KL::FitMode::FitModeIgnore);
    auto layer = std::make_shared<Model::StrokeLayer>(Qt::black, QSize(Width, Height), scene);
    QRandomGenerator random(58);
    for (int frame = 1; frame <= drawings; ++frame) {
        if (layer->frameCount() < frame)
            layer->insertCell(layer->frameCount(), layer->newCell());
        for (int i = 0; i < strokes; ++i)
            layer->addStroke(frame, drawnStroke(pencil(), random));
    }
    scene->insertLayer(layer, 0);
    scene->updateMaxFrameNumber();
    scene->setFrameRange(1, drawings, 1, 0);
    return handle;
}

// The scene settings dialog's answer, stretching every drawing of a scene of
// 20 drawings of 10 strokes from full HD to 1280x720, pushed as the window
// pushes it; after an undo of one small step (a key-drawing mark) when
// afterUndo. Each round starts from full HD again and with no step to redo
// but the one undone.
void frameSizePush(benchmark::State &state, bool afterUndo)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    const std::unique_ptr<Model::KLScene> handle = drawnScene(20, 10);
    Model::KLScene::setCurrent(handle.get());
    QUndoStack *stack = handle->scene()->undoStack();
    const double rate = handle->scene()->frameRate();
    for (auto _ : state) {
        state.PauseTiming();
        if (afterUndo) {
            Model::KLScene::pushCommand(new Commands::MarkAsKeyDrawing(handle->scene(), true));
            handle->undo();
        }
        state.ResumeTiming();

        Model::KLScene::pushCommand(
            new Commands::ChangeSceneSettings(handle.get(), QSize(1280, 720), KL::FitMode::FitModeStretch, rate));

        state.PauseTiming();
        if (handle->scene()->frameSize() != QSize(1280, 720) || stack->count() != 1) {
            state.SkipWithError("the frame size did not change as one step");
            break;
        }
        handle->undo();
        stack->clear();
        state.ResumeTiming();
    }
    Model::KLScene::setCurrent(nullptr);
}

void reportSteps(benchmark::State &state, const char *name, const std::vector<double> &milliseconds)
{
    state.counters[QByteArray(name).append("_p50_ms").constData()] = percentile(milliseconds, 0.50);
    state.counters[QByteArray(name).append("_p99_ms").constData()] = percentile(milliseconds, 0.99);
}

} // namespace

// 500 pen strokes on one full-HD drawing, each pushed as the paper pushes it
// on pen release, then the whole history undone and redone one stroke at a
// time, as a user holding the undo key would. Counters: the time per undo and
// per redo step (p50, p99), the heap that the history holds (measured by
// dropping it) beside the size of the drawing's own record, and their ratio.
void BM_StrokeHistoryUndoRedo(benchmark::State &state)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    std::vector<double> undos;
    std::vector<double> redos;
    double historyBytes = 0.0;
    double drawingBytes = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::unique_ptr<Model::KLScene> handle = fullHdScene();
        QUndoStack *stack = handle->scene()->undoStack();
        const QModelIndex cell = handle->sceneModel()->index(0, 0);
        QRandomGenerator random(500);
        for (int i = 0; i < StrokeCount; ++i)
            stack->push(new Commands::Stroke(handle.get(), cell, drawnStroke(pencil(), random)));
        state.ResumeTiming();

        for (int i = 0; i < StrokeCount; ++i) {
            const auto start = Clock::now();
            stack->undo();
            undos.push_back(elapsedMs(start));
        }
        for (int i = 0; i < StrokeCount; ++i) {
            const auto start = Clock::now();
            stack->redo();
            redos.push_back(elapsedMs(start));
        }

        state.PauseTiming();
        drawingBytes = double(recordBytes(drawingOf(*handle)));
        const qint64 withHistory = heapInUse();
        stack->clear();
        historyBytes = double(withHistory - heapInUse());
        state.ResumeTiming();
    }
    reportSteps(state, "undo", undos);
    reportSteps(state, "redo", redos);
    state.counters["history_kb"] = historyBytes / 1024.0;
    state.counters["drawing_record_kb"] = drawingBytes / 1024.0;
    state.counters["history_per_record"] = historyBytes / drawingBytes;
}
BENCHMARK(BM_StrokeHistoryUndoRedo)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Baseline: the same strokes added to the scene directly and taken back and
// added again by hand (a copy of each kept aside), without the undo stack and
// its commands. Counters as above, for the two steps.
void BM_StrokeHistoryBaselineScene(benchmark::State &state)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    std::vector<double> removals;
    std::vector<double> additions;
    for (auto _ : state) {
        state.PauseTiming();
        const std::unique_ptr<Model::KLScene> handle = fullHdScene();
        Model::Scene *scene = handle->scene();
        QRandomGenerator random(500);
        std::vector<std::unique_ptr<Model::Stroke>> kept;
        for (int i = 0; i < StrokeCount; ++i) {
            auto stroke = drawnStroke(pencil(), random);
            auto copy = stroke->clone();
            static_cast<Model::SingleStroke &>(*copy).takeImage();
            kept.push_back(std::move(copy));
            scene->addStroke(0, 1, std::move(stroke));
        }
        state.ResumeTiming();

        for (int i = 0; i < StrokeCount; ++i) {
            const auto start = Clock::now();
            scene->removeStroke(0, 1);
            removals.push_back(elapsedMs(start));
        }
        for (int i = 0; i < StrokeCount; ++i) {
            const auto start = Clock::now();
            scene->addStroke(0, 1, kept[size_t(i)]->clone());
            additions.push_back(elapsedMs(start));
        }
    }
    reportSteps(state, "undo", removals);
    reportSteps(state, "redo", additions);
}
BENCHMARK(BM_StrokeHistoryBaselineScene)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Change Frame Size pushed right after an undo, where the push takes the
// undone step away; against the same push with nothing undone.
void BM_FrameSizeAfterUndo(benchmark::State &state)
{
    frameSizePush(state, true);
}
BENCHMARK(BM_FrameSizeAfterUndo)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

// Baseline: the same push with nothing undone.
void BM_FrameSizeBaselineNothingUndone(benchmark::State &state)
{
    frameSizePush(state, false);
}
BENCHMARK(BM_FrameSizeBaselineNothingUndone)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
