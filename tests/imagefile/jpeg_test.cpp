// JPEG: loading against djpeg at every scale on files of cjpeg, ImageMagick and
// QImage; saving byte for byte against cjpeg; the size-target search against a
// Python replay over cjpeg's sizes; broken files give libjpeg's message.
#include <gtest/gtest.h>

#include <QImage>
#include <sstream>

#include "imagefile/JPEGLoader.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

struct Pnm {
    int kind = 0, w = 0, h = 0;
    std::string pixels;
};

Pnm ReadPnm(const std::string& bytes) {
    Pnm p;
    std::istringstream in(bytes);
    std::string magic;
    int maxval;
    in >> magic >> p.w >> p.h >> maxval;
    in.get();
    p.kind = magic == "P5" ? 5 : 6;
    p.pixels = bytes.substr(static_cast<size_t>(in.tellg()));
    return p;
}

std::string Load(const std::string& bytes, TLinearBitmap& b) { return imagetest::LoadBytes(bytes, "jpg", b); }

std::string Save(const TLinearBitmap& b) {
    TMemStream mem;
    b.SaveToStream(mem, "JPG");
    return mem.ToString();
}

// "" when the picture holds the PNM's samples (grey as 8 bit, colour as B,G,R).
std::string Compare(const TLinearBitmap& b, const Pnm& p) {
    if (b.Width != p.w || b.Height != p.h || b.PixelFormat != (p.kind == 5 ? pf8bit : pf24bit))
        return "picture " + std::to_string(b.Width) + "x" + std::to_string(b.Height) + " format " +
               std::to_string(b.PixelFormat);
    const int c = p.kind == 5 ? 1 : 3;
    std::string out;
    for (int64_t i = 0, shown = 0; i < int64_t{p.w} * p.h * c && shown < 4; ++i) {
        const uint8_t ours = b.Map[c == 1 ? i : i - i % 3 + 2 - i % 3], theirs = static_cast<uint8_t>(p.pixels[i]);
        if (ours != theirs) out += " sample " + std::to_string(i) + ": " + std::to_string(ours) + "!=" + std::to_string(theirs), ++shown;
    }
    return out;
}

// "" when the files are equal, else where they first differ.
std::string Differ(const std::string& a, const std::string& b) {
    if (a == b) return {};
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return "sizes " + std::to_string(a.size()) + "/" + std::to_string(b.size()) + ", first difference at byte " + std::to_string(i);
}

TLinearBitmap FromPnm(const Pnm& p) {
    TLinearBitmap b;
    b.New(p.w, p.h, pf24bit);
    for (int64_t i = 0; i < int64_t{p.w} * p.h * 3; ++i) b.Map[i] = static_cast<uint8_t>(p.pixels[i - i % 3 + 2 - i % 3]);
    return b;
}

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("cjpeg") || !testutil::HaveProgram("convert-im6.q16")) GTEST_SKIP() << "no cjpeg or ImageMagick";
        ASSERT_EQ(testutil::Run("convert-im6.q16 -seed 7 -size 83x61 plasma:fractal -attenuate 0.2 +noise Gaussian -depth 8 '" + src_ +
                                "'"),
                  0);
        ASSERT_EQ(testutil::Run("convert-im6.q16 '" + src_ + "' -colorspace Gray -type TrueColor -depth 8 '" + grey_ + "'"), 0);
    }
    void TearDown() override { JPEGLoader() = TJPEGLoader(); }
    std::string Cjpeg(const std::string& options, const std::string& source) {
        std::string out;
        EXPECT_EQ(testutil::Run("cjpeg " + options + " '" + source + "'", &out), 0) << options;
        return out;
    }
    testutil::TempDir dir_;
    const std::string src_ = dir_.File("src.ppm"), grey_ = dir_.File("grey.ppm");
};

