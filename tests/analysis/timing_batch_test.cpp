// The long batches of the simulation window: the integrated ramp against its
// closed form, the width fit against a numpy brute force and its own plain loop,
// noiseless runs, and the batch listings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "analysis/timing_batch.h"
#include "platform/numtext.h"

using namespace timing;

namespace {

const std::string kOracle = "/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/timing_width_oracle.py'";

// The exact mean of the ramp over [t - 0.5, t + 0.5].
double ExactIntegral(double w, double t) {
    auto prim = [w](double x) {  // integral of the ramp from -inf... taken from -w/2
        if (x <= -w / 2) return 0.0;
        if (x < w / 2) return (x + w / 2) * (x + w / 2) / (2 * w);
        return w / 2 + (x - w / 2);
    };
    return prim(t + 0.5) - prim(t - 0.5);
}

struct Counter {
    int calls = 0, last = 0, total = 0, stopAt = -1;
    static bool Report(void* ctx, int done, int total) {
        auto* c = static_cast<Counter*>(ctx);
        ++c->calls, c->last = done, c->total = total;
        return done != c->stopAt;
    }
};

}  // namespace

TEST(TimingBatch, IntegratedRampAgainstClosedForms) {
    // Width 0 is RampModel's one-frame rise, exactly.
    const WidthFit step(0.0);
    for (int m = -80; m <= 80; ++m) EXPECT_EQ(step.Model(m), RampModel(-m, 0)) << m;
    // Midpoint sums of a piecewise-linear ramp are exact except on the two
    // sub-steps holding a kink, each off by at most 0.01 x 0.005 / w.
    for (double w : {0.1, 0.37, 1.0, 2.5, 10.0}) {
        const WidthFit fit(w);
        for (int m = -700; m <= 700; m += 7) {
            const double t = m / 100.0;
            EXPECT_NEAR(IntegratedRamp(w, t), ExactIntegral(w, t), 1e-4 / w + 1e-12) << w << " " << t;
            EXPECT_EQ(fit.Model(m), IntegratedRamp(w, t)) << w << " " << m;
        }
        EXPECT_EQ(fit.Model(-fit.Reach()), 0.0);
        EXPECT_EQ(fit.Model(fit.Reach()), 1.0);
    }
    // A width that is not a number, or absurd, is held to the window's range.
    EXPECT_EQ(WidthFit(std::nan("")).Width(), 0.0);
    EXPECT_EQ(WidthFit(1e300).Width(), kMaxRampWidth);
}

TEST(TimingBatch, WidthFitAgainstNumpyAndItsPlainLoop) {
    struct Case {
        double w, noise;
        uint64_t seed;
    };
    const Case cases[] = {{0.0, 0.3, 1}, {0.1, 0.0, 2}, {0.37, 0.5, 3}, {2.5, 0.2, 4}, {1.0, 1.2, 5}, {6.0, 0.1, 6}};
    const std::string in = testing::TempDir() + "timing_width_samples.txt";
    std::vector<Samples> ys;
    {
        FILE* f = std::fopen(in.c_str(), "w");
        ASSERT_TRUE(f);
        for (const Case& c : cases) {
            SimRandom rng(c.seed);
            SimParams p;
            p.noiseAfter = p.noiseDuring = c.noise;
            ys.push_back(RunWidthSimulation(rng, p, WidthFit(c.w)).samples);
            std::fprintf(f, "%.17g", c.w);
            for (double v : ys.back()) std::fprintf(f, " %.17g", v);
            std::fprintf(f, "\n");
        }
        std::fclose(f);
    }
    FILE* pipe = popen((kOracle + " < '" + in + "'").c_str(), "r");
    ASSERT_TRUE(pipe);
    for (size_t k = 0; k < ys.size(); ++k) {
        int found = 0;
        double ssr = 0, gap = 0;
        ASSERT_EQ(std::fscanf(pipe, " found %d %lf %lf", &found, &ssr, &gap), 3) << "case " << k;
        const WidthFit fit(cases[k].w);
        const Fit a = fit.Find(ys[k]), b = fit.FindDirect(ys[k]);
        if (gap > 1e-12) {
            EXPECT_EQ(a.found, found) << "case " << k;
            EXPECT_EQ(b.found, found) << "case " << k;
        }
        // numpy's model sums its sub-steps in another order: 1e-12 per sample.
        EXPECT_NEAR((double)a.ssr, ssr, 1e-9 * (1 + ssr)) << "case " << k;
    }
    pclose(pipe);

    // Prefix sums against the plain loop over many seeds and widths.
    int differing = 0;
    for (uint64_t seed = 0; seed < 300; ++seed) {
        const WidthFit fit((seed % 11) * 0.45);
        SimRandom rng(seed);
        SimParams p;
        p.noiseAfter = p.noiseDuring = 0.05 + (seed % 13) * 0.1;
        const Samples y = RunWidthSimulation(rng, p, fit).samples;
        const Fit a = fit.Find(y), b = fit.FindDirect(y);
        if (a.found != b.found) {
            EXPECT_LT(std::fabs((double)(a.ssr - b.ssr)), 1e-12) << "seed " << seed;
            ++differing;
        }
    }
    EXPECT_LE(differing, 3);
}

