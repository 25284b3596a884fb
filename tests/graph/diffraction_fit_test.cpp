// Level statistics and the diffraction fit against numpy/scipy light curves.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <sstream>

#include "analysis/timing_error.h"
#include "graph/diffraction_fit.h"
#include "graph/light_curve.h"
#include "platform/file_io.h"
#include "support/golden_compare.h"
#include "support/test_util.h"

using namespace diffraction;

namespace {

const std::string kPython = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/";

bool HaveScipy() { return testutil::Run("/usr/bin/python3 -c 'import scipy.special' 2>/dev/null") == 0; }

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(fileio::ReadLines(path, lines, error)) << error;
    return lines;
}

// A light curve from the oracle, written to `path`.
std::vector<std::string> Curve(const testutil::TempDir& dir, const std::string& args, const std::string& name = "c") {
    const std::string path = dir.File(name + ".csv");
    EXPECT_EQ(testutil::Run(kPython + "diffraction_oracle.py' '" + path + "' " + args), 0) << args;
    return Lines(path);
}

struct Options {
    double fps = 29.97;
    bool field = false;
    int row = 60;
    bool grazing = false;
    double angle = 0;
    double diameter = -1;  // < 0: off
    bool doubleStar = false;
    double height = 500, diff = 0;
    bool area = false;  // SelectArea with the range below
    int processFrom = -30, processTo = 30;
    double velocity = 700;
    unsigned threads = 0;
};

// The request the panel makes after DRAverage, with the graph's default ranges.
FitRequest Request(const std::vector<std::string>& lines, const Options& o) {
    FitRequest r;
    GraphView& g = r.view;
    g.FirstDataLine = FirstDataLineOf(2);
    g.PlotColumnBase = PlotColumnBaseOf(2);
    g.DataRowCount = static_cast<int>(lines.size()) - g.FirstDataLine + 1;
    g.FieldMode = o.field;
    g.SelectedFrame = o.row;
    if (o.field) g.BeforeRangeStart = -60, g.BeforeRangeEnd = -21, g.AfterRangeStart = 21, g.AfterRangeEnd = 60;
    g.FresnelRate = std::cos(o.angle * M_PI / 180);
    g.DoubleStarMode = o.doubleStar;
    g.DoubleStarStepHeight = o.height;
    g.DoubleStarTimeDiff = o.diff;
    g.SelectArea = o.area;
    g.ProcessRangeStart = o.processFrom, g.ProcessRangeEnd = o.processTo;
    r.model.SensitivityFile = "/nonexistent/CCDSpectralSensitivity.csv";
    r.model.InitSpectralModel();
    r.model.ShadowVelocity = r.model.ShadowVelocityPerInterval = o.velocity;
    if (o.diameter >= 0) r.model.StarDiameterMode = 1, g.StarAngularDiameter = o.diameter;
    DRAverage(RowsOf(lines, g), g);
    r.lines = &lines;
    r.frameRate = o.fps;
    r.grazing = o.grazing;
    r.beforeLevel = g.LevelBeforeMean;
    r.afterLevel = g.LevelAfterMean;
    r.threads = o.threads;
    return r;
}

FitRun Fit(const std::vector<std::string>& lines, const Options& o) { return RunFit(Request(lines, o)); }

std::vector<double> Numbers(const std::string& text) {
    std::vector<double> v;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        if (w != "before" && w != "step" && w != "after") v.push_back(std::strtod(w.c_str(), nullptr));
    return v;
}

}  // namespace

