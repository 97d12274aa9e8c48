#include <QGuiApplication>

#include <benchmark/benchmark.h>

// The renderer benchmarks need a GUI application for their OpenGL context;
// run under a display (or xvfb-run) with the xcb platform.
int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
