// TLinearBitmap, the loader registry and its bridges, the colour utilities (against
// numpy), the plug-in loader and the image probe subcommands.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "imagefile/AnalyzerPlugins.h"
#include "imagefile/BitmapConversion.h"
#include "imagefile/ColorMapper.h"
#include "imagefile/ImageDLLLoader.h"
#include "image_test_util.h"
#include "imagefile/PNGLoader.h"
#include "platform/bitmap24.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

using imagetest::ErrorOf;

TLinearBitmap Rgb(int w, int h, unsigned seed) {
    TLinearBitmap b;
    b.New(w, h, pf24bit);
    std::mt19937 rng(seed);
    for (int64_t i = 0; i < b.Size; ++i) b.Map[i] = static_cast<uint8_t>(rng() % 7 * 40);
    return b;
}

TEST(LinearBitmap, MessagesExtensionsAndTheRegistry) {
    TLinearBitmap b;
    EXPECT_EQ(ErrorOf([&] { b.New(1, 1, 4); }), kUnsupportedPixelFormat);
    EXPECT_EQ(ErrorOf([&] { b.New(0, 5, 4); }), kUnsupportedPixelFormat);  // the format is checked first
    EXPECT_EQ(ErrorOf([&] { b.New(0, 5, 6); }), kInvalidBitmapSize);
    EXPECT_EQ(ErrorOf([&] { b.New(40000, 40000, 6); }), kInvalidBitmapSize);  // 4.8 GB, never allocated
    EXPECT_EQ(ErrorOf([] { CheckBitmapSize(32768, 32768, 1); }), "");
    EXPECT_EQ(ErrorOf([] { CheckBitmapSize(32768, 32769, 1); }), kInvalidBitmapSize);
    EXPECT_EQ(b.PixelFormat, pfNone);

    const std::map<std::string, std::string> ext = {
        {"a.png", "PNG"}, {"/x/y.JpE", "JPE"}, {"/x/dir.v/name", ""}, {"c:\\dir.v\\name", ""}, {"a.b:c", ""},
        {"noext", ""},    {"a.", ""},          {"/x/.mng", "MNG"}};
    for (const auto& [name, e] : ext) EXPECT_EQ(GetFileExt(name), e) << name;
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile("/x/dir.v/name"); }), "Unsupported file format: ");
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile("/x/a.xyz"); }), "Unsupported file format: XYZ");

    TBitmapLoaders& r = BitmapLoaders();
    ASSERT_GE(r.Count(), 2);
    EXPECT_STREQ(r.Loader(0)->ClassName(), "TImageDLLLoader");
    EXPECT_EQ(r.Loader(0)->GetLoadFilter(), "");
    EXPECT_EQ(r.FindLoader("PNG"), &PNGLoader());
    EXPECT_EQ(r.FindSaver("MNG"), &PNGLoader());
    EXPECT_EQ(PNGLoader().GetSaveFilter(),
              "Portable Network Graphics (*.png)|*.png|Multiple-image Network Graphics (*.mng)|*.mng");
    // The base test is a plain substring test on the filter.
    struct Foo : TBitmapLoader {
        std::string GetLoadFilter() override { return "Foo files (*.foo)|*.foo"; }
    } foo;
    EXPECT_TRUE(foo.CanLoad("FO"));
    EXPECT_TRUE(foo.CanSave("FOO"));
    EXPECT_FALSE(foo.CanLoad(""));
    EXPECT_FALSE(foo.CanLoad("BAR"));
}

