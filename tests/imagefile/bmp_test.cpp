// BMP: the BMP Suite against its reference pictures, files of ImageMagick and PIL
// against their source pixels, our files read back by QImage, PIL and ImageMagick,
// hand-made hostile files, and the DIB's pixel-access family.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <map>
#include <random>

#include "imagefile/BMPLoader.h"
#include "imagefile/DIBTools.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

const std::string kSuite = [] {
    const std::string root = TEVORIN_SOURCE_DIR;
    for (const std::string up : {"/..", "/../.."})
        if (std::filesystem::exists(root + up + "/shared/corpus/bmpsuite/g")) return root + up + "/shared/corpus/bmpsuite";
    return std::string();
}();

std::string Load(const std::string& bytes, TLinearBitmap& b) { return imagetest::LoadBytes(bytes, "bmp", b); }

std::string LoadFile(const std::string& path, TLinearBitmap& b) { return Load(testutil::ReadAll(path), b); }

uint32_t Rgb(const TLinearBitmap& b, int x, int y) {
    const uint8_t* p = b.PixelFormat == pf8bit ? b.Palette + 3 * b.ScanLine(y)[x] : b.ScanLine(y) + 3 * x;
    return uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
}

// "" when the picture equals `rgb` (R,G,B bytes, top row first), else the first
// differing pixels.
std::string Compare(const TLinearBitmap& b, int w, int h, const std::string& rgb, int tolerance = 0) {
    if (b.Width != w || b.Height != h || rgb.size() != size_t(w) * h * 3)
        return "size " + std::to_string(b.Width) + "x" + std::to_string(b.Height) + " against " + std::to_string(w) + "x" +
               std::to_string(h);
    std::string out;
    for (int y = 0, shown = 0; y < h && shown < 4; ++y)
        for (int x = 0; x < w && shown < 4; ++x) {
            const auto* q = reinterpret_cast<const uint8_t*>(rgb.data()) + 3 * (size_t(y) * w + x);
            const uint32_t want = uint32_t(q[0]) << 16 | q[1] << 8 | q[2];
            const uint32_t got = Rgb(b, x, y);
            bool same = true;
            for (int c = 0; c < 24; c += 8) same &= std::abs(int(got >> c & 255) - int(want >> c & 255)) <= tolerance;
            if (!same) {
                char s[64];
                std::snprintf(s, sizeof s, " (%d,%d) %06X!=%06X", x, y, Rgb(b, x, y), want);
                out += s, ++shown;
            }
        }
    return out;
}

std::string RgbOf(const QImage& image) {
    const QImage q = image.convertToFormat(QImage::Format_RGB888);
    std::string s;
    for (int y = 0; y < q.height(); ++y) s.append(reinterpret_cast<const char*>(q.constScanLine(y)), size_t(q.width()) * 3);
    return s;
}

// The reference pictures the suite's page lists for `file`, in its order.
std::vector<std::string> References(const std::string& file) {
    const std::string html = testutil::ReadAll(kSuite + "/html/bmpsuite.html");
    size_t at = html.find(">" + file + "</td>");
    const size_t end = html.find("</tr>", at);
    std::vector<std::string> refs;
    while (at != std::string::npos && (at = html.find("<img src=\"", at)) < end) {
        at += 10;
        const std::string src = html.substr(at, html.find('"', at) - at);
        if (src.rfind("../", 0) != 0) refs.push_back(kSuite + "/html/" + src);
    }
    return refs;
}

// "" when the file loads equal to its first reference of the same size.
std::string AgainstReference(const std::string& file, TLinearBitmap& b, int tolerance = 0) {
    const std::string error = LoadFile(kSuite + "/" + file, b);
    if (!error.empty()) return error;
    std::string result = "no reference";
    for (const std::string& ref : References(file)) {
        const QImage q(QString::fromStdString(ref));
        if (q.width() != b.Width || q.height() != b.Height) continue;
        return Compare(b, q.width(), q.height(), RgbOf(q), tolerance);
    }
    return result;
}

