#include "tools/toolsettings.h"

#include "tools/toolpocket.h"
#include "tools/toolpresets.h"
#include "tools/toolsettingsshadoweffect.h"
#include "tools/toolsliders.h"

#include "settings/settings.h"

#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace UI {

class ToolSettings::ToolSettingsPrivate
{
public:
    explicit ToolSettingsPrivate(int kind)
        : m_kind(kind)
    {
        // The controls bar above casts a soft shade on the panel's head.
        for (QLinearGradient *gradient : {&m_headerGradient, &m_edgeGradient}) {
            gradient->setColorAt(0.0, QColor(0, 0, 0, 30));
            gradient->setColorAt(1.0, QColor(0, 0, 0, 0));
        }
    }
    virtual ~ToolSettingsPrivate() = default;

    bool m_pocketShown = false;
    qint32 m_kind;
    QLinearGradient m_headerGradient{0, 0, 0, 32};
    QLinearGradient m_edgeGradient{0, 0, 0, 4};
    QVBoxLayout *m_layout = nullptr;
    ToolPocket *m_pocket = nullptr;
    ToolSliders *m_sliders = nullptr;
    ToolPresets *m_presets = nullptr;
    ToolSettingsShadowEffect *m_shadow = nullptr;
};

ToolSettings::ToolSettings(int kind, QWidget *parent)
    : QWidget(parent)
    , d(std::make_unique<ToolSettingsPrivate>(kind))
{
    setFocusPolicy(Qt::NoFocus);
    d->m_layout = new QVBoxLayout(this);
    d->m_layout->setContentsMargins(0, 0, 0, 0);
    d->m_layout->setSpacing(0);
    d->m_sliders = new ToolSliders(kind, this);
    d->m_layout->addWidget(d->m_sliders, 1);
    if (kind == 0) {
        d->m_presets = new ToolPresets(this);
        d->m_layout->addWidget(d->m_presets, 1);
        connect(d->m_presets, &ToolPresets::resized, this, &QWidget::adjustSize);
    } else {
        adjustSize();
    }
    d->m_shadow = new ToolSettingsShadowEffect(this);
    setGraphicsEffect(d->m_shadow);
    updateUISize();
}

ToolSettings::~ToolSettings() = default;

int ToolSettings::kind() const
{
    return d->m_kind;
}

bool ToolSettings::isToolPocketShown() const
{
    return d->m_pocketShown;
}

void ToolSettings::setToolPocketShown(bool shown)
{
    d->m_pocketShown = shown;
    if (d->m_pocket) {
        d->m_pocket->setShownInPanel(shown);
        d->m_pocket->setVisible(shown);
    }
    d->m_shadow->updateBoundingRect();
    adjustSize();
}

ToolPocket *ToolSettings::toolPocket() const
{
    return d->m_pocket;
}

ToolSliders *ToolSettings::toolSliders() const
{
    return d->m_sliders;
}

ToolPresets *ToolSettings::toolPresets() const
{
    return d->m_presets;
}

void ToolSettings::updateUISize()
{
    setFixedWidth(int(217 * Model::Settings::instance()->UIScale()));
    if (d->m_pocket)
        d->m_pocket->updateUISize();
    d->m_sliders->updateUISize();
    if (d->m_presets)
        d->m_presets->updateUISize();
    update();
    updateGeometry();
}

void ToolSettings::moveTopCenter(QPoint point)
{
    move(point.x() - width() / 2, point.y() - 2);
}

bool ToolSettings::showTool(int toolIdx)
{
    if (isVisible() && d->m_sliders->currentToolIdx() == toolIdx) {
        hide();
        return false;
    }
    d->m_sliders->setCurrentToolIdx(toolIdx);
    update();
    adjustSize();
    setFocus(Qt::OtherFocusReason);
    show();
    return true;
}

void ToolSettings::setToolPocket(ToolPocket *toolPocket)
{
    if (ToolPocket *old = d->m_pocket) {
        disconnect(old, nullptr, this, nullptr);
        disconnect(old, nullptr, d->m_sliders, nullptr);
        d->m_layout->removeWidget(old);
        old->hide();
    }
    d->m_pocket = toolPocket;
    if (!toolPocket)
        return;
    toolPocket->hide();
    d->m_layout->insertWidget(0, toolPocket, 1);
    connect(toolPocket, &ToolPocket::pressed, d->m_sliders, &ToolSliders::setCurrentToolIdx);
    if (d->m_pocketShown && isVisible())
        toolPocket->show();
}

void ToolSettings::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    if (isVisible())
        Q_EMIT lostFocus();
}

void ToolSettings::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QBrush background(QColor(88, 84, 80, 255));
    painter.setBrush(background);
    painter.drawRoundedRect(rect(), 6.5, 6.5);
    if (!d->m_pocketShown) {
        // Square upper corners, tucked under the controls bar.
        const QRect head(0, 0, width(), 32);
        painter.fillRect(head, background);
        painter.fillRect(head, d->m_headerGradient);
        painter.fillRect(head, d->m_edgeGradient);
    }
}

void ToolSettings::hideEvent(QHideEvent *event)
{
    d->m_pocketShown = false;
    if (d->m_pocket) {
        d->m_pocket->setShownInPanel(false);
        d->m_pocket->hide();
    }
    d->m_shadow->updateBoundingRect();
    adjustSize();
    QWidget::hideEvent(event);
}

} // namespace UI
