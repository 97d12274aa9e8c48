#pragma once

#include "tools/tool.h"

#include <QWidget>

#include <memory>

class QLabel;

namespace UI {

class ExpandToolButton;
class PresetToolButton;

// The lower part of the drawing tools' settings panel: behind a fold-out
// button, a row of buttons that apply preset 1, 2 or 3 of the current pen
// and a row that saves the current pen's ranges as preset 1, 2 or 3. Each
// pen type keeps presets of its own; the store belongs to the tool manager
// and the preferences, which these buttons only call. Without a current pen
// the buttons do nothing.
//
// Every resize emits resized(), so that the panel around it follows the
// fold-out.
class ToolPresets : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PresetCount = 3;

    explicit ToolPresets(QWidget *parent = nullptr);
    ~ToolPresets() override;

    // Shows the preset icons of a pen type; other types change nothing.
    void updateIcons(Model::Tool::PenType penType);
    void updateUISize();

    ExpandToolButton *expandButton() const;
    // Slot i for preset i + 1.
    PresetToolButton *useButton(int slot) const;
    PresetToolButton *saveButton(int slot) const;
    bool isExpanded() const;

Q_SIGNALS:
    void resized();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    class ToolPresetsPrivate;
    std::unique_ptr<ToolPresetsPrivate> d;
};

} // namespace UI
