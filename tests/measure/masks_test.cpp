// Masks checked by geometry: disc areas and shapes, ring nesting, rectangle
// extents, and for the shaped backgrounds the side of and distance from the
// direction line, measured without the slope/intercept form the builder uses.
#include "measure/masks.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

int Count(const ApertureGrid& g, int32_t value) { return int(std::count(g.cells.begin(), g.cells.end(), value)); }

ApertureGrid Disc(int r) {
    ApertureGrid g;
    FillMaskDisc(g, r, 1);
    return g;
}

MaskGeometry Ring(int aperture, int inner, int outer, uint8_t shape = kShapeRing) {
    MaskGeometry g;
    g.ApertureRadius = aperture, g.BkgInnerRadius = inner, g.BkgOuterRadius = g.OuterControl = outer, g.BkgShape = shape;
    return g;
}

ApertureGrid Build(const MaskGeometry& g) {
    ApertureGrid grid;
    grid.Fill(7);  // whatever was there before must go
    DirectionLines lines;
    BuildApertureMask(grid, lines, g);
    return grid;
}

TEST(MaskDisc, AreaShapeAndNesting) {
    EXPECT_EQ(std::tuple(Count(Disc(-1), 1), Count(Disc(0), 1), Disc(0).at(0, 0)), std::tuple(0, 1, 1));
    // Radius 3: half-heights 3 for columns 0, +-1, +-2 and 2 for +-3.
    const ApertureGrid d3 = Disc(3);
    EXPECT_EQ(Count(d3, 1), 45);
    for (int x = -3; x <= 3; ++x)
        for (int y = -4; y <= 4; ++y) EXPECT_EQ(d3.at(x, y), std::abs(y) <= (std::abs(x) == 3 ? 2 : 3)) << x << "," << y;
    for (int r = 1; r <= 25; ++r) {
        const ApertureGrid d = Disc(r), inner = Disc(r - 1);
        const int n = Count(d, 1);
        EXPECT_TRUE(n >= std::numbers::pi * r * r && n <= std::numbers::pi * (r + 1) * (r + 1)) << r;
        // Mirror symmetric, no hole inside r - 1, no spill past r + 1, nested, no gap in a column.
        for (int x = -27; x <= 27; ++x)
            for (int y = -27; y <= 27; ++y) {
                const int c = d.at(x, y);
                const double dist = std::hypot(x, y);
                ASSERT_TRUE(c == d.at(-x, y) && c == d.at(x, -y) && (dist > r - 1 || c) && (dist <= r + 1 || !c) &&
                            (!inner.at(x, y) || c) && (!c || y == 0 || d.at(x, y > 0 ? y - 1 : y + 1)))
                    << x << "," << y << " r " << r;
            }
    }
    // Radii past the grid are capped at 25: the outer rim of the grid stays 0.
    const ApertureGrid big = Disc(1000);
    EXPECT_EQ(big.cells, Disc(25).cells);
    for (int i = -27; i <= 27; ++i) EXPECT_EQ(big.at(26, i) + big.at(27, i) + big.at(i, -26) + big.at(i, -27), 0);
}

TEST(ApertureMask, RingClassesAndGap) {
    // Aperture 3, inner 6, outer 10: 45 star cells, background = disc 10 less disc 5.
    const ApertureGrid m = Build(Ring(3, 6, 10));
    const ApertureGrid d3 = Disc(3), d5 = Disc(5), d10 = Disc(10);
    for (int x = -27; x <= 27; ++x)
        for (int y = -27; y <= 27; ++y)
            ASSERT_EQ(m.at(x, y), d3.at(x, y) ? 1 : (d10.at(x, y) && !d5.at(x, y)) ? 2 : 0) << x << "," << y;
    // Aperture 0 is one pixel; inner 0 leaves no gap at all.
    const ApertureGrid nogap = Build(Ring(0, 0, 4));
    EXPECT_EQ(std::tuple(Count(nogap, 1), Count(nogap, 2)), std::tuple(1, Count(Disc(4), 1) - 1));
    const MaskCountTexts t = ShowMaskCounts(m, false), psf = ShowMaskCounts(m, true);
    EXPECT_EQ(t.Edit20 + " " + t.Edit21, "45 " + std::to_string(Count(d10, 1) - Count(d5, 1)));
    EXPECT_EQ(psf.Edit20 + psf.Edit21, "");
}

