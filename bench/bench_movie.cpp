#include "benchsupport.h"

#include "export/exportlayers.h"
#include "scene/scene.h"
#include "settings/exportvideosettings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace BenchSupport;

// Movie exports beside FFmpeg's own program fed the same frames through a
// pipe, as programs that hand their frames to a separate ffmpeg do:
// - 240 full-HD frames to MP4 (H.264 high profile, yuv420p, BT.709) and to
//   ProRes 4444 with alpha: frames per second, the memory the export adds
//   at its peak (the scene is already in memory) beside the ffmpeg
//   process's whole peak, and the share of the export's time that the
//   frame source (compositing the layers) takes;
// - 120 frames at 960x540 to GIF beside ffmpeg's two passes of palettegen
//   and paletteuse: time and bytes.
//
// Debian's ffmpeg program (package "ffmpeg") is the baseline; without it the
// baselines skip. The files go to a RAM disk when there is one.

namespace {

constexpr int MovieFrames = 240;
constexpr int GifFrames = 120;

enum MovieKind { Mp4 = 0, ProRes4444 = 1 };

const Model::Scene &movieScene()
{
    static const std::unique_ptr<Model::Scene> scene = scribbledAnimation(MovieFrames);
    return *scene;
}

const Model::Scene &gifScene()
{
    static const std::unique_ptr<Model::Scene> scene = scribbledAnimation(GifFrames);
    return *scene;
}

QString ffmpegProgram()
{
    for (const char *dir : {"/usr/bin", "/usr/local/bin"}) {
        const QString path = QDir(QLatin1String(dir)).filePath(QStringLiteral("ffmpeg"));
        if (QFileInfo(path).isExecutable())
            return path;
    }
    return {};
}

constexpr char NoFfmpeg[] = "ffmpeg not installed (apt-get install ffmpeg)";

// One run of the ffmpeg program reading raw frames from its standard input.
class FfmpegProcess
{
public:
    bool start(const QStringList &arguments)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        std::vector<QByteArray> storage;
        storage.push_back(QFile::encodeName(ffmpegProgram()));
        for (const QString &argument : arguments)
            storage.push_back(argument.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &argument : storage)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&m_pid, argv.front(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[0]);
        m_input = pipeEnds[1];
        return spawned == 0;
    }

    bool write(const QImage &image)
    {
        for (int y = 0; y < image.height(); ++y) {
            const char *row = reinterpret_cast<const char *>(image.constScanLine(y));
            qsizetype left = qsizetype(image.width()) * 4;
            while (left > 0) {
                const ssize_t written = ::write(m_input, row, size_t(left));
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    return false;
                row += written;
                left -= written;
            }
        }
        return true;
    }

    pid_t pid() const { return m_pid; }

    // Closes the input and waits for the program; false when it failed.
    bool finish()
    {
        close(m_input);
        int status = 0;
        return waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t m_pid = 0;
    int m_input = -1;
};

QStringList rawInput(QSize size)
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
            QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("bgra"),
            QStringLiteral("-s"), QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
            QStringLiteral("-r"), QStringLiteral("24"), QStringLiteral("-i"), QStringLiteral("-")};
}

// The same codec settings as the export's.
QStringList movieArguments(MovieKind kind, const QString &output)
{
    QStringList arguments = rawInput(QSize(Width, Height));
    if (kind == Mp4) {
        arguments << QStringLiteral("-vf") << QStringLiteral("scale=out_color_matrix=bt709:out_range=tv")
                  << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-profile:v")
                  << QStringLiteral("high") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p")
                  << QStringLiteral("-color_primaries") << QStringLiteral("bt709") << QStringLiteral("-color_trc")
                  << QStringLiteral("bt709") << QStringLiteral("-colorspace") << QStringLiteral("bt709")
                  << QStringLiteral("-movflags") << QStringLiteral("+faststart");
    } else {
        arguments << QStringLiteral("-vf") << QStringLiteral("scale=out_color_matrix=bt709:out_range=tv")
                  << QStringLiteral("-c:v") << QStringLiteral("prores_ks") << QStringLiteral("-profile:v")
                  << QStringLiteral("4444") << QStringLiteral("-pix_fmt") << QStringLiteral("yuva444p10le")
                  << QStringLiteral("-movflags") << QStringLiteral("+faststart");
    }
    return arguments << output;
}

