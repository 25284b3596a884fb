// Rows measured since the last save or load are not thrown away without a
// question: opening another video, loading a results file and closing the program
// ask first, and "No" leaves the window, the video and the table as they were.
#include <gtest/gtest.h>

#include "support/test_util.h"

namespace {

const char* const kQuestion = "expect-box yesno Measurement data (10 rows) has not been saved and will be removed. Are you sure?\n";

class UnsavedRows : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
        testutil::WriteAll(dir.File("tevorin-harness.ini"), "[FileRead]\r\nAPI for reading file=VideoForWindows\r\n");
        for (const char* name : {"one.avi", "two.avi"})
            ASSERT_TRUE(testutil::MakeRawClip(dir.File(name), "color=c=gray:s=160x120:r=25", 10));
    }
    ::testing::AssertionResult Runs(const std::string& script) {
        std::string out;
        if (testutil::RunHarness(dir.Path(), script, &out) == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << out;
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(UnsavedRows, OpenLoadAndCloseAskFirst) {
    const std::string one = dir.File("one.avi"), two = dir.File("two.avi"), saved = dir.File("saved.csv");
    const std::string asIs = "expect-rows 10\nexpect-line 2 \"FileName : " + one + "\"\nexpect-text ScrollBar1 9\nexpect-shown main 1\n";
    EXPECT_TRUE(Runs("reader vfw\nopen " + one + "\nrun\nexpect-rows 10\n"
                     // "No" to each of the three: nothing changes.
                     "answer no\ntry-open " + two + "\n" + kQuestion + asIs +
                     "answer no\nload " + saved + "\n" + kQuestion + asIs +
                     "answer no\nclose main\n" + kQuestion + asIs +
                     // Saved: no question (a queued "No" would refuse the opening; "DataRemove"
                     // takes it instead).
                     "save " + saved + "\nanswer no\nopen " + two + "\nexpect-rows 0\nremove-data\n"
                     // "Yes": the load replaces the measured rows.
                     "run\nload " + saved + "\n" + kQuestion + "expect-rows 10\nexpect-line 2 \"FileName : " + one + "\"\n"
                     // A loaded table is not unsaved; measuring makes it so again.
                     "answer no\nopen " + one + "\nexpect-rows 0\nremove-data\n"
                     "run\nopen " + two + "\n" + kQuestion + "expect-rows 0\nexpect-line 2 \"FileName : " + two + "\"\n"
                     "run\nclose main\n" + kQuestion + "expect-shown main 0\n"));
}
