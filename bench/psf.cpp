// The Gaussian profile fit on a 720 x 576 frame: the photometry call (fixed and
// free width) and the learning call, each against one aperture photometry of the
// same object at the same place, measured in the same run (x_aperture).
#include <benchmark/benchmark.h>

#include "reference_timing.h"

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "measure/masks.h"
#include "measure/photometry.h"
#include "measure/psf.h"

namespace {

constexpr int kW = 720, kH = 576;

// Sky noise with a grid of stars (sigma 2.5, peak 150) every 40 pixels.
Bitmap24 StarField() {
    Bitmap24 f(kW, kH);
    uint32_t s = 12345;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            s = s * 1103515245u + 12345u;
            const double dx = (x % 40) - 20, dy = (y % 40) - 20;
            double v = 30 + ((s >> 16) & 7) + 150 * std::exp(-2 * (dx * dx + dy * dy) / 6.25);
            const auto b = static_cast<uint8_t>(std::min(255.0, v));
            uint8_t* p = f.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = b;
        }
    return f;
}

const Bitmap24& Frame() {
    static const Bitmap24 f = StarField();
    return f;
}

struct Setup {
    MeasureState state;
    MaskState masks;
    PsfState psf;
    PsfOptions options;
    PhotometryState photometry;
    Setup() {
        state.PsfSigma[1] = 2.5;
        state.ForAllLines(1, [](DataLineObject& o) {
            o.ApertureRadius = 6;
            o.BkgInnerRadius = 10;
            o.BkgOuterRadius = 14;
        });
        BuildAllApertureMasks(masks, state);
    }
};

// Star centres visited in turn, so the caches see different places.
int StarX(int i) { return 60 + 40 * (i % 15); }
int StarY(int i) { return 60 + 40 * (i % 11); }


double ApertureNs() {
    static const double ns = [] {
        Setup s;
        return bench::BestNsPerCall([&](int i) {
            benchmark::DoNotOptimize(
                StoreApertureValues(Frame(), 1, StarX(i), StarY(i), s.state.DataLines, s.masks, s.photometry, {}));
        });
    }();
    return ns;
}

template <typename Body>
void Timed(benchmark::State& state, Body&& body) {
    bench::TimedAgainst(state, ApertureNs(), "x_aperture", body);
}

void BM_AperturePhotometry(benchmark::State& state) {
    Setup s;
    Timed(state, [&](int i) {
        benchmark::DoNotOptimize(
            StoreApertureValues(Frame(), 1, StarX(i), StarY(i), s.state.DataLines, s.masks, s.photometry, {}));
    });
}
BENCHMARK(BM_AperturePhotometry)->Unit(benchmark::kMicrosecond);

// Photometry call; argument 1: "Fixed" width, 0: free width.
void BM_StorePsfValues(benchmark::State& state) {
    Setup s;
    s.options.FixedSigma = state.range(0) != 0;
    Timed(state, [&](int i) {
        benchmark::DoNotOptimize(StorePsfValues(Frame(), 1, 1, StarX(i), StarY(i), s.state, s.masks, s.psf, s.options,
                                                s.photometry, {}));
    });
}
BENCHMARK(BM_StorePsfValues)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// The same with PsfSigma 8: the widest fit disc of a normal call (radius 16).
void BM_StorePsfValuesWide(benchmark::State& state) {
    Setup s;
    s.state.PsfSigma[1] = 8;
    s.options.FixedSigma = false;
    Timed(state, [&](int i) {
        benchmark::DoNotOptimize(StorePsfValues(Frame(), 1, 1, StarX(i), StarY(i), s.state, s.masks, s.psf, s.options,
                                                s.photometry, {}));
    });
}
BENCHMARK(BM_StorePsfValuesWide)->Unit(benchmark::kMicrosecond);

// Learning call, with and without the profile picture.
void BM_LearningCall(benchmark::State& state) {
    Setup s;
    QImage image(217, 233, QImage::Format_RGB32);
    const ProfileCanvas canvas{&image, 1, 29.97};
    const bool draw = state.range(0) != 0;
    Timed(state, [&](int i) {
        s.psf.LearningIndex = i % 8;
        benchmark::DoNotOptimize(MeasureStarProfile(false, 1, Frame(), StarX(i), StarY(i), s.state, s.masks, s.psf,
                                                    s.options, draw ? &canvas : nullptr));
    });
}
BENCHMARK(BM_LearningCall)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
