#include "applicationfont.h"
#include "autosavemanager.h"
#include "mainwindow.h"
#include "mainwindowtesthelpers.h"
#include "paper/paper.h"
#include "playbackcontroller.h"
#include "startup.h"

#include "drawingcontentcommands.h"
#include "layercommands.h"

#include "actions/actionmanager.h"
#include "drawings/strokedrawing.h"
#include "initialize.h"
#include "io/scenefiletesthelpers.h"
#include "layers/layer.h"
#include "layers/layeritem.h"
#include "layers/referencelayer.h"
#include "layers/strokelayer.h"
#include "scene/framerangemodel.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"
#include "support/cellpattern.h"
#include "support/scenerecord.h"
#include "support/smallfilesystem.h"
#include "support/testfiles.h"
#include "support/widgetevents.h"
#include "tools/toolmanager.h"

#include <QDateTime>
#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainterPath>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoGroup>
#include <QUndoStack>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace {

using TestSupport::fileContents;
using TestSupport::writeFileContents;

using namespace MainWindowTest;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// An edit of the scene's content that a saved file keeps: a fourth layer.
void addLayer()
{
    Model::KLScene::pushCommand(new Commands::NewLayer(currentScene(), 1));
}

// The user in the scene settings dialog: "name=text" types the text into
// the field of that name, a bare name switches that radio button on,
// "cancel" cancels; otherwise OK.
std::function<int(QDialog *)> fillIn(const QStringList &typed)
{
    return [typed](QDialog *dialog) {
        for (const QString &step : typed) {
            if (step == QLatin1String("cancel")) {
                dialog->reject();
                return int(QDialog::Rejected);
            }
            const QString name = step.section(QLatin1Char('='), 0, 0);
            if (step.contains(QLatin1Char('=')))
                dialog->findChild<QLineEdit *>(name)->setText(step.section(QLatin1Char('='), 1));
            else
                dialog->findChild<QRadioButton *>(name)->setChecked(true);
        }
        dialog->accept();
        return dialog->result();
    };
}

// The test's child: the program as main() runs it, where the user begins a
// stroke once a scene is open, says so on the standard output and draws on
// until the program ends.
int drawUntilTheEnd(Application &application, bool draw)
{
    QStandardPaths::setTestModeEnabled(true);
    Startup::prepareProcess();
    QTimer pen;
    QObject::connect(&pen, &QTimer::timeout, [&pen, draw] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            auto *paper = window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents"));
            if (!paper || !paper->isVisible() || !currentScene())
                continue;
            pen.stop();
            // Too large for a full disk's last bytes.
            SceneFileTest::addLargeDrawing(*currentScene());
            if (!draw) {
                std::puts("idle");
                std::fflush(stdout);
                return;
            }
            const QPointF at = QRectF(paper->rect()).center();
            TestSupport::sendTablet(paper, QEvent::TabletPress, at, 1000);
            TestSupport::sendTablet(paper, QEvent::TabletMove, at + QPointF(25, 5), 1010);
            std::puts(currentScene()->hasActiveStroke() ? "drawing" : "not drawing");
            std::fflush(stdout);
            return;
        }
    });
    pen.start(10);
    return Startup::run(application, {});
}

} // namespace

// The scene's life in the window: new, open, save, the recent files, the
// switch of the current scene and autosave, with a scripted user and files
// in a folder of the test's own.
class TestSceneLifeCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void newScene_data();
    void newScene();
    void sceneSettings_data();
    void sceneSettings();
    void saveThenOpen();
    void unchangedSceneIsNotWritten();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void readErrorsKeepTheScene_data();
    void readErrorsKeepTheScene();
    void damagedSceneOpensAndSaysSo();
    void recentFilesMenu();
    void switchingScenes();
    void firstStartGeometry();
    void autosaveWaitsForTheUser();
    void autosaveRing();
    void autosaveLeavesTheUsersFiles();
    void autosaveWaitsForCommandsAndPlayback();
    void autosaveWaitsForLongCommands_data();
    void autosaveWaitsForLongCommands();
    void backupsKeepGoing_data();
    void backupsKeepGoing();
    void noticesWaitForNoOne_data();
    void noticesWaitForNoOne();
    void floatingPieceIsWritten_data();
    void floatingPieceIsWritten();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSceneLifeCycle::initTestCase()
{
    // Autosave's own folder is the test's.
    QStandardPaths::setTestModeEnabled(true);
    Startup::prepareProcess();
    QSettings().clear();
    Model::initialize();
    registerApplicationFont();
    // No tutorial at start-up: the windows here ask nothing unasked.
    Model::Settings::instance()->setShowHowToAnimateOnStartup(false);
}

void TestSceneLifeCycle::init()
{
    // No run before: their lost work, in folders gone, would be held.
    QDir(RunRecords::folder()).removeRecursively();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Model::Settings *settings = Model::Settings::instance();
    settings->setDefaultSaveDir(QDir(m_dir->path()));
    settings->clearRecentFiles();
    settings->setAutoSaveEnabled(false);
    settings->setAutoSaveIntervalMins(15);
    settings->setAutoSaveNumFiles(3);
}

void TestSceneLifeCycle::cleanup()
{
    // Files made read-only go with their folder all the same.
    QDir dir(m_dir->path());
    const QStringList names = dir.entryList(QDir::Files);
    for (const QString &name : names)
        QFile::setPermissions(dir.filePath(name), QFile::ReadOwner | QFile::WriteOwner);
    m_dir.reset();
}

void TestSceneLifeCycle::newScene_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<double>("frameRate");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("nextFrames");
    // The preferences propose 1280 x 720 at 24 frames per second, 5 frames.
    // Without the dialog the scene has the document's own settings, whatever
    // the preferences say.
    QTest::newRow("without the dialog") << int(MainWindow::SkipDialog) << QStringList() << QSize(1920, 1080) << 12.0
                                        << 1 << 5;
    // Its empty history offers Undo all the same while a stroke is drawn.
    QTest::newRow("without the dialog, its first stroke undone as it is drawn")
        << int(MainWindow::SkipDialog) << QStringList() << QSize(1920, 1080) << 12.0 << 1 << 5;
    // A step to redo: the stroke is taken back for good, and the scene is
    // as new again.
    QTest::newRow("without the dialog, a stroke undone as it is drawn, a step to redo")
        << int(MainWindow::SkipDialog) << QStringList() << QSize(1920, 1080) << 12.0 << 1 << 5;
    QTest::newRow("dialog, as proposed")
        << int(MainWindow::ShowDialog) << QStringList() << QSize(1280, 720) << 24.0 << 5 << 5;
    QTest::newRow("dialog, edited") << int(MainWindow::ShowDialog)
                                    << QStringList{QStringLiteral("frameWidth=640"), QStringLiteral("frameHeight=480"),
                                                   QStringLiteral("frameRate=12.5"),
                                                   QStringLiteral("initialNumberOfFrames=7")}
                                    << QSize(640, 480) << 12.5 << 7 << 7;
    // A frame count the preference does not keep: the next default is 1.
    QTest::newRow("dialog, many frames") << int(MainWindow::ShowDialog)
                                         << QStringList{QStringLiteral("initialNumberOfFrames=1200")}
                                         << QSize(1280, 720) << 24.0 << 1200 << 1;
    QTest::newRow("dialog, cancelled") << int(MainWindow::ShowDialog) << QStringList{QStringLiteral("cancel")}
                                       << QSize() << 0.0 << 0 << 5;
}

void TestSceneLifeCycle::newScene()
{
    QFETCH(int, behaviour);
    QFETCH(QStringList, typed);
    QFETCH(QSize, frameSize);
    QFETCH(double, frameRate);
    QFETCH(int, frames);
    QFETCH(int, nextFrames);
    Started started = startWindowWithScene();
    const QPointer<Model::KLScene> previous = Model::KLScene::current();
    Model::Settings *settings = Model::Settings::instance();
    settings->setDefaultFrameSize(QSize(1280, 720));
    settings->setDefaultFrameRate(24.0);
    settings->setDefaultInitialNumberOfFrames(5);
    started.dialogs->runDialog = fillIn(typed);

    started.window->newScene(MainWindow::NewSceneBehaviour(behaviour));
    const int scenes = started.window->findChildren<Model::KLScene *>().size();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (behaviour == MainWindow::ShowDialog) {
        QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
        QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("New Scene"));
    } else {
        QVERIFY(started.dialogs->asked.isEmpty());
    }
    QCOMPARE(settings->defaultInitialNumberOfFrames(), nextFrames);
    if (!frameSize.isValid()) {
        // Cancelled: the scene stays, the one begun goes.
        QCOMPARE(Model::KLScene::current(), previous);
        QCOMPARE(started.window->findChildren<Model::KLScene *>().size(), scenes - 1);
        return;
    }

    const Model::Scene *scene = currentScene();
    QVERIFY(Model::KLScene::current() != previous);
    QCOMPARE(scene->frameSize(), frameSize);
    QCOMPARE(scene->frameRate(), frameRate);
    QCOMPARE(scene->layerCount(), 3);
    QCOMPARE(scene->layerAt(0)->type(), Model::Layer::StrokeLayerType);
    QCOMPARE(scene->layerAt(1)->type(), Model::Layer::AudioLayerType);
    QCOMPARE(scene->layerAt(2)->type(), Model::Layer::AnnotationLayerType);
    QCOMPARE(scene->layerFrameCount(0), frames);
    QCOMPARE(scene->activeFrame(), 1);
    QCOMPARE(scene->activeLayerIdx(), 0);
    QVERIFY(scene->undoStack()->isClean());
    QCOMPARE(started.window->windowTitle(),
             QStringLiteral("Kelvane: Untitled [%1x%2] 100%").arg(frameSize.width()).arg(frameSize.height()));
    // The new scene's settings are the next proposal; the replaced scene goes.
    QCOMPARE(settings->defaultFrameSize(), frameSize);
    QCOMPARE(settings->defaultFrameRate(), frameRate);
    QVERIFY(!previous);
    if (!QByteArray(QTest::currentDataTag()).contains("stroke"))
        return;
    auto *paper = started.window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents"));
    QAction *undo = Model::ActionManager::instance()->action(KL::Action::Undo);
    if (QByteArray(QTest::currentDataTag()).contains("redo")) {
        Model::ActionManager::instance()->action(KL::Action::NewLayer)->trigger();
        undo->trigger();
    }
    const QByteArray blank = SceneRecord::bytes(*scene);
    const QPointF at = QRectF(paper->rect()).center();
    TestSupport::sendMouse(paper, QEvent::MouseButtonPress, at);
    TestSupport::sendMouseEvent(paper, QEvent::MouseMove, at + QPointF(40, 20), Qt::NoButton, Qt::LeftButton);
    undo->trigger();
    TestSupport::sendMouse(paper, QEvent::MouseButtonRelease, at + QPointF(40, 20));
    QCOMPARE(SceneRecord::bytes(*scene), blank);
    QVERIFY(!Model::KLScene::current()->isModified());
    QCOMPARE(started.window->windowTitle(), QStringLiteral("Kelvane: Untitled [1920x1080] 100%"));
    QVERIFY(!undo->isEnabled());
    Model::ActionManager::instance()->action(KL::Action::Redo)->trigger();
    QVERIFY(SceneRecord::bytes(*scene) != blank);
}

