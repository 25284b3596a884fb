// Noise reduction against the numpy/pywt reference of noise_oracle.py (moving
// averages, background only, Gaussian, FFT low-pass, bands, spot erasing, wavelet
// threshold), statistics by closed forms, Reset, the conversion failures, the
// mended faults, and a worker run against a serial one.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "analysis/noise_reduction.h"
#include "analysis/wavelet.h"
#include "analysis_golden.h"
#include "measure/results_table.h"
#include "platform/file_io.h"
#include "platform/numtext.h"

using noise::Controls;
using noise::Outcome;
using noise::Status;

namespace {

std::vector<std::string> LoadTable(const std::string& name) {
    return fileio::SplitLines(testutil::ReadAll(agolden::Path(name)));
}

double Cell(const std::vector<std::string>& lines, int row, int column) {
    return *numtext::ParseFloat(GetField(lines[static_cast<size_t>(6 + row)], column));
}

// A plotted value is printed with one decimal: within 0.05 of the unrounded
// reference, plus 1e-6 for the reference's six printed decimals and double
// against extended arithmetic.
constexpr double kOneDecimal = 0.05 + 1e-6;

const agolden::Block& Case(const std::vector<agolden::Block>& all, const std::string& name) {
    for (const auto& b : all)
        if (b.head.at(0) == name) return b;
    throw std::runtime_error("no case " + name);
}

Controls ThreeObjects() {
    Controls c;
    c.objectCount = 3;
    c.statBegin = "100", c.statEnd = "699";
    return c;
}

}  // namespace

TEST(NoiseReduction, MovingAverageBackgroundAndGaussianMatchNumpy) {
    const auto cases = agolden::Read("noise_golden.txt", {"case"});
    const auto table = LoadTable("noise_long.csv");
    const struct {
        const char* name;
        int method;
        std::array<int, 3> widths;
    } runs[] = {{"method0", 0, {0, 3, 50}}, {"method1", 1, {2, 5, 0}}, {"method2", 2, {0, 1, 7}}};
    for (const auto& run : runs) {
        Controls c = ThreeObjects();
        c.method = run.method;
        c.objectChecked = {true, true, true};
        c.halfWidth = run.widths;
        const Outcome r = noise::Apply(table, c);
        ASSERT_EQ(r.status, Status::Done) << r.error;
        ASSERT_EQ(r.lines.size(), table.size());
        const auto& want = Case(cases, run.name);
        for (int j = 0; j < 3; ++j) {
            const auto& v = want.at(std::string(1, char('a' + j)));
            ASSERT_EQ(v.size(), 600u);
            for (int row = 0; row < 600; ++row)
                ASSERT_NEAR(Cell(r.lines, row, 11 + j), (double)v[static_cast<size_t>(row)], kOneDecimal)
                    << run.name << " object " << j + 1 << " row " << row;
        }
        // Only columns 11-13 change: the rest of every row is kept.
        for (int row = 0; row < 600; row += 37)
            EXPECT_EQ(GetField(r.lines[static_cast<size_t>(6 + row)], 17), GetField(table[static_cast<size_t>(6 + row)], 17));
        EXPECT_EQ(std::vector<std::string>(r.lines.begin(), r.lines.begin() + 6),
                  std::vector<std::string>(table.begin(), table.begin() + 6));
    }
}

