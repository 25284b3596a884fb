#pragma once
// Results tables for the absorption-correction and timing-guide tests.
#include <string>
#include <vector>

#include "measure/results_table.h"

namespace asteroidtest {

// A format-2 table: six header lines, then one 34-column row per entry with frame
// number `firstFrame + r`, column 11 = a[r] and column 12 = b[r] (empty texts stay
// empty), column 10 = sound[r] when given.
inline std::vector<std::string> Table(const std::vector<std::string>& a, const std::vector<std::string>& b,
                                      int firstFrame = 100, const std::vector<std::string>& sound = {}) {
    std::vector<std::string> t = {kFormatText2, "\"FileName : x.avi\"", "\"Video System : PAL , FrameRate=25.00\"",
                                  "h1", "h2", "h3"};
    for (size_t r = 0; r < a.size(); ++r) {
        std::string row = std::to_string(firstFrame + static_cast<int>(r)) + ",,,20,10,5.000,,,,";
        row += r < sound.size() ? sound[r] : "";
        row += "," + a[r] + "," + (r < b.size() ? b[r] : "") + ",,,,,";
        for (int c = 17; c <= 34; ++c) row += std::to_string(c) + (c < 34 ? "," : "");
        t.push_back(row);
    }
    return t;
}

}  // namespace asteroidtest
