// PNG and MNG: the PngSuite against its expected pixels, files of ImageMagick
// against its own reading, our files against libpng (QImage) and pngcheck, chunk
// rules and failure paths.
#include <gtest/gtest.h>

#include <climits>

#include <QImage>
#include <filesystem>
#include <random>

#include "imagefile/Deflate.h"
#include "imagefile/PNGLoader.h"
#include "imagefile/checksums.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

// The corpus lies beside the repository (or beside the worktree folder).
const std::string kSuite = [] {
    const std::string root = TEVORIN_SOURCE_DIR;
    for (const std::string up : {"/..", "/../.."})
        if (std::filesystem::exists(root + up + "/shared/corpus/pngsuite/png")) return root + up + "/shared/corpus/pngsuite";
    return std::string();
}();

struct Chunk {
    std::string type, data;
};

// Splits a PNG file into its chunks (after the 8-byte signature).
std::vector<Chunk> Chunks(const std::string& file) {
    std::vector<Chunk> out;
    for (size_t p = 8; p + 12 <= file.size();) {
        const auto* b = reinterpret_cast<const uint8_t*>(file.data() + p);
        const uint32_t len = uint32_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
        out.push_back({file.substr(p + 4, 4), file.substr(p + 8, len)});
        p += 12 + len;
    }
    return out;
}

std::string MakeChunk(const std::string& type, const std::string& data) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(data.size() >> (24 - 8 * i));
    const std::string td = type + data;
    const uint32_t crc = CRC32(td.data(), td.size());
    s += td;
    for (int i = 0; i < 4; ++i) s += static_cast<char>(crc >> (24 - 8 * i));
    return s;
}

std::string Join(const std::vector<Chunk>& chunks) {
    std::string s = "\x89PNG\r\n\x1a\n";
    for (const auto& c : chunks) s += MakeChunk(c.type, c.data);
    return s;
}

std::string Ihdr(uint32_t w, uint32_t h, int depth, int type, int interlace = 0) {
    std::string d;
    for (uint32_t v : {w, h})
        for (int i = 0; i < 4; ++i) d += static_cast<char>(v >> (24 - 8 * i));
    return d + char(depth) + char(type) + '\0' + '\0' + char(interlace);
}

std::string Load(const std::string& bytes, TLinearBitmap& b) { return imagetest::LoadBytes(bytes, "png", b); }

std::string Save(const TLinearBitmap& b, int mode = -1, const std::string& ext = "png") {
    PNGLoader().FilterMode = mode;
    TMemStream mem;
    b.SaveToStream(mem, ext);
    PNGLoader().FilterMode = -1;
    return mem.ToString();
}

std::vector<int> JsonNumbers(const std::string& path) {
    std::vector<int> v;
    const std::string s = testutil::ReadAll(path);
    for (size_t i = 0; i < s.size();) {
        if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            size_t end;
            v.push_back(std::stoi(s.substr(i), &end));
            i += end;
        } else {
            ++i;
        }
    }
    return v;
}

// R,G,B (and A) of pixel i as 8-bit samples, or the full grey value for format 5.
std::array<int, 3> Pixel(const TLinearBitmap& b, int64_t i) {
    if (b.PixelFormat == pf16bit) return {b.Map[2 * i] | b.Map[2 * i + 1] << 8, 0, 0};
    const uint8_t* p = b.PixelFormat == pf8bit ? b.Palette + 3 * b.Map[i] : b.Map + 3 * i;
    return {p[2], p[1], p[0]};
}

TLinearBitmap Random(int w, int h, int format, unsigned seed, int levels = 256) {
    TLinearBitmap b;
    b.New(w, h, format);
    std::mt19937 rng(seed);
    for (int64_t i = 0; i < b.Size; ++i) b.Map[i] = static_cast<uint8_t>(rng() % levels * (256 / levels));
    if (format == pf8bit)
        for (int i = 0; i < 768; ++i) b.Palette[i] = static_cast<uint8_t>(rng());
    return b;
}

