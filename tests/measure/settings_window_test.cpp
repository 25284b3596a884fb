// The settings dialog, the measurement options and the main window's settings
// handlers, offscreen, on a video whose frame n has blue 10 n, red x and green y
// at pixel (x, y), so a frame read from the wrong place or a wrong crop shows.
#include <gtest/gtest.h>

#include <QSignalBlocker>
#include <cmath>
#include <filesystem>
#include <sys/stat.h>

#include "measure/Measurement_option.h"
#include "measure/main_2.h"
#include "measure/preserveset.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "support/test_util.h"
#include "video/avidshow.h"

namespace {

const char* kVfwFile =
    "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
    "[Measurement]\r\nPhotometry=Aperture photometry\r\n[Background Area]\r\nForm=Meteor/Lunar Limb\r\n";

struct Settings : ::testing::Test {
    ScriptedDialogs dialogs;
    testutil::TempDir dir;
    std::string ini = dir.File("tevorin.ini");
    std::string video = dir.File("frames.avi");
    std::unique_ptr<TPlatform> w;

    void SetUp() override {
        dialogs.Install();
        SetSettingsFilePath(ini);
    }
    void TearDown() override {
        w.reset();
        SetSettingsFilePath("");
    }
    void Start(const char* file = kVfwFile) {
        if (file) testutil::WriteAll(ini, file);
        w = std::make_unique<TPlatform>();
    }
    bool Open() {
        if (!testutil::HaveProgram("ffmpeg")) return false;
        const std::string cmd = "ffmpeg -v error -y -f lavfi -i color=c=black:s=160x120:r=25 -frames:v 12 -vf "
                                "\"format=rgb24,geq=r='X':g='Y':b='10*N'\" -c:v rawvideo -pix_fmt bgr24 " + video;
        EXPECT_EQ(testutil::Run(cmd), 0);
        dialogs.fileAnswers.push_back(video);
        w->Button1Click();
        return w->State.VideoOpen != 0;
    }
    // The frame number carried by frame n as the reader in use delivers it.
    int Code(int n) {
        Bitmap24 b;
        std::string status;
        if (!w->FetchFrame(n, b, status)) return -1;
        return b.Scanline(5)[3 * 7] / 10;
    }
    TPreserveSetting* OpenDialog() {
        w->Button17->click();
        return PreserveSetting;
    }
    std::string LastBox() { return dialogs.shown.empty() ? "" : dialogs.shown.back().what + ":" + dialogs.shown.back().text; }
};

#define NEED_VIDEO() \
    if (!Open()) GTEST_SKIP() << "ffmpeg not found"

}  // namespace

TEST_F(Settings, DialogShowsTheMainWindowsValuesModallyWithTheTimerPaused) {
    Start(nullptr);  // first start: the default values
    w->Timer1->start(1000);
    TPreserveSetting* d = OpenDialog();
    ASSERT_TRUE(d);
    EXPECT_EQ(dialogs.shown.back().what + " " + dialogs.shown.back().text, "window PreserveSetting");
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_EQ(d->PageControl1->currentIndex(), 3);
    EXPECT_EQ(d->size(), QSize(429, 424));
    const auto labels = [&] {
        std::string s;
        for (QLabel* l : {d->Label1, d->Label20, d->Label2, d->Label3, d->Label4, d->Label5, d->Label6, d->Label7, d->Label8,
                          d->Label9, d->Label10, d->Label11, d->Label12, d->Label13})
            s += l->text().toStdString() + "|";
        return s;
    };
    EXPECT_EQ(labels(), "Frame by frame|PSF photometry|Bottom(Odd line) first|6 / 8 / 25|Meteor/Lunar Limb|5|0|Drift|ON|6|"
                        "95|80|ON|ON|");
    EXPECT_TRUE(d->RadioButton1->isChecked() && d->RadioButton4->isChecked() && d->CheckBox19->isChecked());
    EXPECT_TRUE(d->CheckBox14->isChecked() && d->CheckBox16->isChecked() && !d->CheckBox22->isChecked());
    d->Button5->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(PreserveSetting, nullptr);
    EXPECT_TRUE(w->Timer1->isActive());
    w->Timer1->stop();

    // Another state of the main window, set without its handlers.
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{w->CheckBox2, w->RadioButton2, w->RadioButton6}) {
        const QSignalBlocker quiet(b);
        b->setChecked(true);
    }
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{w->CheckBox14, w->CheckBox3, w->CheckBox5}) {
        const QSignalBlocker quiet(b);
        b->setChecked(false);
    }
    w->RadioGroup2->SetItemIndex(0);
    w->State.SignalBoxesEnabled = 0;
    w->State.TimeInserterType = 2;
    d = OpenDialog();
    EXPECT_EQ(labels(), "Field by field|Aperture photometry|Top(even) first|6 / 8 / 25|Avoid Sunlit Face|5|0|OFF|OFF|6|"
                        "95|80|OFF|OFF|");
    EXPECT_TRUE(d->RadioButton5->isChecked() && !d->CheckBox19->isChecked());
    EXPECT_EQ(w->ComboBox1->currentIndex(), 2);
    d->close();
    // Refused while running (the button) and while recording (the menu item too).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    w->State.RunningFlag = 1;
    EXPECT_EQ(OpenDialog(), nullptr);
    w->State.RecordingFlag = 1;
    w->UpdateSettingItems1->trigger();
    EXPECT_EQ(PreserveSetting, nullptr);
    w->State.RecordingFlag = 0;
    w->UpdateSettingItems1->trigger();
    ASSERT_TRUE(PreserveSetting);
    PreserveSetting->close();
}

