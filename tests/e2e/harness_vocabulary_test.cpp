// The harness's shared commands on the real windows: keys, typing and the focus,
// waits, tab pages, screenshots of any window, the clipboard, queued answers and
// the usage text.
#include <gtest/gtest.h>

#include <QImage>
#include <regex>

#include "support/test_util.h"

namespace {

class Harness : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        testutil::WriteAll(dir.File("tevorin-harness.ini"), "[FileRead]\r\nAPI for reading file=VideoForWindows\r\n");
    }
    std::string Video(int frames) {
        const std::string path = dir.File("grey" + std::to_string(frames) + ".avi");
        const std::string cmd = "ffmpeg -v error -y -f lavfi -i color=c=gray:s=160x120:r=25 -frames:v " + std::to_string(frames) +
                                " -c:v rawvideo -pix_fmt bgr24 " + path;
        EXPECT_EQ(testutil::Run(cmd), 0) << cmd;
        return path;
    }
    // The script's exit status; `out` gets what it printed.
    int Run(const std::string& script, std::string* out = nullptr) {
        const std::string path = dir.File("script.txt");
        testutil::WriteAll(path, script);
        std::string printed;
        const int status = testutil::Run(testutil::BinFile("tevorin-harness") + " " + path + " 2>/dev/null", &printed);
        if (out) *out = printed;
        return status;
    }
    // The last line of a failing run.
    std::string FailureOf(const std::string& script) {
        std::string out;
        EXPECT_NE(Run(script, &out), 0) << out;
        const size_t at = out.rfind("FAIL ");
        return at == std::string::npos ? out : out.substr(at, out.find('\n', at) - at);
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(Harness, KeysAndTypingRunTheEditHandlersAsAUsersWould) {
    std::string out;
    // Typed text replaces the edit's text (typing goes on where the focus stayed);
    // Enter applies it, leaving without Enter discards it, and so does a click on a
    // button (the edit loses the focus first).
    EXPECT_EQ(Run("press RadioButton16\n"
                  "type Edit18 2.5\nexpect-text Edit18 2.5\nkey Edit18 enter\nexpect-text Edit18 2.50\n"
                  "type Edit18 1\nexpect-text Edit18 2.501\nleave Edit18\n"
                  "type Edit18 7\nexpect-text Edit18 7\nleave Edit18\nexpect-text Edit18 2.50\n"
                  "type Edit18 3\ntype Edit18 1\nexpect-text Edit18 31\npress Button6\nexpect-text Edit18 2.50\n"
                  "type Edit18 4\nkey Edit18 backspace\nkey Edit18 5\nkey Edit18 ENTER\nexpect-text Edit18 5.00\n"
                  // A key sent to a window: Escape closes the settings dialog.
                  "press Button17\nexpect-shown PreserveSetting 1\nkey PreserveSetting escape\nexpect-shown PreserveSetting 0\n",
                  &out),
              0)
        << out;
    EXPECT_EQ(FailureOf("press RadioButton15\ntype Edit18 2\n"), "FAIL 2 type Edit18 2: Edit18 is disabled");
    EXPECT_EQ(FailureOf("press RadioButton16\nkey Edit18 f13\n"), "FAIL 2 key Edit18 f13: unknown key f13");
    EXPECT_EQ(FailureOf("key NoSuchWindow escape\n"), "FAIL 1 key NoSuchWindow escape: no control NoSuchWindow");
}

TEST_F(Harness, WaitsLetTheProgramWorkUntilItHasFinished) {
    const std::string video = Video(30);
    std::string out;
    // Playing without waiting, then waiting for the timer: the last frame is shown.
    EXPECT_EQ(Run("open " + video + "\npress SpeedButton1\nwait timer\nexpect-text ScrollBar1 29\nwait timer main\n"
                  "wait load\nwait fit\nwait-ms 0\n", &out), 0) << out;
    // The event loop runs during wait-ms: playing goes on.
    const std::string longVideo = Video(3000);
    ASSERT_EQ(Run("open " + longVideo + "\npress SpeedButton1\nwait-ms 1500\npress SpeedButton2\nprint-text ScrollBar1\n", &out), 0)
        << out;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex("\n(\\d+)\nok 5 print-text")));
    EXPECT_GT(std::stoi(m[1]), 0);
    EXPECT_EQ(FailureOf("wait paint\n"), "FAIL 1 wait paint: wait fit|load|timer [WINDOW]");
    EXPECT_EQ(FailureOf("wait-ms soon\n"), "FAIL 1 wait-ms soon: not a number: soon");
    EXPECT_EQ(FailureOf("wait timer chart1\n"), "FAIL 1 wait timer chart1: window chart1 is not open");
}

