#pragma once
// The object's velocity calculator: shadow velocity and distance from the
// quantities of an occultation prediction, for the diffraction model.
//
// Every function takes the edit texts as the user left them, cleans each input
// with SanitizeNumericText (the cleaned text is written back, as the window shows
// it) and returns the result edit's text. Results are whole numbers; a result too
// large for a whole number (only from absurd inputs such as a parallax of 1e-30)
// gives an empty result rather than a saturated figure. Pure functions, any thread.
#include <optional>
#include <string>

namespace velocity {

// Lunar radius used to turn degrees per minute into metres per second.
constexpr double kLunarRadiusM = 1738000.0;
constexpr double kEarthRadiusKm = 6378.137;

// Horizontal scale factor (deg/min) to the lunar velocity in m/s, rounded half to
// even.
std::string CalcLunarVelocity(std::string& scaleFactor);
// Diameter (km) and maximum duration (s) to the asteroid velocity in m/s, halves
// to even. A 0 in either input becomes "1".
std::string CalcAsteroidVelocity(std::string& diameter, std::string& duration);
// Parallax (arcsec) to the distance in km, halves to even; a parallax of 0 has no
// distance: empty.
std::string CalcDistanceFromParallax(std::string& parallax);

// What the shadow-velocity group writes.
struct MotionResult {
    std::string edit10;       // shadow velocity, m/s, halves away from zero
    std::string distanceKm;   // Edit9 as cleaned, for the panel's distance edit
    double angle = 0;         // contact angle folded into 0..90, for the panel
    std::string angleText;    // the same with 1 decimal
};
// Relative motion (arcsec/s), lunar distance (km, whole, 350000..420000) and
// contact angle (degrees, below 1000). Nothing (empty) when an input is out of
// range. The angle is taken modulo 360, then an angle above 180 becomes
// 360 - angle; a cosine below 1e-12 counts as 0 and gives 700 m/s.
std::optional<MotionResult> WriteVelocityFromMotion(std::string& motion, std::string& distance,
                                                    std::string& angle);

}  // namespace velocity
