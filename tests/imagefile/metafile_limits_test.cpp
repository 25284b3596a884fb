// Metafiles that would cost far more than they hold: records painting the picture
// over and over, object tables filled and emptied, bitmaps declaring more than
// their data, pictures of only a header; saves the reader could not take back.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "hostile_pictures.h"
#include "image_test_util.h"
#include "imagefile/Metafile.h"
#include "imagefile/WMFLoader.h"
#include "support/test_util.h"

using namespace imagefile;

namespace {

std::string Load(const std::string& bytes, TLinearBitmap& b, const std::string& ext) {
    return imagetest::LoadBytes(bytes, ext, b);
}

int64_t BudgetOf(const std::string& bytes) {
    TMemStream mem;
    mem.Write(bytes.data(), bytes.size());
    mem.Seek(0);
    TMetafile m;
    m.LoadFromStream(mem);
    return m.PaintBudget();
}

std::string TooCostly(int64_t budget) {
    return "Metafile too costly to draw: its records would paint more than " + std::to_string(budget) + " pixels";
}

// The colour of a picture's pixel as 0xRRGGBB.
uint32_t Rgb(const TLinearBitmap& b, int x, int y) {
    const uint8_t* p = b.PixelFormat == pf8bit ? b.Palette + 3 * b.ScanLine(y)[x] : b.ScanLine(y) + 3 * x;
    return uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
}

std::string Times(const std::string& record, int n) {
    std::string s;
    s.reserve(record.size() * size_t(n));
    for (int i = 0; i < n; ++i) s += record;
    return s;
}

}  // namespace

TEST(MetafileLimits, RecordsPaintingFarMoreThanThePictureAreRefusedBeforeIt) {
    // 1,000 rectangles over the whole of 18000 x 18000 (a 14 KB WMF) and 2,000 (a
    // 48 KB EMF): refused by the measuring pass, before the picture exists.
    const std::string wmf = hostile::Wmf(18000, 18000, Times(hostile::WmfRectangle(0, 0, 18000, 18000), 1000));
    const std::string emf = hostile::Emf(18000, 18000, Times(hostile::EmfRectangle(0, 0, 18000, 18000), 2000));
    EXPECT_EQ(wmf.size(), 14046u);
    EXPECT_EQ(emf.size(), 48128u);
    for (const auto& [bytes, ext] : {std::pair(wmf, "WMF"), std::pair(emf, "EMF")}) {
        TLinearBitmap b;
        std::string error;
        const long long grew = imagetest::PeakGrowthBytes([&] { error = Load(bytes, b, ext); });
        EXPECT_EQ(error, TooCostly(BudgetOf(bytes))) << ext;
        EXPECT_FALSE(b.Present);
        if (grew >= 0) {
            EXPECT_LT(grew, 16 << 20) << ext;
        }
    }
    // On 100 x 100 without a pen, each rectangle paints exactly its 10,000 pixels:
    // as many as the budget allows play, one more is refused.
    const std::string setUp = hostile::WmfNullPen() + hostile::WmfSolidBrush(0x2040A0) + hostile::WmfSelect(0) +
                              hostile::WmfSelect(1);
    const int64_t budget = BudgetOf(hostile::Wmf(100, 100));
    const int fit = static_cast<int>(budget / 10000);
    TLinearBitmap b;
    ASSERT_EQ(Load(hostile::Wmf(100, 100, setUp + Times(hostile::WmfRectangle(0, 0, 100, 100), fit)), b, "WMF"), "");
    EXPECT_EQ(b.PixelFormat, pf8bit);
    EXPECT_EQ(Rgb(b, 0, 0), 0xA04020u);
    EXPECT_EQ(Rgb(b, 99, 99), 0xA04020u);
    EXPECT_EQ(Load(hostile::Wmf(100, 100, setUp + Times(hostile::WmfRectangle(0, 0, 100, 100), fit + 1)), b, "WMF"),
              TooCostly(budget));
    // Far-off and empty shapes cost only what lies in the picture.
    const std::string away = Times(hostile::WmfRectangle(-30000, -30000, -20000, -20000), 2 * fit);
    EXPECT_EQ(Load(hostile::Wmf(100, 100, setUp + away), b, "WMF"), "");
}

