#pragma once
// Correction for absorption: the target's plotted value (column 11) divided by the
// comparison's (column 12) and scaled to the comparison at a reference row, so that
// a brightness change common to both stars (thin cloud, air mass) leaves the
// target's curve. The raw texts are kept in columns 9 and 10, from where Restore
// puts them back byte for byte.
//
// Contract. Correct and Restore read a copy of the table's lines (formats 1 and 2:
// six header lines, data from line index 6) and return the new table whole, or no
// table: nothing is half rewritten. A row whose comparison is empty or 0 is carried
// unchanged and gets no backup; a table whose column 10 holds sound shares (text
// there, none in column 9) is refused rather than overwritten; a non-numeric
// target or comparison ends the run with the class library's conversion message.
// Restore puts back only rows that carry a backup.
//
// Threading. Pure functions of their arguments: the window runs them on a worker
// and polls Progress; a worker run gives the same result as a serial one.
// Cancelling ends the run with status Cancelled and no table.
#include <string>
#include <vector>

#include "platform/background_job.h"

namespace absorption {

// Line index of the first data row (formats 1 and 2).
constexpr size_t kFirstDataIndex = 6;

enum class Status {
    Nothing,    // format 0, no selection, reference beyond the table, already corrected
                // (Correct), no backup (Restore), or an empty or 0 reference comparison
    Done,       // `lines` is the new table
    Refused,    // `error`: column 10 holds sound data
    Error,      // `error`: the conversion message; the table stays
    Cancelled,
};

struct Outcome {
    Status status = Status::Nothing;
    std::string error;
    std::vector<std::string> lines;
    // Edit1 (the reference comparison text) and Edit2 (the row count), when shown.
    bool editsShown = false;
    std::string edit1, edit2;
};

// Lines done so far in `position` (the progress bar runs to 7 + rows) and the cancel request.
using Progress = JobProgress;

// The bar's maximum for a table of `lineCount` lines: 7 + data rows.
int ProgressMax(size_t lineCount);

// "Correction" at data row `selectedFrame` (0-based).
Outcome Correct(const std::vector<std::string>& table, int formatVersion, int selectedFrame,
                Progress* progress = nullptr);
// "Restore to raw data".
Outcome Restore(const std::vector<std::string>& table, int formatVersion, int selectedFrame,
                Progress* progress = nullptr);

// The guide of Memo1, line by line.
const std::vector<std::string>& GuideLines();

}  // namespace absorption
