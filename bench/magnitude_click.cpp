// A click in the graph of a 10,000-row table with the magnitude calculator open and
// its text on the graph (snapshot, time stamps re-read, recomputation, text drawn)
// against the same click with the calculator closed, in the same run.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "graph/MagnitudeCalculator1.h"
#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "reference_timing.h"

namespace {

constexpr int kRows = 10000;
double closedNs = 0, openNs = 0;

std::vector<std::string> Rows() {
    std::vector<std::string> lines = {kFormatText2, "\"FileName : /v/moon.avi\"", "\"Video System : NTSC , FrameRate=29.97\"",
                                      ",", ",", "\"No.\""};
    for (int i = 0; i < kRows; ++i) {
        std::string line = std::to_string(i) + ".0";
        for (int f = 2; f <= 30; ++f) {
            line += ',';
            if (f == 11) line += std::to_string((i < kRows / 2 ? 1000 : 200) + (i * 37) % 50);
        }
        lines.push_back(line);
    }
    return lines;
}

// Clicks alternate between two rows so that each one selects (a second click on
// the same row would clear the selection).
void Click(int i) {
    const int x = i % 2 ? 300 : 400;
    chart1->ChartImg1MouseUp(Qt::LeftButton, x, 200);
}

void ClickWithCalculator(benchmark::State& state) {
    bench::TimedAgainst(state, closedNs, "vs_closed", Click);
}

void Summary() {
    std::printf("graph click, %d rows: closed %.3f ms, calculator open with text %.3f ms, ratio %.2f\n", kRows,
                closedNs / 1e6, openNs / 1e6, openNs / closedNs);
}

}  // namespace

BENCHMARK(ClickWithCalculator)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ScriptedDialogs dialogs;
    dialogs.Install();
    SetSettingsFilePath("/tmp/tevorin-bench-magnitude.ini");
    TPlatform w;
    w.Table.Assign(Rows());
    w.State.ResultsLoaded = 1;
    w.OpenGraphWindow();
    chart1->CheckBox2->setChecked(false);  // no video to show
    Graph.LevelBeforeMean = 1000, Graph.LevelStepMean = 600, Graph.LevelAfterMean = 200;
    Graph.LevelBeforeStdErr = 10, Graph.LevelStepStdErr = 12, Graph.LevelAfterStdErr = 8;
    Graph.LevelBeforeCount = 20, Graph.LevelStepCount = 5, Graph.LevelAfterCount = 20;
    closedNs = bench::BestNsPerCall(Click, 20, 5);
    auto* m = new TMagnitudeCalculator(&w);
    m->RadioGroup1->SelectByUser(1);
    m->RadioGroup2->SelectByUser(0);
    openNs = bench::BestNsPerCall(Click, 20, 5);
    const int rc = bench::RunThenSummarise(argc, argv, Summary);
    delete m;
    delete chart1;
    return rc;
}
