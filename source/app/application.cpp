#include "application.h"

#include <QFileOpenEvent>
#include <QTabletEvent>

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool Application::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::TabletEnterProximity: {
        const QPointingDevice *device = static_cast<QTabletEvent *>(event)->pointingDevice();
        if (device) {
            const QPointingDevice::PointerType type = device->pointerType();
            if (type == QPointingDevice::PointerType::Eraser || type == QPointingDevice::PointerType::Pen)
                Q_EMIT tabletPointerTypeChanged(type);
        }
        // Proximity means nothing to the rest of Qt here; whatever the tool,
        // the event ends with us.
        return true;
    }
    case QEvent::FileOpen:
        Q_EMIT requestFileOpen(static_cast<QFileOpenEvent *>(event)->file());
        return QApplication::event(event);
    default:
        return QApplication::event(event);
    }
}
