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

// Every field, one per line, so that a mismatch shows which.
std::string Describe(const SettingsValues& v) {
    std::ostringstream s;
    s << "folders " << v.VideoFolder << " | " << v.SavedResultsFolder << " | " << v.ResultsFolder << "\n"
      << "follow/remember " << v.CsvFolderFollowsVideo << v.RememberVideoFolder << v.RememberSavedResultsFolder
      << v.RememberResultsFolder << "\n"
      << "avisynth/dshow " << v.UseAviSynth << v.DirectShowSelected << "\n"
      << "psf/field/order/top " << v.PsfPhotometry << v.FieldMeasure << v.FieldOrderItem << v.TopFieldFirst << "\n"
      << "radii " << v.ApertureRadius << " " << v.BkgInnerRadius << " " << v.BkgOuterRadius << "\n"
      << "form " << v.BkgForm << " gap " << v.BkgGap << " width " << v.BkgWidth << " enabled " << v.GapEnabled
      << v.WidthEnabled << " shapeA " << int(v.ObjectABkgShape) << "\n"
      << "tracking " << v.TrackMode << " " << v.TrackRadius << " " << v.TrackThreshold << " sync " << v.SyncTracking
      << "\n"
      << "time " << v.OverlayThreshold << " " << v.ReadOverlayTime << " inserter " << v.TimeInserterType
      << " reading " << v.OverlayGridLocated << v.TIViReading << v.OverlayTimeReading << "\n"
      << "signal " << v.SignalBoxesEnabled << v.SignalButtonsEnabled << v.StarPositionSet << "\n"
      << "capture " << v.CaptureFilePath << " observer " << v.ObserverName << " prediction " << v.PredictionFilePath
      << "\n";
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
    v.VideoFolder = "/home/obs/videos/";
    v.SavedResultsFolder = "/home/obs/csv out/";
    v.ResultsFolder = "/home/obs/in/";
    v.CsvFolderFollowsVideo = true;
    v.RememberVideoFolder = true;
    v.RememberSavedResultsFolder = false;
    v.RememberResultsFolder = true;
    v.UseAviSynth = false;
    v.DirectShowSelected = false;
    v.PsfPhotometry = false;
    v.FieldMeasure = true;
    v.FieldOrderItem = 0;
    v.TopFieldFirst = true;
    v.ApertureRadius = 4;
    v.BkgInnerRadius = 9;
    v.BkgOuterRadius = 20;
    v.BkgForm = 1;
    v.GapEnabled = true;
    v.WidthEnabled = false;
    v.ObjectABkgShape = 1;
    v.BkgGap = 3;
    v.BkgWidth = 7;
    v.TrackMode = 2;
    v.TrackRadius = 5;
    v.TrackThreshold = 60;
    v.SyncTracking = false;
    v.OverlayThreshold = 120;
    v.ReadOverlayTime = false;
    v.TimeInserterType = 2;
    v.SignalBoxesEnabled = false;
    v.SignalButtonsEnabled = false;
    v.StarPositionSet = true;
    v.CaptureFilePath = kProgramFolder;
    v.ObserverName = "Observer's Name";
    v.PredictionFilePath = kProgramFolder;
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
    v.BkgForm = 1;
    v.GapEnabled = true;
    v.WidthEnabled = false;
    v.ObjectABkgShape = kShapeRectangle;
    v.TrackMode = -1;
    v.OverlayGridLocated = v.TIViReading = v.OverlayTimeReading = true;
    v.StarPositionSet = false;
    v.CaptureFilePath = v.ObserverName = v.PredictionFilePath = "?";
    return v;
}

SettingsValues Applied(const std::string& text, SettingsValues v = Sentinel()) {
    SettingsFile::ApplyDocument(IniFile::FromText(text), v, kProgramFolder);
    return v;
}

bool IsRoot() { return ::geteuid() == 0; }

