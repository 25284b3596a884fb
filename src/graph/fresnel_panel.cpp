#include "graph/fresnel_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "measure/measure_state.h"
#include "platform/numtext.h"

namespace fresnelpanel {

const std::array<SpectralType, kSpectralTypeCount> kSpectralTypes = {{
    {"O5", 42000}, {"O9", 34000}, {"B0", 30000}, {"B2", 20900}, {"B5", 15200}, {"B8", 11400}, {"A0", 9790},
    {"A2", 9000},  {"A5", 8180},  {"A8", 7600},  {"F0", 7300},  {"F2", 7000},  {"F5", 6650},  {"F8", 6250},
    {"G0", 5940},  {"G2", 5790},  {"G5", 5560},  {"G8", 5310},  {"K0", 5150},  {"K2", 4830},  {"K5", 4410},
    {"K8", 4050},  {"M0", 3840},  {"M2", 3520},  {"M5", 3170},  {"M8", 2500},
}};

namespace {

// The cleaned number of an edit's text (0 when nothing is left of it).
double Cleaned(const std::string& text) {
    std::string t = text;
    SanitizeNumericText(t);
    const auto v = numtext::ParseFloat(t);
    return v && std::isfinite(*v) ? *v : 0.0;
}

}  // namespace

std::string NormaliseSpectralType(const std::string& text) {
    if (text.size() != 2) return "F5";
    std::string t = text;
    switch (t[1]) {
        case '1': t[1] = '0'; break;
        case '3': t[1] = '2'; break;
        case '4':
        case '6': t[1] = '5'; break;
        case '7': t[1] = '8'; break;
        default: break;
    }
    return t;
}

int SpectralTypeIndex(const std::string& name) {
    for (int i = 0; i < kSpectralTypeCount; ++i)
        if (name == kSpectralTypes[static_cast<size_t>(i)].name) return i;
    return -1;
}

int SpectralTypeTemperature(int index) {
    if (index < 0 || index >= kSpectralTypeCount) return 6000;
    const int k = kSpectralTypes[static_cast<size_t>(index)].kelvin;
    return k == 0 ? 6000 : k;
}

std::string BVText(int kelvin) { return numtext::FormatFixed(9000.0 / kelvin - 0.85, 15, 3); }

BVInput ReadBV(const std::string& text) {
    BVInput in;
    if (text.empty()) return in;
    if (const auto v = numtext::ParseFloat(text); v && std::isfinite(*v)) {
        in.bv = *v;
        return in;
    }
    if (text == "-" || text == "-0" || text == "-0.") {
        in.bv = 0;
        return in;
    }
    in.resetText = true;
    return in;
}

std::optional<int> TemperatureFromBV(double bv) {
    // At -0.85 the temperature is infinite, below it negative.
    if (!(bv > -0.85)) return std::nullopt;
    const double t = 9000.0 / (bv + 0.85);
    if (!(t < std::numeric_limits<int>::max())) return std::nullopt;
    return static_cast<int>(numtext::RoundHalfAway(t));
}

int NearestSpectralType(int kelvin) {
    int best = -1;
    int64_t bestDiff = 1000000;
    for (int i = 0; i < kSpectralTypeCount; ++i) {
        const int64_t d = std::llabs(int64_t{kSpectralTypes[static_cast<size_t>(i)].kelvin} - kelvin);
        if (d < bestDiff) best = i, bestDiff = d;
    }
    return best;
}

bool BVKeyAccepted(char c) {
    return c == 8 || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 37 || c == 39;
}

int64_t DistanceKm(const std::string& text) {
    // 64-bit metres hold up to about 9.2e15 km.
    constexpr double kMaxKm = 9.2e15;
    const double km = std::min(Cleaned(text), kMaxKm);
    return std::max<int64_t>(350000, numtext::RoundHalfEven(km));
}

double Velocity(const std::string& text) { return Cleaned(text); }

std::string AngleText(const std::string& text) {
    std::string t = text;
    SanitizeNumericText(t);
    const auto v = numtext::ParseFloat(t);
    if (v && *v >= 90) return "90";
    return t;
}

double StarDiameter(const std::string& text) { return std::min(Cleaned(text), 50.0); }

int StepHeightFromText(const std::string& text) {
    const auto v = numtext::ParseFloat(text);
    const double x = v && std::isfinite(*v) ? std::min(std::fabs(*v), 1e6) * 10 : 0.0;
    return static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfEven(x), 0, 1000));
}

int TimeDiffFromText(const std::string& text) {
    const auto v = numtext::ParseFloat(text);
    const double x = v && std::isfinite(*v) ? std::min(std::fabs(*v), 1000.0) : 0.0;
    return static_cast<int>(numtext::RoundHalfEven(x));
}

HeightSteps StepTenths(int percent, int lastTenths, int tenths) {
    if (percent >= 100) return {percent, 0};
    if (percent <= 0 && lastTenths == 0 && tenths == 9) return {percent, 0};
    if (lastTenths == 9 && tenths == 0 && percent < 99) ++percent;
    else if (lastTenths == 0 && tenths == 9 && percent > 0) --percent;
    return {percent, tenths};
}

}  // namespace fresnelpanel