TEST(LinearBitmap, ClearResizeAndFormatConversions) {
    TLinearBitmap b;
    b.New(3, 2, pf8bit);
    b.Clear(0x0000FF);
    EXPECT_EQ(b.Map[0], 85);  // (2 x 255 + 3) div 6
    EXPECT_EQ(b.Map[5], 85);
    b.New(3, 2, pf24bit);
    b.Clear(0x336699);
    EXPECT_EQ(std::vector<uint8_t>(b.Map + 15, b.Map + 18), (std::vector<uint8_t>{0x33, 0x66, 0x99}));
    b.Clear(0);
    EXPECT_EQ(b.Map[17], 0);

    // Resizing keeps the old pixels at the offset, clipped, the rest in the fill colour.
    b.Map[0] = 1, b.Map[3 * 5 + 2] = 9;
    b.ResizeCanvas(5, 3, 0xFFFFFF, 1, 2);
    ASSERT_EQ(b.Width, 5);
    EXPECT_EQ(b.ScanLine(1)[3 * 2], 1);
    EXPECT_EQ(b.ScanLine(2)[3 * 4 + 2], 9);
    EXPECT_EQ(b.ScanLine(0)[0], 255);
    EXPECT_EQ(b.ScanLine(2)[3 * 1], 255);
    b.ResizeCanvas(1, 1, 0);
    EXPECT_EQ(b.ScanLine(0)[0], 255);
    b.ResizeCanvas(0, 4, 0);
    EXPECT_FALSE(b.Present);
    b.ResizeCanvas(2, 2, 0x0000FF);  // an empty picture becomes 8-bit grey
    EXPECT_EQ(b.PixelFormat, pf8bit);
    EXPECT_TRUE(b.IsGrayScale());
    EXPECT_EQ(b.Map[3], 85);
    TLinearBitmap other;
    other.TakeOver(b);
    EXPECT_TRUE(other.Present && !b.Present && b.Map == nullptr);
    // A 24-bit grey picture stops being grey at any one changed byte, in the
    // word-wise part of a row and in its tail.
    for (int w : {1, 8, 9, 17}) {
        TLinearBitmap g;
        g.New(w, 2, pf24bit);
        for (int i = 0; i < g.Size; ++i) g.Map[i] = static_cast<uint8_t>(i / 3 * 7);
        EXPECT_TRUE(g.IsGrayScale()) << w;
        for (int i = 0; i < g.Size; ++i) {
            g.Map[i] ^= 1;
            EXPECT_FALSE(g.IsGrayScale()) << w << " " << i;
            g.Map[i] ^= 1;
        }
    }

    // The 3-3-2 cube in closed form.
    TLinearBitmap c;
    c.New(256, 1, pf24bit);
    for (int k = 0; k < 256; ++k) c.Map[3 * k] = uint8_t(k * 7), c.Map[3 * k + 1] = uint8_t(255 - k), c.Map[3 * k + 2] = uint8_t(k);
    TLinearBitmap cube;
    cube.Assign(c);
    cube.SetPixelFormat(pf8bit);
    for (int k = 0; k < 256; ++k) {
        const int index = (k & 224) | (((255 - k) >> 5) << 2) | (uint8_t(k * 7) >> 6);
        ASSERT_EQ(cube.Map[k], index) << k;
        const uint8_t* p = cube.Palette + 3 * k;
        ASSERT_EQ(p[2], std::lround((k >> 5) * 255.0 / 7)) << k;
        ASSERT_EQ(p[1], std::lround(((k >> 2) & 7) * 255.0 / 7)) << k;
        ASSERT_EQ(p[0], (k & 3) * 85) << k;
    }
    cube.SetPixelFormat(pf32bit);  // through 24 bit: the palette colours and a fourth byte 0
    EXPECT_EQ(cube.PixelSize, 4);
    EXPECT_EQ(cube.Map[4 * 255 + 2], 255);
    EXPECT_EQ(cube.Map[4 * 255 + 3], 0);
    cube.SetPixelFormat(pf24bit);
    EXPECT_FALSE(cube.IsGrayScale());

    TLinearBitmap g;
    g.New(2, 1, pf16bit);
    const uint8_t v[4] = {0x34, 0x12, 0xFF, 0xAB};
    std::memcpy(g.Map, v, 4);
    EXPECT_TRUE(g.IsGrayScale());
    EXPECT_EQ(ErrorOf([&] { g.SetPixelFormat(pf32bit); }), kUnsupportedPixelFormat);
    TLinearBitmap g8;
    g8.Assign(g);
    g8.SetPixelFormat(pf8bit);
    EXPECT_EQ(g8.Map[0], 0x12);
    EXPECT_EQ(g8.Map[1], 0xAB);
    g.SetPixelFormat(pf24bit);
    EXPECT_EQ(std::vector<uint8_t>(g.Map, g.Map + 6), (std::vector<uint8_t>{0x12, 0x12, 0x12, 0xAB, 0xAB, 0xAB}));
    EXPECT_TRUE(g.IsGrayScale());
    EXPECT_EQ(ErrorOf([&] { g.SetPixelFormat(pf16bit); }), kUnsupportedPixelFormat);
}

