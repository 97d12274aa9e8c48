// Start-up of the program to its first frame on screen, measured from
// outside as the user waits for it: from starting the process until the
// window is shown with its new, empty scene painted. The baseline starts an
// empty QMainWindow the same way, in the same executable, so that loading
// the same libraries costs both the same.
//
// The benchmark starts this executable again with --startup-probe; the
// probe runs the program's start-up (or the baseline's), writes one line
// once the first frame is on screen and ends.

#include "application.h"
#include "applicationfont.h"
#include "mainwindow.h"
#include "startup.h"

#include "initialize.h"
#include "paper/paper.h"
#include "scene/klscene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr char ProbeOption[] = "--startup-probe";
constexpr char ProgramMode[] = "program";
constexpr char BaselineMode[] = "qmainwindow";

// Reports once, after the first paint of `widget` that `ready` allows: a
// zero-delay call runs after the paint has been flushed to the screen.
class FirstFrame : public QObject
{
public:
    FirstFrame(QWidget *widget, std::function<bool()> ready)
        : m_ready(std::move(ready))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_reported && m_ready()) {
            m_reported = true;
            QTimer::singleShot(0, [] {
                std::fputs("frame\n", stdout);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> m_ready;
    bool m_reported = false;
};

int probeProgram(char *program)
{
    int argc = 1;
    char *argv[] = {program, nullptr};
    Startup::prepareProcess();
    Application application(argc, argv);
    const QStringList files = Startup::parseCommandLine(application);
    Model::initialize();
    registerApplicationFont();
    MainWindow window;
    Startup::connectApplication(application, window, files);
    const FirstFrame frame(window.findChild<UI::Paper *>(), [] { return Model::KLScene::current() != nullptr; });
    window.show();
    return application.exec();
}

int probeBaseline(char *program)
{
    int argc = 1;
    char *argv[] = {program, nullptr};
    QApplication application(argc, argv);
    QMainWindow window;
    auto *central = new QWidget;
    window.setCentralWidget(central);
    window.resize(1750, 900);
    const FirstFrame frame(central, [] { return true; });
    window.show();
    return application.exec();
}

// Wall time from starting the probe to its line.
void BM_Startup(benchmark::State &state, const char *mode)
{
    const QString executable = QCoreApplication::applicationFilePath();
    for (auto _ : state) {
        // A first start: no stored preferences or window geometry, and the
        // user's own left alone.
        QTemporaryDir config;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        QProcess probe;
        probe.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        probe.start(executable, {QString::fromLatin1(ProbeOption), QString::fromLatin1(mode)});
        bool shown = false;
        while (!shown && probe.waitForReadyRead(30000))
            shown = probe.readAll().contains("frame");
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        probe.waitForFinished(30000);
        if (!shown) {
            state.SkipWithError("the probe showed no frame (run under an X server with QT_QPA_PLATFORM=xcb)");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

} // namespace

int runStartupProbe(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], ProbeOption) != 0)
        return -1;
    if (std::strcmp(argv[2], ProgramMode) == 0)
        return probeProgram(argv[0]);
    if (std::strcmp(argv[2], BaselineMode) == 0)
        return probeBaseline(argv[0]);
    return 2;
}

BENCHMARK_CAPTURE(BM_Startup, EmptyScene, ProgramMode)
    ->Name("Startup/EmptyScene")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Startup, EmptyQMainWindow, BaselineMode)
    ->Name("StartupBaseline/EmptyQMainWindow")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
