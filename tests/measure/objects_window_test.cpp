// The main window's measured objects offscreen, on a video of two Gaussian
// stars: placing with the learning pass, the radius controls, adding, selecting
// and removing, and what is drawn over the frame.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "measure/Profile.h"
#include "measure/main_2.h"
#include "support/main_window_fixture.h"

namespace {

// Star A at (60, 50) with sigma 5, star B at (120, 80) with sigma 3, both
// 20 + 150 exp(-2 (r / sigma)^2) in every colour, on a background of 20.
constexpr int kAx = 60, kAy = 50, kBx = 120, kBy = 80;

struct Objects : testutil::MainWindowTest {
    void SetUp() override { OpenTwoStarClip(15); }
    void Click(int x, int y) { w->Image1MouseDown(Qt::LeftButton, x, y); }
    void Add(int x, int y) {
        w->Image1MouseDown(Qt::MiddleButton, x, y);
        w->Add1->trigger();
    }
    QRgb Shown(int x, int y) { return w->Image1->Picture().pixel(x, y) & 0xFFFFFF; }
    static QRgb Rgb(uint32_t bbggrr) { return qRgb(bbggrr & 0xFF, (bbggrr >> 8) & 0xFF, bbggrr >> 16) & 0xFFFFFF; }
    const DataLineObject& Obj(int line, int k) { return w->State.DataLines[static_cast<size_t>(line)].Objects[k]; }
    auto Radii(int line, int k) {
        const DataLineObject& o = Obj(line, k);
        return std::tuple(o.ApertureRadius, o.BkgInnerRadius, o.TrackRadius);
    }
};

}  // namespace

TEST_F(Objects, PlacingLearnsTheProfileAndTheRadiiFollowSigma) {
    auto [p, s] = std::tie(*w, w->State);
    p.GoToFrame(3);
    Click(kAx + 2, kAy - 2);
    EXPECT_EQ(std::tuple(s.FrameObject(1).PosX, s.FrameObject(1).PosY), std::tuple(kAx, kAy));
    EXPECT_NEAR(s.PsfSigma[1], 5.0, 0.3);
    // round(sigma) = 5: aperture 5, inner 7, tracking 5 ("Sync-Tracking APT").
    for (int line = 0; line < 3; ++line) EXPECT_EQ(Radii(line, 1), std::tuple(5, 7, 5)) << line;
    EXPECT_EQ(std::tuple(p.UpDown1->Position(), p.UpDown2->Position(), p.UpDown5->Position()), std::tuple(5, 7, 5));
    // What the placement borrowed is back: threshold, PSF tracking, the frame.
    EXPECT_EQ(std::tuple(p.UpDown7->Position(), Obj(0, 1).TrackThreshold, p.CheckBox15->isChecked(), p.Position(),
                         p.Psf.ProfileLearning),
              std::tuple(50, 50, false, 3, 0));
    EXPECT_EQ(p.Edit12->text() + "," + p.Edit13->text(), "60,50");

    // The narrow star as B: radius 3, inner 5, the tracking radius raised to 4.
    Add(kBx - 1, kBy + 2);
    EXPECT_EQ(std::tuple(s.ObjectCount, s.CurrentObject, s.FrameObject(2).PosX, s.FrameObject(2).PosY),
              std::tuple(2, 2, kBx, kBy));
    EXPECT_NEAR(s.PsfSigma[2], 3.0, 0.3);
    EXPECT_EQ(std::tuple(Radii(0, 2), p.Tracking.LostPercent[2]), std::tuple(std::tuple(3, 5, 4), 50));
    EXPECT_EQ(Radii(0, 1), std::tuple(5, 7, 5));  // A kept its own
}

