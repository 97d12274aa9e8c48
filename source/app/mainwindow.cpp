#include "mainwindow.h"

#include "autosavemanager.h"
#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"

#include "dialogs/dialogs.h"
#include "dialogs/preferences.h"
#include "paper/drawingarea.h"
#include "paper/paper.h"
#include "style/klproxystyle.h"
#include "timeline/referencedisplay.h"
#include "timeline/timeline.h"
#include "tools/controlsbar.h"
#include "tools/controlsbarindicator.h"
#include "tools/palette.h"
#include "tools/speeddial.h"
#include "tools/toolbar.h"
#include "tools/toolpocket.h"
#include "tools/toolsettings.h"
#include "xsheet/detachedxsheet.h"
#include "xsheet/layerrenamewidget.h"
#include "xsheet/opacityslider.h"
#include "xsheet/xsheet.h"
#include "xsheet/xsheetpane.h"

#include "actions/actionmanager.h"
#include "render/offscreenrenderer.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "settings/settings.h"
#include "tools/toolcursors.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QLayout>
#include <QResizeEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QUndoGroup>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <type_traits>

// Q_INIT_RESOURCE declares the registration function where it stands, so it
// must stand outside any namespace.
static void registerWindowIcons()
{
    Q_INIT_RESOURCE(appicon);
}

namespace {

using MainWindowLookups::action;

// The window's first show runs its deferred steps once per process, however
// often windows are shown.
bool firstShowPending = true;

// Where the detached exposure sheet opens when it has no place of its own
// yet: as wide as it was docked (`width`, of its contents) and as tall as
// the drawing side of `window`, over that side's left or right part, where
// it was docked, and whole on the window's screen. The window's own frame
// stands for the frame that the system will put around the sheet's.
QRect firstDetachedXSheetGeometry(const QWidget *window, const QWidget *drawingSide, bool onLeft, int width)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    const QRect side(drawingSide->mapToGlobal(QPoint(0, 0)), drawingSide->size());
    QRect placed(side.topLeft(), QSize(width + frame.left() + frame.right(), side.height()));
    if (!onLeft)
        placed.moveRight(side.right());
    if (const QScreen *screen = window->screen()) {
        const QRect available = screen->availableGeometry();
        placed.setSize(placed.size().boundedTo(available.size()));
        placed.moveLeft(std::clamp(placed.left(), available.left(), available.right() + 1 - placed.width()));
        placed.moveTop(std::clamp(placed.top(), available.top(), available.bottom() + 1 - placed.height()));
    }
    return placed.marginsRemoved(frame);
}

} // namespace

MainWindow::MainWindowPrivate::MainWindowPrivate(MainWindow *window, std::unique_ptr<UI::Dialogs> dialogs)
    : m_dialogs(dialogs ? std::move(dialogs) : std::make_unique<UI::Dialogs>())
{
    m_autosaveManager = new AutosaveManager(window);
}

MainWindow::MainWindowPrivate::~MainWindowPrivate()
{
    delete m_autosaveManager;
}

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(nullptr, parent)
{
}

