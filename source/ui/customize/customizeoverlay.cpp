#include "customize/customizeoverlay.h"

#include "customize/actionslist.h"
#include "customize/actionslistitemdelegate.h"
#include "customize/customizespeeddial.h"
#include "customize/customizetoolbar.h"
#include "customize/dragarrow.h"
#include "customize/draggablespacer.h"
#include "customize/recyclebin.h"
#include "style/uiresources.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QListWidgetItem>
#include <QPainter>
#include <QPaintEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QVBoxLayout>


namespace UI {

namespace {

constexpr int BarHeight = 47;
constexpr int ShadowHeight = 32;
const QColor BandColor(57, 57, 57);
const QColor BackgroundColor(100, 96, 92);
const QColor LightText(221, 216, 213);
const QColor DarkText(65, 61, 58);
// The program's own font, registered at start-up; Qt falls back to another
// family where it is missing.
const QString HeadingFamily = QStringLiteral("Passion One");

void setShadowStops(QLinearGradient &gradient)
{
    gradient.setColorAt(0.0, QColor(0, 0, 0, 67));
    gradient.setColorAt(0.5, QColor(0, 0, 0, 15));
    gradient.setColorAt(1.0, QColor(0, 0, 0, 0));
}

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::All, role, colour);
    widget->setPalette(palette);
}

QLabel *centredLabel(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// The categories of the action list, in order; a NoAction entry stands
// for a separator between two groups.
struct Category
{
    const char *name;
    QList<KL::Action> actions;
};

} // namespace

// The widgets of the overlay, built as a designer form would build them.
class CustomizeOverlayForm
{
public:
    QVBoxLayout *verticalLayout;
    QLabel *titleLabel;
    QHBoxLayout *horizontalLayout_2;
    QHBoxLayout *horizontalLayout_3;
    ActionsList *actionsListWidget;
    QVBoxLayout *verticalLayout_2;
    QVBoxLayout *verticalLayout_5;
    DragArrow *widget;
    QLabel *dragDescriptionLabel;
    QVBoxLayout *verticalLayout_10;
    QHBoxLayout *horizontalLayout;
    DraggableSpacer *draggableSpacer;
    QLabel *spacerDescriptionLabel;
    QHBoxLayout *horizontalLayout_4;
    QVBoxLayout *verticalLayout_3;
    QStackedWidget *stackedWidget;
    QWidget *page;
    QVBoxLayout *verticalLayout_6;
    QLabel *toolbarLabel;
    CustomizeToolBar *toolBar;
    QWidget *page_2;
    QVBoxLayout *verticalLayout_9;
    QLabel *primaryLabel;
    CustomizeSpeedDial *primarySpeedDial;
    QLabel *secondaryLabel;
    CustomizeSpeedDial *secondarySpeedDial;
    QVBoxLayout *verticalLayout_4;
    RecycleBin *recycleBin;
    QLabel *recycleLabel;
    QDialogButtonBox *buttonBox;

    void setupUi(QWidget *overlay);
    void retranslateUi(QWidget *overlay);
};

