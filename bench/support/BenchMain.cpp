#include "media/MediaRuntime.h"

#include <QApplication>
#include <benchmark/benchmark.h>

// Benchmarks drive widgets and surfaces, which need an application; they run
// offscreen unless told otherwise.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    tvn::MediaRuntime::initialise();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
