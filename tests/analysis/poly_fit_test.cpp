// The polynomial fit, time of minimum and window search against exact rational
// solutions of the same normal equations (Python fractions).
#include <gtest/gtest.h>

#include <climits>

#include <cmath>
#include <sstream>

#include "analysis/poly_fit.h"
#include "support/test_util.h"

using namespace mutual;

namespace {

const std::string kOracle = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/mutual_oracle.py'";

// Units every `step` seconds from `start` (seconds of the day) with values f(x).
template <class F>
std::vector<Unit> Units(int count, long double start, long double step, F f) {
    std::vector<Unit> units(static_cast<size_t>(count) + 1);
    for (int u = 1; u <= count; ++u) {
        const long double x = (u - 1) * step, t = std::fmod(start + x, 86400.0L);
        Unit& unit = units[static_cast<size_t>(u)];
        unit.hour = static_cast<int64_t>(t / 3600);
        unit.minute = static_cast<int64_t>((t - 3600 * unit.hour) / 60);
        unit.second = t - 3600 * unit.hour - 60 * unit.minute;
        unit.Ts = f(x);
    }
    return units;
}

long double Noise(int u) { return std::sin(u * 12.9898L) * 43.7585L - std::floor(std::sin(u * 12.9898L) * 43.7585L) - 0.5L; }

std::string Points(const std::vector<Unit>& units, int first, int last, bool withUnit) {
    std::string in;
    char buf[128];
    for (int u = first; u <= last; ++u) {
        if (withUnit) in += std::to_string(u) + " ";
        std::snprintf(buf, sizeof buf, "%.21Lg %.21Lg\n", UnitX(units, u), units[static_cast<size_t>(u)].Ts);
        in += buf;
    }
    return in;
}

std::vector<long double> OracleFit(const std::vector<Unit>& units, int first, int last, int degree) {
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("p"), Points(units, first, last, false));
    std::string out;
    EXPECT_EQ(testutil::Run(kOracle + " fit " + std::to_string(degree) + " < " + dir.File("p"), &out), 0);
    std::istringstream in(out);
    std::vector<long double> c;
    for (long double v; in >> v;) c.push_back(v);
    return c;
}

}  // namespace

TEST(MutualFit, NoisyDataAgainstExactSolution) {
    // A dip over 2 minutes at 2 s per unit, noise of +-0.5 on a depth of 1000.
    const auto units = Units(61, 45000, 2, [](long double x) {
        return 3000 - 1000 * std::exp(-(x - 60) * (x - 60) / 900) + Noise(static_cast<int>(x));
    });
    long double lo = 1e9, hi = -1e9;
    for (int u = 1; u <= 61; ++u) lo = std::min(lo, units[static_cast<size_t>(u)].Ts), hi = std::max(hi, units[static_cast<size_t>(u)].Ts);
    for (int d = 2; d <= 10; ++d) {
        SCOPED_TRACE("degree " + std::to_string(d));
        const FitResult fit = FitUnits(units, 1, 61, d, false);
        ASSERT_TRUE(fit.ok) << fit.error;
        const auto exact = OracleFit(units, 1, 61, d);
        ASSERT_EQ(exact.size(), static_cast<size_t>(d + 1));
        int bad = 0;
        if (d <= 6) {
            // Extended precision keeps the coefficients to about 1e-12 here; 1e-9 leaves room.
            for (int k = 0; k <= d; ++k)
                if (std::fabs(fit.poly.c[k] - exact[static_cast<size_t>(k)]) > 1e-9L * std::fabs(exact[static_cast<size_t>(k)]) && ++bad <= 3)
                    ADD_FAILURE() << "c" << k << " " << static_cast<double>(fit.poly.c[k]) << " vs " << static_cast<double>(exact[static_cast<size_t>(k)]);
        }
        // Higher degrees: the coefficients lose digits to the conditioning, the curve must not.
        Polynomial ref = fit.poly;
        for (int k = 0; k <= d; ++k) ref.c[k] = exact[static_cast<size_t>(k)];
        for (const FitPoint& p : fit.points)
            if (std::fabs(p.value - ref.Value(p.x)) > 1e-5L * (hi - lo) && ++bad <= 3)
                ADD_FAILURE() << "unit " << p.unit << " " << static_cast<double>(p.value) << " vs " << static_cast<double>(ref.Value(p.x));
    }
    // Degree 14 is ill-conditioned even relative to unit 1: it runs, nothing more.
    const FitResult d14 = FitUnits(units, 1, 61, 14, false);
    EXPECT_TRUE(d14.ok || !d14.error.empty());
}