void CustomizeOverlayForm::setupUi(QWidget *overlay)
{
    if (overlay->objectName().isEmpty())
        overlay->setObjectName(QStringLiteral("UI__CustomizeOverlay"));
    overlay->resize(773, 374);
    const auto expandingRow = [] { return new QSpacerItem(0, 20, QSizePolicy::Expanding, QSizePolicy::Minimum); };
    const auto gap = [] { return new QSpacerItem(50, 20, QSizePolicy::Maximum, QSizePolicy::Minimum); };
    const auto expandingColumn = [](int width, int height) {
        return new QSpacerItem(width, height, QSizePolicy::Minimum, QSizePolicy::Expanding);
    };

    verticalLayout = new QVBoxLayout(overlay);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    titleLabel = centredLabel("titleLabel", overlay);
    verticalLayout->addWidget(titleLabel);

    horizontalLayout_2 = new QHBoxLayout();
    horizontalLayout_2->setObjectName(QStringLiteral("horizontalLayout_2"));
    horizontalLayout_2->setSpacing(0);

    horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setObjectName(QStringLiteral("horizontalLayout_3"));
    horizontalLayout_3->setContentsMargins(-1, 0, -1, -1);
    horizontalLayout_3->addItem(expandingRow());
    actionsListWidget = new ActionsList(overlay);
    actionsListWidget->setObjectName(QStringLiteral("actionsListWidget"));
    actionsListWidget->setFrameShape(QFrame::NoFrame);
    actionsListWidget->setFrameShadow(QFrame::Plain);
    actionsListWidget->setAutoFillBackground(false);
    actionsListWidget->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    actionsListWidget->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    horizontalLayout_3->addWidget(actionsListWidget);
    horizontalLayout_2->addLayout(horizontalLayout_3);
    horizontalLayout_2->addItem(gap());

    verticalLayout_2 = new QVBoxLayout();
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(50);
    verticalLayout_2->addItem(expandingColumn(0, 0));
    verticalLayout_5 = new QVBoxLayout();
    verticalLayout_5->setObjectName(QStringLiteral("verticalLayout_5"));
    verticalLayout_5->setSpacing(20);
    widget = new DragArrow(overlay);
    widget->setObjectName(QStringLiteral("widget"));
    verticalLayout_5->addWidget(widget);
    dragDescriptionLabel = centredLabel("dragDescriptionLabel", overlay);
    dragDescriptionLabel->setMaximumWidth(205);
    dragDescriptionLabel->setWordWrap(true);
    verticalLayout_5->addWidget(dragDescriptionLabel);
    verticalLayout_2->addLayout(verticalLayout_5);
    verticalLayout_10 = new QVBoxLayout();
    verticalLayout_10->setObjectName(QStringLiteral("verticalLayout_10"));
    verticalLayout_10->setSpacing(0);
    horizontalLayout = new QHBoxLayout();
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    draggableSpacer = new DraggableSpacer(overlay);
    draggableSpacer->setObjectName(QStringLiteral("draggableSpacer"));
    horizontalLayout->addWidget(draggableSpacer);
    horizontalLayout->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    verticalLayout_10->addLayout(horizontalLayout);
    spacerDescriptionLabel = centredLabel("spacerDescriptionLabel", overlay);
    spacerDescriptionLabel->setMaximumWidth(205);
    spacerDescriptionLabel->setWordWrap(true);
    verticalLayout_10->addWidget(spacerDescriptionLabel);
    verticalLayout_2->addLayout(verticalLayout_10);
    verticalLayout_2->addItem(expandingColumn(0, 0));
    horizontalLayout_2->addLayout(verticalLayout_2);
    horizontalLayout_2->addItem(gap());

    horizontalLayout_4 = new QHBoxLayout();
    horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
    horizontalLayout_4->setSpacing(0);
    verticalLayout_3 = new QVBoxLayout();
    verticalLayout_3->setObjectName(QStringLiteral("verticalLayout_3"));
    verticalLayout_3->setSpacing(0);
    verticalLayout_3->addItem(expandingColumn(0, 0));
    stackedWidget = new QStackedWidget(overlay);
    stackedWidget->setObjectName(QStringLiteral("stackedWidget"));

    page = new QWidget();
    page->setObjectName(QStringLiteral("page"));
    verticalLayout_6 = new QVBoxLayout(page);
    verticalLayout_6->setObjectName(QStringLiteral("verticalLayout_6"));
    toolbarLabel = centredLabel("toolbarLabel", page);
    toolbarLabel->setWordWrap(true);
    verticalLayout_6->addWidget(toolbarLabel);
    toolBar = new CustomizeToolBar(page);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    verticalLayout_6->addWidget(toolBar);
    stackedWidget->addWidget(page);

    page_2 = new QWidget();
    page_2->setObjectName(QStringLiteral("page_2"));
    verticalLayout_9 = new QVBoxLayout(page_2);
    verticalLayout_9->setObjectName(QStringLiteral("verticalLayout_9"));
    verticalLayout_9->setSpacing(16);
    primaryLabel = centredLabel("primaryLabel", page_2);
    primaryLabel->setWordWrap(true);
    verticalLayout_9->addWidget(primaryLabel);
    primarySpeedDial = new CustomizeSpeedDial(page_2);
    primarySpeedDial->setObjectName(QStringLiteral("primarySpeedDial"));
    verticalLayout_9->addWidget(primarySpeedDial);
    secondaryLabel = new QLabel(page_2);
    secondaryLabel->setObjectName(QStringLiteral("secondaryLabel"));
    secondaryLabel->setMinimumHeight(40);
    secondaryLabel->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    secondaryLabel->setWordWrap(true);
    verticalLayout_9->addWidget(secondaryLabel);
    secondarySpeedDial = new CustomizeSpeedDial(page_2);
    secondarySpeedDial->setObjectName(QStringLiteral("secondarySpeedDial"));
    verticalLayout_9->addWidget(secondarySpeedDial);
    stackedWidget->addWidget(page_2);

    verticalLayout_3->addWidget(stackedWidget);
    verticalLayout_3->addItem(expandingColumn(0, 0));
    horizontalLayout_4->addLayout(verticalLayout_3);
    horizontalLayout_4->addItem(gap());
    verticalLayout_4 = new QVBoxLayout();
    verticalLayout_4->setObjectName(QStringLiteral("verticalLayout_4"));
    verticalLayout_4->setSpacing(10);
    verticalLayout_4->addItem(expandingColumn(20, 40));
    recycleBin = new RecycleBin(overlay);
    recycleBin->setObjectName(QStringLiteral("recycleBin"));
    verticalLayout_4->addWidget(recycleBin);
    recycleLabel = centredLabel("recycleLabel", overlay);
    recycleLabel->setWordWrap(true);
    verticalLayout_4->addWidget(recycleLabel);
    verticalLayout_4->addItem(expandingColumn(20, 40));
    horizontalLayout_4->addLayout(verticalLayout_4);
    horizontalLayout_4->addItem(expandingRow());
    horizontalLayout_2->addLayout(horizontalLayout_4);
    verticalLayout->addLayout(horizontalLayout_2);

    buttonBox = new QDialogButtonBox(overlay);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setAutoFillBackground(true);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                  | QDialogButtonBox::RestoreDefaults);
    verticalLayout->addWidget(buttonBox);

    retranslateUi(overlay);
    stackedWidget->setCurrentIndex(0);
}

