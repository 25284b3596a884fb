// The FFT against exact DFTs (mpmath), numpy.fft and a quad-precision DFT of
// sampled bins, round trips over every length; the D4 wavelet against pywt and its
// reconstruction; the FFT window's listing.
#include <gtest/gtest.h>

#include <tuple>
#include <quadmath.h>

#include <cmath>
#include <random>

#include "analysis/fft.h"
#include "analysis/noise_reduction.h"
#include "analysis/wavelet.h"
#include "analysis_golden.h"
#include "measure/results_table.h"
#include "support/golden_compare.h"

using fft::FftArrays;

namespace {

long double RelativeL2(const std::vector<long double>& re, const std::vector<long double>& im,
                       const std::vector<long double>& wantRe, const std::vector<long double>& wantIm) {
    long double err = 0, norm = 0;
    for (size_t k = 0; k < re.size(); ++k) {
        err += (re[k] - wantRe[k]) * (re[k] - wantRe[k]) + (im[k] - wantIm[k]) * (im[k] - wantIm[k]);
        norm += wantRe[k] * wantRe[k] + wantIm[k] * wantIm[k];
    }
    return std::sqrt(err / norm);
}

void Random(FftArrays& a, uint32_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1000, 1000);
    for (size_t i = 0; i < a.FftReIn.size(); ++i) a.FftReIn[i] = u(rng), a.FftImIn[i] = u(rng);
}

// Pairwise sum of quad-precision terms (the reference's own rounding stays near 1e-34).
__float128 PairSum(const __float128* v, size_t n) {
    if (n == 1) return v[0];
    return PairSum(v, n / 2) + PairSum(v + n / 2, n - n / 2);
}

}  // namespace

TEST(Fft, ExactDftsUpTo256AndNumpyAt1024) {
    // The transform runs at extended precision: against an exact DFT the relative L2
    // error is bounded by a few eps_ext x log2 N (eps_ext = 5.4e-20); 1e-17 leaves room.
    const auto blocks = agolden::Read("fft_golden.txt", {"exact", "numpy", "dwt1", "dwt10"});
    int exact = 0;
    for (const auto& b : blocks) {
        if (b.kind != "exact") continue;
        ++exact;
        const size_t n = b.at("re").size();
        FftArrays a;
        ASSERT_TRUE(a.Resize(static_cast<int>(n)));
        a.FftReIn = b.at("re"), a.FftImIn = b.at("im");
        a.RunFft(1);
        EXPECT_LE(RelativeL2(a.FftReOut, a.FftImOut, b.at("out_re"), b.at("out_im")), 1e-17L) << "N=" << n;
        // The inverse of the exact spectrum is the input.
        a.FftReIn = b.at("out_re"), a.FftImIn = b.at("out_im");
        a.RunFft(-1);
        EXPECT_LE(RelativeL2(a.FftReOut, a.FftImOut, b.at("re"), b.at("im")), 1e-17L) << "N=" << n;
    }
    EXPECT_EQ(exact, 8);  // N = 2 .. 256
    for (const auto& b : blocks) {
        if (b.kind != "numpy") continue;
        // Inputs from the same generator as exact 1024 (seed 1024).
        std::vector<long double> re, im;
        uint64_t x = 1024;
        for (int i = 0; i < 2048; ++i) {
            x = (1103515245 * x + 12345) % (uint64_t{1} << 31);
            (i < 1024 ? re : im).push_back((static_cast<long double>((x >> 8) % (1 << 21)) - (1 << 20)) / 1024);
        }
        FftArrays a;
        a.Resize(1024);
        a.FftReIn = re, a.FftImIn = im;
        a.RunFft(1);
        // numpy (pocketfft) works in double: its relative L2 error is a few eps_double (2.2e-16).
        EXPECT_LE(RelativeL2(a.FftReOut, a.FftImOut, b.at("out_re"), b.at("out_im")), 1e-15L);
    }
}

