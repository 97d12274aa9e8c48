#pragma once

#include <QObject>

// An application-wide event filter that drops the mouse presses the platform
// makes up from pen and eraser input while the WinTab tablet interface is in
// use, so that a pen stroke is not taken for a click as well. It has no state
// of its own: the main window installs it on the application while WinTab is
// the tablet interface and removes it otherwise.
//
// The built-in switch reports WinTab unavailable and never on, on every
// system, until the program can switch the platform's tablet interface
// itself; so the filter drops nothing even when installed. Qt makes a press
// from the pen only for a widget that did not take the tablet event (a
// button, a menu), and that press is then the pen's only click.
class WinTabClickWorkaround : public QObject
{
    Q_OBJECT

public:
    // Where the switch between WinTab and Windows Ink really happens. The
    // switch may fail on the platform, which callers find out by reading the
    // state back; the built-in backend is the one described above.
    class Backend
    {
    public:
        virtual ~Backend() = default;
        virtual void setWinTabEnabled(bool enabled) = 0;
        virtual bool isWinTabEnabled() const = 0;
        // Whether the platform has WinTab at all; without it there is no
        // choice to make and the pen always comes through the system.
        virtual bool isWinTabAvailable() const { return true; }
    };

    explicit WinTabClickWorkaround(QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

    static bool isWinTabAvailable();
    static bool isWinTabEnabled();
    static void setWinTabEnabled(bool enabled);
    // Not owned; it must outlive its use. Null puts the built-in one back.
    static void setBackend(Backend *backend);
};