void CustomizeOverlayForm::retranslateUi(QWidget *overlay)
{
    const auto translate = [](const char *text) { return QCoreApplication::translate("UI::CustomizeOverlay", text); };
    overlay->setWindowTitle(translate("CustomizeOverlay"));
    titleLabel->setText(translate("TextLabel"));
    dragDescriptionLabel->setText(translate("Drag icon from list, drop at preferred spot on Speed Dial"));
    spacerDescriptionLabel->setText(translate("Use this spacer to better organize icons"));
    toolbarLabel->setText(translate("Tool Bar"));
    primaryLabel->setText(translate("Primary Speed Dial [S]"));
    secondaryLabel->setText(translate("Secondary Speed Dial [Shift S]"));
    recycleLabel->setText(translate("Icons not used - drop here"));
}

class CustomizeOverlay::CustomizeOverlayPrivate
{
public:
    CustomizeOverlayPrivate()
    {
        registerUiResources();
        m_iconFrameArt.load(QStringLiteral(":/customize/iconFrame.svg"));
        setShadowStops(m_topShadowGradient);
        setShadowStops(m_bottomShadowGradient);
    }

    int m_barHeight = BarHeight;
    QRectF m_headerRect;
    int m_shadowHeight = ShadowHeight;
    QRectF m_topShadowRect;
    QRectF m_bottomShadowRect;
    QLinearGradient m_topShadowGradient{QPointF(0, BarHeight), QPointF(0, BarHeight + ShadowHeight)};
    QLinearGradient m_bottomShadowGradient;
    QSvgRenderer m_iconFrameArt;
    Mode m_mode = Mode::ToolBar;
};

