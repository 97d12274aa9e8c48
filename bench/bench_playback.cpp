#include "benchsupport.h"

#include "playbackcontroller.h"
#include "scene/klscene.h"
#include "scene/scene.h"

#include <QEventLoop>
#include <QImage>
#include <QObject>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int PlaybackFrames = 240;
// Twelve drawings a layer, each held twenty frames: every frame is still
// painted whole, as a scrubbed frame always is.
constexpr int Drawings = 12;
constexpr int Hold = PlaybackFrames / Drawings;

// What the canvas does for every frame playback shows: the whole frame
// painted anew from the scene at 1:1, on white paper.
class Canvas
{
public:
    void paint(const Model::Scene &scene)
    {
        QPainter painter(&m_window);
        painter.fillRect(m_window.rect(), Qt::white);
        scene.paintFrame(&painter, scene.frameRect());
    }

private:
    QImage m_window{Width, Height, QImage::Format_ARGB32_Premultiplied};
};

double mean(const std::vector<double> &values)
{
    return values.empty() ? 0.0 : std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

} // namespace

// Playback of 240 frames of a five-layer full-HD scene, backlight off, once
// through at the frame rate given, on the real clock and timers; every frame
// shown is painted whole, as the canvas does. Counters: frames shown, frames
// never shown (skipped) and the skips the clock reported, and how late each
// frame was on screen after its frame boundary (mean and worst, in ms).
void BM_Playback(benchmark::State &state)
{
    const double fps = double(state.range(0));
    Model::KLScene holder;
    Model::Scene *scene = holder.scene();
    fillInkedScene(*scene, Drawings, Hold);
    Canvas canvas;

    int shown = 0;
    int reported = 0;
    std::vector<double> lateness;
    for (auto _ : state) {
        PlaybackController controller;
        controller.setFrameRate(fps);
        controller.setPlaybackModes({});
        shown = 0;
        reported = 0;
        lateness.clear();
        Clock::time_point first;
        // Before the scene's own connection: the clock's moment of showing.
        QObject::connect(&controller, &PlaybackController::showFrame, [&](int) {
            if (shown++ == 0)
                first = Clock::now();
        });
        controller.setCurrentScene(&holder);
        QObject::connect(&controller, &PlaybackController::showFrame, [&](int frame) {
            canvas.paint(*scene);
            const double due = (frame - 1) * 1000.0 / fps;
            lateness.push_back(elapsedMs(first) - due);
        });
        QObject::connect(&controller, &PlaybackController::skippedFrame, [&] { ++reported; });
        QEventLoop loop;
        QObject::connect(&controller, &PlaybackController::playbackChanged, [&loop](bool playing) {
            if (!playing)
                loop.quit();
        });
        controller.startPlayback();
        loop.exec();
    }
    state.counters["frames_shown"] = shown;
    state.counters["frames_skipped"] = PlaybackFrames - shown;
    state.counters["skips_reported"] = reported;
    state.counters["late_ms_mean"] = mean(lateness);
    state.counters["late_ms_max"] = lateness.empty() ? 0.0 : *std::max_element(lateness.begin(), lateness.end());
}
BENCHMARK(BM_Playback)->ArgName("fps")->Arg(24)->Arg(60)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// Baseline: the same 240 frames stepped through as fast as they go, each
// shown by the scene and painted whole, with no clock. Counters: the cost of
// one frame step (mean and p99, in ms) and the frame rate it would allow.
void BM_PlaybackBaselineFrameStep(benchmark::State &state)
{
    Model::KLScene holder;
    Model::Scene *scene = holder.scene();
    fillInkedScene(*scene, Drawings, Hold);
    Canvas canvas;
    std::vector<double> steps;
    for (auto _ : state) {
        for (int frame = 1; frame <= PlaybackFrames; ++frame) {
            const auto start = Clock::now();
            scene->setScrubFrame(frame);
            canvas.paint(*scene);
            steps.push_back(elapsedMs(start));
        }
        scene->unsetScrubFrame();
    }
    state.counters["step_ms_mean"] = mean(steps);
    state.counters["step_ms_p99"] = percentile(steps, 0.99);
    state.counters["max_fps"] = 1000.0 / mean(steps);
}
BENCHMARK(BM_PlaybackBaselineFrameStep)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
