// The script editor through the harness, as a user goes: "AVS File Edit" from the
// Tool menu, another script opened in the editor, typed into and saved, "Save as"
// with another extension, and a script that is not there.
#include <gtest/gtest.h>

#include <string>

#include "support/test_util.h"

TEST(AvsEditThroughTheHarness, OpenEditSaveAndSaveAs) {
    testutil::TempDir dir;
    const std::string d = dir.Path();
    const std::string a = "AVISource(\"a.avi\")\r\nConvertToRGB24()\r\n";
    testutil::WriteAll(d + "/a.avs", a);
    testutil::WriteAll(d + "/b.avs", "AVISource(\"b.avi\")\r\n");
    const std::string script = "answer-file " + d + "/gone.avs\npress AVSFileEdit1\n"
                               "expect-error Could not open .AVS file.||gone.avs\nexpect-shown AvsEdit 0\n"
                               "answer-file " + d + "/a.avs\npress AVSFileEdit1\nexpect-shown AvsEdit 1\n"
                               "expect-text AvsEdit.Memo1 AVISource(\"a.avi\")|ConvertToRGB24()|\n"
                               "answer-file " + d + "/b.avs\npress AvsEdit.OpenAVSFile1\n"
                               "expect-text AvsEdit.Memo1 AVISource(\"b.avi\")|\n"
                               "key AvsEdit.Memo1 ctrl+a\ntype AvsEdit.Memo1 Trim(0, 9)\npress AvsEdit.SaveAVSFile1\n"
                               "answer-file " + d + "/missing.avs\npress AvsEdit.OpenAVSFile1\n"
                               "expect-error Could not open .AVS file.||" + d + "/missing.avs\n"
                               "expect-text AvsEdit.Memo1 Trim(0, 9)\n"
                               "answer-file " + d + "/x.txt\npress AvsEdit.Saveas1\n"
                               "close AvsEdit\nexpect-shown AvsEdit 0\n"
                               // Closed, the menu item opens the editor again.
                               "answer-file " + d + "/x.avs\npress AVSFileEdit1\nexpect-text AvsEdit.Memo1 Trim(0, 9)|\n";
    testutil::WriteAll(d + "/script.txt", script);
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + d + "/script.txt 2>&1", &out), 0) << out;
    EXPECT_EQ(testutil::ReadAll(d + "/b.avs"), "Trim(0, 9)\r\n");
    EXPECT_EQ(testutil::ReadAll(d + "/a.avs"), a);
    EXPECT_EQ(testutil::ReadAll(d + "/x.avs"), "Trim(0, 9)\r\n");
}
