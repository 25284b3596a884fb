// Overlay time subcommands:
//   overlay-time VIDEO --type iota|kiwi|ghs [--frames A-B] [--rate FPS] [--threshold T]
//       [--adjust D] [--field-order 0|1] [--field-measure] [--show-field]
//       [--grid X0,PITCH,ROW[,GAP] --level L]
//     Reads frames A..B (default all) in order through TVfwAvi, the reader's state
//     carried from frame to frame, and prints "frame=N" and the reading's key=value
//     pairs per frame. Without --grid KIWI-OSD reads its fixed row sets.
//   compare-seconds A B
//     Prints 0, 1 or 2.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "overlay/overlay_time.h"
#include "platform/numtext.h"
#include "probe.h"
#include "video/VfwAvi.h"

namespace {

// The two fields of an interlaced frame stacked, field 2 below field 1.
void StackFields(const Bitmap24& frame, Bitmap24& out) {
    out.Resize(frame.Width(), frame.Height());
    const int h = frame.Height() / 2;
    const size_t rowBytes = static_cast<size_t>(frame.Width()) * 3;
    for (int i = 0; i < h; ++i) {
        std::copy_n(frame.Scanline(2 * i), rowBytes, out.Scanline(i));
        std::copy_n(frame.Scanline(2 * i + 1), rowBytes, out.Scanline(h + i));
    }
}

int OverlayTime(const std::vector<std::string>& args) {
    const char* usage = "usage: overlay-time VIDEO --type iota|kiwi|ghs [--frames A-B] [options]";
    if (args.empty()) return ProbeFail(usage);
    overlay::OverlayState st;
    overlay::OverlayControls c;
    overlay::TimeLineControls t;
    overlay::OverlayTimeLine line;
    overlay::CopyKiwiCharacterColumns(st);
    bool haveType = false, haveGrid = false;
    long first = 0, last = -1;
    double rate = 0, level = 0;
    std::vector<double> grid;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string v = hasValue ? args[i + 1] : std::string();
        auto integer = [&](int lo, int hi, int& out) {
            auto n = numtext::ParseInt(v);
            if (!hasValue || !n || *n < lo || *n > hi) return false;
            out = static_cast<int>(*n);
            ++i;
            return true;
        };
        bool ok = true;
        if (a == "--type") {
            ok = hasValue;
            if (v == "iota") c.TimeInserterType = overlay::kIotaVti;
            else if (v == "kiwi") c.TimeInserterType = overlay::kKiwiOsd;
            else if (v == "ghs") c.TimeInserterType = overlay::kGhsOsd;
            else ok = false;
            haveType = ok, ++i;
        } else if (a == "--frames") {
            const size_t dash = v.find('-');
            auto lo = numtext::ParseInt(v.substr(0, dash));
            auto hi = dash == std::string::npos ? lo : numtext::ParseInt(v.substr(dash + 1));
            ok = hasValue && lo && hi && *lo >= 0 && *hi >= *lo;
            if (ok) first = static_cast<long>(*lo), last = static_cast<long>(*hi), ++i;
        } else if (a == "--rate") {
            auto r = numtext::ParseFloat(v);
            ok = hasValue && r && *r > 0 && *r < 1000;
            if (ok) rate = *r, ++i;
        } else if (a == "--threshold") {
            ok = integer(0, 255, c.UpDown4);
            st.OverlayThreshold = c.UpDown4;
        } else if (a == "--adjust") {
            ok = integer(-20, 20, c.UpDown10);
        } else if (a == "--field-order") {
            ok = integer(0, 1, t.FieldOrderItem);
        } else if (a == "--field-measure") {
            t.FieldMeasure = true;
        } else if (a == "--show-field") {
            c.ShowField = true;
        } else if (a == "--grid") {
            std::stringstream ss(v);
            std::string part;
            while (ok && std::getline(ss, part, ',')) {
                auto n = numtext::ParseFloat(part);
                ok = n.has_value();
                if (ok) grid.push_back(*n);
            }
            // The row is a frame line: a value far outside int is refused, not cast.
            ok = ok && hasValue && grid.size() >= 3 && grid.size() <= 4 && std::fabs(grid[2]) <= 1e6;
            haveGrid = ok, ++i;
        } else if (a == "--level") {
            auto n = numtext::ParseFloat(v);
            ok = hasValue && n;
            if (ok) level = *n, ++i;
        } else {
            ok = false;
        }
        if (!ok) return ProbeFail("bad option " + a + "; " + usage);
    }
    if (!haveType) return ProbeFail(usage);
    if (haveGrid)
        overlay::SetLocatedGrid(st, c.TimeInserterType, grid[0], grid[1], static_cast<int>(grid[2]),
                                grid.size() > 3 ? grid[3] : 0, level);

    TVfwAvi avi;
    if (!avi.Open(args[0])) return ProbeFail(avi.LastError());
    if (rate <= 0) rate = avi.GetFrameRate();
    c.VideoFrameRateInt = static_cast<int>(numtext::RoundHalfAway(rate));
    const long count = avi.FrameCount();
    if (last < 0 || last >= count) last = count - 1;
    Bitmap24 frame, fields;
    for (long n = first; n <= last; ++n) {
        if (!avi.GetFrame(static_cast<int>(n), frame)) return ProbeFail("frame " + std::to_string(n) + ": " + avi.LastError());
        if (c.ShowField) StackFields(frame, fields);
        const Bitmap24& bmp = c.ShowField ? fields : frame;
        c.FrameWidth = c.DisplayWidth = bmp.Width();
        c.FrameHeight = c.DisplayHeight = bmp.Height();
        overlay::ReadTimeOverlayLine(st, c, t, bmp, line);
        std::printf("frame=%ld %s\n", n, overlay::FormatOverlayTimeLine(line, st).c_str());
    }
    return 0;
}

int CompareSeconds(const std::vector<std::string>& args) {
    if (args.size() != 2) return ProbeFail("usage: compare-seconds A B");
    std::printf("%d\n", overlay::CompareFieldSeconds(args[0], args[1]));
    return 0;
}

ProbeCommand regTime("overlay-time",
                     "VIDEO --type iota|kiwi|ghs [--frames A-B] [--rate FPS] [--threshold T] [--adjust D] "
                     "[--field-order 0|1] [--field-measure] [--show-field] [--grid X0,PITCH,ROW[,GAP] --level L]",
                     OverlayTime);
ProbeCommand regCompare("compare-seconds", "A B", CompareSeconds);

}  // namespace
