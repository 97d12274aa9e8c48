// The tool chrome of the main window: the controls bar on the paper with its
// pockets, playback buttons, indicators and frame number; the two tool
// settings panels that hang below the pockets; the palette, speed dials and
// customise overlay as pop-ups; and the actions that choose pens, erasers
// and presets, open those panels and pop-ups, and stamp or drop the floating
// selection.

#include "mainwindow.h"

#include "mainwindow_p.h"
#include "mainwindowlookups_p.h"
#include "mainwindowform.h"
#include "playbackcontroller.h"

#include "customize/customizeoverlay.h"
#include "paper/drawingarea.h"
#include "paper/paper.h"
#include "style/uiresources.h"
#include "tools/controlsbar.h"
#include "tools/controlsbarindicator.h"
#include "tools/controlsbartoolbutton.h"
#include "tools/palette.h"
#include "tools/speeddial.h"
#include "tools/toolbar.h"
#include "tools/toolpocket.h"
#include "tools/toolsettings.h"

#include "commandconventions.h"
#include "drawingcellcommands.h"
#include "drawingcontentcommands.h"
#include "scenesettingscommands.h"

#include "actions/actionmanager.h"
#include "scene/klscene.h"
#include "scene/scene.h"
#include "scene/scenemodel.h"
#include "settings/settings.h"
#include "strokes/floatingselection.h"
#include "strokes/singlestroke.h"
#include "tools/toolmanager.h"

#include <QAction>
#include <QCursor>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainterPath>
#include <QProgressDialog>
#include <QTimer>
#include <QToolTip>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace {

using A = KL::Action;
using Type = Model::Tool::Type;
using PenType = Model::Tool::PenType;

using MainWindowLookups::action;

// The three variants of a tool kind, in pocket slot order.
constexpr A ErasingTools[] = {A::KneadedEraser, A::RubberEraser, A::VinylEraser};
constexpr A DrawingTools[] = {A::Pencil, A::Marker, A::Brush};

UI::ToolPocket *newToolPocket(const A (&tools)[UI::ToolPocket::SlotCount], QWidget *parent)
{
    auto *pocket = new UI::ToolPocket(parent);
    for (int slot = 0; slot < UI::ToolPocket::SlotCount; ++slot)
        pocket->setAction(slot, action(tools[slot]));
    return pocket;
}

// A controls-bar button's looks: the hover art while the pointer is over
// it, the click art while it is held down or checked.
QIcon controlsBarIcon(const QString &art)
{
    const QString base = QStringLiteral(":/controlsbar/%1_button").arg(art);
    const QString click = base + QStringLiteral("-click.svg");
    QIcon icon;
    icon.addFile(base + QStringLiteral(".svg"), QSize(), QIcon::Normal, QIcon::Off);
    icon.addFile(base + QStringLiteral("-hover.svg"), QSize(), QIcon::Active, QIcon::Off);
    for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Active, QIcon::Selected})
        icon.addFile(click, QSize(), mode, QIcon::On);
    icon.addFile(click, QSize(), QIcon::Selected, QIcon::Off);
    return icon;
}

QSpacerItem *expandingSpacer(int width = 0, QSizePolicy::Policy horizontal = QSizePolicy::Expanding)
{
    return new QSpacerItem(width, 0, horizontal, QSizePolicy::Minimum);
}

// The middle of [low, high], or value held inside it.
int clampOrMiddle(int value, int low, int high)
{
    return low > high ? (low + high) / 2 : std::clamp(value, low, high);
}

// Says, over the paper, why the floating piece stays up: beside the pointer
// when it is over the paper, else in the paper's middle.
void tellWhyNotStamped(QWidget *paperArea, Model::Scene::InkRefusal refusal)
{
    using Refusal = Model::Scene::InkRefusal;
    QString why;
    switch (refusal) {
    case Refusal::HiddenLayer:
        why = MainWindow::tr("The piece cannot be stamped on a hidden layer.");
        break;
    case Refusal::FadedLayer:
        why = MainWindow::tr("The piece cannot be stamped on a layer faded out entirely.");
        break;
    case Refusal::NotDrawLayer:
        why = MainWindow::tr("The piece cannot be stamped on a reference layer.");
        break;
    case Refusal::LockedHold:
        why = MainWindow::tr("The piece cannot be stamped on a hold while holds are locked for drawing.");
        break;
    case Refusal::None:
        return;
    }
    const bool overPaper = paperArea->rect().contains(paperArea->mapFromGlobal(QCursor::pos()));
    QToolTip::showText(overPaper ? QCursor::pos() : paperArea->mapToGlobal(paperArea->rect().center()), why,
                       paperArea);
}

} // namespace