// Ranges cut by the table's ends, empty fields, empty lines carried inside a pass
// and from the step range into the after mean, all against numpy.
TEST(LevelStatistics, DRAverageAgainstNumpy) {
    testutil::TempDir dir;
    std::string csv = "Tevorin File Format (for Ver.0.9.26 later)\r\nx\r\nNTSC\r\nh\r\nh\r\nh\r\n";
    for (int i = 0; i < 40; ++i) {
        if (i == 3 || i == 20 || i == 21 || i == 30) {
            csv += "\r\n";  // empty line
            continue;
        }
        const std::string v = i == 7 ? "" : std::to_string(100 + (i * 37 % 11) + 0.25 * i);
        csv += std::to_string(i) + ".0,,,,,,,,,," + v + ",\r\n";
    }
    const std::string path = dir.File("s.csv");
    testutil::WriteAll(path, csv);
    const std::vector<std::string> lines = Lines(path);
    GraphView g;
    g.DataRowCount = static_cast<int>(lines.size()) - g.FirstDataLine + 1;
    struct Case {
        int row, r[6];
    } cases[] = {
        {5, {-30, -11, 0, 0, 11, 30}},    // before range entirely before row 0
        {25, {-30, -11, -5, 5, 11, 30}},  // after range past the last row; carries
        {20, {-19, -1, 0, 1, 10, 12}},    // the step ends on an empty line: after starts from it
        {10, {-9, -1, 0, 0, 1, 1}},       // single-row ranges
        {30, {-12, -1, 0, 0, 1, 9}},      // the selected row itself is an empty line
    };
    testutil::Differences d;
    for (const Case& c : cases) {
        const LevelStats s = ComputeLevelStatistics(RowsOf(lines, g), c.row, c.r[0], c.r[1], c.r[2], c.r[3], c.r[4], c.r[5]);
        std::string args = path + "' " + std::to_string(c.row);
        for (int x : c.r) args += " " + std::to_string(x);
        std::string out;
        ASSERT_EQ(testutil::Run(kPython + "level_stats_oracle.py' '" + args, &out), 0);
        const std::vector<double> want = Numbers(out);
        ASSERT_EQ(want.size(), 9u) << out;
        const RangeStats* got[3] = {&s.before, &s.step, &s.after};
        for (int k = 0; k < 3; ++k) {
            const std::string where = "row " + std::to_string(c.row) + " range " + std::to_string(k);
            // Sums of at most 40 values near 100: numpy's doubles agree to ~1e-13.
            d.Check(got[k]->mean, want[3 * k], 1e-11, where + " mean");
            d.Check(got[k]->stdErr, want[3 * k + 1], 1e-11, where + " stderr");
            d.Check(got[k]->count, want[3 * k + 2], 0, where + " count");
        }
    }
    EXPECT_EQ(d.Report(), "");
    // Case 1: nothing before row 0 counts.
    const LevelStats s = ComputeLevelStatistics(RowsOf(lines, g), 5, -30, -11, 0, 0, 11, 30);
    EXPECT_EQ(s.before.count, 0);
    EXPECT_EQ(s.before.mean, 0);
    EXPECT_EQ(s.before.stdErr, 0);

    // DRAverage writes the statistics and the absolute ranges, and nothing with a
    // level fixed.
    g.SelectedFrame = 25;
    ASSERT_TRUE(DRAverage(RowsOf(lines, g), g));
    EXPECT_EQ(g.BeforeFrameFrom, -5);
    EXPECT_EQ(g.AfterFrameTo, 55);
    EXPECT_EQ(g.LevelAfterCount, 4);  // rows 36..39
    GraphView fixed = g;
    fixed.SelectedFrame = 10;
    fixed.LowerLevelFixed = 1;
    EXPECT_FALSE(DRAverage(RowsOf(lines, fixed), fixed));
    EXPECT_EQ(fixed.LevelAfterCount, 4);
    EXPECT_EQ(fixed.LevelBeforeMean, g.LevelBeforeMean);
    EXPECT_EQ(fixed.BeforeFrameFrom, -5);
}

