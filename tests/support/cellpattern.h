#pragma once

// Cell lists of a visual layer written as one character per frame, so that
// test tables read like an exposure sheet.
//
// An upper-case letter is an original whose drawing is named after it, '_'
// an original with an unnamed drawing; a lower-case letter or '.' is a clone
// (a hold) that shares the drawing of the cell before it. Reading a layer
// back names each clone after the drawing it really shows, so a hold left
// pointing at the wrong drawing shows up as a wrong letter. '?' is a cell
// that fits none of these (a distant clone, a clone without a drawing).

#include "drawings/drawing.h"
#include "layers/layeritem.h"
#include "layers/visuallayer.h"

#include <QString>

#include <memory>

namespace CellPattern {

inline void setCells(Model::VisualLayer &layer, const QString &pattern)
{
    while (layer.frameCount() > 0)
        layer.takeCell(0);
    for (const QChar c : pattern) {
        std::shared_ptr<Model::LayerItem> item;
        if (c.isUpper() || c == u'_') {
            item = layer.newCell();
            if (c != u'_')
                item->drawing()->setName(QString(c));
        } else {
            item = std::make_shared<Model::LayerItem>(layer.cells().last());
        }
        layer.insertCell(layer.frameCount(), item);
    }
}

inline QString cells(const Model::VisualLayer &layer)
{
    QString pattern;
    for (const auto &item : layer.cells()) {
        const QString name = item->drawing() ? item->drawing()->name() : QString();
        if (!item->drawing() || item->kind() == Model::LayerItem::DistantCloneKind)
            pattern += u'?';
        else if (item->kind() == Model::LayerItem::OriginalKind)
            pattern += name.isEmpty() ? QString(u'_') : name.toUpper();
        else
            pattern += name.isEmpty() ? QString(u'.') : name.toLower();
    }
    return pattern;
}

} // namespace CellPattern
