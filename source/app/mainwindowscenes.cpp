// The main window's scene commands (new, open, save) and the switch of the
// current scene that every one of them ends with.

#include "mainwindow.h"

#include "autosavemanager.h"
#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"
#include "runrecords.h"
#include "scenefileio.h"
#include "scenesave.h"

#include "dialogs/customizebacklightdialog.h"
#include "dialogs/dialogs.h"
#include "dialogs/scenesettingsdialog.h"
#include "paper/paper.h"
#include "timeline/referencedisplay.h"
#include "timeline/timeline.h"
#include "xsheet/opacityslider.h"
#include "xsheet/xsheet.h"

#include "actions/actionmanager.h"
#include "export/exportfolder.h"
#include "io/filewriting.h"
#include "layers/annotationlayer.h"
#include "layers/audiolayer.h"
#include "layers/strokelayer.h"
#include "render/offscreenrenderer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QProgressDialog>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUndoCommand>
#include <QUndoGroup>
#include <QUndoStack>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

namespace {

using MainWindowLookups::action;
using MainWindowLookups::currentScene;

// Ids of the commands whose pushes keep the remembered frame and the
// frame-range origin.
constexpr int SetActiveFrameAndLayerId = 1;
constexpr int SetFrameRangeId = 2;

// The settings of a new scene made without asking.
constexpr QSize BuiltInFrameSize(1920, 1080);
constexpr double BuiltInFrameRate = 12.0;

// A backup is written only once the scene has been left alone this long.
constexpr qint64 AutosaveIdleSeconds = 3;

// How often an end the system asked for looks again whether the commands it
// stopped have returned, in milliseconds.
constexpr int EndPollInterval = 50;

// Why a save did not write the file, for the user; empty when it did, or
// when the user cancelled it.
QString saveFailure(const QString &path, const SceneSave::Result &saved)
{
    const QString nativePath = QDir::toNativeSeparators(path);
    switch (saved.status) {
    case SceneSave::Saved:
    case SceneSave::Cancelled:
        return QString();
    case SceneSave::WriterFailed:
        if (saved.errorString.isEmpty())
            return MainWindow::tr("Cannot write file %1").arg(nativePath);
        break;
    case SceneSave::CannotOpen:
    case SceneSave::CannotCommit:
        break;
    }
    return MainWindow::tr("Cannot write file %1:\n%2.").arg(nativePath, saved.errorString);
}

// Autosave's own folder, for when the one asked for takes no files. It was
// once the application's data folder, whose path names the organisation
// and then the application, both "Kelvane"; it now sits one level up, so
// that the path the user is told reads the name once.
QString ownBackupFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return QString();
    return QDir(data).filePath(QCoreApplication::applicationName() + QStringLiteral("/Backups"));
}

// Where the backups of earlier versions went.
QString earlierBackupFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    return data.isEmpty() ? QString() : data + QStringLiteral("/Backups");
}

} // namespace

void MainWindow::newSceneIfNoneOpen()
{
    if (!currentScene())
        newScene(SkipDialog);
}

