#include "scene/scene.h"

#include "drawings/drawing.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/drawlayer.h"
#include "layers/strokelayer.h"
#include "layers/visuallayer.h"
#include "scene/scene_p.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace Model {

namespace {

VisualLayer *asVisual(const std::shared_ptr<Layer> &layer)
{
    return qobject_cast<VisualLayer *>(layer.get());
}

} // namespace

// Setters

bool Scene::setLayerColor(int layer, const QColor &color)
{
    auto *strokeLayer = qobject_cast<StrokeLayer *>(layerAt(layer).get());
    if (!strokeLayer)
        return false;
    if (strokeLayer->color() != color)
        strokeLayer->setColor(color);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    Q_EMIT layerColorChanged(layer, color);
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setLayerOpacity(int layer, double opacity)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || std::isnan(opacity))
        return false;
    visual->setOpacity(opacity);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    // The slider that asked must land where the layer is, not past its end.
    Q_EMIT layerOpacityChanged(layer, visual->opacity());
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setLayerVisible(int layer, bool visible)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual)
        return false;
    if (visual->isVisible() == visible)
        return true;
    visual->setVisible(visible);
    updateCachedFramePixmap(true);
    emitWholeFrameChanged();
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setLayerLinked(int layer, bool linked)
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    if (!target)
        return false;
    if (target->isLinked() == linked)
        return true;
    target->setLinked(linked);
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setLayerName(int layer, const QString &name)
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    if (!target)
        return false;
    if (target->name() == name)
        return true;
    target->setName(name);
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setLayerBeyondLast(int layer, Layer::LayerBeyondLast beyondLast)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual)
        return false;
    if (!visual->setLayerBeyondLast(beyondLast))
        return true;
    if (visual->isVisible()) {
        updateCachedFramePixmap(true);
        emitWholeFrameChanged();
    }
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setLayerAudible(int layer, bool audible)
{
    auto *audio = qobject_cast<AudioLayer *>(layerAt(layer).get());
    if (!audio)
        return false;
    if (audio->isAudible() != audible) {
        audio->setAudible(audible);
        Q_EMIT layersChanged(layer, layer);
    }
    return true;
}

bool Scene::setKeyDrawing(int layerIdx, int frameId, bool keyDrawing)
{
    VisualLayer *visual = asVisual(layerAt(layerIdx));
    if (!visual)
        return false;
    // Changed before it is announced, so that listeners read the new mark.
    if (visual->setKeyDrawing(frameId, keyDrawing))
        emitDrawingsChanged({{frameId, layerIdx}});
    return true;
}

bool Scene::setAnnotationImage(int frame, const QImage &image)
{
    const int layer = annotationLayerIndex();
    auto *annotations = qobject_cast<AnnotationLayer *>(layerAt(layer).get());
    if (!annotations || frame < 1)
        return false;
    annotations->setImage(frame, image);
    Q_EMIT layersChanged(layer, layer);
    return true;
}

bool Scene::setOffPegsTransform(int frameId, int layerIndex, const QTransform &transform)
{
    VisualLayer *visual = asVisual(layerAt(layerIndex));
    if (!visual)
        return false;
    visual->setOffPegsTransform(frameId, transform);
    // Moving the paper at one frame moves every layer's drawing there.
    QList<std::pair<int, int>> cells;
    for (int layer : std::as_const(d->m_layerOrdering)) {
        if (isVisualLayer(layer))
            cells.append({frameId, layer});
    }
    if (frameId == d->m_activeFrame) {
        updateCachedFramePixmap(true);
        Q_EMIT offPegsTransformChanged(offPegsTransform(frameId));
    }
    emitDrawingsChanged(cells);
    return true;
}

bool Scene::setCurrentDrawingOffPegsTransform(const QTransform &transform)
{
    return setOffPegsTransform(d->m_activeFrame, transform);
}

bool Scene::setOffPegsTransform(int frameId, const QTransform &transform)
{
    // The layer whose transform is in effect keeps receiving it; with none
    // in effect, the active layer takes it.
    int layer = -1;
    offPegsTransform(d->m_activeFrame, &layer);
    if (layer == -1)
        layer = d->m_activeLayerIdx;
    return setOffPegsTransform(frameId, layer, transform);
}

// Queries

int Scene::layerType(int layer) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    return target ? target->type() : 0;
}

bool Scene::isVisualLayer(int layer) const
{
    const int type = layerType(layer);
    return type >= Layer::StrokeLayerType && type <= Layer::ReferenceLayerType;
}

bool Scene::isDrawLayer(int layer) const
{
    const int type = layerType(layer);
    return type == Layer::StrokeLayerType || type == Layer::DrawLayerType;
}

bool Scene::isReferenceLayer(int layer) const { return layerType(layer) == Layer::ReferenceLayerType; }
bool Scene::isAudioLayer(int layer) const { return layerType(layer) == Layer::AudioLayerType; }
bool Scene::isAnnotationLayer(int layer) const { return layerType(layer) == Layer::AnnotationLayerType; }

QString Scene::layerName(int layer) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    return target ? target->name() : QString();
}

bool Scene::isLayerLinked(int layer) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    return target && target->isLinked();
}

