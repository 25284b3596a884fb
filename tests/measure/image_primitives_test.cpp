// Frame filter and patch smoothing against scipy.ndimage.convolve (golden file
// written by gaussian_oracle.py), the gamma table by its invariants, and the
// small display helpers.
#include "measure/image_primitives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "support/test_util.h"

namespace {

using Numbers = std::vector<int64_t>;

struct GoldenBlock {
    std::string kind;  // "frame W H" or "patch 55 23"
    int a = 0, b = 0;
    std::map<std::string, Numbers> fields;  // in, out1, near1, out2, near2
};

std::vector<GoldenBlock> ParseGolden(const std::string& text) {
    std::vector<GoldenBlock> blocks;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        if (key == "frame" || key == "patch") {
            blocks.push_back({});
            blocks.back().kind = key;
            ss >> blocks.back().a >> blocks.back().b;
            continue;
        }
        Numbers n;
        int64_t v;
        while (ss >> v) n.push_back(v);
        if (!blocks.empty()) blocks.back().fields[key] = n;
    }
    return blocks;
}

const std::string kGoldenPath = testutil::DataFile("measure/gaussian_golden.txt");

Bitmap24 FrameFrom(int w, int h, const Numbers& bytes) {
    Bitmap24 f(w, h);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < 3 * w; ++i) f.Scanline(y)[i] = static_cast<uint8_t>(bytes[static_cast<size_t>(y * 3 * w + i)]);
    return f;
}

// Every byte must match; a byte whose exact quotient is a half (within 1e-9) may
// differ by 1, since there the binary weights tip either way.
void ExpectBytes(const Bitmap24& got, const Numbers& want, const Numbers& near, const std::string& what) {
    const std::set<int64_t> nearSet(near.begin(), near.end());
    const int w = got.Width();
    ASSERT_EQ(want.size(), static_cast<size_t>(3 * w * got.Height())) << what;
    int bad = 0;
    for (int y = 0; y < got.Height(); ++y)
        for (int i = 0; i < 3 * w; ++i) {
            const size_t idx = static_cast<size_t>(y * 3 * w + i);
            const int64_t g = got.Scanline(y)[i], e = want[idx];
            const int64_t tol = nearSet.count(static_cast<int64_t>(idx)) ? 1 : 0;
            if (std::llabs(g - e) > tol && bad++ < 5)
                ADD_FAILURE() << what << " x=" << i / 3 << " y=" << y << " channel " << i % 3 << ": got " << g
                              << ", scipy " << e;
        }
    EXPECT_EQ(bad, 0) << what;
}

TEST(GaussianFilter, FramesMatchScipyByteForByte) {
    const auto blocks = ParseGolden(testutil::ReadAll(kGoldenPath));
    int frames = 0;
    for (const auto& b : blocks) {
        if (b.kind != "frame") continue;
        ++frames;
        const Bitmap24 input = FrameFrom(b.a, b.b, b.fields.at("in"));
        for (int kernel : {1, 2}) {
            Bitmap24 f = input;
            GaussianFilterFrame(f, kernel);
            const std::string k = std::to_string(kernel);
            ExpectBytes(f, b.fields.at("out" + k), b.fields.at("near" + k),
                        std::to_string(b.a) + "x" + std::to_string(b.b) + " kernel " + k);
        }
        // Off, and unknown selector values, leave the frame alone.
        for (int kernel : {0, 3, -1}) {
            Bitmap24 f = input;
            GaussianFilterFrame(f, kernel);
            EXPECT_TRUE(f == input);
        }
    }
    EXPECT_EQ(frames, 4);
}

