#include "graph/spectral_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "support/test_util.h"

using diffraction::DiffractionModel;

namespace {

// Entries 400, 405, ..., 800 nm of a wavelength array.
std::vector<double> Lines(const diffraction::WavelengthArray& a) {
    std::vector<double> v;
    for (int i = 0; i <= 400; i += 5) v.push_back(a[i]);
    return v;
}

double Sum(const diffraction::WavelengthArray& a) { return std::accumulate(a.begin(), a.end(), 0.0); }

// A sensitivity file: a header of quoted names, 81 rows whose camera k reads
// `percent(k, r)`, padded with filler lines to `total` lines.
std::string SensitivityCsv(int total, double (*percent)(int k, int r)) {
    std::string text = "\"nm\"";
    for (int k = 1; k <= 10; ++k) text += ",\"Cam " + std::to_string(k) + "\"";
    text += "\r\n";
    for (int r = 0; r <= 80; ++r) {
        text += std::to_string(400 + 5 * r);
        for (int k = 1; k <= 10; ++k) {
            char buf[32];
            std::snprintf(buf, sizeof buf, ",%g", percent(k, r));
            text += buf;
        }
        text += "\r\n";
    }
    for (int i = 82; i < total; ++i) text += "\r\n";
    return text;
}

double Linear(int k, int r) { return k * 10 + r * 0.5; }

class Sensitivity : public ::testing::Test {
protected:
    void Load(const std::string& text) {
        testutil::WriteAll(dir.File("CCDSpectralSensitivity.csv"), text);
        model.SensitivityFile = dir.File("CCDSpectralSensitivity.csv");
        model.LoadSpectralSensitivity();
    }
    void ExpectFlat() {
        for (int k = 0; k <= 10; ++k)
            for (int i = 0; i <= 400; ++i) EXPECT_EQ(model.CcdSensitivity[k][i], k == 0 || i % 5 == 0 ? 1.0 : 0.0);
        for (int k = 1; k <= 10; ++k) EXPECT_EQ(model.CcdNames[k], "");
    }
    testutil::TempDir dir;
    DiffractionModel model;
};

}  // namespace

TEST(AirTransparency, SplineValuesAndDump) {
    DiffractionModel m;
    m.BuildAirTransparency();
    // Through the knots up to 650 nm, then the 600-650 nm cubic extrapolated.
    const std::pair<int, double> knots[] = {{400, 0.63}, {450, 0.73}, {500, 0.79}, {550, 0.82}, {600, 0.84}, {650, 0.88}};
    for (auto [nm, v] : knots) EXPECT_NEAR(m.AirTransparency[nm - 400], v, 1e-12) << nm;
    EXPECT_NEAR(m.AirTransparency[300], 0.9155, 1e-9);
    EXPECT_NEAR(m.AirTransparency[350], 0.932, 1e-9);
    EXPECT_NEAR(m.AirTransparency[400], 0.915, 1e-9);
    const auto lines = Lines(m.AirTransparency);
    EXPECT_NEAR(*std::max_element(lines.begin(), lines.end()), 0.932, 1e-4);
    EXPECT_EQ(m.AirTransparency[1], 0.0);

    const auto dump = diffraction::DumpAirTransparency();
    ASSERT_EQ(dump.size(), 81u);
    EXPECT_EQ(dump[0], "3,400,0.63");
    EXPECT_EQ(dump[1], "4,405,0.64");
    EXPECT_EQ(dump[10], "4,450,0.73");
    EXPECT_EQ(dump[11], "5,455,0.74");
    EXPECT_EQ(dump[50], "8,650,0.88");
    EXPECT_EQ(dump[60], "8,700,0.92");
    EXPECT_EQ(dump[80], "8,800,0.92");
}

TEST(StarSpectrum, PlanckPeakAndNormalisation) {
    DiffractionModel m;
    m.BuildStarSpectrum();
    auto v = Lines(m.StarSpectrum);
    auto peak = std::max_element(v.begin(), v.end()) - v.begin();
    EXPECT_EQ(*std::max_element(v.begin(), v.end()), 1.0);
    // Wien: 0.0143 m K / (4.9651 x 6650 K) = 433.1 nm.
    EXPECT_NEAR(400 + 5 * peak, 433.1, 2.5);
    EXPECT_EQ(m.StarSpectrum[2], 0.0);

    m.StarTemperature = 3000;  // peak near 960 nm: rising all the way to 800 nm
    m.BuildStarSpectrum();
    v = Lines(m.StarSpectrum);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    EXPECT_EQ(v.back(), 1.0);

    // Planck's ratio between two wavelengths with c2 = 0.0143 m K, at 3000 K.
    const double x400 = 0.0143 / 400e-9 / 3000, x800 = 0.0143 / 800e-9 / 3000;
    EXPECT_NEAR(v.front(), std::pow(2.0, 5) * std::expm1(x800) / std::expm1(x400), 1e-12);

    // No temperature: nothing to normalise by, and no NaN.
    m.StarTemperature = 0;
    m.BuildStarSpectrum();
    for (double x : m.StarSpectrum) EXPECT_EQ(x, 0.0);
}

