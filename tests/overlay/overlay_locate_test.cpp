// Locators on frames without an overlay (nothing located, nothing changed), the
// bright-box grid of a KIWI-OSD line, the default grid and the GHS-OSD conditions.
#include <gtest/gtest.h>

#include <random>

#include "overlay/overlay_locate.h"

using namespace overlay;

namespace {

void Fill(Bitmap24& bmp, int x0, int y0, int x1, int y1, int v) {
    for (int y = std::max(0, y0); y <= std::min(y1, bmp.Height() - 1); ++y)
        for (int x = std::max(0, x0); x <= std::min(x1, bmp.Width() - 1); ++x) {
            uint8_t* p = bmp.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
        }
}

Bitmap24 Uniform(int w, int h, int v) {
    Bitmap24 b(w, h);
    Fill(b, 0, 0, w - 1, h - 1, v);
    return b;
}

Bitmap24 Noise(int w, int h, int mean, int spread, unsigned seed) {
    Bitmap24 b(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(mean - spread, mean + spread);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < 3 * w; ++i) b.Scanline(y)[i] = static_cast<uint8_t>(std::clamp(d(rng), 0, 255));
    return b;
}

Bitmap24 Stars(int w, int h) {
    Bitmap24 b = Noise(w, h, 18, 4, 3);
    std::mt19937 rng(5);
    for (int k = 0; k < 60; ++k) {
        const int x = static_cast<int>(rng() % static_cast<unsigned>(w)), y = static_cast<int>(rng() % static_cast<unsigned>(h));
        Fill(b, x - 1, y - 1, x + 1, y + 1, 120 + static_cast<int>(rng() % 130));
    }
    // One bright star right in the IOTA-VTI level block and on the first cell.
    Fill(b, 102, 432, 106, 438, 250);
    Fill(b, 80, 434, 84, 440, 240);
    return b;
}

OverlayState Marked() {
    OverlayState st;
    for (size_t i = 0; i < st.CharacterColumns[5].size(); ++i) st.CharacterColumns[5][i] = 1000 + static_cast<int>(i);
    st.OverlayCharPitch = 17.5L;
    st.OverlayLevel = 123;
    st.OverlayRow = 321;
    return st;
}

void ExpectUnchanged(const OverlayState& st) {
    const OverlayState ref = Marked();
    EXPECT_EQ(st.CharacterColumns[5], ref.CharacterColumns[5]);
    EXPECT_EQ(st.OverlayCharPitch, ref.OverlayCharPitch);
    EXPECT_EQ(st.OverlayLevel, ref.OverlayLevel);
    EXPECT_EQ(st.OverlayRow, ref.OverlayRow);
}

OverlayControls Controls(const Bitmap24& b, uint8_t type, int rate) {
    OverlayControls c;
    c.TimeInserterType = type;
    c.UpDown4 = type == kIotaVti ? 80 : 100;
    c.VideoFrameRateInt = rate;
    c.FrameWidth = c.DisplayWidth = b.Width();
    c.FrameHeight = c.DisplayHeight = b.Height();
    return c;
}

}  // namespace

TEST(OverlayLocate, NothingWhereThereIsNoOverlay) {
    const Bitmap24 frames[] = {Uniform(720, 480, 0),      Uniform(720, 480, 128), Noise(720, 480, 60, 40, 1),
                               Noise(720, 576, 128, 127, 2), Stars(720, 480),       Uniform(320, 240, 200),
                               Noise(320, 240, 90, 80, 4)};
    for (const Bitmap24& f : frames) {
        for (int rate : {25, 30}) {
            for (bool wide : {false, true}) {
                OverlayState st = Marked();
                LocatorState loc;
                loc.WideScan = wide;
                const LocateResult r = LocateOverlay(st, Controls(f, kIotaVti, rate), loc, f);
                EXPECT_NE(r.status, LocateStatus::kLocated) << f.Width() << "x" << f.Height() << " " << rate;
                EXPECT_FALSE(r.reason.empty());
                ExpectUnchanged(st);
            }
            OverlayState st = Marked();
            LocatorState loc;
            loc.GhsLocateEnabled = 1;
            int x = 374, y = 387;
            const LocateResult r = LocateOverlayAt(st, Controls(f, kGhsOsd, rate), loc, f, x, y);
            EXPECT_NE(r.status, LocateStatus::kLocated)
                << f.Width() << "x" << f.Height() << " " << rate << " points " << r.points << " ea " << double(r.fit.ea)
                << " eb " << double(r.fit.eb);
            ExpectUnchanged(st);
        }
    }
}

