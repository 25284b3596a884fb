// The audio channel display's core: header fields and texts, the failure rules of
// hostile headers, the sample values of each layout, the detection near the block's
// ends and the picture's pixels. Per-frame decisions against the numpy model are in
// sound_check.py.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"
#include "video/sound_indicator.h"

namespace {

using namespace video;

// A display WAV: 48-byte header (RIFF size data + 40 unless given) and the data.
std::string Wav(int channels, int rate, int bits, const std::string& data, int64_t riff = -1, int tag = 1) {
    std::string h;
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) h += static_cast<char>(v >> (8 * i));
    };
    const int block = std::max(channels * bits / 8, 1);
    h += "RIFF", le(riff < 0 ? static_cast<uint32_t>(data.size() + 40) : static_cast<uint32_t>(riff), 4);
    h += "WAVEfmt ", le(20, 4), le(tag, 2), le(channels, 2), le(rate, 4), le(rate * block, 4), le(block, 2), le(bits, 2);
    le(0, 4), h += "data", le(static_cast<uint32_t>(data.size()), 4);
    return h + data;
}
std::string S16(const std::vector<int>& v) {
    std::string s;
    for (int x : v) s += static_cast<char>(x & 0xFF), s += static_cast<char>((x >> 8) & 0xFF);
    return s;
}
SoundGeometry Geometry(const std::string& wav, int64_t frames, double fps) {
    SoundGeometry g;
    std::string error;
    EXPECT_TRUE(ComputeSoundGeometry(ParseSoundHeader(reinterpret_cast<const uint8_t*>(wav.data()), wav.size()), frames,
                                     fps, g, error))
        << error;
    return g;
}

TEST(SoundHeader, BytesPerSampleFrameAndChannelValues) {
    EXPECT_EQ(SoundBytesPerSample(16, 2), 4);
    EXPECT_EQ(SoundBytesPerSample(16, 1), 2);
    EXPECT_EQ(SoundBytesPerSample(16, 0), 2);
    EXPECT_EQ(SoundBytesPerSample(16, 6), 2);
    EXPECT_EQ(SoundBytesPerSample(8, 2), 2);
    EXPECT_EQ(SoundBytesPerSample(24, 2), 2);
    EXPECT_EQ(SoundBytesPerSample(8, 1), 1);
    EXPECT_EQ(SoundBytesPerSample(24, 3), 1);

    const uint8_t stereo16[] = {0x10, 0x27, 0xF0, 0xD8};  // left 10000, right -10000
    SoundHeader h;
    h.bitsPerSample = 16, h.channels = 2, h.bytesPerSample = 4;
    EXPECT_EQ(SoundChannelSample(stereo16, 0, h, SoundChannel::L), 10000);
    EXPECT_EQ(SoundChannelSample(stereo16, 0, h, SoundChannel::R), -10000);
    EXPECT_EQ(SoundChannelSample(stereo16, 0, h, SoundChannel::LR), 0);
    h.channels = 1, h.bytesPerSample = 2;
    EXPECT_EQ(SoundChannelSample(stereo16, 1, h, SoundChannel::R), -10000);
    const uint8_t bytes8[] = {200, 30};
    h.bitsPerSample = 8, h.channels = 2, h.bytesPerSample = 2;
    EXPECT_EQ(SoundChannelSample(bytes8, 0, h, SoundChannel::L), 200);
    EXPECT_EQ(SoundChannelSample(bytes8, 0, h, SoundChannel::R), 30);
    EXPECT_EQ(SoundChannelSample(bytes8, 0, h, SoundChannel::LR), 230);
    h.channels = 1, h.bytesPerSample = 1;
    EXPECT_EQ(SoundChannelSample(bytes8, 0, h, SoundChannel::L), 72 * 256);
    EXPECT_EQ(SoundChannelSample(bytes8, 1, h, SoundChannel::LR), -98 * 256);

    // round(value / 7000 x gain), halves to even: 7000 x 0.5 / 50 = 70 gives 0.5.
    EXPECT_EQ(SoundAmplitude(70, 50), 0);
    EXPECT_EQ(SoundAmplitude(210, 50), 2);
    EXPECT_EQ(SoundAmplitude(-210, 50), -2);
    EXPECT_EQ(SoundAmplitude(5600, 50), 40);
    EXPECT_EQ(SoundAmplitude(-65536, 200), -1872);
}

