#include "benchsupport.h"

#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "strokes/linesegment.h"

#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int SegmentCount = 1000;

// A wavy stroke across the frame (a Lissajous figure), about ten pixels per
// segment, as a pen sampled at a brisk pace gives them.
QPolygonF strokePoints()
{
    QPolygonF points;
    for (int i = 0; i <= SegmentCount; ++i) {
        const double t = 2.0 * std::numbers::pi * i / SegmentCount;
        points << QPointF(Width / 2.0 + 860.0 * std::sin(3.0 * t), Height / 2.0 + 470.0 * std::sin(4.0 * t + 0.3));
    }
    return points;
}

std::vector<std::unique_ptr<Model::LineSegment>> strokeSegments()
{
    const QPolygonF points = strokePoints();
    std::vector<std::unique_ptr<Model::LineSegment>> segments;
    auto radius = [](int i) { return 4.0 + 3.0 * std::sin(i * 0.05); };
    auto opacity = [](int i) { return 0.8 + 0.2 * std::sin(i * 0.031); };
    for (int i = 0; i < SegmentCount; ++i)
        segments.push_back(std::make_unique<Model::LineSegment>(points[i], points[i + 1], opacity(i), opacity(i + 1),
                                                                radius(i), radius(i + 1)));
    return segments;
}

// What a live stroke does after each fit, for every segment of a finished
// 1000-segment stroke: tessellate the segment with its caps, render it into a
// temporary image of its bounds, merge that into the stroke's frame-sized
// mask. Counters give the time per segment in microseconds.
void BM_RendererStrokeMaskPerSegment(benchmark::State &state)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    Model::OffscreenRenderer *renderer = Model::OffscreenRenderer::instance();
    const auto segments = strokeSegments();
    QImage mask(Width, Height, QImage::Format_Alpha8);
    std::vector<double> durations;
    durations.reserve(std::size_t(SegmentCount) * 16);
    QList<float> positions;
    QList<float> attributes;
    QList<float> kinds;

    for (auto _ : state) {
        state.PauseTiming();
        mask.fill(0);
        state.ResumeTiming();
        for (const auto &segment : segments) {
            const auto start = Clock::now();
            const QRect bounds = segment->boundingRect().adjusted(-1, -1, 1, 1);
            positions.clear();
            attributes.clear();
            kinds.clear();
            segment->tessellateWithCaps(positions, attributes, kinds);
            QImage scratch(bounds.size(), QImage::Format_Alpha8);
            scratch.fill(0);
            renderer->renderPen(scratch, 0, bounds.topLeft(), 1.0f, QRect(QPoint(0, 0), bounds.size()),
                                QTransform::fromTranslate(-bounds.left(), -bounds.top()), positions, attributes,
                                kinds);
            Model::composeAlphaMaskMax(mask, scratch, bounds, bounds.topLeft());
            durations.push_back(elapsedUs(start));
        }
        benchmark::DoNotOptimize(mask.constBits());
    }
    state.counters["segment_p50_us"] = percentile(durations, 0.50);
    state.counters["segment_p99_us"] = percentile(durations, 0.99);
    state.counters["segments"] = double(durations.size());
}
// Real time: llvmpipe rasterises on its own threads while this one waits.
BENCHMARK(BM_RendererStrokeMaskPerSegment)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same polyline stroked once by QPainter with a round pen of the mean
// width: no grain, no varying width or opacity, one call for the whole stroke.
// segment_us is its wall time spread evenly over the 1000 segments.
void BM_RendererBaselineQPainterStroke(benchmark::State &state)
{
    const QPolygonF points = strokePoints();
    QImage mask(Width, Height, QImage::Format_Alpha8);
    const QPen pen(QColor(0, 0, 0, 230), 8.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    double total = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        mask.fill(0);
        state.ResumeTiming();
        const auto start = Clock::now();
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(pen);
        painter.drawPolyline(points);
        painter.end();
        total += elapsedUs(start);
        benchmark::DoNotOptimize(mask.constBits());
    }
    state.counters["segment_us"] = total / double(state.iterations()) / SegmentCount;
}
BENCHMARK(BM_RendererBaselineQPainterStroke)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
