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
//
// A scene is written as a list of layers: a cell list is a stroke layer,
// "ref:" before it a reference layer, "audio" and "notes" the layers without
// cells.

#include "drawings/drawing.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "layers/visuallayer.h"
#include "scene/scene.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>

namespace CellPattern {

inline const QSize FrameSize(64, 48);

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

// A layer of scene, not yet inserted, written as one entry of a scene's list.
inline std::shared_ptr<Model::Layer> makeLayer(Model::Scene &scene, const QString &text)
{
    if (text == u"audio")
        return std::make_shared<Model::AudioLayer>(&scene);
    if (text == u"notes")
        return std::make_shared<Model::AnnotationLayer>(&scene);
    if (text.startsWith(u"ref:")) {
        auto reference = std::make_shared<Model::ReferenceLayer>(FrameSize, &scene);
        setCells(*reference, text.mid(4));
        return reference;
    }
    auto strokes = std::make_shared<Model::StrokeLayer>(Qt::darkBlue, FrameSize, &scene);
    setCells(*strokes, text);
    return strokes;
}

// The layers in list order; the range spans every frame, frame 1 of layer 0
// is active.
inline void build(Model::Scene &scene, const QStringList &layers)
{
    for (const QString &text : layers)
        scene.insertLayer(makeLayer(scene, text), scene.layerCount());
    scene.updateMaxFrameNumber();
    scene.setFrameRange(1, scene.maximumFrameNumber(), 1, 0);
}

// Empty for a layer without cells.
inline QString cells(const Model::Scene &scene, int layer)
{
    const auto visual = std::dynamic_pointer_cast<Model::VisualLayer>(scene.layerAt(layer));
    return visual ? cells(*visual) : QString();
}

// What the sheet shows of a scene, on one line: the frame range and the
// frame count, the active cell (layer:frame), then each layer's cells in
// brackets, empty for a layer without cells.
inline QString sheet(const Model::Scene &scene)
{
    QStringList parts{QStringLiteral("frames %1-%2 of %3, at %4:%5")
                          .arg(scene.frameRangeFirst())
                          .arg(scene.frameRangeLast())
                          .arg(scene.maximumFrameNumber())
                          .arg(scene.activeLayerIdx())
                          .arg(scene.activeFrame())};
    for (int layer = 0; layer < scene.layerCount(); ++layer)
        parts << u'[' + cells(scene, layer) + u']';
    return parts.join(u' ');
}

// Empty where (layer, frame) holds no cell.
inline Model::LayerItem::Key keyOf(const Model::Scene &scene, int layer, int frame)
{
    const std::shared_ptr<Model::LayerItem> item = scene.itemAt(layer, frame);
    if (!item)
        return {};
    return {scene.layerAt(layer)->identifier(), item->identifier()};
}

// Makes (layer, frame) a distant clone of (originalLayer, originalFrame),
// with both ends of the link and the holds after it showing the drawing; the
// cell reads as '?'.
inline void makeDistantClone(Model::Scene &scene, int layer, int frame, int originalLayer, int originalFrame)
{
    const auto item = scene.itemAt(layer, frame);
    item->setKind(Model::LayerItem::DistantCloneKind);
    item->setDrawing(scene.itemAt(originalLayer, originalFrame)->drawing());
    scene.linkDistantClone(keyOf(scene, layer, frame), keyOf(scene, originalLayer, originalFrame), nullptr);
    scene.propagateToFollowingClones(frame, layer);
}

} // namespace CellPattern
