// Mutual events: averaging 100,000 frames against the bare parse of the columns it
// reads (aim at most 2x), and the window search over a 600-unit selection at
// degree 8 (201 x 201 = 40,401 fits) against the same search with every window's
// sums rebuilt from its units (aim at least 3x faster, identical best window).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/mutual_event.h"
#include "analysis/poly_fit.h"
#include "platform/numtext.h"
#include "reference_timing.h"

namespace {

std::vector<std::string> Table(int frames) {
    std::vector<std::string> t = {"Tevorin File Format (for Ver.0.9.26 later)", "\"FileName : x.avi\"",
                                  "\"Video System : NTSC , FrameRate=29.97\"", "\"\"", "\"\"", "\"No.\""};
    char buf[512];
    for (int k = 0; k < frames; ++k) {
        const double s = std::fmod(k / 29.97, 60.0);
        std::snprintf(buf, sizeof buf,
                      "%d.0,\"\",\"\",12,%d,%.4f,%.4f,,,,%.1f,%.1f,%.1f,3.1,3.2,3.3,900,100,113,1200,6,8,25,,320,240,,,,,\"Drift\",6,95",
                      k, 30 + static_cast<int>(k / 29.97 / 60), s, s, 3000 + 500 * std::sin(k * 1e-3), 2000 + (k % 97) * 0.1,
                      1500 + (k % 13) * 0.1);
        t.push_back(buf);
    }
    return t;
}

// What any reader of these rows has to do at least: find and convert the six cells.
double BareParse(const std::vector<std::string>& table) {
    double sum = 0;
    for (size_t i = 6; i < table.size(); ++i) {
        const std::string& row = table[i];
        size_t start = 0;
        for (int field = 1; field <= 13; ++field) {
            size_t comma = row.find(',', start);
            if (comma == std::string::npos) comma = row.size();
            const std::string_view cell(row.data() + start, comma - start);
            if (field == 4 || field == 5) sum += static_cast<double>(*numtext::ParseInt32(cell));
            else if (field == 7 || field >= 11) sum += *numtext::ParseFloat(cell);
            start = comma + 1;
        }
    }
    return sum;
}

void BM_AverageFrames(benchmark::State& state) {
    const auto table = Table(100000);
    const double reference = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(BareParse(table)); }, 1, 5);
    mutual::AverageSettings s;
    bench::TimedAgainst(state, reference, "x_bare_parse", [&](int) {
        auto r = mutual::AverageFrames(table, s);
        benchmark::DoNotOptimize(r.units.data());
    });
}

std::vector<mutual::Unit> SearchUnits() {
    std::vector<mutual::Unit> units(1001);
    for (int u = 1; u <= 1000; ++u) {
        const long double t = 45000 + 2.0L * (u - 1);
        units[u].hour = static_cast<int64_t>(t / 3600);
        units[u].minute = static_cast<int64_t>((t - 3600 * units[u].hour) / 60);
        units[u].second = t - 3600 * units[u].hour - 60 * units[u].minute;
        const long double x = (u - 500) / 150.0L;
        units[u].Ts = 3000 - 1000 * std::exp(-x * x) + 5 * std::sin(u * 12.9898L);
    }
    return units;
}

void BM_WindowSearch(benchmark::State& state) {
    const auto units = SearchUnits();
    int wf = 0, wl = 0;
    mutual::SetFitWindow(201, 800, 1000, wf, wl);
    mutual::FitResult slow;
    const double reference = bench::BestNsPerCall([&](int) { slow = mutual::SearchWindowRebuilt(units, 201, 800, wf, wl, 8); }, 1, 1);
    mutual::FitResult fast;
    bench::TimedAgainst(state, reference, "x_rebuilt", [&](int) { fast = mutual::SearchWindow(units, 201, 800, wf, wl, 8); });
    bool same = fast.ok && slow.ok && fast.windowFirst == slow.windowFirst && fast.windowLast == slow.windowLast;
    for (int k = 0; k <= 8 && same; ++k) same = fast.poly.c[k] == slow.poly.c[k];
    state.counters["identical"] = same ? 1 : 0;
    state.counters["fits"] = (201 - wf + 1) * (wl - 800 + 1);
}

}  // namespace

BENCHMARK(BM_AverageFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowSearch)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