class SettingsFileTest : public ::testing::Test {
protected:
    testutil::TempDir dir;
    std::string path = dir.File("tevorin.ini");
    SettingsFile file{path, kProgramFolder};
};

}  // namespace

TEST_F(SettingsFileTest, FirstStartWritesTheDefaultsAndReadsThemBack) {
    SettingsValues v = Sentinel();
    ASSERT_FALSE(file.IniExists());
    ASSERT_TRUE(file.StartupSettings(v));
    EXPECT_EQ(testutil::ReadAll(path), Golden("first_start.ini"));

    const std::string want =
        "folders / | / | \n"
        "follow/remember 0111\n"
        "avisynth/dshow 11\n"
        "psf/field/order/top 1010\n"
        "radii 6 8 25\n"
        "form 2 gap 0 width 5 enabled 11 shapeA 2\n"
        "tracking 1 6 95 sync 1\n"
        "time 100 1 inserter 1 reading 000\n"
        "signal 110\n"
        "capture /opt/tevorin/ observer Observer's Name prediction /opt/tevorin/\n"
        "memorized 1: 6 8 25 6\nmemorized 2: 6 8 25 6\nmemorized 3: 6 8 25 6\n";
    EXPECT_EQ(Describe(v), want);

    // A second start only reads.
    SettingsValues again = Sentinel();
    ASSERT_TRUE(file.StartupSettings(again));
    EXPECT_EQ(Describe(again), want);
    EXPECT_EQ(testutil::ReadAll(path), Golden("first_start.ini"));
}

TEST_F(SettingsFileTest, StartWithAnotherFileTakesItsValues) {
    testutil::WriteAll(path, Golden("after_save_current.ini"));
    SettingsValues v = Sentinel();
    ASSERT_TRUE(file.StartupSettings(v));
    EXPECT_EQ(Describe(v), Describe(ObserverValues()));
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_save_current.ini"));
}

TEST_F(SettingsFileTest, EmptyFileGivesTheReadDefaults) {
    testutil::WriteAll(path, "");
    SettingsValues v = Sentinel();
    ASSERT_TRUE(file.LoadSettings(v));
    EXPECT_EQ(Describe(v),
              "folders  |  | \n"
              "follow/remember 1111\n"
              "avisynth/dshow 00\n"
              "psf/field/order/top 1010\n"
              "radii 5 10 25\n"
              "form 0 gap 10 width 25 enabled 00 shapeA 0\n"
              "tracking 0 7 50 sync 1\n"
              "time 100 0 inserter 1 reading 000\n"
              "signal 110\n"
              "capture /opt/tevorin/ observer Observer's Name prediction /opt/tevorin/\n"
              "memorized 1: 5 10 25 7\nmemorized 2: 5 10 25 7\nmemorized 3: 5 10 25 7\n");
    EXPECT_EQ(testutil::ReadAll(path), "");  // reading never writes
}

TEST_F(SettingsFileTest, SaveCurrentSettingsGoldenFiles) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    ASSERT_TRUE(file.SaveCurrentSettings(ObserverValues()));
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_save_current.ini"));

    // A file edited by hand keeps its comments, unknown sections and bytes,
    // key spellings and line ends; only the keys written change.
    testutil::WriteAll(path, Golden("hand_edited.ini"));
    ASSERT_TRUE(file.SaveCurrentSettings(ObserverValues()));
    EXPECT_EQ(testutil::ReadAll(path), Golden("hand_edited_after_save_current.ini"));
    SettingsValues back = Sentinel();
    ASSERT_TRUE(file.LoadSettings(back));
    EXPECT_EQ(back.ObserverName, "A. Nakamura");
    EXPECT_EQ(back.PredictionFilePath, "/data/pred.txt");
    back.ObserverName = "Observer's Name", back.PredictionFilePath = kProgramFolder;
    EXPECT_EQ(Describe(back), Describe(ObserverValues()));
}

