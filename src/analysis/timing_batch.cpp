#include "analysis/timing_batch.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace timing {

namespace {

std::string F2(double v) { return numtext::FormatFixed(v, 15, 2); }
std::string F4(double v) { return numtext::FormatFixed(v, 15, 4); }

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// below[k]: sum of y^2 over samples before index k; above[k]: sum of (y - 1)^2
// from index k on.
struct Prefix {
    std::array<long double, kSampleCount + 1> below{}, above{};
    explicit Prefix(const Samples& y) {
        for (int k = 0; k < kSampleCount; ++k) below[k + 1] = below[k] + (long double)y[k] * y[k];
        for (int k = kSampleCount - 1; k >= 0; --k) {
            const long double d = (long double)y[k] - 1;
            above[k] = above[k + 1] + d * d;
        }
    }
};

// Coarse shifts of whole frames, then 0.01 frame steps within one frame of the
// best; the first smallest sum wins each time.
template <class SumAt>
Fit CoarseThenFine(SumAt sumAt) {
    Fit best;
    bool first = true;
    for (int c = -100; c <= 100; ++c) {
        const long double v = sumAt(100 * c);
        if (first || v < best.ssr) best = {100 * c, v}, first = false;
    }
    const int centre = best.found;
    first = true;
    for (int d = -100; d <= 100; ++d) {
        const long double v = sumAt(centre + d);
        if (first || v < best.ssr) best = {centre + d, v}, first = false;
    }
    return best;
}

// The sum of squares at shift s: prefix sums for the samples the model sees as 0
// or 1, the table for the few inside the rise.
long double SsrFromPrefix(const WidthFit& fit, const Prefix& pre, const Samples& y, int s) {
    const int reach = fit.Reach();
    const int kLo = std::clamp(FloorDiv(s - reach, 100) + 1 - kSampleMin, 0, kSampleCount);
    const int kHi = std::clamp(-FloorDiv(-(s + reach), 100) - kSampleMin, kLo, kSampleCount);
    long double sum = pre.below[kLo] + pre.above[kHi];
    for (int k = kLo; k < kHi; ++k) {
        const long double d = (long double)y[k] - fit.Model(100 * (k + kSampleMin) - s);
        sum += d * d;
    }
    return sum;
}

double SsrDirect(const WidthFit& fit, const Samples& y, int s) {
    double sum = 0;
    for (int i = kSampleMin; i <= kSampleMax; ++i) {
        const double d = y[i - kSampleMin] - fit.Model(100 * i - s);
        sum += d * d;
    }
    return sum;
}

}  // namespace

double IntegratedRamp(double w, double t) {
    // Beyond the rise plus half a frame every sub-step sees 0 or 1.
    const double edge = w / 2 + 0.5;
    if (t <= -edge) return 0.0;
    if (t >= edge) return 1.0;
    double sum = 0;
    for (int k = 0; k < 100; ++k) sum += WidthModel(w, t - 0.5 + (k + 0.5) / 100);
    return sum / 100;
}

WidthFit::WidthFit(double w) {
    w_ = std::isfinite(w) ? std::clamp(w, 0.0, kMaxRampWidth) : 0.0;
    reach_ = static_cast<int>(std::ceil(100 * (w_ / 2 + 0.5))) + 1;
    table_.resize(static_cast<size_t>(2 * reach_ - 1));
    for (int m = -reach_ + 1; m < reach_; ++m) table_[static_cast<size_t>(m + reach_ - 1)] = IntegratedRamp(w_, m / 100.0);
}

double WidthFit::Model(int hundredths) const {
    if (hundredths <= -reach_) return 0.0;
    if (hundredths >= reach_) return 1.0;
    return table_[static_cast<size_t>(hundredths + reach_ - 1)];
}

Fit WidthFit::Find(const Samples& y) const {
    const Prefix pre(y);
    return CoarseThenFine([&](int s) { return SsrFromPrefix(*this, pre, y, s); });
}

