#include "graph/spectral_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "support/test_util.h"

using diffraction::DiffractionModel;

namespace {
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

TEST(SpectralModel, AirSplineStarPlanckAndDump) {
    DiffractionModel m;
    m.BuildAirTransparency();
    // Through the knots to 650 nm, then the 600-650 nm cubic extrapolated.
    const std::pair<int, double> air[] = {{400, 0.63}, {450, 0.73}, {550, 0.82}, {650, 0.88}, {700, 0.9155}, {750, 0.932}, {800, 0.915}};
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
    for (const std::string& bad : {Csv(119), std::string()}) {  // one line short: ignored as a whole
        load(bad);
        EXPECT_TRUE(flat());
    }
    m.SensitivityFile = dir.Path();  // a folder
    m.LoadSpectralSensitivity();
    EXPECT_TRUE(flat());
    m.SensitivityFile = dir.File("s.csv");

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
