#include "graph/fresnel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "support/test_util.h"

namespace {

struct GoldenRow {
    int index;
    long double c, s;
};

std::vector<GoldenRow> ReadGolden(const std::string& path) {
    std::vector<GoldenRow> rows;
    std::istringstream in(testutil::ReadAll(path));
    std::string line;
    while (std::getline(in, line)) {
        GoldenRow r{};
        std::istringstream fields(line);
        std::string c, s;
        fields >> r.index >> c >> s;
        r.c = std::strtold(c.c_str(), nullptr);
        r.s = std::strtold(s.c_str(), nullptr);
        rows.push_back(r);
    }
    return rows;
}

const std::string kGolden = "fresnel/fresnel_golden.txt";

bool HaveMpmath() { return testutil::Run("/usr/bin/python3 -c 'import mpmath' 2>/dev/null") == 0; }

using Table = std::unique_ptr<long double[]>;
Table NewTable() { return std::make_unique<long double[]>(fresnel::kFresnelCount); }

// Same value and the same 80 significant bits (the padding bytes are not ours).
bool BitIdentical(const long double* a, const long double* b) {
    for (int i = 0; i < fresnel::kFresnelCount; ++i)
        if (std::memcmp(&a[i], &b[i], 10) != 0) return false;
    return true;
}

}  // namespace

TEST(FresnelTables, MatchIndependentEulerMaclaurinReference) {
    const auto rows = ReadGolden(testutil::DataFile(kGolden));
    ASSERT_GE(rows.size(), 300u);
    const long double* c = fresnel::FresnelC();
    const long double* s = fresnel::FresnelS();
    for (const auto& r : rows) {
        ASSERT_GE(r.index, 0);
        ASSERT_LE(r.index, fresnel::kFresnelLast);
        EXPECT_NEAR(static_cast<double>(c[r.index]), static_cast<double>(r.c), 1e-12) << "C at " << r.index;
        EXPECT_NEAR(static_cast<double>(s[r.index]), static_cast<double>(r.s), 1e-12) << "S at " << r.index;
    }
    // The sum includes the term at the index itself.
    EXPECT_EQ(c[0], 0.0001L);
    EXPECT_EQ(s[0], 0.0L);
    EXPECT_EQ(rows.back().index, fresnel::kFresnelLast);
}

TEST(FresnelTables, GoldenFileIsWhatTheReferenceScriptWrites) {
    if (!HaveMpmath()) GTEST_SKIP() << "/usr/bin/python3 with mpmath not found";
    testutil::TempDir dir;
    const std::string script = std::string(TEVORIN_SOURCE_DIR) + "/tests/graph/fresnel_golden.py";
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" + script + "' '" + dir.File("golden.txt") + "'"), 0);
    EXPECT_EQ(testutil::ReadAll(dir.File("golden.txt")), testutil::ReadAll(testutil::DataFile(kGolden)));
}

TEST(FresnelTables, ParallelAndBackgroundBuildsAreBitIdenticalToSerial) {
    Table c1 = NewTable(), s1 = NewTable(), c2 = NewTable(), s2 = NewTable();
    fresnel::ComputeFresnelTables(c1.get(), s1.get(), 1);
    for (unsigned threads : {3u, 8u}) {
        fresnel::ComputeFresnelTables(c2.get(), s2.get(), threads);
        EXPECT_TRUE(BitIdentical(c1.get(), c2.get())) << threads << " threads";
        EXPECT_TRUE(BitIdentical(s1.get(), s2.get())) << threads << " threads";
    }
    fresnel::StartFresnelTableBuild();
    EXPECT_TRUE(BitIdentical(c1.get(), fresnel::FresnelC()));
    EXPECT_TRUE(BitIdentical(s1.get(), fresnel::FresnelS()));
    EXPECT_TRUE(fresnel::FresnelTablesReady());
}

