// The update window against a loopback site (Python's http.server) with archives
// made by the zip program, and a scratch program folder.
#include "web/WebAccess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <filesystem>
#include <map>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/shell_service.h"
#include "support/test_util.h"
#include "web/loopback_http.h"
#include "web/software_update.h"
#include "web/update_steps.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string Text(const QPlainTextEdit* memo) { return memo->toPlainText().toStdString(); }

class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testutil::HaveProgram("zip"));
        ASSERT_TRUE(server.Ok());
        program = prog.Path() + "/";
        web::SetUpdateBase(server.Base());
        web::SetUpdateProgramDir(program);
        web::SetUpdateStallMs(2000);
        dialogs.Install();
        // What the old program folder holds.
        testutil::WriteAll(prog.File("tevorin"), "old program");
        testutil::WriteAll(prog.File("readme.txt"), "old readme");
        testutil::WriteAll(prog.File("settings.ini"), "mine");
    }
    void TearDown() override {
        delete window.data();
        web::SetUpdateBase("");
        web::SetUpdateProgramDir("");
        web::SetUpdateStallMs(0);
    }

    void Publish(const std::string& info) { testutil::WriteAll(site.File("info.txt"), info); }

    // Zips `files` (name -> content; a name ending in "/" is a folder) with the
    // zip program into the site's archive `archive`.
    void PublishArchive(const std::string& archive, const std::map<std::string, std::string>& files) {
        testutil::TempDir stage;
        for (const auto& [name, content] : files) {
            if (name.back() == '/') {
                fs::create_directories(stage.File(name));
                continue;
            }
            fs::create_directories(fs::path(stage.File(name)).parent_path());
            testutil::WriteAll(stage.File(name), content);
        }
        ASSERT_EQ(testutil::Run("cd '" + stage.Path() + "' && zip -q -r -X '" + site.File(archive) + "' ."), 0);
    }

    void Open() {
        window = new TWebAccess(nullptr, [this] { ++mainClosed; });
        window->show();
    }

    std::string NewZipPayload() { return "#!/bin/sh\necho new version\n" + std::string(20000, 'x'); }

    testutil::TempDir site, prog;
    testutil::PythonHttpServer server{site.Path()};
    std::string program;
    ScriptedDialogs dialogs;
    platform::ShellRecording shell;
    const std::vector<platform::ShellRequest>& starts = shell.requests;
    int mainClosed = 0;
    QPointer<TWebAccess> window;
};

TEST_F(UpdateWindow, OffersEveryOtherVersionAndLoadsTheVersionFile) {
    Publish("0.9.98\r\nFixes the tracking.\r\n");
    Open();
    EXPECT_EQ(window->windowTitle(), "Automatic software update");
    EXPECT_EQ(window->Button1->text(), "Update");
    EXPECT_EQ(window->Button2->text(), "Cancel / Close");
    EXPECT_EQ(window->Button3->text(), "Button3");
    EXPECT_EQ(Text(window->Memo1),
              "This program is Ver.0.9.97.3i.\nThe newest version Ver.0.9.98 is available.\n\nDo you need this update now?");
    EXPECT_EQ(Text(window->Memo2), "0.9.98\nFixes the tracking.");
    EXPECT_TRUE(window->Button1->isEnabled());
    // The fetched version file does not stay in the program folder.
    EXPECT_EQ(Names(prog.Path()), (std::vector<std::string>{"readme.txt", "settings.ini", "tevorin"}));
    window->Button2->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());  // freed when closed

    Publish("0.9.97.3i\n");
    Open();
    EXPECT_EQ(Text(window->Memo1), "This program is Ver.0.9.97.3i.\nThis program is the newest version. Update is not necessary.");
    EXPECT_TRUE(window->Button1->isEnabled());
    delete window.data();

    Publish("0.9.96");
    Open();
    EXPECT_EQ(Text(window->Memo1),
              "This program is Ver.0.9.97.3i.\nThe newest version Ver.0.9.96 is available.\n\nDo you need this update now?");
}

