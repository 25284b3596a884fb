// The rectangle aperture sized from every background form: both size up-downs are
// enabled while it is on, a run measures the rectangle on the decoded frames, and
// switching it off gives the up-downs the enabling of the restored form.
#include <gtest/gtest.h>

#include <QImage>
#include <sstream>

#include "support/test_util.h"

namespace {

std::vector<std::string> Fields(const std::string& row) {
    std::vector<std::string> f;
    std::stringstream in(row);
    std::string field;
    while (std::getline(in, field, ',')) f.push_back(field);
    return f;
}

// The rectangle's gray sum on a decoded frame: a columns (x - a/2 .. x + (a-1)/2)
// by b rows (y - (b-1)/2 .. y + b/2), each pixel (R + G + B) / 3.
double RectangleSum(const QImage& frame, int x, int y, int a, int b) {
    double sum = 0;
    for (int yy = y - (b - 1) / 2; yy <= y + b / 2; ++yy)
        for (int xx = x - a / 2; xx <= x + (a - 1) / 2; ++xx) {
            const QRgb p = frame.pixel(xx, yy);
            sum += (qRed(p) + qGreen(p) + qBlue(p)) / 3.0;
        }
    return sum;
}

}  // namespace

TEST(RectangleAperture, SizedFromEveryBackgroundForm) {
    if (!testutil::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not found";
    testutil::TempDir dir;
    testutil::WriteAll(dir.File("tevorin-harness.ini"),
                       "[FileRead]\r\nAPI for reading file=VideoForWindows\r\n[Measurement]\r\nPhotometry=Aperture photometry\r\n");
    // A pattern that moves with the frame number, so that every column and row of
    // the rectangle counts.
    const std::string e = "20+4*mod(3*X+5*Y+7*N\\,23)";
    const std::string video = dir.File("pattern.avi");
    const int frames = 12;
    ASSERT_TRUE(testutil::MakeRawClip(video, "color=c=black:s=160x120:r=25", frames, testutil::GeqFilter(e, e, e)));
    const char* forms[3] = {"RadioButton1", "RadioButton2", "RadioButton3"};
    for (int form = 0; form < 3; ++form) {
        SCOPED_TRACE(forms[form]);
        const std::string sized = form == 0 ? "0" : "1";
        std::ostringstream s;
        s << "reader vfw\nopen " << video << "\npress RadioButton6\nclick 80 60\npress " << forms[form] << "\n"
          << "expect-enabled UpDown6 " << sized << "\nexpect-enabled UpDown8 " << sized << "\n"
          << "press RectangleAperture1\nexpect-checked RectangleAperture1 1\n"
          << "expect-enabled UpDown6 1\nexpect-enabled UpDown8 1\nset UpDown8 14\nset UpDown6 4\n"
          << "expect-var RectangleWidth[1] 14\nexpect-var RectangleHeight[1] 4\nrun\nexpect-rows " << frames << "\n";
        for (int n = 0; n < frames; ++n) s << "print-row " << n + 1 << "\ndump-frame " << n << " " << dir.File(std::to_string(n) + ".ppm") << "\n";
        s << "press RectangleAperture1\nexpect-checked RectangleAperture1 0\nexpect-checked " << forms[form] << " 1\n"
          << "expect-enabled UpDown6 " << sized << "\nexpect-enabled UpDown8 " << sized << "\n";
        std::string out;
        ASSERT_EQ(testutil::RunHarness(dir.Path(), s.str(), &out), 0) << out;

        std::vector<std::vector<std::string>> rows;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("ok ", 0) != 0) rows.push_back(Fields(line));
        ASSERT_EQ(rows.size(), static_cast<size_t>(frames));
        // The first frame measured after the sizing is the reference (value 0); later
        // frames give their difference to it. The object stays where it was placed.
        const int x = std::stoi(rows[0].at(24)), y = std::stoi(rows[0].at(25));
        EXPECT_EQ(rows[0].at(18), "56");  // 14 x 4 aperture pixels
        const QImage first(QString::fromStdString(dir.File("0.ppm")));
        ASSERT_FALSE(first.isNull());
        const double reference = RectangleSum(first, x, y, 14, 4);
        for (int n = 0; n < frames; ++n) {
            const QImage frame(QString::fromStdString(dir.File(std::to_string(n) + ".ppm")));
            const double want = RectangleSum(frame, x, y, 14, 4) - reference;
            EXPECT_EQ(rows[static_cast<size_t>(n)].at(0), std::to_string(n) + ".0");
            EXPECT_EQ(rows[static_cast<size_t>(n)].at(24) + "," + rows[static_cast<size_t>(n)].at(25), std::to_string(x) + "," + std::to_string(y));
            // Printed with one decimal.
            EXPECT_NEAR(std::stod(rows[static_cast<size_t>(n)].at(10)), want, 0.05 + 1e-9) << "frame " << n;
        }
    }
}