TEST(LinearBitmap, QImageAndBitmap24RoundTripsAndPainting) {
    TLinearBitmap b;
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(250, 0, 7)});
    indexed.fill(1);
    b.Assign(indexed);
    ASSERT_EQ(b.PixelFormat, pf8bit);
    EXPECT_EQ(std::vector<uint8_t>(b.Palette, b.Palette + 9), (std::vector<uint8_t>{3, 2, 1, 7, 0, 250, 0, 0, 0}));
    QImage back;
    b.AssignTo(back);
    EXPECT_EQ(back.format(), QImage::Format_Indexed8);
    EXPECT_EQ(back.pixel(2, 1), qRgb(250, 0, 7));

    QImage rgb(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) rgb.setPixel(x, y, qRgb(x * 50, y * 90, 7));
    for (auto format : {QImage::Format_RGB888, QImage::Format_BGR888, QImage::Format_RGB32, QImage::Format_ARGB32}) {
        b.Assign(rgb.convertToFormat(format));
        EXPECT_EQ(b.PixelFormat, format == QImage::Format_RGB32 ? pf32bit : pf24bit) << format;
        b.AssignTo(back);
        EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), rgb) << format;
    }
    Bitmap24 frame(4, 3);
    frame.Fill(10, 20, 30);
    b.Assign(frame);
    Bitmap24 frame2;
    b.AssignTo(frame2);
    EXPECT_TRUE(frame2 == frame);
    b.Assign(QImage(0, 4, QImage::Format_BGR888));
    EXPECT_EQ(b.PixelFormat, pfNone);

    TLinearBitmap g;
    g.New(2, 2, pf16bit);
    const uint8_t v[8] = {0, 10, 0, 20, 0, 30, 0xFF, 40};
    std::memcpy(g.Map, v, 8);
    g.AssignTo(back);
    EXPECT_EQ(back.pixel(1, 1), qRgb(40, 40, 40));
    // Painting without halftone stretches by nearest pixels.
    QImage canvas(4, 4, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    g.PaintToCanvas(painter, QRect(0, 0, 4, 4), false);
    painter.end();
    EXPECT_EQ(canvas.pixel(3, 0), qRgb(20, 20, 20));
    EXPECT_EQ(canvas.pixel(0, 3), qRgb(30, 30, 30));
}

