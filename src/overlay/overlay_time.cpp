#include "overlay/overlay_time.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace overlay {

namespace {

double SecondsValue(const std::string& text) { return numtext::ParseFloat(text).value_or(0.0); }

OverlayCharacter ReadBest(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int x, int y) {
    return ReadOverlayCharacterBest(st, c, bmp, x, y);
}

}  // namespace

int CompareFieldSeconds(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return 2;
    double t1 = SecondsValue(a), t2 = SecondsValue(b);
    // A field read just after the minute turned is the later one.
    if (t1 > 59 && t2 < 1)
        t2 += 60;
    else if (t1 < 1 && t2 > 59)
        t1 += 60;
    return t1 >= t2 ? 1 : 0;
}

int KiwiRowSet(const OverlayControls& c) {
    const bool slow = c.VideoFrameRateInt < 26;
    if (c.FrameWidth <= 640) return slow ? 4 : 3;
    return slow ? 2 : 1;
}

int CalibrateKiwiRowOffset(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int field,
                           const CharacterReader& read) {
    if (st.OverlayGridLocated) {
        st.KiwiRowOffset1 = st.KiwiRowOffset2 = 0;
        return 1;
    }
    int& offset = field == 0 ? st.KiwiRowOffset1 : st.KiwiRowOffset2;
    const int set = KiwiRowSet(c);
    const int n = c.VideoFrameRateInt < 26 ? 2 : 1;
    offset = 0;
    double best = 0;
    int bestOffset = 0, bestShift = 0;
    // The column that gave `best`, not the one of the last improvement at some offset.
    bool bestNominal = true;

    auto search = [&](int column, int lo, int hi) {
        for (int o = lo; o <= hi; ++o) {
            offset = o;
            const int y = OverlayRowY(st, c, set, field);
            double here = 0;
            bool nominal = true;
            for (int d = -2; d <= 2; ++d) {
                const int x1 = c.UpDown10 + st.CharacterColumns[static_cast<size_t>(set)][static_cast<size_t>(column)] + d;
                const double s1 = read(st, c, bmp, x1, y).score;
                const double s2 = read(st, c, bmp, x1 - 10, y).score;
                if (s1 <= s2) {
                    if (s2 > here) here = s2, nominal = false;
                } else if (s1 > here) {
                    here = s1, nominal = true;
                }
                if (here > best) best = here, bestShift = d, bestOffset = o, bestNominal = nominal;
            }
        }
    };
    search(8, -n, n);
    if (!(best > 0)) search(10, -(n + 1), n);
    if (!(best > 0)) {
        offset = 0;
        return 2;
    }
    st.KiwiColumnShift = st.KiwiColumnShift == 0 ? bestShift : (st.KiwiColumnShift + bestShift) / 2;
    offset = bestOffset;
    return bestNominal ? 1 : 0;
}

int CalibrateKiwiRowOffset(OverlayState& st, const OverlayControls& c, const Bitmap24& bmp, int field) {
    return CalibrateKiwiRowOffset(st, c, bmp, field, ReadBest);
}