// First differing pixels of a picture and R,G,B bytes, as text.
std::string Diff(const TLinearBitmap& b, const uint8_t* rgb, int channels) {
    std::string out;
    int shown = 0;
    for (int64_t i = 0; i < int64_t{b.Width} * b.Height && shown < 4; ++i) {
        const auto p = Pixel(b, i);
        for (int c = 0; c < channels; ++c)
            if (p[c] != rgb[channels * i + c]) {
                out += " pixel " + std::to_string(i) + "." + std::to_string(c) + ": " + std::to_string(p[c]) +
                       " != " + std::to_string(rgb[channels * i + c]);
                ++shown;
                break;
            }
    }
    return out;
}

// The README says where the corpus is looked for and that it may be missing.
TEST(PngSuite, TheReadmeNamesTheFolderThisTestReads) {
    const std::string readme = testutil::ReadAll(std::string(TEVORIN_SOURCE_DIR) + "/README.md");
    EXPECT_NE(readme.find("`../shared/corpus`"), std::string::npos);
    EXPECT_NE(readme.find("they are skipped"), std::string::npos);
    if (!kSuite.empty()) {
        EXPECT_EQ(kSuite.rfind(std::string(TEVORIN_SOURCE_DIR) + "/..", 0), 0u) << kSuite;
    }
}

TEST(PngSuite, ValidFilesEqualTheirPixelsAndBrokenOnesTheirMessage) {
    if (kSuite.empty()) GTEST_SKIP() << "no PngSuite";
    const std::map<std::string, std::string> broken = {
        {"xs1n0g01", kInvalidPNGHeader}, {"xs2n0g01", kInvalidPNGHeader}, {"xs4n0g01", kInvalidPNGHeader},
        {"xs7n0g01", kInvalidPNGHeader}, {"xcrn0g04", kInvalidPNGHeader}, {"xlfn0g04", kInvalidPNGHeader},
        {"xhdn0g08", kCRCError},         {"xcsn0g01", kCRCError},         {"xc1n0g08", kInvalidPNGData},
        {"xc9n2c08", kInvalidPNGData},   {"xd0n2c08", kInvalidPNGData},   {"xd3n2c08", kInvalidPNGData},
        {"xd9n2c08", kInvalidPNGData},   {"xdtn0g01", kUnsupportedPNGData}};
    TPNGLoader& png = PNGLoader();
    png.KeepAlpha = true;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite + "/png")) {
        const std::string name = entry.path().stem().string();
        TLinearBitmap b;
        std::string error;
        try {
            b.LoadFromFile(entry.path().string());
        } catch (const std::exception& e) {
            error = e.what();
        }
        ++files;
        if (name[0] == 'x') {
            EXPECT_EQ(error, broken.at(name)) << name;
            EXPECT_FALSE(b.Present) << name;
            continue;
        }
        ASSERT_EQ(error, "") << name;
        // 16-bit colour and alpha compare by their high byte (the suite's _to8
        // files, or the full values shifted); 16-bit grey at full value.
        const bool wide = name.substr(name.size() - 2) == "16";
        const std::string to8 = kSuite + "/json/" + name + "_to8.json";
        const std::vector<int> full = JsonNumbers(kSuite + "/json/" + name + ".json");
        std::vector<int> j8 = std::filesystem::exists(to8) ? JsonNumbers(to8) : full;
        if (wide && !std::filesystem::exists(to8))
            for (int& v : j8) v >>= 8;
        const int64_t n = int64_t{b.Width} * b.Height;
        ASSERT_EQ(static_cast<int64_t>(full.size()), 4 * n) << name;
        const bool colourKey16 = wide && name[4] == '2';  // tRNS of 16-bit colour is not kept
        int bad = 0;
        std::string shown;
        for (int64_t i = 0; i < n; ++i) {
            const auto p = Pixel(b, i);
            int alpha = 255;
            if (png.AlphaChannel)
                alpha = png.AlphaChannel->Map[i];
            else if (!png.AlphaTable.empty())
                alpha = png.AlphaTable[b.Map[i]];
            else if (png.TransparentColor >= 0)
                alpha = (b.PixelFormat == pf24bit ? p[0] | p[1] << 8 | p[2] << 16
                         : b.PixelFormat == pf8bit ? b.Map[i] : p[0]) == png.TransparentColor ? 0 : 255;
            const bool ok = b.PixelFormat == pf16bit
                                ? p[0] == full[4 * i]
                                : p[0] == j8[4 * i] && p[1] == j8[4 * i + 1] && p[2] == j8[4 * i + 2];
            if (!ok || (alpha != j8[4 * i + 3] && !colourKey16)) {
                if (++bad <= 3)
                    shown += " pixel " + std::to_string(i) + " got " + std::to_string(p[0]) + "," +
                             std::to_string(p[1]) + "," + std::to_string(p[2]) + "/" + std::to_string(alpha);
            }
        }
        EXPECT_EQ(bad, 0) << name << shown;
    }
    png.KeepAlpha = false;
    EXPECT_EQ(files, 175);
}

