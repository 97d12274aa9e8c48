// The main window's setters of the active cell and the frame range, and the
// updaters that keep the actions' enabled states, check marks and wordings
// in step with the current scene. Each does nothing while no scene is open.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"
#include "playbackcontroller.h"

#include "scenesettingscommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTimer>
#include <QUndoGroup>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

using A = KL::Action;

using MainWindowLookups::action;

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

using MainWindowLookups::currentScene;

// Equal up to the last few bits of the smaller value, as the rate presets
// are compared (12.5 typed as 12.50 is still 12.5).
bool fuzzyEqual(double a, double b)
{
    return std::min(std::abs(a), std::abs(b)) >= std::abs(a - b) * 1e12;
}

void setWindowTextColor(QLabel *label, const QColor &color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::All, QPalette::WindowText, color);
    label->setPalette(palette);
}

// The remembered frame and the range origin are places in one scene: a
// frame remembered in another scene means nothing in this one.
void keepPlacesOfCurrentScene(MainWindow::MainWindowPrivate &d)
{
    Model::KLScene *current = Model::KLScene::current();
    if (d.m_placesScene == current)
        return;
    d.m_placesScene = current;
    d.m_rememberedFrame = -1;
    d.m_frameRangeOriginFrame = -1;
    d.m_frameRangeOriginLayer = -1;
}

} // namespace

void MainWindow::setActiveCell(int frame, int layer, bool toLastCell)
{
    Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene || scene->layerCount() == 0)
        return;
    // A step under way places the active cell itself. What asks for
    // another one meanwhile (a playback the step stopped, the timeline
    // held to a shorter range) follows the step; a push of its own would
    // come after it as a second step, and undoing the step would leave
    // the active cell where that push put it.
    if (klscene->isChanging())
        return;
    keepPlacesOfCurrentScene(*d);
    const int first = scene->frameRangeFirst();
    // The frame just after a layer's last cell may lie beyond the range:
    // that is where the layer grows.
    if (!scene->isFrameAfterLastDrawing(layer, frame))
        frame = std::clamp(frame, first, std::max(first, scene->frameRangeLast()));
    layer = std::clamp(layer, 0, scene->layerCount() - 1);
    // Sound and notes have no cells to stand on.
    if (!scene->isVisualLayer(layer))
        return;
    const int limit = toLastCell ? scene->layerFrameCount(layer) : scene->nextFreeFrame(layer);
    frame = std::max(first, std::min(limit, frame));

    if (frame == scene->activeFrame() && layer == scene->activeLayerIdx()) {
        scene->setScrubFrame(-1);
        return;
    }
    // Off pegs is a state of one frame's drawing.
    if (frame != scene->activeFrame())
        checkAction(A::OffPegs, false);
    if (layer == scene->activeLayerIdx())
        d->m_rememberedFrame = frame;

    // A stroke drawn across the move ends before it, as one step in the
    // cell it was drawn in, with any other gesture under way (see
    // KLScene::pushCommand); the pen draws again only once it is lifted.
    // Those steps must not make the window forget the frame just remembered.
    const int remembered = d->m_rememberedFrame;
    commitActiveStroke();
    // The window has chosen the frame; the scene may keep the row after the
    // layer's last cell.
    Model::KLScene::pushCommand(new Commands::SetActiveFrameAndLayer(scene, frame, layer, remembered, 0));
    d->m_rememberedFrame = remembered;
}

void MainWindow::setActiveFrame(int frame)
{
    if (const Model::Scene *scene = currentScene())
        setActiveCell(frame, scene->activeLayerIdx(), false);
}

void MainWindow::setActiveLayer(int layer)
{
    const Model::Scene *scene = currentScene();
    if (!scene || layer == scene->activeLayerIdx())
        return;
    keepPlacesOfCurrentScene(*d);
    // Going through a short layer must not lose the frame of a long one.
    if (d->m_rememberedFrame < 0)
        d->m_rememberedFrame = scene->activeFrame();
    setActiveCell(d->m_rememberedFrame, layer, true);
}

void MainWindow::setFrameRange(int first, int last)
{
    Model::Scene *scene = currentScene();
    if (!scene)
        return;
    keepPlacesOfCurrentScene(*d);
    // A run of range changes keeps where the user stood before it began, so
    // that the active frame comes back when the range gives it room again.
    if (d->m_frameRangeOriginFrame < 0 && d->m_frameRangeOriginLayer < 0) {
        d->m_frameRangeOriginFrame = scene->activeFrame();
        d->m_frameRangeOriginLayer = scene->activeLayerIdx();
    }
    const int maximum = scene->maximumFrameNumber();
    int lo = std::max(1, std::min(maximum, first));
    int hi = std::max(1, std::min(maximum, last));
    if (lo > hi)
        return;
    // A single frame plays as a still: the range keeps two while the scene
    // has them, growing away from the end that did not move.
    if (lo == hi && maximum > 1) {
        if (lo == 1)
            ++hi;
        else if (lo != scene->frameRangeFirst())
            --lo;
        else
            ++hi;
    }
    if (lo == scene->frameRangeFirst() && hi == scene->frameRangeLast())
        return;
    Model::KLScene::pushCommand(new Commands::SetFrameRange(scene, lo, hi, d->m_frameRangeOriginFrame,
                                                            d->m_frameRangeOriginLayer));
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

// The undo group offers Undo and Redo by the history alone. During a gesture
// an undo takes back the gesture, whatever the history holds, and is named
// after it; a redo is refused.
void MainWindow::updateUndoAction()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    const bool gesture = klscene && klscene->isGestureUnderWay();
    enableAction(A::Undo, m_undoGroup->canUndo() || gesture);
    enableAction(A::Redo, m_undoGroup->canRedo() && !gesture);
    // The group's own wording: "&Undo", then what it takes back.
    const QString what = gesture ? klscene->gestureText() : m_undoGroup->undoText();
    const QString undo = Model::ActionManager::tr("&Undo");
    if (QAction *entry = action(A::Undo))
        entry->setText(what.isEmpty() ? undo : undo + u' ' + what);
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

    const auto *match = std::find_if(std::begin(presets), std::end(presets),
                                     [fps](const std::pair<double, A> &preset) { return fuzzyEqual(preset.first, fps); });
    QAction *custom = action(A::FrameRateCustom);
    if (match != std::end(presets)) {
        checkAction(match->second, true);
    } else if (custom) {
        custom->setText(tr("Custom (%1)", "fps menu action").arg(locale().toString(fps, 'g', 6)));
        custom->setChecked(true);
    }
    if (custom && !custom->isChecked()) {
        custom->setText(tr("Custom", "fps menu action"));
        Model::ActionManager::instance()->setActionTextVariant(A::FrameRateCustom, 0, 0);
    }
}

void MainWindow::onActionFrameRate(double fps)
{
    updateFrameRateMenu(fps);
    Model::KLScene *klscene = Model::KLScene::current();
    if (klscene && klscene->scene())
        Model::KLScene::pushCommand(new Commands::SetFrameRate(klscene, fps));
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
    const bool selected = klscene->hasSelection();
    const int count = selected ? int(klscene->selectionModel()->selectedIndexes().size()) : -1;
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
    if (klscene && klscene->scene())
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
                [this] { setWindowTextColor(d->m_frameNumberLabel, Qt::white); });
    }
    setWindowTextColor(label, Qt::red);
    d->m_framesLostTimer->start(200);
}
