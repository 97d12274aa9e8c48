// The main window's tool slots: the tool actions choose the current tool,
// the tool actions' check marks follow it, the tablet pen's two ends choose
// between drawing and erasing, and the spring-loaded keys lend a tool for as
// long as they are held.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "keychord.h"
#include "mainwindow_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"

#include "paper/holdkey.h"
#include "paper/paper.h"
#include "tools/palette.h"
#include "tools/speeddial.h"
#include "tools/toolsettings.h"

#include "scenesettingscommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "tools/drawingtool.h"
#include "tools/fixedcursortools.h"
#include "tools/penadjustmenttool.h"
#include "tools/toolmanager.h"
#include "tools/zprtool.h"

#include <QAction>
#include <QDebug>
#include <QKeyEvent>
#include <QList>
#include <QTimer>

#include <algorithm>

namespace {

using A = KL::Action;
using Type = Model::Tool::Type;

using MainWindowLookups::action;

void uncheck(A key)
{
    QAction *entry = action(key);
    if (entry && entry->isChecked())
        entry->setChecked(false);
}

using MainWindowLookups::currentScene;

// The actions whose check marks show a tool as the current one: the
// drawing tools by their family and their current kind.
QList<A> toolActions(Type type)
{
    const Model::ToolManager *tools = Model::ToolManager::instance();
    static const A pens[] = {A::Pencil, A::Marker, A::Brush};
    static const A erasers[] = {A::KneadedEraser, A::RubberEraser, A::VinylEraser};
    switch (type) {
    case Type::Pen:
        return {A::Draw, pens[std::min<quint32>(quint32(tools->currentPenToolType()), 2)]};
    case Type::Eraser:
        return {A::Erase, erasers[std::min<quint32>(quint32(tools->currentEraserToolType()), 2)]};
    case Type::Hand:
        return {A::Pan};
    case Type::Zoom:
        return {A::Zoom};
    case Type::Rotate:
        return {A::Rotate};
    case Type::OffPegs:
        return {A::OffPegs};
    case Type::Lasso:
        return {A::Lasso};
    case Type::Cutter:
        return {A::Cutter};
    case Type::FloatingSelection:
        return {A::FloatingSelection};
    default:
        return {};
    }
}

// Going from a floating selection to a drawing tool is a step of the
// history, so that undo can return to the selection. True when that step
// was pushed.
bool leaveFloatingSelection(Type drawingTool)
{
    Model::KLScene *klscene = Model::KLScene::current();
    if (!klscene || !klscene->scene()
        || Model::ToolManager::instance()->lastDrawingOrFloatingToolType() != Type::FloatingSelection)
        return false;
    Model::KLScene::pushCommand(new Commands::ChangeToolType(klscene, int(drawingTool)));
    return true;
}

} // namespace

void MainWindow::wireToolSlotActions()
{
    connect(action(A::Draw), &QAction::triggered, this, &MainWindow::onActionDraw);
    connect(action(A::Erase), &QAction::triggered, this, &MainWindow::onActionErase);
    connect(action(A::DrawEraseToggle), &QAction::triggered, this, &MainWindow::onActionDrawEraseToggle);
    connect(action(A::Pan), &QAction::toggled, this, &MainWindow::onActionHandTool);
    connect(action(A::Zoom), &QAction::toggled, this, &MainWindow::onActionZoom);
    connect(action(A::Rotate), &QAction::toggled, this, &MainWindow::onActionRotate);
    connect(action(A::OffPegs), &QAction::toggled, this, &MainWindow::onActionOffPegs);
    connect(action(A::Lasso), &QAction::triggered, this, &MainWindow::onActionLassoThisDrawing);
    connect(action(A::Cutter), &QAction::triggered, this, &MainWindow::onActionCutter);
    connect(action(A::ColorPickerTool), &QAction::triggered, this, &MainWindow::onActionColorPickerTool);
    connect(action(A::FillTool), &QAction::triggered, this, &MainWindow::onActionFillTool);
}

void MainWindow::setTool(Model::Tool::Type type, bool on)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    const int cursorType = cursorTypeForTool(type);
    if (on == (tools->currentToolType() == type) && cursorType == tools->currentCursorType())
        return;
    if (on)
        tools->setCurrentTool(type, cursorType);
    else
        restoreEditingTool();
}

void MainWindow::restoreEditingTool()
{
    // A view tool chosen by its action stays until the action lets go.
    for (const A key : {A::Zoom, A::Pan, A::Rotate, A::OffPegs}) {
        const QAction *entry = action(key);
        if (entry && entry->isCheckable() && entry->isChecked())
            return;
    }
    setTool(Model::ToolManager::instance()->lastEditingToolType(), true);
}

void MainWindow::onActionDraw(bool on)
{
    if (!leaveFloatingSelection(Type::Pen))
        setTool(Type::Pen, on);
}

