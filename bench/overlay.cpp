// Overlay reading: one IOTA-VTI time line of both fields (60 characters) on a
// 720x480 frame made by tests/overlay/overlay_synth.py, against
//  - a bare loop summing R+G+B over the same pixels from a precomputed offset list
//    (counter vs_bare_loop; aim at most 1.5), and
//  - decoding that frame from a HuffYUV file (counter vs_decode; aim at most 0.05).
// allocs_per_char counts heap allocations while reading (aim 0).
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "overlay/overlay_reader.h"
#include "reference_timing.h"
#include "video/VfwAvi.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

constexpr int kColumns = 30;  // per field
std::string g_video;
Bitmap24 g_frame;
overlay::OverlayState g_state;
overlay::OverlayControls g_controls;
std::vector<int> g_xs;
int g_rows[2] = {436, 437};

void Setup() {
    g_state.OverlayCharPitch = 24.1L;
    g_controls.TimeInserterType = overlay::kIotaVti;
    g_controls.UpDown4 = 300;
    g_controls.VideoFrameRateInt = 30;
    g_controls.FrameWidth = g_controls.DisplayWidth = g_frame.Width();
    g_controls.FrameHeight = g_controls.DisplayHeight = g_frame.Height();
    for (int c = 0; c < kColumns; ++c) g_xs.push_back(static_cast<int>(82 + 24.1 * c + 0.5));
}

int ReadLine() {
    int read = 0;
    for (int field = 0; field < 2; ++field)
        for (int x : g_xs) read += overlay::ReadOverlayCharacterBest(g_state, g_controls, g_frame, x, g_rows[field]).character != 0;
    return read;
}

// Byte offsets of every pixel the reader visits, in its order.
std::vector<size_t> PixelOffsets() {
    std::vector<size_t> off;
    const long double scale = g_state.OverlayCharPitch / 21.5L;
    for (int field = 0; field < 2; ++field)
        for (int x : g_xs)
            for (int i = 0; i < 44; ++i) {
                const overlay::SampleRun& r = overlay::CharacterSampleRuns[2][static_cast<size_t>(i)];
                const int w = static_cast<int>(std::nearbyint(r.width * scale));
                const int d = static_cast<int>(std::nearbyint(r.dx * scale));
                const int y = g_rows[field] + 4 * r.row;
                for (int k = 0; k <= w; ++k)
                    if (g_frame.Contains(x + d + k, y))
                        off.push_back(static_cast<size_t>(y) * g_frame.Stride() + 3 * static_cast<size_t>(x + d + k));
            }
    return off;
}

void BM_OverlayLine(benchmark::State& state) {
    const std::vector<size_t> off = PixelOffsets();
    const uint8_t* bits = g_frame.Bits();
    const double bare = bench::BestNsPerCall([&](int) {
        int s = 0;
        for (size_t o : off) s += bits[o] + bits[o + 1] + bits[o + 2];
        benchmark::DoNotOptimize(s);
    });
    TVfwAvi avi;
    Bitmap24 decoded;
    if (!avi.Open(g_video)) {
        state.SkipWithError("cannot open the HuffYUV file");
        return;
    }
    const int frames = avi.FrameCount();
    const double decode = bench::BestNsPerCall([&](int i) { avi.GetFrame(i % frames, decoded); }, frames, 5);
    const long before = g_allocations.load();
    const int read = ReadLine();
    state.counters["allocs_per_char"] = static_cast<double>(g_allocations.load() - before) / (2 * kColumns);
    state.counters["characters_read"] = read;
    const double ours = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(ReadLine()); });
    state.counters["vs_bare_loop"] = ours / bare;
    state.counters["vs_decode"] = ours / decode;
    state.counters["line_us"] = ours / 1000;
    state.counters["decode_us"] = decode / 1000;
    for (auto _ : state) benchmark::DoNotOptimize(ReadLine());
}
BENCHMARK(BM_OverlayLine)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/tevorin_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string folder = tmpl;
    const std::string synth = std::string(TEVORIN_SOURCE_DIR) + "/tests/overlay/overlay_synth.py";
    const std::string cmd = "/usr/bin/python3 '" + synth + "' --type iota --size 720x480 --rate 29.97 --zero-width 22 "
                            "--frames 30 --video huffyuv --out '" + folder + "'";
    int status = std::system(cmd.c_str());
    g_video = folder + "/video.avi";
    TVfwAvi avi;
    if (status != 0 || !avi.Open(g_video) || !avi.GetFrame(0, g_frame)) {
        std::fprintf(stderr, "could not make the overlay test video (python3 with numpy and PIL, ffmpeg)\n");
        std::filesystem::remove_all(folder);
        return 1;
    }
    Setup();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
