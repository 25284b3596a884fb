#include "measure/results_table.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/file_io.h"
#include "platform/numtext.h"

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string JoinCells(const std::vector<std::string>& cells) {
    std::string out;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) out += ',';
        out += cells[i];
    }
    return out;
}

// Cells are addressed 1-based as the columns are; empty cells stay empty.
struct Row {
    std::vector<std::string> cells;
    explicit Row(size_t n) : cells(n) {}
    void Q(size_t col, const std::string& text) { cells[col - 1] = Quoted(text); }
};

constexpr int kBlockStart[3] = {17, 34, 51};

void AppendHeaderRows(std::vector<std::string>& lines, const MeasureState& s, const RowContext& c) {
    const bool field = c.fieldMode;
    Row group(65);
    group.Q(2, "Time");
    group.Q(6, field ? "End of" : "Centre of");
    if (!field) group.Q(7, "End of");
    group.Q(11, "Result");
    group.Q(17, "Object 1");
    group.Q(34, "Object 2");
    group.Q(51, "Object 3");

    Row sub(67);
    sub.Q(2, "Detect");
    sub.Q(4, "VTI");
    sub.Q(6, field ? "Field" : "Frame");
    if (!field) sub.Q(7, "Frame");
    sub.Q(10, "Sound");
    sub.Q(11, "Measurement");
    sub.Q(12, "-Value");
    sub.Q(14, "FWHM/HFD");
    sub.cells[14] = "\"\"";
    sub.cells[15] = "\"\"";
    for (int b : kBlockStart) {
        sub.Q(b + 0, "Pixel Value");
        sub.Q(b + 2, "Pixel Num.");
        sub.Q(b + 4, "Radius");
        sub.Q(b + 7, "BKG");
        sub.Q(b + 8, "Position");
        sub.Q(b + 10, "Spin");
        sub.Q(b + 11, "-Direction");
        sub.Q(b + 14, "StarTrack");
    }

    static const char* const kBlockNames[17] = {"EstimatedPeak'sHeight", "Background", "Aperture", "Background",
                                                "Aperture", "BKG(Inner)", "(Outer)", "Shape", "X", "Y", "X", "Y",
                                                "Width", "Gap", "Mode", "Radius", "Threshold"};
    Row names(68);
    const bool vtiFields = s.TimeInserterType == 0 && c.overlayTime;
    names.Q(1, "No.");
    names.Q(2, vtiFields ? "Field1" : "Signal1");
    names.Q(3, vtiFields ? "Field2" : "Signal2");
    names.Q(4, "H");
    names.Q(5, "M");
    names.Q(6, "S");
    names.Q(10, "/Frame");
    for (int i = 0; i < 3; ++i) {
        names.Q(11 + i, "Object" + std::to_string(i + 1));
        names.Q(14 + i, "Object" + std::to_string(i + 1));
    }
    for (int b : kBlockStart)
        for (int off = 0; off < 17; ++off) names.Q(b + off, kBlockNames[off]);
    names.Q(68, "Note");

    lines.push_back(JoinCells(group.cells));
    lines.push_back(JoinCells(sub.cells));
    lines.push_back(JoinCells(names.cells));
}

std::optional<int32_t> IntColumn(const std::string& row, int col) {
    std::string f = GetField(row, col);
    if (f.empty()) return std::nullopt;
    auto v = numtext::ParseInt32(f);
    return v ? *v : 0;  // a column that does not convert counts as 0
}

size_t FieldCount(const std::string& row) { return static_cast<size_t>(std::count(row.begin(), row.end(), ',')) + 1; }

uint8_t ShapeFromText(const std::string& f) {
    if (f == "\"AvoidSunlitFace\"") return kShapeSunlitFace;
    if (f == "\"Meteor/LunarLimb\"") return kShapeLimb;
    return kShapeRing;
}

uint8_t TrackModeFromText(const std::string& f) {
    if (f == "\"Drift\"" || f == "\"Linear\"") return kTrackDrift;
    if (f == "\"OFF\"") return kTrackOff;
    return kTrackAnchor;
}

}  // namespace

void ResultsTable::Set(size_t i, std::string line) {
    lines_.at(i) = std::move(line);
    ++generation_;
}

void ResultsTable::Delete(size_t i) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    ++generation_;
}

void ResultsTable::Clear() {
    lines_.clear();
    ++generation_;
}

void ResultsTable::Assign(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    ++generation_;
}

bool ResultsTable::SaveToFile(const std::string& path, std::string& error) const {
    return fileio::WriteFileAtomic(path, fileio::JoinLines(lines_), error);
}

