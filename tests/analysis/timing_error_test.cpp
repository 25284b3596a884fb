// Timing-error curve, ramp fit and simulation batches against closed forms and a
// numpy brute force; the histogram and linearity cores.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "analysis/histogram_linearity.h"
#include "analysis/timing_error.h"
#include "analysis/timing_graph.h"
#include "platform/numtext.h"

using namespace timing;

namespace {

const std::string kOracle = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/timing_oracle.py'";

// Samples of one simulated run without listing.
Samples Simulated(uint64_t seed, double noise) {
    SimRandom rng(seed);
    SimParams p;
    p.noiseAfter = p.noiseDuring = noise;
    return RunTimingSimulation(rng, p, nullptr).samples;
}

}  // namespace

TEST(TimingError, CurvesSwitchesAndKnownValues) {
    auto poly = [](const std::array<long double, 7>& c, long double x) {
        long double v = 0, xp = 1;
        for (long double ck : c) v += ck * xp, xp *= x;
        return v;
    };
    EXPECT_NEAR((double)TimingErrorEstimate(0.45L), (double)poly(kTimingErrorLow, 0.45L), 1e-15);
    EXPECT_NEAR((double)TimingErrorEstimate(0.46L), (double)poly(kTimingErrorHigh, 0.46L), 1e-15);
    EXPECT_NEAR((double)TimingErrorCurve(0.5L), (double)poly(kTimingErrorLow, 0.5L), 1e-15);
    // The switch points as a ratio computed in double reaches them: 0.45 is in the
    // estimate's low set (mpmath, 30 digits: 1.05775207733293..., the high set would
    // give 1.03716649625557...), 0.46 in its high set; the curve keeps the low set up
    // to 0.5 inclusive.
    const double low45 = 1.0577520773329383, high45 = 1.0371664962555771;
    EXPECT_NEAR((double)TimingErrorEstimate(0.45), low45, 1e-13);
    EXPECT_NEAR((double)TimingErrorEstimate(45 / 100.0), low45, 1e-13);
    EXPECT_GT(std::abs(low45 - high45), 1e-3);
    EXPECT_NEAR((double)TimingErrorEstimate(0.46), (double)poly(kTimingErrorHigh, 0.46), 1e-13);
    EXPECT_NEAR((double)TimingErrorEstimate(0.5), (double)poly(kTimingErrorHigh, 0.5), 1e-13);
    EXPECT_NEAR((double)TimingErrorCurve(0.45), low45, 1e-13);
    EXPECT_NEAR((double)TimingErrorCurve(0.46), (double)poly(kTimingErrorLow, 0.46), 1e-13);
    EXPECT_NEAR((double)TimingErrorCurve(0.5), (double)poly(kTimingErrorLow, 0.5), 1e-13);
    const double curve[][2] = {{0, 0.0009}, {0.1, 0.0861}, {0.5, 1.2999}, {1.0, 5.2005}};
    for (auto& c : curve) EXPECT_NEAR((double)TimingErrorCurve(c[0]), c[1], 5e-5) << "x=" << c[0];
    EXPECT_NEAR((double)TimingErrorEstimate(0.5L), 1.2822, 5e-5);
    // The held peak (numpy root of the high set's derivative: 1.88507116, 13.9350448).
    EXPECT_NEAR((double)TimingErrorPeakX(), 1.88507116, 1e-7);
    EXPECT_NEAR((double)TimingErrorCurve(4.0L), 13.9350448, 1e-6);
    EXPECT_EQ(TimingErrorCurve(2.44L), TimingErrorCurve(4.0L));
    for (int k = 1; k <= 30; ++k) {
        const double ref = kTimingReferencePoints[static_cast<size_t>(k)];
        EXPECT_NEAR((double)TimingErrorEstimate(k / 20.0L), ref, 0.10 * ref) << "noise " << k / 20.0;
    }
    SimParams p;
    p.noiseAfter = 0.2, p.noiseDuring = 0.1, p.integration = 4;
    const Estimate e = EstimateTimingError(p);
    EXPECT_NEAR(e.seconds, 4 * e.frames / 29.97, 1e-15);
    EXPECT_EQ(numtext::FormatFixed(e.seconds, 15, 4), "0.0275");
}

