#pragma once

// Helpers the benchmarks share: the renderer, full-HD masks, latency figures
// and a sound file.

#include "render/alphacomposition.h"
#include "render/offscreenrenderer.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRandomGenerator>
#include <QSize>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
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

// Bytes of heap in use now, for benchmarks that report what an operation
// holds at its peak: sample it while the operation runs.
inline qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// Taken by value: the partial sort reorders the values.
inline double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;
    const auto index = std::size_t(fraction * double(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(index), values.end());
    return values[index];
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
