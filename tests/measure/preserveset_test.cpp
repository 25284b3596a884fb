// The settings routines on the real main window, offscreen, with the settings
// file in a temporary folder.
#include "measure/preserveset.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "measure/main_2.h"
#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "support/test_util.h"

namespace {

std::string Golden(const std::string& name) {
    // The golden files were written for the program folder "/opt/tevorin/".
    std::string text = testutil::ReadAll(testutil::DataFile("settings/" + name));
    const std::string from = "/opt/tevorin/";
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
        text.replace(at, from.size(), fileio::ExecutableFolder());
    return text;
}

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

TEST_F(SettingsWindow, FirstStartWritesTheDefaultsAndShowsThem) {
    Start();
    EXPECT_EQ(testutil::ReadAll(path), Golden("first_start.ini"));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->UpDown1->Position(), 6);
    EXPECT_EQ(w->UpDown2->Position(), 8);
    EXPECT_EQ(w->UpDown1->Max(), 7);  // the chain is applied after all three radii
    EXPECT_EQ(w->Edit2->text(), "8");
    EXPECT_TRUE(w->RadioButton3->isChecked());
    EXPECT_TRUE(w->UpDown8->isEnabled());
    EXPECT_TRUE(w->RadioButton5->isChecked());
    EXPECT_EQ(w->UpDown7->Position(), 95);
    EXPECT_TRUE(w->CheckBox5->isChecked());
    EXPECT_EQ(w->ComboBox1->currentIndex(), 1);
    EXPECT_TRUE(w->CheckBox7->isChecked());
    EXPECT_EQ(w->State.CaptureFilePath, fileio::ExecutableFolder());
    for (const DataLine& line : w->State.DataLines) EXPECT_EQ(line.Objects[1].BkgShape, kShapeLimb);
}

TEST_F(SettingsWindow, AnotherFileReachesTheControlsAndComesBackUnchanged) {
    testutil::WriteAll(path, Golden("after_save_current.ini"));
    Start();
    EXPECT_EQ(w->UpDown1->Position(), 4);
    EXPECT_EQ(w->UpDown2->Position(), 9);
    EXPECT_EQ(w->UpDown3->Position(), 20);
    EXPECT_TRUE(w->RadioButton2->isChecked());
    EXPECT_TRUE(w->UpDown6->isEnabled());
    EXPECT_FALSE(w->UpDown8->isEnabled());
    EXPECT_TRUE(w->RadioButton6->isChecked());
    EXPECT_FALSE(w->CheckBox3->isChecked());
    EXPECT_EQ(w->RadioGroup2->ItemIndex(), 0);
    EXPECT_EQ(w->State.TopFieldFirst, 1);
    EXPECT_EQ(w->ComboBox1->currentIndex(), 2);
    EXPECT_FALSE(w->CheckBox7->isChecked());
    EXPECT_FALSE(w->CheckBox14->isChecked());
    EXPECT_TRUE(w->CheckBox2->isChecked());
    EXPECT_FALSE(w->RadioButton11->isEnabled());
    EXPECT_FALSE(w->RadioButton12->isEnabled());
    EXPECT_TRUE(w->RadioButton10->isChecked());
    EXPECT_EQ(w->State.SavedResultsFolder, "/home/obs/csv out/");
    EXPECT_EQ(w->State.RememberSavedResultsFolder, 0);

    // What the window holds writes back the very same file.
    ASSERT_TRUE(SaveCurrentSettings().ok);
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_save_current.ini"));
}

TEST_F(SettingsWindow, ReadingSetsControlsWithoutSideRoads) {
    Start();
    // Narrow ranges as a placement leaves them; the file's chain still fits.
    w->UpDown1->SetRange(0, 7);
    w->UpDown2->SetRange(7, 8);
    testutil::WriteAll(path,
                       "[Aperture Size]\r\nRadius of Aperture=12\r\nInner Radius of Background=15\r\n"
                       "Outer Radius of Background=20\r\n[TimeSignal]\r\nVideoTimeInserter=GHS-OSD\r\n");
    int comboSignals = 0;
    QObject::connect(w->ComboBox1, &QComboBox::currentIndexChanged, [&] { ++comboSignals; });
    w->State.OverlayGridLocated = w->State.TIViReading = w->State.OverlayTimeReading = 1;
    ASSERT_TRUE(LoadSettings().ok);
    EXPECT_EQ(w->UpDown1->Position(), 12);
    EXPECT_EQ(w->UpDown2->Position(), 15);
    EXPECT_EQ(w->UpDown3->Position(), 20);
    EXPECT_EQ(w->UpDown2->Min(), 13);
    EXPECT_EQ(w->ComboBox1->currentIndex(), 2);
    EXPECT_EQ(comboSignals, 0);  // the inserter box runs no handler
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
    EXPECT_EQ(w->UpDown7->Position(), 95);
    EXPECT_TRUE(w->RadioButton3->isChecked());
}

