#include "analysis/poly_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/numtext.h"

namespace mutual {
namespace {

constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr int kMaxPowers = 2 * kMaxDegree + 1;

long double Day(long double t) {
    t = std::fmod(t, 86400.0L);
    return t < 0 ? t + 86400 : t;
}

std::string ClockText(long double t, const char* h, const char* m, int precision, int decimals, const char* s) {
    const auto hour = static_cast<int64_t>(t / 3600);
    const auto minute = static_cast<int64_t>((t - 3600.0L * hour) / 60);
    const long double second = t - 3600.0L * hour - 60.0L * minute;
    return std::to_string(hour) + h + std::to_string(minute) + m +
           numtext::FormatFixed(static_cast<double>(second), precision, decimals) + s;
}

std::string UnitClock(const Unit& u, const char* sep) {
    return std::to_string(u.hour) + sep + std::to_string(u.minute) + sep +
           numtext::FormatFixed(static_cast<double>(u.second), 8, 4);
}

}  // namespace

std::string CheckSelection(const std::vector<Unit>& units, int first, int last, int degree) {
    const int count = static_cast<int>(units.size()) - 1;
    if (count < 1) return "There are no units to fit. Press \"Calculate & Draw Graph\" first.";
    if (degree < kMinDegree || degree > kMaxDegree) return "The degree must be 2 to 14.";
    if (first < 1 || last > count || int64_t{last} - first + 1 < degree + 1)
        return "Select at least " + std::to_string(degree + 1) + " units (from 1 to " + std::to_string(count) +
               ") to fit a polynomial of degree " + std::to_string(degree) + ".";
    return {};
}

namespace {

const char* kSingular = "The polynomial cannot be fitted to these units: the normal equations are singular.";

// Steps shared by "Fit" and the window search: values over the selection, the
// minimum unit and its refinement to 0.1 s, the RMS.
void Report(const std::vector<Unit>& units, int first, int last, bool increase, FitResult& r) {
    long double smallest = kInf, xMin = 0, squares = 0, largest = 0;
    for (int u = first; u <= last; ++u) {
        FitPoint p;
        p.unit = u;
        p.x = UnitX(units, u);
        p.value = r.poly.Value(p.x);
        p.slope = r.poly.Slope(p.x, increase);
        if (p.slope > largest) largest = p.slope;
        if (p.value < smallest) {
            smallest = p.value;
            r.minUnit = u;
            xMin = p.x;
        }
        const long double d = p.value - units[static_cast<size_t>(u)].Ts;
        squares += d * d;
        r.points.push_back(p);
    }
    if (r.minUnit == 0) r.minUnit = first;  // every value NaN
    r.largestSlope = largest > 0 ? largest : 1000;
    smallest = kInf;
    r.xStar = xMin;
    for (int i = -10; i <= 10; ++i) {
        const long double x = xMin - i / 10.0L;
        const long double v = r.poly.Value(x);
        if (v < smallest) {
            smallest = v;
            r.xStar = x;
        }
    }
    // Rounded to the shown 0.1 s first, so that 59.96 s is not shown as "60.0s".
    const long double t = Day(std::nearbyint((r.t0 + r.xStar) * 10) / 10);
    r.minimumText = ClockText(t, "h ", "m ", 4, 1, "s");
    r.rms = std::sqrt(squares / (last - first + 1));
    r.rmsText = numtext::FormatFixed(static_cast<double>(r.rms), 8, 1);
}

}  // namespace

void Powers(long double x, int k, long double* p) {
    p[0] = 1;
    for (int i = 1; i <= k; ++i) p[i] = p[i - 1] * x;
}

long double Polynomial::Value(long double x) const {
    long double p[kMaxCoefficients];
    Powers(x, degree, p);
    long double sum = 0;
    for (int k = 0; k <= degree; ++k) sum += c[k] * p[k];
    return sum;
}

long double Polynomial::Slope(long double x, bool increase) const {
    long double p[kMaxCoefficients];
    Powers(x, degree, p);
    long double sum = 0;
    for (int k = 1; k <= degree; ++k) sum += k * c[k] * p[k - 1];
    return increase ? sum : -sum;
}

long double Polynomial::ThirdDerivative(long double x) const {
    long double p[kMaxCoefficients];
    Powers(x, degree, p);
    long double sum = 0;
    for (int k = 3; k <= degree; ++k) sum += static_cast<long double>(k * (k - 1) * (k - 2)) * c[k] * p[k - 3];
    return sum;
}

namespace {
void FillEquations(const long double* s, const long double* b, int m, NormalEquations& eq) {
    eq.m = m;
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < m; ++j) eq.a[i][j] = s[i + j];
        eq.a[i][m] = b[i];
    }
}
}  // namespace

