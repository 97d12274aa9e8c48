// The main window's handlers of the timeline (moving the active frame,
// scrubbing with the playhead), of the paper's scrub gesture and of the
// playback clock's state, and the connections from the tool manager, the
// paper, the clipboard and the window shortcuts to the editing slots.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"

#include "paper/paper.h"
#include "timeline/timeline.h"
#include "tools/controlsbartoolbutton.h"
#include "xsheet/xsheet.h"

#include "drawingcontentcommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "tools/fixedcursortools.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QShortcut>

#include <algorithm>

namespace {

using MainWindowLookups::action;
using MainWindowLookups::currentScene;

} // namespace

void MainWindow::connectEditingSignals()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    UI::Paper *paper = ui->scrollAreaWidgetContents;
    UI::Timeline *timeline = ui->timeline;
    PlaybackController *playback = m_playbackController;

    connect(tools, &Model::ToolManager::currentToolTypeChanged, this, &MainWindow::onCurrentToolChanged);
    connect(Model::Settings::instance(), &Model::Settings::clonesLockedForDrawingChanged, this,
            &MainWindow::restoreEditingTool);
    // Shift held: scrubbing begins with the first move of the pen.
    if (auto *scrubbing = qobject_cast<Model::ScrubbingTool *>(tools->tool(Model::Tool::Type::Scrubbing))) {
        connect(scrubbing, &Model::ScrubbingTool::scrubbingStarted, this, [tools, paper] {
            Model::Scene *scene = currentScene();
            if (!scene || scene->isScrubbing() || tools->currentToolType() != Model::Tool::Type::Scrubbing)
                return;
            scene->startScrubbing();
            const int frame = scene->activeFrame();
            scene->setScrubFrame(frame);
            paper->setMinMaxScrubOffset(scene->frameRangeFirst() - frame, scene->frameRangeLast() - frame);
        });
    }

    // The playhead moves the active frame when clicked, and scrubs while
    // it is dragged: then the active frame stays, and the release brings
    // the timeline back to it, unless playback resumes from there.
    connect(timeline, &UI::Timeline::rangeChanged, this, &MainWindow::setFrameRange);
    connect(timeline, &UI::Timeline::valueChanged, this, [this, playback](int frame) {
        const Model::Scene *scene = currentScene();
        if (scene && !playback->isPlaying() && !scene->isScrubbing())
            setActiveCell(frame, scene->activeLayerIdx(), false);
    });
    connect(timeline, &UI::Timeline::sliderPressed, this, [playback] {
        if (currentScene())
            playback->pausePlayback();
    });
    connect(timeline, &UI::Timeline::sliderDragged, this, [this](int frame) {
        if (Model::Scene *scene = currentScene()) {
            scene->startScrubbing();
            scrubToFrame(frame);
        }
    });
    connect(timeline, &UI::Timeline::sliderMoved, this, &MainWindow::scrubToFrame);
    connect(timeline, &UI::Timeline::sliderReleased, this, [timeline, playback](int frame) {
        Model::Scene *scene = currentScene();
        if (!scene)
            return;
        scene->setScrubFrame(-1);
        scene->stopScrubbing();
        if (!playback->resumePlayback(frame))
            timeline->setValue(scene->activeFrame());
    });

    connect(paper, &UI::Paper::scrubOffsetChanged, this, [this](int offset) {
        Model::Scene *scene = currentScene();
        if (!scene || !scene->isScrubbing())
            return;
        const int first = scene->frameRangeFirst();
        const int frame = scene->activeFrame() + offset;
        scene->setScrubFrame(std::clamp(frame, first, std::max(first, scene->frameRangeLast())));
        d->m_xSheet->scrollToFrame(frame - first);
    });
    connect(paper, &UI::Paper::offPegsTransformChanged, this, [](const QTransform &transform) {
        if (Model::Scene *scene = currentScene())
            Model::KLScene::pushCommand(new Commands::OffPegs(scene, transform));
    });
    connect(paper, &UI::Paper::floatingSelectionTransformChanged, this,
            [](const Model::FloatingSelection::Transform &transform) {
                Model::KLScene *klscene = Model::KLScene::current();
                if (klscene && klscene->scene())
                    Model::KLScene::pushCommand(new Commands::FloatingSelectionTransform(klscene, transform));
            });

    connect(playback, &PlaybackController::playbackChanged, this, [this](bool playing) {
        QAction *play = action(KL::Action::Play);
        Model::ActionManager::instance()->setActionTextVariant(KL::Action::Play, playing ? 1 : 0, -1);
        if (UI::ControlsBarToolButton *button = d->m_playButton) {
            button->setIcon(playing ? d->m_stopIcon : d->m_playIcon);
            button->setToolTip(play->toolTip());
        }
    });

    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, &MainWindow::onClipboardChanged);
    connect(d->m_shiftLeftShortcut, &QShortcut::activated, this, [this] { extendSelection(-1); });
    connect(d->m_shiftRightShortcut, &QShortcut::activated, this, [this] { extendSelection(1); });

    updateAudioActions();
    updateFrameRateMenu(playback->frameRate());
}

void MainWindow::scrubToFrame(int frame)
{
    Model::Scene *scene = currentScene();
    if (!scene)
        return;
    scene->setScrubFrame(frame);
    d->m_xSheet->scrollToFrame(frame - scene->frameRangeFirst());
}
