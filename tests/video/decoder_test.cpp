// Frame-accurate decoding across codecs: every frame shows its own number, random
// access gives the same pictures as a straight run, and the pixels match the
// ffmpeg tool's own conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/decoder.h"

namespace {

struct CodecCase {
    const char* name;
    const char* encode;  // ffmpeg output options
    int width, height;
    const char* rate;
    double seconds;
    int frames;
};

std::ostream& operator<<(std::ostream& os, const CodecCase& c) { return os << c.name; }

const CodecCase kCases[] = {
    {"bgr24", "-c:v rawvideo -pix_fmt bgr24", 320, 240, "25", 2, 50},
    {"pal8", "-c:v rawvideo -pix_fmt pal8", 320, 240, "25", 2, 50},
    {"yuyv422", "-c:v rawvideo -pix_fmt yuyv422", 320, 240, "25", 1, 25},
    {"mjpeg", "-c:v mjpeg -q:v 3", 320, 240, "25", 2, 50},
    {"dv_pal", "-c:v dvvideo -pix_fmt yuv420p", 720, 576, "25", 1, 25},
    {"dv_ntsc", "-c:v dvvideo -pix_fmt yuv411p", 720, 480, "30000/1001", 1, 30},
    {"ffv1", "-c:v ffv1", 320, 240, "25", 1, 25},
    {"huffyuv", "-c:v huffyuv", 320, 240, "25", 1, 25},
    {"mpeg4_bframes", "-c:v mpeg4 -bf 2 -g 12 -q:v 3", 320, 240, "25", 2, 50},
    {"h264_long_gop", "-c:v libx264 -preset veryfast -g 40 -bf 3 -pix_fmt yuv420p", 320, 240, "25", 2, 50},
};

class DecoderCodecs : public ::testing::TestWithParam<CodecCase> {};

// Every frame through a fresh decoder in the given order, compared with `expected`.
void ExpectOrder(const std::string& file, const std::vector<int>& order, const std::vector<Bitmap24>& expected,
                 const char* what) {
    video::VideoDecoder dec;
    ASSERT_TRUE(dec.Open(file)) << dec.Error();
    Bitmap24 bmp;
    for (size_t i = 0; i < order.size(); ++i) {
        const int n = order[i];
        ASSERT_TRUE(dec.GetFrame(n, bmp)) << what << " step " << i << " frame " << n << ": " << dec.Error();
        ASSERT_TRUE(bmp == expected[n]) << what << " step " << i << " frame " << n << " differs (code "
                                        << vfix::ReadCode(bmp) << ")";
    }
}

TEST_P(DecoderCodecs, EveryAccessOrderGivesFrameN) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    const CodecCase& c = GetParam();
    testutil::TempDir dir;
    const std::string file = dir.File(std::string(c.name) + ".avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(c.width, c.height, c.rate, c.seconds) + " " + c.encode + " '" +
                             file + "'"));

    video::VideoDecoder dec;
    ASSERT_TRUE(dec.Open(file)) << dec.Error();
    EXPECT_EQ(dec.Width(), c.width);
    EXPECT_EQ(dec.Height(), c.height);
    ASSERT_EQ(dec.FrameCount(), c.frames);
    EXPECT_TRUE(dec.CanDecode());
    const std::string rate = std::to_string(dec.Rate().num) + "/" + std::to_string(dec.Rate().den);
    EXPECT_EQ(rate, std::string(c.rate).find('/') == std::string::npos ? std::string(c.rate) + "/1" : c.rate);
    EXPECT_NEAR(dec.DurationSeconds(), c.frames / dec.FrameRate(), 1e-9);

    // Straight run: frame n paints n and matches the ffmpeg tool within 1.
    const std::vector<Bitmap24> ref = vfix::ReferenceFrames(file, c.width, c.height);
    ASSERT_EQ(static_cast<int>(ref.size()), c.frames);
    std::vector<Bitmap24> seq(c.frames);
    for (int n = 0; n < c.frames; ++n) {
        ASSERT_TRUE(dec.GetFrame(n, seq[n])) << "frame " << n << ": " << dec.Error();
        ASSERT_EQ(vfix::ReadCode(seq[n]), n) << "frame " << n;
        ASSERT_LE(vfix::MaxDifference(seq[n], ref[n]), 1) << "frame " << n;
    }
    // The same frame again and one step back come from the cache, unchanged.
    Bitmap24 again;
    ASSERT_TRUE(dec.GetFrame(c.frames - 1, again));
    EXPECT_TRUE(again == seq[c.frames - 1]);
    ASSERT_TRUE(dec.GetFrame(c.frames - 2, again));
    EXPECT_TRUE(again == seq[c.frames - 2]);

    std::vector<int> order(c.frames);
    std::iota(order.begin(), order.end(), 0);
    std::mt19937 rng(20261207);
    std::shuffle(order.begin(), order.end(), rng);
    ExpectOrder(file, order, seq, "shuffled");
    std::reverse(order.begin(), order.end());
    std::sort(order.rbegin(), order.rend());
    ExpectOrder(file, order, seq, "backward");
    order.clear();
    for (int k = 0; k < c.frames; ++k) order.push_back((3 + 7 * k) % c.frames);
    ExpectOrder(file, order, seq, "strided");
}

INSTANTIATE_TEST_SUITE_P(Avi, DecoderCodecs, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CodecCase>& i) { return std::string(i.param.name); });

}  // namespace
