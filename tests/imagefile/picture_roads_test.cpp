// The roads that open a picture for a window: the size limit read from each
// format's header before any pixel is decoded, the window's 32-bit image made
// from one decoded picture, frames filled row by row; the image probe's numeric
// options.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <thread>
#include <zlib.h>

#include "hostile_pictures.h"
#include "image_test_util.h"
#include "imagefile/LinarBitmap.h"
#include "platform/bitmap24.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

using imagetest::ErrorOf;

// A small picture saved by Qt in `format`, with the size its header declares
// replaced by w x h (the PNG header's checksum made right again).
std::string DeclaringSize(const char* format, int w, int h) {
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(small.save(&buffer, format));
    std::string s = bytes.toStdString();
    auto be16 = [](int v) { return std::string{char(v >> 8), char(v)}; };
    auto be32 = [&](uint32_t v) { return be16(int(v >> 16)) + be16(int(v & 0xFFFF)); };
    if (std::string(format) == "PNG") {
        s.replace(16, 8, be32(uint32_t(w)) + be32(uint32_t(h)));  // IHDR data at 16, its CRC over type and data at 29
        const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data() + 12), 17));
        s.replace(29, 4, be32(crc));
    } else {
        const size_t sof = s.find("\xFF\xC0");
        EXPECT_NE(sof, std::string::npos);
        s.replace(sof + 5, 4, be16(h) + be16(w));
    }
    return s;
}

const std::string kTooLarge = "Picture too large to open: ";

}  // namespace

TEST(PictureRoads, HostileFilesAreRefusedFromTheirHeaderBeforeDecoding) {
    testutil::TempDir dir;
    // Each declares a picture the library would decode within its 1 GiB cap, which a
    // window would then hold several times over.
    std::vector<hostile::File> files = hostile::WindowBombs();
    files.push_back({"header.png", DeclaringSize("PNG", 16000, 16000), "16000 x 16000"});
    files.push_back({"header.jpg", DeclaringSize("JPG", 20000, 14000), "20000 x 14000"});
    EXPECT_EQ(files[0].bytes.size(), 1082u);
    EXPECT_EQ(files[2].bytes.size(), 128u);
    EXPECT_EQ(files[3].bytes.size(), 46u);
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = dir.File(f.name);
        testutil::WriteAll(path, f.bytes);
        std::string error;
        QImage image;
        const long long grew = imagetest::PeakGrowthBytes([&] { error = ErrorOf([&] { image = LoadPictureRoad(path); }); });
        EXPECT_EQ(error, kTooLarge + f.size + " pixels (at most 134217728 pixels)");
        EXPECT_TRUE(image.isNull());
        TLinearBitmap b;
        EXPECT_EQ(ErrorOf([&] { LoadPictureRoad(path, b); }), error);
        EXPECT_FALSE(b.Present);
        // Nothing of the picture's size was allocated (the PCX is read in blocks).
        if (grew >= 0) {
            EXPECT_LT(grew, 16 << 20) << grew;
        }
    }
}

TEST(PictureRoads, TheLimitHoldsForItsScopeAndItsThreadOnly) {
    TLinearBitmap b;
    {
        const TPictureLimit outer(1000, 50);
        EXPECT_EQ(ErrorOf([&] { b.New(51, 2, pf8bit); }), kTooLarge + "51 x 2 pixels (at most 50 pixels a side)");
        EXPECT_EQ(ErrorOf([&] { b.New(40, 26, pf8bit); }), kTooLarge + "40 x 26 pixels (at most 1000 pixels)");
        EXPECT_EQ(ErrorOf([&] { b.New(40, 25, pf24bit); }), "");
        {
            const TPictureLimit inner(kMaxBitmapBytes);
            EXPECT_EQ(ErrorOf([&] { b.New(4000, 3, pf8bit); }), "");
        }
        EXPECT_NE(ErrorOf([&] { b.New(4001, 3, pf8bit); }), "");
        // The library's own cap still comes first.
        EXPECT_EQ(ErrorOf([&] { CheckBitmapSize(0, 5, 1); }), kInvalidBitmapSize);
        std::string other;
        std::thread([&] { other = ErrorOf([&] { TLinearBitmap t; t.New(4000, 3, pf8bit); }); }).join();
        EXPECT_EQ(other, "");
    }
    EXPECT_EQ(ErrorOf([&] { b.New(4002, 3, pf8bit); }), "");
}

