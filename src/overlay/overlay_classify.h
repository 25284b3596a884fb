#pragma once
// Rule classifiers of the three time inserters. Each class is a template written as
// runs that must be bright (the on runs) and groups of runs that must be dark; a
// class scores the mean on-run level when its dark runs are dark and less the
// brighter they are. Fixed sums over the sample vector: no allocation.
#include <array>
#include <cstdint>

namespace overlay {

constexpr int kSampleRunCount = 46;  // runs 44 and 45 are sampled on the GPS page only
constexpr int kClassCount = 16;      // 0-9 digits, 10 E, 11 N, 12 W, 13 none, 14 S, 15 U

// Sample values and the run widths (after scaling) that produced them.
struct SampleVector {
    std::array<int, kSampleRunCount> v{};
    std::array<int, kSampleRunCount> w{};
};
using ScoreVector = std::array<double, kClassCount>;

// Each writes all 16 scores; classes a classifier does not score are 0.
void ClassifyKiwiCharacter(const SampleVector& s, ScoreVector& scores);   // 0-9
void ClassifyIotaCharacter(const SampleVector& s, ScoreVector& scores);   // 0-12, 14
void ClassifyGhsCharacter(const SampleVector& s, ScoreVector& scores);    // 0-12, 14, 15

}  // namespace overlay