TEST(ApertureMask, RectangleExtents) {
    struct Case {
        int a, b, xLo, xHi, yLo, yHi;
    };
    for (const Case& c : {Case{5, 51, -2, 2, -25, 25}, Case{4, 51, -2, 1, -25, 25}, Case{1, 1, 0, 0, 0, 0},
                          Case{3, 4, -1, 1, -1, 2}, Case{0, -3, 0, 0, 0, 0}, Case{100, 1 << 30, -25, 25, -25, 25}}) {
        MaskGeometry g = Ring(3, 6, 10, kShapeRectangle);
        g.RectangleWidth = c.a, g.RectangleHeight = c.b;
        ApertureGrid grid;
        DirectionLines lines;
        EXPECT_FALSE(BuildApertureMask(grid, lines, g));  // no counts shown for the rectangle
        const int star = (c.xHi - c.xLo + 1) * (c.yHi - c.yLo + 1);
        for (int x = -27; x <= 27; ++x)
            for (int y = -27; y <= 27; ++y) {
                const bool central = std::abs(x) <= 25 && std::abs(y) <= 25;
                const bool in = x >= c.xLo && x <= c.xHi && y >= c.yLo && y <= c.yHi;
                ASSERT_EQ(grid.at(x, y), !central ? 0 : in ? 1 : 2) << c.a << "x" << c.b << " at " << x << "," << y;
            }
        EXPECT_EQ(std::tuple(CountMaskCells(grid).star, CountMaskCells(grid).background), std::tuple(star, 51 * 51 - star));
    }
}

// Spin directions all round, with the four axis directions.
std::vector<IntPoint> Directions() {
    std::vector<IntPoint> v{{0, -100}, {0, 100}, {100, 0}, {-100, 0}};
    for (int i = 0; i < 12; ++i) {
        const double theta = std::numbers::pi * i / 6 + 0.05 * (i % 3);
        v.push_back({int(std::lround(500 * std::sin(theta))), int(std::lround(500 * std::cos(theta)))});
    }
    return v;
}

// Compares a shaped mask with its plain ring: star and gap untouched, each ring
// cell kept or dropped as `keep` says from its signed distance s from the line
// along the spin (positive to the side the sunlit cut keeps) and its coordinate
// t along it; -1 marks cells within 1e-3 of a cut line, which may fall either way.
int CheckShaped(const MaskGeometry& g, const std::function<int(double s, double t)>& keep) {
    MaskGeometry plain = g;
    plain.BkgShape = kShapeRing;
    const ApertureGrid m = Build(g), ring = Build(plain);
    const double len = std::hypot(g.Spin.x, g.Spin.y);
    int checked = 0;
    for (int x = -25; x <= 25; ++x)
        for (int y = -25; y <= 25; ++y) {
            if (ring.at(x, y) != 2) {
                EXPECT_EQ(m.at(x, y), ring.at(x, y));
                continue;
            }
            const int k = keep((x * g.Spin.y - y * g.Spin.x) / len, (x * g.Spin.x + y * g.Spin.y) / len);
            if (k < 0) continue;
            if (m.at(x, y) != (k ? 2 : 0)) {
                ADD_FAILURE() << "spin " << g.Spin.x << "," << g.Spin.y << " gap " << g.Gap << " width " << g.Width << " cuts "
                              << g.CutUpper << g.CutLower << " cell " << x << "," << y;
                return -1000000;
            }
            ++checked;
        }
    return checked;
}

bool Near(double a, double b) { return std::abs(a - b) < 1e-3; }

TEST(ShapedBackground, SunlitFaceKeepsTheNearSideOfTheGapLine) {
    int checked = 0;
    for (IntPoint dir : Directions())
        for (int gap : {0, 4, 9})
            for (int mode = 0; mode < 4; ++mode) {
                MaskGeometry g = Ring(3, 6, 20, kShapeSunlitFace);
                g.Spin = dir, g.Gap = gap, g.Width = 7, g.CutUpper = mode & 1, g.CutLower = mode & 2;
                checked += CheckShaped(g, [&](double s, double t) {
                    if (Near(s, -gap)) return -1;
                    bool keep = s >= -gap;
                    if (dir.y == 0) return Near(std::abs(t), 7) ? -1 : int(keep && std::abs(t) <= 7);
                    const double down = t * (dir.y > 0 ? 1 : -1);  // grows with y
                    if (Near(std::abs(down), 7)) return -1;
                    return int(keep && (!g.CutUpper || down >= -7) && (!g.CutLower || down <= 7));
                });
            }
    EXPECT_GT(checked, 100000);
    // The start direction (0, -100) keeps the background with x <= gap.
    MaskGeometry g = Ring(2, 4, 12, kShapeSunlitFace);
    g.Gap = 3;
    const ApertureGrid m = Build(g);
    for (int x = -25; x <= 25; ++x)
        for (int y = -25; y <= 25; ++y) ASSERT_TRUE(m.at(x, y) != 2 || x <= 3) << x;
    EXPECT_GT(Count(m, 2), 0);
}

