#include "graph/diffraction_fit.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <system_error>
#include <thread>

#include "analysis/timing_error.h"
#include "graph/fresnel.h"
#include "graph/light_curve.h"
#include "measure/results_table.h"
#include "platform/numtext.h"

namespace diffraction {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr double kUnmeasured = -990000.0;

std::string Fixed(long double v, int precision, int digits) {
    return numtext::FormatFixed(static_cast<double>(v), precision, digits);
}

}  // namespace

// ---------------------------------------------------------------- rows

bool PlotRows::Usable(int r) const {
    if (!lines || r < 0 || r >= dataRowCount) return false;
    const int64_t line = int64_t{firstDataLine} - 1 + r;
    return line >= 0 && line < static_cast<int64_t>(lines->size());
}

bool PlotRows::Read(int r, double& value) const {
    value = 0;
    const std::string& line = (*lines)[static_cast<size_t>(firstDataLine - 1 + r)];
    if (line.empty()) return false;
    const auto v = numtext::ParseFloat(GetField(line, plotColumn));
    if (v && std::isfinite(*v)) value = *v;
    return true;
}

PlotRows RowsOf(const std::vector<std::string>& lines, const GraphView& g) {
    return PlotRows{&lines, g.FirstDataLine, g.PlotColumnBase, g.DataRowCount};
}

// ---------------------------------------------------------------- level statistics

namespace {

// One range: the mean pass starts from `carry` and leaves the last value in it;
// the deviation pass starts from 0.
RangeStats RangeOf(const PlotRows& rows, int64_t from, int64_t to, double& carry) {
    RangeStats out;
    long double sum = 0;
    int n = 0;
    double v = carry;
    for (int64_t r = from; r <= to; ++r) {
        if (r < 0 || r > INT32_MAX || !rows.Usable(static_cast<int>(r))) continue;
        double x;
        if (rows.Read(static_cast<int>(r), x)) v = x;
        sum += v;
        ++n;
    }
    carry = v;
    if (n == 0) return out;
    const long double mean = sum / n;
    long double ss = 0;
    v = 0;
    for (int64_t r = from; r <= to; ++r) {
        if (r < 0 || r > INT32_MAX || !rows.Usable(static_cast<int>(r))) continue;
        double x;
        if (rows.Read(static_cast<int>(r), x)) v = x;
        ss += (v - mean) * (v - mean);
    }
    const long double sd = n > 1 ? sqrtl(ss / (n - 1)) : 0.0L;
    out.mean = static_cast<double>(mean);
    out.stdErr = static_cast<double>(sd / sqrtl(n));
    out.count = n;
    return out;
}

}  // namespace

LevelStats ComputeLevelStatistics(const PlotRows& rows, int selected, int beforeStart, int beforeEnd, int stepStart,
                                  int stepEnd, int afterStart, int afterEnd) {
    LevelStats s;
    const int64_t sel = selected;
    double carry = 0;
    s.before = RangeOf(rows, sel + beforeStart, sel + beforeEnd, carry);
    carry = 0;
    s.step = RangeOf(rows, sel + stepStart, sel + stepEnd, carry);
    // The after range's mean pass carries on from the step range's last value.
    s.after = RangeOf(rows, sel + afterStart, sel + afterEnd, carry);
    return s;
}

bool DRAverage(const PlotRows& rows, GraphView& g) {
    if (g.UpperLevelFixed || g.LowerLevelFixed) return false;
    const LevelStats s = ComputeLevelStatistics(rows, g.SelectedFrame, g.BeforeRangeStart, g.BeforeRangeEnd,
                                                g.StepRangeStart, g.StepRangeEnd, g.AfterRangeStart, g.AfterRangeEnd);
    g.LevelBeforeMean = s.before.mean;
    g.LevelStepMean = s.step.mean;
    g.LevelAfterMean = s.after.mean;
    g.LevelBeforeStdErr = s.before.stdErr;
    g.LevelStepStdErr = s.step.stdErr;
    g.LevelAfterStdErr = s.after.stdErr;
    g.LevelBeforeCount = s.before.count;
    g.LevelStepCount = s.step.count;
    g.LevelAfterCount = s.after.count;
    g.BeforeFrameFrom = g.SelectedFrame + g.BeforeRangeStart;
    g.BeforeFrameTo = g.SelectedFrame + g.BeforeRangeEnd;
    g.AfterFrameFrom = g.SelectedFrame + g.AfterRangeStart;
    g.AfterFrameTo = g.SelectedFrame + g.AfterRangeEnd;
    return true;
}

