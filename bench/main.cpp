#include <QApplication>

#include <benchmark/benchmark.h>

// The renderer benchmarks need a GUI application for their OpenGL context,
// the paper's and the exposure sheet's a widget one; run under a display (or
// xvfb-run) with the xcb platform.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
