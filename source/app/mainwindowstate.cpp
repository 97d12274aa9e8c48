// The main window's helpers that keep the active cell, the current tool and
// the states of the actions in step with the current scene. Each does
// nothing while no scene is open.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"

#include "drawingcontentcommands.h"
#include "scenesettingscommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "strokes/singlestroke.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace {

using A = KL::Action;

QAction *action(A key)
{
    return Model::ActionManager::instance()->action(key);
}

Model::Scene *currentScene()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    return klscene ? klscene->scene() : nullptr;
}

void checkAction(A key, bool checked)
{
    if (QAction *entry = action(key))
        entry->setChecked(checked);
}

void enableAction(A key, bool enabled)
{
    if (QAction *entry = action(key))
        entry->setEnabled(enabled);
}

void setFrameNumberColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

void MainWindow::setActiveCell(int frame, int layer, bool toLastCell)
{
    Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = currentScene();
    if (!scene || scene->layerCount() == 0)
        return;
    const int first = scene->frameRangeFirst();
    if (!scene->isFrameAfterLastDrawing(layer, frame))
        frame = std::clamp(frame, first, std::max(first, scene->frameRangeLast()));
    layer = std::clamp(layer, 0, scene->layerCount() - 1);
    const int limit = toLastCell ? scene->layerFrameCount(layer) : scene->nextFreeFrame(layer);
    frame = std::max(first, std::min(limit, frame));

    if (frame == scene->activeFrame() && layer == scene->activeLayerIdx()) {
        scene->setScrubFrame(-1);
        return;
    }
    if (frame != scene->activeFrame())
        checkAction(A::OffPegs, false);
    if (layer == scene->activeLayerIdx())
        d->m_rememberedFrame = frame;

    // The sheet's navigation may stand on the row after the last cell.
    const auto move = [&] {
        return new Commands::SetActiveFrameAndLayer(scene, frame, layer, d->m_rememberedFrame, 0);
    };
    if (!scene->hasActiveStroke()) {
        Model::KLScene::pushCommand(move());
        return;
    }
    // A stroke drawn across a change of frame ends in the old cell and goes
    // on from the same point in the new one.
    const Model::SingleStroke::InputPoint point = scene->activeStroke()->lastPoint();
    const QModelIndex cell = klscene->sceneModel()->index(scene->activeFrame() - 1, scene->activeLayerIdx());
    Model::KLScene::pushCommand(new Commands::Stroke(klscene, cell, scene->takeActiveStroke()));
    Model::KLScene::pushCommand(move());
    scene->beginStroke(point);
}

void MainWindow::setActiveLayer(int layer)
{
    const Model::Scene *scene = currentScene();
    if (!scene || layer == scene->activeLayerIdx())
        return;
    // Moving between layers keeps to the frame the user was on, within the
    // new layer's drawings.
    if (d->m_rememberedFrame < 0)
        d->m_rememberedFrame = scene->activeFrame();
    setActiveCell(d->m_rememberedFrame, layer, true);
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
    // A view tool held by its action stays until the action lets go.
    for (const A key : {A::Zoom, A::Pan, A::Rotate, A::OffPegs}) {
        const QAction *entry = action(key);
        if (entry && entry->isCheckable() && entry->isChecked())
            return;
    }
    setTool(Model::ToolManager::instance()->lastEditingToolType(), true);
}

void MainWindow::updateLayerActions()
{
    const Model::Scene *scene = currentScene();
    if (!scene)
        return;
    const int layer = scene->activeLayerIdx();
    checkAction(A::LayerLink, scene->isLayerLinked(layer));
    checkAction(A::LayerVisibility, scene->isLayerVisible(layer));
    switch (scene->layerBeyondLast(layer)) {
    case 1:
        checkAction(A::ShowNothingBeyond, true);
        break;
    case 2:
        checkAction(A::FreezeLastDrawingBeyond, true);
        break;
    case 3:
        checkAction(A::CycleDrawingsBeyond, true);
        break;
    default:
        break;
    }
    enableAction(A::MergeLayerDown, scene->canMergeLayerDown(layer));
}

