// The diffraction fit: one occultation fit (61 rows, 29.97 fps) on one thread
// against the StarDiscIntensity calls it makes, alone in a loop; the fit on all
// threads against one; and the drawing after a fit (the graph and the fitted
// curve, marks and residuals) in a Part view and in an Entire view of 100,000
// rows, against one fit.
#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "graph/diffraction_draw.h"
#include "graph/diffraction_fit.h"
#include "graph/fresnel.h"
#include "reference_timing.h"

namespace {

using namespace diffraction;

// A disappearance 12 ms after row `event` of `n` rows, 100 -> 1100, with a little
// deterministic ripple standing in for noise.
std::vector<std::string> Table(int n, int event) {
    FitSetup f;
    f.model.SensitivityFile = "/nonexistent";
    f.model.InitSpectralModel();
    f.model.BuildFresnelScales();
    f.reappearance = false;
    std::vector<std::string> lines(6, "h");
    lines[0] = "Tevorin File Format (for Ver.0.9.26 later)";
    for (int i = 0; i < n; ++i) {
        const int k = i - event;
        const long double mean = std::abs(k) > 200 ? (k < 0 ? 1.0L : 0.0L) : MeanIntensity(f, RowTime(f, k), -120, 1);
        const double v = 100 + 1000 * static_cast<double>(mean) + 3 * std::sin(i * 1.7);
        lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + std::to_string(v) + ",");
    }
    return lines;
}

struct Fixture {
    std::vector<std::string> lines;
    FitRequest r;
    Fixture(int n, int event) : lines(Table(n, event)) {
        GraphView& g = r.view;
        g.DataRowCount = n;
        g.SelectedFrame = event;
        r.model.SensitivityFile = "/nonexistent";
        r.model.InitSpectralModel();
        DRAverage(RowsOf(lines, g), g);
        r.lines = &lines;
        r.frameRate = 29.97;
        r.beforeLevel = g.LevelBeforeMean;
        r.afterLevel = g.LevelAfterMean;
    }
};

double gFitOneNs = 0, gCallsNs = 0, gFitAllNs = 0, gPartNs = 0, gEntireNs = 0;

// The intensity calls of one occultation fit, in the fit's order, summed.
double CallsAlone(const FitSetup& f, const FitOutcome& o) {
    const int c = CoarseStep(f.frameRate), n = FineHalfCount(f.frameRate);
    const int m = SubSampleHalfWidth(f.frameRate, f.fieldMode);
    std::vector<long double> sigmas;
    for (int i = -15; i <= 15; ++i) sigmas.push_back(static_cast<long double>(i) * c);
    for (int j = -n; j <= n; ++j) sigmas.push_back(o.sigma + 10.0L * j);
    return bench::BestNsPerCall(
        [&](int) {
            long double sink = 0;
            for (long double sigma : sigmas)
                for (int k = f.window.first; k <= f.window.last; ++k) {
                    const long double base = RowTime(f, k) + sigma / 10000;
                    for (int s = -m; s <= m; ++s) sink += f.model.StarDiscIntensity((base + s / 1000.0L) * -1 * f.fresnelRate);
                }
            benchmark::DoNotOptimize(sink);
        },
        3, 5);
}

void OccultationFit(benchmark::State& state) {
    Fixture fx(200, 100);
    const FitPlan plan = PrepareFit(fx.r);
    const FitOutcome o = FitDiffraction(plan.setup, 1);
    gCallsNs = CallsAlone(plan.setup, o);
    gFitOneNs = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(FitDiffraction(plan.setup, 1)); }, 3, 5);
    bench::TimedAgainst(state, gCallsNs, "vs_calls", [&](int) { benchmark::DoNotOptimize(FitDiffraction(plan.setup, 1)); });
}

void AllThreads(benchmark::State& state) {
    Fixture fx(200, 100);
    const FitPlan plan = PrepareFit(fx.r);
    const double one = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(FitDiffraction(plan.setup, 1)); }, 3, 5);
    gFitAllNs = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(FitDiffraction(plan.setup, 0)); }, 3, 5);
    bench::TimedAgainst(state, one, "vs_one_thread", [&](int) { benchmark::DoNotOptimize(FitDiffraction(plan.setup, 0)); });
}

// GraphShow3 and the fit's drawing of a view.
double DrawNs(int rows, bool entire) {
    Fixture fx(rows, rows / 2);
    const FitRun run = RunFit(fx.r);
    GraphView g = fx.r.view;
    g.EntireView = entire;
    g.FirstShownFrame = entire ? 0 : rows / 2 - 150;
    GraphInputs in;
    in.lines = &fx.lines;
    LightCurveGraph graph;
    QImage image1(740, 425, QImage::Format_RGB32), image2(740, 151, QImage::Format_RGB32);
    FitDrawing d;
    d.run = &run;
    d.frameRate = 29.97;
    return bench::BestNsPerCall(
        [&](int) {
            WidthChoice width{true, entire ? 1 : 0};
            ScrollRange scroll;
            graph.GraphShow3(g, in, image1, &image2, width, scroll);
            DrawFit(g, graph.Table(), d, image1, image2);
        },
        1, 3);
}

void DrawingPart(benchmark::State& state) {
    Fixture fx(200, 100);
    const FitPlan plan = PrepareFit(fx.r);
    const double fit = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(FitDiffraction(plan.setup, 1)); }, 3, 5);
    gPartNs = DrawNs(100000, false);
    for (auto _ : state) benchmark::DoNotOptimize(gPartNs);
    state.counters["vs_fit"] = gPartNs / fit;
}

void DrawingEntire(benchmark::State& state) {
    gEntireNs = DrawNs(100000, true);
    for (auto _ : state) benchmark::DoNotOptimize(gEntireNs);
    state.counters["vs_fit"] = gEntireNs / gFitOneNs;
}

void Summary() {
    std::printf("\none occultation fit, one thread: %.1f ms; its intensity calls alone: %.1f ms; ratio %.2f (aim <= 1.2)\n",
                gFitOneNs / 1e6, gCallsNs / 1e6, gFitOneNs / gCallsNs);
    std::printf("all %u threads: %.1f ms; ratio to one thread %.2f (aim <= 0.6 on 2 cores)\n",
                std::thread::hardware_concurrency(), gFitAllNs / 1e6, gFitAllNs / gFitOneNs);
    std::printf("drawing after a fit, Part view of 100,000 rows: %.1f ms, %.2f x one fit (aim <= 1)\n", gPartNs / 1e6,
                gPartNs / gFitOneNs);
    std::printf("drawing after a fit, Entire view of 100,000 rows: %.1f ms, %.2f x one fit (aim <= 10)\n",
                gEntireNs / 1e6, gEntireNs / gFitOneNs);
}

}  // namespace

BENCHMARK(OccultationFit)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(AllThreads)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(DrawingPart)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(DrawingEntire)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    fresnel::BuildFresnelTables();
    return bench::RunThenSummarise(argc, argv, Summary);
}