TEST(Png, ImageMagickFilesDecodeAsImageMagickReadsThem) {
    if (!testutil::HaveProgram("convert-im6.q16")) GTEST_SKIP() << "no ImageMagick";
    testutil::TempDir dir;
    const std::string im = "convert-im6.q16 ";
    // A 300 x 200 noisy colour picture: several IDAT chunks in most files.
    ASSERT_EQ(testutil::Run(im + "-seed 4 -size 300x200 plasma:fractal -attenuate 0.3 +noise Gaussian '" +
                            dir.File("src.png") + "'"),
              0);
    struct Case {
        std::string options;
        const char* rawFormat;  // what ImageMagick writes for the comparison
        int depth;
    };
    const std::string grey = "-colorspace Gray -define png:color-type=0 -define png:bit-depth=";
    const std::string alpha = "-alpha set -channel A -fx u.r +channel -define png:bit-depth=";
    const Case cases[] = {
        {grey + "1", "gray", 8},
        {grey + "2", "gray", 8},
        {grey + "4", "gray", 8},
        {grey + "8", "gray", 8},
        {grey + "16", "gray", 16},
        {"-define png:color-type=2 -define png:bit-depth=8", "rgb", 8},
        {"-define png:color-type=2 -define png:bit-depth=16 -interlace PNG", "rgb", 16},
        {"-colors 200 -define png:color-type=3", "rgb", 8},
        {"-colors 12 -define png:color-type=3 -define png:bit-depth=4 -interlace PNG", "rgb", 8},
        {"-colorspace Gray " + alpha + "8 -define png:color-type=4", "gray", 8},
        {alpha + "16 -define png:color-type=6 -interlace PNG", "rgb", 16},
        {alpha + "8 -define png:color-type=6 -set comment 'a text chunk'", "rgb", 8},
    };
    for (const Case& c : cases) {
        const std::string file = dir.File("t.png"), raw = dir.File("t.raw");
        ASSERT_EQ(testutil::Run(im + "'" + dir.File("src.png") + "' " + c.options + " '" + file + "'"), 0)
            << c.options;
        ASSERT_EQ(testutil::Run(im + "'" + file + "' -endian MSB -depth " + std::to_string(c.depth) + " " + c.rawFormat + ":'" +
                                raw + "'"),
                  0);
        TLinearBitmap b;
        ASSERT_EQ(Load(testutil::ReadAll(file), b), "") << c.options;
        std::string ref = testutil::ReadAll(raw);
        const int channels = std::string(c.rawFormat) == "rgb" ? 3 : 1;
        ASSERT_EQ(ref.size(), static_cast<size_t>(b.Width) * b.Height * channels * (c.depth / 8)) << c.options;
        if (c.depth == 16 && channels == 3) {  // colour keeps the more significant byte
            for (size_t i = 0; i < ref.size() / 2; ++i) ref[i] = ref[2 * i];
            ref.resize(ref.size() / 2);
        }
        if (c.depth == 16 && channels == 1) {
            ASSERT_EQ(b.PixelFormat, pf16bit);
            int bad = 0;
            for (int64_t i = 0; i < int64_t{b.Width} * b.Height; ++i)
                bad += Pixel(b, i)[0] != (uint8_t(ref[2 * i]) << 8 | uint8_t(ref[2 * i + 1]));
            EXPECT_EQ(bad, 0) << c.options;
        } else {
            EXPECT_EQ(Diff(b, reinterpret_cast<const uint8_t*>(ref.data()), channels), "") << c.options;
        }
    }
}

