#include "measure/settings_file.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ini_file.h"
#include "support/test_util.h"

namespace {

const std::string kProgramFolder = "/opt/tevorin/";

std::string Golden(const std::string& name) { return testutil::ReadAll(testutil::DataFile("settings/" + name)); }

// Every field, a group per line, so that a mismatch shows which.
std::string Describe(const SettingsValues& v) {
    std::ostringstream s;
    s << "folders " << v.VideoFolder << " | " << v.SavedResultsFolder << " | " << v.ResultsFolder << "\n"
      << "follow/remember " << v.CsvFolderFollowsVideo << v.RememberVideoFolder << v.RememberSavedResultsFolder
      << v.RememberResultsFolder << "\navisynth/dshow " << v.UseAviSynth << v.DirectShowSelected
      << "\npsf/field/order/top " << v.PsfPhotometry << v.FieldMeasure << v.FieldOrderItem << v.TopFieldFirst
      << "\nradii " << v.ApertureRadius << " " << v.BkgInnerRadius << " " << v.BkgOuterRadius << "\nform " << v.BkgForm
      << " gap " << v.BkgGap << " width " << v.BkgWidth << " enabled " << v.GapEnabled << v.WidthEnabled << " shapeA "
      << int(v.ObjectABkgShape) << "\ntracking " << v.TrackMode << " " << v.TrackRadius << " " << v.TrackThreshold
      << " sync " << v.SyncTracking << "\ntime " << v.OverlayThreshold << " " << v.ReadOverlayTime << " inserter "
      << v.TimeInserterType << " reading " << v.OverlayGridLocated << v.TIViReading << v.OverlayTimeReading
      << "\nsignal " << v.SignalBoxesEnabled << v.SignalButtonsEnabled << v.StarPositionSet << "\ncapture "
      << v.CaptureFilePath << " observer " << v.ObserverName << " prediction " << v.PredictionFilePath << "\n";
    for (int k = 1; k <= 3; ++k) {
        const auto& m = v.MemorizedRadii[0].Objects[k];
        s << "memorized " << k << ": " << m.ApertureRadius << " " << m.BkgInnerRadius << " " << m.BkgOuterRadius << " "
          << m.TrackRadius << "\n";
    }
    return s.str();
}

// The values behind after_save_current.ini.
SettingsValues ObserverValues() {
    SettingsValues v;
    v.VideoFolder = "/home/obs/videos/", v.SavedResultsFolder = "/home/obs/csv out/", v.ResultsFolder = "/home/obs/in/";
    v.CsvFolderFollowsVideo = v.RememberVideoFolder = v.RememberResultsFolder = true;
    v.RememberSavedResultsFolder = v.UseAviSynth = v.DirectShowSelected = v.PsfPhotometry = false;
    v.FieldMeasure = v.TopFieldFirst = true, v.FieldOrderItem = 0;
    v.ApertureRadius = 4, v.BkgInnerRadius = 9, v.BkgOuterRadius = 20;
    v.BkgForm = 1, v.GapEnabled = true, v.WidthEnabled = false, v.ObjectABkgShape = 1, v.BkgGap = 3, v.BkgWidth = 7;
    v.TrackMode = 2, v.TrackRadius = 5, v.TrackThreshold = 60, v.SyncTracking = false;
    v.OverlayThreshold = 120, v.ReadOverlayTime = false, v.TimeInserterType = 2;
    v.SignalBoxesEnabled = v.SignalButtonsEnabled = false, v.StarPositionSet = true;
    v.CaptureFilePath = v.PredictionFilePath = kProgramFolder, v.ObserverName = "Observer's Name";
    for (int k = 1; k <= 3; ++k) {
        auto& m = v.MemorizedRadii[0].Objects[k];
        m.ApertureRadius = 4, m.BkgInnerRadius = 9, m.BkgOuterRadius = 20, m.TrackRadius = 5;
    }
    return v;
}

// Values no file would give, to see what a routine changed.
SettingsValues Sentinel() {
    SettingsValues v;
    v.VideoFolder = v.SavedResultsFolder = v.ResultsFolder = "?";
    v.ApertureRadius = v.BkgInnerRadius = v.BkgOuterRadius = v.BkgGap = v.BkgWidth = -9;
    v.BkgForm = 1, v.GapEnabled = true, v.WidthEnabled = false, v.ObjectABkgShape = kShapeRectangle, v.TrackMode = -1;
    v.OverlayGridLocated = v.TIViReading = v.OverlayTimeReading = true;
    v.StarPositionSet = false;
    v.CaptureFilePath = v.ObserverName = v.PredictionFilePath = "?";
    return v;
}

SettingsValues Applied(const std::string& text) {
    SettingsValues v = Sentinel();
    SettingsFile::ApplyDocument(IniFile::FromText(text), v, kProgramFolder);
    return v;
}

class SettingsFileTest : public ::testing::Test {
protected:
    testutil::TempDir dir;
    std::string path = dir.File("tevorin.ini");
    SettingsFile file{path, kProgramFolder};
};

}  // namespace

