#pragma once
// Pixel-level building blocks of the frame measurement: reading one pixel, the
// gamma-reverse table, the Gaussian smoothing of the whole frame and of the small
// patches the trackers and the profile fit work on, and the texts of the frame
// number and time caption boxes. No operation here reports an error; every one is
// safe on any input (empty frames, tiny frames, odd gammas).
#include <array>
#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bitmap24.h"

// A square grid indexed by pixel offsets -Half..Half in both directions, x the
// major index (cells of one column are adjacent in memory).
template <typename T, int Half>
struct OffsetGrid {
    static constexpr int kHalf = Half;
    static constexpr int kSide = 2 * Half + 1;
    std::array<T, static_cast<size_t>(kSide) * kSide> cells{};

    static constexpr bool InRange(int dx, int dy) { return dx >= -Half && dx <= Half && dy >= -Half && dy <= Half; }
    T& at(int dx, int dy) {
        assert(InRange(dx, dy));
        return cells[static_cast<size_t>(dx + Half) * kSide + static_cast<size_t>(dy + Half)];
    }
    const T& at(int dx, int dy) const {
        assert(InRange(dx, dy));
        return cells[static_cast<size_t>(dx + Half) * kSide + static_cast<size_t>(dy + Half)];
    }
    void Fill(T v) { cells.fill(v); }
};

struct PixelRgb {
    uint8_t r = 0, g = 0, b = 0;
};

// The three bytes of pixel (x, y). The caller guarantees frame.Contains(x, y).
inline PixelRgb ReadScanlinePixel(const Bitmap24& frame, int x, int y) {
    assert(frame.Contains(x, y));
    const uint8_t* p = frame.Scanline(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

// ---- Gamma-reverse correction ----

enum GammaModeKind : uint8_t { kGammaOff = 0, kGammaMeasure = 1, kGammaField = 2 };

using GammaLut = std::array<uint8_t, 256>;

struct GammaState {
    double GammaValue = 1.0;
    GammaLut GammaTable = MakeIdentity();
    uint8_t GammaMode = kGammaOff;

    static GammaLut MakeIdentity() {
        GammaLut t{};
        for (int i = 0; i < 256; ++i) t[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        return t;
    }
};

// Entry i = round(210 x (i / 210)^(1 / gamma)), halves to even, saturated to
// 0..255 so that the table stays monotone for gammas below 1. Level 210 maps onto
// itself. A gamma that is not a positive finite number gives the identity.
GammaLut MakeGammaTable(double gamma);
// GammaTable := MakeGammaTable(GammaValue).
void BuildGammaTable(GammaState& gamma);
// Every blue, green and red byte b := table[b].
void ApplyGammaTable(Bitmap24& frame, const GammaLut& table);

// ---- Gaussian smoothing ----

// Selector positions of both filter radio groups: 0 off, 1 the 3 x 3 kernel,
// 2 the 5 x 5 kernel. Any other value counts as off.
enum GaussianKernelKind : int { kGaussianOff = 0, kGaussian3 = 1, kGaussian5 = 2 };

// Kernel weight at offset (a, b), |a|, |b| <= kernel, in thousandths (the weights
// are decimal numbers with three places, so the sums are exact in integers), and
// the kernel's divisor in thousandths (677 and 10692).
int GaussianWeightMilli(int kernel, int a, int b);
int GaussianDivisorMilli(int kernel);

// Smooths the whole frame in place: each colour byte := round(sum of weight x
// neighbour over the kernel offsets inside the frame / divisor of the whole
// kernel), halves to even, so the border comes out darker. Reads from one copy of
// the frame; pass `scratch` to reuse its memory between frames.
void GaussianFilterFrame(Bitmap24& frame, int kernel, Bitmap24* scratch = nullptr);

// Patch smoothing, written once for every cell type: smooths the cells with
// offsets -reach..reach of a grid whose kernel stays inside the grid; each result
// is round(sum / divisor) as an integer, halves to even. Cells beyond the reach
// keep their values. Does nothing for kernel 0. The reach is clamped so that the
// kernel never leaves the grid.
template <typename T, int Half>
void SmoothPatch(OffsetGrid<T, Half>& grid, int reach, int kernel);

// The three members of the family, by the patches they serve.
using TrackPatch = OffsetGrid<int32_t, 27>;    // tracker's R+G+B patch, offsets -27..27
using PsfSearchPatch = OffsetGrid<double, 53>; // PSF tracker's search patch
using ProfilePatch = OffsetGrid<double, 27>;   // profile fit's patch
void SmoothTrackPatch(TrackPatch& patch, int kernel);          // offsets -23..23
void SmoothPsfSearchPatch(PsfSearchPatch& patch, int kernel);  // offsets -50..50
void SmoothProfilePatch(ProfilePatch& patch, int kernel);      // offsets -23..23

// ---- Display texts ----

// Captions of the four time boxes Edit24..Edit27.
struct TimeCaptions {
    std::string Edit24 = "h", Edit25 = "m", Edit26 = "s(Field1)", Edit27 = "s(Field2)";
};
TimeCaptions ShowTimeCaptions();
// Text of the frame-number box Edit10.
std::string ShowFrameNumber(int64_t n);
// The integer value of the text with the class library's integer rules; text that
// does not convert (or is out of the 32-bit range) gives 0.
int32_t TextToInt(std::string_view text);
