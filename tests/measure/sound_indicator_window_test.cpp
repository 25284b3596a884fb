// "Audio Channel Display" on a clip with beeps: the copy and its question, the
// display's texts, lamp and share following the frame, its controls, the lines
// of the results rows, and what opening another video or closing does.
#include <gtest/gtest.h>

#include <QApplication>

#include "measure/main_2.h"
#include "measure/main_2_audio.h"
#include "measure/soundindicator1.h"
#include "platform/file_io.h"
#include "support/main_window_fixture.h"

namespace {

constexpr const char* kSettings =
    "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
    "[Measurement]\r\nPhotometry=Aperture photometry\r\nMeasure=for each Frame\r\n";

struct AudioDisplay : testutil::MainWindowTest {
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        OpenMainWindow(kSettings);
    }
    void TearDown() override {
        if (SoundIndicator) SoundIndicator->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        MainWindowTest::TearDown();
    }
    // 30 frames at 25 fps (1920 samples each at 48 kHz): a square-wave beep on the
    // left channel over frame 5 and the first half of frame 20.
    std::string MakeClip(const std::string& name, bool audio = true) {
        const std::string path = dir.File(name);
        const std::string a = audio ? " -f lavfi -i \"aevalsrc='if(between(n,9600,11519)+between(n,38400,39359),"
                                      "0.5*(2*mod(floor(n/20),2)-1),0)|0':s=48000:d=1.2\" -c:a pcm_s16le"
                                    : "";
        EXPECT_EQ(testutil::Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=160x120:rate=25" + a +
                                " -t 1.2 -c:v rawvideo -pix_fmt bgr24 '" + path + "'"),
                  0);
        return path;
    }
    void Open(const std::string& path) { OpenVideo(path); }
    size_t Boxes(const std::string& what) const { return dialogs.Texts(what).size(); }
};

TEST_F(AudioDisplay, CopyTextsLampAndShareFollowTheFrame) {
    const std::string clip = MakeClip("beeps.avi");
    Open(clip);
    ASSERT_TRUE(w->Button9->isEnabled());
    w->Button9->click();
    ASSERT_EQ(dialogs.Texts("yesno").size() + dialogs.Texts("confirmation").size(), 1u);
    ASSERT_TRUE(SoundIndicator);
    EXPECT_TRUE(SoundIndicatorShown);
    EXPECT_FALSE(WavExtractionPending);
    EXPECT_EQ(SoundIndicator->windowTitle(), "Audio cannel display");
    EXPECT_EQ(SoundIndicator->objectName(), "SoundIndicator");
    // The copy from byte 48 is the ffmpeg tool's own decoding of the track.
    std::string pcm;
    ASSERT_EQ(testutil::Run("ffmpeg -nostdin -v error -i '" + clip + "' -map 0:a -f s16le -", &pcm), 0);
    const std::string wav = testutil::ReadAll(dir.File("tvm.wav"));
    ASSERT_GT(wav.size(), 48u);
    EXPECT_TRUE(wav.compare(48, std::string::npos, pcm) == 0);

    TSoundIndicator* d = SoundIndicator;
    EXPECT_EQ(d->Edit2->text(), "SamplingRate = 48000");
    EXPECT_EQ(d->Edit4->text(), "Sample/Frame= 1920");
    EXPECT_EQ(d->Edit5->text(), "Data Type : 16 Bit  PCM   [stereo]");
    EXPECT_EQ(d->Edit8->text(), "0");
    EXPECT_EQ(d->Edit7->text(), "0.00");
    EXPECT_EQ(d->Edit1->text(), "50");
    EXPECT_EQ(d->RadioGroup1->ItemIndex(), 2);
    EXPECT_EQ(d->RadioGroup2->ItemIndex(), 0);
    EXPECT_EQ(d->Panel1->palette().color(QPalette::Window), QColor(Qt::white));

    w->GoToFrame(5);
    EXPECT_EQ(d->Edit8->text(), "5");
    EXPECT_EQ(d->Edit7->text(), "100.00");
    EXPECT_EQ(d->Panel1->palette().color(QPalette::Window), QColor(Qt::red));
    // The three lines of the frame's rows carry the display's decision and share.
    for (const DataLine& line : w->State.DataLines) {
        EXPECT_EQ(line.Signal1Detected, 1);
        EXPECT_EQ(line.SoundText, "100.00");
    }
    // Frame 20 from the block 15 frames before it: half the frame.
    w->GoToFrame(20);
    EXPECT_EQ(d->Edit7->text(), "50.00");
    // The right channel is silent.
    d->RadioGroup1->SelectByUser(1);
    EXPECT_EQ(d->Edit7->text(), "0.00");
    EXPECT_EQ(d->Panel1->palette().color(QPalette::Window), QColor(Qt::white));
    d->RadioGroup1->SelectByUser(0);
    EXPECT_EQ(d->Edit7->text(), "50.00");
    // The two volume up-downs keep one position.
    d->UpDown1->ClickArrow(true);
    EXPECT_EQ(d->Edit1->text(), "55");
    EXPECT_EQ(d->UpDown2->Position(), 55);
    EXPECT_EQ(SoundGain, 55);
    d->UpDown2->ClickArrow(false);
    EXPECT_EQ(d->UpDown1->Position(), 54);
    EXPECT_EQ(d->Edit1->text(), "54");
    // "to start" redraws for frame 0.
    w->SpeedButton3Click();
    EXPECT_EQ(d->Edit8->text(), "0");

    // The open dialog is refused while the display is shown.
    const size_t opens = dialogs.Texts("open").size();
    w->Button1Click();
    EXPECT_EQ(dialogs.Texts("open").size(), opens);

    // Closing clears the lines: no later row repeats this frame's sound.
    w->GoToFrame(5);
    d->Button1->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(SoundIndicatorShown);
    EXPECT_FALSE(SoundIndicator);
    for (const DataLine& line : w->State.DataLines) EXPECT_EQ(line.SoundText, "");

    // A second press opens without a question or a copy.
    const size_t questions = dialogs.shown.size();
    w->Button9->click();
    ASSERT_TRUE(SoundIndicator);
    EXPECT_EQ(dialogs.shown.size(), questions);
    SoundIndicator->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Opening another video deletes the copy; the next press asks again.
    Open(MakeClip("other.avi"));
    EXPECT_FALSE(fileio::FileExists(dir.File("tvm.wav")));
    EXPECT_TRUE(WavExtractionPending);
}