Fit WidthFit::FindDirect(const Samples& y) const {
    return CoarseThenFine([&](int s) { return (long double)SsrDirect(*this, y, s); });
}

Fit FitShiftRange(const Samples& y, int first, int last) {
    // The width-0 table holds RampModel's values exactly ((50 + m) / 100).
    static const WidthFit step(0.0);
    const Prefix pre(y);
    Fit best;
    bool none = true;
    for (int s = first; s <= last; ++s) {
        const long double v = SsrFromPrefix(step, pre, y, s);
        if (none || v < best.ssr) best = {s, v}, none = false;
    }
    return best;
}

Run RunWidthSimulation(SimRandom& rng, const SimParams& p, const WidthFit& fit) {
    Run r;
    r.u = rng.Uniform();
    const double tau = r.u - 0.5;
    for (int i = kSampleMin; i <= kSampleMax; ++i) {
        const double m = IntegratedRamp(fit.Width(), i - tau);
        const double sd = p.noiseDuring + m * (p.noiseAfter - p.noiseDuring);
        r.samples[static_cast<size_t>(i - kSampleMin)] = m + rng.Gaussian(0.0, sd);
    }
    r.found = fit.Find(r.samples).found;
    r.error = r.found / 100.0 - tau;
    return r;
}

Run RunStepSimulation(SimRandom& rng, double noise) {
    Run r;
    r.u = rng.Uniform();
    for (int i = kSampleMin; i <= kSampleMax; ++i) {
        const double level = i < 0 ? 0.0 : i == 0 ? 1.0 - r.u : 1.0;
        r.samples[static_cast<size_t>(i - kSampleMin)] = level + rng.Gaussian(0.0, noise);
    }
    r.found = FitShiftRange(r.samples, -500, 500).found;
    r.error = r.found / 100.0 - (r.u - 0.5);
    return r;
}

std::vector<std::string> BatchButton4(SimRandom& rng, const SimParams& p, Progress progress, void* ctx) {
    const WidthFit fit(p.rampWidth);
    std::vector<double> errors;
    errors.reserve(kButton4Runs);
    for (int n = 0; n < kButton4Runs; ++n) {
        errors.push_back(RunWidthSimulation(rng, p, fit).error);
        if (progress && !progress(ctx, n + 1, kButton4Runs)) return {};
    }
    double mean, sd;
    MeanStdev(errors, mean, sd);
    return {F2(p.noiseDuring) + "," + F4(mean) + "," + F4(sd)};
}

std::vector<std::string> BatchButton3(SimRandom& rng, const SimParams& p, Progress progress, void* ctx) {
    const WidthFit fit(p.rampWidth);
    std::vector<std::string> lines;
    std::vector<double> errors;
    for (int k = 1; k <= kLevels; ++k) {
        SimParams q = p;
        q.noiseAfter = q.noiseDuring = k / 20.0;
        errors.clear();
        for (int n = 0; n < kLevelRuns; ++n) {
            errors.push_back(RunWidthSimulation(rng, q, fit).error);
            if (progress && !progress(ctx, (k - 1) * kLevelRuns + n + 1, kLevels * kLevelRuns)) return {};
        }
        double mean, sd;
        MeanStdev(errors, mean, sd);
        lines.push_back(F2(q.noiseDuring) + "," + F4(mean) + "," + F4(sd));
    }
    return lines;
}

std::vector<std::string> BatchButton5(SimRandom& rng, Progress progress, void* ctx) {
    std::vector<std::string> lines;
    for (int k = 1; k <= kLevels; ++k) {
        const double noise = k / 20.0;
        long double squares = 0;
        for (int n = 0; n < kLevelRuns; ++n) {
            const double e = RunStepSimulation(rng, noise).error;
            squares += (long double)e * e;
            if (progress && !progress(ctx, (k - 1) * kLevelRuns + n + 1, kLevels * kLevelRuns)) return {};
        }
        lines.push_back(F2(noise) + "," + F4(static_cast<double>(std::sqrt(squares / kLevelRuns))));
    }
    return lines;
}

}  // namespace timing