TEST(MetafileLimits, NewObjectsTakeTheLowestFreeSlotOfAFullTable) {
    // A null pen in slot 0, then 99,999 brushes of colours 1, 2, ...: slots 1 to
    // 65,535 get the brush of their own number, the rest find the table full.
    std::string records = hostile::WmfNullPen();
    for (uint32_t k = 1; k < 100000; ++k) records += hostile::WmfSolidBrush(k);
    // Slots freed at word and group edges are taken again lowest first; one more
    // brush than was freed finds no slot.
    records += hostile::WmfDelete(65535) + hostile::WmfDelete(4096) + hostile::WmfDelete(4095);
    records += hostile::WmfSolidBrush(0x0000FF) + hostile::WmfSolidBrush(0x00FF00) + hostile::WmfSolidBrush(0xFF0000) +
               hostile::WmfSolidBrush(0x00FFFF);
    records += hostile::WmfSelect(0);
    const unsigned slots[] = {4095, 4096, 65535, 64, 4097};
    for (int i = 0; i < 5; ++i) records += hostile::WmfSelect(slots[i]) + hostile::WmfRectangle(10 * i, 0, 10 * i + 10, 10);
    TLinearBitmap b;
    ASSERT_EQ(Load(hostile::Wmf(50, 10, records), b, "WMF"), "");
    EXPECT_EQ(Rgb(b, 5, 5), 0xFF0000u);  // red, 0x0000FF as the file's B,G,R
    EXPECT_EQ(Rgb(b, 15, 5), 0x00FF00u);
    EXPECT_EQ(Rgb(b, 25, 5), 0x0000FFu);
    EXPECT_EQ(Rgb(b, 35, 5), 0x400000u);  // brush 64
    EXPECT_EQ(Rgb(b, 45, 5), 0x011000u);  // brush 4097: 0x001001 as B,G,R
}

TEST(MetafileLimits, RecordBitmapsAreNoLargerThanTheirDataAllows) {
    // 180 records of four bytes of run-length data, each declaring 16384 x 16384,
    // on a 100 x 100 picture (a 23 KB EMF): every bitmap is left out unread.
    const std::string tiny = std::string("\x05\x01\x00\x01", 4);
    const std::string bombs = hostile::Emf(100, 100, Times(hostile::EmfRleBitmap(0, 0, 100, 100, 16384, 16384, tiny), 180));
    EXPECT_EQ(bombs.size(), 23888u);
    TLinearBitmap b;
    std::string error;
    const long long grew = imagetest::PeakGrowthBytes([&] { error = Load(bombs, b, "EMF"); });
    ASSERT_EQ(error, "");
    EXPECT_EQ(b.PixelFormat, pf8bit);
    EXPECT_EQ(Rgb(b, 50, 50), 0xFFFFFFu);
    if (grew >= 0) {
        EXPECT_LT(grew, 16 << 20);
    }
    // Two runs of 255 black pixels code at most 510: a 510-pixel row is drawn, a
    // 511-pixel one is not.
    const std::string runs = std::string("\xFF\x00\xFF\x00", 4);
    ASSERT_EQ(Load(hostile::Emf(100, 10, hostile::EmfRleBitmap(0, 2, 100, 1, 510, 1, runs) +
                                            hostile::EmfRleBitmap(0, 6, 100, 1, 511, 1, runs)),
                   b, "EMF"),
              "");
    EXPECT_EQ(Rgb(b, 50, 2), 0u);
    EXPECT_EQ(Rgb(b, 50, 6), 0xFFFFFFu);
    // A bitmap given in full, one to one: rows bottom up, white and black.
    const std::string rows = std::string("\x02\x01\x02\x00\x00\x00\x04\x00\x00\x01", 10);
    ASSERT_EQ(Load(hostile::Emf(20, 10, hostile::EmfRleBitmap(3, 4, 4, 2, 4, 2, rows)), b, "EMF"), "");
    EXPECT_EQ(Rgb(b, 3, 5), 0xFFFFFFu);
    EXPECT_EQ(Rgb(b, 5, 5), 0u);
    EXPECT_EQ(Rgb(b, 3, 4), 0u);
    EXPECT_EQ(Rgb(b, 6, 4), 0u);
    EXPECT_EQ(Rgb(b, 7, 4), 0xFFFFFFu);
}

