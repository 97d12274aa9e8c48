// The main window's view of the paper (zoom and rotation steps, mirror,
// grid, fit), the backlight settings, the re-measuring of every panel when
// the user-interface scale changes, and the lifting of a lasso's content
// into a floating selection.

#include "mainwindow.h"

#include "mainwindowlookups_p.h"
#include "mainwindow_p.h"
#include "mainwindowform.h"

#include "dialogs/collapsedialog.h"
#include "dialogs/customizebacklightdialog.h"
#include "dialogs/dialogs.h"
#include "paper/drawingarea.h"
#include "paper/paper.h"
#include "timeline/timeline.h"
#include "tools/controlsbar.h"
#include "tools/controlsbarindicator.h"
#include "tools/controlsbartoolbutton.h"
#include "tools/speeddial.h"
#include "tools/toolbar.h"
#include "tools/toolpocket.h"
#include "tools/toolsettings.h"
#include "xsheet/xsheet.h"
#include "xsheet/xsheetpane.h"

#include "drawingcontentcommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>

#include <array>
#include <memory>
#include <optional>

namespace {

using A = KL::Action;

using MainWindowLookups::action;

// Powers of two from 1/16 to 16, each followed by the level half-way to the
// next power.
constexpr std::array<double, 18> ZoomLadder{0.0625, 0.09375, 0.125, 0.1875, 0.25, 0.375, 0.5, 0.75, 1.0,
                                            1.5,    2.0,     3.0,   4.0,    6.0,  8.0,   12.0, 16.0, 24.0};
// Keeps a level the view already sits on from being chosen again.
constexpr double ZoomTolerance = 0.005;
// The paper's own limits, within which it clamps every level it is given.
constexpr double PaperMinimumZoom = 0.0625;
constexpr double PaperMaximumZoom = 16.0;

// The next level up from z, or none where the paper cannot come any closer:
// above the ladder's top, or beyond the paper's limit (the quick zoom can
// take the view past it), where the clamped level would zoom out instead.
std::optional<double> zoomLevelAbove(double z)
{
    for (const double level : ZoomLadder) {
        if (level > z + ZoomTolerance)
            return std::min(level, PaperMaximumZoom) > z ? std::optional<double>(level) : std::nullopt;
    }
    return std::nullopt;
}

double zoomLevelBelow(double z)
{
    double below = PaperMinimumZoom;
    for (const double level : ZoomLadder) {
        if (level > z - ZoomTolerance)
            return below;
        below = level;
    }
    return below;
}

// A lift that takes longer than this offers to collapse the drawing's
// vector data, which is what makes such drawings slow.
constexpr qint64 SlowLiftMs = 500;

qint64 steadyClock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer.elapsed();
}

} // namespace

void MainWindow::wireViewActions()
{
    Model::Settings *settings = Model::Settings::instance();
    UI::Paper *paper = ui->scrollAreaWidgetContents;

    connect(action(A::CustomizeBacklight), &QAction::triggered, this, &MainWindow::showBacklightDialog);
    connect(action(A::ResetView), &QAction::triggered, this, [paper] { paper->resetView(); });
    connect(action(A::FitPaperToView), &QAction::triggered, this, [paper] { paper->fitToView(); });
    connect(action(A::ZoomIn), &QAction::triggered, this, &MainWindow::zoomPaperInToNextLevel);
    connect(action(A::ZoomOut), &QAction::triggered, this, &MainWindow::zoomPaperOutToNextLevel);
    connect(action(A::ViewToX1), &QAction::triggered, this, [this] { zoomPaperTo(1.0); });
    connect(action(A::GridOnOff), &QAction::toggled, this, [paper](bool on) {
        paper->setGridStatus(on ? KL::GridStatus::GridOn : KL::GridStatus::GridOff);
    });
    connect(action(A::OnlyBacklightKeyFrames), &QAction::toggled, settings, &Model::Settings::setOnlyBacklightKeyFrames);
    connect(action(A::MirrorView), &QAction::toggled, this, [this, paper](bool on) {
        commitActiveStroke();
        paper->setMirrorView(on);
    });

    // What the paper and the preferences report back. The indicators of the
    // controls bar may come later than these connections.
    connect(paper, &UI::Paper::mirrorViewChanged, this, [this](bool on) {
        if (d->m_mirrorIndicator)
            d->m_mirrorIndicator->setIndicatorVisible(on);
        action(A::MirrorView)->setChecked(on);
    });
    connect(settings, &Model::Settings::backlightSettingsChanged, this,
            [this](const Model::BacklightSettings &backlight) {
                action(A::OnlyBacklightKeyFrames)->setChecked(backlight.onlyKeyFrames);
                if (d->m_backlightIndicator)
                    d->m_backlightIndicator->setIndicatorVisible(backlight.on);
            });
    connect(paper, &UI::Paper::zoomLevelToFitChanged, this, [](double zoomLevel) {
        action(A::FitPaperToView)->setText(tr("Fit View (%1%)").arg(qRound(zoomLevel * 100)));
        Model::ActionManager::instance()->updateToolTip(A::FitPaperToView);
    });
    connect(paper, &UI::Paper::lassoingCompleted, this, &MainWindow::liftFloatingSelection);
}

void MainWindow::createBacklightDialog()
{
    Model::Settings *settings = Model::Settings::instance();
    d->m_backlightDialog = new UI::CustomizeBacklightDialog(settings->backlightSettings(), this);
    // Every edit in the dialog is stored at once; the store's record, however
    // it changed, is shown in the dialog without being reported back.
    connect(d->m_backlightDialog, &UI::CustomizeBacklightDialog::settingsChanged, settings,
            &Model::Settings::setBacklightSettings);
    connect(settings, &Model::Settings::backlightSettingsChanged, d->m_backlightDialog,
            &UI::CustomizeBacklightDialog::setSettings);
}

