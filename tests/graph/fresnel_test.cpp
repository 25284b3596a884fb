#include "graph/fresnel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "support/test_util.h"

namespace {
std::vector<long double> Numbers(const std::string& text) {
    std::vector<long double> v;
    std::istringstream in(text);
    for (std::string w; in >> w;) v.push_back(std::strtold(w.c_str(), nullptr));
    return v;
}
int Probe(const std::string& args, std::string* out) {
    return testutil::Run("'" + testutil::BinFile("tevorin-probe") + "' " + args + " 2>/dev/null", out);
}
}  // namespace

// Golden file: mpmath Fresnel integrals with Euler-Maclaurin end corrections (fresnel_golden.py).
TEST(FresnelTables, MatchMpmathReferenceAndItsScript) {
    const auto v = Numbers(testutil::ReadAll(testutil::DataFile("fresnel/fresnel_golden.txt")));
    ASSERT_EQ(v.size(), 900u);
    for (size_t r = 0; r < v.size(); r += 3) {
        const int i = static_cast<int>(v[r]);
        ASSERT_LE(i, fresnel::kFresnelLast);
        EXPECT_NEAR(double(fresnel::FresnelC()[i]), double(v[r + 1]), 1e-12) << "C at " << i;
        EXPECT_NEAR(double(fresnel::FresnelS()[i]), double(v[r + 2]), 1e-12) << "S at " << i;
    }
    EXPECT_EQ(v[897], fresnel::kFresnelLast);
    EXPECT_EQ(fresnel::FresnelC()[0], 0.0001L);  // the sum includes the term at the index
    if (testutil::Run("/usr/bin/python3 -c 'import mpmath' 2>/dev/null") != 0) GTEST_SKIP() << "no mpmath";
    testutil::TempDir dir;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/fresnel_golden.py' " + dir.File("g")), 0);
    EXPECT_EQ(testutil::ReadAll(dir.File("g")), testutil::ReadAll(testutil::DataFile("fresnel/fresnel_golden.txt")));
}

TEST(FresnelTables, ThreadedAndBackgroundBuildsAreBitIdentical) {
    const int n = fresnel::kFresnelCount;
    auto c1 = std::make_unique<long double[]>(n), s1 = std::make_unique<long double[]>(n);
    auto c2 = std::make_unique<long double[]>(n), s2 = std::make_unique<long double[]>(n);
    auto same = [n](const long double* a, const long double* b) {  // 80 significant bits, not the padding
        for (int i = 0; i < n; ++i)
            if (std::memcmp(&a[i], &b[i], 10) != 0) return false;
        return true;
    };
    fresnel::ComputeFresnelTables(c1.get(), s1.get(), 1);
    for (unsigned threads : {3u, 8u}) {
        fresnel::ComputeFresnelTables(c2.get(), s2.get(), threads);
        EXPECT_TRUE(same(c1.get(), c2.get()) && same(s1.get(), s2.get())) << threads;
    }
    { fresnel::FresnelTableBuild build; build.Start(2); }  // destroyed mid-build: waits, no use-after-free
    fresnel::FresnelTableBuild build;
    EXPECT_FALSE(build.Ready());
    const long double* c = build.C();  // the first reader starts the build
    build.Start();
    EXPECT_TRUE(build.Ready() && build.C() == c && same(c, c1.get()));
    fresnel::StartFresnelTableBuild();
    EXPECT_TRUE(same(c1.get(), fresnel::FresnelC()) && same(s1.get(), fresnel::FresnelS()));
}

// One table step per 1/10000 time unit: t is the Fresnel argument; scipy values of the integrals.
TEST(KnifeEdge, TextbookValuesAndTableEnds) {
    diffraction::DiffractionModel m;
    m.FresnelScale[100] = 10000.0L;
    auto I = [&](double w) { return static_cast<double>(m.DiffractionIntensity(w, 500)); };
    EXPECT_NEAR(I(0), 0.250050005, 1e-15);  // ((0.0001 + 0.5)^2 + 0.5^2) / 2
    double best = 0, bestW = 0, low = 10, lowW = 0;
    for (int n = 10000; n <= 22000; ++n) {
        const double v = I(n / 10000.0);
        if (v > best) best = v, bestW = n / 10000.0;
        if (n > 15000 && v < low) low = v, lowW = n / 10000.0;
    }
    // 1.370443 at 1.2172, 0.778251 at 1.8725, 0.0410761 at -1; left sums shift by half a step.
    EXPECT_NEAR(best, 1.370443, 2e-4);
    EXPECT_NEAR(bestW, 1.2172, 2e-3);
    EXPECT_NEAR(low, 0.778251, 2e-4);
    EXPECT_NEAR(lowW, 1.8725, 2e-3);
    EXPECT_NEAR(I(-1), 0.0410761, 1e-4);
    EXPECT_NE(I(240.0), 1.0);  // index 2,400,000 is still in the table
    EXPECT_NEAR(I(240.0), 1.0, 1e-2);
    for (double w : {240.0001, 1e300, double(INFINITY), double(NAN)}) EXPECT_EQ(I(w), 1.0) << w;
    for (double w : {-240.0001, -1e300, -double(INFINITY)}) EXPECT_EQ(I(w), 0.0) << w;
    m.FresnelScale[0] = 2.0L;  // halves round to even: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2
    auto J = [&](long double w) { return m.DiffractionIntensity(w, 400); };
    EXPECT_TRUE(J(0.25L) == J(0) && J(0.75L) == J(1) && J(1.25L) == J(1) && J(1) != J(0));
    // No scale, or a wavelength outside the model: stays at the edge.
    const long double edge = m.DiffractionIntensity(0, 500);
    EXPECT_TRUE(m.DiffractionIntensity(5, 501) == edge && m.DiffractionIntensity(5, 900) == edge);
}

TEST(FresnelTables, MainWindowStartsTheBuild) {
    if (fresnel::FresnelTableBuildStarted()) GTEST_SKIP() << "already started in this process";
    testutil::TempDir dir;
    SetSettingsFilePath(dir.File("tevorin.ini"));
    TPlatform window;
    SetSettingsFilePath("");
    EXPECT_TRUE(fresnel::FresnelTableBuildStarted());
}

TEST(ProbeFresnel, TablesWith21DigitsAndIntensity) {
    std::string out;
    ASSERT_EQ(Probe("fresnel 0 10000 2400000", &out), 0);
    EXPECT_EQ(out.substr(0, out.find('\n')), "0.000100000000000000000001 0");
    EXPECT_EQ(out.find(' ', out.rfind("\n0.")) - out.rfind("\n0."), 24u);  // "0." and 21 digits
    auto v = Numbers(out);
    ASSERT_EQ(v.size(), 6u);
    const double golden[] = {0.7799433977588289, 0.4383091473903548, 0.5000999926706330, 0.4986743371857599};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(double(v[i + 2]), golden[i], 1e-15);
    ASSERT_EQ(Probe("intensity --distance 384401000 --velocity 700 --temperature 6650 0 100", &out), 0);
    v = Numbers(out);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NEAR(double(v[0]), 0.250050005, 1e-14);
    for (const char* bad : {"fresnel", "fresnel 2400001", "fresnel -1", "fresnel 1.5", "intensity", "intensity --distance",
                            "intensity --distance 3.5 0", "intensity --velocity fast 0", "intensity 0 soon"})
        EXPECT_NE(Probe(bad, &out), 0) << bad;
}
