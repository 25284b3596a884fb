// The ramp fit of a simulation run from prefix sums against the straightforward
// 14,001 x 201 evaluation of the same seeded runs (ratio = ours / straightforward);
// the width fit of Button4 runs against its plain loop; whole Button3, Button4 and
// Button5 batches in milliseconds.
#include <vector>

#include "analysis/timing_batch.h"
#include "analysis/timing_error.h"
#include "reference_timing.h"

namespace {

std::vector<timing::Samples> Runs(int n) {
    timing::SimRandom rng(42);
    timing::SimParams p;
    p.noiseAfter = p.noiseDuring = 0.3;
    std::vector<timing::Samples> out;
    for (int k = 0; k < n; ++k) out.push_back(timing::RunTimingSimulation(rng, p, nullptr).samples);
    return out;
}

void BM_OneRunFit(benchmark::State& state) {
    static const auto runs = Runs(20);
    const double ref = bench::BestNsPerCall([&](int i) { benchmark::DoNotOptimize(timing::FitShiftDirect(runs[i % 20])); }, 20, 3);
    bool same = true;
    for (const auto& y : runs) same = same && timing::FitShift(y).found == timing::FitShiftDirect(y).found;
    bench::TimedAgainst(state, ref, "ratio_vs_direct", [&](int i) { benchmark::DoNotOptimize(timing::FitShift(runs[i % 20])); });
    state.counters["same_shifts"] = same ? 1 : 0;
}
BENCHMARK(BM_OneRunFit);

// A 1,000-run Button1 batch, whole (simulation included).
void BM_Button1Batch(benchmark::State& state) {
    const auto direct = [] {
        timing::SimRandom rng(7);
        timing::SimParams p;
        p.noiseAfter = p.noiseDuring = 0.3;
        std::vector<double> e;
        for (int k = 0; k < 1000; ++k) {
            const timing::Run r = timing::RunTimingSimulation(rng, p, nullptr);
            e.push_back(timing::FitShiftDirect(r.samples).found / 100.0 - (r.u - 0.5));
        }
        benchmark::DoNotOptimize(e);
    };
    const double ref = bench::BestNsPerCall([&](int) { direct(); }, 1, 1);
    bench::TimedAgainst(state, ref, "ratio_vs_direct", [&](int) {
        timing::SimRandom rng(7);
        timing::SimParams p;
        p.noiseAfter = p.noiseDuring = 0.3;
        benchmark::DoNotOptimize(timing::BatchButton1(rng, p));
    });
}
BENCHMARK(BM_Button1Batch)->Unit(benchmark::kMillisecond);

// The width fit (Button3/Button4 runs) against the same search summing every sample.
void BM_WidthRunFit(benchmark::State& state) {
    const timing::WidthFit fit(0.4);
    std::vector<timing::Samples> runs;
    timing::SimRandom rng(11);
    timing::SimParams p;
    p.noiseAfter = p.noiseDuring = 0.3;
    for (int k = 0; k < 20; ++k) runs.push_back(timing::RunWidthSimulation(rng, p, fit).samples);
    const double ref = bench::BestNsPerCall([&](int i) { benchmark::DoNotOptimize(fit.FindDirect(runs[i % 20])); }, 20, 3);
    bool same = true;
    for (const auto& y : runs) same = same && fit.Find(y).found == fit.FindDirect(y).found;
    bench::TimedAgainst(state, ref, "ratio_vs_direct", [&](int i) { benchmark::DoNotOptimize(fit.Find(runs[i % 20])); });
    state.counters["same_shifts"] = same ? 1 : 0;
}
BENCHMARK(BM_WidthRunFit);

void BM_Batch(benchmark::State& state) {
    const int button = static_cast<int>(state.range(0));
    for (auto _ : state) {
        timing::SimRandom rng(3);
        timing::SimParams p;
        p.noiseAfter = p.noiseDuring = 0.3;
        benchmark::DoNotOptimize(button == 3 ? timing::BatchButton3(rng, p) : button == 4 ? timing::BatchButton4(rng, p) : timing::BatchButton5(rng));
    }
}
BENCHMARK(BM_Batch)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