MainWindow::MainWindow(std::unique_ptr<UI::Dialogs> dialogs, QWidget *parent)
    : QMainWindow(parent)
    , d(std::make_unique<MainWindowPrivate>(this, std::move(dialogs)))
    , ui(std::make_unique<Ui::MainWindow>())
    , m_playbackController(new PlaybackController(this))
{
    Model::Settings *settings = Model::Settings::instance();
    Model::ToolManager *tools = Model::ToolManager::instance();

    QApplication::setStyle(new UI::KLProxyStyle);

    registerWindowIcons();
    QIcon icon;
    for (const int size : {16, 32, 64, 128, 256, 512, 1024})
        icon.addFile(QStringLiteral(":/kl-icon_%1.png").arg(size));
    QGuiApplication::setWindowIcon(icon);

    Model::OffscreenRenderer::instance()->initialize(settings->defaultFrameSize());

    ui->setupUi(this);
    UI::Paper *paper = ui->scrollAreaWidgetContents;
    ui->frame->setPaper(paper);
    installEventFilter(this);
    connect(qApp, &QGuiApplication::focusObjectChanged, this, &MainWindow::onFocusObjectChanged);

    d->m_xSheet = new UI::XSheet(this);
    d->m_xSheet->setDialogs(d->m_dialogs.get());
    d->m_xSheetPane = new UI::XSheetPane(this);
    d->m_xSheetPane->layout()->addWidget(d->m_xSheet);

    m_undoGroup = new QUndoGroup(this);

    connect(settings, &Model::Settings::useWindowsInkChanged, this, &MainWindow::onUseWindowsInkChanged);
    applyWindowsInkChoice(settings->useWindowsInk(), true);

    d->m_preferences = new UI::Preferences(this);
    d->m_preferences->hide();

    connect(settings, &Model::Settings::showBeyondButtonsChanged, d->m_xSheet, &UI::XSheet::showBeyondButtons);
    d->m_xSheet->showBeyondButtons(settings->showBeyondButtons());
    connect(settings, &Model::Settings::slideModeChanged, d->m_xSheet, &UI::XSheet::setSlideMode);
    d->m_xSheet->setSlideMode(settings->slideMode());

    m_toolBar = new UI::ToolBar(ui->centralwidget);
    connectToolBar();

    wireActions();
    createShortcutsAndWindowActions();
    connectEditingSignals();

    connect(tools, &Model::ToolManager::cursorChanged, ui->frame, &QWidget::setCursor);
    connect(this, &MainWindow::resized, ui->frame, &UI::DrawingArea::triggerTopLeftMoved);
    connect(settings, &Model::Settings::drawCursorTypeChanged, tools, &Model::ToolManager::updateCursor);
    connect(settings, &Model::Settings::drawCursorOpacityChanged, tools, &Model::ToolManager::updateCursor);

    action(KL::Action::Pencil)->activate(QAction::Trigger);
    updateReturnActions();

    const auto singleShotTimer = [this](int interval) {
        auto *timer = new QTimer(this);
        timer->setSingleShot(true);
        if (interval > 0)
            timer->setInterval(interval);
        return timer;
    };
    d->m_dHoldTimer = singleShotTimer(0);
    d->m_eHoldTimer = singleShotTimer(0);
    d->m_panelHideTimer = singleShotTimer(0);
    connect(d->m_panelHideTimer, &QTimer::timeout, this, &MainWindow::hideToolSettingsPanels);
    d->m_spaceHoldTimer = singleShotTimer(d->m_spaceHoldInterval);
    d->m_zHoldTimer = singleShotTimer(d->m_zHoldInterval);

    // After the timers: a panel's focus loss goes straight to the hide timer,
    // which outlives the panels when the window goes.
    createControlsBar();
    createToolSettingsPanels();

    m_palette = new UI::Palette(ui->centralwidget);
    m_palette->hide();
    m_palette->resize(400, 400);

    d->m_primarySpeedDial = new UI::SpeedDial(ui->centralwidget);
    d->m_primarySpeedDial->setHintText(
        tr("<p>Best use of <b>Speed Dial</b>:</p><p>Hold down the <b>%1</b> key</p>")
            .arg(action(KL::Action::PrimarySpeedDial)->shortcut().toString(QKeySequence::PortableText)));
    d->m_primarySpeedDial->hide();
    d->m_secondarySpeedDial = new UI::SpeedDial(ui->centralwidget);
    d->m_secondarySpeedDial->setHintText(
        tr("<p>Best use of <b>Speed Dial</b>:</p><p>Hold down <b>%1</b></p>")
            .arg(action(KL::Action::SecondarySpeedDial)->shortcut().toString(QKeySequence::PortableText)));
    d->m_secondarySpeedDial->hide();

    createBacklightDialog();

    QPalette sheetPalette = d->m_xSheet->palette();
    sheetPalette.setBrush(QPalette::All, QPalette::Window, QColor(100, 96, 92));
    sheetPalette.setBrush(QPalette::All, QPalette::Highlight, QColor(Qt::black));
    d->m_xSheet->setPalette(sheetPalette);

    d->m_opacitySlider = new UI::OpacitySlider(ui->centralwidget);
    d->m_opacitySlider->hide();

    d->m_layerRenameWidget = new UI::LayerRenameWidget(ui->centralwidget);
    d->m_layerRenameWidget->hide();

    connectHoldKeys();
    connectLayerRequests();

    // Both are windows of their own: hiding one unchecks the action that
    // shows it, and keys typed in them act as here.
    const auto followSecondWindow = [this](auto *window, KL::Action shows) {
        using Window = std::remove_pointer_t<decltype(window)>;
        connect(window, &Window::hidden, this, [shows] { action(shows)->setChecked(false); });
        connect(window, &Window::keyPressed, this, [this](QKeyEvent *event) { keyPressEvent(event); });
        connect(window, &Window::keyReleased, this, [this](QKeyEvent *event) { keyReleaseEvent(event); });
    };
    d->m_detachedXSheet = new UI::DetachedXSheet(this);
    followSecondWindow(d->m_detachedXSheet, KL::Action::XSheetShow);
    d->m_referenceDisplay = new UI::ReferenceDisplay(this);
    followSecondWindow(d->m_referenceDisplay, KL::Action::ReferenceDisplay);

    connect(paper, &UI::Paper::zoomLevelChanged, this, qOverload<double>(&MainWindow::actualizeTitlebar));

    connect(settings, &Model::Settings::gridTypeChanged, paper, &UI::Paper::setGridType);
    connect(settings, &Model::Settings::thumbnailSizeChanged, this, [](KL::ThumbnailSize size) {
        if (Model::KLScene *klscene = Model::KLScene::current(); klscene && klscene->scene())
            klscene->scene()->setThumbnailSize(size, false);
    });
    connect(settings, &Model::Settings::transparencyTypeChanged, this, [this](KL::TransparencyType type) {
        ui->scrollAreaWidgetContents->setTransparencyType(type);
        d->m_xSheet->setTransparencyType(int(type));
        if (d->m_referenceDisplay)
            d->m_referenceDisplay->setTransparencyType(type);
    });

    createMenus();
    d->m_xSheetContextMenu = createXSheetContextMenu();

    connect(d->m_xSheet, &UI::XSheet::rightClickedThumbnail, this, &MainWindow::onRightClickedThumbnail);
    connect(d->m_xSheet, &UI::XSheet::rightClickedLayer, this, &MainWindow::onRightClickedLayer);

    createCustomizeOverlay();

    connect(settings, &Model::Settings::collapseAutomaticallyChanged, this,
            [](bool on) { action(KL::Action::CollapseVectorDataAutomatically)->setChecked(on); });
    connect(settings, &Model::Settings::UIScaleChanged, this, &MainWindow::updateUISize);

    restoreSettings();

    setCursor(Model::sharedCursor(Model::SharedCursor::Arrow));

    if (settings->showHowToAnimateOnStartup()) {
        QTimer::singleShot(0, this, [] { action(KL::Action::ShowHowToAnimate)->activate(QAction::Trigger); });
    }

    connect(d->m_autosaveManager, &AutosaveManager::autosaveTimeout, this, &MainWindow::onAutosaveTimeout);
    connect(d->m_autosaveManager, &AutosaveManager::autosaveReminderTimeout, this, &MainWindow::onAutosaveTimeout);
    d->m_autosaveManager->applySettings();

    // No scene yet: the title says so from the first frame on.
    actualizeTitlebar();
}

