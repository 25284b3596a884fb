// Icons and cursors: ImageMagick's and netpbm's icons and test-written 24-bit ones
// against PIL's reading; our icons and cursors read by PIL, ImageMagick and
// winicontopam; the directory and header bytes; hostile files.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/ICOLoader.h"
#include "image_test_util.h"
#include "support/test_util.h"

using namespace imagefile;
using imagetest::U16;
using imagetest::U32;

namespace {

constexpr uint32_t kMagenta = 0xFF00FF;

std::string Load(const std::string& bytes, TLinearBitmap& b, const std::string& ext = "ICO") {
    return imagetest::LoadBytes(bytes, ext, b);
}

bool HavePil() { return testutil::Run("/usr/bin/python3 -c 'import PIL'") == 0; }

// PIL's reading of entry `frame` as R,G,B with transparent pixels in `colour`
// (0xRRGGBB), and its size.
std::string PilRgb(const std::string& file, int frame, uint32_t colour, int& w, int& h) {
    const std::string script =
        "import sys\n"
        "from PIL.IcoImagePlugin import IcoFile\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "at = 6 + 16 * int(sys.argv[2])\n"
        "ico = IcoFile(open(sys.argv[1], 'rb'))\n"  // PIL sorts the entries: find ours by its offset
        "k = [j for j, e in enumerate(ico.entry) if e['offset'] == int.from_bytes(data[at + 12:at + 16], 'little')][0]\n"
        "im = ico.frame(k).convert('RGBA')\n"
        "c = int(sys.argv[3], 16)\n"
        "out = bytearray()\n"
        "for r, g, b, a in im.getdata():\n"
        "    out += bytes([c >> 16, (c >> 8) & 255, c & 255] if a == 0 else [r, g, b])\n"
        "sys.stdout.write('%d %d\\n' % im.size)\n"
        "sys.stdout.flush()\n"
        "sys.stdout.buffer.write(bytes(out))\n";
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("p.py"), script);
    std::string out;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%06x", colour);
    if (testutil::Run("/usr/bin/python3 '" + dir.File("p.py") + "' '" + file + "' " + std::to_string(frame) + " " + hex,
                      &out) != 0)
        return "PIL failed";
    const size_t nl = out.find('\n');
    std::sscanf(out.c_str(), "%d %d", &w, &h);
    return out.substr(nl + 1);
}

// Loads entry `index` of the file with the transparent colour given as 0xRRGGBB.
std::string LoadEntry(const std::string& bytes, int index, uint32_t rgb, TLinearBitmap& b, const std::string& ext = "ICO") {
    TICOLoader& ico = ICOLoader();
    ico.TransparentColor = (rgb >> 16) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;  // a single image asks nothing
    ico.SelectIcon = [&](TIconList&, int& i, uint32_t& colour) {
        i = index;
        colour = (rgb >> 16) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
        return true;
    };
    const std::string error = Load(bytes, b, ext);
    ico.SelectIcon = nullptr;
    ico.TransparentColor = kMagenta;
    return error;
}

