// Metafiles: script-made WMF and EMF scenes against numpy's drawing and
// ImageMagick's (libwmf) reading; our WMF read by ImageMagick and our EMF through
// emf2svg-conv; exact read-back; the reduction to 8 bit; hostile files.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <cstring>
#include <set>

#include "imagefile/Metafile.h"
#include "imagefile/WMFLoader.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;
using imagetest::U16;
using imagetest::U32;

namespace {

std::string Load(const std::string& bytes, TLinearBitmap& b, const std::string& ext) {
    return imagetest::LoadBytes(bytes, ext, b);
}

// Pixels of `got` (R,G,B) with no pixel of `want` within one pixel whose channels
// are all within `tolerance`; pixels inside `skip` (x0, y0, x1, y1) are left out.
int FarPixels(const std::string& got, const std::string& want, int w, int h, int tolerance, const int skip[4] = nullptr) {
    int far = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (skip && x >= skip[0] && y >= skip[1] && x < skip[2] && y < skip[3]) continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    const int xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                    bool same = true;
                    for (int c = 0; c < 3; ++c)
                        same &= std::abs(uint8_t(got[3 * (y * w + x) + c]) - uint8_t(want[3 * (yy * w + xx) + c])) <= tolerance;
                    near = same;
                }
            far += !near;
        }
    return far;
}

int ExactDifferences(const std::string& a, const std::string& b) {
    int n = 0;
    for (size_t i = 0; i + 2 < std::min(a.size(), b.size()); i += 3) n += a.compare(i, 3, b, i, 3) != 0;
    return n;
}

TEST(Metafile, ScriptMadeScenesRenderLikeNumpyAndImageMagick) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy'") != 0) GTEST_SKIP() << "no numpy";
    testutil::TempDir dir;
    const std::string prefix = dir.File("scene");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/imagefile/metafile_oracle.py' '" + prefix + "'"), 0);
    const std::string want = testutil::ReadAll(prefix + ".rgb");
    for (const std::string ext : {"emf", "wmf"}) {
        TLinearBitmap b;
        ASSERT_EQ(Load(testutil::ReadAll(prefix + "." + ext), b, ext), "") << ext;
        ASSERT_EQ(b.Width, 64) << ext;
        ASSERT_EQ(b.Height, 48) << ext;
        // 22 colours: 8 bit, white first (the top-left pixel).
        EXPECT_EQ(b.PixelFormat, pf8bit) << ext;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Palette), 3), "\xFF\xFF\xFF") << ext;
        const std::string got = imagetest::RgbBytes(b);
        // Edges of the triangle may fall on the other side of a pixel centre.
        EXPECT_LE(ExactDifferences(got, want), 6) << ext;
        EXPECT_EQ(FarPixels(got, want, 64, 48, 0), 0) << ext;
        if (ext == "wmf" && testutil::HaveProgram("convert-im6.q16")) {
            std::string im;
            ASSERT_EQ(testutil::Run("convert-im6.q16 -density 96 '" + prefix + ".wmf' -depth 8 rgb:-", &im), 0);
            ASSERT_EQ(im.size(), want.size());
            // libwmf smooths edges and places a stretched bitmap that does not cover
            // the picture elsewhere: the shapes agree within a pixel, the bitmap
            // against numpy above.
            const int bitmapArea[4] = {34, 24, 64, 48};
            EXPECT_EQ(FarPixels(got, im, 64, 48, 96, bitmapArea), 0);
        }
    }
}