TEST(ColourUtilities, AgainstNumpy) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) GTEST_SKIP() << "no numpy";
    testutil::TempDir dir;
    TLinearBitmap b = Rgb(64, 48, 3);
    testutil::WriteAll(dir.File("p.raw"), std::string(reinterpret_cast<char*>(b.Map), b.Size));
    std::string out;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/imagefile/colour_oracle.py' '" +
                                dir.File("p.raw") + "' 64 48",
                            &out),
              0);
    std::istringstream lines(out);
    std::string line;
    TLinearBitmap grey;
    grey.Assign(b);
    ConvertToGrayscale(grey);
    int labBad = 0;
    while (std::getline(lines, line)) {
        std::istringstream s(line);
        std::string key;
        s >> key;
        if (key == "colors") {
            int n;
            s >> n;
            EXPECT_EQ(CountColors(b), n);
        } else if (key == "hist") {
            int channel;
            s >> channel;
            THistogram h;
            GetHistogram(h, b, channel);
            for (int i = 0; i < 256; ++i) {
                uint32_t n;
                s >> n;
                ASSERT_EQ(h.Bins[i], n) << "channel " << channel << " bin " << i;
            }
        } else if (key == "grey") {
            ASSERT_EQ(grey.PixelFormat, pf8bit);
            EXPECT_TRUE(grey.IsGrayScale());
            for (int i = 0; i < 64 * 48; ++i) {
                int v;
                s >> v;
                ASSERT_EQ(grey.Map[i], v) << "pixel " << i;
            }
        } else if (key == "lab") {
            int in[3], want[3];
            s >> in[0] >> in[1] >> in[2] >> want[0] >> want[1] >> want[2];
            const uint8_t lab[3] = {uint8_t(in[0]), uint8_t(in[1]), uint8_t(in[2])};
            uint8_t rgb[3];
            LabToRGB(lab, rgb);
            // Both round the same double sums; only a tie seen differently may differ by one.
            for (int c = 0; c < 3; ++c)
                if (std::abs(rgb[c] - want[c]) > 1 && ++labBad <= 3)
                    ADD_FAILURE() << "Lab " << in[0] << "," << in[1] << "," << in[2] << " channel " << c << ": "
                                  << int(rgb[c]) << " != " << want[c];
        } else if (key == "inv_ycc" || key == "inv_xyz") {
            const TColorMatrix& m = key == "inv_ycc" ? YCbCrToRGB : RGBToXYZ;
            for (int i = 0; i < 16; ++i) {
                double v;
                s >> v;
                EXPECT_NEAR(m[i / 4][i % 4], v, 1e-9 * (1 + std::abs(v))) << key << " " << i;
            }
        }
    }
    // An 8-bit picture counts its byte values; a grey palette picture maps through its palette.
    TLinearBitmap p;
    p.New(4, 1, pf8bit);
    const uint8_t idx[4] = {0, 5, 5, 0};
    std::memcpy(p.Map, idx, 4);
    std::memset(p.Palette, 0, 768);
    p.Palette[3 * 5 + 2] = 255;
    EXPECT_EQ(CountColors(p), 2);
    ConvertToGrayscale(p);
    EXPECT_EQ(p.Map[1], 85);
    uint8_t invert[256];
    for (int i = 0; i < 256; ++i) invert[i] = uint8_t(255 - i);
    const uint8_t blue = b.Map[0], green = b.Map[1];
    ApplyLUT(invert, b, 1);
    EXPECT_EQ(b.Map[0], blue);
    EXPECT_EQ(b.Map[1], 255 - green);
    TLinearBitmap white;
    white.New(3, 3, pf24bit);
    white.Fill(255);
    EXPECT_EQ(CountColors(white), 1);
    ConvertToGrayscale(white);
    EXPECT_EQ(white.Map[8], 255);
}

// In-process plug-in routines for the loader's paths.
int g_releases = 0;
int g_planes = 3;
uint8_t g_planeData[3 * 2 * 2];
std::string g_loadedName;
int PluginLoad(const char* name, TPluginImage* image, char* space) {
    g_loadedName = name;
    if (!std::filesystem::exists(name)) return 2;
    if (g_planes == 0) return 7;
    *image = TPluginImage{2, 2, 2, 16 + 3, g_planeData, nullptr, static_cast<uint32_t>(g_planes)};
    std::strcpy(space, "YCbCr");
    return 0;
}
void PluginRelease(TPluginImage*) { ++g_releases; }
int PluginSave(const char*, const TPluginImage*) { return 9; }