TEST(MutualFit, ExactCurvesMinimumSlopeAndTurns) {
    // An exact cubic comes back.
    auto units = Units(40, 45000, 3, [](long double x) { return 5 - 2 * x + 0.03L * x * x - 1e-4L * x * x * x; });
    FitResult fit = FitUnits(units, 1, 40, 3, false);
    ASSERT_TRUE(fit.ok);
    const long double want[] = {5, -2, 0.03L, -1e-4L};
    for (int k = 0; k <= 3; ++k) EXPECT_NEAR(static_cast<double>(fit.poly.c[k]), static_cast<double>(want[k]), 1e-12 * std::fabs(static_cast<double>(want[k])));
    EXPECT_EQ(fit.lines[0], "0 5");
    EXPECT_EQ(fit.lines[4], "12,30,0.0000,2.0");  // 12:30:00, slope -(-2)

    // A parabola with its minimum at 12:34:56.7, on units 2 s apart.
    units = Units(301, 45000, 2, [](long double x) { return (x - 296.7L) * (x - 296.7L) + 100; });
    fit = FitUnits(units, 130, 170, 2, false);
    ASSERT_TRUE(fit.ok);
    EXPECT_EQ(fit.minimumText, "12h 34m 56.7s");
    EXPECT_EQ(fit.rmsText, "0.0");
    EXPECT_EQ(fit.minUnit, 149);  // x = 296
    // Values above the old start of 1,000,000 still give a minimum.
    units = Units(101, 45000, 1, [](long double x) { return 5e6L + (x - 50) * (x - 50); });
    fit = FitUnits(units, 1, 101, 2, false);
    EXPECT_EQ(fit.minimumText, "12h 30m 50.0s");
    // Across midnight: units after 0 h count a day later, the minimum shows from 0 h.
    units = Units(61, 86400 - 60, 2, [](long double x) { return (x - 90) * (x - 90); });
    fit = FitUnits(units, 1, 61, 2, false);
    EXPECT_EQ(fit.minimumText, "0h 0m 30.0s");

    // A rising line: the negated slope is never above 0, so the slope scale uses 1000.
    units = Units(20, 45000, 1, [](long double x) { return 100 + x; });
    EXPECT_EQ(FitUnits(units, 1, 20, 2, false).largestSlope, 1000);
    EXPECT_NEAR(static_cast<double>(FitUnits(units, 1, 20, 2, true).largestSlope), 1.0, 1e-12);

    // The third derivative 24 a4 x + 6 a3 changes sign at x = 41: marked at x = 42.
    units = Units(51, 45000, 2, [](long double x) { return 1e-6L * x * x * x * x - 1.64e-4L * x * x * x + 50; });
    fit = FitUnits(units, 1, 51, 4, false);
    ASSERT_TRUE(fit.ok);
    EXPECT_EQ(fit.turnUnits, std::vector<int>{22});
    EXPECT_EQ(fit.turnTexts, std::vector<std::string>{"12 30 42.0000"});
}

