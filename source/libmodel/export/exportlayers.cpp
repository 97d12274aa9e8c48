#include "export/exportlayers.h"

#include "export/exportnames.h"
#include "layers/drawlayer.h"
#include "layers/strokelayer.h"
#include "layers/visuallayer.h"
#include "scene/scene.h"

#include <QCoreApplication>
#include <QPainter>
#include <QSet>

#include <algorithm>

namespace Model {

QList<ExportLayer> exportLayers(const Scene &scene, ExportSettings::Layers which)
{
    QList<ExportLayer> layers;
    QSet<QString> takenNames;
    const QList<int> ordering = scene.layerOrdering();
    // The ordering runs from the top; exports go from the bottom up.
    for (auto it = ordering.crbegin(); it != ordering.crend(); ++it) {
        const int index = *it;
        const auto *layer = qobject_cast<const VisualLayer *>(scene.layerAt(index).get());
        if (!layer)
            continue;
        if (which == ExportSettings::VisibleLayers && !scene.isLayerVisible(index))
            continue;
        if (which == ExportSettings::ActiveLayerOnly && index != scene.activeLayerIdx())
            continue;
        layers.append({layer, index, uniqueFileName(safeFileName(layer->name()), takenNames)});
    }
    return layers;
}

ExportFrameSpan exportFrameSpan(const Scene &scene, ExportSettings::Frames which)
{
    if (which == ExportSettings::RangeOnly)
        return {scene.frameRangeFirst(), scene.frameRangeLast()};
    return {1, scene.maximumFrameNumber()};
}

int frameCountSum(const QList<ExportLayer> &layers)
{
    int sum = 0;
    for (const ExportLayer &entry : layers)
        sum += entry.layer->frameCount();
    return sum;
}

const ExportLayer *findExportLayer(const QList<ExportLayer> &layers, int index)
{
    const auto it = std::find_if(layers.cbegin(), layers.cend(),
                                 [index](const ExportLayer &entry) { return entry.index == index; });
    return it != layers.cend() ? &*it : nullptr;
}

bool paintAlike(const VisualLayer &a, const VisualLayer &b, bool withOpacity, bool allBlack)
{
    if (a.type() != b.type() || (withOpacity && a.opacity() != b.opacity()))
        return false;
    const auto *strokesA = qobject_cast<const StrokeLayer *>(&a);
    const auto *strokesB = qobject_cast<const StrokeLayer *>(&b);
    return allBlack || !strokesA || !strokesB || strokesA->colorTable() == strokesB->colorTable();
}

QString noPicturesToExport()
{
    return QCoreApplication::translate("Model::Scene",
                                       "There was nothing to export: none of the chosen layers holds pictures.");
}

void paintLayerFrame(const VisualLayer &layer, int frame, QImage &image, bool allBlack)
{
    const QRect rect = image.rect();
    // Blended straight into memory, pixel for pixel what painting gives, at
    // a fraction of the cost for the mostly empty frames of an animation.
    if (const auto *strokes = qobject_cast<const StrokeLayer *>(&layer); strokes && !allBlack) {
        strokes->blendOnto(frame, image, rect, 1.0);
        return;
    }
    QPainter painter(&image);
    if (qobject_cast<const DrawLayer *>(&layer))
        layer.paint(frame, &painter, rect, allBlack);
    else
        layer.paint(frame, &painter, rect);
}

QImage compositeFrame(const QList<ExportLayer> &layers, int frame, const QSize &size, const QColor &background,
                      bool allBlack)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    for (const ExportLayer &entry : layers)
        paintLayerFrame(*entry.layer, frame, image, allBlack);
    return image;
}

QImage compositeFrame(const QList<ExportLayer> &layers, int frame, const QSize &frameSize, const QSize &outputSize,
                      const QColor &background)
{
    if (outputSize == frameSize)
        return compositeFrame(layers, frame, frameSize, background, false);
    if (outputSize.width() <= frameSize.width() && outputSize.height() <= frameSize.height())
        return compositeFrame(layers, frame, frameSize, background, false)
            .scaled(outputSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage image(outputSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(double(outputSize.width()) / frameSize.width(), double(outputSize.height()) / frameSize.height());
    const QRect frameRect(QPoint(0, 0), frameSize);
    for (const ExportLayer &entry : layers)
        entry.layer->paint(frame, &painter, frameRect);
    return image;
}

} // namespace Model
