// The benchmarks' main: each program runs in the test programs' sandbox (a fresh folder of its
// own, removed at exit, holding the app's home and the person's), so that no run leaves files
// behind or reaches the person's own folders.
#include <benchmark/benchmark.h>

#include "support/Sandbox.h"

int main(int argc, char** argv) {
    testsandbox::Sandbox sandbox;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
