// The main road through the real main window (tevorin-harness, offscreen): open a
// video, measure with START and STOP or to the end, remove rows, save and load.
// The fixture is a star whose brightness is a known function of the frame number,
// so a frame read from the wrong place shows up as a wrong value in its row.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "support/test_util.h"

namespace {

// A disc of radius 2 (13 pixels) at (40, 40) with the value 40 + 2n in frame n,
// on a flat background of 20, in every colour: the aperture value of frame n is
// 13 x (20 + 2n) = 260 + 26n. The three-star video adds B at (100, 40) with
// 40 + 4n (260 + 52n) and C at (120, 90) with a constant 70 (650).
const char* const kOneStar = "if(lte(hypot(X-40\\,Y-40)\\,2)\\,40+2*N\\,20)";
const char* const kThreeStars =
    "if(lte(hypot(X-40\\,Y-40)\\,2)\\,40+2*N\\,if(lte(hypot(X-100\\,Y-40)\\,2)\\,40+4*N\\,"
    "if(lte(hypot(X-120\\,Y-90)\\,2)\\,70\\,20)))";

std::string StarVideo(const testutil::TempDir& dir, const std::string& name, const std::string& rate, int frames,
                      const std::string& e = kOneStar) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(testutil::MakeRawClip(path, "color=c=black:s=160x120:r=" + rate, frames, testutil::GeqFilter(e, e, e)));
    return path;
}

