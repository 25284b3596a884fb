// Overlay subcommands:
//   overlay-read IMAGE [--frame N] --type iota|kiwi|ghs --y Y --x X[,X...] [--rate FPS]
//       [--pitch P] [--gps-pitch P] [--threshold T] [--level L] [--adjust D] [--located]
//       [--show-field] [--page-mode 0|1|2] [--letters] [--samples]
//     IMAGE is a binary PPM, or with --frame a video read through TVfwAvi. Reads one
//     character per X (column X + D, top row Y) and prints "X C SCORE" (C the
//     character or "-", 4 decimals); --samples adds "samples X v0..v45",
//     "widths X w0..w45" and "scores X s0..s15" (6 decimals). Defaults: rate 25,
//     pitch 21.5 (the unscaled grid), GPS pitch = pitch, threshold 0, level 0.
//   overlay-classify --type iota|kiwi|ghs
//     For each stdin line of 46 sample values then 46 widths, the 16 class scores
//     (6 decimals).
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "overlay/overlay_reader.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"
#include "video/VfwAvi.h"

namespace {

bool ParseType(const std::string& s, uint8_t& type) {
    if (s == "iota") type = overlay::kIotaVti;
    else if (s == "kiwi") type = overlay::kKiwiOsd;
    else if (s == "ghs") type = overlay::kGhsOsd;
    else return false;
    return true;
}

}  // namespace

bool ReadPpm(const std::string& path, Bitmap24& bmp, std::string& error) {
    std::string data;
    if (!fileio::ReadFile(path, data, error, size_t{3} * Bitmap24::kMaxSide * Bitmap24::kMaxSide + 4096)) return false;
    size_t pos = 0;
    auto token = [&](long& value) {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        size_t start = pos;
        value = 0;
        while (pos < data.size() && pos - start < 6 && std::isdigit(static_cast<unsigned char>(data[pos])))
            value = value * 10 + (data[pos++] - '0');
        return pos > start;
    };
    long w = 0, h = 0, maxval = 0;
    if (data.compare(0, 2, "P6") != 0) return error = path + ": not a binary PPM (P6) file", false;
    pos = 2;
    if (!token(w) || !token(h) || !token(maxval) || pos >= data.size() ||
        !std::isspace(static_cast<unsigned char>(data[pos])))
        return error = path + ": bad PPM header", false;
    ++pos;
    if (maxval != 255) return error = path + ": only PPM files with maximum value 255 are read", false;
    if (w < 1 || h < 1 || w > Bitmap24::kMaxSide || h > Bitmap24::kMaxSide)
        return error = path + ": PPM size out of range", false;
    if (data.size() - pos < static_cast<size_t>(w) * h * 3) return error = path + ": PPM file is truncated", false;
    bmp.Resize(static_cast<int>(w), static_cast<int>(h));
    const unsigned char* src = reinterpret_cast<const unsigned char*>(data.data()) + pos;
    for (int y = 0; y < h; ++y) {
        uint8_t* p = bmp.Scanline(y);
        for (int x = 0; x < w; ++x, p += 3, src += 3) {
            p[0] = src[2];
            p[1] = src[1];
            p[2] = src[0];
        }
    }
    return true;
}

namespace {

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

int OverlayRead(const std::vector<std::string>& args) {
    const char* usage = "usage: overlay-read IMAGE [--frame N] --type iota|kiwi|ghs --y Y --x X[,X...] [options]";
    if (args.empty()) return ProbeFail(usage);
    overlay::OverlayState st;
    overlay::OverlayControls c;
    c.VideoFrameRateInt = 25;
    st.OverlayCharPitch = 21.5L;
    bool haveType = false, haveY = false, samples = false, haveGpsPitch = false;
    long frame = -1;
    int y = 0, adjust = 0;
    std::vector<int> xs;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        auto intValue = [&](auto& out) {
            std::string v;
            if (!value(v)) return false;
            auto n = numtext::ParseInt(v);
            if (!n) return false;
            out = static_cast<std::remove_reference_t<decltype(out)>>(*n);
            return true;
        };
        auto realValue = [&](auto& out) {
            std::string v;
            if (!value(v)) return false;
            auto n = numtext::ParseFloat(v);
            if (!n) return false;
            out = *n;
            return true;
        };
        std::string v;
        bool ok = true;
        if (a == "--type") ok = value(v) && ParseType(v, c.TimeInserterType), haveType = ok;
        else if (a == "--frame") ok = intValue(frame) && frame >= 0;
        else if (a == "--y") ok = intValue(y), haveY = ok;
        else if (a == "--x") {
            ok = value(v);
            std::stringstream ss(v);
            std::string part;
            while (ok && std::getline(ss, part, ',')) {
                auto n = numtext::ParseInt(part);
                ok = n.has_value();
                if (ok) xs.push_back(static_cast<int>(*n));
            }
        } else if (a == "--rate") {
            double r = 0;
            ok = realValue(r) && r > 0 && r < 1000;
            c.VideoFrameRateInt = static_cast<int>(numtext::RoundHalfAway(r));
        } else if (a == "--pitch") {
            double p = 0;
            ok = realValue(p);
            st.OverlayCharPitch = p;
        } else if (a == "--gps-pitch") {
            double p = 0;
            ok = realValue(p), haveGpsPitch = true;
            st.GpsCharPitch = p;
        } else if (a == "--threshold") ok = intValue(c.UpDown4), st.OverlayThreshold = c.UpDown4;
        else if (a == "--level") ok = realValue(st.OverlayLevel);
        else if (a == "--adjust") ok = intValue(adjust) && adjust >= -20 && adjust <= 20, c.UpDown10 = adjust;
        else if (a == "--located") st.OverlayGridLocated = 1;
        else if (a == "--show-field") c.ShowField = true;
        else if (a == "--page-mode") {
            int mode = -1;
            ok = intValue(mode) && mode >= 0 && mode <= 2;
            st.GpsPageMode = static_cast<uint8_t>(mode);
        }
        else if (a == "--letters") st.ReadLetters = true;
        else if (a == "--samples") samples = true;
        else ok = false;
        if (!ok) return ProbeFail("bad option " + a + "; " + usage);
    }
    if (!haveType || !haveY || xs.empty()) return ProbeFail(usage);
    if (!haveGpsPitch) st.GpsCharPitch = st.OverlayCharPitch;

