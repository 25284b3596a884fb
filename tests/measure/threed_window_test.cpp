// The 3-D star view and the value panel offscreen over a video of two stars:
// opening through the main window, the patch following the frame, the rotation
// limits, the scale, the clipboard, the open dialog refused, and the panel's sums
// of the current object against a plain sum over the frame and the mask.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>

#include "graph/chart.h"
#include "measure/colorvalue.h"
#include "measure/grapharea.h"
#include "measure/main_2.h"
#include "measure/photometry.h"
#include "platform/controls.h"
#include "support/main_window_fixture.h"

namespace {

constexpr int kAx = 60, kAy = 50, kBx = 140, kBy = 100;

struct ThreeDWindows : testutil::MainWindowTest {
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        OpenMainWindow(testutil::kAperturePhotometrySettings);
        const std::string video = dir.File("stars.avi");
        // Star A brightens by 4 per frame, so each frame's relief differs; the colours differ too.
        const std::string a = "exp(-2*(pow(X-60\\,2)+pow(Y-50\\,2))/25)", b = "exp(-2*(pow(X-140\\,2)+pow(Y-100\\,2))/9)";
        const std::string r = "20+(100+4*N)*" + a + "+150*" + b, g = "10+(80+4*N)*" + a + "+90*" + b, bl = "30+(60+4*N)*" + a + "+40*" + b;
        ASSERT_TRUE(testutil::MakeRawClip(video, "color=c=black:s=160x120:r=25", 12, testutil::GeqFilter(r, g, bl)));
        ASSERT_NO_FATAL_FAILURE(OpenVideo(video));
        w->Image1MouseDown(Qt::LeftButton, kAx, kAy);
        w->Image1MouseDown(Qt::MiddleButton, kBx, kBy);
        w->Add1->trigger();
        w->Image1MouseDown(Qt::LeftButton, kBx, kBy);
        w->SelectObject(1);
    }
    void TearDown() override {
        if (ThreeDGraph) delete ThreeDGraph;
        if (ColorValueDisplay) delete ColorValueDisplay;
        MainWindowTest::TearDown();
    }
    // The frame shown, as the reader delivers it (the window draws its outlines
    // into its own copy).
    Bitmap24 Decoded() {
        Bitmap24 frame;
        std::string status;
        EXPECT_TRUE(w->FetchFrame(w->Position(), frame, status)) << status;
        return frame;
    }
    static int Sum(const Bitmap24& f, int x, int y) {
        const uint8_t* p = f.Scanline(y) + 3 * x;
        return p[0] + p[1] + p[2];
    }
};