TEST_F(SettingsWindow, ResultsFilesRememberTheirFolders) {
    Start();
    const std::string csv = dir.File("run1.csv");
    dialogs.fileAnswers.push_back(csv);
    w->SaveResultsFile();
    ASSERT_TRUE(dialogs.Texts("error").empty());
    std::string text = testutil::ReadAll(path);
    EXPECT_NE(text.find("Path to .CSV files=" + dir.Path() + "\r\n"), std::string::npos) << text;

    // Loading remembers the input folder, also when the file then fails to load.
    dialogs.fileAnswers.push_back(dir.File("missing.csv"));
    EXPECT_FALSE(w->LoadResultsFile());
    text = testutil::ReadAll(path);
    EXPECT_NE(text.find("Path to .CSV input files=" + dir.Path() + "\r\n"), std::string::npos) << text;

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

TEST_F(SettingsWindow, VideoOpeningRereadsTheFile) {
    Start();
    // Changes made in the window since the last save are replaced by the file's.
    w->UpDown7->SetPosition(20);
    w->RadioButton1->setChecked(true);
    w->State.VideoFolder = "/videos/night1";
    ReportSettingsFailure({SaveLatestPaths(), ReloadSettingsAfterVideoOpen()});
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->UpDown7->Position(), 95);
    EXPECT_TRUE(w->RadioButton3->isChecked());
    EXPECT_EQ(w->State.VideoFolder, "/videos/night1");
    EXPECT_NE(testutil::ReadAll(path).find("Path to .AVI files=/videos/night1\r\n"), std::string::npos);

    // The file gone and no folder remembered: the read defaults reach the
    // controls, are written out and read back.
    std::remove(path.c_str());
    w->State.RememberVideoFolder = w->State.RememberSavedResultsFolder = w->State.RememberResultsFolder = 0;
    ReportSettingsFailure({SaveLatestPaths(), ReloadSettingsAfterVideoOpen()});
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->UpDown1->Position(), 5);
    EXPECT_EQ(w->UpDown2->Position(), 10);
    EXPECT_TRUE(w->RadioButton1->isChecked());
    EXPECT_FALSE(w->UpDown6->isEnabled());
    EXPECT_TRUE(w->RadioButton4->isChecked());
    EXPECT_FALSE(w->CheckBox7->isChecked());
    EXPECT_EQ(w->State.RememberVideoFolder, 1);
    EXPECT_EQ(w->State.VideoFolder, "");
    const std::string text = testutil::ReadAll(path);
    EXPECT_NE(text.find("Radius of Aperture=5\r\nInner Radius of Background=10\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Tracking Mode=Anchor\r\n"), std::string::npos) << text;
}

TEST_F(SettingsWindow, OpeningAVideoRemembersItsFolderAndRereadsTheFile) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    ASSERT_EQ(::mkdir(dir.File("night").c_str(), 0755), 0);
    const std::string video = dir.File("night/dark.avi");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=black:s=64x48:r=25 -frames:v 3 "
                            "-c:v rawvideo -pix_fmt bgr24 " + video),
              0);
    Start();
    testutil::WriteAll(path, "[Star Tracking]\r\nThreshold=33\r\n[FileRead]\r\nAPI for reading file=VideoForWindows\r\n");
    w->State.DirectShowSelected = 0;
    w->UpDown7->SetPosition(70);
    ASSERT_TRUE(w->OpenVideo(video, false));
    EXPECT_TRUE(dialogs.Texts("error").empty());
    EXPECT_EQ(w->UpDown7->Position(), 33);
    EXPECT_EQ(w->UpDown1->Position(), 5);  // absent: the read default
    EXPECT_EQ(testutil::ReadAll(path), "[Star Tracking]\r\nThreshold=33\r\n[FileRead]\r\nAPI for reading file=VideoForWindows\r\n"
                                       "[Files]\r\nPath to .AVI files=" + dir.File("night") +
                                       "\r\nPath to .CSV files=/\r\nPath to .CSV input files=\r\n");
}