CustomizeOverlay::CustomizeOverlay(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<CustomizeOverlayPrivate>())
    , ui(std::make_unique<CustomizeOverlayForm>())
{
    ui->setupUi(this);

    setAutoFillBackground(true);
    setColour(this, QPalette::Window, BackgroundColor);

    setColour(ui->actionsListWidget, QPalette::Base, Qt::transparent);
    setColour(ui->actionsListWidget, QPalette::Text, LightText);
    // The list's scroll bars are drawn as handles over the overlay's
    // background, which must show through.
    ui->actionsListWidget->verticalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    ui->actionsListWidget->horizontalScrollBar()->setAttribute(Qt::WA_OpaquePaintEvent, false);
    ui->actionsListWidget->setItemDelegate(new ActionsListItemDelegate(ui->actionsListWidget));
    ui->actionsListWidget->setDragEnabled(true);

    setColour(ui->buttonBox, QPalette::Window, BandColor);
    ui->buttonBox->setFixedHeight(BarHeight);

    ui->titleLabel->setText(tr("CUSTOMIZE"));
    ui->titleLabel->setFont(QFont(HeadingFamily, 20));
    ui->titleLabel->setFixedHeight(BarHeight);
    for (QLabel *label : {ui->titleLabel, ui->toolbarLabel, ui->primaryLabel, ui->secondaryLabel, ui->recycleLabel})
        setColour(label, QPalette::WindowText, LightText);
    for (QLabel *label : {ui->dragDescriptionLabel, ui->spacerDescriptionLabel})
        setColour(label, QPalette::WindowText, DarkText);
    ui->toolbarLabel->setFixedWidth(ui->toolBar->width());
    ui->primaryLabel->setFixedWidth(ui->primarySpeedDial->width());
    ui->secondaryLabel->setFixedWidth(ui->secondarySpeedDial->width());

    connect(ui->toolBar, &CustomizeToolBar::shadowUpdateNeeded, this,
            [this](QRect rect) { update(QRect(mapFromGlobal(rect.topLeft()), rect.size())); });
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &CustomizeOverlay::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &CustomizeOverlay::reject);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, &CustomizeOverlay::buttonClicked);
}

CustomizeOverlay::~CustomizeOverlay() = default;

