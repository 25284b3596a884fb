// Velocity calculator, spectrum picture and magnitude calculator cores against
// closed forms and independent Python oracles.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QPainter>
#include <cmath>
#include <numbers>
#include <regex>
#include <sstream>

#include "analysis/timing_error.h"
#include "graph/magnitude_calc.h"
#include "graph/magnitude_text.h"
#include "graph/spectral_model.h"
#include "graph/spectrum_graph.h"
#include "graph/velocity_calc.h"
#include "platform/numtext.h"
#include "support/test_util.h"

namespace {

const std::string kScripts = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/";
bool HavePython(const char* module) {
    return testutil::Run(std::string("/usr/bin/python3 -c 'import ") + module + "' 2>/dev/null") == 0;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

// ---------------------------------------------------------------- velocity

TEST(Velocity, ExamplesAndGuards) {
    std::string f = "1.40";
    EXPECT_EQ(velocity::CalcLunarVelocity(f), "708");
    std::string d = "120", t = "5.0";
    EXPECT_EQ(velocity::CalcAsteroidVelocity(d, t), "24000");
    std::string p = "5.000";
    EXPECT_EQ(velocity::CalcDistanceFromParallax(p), "263117039");
    std::string m = "0.350", km = "384401", c = "0";
    auto r = velocity::WriteVelocityFromMotion(m, km, c);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->edit10, "652");
    c = "200";
    r = velocity::WriteVelocityFromMotion(m, km, c);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->edit10, "694");
    EXPECT_EQ(r->angleText, "20.0");
    for (const char* bad : {"349999", "420001", "384401.5"}) {
        std::string dist = bad, mm = "0.350", cc = "0";
        EXPECT_FALSE(velocity::WriteVelocityFromMotion(mm, dist, cc)) << bad;
    }
    for (const char* edge : {"350000", "420000"}) {
        std::string dist = edge, mm = "0.350", cc = "0";
        EXPECT_TRUE(velocity::WriteVelocityFromMotion(mm, dist, cc)) << edge;
    }
    // No motion, an empty motion (cleaned to "0") and angles of 1000 or more: nothing.
    for (auto [mm, cc] : {std::pair{"0", "0"}, std::pair{"", "0"}, std::pair{"0.35", "1000"}, std::pair{"0.35", "abc1000"}}) {
        std::string a = mm, dist = "384401", ang = cc;
        EXPECT_FALSE(velocity::WriteVelocityFromMotion(a, dist, ang)) << mm << " " << cc;
    }
}

TEST(Velocity, InputsAreCleanedAndZeroesReplaced) {
    std::string d = "0", t = "-2x.5";
    EXPECT_EQ(velocity::CalcAsteroidVelocity(d, t), "400");  // 1 km in 2.5 s
    EXPECT_EQ(d, "1");
    EXPECT_EQ(t, "2.5");
    std::string d2 = "120", t2 = "";
    EXPECT_EQ(velocity::CalcAsteroidVelocity(d2, t2), "120000");
    EXPECT_EQ(t2, "1");
    std::string f = ".5";
    velocity::CalcLunarVelocity(f);
    EXPECT_EQ(f, "0.5");
    // A parallax of 0 (an empty edit) has no distance.
    std::string p = "";
    EXPECT_EQ(velocity::CalcDistanceFromParallax(p), "");
    EXPECT_EQ(p, "0");
    // A distance past the whole numbers is not written as a saturated figure.
    std::string tiny = "0.000000000000000000000001";
    EXPECT_EQ(velocity::CalcDistanceFromParallax(tiny), "");
}

TEST(Velocity, RightAnglesAndFoldedAngles) {
    // cos(90 deg) is 6e-17 in floating point; the Part's 700 m/s stands for it.
    for (const char* c : {"90", "270", "450", "630"}) {
        std::string m = "0.350", d = "384401", a = c;
        const auto r = velocity::WriteVelocityFromMotion(m, d, a);
        ASSERT_TRUE(r) << c;
        EXPECT_EQ(r->edit10, "700") << c;
        EXPECT_EQ(r->angleText, "90.0") << c;
    }
    // 700 folds as 340 does: 20 degrees for the panel, never past 90.
    for (const char* c : {"700", "340", "20", "160", "200", "-20", "560", "999"}) {
        std::string m = "0.350", d = "384401", a = c;
        const auto r = velocity::WriteVelocityFromMotion(m, d, a);
        ASSERT_TRUE(r) << c;
        EXPECT_LE(r->angle, 90.0) << c;
        EXPECT_GE(r->angle, 0.0) << c;
    }
    std::string m = "0.350", d = "384401", a = "700";
    EXPECT_EQ(velocity::WriteVelocityFromMotion(m, d, a)->angleText, "20.0");
    a = "999";  // 279 -> 81
    EXPECT_EQ(velocity::WriteVelocityFromMotion(m, d, a)->angleText, "81.0");
}

