// level-stats CSV ROW B0 B1 S0 S1 A0 A1: the level statistics of the three ranges
//   around data row ROW (0-based, as SelectedFrame): lines "before|step|after MEAN
//   STDERR COUNT" (%.17g).
// diffraction-fit CSV ROW [options]: the Fresnel panel's fit ("Fit to Diffraction
//   Curve") on a results file: key=value lines before, step, after, reappearance,
//   upper, lower, shift, rate, evaluations, then Edit7..Edit13, Edit18, Edit22,
//   EventOffsetText, EventErrorText as the panel shows them. A refusal prints its
//   text and exits 2. Options (defaults as the windows'): --fps F (29.97)
//   --field 0|1 (from the table) --interval I (1) --distance KM (384401)
//   --velocity MS (700) --angle DEG (0) --grazing --before A B --step A B
//   --after A B --process A B (sets SelectArea) --double HEIGHT MS --diameter MAS
//   --temperature K (6650) --threads N (0: all cores).
// diffraction-model --fps F [--field] [--distance KM] [--velocity MS] [--rate P]
//   [--shift S] [--disappearance] [--double HEIGHT MS] [--diameter MAS]
//   [--temperature K] T_MS...: the model's mean over the exposure sub-samples
//   (levels 0 and 1) at each time T_MS (ms from the row), shift S in 0.1 ms.
// timing-error X...: TimingErrorCurve(X) in frames (%.17g).
#include <algorithm>
#include <cmath>
#include <numbers>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/timing_error.h"
#include "graph/diffraction_fit.h"
#include "graph/light_curve.h"
#include "measure/results_table.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

using namespace diffraction;

bool Num(const std::string& s, double& v) {
    const auto r = numtext::ParseFloat(s);
    if (!r || !std::isfinite(*r)) return false;
    v = *r;
    return true;
}
bool Int(const std::string& s, int& v) {
    const auto r = numtext::ParseInt32(s);
    if (!r) return false;
    v = *r;
    return true;
}

// The results file as the graph window sees it.
struct Table {
    std::vector<std::string> lines;
    uint8_t format = 0;
};
bool LoadTable(const std::string& path, Table& t, std::string& error) {
    if (!fileio::ReadLines(path, t.lines, error)) return false;
    t.format = DetectResultsFormat(t.lines).version;
    return true;
}
void ViewOf(const Table& t, GraphView& g) {
    g.FirstDataLine = FirstDataLineOf(t.format);
    g.PlotColumnBase = PlotColumnBaseOf(t.format);
    g.DataRowCount = std::max(1, static_cast<int>(t.lines.size()) - g.FirstDataLine + 1);
    g.FieldMode = 0;
    if (t.lines.size() > static_cast<size_t>(g.FirstDataLine)) {
        const std::string f1 = GetField(t.lines[static_cast<size_t>(g.FirstDataLine)], 1);
        g.FieldMode = !f1.empty() && f1.back() == '5';
    }
}

void PrintRange(const char* name, const RangeStats& r) {
    std::printf("%s %.17g %.17g %d\n", name, r.mean, r.stdErr, r.count);
}