void MainWindow::createControlsBar()
{
    UI::registerUiResources();
    auto *bar = new UI::ControlsBar;
    bar->setObjectName(QStringLiteral("controlsBar"));
    d->m_controlsBar = bar;
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setObjectName(QStringLiteral("horizontalLayout"));
    barLayout->setSpacing(0);
    barLayout->setContentsMargins(2, 1, 6, 0);

    d->m_eraserPocket = newToolPocket(ErasingTools, bar);
    d->m_drawingPocket = newToolPocket(DrawingTools, bar);
    auto *pockets = new QHBoxLayout;
    pockets->setObjectName(QStringLiteral("horizontalLayout_1"));
    pockets->addSpacing(45);
    pockets->addWidget(d->m_eraserPocket);
    pockets->addSpacing(4);
    pockets->addWidget(d->m_drawingPocket);
    pockets->addSpacing(12);
    pockets->addItem(expandingSpacer());
    barLayout->addLayout(pockets, 0);

    d->m_playIcon = controlsBarIcon(QStringLiteral("playback"));
    d->m_stopIcon = controlsBarIcon(QStringLiteral("stop"));
    const struct
    {
        UI::ControlsBarToolButton *&button;
        const char *name;
        QIcon icon;
        A key;
    } buttons[] = {
        {d->m_jumpToStartButton, "toolButtonJumpToStart", controlsBarIcon(QStringLiteral("jumpToStart")),
         A::JumpToStart},
        {d->m_stepBackButton, "toolButtonStepBack", controlsBarIcon(QStringLiteral("stepBack")), A::StepBack},
        {d->m_playButton, "toolButtonPlayback", d->m_playIcon, A::Play},
        {d->m_stepForwardButton, "toolButtonStepForward", controlsBarIcon(QStringLiteral("stepForward")),
         A::StepForward},
        {d->m_jumpToEndButton, "toolButtonJumpToEnd", controlsBarIcon(QStringLiteral("jumpToEnd")), A::JumpToEnd},
    };
    auto *playback = new QHBoxLayout;
    playback->setObjectName(QStringLiteral("horizontalLayout_2"));
    playback->addItem(expandingSpacer(40, QSizePolicy::MinimumExpanding));
    for (const auto &entry : buttons) {
        entry.button = new UI::ControlsBarToolButton(bar);
        entry.button->setObjectName(QLatin1String(entry.name));
        entry.button->setIcon(entry.icon);
        entry.button->setToolTip(action(entry.key)->toolTip());
        playback->addWidget(entry.button);
    }
    d->m_jumpToStartButton->setProperty("leftMost", true);
    playback->addItem(expandingSpacer());
    barLayout->addLayout(playback, 0);

    d->m_mirrorIndicator = new UI::ControlsBarIndicator(QStringLiteral(":/controlsbar/indicator-mirror.svg"), bar);
    d->m_backlightIndicator =
        new UI::ControlsBarIndicator(QStringLiteral(":/controlsbar/indicator-backlight.svg"), bar);
    d->m_frameNumberLabel = new QLabel(bar);
    d->m_frameNumberLabel->setObjectName(QStringLiteral("labelCurrentFrameNumber"));
    QPalette labelPalette = d->m_frameNumberLabel->palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text}) {
        labelPalette.setColor(QPalette::Active, role, Qt::white);
        labelPalette.setColor(QPalette::Inactive, role, Qt::white);
        labelPalette.setColor(QPalette::Disabled, role, QColor(164, 166, 168, 96));
    }
    d->m_frameNumberLabel->setPalette(labelPalette);
    auto *status = new QHBoxLayout;
    status->setObjectName(QStringLiteral("horizontalLayout_3"));
    status->addItem(expandingSpacer());
    status->addWidget(d->m_mirrorIndicator);
    status->addWidget(d->m_backlightIndicator);
    status->addItem(expandingSpacer());
    status->addWidget(d->m_frameNumberLabel);
    barLayout->addLayout(status, 0);

    applyControlsBarScale();
    ui->scrollAreaWidgetContents->setTopWidget(bar);

    for (const auto &[button, key] : {std::pair{d->m_stepBackButton, A::StepBack},
                                      std::pair{d->m_stepForwardButton, A::StepForward},
                                      std::pair{d->m_jumpToStartButton, A::JumpToStart},
                                      std::pair{d->m_jumpToEndButton, A::JumpToEnd}}) {
        QAction *buttonAction = action(key);
        connect(button, &QAbstractButton::clicked, buttonAction, [buttonAction] { buttonAction->trigger(); });
    }
    // Playing is a toggle of the clock itself, whatever the action's state.
    connect(d->m_playButton, &QAbstractButton::clicked, m_playbackController, &PlaybackController::togglePlayback);
}

