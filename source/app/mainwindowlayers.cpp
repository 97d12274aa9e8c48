// The main window's layer actions, and the exposure sheet's requests to
// rename a layer and to change its opacity. Every change of the scene is an
// undo command, except the live preview while the opacity slider is dragged.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"

#include "xsheet/layerrenamewidget.h"
#include "xsheet/opacityslider.h"
#include "xsheet/xsheet.h"

#include "layercommands.h"
#include "layerpropertycommands.h"

#include "actions/actionmanager.h"
#include "layers/visuallayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QAction>

#include <algorithm>

namespace {

using A = KL::Action;

using MainWindowLookups::action;
using MainWindowLookups::currentScene;

// The rename field's size, centred on the header it renames.
constexpr QSize RenameFieldSize(76, 25);
// What the rename field and the opacity slider keep from their parent's
// side edges.
constexpr int EdgeMargin = 3;

// The rename field and the opacity slider commit when they lose the focus,
// and a step that adds, takes away or moves a layer takes it from them: the
// edit lands after the step, on the same layer wherever the step left it.
// make answers the edit of the layer at the index it is given; gone is told
// instead when the step took the layer away.
void pushOnLayer(int layer, std::function<Model::SceneCommand *(Model::Scene *, int)> make,
                 std::function<void(Model::Layer *)> gone = {})
{
    Model::KLScene *klscene = Model::KLScene::current();
    if (!klscene || !klscene->scene())
        return;
    const std::weak_ptr<Model::Layer> target = klscene->scene()->layerAt(layer);
    Model::KLScene::pushCommand([klscene, target, make, gone]() -> Model::SceneCommand * {
        const std::shared_ptr<Model::Layer> held = target.lock();
        const int index = klscene->scene()->indexOfLayer(held);
        if (index >= 0)
            return make(klscene->scene(), index);
        if (held && gone)
            gone(held.get());
        return nullptr;
    });
}

} // namespace

void MainWindow::wireLayerActions()
{
    // Each acts on the current scene's active layer, and only with a scene.
    const auto onLayer = [this](A key, auto handler) {
        connect(action(key), &QAction::triggered, this, [handler] {
            Model::KLScene *klscene = Model::KLScene::current();
            if (klscene && klscene->scene())
                handler(klscene, klscene->scene(), klscene->scene()->activeLayerIdx());
        });
    };
    const auto push = [](Model::SceneCommand *command) { Model::KLScene::pushCommand(command); };
    using Scene = Model::Scene;
    using KLScene = Model::KLScene;

    onLayer(A::NewLayer, [push](KLScene *, Scene *scene, int) { push(new Commands::NewLayer(scene, 1, -1)); });
    onLayer(A::DuplicateActiveLayer,
            [push](KLScene *, Scene *scene, int layer) { push(new Commands::DuplicateLayer(scene, layer)); });
    onLayer(A::LayerAbove,
            [this](KLScene *, Scene *scene, int) { setActiveLayer(scene->layerAboveActiveInFrameRange()); });
    onLayer(A::LayerBelow,
            [this](KLScene *, Scene *scene, int) { setActiveLayer(scene->layerBelowActiveInFrameRange()); });
    onLayer(A::LayerTop, [this](KLScene *, Scene *scene, int) { setActiveLayer(scene->topmostLayerInFrameRange()); });
    onLayer(A::LayerBottom,
            [this](KLScene *, Scene *scene, int) { setActiveLayer(scene->bottommostLayerInFrameRange()); });
    onLayer(A::DiscardActiveLayer,
            [push](KLScene *, Scene *scene, int layer) { push(new Commands::DiscardLayer(scene, layer)); });

    // The window also checks these two when the active layer changes; that
    // refresh must not become an undo entry, so only a change pushes.
    const auto onToggle = [this](A key, bool (Scene::*isOn)(int) const, auto command) {
        connect(action(key), &QAction::toggled, this, [isOn, command](bool on) {
            KLScene *klscene = KLScene::current();
            Scene *scene = klscene ? klscene->scene() : nullptr;
            const int layer = scene ? scene->activeLayerIdx() : -1;
            if (scene && (scene->*isOn)(layer) != on)
                Model::KLScene::pushCommand(command(klscene->sceneModel(), layer, on));
        });
    };
    onToggle(A::LayerVisibility, &Scene::isLayerVisible, [](Model::SceneModel *model, int layer, bool on) {
        return new Commands::SetLayerVisible(model, layer, on);
    });
    onToggle(A::LayerLink, &Scene::isLayerLinked, [](Model::SceneModel *model, int layer, bool on) {
        return new Commands::SetLayerLinked(model, layer, on);
    });

    for (const auto &[key, mode] : {std::pair{A::ShowNothingBeyond, 1}, std::pair{A::FreezeLastDrawingBeyond, 2},
                                    std::pair{A::CycleDrawingsBeyond, 3}}) {
        const int beyond = mode;
        onLayer(key, [push, beyond](KLScene *, Scene *scene, int layer) {
            if (scene->layerBeyondLast(layer) != beyond)
                push(new Commands::SetLayerBeyondLast(scene, layer, beyond));
        });
    }

    onLayer(A::MergeLayerDown,
            [push](KLScene *klscene, Scene *, int layer) { push(new Commands::MergeLayerDown(klscene, layer)); });
    for (const auto &[key, linked] : {std::pair{A::UnlinkAllLayers, false}, std::pair{A::LinkAllLayers, true}}) {
        const bool link = linked;
        onLayer(key, [push, link](KLScene *klscene, Scene *, int) {
            push(new Commands::SetAllLayersLinked(klscene->sceneModel(), link));
        });
    }
    onLayer(A::NewPaintLayer, [push](KLScene *, Scene *scene, int) { push(new Commands::NewLayer(scene, 2, -1)); });
}