TEST(Ico, OtherWritersIconsEqualPilsReading) {
    if (!HavePil()) GTEST_SKIP() << "no PIL";
    testutil::TempDir dir;
    int checked = 0;
    auto check = [&](const std::string& file, int frame, int bits, const std::string& what) {
        const std::string bytes = testutil::ReadAll(file);
        int w = 0, h = 0;
        const std::string want = PilRgb(file, frame, 0x12AB34, w, h);
        TLinearBitmap b;
        ASSERT_EQ(LoadEntry(bytes, frame, 0x12AB34, b), "") << what;
        EXPECT_EQ(b.Width, w) << what;
        EXPECT_EQ(b.Height, h) << what;
        EXPECT_TRUE(imagetest::RgbBytes(b) == want) << what;
        TIconList list;
        TMemStream mem;
        mem.Write(bytes.data(), bytes.size());
        mem.Seek(0);
        list.LoadFromStream(mem);
        EXPECT_EQ(list.Image(frame).BitCount(), bits) << what;
        ++checked;
    };
    if (testutil::HaveProgram("convert-im6.q16")) {
        const std::string src = dir.File("src.png");
        ASSERT_EQ(testutil::Run("convert-im6.q16 -seed 3 -size 21x13 plasma:fractal -fill none -stroke black -draw "
                                "'line 0,0 20,12' '" + src + "'"),
                  0);
        for (const auto& [colours, bits] : {std::pair{2, 1}, {12, 4}, {200, 8}}) {
            const std::string file = dir.File("im" + std::to_string(bits) + ".ico");
            ASSERT_EQ(testutil::Run("convert-im6.q16 '" + src + "' -alpha off -colors " + std::to_string(colours) +
                                    " -type Palette '" + file + "'"),
                      0);
            check(file, 0, bits, "ImageMagick " + std::to_string(bits));
        }
    }
    if (testutil::HaveProgram("ppmtowinicon")) {
        // Three entries: 16 x 16 with 2 colours, 32 x 32 with 14, 48 x 48 with 200,
        // each with an AND mask.
        for (const auto& [size, colours] : {std::pair{16, 2}, {32, 14}, {48, 200}}) {
            const std::string n = std::to_string(size), ppm = dir.File(n + ".ppm"), pgm = dir.File(n + ".pgm");
            ASSERT_EQ(testutil::Run("convert-im6.q16 -seed " + n + " -size " + n + "x" + n + " plasma:fractal -colors " +
                                    std::to_string(colours) + " '" + ppm + "' && convert-im6.q16 -size " + n + "x" + n +
                                    " xc:white -fill black -draw 'circle " + std::to_string(size / 2) + "," +
                                    std::to_string(size / 2) + " " + std::to_string(size / 2) + ",1' -depth 8 '" + pgm +
                                    "'"),
                      0);
        }
        const std::string file = dir.File("netpbm.ico");
        // ppmtowinicon takes image and mask files alternately with -andpgms.
        std::string args;
        for (const int size : {16, 32, 48})
            args += " '" + dir.File(std::to_string(size) + ".ppm") + "' '" + dir.File(std::to_string(size) + ".pgm") + "'";
        ASSERT_EQ(testutil::Run("ppmtowinicon -andpgms" + args + " > '" + file + "' 2>/dev/null"), 0);
        check(file, 0, 1, "netpbm 16");
        check(file, 1, 4, "netpbm 32");
        check(file, 2, 8, "netpbm 48");
    }
    EXPECT_GE(checked, 3);
}

// A 24-bit icon or cursor written here from the layout, with its mask.
std::string Icon24(int type, int w, int h, const std::string& bgrBottomUp, const std::string& maskBottomUp, int hx = 0,
                   int hy = 0) {
    const uint32_t colour = uint32_t((w * 24 + 31) / 32 * 4) * h, mask = uint32_t((w + 31) / 32 * 4) * h;
    std::string f = U16(0) + U16(type) + U16(1);
    f += std::string{char(w), char(h), 0, 0} + U16(hx) + U16(hy) + U32(40 + colour + mask) + U32(22);
    f += U32(40) + U32(w) + U32(2 * h) + U16(1) + U16(24) + U32(0) + U32(colour + mask) + std::string(16, '\0');
    return f + bgrBottomUp + maskBottomUp;
}

TEST(Ico, TestWritten24BitIconsAndCursorsEqualPilsReading) {
    // 5 x 3: rows of 15 bytes padded to 16, mask rows of 4 bytes; pixel (1, 0) and
    // the whole middle row masked.
    std::string bgr, mask;
    for (int r = 0; r < 3; ++r) {
        for (int x = 0; x < 5; ++x) bgr += std::string{char(10 * x + r), char(100 + x), char(200 + r)};
        bgr += '\0';
    }
    mask = std::string("\x00\x00\x00\x00", 4) + std::string("\xF8\x00\x00\x00", 4) + std::string("\x40\x00\x00\x00", 4);
    const std::string icon = Icon24(1, 5, 3, bgr, mask), cursor = Icon24(2, 5, 3, bgr, mask, 3, 2);
    TLinearBitmap b;
    ASSERT_EQ(Load(icon, b), "");
    EXPECT_EQ(b.PixelFormat, pf24bit);
    const uint8_t* top = b.ScanLine(0);  // the file's last row
    EXPECT_EQ(top[0], 2);
    EXPECT_EQ(top[2], 202);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(top + 3), 3), std::string("\xFF\x00\xFF", 3));  // magenta B,G,R
    ICOLoader().HotSpotX = ICOLoader().HotSpotY = 0;
    ASSERT_EQ(Load(cursor, b, "CUR"), "");
    EXPECT_EQ(ICOLoader().HotSpotX, 3);
    EXPECT_EQ(ICOLoader().HotSpotY, 2);
    if (!HavePil()) GTEST_SKIP() << "no PIL";
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("t.ico"), icon);
    int w, h;
    ASSERT_EQ(LoadEntry(icon, 0, 0x00FF00, b), "");
    EXPECT_TRUE(imagetest::RgbBytes(b) == PilRgb(dir.File("t.ico"), 0, 0x00FF00, w, h));
    // PIL reads a cursor without its mask; ImageMagick with it.
    if (!testutil::HaveProgram("convert-im6.q16")) return;
    testutil::WriteAll(dir.File("t.cur"), cursor);
    std::string rgb;
    ASSERT_EQ(testutil::Run("convert-im6.q16 '" + dir.File("t.cur") + "' -background '#00ff00' -alpha background -alpha off "
                            "-depth 8 rgb:-", &rgb),
              0);
    ASSERT_EQ(LoadEntry(cursor, 0, 0x00FF00, b, "CUR"), "");
    EXPECT_TRUE(imagetest::RgbBytes(b) == rgb);
}