void MainWindow::updateAudioActions()
{
    const Model::Scene *scene = currentScene();
    if (!scene)
        return;
    const bool audio = scene->hasAudio();
    checkAction(A::MuteAudio, audio && !scene->isAudioEnabled());
    enableAction(A::MuteAudio, audio);
    enableAction(A::DiscardAudio, audio);
}

void MainWindow::updateFrameRateMenu(double fps)
{
    static const std::pair<double, A> presets[] = {
        {6.0, A::FrameRate06},  {12.0, A::FrameRate12}, {12.5, A::FrameRate12_5},
        {15.0, A::FrameRate15}, {24.0, A::FrameRate24}, {25.0, A::FrameRate25},
        {30.0, A::FrameRate30}, {50.0, A::FrameRate50}, {60.0, A::FrameRate60},
    };
    for (const auto &preset : presets)
        checkAction(preset.second, false);
    checkAction(A::FrameRateCustom, false);

    const auto match = std::find_if(std::begin(presets), std::end(presets), [fps](const std::pair<double, A> &preset) {
        return qFuzzyCompare(preset.first, fps);
    });
    QAction *custom = action(A::FrameRateCustom);
    if (match != std::end(presets)) {
        checkAction(match->second, true);
    } else if (custom) {
        custom->setText(tr("Custom (%1)", "fps menu action").arg(locale().toString(fps, 'g', 6)));
        custom->setChecked(true);
    }
    if (custom && !custom->isChecked()) {
        Model::ActionManager::instance()->setActionTextVariant(A::FrameRateCustom, 0, 0);
        custom->setText(tr("Custom", "fps menu action"));
    }
}

void MainWindow::onClipboardChanged(QClipboard::Mode mode)
{
    if (mode != QClipboard::Clipboard)
        return;
    Model::ActionManager *actions = Model::ActionManager::instance();
    enableAction(A::PasteDrawing, false);
    actions->setActionTextVariant(A::PasteDrawing, 0, 0);
    const Model::Scene *scene = currentScene();
    if (!scene)
        return;
    const int count = scene->canPaste(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
    if (count > 1)
        actions->setActionTextVariant(A::PasteDrawing, 1, count);
    if (count > 0)
        enableAction(A::PasteDrawing, true);
}

void MainWindow::onSelectionChanged()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    if (!klscene || !klscene->scene())
        return;
    const QItemSelectionModel *selection = klscene->selectionModel();
    const bool selected = selection && selection->hasSelection();
    const int count = selected ? int(selection->selectedIndexes().size()) : -1;
    enableAction(A::CycleSelectedDrawingsOnce, selected);
    Model::ActionManager *actions = Model::ActionManager::instance();
    for (const A key : {A::AddCloneDrawing, A::DeleteCloneDrawing, A::AddBlankDrawing, A::InsertBlankDrawing,
                        A::TurnCloneIntoOriginal, A::DuplicateDrawing, A::CutDrawing, A::CopyDrawing,
                        A::ClearDrawingMakingBlank, A::LoseDrawingMakingHold, A::DiscardDrawing,
                        A::BackDeleteDrawing})
        actions->setActionTextVariant(key, selected ? 1 : 0, count);
}

void MainWindow::onFloatingSelectionChanged()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    if (!klscene || !klscene->scene())
        return;
    enableAction(A::GetLatestFloatingSelectionBack, klscene->floatingSelection() != nullptr);
}

void MainWindow::onFramesLost()
{
    QLabel *label = d->m_frameNumberLabel;
    if (!label || !m_playbackController->isPlaying())
        return;
    // The frame number flashes red for a moment after each lost frame.
    if (!d->m_framesLostTimer) {
        d->m_framesLostTimer = new QTimer(this);
        d->m_framesLostTimer->setSingleShot(true);
        connect(d->m_framesLostTimer, &QTimer::timeout, this,
                [label] { setFrameNumberColor(label, Qt::white); });
    }
    setFrameNumberColor(label, Qt::red);
    d->m_framesLostTimer->start(200);
}
