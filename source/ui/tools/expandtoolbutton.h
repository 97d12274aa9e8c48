#pragma once

#include <QToolButton>

namespace UI {

// The flat fold-out button of the tool presets: an arrow and a text, no
// bevel whether checked, pressed or not. A click turns the arrow down when
// it checks the button and right when it unchecks it.
class ExpandToolButton : public QToolButton
{
    Q_OBJECT

public:
    explicit ExpandToolButton(QWidget *parent = nullptr);
    ~ExpandToolButton() override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace UI