void TestSceneLifeCycle::sceneSettings_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<double>("frameRate");
    QTest::addColumn<bool>("pushed");
    QTest::addColumn<int>("fitMode");
    QTest::newRow("smaller, stretched")
        << QStringList{QStringLiteral("frameWidth=1280"), QStringLiteral("frameHeight=720"),
                       QStringLiteral("radioButtonStretch")}
        << QSize(1280, 720) << 12.0 << true << int(KL::FitMode::FitModeStretch);
    QTest::newRow("faster") << QStringList{QStringLiteral("frameRate=25")} << QSize(1920, 1080) << 25.0 << true
                            << int(KL::FitMode::FitModeCropCenter);
    // No change pushes nothing, but the fit mode shown is kept.
    QTest::newRow("unchanged") << QStringList() << QSize(1920, 1080) << 12.0 << false
                               << int(KL::FitMode::FitModeCropCenter);
    QTest::newRow("a hair faster") << QStringList{QStringLiteral("frameRate=12.000000000001")} << QSize(1920, 1080)
                                   << 12.0 << false << int(KL::FitMode::FitModeCropCenter);
    QTest::newRow("cancelled") << QStringList{QStringLiteral("frameWidth=640"), QStringLiteral("cancel")}
                               << QSize(1920, 1080) << 12.0 << false << int(KL::FitMode::FitModeStretch);
    // The dialog takes the paper's release: the gesture ends as the release
    // would, and the steps after it are saved.
    QTest::newRow("opened during a stroke, two steps, saved")
        << QStringList() << QSize(1920, 1080) << 12.0 << false << int(KL::FitMode::FitModeCropCenter);
    QTest::newRow("opened during a lasso outline, two steps, saved")
        << QStringList() << QSize(1920, 1080) << 12.0 << false << int(KL::FitMode::FitModeCropCenter);
}

void TestSceneLifeCycle::sceneSettings()
{
    QFETCH(QStringList, typed);
    QFETCH(QSize, frameSize);
    QFETCH(double, frameRate);
    QFETCH(bool, pushed);
    QFETCH(int, fitMode);
    Started started = startWindowWithScene();
    Model::Settings *settings = Model::Settings::instance();
    settings->setDefaultChangeFrameSizeFitMode(QTest::currentDataTag() == QLatin1String("cancelled")
                                                   ? KL::FitMode::FitModeStretch
                                                   : KL::FitMode::FitModeCropCenter);
    started.dialogs->runDialog = fillIn(typed);
    const QByteArray tag = QTest::currentDataTag();
    const bool lasso = tag.contains("lasso");
    auto *paper = started.window->findChild<UI::Paper *>();
    Model::ActionManager *actions = Model::ActionManager::instance();
    if (tag.contains("during")) {
        // A step to redo; a stroke on the frame after the last drawing holds
        // its blank drawing.
        addLayer();
        currentScene()->undoStack()->undo();
        currentScene()->setFilePath(path(QStringLiteral("walk.kl")));
        if (!lasso)
            currentScene()->setActiveFrameAndLayer(2, 0, Model::Scene::AllowFrameAfterLast);
        Model::ToolManager::instance()->setCurrentTool(lasso ? Model::Tool::Type::Lasso : Model::Tool::Type::Pen);
        const QPointF at = QRectF(paper->rect()).center();
        TestSupport::sendMouse(paper, QEvent::MouseButtonPress, at);
        TestSupport::sendMouseEvent(paper, QEvent::MouseMove, at + QPointF(40, 20), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(started.window->windowTitle().contains(u'*'), !lasso);
        QCOMPARE(actions->action(KL::Action::Undo)->text(), lasso ? "&Undo New Floating Selection" : "&Undo Draw");
        QVERIFY(!actions->action(KL::Action::Redo)->isEnabled());
        started.dialogs->runDialog = [](QDialog *dialog) {
            QTimer::singleShot(0, dialog, &QDialog::reject);
            return dialog->exec();
        };
    }

    actions->action(KL::Action::SceneSettings)->trigger();
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("exec")});
    QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("Scene Settings"));
    const Model::Scene *scene = currentScene();
    if (tag.contains("during")) {
        QVERIFY(!paper->devicePressed());
        QVERIFY(!Model::KLScene::current()->isGestureUnderWay());
        for (int step = 0; step < 2; ++step)
            actions->action(KL::Action::AddCloneDrawing)->trigger();
        QVERIFY(started.window->windowTitle().contains(u'*'));
        QVERIFY(started.window->saveScene());
        Model::Scene written;
        QCOMPARE(SceneFileTest::readInto(written, fileContents(scene->filePath())).report, QString());
        QCOMPARE(written.layerFrameCount(0), lasso ? 3 : 4);
        const auto drawn = std::dynamic_pointer_cast<Model::StrokeDrawing>(written.itemAt(0, 2)->drawing());
        QCOMPARE(drawn->root().memberCount(), lasso ? 0 : 1);
        return;
    }
    QCOMPARE(scene->frameSize(), frameSize);
    QCOMPARE(scene->frameRate(), frameRate);
    QCOMPARE(scene->undoStack()->count(), pushed ? 1 : 0);
    QCOMPARE(int(settings->defaultChangeFrameSizeFitMode()), fitMode);
    if (pushed) {
        // One step back to the scene as it was.
        scene->undoStack()->undo();
        QCOMPARE(scene->frameSize(), QSize(1920, 1080));
        QCOMPARE(scene->frameRate(), 12.0);
    }
}

void TestSceneLifeCycle::saveThenOpen()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Model::Settings *settings = Model::Settings::instance();
    addLayer();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled* [1920x1080] 100%"));

    // Save as: the chooser proposes the name in the save folder.
    QDir(m_dir->path()).mkdir(QStringLiteral("films"));
    const QString walk = path(QStringLiteral("films/walk.kl"));
    started.dialogs->files.enqueue(walk);
    QVERIFY(window->saveSceneAs());
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("getSaveFileName")});
    QCOMPARE(started.dialogs->asked.first().text, path(QStringLiteral("Untitled.kl")));
    QVERIFY(QFileInfo(walk).size() > 0);
    QVERIFY(currentScene()->undoStack()->isClean());
    QCOMPARE(currentScene()->name(), QStringLiteral("walk"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: walk.kl [1920x1080] 100%"));
    QCOMPARE(settings->recentFiles(), QStringList{walk});
    QCOMPARE(settings->defaultSaveDir().absolutePath(), path(QStringLiteral("films")));
    // The actions are given back after the chooser.
    QVERIFY(Model::ActionManager::instance()->action(KL::Action::SaveScene)->isEnabled());

    // A new scene, then the saved one opened through the chooser.
    window->newScene(MainWindow::SkipDialog);
    QCOMPARE(currentScene()->layerCount(), 3);
    started.dialogs->files.enqueue(walk);
    window->openScene();
    QCOMPARE(started.dialogs->asked.last().kind, QStringLiteral("getOpenFileName"));
    QCOMPARE(started.dialogs->asked.last().text, path(QStringLiteral("films")));
    const Model::Scene *opened = currentScene();
    QCOMPARE(opened->layerCount(), 4);
    QCOMPARE(opened->filePath(), walk);
    QVERIFY(opened->undoStack()->isClean());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: walk.kl [1920x1080] 100%"));

    // Opening it again keeps one entry, at the top.
    QVERIFY(window->openFile(path(QStringLiteral("films/../films/walk.kl"))));
    QCOMPARE(settings->recentFiles().size(), 1);
    QCOMPARE(QFileInfo(settings->recentFiles().first()), QFileInfo(walk));
    QCOMPARE(started.dialogs->kinds().size(), 2);

    // Save writes the changed scene to its file without asking.
    const QByteArray before = fileContents(walk);
    addLayer();
    QVERIFY(window->saveScene());
    QVERIFY(currentScene()->undoStack()->isClean());
    QVERIFY(fileContents(walk) != before);
    QCOMPARE(started.dialogs->kinds().size(), 2);
}

void TestSceneLifeCycle::unchangedSceneIsNotWritten()
{
    Started started = startWindowWithScene();
    const QString file = path(QStringLiteral("kept.kl"));
    QVERIFY(writeFileContents(file, "not touched"));
    currentScene()->setFilePath(file);
    QVERIFY(started.window->saveScene());
    QCOMPARE(fileContents(file), QByteArray("not touched"));
    QVERIFY(started.dialogs->asked.isEmpty());
}

void TestSceneLifeCycle::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder gone") << QStringLiteral("gone/walk.kl") << QStringLiteral("folder gone")
                                 << QStringLiteral("Cannot write file %1:\n");
    QTest::newRow("read-only file") << QStringLiteral("walk.kl") << QStringLiteral("read-only")
                                    << QStringLiteral("Cannot write file %1:\nThe file is read-only.");
    // A file whose bits let anyone write it, on a disk mounted read-only
    // since: the system's reason.
    QTest::newRow("read-only file system") << QStringLiteral("walk.kl") << QStringLiteral("read-only disk")
                                           << QStringLiteral("Cannot write file %1:\n%2.");
    QTest::newRow("a folder in the way") << QStringLiteral("walk.kl") << QStringLiteral("folder")
                                         << QStringLiteral("Cannot write file %1:\n");
    // Said by the writer or by the commit, whichever meets the full disk,
    // in the system's words; the second fills the disk while a drawing's
    // text is written.
    QTest::newRow("disk full") << QStringLiteral("walk.kl") << QStringLiteral("disk full")
                               << QStringLiteral("Cannot write file %1:\n%2.");
    QTest::newRow("disk full in a large drawing") << QStringLiteral("walk.kl") << QStringLiteral("disk full, large")
                                                  << QStringLiteral("Cannot write file %1:\n%2.");
}

