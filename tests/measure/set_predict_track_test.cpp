// The predicted-track settings window offscreen.
#include <gtest/gtest.h>

#include "measure/SetPredictTrack1.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

namespace {

TEST(SetPredictTrackWindow, ShowsEditsAndSyncsTheCurrentObject) {
    ScriptedDialogs dialogs;
    dialogs.Install();
    testutil::TempDir dir;
    SetSettingsFilePath(dir.File("tevorin.ini"));
    TPlatform platform;
    SetSettingsFilePath("");
    TrackingState tracking;
    tracking.PredictTrack[2].Enabled = 1;
    tracking.PredictTrack[3].FrameRange = 120;
    platform.State.CurrentObject = 2;
    platform.CheckBox4->setChecked(true);

    TSetPredictTrack* w = OpenSetPredictTrack(tracking);
    ASSERT_EQ(w, SetPredictTrack);
    EXPECT_EQ(OpenSetPredictTrack(tracking), w);  // open already: the same window
    EXPECT_EQ(w->windowTitle().toStdString(), "Setting for predicted track");
    EXPECT_EQ(tracking.SetPredictTrackOpen, 1);
    EXPECT_EQ(w->CheckBox1->text().toStdString(), "Object A");
    EXPECT_EQ(w->CheckBox3->text().toStdString(), "Object C");
    EXPECT_FALSE(w->CheckBox1->isChecked());
    EXPECT_TRUE(w->CheckBox2->isChecked());
    EXPECT_EQ(w->Edit1->text().toStdString(), "30");
    EXPECT_EQ(w->Edit3->text().toStdString(), "120");
    EXPECT_EQ(w->UpDown3->Position(), 120);

    // Object A is not current: only its record changes.
    w->CheckBox1->click();
    EXPECT_EQ(tracking.PredictTrack[1].Enabled, 1);
    EXPECT_TRUE(platform.CheckBox4->isChecked());
    // Object B is current: "Estimated track" follows.
    w->CheckBox2->click();
    EXPECT_EQ(tracking.PredictTrack[2].Enabled, 0);
    EXPECT_FALSE(platform.CheckBox4->isChecked());

    // Frame range in steps of 10 within 10..300.
    w->UpDown1->ClickArrow(true);
    EXPECT_EQ(tracking.PredictTrack[1].FrameRange, 40);
    EXPECT_EQ(w->Edit1->text().toStdString(), "40");
    for (int i = 0; i < 40; ++i) w->UpDown3->ClickArrow(true);
    EXPECT_EQ(tracking.PredictTrack[3].FrameRange, 300);
    for (int i = 0; i < 40; ++i) w->UpDown2->ClickArrow(false);
    EXPECT_EQ(tracking.PredictTrack[2].FrameRange, 10);
    EXPECT_EQ(w->Edit2->text().toStdString(), "10");

    // Closing frees the window and clears the flag.
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(SetPredictTrack, nullptr);
    EXPECT_EQ(tracking.SetPredictTrackOpen, 0);
    EXPECT_EQ(tracking.PredictTrack[1].FrameRange, 40);
}

}  // namespace