TEST(SoundHeader, TextsOfAStereo16File) {
    // 300 frames of 1601.6 samples at 29.97 fps and 48 kHz.
    const std::string wav = Wav(2, 48000, 16, std::string(300 * 16016 * 4 / 10, '\0'));
    const SoundGeometry g = Geometry(wav, 300, 29.97);
    EXPECT_NEAR(g.samplesPerFrame, 1601.6, 1e-9);
    EXPECT_EQ(g.samplesPerFrameInt, 1602);
    EXPECT_EQ(SamplingRateText(g.header), "SamplingRate = 48000");
    EXPECT_EQ(SamplesPerFrameText(g), "Sample/Frame= 1602");
    EXPECT_EQ(DataTypeText(g.header), "Data Type : 16 Bit  PCM   [stereo]");
    EXPECT_EQ(DataSizeText(g.header), "Datasize=1921960");
    // 300 / 29.97 s hold 480480.48 samples against 480480: 0.0001 %.
    EXPECT_EQ(g.discordance, 0);
    EXPECT_EQ(DiscordanceText(g.discordance), "Discordance of Video/Audio = 0.000%");
    EXPECT_FALSE(DiscordanceIsWarning(g.discordance));
}

TEST(SoundHeader, DiscordanceThresholdSignAndChannelSuffixes) {
    // 100000 bytes at 1 byte per second against frames seconds of video.
    const std::string data(100000, '\x80');
    const std::string wav = Wav(1, 1, 8, data);
    EXPECT_EQ(Geometry(wav, 101000, 1).discordance, 1000);
    EXPECT_EQ(Geometry(wav, 101001, 1).discordance, 1001);
    EXPECT_EQ(Geometry(wav, 99500, 1).discordance, -500);
    EXPECT_EQ(DiscordanceText(1000), "Discordance of Video/Audio = 1.000%");
    EXPECT_FALSE(DiscordanceIsWarning(1000));
    EXPECT_EQ(DiscordanceWarning(1000), "");
    EXPECT_EQ(DiscordanceText(1001), "Discordance of Video/Audio = 1.001%");
    EXPECT_TRUE(DiscordanceIsWarning(1001));
    EXPECT_EQ(DiscordanceWarning(1001), "Several Frames may be dropped.  Check the .AVI file.");
    EXPECT_EQ(DiscordanceText(-500), "Discordance of Video/Audio = -0.500%");
    EXPECT_EQ(DiscordanceText(-12345), "Discordance of Video/Audio = -12.345%");
    EXPECT_EQ(DiscordanceText(INT32_MIN), "Discordance of Video/Audio = -2147483.648%");

    const std::pair<int, const char*> suffixes[] = {{0, " [unkown]"}, {1, " [monoral]"}, {2, " [stereo]"},
                                                    {3, ""},          {4, " [unknown]"}, {65535, " [unknown]"}};
    for (const auto& [channels, suffix] : suffixes) {
        SoundHeader h;
        h.channels = static_cast<uint16_t>(channels), h.bitsPerSample = 8, h.formatTag = 1;
        EXPECT_EQ(DataTypeText(h), std::string("Data Type : 8 Bit  PCM  ") + suffix);
    }
    SoundHeader h;
    h.channels = 1, h.bitsPerSample = 32, h.formatTag = 3;
    EXPECT_EQ(DataTypeText(h), "Data Type : 32 Bit  UnKnown   [monoral]");

    EXPECT_EQ(SoundShareText(0, 1602), "0.00");
    EXPECT_EQ(SoundShareText(1602, 1602), "100.00");
    EXPECT_EQ(SoundShareText(1, 1602), "0.06");
    EXPECT_EQ(SoundShareText(5, 0), "0.00");
}

TEST(SoundHeader, DiscordanceWithoutOverflowForAnyHeader) {
    // The product frames x rate x 4 x 100000 overflows 64 bits here.
    EXPECT_EQ(SoundDiscordance(INT32_MAX, 0xFFFFFFFFu, 4, 0.001, 1), INT32_MAX);
    EXPECT_EQ(SoundDiscordance(1, 1, 1, 1e300, 0xFFFFFFFFll), -100000);
    EXPECT_EQ(SoundDiscordance(1, 1, 1, std::nan(""), 100), 0);
    // Audio twice as long as the video.
    EXPECT_EQ(SoundDiscordance(25, 8000, 1, 25, 16000), -50000);
}