void CustomizeOverlay::populateActionsList()
{
    using KL::Action;
    const Category categories[] = {
        {"Drawing",
         {Action::Draw, Action::Erase, Action::DrawEraseToggle, Action::NoAction, Action::Pencil, Action::Marker,
          Action::Brush, Action::NoAction, Action::KneadedEraser, Action::RubberEraser, Action::VinylEraser,
          Action::NoAction, Action::PencilPreset1, Action::PencilPreset2, Action::PencilPreset3,
          Action::MarkerPreset1, Action::MarkerPreset2, Action::MarkerPreset3, Action::BrushPreset1,
          Action::BrushPreset2, Action::BrushPreset3}},
        {"Flip & Play",
         {Action::Play, Action::NoAction, Action::JumpToStart, Action::JumpToEnd, Action::NoAction,
          Action::MuteAudio}},
        {"Light Table (View)",
         {Action::BacklightOnOff, Action::BacklightToggleAB, Action::NoAction, Action::Pan, Action::Zoom,
          Action::Rotate, Action::NoAction, Action::ResetView, Action::FitPaperToView, Action::NoAction,
          Action::GridOnOff, Action::NoAction, Action::MarkAsKeyDrawing, Action::UnmarkAllKeyDrawings,
          Action::NoAction, Action::OnlyBacklightKeyFrames, Action::NoAction, Action::MirrorView, Action::NoAction,
          Action::OffPegs}},
        {"X-Sheet",
         {Action::SlideMode, Action::AddClonesMode, Action::ToggleXSheetDragMode, Action::NoAction,
          Action::NewLayer, Action::DuplicateActiveLayer, Action::NoAction, Action::DiscardActiveLayer,
          Action::NoAction, Action::LayerVisibility, Action::LayerLink, Action::NoAction, Action::MergeLayerDown}},
        {"Edit",
         {Action::Undo, Action::Redo, Action::NoAction, Action::AddCloneDrawing, Action::AddBlankDrawing,
          Action::InsertBlankDrawing, Action::NoAction, Action::TurnCloneIntoOriginal, Action::DuplicateDrawing,
          Action::NoAction, Action::ClearDrawingMakingBlank, Action::LoseDrawingMakingHold, Action::NoAction,
          Action::DiscardDrawing, Action::BackDeleteDrawing}},
        {"Pick Up (Selection)", {Action::Lasso, Action::Cutter, Action::PickUpAllOfThisDrawing}},
        {"Paint", {Action::Palette, Action::ColorPickerTool, Action::FillTool}},
    };

    Model::ActionManager *actions = Model::ActionManager::instance();
    ui->actionsListWidget->clear();
    addBlank();
    for (const Category &category : categories) {
        addCategory(QString::fromLatin1(category.name));
        for (KL::Action action : category.actions) {
            if (action == Action::NoAction)
                addSeparator();
            else
                addAction(actions->action(action));
        }
    }
    addBlank();
}

void CustomizeOverlay::addAction(QAction *action)
{
    if (!action) {
        qDebug() << "UI::CustomizeOverlay::addAction" << "trying to insert null action";
        return;
    }
    auto *item = new QListWidgetItem(action->iconText().remove(QLatin1Char('&')));
    item->setData(ActionsList::ChromeRole, false);
    const QVariant name = action->property("KLActionName");
    if (name.isValid())
        item->setData(ActionsList::NameRole, name.toString());
    else
        qDebug() << "UI::CustomizeOverlay::addAction" << "Adding action without name";
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled);

    const qreal ratio = qApp->devicePixelRatio();
    const int side = int(ratio * 36);
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        d->m_iconFrameArt.render(&painter, QRectF(0, 0, 36, 36));
        action->icon().paint(&painter, QRect(2, 2, 32, 32), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
    }
    item->setIcon(QIcon(pixmap));
    ui->actionsListWidget->addItem(item);
}

void CustomizeOverlay::addCategory(const QString &name)
{
    auto *item = new QListWidgetItem(name.toUpper());
    item->setData(ActionsList::ChromeRole, true);
    item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled));
    ui->actionsListWidget->addItem(item);
}

void CustomizeOverlay::addSeparator()
{
    auto *item = new QListWidgetItem;
    item->setData(ActionsList::ChromeRole, true);
    item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsEnabled));
    ui->actionsListWidget->addItem(item);
}

void CustomizeOverlay::addBlank()
{
    auto *item = new QListWidgetItem;
    item->setData(ActionsList::ChromeRole, false);
    item->setFlags(Qt::NoItemFlags);
    ui->actionsListWidget->addItem(item);
}

void CustomizeOverlay::showToolBar()
{
    hide();
    d->m_mode = Mode::ToolBar;
    show();
}

void CustomizeOverlay::showSpeedDials()
{
    hide();
    d->m_mode = Mode::SpeedDials;
    show();
}

CustomizeOverlay::Mode CustomizeOverlay::mode() const
{
    return d->m_mode;
}

void CustomizeOverlay::accept()
{
    Model::Settings *settings = Model::Settings::instance();
    if (d->m_mode == Mode::ToolBar) {
        settings->setToolBarActionList(ui->toolBar->actionList());
        Q_EMIT toolBarUpdated();
    } else {
        settings->setPrimarySpeedDialActionList(ui->primarySpeedDial->actionList());
        settings->setSecondarySpeedDialActionList(ui->secondarySpeedDial->actionList());
        Q_EMIT speedDialsUpdated();
    }
    hide();
}

