#include "tools/toolmanager.h"

#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/erasertool.h"
#include "tools/fixedcursortools.h"
#include "tools/floatingselectiontool.h"
#include "tools/offpegstool.h"
#include "tools/penadjustmenttool.h"
#include "tools/pentool.h"
#include "tools/toolcursors.h"
#include "tools/zprtool.h"

#include <QDebug>
#include <QGuiApplication>
#include <QTimer>

#include <array>
#include <utility>

namespace Model {

namespace {

struct Range
{
    double lower;
    double upper;
};

// Built-in values of one drawing tool: limits, then size and opacity ranges
// in percent per KL::ToolPreset (Default, Preset1, Preset2, Preset3).
struct PresetDefaults
{
    Range sizeLimits;
    Range opacityLimits;
    std::array<Range, 4> size;
    std::array<Range, 4> opacity;
};

constexpr std::array<PresetDefaults, 3> PenDefaults{{
    // Pencil
    {{0.0, 45.0},
     {0.0, 0.75},
     {{{5.0, 12.31}, {5.0, 12.31}, {8.72, 32.82}, {1.17, 8.21}}},
     {{{2.0, 56.0}, {2.0, 56.0}, {2.0, 40.0}, {3.0, 100.0}}}},
    // Marker
    {{0.0, 90.0},
     {0.1, 1.0},
     {{{2.33, 4.33}, {2.33, 4.33}, {2.83, 10.75}, {1.67, 22.0}}},
     {{{5.0, 80.0}, {5.0, 80.0}, {67.0, 100.0}, {0.0, 44.5}}}},
    // Brush
    {{0.0, 180.0},
     {0.5, 1.0},
     {{{0.0, 6.67}, {0.0, 6.67}, {0.27, 16.5}, {3.07, 38.97}}},
     {{{100.0, 100.0}, {100.0, 100.0}, {0.0, 100.0}, {80.0, 100.0}}}},
}};

// Erasers have one setting for every preset.
constexpr PresetDefaults eraserDefaults(Range sizeLimits, Range opacityLimits, Range size, Range opacity)
{
    return {sizeLimits, opacityLimits, {{size, size, size, size}}, {{opacity, opacity, opacity, opacity}}};
}

constexpr std::array<PresetDefaults, 3> EraserDefaults{{
    eraserDefaults({10.0, 135.0}, {0.0, 0.75}, {0.0, 24.1}, {10.0, 100.0}),   // KneadedEraser
    eraserDefaults({0.0, 90.0}, {0.25, 1.0}, {1.67, 22.05}, {100.0, 100.0}),  // RubberEraser
    eraserDefaults({30.0, 180.0}, {0.5, 1.0}, {5.0, 47.18}, {100.0, 100.0}),  // VinylEraser
}};

constexpr int FirstOtherTool = int(Tool::Type::Hand);
constexpr int OtherToolCount = int(Tool::Type::PenAdjustment) - FirstOtherTool + 1;

bool isDrawingType(Tool::Type type)
{
    return type == Tool::Type::Pen || type == Tool::Type::Eraser;
}

} // namespace

class ToolManager::ToolManagerPrivate
{
public:
    // All tools are children of the manager; these are views of them.
    std::array<DrawingTool *, 3> m_pens{};
    std::array<DrawingTool *, 3> m_erasers{};
    DrawingTool *m_scribblePen = nullptr;
    DrawingTool *m_scribbleEraser = nullptr;
    QTimer m_overrideCursorTimer;

    QMetaObject::Connection m_cursorConnection;
    QMetaObject::Connection m_sizeRangeConnection;
    QMetaObject::Connection m_opacityRangeConnection;

    Tool *m_currentTool = nullptr;
    Tool::Type m_lastDrawingToolType = Tool::Type::None;
    Tool::Type m_lastEditingToolType = Tool::Type::None;
    Tool::Type m_lastDrawingOrFloatingToolType = Tool::Type::None;
    DrawingTool *m_currentPen = nullptr;
    DrawingTool *m_currentEraser = nullptr;
    std::array<Tool *, OtherToolCount> m_otherTools{};

