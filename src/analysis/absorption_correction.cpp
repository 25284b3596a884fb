#include "analysis/absorption_correction.h"

#include <cmath>
#include <string_view>

#include "measure/results_table.h"
#include "platform/numtext.h"

namespace absorption {
namespace {

constexpr int kBackupTarget = 9, kBackupComparison = 10, kTarget = 11, kComparison = 12;

struct Span {
    size_t start = 0, end = std::string::npos;  // end: the comma after the field, or npos
};

// Where fields 1..12 of a row lie (fields beyond the row are empty at its end).
// One scan of the characters: the cells are short, a search call per cell costs more.
void Fields(const std::string& line, Span (&out)[13]) {
    const char* p = line.data();
    const size_t size = line.size();
    size_t i = 0;
    int f = 1;
    out[1].start = 0;
    for (; i < size && f <= 12; ++i)
        if (p[i] == ',') {
            out[f].end = i;
            if (++f <= 12) out[f].start = i + 1;
        }
    if (f <= 12) {
        out[f].end = std::string::npos;
        for (++f; f <= 12; ++f) out[f] = {size, std::string::npos};
    }
}

std::string_view Cell(const std::string& line, const Span& s) {
    if (s.start >= line.size()) return {};
    return std::string_view(line).substr(s.start, s.end == std::string::npos ? std::string::npos : s.end - s.start);
}

bool Blank(std::string_view t) { return t.find_first_not_of(' ') == std::string_view::npos; }

std::string ConvertError(std::string_view text) { return "'" + std::string(text) + "' is not a valid floating point value"; }

// Fields 9..12 replaced. A row whose field 12 ends the row keeps the class
// library's rule that the last field is not replaced: SetField does that.
std::string Rewritten(const std::string& line, const Span (&s)[13], std::string_view f9, std::string_view f10,
                      std::string_view f11, std::string_view f12) {
    if (s[12].end == std::string::npos) {
        std::string r = line;
        SetField(r, kBackupTarget, std::string(f9));
        SetField(r, kBackupComparison, std::string(f10));
        SetField(r, kTarget, std::string(f11));
        SetField(r, kComparison, std::string(f12));
        return r;
    }
    std::string r;
    r.reserve(line.size() + f9.size() + f10.size() + 16);
    r.append(line, 0, s[kBackupTarget].start);
    r.append(f9).push_back(',');
    r.append(f10).push_back(',');
    r.append(f11).push_back(',');
    r.append(f12);
    r.append(line, s[kComparison].end, std::string::npos);
    return r;
}

bool Applicable(const std::vector<std::string>& table, int formatVersion, int selectedFrame) {
    return (formatVersion == 1 || formatVersion == 2) && selectedFrame >= 0 && table.size() > kFirstDataIndex;
}

void Step(Progress* p) {
    if (p) p->position.fetch_add(1, std::memory_order_relaxed);
}
bool Cancelled(const Progress* p) { return p && p->cancel.load(std::memory_order_relaxed); }

// The lines above the data rows as they are, each a step of the bar.
std::vector<std::string> CopyHeader(const std::vector<std::string>& table, Progress* progress) {
    std::vector<std::string> lines;
    lines.reserve(table.size());
    for (size_t i = 0; i < kFirstDataIndex; ++i) {
        lines.push_back(table[i]);
        Step(progress);
    }
    return lines;
}

}  // namespace

int ProgressMax(size_t lineCount) {
    return 7 + static_cast<int>(lineCount > kFirstDataIndex ? std::min<size_t>(lineCount - kFirstDataIndex, 1u << 30) : 0);
}

Outcome Correct(const std::vector<std::string>& table, int formatVersion, int selectedFrame, Progress* progress) {
    Outcome out;
    if (!Applicable(table, formatVersion, selectedFrame)) return out;
    const size_t n = table.size() - kFirstDataIndex;
    if (static_cast<size_t>(selectedFrame) >= n) return out;
    Span s[13];
    const std::string kSound = "Column 10 holds sound data; correction is not possible.";
    const std::string& ref = table[kFirstDataIndex + static_cast<size_t>(selectedFrame)];
    Fields(ref, s);
    if (!Cell(ref, s[kBackupComparison]).empty()) {
        // Column 10 is also the sound share column: text there without a backup in
        // column 9 is sound data, which a correction would overwrite.
        if (Cell(ref, s[kBackupTarget]).empty() && !Blank(Cell(ref, s[kBackupComparison]))) {
            out.status = Status::Refused;
            out.error = kSound;
        }
        return out;  // corrected already: restore first
    }
    const std::string refText(Cell(ref, s[kComparison]));
    out.editsShown = true;
    out.edit1 = refText;
    out.edit2 = std::to_string(n);
    if (Blank(refText)) return out;
    const auto cref = numtext::ParseFloat(refText);
    if (!cref) {
        out.status = Status::Error;
        out.error = ConvertError(refText);
        return out;
    }
    if (*cref == 0) return out;
    const std::string crefText = numtext::FormatFixed(*cref, 6, 1);
    const long double crefValue = *cref;

    std::vector<std::string> lines = CopyHeader(table, progress);
    for (size_t r = 0; r < n; ++r) {
        if (Cancelled(progress)) {
            out.status = Status::Cancelled;
            return out;
        }
        const std::string& line = table[kFirstDataIndex + r];
        Fields(line, s);
        if (!Blank(Cell(line, s[kBackupComparison])) && Cell(line, s[kBackupTarget]).empty()) {
            out = {};
            out.status = Status::Refused;
            out.error = kSound;
            return out;
        }
        const std::string_view ct = Cell(line, s[kComparison]);
        std::optional<double> c;
        if (!line.empty() && !Blank(ct)) {
            c = numtext::ParseFloat(ct);
            if (!c) {
                out.status = Status::Error;
                out.error = ConvertError(ct);
                return out;
            }
        }
        if (!c || *c == 0) {
            // Nothing to divide by: the row stays as it is, without a backup.
            lines.push_back(line);
            Step(progress);
            continue;
        }
        const std::string_view tt = Cell(line, s[kTarget]);
        const auto t = numtext::ParseFloat(tt);
        if (!t) {
            out.status = Status::Error;
            out.error = ConvertError(tt);
            return out;
        }
        const long double corrected = static_cast<long double>(*t) * crefValue / static_cast<long double>(*c);
        lines.push_back(Rewritten(line, s, tt, ct, numtext::FormatFixed(static_cast<double>(corrected), 6, 1), crefText));
        Step(progress);
    }
    out.status = Status::Done;
    out.lines = std::move(lines);
    return out;
}

Outcome Restore(const std::vector<std::string>& table, int formatVersion, int selectedFrame, Progress* progress) {
    Outcome out;
    if (!Applicable(table, formatVersion, selectedFrame)) return out;
    const size_t n = table.size() - kFirstDataIndex;
    // Rows carried without a backup may come first: any backed-up row counts.
    Span s[13];
    bool backup = false;
    for (size_t r = 0; r < n && !backup; ++r) {
        const std::string& line = table[kFirstDataIndex + r];
        Fields(line, s);
        backup = !Cell(line, s[kBackupTarget]).empty();
    }
    if (!backup) return out;
    std::vector<std::string> lines = CopyHeader(table, progress);
    for (size_t r = 0; r < n; ++r) {
        if (Cancelled(progress)) {
            out.status = Status::Cancelled;
            return out;
        }
        const std::string& line = table[kFirstDataIndex + r];
        Fields(line, s);
        const std::string_view t = Cell(line, s[kBackupTarget]);
        if (t.empty()) {
            lines.push_back(line);  // no backup: emptying 11 and 12 would lose the values
        } else {
            lines.push_back(Rewritten(line, s, {}, {}, t, Cell(line, s[kBackupComparison])));
        }
        Step(progress);
    }
    out.status = Status::Done;
    out.lines = std::move(lines);
    return out;
}

const std::vector<std::string>& GuideLines() {
    static const std::vector<std::string> kLines = {
        "*****  Guide for operation  *****",
        "",
        "1) Two stars must be selected for measurement.",
        "  --> There are two measurement regions. Blue on the target star and Yellow on comparison.",
        "",
        "2) Click the lightcurve at the brightest value which is considered as a result of minimum absorption.",
        "  --> The frame will be displayed as a red dot.",
        "",
        "3) Click Correction button.",
        "   --> The light curve will be normalized based on the selected (red) frame. ",
        "",
        "4) Back the data to original with clicking the Restore button.",
        "",
    };
    return kLines;
}

}  // namespace absorption
