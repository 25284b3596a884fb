// Outlines, zoom view and markers drawn over the frame: pixels read back and
// compared with an erosion oracle (scipy) and with closed-form line points.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <set>
#include <sstream>
#include <tuple>

#include "measure/markers.h"
#include "support/test_util.h"

namespace {

uint32_t PixelColour(const Bitmap24& b, int x, int y) {
    const uint8_t* p = b.Scanline(y) + 3 * x;
    return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

// Bitmaps filled with a colour no drawing uses, so every write shows.
constexpr uint32_t kFill = 0x010203;
Bitmap24 Filled(int w, int h) {
    Bitmap24 b(w, h);
    b.Fill(1, 2, 3);
    return b;
}

using Cell = std::tuple<int, int, int>;  // dx, dy, value

std::set<Cell> OracleOutline(const ApertureGrid& mask, const testutil::TempDir& dir) {
    std::ostringstream rows;
    for (int dy = -25; dy <= 25; ++dy) {
        for (int dx = -25; dx <= 25; ++dx) rows << mask.at(dx, dy) << ' ';
        rows << '\n';
    }
    const std::string in = dir.File("mask.txt");
    testutil::WriteAll(in, rows.str());
    std::string out;
    EXPECT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/measure/outline_oracle.py' < '" + in + "'", &out), 0);
    std::set<Cell> cells;
    std::istringstream s(out);
    for (int dx, dy, v; s >> dx >> dy >> v;) cells.insert({dx, dy, v});
    return cells;
}

}  // namespace

TEST(Markers, PixelColourBytesAndClipping) {
    Bitmap24 b = Filled(4, 3);
    PutPixelColor(b, 1, 2, 0x00A0B0C0);  // BBGGRR, stored blue byte first
    EXPECT_EQ(std::tuple(b.Scanline(2)[3], b.Scanline(2)[4], b.Scanline(2)[5]), std::tuple(0xA0, 0xB0, 0xC0));
    const Bitmap24 before = b;
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {100000, -100000}}) PutPixelColor(b, x, y, 0xFFFFFF);
    EXPECT_TRUE(b == before);
}

TEST(Markers, OutlineColoursByObjectDisplayAndMode) {
    // object, current, rectangle, display, direction mode; star and background colours (0: not drawn)
    const std::tuple<int, bool, bool, int, bool, uint32_t, uint32_t> cases[] = {
        {1, true, false, kRegionHilight, false, 0x0000FF, 0xFFFF00}, {1, false, false, kRegionHilight, false, 0x000080, 0x800000},
        {1, true, false, kRegionFaint, false, 0x444444, 0x330000},   {2, true, false, kRegionFaint, false, 0x444444, 0x003333},
        {2, false, false, kRegionFaint, false, 0x444444, 0x008888},  {3, true, false, kRegionHilight, false, 0x0000FF, 0xFF00FF},
        {3, true, false, kRegionFaint, false, 0x444444, 0x330033},   {3, false, false, kRegionHilight, false, 0x000080, 0x800080},
        {2, true, false, kRegionHilight, true, 0x0000FF, 0x00FF00},  {1, true, true, kRegionHilight, false, 0xCCCCCC, 0},
        {3, false, true, kRegionHilight, false, 0x888888, 0},        {3, false, true, kRegionFaint, false, 0x444444, 0},
        {1, true, false, kRegionHide, false, 0, 0},
    };
    for (auto [k, current, rectangle, display, direction, star, bkg] : cases) {
        const OutlineColours o = OutlineColoursFor(k, current, rectangle, display, direction);
        EXPECT_EQ(std::tuple(o.star, o.background, o.star ? o.starColour : 0, o.background ? o.backgroundColour : 0),
                  std::tuple(star != 0, bkg != 0, star, bkg))
            << "object " << k << " current " << current << " display " << display;
    }
}

