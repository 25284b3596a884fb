#include "web/software_update.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_util.h"

namespace fs = std::filesystem;

namespace {

TEST(UpdateCheck, OnlyAShortVersionTextIsOffered) {
    EXPECT_EQ(web::NewestVersionFromInfo("0.9.98\r\nnotes\r\n"), "0.9.98");
    EXPECT_EQ(web::NewestVersionFromInfo("0.9.97.3i"), "0.9.97.3i");
    EXPECT_EQ(web::NewestVersionFromInfo("1.0-rc_2\nx"), "1.0-rc_2");
    EXPECT_EQ(web::NewestVersionFromInfo(std::string(32, '9')), std::string(32, '9'));
    // Empty, too long, or anything that could be a page or a path: no version.
    const std::vector<std::string> bad = {"", "\n0.9.98", std::string(33, '9'), "<html><body>Not found</body></html>",
                                          "0.9.98 ", "../../etc", "0/9", "0.9\t98", std::string("0.9.98\0x", 8),
                                          "v\xc3\xa9",
                                          // Each part starts with the number it is ordered by.
                                          "v0.9.98", "0..9", ".9", "0.9.", "0.a", "0.-1", "."};
    for (const std::string& b : bad)
        EXPECT_FALSE(web::NewestVersionFromInfo(b)) << b;
}

TEST(UpdateCheck, NamesAndTexts) {
    EXPECT_EQ(web::VersionDigits("0.9.98"), "0998");
    EXPECT_EQ(web::UpdateArchiveName("0.9.98"), "tevorin0998.zip");
    EXPECT_EQ(web::UpdateFolderName("0.9.98"), "tevorin0998");
    EXPECT_EQ(web::UpdateArchiveName("0.9.97.3i"), "tevorin09973i.zip");

    // Only a newer version is offered; the same or an older one is "not necessary".
    for (const char* v : {"0.9.98", "0.9.97.3j", "0.9.97.4", "0.9.97.3i.1", "1", "0.10", "0.9.100"}) {
        EXPECT_TRUE(web::UpdateAvailable(v)) << v;
        EXPECT_EQ(web::VersionCheckLines(v),
                  (std::vector<std::string>{"This program is Ver.0.9.97.3i.",
                                            std::string("The newest version Ver.") + v + " is available.", "",
                                            "Do you need this update now?"}));
    }
    for (const char* v : {"0.9.97.3i", "0.9.97.3", "0.9.96", "0.9.97", "0.9.97.2z", "0.9.097.3i", "0"}) {
        EXPECT_FALSE(web::UpdateAvailable(v)) << v;
        EXPECT_EQ(web::VersionCheckLines(v),
                  (std::vector<std::string>{"This program is Ver.0.9.97.3i.",
                                            "This program is the newest version. Update is not necessary."}));
    }
}

TEST(UpdateCheck, VersionsOrderPartByPartNumerically) {
    // Each list is strictly increasing.
    const std::vector<std::vector<std::string>> chains = {
        {"0.9.97.3", "0.9.97.3i", "0.9.98"},
        {"0.9", "0.9.0", "0.9.1", "0.9.9", "0.9.10", "0.9.99", "0.9.100", "0.10", "1"},
        {"1.2", "1.2a", "1.2b", "1.2ba", "1.3"},
        {"1.0", "1.0-rc_2", "1.0a", "1.1"},
        // Numbers longer than any integer type still order as numbers.
        {"99999999999999999999", "100000000000000000000", "100000000000000000000.1"},
    };
    for (const auto& chain : chains) {
        for (size_t i = 0; i < chain.size(); ++i) {
            ASSERT_TRUE(web::NewestVersionFromInfo(chain[i])) << chain[i];
            EXPECT_EQ(web::CompareVersions(chain[i], chain[i]), 0) << chain[i];
            for (size_t j = i + 1; j < chain.size(); ++j) {
                EXPECT_LT(web::CompareVersions(chain[i], chain[j]), 0) << chain[i] << " < " << chain[j];
                EXPECT_GT(web::CompareVersions(chain[j], chain[i]), 0) << chain[j] << " > " << chain[i];
            }
        }
    }
    // Leading zeros do not count.
    EXPECT_EQ(web::CompareVersions("0.09.098", "0.9.98"), 0);
}

TEST(UpdateCheck, TheWindowsOwnTexts) {
    EXPECT_STREQ(web::kAccessFailedText, "Failed in the access to Internet.");
    EXPECT_STREQ(web::kNotSignedText, "The update is not signed by a trusted key.");
    EXPECT_STREQ(web::kSettingsFileName, "tevorin.ini");
    EXPECT_NE(web::SettingsSkippedLine().find("tevorin.ini"), std::string::npos);
}

TEST(UpdateCheck, DebuggerFromStatus) {
    EXPECT_FALSE(web::TracedFromStatus("Name:\ttevorin\nTracerPid:\t0\nUid:\t0\n"));
    EXPECT_TRUE(web::TracedFromStatus("Name:\ttevorin\nTracerPid:\t4711\nUid:\t0\n"));
    EXPECT_FALSE(web::TracedFromStatus(""));
    EXPECT_FALSE(web::TracedFromStatus("TracerPid:\tx"));
    EXPECT_TRUE(web::TracedFromStatus("State: R\nTracerPid: 12"));
}

TEST(DeleteDirectoryTree, RemovesTheTreeButNothingALinkPointsTo) {
    testutil::TempDir dir;
    const fs::path top = fs::path(dir.Path()) / "tevorin0998";
    const fs::path outside = fs::path(dir.Path()) / "outside";
    fs::create_directories(top / "sub" / "deeper");
    fs::create_directories(outside / "kept");
    testutil::WriteAll((top / "a.txt").string(), "a");
    testutil::WriteAll((top / "sub" / "deeper" / "b").string(), "b");
    testutil::WriteAll((outside / "kept" / "c").string(), "c");
    testutil::WriteAll((outside / "file").string(), "f");
    fs::create_directory_symlink(outside, top / "sub" / "to_outside");
    fs::create_symlink(outside / "file", top / "to_file");
    fs::create_symlink(dir.Path() + "/missing", top / "dangling");
    ASSERT_EQ(chmod((top / "sub").c_str(), 0755), 0);

    std::string error;
    EXPECT_TRUE(web::DeleteDirectoryTree(top.string(), &error));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
    EXPECT_EQ(testutil::ReadAll((outside / "kept" / "c").string()), "c");
    EXPECT_EQ(testutil::ReadAll((outside / "file").string()), "f");

    // A missing folder, a file, or a link to a folder: not a folder to delete.
    EXPECT_FALSE(web::DeleteDirectoryTree(top.string()));
    EXPECT_FALSE(web::DeleteDirectoryTree((outside / "file").string()));
    fs::create_directory_symlink(outside, fs::path(dir.Path()) / "link_to_outside");
    EXPECT_FALSE(web::DeleteDirectoryTree(dir.Path() + "/link_to_outside"));
    // A trailing "/" would make the system follow the link: still not a folder.
    EXPECT_FALSE(web::DeleteDirectoryTree(dir.Path() + "/link_to_outside/"));
    EXPECT_FALSE(web::DeleteDirectoryTree(dir.Path() + "/link_to_outside//"));
    EXPECT_TRUE(fs::is_symlink(fs::path(dir.Path()) / "link_to_outside"));
    EXPECT_EQ(testutil::ReadAll((outside / "kept" / "c").string()), "c");
    EXPECT_EQ(testutil::ReadAll((outside / "file").string()), "f");
}

// restart.sh run for real with /bin/sh on a fake program that leaves a marker.
class RestartScript : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.Path() + "/prog folder's";  // a blank and a quote in the path
        fs::create_directory(folder_);
        testutil::WriteAll(folder_ + "/tevorin", "#!/bin/sh\necho old > marker\n");
        testutil::WriteAll(folder_ + "/tevorinN", "#!/bin/sh\necho new > \"$(dirname \"$0\")/marker\"\n");
    }
    void WriteScript(long pid, int wait) {
        std::string text;
        for (const std::string& line : web::RestartScriptLines(folder_ + "/", pid, wait)) text += line + "\n";
        testutil::WriteAll(folder_ + "/restart.sh", text);
    }
    // Waits up to 20 s for `path` to appear.
    static bool AwaitFile(const std::string& path) {
        for (int i = 0; i < 200 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return fs::exists(path);
    }
    testutil::TempDir dir_;
    std::string folder_;
};