TEST_F(Settings, UpdateIniFileAndDefaultAskFirstAndReportWhatHappened) {
    Start();
    const std::string before = testutil::ReadAll(ini);
    TPreserveSetting* d = OpenDialog();
    dialogs.yesNoAnswers = {false, false};
    d->Button1->click();
    EXPECT_EQ(LastBox(), "yesno:Setting will be Saved . Are you sure?");
    d->Button3->click();
    EXPECT_EQ(LastBox(), "yesno:Default Setting will be saved. Sure?");
    EXPECT_EQ(testutil::ReadAll(ini), before);

    // No file: the defaults first, then the dialog's keys.
    std::filesystem::remove(ini);
    d->CheckBox16->setChecked(false);
    EXPECT_EQ(w->State.UseAviSynth, 0);
    d->Button1->click();
    EXPECT_EQ(LastBox(), "yesonly:Setting was saved.");
    const std::string saved = testutil::ReadAll(ini);
    EXPECT_NE(saved.find("Use AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Form=Meteor/Lunar Limb\r\nGap=0\r\nWidth=5\r\n"), std::string::npos);  // the defaults

    // "Default" puts the defaults into the window at once.
    w->UpDown1->SetPosition(3);
    {
        const QSignalBlocker quiet(w->RadioButton1);
        w->RadioButton1->setChecked(true);
    }
    d->Button3->click();
    EXPECT_EQ(LastBox(), "yesonly:Default Setting was saved.");
    EXPECT_EQ(std::tuple(w->UpDown1->Position(), w->UpDown2->Position(), w->UpDown3->Position(), w->RadioButton3->isChecked(),
                         w->UpDown6->Position(), w->UpDown8->Position(), w->RadioButton5->isChecked(), w->UpDown5->Position(),
                         w->UpDown7->Position()),
              std::tuple(6, 8, 25, true, 0, 5, true, 6, 95));

    // A file that cannot be written: one error naming it, no success box, the file as it was.
    const std::string kept = testutil::ReadAll(ini);
    ::chmod(ini.c_str(), 0444);
    ::chmod(dir.Path().c_str(), 0555);
    d->CheckBox20->setChecked(true);
    w->State.SignalBoxesEnabled = 0;
    dialogs.shown.clear();
    d->Button1->click();
    d->Button11->click();
    ::chmod(dir.Path().c_str(), 0755);
    ::chmod(ini.c_str(), 0644);
    ASSERT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(dialogs.Texts("error")[0].rfind("Could not write the settings file.\r\n" + ini, 0), 0u);
    EXPECT_TRUE(dialogs.Texts("yesonly").empty());
    EXPECT_EQ(testutil::ReadAll(ini), kept);
    d->close();
}