TEST(BmpSuite, GoodFilesEqualTheirReferencesInTheBitmapRulesFormat) {
    if (kSuite.empty()) GTEST_SKIP() << "no BMP Suite";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite + "/g")) {
        const std::string name = entry.path().filename().string();
        TLinearBitmap b;
        EXPECT_EQ(AgainstReference("g/" + name, b), "") << name;
        EXPECT_EQ(b.PixelFormat, name.rfind("pal", 0) == 0 ? pf8bit : pf24bit) << name;
        ++files;
    }
    EXPECT_EQ(files, 27);
}

TEST(BmpSuite, QuestionableFilesLoadRightOrAreRefused) {
    if (kSuite.empty()) GTEST_SKIP() << "no BMP Suite";
    const std::string refused = kUnsupportedFileFormat;
    const std::map<std::string, std::string> cases = {
        {"pal8os2v2", ""},          {"pal8os2v2-sz", ""},       {"pal8os2v2-40sz", ""},   {"pal8os2sp", ""},
        {"pal8os2-sz", ""},         {"pal8os2-hs", ""},         {"pal8os2v2-16", refused}, {"rgb24rle24", refused},
        {"pal1huffmsb", refused},   {"pal4rletrns", ""},        {"pal8rletrns", ""},       {"pal4rlecut", ""},
        {"pal8rlecut", ""},         {"rgb16-231", ""},          {"rgb16-3103", ""},        {"rgb32-111110", ""},
        {"rgb32-7187", ""},         {"rgb32-xbgr", ""},         {"rgb32h52", refused},     {"pal8offs", ""},
        {"pal8oversizepal", ""},    {"rgb24largepal", ""},      {"pal2", refused},         {"rgb16faketrns", ""},
        {"rgb32fakealpha", ""}};
    for (const auto& [name, want] : cases) {
        TLinearBitmap b;
        // The 8-bit reference of an 11-bit channel is off by one where the suite's
        // scaling rounds otherwise.
        const std::string got = AgainstReference("q/" + name + ".bmp", b, name == "rgb32-111110");
        // The RLE files leave pixels undefined: the reference with index 0 there.
        if (name.find("rle") != std::string::npos && name != "rgb24rle24") {
            const QImage q(QString::fromStdString(kSuite + "/html/" + name + "-0.png"));
            EXPECT_EQ(Compare(b, q.width(), q.height(), RgbOf(q)), "") << name;
            continue;
        }
        EXPECT_EQ(got, want) << name;
    }
    // Every bad file is refused or read without a fault (checked under the sanitizers).
    for (const auto& entry : std::filesystem::directory_iterator(kSuite + "/b")) {
        TLinearBitmap b;
        const std::string error = LoadFile(entry.path().string(), b);
        EXPECT_TRUE(error.empty() || error == refused || error == kInvalidBitmapSize) << entry.path() << error;
    }
}

