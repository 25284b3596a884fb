// Paths a user may choose that are not what they seem, through the real main
// window (tevorin-harness, offscreen): each is refused at once with the reader's
// error, never waited on.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "support/test_util.h"

namespace {

class HostilePaths : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        testutil::WriteAll(dir.File("tevorin-harness.ini"),
                           "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n");
    }
    // The harness's output; a run that does not end within a minute fails (a
    // reader waiting on a FIFO never would).
    std::string Run(const std::string& script) {
        testutil::WriteAll(dir.File("script.txt"), script);
        std::string out;
        EXPECT_EQ(testutil::Run("timeout 60 " + testutil::BinFile("tevorin-harness") + " " + dir.File("script.txt") +
                                    " 2>/dev/null",
                                &out),
                  0)
            << out;
        return out;
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(HostilePaths, AFifoAsTheVideoIsRefusedByBothReadersAndByLoadCsv) {
    const std::string video = dir.File("star.avi"), fifo = dir.File("clip.avi");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=gray:s=160x120:r=25 -frames:v 5 -c:v rawvideo "
                            "-pix_fmt bgr24 " + video),
              0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string vfwError = "Could not open .AVI file.||clip.avi";
    const std::string dshowError = vfwError + "||Incorrect formated file or unknown compressor.";
    Run("reader vfw\nopen " + video + "\noneframe\nsave " + dir.File("r.csv") + "\ntry-open " + fifo +
        "\nexpect-errors 1\nexpect-error " + vfwError + "\nreader dshow\ntry-open " + fifo +
        "\nexpect-errors 2\nexpect-error " + dshowError + "\n");
    // A results file whose "FileName :" line names the FIFO: the rows load, the video does not.
    std::string csv = testutil::ReadAll(dir.File("r.csv"));
    const size_t at = csv.find(video);
    ASSERT_NE(at, std::string::npos);
    testutil::WriteAll(dir.File("fifo.csv"), csv.replace(at, video.size(), fifo));
    Run("reader vfw\nload " + dir.File("fifo.csv") + "\nexpect-errors 1\nexpect-error " + vfwError +
        "\nexpect-rows 1\nreader dshow\nload " + dir.File("fifo.csv") + "\nexpect-errors 2\nexpect-error " + dshowError +
        "\nexpect-rows 1\n");
}
