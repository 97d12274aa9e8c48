#pragma once

// Helpers that the tests of the tool chrome share: mouse and pen events sent
// straight to a widget, with the time stamps the press filters look at, and
// the model's start-up that the widgets' actions need.

#include "initialize.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QList>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QStandardPaths>
#include <QTabletEvent>
#include <QWidget>

namespace TestSupport {

// The settings store, resources, tools and actions, as the program starts
// them; the store is the test's own (test.sh gives every test a home).
inline void startModel()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Kelvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane"));
    Model::initialize();
}

// A mouse event with every field given: the button that changed (none for
// a move), the buttons held after it, the modifiers and where it came from.
// Returns whether the widget accepted it.
inline bool sendMouseEvent(QWidget *widget, QEvent::Type type, QPointF position, Qt::MouseButton changed,
                           Qt::MouseButtons held, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                           quint64 timestamp = 0, Qt::MouseEventSource source = Qt::MouseEventNotSynthesized)
{
    QMouseEvent event(type, position, position, widget->mapToGlobal(position), changed, held, modifiers, source,
                      QPointingDevice::primaryPointingDevice());
    event.setTimestamp(timestamp);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

// Returns whether the widget accepted the event.
inline bool sendMouse(QWidget *widget, QEvent::Type type, QPointF position, quint64 timestamp = 0,
                      Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
        ? Qt::MouseButtons()
        : Qt::MouseButtons(button);
    return sendMouseEvent(widget, type, position, changed, held, Qt::NoModifier, timestamp);
}

// A press at `from`, a move and a release at `to`.
inline void clickFromTo(QWidget *widget, QPointF from, QPointF to, quint64 timestamp = 0)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, timestamp);
    sendMouse(widget, QEvent::MouseMove, to, timestamp);
    sendMouse(widget, QEvent::MouseButtonRelease, to, timestamp);
}

// A drag with the left button: a press at the first point, moves with the
// button held through the others, a release at the last.
inline void drag(QWidget *widget, const QList<QPointF> &points)
{
    sendMouse(widget, QEvent::MouseButtonPress, points.first());
    for (const QPointF &point : points.mid(1)) {
        QMouseEvent move(QEvent::MouseMove, point, widget->mapToGlobal(point), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    sendMouse(widget, QEvent::MouseButtonRelease, points.last());
}

inline void click(QWidget *widget, QPointF at, quint64 timestamp = 0)
{
    clickFromTo(widget, at, at, timestamp);
}

// One end of a test pen. Owned by the application, so that it goes before
// the platform does.
inline const QPointingDevice *penEnd(const QString &name, qint64 id, QPointingDevice::PointerType end)
{
    return new QPointingDevice(name, id, QInputDevice::DeviceType::Stylus, end,
                               QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 3,
                               QString(), QPointingDeviceUniqueId(), QCoreApplication::instance());
}

inline const QPointingDevice *pen()
{
    static const QPointingDevice *device = penEnd(QStringLiteral("test pen"), 4242, QPointingDevice::PointerType::Pen);
    return device;
}

inline const QPointingDevice *eraser()
{
    static const QPointingDevice *device =
        penEnd(QStringLiteral("test pen eraser"), 4243, QPointingDevice::PointerType::Eraser);
    return device;
}

// Returns whether the widget accepted the event.
inline bool sendTablet(QWidget *widget, QEvent::Type type, QPointF position, quint64 timestamp,
                       const QPointingDevice *device = pen())
{
    const bool down = type == QEvent::TabletPress || type == QEvent::TabletMove;
    const Qt::MouseButton button = type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton;
    QTabletEvent event(type, device, position, widget->mapToGlobal(position), down ? 0.5 : 0.0, 0, 0, 0, 0, 0,
                       Qt::NoModifier, button, down ? Qt::LeftButton : Qt::NoButton);
    event.setTimestamp(timestamp);
    event.setAccepted(false);
    QApplication::sendEvent(widget, &event);
    return event.isAccepted();
}

// Drag and drop as the platform delivers it to a drop target, for tests:
// QDrag::exec needs a person at a real display. Each returns whether the
// target accepted the event. A move starts out accepted when the one before
// it was, as Qt sends them.
inline bool sendDragEnter(QWidget *target, QPointF at, const QMimeData *data, Qt::DropActions actions)
{
    QDragEnterEvent event(at.toPoint(), actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

inline bool sendDragMove(QWidget *target, QPointF at, const QMimeData *data, Qt::DropActions actions,
                         bool acceptedBefore = true)
{
    QDragMoveEvent event(at.toPoint(), actions, data, Qt::LeftButton, Qt::NoModifier);
    if (acceptedBefore)
        event.acceptProposedAction();
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

inline void sendDragLeave(QWidget *target)
{
    QDragLeaveEvent event;
    QApplication::sendEvent(target, &event);
}

// How the drop ends for the drag's source: the action the target accepted,
// or Qt::IgnoreAction.
inline Qt::DropAction sendDrop(QWidget *target, QPointF at, const QMimeData *data, Qt::DropActions actions)
{
    QDropEvent event(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
}

// A whole drop on a target: an enter and a move at `at`, then the drop. A
// target that takes no drops, or refuses the enter or the move, sees no drop
// (a refused move ends with a leave, as a cancelled drag does), and the drag
// ends as Qt::IgnoreAction.
inline Qt::DropAction dropOn(QWidget *target, QPointF at, const QMimeData *data, Qt::DropActions actions)
{
    if (!target->acceptDrops() || !sendDragEnter(target, at, data, actions))
        return Qt::IgnoreAction;
    if (!sendDragMove(target, at, data, actions)) {
        sendDragLeave(target);
        return Qt::IgnoreAction;
    }
    return sendDrop(target, at, data, actions);
}

} // namespace TestSupport
