// Star trackers on a 720 x 576 frame. Each benchmark also reports x_aperture: its
// time over that of one aperture photometry of the same object (outer radius 14),
// measured in the same run.
#include <benchmark/benchmark.h>

#include "reference_timing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "measure/direction_search.h"
#include "measure/photometry.h"
#include "measure/tracking.h"

namespace {

constexpr int kW = 720, kH = 576, kX = 360, kY = 288;

// Noisy sky with one star near (kX + 2, kY - 1).
Bitmap24 StarFrame() {
    Bitmap24 f(kW, kH);
    uint32_t r = 12345;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            r = r * 1103515245u + 12345u;
            const double d2 = (x - kX - 2.3) * (x - kX - 2.3) + (y - kY + 1.2) * (y - kY + 1.2);
            const int v = 20 + static_cast<int>((r >> 16) & 15) + static_cast<int>(180 * std::exp(-d2 / 8));
            uint8_t* p = f.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(std::min(v, 255));
        }
    return f;
}

const Bitmap24& Frame() {
    static const Bitmap24 f = StarFrame();
    return f;
}

struct Setup {
    MeasureState state;
    MaskState masks;
    PhotometryState photometry;
    TrackingState tracking;
    PsfState psf;
    TrackControls controls;
    Setup() {
        for (int k = 1; k <= 3; ++k) {
            state.ForAllLines(k, [](DataLineObject& o) {
                o.ApertureRadius = 5;
                o.BkgInnerRadius = 8;
                o.BkgOuterRadius = 14;
                o.TrackRadius = 6;
                o.TrackThreshold = 50;
            });
            BuildApertureMasks(masks, state, k);
            BuildTrackMask(masks, k, 6);
        }
        for (int k = 1; k <= 3; ++k) GaussianPsfModel(psf, k, 2.0, 180);
        controls.GaussianKernel = kGaussian3;
        controls.TrackRadiusControl = 6;
    }
};


double ApertureNs() {
    static const double ns = [] {
        Setup s;
        return bench::BestNsPerCall([&](int) {
            benchmark::DoNotOptimize(MeasureAperture(1, Frame(), kX, kY, s.state.FrameObject(1), s.masks, s.photometry));
        });
    }();
    return ns;
}

template <typename Body>
void Timed(benchmark::State& state, Body&& body) {
    bench::TimedAgainst(state, ApertureNs(), "x_aperture", [&](int) { body(); });
}

void BM_AperturePhotometry(benchmark::State& state) {
    Setup s;
    Timed(state, [&] {
        benchmark::DoNotOptimize(MeasureAperture(1, Frame(), kX, kY, s.state.FrameObject(1), s.masks, s.photometry));
    });
}
BENCHMARK(BM_AperturePhotometry)->Unit(benchmark::kMicrosecond);

// Argument: the "Gaussian Filtre" item.
void BM_TrackStar(benchmark::State& state) {
    Setup s;
    const int kernel = static_cast<int>(state.range(0));
    Timed(state, [&] {
        benchmark::DoNotOptimize(TrackStar(Frame(), s.masks.TrackMask[1], s.state.FrameObject(1), kX, kY, kernel));
    });
}
BENCHMARK(BM_TrackStar)->Arg(kGaussianOff)->Arg(kGaussian3)->Arg(kGaussian5)->Unit(benchmark::kMicrosecond);

// Object A: the narrow search (radius 8) with the patch read and smoothed.
void BM_TrackStarPsfNarrow(benchmark::State& state) {
    Setup s;
    Timed(state, [&] {
        benchmark::DoNotOptimize(TrackStarPsf(Frame(), 10, 1, kX, kY, s.state, s.masks, s.tracking, s.psf, s.controls));
    });
}
BENCHMARK(BM_TrackStarPsfNarrow)->Unit(benchmark::kMicrosecond);

// Object B found lost by the narrow search: narrow plus wide (radius 25).
void BM_TrackStarPsfWide(benchmark::State& state) {
    Setup s;
    s.psf.ReferenceFlux[2] = 1e12;
    Timed(state, [&] {
        benchmark::DoNotOptimize(TrackStarPsf(Frame(), 10, 2, kX, kY, s.state, s.masks, s.tracking, s.psf, s.controls));
    });
}
BENCHMARK(BM_TrackStarPsfWide)->Unit(benchmark::kMillisecond);

// The search alone on a ready patch; argument: the search radius.
void BM_PsfSearch(benchmark::State& state) {
    Setup s;
    static PsfSearchPatch patch;
    ReadPsfSearchPatch(Frame(), kX, kY, nullptr, kGaussian3, patch);
    const double bg = PsfBackground(patch, s.masks.ApertureMask[1], Frame(), kX, kY);
    const int radius = static_cast<int>(state.range(0));
    Timed(state, [&] { benchmark::DoNotOptimize(PsfSearch(patch, bg, s.psf.PsfTemplate[1], s.masks.ApertureMask[1], radius)); });
}
BENCHMARK(BM_PsfSearch)->Arg(8)->Arg(25)->Unit(benchmark::kMicrosecond);

// The direction search after placement (200 masks).
void BM_AutoDirectionOnPlace(benchmark::State& state) {
    Setup s;
    s.state.VideoOpen = 1;
    s.state.ForAllLines(1, [](DataLineObject& o) {
        o.BkgShape = kShapeLimb;
        o.BkgGap = 3;
        o.BkgOuterRadius = 25;
    });
    const FrameSource source = [](int32_t, Bitmap24& out) {
        out = Frame();
        return true;
    };
    Timed(state, [&] { benchmark::DoNotOptimize(AutoDirectionOnPlace(s.state, s.masks, 1, kX, kY, 0, source)); });
}
BENCHMARK(BM_AutoDirectionOnPlace)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
