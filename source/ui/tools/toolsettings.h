#pragma once

#include <QWidget>

#include <memory>

namespace UI {

class ToolPocket;
class ToolPresets;
class ToolSliders;

// The pop-up panel that hangs below a tool pocket and holds the settings of
// the drawing tools (kind 0: sliders and presets) or the erasing tools
// (kind 1: sliders only). It can hold a pocket of its own at its top, shown
// only while the caller asks for it; every hide drops that request, so a
// panel reopens without its pocket unless asked again.
//
// It emits lostFocus() when it loses the focus while shown; its owner
// decides whether that closes it.
class ToolSettings : public QWidget
{
    Q_OBJECT

public:
    ToolSettings(int kind, QWidget *parent = nullptr);
    ~ToolSettings() override;

    int kind() const;
    bool isToolPocketShown() const;
    void setToolPocketShown(bool shown);
    ToolPocket *toolPocket() const;
    ToolSliders *toolSliders() const;
    // Null for the erasing panel.
    ToolPresets *toolPresets() const;
    void updateUISize();

public Q_SLOTS:
    // Places the panel so that the middle of its top edge lies at the point
    // (in the parent's coordinates).
    void moveTopCenter(QPoint point);
    // The toggle of a pocket's button: hides the panel when it already shows
    // that tool, else shows it for the tool and focuses it. Returns whether
    // the panel is now shown.
    bool showTool(int toolIdx);
    // The pocket at the panel's top; the panel takes it into its layout. A
    // pocket set before is hidden, taken out and cut off from the panel.
    void setToolPocket(UI::ToolPocket *toolPocket);

Q_SIGNALS:
    void lostFocus();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    class ToolSettingsPrivate;
    std::unique_ptr<ToolSettingsPrivate> d;
};

} // namespace UI
