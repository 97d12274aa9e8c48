#include "benchsupport.h"

#include "xsheet/xsheet.h"

#include "drawings/strokedrawing.h"
#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "strokes/bitmapstroke.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

using namespace BenchSupport;

namespace {

constexpr int SheetLayers = 30;
constexpr int SheetFrames = 2000;
// The top of the sheet, where the scrolling runs, is drawn on ones, every
// cell a drawing of its own; the rest of each layer holds the last of them.
constexpr int DrawnFrames = 64;
// A page scrolled as the sheet's scroll animation shows it: 130 ms at about
// 60 frames a second.
constexpr int StepsPerPage = 8;
const QSize SheetFrameSize(384, 216);
const QSize SheetWindow(1800, 1000);

// A stroke drawing that counts the thumbnails asked of it and those it had
// to make: a cached thumbnail comes back as the very same image, a new one
// with a new cache key.
class CountingDrawing : public Model::StrokeDrawing
{
public:
    explicit CountingDrawing(QSize size)
        : StrokeDrawing(size)
    {
    }

    QImage thumbnail(const QSize &size, const QList<QRgb> &colorTable) const override
    {
        ++s_requested;
        QImage image = StrokeDrawing::thumbnail(size, colorTable);
        if (!image.isNull() && image.cacheKey() != m_lastKey) {
            ++s_computed;
            m_lastKey = image.cacheKey();
        }
        return image;
    }

    static inline qint64 s_requested = 0;
    static inline qint64 s_computed = 0;

private:
    mutable qint64 m_lastKey = 0;
};

// A few pencil lines somewhere else on every drawing.
std::unique_ptr<Model::BitmapStroke> scribble(int layer, int frame)
{
    QImage ink(160, 90, QImage::Format_Alpha8);
    ink.fill(0);
    QPainter painter(&ink);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0, 255), 3.0));
    for (int i = 0; i < 6; ++i)
        painter.drawLine(QPointF(5 + 8 * i, 5 + (frame + i) % 40), QPointF(150 - 6 * i, 85 - (layer + i) % 50));
    const QPoint at(10 + (layer * 37 + frame * 11) % 200, 10 + (layer * 13 + frame * 7) % 110);
    return std::make_unique<Model::BitmapStroke>(ink, QRect(at, ink.size()));
}

// The sheet, timing its own painting apart from what Qt does around it
// (the backing store, the transfer to the X server).
class TimedSheet : public UI::XSheet
{
public:
    double paintedMs = 0.0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const Clock::time_point start = Clock::now();
        UI::XSheet::paintEvent(event);
        paintedMs += elapsedMs(start);
    }
};

// The sheet of 30 layers by 2000 frames, shown at the top, and what scrolling
// its first page cost in thumbnails while none had been made yet.
struct ScrollSheet
{
    Model::KLScene handle;
    TimedSheet view;
    int pageStep = 0;
    qint64 coldComputed = 0;
    qint64 coldRequested = 0;
    int cellsShown = 0;

    ScrollSheet()
    {
        Model::initAlphaCompositionTables();
        Model::Scene *scene = handle.scene();
        scene->setFrameSize(SheetFrameSize, KL::FitMode::FitModeIgnore);
        for (int l = 0; l < SheetLayers; ++l) {
            auto layer = std::make_shared<Model::StrokeLayer>(InkedLayerColours.at(l % InkedLayerCount),
                                                              SheetFrameSize, scene);
            while (layer->frameCount() > 0)
                layer->takeCell(0);
            for (int f = 0; f < DrawnFrames; ++f) {
                auto item = layer->newCell();
                item->setDrawing(std::make_shared<CountingDrawing>(SheetFrameSize));
                layer->insertCell(layer->frameCount(), item);
                layer->addStroke(f + 1, scribble(l, f));
            }
            while (layer->frameCount() < SheetFrames)
                layer->insertCell(layer->frameCount(), std::make_shared<Model::LayerItem>(layer->cells().last()));
            scene->insertLayer(layer, scene->layerCount());
        }
        scene->updateMaxFrameNumber();
        scene->setFrameRange(1, SheetFrames, 1, 0);

        Model::KLScene::setCurrent(&handle);
        view.setEnableVerticalScrollAnimation(false);
        view.setModel(handle.frameRangeModel());
        view.setSelectionModel(handle.selectionModel());
        view.resize(SheetWindow);
        CountingDrawing::s_requested = 0;
        CountingDrawing::s_computed = 0;
        view.show();
        QElapsedTimer waited;
        waited.start();
        while ((!view.windowHandle() || !view.windowHandle()->isExposed()) && waited.elapsed() < 5000)
            QApplication::processEvents();
        QApplication::processEvents();
        pageStep = view.verticalScrollBar()->pageStep();

        // The first page scrolled cold: every thumbnail on it is made here.
        QSet<int> rows;
        const auto noteRows = [this, &rows] {
            const int last = view.rowAt(view.viewport()->height() - 1);
            for (int row = std::max(view.rowAt(0), 0); row <= last; ++row)
                rows.insert(row);
        };
        noteRows();
        for (int step = 1; step <= StepsPerPage; ++step) {
            scrollTo(step);
            noteRows();
        }
        coldComputed = CountingDrawing::s_computed;
        coldRequested = CountingDrawing::s_requested;
        cellsShown = int(rows.size()) * SheetLayers;
        scrollTo(0);
    }

    ~ScrollSheet() { Model::KLScene::setCurrent(nullptr); }