TEST(Velocity, TableFromMpmath) {
    if (!HavePython("mpmath")) GTEST_SKIP() << "no mpmath";
    std::string out;
    ASSERT_EQ(testutil::Run(kScripts + "velocity_oracle.py'", &out), 0);
    int rows = 0;
    for (const std::string& line : SplitLines(out)) {
        std::istringstream in(line);
        std::vector<std::string> w;
        for (std::string s; in >> s;) w.push_back(s);
        ASSERT_GE(w.size(), 3u) << line;
        std::string got;
        if (w[0] == "lunar") got = velocity::CalcLunarVelocity(w[1]);
        else if (w[0] == "asteroid") got = velocity::CalcAsteroidVelocity(w[1], w[2]);
        else if (w[0] == "parallax") got = velocity::CalcDistanceFromParallax(w[1]);
        else if (w[0] == "motion") {
            const auto r = velocity::WriteVelocityFromMotion(w[1], w[2], w[3]);
            ASSERT_TRUE(r) << line;
            got = r->edit10;
        }
        const std::string& want = w.back();
        if (want.rfind("either:", 0) == 0) {
            const auto colon = want.find(':', 7);
            EXPECT_TRUE(got == want.substr(7, colon - 7) || got == want.substr(colon + 1)) << line << " got " << got;
        } else {
            EXPECT_EQ(got, want) << line;
        }
        ++rows;
    }
    EXPECT_GT(rows, 150);
}

TEST(Velocity, ProbeLines) {
    const std::string probe = testutil::BinFile("tevorin-probe");
    std::string out;
    ASSERT_EQ(testutil::Run(probe + " velocity motion 0.350 384401 200", &out), 0);
    EXPECT_EQ(out, "Edit10=694 distance=384401 angle=20.0\n");
    ASSERT_EQ(testutil::Run(probe + " velocity motion 0.350 300000 200", &out), 0);
    EXPECT_EQ(out, "nothing\n");
    ASSERT_EQ(testutil::Run(probe + " velocity parallax 0", &out), 0);
    EXPECT_EQ(out, "\n");
    EXPECT_NE(testutil::Run(probe + " velocity lunar 2>/dev/null", &out), 0);
}

// ---------------------------------------------------------------- spectrum picture

// True when a pixel of `colour` lies within 1 pixel of (x, y).
bool ColourNear(const QImage& img, int x, int y, QRgb colour) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && px < img.width() && py < img.height() && (img.pixel(px, py) & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
        }
    return false;
}

