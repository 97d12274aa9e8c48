#pragma once

#include "kl.h"

#include <QSize>

namespace UI {

// What the scene settings dialog is given and hands back: a plain value. The
// caller fills it from the preferences (a new scene) or from the current
// scene (a change of its settings) and reads it back after the dialog was
// accepted; the dialog stores nothing itself.
struct SceneSettings
{
    enum class Mode : int {
        NewScene = 0,
        ChangeSceneSettings = 1,
    };

    QSize frameSize{1920, 1080};
    // How the drawings of an existing scene are fitted to a changed size.
    KL::FitMode fitMode = KL::FitMode::FitModeKeepAspect;
    // Frames per second.
    double frameRate = 12.0;
    // Used only for a new scene.
    int initialNumberOfFrames = 1;
    Mode mode = Mode::NewScene;

    bool operator==(const SceneSettings &other) const = default;
};

} // namespace UI