    int offsetOf(int step) const { return step * pageStep / StepsPerPage; }

    void scrollTo(int step)
    {
        view.verticalScrollBar()->setValue(offsetOf(step));
        QApplication::processEvents();
    }
};

ScrollSheet *s_sheet = nullptr;

// Made once; widgets must go before the application does, so the sheet is
// deleted as the application ends, not with the program's statics.
ScrollSheet &scrollSheet()
{
    if (!s_sheet) {
        s_sheet = new ScrollSheet;
        qAddPostRoutine([] {
            delete s_sheet;
            s_sheet = nullptr;
        });
    }
    return *s_sheet;
}

void reportSteps(benchmark::State &state, const std::vector<double> &steps)
{
    state.counters["step_p50_ms"] = percentile(steps, 0.5);
    state.counters["step_p99_ms"] = percentile(steps, 0.99);
    state.counters["step_max_ms"] = percentile(steps, 1.0);
}

} // namespace

// One page of a 30 x 2000 sheet scrolled down in eight steps, each step
// painted and put on screen before the next (time per page). full:0 lets the
// sheet move its pixels and paint what came into view, as scrolling does;
// full:1 repaints the whole viewport at every step. Counters: time per step
// on screen, the sheet's own painting per step, the thumbnails the steps asked for and those made while scrolling (0 once
// every cell's thumbnail is cached), and for the first, cold page: the
// thumbnails made and the cells shown (at most one thumbnail a cell).
void BM_XSheetScrollPage(benchmark::State &state)
{
    const bool full = state.range(0) != 0;
    ScrollSheet &sheet = scrollSheet();
    std::vector<double> steps;
    std::vector<double> paints;
    qint64 requested = 0;
    qint64 computed = 0;
    for (auto _ : state) {
        sheet.scrollTo(0);
        CountingDrawing::s_requested = 0;
        CountingDrawing::s_computed = 0;
        double page = 0.0;
        for (int step = 1; step <= StepsPerPage; ++step) {
            sheet.view.paintedMs = 0.0;
            const Clock::time_point start = Clock::now();
            sheet.view.verticalScrollBar()->setValue(sheet.offsetOf(step));
            if (full)
                sheet.view.viewport()->update();
            QApplication::processEvents();
            const double ms = elapsedMs(start);
            steps.push_back(ms);
            paints.push_back(sheet.view.paintedMs);
            page += ms;
        }
        requested += CountingDrawing::s_requested;
        computed += CountingDrawing::s_computed;
        state.SetIterationTime(page / 1000.0);
    }
    reportSteps(state, steps);
    state.counters["paint_p50_ms"] = percentile(paints, 0.5);
    state.counters["paint_p99_ms"] = percentile(paints, 0.99);
    const double pages = double(state.iterations());
    state.counters["thumbs_asked_per_page"] = double(requested) / pages;
    state.counters["thumbs_made_per_page"] = double(computed) / pages;
    state.counters["cold_thumbs_made"] = double(sheet.coldComputed);
    state.counters["cold_thumbs_asked"] = double(sheet.coldRequested);
    state.counters["cold_cells_shown"] = sheet.cellsShown;
}

// The same eight steps as plain drawImage calls: the cached thumbnails of
// every cell in view at each step drawn at their places into an image of the
// viewport's size, and nothing else.
void BM_XSheetBaselineDrawImage(benchmark::State &state)
{
    ScrollSheet &sheet = scrollSheet();
    Model::FrameRangeModel *model = sheet.handle.frameRangeModel();
    QWidget *viewport = sheet.view.viewport();
    const double dpr = viewport->devicePixelRatioF();

    struct Placed
    {
        QPointF at;
        QImage image;
    };
    std::vector<std::vector<Placed>> frames;
    for (int step = 1; step <= StepsPerPage; ++step) {
        sheet.scrollTo(step);
        std::vector<Placed> placed;
        const int last = sheet.view.rowAt(viewport->height() - 1);
        for (int row = std::max(sheet.view.rowAt(0), 0); row <= last; ++row) {
            for (int layer = 0; layer < SheetLayers; ++layer) {
                const QModelIndex index = model->index(row, layer);
                const QRect cell = sheet.view.visualRect(index).adjusted(3, 7, -3, -6);
                const QImage image = model->thumbnail(
                    index, QSize(qRound(cell.width() * dpr), qRound(cell.height() * dpr)));
                if (!image.isNull())
                    placed.push_back({QPointF(cell.topLeft()), image});
            }
        }
        frames.push_back(std::move(placed));
    }
    sheet.scrollTo(0);

    QImage window(viewport->size() * dpr, QImage::Format_ARGB32_Premultiplied);
    window.setDevicePixelRatio(dpr);
    std::vector<double> steps;
    for (auto _ : state) {
        double page = 0.0;
        for (const std::vector<Placed> &placed : frames) {
            const Clock::time_point start = Clock::now();
            QPainter painter(&window);
            for (const Placed &cell : placed)
                painter.drawImage(QRectF(cell.at, QSizeF(cell.image.size()) / dpr), cell.image);
            painter.end();
            const double ms = elapsedMs(start);
            steps.push_back(ms);
            page += ms;
        }
        state.SetIterationTime(page / 1000.0);
    }
    reportSteps(state, steps);
}

BENCHMARK(BM_XSheetScrollPage)->ArgName("full")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XSheetBaselineDrawImage)->UseManualTime()->Unit(benchmark::kMillisecond);
