#include "analysis/noise_reduction.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "analysis/fft.h"
#include "analysis/mutual_event.h"
#include "analysis/wavelet.h"
#include "measure/photometry.h"
#include "measure/results_table.h"
#include "platform/numtext.h"

namespace noise {

namespace {

constexpr int kMaxColumn = 64;  // past the last used column of object C (54 in format 2)
constexpr int kCheckEvery = 1024;

// The four used columns of one object, one entry per data row.
struct Cells {
    std::vector<long double> S, B, P, Q;
};

// Which of S, B, P, Q a method reads as integers (row values); the others as reals.
struct Kinds {
    bool S, B, P, Q;
};
Kinds KindsOf(int method) {
    switch (method) {
        case kMeasurementValue: return {false, false, false, false};
        case kBackgroundOnly: return {true, false, true, false};
        case kGaussian: return {false, false, true, true};
        default: return {true, true, true, true};
    }
}

// Field views of one row, fields 1 .. count (empty beyond the last field).
int SplitFields(const std::string& row, std::array<std::string_view, kMaxColumn + 1>& f, int count) {
    size_t start = 0;
    int n = 1;
    for (; n <= count; ++n) {
        const size_t comma = row.find(',', start);
        if (comma == std::string::npos) {
            f[static_cast<size_t>(n)] = std::string_view(row).substr(start);
            break;
        }
        f[static_cast<size_t>(n)] = std::string_view(row).substr(start, comma - start);
        start = comma + 1;
    }
    for (int k = n + 1; k <= count; ++k) f[static_cast<size_t>(k)] = {};
    return n;
}

bool ReadCell(std::string_view cell, bool integer, long double& out, std::string& error) {
    if (integer) {
        const auto v = numtext::ParseInt32(cell);
        if (!v) {
            error = mutual::IntConvertError(std::string(cell));
            return false;
        }
        out = *v;
        return true;
    }
    const auto v = numtext::ParseFloat(cell);
    if (!v) {
        error = mutual::FloatConvertError(std::string(cell));
        return false;
    }
    out = *v;
    return true;
}

bool Cancelled(const Progress* p) { return p && p->cancel.load(std::memory_order_relaxed); }

// Net value with the background scaled to the aperture; no background pixels: no background.
long double Net(long double s, long double p, long double b, long double q) { return q == 0 ? s : s - p * b / q; }

struct Table {
    const std::vector<std::string>& lines;
    int first = 0;    // line index of data row 0
    int lastRow = -1;
    const std::string& Row(int r) const { return lines[static_cast<size_t>(first + r)]; }
};

// Reads the used columns of the given objects once, row by row.
bool ReadObjects(const Table& t, uint8_t version, const std::array<bool, 3>& used, Kinds kinds,
                 std::array<Cells, 3>& cells, const Progress* progress, std::string& error) {
    const size_t rows = static_cast<size_t>(t.lastRow + 1);
    int maxColumn = 1;
    for (int j = 1; j <= 3; ++j) {
        if (!used[static_cast<size_t>(j - 1)]) continue;
        Cells& c = cells[static_cast<size_t>(j - 1)];
        c.S.resize(rows), c.B.resize(rows), c.P.resize(rows), c.Q.resize(rows);
        maxColumn = std::max(maxColumn, ObjectBlockColumn(version, j) + 3);
    }
    std::array<std::string_view, kMaxColumn + 1> f;
    for (size_t r = 0; r < rows; ++r) {
        if (r % kCheckEvery == 0 && Cancelled(progress)) return false;
        SplitFields(t.Row(static_cast<int>(r)), f, maxColumn);
        for (int j = 1; j <= 3; ++j) {
            if (!used[static_cast<size_t>(j - 1)]) continue;
            Cells& c = cells[static_cast<size_t>(j - 1)];
            const size_t c0 = static_cast<size_t>(ObjectBlockColumn(version, j));
            if (!ReadCell(f[c0], kinds.S, c.S[r], error) || !ReadCell(f[c0 + 1], kinds.B, c.B[r], error) ||
                !ReadCell(f[c0 + 2], kinds.P, c.P[r], error) || !ReadCell(f[c0 + 3], kinds.Q, c.Q[r], error))
                return false;
        }
    }
    return true;
}

// Moving means over rows max(0, r - w) .. min(last, r + w) from prefix sums.
class MovingMean {
public:
    MovingMean(const std::vector<long double>& v, int w) : v_(v), w_(w) {
        if (w_ == 0) return;
        sum_.resize(v.size() + 1);
        for (size_t i = 0; i < v.size(); ++i) sum_[i + 1] = sum_[i] + v[i];
    }
    long double At(int r) const {
        if (w_ == 0) return v_[static_cast<size_t>(r)];
        const int last = static_cast<int>(v_.size()) - 1;
        const int lo = std::max(0, r - w_), hi = std::min(last, r + w_);
        return (sum_[static_cast<size_t>(hi + 1)] - sum_[static_cast<size_t>(lo)]) / (hi - lo + 1);
    }

private:
    const std::vector<long double>& v_;
    int w_;
    std::vector<long double> sum_;
};

// FilteredNetValue of one object for every row, by the method.
std::vector<long double> NetValues(const Cells& c, int method, int w, int lastRow) {
    const size_t rows = static_cast<size_t>(lastRow + 1);
    std::vector<long double> out(rows);
    if (method == kMeasurementValue || method == kBackgroundOnly) {
        const MovingMean b(c.B, w), q(c.Q, w);
        if (method == kMeasurementValue) {
            const MovingMean s(c.S, w), p(c.P, w);
            for (int r = 0; r <= lastRow; ++r) out[static_cast<size_t>(r)] = Net(s.At(r), p.At(r), b.At(r), q.At(r));
        } else {
            for (int r = 0; r <= lastRow; ++r)
                out[static_cast<size_t>(r)] = Net(c.S[static_cast<size_t>(r)], c.P[static_cast<size_t>(r)], b.At(r), q.At(r));
        }
        return out;
    }
    std::vector<long double> raw(rows);
    for (size_t r = 0; r < rows; ++r) raw[r] = Net(c.S[r], c.P[r], c.B[r], c.Q[r]);
    if (method != kGaussian) return raw;
    static constexpr long double kWeights[3][5] = {
        {0, 0, 1, 0, 0}, {0, 0.369L, 1, 0.369L, 0}, {0.36L, 0.775L, 1, 0.775L, 0.36L}};
    const int g = std::min(w, 2);
    for (int r = 0; r <= lastRow; ++r) {
        long double sum = 0, weights = 0;
        for (int i = std::max(0, r - g); i <= std::min(lastRow, r + g); ++i) {
            const long double weight = kWeights[g][i - r + 2];
            sum += weight * raw[static_cast<size_t>(i)];
            weights += weight;
        }
        out[static_cast<size_t>(r)] = sum / (weights > 0 ? weights : 1);
    }
    return out;
}

bool StatisticsOf(const Table& t, const Controls& c, int64_t fromFrame, int64_t toFrame, Statistics& out,
                  int& frameOffset, std::string& error);

// The transform's index range a row fills: indices i - o, with the first and last
// rows repeated into the slots before and after the table.
template <typename Put>
void FillTransform(int i, int lastRow, int o, int n, long double v, Put put) {
    if (o < 0 && i == 0)
        for (int k = 0; k <= std::min(-o, n - 1); ++k) put(k, v);
    if (i == lastRow)
        for (int k = std::max(0, lastRow - o); k <= n - 1; ++k) put(k, v);
    if (!(o < 0 && i == 0) && i != lastRow && i - o >= 0 && i - o <= n - 1) put(i - o, v);
}

void ZeroBins(fft::FftArrays& a, int from, int to) {
    for (int k = std::max(0, from); k <= std::min(to, a.FftSize - 1); ++k)
        a.FftReIn[static_cast<size_t>(k)] = a.FftImIn[static_cast<size_t>(k)] = 0;
}

void RewriteObjectA(std::vector<std::string>& lines, const Table& t, int o, int n, const std::vector<long double>& v) {
    for (int i = 0; i <= t.lastRow; ++i) {
        const int k = i - o;
        if (k < 0 || k > n - 1) continue;
        SetField(lines[static_cast<size_t>(t.first + i)], 11, FormatOneDecimal(static_cast<double>(v[static_cast<size_t>(k)])));
    }
}

Outcome Run(const std::vector<std::string>& table, const Controls& c, Progress* progress, bool reset) {
    Outcome out;
    const Table t{table, FirstDataIndex(c.formatVersion), LastRowOf(table, c.formatVersion)};
    // 1, 2
    if (t.lastRow < 0) return out;
    const int method = reset ? kMeasurementValue : std::clamp(c.method, 0, 4);
    const int objectCount = std::clamp(c.objectCount, 1, 3);
    std::array<bool, 3> used{};
    for (int j = 1; j <= objectCount; ++j) used[static_cast<size_t>(j - 1)] = reset || c.objectChecked[static_cast<size_t>(j - 1)];
    if (!used[0] && !used[1] && !used[2]) return out;
    const bool transform = !reset && (method == kFftFilter || method == kWaveletFilter) && used[0];
    const int n = method == kWaveletFilter ? wavelet::kWaveletSize : c.fftSize;
    if (!reset && (n < 2 || n > fft::kMaxFftSize || (n & (n - 1)) != 0)) {
        out.status = Status::Error;
        out.error = "The transform length must be a power of two.";
        return out;
    }
    // 3: the row offset, the rows centred in a longer transform.
    if (!reset) {
        int64_t o64 = 0;
        if (!ControlInt(c.offset, o64, out.error)) {
            out.status = Status::Error;
            return out;
        }
        int64_t o = o64;
        if (t.lastRow < n - 1) o = (t.lastRow - (n - 1)) / 2;
        else if (o > t.lastRow - (n - 1)) o = t.lastRow - (n - 1);
        o = std::clamp<int64_t>(o, -(int64_t{1} << 40), int64_t{1} << 40);
        if (o != o64) out.offsetChanged = true;
        out.offset = static_cast<int>(std::clamp<int64_t>(o, INT32_MIN, INT32_MAX));
    }
    const int o = out.offset;
    // 4, 5: the rows with the new net values.
    std::array<Cells, 3> cells;
    if (!ReadObjects(t, c.formatVersion, used, KindsOf(method), cells, progress, out.error)) {
        out.status = Cancelled(progress) && out.error.empty() ? Status::Cancelled : Status::Error;
        return out;
    }
    std::array<std::vector<long double>, 3> net;
    for (int j = 1; j <= 3; ++j)
        if (used[static_cast<size_t>(j - 1)])
            net[static_cast<size_t>(j - 1)] = NetValues(cells[static_cast<size_t>(j - 1)], method,
                                                        reset ? 0 : std::clamp(c.halfWidth[static_cast<size_t>(j - 1)], 0, 50), t.lastRow);
    std::vector<std::string>& lines = out.lines;
    lines.assign(table.begin(), table.begin() + t.first);
    lines.reserve(table.size());
    std::vector<long double> input(transform ? static_cast<size_t>(n) : 0);
    for (int i = 0; i <= t.lastRow; ++i) {
        if (i % kCheckEvery == 0 && progress) {
            if (Cancelled(progress)) {
                out.status = Status::Cancelled;
                lines.clear();
                return out;
            }
            progress->position.store(i, std::memory_order_relaxed);
        }
        std::string line = t.Row(i);
        for (int j = 1; j <= 3; ++j) {
            if (!used[static_cast<size_t>(j - 1)]) continue;
            const long double v = net[static_cast<size_t>(j - 1)][static_cast<size_t>(i)];
            SetField(line, 10 + j, FormatOneDecimal(static_cast<double>(v)));
            if (j == 1 && transform)
                FillTransform(i, t.lastRow, o, n, v, [&](int k, long double x) { input[static_cast<size_t>(k)] = x; });
        }
        lines.push_back(std::move(line));
    }
    if (progress) progress->position.store(t.lastRow, std::memory_order_relaxed);
    // 6: the first pass is complete.
    out.tableReplaced = true;
    out.status = Status::Done;
    // 7: FFT low-pass of object A.
    if (transform && method == kFftFilter) {
        int64_t lo = 0, hi = 0, from = 0, to = 0;
        if (!c.bandPass) {
            if (!ControlInt(c.cutoff, lo, out.error)) return out.status = Status::Error, out;
            hi = n - 1 - lo;
        } else if (!ControlInt(c.bandBegin, lo, out.error) || !ControlInt(c.bandEnd, hi, out.error)) {
            return out.status = Status::Error, out;
        }
        if (c.spotErasing && (!ControlInt(c.spotFrom, from, out.error) || !ControlInt(c.spotTo, to, out.error)))
            return out.status = Status::Error, out;
        if (hi - lo >= n) hi = n + lo - 1;
        // Bins outside the transform do not exist: the band is clamped into it.
        lo = std::clamp<int64_t>(lo, 0, n - 1);
        hi = std::clamp<int64_t>(hi, 0, n - 1);
        fft::FftArrays a;
        a.Resize(n);
        std::copy(input.begin(), input.end(), a.FftReIn.begin());
        a.RunFft(1);
        a.FftReIn.swap(a.FftReOut);
        a.FftImIn.swap(a.FftImOut);
        std::fill(a.FftReOut.begin(), a.FftReOut.end(), 0.0L);
        std::fill(a.FftImOut.begin(), a.FftImOut.end(), 0.0L);
        if (!c.outside) {
            ZeroBins(a, static_cast<int>(lo), static_cast<int>(hi));
        } else {
            ZeroBins(a, 0, static_cast<int>(std::max<int64_t>(lo, 1)) - 1);
            ZeroBins(a, static_cast<int>(hi) + 1, n - 1);
        }
        if (c.spotErasing) {
            if (from < 0 || from > n - 1) from = 0, out.spotFromReset = true;
            if (to < 0 || to > n - 1) to = 0, out.spotToReset = true;
            if (from <= to) {
                ZeroBins(a, static_cast<int>(from), static_cast<int>(to));
                ZeroBins(a, static_cast<int>(n - 1 - to), static_cast<int>(n - 1 - from));
            }
        }
        a.RunFft(-1);
        RewriteObjectA(lines, t, o, n, a.FftReOut);
    }
    // 8: wavelet threshold filter of object A.
    if (transform && method == kWaveletFilter) {
        int64_t from = 0, to = 0;
        if (!ControlInt(c.sigmaFrom, from, out.error) || !ControlInt(c.sigmaTo, to, out.error))
            return out.status = Status::Error, out;
        wavelet::WaveletData w;
        w.WaveletCoeffs = input;
        wavelet::DwtForward(w, w.WaveletCoeffs, 10);
        // NetValueStdDev: object A's raw net values over the noise rows.
        from = std::max<int64_t>(from, 0), to = std::max<int64_t>(to, 0);
        if (to < from) std::swap(from, to);
        to = std::min<int64_t>(to, t.lastRow);
        long double sum = 0, squares = 0;
        const std::vector<long double>& v = net[0];
        const int64_t count = to >= from ? to - from + 1 : 0;
        for (int64_t r = from; r <= to; ++r) sum += v[static_cast<size_t>(r)];
        const long double mean = count ? sum / count : 0;
        for (int64_t r = from; r <= to; ++r) squares += (v[static_cast<size_t>(r)] - mean) * (v[static_cast<size_t>(r)] - mean);
        out.sigma = count ? std::sqrt(squares / count) : 0;
        out.sigmaText = numtext::FormatFixed(static_cast<double>(out.sigma), 5, 1);
        out.threshold = WaveletThreshold(out.sigma, c.factor);
        out.waveletRun = true;
        for (long double& x : w.WaveletCoeffs)
            if (std::fabs(x) < out.threshold) x = 0;
        wavelet::DwtInverse(w, w.WaveletCoeffs, 10);
        RewriteObjectA(lines, t, o, n, w.WaveletCoeffs);
    }
    // 9: statistics over the new table.
    int64_t begin = 0, end = 0;
    if (!ControlInt(c.statBegin, begin, out.error) || !ControlInt(c.statEnd, end, out.error))
        return out.status = Status::Error, out;
    if (reset) begin = std::clamp<int64_t>(begin, 0, t.lastRow);
    const Table done{out.lines, t.first, t.lastRow};
    if (!StatisticsOf(done, c, begin, end, out.statistics, out.frameOffset, out.error))
        return out.status = Status::Error, out;
    out.statisticsShown = true;
    return out;
}

bool StatisticsOf(const Table& t, const Controls& c, int64_t fromFrame, int64_t toFrame, Statistics& out,
                  int& frameOffset, std::string& error) {
    if (!FrameOffsetOf(t.lines, c.formatVersion, frameOffset, error)) return false;
    int64_t from = fromFrame - frameOffset, to = toFrame - frameOffset;
    if (c.fieldMeasure) from *= 2, to *= 2;
    const bool spread = to > from;
    // Rows outside the table do not exist: the range is clamped into it.
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, t.lastRow);
    const int objectCount = std::clamp(c.objectCount, 1, 3);
    for (int j = 1; j <= 3; ++j) {
        std::string& mean = out.mean[static_cast<size_t>(j - 1)];
        std::string& deviation = out.deviation[static_cast<size_t>(j - 1)];
        if (j > objectCount) {
            mean = deviation = "0";
            continue;
        }
        std::vector<long double> values;
        for (int64_t r = from; r <= to; ++r) {
            const std::string cell = GetField(t.Row(static_cast<int>(r)), 10 + j);
            const auto v = numtext::ParseFloat(cell);
            if (!v) {
                error = mutual::FloatConvertError(cell);
                return false;
            }
            values.push_back(*v);
        }
        long double sum = 0, squares = 0;
        for (long double v : values) sum += v;
        const long double m = values.empty() ? 0 : sum / static_cast<long double>(values.size());
        for (long double v : values) squares += (v - m) * (v - m);
        // The deviation divides by the row span (to - from), as the window always has.
        const long double sd = spread && values.size() > 1 ? std::sqrt(squares / static_cast<long double>(values.size() - 1)) : 0;
        mean = FormatOneDecimal(static_cast<double>(m));
        deviation = FormatOneDecimal(static_cast<double>(sd));
    }
    return true;
}

}  // namespace