void MainWindow::newScene(MainWindow::NewSceneBehaviour behaviour)
{
    const BusyScope busy(d->m_busyDepth);
    if (!maybeSave())
        return;

    auto *klscene = new Model::KLScene(this);
    Model::Scene *scene = klscene->scene();
    Model::Settings *settings = Model::Settings::instance();
    int frames = 1;
    if (behaviour == SkipDialog) {
        // A scene takes its size and rate from the preferences, which follow
        // the last scene shown; a scene made without asking has the
        // document's own.
        scene->setFrameSize(BuiltInFrameSize, KL::FitMode::FitModeIgnore, nullptr);
        scene->setFrameRate(BuiltInFrameRate);
    } else {
        UI::SceneSettings proposed;
        proposed.frameSize = settings->defaultFrameSize();
        proposed.fitMode = KL::FitMode::FitModeKeepAspect;
        proposed.frameRate = settings->defaultFrameRate();
        proposed.initialNumberOfFrames = settings->defaultInitialNumberOfFrames();
        proposed.mode = UI::SceneSettings::Mode::NewScene;
        UI::SceneSettingsDialog dialog(proposed, this);
        dialog.resize(1, 1);
        if (d->m_dialogs->exec(&dialog) != QDialog::Accepted) {
            klscene->deleteLater();
            return;
        }
        const UI::SceneSettings chosen = dialog.sceneSettings();
        scene->setFrameSize(chosen.frameSize, KL::FitMode::FitModeIgnore, nullptr);
        scene->setFrameRate(chosen.frameRate);
        frames = chosen.initialNumberOfFrames;
    }

    auto drawingLayer = std::make_shared<Model::StrokeLayer>(QColor(40, 97, 184), scene->frameSize(), scene);
    const QString name = scene->nextLayerNumber();
    if (drawingLayer->name() != name)
        drawingLayer->setName(name);
    scene->insertLayer(drawingLayer, 0);
    if (frames > 1)
        scene->insertHoldFrames(0, 1, frames - 1);
    scene->insertLayer(std::make_shared<Model::AudioLayer>(scene), 1);
    scene->insertLayer(std::make_shared<Model::AnnotationLayer>(scene), 2);
    scene->setActiveFrameAndLayer(1, 0, Model::Scene::AllowFrameAfterLast);

    replaceCurrentScene(klscene);
    if (behaviour == ShowDialog)
        settings->setDefaultInitialNumberOfFrames(frames);
}

void MainWindow::openScene()
{
    const BusyScope busy(d->m_busyDepth);
    if (!maybeSave())
        return;
    const QString folder = Model::Settings::instance()->defaultSaveDir().absolutePath();
    const QString path = d->m_dialogs->getOpenFileName(this, tr("Open Scene"), folder, tr("KL Files (*.kl)"));
    if (path.isEmpty())
        return;
    Model::KLScene *klscene = loadScene(path);
    if (!klscene)
        return;
    replaceCurrentScene(klscene);
}

bool MainWindow::openFile(const QString &filename)
{
    const BusyScope busy(d->m_busyDepth);
    if (!maybeSave())
        return false;
    Model::KLScene *klscene = loadScene(filename);
    if (!klscene)
        return false;
    replaceCurrentScene(klscene);
    return true;
}

void MainWindow::replaceCurrentScene(Model::KLScene *klscene)
{
    Model::KLScene *previous = Model::KLScene::current();
    setCurrentScene(klscene);
    if (previous)
        previous->deleteLater();
    // The changes waiting for a backup were the scene's that went; only
    // now, so that a failed open leaves them waiting.
    d->m_autosaveManager->reset();
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
        d->m_autosaveManager->openFailed(path, file.errorString());
        return nullptr;
    }
    // A backup holds work recovered, not a file the user keeps: the scene
    // is named after the one it backs up, and saving it asks where to.
    const QFileInfo opened(path);
    const QString backedUp = d->m_autosaveManager->recoveredName(path);
    const bool recovered = !backedUp.isEmpty();

    // Reading may resize the renderer for the scene's frames; the current
    // scene goes on drawing at its own size.
    Model::OffscreenRenderer *renderer = Model::OffscreenRenderer::instance();
    const QSize rendererSize = renderer->size();

    auto *klscene = new Model::KLScene(this);
    const SceneFileIO::Outcome outcome = SceneFileIO::readScene(klscene->scene(), &file, this);
    Model::KLScene *loaded = nullptr;
    switch (outcome.result) {
    case SceneFileIO::Success:
        if (recovered) {
            klscene->scene()->setName(backedUp);
            klscene->scene()->undoStack()->resetClean();
            d->m_recovered = klscene;
            d->m_recoveredFrom = opened.absoluteFilePath();
        } else {
            settings->setDefaultSaveDir(opened.absoluteDir());
            klscene->scene()->setFilePath(path);
        }
        settings->addRecentFile(path);
        loaded = klscene;
        // The scene opened with what could be read; the user hears once
        // what was left out or made good, before working on (and saving
        // over) it.
        if (!outcome.damageReport.isEmpty()) {
            d->m_dialogs->warning(this, QGuiApplication::applicationDisplayName(),
                                  QStringLiteral("%1\n\n%2")
                                      .arg(Model::SceneReader::damageHeading(outcome.damage, nativePath),
                                           outcome.damageReport),
                                  QMessageBox::Ok);
        }
        d->m_autosaveManager->fileOpened(path);
        if (!recovered)
            tellOfNewerBackups(path);
        break;
    case SceneFileIO::Failed:
        d->m_dialogs->information(this, QGuiApplication::applicationDisplayName(),
                                  tr("Parse error in file %1:\n\n%2").arg(nativePath, outcome.errorString),
                                  QMessageBox::Ok);
        d->m_autosaveManager->openFailed(path, outcome.errorString);
        klscene->deleteLater();
        break;
    case SceneFileIO::Cancelled:
        klscene->deleteLater();
        break;
    }
    renderer->setSize(rendererSize);
    return loaded;
}

