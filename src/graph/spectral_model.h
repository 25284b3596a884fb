#pragma once
// The diffraction model of a star occulted by a straight dark edge: the Fresnel
// knife-edge pattern summed over 81 wavelengths from 400 to 800 nm, weighted by
// the star's Planck spectrum, the air's transparency and the camera's spectral
// sensitivity, optionally integrated over the star's disc.
//
// The model's variables live in one plain struct; the program's instance is
// `diffraction::Model`, which the graph window, the Fresnel panel, the velocity
// calculator and the analysis windows read and write directly. Not thread-safe:
// the model belongs to the user-interface thread (the Fresnel tables it reads are
// built in the background and waited for on first use).
//
// Wavelength arrays are indexed by wavelength - 400 nm (0..400); only every fifth
// entry (400, 405, ..., 800 nm) takes part.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace diffraction {

constexpr int kFirstWavelength = 400;
constexpr int kLastWavelength = 800;
constexpr int kWavelengthEntries = kLastWavelength - kFirstWavelength + 1;  // 401
constexpr int kWavelengthStep = 5;
constexpr int kSpectralLines = 81;   // 400, 405, ..., 800 nm
constexpr int kCcdColumns = 11;      // column 0 ("not considered") and cameras 1..10
constexpr const char* kSensitivityFileName = "CCDSpectralSensitivity.csv";
constexpr int kSensitivityMinLines = 120;

using WavelengthArray = std::array<double, kWavelengthEntries>;

struct DiffractionModel {
    // Distance of the occulting edge, metres.
    int64_t ObjectDistance = 384401000;
    // Speed of the shadow as entered, m/s.
    long double ShadowVelocity = 700.0L;
    // Shadow travel per time unit of the results rows (the main window keeps it
    // at ShadowVelocity x its interval setting).
    long double ShadowVelocityPerInterval = 700.0L;
    // Star temperature in kelvin.
    int StarTemperature = 6650;
    // Chosen camera column 0..10 (0: sensitivity not considered).
    int CcdIndex = 0;
    // Integrate over the star disc.
    uint8_t StarDiameterMode = 0;
    // Strips on each side of the disc centre.
    int StarDiscRadius = 50;
    // Time offset between strips, in thousandths of the time unit.
    long double StarDiscStep = 0.0L;

    // Table steps per time unit at each wavelength (index wavelength - 400);
    // filled at multiples of 5 nm, 0 elsewhere.
    std::array<long double, kWavelengthEntries> FresnelScale{};
    // Planck spectrum normalised to a maximum of 1.
    WavelengthArray StarSpectrum{};
    // Transmission of the air.
    WavelengthArray AirTransparency{};
    // Camera names 1..10 from the sensitivity file (entry 0 unused).
    std::array<std::string, kCcdColumns> CcdNames{};
    // Relative sensitivity per camera column; column 0 is 1.0 everywhere.
    std::array<WavelengthArray, kCcdColumns> CcdSensitivity{};
    // Weights of the 81 wavelengths, summing to 1.
    WavelengthArray SpectralWeights{};

    // The sensitivity file; empty means "CCDSpectralSensitivity.csv" beside the
    // executable.
    std::string SensitivityFile;

    // LoadSpectralSensitivity, then BuildSpectralWeights.
    void InitSpectralModel();
    // Rebuilds the air, the star spectrum and the camera table, then the weights
    // from the column CcdIndex. A weight sum of 0 (or not finite) gives the flat
    // weight 1/81 to every wavelength.
    void BuildSpectralWeights();
    // Planck spectrum of StarTemperature at the 81 wavelengths, divided by its
    // largest value (left unnormalised when no value is above 0).
    void BuildStarSpectrum();
    // The air-transparency spline at the 81 wavelengths.
    void BuildAirTransparency();
    // Reads the sensitivity file. A missing, unreadable or short (< 120 lines)
    // file makes every camera column flat (1.0) and leaves the names empty.
    void LoadSpectralSensitivity();
    // FresnelScale from ObjectDistance and ShadowVelocityPerInterval. A distance
    // of 0 or less, or a result that is not finite, gives scale 0: the light curve
    // does not change with time.
    void BuildFresnelScales();

    // Monochromatic intensity at time offset t (positive: the lit side) and
    // wavelength lambda in nm. Beyond the tables: 1 on the lit side, 0 in the
    // shadow; t not a number counts as full light. A wavelength outside 400..800
    // has scale 0.
    long double DiffractionIntensity(long double t, int lambda) const;
    // Sum of DiffractionIntensity over the 81 wavelengths with SpectralWeights.
    long double SpectralIntensity(long double t) const;
    // The star-disc integral (2R+1 chord-weighted strips) when StarDiameterMode is
    // set and StarDiscRadius > 0, else SpectralIntensity(t).
    long double StarDiscIntensity(long double t) const;
};

// The program's model.
extern DiffractionModel Model;

// The sensitivity file beside the executable.
std::string DefaultSensitivityFile();

// Air transparency at a wavelength from the built-in knots; `segment` receives
// the knot index j of the cubic used.
double AirTransparencyAt(int lambda, int* segment = nullptr);

// Diagnostic list of the air-transparency spline: one line per wavelength 400,
// 405, ..., 800: "j,lambda,value" with the value in fixed notation, precision 3,
// 2 decimals (e.g. "3,400,0.63").
std::vector<std::string> DumpAirTransparency();

}  // namespace diffraction