TEST_F(Settings, ReaderSwitchReopensWithTheOtherReaderOrKeepsTheOne) {
    Start();
    // No video yet: only the selection and the caption.
    w->CheckBox7->setChecked(true);
    EXPECT_EQ(std::tuple(w->State.DirectShowSelected, w->State.ReaderKind, w->CheckBox7->text().toStdString()),
              std::tuple(uint8_t{1}, uint8_t{2}, std::string("DShow")));
    w->CheckBox7->setChecked(false);
    EXPECT_EQ(w->CheckBox7->text(), "VFW");
    NEED_VIDEO();
    ASSERT_EQ(w->State.ReaderKind, 0);
    for (bool dshow : {true, false, true}) {
        w->CheckBox7->setChecked(dshow);
        EXPECT_EQ(w->State.ReaderKind, dshow ? 1 : 0);
        for (int n : {0, 7, 3, 11}) EXPECT_EQ(Code(n), n) << dshow;
    }
    w->CheckBox7->setChecked(false);
    EXPECT_TRUE(dialogs.Texts("error").empty());

    // Renamed away: the dialog opened under Video for Windows tries exactly one
    // reopen, which fails once; the reader holding the video goes on.
    std::filesystem::rename(video, video + ".moved");
    TPreserveSetting* d = OpenDialog();
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0].rfind("Could not open .AVI file.\r\nframes.avi", 0), 0u);
    EXPECT_TRUE(d->RadioButton2->isChecked());
    // The dialog's "Direct Show" fails as well: everything back on Video for Windows.
    d->RadioButton1->click();
    EXPECT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(std::tuple(w->State.DirectShowSelected, w->State.ReaderKind, w->CheckBox7->isChecked(),
                         w->CheckBox7->text().toStdString(), d->RadioButton2->isChecked()),
              std::tuple(uint8_t{0}, uint8_t{0}, false, std::string("VFW"), true));
    EXPECT_EQ(Code(9), 9);
    d->close();
    // Refused while running: the box goes back.
    w->State.RunningFlag = 1;
    w->CheckBox7->setChecked(true);
    EXPECT_FALSE(w->CheckBox7->isChecked());
    EXPECT_EQ(w->State.DirectShowSelected, 0);
    w->State.RunningFlag = 0;

    // The settings read again at an opening choose the reader of the next opening;
    // the one that opened the video keeps it.
    std::filesystem::rename(video + ".moved", video);
    std::string file = kVfwFile;
    file.replace(file.find("VideoForWindows"), 15, "DirectShow");
    testutil::WriteAll(ini, file);
    dialogs.fileAnswers.push_back(video);
    w->Button1Click();
    EXPECT_EQ(std::tuple(w->State.ReaderKind, w->State.DirectShowSelected, w->CheckBox7->text().toStdString()),
              std::tuple(uint8_t{0}, uint8_t{1}, std::string("DShow")));
    EXPECT_EQ(dialogs.Texts("error").size(), 2u);
    EXPECT_EQ(Code(5), 5);
}

TEST_F(Settings, InserterAndOverlaySwitchSetThresholdsAndFlags) {
    Start();
    // Type, box: the threshold.
    for (auto [type, on, want] : {std::tuple{0, true, 80}, {0, false, 80}, {1, true, 80}, {1, false, 100}, {2, true, 100},
                                  {2, false, 100}}) {
        w->State.TimeInserterType = static_cast<uint8_t>(type);
        {
            const QSignalBlocker quiet(w->CheckBox5);
            w->CheckBox5->setChecked(!on);
        }
        w->UpDown4->SetPosition(7);
        w->CheckBox5->setChecked(on);
        EXPECT_EQ(std::tuple(w->UpDown4->Position(), w->OverlayThreshold, w->Edit4->text().toInt()), std::tuple(want, want, want))
            << type << on;
    }
    w->Edit24->setText("12");
    w->CheckBox5->setChecked(true);
    w->CheckBox5->setChecked(false);
    EXPECT_EQ((w->Edit24->text() + w->Edit25->text() + w->Edit26->text() + w->Edit27->text()).toStdString(), "");

    // The combo box: a user's choice runs the handler, a choice in code nothing.
    w->State.OverlayTimeReading = w->State.TIViReading = 1;
    w->ComboBox1->setCurrentIndex(1);
    EXPECT_EQ(w->State.OverlayTimeReading, 1);
    emit w->ComboBox1->activated(1);
    EXPECT_EQ(std::tuple(w->State.TimeInserterType, w->State.OverlayTimeReading, w->State.TIViReading, w->UpDown4->Position()),
              std::tuple(uint8_t{1}, uint8_t{0}, uint8_t{0}, 100));
    emit w->ComboBox1->activated(0);
    EXPECT_EQ(std::tuple(w->State.TimeInserterType, w->UpDown4->Position(), w->OverlayThreshold), std::tuple(uint8_t{0}, 80, 80));
    w->State.RecordingFlag = 1;
    w->ComboBox1->setCurrentIndex(2);
    emit w->ComboBox1->activated(2);
    EXPECT_EQ(std::tuple(w->State.TimeInserterType, w->ComboBox1->currentIndex()), std::tuple(uint8_t{0}, 0));
}

