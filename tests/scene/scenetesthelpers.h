#pragma once

// Building scenes for the scene tests: layers written as one character per
// frame, 'X' an original, '-' a hold of the cell before it. Unlike the
// letters of CellPattern, these give the drawings no names.

#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/scene.h"
#include "support/cellpattern.h"

#include <QString>

#include <memory>

namespace SceneTest {

using CellPattern::FrameSize;

inline void setCells(Model::VisualLayer &layer, const QString &pattern)
{
    QString letters;
    for (const QChar c : pattern)
        letters += c == u'-' ? u'.' : u'_';
    CellPattern::setCells(layer, letters);
}

inline std::shared_ptr<Model::StrokeLayer> strokeLayer(Model::Scene &scene, const QString &pattern)
{
    auto layer = std::make_shared<Model::StrokeLayer>(Qt::darkBlue, FrameSize, &scene);
    setCells(*layer, pattern);
    return layer;
}

inline std::shared_ptr<Model::ReferenceLayer> referenceLayer(Model::Scene &scene, const QString &pattern)
{
    auto layer = std::make_shared<Model::ReferenceLayer>(FrameSize, &scene);
    setCells(*layer, pattern);
    return layer;
}

// Appends a stroke layer of the given cells and returns its index.
inline int addStrokeLayer(Model::Scene &scene, const QString &pattern)
{
    return scene.insertLayer(strokeLayer(scene, pattern), scene.layerCount());
}

inline int addLayerOfKind(Model::Scene &scene, const QString &kind)
{
    std::shared_ptr<Model::Layer> layer;
    if (kind == u"stroke")
        layer = strokeLayer(scene, QStringLiteral("X"));
    else if (kind == u"reference")
        layer = referenceLayer(scene, QStringLiteral("X"));
    else if (kind == u"audio")
        layer = std::make_shared<Model::AudioLayer>(&scene);
    else
        layer = std::make_shared<Model::AnnotationLayer>(&scene);
    return scene.insertLayer(layer, scene.layerCount());
}

// Empty when the two lists are inverse permutations of one entry per layer.
inline QString orderingFault(const Model::Scene &scene)
{
    const QList<int> ordering = scene.layerOrdering();
    const QList<int> positions = scene.layerPositions();
    if (ordering.size() != scene.layerCount() || positions.size() != scene.layerCount())
        return QStringLiteral("sizes %1/%2 for %3 layers").arg(ordering.size()).arg(positions.size()).arg(scene.layerCount());
    for (int position = 0; position < ordering.size(); ++position) {
        const int layer = ordering.at(position);
        if (layer < 0 || layer >= positions.size() || positions.at(layer) != position)
            return QStringLiteral("position %1 holds layer %2, whose position is %3")
                .arg(position)
                .arg(layer)
                .arg(layer >= 0 && layer < positions.size() ? positions.at(layer) : -1);
    }
    return {};
}

} // namespace SceneTest
