// The WAV copy of the audio track: PCM copied as it is, everything else as 16-bit PCM,
// compared with the ffmpeg tool's own decoding of the same track.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"

namespace {

struct AudioCase {
    const char *name, *source, *encode;  // lavfi audio source, ffmpeg audio options
    int channels, rate, bits;
    const char* reference;  // ffmpeg raw output options for the expected data
};
std::ostream& operator<<(std::ostream& os, const AudioCase& c) { return os << c.name; }

const AudioCase kAudio[] = {
    {"pcm16_stereo", "aevalsrc='0.6*sin(440*2*PI*t)|0.3*sin(1000*2*PI*t)':s=48000:d=1", "-c:a pcm_s16le", 2, 48000, 16, "-f s16le"},
    {"pcm8_mono", "aevalsrc='0.5*sin(300*2*PI*t)':s=8000:d=1", "-c:a pcm_u8", 1, 8000, 8, "-f u8"},
    {"float_mono", "aevalsrc='0.7*sin(500*2*PI*t)':s=22050:d=1", "-c:a pcm_f32le", 1, 22050, 16, "-f s16le"},
    {"pcm24_stereo", "aevalsrc='0.6*sin(440*2*PI*t)|0.2*sin(900*2*PI*t)':s=44100:d=1", "-c:a pcm_s24le", 2, 44100, 16, "-f s16le"},
    {"mp2_stereo", "aevalsrc='0.6*sin(440*2*PI*t)|0.3*sin(660*2*PI*t)':s=48000:d=1", "-c:a mp2 -b:a 192k", 2, 48000, 16, "-f s16le"},
    {"six_channels", "aevalsrc='0.1*sin(200*2*PI*t)|0.2*sin(300*2*PI*t)|0.3*sin(400*2*PI*t)|0.1|0.2*sin(50*2*PI*t)|0.1*sin(700*2*PI*t)':s=48000:d=1:c=5.1",
     "-c:a pcm_s16le", 2, 48000, 16, "-ac 2 -f s16le"},
};

class WavCopy : public ::testing::TestWithParam<AudioCase> {};

TEST_P(WavCopy, DataMatchesTheFfmpegToolAndTheHeaderIsAsTheDisplayReadsIt) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    const AudioCase& c = GetParam();
    testutil::TempDir dir;
    const std::string avi = dir.File("a.avi"), wav = dir.File("tvm.wav");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "25", 1) + " -f lavfi -i \"" + c.source + "\" -c:v mjpeg " + c.encode +
                             " -shortest '" + avi + "'"));
    std::string expected;
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -i '" + avi + "' -map 0:a " + c.reference + " -", &expected), 0);
    ASSERT_FALSE(expected.empty());
    TVfwAvi reader;
    ASSERT_TRUE(reader.Open(avi) && reader.HasAudio());
    EXPECT_EQ(reader.AudioFormat.channels, c.name == std::string("six_channels") ? 6 : c.channels);
    EXPECT_EQ(static_cast<int>(reader.AudioFormat.samplesPerSec), c.rate);
    ASSERT_TRUE(reader.SaveAudioAsWav(avi, wav)) << reader.LastError();
    const std::string w = testutil::ReadAll(wav);
    ASSERT_GE(w.size(), 48u);
    // The header byte for byte: fmt chunk of 20 bytes (cbSize 0), PCM; the display takes the
    // data length as RIFF size - 40, from byte 48.
    const uint32_t block = c.channels * c.bits / 8, data = w.size() - 48;
    std::string header = "RIFF";
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) header += static_cast<char>(v >> (8 * i));
    };
    le(data + 40, 4), header += "WAVEfmt ", le(20, 4), le(1, 2), le(c.channels, 2), le(c.rate, 4), le(c.rate * block, 4);
    le(block, 2), le(c.bits, 2), le(0, 2), le(0, 2), header += "data", le(data, 4);  // two padding bytes fill the 20-byte chunk
    EXPECT_EQ(w.substr(0, 48), header);
    EXPECT_TRUE(w.compare(48, std::string::npos, expected) == 0) << "data " << data << " bytes, ffmpeg " << expected.size();
}

