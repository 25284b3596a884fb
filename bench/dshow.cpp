// The DirectShow-style reader in run mode against the decoder it stands on, per
// codec, on SD test files made with the ffmpeg tool at start-up:
//   RunMode/<codec>: DshowGetFrame over frames 0..N-1 as a measurement run calls
//     it (no seek before the copy, the next frame's seek after it) against
//     VideoDecoder::GetFrame over the same frames of the same file, in the same
//     iteration; `ratio` = decoder time / reader time (1 = the reader costs
//     nothing on top of decoding).
// Needs ffmpeg on PATH.
#include <benchmark/benchmark.h>

#include "video_fixtures.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/bitmap24.h"
#include "video/avidshow.h"
#include "video/decoder.h"

namespace {


using bench::Codec;
using bench::FileOf;
using bench::Now;

const Codec kCodecs[] = {
    {"bgr24", "-c:v rawvideo -pix_fmt bgr24", "720x576", "25", 1},
    {"mjpeg", "-c:v mjpeg -q:v 3", "720x576", "25", 1},
    {"dv_ntsc", "-c:v dvvideo -pix_fmt yuv411p", "720x480", "30000/1001", 1},
    {"mpeg4_bframes", "-c:v mpeg4 -bf 2 -g 12 -q:v 3", "720x576", "25", 12},
    {"h264_long_gop", "-c:v libx264 -preset veryfast -g 50 -bf 3 -pix_fmt yuv420p", "720x576", "25", 50},
};





void RunMode(benchmark::State& state, const Codec& c) {
    const std::string file = FileOf(c);
    std::string err;
    DshowClose();
    DshowOpen(file, err);
    if (!err.empty()) {
        state.SkipWithError(err.c_str());
        return;
    }
    const int frames = static_cast<int>(DshowDurationSeconds() * static_cast<double>(DshowFramesPerSecond()) + 0.5);
    video::VideoDecoder dec;
    if (!dec.Open(file) || dec.FrameCount() != frames) {
        state.SkipWithError("the decoder disagrees on the frame count");
        return;
    }
    Bitmap24 a, b;
    std::string status;
    double tDec = 0, tReader = 0;
    int bad = 0;
    for (auto _ : state) {
        dec.GetFrame(0, a);  // both start at frame 0, reached outside the timing
        double t0 = Now();
        for (int n = 0; n < frames; ++n) dec.GetFrame(n, a);
        benchmark::DoNotOptimize(a.Bits());
        tDec += Now() - t0;

        DshowGetFrame(0, b, status);
        t0 = Now();
        for (int n = 0; n < frames; ++n) {
            DshowGetFrame(n, b, status, true, 1);
            bad += status != "S_OK";
        }
        benchmark::DoNotOptimize(b.Bits());
        const double t = Now() - t0;
        tReader += t;
        state.SetIterationTime(t);
    }
    DshowClose();
    state.counters["frames"] = frames;
    state.counters["failed_fetches"] = bad;
    state.counters["reader_ms_per_frame"] = 1000 * tReader / state.iterations() / frames;
    state.counters["decoder_ms_per_frame"] = 1000 * tDec / state.iterations() / frames;
    state.counters["ratio"] = tDec / tReader;
}

}  // namespace

int main(int argc, char** argv) {
    return bench::RunWithFixtures(argc, argv, kCodecs, [](const Codec& c) {
        benchmark::RegisterBenchmark((std::string("RunMode/") + c.name).c_str(), RunMode, c)
            ->UseManualTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    });
}