TEST(Png, OurFilesInEveryFilterModeReadBackThroughLibpngAndPassPngcheck) {
    testutil::TempDir dir;
    const bool pngcheck = testutil::HaveProgram("pngcheck");
    std::vector<TLinearBitmap> pictures;
    pictures.push_back(Random(97, 41, pf24bit, 2, 32));
    pictures.push_back(Random(33, 50, pf8bit, 3, 64));
    pictures.push_back(Random(61, 37, pf8bit, 1, 16));
    std::memcpy(pictures.back().Palette, GrayPalette, 768);
    pictures.push_back(Random(40, 30, pf16bit, 4, 8));
    for (const TLinearBitmap& picture : pictures) {
        const TLinearBitmap* p = &picture;
        int64_t smallest = INT64_MAX;
        for (int mode : {0, 1, 2, 3, 4, -1, -2, -3}) {
            const std::string bytes = Save(*p, mode);
            const std::string file = dir.File("m.png");
            testutil::WriteAll(file, bytes);
            QImage q(QString::fromStdString(file));
            ASSERT_FALSE(q.isNull()) << "format " << int(p->PixelFormat) << " mode " << mode;
            int bad = 0;
            if (p->PixelFormat == pf16bit) {
                q = q.convertToFormat(QImage::Format_Grayscale16);
                for (int y = 0; y < p->Height; ++y)
                    for (int x = 0; x < p->Width; ++x)
                        bad += reinterpret_cast<const uint16_t*>(q.constScanLine(y))[x] != Pixel(*p, int64_t{y} * p->Width + x)[0];
            } else {
                for (int y = 0; y < p->Height; ++y)
                    for (int x = 0; x < p->Width; ++x) {
                        const auto px = Pixel(*p, int64_t{y} * p->Width + x);
                        bad += q.pixel(x, y) != qRgb(px[0], px[1], px[2]);
                    }
            }
            EXPECT_EQ(bad, 0) << "format " << int(p->PixelFormat) << " mode " << mode;
            if (pngcheck) { EXPECT_EQ(testutil::Run("pngcheck -v '" + file + "' >/dev/null"), 0) << mode; }
            if (mode != -3) smallest = std::min<int64_t>(smallest, bytes.size());
            else EXPECT_LE(static_cast<int64_t>(bytes.size()), smallest);
        }
    }
    // -3 stays -3.
    PNGLoader().FilterMode = -3;
    TMemStream mem;
    pictures[0].SaveToStream(mem, "PNG");
    EXPECT_EQ(PNGLoader().FilterMode, -3);
    PNGLoader().FilterMode = -1;
}

TEST(Png, DefaultSaveChunksAndWhatAReadLeavesBehind) {
    const TLinearBitmap rgb = Random(20, 10, pf24bit, 5);
    const auto chunks = Chunks(Save(rgb));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data, Ihdr(20, 10, 8, 2));
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[1].data.substr(0, 2), "\x78\xDA");
    EXPECT_EQ(chunks[2].type, "IEND");

    // A palette ending in black entries: PLTE up to the last colour or the highest index used.
    TLinearBitmap pal = Random(8, 8, pf8bit, 6);
    std::memset(pal.Palette + 18, 0, 768 - 18);
    std::memset(pal.Map, 2, pal.Size);
    EXPECT_EQ(Chunks(Save(pal))[1].data.size(), 18u);
    pal.Map[7] = 40;
    EXPECT_EQ(Chunks(Save(pal))[1].data.size(), 123u);

    // Transparency and gamma read from a file never reach a later save.
    std::string trns = Join({{"IHDR", Ihdr(2, 1, 8, 2)},
                             {"gAMA", std::string("\0\0\xAF\xC8", 4)},
                             {"tRNS", std::string("\0\0\0\0\0\0", 6)},
                             {"IDAT", qCompress(QByteArray("\0\0\0\0\x01\x02\x03", 7)).mid(4).toStdString()},
                             {"IEND", ""}});
    TLinearBitmap b;
    ASSERT_EQ(Load(trns, b), "");
    EXPECT_EQ(PNGLoader().TransparentColor, 0);
    EXPECT_DOUBLE_EQ(PNGLoader().Gamma, 0.45);
    std::string types;
    for (const auto& c : Chunks(Save(b))) types += c.type;
    EXPECT_EQ(types, "IHDRIDATIEND");
    // Set for saving they are written.
    PNGLoader().SaveGamma = 0.45;
    PNGLoader().SaveTransparentColor = 0x030201;
    const auto saved = Chunks(Save(b));
    PNGLoader().SaveGamma = 0;
    PNGLoader().SaveTransparentColor = -1;
    EXPECT_EQ(saved[1].type + saved[1].data, std::string("gAMA\0\0\xAF\xC8", 8));
    EXPECT_EQ(saved[2].type + saved[2].data, std::string("tRNS\0\x01\0\x02\0\x03", 10));
}

