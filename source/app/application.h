#pragma once

#include <QApplication>
#include <QPointingDevice>
#include <QString>

// The program's application object. It turns what reaches only the
// application into signals for the main window: documents the operating
// system asks the running program to open, a tablet tool coming into
// proximity, which tells the pen tip from its eraser end before the tool
// touches anything, and, once caught, the system's request to end and the
// loss of the display. It holds no data of its own.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    bool event(QEvent *event) override;

    // From now on SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, a
    // closed terminal, Ctrl+C) no longer end the process at once: each
    // becomes endRequested() on the event loop. A signal the program was
    // started to ignore (nohup) stays ignored. Does nothing where there are
    // no such signals.
    void catchEndSignals();
    // From now on the loss of the connection to the display (the X server
    // ends or its link drops) is displayLost() before the process ends.
    // Qt's X11 platform says so in a warning and ends the process with
    // exit() right after, from within the event loop; the signal comes
    // between the two, on this thread, whatever the logging rules let
    // through.
    void catchLostDisplay();
    ~Application() override;

Q_SIGNALS:
    void requestFileOpen(const QString &filename);
    // Only for a pen or an eraser; pucks, fingers and unknown tools say
    // nothing about which end draws.
    void tabletPointerTypeChanged(QPointingDevice::PointerType pointerType);
    void endRequested();
    // Emitted directly: the process ends as soon as every slot returns, no
    // event is handled again, and nothing may wait for the display.
    void displayLost();
};