TEST_F(ThreeDWindows, OpensBesideTheMainWindowAndReadsEachFrame) {
    auto& p = *w;
    EXPECT_TRUE(p.Button8->isEnabled());
    p.CheckBox1->setChecked(true);
    p.Button8->click();
    ASSERT_TRUE(ThreeDGraphShown);
    ASSERT_NE(ThreeDGraph, nullptr);
    EXPECT_FALSE(p.CheckBox1->isChecked());
    EXPECT_EQ(ThreeDGraph->windowTitle(), "3D-Graph of Star Profile");
    EXPECT_EQ(ThreeDGraph->width(), 264);
    // Within the offscreen platform's window frame.
    EXPECT_LE((ThreeDGraph->pos() - p.pos()).manhattanLength(), 4);
    EXPECT_EQ(ThreeDGraph->TDGImage1->Picture().size(), QSize(252, 414));
    EXPECT_EQ(std::tuple(ThreeDGraph->ThreeDTilt, ThreeDGraph->ThreeDTurn, ThreeDGraph->ThreeDScale), std::tuple(-30.0, 0.0, 20));
    EXPECT_EQ(std::tuple(ThreeDGraph->RadioGroup1->ItemIndex(), ThreeDGraph->MedianSelect->ItemIndex(),
                         ThreeDGraph->RadioGroup2->ItemIndex()),
              std::tuple(0, 2, 0));
    // A second click does not make a second view.
    p.Button8->click();
    EXPECT_EQ(p.findChildren<TThreeDGraph*>().size(), 1u);

    for (int frame : {2, 7}) {
        p.ScrollBar1->setValue(frame);
        const Bitmap24 f = Decoded();
        const DataLineObject& a = p.State.FrameObject(1);
        const DataLineObject& b = p.State.FrameObject(2);
        for (auto [dx, dy] : {std::pair(0, 0), std::pair(-3, 2), std::pair(5, -4)}) {
            EXPECT_EQ(ThreeDGraph->ThreeDRaw[1].at(dx, dy), Sum(f, a.PosX + dx, a.PosY + dy)) << frame;
            EXPECT_EQ(ThreeDGraph->ThreeDRaw[2].at(dx, dy), Sum(f, b.PosX + dx, b.PosY + dy)) << frame;
        }
        // B near the corner of a 160 x 120 frame: x = 160 and y = 120 lie outside.
        const int ex = 160 - b.PosX, ey = 120 - b.PosY;
        ASSERT_LE(std::max(ex, ey), 27);
        EXPECT_EQ(ThreeDGraph->ThreeDRaw[2].at(ex, 0), -1);
        EXPECT_EQ(ThreeDGraph->ThreeDRaw[2].at(0, ey), -1);
        EXPECT_EQ(ThreeDGraph->ThreeDRaw[2].at(ex - 1, ey - 1), Sum(f, 159, 119));
    }
    // The picture is redrawn for the frame shown: another frame, another picture.
    p.ScrollBar1->setValue(1);
    const QImage first = ThreeDGraph->TDGImage1->Picture().copy();
    p.ScrollBar1->setValue(10);
    EXPECT_NE(ThreeDGraph->TDGImage1->Picture(), first);

    // The open dialog and "Exit" are refused while the view is shown; closing it
    // lets them through (Exit first asks about the unsaved rows: answered no).
    const size_t boxes = dialogs.shown.size();
    p.Button1Click();
    p.Button16Click();  // one measured row, not saved
    ASSERT_TRUE(p.UnsavedRows);
    p.Button2Click();
    EXPECT_EQ(dialogs.shown.size(), boxes);
    ThreeDGraph->Button1->click();
    QApplication::processEvents();
    EXPECT_FALSE(ThreeDGraphShown);
    dialogs.yesNoAnswers.push_back(false);
    p.Button2Click();
    EXPECT_EQ(dialogs.shown.size(), boxes + 1);
    p.UnsavedRows = false;
    p.Button1Click();
    EXPECT_EQ(dialogs.shown.size(), boxes + 2);
}

TEST_F(ThreeDWindows, RotationStopsAtItsLimitsWithTheTrackBarFollowing) {
    w->Button8->click();
    ASSERT_NE(ThreeDGraph, nullptr);
    TThreeDGraph& v = *ThreeDGraph;
    for (int i = 0; i < 50; ++i) v.SpeedButton1->click();
    EXPECT_EQ(v.ThreeDTilt, 87);
    for (int i = 0; i < 70; ++i) v.SpeedButton2->click();
    EXPECT_EQ(v.ThreeDTilt, -87);
    for (int i = 0; i < 40; ++i) v.SpeedButton3->click();
    EXPECT_EQ(std::pair(v.ThreeDTurn, v.TrackBar1->value()), std::pair(90.0, 90));
    for (int i = 0; i < 8; ++i) v.Button4->click();
    EXPECT_EQ(std::pair(v.ThreeDTurn, v.TrackBar1->value()), std::pair(-90.0, -90));
    for (int i = 0; i < 2; ++i) v.SpeedButton4->click();
    EXPECT_EQ(v.ThreeDTurn, -90);
    // From a track-bar position off the grid of 3 and 30 the turn still stops at 90.
    v.TrackBar1->setValue(77);
    EXPECT_EQ(v.ThreeDTurn, 77);
    v.Button3->click();
    EXPECT_EQ(std::pair(v.ThreeDTurn, v.TrackBar1->value()), std::pair(90.0, 90));
    v.Button2->click();
    EXPECT_EQ(std::tuple(v.ThreeDTilt, v.ThreeDTurn, v.TrackBar1->value()), std::tuple(0.0, 0.0, 0));
}