// ---------------------------------------------------------------- observed window

int ObservedWindow::UsedCount() const {
    int n = 0;
    for (int k = first; k <= last; ++k) n += used[static_cast<size_t>(k + kWindowLimit)];
    return n;
}

ObservedWindow LoadObservedWindow(const PlotRows& rows, int selected, bool selectArea, int start, int end) {
    ObservedWindow w;
    const int a = selectArea ? start : -30, b = selectArea ? end : 30;
    w.length = b - a + 1 <= 0 ? 1 : b - a + 1;
    w.first = std::clamp(a, -kWindowLimit, kWindowLimit);
    w.last = std::clamp(b, -kWindowLimit, kWindowLimit);
    for (int k = w.first; k <= w.last; ++k) {
        const int64_t r = int64_t{selected} + k;
        if (r < 0 || r > INT32_MAX || !rows.Usable(static_cast<int>(r))) continue;
        double v;
        rows.Read(static_cast<int>(r), v);
        w.value[static_cast<size_t>(k + kWindowLimit)] = v;
        w.used[static_cast<size_t>(k + kWindowLimit)] = 1;
    }
    return w;
}

// ---------------------------------------------------------------- the model of a row

int SubSampleHalfWidth(double frameRate, bool fieldMode) {
    if (frameRate == 25.0) return fieldMode ? 9 : 19;
    return fieldMode ? 8 : 16;
}

int CoarseStep(double frameRate) { return frameRate == 25.0 ? 400 : 300; }
int FineHalfCount(double frameRate) { return frameRate == 25.0 ? 20 : 33; }
int FitCandidateCount(double frameRate) { return 31 + 2 * FineHalfCount(frameRate) + 1; }

long double RowTime(const FitSetup& f, int k) {
    const long double T = k / static_cast<long double>(f.frameRate);
    return f.fieldMode ? T * 0.5L : T;
}

long double MeanIntensity(const FitSetup& f, long double T, long double sigma, long double p) {
    const int m = SubSampleHalfWidth(f.frameRate, f.fieldMode);
    const long double sign = f.reappearance ? 1.0L : -1.0L;
    const long double base = T + sigma / 10000;
    long double sum = 0;
    if (!f.doubleStar) {
        for (int s = -m; s <= m; ++s) sum += f.model.StarDiscIntensity((base + s / 1000.0L) * sign * p);
    } else {
        const long double h = f.doubleHeight;
        const long double D = f.reappearance ? f.doubleDiff : -f.doubleDiff;
        const long double base2 = base + D / 1000;
        for (int s = -m; s <= m; ++s)
            sum += (h * f.model.StarDiscIntensity((base2 + s / 1000.0L) * sign * p) +
                    (1000 - h) * f.model.StarDiscIntensity((base + s / 1000.0L) * sign * p)) /
                   1000;
    }
    return sum / (2 * m + 1);
}

long double ShiftErrorSum(const FitSetup& f, long double sigma, long double p) {
    const long double step = f.upper - f.lower;
    long double sum = 0;
    for (int k = f.window.first; k <= f.window.last; ++k) {
        const size_t i = static_cast<size_t>(k + kWindowLimit);
        if (!f.window.used[i]) continue;
        const long double d = f.lower + step * MeanIntensity(f, RowTime(f, k), sigma, p) - f.window.value[i];
        sum += d * d;
    }
    return sum;
}

RateFit FitRateAtShift(const FitSetup& f, long double sigma, const std::atomic<bool>* cancel) {
    RateFit r;
    static constexpr long double kSteps[3] = {0.1L, 0.01L, 0.001L};
    for (long double step : kSteps) {
        bool have = false;
        long double bestE = 0, bestP = r.p;
        for (int j = -10; j <= 10; ++j) {
            if (cancel && cancel->load(std::memory_order_relaxed)) {
                r.cancelled = true;
                return r;
            }
            const long double q = r.p + j * step;
            // A factor of 0 would freeze the pattern, a negative one mirror it.
            if (!(q > 0)) continue;
            const long double e = ShiftErrorSum(f, sigma, q);
            ++r.evaluations;
            if (!have || e < bestE) {
                have = true;
                bestE = e;
                bestP = q;
            }
        }
        r.p = bestP;
        r.e = bestE;
    }
    return r;
}