void TestSceneLifeCycle::failedWriteKeepsTheOldFile()
{
    QFETCH(QString, name);
    QFETCH(QString, problem);
    QFETCH(QString, message);
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    QString file = path(name);
    // A disk of its own that fills up: nearly at once, or once a large
    // drawing is on its way.
    std::unique_ptr<TestSupport::FullDisk> fullDisk;
    std::unique_ptr<TestSupport::SmallFileSystem> readOnlyDisk;
    QString reason;
    if (problem.startsWith(QLatin1String("disk full"))) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("disk")));
        const bool large = problem.endsWith(QLatin1String("large"));
        fullDisk = std::make_unique<TestSupport::FullDisk>(path(QStringLiteral("disk")), large ? 64 * 1024 : 16);
        file = QDir(path(QStringLiteral("disk"))).filePath(name);
        reason = fullDisk->reason();
        if (large)
            SceneFileTest::addLargeDrawing(*currentScene());
    } else if (problem == QLatin1String("read-only disk")) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("disk")));
        readOnlyDisk = std::make_unique<TestSupport::SmallFileSystem>(path(QStringLiteral("disk")), 64 * 1024,
                                                                       TestSupport::SmallFileSystem::Writable);
        if (!readOnlyDisk->isMounted())
            QSKIP(qPrintable(QStringLiteral("No file system to mount read-only: %1").arg(readOnlyDisk->whyNot())));
        file = QDir(path(QStringLiteral("disk"))).filePath(name);
        reason = TestSupport::systemErrorText(EROFS);
    }
    const QByteArray old("the old scene, byte for byte");
    if (problem == QLatin1String("folder")) {
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    } else if (problem != QLatin1String("folder gone")) {
        QVERIFY(writeFileContents(file, old));
    }
    if (problem == QLatin1String("read-only"))
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    if (readOnlyDisk)
        QVERIFY(readOnlyDisk->remount(64 * 1024, TestSupport::SmallFileSystem::ReadOnly));
    currentScene()->setFilePath(file);
    addLayer();

    if (fullDisk)
        fullDisk->fill();
    const bool saved = window->saveScene();
    if (fullDisk)
        fullDisk->makeRoom();

    QVERIFY(!saved);
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("warning")});
    QCOMPARE(started.dialogs->asked.first().title, QStringLiteral("Kelvane"));
    const QString told = started.dialogs->asked.first().text;
    if (!reason.isEmpty())
        QCOMPARE(told, message.arg(native(file), reason));
    else
        QVERIFY2(told.startsWith(message.arg(native(file))), qPrintable(told));

    // Nothing on disk changed, and the scene still needs saving.
    if (problem == QLatin1String("folder"))
        QVERIFY(QFileInfo(file).isDir());
    else if (problem == QLatin1String("folder gone"))
        QVERIFY(!QFileInfo::exists(file));
    else
        QCOMPARE(fileContents(file), old);
    QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(),
             problem == QLatin1String("folder gone") || problem == QLatin1String("folder") ? 0 : 1);
    QVERIFY(!currentScene()->undoStack()->isClean());
    QVERIFY(window->windowTitle().contains(QLatin1Char('*')));
    QVERIFY(Model::Settings::instance()->recentFiles().isEmpty());
}

void TestSceneLifeCycle::readErrorsKeepTheScene_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << QStringLiteral("warning") << QByteArray()
                                  << QStringLiteral("Cannot read file %1:\nNo such file or directory.");
    QTest::newRow("a folder") << QStringLiteral("warning") << QByteArray() << QStringLiteral("Cannot read file %1:\n");
    QTest::newRow("empty") << QStringLiteral("information") << QByteArray("")
                           << QStringLiteral("Parse error in file %1:\n\n");
    QTest::newRow("not a scene") << QStringLiteral("information") << QByteArray("\x89PNG\r\n\x1a\n and so on")
                                 << QStringLiteral("Parse error in file %1:\n\n");
    QTest::newRow("cut short") << QStringLiteral("information") << QByteArray("<?xml version=\"1.0\"?>\n<kl")
                               << QStringLiteral("Parse error in file %1:\n\n");
}

void TestSceneLifeCycle::readErrorsKeepTheScene()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Model::Settings *settings = Model::Settings::instance();
    Autosave autosave(window);
    const QString file = path(QStringLiteral("broken.kl"));
    if (QTest::currentDataTag() == QLatin1String("a folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("broken.kl")));
    else if (QTest::currentDataTag() != QLatin1String("missing file"))
        QVERIFY(writeFileContents(file, bytes));
    settings->addRecentFile(file);

    Model::KLScene *before = Model::KLScene::current();
    addLayer();
    autosave.manager->backupPath(m_dir->path(), QStringLiteral("Untitled"));
    autosave.manager->backupWritten();
    autosave.manager->markSceneChanged();
    const QString title = window->windowTitle();
    const int scenes = window->findChildren<Model::KLScene *>().size();

    // Discard the changes, choose the file.
    started.dialogs->buttons.enqueue(QMessageBox::Discard);
    started.dialogs->files.enqueue(file);
    window->openScene();
    QCOMPARE(started.dialogs->kinds(),
             (QStringList{QStringLiteral("warning"), QStringLiteral("getOpenFileName"), kind}));
    const ScriptedDialogs::Question &told = started.dialogs->asked.last();
    QCOMPARE(told.title, QStringLiteral("Kelvane"));
    QVERIFY2(told.text.startsWith(message.arg(native(file))), qPrintable(told.text));

    // The scene stays as it was, changes and all; its changes still wait
    // for their backup, in the slot they were waiting for.
    QCOMPARE(Model::KLScene::current(), before);
    QCOMPARE(currentScene()->layerCount(), 4);
    QVERIFY(!currentScene()->undoStack()->isClean());
    QCOMPARE(window->windowTitle(), title);
    QVERIFY(autosave.manager->hasChangesToBackUp());
    QCOMPARE(QFileInfo(autosave.manager->nextBackupPath(m_dir->path(), QStringLiteral("Untitled"))).fileName(),
             QStringLiteral("Untitled_backup2.kl"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(window->findChildren<Model::KLScene *>().size(), scenes);
    // A file that cannot be opened leaves the recent list; one that opens
    // but does not read stays.
    QCOMPARE(settings->recentFiles().contains(file), kind == QLatin1String("information"));
}

void TestSceneLifeCycle::damagedSceneOpensAndSaysSo()
{
    Started started = startWindowWithScene();
    // A scene whose first layer's drawing of frame 3 is cut short.
    Model::Scene built;
    SceneFileTest::buildEveryKind(built);
    const QByteArray damaged = SceneFileTest::withPayload(
        SceneFileTest::written(built), QStringLiteral("strokes"), 1,
        [](const QByteArray &bytes) { return QString::fromLatin1(bytes.left(bytes.size() / 2).toBase64()); });
    const QString file = path(QStringLiteral("damaged.kl"));
    QVERIFY(writeFileContents(file, damaged));

    // It opens with the rest, and the user is told once what is missing.
    QVERIFY(started.window->openFile(file));
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("warning")});
    const QString told = started.dialogs->asked.first().text;
    QVERIFY2(told.startsWith(QStringLiteral("Parts of %1 could not be read and were left out:\n\nLayer \"Ink & "
                                            "<\"lines\">\", frame 3: its drawing is damaged")
                                 .arg(native(file))),
             qPrintable(told));
    QCOMPARE(currentScene()->filePath(), file);
    QCOMPARE(currentScene()->layerCount(), built.layerCount());
    QVERIFY(currentScene()->undoStack()->isClean());
}

void TestSceneLifeCycle::recentFilesMenu()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Model::Settings *settings = Model::Settings::instance();
    QMenu *fileMenu = menuTitled(window->menuBar(), QStringLiteral("File"));
    const auto recentMenu = [fileMenu] {
        Q_EMIT fileMenu->aboutToShow();
        return entryWithText(fileMenu, QStringLiteral("Open Recent"))->menu();
    };
    QVERIFY(!recentMenu()->isEnabled());
    QVERIFY(recentMenu()->actions().isEmpty());

    const QString gone = path(QStringLiteral("gone.kl"));
    const QString kept = path(QStringLiteral("kept.kl"));
    QVERIFY(writeFileContents(kept, "kept"));
    settings->addRecentFile(kept);
    settings->addRecentFile(gone);
    QVERIFY(recentMenu()->isEnabled());
    QCOMPARE(TestSupport::menuOutline(recentMenu()), QStringLiteral("gone.kl|kept.kl|-|Clear"));

    // A file that has gone: the read error, and it leaves the menu.
    entryWithText(recentMenu(), QStringLiteral("gone.kl"))->trigger();
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("warning")});
    QVERIFY(started.dialogs->asked.first().text.startsWith(QStringLiteral("Cannot read file %1:").arg(native(gone))));
    QCOMPARE(TestSupport::menuOutline(recentMenu()), QStringLiteral("kept.kl|-|Clear"));

    // Clear empties the list and the menu.
    entryWithText(recentMenu(), QStringLiteral("Clear"))->trigger();
    QVERIFY(settings->recentFiles().isEmpty());
    QVERIFY(!recentMenu()->isEnabled());
    QVERIFY(recentMenu()->actions().isEmpty());
}

