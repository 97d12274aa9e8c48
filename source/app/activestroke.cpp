#include "activestroke.h"

#include "drawingcontentcommands.h"

#include "scene/klscene.h"
#include "scene/scene.h"

namespace ActiveStroke {

bool commit(Model::KLScene *klscene, Model::SingleStroke::InputPoint *lastPoint)
{
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene || !scene->hasActiveStroke())
        return false;
    if (lastPoint)
        *lastPoint = scene->activeStroke()->lastPoint();
    const QModelIndex cell = klscene->currentIndex();
    std::unique_ptr<Model::SingleStroke> stroke = scene->takeActiveStroke();
    if (!stroke)
        return false;
    // Pushed on this scene's own stack, whichever scene is current.
    scene->undoStack()->push(new Commands::Stroke(klscene, cell, std::move(stroke)));
    return true;
}

} // namespace ActiveStroke
