#pragma once

#include <QStringList>

#include <functional>

class Application;
class MainWindow;
class QCoreApplication;

// The steps of the program's start-up that main() runs around the event
// loop, apart so that tests can run them in the same order.
namespace Startup {

// Before the application object exists: Qt's OpenGL driver bug list, the
// names that locate the settings store, the program's version, and the
// software OpenGL driver's thread count
// (OffscreenRenderer::chooseSoftwareRasterizerThreads()).
void prepareProcess();

// The command line: the help option and one optional scene file. Help and
// unknown options are Qt's standard handling, which prints and ends the
// process. Returns the positional arguments.
QStringList parseCommandLine(const QCoreApplication &application);

// Hooks the application's signals to the window (the system's request to
// end to MainWindow::endOnRequest(), the loss of the display to
// MainWindow::endWithoutDisplay()) and posts, for the event loop's first
// turn, the opening of the first file, or a new scene when there is none or
// it cannot be opened, and then the notice of the work a run that did not
// end normally left. Further files are ignored.
void connectApplication(Application &application, MainWindow &window, const QStringList &files);

// Runs `run` and returns its result; an exception that escapes it is written
// to the standard error stream ("Unknown exception" for one that is not a
// standard exception) and gives -1. Nothing is shown: the program may have
// no window to show it in.
int runGuarded(const std::function<int()> &run);

// The program's run in the application, guarded by runGuarded(): the model
// library and the application font, the window made, connected and shown,
// the event loop, and what follows it. Once the window exists the system's
// signals to end and the loss of the display are caught
// (Application::catchEndSignals(), catchLostDisplay()); before, there is no
// work to lose and they end the process as they always do. Returns the
// event loop's result.
int run(Application &application, const QStringList &files);

} // namespace Startup
