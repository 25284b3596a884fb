// LED signal boxes and the TIVi display measured through the main window on ffv1
// clips (tests/overlay/signal_clips.py): the lamps, the results columns, the
// placement clicks and the TIVi popup items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_util.h"

namespace {

class SignalClips : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    std::string MakeClip(const std::string& kind) {
        const std::string path = dir.File(kind + ".avi");
        std::string out;
        EXPECT_EQ(testutil::Run("/usr/bin/python3 " + std::string(TEVORIN_SOURCE_DIR) + "/tests/overlay/signal_clips.py " +
                                    kind + " " + path + " 2>&1",
                                &out),
                  0)
            << out;
        return path;
    }
    // Runs a harness script in its own folder (its settings file beside it).
    std::string Harness(const std::string& folder, const std::string& script, const std::string& ini = "") {
        std::string out;
        EXPECT_EQ(testutil::RunHarness(dir.File(folder), script, &out, ini, true), 0) << out;
        return out;
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(SignalClips, LitRowsLampsAndASignal2Click) {
    const std::string clip = MakeClip("signal");
    const std::string csv = dir.File("signal.csv");
    const std::string out = Harness("a", "reader vfw\nopen " + clip +
                                             "\nset ComboBox1 1\ngoto 12\nprint-signals\ngoto 0\nprint-signals\n"
                                             "run\nsave " + csv + "\n"
                                             "place-mode signal2\nclick 600 300\nprint-signals\n");
    EXPECT_NE(out.find("s1=1 s2=0 panel1=red panel2=white"), std::string::npos) << out;
    EXPECT_NE(out.find("s1=0 s2=0 panel1=white panel2=white"), std::string::npos) << out;
    // The Signal2 box moved onto the square that is lit on every frame.
    EXPECT_NE(out.find("s1=0 s2=1 panel1=white panel2=red"), std::string::npos) << out;
    const auto rows = testutil::DataRows(csv);
    ASSERT_EQ(rows.size(), 30u);
    for (size_t n = 0; n < rows.size(); ++n) {
        ASSERT_GE(rows[n].size(), 3u);
        EXPECT_EQ(rows[n][1], n >= 10 && n <= 20 ? "\"***\"" : "\"\"") << "row " << n;
        EXPECT_EQ(rows[n][2], "\"\"") << "row " << n;
    }

    // With the boxes off (settings file) nothing is detected and the lamps stay white.
    const std::string csv2 = dir.File("off.csv");
    const std::string off = Harness("b", "reader vfw\nopen " + clip + "\nset ComboBox1 1\ngoto 12\nprint-signals\nrun\nsave " +
                                             csv2 + "\n",
                                    "[SignalDetectionArea for LED]\r\nSignal1,2=0\r\n");
    EXPECT_NE(off.find("s1=0 s2=0 panel1=white panel2=white"), std::string::npos) << off;
    for (const auto& r : testutil::DataRows(csv2)) EXPECT_EQ(r[1], "\"\"");
}

TEST_F(SignalClips, TiviDisplayReadPlacedAndReset) {
    const std::string clip = MakeClip("tivi");
    const std::string csv = dir.File("tivi.csv");
    const std::string out = Harness(
        "t", "reader vfw\nopen " + clip +
                 "\nset ComboBox1 1\nset CheckBox5 0\nset UpDown4 50\n"
                 // "Show Field" keeps the placement mode.
                 "set CheckBox1 1\nplace-mode tivi\nexpect-checked RadioButton10 1\nexpect-text UpDown4 50\nset CheckBox1 0\n"
                 "place-mode tivi\nexpect-text UpDown4 100\nexpect-text Edit4 100\n"
                 "goto 0\nclick 100 200\nprint-tivi\nrun\nsave " + csv + "\n"
                 "press IViunavailable1\nexpect-text Edit24 \nexpect-text Edit26 \nexpect-text Edit27 \nexpect-var TIViReading 0\n"
                 "press IViavailable1\ngoto 5\nexpect-text Edit26 80\npress Button33\ngoto 6\nprint-tivi\n");
    EXPECT_NE(out.find("marker=1125,2150,1425,2150,300 located=1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("text=80 ok=1"), std::string::npos) << out;
    EXPECT_NE(out.find("points=1000,1000 1000,1000"), std::string::npos) << out;
    EXPECT_NE(out.find("text=EE ok=0"), std::string::npos) << out;
    const auto rows = testutil::DataRows(csv);
    ASSERT_EQ(rows.size(), 40u);
    for (size_t n = 0; n < rows.size(); ++n) {
        ASSERT_GE(rows[n].size(), 7u);
        EXPECT_EQ(rows[n][5], n < 30 ? "80" : "") << "row " << n;
    }
}