TEST(ShapedBackground, LimbBandKeepsBothSidesAwayFromTheLine) {
    int checked = 0;
    for (IntPoint dir : Directions())
        for (int gap : {0, 3, 8})
            for (int width : {2, 10}) {
                MaskGeometry g = Ring(3, 5, 22, kShapeLimb);
                g.Spin = dir, g.Gap = gap, g.Width = width;
                int left = 0, right = 0;
                checked += CheckShaped(g, [&](double s, double t) {
                    if (Near(std::abs(s), gap) || Near(std::abs(t), width)) return -1;
                    const bool keep = std::abs(s) >= gap && std::abs(t) <= width;
                    if (keep) (s > 0 ? right : left)++;
                    return int(keep);
                });
                EXPECT_TRUE(left > 0 && right > 0) << dir.x << "," << dir.y << " gap " << gap << " width " << width;
            }
    EXPECT_GT(checked, 50000);
    // With the outer radius below the gap the plain ring stays.
    MaskGeometry g = Ring(3, 5, 12, kShapeLimb);
    g.Gap = 13;
    g.Spin = {300, 400};
    EXPECT_EQ(Build(g).cells, Build(Ring(3, 5, 12)).cells);
}

TEST(ApertureMask, HostileSettingsStayInsideTheGrid) {
    for (int v : {INT_MIN, -1000, -1, 26, 1000, INT_MAX})
        for (int shape : {0, 1, 2, 3, 200}) {
            MaskGeometry g = Ring(v, v, v, uint8_t(shape));
            g.Gap = g.Width = g.OuterControl = g.RectangleWidth = g.RectangleHeight = v;
            g.Spin = {v, v == INT_MIN ? INT_MAX : -v};
            const ApertureGrid m = Build(g);
            for (int i = -27; i <= 27; ++i)
                ASSERT_EQ(m.at(26, i) | m.at(27, i) | m.at(-26, i) | m.at(-27, i) | m.at(i, 26) | m.at(i, 27) |
                              m.at(i, -26) | m.at(i, -27),
                          0);
            for (int32_t c : m.cells) ASSERT_TRUE(c == 0 || c == 1 || c == 2);
        }
}

TEST(ApertureMask, BuiltFromTheObjectsOwnSettings) {
    MeasureState state;
    MaskState masks;
    for (int k = 1; k <= 3; ++k)
        state.ForAllLines(k, [&](DataLineObject& o) {
            o.ApertureRadius = k, o.BkgInnerRadius = k + 3, o.BkgOuterRadius = k + 8;
            o.BkgShape = kShapeLimb, o.BkgGap = 2 * k, o.BkgWidth = 4 * k;
        });
    state.SpinPoint[2] = {100, 0};
    masks.CutBkgUpper = 1;
    const MaskGeometry g = MaskGeometryOf(state, masks, 2);
    EXPECT_EQ(std::tuple(g.Gap, g.Width, g.OuterControl, g.Spin.x, g.CutUpper), std::tuple(4, 8, 10, 100, true));
    // The same mask whichever object is current.
    state.CurrentObject = 1;
    BuildAllApertureMasks(masks, state);
    EXPECT_EQ(masks.ApertureMask[2].cells, Build(g).cells);
    EXPECT_NE(masks.ApertureMask[1].cells, masks.ApertureMask[3].cells);
    state.CurrentObject = 3;
    EXPECT_TRUE(BuildApertureMasks(masks, state, 2));
    EXPECT_EQ(masks.ApertureMask[2].cells, Build(g).cells);
}

TEST(TrackMask, DiscWithCentreAlwaysSet) {
    MaskState masks;
    for (int r : {3, 25}) {
        BuildTrackMask(masks, 2, r);
        EXPECT_EQ(std::count(masks.TrackMask[2].cells.begin(), masks.TrackMask[2].cells.end(), 1), Count(Disc(r), 1));
    }
    TrackGrid t;
    FillTrackDisc(t, -1, 1);
    EXPECT_EQ(t.at(0, 0), 1);
    FillTrackDisc(t, 2, 0);
    EXPECT_EQ(std::tuple(t.at(0, 0), t.at(1, 1)), std::tuple(1, 0));
}

}  // namespace
