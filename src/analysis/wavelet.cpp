#include "analysis/wavelet.h"

#include <algorithm>

namespace wavelet {

WaveletData::WaveletData()
    : WaveletInput(kWaveletSize), WaveletCoeffs(kWaveletSize), WaveletApprox(kWaveletSize), WaveletDetail(kWaveletSize) {
    InitD4Filters(*this);
}

void InitD4Filters(WaveletData& w) {
    w.WaveletLowPass = {0.482962913145L, 0.836516303738L, 0.224143868042L, -0.129409522551L};
    for (int k = 0; k < 4; ++k)
        w.WaveletHighPass[static_cast<size_t>(k)] = (k % 2 ? -1.0L : 1.0L) * w.WaveletLowPass[static_cast<size_t>(3 - k)];
    w.WaveletFilterLength = 4;
    w.WaveletLength = kWaveletSize;
}

void DwtForwardStep(const WaveletData& w, const long double* x, int n, long double* approx, long double* detail) {
    const auto& h = w.WaveletLowPass;
    const auto& g = w.WaveletHighPass;
    for (int i = 0; i < n / 2; ++i) {
        long double a = 0, d = 0;
        for (int k = 0; k < 4; ++k) {
            const long double v = x[(2 * i + k) % n];
            a += h[static_cast<size_t>(k)] * v;
            d += g[static_cast<size_t>(k)] * v;
        }
        approx[i] = a;
        detail[i] = d;
    }
}

void DwtInverseStep(const WaveletData& w, const long double* a, const long double* d, int n, long double* out) {
    const auto& h = w.WaveletLowPass;
    const auto& g = w.WaveletHighPass;
    for (int i = 0; i < n; ++i) {
        long double even = 0, odd = 0;
        for (int k = 0; k < 2; ++k) {
            // (i - k) mod n; the same index as (i - k + 1024) mod n for every n dividing 1024.
            const int m = (i - k + n) % n;
            even += h[static_cast<size_t>(2 * k)] * a[m] + g[static_cast<size_t>(2 * k)] * d[m];
            odd += h[static_cast<size_t>(2 * k + 1)] * a[m] + g[static_cast<size_t>(2 * k + 1)] * d[m];
        }
        out[2 * i] = even;
        out[2 * i + 1] = odd;
    }
}

namespace {
bool LevelsFit(size_t count, int levels) {
    if (levels < 0 || levels > 30 || count < 2 || (count & (count - 1)) != 0) return false;
    return (count >> levels) >= 1;
}
}  // namespace

bool DwtForward(const WaveletData& w, std::vector<long double>& values, int levels) {
    if (!LevelsFit(values.size(), levels)) return false;
    std::vector<long double> a(values.size() / 2), d(values.size() / 2);
    int length = static_cast<int>(values.size());
    for (int level = 0; level < levels; ++level) {
        DwtForwardStep(w, values.data(), length, a.data(), d.data());
        length /= 2;
        std::copy(a.begin(), a.begin() + length, values.begin());
        std::copy(d.begin(), d.begin() + length, values.begin() + length);
    }
    return true;
}

bool DwtInverse(const WaveletData& w, std::vector<long double>& values, int levels) {
    if (!LevelsFit(values.size(), levels)) return false;
    std::vector<long double> out(values.size());
    int length = static_cast<int>(values.size() >> levels);
    for (int level = 0; level < levels; ++level) {
        DwtInverseStep(w, values.data(), values.data() + length, length, out.data());
        length *= 2;
        std::copy(out.begin(), out.begin() + length, values.begin());
    }
    return true;
}

}  // namespace wavelet
