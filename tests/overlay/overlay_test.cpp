// Overlay character reading: the class scores worked by hand, the run samplers at
// the frame edges, the row geometry, and the reader's candidate and acceptance rules.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <sstream>
#include <string>

#include "overlay/overlay_reader.h"
#include "support/test_util.h"

using namespace overlay;

namespace {

SampleVector Uniform(int width) {
    SampleVector s;
    s.w.fill(width);
    return s;
}

ScoreVector Classify(uint8_t type, const SampleVector& s) {
    ScoreVector out;
    out.fill(-1);
    if (type == kKiwiOsd) ClassifyKiwiCharacter(s, out);
    else if (type == kGhsOsd) ClassifyGhsCharacter(s, out);
    else ClassifyIotaCharacter(s, out);
    return out;
}

}  // namespace

// Each expected value is (S_A + sum |S_j - W_j m|) / (W_A + sum W_j) worked out on paper.
TEST(OverlayClassify, HandWorkedScores) {
    // Class 4 counts run 18 twice: S_A = 200, W_A = 44, m = 50/11, dark widths 36:
    // (200 + 1800/11) / 80 = 50/11. Counted once it would be 2.5.
    SampleVector four = Uniform(4);
    four.v[18] = 100;
    for (uint8_t type : {kIotaVti, kKiwiOsd, kGhsOsd}) EXPECT_NEAR(Classify(type, four)[4], 50.0 / 11, 1e-12) << int(type);

    // GHS-OSD class 8: run 4 is on twice (S_A = 80, W_A = 64, m = 1.25); the first group
    // adds |0 - 40 m| = 50, the second |40 + 4 m| = 45 without its width: 175 / 104.
    SampleVector eight = Uniform(4);
    eight.v[4] = 40;
    EXPECT_NEAR(Classify(kGhsOsd, eight)[8], 175.0 / 104, 1e-12);

    // Class "N": S_A = 560, W_A = 64, m = 8.75. GHS-OSD: S_1 = 10 + 6 + 4 over runs 14,
    // 20, 24, 25 against W_1 = 8: |20 - 70| = 50, denominator 64 + 8 + 8. IOTA-VTI: (14, 20)
    // only: |10 - 70| = 60 over 72.
    SampleVector n = Uniform(4);
    for (int i = 0; i <= 13; ++i) n.v[i] = 40;
    n.v[14] = 10;
    n.v[24] = 6;
    n.v[25] = 4;
    EXPECT_NEAR(Classify(kGhsOsd, n)[11], 610.0 / 80, 1e-12);
    EXPECT_NEAR(Classify(kIotaVti, n)[11], 620.0 / 72, 1e-12);

    // IOTA-VTI class 6 subtracts its "minus" group: m = 10, first group |20 - 400| = 380,
    // minus |20 - 40| = 20; (440 + 380 - 20) / 88.
    SampleVector six = Uniform(4);
    for (int i : {1, 2, 3, 4, 5, 8, 11, 12, 14, 17, 20}) six.v[i] = 40;
    six.v[9] = 20;
    EXPECT_NEAR(Classify(kIotaVti, six)[6], 800.0 / 88, 1e-12);

    // "E": m = 10, dark term 200, (480 + 200) / 68 = 10, times 0.8; the KIWI-OSD
    // classifier scores digits only.
    SampleVector e = Uniform(4);
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 13, 14, 17, 20}) e.v[i] = 40;
    EXPECT_NEAR(Classify(kIotaVti, e)[10], 8.0, 1e-12);
    EXPECT_NEAR(Classify(kGhsOsd, e)[10], 8.0, 1e-12);
    ScoreVector kiwi = Classify(kKiwiOsd, e);
    for (int k = 10; k < kClassCount; ++k) EXPECT_EQ(kiwi[k], 0) << k;

    // Widths all 0: E, N, W take W_A = 1 (E: (3 + |2|) / 1 x 0.8; N and W: 5); every
    // other class has a zero divisor and scores 0, class 13 always 0.
    SampleVector zero = Uniform(0);
    zero.v[0] = 3;
    zero.v[8] = 2;
    for (uint8_t type : {kIotaVti, kGhsOsd}) {
        ScoreVector s = Classify(type, zero);
        EXPECT_NEAR(s[10], 4.0, 1e-12);
        EXPECT_NEAR(s[11], 5.0, 1e-12);
        EXPECT_NEAR(s[12], 5.0, 1e-12);
        for (int k : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15}) EXPECT_EQ(s[k], 0) << int(type) << " class " << k;
    }
}

