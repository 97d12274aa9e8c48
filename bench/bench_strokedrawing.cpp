#include "benchsupport.h"

#include "drawings/strokedrawing.h"
#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "strokes/singlestroke.h"
#include "tools/erasertool.h"
#include "tools/pentool.h"

#include <QPainterPath>

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>

using namespace BenchSupport;

namespace {

// Stroke i of a drawing: a wave of about 80 samples across most of the frame,
// at a height and phase of its own, fitted as the pen would have drawn it.
std::unique_ptr<Model::SingleStroke> stroke(const Model::Tool &tool, int i)
{
    auto result = std::make_unique<Model::SingleStroke>(&tool);
    const double y = 80.0 + (i * 37) % (Height - 160);
    const double phase = i * 0.7;
    for (int s = 0; s <= 80; ++s) {
        const double x = 150.0 + s * 20.0;
        const double pressure = 0.4 + 0.5 * std::pow(std::sin(s / 12.0 + phase), 2.0);
        result->addPoint({x, y + 60.0 * std::sin(x / 140.0 + phase), pressure, 0.0});
    }
    result->finish();
    return result;
}

// count strokes, every fifth an eraser. With erasures, half-way through a
// lasso-sized area is erased, so the first half ends up one level down,
// under its erase path, and the second half is drawn over it.
std::unique_ptr<Model::StrokeDrawing> makeDrawing(int count, bool erasures)
{
    Model::PenTool pen(Model::Tool::PenType::Pencil);
    pen.setSizeRangeLimits(3.0, 14.0);
    Model::EraserTool eraser(Model::Tool::PenType::KneadedEraser);
    eraser.setSizeRangeLimits(10.0, 40.0);
    auto drawing = std::make_unique<Model::StrokeDrawing>(QSize(Width, Height));
    for (int i = 0; i < count; ++i) {
        const bool erasing = erasures && i % 5 == 4;
        drawing->addStroke(stroke(erasing ? static_cast<const Model::Tool &>(eraser) : pen, i));
        if (erasures && i == count / 2) {
            QPainterPath lasso;
            lasso.addEllipse(QPointF(Width * 0.4, Height * 0.5), 300.0, 200.0);
            drawing->eraseInside(lasso);
        }
    }
    return drawing;
}

Model::StrokeDrawing &drawing(int count, bool erasures)
{
    static std::map<std::pair<int, bool>, std::unique_ptr<Model::StrokeDrawing>> drawings;
    auto &slot = drawings[{count, erasures}];
    if (!slot)
        slot = makeDrawing(count, erasures);
    return *slot;
}

void runUpdate(benchmark::State &state, bool erasures)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    Model::StrokeDrawing &subject = drawing(int(state.range(0)), erasures);
    const QRect frame(0, 0, Width, Height);
    for (auto _ : state) {
        subject.updateImage(frame);
        benchmark::DoNotOptimize(subject.image().constBits());
    }
    state.counters["strokes"] = double(subject.root().strokeCount());
}

// count pen strokes; with cuts, a small piece is cut out of the drawing
// after each one, so that every stroke lies one level deeper than the next
// (each cut followed by more drawing nests the content before it).
std::unique_ptr<Model::StrokeDrawing> makeCutDrawing(int count, bool cuts)
{
    Model::PenTool pen(Model::Tool::PenType::Pencil);
    pen.setSizeRangeLimits(3.0, 14.0);
    auto drawing = std::make_unique<Model::StrokeDrawing>(QSize(Width, Height));
    for (int i = 0; i < count; ++i) {
        drawing->addStroke(stroke(pen, i));
        if (cuts) {
            QPainterPath lasso;
            lasso.addEllipse(QPointF(200.0 + (i * 53) % (Width - 400), 80.0 + (i * 37) % (Height - 160)), 30.0,
                             30.0);
            drawing->eraseInside(lasso);
        }
    }
    return drawing;
}

// Renders the drawing's strokes into a new frame-sized image, as rebuilding
// its image does, and reports the most heap that the render held beyond what
// was held before it, sampled after every stroke.
void runNestedRender(benchmark::State &state, bool cuts)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    static std::map<bool, std::unique_ptr<Model::StrokeDrawing>> drawings;
    auto &subject = drawings[cuts];
    if (!subject)
        subject = makeCutDrawing(1000, cuts);
    const QRect frame(0, 0, Width, Height);
    qint64 peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Model::CompoundStroke tree(subject->root());
        const qint64 before = heapInUse();
        state.ResumeTiming();
        qint64 most = before;
        tree.collapse(1, frame, [&most](int, int) {
            most = std::max(most, heapInUse());
            return true;
        });
        peak = std::max(peak, most - before);
    }
    const double frameBytes = double(Width) * Height;
    state.counters["peak_MiB"] = double(peak) / (1024.0 * 1024.0);
    state.counters["frames_held"] = double(peak) / frameBytes;
    state.counters["levels"] = double(cuts ? 1000 : 1);
}

} // namespace

// Peak memory of rendering a 1920x1080 drawing cut 1000 times: every
// stroke one level deeper than the next.
void BM_NestedDrawingRender(benchmark::State &state)
{
    runNestedRender(state, true);
}
BENCHMARK(BM_NestedDrawingRender)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Baseline: the same 1000 strokes in one flat group.
void BM_NestedDrawingRenderBaselineUnnested(benchmark::State &state)
{
    runNestedRender(state, false);
}
BENCHMARK(BM_NestedDrawingRenderBaselineUnnested)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The whole 1920x1080 cached image rebuilt from the strokes, as after reading
// a record without its image or after a change of frame size.
void BM_StrokeDrawingUpdate(benchmark::State &state)
{
    runUpdate(state, true);
}
BENCHMARK(BM_StrokeDrawingUpdate)
    ->ArgName("strokes")->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same number of pen strokes in one flat group, without
// erasers, an erase path or nesting.
void BM_StrokeDrawingUpdateBaselineFlat(benchmark::State &state)
{
    runUpdate(state, false);
}
BENCHMARK(BM_StrokeDrawingUpdateBaselineFlat)
    ->ArgName("strokes")->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();
