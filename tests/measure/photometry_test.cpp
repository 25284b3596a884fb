// Aperture photometry on analytic frames: flat backgrounds with uniform disc
// stars, whose values, levels and half-flux diameters follow in closed form.
#include "measure/photometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "platform/numtext.h"

namespace {

constexpr uint8_t kBgR = 10, kBgG = 11, kBgB = 13;  // channel mean 34/3
constexpr int kExR = 40, kExG = 50, kExB = 60;      // star excess, channel mean 50

struct Scene {
    MeasureState state;
    MaskState masks;
    PhotometryState photometry;
    Scene(int k, int aperture, int inner, int outer, uint8_t shape = kShapeRing) { Set(k, aperture, inner, outer, shape); }
    void Set(int k, int aperture, int inner, int outer, uint8_t shape = kShapeRing) {
        state.ForAllLines(k, [&](DataLineObject& o) {
            o.ApertureRadius = aperture, o.BkgInnerRadius = inner, o.BkgOuterRadius = outer, o.BkgShape = shape;
        });
        BuildApertureMasks(masks, state, k);
    }
    ApertureReadouts Measure(const Bitmap24& f, int k, int x, int y, ApertureOptions opt = {}) {
        return StoreApertureValues(f, k, x, y, state.DataLines, masks, photometry, opt);
    }
    const DataLineObject& Line(int i, int k) const { return state.DataLines[size_t(i)].Objects[k]; }
};

Bitmap24 Flat(int w, int h) {
    Bitmap24 f(w, h);
    f.Fill(kBgB, kBgG, kBgR);
    return f;
}

// Offsets of a disc of radius r, by the same disc rule the masks use.
std::vector<std::pair<int, int>> DiscCells(int r) {
    ApertureGrid g;
    FillMaskDisc(g, r, 1);
    std::vector<std::pair<int, int>> v;
    for (int dx = -27; dx <= 27; ++dx)
        for (int dy = -27; dy <= 27; ++dy)
            if (g.at(dx, dy)) v.push_back({dx, dy});
    return v;
}
int DiscCount(int r) { return int(DiscCells(r).size()); }

void AddStar(Bitmap24& f, int x, int y, int r) {
    for (auto [dx, dy] : DiscCells(r)) {
        uint8_t* p = f.Scanline(y + dy) + 3 * (x + dx);
        p[0] = kBgB + kExB, p[1] = kBgG + kExG, p[2] = kBgR + kExR;
    }
}

TEST(AperturePhotometry, UniformStarOnFlatBackground) {
    Scene s(1, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    AddStar(f, 50, 40, 2);
    const ApertureReadouts out = s.Measure(f, 1, 50, 40);
    const int nStar = DiscCount(2), nAp = DiscCount(4), nBg = DiscCount(12) - DiscCount(6);
    const DataLineObject& o = s.Line(0, 1);
    EXPECT_NEAR(o.Value, nStar * 50.0, 1e-9);
    EXPECT_EQ(std::tuple(o.AperturePixels, o.BackgroundPixels, o.BackgroundLevel, o.PeakHeight),
              std::tuple(nAp, nBg, numtext::RoundHalfEven(nBg * 34.0 / 3), numtext::RoundHalfEven(nAp * 34.0 / 3 + nStar * 50.0)));
    EXPECT_NEAR(o.PeakAboveBackground, 50 - 34.0 / 3, 1e-12);  // brightest red less the background per pixel
    // Only the star pixels carry flux: the half-flux diameter is twice their mean distance.
    double meanR = 0;
    for (auto [dx, dy] : DiscCells(2)) meanR += std::hypot(dx, dy) / nStar;
    EXPECT_NEAR(o.Fwhm, 2 * meanR, 1e-12);
    EXPECT_EQ(out.Edit23, numtext::FormatFixed(2 * meanR, 6, 3));

    // Odd rows (line 1) and even rows (line 2) split the counts and the star.
    int oddStar = 0, oddAp = 0;
    for (auto [dx, dy] : DiscCells(2)) oddStar += (40 + dy) & 1;
    for (auto [dx, dy] : DiscCells(4)) oddAp += (40 + dy) & 1;
    EXPECT_EQ(std::tuple(s.Line(1, 1).AperturePixels, s.Line(2, 1).AperturePixels), std::tuple(oddAp, nAp - oddAp));
    EXPECT_EQ(s.Line(1, 1).BackgroundPixels + s.Line(2, 1).BackgroundPixels, nBg);
    EXPECT_NEAR(s.Line(1, 1).Value, oddStar * 50.0, 1e-9);
    EXPECT_NEAR(s.Line(2, 1).Value, (nStar - oddStar) * 50.0, 1e-9);
    for (int i = 1; i < 3; ++i) EXPECT_EQ(s.Line(i, 1).Fwhm, o.Fwhm);
    // "Acurate" scales each field to half the frame's aperture.
    s.Measure(f, 1, 50, 40, {1, true, false});
    EXPECT_NEAR(s.Line(1, 1).Value, oddStar * 50.0 * 0.5 * nAp / oddAp, 1e-9);
    EXPECT_NEAR(s.Line(0, 1).Value, nStar * 50.0, 1e-9);
    // Without "Subtract background" the peak stays the raw brightest red.
    s.photometry.SubtractBackground = 0;
    s.Measure(f, 1, 50, 40);
    EXPECT_EQ(s.Line(0, 1).PeakAboveBackground, 50);
}

TEST(AperturePhotometry, FieldsFollowFrameRowParity) {
    // Odd rows at 20, even at 100, no star: each field is flat, so its value is 0.
    Scene s(1, 3, 6, 11);
    Bitmap24 f(60, 60);
    for (int y = 0; y < 60; ++y) std::fill_n(f.Scanline(y), 180, (y & 1) ? 20 : 100);
    for (int y0 : {30, 31}) {
        s.Measure(f, 1, 30, y0);
        const DataLineObject &odd = s.Line(1, 1), &even = s.Line(2, 1);
        EXPECT_EQ(std::tuple(odd.Value, even.Value, odd.BackgroundLevel, even.BackgroundLevel, odd.PeakHeight),
                  std::tuple(0.0, 0.0, 20 * odd.BackgroundPixels, 100 * even.BackgroundPixels, 20 * odd.AperturePixels)) << y0;
    }
}

TEST(AperturePhotometry, FrameEdgesShrinkTheCounts) {
    Scene s(1, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    // Bright first column: a read past the right edge of a row would land here.
    for (int y = 0; y < 80; ++y) std::fill_n(f.Scanline(y), 3, 250);
    for (auto [x, y] : {std::pair{2, 3}, {98, 78}, {99, 79}, {0, 0}, {50, 0}, {-5, 40}, {104, 84}}) {
        s.Measure(f, 1, x, y);
        int star = 0, bkg = 0;  // mask cells inside the frame
        for (int dx = -12; dx <= 12; ++dx)
            for (int dy = -12; dy <= 12; ++dy)
                if (x + dx >= 0 && y + dy >= 0 && x + dx < 100 && y + dy < 80) {
                    star += s.masks.ApertureMask[1].at(dx, dy) == kMaskStar;
                    bkg += s.masks.ApertureMask[1].at(dx, dy) == kMaskBackground;
                }
        EXPECT_EQ(std::tuple(s.Line(0, 1).AperturePixels, s.Line(0, 1).BackgroundPixels), std::tuple(star, bkg)) << x << "," << y;
        EXPECT_LT(star, DiscCount(4));
        EXPECT_TRUE(x < 90 || s.Line(0, 1).PeakAboveBackground <= kBgR) << "read beyond the row at " << x;
    }
    // Far outside, at the extremes of int, or an empty frame: nothing inside, nothing read.
    for (auto [x, y] : {std::pair{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, {-1000, 40}, {10, 10}}) {
        s.Measure(x == 10 ? Bitmap24() : f, 1, x, y);
        EXPECT_EQ(std::tuple(s.Line(0, 1).AperturePixels, s.Line(0, 1).BackgroundPixels, s.Line(0, 1).Value),
                  std::tuple(0, 0, 0.0)) << x;
    }
    // Frames beyond the 720 x 579 display are measured everywhere.
    Bitmap24 big = Flat(1000, 800);
    AddStar(big, 900, 700, 2);
    s.Measure(big, 1, 900, 700);
    EXPECT_NEAR(s.Line(0, 1).Value, DiscCount(2) * 50.0, 1e-9);
    EXPECT_EQ(s.Line(0, 1).AperturePixels, DiscCount(4));
}

TEST(AperturePhotometry, NoBackgroundCells) {
    // Outer radius below the inner one: the ring is empty.
    Scene s(1, 3, 6, 4);
    Bitmap24 f = Flat(40, 40);
    AddStar(f, 20, 20, 1);
    s.Measure(f, 1, 20, 20, {1, true, false});
    const DataLineObject& o = s.Line(0, 1);
    EXPECT_EQ(std::tuple(o.BackgroundPixels, o.BackgroundLevel), std::tuple(0, 0));
    EXPECT_NEAR(o.Value, (DiscCount(3) * 34.0 + DiscCount(1) * 150.0) / 3, 1e-9);  // R+G+B over the aperture
    EXPECT_EQ(o.PeakAboveBackground, 50);
    // A one-pixel aperture leaves a field without aperture pixels; with "Acurate"
    // its value stays unscaled rather than becoming NaN.
    Scene one(1, 0, 2, 4);
    one.Measure(f, 1, 20, 20, {1, true, false});
    EXPECT_EQ(std::tuple(one.Line(2, 1).AperturePixels, one.Line(1, 1).AperturePixels, one.Line(1, 1).Value),
              std::tuple(1, 0, 0.0));  // row 20 is even
    EXPECT_NEAR(one.Line(2, 1).Value, 50 * 0.5, 1e-9);
}

TEST(RectangleAperture, ReferenceSequence) {
    Scene s(1, 3, 6, 10, kShapeRectangle);
    s.state.RectangleWidth[1] = 5;
    s.state.RectangleHeight[1] = 51;
    BuildApertureMasks(s.masks, s.state, 1);
    s.photometry.RequestRectangleReference(1);
    Bitmap24 dark = Flat(100, 80), lit = dark;
    AddStar(lit, 50, 40, 1);  // 3 x 3 pixels, inside the 5-column rectangle

    s.Measure(dark, 1, 50, 40);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.Line(i, 1).Value, 0) << i;
    EXPECT_EQ(s.photometry.RectangleReferencePending[1], 0);
    EXPECT_EQ(std::tuple(s.Line(0, 1).AperturePixels, s.Line(0, 1).BackgroundPixels, s.Line(1, 1).BackgroundPixels,
                         s.Line(2, 1).BackgroundPixels, s.Line(0, 1).BackgroundLevel, s.Line(0, 1).Fwhm),
              std::tuple(5 * 51, 2, 1, 1, 0, 0.0));
    EXPECT_EQ(s.photometry.RectangleReference[1][0].r, 5 * 51 * kBgR);

    s.Measure(lit, 1, 50, 40);
    EXPECT_NEAR(s.Line(0, 1).Value, 9 * 50.0, 1e-9);
    EXPECT_NEAR(s.Line(1, 1).Value, 6 * 50.0, 1e-9);  // rows 39 and 41
    EXPECT_NEAR(s.Line(2, 1).Value, 3 * 50.0, 1e-9);  // row 40
    EXPECT_EQ(s.Line(0, 1).PeakAboveBackground, kBgR + kExR);  // the background per pixel is 0
    s.Measure(dark, 1, 50, 40);
    EXPECT_NEAR(s.Line(0, 1).Value, 0, 1e-9);
    // A new request makes the lit frame the reference.
    s.photometry.RequestRectangleReference(1);
    s.Measure(lit, 1, 50, 40);
    EXPECT_EQ(s.Line(0, 1).Value, 0);
    s.Measure(dark, 1, 50, 40);
    EXPECT_NEAR(s.Line(0, 1).Value, -9 * 50.0, 1e-9);
}

TEST(AperturePhotometry, ReadoutTextsAndEachObjectsOwnOuterRadius) {
    Scene s(1, 1, 2, 3);
    s.Set(2, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    AddStar(f, 50, 40, 2);
    const ApertureReadouts other = s.Measure(f, 2, 50, 40, {1, false, true});
    EXPECT_NEAR(s.Line(0, 2).Value, DiscCount(2) * 50.0, 1e-9);  // A's radii play no part
    EXPECT_EQ(s.Line(0, 2).BackgroundPixels, DiscCount(12) - DiscCount(6));
    EXPECT_FALSE(other.Current || other.PanelFilled);
    EXPECT_EQ(other.Edit20 + other.Edit9, "");
    EXPECT_NE(other.Edit23, "");  // the diameter box shows every object measured
    const ApertureReadouts mine = s.Measure(f, 2, 50, 40, {2, false, true});
    ASSERT_TRUE(mine.Current && mine.PanelFilled);
    EXPECT_EQ(mine.Edit20 + " " + mine.Edit21 + " " + mine.Edit36 + " " + mine.Edit39,
              std::to_string(DiscCount(4)) + " " + std::to_string(DiscCount(12) - DiscCount(6)) + " " +
                  std::to_string(s.Line(1, 2).AperturePixels) + " " + std::to_string(s.Line(2, 2).BackgroundPixels));
    EXPECT_EQ(mine.Edit9 + " " + mine.Edit35, "1050.0 11.3");  // background per pixel of the last line written: 34/3
    EXPECT_EQ(mine.Panel[0][0], FormatExponent23(DiscCount(4) * kBgR + DiscCount(2) * kExR));
    EXPECT_EQ(mine.Panel[0][3], FormatExponent23((DiscCount(12) - DiscCount(6)) * kBgR));
}

TEST(NumberTexts, FormatOneDecimalAndExponent) {
    for (auto [v, want] : {std::pair{-0.04, "-0.0"}, {2.25, "2.2"}, {12.96, "13.0"}, {0.0, "0.0"}, {0.25, "0.2"},
                           {0.75, "0.8"}, {-7.25, "-7.2"}, {1050.0, "1050.0"}, {-123456789.96, "-123456790.0"}, {9.96, "10.0"}})
        EXPECT_EQ(FormatOneDecimal(v), want) << v;
    for (auto [v, want] : {std::pair{1234.0, " 1.23400000000000E+0003"}, {0.0, " 0.00000000000000E+0000"},
                           {-0.5, "-5.00000000000000E-0001"}, {1e100, " 1.00000000000000E+0100"},
                           {-98765.4321, "-9.87654321000000E+0004"}})
        EXPECT_EQ(FormatExponent23(v), want) << v;  // 23 characters each, by the literals
}

// The value panel's short form of those texts: five significant digits rounded
// from the value (a carry moves the exponent), the exponent in four digits.
TEST(NumberTexts, ShortExponentOfThePanelsTexts) {
    for (auto [v, want] : {std::pair{5640.0, "5.6400E+0003"}, {0.0, "0.0000E+0000"}, {-0.5, "-5.0000E-0001"},
                           {1234567.0, "1.2346E+0006"}, {99999.4, "9.9999E+0004"}, {999996.0, "1.0000E+0006"},
                           {-98765.4321, "-9.8765E+0004"}, {1e100, "1.0000E+0100"}, {3.0e-7, "3.0000E-0007"}})
        EXPECT_EQ(ShortExponentText(FormatExponent23(v)), want) << v;
    EXPECT_EQ(ShortExponentText("                    NAN"), "NAN");
    EXPECT_EQ(ShortExponentText("                   -INF"), "-INF");
    EXPECT_EQ(ShortExponentText(""), "");
}

}  // namespace
