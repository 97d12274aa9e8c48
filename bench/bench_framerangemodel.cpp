#include "layers/layeritem.h"
#include "layers/strokelayer.h"
#include "scene/framerangemodel.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QList>
#include <QModelIndex>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int FrameCount = 2000;
constexpr int LayerCount = 20;

// A long sheet as the exposure sheet pages through it: every layer drawn on
// twos and threes, holds between the drawings, the range spanning it all.
struct Sheet
{
    Model::Scene scene;
    Model::SceneModel sceneModel;
    Model::FrameRangeModel proxy;
    QList<QModelIndex> cells;

    Sheet()
    {
        for (int layerIndex = 0; layerIndex < LayerCount; ++layerIndex) {
            auto layer = std::make_shared<Model::StrokeLayer>(Qt::black, QSize(64, 48), &scene);
            while (layer->frameCount() > 0)
                layer->takeCell(0);
            const int hold = 2 + layerIndex % 2;
            for (int frame = 0; frame < FrameCount; ++frame) {
                auto item = frame % hold == 0 ? layer->newCell()
                                              : std::make_shared<Model::LayerItem>(layer->cells().last());
                layer->insertCell(layer->frameCount(), item);
            }
            layer->setLinked(layerIndex % 4 == 0);
            scene.insertLayer(layer, scene.layerCount());
        }
        scene.updateMaxFrameNumber();
        scene.setFrameRange(1, FrameCount, 1, 0);
        sceneModel.setScene(&scene);
        proxy.setSourceModel(&sceneModel);
        proxy.setScene(&scene);
        for (int row = 0; row < proxy.rowCount(); ++row) {
            for (int column = 0; column < proxy.columnCount(); ++column)
                cells.append(proxy.index(row, column));
        }
    }
};

Sheet &sheet()
{
    static Sheet instance;
    return instance;
}

// Every cell of the sheet mapped once, as a full repaint of the exposure
// sheet does; with an add-clones drag of four frames on linked layers.
void BM_FrameRangeMapToSource(benchmark::State &state)
{
    Sheet &s = sheet();
    const bool drag = state.range(0) != 0;
    if (drag) {
        s.proxy.startDrag(Model::FrameRangeModel::AddClonesDrag, s.proxy.index(FrameCount / 2, 0));
        s.proxy.setDragDistance(4);
    }
    for (auto _ : state) {
        for (const QModelIndex &cell : std::as_const(s.cells)) {
            QModelIndex source = s.proxy.mapToSource(cell);
            benchmark::DoNotOptimize(source);
        }
    }
    if (drag)
        s.proxy.endDrag();
    state.SetItemsProcessed(state.iterations() * s.cells.size());
}

// The least any mapping costs: the source model's own index for each cell.
void BM_FrameRangeBaselineSourceIndex(benchmark::State &state)
{
    Sheet &s = sheet();
    for (auto _ : state) {
        for (const QModelIndex &cell : std::as_const(s.cells)) {
            QModelIndex source = s.sceneModel.index(cell.row(), cell.column());
            benchmark::DoNotOptimize(source);
        }
    }
    state.SetItemsProcessed(state.iterations() * s.cells.size());
}

} // namespace

BENCHMARK(BM_FrameRangeMapToSource)->ArgName("drag")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameRangeBaselineSourceIndex)->Unit(benchmark::kMillisecond);
