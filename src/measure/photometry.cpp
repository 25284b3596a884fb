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

// Offsets of the patch whose pixels lie in the frame, within the reach.
struct Window {
    int dxLo, dxHi, dyLo, dyHi;
    bool Empty() const { return dxLo > dxHi || dyLo > dyHi; }
};
Window Clip(const Bitmap24& frame, int x, int y, int reach) {
    // 64-bit, so that positions near the ends of int cannot overflow.
    const int64_t w = frame.Width(), h = frame.Height(), px = x, py = y;
    const int64_t dxLo = std::max<int64_t>(-reach, -px), dxHi = std::min<int64_t>(reach, w - 1 - px);
    const int64_t dyLo = std::max<int64_t>(-reach, -py), dyHi = std::min<int64_t>(reach, h - 1 - py);
    if (dxLo > dxHi || dyLo > dyHi) return {0, -1, 0, -1};
    return {static_cast<int>(dxLo), static_cast<int>(dxHi), static_cast<int>(dyLo), static_cast<int>(dyHi)};
}

// Integer sums of one class over the rows of one parity.
struct ClassSums {
    int64_t r = 0, g = 0, b = 0;
    int32_t n = 0;
    void AddTo(ApertureSums& s, bool star) const {
        if (star) {
            s.StarR += static_cast<double>(r);
            s.StarG += static_cast<double>(g);
            s.StarB += static_cast<double>(b);
            s.StarCount += n;
        } else {
            s.BkgR += static_cast<double>(r);
            s.BkgG += static_cast<double>(g);
            s.BkgB += static_cast<double>(b);
            s.BkgCount += n;
        }
    }
};

// Line 1 holds the odd frame rows, line 2 the even ones.
inline size_t FieldLine(int64_t frameY) { return (frameY & 1) ? 1 : 2; }

void Combine(ApertureSumSet& s, const ClassSums (&star)[3], const ClassSums (&bkg)[3]) {
    for (size_t line = 1; line <= 2; ++line) {
        star[line].AddTo(s[line], true);
        bkg[line].AddTo(s[line], false);
        star[line].AddTo(s[0], true);
        bkg[line].AddTo(s[0], false);
    }
}

int32_t ToInt32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

ApertureSumSet SumAperturePatch(const Bitmap24& frame, int x, int y, const ApertureGrid& mask, int outerRadius) {
    ApertureSumSet s{};
    const int r0 = std::clamp(outerRadius, 0, kReach);
    const Window win = Clip(frame, x, y, r0);
    if (win.Empty()) return s;
    ClassSums star[3], bkg[3];
    int32_t peak = 0;
    // For the half-flux diameter: sums over the star cells of (R+G+B) x r and of r.
    double fluxR = 0, radii = 0;
    const auto& radius = OffsetRadius();
    for (int dy = win.dyLo; dy <= win.dyHi; ++dy) {
        const int64_t fy = static_cast<int64_t>(y) + dy;
        const uint8_t* p = frame.Scanline(static_cast<int>(fy)) + 3 * (static_cast<int64_t>(x) + win.dxLo);
        ClassSums& st = star[FieldLine(fy)];
        ClassSums& bg = bkg[FieldLine(fy)];
        for (int dx = win.dxLo; dx <= win.dxHi; ++dx, p += 3) {
            const int32_t m = mask.at(dx, dy);
            if (m == kMaskStar) {
                st.r += p[2];
                st.g += p[1];
                st.b += p[0];
                ++st.n;
                peak = std::max<int32_t>(peak, p[2]);
                const double d = radius.at(dx, dy);
                fluxR += (p[0] + p[1] + p[2]) * d;
                radii += d;
            } else if (m == kMaskBackground) {
                bg.r += p[2];
                bg.g += p[1];
                bg.b += p[0];
                ++bg.n;
            }
        }
    }
    Combine(s, star, bkg);
    s[0].Peak = peak;
    // Sum of (R+G+B - bg) and of (R+G+B - bg) x r over the star cells, bg the
    // background's R+G+B per pixel.
    const double bg = s[0].BkgCount ? (s[0].BkgR + s[0].BkgG + s[0].BkgB) / s[0].BkgCount : 0.0;
    const double s1 = (s[0].StarR + s[0].StarG + s[0].StarB) - s[0].StarCount * bg;
    const double s2 = fluxR - bg * radii;
    s[0].Diameter = s1 != 0 ? 2 * s2 / s1 : 0.0;
    return s;
}

ApertureSumSet SumRectanglePatch(const Bitmap24& frame, int x, int y, const ApertureGrid& mask,
                                 RectangleReferenceSet& reference, uint8_t& pending) {
    ApertureSumSet s{};
    const Window win = Clip(frame, x, y, kReach);
    ClassSums star[3], none[3];
    int32_t peak = 0;
    for (int dy = win.dyLo; dy <= win.dyHi; ++dy) {
        const int64_t fy = static_cast<int64_t>(y) + dy;
        const uint8_t* p = frame.Scanline(static_cast<int>(fy)) + 3 * (static_cast<int64_t>(x) + win.dxLo);
        ClassSums& st = star[FieldLine(fy)];
        for (int dx = win.dxLo; dx <= win.dxHi; ++dx, p += 3) {
            if (mask.at(dx, dy) != kMaskStar) continue;
            st.r += p[2];
            st.g += p[1];
            st.b += p[0];
            ++st.n;
            peak = std::max<int32_t>(peak, p[2]);
        }
    }
    Combine(s, star, none);
    s[0].Peak = peak;
    s[0].BkgCount = 2;
    s[1].BkgCount = 1;
    s[2].BkgCount = 1;
    for (size_t i = 0; i < 3; ++i) {
        RgbSum& ref = reference[i];
        ApertureSums& line = s[i];
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
    const ApertureGrid& mask = masks.ApertureMask[k];
    if (object.BkgShape == kShapeRectangle)
        return SumRectanglePatch(frame, x, y, mask, photometry.RectangleReference[k],
                                 photometry.RectangleReferencePending[k]);
    return SumAperturePatch(frame, x, y, mask, object.BkgOuterRadius);
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

namespace {

// d.ddddE+xxxx for `decimals` digits after the point.
std::string Exponent(double value, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", decimals, value);  // [-]d.dddE+xx
    const std::string s = buf;
    const size_t e = s.find('E');
    const int exponent = std::atoi(s.c_str() + e + 1);
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return s.substr(0, e) + tail;
}

}  // namespace

std::string ShortExponentText(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    const std::string t = first == std::string::npos ? std::string() : text.substr(first);
    const auto v = numtext::ParseFloat(t);
    if (!v || !std::isfinite(*v)) return t;
    return Exponent(*v, 4);
}

std::string FormatExponent23(double value) {
    if (!std::isfinite(value)) {
        const std::string t = std::isnan(value) ? "NAN" : value < 0 ? "-INF" : "INF";
        return std::string(23 - t.size(), ' ') + t;
    }
    std::string out = (std::signbit(value) ? "" : " ") + Exponent(value, 14);
    return out.size() < 23 ? std::string(23 - out.size(), ' ') + out : out;
}