TEST(OverlaySampling, RunsAtTheFrameEdges) {
    Bitmap24 white(20, 10);
    white.Fill(255, 255, 255);
    OverlayState st;
    OverlayControls c;
    // IOTA-VTI: threshold RoundHalfAway(level) - 100 + position = -100: every pixel on
    // the frame counts, pixels past the edges are black.
    c.TimeInserterType = kIotaVti;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 15, 3, 9), 5 * 765);
    EXPECT_EQ(ThresholdRunSample(st, c, white, -3, 3, 4), 2 * 765);
    EXPECT_EQ(ThresholdRunSample(st, c, white, 0, 10, 4), 0);
    st.OverlayLevel = 600.5;  // rounds away to 601: limit 501 + 265 = 766
    c.UpDown4 = 265;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 0, 0, 4), 0);
    c.UpDown4 = 264;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 0, 0, 4), 5 * 765);
    // GHS-OSD counts 750 per pixel at or above (threshold - 100 + level) x 3; a black
    // pixel off the frame passes only a limit at or below 0.
    c.TimeInserterType = kGhsOsd;
    st.OverlayThreshold = 100;
    st.OverlayLevel = 255;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 15, 0, 9), 5 * 750);
    st.OverlayLevel = 256;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 15, 0, 9), 0);
    st.OverlayThreshold = 50;
    st.OverlayLevel = 0;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 15, 0, 9), 10 * 750);
    // KIWI-OSD subtracts 3 x the position once per run and never goes below 0.
    c.TimeInserterType = kKiwiOsd;
    c.UpDown4 = 10;
    EXPECT_EQ(ThresholdRunSample(st, c, white, 18, 0, 4), 2 * 765 - 30);
    EXPECT_EQ(ThresholdRunSample(st, c, Bitmap24(20, 10), 0, 0, 4), 0);
    EXPECT_EQ(ThresholdRunSample(st, c, white, 25, 0, 4), 0);

    // Edge runs: lines alternate white and black. Interlaced, the next line of the same
    // field is 2 down (white again); in the field view 1 down; past the bottom black.
    Bitmap24 lines(20, 10);
    for (int y = 0; y < 10; y += 2) std::fill_n(lines.Scanline(y), 60, uint8_t{255});
    EXPECT_EQ(EdgeRunSample(st, c, lines, 0, 4, 4), 0);
    EXPECT_EQ(EdgeRunSample(st, c, lines, 0, 8, 4), 5 * 765);
    EXPECT_EQ(EdgeRunSample(st, c, lines, 18, 3, 4), 0);
    c.ShowField = true;
    EXPECT_EQ(EdgeRunSample(st, c, lines, 0, 4, 4), 5 * 765);
    EXPECT_EQ(EdgeRunSample(st, c, lines, 0, 5, 4), -5 * 765);

    // 5 x 5 sums: only x >= 0 and y >= 1 count; nothing off the display.
    Bitmap24 grey(10, 10);
    grey.Fill(3, 2, 1);
    c.DisplayWidth = c.DisplayHeight = 10;
    PixelSum corner = SumRGB5x5(st, c, grey, 0, 0);
    EXPECT_EQ(corner.r + 10 * corner.g + 100 * corner.b, 6 + 120 + 1800);
    PixelSum far = SumRGB5x5(st, c, grey, 9, 9);
    EXPECT_EQ(far.r + 10 * far.g + 100 * far.b, 9 + 180 + 2700);
    c.DisplayWidth = 9;
    EXPECT_EQ(SumRGB5x5(st, c, grey, 9, 9).r, 0);
    EXPECT_EQ(GetPixelRGB(grey, 10, 0).r + GetPixelRGB(grey, 0, -1).b, 0);
}

