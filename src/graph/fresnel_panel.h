#pragma once
// The Fresnel panel's rules that do not need the window: spectral types and B-V,
// the cleaning and clamping of the typed parameters, and the step height held as
// percent and tenths. The window (FresnelCtrl1) reads its controls, calls these
// and writes the results back.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace fresnelpanel {

constexpr int kSpectralTypeCount = 26;
struct SpectralType {
    const char* name;
    int kelvin;
};
// The items of ComboBox1 in order, with their temperatures.
extern const std::array<SpectralType, kSpectralTypeCount> kSpectralTypes;

// The type a stored two-character text selects: digit 1 -> 0, 3 -> 2, 4 and 6 ->
// 5, 7 -> 8; anything but two characters gives "F5".
std::string NormaliseSpectralType(const std::string& text);
// Index of the item equal to `name`, -1 when none.
int SpectralTypeIndex(const std::string& name);
// SpectralTypeToBV: the temperature of item `index` (6000 for an index without
// one) and the B-V text 9000 / T - 0.85 with 3 decimals.
int SpectralTypeTemperature(int index);
std::string BVText(int kelvin);

// Edit28 after a change: the B-V value, and the text to put back when the edit
// must be reset ("0.38"). An empty text counts as 0.38; "-", "-0" and "-0."
// count as 0.
struct BVInput {
    double bv = 0.38;
    bool resetText = false;
};
BVInput ReadBV(const std::string& text);
// RoundHalfAway(9000 / (bv + 0.85)); empty for B-V of -0.85 or below (no
// meaningful temperature) or a temperature beyond the integer range.
std::optional<int> TemperatureFromBV(double bv);
// The type whose temperature is nearest (the earlier on equal differences).
int NearestSpectralType(int kelvin);
// Keys Edit28 accepts: backspace, digits, "-", "." and the codes 37 and 39.
bool BVKeyAccepted(char c);

// Distance in whole kilometres from Edit1's text: cleaned, rounded (halves to
// even), at least 350000, at most what 64-bit metres hold.
int64_t DistanceKm(const std::string& text);
// Velocity from Edit2's text (cleaned; never negative).
double Velocity(const std::string& text);
// Contact angle text from Edit8: cleaned; 90 or more becomes "90".
std::string AngleText(const std::string& text);
// Star diameter from Edit19: cleaned, at most 50 (mas).
double StarDiameter(const std::string& text);
// Step height (0.1 % units, 0..1000) from Edit20's text: absolute value x 10,
// rounded (halves to even).
int StepHeightFromText(const std::string& text);
// Time difference (ms, 0..1000) from Edit21's text.
int TimeDiffFromText(const std::string& text);

// UpDown9 (tenths) stepped from `lastTenths` to `tenths` with UpDown7 at
// `percent`: the positions both up-downs take. At 100 % the tenths stay 0; below
// 0 % they stay 0; 9 -> 0 carries into the percent while it is below 99, 0 -> 9
// borrows while it is above 0.
struct HeightSteps {
    int percent, tenths;
};
HeightSteps StepTenths(int percent, int lastTenths, int tenths);

}  // namespace fresnelpanel