TEST_F(Objects, AddSelectRangesRadiusChainAndRefusals) {
    auto [p, s] = std::tie(*w, w->State);
    EXPECT_FALSE(p.Remove1->isEnabled());
    Click(kAx, kAy);
    Add(kBx, kBy);
    EXPECT_TRUE(p.RadioButton8->isChecked());
    EXPECT_FALSE(p.RadioButton9->isEnabled());
    Add(20, 100);
    EXPECT_TRUE(p.RadioButton9->isChecked() && p.Object31->isEnabled());
    const DataLineSet before = s.DataLines;
    Add(140, 20);  // a fourth: nothing happens
    EXPECT_EQ(std::tuple(s.ObjectCount, s.DataLines[0].Objects[3].PosX), std::tuple(3, before[0].Objects[3].PosX));

    // Each object shows its own radii and ranges: aperture 0..inner-1,
    // inner aperture+1..outer, outer inner..25.
    for (int k : {1, 2, 3, 1}) {
        (k == 1 ? p.RadioButton7 : k == 2 ? p.RadioButton8 : p.RadioButton9)->click();
        ASSERT_EQ(s.CurrentObject, k);
        const DataLineObject& o = s.FrameObject(k);
        EXPECT_EQ(std::tuple(p.UpDown1->Position(), p.UpDown2->Position(), p.UpDown3->Position()),
                  std::tuple(o.ApertureRadius, o.BkgInnerRadius, o.BkgOuterRadius));
        EXPECT_EQ(std::tuple(p.UpDown1->Min(), p.UpDown1->Max(), p.UpDown2->Min(), p.UpDown2->Max(), p.UpDown3->Min(),
                             p.UpDown3->Max()),
                  std::tuple(0, o.BkgInnerRadius - 1, o.ApertureRadius + 1, o.BkgOuterRadius, o.BkgInnerRadius, 25));
        EXPECT_FALSE(p.Add1->isEnabled());
        EXPECT_EQ(p.Remove1->isEnabled(), k == 3);
    }
    // The chain: a larger inner radius raises the aperture's maximum and the
    // outer radius's minimum; all three lines of A take it, A's mask too.
    p.UpDown2->SetPositionByUser(p.UpDown2->Position() + 3);
    const int inner = p.UpDown2->Position();
    for (int line = 0; line < 3; ++line) EXPECT_EQ(Obj(line, 1).BkgInnerRadius, inner);
    EXPECT_EQ(std::tuple(p.UpDown1->Max(), p.UpDown3->Min()), std::tuple(inner - 1, inner));
    EXPECT_EQ(p.Masks.ApertureMask[1].at(0, -(inner - 1)), kMaskNone);
    EXPECT_EQ(p.Masks.ApertureMask[1].at(0, -inner), kMaskBackground);
    EXPECT_EQ(s.FrameObject(2).BkgInnerRadius, before[0].Objects[2].BkgInnerRadius);  // B untouched
    // "Sync-Tracking APT": the tracking radius follows the aperture.
    p.UpDown1->SetPositionByUser(2);
    EXPECT_EQ(p.UpDown5->Position(), 2);
    for (int line = 0; line < 3; ++line) EXPECT_EQ(Radii(line, 1), std::tuple(2, inner, 2));

    // While recording: radius clicks and selection are refused.
    s.RecordingFlag = 1;
    p.UpDown1->SetPositionByUser(4);
    p.RadioButton8->click();
    EXPECT_EQ(std::tuple(p.UpDown1->Position(), s.FrameObject(1).ApertureRadius, s.CurrentObject), std::tuple(2, 2, 1));
    s.RecordingFlag = 0;
    p.RemoveObject();  // A cannot be removed
    EXPECT_EQ(s.ObjectCount, 3);
}