TEST_F(Settings, FormGapWidthAndRectangleAperture) {
    Start();
    // Before a video "Meteor/Lunar Limb" opens gap and width but keeps the shape.
    w->RadioButton1->setChecked(true);
    EXPECT_EQ(w->State.FrameObject(1).BkgShape, kShapeRing);
    EXPECT_FALSE(w->UpDown6->isEnabled());
    w->RadioButton3->setChecked(true);
    EXPECT_EQ(w->State.FrameObject(1).BkgShape, kShapeRing);
    EXPECT_TRUE(w->UpDown6->isEnabled() && w->UpDown8->isEnabled());
    w->RadioButton2->setChecked(true);
    EXPECT_EQ(w->State.FrameObject(1).BkgShape, kShapeSunlitFace);
    NEED_VIDEO();
    w->RadioButton3->setChecked(true);
    ASSERT_EQ(w->State.FrameObject(1).BkgShape, kShapeLimb);
    w->UpDown6->SetPositionByUser(4);
    w->UpDown8->SetPositionByUser(9);
    for (const DataLine& line : w->State.DataLines) EXPECT_EQ(std::pair(line.Objects[1].BkgGap, line.Objects[1].BkgWidth), std::pair(4, 9));

    // Rectangle w x h: the width and gap controls size it; the ring stays.
    const uint8_t mode = w->State.FrameObject(1).TrackMode;
    w->RectangleAperture1->trigger();
    ASSERT_EQ(w->State.FrameObject(1).BkgShape, kShapeRectangle);
    EXPECT_EQ(std::tuple(w->Label2->text().toStdString(), w->UpDown6->Max(), w->RadioButton6->isChecked(),
                         w->RadioButton1->isEnabled(), w->State.FrameObject(1).TrackMode),
              std::tuple(std::string("Height"), 51, true, false, uint8_t{kTrackOff}));
    w->UpDown8->SetPositionByUser(7);
    w->UpDown6->SetPositionByUser(13);
    EXPECT_EQ(std::tuple(w->State.RectangleWidth[1], w->State.RectangleHeight[1]), std::tuple(7, 13));
    EXPECT_EQ(CountMaskCells(w->Masks.ApertureMask[1]).star, 7 * 13);
    // Off: the saved form and mode come back, the form with its own button, gap and width as they were.
    w->RectangleAperture1->trigger();
    EXPECT_EQ(std::tuple(w->State.FrameObject(1).BkgShape, w->RadioButton3->isChecked(), w->UpDown6->Position(),
                         w->UpDown8->Position(), w->Label2->text().toStdString(), w->State.FrameObject(1).TrackMode),
              std::tuple(uint8_t{kShapeLimb}, true, 4, 9, std::string("Gap"), mode));
    w->RadioButton2->setChecked(true);
    w->RectangleAperture1->trigger();
    w->RectangleAperture1->trigger();
    EXPECT_EQ(std::tuple(w->State.FrameObject(1).BkgShape, w->RadioButton2->isChecked()), std::tuple(uint8_t{kShapeSunlitFace}, true));

    // Gap and width refused on the ring and while recording: the control goes back.
    w->RadioButton1->setChecked(true);
    w->UpDown6->setEnabled(true);
    w->UpDown8->setEnabled(true);
    w->UpDown6->SetPositionByUser(11);
    EXPECT_EQ(w->UpDown6->Position(), 4);
    // "Show Field" locks the listed controls and nothing else.
    const auto enabled = [&] {
        std::set<std::string> on;
        for (QWidget* c : w->findChildren<QWidget*>())
            if (c->isEnabled() && !c->objectName().isEmpty() && !c->objectName().startsWith("qt_")) on.insert(c->objectName().toStdString());
        return on;
    };
    const std::set<std::string> before = enabled();
    w->CheckBox1->setChecked(true);
    ASSERT_EQ(w->FieldViewShown, 1);
    std::set<std::string> locked;
    const std::set<std::string> after = enabled();
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::inserter(locked, locked.end()));
    EXPECT_EQ(locked, (std::set<std::string>{"CheckBox2", "GroupBox15", "RadioButton1", "RadioButton2", "RadioButton3",
                                             "RadioButton4", "RadioButton5", "RadioButton6", "TrackBar1", "UpDown1", "UpDown2",
                                             "UpDown3", "UpDown5", "UpDown6", "UpDown7", "UpDown8"}));
    w->RadioButton2->setChecked(true);  // refused while the fields are shown
    EXPECT_EQ(w->State.FrameObject(1).BkgShape, kShapeRing);
    w->CheckBox1->setChecked(false);
    EXPECT_EQ(w->FieldViewShown, 0);
    w->State.RecordingFlag = 1;
    w->CheckBox1->setChecked(true);
    EXPECT_FALSE(w->CheckBox1->isChecked());
}