TEST_F(Sensitivity, UsableFile) {
    Load(SensitivityCsv(120, Linear));
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(model.CcdNames[k], "Cam " + std::to_string(k));
    EXPECT_EQ(model.CcdNames[0], "");
    for (int k = 1; k <= 10; ++k)
        for (int r = 0; r <= 80; ++r) EXPECT_DOUBLE_EQ(model.CcdSensitivity[k][5 * r], Linear(k, r) / 100) << k << "," << r;
    for (int i = 0; i <= 400; ++i) EXPECT_EQ(model.CcdSensitivity[0][i], 1.0);
    EXPECT_EQ(model.CcdSensitivity[3][7], 0.0);
}

TEST_F(Sensitivity, MissingShortOrUnreadableFileIsFlat) {
    Load(SensitivityCsv(120, Linear));
    model.SensitivityFile = dir.File("absent.csv");
    model.LoadSpectralSensitivity();
    ExpectFlat();
    Load(SensitivityCsv(119, Linear));  // one line short: ignored as a whole
    ExpectFlat();
    Load("");
    ExpectFlat();
    model.SensitivityFile = dir.Path();  // a folder, not a file
    model.LoadSpectralSensitivity();
    ExpectFlat();
}

TEST_F(Sensitivity, BadRowsAndFields) {
    std::string text = SensitivityCsv(120, Linear);
    auto replaceLine = [&](int n, const std::string& line) {
        size_t start = 0;
        for (int i = 0; i < n; ++i) start = text.find("\r\n", start) + 2;
        text.replace(start, text.find("\r\n", start) - start, line);
    };
    replaceLine(1, "402,10,10,10,10,10,10,10,10,10,10");    // wrong wavelength: all 1.0
    replaceLine(2, "405,,abc,7,,,,,,,");                     // empty -> 0, not a number -> 1.0
    replaceLine(3, "410,20");                                 // short line: missing fields empty
    replaceLine(4, "x,30,30,30,30,30,30,30,30,30,30");       // keeps W = 410: mismatch
    replaceLine(5, " 420 ,1e999,-5,5E1,,,,,,,");              // too large is no number
    Load(text);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_EQ(model.CcdSensitivity[k][0], 1.0) << k;
        EXPECT_EQ(model.CcdSensitivity[k][10], k == 1 ? 0.2 : 0.0) << k;
        EXPECT_EQ(model.CcdSensitivity[k][15], 1.0) << k;
    }
    EXPECT_EQ(model.CcdSensitivity[1][5], 0.0);
    EXPECT_EQ(model.CcdSensitivity[2][5], 1.0);
    EXPECT_EQ(model.CcdSensitivity[3][5], 0.07);
    EXPECT_EQ(model.CcdSensitivity[4][5], 0.0);
    EXPECT_EQ(model.CcdSensitivity[1][20], 1.0);
    EXPECT_EQ(model.CcdSensitivity[2][20], -0.05);
    EXPECT_EQ(model.CcdSensitivity[3][20], 0.5);
    EXPECT_DOUBLE_EQ(model.CcdSensitivity[1][25], Linear(1, 5) / 100);  // back in step

    // A first row whose wavelength is no integer has nothing to keep: mismatch.
    text = SensitivityCsv(120, Linear);
    replaceLine(1, "abc,10,10,10,10,10,10,10,10,10,10");
    Load(text);
    EXPECT_EQ(model.CcdSensitivity[5][0], 1.0);
    EXPECT_DOUBLE_EQ(model.CcdSensitivity[5][5], Linear(5, 1) / 100);
}

TEST_F(Sensitivity, SpectralWeights) {
    Load(SensitivityCsv(120, Linear));
    // Column 0: star and air alone.
    model.BuildSpectralWeights();
    EXPECT_NEAR(Sum(model.SpectralWeights), 1.0, 1e-12);
    const double ratio = model.SpectralWeights[100] / model.SpectralWeights[300];
    EXPECT_NEAR(ratio, model.StarSpectrum[100] * model.AirTransparency[100] /
                           (model.StarSpectrum[300] * model.AirTransparency[300]), 1e-12);
    EXPECT_EQ(model.SpectralWeights[101], 0.0);

    model.CcdIndex = 4;
    model.BuildSpectralWeights();
    EXPECT_NEAR(Sum(model.SpectralWeights), 1.0, 1e-12);
    EXPECT_NEAR(model.SpectralWeights[100] / model.SpectralWeights[300],
                ratio * Linear(4, 20) / Linear(4, 60), 1e-12);

    // An all-zero camera column: flat weights instead of 0/0.
    Load(SensitivityCsv(120, [](int k, int r) { return k == 2 ? 0.0 : 50.0; }));
    model.CcdIndex = 2;
    model.BuildSpectralWeights();
    for (double w : Lines(model.SpectralWeights)) EXPECT_DOUBLE_EQ(w, 1.0 / 81);

    // A camera index off the table reads column 0.
    model.CcdIndex = 11;
    model.BuildSpectralWeights();
    EXPECT_NEAR(model.SpectralWeights[100] / model.SpectralWeights[300], ratio, 1e-12);
}

