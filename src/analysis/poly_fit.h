#pragma once
// Least-squares polynomial fit of mutual-event units around the light minimum,
// its time of minimum, and the search for the best-fitting window.
//
// Abscissae are unit times in seconds relative to the time of unit 1 (a unit
// earlier than that counts a day later), so that powers of up to x^28 stay within
// what extended precision can sum: on the raw time of day (about 80,000 s) the
// normal equations lose the curve entirely from degree 3 on.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "analysis/mutual_event.h"

namespace mutual {

inline constexpr int kMinDegree = 2;
inline constexpr int kMaxDegree = 14;
inline constexpr int kMaxCoefficients = kMaxDegree + 1;

struct Polynomial {
    int degree = 0;
    long double c[kMaxCoefficients] = {};
    // PolyValue: the sum of c_k x^k.
    long double Value(long double x) const;
    // PolySlope: the derivative, negated unless the event is a brightening.
    long double Slope(long double x, bool increase) const;
    // PolyThirdDerivative.
    long double ThirdDerivative(long double x) const;
};

// m rows of m + 1 columns: the matrix and the right side.
struct NormalEquations {
    int m = 0;
    long double a[kMaxCoefficients][kMaxCoefficients + 2] = {};
};

// x^0 .. x^k by repeated products (every sum and value uses the same powers).
void Powers(long double x, int k, long double* p);
// A[i][j] = sum of x^(i+j), A[i][m] = sum of y x^i over the n points.
void BuildNormalEquations(const long double* x, const long double* y, int n, int m, NormalEquations& eq);
// Row ordering by largest entry per column, elimination and back substitution.
// Returns false, leaving c untouched, when a pivot is zero or not finite.
bool SolveGauss(NormalEquations eq, long double* c);

// The abscissa of unit u: its time in seconds minus the time of unit 1.
long double UnitX(const std::vector<Unit>& units, int u);
// Fit selection widened by a third on each side; unchanged when first > last.
void SetFitWindow(int first, int last, int unitCount, int& windowFirst, int& windowLast);

struct FitPoint {
    int unit = 0;
    long double x = 0, value = 0, slope = 0;
};

struct FitResult {
    bool ok = false;
    std::string error;
    Polynomial poly;
    long double t0 = 0;              // time of unit 1 in seconds
    std::vector<FitPoint> points;    // the fitted units in order
    std::vector<std::string> lines;  // coefficient and slope lines ("Fit" only)
    int minUnit = 0;                 // the unit with the smallest fitted value
    long double xStar = 0;           // refined abscissa of the minimum
    std::string minimumText, rmsText;
    long double rms = 0, largestSlope = 0;
    std::vector<int> turnUnits;      // units where the third derivative changes sign
    std::vector<std::string> turnTexts;
    int windowFirst = 0, windowLast = 0;  // the window search's best window
};

// Why units first..last cannot be fitted at `degree` (no units, fewer than
// degree + 1 selected, first after last); empty when they can.
std::string CheckSelection(const std::vector<Unit>& units, int first, int last, int degree);

// "Fit": units first..last at `degree`. A refused fit has ok == false and an error.
FitResult FitUnits(const std::vector<Unit>& units, int first, int last, int degree, bool increase);

// The window search: every start s in windowFirst..first and end e in last..windowLast,
// judged by the RMS over first..last. `progress` gets the number of starts done;
// `cancel` stops the search (the result is then refused).
FitResult SearchWindow(const std::vector<Unit>& units, int first, int last, int windowFirst, int windowLast,
                       int degree, const std::function<void(int)>& progress = {},
                       const std::atomic<bool>* cancel = nullptr);

// The same search with every window's sums built afresh from its units (the
// reference the incremental search is checked and timed against).
FitResult SearchWindowRebuilt(const std::vector<Unit>& units, int first, int last, int windowFirst,
                              int windowLast, int degree);

}  // namespace mutual
