// Videos that cannot deliver what they claim, measured through the real main window
// with each reader: a header claiming far more frames than the file holds, and a
// file cut short on disk while it is being measured.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <unistd.h>

#include "measure/main_2.h"
#include "measure/results_table.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "support/test_util.h"

namespace {

// A disc of radius 2 at (40, 40) with the value 40 + 2n in frame n on a background
// of 20: frame n measures 13 x (20 + 2n) = 260 + 26n with the default aperture.
std::string StarVideo(const testutil::TempDir& dir, const std::string& name, const std::string& codec, int frames) {
    const std::string e = "if(lte(hypot(X-40\\,Y-40)\\,2)\\,40+mod(N\\,100)*2\\,20)", path = dir.File(name);
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i color=c=black:s=160x120:r=25 -frames:v " + std::to_string(frames) +
                            " -vf \"format=rgb24,geq=r='" + e + "':g='" + e + "':b='" + e + "'\" " + codec + " " + path;
    EXPECT_EQ(testutil::Run(cmd), 0) << cmd;
    return path;
}

void Put32(std::string& data, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<char>(v >> (8 * i));
}

struct Reader {
    const char* name;
    bool dshow, avisynth;
};
const Reader kReaders[] = {{"vfw", false, false}, {"dshow", true, false}, {"avs", false, true}};

struct CutVideoRun : ::testing::TestWithParam<Reader> {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        dialogs.Install();
        const Reader r = GetParam();
        testutil::WriteAll(dir.File("tevorin.ini"), std::string("[FileRead]\r\nUse AviSynth to read file=") +
                                                        (r.avisynth ? "1" : "0") + "\r\nAPI for reading file=" +
                                                        (r.dshow ? "DirectShow" : "VideoForWindows") +
                                                        "\r\n[Measurement]\r\nPhotometry=Aperture photometry\r\n");
        SetSettingsFilePath(dir.File("tevorin.ini"));
        w = std::make_unique<TPlatform>();
        w->State.DirectShowSelected = r.dshow;
        w->State.UseAviSynth = r.avisynth;
        w->CheckBox7->setChecked(r.dshow);
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    bool Open(const std::string& path) {
        dialogs.fileAnswers.push_back(path);
        w->Button1Click();
        return w->State.VideoOpen && dialogs.Texts("error").empty();
    }
    int Rows() const { return static_cast<int>(w->Table.Count()) - DetectResultsFormat(w->Table).headerLines; }
    // Runs the measurement until it stops (or `limit` rows, then stops it), calling
    // `during` between event loop turns.
    template <typename During>
    void Run(int limit, During&& during) {
        w->StartMeasurement();
        QElapsedTimer clock;
        clock.start();
        while (w->Timer1->isActive() && Rows() < limit && clock.elapsed() < 120000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            during();
        }
        if (w->Timer1->isActive()) w->StopMeasurement();
    }
    // Row i holds frame i and its own star value (not the picture of another frame).
    void ExpectOwnFrames(int rows) {
        const int header = DetectResultsFormat(w->Table).headerLines;
        for (int i = 0; i < rows; ++i) {
            const std::string& row = w->Table[static_cast<size_t>(header + i)];
            const auto frame = numtext::ParseFloat(GetField(row, 1));
            const auto value = numtext::ParseFloat(GetField(row, 11));
            ASSERT_TRUE(frame && value && *frame == i && *value == 260 + 26 * (i % 100)) << "row " << i + 1 << ": " << row;
        }
    }
};

// Main and stream headers claiming 2^31, 2^32 - 1 or 10^6 frames of a 50-frame file:
// the count stays 50 and a run ends after 50 rows.
TEST_P(CutVideoRun, HeaderClaimingMoreFramesThanTheIndexHolds) {
    const std::string video = StarVideo(dir, "star.avi", "-c:v huffyuv", 50);
    std::string data = testutil::ReadAll(video);
    const size_t avih = data.find("avih"), strh = data.find("strh");
    ASSERT_TRUE(avih != std::string::npos && strh != std::string::npos);
    for (uint32_t claim : {uint32_t{1} << 31, UINT32_MAX, 1000000u}) {
        SCOPED_TRACE(claim);
        std::string patched = data;
        Put32(patched, avih + 8 + 16, claim);  // dwTotalFrames
        Put32(patched, strh + 8 + 32, claim);  // dwLength
        const std::string path = dir.File("claims-" + std::to_string(claim) + ".avi");
        testutil::WriteAll(path, patched);
        ASSERT_TRUE(Open(path)) << (dialogs.Texts("error").empty() ? "" : dialogs.Texts("error").back());
        EXPECT_EQ(w->MaxPosition(), 49);
        Run(200, [] {});
        EXPECT_EQ(Rows(), 50);
        ExpectOwnFrames(Rows());
        EXPECT_TRUE(dialogs.Texts("error").empty());
        if (GetParam().avisynth) break;  // the written script reads the same decoder
    }
}

// Cut on disk during the run: one error box, rows only for frames that were read.
TEST_P(CutVideoRun, FileCutShortDuringARunStopsWithOneBox) {
    for (const char* codec : {"-c:v huffyuv", "-c:v mpeg4 -q:v 2"}) {
        SCOPED_TRACE(codec);
        dialogs.shown.clear();
        const std::string video = StarVideo(dir, std::string("cut-") + (codec[6] == 'h' ? "huffyuv" : "mpeg4") + ".avi", codec, 400);
        const off_t size = static_cast<off_t>(testutil::ReadAll(video).size());
        ASSERT_TRUE(Open(video));
        bool cut = false;
        Run(400, [&] {
            if (!cut && Rows() >= 20) cut = ::truncate(video.c_str(), size / 2) == 0;
        });
        ASSERT_TRUE(cut);
        EXPECT_EQ(dialogs.Texts("error").size(), 1u);
        // Frames still in the reader's buffer at the cut may be measured; none after.
        EXPECT_TRUE(Rows() > 20 && Rows() < 400) << Rows();
        if (codec[6] == 'h') ExpectOwnFrames(Rows());
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, CutVideoRun, ::testing::ValuesIn(kReaders),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
