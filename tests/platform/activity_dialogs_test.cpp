// The scripted answers of input boxes and folder dialogs, and the named
// background work that scripts wait for.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/activity.h"
#include "platform/dialogs.h"

TEST(ScriptedDialogs, InputBoxesAndFolderDialogsTakeTheirOwnAnswers) {
    ScriptedDialogs d;
    d.Install();
    int modal = 0;
    d.modalHook = [&](bool on) { modal += on ? 1 : -1; };
    d.textAnswers = {"Io", ""};
    d.folderAnswers = {"/data/night1"};
    d.fileAnswers = {"/data/run.csv", "/data/other"};
    EXPECT_EQ(Dialogs().InputText("Label", "Object name:", "x"), std::optional<std::string>("Io"));
    EXPECT_EQ(Dialogs().InputText("Label", "again", "x"), std::optional<std::string>(""));  // OK on an empty box
    EXPECT_EQ(Dialogs().InputText("Label", "third", "x"), std::nullopt);                    // nothing queued: cancelled
    // A folder answer never feeds a file dialog, and a folder dialog takes it first.
    EXPECT_EQ(Dialogs().OpenFileName({"Open", "", "", ""}), "/data/run.csv");
    EXPECT_EQ(Dialogs().FolderName({"Folder", "/start", "", ""}), "/data/night1");
    // Without a folder answer, a folder dialog takes the next file answer, as before.
    EXPECT_EQ(Dialogs().FolderName({"Folder", "", "", ""}), "/data/other");
    EXPECT_EQ(Dialogs().FolderName({"Folder", "", "", ""}), "");
    EXPECT_EQ(modal, 0);
    ASSERT_EQ(d.Texts("input").size(), 3u);
    EXPECT_EQ(d.Texts("input")[0], "Object name:");
    ASSERT_EQ(d.Texts("folder").size(), 3u);
    EXPECT_EQ(d.shown[4].folder, "/start");
}

TEST(Activity, NamedWorkNestsAcrossThreadsAndNeverGoesNegative) {
    EXPECT_FALSE(activity::Busy("load"));
    activity::End("load");  // an end without a beginning changes nothing
    {
        activity::Scope outer("load");
        EXPECT_TRUE(activity::Busy("load"));
        EXPECT_FALSE(activity::Busy("fit"));
        activity::Begin("load");
        activity::End("load");
        EXPECT_TRUE(activity::Busy("load"));
    }
    EXPECT_FALSE(activity::Busy("load"));
    std::vector<std::thread> workers;
    for (int t = 0; t < 8; ++t)
        workers.emplace_back([] {
            for (int i = 0; i < 1000; ++i) {
                activity::Begin("fit");
                activity::End("fit");
            }
        });
    for (auto& w : workers) w.join();
    EXPECT_FALSE(activity::Busy("fit"));
}