TEST(GaussianFilter, ClosedFormsAndTies) {
    // Uniform 100: 3 x 3 keeps 100 inside, corners see four of nine weights:
    // round(100 x 0.421 / 0.677) = 62.
    Bitmap24 f(8, 6);
    f.Fill(100, 100, 100);
    GaussianFilterFrame(f, kGaussian3);
    EXPECT_EQ(f.Scanline(3)[3 * 4], 100);
    for (auto [x, y] : {std::pair{0, 0}, {7, 0}, {0, 5}, {7, 5}})
        for (int c = 0; c < 3; ++c) EXPECT_EQ(f.Scanline(y)[3 * x + c], 62) << x << "," << y;

    // Exact halves go to even: (1000 x 5 + 775 x 166) / 10692 = 12.5 -> 12,
    // (1000 x 232 + 775 x 218) / 10692 = 37.5 -> 38.
    for (auto [v, u, want] : {std::tuple{5, 166, 12}, {232, 218, 38}}) {
        Bitmap24 g(21, 21);
        uint8_t* c = g.Scanline(10) + 3 * 10;
        c[0] = c[1] = c[2] = static_cast<uint8_t>(v);
        c[3] = c[4] = c[5] = static_cast<uint8_t>(u);
        Bitmap24 scratch;
        GaussianFilterFrame(g, kGaussian5, &scratch);
        EXPECT_EQ(g.Scanline(10)[3 * 10 + 1], want) << v << " " << u;
    }

    Bitmap24 empty;
    GaussianFilterFrame(empty, kGaussian5);
    EXPECT_TRUE(empty.Empty());
}

TEST(PatchSmoothing, IntegerPatchMatchesScipyAndKeepsTheRim) {
    const auto blocks = ParseGolden(testutil::ReadAll(kGoldenPath));
    const GoldenBlock* p = nullptr;
    for (const auto& b : blocks)
        if (b.kind == "patch") p = &b;
    ASSERT_NE(p, nullptr);
    const Numbers& in = p->fields.at("in");
    ASSERT_EQ(in.size(), 55u * 55u);
    TrackPatch input;
    for (size_t i = 0; i < input.cells.size(); ++i) input.cells[i] = static_cast<int32_t>(in[i]);

    for (int kernel : {1, 2}) {
        TrackPatch t = input;
        SmoothTrackPatch(t, kernel);
        const std::string k = std::to_string(kernel);
        const Numbers& want = p->fields.at("out" + k);
        ASSERT_EQ(want.size(), 47u * 47u);
        const std::set<int64_t> near(p->fields.at("near" + k).begin(), p->fields.at("near" + k).end());
        int bad = 0;
        for (int dx = -27; dx <= 27; ++dx)
            for (int dy = -27; dy <= 27; ++dy) {
                const int64_t got = t.at(dx, dy);
                if (std::abs(dx) > 23 || std::abs(dy) > 23) {
                    bad += got != input.at(dx, dy);
                    continue;
                }
                const int64_t idx = (dx + 23) * 47 + (dy + 23);
                bad += std::llabs(got - want[static_cast<size_t>(idx)]) > (near.count(idx) ? 1 : 0);
            }
        EXPECT_EQ(bad, 0) << "kernel " << kernel;

        // The same patch as reals gives the same integers.
        ProfilePatch r;
        for (size_t i = 0; i < r.cells.size(); ++i) r.cells[i] = input.cells[i];
        SmoothProfilePatch(r, kernel);
        for (size_t i = 0; i < r.cells.size(); ++i) ASSERT_EQ(r.cells[i], t.cells[i]) << i;
    }

    TrackPatch off = input;
    SmoothTrackPatch(off, kGaussianOff);
    EXPECT_EQ(off.cells, input.cells);
}

TEST(PatchSmoothing, PsfSearchPatchRangeAndRounding) {
    // A uniform real patch of 7.25 becomes 7 over offsets -50..50 and keeps 7.25
    // beyond; a single spike spreads into the kernel's own weights.
    PsfSearchPatch p;
    p.Fill(7.25);
    SmoothPsfSearchPatch(p, kGaussian3);
    EXPECT_EQ(p.at(0, 0), 7);
    EXPECT_EQ(p.at(50, -50), 7);
    EXPECT_EQ(p.at(51, 0), 7.25);
    EXPECT_EQ(p.at(-53, 53), 7.25);

    PsfSearchPatch s;
    s.at(0, 0) = 677;
    SmoothPsfSearchPatch(s, kGaussian3);
    EXPECT_EQ(s.at(0, 0), 225);
    EXPECT_EQ(s.at(1, 0), 83);
    EXPECT_EQ(s.at(-1, 1), 30);
    EXPECT_EQ(s.at(2, 0), 0);
}

