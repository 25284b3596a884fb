// What is drawn over every frame: the outlines of three objects, and the zoom
// view of the direction setting. Each benchmark also reports x_aperture: its
// time over that of one aperture photometry of an object (outer radius 14) on
// the same 720 x 576 frame, measured in the same run.
#include <benchmark/benchmark.h>

#include "reference_timing.h"

#include <QImage>
#include <algorithm>
#include <chrono>

#include "measure/markers.h"
#include "measure/photometry.h"

namespace {

constexpr int kW = 720, kH = 576;

struct Setup {
    MeasureState state;
    MaskState masks;
    PhotometryState photometry;
    Bitmap24 frame{kW, kH};
    Setup() {
        frame.Fill(20, 20, 20);
        for (int k = 1; k <= 3; ++k) {
            state.ForAllLines(k, [](DataLineObject& o) {
                o.ApertureRadius = 5;
                o.BkgInnerRadius = 8;
                o.BkgOuterRadius = 14;
            });
            BuildApertureMasks(masks, state, k);
        }
    }
};


double ApertureNs() {
    static const double ns = [] {
        Setup s;
        return bench::BestNsPerCall([&](int) {
            benchmark::DoNotOptimize(MeasureAperture(1, s.frame, 360, 288, s.state.FrameObject(1), s.masks, s.photometry));
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
    Timed(state, [&] { benchmark::DoNotOptimize(MeasureAperture(1, s.frame, 360, 288, s.state.FrameObject(1), s.masks, s.photometry)); });
}
BENCHMARK(BM_AperturePhotometry)->Unit(benchmark::kMicrosecond);

// The three objects' outlines, one of them at the frame's corner.
void BM_ThreeObjectOutlines(benchmark::State& state) {
    Setup s;
    Timed(state, [&] {
        for (int k = 3; k >= 1; --k) {
            const int x = k == 3 ? kW - 1 : 200 * k, y = k == 3 ? 0 : 288;
            DrawMaskOutlines(s.frame, s.masks.ApertureMask[k], x, y, OutlineColoursFor(k, k == 1, false, kRegionHilight, false));
        }
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_ThreeObjectOutlines)->Unit(benchmark::kMicrosecond);

// One zoom-view redraw: working copy, direction line, outlines, onto the canvas.
void BM_ZoomView(benchmark::State& state) {
    Setup s;
    Bitmap24 zoom, work;
    CopyZoomRegion(s.frame, 700, 300, zoom);
    QImage canvas(kW, 579, QImage::Format_RGB32);
    Timed(state, [&] {
        work = zoom;
        DrawDirectionLine(work, {40, -30});
        DrawZoomOutlines(work, s.masks.ApertureMask[1], true);
        DrawZoomOnto(canvas, work, PlaceZoomView(kW, kH, 700, 300));
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_ZoomView)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
