#include "benchsupport.h"

#include "drawings/drawingimagecache.h"
#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/scene.h"
#include "strokes/rleimage.h"
#include "strokes/singlestroke.h"
#include "tools/pentool.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QList>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int StrokesPerDrawing = 20;
// Where each drawing's figure lies: 480 x 360 pixels, 8 % of the frame.
constexpr int FigureWidth = 480;
constexpr int FigureHeight = 360;
constexpr double MegaByte = 1024.0 * 1024.0;

using InputPoint = Model::SingleStroke::InputPoint;

// The pencil as its default preset sets it up: 2.7 to 6 pixels across.
std::unique_ptr<Model::PenTool> defaultPencil()
{
    auto pencil = std::make_unique<Model::PenTool>(Model::Tool::PenType::Pencil);
    pencil->setSizeRangeLimits(0.0, 45.0);
    pencil->setSizeRangePercent(5.0, 12.31);
    pencil->setOpacityRangeLimits(0.0, 0.75);
    pencil->setOpacityRangePercent(2.0, 56.0);
    return pencil;
}

// One line of a figure: a pen sampled every 3 pixels along a curve that
// turns slowly, 180 to 330 pixels long, its pressure rising and falling,
// kept inside the figure's box.
QList<InputPoint> figureLine(QRandomGenerator &random, const QRectF &box)
{
    QList<InputPoint> samples;
    QPointF at(box.left() + random.bounded(box.width()), box.top() + random.bounded(box.height()));
    double heading = random.bounded(2.0 * std::numbers::pi);
    const double turn = random.bounded(0.06) - 0.03;
    const int count = 60 + int(random.bounded(50));
    for (int i = 0; i < count; ++i) {
        const double pressure = 0.55 + 0.3 * std::sin(i * std::numbers::pi / count) - 0.2 * double(i == 0);
        samples.append({at.x(), at.y(), pressure, i * 5.0});
        heading += turn;
        at += QPointF(3.0 * std::cos(heading), 3.0 * std::sin(heading));
        if (!box.contains(at)) {
            heading += std::numbers::pi * 0.75;
            at.setX(std::clamp(at.x(), box.left(), box.right()));
            at.setY(std::clamp(at.y(), box.top(), box.bottom()));
        }
    }
    return samples;
}

// A finished pen stroke, as the scene hands one to a drawing: every sample
// refitted as drawn, the fit finished at the end. Its mask is left for the
// drawing to render in one go, which gives the same pixels far faster than
// gathering it segment by segment.
std::unique_ptr<Model::SingleStroke> drawnStroke(const Model::Tool &tool, const QList<InputPoint> &samples)
{
    auto stroke = std::make_unique<Model::SingleStroke>(&tool);
    for (const InputPoint &sample : samples) {
        if (!stroke->isNearLastPoint(sample.position()))
            stroke->addPoint(sample);
    }
    stroke->finish();
    return stroke;
}

// A scene of one stroke layer of `drawings` full-HD drawings, each a figure
// of 20 pencil lines somewhere else in the frame. toolCopies, when given,
// receives one copy of the tool per stroke: what every stroke kept before
// strokes shared their copies.
std::unique_ptr<Model::Scene> drawnScene(int drawings, std::vector<std::unique_ptr<Model::Tool>> *toolCopies)
{
    const std::unique_ptr<Model::PenTool> pencil = defaultPencil();
    auto scene = std::make_unique<Model::Scene>();
    scene->setFrameSize(QSize(Width, Height), KL::FitMode::FitModeIgnore);
    auto layer = std::make_shared<Model::StrokeLayer>(Qt::black, QSize(Width, Height), scene.get());
    QRandomGenerator random(29);
    for (int d = 1; d <= drawings; ++d) {
        if (layer->frameCount() < d)
            layer->insertCell(layer->frameCount(), layer->newCell());
        const QRectF box(random.bounded(Width - FigureWidth), random.bounded(Height - FigureHeight), FigureWidth,
                         FigureHeight);
        for (int s = 0; s < StrokesPerDrawing; ++s) {
            layer->addStroke(d, drawnStroke(*pencil, figureLine(random, box)));
            if (toolCopies)
                toolCopies->emplace_back(pencil->clone());
        }
    }
    scene->insertLayer(layer, 0);
    scene->updateMaxFrameNumber();
    return scene;
}

const Model::StrokeDrawing *drawingAt(const Model::Scene &scene, int frame)
{
    const auto *layer = qobject_cast<const Model::StrokeLayer *>(scene.layerAt(0).get());
    const std::shared_ptr<Model::LayerItem> item = layer ? layer->cell(frame) : nullptr;
    return item ? dynamic_cast<const Model::StrokeDrawing *>(item->drawing().get()) : nullptr;
}

// The process's resident memory, after handing the heap's free pages back to
// the system, so that what earlier benchmarks freed does not count.
qint64 residentBytes()
{
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

qint64 availableBytes()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.simplified().split(' ').value(1).toLongLong() * 1024;
    }
    return 0;
}

struct SceneFigures
{
    qint64 codeBytes = 0;
    qint64 recordBytes = 0;
    qint64 inkPixels = 0;
    QRect bounds;
};

