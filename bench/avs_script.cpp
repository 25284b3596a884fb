// Reading a video through the script the program writes beside it, against
// opening the video itself, on a PAL DV AVI made with the ffmpeg tool (8 s, with a
// recording time):
//   Sequential/source: the one-line source script;
//   Sequential/camcorder_time: the script with the two DVInfo lines, which read
//     each frame's DV packs once more and burn in two text boxes.
// Each iteration reads every frame both ways; `ratio` = direct time / script time
// (1 = no cost). Needs ffmpeg on PATH.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "measure/avs_writer.h"
#include "platform/bitmap24.h"
#include "platform/file_io.h"
#include "video/VfwAvi.h"

namespace {

std::string g_dir;

std::string Video() { return g_dir + "/tape.avi"; }

bool MakeFixtures() {
    g_dir = (std::filesystem::temp_directory_path() / "tevorin_bench_avs").string();
    std::filesystem::create_directories(g_dir);
    const std::string dv = g_dir + "/tape.dv";
    const std::string a = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=8 -pix_fmt yuv420p "
                          "-metadata creation_time=2024-03-05T21:43:58 -c:v dvvideo -f dv '" + dv + "'";
    const std::string b = "ffmpeg -nostdin -v error -y -i '" + dv + "' -c copy '" + Video() + "'";
    if (std::system(a.c_str()) != 0 || std::system(b.c_str()) != 0) return false;
    std::string err;
    return fileio::WriteFileAtomic(g_dir + "/source.avs", fileio::JoinLines(WriteAvsScript(Video(), false)), err) &&
           fileio::WriteFileAtomic(g_dir + "/camcorder_time.avs", fileio::JoinLines(WriteAvsScript(Video(), true)), err);
}

double ReadAll(TVfwAvi& avi, Bitmap24& frame) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int n = 0; n < avi.FrameCount(); ++n) benchmark::DoNotOptimize(avi.GetFrame(n, frame));
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Sequential(benchmark::State& state, const std::string& script) {
    TVfwAvi direct, scripted;
    if (!direct.Open(Video()) || !scripted.Open(g_dir + "/" + script + ".avs")) {
        state.SkipWithError(("could not open: " + scripted.LastError()).c_str());
        return;
    }
    Bitmap24 frame;
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        // Alternate the order so that neither side always runs on a warm cache.
        if (state.iterations() % 2) {
            theirs += ReadAll(direct, frame);
            ours += ReadAll(scripted, frame);
        } else {
            ours += ReadAll(scripted, frame);
            theirs += ReadAll(direct, frame);
        }
    }
    state.counters["ratio"] = theirs / ours;
    state.counters["ms_per_frame"] = 1000 * ours / (static_cast<double>(state.iterations()) * scripted.FrameCount());
}

}  // namespace

int main(int argc, char** argv) {
    if (!MakeFixtures()) {
        std::fprintf(stderr, "bench_avs_script: could not make the test video (ffmpeg on PATH?)\n");
        return 1;
    }
    for (const char* s : {"source", "camcorder_time"})
        benchmark::RegisterBenchmark((std::string("Sequential/") + s).c_str(),
                                     [s](benchmark::State& st) { Sequential(st, s); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(g_dir);
    return 0;
}
