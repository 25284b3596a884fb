#pragma once
// Results tables and units for the mutual-event tests.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "analysis/mutual_event.h"

namespace mutualtest {

struct Row {
    int hour = 0, minute = 0;
    double second = 0;
    double target = 0, comparison = 0, third = 0;
    bool noComparison = false;
};

// A results table of `version` (2, 1 or 0) with these rows.
inline std::vector<std::string> Table(const std::vector<Row>& rows, int version = 2) {
    std::vector<std::string> t;
    if (version == 2) t.push_back("Tevorin File Format (for Ver.0.9.26 later)");
    if (version == 1) t.push_back("Tevorin File Format (for Ver.0.9.25 later)");
    if (version != 0) t.insert(t.end(), {"\"FileName : x.avi\"", "\"Video System : NTSC , FrameRate=29.97\""});
    t.insert(t.end(), {"\"\",\"Time\"", "\"\",\"Detect\"", "\"No.\",\"Signal1\""});
    char buf[256];
    for (size_t k = 0; k < rows.size(); ++k) {
        const Row& r = rows[k];
        std::snprintf(buf, sizeof buf, "%zu.0,\"\",\"\",%d,%d,%.2f,%.2f,,,,%.1f,", k, r.hour, r.minute, r.second, r.second,
                      r.target);
        std::string line = buf;
        if (!r.noComparison) {
            std::snprintf(buf, sizeof buf, "%.1f,%.1f", r.comparison, r.third);
            line += buf;
        } else {
            line += ",";
        }
        // Three objects' blocks, empty, so that the table also loads as a results file.
        t.push_back(line + ",1.5,1.5,1.5" + std::string(52, ','));
    }
    return t;
}

// Frames at 29.97 per second from `start` seconds of the day; the target dips in
// the middle, the comparison drifts, both with deterministic noise. `lag` lets the
// minute column trail the wrapped second as some inserters do.
inline std::vector<Row> EventRows(int frames, double start, bool lag = true) {
    std::vector<Row> rows;
    unsigned seed = 12345;
    auto noise = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 8) % 2001) / 10.0 - 100.0;
    };
    int lastMinute = -1;
    for (int k = 0; k < frames; ++k) {
        double t = start + k / 29.97;
        t = std::fmod(t, 86400.0);
        Row r;
        r.hour = static_cast<int>(t / 3600);
        r.minute = static_cast<int>((t - 3600 * r.hour) / 60);
        r.second = std::floor((t - 3600 * r.hour - 60 * r.minute) * 100) / 100;
        if (lag && r.second <= 0.02 && lastMinute >= 0 && r.minute != lastMinute) r.minute = lastMinute;
        lastMinute = r.minute;
        const double phase = (k - frames / 2.0) / frames;
        r.target = std::round((3000 - 1200 * std::exp(-phase * phase * 40) + noise()) * 10) / 10;
        r.comparison = std::round((2000 + 300 * phase + noise()) * 10) / 10;
        r.third = std::round((1500 + noise()) * 10) / 10;
        rows.push_back(r);
    }
    return rows;
}

}  // namespace mutualtest
