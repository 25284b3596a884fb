#include "analysis/mutual_event.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "measure/results_table.h"
#include "platform/numtext.h"

namespace mutual {
namespace {

// Fields 1..kFields of a row in one pass (GetField would rescan the row per field).
constexpr int kFields = 13;
void SplitRow(const std::string& row, std::string_view (&f)[kFields + 1]) {
    size_t start = 0;
    for (int i = 1; i <= kFields; ++i) {
        if (start > row.size()) {
            f[i] = {};
            continue;
        }
        size_t comma = row.find(',', start);
        if (comma == std::string::npos) comma = row.size();
        f[i] = std::string_view(row).substr(start, comma - start);
        start = comma + 1;
    }
}

struct Convert {
    std::string error;
    long double Float(std::string_view text) {
        if (!error.empty()) return 0;
        const auto v = numtext::ParseFloat(text);
        if (!v) error = FloatConvertError(std::string(text));
        return v ? *v : 0;
    }
    int64_t Int(std::string_view text) {
        if (!error.empty()) return 0;
        const auto v = numtext::ParseInt32(text);
        if (!v) error = IntConvertError(std::string(text));
        return v ? *v : 0;
    }
};

int64_t TruncL(long double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18L) return std::numeric_limits<int64_t>::max();
    if (v <= -9.2e18L) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

// h x 3600 + m x 60 + s from the edits; an empty text counts as 0.
long double ClockSeconds(const std::string& h, const std::string& m, const std::string& s, Convert& c) {
    auto value = [&](const std::string& t) { return t.empty() ? 0.0L : c.Float(t); };
    return value(KeepDigits(h)) * 3600 + value(KeepDigits(m)) * 60 + value(KeepDecimal(s));
}

void SetClock(Unit& u, long double t) {
    u.hour = TruncL(t / 3600);
    u.minute = TruncL((t - 3600.0L * u.hour) / 60);
    u.second = t - 3600.0L * u.hour - 60.0L * u.minute;
}

}  // namespace

std::string FloatConvertError(const std::string& text) { return "'" + text + "' is not a valid floating point value"; }
std::string IntConvertError(const std::string& text) { return "'" + text + "' is not a valid integer value"; }

std::string KeepDigits(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c >= '0' && c <= '9') out += c;
    return out;
}

std::string KeepDecimal(std::string_view text) {
    std::string out;
    bool dot = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') out += c;
        else if (c == '.' && !dot) {
            dot = true;
            out += c;
        }
    }
    if (!out.empty() && out.front() == '.') out.insert(out.begin(), '0');
    if (!out.empty() && out.back() == '.') out += '0';
    return out;
}

std::string PadLeft(const std::string& text, int width) {
    const int n = static_cast<int>(text.size());
    return n < width ? std::string(static_cast<size_t>(width - n), ' ') + text : text;
}

std::string UnitLine(const Unit& u) {
    using numtext::FormatFixed;
    const auto d = [](long double v) { return static_cast<double>(v); };
    return PadLeft(std::to_string(u.hour), 2) + " " + PadLeft(std::to_string(u.minute), 2) + " " +
           PadLeft(FormatFixed(d(u.second), 6, 3), 6) + "," + PadLeft(FormatFixed(d(u.T), 8, 0), 8) + "," +
           PadLeft(FormatFixed(d(u.C), 8, 0), 8) + "," + PadLeft(FormatFixed(d(u.Ts), 8, 0), 8) + "," +
           PadLeft(FormatFixed(d(u.Cs), 8, 0), 8) + "," + PadLeft(FormatFixed(d(u.n), 10, 5), 10);
}

long double HeaderFrameRate(const std::vector<std::string>& table) {
    static constexpr std::string_view kKey = "FrameRate=";
    const size_t header = std::min(table.size(), static_cast<size_t>(std::max(0, DetectResultsFormat(table).headerLines)));
    for (size_t i = 0; i < header; ++i) {
        const size_t at = table[i].find(kKey);
        if (at == std::string::npos) continue;
        // Digits, at most one point: the mantissa and the power of ten are exact in
        // long double, so their quotient is the correctly rounded value.
        uint64_t mantissa = 0;
        int decimals = 0, digits = 0;
        bool point = false;
        for (size_t k = at + kKey.size(); k < table[i].size(); ++k) {
            const char c = table[i][k];
            if (c == '.' && !point) {
                point = true;
            } else if (c >= '0' && c <= '9' && digits < 18) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
                ++digits;
                if (point) ++decimals;
            } else {
                break;
            }
        }
        if (digits == 0) return 0;
        long double scale = 1;
        for (int d = 0; d < decimals; ++d) scale *= 10;
        const long double rate = static_cast<long double>(mantissa) / scale;
        return rate > 0 && rate <= 1000 ? rate : 0;
    }
    return 0;
}