TEST(PluginLoader, InProcessEntryAndTheStreamBridge) {
    const std::pair<int, std::string> codes[] = {{0, ""},
                                                 {2, "Unable to open file"},
                                                 {3, "Error in bitmap data"},
                                                 {4, "Unsupported pixel format"},
                                                 {5, "Unable to close file"},
                                                 {11, "Process failed: 11"}};
    for (const auto& [code, text] : codes) EXPECT_EQ(ErrorOf([code = code] { RaisePluginError(code); }), text);
    EXPECT_EQ(ErrorOf([] { RaisePluginError(12, "Error writing image file: %d"); }), "Error writing image file: 12");

    testutil::TempDir dir;
    const std::string oldTmp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    setenv("TMPDIR", dir.Path().c_str(), 1);
    TImageDLLLoader& plugin = ImageDLLLoader();
    plugin.Entries.push_back({nullptr, "Test (*.tst)", "Test (*.tst)", PluginLoad, PluginSave, PluginRelease});
    EXPECT_EQ(BitmapLoaders().FindLoader("TST"), &plugin);
    for (int i = 0; i < 12; ++i) g_planeData[i] = static_cast<uint8_t>(20 * i);

    // Loading from a stream goes through a temporary file named with the extension.
    TMemStream mem;
    mem.Write("anything", 8);
    mem.Seek(0);
    TLinearBitmap b;
    b.LoadFromStream(mem, "tst");
    EXPECT_EQ(g_loadedName.substr(g_loadedName.size() - 4), ".TST");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    ASSERT_EQ(b.PixelFormat, pf24bit);
    for (int i = 0; i < 4; ++i) {
        const uint8_t ycc[3] = {g_planeData[i], g_planeData[4 + i], g_planeData[8 + i]};
        uint8_t rgb[3];
        ApplyColorMatrix(YCbCrToRGB, ycc, rgb);
        EXPECT_EQ(std::vector<uint8_t>(b.Map + 3 * i, b.Map + 3 * i + 3), (std::vector<uint8_t>{rgb[2], rgb[1], rgb[0]}));
    }
    EXPECT_EQ(g_releases, 1);
    g_planes = 4;
    mem.Seek(0);
    EXPECT_EQ(ErrorOf([&] { b.LoadFromStream(mem, "TST"); }), "The image contains 4 color planes, only 3 were loaded");
    EXPECT_EQ(g_releases, 2);
    EXPECT_FALSE(b.Present);
    g_planes = 0;
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(dir.File("x.tst")); }), "Unable to open file");
    testutil::WriteAll(dir.File("x.tst"), "x");
    EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(dir.File("x.tst")); }), "Error in bitmap data: 7");
    std::filesystem::remove(dir.File("x.tst"));
    b.New(2, 2, pf24bit);
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(dir.File("y.tst")); }), "Error writing image file: 9");
    b.New(2, 2, pf16bit);
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(dir.File("y.tst")); }), kUnsupportedPixelFormat);

    // A stream above 100 MB is refused, not cut, and leaves no temporary file.
    struct Zeros : TBaseStream {
        int64_t left = kMaxBridgedStream + 1;
        Zeros() { CanRead = true; }
        size_t Write(const void*, size_t) override { return 0; }
        size_t Read(void* p, size_t n) override {
            n = static_cast<size_t>(std::min<int64_t>(n, left));
            std::memset(p, 0, n);
            left -= static_cast<int64_t>(n);
            return n;
        }
        int64_t Available() override { return left; }
    } zeros;
    g_planes = 3;
    EXPECT_EQ(ErrorOf([&] { b.LoadFromStream(zeros, "TST"); }), "Picture data larger than 100 MB");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    plugin.Entries.clear();
    if (oldTmp.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", oldTmp.c_str(), 1);
}

