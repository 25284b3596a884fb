// The main window's switches: "Field Measure" under PSF photometry and after a
// settings read, "Photometry", "Tracking", "Estimated track", "More", "Hide Main
// Menu", the small up-downs, the memorised radii and the string speed test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenuBar>

#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "measure/presets.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

namespace {

constexpr const char* kAperture =
    "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
    "[Measurement]\r\nPhotometry=Aperture photometry\r\nMeasure=for each Frame\r\n[Background Area]\r\nForm=Standard\r\n";

struct Switches : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::unique_ptr<TPlatform> w;
    std::string video;

    void SetUp() override {
        dialogs.Install();
        testutil::WriteAll(dir.File("tevorin.ini"), kAperture);
        SetSettingsFilePath(dir.File("tevorin.ini"));
        w = std::make_unique<TPlatform>();
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    void OpenClip() {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        video = dir.File("clip.avi");
        ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 6 -c:v rawvideo "
                                "-pix_fmt bgr24 " + video),
                  0);
        dialogs.fileAnswers.push_back(video);
        w->Button1Click();
        ASSERT_TRUE(w->State.VideoOpen);
    }
    size_t DataRows() const { return w->Table.Count() - static_cast<size_t>(DetectResultsFormat(w->Table).headerLines); }
};

}  // namespace

TEST(MemorizedRadii, AllLinesWithinTheChain) {
    DataLineSet lines, memorized;
    const int given[4][3] = {{}, {3, 9, 20}, {30, 40, 50}, {9, 4, 2}};
    for (int k = 1; k <= 3; ++k) {
        memorized[0].Objects[k].ApertureRadius = given[k][0];
        memorized[0].Objects[k].BkgInnerRadius = given[k][1];
        memorized[0].Objects[k].BkgOuterRadius = given[k][2];
        for (DataLine& l : lines) l.Objects[k].TrackRadius = 7;
    }
    ApplyMemorizedRadii(lines, memorized);
    // Hand-clamped: 0 <= aperture < inner <= outer <= 25.
    const int want[4][3] = {{}, {3, 9, 20}, {24, 25, 25}, {1, 2, 2}};
    for (int l = 0; l < 3; ++l)
        for (int k = 1; k <= 3; ++k) {
            const DataLineObject& o = lines[static_cast<size_t>(l)].Objects[k];
            EXPECT_EQ((std::tuple(o.ApertureRadius, o.BkgInnerRadius, o.BkgOuterRadius, o.TrackRadius)),
                      (std::tuple(want[k][0], want[k][1], want[k][2], 7)))
                << "line " << l << " object " << k;
        }
}

TEST_F(Switches, FieldMeasureIsRefusedUnderPsfPhotometry) {
    OpenClip();
    w->CheckBox14->click();  // PSF photometry on
    ASSERT_TRUE(w->CheckBox14->isChecked());
    EXPECT_FALSE(w->CheckBox2->isEnabled());
    EXPECT_EQ(w->GroupBox3->title(), "FWHM");
    EXPECT_EQ(w->Label11->text(), " ");
    EXPECT_FALSE(w->Button40->isEnabled());
    // Enabled by hand, a click is still refused with the note.
    w->CheckBox2->setEnabled(true);
    w->CheckBox2->click();
    EXPECT_FALSE(w->CheckBox2->isChecked());
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back().text, "Field mode is not available on PSF photometry.");
    EXPECT_EQ(dialogs.shown.back().title, "Note");
    w->CheckBox14->click();
    EXPECT_TRUE(w->CheckBox2->isEnabled());
    EXPECT_EQ(w->GroupBox3->title(), "Half Flux");
    EXPECT_EQ(w->Label11->text(), "Diameter");
    EXPECT_TRUE(w->Button40->isEnabled());
    // A user's click restarts the table with the field-mode header (two rows a frame).
    w->CheckBox2->click();
    ASSERT_TRUE(w->CheckBox2->isChecked());
    EXPECT_EQ(DataRows(), 0u);
    w->Button16Click();
    EXPECT_EQ(DataRows(), 2u);
}