TEST(OverlaySampling, RowGeometry) {
    struct Case {
        int set;
        bool showField;
        int row, height;
        int want1, want2;  // with offsets 0; offsets 3 and -2 add 2o interlaced, o stacked
    };
    const Case cases[] = {
        {2, false, 0, 576, 508, 509}, {4, false, 0, 480, 508, 509}, {1, false, 0, 480, 410, 409},
        {3, false, 0, 576, 410, 409}, {5, false, 434, 480, 434, 435}, {5, false, 435, 480, 434, 435},
        {10, false, 544, 576, 544, 545}, {20, false, 387, 576, 386, 387},
        {2, true, 0, 576, 254, 542}, {4, true, 0, 480, 254, 542}, {1, true, 0, 480, 205, 444},
        {3, true, 0, 576, 205, 444}, {5, true, 434, 480, 217, 457}, {5, true, 435, 480, 218, 458},
        {5, true, 544, 576, 272, 560}, {5, true, 545, 576, 273, 561},
    };
    for (const Case& k : cases) {
        OverlayState st;
        OverlayControls c;
        c.ShowField = k.showField;
        c.FrameHeight = k.height;
        st.OverlayRow = k.row;
        EXPECT_EQ(OverlayRowY(st, c, k.set, 0), k.want1) << k.set << " " << k.showField << " " << k.row;
        EXPECT_EQ(OverlayRowY(st, c, k.set, 1), k.want2) << k.set << " " << k.showField << " " << k.row;
        st.KiwiRowOffset1 = 3;
        st.KiwiRowOffset2 = -2;
        const int f = k.showField ? 1 : (k.set >= 1 && k.set <= 4 ? 2 : 1);
        EXPECT_EQ(OverlayRowY(st, c, k.set, 0), k.want1 + 3 * f) << k.set << " " << k.row;
        EXPECT_EQ(OverlayRowY(st, c, k.set, 1), k.want2 - 2 * f) << k.set << " " << k.row;
    }

    OverlayState st;
    CopyKiwiCharacterColumns(st);
    EXPECT_EQ(st.CharacterColumns[1][7], 85);
    EXPECT_EQ(st.CharacterColumns[4][18], 431);
    EXPECT_EQ(st.CharacterColumns[5][15], 600);
    EXPECT_EQ(st.CharacterColumns[1][6] + st.CharacterColumns[1][19] + st.CharacterColumns[0][7], 0);
}

TEST(OverlayReader, CandidatesAndAcceptance) {
    OverlayState st;
    OverlayControls c;
    Bitmap24 dark(200, 100);
    c.FrameWidth = c.DisplayWidth = 200;
    c.FrameHeight = c.DisplayHeight = 100;
    c.VideoFrameRateInt = 25;
    st.OverlayCharPitch = 21.5L;
    st.OverlayThreshold = 100;
    st.OverlayLevel = 60;

    // A dark cell: every threshold score is 0, nothing is accepted by IOTA-VTI or GHS-OSD.
    for (uint8_t type : {kIotaVti, kGhsOsd}) {
        c.TimeInserterType = type;
        OverlayCharacter ch = ReadOverlayCharacter(st, c, dark, 50, 20);
        EXPECT_EQ(ch.character, 0);
        EXPECT_EQ(ch.score, 0);
    }
    // KIWI-OSD at threshold position 0: all ten digits tie at 0 and the lowest wins.
    c.TimeInserterType = kKiwiOsd;
    OverlayCharacter kiwi = ReadOverlayCharacter(st, c, dark, 50, 20);
    EXPECT_EQ(kiwi.character, '0');
    c.UpDown4 = 1;
    EXPECT_EQ(ReadOverlayCharacter(st, c, dark, 50, 20).character, 0);

    // A white frame on the GPS page samples runs 44 and 45; the next time-line read
    // clears them, and a KIWI-OSD read leaves no letter score behind.
    Bitmap24 white(200, 100);
    white.Fill(255, 255, 255);
    c.TimeInserterType = kIotaVti;
    st.GpsPageMode = 1;
    st.GpsCharPitch = 43;  // scale 2: widths and offsets double
    st.ReadLetters = true;
    ReadOverlayCharacter(st, c, white, 100, 20);
    EXPECT_EQ(st.CharacterSamples.w[45], 6);
    EXPECT_EQ(st.CharacterSamples.w[14], 26);
    EXPECT_EQ(st.CharacterSamples.v[45], 7 * 765);
    EXPECT_GT(st.ClassScores[11], 0);
    st.GpsPageMode = 0;
    ReadOverlayCharacter(st, c, white, 100, 20);
    EXPECT_EQ(st.CharacterSamples.v[44] | st.CharacterSamples.w[44] | st.CharacterSamples.v[45], 0);
    c.TimeInserterType = kKiwiOsd;
    ReadOverlayCharacter(st, c, white, 100, 20);
    for (int k = 10; k < kClassCount; ++k) EXPECT_EQ(st.ClassScores[k], 0) << k;

    // A located pitch so small that every width rounds to 0 scores nothing, finitely.
    c.TimeInserterType = kGhsOsd;
    st.ReadLetters = false;
    st.OverlayCharPitch = 0.5L;
    OverlayCharacter tiny = ReadOverlayCharacter(st, c, white, 100, 20);
    EXPECT_EQ(tiny.character, 0);
    for (double s : st.ClassScores) EXPECT_TRUE(std::isfinite(s));
    for (long double pitch : {static_cast<long double>(NAN), static_cast<long double>(INFINITY), 1e30L}) {
        st.OverlayCharPitch = pitch;
        ReadOverlayCharacter(st, c, white, 100, 20);
    }
    // Halves to even when scaling by 0.625: widths 4 -> 2.5 -> 2, 13 -> 8.125 -> 8.
    st.OverlayCharPitch = 13.4375L;
    ReadOverlayCharacter(st, c, white, 100, 20);
    EXPECT_EQ(st.CharacterSamples.w[0], 2);
    EXPECT_EQ(st.CharacterSamples.w[14], 8);
}

