// The capture engine's record path against the ffmpeg tool recording the same
// generated input (720 x 576 testsrc2 at 25 fps, unpaced) to AVI in the same run,
// for DV and FFV1, one encoder thread each side:
//   throughput ratio = ffmpeg's time / ours (aim >= 0.8), by wall clock and by CPU
//   time; real-time factor = seconds of video / our wall time (aim >= 3 for DV).
//
//   bench_capture [SECONDS=8] [ROUNDS=3]
// Run it under `taskset -c 0` for the one-core figures.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "video/capture_engine.h"

namespace {

double CpuSeconds(int who) {
    rusage r{};
    getrusage(who, &r);
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 1e30, cpu = 1e30;
};

std::string Source(double seconds) {
    return "testsrc2=size=720x576:rate=25:duration=" + std::to_string(seconds);
}

bool Ours(const std::string& encoder, double seconds, const std::string& out, Timing& t, long long& frames) {
    const double c0 = CpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    capture::CaptureEngine g;
    bool ok = g.BindVideoDevice(capture::MakeDevice(true, "bench", "lavfi", Source(seconds))) == 0 &&
              g.BindCompressor({"bench", encoder}) == 0 && g.SetOutputFileName(out) == 0 && g.RenderCaptureVideo() == 0 &&
              g.Run() == 0 && g.WaitForCompletion(600000) == 0;
    g.Release();
    frames = g.FramesWritten();
    t.wall = std::min(t.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    t.cpu = std::min(t.cpu, CpuSeconds(RUSAGE_SELF) - c0);
    return ok;
}

bool Tool(const std::string& encoder, double seconds, const std::string& out, Timing& t) {
    const double c0 = CpuSeconds(RUSAGE_CHILDREN);
    const auto t0 = std::chrono::steady_clock::now();
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i " + Source(seconds) + " -c:v " + encoder +
                            (encoder == "dvvideo" ? " -pix_fmt yuv420p" : "") + " -threads 1 -f avi '" + out + "'";
    const bool ok = std::system(cmd.c_str()) == 0;
    t.wall = std::min(t.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    t.cpu = std::min(t.cpu, CpuSeconds(RUSAGE_CHILDREN) - c0);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 8;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string ours = "/tmp/bench_capture_ours.avi", tool = "/tmp/bench_capture_tool.avi";
    for (const char* encoder : {"dvvideo", "ffv1"}) {
        Timing a, b;
        long long frames = 0;
        for (int r = 0; r < rounds; ++r) {
            if (!Ours(encoder, seconds, ours, a, frames) || !Tool(encoder, seconds, tool, b)) {
                std::fprintf(stderr, "%s: recording failed\n", encoder);
                return 1;
            }
        }
        std::printf("%-8s frames %lld  ours %.3f s (cpu %.3f)  ffmpeg %.3f s (cpu %.3f)  throughput ratio %.2f (cpu %.2f)"
                    "  real time x%.1f\n",
                    encoder, frames, a.wall, a.cpu, b.wall, b.cpu, b.wall / a.wall, b.cpu / a.cpu, seconds / a.wall);
    }
    std::remove(ours.c_str());
    std::remove(tool.c_str());
    return 0;
}
