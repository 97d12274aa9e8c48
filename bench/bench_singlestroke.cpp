#include "benchsupport.h"

#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "strokes/singlestroke.h"
#include "tools/pentool.h"

#include <QImage>
#include <QList>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int SampleCount = 1000;
constexpr int StrokesPerRun = 8;

using InputPoint = Model::SingleStroke::InputPoint;

// A pen sampled at 200 Hz drawing loops across a full-HD frame, about ten
// pixels between samples, with the pressure rising and falling.
QList<InputPoint> penSamples()
{
    QList<InputPoint> samples;
    for (int i = 0; i < SampleCount; ++i) {
        const double t = 2.0 * std::numbers::pi * i / SampleCount;
        samples.append({Width / 2.0 + 800.0 * std::sin(2.0 * t), Height / 2.0 + 440.0 * std::sin(3.0 * t + 0.5),
                        0.45 + 0.4 * std::sin(7.0 * t), i * 5.0});
    }
    return samples;
}

// A pencil (the costliest family: grain as well as softness) of 2 to 12
// pixels across.
std::unique_ptr<Model::PenTool> pencil()
{
    auto tool = std::make_unique<Model::PenTool>(Model::Tool::PenType::Pencil);
    tool->setSizeRangeLimits(2.0, 12.0);
    return tool;
}

void reportLatency(benchmark::State &state, const std::vector<double> &microseconds)
{
    state.counters["p50_us"] = percentile(microseconds, 0.50);
    state.counters["p99_us"] = percentile(microseconds, 0.99);
    state.counters["max_us"] = *std::max_element(microseconds.begin(), microseconds.end());
    state.SetItemsProcessed(std::int64_t(microseconds.size()));
}

// What the pen waits for after each sample on a full-HD drawing: the 0.6 fit
// of the new sample, then the mask update (tessellate the newest segment,
// rasterise it off-screen, merge it into the frame-sized mask). Counters give
// the time per sample in microseconds.
void BM_PenLatency(benchmark::State &state)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    const QList<InputPoint> samples = penSamples();
    const auto tool = pencil();
    std::vector<double> latencies;
    latencies.reserve(std::size_t(SampleCount) * StrokesPerRun);

    for (auto _ : state) {
        state.PauseTiming();
        auto stroke = std::make_unique<Model::SingleStroke>(QSize(Width, Height), tool.get());
        state.ResumeTiming();
        for (const InputPoint &sample : samples) {
            const auto start = Clock::now();
            if (!stroke->isNearLastPoint(sample.position()))
                stroke->addPoint(sample);
            benchmark::DoNotOptimize(stroke->updateMask());
            latencies.push_back(elapsedUs(start));
        }
        state.PauseTiming();
        stroke.reset();
        state.ResumeTiming();
    }
    reportLatency(state, latencies);
}
BENCHMARK(BM_PenLatency)->Unit(benchmark::kMillisecond)->Iterations(StrokesPerRun);

// The same pen path stroked by QPainter into a full-HD Alpha8 image with an
// anti-aliased round pen, one line piece per sample: the cost of drawing
// without fitting or OpenGL.
void BM_PenLatencyBaselineQPainter(benchmark::State &state)
{
    const QList<InputPoint> samples = penSamples();
    const auto tool = pencil();
    std::vector<double> latencies;
    latencies.reserve(std::size_t(SampleCount) * StrokesPerRun);

    for (auto _ : state) {
        state.PauseTiming();
        QImage mask(Width, Height, QImage::Format_Alpha8);
        mask.fill(0);
        state.ResumeTiming();
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        for (qsizetype i = 0; i < samples.size(); ++i) {
            const auto start = Clock::now();
            const InputPoint &sample = samples.at(i);
            const InputPoint &previous = samples.at(std::max<qsizetype>(i - 1, 0));
            QPen pen(QColor(0, 0, 0, int(255 * tool->opacityForPressure(sample.pressure))),
                     2.0 * tool->radiusForPressure(sample.pressure), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.setPen(pen);
            painter.drawLine(previous.position(), sample.position());
            benchmark::DoNotOptimize(mask.constBits());
            latencies.push_back(elapsedUs(start));
        }
    }
    reportLatency(state, latencies);
}
BENCHMARK(BM_PenLatencyBaselineQPainter)->Unit(benchmark::kMillisecond)->Iterations(StrokesPerRun);

} // namespace
