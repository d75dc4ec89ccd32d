#pragma once

#include <benchmark/benchmark.h>

// What every benchmark program's entry does once its application object is made: run the
// benchmarks the command line selects, refusing options it does not know.
inline int runBenchmarks(int& argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
