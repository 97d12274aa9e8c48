#pragma once

// The application font, "Passion One", for the headings of the preferences
// window, the customise overlay and the tutorial. Registered once per run
// after the model library starts; a font that cannot be registered is not
// reported (widgets fall back to the default font).

// Registers ":/fonts/PassionOne-Regular.ttf" unless it already is.
void registerApplicationFont();
// Clears the once-flag only: the font stays usable until the process ends.
void unregisterApplicationFont();
bool isApplicationFontRegistered();
