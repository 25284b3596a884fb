// timing-estimate, timing-fit, timing-sim: the timing-error curve and simulation.
#include <cmath>
#include <cstdio>
#include <iostream>

#include "analysis/timing_batch.h"
#include "analysis/timing_error.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

bool ReadNumber(const std::string& s, double& v) {
    const auto r = numtext::ParseFloat(s);
    if (!r) return false;
    v = static_cast<double>(*r);
    return true;
}

int TimingEstimate(const std::vector<std::string>& args) {
    if (args.empty()) return ProbeFail("timing-estimate: give one or more X");
    for (const auto& a : args) {
        double x;
        if (!ReadNumber(a, x)) return ProbeFail("timing-estimate: not a number: " + a);
        std::printf("%.17g\n", static_cast<double>(timing::TimingErrorEstimate(x)));
    }
    return 0;
}

int TimingFit(const std::vector<std::string>&) {
    timing::Samples y{};
    int n = 0;
    std::string tok;
    while (std::cin >> tok) {
        double v;
        if (!ReadNumber(tok, v)) return ProbeFail("timing-fit: not a number: " + tok);
        if (n >= timing::kSampleCount) return ProbeFail("timing-fit: more than 201 values");
        y[static_cast<size_t>(n++)] = v;
    }
    if (n != timing::kSampleCount) return ProbeFail("timing-fit: need 201 values, got " + std::to_string(n));
    const timing::Fit f = timing::FitShift(y);
    std::printf("found %d\nssr %.17g\n", f.found, static_cast<double>(f.ssr));
    return 0;
}

int TimingSim(const std::vector<std::string>& args) {
    timing::SimParams p;
    uint64_t seed = 0;
    bool haveSeed = false;
    int button = 7;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (k + 1 >= args.size()) return ProbeFail("timing-sim: " + a + " needs a value");
        const std::string& v = args[++k];
        double d;
        if (!ReadNumber(v, d)) return ProbeFail("timing-sim: not a number: " + v);
        if (a == "--seed") {
            const auto n = numtext::ParseInt(v);
            if (!n || *n < 0) return ProbeFail("timing-sim: bad seed: " + v);
            seed = static_cast<uint64_t>(*n), haveSeed = true;
        }
        else if (a == "--noise-after" && d >= 0) p.noiseAfter = d;
        else if (a == "--noise-during" && d >= 0) p.noiseDuring = d;
        else if (a == "--ramp-width" && d >= 0 && d <= 10) p.rampWidth = d;
        else if (a == "--integration" && d >= 1 && d <= 64) p.integration = static_cast<int>(d);
        else if (a == "--button" && d >= 1 && d <= 7 && d == std::floor(d)) button = static_cast<int>(d);
        else return ProbeFail("timing-sim: bad option or value: " + a + " " + v);
    }
    if (!haveSeed) return ProbeFail("timing-sim: --seed N is required");
    timing::SimRandom rng(seed);
    const timing::Estimate e = timing::EstimateTimingError(p);
    std::printf("estimate %s %s\n", numtext::FormatFixed(e.frames, 15, 4).c_str(),
                numtext::FormatFixed(e.seconds, 15, 4).c_str());
    std::vector<std::string> lines;
    if (button == 7) timing::RunTimingSimulation(rng, p, &lines);
    else if (button == 1) lines = timing::BatchButton1(rng, p);
    else if (button == 2) lines = timing::BatchButton2(p);
    else if (button == 3) lines = timing::BatchButton3(rng, p);
    else if (button == 4) lines = timing::BatchButton4(rng, p);
    else if (button == 5) lines = timing::BatchButton5(rng);
    else lines = timing::BatchButton6();
    for (const auto& l : lines) std::printf("%s\n", l.c_str());
    return 0;
}

const ProbeCommand kEstimate("timing-estimate", "X...", TimingEstimate);
const ProbeCommand kFit("timing-fit", "< 201 SAMPLES", TimingFit);
const ProbeCommand kSim("timing-sim",
                        "--seed N [--noise-after A] [--noise-during B] [--ramp-width W] [--integration P] [--button 7|1|2|3|4|5|6]",
                        TimingSim);

}  // namespace
