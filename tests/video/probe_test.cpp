// tevorin-probe video-info and frame, as tests and people use them.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"

namespace {

TEST(ProbeVideo, InfoLinesAndFrameAsRgbPpm) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    const std::string probe = testutil::BinFile("tevorin-probe");
    testutil::TempDir dir;
    const std::string file = dir.File("clip.avi"), ppm = dir.File("f.ppm");
    ASSERT_TRUE(vfix::Ffmpeg(vfix::NumberedSource(160, 120, "30000/1001", 0.5) + " -c:v mjpeg '" + file + "'"));

    std::string out;
    ASSERT_EQ(testutil::Run("'" + probe + "' video-info '" + file + "'", &out), 0);
    EXPECT_EQ(out,
              "width 160\nheight 120\nrate 30000/1001\nfps 29.970030\nframes 15\nduration 0.500500\n"
              "codec mjpeg\ndecoder yes\n");

    ASSERT_EQ(testutil::Run("'" + probe + "' frame '" + file + "' 9 '" + ppm + "'"), 0);
    TVfwAvi avi;
    ASSERT_TRUE(avi.Open(file));
    Bitmap24 bmp;
    ASSERT_TRUE(avi.GetFrame(9, bmp));
    std::string want = "P6\n160 120\n255\n";
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            const uint8_t* p = bmp.Scanline(y) + 3 * x;
            want += {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
        }
    EXPECT_TRUE(testutil::ReadAll(ppm) == want);

    // Failures: a message and a non-zero status, no output file.
    EXPECT_NE(testutil::Run("'" + probe + "' video-info '" + dir.File("none.avi") + "' 2>/dev/null"), 0);
    EXPECT_NE(testutil::Run("'" + probe + "' frame '" + file + "' x '" + dir.File("g.ppm") + "' 2>/dev/null"), 0);
    EXPECT_NE(testutil::Run("test -e '" + dir.File("g.ppm") + "'"), 0);
}

}  // namespace
