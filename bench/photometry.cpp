// Frame filters, mask building and aperture photometry on a 720 x 576 frame.
// Each benchmark also reports x_bytesum: its time over that of one plain pass
// summing the same frame's bytes (the memory-bandwidth floor), measured in the
// same run.
#include <benchmark/benchmark.h>

#include "reference_timing.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "measure/image_primitives.h"
#include "measure/masks.h"
#include "measure/photometry.h"

namespace {

constexpr int kW = 720, kH = 576;

Bitmap24 NoiseFrame() {
    Bitmap24 f(kW, kH);
    uint32_t x = 12345;
    for (int y = 0; y < kH; ++y)
        for (int i = 0; i < 3 * kW; ++i) {
            x = x * 1103515245u + 12345u;
            f.Scanline(y)[i] = static_cast<uint8_t>(20 + ((x >> 16) & 31));
        }
    return f;
}

const Bitmap24& Frame() {
    static const Bitmap24 f = NoiseFrame();
    return f;
}

uint64_t SumBytes(const Bitmap24& f) {
    uint64_t s = 0;
    for (int y = 0; y < f.Height(); ++y) {
        const uint8_t* p = f.Scanline(y);
        for (int i = 0; i < 3 * f.Width(); ++i) s += p[i];
    }
    return s;
}


// Nanoseconds of one byte-sum pass: the best of several timed batches.
double FloorNs() {
    static const double ns = bench::BestNsPerCall([](int) { benchmark::DoNotOptimize(SumBytes(Frame())); }, 20);
    return ns;
}

// Runs body() in the benchmark loop and reports its ratio to the floor.
template <typename Body>
void Timed(benchmark::State& state, Body&& body) {
    bench::TimedAgainst(state, FloorNs(), "x_bytesum", [&](int) { body(); });
}

void BM_ByteSumFloor(benchmark::State& state) {
    Timed(state, [] { benchmark::DoNotOptimize(SumBytes(Frame())); });
}
BENCHMARK(BM_ByteSumFloor);

void BM_GaussianFilterFrame(benchmark::State& state) {
    const int kernel = static_cast<int>(state.range(0));
    Bitmap24 f = Frame();
    Bitmap24 scratch;
    Timed(state, [&] {
        GaussianFilterFrame(f, kernel, &scratch);
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_GaussianFilterFrame)->Arg(kGaussian3)->Arg(kGaussian5)->Unit(benchmark::kMillisecond);

void BM_ApplyGammaTable(benchmark::State& state) {
    Bitmap24 f = Frame();
    const GammaLut t = MakeGammaTable(1.8);
    Timed(state, [&] {
        ApplyGammaTable(f, t);
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_ApplyGammaTable)->Unit(benchmark::kMicrosecond);

MaskGeometry Geometry(int outer, uint8_t shape) {
    MaskGeometry g;
    g.ApertureRadius = std::max(0, outer / 2 - 1);
    g.BkgInnerRadius = outer / 2 + 1;
    g.BkgOuterRadius = outer;
    g.OuterControl = outer;
    g.BkgShape = shape;
    g.Gap = 3;
    g.Width = 10;
    g.Spin = {300, -400};
    return g;
}

void BM_BuildApertureMask(benchmark::State& state) {
    const MaskGeometry g = Geometry(25, static_cast<uint8_t>(state.range(0)));
    ApertureGrid grid;
    DirectionLines lines;
    Timed(state, [&] {
        BuildApertureMask(grid, lines, g);
        benchmark::DoNotOptimize(grid.cells.data());
    });
}
BENCHMARK(BM_BuildApertureMask)
    ->Arg(kShapeRing)
    ->Arg(kShapeSunlitFace)
    ->Arg(kShapeLimb)
    ->Arg(kShapeRectangle)
    ->Unit(benchmark::kMicrosecond);

struct PhotometrySetup {
    MeasureState state;
    MaskState masks;
    PhotometryState photometry;
    explicit PhotometrySetup(int outer) {
        for (int k = 1; k <= 3; ++k) {
            const MaskGeometry g = Geometry(outer, kShapeRing);
            state.ForAllLines(k, [&](DataLineObject& o) {
                o.ApertureRadius = g.ApertureRadius;
                o.BkgInnerRadius = g.BkgInnerRadius;
                o.BkgOuterRadius = g.BkgOuterRadius;
            });
        }
        BuildAllApertureMasks(masks, state);
    }
};

// One object's photometry, outer radius = the argument.
void BM_StoreApertureValues(benchmark::State& state) {
    PhotometrySetup s(static_cast<int>(state.range(0)));
    int x = 100;
    Timed(state, [&] {
        x = x == 600 ? 100 : x + 1;
        benchmark::DoNotOptimize(StoreApertureValues(Frame(), 1, x, 300, s.state.DataLines, s.masks, s.photometry, {}));
    });
}
BENCHMARK(BM_StoreApertureValues)->Arg(6)->Arg(8)->Arg(25)->Unit(benchmark::kMicrosecond);

// The sums alone, without the records and texts.
void BM_MeasureAperture(benchmark::State& state) {
    PhotometrySetup s(static_cast<int>(state.range(0)));
    int x = 100;
    Timed(state, [&] {
        x = x == 600 ? 100 : x + 1;
        benchmark::DoNotOptimize(MeasureAperture(1, Frame(), x, 300, s.state.FrameObject(1), s.masks, s.photometry));
    });
}
BENCHMARK(BM_MeasureAperture)->Arg(6)->Arg(8)->Arg(25)->Unit(benchmark::kMicrosecond);

// Three objects at outer radius 8, as one frame of a typical run measures them.
void BM_ThreeObjects(benchmark::State& state) {
    PhotometrySetup s(static_cast<int>(state.range(0)));
    Timed(state, [&] {
        for (int k : {2, 3, 1})
            benchmark::DoNotOptimize(
                StoreApertureValues(Frame(), k, 100 * k + 50, 200, s.state.DataLines, s.masks, s.photometry, {1}));
    });
}
BENCHMARK(BM_ThreeObjects)->Arg(8)->Arg(25)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
