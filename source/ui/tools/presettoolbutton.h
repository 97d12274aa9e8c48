#pragma once

#include <QToolButton>

namespace UI {

// An icon button of the tool presets. It looks like a controls-bar button
// (only its icon) and shows the hover and click art of the dark panels
// around itself through its PresetToolButtonShadowEffect. Sized by the UI
// scale.
class PresetToolButton : public QToolButton
{
    Q_OBJECT

public:
    explicit PresetToolButton(QWidget *parent = nullptr);
    ~PresetToolButton() override;

    void updateUISize();

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace UI
