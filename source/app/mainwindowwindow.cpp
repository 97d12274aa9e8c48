// The main window's handlers of the actions that show or place windows and
// panels (the exposure sheet, the reference display, full screen, the
// preferences, the about box, the tutorial), change the scene settings,
// collapse vector data and choose the tablet interface.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"
#include "mainwindowform.h"

#include "dialogs/aboutdialog.h"
#include "dialogs/dialogs.h"
#include "dialogs/preferences.h"
#include "dialogs/scenesettingsdialog.h"
#include "dialogs/tutorialdialog.h"
#include "paper/drawingarea.h"
#include "timeline/referencedisplay.h"
#include "xsheet/xsheetpane.h"

#include "drawingcontentcommands.h"
#include "scenesettingscommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QProgressDialog>
#include <QSplitter>

#include <memory>

namespace {

using A = KL::Action;

using MainWindowLookups::action;

// Long commands report to this while the window waits for them.
class WindowModalProgress : public QProgressDialog
{
public:
    explicit WindowModalProgress(QWidget *window)
        : QProgressDialog(window)
    {
        setWindowModality(Qt::WindowModal);
    }
};

} // namespace

void MainWindow::wireWindowActions()
{
    connect(action(A::SceneSettings), &QAction::triggered, this, &MainWindow::changeSceneSettings);

    connect(action(A::XSheetShow), &QAction::toggled, this, &MainWindow::setXSheetVisible);
    connect(ui->splitter, &QSplitter::splitterMoved, this, &MainWindow::onXSheetSplitterMoved);
    connect(action(A::XSheetOppositeSide), &QAction::triggered, this, [this] {
        d->m_xSheetOnLeft = !d->m_xSheetOnLeft;
        placeXSheet();
    });
    connect(action(A::XSheetLeftSide), &QAction::triggered, this, [this] {
        d->m_xSheetOnLeft = true;
        placeXSheet();
    });
    connect(action(A::XSheetRightSide), &QAction::triggered, this, [this] {
        d->m_xSheetOnLeft = false;
        placeXSheet();
    });
    connect(action(A::XSheetDetachSeparateWindow), &QAction::toggled, this, [this](bool on) {
        // The docked width is what the sheet comes back to.
        rememberDockedXSheetWidth();
        d->m_xSheetDetached = on;
        placeXSheet();
    });

    connect(action(A::ReferenceDisplay), &QAction::toggled, this, [this](bool on) {
        // Gone once the window has closed.
        if (d->m_referenceDisplay)
            d->m_referenceDisplay->setVisibility(on);
    });
    connect(action(A::FullScreen), &QAction::triggered, this,
            [this] { setWindowState(windowState() ^ Qt::WindowFullScreen); });

    connect(action(A::ShowHowToAnimate), &QAction::triggered, this, &MainWindow::showHowToAnimate);
    connect(action(A::About), &QAction::triggered, this, [this] {
        if (!d->m_about)
            d->m_about = new UI::AboutDialog(this);
        d->m_about->raise();
        d->m_about->show();
        d->m_about->activateWindow();
    });
    connect(action(A::Settings), &QAction::triggered, this, [this] {
        if (!d->m_preferences)
            return;
        d->m_preferences->raise();
        d->m_preferences->show();
        d->m_preferences->activateWindow();
    });
    connect(action(A::CollapseVectorData), &QAction::triggered, this, [this] {
        Model::KLScene *klscene = Model::KLScene::current();
        if (!klscene || !klscene->scene())
            return;
        // The progress dialog turns the event loop: autosave must not write
        // a drawing half collapsed.
        const BusyScope busy(d->m_busyDepth);
        WindowModalProgress progress(this);
        Model::KLScene::pushCommand(new Commands::CollapseVectorData(klscene, klscene->currentIndex(), &progress));
    });
}

