#pragma once

// The main window's companions that are not written yet, in one place.
//
// The window is built in a fixed order, and each of these has its step in
// it. Until a companion exists, its member stays null and its step builds
// nothing; the few uses of these members check for null, so the window
// works without them. When a companion is written, its member gets the real
// class's header, its construction step creates it, and its line here goes.
//
//   UI::Preferences               the preferences window
//   UI::CustomizeBacklightDialog  the backlight dialog

namespace UI {
class CustomizeBacklightDialog;
class Preferences;
} // namespace UI
