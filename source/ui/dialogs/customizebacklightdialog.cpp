#include "dialogs/customizebacklightdialog.h"

#include "dialogs/backlightsliders.h"
#include "dialogs/dialogforms.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <array>

namespace UI {

namespace {

using Model::BacklightSetting;
using Model::BacklightSettings;

constexpr char Context[] = "UI::CustomizeBacklightDialog";
// The sliders show four neighbours on each side.
constexpr int ShownLevels = 4;

QString text(const char *source)
{
    return QCoreApplication::translate(Context, source);
}

void padLevels(QList<double> &levels)
{
    while (levels.size() < ShownLevels)
        levels.append(0.0);
}

BacklightSettings padded(BacklightSettings settings)
{
    for (BacklightSetting *setting : {&settings.settingA, &settings.settingB}) {
        padLevels(setting->opacityLevelsBefore);
        padLevels(setting->opacityLevelsAfter);
    }
    return settings;
}

template<typename Widget>
Widget *named(Widget *widget, const QString &objectName)
{
    widget->setObjectName(objectName);
    return widget;
}

QHBoxLayout *indented(QWidget *widget, int left)
{
    auto *box = new QHBoxLayout();
    box->setContentsMargins(left, 0, 0, 0);
    box->addWidget(widget);
    return box;
}

// The controls of one look, A or B.
struct Column
{
    QRadioButton *setting = nullptr;
    BacklightSliders *sliders = nullptr;
    QCheckBox *hueShift = nullptr;
    QButtonGroup *showOptions = nullptr;
    QCheckBox *onlyActiveLayer = nullptr;

    // Everything that edits the look, which is enabled only while it is in use.
    QList<QWidget *> editors() const
    {
        QList<QWidget *> widgets = {sliders, hueShift, onlyActiveLayer};
        const QList<QAbstractButton *> buttons = showOptions->buttons();
        for (QAbstractButton *button : buttons)
            widgets.append(button);
        return widgets;
    }
};

} // namespace

class CustomizeBacklightDialog::CustomizeBacklightDialogPrivate
{
public:
    CustomizeBacklightDialogPrivate(CustomizeBacklightDialog *dialog, const BacklightSettings &settings)
        : q(dialog)
        , m_settings(std::make_unique<BacklightSettings>(padded(settings)))
    {
    }

    void setupUi();
    QVBoxLayout *buildColumn(int set, const QString &suffix);
    void connectColumn(int set);
    BacklightSetting &setting(int set);
    void changed();
    void applyEnablingRule();
    void refresh();
    void refreshColumn(int set);
    void reset();