TEST_F(SettingsFileTest, SaveCurrentSettingsSkipsChoicesWithoutAWord) {
    SettingsValues v = ObserverValues();
    v.FieldOrderItem = -1;
    v.BkgForm = -1;
    v.TrackMode = -1;  // "CSV" tracking
    v.TimeInserterType = 7;
    ASSERT_TRUE(file.SaveCurrentSettings(v));
    IniFile ini;
    std::string err;
    ASSERT_EQ(ini.Load(path, err), IniFile::LoadResult::Loaded);
    EXPECT_FALSE(ini.Find("Measurement", "FieldOrder"));
    EXPECT_FALSE(ini.Find("Background Area", "Form"));
    EXPECT_FALSE(ini.Find("Star Tracking", "Tracking Mode"));
    EXPECT_FALSE(ini.Find("TimeSignal", "VideoTimeInserter"));
    EXPECT_TRUE(ini.Find("Background Area", "Gap"));
}

TEST_F(SettingsFileTest, SaveLatestPathsWritesOnlyRememberedFolders) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    SettingsValues v;
    v.VideoFolder = "/home/obs/videos/";
    v.SavedResultsFolder = "/elsewhere/";
    v.ResultsFolder = "/home/obs/in/";
    v.RememberVideoFolder = true, v.RememberSavedResultsFolder = false, v.RememberResultsFolder = true;
    ASSERT_TRUE(file.SaveLatestPaths(v));
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_latest_paths.ini"));

    v.VideoFolder = "/changed/";
    v.RememberVideoFolder = v.RememberResultsFolder = false;
    ASSERT_TRUE(file.SaveLatestPaths(v));
    EXPECT_EQ(testutil::ReadAll(path), Golden("after_latest_paths.ini"));

    // Nothing to write: no file is created.
    std::filesystem::remove(path);
    ASSERT_TRUE(file.SaveLatestPaths(v));
    EXPECT_FALSE(file.IniExists());
}