TEST(PictureRoads, TheWindowsImageComesFromOneDecodedPicture) {
    testutil::TempDir dir;
    // 4096 x 4096 run-length 8 bit: the bottom row starts with five pixels of grey 7.
    const int side = 4096;
    const std::string path = dir.File("big.bmp");
    testutil::WriteAll(path, hostile::RleBmp(side, side));
    QImage image;
    const long long grew = imagetest::PeakGrowthBytes([&] { image = LoadPictureRoad(path); });
    ASSERT_EQ(image.format(), QImage::Format_RGB32);
    ASSERT_EQ(image.size(), QSize(side, side));
    EXPECT_EQ(image.pixel(4, side - 1), qRgb(7, 7, 7));
    EXPECT_EQ(image.pixel(5, side - 1), qRgb(0, 0, 0));
    // The decoded picture (1 byte a pixel) and the image (4), no copy between.
    const int64_t pixels = int64_t{side} * side;
    if (grew >= 0) {
        EXPECT_LT(grew, pixels * 5 + (8 << 20)) << grew;
    }

    // Every pixel format arrives as the library's own conversion gives it.
    for (int format : {pf8bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(format);
        TLinearBitmap b;
        imagetest::RandomPicture(b, 7, 5, format, 11u + format);
        const std::string file = dir.File("p" + std::to_string(format) + ".png");
        TLinearBitmap saved;
        saved.Assign(b);
        if (format == pf32bit) saved.SetPixelFormat(pf24bit);  // PNG writes no 32-bit pictures
        saved.SaveToFile(file);
        const QImage shown = LoadPictureRoad(file);
        const std::string want = imagetest::RgbBytes(b);
        std::string got;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const QRgb c = shown.pixel(x, y);
                got += {char(qRed(c)), char(qGreen(c)), char(qBlue(c))};
            }
        EXPECT_EQ(got, want);
        Bitmap24 frame;
        b.AssignTo(frame);
        std::string rows;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const uint8_t* p = frame.Scanline(y) + 3 * x;
                rows += {char(p[2]), char(p[1]), char(p[0])};
            }
        EXPECT_EQ(rows, want);
    }
    // A frame of a large 8-bit picture holds the frame and nothing more.
    TLinearBitmap b;
    b.New(side, side, pf8bit);
    b.Fill(3);
    std::memcpy(b.Palette, GrayPalette, 768);
    Bitmap24 frame;
    const long long frameGrew = imagetest::PeakGrowthBytes([&] { b.AssignTo(frame); });
    EXPECT_EQ(frame.Brightness(side - 1, side - 1), 9);
    if (frameGrew >= 0) {
        EXPECT_LT(frameGrew, pixels * 3 + (8 << 20)) << frameGrew;
    }
}

TEST(PictureRoads, ProbeNumbersThatAreNoNumbersAreUsageErrors) {
    testutil::TempDir dir;
    const std::string probe = "'" + testutil::BinFile("tevorin-probe") + "' ";
    const std::string in = dir.File("in.pgm"), out = dir.File("o.ppm");
    testutil::WriteAll(in, std::string("P5\n2 1\n255\n\x01\x02", 13));
    ASSERT_EQ(testutil::Run(probe + "image-save " + in + " " + dir.File("a.png")), 0);
    const std::string png = dir.File("a.png");
    const struct {
        std::string args, error;
    } cases[] = {
        {"image-load " + png + " " + out + " --icon-index abc", "--icon-index takes a whole number, not \"abc\""},
        {"image-load " + png + " " + out + " --min-width 9x", "--min-width takes a whole number, not \"9x\""},
        {"image-load " + png + " " + out + " --min-height ''", "--min-height takes a whole number, not \"\""},
        {"image-load " + png + " " + out + " --transparent 0xFF", "--transparent takes RRGGBB in hexadecimal, not \"0xFF\""},
        {"image-save " + in + " " + png + " --to six", "--to takes a whole number, not \"six\""},
        {"image-save " + in + " " + png + " --quality 99999999999", "--quality takes a whole number, not \"99999999999\""},
        {"image-save " + in + " " + png + " --hotspot 1,y", "--hotspot takes a whole number, not \"y\""},
        {"image-convert " + png + " " + png + " --filter-mode -", "--filter-mode takes a whole number, not \"-\""},
        {"save-road " + in + " " + png + " one", "INDEX takes a whole number, not \"one\""},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(testutil::Run(probe + c.args + " 2>&1", &err), 2) << c.args;
        EXPECT_EQ(err, "tevorin-probe: " + c.error + "\n") << c.args;
    }
    // Good numbers still work: a transparent colour, a hexadecimal index.
    EXPECT_EQ(testutil::Run(probe + "image-load " + png + " " + out + " --transparent ff8000 --min-width $10"), 0);
}