// The sample vectors of every layout on a pseudo-random frame, recorded once after
// the run tables had been printed back and compared with the layouts line by line:
// a changed offset, row or width of any run shows up here.
TEST(OverlaySampling, SampleVectorsMatchTheRecordedLayouts) {
    Bitmap24 frame(200, 120);
    uint32_t lcg = 12345;
    for (int y = 0; y < frame.Height(); ++y)
        for (int i = 0; i < 3 * frame.Width(); ++i) frame.Scanline(y)[i] = static_cast<uint8_t>((lcg = lcg * 1103515245u + 12345u) >> 24);
    struct Reading {
        const char* name;
        uint8_t type;
        int rate;
        bool located, showField;
        long double pitch;
        uint8_t pageMode;
    };
    const Reading readings[] = {
        {"kiwi-italic", kKiwiOsd, 30, false, false, 0, 0},   {"kiwi-upright", kKiwiOsd, 25, false, true, 0, 0},
        {"kiwi-located", kKiwiOsd, 25, true, false, 24.1L, 0}, {"iota-gps", kIotaVti, 30, false, false, 21.5L, 1},
        {"iota", kIotaVti, 30, false, true, 24.1L, 0},          {"ghs", kGhsOsd, 25, false, false, 20, 0},
    };
    std::string got;
    for (const Reading& r : readings) {
        OverlayState st;
        OverlayControls c;
        c.TimeInserterType = r.type;
        c.VideoFrameRateInt = r.rate;
        c.ShowField = r.showField;
        c.UpDown4 = 40;
        st.OverlayThreshold = 100;
        st.OverlayLevel = 127.5;
        st.OverlayGridLocated = r.located;
        st.OverlayCharPitch = st.GpsCharPitch = r.pitch;
        st.GpsPageMode = r.pageMode;
        ReadOverlayCharacter(st, c, frame, 100, 30);
        got += r.name;
        for (int v : st.CharacterSamples.v) got += " " + std::to_string(v);
        got += " |";
        for (int w : st.CharacterSamples.w) got += " " + std::to_string(w);
        got += "\n";
    }
    const std::string want = testutil::ReadAll(testutil::DataFile("overlay/sample_vectors.txt"));
    if (got == want) return;
    std::istringstream g(got), w(want);
    std::string gl, wl;
    int shown = 0;
    while (std::getline(g, gl) && shown < 5) {
        std::getline(w, wl);
        std::istringstream gs(gl), ws(wl);
        std::string a, b;
        for (int k = 0; gs >> a && shown < 5; ++k)
            if (!(ws >> b) || a != b) {
                const std::string at = k <= kSampleRunCount ? "v[" + std::to_string(k - 1) + "]"
                                                            : "w[" + std::to_string(k - kSampleRunCount - 2) + "]";
                ADD_FAILURE() << gl.substr(0, gl.find(' ')) << " " << at << ": " << a << ", recorded " << b;
                ++shown;
            }
    }
    if (!shown) ADD_FAILURE() << "recorded file differs:\n" << got;
}

