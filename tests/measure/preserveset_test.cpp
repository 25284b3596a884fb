// The settings routines on the real main window, offscreen, with the settings
// file in a temporary folder.
#include "measure/preserveset.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "support/test_util.h"

namespace {

// The golden files were written for the program folder "/opt/tevorin/".
std::string Golden(const std::string& name) {
    std::string text = testutil::ReadAll(testutil::DataFile("settings/" + name));
    for (size_t at = text.find("/opt/tevorin/"); at != std::string::npos; at = text.find("/opt/tevorin/", at + 1))
        text.replace(at, 13, fileio::ExecutableFolder());
    return text;
}

// What the controls show, a group at a time.
std::string Controls(const TPlatform& w) {
    const auto on = [](const QAbstractButton* b) { return b->isChecked() ? '1' : '0'; };
    std::ostringstream s;
    s << "radii " << w.UpDown1->Position() << " " << w.UpDown2->Position() << " " << w.UpDown3->Position() << " form "
      << on(w.RadioButton1) << on(w.RadioButton2) << on(w.RadioButton3) << " gap/width " << w.UpDown6->isEnabled()
      << w.UpDown8->isEnabled() << " track " << on(w.RadioButton4) << on(w.RadioButton5) << on(w.RadioButton6) << " "
      << w.UpDown7->Position() << " sync " << on(w.CheckBox3) << " | dshow " << on(w.CheckBox7) << " psf "
      << on(w.CheckBox14) << " field " << on(w.CheckBox2) << " order " << w.RadioGroup2->ItemIndex() << " inserter "
      << w.ComboBox1->currentIndex() << " kiwi " << on(w.CheckBox5) << " | star " << on(w.RadioButton10)
      << w.RadioButton11->isEnabled() << w.RadioButton12->isEnabled();
    return s.str();
}

const std::string kFirstStart =
    "radii 6 8 25 form 001 gap/width 11 track 010 95 sync 1 | dshow 1 psf 1 field 0 order 1 inserter 1 kiwi 1 | star 111";

struct SettingsWindow : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::string path = dir.File("tevorin.ini");
    std::unique_ptr<TPlatform> w;
    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(path);
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    void Start() { w = std::make_unique<TPlatform>(); }
};

}  // namespace

TEST_F(SettingsWindow, FirstStartShowsTheDefaultsAnotherFileComesBackUnchanged) {
    Start();
    EXPECT_EQ(testutil::ReadAll(path), Golden("first_start.ini"));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(Controls(*w), kFirstStart);
    EXPECT_EQ(w->UpDown1->Max(), 7);  // the chain is applied after all three radii
    for (const DataLine& line : w->State.DataLines) EXPECT_EQ(line.Objects[1].BkgShape, kShapeLimb);
    w.reset();
    testutil::WriteAll(path, Golden("after_save_current.ini"));
    Start();
    EXPECT_EQ(Controls(*w),
              "radii 4 9 20 form 010 gap/width 10 track 001 60 sync 0 | dshow 0 psf 0 field 1 order 0 inserter 2 kiwi 0 | star 100");
    EXPECT_EQ(std::tuple(w->State.TopFieldFirst, w->State.SavedResultsFolder), std::tuple(1, "/home/obs/csv out/"));
    // What the window holds writes back the very same file.
    ASSERT_TRUE(SaveCurrentSettings().ok);
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_save_current.ini"));
}

TEST_F(SettingsWindow, ReadingSetsControlsWithoutSideRoads) {
    Start();
    // Narrow ranges as a placement leaves them; the file's chain still fits.
    w->UpDown1->SetRange(0, 7);
    w->UpDown2->SetRange(7, 8);
    testutil::WriteAll(path, "[Aperture Size]\r\nRadius of Aperture=12\r\nInner Radius of Background=15\r\n"
                             "Outer Radius of Background=20\r\n[TimeSignal]\r\nVideoTimeInserter=GHS-OSD\r\n");
    int comboSignals = 0;
    QObject::connect(w->ComboBox1, &QComboBox::currentIndexChanged, [&] { ++comboSignals; });
    w->State.OverlayGridLocated = w->State.TIViReading = w->State.OverlayTimeReading = 1;
    ASSERT_TRUE(LoadSettings().ok);
    EXPECT_EQ(std::tuple(w->UpDown1->Position(), w->UpDown2->Position(), w->UpDown3->Position(), w->UpDown2->Min()),
              std::tuple(12, 15, 20, 13));
    EXPECT_EQ(std::tuple(w->ComboBox1->currentIndex(), comboSignals), std::tuple(2, 0));  // the box runs no handler
    EXPECT_EQ(w->State.OverlayGridLocated + w->State.TIViReading + w->State.OverlayTimeReading, 0);
    EXPECT_EQ(testutil::ReadAll(path).find("Gap"), std::string::npos);  // reading never writes
}

