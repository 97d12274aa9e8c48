#pragma once

// Helpers the benchmarks share: the renderer, full-HD masks and scenes,
// latency figures, peak memory and a sound file.

#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"
#include "scene/scene.h"
#include "strokes/bitmapstroke.h"
#include "strokes/singlestroke.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRandomGenerator>
#include <QSize>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

namespace BenchSupport {

using Clock = std::chrono::steady_clock;

inline constexpr int Width = 1920;
inline constexpr int Height = 1080;

inline constexpr char NoOpenGL[] = "no OpenGL context (run under an X server with QT_QPA_PLATFORM=xcb)";

// One full-HD renderer for the whole program: whichever benchmark runs first
// sets it up, and every later one finds it ready.
inline bool rendererReady()
{
    static const bool ready = [] {
        Model::initAlphaCompositionTables();
        Model::OffscreenRenderer *renderer = Model::OffscreenRenderer::instance();
        if (!renderer->size().isValid())
            renderer->initialize(QSize(Width, Height));
        return renderer->size().isValid();
    }();
    return ready;
}

// A full-HD mask with every byte non-zero: no empty stretch to skip. The seed
// keeps every run's pixels the same.
inline QImage denseMask(quint32 seed)
{
    QImage image(Width, Height, QImage::Format_Alpha8);
    QRandomGenerator random(seed);
    for (int y = 0; y < Height; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < Width; ++x)
            row[x] = uchar(1 + random.bounded(255));
    }
    return image;
}

// A full-HD frame as an animator leaves it: mostly empty paper with a few
// dozen anti-aliased curves across it. pen(random) gives each curve its pen,
// drawing on the same generator after the curve's four points.
template<typename Pen>
QImage scribbledMask(quint32 seed, Pen pen)
{
    QImage image(Width, Height, QImage::Format_Alpha8);
    image.fill(0);
    QRandomGenerator random(seed);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 36; ++i) {
        const auto point = [&random] {
            return QPointF(random.bounded(double(Width)), random.bounded(double(Height)));
        };
        QPainterPath path(point());
        path.cubicTo(point(), point(), point());
        painter.setPen(pen(random));
        painter.drawPath(path);
    }
    return image;
}

inline constexpr int InkedLayerCount = 5;
inline const QList<QColor> InkedLayerColours{Qt::black, Qt::darkBlue, Qt::darkRed, Qt::darkGreen, Qt::darkMagenta};

// The coverage of one drawing: a figure of a dozen anti-aliased pencil-like
// curves of 3 to 9 pixels, somewhere else for every layer and frame, as an
// animator's cleaned-up drawing might cover a third of the frame. inked,
// when given, receives the rectangle that holds the ink.
inline QImage inkedCoverage(int layer, int frame, QRect *inked = nullptr)
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

// Fills an empty scene: full-HD frames, five stroke layers of `drawings`
// drawings each, every drawing held for `hold` frames and holding its ink
// within tight bounds, as pen strokes do. The frame range spans every frame,
// frame 1 of the top layer is active and the backlight is off.
inline void fillInkedScene(Model::Scene &scene, int drawings, int hold)
{
    Model::initAlphaCompositionTables();
    scene.setFrameSize(QSize(Width, Height), KL::FitMode::FitModeIgnore);
    for (int l = 0; l < InkedLayerCount; ++l) {
        auto layer = std::make_shared<Model::StrokeLayer>(InkedLayerColours.at(l), QSize(Width, Height), &scene);
        for (int d = 1; d <= drawings; ++d) {
            const int frame = (d - 1) * hold + 1;
            if (layer->frameCount() < frame)
                layer->insertCell(layer->frameCount(), layer->newCell());
            QRect inked;
            const QImage ink = inkedCoverage(l, d, &inked);
            layer->addStroke(frame, std::make_unique<Model::BitmapStroke>(ink.copy(inked), inked));
            for (int h = 1; h < hold; ++h)
                layer->insertCell(layer->frameCount(), std::make_shared<Model::LayerItem>(layer->cell(frame)));
        }
        scene.insertLayer(layer, scene.layerCount());
    }
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, drawings * hold, 1, 0);
}

