#include "measure/image_primitives.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <vector>

#include "platform/numtext.h"

// ---- Gamma ----

GammaLut MakeGammaTable(double gamma) {
    if (!(gamma > 0) || !std::isfinite(gamma)) return GammaState::MakeIdentity();
    const double exponent = 1.0 / gamma;  // may be +inf for a subnormal gamma; pow copes
    GammaLut t{};
    for (int i = 0; i < 256; ++i) {
        double v = 210.0 * std::pow(i / 210.0, exponent);
        // Clamped before rounding: a gamma below 1 lifts the top entries past 255,
        // and a byte store would wrap them round to dark values.
        if (!(v >= 0)) v = 0;
        if (v > 255) v = 255;
        t[static_cast<size_t>(i)] = static_cast<uint8_t>(numtext::RoundHalfEven(v));
    }
    return t;
}

void BuildGammaTable(GammaState& gamma) { gamma.GammaTable = MakeGammaTable(gamma.GammaValue); }

void ApplyGammaTable(Bitmap24& frame, const GammaLut& table) {
    const size_t rowBytes = static_cast<size_t>(frame.Width()) * 3;
    for (int y = 0; y < frame.Height(); ++y) {
        uint8_t* p = frame.Scanline(y);
        for (size_t i = 0; i < rowBytes; ++i) p[i] = table[p[i]];
    }
}

// ---- Kernels ----

namespace {

// Thousandths of the published weights, row by row.
constexpr int kKernel3[3][3] = {{30, 83, 30}, {83, 225, 83}, {30, 83, 30}};
constexpr int kKernel5[5][5] = {{130, 279, 360, 279, 130},
                                {279, 600, 775, 600, 279},
                                {360, 775, 1000, 775, 360},
                                {279, 600, 775, 600, 279},
                                {130, 279, 360, 279, 130}};
constexpr int kDivisor3 = 677;
constexpr int kDivisor5 = 10692;

template <int R>
constexpr int Weight(int a, int b) {
    if constexpr (R == 1)
        return kKernel3[a + 1][b + 1];
    else
        return kKernel5[a + 2][b + 2];
}
template <int R>
constexpr int Divisor() {
    return R == 1 ? kDivisor3 : kDivisor5;
}

constexpr bool SumsMatchDivisors() {
    int s3 = 0, s5 = 0;
    for (int a = -1; a <= 1; ++a)
        for (int b = -1; b <= 1; ++b) s3 += Weight<1>(a, b);
    for (int a = -2; a <= 2; ++a)
        for (int b = -2; b <= 2; ++b) s5 += Weight<2>(a, b);
    return s3 == kDivisor3 && s5 == kDivisor5;
}
static_assert(SumsMatchDivisors(), "a divisor is the sum of its kernel");

// a / D rounded to nearest, halves to even, for a >= 0. D is a compile-time
// constant so the division becomes a multiplication.
template <int D>
inline uint8_t RoundDivToByte(int32_t a) {
    int32_t q = a / D;
    int32_t r2 = 2 * (a - q * D);
    q += (r2 > D) | ((r2 == D) & (q & 1));
    return static_cast<uint8_t>(q);  // weights sum to D, so q <= 255
}

// One frame pass. The kernels are symmetric in x and in y, so the rows at +dy
// and -dy are added first and each horizontal tap pair shares its weight:
// (R + 1)^2 multiplications per byte instead of (2R + 1)^2, with the same exact
// integer sum. Rows and columns outside the frame count as zero, which is what
// skipping them does, since the divisor stays that of the whole kernel.
template <int R>
void FilterFrame(const Bitmap24& src, Bitmap24& dst) {
    const int w = src.Width(), h = src.Height();
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    constexpr size_t kPad = 3 * R;  // R zero pixels on either side
    const size_t padded = rowBytes + 2 * kPad;
    // pairs[c]: row y - c plus row y + c (c = 0: row y alone), zero-padded.
    std::vector<int32_t> pairs(static_cast<size_t>(R + 1) * padded, 0);
    for (int y = 0; y < h; ++y) {
        for (int c = 0; c <= R; ++c) {
            int32_t* t = pairs.data() + static_cast<size_t>(c) * padded + kPad;
            const uint8_t* above = y - c >= 0 ? src.Scanline(y - c) : nullptr;
            const uint8_t* below = (c > 0 && y + c < h) ? src.Scanline(y + c) : nullptr;
            if (above && below)
                for (size_t i = 0; i < rowBytes; ++i) t[i] = above[i] + below[i];
            else if (above || below)
                for (size_t i = 0; i < rowBytes; ++i) t[i] = (above ? above : below)[i];
            else
                std::fill(t, t + rowBytes, 0);
        }
        uint8_t* out = dst.Scanline(y);
        const int32_t* t0 = pairs.data() + kPad;
        const int32_t* t1 = t0 + padded;
        const ptrdiff_t n = static_cast<ptrdiff_t>(rowBytes);
        if constexpr (R == 1) {
            for (ptrdiff_t i = 0; i < n; ++i) {
                const int32_t a = Weight<1>(0, 0) * t0[i] + Weight<1>(0, 1) * (t0[i - 3] + t0[i + 3]) +
                                  Weight<1>(1, 0) * t1[i] + Weight<1>(1, 1) * (t1[i - 3] + t1[i + 3]);
                out[i] = RoundDivToByte<Divisor<1>()>(a);
            }
        } else {
            const int32_t* t2 = t1 + padded;
            for (ptrdiff_t i = 0; i < n; ++i) {
                const int32_t a = Weight<2>(0, 0) * t0[i] + Weight<2>(0, 1) * (t0[i - 3] + t0[i + 3]) +
                                  Weight<2>(0, 2) * (t0[i - 6] + t0[i + 6]) + Weight<2>(1, 0) * t1[i] +
                                  Weight<2>(1, 1) * (t1[i - 3] + t1[i + 3]) + Weight<2>(1, 2) * (t1[i - 6] + t1[i + 6]) +
                                  Weight<2>(2, 0) * t2[i] + Weight<2>(2, 1) * (t2[i - 3] + t2[i + 3]) +
                                  Weight<2>(2, 2) * (t2[i - 6] + t2[i + 6]);
                out[i] = RoundDivToByte<Divisor<2>()>(a);
            }
        }
    }
}

}  // namespace