TEST(NoiseReduction, FftLowPassBandsAndSpotErasingMatchNumpy) {
    const auto cases = agolden::Read("noise_golden.txt", {"case"});
    const struct {
        const char* name;
        const char* table;
        std::string offset, cutoff;
        bool band = false;
        std::string lo = "", hi = "";
        bool outside = false, spot = false;
        std::string from = "", to = "";
    } runs[] = {
        {"lowpass", "noise_long.csv", "200", "100"},
        {"centred", "noise_short.csv", "0", "30"},
        {"inside", "noise_long.csv", "0", "100", true, "5", "40"},
        {"outside", "noise_long.csv", "0", "100", true, "3", "60", true},
        {"spot", "noise_long.csv", "0", "200", false, "", "", false, true, "10", "20"},
    };
    for (const auto& run : runs) {
        const auto table = LoadTable(run.table);
        Controls c = ThreeObjects();
        c.method = noise::kFftFilter;
        c.fftSize = 512;
        c.offset = run.offset, c.cutoff = run.cutoff;
        c.bandPass = run.band, c.bandBegin = run.lo, c.bandEnd = run.hi, c.outside = run.outside;
        c.spotErasing = run.spot, c.spotFrom = run.from, c.spotTo = run.to;
        const Outcome r = noise::Apply(table, c);
        ASSERT_EQ(r.status, Status::Done) << run.name << ": " << r.error;
        const auto& want = Case(cases, run.name);
        const auto& rows = want.at("rows");
        EXPECT_EQ(r.offset, (int)want.at("offset")[0]) << run.name;
        EXPECT_EQ(r.offsetChanged, r.offset != std::stoi(run.offset)) << run.name;
        std::vector<bool> rewritten(table.size() - 6, false);
        for (size_t k = 0; k < rows.size(); ++k) {
            const int row = static_cast<int>(rows[k]);
            rewritten[static_cast<size_t>(row)] = true;
            ASSERT_NEAR(Cell(r.lines, row, 11), (double)want.at("a")[k], kOneDecimal) << run.name << " row " << row;
        }
        // Rows outside the transform keep the first pass's plain net value.
        for (size_t row = 0; row < rewritten.size(); ++row) {
            if (rewritten[row]) continue;
            const auto& l = table[6 + row];
            const double s = Cell(table, static_cast<int>(row), 17), b = Cell(table, static_cast<int>(row), 18);
            const double p = Cell(table, static_cast<int>(row), 19), q = Cell(table, static_cast<int>(row), 20);
            ASSERT_NEAR(Cell(r.lines, static_cast<int>(row), 11), q == 0 ? s : s - p * b / q, kOneDecimal) << l;
        }
    }
}

TEST(NoiseReduction, WaveletThresholdMatchesPywtAndFactorZeroKeepsTheInput) {
    const auto cases = agolden::Read("noise_golden.txt", {"case"});
    const auto table = LoadTable("noise_long.csv");
    for (int factor : {70, 0, 150}) {
        Controls c = ThreeObjects();
        c.method = noise::kWaveletFilter;
        c.sigmaFrom = "100", c.sigmaTo = "0";  // swapped back into 0..100
        c.factor = factor;
        const Outcome r = noise::Apply(table, c);
        ASSERT_EQ(r.status, Status::Done) << r.error;
        const auto& want = Case(cases, "wavelet" + std::to_string(factor));
        EXPECT_EQ(r.offset, (int)want.at("offset")[0]);
        ASSERT_TRUE(r.waveletRun);
        // numpy's std over the same 101 raw net values, printed with ten decimals.
        EXPECT_NEAR((double)r.sigma, (double)want.at("sigma")[0], 1e-9);
        EXPECT_EQ(r.sigmaText, numtext::FormatFixed((double)want.at("sigma")[0], 5, 1));
        EXPECT_NEAR((double)r.threshold, (double)want.at("threshold")[0], 1e-8);
        for (int row = 0; row < 600; ++row)
            ASSERT_NEAR(Cell(r.lines, row, 11), (double)want.at("a")[static_cast<size_t>(row)], kOneDecimal)
                << factor << " row " << row;
    }
    // sigma 10 with factor 0.70: 10 x sqrt(2 ln 1024) x 0.70 = 26.0631.
    EXPECT_NEAR((double)noise::WaveletThreshold(10, 70), 7 * std::sqrt(2 * std::log(1024.0)), 1e-12);
    EXPECT_EQ(numtext::FormatFixed((double)noise::WaveletThreshold(10, 70), 15, 3), "26.063");
    // Factor 0 zeroes nothing: ten levels there and back return the values within 1e-8.
    wavelet::WaveletData w;
    std::vector<long double> v(1024);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 20000 + 800 * std::sin(i / 37.0) + (i * 7919 % 900);
    std::vector<long double> x = v;
    wavelet::DwtForward(w, x, 10);
    wavelet::DwtInverse(w, x, 10);
    for (size_t i = 0; i < v.size(); ++i) ASSERT_NEAR((double)(x[i] / v[i]), 1.0, 1e-8) << i;
}