TEST_F(Objects, RemovingBOfThreeMovesAllOfCIntoItsPlace) {
    auto [p, s] = std::tie(*w, w->State);
    Click(kAx, kAy);
    Add(kBx, kBy);
    Add(30, 95);
    // C's state, all distinct from B's.
    s.SpinPoint[3] = {7, -9};
    s.PsfSigma[3] = 2.25;
    s.TrackRefPoints[3][1] = {4, 30, 95};
    s.RectangleAperture[3] = 1;
    s.RectangleHeight[3] = 13;
    p.Psf.PsfTemplate[3].at(1, 2) = 42.5;
    p.Psf.ReferenceFlux[3] = 777;
    p.Tracking.LostPercent[3] = 33;
    // Drift (opening applied the anchor preset): C's drift reference points stay with it.
    s.ForAllLines(3, [](DataLineObject& o) {
        o.BkgGap = 11;
        o.TrackMode = kTrackDrift;
    });
    const DataLineSet before = s.DataLines;
    p.RadioButton8->click();
    p.RemoveObject();
    EXPECT_EQ(std::tuple(s.ObjectCount, s.CurrentObject), std::tuple(2, 2));
    for (size_t line = 0; line < 3; ++line) {
        const DataLineObject &b = s.DataLines[line].Objects[2], &c = s.DataLines[line].Objects[3];
        const DataLineObject &oldC = before[line].Objects[3], &start = s.DataLinesDefault[line].Objects[3];
        EXPECT_EQ(std::tuple(b.PosX, b.PosY, b.BkgGap, b.ApertureRadius), std::tuple(oldC.PosX, oldC.PosY, 11, oldC.ApertureRadius));
        EXPECT_EQ(std::tuple(c.PosX, c.BkgGap), std::tuple(start.PosX, start.BkgGap));  // C's slot back to its start-up block
    }
    EXPECT_EQ(std::tuple(s.SpinPoint[2].x, s.PsfSigma[2], s.TrackRefPoints[2][1].frame, s.RectangleAperture[2],
                         s.RectangleHeight[2], p.Psf.PsfTemplate[2].at(1, 2), p.Psf.ReferenceFlux[2], p.Tracking.LostPercent[2]),
              std::tuple(7, 2.25, 4, 1, 13, 42.5, 777, 33));
    EXPECT_EQ(std::tuple(s.PsfSigma[3], p.Psf.ReferenceFlux[3], s.TrackRefPoints[3][1].frame, s.RectangleAperture[3]),
              std::tuple(5.0, 0, -100, 0));
    EXPECT_EQ(p.UpDown6->Position(), 11);
    EXPECT_FALSE(p.RadioButton9->isEnabled() || p.Object31->isEnabled());
    EXPECT_TRUE(p.RadioButton8->isChecked() && p.Add1->isEnabled());
    // The new B's mask is its own (the gap came with it).
    ApertureGrid expected;
    DirectionLines lines;
    BuildApertureMask(expected, lines, MaskGeometryOf(s, p.Masks, 2));
    EXPECT_EQ(p.Masks.ApertureMask[2].cells, expected.cells);
    // Then B goes too; "Link" goes off below two objects.
    p.CheckBox6->setChecked(true);
    p.RemoveObject();
    EXPECT_EQ(std::tuple(s.ObjectCount, s.CurrentObject), std::tuple(1, 1));
    EXPECT_FALSE(p.CheckBox6->isChecked() || p.Remove1->isEnabled());
    EXPECT_TRUE(p.RadioButton7->isChecked());
}

TEST_F(Objects, OutlinesAndMarkersOnTheShownFrame) {
    auto [p, s] = std::tie(*w, w->State);
    Click(kAx, kAy);
    Add(kBx, kBy);
    const int aOuter = s.FrameObject(1).BkgOuterRadius;
    ASSERT_GE(kAy - aOuter, 0);
    // A, not current: star 0x000080, background 0x800000; B, current: red, 0x00FFFF.
    EXPECT_EQ(Shown(kAx - 5, kAy), Rgb(0x000080));
    EXPECT_EQ(Shown(kAx, kAy - 4), p.FrameBitmap.View().pixel(kAx, kAy - 4) & 0xFFFFFF);
    EXPECT_EQ(Shown(kAx, kAy - aOuter), Rgb(0x800000));
    EXPECT_EQ(Shown(kBx + 3, kBy), Rgb(0x0000FF));
    EXPECT_EQ(Shown(kBx, kBy - 5), Rgb(0x00FFFF));
    // Selecting A swaps the colours.
    p.RadioButton7->click();
    EXPECT_EQ(Shown(kAx, kAy - 5), Rgb(0x0000FF));
    EXPECT_EQ(Shown(kBx, kBy - 3), Rgb(0x000080));
    // "Hide" draws nothing and measures the same.
    const double value = s.FrameObject(1).Value;
    p.MeasurementRegionDisplay = kRegionHide;
    p.ShowNeighbor();
    EXPECT_EQ(Shown(kAx, kAy - 5), p.FrameBitmap.View().pixel(kAx, kAy - 5) & 0xFFFFFF);
    EXPECT_EQ(s.FrameObject(1).Value, value);
    p.MeasurementRegionDisplay = kRegionHilight;

    // Signal boxes: a click in signal mode moves the marker; beyond the frame it
    // lands on the frame's corner.
    p.RadioButton11->setChecked(true);
    Click(30, 100);
    EXPECT_EQ(s.Signal1Position.x, 30);
    EXPECT_EQ(Shown(28, 98), Rgb(0xFF00FF));
    EXPECT_EQ(Shown(31, 101), Rgb(0xFF00FF));
    p.RadioButton12->setChecked(true);
    Click(400, 300);
    EXPECT_EQ(std::tuple(s.Signal2Position.x, s.Signal2Position.y, s.FrameObject(1).PosX), std::tuple(159, 119, kAx));
    p.RadioButton10->setChecked(true);

    // A star placed at the frame's corner: its outlines stop at the frame; the
    // canvas beyond it stays as it was.
    const QImage canvas = p.Image1->Picture().copy();
    Click(159, 0);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            if (x >= 160 || y >= 120) {
                ASSERT_EQ(Shown(x, y), canvas.pixel(x, y) & 0xFFFFFF) << x << "," << y;
            }
    const DataLineObject& a = s.FrameObject(1);
    ASSERT_GE(a.PosX - a.ApertureRadius, 0);
    EXPECT_EQ(Shown(a.PosX - a.ApertureRadius, a.PosY), Rgb(0x0000FF));
}

