#include "measure/photometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/numtext.h"

namespace {

constexpr int kReach = 25;

// Distance of each offset from the centre, for the half-flux diameter.
const OffsetGrid<double, 25>& OffsetRadius() {
    static const OffsetGrid<double, 25> table = [] {
        OffsetGrid<double, 25> t;
        for (int dx = -25; dx <= 25; ++dx)
            for (int dy = -25; dy <= 25; ++dy) t.at(dx, dy) = std::sqrt(static_cast<double>(dx * dx + dy * dy));
        return t;
    }();
    return table;
}

// Line 1 holds the odd frame rows, line 2 the even ones.
inline int FieldLine(int32_t y, int dy) { return ((static_cast<int64_t>(y) + dy) & 1) ? 1 : 2; }

inline void AddStar(ApertureSums& s, const PatchCell& c) {
    s.StarR += c.r;
    s.StarG += c.g;
    s.StarB += c.b;
    ++s.StarCount;
}
inline void AddBackground(ApertureSums& s, const PatchCell& c) {
    s.BkgR += c.r;
    s.BkgG += c.g;
    s.BkgB += c.b;
    ++s.BkgCount;
}

int32_t ToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

void FillAperturePatch(const Bitmap24& frame, int x, int y, int reach, AperturePatch& patch) {
    reach = std::clamp(reach, 0, 27);
    patch.x = x;
    patch.y = y;
    patch.reach = reach;
    const int64_t w = frame.Width(), h = frame.Height();
    // Column range inside the frame, as offsets.
    const int64_t dxLo = std::max<int64_t>(-reach, -static_cast<int64_t>(x));
    const int64_t dxHi = std::min<int64_t>(reach, w - 1 - x);
    for (int dy = -reach; dy <= reach; ++dy) {
        const int64_t yy = static_cast<int64_t>(y) + dy;
        const uint8_t* row = (yy >= 0 && yy < h) ? frame.Scanline(static_cast<int>(yy)) : nullptr;
        for (int dx = -reach; dx <= reach; ++dx) {
            PatchCell& c = patch.cells.at(dx, dy);
            if (row && dx >= dxLo && dx <= dxHi) {
                const uint8_t* p = row + 3 * (static_cast<int64_t>(x) + dx);
                c.b = p[0];
                c.g = p[1];
                c.r = p[2];
            } else {
                c = PatchCell{};
            }
        }
    }
}

ApertureSumSet SumAperturePatch(const AperturePatch& patch, const ApertureGrid& mask, int outerRadius) {
    ApertureSumSet s{};
    const int r0 = std::min(std::clamp(outerRadius, 0, kReach), patch.reach);
    int32_t peak = 0;
    for (int dx = -r0; dx <= r0; ++dx)
        for (int dy = -r0; dy <= r0; ++dy) {
            const PatchCell& c = patch.cells.at(dx, dy);
            if (c.r < 0) continue;
            const int32_t m = mask.at(dx, dy);
            if (m == kMaskStar) {
                peak = std::max<int32_t>(peak, c.r);
                AddStar(s[0], c);
                AddStar(s[FieldLine(patch.y, dy)], c);
            } else if (m == kMaskBackground) {
                AddBackground(s[0], c);
                AddBackground(s[FieldLine(patch.y, dy)], c);
            }
        }
    s[0].Peak = peak;

    const double bg = s[0].BkgCount ? (s[0].BkgR + s[0].BkgG + s[0].BkgB) / s[0].BkgCount : 0.0;
    const auto& radius = OffsetRadius();
    double s1 = 0, s2 = 0;
    for (int dx = -r0; dx <= r0; ++dx)
        for (int dy = -r0; dy <= r0; ++dy) {
            const PatchCell& c = patch.cells.at(dx, dy);
            if (c.r < 0 || mask.at(dx, dy) != kMaskStar) continue;
            const double net = static_cast<double>(c.r + c.g + c.b) - bg;
            s1 += net;
            s2 += net * radius.at(dx, dy);
        }
    s[0].Diameter = s1 != 0 ? 2 * s2 / s1 : 0.0;
    return s;
}

ApertureSumSet SumRectanglePatch(const AperturePatch& patch, const ApertureGrid& mask, RectangleReferenceSet& reference,
                                 uint8_t& pending) {
    ApertureSumSet s{};
    const int reach = std::min(kReach, static_cast<int>(patch.reach));
    int32_t peak = 0;
    for (int dx = -reach; dx <= reach; ++dx)
        for (int dy = -reach; dy <= reach; ++dy) {
            const PatchCell& c = patch.cells.at(dx, dy);
            if (c.r < 0 || mask.at(dx, dy) != kMaskStar) continue;
            peak = std::max<int32_t>(peak, c.r);
            AddStar(s[0], c);
            AddStar(s[FieldLine(patch.y, dy)], c);
        }
    s[0].Peak = peak;
    s[0].BkgCount = 2;
    s[1].BkgCount = 1;
    s[2].BkgCount = 1;
    for (int i = 0; i < 3; ++i) {
        RgbSum& ref = reference[static_cast<size_t>(i)];
        ApertureSums& line = s[static_cast<size_t>(i)];
        if (pending == 1) {
            ref = {line.StarR, line.StarG, line.StarB};
            line.StarR = line.StarG = line.StarB = 0;
        } else {
            line.StarR -= ref.r;
            line.StarG -= ref.g;
            line.StarB -= ref.b;
        }
    }
    if (pending == 1) pending = 0;
    return s;
}

ApertureSumSet MeasureAperture(int k, const Bitmap24& frame, int x, int y, const DataLineObject& object,
                               const MaskState& masks, PhotometryState& photometry) {
    AperturePatch patch;
    const ApertureGrid& mask = masks.ApertureMask[k];
    if (object.BkgShape == kShapeRectangle) {
        FillAperturePatch(frame, x, y, kReach, patch);
        return SumRectanglePatch(patch, mask, photometry.RectangleReference[k], photometry.RectangleReferencePending[k]);
    }
    const int r0 = std::clamp(object.BkgOuterRadius, 0, kReach);
    FillAperturePatch(frame, x, y, r0, patch);
    return SumAperturePatch(patch, mask, r0);
}

ApertureReadouts StoreApertureValues(const Bitmap24& frame, int k, int x, int y, DataLineSet& lines,
                                     const MaskState& masks, PhotometryState& photometry, const ApertureOptions& options) {
    const ApertureSumSet sums = MeasureAperture(k, frame, x, y, lines[0].Objects[k], masks, photometry);
    ApertureReadouts out;
    out.Current = k == options.CurrentObject;
    out.PanelFilled = out.Current && options.ValuePanelShown;
    std::string* pixelBoxes[3] = {&out.Edit20, &out.Edit36, &out.Edit37};
    std::string* bkgBoxes[3] = {&out.Edit21, &out.Edit38, &out.Edit39};
    std::string* valueBoxes[3] = {&out.Edit9, &out.Edit43, &out.Edit44};
    const ApertureSums& frameSums = sums[0];

    for (int i = 0; i < 3; ++i) {
        const ApertureSums& a = sums[static_cast<size_t>(i)];
        DataLineObject& o = lines[static_cast<size_t>(i)].Objects[k];
        if (out.PanelFilled)
            out.Panel[static_cast<size_t>(i)] = {FormatExponent23(a.StarR), FormatExponent23(a.StarG),
                                                 FormatExponent23(a.StarB), FormatExponent23(a.BkgR),
                                                 FormatExponent23(a.BkgG),  FormatExponent23(a.BkgB)};
        o.AperturePixels = a.StarCount;
        o.BackgroundPixels = a.BkgCount;

        const double starMean = (a.StarR + a.StarG + a.StarB) / 3;
        double bkgMean = (a.BkgR + a.BkgG + a.BkgB) / 3;
        double bkgCount = a.BkgCount;
        if (a.BkgCount == 0) {
            bkgMean = 0;
            bkgCount = 10;
        }
        const double perPixel = bkgMean / bkgCount;

        double net = starMean - (a.StarCount / bkgCount) * bkgMean;
        // A field line without aperture pixels keeps its value unscaled.
        if (i > 0 && options.Acurate && a.StarCount != 0) net *= 0.5 * frameSums.StarCount / a.StarCount;

        o.Value = net;
        o.PeakHeight = ToInt32(numtext::RoundHalfEven(starMean));
        o.BackgroundLevel = ToInt32(numtext::RoundHalfEven(bkgMean));
        o.Fwhm = frameSums.Diameter;
        o.PeakAboveBackground = photometry.SubtractBackground ? frameSums.Peak - perPixel : frameSums.Peak;

        if (out.Current) {
            *pixelBoxes[i] = std::to_string(a.StarCount);
            *bkgBoxes[i] = std::to_string(a.BkgCount);
            out.Edit35 = FormatOneDecimal(perPixel);
            *valueBoxes[i] = FormatOneDecimal(net);
        }
    }
    out.Edit23 = numtext::FormatFixed(frameSums.Diameter, 6, 3);
    return out;
}

std::string FormatOneDecimal(double value) {
    const int64_t n = numtext::RoundHalfEven(std::fabs(value) * 10);
    std::string s = value < 0 ? "-" : "";
    s += std::to_string(n / 10);
    s += '.';
    s += static_cast<char>('0' + n % 10);
    return s;
}

std::string FormatExponent23(double value) {
    if (!std::isfinite(value)) {
        const std::string t = std::isnan(value) ? "NAN" : value < 0 ? "-INF" : "INF";
        return std::string(23 - t.size(), ' ') + t;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14E", value);  // [-]d.ddddddddddddddE+xx
    std::string s = buf;
    const size_t e = s.find('E');
    const int exponent = std::atoi(s.c_str() + e + 1);
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
    std::string out = (s[0] == '-' ? "" : " ") + s.substr(0, e) + tail;
    return out.size() < 23 ? std::string(23 - out.size(), ' ') + out : out;
}
