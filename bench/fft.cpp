// The FFT against FFTW in long double (an ESTIMATE plan made outside the timing),
// forward and inverse at N = 512 .. 16384 and 65536 (aim at most 3x); and "Apply"
// of the noise-reduction window (moving average with w = 50; FFT low-pass at
// N = 16384) on a 100,000-row three-object table against a bare pass that splits
// every row, writes columns 11-13 with their own values and swaps the table (aim
// at most 3x).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "analysis/fft.h"
#include "analysis/noise_reduction.h"
#include "measure/results_table.h"
#include "reference_timing.h"

namespace {

struct FftwPlan {
    int n;
    fftwl_complex* in;
    fftwl_complex* out;
    fftwl_plan plan;
    FftwPlan(int size, int sign) : n(size) {
        in = fftwl_alloc_complex(static_cast<size_t>(n));
        out = fftwl_alloc_complex(static_cast<size_t>(n));
        plan = fftwl_plan_dft_1d(n, in, out, sign, FFTW_ESTIMATE);
    }
    ~FftwPlan() {
        fftwl_destroy_plan(plan);
        fftwl_free(in);
        fftwl_free(out);
    }
};

void Fill(fft::FftArrays& a, std::vector<long double>& re, std::vector<long double>& im) {
    std::mt19937_64 rng(static_cast<uint64_t>(a.FftSize));
    std::uniform_real_distribution<double> u(-1, 1);
    re.resize(static_cast<size_t>(a.FftSize));
    im.resize(re.size());
    for (size_t i = 0; i < re.size(); ++i) re[i] = u(rng), im[i] = u(rng);
}

// Ours: the input is copied in each call (the transform overwrites it), as the
// FFTW plan reads its input array afresh each call.
double OurNs(int n, int direction) {
    fft::FftArrays a;
    a.Resize(n);
    std::vector<long double> re, im;
    Fill(a, re, im);
    const int calls = std::max(1, 200000 / n);
    return bench::BestNsPerCall(
        [&](int) {
            std::copy(re.begin(), re.end(), a.FftReIn.begin());
            std::copy(im.begin(), im.end(), a.FftImIn.begin());
            a.RunFft(direction);
            benchmark::DoNotOptimize(a.FftReOut.data());
        },
        calls, 9);
}

double FftwNs(int n, int direction) {
    FftwPlan p(n, direction == 1 ? FFTW_FORWARD : FFTW_BACKWARD);
    std::mt19937_64 rng(static_cast<uint64_t>(n));
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<long double> re(static_cast<size_t>(n)), im(re.size());
    for (size_t i = 0; i < re.size(); ++i) re[i] = u(rng), im[i] = u(rng);
    const int calls = std::max(1, 200000 / n);
    return bench::BestNsPerCall(
        [&](int) {
            for (size_t i = 0; i < re.size(); ++i) p.in[i][0] = re[i], p.in[i][1] = im[i];
            fftwl_execute(p.plan);
            benchmark::DoNotOptimize(p.out);
        },
        calls, 9);
}

void BM_RunFft(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const int direction = state.range(1) ? -1 : 1;
    const double reference = FftwNs(n, direction);
    fft::FftArrays a;
    a.Resize(n);
    std::vector<long double> re, im;
    Fill(a, re, im);
    bench::TimedAgainst(state, reference, "x_fftw", [&](int) {
        std::copy(re.begin(), re.end(), a.FftReIn.begin());
        std::copy(im.begin(), im.end(), a.FftImIn.begin());
        a.RunFft(direction);
        benchmark::DoNotOptimize(a.FftReOut.data());
    });
}
BENCHMARK(BM_RunFft)->ArgsProduct({{512, 1024, 2048, 4096, 8192, 16384, 65536}, {0, 1}});

std::vector<std::string> Table(int rows) {
    std::vector<std::string> t = {kFormatText2, "\"FileName : x.avi\"", "\"Video System : NTSC , FrameRate=29.97\"",
                                  "\"\"", "\"\"", "\"No.\""};
    char buf[640];
    for (int i = 0; i < rows; ++i) {
        const int s = 20000 + static_cast<int>(800 * std::sin(i / 37.0)) + (i * 7919) % 900;
        std::snprintf(buf, sizeof buf,
                      "%d.0,\"\",\"\",12,30,%.4f,,,,,%d.0,%d.0,%d.0,2.5000,2.5000,2.5000,"
                      "%d,%d,%d,%d,3,6,10,,320,240,,,,,\"OFF\",,,%d,%d,%d,%d,3,6,10,,320,240,,,,,\"OFF\",,,"
                      "%d,%d,%d,%d,3,6,10,,320,240,,,,,\"OFF\",,,",
                      i, std::fmod(i / 29.97, 60.0), s, s + 3000, s + 6000, s, 90 + i % 40, 30 + i % 25, 80 + i % 120,
                      s + 3000, 100 + i % 40, 30 + i % 23, 80 + i % 110, s + 6000, 110 + i % 40, 30 + i % 21, 80 + i % 100);
        t.push_back(buf);
    }
    return t;
}

// What any rewrite of the table has to do at least: split every row, write its
// plotted columns back and hand over a new table.
std::vector<std::string> BarePass(const std::vector<std::string>& table) {
    std::vector<std::string> out(table.begin(), table.begin() + 6);
    out.reserve(table.size());
    for (size_t i = 6; i < table.size(); ++i) {
        std::string line = table[i];
        for (int j = 11; j <= 13; ++j) SetField(line, j, GetField(line, j));
        out.push_back(std::move(line));
    }
    return out;
}

noise::Controls ApplyControls(int method) {
    noise::Controls c;
    c.method = method;
    c.objectCount = 3;
    c.objectChecked = {true, true, true};
    c.halfWidth = {50, 50, 50};
    c.fftSize = 16384;
    c.statBegin = "0", c.statEnd = "99999";
    return c;
}

void BM_Apply(benchmark::State& state) {
    static const auto table = Table(100000);
    const double reference = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(BarePass(table).data()); }, 1, 5);
    const noise::Controls c = ApplyControls(static_cast<int>(state.range(0)));
    bench::TimedAgainst(state, reference, "x_bare_pass", [&](int) {
        auto r = noise::Apply(table, c);
        benchmark::DoNotOptimize(r.lines.data());
    });
}
BENCHMARK(BM_Apply)->Arg(noise::kMeasurementValue)->Arg(noise::kFftFilter)->Unit(benchmark::kMillisecond);