// The fit places scipy-built events exactly on the millisecond grid: both
// directions, 25 and 29.97 fps, frame and field rows.
TEST(DiffractionFit, RecoversEventsOnTheMillisecondGrid) {
    if (!HaveScipy()) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    struct Case {
        double fps;
        bool field, disappearance;
        int eventMs;
    } cases[] = {
        {29.97, false, true, 12},  {29.97, false, false, -37}, {25.0, false, true, -123},
        {25.0, false, false, 251}, {29.97, true, true, 7},     {29.97, true, false, -19},
        {25.0, true, false, 3},    {25.0, true, true, -88},
    };
    for (const Case& c : cases) {
        const int rows = c.field ? 241 : 121;
        const int row = c.field ? 120 : 60;
        std::string args = "--fps " + std::to_string(c.fps) + " --rows " + std::to_string(rows) + " --row " +
                           std::to_string(row) + " --event-ms " + std::to_string(c.eventMs);
        if (c.field) args += " --field";
        if (c.disappearance) args += " --disappearance";
        const auto lines = Curve(dir, args);
        Options o;
        o.fps = c.fps;
        o.field = c.field;
        o.row = row;
        const FitRun run = Fit(lines, o);
        ASSERT_TRUE(run.Ok()) << run.refusal << " " << args;
        EXPECT_EQ(run.report.isReappearance, c.disappearance ? 0 : 1) << args;
        // FitTimeShift is the event's offset in 0.1 ms, positive after the row for a
        // disappearance and negated for a reappearance.
        EXPECT_EQ(run.report.fitTimeShift, c.disappearance ? c.eventMs * 10 : -c.eventMs * 10) << args;
        EXPECT_EQ(run.outcome.evaluations, c.fps == 25.0 ? 31 + 41 : 31 + 67) << args;
        GraphView g = Request(lines, o).view;
        DiffractionModel m;
        ApplyFit(run, g, m);
        const ResultTexts t = ResultShowTexts(g, lines, 2, g.FitTimeShift, g.IsReappearance, 1);
        EXPECT_EQ(t.edit10, std::to_string(c.eventMs)) << args;
    }
}

// Seeded noise: the mean event time of 20 curves lies within 1 ms of the truth;
// the error estimate follows the noise.
TEST(DiffractionFit, NoisyCurvesAverageToTheEvent) {
    if (!HaveScipy()) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    double sum = 0;
    ASSERT_EQ(testutil::Run(kPython + "diffraction_oracle.py' '" + dir.File("n.csv") + "' --event-ms 15 --noise 60 --copies 20"), 0);
    for (int seed = 1; seed <= 20; ++seed) {
        const auto lines = Lines(dir.File("n-" + std::to_string(seed) + ".csv"));
        const FitRun run = Fit(lines, Options{});
        ASSERT_TRUE(run.Ok()) << run.refusal;
        sum += -run.report.fitTimeShift / 10.0;
        EXPECT_GT(run.report.errorMs, 0);
        EXPECT_NE(run.report.edit12, "---");
    }
    EXPECT_NEAR(sum / 20, 15.0, 1.0);
}

// A graze at half the pattern speed gives p = 0.500 +- 0.002 and its angle.
TEST(DiffractionFit, GrazingRecoversTheSpeedFactor) {
    if (!HaveScipy()) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    const auto lines = Curve(dir, "--event-ms 40 --rate 0.5");
    Options o;
    o.grazing = true;
    o.area = true, o.processFrom = -15, o.processTo = 15;
    const FitRun run = Fit(lines, o);
    ASSERT_TRUE(run.Ok()) << run.refusal;
    EXPECT_NEAR(static_cast<double>(run.report.fresnelRate), 0.5, 0.002);
    EXPECT_EQ(run.report.fitTimeShift, -400);
    // Each shift runs three rounds of 21 factors, except p = 1 - 10 x 0.1 = 0.
    // (p near 0.1 or 0.01 skips one more in a later round).
    EXPECT_LE(run.outcome.evaluations, (31 + 67) * 62);
    EXPECT_GE(run.outcome.evaluations, (31 + 67) * 60);
    GraphView g = Request(lines, o).view;
    DiffractionModel m;
    ApplyFit(run, g, m);
    const ResultTexts t = ResultShowTexts(g, lines, 2, g.FitTimeShift, g.IsReappearance, 1);
    EXPECT_NEAR(std::stod(t.edit8), 60.0, 0.3);
    EXPECT_EQ(t.edit8, t.contactAngleText);
}

