#include "layerpropertycommands.h"

#include "commandconventions.h"
#include "layers/layer.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"

#include <QAbstractItemModel>
#include <QVariant>

#include <cmath>

namespace Commands {

// Rename

class RenameLayerPrivate
{
public:
    QAbstractItemModel *m_model = nullptr;
    qint32 m_column = -1;
    QString m_new;
    QString m_old;
};

RenameLayer::RenameLayer(QAbstractItemModel *model, int column, const QString &name, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<RenameLayerPrivate>())
{
    setText(historyText("Rename Layer", "Commands::RenameLayer"));
    d->m_model = model;
    d->m_column = column;
    d->m_new = name;
    // The audio column's header shows the sound's offset, not a name.
    const bool named = model
        && model->headerData(column, Qt::Horizontal, Model::SceneModel::LayerTypeRole).toInt()
            != Model::Layer::AudioLayerType;
    if (named)
        d->m_old = model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    if (!named || name.isEmpty() || name == d->m_old)
        setObsolete(true);
}

RenameLayer::~RenameLayer() = default;

void RenameLayer::perform()
{
    if (d->m_model && !isObsolete())
        d->m_model->setHeaderData(d->m_column, Qt::Horizontal, d->m_new, Qt::DisplayRole);
}

void RenameLayer::undo()
{
    if (d->m_model && !isObsolete())
        d->m_model->setHeaderData(d->m_column, Qt::Horizontal, d->m_old, Qt::DisplayRole);
}

// Visible and linked: a flag of the header

class HeaderFlagPrivate
{
public:
    HeaderFlagPrivate(QUndoCommand *command, QAbstractItemModel *model, int column, bool value, int role)
        : m_model(model)
        , m_column(column)
        , m_value(value)
        , m_role(role)
    {
        if (!model || model->headerData(column, Qt::Horizontal, role).toBool() == value)
            command->setObsolete(true);
    }

    // A layer that has no such flag (a sound has no visibility) refuses it,
    // and the command changed nothing.
    void write(QUndoCommand *command, bool value) const
    {
        if (m_model && !command->isObsolete() && !m_model->setHeaderData(m_column, Qt::Horizontal, value, m_role))
            command->setObsolete(true);
    }

    QAbstractItemModel *m_model = nullptr;
    qint32 m_column = -1;
    bool m_value = false;
    int m_role = Qt::DisplayRole;
};

SetLayerVisible::SetLayerVisible(QAbstractItemModel *model, int column, bool visible, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<HeaderFlagPrivate>(this, model, column, visible, Model::SceneModel::VisibleRole))
{
    setText(visible ? historyText("Set Layer Visible", "Commands::SetLayerVisible")
                    : historyText("Set Layer Invisible", "Commands::SetLayerVisible"));
    // Sound and notes are never hidden.
    if (!model || !model->headerData(column, Qt::Horizontal, Model::SceneModel::VisualLayerRole).toBool())
        setObsolete(true);
}

SetLayerVisible::~SetLayerVisible() = default;

void SetLayerVisible::perform()
{
    d->write(this, d->m_value);
}

void SetLayerVisible::undo()
{
    d->write(this, !d->m_value);
}

SetLayerLinked::SetLayerLinked(QAbstractItemModel *model, int column, bool linked, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<HeaderFlagPrivate>(this, model, column, linked, Model::SceneModel::LinkedRole))
{
    setText(linked ? historyText("Link Layer", "Commands::SetLayerLinked")
                   : historyText("Unlink Layer", "Commands::SetLayerLinked"));
}

SetLayerLinked::~SetLayerLinked() = default;

void SetLayerLinked::perform()
{
    d->write(this, d->m_value);
}

void SetLayerLinked::undo()
{
    d->write(this, !d->m_value);
}

SetAllLayersLinked::SetAllLayersLinked(QAbstractItemModel *model, bool linked, QUndoCommand *parent)
    : SceneCommand(parent)
{
    setText(linked ? historyText("Link All Layers", "Commands::SetAllLayersLinked")
                   : historyText("Unlink All Layers", "Commands::SetAllLayersLinked"));
    bool changes = false;
    for (int column = 0; model && column < model->columnCount(); ++column) {
        if (!model->headerData(column, Qt::Horizontal, Model::SceneModel::VisualLayerRole).toBool())
            continue;
        // Layers already so get an obsolete child that does nothing.
        const auto *child = new SetLayerLinked(model, column, linked, this);
        changes = changes || !child->isObsolete();
    }
    if (!changes)
        setObsolete(true);
}

SetAllLayersLinked::~SetAllLayersLinked() = default;

// Beyond last

class SetLayerBeyondLastPrivate
{
public:
    // Only a layer of cells has a rule beyond its last one.
    void apply(QUndoCommand *command, int mode) const
    {
        if (m_scene && !command->isObsolete()
            && !m_scene->setLayerBeyondLast(m_layer, Model::Layer::LayerBeyondLast(mode)))
            command->setObsolete(true);
    }