TEST(FresnelTables, BuildLifecycle) {
    {
        fresnel::FresnelTableBuild build;
        EXPECT_FALSE(build.Ready());
        // The first reader starts the build when nobody has.
        const long double* c = build.C();
        EXPECT_TRUE(build.Ready());
        build.Start();  // a second start changes nothing
        EXPECT_EQ(build.C(), c);
        EXPECT_EQ(c[fresnel::kFresnelLast], fresnel::FresnelC()[fresnel::kFresnelLast]);
    }
    {
        // Destroyed while the build may still run: it waits instead of freeing
        // tables under the worker.
        fresnel::FresnelTableBuild build;
        build.Start(2);
    }
}

// Knife-edge pattern with one table step per time unit x 10000, so t is the
// Fresnel argument itself.
class KnifeEdge : public ::testing::Test {
protected:
    void SetUp() override { model.FresnelScale[500 - 400] = 10000.0L; }
    double I(double w) const { return static_cast<double>(model.DiffractionIntensity(w, 500)); }
    diffraction::DiffractionModel model;
};

TEST_F(KnifeEdge, TextbookValues) {
    // At the geometric edge: ((0.0001 + 0.5)^2 + 0.5^2) / 2.
    EXPECT_NEAR(I(0), 0.250050005, 1e-15);
    double best = 0, bestW = 0, low = 10, lowW = 0;
    for (int n = 10000; n <= 22000; ++n) {
        const double v = I(n / 10000.0);
        if (v > best) best = v, bestW = n / 10000.0;
        if (n > 15000 && v < low) low = v, lowW = n / 10000.0;
    }
    // Fresnel-integral extremes (scipy): 1.370443 at 1.2172, 0.778251 at 1.8725;
    // the left-rectangle sums shift them by about half a step.
    EXPECT_NEAR(best, 1.370443, 2e-4);
    EXPECT_NEAR(bestW, 1.2172, 2e-3);
    EXPECT_NEAR(low, 0.778251, 2e-4);
    EXPECT_NEAR(lowW, 1.8725, 2e-3);
    // Shadow side at w = -1 uses the negated table values: 0.0410761 from scipy,
    // plus the half-step shift.
    EXPECT_NEAR(I(-1), 0.0410761, 1e-4);
}

TEST_F(KnifeEdge, EndsOfTheTable) {
    EXPECT_NE(I(240.0), 1.0);  // index 2,400,000 is still in the table
    EXPECT_NEAR(I(240.0), 1.0, 1e-2);
    EXPECT_EQ(I(240.0001), 1.0);
    EXPECT_EQ(I(-240.0001), 0.0);
    EXPECT_EQ(I(1e300), 1.0);
    EXPECT_EQ(I(-1e300), 0.0);
    EXPECT_EQ(I(INFINITY), 1.0);
    EXPECT_EQ(I(-INFINITY), 0.0);
    EXPECT_EQ(I(NAN), 1.0);
    // Halves round to even: index positions 0.5 -> 0, 1.5 -> 2, 2.5 -> 2.
    model.FresnelScale[0] = 2.0L;
    EXPECT_EQ(model.DiffractionIntensity(0.25L, 400), model.DiffractionIntensity(0, 400));
    EXPECT_EQ(model.DiffractionIntensity(0.75L, 400), model.DiffractionIntensity(1, 400));
    EXPECT_EQ(model.DiffractionIntensity(1.25L, 400), model.DiffractionIntensity(1, 400));
    EXPECT_NE(model.DiffractionIntensity(1, 400), model.DiffractionIntensity(0, 400));
    // A wavelength without a scale, or outside the model, never moves off the edge.
    EXPECT_EQ(model.DiffractionIntensity(5, 501), model.DiffractionIntensity(0, 500));
    EXPECT_EQ(model.DiffractionIntensity(5, 900), model.DiffractionIntensity(0, 500));
}

TEST(FresnelTables, MainWindowStartsTheBuildAndDoesNotWait) {
    // ctest runs each test in a process of its own; a whole-suite run may not.
    if (fresnel::FresnelTableBuildStarted()) GTEST_SKIP() << "tables already started in this process";
    testutil::TempDir dir;
    SetSettingsFilePath(dir.File("tevorin.ini"));
    TPlatform window;
    SetSettingsFilePath("");
    EXPECT_TRUE(fresnel::FresnelTableBuildStarted());
    EXPECT_EQ(fresnel::FresnelC()[0], 0.0001L);
}
