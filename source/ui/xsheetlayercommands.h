#pragma once

// The layer and sound commands that the exposure sheet pushes: MoveLayer,
// SetLayerBeyondLast and SetAudioOffset. They belong to the commands
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

} // namespace Commands

#endif
