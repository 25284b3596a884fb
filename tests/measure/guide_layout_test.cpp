// What the operation guide, the results table's position switch and the gamma
// buttons show at once, on a video of two Gaussian stars: the main "Link" box
// following the guide's type list into the preset, "Comparison star" open as soon
// as B exists, the guide's picture drawn when its button opens it, the table beside
// the controls at every position, the 3-D view redrawn by the gamma buttons.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <map>

#include "measure/Profile.h"
#include "measure/grapharea.h"
#include "measure/main_2.h"
#include "support/main_window_fixture.h"

namespace {

// Star A at (60, 50) with sigma 5, star B at (120, 80) with sigma 3 (as in the
// objects test), on a background of 20.
constexpr int kAx = 60, kAy = 50, kBx = 120, kBy = 80;

struct GuideAndViews : testutil::MainWindowTest {
    void SetUp() override { OpenTwoStarClip(6); }
    void TearDown() override {
        if (ThreeDGraph) delete ThreeDGraph;
        MainWindowTest::TearDown();
    }
    void Click(int x, int y) { w->Image1MouseDown(Qt::LeftButton, x, y); }
    void Add(int x, int y) {
        w->Image1MouseDown(Qt::MiddleButton, x, y);
        w->Add1->trigger();
    }
    // The tracking radius of object k, the same in all three lines or -1.
    int TrackRadius(int k) {
        const DataLineSet& lines = w->State.DataLines;
        const int r = lines[0].Objects[k].TrackRadius;
        return lines[1].Objects[k].TrackRadius == r && lines[2].Objects[k].TrackRadius == r ? r : -1;
    }
};

int PixelsUnlikeTheCorner(const QImage& picture) {
    int n = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) n += picture.pixel(x, y) != picture.pixel(0, 0);
    return n;
}

}  // namespace

TEST_F(GuideAndViews, GuideTypeChangesCarryTheLinkBoxIntoTheMainWindowAndThePreset) {
    auto [p, s] = std::tie(*w, w->State);
    Click(kAx, kAy);
    ASSERT_NEAR(s.PsfSigma[1], 5.0, 0.3);
    p.Button32->click();
    ASSERT_TRUE(Profile && GuideOpen);
    TProfile& g = *Profile;
    // B added through the main window's own menu: "Comparison star" opens up at once.
    EXPECT_FALSE(g.RadioButton3->isEnabled());
    Add(kBx, kBy);
    ASSERT_EQ(s.ObjectCount, 2);
    EXPECT_TRUE(g.RadioButton3->isEnabled());

    const auto link = [&] { return std::tuple(g.CheckBox1->isChecked(), static_cast<int>(g.GuideLink), p.CheckBox6->isChecked()); };
    const auto on = std::tuple(true, 1, true), off = std::tuple(false, 0, false);
    const auto widen = [&] { s.ForAllLines(1, [](DataLineObject& o) { o.TrackRadius = 11; }); };
    for (int linked : {2, 3})
        for (int unlinked : {0, 1, 4}) {
            g.ComboBox1Change(linked);
            ASSERT_EQ(link(), on) << linked;
            widen();
            g.ComboBox1Change(unlinked);
            EXPECT_EQ(link(), off) << linked << " then " << unlinked;
            EXPECT_TRUE(p.CheckBox6->isEnabled());
            // The preset saw "Link" clear: A tracks with its own width (round(5.0)).
            EXPECT_EQ(TrackRadius(1), unlinked == 0 ? 11 : 5) << linked << " then " << unlinked;
        }
    // A linked type after a linked one is applied as after an unlinked one.
    g.ComboBox1Change(3);
    widen();
    g.ComboBox1Change(2);
    EXPECT_EQ(link(), on);
    EXPECT_EQ(TrackRadius(1), 5);
    // The guide's own box, clicked, carries the main box as before.
    g.CheckBox1->setEnabled(true);
    g.CheckBox1->click();
    EXPECT_EQ(link(), off);
}

