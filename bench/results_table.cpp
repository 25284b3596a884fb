// The results table against plain file I/O of the same bytes: appending 200,000
// three-object rows (with the view following), reading column 59 of every row,
// and saving and loading the 200,000-row file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "measure/main_2.h"
#include "measure/results_table.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"

namespace {
constexpr int kRows = 200000;

MeasureState ThreeObjects() {
    MeasureState s;
    s.ObjectCount = 3;
    for (int k = 1; k <= 3; ++k) {
        DataLineObject& o = s.DataLines[0].Objects[k];
        o.Value = 12345.6 * k;
        o.Fwhm = 3.25;
        o.PeakHeight = 9000;
        o.BackgroundLevel = 20000;
        o.AperturePixels = 113;
        o.BackgroundPixels = 1200;
        o.ApertureRadius = 6;
        o.BkgInnerRadius = 8;
        o.BkgOuterRadius = 25;
        o.PosX = 100 * k;
        o.PosY = 200;
        o.TrackMode = kTrackDrift;
        o.TrackRadius = 6;
        o.TrackThreshold = 95;
    }
    return s;
}

std::string TablePath() { return "/tmp/tevorin-bench-results.csv"; }

void BM_AppendRowsWithView(benchmark::State& st) {
    for (auto _ : st) {
        TPlatform w;
        w.State = ThreeObjects();
        for (int i = 0; i < kRows; ++i) {
            w.State.DataLines[0].FrameNo10 = i * 10;
            w.AppendResultRows();
        }
        benchmark::DoNotOptimize(w.Table.Count());
    }
}

void BM_AppendRowsCoreOnly(benchmark::State& st) {
    MeasureState s = ThreeObjects();
    RowContext c;
    for (auto _ : st) {
        ResultsTable t;
        for (int i = 0; i < kRows; ++i) {
            s.DataLines[0].FrameNo10 = i * 10;
            AppendResultRows(t, s, c);
        }
        benchmark::DoNotOptimize(t.Count());
    }
}

ResultsTable& BigTable() {
    static ResultsTable t = [] {
        ResultsTable table;
        MeasureState s = ThreeObjects();
        RowContext c;
        WriteResultsHeader(table, s, c);
        for (int i = 0; i < kRows; ++i) {
            s.DataLines[0].FrameNo10 = i * 10;
            AppendResultRows(table, s, c);
        }
        return table;
    }();
    return t;
}

void BM_GetFieldColumn59(benchmark::State& st) {
    const ResultsTable& t = BigTable();
    for (auto _ : st) {
        size_t total = 0;
        for (size_t i = 6; i < t.Count(); ++i) total += GetField(t[i], 59).size();
        benchmark::DoNotOptimize(total);
    }
}

void BM_SaveTable(benchmark::State& st) {
    const ResultsTable& t = BigTable();
    std::string err;
    for (auto _ : st)
        if (!t.SaveToFile(TablePath(), err)) st.SkipWithError(err.c_str());
}

void BM_SavePlainOfstream(benchmark::State& st) {
    const ResultsTable& t = BigTable();
    for (auto _ : st) {
        std::ofstream f(TablePath() + ".plain", std::ios::binary | std::ios::trunc);
        for (const auto& l : t.Lines()) f << l << "\r\n";
    }
}

void BM_LoadTable(benchmark::State& st) {
    std::string err;
    BigTable().SaveToFile(TablePath(), err);
    for (auto _ : st) {
        std::vector<std::string> lines;
        LoadedResults r;
        if (!fileio::ReadLines(TablePath(), lines, err) || !ParseResultsFile(std::move(lines), r, err))
            st.SkipWithError(err.c_str());
        benchmark::DoNotOptimize(r.lines.size());
    }
}

void BM_LoadPlainIfstream(benchmark::State& st) {
    std::string err;
    BigTable().SaveToFile(TablePath(), err);
    for (auto _ : st) {
        std::ifstream f(TablePath(), std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(f, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
        }
        benchmark::DoNotOptimize(lines.size());
    }
}
}  // namespace

BENCHMARK(BM_AppendRowsWithView)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_AppendRowsCoreOnly)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetFieldColumn59)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SavePlainOfstream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPlainIfstream)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ScriptedDialogs dialogs;
    dialogs.Install();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