TEST(SpectralIntensity, ScalesAndWeightedSum) {
    DiffractionModel m;
    m.SensitivityFile = "/nonexistent/CCDSpectralSensitivity.csv";
    m.InitSpectralModel();
    m.BuildFresnelScales();
    // sqrt(2 / (384,401 km x 500 nm)) x 700 m/s x 10000 table steps (mpmath).
    EXPECT_NEAR(static_cast<double>(m.FresnelScale[100]), 714061.76865755254, 1e-8);
    EXPECT_NEAR(static_cast<double>(m.FresnelScale[400] / m.FresnelScale[0]), std::sqrt(0.5), 1e-15);
    EXPECT_EQ(m.FresnelScale[1], 0.0L);

    // Every wavelength sits at the edge at t = 0 and the weights sum to 1.
    EXPECT_NEAR(static_cast<double>(m.SpectralIntensity(0)), 0.250050005, 1e-14);
    EXPECT_NEAR(static_cast<double>(m.SpectralIntensity(100)), 1.0, 1e-15);
    EXPECT_EQ(m.SpectralIntensity(-100), 0.0L);
    long double manual = 0;
    for (int nm = 400; nm <= 800; nm += 5) manual += m.DiffractionIntensity(0.0123L, nm) * m.SpectralWeights[nm - 400];
    EXPECT_EQ(m.SpectralIntensity(0.0123L), manual);
    // Colours wash out the fringes: the first maximum is lower than monochromatic.
    long double best = 0;
    for (int i = 0; i < 400; ++i) best = std::max(best, m.SpectralIntensity(i * 0.0001L));
    EXPECT_GT(best, 1.2L);
    EXPECT_LT(best, 1.3704L);

    // No distance or no velocity: the curve does not change with time.
    for (auto [distance, velocity] : {std::pair<int64_t, long double>{0, 700}, {-5, 700}, {384401000, 0}}) {
        m.ObjectDistance = distance;
        m.ShadowVelocityPerInterval = velocity;
        m.BuildFresnelScales();
        EXPECT_EQ(m.SpectralIntensity(-3), m.SpectralIntensity(0));
        EXPECT_EQ(m.SpectralIntensity(3), m.SpectralIntensity(0));
    }
}

TEST(StarDisc, ChordWeights) {
    DiffractionModel m;
    m.SensitivityFile = "/nonexistent/CCDSpectralSensitivity.csv";
    m.InitSpectralModel();
    m.BuildFresnelScales();
    m.StarDiscStep = 1.0L;  // 1/1000 time unit per strip
    EXPECT_EQ(m.StarDiscIntensity(0.01L), m.SpectralIntensity(0.01L));  // mode off

    m.StarDiameterMode = 1;
    // Far on the lit side every strip is 1: the sum of the chord weights (mpmath).
    EXPECT_NEAR(static_cast<double>(m.StarDiscIntensity(100)), 0.99894189258193756356, 1e-15);
    EXPECT_EQ(m.StarDiscIntensity(-100), 0.0L);

    // A sharp edge (huge scale): at t = 0 the strips k > 0 are lit and the
    // centre strip sits at the edge.
    m.FresnelScale.fill(0);
    for (int i = 0; i <= 400; i += 5) m.FresnelScale[i] = 1e15L;
    EXPECT_NEAR(static_cast<double>(m.StarDiscIntensity(0)),
                0.49310474856729296835 + 0.012732395447351626862 * 0.250050005, 1e-14);
    // Edge at half the disc radius: the lit segment is (theta - sin theta) / 2pi
    // of the disc, theta = 2 acos(1/2).
    const double theta = 2 * std::acos(0.5);
    EXPECT_NEAR(static_cast<double>(m.StarDiscIntensity(-0.025L)), (theta - std::sin(theta)) / (2 * M_PI), 5e-3);

    m.StarDiscRadius = 0;  // no disc: the point star, not 0/0
    EXPECT_EQ(m.StarDiscIntensity(0.01L), m.SpectralIntensity(0.01L));
}
