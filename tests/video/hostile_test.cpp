// Palettised frames, and files that are not what they claim: each fails with a message or
// reads safely, never crashes (also run under the sanitizers).
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"
#include "video/decoder.h"
#include "video/dv_timecode.h"
#include "video/wav_writer.h"

namespace {

// Palette index of pixel (x, y) of frame f, and its 4- or 8-bit DIB rows.
int PaletteIndex(int x, int y, int f, int colours) { return (x / 2 + 3 * y + 5 * f) % colours; }

std::string DibFrame(int w, int h, int bits, int f, int colours) {
    const int stride = ((w * bits + 31) / 32) * 4;
    std::string rows(static_cast<size_t>(stride) * h, '\0');
    for (int y = 0; y < h; ++y) {
        char* row = &rows[static_cast<size_t>(h - 1 - y) * stride];  // bottom-up
        for (int x = 0; x < w; ++x) {
            const int v = PaletteIndex(x, y, f, colours);
            if (bits == 8) row[x] = static_cast<char>(v);
            else row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 ? v : v << 4));
        }
    }
    return rows;
}

uint32_t PaletteColour(int i) { return static_cast<uint32_t>((i * 37 % 256) << 16 | (255 - i * 11 % 256) << 8 | (i * 90 % 256)); }

TEST(PalettisedAvi, FourAndEightBitFramesAreExpandedThroughTheirPalette) {
    testutil::TempDir dir;
    const struct {
        int bits;
        uint32_t clrUsed;
        int colours;
    } cases[] = {{4, 0, 16}, {8, 0, 256}, {8, 12, 12}, {4, 5, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, biClrUsed " + std::to_string(c.clrUsed));
        vfix::AviLayout layout;
        layout.width = 30, layout.height = 7, layout.bitCount = c.bits, layout.clrUsed = c.clrUsed;  // rows padded at both depths
        for (int i = 0; i < c.colours; ++i) layout.palette.push_back(PaletteColour(i));
        for (int f = 0; f < 3; ++f) layout.frames.push_back(DibFrame(layout.width, layout.height, c.bits, f, c.colours));
        const std::string file = dir.File("pal.avi");
        testutil::WriteAll(file, vfix::BuildAvi(layout));

        TVfwAvi avi;
        ASSERT_TRUE(avi.Open(file)) << avi.LastError();
        ASSERT_EQ(avi.FrameCount(), 3);
        EXPECT_FLOAT_EQ(avi.GetFrameRate(), 25.0f);
        Bitmap24 bmp;
        for (int f : {2, 0, 1}) {
            ASSERT_TRUE(avi.GetFrame(f, bmp) && bmp.Width() == 30 && bmp.Height() == 7) << avi.LastError();
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 30; ++x) {
                    const uint8_t* p = bmp.Scanline(y) + 3 * x;
                    ASSERT_EQ(uint32_t(p[2] << 16 | p[1] << 8 | p[0]), PaletteColour(PaletteIndex(x, y, f, c.colours)))
                        << "frame " << f << " pixel " << x << "," << y;
                }
        }
    }
}

class HostileFiles : public ::testing::Test {
protected:
    // Open must fail with a message naming the file.
    void ExpectRefused(const std::string& name, const std::string& data) {
        SCOPED_TRACE(name);
        const std::string file = dir.File(name);
        testutil::WriteAll(file, data);
        video::VideoDecoder dec;
        TVfwAvi avi;
        Bitmap24 bmp;
        EXPECT_FALSE(dec.Open(file));
        EXPECT_NE(dec.Error().find(name), std::string::npos) << dec.Error();
        EXPECT_FALSE(dec.GetFrame(0, bmp) || avi.Open(file) || avi.GetFrame(0, bmp));
        EXPECT_EQ(avi.FrameCount(), -1);
    }
    vfix::AviLayout Gray(int frames) {
        vfix::AviLayout layout;
        for (int i = 0; i < 256; ++i) layout.palette.push_back(static_cast<uint32_t>(i * 0x010101));
        for (int f = 0; f < frames; ++f) layout.frames.push_back(DibFrame(layout.width, layout.height, 8, f, 256));
        return layout;
    }
    testutil::TempDir dir;
};

