// The occultation presets, the gamma and interval edits, the event-time export
// and the window-opener table of the main window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "analysis/MutualAverage.h"
#include "graph/FresnelCtrl1.h"
#include "graph/chart.h"
#include "graph/spectral_model.h"
#include "measure/SetPredictTrack1.h"
#include "measure/main_2.h"
#include "measure/presets.h"
#include "platform/dialogs.h"
#include "support/main_window_fixture.h"
#include "video/DshowError1.h"

namespace {

DataLineSet Lines(int inner) {
    DataLineSet lines;
    for (DataLine& l : lines)
        for (int k = 1; k <= 3; ++k) {
            DataLineObject& o = l.Objects[k];
            o.BkgInnerRadius = inner;
            o.BkgOuterRadius = 20;
            o.TrackRadius = 9;
            o.BkgShape = kShapeSunlitFace;
            o.TrackMode = kTrackOff;
            o.EstimatedTrack = 1;
        }
    return lines;
}

// Hand-computed cases; every field is checked in all three lines.
TEST(Presets, TableOfCases) {
    PerObject<double> sigma;
    sigma[1] = 2.5;
    sigma[2] = 7.0;
    sigma[3] = 3.49;
    struct Case {
        int preset, inner;
        bool link;
        int shape, modeA, modeB, threshold, outerA, outerB, estimated, radiusA, radiusC;
    } cases[] = {
        // preset 0: anchor, 50, outer 25, shape and radii unchanged
        {0, 10, false, kShapeSunlitFace, kTrackAnchor, kTrackAnchor, 50, 25, 25, 0, 9, 9},
        // 1 keeps B's and C's outer radius; RoundHalfAway(2.5) = 3
        {1, 10, false, kShapeLimb, kTrackDrift, kTrackDrift, 50, 25, 20, 0, 3, 3},
        // under Link presets 1, 2 and 4 keep the tracking radii
        {1, 10, true, kShapeLimb, kTrackDrift, kTrackDrift, 50, 25, 20, 0, 9, 9},
        {2, 10, false, kShapeLimb, kTrackAnchor, kTrackAnchor, 50, 25, 25, 1, 3, 3},
        {3, 17, false, kShapeRing, kTrackAnchor, kTrackDrift, 50, 17, 17, 1, 3, 3},
        {3, 18, false, kShapeRing, kTrackAnchor, kTrackDrift, 50, 20, 20, 1, 3, 3},
        // Link: (2.5 + 1) x 0.5 = 1.75 -> 2 for A and C
        {3, 10, true, kShapeRing, kTrackAnchor, kTrackDrift, 50, 17, 17, 1, 2, 2},
        {4, 15, false, kShapeRing, kTrackDrift, kTrackDrift, 75, 17, 17, 0, 3, 3},
        {4, 16, false, kShapeRing, kTrackDrift, kTrackDrift, 75, 20, 20, 0, 3, 3},
    };
    for (const Case& c : cases) {
        DataLineSet lines = Lines(c.inner);
        ASSERT_TRUE(ApplyPresetToLines(lines, sigma, c.preset, c.link));
        for (int l = 0; l < 3; ++l) {
            SCOPED_TRACE("preset " + std::to_string(c.preset) + " inner " + std::to_string(c.inner) +
                         (c.link ? " link" : "") + " line " + std::to_string(l));
            const auto& o = lines[static_cast<size_t>(l)].Objects;
            for (int k = 1; k <= 3; ++k) {
                EXPECT_EQ(o[k].BkgShape, c.shape);
                EXPECT_EQ(o[k].TrackThreshold, c.threshold);
                EXPECT_EQ(o[k].EstimatedTrack, c.estimated);
                EXPECT_EQ(o[k].TrackMode, k == 2 ? c.modeB : c.modeA);
                EXPECT_EQ(o[k].BkgOuterRadius, k == 1 ? c.outerA : c.outerB);
            }
            EXPECT_EQ(o[1].TrackRadius, c.radiusA);
            EXPECT_EQ(o[2].TrackRadius, 9);  // B's tracking radius never moves
            EXPECT_EQ(o[3].TrackRadius, c.radiusC);
        }
    }
    DataLineSet lines = Lines(10);
    EXPECT_FALSE(ApplyPresetToLines(lines, sigma, 5, false));
    EXPECT_EQ(lines[0].Objects[1].TrackMode, kTrackOff);
    // A width that is not a number or huge gives a radius inside 0..25.
    sigma[1] = std::nan("");
    sigma[3] = 1e300;
    ApplyPresetToLines(lines, sigma, 1, false);
    EXPECT_EQ(lines[2].Objects[1].TrackRadius, 0);
    EXPECT_EQ(lines[2].Objects[3].TrackRadius, 25);
}

// The window with the default settings in the test's own folder.
struct Tools : testutil::MainWindowTest {
    void SetUp() override { OpenMainWindow(); }
    void Key(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key < 128 ? QString(QChar(key)) : QString());
        QApplication::sendEvent(target, &press);
    }
    void Focus(QWidget* target, bool in) {
        QFocusEvent e(in ? QEvent::FocusIn : QEvent::FocusOut);
        QApplication::sendEvent(target, &e);
    }
    QColor TextColour(QLineEdit* e) { return e->palette().color(QPalette::Text); }
};

