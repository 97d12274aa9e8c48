#include "backlightsettings.h"

#include <initializer_list>

namespace Model {

namespace {

// Clears the set to empty lists and the first value of each enumeration, then
// gives both sides the same four levels.
void fillSetting(BacklightSetting &setting, std::initializer_list<double> levels)
{
    setting = BacklightSetting();
    for (double level : levels) {
        setting.opacityLevelsBefore.append(level);
        setting.opacityLevelsAfter.append(level);
    }
}

void fillSettingA(BacklightSetting &setting)
{
    fillSetting(setting, {0.3, 0.2, 0.15, 0.0});
}

void fillSettingB(BacklightSetting &setting)
{
    fillSetting(setting, {0.3, 0.0, 0.0, 0.0});
}

} // namespace

BacklightSettings::BacklightSettings()
{
    fillSettingB(settingB);
}

void BacklightSettings::resetSetting(BacklightSet which)
{
    switch (which) {
    case BacklightSettingA:
        fillSettingA(settingA);
        break;
    case BacklightSettingB:
        fillSettingB(settingB);
        break;
    }
}

} // namespace Model

#include "moc_backlightsettings.cpp"
