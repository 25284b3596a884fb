#pragma once
// The magnitude calculator's arithmetic: component magnitudes of a double star
// from the level statistics of an event, their errors, the statistics report and
// the event time corrected for frame integration and camera delay.
//
// The report is a list of lines for a fixed-pitch memo. Template lines take their
// values right-aligned so that a value's last character sits at the template's
// column; a value only ever replaces blanks, and one longer than the blanks before
// its column starts one blank after the text before it and pushes the rest right.
//
// Times are milliseconds of the day. A printed time is rounded to the chosen
// number of decimals as a whole (59.9996 s at 3 decimals is the next minute) and
// folded into 0..24 h, so a delay correction just after midnight prints the
// previous day's clock time.
//
// Everything here is a pure function of its arguments: no windows, any thread.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace magnitude {

// Camera delay in ms by integration position 0..7 (UpDown4).
constexpr std::array<int, 8> kIntegrationDelayTable{33, 42, 75, 141, 275, 542, 1076, 2144};
constexpr double kFrameRate = 29.97;

// RadioButton1..3.
enum class Camera { Off, Wat100N, N120 };

// The level statistics of the three ranges (graph_view's Level... values).
struct Levels {
    double beforeMean = 0, stepMean = 0, afterMean = 0;
    double beforeStdErr = 0, stepStdErr = 0, afterStdErr = 0;
    int beforeCount = 0, stepCount = 0, afterCount = 0;
};

struct BaseTime {
    int32_t hour = 0, minute = 0;
    double seconds = 0;
    double Milliseconds() const { return hour * 3600000.0 + minute * 60000.0 + seconds * 1000.0; }
};

struct Inputs {
    Levels levels;
    double pairMagnitude = 0;
    Camera camera = Camera::Wat100N;
    int integrationPosition = 0;  // 0..7
    bool considerStep = false;    // CheckBox1
    bool secondField = false;     // RadioButton5
    BaseTime base1, base2;
    // The chosen field's base time was read from the rows (or entered): without
    // one no clock time is printed, only kNoTimeText.
    bool baseKnown = true;
    // A fit is current (FitDone); its offsets in ms as the Fresnel panel shows them
    // (Edit10, Edit18). An offset text that is not a number counts as absent.
    bool fitDone = false;
    std::string offset1Text, offset2Text;
    int secondsDigits = 3;  // 1..3
};

struct Result {
    double combinedDrop = 0, firstDrop = 0, secondDrop = 0;
    double combinedError = 0, firstError = 0, secondError = 0;
    double firstMagnitude = -1000, secondMagnitude = -1000;  // -1000: not computable
    double firstMagError = -1, secondMagError = -1;          // -1: not computable
    // Noise levels (N/S) of the first, second and total event, bright side first;
    // -1 where the drop is not positive.
    std::array<double, 3> noiseUpper{-1, -1, -1}, noiseLower{-1, -1, -1};
    int integratedFrames = 0;
    // Edit texts: drops and errors (Edit1/3, Edit2/4, Edit9/10), standard errors
    // (Edit11, Edit13, Edit14), magnitudes and their errors (Edit5..Edit8).
    std::string edit1, edit2, edit3, edit4, edit9, edit10, edit11, edit13, edit14;
    std::string edit5, edit6, edit7, edit8;
    std::vector<std::string> report;
    // Corrected event times in ms (one, or two ordered), empty when the report
    // ended before the time section or the rows hold no time.
    std::vector<double> eventTimes;
    double timingErrorSeconds = 0;
};

// Stands for the event time, and for To in the deriving process, when the rows
// hold no time.
inline constexpr const char* kNoTimeText = "(the rows hold no time stamp)";

// Log base 2.512.
double Log2512(double x);
// Frames per integration block at UpDown4 position p: 2^(p-1), 0 for p = 0.
int IntegratedFrames(int position);
// UpDown4's position for the main window's "Interval" (1, 2, 4, ... 64 give 0, 2,
// 3, ... 7); -1 for any other interval (the position is left as it is).
int IntegrationPositionForInterval(int interval);
// Pair magnitude from the three up-downs: whole + tenths/10 + hundredths/100, the
// fraction counted negative when the whole part is.
double PairMagnitude(int whole, int tenths, int hundredths);

// Places `value` into `line` so that it ends at 1-based `column` (see above).
void PlaceValue(std::string& line, int column, const std::string& value);

// A time in ms as the report prints it, "12h05m03.457s": rounded to
// `secondsDigits` (1..3) decimals first, then folded into the day.
std::string FormatEventClock(double ms, int secondsDigits);

// Recomputes everything from the inputs.
Result MagnitudeCalculation(const Inputs& in);

// What the graph shows of a report: "Doublestar" the lines before the event-time
// section, "Time" the one or two "Event Time : " lines. Empty when absent.
std::vector<std::string> DoublestarLines(const std::vector<std::string>& report);
std::vector<std::string> EventTimeLines(const std::vector<std::string>& report);

// The 15 lines "Report" appends: i and the timing error at i / 10 (4 decimals).
std::vector<std::string> TimingErrorReport();

// ------------------------------------------------------------ base time

// Decimals of the seconds edits by time inserter type: 4 (type 0), 3 (1, 2), 2.
int SecondsDecimals(int timeInserterType);
// Seconds as the base-time edits show them: `decimals` decimals, a leading "0"
// below 10 ("05.1230").
std::string SecondsText(double seconds, int decimals);

// The main window's time-stamp edits (hour, minute, seconds of field 1, seconds
// of field 2) as BaseTime and BaseTime2. A text that holds no number (the captions
// shown before any time was read) reads as 0, and that field's time is not known.
// Field 2 seconds below field 1's have crossed a minute: its minute is one more,
// 60 turning into the next hour.
struct TimeBase {
    BaseTime base1, base2;
    bool known1 = false, known2 = false;
};
TimeBase ReadTimeBase(const std::string& hour, const std::string& minute, const std::string& seconds1,
                      const std::string& seconds2);

// A base-time edit left by the user: which part it is and its new text. On a valid
// value `time` takes it and `backup` follows; otherwise `time` takes the backup's
// part. Hours 0..24, minutes 0..60, seconds 0..60.
enum class TimePart { Hour, Minute, Seconds };
bool ApplyBaseTimeEdit(TimePart part, const std::string& text, BaseTime& time, BaseTime& backup);

}  // namespace magnitude