TEST(SpectrumGraph, FrameTicksLegendAndCurvesAgainstNumpy) {
    if (!HavePython("numpy")) GTEST_SKIP() << "no numpy";
    diffraction::DiffractionModel m;
    m.SensitivityFile = "/nonexistent/CCDSpectralSensitivity.csv";
    m.StarTemperature = 6650;
    m.CcdIndex = 0;
    m.BuildSpectralWeights();
    QImage img;
    spectrum::DrawSpectrumGraph(img, m);
    ASSERT_EQ(img.width(), 393);
    ASSERT_EQ(img.height(), 457);
    const QRgb black = qRgb(0, 0, 0), blue = qRgb(0, 0, 255), green = qRgb(0, 255, 0), red = qRgb(255, 0, 0),
               magenta = qRgb(255, 0, 255);
    // Frame corners and a side away from every curve.
    EXPECT_TRUE(ColourNear(img, 40, 350, black));
    EXPECT_TRUE(ColourNear(img, 360, 350, black));
    EXPECT_TRUE(ColourNear(img, 360, 200, black));
    EXPECT_EQ(img.pixel(20, 300) & 0xFFFFFF, 0xFFFFFFu);  // outside the frame, between labels
    // Y ticks on both sides, 8 pixels long; x ticks up from the bottom.
    for (int y = 80; y <= 320; y += 30) {
        EXPECT_TRUE(ColourNear(img, 45, y, black)) << y;
        EXPECT_TRUE(ColourNear(img, 355, y, black)) << y;
        EXPECT_EQ(img.pixel(52, y) & 0xFFFFFF, 0xFFFFFFu) << y;
    }
    for (int x : {120, 200, 280}) EXPECT_TRUE(ColourNear(img, x, 345, black)) << x;
    // The flat camera is the blue line over the frame's top.
    for (int x : {41, 100, 200, 300, 359}) EXPECT_EQ(img.pixel(x, 50) & 0xFFFFFF, 0x0000FFu) << x;
    // Legend samples.
    EXPECT_TRUE(ColourNear(img, 55, 400, magenta));
    EXPECT_TRUE(ColourNear(img, 55, 416, blue));
    EXPECT_TRUE(ColourNear(img, 55, 432, green));
    EXPECT_TRUE(ColourNear(img, 55, 448, red));
    // Air at 400 nm: 0.63 -> y 161.
    EXPECT_TRUE(ColourNear(img, 40, 161, green));
    std::string out;
    ASSERT_EQ(testutil::Run(kScripts + "spectrum_oracle.py' 6650", &out), 0);
    int points = 0;
    for (const std::string& line : SplitLines(out)) {
        int lambda, x, yAir, yStar, yTotal;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d %d %d %d %d", &lambda, &x, &yAir, &yStar, &yTotal), 5) << line;
        EXPECT_TRUE(ColourNear(img, x, yTotal, red)) << lambda;
        if (std::abs(yStar - yTotal) > 2 && std::abs(yStar - 50) > 2) {
            EXPECT_TRUE(ColourNear(img, x, yStar, magenta)) << lambda;
        }
        ++points;
    }
    EXPECT_EQ(points, 81);
}

TEST(SpectrumGraph, CameraIndexOutsideTheTableDrawsNoCameraCurve) {
    diffraction::DiffractionModel m;
    m.SensitivityFile = "/nonexistent/x.csv";
    m.BuildSpectralWeights();
    m.CcdIndex = 42;
    QImage img;
    spectrum::DrawSpectrumGraph(img, m);
    EXPECT_EQ(img.pixel(200, 50) & 0xFFFFFF, 0x000000u);  // the frame, not the camera
}

// ---------------------------------------------------------------- magnitudes

magnitude::Inputs Example() {
    magnitude::Inputs in;
    in.levels = {1000, 600, 200, 10, 12, 8, 20, 5, 20};
    in.pairMagnitude = 8.0;
    return in;
}

TEST(Magnitude, PartExampleAndLogBase) {
    const magnitude::Result r = magnitude::MagnitudeCalculation(Example());
    EXPECT_DOUBLE_EQ(r.combinedDrop, 800);
    EXPECT_DOUBLE_EQ(r.firstDrop, 400);
    EXPECT_DOUBLE_EQ(r.secondDrop, 400);
    // 8 + log(2) / log(2.512), closed form.
    EXPECT_NEAR(r.firstMagnitude, 8.0 + std::log(2.0) / std::log(2.512), 1e-12);
    EXPECT_NEAR(r.secondMagnitude, 8.0 + std::log(2.0) / std::log(2.512), 1e-12);
    EXPECT_EQ(r.edit5, "8.75");
    EXPECT_EQ(r.edit6, "8.75");
    // Pogson: 2.512 is 100^(1/5) to four figures, so 5 magnitudes are a factor 100.
    EXPECT_NEAR(magnitude::Log2512(100.0), 5.0, 5.0 * std::abs(std::log(2.512) - std::log(100.0) / 5) / std::log(2.512) + 1e-12);
    EXPECT_NEAR(magnitude::Log2512(2.512 * 2.512 * 2.512), 3.0, 1e-14);
    // Errors: log(1 + sqrt((22/400)^2 + (18/800)^2)) / log(2.512).
    EXPECT_NEAR(r.firstMagError, std::log(1 + std::hypot(22.0 / 400, 18.0 / 800)) / std::log(2.512), 1e-12);
    EXPECT_EQ(r.edit1, "400.0");
    EXPECT_EQ(r.edit3, "22.0");
    EXPECT_EQ(r.edit9, "800.0");
    EXPECT_EQ(r.edit10, "18.0");
    EXPECT_EQ(r.edit13, "12.0");
}