TEST(Fft, QuadPrecisionBinsUpTo65536) {
    // 24 bins of each length against a direct DFT in quad precision (cosq/sinq
    // twiddles, pairwise sums): relative L2 error at most 1e-17.
    for (int n = 512; n <= 65536; n *= 2) {
        FftArrays a;
        a.Resize(n);
        Random(a, static_cast<uint32_t>(n));
        const std::vector<long double> re = a.FftReIn, im = a.FftImIn;
        a.RunFft(1);
        std::vector<__float128> c(static_cast<size_t>(n)), s(static_cast<size_t>(n)), tr(static_cast<size_t>(n)),
            ti(static_cast<size_t>(n));
        for (int m = 0; m < n; ++m) {
            const __float128 angle = 2 * acosq(-1) * m / n;
            c[static_cast<size_t>(m)] = cosq(angle), s[static_cast<size_t>(m)] = sinq(angle);
        }
        std::vector<long double> gotRe, gotIm, wantRe, wantIm;
        std::mt19937 pick(static_cast<uint32_t>(n));
        for (int t = 0; t < 24; ++t) {
            const int k = t < 3 ? t * (n / 2 - 1) : static_cast<int>(pick() % static_cast<uint32_t>(n));
            for (int j = 0; j < n; ++j) {
                const size_t m = static_cast<size_t>((int64_t{k} * j) % n);
                const __float128 xr = re[static_cast<size_t>(j)], xi = im[static_cast<size_t>(j)];
                // x e^(-i theta)
                tr[static_cast<size_t>(j)] = xr * c[m] + xi * s[m];
                ti[static_cast<size_t>(j)] = xi * c[m] - xr * s[m];
            }
            wantRe.push_back(static_cast<long double>(PairSum(tr.data(), tr.size()) / n));
            wantIm.push_back(static_cast<long double>(PairSum(ti.data(), ti.size()) / n));
            gotRe.push_back(a.FftReOut[static_cast<size_t>(k)]);
            gotIm.push_back(a.FftImOut[static_cast<size_t>(k)]);
        }
        EXPECT_LE(RelativeL2(gotRe, gotIm, wantRe, wantIm), 1e-17L) << "N=" << n;
    }
}

TEST(Fft, RoundTripsOverEveryLength) {
    // Forward then inverse: relative L2 error within 4 eps_ext x log2 N (2.2e-19 x log2 N).
    for (int n = 2; n <= (1 << 16); n *= 2) {
        FftArrays a;
        a.Resize(n);
        Random(a, static_cast<uint32_t>(n) + 7);
        const std::vector<long double> re = a.FftReIn, im = a.FftImIn;
        a.RunFft(1);
        a.FftReIn = a.FftReOut, a.FftImIn = a.FftImOut;
        a.RunFft(-1);
        EXPECT_LE(RelativeL2(a.FftReOut, a.FftImOut, re, im), 2.2e-19L * a.FftBits) << "N=" << n;
    }
}

TEST(Fft, ConstantInputSizesAndBitReversal) {
    FftArrays a;
    for (int bad : {0, 1, 3, 1000, 1 << 21, -4}) EXPECT_FALSE(a.Resize(bad)) << bad;
    ASSERT_TRUE(a.Resize(1024));
    EXPECT_EQ(a.FftBits, 10);
    EXPECT_EQ(a.BitReverse(1), 512u);
    EXPECT_EQ(a.BitReverse(0b0000000110), 0b0110000000u);
    EXPECT_EQ(a.BitReverse(1023), 1023u);
    std::fill(a.FftReIn.begin(), a.FftReIn.end(), 3.25L);
    a.RunFft(1);
    EXPECT_EQ(a.FftReOut[0], 3.25L);
    EXPECT_EQ(a.FftImOut[0], 0.0L);
    for (size_t k = 1; k < 1024; ++k) ASSERT_LE(std::fabs(a.FftReOut[k]) + std::fabs(a.FftImOut[k]), 1e-18L) << k;
    // Unsized arrays are left alone.
    FftArrays empty;
    empty.RunFft(1);
    EXPECT_TRUE(empty.FftReOut.empty());
    a.Clear();
    EXPECT_TRUE(a.FftReIn.empty());
    EXPECT_EQ(fft::CsvFieldAt("a,b,,d", 4), "d");
    EXPECT_EQ(fft::CsvFieldAt("a,b", 0), "a");
    EXPECT_EQ(fft::CsvFieldAt("a,b", 3), "");
}

namespace {

std::vector<std::string> ListingTable(int rows, bool field, const std::string& value = "") {
    std::vector<std::string> t = {kFormatText2, "\"FileName : x.avi\"", "\"Video System : NTSC , FrameRate=29.97\"",
                                  "\"\"", "\"\"", "\"No.\""};
    for (int i = 0; i < rows; ++i) {
        const std::string frame = field ? std::to_string(i / 2) + (i % 2 ? ".5" : ".0") : std::to_string(i) + ".0";
        const std::string v = value.empty() ? std::to_string(1000 + 100 * std::cos(2 * M_PI * 3 * i / 1024.0)) : value;
        t.push_back(frame + ",,,,,,,,,," + v + ",5.0,");
    }
    return t;
}

}  // namespace