void MainWindow::onActionErase(bool on)
{
    if (!leaveFloatingSelection(Type::Eraser))
        setTool(Type::Eraser, on);
}

void MainWindow::onActionHandTool(bool on)
{
    setTool(Type::Hand, on);
}

void MainWindow::onActionZoom(bool on)
{
    setTool(Type::Zoom, on);
}

void MainWindow::onActionRotate(bool on)
{
    setTool(Type::Rotate, on);
}

void MainWindow::onActionZPRTool(bool on)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    if (on == (tools->currentToolType() == Type::ZoomPanRotate))
        return;
    // The tool turns about where Space went down; letting it go forgets that.
    if (!on)
        d->m_spacePressCursorPos = QVariant();
    if (auto *zpr = qobject_cast<Model::ZPRTool *>(tools->tool(Type::ZoomPanRotate)))
        zpr->setPressPosGlobal(d->m_spacePressCursorPos);
    setTool(Type::ZoomPanRotate, on);
}

void MainWindow::onActionOffPegs(bool on)
{
    setTool(Type::OffPegs, on);
}

void MainWindow::onActionLassoThisDrawing(bool on)
{
    setTool(Type::Lasso, on);
}

void MainWindow::onActionCutter(bool on)
{
    setTool(Type::Cutter, on);
}

void MainWindow::onActionColorPickerTool(bool on)
{
    Q_UNUSED(on);
    qWarning() << Q_FUNC_INFO << "not implemented yet";
}

void MainWindow::onActionFillTool(bool on)
{
    Q_UNUSED(on);
    qWarning() << Q_FUNC_INFO << "not implemented yet";
}

void MainWindow::onActionDrawEraseToggle()
{
    hideToolSettingsPanels();
    switch (Model::ToolManager::instance()->currentToolType()) {
    case Type::Pen:
        action(A::Erase)->activate(QAction::Trigger);
        break;
    case Type::Eraser:
        action(A::Draw)->activate(QAction::Trigger);
        break;
    default:
        break;
    }
    d->m_dHoldTimer->stop();
    d->m_eHoldTimer->stop();
}

void MainWindow::onCurrentToolChanged(Model::Tool::Type currentToolType, Model::Tool::Type previousToolType)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    Model::KLScene *klscene = Model::KLScene::current();
    const bool changed = currentToolType != previousToolType;
    if (changed)
        commitActiveStroke();

    // Check marks, and what a tool keeps only while it is current.
    const auto follow = [this, tools](Type type, bool current) {
        switch (type) {
        case Type::ZoomPanRotate:
            onActionZPRTool(current);
            break;
        case Type::Scrubbing:
            if (auto *scrubbing = qobject_cast<Model::ScrubbingTool *>(tools->tool(type)); scrubbing && !current)
                scrubbing->setScrubbingStarted(false);
            break;
        case Type::PenAdjustment:
            if (auto *adjustment = qobject_cast<Model::PenAdjustmentTool *>(tools->tool(type)))
                adjustment->setDrawingTool(current ? tools->lastDrawingTool() : nullptr);
            break;
        default: {
            const QList<A> keys = toolActions(type);
            for (const A key : keys) {
                if (QAction *entry = action(key))
                    entry->setChecked(current);
            }
            break;
        }
        }
    };
    follow(currentToolType, true);
    if (changed)
        follow(previousToolType, false);

    updateReturnActions();

    // Kept quietly: the tool's cursor was chosen with the tool.
    if (Model::Tool *tool = tools->tool(currentToolType))
        tool->setCursorType(cursorTypeForTool(currentToolType));

    // The selection tools show the frame without its backlight.
    if (klscene && klscene->scene()
        && Model::ToolManager::isSelectionToolType(currentToolType)
            != Model::ToolManager::isSelectionToolType(previousToolType))
        klscene->scene()->updateCachedFramePixmap();
}

void MainWindow::updateReturnActions()
{
    const bool floating = Model::ToolManager::instance()->currentToolType() == Type::FloatingSelection;
    action(A::StampFloatingSelection)->setEnabled(floating);
    action(A::ReturnFlip)->setEnabled(!floating);
}

