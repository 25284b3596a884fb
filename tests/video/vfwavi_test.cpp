// The AVI reader's contract and the files a capture leaves behind: dropped frames,
// a capture cut short, a file without its index, an unknown codec.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
    std::string Make(const std::string& name, const std::string& encode, double seconds = 1, const std::string& rate = "25") {
        const std::string file = dir.File(name);
        EXPECT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(320, 240, rate, seconds) + " " + encode + " '" + file + "'"));
        return file;
    }
    // Every frame in order must show shown(n); a second reader in `order` sees the same pictures.
    void ExpectFrames(const std::string& file, int count, const std::function<int(int)>& shown, std::vector<int> order) {
        TVfwAvi avi, again;
        ASSERT_TRUE(avi.Open(file) && again.Open(file));
        ASSERT_EQ(avi.FrameCount(), count);
        std::vector<Bitmap24> seq(count);
        for (int n = 0; n < count; ++n) {
            ASSERT_TRUE(avi.GetFrame(n, seq[n])) << n;
            ASSERT_TRUE(shown(n) < 0 || vfix::ReadCode(seq[n]) == shown(n)) << n << " shows " << vfix::ReadCode(seq[n]);
        }
        Bitmap24 bmp;
        for (int n : order) ASSERT_TRUE(again.GetFrame(n, bmp) && bmp == seq[n]) << n << " shows " << vfix::ReadCode(bmp);
    }
    testutil::TempDir dir;
};

TEST_F(VfwAviTest, ContractBeforeOpenAfterCloseAndOutsideTheVideo) {
    TVfwAvi avi;
    Bitmap24 bmp, other;
    EXPECT_TRUE(avi.FrameCount() == -1 && avi.GetFrameRate() == 30.0f && !avi.GetFrame(0, bmp));
    EXPECT_FALSE(avi.Open(dir.File("missing.avi")));
    EXPECT_EQ(avi.FrameCount(), -1);
    ASSERT_TRUE(avi.Open(Make("mjpeg.avi", "-c:v mjpeg", 0.82, "30000/1001")));
    EXPECT_EQ(avi.FrameCount(), 25);
    EXPECT_FLOAT_EQ(avi.GetFrameRate(), 30000.0f / 1001.0f);
    EXPECT_FALSE(avi.GetFrame(-1, bmp) || avi.GetFrame(25, bmp));  // nothing decoded yet: nothing to deliver
    ASSERT_TRUE(avi.GetFrame(7, bmp));
    EXPECT_TRUE(vfix::ReadCode(bmp) == 7 && bmp.Width() == 320 && bmp.Height() == 240);
    // Outside the video: the frame decoded last, again.
    ASSERT_TRUE(avi.GetFrame(-1, other) && other == bmp && avi.GetFrame(25, other));
    EXPECT_EQ(vfix::ReadCode(other), 7);
    ASSERT_TRUE(avi.GetFrame(24, other) && avi.GetFrame(1000, other));
    EXPECT_EQ(vfix::ReadCode(other), 24);
    avi.Close();
    EXPECT_TRUE(avi.FrameCount() == -1 && avi.GetFrameRate() == 30.0f && !avi.GetFrame(-1, other) && !avi.GetFrame(0, other));
    avi.Close();  // twice is harmless
    // The write-side properties clamp to their ranges.
    EXPECT_TRUE(avi.Width == 320 && avi.Height == 240 && avi.Compress && !avi.PreCompress);
    EXPECT_TRUE(avi.FrameRate() == 30 && avi.BitDepth() == 16);
    avi.SetFrameRate(0);
    EXPECT_EQ(avi.FrameRate(), 1);
    avi.SetFrameRate(31);
    avi.SetBitDepth(24);
    EXPECT_TRUE(avi.FrameRate() == 30 && avi.BitDepth() == 24);
    avi.SetBitDepth(32);
    EXPECT_EQ(avi.BitDepth(), 16);
}

TEST_F(VfwAviTest, UnknownCodecOpensButDeliversNoFrame) {
    std::string data = testutil::ReadAll(Make("mjpeg.avi", "-c:v mjpeg"));
    for (size_t at = 0; (at = data.find("MJPG", at)) != std::string::npos;) data.replace(at, 4, "QQZZ");
    testutil::WriteAll(dir.File("unknown.avi"), data);
    TVfwAvi avi;
    ASSERT_TRUE(avi.Open(dir.File("unknown.avi")));
    EXPECT_TRUE(avi.FrameCount() == 25 && !avi.Decoder().CanDecode());
    Bitmap24 bmp;
    EXPECT_FALSE(avi.GetFrame(0, bmp) || avi.GetFrame(-1, bmp));
    EXPECT_FALSE(avi.LastError().empty());
}