TEST(Markers, OutlinesMatchTheErosionOracleAndStayInsideTheFrame) {
    if (testutil::Run("/usr/bin/python3 -c 'import scipy.ndimage' 2>/dev/null") != 0) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    // A ring, and a shaped background whose cut edges run across the grid.
    ApertureGrid ring, sunlit;
    DirectionLines lines;
    MaskGeometry geo;
    geo.ApertureRadius = 3, geo.BkgInnerRadius = 5, geo.BkgOuterRadius = 9;
    BuildApertureMask(ring, lines, geo);
    geo.ApertureRadius = 4, geo.BkgInnerRadius = 7, geo.BkgOuterRadius = geo.OuterControl = 25;
    geo.BkgShape = kShapeSunlitFace, geo.Gap = 3, geo.Width = 9, geo.Spin = {30, -70};
    BuildApertureMask(sunlit, lines, geo);
    const OutlineColours colours = OutlineColoursFor(2, false, false, kRegionHilight, false);
    for (const ApertureGrid& mask : {ring, sunlit}) {
        const std::set<Cell> want = OracleOutline(mask, dir);
        ASSERT_FALSE(want.empty());
        // Centred in a large bitmap: every outline cell is painted, nothing else.
        Bitmap24 big = Filled(80, 70);
        DrawMaskOutlines(big, mask, 40, 35, colours);
        std::set<Cell> got;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 80; ++x) {
                const uint32_t c = PixelColour(big, x, y);
                if (c == kFill) continue;
                ASSERT_TRUE(c == colours.starColour || c == colours.backgroundColour) << std::hex << c;
                got.insert({x - 40, y - 35, c == colours.starColour ? 1 : 2});
            }
        EXPECT_EQ(got, want);
        // At a corner of a small frame: the cells that fall inside are painted the
        // same, and nothing beyond the bitmap is touched (checked under the sanitizer).
        Bitmap24 small = Filled(12, 9);
        DrawMaskOutlines(small, mask, 11, 0, colours);
        int inside = 0;
        for (const auto& [dx, dy, v] : want)
            if (11 + dx >= 0 && 11 + dx < 12 && dy >= 0 && dy < 9) {
                ++inside;
                EXPECT_EQ(PixelColour(small, 11 + dx, dy), v == 1 ? colours.starColour : colours.backgroundColour);
            }
        EXPECT_GT(inside, 0);
    }
    // "Hide" paints nothing.
    Bitmap24 b = Filled(60, 60);
    DrawMaskOutlines(b, ring, 30, 30, OutlineColoursFor(1, true, false, kRegionHide, false));
    EXPECT_TRUE(b == Filled(60, 60));
}

TEST(Markers, ZoomRegionCopiesTheFrameAndBlackensTheRest) {
    Bitmap24 frame(160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) PutPixelColor(frame, x, y, static_cast<uint32_t>(x) << 8 | static_cast<uint32_t>(y) | 0x800000);
    Bitmap24 zoom;
    for (auto [cx, cy] : {std::pair{80, 60}, {150, 110}, {3, 4}, {159, 0}, {-70, 500}}) {
        CopyZoomRegion(frame, cx, cy, zoom);
        ASSERT_EQ(std::tuple(zoom.Width(), zoom.Height()), std::tuple(101, 101));
        for (int j = 0; j < 101; ++j)
            for (int i = 0; i < 101; ++i) {
                const int x = cx - 50 + i, y = cy - 50 + j;
                ASSERT_EQ(PixelColour(zoom, i, j), frame.Contains(x, y) ? PixelColour(frame, x, y) : 0) << cx << "," << cy;
            }
    }
}