void BuildNormalEquations(const long double* x, const long double* y, int n, int m, NormalEquations& eq) {
    long double s[kMaxPowers] = {}, b[kMaxCoefficients] = {}, p[kMaxPowers];
    for (int k = 0; k < n; ++k) {
        Powers(x[k], 2 * m - 2, p);
        for (int i = 0; i <= 2 * m - 2; ++i) s[i] += p[i];
        for (int i = 0; i < m; ++i) b[i] += y[k] * p[i];
    }
    FillEquations(s, b, m, eq);
}

bool SolveGauss(NormalEquations eq, long double* c) {
    const int m = eq.m;
    auto& a = eq.a;
    for (int col = 0; col < m; ++col) {
        int best = 0;
        for (int r = 1; r < m; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[best][col])) best = r;
        if (best != col)
            for (int j = 0; j <= m; ++j) std::swap(a[best][j], a[col][j]);
    }
    for (int r = 0; r < m; ++r) {
        const long double p = a[r][r];
        if (p == 0 || !std::isfinite(p)) return false;
        a[r][r] = 1;
        for (int j = r + 1; j <= m; ++j) a[r][j] /= p;
        for (int i = r + 1; i < m; ++i) {
            for (int j = r + 1; j <= m; ++j) a[i][j] -= a[r][j] * a[i][r];
            a[i][r] = 0;
        }
    }
    long double out[kMaxCoefficients];
    for (int r = m - 1; r >= 0; --r) {
        long double v = a[r][m];
        for (int j = r + 1; j < m; ++j) v -= a[r][j] * out[j];
        if (!std::isfinite(v)) return false;
        out[r] = v;
    }
    for (int r = 0; r < m; ++r) c[r] = out[r];
    return true;
}

long double UnitX(const std::vector<Unit>& units, int u) {
    const long double x = UnitSeconds(units[static_cast<size_t>(u)]) - UnitSeconds(units[1]);
    return x < 0 ? x + 86400 : x;
}

void SetFitWindow(int first, int last, int unitCount, int& windowFirst, int& windowLast) {
    if (first > last) return;
    // In 64 bits: any two ints may come in; the bounds bring the window back to int.
    const int64_t third = std::abs(numtext::RoundHalfEven((int64_t{last} - first + 1) / 3.0));
    windowFirst = static_cast<int>(std::max<int64_t>(1, first - third));
    windowLast = static_cast<int>(std::min<int64_t>(unitCount, last + third));
}

FitResult FitUnits(const std::vector<Unit>& units, int first, int last, int degree, bool increase) {
    FitResult r;
    r.error = CheckSelection(units, first, last, degree);
    if (!r.error.empty()) return r;
    const int n = last - first + 1, m = degree + 1;
    std::vector<long double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
    for (int u = first; u <= last; ++u) {
        x[static_cast<size_t>(u - first)] = UnitX(units, u);
        y[static_cast<size_t>(u - first)] = units[static_cast<size_t>(u)].Ts;
    }
    NormalEquations eq;
    BuildNormalEquations(x.data(), y.data(), n, m, eq);
    r.poly.degree = degree;
    if (!SolveGauss(eq, r.poly.c)) {
        r.error = kSingular;
        return r;
    }
    r.t0 = UnitSeconds(units[1]);
    for (int k = 0; k <= degree; ++k)
        r.lines.push_back(std::to_string(k) + " " + numtext::FormatGeneral(static_cast<double>(r.poly.c[k])));
    Report(units, first, last, increase, r);
    for (const FitPoint& p : r.points)
        r.lines.push_back(UnitClock(units[static_cast<size_t>(p.unit)], ",") + "," +
                          numtext::FormatFixed(static_cast<double>(p.slope), 8, 1));
    for (int u = first + 1; u <= last; ++u) {
        if (r.poly.ThirdDerivative(UnitX(units, u)) * r.poly.ThirdDerivative(UnitX(units, u - 1)) < 0) {
            r.turnUnits.push_back(u);
            r.turnTexts.push_back(UnitClock(units[static_cast<size_t>(u)], " "));
        }
    }
    r.ok = true;
    return r;
}

