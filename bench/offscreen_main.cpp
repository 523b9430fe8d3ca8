// The main of the benchmarks that open windows: an application, offscreen, around the runs.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "core/session/startup.h"

int main(int argc, char** argv) {
    shell::keepFreedMemory();  // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
