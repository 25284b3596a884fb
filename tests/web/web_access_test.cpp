// The update window against a loopback site (Python's http.server, or a server
// of the test's own that trickles) with archives made by the zip program, files
// signed at run time by the openssl tool, and a scratch program folder.
#include "web/WebAccess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <filesystem>
#include <map>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "platform/shell_service.h"
#include "support/test_util.h"
#include "web/loopback_http.h"
#include "web/software_update.h"
#include "web/update_signature.h"
#include "web/update_signing.h"
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

// Everything below `folder`, links not followed: each path with its content, its
// link target or "/" for a folder. Equal snapshots: the folder is byte-identical.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = fs::relative(it->path(), folder).string();
        if (it->is_symlink()) out[rel] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory()) out[rel] = "/";
        else out[rel] = testutil::ReadAll(it->path().string());
    }
    return out;
}

class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(testutil::HaveProgram("zip"));
        ASSERT_TRUE(testutil::HaveProgram("openssl"));
        ASSERT_TRUE(server.Ok());
        ASSERT_TRUE(key.Ok());
        ASSERT_TRUE(other.Ok());
        program = prog.Path() + "/";
        web::SetUpdateBase(server.Base());
        web::SetUpdateProgramDir(program);
        web::SetUpdateStallMs(2000);
        web::SetUpdateKey(key.PublicPem());
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
        web::SetUpdateKey(std::nullopt);
        web::SetUpdateDeadlinesMs(0, 0);
    }

    // Publishes info.txt signed by `by` (unsigned without).
    void Publish(const std::string& info, const testutil::SigningKey* by) {
        testutil::WriteAll(site.File("info.txt"), info);
        fs::remove(site.File("info.txt.sig"));
        if (by) by->Sign(site.File("info.txt"));
    }
    void Publish(const std::string& info) { Publish(info, &key); }

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
        fs::remove(site.File(archive));
        ASSERT_EQ(testutil::Run("cd '" + stage.Path() + "' && zip -q -r -X '" + site.File(archive) + "' ."), 0);
        key.Sign(site.File(archive));
    }

    void Open() {
        window = new TWebAccess(nullptr, [this] { ++mainClosed; });
        window->show();
    }

    std::string NewZipPayload() { return "#!/bin/sh\necho new version\n" + std::string(20000, 'x'); }

    // The last line of Memo1.
    std::string LastLine() const {
        const std::string text = Text(window->Memo1);
        return text.substr(text.rfind('\n') + 1);
    }

    testutil::TempDir site, prog;
    testutil::PythonHttpServer server{site.Path()};
    testutil::SigningKey key, other;
    std::string program;
    ScriptedDialogs dialogs;
    platform::ShellRecording shell;
    const std::vector<platform::ShellRequest>& starts = shell.requests;
    int mainClosed = 0;
    QPointer<TWebAccess> window;
};

TEST_F(UpdateWindow, OffersOnlyANewerVersionAndLoadsTheVersionFile) {
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

    // The same or an older version: the newest texts and no Update.
    for (const char* version : {"0.9.97.3i\n", "0.9.96", "0.9.97.3\r\n"}) {
        Publish(version);
        Open();
        EXPECT_EQ(Text(window->Memo1),
                  "This program is Ver.0.9.97.3i.\nThis program is the newest version. Update is not necessary.")
            << version;
        EXPECT_FALSE(window->Button1->isEnabled()) << version;
        window->Button1->click();
        EXPECT_EQ(Names(prog.Path()), (std::vector<std::string>{"readme.txt", "settings.ini", "tevorin"}));
        delete window.data();
    }
    EXPECT_TRUE(starts.empty());
    EXPECT_TRUE(dialogs.shown.empty());
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
    Publish(std::string(100000, '1'));
    expectFailed("a huge file");

    testutil::ScriptedHttpServer silent;
    web::SetUpdateBase(silent.Url("tevorin/newestversion/"));
    web::SetUpdateStallMs(300);
    expectFailed("a server that never answers");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(Names(prog.Path()), (std::vector<std::string>{"readme.txt", "settings.ini", "tevorin"}));
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

    // A truncated archive (signed as it is): the zip reader's error, the archive
    // not kept.
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}, {"readme.txt", "new readme"}});
    const std::string whole = testutil::ReadAll(site.File("tevorin0998.zip"));
    testutil::WriteAll(site.File("tevorin0998.zip"), whole.substr(0, whole.size() / 2));
    key.Sign(site.File("tevorin0998.zip"));
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
    EXPECT_EQ(site.checkDeadlineMs, 30000);
    EXPECT_EQ(site.archiveDeadlineMs, 60000);
    EXPECT_EQ(site.keyPem, web::BuiltInUpdateKey());
    EXPECT_FALSE(web::RunningUnderDebugger());
}