    Model::Scene *m_scene = nullptr;
    qint32 m_layer = -1;
    qint32 m_old = 0;
    qint32 m_new = 0;
};

SetLayerBeyondLast::SetLayerBeyondLast(Model::Scene *scene, int layer, int mode, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<SetLayerBeyondLastPrivate>())
{
    switch (mode) {
    case Model::Layer::ShowNothing:
        setText(historyText("Show Nothing Beyond Last Drawing", "Commands::SetLayerBeyondLast"));
        break;
    case Model::Layer::FreezeLastDrawing:
        setText(historyText("Freeze Last Drawing", "Commands::SetLayerBeyondLast"));
        break;
    case Model::Layer::CycleDrawings:
        setText(historyText("Cycle Drawings Beyond Last Drawing", "Commands::SetLayerBeyondLast"));
        break;
    default:
        setText(historyText("Undefined", "Commands::SetLayerBeyondLast"));
        break;
    }
    d->m_scene = scene;
    d->m_layer = layer;
    d->m_new = mode;
    if (scene)
        d->m_old = scene->layerBeyondLast(layer);
    if (!scene || !scene->isVisualLayer(layer) || mode == 0 || mode == d->m_old)
        setObsolete(true);
}

SetLayerBeyondLast::~SetLayerBeyondLast() = default;

void SetLayerBeyondLast::perform()
{
    d->apply(this, d->m_new);
}

void SetLayerBeyondLast::undo()
{
    d->apply(this, d->m_old);
}

// Colour

class ChangeLayerColorPrivate
{
public:
    Model::Scene *m_scene = nullptr;
    qint32 m_layer = -1;
    QColor m_new;
    QColor m_old;
};

ChangeLayerColor::ChangeLayerColor(Model::Scene *scene, int layer, const QColor &color, QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<ChangeLayerColorPrivate>())
{
    setText(historyText("Change Layer Color", "Commands::ChangeLayerColor"));
    d->m_scene = scene;
    d->m_layer = layer;
    d->m_new = color;
    if (scene)
        d->m_old = scene->layerColor(layer);
    // Only a stroke layer has a colour of its own.
    if (!scene || scene->layerType(layer) != Model::Layer::StrokeLayerType || d->m_old == color)
        setObsolete(true);
}

ChangeLayerColor::~ChangeLayerColor() = default;

void ChangeLayerColor::perform()
{
    if (!d->m_scene || isObsolete())
        return;
    if (d->m_old == d->m_new || !d->m_scene->setLayerColor(d->m_layer, d->m_new))
        setObsolete(true);
}

void ChangeLayerColor::undo()
{
    if (d->m_scene && !isObsolete())
        d->m_scene->setLayerColor(d->m_layer, d->m_old);
}

// Opacity

class ChangeLayerOpacityPrivate
{
public:
    bool unchanged() const { return fuzzyEqual(m_old + 1.0, m_new + 1.0); }

    Model::Scene *m_scene = nullptr;
    qint32 m_layer = -1;
    double m_old = 1.0;
    double m_new = 1.0;
};

ChangeLayerOpacity::ChangeLayerOpacity(Model::Scene *scene, int layer, double oldOpacity, double newOpacity,
                                       QUndoCommand *parent)
    : SceneCommand(parent)
    , d(std::make_unique<ChangeLayerOpacityPrivate>())
{
    setText(historyText("Change Layer Opacity", "Commands::ChangeLayerOpacity"));
    d->m_scene = scene;
    d->m_layer = layer;
    d->m_old = oldOpacity;
    d->m_new = newOpacity;
    if (!scene || !scene->isVisualLayer(layer) || std::isnan(newOpacity) || d->unchanged())
        setObsolete(true);
}

ChangeLayerOpacity::~ChangeLayerOpacity() = default;

void ChangeLayerOpacity::perform()
{
    if (!d->m_scene)
        return;
    // The scene may show the new opacity already, as the slider's preview:
    // only the command's own values tell whether it changes anything.
    if (d->unchanged() || !d->m_scene->setLayerOpacity(d->m_layer, d->m_new))
        setObsolete(true);
}

void ChangeLayerOpacity::undo()
{
    if (d->m_scene)
        d->m_scene->setLayerOpacity(d->m_layer, d->m_old);
}

int ChangeLayerOpacity::id() const
{
    return ChangeLayerOpacityId;
}

bool ChangeLayerOpacity::mergeWith(const QUndoCommand *other)
{
    // Another layer's change is an edit of its own: merged, undo would never
    // give that layer its opacity back, and redo would give its value to
    // this layer.
    const auto *later = dynamic_cast<const ChangeLayerOpacity *>(other);
    if (!later || later->d->m_layer != d->m_layer || later->d->m_scene != d->m_scene)
        return false;
    d->m_new = later->d->m_new;
    if (d->unchanged())
        setObsolete(true);
    return true;
}

} // namespace Commands