// An animation on twos at full HD: frames / 2 ink drawings, each a frame
// full of scribbled curves, held for two frames, over a colour layer
// cycling 12 drawings. The frame range spans every frame, 24 fps.
inline std::unique_ptr<Model::Scene> scribbledAnimation(int frames)
{
    Model::initAlphaCompositionTables();
    auto built = std::make_unique<Model::Scene>();
    const QSize size(Width, Height);
    built->setFrameSize(size, KL::FitMode::FitModeIgnore);
    built->setFrameRate(24.0);
    const auto pen = [](QRandomGenerator &random) {
        return QPen(QColor(0, 0, 0), 2.0 + random.bounded(5.0), Qt::SolidLine, Qt::RoundCap);
    };
    const auto addLayer = [&](const QColor &colour, int drawings, int hold, quint32 seed) {
        auto layer = std::make_shared<Model::StrokeLayer>(colour, size, built.get());
        layer->takeCell(0);
        for (int d = 0; d < drawings; ++d) {
            layer->insertCell(layer->frameCount(), layer->newCell());
            layer->addStroke(layer->frameCount(),
                             std::make_unique<Model::BitmapStroke>(scribbledMask(seed + quint32(d), pen),
                                                                   QRect(0, 0, Width, Height)));
            for (int h = 1; h < hold; ++h)
                layer->insertCell(layer->frameCount(), std::make_shared<Model::LayerItem>(layer->cells().last()));
        }
        built->insertLayer(layer, built->layerCount());
        return built->indexOfLayer(layer);
    };
    addLayer(Qt::black, frames / 2, 2, 1000);
    const int colour = addLayer(QColor(200, 60, 40), 12, 2, 5000);
    built->setLayerBeyondLast(colour, Model::Layer::CycleDrawings);
    built->updateMaxFrameNumber();
    built->setFrameRange(1, frames, 1, 0);
    return built;
}

// Where benchmarks write their files: a RAM disk when there is one, so that
// the figures show the work rather than the disk's.
inline QString scratchParent()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

// Bytes of heap in use now, for benchmarks that report what an operation
// holds at its peak: sample it while the operation runs.
inline qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// The highest value a measure reaches while an operation runs, sampled on a
// thread of its own every interval, so that a peak inside one step of the
// operation shows too. Sampling runs from start() until stop().
class PeakSampler
{
public:
    PeakSampler(std::function<qint64()> measure, std::chrono::microseconds interval)
        : m_measure(std::move(measure))
        , m_interval(interval)
    {
    }
    ~PeakSampler() { stop(); }
    PeakSampler(const PeakSampler &) = delete;
    PeakSampler &operator=(const PeakSampler &) = delete;

    void start()
    {
        stop();
        m_start = m_measure();
        m_peak = m_start;
        m_running = true;
        m_thread = std::thread([this] {
            while (m_running) {
                const qint64 now = m_measure();
                qint64 peak = m_peak;
                while (now > peak && !m_peak.compare_exchange_weak(peak, now)) {
                }
                std::this_thread::sleep_for(m_interval);
            }
        });
    }
    void stop()
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }
    // In MiB: the highest value, and how far it rose above the start.
    double peakMB() const { return double(m_peak) / (1024.0 * 1024.0); }
    double peakAddedMB() const { return double(m_peak - m_start) / (1024.0 * 1024.0); }

private:
    const std::function<qint64()> m_measure;
    const std::chrono::microseconds m_interval;
    qint64 m_start = 0;
    std::atomic<qint64> m_peak{0};
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};