TEST(Png, ChunkRulesAndBrokenFiles) {
    const TLinearBitmap rgb = Random(64, 48, pf24bit, 7, 4);
    const std::string good = Save(rgb, 0);
    auto chunks = Chunks(good);
    const std::string idat = chunks[1].data;
    const Chunk ihdr = chunks[0], iend = chunks[2];
    auto loads = [](const std::vector<Chunk>& c) {
        TLinearBitmap b;
        return Load(Join(c), b);
    };
    // Image data split over several chunks (and a text chunk after it) loads equal.
    std::vector<Chunk> split = {ihdr};
    for (size_t p = 0; p < idat.size(); p += 100) split.push_back({"IDAT", idat.substr(p, 100)});
    split.push_back({"tEXt", "Comment\0x"});
    split.push_back(iend);
    TLinearBitmap b;
    ASSERT_EQ(Load(Join(split), b), "");
    EXPECT_EQ(std::memcmp(b.Map, rgb.Map, rgb.Size), 0);
    // A later IDAT after another chunk is skipped.
    auto later = split;
    later.insert(later.end() - 1, Chunk{"IDAT", "garbage"});
    EXPECT_EQ(loads(later), "");
    // A wrong CRC in the third piece, a wrong Adler-32.
    std::string crcBroken = Join(split);
    crcBroken[8 + 25 + 2 * 112 + 8 + 100] ^= 1;
    EXPECT_EQ(Load(crcBroken, b), kCRCError);
    std::string adler = good;
    adler[8 + 25 + 8 + idat.size() - 1] ^= 1;
    const uint32_t crc = CRC32(adler.data() + 8 + 25 + 4, 4 + idat.size());
    for (int i = 0; i < 4; ++i) adler[8 + 25 + 8 + idat.size() + i] = static_cast<char>(crc >> (24 - 8 * i));
    EXPECT_EQ(Load(adler, b), kAdler32Error);
    EXPECT_FALSE(b.Present);

    const std::string pal(777, '\x10');
    const std::pair<std::vector<Chunk>, std::string> table[] = {
        {{{"IEND", ""}}, kUnsupportedPNGData},
        {{ihdr, iend}, kUnsupportedPNGData},
        {{ihdr, {"abCD", "x"}, chunks[1], iend}, ""},
        {{ihdr, {"ABCD", "x"}, chunks[1], iend}, kUnsupportedPNGData},
        {{{"MHDR", "x"}, ihdr, chunks[1], iend}, ""},
        {{chunks[1], iend}, kInvalidPNGData},
        {{{"IHDR", ihdr.data.substr(0, 12)}, chunks[1], iend}, kInvalidPNGData},
        {{ihdr, ihdr, chunks[1], iend}, kInvalidPNGData},
        {{ihdr, {"gAMA", "abc"}, chunks[1], iend}, kInvalidPNGData},
        {{ihdr, {"tRNS", "abcde"}, chunks[1], iend}, kInvalidPNGData},
        {{ihdr, {"PLTE", pal}, chunks[1], iend}, kInvalidPNGData},
        {{ihdr, {"PLTE", "abcd"}, chunks[1], iend}, kInvalidPNGData},
        {{{"IHDR", Ihdr(64, 48, 8, 2, 2)}, chunks[1], iend}, kInvalidPNGData},
        {{{"IHDR", Ihdr(64, 48, 16, 3)}, chunks[1], iend}, kInvalidPNGData},
        {{{"IHDR", Ihdr(100000, 100000, 8, 2)}, chunks[1], iend}, kInvalidBitmapSize},
        {{ihdr, {"IDAT", std::string("\x79\xDA") + idat.substr(2)}, iend}, kInvalidPNGData},
        {{ihdr, {"IDAT", idat.substr(0, idat.size() / 2)}, iend}, kErrorInCompressedData},
    };
    for (const auto& [c, message] : table) EXPECT_EQ(loads(c), message) << c[0].type << " " << c[1].type;
    // A palette image's tRNS longer than 256 entries: the extra is ignored.
    const std::string palFile = Join({{"IHDR", Ihdr(1, 1, 8, 3)}, {"PLTE", "abc"}, {"tRNS", std::string(300, '\0')},
                                      {"IDAT", qCompress(QByteArray(2, '\0')).mid(4).toStdString()}, iend});
    EXPECT_EQ(Load(palFile, b), "");
    EXPECT_EQ(PNGLoader().TransparentColor, 0);
    // Every cut of a file fails cleanly.
    for (size_t n = 0; n + 12 < good.size(); n += 7) EXPECT_NE(Load(good.substr(0, n), b), "") << n;
}

