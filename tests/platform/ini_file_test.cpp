#include "platform/ini_file.h"

#include <filesystem>
#include <gtest/gtest.h>

#include "support/test_util.h"

using namespace std::string_literals;

TEST(IniFile, LookUpFollowsTheProfileRules) {
    const std::string text =
        "\xEF\xBB\xBF[Files]\r\n"
        "plain=value [x]\r\n"
        "  Path To .AVI Files  =  /videos/a b/  \r\n"
        ";Gap=7\r\n"
        "Empty=\r\n"
        "Path to .AVI files=/second/\r\n"
        "no equals sign here\r\n"
        "=no key\r\n"
        "[ Aperture Size ]\n"
        "Radius=6\n"
        "[files]\r\n"
        "Path to .AVI files=/third/\r\n"
        "Late=only in the second [files]\r\n"
        "[Gaps]\r\n"
        "Gap=3";  // no final line end
    IniFile ini = IniFile::FromText(text);
    EXPECT_EQ(ini.Text(), text);

    // First section and first key win; names in any case; blanks trimmed.
    EXPECT_EQ(ini.ReadString("FILES", "path to .avi files", "-"), "/videos/a b/");
    EXPECT_EQ(ini.ReadString("Files", "PLAIN", "-"), "value [x]");
    EXPECT_EQ(ini.ReadString("aperture size", "RADIUS", "-"), "6");
    EXPECT_EQ(ini.ReadString("Files", "Late", "-"), "-");
    EXPECT_EQ(ini.ReadString("Gaps", "Gap", "-"), "3");
    // Comments are not keys; an empty value is a value.
    EXPECT_EQ(ini.ReadString("Files", ";Gap", "-"), "-");
    EXPECT_EQ(ini.ReadString("Files", "Gap", "-"), "-");
    EXPECT_EQ(ini.ReadString("Files", "Empty", "-"), "");
    EXPECT_FALSE(ini.Find("Files", "no equals sign here"));
    EXPECT_FALSE(ini.Find("Nowhere", "Path to .AVI files"));
}

TEST(IniFile, KeysBeforeTheFirstSectionBelongToNone) {
    IniFile ini = IniFile::FromText("Gap=1\n[A]\nGap=2\n");
    EXPECT_EQ(ini.ReadInteger("A", "Gap", -1), 2);
}

TEST(IniFile, IntegersAndBooleans) {
    struct Case {
        const char* value;
        int32_t asInt;  // with the fallback -7
        bool asBool;    // with the fallback true
    };
    const Case cases[] = {
        {"12", 12, true},          {" -3 ", -3, true},       {"+4", 4, true},
        {"0", 0, false},           {"-0", 0, false},         {"00012", 12, true},
        {"2", 2, true},            {"-1", -1, true},         {"2147483647", 2147483647, true},
        {"-2147483648", INT32_MIN, true},
        {"2147483648", -7, true},  {"12abc", -7, true},      {"1.5", -7, true},
        {"", -7, true},            {"yes", -7, true},        {"false", -7, true},
        {"1 2", -7, true},         {"--1", -7, true},        {"$1F", 31, true},
    };
    for (const auto& c : cases) {
        IniFile ini = IniFile::FromText(std::string("[S]\r\nK=") + c.value + "\r\n");
        EXPECT_EQ(ini.ReadInteger("S", "K", -7), c.asInt) << "value '" << c.value << "'";
        EXPECT_EQ(ini.ReadBool("S", "K", true), c.asBool) << "value '" << c.value << "'";
    }
    IniFile none;
    EXPECT_EQ(none.ReadInteger("S", "K", 42), 42);
    EXPECT_FALSE(none.ReadBool("S", "K", false));
    EXPECT_TRUE(IniFile::FromText("[S]\nK=junk\n").ReadBool("S", "K", true));
    EXPECT_FALSE(IniFile::FromText("[S]\nK=junk\n").ReadBool("S", "K", false));
}

