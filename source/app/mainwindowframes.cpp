// The main window's handlers of frame navigation (steps, skips to key
// drawings, jumps), of the frame range, of playback and its modes, of the
// sound, and of the frame rate with its prompt for a rate of the user's own.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"
#include "playbackcontroller.h"

#include "dialogs/boundeddoublevalidator.h"
#include "dialogs/dialogs.h"

#include "layercommands.h"

#include "actions/actionmanager.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

using A = KL::Action;

using MainWindowLookups::action;
using MainWindowLookups::currentScene;

// The rates a user may choose, as the scene keeps them.
constexpr double MinimumFrameRate = 0.1;
constexpr double MaximumFrameRate = 60.0;

// Which frames a step may stop on.
enum class Stop {
    AnyFrame,
    NotLocalClone,
    KeyDrawing,
};

bool stopsAt(const Model::Scene &scene, int layer, int frame, Stop stop)
{
    switch (stop) {
    case Stop::AnyFrame:
        return true;
    case Stop::NotLocalClone:
        return !scene.isCloneDrawing(layer, frame);
    case Stop::KeyDrawing:
        return scene.isKeyDrawing(layer, frame);
    }
    return false;
}

// The frame a step lands on, within the frame range and the active layer's
// cells: from the frame next to the active one (the layer's last frame in
// the range, stepping back from the empty frame after it) on to that end of
// the range, then round from the other end. -1 when no frame qualifies.
int stepTarget(const Model::Scene &scene, int direction, Stop stop)
{
    const int layer = scene.activeLayerIdx();
    const int first = scene.frameRangeFirst();
    const int last = std::min(scene.layerFrameCount(layer), scene.frameRangeLast());
    int start = scene.activeFrame() + direction;
    if (direction < 0 && scene.isActiveFrameAfterLastDrawing())
        start = last;
    const auto search = [&](int from) {
        for (int frame = from; frame >= first && frame <= last; frame += direction) {
            if (stopsAt(scene, layer, frame, stop))
                return frame;
        }
        return -1;
    };
    const int found = search(start);
    return found != -1 ? found : search(direction < 0 ? last : first);
}

} // namespace

void MainWindow::wireFlipAndPlayActions()
{
    // Handlers that need an open scene; without one the action does nothing.
    const auto withScene = [this](A key, std::function<void(Model::Scene *)> handler) {
        connect(action(key), &QAction::triggered, this, [handler] {
            if (Model::Scene *scene = currentScene())
                handler(scene);
        });
    };

    withScene(A::Play, [this](Model::Scene *) { m_playbackController->togglePlayback(); });
    const struct
    {
        A key;
        PlaybackController::PlaybackMode mode;
    } modes[] = {{A::PlayLoop, PlaybackController::Loop},
                 {A::PlayBackwards, PlaybackController::Backwards},
                 {A::PlayStopAndStay, PlaybackController::StopAndStay}};
    for (const auto &entry : modes) {
        const PlaybackController::PlaybackMode mode = entry.mode;
        PlaybackController *controller = m_playbackController;
        connect(action(entry.key), &QAction::toggled, controller,
                [controller, mode](bool on) { controller->setPlaybackMode(mode, on); });
    }

    const std::pair<A, double> rates[] = {
        {A::FrameRate06, 6.0},  {A::FrameRate12, 12.0}, {A::FrameRate12_5, 12.5},
        {A::FrameRate15, 15.0}, {A::FrameRate24, 24.0}, {A::FrameRate25, 25.0},
        {A::FrameRate30, 30.0}, {A::FrameRate50, 50.0}, {A::FrameRate60, 60.0},
    };
    for (const auto &rate : rates) {
        const double fps = rate.second;
        connect(action(rate.first), &QAction::triggered, this, [this, fps] { onActionFrameRate(fps); });
    }
    withScene(A::FrameRateCustom, [this](Model::Scene *) { askCustomFrameRate(); });

    const struct
    {
        A key;
        int direction;
        Stop stop;
    } steps[] = {
        {A::StepBack, -1, Stop::AnyFrame},
        {A::StepForward, 1, Stop::AnyFrame},
        {A::StepBackSkippingLocalClones, -1, Stop::NotLocalClone},
        {A::StepForwardSkippingLocalClones, 1, Stop::NotLocalClone},
        {A::SkipBackToKeyDrawing, -1, Stop::KeyDrawing},
        {A::SkipForwardToKeyDrawing, 1, Stop::KeyDrawing},
    };
    for (const auto &step : steps) {
        const int direction = step.direction;
        const Stop stop = step.stop;
        withScene(step.key, [this, direction, stop](Model::Scene *scene) {
            const int frame = stepTarget(*scene, direction, stop);
            if (frame != -1 && frame != scene->activeFrame())
                setActiveFrame(frame);
        });
    }
    withScene(A::ReturnFlip, [this](Model::Scene *) { m_playbackController->flipBackAndReturn(4); });
    withScene(A::JumpToStart, [this](Model::Scene *scene) {
        setActiveCell(scene->frameRangeFirst(), scene->activeLayerIdx(), false);
    });
    withScene(A::JumpToEnd, [this](Model::Scene *scene) {
        setActiveCell(scene->nextFreeFrame(scene->activeLayerIdx()), scene->activeLayerIdx(), false);
    });

    const struct
    {
        A key;
        int firstStep;
        int lastStep;
    } rangeSteps[] = {{A::RangeStartStepBack, -1, 0},
                      {A::RangeStartStepForward, 1, 0},
                      {A::RangeEndStepBack, 0, -1},
                      {A::RangeEndStepForward, 0, 1}};
    for (const auto &step : rangeSteps) {
        const int firstStep = step.firstStep;
        const int lastStep = step.lastStep;
        withScene(step.key, [this, firstStep, lastStep](Model::Scene *scene) {
            setFrameRange(scene->frameRangeFirst() + firstStep, scene->frameRangeLast() + lastStep);
        });
    }
    withScene(A::RangeStartToFirstFrame, [this](Model::Scene *scene) { setFrameRange(1, scene->frameRangeLast()); });
    withScene(A::RangeEndToLastFrame, [this](Model::Scene *scene) {
        setFrameRange(scene->frameRangeFirst(), scene->maximumFrameNumber());
    });

    // Muting is a state of the playback, not an edit of the scene.
    withScene(A::MuteAudio, [this](Model::Scene *scene) {
        scene->setAudioEnabled(!scene->isAudioEnabled());
        updateAudioActions();
    });
    withScene(A::DiscardAudio, [](Model::Scene *scene) {
        Model::KLScene::pushCommand(new Commands::DiscardLayer(scene, scene->audioLayerIdx()));
    });

    // The modes as the clock has them, before any scene is open. Checking
    // an action runs the handler just connected, which keeps the mode.
    const PlaybackController::PlaybackModes current = m_playbackController->playbackModes();
    action(current.testFlag(PlaybackController::Loop) ? A::PlayLoop : A::PlayOnce)->setChecked(true);
    action(A::PlayBackwards)->setChecked(current.testFlag(PlaybackController::Backwards));
    action(A::PlayStopAndStay)->setChecked(current.testFlag(PlaybackController::StopAndStay));
}

