// Overlay locating subcommands:
//   overlay-locate VIDEO [--frame N] --type iota|ghs|grid [--at X,Y] [--search] [--wide]
//       [--threshold T] [--rate FPS] [--later K]
//     Locates the time line in frame N (default 0; a .ppm file is read as the frame):
//     iota LocateOverlay, ghs LocateOverlayAt from --at (default 374,387; --search
//     first looks for the "U" mark), grid the bright-box grid from --at. Prints
//     "status=located|not-found|not-run|fetch-failed row= pitch= height= level= a= b=
//     ea= eb= points= trusted= passing=", "columns=" (row set 5, indices 0-28) and
//     "charx=" (4 decimals); a frame that cannot be read gives the default grid (iota).
//     iota checks the grid also on the K frames after N that the video has (default 8);
//     --check A,B,ROW then also prints "check=1" when the grid x = A + B c on row ROW
//     passes that check with the located level, else "check=0".
//   gps-page VIDEO [--frame N] --type iota|ghs [--at X,Y] [--rate FPS]
//     Reads the IOTA-VTI GPS page (ReadIotaGpsPage) or the GHS-OSD position line from
//     --at (default 180,386; ReadGhsGpsLine) and prints the seven texts of the record
//     (Satellites= HDOP= UTC= Latitude= Longitude= Altitude= WGSSeparation=, one a
//     line) and "cells=" (the columns of row set 10 or 20); "status=not-read" and the
//     reason on stderr when the first digit is not found.
//   fit-line C,X ...
//     Prints "a= b= ea= eb=" of the least-squares line x = a + b c (12 significant digits).
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "overlay/overlay_locate.h"
#include "platform/numtext.h"
#include "probe.h"
#include "video/VfwAvi.h"

