// Fresnel tables, the diffraction model and the spectral weights against independent references.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <sstream>

#include "graph/fresnel.h"
#include "graph/spectral_model.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "support/golden_compare.h"
#include "support/test_util.h"

using diffraction::DiffractionModel;

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
double Linear(int k, int r) { return k * 10 + r * 0.5; }
// Header of quoted names, 81 rows (camera k reads percent(k, r)), blank lines up to `total` lines.
std::string Csv(int total, double (*percent)(int, int) = Linear) {
    std::string t = "\"nm\"";
    for (int k = 1; k <= 10; ++k) t += ",\"Cam " + std::to_string(k) + "\"";
    for (int r = 0; r <= 80; ++r) {
        t += "\r\n" + std::to_string(400 + 5 * r);
        for (int k = 1; k <= 10; ++k) t += "," + std::to_string(percent(k, r));
    }
    for (int i = 81; i < total; ++i) t += "\r\n";
    return t;
}
}  // namespace

// Golden file: mpmath Fresnel integrals with Euler-Maclaurin end corrections (fresnel_golden.py).
TEST(FresnelTables, MatchMpmathReferenceAndItsScript) {
    const auto v = Numbers(testutil::ReadAll(testutil::DataFile("fresnel/fresnel_golden.txt")));
    ASSERT_EQ(v.size(), 900u);
    testutil::Differences d;
    for (size_t r = 0; r < v.size(); r += 3) {
        const int i = static_cast<int>(v[r]);
        ASSERT_LE(i, fresnel::kFresnelLast);
        d.Check(double(fresnel::FresnelC()[i]), double(v[r + 1]), 1e-12, "C at " + std::to_string(i));
        d.Check(double(fresnel::FresnelS()[i]), double(v[r + 2]), 1e-12, "S at " + std::to_string(i));
    }
    EXPECT_EQ(d.Report(), "");
    EXPECT_EQ(v[897], fresnel::kFresnelLast);
    EXPECT_EQ(fresnel::FresnelC()[0], 0.0001L);  // the sum includes the term at the index
    if (testutil::Run("/usr/bin/python3 -c 'import mpmath' 2>/dev/null") != 0) GTEST_SKIP() << "no mpmath";
    testutil::TempDir dir;
    ASSERT_EQ(testutil::Run("/usr/bin/python3 '" TEVORIN_SOURCE_DIR "/tests/graph/fresnel_golden.py' " + dir.File("g")), 0);
    EXPECT_EQ(testutil::CompareWithGolden(testutil::ReadAll(dir.File("g")), testutil::DataFile("fresnel/fresnel_golden.txt")), "");
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
    {
        fresnel::FresnelTableBuild idle;
        idle.Start();  // in spare time: the reader builds the tables rather than wait
        EXPECT_TRUE(same(idle.C(), c1.get()) && same(idle.S(), s1.get()));
    }  // the background build stops
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
    DiffractionModel m;
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

TEST(SpectralModel, AirSplineStarPlanckAndDump) {
    DiffractionModel m;
    m.BuildAirTransparency();
    // Through the knots to 650 nm, then the 600-650 nm cubic extrapolated (by hand).
    const std::pair<int, double> air[] = {{400, 0.63}, {650, 0.88}, {700, 0.9155}, {750, 0.932}, {800, 0.915}};
    for (auto [nm, v] : air) EXPECT_NEAR(m.AirTransparency[nm - 400], v, 1e-9) << nm;
    EXPECT_EQ(m.AirTransparency[1], 0.0);
    const auto dump = diffraction::DumpAirTransparency();
    ASSERT_EQ(dump.size(), 81u);
    EXPECT_EQ(dump[0] + " " + dump[1] + " " + dump[11] + " " + dump[50] + " " + dump[80], "3,400,0.63 4,405,0.64 5,455,0.74 8,650,0.88 8,800,0.92");

    m.BuildStarSpectrum();  // 6650 K; Wien: 0.0143 m K / (4.9651 x 6650 K) = 433.1 nm
    EXPECT_EQ(std::max_element(m.StarSpectrum.begin(), m.StarSpectrum.end()) - m.StarSpectrum.begin(), 35);
    EXPECT_EQ(m.StarSpectrum[35], 1.0);
    m.StarTemperature = 3000;  // Planck ratio 400/800 nm with c2 = 0.0143 m K; peak beyond 800 nm
    m.BuildStarSpectrum();
    EXPECT_EQ(m.StarSpectrum[400], 1.0);
    EXPECT_NEAR(m.StarSpectrum[0], 32 * std::expm1(0.0143 / 800e-9 / 3000) / std::expm1(0.0143 / 400e-9 / 3000), 1e-12);
    m.StarTemperature = 0;  // nothing to normalise by: zeros, no NaN
    m.BuildStarSpectrum();
    for (double x : m.StarSpectrum) EXPECT_EQ(x, 0.0);
}

TEST(SpectralModel, SensitivityFileGoodBadAndAbsent) {
    testutil::TempDir dir;
    DiffractionModel m;
    m.SensitivityFile = dir.File("s.csv");
    auto load = [&](const std::string& text) {
        testutil::WriteAll(m.SensitivityFile, text);
        m.LoadSpectralSensitivity();
    };
    auto flat = [&] {
        for (int k = 0; k <= 10; ++k)
            for (int i = 0; i <= 400; ++i)
                if (m.CcdSensitivity[k][i] != (k == 0 || i % 5 == 0 ? 1.0 : 0.0)) return false;
        return m.CcdNames[1].empty();
    };
    load(Csv(120));
    EXPECT_EQ(m.CcdNames[10], "Cam 10");
    for (int k = 1; k <= 10; ++k)
        for (int r = 0; r <= 80; ++r) EXPECT_DOUBLE_EQ(m.CcdSensitivity[k][5 * r], Linear(k, r) / 100);
    EXPECT_EQ(m.CcdSensitivity[0][7], 1.0);
    EXPECT_EQ(m.CcdSensitivity[3][7], 0.0);
    // One line short (ignored as a whole), empty, a folder, a missing file: flat, nothing of a good file kept.
    for (const std::string& bad : {Csv(119), std::string(), dir.Path(), dir.File("absent.csv")}) {
        load(Csv(120));
        if (bad.empty() || bad[0] != '/') testutil::WriteAll(m.SensitivityFile, bad);
        else m.SensitivityFile = bad;
        m.LoadSpectralSensitivity();
        EXPECT_TRUE(flat());
        m.SensitivityFile = dir.File("s.csv");
    }

    std::string t = Csv(120);
    auto row = [&](int n, const std::string& line) {
        size_t at = 0;
        for (int i = 0; i < n; ++i) at = t.find("\r\n", at) + 2;
        t.replace(at, t.find("\r\n", at) - at, line);
    };
    row(1, "402,10,10,10,10,10,10,10,10,10,10");  // wrong wavelength: all 1.0
    row(2, "405,,abc,7,,,,,,,");                   // empty -> 0, not a number -> 1.0
    row(3, "410,20");                              // short line: missing fields empty
    row(4, "x,30,30,30,30,30,30,30,30,30,30");     // keeps W = 410: mismatch
    row(5, " 420 ,1e999,-5,5E1,,,,,,,");           // too large is no number
    load(t);
    for (int k = 1; k <= 10; ++k)
        EXPECT_TRUE(m.CcdSensitivity[k][0] == 1 && m.CcdSensitivity[k][10] == (k == 1 ? 0.2 : 0) && m.CcdSensitivity[k][15] == 1);
    const double got[] = {m.CcdSensitivity[1][5], m.CcdSensitivity[2][5], m.CcdSensitivity[3][5], m.CcdSensitivity[4][5],
                          m.CcdSensitivity[1][20], m.CcdSensitivity[2][20], m.CcdSensitivity[3][20]};
    EXPECT_EQ(std::vector<double>(got, got + 7), (std::vector<double>{0, 1, 0.07, 0, 1, -0.05, 0.5}));
    EXPECT_DOUBLE_EQ(m.CcdSensitivity[1][25], Linear(1, 5) / 100);  // back in step
    t = Csv(120);
    row(1, "abc,10,10,10,10,10,10,10,10,10,10");  // nothing to keep: mismatch
    load(t);
    EXPECT_TRUE(m.CcdSensitivity[5][0] == 1 && m.CcdSensitivity[5][5] == Linear(5, 1) / 100);

    // Weights: star x air (x camera), summing to 1; an all-zero column is flat, not 0/0.
    load(Csv(120));
    auto ratio = [&](int ccd) {
        m.CcdIndex = ccd;
        m.BuildSpectralWeights();
        EXPECT_NEAR(std::accumulate(m.SpectralWeights.begin(), m.SpectralWeights.end(), 0.0), 1.0, 1e-12);
        return m.SpectralWeights[100] / m.SpectralWeights[300];
    };
    const double r0 = ratio(0);
    EXPECT_NEAR(r0, m.StarSpectrum[100] * m.AirTransparency[100] / (m.StarSpectrum[300] * m.AirTransparency[300]), 1e-12);
    EXPECT_NEAR(ratio(4), r0 * Linear(4, 20) / Linear(4, 60), 1e-12);
    EXPECT_NEAR(ratio(11), r0, 1e-12);  // off the table: column 0
    load(Csv(120, [](int k, int) { return k == 2 ? 0.0 : 50.0; }));
    ratio(2);
    for (int i = 0; i <= 400; i += 5) EXPECT_DOUBLE_EQ(m.SpectralWeights[i], 1.0 / 81);
}

// mpmath: sqrt(2 / (384,401 km x 500 nm)) x 700 m/s x 10000 steps; sum of the chord weights.
TEST(SpectralModel, ColourAndStarDiscIntensity) {
    DiffractionModel m;
    m.SensitivityFile = "/nonexistent/CCDSpectralSensitivity.csv";
    m.InitSpectralModel();
    m.BuildFresnelScales();
    EXPECT_NEAR(double(m.FresnelScale[100]), 714061.76865755254, 1e-8);
    EXPECT_NEAR(double(m.FresnelScale[400] / m.FresnelScale[0]), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(double(m.SpectralIntensity(0)), 0.250050005, 1e-14);  // every colour at the edge
    EXPECT_NEAR(double(m.SpectralIntensity(100)), 1.0, 1e-15);
    EXPECT_EQ(m.SpectralIntensity(-100), 0.0L);
    long double best = 0;  // colours wash out the fringes: below the monochromatic 1.3704
    for (int i = 0; i < 400; ++i) best = std::max(best, m.SpectralIntensity(i * 0.0001L));
    EXPECT_TRUE(best > 1.2L && best < 1.3704L);
    m.StarDiscStep = 1.0L;  // 1/1000 time unit per strip
    EXPECT_EQ(m.StarDiscIntensity(0.01L), m.SpectralIntensity(0.01L));  // mode off
    m.StarDiameterMode = 1;
    EXPECT_NEAR(double(m.StarDiscIntensity(100)), 0.99894189258193756356, 1e-15);
    EXPECT_EQ(m.StarDiscIntensity(-100), 0.0L);
    m.FresnelScale.fill(0);  // sharp edge: strips k > 0 lit, the centre strip at the edge
    for (int i = 0; i <= 400; i += 5) m.FresnelScale[i] = 1e15L;
    EXPECT_NEAR(double(m.StarDiscIntensity(0)), 0.49310474856729296835 + 0.012732395447351626862 * 0.250050005, 1e-14);
    const double theta = 2 * std::acos(0.5);  // edge at half the radius: segment (theta - sin theta) / 2pi
    EXPECT_NEAR(double(m.StarDiscIntensity(-0.025L)), (theta - std::sin(theta)) / (2 * M_PI), 5e-3);
    m.StarDiscRadius = 0;  // no disc: the point star, not 0/0
    EXPECT_EQ(m.StarDiscIntensity(0.01L), m.SpectralIntensity(0.01L));
    for (auto [distance, velocity] : {std::pair<int64_t, long double>{0, 700}, {-5, 700}, {384401000, 0}}) {
        m.ObjectDistance = distance, m.ShadowVelocityPerInterval = velocity;  // no motion: flat curve
        m.BuildFresnelScales();
        EXPECT_TRUE(m.SpectralIntensity(-3) == m.SpectralIntensity(0) && m.SpectralIntensity(3) == m.SpectralIntensity(0));
    }
}