TEST_F(Settings, ReferenceFramesSwapAndLabels) {
    Start();
    NEED_VIDEO();
    // The pipeline tracks the object at each frame shown; its position is set after.
    const auto at = [&](int n, int x = 40) {
        w->GoToFrame(n);
        w->State.FrameObject(1).PosX = x;
    };
    const auto labels = [&](QLineEdit* a, QLineEdit* b) { return (a->text() + " " + b->text()).toStdString(); };
    at(6);
    w->Button11->click();
    EXPECT_EQ(labels(w->Edit40, w->Edit41), "6 Frame2");
    // Frame2 on an earlier frame: the two change places.
    at(2, 50);
    w->Button13->click();
    EXPECT_EQ(labels(w->Edit40, w->Edit41), "2 6");
    EXPECT_EQ(w->State.TrackRefPoints[1][1].x, 50);
    // Frame1 on the frame Frame2 holds is stored, the labels stay.
    at(6);
    w->Button11->click();
    EXPECT_EQ(w->State.TrackRefPoints[1][1].frame, 6);
    EXPECT_EQ(labels(w->Edit40, w->Edit41), "2 6");
    w->Button12->click();
    w->Button14->click();
    EXPECT_EQ(labels(w->Edit40, w->Edit41), "Frame1 Frame2");
    EXPECT_FALSE(w->State.TrackRefPoints[1][2].IsSet());

    // Linked points need two objects; B's position is shown.
    w->Button23->click();
    EXPECT_EQ(w->Edit11->text(), "Frame1");
    w->State.ObjectCount = 2;
    at(9);
    w->Button23->click();
    at(4);
    w->State.FrameObject(2).PosX = 77, w->State.FrameObject(2).PosY = 33;
    w->Button25->click();
    EXPECT_EQ(labels(w->Edit11, w->Edit32) + " " + labels(w->Edit15, w->Edit16), "4 9 77 33");
    EXPECT_EQ(w->State.LinkRefPoints[2][0].frame, 4);
    w->Button24->click();
    EXPECT_EQ(w->Edit11->text().toStdString() + std::to_string(w->State.LinkRefPoints[3][0].frame), "Frame1-100");
}

