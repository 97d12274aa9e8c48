#include "benchsupport.h"

#include "drawings/drawingimagecache.h"
#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"

#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
#include "render/bandedcomposition.h"
#include "render/offscreenrenderer.h"
#include "scene/scene.h"
#include "settings/backlightsettings.h"
#include "strokes/bitmapstroke.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int FrameCount = 12;
constexpr int ActiveFrame = 6;
constexpr int StrokeSamples = 200;

using InputPoint = Model::SingleStroke::InputPoint;

// Five stroke layers of twelve drawings each, the frame range over all of
// them, the active frame in the middle, and a backlight of four steps on
// either side over every visible layer or over the active layer alone.
std::unique_ptr<Model::Scene> makeScene(bool activeLayerOnly = false)
{
    auto scene = std::make_unique<Model::Scene>();
    fillInkedScene(*scene, FrameCount, 1);
    scene->setFrameRange(1, FrameCount, ActiveFrame, 0);

    Model::BacklightSettings backlight;
    backlight.on = true;
    backlight.settingA.opacityLevelsBefore = {0.4, 0.3, 0.2, 0.1};
    backlight.settingA.opacityLevelsAfter = {0.4, 0.3, 0.2, 0.1};
    backlight.settingA.hueShift = Model::BacklightSetting::UseHueShift;
    backlight.settingA.showOption = Model::BacklightSetting::StopAtEnds;
    backlight.settingA.layers = activeLayerOnly ? Model::BacklightSetting::BacklightActiveLayerOnly
                                                : Model::BacklightSetting::BacklightVisibleLayers;
    scene->setBacklightSettings(backlight);
    return scene;
}

// Qt's raster engine spreads large fills over its thread pool, so the work
// done is the whole process's processor time, not the calling thread's.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

} // namespace

// The three cached pictures rebuilt, backlight included, as after every edit
// of the scene: 5 layers at the current frame and 8 backlight frames of every
// visible layer (45 layer pictures) or of the active layer alone (13), on a
// full-HD frame. Counters: the time per rebuild.
void BM_SceneUpdateCachedFramePixmap(benchmark::State &state)
{
    const std::unique_ptr<Model::Scene> scene = makeScene(state.range(0) == 1);
    std::vector<double> times;
    std::vector<double> work;
    for (auto _ : state) {
        const auto start = Clock::now();
        const double cpu = processCpuMs();
        scene->updateCachedFramePixmap(true);
        work.push_back(processCpuMs() - cpu);
        times.push_back(elapsedMs(start));
    }
    reportLatency(state, times);
    state.counters["p50_cpu_ms"] = percentile(work, 0.50);
}
BENCHMARK(BM_SceneUpdateCachedFramePixmap)
    ->ArgName("activeLayerOnly")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(60)->UseRealTime();

namespace {

// The rebuild of BM_SceneUpdateCachedFramePixmap with every visible layer
// in the backlight, the drawings' decoded images dropped before each one
// (cold: as on the first visit of frames far from the last ones) or all of
// them decoded and kept (warm). Composed on one thread per core (threads:0)
// or on the calling thread alone (threads:1), which shows the work itself.
void runFrameStep(benchmark::State &state, bool cold)
{
    Model::setCompositionThreadCount(int(state.range(0)));
    const std::unique_ptr<Model::Scene> scene = makeScene();
    Model::DrawingImageCache *cache = Model::DrawingImageCache::instance();
    cache->clear();
    if (!cold) {
        for (int index = 0; index < scene->layerCount(); ++index) {
            const auto *layer = qobject_cast<const Model::StrokeLayer *>(scene->layerAt(index).get());
            for (int frame = 1; layer && frame <= layer->frameCount(); ++frame) {
                const std::shared_ptr<Model::LayerItem> item = layer->cell(frame);
                if (const auto *drawing = dynamic_cast<const Model::StrokeDrawing *>(item ? item->drawing().get() : nullptr))
                    benchmark::DoNotOptimize(drawing->image().constBits());
            }
        }
    }
    std::vector<double> times;
    std::vector<double> work;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            cache->clear();
            state.ResumeTiming();
        }
        const auto start = Clock::now();
        const double cpu = processCpuMs();
        scene->updateCachedFramePixmap(true);
        work.push_back(processCpuMs() - cpu);
        times.push_back(elapsedMs(start));
    }
    reportLatency(state, times);
    state.counters["p50_cpu_ms"] = percentile(work, 0.50);
    state.counters["cached_MB"] = double(cache->bytesHeld()) / (1024.0 * 1024.0);
    cache->clear();
    Model::setCompositionThreadCount(0);
}

} // namespace

// The frame step of BM_SceneUpdateCachedFramePixmap (5 layers, backlight of
// 4 + 4 frames over every visible layer: 45 layer pictures) with no decoded
// image in the cache: every drawing composed from its run-length code.
void BM_SceneUpdateCachedFramePixmapColdCache(benchmark::State &state)
{
    runFrameStep(state, true);
}
BENCHMARK(BM_SceneUpdateCachedFramePixmapColdCache)
    ->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(60)->UseRealTime();

