// HIPS: first-generation files against netpbm's hipstopgm, second-generation files
// written from the published header layout against numpy, the plane question, and
// hostile headers.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/HIPSLoader.h"
#include "imagefile/PNGLoader.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

std::string Load(const std::string& bytes, TLinearBitmap& b) { return imagetest::LoadBytes(bytes, "HIPS", b); }

// A first-generation header with the given history and description lines.
std::string OldHeader(int frames, int rows, int cols, const std::string& bits = "8",
                      const std::string& historyAndDescription = "history line one\nhistory line two\ndescription\n") {
    return "picture.pgm\nsequence\n" + std::to_string(frames) + "\nMon Dec  7 10:00:00 2026\n" + std::to_string(rows) + "\n" +
           std::to_string(cols) + "\n" + bits + "\n0\n0\n" + historyAndDescription + ".\n";
}

std::string Bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 37 + seed * 101 + (i * i) % 13) & 0xFF);
    return s;
}

// Frames of hipstopgm's output (it stacks them top to bottom), each as its pixels.
std::vector<std::string> HipsToPgm(const std::string& file, int frames, int rows, int cols) {
    std::string out;
    if (testutil::Run("hipstopgm '" + file + "' 2>/dev/null", &out) != 0) return {};
    const std::string head = "P5\n" + std::to_string(cols) + " " + std::to_string(rows * frames) + "\n255\n";
    if (out.rfind(head, 0) != 0 || out.size() != head.size() + size_t(frames) * rows * cols) return {};
    std::vector<std::string> planes;
    for (int f = 0; f < frames; ++f) planes.push_back(out.substr(head.size() + size_t(f) * rows * cols, size_t(rows) * cols));
    return planes;
}

std::string GreyPixels(const TLinearBitmap& b) {
    return b.PixelFormat == pf8bit ? std::string(reinterpret_cast<const char*>(b.Map), size_t(b.Size)) : "not 8 bit";
}

TEST(Hips, FirstGenerationFilesEqualHipstopgm) {
    if (!testutil::HaveProgram("hipstopgm")) GTEST_SKIP() << "no netpbm";
    testutil::TempDir dir;
    struct Case {
        int frames, rows, cols;
        std::string lines;
    };
    // Rows equal to the bits-per-pixel line, several history and description lines, none.
    for (const Case& c : {Case{1, 8, 13, "h1\nh2 |\\\n  continued\nd1\nd2\nd3\n"}, Case{3, 5, 9, ""}, Case{2, 17, 1, "x\n"}}) {
        const std::string file = dir.File("old.hips"), pixels = Bytes(size_t(c.frames) * c.rows * c.cols, c.rows);
        testutil::WriteAll(file, OldHeader(c.frames, c.rows, c.cols, "8", c.lines) + pixels);
        const std::vector<std::string> frames = HipsToPgm(file, c.frames, c.rows, c.cols);
        ASSERT_EQ(frames.size(), size_t(c.frames)) << c.rows;
        TLinearBitmap b;
        ASSERT_EQ(Load(testutil::ReadAll(file), b), "") << c.rows;
        EXPECT_EQ(b.Width, c.cols);
        EXPECT_EQ(b.Height, c.rows);
        EXPECT_TRUE(b.IsGrayScale());
        EXPECT_TRUE(GreyPixels(b) == frames[0]) << c.rows;
        EXPECT_EQ(HIPSLoader().PlaneCount, c.frames);
        // With progress assigned, the question picks the last frame.
        if (c.frames < 2) continue;
        std::vector<std::string> asked;
        HIPSLoader().InputQuery = [&](const std::string& caption, const std::string& prompt, const std::string& initial) {
            asked = {caption, prompt, initial};
            return std::optional<std::string>(std::to_string(c.frames));
        };
        LoaderProgress = [](int) {};
        const std::string error = Load(testutil::ReadAll(file), b);
        LoaderProgress = nullptr;
        HIPSLoader().InputQuery = nullptr;
        ASSERT_EQ(error, "");
        EXPECT_EQ(asked, (std::vector<std::string>{"Select plane", "Select plane to load (1-" + std::to_string(c.frames) + ")", "1"}));
        EXPECT_TRUE(GreyPixels(b) == frames.back());
    }
}

