#include "benchsupport.h"

#include "paper/paper.h"
#include "scene/klscene.h"
#include "scene/scene.h"

#include <QCoreApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPointingDevice>
#include <QTabletEvent>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int PenSamples = 500;

// The views of the repaint benchmarks, by argument.
enum View { QuarterView, LevelOneView, FourTimesView, RotatedView, OffPegsView };

const char *viewName(int view)
{
    static const char *const names[] = {"zoom 0.25", "zoom 1", "zoom 4", "rotated 30", "off pegs"};
    return names[view];
}

// Five inked full-HD layers of twelve drawings, the middle frame active, for
// every benchmark here.
Model::KLScene &inkedHolder()
{
    static Model::KLScene *holder = [] {
        auto *made = new Model::KLScene(QCoreApplication::instance());
        fillInkedScene(*made->scene(), 12, 1);
        made->scene()->setFrameRange(1, 12, 6, 0);
        return made;
    }();
    return *holder;
}

// Shows a full-HD top-level window and waits until the X server shows it.
bool showWindow(QWidget &widget)
{
    widget.resize(Width, Height);
    widget.show();
    const auto exposed = [&widget] { return widget.windowHandle() && widget.windowHandle()->isExposed(); };
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!exposed() && Clock::now() < deadline) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return exposed();
}

void setView(UI::Paper &paper, int view)
{
    paper.setZoomLevelCenteringOnOrigin(view == QuarterView ? 0.25 : view == FourTimesView ? 4.0 : 1.0);
    if (view == RotatedView)
        paper.rotatePaperTo(30.0);
    if (view == OffPegsView)
        paper.setOffPegsTransform(QTransform().translate(120.0, 80.0).rotate(8.0));
}

// A paper that counts its repaints, so that a benchmark knows it painted.
class CountingPaper : public UI::Paper
{
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        UI::Paper::paintEvent(event);
        ++paints;
    }
};

// Nothing but the composite, drawn with one QPainter::drawImage at the
// paper's transform and smoothing.
class PlainCanvas : public QWidget
{
public:
    QImage composite;
    QTransform drawingToWidget;
    bool smooth = true;

    PlainCanvas() { setAttribute(Qt::WA_OpaquePaintEvent); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        painter.setTransform(drawingToWidget);
        painter.drawImage(QPointF(0.0, 0.0), composite);
    }
};

const QPointingDevice *benchPen()
{
    static const QPointingDevice *device = new QPointingDevice(
        QStringLiteral("bench pen"), 4242, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3, QString(),
        QPointingDeviceUniqueId(), QCoreApplication::instance());
    return device;
}

void sendPen(QWidget &widget, QEvent::Type type, QPointF pos, double pressure, quint64 time)
{
    const bool down = type != QEvent::TabletRelease;
    QTabletEvent event(type, benchPen(), pos, widget.mapToGlobal(pos), down ? pressure : 0.0, 0, 0, 0, 0, 0,
                       Qt::NoModifier, type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton,
                       down ? Qt::LeftButton : Qt::NoButton);
    event.setTimestamp(time);
    QCoreApplication::sendEvent(&widget, &event);
}

} // namespace