INSTANTIATE_TEST_SUITE_P(Audio, WavCopy, ::testing::ValuesIn(kAudio),
                         [](const ::testing::TestParamInfo<AudioCase>& i) { return std::string(i.param.name); });

// The copy is written as it is decoded: ten minutes of stereo sound (115 MB of
// samples from a 5 MB file) raise the peak memory by a few megabytes, not by the
// samples, and the file's data are ffmpeg's decoding of the track.
TEST(WavCopyLength, MemoryDoesNotGrowWithTheSoundsLength) {
    if (!testutil::HaveProgram("ffmpeg") || !testutil::HaveProgram("md5sum")) GTEST_SKIP() << "ffmpeg or md5sum not found";
    testutil::TempDir dir;
    const std::string avi = dir.File("long.avi"), wav = dir.File("tvm.wav");
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -y -f lavfi -i 'sine=frequency=440:sample_rate=48000:d=600' -ac 2 "
                            "-c:a mp2 -b:a 64k '" + avi + "'"),
              0);
    TVfwAvi reader;
    bool ok = false;
    const long long grew = testutil::PeakGrowthBytes([&] { ok = reader.SaveAudioAsWav(avi, wav); });
    ASSERT_TRUE(ok) << reader.LastError();
    std::string expected, got;
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -i '" + avi + "' -map 0:a -f s16le - | md5sum", &expected), 0);
    ASSERT_EQ(testutil::Run("tail -c +49 '" + wav + "' | md5sum", &got), 0);
    EXPECT_EQ(got, expected);
    std::ifstream in(wav, std::ios::binary);
    char h[48];
    ASSERT_TRUE(in.read(h, 48));
    const auto le32 = [&](int at) {
        return uint32_t(uint8_t(h[at])) | uint32_t(uint8_t(h[at + 1])) << 8 | uint32_t(uint8_t(h[at + 2])) << 16 |
               uint32_t(uint8_t(h[at + 3])) << 24;
    };
    const uint64_t size = std::filesystem::file_size(wav);
    EXPECT_GT(size, 100'000'000u);
    EXPECT_EQ(le32(4), size - 8);  // RIFF size: data + 40
    EXPECT_EQ(le32(44), size - 48);
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's quarantine keeps freed blocks resident";
#endif
    if (grew < 0) GTEST_SKIP() << "no peak-memory reset here";
    EXPECT_LT(grew, 24 << 20) << "peak grew by " << grew << " bytes";
}

TEST(WavCopyFailures, NoAudioNoSourceNoFolderLeaveNoFile) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string avi = dir.File("silent.avi"), wav = dir.File("tvm.wav"), withAudio = dir.File("sound.avi");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "25", 0.2) + " -c:v mjpeg '" + avi + "'"));
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "25", 0.2) + " -f lavfi -i sine=sample_rate=8000:d=0.2 -c:v mjpeg -c:a pcm_s16le '" +
                             withAudio + "'"));
    TVfwAvi reader;
    ASSERT_TRUE(reader.Open(avi));
    EXPECT_FALSE(reader.HasAudio());
    EXPECT_FALSE(reader.SaveAudioAsWav(avi, wav));
    EXPECT_EQ(reader.LastError(), "silent.avi has no sound track.");
    EXPECT_FALSE(reader.SaveAudioAsWav(dir.File("missing.avi"), wav));
    EXPECT_FALSE(reader.SaveAudioAsWav(withAudio, dir.File("no/such/folder/tvm.wav")));
    EXPECT_NE(testutil::Run("test -e '" + wav + "'"), 0);
    testutil::WriteAll(wav, "earlier");  // a failed copy leaves an earlier file as it was
    EXPECT_FALSE(reader.SaveAudioAsWav(avi, wav));
    EXPECT_EQ(testutil::ReadAll(wav), "earlier");
    std::string listing;  // and no temporary file anywhere
    testutil::Run("ls -A '" + dir.Path() + "'", &listing);
    EXPECT_EQ(listing, "silent.avi\nsound.avi\ntvm.wav\n");
    Bitmap24 bmp;  // the open video is not disturbed by the copy
    EXPECT_TRUE(reader.GetFrame(2, bmp) && vfix::ReadCode(bmp) == 2);
}

}  // namespace