AverageResult AverageFrames(const std::vector<std::string>& table, const AverageSettings& st) {
    AverageResult r;
    const ResultsFormat fmt = DetectResultsFormat(table);
    // Blank lines are no rows: the table reads as the same table without them.
    std::vector<size_t> dataRows;
    for (size_t i = static_cast<size_t>(fmt.headerLines); i < table.size(); ++i)
        if (!IsBlankLine(table[i])) dataRows.push_back(i);
    const int64_t rows = static_cast<int64_t>(dataRows.size());
    if (rows <= 0) {
        r.listing = {"Data is not detected."};
        return r;
    }
    const int frameCount = static_cast<int>(std::min<int64_t>(rows, std::numeric_limits<int>::max()));
    r.frameCount = frameCount;
    if (fmt.version != 2) {
        r.listing.push_back("Legacy format is detected.");
        r.listing.push_back("Please use newest Tevorin (0.9.26 or later) for measurement.");
    }
    if (st.timeSetting == 0 && KeepDigits(GetField(table[dataRows[0]], 4)).empty()) {
        r.status = AverageStatus::NoTime;
        return r;
    }

    Convert c;
    long double t1 = 0, rate = HeaderFrameRate(table);
    if (rate == 0) rate = 29.97L;
    if (st.timeSetting != 0) {
        t1 = ClockSeconds(st.firstH, st.firstM, st.firstS, c);
        if (st.timeSetting == 2) {
            long double t2 = ClockSeconds(st.lastH, st.lastM, st.lastS, c);
            if (t1 >= t2) t2 += 86400;
            rate = (frameCount - 1) / (t2 - t1);
        }
    }
    const int size = st.unitSize < 1 ? 1 : st.unitSize;
    const int count = frameCount / size;
    const int w = st.halfWidth < 0 ? 0 : st.halfWidth;

    std::vector<Frame> frames(static_cast<size_t>(frameCount) + 1);
    const long double single = st.single ? c.Float(st.singleValue) : 0;
    std::string_view f[kFields + 1];
    size_t badLine = 0;
    for (int k = 1; k <= frameCount && c.error.empty(); ++k) {
        badLine = dataRows[static_cast<size_t>(k - 1)];
        SplitRow(table[badLine], f);
        Frame& fr = frames[static_cast<size_t>(k)];
        if (st.timeSetting == 0) {
            fr.hour = c.Int(f[4]);
            fr.minute = c.Int(f[5]);
            fr.second = c.Float(f[7]);
        }
        fr.target = c.Float(f[11]);
        fr.comparison = st.single ? single : c.Float(f[12]);
        if (st.comparison == 1) fr.comparison += c.Float(f[13]);
        else if (st.comparison == 2) fr.target += c.Float(f[13]);
    }
    if (!c.error.empty()) {
        r.status = AverageStatus::Error;
        // A cell names its line (1-based, as an editor counts the table's lines).
        r.error = frameCount > 0 && badLine > 0 ? c.error + " (line " + std::to_string(badLine + 1) + " of the table)" : c.error;
        r.listing.clear();
        return r;
    }

    r.units.assign(static_cast<size_t>(count) + 1, Unit{});
    const int mid = size / 2 == 0 ? 1 : size / 2;
    for (int u = 1; u <= count; ++u) {
        Unit& unit = r.units[static_cast<size_t>(u)];
        const int base = (u - 1) * size;
        long double sumT = 0, sumC = 0;
        for (int j = 1; j <= size; ++j) {
            sumT += frames[static_cast<size_t>(base + j)].target;
            sumC += frames[static_cast<size_t>(base + j)].comparison;
        }
        unit.T = sumT / size;
        unit.C = sumC / size;
        const int fno = base + mid;
        if (st.timeSetting == 0) {
            const Frame& fr = frames[static_cast<size_t>(fno)];
            unit.hour = fr.hour;
            unit.minute = fr.minute;
            unit.second = fr.second;
            // The overlay's minute can lag behind a second that has just wrapped.
            const Unit& prev = r.units[static_cast<size_t>(u - 1)];
            if (u > 2 && unit.second <= 0.02L && unit.hour == prev.hour && unit.minute == prev.minute) {
                if (++unit.minute == 60) {
                    unit.minute = 0;
                    unit.hour = unit.hour == 23 ? 0 : unit.hour + 1;
                }
            }
        } else {
            // One frame gives no rate: its time is the first time.
            SetClock(unit, frameCount > 1 || st.timeSetting == 1 ? (fno - 1) / rate + t1 : t1);
        }
    }

    long double sumC = 0;
    for (int u = 1; u <= count; ++u) sumC += r.units[static_cast<size_t>(u)].C;
    const long double cm = count > 0 ? sumC / count : 0;
    for (int u = 1; u <= count; ++u) {
        Unit& unit = r.units[static_cast<size_t>(u)];
        unit.n = cm != 0 ? unit.C / cm : 0;
    }
    for (int u = 1; u <= count; ++u) {
        long double sum = 0;
        int n = 0;
        for (int v = std::max(1, u - w); v <= std::min(count, u + w); ++v, ++n) sum += r.units[static_cast<size_t>(v)].n;
        Unit& unit = r.units[static_cast<size_t>(u)];
        unit.s = n > 0 ? sum / n : 1;
        if (unit.s != 0) {
            unit.Ts = unit.T / unit.s;
            unit.Cs = unit.C / unit.s;
        } else {
            unit.Ts = unit.Cs = 777;
        }
        r.listing.push_back(UnitLine(unit));
    }
    r.status = AverageStatus::Done;
    return r;
}

}  // namespace mutual