void TestSceneLifeCycle::switchingScenes()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Model::ToolManager *tools = Model::ToolManager::instance();
    auto *group = window->findChild<QUndoGroup *>();
    QAction *undo = Model::ActionManager::instance()->action(KL::Action::Undo);
    Model::KLScene *first = Model::KLScene::current();
    QUndoStack *firstStack = first->scene()->undoStack();
    QCOMPARE(group->activeStack(), firstStack);

    // A view tool in use; the switch goes back to drawing.
    tools->setCurrentTool(Model::Tool::Type::Hand);
    window->newScene(MainWindow::SkipDialog);
    Model::KLScene *second = Model::KLScene::current();
    QVERIFY(second != first);
    QCOMPARE(tools->currentToolType(), tools->lastDrawingToolType());

    // The undo group follows the new scene's stack only.
    QCOMPARE(group->stacks(), QList<QUndoStack *>{second->scene()->undoStack()});
    QCOMPARE(group->activeStack(), second->scene()->undoStack());
    QVERIFY(!undo->isEnabled());
    firstStack->push(new QUndoCommand(QStringLiteral("In the old scene")));
    QVERIFY(!undo->isEnabled());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled [1920x1080] 100%"));
    addLayer();
    QVERIFY(undo->isEnabled());
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled* [1920x1080] 100%"));
    undo->trigger();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled [1920x1080] 100%"));

    // Choosing a cell on the sheet makes it the active cell, whose number
    // the controls bar shows: past the range's end, the frame after it.
    auto *frameNumber = window->findChild<QLabel *>(QStringLiteral("labelCurrentFrameNumber"));
    QCOMPARE(frameNumber->text(), QStringLiteral("1"));
    Model::KLScene *klscene = Model::KLScene::current();
    klscene->selectionModel()->setCurrentIndex(klscene->frameRangeModel()->index(1, 0),
                                               QItemSelectionModel::ClearAndSelect);
    QCOMPARE(currentScene()->activeFrame(), 2);
    QCOMPARE(frameNumber->text(), QStringLiteral("2"));
    currentScene()->setScrubFrame(1);
    QCOMPARE(frameNumber->text(), QStringLiteral("1"));

    // A scene larger than a new scene may be still opens; the default for
    // new scenes stays.
    auto *huge = new Model::KLScene(window);
    huge->scene()->setFrameSize(QSize(8000, 5000), KL::FitMode::FitModeIgnore);
    const QSize defaultSize = Model::Settings::instance()->defaultFrameSize();
    window->setCurrentScene(huge);
    QCOMPARE(Model::KLScene::current(), huge);
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: Untitled [8000x5000] 100%"));
    QCOMPARE(Model::Settings::instance()->defaultFrameSize(), defaultSize);

    // No scene: the bare title and no stack.
    window->setCurrentScene(nullptr);
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvane: "));
    QVERIFY(group->stacks().isEmpty());
    QVERIFY(!Model::ActionManager::instance()->action(KL::Action::PasteDrawing)->isEnabled());
}

void TestSceneLifeCycle::firstStartGeometry()
{
    // Nothing stored: the window fills the screen below a title bar's
    // height, at most 2100 x 1200, centred. Runs on a full-HD screen and,
    // as tst_scenelifecycle_4k, on a 4K one.
    QSettings().remove(QStringLiteral("MainWindow"));
    Started started = startWindow({});
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int titleBar = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect below = screen.adjusted(0, titleBar, 0, 0);
    const QRect window = started.window->geometry();
    QCOMPARE(window.size(), below.size().boundedTo(QSize(2100, 1200)));
    QVERIFY((window.center() - below.center()).manhattanLength() <= 1);
    if (screen.width() >= 3840)
        QCOMPARE(window.size(), QSize(2100, 1200));
    else
        QCOMPARE(window.width(), screen.width());
}

void TestSceneLifeCycle::autosaveWaitsForTheUser()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Model::Settings *settings = Model::Settings::instance();
    Autosave autosave(window);
    settings->setAutoSaveEnabled(true);
    QVERIFY(autosave.waiting());
    const QString backup = path(QStringLiteral("Untitled_backup1.kl"));

    // Nothing changed: the check only looks again in a second.
    autosave.intervalEnds();
    QVERIFY(autosave.polling());
    QVERIFY(!QFileInfo::exists(backup));

    // An edit 2 s before the check is too fresh.
    addLayer();
    autosave.now += 2000;
    autosave.intervalEnds();
    QVERIFY(autosave.polling());
    QVERIFY(!QFileInfo::exists(backup));

    // Editing on, second by second, puts the backup off for as long.
    for (int i = 0; i < 5; ++i) {
        addLayer();
        autosave.secondLater();
        QVERIFY(autosave.polling());
    }
    autosave.secondLater();
    QVERIFY(!QFileInfo::exists(backup));

    // Three seconds after the last edit the backup is written, beside
    // everything the user keeps, which it leaves as it was.
    autosave.secondLater();
    QVERIFY(QFileInfo(backup).size() > 0);
    QVERIFY(started.dialogs->asked.isEmpty());
    QVERIFY(!autosave.polling());
    QVERIFY(autosave.waiting());
    QVERIFY(!autosave.manager->hasChangesToBackUp());
    QVERIFY(!currentScene()->undoStack()->isClean());
    QVERIFY(currentScene()->filePath().isEmpty());
    QCOMPARE(currentScene()->name(), QStringLiteral("Untitled"));
    QVERIFY(window->windowTitle().contains(QLatin1Char('*')));
    QVERIFY(settings->recentFiles().isEmpty());
    QCOMPARE(settings->defaultSaveDir().absolutePath(), m_dir->path());

    // The backup is a scene file that opens, with every edit.
    started.dialogs->buttons.enqueue(QMessageBox::Discard);
    QVERIFY(window->openFile(backup));
    QCOMPARE(currentScene()->layerCount(), 3 + 6);
}

void TestSceneLifeCycle::autosaveRing()
{
    Started started = startWindowWithScene();
    Autosave autosave(started.window.get());
    Model::Settings::instance()->setAutoSaveEnabled(true);
    // Four backups in a ring of three: the fourth overwrites the first.
    for (int i = 0; i < 4; ++i) {
        addLayer();
        autosave.now += 10'000;
        autosave.intervalEnds();
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("Untitled_backup1.kl"), QStringLiteral("Untitled_backup2.kl"),
                          QStringLiteral("Untitled_backup3.kl")}));
    QCOMPARE(QFileInfo(autosave.manager->nextBackupPath(m_dir->path(), QStringLiteral("Untitled"))).fileName(),
             QStringLiteral("Untitled_backup2.kl"));
    QVERIFY(QFileInfo(path(QStringLiteral("Untitled_backup1.kl"))).lastModified()
            >= QFileInfo(path(QStringLiteral("Untitled_backup3.kl"))).lastModified());

    // A new scene has nothing to back up.
    QVERIFY(started.dialogs->asked.isEmpty());
    started.dialogs->buttons.enqueue(QMessageBox::Discard);
    started.window->newScene(MainWindow::SkipDialog);
    QCOMPARE(started.dialogs->kinds(), QStringList{QStringLiteral("warning")});
    QVERIFY(!autosave.manager->hasChangesToBackUp());
}

void TestSceneLifeCycle::autosaveLeavesTheUsersFiles()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Autosave autosave(window);
    Model::Settings *settings = Model::Settings::instance();

    // The user saved the scene as walk.kl, and keeps working in a file that
    // looks like one of its backups.
    const QString walk = path(QStringLiteral("walk.kl"));
    started.dialogs->files.enqueue(walk);
    QVERIFY(window->saveSceneAs());
    const QString users = path(QStringLiteral("walk_backup1.kl"));
    QVERIFY(writeFileContents(users, "the user's own"));
    // A file no run knows of, named like a backup: it may be the user's too.
    QVERIFY(writeFileContents(path(QStringLiteral("walk_backup3.kl")), "an earlier backup"));
    settings->addRecentFile(users);
    settings->addRecentFile(walk);
    const QByteArray saved = fileContents(walk);
    settings->setAutoSaveEnabled(true);

    // The backup goes past both, at once.
    addLayer();
    autosave.now += 10'000;
    autosave.intervalEnds();
    QVERIFY(!autosave.polling());
    QVERIFY(QFileInfo::exists(path(QStringLiteral("walk_backup2.kl"))));
    QCOMPARE(fileContents(users), QByteArray("the user's own"));
    QCOMPARE(fileContents(path(QStringLiteral("walk_backup3.kl"))), QByteArray("an earlier backup"));
    // The scene's own file and its state are the user's saves alone.
    QCOMPARE(fileContents(walk), saved);
    QVERIFY(!currentScene()->undoStack()->isClean());
    QCOMPARE(currentScene()->filePath(), walk);
    QCOMPARE(settings->recentFiles(), (QStringList{walk, users}));
}

void TestSceneLifeCycle::autosaveWaitsForCommandsAndPlayback()
{
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Autosave autosave(window);
    // A scene of three frames, which play.
    started.dialogs->runDialog = fillIn({QStringLiteral("initialNumberOfFrames=3")});
    window->newScene(MainWindow::ShowDialog);
    QCOMPARE(currentScene()->layerFrameCount(0), 3);
    started.dialogs->asked.clear();
    Model::Settings::instance()->setAutoSaveEnabled(true);
    const QString walk = path(QStringLiteral("walk.kl"));
    started.dialogs->files.enqueue(walk);
    QVERIFY(window->saveSceneAs());
    const QString backup = path(QStringLiteral("walk_backup1.kl"));

    // Playback runs: no backup, only a look a second later.
    addLayer();
    autosave.now += 10'000;
    auto *playback = window->findChild<PlaybackController *>();
    playback->startPlayback();
    QVERIFY(playback->isPlaying());
    autosave.intervalEnds();
    QVERIFY(autosave.polling());
    QVERIFY(!QFileInfo::exists(backup));
    playback->stopPlayback();

    // Opening a file, which first saves the changed scene, then reads a
    // file that turns out to be broken. The check comes while the read's
    // message is up, after the save inside the open has ended: the open
    // still runs, so nothing is written.
    const QString broken = path(QStringLiteral("broken.kl"));
    QVERIFY(writeFileContents(broken, "broken"));
    started.dialogs->buttons.enqueue(QMessageBox::Save);
    started.dialogs->files.enqueue(broken);
    bool checked = false;
    started.dialogs->onAsked = [&](const ScriptedDialogs::Question &question) {
        if (question.kind != QLatin1String("information"))
            return;
        autosave.now += 10'000;
        autosave.secondLater();
        checked = true;
    };
    window->openScene();
    started.dialogs->onAsked = nullptr;
    QVERIFY(checked);
    QCOMPARE(started.dialogs->kinds(),
             (QStringList{QStringLiteral("getSaveFileName"), QStringLiteral("warning"),
                          QStringLiteral("getOpenFileName"), QStringLiteral("information")}));
    QVERIFY(!QFileInfo::exists(backup));
    QVERIFY(autosave.polling());
    // The saved scene's changes are in its file: the check once the open
    // is over has nothing to back up.
    autosave.secondLater();
    QVERIFY(!QFileInfo::exists(backup));
    QVERIFY(!autosave.manager->hasChangesToBackUp());
}

