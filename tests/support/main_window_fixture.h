#pragma once
// The main window offscreen for window tests (of executables that link the measure
// library): scripted dialogs, a fresh folder with the settings file in it, and the
// window; the settings path goes back to the default when the test ends.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "graph/chart.h"
#include "graph/graph_view.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

namespace testutil {

// Read through Video for Windows, aperture photometry with the standard background.
inline constexpr const char* kAperturePhotometrySettings =
    "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
    "[Measurement]\r\nPhotometry=Aperture photometry\r\n[Background Area]\r\nForm=Standard\r\n";

struct MainWindowTest : ::testing::Test {
    ScriptedDialogs dialogs;
    TempDir dir;
    std::unique_ptr<TPlatform> w;

    // Installs the dialogs, points the program at dir/tevorin.ini (written with
    // `settings` unless empty: the defaults) and makes the window.
    void OpenMainWindow(const std::string& settings = "") {
        dialogs.Install();
        const std::string ini = dir.File("tevorin.ini");
        if (!settings.empty()) WriteAll(ini, settings);
        SetSettingsFilePath(ini);
        w = std::make_unique<TPlatform>();
    }
    // "Open AVI" on `video`, answered by the scripted file dialog.
    void OpenVideo(const std::string& video) {
        dialogs.fileAnswers.push_back(video);
        w->Button1Click();
        ASSERT_TRUE(w->State.VideoOpen) << video;
    }
    // Star A at (60, 50) with sigma 5 and star B at (120, 80) with sigma 3, both
    // 20 + 150 exp(-2 (r / sigma)^2) in every colour on a background of 20, in a
    // 160 x 120 clip of `frames` frames opened with aperture photometry.
    void OpenTwoStarClip(int frames) {
        if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        OpenMainWindow(kAperturePhotometrySettings);
        const std::string video = dir.File("stars.avi");
        const std::string e = "20+150*exp(-2*(pow(X-60\\,2)+pow(Y-50\\,2))/25)+150*exp(-2*(pow(X-120\\,2)+pow(Y-80\\,2))/9)";
        ASSERT_TRUE(MakeRawClip(video, "color=c=black:s=160x120:r=25", frames, GeqFilter(e, e, e)));
        ASSERT_NO_FATAL_FAILURE(OpenVideo(video));
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
};

// The main window with the graph's view state fresh; the graph window is freed at the end.
struct GraphWindowTest : MainWindowTest {
    void SetUp() override {
        Graph = GraphView{};
        OpenMainWindow();
    }
    void TearDown() override {
        if (chart1) delete chart1;
        MainWindowTest::TearDown();
    }
};

}  // namespace testutil