TEST_F(Harness, TabPagesScreenshotsOfAnyWindowAndTheClipboard) {
    std::string out;
    const std::string main = dir.File("main.png"), settings = dir.File("settings.png");
    EXPECT_EQ(Run("press Button17\nexpect-text PreserveSetting.PageControl1 3\nset PreserveSetting.PageControl1 1\n"
                  "expect-text PreserveSetting.PageControl1 1\n"
                  "screenshot PreserveSetting " + settings + "\nscreenshot " + main + "\nclose PreserveSetting\n"
                  "set Edit24 12\nset Edit25 34\nset Edit26 56.78\npress CopyCurrentTimetoClipboard1\n"
                  "expect-clipboard Event Time obtained from Tevorin:123456.78|\n",
                  &out),
              0)
        << out;
    const QImage shot(QString::fromStdString(settings)), whole(QString::fromStdString(main));
    ASSERT_FALSE(shot.isNull());
    ASSERT_FALSE(whole.isNull());
    // The settings dialog at its own size (its page control is 425 wide), not the main window.
    EXPECT_GE(shot.width(), 425);
    EXPECT_LT(shot.width(), whole.width());
    EXPECT_EQ(FailureOf("press Button17\nset PreserveSetting.PageControl1 4\n"),
              "FAIL 2 set PreserveSetting.PageControl1 4: PreserveSetting.PageControl1 has no page 4");
    EXPECT_EQ(FailureOf("screenshot chart1 " + main + "\n"), "FAIL 1 screenshot chart1 " + main + ": window chart1 is not open");
    EXPECT_EQ(FailureOf("expect-clipboard x\n"), "FAIL 1 expect-clipboard x: clipboard is \"\"");
}

TEST_F(Harness, QueuedAnswersGoToTheirOwnKindOfDialog) {
    const std::string video = Video(3);
    std::string out;
    // A folder answer and an input answer queued first do not feed the save dialog.
    EXPECT_EQ(Run("answer-folder " + dir.File("nowhere") + "\nanswer-text Io\nopen " + video + "\nsave " + dir.File("run.csv") +
                      "\nexpect-errors 0\n",
                  &out),
              0)
        << out;
    EXPECT_FALSE(testutil::ReadAll(dir.File("run.csv")).empty());
}

