// Time lines of generator clips read through tevorin-probe overlay-time and compared
// with the generator's truth, frame by frame (tests/overlay/overlay_time_check.py).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_util.h"

namespace {

::testing::AssertionResult Check(const testutil::TempDir& dir, const std::string& name, const std::string& args) {
    const std::string cmd = "/usr/bin/python3 " + std::string(TEVORIN_SOURCE_DIR) +
                            "/tests/overlay/overlay_time_check.py " + testutil::BinFile("tevorin-probe") + " " +
                            dir.File(name) + " " + args + " 2>&1";
    std::string out;
    if (testutil::Run(cmd, &out) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << args << "\n" << out;
}

class OverlayTimeClips : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    }
    testutil::TempDir dir;
};

}  // namespace

TEST_F(OverlayTimeClips, KiwiFixedRowSets) {
    // 720 and 640 wide, upright (25 fps) and italic (29.97 fps) digits, both field orders.
    EXPECT_TRUE(Check(dir, "k1", "--type kiwi --size 720x576 --rate 25 --field-measure"));
    EXPECT_TRUE(Check(dir, "k2", "--type kiwi --size 720x576 --rate 25 --order bottom --field-order 1"));
    EXPECT_TRUE(Check(dir, "k3", "--type kiwi --size 720x480 --rate 29.97 --field-measure --field-order 1"));
    EXPECT_TRUE(Check(dir, "k4", "--type kiwi --size 640x576 --rate 25 --field-measure"));
    EXPECT_TRUE(Check(dir, "k5", "--type kiwi --size 640x480 --rate 29.97"));
    // The field view reads the same strings as the interlaced frame.
    EXPECT_TRUE(Check(dir, "k6", "--type kiwi --size 720x576 --rate 25 --show-field --field-measure --frames 20"));
}

TEST_F(OverlayTimeClips, KiwiMeasuredInTheMainWindow) {
    // KIWI-OSD chosen, "KIWI" ticked, START, saved: columns 4-7 of every row.
    const std::string h = " --harness " + testutil::BinFile("tevorin-harness");
    EXPECT_TRUE(Check(dir, "m1", "--type kiwi --size 720x576 --rate 25" + h));
    EXPECT_TRUE(Check(dir, "m2", "--type kiwi --size 720x576 --rate 25 --field-measure --order bottom --field-order 1" + h));
    EXPECT_TRUE(Check(dir, "m3", "--type kiwi --size 720x480 --rate 29.97 --field-measure" + h));
    EXPECT_TRUE(Check(dir, "m4", "--type kiwi --size 640x576 --rate 25 --field-measure --field-order 1" + h));
    EXPECT_TRUE(Check(dir, "m5", "--type kiwi --size 640x480 --rate 29.97" + h));

    // "Show Field" on a frame reads the strings of the interlaced frame.
    testutil::WriteAll(dir.File("show.txt"), "reader vfw\nopen " + dir.File("m1/video.avi") +
                                                 "\nset ComboBox1 1\nset CheckBox5 1\nset CheckBox2 1\nset RadioGroup2 0\ngoto 7\n"
                                                 "print-overlay\nset CheckBox1 1\ngoto 7\nprint-overlay\n"
                                                 "expect-overlay seconds1 03.297\nexpect-overlay seconds2 03.300\n"
                                                 "expect-text Edit26 03.297\nexpect-text Edit27 03.300\n");
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-harness") + " " + dir.File("show.txt") + " 2>&1", &out), 0) << out;
    std::vector<std::string> readings;
    for (size_t at = out.find("hour1="); at != std::string::npos; at = out.find("hour1=", at + 1))
        readings.push_back(out.substr(at, out.find(" count1=", at) - at));
    ASSERT_EQ(readings.size(), 2u) << out;
    EXPECT_EQ(readings[0], readings[1]);
    EXPECT_EQ(readings[0], "hour1=01 minute1=02 second1=03 seconds1=03.297 hour2=01 minute2=02 second2=03 seconds2=03.300");
}

TEST_F(OverlayTimeClips, IotaAndGhsOnAGivenGrid) {
    // The field order follows the generator's swap; no flip where the minute turns.
    EXPECT_TRUE(Check(dir, "i1", "--type iota --size 720x480 --rate 29.97 --field-measure"));
    EXPECT_TRUE(Check(dir, "i2", "--type iota --size 720x576 --rate 25 --order bottom --start 3779.5 --field-order 1"));
    EXPECT_TRUE(Check(dir, "i3", "--type iota --size 720x480 --rate 29.97 --order bottom --start 3779.7 --field-order 1"));
    // The first reading decides the order whichever way "Field Order" stands (the
    // window then applies it; later frames rely on that).
    EXPECT_TRUE(Check(dir, "i4", "--type iota --size 720x480 --rate 29.97 --order bottom --frames 1"));
    EXPECT_TRUE(Check(dir, "i5", "--type iota --size 720x480 --rate 29.97 --frames 1 --field-order 1"));
    EXPECT_TRUE(Check(dir, "g1", "--type ghs --size 720x480 --rate 29.97 --frames 25 --start 3779.7 --field-measure"));
    EXPECT_TRUE(Check(dir, "g2", "--type ghs --size 720x480 --rate 29.97 --frames 25 --order bottom --start 3779.7 --field-order 1"));
}

TEST_F(OverlayTimeClips, SmallLossyAndEmptyFramesStillPrintEveryFrame) {
    EXPECT_TRUE(Check(dir, "s1", "--type kiwi --size 320x240 --rate 25 --frames 10 --no-compare"));
    EXPECT_TRUE(Check(dir, "s2", "--type iota --size 720x480 --rate 29.97 --frames 10 --codec mjpeg --no-compare"));
    EXPECT_TRUE(Check(dir, "s3", "--type ghs --size 320x240 --rate 25 --frames 10 --no-compare"));
    // No text at all: the calibration fails and the strings are empty.
    const std::string blank = dir.File("blank.avi");
    ASSERT_EQ(testutil::Run("ffmpeg -v error -y -f lavfi -i color=c=black:s=720x576:r=25 -frames:v 3 -c:v ffv1 " + blank), 0);
    std::string out;
    ASSERT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " overlay-time " + blank + " --type kiwi --threshold 80", &out), 0);
    EXPECT_NE(out.find("frame=2 hour1= minute1= second1= seconds1= "), std::string::npos) << out;
    EXPECT_NE(out.find(" cal=2 offsets=0,0 shift=0 unread=0,0\n"), std::string::npos) << out;
    EXPECT_EQ(testutil::Run(testutil::BinFile("tevorin-probe") + " compare-seconds 59.9960 00.0160", &out), 0);
    EXPECT_EQ(out, "0\n");
}
