#pragma once

#include "xsheet/shadoweffect.h"

namespace UI {

// The opacity slider's shadow: the same soft shadow, in the slider's size.
class OpacitySliderGraphicsEffect : public ShadowEffect
{
    Q_OBJECT

public:
    explicit OpacitySliderGraphicsEffect(QObject *parent = nullptr);
    ~OpacitySliderGraphicsEffect() override;
};

} // namespace UI
