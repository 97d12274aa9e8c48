#pragma once

#include "settings/backlightsetting.h"

#include <QObject>

namespace Model {

// The backlight as the user has configured it: two looks, A and B, the one
// in use, and two switches. Only the looks and the choice between them are
// kept in the preferences; `on` and `onlyKeyFrames` live for one run, so the
// backlight is off at every start.
//
// A default-constructed record has an empty set A (only set B is filled);
// the preferences reset both sets before reading them from the store.
// Copies and moves are member-wise, like those of BacklightSetting.
class BacklightSettings
{
    Q_GADGET

public:
    enum BacklightSet { BacklightSettingA, BacklightSettingB };
    Q_ENUM(BacklightSet)

    BacklightSettings();

    // Replaces one set by its built-in look; an unknown set does nothing.
    // Nothing else in the record changes.
    void resetSetting(BacklightSet which);

    bool on = false;
    BacklightSet current = BacklightSettingA;
    BacklightSetting settingA;
    BacklightSetting settingB;
    bool onlyKeyFrames = false;
};

} // namespace Model