TEST_F(JpegTest, LoadingEqualsDjpegAtEveryScale) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string options :
         {"-quality 5 -sample 1x1", "-quality 50", "-quality 100 -sample 1x1", "-progressive -quality 80",
          "-restart 1 -quality 75", "-optimize", "-arithmetic", "-grayscale"})
        files.emplace_back(options, Cjpeg(options, src_));
    ASSERT_EQ(testutil::Run("convert-im6.q16 '" + src_ + "' -quality 85 '" + dir_.File("im.jpg") + "'"), 0);
    files.emplace_back("ImageMagick", testutil::ReadAll(dir_.File("im.jpg")));
    ASSERT_TRUE(QImage(QString::fromStdString(src_)).save(QString::fromStdString(dir_.File("qt.jpg")), "JPG", 70));
    files.emplace_back("QImage", testutil::ReadAll(dir_.File("qt.jpg")));
    for (const auto& [name, bytes] : files) {
        const std::string file = dir_.File("t.jpg");
        testutil::WriteAll(file, bytes);
        for (int n : {1, 2, 4, 8}) {
            // The least width that still steps down to 1/n.
            JPEGLoader().MinWidth = n == 1 ? INT32_MAX : (83 * 2 / n + (83 * 2 % n != 0)) / 2;
            JPEGLoader().MinHeight = 1;
            std::string ref;
            ASSERT_EQ(testutil::Run("djpeg -dct int -scale 1/" + std::to_string(n) + " -pnm '" + file + "'", &ref), 0);
            TLinearBitmap b;
            ASSERT_EQ(Load(bytes, b), "") << name;
            EXPECT_EQ(Compare(b, ReadPnm(ref)), "") << name << " 1/" << n;
            EXPECT_EQ(JPEGLoader().FullWidth * 1000 + JPEGLoader().FullHeight, 83061);
        }
    }
}

TEST_F(JpegTest, SavesEqualCjpegAndGreyPicturesWriteOneComponent) {
    const TLinearBitmap colour = FromPnm(ReadPnm(testutil::ReadAll(src_)));
    for (int q : {0, 1, 37, 100}) {
        JPEGLoader().Quality = q;
        EXPECT_EQ(Differ(Save(colour), Cjpeg("-quality " + std::to_string(q ? q : 90) + " -baseline", src_)), "") << q;
    }
    JPEGLoader().Quality = 0;
    TLinearBitmap grey = FromPnm(ReadPnm(testutil::ReadAll(grey_)));
    ASSERT_TRUE(grey.IsGrayScale());
    const std::string file = Save(grey);
    EXPECT_EQ(Differ(file, Cjpeg("-quality 90 -baseline -grayscale", grey_)), "");
    const size_t sof = file.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    EXPECT_EQ(file[sof + 9], 1);  // components
    TLinearBitmap back;
    ASSERT_EQ(Load(file, back), "");
    EXPECT_EQ(back.PixelFormat, pf8bit);
    EXPECT_TRUE(back.IsGrayScale());
    // 8-bit grey, 16-bit grey and 32-bit pictures save as their 24-bit or grey form.
    TLinearBitmap grey8, grey16, colour32;
    grey8.New(grey.Width, grey.Height, pf8bit);
    colour32.Assign(colour), colour32.SetPixelFormat(pf32bit);
    EXPECT_EQ(Differ(Save(colour32), Save(colour)), "");
    grey16.New(grey.Width, grey.Height, pf16bit);
    for (int64_t i = 0; i < int64_t{grey.Width} * grey.Height; ++i) grey16.Map[2 * i] = 0x5A, grey16.Map[2 * i + 1] = grey.Map[3 * i];
    EXPECT_EQ(Differ(Save(grey16), file), "");
    std::memcpy(grey8.Palette, GrayPalette, 768);
    for (int64_t i = 0; i < grey8.Size; ++i) grey8.Map[i] = grey.Map[3 * i];
    EXPECT_EQ(Differ(Save(grey8), file), "");
}

