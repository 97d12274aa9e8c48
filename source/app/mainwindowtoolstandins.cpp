// Stand-ins for the window's tool slots, its key-release handling and its
// speed-dial opener, as far as the hold keys need them: this file goes as a
// whole when the window's own tool, key and panel code arrives, which does
// all of this and more.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowform.h"

#include "holdkey.h"
#include "paper.h"
#include "speeddial.h"
#include "toolsettings.h"

#include "actions/actionmanager.h"
#include "tools/toolmanager.h"
#include "tools/zprtool.h"

#include <QAction>
#include <QKeyEvent>
#include <QTimer>

namespace {

using A = KL::Action;

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

} // namespace

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
    // A view tool held by its action stays until the action lets go.
    for (const A key : {A::Zoom, A::Pan, A::Rotate, A::OffPegs}) {
        const QAction *entry = action(key);
        if (entry && entry->isCheckable() && entry->isChecked())
            return;
    }
    setTool(Model::ToolManager::instance()->lastEditingToolType(), true);
}

void MainWindow::onActionZPRTool(bool on)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    if (on == (tools->currentToolType() == Model::Tool::Type::ZoomPanRotate))
        return;
    if (!on)
        d->m_spacePressCursorPos.clear();
    if (auto *zpr = qobject_cast<Model::ZPRTool *>(tools->tool(Model::Tool::Type::ZoomPanRotate)))
        zpr->setPressPosGlobal(d->m_spacePressCursorPos);
    setTool(Model::Tool::Type::ZoomPanRotate, on);
}

void MainWindow::keyReleaseEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        QMainWindow::keyReleaseEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        // Released before the hold was decided: a tap.
        if (d->m_spaceHoldTimer->isActive()) {
            d->m_spaceHoldTimer->stop();
            disconnect(d->m_spaceHoldConnection);
            d->m_spacePressCursorPos.clear();
            action(A::Play)->activate(QAction::Trigger);
        }
        UI::setHoldKeyResolved(true);
        onActionZPRTool(false);
        break;
    case Qt::Key_Z:
        if (d->m_zHoldTimer->isActive()) {
            d->m_zHoldTimer->stop();
            disconnect(d->m_zHoldConnection);
            ui->scrollAreaWidgetContents->toggleQuickZoom();
        }
        UI::setHoldKeyResolved(true);
        if (action(A::Zoom)->isChecked())
            action(A::Zoom)->setChecked(false);
        return;
    case Qt::Key_S:
        d->m_primarySpeedDial->selectAndHide();
        d->m_secondarySpeedDial->selectAndHide();
        return;
    case Qt::Key_D:
    case Qt::Key_E:
        d->m_dHoldTimer->stop();
        d->m_eHoldTimer->stop();
        if (event->modifiers() == Qt::NoModifier) {
            for (UI::ToolSettings *panel : {d->m_drawToolSettings, d->m_eraseToolSettings}) {
                if (panel && panel->isToolPocketShown())
                    panel->hide();
            }
        }
        break;
    default:
        break;
    }
    QMainWindow::keyReleaseEvent(event);
}
