#include "xsheet/opacityslidergraphicseffect.h"

namespace UI {

OpacitySliderGraphicsEffect::OpacitySliderGraphicsEffect(QObject *parent)
    : ShadowEffect(QStringLiteral(":/xsheet/opacitySliderShadow.svg"), QSize(68, 136), parent)
{
}

OpacitySliderGraphicsEffect::~OpacitySliderGraphicsEffect() = default;

} // namespace UI