bool Scene::isLayerVisible(int layer) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual && visual->isVisible();
}

double Scene::layerOpacity(int layer) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual ? visual->opacity() : 0.0;
}

QColor Scene::layerColor(int layer) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    if (const auto *strokeLayer = qobject_cast<const StrokeLayer *>(target.get()))
        return strokeLayer->color();
    return asVisual(target) ? QColor(Qt::black) : QColor();
}

int Scene::layerBeyondLast(int layer) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual ? int(visual->layerBeyondLast()) : 0;
}

bool Scene::isLayerAudible(int layer) const
{
    const auto *audio = qobject_cast<const AudioLayer *>(layerAt(layer).get());
    return audio && audio->hasAudio() && audio->isAudible();
}

int Scene::layerFrameCount(int layer) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    if (!target)
        return 0;
    const VisualLayer *visual = asVisual(target);
    return visual ? visual->frameCount() : d->m_maximumFrameNumber;
}

int Scene::nextFreeFrame(int layer) const
{
    return layerFrameCount(layer) + 1;
}

int Scene::visualLayerCount() const
{
    int count = 0;
    for (const std::shared_ptr<Layer> &layer : std::as_const(d->m_layers)) {
        if (asVisual(layer))
            ++count;
    }
    return count;
}

int Scene::totalNumberOfDrawings() const
{
    int total = 0;
    for (const std::shared_ptr<Layer> &layer : std::as_const(d->m_layers)) {
        if (const VisualLayer *visual = asVisual(layer))
            total += visual->frameCount();
    }
    return total;
}

int Scene::annotationLayerIndex() const
{
    for (int i = 0; i < d->m_layers.size(); ++i) {
        if (d->m_layers.at(i)->type() == Layer::AnnotationLayerType)
            return i;
    }
    return -1;
}

bool Scene::isOriginalDrawing(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual && visual->isOriginal(frame);
}

bool Scene::isCloneDrawing(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual && visual->isClone(frame);
}

bool Scene::isDistantCloneDrawing(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual && visual->isDistantClone(frame);
}

bool Scene::isKeyDrawing(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual && visual->isKeyDrawing(frame);
}

bool Scene::isFrameAfterLastDrawing(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual && frame == visual->frameCount() + 1;
}

bool Scene::isActiveFrameAfterLastDrawing() const
{
    const bool scrubFrameShown = d->m_scrubFrame >= 1 && d->m_scrubFrame <= d->m_maximumFrameNumber;
    return !scrubFrameShown && isFrameAfterLastDrawing(d->m_activeLayerIdx, d->m_activeFrame);
}

Scene::InkRefusal Scene::activeCellInkRefusal() const
{
    const int layer = d->m_activeLayerIdx;
    const int frame = d->m_activeFrame;
    if (!isLayerVisible(layer))
        return InkRefusal::HiddenLayer;
    if (std::abs(layerOpacity(layer)) <= 1e-12)
        return InkRefusal::FadedLayer;
    if (!isDrawLayer(layer))
        return InkRefusal::NotDrawLayer;
    if (Settings::instance()->clonesLockedForDrawing() && !isOriginalDrawing(layer, frame)
        && !isActiveFrameAfterLastDrawing())
        return InkRefusal::LockedHold;
    return InkRefusal::None;
}

QTransform Scene::offPegsTransform(int frame, int *layerOut) const
{
    // Hidden layers count too: the paper moves with whichever drawing is off
    // its pegs, seen or not.
    for (int layer : std::as_const(d->m_layerOrdering)) {
        const VisualLayer *visual = asVisual(layerAt(layer));
        const QTransform transform = visual ? visual->offPegsTransform(frame) : QTransform();
        if (!transform.isIdentity()) {
            if (layerOut)
                *layerOut = layer;
            return transform;
        }
    }
    if (layerOut)
        *layerOut = -1;
    return QTransform();
}

bool Scene::isOffPegs(int frame, int *layerOut) const
{
    return !offPegsTransform(frame, layerOut).isIdentity();
}

std::shared_ptr<LayerItem> Scene::itemAt(int layer, int frame) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual ? visual->cell(frame) : nullptr;
}

QImage Scene::layerImage(int frame, int layer, const QSize &size) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    if (const VisualLayer *visual = asVisual(target))
        return visual->thumbnail(frame, size);
    if (const auto *annotations = qobject_cast<const AnnotationLayer *>(target.get()))
        return annotations->thumbnail(frame, size);
    if (const auto *audio = qobject_cast<const AudioLayer *>(target.get()))
        return audio->waveformImage(frame, size);
    return QImage();
}

QString Scene::frameLabel(int frame, int layer) const
{
    const VisualLayer *visual = asVisual(layerAt(layer));
    return visual ? visual->frameLabel(frame) : QString();
}

