#include "dialogs/preferences.h"

#include "customize/actionslist.h"

#include "actions/actionmanager.h"
#include "settings/settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr int ButtonFrameHeight = 47;
constexpr int ShadowHeight = 32;
constexpr QSize WindowSize(550, 500);

const QColor WindowColor(100, 96, 92);
const QColor ButtonFrameColor(57, 57, 57);
const QColor TextColor(221, 216, 213);
const QColor BandColor(43, 41, 39, 128);
const QColor SectionTitleColor(151, 147, 143);
// The indicators of check boxes and radio buttons are filled with Base and
// marked with Text: a dark ground for the light marks, in the chrome's own
// warm grey.
const QColor IndicatorColor(45, 41, 38);

// One item of the page, top to bottom. A row's label stands only beside the
// first action of a family; a radio family shares one number.
struct PageItem
{
    enum Kind { Section, Separator, Row, Gap };
    Kind kind;
    const char *text = nullptr;
    KL::Action action = KL::Action::NoAction;
    int family = 0;
};

using A = KL::Action;

const PageItem Page[] = {
    {PageItem::Section, QT_TRANSLATE_NOOP("UI::Preferences", "Drawing")},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "Drawing Cursor"), A::FaintCursor},
    {PageItem::Separator},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "Clone Drawings - Locked or Not"), A::FreelyDrawOnClones, 1},
    {PageItem::Row, nullptr, A::ClonesLockedForDrawing, 1},
    {PageItem::Separator},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "Transparency Shown As"), A::TransparencyShownAsWhite, 2},
    {PageItem::Row, nullptr, A::TransparencyShownAsLightGrey, 2},
    {PageItem::Row, nullptr, A::TransparencyShownAsDarkGrey, 2},
    {PageItem::Row, nullptr, A::TransparencyShownAsBlack, 2},
    {PageItem::Gap},
    {PageItem::Row, nullptr, A::TransparencyShownAsSmallCheckersLight, 2},
    {PageItem::Row, nullptr, A::TransparencyShownAsSmallCheckersDark, 2},
    {PageItem::Row, nullptr, A::TransparencyShownAsLargeCheckersLight, 2},
    {PageItem::Row, nullptr, A::TransparencyShownAsLargeCheckersDark, 2},
    {PageItem::Separator},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "Collapsing"), A::CollapseVectorDataAutomatically},
    {PageItem::Separator},
    {PageItem::Row, nullptr, A::UseWindowsInk},
    {PageItem::Section, QT_TRANSLATE_NOOP("UI::Preferences", "X-Sheet")},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "X-Sheet Position"), A::XSheetLeftSide, 3},
    {PageItem::Row, nullptr, A::XSheetRightSide, 3},
    {PageItem::Separator},
    {PageItem::Row, nullptr, A::XSheetTopBar},
    {PageItem::Section, QT_TRANSLATE_NOOP("UI::Preferences", "AutoSave")},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "Automated Backups"), A::AutoSave},
    {PageItem::Separator},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "How often"), A::AutoSaveInterval5Min, 4},
    {PageItem::Row, nullptr, A::AutoSaveInterval15Min, 4},
    {PageItem::Row, nullptr, A::AutoSaveInterval30Min, 4},
    {PageItem::Row, nullptr, A::AutoSaveInterval60Min, 4},
    {PageItem::Separator},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "How many backup files"), A::AutoSaveFiles1, 5},
    {PageItem::Row, nullptr, A::AutoSaveFiles2, 5},
    {PageItem::Row, nullptr, A::AutoSaveFiles3, 5},
    {PageItem::Row, nullptr, A::AutoSaveFiles5, 5},
    {PageItem::Row, nullptr, A::AutoSaveFiles9, 5},
    {PageItem::Section, QT_TRANSLATE_NOOP("UI::Preferences", "Interface")},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "Tool Bar Position"), A::ToolBarLeftSide, 6},
    {PageItem::Row, nullptr, A::ToolBarRightSide, 6},
    {PageItem::Separator},
    {PageItem::Row, QT_TRANSLATE_NOOP("UI::Preferences", "UI Scale"), A::UIScale75, 7},
    {PageItem::Row, nullptr, A::UIScale100, 7},
    {PageItem::Row, nullptr, A::UIScale125, 7},
    {PageItem::Row, nullptr, A::UIScale150, 7},
};

void setColor(QWidget *widget, QPalette::ColorRole role, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

void setTextColor(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, TextColor);
    palette.setColor(QPalette::ButtonText, TextColor);
    palette.setColor(QPalette::Text, TextColor);
    widget->setPalette(palette);
}

} // namespace

