#pragma once

#include <QMouseEvent>
#include <QTabletEvent>
#include <QtGlobal>

#include <memory>

namespace UI {

// Tool widgets that a pen taps (the controls-bar buttons, the tool pockets,
// the tool sliders) see many tablets report one tap twice: once as a tablet
// press and, a few milliseconds later, as a mouse press the platform makes up
// from it. The filter drops a press that comes less than 10 ms after the last
// press or release the widget accepted, so that such a tap counts once.
//
// Time stamps are the events' milliseconds, compared by their difference so
// that the 32-bit clock may wrap. A press stamped earlier than the last one
// (events made up by a program often carry 0) is not a doubled press and
// passes, as does the first press the widget sees.
class PressFilter
{
public:
    static constexpr quint32 Interval = 10;

    // Whether a press stamped `timestamp` is the double of the last accepted
    // press or release.
    bool isDoubledPress(quint64 timestamp) const;
    // Whether `timestamp` comes less than `interval` ms after the remembered
    // one, by the same rules (a double tap's interval, say).
    bool isWithin(quint64 timestamp, quint32 interval) const;
    void remember(quint64 timestamp);

private:
    quint32 m_last = 0;
    bool m_remembered = false;
};

// The mouse event a mouse would have made for a pen press, move or release:
// the pen's position as local and scene position, the pointer's global
// position, the pen's buttons and modifiers and its time stamp. Null for
// every other tablet event (proximity, for one).
std::unique_ptr<QMouseEvent> mouseEventFromTablet(const QTabletEvent *event);

// Hands a pen press, move or release to the widget's own mouse handlers as
// a mouse event, and accepts the tablet event when they accepted it; other
// tablet events are left alone. A widget that uses it declares it a friend,
// so that it may call the protected handlers:
//     template<class Widget> friend void sendTabletAsMouse(Widget *, QTabletEvent *);
template<class Widget>
void sendTabletAsMouse(Widget *widget, QTabletEvent *event)
{
    const std::unique_ptr<QMouseEvent> mouse = mouseEventFromTablet(event);
    if (!mouse)
        return;
    switch (mouse->type()) {
    case QEvent::MouseButtonPress:
        widget->mousePressEvent(mouse.get());
        break;
    case QEvent::MouseButtonRelease:
        widget->mouseReleaseEvent(mouse.get());
        break;
    default:
        widget->mouseMoveEvent(mouse.get());
        break;
    }
    if (mouse->isAccepted())
        event->accept();
}

} // namespace UI