// The whole paper repainted at full HD (1920 x 1080) with the five-layer
// scene at zoom 0.25, 1 and 4, rotated 30 degrees at zoom 1, and with the
// frame off its pegs: desk, paper colour, the cached composite, and what
// goes with each view, flushed to the X server. Time per repaint.
void BM_PaperRepaint(benchmark::State &state)
{
    const int view = int(state.range(0));
    state.SetLabel(viewName(view));
    CountingPaper paper;
    if (!showWindow(paper)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    paper.setCurrentScene(&inkedHolder());
    setView(paper, view);
    paper.repaint();
    const int before = paper.paints;
    for (auto _ : state)
        paper.repaint();
    if (paper.paints - before != int(state.iterations()))
        state.SkipWithError("a repaint did not paint");
    paper.setCurrentScene(nullptr);
}
BENCHMARK(BM_PaperRepaint)->DenseRange(QuarterView, OffPegsView)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same composite drawn with one QPainter::drawImage at the
// same transform into a window of the same size, nothing else.
void BM_PaperRepaintBaselineDrawImage(benchmark::State &state)
{
    const int view = int(state.range(0));
    state.SetLabel(viewName(view));
    PlainCanvas canvas;
    {
        // The transform of a paper shown at the same size.
        UI::Paper paper;
        if (!showWindow(paper)) {
            state.SkipWithError("the window was not shown");
            return;
        }
        paper.setCurrentScene(&inkedHolder());
        setView(paper, view);
        canvas.drawingToWidget = paper.widgetToDrawing().inverted();
        canvas.smooth = paper.zoomLevel() < 2.0;
        paper.setCurrentScene(nullptr);
    }
    canvas.composite = QImage(Width, Height, QImage::Format_ARGB32_Premultiplied);
    canvas.composite.fill(Qt::transparent);
    {
        QPainter painter(&canvas.composite);
        inkedHolder().scene()->paintFrame(&painter, inkedHolder().scene()->frameRect());
    }
    if (!showWindow(canvas)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    for (auto _ : state)
        canvas.repaint();
}
BENCHMARK(BM_PaperRepaintBaselineDrawImage)
    ->DenseRange(QuarterView, OffPegsView)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Pen to pixels: a 500-sample pen stroke on the full-HD paper at zoom 1;
// per sample, from sending the tablet move to the end of the paper's
// repaint of the rectangle the stroke changed, flushed to the X server.
// Counters: p50 and p99 in ms.
void BM_PaperPenToPixels(benchmark::State &state)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    useBenchPen();
    CountingPaper paper;
    if (!showWindow(paper)) {
        state.SkipWithError("the window was not shown");
        return;
    }
    paper.setCurrentScene(&inkedHolder());
    paper.setZoomLevelCenteringOnOrigin(1.0);
    QCoreApplication::processEvents();
    const QTransform toWidget = paper.widgetToDrawing().inverted();
    const QList<Model::SingleStroke::InputPoint> samples = penSweep(PenSamples);
    std::vector<double> times;
    int unpainted = 0;
    for (auto _ : state) {
        sendPen(paper, QEvent::TabletPress, toWidget.map(samples.first().position()), samples.first().pressure, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        for (qsizetype i = 1; i < samples.size(); ++i) {
            const int before = paper.paints;
            const auto start = Clock::now();
            sendPen(paper, QEvent::TabletMove, toWidget.map(samples[i].position()), samples[i].pressure,
                    quint64(1 + i * 5));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
            times.push_back(elapsedMs(start));
            unpainted += paper.paints == before;
        }
        // Dropped rather than committed, so that every iteration draws on
        // the same drawing.
        state.PauseTiming();
        inkedHolder().scene()->takeActiveStroke();
        sendPen(paper, QEvent::TabletRelease, toWidget.map(samples.last().position()), 0.0, 5000);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        state.ResumeTiming();
    }
    reportLatency(state, times);
    state.counters["unpainted"] = unpainted;
    paper.setCurrentScene(nullptr);
}
BENCHMARK(BM_PaperPenToPixels)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Baseline: the scene's own share of the same samples, without the widget:
// each sample added to the stroke and the rectangle it changed painted from
// the scene into a full-HD picture.
void BM_PaperPenToPixelsBaselineScene(benchmark::State &state)
{
    if (!rendererReady()) {
        state.SkipWithError(NoOpenGL);
        return;
    }
    useBenchPen();
    Model::Scene *scene = inkedHolder().scene();
    const QList<Model::SingleStroke::InputPoint> samples = penSweep(PenSamples);
    QImage window(Width, Height, QImage::Format_ARGB32_Premultiplied);
    window.fill(Qt::white);
    QRect changed;
    const QMetaObject::Connection watch =
        QObject::connect(scene, &Model::Scene::rectChanged, [&changed](QRect rect) { changed |= rect; });
    std::vector<double> times;
    for (auto _ : state) {
        scene->beginStroke(samples.first());
        for (qsizetype i = 1; i < samples.size(); ++i) {
            const auto start = Clock::now();
            changed = QRect();
            scene->addStrokePoint(samples[i]);
            if (!changed.isEmpty()) {
                const QRect region = changed.adjusted(-2, -2, 2, 2);
                QPainter painter(&window);
                painter.setClipRect(region);
                painter.fillRect(region, Qt::white);
                scene->paintFrame(&painter, region);
                scene->paintActiveStroke(&painter, region, 1.0);
            }
            times.push_back(elapsedMs(start));
        }
        state.PauseTiming();
        scene->takeActiveStroke();
        state.ResumeTiming();
    }
    QObject::disconnect(watch);
    reportLatency(state, times);
}
BENCHMARK(BM_PaperPenToPixelsBaselineScene)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