namespace {

std::string G12(long double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.12Lg", v);
    return buf;
}

std::string F4(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

bool Pair(const std::string& text, long double& a, long double& b) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    auto x = numtext::ParseFloat(text.substr(0, comma)), y = numtext::ParseFloat(text.substr(comma + 1));
    if (!x || !y) return false;
    a = *x, b = *y;
    return true;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

int OverlayLocate(const std::vector<std::string>& args) {
    const char* usage = "usage: overlay-locate VIDEO [--frame N] --type iota|ghs|grid [--at X,Y] [--search] [--wide] "
                        "[--threshold T] [--rate FPS] [--later K] [--check A,B,ROW]";
    if (args.empty()) return ProbeFail(usage);
    std::string type;
    long frame = 0;
    int laterCount = 8;
    bool check = false;
    long double checkA = 0, checkB = 0;
    int checkRow = 0;
    int threshold = -1, atX = 374, atY = 387;
    bool search = false, wide = false, haveAt = false;
    double rate = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string v = hasValue ? args[i + 1] : std::string();
        bool ok = true;
        if (a == "--type") ok = hasValue && (v == "iota" || v == "ghs" || v == "grid"), type = v, ++i;
        else if (a == "--frame") {
            auto n = numtext::ParseInt(v);
            ok = hasValue && n && *n >= 0 && *n < 100000000;
            if (ok) frame = static_cast<long>(*n), ++i;
        } else if (a == "--at") {
            long double x = 0, y = 0;
            ok = hasValue && Pair(v, x, y) && x > -100000 && x < 100000 && y > -100000 && y < 100000;
            if (ok) atX = static_cast<int>(x), atY = static_cast<int>(y), haveAt = true, ++i;
        } else if (a == "--threshold") {
            auto n = numtext::ParseInt(v);
            ok = hasValue && n && *n >= 0 && *n <= 255;
            if (ok) threshold = static_cast<int>(*n), ++i;
        } else if (a == "--rate") {
            auto r = numtext::ParseFloat(v);
            ok = hasValue && r && *r > 0 && *r < 1000;
            if (ok) rate = *r, ++i;
        } else if (a == "--later") {
            auto n = numtext::ParseInt(v);
            ok = hasValue && n && *n >= 0 && *n <= 16;
            if (ok) laterCount = static_cast<int>(*n), ++i;
        } else if (a == "--check") {
            const size_t comma = v.rfind(',');
            auto row = comma == std::string::npos ? std::nullopt : numtext::ParseInt(v.substr(comma + 1));
            ok = hasValue && row && *row >= 0 && *row < 100000 && Pair(v.substr(0, comma), checkA, checkB) &&
                 std::fabs(static_cast<double>(checkA)) < 100000 && std::fabs(static_cast<double>(checkB)) < 1000;
            if (ok) checkRow = static_cast<int>(*row), check = true, ++i;
        } else if (a == "--search") search = true;
        else if (a == "--wide") wide = true;
        else ok = false;
        if (!ok) return ProbeFail("bad option " + a + "; " + usage);
    }
    if (type.empty() || (type == "grid" && !haveAt)) return ProbeFail(usage);

    overlay::OverlayState st;
    overlay::OverlayControls c;
    overlay::LocatorState loc;
    loc.WideScan = wide;
    c.TimeInserterType = type == "iota" ? overlay::kIotaVti : type == "ghs" ? overlay::kGhsOsd : overlay::kKiwiOsd;
    c.UpDown4 = threshold >= 0 ? threshold : (type == "iota" ? 80 : 100);
    st.OverlayThreshold = c.UpDown4;
    Bitmap24 bmp;
    std::array<Bitmap24, 16> after;
    std::vector<const Bitmap24*> later;
    std::string error;
    bool fetched = true;
    if (EndsWith(args[0], ".ppm")) {
        if (!ReadPpm(args[0], bmp, error)) return ProbeFail(error);
        if (rate <= 0) rate = 29.97;
    } else {
        TVfwAvi avi;
        if (!avi.Open(args[0])) return ProbeFail(avi.LastError());
        if (rate <= 0) rate = avi.GetFrameRate();
        fetched = avi.GetFrame(static_cast<int>(frame), bmp);
        for (int k = 0; fetched && k < laterCount && frame + 1 + k < avi.FrameCount(); ++k)
            if (avi.GetFrame(static_cast<int>(frame + 1 + k), after[static_cast<size_t>(k)]))
                later.push_back(&after[static_cast<size_t>(k)]);
        if (!fetched) {
            error = avi.LastError();
            // The frame size is known from the stream even when no frame decodes.
            Bitmap24 first;
            if (avi.GetFrame(0, first)) bmp.Resize(first.Width(), first.Height());
        }
    }
    c.VideoFrameRateInt = static_cast<int>(numtext::RoundHalfAway(rate));
    c.FrameWidth = c.DisplayWidth = bmp.Width();
    c.FrameHeight = c.DisplayHeight = bmp.Height();

    std::string status;
    overlay::LocateResult r;
    if (!fetched) {
        status = "fetch-failed";
        if (type == "iota") overlay::ApplyDefaultIotaGrid(st, loc, bmp.Width() > 0 ? bmp.Width() : 720);
        std::fprintf(stderr, "Fail to get a bitmap.\n%s\n", error.c_str());
    } else if (type == "iota") {
        r = overlay::LocateOverlay(st, c, loc, bmp, later);
    } else if (type == "ghs") {
        loc.GhsLocateEnabled = 1;
        loc.GhsSearchPending = search ? 1 : 0;
        st.OverlayGridLocated = 1;
        r = overlay::LocateOverlayAt(st, c, loc, bmp, atX, atY);
    } else {
        const bool ok = overlay::LocateOverlayGrid(st, loc, bmp, c.UpDown4, atX, atY);
        r.status = ok ? overlay::LocateStatus::kLocated : overlay::LocateStatus::kNotFound;
    }
    if (status.empty())
        status = r.status == overlay::LocateStatus::kLocated ? "located"
                 : r.status == overlay::LocateStatus::kNotRun ? "not-run"
                                                               : "not-found";
    std::printf("status=%s row=%d pitch=%s height=%d level=%s a=%s b=%s ea=%s eb=%s points=%d trusted=%d passing=%d\n",
                status.c_str(), st.OverlayRow, G12(st.OverlayCharPitch).c_str(), loc.OverlayCharHeight,
                G12(st.OverlayLevel).c_str(), G12(r.fit.a).c_str(), G12(r.fit.b).c_str(), G12(r.fit.ea).c_str(),
                G12(r.fit.eb).c_str(), r.points, r.trusted ? 1 : 0, r.passing);
    std::string cols = "columns=", xs = "charx=";
    for (int i = 0; i <= 28; ++i) cols += (i ? "," : "") + std::to_string(st.CharacterColumns[5][static_cast<size_t>(i)]);
    const int nx = type == "iota" ? 22 : type == "ghs" ? 9 : 8;
    for (int i = 0; i < nx; ++i) xs += (i ? "," : "") + F4(loc.OverlayCharX[static_cast<size_t>(i)]);
    std::printf("%s\n%s\n", cols.c_str(), xs.c_str());
    if (check && type == "iota")
        std::printf("check=%d\n", overlay::CheckIotaGrid(st, c, bmp, later, checkA, checkB, checkRow) ? 1 : 0);
    if (!r.reason.empty()) std::fprintf(stderr, "%s\n", r.reason.c_str());
    return 0;
}

int GpsPage(const std::vector<std::string>& args) {
    const char* usage = "usage: gps-page VIDEO [--frame N] --type iota|ghs [--at X,Y] [--rate FPS]";
    if (args.empty()) return ProbeFail(usage);
    std::string type;
    long frame = 0;
    int atX = 180, atY = 386;
    double rate = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string v = hasValue ? args[i + 1] : std::string();
        bool ok = hasValue;
        if (a == "--type") ok = ok && (v == "iota" || v == "ghs"), type = v;
        else if (a == "--frame") {
            auto n = numtext::ParseInt(v);
            ok = ok && n && *n >= 0 && *n < 100000000;
            if (ok) frame = static_cast<long>(*n);
        } else if (a == "--at") {
            long double x = 0, y = 0;
            ok = ok && Pair(v, x, y) && x > -100000 && x < 100000 && y > -100000 && y < 100000;
            if (ok) atX = static_cast<int>(x), atY = static_cast<int>(y);
        } else if (a == "--rate") {
            auto r = numtext::ParseFloat(v);
            ok = ok && r && *r > 0 && *r < 1000;
            if (ok) rate = *r;
        } else {
            ok = false;
        }
        if (!ok) return ProbeFail("bad option " + a + "; " + usage);
        ++i;
    }
    if (type.empty()) return ProbeFail(usage);
    Bitmap24 bmp;
    std::string error;
    if (EndsWith(args[0], ".ppm")) {
        if (!ReadPpm(args[0], bmp, error)) return ProbeFail(error);
        if (rate <= 0) rate = 29.97;
    } else {
        TVfwAvi avi;
        if (!avi.Open(args[0])) return ProbeFail(avi.LastError());
        if (rate <= 0) rate = avi.GetFrameRate();
        if (!avi.GetFrame(static_cast<int>(frame), bmp)) return ProbeFail("Fail to get a bitmap.\n" + avi.LastError());
    }
    overlay::OverlayState st;
    overlay::OverlayControls c;
    overlay::LocatorState loc;
    c.TimeInserterType = type == "iota" ? overlay::kIotaVti : overlay::kGhsOsd;
    c.UpDown4 = type == "iota" ? 80 : 100;
    st.OverlayThreshold = c.UpDown4;
    c.VideoFrameRateInt = static_cast<int>(numtext::RoundHalfAway(rate));
    c.FrameWidth = c.DisplayWidth = bmp.Width();
    c.FrameHeight = c.DisplayHeight = bmp.Height();
    overlay::GpsRecord g;
    overlay::GpsResult r;
    if (type == "iota") {
        r = overlay::ReadIotaGpsPage(st, c, loc, bmp, g);
    } else {
        loc.GhsLocateEnabled = 1;
        r = overlay::ReadGhsGpsLine(st, c, loc, bmp, atX, atY, g);
    }
    if (!r.read) std::fprintf(stderr, "status=not-read %s\n", r.reason.c_str());
    std::printf("Satellites=%s\nHDOP=%s\nUTC=%s\nLatitude=%s\nLongitude=%s\nAltitude=%s\nWGSSeparation=%s\n",
                g.Satellites.c_str(), g.HDOP.c_str(), g.UTC.c_str(), g.Latitude.c_str(), g.Longitude.c_str(),
                g.Altitude.c_str(), g.WGSSeparation.c_str());
    const size_t set = type == "iota" ? 10 : 20;
    const int first = type == "iota" ? 7 : 6, last = type == "iota" ? 25 : 29;
    std::string cells = "cells=";
    for (int i = first; i <= last; ++i)
        cells += (i > first ? "," : "") + std::to_string(st.CharacterColumns[set][static_cast<size_t>(i)]);
    std::printf("%s\n", cells.c_str());
    return 0;
}

int FitLine(const std::vector<std::string>& args) {
    std::vector<overlay::FitPoint> pts;
    for (const std::string& a : args) {
        long double c = 0, x = 0;
        if (!Pair(a, c, x)) return ProbeFail("usage: fit-line C,X ...; bad point " + a);
        pts.push_back({c, x});
    }
    const overlay::LineFit f = overlay::FitLineLeastSquares(pts.data(), static_cast<int>(pts.size()));
    if (!f.ok) return ProbeFail("at least two points in two different cells are needed");
    std::printf("a=%s b=%s ea=%s eb=%s\n", G12(f.a).c_str(), G12(f.b).c_str(), G12(f.ea).c_str(), G12(f.eb).c_str());
    return 0;
}

ProbeCommand regLocate("overlay-locate",
                       "VIDEO [--frame N] --type iota|ghs|grid [--at X,Y] [--search] [--wide] [--threshold T] [--rate FPS]",
                       OverlayLocate);
ProbeCommand regFit("fit-line", "C,X ...", FitLine);
ProbeCommand regGps("gps-page", "VIDEO [--frame N] --type iota|ghs [--at X,Y] [--rate FPS]", GpsPage);

}  // namespace
