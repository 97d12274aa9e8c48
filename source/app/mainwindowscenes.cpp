// The main window's scene commands (new, open, save) and the switch of the
// current scene that every one of them ends with.

#include "mainwindow.h"

#include "autosavemanager.h"
#include "mainwindow_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"
#include "scenefileio.h"

#include "dialogs.h"
#include "opacityslider.h"
#include "paper.h"
#include "referencedisplay.h"
#include "timeline.h"
#include "xsheet.h"

#include "actions/actionmanager.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/strokelayer.h"
#include "render/offscreenrenderer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QUndoCommand>
#include <QUndoGroup>
#include <QUndoStack>

namespace {

// The busy flag is true for the whole of a file command, whichever way it
// ends; a nested command clears it on its way out.
class BusyScope
{
public:
    explicit BusyScope(bool &busy)
        : m_busy(busy)
    {
        m_busy = true;
    }
    ~BusyScope() { m_busy = false; }

    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &m_busy;
};

QAction *action(KL::Action key)
{
    return Model::ActionManager::instance()->action(key);
}

// Ids of the commands whose pushes keep the remembered frame and the
// frame-range origin.
constexpr int SetActiveFrameAndLayerId = 1;
constexpr int SetFrameRangeId = 2;

} // namespace

void MainWindow::newSceneIfNoneOpen()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    if (!klscene || !klscene->scene())
        newScene(SkipDialog);
}

void MainWindow::newScene(MainWindow::NewSceneBehaviour behaviour)
{
    // There is no scene-settings dialog to ask yet: a new scene always has
    // the document's built-in settings.
    Q_UNUSED(behaviour);
    const BusyScope busy(d->m_busy);
    if (!maybeSave())
        return;

    auto *klscene = new Model::KLScene(this);
    Model::Scene *scene = klscene->scene();

    auto drawingLayer = std::make_shared<Model::StrokeLayer>(QColor(40, 97, 184), scene->frameSize(), scene);
    const QString name = scene->nextLayerNumber();
    if (drawingLayer->name() != name)
        drawingLayer->setName(name);
    scene->insertLayer(drawingLayer, 0);
    scene->insertLayer(std::make_shared<Model::AudioLayer>(scene), 1);
    scene->insertLayer(std::make_shared<Model::AnnotationLayer>(scene), 2);
    scene->setActiveFrameAndLayer(1, 0, Model::Scene::AllowFrameAfterLast);

    Model::KLScene *previous = Model::KLScene::current();
    setCurrentScene(klscene);
    if (previous)
        previous->deleteLater();
    d->m_autosaveManager->reset();
}

bool MainWindow::openFile(const QString &filename)
{
    const BusyScope busy(d->m_busy);
    if (!maybeSave())
        return false;
    Model::KLScene *klscene = loadScene(filename);
    if (!klscene)
        return false;
    Model::KLScene *previous = Model::KLScene::current();
    setCurrentScene(klscene);
    if (previous)
        previous->deleteLater();
    return true;
}

Model::KLScene *MainWindow::loadScene(const QString &path)
{
    Model::Settings *settings = Model::Settings::instance();
    const QString nativePath = QDir::toNativeSeparators(path);
    QFile file(path);
    if (!file.open(QFile::ReadOnly | QFile::Text)) {
        d->m_dialogs->warning(this, QGuiApplication::applicationDisplayName(),
                              tr("Cannot read file %1:\n%2.").arg(nativePath, file.errorString()), QMessageBox::Ok);
        settings->removeRecentFile(path);
        return nullptr;
    }

    // Reading may resize the renderer for the scene's frames; the current
    // scene goes on drawing at its own size.
    Model::OffscreenRenderer *renderer = Model::OffscreenRenderer::instance();
    const QSize rendererSize = renderer->size();

    auto *klscene = new Model::KLScene(this);
    const SceneFileIO::Outcome outcome = SceneFileIO::readScene(klscene->scene(), &file, this);
    Model::KLScene *loaded = nullptr;
    switch (outcome.result) {
    case SceneFileIO::Success:
        settings->setDefaultSaveDir(QFileInfo(path).absoluteDir());
        klscene->scene()->setFilePath(path);
        settings->addRecentFile(path);
        loaded = klscene;
        break;
    case SceneFileIO::Failed:
        d->m_dialogs->information(this, QGuiApplication::applicationDisplayName(),
                                  tr("Parse error in file %1:\n\n%2").arg(nativePath, outcome.errorString),
                                  QMessageBox::Ok);
        klscene->deleteLater();
        break;
    case SceneFileIO::Cancelled:
        klscene->deleteLater();
        break;
    }
    renderer->setSize(rendererSize);
    return loaded;
}

bool MainWindow::maybeSave()
{
    const Model::KLScene *klscene = Model::KLScene::current();
    const Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene || scene->undoStack()->isClean())
        return true;
    const QMessageBox::StandardButton answer = d->m_dialogs->warning(
        this, tr("Save"), tr("\"%1\" has been modified.\n\nSave the scene?").arg(scene->name()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Save)
        return saveScene();
    return answer == QMessageBox::Discard;
}

