#include "benchsupport.h"

#include "strokes/rleimage.h"

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace BenchSupport;

namespace {

// A frame as an animator leaves it: mostly empty paper with a few dozen soft,
// anti-aliased strokes of varied width and pressure. The dense frame has no
// zero byte at all, the worst case for run lengths.
QImage frameMask(bool dense)
{
    if (dense)
        return denseMask(11);
    return scribbledMask(7, [](QRandomGenerator &random) {
        QColor colour(Qt::black);
        colour.setAlphaF(float(0.3 + random.bounded(0.7)));
        return QPen(colour, 1.5 + random.bounded(10.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    });
}

void setFrameCounters(benchmark::State &state)
{
    state.SetBytesProcessed(state.iterations() * qint64(Width) * Height);
}

void BM_RleEncode(benchmark::State &state)
{
    const QImage image = frameMask(state.range(0) != 0);
    qint64 codeBytes = 0;
    for (auto _ : state) {
        const Model::RleImage rle(image);
        codeBytes = rle.codes().size();
        benchmark::DoNotOptimize(codeBytes);
    }
    setFrameCounters(state);
    state.counters["code_bytes"] = double(codeBytes);
}

void BM_RleDecode(benchmark::State &state)
{
    const Model::RleImage rle(frameMask(state.range(0) != 0));
    for (auto _ : state) {
        QImage image = rle.toImage();
        benchmark::DoNotOptimize(image.constBits());
    }
    setFrameCounters(state);
}

void BM_RleBaselineMemcpy(benchmark::State &state)
{
    const QImage image = frameMask(false);
    std::vector<uchar> target(size_t(image.sizeInBytes()));
    for (auto _ : state) {
        std::memcpy(target.data(), image.constBits(), target.size());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state);
}

// memcpy into a newly allocated image, as decoding has to.
void BM_RleBaselineImageCopy(benchmark::State &state)
{
    const QImage image = frameMask(false);
    for (auto _ : state) {
        QImage copy = image.copy();
        benchmark::DoNotOptimize(copy.constBits());
    }
    setFrameCounters(state);
}

QByteArray frameBytes(bool dense)
{
    const QImage image = frameMask(dense);
    return QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
}

void BM_RleBaselineQCompress(benchmark::State &state)
{
    const QByteArray bytes = frameBytes(state.range(0) != 0);
    qint64 compressedBytes = 0;
    for (auto _ : state) {
        const QByteArray compressed = qCompress(bytes);
        compressedBytes = compressed.size();
        benchmark::DoNotOptimize(compressedBytes);
    }
    setFrameCounters(state);
    state.counters["code_bytes"] = double(compressedBytes);
}

void BM_RleBaselineQUncompress(benchmark::State &state)
{
    const QByteArray compressed = qCompress(frameBytes(state.range(0) != 0));
    for (auto _ : state) {
        const QByteArray bytes = qUncompress(compressed);
        benchmark::DoNotOptimize(bytes.constData());
    }
    setFrameCounters(state);
}

} // namespace

BENCHMARK(BM_RleEncode)->ArgName("dense")->Arg(0)->Arg(1);
BENCHMARK(BM_RleDecode)->ArgName("dense")->Arg(0)->Arg(1);
BENCHMARK(BM_RleBaselineMemcpy);
BENCHMARK(BM_RleBaselineImageCopy);
BENCHMARK(BM_RleBaselineQCompress)->ArgName("dense")->Arg(0)->Arg(1);
BENCHMARK(BM_RleBaselineQUncompress)->ArgName("dense")->Arg(0)->Arg(1);
