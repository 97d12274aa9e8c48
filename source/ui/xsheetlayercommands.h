#pragma once

// The layer and sound commands that the exposure sheet and its header and
// gizmos push: MoveLayer, SetLayerBeyondLast, SetAudioOffset,
// SetLayerVisible, SetLayerLinked and ChangeLayerColor. They belong to the commands
// library; a tree whose commands library does not have them yet gets the
// plain equivalents below, which make the same scene calls and show the
// same history texts, so that the sheet builds and behaves the same. Delete
// the fallback once the library's own units are everywhere.

#if __has_include("layercommands.h") && __has_include("layerpropertycommands.h") && __has_include("importcommands.h")

#include "importcommands.h"
#include "layercommands.h"
#include "layerpropertycommands.h"

#else

#include "commandconventions.h"

#include "scene/scene.h"

#include "scene/scenemodel.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QPointer>
#include <QUndoCommand>

#include <cmath>

namespace Commands {

class MoveLayer : public QUndoCommand
{
public:
    MoveLayer(Model::Scene *scene, int layer, int from, int to, QUndoCommand *parent = nullptr)
        : QUndoCommand(historyText("Move Layer", "Commands::MoveLayer"), parent)
        , m_scene(scene)
        , m_layer(layer)
        , m_from(from)
        , m_to(to)
    {
    }
    void redo() override
    {
        if (m_from == m_to)
            setObsolete(true);
        else if (m_scene)
            m_scene->moveLayer(m_layer, m_from, m_to);
    }
    void undo() override
    {
        if (m_scene)
            m_scene->moveLayer(m_layer, m_to, m_from);
    }

private:
    QPointer<Model::Scene> m_scene;
    int m_layer;
    int m_from;
    int m_to;
};

class SetLayerBeyondLast : public QUndoCommand
{
public:
    SetLayerBeyondLast(Model::Scene *scene, int layer, int mode, QUndoCommand *parent = nullptr)
        : QUndoCommand(parent)
        , m_scene(scene)
        , m_layer(layer)
        , m_new(mode)
    {
        static const char *const texts[] = {"Undefined", "Show Nothing Beyond Last Drawing", "Freeze Last Drawing",
                                            "Cycle Drawings Beyond Last Drawing"};
        setText(historyText(texts[mode >= 1 && mode <= 3 ? mode : 0], "Commands::SetLayerBeyondLast"));
        m_old = scene ? scene->layerBeyondLast(layer) : 0;
        setObsolete(!scene || mode == 0 || mode == m_old);
    }
    void redo() override { apply(m_new); }
    void undo() override { apply(m_old); }

private:
    void apply(int mode)
    {
        if (m_scene && !isObsolete())
            m_scene->setLayerBeyondLast(m_layer, Model::Layer::LayerBeyondLast(mode));
    }

    QPointer<Model::Scene> m_scene;
    int m_layer;
    int m_old = 0;
    int m_new;
};

class SetAudioOffset : public QUndoCommand
{
public:
    SetAudioOffset(Model::Scene *scene, double offset, QUndoCommand *parent = nullptr)
        : QUndoCommand(parent)
        , m_scene(scene)
        , m_new(offset)
    {
        setText(std::abs(offset) <= 1e-12 ? historyText("Remove Audio Offset", "Commands::SetAudioOffset")
                                          : historyText("Set Audio Offset", "Commands::SetAudioOffset"));
        m_old = scene ? scene->audioOffset() : 0.0;
        setObsolete(!scene || fuzzyEqual(offset, m_old));
    }
    void redo() override { apply(m_new); }
    void undo() override { apply(m_old); }

private:
    void apply(double offset)
    {
        if (m_scene && !isObsolete())
            m_scene->setAudioOffset(offset);
    }

    QPointer<Model::Scene> m_scene;
    double m_old = 0.0;
    double m_new;
};

// Visibility and linking are flags of the table model's horizontal header.
class SetLayerHeaderFlag : public QUndoCommand
{
public:
    SetLayerHeaderFlag(QAbstractItemModel *model, int column, bool value, int role, QUndoCommand *parent)
        : QUndoCommand(parent)
        , m_model(model)
        , m_column(column)
        , m_value(value)
        , m_role(role)
    {
        setObsolete(!model || model->headerData(column, Qt::Horizontal, role).toBool() == value);
    }
    void redo() override { write(m_value); }
    void undo() override { write(!m_value); }

private:
    void write(bool value)
    {
        if (m_model && !isObsolete())
            m_model->setHeaderData(m_column, Qt::Horizontal, value, m_role);
    }

    QPointer<QAbstractItemModel> m_model;
    int m_column;
    bool m_value;
    int m_role;
};

class SetLayerVisible : public SetLayerHeaderFlag
{
public:
    SetLayerVisible(QAbstractItemModel *model, int column, bool visible, QUndoCommand *parent = nullptr)
        : SetLayerHeaderFlag(model, column, visible, Model::SceneModel::VisibleRole, parent)
    {
        setText(visible ? historyText("Set Layer Visible", "Commands::SetLayerVisible")
                        : historyText("Set Layer Invisible", "Commands::SetLayerVisible"));
    }
};

class SetLayerLinked : public SetLayerHeaderFlag
{
public:
    SetLayerLinked(QAbstractItemModel *model, int column, bool linked, QUndoCommand *parent = nullptr)
        : SetLayerHeaderFlag(model, column, linked, Model::SceneModel::LinkedRole, parent)
    {
        setText(linked ? historyText("Link Layer", "Commands::SetLayerLinked")
                       : historyText("Unlink Layer", "Commands::SetLayerLinked"));
    }
};

class ChangeLayerColor : public QUndoCommand
{
public:
    ChangeLayerColor(Model::Scene *scene, int layer, const QColor &color, QUndoCommand *parent = nullptr)
        : QUndoCommand(historyText("Change Layer Color", "Commands::ChangeLayerColor"), parent)
        , m_scene(scene)
        , m_layer(layer)
        , m_new(color)
    {
        if (scene)
            m_old = scene->layerColor(layer);
        else
            setObsolete(true);
    }
    void redo() override
    {
        if (!m_scene || isObsolete())
            return;
        if (m_old == m_new || !m_scene->setLayerColor(m_layer, m_new))
            setObsolete(true);
    }
    void undo() override
    {
        if (m_scene && !isObsolete())
            m_scene->setLayerColor(m_layer, m_old);
    }

private:
    QPointer<Model::Scene> m_scene;
    int m_layer;
    QColor m_new;
    QColor m_old;
};

} // namespace Commands

#endif