TEST(MetafileLimits, AHeaderDeclaringTheCapHoldsOnePictureOnly) {
    // A 128-byte EMF and a 46-byte WMF of 18000 x 18000: the 24-bit picture
    // (972 MB) is all that is held; the 8-bit result takes its memory.
    const int64_t side = 18000;
    for (const auto& [bytes, ext] : {std::pair(hostile::Emf(side, side), "EMF"), std::pair(hostile::Wmf(side, side), "WMF")}) {
        TLinearBitmap b;
        std::string error;
        const long long grew = imagetest::PeakGrowthBytes([&] { error = Load(bytes, b, ext); });
        ASSERT_EQ(error, "") << ext;
        EXPECT_EQ(b.Width, side);
        EXPECT_EQ(b.Height, side);
        EXPECT_EQ(b.PixelFormat, pf8bit);
        EXPECT_EQ(b.Size, side * side);
        EXPECT_EQ(Rgb(b, 0, 0), 0xFFFFFFu);
        EXPECT_EQ(b.ScanLine(side - 1)[side - 1], 0);
        const int64_t held = imagetest::kSanitized ? side * side * 4 * 9 / 8 : side * side * 3;
        if (grew >= 0) {
            EXPECT_LT(grew, held + (64 << 20)) << ext;
        }
    }
}

TEST(MetafileLimits, SavesTheReaderCouldNotTakeBackAreRefusedBeforeWriting) {
    testutil::TempDir dir;
    // 24 bit, 6000 x 6000: 108 MB of rows. Nothing is built or written.
    TLinearBitmap big;
    big.New(6000, 6000, pf24bit);
    big.Fill(9);
    for (const std::string ext : {"emf", "wmf"}) {
        const std::string file = dir.File("big." + ext);
        std::string error;
        const long long grew = imagetest::PeakGrowthBytes([&] {
            try {
                big.SaveToFile(file);
            } catch (const std::exception& e) {
                error = e.what();
            }
        });
        EXPECT_EQ(error, "Picture too large for a metafile: 6000 x 6000 pixels make a file over 100 MB, which could not "
                         "be read back") << ext;
        EXPECT_FALSE(std::filesystem::exists(file)) << ext;
        if (grew >= 0) {
            EXPECT_LT(grew, 16 << 20) << ext;
        }
    }
    big.Dispose();
    // 8 bit, 10000 wide: 10485 rows make a file just within 100 MB, which reads
    // back; one row more is refused.
    TLinearBitmap p;
    p.New(10000, 10485, pf8bit);
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) p.ScanLine(y)[x] = static_cast<uint8_t>((x / 100 + y / 100) % 5);
    for (int i = 0; i < 256; ++i) p.Palette[3 * i] = uint8_t(40 * i), p.Palette[3 * i + 1] = uint8_t(i), p.Palette[3 * i + 2] = 200;
    for (const std::string ext : {"emf", "wmf"}) {
        const std::string file = dir.File("edge." + ext);
        p.SaveToFile(file);
        EXPECT_LE(std::filesystem::file_size(file), uint64_t(kMaxBridgedStream)) << ext;
        TLinearBitmap back;
        back.LoadFromFile(file);
        ASSERT_EQ(back.Width, p.Width) << ext;
        ASSERT_EQ(back.Height, p.Height) << ext;
        int differ = 0;
        for (int y = 0; y < p.Height; y += 7)
            for (int x = 0; x < p.Width; x += 3) differ += Rgb(back, x, y) != Rgb(p, x, y);
        EXPECT_EQ(differ, 0) << ext;
        std::filesystem::remove(file);
    }
    TLinearBitmap over;
    over.New(10000, 10486, pf8bit);
    for (const std::string ext : {"emf", "wmf"}) {
        std::string error;
        try {
            over.SaveToFile(dir.File("over." + ext));
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, "Picture too large for a metafile: 10000 x 10486 pixels make a file over 100 MB, which could "
                         "not be read back") << ext;
    }
}
