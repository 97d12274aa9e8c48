#include "layercommands.h"

#include "commandconventions.h"
#include "layers/audiolayer.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "layers/visuallayer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scenesettingscommands.h"

#include <QObject>
#include <QString>

#include <utility>

namespace Commands {

// New layer

class NewLayerPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    qint32 m_index = -1;
    QString m_name;
    // Held while the layer is out of the scene.
    std::shared_ptr<Model::Layer> m_layer;
    ViewState m_view;
    qint32 m_reference = -1;
};

NewLayer::NewLayer(Model::Scene *scene, int type, int referenceLayer, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<NewLayerPrivate>())
{
    if (!scene) {
        setObsolete(true);
        return;
    }
    switch (type) {
    case Model::Layer::StrokeLayerType:
        setText(historyText("New Layer", "Commands::NewLayer"));
        break;
    case Model::Layer::DrawLayerType:
        // There are no paint layers to make.
        setText(historyText("New Paint Layer", "Commands::NewLayer"));
        setObsolete(true);
        return;
    case Model::Layer::ReferenceLayerType:
        setText(historyText("New Reference Layer", "Commands::NewLayer"));
        break;
    default:
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_name = scene->nextLayerNumber();
    d->m_view = ViewState::of(scene);
    d->m_reference = referenceLayer == -1 ? scene->activeLayerIdx() : referenceLayer;
    if (type == Model::Layer::StrokeLayerType)
        d->m_layer = std::make_shared<Model::StrokeLayer>(QColor(Qt::black), scene->frameSize(), scene);
    else
        d->m_layer = std::make_shared<Model::ReferenceLayer>(scene->frameSize(), scene);
    d->m_layer->setName(d->m_name);
}

NewLayer::~NewLayer() = default;

void NewLayer::perform()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || !d->m_layer)
        return;
    d->m_index = insertLayerAt(scene, d->m_layer, scene->layerCount(), positionOfLayer(scene, d->m_reference));
    scene->setActiveFrameAndLayer(d->m_view.activeFrame, d->m_index, Model::Scene::ClampToDrawings);
    d->m_layer.reset();
}

void NewLayer::undo()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || d->m_index < 0)
        return;
    d->m_view.restore(scene);
    d->m_layer = scene->removeLayerAt(d->m_index);
}

// Duplicate layer

class DuplicateLayerPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    qint32 m_source = -1;
    qint32 m_index = -1;
    ViewState m_view;
    // The copy, held while it is out of the scene. Made once: a copy made
    // anew on each redo would carry a new layer identifier, and the keys
    // that later commands keep of its cells would find nothing.
    std::shared_ptr<Model::Layer> m_copy;
    bool m_made = false;
};

DuplicateLayer::DuplicateLayer(Model::Scene *scene, int layer, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<DuplicateLayerPrivate>())
{
    setText(historyText("Duplicate Layer", "Commands::DuplicateLayer"));
    if (!scene || !scene->isVisualLayer(layer)) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_source = layer;
    d->m_view = ViewState::of(scene);
}

DuplicateLayer::~DuplicateLayer() = default;

void DuplicateLayer::perform()
{
    Model::Scene *scene = d->m_scene;
    if (!scene)
        return;
    if (!d->m_made) {
        d->m_made = true;
        const std::shared_ptr<Model::Layer> source = scene->layerAt(d->m_source);
        if (source)
            d->m_copy.reset(source->clone());
        if (d->m_copy)
            d->m_copy->setName(QObject::tr("Copy of %1").arg(source->name()));
    }
    if (!d->m_copy) {
        setObsolete(true);
        return;
    }
    d->m_index = insertLayerAt(scene, d->m_copy, scene->layerCount(), positionOfLayer(scene, d->m_view.activeLayer));
    scene->setActiveFrameAndLayer(d->m_view.activeFrame, d->m_index, Model::Scene::ClampToDrawings);
    d->m_copy.reset();
}

void DuplicateLayer::undo()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || d->m_index < 0)
        return;
    d->m_copy = scene->removeLayerAt(d->m_index);
    d->m_view.restore(scene);
}

// Discard layer

namespace {

// The layer nearest above layer in the ordering that can be active, or
// nearest below it when none above can: sound and notes never are.
int activeNeighbour(const Model::Scene *scene, int layer)
{
    const QList<int> ordering = scene->layerOrdering();
    const int position = positionOfLayer(scene, layer);
    for (const int step : {-1, 1}) {
        for (int other = position + step; other >= 0 && other < ordering.size(); other += step) {
            if (scene->isVisualLayer(ordering.at(other)))
                return ordering.at(other);
        }
    }
    return -1;
}

} // namespace

