#include "graph/velocity_calc.h"

#include <cmath>
#include <numbers>

#include "measure/measure_state.h"
#include "platform/numtext.h"

namespace velocity {

namespace {

constexpr double kPi = std::numbers::pi;
// Beyond this a double no longer holds every whole number, and the integer
// result would saturate.
constexpr double kLargestWhole = 9.0e18;

double Cleaned(std::string& text) {
    SanitizeNumericText(text);
    return numtext::ParseFloat(text).value_or(0.0);
}

std::string WholeText(double v, bool halfAway) {
    if (!std::isfinite(v) || std::fabs(v) >= kLargestWhole) return {};
    return std::to_string(halfAway ? numtext::RoundHalfAway(v) : numtext::RoundHalfEven(v));
}

}  // namespace

std::string CalcLunarVelocity(std::string& scaleFactor) {
    const double f = Cleaned(scaleFactor);
    return WholeText(f / 60 * kLunarRadiusM * kPi / 180, false);
}

std::string CalcAsteroidVelocity(std::string& diameter, std::string& duration) {
    double d = Cleaned(diameter), t = Cleaned(duration);
    if (d == 0) {
        d = 1;
        diameter = "1";
    }
    if (t == 0) {
        t = 1;
        duration = "1";
    }
    return WholeText(d / t * 1000, false);
}

std::string CalcDistanceFromParallax(std::string& parallax) {
    const double p = Cleaned(parallax);
    if (p == 0) return {};
    return WholeText(kEarthRadiusKm / (p * kPi / 180 / 3600), false);
}

std::optional<MotionResult> WriteVelocityFromMotion(std::string& motion, std::string& distance, std::string& angle) {
    SanitizeNumericText(motion);
    SanitizeNumericText(distance);
    SanitizeNumericText(angle);
    const double m = numtext::ParseFloat(motion).value_or(-1);
    if (!(m > 0)) return std::nullopt;
    const int64_t d = numtext::ParseInt(distance).value_or(-1);
    if (d < 350000 || d > 420000) return std::nullopt;
    double c = std::fabs(numtext::ParseFloat(angle).value_or(1000));
    if (!(c < 1000)) return std::nullopt;
    // Whole turns first: |360 - c| alone leaves 540..999 past 180, and the panel
    // would get an angle outside 0..90.
    c = std::fmod(c, 360.0);
    if (c > 180) c = 360 - c;
    double k = std::fabs(std::cos(c * kPi / 180));
    // cos(90 deg) is 6e-17 in floating point, not 0.
    if (k < 1e-12) k = 0;
    const double v = k == 0 ? 700.0 : m * static_cast<double>(d) * 1000 * kPi / (k * 180 * 3600);
    MotionResult r;
    r.edit10 = WholeText(v, true);
    if (r.edit10.empty()) return std::nullopt;
    r.distanceKm = distance;
    r.angle = c > 90 ? 180 - c : c;
    r.angleText = numtext::FormatFixed(r.angle, 15, 1);
    return r;
}

}  // namespace velocity
