#pragma once
// The main of a benchmark program whose code runs the Qt event loop (timers, the link's
// waits): an application object first, then Google Benchmark as usual.

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#define TALVO_QT_BENCHMARK_MAIN()                                          \
    int main(int argc, char **argv)                                        \
    {                                                                      \
        QCoreApplication app(argc, argv);                                  \
        benchmark::Initialize(&argc, argv);                                \
        if (benchmark::ReportUnrecognizedArguments(argc, argv))            \
            return 1;                                                      \
        benchmark::RunSpecifiedBenchmarks();                               \
        benchmark::Shutdown();                                             \
        return 0;                                                          \
    }
