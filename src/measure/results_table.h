#pragma once
// The results table: the program's one output format. Lines of text (a format
// line, a file-name line, a video-system line, three column-header rows, then one
// comma-separated row per frame or field), saved and loaded verbatim as CSV.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "measure/measure_state.h"

inline constexpr const char* kFormatText2 = "Tevorin File Format (for Ver.0.9.26 later)";
inline constexpr const char* kFormatText1 = "Tevorin File Format (for Ver.0.9.25 later)";

// The lines, held in core. Appending is O(1); every other change bumps the
// generation so that a view knows to rebuild instead of extending.
class ResultsTable {
public:
    size_t Count() const { return lines_.size(); }
    const std::string& operator[](size_t i) const { return lines_[i]; }
    const std::vector<std::string>& Lines() const { return lines_; }

    void Append(std::string line) { lines_.push_back(std::move(line)); }
    void Set(size_t i, std::string line);
    void Delete(size_t i);
    void Clear();
    void Assign(std::vector<std::string> lines);
    uint64_t Generation() const { return generation_; }

    // The lines with CR LF each, written atomically: a failed save leaves the old file.
    bool SaveToFile(const std::string& path, std::string& error) const;

private:
    std::vector<std::string> lines_;
    uint64_t generation_ = 0;
};

// Field accessors: a row is split at every comma; quotes have no meaning.
// GetField: field N (1-based; N < 1 counts as 1), empty beyond the last field.
std::string GetField(const std::string& line, int n);
// SetField: replaces field N in place; the last field (no comma after it) stays.
void SetField(std::string& line, int n, const std::string& text);
// Deletes double quotes; of two adjacent quotes the second is kept.
std::string StripQuotes(const std::string& text);

// A line of nothing but blanks and tabs. Such lines are no rows: every reader of a
// results table skips them, so a table with blank lines reads as the same table
// without them.
bool IsBlankLine(std::string_view line);

struct ResultsFormat {
    uint8_t version = 0;
    int32_t headerLines = 3;  // 0-based index of the first data row
};
ResultsFormat DetectResultsFormat(const ResultsTable& table);
ResultsFormat DetectResultsFormat(const std::vector<std::string>& lines);
// First column of object k's block in a row of this version (0 for version 0).
int ObjectBlockColumn(uint8_t version, int k);

// What the row writer reads from the main window's controls.
struct RowContext {
    bool fieldMode = false;         // "Field Measure"
    bool overlayTime = false;       // time read from the overlay ("KIWI" box)
    bool psfPhotometry = false;     // PSF "Photometry"
    bool oddFirst = true;           // "Field Order" at "Odd first"
    std::string tiviText;           // the TIVi reading box
};

// The header: format line, file-name line, video-system line, three header rows.
void WriteResultsHeader(ResultsTable& table, const MeasureState& s, const RowContext& c);
// The start-up header (no video yet).
void WriteStartupResultsHeader(ResultsTable& table, const MeasureState& s, const RowContext& c);
// The video-system line (without its quotes).
std::string VideoSystemText(double frameRate, int32_t frameRateInt);

// One row from DataLines[lineIndex]; a second row of a frame gets ".5" (the
// stored FrameNo10 grows by 5) and the second set of time strings.
std::string FormatResultRow(MeasureState& s, const RowContext& c, int lineIndex, bool firstRow);
// The row or rows of the current frame.
void AppendResultRows(ResultsTable& table, MeasureState& s, const RowContext& c);

// Settings restored from a results file. Every value is already checked and
// clamped; applying it cannot fail.
struct LoadedObject {
    // Optional integer columns: empty columns leave the stored value.
    std::optional<int32_t> apertureRadius, innerRadius, outerRadius, spinX, spinY, width, gap, trackRadius,
        threshold;
    uint8_t shape = 0;
    uint8_t trackMode = 0;
    std::optional<double> psfSigma;  // version 2 only
    int32_t posX = 0, posY = 0;
};

struct LoadedResults {
    std::vector<std::string> lines;
    ResultsFormat format;
    std::optional<int32_t> frameStep;  // empty with fewer than two data rows
    std::string firstDataRow;
    int objectCount = 1;
    double frameRate = 30.0;
    int32_t firstRowFrame = 0;
    PerObject<LoadedObject> objects;
    std::string videoFileName;
};

// Parses a results file's lines. Nothing outside is touched; on failure returns
// false with an English error. A file is refused unless it has a header the
// program knows and at least one data row with the fields its objects need.
// Blank lines are dropped and a UTF-8 byte-order mark is ignored; UTF-16 text is
// refused as such.
bool ParseResultsFile(std::vector<std::string> lines, LoadedResults& out, std::string& error);
// Reads and parses a results file of at most kResultsFileLimit bytes. Files that
// are not regular files, that hold far more lines than their size allows for, or
// that run the program out of memory are refused with an English error.
constexpr size_t kResultsFileLimit = size_t{512} << 20;
bool ReadResultsFile(const std::string& path, LoadedResults& out, std::string& error);
// Applies the parsed geometry of object k to all three lines, the chain of radii
// clamped to what the controls allow.
void ApplyLoadedObject(MeasureState& s, int k, const LoadedObject& o, uint8_t version);
