// Signal boxes, the bright-box finder and the TIVi digit reader on painted frames.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "overlay/signal_tivi.h"

using namespace overlay;

namespace {

void Fill(Bitmap24& bmp, int x0, int y0, int x1, int y1, int v) {
    for (int y = std::max(0, y0); y <= std::min(y1, bmp.Height() - 1); ++y)
        for (int x = std::max(0, x0); x <= std::min(x1, bmp.Width() - 1); ++x) {
            uint8_t* p = bmp.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
        }
}

Bitmap24 Black(int w, int h) {
    Bitmap24 b;
    b.Resize(w, h);
    Fill(b, 0, 0, w - 1, h - 1, 0);
    return b;
}

// A marker whose sample points lie far apart: digit centres at x 100 and 210 px,
// y 100 px, 60 px high (sx = -4, sy = 2 in tenths).
const TIViMarker kWide{1000, 1000, 2100, 1000, 600};

// Paints digit d (0 left, 1 right) as a bright block with a dark 3 x 3 hole at every
// point not in `lit`; `hole3` is the brightness of point 3's hole.
void PaintDigit(Bitmap24& bmp, const TIViSamples& pts, int d, const std::set<int>& lit, int hole3 = 0) {
    for (int k = 1; k <= 9; ++k) {
        const TIViPoint p = pts[static_cast<size_t>(d * 9 + k - 1)];
        Fill(bmp, p.x - 1, p.y - 1, p.x + 1, p.y + 1, lit.count(k) ? 200 : (k == 3 ? hole3 : 0));
    }
}

std::string ReadWith(const std::set<int>& left, const std::set<int>* right, int threshold = 100, int hole3 = 0) {
    Bitmap24 bmp = Black(320, 200);
    const TIViSamples pts = SetTIViSamplePoints(kWide, DefaultTIViTemplate());
    Fill(bmp, 40, 60, 280, 140, 200);
    PaintDigit(bmp, pts, 0, left, hole3);
    if (right) PaintDigit(bmp, pts, 1, *right);
    else for (int k = 0; k < 9; ++k) Fill(bmp, pts[9 + k].x - 1, pts[9 + k].y - 1, pts[9 + k].x + 1, pts[9 + k].y + 1, 0);
    return ReadTIViDigits(bmp, threshold, pts);
}

}  // namespace

TEST(BrightBox, RectangleEdgesAndStartValues) {
    // Grey 255 on black at threshold position 100 (t = 128): a 3 x 3 mean covering two
    // thirds of the rectangle is bright, one third is not.
    Bitmap24 bmp = Black(200, 120);
    Fill(bmp, 50, 30, 69, 59, 255);
    Fill(bmp, 80, 20, 90, 70, 255);  // a second run in the same rows, within reach of the scan
    BrightBox b = FindBrightBox(bmp, 100, 45, 25);
    EXPECT_EQ(b.left, 50);
    EXPECT_EQ(b.right, 69);
    EXPECT_EQ(b.top, 30);
    EXPECT_EQ(b.bottom, 60);
    // The corner pixel of the first row is not bright; the left edge is found one row down.
    EXPECT_EQ(b.leftRow, 31);

    // Nothing below or right of the point: the start values.
    b = FindBrightBox(bmp, 100, 100, 90);
    EXPECT_EQ(b.left, 1100);
    EXPECT_EQ(b.leftRow, 1090);
    EXPECT_EQ(b.right, 0);
    EXPECT_EQ(b.top, 190);
    EXPECT_EQ(b.bottom, 0);

    // Rectangles touching the right and the bottom frame edge: the columns and rows
    // beyond the frame read black, so the runs end there.
    Bitmap24 edge = Black(100, 80);
    Fill(edge, 80, 10, 99, 20, 255);
    b = FindBrightBox(edge, 100, 70, 5);
    EXPECT_EQ(b.right, 99);
    EXPECT_EQ(b.bottom, 21);
    Fill(edge, 10, 60, 30, 79, 255);
    b = FindBrightBox(edge, 100, 5, 55);
    EXPECT_EQ(b.left, 10);
    EXPECT_EQ(b.right, 30);
    EXPECT_EQ(b.top, 60);
    EXPECT_EQ(b.bottom, 80);  // the row below the frame reads black
}

