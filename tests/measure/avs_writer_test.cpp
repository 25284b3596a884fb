// The script written beside a video, to the character.
#include <gtest/gtest.h>

#include <cstring>

#include "measure/avs_writer.h"
#include "platform/file_io.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"

TEST(AvsWriter, LinesToTheCharacter) {
    EXPECT_EQ(WriteAvsScript("/home/obs/2024 03 05/grazing star.avi", false),
              (std::vector<std::string>{"DirectShowSource(\"/home/obs/2024 03 05/grazing star.avi\" , "
                                        "pixel_type=\"RGB24\")"}));
    EXPECT_EQ(WriteAvsScript("/v/tape 1.avi", true),
              (std::vector<std::string>{
                  "DirectShowSource(\"/v/tape 1.avi\" , pixel_type=\"RGB24\")",
                  "DVInfo(\"tape 1.avi\", \"rec_time\", 50, 380, \"Gothic\", 30, 255*65536+255*256+255, "
                  "0*65536+0*256+0 ,\"%x\")",
                  "DVInfo(\"tape 1.avi\", \"rec_time\", 50, 410, \"Gothic\", 30, 255*65536+255*256+255, "
                  "0*65536+0*256+0 ,\"%X\")"}));
    // A double quote in a name cannot stand in "..."; it is written so that the
    // script still names the same file.
    const auto lines = WriteAvsScript("/v/the \"best\" night.avi", true);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DirectShowSource(\"\"\"/v/the \"best\" night.avi\"\"\" , pixel_type=\"RGB24\")");
    EXPECT_EQ(lines[1].rfind("DVInfo(\"\"\"the \"best\" night.avi\"\"\", \"rec_time\", 50, 380, ", 0), 0u) << lines[1];
}

// What is written reads back, through the AVI reader, as the video itself; with
// the camcorder time the frames differ only where the time is drawn.
TEST(AvsWriter, WrittenScriptPlaysLikeTheVideo) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string dv = dir.File("tape.dv"), video = dir.File("tape \"1\".avi");
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -t 0.4 -pix_fmt "
                            "yuv420p -metadata creation_time=2024-03-05T21:43:58 -c:v dvvideo -f dv '" + dv +
                            "' && ffmpeg -nostdin -v error -y -i '" + dv + "' -c copy '" + video + "'"),
              0);
    std::string err;
    TVfwAvi direct, plain, timed;
    ASSERT_TRUE(direct.Open(video));
    const std::string avs = fileio::ChangeFileExt(video, ".avs");
    ASSERT_TRUE(fileio::WriteFileAtomic(avs, fileio::JoinLines(WriteAvsScript(video, false)), err)) << err;
    ASSERT_TRUE(plain.Open(avs)) << plain.LastError();
    const std::string timedAvs = dir.File("timed.avs");
    ASSERT_TRUE(fileio::WriteFileAtomic(timedAvs, fileio::JoinLines(WriteAvsScript(video, true)), err)) << err;
    ASSERT_TRUE(timed.Open(timedAvs)) << timed.LastError();
    EXPECT_EQ(plain.FrameCount(), direct.FrameCount());
    EXPECT_EQ(timed.FrameCount(), direct.FrameCount());
    EXPECT_EQ(plain.GetFrameRate(), direct.GetFrameRate());
    Bitmap24 a, b, c;
    for (int n = 0; n < direct.FrameCount(); ++n) {
        ASSERT_TRUE(direct.GetFrame(n, a));
        ASSERT_TRUE(plain.GetFrame(n, b));
        ASSERT_TRUE(timed.GetFrame(n, c));
        EXPECT_TRUE(a == b) << n;
        int changedRows = 0;
        for (int y = 0; y < a.Height(); ++y) {
            const bool same = std::memcmp(a.Scanline(y), c.Scanline(y), static_cast<size_t>(a.Width()) * 3) == 0;
            if (!same) {
                ++changedRows;
                EXPECT_TRUE(y >= 380 && y < 440) << y;
            }
        }
        EXPECT_GT(changedRows, 40) << n;
    }
}
