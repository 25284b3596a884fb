// Signal boxes and the TIVi display on a 720 x 480 frame, each side by side with a
// reference measured in the same run:
//  - per frame, both detectors on the three lines plus one TIVi reading against one
//    object's StoreApertureValues on the same frame (counter vs_aperture; aim at
//    most 0.10);
//  - LocateTIViDigits against decoding the frame from a HuffYUV file (vs_decode; aim
//    at most 0.05);
//  - a frame of the measuring pipeline's core (decode, one object's photometry) with
//    the detectors and the TIVi reading on, against the same with them off
//    (rate_on_vs_off = off time / on time; aim at least 0.97).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "measure/masks.h"
#include "measure/photometry.h"
#include "overlay/signal_tivi.h"
#include "reference_timing.h"
#include "video/VfwAvi.h"

namespace {

constexpr int kW = 720, kH = 480;
std::string g_video;
Bitmap24 g_frame;

void Fill(Bitmap24& b, int x0, int y0, int x1, int y1, int v) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            uint8_t* p = b.Scanline(y) + 3 * x;
            p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
        }
}

Bitmap24 MakeFrame(int n) {
    Bitmap24 f(kW, kH);
    uint32_t x = 12345u + static_cast<uint32_t>(n);
    for (int y = 0; y < kH; ++y)
        for (int i = 0; i < 3 * kW; ++i) {
            x = x * 1103515245u + 12345u;
            f.Scanline(y)[i] = static_cast<uint8_t>(20 + ((x >> 16) & 31));
        }
    Fill(f, 100, 200, 125, 229, 255);  // the two digits of the display
    Fill(f, 130, 200, 155, 229, 255);
    Fill(f, 353, 468, 357, 472, 255);  // Signal1
    Fill(f, 300, 250, 306, 256, 200);  // a star for the photometry
    return f;
}

struct Photometry {
    MeasureState state;
    MaskState masks;
    PhotometryState photometry;
    Photometry() {
        state.ForAllLines(1, [](DataLineObject& o) {
            o.ApertureRadius = 3;
            o.BkgInnerRadius = 5;
            o.BkgOuterRadius = 8;
        });
        BuildAllApertureMasks(masks, state);
    }
};

struct Tivi {
    overlay::OverlayState st;
    overlay::OverlayControls c;
    overlay::TIViMarker marker;
    overlay::TIViSamples points{};
    Tivi() {
        c.UpDown4 = 100;
        c.FrameWidth = c.DisplayWidth = kW;
        c.FrameHeight = c.DisplayHeight = kH;
        overlay::LocateTIViDigits(g_frame, 100, 100, 200, marker);
        points = overlay::SetTIViSamplePoints(marker, overlay::DefaultTIViTemplate());
    }
    // Step 4h on the three lines and step 6 of one frame.
    int PerFrame(const Bitmap24& f, DataLineSet& lines) {
        // As the window does: one detection per box, copied into the three lines.
        const uint8_t s1 = overlay::DetectSignal(st, c, f, 355, 470).lit;
        const uint8_t s2 = overlay::DetectSignal(st, c, f, 365, 470).lit;
        for (DataLine& line : lines) line.Signal1Detected = s1, line.Signal2Detected = s2;
        return static_cast<int>(overlay::ReadTIViDigits(f, c.UpDown4, points).size());
    }
};

double g_perFrameRatio = 0, g_locateRatio = 0, g_pipelineRatio = 0;

void BM_SignalsAndTivi(benchmark::State& state) {
    Photometry p;
    Tivi t;
    const double aperture = bench::BestNsPerCall([&](int) {
        benchmark::DoNotOptimize(StoreApertureValues(g_frame, 1, 303, 253, p.state.DataLines, p.masks, p.photometry, {}));
    }, 2000);
    const double ours = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(t.PerFrame(g_frame, p.state.DataLines)); }, 2000);
    g_perFrameRatio = ours / aperture;
    state.counters["vs_aperture"] = g_perFrameRatio;
    for (auto _ : state) benchmark::DoNotOptimize(t.PerFrame(g_frame, p.state.DataLines));
}
BENCHMARK(BM_SignalsAndTivi)->Unit(benchmark::kMicrosecond);