TEST(Metafile, OurFilesReadBackExactlyAndElsewhere) {
    const bool magick = testutil::HaveProgram("convert-im6.q16"), emf2svg = testutil::HaveProgram("emf2svg-conv");
    testutil::TempDir dir;
    for (const int format : {pf24bit, pf8bit, pf16bit}) {
        TLinearBitmap p;
        imagetest::RandomPicture(p, 37, 23, format, 40 + format);
        const std::string rgb = imagetest::RgbBytes(p);
        for (const std::string ext : {"wmf", "emf"}) {
            const std::string what = ext + " " + std::to_string(format), file = dir.File("o." + ext);
            const std::string bytes = imagetest::SaveBytes(p, ext);
            testutil::WriteAll(file, bytes);
            TLinearBitmap back;
            ASSERT_EQ(Load(bytes, back, ext), "") << what;
            EXPECT_EQ(back.Width, 37) << what;
            EXPECT_EQ(back.Height, 23) << what;
            EXPECT_EQ(back.PixelFormat, format == pf24bit ? pf24bit : pf8bit) << what;  // grey and palette: few colours
            EXPECT_TRUE(imagetest::RgbBytes(back) == rgb) << what;
            if (magick && ext == "wmf") {
                std::string im;
                ASSERT_EQ(testutil::Run("convert-im6.q16 -density 96 '" + file + "' -depth 8 rgb:-", &im), 0);
                EXPECT_TRUE(im == rgb) << "ImageMagick " << what;
            }
            if (emf2svg && ext == "emf") {
                ASSERT_EQ(testutil::Run("emf2svg-conv -i '" + file + "' -o '" + dir.File("o.svg") + "'"), 0);
                const std::string svg = testutil::ReadAll(dir.File("o.svg"));
                EXPECT_NE(svg.find("<image width=\"37.0000\" height=\"23.0000\" x=\"0.0000\" y=\"0.0000\""), std::string::npos)
                    << svg.substr(0, 400);
                const size_t at = svg.find("base64,"), end = svg.find('"', at);
                ASSERT_NE(at, std::string::npos);
                const QImage png = QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(svg.substr(at + 7, end - at - 7))));
                TLinearBitmap embedded;
                embedded.Assign(png.convertToFormat(QImage::Format_RGB888));
                EXPECT_TRUE(imagetest::RgbBytes(embedded) == rgb) << "emf2svg " << what;
            }
        }
    }
}

TEST(Metafile, RecordsOfOurFiles) {
    TLinearBitmap p;
    imagetest::RandomPicture(p, 5, 3, pf8bit, 2);
    const std::string emf = TMetafile::MakeEnhanced(p);
    // Header (108 bytes), SETSTRETCHBLTMODE 3, STRETCHDIBITS with the 256-entry
    // palette and rows of 8 bytes, EOF.
    EXPECT_EQ(emf.substr(0, 8), U32(1) + U32(108));
    EXPECT_EQ(emf.substr(8, 32), U32(0) + U32(0) + U32(4) + U32(2) + U32(0) + U32(0) + U32(132) + U32(79));
    EXPECT_EQ(emf.substr(40, 8), U32(0x464D4520) + U32(0x10000));
    EXPECT_EQ(emf.substr(48, 8), U32(uint32_t(emf.size())) + U32(4));
    EXPECT_EQ(emf.substr(108, 12), U32(21) + U32(12) + U32(3));
    const uint32_t dib = 40 + 1024 + 8 * 3;
    EXPECT_EQ(emf.substr(120, 8), U32(81) + U32(80 + dib));
    EXPECT_EQ(emf.substr(168, 24), U32(80) + U32(1064) + U32(1144) + U32(24) + U32(0) + U32(0x00CC0020));
    EXPECT_EQ(emf.substr(emf.size() - 20), U32(14) + U32(20) + U32(0) + U32(16) + U32(20));

    const std::string wmf = TMetafile::MakePlaceable(p);
    EXPECT_EQ(wmf.substr(0, 16), U32(0x9AC6CDD7) + U16(0) + U16(0) + U16(0) + U16(5) + U16(3) + U16(96));
    uint16_t sum = 0;
    for (int i = 0; i < 11; ++i) sum ^= uint16_t(uint8_t(wmf[2 * i]) | uint8_t(wmf[2 * i + 1]) << 8);
    EXPECT_EQ(sum, 0);  // the checksum makes the first eleven words XOR to 0
    EXPECT_EQ(wmf.substr(22, 6), U16(1) + U16(9) + U16(0x300));
    EXPECT_EQ(wmf.substr(28, 4), U32(uint32_t(wmf.size() - 22) / 2));
    EXPECT_EQ(wmf.substr(40, 20), U32(5) + U16(0x020B) + U16(0) + U16(0) + U32(5) + U16(0x020C) + U16(3) + U16(5));
    EXPECT_EQ(wmf.substr(60, 8), U32(4) + U16(0x0107) + U16(3));
    EXPECT_EQ(wmf.substr(68, 6), U32(14 + dib / 2) + U16(0x0F43));
    EXPECT_EQ(wmf.substr(wmf.size() - 6), U32(3) + U16(0));
}