bool MainWindow::saveScene()
{
    const BusyScope busy(d->m_busy);
    const Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene)
        return true;
    if (scene->filePath().isEmpty())
        return saveSceneAs();
    if (scene->undoStack()->isClean())
        return true;
    return saveSceneTo(scene, scene->filePath());
}

bool MainWindow::saveSceneAs()
{
    const BusyScope busy(d->m_busy);
    const Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene)
        return true;

    Model::Settings *settings = Model::Settings::instance();
    Model::ActionManager *actions = Model::ActionManager::instance();
    const QString suggested = settings->defaultSaveDir().filePath(scene->name() + QStringLiteral(".kl"));
    actions->disableAllActions();
    const QString name = d->m_dialogs->getSaveFileName(this, tr("Save Scene"), suggested, tr("KL Files (*.kl)"));
    bool written = false;
    if (!name.isEmpty()) {
        settings->setDefaultSaveDir(QFileInfo(name).absoluteDir());
        written = saveSceneTo(scene, name);
    }
    actions->restoreAllActions();
    return written;
}

bool MainWindow::saveSceneTo(Model::Scene *scene, const QString &path)
{
    if (!writeSceneFile(scene, path))
        return false;
    scene->setFilePath(path);
    scene->undoStack()->setClean();
    Model::Settings::instance()->addRecentFile(path);
    return true;
}

bool MainWindow::writeSceneFile(Model::Scene *scene, const QString &path)
{
    const QString title = QGuiApplication::applicationDisplayName();
    const QString nativePath = QDir::toNativeSeparators(path);
    // The file is replaced only by a successful commit, so a failed or
    // cancelled write leaves the one on disk as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        d->m_dialogs->warning(this, title, tr("Cannot write file %1:\n%2.").arg(nativePath, file.errorString()),
                              QMessageBox::Ok);
        return false;
    }
    switch (SceneFileIO::writeScene(scene, &file, this).result) {
    case SceneFileIO::Success:
        if (file.error() == QFileDevice::NoError && file.commit())
            return true;
        d->m_dialogs->warning(this, title, tr("Cannot write file %1:\n%2.").arg(nativePath, file.errorString()),
                              QMessageBox::Ok);
        return false;
    case SceneFileIO::Failed:
        d->m_dialogs->warning(this, title, tr("Cannot write file %1").arg(nativePath), QMessageBox::Ok);
        file.cancelWriting();
        return false;
    case SceneFileIO::Cancelled:
        file.cancelWriting();
        return false;
    }
    return false;
}

void MainWindow::setCurrentScene(Model::KLScene *klscene)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    const Model::Tool::Type drawingTool = tools->lastDrawingToolType();
    const int cursorType = cursorTypeForTool(drawingTool);
    if (drawingTool != tools->currentToolType() || cursorType != tools->currentCursorType())
        tools->setCurrentTool(drawingTool, cursorType);

    if (Model::KLScene *previous = Model::KLScene::current())
        disconnectScene(previous);
    Model::KLScene::setCurrent(klscene);
    if (klscene && klscene->scene())
        connectScene(klscene);
    else
        actualizeTitlebar();
}

void MainWindow::disconnectScene(Model::KLScene *klscene)
{
    m_playbackController->setCurrentScene(nullptr);
    klscene->disconnectAll();
    if (Model::Scene *scene = klscene->scene()) {
        UI::Timeline *timeline = ui->timeline;
        for (QObject *receiver : std::initializer_list<QObject *>{this, ui->scrollAreaWidgetContents, timeline,
                                                                  m_playbackController, d->m_opacitySlider})
            disconnect(scene, nullptr, receiver, nullptr);
        disconnect(timeline, nullptr, scene, nullptr);
        disconnect(m_playbackController, nullptr, scene, nullptr);
        disconnect(scene->undoStack(), nullptr, this, nullptr);
        m_undoGroup->removeStack(scene->undoStack());
    }
    ui->scrollAreaWidgetContents->setCurrentScene(nullptr);
    if (d->m_referenceDisplay)
        d->m_referenceDisplay->setCurrentScene(nullptr);
    if (klscene->selectionModel())
        disconnect(klscene->selectionModel(), nullptr, this, nullptr);
    if (klscene->frameRangeModel())
        disconnect(klscene->frameRangeModel(), nullptr, this, nullptr);
}