TEST(Magnitude, NotComputableShowsDashes) {
    magnitude::Inputs in = Example();
    in.levels.stepMean = 1000;  // no first drop
    magnitude::Result r = magnitude::MagnitudeCalculation(in);
    EXPECT_EQ(r.firstMagnitude, -1000);
    EXPECT_EQ(r.edit5, "---");
    EXPECT_EQ(r.edit7, "---");
    EXPECT_EQ(r.edit6, "8.00");  // the second drop is the whole drop
    in.levels.afterMean = 1000;  // no drop at all
    in.levels.stepMean = 1000;
    r = magnitude::MagnitudeCalculation(in);
    EXPECT_EQ(r.edit5, "---");
    EXPECT_EQ(r.edit6, "---");
    EXPECT_EQ(r.edit8, "---");
    EXPECT_EQ(r.report.back(), "Value contains two object is zero or minus. Calculation is not possible.");
    EXPECT_EQ(r.noiseUpper[2], -1);
    // A pair magnitude far below makes a magnitude of -10 or less: "---".
    in = Example();
    in.pairMagnitude = -11;
    EXPECT_EQ(magnitude::MagnitudeCalculation(in).edit5, "---");
}

TEST(Magnitude, PlaceValueEndsAtTheColumnAndReplacesOnlyBlanks) {
    std::string l = "Assuming magnitude of Pair is       Mag.";
    magnitude::PlaceValue(l, 36, "8.00");
    EXPECT_EQ(l, "Assuming magnitude of Pair is   8.00Mag.");
    l = "  First Event  :       +/-       Mag.";
    magnitude::PlaceValue(l, 23, "12.34");
    magnitude::PlaceValue(l, 32, "0.05");
    EXPECT_EQ(l, "  First Event  :  12.34+/-  0.05 Mag.");
    // Too long for its blanks: one blank after the text, the rest pushed right.
    l = "ab:   cd";
    magnitude::PlaceValue(l, 6, "123456");
    EXPECT_EQ(l, "ab: 123456cd");
    // Past the end of a short template the line grows.
    l = "x";
    magnitude::PlaceValue(l, 5, "12");
    EXPECT_EQ(l, "x  12");
}

TEST(Magnitude, EventClockRoundsAsAWholeAndWraps) {
    EXPECT_EQ(magnitude::FormatEventClock(45296789.0, 3), "12h34m56.789s");
    EXPECT_EQ(magnitude::FormatEventClock(45296789.0, 1), "12h34m56.8s");
    // 59.9996 s never prints "60.000".
    EXPECT_EQ(magnitude::FormatEventClock(59999.6, 3), "00h01m00.000s");
    EXPECT_EQ(magnitude::FormatEventClock(3599960.0, 1), "01h00m00.0s");
    EXPECT_EQ(magnitude::FormatEventClock(5000.0, 2), "00h00m05.00s");
    // A delay correction just after midnight gives the previous day's clock.
    EXPECT_EQ(magnitude::FormatEventClock(-141.0, 3), "23h59m59.859s");
    EXPECT_EQ(magnitude::FormatEventClock(86400000.0 + 1500, 3), "00h00m01.500s");
}

TEST(Magnitude, IntegrationTableAndInterval) {
    // "Interval" 4: position 3, 4 frames, 141 ms.
    const int p = magnitude::IntegrationPositionForInterval(4);
    EXPECT_EQ(p, 3);
    EXPECT_EQ(magnitude::IntegratedFrames(p), 4);
    EXPECT_EQ(magnitude::kIntegrationDelayTable[static_cast<size_t>(p)], 141);
    const int expected[] = {0, 1, 2, 4, 8, 16, 32, 64};
    for (int i = 0; i <= 7; ++i) EXPECT_EQ(magnitude::IntegratedFrames(i), expected[i]);
    EXPECT_EQ(magnitude::IntegrationPositionForInterval(1), 0);
    EXPECT_EQ(magnitude::IntegrationPositionForInterval(64), 7);
    EXPECT_EQ(magnitude::IntegrationPositionForInterval(3), -1);
    EXPECT_DOUBLE_EQ(magnitude::PairMagnitude(8, 7, 5), 8.75);
    EXPECT_DOUBLE_EQ(magnitude::PairMagnitude(-2, 5, 1), -2.51);
}

TEST(Magnitude, TimingErrorReportLines) {
    const auto lines = magnitude::TimingErrorReport();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0], "0 0.0009");
    EXPECT_EQ(lines[1], "1 0.0861");
    EXPECT_EQ(lines[5], "5 1.2999");
    EXPECT_EQ(lines[10], "10 5.2005");
}