void Summary() {
    std::printf("\n%8s %12s %12s %8s %12s %12s %8s\n", "N", "fwd ours us", "fftw us", "x", "inv ours us", "fftw us", "x");
    for (int n : {512, 1024, 2048, 4096, 8192, 16384, 65536}) {
        const double f = OurNs(n, 1), ff = FftwNs(n, 1), i = OurNs(n, -1), fi = FftwNs(n, -1);
        std::printf("%8d %12.1f %12.1f %8.2f %12.1f %12.1f %8.2f\n", n, f / 1e3, ff / 1e3, f / ff, i / 1e3, fi / 1e3, i / fi);
    }
    const auto table = Table(100000);
    const double bare = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(BarePass(table).data()); }, 1, 5);
    for (int method : {noise::kMeasurementValue, noise::kFftFilter}) {
        const noise::Controls c = ApplyControls(method);
        const double ours = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(noise::Apply(table, c).lines.data()); }, 1, 5);
        std::printf("Apply method %d on 100,000 rows: %.1f ms, bare pass %.1f ms, x %.2f\n", method, ours / 1e6, bare / 1e6,
                    ours / bare);
    }
    std::printf("x: our time / the reference's time (both include copying the input in)\n");
}

}  // namespace

int main(int argc, char** argv) { return bench::RunThenSummarise(argc, argv, Summary); }
