#include "tools/presettoolbutton.h"

#include "tools/controlsbartoolbutton.h"
#include "tools/presettoolbuttonshadoweffect.h"

#include "settings/settings.h"

namespace UI {

PresetToolButton::PresetToolButton(QWidget *parent)
    : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCheckable(false);
    setAttribute(Qt::WA_Hover);
    auto *effect = new PresetToolButtonShadowEffect(this);
    const Model::Settings *settings = Model::Settings::instance();
    effect->setScale(settings->UIScale());
    connect(settings, &Model::Settings::UIScaleChanged, effect,
            [effect, settings] { effect->setScale(settings->UIScale()); });
    setGraphicsEffect(effect);
    updateUISize();
}

PresetToolButton::~PresetToolButton() = default;

void PresetToolButton::updateUISize()
{
    const float s = Model::Settings::instance()->UIScale();
    setFixedSize(int(40 * s), int(40 * s));
    setIconSize(QSize(int(32 * s), int(32 * s)));
    update();
    updateGeometry();
}

void PresetToolButton::paintEvent(QPaintEvent *)
{
    ControlsBarToolButton::paintIconOnly(this);
}

} // namespace UI
