// Signal box and TIVi display subcommands:
//   signal IMAGE [--frame N] --at X,Y --threshold T
//     Prints "sum=S lit=0|1" (S the R+G+B sum over the 5 x 5 pixels around X,Y).
//   bright-box IMAGE [--frame N] --at X,Y --threshold T
//     Prints "left=X,ROW right=X,ROW top=Y bottom=Y".
//   tivi IMAGE [--frame N] (--click X,Y | --marker X1,Y1,X2,Y2,H) --threshold T
//     Prints "marker=x1,y1,x2,y2,height located=0|1", "points=x,y ..." (the 18
//     sample points, left digit first) and "text=TT ok=0|1".
//   IMAGE is a binary PPM, or with --frame a video read through the AVI reader.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "overlay/signal_tivi.h"
#include "platform/numtext.h"
#include "probe.h"
#include "video/VfwAvi.h"

bool LoadProbeImage(const std::string& path, long frame, Bitmap24& bmp, std::string& error) {
    if (frame < 0) return ReadPpm(path, bmp, error);
    TVfwAvi avi;
    if (!avi.Open(path)) return error = avi.LastError(), false;
    if (!avi.GetFrame(static_cast<int>(frame), bmp))
        return error = "frame " + std::to_string(frame) + ": " + avi.LastError(), false;
    return true;
}

namespace {

bool IntList(const std::string& text, size_t count, std::vector<int>& out) {
    out.clear();
    std::stringstream ss(text);
    std::string part;
    while (std::getline(ss, part, ',')) {
        auto n = numtext::ParseInt(part);
        if (!n || *n < -1000000 || *n > 1000000) return false;
        out.push_back(static_cast<int>(*n));
    }
    return out.size() == count;
}

struct Args {
    std::string image;
    long frame = -1;
    std::vector<int> at, marker;
    int threshold = -1;
};

// Options shared by the three subcommands; `withMarker` allows --marker and --click.
bool Parse(const std::vector<std::string>& args, bool tivi, Args& a, std::string& bad) {
    if (args.empty()) return false;
    a.image = args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& o = args[i];
        if (i + 1 >= args.size()) return bad = o, false;
        const std::string& v = args[++i];
        bool ok = true;
        if (o == "--frame") {
            auto n = numtext::ParseInt(v);
            ok = n && *n >= 0 && *n < 100000000;
            if (ok) a.frame = static_cast<long>(*n);
        } else if (o == "--threshold") {
            auto n = numtext::ParseInt(v);
            ok = n && *n >= 0 && *n <= 255;
            if (ok) a.threshold = static_cast<int>(*n);
        } else if (o == (tivi ? "--click" : "--at")) {
            ok = IntList(v, 2, a.at);
        } else if (tivi && o == "--marker") {
            ok = IntList(v, 5, a.marker);
        } else {
            ok = false;
        }
        if (!ok) return bad = o, false;
    }
    return a.threshold >= 0 && (tivi ? (a.at.empty() != a.marker.empty()) : !a.at.empty());
}

int Signal(const std::vector<std::string>& args) {
    Args a;
    std::string bad, error;
    if (!Parse(args, false, a, bad)) return ProbeFail("usage: signal IMAGE [--frame N] --at X,Y --threshold T" + (bad.empty() ? "" : "; bad option " + bad));
    Bitmap24 bmp;
    if (!LoadProbeImage(a.image, a.frame, bmp, error)) return ProbeFail(error);
    overlay::OverlayState st;
    overlay::OverlayControls c;
    c.UpDown4 = a.threshold;
    c.FrameWidth = c.DisplayWidth = bmp.Width();
    c.FrameHeight = c.DisplayHeight = bmp.Height();
    const overlay::SignalReading r = overlay::DetectSignal(st, c, bmp, a.at[0], a.at[1]);
    std::printf("sum=%d lit=%d\n", r.sum, r.lit);
    return 0;
}

int BrightBoxCmd(const std::vector<std::string>& args) {
    Args a;
    std::string bad, error;
    if (!Parse(args, false, a, bad)) return ProbeFail("usage: bright-box IMAGE [--frame N] --at X,Y --threshold T" + (bad.empty() ? "" : "; bad option " + bad));
    Bitmap24 bmp;
    if (!LoadProbeImage(a.image, a.frame, bmp, error)) return ProbeFail(error);
    const overlay::BrightBox b = overlay::FindBrightBox(bmp, a.threshold, a.at[0], a.at[1]);
    std::printf("left=%d,%d right=%d,%d top=%d bottom=%d\n", b.left, b.leftRow, b.right, b.rightRow, b.top, b.bottom);
    return 0;
}

int Tivi(const std::vector<std::string>& args) {
    Args a;
    std::string bad, error;
    if (!Parse(args, true, a, bad))
        return ProbeFail("usage: tivi IMAGE [--frame N] (--click X,Y | --marker X1,Y1,X2,Y2,H) --threshold T" +
                         (bad.empty() ? "" : "; bad option " + bad));
    Bitmap24 bmp;
    if (!LoadProbeImage(a.image, a.frame, bmp, error)) return ProbeFail(error);
    overlay::TIViMarker m;
    bool located = true;
    if (!a.at.empty()) {
        located = overlay::LocateTIViDigits(bmp, a.threshold, a.at[0], a.at[1], m);
    } else {
        m = {a.marker[0], a.marker[1], a.marker[2], a.marker[3], a.marker[4]};
    }
    const overlay::TIViSamples pts = overlay::SetTIViSamplePoints(m, overlay::DefaultTIViTemplate());
    const std::string text = overlay::ReadTIViDigits(bmp, a.threshold, pts);
    std::printf("marker=%d,%d,%d,%d,%d located=%d\n", m.x1, m.y1, m.x2, m.y2, m.height, located ? 1 : 0);
    std::string line = "points=";
    for (size_t i = 0; i < pts.size(); ++i)
        line += (i ? " " : "") + std::to_string(pts[i].x) + "," + std::to_string(pts[i].y);
    std::printf("%s\ntext=%s ok=%d\n", line.c_str(), text.c_str(), text == "EE" ? 0 : 1);
    return 0;
}

ProbeCommand regSignal("signal", "IMAGE [--frame N] --at X,Y --threshold T", Signal);
ProbeCommand regBox("bright-box", "IMAGE [--frame N] --at X,Y --threshold T", BrightBoxCmd);
ProbeCommand regTivi("tivi", "IMAGE [--frame N] (--click X,Y | --marker X1,Y1,X2,Y2,H) --threshold T", Tivi);

}  // namespace
