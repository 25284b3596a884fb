// The diffraction road through the real windows: a results file with a scipy-built
// reappearance, the graph, the event row picked, "Diffraction", parameters typed,
// the fit with "wait fit", and the results read back as a user would.
#include <gtest/gtest.h>

#include <cmath>

#include "fitted_event.h"

TEST(DiffractionRoad, PickFitAndReadBack) {
    if (testutil::Run("/usr/bin/python3 -c 'import scipy.special' 2>/dev/null") != 0) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    FittedEvent event;
    ASSERT_NO_FATAL_FAILURE(MakeFittedEvent(dir, event));
    std::string out;
    const int status = testutil::RunHarness(
        dir.Path(),
        event.OpenDiffraction() +
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
        "print-text Memo2\n"
        "close FresnelCtrl\n"
        "expect-shown FresnelCtrl 0\n"
        "expect-enabled chart1.Button8 1\n",
        &out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("FitDone=1 FitTimeShift=210 FresnelRate=1 "), std::string::npos) << out;
    EXPECT_NE(out.find("ShadowVelocityPerInterval=650 "), std::string::npos) << out;
    EXPECT_NE(out.find("LevelBeforeCount=20 "), std::string::npos) << out;
    // "fresnel textout": one "t,mean" line per curve point, printed joined with "|".
    const size_t at = out.find("|-0.0210,");
    ASSERT_NE(at, std::string::npos) << out;
    const size_t begin = out.rfind('\n', at) + 1, end = out.find('\n', at);
    const std::string memo = out.substr(begin, end - begin);
    EXPECT_GE(std::count(memo.begin(), memo.end(), '|'), 1000);
}