TEST_F(SettingsFileTest, FirstStartWritesTheDefaultsOtherFilesAreRead) {
    const std::string want =
        "folders / | / | \nfollow/remember 0111\navisynth/dshow 11\npsf/field/order/top 1010\nradii 6 8 25\n"
        "form 2 gap 0 width 5 enabled 11 shapeA 2\ntracking 1 6 95 sync 1\ntime 100 1 inserter 1 reading 000\n"
        "signal 110\ncapture /opt/tevorin/ observer Observer's Name prediction /opt/tevorin/\n"
        "memorized 1: 6 8 25 6\nmemorized 2: 6 8 25 6\nmemorized 3: 6 8 25 6\n";
    ASSERT_FALSE(file.IniExists());
    for (int start = 0; start < 2; ++start) {  // the second start only reads
        SettingsValues v = Sentinel();
        ASSERT_TRUE(file.StartupSettings(v));
        EXPECT_EQ(testutil::ReadAll(path), Golden("first_start.ini"));
        EXPECT_EQ(Describe(v), want);
    }
    // Another file's values are taken as they are, and the file is not rewritten.
    testutil::WriteAll(path, Golden("after_save_current.ini"));
    SettingsValues v = Sentinel();
    ASSERT_TRUE(file.StartupSettings(v));
    EXPECT_EQ(Describe(v), Describe(ObserverValues()));
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_save_current.ini"));
    // An empty file gives the read defaults.
    testutil::WriteAll(path, "");
    v = Sentinel();
    ASSERT_TRUE(file.LoadSettings(v));
    EXPECT_EQ(Describe(v),
              "folders  |  | \nfollow/remember 1111\navisynth/dshow 00\npsf/field/order/top 1010\nradii 5 10 25\n"
              "form 0 gap 10 width 25 enabled 00 shapeA 0\ntracking 0 7 50 sync 1\ntime 100 0 inserter 1 reading 000\n"
              "signal 110\ncapture /opt/tevorin/ observer Observer's Name prediction /opt/tevorin/\n"
              "memorized 1: 5 10 25 7\nmemorized 2: 5 10 25 7\nmemorized 3: 5 10 25 7\n");
    EXPECT_EQ(testutil::ReadAll(path), "");  // reading never writes
}

TEST_F(SettingsFileTest, SaveCurrentSettingsGoldenFiles) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    ASSERT_TRUE(file.SaveCurrentSettings(ObserverValues()));
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_save_current.ini"));
    // A file edited by hand keeps its comments, unknown sections and bytes, key
    // spellings and line ends; only the keys written change.
    testutil::WriteAll(path, Golden("hand_edited.ini"));
    ASSERT_TRUE(file.SaveCurrentSettings(ObserverValues()));
    EXPECT_EQ(testutil::ReadAll(path), Golden("hand_edited_after_save_current.ini"));
    SettingsValues back = Sentinel();
    ASSERT_TRUE(file.LoadSettings(back));
    EXPECT_EQ(back.ObserverName + "|" + back.PredictionFilePath, "A. Nakamura|/data/pred.txt");
    back.ObserverName = "Observer's Name", back.PredictionFilePath = kProgramFolder;
    EXPECT_EQ(Describe(back), Describe(ObserverValues()));

    // Choices without a word are not written.
    std::filesystem::remove(path);
    SettingsValues v = ObserverValues();
    v.FieldOrderItem = v.BkgForm = v.TrackMode = -1;  // "CSV" tracking
    v.TimeInserterType = 7;
    ASSERT_TRUE(file.SaveCurrentSettings(v));
    const IniFile ini = IniFile::FromText(testutil::ReadAll(path));
    for (auto [section, key] : {std::pair{"Measurement", "FieldOrder"}, {"Background Area", "Form"},
                                {"Star Tracking", "Tracking Mode"}, {"TimeSignal", "VideoTimeInserter"}})
        EXPECT_FALSE(ini.Find(section, key)) << key;
    EXPECT_TRUE(ini.Find("Background Area", "Gap"));
}

