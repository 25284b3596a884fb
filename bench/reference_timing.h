#pragma once
// Benchmarks report each case as a ratio to a reference measured in the same run
// (one aperture photometry, a plain pass over the frame's bytes ...).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

// Best time of one call, in nanoseconds, over `reps` rounds of `calls` calls each;
// the call gets the call number (0 .. calls-1).
template <typename Call>
double BestNsPerCall(Call&& call, int calls = 200, int reps = 15) {
    double best = 1e30;
    for (int rep = 0; rep < reps; ++rep) {
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i) call(i);
        best = std::min(best, std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / calls);
    }
    return best;
}

// Runs body(i) in the benchmark loop (i counts the iterations) and reports the
// time per iteration divided by `referenceNs` as the counter `name`.
template <typename Body>
void TimedAgainst(benchmark::State& state, double referenceNs, const std::string& name, Body&& body) {
    int i = 0;
    const auto t0 = Clock::now();
    for (auto _ : state) body(i++);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    state.counters[name] = ns / static_cast<double>(state.iterations()) / referenceNs;
}

// main() of a benchmark program that prints a side-by-side summary after the runs.
inline int RunThenSummarise(int argc, char** argv, void (*summary)()) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    summary();
    return 0;
}

}  // namespace bench
