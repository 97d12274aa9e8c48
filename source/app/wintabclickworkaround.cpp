#include "wintabclickworkaround.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPointingDevice>

namespace {

// Nothing here switches the platform's tablet interface yet, on Windows
// either: reporting WinTab there would have the filter drop every pen tap on
// a button while the pen still comes through the system. So WinTab reads as
// unavailable everywhere, and asking for it changes nothing.
class BuiltInBackend : public WinTabClickWorkaround::Backend
{
public:
    void setWinTabEnabled(bool) override {}
    bool isWinTabEnabled() const override { return false; }
    bool isWinTabAvailable() const override { return false; }
};

BuiltInBackend builtInBackend;
WinTabClickWorkaround::Backend *backend = &builtInBackend;

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

bool WinTabClickWorkaround::isWinTabAvailable()
{
    return backend->isWinTabAvailable();
}

bool WinTabClickWorkaround::isWinTabEnabled()
{
    return backend->isWinTabEnabled();
}

void WinTabClickWorkaround::setWinTabEnabled(bool enabled)
{
    backend->setWinTabEnabled(enabled);
}

void WinTabClickWorkaround::setBackend(Backend *newBackend)
{
    backend = newBackend ? newBackend : &builtInBackend;
}