TEST(IniFile, WritesKeepEverythingElseByteForByte) {
    const std::string before =
        "; keep me\r\n"
        "[Files]\r\n"
        "  pATH to .avi FILES = /old/  \r\n"
        "Other=1\r\n"
        "; trailing comment of Files\r\n"
        "\r\n"
        "[Odd]\r\n"
        "bytes=\x01\xff\xfe\r\n"
        "with\0nul\r\n"
        "lone\rcarriage=return\r\n"
        "[Empty]\r\n"
        "[Last]\r\n"
        "x=1"s;
    IniFile ini = IniFile::FromText(before);
    ASSERT_EQ(ini.Text(), before);

    EXPECT_TRUE(ini.WriteString("files", "Path to .AVI files", "/new/"));
    EXPECT_TRUE(ini.WriteInteger("FILES", "Added", -12));
    EXPECT_TRUE(ini.WriteBool("Empty", "Flag", true));
    EXPECT_TRUE(ini.WriteBool("Last", "y", false));
    EXPECT_TRUE(ini.WriteString("New Section", "Key", "a=b ; c"));
    EXPECT_TRUE(ini.WriteString("Odd", "bytes", "\x80"));

    const std::string after =
        "; keep me\r\n"
        "[Files]\r\n"
        "pATH to .avi FILES=/new/\r\n"
        "Other=1\r\n"
        "Added=-12\r\n"
        "; trailing comment of Files\r\n"
        "\r\n"
        "[Odd]\r\n"
        "bytes=\x80\r\n"
        "with\0nul\r\n"
        "lone\rcarriage=return\r\n"
        "[Empty]\r\n"
        "Flag=1\r\n"
        "[Last]\r\n"
        "x=1\r\n"
        "y=0\r\n"
        "[New Section]\r\n"
        "Key=a=b ; c\r\n"s;
    EXPECT_EQ(ini.Text(), after);
    EXPECT_EQ(ini.ReadString("new section", "key", "-"), "a=b ; c");
}

TEST(IniFile, NewLinesFollowTheDocumentsLineEnd) {
    IniFile lf = IniFile::FromText("[A]\nk=1\n");
    lf.WriteString("A", "j", "2");
    lf.WriteString("B", "k", "3");
    EXPECT_EQ(lf.Text(), "[A]\nk=1\nj=2\n[B]\nk=3\n");

    IniFile fresh;
    fresh.WriteString("A", "k", "1");
    fresh.WriteString("A", "k", "2");
    EXPECT_EQ(fresh.Text(), "[A]\r\nk=2\r\n");

    IniFile noEnd = IniFile::FromText("[A]");
    noEnd.WriteString("A", "k", "1");
    EXPECT_EQ(noEnd.Text(), "[A]\r\nk=1\r\n");
}

TEST(IniFile, RefusesLineBreaksAndBadNames) {
    IniFile ini = IniFile::FromText("[A]\r\nk=1\r\n");
    const std::string before = ini.Text();
    EXPECT_FALSE(ini.WriteString("A", "k", "two\r\nlines"));
    EXPECT_FALSE(ini.WriteString("A", "k", "lf\n"));
    EXPECT_FALSE(ini.WriteString("A", "k", std::string_view("nul\0", 4)));
    EXPECT_FALSE(ini.WriteString("A", "k=j", "1"));
    EXPECT_FALSE(ini.WriteString("A", "", "1"));
    EXPECT_FALSE(ini.WriteString("A", " k", "1"));
    EXPECT_FALSE(ini.WriteString("A", ";k", "1"));
    EXPECT_FALSE(ini.WriteString("A]", "k", "1"));
    EXPECT_FALSE(ini.WriteString("A\n", "k", "1"));
    EXPECT_EQ(ini.Text(), before);
}

TEST(IniFile, LoadTellsMissingFromUnreadable) {
    testutil::TempDir dir;
    std::string err;
    IniFile ini;
    EXPECT_EQ(ini.Load(dir.File("none.ini"), err), IniFile::LoadResult::Missing);
    EXPECT_EQ(ini.Load(dir.File("no/folder/none.ini"), err), IniFile::LoadResult::Missing);

    testutil::WriteAll(dir.File("a.ini"), "[A]\nk=5\n");
    EXPECT_EQ(ini.Load(dir.File("a.ini"), err), IniFile::LoadResult::Loaded);
    EXPECT_EQ(ini.ReadInteger("A", "k", 0), 5);

    // A dangling link is not a missing file (folders, files over the size cap
    // and unreadable files: see the settings file tests).
    std::filesystem::create_symlink(dir.File("gone.ini"), dir.File("dangling.ini"));
    EXPECT_EQ(ini.Load(dir.File("dangling.ini"), err), IniFile::LoadResult::Failed);
    EXPECT_NE(err.find("dangling.ini"), std::string::npos) << err;
}

TEST(IniFile, SaveWritesThroughASymbolicLink) {
    testutil::TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    testutil::WriteAll(dir.File("real/s.ini"), "[A]\nk=1\n");
    std::filesystem::create_symlink("real/s.ini", dir.File("link.ini"));
    std::string err;
    IniFile ini;
    ASSERT_EQ(ini.Load(dir.File("link.ini"), err), IniFile::LoadResult::Loaded);
    ini.WriteInteger("A", "k", 2);
    ASSERT_TRUE(ini.Save(dir.File("link.ini"), err)) << err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(testutil::ReadAll(dir.File("real/s.ini")), "[A]\nk=2\n");
}