TEST(MutualFit, WindowSearchAndRefusals) {
    int wf = 0, wl = 0;
    SetFitWindow(1, 3, 10, wf, wl);
    EXPECT_EQ(wf * 100 + wl, 104);
    SetFitWindow(10, 20, 30, wf, wl);  // a third of 11 is 4
    EXPECT_EQ(wf * 100 + wl, 624);
    SetFitWindow(25, 28, 28, wf, wl);  // held at the last unit
    EXPECT_EQ(wf * 100 + wl, 2428);
    SetFitWindow(5, 4, 30, wf, wl);  // first > last: unchanged
    EXPECT_EQ(wf * 100 + wl, 2428);

    const auto units = Units(30, 45000, 4, [](long double x) { return 2000 - 0.5L * (x - 58) * (x - 58) / 10 + 30 * Noise(static_cast<int>(x)); });
    SetFitWindow(10, 20, 30, wf, wl);
    const FitResult fast = SearchWindow(units, 10, 20, wf, wl, 2);
    const FitResult slow = SearchWindowRebuilt(units, 10, 20, wf, wl, 2);
    ASSERT_TRUE(fast.ok);
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("p"), Points(units, wf, wl, true));
    std::string out;
    ASSERT_EQ(testutil::Run(kOracle + " search 2 10 20 " + std::to_string(wf) + " " + std::to_string(wl) + " < " + dir.File("p"), &out), 0);
    EXPECT_EQ(std::to_string(fast.windowFirst) + " " + std::to_string(fast.windowLast) + "\n", out);
    // Growing the sums unit by unit gives the same sums as building each window afresh.
    EXPECT_EQ(fast.windowFirst * 100 + fast.windowLast, slow.windowFirst * 100 + slow.windowLast);
    for (int k = 0; k <= 2; ++k) EXPECT_EQ(fast.poly.c[k], slow.poly.c[k]);
    const FitResult same = FitUnits(units, fast.windowFirst, fast.windowLast, 2, false);
    for (int k = 0; k <= 2; ++k) EXPECT_EQ(fast.poly.c[k], same.poly.c[k]);

    // Refusals: no units, too few selected, first after last, a singular system.
    const std::vector<Unit> none(1);
    EXPECT_EQ(FitUnits(none, 1, 1, 2, false).error, "There are no units to fit. Press \"Calculate & Draw Graph\" first.");
    EXPECT_EQ(FitUnits(units, 5, 7, 3, false).error, "Select at least 4 units (from 1 to 30) to fit a polynomial of degree 3.");
    EXPECT_FALSE(FitUnits(units, 7, 5, 2, false).ok);
    EXPECT_FALSE(SearchWindow(units, 0, 5, 0, 9, 2).ok);
    const auto still = Units(10, 45000, 0, [](long double x) { return x; });
    EXPECT_EQ(FitUnits(still, 1, 10, 2, false).error, "The polynomial cannot be fitted to these units: the normal equations are singular.");
    EXPECT_FALSE(SearchWindow(still, 3, 8, 1, 10, 2).ok);
}

// Selections at the ends of int: refused, or the window held to the units, never an
// overflow (the sanitizer build checks).
TEST(MutualFit, SelectionsAtTheEndsOfIntAreRefusedOrHeld) {
    const auto units = Units(30, 45000, 4, [](long double x) { return 2000 - 0.5L * (x - 15) * (x - 15) + 3 * Noise(static_cast<int>(x)); });
    int wf = 0, wl = 0;
    SetFitWindow(INT_MIN, INT_MAX, 30, wf, wl);
    EXPECT_EQ(wf * 100 + wl, 130);
    SetFitWindow(INT_MAX - 1, INT_MAX, 30, wf, wl);
    EXPECT_EQ(wl, 30);
    SetFitWindow(INT_MIN, INT_MIN + 1, 30, wf, wl);
    EXPECT_EQ(wf, 1);
    for (auto [first, last] : {std::pair{INT_MIN, INT_MAX}, {1, INT_MAX}, {INT_MIN, 5}, {INT_MAX, INT_MAX}}) {
        EXPECT_FALSE(FitUnits(units, first, last, 2, false).ok) << first << " " << last;
        EXPECT_FALSE(SearchWindow(units, first, last, INT_MIN, INT_MAX, 2).ok);
    }
    EXPECT_EQ(CheckSelection(units, 1, INT_MIN, 14), "Select at least 15 units (from 1 to 30) to fit a polynomial of degree 14.");
    // A good selection with a window of any ints searches within the units.
    const FitResult r = SearchWindow(units, 10, 20, INT_MIN, INT_MAX, 2);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.windowFirst >= 1 && r.windowFirst <= 10 && r.windowLast >= 20 && r.windowLast <= 30);
}
