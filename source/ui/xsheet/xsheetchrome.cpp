#include "xsheet/xsheetchrome.h"

#include "scene/scenemodel.h"

namespace UI::SheetChrome {

int columnKind(const QAbstractItemModel *model, int section)
{
    return columnData(model, section, Model::SceneModel::LayerTypeRole).toInt();
}

int visualLayerOrNone(const QAbstractItemModel *model, int section)
{
    return columnData(model, section, Model::SceneModel::VisualLayerRole).toBool() ? section : -1;
}

} // namespace UI::SheetChrome