TEST(SettingsChoices, EveryWordExactlyInOtherCaseAndAsJunk) {
    struct Case {
        const char* section;
        const char* key;
        const char* word;
        std::function<int(const SettingsValues&)> get;
        int want;
    };
    auto dshow = [](const SettingsValues& v) { return int(v.DirectShowSelected); };
    auto psf = [](const SettingsValues& v) { return int(v.PsfPhotometry); };
    auto field = [](const SettingsValues& v) { return int(v.FieldMeasure); };
    auto order = [](const SettingsValues& v) { return v.FieldOrderItem * 10 + v.TopFieldFirst; };
    // form, shape of object A, gap enabled, width enabled; the sentinel is 1310.
    auto form = [](const SettingsValues& v) {
        return v.BkgForm * 1000 + v.ObjectABkgShape * 100 + v.GapEnabled * 10 + v.WidthEnabled;
    };
    auto mode = [](const SettingsValues& v) { return v.TrackMode; };
    auto sync = [](const SettingsValues& v) { return int(v.SyncTracking); };
    // inserter and the three overlay reading switches; the sentinel has them on.
    auto inserter = [](const SettingsValues& v) {
        return v.TimeInserterType * 1000 + v.OverlayGridLocated * 100 + v.TIViReading * 10 + v.OverlayTimeReading;
    };
    const Case cases[] = {
        {"FileRead", "API for reading file", "DirectShow", dshow, 1},
        {"FileRead", "API for reading file", "VideoForWindows", dshow, 0},
        {"FileRead", "API for reading file", "directshow", dshow, 0},
        {"FileRead", "API for reading file", "DirectShow2", dshow, 0},
        {"Measurement", "Photometry", "PSF photometry", psf, 1},
        {"Measurement", "Photometry", "Aperture photometry", psf, 0},
        {"Measurement", "Photometry", "PSF Photometry", psf, 0},
        {"Measurement", "Photometry", "", psf, 0},
        {"Measurement", "Measure", "for each Field", field, 1},
        {"Measurement", "Measure", "for each Frame", field, 0},
        {"Measurement", "Measure", "For Each Field", field, 0},
        {"Measurement", "FieldOrder", "Top first", order, 1},
        {"Measurement", "FieldOrder", "Bottom first", order, 10},
        {"Measurement", "FieldOrder", "top first", order, 10},
        {"Measurement", "FieldOrder", "Top", order, 10},
        {"Background Area", "Form", "Standard", form, 0},
        {"Background Area", "Form", "Avoid Sunlit Face", form, 1110},
        {"Background Area", "Form", "Meteor/Lunar Limb", form, 2211},
        {"Background Area", "Form", "standard", form, 1310},
        {"Background Area", "Form", "Meteor", form, 1310},
        {"Star Tracking", "Tracking Mode", "Anchor", mode, 0},
        {"Star Tracking", "Tracking Mode", "Drift", mode, 1},
        {"Star Tracking", "Tracking Mode", "OFF", mode, 2},
        {"Star Tracking", "Tracking Mode", "off", mode, -1},
        {"Star Tracking", "Tracking Mode", "CSV", mode, -1},
        {"Star Tracking", "Synchronize to Radius of Aperture", "ON", sync, 1},
        {"Star Tracking", "Synchronize to Radius of Aperture", "OFF", sync, 0},
        {"Star Tracking", "Synchronize to Radius of Aperture", "On", sync, 0},
        {"Star Tracking", "Synchronize to Radius of Aperture", "1", sync, 0},
        {"TimeSignal", "VideoTimeInserter", "IOTA-VTI", inserter, 111},
        {"TimeSignal", "VideoTimeInserter", "KIWI-OSD", inserter, 1000},
        {"TimeSignal", "VideoTimeInserter", "GHS-OSD", inserter, 2000},
        {"TimeSignal", "VideoTimeInserter", "iota-vti", inserter, 1000},
        {"TimeSignal", "VideoTimeInserter", "IOTA VTI", inserter, 1000},
        {"TimeSignal", "VideoTimeInserter", "", inserter, 1000},
    };
    for (const auto& c : cases) {
        std::string text = std::string("[") + c.section + "]\r\n" + c.key + "=" + c.word + "\r\n";
        EXPECT_EQ(c.get(Applied(text)), c.want) << c.key << "=" << c.word;
    }
    // Absent keys: the read defaults (sentinel where an unknown word changes nothing).
    SettingsValues none = Applied("");
    EXPECT_EQ(dshow(none), 0);
    EXPECT_EQ(psf(none), 1);
    EXPECT_EQ(order(none), 10);
    EXPECT_EQ(form(none), 0);
    EXPECT_EQ(mode(none), 0);
    EXPECT_EQ(sync(none), 1);
    EXPECT_EQ(inserter(none), 1000);
}

TEST(SettingsChoices, SignalBoxesDecideThePlacementButtons) {
    SettingsValues off = Applied("[SignalDetectionArea for LED]\nSignal1,2=0\n");
    EXPECT_FALSE(off.SignalBoxesEnabled);
    EXPECT_FALSE(off.SignalButtonsEnabled);
    EXPECT_TRUE(off.StarPositionSet);
    SettingsValues on = Applied("[SignalDetectionArea for LED]\nSignal1,2=5\n");
    EXPECT_TRUE(on.SignalBoxesEnabled);
    EXPECT_TRUE(on.SignalButtonsEnabled);
    EXPECT_FALSE(on.StarPositionSet);  // left as it was
    EXPECT_TRUE(Applied("[SignalDetectionArea for LED]\nSignal1,2=yes\n").SignalBoxesEnabled);
}