TEST(TIViDigits, LocateOnTwoRectangles) {
    Bitmap24 bmp = Black(200, 120);
    Fill(bmp, 50, 30, 69, 59, 255);
    Fill(bmp, 80, 31, 97, 59, 255);
    TIViMarker m;
    ASSERT_TRUE(LocateTIViDigits(bmp, 100, 45, 25, m));
    EXPECT_EQ(m.x1, 595);                 // 5 x (50 + 69)
    EXPECT_EQ(m.x2, 885);                 // 5 x (80 + 97)
    EXPECT_EQ(m.height, 295);             // 5 x (30 + 29)
    EXPECT_EQ(m.y1, 452);                 // 2.5 x (30 + 60 + 31 + 60) = 452.5, halves to even
    EXPECT_EQ(m.y2, m.y1);

    // Empty sky: the not-found marker.
    Bitmap24 sky = Black(200, 120);
    ASSERT_FALSE(LocateTIViDigits(sky, 100, 20, 20, m));
    EXPECT_EQ(m.x2, 500);
    EXPECT_EQ(m.y1, 4750);
    EXPECT_EQ(m.y2, 4750);
    EXPECT_EQ(m.height, 50);
}

TEST(TIViDigits, CanonicalPatternsAndListOrder) {
    const std::set<int> canonical[10] = {
        {2, 3, 4, 5, 6, 9}, {6}, {2, 6, 9}, {2, 5, 6}, {4, 6}, {5, 6}, {4, 5, 6, 9}, {8}, {2, 3, 4, 5, 6, 8, 9}, {2, 5, 6, 7}};
    for (int d = 0; d < 10; ++d) {
        const std::set<int> other = canonical[(d + 3) % 10];
        EXPECT_EQ(ReadWith(canonical[d], &other), std::string(1, char('0' + d)) + char('0' + (d + 3) % 10)) << d;
    }
    // Points 4, 5 and 6 lit fit both the "4" and the "6" rows: the list order gives "4".
    const std::set<int> both{4, 5, 6};
    EXPECT_EQ(ReadWith(both, &both), "44");
}

TEST(TIViDigits, PointThreeRoundsHalvesToEven) {
    // Point 3 at brightness 5: 5 x 0.9 = 4.5 rounds to 4, 4 x 1.17 = 4.68 to 5, below
    // threshold 6, so the digit keeps its "1" (halves away would give 5 and then 6, lit,
    // and no pattern). The right digit is dark.
    const std::set<int> one{6};
    EXPECT_EQ(ReadWith(one, nullptr, 6, 5), "1E");
    EXPECT_EQ(ReadWith(one, nullptr, 6, 7), "EE");  // 7 -> 6 -> 7: lit
}

TEST(TIViDigits, DarkAndHalfReadableDisplays) {
    const std::set<int> three{2, 5, 6};
    EXPECT_EQ(ReadWith(three, nullptr), "3E");
    const Bitmap24 dark = Black(320, 200);
    EXPECT_EQ(ReadTIViDigits(dark, 100, SetTIViSamplePoints(kWide, DefaultTIViTemplate())), "EE");
    // Sample points far off the frame (as after the reset to 1000) read black.
    TIViSamples off;
    off.fill({1000, 1000});
    Bitmap24 white = Black(100, 100);
    Fill(white, 0, 0, 99, 99, 255);
    EXPECT_EQ(ReadTIViDigits(white, 100, off), "EE");
}

TEST(SignalBox, LitAtTheThresholdItself) {
    OverlayState st;
    OverlayControls c;
    c.UpDown4 = 10;
    Bitmap24 bmp = Black(60, 40);
    c.FrameWidth = c.DisplayWidth = 60;
    c.FrameHeight = c.DisplayHeight = 40;
    Fill(bmp, 18, 18, 22, 22, 10);  // 25 pixels x 30 = 750: 750 div 75 = 10
    SignalReading r = DetectSignal(st, c, bmp, 20, 20);
    EXPECT_EQ(r.sum, 750);
    EXPECT_EQ(r.lit, 1);
    uint8_t* p = bmp.Scanline(18) + 3 * 18;
    p[0] = 9;  // 749 div 75 = 9
    r = DetectSignal(st, c, bmp, 20, 20);
    EXPECT_EQ(r.sum, 749);
    EXPECT_EQ(r.lit, 0);
    // A point off the display sums nothing: dark at any positive threshold.
    EXPECT_EQ(DetectSignal(st, c, bmp, 70, 20).lit, 0);
}