TEST_F(UpdateWindow, ABuildWithoutAKeyOffersNothing) {
    testutil::TricklingSite watched(site.Path(), {});
    web::SetUpdateBase(watched.Base());
    web::SetUpdateKey(std::string());
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}});
    const auto before = Snapshot(prog.Path());
    Open();
    EXPECT_EQ(Text(window->Memo1), std::string("This program is Ver.0.9.97.3i.\n") + web::kNoKeyText);
    EXPECT_FALSE(window->Button1->isEnabled());
    window->Button3->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, std::string("This program is Ver.0.9.97.3i.\n") + web::kNoKeyText);
    // Nothing was even asked of the site.
    EXPECT_TRUE(watched.Requests().empty());
    EXPECT_EQ(Snapshot(prog.Path()), before);
    EXPECT_TRUE(starts.empty());
}

TEST_F(UpdateWindow, AVersionFileWithoutTheTrustedSignatureOffersNothing) {
    const auto before = Snapshot(prog.Path());
    auto expectRefused = [&](const std::string& why, const char* what) {
        Open();
        EXPECT_EQ(Text(window->Memo1), std::string(web::kNotSignedText) + "\n" + why) << what;
        EXPECT_EQ(Text(window->Memo2), "") << what;
        EXPECT_FALSE(window->Button1->isEnabled()) << what;
        delete window.data();
        EXPECT_EQ(Snapshot(prog.Path()), before) << what;
    };
    Publish("0.9.98\n", nullptr);
    expectRefused("info.txt.sig: the server answered 404", "unsigned");
    Publish("0.9.98\n", &other);
    expectRefused("info.txt: the signature does not match", "another key");
    Publish("0.9.98\n");
    testutil::WriteAll(site.File("info.txt"), "0.9.99\n");
    expectRefused("info.txt: the signature does not match", "changed after signing");
    // A network's sign-in page in place of both files.
    testutil::WriteAll(site.File("info.txt"), "<html><body>Welcome to the hotel network</body></html>\n");
    testutil::WriteAll(site.File("info.txt.sig"), "<html><body>Welcome to the hotel network</body></html>\n");
    expectRefused("info.txt.sig: not a signature of 64 bytes", "a portal page");

    // Signed, but no version: said so, not blamed on the network.
    Publish("<!DOCTYPE html>\n<html></html>\n");
    Open();
    EXPECT_EQ(Text(window->Memo1), web::kNotVersionText);
    EXPECT_FALSE(window->Button1->isEnabled());
    window->Button3->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, web::kNotVersionText);
    EXPECT_EQ(Snapshot(prog.Path()), before);
    EXPECT_TRUE(starts.empty());
}

TEST_F(UpdateWindow, AnArchiveWithoutTheTrustedSignatureInstallsNothing) {
    const auto before = Snapshot(prog.Path());
    Publish("0.9.98\n");
    Open();
    ASSERT_TRUE(window->Button1->isEnabled());
    const std::string archive = site.File("tevorin0998.zip");
    auto expectRefused = [&](const std::string& why, const char* what) {
        const size_t boxes = dialogs.shown.size();
        window->Button1->click();
        ASSERT_EQ(dialogs.shown.size(), boxes + 1) << what;
        EXPECT_EQ(dialogs.shown.back().what, "error") << what;
        EXPECT_EQ(dialogs.shown.back().text, std::string(web::kNotSignedText) + "\n" + why) << what;
        EXPECT_EQ(LastLine(), why) << what;
        EXPECT_EQ(Snapshot(prog.Path()), before) << what;
    };
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}, {"readme.txt", "new readme"}});
    fs::remove(archive + ".sig");
    expectRefused("tevorin0998.zip.sig: the server answered 404", "unsigned");
    other.Sign(archive);
    expectRefused("tevorin0998.zip: the signature does not match", "another key");
    // Signed, then one byte changed.
    key.Sign(archive);
    std::string bytes = testutil::ReadAll(archive);
    bytes[bytes.size() / 2] ^= 0x20;
    testutil::WriteAll(archive, bytes);
    expectRefused("tevorin0998.zip: the signature does not match", "changed after signing");
    // Another archive's good signature.
    PublishArchive("tevorin0999.zip", {{"tevorin", "other"}});
    fs::copy_file(site.File("tevorin0999.zip.sig"), archive + ".sig", fs::copy_options::overwrite_existing);
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}});
    fs::copy_file(site.File("tevorin0999.zip.sig"), archive + ".sig", fs::copy_options::overwrite_existing);
    expectRefused("tevorin0998.zip: the signature does not match", "another file's signature");
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(mainClosed, 0);
}