TEST(Magnitude, ReadTimeBaseAndEdits) {
    // Captions read as 0, and as no time known.
    magnitude::TimeBase t = magnitude::ReadTimeBase("h", "m", "s(Field1)", "s(Field2)");
    EXPECT_EQ(t.base1.hour, 0);
    EXPECT_EQ(t.base2.minute, 0);
    EXPECT_EQ(t.base2.seconds, 0);
    EXPECT_FALSE(t.known1 || t.known2);
    // The TIVi display leaves the hour empty: no time either.
    t = magnitude::ReadTimeBase("", "m", "12.5", "12.6");
    EXPECT_FALSE(t.known1 || t.known2);
    t = magnitude::ReadTimeBase("12", "30", "10.0", "s(Field2)");
    EXPECT_TRUE(t.known1);
    EXPECT_FALSE(t.known2);
    // Field 2 below field 1 crossed a minute; at 59 into the next hour.
    t = magnitude::ReadTimeBase("12", "59", "59.98", "0.0133");
    EXPECT_EQ(t.base1.minute, 59);
    EXPECT_EQ(t.base2.hour, 13);
    EXPECT_EQ(t.base2.minute, 0);
    EXPECT_DOUBLE_EQ(t.base2.seconds, 0.0133);
    t = magnitude::ReadTimeBase("12", "30", "10.0", "10.0167");
    EXPECT_EQ(t.base2.minute, 30);
    EXPECT_TRUE(t.known1 && t.known2);
    // Edits: valid values update the backup, others restore it.
    magnitude::BaseTime time{12, 30, 10.5}, backup = time;
    EXPECT_TRUE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Hour, "24", time, backup));
    EXPECT_EQ(backup.hour, 24);
    EXPECT_FALSE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Hour, "25", time, backup));
    EXPECT_EQ(time.hour, 24);
    EXPECT_FALSE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Minute, "61", time, backup));
    EXPECT_TRUE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Minute, "60", time, backup));
    EXPECT_FALSE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Seconds, "60.5", time, backup));
    EXPECT_FALSE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Seconds, "abc", time, backup));
    EXPECT_FALSE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Seconds, "-1", time, backup));
    EXPECT_DOUBLE_EQ(time.seconds, 10.5);
    EXPECT_TRUE(magnitude::ApplyBaseTimeEdit(magnitude::TimePart::Seconds, "7.25", time, backup));
    EXPECT_DOUBLE_EQ(backup.seconds, 7.25);
    // Seconds text by inserter type.
    EXPECT_EQ(magnitude::SecondsText(5.12345, magnitude::SecondsDecimals(0)), "05.1235");
    EXPECT_EQ(magnitude::SecondsText(5.12345, magnitude::SecondsDecimals(1)), "05.123");
    EXPECT_EQ(magnitude::SecondsText(15.1, magnitude::SecondsDecimals(3)), "15.10");
    EXPECT_EQ(magnitude::SecondsText(9.9999, 2), "10.00");
}

// Compares two memo lines: equal, except that a number may differ by one unit in
// its last printed place (the oracle rounds in decimal from Python floats).
bool SameLine(const std::string& got, const std::string& want) {
    if (got == want) return true;
    static const std::regex number(R"(-?\d+\.\d+)");
    auto mask = [&](const std::string& s) { return std::regex_replace(s, number, "#"); };
    if (mask(got) != mask(want) || got.size() != want.size()) return false;
    std::sregex_iterator a(got.begin(), got.end(), number), b(want.begin(), want.end(), number), end;
    for (; a != end && b != end; ++a, ++b) {
        const std::string x = a->str(), y = b->str();
        if (x.size() - x.find('.') != y.size() - y.find('.')) return false;
        const double unit = std::pow(10.0, -static_cast<double>(x.size() - x.find('.') - 1));
        if (std::fabs(std::stod(x) - std::stod(y)) > unit * 1.0001) return false;
    }
    return true;
}