TEST(Hips, SecondGenerationFilesEqualNumpy) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy'") != 0) GTEST_SKIP() << "no numpy";
    testutil::TempDir dir;
    const std::pair<std::string, int> kinds[] = {{"bytes", pf8bit},   {"rgb", pf24bit},     {"floats", pf8bit},
                                                 {"floats2", pf24bit}, {"floats3", pf24bit}, {"floatrgb", pf24bit},
                                                 {"planes", pf8bit}};
    for (const auto& [kind, format] : kinds) {
        const std::string prefix = dir.File(kind);
        ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/imagefile/hips_oracle.py' '" + prefix +
                                "' " + kind),
                  0);
        const std::string file = testutil::ReadAll(prefix + ".hips");
        TLinearBitmap b;
        ASSERT_EQ(Load(file, b), "") << kind;
        EXPECT_EQ(b.PixelFormat, format) << kind;
        EXPECT_EQ(b.Width, 11);
        EXPECT_EQ(b.Height, 7);
        if (kind != "planes") {
            EXPECT_TRUE(imagetest::RgbBytes(b) == testutil::ReadAll(prefix + ".rgb")) << kind;
            continue;
        }
        EXPECT_TRUE(imagetest::RgbBytes(b) == testutil::ReadAll(prefix + ".1.rgb"));  // no question: the first
        HIPSLoader().InputQuery = [](const std::string&, const std::string&, const std::string&) {
            return std::optional<std::string>("2");
        };
        LoaderProgress = [](int) {};
        ASSERT_EQ(Load(file, b), "");
        EXPECT_TRUE(imagetest::RgbBytes(b) == testutil::ReadAll(prefix + ".2.rgb"));
        // Cancelling stops silently with no picture; a number out of range is taken
        // as the nearest plane; text is refused.
        HIPSLoader().InputQuery = [](const std::string&, const std::string&, const std::string&) {
            return std::optional<std::string>();
        };
        EXPECT_EQ(Load(file, b), "");
        EXPECT_FALSE(b.Present);
        HIPSLoader().InputQuery = [](const std::string&, const std::string&, const std::string&) {
            return std::optional<std::string>("9");
        };
        ASSERT_EQ(Load(file, b), "");
        EXPECT_TRUE(imagetest::RgbBytes(b) == testutil::ReadAll(prefix + ".3.rgb"));
        HIPSLoader().InputQuery = [](const std::string&, const std::string&, const std::string&) {
            return std::optional<std::string>("two");
        };
        EXPECT_EQ(Load(file, b), "'two' is not a valid integer value");
        LoaderProgress = nullptr;
        HIPSLoader().InputQuery = nullptr;
        // The probe's --plane answers the question the same way.
        std::string printed;
        ASSERT_EQ(testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' image-load '" + prefix + ".hips' '" +
                                    dir.File("p.ppm") + "' --plane 3",
                                &printed),
                  0);
        EXPECT_EQ(printed, "loader=THIPSLoader width=11 height=7 format=3 planes=3\n");
        EXPECT_TRUE(testutil::ReadAll(dir.File("p.ppm")) == "P6\n11 7\n255\n" + testutil::ReadAll(prefix + ".3.rgb"));
    }
}

TEST(Hips, FloatProgressGoesPlaneByPlane) {
    // Two float planes of 2 x 1: progress at pixel 0 of each plane and 100 div 2 between.
    const std::string head = "HIPS\nn\ns\n2\nd\n1\n2\n1\n2\n0\n0\n3\n2\n0\n0\n0\n0\n";
    std::string data;
    for (float f : {1.f, 2.f, 3.f, 4.f}) data.append(reinterpret_cast<const char*>(&f), 4);
    std::vector<int> seen;
    LoaderProgress = [&](int p) { seen.push_back(p); };
    TLinearBitmap b;
    const std::string error = Load(head + data, b);
    LoaderProgress = nullptr;
    ASSERT_EQ(error, "");
    EXPECT_EQ(seen, (std::vector<int>{0, 50, 0}));
    EXPECT_EQ(imagetest::RgbBytes(b), std::string("\x01\x03\x00\x02\x04\x00", 6));
}

TEST(Hips, HostileHeadersAndData) {
    TLinearBitmap b;
    const std::string unsupported = kUnsupportedBitmapFormat;
    const std::string good = OldHeader(1, 2, 3) + "abcdef";
    ASSERT_EQ(Load(good, b), "");
    EXPECT_EQ(GreyPixels(b), "abcdef");
    // Bits other than 8, no "." line, no frame count within 201 lines.
    EXPECT_EQ(Load(OldHeader(1, 2, 3, "16") + "abcdef", b), unsupported);
    EXPECT_EQ(Load("a\nb\n1\nd\n2\n3\n8\nno end\n", b), unsupported);
    std::string names = "a\nb\n";
    for (int i = 0; i < 201; ++i) names += "name\n";
    EXPECT_EQ(Load(names + "1\nd\n2\n3\n8\n.\nabcdef", b), unsupported);
    // Second generation: unknown pixel formats, bad numbers, sizes running past the end.
    for (const std::string format : {"1", "2", "4", "36", "99", "x"})
        EXPECT_EQ(Load("HIPS\nn\ns\n1\nd\n2\n3\n2\n3\n0\n0\n" + format + "\n1\n0\n0\n0\n0\nabcdef", b), unsupported)
            << format;
    EXPECT_EQ(Load("HIPS\nn\ns\n1\nd\n2\n3\n2\n3\n0\n0\n0\n1\n99999\n", b), unsupported);
    EXPECT_EQ(Load("HIPS\nn\ns\n1\nd\n2\n3\n2\n3\n0\n0\n0\n1\n0\n0\n-1\n0\n", b), unsupported);
    ASSERT_EQ(Load("HIPS\nn\ns\n1\nd\n2\n3\n2\n3\n0\n0\n0\n1\n0\n0\n0\n0\nabcdef", b), "");
    EXPECT_EQ(GreyPixels(b), "abcdef");
    // Sizes: zero, over the cap, and a small file claiming a big picture.
    EXPECT_EQ(Load(OldHeader(1, 0, 3) + "abc", b), kInvalidBitmapSize);
    EXPECT_EQ(Load(OldHeader(1, 2000000, 2000000) + "abc", b), kInvalidBitmapSize);
    const long long grew = imagetest::PeakGrowthBytes(
        [&] { EXPECT_EQ(Load("HIPS\nn\ns\n1\nd\n9000\n9000\n9000\n9000\n0\n0\n37\n1\n0\n0\n0\n0\n1234", b), kReadLessThanExpected); });
    if (grew >= 0) { EXPECT_LT(grew, 64 << 20); }
    // Every cut of a good file fails cleanly.
    for (size_t n = 0; n < good.size(); ++n) EXPECT_NE(Load(good.substr(0, n), b), "") << n;
}

TEST(Hips, Registry) {
    EXPECT_STREQ(BitmapLoaders().FindLoader("HIPS")->ClassName(), "THIPSLoader");
    EXPECT_STREQ(BitmapLoaders().FindLoader("HIP")->ClassName(), "THIPSLoader");
    EXPECT_THROW(BitmapLoaders().FindSaver("HIPS"), EUnsupportedFileFormat);
}

}  // namespace