void MainWindow::askCustomFrameRate()
{
    const Model::Scene *scene = currentScene();
    if (!scene)
        return;
    const double rate = scene->frameRate();
    const QLocale locale = this->locale();

    QDialog dialog(this, Qt::WindowTitleHint | Qt::WindowSystemMenuHint);
    auto *rows = new QVBoxLayout(&dialog);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(20, 5, 10, 5);
    row->setSpacing(10);
    auto *label = new QLabel(tr("Frame Rate:"), &dialog);
    QFont bold = label->font();
    bold.setWeight(QFont::Bold);
    label->setFont(bold);
    auto *field = new QLineEdit(locale.toString(rate, 'g', 6), &dialog);
    field->setFixedWidth(45);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Owned by the field, so that it goes with the prompt.
    field->setValidator(new BoundedDoubleValidator(MinimumFrameRate, MaximumFrameRate, 2, field));
    row->addWidget(label);
    row->addWidget(field);
    row->addWidget(new QLabel(tr("FPS"), &dialog));
    rows->addLayout(row);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    rows->addWidget(buttons);
    field->setFocus();
    dialog.resize(1, 1);

    const bool accepted = d->m_dialogs->exec(&dialog) == QDialog::Accepted;
    // Typed in the user's locale, or with a decimal point whatever the
    // locale says; a rate the scene cannot play is no answer.
    QLocale typed = locale;
    typed.setNumberOptions(QLocale::RejectGroupSeparator);
    const QString text = field->text().trimmed();
    bool read = false;
    double wanted = typed.toDouble(text, &read);
    if (!read)
        wanted = QLocale::c().toDouble(text, &read);
    read = read && wanted >= MinimumFrameRate && wanted <= MaximumFrameRate;

    if (accepted && read && !qFuzzyCompare(wanted, rate))
        onActionFrameRate(wanted);
    else
        updateFrameRateMenu(rate);
}

void MainWindow::extendSelection(int direction)
{
    Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene)
        return;
    QItemSelectionModel *selectionModel = klscene->selectionModel();
    const Model::FrameRangeModel *proxy = klscene->frameRangeModel();
    const QItemSelection selection = selectionModel->selection();
    const QModelIndex current = selectionModel->currentIndex();
    const QModelIndex next = proxy->index(current.row() + direction, current.column());
    if (!current.isValid() || !next.isValid())
        return;

    setActiveCell(proxy->mapToSource(next).row() + 1, scene->activeLayerIdx(), false);

    // The end the current cell sits on follows the keys; the far end stays.
    QModelIndex anchor = current;
    if (selection.size() == 1 && selection.first().height() * selection.first().width() > 1) {
        const QItemSelectionRange &range = selection.first();
        const QModelIndex ahead = direction < 0 ? range.topLeft() : range.bottomRight();
        const QModelIndex behind = direction < 0 ? range.bottomRight() : range.topLeft();
        anchor = ahead != current ? ahead : behind;
    }
    const QModelIndex topLeft = proxy->index(std::min(anchor.row(), next.row()),
                                             std::min(anchor.column(), next.column()));
    const QModelIndex bottomRight = proxy->index(std::max(anchor.row(), next.row()),
                                                 std::max(anchor.column(), next.column()));
    selectionModel->select(QItemSelection(topLeft, bottomRight), QItemSelectionModel::ClearAndSelect);
}
