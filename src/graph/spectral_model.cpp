#include "graph/spectral_model.h"

#include <cmath>
#include <numbers>

#include "graph/fresnel.h"
#include "measure/results_table.h"
#include "platform/file_io.h"
#include "platform/numtext.h"

namespace diffraction {

DiffractionModel Model;

namespace {

// Built-in air-transparency knots: wavelength in nm and transmission. Only the
// knots up to 700 nm take part; the rest are kept for reference.
constexpr int kKnotCount = 18;
constexpr long double kKnotNm[kKnotCount] = {340, 360, 380, 400, 450, 500, 550, 600, 650,
                                             700, 800, 900, 1000, 1200, 1400, 1600, 1800, 2000};
constexpr long double kKnotValue[kKnotCount] = {0.49,  0.51,  0.58,  0.63,  0.73,  0.79,
                                                0.82,  0.84,  0.88,  0.911, 0.939, 0.953,
                                                0.962, 0.972, 0.979, 0.983, 0.985, 0.987};
// Wavelengths above this knot (650 nm) use its segment's cubic, extrapolated.
constexpr int kLastSegmentKnot = 8;

// The sensitivity file is a few kilobytes; anything far larger is not one.
constexpr size_t kSensitivityFileLimit = size_t{4} << 20;

// Intensity at table index position v = scale x t, with the table pointers
// fetched once by the caller.
inline long double IntensityAt(long double v, const long double* c, const long double* s) {
    if (std::isnan(v)) return 1.0L;
    // Range check before the conversion: beyond +-(last + 1) the rounded index
    // is off the table whatever the rounding.
    if (v > fresnel::kFresnelLast + 1) return 1.0L;
    if (v < -(fresnel::kFresnelLast + 1)) return 0.0L;
    const long long n = llrintl(v);  // halves to even
    if (n > fresnel::kFresnelLast) return 1.0L;
    if (n < -fresnel::kFresnelLast) return 0.0L;
    long double C, S;
    if (n >= 0) {
        C = c[n];
        S = s[n];
    } else {
        C = -c[-n];
        S = -s[-n];
    }
    return ((C + 0.5L) * (C + 0.5L) + (S + 0.5L) * (S + 0.5L)) * 0.5L;
}

}  // namespace

std::string DefaultSensitivityFile() { return fileio::ExecutableFolder() + kSensitivityFileName; }

double AirTransparencyAt(int lambda, int* segment) {
    int j = 0;
    while (j < kLastSegmentKnot && kKnotNm[j] < lambda) ++j;
    // Below the third knot there is no cubic; the model never asks for one.
    if (j < 2) j = 2;
    if (segment) *segment = j;
    const long double x0 = kKnotNm[j - 2], x1 = kKnotNm[j - 1], x2 = kKnotNm[j], x3 = kKnotNm[j + 1];
    const long double y0 = kKnotValue[j - 2], y1 = kKnotValue[j - 1], y2 = kKnotValue[j], y3 = kKnotValue[j + 1];
    const long double h0 = x1 - x0, h1 = x2 - x1, h2 = x3 - x2;
    const long double d0 = (y1 - y0) / h0, d1 = (y2 - y1) / h1, d2 = (y3 - y2) / h2;
    const long double m1 = (d1 - d0) / (x2 - x0), m2 = (d2 - d1) / (x3 - x1);
    const long double l = lambda;
    const long double a = x2 - l, b = l - x1;
    const long double value = a * a * a * m1 / (6 * h1) + b * b * b * m2 / (6 * h1) + (y1 / h1 - h1 * m1 / 6) * a +
                              (y2 / h1 - h1 * m2 / 6) * b;
    return static_cast<double>(value);
}

std::vector<std::string> DumpAirTransparency() {
    std::vector<std::string> lines;
    lines.reserve(kSpectralLines);
    for (int lambda = kFirstWavelength; lambda <= kLastWavelength; lambda += kWavelengthStep) {
        int j = 0;
        const double v = AirTransparencyAt(lambda, &j);
        lines.push_back(std::to_string(j) + "," + std::to_string(lambda) + "," + numtext::FormatFixed(v, 3, 2));
    }
    return lines;
}

void DiffractionModel::BuildAirTransparency() {
    for (int lambda = kFirstWavelength; lambda <= kLastWavelength; lambda += kWavelengthStep)
        AirTransparency[lambda - kFirstWavelength] = AirTransparencyAt(lambda);
}

void DiffractionModel::BuildStarSpectrum() {
    const long double T = StarTemperature;
    for (int r = 0; r < kSpectralLines; ++r) {
        const long double lambda = kFirstWavelength + kWavelengthStep * r;
        const long double x = 0.0143L / lambda / (T * 0.00001L) / 0.0001L;
        const long double b = (1e29L * 3.7427L / powl(lambda, 5)) / (expl(x) - 1) * 1e-12L;
        StarSpectrum[kWavelengthStep * r] = static_cast<double>(b);
    }
    double largest = 0;
    for (int r = 0; r < kSpectralLines; ++r) largest = std::max(largest, StarSpectrum[kWavelengthStep * r]);
    // A temperature of 0 K or less has no positive value to normalise by.
    if (largest > 0 && std::isfinite(largest))
        for (double& v : StarSpectrum) v /= largest;
}

void DiffractionModel::LoadSpectralSensitivity() {
    const std::string path = SensitivityFile.empty() ? DefaultSensitivityFile() : SensitivityFile;
    std::vector<std::string> lines;
    {
        std::string text, error;
        if (fileio::FileExists(path) && fileio::ReadFile(path, text, error, kSensitivityFileLimit))
            lines = fileio::SplitLines(text);
    }
    const bool usable = lines.size() >= static_cast<size_t>(kSensitivityMinLines);

    CcdSensitivity[0].fill(1.0);
    for (int k = 1; k < kCcdColumns; ++k) CcdSensitivity[k].fill(0.0);
    for (auto& name : CcdNames) name.clear();

    if (!usable) {
        for (int k = 1; k < kCcdColumns; ++k)
            for (int r = 0; r < kSpectralLines; ++r) CcdSensitivity[k][kWavelengthStep * r] = 1.0;
        return;
    }

    for (int k = 1; k < kCcdColumns; ++k) CcdNames[k] = StripQuotes(GetField(lines[0], k + 1));

    // A wavelength field that is no integer keeps the previous row's; none yet on
    // the first row, which then never matches.
    int64_t w = -1;
    for (int r = 0; r < kSpectralLines; ++r) {
        const std::string& line = lines[r + 1];
        if (auto parsed = numtext::ParseInt(GetField(line, 1))) w = *parsed;
        const int index = kWavelengthStep * r;
        const bool matches = w == kFirstWavelength + index;
        for (int k = 1; k < kCcdColumns; ++k) {
            if (!matches) {
                CcdSensitivity[k][index] = 1.0;
                continue;
            }
            const std::string f = GetField(line, k + 1);
            if (f.empty()) continue;
            const auto v = numtext::ParseFloat(f);
            CcdSensitivity[k][index] = v ? *v / 100.0 : 1.0;
        }
    }
}

void DiffractionModel::BuildSpectralWeights() {
    BuildAirTransparency();
    BuildStarSpectrum();
    LoadSpectralSensitivity();
    SpectralWeights.fill(0.0);
    const int column = CcdIndex >= 0 && CcdIndex < kCcdColumns ? CcdIndex : 0;
    long double sum = 0;
    for (int r = 0; r < kSpectralLines; ++r) {
        const int i = kWavelengthStep * r;
        const double w = StarSpectrum[i] * AirTransparency[i] * CcdSensitivity[column][i];
        SpectralWeights[i] = w;
        sum += w;
    }
    if (sum == 0 || !std::isfinite(sum)) {
        // Nothing to weight by (an all-zero camera column): every wavelength alike.
        for (int r = 0; r < kSpectralLines; ++r) SpectralWeights[kWavelengthStep * r] = 1.0 / kSpectralLines;
        return;
    }
    for (int r = 0; r < kSpectralLines; ++r) SpectralWeights[kWavelengthStep * r] /= sum;
}

void DiffractionModel::InitSpectralModel() {
    LoadSpectralSensitivity();
    BuildSpectralWeights();
}

void DiffractionModel::BuildFresnelScales() {
    FresnelScale.fill(0.0L);
    if (ObjectDistance <= 0) return;
    for (int lambda = kFirstWavelength; lambda <= kLastWavelength; lambda += kWavelengthStep) {
        const long double scale =
            sqrtl(2.0L / (ObjectDistance / 1e9L * lambda)) * ShadowVelocityPerInterval * 10000.0L;
        FresnelScale[lambda - kFirstWavelength] = std::isfinite(scale) ? scale : 0.0L;
    }
}

long double DiffractionModel::DiffractionIntensity(long double t, int lambda) const {
    const long double scale =
        lambda >= kFirstWavelength && lambda <= kLastWavelength ? FresnelScale[lambda - kFirstWavelength] : 0.0L;
    return IntensityAt(scale * t, fresnel::FresnelC(), fresnel::FresnelS());
}

long double DiffractionModel::SpectralIntensity(long double t) const {
    const long double* c = fresnel::FresnelC();
    const long double* s = fresnel::FresnelS();
    long double sum = 0;
    for (int r = 0; r < kSpectralLines; ++r) {
        const int i = kWavelengthStep * r;
        sum += IntensityAt(FresnelScale[i] * t, c, s) * SpectralWeights[i];
    }
    return sum;
}

long double DiffractionModel::StarDiscIntensity(long double t) const {
    const int R = StarDiscRadius;
    // A radius of 0 would divide by a disc of no area.
    if (!StarDiameterMode || R <= 0) return SpectralIntensity(t);
    const long double r2 = static_cast<long double>(R) * R;
    const long double area = r2 * std::numbers::pi_v<long double>;
    long double sum = 0;
    for (int k = -R; k <= R; ++k)
        sum += sqrtl(r2 - static_cast<long double>(k) * k) * 2 * SpectralIntensity(t + k * StarDiscStep / 1000) / area;
    return sum;
}

}  // namespace diffraction
