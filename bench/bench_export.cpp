#include "benchsupport.h"

#include "export/exportlayers.h"
#include "export/exrwriter.h"
#include "export/framewriterpool.h"
#include "export/imagefile.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
#include "scene/scene.h"
#include "settings/exportframessettings.h"
#include "strokes/bitmapstroke.h"
#include "systemmemory.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPen>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <map>
#include <memory>
#include <thread>
#include <vector>

using namespace BenchSupport;

// Exporting 240 full-HD frames as composites, one file per frame, beside
// the plain loop that composites and saves one frame after another on one
// thread (its figure and the export's speed-up over it come with the
// export's), the saving alone, the encoding alone, and compositing,
// encoding and writing spread over a given number of threads. Then the
// memory that an export of 8K frames (7680x4320) as OpenEXR takes at its
// peak, beside the plain loop's.
//
// The files go to a RAM disk when there is one (/dev/shm), so that the
// figures show the work of the export rather than the disk's: an OpenEXR
// frame is 16 MB, uncompressed half floats. The 8K frames, 253 MB each, go
// to the temporary folder on disk instead, so as not to fill the memory
// whose use they measure.

namespace {

constexpr int ExportedFrames = 240;

const Model::Scene &exportScene()
{
    static const std::unique_ptr<Model::Scene> scene = scribbledAnimation(ExportedFrames);
    return *scene;
}

Model::ImageFileFormat formatOf(const benchmark::State &state)
{
    return state.range(0) == 1 ? Model::ImageFileFormat::OpenExr : Model::ImageFileFormat::Png;
}

// Each iteration writes every frame into a fresh folder, removed untimed.
struct Scratch
{
    std::unique_ptr<QTemporaryDir> dir;
    void renew() { dir = std::make_unique<QTemporaryDir>(scratchParent() + QStringLiteral("/kelvane-bench-XXXXXX")); }
};

QImage composite(int frame)
{
    static const QList<Model::ExportLayer> layers = Model::exportLayers(exportScene(), Model::ExportSettings::AllLayers);
    return Model::compositeFrame(layers, frame, QSize(Width, Height), Qt::transparent, false);
}

void reportFrames(benchmark::State &state, double seconds)
{
    state.counters["fps"] = ExportedFrames / seconds;
    state.counters["ms_per_frame"] = seconds * 1000.0 / ExportedFrames;
}

QString frameFileName(int frame, Model::ImageFileFormat format)
{
    return QStringLiteral("walk.%1.%2").arg(frame, 4, 10, QChar(u'0')).arg(Model::fileExtension(format));
}

bool saveFrame(const QImage &image, const QString &path, Model::ImageFileFormat format)
{
    return format == Model::ImageFileFormat::Png ? image.save(path, "png") : Model::writeExrImage(image, path);
}

// The plain loop an export is measured against: each frame composited and
// saved in turn on one thread (QImage::save; writeExrImage for OpenEXR,
// which Qt cannot write). Seconds for all frames, measured once per format
// in a run, right before the export's first figure.
double plainLoopSeconds(Model::ImageFileFormat format)
{
    static std::map<Model::ImageFileFormat, double> measured;
    if (const auto it = measured.find(format); it != measured.end())
        return it->second;
    Scratch scratch;
    scratch.renew();
    composite(1);
    const auto start = Clock::now();
    for (int frame = 1; frame <= ExportedFrames; ++frame) {
        if (!saveFrame(composite(frame), scratch.dir->filePath(frameFileName(frame, format)), format))
            return 0.0;
    }
    return measured[format] = elapsedMs(start) / 1000.0;
}

} // namespace

// The whole export: layers composited, encoded and written into the
// export's own folder on every core, then moved into place. Beside its
// frames per second: the plain loop's (plain_loop_fps) and how many times
// faster the export is (x_plain_loop), measured in the same run.
void BM_ExportFrames(benchmark::State &state)
{
    const Model::Scene &scene = exportScene();
    Model::ExportFramesSettings settings;
    settings.name = QStringLiteral("walk");
    settings.combineLayers = true;
    settings.clones = Model::ExportFramesSettings::IncludeClonesSimpleSequence;
    settings.imageFormat = formatOf(state) == Model::ImageFileFormat::OpenExr ? Model::ExportFramesSettings::OpenEXR
                                                                              : Model::ExportFramesSettings::PNG;
    Scratch scratch;
    double plainSeconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        if (plainSeconds <= 0.0)
            plainSeconds = plainLoopSeconds(formatOf(state));
        scratch.renew();
        settings.exportDir = scratch.dir->path();
        state.ResumeTiming();
        const auto start = Clock::now();
        const Model::ExportResult result = scene.exportFrames(settings, nullptr);
        const double seconds = elapsedMs(start) / 1000.0;
        if (result.status != Model::ExportResult::Finished || plainSeconds <= 0.0)
            state.SkipWithError(result.message.isEmpty() ? "saving failed" : qPrintable(result.message));
        reportFrames(state, seconds);
        state.counters["plain_loop_fps"] = ExportedFrames / plainSeconds;
        state.counters["x_plain_loop"] = plainSeconds / seconds;
        state.counters["threads"] = QThread::idealThreadCount();
        state.PauseTiming();
        scratch.dir.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExportFrames)->ArgName("exr")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