TEST(Magnitude, ReportsAgainstTheTemplateOracle) {
    const std::string probe = testutil::BinFile("tevorin-probe") + " magnitude-report ";
    const std::string base = "--levels 1000 600 200 --stderr 10 12 8 --counts 20 5 20 --pair 8.00 ";
    const std::string reap = "--levels 200 600 1000 --stderr 8 12 10 --counts 20 5 20 --pair 7.35 ";
    const std::string single = "--levels 1234.5 300 212.25 --stderr 4.5 9 3.25 --counts 30 1 25 ";
    const std::string time = "--time 12 34 56.789 12 34 56.806 ";
    const std::vector<std::string> cases = {
        base,
        base + "--camera off",
        base + "--camera 120n --integration 3 " + time,
        base + "--camera 120n --integration 3 --step-height " + time,
        base + "--camera wat100n --step-height " + time + "--field 2",
        base + "--camera wat100n " + time + "--fit 35",
        base + "--camera 120n --integration 5 " + time + "--fit -35 120 --digits 2",
        base + "--camera 120n --integration 1 " + time + "--fit 120 -35 --step-height",
        reap + "--camera 120n --integration 2 --step-height " + time + "--fit 12",
        reap + "--camera wat100n --step-height " + time,
        reap + "--camera wat100n " + time + "--digits 1 --report",
        single + "--camera 120n --integration 4 " + time,
        single + "--camera wat100n --step-height " + time,
        // Step at the lower level with step height considered.
        "--levels 1000 200 200 --stderr 10 12 8 --counts 20 5 20 --camera 120n --step-height " + time,
        // No drop at all; step above the upper level (negative drops turn positive by abs).
        "--levels 500 500 500 --stderr 1 1 1 --counts 10 10 10 --camera 120n",
        "--levels 500 900 100 --stderr 3 3 3 --counts 10 3 10 --camera 120n --step-height --integration 6 " + time,
        // Midnight: the delay takes the time into the previous day.
        base + "--camera 120n --integration 7 --time 0 0 0.5 0 0 0.52",
        // Inserter type rounds the edit seconds.
        base + "--camera wat100n --time 1 2 3.45678 1 2 3.47 --inserter 1",
        base + "--camera wat100n --time 1 2 3.45678 1 2 3.47 --inserter 0 --report",
        // Invalid base-time entries fall back (to 0).
        base + "--camera wat100n --time 25 61 61 3 4 5.5 --field 1",
    };
    for (const std::string& c : cases) {
        std::string got, want;
        ASSERT_EQ(testutil::Run(probe + c, &got), 0) << c;
        ASSERT_EQ(testutil::Run(kScripts + "magnitude_oracle.py' " + c, &want), 0) << c;
        const auto g = SplitLines(got), w = SplitLines(want);
        ASSERT_EQ(g.size(), w.size()) << c << "\n--- got\n" << got << "--- want\n" << want;
        for (size_t i = 0; i < g.size(); ++i) EXPECT_TRUE(SameLine(g[i], w[i])) << c << "\nline " << i << "\n got: " << g[i] << "\nwant: " << w[i];
    }
}

TEST(Magnitude, StepLineAndTimeLinesByContent) {
    magnitude::Inputs in = Example();
    in.camera = magnitude::Camera::N120;
    in.integrationPosition = 3;
    in.base1 = {12, 0, 1.0};
    in.fitDone = true;
    in.offset1Text = "100";
    in.offset2Text = "-50";
    magnitude::Result r = magnitude::MagnitudeCalculation(in);
    // With the "Step" line the time lines are lines 17 and 18, earlier first.
    ASSERT_GT(r.report.size(), 18u);
    EXPECT_EQ(r.report[17].rfind("Event Time : 12h00m00.809s", 0), 0u) << r.report[17];
    EXPECT_EQ(r.report[18].rfind("Event Time : 12h00m00.959s", 0), 0u) << r.report[18];
    EXPECT_EQ(magnitude::DoublestarLines(r.report).size(), 14u);
    // Without it (step range of one row) the same lines are found by content.
    in.levels.stepCount = 1;
    r = magnitude::MagnitudeCalculation(in);
    EXPECT_EQ(magnitude::DoublestarLines(r.report).size(), 13u);
    const auto times = magnitude::EventTimeLines(r.report);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[0], r.report[16]);
    // A fit offset that is not a number counts as no fit.
    in.offset1Text = "";
    r = magnitude::MagnitudeCalculation(in);
    EXPECT_EQ(magnitude::EventTimeLines(r.report).size(), 1u);
    EXPECT_NE(std::find(r.report.begin(), r.report.end(), "T = To - Delay correction"), r.report.end());
}