void ReadTimeOverlayLine(OverlayState& st, const OverlayControls& c, const TimeLineControls& t, const Bitmap24& bmp,
                         OverlayTimeLine& line, const CharacterReader& read) {
    const uint8_t type = c.TimeInserterType;
    st.KiwiColumnShift = 0;
    line.Unread = {0, 0};
    int set = 5;
    if (st.OverlayGridLocated) {
        st.KiwiRowOffset1 = st.KiwiRowOffset2 = type == kIotaVti ? 2 : 0;
        line.CalibrationResult = 1;
    } else if (type != kKiwiOsd) {
        // Without a located grid there is nothing to read for these inserters.
        line.CalibrationResult = 2;
    } else {
        st.KiwiRowOffset1 = st.KiwiRowOffset2 = 0;
        if (c.VideoFrameRateInt <= 25) CalibrateKiwiRowOffset(st, c, bmp, 0, read);
        line.CalibrationResult = CalibrateKiwiRowOffset(st, c, bmp, 1, read);
        set = KiwiRowSet(c);
    }
    if (line.CalibrationResult == 2) {
        for (std::string* s : {&line.OverlayHour1, &line.OverlayHour2, &line.OverlayMinute1, &line.OverlayMinute2,
                               &line.OverlaySecond1, &line.OverlaySecond2, &line.OverlaySeconds1,
                               &line.OverlaySeconds2, &line.VtiFieldCount1, &line.VtiFieldCount2})
            s->clear();
        return;
    }

    const int base = c.UpDown10 + st.KiwiColumnShift - (line.CalibrationResult == 0 ? 10 : 0);
    const auto& columns = st.CharacterColumns[static_cast<size_t>(set)];
    const int P = OverlayRowY(st, c, set, 0), Q = OverlayRowY(st, c, set, 1);
    const bool swapped = t.FieldOrderItem == 1;
    const int r1 = swapped ? Q : P, r2 = swapped ? P : Q;
    // Unread characters are counted against the field whose row they lie on.
    auto fieldOf = [&](int y) { return y == r1 ? 0 : 1; };

    auto charAt = [&](int k, int y) { return read(st, c, bmp, base + columns[static_cast<size_t>(k)], y).character; };
    auto text = [&](std::string& out, int k0, int count, int y) {
        out.assign(static_cast<size_t>(count), '0');
        for (int i = 0; i < count; ++i) {
            const char ch = charAt(k0 + i, y);
            if (ch)
                out[static_cast<size_t>(i)] = ch;
            else
                ++line.Unread[static_cast<size_t>(fieldOf(y))];
        }
    };
    auto seconds = [&](std::string& out, const std::string& whole, int k0, int count, int y) {
        std::string fraction;
        text(fraction, k0, count, y);
        out.assign(whole).append(1, '.').append(fraction);
    };

    if (type == kGhsOsd) {
        text(line.OverlayYear, 0, 2, Q);
        text(line.OverlayMonth, 2, 2, Q);
        text(line.OverlayDay, 4, 2, Q);
    }

    // The hours' first character, read once: the GHS-OSD gate looks at it too.
    const char hourLead = charAt(7, r1);
    line.OverlayHour1.assign(1, hourLead ? hourLead : '0');
    if (!hourLead) ++line.Unread[0];
    std::string rest;
    text(rest, 8, 1, r1);
    line.OverlayHour1 += rest;
    text(line.OverlayMinute1, 9, 2, r1);
    text(line.OverlaySecond1, 11, 2, r1);
    if (t.FieldMeasure) {
        text(line.OverlayHour2, 7, 2, r2);
        text(line.OverlayMinute2, 9, 2, r2);
    }
    text(line.OverlaySecond2, 11, 2, r2);

    if (type == kKiwiOsd) {
        if (st.OverlayGridLocated) {
            seconds(line.OverlaySeconds1, line.OverlaySecond1, 13, 2, r1);
            seconds(line.OverlaySeconds2, line.OverlaySecond2, 13, 2, r2);
        } else {
            seconds(line.OverlaySeconds1, line.OverlaySecond1, 16, 3, r1);
            seconds(line.OverlaySeconds2, line.OverlaySecond2, 13, 3, r2);
        }
        return;
    }
    if (type == kGhsOsd) {
        if (!hourLead) return;
        seconds(line.OverlaySeconds1, line.OverlaySecond1, 13, 3, r1);
        seconds(line.OverlaySeconds2, line.OverlaySecond2, 13, 3, r2);
        // The minute may turn between the two fields: compare with its wrap.
        const bool laterOrSame = CompareFieldSeconds(line.OverlaySeconds2, line.OverlaySeconds1) == 1;
        line.TopFieldFirst = laterOrSame != swapped ? 1 : 0;
        return;
    }

    // IOTA-VTI: each field prints its fraction in one of two groups, H (17-20) or L (13-16).
    constexpr int kH = 17, kL = 13;
    const std::string second1 = line.OverlaySecond1, second2 = line.OverlaySecond2;
    if (line.FieldTimeComparison == 1 || line.FieldTimeComparison == 0) {
        const bool oneHigh = line.FieldTimeComparison == 1;
        seconds(line.OverlaySeconds1, second1, oneHigh ? kH : kL, 4, r1);
        seconds(line.OverlaySeconds2, second2, oneHigh ? kL : kH, 4, r2);
    } else {
        const bool marked = swapped ? charAt(kL, Q) != 0 : charAt(kH, P) != 0;
        // Field 1 from r1 takes the group the top row carries first; the comparison
        // always asks whether the top row's time is the earlier.
        const bool oneHigh = marked != swapped;
        seconds(line.OverlaySeconds1, second1, oneHigh ? kH : kL, 4, r1);
        seconds(line.OverlaySeconds2, second2, oneHigh ? kL : kH, 4, r2);
        const std::string& top = swapped ? line.OverlaySeconds2 : line.OverlaySeconds1;
        const std::string& bottom = swapped ? line.OverlaySeconds1 : line.OverlaySeconds2;
        int cmp;
        if (marked) {
            cmp = CompareFieldSeconds(bottom, top);
            line.TopFieldFirst = cmp != 0 ? 1 : 0;
        } else {
            cmp = CompareFieldSeconds(top, bottom);
            line.TopFieldFirst = cmp != 0 ? 0 : 1;
        }
        line.FieldTimeComparison = static_cast<uint8_t>(cmp);
    }

    auto counter = [&](std::string& out, int y) {
        out.clear();
        for (int k = 21; k <= 28; ++k) {
            const char ch = charAt(k, y);
            if (!ch) break;
            out += ch;
        }
    };
    counter(line.VtiFieldCount1, line.TopFieldFirst == 1 ? P : Q);
    counter(line.VtiFieldCount2, line.TopFieldFirst == 1 ? Q : P);
}