// A 2 mas disc is fitted with the disc model; a double star of height 500 at
// 0 ms is the single star; a real double star places both components.
TEST(DiffractionFit, DiscAndDoubleStar) {
    if (!HaveScipy()) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    {
        const auto lines = Curve(dir, "--event-ms -21 --diameter 2 --rows 61 --row 30", "disc");
        Options o;
        o.row = 30;
        o.diameter = 2;
        o.area = true, o.processFrom = -12, o.processTo = 12;
        const FitRun run = Fit(lines, o);
        ASSERT_TRUE(run.Ok()) << run.refusal;
        EXPECT_EQ(run.report.fitTimeShift, 210);
        // A disc of 2.7 ms radius smooths the first fringe a little: the edge reads
        // a little above the point star's 25.0 %.
        EXPECT_EQ(run.report.edit24, "2.000");
        const double edge = std::stod(run.report.edit22);
        EXPECT_GT(edge, 25.0);
        EXPECT_LT(edge, 27.0);
    }
    {
        const auto single = Curve(dir, "--event-ms 9 --disappearance", "single");
        Options o;
        o.doubleStar = true;
        o.height = 500, o.diff = 0;
        const FitRequest r = Request(single, o);
        const FitPlan plan = PrepareFit(r);
        FitSetup one = plan.setup;
        one.doubleStar = false;
        for (int k = -5; k <= 5; ++k)
            EXPECT_NEAR(static_cast<double>(MeanIntensity(plan.setup, RowTime(one, k), -90, 1)),
                        static_cast<double>(MeanIntensity(one, RowTime(one, k), -90, 1)), 1e-15);
        const FitRun run = RunFit(r);
        ASSERT_TRUE(run.Ok());
        EXPECT_EQ(run.report.fitTimeShift, 90);
    }
    {
        const auto lines = Curve(dir, "--event-ms -30 --double 300 50", "double");
        Options o;
        o.doubleStar = true;
        o.height = 300, o.diff = 50;
        const FitRun run = Fit(lines, o);
        ASSERT_TRUE(run.Ok());
        GraphView g = Request(lines, o).view;
        DiffractionModel m;
        ApplyFit(run, g, m);
        const ResultTexts t = ResultShowTexts(g, lines, 2, g.FitTimeShift, g.IsReappearance, 1);
        EXPECT_EQ(t.edit10, "-30");
        EXPECT_EQ(t.edit18, "-80");  // the second component 50 ms earlier
    }
}

// Threads change nothing: every outcome bit for bit; cancelling returns nothing.
TEST(DiffractionFit, ParallelEqualsSerialAndCancels) {
    if (!HaveScipy()) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    const auto lines = Curve(dir, "--event-ms 23 --noise 40 --seed 7");
    for (bool grazing : {false, true}) {
        Options o;
        o.grazing = grazing;
        o.area = true, o.processFrom = grazing ? -4 : -8, o.processTo = grazing ? 4 : 8;
        o.threads = 1;
        const FitRun serial = Fit(lines, o);
        ASSERT_TRUE(serial.Ok());
        for (unsigned threads : {3u, 8u}) {
            o.threads = threads;
            const FitRun par = Fit(lines, o);
            ASSERT_TRUE(par.Ok());
            EXPECT_EQ(std::memcmp(&par.outcome.sigma, &serial.outcome.sigma, 10), 0);
            EXPECT_EQ(std::memcmp(&par.outcome.p, &serial.outcome.p, 10), 0);
            EXPECT_EQ(std::memcmp(&par.outcome.e, &serial.outcome.e, 10), 0);
            EXPECT_EQ(par.outcome.evaluations, serial.outcome.evaluations);
            EXPECT_EQ(par.report.edit11, serial.report.edit11);
        }
    }
    // Cancelled part-way from the progress callback: nothing to apply.
    Options o;
    o.threads = 2;
    const FitRequest r = Request(lines, o);
    std::atomic<bool> cancel{false};
    // Progress comes from the workers: only atomics here.
    std::atomic<int> last{0}, badTotal{0};
    const FitRun run = RunFit(r, [&](int done, int total) {
        if (total != 98) ++badTotal;
        for (int seen = last; done > seen && !last.compare_exchange_weak(seen, done);) {
        }
        if (done >= 10) cancel = true;
    }, &cancel);
    EXPECT_EQ(badTotal, 0);
    EXPECT_TRUE(run.cancelled);
    EXPECT_FALSE(run.Ok());
    EXPECT_LT(last, 98);
    GraphView g = r.view;
    g.FitTimeShift = 4321;
    DiffractionModel m;
    m.StarDiscStep = 7;
    ApplyFit(run, g, m);
    EXPECT_EQ(g.FitTimeShift, 4321);
    EXPECT_EQ(m.StarDiscStep, 7);
}