// ---------------------------------------------------------------- the search

namespace {

struct Candidate {
    long double sigma = 0, p = 1, e = 0;
    int evaluations = 0;
    bool cancelled = false;
};

unsigned ThreadCount(unsigned threads) {
    if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    return threads;
}

// Evaluates every candidate, spread over threads; each candidate's sum is the
// same whichever thread computes it.
void EvaluateAll(const FitSetup& f, std::vector<Candidate>& cands, unsigned threads, std::atomic<int>& done, int total,
                 const FitProgress& progress, const std::atomic<bool>* cancel) {
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (;;) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return;
            const size_t i = next.fetch_add(1);
            if (i >= cands.size()) return;
            Candidate& c = cands[i];
            if (f.grazing) {
                const RateFit r = FitRateAtShift(f, c.sigma, cancel);
                c.p = r.p, c.e = r.e, c.evaluations = r.evaluations, c.cancelled = r.cancelled;
                if (r.cancelled) return;
            } else {
                c.p = f.fresnelRate;
                c.e = ShiftErrorSum(f, c.sigma, c.p);
                c.evaluations = 1;
            }
            const int d = done.fetch_add(1) + 1;
            if (progress) progress(d, total);
        }
    };
    const unsigned n = std::min<unsigned>(threads, static_cast<unsigned>(cands.size()));
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < n; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the rest run here
        }
    }
    work();
    for (auto& th : pool) th.join();
}

// The first smallest error sum in candidate order.
size_t Choose(const std::vector<Candidate>& cands) {
    size_t best = 0;
    for (size_t i = 1; i < cands.size(); ++i)
        if (cands[i].e < cands[best].e) best = i;
    return best;
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(); }

}  // namespace

FitOutcome FitDiffraction(const FitSetup& f, unsigned threads, const FitProgress& progress,
                          const std::atomic<bool>* cancel) {
    FitOutcome out;
    threads = ThreadCount(threads);
    const int c = CoarseStep(f.frameRate), n = FineHalfCount(f.frameRate);
    const int total = FitCandidateCount(f.frameRate);
    out.candidates = total;
    std::atomic<int> done{0};
    std::vector<Candidate> coarse(31);
    for (int i = -15; i <= 15; ++i) coarse[static_cast<size_t>(i + 15)].sigma = static_cast<long double>(i) * c;
    EvaluateAll(f, coarse, threads, done, total, progress, cancel);
    for (const Candidate& k : coarse) out.evaluations += k.evaluations;
    if (Cancelled(cancel)) {
        out.status = FitOutcome::Status::Cancelled;
        return out;
    }
    const bool flat = std::all_of(coarse.begin(), coarse.end(), [&](const Candidate& k) { return k.e == coarse[0].e; });
    if (flat) {
        out.status = FitOutcome::Status::Flat;
        return out;
    }
    const long double centre = coarse[Choose(coarse)].sigma;
    std::vector<Candidate> fine(static_cast<size_t>(2 * n + 1));
    for (int j = -n; j <= n; ++j) fine[static_cast<size_t>(j + n)].sigma = centre + 10.0L * j;
    EvaluateAll(f, fine, threads, done, total, progress, cancel);
    for (const Candidate& k : fine) out.evaluations += k.evaluations;
    if (Cancelled(cancel)) {
        out.status = FitOutcome::Status::Cancelled;
        return out;
    }
    const Candidate& best = fine[Choose(fine)];
    out.sigma = best.sigma;
    out.p = best.p;
    out.e = best.e;
    return out;
}

// ---------------------------------------------------------------- FresnelDraw