// Rows without a time stamp: no clock time in the report (a text says so, one
// line whatever the fit), the deriving process keeps To as a name, and no event
// time is returned; the timing error is still given.
TEST(Magnitude, NoTimeWhereTheRowsHoldNone) {
    magnitude::Inputs in = Example();
    in.camera = magnitude::Camera::N120;
    in.integrationPosition = 3;
    in.fitDone = true;
    in.offset1Text = "100";
    in.offset2Text = "-50";
    const magnitude::Result known = magnitude::MagnitudeCalculation(in);
    in.baseKnown = false;
    const magnitude::Result r = magnitude::MagnitudeCalculation(in);
    const auto times = magnitude::EventTimeLines(r.report);
    ASSERT_EQ(times.size(), 1u);
    const std::string error = known.report[17].substr(known.report[17].find("  +/- "));
    EXPECT_EQ(times[0], "Event Time : (the rows hold no time stamp)" + error);
    EXPECT_EQ(r.report[17], times[0]);
    EXPECT_TRUE(r.eventTimes.empty());
    EXPECT_EQ(r.timingErrorSeconds, known.timingErrorSeconds);
    for (const std::string& line : r.report) EXPECT_EQ(line.find("23h59m"), std::string::npos) << line;
    EXPECT_EQ(r.report.back(), "  = To+0.100-0.141");
}

// ---------------------------------------------------------------- text on the graph

QImage Snapshot() {
    QImage img(640, 440, QImage::Format_RGB32);
    img.fill(qRgb(200, 220, 240));
    QPainter p(&img);
    p.setPen(Qt::red);
    for (int x = 0; x < 640; x += 7) p.drawLine(x, 0, 639 - x, 439);
    return img;
}

// The bounding box of pixels that differ.
QRect Changed(const QImage& a, const QImage& b) {
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) r |= QRect(x, y, 1, 1);
    return r;
}

TEST(MagnitudeText, OffRestoresAndModesDrawOnlyAroundTheirText) {
    magnitude::Inputs in = Example();
    in.camera = magnitude::Camera::N120;
    in.integrationPosition = 3;
    in.base1 = {12, 0, 1.0};
    const magnitude::Result r = magnitude::MagnitudeCalculation(in);
    const QImage snap = Snapshot();
    QImage graph = snap;
    magnitude::GraphText how;
    how.x = 100;
    how.y = 60;
    how.n120 = true;
    how.delayMs = 141;
    how.integratedFrames = 4;
    for (auto out : {magnitude::TextOut::Transparent, magnitude::TextOut::Opaque}) {
        how.out = out;
        how.mode = magnitude::TextMode::Doublestar;
        magnitude::DrawReportOnGraph(graph, snap, r.report, how);
        QRect c = Changed(graph, snap);
        ASSERT_FALSE(c.isEmpty());
        EXPECT_GE(c.left(), 100);
        EXPECT_GE(c.top(), 60);
        EXPECT_LE(c.bottom(), 60 + 14 * 12 + 2);  // 14 lines, 12 px apart
        how.mode = magnitude::TextMode::Time;
        magnitude::DrawReportOnGraph(graph, snap, r.report, how);
        c = Changed(graph, snap);
        ASSERT_FALSE(c.isEmpty());
        EXPECT_GE(c.top(), 60);
        EXPECT_LE(c.bottom(), 60 + 2 * 12 + 2);  // the time and the delay line
        // Moving the text leaves nothing behind at the old place.
        how.x = 300;
        how.y = 200;
        magnitude::DrawReportOnGraph(graph, snap, r.report, how);
        EXPECT_GE(Changed(graph, snap).left(), 300);
        EXPECT_GE(Changed(graph, snap).top(), 200);
        how.x = 100;
        how.y = 60;
    }
    how.out = magnitude::TextOut::Off;
    magnitude::DrawReportOnGraph(graph, snap, r.report, how);
    EXPECT_EQ(graph, snap);
    // A report without a time section draws nothing in time mode.
    in.camera = magnitude::Camera::Off;
    how.out = magnitude::TextOut::Opaque;
    how.mode = magnitude::TextMode::Time;
    magnitude::DrawReportOnGraph(graph, snap, magnitude::MagnitudeCalculation(in).report, how);
    EXPECT_EQ(graph, snap);
    EXPECT_EQ(magnitude::DelayCorrectionLine(141, 4), "Correction - 0.141sec for delay due to 4Frame integration is applied");
}

}  // namespace