DiscardLayer::DiscardLayer(Model::Scene *scene, int layer, QUndoCommand *parent)
    : SceneCommand(parent)
{
    if (!scene) {
        setObsolete(true);
        return;
    }
    if (scene->isVisualLayer(layer)) {
        setText(historyText("Discard Layer", "Commands::DiscardLayer"));
        if (scene->visualLayerCount() > 1) {
            if (layer == scene->activeLayerIdx()) {
                const int frame = scene->activeFrame();
                new SetActiveFrameAndLayer(scene, frame, activeNeighbour(scene, layer), frame, 1, this);
            }
            new RemoveLayer(scene, layer, this);
        } else {
            // The last drawing layer is emptied, never removed.
            auto replacement = std::make_shared<Model::StrokeLayer>(QColor(Qt::black), scene->frameSize(), scene);
            replacement->setName(QObject::tr("New Layer"));
            new SwapLayer(scene, layer, std::move(replacement), this);
        }
    } else if (scene->isAudioLayer(layer)) {
        setText(historyText("Discard Audio", "Commands::DiscardLayer"));
        new SwapLayer(scene, layer, std::make_shared<Model::AudioLayer>(scene), this);
    } else {
        setObsolete(true);
    }
}

DiscardLayer::~DiscardLayer() = default;

// Remove layer

class RemoveLayerPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    qint32 m_layer = -1;
    qint32 m_position = -1;
    std::shared_ptr<Model::Layer> m_removed;
    ViewState m_view;
};

RemoveLayer::RemoveLayer(Model::Scene *scene, int layer, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<RemoveLayerPrivate>())
{
    setText(historyText("Remove Layer", "Commands::RemoveLayer"));
    if (!scene || !scene->layerAt(layer)) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_layer = layer;
    d->m_position = positionOfLayer(scene, layer);
    d->m_view = ViewState::of(scene);
}

RemoveLayer::~RemoveLayer() = default;

void RemoveLayer::perform()
{
    if (d->m_scene && !isObsolete())
        d->m_removed = d->m_scene->removeLayerAt(d->m_layer);
}

void RemoveLayer::undo()
{
    if (!d->m_scene || !d->m_removed)
        return;
    insertLayerAt(d->m_scene, d->m_removed, d->m_layer, d->m_position);
    d->m_view.restore(d->m_scene);
}

// Swap layer

class SwapLayerPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    qint32 m_layer = -1;
    std::shared_ptr<Model::Layer> m_taken;
    std::shared_ptr<Model::Layer> m_replacement;
    ViewState m_view;
};

SwapLayer::SwapLayer(Model::Scene *scene, int layer, std::shared_ptr<Model::Layer> replacement,
                     QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SwapLayerPrivate>())
{
    setText(historyText("Swap Layer", "Commands::SwapLayer"));
    if (!scene || !replacement || !scene->layerAt(layer)) {
        setObsolete(true);
        return;
    }
    d->m_scene = scene;
    d->m_layer = layer;
    d->m_replacement = std::move(replacement);
    d->m_view = ViewState::of(scene);
}

SwapLayer::~SwapLayer() = default;

void SwapLayer::perform()
{
    if (d->m_scene && d->m_replacement && !isObsolete())
        d->m_taken = d->m_scene->replaceLayer(d->m_layer, d->m_replacement);
}

void SwapLayer::undo()
{
    if (!d->m_scene || !d->m_taken)
        return;
    d->m_scene->replaceLayer(d->m_layer, d->m_taken);
    d->m_taken.reset();
    d->m_view.restore(d->m_scene);
}

// Merge layer down

class MergeLayerDownPrivate
{
public:
    // A layer that undo puts back where it stood.
    struct Place
    {
        std::shared_ptr<Model::Layer> layer;
        qint32 index = -1;
        qint32 position = -1;
    };

    Model::Scene *m_scene = nullptr;
    qint32 m_activeFrame = -1;
    std::shared_ptr<Model::Layer> m_activeLayer;
    FrameRange m_range;
    Place m_upper;
    Place m_lower;
    std::shared_ptr<Model::Layer> m_merged;
};

