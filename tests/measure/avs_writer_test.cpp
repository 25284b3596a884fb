// The script written beside a video, to the character, and read back.
#include <gtest/gtest.h>

#include <cstring>

#include "measure/avs_writer.h"
#include "platform/file_io.h"
#include "support/test_util.h"
#include "video/VfwAvi.h"

TEST(AvsWriter, LinesToTheCharacter) {
    EXPECT_EQ(WriteAvsScript("/home/obs/2024 03 05/grazing star.avi", false),
              std::vector<std::string>{"DirectShowSource(\"/home/obs/2024 03 05/grazing star.avi\" , pixel_type=\"RGB24\")"});
    EXPECT_EQ(WriteAvsScript("/v/tape 1.avi", true),
              (std::vector<std::string>{"DirectShowSource(\"/v/tape 1.avi\" , pixel_type=\"RGB24\")",
                                        "DVInfo(\"tape 1.avi\", \"rec_time\", 50, 380, \"Gothic\", 30, 255*65536+255*256+255, 0*65536+0*256+0 ,\"%x\")",
                                        "DVInfo(\"tape 1.avi\", \"rec_time\", 50, 410, \"Gothic\", 30, 255*65536+255*256+255, 0*65536+0*256+0 ,\"%X\")"}));
    // A double quote cannot stand in "..."; it is written so the script still names the same file.
    const auto lines = WriteAvsScript("/v/the \"best\" night.avi", true);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "DirectShowSource(\"\"\"/v/the \"best\" night.avi\"\"\" , pixel_type=\"RGB24\")");
    EXPECT_EQ(lines[1].rfind("DVInfo(\"\"\"the \"best\" night.avi\"\"\", \"rec_time\", 50, 380, ", 0), 0u) << lines[1];
}

// Read back through the AVI reader the script plays as the video itself; with the
// camcorder time the frames differ only where the time is drawn.
TEST(AvsWriter, WrittenScriptPlaysLikeTheVideo) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string dv = dir.File("tape.dv"), video = dir.File("tape \"1\".avi");
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -t 0.4 -pix_fmt "
                            "yuv420p -metadata creation_time=2024-03-05T21:43:58 -c:v dvvideo -f dv '" + dv +
                            "' && ffmpeg -nostdin -v error -y -i '" + dv + "' -c copy '" + video + "'"),
              0);
    TVfwAvi direct, plain, timed;
    ASSERT_TRUE(direct.Open(video));
    for (auto [reader, avs, withTime] : {std::tuple{&plain, fileio::ChangeFileExt(video, ".avs"), false},
                                         {&timed, dir.File("timed.avs"), true}}) {
        std::string err;
        ASSERT_TRUE(fileio::WriteFileAtomic(avs, fileio::JoinLines(WriteAvsScript(video, withTime)), err)) << err;
        ASSERT_TRUE(reader->Open(avs)) << reader->LastError();
        EXPECT_EQ(reader->FrameCount(), direct.FrameCount());
    }
    EXPECT_EQ(plain.GetFrameRate(), direct.GetFrameRate());
    Bitmap24 a, b, c;
    for (int n = 0; n < direct.FrameCount(); ++n) {
        ASSERT_TRUE(direct.GetFrame(n, a) && plain.GetFrame(n, b) && timed.GetFrame(n, c));
        EXPECT_TRUE(a == b) << n;
        int changedRows = 0;
        for (int y = 0; y < a.Height(); ++y)
            if (std::memcmp(a.Scanline(y), c.Scanline(y), size_t(a.Width()) * 3) != 0) {
                ++changedRows;
                EXPECT_TRUE(y >= 380 && y < 440) << y;
            }
        EXPECT_GT(changedRows, 40) << n;
    }
}