TEST_F(UpdateWindow, TheUsersSettingsFileStays) {
    testutil::WriteAll(prog.File("tevorin.ini"), "[Mine]\r\nKeep=1\r\n");
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip",
                   {{"tevorin", NewZipPayload()}, {"tevorin.ini", "[Theirs]\r\n"}, {"readme.txt", "new readme"}});
    Open();
    window->Button1->click();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
    EXPECT_NE(Text(window->Memo1).find("\nSearchDir: " + program + "tevorin0998/\n" + web::SettingsSkippedLine()),
              std::string::npos)
        << Text(window->Memo1);
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorin.ini")), "[Mine]\r\nKeep=1\r\n");
    EXPECT_EQ(testutil::ReadAll(prog.File("readme.txt")), "new readme");
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorinN")), NewZipPayload());
    EXPECT_EQ(Names(prog.Path()), (std::vector<std::string>{"readme.txt", "restart.sh", "settings.ini", "tevorin",
                                                            "tevorin.ini", "tevorinN"}));
    EXPECT_EQ(starts.size(), 1u);
}

TEST_F(UpdateWindow, TheProgramsNewCopyIsTheArchivesProgram) {
    // An entry named like the new copy would take its place: the program wins and
    // everything else is copied.
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip",
                   {{"tevorin", NewZipPayload()}, {"tevorinN", "an impostor"}, {"readme.txt", "new readme"}});
    Open();
    window->Button1->click();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorinN")), NewZipPayload());
    EXPECT_EQ(testutil::ReadAll(prog.File("readme.txt")), "new readme");
    EXPECT_EQ(starts.size(), 1u);
}

TEST_F(UpdateWindow, AFailedReplaceLeavesEveryFileAsItWas) {
    // The last file cannot be set aside (something is in the way of its old copy's
    // temporary name), after the program's copy and the readme were renamed in:
    // they go again and every old file is back.
    testutil::WriteAll(prog.File("zz.txt"), "old zz");
    fs::create_directory(prog.File(".zz.txt.replaced"));
    testutil::WriteAll(prog.File(".zz.txt.replaced/in the way"), "x");
    testutil::WriteAll(prog.File("tevorinN"), "an earlier new copy");
    const auto before = Snapshot(prog.Path());
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}, {"readme.txt", "new readme"}, {"zz.txt", "new zz"}});
    Open();
    window->Button1->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].what, "error");
    EXPECT_NE(dialogs.shown[0].text.find("zz.txt"), std::string::npos) << dialogs.shown[0].text;
    EXPECT_EQ(Snapshot(prog.Path()), before);
    EXPECT_TRUE(starts.empty());
}

TEST_F(UpdateWindow, ALinkInPlaceOfTheUnpackedFolderIsRefused) {
    // The link's target, outside the program folder, must not be written or emptied.
    testutil::TempDir outside;
    fs::create_directory(outside.File("sub"));
    testutil::WriteAll(outside.File("sub/precious.txt"), "precious");
    testutil::WriteAll(outside.File("tevorin"), "someone else's");
    const auto outsideBefore = Snapshot(outside.Path());
    fs::create_directory_symlink(outside.Path(), prog.File("tevorin0998"));
    const auto before = Snapshot(prog.Path());
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip", {{"tevorin", NewZipPayload()}, {"sub/", ""}, {"sub/new.txt", "new"}});
    Open();
    window->Button1->click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].what, "error");
    EXPECT_EQ(dialogs.shown[0].text, "\"" + program + "tevorin0998\" is a link, not a folder; nothing was unpacked.");
    window->Button3->click();
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, dialogs.shown[0].text);
    EXPECT_EQ(Snapshot(outside.Path()), outsideBefore);
    EXPECT_EQ(Snapshot(prog.Path()), before);
    EXPECT_TRUE(starts.empty());

    // A real folder left from an earlier attempt is replaced by what this archive
    // holds: its stray file is not copied.
    fs::remove(prog.File("tevorin0998"));
    fs::create_directory(prog.File("tevorin0998"));
    testutil::WriteAll(prog.File("tevorin0998/stray.txt"), "stray");
    window->Button1->click();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_FALSE(fs::exists(prog.File("stray.txt")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(prog.File("tevorin0998"))));
    EXPECT_EQ(testutil::ReadAll(prog.File("tevorinN")), NewZipPayload());
}

