// The settings dialog's "IOTA VTI" on a generator clip, after another inserter was
// in use: the time line is located as the main window's "IOTA" locates it, so the
// grid and the reading of the next frames are those of that road.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/test_util.h"

TEST(SettingsInserter, IotaVtiLocatesTheLineAsTheMainWindowsChoiceDoes) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    std::string out;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 " + std::string(TEVORIN_SOURCE_DIR) +
                                "/tests/overlay/overlay_synth.py --type iota --size 720x576 --rate 25 --frames 3 --video ffv1 "
                                "--out " + dir.File("clip") + " 2>&1",
                            &out),
              0)
        << out;
    // KIWI-OSD was the inserter: its fixed columns are in use when the video opens.
    const std::string ini = "[FileRead]\r\nAPI for reading file=VideoForWindows\r\n[TimeSignal]\r\nVideoTimeInserter=KIWI-OSD\r\n";
    const std::string open = "reader vfw\nopen " + dir.File("clip/video.avi") + "\n";
    const std::string after = "expect-var TimeInserterType 0\nexpect-var OverlayTimeReading 1\nexpect-text ComboBox1 IOTA\n"
                              "print-grid\ngoto 1\nprint-overlay\n";
    std::string dialog, main;
    ASSERT_EQ(testutil::RunHarness(dir.File("dialog"), open + "press Button17\nexpect-checked PreserveSetting.RadioButton4 1\n"
                                   "set PreserveSetting.RadioButton3 1\nclose PreserveSetting\n" + after,
                                   &dialog, ini),
              0)
        << dialog;
    ASSERT_EQ(testutil::RunHarness(dir.File("main"), open + "set ComboBox1 0\n" + after, &main, ini), 0) << main;
    // What the script printed: the grid, then the second frame's reading.
    const auto results = [](const std::string& printed) {
        std::istringstream in(printed);
        std::string lines, line;
        while (std::getline(in, line))
            if (line.rfind("ok ", 0) != 0) lines += line + "\n";
        return lines;
    };
    EXPECT_NE(dialog.find(" last=located"), std::string::npos) << dialog;
    EXPECT_NE(dialog.find("hour1="), std::string::npos) << dialog;
    EXPECT_EQ(results(dialog), results(main));
}