MergeLayerDown::MergeLayerDown(Model::KLScene *scene, int layer, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<MergeLayerDownPrivate>())
{
    setText(historyText("Merge Layer Down", "Commands::MergeLayerDown"));
    Model::Scene *document = scene ? scene->scene() : nullptr;
    if (!document || !document->canMergeLayerDown(layer)) {
        setObsolete(true);
        return;
    }
    const int lower = document->layerBelowInFrameRange(layer);
    if (lower == layer || !document->isDrawLayer(layer) || document->layerType(lower) != document->layerType(layer)) {
        setObsolete(true);
        return;
    }
    d->m_scene = document;
    d->m_activeFrame = document->activeFrame();
    d->m_activeLayer = document->layerAt(document->activeLayerIdx());
    d->m_range = FrameRange::of(document);
    d->m_upper = {nullptr, layer, positionOfLayer(document, layer)};
    d->m_lower = {nullptr, lower, positionOfLayer(document, lower)};
}

MergeLayerDown::~MergeLayerDown() = default;

void MergeLayerDown::perform()
{
    Model::Scene *scene = d->m_scene;
    if (!scene)
        return;
    d->m_upper.layer = scene->layerAt(d->m_upper.index);
    d->m_lower.layer = scene->layerAt(d->m_lower.index);
    const bool first = !d->m_merged;
    if (first) {
        const auto *lower = qobject_cast<const Model::VisualLayer *>(d->m_lower.layer.get());
        auto *copy = lower ? qobject_cast<Model::VisualLayer *>(lower->clone()) : nullptr;
        if (!copy) {
            setObsolete(true);
            return;
        }
        // A copy of a layer leaves its cells' marks and placements behind.
        for (int frame = 1; frame <= lower->frameCount(); ++frame) {
            copy->setKeyDrawing(frame, lower->isKeyDrawing(frame));
            copy->setOffPegsTransform(frame, lower->offPegsTransform(frame));
        }
        d->m_merged.reset(copy);
    }
    scene->removeLayerAt(d->m_lower.index);
    const int index = insertLayerAt(scene, d->m_merged, scene->layerCount(), d->m_lower.position);
    if (first)
        scene->mergeLayerDown(scene->indexOfLayer(d->m_upper.layer), index);
    scene->setFrameRange(d->m_range.first, d->m_range.last, d->m_activeFrame, index);
    scene->removeLayer(d->m_upper.layer);
}

void MergeLayerDown::undo()
{
    Model::Scene *scene = d->m_scene;
    if (!scene || !d->m_merged)
        return;
    // The upper layer first, while the merged one still stands in the lower
    // one's place: the merged layer's links go when it leaves, and the
    // lower layer's come back with it. The lower layer is not back yet, so
    // an upper layer that stood after it goes one index up meanwhile.
    const MergeLayerDownPrivate::Place &upper = d->m_upper;
    const MergeLayerDownPrivate::Place &lower = d->m_lower;
    insertLayerAt(scene, upper.layer, upper.index - (lower.index < upper.index ? 1 : 0), upper.position);
    scene->removeLayer(d->m_merged);
    insertLayerAt(scene, lower.layer, lower.index, lower.position);
    scene->setFrameRange(d->m_range.first, d->m_range.last, d->m_activeFrame,
                         scene->indexOfLayer(d->m_activeLayer));
}

// Move layer

class MoveLayerPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    qint32 m_layer = -1;
    qint32 m_from = -1;
    qint32 m_to = -1;
};

MoveLayer::MoveLayer(Model::Scene *scene, int layer, int from, int to, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<MoveLayerPrivate>())
{
    setText(historyText("Move Layer", "Commands::MoveLayer"));
    d->m_scene = scene;
    d->m_layer = layer;
    d->m_from = from;
    d->m_to = to;
    // A move the scene would refuse, from a position that does not hold the
    // layer or to none, changes nothing either.
    if (!scene || from == to || positionOfLayer(scene, layer) != from || to < 0 || to >= scene->layerCount())
        setObsolete(true);
}

MoveLayer::~MoveLayer() = default;

void MoveLayer::perform()
{
    if (!d->m_scene)
        return;
    // A move the scene refuses (a position that does not hold the layer)
    // changes nothing either.
    if (d->m_from == d->m_to || !d->m_scene->moveLayer(d->m_layer, d->m_from, d->m_to))
        setObsolete(true);
}

void MoveLayer::undo()
{
    if (d->m_scene)
        d->m_scene->moveLayer(d->m_layer, d->m_to, d->m_from);
}

} // namespace Commands