TEST(NoiseReduction, StatisticsClampAndDoubleInFieldMode) {
    // Rows 0..4 of frames 10..14 with values 1..5 in column 11 and 10, 20, ... in column 12.
    std::vector<std::string> t = {kFormatText2, "a", "b", "c", "d", "e"};
    for (int i = 0; i < 5; ++i)
        t.push_back(std::to_string(10 + i) + ".0,,,,,,,,,," + std::to_string(i + 1) + ".0," + std::to_string(10 * (i + 1)) + ",7");
    Controls c;
    c.objectCount = 2;
    noise::Statistics s;
    int offset = 0;
    std::string error;
    ASSERT_TRUE(noise::ComputeStatistics(t, c, 10, 14, s, offset, error));
    EXPECT_EQ(offset, 10);
    // mean 3, sum of squares 10 over to - from = 4: sqrt(2.5) = 1.58.
    EXPECT_EQ(s.mean[0], "3.0");
    EXPECT_EQ(s.deviation[0], "1.6");
    EXPECT_EQ(s.mean[1], "30.0");
    EXPECT_EQ(s.deviation[1], "15.8");
    EXPECT_EQ(s.mean[2], "0");
    EXPECT_EQ(s.deviation[2], "0");
    // A range past the table is clamped into it; an empty one gives 0.
    ASSERT_TRUE(noise::ComputeStatistics(t, c, 12, 1000, s, offset, error));
    EXPECT_EQ(s.mean[0], "4.0");
    ASSERT_TRUE(noise::ComputeStatistics(t, c, 14, 12, s, offset, error));
    EXPECT_EQ(s.mean[0], "0.0");
    EXPECT_EQ(s.deviation[0], "0.0");
    ASSERT_TRUE(noise::ComputeStatistics(t, c, 13, 13, s, offset, error));
    EXPECT_EQ(s.mean[0], "4.0");
    EXPECT_EQ(s.deviation[0], "0.0");
    // Field mode: frames 10..11 are rows 0..2 after doubling (from 0, to 2).
    c.fieldMeasure = true;
    ASSERT_TRUE(noise::ComputeStatistics(t, c, 10, 11, s, offset, error));
    EXPECT_EQ(s.mean[0], "2.0");
    EXPECT_EQ(s.deviation[0], "1.0");
    // The window's opening range in field mode (LastRow + FrameOffset, doubled) stays in the table.
    ASSERT_TRUE(noise::ComputeStatistics(t, c, 10, 14, s, offset, error));
    EXPECT_EQ(s.mean[0], "3.0");
    // Frame numbers round half to even; a cell that is not a number is a conversion error.
    t[6] = "10.5,,,,,,,,,,1.0,10,7";
    ASSERT_TRUE(noise::FrameOffsetOf(t, 2, offset, error));
    EXPECT_EQ(offset, 10);
    t[8] = "12.0,,,,,,,,,,abc,30,7";
    EXPECT_FALSE(noise::ComputeStatistics(t, c, 10, 14, s, offset, error));
    EXPECT_EQ(error, "'abc' is not a valid floating point value");
}

TEST(NoiseReduction, ResetRestoresTheUnsmoothedNetValueOfEveryObject) {
    const auto table = LoadTable("noise_long.csv");
    Controls c = ThreeObjects();
    c.method = noise::kMeasurementValue;
    c.objectChecked = {true, false, true};
    c.halfWidth = {9, 9, 9};
    const Outcome smoothed = noise::Apply(table, c);
    ASSERT_EQ(smoothed.status, Status::Done);
    EXPECT_EQ(GetField(smoothed.lines[10], 12), GetField(table[10], 12));  // object B unchecked: kept
    c.objectChecked = {false, false, false};  // Reset rewrites every object, checked or not
    const Outcome r = noise::Reset(smoothed.lines, c);
    ASSERT_EQ(r.status, Status::Done) << r.error;
    for (int row = 0; row < 600; ++row)
        for (int j = 0; j < 3; ++j) {
            const int c0 = 17 * (j + 1);
            const double s = Cell(table, row, c0), b = Cell(table, row, c0 + 1), p = Cell(table, row, c0 + 2),
                         q = Cell(table, row, c0 + 3);
            // Background counts of 0 (every 97th row) leave S: no division by zero.
            ASSERT_NEAR(Cell(r.lines, row, 11 + j), q == 0 ? s : s - p * b / q, kOneDecimal) << row << " " << j;
        }
    EXPECT_EQ(GetField(r.lines[6], 11), "20869.0");  // row 0 has Q = 0
    ASSERT_TRUE(r.statisticsShown);
    EXPECT_NE(r.statistics.mean[2], "0");
}

