// The predicted-track settings window offscreen.
#include <gtest/gtest.h>

#include "measure/SetPredictTrack1.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "support/test_util.h"

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
    EXPECT_EQ(tracking.SetPredictTrackOpen, 1);
    EXPECT_EQ((w->windowTitle() + "|" + w->CheckBox1->text() + "|" + w->CheckBox3->text()).toStdString(),
              "Setting for predicted track|Object A|Object C");
    EXPECT_EQ(std::tuple(w->CheckBox1->isChecked(), w->CheckBox2->isChecked(), w->UpDown3->Position()), std::tuple(false, true, 120));
    EXPECT_EQ((w->Edit1->text() + " " + w->Edit3->text()).toStdString(), "30 120");
    // Object A is not current: only its record changes; B is current: "Estimated track" follows.
    w->CheckBox1->click();
    EXPECT_EQ(std::tuple(tracking.PredictTrack[1].Enabled, platform.CheckBox4->isChecked()), std::tuple(1, true));
    w->CheckBox2->click();
    EXPECT_EQ(std::tuple(tracking.PredictTrack[2].Enabled, platform.CheckBox4->isChecked()), std::tuple(0, false));
    // Frame range in steps of 10 within 10..300.
    w->UpDown1->ClickArrow(true);
    for (int i = 0; i < 40; ++i) w->UpDown3->ClickArrow(true), w->UpDown2->ClickArrow(false);
    EXPECT_EQ(std::tuple(tracking.PredictTrack[1].FrameRange, tracking.PredictTrack[2].FrameRange, tracking.PredictTrack[3].FrameRange),
              std::tuple(40, 10, 300));
    EXPECT_EQ((w->Edit1->text() + " " + w->Edit2->text()).toStdString(), "40 10");
    // Closing frees the window and clears the flag.
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(SetPredictTrack, nullptr);
    EXPECT_EQ(tracking.SetPredictTrackOpen, 0);
}
