// Videos that cannot deliver what they claim, measured through the main window with
// each reader: headers claiming far more frames than the file holds, and a file cut
// short on disk during the run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <unistd.h>

#include "measure/main_2.h"
#include "measure/results_table.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

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
    std::string StarVideo(const std::string& name, const std::string& codec, int frames) {
        const std::string e = "if(lte(hypot(X-40\\,Y-40)\\,2)\\,40+mod(N\\,100)*2\\,20)";
        EXPECT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=black:s=160x120:r=25 -frames:v " + std::to_string(frames) +
                                " -vf \"format=rgb24,geq=r='" + e + "':g='" + e + "':b='" + e + "'\" " + codec + " " + dir.File(name)), 0);
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

// Cut during the run: one error box, rows only for frames read before the cut (or
// still in the reader's buffer), none repeating an earlier picture.
TEST_P(CutVideoRun, FileCutShortDuringARunStopsWithOneBox) {
    for (const std::string codec : {"huffyuv", "mpeg4 -q:v 2"}) {
        dialogs.shown.clear();
        const std::string video = StarVideo("cut-" + codec.substr(0, 4) + ".avi", "-c:v " + codec, 400);
        const off_t size = static_cast<off_t>(testutil::ReadAll(video).size());
        bool cut = false;
        OpenAndRun(video, [&] { cut = cut || (Rows() >= 20 && ::truncate(video.c_str(), size / 2) == 0); });
        EXPECT_TRUE(cut && dialogs.Texts("error").size() == 1 && Rows() > 20 && Rows() < 400) << codec << ": " << Rows();
        if (codec == "huffyuv") ExpectOwnFrames();
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, CutVideoRun,
                         ::testing::Values(Reader{"vfw", false, false}, Reader{"dshow", true, false}, Reader{"avs", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