TEST_F(UpdateWindow, AFailedCheckLeavesUpdateDisabled) {
    auto expectFailed = [&](const char* what) {
        Open();
        EXPECT_EQ(Text(window->Memo1), "Failed in the access to Internet.") << what;
        EXPECT_EQ(Text(window->Memo2), "") << what;
        EXPECT_FALSE(window->Button1->isEnabled()) << what;
        delete window.data();
    };
    expectFailed("no info.txt (404)");
    Publish("<!DOCTYPE html>\n<html><body>Welcome to the hotel network</body></html>\n");
    expectFailed("a portal page");
    Publish(std::string(100000, '1'));
    expectFailed("a huge file");

    testutil::ScriptedHttpServer silent;
    web::SetUpdateBase(silent.Url("tevorin/newestversion/"));
    web::SetUpdateStallMs(300);
    expectFailed("a server that never answers");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(UpdateWindow, UpdateInstallsTheNewVersionAndRestarts) {
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()},
                                       {"readme.txt", "new readme"},
                                       {"doc/", ""},
                                       {"doc/manual.txt", "manual"}});
    Open();
    window->Button1->click();

    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
    EXPECT_EQ(Text(window->Memo1),
              "This program is Ver.0.9.97.3i.\nThe newest version Ver.0.9.98 is available.\n\nDo you need this update now?\n"
              "Updating now.\n" + server.Url("tevorin0998.zip") + "\nSearchDir: " + program + "tevorin0998/");
    // Top-level files only; the program's new copy beside the running one; the
    // unpacked folder, the archive and the version file gone.
    EXPECT_EQ(Names(prog.Path()),
              (std::vector<std::string>{"readme.txt", "restart.sh", "settings.ini", "tevorin", "tevorinN"}));
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorin")), "old program");
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorinN")), NewZipPayload());
    EXPECT_EQ(testutil::ReadAll(prog.File("readme.txt")), "new readme");
    EXPECT_EQ(testutil::ReadAll(prog.File("settings.ini")), "mine");
    EXPECT_EQ(testutil::ReadAll(prog.File("restart.sh")),
              fileio::JoinLines(web::RestartScriptLines(program, ::getpid()), "\n"));

    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].kind, "start");
    EXPECT_EQ(starts[0].target, "/bin/sh");
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{program + "restart.sh"}));
    EXPECT_EQ(mainClosed, 1);
    EXPECT_TRUE(window.isNull() || !window->isVisible());
}

TEST_F(UpdateWindow, AFailedUpdateCopiesNothingAndStartsNothing) {
    const std::vector<std::string> before = {"readme.txt", "settings.ini", "tevorin"};
    Publish("0.9.98\n");
    Open();

    // No archive on the site.
    window->Button1->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown.back().what, "plain");
    EXPECT_EQ(dialogs.shown.back().text, "Fail to download");
    EXPECT_EQ(Names(prog.Path()), before);

    // A truncated archive: the zip reader's error, the archive not kept.
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}, {"readme.txt", "new readme"}});
    const std::string whole = testutil::ReadAll(site.File("tevorin0998.zip"));
    testutil::WriteAll(site.File("tevorin0998.zip"), whole.substr(0, whole.size() / 2));
    window->Button1->click();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown.back().what, "error");
    EXPECT_FALSE(dialogs.shown.back().text.empty());
    EXPECT_EQ(Names(prog.Path()), before);

    // An archive without the program: nothing copied, the unpacked folder removed.
    fs::remove(site.File("tevorin0998.zip"));
    PublishArchive("tevorin0998.zip", {{"readme.txt", "new readme"}, {"tevorin.exe", "not ours"}});
    window->Button1->click();
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown.back().what, "error");
    EXPECT_NE(dialogs.shown.back().text.find("\"tevorin\""), std::string::npos) << dialogs.shown.back().text;
    EXPECT_EQ(Names(prog.Path()), before);
    EXPECT_EQ(testutil::ReadAll(prog.File("readme.txt")), "old readme");

    // A file that cannot replace its target (a folder of that name): no new copy of
    // the program, no script, no temporary files.
    fs::remove(site.File("tevorin0998.zip"));
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}, {"settings.ini", "theirs"}});
    fs::remove(prog.File("settings.ini"));
    fs::create_directory(prog.File("settings.ini"));
    testutil::WriteAll(prog.File("settings.ini/inside"), "x");
    window->Button1->click();
    ASSERT_EQ(dialogs.shown.size(), 4u);
    EXPECT_EQ(dialogs.shown.back().what, "error");
    EXPECT_NE(dialogs.shown.back().text.find("settings.ini"), std::string::npos) << dialogs.shown.back().text;
    EXPECT_EQ(Names(prog.Path()), before);
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorin")), "old program");

    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(mainClosed, 0);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(UpdateWindow, Button3ChecksAndUpdatesInOneGo) {
    Open();  // nothing published yet: the window's own check failed
    window->Button3->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown.back().text, "Fail to download");

    Publish("0.9.97.3i\n");
    window->Button3->click();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown.back().what, "plain");
    EXPECT_EQ(dialogs.shown.back().text, "This program is the newest version. Update is not necessary.");
    EXPECT_TRUE(starts.empty());

    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}});
    window->Button3->click();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    const std::string folder = program + "tevorin0998/";
    EXPECT_EQ(Text(window->Memo1), "Failed in the access to Internet.\nUpdating now.\n" + server.Url("tevorin0998.zip") +
                                       "\nSearchDir: " + folder + "\nDirectoryExists: " + folder + "\nDirectory Deleted");
    EXPECT_EQ(Names(prog.Path()),
              (std::vector<std::string>{"readme.txt", "restart.sh", "settings.ini", "tevorin", "tevorinN"}));
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{program + "restart.sh"}));
    EXPECT_EQ(mainClosed, 1);
}

