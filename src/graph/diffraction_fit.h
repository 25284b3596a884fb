#pragma once
// Level statistics around the selected event row and the fit of the diffraction
// model (spectral_model.h) to the observed rows: event time and, for a graze, the
// speed factor of the pattern.
//
// Rows: data row r (0-based) is line FirstDataLine - 1 + r of the results table;
// its value is object A's plotted column. A row is usable when
// 0 <= r < DataRowCount and its line exists. An empty field reads as 0; a field
// that is not a number reads as 0 too (the table may be hand-edited).
//
// Times: a time shift sigma is in 0.1 ms of the row time unit, a speed factor p
// multiplies the pattern's speed, t_ms are milliseconds from the selected row.
//
// Determinism: every error sum adds its rows in ascending row offset and each
// row's sub-samples in ascending offset; the searches choose in candidate order
// (first minimum wins). FitDiffraction may spread candidates over threads; the
// result is bit-identical to a serial run whatever the thread count.
//
// Threading: the functions here read only their arguments (a FitSetup owns its
// copy of the model) and the Fresnel tables, so a fit may run on workers while
// the user-interface thread keeps the program's model.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graph/graph_view.h"
#include "graph/spectral_model.h"

namespace diffraction {

// ---------------------------------------------------------------- rows

// The plotted value of object A per data row, read from the results lines.
struct PlotRows {
    const std::vector<std::string>* lines = nullptr;
    int firstDataLine = 7;  // 1-based
    int plotColumn = 11;
    int dataRowCount = 0;

