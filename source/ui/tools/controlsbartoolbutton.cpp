#include "tools/controlsbartoolbutton.h"

#include <QIcon>
#include <QMouseEvent>
#include <QPainter>

namespace UI {

ControlsBarToolButton::ControlsBarToolButton(QWidget *parent)
    : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void ControlsBarToolButton::paintIconOnly(QToolButton *button)
{
    QIcon::Mode mode = QIcon::Normal;
    if (!button->isEnabled())
        mode = QIcon::Disabled;
    else if (button->isDown())
        mode = QIcon::Selected;
    else if (button->underMouse())
        mode = QIcon::Active;
    QRect rect(QPoint(), button->iconSize());
    rect.moveCenter(button->rect().center());
    QPainter painter(button);
    button->icon().paint(&painter, rect, Qt::AlignCenter, mode, button->isChecked() ? QIcon::On : QIcon::Off);
}

void ControlsBarToolButton::paintEvent(QPaintEvent *)
{
    paintIconOnly(this);
}

void ControlsBarToolButton::mousePressEvent(QMouseEvent *event)
{
    if (m_pressFilter.isDoubledPress(event->timestamp())) {
        event->accept();
        return;
    }
    setFocus(Qt::OtherFocusReason);
    QToolButton::mousePressEvent(event);
    if (event->isAccepted())
        m_pressFilter.remember(event->timestamp());
}

void ControlsBarToolButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click is one more press, under the same rule.
    mousePressEvent(event);
}

void ControlsBarToolButton::mouseReleaseEvent(QMouseEvent *event)
{
    QToolButton::mouseReleaseEvent(event);
    if (event->isAccepted())
        m_pressFilter.remember(event->timestamp());
}

void ControlsBarToolButton::mouseMoveEvent(QMouseEvent *event)
{
    QAbstractButton::mouseMoveEvent(event);
}

void ControlsBarToolButton::enterEvent(QEnterEvent *event)
{
    setCursor(Qt::ArrowCursor);
    QToolButton::enterEvent(event);
}

void ControlsBarToolButton::tabletEvent(QTabletEvent *event)
{
    sendTabletAsMouse(this, event);
}

} // namespace UI