TEST(TimingBatch, NoiselessRunsFindTheTrueShift) {
    SimParams quiet;
    quiet.noiseAfter = quiet.noiseDuring = 0;
    for (double w : {0.0, 0.1, 1.0, 4.3, 10.0}) {
        const WidthFit fit(w);
        SimRandom rng(99);
        for (int n = 0; n < 40; ++n) {
            const timing::Run r = RunWidthSimulation(rng, quiet, fit);
            EXPECT_LE(std::fabs(r.error), 0.01 + 1e-12) << "width " << w << " run " << n;
        }
    }
    SimRandom rng(7);
    for (int n = 0; n < 40; ++n) EXPECT_LE(std::fabs(RunStepSimulation(rng, 0.0).error), 0.01 + 1e-12) << n;
    // The range fit over every shift is the full fit.
    for (uint64_t seed = 0; seed < 100; ++seed) {
        SimRandom r2(seed);
        SimParams p;
        p.noiseAfter = p.noiseDuring = 0.1 * (seed % 9);
        const Samples y = RunTimingSimulation(r2, p, nullptr).samples;
        EXPECT_EQ(FitShiftRange(y, kShiftMin, kShiftMax).found, FitShift(y).found) << seed;
        const int f = FitShiftRange(y, -500, 500).found;
        EXPECT_TRUE(f >= -500 && f <= 500);
    }
}

TEST(TimingBatch, ListingsProgressAndCancel) {
    SimParams p;
    p.noiseAfter = p.noiseDuring = 0.3;
    p.rampWidth = 0.1;
    Counter c;
    SimRandom rng(2024);
    const auto four = BatchButton4(rng, p, &Counter::Report, &c);
    ASSERT_EQ(four.size(), 1u);
    EXPECT_EQ(c.calls, kButton4Runs);
    EXPECT_EQ(c.last, c.total);
    double noise = 0, mean = 0, sd = 0;
    ASSERT_EQ(std::sscanf(four[0].c_str(), "%lf,%lf,%lf", &noise, &mean, &sd), 3) << four[0];
    EXPECT_EQ(four[0].substr(0, 5), "0.30,");
    // 10,000 runs: the mean error is within a few standard errors of 0, and the
    // spread that of the reference point at 0.30 within 25%.
    EXPECT_LT(std::fabs(mean), 4 * sd / 100);
    EXPECT_NEAR(sd, kTimingReferencePoints[6], 0.25 * kTimingReferencePoints[6]);

    // The same seed without a progress callback gives the same line.
    SimRandom again(2024);
    EXPECT_EQ(BatchButton4(again, p), four);

    Counter stop;
    stop.stopAt = 1500;
    SimRandom r3(1);
    EXPECT_TRUE(BatchButton3(r3, p, &Counter::Report, &stop).empty());
    EXPECT_EQ(stop.last, 1500);
    EXPECT_EQ(stop.total, kLevels * kLevelRuns);

    SimRandom r5(5);
    Counter c5;
    const auto five = BatchButton5(r5, &Counter::Report, &c5);
    ASSERT_EQ(five.size(), static_cast<size_t>(kLevels));
    EXPECT_EQ(c5.last, kLevels * kLevelRuns);
    for (int k = 1; k <= kLevels; ++k) {
        double level = 0, rms = 0;
        ASSERT_EQ(std::sscanf(five[k - 1].c_str(), "%lf,%lf", &level, &rms), 2) << five[k - 1];
        EXPECT_EQ(five[k - 1].substr(0, 4), numtext::FormatFixed(k / 20.0, 15, 2));
        // The shifts stop at 5 frames.
        EXPECT_LE(rms, 5.5);
        if (k > 1) {
            EXPECT_GT(rms, 0);
        }
    }
}

TEST(TimingBatch, StepRunsAgainstANumpyModel) {
    // Both sides draw 8,000 runs per level from their own generators; the RMS
    // errors of such runs vary by about 3% (20,000-run trials agreed within 1.5%).
    const double levels[] = {0.2, 0.5, 1.0};
    FILE* pipe = popen(("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/timing_step_oracle.py' 8000 0.2 0.5 1.0"), "r");
    ASSERT_TRUE(pipe);
    for (double noise : levels) {
        double want = 0;
        ASSERT_EQ(std::fscanf(pipe, " %lf", &want), 1) << noise;
        SimRandom rng(31);
        long double squares = 0;
        for (int n = 0; n < 8000; ++n) {
            const double e = RunStepSimulation(rng, noise).error;
            squares += (long double)e * e;
        }
        EXPECT_NEAR((double)std::sqrt(squares / 8000), want, 0.10 * want) << "noise " << noise;
    }
    pclose(pipe);
}
