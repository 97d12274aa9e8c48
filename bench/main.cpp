#include <QApplication>

#include <benchmark/benchmark.h>

// bench_startup.cpp: runs one start-up probe when asked for one with
// "--startup-probe <mode>" and returns its exit code; -1 when not asked.
int runStartupProbe(int argc, char **argv);

// The renderer benchmarks need a GUI application for their OpenGL context,
// the paper's and the exposure sheet's a widget one; run under a display (or
// xvfb-run) with the xcb platform.
int main(int argc, char **argv)
{
    // The start-up benchmarks start this program again as their probe,
    // which needs a process of its own without a QApplication yet.
    if (const int probeResult = runStartupProbe(argc, argv); probeResult != -1)
        return probeResult;

    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
