#include "benchsupport.h"

#include "render/alphacomposition.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

using namespace BenchSupport;

namespace {

// A finished stroke's mask (sparse: one soft stroke crossing the frame, the
// rest empty) or a source with every byte non-zero (dense: no empty stretch
// to skip).
QImage sourceMask(bool dense)
{
    if (dense)
        return denseMask(5);
    QImage image(Width, Height, QImage::Format_Alpha8);
    image.fill(0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path(QPointF(120, 900));
    path.cubicTo(QPointF(600, 100), QPointF(1300, 1000), QPointF(1800, 200));
    painter.setPen(QPen(QColor(0, 0, 0, 220), 14, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(path);
    return image;
}

// The drawing the stroke lands on: a few dozen strokes on empty paper.
QImage drawingMask()
{
    return scribbledMask(3, [](QRandomGenerator &random) {
        return QPen(QColor(0, 0, 0, 60 + random.bounded(196)), 1.5 + random.bounded(10.0));
    });
}

void compose(benchmark::State &state, bool draw)
{
    Model::initAlphaCompositionTables();
    const QImage source = sourceMask(state.range(0) != 0);
    QImage destination = drawingMask();
    for (auto _ : state) {
        Model::composeAlphaMask(destination, source, destination.rect(), draw);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * qint64(Width) * Height);
}

void BM_AlphaComposeDraw(benchmark::State &state)
{
    compose(state, true);
}

void BM_AlphaComposeErase(benchmark::State &state)
{
    compose(state, false);
}

void BM_AlphaBaselineMemcpy(benchmark::State &state)
{
    const QImage source = sourceMask(false);
    std::vector<uchar> target(size_t(source.sizeInBytes()));
    for (auto _ : state) {
        std::memcpy(target.data(), source.constBits(), target.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * qint64(Width) * Height);
}

} // namespace

BENCHMARK(BM_AlphaComposeDraw)->ArgName("dense")->Arg(0)->Arg(1);
BENCHMARK(BM_AlphaComposeErase)->ArgName("dense")->Arg(0)->Arg(1);
BENCHMARK(BM_AlphaBaselineMemcpy);