void MainWindow::connectScene(Model::KLScene *klscene)
{
    Model::Scene *scene = klscene->scene();
    Model::Settings *settings = Model::Settings::instance();
    Model::OffscreenRenderer *renderer = Model::OffscreenRenderer::instance();
    UI::Paper *paper = ui->scrollAreaWidgetContents;
    UI::Timeline *timeline = ui->timeline;

    settings->setDefaultFrameSize(scene->frameSize());
    settings->setDefaultFrameRate(scene->frameRate());
    renderer->setSize(scene->frameSize());

    connect(scene, &Model::Scene::frameSizeAboutToChange, this, [renderer](QSize size) { renderer->setSize(size); });
    paper->setCurrentScene(klscene);
    connect(scene, &Model::Scene::frameSizeChanged, this, [this, settings](QSize size) {
        settings->setDefaultFrameSize(size);
        actualizeTitlebar();
    });
    if (d->m_referenceDisplay)
        d->m_referenceDisplay->setCurrentScene(klscene);

    connect(scene, &Model::Scene::frameRangeChanged, timeline, &UI::Timeline::setRange);
    connect(scene, &Model::Scene::maximumFrameNumberChanged, timeline,
            [timeline](int frames) { timeline->setRangeLimits(1, frames); });
    connect(scene, &Model::Scene::activeFrameAndLayerChanged, timeline,
            [timeline](int frame, int) { timeline->setValue(frame); });
    connect(scene, &Model::Scene::scrubFrameChanged, timeline, [timeline](int current, int) {
        if (current != -1)
            timeline->setSliderPosition(current);
    });
    {
        const QSignalBlocker blocker(timeline);
        timeline->setRangeLimits(1, scene->maximumFrameNumber());
        timeline->setRange(scene->frameRangeFirst(), scene->frameRangeLast());
        timeline->setValue(scene->activeFrame());
    }

    QUndoStack *stack = scene->undoStack();
    m_undoGroup->addStack(stack);
    m_undoGroup->setActiveStack(stack);
    connect(stack, &QUndoStack::indexChanged, this, [this, stack](int index) {
        const QUndoCommand *last = index > 0 ? stack->command(index - 1) : nullptr;
        const int id = last ? last->id() : -1;
        if (id != SetActiveFrameAndLayerId)
            d->m_rememberedFrame = -1;
        if (id != SetFrameRangeId)
            d->m_frameRangeOriginFrame = d->m_frameRangeOriginLayer = -1;
        d->m_autosaveManager->markSceneChanged();
        d->m_lastChangeTime = QDateTime::currentSecsSinceEpoch();
    });
    connect(stack, &QUndoStack::cleanChanged, this, qOverload<>(&MainWindow::actualizeTitlebar));

    d->m_xSheet->setEnableVerticalScrollAnimation(false);
    d->m_xSheet->setModel(klscene->frameRangeModel());
    d->m_xSheet->setSelectionModel(klscene->selectionModel());
    d->m_xSheet->setEnableVerticalScrollAnimation(true);

    // The floating selection takes the colour and opacity of the layer it
    // lies on, and the opacity slider those of the layer it edits.
    UI::OpacitySlider *slider = d->m_opacitySlider;
    connect(scene, &Model::Scene::layerColorChanged, this, [klscene, slider](int layer, const QColor &color) {
        if (layer == klscene->scene()->activeLayerIdx() && klscene->floatingSelection())
            klscene->floatingSelection()->setColor(color);
        if (slider->isVisible() && slider->layerIdx() == layer)
            slider->setColor(color);
    });
    connect(scene, &Model::Scene::layerOpacityChanged, this, [klscene, slider](int layer, double opacity) {
        if (layer == klscene->scene()->activeLayerIdx() && klscene->floatingSelection())
            klscene->floatingSelection()->setOpacity(opacity);
        if (slider->isVisible() && slider->layerIdx() == layer)
            slider->setOpacity(opacity);
    });
    action(KL::Action::GetLatestFloatingSelectionBack)->setEnabled(klscene->floatingSelection() != nullptr);

    const auto followFrameRate = [this, settings](double fps) {
        settings->setDefaultFrameRate(fps);
        m_playbackController->setFrameRate(fps);
    };
    followFrameRate(scene->frameRate());
    connect(scene, &Model::Scene::frameRateChanged, this, followFrameRate);
    m_playbackController->setCurrentScene(klscene);

    // The pen size cannot change under a stroke being drawn.
    const auto enablePenSizeActions = [](bool drawing) {
        action(KL::Action::DecreasePenSize)->setEnabled(!drawing);
        action(KL::Action::IncreasePenSize)->setEnabled(!drawing);
    };
    connect(scene, &Model::Scene::hasActiveStrokeChanged, this, enablePenSizeActions);
    enablePenSizeActions(scene->hasActiveStroke());

    const auto refreshToolCursor = [this] {
        Model::ToolManager *tools = Model::ToolManager::instance();
        const int cursorType = cursorTypeForTool(tools->currentToolType());
        if (cursorType != tools->currentCursorType())
            tools->setCurrentTool(tools->currentToolType(), cursorType);
    };
    connect(scene, &Model::Scene::activeFrameAndLayerChanged, this, refreshToolCursor);
    connect(scene, &Model::Scene::layersChanged, this, [scene, refreshToolCursor](int first, int last) {
        const int active = scene->activeLayerIdx();
        if (active >= first && active <= last)
            refreshToolCursor();
    });

    connect(scene, &Model::Scene::nameChanged, this, qOverload<>(&MainWindow::actualizeTitlebar));
    actualizeTitlebar();
}
