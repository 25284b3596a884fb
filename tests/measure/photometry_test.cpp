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
            o.ApertureRadius = aperture;
            o.BkgInnerRadius = inner;
            o.BkgOuterRadius = outer;
            o.BkgShape = shape;
        });
        BuildApertureMasks(masks, state, k);
    }
    ApertureReadouts Measure(const Bitmap24& f, int k, int x, int y, ApertureOptions opt = {}) {
        return StoreApertureValues(f, k, x, y, state.DataLines, masks, photometry, opt);
    }
    const DataLineObject& Line(int i, int k) const { return state.DataLines[static_cast<size_t>(i)].Objects[k]; }
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

void AddStar(Bitmap24& f, int x, int y, int r) {
    for (auto [dx, dy] : DiscCells(r)) {
        uint8_t* p = f.Scanline(y + dy) + 3 * (x + dx);
        p[0] = static_cast<uint8_t>(kBgB + kExB);
        p[1] = static_cast<uint8_t>(kBgG + kExG);
        p[2] = static_cast<uint8_t>(kBgR + kExR);
    }
}

int DiscCount(int r) { return static_cast<int>(DiscCells(r).size()); }

TEST(AperturePhotometry, UniformStarOnFlatBackground) {
    Scene s(1, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    AddStar(f, 50, 40, 2);
    const ApertureReadouts out = s.Measure(f, 1, 50, 40);

    const int nStar = DiscCount(2);  // 21
    const int nAp = DiscCount(4);
    const int nBg = DiscCount(12) - DiscCount(6);
    const DataLineObject& o = s.Line(0, 1);
    EXPECT_NEAR(o.Value, nStar * 50.0, 1e-9);
    EXPECT_EQ(o.AperturePixels, nAp);
    EXPECT_EQ(o.BackgroundPixels, nBg);
    EXPECT_EQ(o.BackgroundLevel, numtext::RoundHalfEven(nBg * 34.0 / 3));
    EXPECT_EQ(o.PeakHeight, numtext::RoundHalfEven(nAp * 34.0 / 3 + nStar * 50.0));
    // Brightest red 50 less the background per pixel 34/3.
    EXPECT_NEAR(o.PeakAboveBackground, 50 - 34.0 / 3, 1e-12);
    // Only the star pixels carry flux above the background: the half-flux
    // diameter is twice their mean distance from the centre.
    double meanR = 0;
    for (auto [dx, dy] : DiscCells(2)) meanR += std::hypot(dx, dy);
    meanR /= nStar;
    EXPECT_NEAR(o.Fwhm, 2 * meanR, 1e-12);
    EXPECT_EQ(out.Edit23, numtext::FormatFixed(2 * meanR, 6, 3));

    // Fields: odd rows (line 1) and even rows (line 2) split the counts, each
    // field sees its own share of the star.
    int oddStar = 0, oddAp = 0;
    for (auto [dx, dy] : DiscCells(2)) oddStar += (40 + dy) & 1;
    for (auto [dx, dy] : DiscCells(4)) oddAp += (40 + dy) & 1;
    EXPECT_EQ(s.Line(1, 1).AperturePixels, oddAp);
    EXPECT_EQ(s.Line(2, 1).AperturePixels, nAp - oddAp);
    EXPECT_EQ(s.Line(1, 1).BackgroundPixels + s.Line(2, 1).BackgroundPixels, nBg);
    EXPECT_NEAR(s.Line(1, 1).Value, oddStar * 50.0, 1e-9);
    EXPECT_NEAR(s.Line(2, 1).Value, (nStar - oddStar) * 50.0, 1e-9);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.Line(i, 1).Fwhm, o.Fwhm);
        EXPECT_NEAR(s.Line(i, 1).PeakAboveBackground, o.PeakAboveBackground, 1e-12);  // same background per pixel
    }

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
    // Odd frame rows at 20, even at 100, no star: each field is flat, so its
    // value is 0, while the frame mixes two levels.
    Scene s(1, 3, 6, 11);
    Bitmap24 f(60, 60);
    for (int y = 0; y < 60; ++y) {
        const uint8_t v = (y & 1) ? 20 : 100;
        for (int i = 0; i < 180; ++i) f.Scanline(y)[i] = v;
    }
    for (int y0 : {30, 31}) {
        s.Measure(f, 1, 30, y0);
        EXPECT_NEAR(s.Line(1, 1).Value, 0, 1e-9) << y0;
        EXPECT_NEAR(s.Line(2, 1).Value, 0, 1e-9) << y0;
        EXPECT_EQ(s.Line(1, 1).BackgroundLevel, 20 * s.Line(1, 1).BackgroundPixels) << y0;
        EXPECT_EQ(s.Line(2, 1).BackgroundLevel, 100 * s.Line(2, 1).BackgroundPixels) << y0;
        EXPECT_EQ(s.Line(1, 1).PeakHeight, 20 * s.Line(1, 1).AperturePixels) << y0;
    }
}