// Frames 3, 4, 13, 14, ... are dropped (zero-size chunks): they show the previous picture.
TEST_F(VfwAviTest, DroppedFramesCountAndShowThePreviousPicture) {
    const std::string file = Make("drop.avi", "-vf \"select='not(between(mod(n,10),3,4))'\" -fps_mode passthrough -c:v rawvideo -pix_fmt bgr24", 2);
    std::vector<int> order(50);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    ExpectFrames(file, 50, [](int n) { return n % 10 == 3 ? n - 1 : n % 10 == 4 ? n - 2 : n; }, order);
}

// A capture cut at 60 % has lost its index and some frames (the last may be partial); one whose
// index was never written is whole. Both open, count what is there and seek.
TEST_F(VfwAviTest, CutCaptureAndMissingIndexOpenAndRead) {
    const std::string whole = testutil::ReadAll(Make("whole.avi", "-c:v mjpeg -q:v 4", 2));
    const size_t idx1 = whole.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    testutil::WriteAll(dir.File("noindex.avi"), whole.substr(0, idx1));
    testutil::WriteAll(dir.File("cut.avi"), whole.substr(0, whole.size() * 6 / 10));
    TVfwAvi cut;
    ASSERT_TRUE(cut.Open(dir.File("cut.avi")));
    const int count = cut.FrameCount();
    EXPECT_TRUE(count >= 27 && count <= 31) << count;
    for (const int frames : {50, count}) {
        std::vector<int> backward;
        for (int n = frames - 1; n >= 0; n -= 3) backward.push_back(n);
        ExpectFrames(dir.File(frames == 50 ? "noindex.avi" : "cut.avi"), frames,
                     [&](int n) { return n == count - 1 && frames == count ? -1 : n; }, backward);
    }
}

// tevorin-probe video-info and frame: info lines to the character, the frame as an RGB PPM.
TEST_F(VfwAviTest, ProbeInfoLinesAndFrameAsRgbPpm) {
    const std::string probe = "'" + testutil::BinFile("tevorin-probe") + "' ", file = dir.File("clip.avi"), ppm = dir.File("f.ppm");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "30000/1001", 0.5) + " -c:v mjpeg '" + file + "'"));
    std::string out;
    ASSERT_EQ(testutil::Run(probe + "video-info '" + file + "'", &out), 0);
    EXPECT_EQ(out, "width 160\nheight 120\nrate 30000/1001\nfps 29.970030\nframes 15\nduration 0.500500\ncodec mjpeg\ndecoder yes\n");
    ASSERT_EQ(testutil::Run(probe + "frame '" + file + "' 9 '" + ppm + "'"), 0);
    TVfwAvi avi;
    Bitmap24 bmp;
    ASSERT_TRUE(avi.Open(file) && avi.GetFrame(9, bmp));
    std::string want = "P6\n160 120\n255\n";
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) want += {char(bmp.Scanline(y)[3 * x + 2]), char(bmp.Scanline(y)[3 * x + 1]), char(bmp.Scanline(y)[3 * x])};
    EXPECT_TRUE(testutil::ReadAll(ppm) == want);
    // Failures: a message and a non-zero status, no output file.
    EXPECT_NE(testutil::Run(probe + "video-info '" + dir.File("none.avi") + "' 2>/dev/null"), 0);
    EXPECT_NE(testutil::Run(probe + "frame '" + file + "' x '" + dir.File("g.ppm") + "' 2>/dev/null"), 0);
    EXPECT_NE(testutil::Run("test -e '" + dir.File("g.ppm") + "'"), 0);
    // Past the end: a reason after the frame number.
    EXPECT_NE(testutil::Run(probe + "frame '" + file + "' 60 '" + dir.File("g.ppm") + "' 2>&1", &out), 0);
    EXPECT_EQ(out, "tevorin-probe: frame 60: Frame 60 is outside the 15 frames of the video, and no frame was read before.\n");
    // A stream header claiming 10^6 frames: reported, but the index's 15 are used.
    std::string data = testutil::ReadAll(file);
    const size_t strh = data.find("strh");
    for (int i = 0; i < 4; ++i) data[strh + 40 + i] = "\x40\x42\x0f\x00"[i];
    testutil::WriteAll(dir.File("claims.avi"), data);
    ASSERT_EQ(testutil::Run(probe + "video-info '" + dir.File("claims.avi") + "'", &out), 0);
    EXPECT_NE(out.find("\nframes 15\nduration 0.500500\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nheader-frames 1000000\n"), std::string::npos) << out;
}

}  // namespace
