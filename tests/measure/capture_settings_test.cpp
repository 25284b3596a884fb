// The capture window's folder goes into the settings file at once, as one key
// written in place, and never through a file that could not be read.
#include <gtest/gtest.h>

#include "measure/settings_file.h"
#include "platform/ini_file.h"
#include "support/test_util.h"

TEST(CaptureFolderSetting, OnlyItsKeyChangesAndAnUnreadableFileStays) {
    testutil::TempDir dir;
    const std::string path = dir.File("tevorin.ini");
    const SettingsFile file(path, "/opt/tevorin/");
    const std::string before = "[Files]\r\nPath to .AVI files=/v/\r\n[Capture]\r\nCapture File Path=/old/\r\n"
                               "[Identification]\r\nObserver=Me\r\n";
    testutil::WriteAll(path, before);
    ASSERT_TRUE(file.SaveCaptureFilePath("/home/me/caps").ok);
    EXPECT_EQ(testutil::ReadAll(path), "[Files]\r\nPath to .AVI files=/v/\r\n[Capture]\r\nCapture File Path=/home/me/caps\r\n"
                                       "[Identification]\r\nObserver=Me\r\n");
    // Without the section it is added after the others.
    testutil::WriteAll(path, "[Files]\r\nPath to .AVI files=/v/\r\n");
    ASSERT_TRUE(file.SaveCaptureFilePath("/c").ok);
    EXPECT_EQ(testutil::ReadAll(path), "[Files]\r\nPath to .AVI files=/v/\r\n[Capture]\r\nCapture File Path=/c\r\n");
    // A folder name with a line break would break the file: refused, nothing written.
    EXPECT_FALSE(file.SaveCaptureFilePath("/a\nb").ok);
    EXPECT_EQ(testutil::ReadAll(path), "[Files]\r\nPath to .AVI files=/v/\r\n[Capture]\r\nCapture File Path=/c\r\n");
    const std::string big = "[Files]\r\n" + std::string(IniFile::kMaxBytes, ';');
    testutil::WriteAll(path, big);
    const SettingsStatus s = file.SaveCaptureFilePath("/d");
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.message.rfind("Could not read the settings file.\r\n" + path + "\r\n", 0), 0u) << s.message;
    EXPECT_TRUE(testutil::ReadAll(path) == big);
}