void TestSceneLifeCycle::autosaveWaitsForLongCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("scene settings") << "settings";
    QTest::newRow("collapse") << "collapse";
    QTest::newRow("import") << "import";
    QTest::newRow("lift") << "lift";
    QTest::newRow("stamp") << "stamp";
    QTest::newRow("a stroke on the frame after the last drawing") << "stroke";
}

// Commands that may work for long behind a progress dialog, which lets the
// event loop turn, count as running: autosave, looking in meanwhile, writes
// no backup of a scene half changed, and writes it once they are over.
void TestSceneLifeCycle::autosaveWaitsForLongCommands()
{
    QFETCH(QString, command);
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    Model::ToolManager::instance()->setCurrentTool(Model::Tool::Type::Pen);
    auto *paper = window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents"));
    const QPointF centre = QRectF(paper->rect()).center();
    TestSupport::drag(paper, {centre - QPointF(40, 20), centre, centre + QPointF(40, 20)});
    Model::Scene *scene = currentScene();
    QCOMPARE(scene->undoStack()->count(), 1);
    if (command == QLatin1String("stamp"))
        Model::ActionManager::instance()->action(KL::Action::PickUpAllOfThisDrawing)->trigger();

    Autosave autosave(window);
    Model::Settings::instance()->setAutoSaveEnabled(true);
    const QString backup = path(QStringLiteral("Untitled_backup1.kl"));
    int looks = 0;
    bool wroteMeanwhile = false;
    // Each step the command pushes comes before it is over.
    QObject::connect(scene->undoStack(), &QUndoStack::indexChanged, window, [&] {
        autosave.now += 10'000;
        autosave.secondLater();
        ++looks;
        wroteMeanwhile = wroteMeanwhile || QFileInfo::exists(backup);
    });

    const auto trigger = [](KL::Action key) { Model::ActionManager::instance()->action(key)->trigger(); };
    if (command == QLatin1String("settings")) {
        started.dialogs->runDialog = fillIn({QStringLiteral("frameWidth=960")});
        trigger(KL::Action::SceneSettings);
        QCOMPARE(scene->frameSize(), QSize(960, 1080));
    } else if (command == QLatin1String("collapse")) {
        // The registry keeps the action off; its handler is there all the
        // same for whatever triggers it.
        Q_EMIT Model::ActionManager::instance()->action(KL::Action::CollapseVectorData)->triggered();
        QCOMPARE(scene->undoStack()->count(), 2);
    } else if (command == QLatin1String("import")) {
        const QString picture = path(QStringLiteral("picture.png"));
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(picture));
        started.dialogs->files.enqueue(picture);
        trigger(KL::Action::ImportReferenceLayer);
        QCOMPARE(scene->layerCount(), 4);
    } else if (command == QLatin1String("stroke")) {
        // Its blank drawing and the stroke come at the release.
        scene->setActiveFrameAndLayer(2, 0, Model::Scene::AllowFrameAfterLast);
        TestSupport::sendMouse(paper, QEvent::MouseButtonPress, centre);
        TestSupport::sendMouseEvent(paper, QEvent::MouseMove, centre + QPointF(9, 9), Qt::NoButton, Qt::LeftButton);
        autosave.now += 10'000;
        autosave.secondLater();
        wroteMeanwhile = QFileInfo::exists(backup);
        TestSupport::sendMouse(paper, QEvent::MouseButtonRelease, centre + QPointF(9, 9));
        QCOMPARE(scene->undoStack()->count(), 3);
    } else if (command == QLatin1String("lift")) {
        trigger(KL::Action::PickUpAllOfThisDrawing);
        QVERIFY(Model::KLScene::current()->floatingSelection());
    } else {
        trigger(KL::Action::StampFloatingSelection);
    }
    QObject::disconnect(scene->undoStack(), &QUndoStack::indexChanged, window, nullptr);

    QVERIFY(looks >= 1);
    QVERIFY(!wroteMeanwhile);
    autosave.now += 10'000;
    autosave.secondLater();
    QVERIFY(QFileInfo(backup).size() > 0);
}

void TestSceneLifeCycle::backupsKeepGoing_data()
{
    // Where the backups were to go: the documents folder a fresh account
    // does not have yet, a folder that is gone, one on a disk mounted
    // read-only, a folder where the first backup's name is taken by a
    // folder, or a disk that is full until room is made before the fourth
    // check.
    QTest::addColumn<QString>("folder");
    // Where the backup of each check lands: "save" the folder asked for,
    // "own" autosave's own folder, "" nowhere.
    QTest::addColumn<QStringList>("landIn");
    // The questions and notices put to the user over all of them.
    QTest::addColumn<QStringList>("told");

    QTest::newRow("documents folder missing") << "documents" << QStringList{"save", "save"} << QStringList();
    QTest::newRow("folder gone") << "gone" << QStringList{"own", "own"} << QStringList{"notify"};
    QTest::newRow("read-only folder") << "read-only" << QStringList{"own", "own"} << QStringList{"notify"};
    // The failure, then that backups work again.
    QTest::newRow("backup name taken") << "taken" << QStringList{"", "save"} << QStringList{"notify", "notify"};
    // Told once while the disk stays full, once when backups work again,
    // and not again.
    QTest::newRow("disk full, then room")
        << "full" << QStringList{"", "", "", "save", "save"} << QStringList{"notify", "notify"};
    // A scene saved, then opened with a backup newer than the file beside
    // it: where that backup is.
    QTest::newRow("opened, a newer backup") << "newer" << QStringList() << QStringList{"getSaveFileName", "notify"};
    // A scene saved, another drawn on and given up for it from the recent
    // files: no backup of it is written, and none is newer than the file.
    QTest::newRow("opened from the recent files") << "recent" << QStringList()
                                                  << QStringList{"getSaveFileName", "warning"};
    // A killed run's backup opened, worked on and saved, ten other scenes
    // saved, then a new scene backed up: each file keeps its work.
    QTest::newRow("recovered, saved, ten scenes on") << "recovered" << QStringList{"save", "save", "save", "save"}
                                                     << QStringList();
    QTest::newRow("recovered, a ring of 1") << "recovered, ring of 1" << QStringList{"save", "save"}
                                            << QStringList();
    // The same, killed after the save: the next start names the backup
    // never opened, not the one whose work the user's file keeps.
    QTest::newRow("recovered, saved, then killed") << "recovered, killed" << QStringList{"save"} << QStringList();
    // The user's own copy of walk.kl, saved as walk_backup1.kl: no record
    // names it, so it opens as theirs and Save writes it in place.
    QTest::newRow("a user's file named like a backup")
        << "users copy" << QStringList() << QStringList{"getSaveFileName", "getSaveFileName"};
    // The runs folder takes no file: told once, and backups go on.
    QTest::newRow("no record of the run") << "no record" << QStringList{"save", "save"} << QStringList{"notify"};
    // A scene saved, changed and changed back before the backup was due,
    // then killed: no backup is written, and the next start names nothing.
    QTest::newRow("a change undone, then killed") << "undone" << QStringList() << QStringList{"getSaveFileName"};
}

