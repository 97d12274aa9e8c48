#include "application.h"

#include <QFileOpenEvent>
#include <QLoggingCategory>
#include <QTabletEvent>
#include <QThread>

#include <atomic>
#include <cstring>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler writes to the first, the event loop reads the second.
int endSignals[2] = {-1, -1};

// A handler may do next to nothing safely: the byte it writes wakes the
// event loop, which does the rest.
void noteEndSignal(int)
{
    const int saved = errno;
    const char byte = 0;
    // A socket too full to take it holds a request already.
    [[maybe_unused]] const ssize_t written = ::write(endSignals[0], &byte, 1);
    errno = saved;
}

} // namespace
#endif

namespace {

// The application that hears of the loss of the display, and the message
// handler and category filter that were there before.
Application *displayWatcher = nullptr;
QtMessageHandler earlierHandler = nullptr;
QLoggingCategory::CategoryFilter earlierFilter = nullptr;
// Whether the logging rules let the warnings of the default category through,
// which is where Qt's X11 platform warns of the lost display. They reach the
// handler whatever the rules say, and go on from there only if they may.
std::atomic<bool> defaultWarningsShown = true;

bool isDefaultCategory(const char *category)
{
    return !category || std::strcmp(category, "default") == 0;
}

void seeDefaultWarnings(QLoggingCategory *category)
{
    earlierFilter(category);
    if (!isDefaultCategory(category->categoryName()))
        return;
    defaultWarningsShown = category->isWarningEnabled();
    category->setEnabled(QtWarningMsg, true);
}

// What Qt's X11 platform warns of just before it ends the process, both
// where its event queue finds the connection broken and where Xlib does.
const QLatin1StringView DisplayLostWarning("The X11 connection broke");

void watchForLostDisplay(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtWarningMsg || !isDefaultCategory(context.category) || defaultWarningsShown)
        earlierHandler(type, context, message);
    // Once: what runs on the way out may warn again.
    static bool lost = false;
    if (type != QtWarningMsg || lost || !displayWatcher || !message.startsWith(DisplayLostWarning)
        || QThread::currentThread() != displayWatcher->thread())
        return;
    lost = true;
    // Qt calls no handler from within one: whatever the slots warn of goes
    // to the standard error stream as it is.
    Q_EMIT displayWatcher->displayLost();
}

} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

Application::~Application()
{
    if (displayWatcher == this) {
        QLoggingCategory::installFilter(earlierFilter);
        qInstallMessageHandler(earlierHandler);
        displayWatcher = nullptr;
    }
}

void Application::catchLostDisplay()
{
    if (displayWatcher)
        return;
    displayWatcher = this;
    earlierHandler = qInstallMessageHandler(watchForLostDisplay);
    // A filter runs as soon as it is installed: the one before it must be
    // known by then.
    earlierFilter = QLoggingCategory::installFilter(nullptr);
    QLoggingCategory::installFilter(seeDefaultWarnings);
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

void Application::catchEndSignals()
{
#ifdef Q_OS_UNIX
    if (endSignals[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, endSignals) != 0)
        return;
    for (const int end : endSignals) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    auto *notifier = new QSocketNotifier(endSignals[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(endSignals[1], bytes, sizeof bytes) > 0) {
        }
        Q_EMIT endRequested();
    });
    struct sigaction action = {};
    action.sa_handler = noteEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int caught : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction was = {};
        if (::sigaction(caught, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
            ::sigaction(caught, &action, nullptr);
    }
#endif
}