// Cells of object k's mask (within its outer radius) that fall inside w x h.
std::pair<int, int> InsideCounts(const ApertureGrid& m, int outer, int x, int y, int w, int h) {
    int star = 0, bkg = 0;
    for (int dx = -outer; dx <= outer; ++dx)
        for (int dy = -outer; dy <= outer; ++dy) {
            const int64_t xx = int64_t{x} + dx, yy = int64_t{y} + dy;
            if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
            star += m.at(dx, dy) == kMaskStar;
            bkg += m.at(dx, dy) == kMaskBackground;
        }
    return {star, bkg};
}

TEST(AperturePhotometry, FrameEdgesShrinkTheCounts) {
    Scene s(1, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    // Bright first column: a read past the right edge of a row would land here.
    for (int y = 0; y < 80; ++y) f.Scanline(y)[0] = f.Scanline(y)[1] = f.Scanline(y)[2] = 250;
    for (auto [x, y] : {std::pair{2, 3}, {98, 78}, {99, 79}, {0, 0}, {50, 0}, {-5, 40}, {104, 84}}) {
        s.Measure(f, 1, x, y);
        const auto [star, bkg] = InsideCounts(s.masks.ApertureMask[1], 12, x, y, 100, 80);
        EXPECT_EQ(s.Line(0, 1).AperturePixels, star) << x << "," << y;
        EXPECT_EQ(s.Line(0, 1).BackgroundPixels, bkg) << x << "," << y;
        EXPECT_LT(star, DiscCount(4));
        EXPECT_TRUE(x < 90 || s.Line(0, 1).PeakAboveBackground <= kBgR) << "read beyond the row at " << x;
    }
    // Far outside, at the extremes of int: nothing inside, nothing read.
    for (auto [x, y] : {std::pair{INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}, {-1000, 40}}) {
        s.Measure(f, 1, x, y);
        EXPECT_EQ(s.Line(0, 1).AperturePixels, 0);
        EXPECT_EQ(s.Line(0, 1).BackgroundPixels, 0);
        EXPECT_EQ(s.Line(0, 1).Value, 0);
    }
    // An empty frame measures nothing.
    s.Measure(Bitmap24(), 1, 10, 10);
    EXPECT_EQ(s.Line(0, 1).AperturePixels, 0);

    // Frames beyond the 720 x 579 display are measured everywhere.
    Bitmap24 big = Flat(1000, 800);
    AddStar(big, 900, 700, 2);
    s.Measure(big, 1, 900, 700);
    EXPECT_NEAR(s.Line(0, 1).Value, DiscCount(2) * 50.0, 1e-9);
    EXPECT_EQ(s.Line(0, 1).AperturePixels, DiscCount(4));
}

TEST(AperturePhotometry, EachObjectUsesItsOwnOuterRadius) {
    Scene s(1, 1, 2, 3);
    s.Set(2, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    AddStar(f, 60, 40, 2);
    s.Measure(f, 2, 60, 40, {1, false, false});
    const DataLineObject asOther = s.Line(0, 2);
    s.Measure(f, 2, 60, 40, {2, false, false});
    EXPECT_EQ(s.Line(0, 2).Value, asOther.Value);
    EXPECT_EQ(s.Line(0, 2).BackgroundPixels, DiscCount(12) - DiscCount(6));
    EXPECT_NEAR(asOther.Value, DiscCount(2) * 50.0, 1e-9);
}

TEST(AperturePhotometry, NoBackgroundCells) {
    // Outer radius below the inner one: the ring is empty.
    Scene s(1, 3, 6, 4);
    Bitmap24 f = Flat(40, 40);
    AddStar(f, 20, 20, 1);
    s.Measure(f, 1, 20, 20, {1, true, false});
    const DataLineObject& o = s.Line(0, 1);
    EXPECT_EQ(o.BackgroundPixels, 0);
    EXPECT_EQ(o.BackgroundLevel, 0);
    const double sum = DiscCount(3) * 34.0 + DiscCount(1) * 150.0;  // R+G+B over the aperture
    EXPECT_NEAR(o.Value, sum / 3, 1e-9);
    EXPECT_EQ(o.PeakAboveBackground, 50);

    // A one-pixel aperture leaves one field without aperture pixels; with
    // "Acurate" its value stays unscaled rather than becoming NaN.
    Scene one(1, 0, 2, 4);
    one.Measure(f, 1, 20, 20, {1, true, false});
    EXPECT_EQ(one.Line(2, 1).AperturePixels, 1);  // row 20 is even
    EXPECT_EQ(one.Line(1, 1).AperturePixels, 0);
    EXPECT_EQ(one.Line(1, 1).Value, 0);
    EXPECT_NEAR(one.Line(2, 1).Value, 50 * 0.5, 1e-9);  // star excess 50 scaled by 0.5 x 1 / 1
}

TEST(RectangleAperture, ReferenceSequence) {
    Scene s(1, 3, 6, 10, kShapeRectangle);
    s.state.RectangleWidth[1] = 5;
    s.state.RectangleHeight[1] = 51;
    BuildApertureMasks(s.masks, s.state, 1);
    s.photometry.RequestRectangleReference(1);

    Bitmap24 dark = Flat(100, 80);
    Bitmap24 lit = dark;
    AddStar(lit, 50, 40, 1);  // 3 x 3 pixels, inside the 5-column rectangle

    s.Measure(dark, 1, 50, 40);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.Line(i, 1).Value, 0) << i;
    EXPECT_EQ(s.photometry.RectangleReferencePending[1], 0);
    EXPECT_EQ(s.Line(0, 1).AperturePixels, 5 * 51);
    EXPECT_EQ(s.Line(0, 1).BackgroundPixels, 2);
    EXPECT_EQ(s.Line(1, 1).BackgroundPixels, 1);
    EXPECT_EQ(s.Line(2, 1).BackgroundPixels, 1);
    EXPECT_EQ(s.Line(0, 1).BackgroundLevel, 0);
    EXPECT_EQ(s.Line(0, 1).Fwhm, 0);
    EXPECT_EQ(s.photometry.RectangleReference[1][0].r, 5 * 51 * kBgR);

    s.Measure(lit, 1, 50, 40);
    EXPECT_NEAR(s.Line(0, 1).Value, 9 * 50.0, 1e-9);
    EXPECT_NEAR(s.Line(1, 1).Value, 6 * 50.0, 1e-9);  // rows 39 and 41
    EXPECT_NEAR(s.Line(2, 1).Value, 3 * 50.0, 1e-9);  // row 40
    // The brightest aperture pixel, the background per pixel being 0.
    EXPECT_EQ(s.Line(0, 1).PeakAboveBackground, kBgR + kExR);

    s.Measure(dark, 1, 50, 40);
    EXPECT_NEAR(s.Line(0, 1).Value, 0, 1e-9);

    // A new request makes the lit frame the reference.
    s.photometry.RequestRectangleReference(1);
    s.Measure(lit, 1, 50, 40);
    EXPECT_EQ(s.Line(0, 1).Value, 0);
    s.Measure(dark, 1, 50, 40);
    EXPECT_NEAR(s.Line(0, 1).Value, -9 * 50.0, 1e-9);
}

TEST(AperturePhotometry, ReadoutTexts) {
    Scene s(2, 4, 7, 12);
    Bitmap24 f = Flat(100, 80);
    AddStar(f, 50, 40, 2);
    const ApertureReadouts other = s.Measure(f, 2, 50, 40, {1, false, true});
    EXPECT_FALSE(other.Current);
    EXPECT_FALSE(other.PanelFilled);
    EXPECT_EQ(other.Edit20, "");
    EXPECT_EQ(other.Edit9, "");
    EXPECT_NE(other.Edit23, "");  // the diameter box shows every object measured

    const ApertureReadouts mine = s.Measure(f, 2, 50, 40, {2, false, true});
    ASSERT_TRUE(mine.Current);
    EXPECT_EQ(mine.Edit20, std::to_string(DiscCount(4)));
    EXPECT_EQ(mine.Edit21, std::to_string(DiscCount(12) - DiscCount(6)));
    EXPECT_EQ(mine.Edit36, std::to_string(s.Line(1, 2).AperturePixels));
    EXPECT_EQ(mine.Edit39, std::to_string(s.Line(2, 2).BackgroundPixels));
    EXPECT_EQ(mine.Edit9, "1050.0");
    // Background per pixel of the last line written (even rows): 34/3.
    EXPECT_EQ(mine.Edit35, "11.3");
    ASSERT_TRUE(mine.PanelFilled);
    const double starR = DiscCount(4) * kBgR + DiscCount(2) * kExR;
    EXPECT_EQ(mine.Panel[0][0], FormatExponent23(starR));
    EXPECT_EQ(mine.Panel[0][3], FormatExponent23((DiscCount(12) - DiscCount(6)) * kBgR));
}

TEST(NumberTexts, FormatOneDecimalAndExponent) {
    struct Case {
        double v;
        const char* want;
    };
    for (const Case& c : {Case{-0.04, "-0.0"}, Case{2.25, "2.2"}, Case{12.96, "13.0"}, Case{0, "0.0"},
                          Case{0.25, "0.2"}, Case{0.75, "0.8"}, Case{-7.25, "-7.2"}, Case{1050, "1050.0"},
                          Case{-123456789.96, "-123456790.0"}, Case{9.96, "10.0"}})
        EXPECT_EQ(FormatOneDecimal(c.v), c.want) << c.v;

    for (const Case& c : {Case{1234, " 1.23400000000000E+0003"}, Case{0, " 0.00000000000000E+0000"},
                          Case{-0.5, "-5.00000000000000E-0001"}, Case{1e100, " 1.00000000000000E+0100"},
                          Case{-98765.4321, "-9.87654321000000E+0004"}}) {
        EXPECT_EQ(FormatExponent23(c.v), c.want) << c.v;
        EXPECT_EQ(FormatExponent23(c.v).size(), 23u);
    }
}

}  // namespace