// The same with every drawing's image decoded and kept in the cache.
void BM_SceneUpdateCachedFramePixmapWarmCache(benchmark::State &state)
{
    runFrameStep(state, false);
}
BENCHMARK(BM_SceneUpdateCachedFramePixmapWarmCache)
    ->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(60)->UseRealTime();

// Baseline: the 13 layer pictures of the active-layer-only case (the current
// frame of all 5 layers and 8 backlight frames of the active one) as Indexed8
// images with colour tables, painted by
// QPainter into one transparent ARGB32 premultiplied picture.
void BM_SceneUpdateCachedFramePixmapBaselineQPainter(benchmark::State &state)
{
    QList<QImage> images;
    for (int i = 0; i < 13; ++i) {
        const int layer = i < InkedLayerCount ? i : 0;
        const int frame = i < InkedLayerCount ? ActiveFrame
                                              : (i - InkedLayerCount < 4 ? i - InkedLayerCount + 2 : i - InkedLayerCount + 3);
        QImage indexed = inkedCoverage(layer, frame);
        indexed.reinterpretAsFormat(QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int a = 0; a < 256; ++a) {
            QColor colour = InkedLayerColours.at(layer);
            colour.setAlpha(a);
            table.append(colour.rgba());
        }
        indexed.setColorTable(table);
        images.append(indexed);
    }
    std::vector<double> times;
    std::vector<double> work;
    for (auto _ : state) {
        const auto start = Clock::now();
        const double cpu = processCpuMs();
        QImage picture(Width, Height, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        for (const QImage &image : std::as_const(images))
            painter.drawImage(0, 0, image);
        painter.end();
        benchmark::DoNotOptimize(picture.constBits());
        work.push_back(processCpuMs() - cpu);
        times.push_back(elapsedMs(start));
    }
    reportLatency(state, times);
    state.counters["p50_cpu_ms"] = percentile(work, 0.50);
}
BENCHMARK(BM_SceneUpdateCachedFramePixmapBaselineQPainter)
    ->Unit(benchmark::kMillisecond)->Iterations(60)->UseRealTime();

namespace {

// The canvas's side of one sample: the region the scene reports, repainted
// from the scene into a full-HD window picture.
void runLiveStroke(benchmark::State &state, bool live)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    useBenchPen();

    const std::unique_ptr<Model::Scene> scene = makeScene();
    const QList<InputPoint> samples = penSweep(StrokeSamples);
    QImage window(Width, Height, QImage::Format_ARGB32_Premultiplied);
    window.fill(Qt::white);
    // The frame as the scene shows it when nothing is live.
    QImage cached(Width, Height, QImage::Format_ARGB32_Premultiplied);
    cached.fill(Qt::transparent);
    {
        QPainter painter(&cached);
        scene->paintFrame(&painter, scene->frameRect());
    }
    QRect changed;
    QObject::connect(scene.get(), &Model::Scene::rectChanged, [&changed](QRect rect) { changed = rect; });
    std::vector<double> times;

    for (auto _ : state) {
        for (const InputPoint &sample : samples) {
            state.PauseTiming();
            changed = QRect();
            if (!scene->hasActiveStroke())
                scene->beginStroke(sample);
            else
                scene->addStrokePoint(sample);
            // The region a canvas repaints: the changed rectangle, grown by a
            // pixel as the canvas does for its transform.
            const QRect region = changed.adjusted(-1, -1, 1, 1);
            state.ResumeTiming();
            if (region.isEmpty())
                continue;
            const auto start = Clock::now();
            QPainter painter(&window);
            painter.setClipRect(region);
            painter.fillRect(region, Qt::white);
            if (live) {
                scene->paintFrame(&painter, region);
                scene->paintActiveStroke(&painter, region, 1.0);
            } else {
                painter.drawImage(region, cached, region);
            }
            painter.end();
            times.push_back(elapsedMs(start));
        }
        state.PauseTiming();
        scene->takeActiveStroke();
        state.ResumeTiming();
    }
    reportLatency(state, times, "us", 1000.0);
    state.SetItemsProcessed(std::int64_t(times.size()));
}

} // namespace

// One frame painted live while a stroke of 200 samples is drawn on the
// active layer: per sample, the changed rectangle repainted with the
// backlight, the other layers, the active layer with the stroke and the line
// ahead of the fit. Counters: the time per repaint.
void BM_SceneLiveStrokeRepaint(benchmark::State &state)
{
    runLiveStroke(state, true);
}
BENCHMARK(BM_SceneLiveStrokeRepaint)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// Baseline: the same rectangles repainted from one cached picture of the
// frame, as when nothing is drawn.
void BM_SceneLiveStrokeRepaintBaselineCached(benchmark::State &state)
{
    runLiveStroke(state, false);
}
BENCHMARK(BM_SceneLiveStrokeRepaintBaselineCached)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
