// The diffraction road through the real windows: a results file with a scipy-built
// reappearance, the graph, the event row picked, "Diffraction", parameters typed,
// the fit with "wait fit", and the results read back as a user would.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/file_io.h"
#include "support/test_util.h"

namespace {

std::string RunScript(const testutil::TempDir& dir, const std::string& script, int* status) {
    const std::string path = dir.File("script.txt");
    testutil::WriteAll(path, script);
    std::string out;
    *status = testutil::Run(testutil::BinFile("tevorin-harness") + " " + path + " 2>/dev/null", &out);
    return out;
}

}  // namespace

TEST(DiffractionRoad, PickFitAndReadBack) {
    if (testutil::Run("/usr/bin/python3 -c 'import scipy.special' 2>/dev/null") != 0) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    const std::string csv = dir.File("event.csv");
    // A reappearance 21 ms before row 60 at 29.97 fps (the loaded file's rate is
    // NTSC), seen at 650 m/s.
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/diffraction_oracle.py' '" + csv +
                            "' --event-ms -21 --velocity 650 --noise 8 --seed 4"),
              0);
    // Row 60 of the Part view sits at x = 50 + 60 x 2, its value at y = 385 - v x
    // 365 / (largest value).
    double largest = 0, v60 = 0;
    {
        std::vector<std::string> lines;
        std::string error;
        ASSERT_TRUE(fileio::ReadLines(csv, lines, error));
        for (size_t i = 6; i < lines.size(); ++i) {
            size_t at = 0;
            for (int f = 1; f < 11; ++f) at = lines[i].find(',', at) + 1;
            const double v = std::stod(lines[i].substr(at));
            largest = std::max(largest, v);
            if (i == 6 + 60) v60 = v;
        }
    }
    const int y60 = static_cast<int>(std::lround(385 - v60 * 365 / largest));
    int status = 0;
    const std::string out = RunScript(dir,
                                      "load " + csv + "\n"
                                      "graph\n"
                                      "set chart1.RadioGroup1 0\n"
                                      "graph-click 170 " + std::to_string(y60) + "\n"
                                      "press chart1.Button8\n"
                                      "expect-shown FresnelCtrl 1\n"
                                      "type FresnelCtrl.Edit2 650\n"
                                      "key FresnelCtrl.Edit2 enter\n"
                                      "set CheckBox12 1\n"
                                      "press FresnelCtrl.Button3\n"
                                      "wait fit\n"
                                      "expect-text FresnelCtrl.Edit10 -21\n"
                                      "expect-text FresnelCtrl.Edit13 61\n"
                                      "expect-text FresnelCtrl.Edit8 0.0\n"
                                      "print-fit\n"
                                      "memo Memo2 " + dir.File("memo.txt") + "\n"
                                      "close FresnelCtrl\n"
                                      "expect-shown FresnelCtrl 0\n"
                                      "expect-enabled chart1.Button8 1\n",
                                      &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("FitDone=1 FitTimeShift=210 FresnelRate=1 "), std::string::npos) << out;
    EXPECT_NE(out.find("ShadowVelocityPerInterval=650 "), std::string::npos) << out;
    EXPECT_NE(out.find("LevelBeforeCount=20 "), std::string::npos) << out;
    // "fresnel textout": one "t,mean" line per curve point.
    const std::string memo = testutil::ReadAll(dir.File("memo.txt"));
    EXPECT_NE(memo.find("\n-0.0210,"), std::string::npos);
    EXPECT_GT(std::count(memo.begin(), memo.end(), '\n'), 1000);
}