// Positions, widths, thresholds and levels at the ends of int (and beyond a double's
// range): each reads as the same argument far off the frame or past every pixel
// would, with no overflow (the sanitizer build checks).
TEST(OverlaySampling, ArgumentsAtTheEndsOfInt) {
    Bitmap24 white(20, 10);
    white.Fill(255, 255, 255);
    constexpr int kFar = 1000000;
    for (uint8_t type : {kIotaVti, kKiwiOsd, kGhsOsd}) {
        SCOPED_TRACE(int(type));
        OverlayState st;
        OverlayControls c;
        c.TimeInserterType = type;
        c.FrameWidth = c.DisplayWidth = 20;
        c.FrameHeight = c.DisplayHeight = 10;
        st.OverlayThreshold = 200;
        for (int x : {INT_MIN, INT_MAX})
            for (int w : {INT_MIN, -1, 4}) {
                EXPECT_EQ(ThresholdRunSample(st, c, white, x, 3, w), ThresholdRunSample(st, c, white, x < 0 ? -kFar : kFar, 3, w))
                    << x << " " << w;
                EXPECT_EQ(EdgeRunSample(st, c, white, 0, x, w), 0);
            }
        // A run of every int width: the whole frame line, or past the frame's end.
        EXPECT_EQ(ThresholdRunSample(st, c, white, INT_MIN, 3, INT_MAX), 0);
        EXPECT_EQ(ThresholdRunSample(st, c, white, -5, 3, INT_MAX) > 0, type != kKiwiOsd || st.OverlayThreshold >= 0);
        EXPECT_EQ(EdgeRunSample(st, c, white, INT_MIN, 0, INT_MAX), 0);
        // Thresholds: the largest passes no pixel of a white run, the smallest every one.
        // (GHS-OSD takes its threshold from the state's copy.)
        c.UpDown4 = st.OverlayThreshold = INT_MAX;
        EXPECT_EQ(ThresholdRunSample(st, c, white, 0, 0, 4), 0);
        c.UpDown4 = st.OverlayThreshold = INT_MIN;
        // KIWI-OSD subtracts the threshold, so a negative one adds to the run.
        if (type == kKiwiOsd) EXPECT_GE(ThresholdRunSample(st, c, white, 0, 0, 4), 5 * 765);
        else EXPECT_EQ(ThresholdRunSample(st, c, white, 0, 0, 4), type == kGhsOsd ? 5 * 750 : 5 * 765);
        for (double level : {1e300, -1e300, std::nan("")}) {
            st.OverlayLevel = level;
            ThresholdRunSample(st, c, white, 0, 0, 4);
        }
        st.OverlayLevel = 0;
        c.UpDown4 = 0;
        st.OverlayThreshold = 200;
        // A character anywhere, on the fixed layouts and a located grid with GPS pages.
        for (int located : {0, 1}) {
            st.OverlayGridLocated = static_cast<uint8_t>(located);
            st.OverlayCharPitch = st.GpsCharPitch = 21.5L;
            st.GpsPageMode = static_cast<uint8_t>(located);
            for (auto [x, y] : {std::pair{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}}) {
                const OverlayCharacter far = ReadOverlayCharacter(st, c, white, x < 0 ? -kFar : kFar, y < 0 ? -kFar : kFar);
                const OverlayCharacter got = ReadOverlayCharacter(st, c, white, x, y);
                EXPECT_TRUE(got.character == far.character && got.score == far.score) << x << "," << y;
            }
        }
        c.DisplayWidth = c.DisplayHeight = INT_MAX;
        EXPECT_EQ(SumRGB5x5(st, c, white, INT_MAX - 1, INT_MAX - 1).r, 0);
        // Rows and row offsets from outside: a row far off the frame, whatever the set.
        for (int extreme : {INT_MAX, INT_MIN}) {
            st.OverlayRow = st.KiwiRowOffset1 = st.KiwiRowOffset2 = extreme;
            c.FrameHeight = extreme > 0 ? INT_MAX : 0;
            for (int set : {1, 2, 5})
                for (bool field : {false, true}) {
                    c.ShowField = field;
                    for (int f : {0, 1}) EXPECT_GT(std::abs(static_cast<int64_t>(OverlayRowY(st, c, set, f))), 16384);
                }
        }
    }
}
