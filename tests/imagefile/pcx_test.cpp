// PCX: our files read by PIL, ImageMagick and netpbm; their files read by us;
// header and run bytes to the byte; hand-made hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imagefile/JPEGLoader.h"
#include "imagefile/PCXLoader.h"
#include "imagefile/PNGLoader.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;
using imagetest::U16;

namespace {

std::string Load(const std::string& bytes, TLinearBitmap& b) { return imagetest::LoadBytes(bytes, "PCX", b); }

// Pixels in runs of random lengths (1 to 100) so that both run forms and runs
// crossing 63 are written.
void RunsPicture(TLinearBitmap& b, int w, int h, int format, unsigned seed) {
    imagetest::RandomPicture(b, w, h, format, seed);
    std::mt19937 rng(seed + 1);
    for (int32_t k = 0; k < b.Size;) {
        const int len = 1 + static_cast<int>(rng() % 100);
        const uint8_t v = static_cast<uint8_t>(rng());
        for (int i = 0; i < len && k < b.Size; ++i) b.Map[k++] = v;
    }
}

// A 128-byte header.
std::string Header(int planes, int xMin, int yMin, int xMax, int yMax, int bytesPerLine, int manufacturer = 10,
                   int version = 5, int encoding = 1, int bits = 8) {
    std::string h(128, '\0');
    h[0] = char(manufacturer), h[1] = char(version), h[2] = char(encoding), h[3] = char(bits);
    h.replace(4, 8, U16(xMin) + U16(yMin) + U16(xMax) + U16(yMax));
    h[65] = char(planes);
    h.replace(66, 2, U16(bytesPerLine));
    return h;
}

std::string Palette(unsigned seed) {
    std::mt19937 rng(seed);
    std::string p = "\x0C";
    for (int i = 0; i < 768; ++i) p += char(rng());
    return p;
}

TEST(Pcx, HeaderAndRunBytes) {
    TLinearBitmap b;
    b.New(3, 1, pf8bit);
    std::memcpy(b.Palette, GrayPalette, 768);
    b.Map[0] = 200, b.Map[1] = 200, b.Map[2] = 5;
    std::string f = imagetest::SaveBytes(b, "PCX");
    ASSERT_EQ(f.size(), 128u + 3 + 769);
    EXPECT_EQ(f.substr(0, 4), "\x0A\x05\x01\x08");
    EXPECT_EQ(f.substr(4, 12), U16(0) + U16(0) + U16(2) + U16(0) + U16(96) + U16(96));
    EXPECT_EQ(f.substr(16, 49), std::string(49, '\0'));  // 16-colour palette and reserved byte
    EXPECT_EQ(f[65], 1);
    EXPECT_EQ(f.substr(66, 2), U16(3));
    EXPECT_EQ(f.substr(68, 60), std::string(60, '\0'));
    EXPECT_EQ(f.substr(128, 3), "\xC2\xC8\x05");
    EXPECT_EQ(f[131], 12);
    EXPECT_EQ(f.substr(132 + 3 * 7, 3), "\x07\x07\x07");

    // 24 bit, 70 x 1 of one colour: planes red, green, blue, each 63 + 7.
    b.New(70, 1, pf24bit);
    b.Clear(0x102030);  // red 0x30
    f = imagetest::SaveBytes(b, "PCX");
    EXPECT_EQ(f[65], 3);
    EXPECT_EQ(f.substr(128), "\xFF\x30\xC7\x30\xFF\x20\xC7\x20\xFF\x10\xC7\x10");

    // A lone byte of 192 or more is a run of one.
    b.New(2, 1, pf8bit);
    b.Map[0] = 192, b.Map[1] = 7;
    EXPECT_EQ(imagetest::SaveBytes(b, "PCX").substr(128, 3), "\xC1\xC0\x07");
}

TEST(Pcx, RoundTripsOfEveryFormatAndOddWidths) {
    for (const int format : {pf8bit, pf16bit, pf24bit, pf32bit})
        for (const int w : {1, 63, 64, 127, 301}) {
            TLinearBitmap b, back;
            RunsPicture(b, w, 5, format, static_cast<unsigned>(w + format));
            ASSERT_EQ(Load(imagetest::SaveBytes(b, "PCX"), back), "");
            EXPECT_EQ(back.PixelFormat, format == pf8bit ? pf8bit : pf24bit);
            EXPECT_EQ(back.Width, w);
            EXPECT_TRUE(imagetest::RgbBytes(back) == imagetest::RgbBytes(b)) << format << " " << w;
        }
}

TEST(Pcx, OurFilesReadEqualInPilImageMagickAndNetpbm) {
    const bool pil = testutil::Run("/usr/bin/python3 -c 'import PIL'") == 0, magick = testutil::HaveProgram("convert-im6.q16"),
               netpbm = testutil::HaveProgram("pcxtoppm");
    if (!pil && !magick && !netpbm) GTEST_SKIP() << "no PCX reader";
    testutil::TempDir dir;
    for (const int format : {pf8bit, pf24bit})
        for (const int w : {37, 64}) {
            TLinearBitmap b;
            RunsPicture(b, w, 9, format, static_cast<unsigned>(3 * w + format));
            const std::string file = dir.File("o.pcx"), rgb = imagetest::RgbBytes(b);
            b.SaveToFile(file);
            const std::string what = std::to_string(format) + " " + std::to_string(w);
            if (pil) {
                ASSERT_EQ(testutil::Run("/usr/bin/python3 -c \"import sys; from PIL import Image; open(sys.argv[2], 'wb')"
                                        ".write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" + file + "' '" +
                                        dir.File("p.rgb") + "'"),
                          0);
                EXPECT_TRUE(testutil::ReadAll(dir.File("p.rgb")) == rgb) << "PIL " << what;
            }
            if (magick) {
                ASSERT_EQ(testutil::Run("convert-im6.q16 '" + file + "' -depth 8 rgb:'" + dir.File("m.rgb") + "'"), 0);
                EXPECT_TRUE(testutil::ReadAll(dir.File("m.rgb")) == rgb) << "ImageMagick " << what;
            }
            if (netpbm) {
                std::string ppm;
                ASSERT_EQ(testutil::Run("pcxtoppm '" + file + "' 2>/dev/null", &ppm), 0);
                const std::string head = "P6\n" + std::to_string(w) + " 9\n255\n";
                ASSERT_EQ(ppm.substr(0, head.size()), head);
                EXPECT_TRUE(ppm.substr(head.size()) == rgb) << "netpbm " << what;
            }
        }
}

TEST(Pcx, OtherWritersFilesEqualTheirPixels) {
    testutil::TempDir dir;
    const std::string src = dir.File("src.ppm");
    {
        TLinearBitmap b;
        RunsPicture(b, 61, 37, pf24bit, 11);
        testutil::WriteAll(src, "P6\n61 37\n255\n" + imagetest::RgbBytes(b));
    }
    int files = 0;
    auto check = [&](const std::string& command, const std::string& what, int format) {
        const std::string pcx = dir.File("t.pcx"), raw = dir.File("t.rgb");
        ASSERT_EQ(testutil::Run("(" + command + ") 2>/dev/null"), 0) << what;
        ASSERT_EQ(testutil::Run("/usr/bin/python3 -c \"import sys; from PIL import Image; open(sys.argv[2], 'wb')"
                                ".write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" + pcx + "' '" + raw + "'"),
                  0);
        TLinearBitmap b;
        ASSERT_EQ(Load(testutil::ReadAll(pcx), b), "") << what;
        EXPECT_EQ(b.PixelFormat, format) << what;
        EXPECT_EQ(b.Width, 61) << what;
        EXPECT_TRUE(imagetest::RgbBytes(b) == testutil::ReadAll(raw)) << what;
        ++files;
    };
    if (testutil::Run("/usr/bin/python3 -c 'import PIL'") != 0) GTEST_SKIP() << "no PIL";
    const std::string py = "/usr/bin/python3 -c \"import sys; from PIL import Image; Image.open(sys.argv[1])";
    check(py + ".save(sys.argv[2])\" '" + src + "' '" + dir.File("t.pcx") + "'", "PIL RGB", pf24bit);
    check(py + ".convert('L').save(sys.argv[2])\" '" + src + "' '" + dir.File("t.pcx") + "'", "PIL L", pf8bit);
    check(py + ".quantize(40).save(sys.argv[2])\" '" + src + "' '" + dir.File("t.pcx") + "'", "PIL P", pf8bit);
    if (testutil::HaveProgram("convert-im6.q16")) {
        check("convert-im6.q16 '" + src + "' PCX:'" + dir.File("t.pcx") + "'", "ImageMagick", pf24bit);
        check("convert-im6.q16 '" + src + "' -colors 30 -type Palette PCX:'" + dir.File("t.pcx") + "'", "ImageMagick palette",
              pf8bit);
    }
    if (testutil::HaveProgram("ppmtopcx")) {
        check("ppmtopcx -24bit '" + src + "' > '" + dir.File("t.pcx") + "'", "ppmtopcx -24bit", pf24bit);
        check("pnmquant 50 '" + src + "' | ppmtopcx -8bit > '" + dir.File("t.pcx") + "'", "ppmtopcx -8bit", pf8bit);
    }
    EXPECT_GE(files, 3);
}

TEST(Pcx, HandMadeFilesAndHostileInput) {
    TLinearBitmap b;
    // 2 x 2 in rows of 4 bytes at offset (5, 7): the padding is dropped; a run byte
    // of 192 (count 0) repeats its value once; a run crosses from row 0 into row 1.
    const std::string data = std::string("\x01\x02\xC0\x09", 4) + "\xC3\x04" + "\x05\x06";
    const std::string pal = Palette(1);
    ASSERT_EQ(Load(Header(1, 5, 7, 6, 8, 4) + data + pal, b), "");
    ASSERT_EQ(b.Width, 2);
    ASSERT_EQ(b.Height, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Map), 4), "\x01\x02\x04\x04");
    EXPECT_EQ(b.Palette[3 * 4 + 2], uint8_t(pal[1 + 3 * 4]));  // red of entry 4
    EXPECT_EQ(b.Palette[3 * 4], uint8_t(pal[3 + 3 * 4]));      // blue of entry 4
    // Bytes before the mark are passed over; no mark at all gives the grey palette.
    ASSERT_EQ(Load(Header(1, 5, 7, 6, 8, 4) + data + "\x00\x00" + pal, b), "");
    EXPECT_EQ(b.Palette[3 * 4 + 2], uint8_t(pal[1 + 3 * 4]));
    ASSERT_EQ(Load(Header(1, 5, 7, 6, 8, 4) + data, b), "");
    EXPECT_TRUE(b.IsGrayScale());

    // Three planes: red, green, blue of each row in turn.
    ASSERT_EQ(Load(Header(3, 0, 0, 1, 0, 2) + "\x01\x02\x03\x04\xC2\x05", b), "");
    ASSERT_EQ(b.PixelFormat, pf24bit);
    EXPECT_EQ(imagetest::RgbBytes(b), "\x01\x03\x05\x02\x04\x05");

    const std::string refused = kUnsupportedFileFormat;
    EXPECT_EQ(Load(Header(4, 0, 0, 1, 0, 2) + std::string(8, '\1'), b), refused);
    EXPECT_EQ(Load(Header(2, 0, 0, 1, 0, 2) + std::string(8, '\1'), b), refused);
    EXPECT_EQ(Load(Header(1, 0, 0, 1, 0, 2, 11) + "\1\1", b), refused);
    EXPECT_EQ(Load(Header(1, 0, 0, 1, 0, 2, 10, 3) + "\1\1", b), refused);
    EXPECT_EQ(Load(Header(1, 0, 0, 1, 0, 2, 10, 5, 0) + "\1\1", b), refused);
    EXPECT_EQ(Load(Header(1, 0, 0, 1, 0, 2, 10, 5, 1, 4) + "\1\1", b), refused);
    // Xmax below Xmin, Ymax below Ymin, rows shorter than the picture.
    EXPECT_EQ(Load(Header(1, 5, 0, 4, 0, 2) + "\1\1", b), refused);
    EXPECT_EQ(Load(Header(1, 0, 5, 1, 4, 2) + "\1\1", b), refused);
    EXPECT_EQ(Load(Header(1, 0, 0, 3, 0, 2) + "\1\1\1\1", b), refused);
    EXPECT_EQ(Load(Header(1, 0, 0, 1, 0, 0), b), refused);
    // A run past the picture's end, truncation anywhere.
    EXPECT_EQ(Load(Header(1, 0, 0, 1, 1, 2) + "\x01\x02\x03\xC2\x04" + pal, b), kErrorInBitmapData);
    const std::string good = Header(1, 5, 7, 6, 8, 4) + data + pal;
    for (size_t n = 0; n < 128 + data.size(); ++n) EXPECT_NE(Load(good.substr(0, n), b), "") << n;
    // Big pictures: over the cap, and a small file that claims one (refused before
    // a buffer is taken, so this does not allocate gigabytes).
    EXPECT_EQ(Load(Header(3, 0, 0, 65534, 65534, 65535) + "\xFF\x01", b), kInvalidBitmapSize);
    const long long grew = imagetest::PeakGrowthBytes([&] {
        EXPECT_EQ(Load(Header(3, 0, 0, 19999, 9999, 20000) + std::string(1000, '\xFF'), b), kReadLessThanExpected);
    });
    if (grew >= 0) { EXPECT_LT(grew, 64 << 20); }
    // A file of only long runs just large enough is read (here 4 MB, 63 bytes per two).
    const int64_t pixels = 2000 * 2000, runs = (pixels + 62) / 63;
    std::string bomb = Header(1, 0, 0, 1999, 1999, 2000);
    for (int64_t i = 0; i < runs; ++i) bomb += "\xFF\x07";
    EXPECT_EQ(Load(bomb, b), kErrorInBitmapData);  // the last run reaches past the end
    bomb.resize(bomb.size() - 2);
    bomb += std::string(1, char(0xC0 | (pixels - (runs - 1) * 63))) + "\x07";
    // One picture buffer: the peak rises by the picture and the file, not twice the picture.
    const long long peak = imagetest::PeakGrowthBytes([&] { ASSERT_EQ(Load(bomb, b), ""); });
    EXPECT_EQ(b.Map[pixels - 1], 7);
    b.Dispose();
    if (peak >= 0) { EXPECT_LT(peak, pixels + 2 * int64_t(bomb.size()) + (8 << 20)); }
}

TEST(Pcx, RegistryAndProgress) {
    EXPECT_STREQ(BitmapLoaders().FindLoader("PCX")->ClassName(), "TPCXLoader");
    EXPECT_STREQ(BitmapLoaders().FindSaver("PCX")->ClassName(), "TPCXLoader");
    EXPECT_EQ(BitmapLoaders().Loader(BitmapLoaders().Count() - 1), &PCXLoader());  // the last
    EXPECT_EQ(PCXLoader().GetSaveFilter(), "Zsoft Paintbrush (*.pcx)|*.pcx");
    std::vector<int> seen;
    LoaderProgress = [&](int p) { seen.push_back(p); };
    TLinearBitmap b, back;
    RunsPicture(b, 5, 4, pf24bit, 2);
    ASSERT_EQ(Load(imagetest::SaveBytes(b, "PCX"), back), "");
    LoaderProgress = nullptr;
    EXPECT_EQ(seen, (std::vector<int>{25, 50, 75, 100}));
}

}  // namespace