TEST_F(Switches, ASettingsReadNeverEmptiesMeasuredRows) {
    OpenClip();
    w->CheckBox2->click();
    w->Button16Click();
    w->GoToFrame(1);
    w->Button16Click();
    ASSERT_EQ(DataRows(), 4u);
    const std::string saved = dir.File("field.csv");
    dialogs.fileAnswers.push_back(saved);
    w->SaveResultsFile();
    const std::vector<std::string> before = w->Table.Lines();
    // The settings file says frame mode; loading the field-mode results re-reads it.
    dialogs.fileAnswers.push_back(saved);
    ASSERT_TRUE(w->LoadResultsFile());
    EXPECT_FALSE(w->CheckBox2->isChecked());
    EXPECT_EQ(w->Table.Lines(), before);
    // With no data rows a settings read rewrites the header for the mode.
    w->ClearMeasurementData();
    ASSERT_EQ(DataRows(), 0u);
    w->SetFieldMeasure(true);
    const ResultsFormat f = DetectResultsFormat(w->Table);
    const std::string sub = w->Table[static_cast<size_t>(f.headerLines) - 2];
    EXPECT_NE(sub.find("\"Field\""), std::string::npos) << sub;
}

TEST_F(Switches, TrackingAndEstimatedTrack) {
    OpenClip();
    w->RadioButton5->click();  // Drift
    if (!w->CheckBox15->isChecked()) w->CheckBox15->click();
    w->CheckBox15->click();
    EXPECT_EQ(w->UpDown7->Position(), 95);
    EXPECT_EQ(w->Edit42->text(), "95");
    EXPECT_FALSE(w->CheckBox4->isEnabled());
    w->CheckBox15->click();
    EXPECT_EQ(w->UpDown7->Position(), 50);
    EXPECT_EQ(w->Edit42->text(), "50");
    ASSERT_TRUE(w->CheckBox4->isEnabled());
    w->CheckBox4->click();
    for (const DataLine& l : w->State.DataLines) EXPECT_EQ(l.Objects[1].EstimatedTrack, 1);
    EXPECT_EQ(w->Tracking.PredictTrack[1].Enabled, 1);
    // Tracking off again takes "Estimated track" with it.
    w->CheckBox15->click();
    EXPECT_FALSE(w->CheckBox4->isChecked());
    for (const DataLine& l : w->State.DataLines) EXPECT_EQ(l.Objects[1].EstimatedTrack, 0);
    EXPECT_EQ(w->Tracking.PredictTrack[1].Enabled, 0);
    // Refused while recording.
    w->State.RecordingFlag = 1;
    w->CheckBox15->click();
    EXPECT_EQ(w->UpDown7->Position(), 95);
    w->State.RecordingFlag = 0;
}

TEST_F(Switches, LayoutUpDownsAndTools) {
    w->CheckBox10->click();
    EXPECT_EQ(w->Memo1->height(), 209);
    w->CheckBox10->click();
    EXPECT_EQ(w->Memo1->height(), 361);
    EXPECT_GT(w->Edit33->y(), w->Memo1->geometry().bottom());
    ASSERT_TRUE(w->CheckBox16->isChecked());
    w->CheckBox16->click();
    EXPECT_TRUE(w->MainMenu1->isHidden());
    EXPECT_EQ(w->CheckBox16->text(), "Show Main Menu");
    w->CheckBox16->click();
    EXPECT_FALSE(w->MainMenu1->isHidden());
    EXPECT_EQ(w->CheckBox16->text(), "Hide Main Menu");

    const char* odd[] = {"1", "3", "5"};
    for (int p = 0; p <= 2; ++p) {
        w->UpDown12->SetPositionByUser(p);
        EXPECT_EQ(w->Edit46->text().toStdString(), odd[p]);
    }
    w->UpDown11->SetPositionByUser(250);
    EXPECT_EQ(w->Edit31->text(), "250");
    EXPECT_EQ(w->Edit51->text(), "0.50");
    EXPECT_EQ(w->Edit52->text(), "1.40");
    w->UpDown16->SetPositionByUser(250);  // held at 200
    w->UpDown15->SetPositionByUser(7);
    EXPECT_EQ(w->Edit52->text(), "2.00");
    EXPECT_EQ(w->Edit51->text(), "0.07");
    EXPECT_EQ(std::pair(w->CurrentPsfOptions().SigmaLowPercent, w->CurrentPsfOptions().SigmaHighPercent), std::pair(7, 200));
    // The table grows into the picture's room at 1 and 2 (what it covers is checked
    // in the layout test); 0 gives the designed place back.
    const QRect designed = w->Memo1->geometry();
    w->UpDown13->SetPositionByUser(1);
    const int half = w->Memo1->height();
    EXPECT_GT(half, designed.height());
    w->UpDown13->SetPositionByUser(2);
    EXPECT_GT(w->Memo1->height(), half);
    // Every control still fits in the window's content.
    EXPECT_LE(w->centralwidget->childrenRect().bottom(), w->centralwidget->minimumHeight());
    w->UpDown13->SetPositionByUser(0);
    EXPECT_EQ(w->Memo1->geometry(), designed);

    // "Test speed of string" writes its two lines to the scratch memo only.
    const std::vector<std::string> table = w->Table.Lines();
    w->estspeedofstring1->trigger();
    w->CheckBox5->setChecked(!w->CheckBox5->isChecked());
    w->estspeedofstring1->trigger();
    EXPECT_EQ(w->Memo2Table.Lines(), (std::vector<std::string>{"12345", "5", "12345", "5"}));
    EXPECT_EQ(w->Table.Lines(), table);
    // The air-transparency list: 81 wavelengths from 400 to 800.
    w->Button28->click();
    ASSERT_EQ(w->Memo2Table.Count(), 81u);
    EXPECT_NE(w->Memo2Table[0].find(",400,"), std::string::npos) << w->Memo2Table[0];
    EXPECT_NE(w->Memo2Table[80].find(",800,"), std::string::npos) << w->Memo2Table[80];
    EXPECT_TRUE(w->DisplayCamcordersTime2->isCheckable());
    EXPECT_TRUE(w->FixMin6MaxofGraph1->isCheckable());
}

