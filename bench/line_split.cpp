// Line splitting of results files whatever their line ends: LF-only and CR-only
// text against the same lines with CR LF, at 1 and 4 MiB. Ratios near 1 at both
// sizes mean the splitter stays linear in the input for every convention.
#include <benchmark/benchmark.h>

#include "platform/file_io.h"
#include "reference_timing.h"

namespace {
std::string Lines(size_t bytes, const char* eol) {
    const std::string row = "     1234,  12345.678,  23456.789,   1.234, 0.5, 0.25";
    std::string s;
    while (s.size() < bytes) s += row + eol;
    return s;
}

void BM_SplitAgainstCrLf(benchmark::State& state, const char* eol) {
    const size_t bytes = static_cast<size_t>(state.range(0)) << 20;
    const std::string crlf = Lines(bytes, "\r\n"), text = Lines(bytes, eol);
    for (auto _ : state) benchmark::DoNotOptimize(fileio::SplitLines(text));
    // Both timed the same way, side by side: the best of a few single calls.
    const double ref = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(fileio::SplitLines(crlf)); }, 1, 7);
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(fileio::SplitLines(text)); }, 1, 7);
    state.counters["vs_crlf"] = ns / ref;
}
}  // namespace

BENCHMARK_CAPTURE(BM_SplitAgainstCrLf, lf_only, "\n")->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SplitAgainstCrLf, cr_only, "\r")->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