MainWindow::~MainWindow()
{
    removeEventFilter(this);
    // The children go after this object's own parts, and the focus moves
    // as they go.
    disconnect(qApp, &QGuiApplication::focusObjectChanged, this, nullptr);
    // The scenes are children and go with the base class, after the private
    // data; what the current one announces on its way out (its undo stack
    // empties) must not reach this window any more. Closing the window has
    // done this already, but a window may also go without being closed.
    if (Model::KLScene *klscene = Model::KLScene::current(); klscene && klscene->parent() == this) {
        disconnectScene(klscene);
        Model::KLScene::setCurrent(nullptr);
    }
}

UI::Dialogs *MainWindow::dialogs() const
{
    return d->m_dialogs.get();
}

void MainWindow::connectToolBar()
{
    Model::Settings *settings = Model::Settings::instance();
    connect(this, &MainWindow::resized, ui->frame, &UI::DrawingArea::triggerLeftAndRightCenterMoved);
    // The bar lives on the central widget, beside the drawing area, which
    // lies right of the exposure sheet when the sheet is on the left.
    connect(ui->frame, &UI::DrawingArea::leftAndRightCenterMoved, this, [this](QPoint left, QPoint right) {
        const int down = d->m_controlsBar ? d->m_controlsBar->height() / 2 : 0;
        QWidget *parent = m_toolBar->parentWidget();
        m_toolBar->moveLeftAndRightCenter(parent->mapFromGlobal(left) + QPoint(0, down),
                                          parent->mapFromGlobal(right) + QPoint(0, down));
    });
    connect(settings, &Model::Settings::toolBarPositionChanged, this, [this](KL::ToolBarPosition position) {
        m_toolBar->setHandlePosition(position);
        ui->frame->triggerLeftAndRightCenterMoved();
        ui->centralwidget->setFocus(Qt::OtherFocusReason);
    });
    connect(settings, &Model::Settings::toolBarVisibleChanged, m_toolBar, &QWidget::setVisible);
    connect(m_toolBar, &UI::ToolBar::toggled, settings, &Model::Settings::setToolBarVisible);
}