TEST(TimingError, FitAgainstNumpyBruteForce) {
    // Noisy runs, a noiseless one, and ties (all samples equal).
    std::vector<Samples> cases;
    for (uint64_t seed : {1u, 2u, 3u}) cases.push_back(Simulated(seed, 0.3));
    cases.push_back(Simulated(4, 0.0));
    cases.push_back(Simulated(5, 2.0));
    Samples flat;
    flat.fill(0.5);
    cases.push_back(flat);
    const std::string in = testing::TempDir() + "timing_samples.txt";
    {
        FILE* f = std::fopen(in.c_str(), "w");
        ASSERT_TRUE(f);
        for (auto& y : cases) {
            for (double v : y) std::fprintf(f, "%.17g ", v);
            std::fprintf(f, "\n");
        }
        std::fclose(f);
    }
    FILE* pipe = popen((kOracle + " < '" + in + "'").c_str(), "r");
    ASSERT_TRUE(pipe);
    for (size_t c = 0; c < cases.size(); ++c) {
        int found = 0;
        double ssr = 0, gap = 0;
        ASSERT_EQ(std::fscanf(pipe, " found %d %lf %lf", &found, &ssr, &gap), 3) << "case " << c;
        const Fit fit = FitShift(cases[c]);
        if (gap > 1e-12) {
            EXPECT_EQ(fit.found, found) << "case " << c;
        }
        EXPECT_NEAR((double)fit.ssr, ssr, 1e-9 * (1 + ssr)) << "case " << c;
    }
    pclose(pipe);
    EXPECT_EQ(FitShift(flat).found, -7000);  // first of equal sums
}

TEST(TimingError, NoiselessAndIncrementalAgainstDirect) {
    SimParams quiet;
    quiet.noiseAfter = quiet.noiseDuring = 0;
    for (uint64_t seed = 0; seed < 50; ++seed) {
        SimRandom rng(seed);
        const timing::Run r = RunTimingSimulation(rng, quiet, nullptr);
        EXPECT_LE(std::fabs(r.error), 0.01 + 1e-12) << "seed " << seed;
    }
    int differing = 0;
    for (uint64_t seed = 0; seed < 1000; ++seed) {
        const Samples y = Simulated(seed, 0.05 + (seed % 20) * 0.1);
        const Fit a = FitShift(y), b = FitShiftDirect(y);
        if (a.found != b.found) {
            // Allowed only when the two sums are equal to rounding.
            double d = 0;
            for (int i = kSampleMin; i <= kSampleMax; ++i) {
                const double r = y[i + 100] - RampModel(a.found, i);
                d += r * r;
            }
            EXPECT_LT(std::fabs(d - (double)b.ssr), 1e-12) << "seed " << seed;
            ++differing;
        }
    }
    EXPECT_LE(differing, 5);
}

TEST(TimingError, BatchesSeeded) {
    const double refs[][2] = {{0.3, 0.4079}, {0.8, 3.3163}};
    for (auto& r : refs) {
        SimRandom rng(12345);
        SimParams p;
        p.noiseAfter = p.noiseDuring = r[0];
        p.rampWidth = 0.5;
        const auto lines = BatchButton1(rng, p);
        ASSERT_EQ(lines.size(), 1u);
        double noise = 0, mean = 0, sd = 0;
        ASSERT_EQ(std::sscanf(lines[0].c_str(), "%lf,%lf,%lf", &noise, &mean, &sd), 3) << lines[0];
        EXPECT_NEAR(noise, r[0], 1e-12);
        EXPECT_NEAR(sd, r[1], 0.25 * r[1]) << lines[0];
        EXPECT_EQ(p.rampWidth, 0.1);
    }
    const auto six = BatchButton6();
    ASSERT_EQ(six.size(), 101u);
    EXPECT_EQ(six.front(), "-50,0.0000");
    EXPECT_EQ(six[50], "0,0.5000");
    EXPECT_EQ(six.back(), "50,1.0000");
    SimParams p;
    p.rampWidth = 0.5;
    auto two = BatchButton2(p);
    ASSERT_EQ(two.size(), 1001u);
    // (w/2 + t) / w at t = -0.10: 0.3; below -0.25 zero, from 0.25 one.
    EXPECT_EQ(two[500 - 10], "-10,0.3000");
    EXPECT_EQ(two[500 - 26], "-26,0.0000");
    EXPECT_EQ(two[500 + 25], "25,1.0000");
    p.rampWidth = 0;  // a step, not 0/0
    two = BatchButton2(p);
    EXPECT_EQ(two[499], "-1,0.0000");
    EXPECT_EQ(two[500], "0,1.0000");
}