TEST(UpdateSite, DefaultsToAPlaceholderSiteAndTheProgramFolder) {
    const web::UpdateSite site = web::CurrentUpdateSite();
    EXPECT_EQ(site.base, web::kUpdateBase);
    const std::string base = site.base;
    EXPECT_EQ(base.substr(0, 7), "http://");
    EXPECT_NE(base.find(".invalid/"), std::string::npos);
    EXPECT_EQ(base.substr(base.size() - 23), "/tevorin/newestversion/");
    EXPECT_EQ(site.programDir, fileio::ExecutableFolder());
    EXPECT_EQ(site.stallMs, 15000);
    EXPECT_FALSE(web::RunningUnderDebugger());
}

}  // namespace

namespace {

// The user's way through the harness: "Software Update" from the Tool menu, the
// offer read, "Update" pressed; the main window closes for the restart.
TEST(UpdateThroughTheHarness, MenuOfferUpdateAndRestart) {
    testutil::TempDir site, prog, stage, work;
    testutil::PythonHttpServer server(site.Path());
    ASSERT_TRUE(server.Ok());
    testutil::WriteAll(site.File("info.txt"), "0.9.98\n");
    testutil::WriteAll(stage.File("tevorin"), "new program");
    ASSERT_EQ(testutil::Run("cd '" + stage.Path() + "' && zip -q -X '" + site.File("tevorin0998.zip") + "' tevorin"), 0);
    testutil::WriteAll(prog.File("tevorin"), "old program");

    const std::string script = "update-base " + server.Base() + "\nprogram-dir " + prog.Path() +
                               "\nopen-window WebAccess\nclose WebAccess\npress SoftwareUpdate1\nexpect-shown WebAccess 1\n"
                               "expect-text WebAccess.Memo1 This program is Ver.0.9.97.3i.|The newest version Ver.0.9.98 "
                               "is available.||Do you need this update now?\n"
                               "expect-text WebAccess.Memo2 0.9.98\nexpect-enabled WebAccess.Button1 1\n"
                               "press WebAccess.Button1\nwait-ms 50\nexpect-errors 0\nexpect-shown WebAccess 0\n"
                               "expect-shown main 0\nprint-shell\n";
    testutil::WriteAll(work.File("script.txt"), script);
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + work.File("script.txt") + " 2>&1", &out), 0) << out;
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorin")), "old program");
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorinN")), "new program");
    EXPECT_TRUE(fs::exists(prog.File("restart.sh")));
    EXPECT_FALSE(fs::exists(prog.File("tevorin0998.zip")));
    EXPECT_NE(out.find("start\t/bin/sh\t" + prog.Path() + "/restart.sh\n"), std::string::npos) << out;
}

}  // namespace