void ReadTimeOverlayLine(OverlayState& st, const OverlayControls& c, const TimeLineControls& t, const Bitmap24& bmp,
                         OverlayTimeLine& line) {
    ReadTimeOverlayLine(st, c, t, bmp, line, ReadBest);
}

}  // namespace overlay

namespace overlay {

std::string FormatOverlayTimeLine(const OverlayTimeLine& line, const OverlayState& st) {
    std::string out;
    out.reserve(200);
    auto put = [&](const char* key, const std::string& value) {
        if (!out.empty()) out += ' ';
        out.append(key).append(1, '=').append(value);
    };
    put("hour1", line.OverlayHour1);
    put("minute1", line.OverlayMinute1);
    put("second1", line.OverlaySecond1);
    put("seconds1", line.OverlaySeconds1);
    put("hour2", line.OverlayHour2);
    put("minute2", line.OverlayMinute2);
    put("second2", line.OverlaySecond2);
    put("seconds2", line.OverlaySeconds2);
    put("count1", line.VtiFieldCount1);
    put("count2", line.VtiFieldCount2);
    put("year", line.OverlayYear);
    put("month", line.OverlayMonth);
    put("day", line.OverlayDay);
    put("top", std::to_string(line.TopFieldFirst));
    put("cmp", std::to_string(line.FieldTimeComparison));
    put("cal", std::to_string(line.CalibrationResult));
    put("offsets", std::to_string(st.KiwiRowOffset1) + ',' + std::to_string(st.KiwiRowOffset2));
    put("shift", std::to_string(st.KiwiColumnShift));
    put("unread", std::to_string(line.Unread[0]) + ',' + std::to_string(line.Unread[1]));
    return out;
}

void SetLocatedGrid(OverlayState& st, uint8_t type, double x0, double pitch, int row, double gap, double level) {
    auto& cols = st.CharacterColumns[5];
    // Columns far off any frame are kept far off, without overflowing the sums of x.
    auto sane = [](double v) { return std::isfinite(v) ? std::clamp(v, -1e5, 1e5) : 0.0; };
    x0 = sane(x0), pitch = sane(pitch), gap = sane(gap);
    auto at = [&](double x) { return static_cast<int>(numtext::RoundHalfAway(sane(x))); };
    if (type == kIotaVti) {
        static constexpr int kCells[22] = {0, 1, 3, 4, 6, 7, 9, 10, 11, 12, 14, 15, 16, 17, 19, 20, 21, 22, 23, 24, 25, 26};
        for (int i = 0; i < 22; ++i) cols[static_cast<size_t>(7 + i)] = at(x0 + pitch * kCells[i]);
    } else if (type == kGhsOsd) {
        static constexpr int kTime[9] = {0, 1, 3, 4, 6, 7, 9, 10, 11};
        static constexpr int kDate[6] = {-9, -8, -6, -5, -3, -2};
        // The locator scans whole-pixel offsets from the first cell.
        for (int i = 0; i < 9; ++i) cols[static_cast<size_t>(7 + i)] = at(x0 + numtext::RoundHalfAway(pitch * kTime[i]));
        for (int i = 0; i < 6; ++i) cols[static_cast<size_t>(i)] = at(x0 + numtext::RoundHalfAway(pitch * kDate[i]));
    } else {
        const double x[8] = {x0, x0 + pitch, x0 + gap, x0 + gap + pitch, x0 + 2 * gap, x0 + 2 * gap + pitch,
                             x0 + 3 * gap, x0 + 3 * gap + pitch};
        for (int i = 0; i < 8; ++i) cols[static_cast<size_t>(7 + i)] = at(x[i]);
    }
    st.OverlayRow = std::clamp(row, -100000, 100000);
    st.OverlayCharPitch = pitch;
    st.OverlayLevel = level;
    st.OverlayGridLocated = 1;
}

}  // namespace overlay