void MainWindow::applyControlsBarScale()
{
    const float scale = Model::Settings::instance()->UIScale();
    if (QLabel *label = d->m_frameNumberLabel) {
        QFont font(QStringLiteral("Lucida Sans Unicode"));
        font.setPointSize(int(scale * 21));
        label->setFont(font);
        label->setMinimumWidth(QFontMetrics(font).boundingRect(QStringLiteral("00000")).width());
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    const int iconSide = int(scale * 32);
    for (UI::ControlsBarToolButton *button : {d->m_jumpToStartButton, d->m_stepBackButton, d->m_playButton,
                                              d->m_stepForwardButton, d->m_jumpToEndButton}) {
        if (button)
            button->setIconSize(QSize(iconSide, iconSide));
    }
}

void MainWindow::createToolSettingsPanels()
{
    const struct
    {
        UI::ToolSettings *&panel;
        int kind;
        const A (&tools)[UI::ToolPocket::SlotCount];
        UI::ToolPocket *barPocket;
        A settings;
    } sides[] = {
        {d->m_eraseToolSettings, 1, ErasingTools, d->m_eraserPocket, A::EraseSettings},
        {d->m_drawToolSettings, 0, DrawingTools, d->m_drawingPocket, A::DrawSettings},
    };
    QTimer *hideTimer = d->m_panelHideTimer;
    for (const auto &side : sides) {
        UI::ToolSettings *panel = side.panel = new UI::ToolSettings(side.kind, ui->centralwidget);
        panel->setToolPocket(newToolPocket(side.tools, nullptr));
        panel->hide();

        UI::ToolPocket *barPocket = side.barPocket;
        QAction *settings = action(side.settings);
        const bool drawing = side.kind == 0;
        connect(ui->frame, &UI::DrawingArea::topLeftMoved, panel,
                [this, panel, barPocket] { hangUnderPocket(panel, barPocket); });
        // A pocket's button opens the panel for its tool, or closes it when
        // it already shows that tool.
        connect(barPocket, &UI::ToolPocket::pressed, this, [this, hideTimer, panel, barPocket, settings](int tool) {
            hideTimer->stop();
            hangUnderPocket(panel, barPocket);
            if (panel->showTool(tool))
                settings->trigger();
        });
        // Pressing the pocket takes the focus from the panel; the panel keeps
        // it, so that the press does not close what it is about to toggle.
        connect(barPocket, &UI::ToolPocket::focusReceived, panel, [hideTimer, panel] {
            hideTimer->stop();
            panel->setFocus(Qt::OtherFocusReason);
        });
        connect(settings, &QAction::triggered, this, [this, drawing] { openToolSettings(drawing); });
        connect(panel, &UI::ToolSettings::lostFocus, hideTimer, [hideTimer] { hideTimer->start(50); });
    }
}

void MainWindow::hangUnderPocket(UI::ToolSettings *panel, const UI::ToolPocket *pocket)
{
    panel->moveTopCenter(panel->parentWidget()->mapFromGlobal(pocket->anchorPoint()));
}

void MainWindow::openToolSettings(bool drawing)
{
    UI::ToolSettings *panel = drawing ? d->m_drawToolSettings : d->m_eraseToolSettings;
    UI::ToolSettings *other = drawing ? d->m_eraseToolSettings : d->m_drawToolSettings;
    d->m_panelHideTimer->stop();
    other->hide();
    // The menu bar hears Draw and Erase too, and would close the panel.
    const bool wasOpening = std::exchange(d->m_openingSettings, true);
    action(drawing ? A::Draw : A::Erase)->trigger();
    d->m_openingSettings = wasOpening;
    hangUnderPocket(panel, drawing ? d->m_drawingPocket : d->m_eraserPocket);
    panel->setFocus(Qt::OtherFocusReason);
    panel->show();
}

void MainWindow::createCustomizeOverlay()
{
    auto *overlay = d->m_customizeOverlay = new UI::CustomizeOverlay(this);
    overlay->hide();
    overlay->populateActionsList();
    overlay->setGeometry(rect());
    connect(this, &MainWindow::resized, overlay, [this, overlay] { overlay->setGeometry(rect()); });
    connect(overlay, &UI::CustomizeOverlay::toolBarUpdated, this,
            [this] { m_toolBar->setActionList(Model::Settings::instance()->toolBarActionList()); });
    connect(overlay, &UI::CustomizeOverlay::speedDialsUpdated, this, [this] {
        const Model::Settings *settings = Model::Settings::instance();
        d->m_primarySpeedDial->setActionList(settings->primarySpeedDialActionList());
        d->m_secondarySpeedDial->setActionList(settings->secondarySpeedDialActionList());
    });
}

void MainWindow::wireToolActions()
{
    Model::ToolManager *tools = Model::ToolManager::instance();

    // Each pen with its three presets; a preset loads into its own pen,
    // which then becomes the drawing tool, whatever tool was in use.
    const struct
    {
        A pen;
        A presets[3];
    } pens[] = {
        {A::Pencil, {A::PencilPreset1, A::PencilPreset2, A::PencilPreset3}},
        {A::Marker, {A::MarkerPreset1, A::MarkerPreset2, A::MarkerPreset3}},
        {A::Brush, {A::BrushPreset1, A::BrushPreset2, A::BrushPreset3}},
    };
    for (int type = 0; type < 3; ++type) {
        const auto penType = PenType(type);
        connect(action(pens[type].pen), &QAction::triggered, this, [this, tools, penType] {
            tools->setCurrentPenToolType(penType);
            onActionDraw(true);
        });
        for (int preset = 1; preset <= 3; ++preset) {
            const auto toolPreset = KL::ToolPreset(preset);
            connect(action(pens[type].presets[preset - 1]), &QAction::triggered, this,
                    [this, tools, penType, toolPreset] {
                        tools->usePenToolPreset(penType, toolPreset);
                        tools->setCurrentPenToolType(penType);
                        onActionDraw(true);
                    });
        }
    }
    for (int type = 0; type < 3; ++type) {
        const auto eraserType = PenType(type);
        connect(action(ErasingTools[type]), &QAction::triggered, this, [this, tools, eraserType] {
            tools->setCurrentEraserToolType(eraserType);
            onActionErase(true);
        });
    }

    connect(action(A::PickUpAllOfThisDrawing), &QAction::triggered, this,
            [this] { liftFloatingSelection(QPainterPath(), true); });
    connect(action(A::StampFloatingSelection), &QAction::triggered, this, [this] { stampFloatingSelection(false); });
    connect(action(A::StampFloatingSelectionKeepFloating), &QAction::triggered, this,
            [this] { stampFloatingSelection(true); });
    connect(action(A::DropFloatingSelection), &QAction::triggered, this, &MainWindow::dropFloatingSelection);
    connect(action(A::GetLatestFloatingSelectionBack), &QAction::triggered, this, [] {
        if (Model::KLScene *klscene = Model::KLScene::current())
            Model::KLScene::pushCommand(new Commands::ChangeToolType(klscene, int(Type::FloatingSelection)));
    });

    connect(action(A::Palette), &QAction::triggered, this, &MainWindow::togglePalette);
    connect(action(A::CustomizeToolBar), &QAction::triggered, this, [this] {
        d->m_customizeOverlay->showToolBar();
        d->m_customizeOverlay->setFocus(Qt::OtherFocusReason);
    });
    connect(action(A::PrimarySpeedDial), &QAction::triggered, this, [this] { toggleSpeedDial(true); });
    connect(action(A::SecondarySpeedDial), &QAction::triggered, this, [this] { toggleSpeedDial(false); });
    connect(action(A::CustomizeSpeedDials), &QAction::triggered, this, [this] {
        d->m_customizeOverlay->showSpeedDials();
        d->m_customizeOverlay->setFocus(Qt::OtherFocusReason);
    });

    UI::Paper *paper = ui->scrollAreaWidgetContents;
    connect(paper, &UI::Paper::floatingSelectionStamped, this, [](Qt::KeyboardModifiers modifiers) {
        action(modifiers & Qt::ShiftModifier ? A::StampFloatingSelectionKeepFloating : A::StampFloatingSelection)
            ->trigger();
    });
    connect(paper, &UI::Paper::rightButtonPressed, this, [this](Qt::KeyboardModifiers modifiers) {
        if (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)
            openSpeedDial(modifiers == Qt::NoModifier, true);
    });
}

void MainWindow::stampFloatingSelection(bool keepFloating)
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    Model::KLScene *klscene = Model::KLScene::current();
    Model::FloatingSelection *selection = klscene && klscene->scene() ? klscene->floatingSelection() : nullptr;
    if (!selection || tools->currentToolType() != Type::FloatingSelection) {
        const Type drawingTool = tools->lastDrawingToolType();
        tools->setCurrentTool(drawingTool, cursorTypeForTool(drawingTool));
        return;
    }

    // Collapsing shows progress, which turns the event loop: autosave must
    // not write a drawing half stamped.
    const BusyScope busy(d->m_busyDepth);
    std::unique_ptr<QProgressDialog> progress;
    if (selection->collapseVectorData()) {
        // Collapsing renders the content and may take a while.
        progress = std::make_unique<QProgressDialog>(this);
        progress->setWindowModality(Qt::WindowModal);
        progress->setLabelText(Model::FloatingSelection::collapseProgressLabel());
        progress->setMinimumDuration(2000);
    }
    if (!Commands::stampFloatingSelection(klscene, keepFloating, Commands::progressCallback(progress.get())))
        tellWhyNotStamped(ui->frame, klscene->scene()->activeCellInkRefusal());
}

