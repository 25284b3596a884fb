// Locating the overlay and reading the GPS page on generated 720 x 480 frames, each
// against decoding a frame of the same size from a HuffYUV file in the same run
// (counters are multiples of one decode):
//  - LocateOverlay (IOTA-VTI time line) on one frame: aim at most 20 decodes;
//  - LocateOverlay on a 720 x 576 frame with the grid checked on the 8 frames after
//    it, against one decode of that size: aim below 0.5 s (the locate runs once on
//    opening and on a relocate);
//  - ReadIotaGpsPage: aim at most 20 decodes;
//  - LocateOverlayAt with the "U" search (GHS-OSD): aim at most 200 decodes.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "overlay/overlay_locate.h"
#include "reference_timing.h"
#include "video/VfwAvi.h"

namespace {

std::string g_folder;
Bitmap24 g_iota, g_ghs, g_page;
std::vector<Bitmap24> g_pal;  // the located frame and the 8 after it
double g_decode = 0, g_palDecode = 0, g_palMs = 0;
double g_ratio[4] = {0, 0, 0, 0};

overlay::OverlayControls Controls(uint8_t type) {
    overlay::OverlayControls c;
    c.TimeInserterType = type;
    c.UpDown4 = type == overlay::kIotaVti ? 80 : 100;
    c.VideoFrameRateInt = 30;
    c.FrameWidth = c.DisplayWidth = 720;
    c.FrameHeight = c.DisplayHeight = 480;
    return c;
}

double DecodeNs() {
    if (g_decode > 0) return g_decode;
    TVfwAvi avi;
    Bitmap24 f;
    if (!avi.Open(g_folder + "/iota/video.avi")) return 0;
    const int n = avi.FrameCount();
    g_decode = bench::BestNsPerCall([&](int i) { avi.GetFrame(i % n, f); }, n, 5);
    return g_decode;
}

void BM_LocateOverlay(benchmark::State& state) {
    const overlay::OverlayControls c = Controls(overlay::kIotaVti);
    auto once = [&] {
        overlay::OverlayState st;
        overlay::LocatorState loc;
        return overlay::LocateOverlay(st, c, loc, g_iota).points;
    };
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(once()); }, 5, 5);
    g_ratio[0] = ns / DecodeNs();
    state.counters["decodes"] = g_ratio[0];
    for (auto _ : state) benchmark::DoNotOptimize(once());
}
BENCHMARK(BM_LocateOverlay)->Unit(benchmark::kMillisecond);

void BM_LocateOverlayChecked576(benchmark::State& state) {
    overlay::OverlayControls c = Controls(overlay::kIotaVti);
    c.VideoFrameRateInt = 25;
    c.FrameHeight = c.DisplayHeight = 576;
    std::vector<const Bitmap24*> later;
    for (size_t k = 1; k < g_pal.size(); ++k) later.push_back(&g_pal[k]);
    bool trusted = false;
    auto once = [&] {
        overlay::OverlayState st;
        overlay::LocatorState loc;
        const overlay::LocateResult r = overlay::LocateOverlay(st, c, loc, g_pal[0], later);
        trusted = r.trusted;
        return r.points;
    };
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(once()); }, 3, 3);
    if (g_palDecode <= 0) {
        TVfwAvi avi;
        Bitmap24 f;
        if (avi.Open(g_folder + "/pal/video.avi"))
            g_palDecode = bench::BestNsPerCall([&](int i) { avi.GetFrame(i % avi.FrameCount(), f); }, 9, 5);
    }
    g_palMs = ns / 1e6;
    g_ratio[3] = g_palDecode > 0 ? ns / g_palDecode : 0;
    state.counters["decodes"] = g_ratio[3];
    state.counters["trusted"] = trusted;
    for (auto _ : state) benchmark::DoNotOptimize(once());
}
BENCHMARK(BM_LocateOverlayChecked576)->Unit(benchmark::kMillisecond);