void MainWindow::restoreSettings()
{
    Model::Settings *settings = Model::Settings::instance();
    QVariant geometry;
    settings->mainWindowGeometry(geometry, d->m_xSheetOnLeft, d->m_xSheetDetached, d->m_xSheetVisible,
                                 d->m_xSheetWidth);
    if (geometry.isValid() && !geometry.toByteArray().isEmpty()) {
        restoreGeometry(geometry.toByteArray());
    } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        area.setTop(area.top() + QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight));
        const QPoint centre = area.center();
        area.setSize(area.size().boundedTo(QSize(2100, 1200)));
        area.moveCenter(centre);
        setGeometry(area);
    }

    ui->splitter->insertWidget(d->m_xSheetOnLeft ? 0 : ui->splitter->count(), d->m_xSheetPane);

    QVariant windowGeometry;
    settings->xSheetWindowGeometry(windowGeometry);
    if (windowGeometry.isValid() && !windowGeometry.toByteArray().isEmpty())
        d->m_detachedXSheet->setSavedGeometry(windowGeometry.toByteArray());
    windowGeometry.clear();
    settings->referenceDisplayGeometry(windowGeometry);
    if (windowGeometry.isValid() && !windowGeometry.toByteArray().isEmpty())
        d->m_referenceDisplay->setSavedGeometry(windowGeometry.toByteArray());

    for (const auto &[key, checked] : {std::pair{KL::Action::XSheetDetachSeparateWindow, d->m_xSheetDetached},
                                       std::pair{KL::Action::XSheetShow, d->m_xSheetVisible}}) {
        const QSignalBlocker blocker(action(key));
        action(key)->setChecked(checked);
    }

    m_toolBar->setHandlePosition(settings->toolBarPosition());
    ui->frame->triggerLeftAndRightCenterMoved();
    ui->centralwidget->setFocus(Qt::OtherFocusReason);
    m_toolBar->setVisible(settings->toolBarVisible());

    UI::Paper *paper = ui->scrollAreaWidgetContents;
    paper->setGridType(settings->gridType());
    paper->setTransparencyType(settings->transparencyType());
    d->m_xSheet->setTransparencyType(int(settings->transparencyType()));
    d->m_referenceDisplay->setTransparencyType(settings->transparencyType());

    m_toolBar->setActionList(settings->toolBarActionList());
    d->m_primarySpeedDial->setActionList(settings->primarySpeedDialActionList());
    d->m_secondarySpeedDial->setActionList(settings->secondarySpeedDialActionList());
}

