#include "keychord.h"

#include <QGuiApplication>
#include <QKeyEvent>

namespace KeyChord {

namespace {

// Windows: the left and right keys of each modifier have bits of their own.
constexpr quint32 WindowsLeftControl = 0x2;
constexpr quint32 WindowsLeftAlt = 0x4;
constexpr quint32 WindowsRightControl = 0x20;
constexpr quint32 WindowsRightAlt = 0x40;

// X11: the key codes of the evdev keyboard and the level-three shift bit of
// the X state (Mod5), which AltGr sets on the layouts that have it.
constexpr quint32 XLeftControl = 37;
constexpr quint32 XRightControl = 105;
constexpr quint32 XLeftAlt = 64;
constexpr quint32 XRightAlt = 108;
constexpr quint32 XLevelThreeShift = 0x80;

bool bothSet(quint32 bits, quint32 a, quint32 b)
{
    return (bits & a) && (bits & b);
}

} // namespace

Platform currentPlatform()
{
    const QString name = QGuiApplication::platformName();
    if (name == QLatin1String("windows"))
        return Platform::Windows;
    if (name == QLatin1String("xcb"))
        return Platform::X11;
    return Platform::Other;
}

bool isPlainControlAlt(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode, quint32 nativeModifiers,
                       Platform platform)
{
    if (key != Qt::Key_Control && key != Qt::Key_Alt)
        return false;
    if ((modifiers & ~Qt::KeypadModifier) != (Qt::ControlModifier | Qt::AltModifier))
        return false;
    switch (platform) {
    case Platform::Windows:
        return bothSet(nativeModifiers, WindowsLeftControl, WindowsLeftAlt)
            || bothSet(nativeModifiers, WindowsRightControl, WindowsRightAlt);
    case Platform::X11:
        if (nativeModifiers & XLevelThreeShift)
            return false;
        if (key == Qt::Key_Control)
            return nativeScanCode == XLeftControl || nativeScanCode == XRightControl;
        return nativeScanCode == XLeftAlt || nativeScanCode == XRightAlt;
    case Platform::Other:
        break;
    }
    return true;
}

bool isPlainControlAlt(const QKeyEvent &event, Platform platform)
{
    return isPlainControlAlt(event.key(), event.modifiers(), event.nativeScanCode(), event.nativeModifiers(),
                             platform);
}

} // namespace KeyChord