TEST_F(SettingsFileTest, SaveLatestPathsWritesOnlyRememberedFolders) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    SettingsValues v;
    v.VideoFolder = "/home/obs/videos/", v.SavedResultsFolder = "/elsewhere/", v.ResultsFolder = "/home/obs/in/";
    v.RememberVideoFolder = true, v.RememberSavedResultsFolder = false, v.RememberResultsFolder = true;
    for (int pass = 0; pass < 2; ++pass) {  // then none remembered: the file stays
        ASSERT_TRUE(file.SaveLatestPaths(v));
        EXPECT_EQ(testutil::ReadAll(path), Golden("after_latest_paths.ini"));
        v.VideoFolder = "/changed/", v.RememberVideoFolder = v.RememberResultsFolder = false;
    }
    std::filesystem::remove(path);  // nothing to write: no file is created
    ASSERT_TRUE(file.SaveLatestPaths(v));
    EXPECT_FALSE(file.IniExists());
}

TEST(SettingsChoices, EveryWordExactlyInOtherCaseAndAsJunk) {
    using Get = std::function<int(const SettingsValues&)>;
    struct Case {
        const char *section, *key;
        Get get;
        std::vector<std::pair<const char*, int>> words;
    };
    const Case cases[] = {
        {"FileRead", "API for reading file", [](auto& v) { return int(v.DirectShowSelected); },
         {{"DirectShow", 1}, {"VideoForWindows", 0}, {"directshow", 0}, {"DirectShow2", 0}}},
        {"Measurement", "Photometry", [](auto& v) { return int(v.PsfPhotometry); },
         {{"PSF photometry", 1}, {"Aperture photometry", 0}, {"PSF Photometry", 0}, {"", 0}}},
        {"Measurement", "Measure", [](auto& v) { return int(v.FieldMeasure); },
         {{"for each Field", 1}, {"for each Frame", 0}, {"For Each Field", 0}}},
        {"Measurement", "FieldOrder", [](auto& v) { return v.FieldOrderItem * 10 + v.TopFieldFirst; },
         {{"Top first", 1}, {"Bottom first", 10}, {"top first", 10}, {"Top", 10}}},
        // form, shape of object A, gap enabled, width enabled; the sentinel is 1310.
        {"Background Area", "Form",
         [](auto& v) { return v.BkgForm * 1000 + v.ObjectABkgShape * 100 + v.GapEnabled * 10 + v.WidthEnabled; },
         {{"Standard", 0}, {"Avoid Sunlit Face", 1110}, {"Meteor/Lunar Limb", 2211}, {"standard", 1310}, {"Meteor", 1310}}},
        {"Star Tracking", "Tracking Mode", [](auto& v) { return v.TrackMode; },
         {{"Anchor", 0}, {"Drift", 1}, {"OFF", 2}, {"off", -1}, {"CSV", -1}}},
        {"Star Tracking", "Synchronize to Radius of Aperture", [](auto& v) { return int(v.SyncTracking); },
         {{"ON", 1}, {"OFF", 0}, {"On", 0}, {"1", 0}}},
        // inserter and the three overlay reading switches, which the sentinel has on.
        {"TimeSignal", "VideoTimeInserter",
         [](auto& v) { return v.TimeInserterType * 1000 + v.OverlayGridLocated * 100 + v.TIViReading * 10 + v.OverlayTimeReading; },
         {{"IOTA-VTI", 111}, {"KIWI-OSD", 1000}, {"GHS-OSD", 2000}, {"iota-vti", 1000}, {"IOTA VTI", 1000}, {"", 1000}}},
    };
    for (const auto& c : cases)
        for (auto [word, want] : c.words)
            EXPECT_EQ(c.get(Applied(std::string("[") + c.section + "]\r\n" + c.key + "=" + word + "\r\n")), want)
                << c.key << "=" << word;
    // Signal boxes decide the placement buttons; "Star position" is left as it was when they are on.
    for (auto [count, want] : {std::pair{"0", "001"}, {"5", "110"}, {"yes", "110"}}) {
        const SettingsValues v = Applied(std::string("[SignalDetectionArea for LED]\nSignal1,2=") + count + "\n");
        EXPECT_EQ(std::to_string(v.SignalBoxesEnabled) + std::to_string(v.SignalButtonsEnabled) + std::to_string(v.StarPositionSet),
                  want) << count;
    }
}

