#include "benchsupport.h"

#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
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

constexpr int LayerCount = 5;
constexpr int FrameCount = 12;
constexpr int ActiveFrame = 6;
constexpr int StrokeSamples = 200;

using InputPoint = Model::SingleStroke::InputPoint;

const QList<QColor> LayerColours{Qt::black, Qt::darkBlue, Qt::darkRed, Qt::darkGreen, Qt::darkMagenta};

// The coverage of one drawing: a figure of a dozen anti-aliased pencil-like
// curves of 3 to 9 pixels, somewhere else for every layer and frame, as an
// animator's cleaned-up drawing might cover a third of the frame. inked,
// when given, receives the rectangle that holds the ink.
QImage coverage(int layer, int frame, QRect *inked = nullptr)
{
    QImage image(Width, Height, QImage::Format_Alpha8);
    image.fill(0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF bounds;
    const QPointF centre(400.0 + layer * 280.0 + frame * 12.0, 300.0 + layer * 90.0 + frame * 8.0);
    for (int i = 0; i < 12; ++i) {
        QPainterPath path;
        const double phase = i * 0.5 + layer + frame * 0.1;
        path.moveTo(centre + QPointF(-300.0, i * 30.0 - 180.0));
        for (int s = 1; s <= 30; ++s) {
            const double x = -300.0 + s * 20.0;
            path.lineTo(centre + QPointF(x, i * 30.0 - 180.0 + 50.0 * std::sin(x / 90.0 + phase)));
        }
        painter.setPen(QPen(QColor(0, 0, 0, 255), 3.0 + (i % 4) * 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawPath(path);
        bounds |= path.boundingRect();
    }
    if (inked)
        *inked = bounds.toAlignedRect().adjusted(-6, -6, 6, 6) & image.rect();
    return image;
}

// Five stroke layers of twelve drawings each, the frame range over all of
// them, the active frame in the middle, and a backlight of four steps on
// either side over every visible layer or over the active layer alone.
std::unique_ptr<Model::Scene> makeScene(bool activeLayerOnly = false)
{
    Model::initAlphaCompositionTables();
    auto scene = std::make_unique<Model::Scene>();
    scene->setFrameSize(QSize(Width, Height), KL::FitMode::FitModeIgnore);
    for (int l = 0; l < LayerCount; ++l) {
        auto layer = std::make_shared<Model::StrokeLayer>(LayerColours.at(l), QSize(Width, Height), scene.get());
        while (layer->frameCount() < FrameCount)
            layer->insertCell(layer->frameCount(), layer->newCell());
        // Like a drawing of pen strokes, each holds its ink within tight
        // bounds.
        for (int f = 1; f <= FrameCount; ++f) {
            QRect inked;
            const QImage ink = coverage(l, f, &inked);
            layer->addStroke(f, std::make_unique<Model::BitmapStroke>(ink.copy(inked), inked));
        }
        scene->insertLayer(layer, scene->layerCount());
    }
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

void reportLatency(benchmark::State &state, const std::vector<double> &milliseconds, const char *unit = "ms",
                   double scale = 1.0)
{
    const QByteArray p50 = QByteArray("p50_") + unit;
    const QByteArray p99 = QByteArray("p99_") + unit;
    state.counters[p50.constData()] = percentile(milliseconds, 0.50) * scale;
    state.counters[p99.constData()] = percentile(milliseconds, 0.99) * scale;
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

// Baseline: the 13 layer pictures of the active-layer-only case (the current
// frame of all 5 layers and 8 backlight frames of the active one) as Indexed8
// images with colour tables, painted by
// QPainter into one transparent ARGB32 premultiplied picture.
void BM_SceneUpdateCachedFramePixmapBaselineQPainter(benchmark::State &state)
{
    QList<QImage> images;
    for (int i = 0; i < 13; ++i) {
        const int layer = i < LayerCount ? i : 0;
        const int frame = i < LayerCount ? ActiveFrame : (i - LayerCount < 4 ? i - LayerCount + 2 : i - LayerCount + 3);
        QImage indexed = coverage(layer, frame);
        indexed.reinterpretAsFormat(QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int a = 0; a < 256; ++a) {
            QColor colour = LayerColours.at(layer);
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

// A pen sampled at 200 Hz sweeping across the frame, a few pixels between
// samples.
QList<InputPoint> strokeSamples()
{
    QList<InputPoint> samples;
    for (int i = 0; i < StrokeSamples; ++i) {
        const double t = double(i) / StrokeSamples;
        samples.append({300.0 + 1300.0 * t, 540.0 + 300.0 * std::sin(2.0 * std::numbers::pi * t),
                        0.5 + 0.4 * std::sin(9.0 * t), i * 5.0});
    }
    return samples;
}

// The canvas's side of one sample: the region the scene reports, repainted
// from the scene into a full-HD window picture.
void runLiveStroke(benchmark::State &state, bool live)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    Model::ToolManager *tools = Model::ToolManager::instance();
    static const bool toolsMade = [tools] {
        tools->createTools();
        return true;
    }();
    benchmark::DoNotOptimize(toolsMade);
    tools->setCurrentTool(Model::Tool::Type::Pen);
    if (auto *pen = qobject_cast<Model::DrawingTool *>(tools->tool(Model::Tool::Type::Pen)))
        pen->setSizeRangeLimits(2.0, 12.0);

    const std::unique_ptr<Model::Scene> scene = makeScene();
    const QList<InputPoint> samples = strokeSamples();
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
