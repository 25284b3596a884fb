#pragma once
// Timing uncertainty of an event: the error curve against the noise-to-signal
// ratio, and the simulation of a reappearance in noise that the curve came from.
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace timing {

// The two coefficient sets (c0..c6) of the timing-error polynomial, in frames.
extern const std::array<long double, 7> kTimingErrorLow;
extern const std::array<long double, 7> kTimingErrorHigh;

// Error in frames, low set for x <= 0.5. Past the high set's peak (about 13.935
// frames at x = 1.885) the polynomial falls and turns negative, so the peak is held.
long double TimingErrorCurve(long double x);
// The error window's own copy: low set for x <= 0.45, the bare polynomials. The
// ratio is a double and the limit 0.45 is compared as a double, so that 0.45
// itself (as typed or computed in double) is in the low set.
long double TimingErrorEstimate(double x);
// The location of the held peak.
long double TimingErrorPeakX();

// Simulated 1-sigma errors in frames at noise 0.00, 0.05, ..., 1.50.
extern const std::array<double, 31> kTimingReferencePoints;

// Seedable source; the Gaussian transform is our own so that runs repeat across
// standard libraries.
class SimRandom {
public:
    explicit SimRandom(uint64_t seed) : engine_(seed) {}
    double Uniform();  // [0, 1)
    double Gaussian(double mean, double sd);

private:
    std::mt19937_64 engine_;
};

// Trial shifts in units of 0.01 frame.
constexpr int kShiftMin = -7000, kShiftMax = 7000;
constexpr int kSampleMin = -100, kSampleMax = 100, kSampleCount = 201;
using Samples = std::array<double, kSampleCount>;  // index i + 100

// Model value of sample i for a trial shift: a linear rise over one frame
// centred at shift / 100.
double RampModel(int shift, int i);

struct Fit {
    int found = 0;      // shift of the smallest sum, the first on ties
    long double ssr = 0;
};
// Sums of squared residuals over all 14,001 shifts from prefix sums: for any shift
// exactly one sample lies inside the rise, the others are compared with 0 or 1.
Fit FitShift(const Samples& y);
// The plain double loop over every shift and sample (reference and benchmark).
Fit FitShiftDirect(const Samples& y);

struct SimParams {
    double noiseAfter = 0.10;
    double noiseDuring = 0.10;
    double rampWidth = 0.10;  // frames
    int integration = 1;
};

struct Run {
    Samples samples{};
    double u = 0;         // true shift is u - 0.5 frames
    int found = 0;
    double error = 0;     // found / 100 - (u - 0.5)
};

// One simulated run; appends the memo lines when `lines` is given.
Run RunTimingSimulation(SimRandom& rng, const SimParams& p, std::vector<std::string>* lines);

// Edit5 (frames) and Edit6 (seconds) for the larger of the two noise values.
struct Estimate {
    double frames = 0, seconds = 0;
};
Estimate EstimateTimingError(const SimParams& p);

// Ramp of width w frames at time t (frames from the event); width 0 is a step.
double WidthModel(double w, double t);

// Batch buttons: the memo lines each produces. `progress` (may be empty) gets
// done/total and returns false to stop early.
using Progress = bool (*)(void* ctx, int done, int total);
std::vector<std::string> BatchButton1(SimRandom& rng, SimParams& p, Progress progress = nullptr, void* ctx = nullptr);
std::vector<std::string> BatchButton2(const SimParams& p);
std::vector<std::string> BatchButton6();

// Mean and sample standard deviation (divisor n - 1).
void MeanStdev(const std::vector<double>& v, double& mean, double& sd);

}  // namespace timing