TEST(Metafile, AtMost256ColoursBecome8BitInFirstAppearanceOrder) {
    for (const int colours : {1, 256, 257, 300}) {
        TLinearBitmap p;
        p.New(colours, 2, pf24bit);
        // Row 0 from the last colour down, row 1 the other way round.
        for (int x = 0; x < colours; ++x) {
            const int c = colours - 1 - x;
            uint8_t* a = p.ScanLine(0) + 3 * x;
            a[0] = uint8_t(c), a[1] = uint8_t(c >> 8), a[2] = 77;
            uint8_t* b = p.ScanLine(1) + 3 * (colours - 1 - x);
            std::memcpy(b, a, 3);
        }
        TLinearBitmap back;
        ASSERT_EQ(Load(TMetafile::MakeEnhanced(p), back, "EMF"), "");
        EXPECT_EQ(back.PixelFormat, colours <= 256 ? pf8bit : pf24bit) << colours;
        EXPECT_TRUE(imagetest::RgbBytes(back) == imagetest::RgbBytes(p)) << colours;
        if (colours <= 256) {
            for (int x = 0; x < colours; ++x) EXPECT_EQ(back.ScanLine(0)[x], x) << colours;  // first appearance
        }
    }
}

TEST(Metafile, HostileFiles) {
    TLinearBitmap b, p;
    imagetest::RandomPicture(p, 6, 4, pf24bit, 3);
    const std::string emf = TMetafile::MakeEnhanced(p), wmf = TMetafile::MakePlaceable(p);
    const std::string neither = "Not an enhanced or placeable Windows metafile",
                      pastEnd = "Metafile record runs past the end of the file";
    EXPECT_EQ(Load("plain text", b, "WMF"), neither);
    EXPECT_EQ(Load(std::string(200, '\0'), b, "EMF"), neither);
    // A record claiming more than the file holds, and every cut of both files.
    std::string bad = emf;
    bad.replace(124, 4, U32(1 << 20));
    EXPECT_EQ(Load(bad, b, "EMF"), pastEnd);
    bad = wmf;
    bad.replace(68, 4, U32(1 << 20));
    EXPECT_EQ(Load(bad, b, "WMF"), pastEnd);
    for (size_t n = 0; n < emf.size(); n += 7) EXPECT_NE(Load(emf.substr(0, n), b, "EMF"), "") << n;
    for (size_t n = 0; n < wmf.size(); n += 7) EXPECT_NE(Load(wmf.substr(0, n), b, "WMF"), "") << n;
    // A frame beyond the cap, an empty frame, no units per inch.
    bad = emf;
    bad.replace(32, 8, U32(0x7FFFFFFF) + U32(0x7FFFFFFF));
    EXPECT_EQ(Load(bad, b, "EMF"), kInvalidBitmapSize);
    bad.replace(32, 8, U32(0) + U32(0));
    EXPECT_EQ(Load(bad, b, "EMF"), kInvalidBitmapSize);
    bad = wmf;
    bad.replace(14, 2, U16(0));
    EXPECT_EQ(Load(bad, b, "WMF"), kInvalidBitmapSize);
    // Nonsense inside records is drawn as far as it makes sense: a bitmap record
    // whose header lies outside it, a polygon of a billion points, a huge pen.
    bad = emf;
    bad.replace(120 + 48, 4, U32(0xFFFFFF00));
    ASSERT_EQ(Load(bad, b, "EMF"), "");
    EXPECT_EQ(b.PixelFormat, pf8bit);  // white only
    std::string records = U32(3) + U32(36) + std::string(16, '\0') + U32(1000000000) + U32(1) + U32(2);
    records += U32(38) + U32(28) + U32(1) + U32(0) + U32(0x7FFFFFFF) + U32(0) + U32(0);
    bad = emf.substr(0, 120) + records + emf.substr(120);
    ASSERT_EQ(Load(bad, b, "EMF"), "");
    EXPECT_TRUE(imagetest::RgbBytes(b) == imagetest::RgbBytes(p));
}