TEST(SettingsClamping, NumbersAreClampedIntoTheControlsRanges) {
    struct Case {
        const char *radius, *inner, *outer;
        int wantRadius, wantInner, wantOuter;
    };
    for (const Case& c : {Case{"6", "8", "25", 6, 8, 25}, {"30", "40", "99", 24, 25, 25}, {"-5", "-5", "-5", 0, 1, 1},
                          {"10", "5", "20", 4, 5, 20}, {"3", "8", "6", 3, 6, 6}, {"8", "8", "8", 7, 8, 8},
                          {"6px", "", "x", 5, 10, 25}, {"2147483647", "-2147483648", "0", 0, 1, 1}}) {
        const SettingsValues v = Applied(std::string("[Aperture Size]\nRadius of Aperture=") + c.radius +
                                         "\nInner Radius of Background=" + c.inner +
                                         "\nOuter Radius of Background=" + c.outer + "\n");
        const auto want = std::tuple(c.wantRadius, c.wantInner, c.wantOuter);
        const auto& m = v.MemorizedRadii[0].Objects[3];
        EXPECT_EQ(std::tuple(v.ApertureRadius, v.BkgInnerRadius, v.BkgOuterRadius), want) << c.radius << c.inner << c.outer;
        EXPECT_EQ(std::tuple(m.ApertureRadius, m.BkgInnerRadius, m.BkgOuterRadius), want);
    }
    // gap, width, tracking radius, its memorized copy, tracking threshold, time threshold
    for (auto [ini, want] : {std::pair{"Gap=-1\nWidth=-30\n[Star Tracking]\nRadius=-2\nThreshold=-3\n[TimeSignal]\nThreshold=-1\n",
                                       std::tuple(0, 0, 0, 0, 0, 0)},
                             {"Gap=26\nWidth=1000\n[Star Tracking]\nRadius=40\nThreshold=100\n[TimeSignal]\nThreshold=256\n",
                              {25, 25, 25, 25, 99, 255}}}) {
        const SettingsValues v = Applied(std::string("[Background Area]\n") + ini);
        EXPECT_EQ(std::tuple(v.BkgGap, v.BkgWidth, v.TrackRadius, v.MemorizedRadii[0].Objects[2].TrackRadius, v.TrackThreshold,
                             v.OverlayThreshold), want);
    }
}

TEST_F(SettingsFileTest, DialogSavesAlwaysKeysAndTickedItems) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    SettingsValues v = ObserverValues();
    v.CaptureFilePath = "", v.ObserverName = "A. Nakamura", v.PredictionFilePath = "/data/pred.txt";
    SettingsDialogTicks ticks;
    ticks.RememberVideoFolder = false, ticks.RememberSavedResultsFolder = true, ticks.RememberResultsFolder = false;
    ticks.UseAviSynth = true, ticks.ReadOverlayTime = false;
    ASSERT_TRUE(file.SaveDialogSettings(v, ticks));
    EXPECT_EQ(v.CaptureFilePath, kProgramFolder);
    std::string want = Golden("first_start.ini");
    for (auto [from, to] : {
             std::pair<std::string, std::string>{
                 "Path to .AVI files=/\r\nPath to .CSV files=/\r\nCSV path is same as AVI=0\r\n"
                 "Memory Latest Access to .AVI files=1\r\nMemory Latest Access to .CSV files=1\r\n",
                 "Path to .AVI files=/home/obs/videos/\r\nPath to .CSV files=/home/obs/csv out/\r\n"
                 "CSV path is same as AVI=1\r\nMemory Latest Access to .AVI files=0\r\n"
                 "Memory Latest Access to .CSV files=1\r\nPath to .CSV input files=/home/obs/in/\r\n"
                 "Memory Latest Access to .CSV input files=0\r\n"},
             {"API for reading file=DirectShow", "API for reading file=VideoForWindows"},
             {"Read from KIWI-OSD=1\r\nVideoTimeInserter=KIWI-OSD", "Read from KIWI-OSD=0\r\nVideoTimeInserter=GHS-OSD"}}) {
        const size_t at = want.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        want.replace(at, from.size(), to);
    }
    want += "[Identification]\r\nObserver=A. Nakamura\r\nPrediction file=/data/pred.txt\r\n";
    EXPECT_EQ(testutil::ReadAll(path), want);

    // Every item ticked: the file reads back as the main window's values, with the
    // dialog's own boxes where they take part.
    ticks.Photometry = ticks.Measure = ticks.FieldOrder = ticks.Radii = ticks.Form = ticks.Gap = ticks.Width =
        ticks.TrackingMode = ticks.TrackingRadius = ticks.TrackingThreshold = ticks.Synchronize =
            ticks.TimeSignalThreshold = ticks.SignalBoxes = ticks.ReadOverlayTime = true;
    ASSERT_TRUE(file.SaveDialogSettings(v, ticks));
    SettingsValues back = Sentinel();
    ASSERT_TRUE(file.LoadSettings(back));
    SettingsValues expected = v;
    expected.RememberVideoFolder = expected.RememberResultsFolder = false;
    expected.RememberSavedResultsFolder = expected.UseAviSynth = expected.ReadOverlayTime = true;
    EXPECT_EQ(Describe(back), Describe(expected));
}

