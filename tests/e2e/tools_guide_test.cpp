// The operation guide and the main window's tools through the harness, as a user
// goes: the guide's type list and roles, "Estimated track" by the right button, the
// gamma and interval edits with their colours, the event time, "Save Image" and
// "Copy Image to ClipBoard" read back by the ffmpeg tool, preview and back.
#include <gtest/gtest.h>

#include <string>

#include "support/test_util.h"

namespace {

std::string Rgb(const std::string& path) {
    const std::string raw = path + ".rgb";
    EXPECT_EQ(testutil::Run("ffmpeg -v error -y -i " + path + " -f rawvideo -pix_fmt rgb24 " + raw), 0) << path;
    return testutil::ReadAll(raw);
}

}  // namespace

TEST(ToolsThroughTheHarness, GuideEditsExportsAndBack) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    const std::string d = dir.Path();
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 5 -c:v rawvideo "
                            "-pix_fmt bgr24 " + d + "/clip.avi"),
              0);
    const std::string script = "reader vfw\nopen " + d + "/clip.avi\n" + R"(press Button32
expect-shown Profile 1
set Profile.ComboBox1 3
expect-checked CheckBox6 1
expect-checked Profile.CheckBox1 1
set Profile.ComboBox1 4
expect-var TrackMode[1] 1
set CheckBox15 1
expect-enabled CheckBox4 1
mouse CheckBox4 right 5 5
expect-shown SetPredictTrack 1
press RadioButton16
type Edit18 2
expect-color Edit18 #0000FF
key Edit18 enter
expect-text Edit18 2.00
expect-color Edit18 #000000
type Edit18 3
leave Edit18
expect-text Edit18 2.00
type Edit19 13.5
leave Edit19
expect-text UpDown9 14
set Edit24 12
set Edit25 34
set Edit26 56.78
press CopyCurrentTimetoClipboard1
expect-clipboard Event Time obtained from Tevorin:123456.78|
)" + "answer-file " + d + "/frame.png 3\npress SaveImage1\npress CopyImagetoClipBoard1\nclipboard-image " + d +
                               "/clip.png\ndump-image Image1 " + d + "/shown.png\n" + R"(set Profile.ComboBox1 1
set UpDown9 1
goto 1
stop-at 3
press Profile.Button3
wait timer
press Profile.Button4
expect-text ScrollBar1 3
press Profile.Button5
expect-text ScrollBar1 1
)";
    testutil::WriteAll(d + "/script.txt", script);
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + d + "/script.txt 2>&1", &out), 0) << out;
    // The type change made the typed ".png" a bitmap; at 25 frames per second the
    // whole picture (720 x 579) is saved, equal to the shown one and the clipboard's.
    std::string probe;
    ASSERT_EQ(testutil::Run("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " + d + "/frame.bmp", &probe), 0);
    EXPECT_EQ(probe, "720,579\n");
    const std::string shown = Rgb(d + "/shown.png");
    EXPECT_EQ(shown.size(), 720u * 579u * 3u);
    EXPECT_EQ(Rgb(d + "/frame.bmp"), shown);
    EXPECT_EQ(Rgb(d + "/clip.png"), shown);
}
