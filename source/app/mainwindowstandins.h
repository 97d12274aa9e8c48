#pragma once

// The main window's companions that are not written yet, in one place.
//
// The window is built in a fixed order, and each of these has its step in
// it. Until a companion exists, its step builds the stand-in below or leaves
// the member null; every use of a null member is guarded, so the window
// works without it. When a companion is written, its member's type changes
// to the real class, its construction step creates it, and its stand-in
// here goes.
//
// Left null (no stand-in needed to build the window):
//   UI::Preferences               the preferences window
//   UI::ToolPocket (two)          the drawing and eraser pockets of the controls bar
//   UI::ToolSettings (two)        the draw and erase tool-settings panels
//   UI::CustomizeBacklightDialog  the backlight dialog
//   UI::OpacitySlider             the layer opacity slider
//   UI::LayerRenameWidget         the layer-rename field
//   UI::DetachedXSheet            the detached exposure-sheet window
//   UI::CustomizeOverlay          the customise overlay
//   UI::Palette                   the colour palette
//   UI::ControlsBar and its buttons, indicators and frame-number label
//
// Stand-ins:
//   StandIn::XSheetPane           holds the exposure sheet in the splitter

#include <QVBoxLayout>
#include <QWidget>

namespace UI {
class ControlsBar;
class CustomizeBacklightDialog;
class CustomizeOverlay;
class DetachedXSheet;
class LayerRenameWidget;
class OpacitySlider;
class Palette;
class Preferences;
class ToolPocket;
class ToolSettings;
} // namespace UI

namespace StandIn {

// The exposure sheet's pane: only the layout the sheet is added to.
class XSheetPane : public QWidget
{
public:
    explicit XSheetPane(QWidget *parent = nullptr)
        : QWidget(parent)
    {
        auto *box = new QVBoxLayout(this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
    }

    void updateUISize() {}
};

} // namespace StandIn