FitPlan PrepareFit(const FitRequest& r) {
    FitPlan plan;
    const GraphView& g = r.view;
    const std::string no = "Fit is not possible: ";
    if (g.SelectedFrame < 0 || !r.lines) {
        plan.refusal = "Select target frame by clicking the graph area";
        return plan;
    }
    FitSetup& f = plan.setup;
    f.model = r.model;
    DiffractionModel& m = f.model;
    if (!(m.ShadowVelocityPerInterval > 0) || !std::isfinite(m.ShadowVelocityPerInterval)) {
        plan.refusal = no + "the shadow velocity must be above 0.";
        return plan;
    }
    // Row times divide by the frame rate.
    if (!(r.frameRate > 0) || !std::isfinite(r.frameRate)) {
        plan.refusal = no + "the frame rate is not known.";
        return plan;
    }
    // 1
    m.BuildFresnelScales();
    plan.starDiscTimeRadius = static_cast<long double>(g.StarAngularDiameter) * 0.5L * kPi *
                              static_cast<long double>(m.ObjectDistance) / (m.ShadowVelocityPerInterval * 648000.0L);
    m.StarDiscRadius = 50;
    m.StarDiscStep = plan.starDiscTimeRadius / 50;
    // 2
    plan.edit22 = Fixed(100 * m.StarDiscIntensity(0.000001L), 5, 1);
    plan.edit24 = Fixed(g.StarAngularDiameter, 15, 3);
    // 4
    f.reappearance = r.afterLevel >= r.beforeLevel;
    if (f.reappearance) {
        f.lower = g.LowerLevelFixed ? g.LowerLevel : r.beforeLevel;
        f.upper = g.UpperLevelFixed ? g.UpperLevel : r.afterLevel;
    } else {
        f.upper = g.UpperLevelFixed ? g.UpperLevel : r.beforeLevel;
        f.lower = g.LowerLevelFixed ? g.LowerLevel : r.afterLevel;
    }
    // A level taken from a range without rows is no level at all.
    const bool beforeFixed = f.reappearance ? g.LowerLevelFixed : g.UpperLevelFixed;
    const bool afterFixed = f.reappearance ? g.UpperLevelFixed : g.LowerLevelFixed;
    if (!beforeFixed && g.LevelBeforeCount <= 0) {
        plan.refusal = no + "no frames in the range before the event.";
        return plan;
    }
    if (!afterFixed && g.LevelAfterCount <= 0) {
        plan.refusal = no + "no frames in the range after the event.";
        return plan;
    }
    f.frameRate = r.frameRate;
    f.fieldMode = g.FieldMode != 0;
    f.grazing = r.grazing;
    f.fresnelRate = g.FresnelRate;
    f.doubleStar = g.DoubleStarMode != 0;
    f.doubleHeight = g.DoubleStarStepHeight;
    f.doubleDiff = g.DoubleStarTimeDiff;
    f.window = LoadObservedWindow(RowsOf(*r.lines, g), g.SelectedFrame, g.SelectArea != 0, g.ProcessRangeStart,
                                  g.ProcessRangeEnd);
    return plan;
}

FitReport FinishFit(const FitRequest& r, const FitPlan& plan, const FitOutcome& o) {
    FitReport rep;
    const FitSetup& f = plan.setup;
    const GraphView& g = r.view;
    rep.isReappearance = f.reappearance ? 1 : 0;
    rep.upper = f.upper;
    rep.lower = f.lower;
    rep.sigma = o.sigma;
    const int64_t rounded = numtext::RoundHalfEven(static_cast<double>(o.sigma));
    rep.fitTimeShift = static_cast<int>(f.reappearance ? rounded : -rounded);
    rep.fresnelRate = f.grazing ? o.p : f.fresnelRate;
    rep.evaluations = o.evaluations;
    rep.observedLength = f.window.length;
    rep.edit11 = Fixed(o.e, 12, 0);
    rep.edit13 = std::to_string(f.window.length);
    rep.edit22 = plan.edit22;
    rep.edit24 = plan.edit24;
    // 6: the larger of the two sample deviations against the drop.
    const long double noise =
        std::max(sqrtl(std::max(0, g.LevelBeforeCount)) * g.LevelBeforeStdErr,
                 sqrtl(std::max(0, g.LevelAfterCount)) * g.LevelAfterStdErr);
    const long double drop = fabsl(r.beforeLevel - r.afterLevel);
    if (drop == 0 || !std::isfinite(noise / drop)) {
        // Equal levels leave no drop to compare the noise with.
        rep.errorMs = -1;
        rep.edit12 = rep.eventErrorText = "---";
        return rep;
    }
    const long double u = timing::TimingErrorCurve(noise / drop);
    const bool field = g.FieldMode != 0;
    const long double rate = r.frameRate > 26 ? (field ? 59.94L : 29.97L) : (field ? 50.0L : 25.0L);
    const long double err = u * 1000 / rate;
    rep.errorMs = err;
    const long double shown = err * r.interval;
    rep.edit12 = Fixed(shown, 8, 0);
    rep.eventErrorText = Fixed(shown / 1000, 8, 3);
    return rep;
}

