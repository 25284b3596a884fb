// The identification window on a 20,000-line prediction report: the automatic
// search, and the event list of the whole report, each against reading the
// report's lines from its file, timed side by side.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analysis/identification.h"
#include "platform/file_io.h"
#include "reference_timing.h"

namespace {

namespace id = identification;

constexpr int kLines = 20000;

const std::string& ReportPath() {
    static const std::string path = [] {
        std::string p = "/tmp/tevorin-bench-prediction-" + std::to_string(::getpid()) + ".txt";
        std::string text = "title\r\nstation\r\n\r\n y  mon dd  h  m  s" + std::string(41, ' ') + "Cct" +
                           std::string(30, ' ') + "Mdist" + std::string(20, ' ') + "SV\r\n----\r\n";
        const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        for (int i = 5; i < kLines; i += 2) {
            char line[256];
            const int day = i / 2 % 28 + 1, month = i / 800 % 12;
            std::snprintf(line, sizeof line,
                          "26 %s %2d %02d %02d %02d      %4d K0                          45.3   0.5432  384.4"
                          "    ######### more columns of the report %%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%% end\r\n"
                          "          continuation line of the event\r\n",
                          months[month], day, i % 24, i % 60, i % 60, 1000 + i % 8000);
            text += line;
        }
        std::string error;
        if (!fileio::WriteFileAtomic(p, text, error)) std::fprintf(stderr, "%s\n", error.c_str());
        return p;
    }();
    return path;
}

std::vector<std::string> Report() {
    std::vector<std::string> lines;
    std::string error;
    id::ReadReport(ReportPath(), lines, error);
    return lines;
}

double ReadNs() {
    return bench::BestNsPerCall([](int) { benchmark::DoNotOptimize(Report()); }, 1, 9);
}

void BM_AutoSearchAndList(benchmark::State& state) {
    const std::vector<std::string> report = Report();
    id::ListingOptions o{true, false, {"26", " 6", "14", "05", "07", "07"}};
    for (auto _ : state) benchmark::DoNotOptimize(id::ListReport(report, o));
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(id::ListReport(report, o)); }, 1, 9);
    state.counters["vs_read"] = ns / ReadNs();
}

void BM_WholeReportList(benchmark::State& state) {
    const std::vector<std::string> report = Report();
    id::ListingOptions o{false, state.range(0) != 0, {"26", " 6", "14", "05", "07", "07"}};
    for (auto _ : state) benchmark::DoNotOptimize(id::ListReport(report, o));
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(id::ListReport(report, o)); }, 1, 9);
    state.counters["vs_read"] = ns / ReadNs();
}

void Summary() { std::remove(ReportPath().c_str()); }

}  // namespace

BENCHMARK(BM_AutoSearchAndList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeReportList)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return bench::RunThenSummarise(argc, argv, Summary); }
