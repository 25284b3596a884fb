#include "analysis/timing_error.h"

#include <cmath>

#include "platform/numtext.h"

namespace timing {

const std::array<long double, 7> kTimingErrorLow = {
    0.000861085973516832L, 0.262693911737246L, 10.6156500352604L, -62.1345811519649L,
    156.572146985533L,     -57.7858223341369L, -108.758169727983L};
const std::array<long double, 7> kTimingErrorHigh = {
    0.0305187343200233L, -0.508930499520982L, 7.51029253431152L,      -4.90320241926873L,
    4.65091487833908L,   -1.57333176862108L,  -0.00573391971885274L};

const std::array<double, 31> kTimingReferencePoints = {
    0.0,    0.037,  0.0835, 0.1397, 0.2088, 0.2929, 0.4079, 0.5533, 0.8252, 1.0448, 1.3023,
    1.6475, 1.9107, 2.0849, 2.549,  2.8303, 3.3163, 3.8001, 4.078,  4.7364, 5.3057, 5.6999,
    6.1761, 7.0768, 7.3266, 8.0561, 8.5325, 9.4163, 10.1986, 10.6163, 10.9949};

namespace {
long double Poly(const std::array<long double, 7>& c, long double x) {
    long double v = 0;
    for (int k = 6; k >= 0; --k) v = v * x + c[static_cast<size_t>(k)];
    return v;
}
long double DerivHigh(long double x) {
    long double v = 0;
    for (int k = 6; k >= 1; --k) v = v * x + k * kTimingErrorHigh[static_cast<size_t>(k)];
    return v;
}
}  // namespace

long double TimingErrorPeakX() {
    // The high set rises up to its only maximum between 1.5 and 2.2.
    static const long double peak = [] {
        long double a = 1.5L, b = 2.2L;
        for (int k = 0; k < 200; ++k) {
            const long double m = (a + b) / 2;
            (DerivHigh(m) > 0 ? a : b) = m;
        }
        return (a + b) / 2;
    }();
    return peak;
}

long double TimingErrorCurve(long double x) {
    if (x <= 0.5L) return Poly(kTimingErrorLow, x);
    return Poly(kTimingErrorHigh, std::min(x, TimingErrorPeakX()));
}

long double TimingErrorEstimate(double x) {
    // A long double 0.45 lies below the double 0.45, which would put 0.45 itself
    // into the high set.
    return x <= 0.45 ? Poly(kTimingErrorLow, x) : Poly(kTimingErrorHigh, x);
}

double SimRandom::Uniform() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

double SimRandom::Gaussian(double mean, double sd) {
    const double u1 = 1.0 - Uniform();  // (0, 1]
    const double u2 = Uniform();
    return mean + sd * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
}

double RampModel(int shift, int i) {
    const int p = 100 * i;
    if (p < shift - 50) return 0.0;
    if (p < shift + 50) return (p + 50 - shift) / 100.0;
    return 1.0;
}

Fit FitShift(const Samples& y) {
    // below[k]: sum of y^2 over samples before index k; above[k]: sum of (y-1)^2 after k.
    std::array<long double, kSampleCount + 1> below{}, above{};
    for (int k = 0; k < kSampleCount; ++k) below[k + 1] = below[k] + (long double)y[k] * y[k];
    for (int k = kSampleCount - 1; k >= 0; --k) {
        const long double d = (long double)y[k] - 1;
        above[k] = (k + 1 < kSampleCount ? above[k + 1] : 0) + d * d;
    }
    Fit best;
    bool first = true;
    for (int s = kShiftMin; s <= kShiftMax; ++s) {
        // The one sample with s - 50 <= 100 i < s + 50.
        const int i = static_cast<int>(std::ceil((s - 50) / 100.0));
        const int k = i - kSampleMin;
        const long double d = (long double)y[k] - RampModel(s, i);
        const long double ssr = below[k] + d * d + (k + 1 < kSampleCount ? above[k + 1] : 0);
        if (first || ssr < best.ssr) best = {s, ssr}, first = false;
    }
    return best;
}

Fit FitShiftDirect(const Samples& y) {
    Fit best;
    bool first = true;
    for (int s = kShiftMin; s <= kShiftMax; ++s) {
        double ssr = 0;
        for (int i = kSampleMin; i <= kSampleMax; ++i) {
            const double d = y[i - kSampleMin] - RampModel(s, i);
            ssr += d * d;
        }
        if (first || ssr < best.ssr) best = {s, ssr}, first = false;
    }
    return best;
}

namespace {
std::string F4(double v) { return numtext::FormatFixed(v, 15, 4); }
}  // namespace

Run RunTimingSimulation(SimRandom& rng, const SimParams& p, std::vector<std::string>* lines) {
    Run r;
    for (int i = -100; i <= -1; ++i) {
        const double v = rng.Gaussian(0.0, p.noiseDuring);
        r.samples[i + 100] = v;
        if (lines) lines->push_back(std::to_string(i) + "," + F4(v));
    }
    r.u = rng.Uniform();
    if (lines) lines->push_back("Shift= " + F4(r.u));
    const double w = 1.0 - r.u;
    r.samples[100] = w * rng.Gaussian(1.0, p.noiseDuring + w * (p.noiseAfter - p.noiseDuring));
    for (int i = 1; i <= 100; ++i) r.samples[i + 100] = rng.Gaussian(1.0, p.noiseAfter);
    r.found = FitShift(r.samples).found;
    r.error = r.found / 100.0 - (r.u - 0.5);
    if (lines) lines->push_back("Difference= " + F4(r.error));
    return r;
}

Estimate EstimateTimingError(const SimParams& p) {
    const double x = std::max(p.noiseAfter, p.noiseDuring);
    Estimate e;
    e.frames = static_cast<double>(TimingErrorCurve(x));
    e.seconds = p.integration * e.frames / 29.97;
    return e;
}

double WidthModel(double w, double t) {
    if (w <= 0) return t < 0 ? 0.0 : 1.0;
    if (t < -w / 2) return 0.0;
    if (t < w / 2) return (w / 2 + t) / w;
    return 1.0;
}

void MeanStdev(const std::vector<double>& v, double& mean, double& sd) {
    long double s = 0;
    for (double x : v) s += x;
    const long double m = v.empty() ? 0 : s / v.size();
    long double q = 0;
    for (double x : v) q += (x - m) * (x - m);
    mean = static_cast<double>(m);
    sd = v.size() > 1 ? static_cast<double>(std::sqrt(q / (v.size() - 1))) : 0.0;
}

std::vector<std::string> BatchButton1(SimRandom& rng, SimParams& p, Progress progress, void* ctx) {
    constexpr int kRuns = 1000;
    std::vector<double> errors;
    errors.reserve(kRuns);
    for (int n = 0; n < kRuns; ++n) {
        errors.push_back(RunTimingSimulation(rng, p, nullptr).error);
        if (progress && !progress(ctx, n + 1, kRuns)) return {};
    }
    double mean, sd;
    MeanStdev(errors, mean, sd);
    p.rampWidth = 0.1;
    return {numtext::FormatFixed(p.noiseDuring, 15, 2) + "," + F4(mean) + "," + F4(sd)};
}

std::vector<std::string> BatchButton2(const SimParams& p) {
    std::vector<std::string> out;
    for (int s = -500; s <= 500; ++s) out.push_back(std::to_string(s) + "," + F4(WidthModel(p.rampWidth, s / 100.0)));
    return out;
}

std::vector<std::string> BatchButton6() {
    std::vector<std::string> out;
    for (int i = -50; i <= 50; ++i) out.push_back(std::to_string(i) + "," + F4(RampModel(0, i)));
    return out;
}

}  // namespace timing
