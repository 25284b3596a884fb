// The 3-D star view and the value panel through the harness, as a user goes:
// both opened from the main window, scale and tilt changed, the view's variables
// read back, the clipboard's picture equal to the view's, the panel's sums shown.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/test_util.h"

TEST(ThreeDViewThroughTheHarness, OpenTurnScaleCopyAndSums) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string d = dir.Path();
    ASSERT_TRUE(testutil::MakeRawClip(d + "/star.avi", "color=c=black:s=160x120:r=25", 5,
                                      testutil::GeqFilter("20+150*exp(-2*(pow(X-60\\,2)+pow(Y-50\\,2))/25)", "20", "30")));
    const std::string script = "reader vfw\nopen " + d + "/star.avi\n" + R"(set CheckBox14 0
click 60 50
press Button8
expect-shown ThreeDGraph 1
press Button15
expect-shown ColorValueDisplay 1
expect-var ThreeDTilt -30
set ThreeDGraph.TrackBar2 25
expect-var ThreeDScale 25
press ThreeDGraph.SpeedButton1
expect-var ThreeDTilt -27
press ThreeDGraph.Button3
expect-var ThreeDTurn 30
expect-text ThreeDGraph.TrackBar1 30
step
print-text ColorValueDisplay.Edit26
press ThreeDGraph.Button5
)" + "clipboard-image " + d + "/clip.png\ndump-image ThreeDGraph.TDGImage1 " + d + "/view.png\n" +
                               "press ThreeDGraph.Button1\nexpect-shown ThreeDGraph 0\n";
    std::string out;
    ASSERT_EQ(testutil::RunHarness(d, script, &out, "", true), 0) << out;
    // The frame's red star sum, 23 characters of scientific notation.
    EXPECT_TRUE(std::regex_search(out, std::regex("\n [0-9]\\.[0-9]{14}E\\+000[0-9]\nok [0-9]+ print-text"))) << out;
    const auto rgb = [](const std::string& path) {
        EXPECT_EQ(testutil::Run("ffmpeg -v error -y -i " + path + " -f rawvideo -pix_fmt rgb24 " + path + ".rgb"), 0);
        return testutil::ReadAll(path + ".rgb");
    };
    const std::string view = rgb(d + "/view.png");
    EXPECT_EQ(view.size(), 252u * 414u * 3u);
    EXPECT_EQ(rgb(d + "/clip.png"), view);
}