// The dialog's pages one after the other on a file edited by hand: only the
// always-written keys and the ticked ones change, in place, in the file's own
// spelling; a page without ticks leaves the file as it was.
TEST_F(SettingsFileTest, PageSavesWriteTheirKeysOnly) {
    testutil::WriteAll(path, Golden("hand_edited.ini"));
    SettingsValues v = ObserverValues();
    v.CaptureFilePath = "";
    SettingsDialogTicks t;
    t.RememberVideoFolder = true, t.RememberSavedResultsFolder = false, t.RememberResultsFolder = true;
    t.UseAviSynth = false;
    ASSERT_TRUE(file.SavePageSettings(v, t, SettingsPage::FileReading));
    t.Radii = t.Width = true;
    ASSERT_TRUE(file.SavePageSettings(v, t, SettingsPage::Measurement));
    const std::string beforeTracking = testutil::ReadAll(path);
    ASSERT_TRUE(file.SavePageSettings(v, t, SettingsPage::Tracking));
    EXPECT_EQ(testutil::ReadAll(path), beforeTracking);
    // "Read from VTI :" ticked writes the main window's "KIWI" (off) and then its own state.
    t.ReadOverlayTime = t.SignalBoxes = true;
    ASSERT_TRUE(file.SavePageSettings(v, t, SettingsPage::TimeInserter));
    EXPECT_EQ(v.CaptureFilePath, kProgramFolder);
    EXPECT_EQ(testutil::ReadAll(path), Golden("hand_edited_after_pages.ini"));
}