void BM_ReadIotaGpsPage(benchmark::State& state) {
    const overlay::OverlayControls c = Controls(overlay::kIotaVti);
    auto once = [&] {
        overlay::OverlayState st;
        overlay::LocatorState loc;
        overlay::GpsRecord g;
        return overlay::ReadIotaGpsPage(st, c, loc, g_page, g).read;
    };
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(once()); }, 5, 5);
    g_ratio[1] = ns / DecodeNs();
    state.counters["decodes"] = g_ratio[1];
    for (auto _ : state) benchmark::DoNotOptimize(once());
}
BENCHMARK(BM_ReadIotaGpsPage)->Unit(benchmark::kMillisecond);

void BM_LocateOverlayAtSearch(benchmark::State& state) {
    const overlay::OverlayControls c = Controls(overlay::kGhsOsd);
    auto once = [&] {
        overlay::OverlayState st;
        overlay::LocatorState loc;
        loc.GhsLocateEnabled = 1;
        loc.GhsSearchPending = 1;
        int x = 374, y = 387;
        return overlay::LocateOverlayAt(st, c, loc, g_ghs, x, y).points;
    };
    const double ns = bench::BestNsPerCall([&](int) { benchmark::DoNotOptimize(once()); }, 2, 3);
    g_ratio[2] = ns / DecodeNs();
    state.counters["decodes"] = g_ratio[2];
    for (auto _ : state) benchmark::DoNotOptimize(once());
}
BENCHMARK(BM_LocateOverlayAtSearch)->Unit(benchmark::kMillisecond);

void Summary() {
    std::printf("LocateOverlay / HuffYUV decode:            %.2f (aim <= 20)\n", g_ratio[0]);
    std::printf("LocateOverlay 720x576, 8 later frames:     %.1f ms = %.1f decodes (aim < 500 ms)\n", g_palMs,
                g_ratio[3]);
    std::printf("ReadIotaGpsPage / HuffYUV decode:          %.2f (aim <= 20)\n", g_ratio[1]);
    std::printf("LocateOverlayAt with search / decode:      %.2f (aim <= 200)\n", g_ratio[2]);
}

bool Load(const std::string& video, Bitmap24& out) {
    TVfwAvi avi;
    return avi.Open(video) && avi.GetFrame(0, out);
}

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/tevorin_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    g_folder = tmpl;
    const std::string dir = std::string(TEVORIN_SOURCE_DIR) + "/tests/overlay/";
    const std::string py = "/usr/bin/python3 '" + dir;
    const std::string cmds[4] = {
        py + "overlay_synth.py' --type iota --face liberation --zero-width 22 --size 720x576 --rate 25 --frames 9 "
             "--video huffyuv --out '" + g_folder + "/pal'",
        py + "overlay_synth.py' --type iota --face liberation --zero-width 22 --size 720x480 --rate 29.97 --frames 30 "
             "--video huffyuv --out '" + g_folder + "/iota'",
        py + "overlay_synth.py' --type ghs --face freemono --zero-width 20 --size 720x480 --rate 29.97 --frames 1 "
             "--video huffyuv --out '" + g_folder + "/ghs'",
        py + "gps_synth.py' iota-page '" + g_folder + "/page.avi' > /dev/null"};
    bool ok = true;
    for (const std::string& cmd : cmds) ok = ok && std::system(cmd.c_str()) == 0;
    ok = ok && Load(g_folder + "/iota/video.avi", g_iota) && Load(g_folder + "/ghs/video.avi", g_ghs) &&
         Load(g_folder + "/page.avi", g_page);
    {
        TVfwAvi avi;
        ok = ok && avi.Open(g_folder + "/pal/video.avi");
        g_pal.resize(9);
        for (int k = 0; ok && k < 9; ++k) ok = avi.GetFrame(k, g_pal[static_cast<size_t>(k)]);
    }
    if (!ok) {
        std::fprintf(stderr, "could not make the test videos (python3 with numpy and PIL, ffmpeg)\n");
        std::filesystem::remove_all(g_folder);
        return 1;
    }
    const int status = bench::RunThenSummarise(argc, argv, Summary);
    std::filesystem::remove_all(g_folder);
    return status;
}