TEST_F(HostileFiles, NotAVideoZeroFramesAndImpossibleSizesAreRefused) {
    ExpectRefused("empty.avi", "");
    ExpectRefused("text.avi", "This is a shopping list, not a video.\n");
    std::string riff = vfix::BuildAvi(Gray(2));
    ExpectRefused("header-only.avi", riff.substr(0, 100));
    ASSERT_EQ(::mkfifo(dir.File("fifo.avi").c_str(), 0644), 0);  // refused at once, not waited on
    video::VideoDecoder fifo;
    ::alarm(20);
    EXPECT_FALSE(fifo.Open(dir.File("fifo.avi")));
    ::alarm(0);
    EXPECT_EQ(fifo.Error(), "fifo.avi is not a regular file.");

    vfix::AviLayout none = Gray(0);
    ExpectRefused("zero-frames.avi", vfix::BuildAvi(none));
    none.length = 5;  // claims frames it does not have
    none.index = false;
    ExpectRefused("claims-five.avi", vfix::BuildAvi(none));

    for (auto [w, h] : {std::pair{100000, 16}, {8193, 8}, {32, 0}, {40000, 40000}}) {
        vfix::AviLayout big = Gray(1);
        big.width = w, big.height = h, big.frames = {std::string(64, '\x7f')};  // far too little data for the size
        ExpectRefused("size-" + std::to_string(w) + "x" + std::to_string(h) + ".avi", vfix::BuildAvi(big));
    }
}

TEST_F(HostileFiles, AFifoIsRefusedAtOnceByEveryReader) {
    // Each road opens the path itself: the AVI reader (also for its audio format),
    // the DV time reader. A FIFO without a writer would block any of them.
    const std::string fifo = dir.File("clip.avi");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ::alarm(60);
    TVfwAvi avi;
    EXPECT_FALSE(avi.Open(fifo));
    EXPECT_EQ(avi.LastError(), "clip.avi is not a regular file.");
    video::WaveFormat format;
    std::string error;
    EXPECT_FALSE(video::ReadAudioFormat(fifo, format, error));
    EXPECT_EQ(error, "clip.avi is not a regular file.");
    video::DvTimeReader dv;
    error.clear();
    EXPECT_FALSE(dv.Open(fifo, error));
    EXPECT_EQ(error, "clip.avi is not a regular file.");
    // A missing file still reports the system's reason.
    EXPECT_FALSE(video::ReadAudioFormat(dir.File("missing.avi"), format, error));
    EXPECT_EQ(error, "Could not open missing.avi: No such file or directory.");
    ::alarm(0);
}

TEST_F(HostileFiles, ShortFramesAndGarbageReadSafely) {
    vfix::AviLayout layout = Gray(6);
    layout.frames[2].resize(10);  // a frame far shorter than its size
    layout.frames[4].clear();     // a dropped frame
    const std::string file = dir.File("short.avi");
    testutil::WriteAll(file, vfix::BuildAvi(layout));
    TVfwAvi avi;
    ASSERT_TRUE(avi.Open(file));
    ASSERT_EQ(avi.FrameCount(), 6);
    Bitmap24 bmp, first;
    ASSERT_TRUE(avi.GetFrame(0, first));
    for (int n : {5, 2, 3, 4, 1, 0, 2}) avi.GetFrame(n, bmp);  // no crash, whatever they show
    EXPECT_TRUE(avi.GetFrame(0, bmp) && bmp == first);

    // Random bytes after a valid RIFF start, and a valid file with its middle overwritten.
    std::mt19937 rng(99);
    std::string junk = "RIFF\x10\x00\x01\x00" "AVI LIST";
    for (int i = 0; i < 5000; ++i) junk.push_back(static_cast<char>(rng()));
    const std::string junkFile = dir.File("junk.avi");
    testutil::WriteAll(junkFile, junk);
    video::VideoDecoder dec;
    const bool opened = dec.Open(junkFile);
    EXPECT_TRUE(opened || !dec.Error().empty());
    for (int n = 0; opened && n < std::min(dec.FrameCount(), 20); ++n) dec.GetFrame(n, bmp);
}

TEST_F(HostileFiles, CorruptPacketMidFileLeavesTheRestReadable) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    for (const char* encode : {"-c:v mpeg4 -bf 2 -g 10", "-c:v mjpeg"}) {
        SCOPED_TRACE(encode);
        const std::string file = dir.File("damaged.avi");
        ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "25", 1.2) + " " + encode + " '" + file + "'"));
        std::string data = testutil::ReadAll(file);
        // Overwrite the inside of a packet in the second half of the data.
        const size_t idx1 = data.rfind("idx1");
        ASSERT_NE(idx1, std::string::npos);
        std::mt19937 rng(5);
        for (size_t i = idx1 * 6 / 10; i < idx1 * 6 / 10 + 400; ++i) data[i] = static_cast<char>(rng());
        testutil::WriteAll(file, data);

        video::VideoDecoder dec;
        ASSERT_TRUE(dec.Open(file)) << dec.Error();
        ASSERT_EQ(dec.FrameCount(), 30);
        Bitmap24 bmp;
        for (int n = 0; n < 10; ++n) EXPECT_TRUE(dec.GetFrame(n, bmp) && vfix::ReadCode(bmp) == n) << n;
        for (int n = 10; n < 30; ++n) dec.GetFrame(n, bmp);
        for (int n : {29, 3, 17, 25, 12, 0}) dec.GetFrame(n, bmp);
        EXPECT_TRUE(dec.GetFrame(1, bmp) && vfix::ReadCode(bmp) == 1);
    }
}

}  // namespace
