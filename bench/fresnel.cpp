// Fresnel table build: serial, parallel terms, and the time from the start call
// until the tables are ready, against a bare loop computing the same cos/sin terms
// (the floor any build pays). Also the per-point cost of the spectral and disc
// intensities.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "graph/fresnel.h"
#include "graph/spectral_model.h"

namespace {

using fresnel::kFresnelCount;

void BM_BareTermLoop(benchmark::State& state) {
    constexpr long double pi = std::numbers::pi_v<long double>;
    for (auto _ : state) {
        long double c = 0, s = 0;
        for (int i = 0; i < kFresnelCount; ++i) {
            const long double x = i;
            const long double arg = x * pi * x / 100000000.0L * 0.5L;
            c += cosl(arg) / 10000.0L;
            s += sinl(arg) / 10000.0L;
        }
        benchmark::DoNotOptimize(c);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_BareTermLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TablesBuild(benchmark::State& state) {
    auto c = std::make_unique<long double[]>(kFresnelCount);
    auto s = std::make_unique<long double[]>(kFresnelCount);
    for (auto _ : state) {
        fresnel::ComputeFresnelTables(c.get(), s.get(), static_cast<unsigned>(state.range(0)));
        benchmark::DoNotOptimize(c[kFresnelCount - 1]);
    }
}
BENCHMARK(BM_TablesBuild)->ArgName("threads")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// What start-up sees: the start call alone, and start until the tables are ready
// (allocation included), with the default thread count.
void BM_StartCallReturns(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto build = std::make_unique<fresnel::FresnelTableBuild>();
        state.ResumeTiming();
        build->Start();
        state.PauseTiming();
        build->Wait();
        build.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartCallReturns)->Unit(benchmark::kMicrosecond)->UseRealTime()->Iterations(20);

void BM_StartToReady(benchmark::State& state) {
    for (auto _ : state) {
        auto build = std::make_unique<fresnel::FresnelTableBuild>();
        build->Start();
        benchmark::DoNotOptimize(build->C()[kFresnelCount - 1]);
        state.PauseTiming();  // freeing 77 MB is not part of start-up
        build.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToReady)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SpectralIntensity(benchmark::State& state) {
    diffraction::DiffractionModel m;
    m.SensitivityFile = "/nonexistent";
    m.InitSpectralModel();
    m.BuildFresnelScales();
    m.StarDiameterMode = static_cast<uint8_t>(state.range(0));
    m.StarDiscStep = 0.1L;
    fresnel::BuildFresnelTables();
    long double t = -0.05L;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.StarDiscIntensity(t));
        t += 0.00001L;
        if (t > 0.05L) t = -0.05L;
    }
}
BENCHMARK(BM_SpectralIntensity)->ArgName("disc")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