TEST(Png, MngAndLossySavesAndProgress) {
    const TLinearBitmap rgb = Random(30, 20, pf24bit, 8);
    const std::string mng = Save(rgb, -1, "mng");
    EXPECT_EQ(mng.substr(0, 4), "\x8AMNG");
    EXPECT_EQ(Chunks(mng)[0].data[11], '\x40');  // intrapixel filter method
    TMemStream mem;
    mem.Write(mng.data(), mng.size());
    mem.Seek(0);
    TLinearBitmap b;
    b.LoadFromStream(mem, "MNG");
    EXPECT_EQ(std::memcmp(b.Map, rgb.Map, rgb.Size), 0);
    // The same bytes with a PNG signature: filter method 64 is refused.
    EXPECT_EQ(Load("\x89PNG" + mng.substr(4), b), kInvalidPNGData);

    // Lossy: every byte within half a step of the original, written with the Average filter.
    PNGLoader().LossyLevel = 9;
    const std::string lossy = Save(rgb);
    PNGLoader().LossyLevel = 0;
    ASSERT_EQ(Load(lossy, b), "");
    int worst = 0;
    for (int64_t i = 0; i < rgb.Size; ++i) worst = std::max(worst, std::abs(b.Map[i] - rgb.Map[i]));
    EXPECT_LE(worst, 2);
    EXPECT_GT(worst, 0);
    EXPECT_EQ(qUncompress(QByteArray::fromStdString(std::string("\0\0\x10\0", 4) + Chunks(lossy)[1].data))[0], 3);

    // Extreme levels: from a step of 511 (level 1021) on every error rounds to 0, so
    // the highest level saves what 1021 saves; a negative one is plain lossless.
    const auto saveAt = [&](int level) {
        PNGLoader().LossyLevel = level;
        const std::string s = Save(rgb);
        PNGLoader().LossyLevel = 0;
        return s;
    };
    EXPECT_EQ(saveAt(INT_MAX), saveAt(1021));
    EXPECT_NE(saveAt(1021), saveAt(9));
    EXPECT_EQ(saveAt(INT_MIN), saveAt(-1));

    std::vector<int> seen;
    LoaderProgress = [&](int p) { seen.push_back(p); };
    Save(rgb, -3);
    const size_t saves = seen.size();
    Load(Save(rgb), b);
    LoaderProgress = nullptr;
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + saves), (std::vector<int>{12, 25, 37, 50, 62, 75, 87}));
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin() + saves, seen.end()));
}

}  // namespace