FitRun RunFit(const FitRequest& r, const FitProgress& progress, const std::atomic<bool>* cancel) {
    FitRun run;
    run.plan = PrepareFit(r);
    if (!run.plan.refusal.empty()) {
        run.refusal = run.plan.refusal;
        return run;
    }
    run.outcome = FitDiffraction(run.plan.setup, r.threads, progress, cancel);
    if (run.outcome.status == FitOutcome::Status::Cancelled) {
        run.cancelled = true;
        return run;
    }
    if (run.outcome.status == FitOutcome::Status::Flat) {
        run.refusal = "Fit is not possible: the light curve does not change with the event time.";
        return run;
    }
    run.report = FinishFit(r, run.plan, run.outcome);
    return run;
}

void ApplyFit(const FitRun& run, GraphView& g, DiffractionModel& model) {
    if (!run.Ok()) return;
    const FitReport& rep = run.report;
    g.FitTimeShift = rep.fitTimeShift;
    g.IsReappearance = rep.isReappearance;
    g.UpperLevel = static_cast<double>(rep.upper);
    g.LowerLevel = static_cast<double>(rep.lower);
    g.FresnelRate = static_cast<double>(rep.fresnelRate);
    g.EventErrorText = rep.eventErrorText;
    g.StarDiscTimeRadius = static_cast<double>(run.plan.starDiscTimeRadius);
    g.ObservedWindowLength = rep.observedLength;
    const DiffractionModel& m = run.plan.setup.model;
    model.FresnelScale = m.FresnelScale;
    model.StarDiscRadius = m.StarDiscRadius;
    model.StarDiscStep = m.StarDiscStep;
}

// ---------------------------------------------------------------- ResultShow

std::string LevelText(double level) { return level > kUnmeasured ? numtext::FormatFixed(level, 15, 1) : std::string(); }

ResultTexts ResultShowTexts(const GraphView& g, const std::vector<std::string>& lines, uint8_t formatVersion,
                            int fitTimeShift, bool reappearance, int interval) {
    ResultTexts t;
    const int h = formatVersion >= 1 ? 7 : 4;
    const long double rate = g.FresnelRate;
    t.edit7 = Fixed(rate, 15, 4);
    if (rate <= 1 && rate >= -1) {
        t.contactAngle = static_cast<double>(acosl(rate) / kPi * 180);
        t.angleSet = true;
        t.edit8 = t.contactAngleText = numtext::FormatFixed(t.contactAngle, 15, 1);
    } else {
        t.edit8 = t.contactAngleText = "---";
    }
    const long double shift = static_cast<long double>(fitTimeShift) * interval;
    const long double diff = static_cast<long double>(g.DoubleStarTimeDiff) * interval;
    const int64_t line = int64_t{g.SelectedFrame} + h - 1;
    if (g.SelectedFrame >= 0 && line < static_cast<int64_t>(lines.size()))
        t.edit9 = GetField(lines[static_cast<size_t>(line)], 1);
    if (rate != 0) {
        const long double s = reappearance ? -1 : 1;
        t.edit10 = Fixed(s * shift / 10, 15, 0);
        t.eventOffsetText = Fixed(s * shift / 10000, 15, 3);
        if (g.DoubleStarMode) t.edit18 = Fixed(reappearance ? s * shift / 10 - diff : s * shift / 10 + diff, 15, 0);
    }
    t.edit3 = LevelText(g.UpperLevel);
    t.edit4 = LevelText(g.LowerLevel);
    return t;
}

// ---------------------------------------------------------------- the drawn curve