// Each kind of control "set" accepts, through a handler whose effect shows.
TEST_F(Harness, SetRunsTheHandlerOfEveryControlKindAsAUsersChangeDoes) {
    const std::string video = Video(5);
    std::string out;
    EXPECT_EQ(Run("open " + video + "\n"
                  "# radio button: \"Measure\" enables the gamma edit\n"
                  "set RadioButton16 1\nexpect-checked RadioButton16 1\nexpect-enabled Edit18 1\n"
                  "# edit: typed over and Enter pressed in it\n"
                  "set Edit18 2.5\nexpect-text Edit18 2.50\nset Edit19 13.5\nexpect-text UpDown9 14\n"
                  "# up-down\n"
                  "set UpDown9 5\nexpect-text Edit19 5\n"
                  "# check box\n"
                  "set CheckBox16 0\nexpect-text CheckBox16 Show Main Menu\n"
                  "# combo box\n"
                  "set ComboBox1 1\nexpect-var TimeInserterType 1\nexpect-text Edit4 100\n"
                  "# scroll bar and slider\n"
                  "set ScrollBar1 3\nexpect-text Edit10 3\nset TrackBar1 200\nexpect-var Timer1Interval 200\n"
                  "# checkable menu item\n"
                  "set RectangleAperture1 1\nexpect-var BkgShape[1] 3\nexpect-text Label2 Height\n"
                  "# tab page, and an edit of a dialog: Enter stays in the edit\n"
                  "press Button17\nset PreserveSetting.PageControl1 0\nexpect-text PreserveSetting.PageControl1 0\n"
                  "set PreserveSetting.Edit1 /elsewhere\nexpect-shown PreserveSetting 1\nclose PreserveSetting\n"
                  "# radio group: \"Direct to Graph\" takes the label's position bars away\n"
                  "press Identificationforlightcurve1\nexpect-enabled Identification.ScrollBar1 1\n"
                  "set Identification.RadioGroup1 0\nexpect-enabled Identification.ScrollBar1 0\n",
                  &out),
              0)
        << out;
}

TEST_F(Harness, WaitFitWaitsForAPassOnAWorkerToShowItsResult) {
    std::string out;
    // The noise-reduction pass rewrites the table when it has finished.
    EXPECT_EQ(Run("load " + testutil::DataFile("analysis/noise_long.csv") + "\ngraph\npress chart1.SpeedButton1\n"
                  "window AvgBkg\nset RadioGroup1 3\nset RadioGroup2 0\nset CheckBox2 1\npress Button1\nwait fit\n"
                  "expect-field 2 12 23668.5\n",
                  &out),
              0)
        << out;
}

TEST_F(Harness, AClickOnAListBoxSelectsTheRowUnderIt) {
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/analysis/identification_report.py' --out '" +
                            dir.Path() + "' --event '2026-12-31 23:59:58' --offsets=-6,5"),
              0);
    std::string out;
    // Two rows; Enter applies the selected one. The first row is selected at the start.
    EXPECT_EQ(Run("press Identificationforlightcurve1\nclipboard-set " + dir.File("report.txt") + "\n"
                  "press Identification.Button11\nset Identification.CheckBox3 0\nset Identification.ComboBox1 36\n"
                  "mouse Identification.ListBox1 left 5 25\nkey Identification.ListBox1 enter\n"
                  "expect-text Identification.Edit2 SAO 9000\n"
                  "mouse Identification.ListBox1 left 5 5\nkey Identification.ListBox1 enter\n"
                  "expect-text Identification.Edit2 ZC 8999\n",
                  &out),
              0)
        << out;
}

TEST_F(Harness, UsageListsTheVocabulary) {
    std::string out;
    EXPECT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " 2>&1", &out), 2) << out;
    for (const char* command :
         {"set CONTROL VALUE", "press CONTROL", "key CONTROL", "type CONTROL TEXT", "leave CONTROL", "click X Y",
          "mouse CONTROL left|right X Y", "mouse-move X Y", "graph-click X Y", "close [WINDOW]", "wait-ms N", "wait fit",
          "wait load", "wait timer", "answer yes|no", "answer-file PATH [FILTER]", "answer-text TEXT", "answer-folder PATH",
          "print-text CONTROL", "expect-text CONTROL TEXT", "expect-checked", "expect-enabled", "expect-shown",
          "expect-cursor", "expect-box KIND TEXT", "expect-errors N", "print-var NAME", "expect-var NAME VALUE",
          "dump-image CONTROL PATH", "dump-frame N PATH", "screenshot [WINDOW] PATH", "expect-clipboard TEXT",
          "clipboard-image PATH", "print-graph", "print-title", "expect-rows N", "expect-field ROW COL TEXT",
          "expect-line N TEXT", "print-row ROW"})
        EXPECT_NE(out.find(command), std::string::npos) << command;
}
