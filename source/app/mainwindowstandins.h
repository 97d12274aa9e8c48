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
//   UI::ToolPocket (two)          the drawing and eraser pockets of the controls bar
//   UI::ToolSettings (two)        the draw and erase tool-settings panels
//   UI::CustomizeOverlay          the customise overlay
//   UI::Palette                   the colour palette
//   UI::ControlsBar               the controls bar with its buttons, indicators and
//                                 frame-number label (the widgets exist; the bar is
//                                 put together with the tool-settings panels)

namespace UI {
class CustomizeOverlay;
class Palette;
class Preferences;
class ToolSettings;
} // namespace UI