// Aperture photometry on a plain ring, frames read by the given reader (the AVI
// reader directly unless "DirectShow"); a failure carries the harness's output.
// The script run with the given settings file.
::testing::AssertionResult RunsWith(const testutil::TempDir& dir, const std::string& settings, const std::string& script) {
    std::string out;
    if (testutil::RunHarness(dir.Path(), script, &out, settings) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << out;
}

::testing::AssertionResult Runs(const testutil::TempDir& dir, const std::string& script, const std::string& api = "VideoForWindows",
                 bool avisynth = false) {
    return RunsWith(dir,
                    std::string("[FileRead]\r\nUse AviSynth to read file=") + (avisynth ? "1" : "0") + "\r\nAPI for reading file=" + api +
                        "\r\n[Measurement]\r\nPhotometry=Aperture photometry\r\n[Background Area]\r\nForm=Standard\r\n",
                    script);
}

// The settings a new user has: the file written at the first start, edited by `edits` (key=value lines).
std::string FirstStartSettings(const std::vector<std::pair<std::string, std::string>>& edits = {}) {
    std::string ini = testutil::ReadAll(testutil::DataFile("settings/first_start.ini"));
    for (const auto& [key, value] : edits) {
        const size_t at = ini.find("\n" + key + "=") + 1;
        EXPECT_NE(at, 0u) << key;
        ini.replace(at, ini.find('\r', at) - at, key + "=" + value);
    }
    return ini;
}

std::string ValueOfFrame(int n) { return std::to_string(260 + 26 * n) + ".0"; }
std::string ValueOfB(int n) { return std::to_string(260 + 52 * n) + ".0"; }

// Rows first.. hold the frames in `frames`, A's value in column 11.
std::string ExpectFrames(int first, const std::vector<int>& frames) {
    std::string s;
    for (size_t i = 0; i < frames.size(); ++i)
        s += "expect-field " + std::to_string(first + int(i)) + " 11 " + ValueOfFrame(frames[i]) + "\n";
    return s;
}
std::vector<int> Range(int n, int step = 1) {
    std::vector<int> v;
    for (int i = 0; i < n; i += step) v.push_back(i);
    return v;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(EndToEnd, HeaderLinesByFrameRate) {
    const std::string pal = StarVideo(dir, "pal.avi", "25", 5);
    const std::string ntsc = StarVideo(dir, "ntsc.avi", "30000/1001", 5);
    const std::string slow = StarVideo(dir, "slow.avi", "15", 5);
    EXPECT_TRUE(Runs(dir, "reader vfw\nopen " + pal +
                                  "\nexpect-line 3 \"Video System : PAL , FrameRate=25.00\"\n"
                                  "expect-text Edit30  25.00\n"
                                  "open " + ntsc + "\nexpect-line 3 \"Video System : NTSC , FrameRate=29.97\"\n"
                                  "expect-text Edit30  29.97\n"
                                  "open " + slow + "\nexpect-line 3 \"Video System : --- , FrameRate=15.00\"\n"
                                  "expect-line 2 \"FileName : " + slow + "\"\n"));
}

TEST_F(EndToEnd, IntervalThreeMeasuresEveryThirdFrameAndTheLast) {
    const std::string video = StarVideo(dir, "star.avi", "25", 100);
    std::ostringstream s;
    s << "reader vfw\nopen " << video << "\nset UpDown9 3\nrun\nexpect-rows 34\nexpect-field 34 1 99.0\n";
    for (int i = 0; i < 33; ++i) s << "expect-field " << i + 1 << " 1 " << 3 * i << ".0\n";
    s << ExpectFrames(1, Range(99, 3)) << ExpectFrames(34, {99});
    // At the end nothing more is measured.
    s << "start\nexpect-rows 34\n";
    EXPECT_TRUE(Runs(dir, s.str()));
}

TEST_F(EndToEnd, SteppingBackwardsReopeningAndFieldPairs) {
    const std::string video = StarVideo(dir, "star.avi", "25", 30);
    std::ostringstream s;
    s << "reader vfw\nopen " << video << "\n"
      // Frames reached by stepping, jumping and stepping back read as themselves.
      << "goto 20\noneframe\nstep -1\noneframe\ngoto 5\noneframe\nstep 1\noneframe\n"
      << "expect-rows 4\n" << ExpectFrames(1, {20, 19, 5, 6})
      // Reopening starts a new table and reads the same pictures.
      << "open " << video << "\nexpect-rows 0\ngoto 12\noneframe\n" << ExpectFrames(1, {12})
      // Field mode: two rows per frame, n.0 then n.5, in both field orders.
      << "remove-data\nset CheckBox2 1\ngoto 7\noneframe\nexpect-rows 2\n"
      << "expect-field 1 1 7.0\nexpect-field 2 1 7.5\n"
      // Field 1 holds the odd lines (39, 41: 6 star pixels), field 2 the even ones
      // (38, 40, 42: 7 pixels); "Odd first" writes field 1 first, "Even first" field 2.
      << "expect-field 1 11 204.0\nexpect-field 2 11 238.0\n"
      << "set RadioGroup2 0\ngoto 8\noneframe\nexpect-rows 4\nexpect-field 3 1 8.0\nexpect-field 4 1 8.5\n"
      << "expect-field 3 11 252.0\nexpect-field 4 11 216.0\n";
    EXPECT_TRUE(Runs(dir, s.str()));
}

TEST_F(EndToEnd, DelDataRemoveAndAFailedOpen) {
    const std::string video = StarVideo(dir, "star.avi", "25", 20);
    testutil::WriteAll(dir.File("broken.avi"), "RIFF this is not a video");
    std::ostringstream s;
    s << "reader vfw\nopen " << video << "\ngoto 3\noneframe\nstep 1\noneframe\nexpect-rows 2\n"
      << "del\nexpect-rows 1\nexpect-text Edit10 3\n"
      // DEL again at frame 3 (the last measured frame): removes the last row.
      << "del\nexpect-rows 0\n"
      // Nothing left but the header: DEL never eats into it.
      << "del\nexpect-rows 0\nexpect-line 1 Tevorin File Format (for Ver.0.9.26 later)\n"
      // "1Frame" on the last measured frame does nothing.
      << "oneframe\nexpect-rows 0\nstep 1\noneframe\nexpect-rows 1\nanswer no\nremove-data\nexpect-rows 1\nremove-data\nexpect-rows 0\n"
      // A failed open leaves the first video working.
      << "goto 9\n";
    const ::testing::AssertionResult plain = Runs(dir, s.str() + "open " + dir.File("broken.avi") + "\n");
    EXPECT_NE(std::string(plain.message()).find("FAIL"), std::string::npos);
    EXPECT_TRUE(Runs(dir, s.str() + "try-open " + dir.File("broken.avi") + "\nexpect-errors 1\nexpect-line 2 \"FileName : " +
                              video + "\"\noneframe\nexpect-rows 1\n" + ExpectFrames(1, {9}) + "load " +
                              dir.File("broken.avi") + "\nexpect-errors 2\nexpect-rows 1\n"));
}

TEST_F(EndToEnd, SaveLoadSaveIsByteIdenticalAndReopensTheVideo) {
    const std::string video = StarVideo(dir, "star.avi", "25", 12);
    const std::string first = dir.File("first.csv"), second = dir.File("second.csv");
    ASSERT_TRUE(Runs(dir, "reader vfw\nopen " + video + "\nset UpDown9 2\nrun\nsave " + first + "\nload " + first +
                              "\nexpect-errors 0\nexpect-text Edit19 2\nsave " + second + "\ngoto 4\nexpect-text Edit10 4\n"));
    const std::string a = testutil::ReadAll(first);
    EXPECT_EQ(a, testutil::ReadAll(second));
    EXPECT_NE(a.find("\r\n6.0,"), std::string::npos);
    // Interval 2 over frames 0..11 stops after 10: the next step would pass the end.
    EXPECT_NE(a.find("\r\n10.0,"), std::string::npos);
    EXPECT_EQ(a.find("\r\n11.0,"), std::string::npos);
}

TEST_F(EndToEnd, DirectShowReaderMeasuresEveryFrameAndSurvivesAFailedOpen) {
    const std::string video = StarVideo(dir, "star.avi", "30000/1001", 40);
    testutil::WriteAll(dir.File("broken.avi"), "RIFF this is not a video");
    std::ostringstream s;
    s << "reader dshow\nopen " << video << "\nexpect-line 3 \"Video System : NTSC , FrameRate=29.97\"\n"
      << "run\nexpect-rows 40\n" << ExpectFrames(1, Range(40)) << "try-open " << dir.File("broken.avi")
      << "\nexpect-errors 1\nremove-data\ngoto 17\noneframe\nstep -1\noneframe\n" << ExpectFrames(1, {17, 16});
    EXPECT_TRUE(Runs(dir, s.str(), "DirectShow"));
}

TEST_F(EndToEnd, ScriptWrittenBesideTheVideoReadsTheSameFrames) {
    const std::string video = StarVideo(dir, "star.avi", "25", 12);
    ASSERT_TRUE(Runs(dir, "reader avs\nopen " + video + "\nrun\nexpect-rows 12\n" + ExpectFrames(1, Range(12)), "VideoForWindows", true));
    EXPECT_EQ(testutil::ReadAll(dir.File("star.avs")), "DirectShowSource(\"" + video + "\" , pixel_type=\"RGB24\")\r\n");

    // A script the reader does not understand: the box names the line.
    testutil::WriteAll(dir.File("odd.avs"), "AVISource(\"star.avi\")\nBlur(1.0)\n");
    EXPECT_TRUE(Runs(dir, "try-open " + dir.File("odd.avs") + "\nexpect-errors 1\nexpect-error Could not open .AVI file.||odd.avs||"
                          "Line 2: \"Blur\" is not a function or variable this program knows.\n", "VideoForWindows", true));
}

TEST_F(EndToEnd, ObjectsPlacedByClicksSettleOnTheirStarsAndAreMeasuredTogether) {
    const std::string video = StarVideo(dir, "stars.avi", "25", 20, kThreeStars);
    std::ostringstream s;
    s << "reader vfw\nopen " << video << "\n"
      // A click two pixels off the star: the placement settles on it.
      << "click 42 41\nexpect-objects 1 A\nexpect-text Edit7 40\nexpect-text Edit8 40\nexpect-text Edit12 40\n"
      << "add 101 42\nexpect-objects 2 B\nexpect-text Edit7 100\nexpect-text Edit8 40\n"
      << "add 119 89\nexpect-objects 3 C\nexpect-text Edit7 120\nexpect-text Edit8 90\n"
      // A fourth object is refused.
      << "add 60 100\nexpect-objects 3 C\n"
      << "goto 5\noneframe\n" << ExpectFrames(1, {5}) << "expect-field 1 12 " << ValueOfB(5) << "\nexpect-field 1 13 650.0\n"
      // Each object's position goes into its block of the row.
      << "expect-field 1 25 40\nexpect-field 1 26 40\nexpect-field 1 42 100\nexpect-field 1 43 40\n"
      << "expect-field 1 59 120\nexpect-field 1 60 90\n"
      // Selecting A shows its position; A cannot be removed.
      << "select A\nexpect-objects 3 A\nexpect-text Edit12 40\nremove-object\nexpect-objects 3 A\n"
      // Removing B of three: the second object is the former C.
      << "select B\nremove-object\nexpect-objects 2 B\nexpect-text Edit12 120\nexpect-text Edit13 90\n"
      << "goto 6\noneframe\n" << ExpectFrames(2, {6}) << "expect-field 2 12 650.0\nexpect-field 2 13 \n"
      << "expect-field 2 42 120\nexpect-field 2 43 90\n"
      // Removing the last one leaves A alone.
      << "remove-object\nexpect-objects 1 A\ngoto 7\noneframe\n" << ExpectFrames(3, {7}) << "expect-field 3 12 \n";
    EXPECT_TRUE(Runs(dir, s.str()));
}

TEST_F(EndToEnd, ObjectsDuringARunAndPlacementModes) {
    const std::string video = StarVideo(dir, "stars.avi", "25", 12, kThreeStars);
    std::ostringstream s;
    s << "reader vfw\nopen " << video << "\nclick 40 40\nadd 100 40\n"
      // Signal-box placement moves no star.
      << "place-mode signal1\nclick 10 10\nexpect-text Edit7 100\nexpect-text Edit12 100\nplace-mode star\n"
      // A click beyond the frame lands on its edge and measures without trouble.
      << "click 500 400\nexpect-errors 0\nclick 99 41\n"
      << "run\nexpect-rows 12\n" << ExpectFrames(1, Range(12));
    for (int n = 0; n < 12; ++n) s << "expect-field " << n + 1 << " 12 " << ValueOfB(n) << "\n";
    EXPECT_TRUE(Runs(dir, s.str()));
}

TEST_F(EndToEnd, ScriptsAndReadersWorkWithTheFirstStartSettings) {
    // The settings say DirectShow; a script is read by the AVI reader, which stays
    // the one frames come from after the settings are read again at opening.
    StarVideo(dir, "clip.avi", "25", 12);
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -i " + dir.File("clip.avi") + " -c:v libx264rgb -qp 0 " + dir.File("clip.mp4")), 0);
    testutil::WriteAll(dir.File("avi.avs"), "AVISource(\"clip.avi\")\r\n");
    testutil::WriteAll(dir.File("mp4.avs"), "DirectShowSource(\"clip.mp4\")\r\n");
    const std::string aperture = FirstStartSettings({{"Photometry", "Aperture photometry"}, {"Form", "Standard"}});
    for (const char* script : {"avi.avs", "mp4.avs"}) {
        EXPECT_TRUE(RunsWith(dir, aperture,
                             "open " + dir.File(script) + "\nstep 2\noneframe\nstep 1\nrun\nexpect-errors 0\nexpect-rows 10\n" +
                                 ExpectFrames(1, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) + "save " + dir.File("out.csv") + "\n"))
            << script;
        EXPECT_NE(testutil::ReadAll(dir.File("out.csv")).find("\r\n11.0,"), std::string::npos) << script;
    }
    // The harness's reader holds over the re-read, for every opening.
    for (const char* reader : {"vfw", "avs"}) {
        EXPECT_TRUE(RunsWith(dir, aperture,
                             std::string("reader ") + reader + "\nopen " + dir.File("clip.avi") + "\nopen " + dir.File("clip.avi") +
                                 "\nexpect-var ReaderKind 0\nrun\nexpect-errors 0\nexpect-rows 12\n" + ExpectFrames(1, Range(12))))
            << reader;
    }
}

TEST_F(EndToEnd, RowsCountThePixelsOfTheRadiiInForce) {
    // The disc rule: rows i = 1..r hold 2 round(sqrt(r^2 - (i - 1/2)^2)) + 1 cells, the centre row 2r + 1.
    const auto disc = [](int r) {
        int n = 2 * r + 1;
        for (int i = 1; i <= r; ++i) n += 2 * (2 * int(std::nearbyint(std::sqrt(r * r - (i - 0.5) * (i - 0.5)))) + 1);
        return n;
    };
    ASSERT_EQ(disc(3), 45);
    const std::string video = StarVideo(dir, "star.avi", "25", 12);
    const std::string settings = FirstStartSettings({{"Photometry", "Aperture photometry"}, {"Form", "Standard"}, {"Radius of Aperture", "3"},
                                                     {"Inner Radius of Background", "10"}, {"Outer Radius of Background", "20"}});
    const std::string ring = std::to_string(disc(20) - disc(9));
    // Opening applies the occultation preset (outer radius 25): the settings' 20 is set again.
    EXPECT_TRUE(RunsWith(dir, settings, "open " + video + "\nset UpDown3 20\noneframe\nexpect-field 1 19 45\nexpect-field 1 20 " + ring +
                                            "\nexpect-field 1 21 3\nexpect-field 1 22 10\nexpect-field 1 23 20\nexpect-text Edit20 45\n"));
}

TEST_F(EndToEnd, LoadedResultsMeasureOnFromTheirPositionsWithTheirRadii) {
    const std::string video = StarVideo(dir, "stars.avi", "25", 12, kThreeStars);
    const std::string saved = dir.File("two.csv"), again = dir.File("again.csv");
    ASSERT_TRUE(RunsWith(dir, FirstStartSettings({{"Photometry", "Aperture photometry"}, {"Radius of Aperture", "3"}}),
                         "reader vfw\nopen " + video + "\nclick 41 41\nadd 99 41\nset UpDown1 4\ngoto 3\noneframe\nstep 1\noneframe\nsave " +
                             saved + "\n"));
    // A new run whose settings differ in radii, form and gap: the file's objects win.
    ASSERT_TRUE(RunsWith(dir, FirstStartSettings({{"Photometry", "Aperture photometry"}, {"Radius of Aperture", "5"}, {"Form", "Standard"},
                                                  {"Gap", "2"}, {"Outer Radius of Background", "22"}}),
                         "load " + saved + "\nexpect-errors 0\ngoto 3\noneframe\nsave " + again + "\n"));
    const std::string first = testutil::ReadAll(saved), second = testutil::ReadAll(again);
    const size_t row = first.find("\r\n3.0,") + 2;
    ASSERT_NE(row, 1u);
    const std::string want = first.substr(row, first.find("\r\n", row) + 2 - row);
    EXPECT_NE(want.find(",40,40,"), std::string::npos) << want;
    EXPECT_NE(want.find(",100,40,"), std::string::npos) << want;
    EXPECT_EQ(second.substr(second.size() - want.size()), want);
}

// The settings dialog and the rectangle aperture through the harness: the reader
// switched in the dialog, boxes read back, a 7 x 9 rectangle measured.
TEST_F(EndToEnd, SettingsDialogReaderSwitchAndRectangleAperture) {
    const std::string video = StarVideo(dir, "star.avi", "25", 6);
    EXPECT_TRUE(Runs(dir, "open " + video + "\nexpect-var ReaderKind 0\npress Button17\nexpect-shown PreserveSetting 1\n"
                          "expect-text PreserveSetting.Label4 Standard\npress PreserveSetting.RadioButton1\n"
                          "expect-var ReaderKind 1\nexpect-text CheckBox7 DShow\nexpect-checked CheckBox7 1\n"
                          "answer no\npress PreserveSetting.Button1\n"
                          "expect-box confirmation Setting will be Saved . Are you sure?\n"
                          "close PreserveSetting\nexpect-shown PreserveSetting 0\n"
                          "set RadioButton3 1\nset RectangleAperture1 1\nexpect-var BkgShape[1] 3\nexpect-text Label2 Height\n"
                          "set UpDown8 7\nset UpDown6 9\nexpect-var RectangleWidth[1] 7\nexpect-var RectangleHeight[1] 9\n"
                          "expect-enabled RadioButton1 0\nrun\nexpect-rows 6\nexpect-var AperturePixels[1] 63\n"
                          "expect-field 1 11 0.0\nexpect-field 1 19 63\n"
                          "set RectangleAperture1 0\nexpect-var BkgShape[1] 2\nexpect-checked RadioButton3 1\n"));
}

// A measured video in the graph: a click picks frame 30 and the main window
// follows; the picture goes to a JPEG file and to the clipboard; the selection
// survives closing and reopening.
TEST_F(EndToEnd, GraphOfAMeasuredVideo) {
    const std::string video = StarVideo(dir, "star.avi", "25", 60);
    // Frame 30 (1040) at x = 50 + 2 x 30, y = 385 - round(1040 x 365 / 1794).
    const std::string script = "reader vfw\nopen " + video +
                               "\nrun\ngraph\ngraph-click 110 173\nexpect-text ScrollBar1 30\n"
                               "expect-text chart1.Edit4 30.0\nexpect-text chart1.Edit6 1040.0\nprint-graph\nprint-title\n"
                               "answer-file " + dir.File("g.png") + " 2\npress chart1.Button12\n"
                               "press chart1.Button7\nclipboard-image " + dir.File("clip.png") +
                               "\ndump-image chart1.ChartImg1 " + dir.File("img.png") +
                               "\nclose chart1\ngraph\nwindow chart1\nexpect-text UpDown2 5\nprint-graph\n"
                               "graph-click 110 173\npress Button8\n"
                               "expect-box information Select target frame by clicking the graph area\n";
    ASSERT_TRUE(Runs(dir, script));
    std::string out;
    testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("script.txt") + " 2>/dev/null", &out);
    EXPECT_NE(out.find("SelectedFrame=30 FieldMode=0 EntireView=0 Scroll=0,0 Markers=110,173,-100,-100,-100,-100"),
              std::string::npos) << out;
    EXPECT_NE(out.find(" / Aperture-Frame photometry / \nFrame No.30.0"), std::string::npos) << out;
    EXPECT_EQ(testutil::ReadAll(dir.File("g.jpg")).substr(0, 3), "\xFF\xD8\xFF");
    std::string a, b;
    ASSERT_EQ(testutil::Run("ffmpeg -v error -i " + dir.File("clip.png") + " -f rawvideo -pix_fmt rgb24 -", &a), 0);
    ASSERT_EQ(testutil::Run("ffmpeg -v error -i " + dir.File("img.png") + " -f rawvideo -pix_fmt rgb24 -", &b), 0);
    EXPECT_EQ(a.size(), size_t{740 * 425 * 3});
    EXPECT_TRUE(a == b);
}

TEST_F(EndToEnd, TheWindowFitsTheScreen) {
    // Screens of 1366 x 768 and 1920 x 1080: the window is never larger than the screen.
    testutil::WriteAll(dir.File("tevorin-harness.ini"), FirstStartSettings());
    testutil::WriteAll(dir.File("script.txt"), "screenshot " + dir.File("shot.png") + "\n");
    for (auto [w, h] : {std::pair{1366, 768}, {1920, 1080}}) {
        const std::string screen = dir.File("screen.json");
        testutil::WriteAll(screen, "{\"screens\":[{\"name\":\"s\",\"x\":0,\"y\":0,\"width\":" + std::to_string(w) + ",\"height\":" +
                                       std::to_string(h) + ",\"logicalDpi\":96,\"logicalBaseDpi\":96,\"dpr\":1}]}");
        ASSERT_EQ(testutil::Run("QT_QPA_PLATFORM=offscreen:configfile=" + screen + " " + testutil::BinFile("tevorin-harness") + " " +
                                dir.File("script.txt") + " >/dev/null 2>&1"),
                  0);
        const std::string png = testutil::ReadAll(dir.File("shot.png"));
        ASSERT_GT(png.size(), 24u);
        const auto be32 = [&](size_t at) { return int(uint8_t(png[at])) << 24 | int(uint8_t(png[at + 1])) << 16 | int(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]); };
        EXPECT_LE(be32(16), w);
        EXPECT_LE(be32(20), h);
        EXPECT_GT(be32(20), h / 2);
    }
}
