#pragma once

#include <QObject>

// An application-wide event filter that drops the mouse presses the platform
// makes up from pen and eraser input while the WinTab tablet interface is in
// use, so that a pen stroke is not taken for a click as well. It has no state
// of its own: the main window installs it on the application while WinTab is
// the tablet interface and removes it otherwise.
//
// WinTab exists only on Windows. Elsewhere the switch is a process-wide flag
// that reads back what was set, and the filter drops pen presses only while
// that flag is on, so that it behaves the same wherever it is installed.
class WinTabClickWorkaround : public QObject
{
    Q_OBJECT

public:
    explicit WinTabClickWorkaround(QObject *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

    static bool isWinTabEnabled();
    static void setWinTabEnabled(bool enabled);
};