// Baseline: the same composited frames saved in a plain loop, QImage::save
// for PNG (Qt has no OpenEXR writer; writeExrImage stands in for it), only
// the saving timed.
void BM_ExportFramesBaselineQImageSave(benchmark::State &state)
{
    const Model::ImageFileFormat format = formatOf(state);
    Scratch scratch;
    for (auto _ : state) {
        scratch.renew();
        double seconds = 0.0;
        for (int frame = 1; frame <= ExportedFrames; ++frame) {
            const QImage image = composite(frame);
            const QString path = scratch.dir->filePath(frameFileName(frame, format));
            const auto start = Clock::now();
            const bool saved = saveFrame(image, path, format);
            seconds += elapsedMs(start) / 1000.0;
            if (!saved)
                state.SkipWithError("saving failed");
        }
        state.SetIterationTime(seconds);
        reportFrames(state, seconds);
        scratch.dir.reset();
    }
}
BENCHMARK(BM_ExportFramesBaselineQImageSave)
    ->ArgName("exr")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(2)->UseManualTime();

// Baseline: the encoding alone, into memory, as the single-threaded loop
// does it; the rest of an export's time is compositing and the disk.
void BM_ExportFramesBaselineEncodeOnly(benchmark::State &state)
{
    const Model::ImageFileFormat format = formatOf(state);
    for (auto _ : state) {
        double seconds = 0.0;
        for (int frame = 1; frame <= ExportedFrames; ++frame) {
            const QImage image = composite(frame);
            const auto start = Clock::now();
            const QByteArray data = Model::encodeImage(image, format);
            seconds += elapsedMs(start) / 1000.0;
            benchmark::DoNotOptimize(data.constData());
        }
        state.SetIterationTime(seconds);
        reportFrames(state, seconds);
    }
}
BENCHMARK(BM_ExportFramesBaselineEncodeOnly)
    ->ArgName("exr")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(2)->UseManualTime();

// The compositing alone, the part of an export's time that is neither
// encoding nor writing.
void BM_ExportFramesCompositing(benchmark::State &state)
{
    composite(1);
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int frame = 1; frame <= ExportedFrames; ++frame) {
            const QImage image = composite(frame);
            benchmark::DoNotOptimize(image.constBits());
        }
        reportFrames(state, elapsedMs(start) / 1000.0);
    }
}
BENCHMARK(BM_ExportFramesCompositing)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