TEST_F(JpegTest, TargetSizeSearchFollowsThePythonReplay) {
    const TLinearBitmap colour = FromPnm(ReadPnm(testutil::ReadAll(src_)));
    const int64_t at90 = static_cast<int64_t>(Cjpeg("-quality 90 -baseline", src_).size());
    struct Case {
        int start, target;
    };
    const Case cases[] = {{0, 50}, {0, 10000000}, {0, int(at90 / 2)}, {0, int(at90 * 4 / 5)}, {60, int(at90 / 3)}};
    std::string args;
    for (const Case& c : cases) args += " " + std::to_string(c.target);
    std::string replay;
    for (int start : {90, 60}) {
        std::string out;
        ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + std::string(TEVORIN_SOURCE_DIR) +
                                    "/tests/imagefile/jpeg_target_oracle.py' '" + src_ + "' " + std::to_string(start) + args,
                                &out),
                  0);
        replay += out;
    }
    std::istringstream lines(replay);
    std::map<std::pair<int, int>, std::pair<int, int>> predicted;  // (start, target) -> (quality, compressions)
    for (int k = 0; k < 2 * 5; ++k) {
        int target, q, n;
        lines >> target >> q >> n;
        predicted[{k < 5 ? 90 : 60, target}] = {q, n};
    }
    for (const Case& c : cases) {
        JPEGLoader().Quality = c.start;
        JPEGLoader().TargetSize = c.target;
        const std::string bytes = Save(colour);
        const auto [q, n] = predicted.at({c.start ? c.start : 90, c.target});
        EXPECT_EQ(Differ(bytes, Cjpeg("-quality " + std::to_string(q) + " -baseline", src_)), "") << c.target << " q " << q;
        EXPECT_EQ(JPEGLoader().LastCompressions, n) << c.target;
        EXPECT_EQ(JPEGLoader().Quality, c.start ? c.start : 90);
    }
    EXPECT_EQ(predicted.at({90, 10000000}).second, 1);
    EXPECT_EQ(predicted.at({90, 50}).first, 1);
}

TEST_F(JpegTest, BrokenFilesGiveLibjpegsMessage) {
    const std::string good = Cjpeg("-quality 75", src_), progressive = Cjpeg("-progressive", src_),
                      arithmetic = Cjpeg("-arithmetic", src_);
    std::string huge = good;
    const size_t sof = huge.find("\xFF\xC0");
    huge.replace(sof + 5, 4, "\xFF\x00\xFF\x00", 4);
    ASSERT_EQ(testutil::Run("convert-im6.q16 '" + src_ + "' -colorspace CMYK '" + dir_.File("cmyk.jpg") + "'"), 0);
    const std::pair<std::string, std::string> table[] = {
        {good.substr(0, good.size() / 2), "Premature end of JPEG file"},
        {progressive.substr(0, progressive.size() * 3 / 5), "*"},  // libjpeg's message where the cut falls
        {arithmetic.substr(0, arithmetic.size() / 2), "Premature end of JPEG file"},
        {"hello, world", "Not a JPEG file: starts with 0x68 0x65"},
        {"", "Empty input file"},
        {testutil::ReadAll(dir_.File("cmyk.jpg")), "Unsupported color conversion request"},
        {huge, kInvalidBitmapSize},
        {good.substr(0, good.size() - 2), ""},  // only the end marker missing
    };
    for (const auto& [bytes, message] : table) {
        TLinearBitmap b;
        const std::string error = Load(bytes, b);
        if (message == "*") EXPECT_NE(error, "");
        else EXPECT_EQ(error, message);
        EXPECT_EQ(b.Present, message.empty());
    }
    // The probe's options: reduced-scale loading with the full size, and the search.
    testutil::WriteAll(dir_.File("g.jpg"), good);
    std::string out;
    ASSERT_EQ(testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' image-load '" + dir_.File("g.jpg") + "' '" +
                                dir_.File("o.ppm") + "' --min-width 20 --min-height 1",
                            &out),
              0);
    EXPECT_EQ(out, "loader=TJPEGLoader width=21 height=16 format=6 full=83x61\n");
    ASSERT_EQ(testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' image-convert '" + dir_.File("g.jpg") + "' '" +
                                dir_.File("o.jpg") + "' --quality 100 --target-size 1000000",
                            &out),
              0);
    EXPECT_EQ(out, "compressions=1\n");
}

}  // namespace