void MainWindow::endGestures()
{
    if (Model::KLScene *klscene = Model::KLScene::current())
        klscene->endGestures();
}

bool MainWindow::maybeSave()
{
    endGestures();
    const Model::KLScene *klscene = Model::KLScene::current();
    const Model::Scene *scene = currentScene();
    if (!scene || !klscene->isModified())
        return true;
    const QMessageBox::StandardButton answer = d->m_dialogs->warning(
        this, tr("Save"), tr("\"%1\" has been modified.\n\nSave the scene?").arg(scene->name()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Save)
        return saveScene();
    return answer == QMessageBox::Discard;
}

bool MainWindow::closeAllScenes()
{
    return maybeSave();
}

bool MainWindow::saveScene()
{
    const BusyScope busy(d->m_busyDepth);
    endGestures();
    Model::Scene *scene = currentScene();
    if (!scene)
        return true;
    if (scene->filePath().isEmpty())
        return saveSceneAs();
    if (!Model::KLScene::current()->isModified())
        return true;
    return saveSceneTo(scene, scene->filePath());
}

bool MainWindow::saveSceneAs()
{
    const BusyScope busy(d->m_busyDepth);
    endGestures();
    Model::Scene *scene = currentScene();
    if (!scene)
        return true;

    Model::Settings *settings = Model::Settings::instance();
    Model::ActionManager *actions = Model::ActionManager::instance();
    QString suggested = settings->defaultSaveDir().filePath(scene->name() + QStringLiteral(".kl"));
    // Recovered work goes back where the scene it backs up is, if it has one.
    if (d->m_recovered && d->m_recovered->scene() == scene) {
        const QString backedUp = d->m_autosaveManager->backedUpScene(d->m_recoveredFrom);
        if (!backedUp.isEmpty())
            suggested = backedUp;
    }
    actions->disableAllActions();
    // The Open dialog shows only scene files by their suffix, whatever dots
    // the name has besides.
    const QString name =
        withSuffix(d->m_dialogs->getSaveFileName(this, tr("Save Scene"), suggested, tr("KL Files (*.kl)")),
                   QStringLiteral(".kl"), TypedSuffix::OnlyThisKept);
    bool written = false;
    if (!name.isEmpty()) {
        settings->setDefaultSaveDir(QFileInfo(name).absoluteDir());
        written = saveSceneTo(scene, name);
    }
    actions->restoreAllActions();
    return written;
}

QString MainWindow::withSuffix(const QString &chosen, const QString &suffix, TypedSuffix typed)
{
    if (chosen.isEmpty() || suffix.isEmpty())
        return chosen;
    // A dot typed last ends the name and starts no suffix: "walk." is walk.
    QString named = chosen;
    while (named.endsWith(u'.'))
        named.chop(1);
    const bool kept = typed == TypedSuffix::AnyKept ? !QFileInfo(named).suffix().isEmpty()
                                                    : named.endsWith(suffix, Qt::CaseInsensitive);
    if (kept && named == chosen)
        return chosen;
    if (!kept)
        named += suffix;
    // The file dialog asked about the name as typed, not about this one.
    if (QFileInfo::exists(named)
        && d->m_dialogs->question(this, QGuiApplication::applicationDisplayName(),
                                  tr("%1 already exists.\n\nDo you want to replace it?")
                                      .arg(QDir::toNativeSeparators(named)),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return QString();
    return named;
}

bool MainWindow::saveSceneTo(Model::Scene *scene, const QString &path)
{
    if (!writeSceneFile(scene, path))
        return false;
    scene->setFilePath(path);
    scene->undoStack()->setClean();
    Model::Settings::instance()->addRecentFile(path);
    const bool recovered = d->m_recovered && d->m_recovered->scene() == scene;
    d->m_autosaveManager->fileSaved(path, recovered ? d->m_recoveredFrom : QString());
    if (recovered)
        d->m_recovered = nullptr;
    actualizeTitlebar();
    return true;
}

bool MainWindow::writeSceneFile(Model::Scene *scene, const QString &path)
{
    const SceneSave::Result saved = SceneSave::save(scene, path, this);
    const QString failure = saveFailure(path, saved);
    if (!failure.isEmpty())
        d->m_dialogs->warning(this, QGuiApplication::applicationDisplayName(), failure, QMessageBox::Ok);
    return saved.status == SceneSave::Saved;
}

void MainWindow::onAutosaveTimeout()
{
    Model::Scene *scene = currentScene();
    if (!scene)
        return;
    AutosaveManager *autosave = d->m_autosaveManager;
    // A step, and the steps of a gesture, are backed up once they are over.
    const Model::KLScene *klscene = Model::KLScene::current();
    const bool busy = d->m_busyDepth > 0 || m_playbackController->isPlaying() || klscene->isChanging()
        || klscene->isGestureUnderWay();
    // Saved since its changes, or changed back: its file holds it all.
    if (!busy && scene->undoStack()->isClean())
        autosave->markSceneUnchanged();
    if (!autosave->hasChangesToBackUp() || busy) {
        autosave->postpone();
        return;
    }
    if (autosave->currentMSecsSinceEpoch() / 1000 - d->m_lastChangeTime < AutosaveIdleSeconds) {
        autosave->postpone();
        return;
    }
    QString path;
    QString refused;
    const SceneSave::Result saved = writeBackup(scene, &path, &refused, this);
    // Told only now: the backup is on the disk before anyone reads of it.
    if (saved.status != SceneSave::Cancelled)
        tellOfBackup(path, saved, refused);
    tellOfRecordTrouble();
}

SceneSave::Result MainWindow::writeBackup(Model::Scene *scene, QString *path, QString *refused,
                                          QWidget *progressParent)
{
    AutosaveManager *autosave = d->m_autosaveManager;
    const QString folder = backupFolder(refused);
    const bool recovered = d->m_recovered && d->m_recovered->scene() == scene;
    *path = autosave->backupPath(folder, scene->name(), scene->filePath(), recovered ? d->m_recoveredFrom : QString());
    if (path->isEmpty()) {
        // Nothing claimed, nothing written: where it would have gone, and
        // why not.
        *path = autosave->nextBackupPath(folder, scene->name(), scene->filePath());
        autosave->backupFailed();
        return {SceneSave::CannotOpen, autosave->claimTrouble()};
    }
    // The writer's progress dialog turns the event loop; nothing else may
    // start on the scene meanwhile.
    const BusyScope writing(d->m_busyDepth);
    const SceneSave::Result saved = SceneSave::save(scene, *path, progressParent);
    if (saved.status == SceneSave::Saved)
        autosave->backupWritten();
    else
        autosave->backupFailed();
    return saved;
}

void MainWindow::endOnRequest()
{
    if (d->m_ending)
        return;
    d->m_ending = true;
    endWhenAtRest();
}

void MainWindow::endWhenAtRest()
{
    // Nothing waits for an answer any more: each dialog ends as Escape ends
    // it, a menu as a click elsewhere, and what shows progress (a save, an
    // open, an export, an import) stops as its Cancel stops it. Each leaves
    // the scene and the user's files as they were.
    const QList<QProgressDialog *> running = findChildren<QProgressDialog *>();
    for (QProgressDialog *progress : running)
        progress->cancel();
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    for (QWidget *topLevel : topLevels) {
        auto *dialog = qobject_cast<QDialog *>(topLevel);
        if (dialog && dialog->isVisible() && dialog->isModal())
            dialog->reject();
    }
    if (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
    // Only once every command has returned, and every loop it ran, is the
    // scene as the user left it, with no writer at work on it.
    if (d->m_busyDepth > 0 || QThread::currentThread()->loopLevel() > 1) {
        QTimer::singleShot(EndPollInterval, this, &MainWindow::endWhenAtRest);
        return;
    }
    keepWorkForTheNextStart(this);
    // Not quit(): that would close the window, which asks about changes.
    QCoreApplication::exit(0);
}

void MainWindow::endWithoutDisplay()
{
    // Whatever runs meanwhile (a save, a dialog) waits for a display that
    // is gone and never returns: the scene is written as it stands. Nothing
    // may show what changes on the way: a call that reaches the display (a
    // window's title, say) ends the process there and then.
    std::vector<QSignalBlocker> unseen;
    if (Model::KLScene *klscene = Model::KLScene::current()) {
        Model::Scene *scene = klscene->scene();
        const std::initializer_list<QObject *> sources{klscene,
                                                       scene,
                                                       scene ? scene->undoStack() : nullptr,
                                                       klscene->sceneModel(),
                                                       klscene->frameRangeModel(),
                                                       klscene->selectionModel()};
        for (QObject *source : sources) {
            if (source)
                unseen.emplace_back(source);
        }
    }
    keepWorkForTheNextStart(nullptr);
    // No export under way returns to remove what it made so far.
    Model::ExportFolder::discardAll();
}

void MainWindow::keepWorkForTheNextStart(QWidget *progressParent)
{
    if (std::exchange(d->m_workKept, true))
        return;
    Model::Scene *scene = currentScene();
    const int steps = scene ? scene->undoStack()->index() : 0;
    commitActiveStroke();
    // No release will come: what a gesture under way made is the user's work.
    if (Model::KLScene *klscene = Model::KLScene::current())
        klscene->endGestures();
    // Work that no file and no backup holds yet, whatever autosave's
    // setting and however fresh the last change; the steps just made count
    // whether or not the window heard of them.
    QString unkept;
    if (scene && !scene->undoStack()->isClean()
        && (d->m_autosaveManager->hasChangesToBackUp() || scene->undoStack()->index() != steps)) {
        QString path;
        QString refused;
        const SceneSave::Result saved = writeBackup(scene, &path, &refused, progressParent);
        // Nobody is left to tell but the session's log, and the next start.
        unkept = saveFailure(path, saved);
        if (!unkept.isEmpty())
            qWarning("%s", qPrintable(unkept));
    }
    d->m_autosaveManager->endInterrupted(unkept);
}

void MainWindow::tellOfLostWork()
{
    const QString notice = d->m_autosaveManager->lostWorkNotice();
    if (!notice.isEmpty())
        d->m_dialogs->notify(this, QMessageBox::Information, QGuiApplication::applicationDisplayName(), notice,
                             UI::Dialogs::NoticeLife::UntilClosed);
    tellOfRecordTrouble();
}

void MainWindow::tellOfRecordTrouble()
{
    const QString trouble = d->m_autosaveManager->recordTrouble();
    if (trouble.isEmpty() || d->m_recordTroubleTold)
        return;
    d->m_recordTroubleTold = true;
    d->m_dialogs->notify(this, QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                         tr("Should %1 not end normally this time, the work of this run cannot be recovered at the "
                            "next start: the record of its backups cannot be kept in %2:\n%3.")
                             .arg(QCoreApplication::applicationName(),
                                  QDir::toNativeSeparators(RunRecords::folder()), trouble),
                         UI::Dialogs::NoticeLife::UntilClosed);
}

void MainWindow::tellOfNewerBackups(const QString &sceneFile)
{
    // Work newer than the file may wait in its backups, left by a run that
    // crashed or by changes that were not saved; the notice says whether
    // the next backup goes where one of them is.
    QString refused;
    const QString notice = d->m_autosaveManager->newerBackupsNotice(backupFolder(&refused), sceneFile);
    if (!notice.isEmpty())
        d->m_dialogs->notify(this, QMessageBox::Information, QGuiApplication::applicationDisplayName(), notice,
                             UI::Dialogs::NoticeLife::UntilClosed);
}

void MainWindow::tellOfBackup(const QString &path, const SceneSave::Result &saved, const QString &refused)
{
    const QString title = QGuiApplication::applicationDisplayName();
    if (saved.status != SceneSave::Saved) {
        // The same trouble again (the disk still full) is not news; autosave
        // goes on trying quietly.
        const QString trouble = QFileInfo(path).absolutePath() + u'\n' + saved.errorString;
        if (trouble == d->m_backupTrouble)
            return;
        d->m_backupTrouble = trouble;
        const QString failure = saveFailure(path, saved);
        const int minutes = d->m_autosaveManager->intervalMinutes();
        d->m_dialogs->notify(
            this, QMessageBox::Warning, title,
            minutes == 1
                ? tr("%1\n\nAutosave tries again every minute and will tell you when a backup is written.")
                      .arg(failure)
                : tr("%1\n\nAutosave tries again every %2 minutes and will tell you when a backup is written.")
                      .arg(failure, QString::number(minutes)));
        return;
    }

    const bool wasFailing = !d->m_backupTrouble.isEmpty();
    d->m_backupTrouble.clear();
    const QString wanted = Model::Settings::instance()->defaultSaveDir().absolutePath();
    const QString detour = refused.isEmpty() ? QString() : wanted + u'\n' + refused;
    const bool newDetour = !detour.isEmpty() && detour != d->m_backupDetour;
    d->m_backupDetour = detour;
    if (newDetour) {
        const QString folder = QFileInfo(path).absolutePath();
        QString text = tr("Backups cannot be written to %1:\n%2.\n\nUntil that folder takes files, autosave keeps "
                          "them in %3.")
                           .arg(QDir::toNativeSeparators(wanted), refused, QDir::toNativeSeparators(folder));
        const QString earlier = earlierBackupFolder();
        if (!earlier.isEmpty() && QDir(earlier) != QDir(folder) && !QDir(earlier).isEmpty(QDir::Files))
            text += tr("\n\nEarlier backups are still in %1.")
                        .arg(QDir::toNativeSeparators(earlier));
        d->m_dialogs->notify(this, QMessageBox::Information, title, text);
    } else if (wasFailing) {
        d->m_dialogs->notify(this, QMessageBox::Information, title,
                             tr("Autosave works again: the scene is backed up in %1.")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

QString MainWindow::backupFolder(QString *refused)
{
    const QString wanted = Model::Settings::instance()->defaultSaveDir().absolutePath();
    QString reason;
    if (Model::mayMakeFilesIn(wanted, &reason))
        return wanted;
    // The documents folder is the user's place for files even where a new
    // account lacks it yet.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(wanted) == QDir(documents) && Model::makeFolderPath(wanted, &reason)
        && Model::mayMakeFilesIn(wanted, &reason))
        return wanted;

    const QString own = ownBackupFolder();
    // Without a folder of its own the backup tries the one asked for, and
    // its failure says why.
    if (own.isEmpty() || !Model::makeFolderPath(own))
        return wanted;
    *refused = reason;
    return own;
}

void MainWindow::setCurrentScene(Model::KLScene *klscene)
{
    // A scene that goes takes along what its gestures made.
    endGestures();
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
    onClipboardChanged(QClipboard::Clipboard);
}

void MainWindow::disconnectScene(Model::KLScene *klscene)
{
    m_playbackController->setCurrentScene(nullptr);
    klscene->disconnectAll();
    disconnect(klscene, nullptr, this, nullptr);
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

    // The renderer takes the new size before the drawings are fitted to it.
    connect(scene, &Model::Scene::frameSizeAboutToChange, this, [renderer](QSize size) { renderer->setSize(size); });
    paper->setCurrentScene(klscene);
    connect(scene, &Model::Scene::frameSizeChanged, this, [this, settings](QSize size) {
        settings->setDefaultFrameSize(size);
        actualizeTitlebar();
    });
    if (d->m_referenceDisplay)
        d->m_referenceDisplay->setCurrentScene(klscene);
    // An open backlight dialog goes on editing the scene in front of it.
    if (d->m_backlightDialog && d->m_backlightDialog->isVisible())
        scene->setBacklightSettings(d->m_backlightDialog->settings());

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
    connect(klscene, &Model::KLScene::gestureUnderWayChanged, this, [this] {
        updateUndoAction();
        actualizeTitlebar();
    });
    const auto changed = [this] {
        d->m_autosaveManager->markSceneChanged();
        d->m_lastChangeTime = d->m_autosaveManager->currentMSecsSinceEpoch() / 1000;
    };
    connect(stack, &QUndoStack::indexChanged, this, [this, stack, changed](int index) {
        const QUndoCommand *last = index > 0 ? stack->command(index - 1) : nullptr;
        const int id = last ? last->id() : -1;
        if (id != SetActiveFrameAndLayerId)
            d->m_rememberedFrame = -1;
        if (id != SetFrameRangeId)
            d->m_frameRangeOriginFrame = d->m_frameRangeOriginLayer = -1;
        // Undone back to what its file holds: no backup of it is due.
        if (stack->isClean())
            d->m_autosaveManager->markSceneUnchanged();
        else
            changed();
    });
    // A step a gesture holds is the user's from the moment it is made.
    connect(klscene, &Model::KLScene::stepHeld, this, [this, changed] {
        changed();
        actualizeTitlebar();
    });
    connect(stack, &QUndoStack::cleanChanged, this, qOverload<>(&MainWindow::actualizeTitlebar));

    d->m_xSheet->setEnableVerticalScrollAnimation(false);
    d->m_xSheet->setModel(klscene->frameRangeModel());
    d->m_xSheet->setSelectionModel(klscene->selectionModel());
    d->m_xSheet->setEnableVerticalScrollAnimation(true);
    connect(klscene->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::onCurrentCellChanged);

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
    connect(klscene, &Model::KLScene::floatingSelectionChanged, this, &MainWindow::onFloatingSelectionChanged);
    action(KL::Action::GetLatestFloatingSelectionBack)->setEnabled(klscene->floatingSelection() != nullptr);
    connect(klscene->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::onSelectionChanged);

    showFrameNumber(scene->activeFrame(), false);
    connect(scene, &Model::Scene::activeFrameAndLayerChanged, this,
            [this](int frame, int) { showFrameNumber(frame, false); });
    connect(scene, &Model::Scene::scrubFrameChanged, this,
            [this](int current, int previous) { showFrameNumber(current, previous != 0); });
    connect(klscene->frameRangeModel(), &Model::FrameRangeModel::dragDistanceChanged, this,
            [this, scene](int distance) {
                const int frame = scene->activeFrame() + distance;
                if (frame >= 1 && d->m_frameNumberLabel)
                    d->m_frameNumberLabel->setText(QString::number(frame));
            });

    const auto followFrameRate = [this, settings](double fps) {
        settings->setDefaultFrameRate(fps);
        updateFrameRateMenu(fps);
        m_playbackController->setFrameRate(fps);
    };
    followFrameRate(scene->frameRate());
    connect(scene, &Model::Scene::frameRateChanged, this, followFrameRate);
    m_playbackController->setCurrentScene(klscene);
    // Both connections run from the controller, which outlives the scene:
    // the scene cuts them when it stops being current.
    // A run that ends on the active frame only takes away the frame it
    // showed: it leaves no step behind, whatever was done while it ran. One
    // that keeps the frame on screen moves the active cell, as a step.
    klscene->addConnection(
        connect(m_playbackController, &PlaybackController::updateActiveFrame, this, [this, scene](int frame) {
            scene->setScrubFrame(-1);
            if (frame != scene->activeFrame())
                setActiveCell(frame, scene->activeLayerIdx(), false);
            d->m_xSheet->scrollToFrame(scene->activeFrame() - scene->frameRangeFirst());
        }));
    klscene->addConnection(
        connect(m_playbackController, &PlaybackController::skippedFrame, this, &MainWindow::onFramesLost));

    // The pen size cannot change under a stroke being drawn.
    const auto enablePenSizeActions = [](bool drawing) {
        action(KL::Action::DecreasePenSize)->setEnabled(!drawing);
        action(KL::Action::IncreasePenSize)->setEnabled(!drawing);
    };
    connect(scene, &Model::Scene::hasActiveStrokeChanged, this, enablePenSizeActions);
    enablePenSizeActions(scene->hasActiveStroke());

    connect(scene, &Model::Scene::activeFrameAndLayerChanged, this, &MainWindow::refreshToolCursor);
    connect(scene, &Model::Scene::layersChanged, this, [this, scene](int first, int last) {
        const int active = scene->activeLayerIdx();
        if (active >= first && active <= last)
            refreshToolCursor();
        const int audio = scene->audioLayerIdx();
        if (audio >= first && audio <= last)
            updateAudioActions();
    });
    const auto layersRearranged = [this] {
        ui->centralwidget->setFocus(Qt::OtherFocusReason);
        updateLayerActions();
    };
    connect(scene, &Model::Scene::beginRemoveLayer, this, layersRearranged);
    connect(scene, &Model::Scene::beginInsertLayer, this, layersRearranged);
    connect(scene, &Model::Scene::layerMoved, this, layersRearranged);
    connect(scene, &Model::Scene::currentDrawingTypeUpdated, this, &MainWindow::restoreEditingTool);
    connect(scene, &Model::Scene::nameChanged, this, qOverload<>(&MainWindow::actualizeTitlebar));

    actualizeTitlebar();
    updateLayerActions();
    updateAudioActions();
    restoreEditingTool();
}

void MainWindow::onCurrentCellChanged(const QModelIndex &current, const QModelIndex &previous)
{
    Model::KLScene *klscene = Model::KLScene::current();
    if (!klscene || !klscene->scene() || !klscene->frameRangeModel())
        return;
    Model::Scene *scene = klscene->scene();
    // The sheet follows the scene's own changes; only a cell the user
    // chose becomes a step.
    const QModelIndex cell = klscene->frameRangeModel()->mapToSource(current);
    if (cell.isValid() && !klscene->isChanging())
        setActiveCell(cell.row() + 1, cell.column(), false);

    // A floating selection carried to another layer takes on its look.
    Model::FloatingSelection *floating = klscene->floatingSelection();
    if (!floating || current.column() == previous.column())
        return;
    const int layer = current.column();
    QColor color = scene->layerColor(layer);
    if (!color.isValid())
        color = QColor(44, 125, 45, 128);
    floating->setColor(color);
    floating->setOpacity(scene->isVisualLayer(layer) ? scene->layerOpacity(layer) : 1.0);
}

void MainWindow::showFrameNumber(int frame, bool scrubbing)
{
    const Model::Scene *scene = currentScene();
    if (!scene || !d->m_frameNumberLabel || frame < 1)
        return;
    if (!scrubbing && frame > scene->frameRangeLast())
        frame = scene->frameRangeLast() + 1;
    d->m_frameNumberLabel->setText(QString::number(frame));
}

void MainWindow::refreshToolCursor()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    const int cursorType = cursorTypeForTool(tools->currentToolType());
    if (cursorType != tools->currentCursorType())
        tools->setCurrentTool(tools->currentToolType(), cursorType);
    updateLayerActions();
    onClipboardChanged(QClipboard::Clipboard);
}