// On equal error sums the first candidate wins, in both searches.
TEST(DiffractionFit, TiesKeepTheFirstCandidate) {
    // A fast shadow leaves the table within a few ms, so every candidate with
    // the event well before the only row gives the same sum.
    std::vector<std::string> lines = {"Tevorin File Format (for Ver.0.9.26 later)", "x", "NTSC", "h", "h", "h"};
    for (int i = 0; i < 80; ++i) lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + (i < 40 ? "100" : "900") + ",");
    Options o;
    o.row = 40;
    o.velocity = 2e7;  // the tables end 0.15 ms from the event
    o.area = true, o.processFrom = 0, o.processTo = 1;
    o.threads = 3;
    const FitRequest r = Request(lines, o);
    const FitRun run = RunFit(r);
    ASSERT_TRUE(run.Ok()) << run.refusal;
    const FitSetup& f = run.plan.setup;
    // Both rows are lit once the earliest sub-sample (16 ms before the row) is past
    // the event: from 17 ms on. The coarse search takes 30 ms, the first of its
    // ties, and the fine search the first of its own.
    EXPECT_EQ(run.outcome.sigma, 170);
    EXPECT_EQ(ShiftErrorSum(f, 170, 1), ShiftErrorSum(f, 300, 1));
    EXPECT_EQ(ShiftErrorSum(f, 170, 1), ShiftErrorSum(f, 4500, 1));
    EXPECT_GT(ShiftErrorSum(f, 160, 1), ShiftErrorSum(f, 170, 1));
}

// What the fit refuses, with its text, and writes nothing for.
TEST(DiffractionFit, Refusals) {
    std::vector<std::string> lines = {"Tevorin File Format (for Ver.0.9.26 later)", "x", "NTSC", "h", "h", "h"};
    for (int i = 0; i < 80; ++i)
        lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + std::to_string(i < 40 ? 100 : 900) + ",");
    const std::string no = "Fit is not possible: ";
    Options o;
    o.row = 40;
    EXPECT_TRUE(Fit(lines, o).Ok());
    o.row = -1;
    EXPECT_EQ(Fit(lines, o).refusal, "Select target frame by clicking the graph area");
    o.row = 40;
    o.velocity = 0;
    EXPECT_EQ(Fit(lines, o).refusal, no + "the shadow velocity must be above 0.");
    o.velocity = -5;
    EXPECT_EQ(Fit(lines, o).refusal, no + "the shadow velocity must be above 0.");
    o.velocity = 700;
    o.fps = 0;
    EXPECT_EQ(Fit(lines, o).refusal, no + "the frame rate is not known.");
    o = Options{};
    o.row = 3;  // before range -30..-11 has no row
    EXPECT_EQ(Fit(lines, o).refusal, no + "no frames in the range before the event.");
    o.row = 75;  // after range 11..30 has none
    EXPECT_EQ(Fit(lines, o).refusal, no + "no frames in the range after the event.");
    // A fixed level needs no range.
    {
        o.row = 40;
        FitRequest r = Request(lines, o);
        r.view.LevelBeforeCount = 0;
        EXPECT_EQ(RunFit(r).refusal, no + "no frames in the range before the event.");
        r.view.LowerLevelFixed = 1;
        r.view.LowerLevel = 100;
        EXPECT_TRUE(RunFit(r).Ok());
    }
    const std::string flat = no + "the light curve does not change with the event time.";
    o = Options{};
    o.row = 40;
    o.angle = 90;  // cos(90 deg) is not exactly 0, but the pattern does not move
    EXPECT_EQ(Fit(lines, o).refusal, flat);
    std::vector<std::string> even = lines;
    for (size_t i = 6; i < even.size(); ++i) even[i] = std::to_string(i) + ".0,,,,,,,,,,500,";
    o.angle = 0;
    const FitRun equal = Fit(even, o);
    EXPECT_EQ(equal.refusal, flat);
    // A processing range outside the table compares no rows.
    FitRequest r = Request(lines, o);
    r.view.SelectArea = 1;
    r.view.ProcessRangeStart = 50, r.view.ProcessRangeEnd = 60;
    EXPECT_EQ(RunFit(r).refusal, flat);
}

