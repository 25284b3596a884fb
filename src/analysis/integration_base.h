#pragma once
// The asteroid timing guide's arithmetic: shadow velocity and asteroid distance
// from the prediction, the table of brightness jumps between consecutive rows,
// the phase of the integration blocks of a camera that repeats each integrated
// image N times, and the reduction of the results table to one row per block.
//
// Contract. Every function reads a copy of what it needs and returns its result:
// nothing outside is changed. Unreadable plotted values (field 11) count as 0.
// The jump table holds at most 1001 entries whatever the table's size. The
// distance saturates instead of overflowing (a parallax near 0).
//
// Threading. Pure functions; AverageBlocks reports rows done through Progress and
// stops with no table when cancelled, so that a worker run equals a serial one.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace integration {

// "Shadow's velocity" in m/s from the diameter (km) and the maximum duration (s)
// texts (an empty or unreadable text counts 0): RoundHalfAway(D x 1000 / T) when
// both are above 0 and the velocity is at most 20000 m/s, else nothing.
std::optional<int64_t> ShadowVelocity(const std::string& diameterText, const std::string& durationText);

struct Distance {
    int64_t km = 0;      // Edit7
    int64_t metres = 0;  // ObjectDistance, clamped into the 64-bit range
};
// "Asteroid's distance" from the parallax in arc seconds: RoundHalfAway(6378.137 /
// (p x pi / 648000)) km; nothing for a parallax of 0 (or unreadable).
std::optional<Distance> DistanceFromParallax(const std::string& parallaxText);
// The distances the guide shows and hands on: whole kilometres from 1 to the
// Fresnel panel's limit (the metres within 64 bits).
inline constexpr int64_t kMaxDistanceKm = 9200000000000000;
bool DistanceUsable(const Distance& d);
// Told when a parallax gives a distance outside them.
std::string ParallaxRefusal(const std::string& parallaxText);

// Items of ComboBox1 and the frames N of each.
const std::vector<std::string>& FramesItems();
int FramesOfItem(int index);  // 1 for an index out of range

struct JumpEntry {
    std::string frame;   // field 1 of row k (stays at position k)
    long double value = 0;  // field 11 of row k (stays at position k)
    long double absJump = 0;  // stays at position k
    // These three move together when the table is sorted.
    long double sortKey = 0;
    int row = 0;
    long double jump = 0;
};
// Entries 0..n for data rows 0..n (n at most 1000 and below the number of data
// rows), sorted by the jump's size ascending (stable: equal sizes keep row order),
// so the largest jump is last. `dataLines` are the data rows only.
std::vector<JumpEntry> BuildJumpTable(const std::vector<std::string>& dataLines, int n);

struct Phase {
    int acceptedRow = 0;  // row of the accepted jump
    int phase = 0;        // IntegrationPhase
    int offset = 0;       // IntegrationOffset
};
// The phase finder over `dataLines` with N frames per block: of the eleven largest
// jumps, largest first, the first whose row lies a multiple of N from the next
// smaller jump's row. Nothing when N < 2, with no rows, or when no pair qualifies.
std::optional<Phase> FindPhase(const std::vector<std::string>& dataLines, int frames);

struct Progress {
    std::atomic<int> position{0};
    std::atomic<bool> cancel{false};
};

struct Blocks {
    bool cancelled = false;
    std::vector<std::string> lines;  // the header lines, then one row per block
    int lastRowIndex = -1;           // DataRowCount and LastRowIndex after it
    int selectedFrame = -1;          // the largest drop of the reduced table, or -1
};
// Block averaging (steps 1-4): the rows r with (r - offset) mod N = 0 keep field 11
// as the mean of rows max(0, r - N div 2 + 1) .. min(last, r + N div 2) in fixed
// notation with 1 decimal (with N = 1 each row is its own block). `headerLines`
// lines of `table` are the header.
Blocks AverageBlocks(const std::vector<std::string>& table, int headerLines, int frames, int offset,
                     Progress* progress = nullptr);

}  // namespace integration