TEST(FftListing, LengthsFrequenciesAndAmplitudes) {
    FftArrays a;
    std::string error;
    // 1030 lines (1024 rows) at N 1024 list nothing; 1031 lines list 512 bins.
    EXPECT_TRUE(fft::FftListing(ListingTable(1024, false), 2, 1024, false, a, error).empty());
    EXPECT_EQ(error, "");
    const auto lines = fft::FftListing(ListingTable(1025, false), 2, 1024, false, a, error);
    ASSERT_EQ(lines.size(), 512u);
    // Bin 0: 2 x mean / N; bin 3 holds the cosine of amplitude 100: 2 x 50 / N.
    EXPECT_EQ(lines[0], "0.000000,1.953125");
    EXPECT_EQ(lines[1].substr(0, 9), "0.029268,");
    EXPECT_EQ(lines[3], "0.087803,0.097656");
    const auto field = fft::FftListing(ListingTable(1025, true), 2, 1024, true, a, error);
    ASSERT_EQ(field.size(), 512u);
    EXPECT_EQ(field[1].substr(0, 9), "0.058535,");
    // Format 0 reads column 5 from line 4; an empty cell counts as 0.
    std::vector<std::string> old = {"x", "\"\"", "\"No.\""};
    for (int i = 0; i < 600; ++i) old.push_back(std::to_string(i) + ".0,,,," + (i % 2 ? "" : "8"));
    const auto v0 = fft::FftListing(old, 0, 512, false, a, error);
    ASSERT_EQ(v0.size(), 256u);
    EXPECT_EQ(v0[0], "0.000000,0.015625");  // mean 4: 2 x 4 / 512
    // A cell that is not a number stops with the class library's message.
    auto bad = ListingTable(1025, false);
    bad[100] = "94.0,,,,,,,,,,12x4,";
    EXPECT_TRUE(fft::FftListing(bad, 2, 1024, false, a, error).empty());
    EXPECT_EQ(error, "'12x4' is not a valid floating point value");
}

// Frequencies count the table's own frame rate: a PAL table's bin k lies at
// k x 25 / N (50 with two rows a frame), not 20 % higher at 29.97; a header
// without a rate keeps 29.97. Amplitudes do not depend on it.
TEST(FftListing, FrequenciesFollowTheTablesFrameRate) {
    FftArrays a;
    std::string error;
    auto table = [](const std::string& system, bool field) {
        auto t = ListingTable(1025, field);
        t[2] = system;
        return t;
    };
    const auto ntsc = fft::FftListing(table("\"Video System : NTSC , FrameRate=29.97\"", false), 2, 1024, false, a, error);
    for (const auto& [system, field, bin1, bin3] :
         {std::tuple{"\"Video System : PAL , FrameRate=25.00\"", false, 25.0 / 1024, 75.0 / 1024},
          std::tuple{"\"Video System : PAL , FrameRate=25.00\"", true, 50.0 / 1024, 150.0 / 1024},
          std::tuple{"\"Video System : --- , FrameRate=15.00\"", false, 15.0 / 1024, 45.0 / 1024},
          std::tuple{"\"Video System : NTSC\"", false, 29.97 / 1024, 3 * 29.97 / 1024},
          std::tuple{"\"Video System : NTSC\"", true, 59.94 / 1024, 3 * 59.94 / 1024}}) {
        const auto lines = fft::FftListing(table(system, field), 2, 1024, field, a, error);
        ASSERT_EQ(lines.size(), 512u) << system;
        // Six decimals: within half a unit of the last one.
        EXPECT_NEAR(std::stod(lines[1].substr(0, lines[1].find(','))), bin1, 5e-7) << system << field;
        EXPECT_NEAR(std::stod(lines[3].substr(0, lines[3].find(','))), bin3, 5e-7) << system << field;
        if (!field) {
            EXPECT_EQ(lines[3].substr(lines[3].find(',')), ntsc[3].substr(ntsc[3].find(','))) << system;
        }
    }
    // The noise window's cut-off frequency is on the same axis.
    std::string text;
    ASSERT_TRUE(noise::CutoffFrequencyText("100", 1024, false, 25.0L, text, error));
    EXPECT_EQ(text, "2.4");
    ASSERT_TRUE(noise::CutoffFrequencyText("100", 1024, true, 25.0L, text, error));
    EXPECT_EQ(text, "4.9");
    ASSERT_TRUE(noise::CutoffFrequencyText("100", 1024, false, 0.0L, text, error));
    EXPECT_EQ(text, "2.9");
}

// A table too short for the transform is told how many rows the transform needs.
TEST(FftListing, ShortTableIsToldTheRowsNeeded) {
    EXPECT_EQ(fft::FftShortTable(ListingTable(1024, false), 2, 1024),
              "The FFT of 1024 points needs 1025 rows of results; this table has 1024.");
    EXPECT_EQ(fft::FftShortTable(ListingTable(1025, false), 2, 1024), "");
    EXPECT_EQ(fft::FftShortTable({}, 2, 512), "The FFT of 512 points needs 513 rows of results; this table has 0.");
    // Format 0: three header lines.
    EXPECT_EQ(fft::FftShortTable(std::vector<std::string>(10, "x"), 0, 512),
              "The FFT of 512 points needs 516 rows of results; this table has 7.");
}