TEST_F(AudioDisplay, DeclinedMissingAndSilentVideosOpenNothing) {
    const std::string clip = MakeClip("beeps.avi");
    Open(clip);
    dialogs.yesNoAnswers.push_back(false);
    w->Button9->click();
    EXPECT_FALSE(SoundIndicator);
    EXPECT_EQ(dialogs.Texts("warning"), std::vector<std::string>{"WAV data could not be read."});
    EXPECT_FALSE(fileio::FileExists(dir.File("tvm.wav")));
    EXPECT_TRUE(WavExtractionPending);

    // The video's path no longer exists.
    w->Edit5->setText(QString::fromStdString(dir.File("gone.avi")));
    w->Button9->click();
    EXPECT_EQ(dialogs.Texts("error"), std::vector<std::string>{".AVI file not found"});
    EXPECT_FALSE(SoundIndicator);

    // A video without audio: after Yes the copy fails and says why; nothing opens.
    Open(MakeClip("silent.avi", false));
    dialogs.yesNoAnswers.push_back(true);
    w->Button9->click();
    EXPECT_EQ(dialogs.Texts("error"), (std::vector<std::string>{".AVI file not found", "silent.avi has no sound track."}));
    EXPECT_FALSE(fileio::FileExists(dir.File("tvm.wav")));
    EXPECT_FALSE(SoundIndicator);
    EXPECT_FALSE(SoundIndicatorShown);
    EXPECT_FALSE(WavExtracting);

    // A copy that is unreadable (removed behind the display's back) gives the warning
    // and the next press copies anew.
    Open(clip);
    w->Button9->click();
    ASSERT_TRUE(SoundIndicator);
    SoundIndicator->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    testutil::WriteAll(dir.File("tvm.wav"), "RIFF");
    const size_t warnings = dialogs.Texts("warning").size();
    w->Button9->click();
    EXPECT_FALSE(SoundIndicator);
    EXPECT_EQ(dialogs.Texts("warning").size(), warnings + 1);
    EXPECT_TRUE(WavExtractionPending);
    w->Button9->click();
    EXPECT_TRUE(SoundIndicator);
}

TEST_F(AudioDisplay, ClosingTheMainWindowDeletesTheCopy) {
    Open(MakeClip("beeps.avi"));
    w->Button9->click();
    ASSERT_TRUE(fileio::FileExists(dir.File("tvm.wav")));
    w->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(fileio::FileExists(dir.File("tvm.wav")));
    EXPECT_FALSE(SoundIndicatorShown);
}

}  // namespace
