// 3-D star view subcommands:
//   threed-heights FRAME.ppm X Y [--scale S] [--size 5|3|OFF] [--filter mean|median]
//     The 51 x 51 heights the view draws, one line per row j = -25..25 with the
//     values of i = -25..25 separated by one blank.
//   threed-points FRAME.ppm X Y [same options] [--tilt A] [--turn T]
//     One line "i j sx sy" per grid vertex, rows j = -25..25, i = -25..25 within.
//   threed-picture FRAME.ppm X Y [same options] [--aperture show|hide] [--radii R,I,O] OUT.png
//     The picture as the window draws it (ring aperture of radius R, background
//     ring I..O; default 5,8,12).
#include <QBuffer>
#include <QImage>
#include <cstdio>
#include <string>
#include <vector>

#include "measure/masks.h"
#include "measure/threed_view.h"
#include "platform/bitmap24.h"
#include "platform/file_io.h"
#include "platform/numtext.h"
#include "probe.h"

namespace {

struct Options {
    Bitmap24 frame;
    int x = 0, y = 0, scale = 20;
    threed::ViewSettings view;
    int radii[3] = {5, 8, 12};
    std::string out;
};

bool ParseInt(const std::string& s, int& v) {
    auto n = numtext::ParseInt32(s);
    if (!n) return false;
    v = static_cast<int>(*n);
    return true;
}

bool ParseReal(const std::string& s, double& v) {
    auto n = numtext::ParseFloat(s);
    if (!n) return false;
    v = static_cast<double>(*n);
    return true;
}

// Returns an error text, empty when all is well.
std::string Parse(const std::vector<std::string>& args, bool picture, Options& o) {
    if (args.size() < 3) return "FRAME.ppm X Y are needed";
    std::string error;
    if (!ReadPpm(args[0], o.frame, error)) return error;
    if (!ParseInt(args[1], o.x) || !ParseInt(args[2], o.y)) return "X and Y must be integers";
    for (size_t i = 3; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == "--scale" && more) {
            if (!ParseInt(args[++i], o.scale) || o.scale < 0 || o.scale > 30) return "--scale takes 0..30";
        } else if (a == "--size" && more) {
            const std::string& v = args[++i];
            if (v == "5") o.view.Size = threed::SmoothSize::kFive;
            else if (v == "3") o.view.Size = threed::SmoothSize::kThree;
            else if (v == "OFF") o.view.Size = threed::SmoothSize::kOff;
            else return "--size takes 5, 3 or OFF";
        } else if (a == "--filter" && more) {
            const std::string& v = args[++i];
            if (v == "mean") o.view.Filter = threed::SmoothFilter::kMean;
            else if (v == "median") o.view.Filter = threed::SmoothFilter::kMedian;
            else return "--filter takes mean or median";
        } else if (a == "--tilt" && more) {
            if (!ParseReal(args[++i], o.view.Tilt)) return "--tilt takes a number";
        } else if (a == "--turn" && more) {
            if (!ParseReal(args[++i], o.view.Turn)) return "--turn takes a number";
        } else if (picture && a == "--aperture" && more) {
            const std::string& v = args[++i];
            if (v != "show" && v != "hide") return "--aperture takes show or hide";
            o.view.ShowAperture = v == "show";
        } else if (picture && a == "--radii" && more) {
            const std::string& v = args[++i];
            const size_t c1 = v.find(','), c2 = c1 == std::string::npos ? c1 : v.find(',', c1 + 1);
            if (c2 == std::string::npos || !ParseInt(v.substr(0, c1), o.radii[0]) ||
                !ParseInt(v.substr(c1 + 1, c2 - c1 - 1), o.radii[1]) || !ParseInt(v.substr(c2 + 1), o.radii[2]))
                return "--radii takes R,I,O";
        } else if (picture && o.out.empty() && a.rfind("--", 0) != 0) {
            o.out = a;
        } else {
            return "unknown or incomplete option " + a;
        }
    }
    if (picture && o.out.empty()) return "OUT.png is needed";
    return {};
}

void Relief(const Options& o, threed::Patch& raw, threed::Patch& heights, threed::Relief& relief) {
    threed::ReadRaw(o.frame, o.x, o.y, raw);
    threed::ComputeHeights(raw, o.scale, heights);
    threed::Smooth(raw, heights, o.view.Size, o.view.Filter, relief);
}

int Heights(const std::vector<std::string>& args) {
    Options o;
    if (std::string e = Parse(args, false, o); !e.empty()) return ProbeFail("threed-heights: " + e);
    threed::Patch raw, heights;
    threed::Relief relief;
    Relief(o, raw, heights, relief);
    for (int j = -threed::kReach; j <= threed::kReach; ++j) {
        std::string line;
        for (int i = -threed::kReach; i <= threed::kReach; ++i) {
            if (i > -threed::kReach) line += ' ';
            line += std::to_string(relief.at(i, j));
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

int Points(const std::vector<std::string>& args) {
    Options o;
    if (std::string e = Parse(args, false, o); !e.empty()) return ProbeFail("threed-points: " + e);
    threed::Patch raw, heights;
    threed::Relief relief;
    Relief(o, raw, heights, relief);
    threed::ScreenGrid points;
    threed::ProjectRelief(relief, o.view.Tilt, o.view.Turn, points);
    for (int j = -threed::kReach; j <= threed::kReach; ++j)
        for (int i = -threed::kReach; i <= threed::kReach; ++i)
            std::printf("%d %d %d %d\n", i, j, points.at(i, j).x, points.at(i, j).y);
    return 0;
}

int Picture(const std::vector<std::string>& args) {
    Options o;
    if (std::string e = Parse(args, true, o); !e.empty()) return ProbeFail("threed-picture: " + e);
    threed::Patch raw, heights;
    threed::ReadRaw(o.frame, o.x, o.y, raw);
    threed::ComputeHeights(raw, o.scale, heights);
    ApertureGrid mask;
    DirectionLines lines;
    MaskGeometry g;
    g.ApertureRadius = o.radii[0], g.BkgInnerRadius = o.radii[1], g.BkgOuterRadius = o.radii[2];
    BuildApertureMask(mask, lines, g);
    QImage picture(threed::kPictureWidth, threed::kPictureHeight, QImage::Format_RGB888);
    threed::Draw(raw, heights, mask, o.view, picture);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    std::string error;
    if (!picture.save(&buffer, "PNG") || !fileio::WriteFileAtomic(o.out, std::string_view(png.constData(), static_cast<size_t>(png.size())), error))
        return ProbeFail("threed-picture: cannot write " + o.out + (error.empty() ? "" : ": " + error));
    return 0;
}

ProbeCommand regHeights("threed-heights", "FRAME.ppm X Y [--scale S] [--size 5|3|OFF] [--filter mean|median]", Heights);
ProbeCommand regPoints("threed-points", "FRAME.ppm X Y [--scale S] [--size 5|3|OFF] [--filter mean|median] [--tilt A] [--turn T]",
                       Points);
ProbeCommand regPicture("threed-picture",
                        "FRAME.ppm X Y [--scale S] [--size 5|3|OFF] [--filter mean|median] [--tilt A] [--turn T] "
                        "[--aperture show|hide] [--radii R,I,O] OUT.png",
                        Picture);

}  // namespace