TEST_F(Switches, MemorizedRadiiButton) {
    OpenClip();
    if (w->CheckBox14->isChecked()) w->CheckBox14->click();
    for (int k = 1; k <= 3; ++k) {
        w->State.MemorizedRadii[0].Objects[k].ApertureRadius = 4;
        w->State.MemorizedRadii[0].Objects[k].BkgInnerRadius = 11;
        w->State.MemorizedRadii[0].Objects[k].BkgOuterRadius = 19;
    }
    w->Button40->click();
    for (const DataLine& l : w->State.DataLines)
        EXPECT_EQ((std::tuple(l.Objects[1].ApertureRadius, l.Objects[1].BkgInnerRadius, l.Objects[1].BkgOuterRadius)),
                  (std::tuple(4, 11, 19)));
    EXPECT_EQ((std::tuple(w->UpDown1->Position(), w->UpDown2->Position(), w->UpDown3->Position())), (std::tuple(4, 11, 19)));
    EXPECT_EQ(w->Edit2->text(), "11");
    // Refused under PSF photometry.
    w->CheckBox14->click();
    w->State.MemorizedRadii[0].Objects[1].ApertureRadius = 2;
    w->Button40Click();
    EXPECT_EQ(w->State.FrameObject(1).ApertureRadius, 4);
}

TEST_F(Switches, OpenersOfWindowsNotBuiltAreDisabled) {
    const std::vector<std::string> rows = TPlatform::OpenerControls();
    const char* all[] = {"Button8",  "Button9",         "Button15",         "Button30",      "Button36",
                         "Button37", "Button38",        "Button41",         "LunarVelocityCalculator1",
                         "HistGram1", "Errorestimation1", "VideoCapture1",  "SoftwareUpdate1",
                         "Identificationforlightcurve1", "WebBrowser1",    "AVSFileEdit1"};
    // "LongLat recognition" (Button39) and "Map" (Map1) read the GPS record without a window.
    for (const char* name : all) {
        QObject* control = w->findChild<QObject*>(name);
        ASSERT_TRUE(control) << name;
        if (std::find(rows.begin(), rows.end(), name) != rows.end()) continue;
        const bool enabled = control->property("enabled").toBool();
        EXPECT_FALSE(enabled) << name << " has no opener row and should be disabled";
    }
}

TEST_F(Switches, APlayStartedWithinOneIntervalOfTheEndStops) {
    OpenClip();
    w->UpDown9->SetPositionByUser(14);
    w->GoToFrame(2);
    w->SpeedButton1Click();
    for (int i = 0; i < 100 && w->Timer1->isActive(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(w->State.RunningFlag, 0);
    EXPECT_EQ(w->Position(), 2);
}