void MainWindow::showEvent(QShowEvent *event)
{
    Q_UNUSED(event);
    if (!firstShowPending)
        return;
    firstShowPending = false;
    QTimer::singleShot(0, this, &MainWindow::onFirstShow);
}

void MainWindow::onFirstShow()
{
    onScreenChanged();
    ui->scrollAreaWidgetContents->setZoomLevelCenteringOnOrigin(1.0);
    if (QWindow *window = windowHandle())
        connect(window, &QWindow::screenChanged, this, &MainWindow::onScreenChanged, Qt::UniqueConnection);
    placeXSheet();
    if (d->m_detachedXSheet && action(KL::Action::XSheetShow)->isChecked()
        && action(KL::Action::XSheetDetachSeparateWindow)->isChecked())
        d->m_detachedXSheet->show();
}

void MainWindow::placeXSheet()
{
    action(KL::Action::XSheetLeftSide)->setChecked(d->m_xSheetOnLeft);
    action(KL::Action::XSheetRightSide)->setChecked(!d->m_xSheetOnLeft);

    UI::DetachedXSheet *detached = d->m_detachedXSheet;
    if (d->m_xSheetDetached && detached) {
        // Once the sheet has left it, the splitter is all drawing side.
        const int width = d->m_xSheetWidth > 0 ? d->m_xSheetWidth : d->m_xSheet->sizeHint().width();
        detached->setFirstGeometry(firstDetachedXSheetGeometry(this, ui->splitter, d->m_xSheetOnLeft, width));
        detached->layout()->addWidget(d->m_xSheetPane);
        d->m_opacitySlider->setParent(detached);
        d->m_layerRenameWidget->setParent(detached);
        detached->setVisible(d->m_xSheetVisible && isVisible());
        ui->frame->triggerLeftAndRightCenterMoved();
        ui->centralwidget->setFocus(Qt::OtherFocusReason);
        return;
    }

    if (detached)
        detached->hide();
    d->m_opacitySlider->setParent(ui->centralwidget);
    d->m_layerRenameWidget->setParent(ui->centralwidget);
    QSplitter *splitter = ui->splitter;
    splitter->insertWidget(d->m_xSheetOnLeft ? 0 : splitter->count(), d->m_xSheetPane);
    const int paneIndex = splitter->indexOf(d->m_xSheetPane);
    const int drawingIndex = splitter->indexOf(ui->frame);
    splitter->setCollapsible(paneIndex, true);
    splitter->setStretchFactor(paneIndex, 0);
    splitter->setStretchFactor(drawingIndex, 1);

    // The splitter's total stays: what the pane gains, the drawing side loses.
    QList<int> sizes = splitter->sizes();
    const int paneWidth = sizes.value(paneIndex);
    if (d->m_xSheetVisible) {
        if (d->m_xSheetWidth == 0)
            d->m_xSheetWidth = d->m_xSheet->sizeHint().width();
        sizes[paneIndex] = d->m_xSheetWidth;
        sizes[drawingIndex] += paneWidth - d->m_xSheetWidth;
    } else {
        sizes[drawingIndex] += paneWidth;
        sizes[paneIndex] = 0;
    }
    splitter->setSizes(sizes);

    ui->frame->triggerLeftAndRightCenterMoved();
    ui->centralwidget->setFocus(Qt::OtherFocusReason);
}

