// Outlines, zoom view and markers drawn over the frame: pixels read back and
// compared with an erosion oracle (scipy) and with closed-form line points.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <fstream>
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
Bitmap24 Filled(int w, int h) {
    Bitmap24 b(w, h);
    b.Fill(1, 2, 3);
    return b;
}
constexpr uint32_t kFill = 0x010203;

ApertureGrid RingMask(int ap, int inner, int outer) {
    ApertureGrid g;
    DirectionLines lines;
    MaskGeometry geo;
    geo.ApertureRadius = ap;
    geo.BkgInnerRadius = inner;
    geo.BkgOuterRadius = outer;
    BuildApertureMask(g, lines, geo);
    return g;
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
    EXPECT_EQ(testutil::Run("/usr/bin/python3 '" + std::string(TEVORIN_SOURCE_DIR) + "/tests/measure/outline_oracle.py' < '" +
                                in + "'",
                            &out),
              0);
    std::set<Cell> cells;
    std::istringstream s(out);
    int dx, dy, v;
    while (s >> dx >> dy >> v) cells.insert({dx, dy, v});
    return cells;
}

bool HaveScipy() { return testutil::Run("/usr/bin/python3 -c 'import scipy.ndimage' 2>/dev/null") == 0; }

}  // namespace

TEST(Markers, PixelColourBytesAndClipping) {
    Bitmap24 b = Filled(4, 3);
    PutPixelColor(b, 1, 2, 0x00A0B0C0);  // BBGGRR
    const uint8_t* p = b.Scanline(2) + 3;
    EXPECT_EQ(p[0], 0xA0);  // blue byte first
    EXPECT_EQ(p[1], 0xB0);
    EXPECT_EQ(p[2], 0xC0);
    const Bitmap24 before = [&] { Bitmap24 c = b; return c; }();
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}, {100000, -100000}}) PutPixelColor(b, x, y, 0xFFFFFF);
    EXPECT_TRUE(b == before);
}