// A backup that cannot go where it should does not end autosave: the
// documents folder is made, another folder that cannot take backups gives
// way to autosave's own, and after a failed backup the next one is tried an
// interval later. The user hears of each trouble once, in a notice that
// waits for no one: the backup is on the disk while it shows.
void TestSceneLifeCycle::backupsKeepGoing()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, landIn);
    QFETCH(QStringList, told);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder == QLatin1String("documents") && QFileInfo::exists(documents))
        QSKIP("This account has its documents folder already");
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Kelvane/Backups");
    QDir(own).removeRecursively();
    // Where earlier versions put them: the organisation's and the
    // application's folder, both "Kelvane". Backups there stay.
    const QString earlier = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/Backups");
    const QString earlierBackup = QDir(earlier).filePath(QStringLiteral("walk_backup1.kl"));
    QVERIFY(QDir().mkpath(earlier));
    QVERIFY(writeFileContents(earlierBackup, "an earlier backup"));

    // A run killed with two backups of work never saved, and the file the
    // user saves with its bytes.
    QStringList lostFiles;
    Model::Scene built;
    SceneFileTest::buildEveryKind(built);
    const QByteArray lostWork = SceneFileTest::written(built);
    std::pair<QString, QByteArray> usersFile;
    if (folder.startsWith(QLatin1String("recovered"))) {
        auto killed = std::make_unique<AutosaveManager>();
        for (int i = 0; i < 2; ++i) {
            lostFiles << killed->backupPath(m_dir->path(), QStringLiteral("Untitled"));
            QVERIFY(writeFileContents(lostFiles.last(), lostWork));
            killed->backupWritten();
        }
        endAsIfKilled(std::move(killed));
    }
    std::optional<TestSupport::FileSizeLimit> full;
    if (folder == QLatin1String("no record"))
        full.emplace(0);
    Started started = startWindow({});
    full.reset();
    for (int turns = 0; turns < 100 && !currentScene(); ++turns)
        QCoreApplication::processEvents();
    Autosave autosave(started.window.get());
    Model::Settings *settings = Model::Settings::instance();
    settings->setAutoSaveEnabled(true);
    QString saveFolder = m_dir->path();
    QString reason;
    std::unique_ptr<TestSupport::UnwritableFolder> unwritable;
    std::unique_ptr<TestSupport::FullDisk> fullDisk;
    if (folder == QLatin1String("documents")) {
        saveFolder = documents;
    } else if (folder == QLatin1String("gone")) {
        saveFolder = path(QStringLiteral("gone"));
        reason = TestSupport::systemErrorText(ENOENT);
    } else if (folder == QLatin1String("read-only")) {
        unwritable = std::make_unique<TestSupport::UnwritableFolder>();
        if (unwritable->path().isEmpty())
            QSKIP(qPrintable(unwritable->whyNot()));
        saveFolder = unwritable->path();
        reason = unwritable->reason();
    } else if (folder == QLatin1String("taken")) {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Untitled_backup1.kl")));
    } else if (folder.startsWith(QLatin1String("recovered"))) {
        started.dialogs->files.enqueue(lostFiles.first());
        started.window->openScene();
        const QString title = started.window->windowTitle();
        QVERIFY2(title.contains(QStringLiteral("Untitled (recovered from Untitled_backup1.kl)*")), qPrintable(title));
        if (folder != QLatin1String("recovered, ring of 1")) {
            // Saving asks where, as Save As does, offering the save folder.
            addLayer();
            started.dialogs->files.enqueue(path(QStringLiteral("mine.kl")));
            QVERIFY(started.window->saveScene());
            QCOMPARE(started.dialogs->asked.last().kind, QStringLiteral("getSaveFileName"));
            QCOMPARE(started.dialogs->asked.last().text, path(QStringLiteral("Untitled.kl")));
            QVERIFY(!started.window->windowTitle().contains(QStringLiteral("recovered")));
            usersFile = {currentScene()->filePath(), fileContents(currentScene()->filePath())};
            for (int i = 0; i < 10; ++i) {
                started.dialogs->files.enqueue(path(QStringLiteral("other%1.kl").arg(i)));
                QVERIFY(started.window->saveSceneAs());
            }
        } else {
            settings->setAutoSaveNumFiles(1);
        }
        // Recovered work not saved is asked about as changed work.
        started.dialogs->buttons.enqueue(QMessageBox::Discard);
        started.window->newScene(MainWindow::SkipDialog);
        started.dialogs->asked.clear();
    } else if (folder == QLatin1String("users copy")) {
        const QString copy = path(QStringLiteral("walk_backup1.kl"));
        for (const QString &name : {path(QStringLiteral("walk.kl")), copy}) {
            started.dialogs->files.enqueue(name);
            QVERIFY(started.window->saveSceneAs());
        }
        usersFile = {path(QStringLiteral("walk.kl")), fileContents(path(QStringLiteral("walk.kl")))};
        QVERIFY(started.window->openFile(copy));
        addLayer();
        QVERIFY(started.window->saveScene());
        QCOMPARE(started.window->windowTitle(), QStringLiteral("Kelvane: walk_backup1.kl [1920x1080] 100%"));
        Model::Scene written;
        QCOMPARE(SceneFileTest::readInto(written, fileContents(copy)).report, QString());
        QCOMPARE(written.layerCount(), 4);
    } else if (folder == QLatin1String("no record")) {
        // Only the runs folder failed: the backups go where asked.
    } else if (folder == QLatin1String("undone")) {
        started.dialogs->files.enqueue(path(QStringLiteral("walk.kl")));
        QVERIFY(started.window->saveSceneAs());
        addLayer();
        currentScene()->undoStack()->undo();
        autosave.now += 10'000;
        autosave.intervalEnds();
        QCOMPARE(QDir(saveFolder).entryList({QStringLiteral("*_backup*")}), QStringList());
    } else if (folder == QLatin1String("newer")) {
        started.dialogs->files.enqueue(path(QStringLiteral("walk.kl")));
        QVERIFY(started.window->saveSceneAs());
        QFile walk(path(QStringLiteral("walk.kl")));
        QVERIFY(walk.open(QIODevice::ReadOnly)
                && walk.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        // A run at work on it beside this one, killed.
        auto killed = std::make_unique<AutosaveManager>();
        QVERIFY(writeFileContents(killed->backupPath(m_dir->path(), QStringLiteral("walk"), walk.fileName()),
                                  "newer work"));
        killed->backupWritten();
        endAsIfKilled(std::move(killed));
        QVERIFY(started.window->openFile(walk.fileName()));
    } else if (folder == QLatin1String("recent")) {
        const QString walk = path(QStringLiteral("walk.kl"));
        started.dialogs->files.enqueue(walk);
        QVERIFY(started.window->saveSceneAs());
        started.window->newScene(MainWindow::SkipDialog);
        addLayer();
        started.dialogs->buttons.enqueue(QMessageBox::Discard);
        QVERIFY(started.window->openFile(walk));
        autosave.now += 10'000;
        autosave.intervalEnds();
        QVERIFY(started.window->openFile(walk));
    } else {
        saveFolder = path(QStringLiteral("disk"));
        QVERIFY(QDir().mkdir(saveFolder));
        fullDisk = std::make_unique<TestSupport::FullDisk>(saveFolder, 64 * 1024);
        SceneFileTest::addLargeDrawing(*currentScene());
        fullDisk->fill();
        reason = fullDisk->reason();
    }
    settings->setDefaultSaveDir(QDir(saveFolder));

    // The backup of the check running, and whether it was on the disk at
    // each notice.
    QString backup;
    QStringList landed;
    QList<bool> landedBeforeNotice;
    started.dialogs->onAsked = [&](const ScriptedDialogs::Question &question) {
        if (question.kind == QLatin1String("notify"))
            landedBeforeNotice << (!backup.isEmpty() && QFileInfo(backup).size() > 0);
    };
    for (int i = 0; i < landIn.size(); ++i) {
        if (fullDisk && i == 3)
            fullDisk->makeRoom();
        addLayer();
        autosave.now += 10'000;
        const QString where = landIn.at(i) == QLatin1String("own") ? own : saveFolder;
        const QString name = QFileInfo(autosave.manager->nextBackupPath(where, QStringLiteral("Untitled"))).fileName();
        backup = landIn.at(i).isEmpty() ? QString() : QDir(where).filePath(name);
        // After a failure, the next interval; else the check a second on.
        if (autosave.waiting())
            autosave.intervalEnds();
        else
            autosave.secondLater();
        if (backup.isEmpty()) {
            QVERIFY(!QFileInfo(QDir(saveFolder).filePath(name)).isFile());
            QVERIFY(autosave.manager->hasChangesToBackUp());
        } else {
            QVERIFY2(QFileInfo(backup).size() > 0, qPrintable(backup));
            QVERIFY(!autosave.manager->hasChangesToBackUp());
            landed << backup;
        }
        // Autosave goes on either way.
        QVERIFY(autosave.waiting());
    }
    started.dialogs->onAsked = nullptr;

    QCOMPARE(started.dialogs->kinds(), told);
    const QStringList texts = [&] {
        QStringList result;
        for (const ScriptedDialogs::Question &question : std::as_const(started.dialogs->asked))
            result << question.text;
        return result;
    }();
    if (folder == QLatin1String("gone") || folder == QLatin1String("read-only")) {
        // Where backups cannot go and why, where they went (a path that
        // names the program once), and where earlier ones are.
        QVERIFY(landedBeforeNotice == QList<bool>{true});
        const QString text = texts.first();
        QVERIFY2(text.startsWith(QStringLiteral("Backups cannot be written to %1:\n%2.\n\n")
                                     .arg(native(saveFolder), reason)),
                 qPrintable(text));
        const QRegularExpressionMatch keptIn =
            QRegularExpression(QStringLiteral("autosave keeps them in (.*)\\.\n")).match(text);
        QVERIFY2(keptIn.hasMatch(), qPrintable(text));
        const QString keptFolder = QDir::fromNativeSeparators(keptIn.captured(1));
        QCOMPARE(QFileInfo(keptFolder), QFileInfo(QFileInfo(landed.first()).absolutePath()));
        QVERIFY2(!keptFolder.contains(QStringLiteral("/Kelvane/Kelvane")), qPrintable(keptFolder));
        QVERIFY2(text.endsWith(QStringLiteral("\n\nEarlier backups are still in %1.")
                                   .arg(native(earlier))),
                 qPrintable(text));
        QCOMPARE(fileContents(earlierBackup), QByteArray("an earlier backup"));
    } else if (folder == QLatin1String("taken") || folder == QLatin1String("full")) {
        // The trouble, in the system's words where it has them; then the
        // backup that worked, on the disk as the user reads of it.
        QVERIFY(landedBeforeNotice == (QList<bool>{false, true}));
        const QString first = QDir(saveFolder).filePath(QStringLiteral("Untitled_backup1.kl"));
        QVERIFY2(texts.first().startsWith(QStringLiteral("Cannot write file %1:\n").arg(native(first))),
                 qPrintable(texts.first()));
        if (fullDisk)
            QVERIFY2(texts.first().contains(QStringLiteral(":\n%1.\n\n").arg(reason)), qPrintable(texts.first()));
        QCOMPARE(texts.last(),
                 QStringLiteral("Autosave works again: the scene is backed up in %1.").arg(native(landed.first())));
    } else if (folder == QLatin1String("newer")) {
        const QFileInfo newer(path(QStringLiteral("walk_backup1.kl")));
        QCOMPARE(texts.last(), QStringLiteral("A backup of %1 is newer than the file:\n\n%2 (written %3)\n\n"
                                              "File › Open Scene opens it.")
                                   .arg(native(path(QStringLiteral("walk.kl"))), native(newer.filePath()),
                                        QLocale().toString(newer.lastModified(), QLocale::ShortFormat)));
    } else if (folder == QLatin1String("no record")) {
        QVERIFY2(texts.first().contains(QStringLiteral("cannot be recovered")), qPrintable(texts.first()));
        QVERIFY2(texts.first().endsWith(QStringLiteral(":\n%1.").arg(TestSupport::systemErrorText(EFBIG))),
                 qPrintable(texts.first()));
    }
    if (folder == QLatin1String("undone")) {
        endAsIfKilled(std::move(started.window));
        QCOMPARE(AutosaveManager().lostWorkNotice(), QString());
    }
    if (folder == QLatin1String("recovered, killed")) {
        endAsIfKilled(std::move(started.window));
        const QString notice = AutosaveManager().lostWorkNotice();
        QVERIFY2(notice.contains(native(lostFiles.last())) && !notice.contains(native(lostFiles.first())),
                 qPrintable(notice));
    }
    for (const QString &lost : std::as_const(lostFiles))
        QCOMPARE(fileContents(lost), lostWork);
    if (!usersFile.first.isEmpty())
        QCOMPARE(fileContents(usersFile.first), usersFile.second);
    // Backups change nothing the user keeps.
    QCOMPARE(settings->defaultSaveDir().absolutePath(), QDir(saveFolder).absolutePath());
    if (folder == QLatin1String("documents"))
        QDir(documents).removeRecursively();
    QDir(own).removeRecursively();
    QDir(earlier).removeRecursively();
}