    CustomizeBacklightDialog *q;
    std::unique_ptr<BacklightSettings> m_settings;
    std::array<Column, 2> m_columns;
    QButtonGroup *m_settingGroup = nullptr;
    QCheckBox *m_backlightOnOff = nullptr;
    QCheckBox *m_onlyKeyFrames = nullptr;
    QDialogButtonBox *m_buttonBox = nullptr;
    QList<QFrame *> m_lines;
};

BacklightSetting &CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::setting(int set)
{
    return set == BacklightSettings::BacklightSettingA ? m_settings->settingA : m_settings->settingB;
}

QVBoxLayout *CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::buildColumn(int set, const QString &suffix)
{
    constexpr int Indent = 57;
    Column &column = m_columns[set];
    auto *layout = new QVBoxLayout();
    layout->setObjectName(QStringLiteral("verticalLayout_") + suffix);
    layout->setSpacing(9);
    layout->setContentsMargins(-1, 12, -1, 15);

    column.setting = named(new QRadioButton(text(set == 0 ? "Setting A" : "Setting B"), q),
                           QStringLiteral("radioButton_Setting") + suffix);
    layout->addLayout(indented(column.setting, Indent));

    column.sliders = named(new BacklightSliders(q), QStringLiteral("backlightSliders_") + suffix);
    auto *slidersBox = new QHBoxLayout();
    slidersBox->setContentsMargins(9, 9, 9, 9);
    slidersBox->addWidget(column.sliders);
    layout->addLayout(slidersBox);

    column.hueShift = named(new QCheckBox(text("Hue Shift"), q), QStringLiteral("checkBox_HueShift_") + suffix);
    layout->addLayout(indented(column.hueShift, Indent));

    auto *options = new QVBoxLayout();
    options->setContentsMargins(Indent, 0, 0, 0);
    QList<QAbstractButton *> optionButtons;
    const std::array<std::pair<const char *, const char *>, 3> optionNames = {{
        {"radioButton_StopAtEnds_", "Stop at Ends"},
        {"radioButton_WrapAtEnds_", "Wrap at Ends"},
        {"radioButton_ShowOutsideRange_", "Show Outside Range"},
    }};
    for (const auto &option : optionNames) {
        auto *button = named(new QRadioButton(text(option.second), q), QLatin1String(option.first) + suffix);
        options->addWidget(button);
        optionButtons.append(button);
    }
    column.showOptions = choiceGroup(q, optionButtons);
    layout->addLayout(options);

    column.onlyActiveLayer = named(new QCheckBox(text("Only Backlight Active Layer"), q),
                                   QStringLiteral("checkBox_OnlyActiveLayer_") + suffix);
    layout->addLayout(indented(column.onlyActiveLayer, Indent));
    return layout;
}

void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::setupUi()
{
    if (q->objectName().isEmpty())
        q->setObjectName(QStringLiteral("UI__CustomizeBacklightDialog"));
    q->resize(469, 311);
    q->setWindowTitle(text("Customize Backlight"));

    auto *verticalLayout = new QVBoxLayout(q);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(0, 0, 0, 0);
    verticalLayout->setSizeConstraint(QLayout::SetFixedSize);

    auto *columns = new QHBoxLayout();
    columns->setObjectName(QStringLiteral("horizontalLayout_4"));
    columns->setSpacing(9);
    columns->setContentsMargins(39, -1, 39, 0);
    columns->addLayout(buildColumn(BacklightSettings::BacklightSettingA, QStringLiteral("A")));
    QFrame *between = separatorLine("line_2", Qt::Vertical, q);
    columns->addWidget(between);
    columns->addLayout(buildColumn(BacklightSettings::BacklightSettingB, QStringLiteral("B")));
    verticalLayout->addLayout(columns);
    m_settingGroup = choiceGroup(q, {m_columns[0].setting, m_columns[1].setting});

    QFrame *above = separatorLine("line", Qt::Horizontal, q);
    verticalLayout->addWidget(above);
    auto *switches = new QHBoxLayout();
    switches->setContentsMargins(66, 15, 66, 15);
    switches->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    auto *switchColumn = new QVBoxLayout();
    switchColumn->setSpacing(9);
    m_backlightOnOff = named(new QCheckBox(text("Backlight (Onion Skin) On/Off"), q),
                             QStringLiteral("checkBox_BacklightOnOff"));
    m_onlyKeyFrames = named(new QCheckBox(text("Only Backlight Key Frames"), q),
                            QStringLiteral("checkBox_OnlyBacklightKeyFrames"));
    switchColumn->addWidget(m_backlightOnOff);
    switchColumn->addWidget(m_onlyKeyFrames);
    switches->addLayout(switchColumn);
    switches->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    verticalLayout->addLayout(switches);
    QFrame *below = separatorLine("line_3", Qt::Horizontal, q);
    verticalLayout->addWidget(below);

    auto *buttons = new QHBoxLayout();
    buttons->setContentsMargins(12, 12, 12, 12);
    m_buttonBox = named(new QDialogButtonBox(QDialogButtonBox::Close | QDialogButtonBox::Reset, Qt::Horizontal, q),
                        QStringLiteral("buttonBox"));
    buttons->addWidget(m_buttonBox);
    verticalLayout->addLayout(buttons);
    m_lines = {above, between, below};
}

void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::connectColumn(int set)
{
    const Column &column = m_columns[set];
    QObject::connect(column.sliders, &BacklightSliders::backlightSettingChanged, q,
            [this, set](const BacklightSetting &edited) {
                setting(set).opacityLevelsBefore = edited.opacityLevelsBefore;
                setting(set).opacityLevelsAfter = edited.opacityLevelsAfter;
                changed();
            });
    QObject::connect(column.hueShift, &QCheckBox::toggled, q, [this, set](bool checked) {
        setting(set).hueShift = checked ? BacklightSetting::UseHueShift : BacklightSetting::NoHueShift;
        changed();
    });
    QObject::connect(column.onlyActiveLayer, &QCheckBox::toggled, q, [this, set](bool checked) {
        setting(set).layers = checked ? BacklightSetting::BacklightActiveLayerOnly
                                      : BacklightSetting::BacklightVisibleLayers;
        changed();
    });
    onChoice(column.showOptions, [this, set](int option) {
        setting(set).showOption = BacklightSetting::ShowOption(option);
        changed();
    });
}

void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::changed()
{
    Q_EMIT q->settingsChanged(*m_settings);
}

void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::applyEnablingRule()
{
    const int current = m_settings->current;
    QPushButton *resetButton = m_buttonBox->button(QDialogButtonBox::Reset);
    if (current == BacklightSettings::BacklightSettingA)
        resetButton->setText(text("Reset A"));
    else if (current == BacklightSettings::BacklightSettingB)
        resetButton->setText(text("Reset B"));
    for (int set = 0; set < int(m_columns.size()); ++set) {
        const QList<QWidget *> editors = m_columns[set].editors();
        for (QWidget *editor : editors)
            editor->setEnabled(set == current);
    }
}

void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::refreshColumn(int set)
{
    const Column &column = m_columns[set];
    const BacklightSetting shown = setting(set);
    column.sliders->setBacklightSetting(shown);
    column.hueShift->setChecked(shown.hueShift == BacklightSetting::UseHueShift);
    column.onlyActiveLayer->setChecked(shown.layers == BacklightSetting::BacklightActiveLayerOnly);
    checkChoice(column.showOptions, shown.showOption);
}

// The controls' handlers run as the controls change and write back what the
// record already holds; blocking the dialog's signals keeps them from
// reporting that as an edit.
void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::refresh()
{
    const QSignalBlocker blocker(q);
    refreshColumn(BacklightSettings::BacklightSettingA);
    refreshColumn(BacklightSettings::BacklightSettingB);
    applyEnablingRule();
    m_backlightOnOff->setChecked(m_settings->on);
    m_onlyKeyFrames->setChecked(m_settings->onlyKeyFrames);
    checkChoice(m_settingGroup, m_settings->current);
}

void CustomizeBacklightDialog::CustomizeBacklightDialogPrivate::reset()
{
    const BacklightSettings::BacklightSet current = m_settings->current;
    // Look B's choices are the user's to keep: its reset restores only the
    // levels, where A's restores everything.
    const BacklightSetting keptB = m_settings->settingB;
    m_settings->resetSetting(current);
    if (current == BacklightSettings::BacklightSettingB) {
        m_settings->settingB.hueShift = keptB.hueShift;
        m_settings->settingB.showOption = keptB.showOption;
        m_settings->settingB.layers = keptB.layers;
    }
    if (current == BacklightSettings::BacklightSettingA || current == BacklightSettings::BacklightSettingB) {
        const QSignalBlocker blocker(q);
        refreshColumn(current);
    }
    changed();
}

CustomizeBacklightDialog::CustomizeBacklightDialog(const Model::BacklightSettings &settings, QWidget *parent)
    : QDialog(parent, Qt::WindowTitleHint | Qt::WindowSystemMenuHint)
    , d(std::make_unique<CustomizeBacklightDialogPrivate>(this, settings))
{
    d->setupUi();
    colourSeparatorLines(this, d->m_lines);

    d->connectColumn(BacklightSettings::BacklightSettingA);
    d->connectColumn(BacklightSettings::BacklightSettingB);
    onChoice(d->m_settingGroup, [this](int set) {
        d->m_settings->current = BacklightSettings::BacklightSet(set);
        d->applyEnablingRule();
        d->changed();
    });
    connect(d->m_backlightOnOff, &QCheckBox::toggled, this, [this](bool checked) {
        d->m_settings->on = checked;
        d->changed();
    });
    connect(d->m_onlyKeyFrames, &QCheckBox::toggled, this, [this](bool checked) {
        d->m_settings->onlyKeyFrames = checked;
        d->changed();
    });

    connect(d->m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(d->m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(d->m_buttonBox, &QDialogButtonBox::clicked, this, [this](QAbstractButton *button) {
        if (d->m_buttonBox->buttonRole(button) == QDialogButtonBox::ResetRole)
            d->reset();
    });
    d->refresh();
}

CustomizeBacklightDialog::~CustomizeBacklightDialog() = default;

Model::BacklightSettings CustomizeBacklightDialog::settings() const
{
    return *d->m_settings;
}

void CustomizeBacklightDialog::setSettings(const Model::BacklightSettings &settings)
{
    *d->m_settings = padded(settings);
    d->refresh();
}

void CustomizeBacklightDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        colourSeparatorLines(this, d->m_lines);
    QDialog::changeEvent(event);
}

} // namespace UI