namespace {

struct Candidate {
    long double rms = kInf;
    Polynomial poly;
    int s = 0, e = 0;
};

// RMS of a polynomial over the selection, from precomputed powers.
long double SelectionRms(const Polynomial& poly, const std::vector<long double>& pw, const std::vector<long double>& y,
                         int base, int stride, int first, int last) {
    long double squares = 0;
    for (int u = first; u <= last; ++u) {
        const long double* p = &pw[static_cast<size_t>((u - base) * stride)];
        long double v = 0;
        for (int k = 0; k <= poly.degree; ++k) v += poly.c[k] * p[k];
        const long double d = v - y[static_cast<size_t>(u - base)];
        squares += d * d;
    }
    return std::sqrt(squares / (last - first + 1));
}

FitResult Finish(const std::vector<Unit>& units, int first, int last, const Candidate& best) {
    FitResult r;
    if (best.s == 0) {
        r.error = kSingular;
        return r;
    }
    r.poly = best.poly;
    r.t0 = UnitSeconds(units[1]);
    r.windowFirst = best.s;
    r.windowLast = best.e;
    Report(units, first, last, false, r);
    r.ok = true;
    return r;
}

std::string CheckWindow(const std::vector<Unit>& units, int first, int last, int& wf, int& wl, int degree) {
    std::string error = CheckSelection(units, first, last, degree);
    if (!error.empty()) return error;
    const int count = static_cast<int>(units.size()) - 1;
    wf = std::clamp(wf, 1, std::max(1, first));
    wl = std::clamp(wl, std::min(last, count), count);
    return error;
}

}  // namespace

FitResult SearchWindow(const std::vector<Unit>& units, int first, int last, int windowFirst, int windowLast,
                       int degree, const std::function<void(int)>& progress, const std::atomic<bool>* cancel) {
    FitResult refused;
    refused.error = CheckWindow(units, first, last, windowFirst, windowLast, degree);
    if (!refused.error.empty()) return refused;
    const int m = degree + 1, stride = 2 * degree + 1;
    const int base = windowFirst, n = windowLast - windowFirst + 1;
    std::vector<long double> pw(static_cast<size_t>(n * stride)), y(static_cast<size_t>(n));
    for (int u = windowFirst; u <= windowLast; ++u) {
        Powers(UnitX(units, u), stride - 1, &pw[static_cast<size_t>((u - base) * stride)]);
        y[static_cast<size_t>(u - base)] = units[static_cast<size_t>(u)].Ts;
    }
    Candidate best;
    NormalEquations eq;
    Polynomial poly;
    poly.degree = degree;
    for (int s = windowFirst; s <= first; ++s) {
        if (cancel && cancel->load()) {
            refused.error = "The search was cancelled.";
            return refused;
        }
        // Each start grows its sums unit by unit, in the same order as a fresh build
        // of every window would add them, so the sums are identical to that build.
        long double sums[kMaxPowers] = {}, b[kMaxCoefficients] = {};
        auto add = [&](int u) {
            const long double* p = &pw[static_cast<size_t>((u - base) * stride)];
            for (int k = 0; k < stride; ++k) sums[k] += p[k];
            const long double yu = y[static_cast<size_t>(u - base)];
            for (int i = 0; i < m; ++i) b[i] += yu * p[i];
        };
        for (int u = s; u < last; ++u) add(u);
        for (int e = last; e <= windowLast; ++e) {
            add(e);
            FillEquations(sums, b, m, eq);
            if (!SolveGauss(eq, poly.c)) continue;
            const long double rms = SelectionRms(poly, pw, y, base, stride, first, last);
            if (rms < best.rms) best = {rms, poly, s, e};
        }
        if (progress) progress(s - windowFirst + 1);
    }
    return Finish(units, first, last, best);
}

FitResult SearchWindowRebuilt(const std::vector<Unit>& units, int first, int last, int windowFirst, int windowLast,
                              int degree) {
    FitResult refused;
    refused.error = CheckWindow(units, first, last, windowFirst, windowLast, degree);
    if (!refused.error.empty()) return refused;
    Candidate best;
    Polynomial poly;
    poly.degree = degree;
    std::vector<long double> x, y;
    for (int s = windowFirst; s <= first; ++s) {
        for (int e = last; e <= windowLast; ++e) {
            x.clear();
            y.clear();
            for (int u = s; u <= e; ++u) {
                x.push_back(UnitX(units, u));
                y.push_back(units[static_cast<size_t>(u)].Ts);
            }
            NormalEquations eq;
            BuildNormalEquations(x.data(), y.data(), static_cast<int>(x.size()), degree + 1, eq);
            if (!SolveGauss(eq, poly.c)) continue;
            long double squares = 0;
            for (int u = first; u <= last; ++u) {
                const long double d = poly.Value(x[static_cast<size_t>(u - s)]) - y[static_cast<size_t>(u - s)];
                squares += d * d;
            }
            const long double rms = std::sqrt(squares / (last - first + 1));
            if (rms < best.rms) best = {rms, poly, s, e};
        }
    }
    return Finish(units, first, last, best);
}

}  // namespace mutual