TEST(Markers, ZoomPlacementCutsAtTheFrameEdges) {
    // srcX, srcY, dstX, dstY, width, height: 10 pixels from the right edge 60
    // columns are drawn from x - 50; near the left and top the part before the
    // canvas is skipped; beyond the frame nothing.
    for (auto [x, y, want] : {std::tuple{150, 60, std::tuple(0, 0, 100, 10, 60, 101)}, {80, 115, {0, 0, 30, 65, 101, 55}},
                              {20, 5, {30, 45, 0, 0, 71, 56}}}) {
        const ZoomPlacement p = PlaceZoomView(160, 120, x, y);
        EXPECT_EQ(std::tuple(p.srcX, p.srcY, p.dstX, p.dstY, p.width, p.height), want) << x << "," << y;
    }
    const ZoomPlacement off = PlaceZoomView(160, 120, 300, 60);
    EXPECT_EQ(off.width * off.height, 0);

    // A canvas smaller than the placement is not overrun (the wide canvas is the
    // objects window's zoom test).
    QImage tiny(120, 30, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    DrawZoomOnto(tiny, Filled(101, 101), PlaceZoomView(160, 120, 150, 60));
    EXPECT_EQ(tiny.pixel(119, 29), qRgb(3, 2, 1));
    EXPECT_EQ(tiny.pixel(99, 29), qRgb(0, 0, 0));
}

TEST(Markers, DirectionLineFromTwentySixToFiftyPixels) {
    using Points = std::set<std::pair<int, int>>;
    const auto greens = [](IntPoint spin) {
        Bitmap24 b = Filled(101, 101);
        DrawDirectionLine(b, spin);
        Points s;
        for (int y = 0; y < 101; ++y)
            for (int x = 0; x < 101; ++x)
                if (PixelColour(b, x, y) == kColourGreen) s.insert({x, y});
        return s;
    };
    EXPECT_TRUE(greens({0, -100}).empty());  // vertical: no line
    // 45 degrees up and right: a = 26 / sqrt 2 = 18.38, b = 35.36; from (68, 32) to (85, 15).
    // Leftwards: (24, 50) to (0, 50). Nearly vertical with dx <> 0: stepped along y, 76..100 at x = 50.
    Points diagonal, left, steep;
    for (int i = 0; i <= 17; ++i) diagonal.insert({68 + i, 32 - i});
    for (int i = 0; i <= 24; ++i) left.insert({i, 50}), steep.insert({50, 76 + i});
    EXPECT_EQ(greens({100, -100}), diagonal);
    EXPECT_EQ(greens({-7, 0}), left);
    EXPECT_EQ(greens({1, 1000}), steep);
    // A shallow slope against the closed form: q = 1/3, s = sqrt(10)/3; x runs 3..25.
    const double s = std::sqrt(10.0) / 3;
    const auto at = [](double v) { return 50 + static_cast<int>(std::nearbyint(v)); };
    const int sx = at(-26 / s), sy = at(-26 / s / 3), ex = at(-50 / s), ey = at(-50 / s / 3);
    Points shallow;
    for (int x = ex; x <= sx; ++x) shallow.insert({x, static_cast<int>(std::nearbyint(sy + (x - sx) * double(ey - sy) / (ex - sx)))});
    EXPECT_EQ(greens({-3, -1}), shallow);
    EXPECT_EQ(std::tuple(sx, ex), std::tuple(25, 3));
}

TEST(Markers, SignalMarkerRectangleAndClipping) {
    QImage canvas(40, 30, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    DrawSignalMarker(canvas, {10, 10}, 0xFF00FF);
    // (8, 8) to (12, 12), right and bottom edges excluded: the border of 8..11.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool border = x >= 8 && x <= 11 && y >= 8 && y <= 11 && (x == 8 || x == 11 || y == 8 || y == 11);
            ASSERT_EQ(canvas.pixel(x, y), border ? qRgb(0xFF, 0, 0xFF) : qRgb(0, 0, 0)) << x << "," << y;
        }
    // Markers at and far beyond the canvas edge.
    DrawSignalMarker(canvas, {39, 29}, 0x00FF00);
    EXPECT_EQ(canvas.pixel(37, 27), qRgb(0, 0xFF, 0));
    DrawSignalMarker(canvas, {2000000000, -2000000000}, 0x00FF00);
    DrawRectangleOutline(canvas, -1000000000, -1000000000, 1000000000, 1000000000, 0x0000FF);
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(0, 0, 0));
}