TEST_F(RestartScript, Lines) {
    const std::vector<std::string> l = web::RestartScriptLines("/opt/tev/", 4711);
    ASSERT_GE(l.size(), 6u);
    EXPECT_EQ(l[0], "#!/bin/sh");
    EXPECT_EQ(l[1], "cd '/opt/tev' || exit 1");
    EXPECT_EQ(l[3], "while kill -0 4711 2>/dev/null; do");
    EXPECT_EQ(l[5], "  if [ \"$n\" -gt 30 ]; then");
    EXPECT_EQ(l[l.size() - 4], "mv -f tevorinN tevorin");
    EXPECT_EQ(l[l.size() - 3], "chmod +x tevorin");
    EXPECT_EQ(l[l.size() - 2], "./tevorin >/dev/null 2>&1 &");
    EXPECT_EQ(l.back(), "rm -f '/opt/tev/restart.sh'");
    EXPECT_EQ(web::ShellQuote("a'b c"), "'a'\\''b c'");
}

TEST_F(RestartScript, ReplacesTheProgramOnceTheOldOneEnded) {
    // A process that ends after a second stands for the old program.
    std::string pidText;
    ASSERT_EQ(testutil::Run("sleep 1 >/dev/null 2>&1 & echo $!", &pidText), 0);
    WriteScript(std::stol(pidText), 30);
    ASSERT_EQ(testutil::Run("/bin/sh " + web::ShellQuote(folder_ + "/restart.sh")), 0);
    ASSERT_TRUE(AwaitFile(folder_ + "/marker"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(testutil::ReadAll(folder_ + "/marker"), "new\n");
    EXPECT_FALSE(fs::exists(folder_ + "/tevorinN"));
    EXPECT_FALSE(fs::exists(folder_ + "/restart.sh"));
    EXPECT_EQ(testutil::ReadAll(folder_ + "/tevorin").substr(0, 10), "#!/bin/sh\n");
    EXPECT_NE(fs::status(folder_ + "/tevorin").permissions() & fs::perms::owner_exec, fs::perms::none);
}

TEST_F(RestartScript, GivesUpOnAProgramThatDoesNotEnd) {
    // This test process never ends during the script's two seconds of waiting.
    WriteScript(static_cast<long>(getpid()), 2);
    EXPECT_NE(testutil::Run("/bin/sh " + web::ShellQuote(folder_ + "/restart.sh")), 0);
    EXPECT_FALSE(fs::exists(folder_ + "/tevorinN"));
    EXPECT_FALSE(fs::exists(folder_ + "/restart.sh"));
    EXPECT_FALSE(fs::exists(folder_ + "/marker"));
    EXPECT_EQ(testutil::ReadAll(folder_ + "/tevorin"), "#!/bin/sh\necho old > marker\n");
}

}  // namespace