Model::ExportVideoSettings movieSettings(MovieKind kind, const QString &dir)
{
    Model::ExportVideoSettings settings;
    settings.exportDir = dir;
    settings.videoFormat = kind == Mp4 ? Model::ExportVideoSettings::MP4 : Model::ExportVideoSettings::ProRes;
    settings.includeAlpha = kind == ProRes4444;
    settings.name = kind == Mp4 ? QStringLiteral("walk.mp4") : QStringLiteral("walk.mov");
    return settings;
}

// The frames as the export's frame source paints them, in the bytes a
// pipe of raw BGRA carries (straight alpha).
QImage pipedFrame(const QList<Model::ExportLayer> &layers, int frame, QSize output, const QColor &background)
{
    return Model::compositeFrame(layers, frame, QSize(Width, Height), output, background)
        .convertToFormat(QImage::Format_ARGB32);
}

double seconds(Clock::time_point start)
{
    return elapsedMs(start) / 1000.0;
}

qint64 fileSize(const QString &path)
{
    return QFileInfo(path).size();
}

} // namespace

// The whole export through the scene: frames painted on the encoder's
// thread, encoded and muxed by the pipeline's stages. The frame source's
// share is the compositing alone of the same frames (timed on its own
// first) over the export's time.
void BM_ExportMovie(benchmark::State &state)
{
    const auto kind = MovieKind(state.range(0));
    const Model::Scene &scene = movieScene();
    const QColor background = kind == ProRes4444 ? QColor(Qt::transparent) : QColor(Qt::white);
    const QList<Model::ExportLayer> layers = Model::exportLayers(scene, Model::ExportSettings::AllLayers);
    for (auto _ : state) {
        state.PauseTiming();
        const auto sourceStart = Clock::now();
        for (int frame = 1; frame <= MovieFrames; ++frame)
            benchmark::DoNotOptimize(Model::compositeFrame(layers, frame, QSize(Width, Height), QSize(Width, Height),
                                                           background).constBits());
        const double sourceSeconds = seconds(sourceStart);
        QTemporaryDir dir(scratchParent() + QStringLiteral("/kelvane-bench-XXXXXX"));
        const Model::ExportVideoSettings settings = movieSettings(kind, dir.path());
        state.ResumeTiming();

        ResidentPeak memory;
        const auto start = Clock::now();
        const Model::ExportResult result = scene.exportVideo(settings, nullptr);
        const double exportSeconds = seconds(start);
        memory.stop();
        if (result.status != Model::ExportResult::Finished)
            state.SkipWithError(qPrintable(result.message));
        state.counters["fps"] = MovieFrames / exportSeconds;
        state.counters["peak_MB"] = memory.peakAddedMB();
        state.counters["source_share"] = sourceSeconds / exportSeconds;
        state.counters["MB"] = double(fileSize(dir.filePath(settings.name))) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_ExportMovie)
    ->ArgName("prores4444")->Arg(Mp4)->Arg(ProRes4444)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Baseline: the same frames composited here and piped as raw BGRA into
// ffmpeg with the same codec settings; peak_MB is the ffmpeg process's
// whole peak.
void BM_ExportMovieBaselineFfmpegPipe(benchmark::State &state)
{
    const auto kind = MovieKind(state.range(0));
    if (ffmpegProgram().isEmpty()) {
        state.SkipWithError(NoFfmpeg);
        return;
    }
    const Model::Scene &scene = movieScene();
    const QColor background = kind == ProRes4444 ? QColor(Qt::transparent) : QColor(Qt::white);
    const QList<Model::ExportLayer> layers = Model::exportLayers(scene, Model::ExportSettings::AllLayers);
    for (auto _ : state) {
        QTemporaryDir dir(scratchParent() + QStringLiteral("/kelvane-bench-XXXXXX"));
        const QString output = dir.filePath(kind == Mp4 ? QStringLiteral("walk.mp4") : QStringLiteral("walk.mov"));
        const auto start = Clock::now();
        FfmpegProcess ffmpeg;
        bool fed = ffmpeg.start(movieArguments(kind, output));
        ResidentPeak memory(ffmpeg.pid());
        for (int frame = 1; fed && frame <= MovieFrames; ++frame)
            fed = ffmpeg.write(pipedFrame(layers, frame, QSize(Width, Height), background));
        const bool done = ffmpeg.finish();
        const double total = seconds(start);
        memory.stop();
        if (!fed || !done)
            state.SkipWithError("ffmpeg failed");
        state.counters["fps"] = MovieFrames / total;
        state.counters["peak_MB"] = memory.peakMB();
        state.counters["MB"] = double(fileSize(output)) / (1024.0 * 1024.0);
    }
}
BENCHMARK(BM_ExportMovieBaselineFfmpegPipe)
    ->ArgName("prores4444")->Arg(Mp4)->Arg(ProRes4444)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// 120 frames at half size (960x540) through the GIF encoder.
void BM_ExportGif(benchmark::State &state)
{
    const Model::Scene &scene = gifScene();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir(scratchParent() + QStringLiteral("/kelvane-bench-XXXXXX"));
        Model::ExportVideoSettings settings;
        settings.exportDir = dir.path();
        settings.name = QStringLiteral("walk.gif");
        settings.videoFormat = Model::ExportVideoSettings::GIF;
        settings.scalePercent = 50;
        state.ResumeTiming();
        const auto start = Clock::now();
        const Model::ExportResult result = scene.exportVideo(settings, nullptr);
        const double total = seconds(start);
        if (result.status != Model::ExportResult::Finished)
            state.SkipWithError(qPrintable(result.message));
        state.counters["fps"] = GifFrames / total;
        state.counters["KB"] = double(fileSize(dir.filePath(settings.name))) / 1024.0;
    }
}
BENCHMARK(BM_ExportGif)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Baseline: the same half-size frames piped into ffmpeg's two passes,
// palettegen for one palette over all frames, then paletteuse.
void BM_ExportGifBaselineFfmpegPalette(benchmark::State &state)
{
    if (ffmpegProgram().isEmpty()) {
        state.SkipWithError(NoFfmpeg);
        return;
    }
    const Model::Scene &scene = gifScene();
    const QList<Model::ExportLayer> layers = Model::exportLayers(scene, Model::ExportSettings::AllLayers);
    const QSize half(Width / 2, Height / 2);
    for (auto _ : state) {
        QTemporaryDir dir(scratchParent() + QStringLiteral("/kelvane-bench-XXXXXX"));
        const QString output = dir.filePath(QStringLiteral("walk.gif"));
        const auto start = Clock::now();
        FfmpegProcess ffmpeg;
        bool fed = ffmpeg.start(rawInput(half) << QStringLiteral("-filter_complex")
                                               << QStringLiteral("[0:v]split[a][b];[a]palettegen[p];[b][p]paletteuse")
                                               << output);
        for (int frame = 1; fed && frame <= GifFrames; ++frame)
            fed = ffmpeg.write(pipedFrame(layers, frame, half, Qt::white));
        const bool done = ffmpeg.finish();
        const double total = seconds(start);
        if (!fed || !done)
            state.SkipWithError("ffmpeg failed");
        state.counters["fps"] = GifFrames / total;
        state.counters["KB"] = double(fileSize(output)) / 1024.0;
    }
}
BENCHMARK(BM_ExportGifBaselineFfmpegPalette)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