TEST_F(UpdateWindow, ATricklingCheckEndsAtItsDeadline) {
    Publish("0.9.98\n");
    // A byte every 100 ms: never silent for the stall limit.
    testutil::TricklingSite slow(site.Path(), {"info.txt"});
    testutil::WriteAll(site.File("info.txt"), "0.9.98\n" + std::string(5000, ' '));
    web::SetUpdateBase(slow.Base());
    web::SetUpdateDeadlinesMs(500, 0);
    Open();
    EXPECT_EQ(Text(window->Memo1), web::kAccessFailedText);
    EXPECT_FALSE(window->Button1->isEnabled());
    EXPECT_EQ(Names(prog.Path()), (std::vector<std::string>{"readme.txt", "settings.ini", "tevorin"}));
}

TEST_F(UpdateWindow, CancelDuringTheArchiveDownloadLeavesNothing) {
    Publish("0.9.98\n");
    PublishArchive("tevorin0998.zip", {{"tevorin", testutil::RandomBytes(200000, 1)}});
    testutil::TricklingSite slow(site.Path(), {"tevorin0998.zip"}, 20, 1000);
    web::SetUpdateBase(slow.Base());
    const auto before = Snapshot(prog.Path());
    Open();
    ASSERT_TRUE(window->Button1->isEnabled());
    // Pressed while the archive is coming: the window takes the press, ends the
    // download and closes.
    bool pressedWhileBusy = false;
    QTimer::singleShot(300, window, [&] {
        pressedWhileBusy = !window->Button1->isEnabled() && !window->Button3->isEnabled();
        window->Button2->click();
    });
    window->Button1->click();
    EXPECT_TRUE(pressedWhileBusy);
    EXPECT_TRUE(window.isNull() || !window->isVisible());
    EXPECT_EQ(slow.Requests().back(), "tevorin0998.zip");
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
    EXPECT_EQ(Snapshot(prog.Path()), before);
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(mainClosed, 0);

    // Escape, and the window's own close, do the same.
    for (const char* how : {"escape", "close"}) {
        delete window.data();
        Open();
        QTimer::singleShot(300, window, [&] {
            if (std::string(how) == "escape") {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(window, &escape);
            } else {
                window->close();
            }
        });
        window->Button1->click();
        EXPECT_TRUE(window.isNull() || !window->isVisible()) << how;
        EXPECT_EQ(Snapshot(prog.Path()), before) << how;
        EXPECT_TRUE(dialogs.shown.empty()) << how;
    }
}

}  // namespace

namespace {

// The user's way through the harness: "Software Update" from the Tool menu, the
// offer read, "Update" pressed; the main window closes for the restart.
TEST(UpdateThroughTheHarness, MenuOfferUpdateAndRestart) {
    testutil::TempDir site, prog, stage, work;
    testutil::PythonHttpServer server(site.Path());
    ASSERT_TRUE(server.Ok());
    testutil::SigningKey key;
    ASSERT_TRUE(key.Ok());
    testutil::WriteAll(site.File("info.txt"), "0.9.98\n");
    testutil::WriteAll(stage.File("tevorin"), "new program");
    ASSERT_EQ(testutil::Run("cd '" + stage.Path() + "' && zip -q -X '" + site.File("tevorin0998.zip") + "' tevorin"), 0);
    key.Sign(site.File("info.txt"));
    key.Sign(site.File("tevorin0998.zip"));
    testutil::WriteAll(prog.File("tevorin"), "old program");

    // A key that is not a public key is refused by the command itself.
    testutil::WriteAll(work.File("bad.txt"), "update-key " + key.PrivatePemPath() + "\n");
    std::string bad;
    EXPECT_NE(testutil::Run(testutil::BinFile("tevorin-harness") + " " + work.File("bad.txt") + " 2>&1", &bad), 0);
    EXPECT_NE(bad.find("the key is not a public key in PEM form"), std::string::npos) << bad;

    const std::string script = "update-base " + server.Base() + "\nprogram-dir " + prog.Path() + "\nupdate-key " +
                               key.PublicPemPath() +
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