// Equal levels in the error estimate give "---" and no error bar.
TEST(DiffractionFit, TimingErrorTexts) {
    std::vector<std::string> lines = {"Tevorin File Format (for Ver.0.9.26 later)", "x", "NTSC", "h", "h", "h"};
    for (int i = 0; i < 80; ++i)
        lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + std::to_string(i < 40 ? 100 + i % 3 : 900 + i % 2) + ",");
    Options o;
    o.row = 40;
    FitRequest r = Request(lines, o);
    FitRun run = RunFit(r);
    ASSERT_TRUE(run.Ok());
    // noise/drop from the statistics, through the curve, at 29.97 fps and an
    // interval of 1.
    const double sd = std::max(std::sqrt(20.0) * r.view.LevelBeforeStdErr, std::sqrt(20.0) * r.view.LevelAfterStdErr);
    const double u = static_cast<double>(timing::TimingErrorCurve(sd / std::fabs(r.beforeLevel - r.afterLevel)));
    EXPECT_NEAR(static_cast<double>(run.report.errorMs), u * 1000 / 29.97, 1e-9);
    r.interval = 4;
    r.beforeLevel = r.afterLevel = 500;
    r.view.UpperLevelFixed = r.view.LowerLevelFixed = 1;
    r.view.UpperLevel = 900, r.view.LowerLevel = 100;
    run = RunFit(r);
    ASSERT_TRUE(run.Ok()) << run.refusal;
    EXPECT_EQ(run.report.edit12, "---");
    EXPECT_EQ(run.report.eventErrorText, "---");
    EXPECT_LT(run.report.errorMs, 0);
}

// ResultShow: signs both ways, the double star's offset, a rate of 0 and above 1.
TEST(DiffractionFit, ResultShowTexts) {
    std::vector<std::string> lines = {"Tevorin File Format (for Ver.0.9.26 later)", "x", "NTSC", "h", "h", "h",
                                      "100.0,a", "100.5,b", "101.0,c"};
    GraphView g;
    g.SelectedFrame = 1;
    g.FresnelRate = 1;
    g.UpperLevel = 1234.56, g.LowerLevel = -1000000.0;
    ResultTexts t = ResultShowTexts(g, lines, 2, 123, false, 1);
    EXPECT_EQ(t.edit7, "1.0000");
    EXPECT_EQ(t.edit8, "0.0");
    EXPECT_EQ(t.edit9, "100.5");
    EXPECT_EQ(t.edit10, "12");
    EXPECT_EQ(t.eventOffsetText, "0.012");
    EXPECT_EQ(t.edit18, "");
    EXPECT_EQ(t.edit3, "1234.6");
    EXPECT_EQ(t.edit4, "");
    g.DoubleStarMode = 1, g.DoubleStarTimeDiff = 20;
    t = ResultShowTexts(g, lines, 2, 123, true, 2);  // reappearance, interval 2
    EXPECT_EQ(t.edit10, "-25");  // -24.6 rounds to -25
    EXPECT_EQ(t.eventOffsetText, "-0.025");
    EXPECT_EQ(t.edit18, "-65");
    t = ResultShowTexts(g, lines, 2, 123, false, 2);
    EXPECT_EQ(t.edit18, "65");
    g.FresnelRate = 0.5;
    EXPECT_EQ(ResultShowTexts(g, lines, 2, 0, true, 1).edit8, "60.0");
    g.FresnelRate = 1.05;
    t = ResultShowTexts(g, lines, 2, 0, true, 1);
    EXPECT_EQ(t.edit8, "---");
    EXPECT_EQ(t.contactAngleText, "---");
    g.FresnelRate = 0;
    t = ResultShowTexts(g, lines, 2, 55, true, 1);
    EXPECT_EQ(t.edit10, "");
    EXPECT_EQ(t.eventOffsetText, "");
    EXPECT_EQ(t.edit18, "");
    const std::vector<std::string> old = {"a", "b", "c", "0.0,x", "1.0,y"};  // format 0: 3 header lines
    EXPECT_EQ(ResultShowTexts(g, old, 0, 0, true, 1).edit9, "1.0");
}