class SoundFile : public ::testing::Test {
protected:
    bool Init(const std::string& bytes, int64_t frames, double fps, std::string& error) {
        testutil::WriteAll(path, bytes);
        return d.Init(path, frames, fps, error);
    }
    testutil::TempDir dir;
    std::string path = dir.File("tvm.wav");
    SoundDisplay d;
};

TEST_F(SoundFile, HostileHeadersFailWithAReasonAndNothingOpen) {
    std::string error;
    EXPECT_FALSE(d.Init(dir.File("missing.wav"), 10, 25, error));
    EXPECT_FALSE(d.Init("", 10, 25, error));
    const std::string good = Wav(1, 8000, 8, std::string(3200, '\x80'));
    struct Case {
        const char* name;
        std::string bytes;
        int64_t frames;
        double fps;
    } cases[] = {
        {"empty", "", 10, 25},
        {"47 bytes", good.substr(0, 47), 10, 25},
        {"header only", good.substr(0, 48), 10, 25},
        {"RIFF size under 40", Wav(1, 8000, 8, std::string(100, 'x'), 12), 10, 25},
        {"RIFF size 40", Wav(1, 8000, 8, std::string(100, 'x'), 40), 10, 25},
        {"rate 0", Wav(1, 0, 8, std::string(100, 'x')), 10, 25},
        {"no frames", good, 0, 25},
        {"negative frames", good, -3, 25},
        {"no frame rate", good, 10, 0},
        {"NaN frame rate", good, 10, std::nan("")},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(Init(c.bytes, c.frames, c.fps, error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
        EXPECT_FALSE(d.IsOpen()) << c.name;
    }
    // A FIFO is refused at once instead of waiting for a writer.
    const std::string fifo = dir.File("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(d.Init(fifo, 10, 25, error));
}

TEST_F(SoundFile, ARiffSizeBeyondTheFileReadsOnlyTheFile) {
    std::string error;
    std::vector<int> loud(1000, 20000);
    ASSERT_TRUE(Init(Wav(1, 8000, 16, S16(loud), 0xFFFFFFFFll), 5, 25, error)) << error;
    EXPECT_EQ(d.Geometry().header.dataBytes, 2000);
    EXPECT_EQ(d.Geometry().samplesPerFrameInt, 200);
    for (int64_t c : {0, 4, 14, 15, 19, 1000000}) {
        const SoundFrame f = d.Evaluate(c, SoundOptions{});
        if (c < 5) { EXPECT_TRUE(f.detected && f.share == "100.00") << c; }
    }
}

TEST_F(SoundFile, OddLayoutsAreReadWithinTheBlock) {
    std::string error;
    // 24 bits mono steps one byte, stereo two; 0 and 3 channels of 16 bits two.
    const std::string bytes(3 * 997, '\xF0');
    for (auto [channels, bits] : {std::pair{1, 24}, {2, 24}, {0, 16}, {3, 16}, {7, 8}}) {
        ASSERT_TRUE(Init(Wav(channels, 8000, bits, bytes), 3, 25, error)) << channels << " " << bits;
        for (int64_t c : {0, 1, 2, 15, 17})
            for (auto ch : {SoundChannel::L, SoundChannel::R, SoundChannel::LR}) {
                SoundOptions o;
                o.channel = ch;
                const SoundFrame f = d.Evaluate(c, o);
                EXPECT_LE(f.count, d.Geometry().samplesPerFrameInt);
            }
    }
}

TEST_F(SoundFile, LessThanHalfASamplePerFrameGivesNoSignal) {
    std::string error;
    ASSERT_TRUE(Init(Wav(1, 8000, 16, S16({30000, -30000})), 1000, 25, error)) << error;
    EXPECT_EQ(d.Geometry().samplesPerFrameInt, 0);
    for (int64_t c : {0, 1, 14, 15, 999}) {
        const SoundFrame f = d.Evaluate(c, SoundOptions{});
        EXPECT_FALSE(f.detected) << c;
        EXPECT_EQ(f.share, "0.00") << c;
    }
}

TEST(SoundDetect, SilencesBetweenLoudSamplesAndTheBlockEnds) {
    std::vector<int> a(100, 0);
    a[10] = 40, a[41] = -40, a[99] = 45;
    // 11..40 have loud samples 30 before and within 30 after; 41 itself is loud.
    EXPECT_TRUE(SignalNearSample(a, 11, 30, 40));
    EXPECT_TRUE(SignalNearSample(a, 40, 30, 40));
    EXPECT_FALSE(SignalNearSample(a, 10, 30, 40));  // nothing before 10
    // 42..71: 41 lies before; after 41 the next loud sample is 99, 57 samples away.
    EXPECT_FALSE(SignalNearSample(a, 42, 30, 40));
    EXPECT_TRUE(SignalNearSample(a, 69, 30, 40));   // 41 is 28 before, 99 is 30 after
    EXPECT_FALSE(SignalNearSample(a, 68, 30, 40));  // 99 is 31 after
    // The upper end stops at the last sample; the lower end at sample 0.
    EXPECT_FALSE(SignalNearSample(a, 99 + 5, 30, 40));
    EXPECT_FALSE(SignalNearSample(a, 0, 30, 40));
    EXPECT_FALSE(SignalNearSample({}, 0, 30, 40));
}

TEST(SoundDetect, BlockPlacementAroundFrame15) {
    SoundGeometry g;
    g.samplesPerFrame = 1601.6, g.samplesPerFrameInt = 1602;
    SoundBlockPlace p = PlaceSoundBlock(g, 14);
    EXPECT_EQ(p.firstSample, 0);
    EXPECT_EQ(p.frameBegin, 14 * 1602);
    EXPECT_EQ(p.frameEnd, 15 * 1602);
    EXPECT_DOUBLE_EQ(p.centre, 14.5 * 1601.6);
    p = PlaceSoundBlock(g, 16);
    EXPECT_EQ(p.firstSample, 1602);  // round(1601.6)
    EXPECT_EQ(p.frameBegin, 15 * 1602);
    EXPECT_EQ(p.frameEnd, 16 * 1602);
    EXPECT_DOUBLE_EQ(p.centre, 15.5 * 1601.6);
    EXPECT_EQ(PlaceSoundBlock(g, 20).firstSample, 8008);
}

// Pixel as r, g, b.
std::array<int, 3> Pixel(const Bitmap24& b, int x, int y) {
    const uint8_t* p = b.Scanline(y) + 3 * x;
    return {p[2], p[1], p[0]};
}
constexpr std::array<int, 3> kWhite{255, 255, 255}, kBlue{0xA6, 0xCA, 0xF0}, kGrey{128, 128, 128}, kYellow{255, 255, 0},
    kRed{255, 0, 0};

TEST(SoundPicture, BackgroundOfBothWidths) {
    SoundGeometry g;
    g.samplesPerFrame = 1600, g.samplesPerFrameInt = 1600;
    Bitmap24 b;
    DrawSoundBackground(b, g, SoundWidth::Wide);
    ASSERT_EQ(b.Width(), 332);
    ASSERT_EQ(b.Height(), 140);
    // Band 160..171; boundaries at 166 + round((k + 0.5) x 160 / 14.5): 172, 183, 149.
    for (int x : {160, 165, 171, 172, 183, 149}) EXPECT_EQ(Pixel(b, x, 5), kBlue) << x;
    for (int x : {159, 173, 182, 184, 0, 331}) EXPECT_EQ(Pixel(b, x, 5), kWhite) << x;
    EXPECT_EQ(Pixel(b, 0, 70), kGrey);
    EXPECT_EQ(Pixel(b, 331, 70), kGrey);
    EXPECT_EQ(Pixel(b, 0, 30), kYellow);
    EXPECT_EQ(Pixel(b, 300, 110), kYellow);
    EXPECT_EQ(Pixel(b, 10, 139), kWhite);
    // Expansion: band 113..218; boundaries at 166 + round((k + 0.5) x 160 / 1.5), k = -4..3.
    DrawSoundBackground(b, g, SoundWidth::Expansion);
    // k = -1 and 0 at 113 and 219, k = 1 at 326.
    for (int x : {113, 218, 219, 326}) EXPECT_EQ(Pixel(b, x, 5), kBlue) << x;
    EXPECT_EQ(Pixel(b, 112, 5), kWhite);
    EXPECT_EQ(Pixel(b, 220, 5), kWhite);
    // k = -2: 166 - 160 = 6; k = -3: -101 outside.
    EXPECT_EQ(Pixel(b, 6, 5), kBlue);
    EXPECT_EQ(Pixel(b, 7, 5), kWhite);
}

TEST(SoundPicture, EnvelopeColumnsFollowTheSamples) {
    // 16-bit mono, 10 frames of 160 samples: +-7000 (amplitude 50) in frame 2, 3500
    // (25) in frame 3, silence elsewhere.
    std::vector<int> s(1600, 0);
    for (int i = 320; i < 480; ++i) s[i] = i % 2 ? 7000 : -7000;
    for (int i = 480; i < 640; ++i) s[i] = 3500;
    const std::string wav = Wav(1, 4000, 16, S16(s));
    const SoundGeometry g = Geometry(wav, 10, 25);
    const SoundBlockPlace place = PlaceSoundBlock(g, 2);
    SoundOptions o;  // "Wide": 160 / 14.5 columns per frame, about 11
    SoundFrame f = EvaluateSoundBlock(g, place, reinterpret_cast<const uint8_t*>(wav.data()) + 48, 1600, o);
    EXPECT_TRUE(f.detected);
    EXPECT_EQ(f.share, "100.00");
    Bitmap24 b;
    DrawSoundPicture(b, g, f, o.width);
    // Frame 2 fills the band: red from 70 - 50 to 70 + 50 in its middle column.
    EXPECT_EQ(Pixel(b, 166, 20), kRed);
    EXPECT_EQ(Pixel(b, 166, 120), kRed);
    EXPECT_EQ(Pixel(b, 166, 19), kBlue);
    // Frame 3 one frame to the right: one pixel at 70 - 25.
    EXPECT_EQ(Pixel(b, 166 + 11, 45), kRed);
    EXPECT_NE(Pixel(b, 166 + 11, 44), kRed);
    EXPECT_NE(Pixel(b, 166 + 11, 46), kRed);
    // Silence of frame 1: the zero line turns red.
    EXPECT_EQ(Pixel(b, 166 - 11, 70), kRed);
    EXPECT_EQ(Pixel(b, 166 - 11, 69), kWhite);
    // Frame 3 is below threshold: no signal; at gain 100 its amplitude is 50.
    f = EvaluateSoundBlock(g, PlaceSoundBlock(g, 3), reinterpret_cast<const uint8_t*>(wav.data()) + 48, 1600, o);
    EXPECT_FALSE(f.detected);
    o.gain = 100;
    f = EvaluateSoundBlock(g, PlaceSoundBlock(g, 3), reinterpret_cast<const uint8_t*>(wav.data()) + 48, 1600, o);
    EXPECT_TRUE(f.detected);
    // Every column lies on the picture and at most one per pixel column.
    for (size_t i = 0; i < f.columns.size(); ++i) {
        EXPECT_GE(f.columns[i].x, 0);
        EXPECT_LE(f.columns[i].x, 332);
        if (i) { EXPECT_GT(f.columns[i].x, f.columns[i - 1].x); }
    }
}

TEST(SoundWav, AudioOnePercentShorterThanTheVideoAndAnU8MonoCopy) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string avi = dir.File("a.avi"), wav = dir.File("tvm.wav");
    // 100 frames at 25 fps (4 s) with 3.96 s of 8-bit mono at 8 kHz.
    ASSERT_TRUE(vfix::Ffmpeg("-f lavfi -i color=c=black:s=32x24:r=25:d=4 -f lavfi -i \"aevalsrc='0.5*sin(440*2*PI*t)':s=8000:d=3.96\" "
                             "-c:v mjpeg -c:a pcm_u8 '" + avi + "'"));
    TVfwAvi reader;
    ASSERT_TRUE(reader.SaveAudioAsWav(avi, wav)) << reader.LastError();
    std::string pcm;
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -i '" + avi + "' -map 0:a -f u8 -", &pcm), 0);
    SoundDisplay d;
    std::string error;
    ASSERT_TRUE(d.Init(wav, 100, 25, error)) << error;
    const SoundGeometry& g = d.Geometry();
    EXPECT_EQ(g.header.dataBytes, static_cast<int64_t>(pcm.size()));
    EXPECT_EQ(g.header.bytesPerSample, 1);
    EXPECT_EQ(DataTypeText(g.header), "Data Type : 8 Bit  PCM   [monoral]");
    // 32000 samples expected against what the track holds, in thousandths of a percent.
    EXPECT_NEAR(g.discordance, (32000.0 / pcm.size() - 1) * 100000, 0.5 + 1e-9);
    EXPECT_NEAR(g.discordance, 1010, 15);
    EXPECT_TRUE(DiscordanceIsWarning(g.discordance));
}

}  // namespace
