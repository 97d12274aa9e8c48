#include "benchsupport.h"
#include "layers/audiolayer.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <QtEndian>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

using BenchSupport::toneWav;

namespace {

constexpr int Rate = 44100;
constexpr int Seconds = 60;
constexpr double Fps = 24.0;
// An exposure-sheet cell.
const QSize CellSize(64, 20);

// A minute of CD stereo, a tone on each side, decoded once.
Model::AudioLayer &minuteOfSound()
{
    static const std::unique_ptr<Model::AudioLayer> layer = [] {
        const QByteArray file = toneWav(Rate, Seconds);
        auto audio = std::make_unique<Model::AudioLayer>();
        audio->setFrameRate(Fps);
        audio->setOriginalAudioData(file);
        return audio;
    }();
    return *layer;
}

int framesOfSound()
{
    return int(Seconds * Fps);
}

// One cell after another, as the exposure sheet paints a column: rows come
// from the layer's cache of level records.
void BM_AudioWaveformCell(benchmark::State &state)
{
    Model::AudioLayer &audio = minuteOfSound();
    int frame = 1;
    for (auto _ : state) {
        const QImage image = audio.waveformImage(frame, CellSize);
        benchmark::DoNotOptimize(image.constBits());
        frame = frame % framesOfSound() + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

// A new row height every time (a zoom of the sheet): the cache is refilled
// for the cell, one block of 2048 rows.
void BM_AudioWaveformCellColdCache(benchmark::State &state)
{
    Model::AudioLayer &audio = minuteOfSound();
    int frame = 1;
    int height = CellSize.height();
    for (auto _ : state) {
        const QImage image = audio.waveformImage(frame, QSize(CellSize.width(), height));
        benchmark::DoNotOptimize(image.constBits());
        frame = frame % framesOfSound() + 1;
        height = height == CellSize.height() ? CellSize.height() + 1 : CellSize.height();
    }
    state.SetItemsProcessed(state.iterations());
}

// Baseline: each row measured straight from the samples and drawn, with no
// cache and no gain.
void BM_AudioWaveformCellBaselineDirect(benchmark::State &state)
{
    Model::AudioLayer &audio = minuteOfSound();
    const QByteArray pcm = audio.pcm();
    const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
    const qint64 sampleFrames = pcm.size() / 4;
    const double framesPerRow = Rate / Fps / CellSize.height();
    int frame = 1;
    for (auto _ : state) {
        QImage image(CellSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        const double w = CellSize.width() / 2.0;
        for (int row = 0; row < CellSize.height(); ++row) {
            const qint64 first = qint64(((frame - 1) * CellSize.height() + row) * framesPerRow);
            const qint64 last = std::min(qint64(first + framesPerRow), sampleFrames);
            double peakLeft = 0, peakRight = 0, sumLeft = 0, sumRight = 0;
            for (qint64 i = first; i < last; ++i) {
                const double left = std::abs(int(samples[2 * i])) / 32768.0;
                const double right = std::abs(int(samples[2 * i + 1])) / 32768.0;
                peakLeft = std::max(peakLeft, left);
                peakRight = std::max(peakRight, right);
                sumLeft += left * left;
                sumRight += right * right;
            }
            const double n = std::max<double>(double(last - first), 1.0);
            painter.fillRect(QRectF(w - peakLeft * w, row, (peakLeft + peakRight) * w, 1), QColor(255, 255, 255, 128));
            const double rmsLeft = std::sqrt(sumLeft / n);
            const double rmsRight = std::sqrt(sumRight / n);
            painter.fillRect(QRectF(w - rmsLeft * w, row, (rmsLeft + rmsRight) * w, 1), Qt::white);
        }
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
        frame = frame % framesOfSound() + 1;
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_AudioWaveformCell)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AudioWaveformCellColdCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AudioWaveformCellBaselineDirect)->Unit(benchmark::kMicrosecond);