// Compositing, encoding and writing on a given number of threads, each
// taking the next frame until all are written, without the export's order,
// progress and folder: what the cores can give at most.
void BM_ExportFramesThreaded(benchmark::State &state)
{
    const Model::ImageFileFormat format = formatOf(state);
    const int threads = int(state.range(1));
    Scratch scratch;
    composite(1);
    for (auto _ : state) {
        state.PauseTiming();
        scratch.renew();
        state.ResumeTiming();
        const auto start = Clock::now();
        std::atomic<int> next{1};
        std::atomic<bool> failed{false};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&] {
                for (int frame = next++; frame <= ExportedFrames; frame = next++) {
                    const QByteArray data = Model::encodeImage(composite(frame), format);
                    QFile file(scratch.dir->filePath(QStringLiteral("walk.%1.%2").arg(frame).arg(Model::fileExtension(format))));
                    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
                        failed = true;
                }
            });
        }
        for (std::thread &worker : workers)
            worker.join();
        const double seconds = elapsedMs(start) / 1000.0;
        if (failed)
            state.SkipWithError("writing failed");
        reportFrames(state, seconds);
        state.PauseTiming();
        scratch.dir.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ExportFramesThreaded)
    ->ArgNames({"exr", "threads"})
    ->ArgsProduct({{0, 1}, {1, 2, 4, 8}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

namespace {

constexpr QSize LargeSize(7680, 4320);
constexpr int LargeFrames = 16;
constexpr double MiB = 1024.0 * 1024.0;

// One 8K stroke layer of LargeFrames drawings, each a full-HD scribble in
// another part of the frame.
const Model::Scene &largeScene()
{
    static const std::unique_ptr<Model::Scene> scene = [] {
        Model::initAlphaCompositionTables();
        auto built = std::make_unique<Model::Scene>();
        built->setFrameSize(LargeSize, KL::FitMode::FitModeIgnore);
        built->setFrameRate(24.0);
        auto layer = std::make_shared<Model::StrokeLayer>(QColor(Qt::black), LargeSize, built.get());
        layer->takeCell(0);
        const auto pen = [](QRandomGenerator &random) {
            return QPen(QColor(0, 0, 0), 2.0 + random.bounded(5.0), Qt::SolidLine, Qt::RoundCap);
        };
        for (int d = 0; d < LargeFrames; ++d) {
            layer->insertCell(layer->frameCount(), layer->newCell());
            const QRect place(QPoint((d % 4) * Width, (d / 4 % 4) * Height), QSize(Width, Height));
            layer->addStroke(layer->frameCount(),
                             std::make_unique<Model::BitmapStroke>(scribbledMask(quint32(d), pen), place));
        }
        built->insertLayer(layer, 0);
        built->updateMaxFrameNumber();
        built->setFrameRange(1, LargeFrames, 1, 0);
        return built;
    }();
    return *scene;
}

// What the goal allows an export at its peak: 1 GiB, or a tenth of the
// machine's memory where that is more (as the machine has it, whatever the
// export was made to believe).
double memoryGoalMiB()
{
    return std::max(1024.0, double(Model::physicalMemoryBytes()) / 10.0 / MiB);
}

void reportLargeFrames(benchmark::State &state, double seconds, const ResidentPeak &memory)
{
    state.counters["fps"] = LargeFrames / seconds;
    state.counters["frame_MB"] = double(LargeSize.width()) * LargeSize.height() * 4 / MiB;
    state.counters["peak_MB"] = memory.peakAddedMB();
    state.counters["goal_MB"] = memoryGoalMiB();
    state.counters["x_goal"] = memory.peakAddedMB() / memoryGoalMiB();
}

} // namespace

// The 8K export as OpenEXR: the memory it adds at its peak (peak_MB; the
// scene is in memory already) beside one composed frame's (frame_MB) and
// the goal (goal_MB, and x_goal the peak's share of it), with the workers
// it runs. memory:1 makes the export believe that the machine's memory has
// no end, so that each core takes a frame, as before the memory bounded
// them: the figure the bound is measured against, in the same run.
void BM_ExportFramesLarge(benchmark::State &state)
{
    const Model::Scene &scene = largeScene();
    const bool unbounded = state.range(0) == 1;
    Model::ExportFramesSettings settings;
    settings.name = QStringLiteral("walk");
    settings.combineLayers = true;
    settings.clones = Model::ExportFramesSettings::IncludeClonesSimpleSequence;
    settings.imageFormat = Model::ExportFramesSettings::OpenEXR;
    for (auto _ : state) {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kelvane-bench-XXXXXX"));
        settings.exportDir = dir.path();
        if (unbounded)
            Model::assumePhysicalMemoryBytes(std::numeric_limits<qint64>::max() / 2);
        const int workers = Model::FrameWriterPool::workerCount(LargeSize, Model::ImageFileFormat::OpenExr);
        ResidentPeak memory;
        const auto start = Clock::now();
        const Model::ExportResult result = scene.exportFrames(settings, nullptr);
        const double seconds = elapsedMs(start) / 1000.0;
        memory.stop();
        Model::assumePhysicalMemoryBytes(0);
        if (result.status != Model::ExportResult::Finished)
            state.SkipWithError(qPrintable(result.message));
        reportLargeFrames(state, seconds, memory);
        state.counters["workers"] = workers;
    }
}
BENCHMARK(BM_ExportFramesLarge)->ArgName("memory")->Arg(0)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Baseline: the plain loop at 8K, each frame composed and saved in turn
// (writeExrImage) on one thread, holding one frame at a time.
void BM_ExportFramesLargeBaselinePlainLoop(benchmark::State &state)
{
    const QList<Model::ExportLayer> layers = Model::exportLayers(largeScene(), Model::ExportSettings::AllLayers);
    for (auto _ : state) {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kelvane-bench-XXXXXX"));
        ResidentPeak memory;
        const auto start = Clock::now();
        for (int frame = 1; frame <= LargeFrames; ++frame) {
            const QImage image = Model::compositeFrame(layers, frame, LargeSize, Qt::transparent, false);
            if (!Model::writeExrImage(image, dir.filePath(frameFileName(frame, Model::ImageFileFormat::OpenExr))))
                state.SkipWithError("saving failed");
        }
        const double seconds = elapsedMs(start) / 1000.0;
        memory.stop();
        reportLargeFrames(state, seconds, memory);
    }
}
BENCHMARK(BM_ExportFramesLargeBaselinePlainLoop)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
