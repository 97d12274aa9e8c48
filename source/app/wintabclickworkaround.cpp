#include "wintabclickworkaround.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointingDevice>

namespace {

// Stands for the tablet interface the platform would report; this build has
// no WinTab to ask.
bool winTabEnabled = false;

bool isPenPress(const QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const QPointingDevice *device = static_cast<const QMouseEvent *>(event)->pointingDevice();
    if (!device)
        return false;
    const QPointingDevice::PointerType type = device->pointerType();
    return type == QPointingDevice::PointerType::Pen || type == QPointingDevice::PointerType::Eraser;
}

} // namespace

WinTabClickWorkaround::WinTabClickWorkaround(QObject *parent)
    : QObject(parent)
{
}

bool WinTabClickWorkaround::eventFilter(QObject *watched, QEvent *event)
{
    // The pen reaches widgets as tablet events; the press made up from it
    // would start a second, mouse-driven gesture.
    if (isWinTabEnabled() && isPenPress(event))
        return true;
    return QObject::eventFilter(watched, event);
}

bool WinTabClickWorkaround::isWinTabEnabled()
{
    return winTabEnabled;
}

void WinTabClickWorkaround::setWinTabEnabled(bool enabled)
{
    winTabEnabled = enabled;
}
