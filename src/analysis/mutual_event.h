#pragma once
// Mutual events of planetary satellites: the frames of the results table averaged
// into units, the target divided by a smoothed, normalised comparison star (which
// removes transparency changes), and the unit listing.
//
// Arithmetic is long double throughout, as the window's records are extended.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mutual {

struct Frame {
    int64_t hour = 0, minute = 0;
    long double second = 0, target = 0, comparison = 0;
};

struct Unit {
    int64_t hour = 0, minute = 0;
    long double second = 0;
    long double T = 0, C = 0;    // means of target and comparison
    long double Ts = 0, Cs = 0;  // T / s and C / s (777 when s is 0)
    long double n = 0, s = 0;    // normalised comparison, smoothing factor
};

// The unit sizes of the size list (index 0 .. 10).
inline constexpr int kUnitSizes[] = {1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024};

struct AverageSettings {
    int unitSize = 32;
    int halfWidth = 2;    // W: the smoothing covers 2W + 1 units
    int timeSetting = 0;  // 0 read from the video image, 1 first frame, 2 first and last frame
    std::string firstH, firstM, firstS, lastH, lastM, lastS;
    int comparison = 0;  // 0 second star, 1 second + third, 2 target + third against the second
    bool single = false;  // "Single object": a fixed comparison value
    std::string singleValue = "2000";
};

enum class AverageStatus {
    NoData,  // no data rows: the listing is "Data is not detected."
    NoTime,  // time from the video image but the first row has no hour: stopped, with kNoTimeMessage
    Error,   // a cell does not convert; `error` holds the class library's message
    Done,
};

struct AverageResult {
    AverageStatus status = AverageStatus::NoData;
    std::string error;
    std::vector<std::string> listing;  // the lines of the unit listing
    std::vector<Unit> units;           // [0] stays zero, then one per unit
    int frameCount = 0;
    int UnitCount() const { return units.empty() ? 0 : static_cast<int>(units.size()) - 1; }
};

// Told when the rows hold no time read from the video image.
inline constexpr const char* kNoTimeMessage =
    "The rows hold no time read from the video image.\r\n"
    "Choose \"Based on First Frame\" or \"First & Last Frame\" in \"Time setting\".";
// Told when "Save .CSV file" has no listing to write.
inline constexpr const char* kNothingToSaveMessage = "There is no listing to save. Press \"Calculate & Draw Graph\" first.";

// The frame rate of the header's video-system line ("FrameRate=25.00"), read
// exactly (so "29.97" is the literal 29.97L); 0 when the header gives none or a
// rate outside (0, 1000].
long double HeaderFrameRate(const std::vector<std::string>& table);

// The whole averaging of the table's lines (header included). "Based on First
// Frame" counts the header's frame rate, 29.97 frames a second when it gives none. A result other than
// Done carries no units; the caller keeps the ones it has.
AverageResult AverageFrames(const std::vector<std::string>& table, const AverageSettings& settings);

// One listing line of a unit.
std::string UnitLine(const Unit& u);

// Text filters of the time edits.
std::string KeepDigits(std::string_view text);
std::string KeepDecimal(std::string_view text);
// Blanks before a text shorter than `width`.
std::string PadLeft(const std::string& text, int width);

// A unit's time of day in seconds and in minutes.
inline long double UnitSeconds(const Unit& u) { return 3600.0L * u.hour + 60.0L * u.minute + u.second; }
inline long double UnitMinutes(const Unit& u) { return 60.0L * u.hour + u.minute + u.second / 60.0L; }

// The class library's conversion messages.
std::string FloatConvertError(const std::string& text);
std::string IntConvertError(const std::string& text);

}  // namespace mutual