    // Set while built-in preset values pass through a tool on their way to
    // the values the caller settles on.
    bool m_applyingPresetDefaults = false;

    const PresetDefaults *presetDefaults(const DrawingTool *tool) const
    {
        for (size_t i = 0; i < 3; ++i) {
            if (tool == m_pens[i])
                return &PenDefaults[i];
            if (tool == m_erasers[i])
                return &EraserDefaults[i];
        }
        return nullptr;
    }
};

ToolManager *ToolManager::instance()
{
    static ToolManager manager;
    return &manager;
}

ToolManager::ToolManager()
    : d(std::make_unique<ToolManagerPrivate>())
{
    d->m_overrideCursorTimer.setSingleShot(true);
    d->m_overrideCursorTimer.setInterval(500);
}

ToolManager::~ToolManager()
{
    disconnectCurrentTool();
}

void ToolManager::createTools()
{
    if (d->m_pens[0])
        return;

    for (size_t i = 0; i < 3; ++i) {
        d->m_pens[i] = new PenTool(Tool::PenType(i), this);
        useToolPreset(d->m_pens[i], KL::ToolPreset::Default);
    }
    d->m_currentPen = d->m_pens[0];

    for (size_t i = 0; i < 3; ++i) {
        d->m_erasers[i] = new EraserTool(Tool::PenType(i), this);
        useToolPreset(d->m_erasers[i], KL::ToolPreset::Default);
    }
    d->m_currentEraser = d->m_erasers[size_t(Tool::PenType::RubberEraser)];

    // The annotation tools have fixed sizes of their own and no presets.
    d->m_scribblePen = new PenTool(Tool::PenType::Marker, this);
    d->m_scribblePen->setSizeRangeLimits(3.0, 6.0);
    d->m_scribblePen->setOpacityRangeLimits(0.1, 1.0);
    d->m_scribblePen->setSizeRangePercent(0.0, 100.0);
    d->m_scribblePen->setOpacityRangePercent(0.0, 100.0);
    d->m_scribbleEraser = new EraserTool(Tool::PenType::RubberEraser, this);
    d->m_scribbleEraser->setSizeRangeLimits(10.0, 30.0);
    d->m_scribbleEraser->setOpacityRangeLimits(1.0, 1.0);
    d->m_scribbleEraser->setSizeRangePercent(0.0, 100.0);
    d->m_scribbleEraser->setOpacityRangePercent(0.0, 100.0);

    const std::array<Tool *, OtherToolCount> others{
        new HandTool(this),
        new ZoomTool(this),
        new RotateTool(this),
        new ZPRTool(this),
        new OffPegsTool(this),
        new LassoTool(this),
        new CutterTool(this),
        new FloatingSelectionTool(this),
        new ScrubbingTool(this),
        new PenAdjustmentTool(this),
    };
    d->m_otherTools = others;

    connect(&d->m_overrideCursorTimer, &QTimer::timeout, this, [] { QGuiApplication::restoreOverrideCursor(); });

    setCurrentTool(Tool::Type::None, Tool::OwnCursor);
}

QCursor ToolManager::cursor() const
{
    return d->m_currentTool ? d->m_currentTool->cursor() : sharedCursor(SharedCursor::Arrow);
}

Tool::Type ToolManager::currentToolType() const
{
    return d->m_currentTool ? d->m_currentTool->type() : Tool::Type::None;
}

int ToolManager::currentCursorType() const
{
    return d->m_currentTool ? d->m_currentTool->cursorType() : int(Tool::OwnCursor);
}

Tool::PenType ToolManager::currentPenToolType() const
{
    return d->m_currentPen ? d->m_currentPen->subType() : Tool::PenType::Pencil;
}

Tool::PenType ToolManager::currentEraserToolType() const
{
    return d->m_currentEraser ? d->m_currentEraser->subType() : Tool::PenType::RubberEraser;
}

bool ToolManager::isDrawingToolActive() const
{
    return isDrawingType(currentToolType());
}

bool ToolManager::isSelectionToolActive() const
{
    return isSelectionToolType(currentToolType());
}

bool ToolManager::isSelectionToolType(Tool::Type type)
{
    return type == Tool::Type::Lasso || type == Tool::Type::Cutter;
}

Tool::Type ToolManager::lastDrawingToolType() const
{
    return d->m_lastDrawingToolType;
}

Tool::Type ToolManager::lastEditingToolType() const
{
    return d->m_lastEditingToolType;
}

Tool::Type ToolManager::lastDrawingOrFloatingToolType() const
{
    return d->m_lastDrawingOrFloatingToolType;
}

DrawingTool *ToolManager::lastDrawingTool() const
{
    return qobject_cast<DrawingTool *>(tool(d->m_lastDrawingToolType));
}

Tool *ToolManager::tool(Tool::Type type) const
{
    switch (type) {
    case Tool::Type::Pen:
        return d->m_currentPen;
    case Tool::Type::Eraser:
        return d->m_currentEraser;
    case Tool::Type::Hand:
    case Tool::Type::Zoom:
    case Tool::Type::Rotate:
    case Tool::Type::ZoomPanRotate:
    case Tool::Type::OffPegs:
    case Tool::Type::Lasso:
    case Tool::Type::Cutter:
    case Tool::Type::FloatingSelection:
    case Tool::Type::Scrubbing:
    case Tool::Type::PenAdjustment:
        return d->m_otherTools[size_t(type) - FirstOtherTool];
    case Tool::Type::None:
        return nullptr;
    }
    qWarning() << Q_FUNC_INFO << "It seems a new tool added but not listed here";
    return nullptr;
}

DrawingTool *ToolManager::scribbleTool(Tool::Type type) const
{
    switch (type) {
    case Tool::Type::Pen:
        return d->m_scribblePen;
    case Tool::Type::Eraser:
        return d->m_scribbleEraser;
    default:
        qWarning() << Q_FUNC_INFO << "scribbleTool() should always be a DrawingTool";
        return nullptr;
    }
}

void ToolManager::disconnectCurrentTool()
{
    disconnect(d->m_cursorConnection);
    disconnect(d->m_sizeRangeConnection);
    disconnect(d->m_opacityRangeConnection);
}

void ToolManager::connectCurrentTool()
{
    Tool *current = d->m_currentTool;
    if (auto *drawingTool = qobject_cast<DrawingTool *>(current)) {
        d->m_sizeRangeConnection = connect(drawingTool, &DrawingTool::sizeRangeChanged, this,
                                           [this](const QString &toolName, double lower, double upper) {
                                               if (!d->m_applyingPresetDefaults)
                                                   Settings::instance()->setToolSizeRange(
                                                       toolName, KL::ToolPreset::Default, lower, upper);
                                           });
        d->m_opacityRangeConnection = connect(drawingTool, &DrawingTool::opacityRangeChanged, this,
                                              [this](const QString &toolName, double lower, double upper) {
                                                  if (!d->m_applyingPresetDefaults)
                                                      Settings::instance()->setToolOpacityRange(
                                                          toolName, KL::ToolPreset::Default, lower, upper);
                                              });
    }
    d->m_cursorConnection = connect(current, &Tool::cursorChanged, this, &ToolManager::cursorChanged);
}

void ToolManager::setCurrentTool(Tool::Type type, int cursorType)
{
    const Tool::Type previous = currentToolType();
    if (type == previous && cursorType == currentCursorType())
        return;

    disconnectCurrentTool();
    d->m_currentTool = tool(type);
    if (Tool *current = d->m_currentTool) {
        current->setCursorType(cursorType);
        if (auto *drawingTool = qobject_cast<DrawingTool *>(current)) {
            drawingTool->updateCursor();
            d->m_lastDrawingToolType = type;
        }
        switch (type) {
        case Tool::Type::Pen:
        case Tool::Type::Eraser:
        case Tool::Type::FloatingSelection:
            d->m_lastDrawingOrFloatingToolType = type;
            d->m_lastEditingToolType = type;
            break;
        case Tool::Type::Lasso:
        case Tool::Type::Cutter:
            d->m_lastEditingToolType = type;
            break;
        default:
            break;
        }
        connectCurrentTool();
        // The canvas announces the scrubbing cursor itself once a scrub
        // really begins.
        if (type != Tool::Type::Scrubbing)
            Q_EMIT cursorChanged(current->cursor());
    }
    Q_EMIT currentToolTypeChanged(type, previous);
}

void ToolManager::setCurrentPenToolType(Tool::PenType penType)
{
    const size_t index = size_t(penType);
    if (index >= d->m_pens.size() || !d->m_pens[index]) {
        qWarning() << Q_FUNC_INFO << "No pen of type" << penType;
        return;
    }
    const Tool::PenType previous = currentPenToolType();
    d->m_currentPen = d->m_pens[index];
    Tool *current = d->m_currentTool;
    if (current && current->type() == Tool::Type::Pen && current != d->m_currentPen) {
        disconnectCurrentTool();
        d->m_currentTool = d->m_currentPen;
        // The reason the pen could not draw (a hidden layer, say) still holds
        // for the pen that replaces it.
        d->m_currentPen->setCursorType(current->cursorType());
        d->m_currentPen->updateCursor();
        connectCurrentTool();
        Q_EMIT cursorChanged(cursor());
        Q_EMIT currentToolTypeChanged(Tool::Type::Pen, Tool::Type::Pen);
    }
    Q_EMIT currentPenToolTypeChanged(penType, previous);
}

void ToolManager::setCurrentEraserToolType(Tool::PenType eraserType)
{
    const size_t index = size_t(eraserType);
    if (index >= d->m_erasers.size() || !d->m_erasers[index]) {
        qWarning() << Q_FUNC_INFO << "No eraser of type" << eraserType;
        return;
    }
    d->m_currentEraser = d->m_erasers[index];
    Tool *current = d->m_currentTool;
    if (current && current->type() == Tool::Type::Eraser && current != d->m_currentEraser) {
        disconnectCurrentTool();
        d->m_currentTool = d->m_currentEraser;
        d->m_currentEraser->setCursorType(current->cursorType());
        d->m_currentEraser->updateCursor();
        connectCurrentTool();
        Q_EMIT cursorChanged(cursor());
        Q_EMIT currentToolTypeChanged(Tool::Type::Eraser, Tool::Type::Eraser);
    }
}

void ToolManager::setLastDrawingToolType(Tool::Type type)
{
    if (!isDrawingToolActive() && isDrawingType(type))
        d->m_lastDrawingToolType = type;
}

void ToolManager::usePenToolPreset(Tool::PenType penType, KL::ToolPreset preset)
{
    const size_t index = size_t(penType);
    if (index < d->m_pens.size())
        useToolPreset(d->m_pens[index], preset);
}

void ToolManager::savePenToolPreset(Tool::PenType penType, KL::ToolPreset preset)
{
    const size_t index = size_t(penType);
    if (index < d->m_pens.size())
        saveToolPreset(d->m_pens[index], preset);
}

void ToolManager::useToolPreset(DrawingTool *tool, KL::ToolPreset preset)
{
    if (!tool)
        return;
    applyToolPresetDefaults(tool, preset);
    const Settings *settings = Settings::instance();
    double lower = 0.0;
    double upper = 0.0;
    settings->toolSizeRange(tool->toolName(), preset, lower, upper, tool->sizeRangeLowerPercent(),
                            tool->sizeRangeUpperPercent());
    tool->setSizeRangePercent(lower, upper);
    settings->toolOpacityRange(tool->toolName(), preset, lower, upper, tool->opacityRangeLowerPercent(),
                               tool->opacityRangeUpperPercent());
    tool->setOpacityRangePercent(lower, upper);
}

void ToolManager::saveToolPreset(DrawingTool *tool, KL::ToolPreset preset)
{
    if (!tool)
        return;
    Settings *settings = Settings::instance();
    settings->setToolSizeRange(tool->toolName(), preset, tool->sizeRangeLowerPercent(),
                               tool->sizeRangeUpperPercent());
    settings->setToolOpacityRange(tool->toolName(), preset, tool->opacityRangeLowerPercent(),
                                  tool->opacityRangeUpperPercent());
}

void ToolManager::applyToolPresetDefaults(DrawingTool *tool, KL::ToolPreset preset)
{
    const PresetDefaults *defaults = d->presetDefaults(tool);
    if (!defaults)
        return;
    // Were these written as the current tool's Default on the way, a preset
    // that was never saved would read them back instead of the stored
    // Default, and using the Default preset would lose the user's sizes.
    const bool wasApplying = std::exchange(d->m_applyingPresetDefaults, true);
    tool->setSizeRangeLimits(defaults->sizeLimits.lower, defaults->sizeLimits.upper);
    tool->setOpacityRangeLimits(defaults->opacityLimits.lower, defaults->opacityLimits.upper);
    const int index = int(preset);
    if (index >= 0 && index < int(defaults->size.size())) {
        tool->setSizeRangePercent(defaults->size[index].lower, defaults->size[index].upper);
        tool->setOpacityRangePercent(defaults->opacity[index].lower, defaults->opacity[index].upper);
    }
    d->m_applyingPresetDefaults = wasApplying;
}

void ToolManager::resetDrawingToolSettings()
{
    for (DrawingTool *pen : d->m_pens) {
        for (const KL::ToolPreset preset : {KL::ToolPreset::Preset1, KL::ToolPreset::Preset2,
                                            KL::ToolPreset::Preset3, KL::ToolPreset::Default}) {
            applyToolPresetDefaults(pen, preset);
            saveToolPreset(pen, preset);
        }
    }
}

void ToolManager::resetErasingToolSettings()
{
    for (DrawingTool *eraser : d->m_erasers) {
        applyToolPresetDefaults(eraser, KL::ToolPreset::Default);
        saveToolPreset(eraser, KL::ToolPreset::Default);
    }
}

void ToolManager::setCursorScale(double scale)
{
    setToolCursorCanvasScale(scale);
    if (auto *drawingTool = qobject_cast<DrawingTool *>(d->m_currentTool))
        drawingTool->updateCursor();
}

void ToolManager::setDevicePixelRatio(double dpr)
{
    setToolCursorDevicePixelRatio(dpr);
    for (DrawingTool *pen : d->m_pens) {
        if (pen)
            pen->updateCursor();
    }
    for (DrawingTool *eraser : d->m_erasers) {
        if (eraser)
            eraser->updateCursor();
    }
}

void ToolManager::decreaseDrawingToolSizeRange()
{
    stepDrawingToolSize(false);
}

void ToolManager::increaseDrawingToolSizeRange()
{
    stepDrawingToolSize(true);
}

void ToolManager::stepDrawingToolSize(bool larger)
{
    if (!isDrawingToolActive())
        return;
    auto *drawingTool = qobject_cast<DrawingTool *>(d->m_currentTool);
    if (!drawingTool)
        return;
    if (larger)
        drawingTool->increaseSizeRange();
    else
        drawingTool->decreaseSizeRange();

    // The new size shows over the whole window for a moment, wherever the
    // pointer is; a quick series of steps keeps one override cursor.
    const double minDiameter = 2.0 * drawingTool->minimumRadius();
    const double maxDiameter = 2.0 * (drawingTool->minimumRadius() + drawingTool->radiusVariation());
    const QCursor sizeCursor = drawingTool->minMaxSizeCursor(minDiameter, maxDiameter, toolCursorCanvasScale());
    if (d->m_overrideCursorTimer.isActive())
        QGuiApplication::changeOverrideCursor(sizeCursor);
    else
        QGuiApplication::setOverrideCursor(sizeCursor);
    d->m_overrideCursorTimer.start();
}

// The tool announces its new cursor through the forwarded cursorChanged.
void ToolManager::updateCursor()
{
    if (auto *drawingTool = qobject_cast<DrawingTool *>(d->m_currentTool))
        drawingTool->updateCursor();
}

} // namespace Model
