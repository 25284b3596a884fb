// The capture window offscreen with a stand-in main window: another device
// restarts the preview, "Small preview" halves it, the volume reaches the graph,
// a DV camcorder is previewed once more on closing, and a window destroyed while
// recording still leaves a complete file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <cstdlib>
#include <filesystem>

#include "platform/dialogs.h"
#include "support/test_util.h"
#include "video/Capture1.h"
#include "video/capture_graph.h"

namespace {

using capture::Capture;

struct Host {
    std::vector<std::string> calls;
    CaptureHost Make() {
        CaptureHost h;
        h.videoFileName = [] { return std::string("/nowhere/old.avi"); };
        h.videoOpened = [] { return true; };
        h.captureFilePath = [] { return std::string("/nowhere"); };
        h.saveCaptureFilePath = [this](const std::string& f) {
            calls.push_back("save " + f);
            return true;
        };
        h.enableOpenButtons = [this](bool on) { calls.push_back(on ? "buttons on" : "buttons off"); };
        h.openVideo = [this](const std::string& p) { calls.push_back("open " + p); };
        h.reopenVideo = [this] { calls.push_back("reopen"); };
        return h;
    }
};

// Lets the event loop run until `done` or a generous limit.
template <typename Done>
bool RunUntil(Done done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class CaptureWindow : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TEVORIN_CAPTURE_SYSTEM_DEVICES", "0", 1);
        capture::ClearTestDevices();
        dialogs.Install();
    }
    void TearDown() override {
        delete Capture_1;
        QApplication::processEvents();
        capture::ClearTestDevices();
    }
    static QSize Picture(const TCapture_1* w) {
        const QPixmap p = w->Panel1->pixmap();
        return p.isNull() ? QSize() : p.size();
    }
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    Host host;
};

TEST_F(CaptureWindow, AnotherDeviceRestartsThePreviewHalvedWhenSmall) {
    capture::AddTestDevice(true, "A", "lavfi", "testsrc2=size=320x240:rate=25,realtime");
    capture::AddTestDevice(true, "B", "lavfi", "testsrc2=size=160x120:rate=25,realtime");
    capture::AddTestDevice(false, "Tone", "lavfi", "sine=frequency=1000:sample_rate=48000");
    auto* w = new TCapture_1(host.Make());
    EXPECT_TRUE(CaptureOpen);
    EXPECT_EQ(w->windowTitle(), "Video Capture");
    EXPECT_TRUE(Capture.CaptureRunning);
    EXPECT_EQ(w->StaticText1->text(), "Preview");
    EXPECT_EQ(w->Edit1->text(), "/nowhere");
    EXPECT_TRUE(w->CheckBox1->isChecked());
    EXPECT_EQ(w->ListBox2->currentItem()->text(), "DV Video Encoder");
    EXPECT_TRUE(RunUntil([&] { return Picture(w) == QSize(320, 240); }));

    w->CheckBox2->setChecked(true);
    w->ListBox1->setCurrentRow(1);  // by keys as by the mouse
    EXPECT_EQ(Capture.VideoDeviceIndex, 1);
    EXPECT_EQ(w->Memo1->toPlainText(), "pMediaControl Stop : S_OK\npMediaEventl WaitForCompletion : S_OK");
    EXPECT_TRUE(RunUntil([&] { return Picture(w) == QSize(80, 60); }));
    // The same device again changes nothing.
    w->ListBox1Click();
    EXPECT_EQ(w->Memo1->toPlainText().count('\n'), 1);

    w->TrackBar1->setValue(-2500);
    ASSERT_TRUE(Capture.graph);
    EXPECT_EQ(Capture.graph->Volume(), -2500);
    w->ListBox2->setCurrentRow(2);
    EXPECT_EQ(Capture.CompressorIndex, 2);

    w->close();
    QApplication::processEvents();
    EXPECT_FALSE(CaptureOpen);
    EXPECT_FALSE(Capture.CaptureRunning);
    // Nothing recorded: the video open before comes back.
    EXPECT_EQ(host.calls, (std::vector<std::string>{"buttons off", "buttons on", "reopen"}));
}