TEST(SettingsClamping, NumbersAreClampedIntoTheControlsRanges) {
    struct Case {
        const char* radius;
        const char* inner;
        const char* outer;
        int wantRadius, wantInner, wantOuter;
    };
    const Case cases[] = {
        {"6", "8", "25", 6, 8, 25},   {"30", "40", "99", 24, 25, 25}, {"-5", "-5", "-5", 0, 1, 1},
        {"10", "5", "20", 4, 5, 20},  {"3", "8", "6", 3, 6, 6},       {"8", "8", "8", 7, 8, 8},
        {"6px", "", "x", 5, 10, 25},  {"2147483647", "-2147483648", "0", 0, 1, 1},
    };
    for (const auto& c : cases) {
        std::string text = std::string("[Aperture Size]\nRadius of Aperture=") + c.radius +
                           "\nInner Radius of Background=" + c.inner + "\nOuter Radius of Background=" + c.outer +
                           "\n";
        SettingsValues v = Applied(text);
        EXPECT_EQ(v.ApertureRadius, c.wantRadius) << text;
        EXPECT_EQ(v.BkgInnerRadius, c.wantInner) << text;
        EXPECT_EQ(v.BkgOuterRadius, c.wantOuter) << text;
        for (int k = 1; k <= 3; ++k) {
            EXPECT_EQ(v.MemorizedRadii[0].Objects[k].ApertureRadius, c.wantRadius);
            EXPECT_EQ(v.MemorizedRadii[0].Objects[k].BkgOuterRadius, c.wantOuter);
        }
    }
    SettingsValues low = Applied(
        "[Background Area]\nGap=-1\nWidth=-30\n[Star Tracking]\nRadius=-2\nThreshold=-3\n[TimeSignal]\nThreshold=-1\n");
    EXPECT_EQ(low.BkgGap, 0);
    EXPECT_EQ(low.BkgWidth, 0);
    EXPECT_EQ(low.TrackRadius, 0);
    EXPECT_EQ(low.TrackThreshold, 0);
    EXPECT_EQ(low.OverlayThreshold, 0);
    SettingsValues high = Applied(
        "[Background Area]\nGap=26\nWidth=1000\n[Star Tracking]\nRadius=40\nThreshold=100\n[TimeSignal]\nThreshold=256\n");
    EXPECT_EQ(high.BkgGap, 25);
    EXPECT_EQ(high.BkgWidth, 25);
    EXPECT_EQ(high.TrackRadius, 25);
    EXPECT_EQ(high.MemorizedRadii[0].Objects[2].TrackRadius, 25);
    EXPECT_EQ(high.TrackThreshold, 99);
    EXPECT_EQ(high.OverlayThreshold, 255);
}