TEST_F(Settings, DirectionSettingZoomSpinAndTheEndingClick) {
    Start();
    NEED_VIDEO();
    w->RadioButton1->setChecked(true);
    w->Button7->click();
    EXPECT_EQ(w->State.DirectionMode, 0);  // "Standard" has no direction
    w->RadioButton3->setChecked(true);
    {
        const QSignalBlocker quiet(w->CheckBox14);
        w->CheckBox14->setChecked(true);
    }
    w->GoToFrame(3);
    DataLineObject& a = w->State.FrameObject(1);
    a.PosX = 140, a.PosY = 20;
    w->Button7->click();
    ASSERT_EQ(w->State.DirectionMode, 1);
    EXPECT_FALSE(w->CheckBox14->isChecked() || w->UpDown4->isEnabled() || w->Button12->isEnabled() || w->CheckBox1->isEnabled());
    EXPECT_TRUE(w->Button11->isEnabled());
    // The zoom bitmap is the 101 x 101 crop around the object, black outside the frame.
    const Bitmap24& z = w->ZoomBitmaps[0];
    ASSERT_EQ(std::pair(z.Width(), z.Height()), std::pair(101, 101));
    int wrong = 0;
    for (int y = 0; y < 101; ++y)
        for (int x = 0; x < 101; ++x) {
            const int fx = 140 + x - 50, fy = 20 + y - 50;
            const bool inside = fx >= 0 && fx < 160 && fy >= 0 && fy < 120;
            const uint8_t* p = z.Scanline(y) + 3 * x;
            const int want[3] = {inside ? 30 : 0, inside ? fy : 0, inside ? fx : 0};
            if (p[0] != want[0] || p[1] != want[1] || p[2] != want[2]) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
    // A move sets the spin point from the pointer's offset and rebuilds the band.
    w->Image1MouseMove(150, 40);
    EXPECT_EQ(std::pair(w->State.SpinPoint[1].x, w->State.SpinPoint[1].y), std::pair(10, 20));
    EXPECT_EQ(w->Masks.SpinLines[1].m1, 2.0);
    // The limb band's background cells against the same geometry worked out by numpy.
    const std::string args = std::to_string(w->UpDown1->Position()) + " " + std::to_string(w->UpDown2->Position()) + " " +
                             std::to_string(w->UpDown3->Position()) + " " + std::to_string(w->UpDown6->Position()) + " " +
                             std::to_string(w->UpDown8->Position()) + " 10 20";
    std::string numpy;
    if (testutil::Run("/usr/bin/python3 -c 'import numpy' 2>/dev/null") == 0) {
        ASSERT_EQ(testutil::Run("/usr/bin/python3 " TEVORIN_SOURCE_DIR "/tests/measure/limb_band_oracle.py " + args, &numpy), 0);
        EXPECT_EQ(std::to_string(CountMaskCells(w->Masks.ApertureMask[1]).background) + "\n", numpy) << args;
        EXPECT_EQ(w->Edit21->text().toStdString() + "\n", numpy);
    }
    EXPECT_EQ(w->DirectionPointer.x, 150);
    w->Image1MouseDown(Qt::LeftButton, 150, 40);
    EXPECT_EQ(w->State.DirectionMode, 0);
    EXPECT_TRUE(w->CheckBox14->isChecked() && w->UpDown4->isEnabled() && w->Button12->isEnabled() && w->CheckBox1->isEnabled());
    EXPECT_TRUE(w->Button9->isEnabled());  // enabled before, enabled again after

    // A DirectShow fetch that fails leaves everything as before the button.
    w->CheckBox7->setChecked(true);
    ASSERT_EQ(w->State.ReaderKind, 1);
    DshowClose();  // the graph gone behind the window's back
    w->Button7->click();
    ASSERT_EQ(dialogs.Texts("error").size(), 1u);
    EXPECT_EQ(dialogs.Texts("error")[0].rfind("Fail to get a bitmap.\r\n", 0), 0u);
    EXPECT_EQ(w->State.DirectionMode, 0);
    EXPECT_TRUE(w->CheckBox14->isChecked() && w->UpDown4->isEnabled() && w->RadioButton1->isEnabled());

    // The cursor: a cross over the frame only while placing the TIVi display.
    w->Image1MouseMove(10, 10);
    EXPECT_EQ(w->Image1->cursor().shape(), Qt::ArrowCursor);
    w->UpDown4->SetPosition(80);
    w->RadioButton13->setChecked(true);
    // Placing the TIVi display raises the threshold; the readers' copy follows it.
    EXPECT_EQ(std::tuple(w->UpDown4->Position(), w->OverlayThreshold), std::tuple(100, 100));
    w->Image1MouseMove(10, 10);
    EXPECT_EQ(w->Image1->cursor().shape(), Qt::CrossCursor);
    w->Image1MouseMove(10, 5000);
    EXPECT_EQ(w->Image1->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Settings, OptionsWriteTheirVariablesAtOnce) {
    Start();
    w->MeasuremenOption1->trigger();
    TMeasurementOption* o = MeasurementOption;
    ASSERT_TRUE(o);
    EXPECT_EQ(std::tuple(o->UpDown1->Position(), o->UpDown2->Position(), o->CheckBox3->isChecked(), o->CheckBox7->isChecked()),
              std::tuple(235, 350, true, true));
    for (QCheckBox* b : {o->CheckBox1, o->CheckBox2, o->CheckBox4, o->CheckBox5, o->CheckBox6, o->CheckBox7}) b->click();
    o->RadioGroup1->SelectByUser(2);
    o->UpDown1->SetPositionByUser(100);
    o->UpDown2->SetPositionByUser(900);
    EXPECT_EQ(std::tuple(w->Masks.CutBkgUpper, w->Masks.CutBkgLower, w->AutoDirectionEnabled, w->State.MeasurePeakPixel, w->EasyClick,
                         w->Photometry.SubtractBackground, w->MeasurementRegionDisplay, w->SaturationLimit, w->InitialPeak),
              std::tuple(uint8_t{1}, uint8_t{1}, uint8_t{0}, uint8_t{1}, uint8_t{1}, uint8_t{0}, uint8_t{2}, 127, 700));
    EXPECT_EQ(o->Edit1->text() + " " + o->Edit2->text(), "127 700");
    o->UpDown1->SetPositionByUser(300);
    o->UpDown2->SetPositionByUser(0);
    EXPECT_EQ(std::pair(w->SaturationLimit, w->InitialPeak), std::pair(255, 250));
    EXPECT_EQ(w->CurrentPsfOptions().SaturationLimit, 255);

    // "Available" off: the LED flags of all three lines cleared, "Star" checked.
    w->RadioButton11->setChecked(true);
    for (DataLine& line : w->State.DataLines) line.Signal1Detected = line.Signal2Detected = 1;
    o->CheckBox3->click();
    int flags = 0;
    for (const DataLine& line : w->State.DataLines) flags += line.Signal1Detected + line.Signal2Detected;
    EXPECT_EQ(flags, 0);
    EXPECT_TRUE(w->RadioButton10->isChecked() && !w->RadioButton11->isEnabled() && !w->RadioButton12->isEnabled());
    o->CheckBox3->click();
    EXPECT_TRUE(w->RadioButton11->isEnabled());
    o->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(MeasurementOption, nullptr);
    // Reopened it shows the current values.
    w->MeasuremenOption1->trigger();
    EXPECT_EQ(std::tuple(MeasurementOption->UpDown1->Position(), MeasurementOption->RadioGroup1->ItemIndex()), std::tuple(255, 2));
}

TEST_F(Settings, SpeedAndTemplateDump) {
    Start();
    w->TrackBar1->setValue(250);
    EXPECT_EQ(w->Timer1->interval(), 250);
    w->TrackBar1->setValue(1);
    EXPECT_EQ(w->Timer1->interval(), 0);  // as soon as the event loop is free
    EXPECT_EQ(std::pair(w->TrackBar1->minimum(), w->TrackBar1->maximum()), std::pair(1, 1000));

    // The first two templates, 51 rows of 51 values each, against the closed form.
    GaussianPsfModel(w->Psf, 1, 4.0, 200);
    GaussianPsfModel(w->Psf, 2, 2.5, 120);
    w->Button10->click();
    ASSERT_EQ(w->Memo2Table.Count(), 102u);
    int wrong = 0;
    std::string first;
    for (int k = 1; k <= 2; ++k)
        for (int dy = -25; dy <= 25; ++dy) {
            std::string want;
            for (int dx = -25; dx <= 25; ++dx) {
                const double s = k == 1 ? 4.0 : 2.5, amp = k == 1 ? 200 : 120;
                const double v = amp * std::exp(-2.0 * (dx * dx + dy * dy) / (s * s));
                char text[32];
                std::snprintf(text, sizeof text, "  %.2f", v);
                want += text;
            }
            const std::string& got = w->Memo2Table[static_cast<size_t>((k - 1) * 51 + dy + 25)];
            if (got != want && wrong++ == 0) first = got + "\n" + want;
        }
    EXPECT_EQ(wrong, 0) << first;
}