TEST_F(Objects, ZoomViewTenPixelsFromTheRightEdgeAndTheDirectionClick) {
    auto [p, s] = std::tie(*w, w->State);
    Click(kAx, kAy);
    // What "Direction Setting" leaves: the zoom bitmaps, the centre, the mode.
    p.ZoomBitmaps[0].Resize(101, 101);
    p.ZoomBitmaps[0].Fill(255, 255, 255);
    p.ZoomCentre[1] = {150, 60};
    s.SpinPoint[1] = {50, 0};
    s.DirectionMode = 1;
    p.ShowNeighbor();
    // Drawn 60 pixels wide from x = 100; columns 160 on keep the empty canvas.
    for (int x = 95; x < 170; ++x) {
        const QRgb c = Shown(x, 12);
        if (x < 100) EXPECT_NE(c, 0xFFFFFFu) << x;
        else EXPECT_EQ(c, x < 160 ? 0xFFFFFFu : 0u) << x;
    }
    // The direction line to the right (26 to 50 pixels) would lie beyond the
    // frame; the outlines around the centre show (red star, green background).
    EXPECT_EQ(Shown(150, 60 - 5), Rgb(0x0000FF));
    EXPECT_EQ(Shown(150, 60 - 7), Rgb(0x00FF00));
    EXPECT_EQ(p.ZoomBitmaps[1].Width(), 101);
    // A left click ends the direction mode, keeps the spin point and shows the frame again.
    Click(10, 10);
    EXPECT_EQ(std::tuple(s.DirectionMode, s.SpinPoint[1].x, s.SpinPoint[1].y, s.FrameObject(1).PosX), std::tuple(0, 50, 0, kAx));
    EXPECT_EQ(Shown(130, 12), p.FrameBitmap.View().pixel(130, 12) & 0xFFFFFF);
}

TEST_F(Objects, TrackingModeButtons) {
    auto [p, s] = std::tie(*w, w->State);
    p.RadioButton6->setChecked(true);
    for (int line = 0; line < 3; ++line) EXPECT_EQ(Obj(line, 1).TrackMode, kTrackOff);
    EXPECT_FALSE(p.CheckBox4->isEnabled() || p.Edit40->isEnabled());
    p.CheckBox15->setChecked(true);
    p.RadioButton5->setChecked(true);  // drift
    EXPECT_TRUE(p.CheckBox4->isEnabled() && p.Edit40->isEnabled());
    p.CheckBox4->setChecked(true);
    p.RadioButton14->setChecked(true);
    EXPECT_EQ(std::tuple(s.FrameObject(1).TrackMode, p.CheckBox4->isChecked()), std::tuple(kTrackCsv, false));
    s.RecordingFlag = 1;  // during a recording the mode stays
    p.RadioButton6->setChecked(true);
    EXPECT_EQ(s.FrameObject(1).TrackMode, kTrackCsv);
    s.RecordingFlag = 0;
}