// The window's fixed widgets; the page's rows are added to vboxLayout.
class PreferencesForm
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QScrollArea *scrollArea = nullptr;
    QWidget *scrollAreaWidgetContents = nullptr;
    QVBoxLayout *vboxLayout = nullptr;
    QFrame *buttonFrame = nullptr;
    QHBoxLayout *horizontalLayout_4 = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    void setupUi(QWidget *window)
    {
        if (window->objectName().isEmpty())
            window->setObjectName(QStringLiteral("UI__Preferences"));
        window->setWindowTitle(Preferences::tr("Settings"));
        verticalLayout = new QVBoxLayout(window);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setContentsMargins(0, 0, 0, 0);
        auto *scrollRow = new QHBoxLayout;
        scrollRow->setContentsMargins(6, 0, 4, 0);
        scrollArea = new QScrollArea(window);
        scrollArea->setObjectName(QStringLiteral("scrollArea"));
        scrollArea->setFrameShape(QFrame::NoFrame);
        scrollArea->setAutoFillBackground(false);
        scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scrollArea->setWidgetResizable(true);
        scrollAreaWidgetContents = new QWidget;
        scrollAreaWidgetContents->setObjectName(QStringLiteral("scrollAreaWidgetContents"));
        scrollAreaWidgetContents->setAutoFillBackground(true);
        vboxLayout = new QVBoxLayout(scrollAreaWidgetContents);
        vboxLayout->setObjectName(QStringLiteral("vboxLayout"));
        vboxLayout->setContentsMargins(11, 0, 4, 0);
        scrollArea->setWidget(scrollAreaWidgetContents);
        scrollRow->addWidget(scrollArea);
        // The page takes the whole height above the buttons; the spacer
        // below it only keeps the buttons down should the page ever be
        // given a height of its own.
        verticalLayout->addLayout(scrollRow, 1);
        verticalLayout->addItem(new QSpacerItem(20, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
        buttonFrame = new QFrame(window);
        buttonFrame->setObjectName(QStringLiteral("buttonFrame"));
        buttonFrame->setFrameShape(QFrame::NoFrame);
        horizontalLayout_4 = new QHBoxLayout(buttonFrame);
        horizontalLayout_4->setObjectName(QStringLiteral("horizontalLayout_4"));
        buttonBox = new QDialogButtonBox(QDialogButtonBox::RestoreDefaults | QDialogButtonBox::Close, buttonFrame);
        buttonBox->setObjectName(QStringLiteral("buttonBox"));
        horizontalLayout_4->addWidget(buttonBox);
        verticalLayout->addWidget(buttonFrame);
    }
};

class Preferences::PreferencesPrivate
{
public:
    PreferencesPrivate()
    {
        topShadowRect.setHeight(shadowHeight);
        topShadowGradient.setStart(0, 0);
        topShadowGradient.setFinalStop(0, shadowHeight);
        topShadowGradient.setColorAt(0.0, QColor(0, 0, 0, 67));
        topShadowGradient.setColorAt(0.5, QColor(0, 0, 0, 15));
        topShadowGradient.setColorAt(1.0, QColor(0, 0, 0, 0));
        bottomShadowGradient = topShadowGradient;
        sectionFont.setPointSize(16);
    }

    QWidget *section(const QString &title) const;
    static QWidget *separator();
    void addRow(QVBoxLayout *page, QWidget *owner, const PageItem &item);
    static void restoreDefaults();

    int buttonFrameHeight = ButtonFrameHeight;
    int shadowHeight = ShadowHeight;
    QRectF topShadowRect;
    QRectF bottomShadowRect;
    QLinearGradient topShadowGradient;
    QLinearGradient bottomShadowGradient;
    QFont sectionFont{QStringLiteral("Passion One")};
    // One exclusive group per radio family, children of the window.
    QHash<int, QButtonGroup *> families;
};

QWidget *Preferences::PreferencesPrivate::section(const QString &title) const
{
    auto *heading = new QWidget;
    auto *layout = new QVBoxLayout(heading);
    layout->setContentsMargins(0, 20, 0, 15);
    auto *band = new QWidget;
    band->setFixedHeight(38);
    band->setAutoFillBackground(true);
    setColor(band, QPalette::Window, BandColor);
    auto *bandLayout = new QVBoxLayout(band);
    auto *label = new QLabel(title.toUpper());
    label->setAlignment(Qt::AlignCenter);
    label->setFont(sectionFont);
    setColor(label, QPalette::WindowText, SectionTitleColor);
    bandLayout->addWidget(label);
    layout->addWidget(band);
    return heading;
}

QWidget *Preferences::PreferencesPrivate::separator()
{
    auto *widget = new QWidget;
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 10, 0, 10);
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    setColor(line, QPalette::WindowText, BandColor);
    layout->addWidget(line);
    return widget;
}