TEST_F(SettingsFileTest, ReadOnlyFolderOrFileFailsCleanly) {
    const std::string golden = Golden("first_start.ini");
    testutil::WriteAll(path, golden);
    for (auto [target, mode] : {std::pair{path, 0444}, {dir.Path(), 0555}}) {
        ::chmod(target.c_str(), mode);
        SettingsValues v = ObserverValues();
        EXPECT_TRUE(file.WriteDefaultSettings(v).ok);  // the defaults are in the file already: nothing to write
        for (SettingsStatus s : {file.SaveCurrentSettings(v), file.SaveLatestPaths(v), file.SaveDialogSettings(v, {}),
                                 file.SavePageSettings(v, {}, SettingsPage::FileReading)}) {
            EXPECT_FALSE(s.ok) << target;
            EXPECT_EQ(s.message.rfind("Could not write the settings file.\r\n" + path + "\r\n", 0), 0u) << s.message;
        }
        EXPECT_EQ(testutil::ReadAll(path), golden) << target;
        SettingsValues back = Sentinel();
        EXPECT_TRUE(file.LoadSettings(back));  // reading still works
        EXPECT_EQ(back.ApertureRadius, 6);
        ::chmod(target.c_str(), target == path ? 0644 : 0755);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(SettingsFileTest, UnreadableFileIsNeverWrittenBack) {
    auto checkUntouched = [&](const std::string& what, const std::function<void()>& verify) {
        SettingsValues v = Sentinel();
        SettingsStatus load = file.LoadSettings(v);
        EXPECT_FALSE(load.ok) << what;
        EXPECT_EQ(load.message.rfind("Could not read the settings file.\r\n" + path + "\r\n", 0), 0u) << load.message;
        EXPECT_FALSE(file.StartupSettings(v).ok) << what;
        EXPECT_FALSE(file.ReloadAfterVideoOpen(v).ok) << what;
        EXPECT_EQ(Describe(v), Describe(Sentinel())) << what;
        v = ObserverValues();
        for (SettingsStatus s : {file.SaveCurrentSettings(v), file.SaveLatestPaths(v), file.WriteDefaultSettings(v),
                                 file.SaveDialogSettings(v, {})})
            EXPECT_FALSE(s.ok) << what;
        verify();
    };
    const std::string big = "[Files]\r\n" + std::string(IniFile::kMaxBytes, ';');
    testutil::WriteAll(path, big);
    checkUntouched("too large", [&] { EXPECT_EQ(testutil::ReadAll(path), big); });
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    checkUntouched("a folder", [&] { EXPECT_TRUE(std::filesystem::is_directory(path)); });
    std::filesystem::remove(path);
    if (::geteuid() != 0) {
        testutil::WriteAll(path, "[Files]\r\n");
        ::chmod(path.c_str(), 0200);
        checkUntouched("no read permission", [&] {
            ::chmod(path.c_str(), 0644);
            EXPECT_EQ(testutil::ReadAll(path), "[Files]\r\n");
        });
    }
}

TEST_F(SettingsFileTest, LineBreaksInValuesAreRefused) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    SettingsValues v = ObserverValues();
    v.VideoFolder = "/videos/\r\n[Aperture Size]\r\nRadius of Aperture=99";
    const SettingsStatus s = file.SaveLatestPaths(v);
    EXPECT_TRUE(!s.ok && s.message.find(path) != std::string::npos && !file.SaveCurrentSettings(v).ok) << s.message;
    for (auto [name, prediction] : {std::pair{std::string("Nul\0Name", 8), std::string("/p")}, {"ok", "a\nb"}}) {
        v = ObserverValues();
        v.ObserverName = name, v.PredictionFilePath = prediction;
        EXPECT_FALSE(file.SaveDialogSettings(v, SettingsDialogTicks{}).ok) << prediction;
    }
    EXPECT_EQ(testutil::ReadAll(path), Golden("first_start.ini"));
}

TEST(SettingsPath, BesideTheProgramOrInTheUsersConfigFolder) {
    testutil::TempDir dir;
    const std::string bin = dir.File("bin");
    std::filesystem::create_directory(bin);
    EXPECT_EQ(ChooseSettingsPath(bin + "/tevorin", "/cfg", "/home/u"), bin + "/tevorin.ini");
    EXPECT_EQ(ChooseSettingsPath(bin + "/prog.exe", "/cfg", "/home/u"), bin + "/prog.ini");
    ::chmod(bin.c_str(), 0555);
    EXPECT_EQ(ChooseSettingsPath(bin + "/tevorin", "/cfg/", "/home/u"), "/cfg/tevorin/tevorin.ini");
    EXPECT_EQ(ChooseSettingsPath(bin + "/tevorin", "", "/home/u"), "/home/u/.config/tevorin/tevorin.ini");
    EXPECT_EQ(ChooseSettingsPath(bin + "/tevorin", "relative", "/home/u"), "/home/u/.config/tevorin/tevorin.ini");
    EXPECT_EQ(ChooseSettingsPath(bin + "/tevorin", "", ""), bin + "/tevorin.ini");
    ::chmod(bin.c_str(), 0755);
    // The first write creates the configuration folder.
    SettingsFile file(dir.File("cfg/tevorin/tevorin.ini"), kProgramFolder);
    SettingsValues v;
    ASSERT_TRUE(file.StartupSettings(v));
    EXPECT_EQ(testutil::ReadAll(dir.File("cfg/tevorin/tevorin.ini")), Golden("first_start.ini"));
}

TEST_F(SettingsFileTest, DefaultsOverAnExistingFileKeepTheOtherKeys) {
    testutil::WriteAll(path, Golden("after_save_current.ini") + "[Identification]\r\nObserver=A. Nakamura\r\n");
    SettingsValues v = ObserverValues();
    v.CaptureFilePath = "/captures/";
    ASSERT_TRUE(file.WriteDefaultSettings(v));
    EXPECT_EQ(v.CaptureFilePath, kProgramFolder);
    std::string want = Golden("first_start.ini");
    want.replace(want.find("Memory Latest Access to .CSV files=1\r\n"), 38,
                 "Memory Latest Access to .CSV files=1\r\nPath to .CSV input files=/home/obs/in/\r\n"
                 "Memory Latest Access to .CSV input files=1\r\n");
    want += "[Identification]\r\nObserver=A. Nakamura\r\n";
    EXPECT_EQ(testutil::ReadAll(path), want);
}