void MainWindow::changeSceneSettings()
{
    const QPointer<Model::KLScene> klscene = Model::KLScene::current();
    const Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene)
        return;
    // Resizing every drawing shows progress, which turns the event loop:
    // autosave must not write a scene half resized.
    const BusyScope busy(d->m_busyDepth);
    Model::Settings *settings = Model::Settings::instance();

    UI::SceneSettings shown;
    shown.frameSize = scene->frameSize();
    shown.frameRate = scene->frameRate();
    shown.fitMode = settings->defaultChangeFrameSizeFitMode();
    shown.initialNumberOfFrames = 1;
    shown.mode = UI::SceneSettings::Mode::ChangeSceneSettings;
    UI::SceneSettingsDialog dialog(shown, this);
    dialog.resize(1, 1);
    if (d->m_dialogs->exec(&dialog) != QDialog::Accepted)
        return;
    // While the dialog was up the system may have handed over a document
    // to open; the answer was about the scene that was shown.
    if (!klscene || klscene != Model::KLScene::current())
        return;

    const UI::SceneSettings chosen = dialog.sceneSettings();
    if (chosen.frameSize != shown.frameSize || !qFuzzyCompare(chosen.frameRate, shown.frameRate)) {
        WindowModalProgress progress(this);
        auto change = std::make_unique<Commands::ChangeSceneSettings>(klscene, chosen.frameSize, chosen.fitMode,
                                                                      chosen.frameRate, &progress);
        // A size the drawings cannot be held at is refused as a whole; the
        // scene stays as it was, and the user is told why.
        if (!change->errorString().isEmpty()) {
            d->m_dialogs->warning(this, QGuiApplication::applicationDisplayName(), change->errorString(),
                                  QMessageBox::Ok);
        } else {
            Model::KLScene::pushCommand(change.release());
        }
    }
    settings->setDefaultChangeFrameSizeFitMode(chosen.fitMode);
}

void MainWindow::showHowToAnimate()
{
    Model::Settings *settings = Model::Settings::instance();
    UI::TutorialDialog tutorial(this);
    tutorial.setDontShowAgain(!settings->showHowToAnimateOnStartup());
    d->m_dialogs->exec(&tutorial);
    settings->setShowHowToAnimateOnStartup(!tutorial.dontShowAgain());
}

void MainWindow::applyWindowsInkChoice(bool useWindowsInk, bool atStartUp)
{
    const bool winTabWanted = !useWindowsInk;
    WinTabClickWorkaround::setWinTabEnabled(winTabWanted);
    const bool winTab = WinTabClickWorkaround::isWinTabEnabled();
    if (winTab != winTabWanted) {
        // A system without WinTab has no choice to offer: the stored choice
        // quietly follows it at start, and only a user's request is answered.
        if (!atStartUp || WinTabClickWorkaround::isWinTabAvailable()) {
            d->m_dialogs->warning(this, QGuiApplication::applicationDisplayName(),
                                  tr("Changing the Windows Ink settting failed"), QMessageBox::Ok);
        }
        // The preference tells what is in force, not what was asked for.
        Model::Settings::instance()->setUseWindowsInk(!winTab);
    }
    if (winTab)
        qApp->installEventFilter(&d->m_winTabClickWorkaround);
    else
        qApp->removeEventFilter(&d->m_winTabClickWorkaround);
    action(A::UseWindowsInk)->setChecked(!winTab);
}

void MainWindow::setXSheetVisible(bool visible)
{
    if (!visible)
        rememberDockedXSheetWidth();
    d->m_xSheetVisible = visible;
    placeXSheet();
}

void MainWindow::onXSheetSplitterMoved()
{
    const int width = dockedXSheetWidth();
    if (width > 0)
        d->m_xSheetWidth = width;
    // Dragged shut, the sheet counts as hidden; dragged open, as shown.
    action(A::XSheetShow)->setChecked(width >= 1);
    ui->frame->setFocus(Qt::OtherFocusReason);
}

int MainWindow::dockedXSheetWidth() const
{
    const QSplitter *splitter = ui->splitter;
    const int index = splitter->indexOf(d->m_xSheetPane);
    return index < 0 ? 0 : splitter->sizes().value(index);
}

void MainWindow::rememberDockedXSheetWidth()
{
    // Before the window is laid out the splitter's sizes mean nothing.
    if (d->m_xSheetDetached || !ui->splitter->isVisible())
        return;
    if (const int width = dockedXSheetWidth(); width > 0)
        d->m_xSheetWidth = width;
}