TEST_F(SettingsFileTest, DialogSavesAlwaysKeysAndTickedItems) {
    testutil::WriteAll(path, Golden("first_start.ini"));
    SettingsValues v = ObserverValues();
    v.CaptureFilePath = "";
    v.ObserverName = "A. Nakamura";
    v.PredictionFilePath = "/data/pred.txt";
    SettingsDialogTicks ticks;
    ticks.RememberVideoFolder = false, ticks.RememberSavedResultsFolder = true, ticks.RememberResultsFolder = false;
    ticks.UseAviSynth = true;
    ticks.ReadOverlayTime = false;
    ASSERT_TRUE(file.SaveDialogSettings(v, ticks));
    EXPECT_EQ(v.CaptureFilePath, kProgramFolder);
    std::string want = Golden("first_start.ini");
    auto replace = [&](const std::string& from, const std::string& to) {
        size_t at = want.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        want.replace(at, from.size(), to);
    };
    replace("Path to .AVI files=/\r\nPath to .CSV files=/\r\nCSV path is same as AVI=0\r\n"
            "Memory Latest Access to .AVI files=1\r\nMemory Latest Access to .CSV files=1\r\n",
            "Path to .AVI files=/home/obs/videos/\r\nPath to .CSV files=/home/obs/csv out/\r\n"
            "CSV path is same as AVI=1\r\nMemory Latest Access to .AVI files=0\r\n"
            "Memory Latest Access to .CSV files=1\r\nPath to .CSV input files=/home/obs/in/\r\n"
            "Memory Latest Access to .CSV input files=0\r\n");
    replace("API for reading file=DirectShow", "API for reading file=VideoForWindows");
    replace("Read from KIWI-OSD=1\r\nVideoTimeInserter=KIWI-OSD", "Read from KIWI-OSD=0\r\nVideoTimeInserter=GHS-OSD");
    want += "[Identification]\r\nObserver=A. Nakamura\r\nPrediction file=/data/pred.txt\r\n";
    EXPECT_EQ(testutil::ReadAll(path), want);

    // Every item ticked: the file then reads back as the main window's values,
    // with the dialog's own boxes where they take part.
    ticks.Photometry = ticks.Measure = ticks.FieldOrder = ticks.Radii = ticks.Form = ticks.Gap = ticks.Width =
        ticks.TrackingMode = ticks.TrackingRadius = ticks.TrackingThreshold = ticks.Synchronize =
            ticks.TimeSignalThreshold = ticks.SignalBoxes = true;
    ticks.ReadOverlayTime = true;
    ASSERT_TRUE(file.SaveDialogSettings(v, ticks));
    SettingsValues back = Sentinel();
    ASSERT_TRUE(file.LoadSettings(back));
    SettingsValues expected = v;
    expected.RememberVideoFolder = false, expected.RememberSavedResultsFolder = true;
    expected.RememberResultsFolder = false;
    expected.UseAviSynth = true;
    expected.ReadOverlayTime = true;
    EXPECT_EQ(Describe(back), Describe(expected));
}