void MainWindow::connectLayerRequests()
{
    UI::XSheet *sheet = d->m_xSheet;
    connect(sheet, &UI::XSheet::doubleClickedLayer, this, &MainWindow::openLayerRename);
    connect(d->m_layerRenameWidget, &UI::LayerRenameWidget::renamed, this, [this](const QString &name) {
        QAbstractItemModel *model = d->m_xSheet->model();
        if (model)
            pushOnLayer(d->m_layerBeingRenamed, [model, name](Model::Scene *, int index) {
                return new Commands::RenameLayer(model, index, name);
            });
    });

    UI::OpacitySlider *slider = d->m_opacitySlider;
    connect(sheet, &UI::XSheet::opacityClicked, this, &MainWindow::showOpacitySlider);
    connect(sheet, &UI::XSheet::opacityCenterMoved, this, &MainWindow::placeOpacitySlider);
    connect(slider, &UI::OpacitySlider::opacitySliderMoved, this, [](int layer, double opacity) {
        if (Model::Scene *scene = currentScene())
            scene->setLayerOpacity(layer, opacity);
    });
    connect(slider, &UI::OpacitySlider::opacityChanged, this, [](int layer, double previous, double opacity) {
        pushOnLayer(
            layer,
            [previous, opacity](Model::Scene *scene, int index) {
                return new Commands::ChangeLayerOpacity(scene, index, previous, opacity);
            },
            // A redo that brings the layer back must not bring the preview.
            [previous](Model::Layer *gone) {
                if (auto *visual = qobject_cast<Model::VisualLayer *>(gone))
                    visual->setOpacity(previous);
            });
    });
}

void MainWindow::openLayerRename(int layer, const QRect &headerArea)
{
    QAbstractItemModel *model = d->m_xSheet->model();
    if (layer < 0 || !currentScene() || !model)
        return;
    d->m_layerBeingRenamed = layer;
    const QString name = model->headerData(layer, Qt::Horizontal, Qt::DisplayRole).toString();

    UI::LayerRenameWidget *field = d->m_layerRenameWidget;
    QWidget *parent = field->parentWidget();
    QRect place(parent->mapFromGlobal(headerArea.topLeft()), RenameFieldSize);
    place.translate(-(RenameFieldSize.width() - headerArea.width()) / 2,
                    -(RenameFieldSize.height() - headerArea.height()) / 2);
    // Kept inside sideways only; a field that sticks out at the top or the
    // bottom stays over its header.
    const QRect inside = parent->rect().adjusted(EdgeMargin, 0, -EdgeMargin, 0);
    if (place.left() < inside.left())
        place.moveLeft(inside.left());
    else if (place.right() > inside.right())
        place.moveRight(inside.right());

    field->setFixedSize(place.size());
    field->setGeometry(place);
    field->setText(name);
    field->show();
    field->setFocus(Qt::OtherFocusReason);
}

void MainWindow::showOpacitySlider(int layer)
{
    Model::Scene *scene = currentScene();
    if (layer == -1 || !scene)
        return;
    UI::OpacitySlider *slider = d->m_opacitySlider;
    slider->setLayerIdx(layer);
    slider->setColor(scene->layerColor(layer));
    slider->setOpacity(scene->layerOpacity(layer));
    slider->show();
    slider->setFocus(Qt::OtherFocusReason);
}

void MainWindow::placeOpacitySlider(QPoint globalCenter)
{
    UI::OpacitySlider *slider = d->m_opacitySlider;
    const QWidget *parent = slider->parentWidget();
    const QPoint centre = parent->mapFromGlobal(globalCenter);
    const int halfWidth = slider->width() / 2;
    const int halfHeight = slider->height() / 2;
    // Within the parent, EdgeMargin from its edges; a parent too small for
    // that gets the slider at its low edge.
    const auto keep = [](int value, int half, int extent) {
        return std::max(half + EdgeMargin, std::min(value, extent - (half + EdgeMargin)));
    };
    slider->move(keep(centre.x(), halfWidth, parent->width()) - halfWidth,
                 keep(centre.y(), halfHeight, parent->height()) - halfHeight);
}