TEST_F(GuideAndViews, GuideOpenedByItsButtonShowsTheProfileAtOnce) {
    auto& p = *w;
    p.CheckBox14->click();  // PSF photometry
    ASSERT_TRUE(p.CheckBox14->isChecked());
    Click(kAx, kAy);  // opens the guide, which draws the fit
    ASSERT_TRUE(Profile);
    Profile->close();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(GuideOpen);
    // Opened again by its button, without a frame change: the profile is there.
    p.Button32->click();
    ASSERT_TRUE(Profile && GuideOpen);
    EXPECT_GT(PixelsUnlikeTheCorner(Profile->Image1->Picture()), 100);
}

TEST_F(GuideAndViews, GammaButtonsRedrawTheThreeDView) {
    auto& p = *w;
    Click(kAx, kAy);
    p.Button8->click();
    ASSERT_TRUE(ThreeDGraph);
    p.RadioButton16->click();  // "Measure": the frame itself stays as read
    p.Edit18->setText("0.3");
    p.Edit18Enter();
    ASSERT_EQ(p.Edit18->text(), "0.30");
    const QImage plain = ThreeDGraph->TDGImage1->Picture().copy();
    // "Field" puts the gamma into the frame, whose relief the view shows.
    p.RadioButton17->click();
    const QImage field = ThreeDGraph->TDGImage1->Picture().copy();
    EXPECT_NE(field, plain);
    p.RadioButton15->click();
    EXPECT_EQ(ThreeDGraph->TDGImage1->Picture(), plain);
}

TEST_F(GuideAndViews, ResultsTableCoversNoControlAtAnyPositionAndZeroGivesTheDesignBack) {
    auto& p = *w;
    p.show();
    QWidget* content = p.centralwidget;
    const auto places = [&] {
        std::map<QWidget*, std::pair<QRect, bool>> m;
        for (QWidget* c : content->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) m[c] = {c->geometry(), c->isVisibleTo(&p)};
        return m;
    };
    const auto designed = places();
    const int designedHeight = p.Memo1->height();
    int previous = designedHeight;
    for (int position : {1, 2}) {
        p.UpDown13->SetPositionByUser(position);
        for (QWidget* table : {static_cast<QWidget*>(p.Memo1), static_cast<QWidget*>(p.Edit33)}) {
            ASSERT_TRUE(table->isVisibleTo(&p));
            for (QWidget* c : content->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (c == p.Memo1 || c == p.Edit33 || !c->isVisibleTo(&p)) continue;
                EXPECT_FALSE(table->geometry().intersects(c->geometry()))
                    << position << ": " << table->objectName().toStdString() << " over " << c->objectName().toStdString();
            }
        }
        // The table grows; the controls under the picture are still there, within the content.
        EXPECT_GT(p.Memo1->height(), previous) << position;
        previous = p.Memo1->height();
        for (QWidget* c : {static_cast<QWidget*>(p.ScrollBar1), static_cast<QWidget*>(p.SpeedButton4),
                           static_cast<QWidget*>(p.Edit5), static_cast<QWidget*>(p.Edit33)}) {
            EXPECT_TRUE(c->isVisibleTo(&p)) << c->objectName().toStdString();
            EXPECT_GE(c->y(), 0);
            EXPECT_LT(c->geometry().bottom(), content->minimumHeight()) << c->objectName().toStdString();
        }
    }
    // Half the picture still shows a frame at 1; 2 gives all of it to the table.
    p.UpDown13->SetPositionByUser(1);
    EXPECT_TRUE(p.Image1->isVisibleTo(&p));
    EXPECT_GT(p.Image1->parentWidget()->height(), 200);
    p.UpDown13->SetPositionByUser(0);
    EXPECT_EQ(places(), designed);
    // "More" at position 2 keeps its height for position 0.
    p.UpDown13->SetPositionByUser(2);
    p.CheckBox10->click();
    p.UpDown13->SetPositionByUser(0);
    EXPECT_EQ(p.Memo1->height(), 209);
    EXPECT_EQ(p.Memo1->geometry().topLeft(), designed.at(p.Memo1).first.topLeft());
}
