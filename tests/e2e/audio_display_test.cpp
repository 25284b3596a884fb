// The audio channel display through the harness: the copy, the display's channel
// chosen, a measured run saved: column 10 holds each frame's share and column 2
// "***" exactly where the probe's per-frame decision (checked against the numpy
// model in tests/video/sound_check.py) finds a signal.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace {

TEST(AudioDisplayHarness, MeasuredRowsCarryEachFramesShare) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string clip = dir.File("beeps.avi"), csv = dir.File("beeps.csv");
    // 30 frames at 25 fps; left: a full frame (5), half a frame (20), two blips 25
    // samples apart in frame 12 and a weak tone (loud only on the right at gain 50).
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i "
                            "\"aevalsrc='if(between(n,9600,11519)+between(n,38400,39359)+between(n,23500,23500)+"
                            "between(n,23526,23526),0.5*(2*mod(floor(n/20),2)-1),0)|0.1*sin(2*PI*500*t)':s=48000:d=1.2\" "
                            "-c:a pcm_s16le -t 1.2 -c:v rawvideo -pix_fmt bgr24 '" + clip + "'"),
              0);
    testutil::WriteAll(dir.File("script.txt"), "reader vfw\nopen " + clip +
                                                   "\nset ComboBox1 1\n"
                                                   "answer no\npress Button9\nexpect-box warning WAV data could not be read.\n"
                                                   "expect-shown SoundIndicator 0\n"
                                                   "press Button9\nexpect-shown SoundIndicator 1\n"
                                                   "set SoundIndicator.RadioGroup1 0\ngoto 5\n"
                                                   "print-text SoundIndicator.Edit7\nprint-text SoundIndicator.Edit4\n"
                                                   "goto 0\nrun\nsave " + csv + "\n"
                                                   "press SoundIndicator.Button1\nexpect-shown SoundIndicator 0\nclose main\n");
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("script.txt") + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("100.00\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Sample/Frame= 1920\n"), std::string::npos) << out;

    // The probe's decisions for the left channel at gain 50.
    const std::string wav = dir.File("copy.wav");
    std::string frames;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " save-wav '" + clip + "' '" + wav + "'"), 0);
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " sound-frames '" + wav + "' 30 25 --channel L", &frames), 0);
    std::vector<std::pair<bool, std::string>> want;
    std::istringstream lines(frames);
    int c, detected;
    std::string share;
    while (lines >> c >> detected >> share) want.emplace_back(detected == 1, share);
    ASSERT_EQ(want.size(), 30u);
    EXPECT_EQ(want[12].second, "1.41");  // 27 samples: two blips and the 25 between them

    const auto rows = testutil::DataRows(csv);
    ASSERT_EQ(rows.size(), 30u);
    int lit = 0;
    for (size_t n = 0; n < rows.size(); ++n) {
        ASSERT_GE(rows[n].size(), 10u);
        EXPECT_EQ(rows[n][1], want[n].first ? "\"***\"" : "\"\"") << "row " << n;
        EXPECT_EQ(rows[n][9], want[n].second) << "row " << n;
        lit += want[n].first;
    }
    EXPECT_EQ(lit, 3);
    // Closing the main window deleted the copy.
    EXPECT_FALSE(testutil::Run("test -e '" + dir.File("tvm.wav") + "'") == 0);
}

}  // namespace