TEST(Histogram, CountsAndBars) {
    QImage frame(700, 500, QImage::Format_RGB32);
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 700; ++x) frame.setPixel(x, y, qRgb((x + 3 * y) % 256, 7, 200));
    const auto bins = histogram::HistogramBins(frame, 640, 480);
    uint64_t total = 0;
    for (auto b : bins) total += b;
    EXPECT_EQ(total, 307200u);
    // Closed form: count of (x + 3y) % 256 == v over the 640 x 480 area.
    for (int v : {0, 17, 255}) {
        uint64_t n = 0;
        for (int y = 0; y < 480; ++y) {
            const int first = ((v - 3 * y) % 256 + 256) % 256;
            if (first < 640) n += (639 - first) / 256 + 1;
        }
        EXPECT_EQ(bins[static_cast<size_t>(v)], n) << "value " << v;
    }
    for (int s : {1, 10, 50}) {
        QImage canvas;
        histogram::DrawHistogram(canvas, bins, s);
        for (int i : {0, 17, 255}) {
            const int h = static_cast<int>(numtext::RoundHalfAway(double(bins[size_t(i)]) / s));
            for (int x : {30 + 2 * i, 31 + 2 * i}) {
                if (x == 30) continue;  // the axis
                const int top = 530 - h;  // first pixel above the bar
                if (top >= 0) {
                    EXPECT_EQ(canvas.pixel(x, top), qRgb(255, 255, 255)) << s << " " << x;
                }
                EXPECT_EQ(canvas.pixel(x, std::max(top + 1, 0)), qRgb(255, 0, 255)) << s << " " << x;
            }
        }
        EXPECT_EQ(canvas.pixel(30, 30), qRgb(0, 0, 0));
        EXPECT_EQ(canvas.pixel(550, 530), qRgb(0, 0, 0));
    }
}

TEST(Linearity, FitOfTheExampleAndText) {
    long double st = 0, sy = 0, stt = 0, sty = 0;
    const int n = 25;
    for (int t = 5; t <= 29; ++t) {
        const long double y = linearity::kLinearityExample[static_cast<size_t>(t)];
        st += t, sy += y, stt += (long double)t * t, sty += t * y;
    }
    const long double slope = (n * sty - st * sy) / (n * stt - st * st);
    const long double icpt = (sy - slope * st) / n;
    EXPECT_NEAR((double)slope, linearity::kLinearitySlope, 1e-9);
    EXPECT_NEAR((double)icpt, linearity::kLinearityIntercept, 1e-9);
    const std::string text = linearity::LinearityText();
    EXPECT_EQ(text.rfind("Explanation\r\nNTSC signal consists of 29.97", 0), 0u);
    EXPECT_NE(text.find("loses 1.001 milli socond per a second (30/29.97).  As a result"), std::string::npos);
    EXPECT_NE(text.find("synchronized to GPS' accurate 1 PPS, appears to \"drift\" through"), std::string::npos);
    EXPECT_NE(text.find("begining of flush starting frame. \r\nAbove graph"), std::string::npos);
    const std::string tail = "has extremely high accuracy which is smaller than 1 milli second.  ";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(TimingError, CurveGraphPoints) {
    QImage img;
    timing::DrawTimingErrorGraph(img);
    auto isRed = [&](int x, int y) { return img.valid(x, y) && img.pixel(x, y) == qRgb(255, 0, 0); };
    for (int i = 0; i <= 30; ++i) {
        const int x = 60 + (int)numtext::RoundHalfAway(i / 20.0 * 300);
        const int y = 452 - (int)numtext::RoundHalfAway(kTimingReferencePoints[size_t(i)] * 36);
        int x0 = 1 << 20, x1 = -1, y0 = 1 << 20, y1 = -1;
        for (int yy = y - 5; yy <= y + 5; ++yy)
            for (int xx = x - 5; xx <= x + 5; ++xx)
                if (isRed(xx, yy)) x0 = std::min(x0, xx), x1 = std::max(x1, xx), y0 = std::min(y0, yy), y1 = std::max(y1, yy);
        ASSERT_GE(x1, 0) << "no circle at point " << i;
        EXPECT_LE(std::abs((x0 + x1) / 2.0 - x), 1.0) << "point " << i;
        EXPECT_LE(std::abs((y0 + y1) / 2.0 - y), 1.0) << "point " << i;
        EXPECT_LE(x1 - x0, 5) << "point " << i;
    }
    // The curve passes through its own points between the circles.
    for (int i : {12, 37, 63, 91, 118, 143}) {
        const int x = 60 + (int)numtext::RoundHalfAway(i * 3.0);
        const int y = 452 - (int)numtext::RoundHalfAway((double)TimingErrorEstimate(i / 100.0L) * 36);
        bool dark = false;
        for (int d = -1; d <= 1 && !dark; ++d) dark = img.valid(x, y + d) && qGray(img.pixel(x, y + d)) < 128;
        EXPECT_TRUE(dark) << "curve at i=" << i;
    }
}
