// From a fitted event through "Magnitude Calc", the velocity calculator and the
// spectrum graph, by the harness on the real windows.
#include <gtest/gtest.h>

#include <QImage>
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

TEST(MagnitudeRoad, FitThenMagnitudesVelocityAndSpectrum) {
    if (testutil::Run("/usr/bin/python3 -c 'import scipy.special' 2>/dev/null") != 0) GTEST_SKIP() << "no scipy";
    testutil::TempDir dir;
    const std::string csv = dir.File("event.csv");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/diffraction_oracle.py' '" + csv +
                            "' --event-ms -21 --velocity 650 --noise 8 --seed 4"),
              0);
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
    const std::string out = RunScript(
        dir,
        "load " + csv + "\n"
        "graph\n"
        "set chart1.RadioGroup1 0\n"
        "graph-click 170 " + std::to_string(y60) + "\n"
        "press chart1.Button8\n"
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
        &status);
    ASSERT_EQ(status, 0) << out;
    // The fit's -21 ms on the captions' 00:00:00 is the previous day's clock.
    EXPECT_NE(out.find("|Event Time : 23h59m59.979s  +/- "), std::string::npos) << out;
    EXPECT_NE(out.find("|T = To + Offset|  = 0h0m0s-0.021"), std::string::npos) << out;
    const QImage text(QString::fromStdString(dir.File("text.png"))), plain(QString::fromStdString(dir.File("plain.png")));
    ASSERT_FALSE(text.isNull());
    EXPECT_NE(text, plain);
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("spectrum.png"))).size(), QSize(393, 457));
}