int FirstDataIndex(uint8_t formatVersion) { return formatVersion == 1 || formatVersion == 2 ? 6 : 3; }

int LastRowOf(const std::vector<std::string>& table, uint8_t formatVersion) {
    return static_cast<int>(std::min<size_t>(table.size(), INT32_MAX / 2)) - FirstDataIndex(formatVersion) - 1;
}

bool FrameOffsetOf(const std::vector<std::string>& table, uint8_t formatVersion, int& offset, std::string& error) {
    offset = 0;
    const size_t first = static_cast<size_t>(FirstDataIndex(formatVersion));
    if (table.size() <= first) return true;
    const std::string cell = GetField(table[first], 1);
    const auto v = numtext::ParseFloat(cell);
    if (!v) {
        error = mutual::FloatConvertError(cell);
        return false;
    }
    offset = static_cast<int>(std::clamp<int64_t>(numtext::RoundHalfEven(*v), -(1 << 30), 1 << 30));
    return true;
}

bool ComputeStatistics(const std::vector<std::string>& table, const Controls& c, int64_t fromFrame, int64_t toFrame,
                       Statistics& out, int& frameOffset, std::string& error) {
    const Table t{table, FirstDataIndex(c.formatVersion), LastRowOf(table, c.formatVersion)};
    return StatisticsOf(t, c, fromFrame, toFrame, out, frameOffset, error);
}

bool CutoffFrequencyText(const std::string& cutoff, int fftSize, bool fieldMode, long double frameRate, std::string& text,
                         std::string& error) {
    int64_t bin = 0;
    if (!ControlInt(cutoff, bin, error)) return false;
    text = FormatOneDecimal(static_cast<double>(bin * fft::RowsPerSecond(frameRate, fieldMode) / std::max(1, fftSize)));
    return true;
}

long double WaveletThreshold(long double sigma, int factor) {
    return sigma * std::sqrt(2 * std::log(1024.0L)) * factor / 100;
}

bool ControlInt(const std::string& text, int64_t& value, std::string& error) {
    const auto v = numtext::ParseInt32(text);
    if (!v) {
        error = mutual::IntConvertError(text);
        return false;
    }
    value = *v;
    return true;
}

Outcome Apply(const std::vector<std::string>& table, const Controls& c, Progress* progress) {
    return Run(table, c, progress, false);
}

Outcome Reset(const std::vector<std::string>& table, const Controls& c, Progress* progress) {
    return Run(table, c, progress, true);
}

}  // namespace noise