TEST_F(Tools, GammaEnterAndLeave) {
    w->RadioButton16->click();
    EXPECT_EQ(w->Gamma.GammaMode, 1);
    EXPECT_TRUE(w->Edit18->isEnabled());
    Focus(w->Edit18, true);
    EXPECT_EQ(TextColour(w->Edit18), QColor(Qt::blue));
    w->Edit18->setText(".5");
    Key(w->Edit18, Qt::Key_Return);
    EXPECT_EQ(w->Edit18->text().toStdString(), "0.50");
    EXPECT_EQ(w->Gamma.GammaValue, 0.5);
    EXPECT_EQ(TextColour(w->Edit18), QColor(Qt::black));
    // Rebuilt for the new value: 128 -> 210 x (128/210)^(1/0.5), within half a level.
    EXPECT_NEAR(w->Gamma.GammaTable[128], 210.0 * std::pow(128.0 / 210.0, 2.0), 0.5);
    for (const char* refused : {"0", "abc", "0.00"}) {
        w->Edit18->setText(refused);
        Key(w->Edit18, Qt::Key_Return);
        EXPECT_EQ(w->Gamma.GammaValue, 0.5) << refused;
    }
    // Typed without Enter: leaving shows the gamma in force again.
    w->Edit18->setText("2");
    Focus(w->Edit18, false);
    EXPECT_EQ(w->Edit18->text().toStdString(), "0.50");
    w->RadioButton15->click();
    EXPECT_EQ(w->Gamma.GammaMode, 0);
    EXPECT_FALSE(w->Edit18->isEnabled());
}

TEST_F(Tools, IntervalRoundsTiesToEvenAndRefusesOutOfRange) {
    struct {
        const char* text;
        int step;
    } cases[] = {{"12.5", 12}, {"13.5", 14}, {"256.5", 256}, {"0.4", 256}, {"257", 256},
                 {"1234567890123456789012345", 256}, {"3", 3}, {"0", 3}};
    for (const auto& c : cases) {
        w->Edit19->setText(c.text);
        Key(w->Edit19, Qt::Key_Return);
        EXPECT_EQ(w->State.FrameStep, c.step) << c.text;
        EXPECT_EQ(w->UpDown9->Position(), c.step) << c.text;
        EXPECT_EQ(w->Edit19->text().toInt(), c.step) << c.text;
    }
    // Typed and the up-down agree on the shadow velocity per interval.
    EXPECT_DOUBLE_EQ(static_cast<double>(diffraction::Model.ShadowVelocityPerInterval),
                     3 * static_cast<double>(diffraction::Model.ShadowVelocity));
    w->UpDown9->SetPositionByUser(7);
    EXPECT_EQ(w->State.FrameStep, 7);
    EXPECT_EQ(w->Edit19->text().toStdString(), "7");
    EXPECT_DOUBLE_EQ(static_cast<double>(diffraction::Model.ShadowVelocityPerInterval),
                     7 * static_cast<double>(diffraction::Model.ShadowVelocity));
}

TEST_F(Tools, EventTimeToClipboard) {
    w->Edit24->setText("12");
    w->Edit25->setText("34");
    w->Edit26->setText("56.78");
    w->findChild<QAction*>("CopyCurrentTimetoClipboard1")->trigger();
    EXPECT_EQ(dialogs.clipboardText, "Event Time obtained from Tevorin:123456.78\n");
    ASSERT_EQ(w->Memo2Table.Count(), 1u);
}

TEST_F(Tools, OpenersOpenOnceUnderGuardAndFlag) {
    // Every row's control exists in the window; "chart1.NAME" in the graph window's
    // form, "FresnelCtrl.NAME" in the Fresnel panel's.
    QWidget graphForm, panelForm;
    Ui::Tchart1 graphUi;
    graphUi.setupUi(&graphForm);
    Ui::TFresnelCtrl panelUi;
    panelUi.setupUi(&panelForm);
    for (const std::string& c : TPlatform::OpenerControls()) {
        if (c.rfind("chart1.", 0) == 0) EXPECT_TRUE(graphForm.findChild<QObject*>(QString::fromStdString(c.substr(7)))) << c;
        else if (c.rfind("FresnelCtrl.", 0) == 0)
            EXPECT_TRUE(panelForm.findChild<QObject*>(QString::fromStdString(c.substr(12)))) << c;
        else EXPECT_TRUE(w->findChild<QObject*>(QString::fromStdString(c))) << c;
    }
    w->State.RecordingFlag = 1;
    EXPECT_FALSE(w->OpenWindow("forMutualEvent1"));
    EXPECT_FALSE(MutualAverageOpen);
    w->State.RecordingFlag = 0;
    w->findChild<QAction*>("forMutualEvent1")->trigger();
    EXPECT_TRUE(MutualAverageOpen);
    EXPECT_FALSE(w->OpenWindow("forMutualEvent1"));  // open already
    Mutual_Average->close();
    QApplication::processEvents();

    w->findChild<QAction*>("ErrorMessagesfromDSHOW1")->trigger();
    ASSERT_TRUE(DshowErrors);
    EXPECT_TRUE(DshowErrorsShown);
    EXPECT_FALSE(w->OpenWindow("ErrorMessagesfromDSHOW1"));
    DshowErrors->close();
    QApplication::processEvents();
    EXPECT_FALSE(DshowErrorsShown);

    // The right mouse button on "Estimated track" opens the predicted-track settings.
    emit w->CheckBox4->customContextMenuRequested(QPoint(2, 2));
    ASSERT_TRUE(SetPredictTrack);
    TSetPredictTrack* first = SetPredictTrack;
    EXPECT_FALSE(w->OpenWindow("CheckBox4"));
    EXPECT_EQ(SetPredictTrack, first);
    SetPredictTrack->close();
    QApplication::processEvents();

    // The graph needs a video or a results file.
    EXPECT_FALSE(w->OpenWindow("Button18"));
    EXPECT_FALSE(w->OpenWindow("NoSuchControl"));
}

}  // namespace