int GaussianWeightMilli(int kernel, int a, int b) {
    if (kernel == kGaussian3 && std::abs(a) <= 1 && std::abs(b) <= 1) return Weight<1>(a, b);
    if (kernel == kGaussian5 && std::abs(a) <= 2 && std::abs(b) <= 2) return Weight<2>(a, b);
    return 0;
}

int GaussianDivisorMilli(int kernel) {
    if (kernel == kGaussian3) return kDivisor3;
    if (kernel == kGaussian5) return kDivisor5;
    return 1;
}

void GaussianFilterFrame(Bitmap24& frame, int kernel, Bitmap24* scratch) {
    if ((kernel != kGaussian3 && kernel != kGaussian5) || frame.Empty()) return;
    Bitmap24 local;
    Bitmap24& copy = scratch ? *scratch : local;
    copy = frame;
    if (kernel == kGaussian3)
        FilterFrame<1>(copy, frame);
    else
        FilterFrame<2>(copy, frame);
}

// ---- Patch smoothing ----

namespace {
// One kernel size, with its weights known at compile time so the inner loops
// unroll; the per-frame trackers call this many times per frame.
template <int R, typename T, int Half>
void SmoothPatchWith(OffsetGrid<T, Half>& grid, int reach) {
    // Integer cells sum exactly in int64; real cells in double.
    using Acc = std::conditional_t<std::is_integral_v<T>, int64_t, double>;
    const int side = 2 * reach + 1;
    thread_local std::vector<T> result;
    result.resize(static_cast<size_t>(side) * side);
    constexpr double divisor = Divisor<R>();
    for (int i = -reach; i <= reach; ++i)
        for (int j = -reach; j <= reach; ++j) {
            Acc sum = 0;
            for (int a = -R; a <= R; ++a)
                for (int b = -R; b <= R; ++b)
                    sum += static_cast<Acc>(Weight<R>(a, b)) * static_cast<Acc>(grid.at(i + a, j + b));
            // An integer sum divided in double is correctly rounded and exact at
            // halves, so ties are found exactly (and go to even).
            result[static_cast<size_t>(i + reach) * side + static_cast<size_t>(j + reach)] =
                static_cast<T>(std::nearbyint(static_cast<double>(sum) / divisor));
        }
    for (int i = -reach; i <= reach; ++i)
        for (int j = -reach; j <= reach; ++j)
            grid.at(i, j) = result[static_cast<size_t>(i + reach) * side + static_cast<size_t>(j + reach)];
}
}  // namespace

template <typename T, int Half>
void SmoothPatch(OffsetGrid<T, Half>& grid, int reach, int kernel) {
    if (kernel != kGaussian3 && kernel != kGaussian5) return;
    reach = std::min(reach, Half - kernel);  // kernel half-width: 1 or 2
    if (reach < 0) return;
    if (kernel == kGaussian3) SmoothPatchWith<1>(grid, reach);
    else SmoothPatchWith<2>(grid, reach);
}

template void SmoothPatch(OffsetGrid<int32_t, 27>&, int, int);
template void SmoothPatch(OffsetGrid<double, 53>&, int, int);
template void SmoothPatch(OffsetGrid<double, 27>&, int, int);

void SmoothTrackPatch(TrackPatch& patch, int kernel) { SmoothPatch(patch, 23, kernel); }
void SmoothPsfSearchPatch(PsfSearchPatch& patch, int kernel) { SmoothPatch(patch, 50, kernel); }
void SmoothProfilePatch(ProfilePatch& patch, int kernel) { SmoothPatch(patch, 23, kernel); }

// ---- Display texts ----

TimeCaptions ShowTimeCaptions() { return TimeCaptions{}; }

std::string ShowFrameNumber(int64_t n) { return std::to_string(n); }

int32_t TextToInt(std::string_view text) { return numtext::ParseInt32(text).value_or(0); }
