// From a fitted event through "Magnitude Calc", the velocity calculator and the
// spectrum graph, by the harness on the real windows.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>

#include "fitted_event.h"

TEST(MagnitudeRoad, FitThenMagnitudesVelocityAndSpectrum) {
    if (testutil::Run("/usr/bin/python3 -c 'import scipy.special' 2>/dev/null") != 0) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    FittedEvent event;
    ASSERT_NO_FATAL_FAILURE(MakeFittedEvent(dir, event));
    std::string out;
    const int status = testutil::RunHarness(
        dir.Path(),
        event.OpenDiffraction() +
        "type FresnelCtrl.Edit2 650\n"
        "key FresnelCtrl.Edit2 enter\n"
        "press FresnelCtrl.Button3\n"
        "wait fit\n"
        "expect-text FresnelCtrl.Edit10 -21\n"
        // The calculator: interval 1 gives WAT100N, the first field and the
        // statistics mode; the panel waits meanwhile.
        "press FresnelCtrl.Button2\n"
        "expect-shown MagnitudeCalculator 1\n"
        "expect-enabled FresnelCtrl.Button3 0\n"
        "expect-checked MagnitudeCalculator.RadioButton2 1\n"
        "expect-checked MagnitudeCalculator.RadioButton4 1\n"
        "expect-text MagnitudeCalculator.Edit17 0\n"
        "print-text MagnitudeCalculator.Memo1\n"
        // Text on the graph and off again.
        "set MagnitudeCalculator.RadioGroup2 1\n"
        "set MagnitudeCalculator.RadioGroup1 2\n"
        "dump-image chart1.ChartImg1 " + dir.File("text.png") + "\n"
        "set MagnitudeCalculator.RadioGroup1 0\n"
        "dump-image chart1.ChartImg1 " + dir.File("plain.png") + "\n"
        "close MagnitudeCalculator\n"
        "expect-enabled FresnelCtrl.Button3 1\n"
        // The velocity calculator from a double click on the velocity.
        "dblclick FresnelCtrl.Edit2\n"
        "expect-shown LunarVelocityCalculator 1\n"
        "set LunarVelocityCalculator.Edit11 200\n"
        "press LunarVelocityCalculator.Button7\n"
        "expect-text LunarVelocityCalculator.Edit10 694\n"
        "expect-text FresnelCtrl.Edit2 694.0\n"
        "expect-text FresnelCtrl.Edit8 20.0\n"
        "expect-text FresnelCtrl.Edit7 0.940\n"
        // The spectrum graph.
        "press FresnelCtrl.Button1\n"
        "expect-shown SpectrumGraph 1\n"
        "dump-image SpectrumGraph.Image1 " + dir.File("spectrum.png") + "\n",
        &out);
    ASSERT_EQ(status, 0) << out;
    // The rows hold no time (the main window shows its captions): no clock time,
    // not the fit's -21 ms on 00:00:00, the previous day's clock.
    EXPECT_NE(out.find("|Event Time : (the rows hold no time stamp)  +/- "), std::string::npos) << out;
    EXPECT_EQ(out.find("23h59m"), std::string::npos) << out;
    EXPECT_NE(out.find("|T = To + Offset|  = To-0.021"), std::string::npos) << out;
    const QImage text(QString::fromStdString(dir.File("text.png"))), plain(QString::fromStdString(dir.File("plain.png")));
    ASSERT_FALSE(text.isNull());
    EXPECT_NE(text, plain);
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("spectrum.png"))).size(), QSize(393, 457));
}
