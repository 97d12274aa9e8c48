#pragma once

#include "kl.h"
#include "tools/tool.h"

#include <QCursor>
#include <QObject>

#include <memory>

namespace Model {

class DrawingTool;

// Owns every tool for the whole run and keeps the current one. There are
// three pens and three erasers, of which one of each is the current pen and
// eraser, two annotation ("scribble") tools, and one object of each other
// tool type; all are children of the manager.
//
// Persistence: every change of the current drawing tool's size or opacity
// range is written at once as that tool's Default preset; a change of a tool
// that is not current is not written. Presets are read and written through
// Model::Settings, keyed by the tool's name.
//
// The canvas, the tool panels and the action handlers ask it for the current
// tool and follow its signals. GUI thread only.
class ToolManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QCursor cursor READ cursor NOTIFY cursorChanged)
    Q_PROPERTY(Model::Tool::Type currentToolType READ currentToolType NOTIFY currentToolTypeChanged)

public:
    // Created on first use, destroyed at process exit with its tools.
    static ToolManager *instance();
    ~ToolManager() override;

    // Makes every tool, each drawing tool with its stored Default preset;
    // once, after the preferences are loaded. The current tool stays none.
    void createTools();

    // The current tool's cursor; the arrow without a current tool.
    QCursor cursor() const;
    Tool::Type currentToolType() const;
    int currentCursorType() const;
    Tool::PenType currentPenToolType() const;
    Tool::PenType currentEraserToolType() const;
    bool isDrawingToolActive() const;
    bool isSelectionToolActive() const;
    static bool isSelectionToolType(Tool::Type type);
    Tool::Type lastDrawingToolType() const;
    Tool::Type lastEditingToolType() const;
    Tool::Type lastDrawingOrFloatingToolType() const;
    DrawingTool *lastDrawingTool() const;

    // Pen and Eraser give the current pen and eraser; None gives null.
    Tool *tool(Tool::Type type) const;
    // Pen or Eraser only: the annotation pen or eraser.
    DrawingTool *scribbleTool(Tool::Type type) const;

    // Selects a tool with a cursor type (Tool::CursorType). Selecting what is
    // already selected, with the same cursor type, does nothing.
    void setCurrentTool(Tool::Type type, int cursorType = Tool::OwnCursor);
    // Switch the pen or eraser sub-tool; when that kind of tool is current,
    // the new sub-tool becomes the current tool. Types 0 to 2 only.
    void setCurrentPenToolType(Tool::PenType penType);
    void setCurrentEraserToolType(Tool::PenType eraserType);
    // Remembers the drawing tool that drawing gestures fall back to while
    // another tool is current; ignored while a drawing tool is current.
    void setLastDrawingToolType(Tool::Type type);

    void usePenToolPreset(Tool::PenType penType, KL::ToolPreset preset);
    void savePenToolPreset(Tool::PenType penType, KL::ToolPreset preset);
    // Applies the built-in values of the preset, then the stored ones over
    // them; a numbered preset that was never saved gives the stored Default
    // values.
    void useToolPreset(DrawingTool *tool, KL::ToolPreset preset);
    void saveToolPreset(DrawingTool *tool, KL::ToolPreset preset);
    // The built-in limits, then the preset's built-in ranges. These
    // in-between values are never written as the Default preset; callers
    // store what they settle on.
    void applyToolPresetDefaults(DrawingTool *tool, KL::ToolPreset preset);

    // Screen pixels per drawing pixel on the canvas; the size cursors follow.
    void setCursorScale(double scale);
    // The main window's ratio; rebuilds the shared cursors and the pen and
    // eraser cursors.
    void setDevicePixelRatio(double dpr);

public Q_SLOTS:
    // A smaller or larger current pen or eraser, shown for a moment as the
    // application's override cursor.
    void decreaseDrawingToolSizeRange();
    void increaseDrawingToolSizeRange();
    // Every preset of every pen, or the Default of every eraser, back to the
    // built-in values, in the tools and in the store.
    void resetDrawingToolSettings();
    void resetErasingToolSettings();
    void updateCursor();

Q_SIGNALS:
    void currentToolTypeChanged(Model::Tool::Type currentToolType, Model::Tool::Type previousToolType);
    void currentPenToolTypeChanged(Model::Tool::PenType currentPenToolType, Model::Tool::PenType previousPenToolType);
    void cursorChanged(const QCursor &cursor);

private:
    ToolManager();

    void disconnectCurrentTool();
    void connectCurrentTool();
    void stepDrawingToolSize(bool larger);

    class ToolManagerPrivate;
    std::unique_ptr<ToolManagerPrivate> d;
};

} // namespace Model