// Little-endian header writers for hand-made files.
std::string U16(unsigned v) { return {char(v), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

// A "BM" file with a 40-byte header.
std::string Bm(int w, int h, int bits, int compression, const std::string& table, const std::string& data,
               uint32_t colours = 0) {
    const std::string header = U32(40) + U32(w) + U32(h) + U16(1) + U16(bits) + U32(compression) + U32(data.size()) +
                               U32(0) + U32(0) + U32(colours) + U32(0);
    const uint32_t offset = 14 + 40 + table.size();
    return "BM" + U32(offset + data.size()) + U32(0) + U32(offset) + header + table + data;
}

TEST(Bmp, HandMadeFilesAndHostileInput) {
    TLinearBitmap b;
    // 1 x 1, 24 bit: 58 bytes.
    const std::string tiny = Bm(1, 1, 24, 0, "", std::string("\x01\x02\x03\x00", 4));
    ASSERT_EQ(tiny.size(), 58u);
    ASSERT_EQ(Load(tiny, b), "");
    EXPECT_EQ(Rgb(b, 0, 0), 0x030201u);
    // RLE8 on a 4 x 3 picture, bottom row first: a run past the row end is clipped,
    // end of row, a move of (1, 0), a literal of three with its pad byte, no end:
    // the rows given are kept, pixels never written are index 0.
    std::string table;
    for (int i = 0; i < 4; ++i) table += std::string{char(10 * i), char(10 * i + 1), char(10 * i + 2), 0};
    const std::string rle = std::string("\x06\x01\x00\x00\x00\x02\x01\x00\x00\x03\x02\x03\x02\x00", 14);
    ASSERT_EQ(Load(Bm(4, 3, 8, 1, table, rle, 4), b), "");
    const uint8_t want[3][4] = {{0, 0, 0, 0}, {0, 2, 3, 2}, {1, 1, 1, 1}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(b.ScanLine(y)[x], want[y][x]) << x << "," << y;
    EXPECT_EQ(Rgb(b, 1, 1), 0x161514u);
    // A move far past the bottom and a huge colour count stop cleanly.
    EXPECT_EQ(Load(Bm(4, 3, 8, 1, table, std::string("\x00\x02\xFF\xFF\x05\x01", 6), 0xFFFFFFFF), b), "");
    // RLE8 with 4 bits, RLE4 with 8, a 16-bit palette file, data past the end.
    for (const std::string& bad :
         {Bm(4, 3, 4, 1, table, rle), Bm(4, 3, 8, 2, table, rle), Bm(4, 3, 16, 1, "", rle),
          Bm(4, 3, 24, 0, "", std::string(35, '\0')), Bm(4, 3, 8, 4, table, rle), std::string("BM") + std::string(60, '\0')})
        EXPECT_EQ(Load(bad, b), kUnsupportedFileFormat);
    EXPECT_EQ(Load(Bm(60000, 60000, 24, 0, "", ""), b), kInvalidBitmapSize);
    // 5-6-5 bit fields, each channel scaled as round(v x 255 / max).
    const std::string masks = U32(0xF800) + U32(0x07E0) + U32(0x001F);
    ASSERT_EQ(Load(Bm(2, 1, 16, 3, masks, U16(0x8410) + U16(0xFFFF)), b), "");
    EXPECT_EQ(Rgb(b, 0, 0), (132u << 16) | (130 << 8) | 132);  // 16/31, 32/63, 16/31
    EXPECT_EQ(Rgb(b, 1, 0), 0xFFFFFFu);

    // Windows 1.x/2.x form: 3 x 2 at 4 bits, 2 bytes per row (read as 4), VGA colours.
    const std::string ddb = U16(0) + U16(3) + U16(2) + U16(2) + "\x01\x04" + std::string("\x0F\x90\0\0\x12\x30\0\0", 8);
    ASSERT_EQ(Load(ddb, b), "");
    ASSERT_EQ(b.PixelFormat, pf24bit);
    EXPECT_EQ(Rgb(b, 0, 0), 0x800000u);  // bottom-up: the last row first
    EXPECT_EQ(Rgb(b, 1, 0), 0x008000u);
    EXPECT_EQ(Rgb(b, 2, 0), 0x808000u);
    EXPECT_EQ(Rgb(b, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(Rgb(b, 2, 1), 0xFF0000u);

    // Every cut of a good file and of an RLE file fails cleanly or loads.
    const std::string rleFile = Bm(4, 3, 8, 1, table, rle);
    for (size_t n = 0; n + 1 < tiny.size(); ++n) EXPECT_NE(Load(tiny.substr(0, n), b), "") << n;
    for (size_t n = 0; n < rleFile.size(); ++n) Load(rleFile.substr(0, n), b);
}

TEST(Bmp, RunLengthBombsHoldOnePictureOnly) {
    // A few bytes of run-length data describe a picture of any size up to the cap:
    // the loader's peak is that one picture, not a DIB and a picture beside it.
    std::string table;
    for (int i = 0; i < 16; ++i) table += std::string{char(i), char(2 * i), char(3 * i), 0};
    const int64_t side = 8192;
    const std::string endOfBitmap("\x00\x01", 2);
    for (int bits : {8, 4}) {
        SCOPED_TRACE(bits);
        const std::string file = Bm(side, side, bits, bits == 8 ? 1 : 2, table, std::string("\x05\x07", 2) + endOfBitmap, 16);
        ASSERT_LT(file.size(), 200u);
        TLinearBitmap b;
        std::string error;
        const long long grew = imagetest::PeakGrowthBytes([&] { error = Load(file, b); });
        ASSERT_EQ(error, "");
        ASSERT_TRUE(b.Width == side && b.Height == side && b.PixelFormat == pf8bit);
        // Bottom row first: its first five pixels are the run, the rest index 0.
        const uint8_t* last = b.ScanLine(side - 1);
        EXPECT_EQ(bits == 8 ? std::string(5, 7) : std::string("\x00\x07\x00\x07\x00", 5), std::string(last, last + 5));
        EXPECT_EQ(last[5] + b.ScanLine(0)[0] + b.ScanLine(side / 2)[side / 2], 0);
        if (grew < 0) GTEST_SKIP() << "no peak-memory reset here";
        // The picture is 64 MiB; a second copy would double it. Sanitizer shadow
        // memory adds an eighth.
        EXPECT_LT(grew, side * side * 5 / 4) << grew;
    }
    // The same file cut to any length loads or fails cleanly.
    const std::string rle4 = Bm(64, 64, 4, 2, table, std::string("\x05\x17\x00\x00\x00\x03\x12\x30\x00\x00", 10), 16);
    TLinearBitmap b;
    for (size_t n = 0; n < rle4.size(); ++n) Load(rle4.substr(0, n), b);
    ASSERT_EQ(Load(rle4, b), "");
    EXPECT_EQ(std::string(b.ScanLine(63), b.ScanLine(63) + 6), std::string("\x01\x07\x01\x07\x01\x00", 6));
    EXPECT_EQ(std::string(b.ScanLine(62), b.ScanLine(62) + 4), std::string("\x01\x02\x03\x00", 4));
}

TEST(Bmp, UncompressedRowsGoStraightIntoThePicture) {
    // The file in memory and the picture are all the loader holds: no DIB of the
    // whole picture beside it. Rows bottom-up, each row's bytes its own number.
    std::string table;
    for (int i = 0; i < 256; ++i) table += std::string{char(i), char(255 - i), char(i / 2), 0};
    for (int bits : {8, 24}) {
        SCOPED_TRACE(bits);
        const int w = bits == 8 ? 4096 : 2048, h = w, stride = w * bits / 8;
        std::string rows(size_t(stride) * h, '\0');
        for (int r = 0; r < h; ++r) std::memset(rows.data() + size_t(r) * stride, r & 0xFF, size_t(stride));
        const std::string file = Bm(w, h, bits, 0, bits == 8 ? table : "", rows);
        rows = std::string();
        TLinearBitmap b;
        std::string error;
        const long long grew = imagetest::PeakGrowthBytes([&] { error = Load(file, b); });
        ASSERT_EQ(error, "");
        ASSERT_EQ(b.PixelFormat, bits == 8 ? pf8bit : pf24bit);
        EXPECT_EQ(b.ScanLine(0)[0], (h - 1) & 0xFF);  // the last row of the file
        EXPECT_EQ(b.ScanLine(h - 3)[b.BytesPerLine - 1], 2);
        if (bits == 8) {
            EXPECT_EQ(Rgb(b, 0, h - 3), uint32_t(1 << 16 | 253 << 8 | 2));
        }
        if (grew >= 0) {
            EXPECT_LT(grew, int64_t(file.size()) + b.Size + (8 << 20)) << grew;
        }
    }
}

TEST(Bmp, OtherWritersFilesEqualTheirSourcePixels) {
    if (!testutil::HaveProgram("convert-im6.q16")) GTEST_SKIP() << "no ImageMagick";
    testutil::TempDir dir;
    const std::string im = "convert-im6.q16 ", src = dir.File("src.png");
    ASSERT_EQ(testutil::Run(im + "-seed 3 -size 61x37 plasma:fractal '" + src + "'"), 0);
    const std::pair<std::string, std::string> imCases[] = {
        {"", "BMP2"}, {"", "BMP3"}, {"", "BMP"}, {"-define bmp:subtype=RGB565", "BMP"}, {"-colors 200 -type Palette -compress RLE", "BMP3"},
        {"-colors 12 -type Palette", "BMP3"}, {"-type Grayscale -depth 8", "BMP3"}};
    for (const auto& [options, kind] : imCases) {
        const std::string file = dir.File("t.bmp"), raw = dir.File("t.rgb");
        ASSERT_EQ(testutil::Run(im + "'" + src + "' " + options + " " + kind + ":'" + file + "'"), 0);
        ASSERT_EQ(testutil::Run(im + "'" + file + "' -depth 8 rgb:'" + raw + "'"), 0);
        TLinearBitmap b;
        ASSERT_EQ(LoadFile(file, b), "") << options << kind;
        // ImageMagick reads 5- and 6-bit samples by bit replication, within 1 of round(v x 255 / max).
        EXPECT_EQ(Compare(b, 61, 37, testutil::ReadAll(raw), options.find("565") != std::string::npos), "") << options << " " << kind;
    }
    const std::string script = R"(
import sys
from PIL import Image
src = Image.open(sys.argv[1]).convert('RGB')
for mode in ['1', 'L', 'P', 'RGB', 'RGBA']:
    im = src.convert(mode)
    im.save(sys.argv[2] + mode + '.bmp')
    open(sys.argv[2] + mode + '.rgb', 'wb').write(im.convert('RGB').tobytes())
)";
    testutil::WriteAll(dir.File("pil.py"), script);
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + dir.File("pil.py") + "' '" + src + "' '" + dir.File("pil") + "'"), 0);
    for (const std::string mode : {"1", "L", "P", "RGB", "RGBA"}) {
        TLinearBitmap b;
        ASSERT_EQ(LoadFile(dir.File("pil" + mode + ".bmp"), b), "") << mode;
        EXPECT_EQ(Compare(b, 61, 37, testutil::ReadAll(dir.File("pil" + mode + ".rgb"))), "") << mode;
    }
}

TEST(Bmp, OurFilesReadEqualInQImagePilAndImageMagick) {
    testutil::TempDir dir;
    std::mt19937 rng(5);
    TLinearBitmap pictures[4];
    const int formats[4] = {pf8bit, pf16bit, pf24bit, pf32bit};
    for (int i = 0; i < 4; ++i) {
        pictures[i].New(13 + i, 7, formats[i]);
        for (int32_t k = 0; k < pictures[i].Size; ++k) pictures[i].Map[k] = static_cast<uint8_t>(rng());
        if (formats[i] == pf8bit)
            for (int k = 0; k < 768; ++k) pictures[i].Palette[k] = static_cast<uint8_t>(rng());
    }
    const bool pil = testutil::Run("/usr/bin/python3 -c 'import PIL'") == 0, magick = testutil::HaveProgram("convert-im6.q16");
    for (TLinearBitmap& p : pictures) {
        const std::string file = dir.File("o.bmp");
        p.SaveToFile(file);
        const std::string bytes = testutil::ReadAll(file);
        EXPECT_EQ(bytes.substr(28, 2), U16(p.PixelFormat == pf24bit ? 24 : p.PixelFormat == pf32bit ? 32 : 8));
        TLinearBitmap expected;
        expected.Assign(p);
        expected.SetPixelFormat(pf24bit);
        std::string rgb;
        for (int y = 0; y < p.Height; ++y)
            for (int x = 0; x < p.Width; ++x)
                for (int c = 2; c >= 0; --c) rgb += static_cast<char>(expected.ScanLine(y)[3 * x + c]);
        EXPECT_EQ(RgbOf(QImage(QString::fromStdString(file))), rgb) << int(p.PixelFormat);
        if (pil) {
            ASSERT_EQ(testutil::Run("/usr/bin/python3 -c \"import sys; from PIL import Image; open(sys.argv[2], 'wb')"
                                    ".write(Image.open(sys.argv[1]).convert('RGB').tobytes())\" '" + file + "' '" +
                                    dir.File("p.rgb") + "'"),
                      0);
            EXPECT_EQ(testutil::ReadAll(dir.File("p.rgb")), rgb) << "PIL " << int(p.PixelFormat);
        }
        if (magick) {
            ASSERT_EQ(testutil::Run("convert-im6.q16 '" + file + "' -depth 8 rgb:'" + dir.File("m.rgb") + "'"), 0);
            EXPECT_EQ(testutil::ReadAll(dir.File("m.rgb")), rgb) << "ImageMagick " << int(p.PixelFormat);
        }
        TLinearBitmap back;
        ASSERT_EQ(Load(bytes, back), "");
        EXPECT_EQ(Compare(back, p.Width, p.Height, rgb), "");
    }
}

// Every bit count and 16-bit layout: set, get and the sequential pair agree, and
// the 16-bit layouts put each channel's bits where they belong.
TEST(UniDIB, PixelAccessFamily) {
    std::mt19937 rng(9);
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (int layout = 0; layout < (bits == 16 ? 4 : 1); ++layout)
            for (int height : {5, -5}) {
                TUniDIB a(11, height, bits, layout), c(11, height, bits, layout);
                EXPECT_EQ(a.ScanlineSize(), (11 * bits + 31) / 32 * 4);
                std::vector<uint32_t> values;
                for (int y = 0; y < 5; ++y) {
                    c.Seek(0, y);
                    for (int x = 0; x < 11; ++x) {
                        uint32_t v = rng();
                        if (bits <= 8) v &= (1u << bits) - 1;
                        else if (bits == 16) v &= (layout == 3 ? 63 : 31) | (layout == 2 ? 63 : 31) << 8 | (layout == 1 ? 63 : 31) << 16;
                        else if (bits == 24) v &= 0xFFFFFF;
                        values.push_back(v);
                        a.SetPixel(x, y, v);
                        c.WriteNext(v);
                    }
                }
                EXPECT_EQ(std::memcmp(a.Bits(), c.Bits(), size_t(a.ImageSize())), 0) << bits << " " << layout;
                for (int y = 0, i = 0; y < 5; ++y) {
                    a.Seek(0, y);
                    for (int x = 0; x < 11; ++x, ++i) {
                        EXPECT_EQ(a.GetPixel(x, y), values[i]) << bits << " " << layout << " " << x << "," << y;
                        EXPECT_EQ(a.ReadNext(), values[i]);
                    }
                }
                // Row 0 is the top: the first row in memory only when top-down.
                EXPECT_EQ(a.ScanLine(0) == a.Bits(), height < 0);
            }
    TUniDIB d(2, 1, 16, 1);
    d.SetPixel(0, 0, 0x2B0000);  // third channel 101011: bits 10-14 = 10101, bit 15 = 1
    EXPECT_EQ(d.Bits()[0] | d.Bits()[1] << 8, 0b1101010000000000);
    TUniDIB one(9, 1, 1);
    one.SetPixel(0, 0, 1);
    one.SetPixel(8, 0, 1);
    EXPECT_EQ(one.Bits()[0], 0x80);
    EXPECT_EQ(one.Bits()[1], 0x80);
    EXPECT_EQ(TUniDIB(3, 0, 2).BitCount(), 4);
    EXPECT_EQ(TUniDIB(0, 1, 25).Width(), 1);
}

}  // namespace
