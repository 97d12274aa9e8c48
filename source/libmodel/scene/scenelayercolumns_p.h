#pragma once

#include "scene/scene.h"

#include <QModelIndex>
#include <QObject>

#include <algorithm>

namespace Model {

// The sheet's table models show one column a layer, so their columns follow
// the scene's layer list one by one; their rows follow the scene as a whole
// and renew the layout whenever rowsChanged is emitted. A model befriends
// this function, since the announcements it makes are protected.
template<typename SheetModel, typename Signal>
void followSceneLayers(SheetModel *model, Scene *scene, Signal rowsChanged)
{
    // The scene names the index it was asked for, which may lie past the
    // end; the layer always lands inside the list.
    QObject::connect(scene, &Scene::beginInsertLayer, model, [model](int layer) {
        const int at = std::clamp(layer, 0, model->columnCount());
        model->beginInsertColumns(QModelIndex(), at, at);
    });
    QObject::connect(scene, &Scene::endInsertLayer, model, [model] { model->endInsertColumns(); });
    QObject::connect(scene, &Scene::beginRemoveLayer, model,
                     [model](int layer) { model->beginRemoveColumns(QModelIndex(), layer, layer); });
    QObject::connect(scene, &Scene::endRemoveLayer, model, [model] { model->endRemoveColumns(); });
    QObject::connect(scene, rowsChanged, model, [model] {
        Q_EMIT model->layoutAboutToBeChanged();
        Q_EMIT model->layoutChanged();
    });
}

} // namespace Model
