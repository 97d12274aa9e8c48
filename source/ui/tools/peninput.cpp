#include "tools/peninput.h"

#include <QCursor>
#include <QPointingDevice>

namespace UI {

bool PressFilter::isDoubledPress(quint64 timestamp) const
{
    return isWithin(timestamp, Interval);
}

bool PressFilter::isWithin(quint64 timestamp, quint32 interval) const
{
    return m_remembered && quint32(quint32(timestamp) - m_last) < interval;
}

void PressFilter::remember(quint64 timestamp)
{
    m_last = quint32(timestamp);
    m_remembered = true;
}

std::unique_ptr<QMouseEvent> mouseEventFromTablet(const QTabletEvent *event)
{
    QEvent::Type type;
    switch (event->type()) {
    case QEvent::TabletMove:
        type = QEvent::MouseMove;
        break;
    case QEvent::TabletPress:
        type = QEvent::MouseButtonPress;
        break;
    case QEvent::TabletRelease:
        type = QEvent::MouseButtonRelease;
        break;
    default:
        return nullptr;
    }
    auto mouse = std::make_unique<QMouseEvent>(type, event->position(), event->position(), QPointF(QCursor::pos()),
                                               event->button(), event->buttons(), event->modifiers(),
                                               Qt::MouseEventSynthesizedByApplication,
                                               QPointingDevice::primaryPointingDevice());
    mouse->setTimestamp(event->timestamp());
    return mouse;
}

} // namespace UI