TEST(LinearBitmap, SavesReplaceWholeFilesAndTheSaveRoad) {
    testutil::TempDir dir;
    const std::string target = dir.File("a.png");
    testutil::WriteAll(target, "old");
    TLinearBitmap b;
    b.New(2, 2, pf32bit);
    EXPECT_EQ(ErrorOf([&] { b.SaveToFile(target); }), kUnsupportedPixelFormat);
    EXPECT_EQ(testutil::ReadAll(target), "old");
    b = Rgb(9, 7, 1);
    b.SaveToFile(target);
    TLinearBitmap back;
    EXPECT_EQ(back.LoadFromFile(target), &PNGLoader());
    EXPECT_EQ(std::memcmp(back.Map, b.Map, b.Size), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    QImage picture;
    b.AssignTo(picture);
    EXPECT_EQ(SavePictureRoad(picture, dir.File("shot.bmp"), 1), dir.File("shot.png"));
    EXPECT_EQ(SavePictureRoad(picture, dir.File("shot"), 9), dir.File("shot.png"));
    EXPECT_EQ(SavePictureRoad(picture, "", 1), "");
    LoadPictureRoad(dir.File("shot.png"), back);
    EXPECT_EQ(std::memcmp(back.Map, b.Map, b.Size), 0);
    // The bitmap and JPEG choices write through their loaders.
    EXPECT_EQ(SavePictureRoad(picture, dir.File("shot.png"), 3), dir.File("shot.bmp"));
    LoadPictureRoad(dir.File("shot.bmp"), back);
    EXPECT_EQ(std::memcmp(back.Map, b.Map, b.Size), 0);
    EXPECT_EQ(SavePictureRoad(picture, dir.File("shot.png"), 2), dir.File("shot.jpg"));
    EXPECT_EQ(back.LoadFromFile(dir.File("shot.jpg"))->ClassName(), std::string("TJPEGLoader"));
    EXPECT_EQ(back.Width * 100 + back.Height, 907);
}

TEST(LinearBitmap, AFifoNamedAsAPictureIsRefusedAtOnce) {
    // Opening a FIFO waits for a writer unless the open refuses it first.
    testutil::TempDir dir;
    ::alarm(60);
    for (const std::string name : {"x.png", "x.jpg", "x.bmp"}) {
        const std::string fifo = dir.File(name);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        TLinearBitmap b;
        EXPECT_EQ(ErrorOf([&] { b.LoadFromFile(fifo); }), "Error opening \"" + fifo + "\" - Not a regular file") << name;
        EXPECT_EQ(ErrorOf([&] { TFileStream f(fifo, TFileStream::fmRead | TFileStream::fmWrite); }),
                  "Error opening \"" + fifo + "\" - Not a regular file");
    }
    ::alarm(0);
}

TEST(LinearBitmap, ProbeSubcommands) {
    testutil::TempDir dir;
    const std::string probe = "'" + testutil::BinFile("tevorin-probe") + "' ";
    std::string out;
    EXPECT_EQ(testutil::Run(probe + "image-loader x.mng", &out), 0);
    EXPECT_EQ(out, "load=TPNGLoader save=TPNGLoader\n");
    EXPECT_EQ(testutil::Run(probe + "image-loader /a.b/c 2>&1", &out), 2);
    EXPECT_EQ(out, "tevorin-probe: Unsupported file format: \n");
    // An 8-bit PGM with a 256 x 1 palette, saved as PNG, loaded back with the palette.
    std::string pal = "P6\n256 1\n255\n";
    for (int i = 0; i < 256; ++i) pal += {char(i), char(255 - i), char(7)};
    testutil::WriteAll(dir.File("pal.ppm"), pal);
    testutil::WriteAll(dir.File("in.pgm"), std::string("P5\n3 1\n255\n\x01\x02\xFF", 14));
    ASSERT_EQ(testutil::Run(probe + "image-save " + dir.File("in.pgm") + " " + dir.File("o.png") + " --palette " +
                            dir.File("pal.ppm") + " --filter-mode 4"),
              0);
    EXPECT_EQ(testutil::Run(probe + "image-load " + dir.File("o.png") + " " + dir.File("o.ppm") + " --palette", &out), 0);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "loader=TPNGLoader width=3 height=1 format=3 gamma=0 transparent=-1\n");
    EXPECT_NE(out.find("\n2 2 253 7\n"), std::string::npos);
    EXPECT_EQ(testutil::ReadAll(dir.File("o.ppm")), std::string("P6\n3 1\n255\n\x01\xFE\x07\x02\xFD\x07\xFF\x00\x07", 20));
    EXPECT_EQ(testutil::Run(probe + "image-colors " + dir.File("o.png"), &out), 0);
    EXPECT_EQ(out, "colors=3 gray=0\n");
    EXPECT_EQ(testutil::Run(probe + "save-road " + dir.File("o.ppm") + " " + dir.File("r.jpg") + " 1", &out), 0);
    EXPECT_EQ(out, dir.File("r.png") + "\n");
    EXPECT_EQ(testutil::Run(probe + "save-road " + dir.File("o.ppm") + " '' 1", &out), 0);
    EXPECT_EQ(out, "nothing saved\n");
}

}  // namespace
