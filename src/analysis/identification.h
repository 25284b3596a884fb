#pragma once
// Identifying a recorded event in a lunar-occultation prediction report, and the
// identification label (target star ; date ; observer) written onto the graph or
// onto another picture.
//
// Contract:
// - Report lines are single-byte text as read (any bytes, tabs included). Character
//   positions are 1-based and read with the class library's substring rules: a
//   start below 1 counts as 1 and reads past a line's end are cut, so a line shorter
//   than a fixed position yields a short or empty text and never a read outside it.
// - Dates index the day tables only inside them: a year outside 1990..2050 or a
//   month outside 1..12 matches no event and selects nothing.
// - A number that does not convert leaves the value it would have set as it was
//   (an empty optional here).
// - All routines are pure functions of their arguments; work and memory are linear
//   in the report's size.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graph/magnitude_calc.h"

// The identification window's variables other windows read: the event time of
// field 1 as edited there (which parts were edited, their values and the last
// valid ones). User-interface thread only.
struct IdentificationVars {
    std::array<uint8_t, 3> EventTimeEdited{};  // hour, minute, seconds
    magnitude::BaseTime BaseTime, BaseTimeBackup;
};
extern IdentificationVars IdentificationUnit;

namespace identification {

constexpr int kFirstYear = 1990, kLastYear = 2050;

// "Jan" .. "Dec".
extern const std::array<const char*, 12> MonthAbbrevs;
// Days before each month, [0] normal and [1] leap years.
extern const int MonthDayTable[2][12];
// Days from 1 January 1990 to 1 January of `year` (1990..2050; a year divisible by
// 4 has 366 days). -1 outside the table.
int YearDayTable(int year);

// The class library's Copy: `count` characters from 1-based `index`.
std::string Copy(std::string_view s, int index, int count);
// 1-based position of `what` in `s`, 0 when absent.
int Pos(std::string_view what, std::string_view s);

// 1..12 for "Jan".."Dec", 0 for anything else.
int MonthNumber(std::string_view abbrev);
// The month a line carries at characters 4-6 (0: none).
int LineMonth(std::string_view line);
// The same, matched as blank + abbreviation + blank at characters 3-7 (the
// automatic search's rule).
int LineMonthStrict(std::string_view line);

// Two-digit years: the overlay's (above 50 is 19xx, negative is 2000, otherwise
// 20xx) and a report line's in the automatic search (above 50 is 19xx, otherwise
// 20xx) and when a line is applied (below 50 is 20xx, otherwise 19xx).
int OverlayCentury(int yy);
int SearchLineCentury(int yy);
int AppliedLineCentury(int yy);

// Seconds from 1 January 1990 0h; nothing when the year or month lies outside the
// tables.
std::optional<double> EventSeconds(int year, int month, int day, int hour, int minute, double second);

// The overlay strings the search reads: OverlayYear, OverlayMonth, OverlayDay and
// hour, minute and seconds of field 1 (seconds may carry a fraction).
struct OverlayClock {
    std::string year, month, day, hour, minute, second;
};
// The clock's time in seconds (EventSeconds), nothing when a part does not convert.
std::optional<double> ClockSeconds(const OverlayClock& clock);

// CctColumn, SvColumn, MdistColumn: where the contact angle, shadow velocity and
// Moon distance start in event lines (1-based; may be below 1 when the header
// lacks the keyword).
struct Columns {
    int cct = 0, sv = 0, mdist = 0;
};
// From the column header line (report line 3, 0-based).
Columns ParseColumns(std::string_view header);

// AutoSearchEvents: report lines 0..4, then every event line within 6 s of the
// clock's time (its month within one of the clock's, across a year end too) with
// the lines below it that carry no month. Empty for fewer than 6 lines.
std::vector<std::string> AutoSearchEvents(const std::vector<std::string>& report, const OverlayClock& clock);

// ListBox1's lines and its selection (-1: none).
struct EventList {
    std::vector<std::string> items;
    int selected = -1;
};
using Progress = std::function<void(size_t done, size_t total)>;
// FillEventList: heading and event lines lose characters 110-134 and 90-98 (in
// that order); with `detail` every line is listed, otherwise only lines with a
// month at 4-6. The first item beginning with `overlayYear` is selected (item 0
// when none). `progress` (may be null) is called now and then and at the end.
EventList FillEventList(const std::vector<std::string>& memo1, bool detail, const std::string& overlayYear,
                        const Progress& progress = nullptr);

// What a pasted identification text gives.
struct DateSelection {
    int year = 0, month = 0, day = 0;  // 0: leave that list as it is
};
struct PastedIdentification {
    bool found = false;     // a line beginning "Star = "
    std::string star;       // with "R", "S", "X" turned into "ZC ", "SAO ", "XZ "
    bool hasObserver = false;
    std::string observer;
    DateSelection date;     // from the line two above the star line, when it exists
};
PastedIdentification ReadPastedIdentification(const std::vector<std::string>& memo1);

// The values one selected list line gives (ApplyPredictionLine).
struct AppliedLine {
    bool hasMonth = false;  // false: the edits are to be emptied, nothing else set
    DateSelection date;
    std::string star;                        // Edit2
    std::optional<double> contactAngle;      // folded into 0..90
    std::string contactAngleText;            // Edit6, ContactAngleText (1 decimal)
    std::optional<double> velocity;          // ShadowVelocity(PerInterval)
    std::string velocityText;                // Edit5 (1 decimal)
    std::optional<int64_t> distanceMetres;   // ObjectDistance
    std::string distanceKmText;              // Edit4
    std::optional<std::string> spectralType; // SpectralTypeText, Edit8
};
AppliedLine ApplyPredictionLine(std::string_view line, const Columns& columns);

// The window's listing of a report (ParsePredictionHeader without the loading):
// Memo1 by the search or the whole report, then a pasted identification or the
// event list; with more than 3 report lines the column positions from line 3.
struct ListingOptions {
    bool autoSearch = false;
    bool detail = false;
    OverlayClock clock;
};
struct Listing {
    std::vector<std::string> memo1;
    EventList list;
    PastedIdentification pasted;
    bool columnsSet = false;
    Columns columns;
};
Listing ListReport(const std::vector<std::string>& report, const ListingOptions& options,
                   const Progress& progress = nullptr);

// Reading a report file: single-byte lines (CR LF, LF or CR), at most
// kReportReadLimit bytes. Missing: nothing at that path (the report stays empty);
// Failed: `error` says why (too large, a folder, FIFO or other file that is not a
// regular one, unreadable, UTF-16 text).
constexpr size_t kReportReadLimit = size_t{64} << 20;
enum class ReportRead { Loaded, Missing, Failed };
ReportRead ReadReport(const std::string& path, std::vector<std::string>& lines, std::string& error);

// The target star a new window starts from: the catalogue number alone; asteroid
// + " occults " + number; asteroid + " .. " + number when either already holds
// " occults"; empty otherwise.
std::string InitialTargetStar(const std::string& asteroidName, const std::string& catalogueNo);
// What a change of the star edit stores as AsteroidName: the text before
// " occults", or all of it.
std::string AsteroidNameFromStar(const std::string& star);
// IdentificationText: star + " ; " + year + " " + month + " " + day + " ; " + observer.
std::string ComposeIdText(const std::string& star, const std::string& year, const std::string& month,
                          const std::string& day, const std::string& observer);

// The date from the overlay strings, today's date standing in for a part that does
// not convert. The texts are what the overlay strings hold afterwards.
struct OverlayDate {
    int year = 0, month = 0, day = 0;  // the year with its century
    std::string yearText, monthText, dayText;
    std::string memoLine;  // "YYYY  M  D**"
    bool select = false;   // the date lists take it
};
OverlayDate DateFromOverlay(const std::string& year, const std::string& month, const std::string& day, int todayYear,
                            int todayMonth, int todayDay);
// Overlay date strings as a date list writes them: the year as two digits, month
// and day with a leading blank below 10.
std::string OverlayYearText(int year);
std::string OverlayTwoText(int value);

}  // namespace identification