TEST_F(Objects, OperationGuideDrivesTheMainWindow) {
    auto [p, s] = std::tie(*w, w->State);
    p.PresetIndex = 4;
    p.Button32->click();
    ASSERT_TRUE(Profile && GuideOpen);
    TProfile& g = *Profile;
    EXPECT_FALSE(p.OpenWindow("Button32"));  // open already
    EXPECT_EQ(p.PresetIndex, 0);
    ASSERT_EQ(g.ComboBox1->count(), 5);
    EXPECT_EQ(g.ComboBox1->itemText(3).toStdString(), "Asteroidal occultation <use tracking star>");
    EXPECT_FALSE(g.CheckBox1->isEnabled() || g.RadioButton3->isEnabled() || g.Button1->isEnabled() || g.Button2->isEnabled());

    // Placed while the guide is open: the fit is drawn into its picture.
    const QImage blank = g.Image1->Picture().copy();
    Click(kAx, kAy);
    EXPECT_NE(g.Image1->Picture(), blank);
    EXPECT_FALSE(g.CheckBox1->isEnabled());  // the link waits for the base star
    // Roles add B, then C; the Delete beside the last one is the one enabled.
    p.Image1MouseDown(Qt::MiddleButton, kBx, kBy);
    g.RadioButton2->click();
    EXPECT_EQ(std::tuple(s.ObjectCount, s.CurrentObject), std::tuple(2, 2));
    // "Comparison star" opens up as soon as B exists, without a second click on "Base".
    EXPECT_TRUE(g.RadioButton3->isEnabled());
    Click(kBx, kBy);
    EXPECT_TRUE(g.CheckBox1->isEnabled());
    EXPECT_TRUE(g.Button1->isEnabled() && !g.Button2->isEnabled() && g.RadioButton3->isEnabled());
    g.RadioButton2->click();  // "Base" again selects B and leaves "Comparison star" open
    EXPECT_TRUE(g.RadioButton3->isEnabled());
    EXPECT_EQ(s.CurrentObject, 2);
    p.Image1MouseDown(Qt::MiddleButton, 30, 95);
    g.RadioButton3->click();
    EXPECT_EQ(std::tuple(s.ObjectCount, s.CurrentObject), std::tuple(3, 3));
    Click(30, 95);
    EXPECT_TRUE(!g.Button1->isEnabled() && g.Button2->isEnabled());

    // "Lunar occultation <dim star - anchor track>" checks the link box and "Link".
    g.ComboBox1Change(2);
    EXPECT_EQ(p.PresetIndex, 2);
    EXPECT_TRUE(g.CheckBox1->isChecked() && p.CheckBox6->isChecked());
    EXPECT_FALSE(g.CheckBox1->isEnabled());
    for (int line = 0; line < 3; ++line) EXPECT_EQ(Obj(line, 2).BkgShape, kShapeLimb) << line;

    // Back does nothing before a preview; after one it restores frame and positions.
    p.GoToFrame(2);
    g.Button5Click();
    EXPECT_EQ(p.Position(), 2);
    s.DataLines[0].FrameNo10 = 56;  // frame 5.6 -> 6
    const DataLineSet saved = s.DataLines;
    g.Button3Click();
    EXPECT_FALSE(g.Button5->isEnabled());
    g.Button4Click();
    EXPECT_TRUE(g.Button5->isEnabled());
    p.GoToFrame(9);
    s.ForAllLines(1, [](DataLineObject& o) { o.StartX = 3; });
    g.Button5Click();
    EXPECT_EQ(p.Position(), 6);
    EXPECT_EQ(Obj(2, 1).StartX, saved[2].Objects[1].StartX);
    g.close();
    QApplication::processEvents();
    EXPECT_FALSE(GuideOpen);
}

TEST_F(Objects, GuideHooksOfPlacementRunEndAndOpening) {
    auto [p, s] = std::tie(*w, w->State);
    // A placement under PSF photometry opens the guide, which shows the fit.
    if (!p.CheckBox14->isChecked()) p.CheckBox14->click();
    ASSERT_FALSE(GuideOpen);
    Click(kAx, kAy);
    ASSERT_TRUE(Profile && GuideOpen);
    const QImage& fit = Profile->Image1->Picture();
    int drawn = 0;
    for (int y = 0; y < fit.height(); ++y)
        for (int x = 0; x < fit.width(); ++x) drawn += fit.pixel(x, y) != fit.pixel(0, 0);
    EXPECT_GT(drawn, 100);
    // Placed again with the guide open: no second guide.
    TProfile* first = Profile;
    Click(kAx, kAy);
    EXPECT_EQ(Profile, first);

    // The end of a run gives the guide's "Measure" back.
    Profile->Button6->setEnabled(false);
    p.GoToFrame(p.MaxPosition() - 2);
    Profile->Button6Click();
    for (int i = 0; i < 200 && s.RunningFlag; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(s.RunningFlag);
    EXPECT_TRUE(Profile->Button6->isEnabled());

    // A video chosen in the open dialog closes the guide; a cancelled dialog does not.
    p.Button1Click();
    QApplication::processEvents();
    ASSERT_TRUE(GuideOpen);
    dialogs.yesNoAnswers.push_back(true);  // measured rows may go
    dialogs.fileAnswers.push_back(w->State.VideoFileName);
    p.Button1Click();
    QApplication::processEvents();
    EXPECT_FALSE(GuideOpen);
    EXPECT_EQ(Profile, nullptr);
}