    bool Usable(int r) const;
    // The row's value; false for an empty line (the value is then 0).
    bool Read(int r, double& value) const;
};
// The rows as the graph view sees them.
PlotRows RowsOf(const std::vector<std::string>& lines, const GraphView& g);

// ---------------------------------------------------------------- level statistics

struct RangeStats {
    double mean = 0, stdErr = 0;
    int count = 0;
};
struct LevelStats {
    RangeStats before, step, after;
};

// Mean, standard error (sample sd / sqrt(n)) and count of the three ranges
// (offsets from `selected`, inclusive). An empty line keeps the value read before
// it in the same pass and still counts; each pass starts from 0, except the
// after-mean pass, which starts from the step range's last value.
LevelStats ComputeLevelStatistics(const PlotRows& rows, int selected, int beforeStart, int beforeEnd, int stepStart,
                                  int stepEnd, int afterStart, int afterEnd);

// The graph window's DRAverage: with a level fixed nothing changes; otherwise the
// nine statistics and the absolute before and after ranges (BeforeFrameFrom ...)
// are written into g. Returns false when nothing was computed.
bool DRAverage(const PlotRows& rows, GraphView& g);

// ---------------------------------------------------------------- observed window

constexpr int kWindowLimit = 120;  // row offsets -120..120
constexpr int kWindowSize = 2 * kWindowLimit + 1;

struct ObservedWindow {
    int first = -30, last = 30;  // offsets compared, inclusive
    int length = 61;             // last - first + 1 (1 when that is 0)
    std::array<long double, kWindowSize> value{};  // index offset + 120
    std::array<uint8_t, kWindowSize> used{};       // the row exists
    int UsedCount() const;
};

// Rows -30..30 around `selected`, or [start, end] with selectArea (clamped to
// -120..120).
ObservedWindow LoadObservedWindow(const PlotRows& rows, int selected, bool selectArea, int start, int end);

// ---------------------------------------------------------------- the model of a row

struct FitSetup {
    DiffractionModel model;  // scales and disc already built
    double frameRate = 29.97;
    bool fieldMode = false;
    bool reappearance = true;
    bool grazing = false;
    long double upper = 1, lower = 0;
    long double fresnelRate = 1;  // p of an occultation fit
    bool doubleStar = false;
    long double doubleHeight = 500;  // 0.1 % units
    long double doubleDiff = 0;      // ms
    ObservedWindow window;
};

// Half width m of the exposure sub-samples in ms: 16 (frames) or 8 (fields), 19
// and 9 at exactly 25 fps.
int SubSampleHalfWidth(double frameRate, bool fieldMode);
// Coarse step c (0.1 ms) and fine half count n of the searches.
int CoarseStep(double frameRate);
int FineHalfCount(double frameRate);

// Mean intensity over the sub-samples at row time T (seconds) for shift sigma and
// speed factor p (single or double star), between 0 and 1.
long double MeanIntensity(const FitSetup& f, long double T, long double sigma, long double p);
// Row time of offset k in seconds.
long double RowTime(const FitSetup& f, int k);
// E(sigma, p): sum over the window's used rows of (model - observed)^2.
long double ShiftErrorSum(const FitSetup& f, long double sigma, long double p);

struct RateFit {
    long double p = 1, e = 0;
    int evaluations = 0;
    bool cancelled = false;
};
// Speed-factor refinement at one shift: p from 1.0 in rounds of 0.1, 0.01, 0.001
// (j = -10..10 each); factors of 0 or below are never tried.
RateFit FitRateAtShift(const FitSetup& f, long double sigma, const std::atomic<bool>* cancel = nullptr);

// ---------------------------------------------------------------- the search

struct FitOutcome {
    enum class Status { Done, Cancelled, Flat };
    Status status = Status::Done;
    long double sigma = 0;  // chosen shift, 0.1 ms
    long double p = 1;      // its speed factor
    long double e = 0;      // its error sum
    int evaluations = 0;    // error sums computed
    int candidates = 0;     // coarse + fine candidates
};

// Progress: candidates done of `total`, from any worker thread.
using FitProgress = std::function<void(int done, int total)>;

// Coarse then fine search. threads 0: as many as the machine has (at most 8);
// 1: the calling thread alone. Flat: every coarse candidate gave one error sum.
FitOutcome FitDiffraction(const FitSetup& f, unsigned threads = 1, const FitProgress& progress = {},
                          const std::atomic<bool>* cancel = nullptr);
// Candidates of one search: 31 + 2n + 1.
int FitCandidateCount(double frameRate);

// ---------------------------------------------------------------- FresnelDraw

// Everything a fit reads, copied from the program's state.
struct FitRequest {
    DiffractionModel model;
    GraphView view;                  // ranges, levels, flags, SelectedFrame, ...
    const std::vector<std::string>* lines = nullptr;
    uint8_t formatVersion = 2;
    double frameRate = 29.97;        // VideoFrameRate
    int interval = 1;                // the main window's UpDown9 position
    bool grazing = false;            // RadioButton2
    long double beforeLevel = 0, afterLevel = 0;  // as the panel passes them
    unsigned threads = 0;
};

// Prepared fit: the refusal text, or the setup ready to search.
struct FitPlan {
    std::string refusal;  // "Fit is not possible: ..." or empty
    FitSetup setup;
    long double starDiscTimeRadius = 0;
    std::string edit22, edit24;  // intensity at the edge (%) and the diameter
};
// Steps 1, 2 and 4: scales, disc, levels and direction, the observed window.
FitPlan PrepareFit(const FitRequest& r);

// What a finished fit writes.
struct FitReport {
    int fitTimeShift = 0;     // 0.1 ms
    uint8_t isReappearance = 1;
    long double fresnelRate = 1;
    long double upper = 0, lower = 0;
    long double sigma = 0;
    long double errorMs = -1;  // err of step 6 in ms per interval; < 0: none ("---")
    int evaluations = 0;
    int observedLength = 0;
    std::string edit11, edit12, edit13, edit22, edit24, eventErrorText;
};
// Steps 4 to 6 after a search: shift, rate, timing error and the edit texts.
FitReport FinishFit(const FitRequest& r, const FitPlan& plan, const FitOutcome& o);

// A whole fit: prepare, search, finish. `refusal` is the information box's text
// when the fit cannot place the event; a cancelled fit has `cancelled` set. Either
// way nothing is written anywhere: ApplyFit does that.
struct FitRun {
    std::string refusal;
    bool cancelled = false;
    FitPlan plan;
    FitOutcome outcome;
    FitReport report;
    bool Ok() const { return refusal.empty() && !cancelled; }
};
FitRun RunFit(const FitRequest& r, const FitProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);
// Writes a successful fit's state: FitTimeShift, IsReappearance, the levels,
// FresnelRate (grazing), EventErrorText, StarDiscTimeRadius, ObservedWindowLength
// into g, and the scales and disc into the model.
void ApplyFit(const FitRun& run, GraphView& g, DiffractionModel& model);

// ---------------------------------------------------------------- ResultShow

struct ResultTexts {
    std::string edit7, edit8, contactAngleText, edit9, edit10, eventOffsetText, edit18, edit3, edit4;
    double contactAngle = 0;
    bool angleSet = false;
};
// The panel's result edits from the fit state. Offsets are written only for a
// rate other than 0; otherwise they are empty.
ResultTexts ResultShowTexts(const GraphView& g, const std::vector<std::string>& lines, uint8_t formatVersion,
                            int fitTimeShift, bool reappearance, int interval);

// A level's text in Edit3/Edit4: 1 decimal, empty while unmeasured (-990000 or below).
std::string LevelText(double level);

// ---------------------------------------------------------------- the drawn curve

// The model curve of a finished fit: ModelPointAt at millisecond offsets from the
// selected row, memoised (values on the millisecond grid, constants beyond the
// tables).
class ModelCurve {
public:
    ModelCurve(const FitSetup& f, long double sigma, long double p);
    // Mean intensity (0..1) at t_ms.
    long double MeanAt(int64_t tMs);
    // Model value lower + step x mean.
    long double ValueAt(int64_t tMs) { return setup_.lower + (setup_.upper - setup_.lower) * MeanAt(tMs); }
    // At the exact row time (seconds) of an offset, as the fit computes it.
    long double ValueAtRow(int k);

private:
    long double Intensity(int64_t uMs);  // I at one sub-sample time (ms)
    long double SumAt(int64_t tMs);       // the mean over the sub-samples, memoised
    FitSetup setup_;
    long double sigma_, p_;
    int m_;
    int64_t constantBeyond_;  // |u x p| in ms beyond which I is constant
    long double litValue_, darkValue_;
    long double litMean_, darkMean_;  // MeanIntensity far on either side
    long double litMeanMs_ = 0, darkMeanMs_ = 0;  // MeanAt far on either side
    std::vector<long double> memo_;
    std::vector<uint8_t> known_;
    std::array<int64_t, 64> memoKey_{};
};

}  // namespace diffraction
