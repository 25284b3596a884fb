#include "analysis/identification.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>

#include "platform/file_io.h"
#include "platform/numtext.h"

IdentificationVars IdentificationUnit;

namespace identification {

const std::array<const char*, 12> MonthAbbrevs = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const int MonthDayTable[2][12] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
                                  {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

namespace {

bool IsLeap(int year) { return year % 4 == 0; }

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The class library's Delete: nothing when `index` lies outside the text, the
// count cut at its end.
void Delete(std::string& s, int index, int count) {
    if (index < 1 || static_cast<size_t>(index) > s.size() || count <= 0) return;
    s.erase(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

std::optional<int> Int(std::string_view text) {
    const auto v = numtext::ParseInt32(text);
    if (!v) return std::nullopt;
    return static_cast<int>(*v);
}

std::optional<double> Real(std::string_view text) {
    const auto v = numtext::ParseFloat(text);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return *v;
}

// The time of an event line by the automatic search's reading.
std::optional<double> LineSeconds(std::string_view line, int month) {
    const auto yy = Int(Copy(line, 1, 2)), day = Int(Copy(line, 8, 2)), hour = Int(Copy(line, 11, 2)),
               minute = Int(Copy(line, 14, 2)), second = Int(Copy(line, 17, 2));
    if (!yy || !day || !hour || !minute || !second) return std::nullopt;
    return EventSeconds(SearchLineCentury(*yy), month, *day, *hour, *minute, *second);
}

bool WithinOneMonth(int a, int b) {
    const int d = ((a - b) % 12 + 12) % 12;
    return d == 0 || d == 1 || d == 11;
}

bool DayInRange(int day) { return day >= 1 && day <= 31; }
bool YearInRange(int year) { return year >= kFirstYear && year <= kLastYear; }

}  // namespace

int YearDayTable(int year) {
    static const auto table = [] {
        std::array<int, kLastYear - kFirstYear + 1> t{};
        for (int y = kFirstYear + 1; y <= kLastYear; ++y)
            t[static_cast<size_t>(y - kFirstYear)] = t[static_cast<size_t>(y - 1 - kFirstYear)] + (IsLeap(y - 1) ? 366 : 365);
        return t;
    }();
    return YearInRange(year) ? table[static_cast<size_t>(year - kFirstYear)] : -1;
}

std::string Copy(std::string_view s, int index, int count) {
    if (index < 1) index = 1;
    if (count <= 0 || static_cast<size_t>(index) > s.size()) return {};
    return std::string(s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

int Pos(std::string_view what, std::string_view s) {
    if (what.empty()) return 0;
    const size_t at = s.find(what);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int MonthNumber(std::string_view abbrev) {
    for (size_t i = 0; i < MonthAbbrevs.size(); ++i)
        if (abbrev == MonthAbbrevs[i]) return static_cast<int>(i) + 1;
    return 0;
}

int LineMonth(std::string_view line) { return MonthNumber(Copy(line, 4, 3)); }

int LineMonthStrict(std::string_view line) {
    const std::string t = Copy(line, 3, 5);
    if (t.size() != 5 || t[0] != ' ' || t[4] != ' ') return 0;
    return MonthNumber(std::string_view(t).substr(1, 3));
}

int OverlayCentury(int yy) { return yy > 50 ? 1900 + yy : yy < 0 ? 2000 : 2000 + yy; }
int SearchLineCentury(int yy) { return yy > 50 ? 1900 + yy : 2000 + yy; }
int AppliedLineCentury(int yy) { return yy < 50 ? 2000 + yy : 1900 + yy; }

std::optional<double> EventSeconds(int year, int month, int day, int hour, int minute, double second) {
    if (!YearInRange(year) || month < 1 || month > 12) return std::nullopt;
    const double days = static_cast<double>(YearDayTable(year)) + MonthDayTable[IsLeap(year) ? 1 : 0][month - 1] +
                        static_cast<double>(day) - 1.0;
    return (days * 24.0 + hour) * 3600.0 + minute * 60.0 + second;
}

std::optional<double> ClockSeconds(const OverlayClock& clock) {
    const auto yy = Int(clock.year), month = Int(clock.month), day = Int(clock.day), hour = Int(clock.hour),
               minute = Int(clock.minute);
    const auto second = Real(clock.second);
    if (!yy || !month || !day || !hour || !minute || !second) return std::nullopt;
    return EventSeconds(OverlayCentury(*yy), *month, *day, *hour, *minute, *second);
}

Columns ParseColumns(std::string_view header) {
    return {Pos("Cct", header) - 9, Pos("SV", header) - 37, Pos("Mdist", header) - 35};
}

std::vector<std::string> AutoSearchEvents(const std::vector<std::string>& report, const OverlayClock& clock) {
    std::vector<std::string> memo;
    if (report.size() < 6) return memo;
    memo.assign(report.begin(), report.begin() + 5);
    const auto t = ClockSeconds(clock);
    const auto eventMonth = Int(clock.month);
    if (!t || !eventMonth) return memo;
    for (size_t i = 5; i < report.size(); ++i) {
        const int month = LineMonthStrict(report[i]);
        if (month == 0 || !WithinOneMonth(month, *eventMonth)) continue;
        const auto lt = LineSeconds(report[i], month);
        if (!lt || std::fabs(*lt - *t) > 6.0) continue;
        memo.push_back(report[i]);
        // The lines below an event line that carry no month belong to it.
        while (i + 1 < report.size() && LineMonthStrict(report[i + 1]) == 0) memo.push_back(report[++i]);
    }
    return memo;
}

EventList FillEventList(const std::vector<std::string>& memo1, bool detail, const std::string& overlayYear,
                        const Progress& progress) {
    EventList list;
    const size_t n = memo1.size();
    for (size_t i = 0; i < n; ++i) {
        if (progress && (i & 1023) == 1023) progress(i, n);
        const std::string& source = memo1[i];
        // The cut lies past the month, so a line is tested before it is copied.
        if (!detail && LineMonth(source) == 0) continue;
        const bool cut = (source.size() > 10 && source[0] != ' ') || StartsWith(source, "       day") ||
                         StartsWith(source, " y ");
        list.items.push_back(source);
        if (cut) {
            Delete(list.items.back(), 110, 25);
            Delete(list.items.back(), 90, 9);
        }
    }
    if (progress) progress(n, n);
    for (size_t i = 0; i < list.items.size(); ++i)
        if (Copy(list.items[i], 1, 2) == overlayYear) {
            list.selected = static_cast<int>(i);
            break;
        }
    if (list.selected < 0 && !list.items.empty()) list.selected = 0;
    return list;
}

PastedIdentification ReadPastedIdentification(const std::vector<std::string>& memo1) {
    PastedIdentification p;
    for (size_t i = 0; i < memo1.size(); ++i) {
        if (!StartsWith(memo1[i], "Star = ")) continue;
        p.found = true;
        p.star = memo1[i].substr(7);
        if (!p.star.empty()) {
            const char c = p.star[0];
            const char* prefix = c == 'R' ? "ZC " : c == 'S' ? "SAO " : c == 'X' ? "XZ " : nullptr;
            if (prefix) p.star.replace(0, 1, prefix);
        }
        for (size_t j = i + 1; j < memo1.size(); ++j)
            if (StartsWith(memo1[j], "Observer =  ")) {
                p.hasObserver = true;
                p.observer = memo1[j].substr(12);
                break;
            }
        if (i >= 2) {
            const std::string& d = memo1[i - 2];
            const auto year = Int(Copy(d, 1, 4)), day = Int(Copy(d, 10, 2));
            if (year && YearInRange(*year)) p.date.year = *year;
            p.date.month = MonthNumber(Copy(d, 6, 3));
            if (day && DayInRange(*day)) p.date.day = *day;
        }
        break;
    }
    return p;
}

AppliedLine ApplyPredictionLine(std::string_view line, const Columns& columns) {
    AppliedLine r;
    const int month = LineMonth(line);
    r.hasMonth = month != 0;
    if (!r.hasMonth) return r;
    r.date.month = month;
    if (const auto yy = Int(Copy(line, 1, 2))) {
        const int year = AppliedLineCentury(*yy);
        if (YearInRange(year)) r.date.year = year;
    }
    if (const auto day = Int(Copy(line, 8, 2)); day && DayInRange(*day)) r.date.day = *day;

    const std::string flag = Copy(line, 22, 1);
    std::string number = Copy(line, 23, 6);
    const size_t first = number.find_first_not_of(' ');
    number.erase(0, first == std::string::npos ? number.size() : first);
    if (flag == "X") {
        r.star = "XZ " + number;
    } else if (flag == " ") {
        const auto n = numtext::ParseInt(number);
        r.star = !n ? number : (*n < 9000 ? "ZC " : "SAO ") + number;
    } else {
        r.star = number;
    }

    if (const auto v = Real(Copy(line, columns.cct, 5))) {
        double a = std::fabs(*v);
        if (a >= 90) a = 180 - a;
        r.contactAngle = a;
        r.contactAngleText = numtext::FormatFixed(a, 15, 1);
    }
    if (const auto v = Real(Copy(line, columns.sv, 7))) {
        r.velocity = *v;
        r.velocityText = numtext::FormatFixed(*v, 15, 1);
    }
    // Thousands of km; a value past the metre count's range does not convert.
    if (const auto v = Real(Copy(line, columns.mdist, 6)); v && std::fabs(*v) < 1e12) {
        r.distanceMetres = numtext::RoundHalfAway(*v * 1000000.0);
        r.distanceKmText = std::to_string(*r.distanceMetres / 1000);
    }
    std::string spectral = Copy(line, 30, 2);
    if (!spectral.empty() && spectral[0] != ' ') {
        if (spectral.size() < 2 || spectral[1] < '0' || spectral[1] > '9') spectral = spectral.substr(0, 1) + "5";
        r.spectralType = spectral;
    }
    return r;
}

Listing ListReport(const std::vector<std::string>& report, const ListingOptions& options, const Progress& progress) {
    Listing out;
    out.memo1 = options.autoSearch ? AutoSearchEvents(report, options.clock) : report;
    out.pasted = ReadPastedIdentification(out.memo1);
    if (out.pasted.found) out.list.items = out.memo1;
    else out.list = FillEventList(out.memo1, options.detail, options.clock.year, progress);
    // The column positions do not change the list, so it is filled once.
    if (report.size() > 3) {
        out.columns = ParseColumns(report[3]);
        out.columnsSet = true;
    }
    return out;
}

ReportRead ReadReport(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    lines.clear();
    // Only a path with nothing there is missing: a folder, FIFO or device is refused
    // by the reader with its reason. A folder path ending in "/" is the setting's
    // default before any report was chosen (the program folder): nothing to read yet.
    struct stat st {};
    if (path.empty() || path.back() == '/' || (::stat(path.c_str(), &st) != 0 && errno == ENOENT))
        return ReportRead::Missing;
    if (fileio::ReadLines(path, lines, error, kReportReadLimit)) {
        if (lines.empty() || !fileio::IsTwoByteText(lines.front())) return ReportRead::Loaded;
        error = "The report is UTF-16 text; save it as ANSI or UTF-8 text.";
    }
    lines.clear();
    return ReportRead::Failed;
}

std::string InitialTargetStar(const std::string& asteroidName, const std::string& catalogueNo) {
    if (asteroidName.empty()) return catalogueNo;
    if (catalogueNo.empty()) return {};
    const bool occults = asteroidName.find(" occults") != std::string::npos ||
                         catalogueNo.find(" occults") != std::string::npos;
    return asteroidName + (occults ? " .. " : " occults ") + catalogueNo;
}

std::string AsteroidNameFromStar(const std::string& star) {
    const size_t at = star.find(" occults");
    return at == std::string::npos ? star : star.substr(0, at);
}

std::string ComposeIdText(const std::string& star, const std::string& year, const std::string& month,
                          const std::string& day, const std::string& observer) {
    return star + " ; " + year + " " + month + " " + day + " ; " + observer;
}

std::string OverlayYearText(int year) {
    const int yy = ((year % 100) + 100) % 100;
    return std::string(1, static_cast<char>('0' + yy / 10)) + static_cast<char>('0' + yy % 10);
}

std::string OverlayTwoText(int value) { return (value >= 0 && value < 10 ? " " : "") + std::to_string(value); }

OverlayDate DateFromOverlay(const std::string& year, const std::string& month, const std::string& day, int todayYear,
                            int todayMonth, int todayDay) {
    OverlayDate d{0, 0, 0, year, month, day, {}, false};
    if (const auto y = Int(year)) {
        d.year = OverlayCentury(*y);
    } else {
        d.year = todayYear;
        d.yearText = OverlayYearText(todayYear);
    }
    if (const auto m = Int(month)) {
        d.month = *m;
    } else {
        d.month = todayMonth;
        d.monthText = OverlayTwoText(todayMonth);
    }
    if (const auto v = Int(day)) {
        d.day = *v;
    } else {
        d.day = todayDay;
        d.dayText = OverlayTwoText(todayDay);
    }
    d.memoLine = std::to_string(d.year) + "  " + std::to_string(d.month) + "  " + std::to_string(d.day) + "**";
    d.select = YearInRange(d.year) && d.month >= 1 && d.month <= 12 && DayInRange(d.day);
    return d;
}

}  // namespace identification