void TestSceneLifeCycle::noticesWaitForNoOne_data()
{
    // "trouble": autosave cannot write, then can. "start": the program
    // starts with a file that has a newer backup, after a run that was
    // killed with work never saved; "welcome": the same with the welcome
    // dialog shown at the start; "crashes": after thirty runs killed with
    // three backups each; "two crashes": after one killed with two, then
    // one killed with one; "elsewhere": after one killed, then a run that
    // saved a scene in another folder, starting with that scene;
    // "autosave off (idle)": after one killed with autosave off, with (no)
    // changes; "SIGTERM" (a logout), "SIGHUP" (a closed terminal), "SIGINT"
    // (Ctrl+C): after one that signal ended while the user drew, autosave off,
    // "idle" with nothing changed, "full" onto a full disk; "display": its X server ended,
    // "display quiet" with every warning filtered out; "autosave on": after one
    // killed with a change, before its first backup; "autosave off, full later":
    // after two crashes, the last with autosave off and a change made once
    // its disk was full; "gone for good": after thirty crashes with a backup
    // each, in folders deleted since.
    QTest::addColumn<QString>("what");
    // What the notices that show say, <folder> for the test's folder.
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("boxes");
    QTest::newRow("autosave's trouble, then its end") << "trouble" << QStringList{"It works again."} << 1;
    QTest::newRow("at start, newer backups and lost work")
        << "start"
        << QStringList{"A backup of <folder>/walk.kl", "<folder>/walk_backup1.kl",
                       "Kelvane did not end normally last time.", "<folder>/Untitled_backup1.kl"}
        << 1;
    QTest::newRow("at start, over the welcome")
        << "welcome" << QStringList{"Kelvane did not end normally last time.", "<folder>/Untitled_backup1.kl"} << 1;
    QTest::newRow("at start, after two crashes")
        << "two crashes"
        << QStringList{"Kelvane did not end normally last time. It left a backup of work that was never saved:",
                       "An earlier run that did not end normally left backups of work that was never saved:"}
        << 1;
    QTest::newRow("at start, after many crashes")
        << "crashes" << QStringList{"<folder>/Untitled_backup90.kl", "…and 80 more in <folder>."} << 1;
    QTest::newRow("at start, a crash's backup left behind by the save folder")
        << "elsewhere"
        << QStringList{"Kelvane did not end normally in an earlier run.", "<folder>/Untitled_backup1.kl"} << 1;
    QTest::newRow("at start, after a crash with autosave off")
        << "autosave off"
        << QStringList{"Kelvane did not end normally last time. Autosave was off, so nothing of that run was kept. "
                       "Autosave is turned on in File › Enable Autosaving."}
        << 1;
    QTest::newRow("at start, after a crash with autosave off and nothing changed")
        << "autosave off idle" << QStringList() << 0;
    const QStringList ended{"Kelvane did not end normally last time.", "<folder>/Untitled_backup1.kl"};
    QTest::newRow("at start, after a logout") << "SIGTERM" << ended << 1;
    QTest::newRow("at start, after the terminal closed") << "SIGHUP" << ended << 1;
    QTest::newRow("at start, after Ctrl+C") << "SIGINT" << ended << 1;
    QTest::newRow("at start, after a logout with nothing changed") << "SIGTERM idle" << QStringList() << 0;
    QTest::newRow("at start, after a logout onto a full disk")
        << "SIGTERM full"
        << QStringList{"Kelvane did not end normally last time, and its latest work could not be kept:\n"
                       "Cannot write file <folder>/disk/Untitled_backup1.kl:\n<full>."}
        << 1;
    QTest::newRow("at start, after the display went away") << "display" << ended << 1;
    QTest::newRow("at start, after the display went away, warnings filtered") << "display quiet" << ended << 1;
    QTest::newRow("at start, after a crash with autosave on, before its first backup")
        << "autosave on"
        << QStringList{"Kelvane did not end normally last time. Its latest changes had not been backed up yet, so "
                       "they were not kept."}
        << 1;
    QTest::newRow("at start, after a crash with autosave off, its disk full since its start")
        << "autosave off, full later" << QStringList{"Autosave was off, so nothing of that run was kept."} << 1;
    QTest::newRow("at start, thirty backups in folders gone for good, then the next start")
        << "gone for good"
        << QStringList{"cannot be reached now: No such file or directory.", "other folders.",
                       "A backup out of reach is named here again at a start once its folder can be reached."}
        << 1;
}

// What autosave tells the user comes in a notice that neither blocks the
// window nor waits for an answer; a newer state takes the place of the last,
// and no notice hides one that names work to be found. It can be closed as
// soon as it shows, and it keeps to the screen and clear of the paper.
void TestSceneLifeCycle::noticesWaitForNoOne()
{
    QFETCH(QString, what);
    QFETCH(QStringList, shown);
    QFETCH(int, boxes);
    std::unique_ptr<QWidget> window;
    UI::Dialogs dialogs;
    // Whether each notice showing closed with its OK button, the pointer
    // going through the window system as the user's does.
    bool answered = true;
    const auto answer = [&answered](QWidget *parent) {
        const QList<QMessageBox *> found = parent->findChildren<QMessageBox *>();
        const QList<QPointer<QMessageBox>> notices(found.cbegin(), found.cend());
        for (const QPointer<QMessageBox> &notice : notices) {
            if (!notice || !notice->isVisible() || !notice->button(QMessageBox::Ok))
                continue;
            const QAbstractButton *ok = notice->button(QMessageBox::Ok);
            QTest::mouseClick(notice->windowHandle(), Qt::LeftButton, {},
                              ok->mapTo(notice, ok->rect().center()));
            answered = answered && (!notice || !notice->isVisible());
        }
    };
    if (what == QLatin1String("trouble")) {
        window = std::make_unique<QWidget>();
        window->show();
        dialogs.notify(window.get(), QMessageBox::Warning, QStringLiteral("Kelvane"),
                       QStringLiteral("The disk is full."));
        const QList<QMessageBox *> notices = window->findChildren<QMessageBox *>();
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first()->isVisible());
        QCOMPARE(notices.first()->windowModality(), Qt::NonModal);
        QVERIFY(!QApplication::activeModalWidget());
        dialogs.notify(window.get(), QMessageBox::Information, QStringLiteral("Kelvane"),
                       QStringLiteral("It works again."));
    } else {
        Model::Scene built;
        SceneFileTest::buildEveryKind(built);
        QFile walk(path(QStringLiteral("walk.kl")));
        QVERIFY(writeFileContents(walk.fileName(), SceneFileTest::written(built)) && walk.open(QIODevice::ReadOnly)
                && walk.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        if (what.startsWith(QLatin1String("SIG")) || what.startsWith(QLatin1String("display"))) {
            const int caught = what == QLatin1String("SIGHUP") ? SIGHUP
                             : what == QLatin1String("SIGINT") ? SIGINT
                                                               : SIGTERM;
            const bool full = what.endsWith(QLatin1String(" full"));
            QProcess program;
            // The child's display, a server of its own that it outlives.
            QProcess display;
            if (what.startsWith(QLatin1String("display"))) {
                display.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1")});
                QTRY_VERIFY_WITH_TIMEOUT(display.canReadLine(), 30000);
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                environment.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(display.readLine().trimmed()));
                if (what.endsWith(QLatin1String(" quiet")))
                    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*=false"));
                program.setProcessEnvironment(environment);
            }
            // A disk of its own, full, where the test may mount one; else
            // the child, from its start, may grow no file past that size.
            std::optional<TestSupport::FullDisk> disk;
            std::optional<TestSupport::FileSizeLimit> limit;
            if (full) {
                QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("disk")));
                disk.emplace(path(QStringLiteral("disk")), 64 * 1024);
                Model::Settings::instance()->setDefaultSaveDir(QDir(path(QStringLiteral("disk"))));
                if (!disk->isFileSystem())
                    limit.emplace(64 * 1024);
            }
            // Whatever this test was started to ignore.
            program.setChildProcessModifier([caught] { ::signal(caught, SIG_DFL); });
            const bool draw = !what.endsWith(QLatin1String(" idle"));
            program.start(QCoreApplication::applicationFilePath(),
                          {draw ? QStringLiteral("--draw") : QStringLiteral("--idle")});
            limit.reset();
            // Waited for with the event loop turning: the child asks this
            // process for the clipboard it may hold.
            QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 60000);
            QCOMPARE(program.readLine(), draw ? QByteArray("drawing\n") : QByteArray("idle\n"));
            display.kill();
            QVERIFY(what.startsWith(QLatin1String("display")) || ::kill(program.processId(), caught) == 0);
            QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 60000);
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            if (full)
                shown.replaceInStrings(QStringLiteral("<full>"), disk->reason());
            // The backup holds the stroke that was being drawn; with nothing
            // changed there is none.
            QCOMPARE(QFileInfo::exists(path(QStringLiteral("Untitled_backup1.kl"))), draw && !full);
            if (draw && !full) {
                Model::Scene backedUp;
                const QByteArray backup = fileContents(path(QStringLiteral("Untitled_backup1.kl")));
                QCOMPARE(SceneFileTest::readInto(backedUp, backup).result, 0);
                const std::shared_ptr<Model::LayerItem> cell = backedUp.itemAt(0, 1);
                const auto drawing =
                    std::dynamic_pointer_cast<Model::StrokeDrawing>(cell ? cell->drawing() : nullptr);
                QVERIFY(drawing && drawing->root().memberCount() == 1);
            }
        }
        const QList<int> runs = what == QLatin1String("crashes")        ? QList<int>(30, 3)
                              : what == QLatin1String("two crashes")  ? QList<int>{2, 1}
                              : what == QLatin1String("autosave off, full later") ? QList<int>{1, 0}
                              : what == QLatin1String("gone for good")                ? QList<int>(30, 1)
                              : what.startsWith(QLatin1String("autosave"))          ? QList<int>{0}
                              : what.startsWith(QLatin1String("SIG")) || what.startsWith(QLatin1String("display"))
                                  ? QList<int>()
                                  : QList<int>{1};
        Model::Settings::instance()->setAutoSaveEnabled(what == QLatin1String("autosave on"));
        QStringList gone;
        for (const int backups : runs) {
            auto killed = std::make_unique<AutosaveManager>();
            if (what == QLatin1String("autosave off") || what == QLatin1String("autosave on"))
                killed->markSceneChanged();
            if (what == QLatin1String("autosave off, full later") && backups == 0) {
                const TestSupport::FileSizeLimit full(64);
                killed->markSceneChanged();
            }
            QString folder = m_dir->path();
            if (what == QLatin1String("gone for good")) {
                gone << path(QStringLiteral("gone%1").arg(gone.size()));
                QVERIFY(QDir().mkpath(folder = gone.last()));
            }
            if (what == QLatin1String("start")) {
                QVERIFY(writeFileContents(killed->backupPath(m_dir->path(), QStringLiteral("walk"), walk.fileName()),
                                          "newer work"));
                killed->backupWritten();
            }
            for (int backup = 0; backup < backups; ++backup) {
                QVERIFY(writeFileContents(killed->backupPath(folder, QStringLiteral("Untitled")), "never saved"));
                killed->backupWritten();
            }
            endAsIfKilled(std::move(killed));
        }
        Model::Settings::instance()->setAutoSaveEnabled(false);
        for (const QString &folder : std::as_const(gone))
            QVERIFY(QDir(folder).removeRecursively());
        QString startWith = walk.fileName();
        if (what == QLatin1String("elsewhere")) {
            startWith = path(QStringLiteral("scenes/walk.kl"));
            QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("scenes")));
            Started saving = startWindowWithScene();
            saving.dialogs->files.enqueue(startWith);
            QVERIFY(saving.window->saveSceneAs());
        }
        Model::Settings::instance()->setShowHowToAnimateOnStartup(what == QLatin1String("welcome"));
        auto *application = qobject_cast<Application *>(QCoreApplication::instance());
        auto started = std::make_unique<MainWindow>(std::make_unique<UI::Dialogs>());
        // While the welcome waits for the user, the start goes on beneath:
        // what shows then must be answerable. Then the welcome is closed.
        bool welcomed = false;
        std::function<void()> welcome = [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !Model::KLScene::current()) {
                QTimer::singleShot(20, started.get(), welcome);
                return;
            }
            answer(started.get());
            welcomed = true;
            modal->close();
        };
        if (what == QLatin1String("welcome"))
            QTimer::singleShot(0, started.get(), welcome);
        Startup::connectApplication(*application, *started, {startWith});
        started->show();
        for (int turns = 0; turns < 100 && !Model::KLScene::current(); ++turns)
            QCoreApplication::processEvents();
        Model::Settings::instance()->setShowHowToAnimateOnStartup(false);
        QCOMPARE(welcomed, what == QLatin1String("welcome"));
        QVERIFY(QTest::qWaitForWindowExposed(started.get()));
        window = std::move(started);
    }
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList texts;
    const QList<QMessageBox *> notices = window->findChildren<QMessageBox *>();
    const QRect screen = window->screen()->availableGeometry();
    const auto *paper = window->findChild<QWidget *>(QStringLiteral("scrollAreaWidgetContents"));
    for (const QMessageBox *notice : notices) {
        if (!notice->isVisible())
            continue;
        texts << notice->text();
        // Whole on the screen, away from the paper's middle, most of which
        // stays free to draw on.
        QVERIFY2(screen.contains(notice->frameGeometry()), qPrintable(QTest::toString(notice->frameGeometry())));
        if (paper) {
            const QRect drawn(paper->mapToGlobal(QPoint(0, 0)), paper->size());
            const QRect covered = drawn.intersected(notice->frameGeometry());
            QVERIFY(!notice->frameGeometry().contains(drawn.center()));
            QVERIFY(2 * qint64(covered.width()) * covered.height() < qint64(drawn.width()) * drawn.height());
        }
    }
    QCOMPARE(texts.size(), boxes);
    for (QString text : std::as_const(shown))
        QVERIFY2(texts.join(u'\n').contains(native(text.replace(QStringLiteral("<folder>"), m_dir->path()))),
                 qPrintable(texts.join(u'\n')));
    answer(window.get());
    QVERIFY(answered);
    // Told once; named again only once its folder is back.
    if (what == QLatin1String("gone for good")) {
        window.reset();
        QCOMPARE(AutosaveManager().lostWorkNotice(), QString());
    }
    // Opened by no one: the window would pass it on to the next start.
    const QStringList backups =
        QDir(m_dir->path()).entryList({QStringLiteral("Untitled_backup*"), QStringLiteral("walk_backup*")});
    for (const QString &backup : backups)
        QFile::remove(path(backup));
}