void BM_LocateTivi(benchmark::State& state) {
    TVfwAvi avi;
    Bitmap24 decoded;
    if (!avi.Open(g_video)) {
        state.SkipWithError("cannot open the HuffYUV file");
        return;
    }
    const int frames = avi.FrameCount();
    const double decode = bench::BestNsPerCall([&](int i) { avi.GetFrame(i % frames, decoded); }, frames, 5);
    overlay::TIViMarker m;
    const double ours = bench::BestNsPerCall([&](int) {
        benchmark::DoNotOptimize(overlay::LocateTIViDigits(g_frame, 100, 100, 200, m));
    });
    g_locateRatio = ours / decode;
    state.counters["vs_decode"] = g_locateRatio;
    for (auto _ : state) benchmark::DoNotOptimize(overlay::LocateTIViDigits(g_frame, 100, 100, 200, m));
}
BENCHMARK(BM_LocateTivi)->Unit(benchmark::kMicrosecond);

void BM_PipelineOnOff(benchmark::State& state) {
    TVfwAvi avi;
    Bitmap24 f;
    if (!avi.Open(g_video)) {
        state.SkipWithError("cannot open the HuffYUV file");
        return;
    }
    const int frames = avi.FrameCount();
    Photometry p;
    Tivi t;
    auto frame = [&](int i, bool on) {
        avi.GetFrame(i % frames, f);
        benchmark::DoNotOptimize(StoreApertureValues(f, 1, 303, 253, p.state.DataLines, p.masks, p.photometry, {}));
        if (on) benchmark::DoNotOptimize(t.PerFrame(f, p.state.DataLines));
    };
    // Off and on alternate so that a change of the machine's load hits both.
    double off = 1e30, on = 1e30;
    for (int r = 0; r < 6; ++r) {
        off = std::min(off, bench::BestNsPerCall([&](int i) { frame(i, false); }, frames, 1));
        on = std::min(on, bench::BestNsPerCall([&](int i) { frame(i, true); }, frames, 1));
    }
    g_pipelineRatio = off / on;
    state.counters["rate_on_vs_off"] = g_pipelineRatio;
    int i = 0;
    for (auto _ : state) frame(i++, true);
}
BENCHMARK(BM_PipelineOnOff)->Unit(benchmark::kMicrosecond);

void Summary() {
    std::printf("signals+TIVi per frame / one aperture photometry: %.4f (aim <= 0.10)\n", g_perFrameRatio);
    std::printf("LocateTIViDigits / HuffYUV frame decode:          %.4f (aim <= 0.05)\n", g_locateRatio);
    std::printf("pipeline frame rate with them on / off:           %.4f (aim >= 0.97)\n", g_pipelineRatio);
}

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/tevorin_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string folder = tmpl;
    g_video = folder + "/tivi.avi";
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s 720x480 -r 25 -i - -c:v huffyuv '" +
                            g_video + "'";
    FILE* pipe = popen(cmd.c_str(), "w");
    bool ok = pipe != nullptr;
    for (int n = 0; ok && n < 30; ++n) {
        const Bitmap24 f = MakeFrame(n);
        for (int y = 0; ok && y < kH; ++y) ok = std::fwrite(f.Scanline(y), 1, 3 * kW, pipe) == size_t{3} * kW;
        if (n == 0) g_frame = f;
    }
    if (!pipe || pclose(pipe) != 0 || !ok) {
        std::fprintf(stderr, "could not make the HuffYUV test file (is ffmpeg installed?)\n");
        std::filesystem::remove_all(folder);
        return 1;
    }
    const int status = bench::RunThenSummarise(argc, argv, Summary);
    std::filesystem::remove_all(folder);
    return status;
}
