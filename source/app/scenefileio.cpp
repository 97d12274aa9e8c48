#include "scenefileio.h"

#include "io/scenefile.h"

#include <QProgressDialog>

#include <optional>

namespace SceneFileIO {

Outcome readScene(Model::Scene *scene, QIODevice *device, QWidget *parent)
{
    // The reader gives the dialog its label, cancel button, modality and
    // delay.
    QProgressDialog progress(parent);
    Model::SceneReader reader(scene, &progress);
    Outcome outcome;
    outcome.result = Result(reader.read(device));
    if (outcome.result == Failed) {
        outcome.errorString = reader.errorString();
    } else if (outcome.result == Success) {
        outcome.damage = reader.damage();
        outcome.damageReport = reader.damageReport();
    }
    return outcome;
}

Outcome writeScene(Model::Scene *scene, QIODevice *device, QWidget *parent)
{
    // A modal progress dialog handles events as it moves on.
    std::optional<QProgressDialog> progress;
    if (parent)
        progress.emplace(parent);
    const Model::SceneFile::SaveResult written =
        Model::SceneFile::write(*scene, device, progress ? &*progress : nullptr);
    Outcome outcome;
    outcome.result = Result(written.result);
    outcome.errorString = written.message;
    return outcome;
}

} // namespace SceneFileIO