void Preferences::PreferencesPrivate::addRow(QVBoxLayout *page, QWidget *owner, const PageItem &item)
{
    QAction *action = Model::ActionManager::instance()->action(item.action);
    if (!action || !action->isCheckable())
        return;
    auto *row = new QWidget;
    row->setFixedHeight(20);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(item.text ? tr(item.text) : QString());
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFixedHeight(14);
    setTextColor(label);
    QAbstractButton *button = nullptr;
    if (action->actionGroup()) {
        button = new QRadioButton(action->text());
        QButtonGroup *&family = families[item.family];
        if (!family)
            family = new QButtonGroup(owner);
        family->addButton(button);
    } else {
        button = new QCheckBox(action->text());
    }
    button->setObjectName(action->property("KLActionName").toString());
    button->setFixedWidth(300);
    setTextColor(button);
    button->setChecked(action->isChecked());
    button->setEnabled(action->isEnabled());
    connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::toggled, button, &QAbstractButton::setChecked);
    layout->addWidget(label);
    layout->addWidget(button);
    page->addWidget(row);
}

void Preferences::PreferencesPrivate::restoreDefaults()
{
    using S = Model::Settings;
    S *settings = S::instance();
    settings->setDrawCursorOpacity(S::DefaultDrawCursorOpacity);
    settings->setClonesLockedForDrawing(S::DefaultClonesLockedForDrawing);
    settings->setTransparencyType(S::DefaultTransparencyType);
    settings->setCollapseAutomatically(S::DefaultCollapseAutomatically);
    // The exposure sheet's side is the main window's, which moves the sheet
    // when the action is triggered.
    if (QAction *left = Model::ActionManager::instance()->action(KL::Action::XSheetLeftSide))
        left->activate(QAction::Trigger);
    settings->setShowXSheetTopBar(S::DefaultShowXSheetTopBar);
    settings->setAutoSaveEnabled(S::DefaultAutoSaveEnabled);
    settings->setAutoSaveIntervalMins(S::DefaultAutoSaveIntervalMins);
    settings->setAutoSaveNumFiles(S::DefaultAutoSaveNumFiles);
    settings->setToolBarPosition(S::DefaultToolBarPosition);
    settings->setUIScalePercent(S::DefaultUIScalePercent);
}

Preferences::Preferences(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
    , ui(std::make_unique<PreferencesForm>())
    , d(std::make_unique<PreferencesPrivate>())
{
    ui->setupUi(this);
    setAutoFillBackground(true);
    setColor(this, QPalette::Window, WindowColor);

    QPalette page = ui->scrollArea->palette();
    page.setColor(QPalette::Window, Qt::transparent);
    page.setColor(QPalette::Base, IndicatorColor);
    page.setColor(QPalette::Text, TextColor);
    ui->scrollArea->setPalette(page);
    ui->scrollAreaWidgetContents->setPalette(page);
    for (QScrollBar *bar : {ui->scrollArea->verticalScrollBar(), ui->scrollArea->horizontalScrollBar()}) {
        bar->setProperty(ActionsList::ScrollBarStyleProperty, true);
        bar->setAttribute(Qt::WA_OpaquePaintEvent, false);
    }

    ui->buttonFrame->setAutoFillBackground(true);
    setColor(ui->buttonFrame, QPalette::Window, ButtonFrameColor);
    ui->buttonFrame->setFixedHeight(d->buttonFrameHeight);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QWidget::close);
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        if (ui->buttonBox->buttonRole(button) == QDialogButtonBox::ResetRole)
            PreferencesPrivate::restoreDefaults();
    });

    for (const PageItem &item : Page) {
        switch (item.kind) {
        case PageItem::Section:
            ui->vboxLayout->addWidget(d->section(tr(item.text)));
            break;
        case PageItem::Separator:
            ui->vboxLayout->addWidget(PreferencesPrivate::separator());
            break;
        case PageItem::Gap: {
            auto *gap = new QWidget;
            gap->setFixedHeight(11);
            ui->vboxLayout->addWidget(gap);
            break;
        }
        case PageItem::Row:
            d->addRow(ui->vboxLayout, this, item);
            break;
        }
    }
    setFixedSize(WindowSize);
}

Preferences::~Preferences() = default;

void Preferences::resizeEvent(QResizeEvent *event)
{
    d->topShadowRect = QRectF(0, 0, width(), d->shadowHeight);
    d->bottomShadowRect = d->topShadowRect;
    d->bottomShadowRect.moveBottom(height() - d->buttonFrameHeight);
    d->bottomShadowGradient.setStart(0, d->bottomShadowRect.bottom());
    d->bottomShadowGradient.setFinalStop(0, d->bottomShadowRect.top());
    QWidget::resizeEvent(event);
}

// The page is transparent, so the bands show behind it as it scrolls.
void Preferences::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (const QRect &rect : event->region()) {
        painter.fillRect(d->topShadowRect.intersected(rect), d->topShadowGradient);
        painter.fillRect(d->bottomShadowRect.intersected(rect), d->bottomShadowGradient);
    }
}

} // namespace UI