void MainWindow::onScreenChanged()
{
    ui->scrollAreaWidgetContents->updateDevicePixelRatio();
    Model::ToolManager::instance()->setDevicePixelRatio(devicePixelRatio());
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Q_EMIT resized(event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    Model::Settings *settings = Model::Settings::instance();
    settings->setMainWindowGeometry(saveGeometry(), d->m_xSheetOnLeft, d->m_xSheetDetached, d->m_xSheetVisible,
                                    d->m_xSheetWidth);
    if (d->m_detachedXSheet)
        settings->setXSheetWindowGeometry(d->m_detachedXSheet->savedGeometry());
    if (d->m_referenceDisplay)
        settings->setReferenceDisplayGeometry(d->m_referenceDisplay->savedGeometry());

    setCurrentScene(nullptr);
    // The pane goes back into the window first, so that the sheet lives as
    // long as the window does.
    if (d->m_detachedXSheet) {
        ui->splitter->insertWidget(d->m_xSheetOnLeft ? 0 : ui->splitter->count(), d->m_xSheetPane);
        d->m_opacitySlider->setParent(ui->centralwidget);
        d->m_layerRenameWidget->setParent(ui->centralwidget);
        d->m_detachedXSheet->deleteLater();
        d->m_detachedXSheet = nullptr;
    }
    if (d->m_referenceDisplay) {
        d->m_referenceDisplay->deleteLater();
        d->m_referenceDisplay = nullptr;
    }
    event->accept();
}

void MainWindow::actualizeTitlebar()
{
    actualizeTitlebar(ui->scrollAreaWidgetContents->zoomLevel());
}

void MainWindow::actualizeTitlebar(double zoomLevel)
{
    QString file;
    QString modified;
    QString size;
    const Model::KLScene *klscene = Model::KLScene::current();
    if (const Model::Scene *scene = klscene ? klscene->scene() : nullptr) {
        file = QFileInfo(scene->filePath()).fileName();
        if (file.isEmpty())
            file = scene->name();
        if (klscene == d->m_recovered)
            file = tr("%1 (recovered from %2)").arg(file, QFileInfo(d->m_recoveredFrom).fileName());
        if (klscene->isModified())
            modified = QStringLiteral("*");
        size = QStringLiteral(" [%1x%2] %3%")
                   .arg(scene->frameWidth())
                   .arg(scene->frameHeight())
                   .arg(qRound(zoomLevel * 100));
    }
    setWindowTitle(QStringLiteral("%1: %2%3").arg(QGuiApplication::applicationDisplayName(), file, modified) + size);
}

void MainWindow::onUseWindowsInkChanged(bool useWindowsInk)
{
    applyWindowsInkChoice(useWindowsInk, false);
}

int MainWindow::cursorTypeForTool(Model::Tool::Type type) const
{
    using Type = Model::Tool::Type;
    const Model::KLScene *klscene = Model::KLScene::current();
    const Model::Scene *scene = klscene ? klscene->scene() : nullptr;
    if (!scene || quint32(type) > quint32(Type::FloatingSelection)
        || (type >= Type::Hand && type <= Type::ZoomPanRotate))
        return Model::Tool::OwnCursor;

    // The one rule of where ink goes, which the stamp and a save of a
    // floating piece follow too.
    using Refusal = Model::Scene::InkRefusal;
    const Refusal refusal = scene->activeCellInkRefusal();
    const bool afterLast = scene->isActiveFrameAfterLastDrawing();
    if (type != Type::OffPegs) {
        if (refusal == Refusal::HiddenLayer)
            return Model::Tool::LayerNotVisibleCursor;
        if (refusal == Refusal::FadedLayer)
            return Model::Tool::LayerOpacityZeroCursor;
        if (refusal == Refusal::NotDrawLayer)
            return Model::Tool::ForbiddenCursor;
    }
    const bool locked = refusal == Refusal::LockedHold;
    switch (type) {
    case Type::OffPegs:
    case Type::Lasso:
        return afterLast ? Model::Tool::ForbiddenCursor : Model::Tool::OwnCursor;
    case Type::Cutter:
        return afterLast || locked ? Model::Tool::ForbiddenCursor : Model::Tool::OwnCursor;
    default:
        return locked ? Model::Tool::ForbiddenCursor : Model::Tool::OwnCursor;
    }
}