ModelCurve::ModelCurve(const FitSetup& f, long double sigma, long double p) : setup_(f), sigma_(sigma), p_(p) {
    m_ = SubSampleHalfWidth(f.frameRate, f.fieldMode);
    // Past the smallest scale's table end (plus the disc's reach) every wavelength
    // reads 1 or 0, so the intensity is one of two constants.
    long double minScale = 0;
    for (int r = 0; r < kSpectralLines; ++r) {
        const long double s = f.model.FresnelScale[static_cast<size_t>(kWavelengthStep * r)];
        if (s > 0 && (minScale == 0 || s < minScale)) minScale = s;
    }
    long double reach = minScale > 0 ? (fresnel::kFresnelLast + 2) / minScale : 0;  // in time units
    if (f.model.StarDiameterMode && f.model.StarDiscRadius > 0)
        reach += fabsl(f.model.StarDiscRadius * f.model.StarDiscStep / 1000);
    const long double pAbs = fabsl(p);
    // In ms of u, with a margin for the double star's offset and the shift.
    const long double ms = pAbs > 0 ? reach / pAbs * 1000 + fabsl(sigma) / 10 + fabsl(f.doubleDiff) + 2 : 0;
    constantBeyond_ = minScale > 0 && std::isfinite(ms) && ms < 1e15L ? static_cast<int64_t>(ms) : INT64_MAX;
    if (minScale == 0) constantBeyond_ = 0;  // no scale: the curve never changes
    litValue_ = Intensity(constantBeyond_ == INT64_MAX ? 0 : constantBeyond_ + 1);
    darkValue_ = Intensity(constantBeyond_ == INT64_MAX ? 0 : -constantBeyond_ - 1);
    memo_.assign(64, 0);
    known_.assign(64, 0);
    const long double far = constantBeyond_ == INT64_MAX ? 0 : (constantBeyond_ + m_ + 2) / 1000.0L;
    litMean_ = MeanIntensity(setup_, far, sigma_, p_);
    darkMean_ = MeanIntensity(setup_, -far, sigma_, p_);
    if (constantBeyond_ != INT64_MAX) {
        litMeanMs_ = SumAt(constantBeyond_ + m_ + 1);
        darkMeanMs_ = SumAt(-constantBeyond_ - m_ - 1);
    }
}

long double ModelCurve::Intensity(int64_t u) {
    const FitSetup& f = setup_;
    const long double sign = f.reappearance ? 1.0L : -1.0L;
    const long double base = static_cast<long double>(u) / 1000 + sigma_ / 10000;
    if (!f.doubleStar) return f.model.StarDiscIntensity(base * sign * p_);
    const long double h = f.doubleHeight;
    const long double D = f.reappearance ? f.doubleDiff : -f.doubleDiff;
    return (h * f.model.StarDiscIntensity((base + D / 1000) * sign * p_) +
            (1000 - h) * f.model.StarDiscIntensity(base * sign * p_)) /
           1000;
}

long double ModelCurve::MeanAt(int64_t t) {
    // Every sub-sample on one side beyond the tables: the constant mean (the same
    // sum of the same values).
    if (constantBeyond_ != INT64_MAX && t - m_ > constantBeyond_) return litMeanMs_;
    if (constantBeyond_ != INT64_MAX && t + m_ < -constantBeyond_) return darkMeanMs_;
    return SumAt(t);
}

long double ModelCurve::SumAt(int64_t t) {
    long double sum = 0;
    for (int s = -m_; s <= m_; ++s) {
        const int64_t u = t + s;
        long double v;
        if (constantBeyond_ != INT64_MAX && u > constantBeyond_) {
            v = litValue_;
        } else if (constantBeyond_ != INT64_MAX && u < -constantBeyond_) {
            v = darkValue_;
        } else {
            // A small cache keyed by the millisecond: consecutive points share
            // all but one sub-sample.
            const size_t slot = static_cast<size_t>(u & 63);
            if (known_[slot] && memoKey_[slot] == u) {
                v = memo_[slot];
            } else {
                v = memo_[slot] = Intensity(u);
                memoKey_[slot] = u;
                known_[slot] = 1;
            }
        }
        sum += v;
    }
    return sum / (2 * m_ + 1);
}

long double ModelCurve::ValueAtRow(int k) {
    const long double T = RowTime(setup_, k);
    // Far from the event every sub-sample reads the same constant, so the mean is
    // the one computed once (the same bits).
    const long double edge = constantBeyond_ == INT64_MAX ? 0 : (constantBeyond_ + m_ + 2) / 1000.0L;
    const long double mean = constantBeyond_ != INT64_MAX && T > edge    ? litMean_
                             : constantBeyond_ != INT64_MAX && T < -edge ? darkMean_
                                                                         : MeanIntensity(setup_, T, sigma_, p_);
    return setup_.lower + (setup_.upper - setup_.lower) * mean;
}

}  // namespace diffraction
