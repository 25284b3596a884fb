// Frame filter and patch smoothing against scipy.ndimage.convolve (golden file
// written by gaussian_oracle.py), the gamma table by its invariants, the small
// display helpers, and the oracle scripts re-run against their golden files.
#include "measure/image_primitives.h"

#include <cmath>

#include "golden.h"
#include "support/golden_compare.h"

namespace {

using golden::Block;

// A byte whose exact quotient is a half (within 1e-9) may differ by 1: there the
// binary weights tip either way.
int Mismatches(const std::vector<int64_t>& got, const Block& b, int kernel) {
    const std::string k = std::to_string(kernel);
    const std::vector<double>& want = b.f.at("out" + k);
    const std::set<double> near(b.f.at("near" + k).begin(), b.f.at("near" + k).end());
    if (want.size() != got.size()) return -1;
    int bad = 0;
    for (size_t i = 0; i < got.size(); ++i)
        bad += std::abs(double(got[i]) - want[i]) > (near.count(double(i)) ? 1 : 0);
    return bad;
}

TEST(GaussianFilter, FramesMatchScipyByteForByte) {
    const auto blocks = golden::Read("gaussian_golden.txt", {"frame", "patch"});
    const auto frames = golden::Of(blocks, "frame");
    ASSERT_EQ(frames.size(), 4u);
    for (const Block& b : frames) {
        const int w = b.H(0), h = b.H(1);
        Bitmap24 input(w, h);
        for (int y = 0; y < h; ++y)
            for (int i = 0; i < 3 * w; ++i) input.Scanline(y)[i] = uint8_t(b.f.at("in")[size_t(y * 3 * w + i)]);
        for (int kernel : {0, 1, 2, 3, -1}) {
            Bitmap24 f = input;
            GaussianFilterFrame(f, kernel);
            if (kernel != 1 && kernel != 2) {  // off and unknown selectors leave the frame alone
                EXPECT_TRUE(f == input);
                continue;
            }
            std::vector<int64_t> got;
            for (int y = 0; y < h; ++y) got.insert(got.end(), f.Scanline(y), f.Scanline(y) + 3 * w);
            EXPECT_EQ(Mismatches(got, b, kernel), 0) << w << "x" << h << " kernel " << kernel;
        }
    }
}

TEST(GaussianFilter, ClosedFormsAndTies) {
    // Uniform 100: kept inside; corners see four of nine weights, round(100 x 0.421 / 0.677) = 62.
    Bitmap24 f(8, 6);
    f.Fill(100, 100, 100);
    GaussianFilterFrame(f, kGaussian3);
    EXPECT_EQ(f.Scanline(3)[3 * 4], 100);
    for (auto [x, y] : {std::pair{0, 0}, {7, 0}, {0, 5}, {7, 5}})
        for (int c = 0; c < 3; ++c) EXPECT_EQ(f.Scanline(y)[3 * x + c], 62) << x << "," << y;
    // Exact halves go to even: (1000 x 5 + 775 x 166) / 10692 = 12.5 -> 12, (1000 x 232 + 775 x 218) / 10692 = 37.5 -> 38.
    for (auto [v, u, want] : {std::tuple{5, 166, 12}, {232, 218, 38}}) {
        Bitmap24 g(21, 21), scratch;
        uint8_t* c = g.Scanline(10) + 3 * 10;
        c[0] = c[1] = c[2] = uint8_t(v);
        c[3] = c[4] = c[5] = uint8_t(u);
        GaussianFilterFrame(g, kGaussian5, &scratch);
        EXPECT_EQ(g.Scanline(10)[3 * 10 + 1], want) << v << " " << u;
    }
    Bitmap24 empty;
    GaussianFilterFrame(empty, kGaussian5);  // no crash
}

TEST(PatchSmoothing, IntegerPatchMatchesScipyAndKeepsTheRim) {
    const auto patches = golden::Of(golden::Read("gaussian_golden.txt", {"frame", "patch"}), "patch");
    ASSERT_EQ(patches.size(), 1u);
    const Block& p = patches[0];
    ASSERT_EQ(p.f.at("in").size(), 55u * 55u);
    TrackPatch input;
    for (size_t i = 0; i < input.cells.size(); ++i) input.cells[i] = int32_t(p.f.at("in")[i]);
    for (int kernel : {int(kGaussianOff), 1, 2}) {
        TrackPatch t = input;
        SmoothTrackPatch(t, kernel);
        if (kernel == kGaussianOff) {
            EXPECT_EQ(t.cells, input.cells);
            continue;
        }
        // Offsets -23..23 are smoothed (x major, as the script lists them); the rim stays.
        std::vector<int64_t> inner;
        int rim = 0;
        for (int dx = -27; dx <= 27; ++dx)
            for (int dy = -27; dy <= 27; ++dy) {
                if (std::abs(dx) > 23 || std::abs(dy) > 23) rim += t.at(dx, dy) != input.at(dx, dy);
                else inner.push_back(t.at(dx, dy));
            }
        EXPECT_EQ(rim, 0);
        EXPECT_EQ(Mismatches(inner, p, kernel), 0) << "kernel " << kernel;
        // The same patch as reals gives the same integers.
        ProfilePatch r;
        for (size_t i = 0; i < r.cells.size(); ++i) r.cells[i] = input.cells[i];
        SmoothProfilePatch(r, kernel);
        for (size_t i = 0; i < r.cells.size(); ++i) ASSERT_EQ(r.cells[i], t.cells[i]) << i;
    }
}

TEST(PatchSmoothing, PsfSearchPatchRangeAndRounding) {
    // Uniform 7.25 becomes 7 over offsets -50..50 and stays beyond; a spike spreads into the weights.
    PsfSearchPatch p, s;
    p.Fill(7.25);
    SmoothPsfSearchPatch(p, kGaussian3);
    EXPECT_EQ(std::tuple(p.at(0, 0), p.at(50, -50), p.at(51, 0), p.at(-53, 53)), std::tuple(7, 7, 7.25, 7.25));
    s.at(0, 0) = 677;
    SmoothPsfSearchPatch(s, kGaussian3);
    EXPECT_EQ(std::tuple(s.at(0, 0), s.at(1, 0), s.at(-1, 1), s.at(2, 0)), std::tuple(225, 83, 30, 0));
}

TEST(GammaTable, InvariantsAndSaturation) {
    EXPECT_EQ(MakeGammaTable(1.0), GammaState::MakeIdentity());
    EXPECT_EQ(MakeGammaTable(2.0)[105], 148);  // round(210 x sqrt(105 / 210)) = round(148.49)
    for (double g : {1e-300, 0.05, 0.5, 0.9, 1.0, 1.7, 2.2, 10.0, 1e300}) {
        const GammaLut t = MakeGammaTable(g);
        EXPECT_EQ(std::tuple(t[0], t[210]), std::tuple(0, 210)) << g;
        for (int i = 1; i < 256; ++i)
            ASSERT_TRUE(t[i - 1] <= t[i] && (g <= 1 || (i < 210 ? t[i] >= i : i == 210 || (t[i] >= 210 && t[i] <= i))))
                << "gamma " << g << " entry " << i;
    }
    // Below gamma 1 the top entries saturate; tiny gammas give 0 below 210 and 255 above.
    EXPECT_EQ(std::tuple(MakeGammaTable(0.9)[251], MakeGammaTable(1e-300)[209], MakeGammaTable(1e-300)[211]), std::tuple(255, 0, 255));
    for (double bad : {0.0, -1.0, std::nan("")}) EXPECT_EQ(MakeGammaTable(bad), GammaState::MakeIdentity());
    GammaState s;
    s.GammaValue = 2.0;
    BuildGammaTable(s);
    Bitmap24 f(2, 1);
    f.Fill(105, 0, 255);
    ApplyGammaTable(f, s.GammaTable);
    EXPECT_EQ(std::tuple(f.Scanline(0)[0], f.Scanline(0)[1], f.Scanline(0)[2]), std::tuple(148, 0, s.GammaTable[255]));
}

TEST(DisplayTexts, TextToInt) {
    EXPECT_EQ(std::tuple(TextToInt(" -17"), TextToInt("$1F")), std::tuple(-17, 31));
    for (const char* bad : {"", "abc", "1.5", "12x", "99999999999"}) EXPECT_EQ(TextToInt(bad), 0) << bad;
}

// The checked-in references cannot drift from their scripts.
TEST(OracleScripts, ReproduceTheirGoldenFiles) {
    for (auto [script, file, modules] :
         {std::tuple{"gaussian_oracle.py", "gaussian_golden.txt", "numpy, scipy.ndimage"},
          {"psf_oracle.py", "psf_golden.txt", "numpy, scipy.optimize"},
          {"tracking_oracle.py", "tracking_golden.txt", "numpy"}}) {
        if (testutil::Run(std::string("/usr/bin/python3 -c 'import ") + modules + "' 2>/dev/null") != 0) {
            GTEST_SKIP() << modules << " not available";
        }
        testutil::TempDir dir;
        const std::string out = dir.File("golden.txt");
        ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + std::string(TEVORIN_SOURCE_DIR) + "/tests/measure/" + script +
                                "' --out '" + out + "'"),
                  0)
            << script;
        EXPECT_EQ(testutil::CompareWithGolden(testutil::ReadAll(out), golden::Path(file)), "") << script;
    }
}