TEST(NoiseReduction, ConversionErrorsKeepTheLastCompletedPass) {
    auto table = LoadTable("noise_long.csv");
    Controls c = ThreeObjects();
    // A decimal in an integer column (S read as a row value by "Background only").
    auto bad = table;
    SetField(bad[50], 17, "123.5");
    c.method = noise::kBackgroundOnly;
    Outcome r = noise::Apply(bad, c);
    EXPECT_EQ(r.status, Status::Error);
    EXPECT_EQ(r.error, "'123.5' is not a valid integer value");
    EXPECT_FALSE(r.tableReplaced);
    // "Measurement Value" reads it as a real number.
    c.method = noise::kMeasurementValue;
    EXPECT_EQ(noise::Apply(bad, c).status, Status::Done);
    SetField(bad[60], 18, "x");
    r = noise::Apply(bad, c);
    EXPECT_EQ(r.error, "'x' is not a valid floating point value");
    EXPECT_FALSE(r.tableReplaced);
    // A control text that is not a number, before the first pass: nothing replaced.
    c.method = noise::kFftFilter;
    c.offset = "1.5";
    r = noise::Apply(table, c);
    EXPECT_EQ(r.error, "'1.5' is not a valid integer value");
    EXPECT_FALSE(r.tableReplaced);
    // After the first pass: the error comes with the first pass's table.
    c.offset = "0", c.cutoff = "abc";
    r = noise::Apply(table, c);
    EXPECT_EQ(r.status, Status::Error);
    EXPECT_EQ(r.error, "'abc' is not a valid integer value");
    ASSERT_TRUE(r.tableReplaced);
    c.method = noise::kMeasurementValue;
    EXPECT_EQ(r.lines, noise::Apply(table, c).lines);
}

TEST(NoiseReduction, BandsStayInsideTheTransformAndObjectAIsRewrittenOnlyWhenChecked) {
    const auto table = LoadTable("noise_long.csv");
    Controls c = ThreeObjects();
    c.method = noise::kFftFilter;
    c.fftSize = 512;
    Controls plain = c;
    plain.method = noise::kMeasurementValue;
    plain.objectChecked = {true, true, true};
    const auto raw = noise::Apply(table, plain).lines;
    // A cut-off beyond the transform (typed without Enter) zeroes nothing.
    c.cutoff = "5000";
    Outcome r = noise::Apply(table, c);
    ASSERT_EQ(r.status, Status::Done);
    for (int row = 0; row < 600; row += 7) ASSERT_NEAR(Cell(r.lines, row, 11), Cell(raw, row, 11), 0.1) << row;
    // A band past both ends zeroes every bin; "outside" past the ends keeps bin N - 1 only.
    c.bandPass = true, c.bandBegin = "0", c.bandEnd = "5000";
    r = noise::Apply(table, c);
    for (int row = 0; row < 600; row += 7)
        if (row >= r.offset && row - r.offset < 512) {
            ASSERT_EQ(GetField(r.lines[6 + row], 11), "0.0") << row;
        }
    c.outside = true, c.bandBegin = "-20", c.bandEnd = "9000";
    EXPECT_EQ(noise::Apply(table, c).status, Status::Done);
    // Spot erasing outside the transform resets its ends to 0.
    c.bandPass = false, c.outside = false, c.cutoff = "100";
    c.spotErasing = true, c.spotFrom = "-3", c.spotTo = "600";
    r = noise::Apply(table, c);
    EXPECT_TRUE(r.spotFromReset);
    EXPECT_TRUE(r.spotToReset);
    // Object A unchecked: the transform is not run and column 11 keeps its values.
    c.spotErasing = false;
    c.objectChecked = {false, true, false};
    r = noise::Apply(table, c);
    ASSERT_EQ(r.status, Status::Done);
    for (int row = 0; row < 600; row += 13) {
        ASSERT_EQ(GetField(r.lines[6 + row], 11), GetField(table[6 + row], 11));
        ASSERT_EQ(GetField(r.lines[6 + row], 12), GetField(raw[6 + row], 12));
    }
    c.method = noise::kWaveletFilter;
    r = noise::Apply(table, c);
    EXPECT_FALSE(r.waveletRun);
    // No object checked, or no data rows: nothing happens.
    c.objectChecked = {false, false, false};
    EXPECT_EQ(noise::Apply(table, c).status, Status::Nothing);
    c.objectChecked = {true, false, false};
    EXPECT_EQ(noise::Apply(std::vector<std::string>(table.begin(), table.begin() + 6), c).status, Status::Nothing);
    // Objects beyond the table's count are not read.
    c.objectCount = 1;
    c.objectChecked = {true, true, true};
    c.method = noise::kMeasurementValue;
    r = noise::Apply(table, c);
    EXPECT_EQ(GetField(r.lines[6], 12), GetField(table[6], 12));
}