TEST(Ico, OurIconsAndCursorsReadRightElsewhere) {
    // 8 bit with indexes up to 15 (a 4-bit icon), up to 200 (8 bit), and 24 bit;
    // odd widths; pixels of the transparent colour masked.
    struct Case {
        int format, w, h, highest, bits;
    };
    const bool pil = HavePil(), magick = testutil::HaveProgram("convert-im6.q16"),
               netpbm = testutil::HaveProgram("winicontopam");
    testutil::TempDir dir;
    for (const Case& c : {Case{pf8bit, 13, 7, 15, 4}, Case{pf8bit, 9, 33, 200, 8}, Case{pf24bit, 37, 5, 0, 24}}) {
        TLinearBitmap p;
        imagetest::RandomPicture(p, c.w, c.h, c.format, static_cast<unsigned>(c.w));
        if (c.format == pf8bit) {
            for (int32_t k = 0; k < p.Size; ++k) p.Map[k] = static_cast<uint8_t>(p.Map[k] % (c.highest + 1));
            p.Map[1] = static_cast<uint8_t>(c.highest);
            p.Palette[3 * 3] = 0xFF, p.Palette[3 * 3 + 1] = 0, p.Palette[3 * 3 + 2] = 0xFF;  // index 3 is magenta
            p.Map[0] = 3;
        } else {
            std::memcpy(p.Map + 3 * 4, "\xFF\x00\xFF", 3);
        }
        for (const std::string ext : {"ico", "cur"}) {
            ICOLoader().HotSpotX = 4, ICOLoader().HotSpotY = 2;
            const std::string file = dir.File("o." + ext), bytes = imagetest::SaveBytes(p, ext);
            testutil::WriteAll(file, bytes);
            const std::string what = std::to_string(c.bits) + " " + ext;
            // Header and directory: type, count, size bytes, colour count, hot spot,
            // data size and offset; the image header's size, height and bit count.
            EXPECT_EQ(bytes.substr(0, 6), U16(0) + U16(ext == "ico" ? 1 : 2) + U16(1)) << what;
            const std::string sizes{char(c.w), char(c.h), char(c.bits == 4 ? 16 : 0), 0};
            EXPECT_EQ(bytes.substr(6, 4), sizes) << what;
            EXPECT_EQ(bytes.substr(10, 4), ext == "cur" ? U16(4) + U16(2) : U16(0) + U16(0)) << what;
            const uint32_t colour = uint32_t((c.w * c.bits + 31) / 32 * 4) * c.h, mask = uint32_t((c.w + 31) / 32 * 4) * c.h;
            const uint32_t palette = c.bits == 24 ? 0 : 4u << c.bits;
            EXPECT_EQ(bytes.substr(14, 8), U32(colour + 40 + palette + mask) + U32(22)) << what;
            EXPECT_EQ(bytes.size(), 22 + 40 + palette + colour + mask) << what;
            EXPECT_EQ(bytes.substr(22, 20), U32(40) + U32(c.w) + U32(2 * c.h) + U16(1) + U16(c.bits) + U32(0)) << what;
            EXPECT_EQ(bytes.substr(42, 4), U32(colour + mask)) << what;
            // What every reader must see: the picture, magenta pixels transparent.
            std::string rgba;
            const std::string rgb = imagetest::RgbBytes(p);
            for (size_t i = 0; i < rgb.size(); i += 3) {
                const bool clear = rgb.compare(i, 3, std::string("\xFF\x00\xFF", 3)) == 0;
                rgba += clear ? std::string(4, '\0') : rgb.substr(i, 3) + "\xFF";
            }
            if (pil) {
                // PIL reads a cursor's colours only: compared where the mask is clear.
                ASSERT_EQ(testutil::Run("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                                        "im = Image.open(sys.argv[1]); "
                                        "im = im.convert('RGBA'); "
                                        "open(sys.argv[2], 'wb').write(bytes(v for p in im.getdata() for v in "
                                        "(p if p[3] else (0, 0, 0, 0))))\" '" + file + "' '" + dir.File("p.rgba") + "'"),
                          0);
                std::string got = testutil::ReadAll(dir.File("p.rgba"));
                if (ext == "cur")
                    for (size_t i = 0; i + 3 < got.size() && i + 3 < rgba.size(); i += 4)
                        if (rgba[i + 3] == 0) got.replace(i, 4, std::string(4, '\0'));
                EXPECT_TRUE(got == rgba) << "PIL " << what;
            }
            if (magick) {
                ASSERT_EQ(testutil::Run("convert-im6.q16 '" + file + "' -background black -alpha background -depth 8 rgba:'" +
                                        dir.File("m.rgba") + "'"),
                          0);
                EXPECT_TRUE(testutil::ReadAll(dir.File("m.rgba")) == rgba) << "ImageMagick " << what;
            }
            if (netpbm && ext == "ico") {  // winicontopam takes no cursors
                std::string pam;
                ASSERT_EQ(testutil::Run("winicontopam --andmasks '" + file + "' 2>/dev/null", &pam), 0);
                const size_t end = pam.find("ENDHDR\n");
                ASSERT_NE(end, std::string::npos);
                std::string got = pam.substr(end + 7);
                for (size_t i = 0; i + 3 < got.size(); i += 4)
                    if (got[i + 3] == 0) got.replace(i, 4, std::string(4, '\0'));
                EXPECT_TRUE(got == rgba) << "winicontopam " << what;
            }
            TLinearBitmap back;
            ASSERT_EQ(Load(bytes, back, ext == "ico" ? "ICO" : "CUR"), "");
            std::string want = rgb;
            EXPECT_TRUE(imagetest::RgbBytes(back) == want) << what;  // magenta comes back as the default colour
        }
    }
}