    Bitmap24 bmp;
    std::string error;
    if (frame >= 0) {
        TVfwAvi avi;
        if (!avi.Open(args[0])) return ProbeFail(avi.LastError());
        if (!avi.GetFrame(static_cast<int>(frame), bmp)) return ProbeFail("frame " + std::to_string(frame) + ": " + avi.LastError());
    } else if (!ReadPpm(args[0], bmp, error)) {
        return ProbeFail(error);
    }
    c.FrameWidth = c.DisplayWidth = bmp.Width();
    c.FrameHeight = c.DisplayHeight = bmp.Height();

    for (int x : xs) {
        const overlay::OverlayCharacter ch = overlay::ReadOverlayCharacter(st, c, bmp, x + adjust, y);
        std::printf("%d %c %s\n", x, ch.character ? ch.character : '-', Fixed(ch.score, 4).c_str());
        if (!samples) continue;
        std::string v = "samples " + std::to_string(x), w = "widths " + std::to_string(x), s = "scores " + std::to_string(x);
        for (int i = 0; i < overlay::kSampleRunCount; ++i) {
            v += " " + std::to_string(st.CharacterSamples.v[static_cast<size_t>(i)]);
            w += " " + std::to_string(st.CharacterSamples.w[static_cast<size_t>(i)]);
        }
        for (double sc : st.ClassScores) s += " " + Fixed(sc, 6);
        std::printf("%s\n%s\n%s\n", v.c_str(), w.c_str(), s.c_str());
    }
    return 0;
}

int OverlayClassify(const std::vector<std::string>& args) {
    uint8_t type = 0;
    if (args.size() != 2 || args[0] != "--type" || !ParseType(args[1], type))
        return ProbeFail("usage: overlay-classify --type iota|kiwi|ghs");
    std::string line;
    int lineNo = 0;
    while (std::getline(std::cin, line)) {
        ++lineNo;
        std::istringstream in(line);
        overlay::SampleVector s;
        bool ok = true;
        for (auto* arr : {&s.v, &s.w})
            for (int& x : *arr) ok = ok && static_cast<bool>(in >> x);
        std::string extra;
        if (!ok || (in >> extra)) return ProbeFail("line " + std::to_string(lineNo) + ": 92 integers expected");
        overlay::ScoreVector scores{};
        if (type == overlay::kKiwiOsd) overlay::ClassifyKiwiCharacter(s, scores);
        else if (type == overlay::kGhsOsd) overlay::ClassifyGhsCharacter(s, scores);
        else overlay::ClassifyIotaCharacter(s, scores);
        std::string out;
        for (double sc : scores) out += (out.empty() ? "" : " ") + Fixed(sc, 6);
        std::printf("%s\n", out.c_str());
    }
    return 0;
}

ProbeCommand regRead("overlay-read",
                     "IMAGE [--frame N] --type iota|kiwi|ghs --y Y --x X[,X...] [--rate FPS] [--pitch P] "
                     "[--gps-pitch P] [--threshold T] [--level L] [--adjust D] [--located] [--show-field] "
                     "[--page-mode 0|1|2] [--letters] [--samples]",
                     OverlayRead);
ProbeCommand regClassify("overlay-classify", "--type iota|kiwi|ghs", OverlayClassify);

}  // namespace
