// The AVI reader's contract and the files a capture leaves behind: dropped
// frames, a capture cut short, a file without its index.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"

namespace {

class VfwAviTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    std::string Make(const std::string& name, const std::string& encode, double seconds = 1,
                     const std::string& rate = "25") {
        std::string file = dir.File(name);
        EXPECT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(320, 240, rate, seconds) + " " + encode + " '" + file + "'"));
        return file;
    }
    testutil::TempDir dir;
};

TEST_F(VfwAviTest, ContractBeforeOpenAfterCloseAndOutsideTheVideo) {
    TVfwAvi avi;
    Bitmap24 bmp;
    EXPECT_EQ(avi.FrameCount(), -1);
    EXPECT_EQ(avi.GetFrameRate(), 30.0f);
    EXPECT_FALSE(avi.GetFrame(0, bmp));
    EXPECT_FALSE(avi.Open(dir.File("missing.avi")));
    EXPECT_EQ(avi.FrameCount(), -1);

    const std::string file = Make("mjpeg.avi", "-c:v mjpeg", 0.82, "30000/1001");
    ASSERT_TRUE(avi.Open(file));
    EXPECT_EQ(avi.FrameCount(), 25);
    EXPECT_FLOAT_EQ(avi.GetFrameRate(), 30000.0f / 1001.0f);
    // Outside the video before anything was decoded: nothing to deliver.
    EXPECT_FALSE(avi.GetFrame(-1, bmp));
    EXPECT_FALSE(avi.GetFrame(25, bmp));
    ASSERT_TRUE(avi.GetFrame(7, bmp));
    EXPECT_EQ(vfix::ReadCode(bmp), 7);
    EXPECT_EQ(bmp.Width(), 320);
    EXPECT_EQ(bmp.Height(), 240);
    // Outside the video: the frame decoded last, again.
    Bitmap24 other;
    ASSERT_TRUE(avi.GetFrame(-1, other));
    EXPECT_TRUE(other == bmp);
    ASSERT_TRUE(avi.GetFrame(25, other));
    EXPECT_EQ(vfix::ReadCode(other), 7);
    ASSERT_TRUE(avi.GetFrame(24, other));
    ASSERT_TRUE(avi.GetFrame(1000, other));
    EXPECT_EQ(vfix::ReadCode(other), 24);

    avi.Close();
    EXPECT_EQ(avi.FrameCount(), -1);
    EXPECT_EQ(avi.GetFrameRate(), 30.0f);
    EXPECT_FALSE(avi.GetFrame(-1, other));
    EXPECT_FALSE(avi.GetFrame(0, other));
    avi.Close();  // twice is harmless
}

TEST_F(VfwAviTest, UnknownCodecOpensButDeliversNoFrame) {
    std::string data = testutil::ReadAll(Make("mjpeg.avi", "-c:v mjpeg"));
    // Rename the codec in the stream header and the bitmap header.
    for (size_t at = 0; (at = data.find("MJPG", at)) != std::string::npos;) data.replace(at, 4, "QQZZ");
    const std::string file = dir.File("unknown.avi");
    testutil::WriteAll(file, data);
    TVfwAvi avi;
    ASSERT_TRUE(avi.Open(file));
    EXPECT_EQ(avi.FrameCount(), 25);
    EXPECT_FALSE(avi.Decoder().CanDecode());
    Bitmap24 bmp;
    EXPECT_FALSE(avi.GetFrame(0, bmp));
    EXPECT_FALSE(avi.GetFrame(-1, bmp));
    EXPECT_FALSE(avi.LastError().empty());
}

TEST_F(VfwAviTest, WriteSidePropertiesClamp) {
    TVfwAvi avi;
    EXPECT_EQ(avi.Width, 320);
    EXPECT_EQ(avi.Height, 240);
    EXPECT_TRUE(avi.Compress);
    EXPECT_FALSE(avi.PreCompress);
    EXPECT_EQ(avi.FrameRate(), 30);
    EXPECT_EQ(avi.BitDepth(), 16);
    avi.SetFrameRate(0);
    EXPECT_EQ(avi.FrameRate(), 1);
    avi.SetFrameRate(31);
    EXPECT_EQ(avi.FrameRate(), 30);
    avi.SetBitDepth(24);
    EXPECT_EQ(avi.BitDepth(), 24);
    avi.SetBitDepth(32);
    EXPECT_EQ(avi.BitDepth(), 16);
}

// Frames 3, 4, 13, 14, ... are dropped: their slots are zero-size chunks.
TEST_F(VfwAviTest, DroppedFramesCountAndShowThePreviousPicture) {
    const std::string file = Make("drop.avi",
                                  "-vf \"select='not(between(mod(n,10),3,4))'\" -fps_mode passthrough "
                                  "-c:v rawvideo -pix_fmt bgr24",
                                  2);
    auto shown = [](int n) { return n % 10 == 3 ? n - 1 : n % 10 == 4 ? n - 2 : n; };
    TVfwAvi avi;
    ASSERT_TRUE(avi.Open(file));
    ASSERT_EQ(avi.FrameCount(), 50);
    std::vector<Bitmap24> seq(50);
    for (int n = 0; n < 50; ++n) {
        ASSERT_TRUE(avi.GetFrame(n, seq[n])) << n;
        ASSERT_EQ(vfix::ReadCode(seq[n]), shown(n)) << "frame " << n;
    }
    TVfwAvi again;
    ASSERT_TRUE(again.Open(file));
    std::vector<int> order(50);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    Bitmap24 bmp;
    for (int n : order) {
        ASSERT_TRUE(again.GetFrame(n, bmp)) << n;
        ASSERT_TRUE(bmp == seq[n]) << "frame " << n << " shows " << vfix::ReadCode(bmp);
    }
}

// A capture cut at 60 % has lost its index and a part of its frames; one whose
// index was never written is whole. Both open, count what is there and seek.
TEST_F(VfwAviTest, CutCaptureAndMissingIndexOpenAndRead) {
    const std::string whole = testutil::ReadAll(Make("whole.avi", "-c:v mjpeg -q:v 4", 2));
    const size_t idx1 = whole.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    const std::string noIndex = dir.File("noindex.avi"), cut = dir.File("cut.avi");
    testutil::WriteAll(noIndex, whole.substr(0, idx1));
    testutil::WriteAll(cut, whole.substr(0, whole.size() * 6 / 10));

    for (const std::string& file : {noIndex, cut}) {
        SCOPED_TRACE(file);
        TVfwAvi avi;
        ASSERT_TRUE(avi.Open(file));
        const int count = avi.FrameCount();
        if (file == noIndex) {
            EXPECT_EQ(count, 50);
        } else {
            EXPECT_TRUE(count >= 27 && count <= 31) << count;
        }
        // The last frame of the cut file may be partial; every other one is whole.
        std::vector<Bitmap24> seq(count);
        for (int n = 0; n < count; ++n) {
            ASSERT_TRUE(avi.GetFrame(n, seq[n])) << n;
            if (n < count - 1 || file == noIndex) ASSERT_EQ(vfix::ReadCode(seq[n]), n);
        }
        TVfwAvi again;
        ASSERT_TRUE(again.Open(file));
        Bitmap24 bmp;
        for (int n = count - 1; n >= 0; n -= 3) {
            ASSERT_TRUE(again.GetFrame(n, bmp)) << n;
            ASSERT_TRUE(bmp == seq[n]) << n;
        }
    }
}

}  // namespace
