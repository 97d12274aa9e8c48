#pragma once

#include <QApplication>
#include <QPointingDevice>
#include <QString>

// The program's application object. It turns two kinds of event that reach
// only the application into signals for the main window: documents the
// operating system asks the running program to open, and a tablet tool
// coming into proximity, which tells the pen tip from its eraser end before
// the tool touches anything. It holds no data of its own.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    bool event(QEvent *event) override;

Q_SIGNALS:
    void requestFileOpen(const QString &filename);
    // Only for a pen or an eraser; pucks, fingers and unknown tools say
    // nothing about which end draws.
    void tabletPointerTypeChanged(QPointingDevice::PointerType pointerType);
};