TEST_F(ThreeDWindows, ScaleRecomputesEveryObjectAndTheClipboardGetsThePicture) {
    w->Button8->click();
    ASSERT_NE(ThreeDGraph, nullptr);
    TThreeDGraph& v = *ThreeDGraph;
    v.TrackBar2->setValue(25);
    EXPECT_EQ(v.ThreeDScale, 25);
    for (int k = 1; k <= 2; ++k)
        for (auto [dx, dy] : {std::pair(0, 0), std::pair(4, -1), std::pair(27, 0)}) {
            const int raw = v.ThreeDRaw[k].at(dx, dy);
            // round(raw / 2), halves to even; -1 outside gives 0.
            const int want = raw % 2 == 0 ? raw / 2 : ((raw / 2) % 2 == 0 ? raw / 2 : raw / 2 + (raw > 0 ? 1 : -1));
            EXPECT_EQ(v.ThreeDHeights[k].at(dx, dy), want) << k << ' ' << dx << ' ' << dy << " raw " << raw;
        }
    v.MedianSelect->SelectByUser(0);
    v.RadioGroup2->SelectByUser(1);
    v.Button5->click();
    EXPECT_EQ(dialogs.clipboardImage.format(), QImage::Format_RGB888);
    EXPECT_EQ(dialogs.clipboardImage, v.TDGImage1->Picture().convertToFormat(QImage::Format_RGB888));
    // The star's outline is on the picture with "Show" and gone with "Hide".
    auto red = [&] {
        const QImage img = v.TDGImage1->Picture().convertToFormat(QImage::Format_RGB888);
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == QColor(255, 0, 0);
        return n;
    };
    EXPECT_GT(red(), 0);
    v.RadioGroup1->SelectByUser(1);
    EXPECT_EQ(red(), 0);
}

TEST_F(ThreeDWindows, ValuePanelShowsTheCurrentObjectsSumsOnlyWhileOpen) {
    auto& p = *w;
    p.ScrollBar1->setValue(4);
    EXPECT_EQ(ColorValueDisplay, nullptr);
    p.Button15->click();
    ASSERT_TRUE(ColorValueShown);
    ASSERT_NE(ColorValueDisplay, nullptr);
    TColorValueDisplay& panel = *ColorValueDisplay;
    EXPECT_EQ(panel.windowTitle(), "Measurement");
    EXPECT_EQ(panel.size(), QSize(580, 183));
    EXPECT_LE((panel.pos() - QPoint(p.x() + TThreeDGraph::kWidth + 16, p.y() + 533)).manhattanLength(), 4);
    EXPECT_FALSE(panel.Edit26->text().isEmpty());

    // The sums of object A (current) over its mask, by frame rows: line 0 all, 1 odd, 2 even.
    for (int current : {1, 2}) {
        p.SelectObject(current);
        const DataLineObject& o = p.State.FrameObject(current);
        const Bitmap24 f = Decoded();
        double sums[3][6] = {};
        for (int dx = -25; dx <= 25; ++dx)
            for (int dy = -25; dy <= 25; ++dy) {
                const int cls = p.Masks.ApertureMask[current].at(dx, dy);
                const int x = o.PosX + dx, y = o.PosY + dy;
                if (cls == 0 || x < 0 || y < 0 || x >= 160 || y >= 120) continue;
                const uint8_t* px = f.Scanline(y) + 3 * x;
                for (int line : {0, y % 2 == 1 ? 1 : 2})
                    for (int c = 0; c < 3; ++c) sums[line][(cls == 1 ? 0 : 3) + c] += px[2 - c];
            }
        const auto edits = panel.Edits();
        for (int line = 0; line < 3; ++line)
            for (int c = 0; c < 6; ++c) {
                // The full text for copying; the short form is what the edit shows.
                EXPECT_EQ(edits[line][c]->text().toStdString(), FormatExponent23(sums[line][c]))
                    << "object " << current << " line " << line << " column " << c;
                EXPECT_EQ(edits[line][c]->Shown().toStdString(), ShortExponentText(FormatExponent23(sums[line][c])));
            }
    }
    // Under PSF photometry the edits are emptied.
    p.CheckBox14->setChecked(true);
    p.ShowNeighbor();
    for (const auto& line : panel.Edits())
        for (QLineEdit* e : line) EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    p.CheckBox14->setChecked(false);
    panel.close();
    QApplication::processEvents();
    EXPECT_FALSE(ColorValueShown);
    p.ScrollBar1->setValue(5);  // nothing is written to a closed panel
    EXPECT_EQ(ColorValueDisplay, nullptr);
}

}  // namespace

