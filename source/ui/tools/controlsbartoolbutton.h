#pragma once

#include "tools/peninput.h"

#include <QToolButton>

namespace UI {

// An icon-only button of the controls bar. It takes pen input as mouse
// input, counts a pen tap that also arrives as a mouse press once (a press
// within 10 ms of the last accepted press or release is dropped), and shows
// the arrow cursor over itself rather than the drawing tool's cursor of the
// paper beneath.
//
// Its icon carries the button's looks: the hover art in the Active mode, the
// click art in the Selected mode and for the On state.
class ControlsBarToolButton : public QToolButton
{
    Q_OBJECT

public:
    explicit ControlsBarToolButton(QWidget *parent = nullptr);

    // Paints a button the way this one looks, from its icon alone, for other
    // icon buttons of the tool chrome (the preset buttons).
    static void paintIconOnly(QToolButton *button);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void tabletEvent(QTabletEvent *event) override;

private:
    template<class Widget>
    friend void sendTabletAsMouse(Widget *, QTabletEvent *);

    PressFilter m_pressFilter;
};

} // namespace UI
