#include "benchsupport.h"

#include "render/alphacomposition.h"
#include "render/bandedcomposition.h"
#include "strokes/bitmapstroke.h"

#include <QPainter>
#include <QTransform>

#include <benchmark/benchmark.h>

using namespace BenchSupport;

namespace {

// A full-HD drawing collapsed at the program's grain: scribbled curves on a
// picture of twice the frame's pixels each way.
const QImage &collapsedPicture()
{
    static const QImage picture = scribbledMask(42,
                                                [](QRandomGenerator &random) {
                                                    return QPen(QColor(0, 0, 0), 2.0 + random.bounded(5.0),
                                                                Qt::SolidLine, Qt::RoundCap);
                                                })
                                      .scaled(2 * Width, 2 * Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                      .convertToFormat(QImage::Format_Alpha8);
    return picture;
}

// Turned 15 degrees about the frame's middle, as a frame off its pegs or a
// turned stamp shows it.
QTransform turned()
{
    return QTransform::fromTranslate(-Width / 2.0, -Height / 2.0) * QTransform().rotate(15.0)
        * QTransform::fromTranslate(Width / 2.0, Height / 2.0);
}

} // namespace

// The whole frame rendered again from the turned picture, as after an edit
// of a drawing that holds it: decoded from its code, drawn pixel by pixel
// and composed into the frame, on one thread per core (threads:0) and on one
// thread (threads:1, the work itself).
void BM_BitmapStrokeTurnedRender(benchmark::State &state)
{
    Model::initAlphaCompositionTables();
    Model::setCompositionThreadCount(int(state.range(0)));
    const Model::BitmapStroke stroke(collapsedPicture(), QRect(0, 0, Width, Height));
    const QTransform transform = turned();
    QImage target(Width, Height, QImage::Format_Alpha8);
    for (auto _ : state) {
        target.fill(0);
        stroke.render(target, target.rect(), transform, QPoint(), 1.0);
        benchmark::DoNotOptimize(target.constBits());
    }
    Model::setCompositionThreadCount(0);
}
BENCHMARK(BM_BitmapStrokeTurnedRender)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: QPainter drawing the decoded picture at the same transform,
// smoothly, straight into the frame.
void BM_BitmapStrokeTurnedRenderBaselineQPainter(benchmark::State &state)
{
    const QImage &picture = collapsedPicture();
    const QTransform transform = turned();
    QImage target(Width, Height, QImage::Format_Alpha8);
    for (auto _ : state) {
        target.fill(0);
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(transform);
        painter.drawImage(QRectF(0, 0, Width, Height), picture);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_BitmapStrokeTurnedRenderBaselineQPainter)->Unit(benchmark::kMillisecond)->UseRealTime();