// A piece cut out and moved, left floating: the file has it where the user
// sees it, put down as the stamp puts it, and the user's work goes on as it
// was, the piece floating, the history untouched. With a reference layer's
// cell active, where the stamp cannot put it, it goes back into the drawing
// it came from; after the last drawing of linked layers, the file has the
// frame the stamp adds, with the other layer's hold.
void TestSceneLifeCycle::floatingPieceIsWritten_data()
{
    QTest::addColumn<bool>("autosave");
    QTest::addColumn<QString>("where");
    QTest::newRow("saved") << false << QString();
    QTest::newRow("backed up") << true << QString();
    QTest::newRow("backed up, a reference layer's cell active") << true << QStringLiteral("reference");
    QTest::newRow("saved, after the last drawing of linked layers") << false << QStringLiteral("after last");
    QTest::newRow("backed up, after the last drawing of linked layers") << true << QStringLiteral("after last");
}

void TestSceneLifeCycle::floatingPieceIsWritten()
{
    QFETCH(bool, autosave);
    QFETCH(QString, where);
    Started started = startWindowWithScene();
    MainWindow *window = started.window.get();
    Autosave clock(window);
    Model::KLScene *handle = Model::KLScene::current();
    Model::Scene *scene = currentScene();
    const int ink = scene->activeLayerIdx();
    const int frames = scene->layerFrameCount(ink);
    int away = -1;
    if (where == QLatin1String("reference")) {
        away = scene->insertLayer(std::make_shared<Model::ReferenceLayer>(scene->frameSize(), scene), scene->layerCount());
    } else if (where == QLatin1String("after last")) {
        // A second layer, linked with the first, whose last drawing the
        // stamp holds one frame longer.
        auto linked = std::make_shared<Model::StrokeLayer>(Qt::red, scene->frameSize(), scene);
        for (int frame = 2; frame <= frames; ++frame)
            linked->insertCell(frame - 1, linked->newCell());
        QVERIFY(linked->addStroke(frames, TestSupport::bitmapStroke(QRect(900, 500, 200, 100), 255)));
        const int second = scene->insertLayer(linked, ink + 1);
        QVERIFY(scene->setLayerLinked(ink, true));
        QVERIFY(scene->setLayerLinked(second, true));
    }
    scene->addStroke(ink, scene->activeFrame(), TestSupport::bitmapStroke(QRect(100, 80, 300, 200), 200));
    window->setElapsedClock([] { return qint64(0); });
    QPainterPath lasso;
    lasso.addRect(QRectF(90, 70, 150, 120));
    window->liftFloatingSelection(lasso, true);
    window->setElapsedClock(nullptr);
    Model::FloatingSelection::Transform placement = handle->floatingSelectionTransform();
    placement.third = QTransform::fromTranslate(-600, -400);
    Model::KLScene::pushCommand(new Commands::FloatingSelectionTransform(handle, placement));
    if (away >= 0)
        QVERIFY(scene->setActiveFrameAndLayer(1, away, Model::Scene::ClampToDrawings));
    else if (!where.isEmpty())
        QVERIFY(scene->setActiveFrameAndLayer(frames + 1, ink, Model::Scene::AllowFrameAfterLast));
    QCOMPARE(Model::ToolManager::instance()->currentToolType(), Model::Tool::Type::FloatingSelection);
    const QList<QImage> hole = SceneFileTest::composites(*scene);
    const QString sheet = CellPattern::sheet(*scene);
    const int steps = scene->undoStack()->index();

    QString file = path(QStringLiteral("walk.kl"));
    if (autosave) {
        Model::Settings::instance()->setAutoSaveEnabled(true);
        clock.now += 10'000;
        clock.intervalEnds();
        file = path(QStringLiteral("Untitled_backup1.kl"));
    } else {
        scene->setFilePath(file);
        QVERIFY(window->saveScene());
        QVERIFY(scene->undoStack()->isClean());
    }
    QVERIFY(started.dialogs->asked.isEmpty());
    QCOMPARE(Model::ToolManager::instance()->currentToolType(), Model::Tool::Type::FloatingSelection);
    QCOMPARE(scene->undoStack()->index(), steps);
    QVERIFY(SceneFileTest::composites(*scene) == hole);
    QCOMPARE(CellPattern::sheet(*scene), sheet);

    // What the stamp puts down is what the file holds; over a reference
    // layer the user goes back to the drawing first.
    if (away >= 0)
        QVERIFY(scene->setActiveFrameAndLayer(1, ink, Model::Scene::ClampToDrawings));
    Model::ActionManager::instance()->action(KL::Action::StampFloatingSelection)->trigger();
    if (away >= 0)
        QVERIFY(scene->setActiveFrameAndLayer(1, away, Model::Scene::ClampToDrawings));
    const QList<QImage> stamped = SceneFileTest::composites(*scene);
    QVERIFY(stamped != hole);
    Model::Scene written;
    QCOMPARE(SceneFileTest::readInto(written, fileContents(file)).report, QString());
    QVERIFY(SceneFileTest::composites(written) == stamped);
    QCOMPARE(CellPattern::sheet(written), CellPattern::sheet(*scene));
}

int main(int argc, char **argv)
{
    Application application(argc, argv);
    // The child of the rows that end the program with a signal.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--draw")) || arguments.contains(QStringLiteral("--idle")))
        return drawUntilTheEnd(application, arguments.contains(QStringLiteral("--draw")));
    TestSceneLifeCycle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_scenelifecycle.moc"
