// Frame-accurate decoding across codecs: every frame shows its own number, any access
// order gives the pictures of a straight run, and they match the ffmpeg tool's conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/decoder.h"
#include "video/read_ahead.h"

namespace {

struct CodecCase {
    const char *name, *encode;  // ffmpeg output options
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

TEST_P(DecoderCodecs, EveryAccessOrderGivesFrameN) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    const CodecCase& c = GetParam();
    testutil::TempDir dir;
    const std::string file = dir.File(std::string(c.name) + ".avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(c.width, c.height, c.rate, c.seconds) + " " + c.encode + " '" + file + "'"));
    video::VideoDecoder dec;
    ASSERT_TRUE(dec.Open(file)) << dec.Error();
    EXPECT_TRUE(dec.Width() == c.width && dec.Height() == c.height && dec.CanDecode());
    ASSERT_EQ(dec.FrameCount(), c.frames);
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
    Bitmap24 bmp;  // the same frame again and one step back come from the cache, unchanged
    ASSERT_TRUE(dec.GetFrame(c.frames - 1, bmp) && bmp == seq[c.frames - 1]);
    ASSERT_TRUE(dec.GetFrame(c.frames - 2, bmp) && bmp == seq[c.frames - 2]);

    std::vector<int> shuffled(c.frames), backward(c.frames), strided;
    std::iota(shuffled.begin(), shuffled.end(), 0);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(20261207));
    std::iota(backward.rbegin(), backward.rend(), 0);
    for (int k = 0; k < c.frames; ++k) strided.push_back((3 + 7 * k) % c.frames);
    for (const auto& order : {shuffled, backward, strided}) {
        video::VideoDecoder fresh;
        ASSERT_TRUE(fresh.Open(file)) << fresh.Error();
        for (size_t i = 0; i < order.size(); ++i) {
            const int n = order[i];
            ASSERT_TRUE(fresh.GetFrame(n, bmp)) << "step " << i << " frame " << n << ": " << fresh.Error();
            ASSERT_TRUE(bmp == seq[n]) << "step " << i << " frame " << n << " shows " << vfix::ReadCode(bmp);
        }
    }
    // Frame threads for a forward read from the middle, then back to random access.
    video::VideoDecoder threaded;
    ASSERT_TRUE(threaded.Open(file)) << threaded.Error();
    ASSERT_TRUE(threaded.GetFrame(c.frames - 1, bmp) && bmp == seq[c.frames - 1]);
    threaded.SetFrameThreads(true);
    for (int n = c.frames / 3; n < c.frames; ++n)
        ASSERT_TRUE(threaded.GetFrame(n, bmp) && bmp == seq[n]) << "threads, frame " << n << ": " << threaded.Error();
    threaded.SetFrameThreads(false);
    for (int n : {c.frames / 2, 0, c.frames - 1})
        ASSERT_TRUE(threaded.GetFrame(n, bmp) && bmp == seq[n]) << "after threads, frame " << n;

    // Decoded on a worker and converted on threads beside it: the same bytes, forwards,
    // backwards and by an interval.
    video::VideoDecoder staged;
    ASSERT_TRUE(staged.Open(file)) << staged.Error();
    video::FrameReadAhead ahead;
    const auto decode = [&](int n, video::DecodedPicture& out, std::string& error) {
        staged.SetFrameThreads(true);
        if (staged.GetPicture(n, out)) return true;
        error = staged.Error();
        return false;
    };
    const std::pair<int, int> plans[] = {{0, 1}, {c.frames - 1, -2}, {1, 3}};
    for (const auto& [first, step] : plans) {
        ahead.StartStaged(decode, first, step, c.frames, bmp.ByteSize());
        for (int n = first; n >= 0 && n < c.frames; n += step) {
            bool ok = false;
            std::string error;
            ASSERT_TRUE(ahead.Take(n, bmp, ok, error)) << "staged, frame " << n;
            ASSERT_TRUE(ok && bmp == seq[n]) << "staged, frame " << n << ": " << error;
        }
        ahead.Stop();
    }
    // A picture outlives its decoder.
    video::DecodedPicture kept;
    ASSERT_TRUE(staged.GetPicture(c.frames / 2, kept)) << staged.Error();
    staged.Close();
    video::PictureConverter converter;
    std::string error;
    ASSERT_TRUE(converter.Convert(kept, bmp, error) && bmp == seq[c.frames / 2]) << error;
    kept.Release();
    EXPECT_FALSE(converter.Convert(kept, bmp, error));
    EXPECT_EQ(error, "A frame of " + std::string(c.name) + ".avi has no picture.");
}

INSTANTIATE_TEST_SUITE_P(Avi, DecoderCodecs, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CodecCase>& i) { return std::string(i.param.name); });

// Just before the last key frame of a reordered stream the key frame's picture comes out
// only when the codec is drained, without a time; it must not pass for the wanted frame.
TEST(DecoderLastKeyFrame, FramesBeforeTheLastKeyFrameComeRightOnAFreshDecoder) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string file = dir.File("end.avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(64, 48, "30000/1001", 2.002) + " -c:v mpeg4 -bf 2 -g 15 -q:v 3 '" + file + "'"));
    const auto reference = vfix::ReferenceFrames(file, 64, 48);
    ASSERT_EQ(reference.size(), 60u);
    for (int n = 40; n < 60; ++n) {
        video::VideoDecoder dec;
        Bitmap24 b;
        ASSERT_TRUE(dec.Open(file) && dec.GetFrame(n, b)) << n;
        EXPECT_EQ(vfix::ReadCode(b), n);
        EXPECT_LE(vfix::MaxDifference(b, reference[n]), 3) << n;
    }
}

}  // namespace

// Frames above 1920 x 1080 are converted in slices of rows on several threads
// (one thread on the serial road, and for smaller frames): the same bytes.
TEST(DecoderConversion, SlicedAndSerialConversionsOfALargeFrameAreTheSame) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string file = dir.File("large.avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(2048, 1152, "25", 0.12) + " -c:v mpeg4 -q:v 3 -pix_fmt yuv420p '" + file + "'"));
    Bitmap24 sliced, serial;
    {
        video::VideoDecoder dec;
        ASSERT_TRUE(dec.Open(file) && dec.GetFrame(2, sliced)) << dec.Error();
    }
    setenv("TEVORIN_SERIAL", "1", 1);
    {
        video::VideoDecoder dec;
        ASSERT_TRUE(dec.Open(file) && dec.GetFrame(2, serial)) << dec.Error();
    }
    unsetenv("TEVORIN_SERIAL");
    EXPECT_EQ(vfix::ReadCode(sliced), 2);
    EXPECT_TRUE(sliced == serial);
}
