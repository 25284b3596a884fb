// Videos that cannot deliver what they claim, measured through the main window with
// each reader: headers claiming far more frames than the file holds, and a file cut
// short on disk during the run. Then STOP, DEL, reopening and closing while frames
// are read ahead.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <functional>
#include <unistd.h>

#include "measure/main_2.h"
#include "measure/results_table.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"
#include "video/read_ahead.h"

namespace {

struct Reader {
    const char* name;
    bool dshow, avisynth;
};

struct CutVideoRun : ::testing::TestWithParam<Reader> {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        dialogs.Install();
        const Reader r = GetParam();
        testutil::WriteAll(dir.File("t.ini"), std::string("[FileRead]\r\nUse AviSynth to read file=") + (r.avisynth ? "1" : "0") +
                                                  "\r\nAPI for reading file=" + (r.dshow ? "DirectShow" : "VideoForWindows") +
                                                  "\r\n[Measurement]\r\nPhotometry=Aperture photometry\r\n");
        SetSettingsFilePath(dir.File("t.ini"));
        w = std::make_unique<TPlatform>();
        w->State.DirectShowSelected = r.dshow;
        w->State.UseAviSynth = r.avisynth;
        w->CheckBox7->setChecked(r.dshow);
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    // A disc at (40, 40) worth 40 + 2 (n mod 100) over 20: frame n measures 260 + 26 (n mod 100).
    // A noise strip `noiseWidth` wide to the right of a 160 x 240 picture, far from
    // the disc, keeps every frame large whatever the codec.
    std::string StarVideo(const std::string& name, const std::string& codec, int frames, int noiseWidth = 0) {
        const std::string e = "if(lte(hypot(X-40\\,Y-40)\\,2)\\,40+mod(N\\,100)*2\\,20)";
        const std::string star = "color=c=black:s=" + std::string(noiseWidth ? "160x240" : "160x120") +
                                 ":r=25,format=rgb24,geq=r='" + e + "':g='" + e + "':b='" + e + "'";
        const std::string noise = "color=c=0x101010:s=" + std::to_string(noiseWidth) +
                                  "x240:r=25,format=yuv444p,noise=alls=20:allf=t+u,format=rgb24";
        const std::string input = noiseWidth ? "-f lavfi -i \"" + star + "\" -f lavfi -i \"" + noise + "\" -filter_complex \"[0][1]hstack\""
                                             : "-f lavfi -i \"" + star + "\"";
        EXPECT_EQ(testutil::Run("ffmpeg -v error -y " + input + " -frames:v " + std::to_string(frames) + " " + codec + " " +
                                dir.File(name)),
                  0);
        return dir.File(name);
    }
    int Rows() const { return static_cast<int>(w->Table.Count()) - DetectResultsFormat(w->Table).headerLines; }
    // Opens and measures until the run stops (or 400 rows), calling `during` between turns.
    template <typename During>
    void OpenAndRun(const std::string& path, During&& during) {
        dialogs.fileAnswers.push_back(path);
        w->Button1Click();
        ASSERT_TRUE(w->State.VideoOpen && dialogs.Texts("error").empty());
        w->StartMeasurement();
        QElapsedTimer clock;
        clock.start();
        for (; w->Timer1->isActive() && Rows() < 400 && clock.elapsed() < 120000; during())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        w->StopMeasurement();
    }
    // Row i holds frame i with its own star value, not the picture of another frame.
    void ExpectOwnFrames() {
        const int header = DetectResultsFormat(w->Table).headerLines;
        for (int i = 0; i < Rows(); ++i) {
            const std::string& row = w->Table[static_cast<size_t>(header + i)];
            ASSERT_TRUE(GetField(row, 1) == std::to_string(i) + ".0" && GetField(row, 11) == std::to_string(260 + 26 * (i % 100)) + ".0")
                << "row " << i + 1 << ": " << row;
        }
    }
};

// Main and stream headers claiming 2^31, 2^32 - 1 or 10^6 frames of a 50-frame file.
TEST_P(CutVideoRun, HeaderClaimingMoreFramesThanTheIndexHolds) {
    std::string data = testutil::ReadAll(StarVideo("star.avi", "-c:v huffyuv", 50));
    const size_t avih = data.find("avih") + 8 + 16, strh = data.find("strh") + 8 + 32;  // dwTotalFrames, dwLength
    for (uint32_t claim : {uint32_t{1} << 31, UINT32_MAX, 1000000u}) {
        for (int i = 0; i < 4; ++i) data[avih + i] = data[strh + i] = static_cast<char>(claim >> (8 * i));
        testutil::WriteAll(dir.File("claims.avi"), data);
        OpenAndRun(dir.File("claims.avi"), [] {});
        EXPECT_TRUE(w->MaxPosition() == 49 && Rows() == 50 && dialogs.Texts("error").empty()) << claim << ": " << Rows();
        ExpectOwnFrames();
    }
}

// Cut during the run, at a chosen frame: when the scroll bar reaches frame kCut
// (inside the tick that shows it), the file is cut back to its headers, so no
// frame after the cut can come from the file. The rows are frames 0..kCut and at
// most those the reader had fetched before the cut: its ring and the frame being
// fetched, the codec's frame threads (FFmpeg starts at most 16), and what its 32 KB
// input buffer holds, under two frames here (the noise keeps each above 32 KB).
// One error box; no row repeats an earlier picture.
TEST_P(CutVideoRun, FileCutShortDuringARunStopsWithOneBox) {
    constexpr int kCut = 20;
    constexpr int kFetchedAhead = video::FrameReadAhead::kMaxRingSize + 1 + 16 + 2;
    for (const auto& [codec, noiseWidth] : {std::pair{"huffyuv", 32}, {"mpeg4 -q:v 2", 480}}) {
        SCOPED_TRACE(codec);
        dialogs.shown.clear();
        const std::string video = StarVideo(std::string("cut-") + codec[0] + ".avi", std::string("-c:v ") + codec, 400, noiseWidth);
        const std::string data = testutil::ReadAll(video);
        ASSERT_GT(data.size(), 400u * 32768);
        const off_t headers = static_cast<off_t>(data.find("movi") + 4);
        bool cut = false;
        const QMetaObject::Connection hold = QObject::connect(w->ScrollBar1, &QScrollBar::valueChanged, [&](int v) {
            if (v == kCut && !cut) cut = ::truncate(video.c_str(), headers) == 0;
        });
        OpenAndRun(video, [] {});
        QObject::disconnect(hold);
        EXPECT_TRUE(cut && dialogs.Texts("error").size() == 1) << Rows();
        EXPECT_GE(Rows(), kCut + 1);
        EXPECT_LE(Rows(), kCut + 1 + kFetchedAhead);
        if (codec == std::string("huffyuv")) ExpectOwnFrames();
    }
}

// Every row is still its own frame, and nothing reads from a reader once it is
// closed (this also runs under ThreadSanitizer).
TEST_P(CutVideoRun, StopDeleteReopenAndCloseWhileFramesAreReadAhead) {
    const std::string video = StarVideo("run.avi", "-c:v huffyuv", 300);
    // Right after frame `at`, between two frames as a click would come: `act`.
    int at = -1;
    std::function<void()> act;
    const QMetaObject::Connection hold = QObject::connect(w->ScrollBar1, &QScrollBar::valueChanged, [&](int v) {
        if (v == at) {
            at = -1;
            act();
        }
    });
    const auto runTo = [&](int frame, std::function<void()> what) {
        at = frame;
        act = std::move(what);
        QElapsedTimer clock;
        clock.start();
        while (w->Timer1->isActive() && clock.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    // Between two ticks of a run: the timer waits, the frames after it are read ahead.
    const auto pause = [&] { w->Timer1->stop(); };
    dialogs.fileAnswers.push_back(video);
    w->Button1Click();
    ASSERT_TRUE(w->State.VideoOpen);
    w->StartMeasurement();
    runTo(40, [&] { w->StopMeasurement(); });  // STOP
    EXPECT_EQ(Rows(), 41);
    w->Button21Click();  // DEL
    EXPECT_EQ(Rows(), 40);
    w->StartMeasurement();
    runTo(100, [&] { w->StopMeasurement(); });
    EXPECT_EQ(Rows(), 101);
    ExpectOwnFrames();

    // Reopened while it plays; measured again from the start.
    w->SpeedButton1Click();
    runTo(150, pause);
    ASSERT_TRUE(w->State.RunningFlag);
    dialogs.yesNoAnswers.push_back(true);
    dialogs.fileAnswers.push_back(video);
    w->AVIRileOpen1Click();
    ASSERT_TRUE(w->State.VideoOpen);
    w->SpeedButton2Click();
    dialogs.yesNoAnswers.push_back(true);
    w->ClearMeasurementData();
    w->SpeedButton3Click();
    EXPECT_EQ(Rows(), 0);
    w->StartMeasurement();
    runTo(60, [&] { w->StopMeasurement(); });
    EXPECT_EQ(Rows(), 61);
    ExpectOwnFrames();
    EXPECT_TRUE(dialogs.Texts("error").empty());

    // The window goes in the middle of a run.
    w->StartMeasurement();
    runTo(120, pause);
    EXPECT_TRUE(w->State.RecordingFlag);
    QObject::disconnect(hold);
    w.reset();
}

INSTANTIATE_TEST_SUITE_P(Readers, CutVideoRun,
                         ::testing::Values(Reader{"vfw", false, false}, Reader{"dshow", true, false}, Reader{"avs", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