TEST_F(SettingsWindow, ReadOnlyFolderAtStartUpIsReportedOnceAndTheDefaultsApply) {
    ::chmod(dir.Path().c_str(), 0555);
    Start();
    ::chmod(dir.Path().c_str(), 0755);
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0].rfind("Could not write the settings file.\r\n" + path + "\r\n", 0), 0u);
    EXPECT_FALSE(fileio::FileExists(path));
    EXPECT_EQ(Controls(*w), kFirstStart);
}

TEST_F(SettingsWindow, ResultsFilesRememberTheirFolders) {
    Start();
    dialogs.fileAnswers.push_back(dir.File("run1.csv"));
    w->SaveResultsFile();
    ASSERT_TRUE(dialogs.Texts("error").empty());
    EXPECT_NE(testutil::ReadAll(path).find("Path to .CSV files=" + dir.Path() + "\r\n"), std::string::npos);
    // Loading remembers the input folder, also when the file then fails to load.
    dialogs.fileAnswers.push_back(dir.File("missing.csv"));
    EXPECT_FALSE(w->LoadResultsFile());
    EXPECT_NE(testutil::ReadAll(path).find("Path to .CSV input files=" + dir.Path() + "\r\n"), std::string::npos);
    // A refused settings write does not stop the results from being saved.
    ::chmod(path.c_str(), 0444);
    dialogs.shown.clear();
    ASSERT_EQ(::mkdir(dir.File("night2").c_str(), 0755), 0);
    dialogs.fileAnswers.push_back(dir.File("night2/run2.csv"));
    w->SaveResultsFile();
    EXPECT_TRUE(fileio::FileExists(dir.File("night2/run2.csv")));
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_NE(dialogs.Texts("error")[0].find(path), std::string::npos);
    ::chmod(path.c_str(), 0644);
}

TEST_F(SettingsWindow, OpeningAVideoRemembersItsFolderAndRereadsTheFile) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    ASSERT_EQ(::mkdir(dir.File("night").c_str(), 0755), 0);
    const std::string video = dir.File("night/dark.avi");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=black:s=64x48:r=25 -frames:v 3 "
                            "-c:v rawvideo -pix_fmt bgr24 " + video),
              0);
    Start();
    const std::string text = "[Star Tracking]\r\nThreshold=33\r\n[FileRead]\r\nAPI for reading file=VideoForWindows\r\n";
    testutil::WriteAll(path, text);
    w->State.DirectShowSelected = 0;
    w->UpDown7->SetPosition(70);
    ASSERT_TRUE(w->OpenVideo(video, false));
    EXPECT_TRUE(dialogs.Texts("error").empty());
    EXPECT_EQ(w->UpDown7->Position(), 33);
    EXPECT_EQ(w->UpDown1->Position(), 5);  // absent: the read default
    EXPECT_EQ(testutil::ReadAll(path), text + "[Files]\r\nPath to .AVI files=" + dir.File("night") +
                                           "\r\nPath to .CSV files=/\r\nPath to .CSV input files=\r\n");
    // The file gone and no folder remembered: the read defaults reach the controls
    // and are written out.
    std::remove(path.c_str());
    w->State.RememberVideoFolder = w->State.RememberSavedResultsFolder = w->State.RememberResultsFolder = 0;
    ASSERT_TRUE(w->OpenVideo(video, false));
    EXPECT_TRUE(dialogs.Texts("error").empty());
    EXPECT_EQ(Controls(*w),
              "radii 5 10 25 form 100 gap/width 00 track 100 50 sync 1 | dshow 0 psf 1 field 0 order 1 inserter 1 kiwi 0 | star 111");
    EXPECT_EQ(std::tuple(w->State.RememberVideoFolder, w->State.VideoFolder), std::tuple(1, ""));
    EXPECT_NE(testutil::ReadAll(path).find("Tracking Mode=Anchor\r\n"), std::string::npos);
}
