#pragma once
// The simulation window's long batches: a rise of any width seen through a
// frame's exposure (Button4, and per noise level Button3) and a step fitted over
// a short range of shifts (Button5).
//
// Guarantees:
// - Deterministic: a batch draws its random numbers from the one SimRandom it is
//   given, in a fixed order, so the same seed gives the same lines on any thread.
// - The fits take their sums of squares from prefix sums over the samples that lie
//   wholly before or after the rise; they find the shift the plain double loop
//   (the *Direct functions) finds, the first of equal sums, unless two sums differ
//   only by rounding (below 1e-12).
// - A batch reports progress after every run through `progress` (when given); a
//   false answer stops it and it returns no lines. Nothing else is shared, so a
//   batch may run on a worker thread with its own copies of the inputs.
#include <string>
#include <vector>

#include "analysis/timing_error.h"

namespace timing {

// Widths beyond this are taken as this (the window's up-down stops at 10 frames).
constexpr double kMaxRampWidth = 100.0;

// The mean of WidthModel(w, .) over 100 sub-steps of one frame's exposure, for a
// sample whose frame is centred t frames after the middle of the rise. With w = 0
// this is RampModel's linear rise over one frame.
double IntegratedRamp(double w, double t);

// Least squares of the integrated ramp against 201 samples, trial shifts in units
// of 0.01 frame. The model values are tabulated once per width.
class WidthFit {
public:
    explicit WidthFit(double w);
    double Width() const { return w_; }
    // Offsets |100 i - s| from this on see the model's 0 or 1.
    int Reach() const { return reach_; }
    // Model value of sample i at trial shift s: IntegratedRamp(w, (100 i - s) / 100).
    double Model(int hundredths) const;
    // Coarse shifts -100..100 frames, then the 201 shifts of 0.01 frame around the
    // best one (first smallest sum each time).
    Fit Find(const Samples& y) const;
    // The same search, every sum a loop over all samples.
    Fit FindDirect(const Samples& y) const;

private:
    double w_;
    int reach_;                  // |100 i - s| >= reach_: the model is 0 or 1
    std::vector<double> table_;  // model at offsets -reach_ + 1 .. reach_ - 1
};

// Sums of squares for trial shifts first..last only (RampModel), first smallest wins.
Fit FitShiftRange(const Samples& y, int first, int last);

// One run of the Button4 kind: true shift u - 0.5; each sample the integrated ramp
// plus Gaussian noise of NoiseDuring before the rise blending into NoiseAfter after it.
Run RunWidthSimulation(SimRandom& rng, const SimParams& p, const WidthFit& fit);
// One run of the Button5 kind at noise `noise`: 0 before the event sample, 1 - u on
// it, 1 after, plus Gaussian noise; shifts -500..500.
Run RunStepSimulation(SimRandom& rng, double noise);

// Button4: 10,000 width runs; "noise,mean,sd" (sd with divisor 9,999).
std::vector<std::string> BatchButton4(SimRandom& rng, const SimParams& p, Progress progress = nullptr, void* ctx = nullptr);
// Button3: for noise k / 20, k = 1..28 (both noise values): 1,000 width runs each;
// one "noise,mean,sd" line per level.
std::vector<std::string> BatchButton3(SimRandom& rng, const SimParams& p, Progress progress = nullptr, void* ctx = nullptr);
// Button5: for noise k / 20, k = 1..28: 1,000 step runs each; "noise,rms" per level.
std::vector<std::string> BatchButton5(SimRandom& rng, Progress progress = nullptr, void* ctx = nullptr);

// Runs of each batch (for progress bars).
constexpr int kButton1Runs = 1000, kButton4Runs = 10000, kLevelRuns = 1000, kLevels = 28;

}  // namespace timing