// Each of the 18 sums reads at a glance: its leading digits and its exponent,
// even negative (the rectangle aperture's differences), fit the edit that shows
// them; and with the 3-D view open too, on a 1366 x 768 screen with the main
// window at its top left, neither window lies over the other.
TEST_F(ThreeDWindows, ValuePanelReadsAtAGlanceAndLeavesThe3DViewFree) {
    auto& p = *w;
    p.move(0, 0);
    p.Button8->click();
    p.Button15->click();
    ASSERT_NE(ThreeDGraph, nullptr);
    ASSERT_NE(ColorValueDisplay, nullptr);
    TColorValueDisplay& panel = *ColorValueDisplay;
    QApplication::processEvents();
    const QRect screen(0, 0, 1366, 768);
    const QRect view = ThreeDGraph->frameGeometry(), values = panel.frameGeometry();
    EXPECT_FALSE(view.intersects(values)) << view.right() << " " << values.left();
    EXPECT_TRUE(screen.contains(view)) << view.bottom();
    EXPECT_TRUE(screen.contains(values)) << values.right() << " " << values.bottom();
    std::array<std::array<std::string, 6>, 3> texts;
    for (auto& line : texts) line.fill(FormatExponent23(-88888888.8));
    texts[0][0] = FormatExponent23(5640.0);
    panel.Fill(texts);
    EXPECT_EQ(panel.Edit26->Shown(), "5.6400E+0003");
    EXPECT_EQ(panel.Edit26->text().toStdString(), FormatExponent23(5640.0));
    for (const auto& line : panel.Edits())
        for (TSummaryEdit* e : line) {
            // The line edit's frame and its text margins, 4 pixels on each side.
            EXPECT_LE(e->fontMetrics().horizontalAdvance(e->Shown()) + 8, e->width()) << e->objectName().toStdString();
            EXPECT_GE(e->Shown().size(), 12) << e->objectName().toStdString();
        }
}

// Selecting another object shows that object's background form, and the gap and
// width up-downs follow it: a "Standard" object after a "Meteor/Lunar Limb" one
// must not keep them enabled, nor the other way round.
TEST_F(ThreeDWindows, GapAndWidthFollowTheSelectedObjectsForm) {
    w->SelectObject(2);
    w->RadioButton3->setChecked(true);
    w->BkgFormClick(kShapeLimb);
    ASSERT_EQ(w->State.FrameObject(2).BkgShape, kShapeLimb);
    EXPECT_TRUE(w->UpDown6->isEnabled());
    EXPECT_TRUE(w->UpDown8->isEnabled());
    w->SelectObject(1);
    EXPECT_TRUE(w->RadioButton1->isChecked());
    EXPECT_FALSE(w->UpDown6->isEnabled());
    EXPECT_FALSE(w->UpDown8->isEnabled());
    w->SelectObject(2);
    EXPECT_TRUE(w->RadioButton3->isChecked());
    EXPECT_TRUE(w->UpDown6->isEnabled());
    EXPECT_TRUE(w->UpDown8->isEnabled());
}

// The graph's "[3D] Image" opens the same view, once.
TEST_F(ThreeDWindows, TheGraphOpensTheSameView) {
    w->OpenGraphWindow();
    ASSERT_TRUE(chart1);
    chart1->Button2->click();
    ASSERT_TRUE(ThreeDGraphShown && ThreeDGraph);
    TThreeDGraph* first = ThreeDGraph;
    chart1->Button2->click();
    EXPECT_EQ(ThreeDGraph, first);
    delete chart1;
}