std::string GetField(const std::string& line, int n) {
    if (n < 1) n = 1;
    size_t start = 0;
    for (int field = 1;; ++field) {
        size_t comma = line.find(',', start);
        if (field == n) return line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (comma == std::string::npos) return std::string();
        start = comma + 1;
    }
}

void SetField(std::string& line, int n, const std::string& text) {
    if (n < 1) n = 1;
    size_t start = 0;
    for (int field = 1;; ++field) {
        size_t comma = line.find(',', start);
        if (comma == std::string::npos) return;  // field n is the last one, or beyond it
        if (field == n) {
            line.replace(start, comma - start, text);
            return;
        }
        start = comma + 1;
    }
}

std::string StripQuotes(const std::string& text) {
    std::string s = text;
    for (size_t i = 0; i < s.size(); ++i)
        if (s[i] == '"') s.erase(i, 1);  // the scan then skips the character that moved in
    return s;
}

bool IsBlankLine(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

ResultsFormat DetectResultsFormat(const std::vector<std::string>& lines) {
    ResultsFormat f;
    if (lines.empty()) return f;
    std::string first = lines[0];
    if (!first.empty() && first[0] == '"') first.erase(0, 1);
    std::string head = first.substr(0, 42);
    if (head == kFormatText2) f = {2, 6};
    else if (head == kFormatText1) f = {1, 6};
    return f;
}

ResultsFormat DetectResultsFormat(const ResultsTable& table) { return DetectResultsFormat(table.Lines()); }

int ObjectBlockColumn(uint8_t version, int k) {
    if (version == 2) return 17 + 17 * (k - 1);
    if (version == 1) return 14 + 17 * (k - 1);
    return 0;
}

std::string VideoSystemText(double frameRate, int32_t frameRateInt) {
    std::string s = numtext::FormatWidth(frameRate, 5, 2);
    const char* system = s == "29.97" ? "NTSC" : frameRateInt == 25 ? "PAL" : "---";
    return std::string("Video System : ") + system + " , FrameRate=" + s;
}

void WriteResultsHeader(ResultsTable& table, const MeasureState& s, const RowContext& c) {
    std::vector<std::string> lines;
    lines.push_back(kFormatText2);
    lines.push_back(Quoted("FileName : " + s.VideoFileName));
    // Written even while the rate is unknown: every reader takes six header lines.
    lines.push_back(Quoted(VideoSystemText(s.VideoFrameRate, s.VideoFrameRateInt)));
    AppendHeaderRows(lines, s, c);
    table.Assign(std::move(lines));
}

void WriteStartupResultsHeader(ResultsTable& table, const MeasureState& s, const RowContext& c) {
    std::vector<std::string> lines;
    lines.push_back(Quoted(kFormatText2));
    lines.push_back(Quoted("Filename : "));
    AppendHeaderRows(lines, s, c);
    table.Assign(std::move(lines));
}

std::string FormatResultRow(MeasureState& s, const RowContext& c, int lineIndex, bool firstRow) {
    DataLine& line = s.DataLines[static_cast<size_t>(lineIndex)];
    const DataLine& frame = s.DataLines[0];
    if (!firstRow) line.FrameNo10 += 5;
    const int count = std::clamp(s.ObjectCount, 1, 3);

    std::string r;
    r.reserve(400);
    r += std::to_string(line.FrameNo10 / 10);
    r += '.';
    r += std::to_string(line.FrameNo10 % 10);

    // 2, 3: field counters or signal boxes
    if (s.TimeInserterType == 0) {
        r += ',' + s.Overlay.VtiFieldCount1 + ',' + s.Overlay.VtiFieldCount2;
    } else {
        r += line.Signal1Detected ? ",\"***\"" : ",\"\"";
        r += line.Signal2Detected ? ",\"***\"" : ",\"\"";
    }
    // 4..7: time
    if (c.overlayTime) {
        const bool second = c.fieldMode && !firstRow;
        const OverlayTimeText& o = s.Overlay;
        r += ',' + (second ? o.OverlayHour2 : o.OverlayHour1);
        r += ',' + (second ? o.OverlayMinute2 : o.OverlayMinute1);
        r += ',' + (second ? o.OverlaySeconds2 : o.OverlaySeconds1);
        r += ',';
        if (!c.fieldMode) r += o.OverlaySeconds2;
    } else {
        r += ",,,";
        if (s.TIViReadOk) r += c.tiviText;
        r += ',';
    }
    r += ",,";  // 8, 9
    r += ',' + line.SoundText;
    for (int k = 1; k <= 3; ++k) {
        r += ',';
        if (k > count) continue;
        const DataLineObject& o = line.Objects[k];
        r += s.MeasurePeakPixel ? numtext::FormatFixed(o.PeakAboveBackground, 6, 1) : numtext::FormatFixed(o.Value, 8, 1);
    }
    for (int k = 1; k <= 3; ++k) {
        r += ',';
        if (k <= count) r += numtext::FormatFixed(frame.Objects[k].Fwhm, 6, 4);
    }
    for (int k = 1; k <= count; ++k) {
        const DataLineObject& o = line.Objects[k];
        const uint8_t shape = o.BkgShape;
        r += ',';
        r += c.psfPhotometry ? numtext::FormatFixed(frame.Objects[k].PeakEstimate, 5, 1) : std::to_string(o.PeakHeight);
        for (int32_t v : {o.BackgroundLevel, o.AperturePixels, o.BackgroundPixels, o.ApertureRadius, o.BkgInnerRadius,
                          o.BkgOuterRadius})
            r += ',' + std::to_string(v);
        r += shape == kShapeSunlitFace ? ",\"AvoidSunlitFace\"" : shape == kShapeLimb ? ",\"Meteor/LunarLimb\"" : ",";
        r += ',' + std::to_string(o.PosX) + ',' + std::to_string(o.PosY);
        if (shape == kShapeRing) r += ",,";
        else r += ',' + std::to_string(o.SpinX) + ',' + std::to_string(o.SpinY);
        r += ',';
        if (shape != kShapeRing && shape != kShapeSunlitFace) r += std::to_string(o.BkgWidth);
        r += ',';
        if (shape != kShapeRing) r += std::to_string(o.BkgGap);
        const bool tracked = o.TrackMode == kTrackAnchor || o.TrackMode == kTrackDrift;
        if (o.TrackMode == kTrackAnchor) {
            r += ",\"Anchor\"";
        } else if (o.TrackMode == kTrackDrift) {
            const auto& ref = s.TrackRefPoints[k];
            r += ref[1].IsSet() && ref[2].IsSet() ? ",\"Linear\"" : ",\"Drift\"";
        } else {
            r += ",\"OFF\"";
        }
        if (tracked) r += ',' + std::to_string(o.TrackRadius) + ',' + std::to_string(o.TrackThreshold);
        else r += ",,";
    }
    r += ',' + line.Note;
    return r;
}

void AppendResultRows(ResultsTable& table, MeasureState& s, const RowContext& c) {
    if (!c.fieldMode) {
        table.Append(FormatResultRow(s, c, 0, true));
        return;
    }
    const int first = c.oddFirst ? 1 : 2;
    const int second = c.oddFirst ? 2 : 1;
    table.Append(FormatResultRow(s, c, first, true));
    table.Append(FormatResultRow(s, c, second, false));
}

bool ReadResultsFile(const std::string& path, LoadedResults& out, std::string& error) {
    std::vector<std::string> lines;
    if (!fileio::ReadLines(path, lines, error, kResultsFileLimit)) return false;
    try {
        return ParseResultsFile(std::move(lines), out, error);
    } catch (const std::bad_alloc&) {
        out = LoadedResults{};
        error = "Out of memory reading " + path;
        return false;
    }
}

bool ParseResultsFile(std::vector<std::string> lines, LoadedResults& out, std::string& error) {
    out = LoadedResults{};
    if (!lines.empty()) {
        std::string& head = lines.front();
        if (fileio::IsTwoByteText(head)) {
            error = "the file is UTF-16 text; save it as ANSI or UTF-8 text";
            return false;
        }
        if (head.rfind("\xEF\xBB\xBF", 0) == 0) head.erase(0, 3);
    }
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const std::string& l) { return IsBlankLine(l); }), lines.end());
    while (!lines.empty() && lines.back().find(',') == std::string::npos) lines.pop_back();
    const ResultsFormat fmt = DetectResultsFormat(lines);
    if (lines.size() <= static_cast<size_t>(fmt.headerLines)) {
        error = fmt.version == 0 ? "not a results file (no recognised header)" : "the file holds no data rows";
        return false;
    }
    const std::string& row = lines[static_cast<size_t>(fmt.headerLines)];

    int count = 1;
    if (fmt.version != 0) {
        if (!GetField(row, 13).empty()) count = 3;
        else if (!GetField(row, 12).empty()) count = 2;
    }
    const size_t needed = fmt.version == 0 ? 16 : static_cast<size_t>(ObjectBlockColumn(fmt.version, count) + 16);
    if (FieldCount(row) < needed) {
        error = "the first data row has too few columns";
        return false;
    }
    auto first = numtext::ParseFloat(GetField(row, 1));
    if (!first || std::fabs(*first) > 2e9) {
        error = "the first data row has no frame number";
        return false;
    }

    out.format = fmt;
    out.objectCount = count;
    out.firstDataRow = row;
    out.firstRowFrame = static_cast<int32_t>(numtext::Trunc(*first));
    if (lines.size() - static_cast<size_t>(fmt.headerLines) >= 2) {
        double a = numtext::ParseFloat(GetField(row, 1)).value_or(1.0);
        double b = numtext::ParseFloat(GetField(lines[static_cast<size_t>(fmt.headerLines) + 1], 1)).value_or(1.0);
        int64_t step = numtext::RoundHalfAway(b - a);
        out.frameStep = static_cast<int32_t>(step < 1 || step > 64 ? 1 : step);
    }

    const std::string sys = lines.size() > 2 ? lines[2] : std::string();
    const std::string tag = fmt.version == 0 ? (sys.size() >= 15 ? sys.substr(15, 3) : "") : (sys.size() >= 16 ? sys.substr(16, 3) : "");
    out.frameRate = tag == "NTS" ? 29.97 : tag == "PAL" ? 25.0 : 30.0;

    static const int kDefaultX[3] = {40, 80, 120};
    for (int k = 1; k <= 3; ++k) {
        LoadedObject& o = out.objects[k];
        o.posX = kDefaultX[k - 1];
        o.posY = 40;
        if (fmt.version == 0 && k > 1) continue;
        const int colX = fmt.version == 0 ? 13 : ObjectBlockColumn(fmt.version, k) + 8;
        if (auto x = IntColumn(row, colX)) o.posX = *x;
        if (auto y = IntColumn(row, colX + 1)) o.posY = *y;
    }
    for (int k = 1; k <= count; ++k) {
        LoadedObject& o = out.objects[k];
        if (fmt.version == 0) {
            o.apertureRadius = IntColumn(row, 10);
            o.innerRadius = IntColumn(row, 11);
            o.outerRadius = IntColumn(row, 12);
            o.trackMode = TrackModeFromText(GetField(row, 15));
            o.trackRadius = IntColumn(row, 16);
            o.shape = kShapeRing;
            o.width = 25;
            o.gap = 10;
            continue;
        }
        const int b = ObjectBlockColumn(fmt.version, k);
        o.apertureRadius = IntColumn(row, b + 4);
        o.innerRadius = IntColumn(row, b + 5);
        o.outerRadius = IntColumn(row, b + 6);
        o.shape = ShapeFromText(GetField(row, b + 7));
        o.spinX = IntColumn(row, b + 10);
        o.spinY = IntColumn(row, b + 11);
        o.width = IntColumn(row, b + 12);
        o.gap = IntColumn(row, b + 13);
        if (fmt.version == 2) {
            double sigma = numtext::ParseFloat(GetField(row, 13 + k)).value_or(5.0 * 2.35482) / 2.35482;
            o.psfSigma = std::isfinite(sigma) && sigma > 0 ? sigma : 5.0;
        }
        o.trackMode = TrackModeFromText(GetField(row, b + 14));
        o.trackRadius = IntColumn(row, b + 15);
        std::string thr = GetField(row, b + 16);
        o.threshold = thr.empty() ? 95 : numtext::ParseInt32(thr).value_or(0);
    }

    std::string path = lines[fmt.version == 0 ? 0 : 1];
    std::erase_if(path, [](char ch) { return ch == '"' || ch == ','; });
    out.videoFileName = path.size() > 11 ? path.substr(11) : std::string();
    out.lines = std::move(lines);
    return true;
}

void ApplyLoadedObject(MeasureState& s, int k, const LoadedObject& o, uint8_t version) {
    s.ForAllLines(k, [&](DataLineObject& d) {
        if (o.apertureRadius) d.ApertureRadius = *o.apertureRadius;
        if (o.innerRadius) d.BkgInnerRadius = *o.innerRadius;
        if (o.outerRadius) d.BkgOuterRadius = *o.outerRadius;
        d.BkgShape = o.shape;
        if (o.spinX) d.SpinX = *o.spinX;
        if (o.spinY) d.SpinY = *o.spinY;
        if (o.width) d.BkgWidth = *o.width;
        if (o.gap) d.BkgGap = *o.gap;
        d.TrackMode = o.trackMode;
        if (o.trackRadius) d.TrackRadius = *o.trackRadius;
        if (o.threshold) d.TrackThreshold = *o.threshold;
        ClampObjectGeometry(d);
    });
    if (version != 0) s.SpinPoint[k] = {s.FrameObject(k).SpinX, s.FrameObject(k).SpinY};
    if (o.psfSigma) s.PsfSigma[k] = *o.psfSigma;
}
