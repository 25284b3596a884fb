#pragma once
// Daubechies-4 wavelet transform with periodic borders, for the wavelet noise
// filter of the noise-reduction window.
//
// Contract. The filters are the 12-decimal D4 coefficients, so a forward step
// followed by an inverse step returns its input within about 1e-11 relative (the
// coefficients are orthonormal to that precision only). A step over n values
// (n even, at least 2) reads x[(2i + k) mod n]: one level equals pywt's 'db2'
// with mode 'periodization' on the input rotated left by one. Pure functions of
// their arguments; any thread.
#include <array>
#include <string>
#include <vector>

namespace wavelet {

inline constexpr int kWaveletSize = 1024;

struct WaveletData {
    std::vector<long double> WaveletInput, WaveletCoeffs, WaveletApprox, WaveletDetail;
    std::array<long double, 4> WaveletLowPass{}, WaveletHighPass{};  // h and g
    int WaveletFilterLength = 4;
    int WaveletLength = kWaveletSize;
    WaveletData();
};

// h = the D4 low-pass, g[k] = (-1)^k h[3 - k]; WaveletLength := 1024.
void InitD4Filters(WaveletData& w);

// One analysis level over x[0 .. n-1]: approx[i] and detail[i], i < n/2.
void DwtForwardStep(const WaveletData& w, const long double* x, int n, long double* approx, long double* detail);
// One synthesis level from a[0 .. n-1] and d[0 .. n-1] into out[0 .. 2n-1].
void DwtInverseStep(const WaveletData& w, const long double* a, const long double* d, int n, long double* out);

// `levels` analysis levels over all of `values` (a power-of-two count of at least
// 2^levels) into the Mallat layout: the last approximation first, then the details
// from the coarsest to the finest. Returns false for a count that does not allow them.
bool DwtForward(const WaveletData& w, std::vector<long double>& values, int levels);
// The inverse of DwtForward.
bool DwtInverse(const WaveletData& w, std::vector<long double>& values, int levels);

}  // namespace wavelet