// The resident memory of a process (0: this one), sampled every 5 ms from
// construction.
class ResidentPeak : public PeakSampler
{
public:
    explicit ResidentPeak(pid_t pid = 0)
        : PeakSampler(
            [statm = pid == 0 ? QByteArray("/proc/self/statm")
                              : QByteArray("/proc/") + QByteArray::number(pid) + "/statm"] {
                long pages = 0;
                long residentPages = 0;
                if (FILE *file = std::fopen(statm.constData(), "r")) {
                    if (std::fscanf(file, "%ld %ld", &pages, &residentPages) != 2)
                        residentPages = 0;
                    std::fclose(file);
                }
                return qint64(residentPages) * sysconf(_SC_PAGESIZE);
            },
            std::chrono::milliseconds(5))
    {
        start();
    }
};

// The heap in use (heapInUse()), sampled every half millisecond.
class HeapPeak : public PeakSampler
{
public:
    HeapPeak()
        : PeakSampler(heapInUse, std::chrono::microseconds(500))
    {
    }
    // Stops sampling; the heap's peak beyond what it held at the start, in MiB.
    double addedMiB()
    {
        stop();
        return peakAddedMB();
    }
};

// Taken by value: the partial sort reorders the values.
inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    const auto index = std::size_t(fraction * double(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(index), values.end());
    return values[index];
}

// The 50th and 99th percentiles of the times, as counters named after the
// unit ("p50_ms"); scale converts from milliseconds.
inline void reportLatency(benchmark::State &state, const std::vector<double> &milliseconds, const char *unit = "ms",
                          double scale = 1.0)
{
    const QByteArray p50 = QByteArray("p50_") + unit;
    const QByteArray p99 = QByteArray("p99_") + unit;
    state.counters[p50.constData()] = percentile(milliseconds, 0.50) * scale;
    state.counters[p99.constData()] = percentile(milliseconds, 0.99) * scale;
}

// The tools, made once for the whole program, and the pen current with a
// size of 2 to 12 pixels, as the stroke benchmarks draw with it.
inline void useBenchPen()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    static const bool made = [tools] {
        tools->createTools();
        return true;
    }();
    benchmark::DoNotOptimize(made);
    tools->setCurrentTool(Model::Tool::Type::Pen);
    if (auto *pen = qobject_cast<Model::DrawingTool *>(tools->tool(Model::Tool::Type::Pen)))
        pen->setSizeRangeLimits(2.0, 12.0);
}

// A pen sampled at 200 Hz sweeping across a full-HD frame, a few pixels
// between samples (for 200 of them; more samples lie closer), with the
// sample's time in milliseconds in the spare value.
inline QList<Model::SingleStroke::InputPoint> penSweep(int count)
{
    QList<Model::SingleStroke::InputPoint> samples;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / count;
        samples.append({300.0 + 1300.0 * t, 540.0 + 300.0 * std::sin(2.0 * std::numbers::pi * t),
                        0.5 + 0.4 * std::sin(9.0 * t), i * 5.0});
    }
    return samples;
}

inline double elapsedMs(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

inline double elapsedUs(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// A stereo 16-bit WAV file, a different tone on each side, so that decoding
// has real samples to convert.
inline QByteArray toneWav(int rate, int seconds)
{
    const qint64 frames = qint64(rate) * seconds;
    const quint32 dataBytes = quint32(frames * 4);
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(2) << quint32(rate) << quint32(rate * 4) << quint16(4)
        << quint16(16);
    out.writeRawData("data", 4);
    out << dataBytes;
    QByteArray samples(dataBytes, Qt::Uninitialized);
    for (qint64 i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        qToLittleEndian(qint16(std::lround(12000 * std::sin(2 * M_PI * 440 * t))), samples.data() + 4 * i);
        qToLittleEndian(qint16(std::lround(9000 * std::sin(2 * M_PI * 660 * t))), samples.data() + 4 * i + 2);
    }
    out.writeRawData(samples.constData(), int(samples.size()));
    return file;
}

} // namespace BenchSupport