TEST(Markers, OutlineColoursByObjectDisplayAndMode) {
    struct Case {
        int k;
        bool current, rectangle;
        int display;
        bool direction;
        bool star, bkg;
        uint32_t starColour, bkgColour;
    } cases[] = {
        {1, true, false, kRegionHilight, false, true, true, 0x0000FF, 0xFFFF00},
        {1, false, false, kRegionHilight, false, true, true, 0x000080, 0x800000},
        {1, true, false, kRegionFaint, false, true, true, 0x444444, 0x330000},
        {2, true, false, kRegionHilight, false, true, true, 0x0000FF, 0x00FFFF},
        {2, true, false, kRegionFaint, false, true, true, 0x444444, 0x003333},
        {2, false, false, kRegionFaint, false, true, true, 0x444444, 0x008888},
        {3, true, false, kRegionHilight, false, true, true, 0x0000FF, 0xFF00FF},
        {3, true, false, kRegionFaint, false, true, true, 0x444444, 0x330033},
        {3, false, false, kRegionHilight, false, true, true, 0x000080, 0x800080},
        {2, true, false, kRegionHilight, true, true, true, 0x0000FF, 0x00FF00},
        {1, true, true, kRegionHilight, false, true, false, 0xCCCCCC, 0},
        {3, false, true, kRegionHilight, false, true, false, 0x888888, 0},
        {3, false, true, kRegionFaint, false, true, false, 0x444444, 0},
        {1, true, false, kRegionHide, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        const OutlineColours o = OutlineColoursFor(c.k, c.current, c.rectangle, c.display, c.direction);
        SCOPED_TRACE(testing::Message() << "object " << c.k << " current " << c.current << " display " << c.display);
        EXPECT_EQ(o.star, c.star);
        EXPECT_EQ(o.background, c.bkg);
        if (c.star) { EXPECT_EQ(o.starColour, c.starColour); }
        if (c.bkg) { EXPECT_EQ(o.backgroundColour, c.bkgColour); }
    }
}

TEST(Markers, OutlinesMatchTheErosionOracleAndStayInsideTheFrame) {
    if (!HaveScipy()) GTEST_SKIP() << "scipy not available";
    testutil::TempDir dir;
    // A ring, and a shaped background whose cut edges run across the grid.
    ApertureGrid sunlit;
    DirectionLines lines;
    MaskGeometry geo;
    geo.ApertureRadius = 4;
    geo.BkgInnerRadius = 7;
    geo.BkgOuterRadius = 25;
    geo.BkgShape = kShapeSunlitFace;
    geo.Gap = 3;
    geo.Width = 9;
    geo.Spin = {30, -70};
    geo.OuterControl = 25;
    BuildApertureMask(sunlit, lines, geo);
    const OutlineColours colours = OutlineColoursFor(2, false, false, kRegionHilight, false);
    for (const ApertureGrid& mask : {RingMask(3, 5, 9), sunlit}) {
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
        for (const auto& [dx, dy, v] : want) {
            const int x = 11 + dx, y = dy;
            if (x < 0 || x >= 12 || y < 0 || y >= 9) continue;
            ++inside;
            EXPECT_EQ(PixelColour(small, x, y), v == 1 ? colours.starColour : colours.backgroundColour);
        }
        EXPECT_GT(inside, 0);
    }
    // "Hide" paints nothing.
    Bitmap24 b = Filled(60, 60);
    const Bitmap24 before = b;
    DrawMaskOutlines(b, RingMask(3, 5, 9), 30, 30, OutlineColoursFor(1, true, false, kRegionHide, false));
    EXPECT_TRUE(b == before);
}

TEST(Markers, ZoomRegionCopiesTheFrameAndBlackensTheRest) {
    Bitmap24 frame(160, 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) PutPixelColor(frame, x, y, static_cast<uint32_t>(x) << 8 | static_cast<uint32_t>(y) | 0x800000);
    Bitmap24 zoom;
    for (auto [cx, cy] : {std::pair{80, 60}, {150, 110}, {3, 4}, {159, 0}, {-70, 500}}) {
        CopyZoomRegion(frame, cx, cy, zoom);
        ASSERT_EQ(zoom.Width(), 101);
        ASSERT_EQ(zoom.Height(), 101);
        for (int j = 0; j < 101; ++j)
            for (int i = 0; i < 101; ++i) {
                const int x = cx - 50 + i, y = cy - 50 + j;
                const uint32_t want = frame.Contains(x, y) ? PixelColour(frame, x, y) : 0;
                ASSERT_EQ(PixelColour(zoom, i, j), want) << cx << "," << cy << " at " << i << "," << j;
            }
    }
}

TEST(Markers, ZoomPlacementCutsAtTheFrameEdges) {
    // 10 pixels from the right edge: 60 columns are drawn, from x - 50.
    ZoomPlacement p = PlaceZoomView(160, 120, 150, 60);
    EXPECT_EQ(p.dstX, 100);
    EXPECT_EQ(p.width, 60);
    EXPECT_EQ(p.height, 101);
    EXPECT_EQ(p.srcX, 0);
    p = PlaceZoomView(160, 120, 80, 115);
    EXPECT_EQ(p.height, 55);
    EXPECT_EQ(p.dstY, 65);
    // Near the left and top: the part before the canvas is skipped.
    p = PlaceZoomView(160, 120, 20, 5);
    EXPECT_EQ(p.srcX, 30);
    EXPECT_EQ(p.srcY, 45);
    EXPECT_EQ(p.dstX, 0);
    EXPECT_EQ(p.dstY, 0);
    EXPECT_EQ(p.width, 71);
    EXPECT_EQ(p.height, 56);
    // Beyond the frame: nothing.
    p = PlaceZoomView(160, 120, 300, 60);
    EXPECT_EQ(p.width * p.height, 0);

    // Drawn onto a canvas wider than the frame: only the placed part changes.
    Bitmap24 work = Filled(101, 101);
    QImage canvas(720, 579, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    DrawZoomOnto(canvas, work, PlaceZoomView(160, 120, 150, 60));
    int changed = 0, minX = 1000, maxX = -1;
    for (int y = 0; y < 579; ++y)
        for (int x = 0; x < 720; ++x)
            if (canvas.pixel(x, y) != qRgb(0, 0, 0)) {
                ++changed;
                EXPECT_EQ(canvas.pixel(x, y), qRgb(3, 2, 1));
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
    EXPECT_EQ(changed, 60 * 101);
    EXPECT_EQ(minX, 100);
    EXPECT_EQ(maxX, 159);
    // A canvas smaller than the placement is not overrun.
    QImage tiny(120, 30, QImage::Format_RGB32);
    tiny.fill(Qt::black);
    DrawZoomOnto(tiny, work, PlaceZoomView(160, 120, 150, 60));
    EXPECT_EQ(tiny.pixel(119, 29), qRgb(3, 2, 1));
    EXPECT_EQ(tiny.pixel(99, 29), qRgb(0, 0, 0));
}

TEST(Markers, DirectionLineFromTwentySixToFiftyPixels) {
    auto greens = [](const Bitmap24& b) {
        std::set<std::pair<int, int>> s;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x)
                if (PixelColour(b, x, y) == kColourGreen) s.insert({x, y});
        return s;
    };
    // Vertical: no line.
    Bitmap24 w = Filled(101, 101);
    DrawDirectionLine(w, {0, -100});
    EXPECT_TRUE(greens(w).empty());
    // 45 degrees up and right: a = 26 / sqrt 2 = 18.38, b = 35.36; from (68, 32) to (85, 15).
    w = Filled(101, 101);
    DrawDirectionLine(w, {100, -100});
    std::set<std::pair<int, int>> want;
    for (int x = 68; x <= 85; ++x) want.insert({x, 32 - (x - 68)});
    EXPECT_EQ(greens(w), want);
    // Leftwards: from (24, 50) to (0, 50).
    w = Filled(101, 101);
    DrawDirectionLine(w, {-7, 0});
    want.clear();
    for (int x = 0; x <= 24; ++x) want.insert({x, 50});
    EXPECT_EQ(greens(w), want);
    // Nearly vertical with dx <> 0: both ends share x = 50; stepped along y, 76..100.
    w = Filled(101, 101);
    DrawDirectionLine(w, {1, 1000});
    want.clear();
    for (int y = 76; y <= 100; ++y) want.insert({50, y});
    EXPECT_EQ(greens(w), want);
    // A shallow slope against the closed form: q = 1/3, s = sqrt(10)/3.
    w = Filled(101, 101);
    DrawDirectionLine(w, {-3, -1});
    const double s = std::sqrt(10.0) / 3;
    const int sx = 50 + static_cast<int>(std::nearbyint(-26 / s)), sy = 50 + static_cast<int>(std::nearbyint(-26 / s / 3));
    const int ex = 50 + static_cast<int>(std::nearbyint(-50 / s)), ey = 50 + static_cast<int>(std::nearbyint(-50 / s / 3));
    want.clear();
    for (int x = ex; x <= sx; ++x) want.insert({x, static_cast<int>(std::nearbyint(sy + (x - sx) * double(ey - sy) / (ex - sx)))});
    EXPECT_EQ(greens(w), want);
    EXPECT_EQ(sx, 25);
    EXPECT_EQ(ex, 3);
}

TEST(Markers, SignalMarkerRectangleAndClipping) {
    QImage canvas(40, 30, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    DrawSignalMarker(canvas, {10, 10}, 0xFF00FF);
    // (8, 8) to (12, 12), right and bottom edges excluded: the border of 8..11.
    int n = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool border = x >= 8 && x <= 11 && y >= 8 && y <= 11 && (x == 8 || x == 11 || y == 8 || y == 11);
            EXPECT_EQ(canvas.pixel(x, y), border ? qRgb(0xFF, 0, 0xFF) : qRgb(0, 0, 0)) << x << "," << y;
            n += border;
        }
    EXPECT_EQ(n, 12);
    // Markers at and far beyond the canvas edge.
    DrawSignalMarker(canvas, {39, 29}, 0x00FF00);
    EXPECT_EQ(canvas.pixel(37, 27), qRgb(0, 0xFF, 0));
    DrawSignalMarker(canvas, {2000000000, -2000000000}, 0x00FF00);
    DrawRectangleOutline(canvas, -1000000000, -1000000000, 1000000000, 1000000000, 0x0000FF);
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(0, 0, 0));
}