void MainWindow::showBacklightDialog()
{
    UI::CustomizeBacklightDialog *dialog = d->m_backlightDialog;
    if (!dialog)
        return;
    dialog->setSettings(Model::Settings::instance()->backlightSettings());
    // Customising shows its effect: the backlight goes on. The registry
    // turns it on from the action's trigger, not from its check mark.
    QAction *backlight = action(A::BacklightOnOff);
    if (!backlight->isChecked())
        backlight->trigger();
    dialog->show();
}

void MainWindow::rotatePaperTo(double degrees)
{
    ui->scrollAreaWidgetContents->rotatePaperTo(degrees);
}

void MainWindow::rotatePaperToNext(double degrees)
{
    ui->scrollAreaWidgetContents->rotatePaperToNext(degrees);
}

void MainWindow::zoomPaperTo(double zoomLevel)
{
    ui->scrollAreaWidgetContents->setZoomLevel(zoomLevel);
}

void MainWindow::zoomPaperInToNextLevel()
{
    if (const std::optional<double> level = zoomLevelAbove(ui->scrollAreaWidgetContents->zoomLevel()))
        zoomPaperTo(*level);
}

void MainWindow::zoomPaperOutToNextLevel()
{
    zoomPaperTo(zoomLevelBelow(ui->scrollAreaWidgetContents->zoomLevel()));
}

void MainWindow::hideToolSettingsPanels()
{
    // A panel opened from its own pocket stays until that pocket closes it.
    for (UI::ToolSettings *panel : {d->m_drawToolSettings, d->m_eraseToolSettings}) {
        if (panel && panel->isVisible() && !panel->isToolPocketShown())
            panel->hide();
    }
}

void MainWindow::updateUISize()
{
    applyControlsBarScale();
    if (d->m_controlsBar)
        d->m_controlsBar->updateUISize();
    for (UI::ControlsBarIndicator *indicator : {d->m_mirrorIndicator, d->m_backlightIndicator}) {
        if (indicator)
            indicator->updateUISize();
    }
    for (UI::ToolPocket *pocket : {d->m_eraserPocket, d->m_drawingPocket}) {
        if (pocket)
            pocket->updateUISize();
    }
    for (UI::ToolSettings *panel : {d->m_eraseToolSettings, d->m_drawToolSettings}) {
        if (panel)
            panel->updateUISize();
    }
    d->m_xSheetPane->updateUISize();
    d->m_xSheet->updateUISize();

    d->m_primarySpeedDial->updateUISize();
    d->m_secondarySpeedDial->updateUISize();
    ui->timeline->updateUISize();
    ui->scrollAreaWidgetContents->updateUISize();
    m_toolBar->updateUISize();

    // The exposure sheet measures its rows from the thumbnail size.
    if (Model::KLScene *klscene = Model::KLScene::current(); klscene && klscene->scene())
        klscene->scene()->setThumbnailSize(Model::Settings::instance()->thumbnailSize(), true);

    // The tool bar changed its size and stands centred again.
    ui->frame->triggerLeftAndRightCenterMoved();
    update();
    updateGeometry();
}

void MainWindow::setElapsedClock(std::function<qint64()> clock)
{
    d->m_elapsedClock = std::move(clock);
}

void MainWindow::liftFloatingSelection(const QPainterPath &path, bool cutLassoPath)
{
    Model::KLScene *klscene = Model::KLScene::current();
    Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene)
        return;
    // Collapsing what was lifted shows progress, which turns the event loop:
    // autosave must not write a drawing half lifted.
    const BusyScope busy(d->m_busyDepth);
    const auto now = [this] { return d->m_elapsedClock ? d->m_elapsedClock() : steadyClock(); };
    const qint64 started = now();
    std::unique_ptr<Model::FloatingSelection> selection = scene->activeDrawingContent(path);
    if (!selection)
        return;

    // Other programs get the lifted lines on white.
    const QImage lifted = selection->image();
    if (!lifted.isNull()) {
        QImage copy(lifted.size(), QImage::Format_RGB32);
        copy.fill(Qt::white);
        QPainter painter(&copy);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(0, 0, lifted);
        painter.end();
        auto *mime = new QMimeData;
        mime->setImageData(copy);
        QGuiApplication::clipboard()->setMimeData(mime);
    }

    // A slow lift means a drawing of many strokes: offer to collapse them.
    Model::Settings *settings = Model::Settings::instance();
    bool collapse = false;
    if (now() - started > SlowLiftMs) {
        collapse = settings->collapseAutomatically();
        if (!collapse) {
            UI::CollapseDialog dialog(this);
            dialog.resize(1, 1);
            if (d->m_dialogs->exec(&dialog) == QDialog::Accepted) {
                collapse = true;
                if (dialog.collapseAutomatically())
                    settings->setCollapseAutomatically(true);
            }
        }
    }
    selection->setCollapseVectorData(collapse);

    // Collapsing runs when the step is pushed, and may be long.
    std::unique_ptr<QProgressDialog> progress;
    if (collapse) {
        progress = std::make_unique<QProgressDialog>(this);
        progress->setWindowModality(Qt::WindowModal);
    }
    Commands::liftFloatingSelection(klscene, std::move(selection), path, cutLassoPath, progress.get());
}
