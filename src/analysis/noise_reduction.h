#pragma once
// Noise reduction of the results table: the plotted value of each chosen object
// (columns 11-13) rewritten with a net value S - P x B / Q recomputed from the
// object's block (S the sum, B the background pixel value, P and Q the aperture
// and background pixel counts) by a moving average, a moving average of the
// background only, a Gaussian, or for object A an FFT low-pass or a D4 wavelet
// threshold filter; and the mean and deviation of the plotted values over a
// frame range.
//
// Contract. Apply and Reset read a copy of the table's lines and the window's
// control texts and return the new table whole: a pass is either complete or not
// there. A conversion failure (a cell or a control text that is not a number, a
// decimal in an integer cell) ends the run with the class library's message and
// `lines` holding the table of the last completed pass (none when the first pass
// failed). A row whose background count Q is 0 uses P x B / Q = 0. Transform bins,
// statistics rows and transform indices are clamped into range: no input reaches
// outside an array. Moving averages come from prefix sums in extended precision:
// exact for integer cells (as the measurement writes them).
//
// Threading. Pure functions of their arguments: the window runs them on a worker
// with a Progress it polls; a worker run gives the same result as a serial one.
// Cancelling ends the run with status Cancelled and no table.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/background_job.h"

namespace noise {

enum Method : int { kMeasurementValue = 0, kBackgroundOnly = 1, kGaussian = 2, kFftFilter = 3, kWaveletFilter = 4 };

// What Apply reads from the window and the main window.
struct Controls {
    int method = kMeasurementValue;                         // RadioGroup1
    std::array<bool, 3> objectChecked{true, false, false};  // CheckBox1..CheckBox3
    std::array<int, 3> halfWidth{0, 0, 0};                  // UpDown1..UpDown3 (0..50)
    int fftSize = 1024;                                     // RadioGroup2
    std::string offset = "0";                               // Edit12 "Processed from"
    std::string cutoff = "100";                             // Edit15
    bool bandPass = false;                                  // CheckBox4 "Band Pass Check"
    std::string bandBegin = "0", bandEnd = "850";           // Edit13, Edit14
    bool outside = false;                                   // RadioButton2
    bool spotErasing = false;                               // CheckBox5 "Processing"
    std::string spotFrom = "0", spotTo = "0";               // Edit17, Edit19
    std::string sigmaFrom = "0", sigmaTo = "100";           // Edit21, Edit22 (rows)
    int factor = 70;                                        // UpDown4 (percent)
    std::string statBegin = "0", statEnd = "0";             // Edit10, Edit11 (frames)
    bool fieldMeasure = false;                              // the main window's "Field Measure"
    int objectCount = 1;
    uint8_t formatVersion = 2;
};

// The six statistics texts (Edit4-Edit6 means, Edit7-Edit9 deviations).
struct Statistics {
    std::array<std::string, 3> mean{"0", "0", "0"}, deviation{"0", "0", "0"};
};

enum class Status {
    Nothing,    // no data rows, or no object checked: nothing changed
    Done,
    Error,      // `error` holds the conversion message
    Cancelled,  // nothing changed
};

struct Outcome {
    Status status = Status::Nothing;
    std::string error;
    bool tableReplaced = false;  // `lines` is the new table
    std::vector<std::string> lines;
    bool offsetChanged = false;  // Edit12 := offset
    int offset = 0;
    bool waveletRun = false;  // Edit24 := sigmaText
    std::string sigmaText;
    long double sigma = 0, threshold = 0;
    bool spotFromReset = false, spotToReset = false;  // Edit17 / Edit19 := "0"
    bool statisticsShown = false;
    Statistics statistics;
    int frameOffset = 0;
};

// Rows done so far in `position` (the progress bar runs to LastRow) and the cancel request.
using Progress = JobProgress;

// "Apply" with the given controls.
Outcome Apply(const std::vector<std::string>& table, const Controls& c, Progress* progress = nullptr);
// "Reset": the unsmoothed net value of every object (checked or not) in columns
// 11 .. 10 + objectCount; statistics from statBegin clamped into 0 .. LastRow.
Outcome Reset(const std::vector<std::string>& table, const Controls& c, Progress* progress = nullptr);

// The first data row's line index (0-based) and the index of the last data row
// (negative: no data rows).
int FirstDataIndex(uint8_t formatVersion);
int LastRowOf(const std::vector<std::string>& table, uint8_t formatVersion);
// The frame number of the first data row, rounded half to even (0 without rows).
bool FrameOffsetOf(const std::vector<std::string>& table, uint8_t formatVersion, int& offset, std::string& error);
// Means and deviations of columns 11 .. 10 + objectCount over the rows of frames
// fromFrame .. toFrame (doubled with "Field Measure"), clamped into the table.
bool ComputeStatistics(const std::vector<std::string>& table, const Controls& c, int64_t fromFrame, int64_t toFrame,
                       Statistics& out, int& frameOffset, std::string& error);
// The cut-off frequency text of Edit16: bin x rows per second / fftSize, one
// decimal, on the FFT window's axis (fft::RowsPerSecond of `frameRate`, the
// table's rate or 0 when it gives none).
bool CutoffFrequencyText(const std::string& cutoff, int fftSize, bool fieldMode, long double frameRate, std::string& text,
                         std::string& error);
// The wavelet threshold sigma x sqrt(2 ln 1024) x factor / 100.
long double WaveletThreshold(long double sigma, int factor);
// A control text as the class library's integer conversion reads it.
bool ControlInt(const std::string& text, int64_t& value, std::string& error);

}  // namespace noise