void CustomizeOverlay::reject()
{
    hide();
}

void CustomizeOverlay::buttonClicked(QAbstractButton *button)
{
    if (ui->buttonBox->buttonRole(button) != QDialogButtonBox::ResetRole)
        return;
    // Into the editors only: the defaults are stored by OK, like any edit.
    if (d->m_mode == Mode::ToolBar) {
        ui->toolBar->setActionList(QString(Model::Settings::DefaultToolBarActionList));
    } else {
        ui->primarySpeedDial->setActionList(QString(Model::Settings::DefaultPrimarySpeedDialActionList));
        ui->secondarySpeedDial->setActionList(QString(Model::Settings::DefaultSecondarySpeedDialActionList));
    }
}

void CustomizeOverlay::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape)
        reject();
    else
        QWidget::keyReleaseEvent(event);
}

void CustomizeOverlay::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (const QRect &rect : event->region()) {
        const QRectF area(rect);
        const QRectF header = area.intersected(d->m_headerRect);
        if (!header.isEmpty())
            painter.fillRect(header, BandColor);
        const QRectF top = area.intersected(d->m_topShadowRect);
        if (!top.isEmpty())
            painter.fillRect(top, d->m_topShadowGradient);
        const QRectF bottom = area.intersected(d->m_bottomShadowRect);
        if (!bottom.isEmpty())
            painter.fillRect(bottom, d->m_bottomShadowGradient);
    }

    // The editors paint no background: their shadows lie on the overlay.
    const auto paintShadowOf = [this, &painter](auto *editor) {
        painter.save();
        painter.translate(editor->mapTo(this, QPoint(0, 0)));
        editor->paintShadow(&painter);
        painter.restore();
    };
    if (d->m_mode == Mode::SpeedDials) {
        paintShadowOf(ui->primarySpeedDial);
        paintShadowOf(ui->secondarySpeedDial);
    } else {
        paintShadowOf(ui->toolBar);
    }
}

void CustomizeOverlay::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    d->m_headerRect = QRectF(0, 0, w, d->m_barHeight);
    d->m_topShadowRect = QRectF(0, d->m_barHeight, w, d->m_shadowHeight);
    d->m_bottomShadowRect = d->m_topShadowRect;
    d->m_bottomShadowRect.moveBottom(height() - d->m_barHeight);
    d->m_bottomShadowGradient.setStart(0, d->m_bottomShadowRect.bottom());
    d->m_bottomShadowGradient.setFinalStop(0, d->m_bottomShadowRect.top());
}

void CustomizeOverlay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    const QList<QAbstractButton *> buttons = ui->buttonBox->buttons();
    if (!buttons.isEmpty()) {
        const int side = (ui->buttonBox->height() - buttons.first()->height()) / 2;
        ui->buttonBox->setContentsMargins(side, -1, side, -1);
    }

    const bool dials = d->m_mode == Mode::SpeedDials;
    ui->titleLabel->setText(dials ? tr("CUSTOMIZE SPEED DIALS") : tr("CUSTOMIZE TOOL BAR"));
    ui->dragDescriptionLabel->setText(dials ? tr("Drag icon from list, drop at preferred spot on Speed Dial")
                                            : tr("Drag icon from list, drop at preferred spot on Tool Bar"));
    ui->stackedWidget->setCurrentIndex(dials ? 1 : 0);
    ui->draggableSpacer->setVisible(!dials);
    ui->spacerDescriptionLabel->setVisible(!dials);

    Model::Settings *settings = Model::Settings::instance();
    if (dials) {
        ui->primarySpeedDial->setActionList(settings->primarySpeedDialActionList());
        ui->secondarySpeedDial->setActionList(settings->secondarySpeedDialActionList());
    } else {
        ui->toolBar->setActionList(settings->toolBarActionList());
    }
}

} // namespace UI