TEST(Ico, SelectionHookAndHostileFiles) {
    TLinearBitmap b;
    // A 2 x 1 1-bit icon: palette black/white, pixel 0 white, pixel 1 masked.
    auto oneBit = [](int entries, uint32_t offset, int headerWidth = 2, int headerHeight = 2, int bits = 1) {
        std::string f = U16(0) + U16(1) + U16(entries);
        for (int i = 0; i < entries; ++i)
            f += std::string{2, 1, 2, 0} + U16(1) + U16(1) + U32(40 + 8 + 4 + 4) + U32(offset);
        f += U32(40) + U32(headerWidth) + U32(headerHeight) + U16(1) + U16(bits) + std::string(24, '\0');
        f += U32(0) + U32(0x00FFFFFF);
        f += std::string("\x80\0\0\0", 4) + std::string("\x40\0\0\0", 4);
        return f;
    };
    ASSERT_EQ(Load(oneBit(1, 22), b), "");
    EXPECT_EQ(imagetest::RgbBytes(b), std::string("\xFF\xFF\xFF\xFF\x00\xFF", 6));
    EXPECT_EQ(Load(oneBit(0, 6), b), "No icons in file");
    EXPECT_EQ(Load(oneBit(1, 22, 3), b), "Size mismatch in icon 1");
    EXPECT_EQ(Load(oneBit(1, 22, 2, 4), b), "Size mismatch in icon 1");
    EXPECT_EQ(Load(oneBit(1, 22, 2, 2, 32), b), kUnsupportedPixelFormat);
    EXPECT_EQ(Load(oneBit(1, 22, 2, 2, 2), b), kUnsupportedPixelFormat);
    EXPECT_EQ(Load(oneBit(1, 40), b), "Error in icon data");
    EXPECT_EQ(Load(oneBit(1, 0xFFFFFFF0), b), "Error in icon data");
    EXPECT_EQ(Load(std::string("\0\0\3\0\1\0", 6), b), kUnsupportedFileFormat);
    const std::string good = oneBit(1, 22);
    for (size_t n = 0; n < good.size(); ++n) EXPECT_NE(Load(good.substr(0, n), b), "") << n;

    // Several entries: the hook sees every line, picks the second and a colour;
    // declining leaves no picture and no error; NoDialog takes the first.
    std::string two = oneBit(2, 38);
    two[6 + 16 + 2] = 0;  // second entry: another colour count only
    TICOLoader& ico = ICOLoader();
    std::vector<std::string> lines;
    ico.SelectIcon = [&](TIconList& list, int& index, uint32_t& colour) {
        for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Describe(i));
        index = 1, colour = 0x0000FF;  // red
        return true;
    };
    ASSERT_EQ(Load(two, b), "");
    EXPECT_EQ(lines, (std::vector<std::string>{"Icon 2 x 1 1 bit", "Icon 2 x 1 1 bit"}));
    EXPECT_EQ(imagetest::RgbBytes(b), std::string("\xFF\xFF\xFF\xFF\x00\x00", 6));
    EXPECT_EQ(ico.TransparentColor, 0x0000FFu);
    ico.SelectIcon = [](TIconList&, int&, uint32_t&) { return false; };
    EXPECT_EQ(Load(two, b), "");
    EXPECT_FALSE(b.Present);
    ico.NoDialog = true;
    ASSERT_EQ(Load(two, b), "");
    EXPECT_TRUE(b.Present);
    ico.NoDialog = false;
    ico.SelectIcon = nullptr;
    ico.TransparentColor = kMagenta;

    // Thousands of entries sharing one 255 x 255 24-bit image take the file's
    // memory, not each entry's pixels.
    TLinearBitmap big;
    big.New(255, 255, pf24bit);
    big.Clear(0x123456);
    std::string one = imagetest::SaveBytes(big, "ICO");
    const std::string entry = one.substr(6, 16), image = one.substr(22);
    const int n = 20000;
    std::string many = U16(0) + U16(1) + U16(n);
    for (int i = 0; i < n; ++i) many += entry.substr(0, 12) + U32(6 + 16 * n);
    many += image;
    const long long grew = imagetest::PeakGrowthBytes([&] { ASSERT_EQ(Load(many, b), ""); });
    if (grew >= 0) { EXPECT_LT(grew, 64 << 20); }
    EXPECT_EQ(b.Width, 255);

    // Saving: too large, and 8-bit pictures by their highest unmasked index.
    big.New(256, 1, pf24bit);
    EXPECT_THROW(imagetest::SaveBytes(big, "ICO"), ELinearBitmap);
    try {
        imagetest::SaveBytes(big, "CUR");
    } catch (const ELinearBitmap& e) {
        EXPECT_STREQ(e.what(), "Image is too large for icon");
    }
    TLinearBitmap p;
    p.New(2, 1, pf8bit);
    std::memcpy(p.Palette, GrayPalette, 768);
    p.Map[0] = 15, p.Map[1] = 200;
    p.Palette[3 * 200] = 0xFF, p.Palette[3 * 200 + 1] = 0, p.Palette[3 * 200 + 2] = 0xFF;  // masked: does not count
    EXPECT_EQ(imagetest::SaveBytes(p, "ICO")[6 + 16 + 14], 4);
    p.Map[1] = 16;
    EXPECT_EQ(imagetest::SaveBytes(p, "ICO")[6 + 16 + 14], 8);
}