void MainWindow::setTabletPointerType(QPointingDevice::PointerType type)
{
    using PointerType = QPointingDevice::PointerType;
    // One pen for the whole process: the end it last came near with.
    static PointerType lastType = PointerType::Unknown;
    if (type == lastType)
        return;
    Model::ToolManager *tools = Model::ToolManager::instance();
    if (type == PointerType::Pen && lastType == PointerType::Eraser) {
        if (tools->isDrawingToolActive())
            onActionDraw(true);
        else
            tools->setLastDrawingToolType(Type::Pen);
    } else if (type == PointerType::Eraser) {
        if (tools->isDrawingToolActive())
            onActionErase(true);
        else
            tools->setLastDrawingToolType(Type::Eraser);
    }
    lastType = type;
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    QMainWindow::keyPressEvent(event);
    if (event->isAutoRepeat() || isTypingIntoTextField())
        return;
    const int key = event->key();
    // Control and Alt together hold the paper off its pegs, but not the
    // AltGr of a layout that reports it as Control and Alt.
    if ((key == Qt::Key_Control || key == Qt::Key_Alt) && KeyChord::isPlainControlAlt(*event)) {
        action(A::OffPegs)->setChecked(true);
        event->accept();
        return;
    }
    if (key == Qt::Key_Shift && event->modifiers() == Qt::ShiftModifier)
        lendScrubbingTool();
}

void MainWindow::lendScrubbingTool()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    const Type current = tools->currentToolType();
    // Shift belongs to the floating selection's own gestures.
    if (current == Type::FloatingSelection)
        return;
    if (current != Type::Scrubbing || tools->currentCursorType() != Model::Tool::OwnCursor)
        tools->setCurrentTool(Type::Scrubbing, Model::Tool::OwnCursor);
}

void MainWindow::keyReleaseEvent(QKeyEvent *event)
{
    // What a text field lets through of a key typed into it is no key of
    // the window's.
    if (event->isAutoRepeat() || isTypingIntoTextField()) {
        QMainWindow::keyReleaseEvent(event);
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    bool passOn = true;
    switch (event->key()) {
    case Qt::Key_Shift:
        if (modifiers == Qt::NoModifier)
            endScrubbing();
        break;
    case Qt::Key_Z:
        // Let go before the hold was decided: a tap of Z.
        if (d->m_zHoldTimer->isActive()) {
            d->m_zHoldTimer->stop();
            disconnect(d->m_zHoldConnection);
            ui->scrollAreaWidgetContents->toggleQuickZoom();
        }
        UI::setHoldKeyResolved(true);
        uncheck(A::Zoom);
        passOn = false;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentScene())
            m_playbackController->startReturnFlip();
        break;
    case Qt::Key_S:
        for (UI::SpeedDial *dial : {d->m_primarySpeedDial, d->m_secondarySpeedDial}) {
            if (dial)
                dial->selectAndHide();
        }
        passOn = false;
        break;
    case Qt::Key_Space:
        // Let go before the hold was decided: a tap of Space plays.
        if (d->m_spaceHoldTimer->isActive()) {
            d->m_spaceHoldTimer->stop();
            disconnect(d->m_spaceHoldConnection);
            d->m_spacePressCursorPos = QVariant();
            action(A::Play)->activate(QAction::Trigger);
        }
        UI::setHoldKeyResolved(true);
        onActionZPRTool(false);
        break;
    case Qt::Key_C:
        if (m_palette)
            m_palette->hide();
        passOn = false;
        break;
    case Qt::Key_D:
    case Qt::Key_E:
        d->m_dHoldTimer->stop();
        d->m_eHoldTimer->stop();
        // A panel that a hold showed goes with the key.
        if (modifiers == Qt::NoModifier) {
            for (UI::ToolSettings *panel : {d->m_drawToolSettings, d->m_eraseToolSettings}) {
                if (panel && panel->isToolPocketShown())
                    panel->hide();
            }
        }
        break;
    case Qt::Key_H:
        uncheck(A::Pan);
        passOn = false;
        break;
    case Qt::Key_R:
        uncheck(A::Rotate);
        passOn = false;
        break;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        if (modifiers == Qt::ControlModifier)
            uncheck(A::OffPegs);
        break;
    case Qt::Key_Control:
        if (modifiers == Qt::AltModifier)
            uncheck(A::OffPegs);
        break;
    default:
        break;
    }
    if (passOn)
        QMainWindow::keyReleaseEvent(event);
}

void MainWindow::onFocusObjectChanged(QObject *focusObject)
{
    if (focusObject != ui->scrollAreaWidgetContents) {
        // The release of Shift may go to another window, or to no window of
        // ours: without the keyboard the paper scrubs no more.
        endScrubbing();
    } else if (QGuiApplication::keyboardModifiers() == Qt::ShiftModifier) {
        lendScrubbingTool();
    }
}

void MainWindow::endScrubbing()
{
    if (Model::ToolManager::instance()->currentToolType() != Type::Scrubbing)
        return;
    if (Model::Scene *scene = currentScene()) {
        scene->stopScrubbing();
        // With the pen still down the scrubbed frame is where the user
        // wants to be; with it up, the scrub was only a look.
        if (ui->scrollAreaWidgetContents->devicePressed() && scene->scrubFrame() >= 1)
            setActiveFrame(scene->scrubFrame());
        else
            scene->setScrubFrame(-1);
    }
    restoreEditingTool();
}