TEST(NoiseReduction, WorkerRunEqualsSerialRunAndCancels) {
    const auto table = LoadTable("noise_long.csv");
    std::vector<std::string> big(table.begin(), table.begin() + 6);
    for (int k = 0; k < 40; ++k) big.insert(big.end(), table.begin() + 6, table.end());
    Controls c = ThreeObjects();
    c.method = noise::kFftFilter;
    c.fftSize = 4096;
    c.objectChecked = {true, true, true};
    c.halfWidth = {3, 4, 5};
    const Outcome serial = noise::Apply(big, c);
    noise::Progress progress;
    Outcome worker;
    std::thread t([&] { worker = noise::Apply(big, c, &progress); });
    t.join();
    EXPECT_EQ(worker.lines, serial.lines);
    EXPECT_EQ(progress.position.load(), static_cast<int>(big.size()) - 7);
    noise::Progress cancelled;
    cancelled.cancel = true;
    const Outcome none = noise::Apply(big, c, &cancelled);
    EXPECT_EQ(none.status, Status::Cancelled);
    EXPECT_FALSE(none.tableReplaced);
}

TEST(NoiseReduction, CutoffFrequency) {
    std::string text, error;
    ASSERT_TRUE(noise::CutoffFrequencyText("100", 1024, false, 0, text, error));
    EXPECT_EQ(text, "2.9");
    ASSERT_TRUE(noise::CutoffFrequencyText("100", 1024, true, 0, text, error));
    EXPECT_EQ(text, "5.9");
    ASSERT_TRUE(noise::CutoffFrequencyText("512", 512, false, 0, text, error));
    EXPECT_EQ(text, "30.0");
    EXPECT_FALSE(noise::CutoffFrequencyText("1x", 512, false, 0, text, error));
    EXPECT_EQ(error, "'1x' is not a valid integer value");
}

TEST(NoiseReductionProbe, SubcommandsPrintAndRefuse) {
    testutil::TempDir dir;
    const std::string probe = testutil::BinFile("tevorin-probe");
    std::string out;
    testutil::WriteAll(dir.File("four.txt"), "1\n2\n3\n4\n");
    ASSERT_EQ(testutil::Run(probe + " fft < '" + dir.File("four.txt") + "'", &out), 0);
    EXPECT_EQ(out, "2.5 0\n-0.5 0.5\n-0.5 0\n-0.5 -0.5\n");
    ASSERT_EQ(testutil::Run(probe + " dwt --levels 2 < '" + dir.File("four.txt") + "'", &out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4);
    testutil::WriteAll(dir.File("three.txt"), "1\n2\n3\n");
    EXPECT_EQ(testutil::Run(probe + " fft < '" + dir.File("three.txt") + "' 2>/dev/null"), 2);
    const std::string in = agolden::Path("noise_long.csv");
    ASSERT_EQ(testutil::Run(probe + " fft-listing '" + in + "' --size 512", &out), 0);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 256);
    EXPECT_EQ(out.substr(out.find('\n') + 1, 9), "0.058535,");  // 29.97 / 512
    // A PAL table's bins are 25 / N apart, 50 / N with two rows a frame.
    auto pal = fileio::SplitLines(testutil::ReadAll(in));
    pal[2] = "\"Video System : PAL , FrameRate=25.00\"";
    testutil::WriteAll(dir.File("pal.csv"), fileio::JoinLines(pal));
    ASSERT_EQ(testutil::Run(probe + " fft-listing '" + dir.File("pal.csv") + "' --size 512", &out), 0);
    EXPECT_EQ(out.substr(out.find('\n') + 1, 9), "0.048828,");
    ASSERT_EQ(testutil::Run(probe + " fft-listing '" + dir.File("pal.csv") + "' --size 512 --field", &out), 0);
    EXPECT_EQ(out.substr(out.find('\n') + 1, 9), "0.097656,");
    ASSERT_EQ(testutil::Run(probe + " noise-reduction '" + in + "' '" + dir.File("w.csv") + "' --method 4", &out), 0);
    EXPECT_EQ(out.substr(0, 24), "offset -212\nsigma 359.9\n");
    const auto written = fileio::SplitLines(testutil::ReadAll(dir.File("w.csv")));
    ASSERT_EQ(written.size(), 606u);
    // A conversion error prints the message, exits 2 and writes nothing.
    EXPECT_EQ(testutil::Run(probe + " noise-reduction '" + in + "' '" + dir.File("x.csv") + "' --offset abc", &out), 2);
    EXPECT_EQ(out, "'abc' is not a valid integer value\n");
    EXPECT_FALSE(fileio::FileExists(dir.File("x.csv")));
}
