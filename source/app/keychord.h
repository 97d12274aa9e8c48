#pragma once

#include <QtGlobal>

class QKeyEvent;

// Telling a chord of Control and Alt typed as such from the same modifiers
// produced some other way. On Windows the AltGr key of many layouts arrives
// as left Control plus right Alt, so a key event that says "Control + Alt"
// may be a user reaching for a third-level character; the platform's native
// modifier bits, which name the left and right keys apart, decide. Under X11
// AltGr is a key of its own (Qt::Key_AltGr, level-three shift in the X
// state), and the X key codes tell which physical key went down.
namespace KeyChord {

// Where the key event came from, which decides what its native fields mean.
enum class Platform {
    Windows,
    X11,
    // Native fields carry nothing of use: modifiers and key alone decide.
    Other,
};

// The platform of the running application.
Platform currentPlatform();

// Whether a press or release of the Control or Alt key leaves exactly
// Control and Alt held, from the real Control and Alt keys: on Windows both
// on the left or both on the right (native bits 0x2 with 0x4, or 0x20 with
// 0x40); under X11 the key is one of the four Control and Alt keys (X key
// codes 37, 105, 64 and 108) and the X state shows no level-three shift
// (Mod5, 0x80). Any other key, Qt::Key_AltGr included, answers false.
bool isPlainControlAlt(int key, Qt::KeyboardModifiers modifiers, quint32 nativeScanCode, quint32 nativeModifiers,
                       Platform platform);
bool isPlainControlAlt(const QKeyEvent &event, Platform platform = currentPlatform());

} // namespace KeyChord