// The PSF file allows 2e-6 + 5e-8 |want| on "fit" and nothing on pixels; a failure names
// the first few values only.
TEST(OracleScripts, ComparisonKeepsToTheStatedToleranceAndReportsFewValues) {
    const std::string golden = testutil::ReadAll(golden::Path("psf_golden.txt"));
    std::string shifted = golden;
    const size_t fit = shifted.find("\nfit ") + 5;
    const size_t end = shifted.find(' ', fit);
    const double sigma = std::stod(shifted.substr(fit, end - fit));
    shifted.replace(fit, end - fit, std::to_string(sigma + 1e-6));
    EXPECT_EQ(testutil::CompareWithGolden(shifted, golden::Path("psf_golden.txt")), "");
    std::string pixels = golden;
    for (size_t at = 0; (at = pixels.find(" 30 ", at)) != std::string::npos; at += 4) pixels.replace(at, 4, " 31 ");
    const std::string report = testutil::CompareWithGolden(pixels, golden::Path("psf_golden.txt"));
    EXPECT_NE(report.find("difference(s), the first 5:\n  line 2 (in) value "), std::string::npos) << report;
    EXPECT_LT(report.size(), 600u);
    shifted.replace(fit, end - fit, std::to_string(sigma + 1e-4));
    EXPECT_NE(testutil::CompareWithGolden(shifted, golden::Path("psf_golden.txt")).find("1 difference(s):\n  line 3 (fit) value 0: got"),
              std::string::npos);
}

}  // namespace