std::unique_ptr<FloatingSelection> Scene::activeDrawingContent(const QPainterPath &outline) const
{
    const auto *drawLayer = qobject_cast<const DrawLayer *>(layerAt(d->m_activeLayerIdx).get());
    if (!drawLayer)
        return nullptr;
    std::unique_ptr<FloatingSelection> selection = drawLayer->floatingSelectionContent(d->m_activeFrame, outline);
    // The cell itself, not the original it may hold: a lift that clears a
    // hold gives that cell a drawing of its own, and the piece belongs there.
    const std::shared_ptr<LayerItem> cell = itemAt(d->m_activeLayerIdx, d->m_activeFrame);
    if (selection && cell)
        selection->setOrigin({drawLayer->identifier(), cell->identifier()});
    return selection;
}

// Drawing keys

std::shared_ptr<LayerItem> Scene::findDrawing(const DrawingKey &key, int *layerOut, int *frameOut) const
{
    if (key.first.isNull() || key.second.isNull())
        return nullptr;
    for (int layer = 0; layer < d->m_layers.size(); ++layer) {
        const std::shared_ptr<Layer> &candidate = d->m_layers.at(layer);
        if (candidate->identifier() != key.first)
            continue;
        const VisualLayer *visual = asVisual(candidate);
        if (!visual)
            continue;
        const QList<std::shared_ptr<LayerItem>> &cells = visual->cells();
        for (int i = 0; i < cells.size(); ++i) {
            if (cells.at(i) && cells.at(i)->identifier() == key.second) {
                if (layerOut)
                    *layerOut = layer;
                if (frameOut)
                    *frameOut = i + 1;
                return cells.at(i);
            }
        }
    }
    return nullptr;
}

bool Scene::containsDrawing(const DrawingKey &key) const
{
    return findDrawing(key) != nullptr;
}

QList<Scene::DrawingKey> Scene::inSceneOrder(const QList<DrawingKey> &keys) const
{
    QList<std::pair<std::pair<int, int>, DrawingKey>> placed;
    for (const DrawingKey &key : keys) {
        int layer = int(d->m_layers.size());
        int frame = 0;
        findDrawing(key, &layer, &frame);
        placed.append({{layer, frame}, key});
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<DrawingKey> ordered;
    for (const auto &entry : std::as_const(placed))
        ordered.append(entry.second);
    return ordered;
}

Scene::DrawingKey Scene::originalKeyAt(int layer, int frame) const
{
    const std::shared_ptr<Layer> target = layerAt(layer);
    const VisualLayer *visual = asVisual(target);
    if (!visual || !visual->hasFrame(frame))
        return {};
    for (int f = frame; f >= 1; --f) {
        const std::shared_ptr<LayerItem> cell = visual->cell(f);
        if (cell->kind() == LayerItem::OriginalKind)
            return {target->identifier(), cell->identifier()};
        if (cell->kind() == LayerItem::DistantCloneKind)
            return {cell->originalLayer(), cell->originalItem()};
        if (cell->kind() != LayerItem::CloneKind)
            break;
    }
    return {};
}

Scene::DrawingKey Scene::drawingKeyAt(const QUuid &layerId, int frame) const
{
    if (layerId.isNull())
        return {};
    for (int layer = 0; layer < d->m_layers.size(); ++layer) {
        if (d->m_layers.at(layer)->identifier() != layerId)
            continue;
        const VisualLayer *visual = asVisual(d->m_layers.at(layer));
        if (!visual)
            return {};
        const int count = visual->frameCount();
        if (visual->hasFrame(frame))
            return originalKeyAt(layer, frame);
        if (frame <= count || count < 1)
            return {};
        switch (visual->layerBeyondLast()) {
        case Layer::FreezeLastDrawing:
            return originalKeyAt(layer, count);
        case Layer::CycleDrawings:
            return originalKeyAt(layer, count == 1 ? 1 : (frame - 1) % count + 1);
        default:
            return {};
        }
    }
    return {};
}

std::shared_ptr<LayerItem> Scene::findOriginalByCopyId(const QUuid &copyId, DrawingKey *keyOut, int *layerOut,
                                                       int *frameOut) const
{
    // Drawings that were never copied all share the null copy id.
    if (copyId.isNull())
        return nullptr;
    for (int layer = 0; layer < d->m_layers.size(); ++layer) {
        const VisualLayer *visual = asVisual(d->m_layers.at(layer));
        if (!visual)
            continue;
        const QList<std::shared_ptr<LayerItem>> &cells = visual->cells();
        for (int i = 0; i < cells.size(); ++i) {
            const std::shared_ptr<LayerItem> &cell = cells.at(i);
            if (!cell || cell->kind() != LayerItem::OriginalKind || !cell->drawing()
                || cell->drawing()->copyId() != copyId)
                continue;
            if (keyOut)
                *keyOut = {visual->identifier(), cell->identifier()};
            if (layerOut)
                *layerOut = layer;
            if (frameOut)
                *frameOut = i + 1;
            return cell;
        }
    }
    return nullptr;
}

QList<std::pair<int, int>> Scene::propagateToFollowingClones(int frame, int layer)
{
    VisualLayer *visual = asVisual(layerAt(layer));
    if (!visual || !visual->hasFrame(frame))
        return {};
    QList<std::pair<int, int>> cells{{frame, layer}};
    for (int clone : visual->relinkFollowingClones(frame))
        cells.append({clone, layer});
    return cells;
}

} // namespace Model
