#include "tools/toolpresets.h"

#include "style/uiresources.h"
#include "tools/expandtoolbutton.h"
#include "tools/presettoolbutton.h"

#include "kl.h"
#include "settings/settings.h"
#include "tools/drawingtool.h"
#include "tools/toolmanager.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include <array>

namespace UI {

namespace {

Model::DrawingTool *currentPen()
{
    return qobject_cast<Model::DrawingTool *>(Model::ToolManager::instance()->tool(Model::Tool::Type::Pen));
}

} // namespace

class ToolPresets::ToolPresetsPrivate
{
public:
    ToolPresetsPrivate()
    {
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
                m_palette.setColor(group, role, QColor(44, 42, 40, 255));
        }
    }

    void applyFonts()
    {
        const float s = Model::Settings::instance()->UIScale();
        m_expandFont.setPixelSize(std::max(1, int(13 * s)));
        m_labelFont.setPixelSize(std::max(1, int(10 * s)));
        m_useLabel->setFont(m_labelFont);
        m_saveLabel->setFont(m_labelFont);
        m_expandButton->setFont(m_expandFont);
    }

    ExpandToolButton *m_expandButton = nullptr;
    QFont m_expandFont{QStringLiteral("Sans Serif"), 10, 400};
    QFont m_labelFont{QStringLiteral("Sans Serif"), 10, 300};
    QWidget *m_presetsArea = nullptr;
    QPalette m_palette;
    QLabel *m_useLabel = nullptr;
    QLabel *m_saveLabel = nullptr;
    std::array<PresetToolButton *, PresetCount> m_useButtons{};
    std::array<PresetToolButton *, PresetCount> m_saveButtons{};
};

ToolPresets::ToolPresets(QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<ToolPresetsPrivate>())
{
    registerUiResources();
    setPalette(d->m_palette);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 5, 0, 5);
    outer->setSpacing(0);

    d->m_expandButton = new ExpandToolButton(this);
    d->m_expandButton->setText(QStringLiteral(" ") + tr("Presets"));
    connect(d->m_expandButton, &QToolButton::toggled, this, [this](bool checked) {
        d->m_expandButton->setChecked(checked);
        d->m_presetsArea->setVisible(checked);
        // The panel around measures this widget afresh.
        updateGeometry();
        adjustSize();
    });
    auto *header = new QHBoxLayout;
    header->setContentsMargins(10, 5, 10, 0);
    header->addWidget(d->m_expandButton, 1);
    header->addStretch();
    outer->addLayout(header);

    d->m_presetsArea = new QWidget(this);
    outer->addWidget(d->m_presetsArea, 1);
    auto *grid = new QGridLayout(d->m_presetsArea);
    grid->setContentsMargins(10, 10, 10, 14);
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(10);

    d->m_useLabel = new QLabel(tr("Use preset\n1, 2 or 3"), d->m_presetsArea);
    d->m_saveLabel = new QLabel(tr("Save Settings\nas 1, 2 or 3"), d->m_presetsArea);
    for (QLabel *label : {d->m_useLabel, d->m_saveLabel})
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(d->m_useLabel, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(d->m_saveLabel, 1, 0, Qt::AlignRight | Qt::AlignVCenter);
    d->applyFonts();

    for (int i = 1; i <= PresetCount; ++i) {
        const auto preset = KL::ToolPreset(i);
        auto *use = new PresetToolButton(d->m_presetsArea);
        use->setToolTip(tr("Use preset %1").arg(i));
        connect(use, &QToolButton::clicked, this, [preset] {
            if (const Model::DrawingTool *pen = currentPen())
                Model::ToolManager::instance()->usePenToolPreset(pen->subType(), preset);
        });
        grid->addWidget(use, 0, i);
        auto *save = new PresetToolButton(d->m_presetsArea);
        save->setToolTip(tr("Save preset %1").arg(i));
        connect(save, &QToolButton::clicked, this, [preset] {
            if (const Model::DrawingTool *pen = currentPen())
                Model::ToolManager::instance()->savePenToolPreset(pen->subType(), preset);
        });
        grid->addWidget(save, 1, i);
        d->m_useButtons[size_t(i - 1)] = use;
        d->m_saveButtons[size_t(i - 1)] = save;
    }

    updateIcons(Model::Tool::PenType::Pencil);
    d->m_expandButton->setChecked(false);
    d->m_presetsArea->hide();
    adjustSize();

    connect(Model::ToolManager::instance(), &Model::ToolManager::currentPenToolTypeChanged, this,
            [this](Model::Tool::PenType penType) { updateIcons(penType); });
}

ToolPresets::~ToolPresets() = default;

void ToolPresets::updateIcons(Model::Tool::PenType penType)
{
    QString name;
    switch (penType) {
    case Model::Tool::PenType::Pencil:
        name = QStringLiteral("Pencil");
        break;
    case Model::Tool::PenType::Marker:
        name = QStringLiteral("Marker");
        break;
    case Model::Tool::PenType::Brush:
        name = QStringLiteral("Brush");
        break;
    default:
        return;
    }
    for (int i = 0; i < PresetCount; ++i) {
        const QString number = QString::number(i + 1);
        d->m_useButtons[size_t(i)]->setIcon(QIcon(QStringLiteral(":/icons/%1_Preset%2_icon.svg").arg(name, number)));
        d->m_saveButtons[size_t(i)]->setIcon(
            QIcon(QStringLiteral(":/toolsettings/save%1_Preset%2_icon.svg").arg(name, number)));
    }
}

void ToolPresets::updateUISize()
{
    d->applyFonts();
    for (int i = 0; i < PresetCount; ++i) {
        d->m_useButtons[size_t(i)]->updateUISize();
        d->m_saveButtons[size_t(i)]->updateUISize();
    }
    update();
    updateGeometry();
}

ExpandToolButton *ToolPresets::expandButton() const
{
    return d->m_expandButton;
}

PresetToolButton *ToolPresets::useButton(int slot) const
{
    return slot >= 0 && slot < PresetCount ? d->m_useButtons[size_t(slot)] : nullptr;
}

PresetToolButton *ToolPresets::saveButton(int slot) const
{
    return slot >= 0 && slot < PresetCount ? d->m_saveButtons[size_t(slot)] : nullptr;
}

bool ToolPresets::isExpanded() const
{
    return d->m_expandButton->isChecked();
}

void ToolPresets::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Q_EMIT resized();
}

} // namespace UI