TEST(Wavelet, OneLevelAndTenLevelsMatchPywt) {
    // The program's filters carry 12 decimals: each tap differs from db2's by up to
    // 5e-13, so a level differs from pywt by up to about 2e-12 of the input's size.
    const auto blocks = agolden::Read("fft_golden.txt", {"exact", "numpy", "dwt1", "dwt10"});
    wavelet::WaveletData w;
    int seen = 0;
    for (const auto& b : blocks) {
        if (b.kind == "dwt1") {
            const auto& x = b.at("x");
            const int n = static_cast<int>(x.size());
            long double scale = 0;
            for (long double v : x) scale = std::max(scale, std::fabs(v));
            std::vector<long double> a(static_cast<size_t>(n / 2)), d(a.size()), back(x.size());
            wavelet::DwtForwardStep(w, x.data(), n, a.data(), d.data());
            for (size_t i = 0; i < a.size(); ++i) {
                ASSERT_NEAR((double)a[i], (double)b.at("a")[i], (double)(1e-11L * scale)) << n << " a" << i;
                ASSERT_NEAR((double)d[i], (double)b.at("d")[i], (double)(1e-11L * scale)) << n << " d" << i;
            }
            wavelet::DwtInverseStep(w, b.at("a").data(), b.at("d").data(), n / 2, back.data());
            for (size_t i = 0; i < x.size(); ++i)
                ASSERT_NEAR((double)back[i], (double)b.at("back")[i], (double)(1e-11L * scale)) << n << " back" << i;
            ++seen;
        } else if (b.kind == "dwt10") {
            std::vector<long double> v = b.at("x");
            ASSERT_TRUE(wavelet::DwtForward(w, v, 10));
            const auto& want = b.at("mallat");
            long double scale = 0;
            for (long double m : want) scale = std::max(scale, std::fabs(m));
            for (size_t i = 0; i < v.size(); ++i) ASSERT_NEAR((double)v[i], (double)want[i], (double)(1e-9L * scale)) << i;
            ++seen;
        }
    }
    EXPECT_EQ(seen, 4);
}

TEST(Wavelet, ReconstructsEveryLengthAndRefusesBadCounts) {
    // Orthonormal to the 12th decimal: forward then inverse returns the input within 1e-11.
    wavelet::WaveletData w;
    EXPECT_NEAR((double)(w.WaveletHighPass[0] + 0.129409522551L), 0.0, 1e-18);
    EXPECT_NEAR((double)(w.WaveletHighPass[3] + 0.482962913145L), 0.0, 1e-18);
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-5e4, 5e4);
    for (int n = 2; n <= (1 << 14); n *= 2) {
        std::vector<long double> x(static_cast<size_t>(n));
        for (auto& v : x) v = u(rng);
        const int levels = std::countr_zero(static_cast<unsigned>(n));
        std::vector<long double> v = x;
        ASSERT_TRUE(wavelet::DwtForward(w, v, levels));
        ASSERT_TRUE(wavelet::DwtInverse(w, v, levels));
        for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR((double)v[i], (double)x[i], 1e-11 * 5e4) << n << " at " << i;
    }
    std::vector<long double> odd(12), small(4);
    EXPECT_FALSE(wavelet::DwtForward(w, odd, 1));
    EXPECT_FALSE(wavelet::DwtForward(w, small, 3));
    EXPECT_FALSE(wavelet::DwtInverse(w, small, -1));
}

// The checked-in references and tables cannot drift from their scripts.
TEST(OracleScripts, FftAndNoiseReferencesReproduce) {
    if (testutil::Run("/usr/bin/python3 -c 'import numpy, pywt, mpmath' 2>/dev/null") != 0)
        GTEST_SKIP() << "numpy, pywt or mpmath not available";
    testutil::TempDir dir;
    const std::string scripts = std::string(TEVORIN_SOURCE_DIR) + "/tests/analysis/";
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + scripts + "fft_oracle.py' --out '" + dir.File("fft.txt") + "'"), 0);
    EXPECT_EQ(testutil::CompareWithGolden(testutil::ReadAll(dir.File("fft.txt")), agolden::Path("fft_golden.txt")), "");
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + scripts + "noise_oracle.py' --out '" + dir.File("noise.txt") +
                            "' --tables '" + dir.Path() + "'"),
              0);
    EXPECT_EQ(testutil::CompareWithGolden(testutil::ReadAll(dir.File("noise.txt")), agolden::Path("noise_golden.txt")), "");
    for (const char* table : {"noise_long.csv", "noise_short.csv"})
        EXPECT_EQ(testutil::ReadAll(dir.File(table)), testutil::ReadAll(agolden::Path(table))) << table;
}