TEST(OverlayLocate, GhsNeedsTheRateAndTheSwitch) {
    const Bitmap24 f = Uniform(720, 480, 0);
    OverlayState st = Marked();
    LocatorState loc;
    int x = 374, y = 387;
    loc.GhsLocateEnabled = 1;
    EXPECT_EQ(LocateOverlayAt(st, Controls(f, kGhsOsd, 25), loc, f, x, y).status, LocateStatus::kNotRun);
    loc.GhsLocateEnabled = 0;
    EXPECT_EQ(LocateOverlayAt(st, Controls(f, kGhsOsd, 30), loc, f, x, y).status, LocateStatus::kNotRun);
    EXPECT_EQ(x, 374);
    EXPECT_EQ(y, 387);
    ExpectUnchanged(st);
}

TEST(OverlayLocate, DefaultGridOfAFailedFetch) {
    OverlayState st;
    LocatorState loc;
    ApplyDefaultIotaGrid(st, loc, 640);
    const int want[22] = {88,  112, 160, 184, 232, 256, 304, 328, 352, 376, 424,
                          448, 472, 496, 544, 568, 592, 616, 640, 664, 688, 712};
    for (int i = 0; i < 22; ++i) EXPECT_EQ(st.CharacterColumns[5][static_cast<size_t>(7 + i)], want[i]) << i;
    EXPECT_NEAR(static_cast<double>(st.OverlayCharPitch), 640 * 25.0 / 720, 1e-12);
    EXPECT_EQ(loc.OverlayCharHeight, 14);
}

TEST(OverlayLocate, BrightBoxGridOfAKiwiLine) {
    // Pairs of 15 x 20 boxes: pitch 24, pairs 70 px apart; centres 107, 131, 177, ...
    Bitmap24 f = Uniform(720, 576, 0);
    const int left[8] = {100, 124, 170, 194, 240, 264, 310, 334};
    for (int l : left) Fill(f, l, 500, l + 14, 519, 255);
    OverlayState st = Marked();
    LocatorState loc;
    ASSERT_TRUE(LocateOverlayGrid(st, loc, f, 100, 96, 496));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(st.CharacterColumns[5][static_cast<size_t>(7 + i)], left[i] + 7) << i;
        EXPECT_DOUBLE_EQ(loc.OverlayCharX[static_cast<size_t>(i)], left[i] + 7) << i;
    }
    EXPECT_EQ(st.OverlayRow, 500);
    EXPECT_EQ(st.OverlayCharPitch, 24);
    EXPECT_EQ(loc.OverlayCharHeight, 20);
    EXPECT_EQ(st.OverlayGridLocated, 1);

    // Without the third and fourth boxes nothing but the located flag changes.
    Bitmap24 g = Uniform(720, 576, 0);
    Fill(g, 100, 500, 114, 519, 255);
    Fill(g, 124, 500, 138, 519, 255);
    OverlayState s2 = Marked();
    s2.OverlayGridLocated = 1;
    EXPECT_FALSE(LocateOverlayGrid(s2, loc, g, 100, 96, 496));
    EXPECT_EQ(s2.OverlayGridLocated, 0);
    s2.OverlayGridLocated = 0;
    ExpectUnchanged(s2);
    // A click on empty sky.
    EXPECT_FALSE(LocateOverlayGrid(s2, loc, g, 100, 400, 100));
    ExpectUnchanged(s2);
}