void MainWindow::dropFloatingSelection()
{
    Model::ToolManager *tools = Model::ToolManager::instance();
    const Type drawingTool = tools->lastDrawingToolType();
    switch (tools->currentToolType()) {
    case Type::FloatingSelection:
        if (Model::KLScene *klscene = Model::KLScene::current())
            Model::KLScene::pushCommand(new Commands::ChangeToolType(klscene, int(drawingTool)));
        break;
    case Type::Lasso:
    case Type::Cutter:
        tools->setCurrentTool(drawingTool, cursorTypeForTool(drawingTool));
        break;
    default:
        break;
    }
}

void MainWindow::placePopUpAtCursor(QWidget *popUp, int margin, QPoint offset)
{
    const UI::DrawingArea *area = ui->frame;
    const QSize size = popUp->size();
    const QRect bounds = area->rect().adjusted(margin, margin, -(margin + size.width()), -(margin + size.height()));
    const QPoint wanted =
        area->mapFromGlobal(QCursor::pos()) - QPoint(size.width() / 2, size.height() / 2) - offset;
    const QPoint place(clampOrMiddle(wanted.x(), bounds.left(), bounds.right()),
                       clampOrMiddle(wanted.y(), bounds.top(), bounds.bottom()));
    popUp->move(popUp->parentWidget()->mapFromGlobal(area->mapToGlobal(place)));
    popUp->raise();
}

void MainWindow::togglePalette()
{
    if (m_palette->isVisible()) {
        m_palette->hide();
        return;
    }
    placePopUpAtCursor(m_palette, 0, QPoint());
    m_palette->show();
}

void MainWindow::toggleSpeedDial(bool primary)
{
    UI::SpeedDial *dial = primary ? d->m_primarySpeedDial : d->m_secondarySpeedDial;
    (primary ? d->m_secondarySpeedDial : d->m_primarySpeedDial)->hide();
    if (dial->isVisible()) {
        // Pressed again while open: choose what the pointer is on.
        if (!dial->isSelectionTimerActive()) {
            dial->selectAndHide();
            return;
        }
        dial->hide();
    }
    placePopUpAtCursor(dial, 5, QPoint(15, 7));
    dial->setHideAfterSelection(true);
    dial->show();
}

void MainWindow::openSpeedDial(bool primary, bool hideAfterSelection)
{
    commitActiveStroke();
    UI::SpeedDial *dial = primary ? d->m_primarySpeedDial : d->m_secondarySpeedDial;
    dial->hideHint();
    action(primary ? A::PrimarySpeedDial : A::SecondarySpeedDial)->trigger();
    dial->setHideAfterSelection(hideAfterSelection);
}