TEST_F(SettingsFileTest, VideoOpeningRereadsAndRecreatesAMissingFile) {
    // The folders are written first, so the file usually exists with only them.
    SettingsValues v = ObserverValues();
    ASSERT_TRUE(file.SaveLatestPaths(v));
    EXPECT_EQ(testutil::ReadAll(path),
              "[Files]\r\nPath to .AVI files=/home/obs/videos/\r\nPath to .CSV input files=/home/obs/in/\r\n");
    ASSERT_TRUE(file.ReloadAfterVideoOpen(v));
    EXPECT_EQ(v.VideoFolder, "/home/obs/videos/");
    EXPECT_EQ(v.SavedResultsFolder, "");
    EXPECT_EQ(v.ApertureRadius, 5);  // absent keys take their read defaults
    EXPECT_EQ(v.BkgForm, 0);
    EXPECT_EQ(testutil::ReadAll(path),
              "[Files]\r\nPath to .AVI files=/home/obs/videos/\r\nPath to .CSV input files=/home/obs/in/\r\n");

    // No file at all: the read defaults are written out and read back.
    std::filesystem::remove(path);
    v = ObserverValues();
    ASSERT_TRUE(file.ReloadAfterVideoOpen(v));
    std::string text = testutil::ReadAll(path);
    EXPECT_NE(text.find("Radius of Aperture=5\r\nInner Radius of Background=10\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("API for reading file=VideoForWindows\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Form=Standard\r\nGap=10\r\nWidth=25\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("[Capture]"), std::string::npos) << text;
    EXPECT_EQ(text.find("[Identification]"), std::string::npos) << text;
    EXPECT_EQ(v.ApertureRadius, 5);
    EXPECT_EQ(v.TrackMode, 0);
    EXPECT_EQ(v.VideoFolder, "");
}

TEST_F(SettingsFileTest, ReadOnlyFolderOrFileFailsCleanly) {
    const std::string golden = Golden("first_start.ini");
    auto checkRefused = [&](const std::string& what) {
        SettingsValues v = ObserverValues();
        SettingsDialogTicks ticks;
        // (The default values are already in the file, so writing them changes
        // nothing and succeeds.)
        EXPECT_TRUE(file.WriteDefaultSettings(v).ok);
        for (SettingsStatus s : {file.SaveCurrentSettings(v), file.SaveLatestPaths(v), file.SaveDialogSettings(v, ticks)}) {
            EXPECT_FALSE(s.ok) << what;
            EXPECT_EQ(s.message.rfind("Could not write the settings file.\r\n" + path + "\r\n", 0), 0u) << s.message;
        }
        EXPECT_EQ(testutil::ReadAll(path), golden) << what;
        // Reading still works.
        SettingsValues back = Sentinel();
        EXPECT_TRUE(file.LoadSettings(back));
        EXPECT_EQ(back.ApertureRadius, 6);
    };
    testutil::WriteAll(path, golden);
    ::chmod(path.c_str(), 0444);
    checkRefused("file");
    ::chmod(path.c_str(), 0644);
    ::chmod(dir.Path().c_str(), 0555);
    checkRefused("folder");
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(SettingsFileTest, StartInAReadOnlyFolderStillUsesTheDefaults) {
    ::chmod(dir.Path().c_str(), 0555);
    SettingsValues v = Sentinel();
    SettingsStatus s = file.StartupSettings(v);
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find(path), std::string::npos);
    EXPECT_FALSE(file.IniExists());
    EXPECT_EQ(v.ApertureRadius, 6);
    EXPECT_EQ(v.BkgForm, 2);
    EXPECT_EQ(v.TrackThreshold, 95);
    EXPECT_TRUE(v.DirectShowSelected);
    EXPECT_EQ(v.CaptureFilePath, kProgramFolder);
}

TEST_F(SettingsFileTest, UnreadableFileIsNeverWrittenBack) {
    auto checkUntouched = [&](const std::string& what, const std::function<void()>& verify) {
        SettingsValues v = Sentinel();
        SettingsStatus load = file.LoadSettings(v);
        EXPECT_FALSE(load.ok) << what;
        EXPECT_EQ(load.message.rfind("Could not read the settings file.\r\n" + path + "\r\n", 0), 0u) << load.message;
        EXPECT_EQ(Describe(v), Describe(Sentinel())) << what;
        EXPECT_FALSE(file.StartupSettings(v).ok) << what;
        EXPECT_FALSE(file.ReloadAfterVideoOpen(v).ok) << what;
        EXPECT_EQ(Describe(v), Describe(Sentinel())) << what;
        SettingsDialogTicks ticks;
        v = ObserverValues();
        EXPECT_FALSE(file.SaveCurrentSettings(v).ok) << what;
        EXPECT_FALSE(file.SaveLatestPaths(v).ok) << what;
        EXPECT_FALSE(file.WriteDefaultSettings(v).ok) << what;
        EXPECT_FALSE(file.SaveDialogSettings(v, ticks).ok) << what;
        verify();
    };
    const std::string big = "[Files]\r\n" + std::string(IniFile::kMaxBytes, ';');
    testutil::WriteAll(path, big);
    checkUntouched("too large", [&] { EXPECT_EQ(testutil::ReadAll(path), big); });
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    checkUntouched("a folder", [&] { EXPECT_TRUE(std::filesystem::is_directory(path)); });
    std::filesystem::remove(path);
    if (!IsRoot()) {
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
    SettingsStatus s = file.SaveLatestPaths(v);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(s.message.find(path), std::string::npos);
    EXPECT_FALSE(file.SaveCurrentSettings(v).ok);
    v = ObserverValues();
    v.ObserverName = std::string("Nul\0Name", 8);
    EXPECT_FALSE(file.SaveDialogSettings(v, SettingsDialogTicks{}).ok);
    v.ObserverName = "ok";
    v.PredictionFilePath = "a\nb";
    EXPECT_FALSE(file.SaveDialogSettings(v, SettingsDialogTicks{}).ok);
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