// What the drawings keep: the run-length code of their coverage, and the
// records of their strokes (the vector data as the file keeps it), with
// the ink they show.
SceneFigures measure(const Model::Scene &scene, int drawings)
{
    SceneFigures figures;
    for (int frame = 1; frame <= drawings; ++frame) {
        const Model::StrokeDrawing *drawing = drawingAt(scene, frame);
        if (!drawing)
            continue;
        const QImage image = drawing->image();
        figures.codeBytes += Model::RleImage(image).codes().size();
        QByteArray record;
        QDataStream stream(&record, QIODevice::WriteOnly);
        stream.setFloatingPointPrecision(QDataStream::SinglePrecision);
        drawing->root().write(stream);
        figures.recordBytes += record.size();
        for (int y = 0; y < image.height(); ++y) {
            const uchar *line = image.constScanLine(y);
            for (int x = 0; x < image.width(); ++x)
                figures.inkPixels += line[x] != 0;
        }
        if (frame == 1)
            figures.bounds = drawing->root().boundingRect();
    }
    return figures;
}

void runDrawingMemory(benchmark::State &state, bool fullFrames)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    const int drawings = int(state.range(0));
    const qint64 frameBytes = qint64(Width) * Height;
    if (fullFrames) {
        // Every frame held decoded, a tool copy per stroke, and a margin.
        const qint64 needed = drawings * (frameBytes + StrokesPerDrawing * 16 * 1024) + qint64(2) * 1024 * 1024 * 1024;
        if (availableBytes() < needed) {
            state.SkipWithError("not enough free memory for the full-frame layout");
            return;
        }
    }
    Model::DrawingImageCache *cache = Model::DrawingImageCache::instance();
    // What the OpenGL driver sets up on its first renders stays for the
    // process's life and is no part of any scene.
    drawnScene(2, nullptr);
    for (auto _ : state) {
        cache->clear();
        const qint64 before = residentBytes();
        const qint64 heapBefore = heapInUse();
        std::vector<std::unique_ptr<Model::Tool>> toolCopies;
        std::vector<QImage> frames;
        const std::unique_ptr<Model::Scene> scene = drawnScene(drawings, fullFrames ? &toolCopies : nullptr);
        if (fullFrames) {
            // The layout before drawings kept their code: every drawing's
            // frame decoded for as long as the drawing lives.
            for (int frame = 1; frame <= drawings; ++frame)
                frames.push_back(drawingAt(*scene, frame)->image());
        }
        const qint64 after = residentBytes();
        const qint64 heap = heapInUse() - heapBefore;
        state.PauseTiming();
        const SceneFigures figures = measure(*scene, drawings);
        state.ResumeTiming();

        const double scene_MB = double(after - before) / MegaByte;
        state.counters["rss_MB"] = double(after) / MegaByte;
        state.counters["scene_MB"] = scene_MB;
        state.counters["heap_MB"] = double(heap) / MegaByte;
        state.counters["code_MB"] = double(figures.codeBytes) / MegaByte;
        state.counters["records_MB"] = double(figures.recordBytes) / MegaByte;
        state.counters["cache_MB"] = double(cache->bytesHeld()) / MegaByte;
        state.counters["cache_bound_MB"] = double(cache->capacity()) / MegaByte;
        state.counters["ink_percent"] = 100.0 * double(figures.inkPixels) / double(frameBytes * drawings);
        state.counters["bounds_percent"] =
            100.0 * double(figures.bounds.width()) * figures.bounds.height() / double(frameBytes);
        // The goal: the scene within four times its code and the cache's bound.
        state.counters["scene_vs_goal"] =
            (double(after - before)) / (4.0 * double(figures.codeBytes) + double(cache->capacity()));
    }
    cache->clear();
}

} // namespace

// Resident memory of a scene of 500 or 3,000 full-HD drawings of 20 pencil
// lines each, a figure spanning 8 % of the frame, built through the scene's
// layer and drawn strokes as the canvas hands them over. Counters: rss_MB,
// the whole process; scene_MB, what building the scene added to it (the
// strokes, the drawings' code and the cache of decoded images, at most
// cache_bound_MB); code_MB, the drawings' run-length code; records_MB, their
// strokes as the file keeps them; scene_vs_goal, scene_MB over four times
// the code plus the cache's bound (the goal: below 1).
void BM_DrawingMemory(benchmark::State &state)
{
    runDrawingMemory(state, false);
}
BENCHMARK(BM_DrawingMemory)
    ->ArgName("drawings")->Arg(500)->Arg(3000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Baseline: the same scenes in the layout before, every drawing's frame kept
// decoded (2 MB at full HD, whatever is drawn) and a copy of the pencil kept
// by every stroke. Measured the same way; skipped when the machine lacks the
// memory.
void BM_DrawingMemoryBaselineFullFrames(benchmark::State &state)
{
    runDrawingMemory(state, true);
}
BENCHMARK(BM_DrawingMemoryBaselineFullFrames)
    ->ArgName("drawings")->Arg(500)->Arg(3000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