// The memoised curve agrees with the row model within far less than a pixel and
// exactly where the tables end.
TEST(DiffractionFit, ModelCurveMatchesRowModel) {
    std::vector<std::string> lines = {"Tevorin File Format (for Ver.0.9.26 later)", "x", "NTSC", "h", "h", "h"};
    for (int i = 0; i < 80; ++i) lines.push_back(std::to_string(i) + ".0,,,,,,,,,," + (i < 40 ? "100" : "900") + ",");
    Options o;
    o.row = 40;
    const FitRun run = Fit(lines, o);
    ASSERT_TRUE(run.Ok());
    ModelCurve curve(run.plan.setup, run.outcome.sigma, run.outcome.p);
    const FitSetup& f = run.plan.setup;
    for (int t = -6000; t <= 6000; t += 7) {
        const long double exact = f.lower + (f.upper - f.lower) * MeanIntensity(f, t / 1000.0L, run.outcome.sigma, 1);
        ASSERT_NEAR(static_cast<double>(curve.ValueAt(t)), static_cast<double>(exact), 1e-9) << t;
    }
    for (int k : {-40, -3, 0, 5, 39})
        EXPECT_EQ(curve.ValueAtRow(k),
                  f.lower + (f.upper - f.lower) * MeanIntensity(f, RowTime(f, k), run.outcome.sigma, 1));
    // Far beyond the tables: the same constant bits as the direct sum.
    EXPECT_EQ(curve.ValueAtRow(100000), f.lower + (f.upper - f.lower) * MeanIntensity(f, RowTime(f, 100000), run.outcome.sigma, 1));
}

// The probe's lines and the timing-error curve's reported values.
TEST(DiffractionProbe, FitLinesAndTimingError) {
    if (!HaveScipy()) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    Curve(dir, "--event-ms 12 --disappearance --noise 5 --seed 3", "p");
    std::string out;
    const std::string probe = "'" + testutil::BinFile("tevorin-probe") + "' ";
    ASSERT_EQ(testutil::Run(probe + "diffraction-fit '" + dir.File("p.csv") + "' 60 --threads 2", &out), 0);
    EXPECT_NE(out.find("\nshift=120\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nEdit10=12\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nEdit13=61\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nEventOffsetText=0.012\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nevaluations=98\n"), std::string::npos) << out;
    EXPECT_EQ(testutil::Run(probe + "diffraction-fit '" + dir.File("p.csv") + "' 60 --velocity 0", &out), 2);
    EXPECT_EQ(out, "Fit is not possible: the shadow velocity must be above 0.\n");
    ASSERT_EQ(testutil::Run(probe + "level-stats '" + dir.File("p.csv") + "' 60 -30 -11 0 0 11 30", &out), 0);
    EXPECT_EQ(out.substr(0, 7), "before ");
    // The magnitude calculator's "Report" values, the switch at 0.5, the held peak.
    ASSERT_EQ(testutil::Run(probe + "timing-error 0 0.1 0.5 1.0 0.5000001 1.8851 3", &out), 0);
    std::istringstream in(out);
    double v[7];
    for (double& x : v) in >> x;
    EXPECT_NEAR(v[0], 0.0009, 5e-5);
    EXPECT_NEAR(v[1], 0.0861, 5e-5);
    EXPECT_NEAR(v[2], 1.2999, 5e-5);
    EXPECT_NEAR(v[3], 5.2005, 5e-5);
    EXPECT_GT(std::fabs(v[4] - v[2]), 0.01);  // the two sets do not meet at 0.5
    EXPECT_NEAR(v[5], 13.935, 1e-3);
    EXPECT_NEAR(v[6], 13.935, 1e-3);
}
