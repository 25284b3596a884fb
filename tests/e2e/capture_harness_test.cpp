// The capture window through the harness, on generated devices: opened without an
// audio device, then the road of a recording: the folder chosen, preview, a
// numbered recording with F1, back to the preview with ESC, and closing, which
// opens the recording or reopens the video that was open before.
#include <gtest/gtest.h>

#include <QImage>
#include <string>

#include "platform/ini_file.h"
#include "support/test_util.h"

namespace {

const char* const kCam = "capture-device video Cam lavfi:testsrc2=size=320x240:rate=25,realtime\n";
const char* const kMic = "capture-device audio Mic lavfi:sine=frequency=1000:sample_rate=48000\n";

std::string RunHarness(const testutil::TempDir& dir, const std::string& script, int* status) {
    testutil::WriteAll(dir.File("script.txt"), script);
    std::string out;
    *status = testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("script.txt") + " 2>&1", &out);
    return out;
}

TEST(CaptureThroughTheHarness, WithoutAnAudioDeviceNothingStarts) {
    testutil::TempDir dir;
    const std::string script = std::string(kCam) +
                               "press VideoCapture1\nexpect-shown Capture_1 1\n"
                               "expect-enabled Capture_1.SpeedButton2 0\nexpect-enabled Capture_1.SpeedButton3 0\n"
                               "expect-text Capture_1.Memo1 No audio device is detected\n"
                               "expect-text Capture_1.StaticText1 Viewing source now..\n"
                               "expect-text Capture_1.ListBox1 Cam\n"
                               "expect-text Capture_1.ListBox2 DV Video Encoder|MJPEG Compressor|FFV1 Lossless Codec|"
                               "HuffYUV Lossless Codec|Uncompressed RGB\n"
                               "expect-enabled Button1 0\nexpect-enabled Button20 0\n"
                               // Opened once only; the keys do nothing with their buttons disabled.
                               "press Button37\nkey Capture_1 f1\nexpect-text Capture_1.StaticText1 Viewing source now..\n"
                               "screenshot Capture_1 " + dir.File("shot.png") + "\n"
                               "close Capture_1\nexpect-shown Capture_1 0\nexpect-enabled Button1 1\nexpect-enabled Button20 1\n";
    int status = 0;
    const std::string out = RunHarness(dir, script, &status);
    ASSERT_EQ(status, 0) << out;
    // No preview: the panel stays black.
    const QImage shot(QString::fromStdString(dir.File("shot.png")));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixel(200, 200) & 0xFFFFFF, 0u);
}

TEST(CaptureThroughTheHarness, RecordANumberedFileAndMeasureItOnClosing) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    testutil::TempDir dir;
    const std::string caps = dir.File("caps");
    ASSERT_EQ(testutil::Run("mkdir -p '" + caps + "' && ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 "
                            "-frames:v 10 -c:v huffyuv '" + caps + "/old.avi' && : > '" + caps + "/run_009.avi'"),
              0);
    const std::string script =
        std::string(kCam) + kMic + "open " + caps + "/old.avi\n" +
        "press VideoCapture1\n"
        "expect-text Capture_1.StaticText1 Preview\n"
        "expect-enabled Capture_1.SpeedButton2 1\nexpect-enabled Capture_1.SpeedButton3 0\n"
        "answer-folder " + caps + "\npress Capture_1.SpeedButton1\nexpect-text Capture_1.Edit1 " + caps + "\n"
        "wait-ms 400\nscreenshot Capture_1 " + dir.File("preview.png") + "\n"
        // The name of the video open for measurement: asked, and No keeps the preview.
        "set Capture_1.Edit2 old\nanswer no\npress Capture_1.SpeedButton2\n"
        "expect-box yesno New captured file will be overwrited onto the now analyzed file. Are you sure?\n"
        "expect-caption File name was still assigned by analyzer.\n"
        "expect-text Capture_1.StaticText1 Preview\n"
        "set Capture_1.Edit2 run_009\nkey Capture_1 f1\n"
        "expect-text Capture_1.Edit2 run_010\nexpect-text Capture_1.StaticText1 Recording now..\n"
        "expect-enabled Capture_1.SpeedButton2 0\nexpect-enabled Capture_1.SpeedButton3 1\n"
        "wait-ms 1200\nkey Capture_1 escape\nexpect-text Capture_1.StaticText1 Preview\n"
        "expect-text Capture_1.Memo1 pMediaControl Stop : S_OK|pMediaEventl WaitForCompletion : S_OK|"
        "pMediaControl Stop : S_OK|pMediaEventl WaitForCompletion : S_OK\n"
        "press Capture_1.Button3\nexpect-shown Capture_1 0\n"
        "expect-text Edit5 " + caps + "/run_010.avi\n"
        "dump-frame 5 " + dir.File("frame5.ppm") + "\n"
        // Recording again, not to be measured: the video open before comes back.
        "press Button37\nset Capture_1.Edit2 run_010\npress Capture_1.CheckBox1\nexpect-checked Capture_1.CheckBox1 0\n"
        "press Capture_1.SpeedButton2\nexpect-text Capture_1.Edit2 run_011\nwait-ms 300\nclose Capture_1\n"
        "expect-text Edit5 " + caps + "/run_010.avi\ndump-frame 0 " + dir.File("again.ppm") + "\n";
    int status = 0;
    const std::string out = RunHarness(dir, script, &status);
    ASSERT_EQ(status, 0) << out;

    // The preview drew the camera's picture into the panel.
    const QImage preview(QString::fromStdString(dir.File("preview.png")));
    ASSERT_FALSE(preview.isNull());
    EXPECT_NE(preview.pixel(100, 100) & 0xFFFFFF, 0u);
    // The recording is a DV AVI the main window reads; the second one exists too.
    std::string probe;
    testutil::Run("ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height -of csv=p=0 '" + caps +
                      "/run_010.avi'",
                  &probe);
    EXPECT_EQ(probe, "dvvideo,720,576\n");
    EXPECT_FALSE(testutil::ReadAll(dir.File("frame5.ppm")).empty());
    EXPECT_FALSE(testutil::ReadAll(caps + "/run_011.avi").empty());
    EXPECT_FALSE(testutil::ReadAll(dir.File("again.ppm")).empty());
    // The folder went into the settings file at once, beside what was there.
    IniFile ini;
    std::string error;
    ASSERT_NE(ini.Load(dir.File("tevorin-harness.ini"), error), IniFile::LoadResult::Failed);
    EXPECT_EQ(ini.ReadString("Capture", "Capture File Path", ""), caps);
    EXPECT_NE(ini.ReadString("FileRead", "API for reading file", "none"), "none");
}

}  // namespace