TEST(GammaTable, InvariantsAndSaturation) {
    EXPECT_EQ(MakeGammaTable(1.0), GammaState::MakeIdentity());
    // round(210 x sqrt(105 / 210)) = round(148.49) = 148.
    EXPECT_EQ(MakeGammaTable(2.0)[105], 148);
    for (double g : {1e-300, 0.05, 0.5, 0.9, 1.0, 1.7, 2.2, 10.0, 1e300}) {
        const GammaLut t = MakeGammaTable(g);
        EXPECT_EQ(t[0], 0) << g;
        EXPECT_EQ(t[210], 210) << g;
        for (int i = 1; i < 256; ++i) ASSERT_LE(t[i - 1], t[i]) << "gamma " << g << " entry " << i;
        if (g <= 1) continue;
        for (int i = 1; i < 210; ++i) ASSERT_GE(t[i], i) << g;  // lifted
        for (int i = 211; i < 256; ++i) {                       // lowered, staying above 210
            ASSERT_GE(t[i], 210) << g;
            ASSERT_LE(t[i], i) << g;
        }
    }
    // Below gamma 1 the top entries would compute past 255; they saturate.
    const GammaLut t09 = MakeGammaTable(0.9);
    EXPECT_EQ(t09[251], 255);
    EXPECT_EQ(t09[255], 255);
    // Tiny gammas: 0 below 210, 255 above.
    const GammaLut tiny = MakeGammaTable(1e-300);
    EXPECT_EQ(tiny[209], 0);
    EXPECT_EQ(tiny[211], 255);
    for (double bad : {0.0, -1.0, std::nan("")}) EXPECT_EQ(MakeGammaTable(bad), GammaState::MakeIdentity());

    GammaState s;
    s.GammaValue = 2.0;
    BuildGammaTable(s);
    Bitmap24 f(2, 1);
    f.Fill(105, 0, 255);
    ApplyGammaTable(f, s.GammaTable);
    EXPECT_EQ(f.Scanline(0)[0], 148);
    EXPECT_EQ(f.Scanline(0)[1], 0);
    EXPECT_EQ(f.Scanline(0)[2], s.GammaTable[255]);
}

TEST(DisplayTexts, CaptionsFrameNumberAndTextToInt) {
    const TimeCaptions c = ShowTimeCaptions();
    EXPECT_EQ(c.Edit24 + c.Edit25 + c.Edit26 + c.Edit27, "hms(Field1)s(Field2)");
    EXPECT_EQ(ShowFrameNumber(123456), "123456");
    EXPECT_EQ(TextToInt(" -17"), -17);
    EXPECT_EQ(TextToInt("$1F"), 31);
    for (const char* bad : {"", "abc", "1.5", "12x", "99999999999"}) EXPECT_EQ(TextToInt(bad), 0) << bad;
}

// Re-derives the golden file with numpy/scipy when they are installed, so the
// checked-in reference cannot drift from its script.
TEST(GaussianFilter, OracleScriptReproducesGolden) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy, scipy.ndimage' 2>/dev/null") != 0)
        GTEST_SKIP() << "numpy/scipy not available";
    testutil::TempDir dir;
    const std::string out = dir.File("golden.txt");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + std::string(TEVORIN_SOURCE_DIR) +
                            "/tests/measure/gaussian_oracle.py' --out '" + out + "'"),
              0);
    EXPECT_EQ(testutil::ReadAll(out), testutil::ReadAll(kGoldenPath));
}

}  // namespace