// F1 with a Path that is not a folder says so and leaves the preview running;
// a file that cannot be created in an existing folder goes back to the preview.
TEST_F(CaptureWindow, F1IntoAMissingFolderSaysSoAndThePreviewGoesOn) {
    capture::AddTestDevice(true, "A", "lavfi", "testsrc2=size=160x120:rate=25,realtime");
    capture::AddTestDevice(false, "Tone", "lavfi", "sine=frequency=1000:sample_rate=48000");
    auto* w = new TCapture_1(host.Make());
    ASSERT_TRUE(RunUntil([&] { return !Picture(w).isEmpty(); }));
    const auto previewing = [&] {
        EXPECT_TRUE(Capture.CaptureRunning);
        EXPECT_EQ(w->StaticText1->text(), "Preview");
        EXPECT_TRUE(w->SpeedButton2->isEnabled());
        EXPECT_FALSE(w->SpeedButton3->isEnabled());
        // New pictures keep coming.
        w->Panel1->clear();
        EXPECT_TRUE(RunUntil([&] { return !Picture(w).isEmpty(); }));
    };
    const std::string missing = dir.File("no/such/folder");
    testutil::WriteAll(dir.File("plain"), "x");
    for (const std::string& path : {missing, dir.File("plain")}) {
        w->Edit1->setText(QString::fromStdString(path));
        w->SpeedButton2->click();
        ASSERT_FALSE(dialogs.Texts("error").empty());
        EXPECT_EQ(dialogs.Texts("error").back(),
                  "The folder \"" + path + "\" does not exist.\r\nChoose an existing folder as the Path to record.");
        previewing();
    }
    // The F1 key goes the same way.
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(w, &f1);
    EXPECT_EQ(dialogs.Texts("error").size(), 3u);
    EXPECT_EQ(w->Memo1->toPlainText(), "");  // the preview was never taken down
    previewing();

    // A folder where no file can be made, even by root.
    w->Edit1->setText("/proc");
    w->SpeedButton2->click();
    ASSERT_EQ(dialogs.Texts("error").size(), 4u);
    EXPECT_EQ(dialogs.Texts("error").back(),
              "Could not create /proc/Untitled.avi.\r\nThe step log says why; the preview goes on.");
    EXPECT_TRUE(w->Memo1->toPlainText().contains("SetOutPutFileName : "));
    previewing();
    EXPECT_FALSE(Capture.CaptureRecorded);
    EXPECT_FALSE(std::filesystem::exists("/proc/Untitled.avi"));
    w->close();
    QApplication::processEvents();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"buttons off", "buttons on", "reopen"}));
}

TEST_F(CaptureWindow, ADvCamcorderIsPreviewedOnceMoreOnClosingAndTheRecordingOpened) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "no ffmpeg";
    const std::string tape = dir.File("tape.dv");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
                            "sine=sample_rate=48000 -t 2 -c:v dvvideo -c:a pcm_s16le -ac 2 -f dv '" + tape + "'"),
              0);
    capture::AddTestDevice(true, "Camcorder", "dv", tape);
    capture::AddTestDevice(false, "Tone", "lavfi", "sine=frequency=1000:sample_rate=48000");
    auto* w = new TCapture_1(host.Make());
    w->Edit1->setText(QString::fromStdString(dir.Path()));
    w->Edit2->setText("night.mpg");
    w->SpeedButton2->click();
    EXPECT_EQ(w->StaticText1->text(), "Recording now..");
    EXPECT_FALSE(w->SpeedButton2->isEnabled());
    EXPECT_TRUE(w->SpeedButton3->isEnabled());
    EXPECT_TRUE(RunUntil([&] { return Capture.graph && Capture.graph->FramesWritten() >= 5; }));
    w->close();
    QApplication::processEvents();
    const std::string stopped = "pMediaControl Stop : S_OK\npMediaEventl WaitForCompletion : S_OK";
    // The preview before F1, the recording, and the preview once more on closing.
    EXPECT_EQ(w->Memo1->toPlainText().toStdString(), stopped + "\n" + stopped + "\n" + stopped);
    const std::string file = dir.File("night.avi");
    EXPECT_EQ(host.calls, (std::vector<std::string>{"buttons off", "buttons on", "open " + file}));
    std::string codec;
    testutil::Run("ffprobe -v error -select_streams v -show_entries stream=codec_name -of csv=p=0 '" + file + "'", &codec);
    EXPECT_EQ(codec, "dvvideo\n");
}

TEST_F(CaptureWindow, AWindowGoneWhileRecordingLeavesACompleteFile) {
    if (!testutil::HaveProgram("ffprobe")) GTEST_SKIP() << "no ffprobe";
    capture::AddTestDevice(true, "A", "lavfi", "testsrc2=size=320x240:rate=25,realtime");
    capture::AddTestDevice(false, "Tone", "lavfi", "sine=frequency=1000:sample_rate=48000");
    auto* w = new TCapture_1(host.Make());
    w->Edit1->setText(QString::fromStdString(dir.Path()));
    w->Edit2->setText("gone");
    w->SpeedButton2->click();
    EXPECT_TRUE(RunUntil([&] { return Capture.graph && Capture.graph->FramesWritten() >= 5; }));
    delete w;  // as when the main window goes with it
    EXPECT_FALSE(Capture.CaptureRunning);
    std::string frames;
    testutil::Run("ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 '" +
                      dir.File("gone.avi") + "'",
                  &frames);
    EXPECT_GE(std::atoi(frames.c_str()), 5);
    EXPECT_EQ(std::atoi(frames.c_str()), Capture.framesRecorded);
}

}  // namespace