TEST(Metafile, TextIsDrawnInTheTextColourWithItsBackground) {
    // A 40 x 20 EMF: EXTTEXTOUTW "Hi" in red at (3, 2) with a transparent
    // background, then at (3, 12) on an opaque blue one.
    TLinearBitmap white;
    white.New(40, 20, pf24bit);
    white.Clear(0xFFFFFF);
    std::string emf = TMetafile::MakeEnhanced(white);
    auto text = [](int x, int y) {
        std::string r = std::string(16, '\0') + U32(1) + U32(0) + U32(0);  // bounds, graphics mode, scales
        r += U32(x) + U32(y) + U32(2) + U32(76) + U32(0) + std::string(16, '\0') + U32(0);
        r += std::string("H\0i\0", 4);
        return U32(84) + U32(8 + uint32_t(r.size())) + r;
    };
    std::string records = U32(24) + U32(12) + U32(0x0000FF);  // text colour red
    records += U32(18) + U32(12) + U32(1) + text(3, 2);       // transparent
    records += U32(25) + U32(12) + U32(0xFF0000) + U32(18) + U32(12) + U32(2) + text(3, 12);  // opaque on blue
    // The records go after the bitmap record, before EOF.
    emf.insert(emf.size() - 20, records);
    TLinearBitmap b;
    ASSERT_EQ(Load(emf, b, "EMF"), "");
    int red = 0, blue = 0, redOutside = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const std::string px = imagetest::RgbBytes(b).substr(3 * (y * 40 + x), 3);
            const bool isRed = px == std::string("\xFF\x00\x00", 3), isBlue = px == std::string("\x00\x00\xFF", 3);
            red += isRed, blue += isBlue;
            if (isRed && (x < 3 || y < 2)) ++redOutside;
        }
    EXPECT_GT(red, 10);
    EXPECT_GT(blue, 20);
    EXPECT_EQ(redOutside, 0);
}

TEST(Metafile, Registry) {
    EXPECT_EQ(BitmapLoaders().Loader(6), &WMFLoader());
    for (const std::string ext : {"WMF", "EMF"}) {
        EXPECT_STREQ(BitmapLoaders().FindLoader(ext)->ClassName(), "TWMFLoader");
        EXPECT_STREQ(BitmapLoaders().FindSaver(ext)->ClassName(), "TWMFLoader");
    }
    EXPECT_EQ(WMFLoader().GetLoadFilter(), "Windows metafile (*.wmf,*.emf)|*.wmf;*.emf");
    EXPECT_EQ(WMFLoader().GetSaveFilter(), "Windows metafile (*.wmf)|*.wmf|Windows enhanced metafile (*.emf)|*.emf");
    // The registry in its order.
    const std::vector<std::string> order = {"TImageDLLLoader", "TICOLoader", "TJPEGLoader", "TPNGLoader",
                                            "THIPSLoader",     "TBMPLoader", "TWMFLoader",  "TPCXLoader"};
    ASSERT_EQ(BitmapLoaders().Count(), int(order.size()));
    for (int i = 0; i < BitmapLoaders().Count(); ++i) EXPECT_EQ(BitmapLoaders().Loader(i)->ClassName(), order[i]);
}

}  // namespace
