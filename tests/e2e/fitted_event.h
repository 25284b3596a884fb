#pragma once
// The reappearance both diffraction roads start from: a results file written by
// the scipy oracle, 21 ms before row 60 at 29.97 fps (the loaded file's rate is
// NTSC), seen at 650 m/s, and where row 60 stands on the graph's picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "support/test_util.h"

struct FittedEvent {
    std::string csv;
    int y60 = 0;  // row 60's point: x = 50 + 60 x 2, y = 385 - value x 365 / (largest value)

    // Harness lines: the file loaded, the graph, row 60 picked, "Diffraction".
    std::string OpenDiffraction() const {
        return "load " + csv + "\n"
               "graph\n"
               "set chart1.RadioGroup1 0\n"
               "graph-click 170 " + std::to_string(y60) + "\n"
               "press chart1.Button8\n";
    }
};

// Writes dir/event.csv; fails the test if the oracle or the file fails.
inline void MakeFittedEvent(const testutil::TempDir& dir, FittedEvent& event) {
    event.csv = dir.File("event.csv");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/diffraction_oracle.py' '" + event.csv +
                            "' --event-ms -21 --velocity 650 --noise 8 --seed 4"),
              0);
    double largest = 0, v60 = 0;
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(fileio::ReadLines(event.csv, lines, error)) << error;
    for (size_t i = 6; i < lines.size(); ++i) {
        size_t at = 0;
        for (int f = 1; f < 11; ++f) at = lines[i].find(',', at) + 1;
        const double v = std::stod(lines[i].substr(at));
        largest = std::max(largest, v);
        if (i == 6 + 60) v60 = v;
    }
    event.y60 = static_cast<int>(std::lround(385 - v60 * 365 / largest));
}