TEST(Ico, ProbeListsEntriesAndKeepsTheHotSpot) {
    testutil::TempDir dir;
    const std::string probe = "'" + testutil::BinFile("tevorin-probe") + "' ";
    testutil::WriteAll(dir.File("s.ppm"), "P6\n3 2\n255\n" + std::string("\xFF\x00\xFF", 3) + std::string(15, '\x07'));
    ASSERT_EQ(testutil::Run(probe + "image-save '" + dir.File("s.ppm") + "' '" + dir.File("s.cur") + "' --hotspot 2,1"), 0);
    std::string out;
    ASSERT_EQ(testutil::Run(probe + "icon-list '" + dir.File("s.cur") + "'", &out), 0);
    EXPECT_EQ(out, "Cursor 3 x 2 24 bit hotspot=2,1\n");
    ASSERT_EQ(testutil::Run(probe + "image-load '" + dir.File("s.cur") + "' '" + dir.File("o.ppm") + "' --transparent 00ff00",
                            &out),
              0);
    EXPECT_EQ(out, "loader=TICOLoader width=3 height=2 format=6 hotspot=2,1\n");
    EXPECT_EQ(testutil::ReadAll(dir.File("o.ppm")), "P6\n3 2\n255\n" + std::string("\x00\xFF\x00", 3) + std::string(15, '\x07'));
}

TEST(Ico, Registry) {
    EXPECT_EQ(BitmapLoaders().Loader(1), &ICOLoader());
    for (const std::string ext : {"ICO", "CUR"}) {
        EXPECT_STREQ(BitmapLoaders().FindLoader(ext)->ClassName(), "TICOLoader");
        EXPECT_STREQ(BitmapLoaders().FindSaver(ext)->ClassName(), "TICOLoader");
    }
    EXPECT_FALSE(ICOLoader().CanLoad("IC"));
    EXPECT_EQ(ICOLoader().GetLoadFilter(), "Windows icon (*.ico)|*.ico|Windows cursor (*.cur)|*.cur");
}

}  // namespace