int LevelStatsCmd(const std::vector<std::string>& a) {
    if (a.size() != 8) return ProbeFail("level-stats: CSV ROW B0 B1 S0 S1 A0 A1");
    int v[7];
    for (int i = 0; i < 7; ++i)
        if (!Int(a[static_cast<size_t>(i + 1)], v[i])) return ProbeFail("level-stats: not an integer: " + a[static_cast<size_t>(i + 1)]);
    Table t;
    std::string error;
    if (!LoadTable(a[0], t, error)) return ProbeFail("level-stats: " + error);
    GraphView g;
    ViewOf(t, g);
    const LevelStats s = ComputeLevelStatistics(RowsOf(t.lines, g), v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    PrintRange("before", s.before);
    PrintRange("step", s.step);
    PrintRange("after", s.after);
    return 0;
}

// Options shared by the fit and the model.
struct ModelOptions {
    double fps = 29.97;
    int field = -1;
    double distanceKm = 384401, velocity = 700, temperature = 6650;
    bool haveDouble = false;
    double doubleHeight = 500, doubleMs = 0;
    bool haveDiameter = false;
    double diameter = 0;
};

// Reads one shared option at a[i]; returns 1 when taken, 0 when not one, -1 on error.
int ModelOption(const std::vector<std::string>& a, size_t& i, ModelOptions& o, std::string& error) {
    const std::string& k = a[i];
    auto value = [&](double& v) {
        if (i + 1 >= a.size() || !Num(a[i + 1], v)) {
            error = k + " needs a number";
            return -1;
        }
        ++i;
        return 1;
    };
    if (k == "--fps") return value(o.fps);
    if (k == "--distance") return value(o.distanceKm);
    if (k == "--velocity") return value(o.velocity);
    if (k == "--temperature") return value(o.temperature);
    if (k == "--diameter") {
        o.haveDiameter = true;
        return value(o.diameter);
    }
    if (k == "--double") {
        o.haveDouble = true;
        if (value(o.doubleHeight) < 0) return -1;
        return value(o.doubleMs);
    }
    return 0;
}

void ApplyModelOptions(const ModelOptions& o, DiffractionModel& m, GraphView& g, int interval) {
    m.SensitivityFile = DefaultSensitivityFile();
    m.StarTemperature = static_cast<int>(std::lround(o.temperature));
    m.CcdIndex = 0;
    m.InitSpectralModel();
    m.ObjectDistance = static_cast<int64_t>(std::llround(std::clamp(o.distanceKm, -9.2e15, 9.2e15) * 1000.0));
    m.ShadowVelocity = o.velocity;
    m.ShadowVelocityPerInterval = static_cast<long double>(o.velocity) * interval;
    g.DoubleStarMode = o.haveDouble;
    if (o.haveDouble) {
        g.DoubleStarStepHeight = o.doubleHeight;
        g.DoubleStarTimeDiff = o.doubleMs;
    }
    m.StarDiameterMode = o.haveDiameter;
    if (o.haveDiameter) g.StarAngularDiameter = o.diameter;
}

int DiffractionFitCmd(const std::vector<std::string>& a) {
    if (a.size() < 2) return ProbeFail("diffraction-fit: CSV ROW [options]");
    int row;
    if (!Int(a[1], row)) return ProbeFail("diffraction-fit: ROW is not an integer: " + a[1]);
    Table t;
    std::string error;
    if (!LoadTable(a[0], t, error)) return ProbeFail("diffraction-fit: " + error);
    GraphView g;
    ViewOf(t, g);
    ModelOptions o;
    int interval = 1, threads = 0;
    double angle = 0;
    bool grazing = false;
    int before[2] = {-30, -11}, step[2] = {0, 0}, after[2] = {11, 30}, process[2] = {-30, 30};
    bool haveBefore = false, haveAfter = false, haveProcess = false;
    for (size_t i = 2; i < a.size(); ++i) {
        const int taken = ModelOption(a, i, o, error);
        if (taken < 0) return ProbeFail("diffraction-fit: " + error);
        if (taken) continue;
        const std::string& k = a[i];
        auto pair = [&](int* v) {
            if (i + 2 >= a.size() || !Int(a[i + 1], v[0]) || !Int(a[i + 2], v[1])) return false;
            i += 2;
            return true;
        };
        auto one = [&](int& v) {
            if (i + 1 >= a.size() || !Int(a[i + 1], v)) return false;
            ++i;
            return true;
        };
        bool ok = true;
        if (k == "--grazing") grazing = true;
        else if (k == "--field") ok = one(o.field) && (o.field == 0 || o.field == 1);
        else if (k == "--interval") ok = one(interval) && interval >= 1;
        else if (k == "--threads") ok = one(threads) && threads >= 0;
        else if (k == "--angle") ok = i + 1 < a.size() && Num(a[++i], angle);
        else if (k == "--before") ok = haveBefore = pair(before);
        else if (k == "--step") ok = pair(step);
        else if (k == "--after") ok = haveAfter = pair(after);
        else if (k == "--process") ok = haveProcess = pair(process);
        else ok = false;
        if (!ok) return ProbeFail("diffraction-fit: bad option or value: " + k);
    }
    if (o.field >= 0) g.FieldMode = static_cast<uint8_t>(o.field);
    // The graph window's default ranges in field mode depend on the row count.
    const int n = g.DataRowCount;
    if (g.FieldMode && !haveBefore) {
        before[0] = n >= 120 ? -60 : -(n / 2);
        before[1] = n >= 120 ? -21 : -(n / 3);
    }
    if (g.FieldMode && !haveAfter) {
        after[0] = n >= 120 ? 21 : n / 3;
        after[1] = n >= 120 ? 60 : n / 2;
    }
    g.SelectedFrame = row;
    g.BeforeRangeStart = before[0], g.BeforeRangeEnd = before[1];
    g.StepRangeStart = step[0], g.StepRangeEnd = step[1];
    g.AfterRangeStart = after[0], g.AfterRangeEnd = after[1];
    g.SelectArea = haveProcess;
    g.ProcessRangeStart = process[0], g.ProcessRangeEnd = process[1];
    g.FresnelRate = static_cast<double>(cosl(std::min(angle, 90.0) * std::numbers::pi_v<long double> / 180));
    FitRequest r;
    ApplyModelOptions(o, r.model, g, interval);
    DRAverage(RowsOf(t.lines, g), g);
    r.view = g;
    r.lines = &t.lines;
    r.formatVersion = t.format;
    r.frameRate = o.fps;
    r.interval = interval;
    r.grazing = grazing;
    r.beforeLevel = g.LevelBeforeMean;
    r.afterLevel = g.LevelAfterMean;
    r.threads = static_cast<unsigned>(threads);
    const FitRun run = RunFit(r);
    if (!run.Ok()) {
        std::printf("%s\n", run.refusal.c_str());
        return 2;
    }
    DiffractionModel& model = r.model;
    ApplyFit(run, g, model);
    const ResultTexts rt = ResultShowTexts(g, t.lines, t.format, g.FitTimeShift, g.IsReappearance, interval);
    std::printf("before=%.17g %.17g %d\n", g.LevelBeforeMean, g.LevelBeforeStdErr, g.LevelBeforeCount);
    std::printf("step=%.17g %.17g %d\n", g.LevelStepMean, g.LevelStepStdErr, g.LevelStepCount);
    std::printf("after=%.17g %.17g %d\n", g.LevelAfterMean, g.LevelAfterStdErr, g.LevelAfterCount);
    std::printf("reappearance=%d\nupper=%.17g\nlower=%.17g\n", g.IsReappearance, g.UpperLevel, g.LowerLevel);
    std::printf("shift=%d\nrate=%.17g\nevaluations=%d\n", g.FitTimeShift, g.FresnelRate, run.outcome.evaluations);
    const FitReport& rep = run.report;
    std::printf("Edit7=%s\nEdit8=%s\nEdit9=%s\nEdit10=%s\n", rt.edit7.c_str(), rt.edit8.c_str(), rt.edit9.c_str(),
                rt.edit10.c_str());
    std::printf("Edit11=%s\nEdit12=%s\nEdit13=%s\nEdit18=%s\nEdit22=%s\n", rep.edit11.c_str(), rep.edit12.c_str(),
                rep.edit13.c_str(), rt.edit18.c_str(), rep.edit22.c_str());
    std::printf("EventOffsetText=%s\nEventErrorText=%s\n", rt.eventOffsetText.c_str(), g.EventErrorText.c_str());
    return 0;
}

int DiffractionModelCmd(const std::vector<std::string>& a) {
    ModelOptions o;
    double rate = 1, shift = 0;
    bool field = false, disappearance = false;
    std::vector<long double> times;
    std::string error;
    for (size_t i = 0; i < a.size(); ++i) {
        const int taken = ModelOption(a, i, o, error);
        if (taken < 0) return ProbeFail("diffraction-model: " + error);
        if (taken) continue;
        const std::string& k = a[i];
        if (k == "--field") field = true;
        else if (k == "--disappearance") disappearance = true;
        else if (k == "--rate" && i + 1 < a.size() && Num(a[i + 1], rate)) ++i;
        else if (k == "--shift" && i + 1 < a.size() && Num(a[i + 1], shift)) ++i;
        else {
            double t;
            if (!Num(k, t)) return ProbeFail("diffraction-model: not a time or option: " + k);
            times.push_back(t);
        }
    }
    if (times.empty()) return ProbeFail("diffraction-model: give at least one time");
    FitRequest r;
    GraphView g;
    g.SelectedFrame = 0;
    ApplyModelOptions(o, r.model, g, 1);
    g.LevelBeforeCount = g.LevelAfterCount = 1;
    g.FieldMode = field;
    r.view = g;
    std::vector<std::string> none;
    r.lines = &none;
    r.frameRate = o.fps;
    r.beforeLevel = disappearance ? 1 : 0;
    r.afterLevel = disappearance ? 0 : 1;
    const FitPlan plan = PrepareFit(r);
    if (!plan.refusal.empty()) {
        std::printf("%s\n", plan.refusal.c_str());
        return 2;
    }
    for (long double t : times)
        std::printf("%.17g\n", static_cast<double>(MeanIntensity(plan.setup, t / 1000, shift, rate)));
    return 0;
}

int TimingErrorCmd(const std::vector<std::string>& a) {
    if (a.empty()) return ProbeFail("timing-error: give one or more X");
    for (const auto& s : a) {
        double x;
        if (!Num(s, x)) return ProbeFail("timing-error: not a number: " + s);
        std::printf("%.17g\n", static_cast<double>(timing::TimingErrorCurve(x)));
    }
    return 0;
}

const ProbeCommand kLevelStats("level-stats", "CSV ROW B0 B1 S0 S1 A0 A1", LevelStatsCmd);
const ProbeCommand kFit("diffraction-fit", "CSV ROW [--fps F] [--field 0|1] [--interval I] [--distance KM] "
                        "[--velocity MS] [--angle DEG] [--grazing] [--before A B] [--step A B] [--after A B] "
                        "[--process A B] [--double HEIGHT MS] [--diameter MAS] [--temperature K] [--threads N]",
                        DiffractionFitCmd);
const ProbeCommand kModel("diffraction-model", "--fps F [--field] [--distance KM] [--velocity MS] [--rate P] "
                          "[--shift S] [--disappearance] [--double HEIGHT MS] [--diameter MAS] [--temperature K] T_MS...",
                          DiffractionModelCmd);
const ProbeCommand kTimingError("timing-error", "X...", TimingErrorCmd);

}  // namespace
