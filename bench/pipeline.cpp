// The measurement loop of the main window (offscreen, three objects on a star
// field, aperture photometry, the centroid tracker with its Drift passes, rows
// appended) side by side with, on the same file in the same run:
//   (a) the ffmpeg tool's threaded decode to its own pixel format (wall time),
//   (b) the same with the conversion to BGR24,
//   (c) the AVI reader's single-threaded sequential decode (TEVORIN_SERIAL=1),
// and the loop once more on the serial road. Ratios are frame rates over the
// reference's (above 1: the loop is faster). Under each codec, the busy share of
// the loop's threads (CPU time over the loop's wall time) by thread name: "main"
// (measuring and drawing), "read-ahead" (decoding in frame order), "convert"
// (BGR24 conversion beside it) and the rest under the program's name (the
// decoder's frame threads among them), and the reader's read-ahead alone (frames
// taken as they come, nothing measured) with the loop's rate over it. Then the
// memory of a long run.
//
//   bench_pipeline [FRAMES=2000] [LONG_FRAMES=20000] [CODECS=huffyuv,dv,mpeg4,h264,ffv1]
// Videos are made once under /tmp and kept for later runs.
#include <QApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "graph/fresnel.h"
#include "measure/main_2.h"
#include "video/VfwAvi.h"
#include "window_bench.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;
const int kStarX[3] = {200, 360, 520}, kStarY[3] = {288, 250, 320};

// A star field through the ffmpeg tool: three Gaussian stars drifting by
// (0.01, 0.005) px a frame, with twinkle and sky noise, as grey frames.
bool MakeStarField(const std::string& path, int frames, int width, int height, const std::string& encode) {
    if (std::ifstream(path)) return true;
    std::fprintf(stderr, "making %s ...\n", path.c_str());
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt gray -s " + std::to_string(width) + "x" +
                            std::to_string(height) + " -r 25 -i - " + encode + " '" + path + ".part.avi' && mv '" +
                            path + ".part.avi' '" + path + "'";
    FILE* pipe = popen(cmd.c_str(), "w");
    if (!pipe) return false;
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height);
    uint32_t seed = 12345;
    for (int n = 0; n < frames; ++n) {
        for (auto& p : frame) {
            seed = seed * 1664525u + 1013904223u;
            p = static_cast<uint8_t>(26 + (seed >> 29));  // 26..33
        }
        for (int k = 0; k < 3; ++k) {
            const double cx = kStarX[k] * width / kWidth + 0.01 * n, cy = kStarY[k] * height / kHeight + 0.005 * n;
            const double peak = (180 - 40 * k) * (1 + 0.1 * std::sin(n / 7.0));
            for (int y = static_cast<int>(cy) - 10; y <= static_cast<int>(cy) + 10; ++y)
                for (int x = static_cast<int>(cx) - 10; x <= static_cast<int>(cx) + 10; ++x) {
                    if (x < 0 || y < 0 || x >= width || y >= height) continue;
                    uint8_t& p = frame[static_cast<size_t>(y) * width + x];
                    const double v = p + peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 8.0);
                    p = static_cast<uint8_t>(std::min(255.0, v));
                }
        }
        if (std::fwrite(frame.data(), 1, frame.size(), pipe) != frame.size()) break;
    }
    return pclose(pipe) == 0;
}

long RssKb() {
    std::ifstream f("/proc/self/status");
    std::string key;
    long value = 0;
    while (f >> key) {
        if (key == "VmRSS:") {
            f >> value;
            return value;
        }
        f.ignore(256, '\n');
    }
    return 0;
}

// CPU seconds of every thread of this process so far, by thread id, with its name.
struct ThreadCpu {
    std::string name;
    double seconds = 0;
};
void SampleThreads(std::map<int, ThreadCpu>& into) {
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
        const int tid = std::atoi(e->d_name);
        if (tid <= 0) continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        std::ifstream stat(base + "/schedstat"), comm(base + "/comm");
        double ns = 0;
        std::string name;
        if (!(stat >> ns)) continue;
        std::getline(comm, name);
        into[tid] = {tid == getpid() ? "main" : name, ns / 1e9};
    }
    closedir(dir);
}

// "name count x share%" per thread name, the share being the group's busiest thread.
std::string BusyShares(const std::map<int, ThreadCpu>& before, const std::map<int, ThreadCpu>& after, double wall) {
    struct Group {
        int count = 0;
        double sum = 0, most = 0;
    };
    std::map<std::string, Group> groups;
    for (const auto& [tid, t] : after) {
        const auto b = before.find(tid);
        const double used = t.seconds - (b != before.end() ? b->second.seconds : 0);
        if (used < 0.01 * wall) continue;  // idle threads
        Group& g = groups[t.name];
        ++g.count;
        g.sum += used;
        g.most = std::max(g.most, used);
    }
    std::string text;
    char part[160];
    for (const auto& [name, g] : groups) {
        std::snprintf(part, sizeof part, "%s%s %d x %.0f%% (sum %.2f s)", text.empty() ? "" : ", ", name.c_str(), g.count,
                      100 * g.most / wall, g.sum);
        text += part;
    }
    return text;
}

double Seconds(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

void SetSerial(bool serial) {
    if (serial) setenv("TEVORIN_SERIAL", "1", 1);
    else unsetenv("TEVORIN_SERIAL");
}

// Wall time of one ffmpeg tool run.
double FfmpegSeconds(const std::string& path, const std::string& output) {
    const std::string cmd = "ffmpeg -nostdin -v error -threads 0 -i '" + path + "' " + output + " -f null -";
    QElapsedTimer t;
    t.start();
    if (std::system(cmd.c_str()) != 0) return -1;
    return Seconds(t);
}

// The AVI reader's sequential decode on the serial road.
double DecodeSeconds(const std::string& path) {
    SetSerial(true);
    TVfwAvi avi;
    if (!avi.Open(path)) return -1;
    Bitmap24 frame;
    QElapsedTimer t;
    t.start();
    for (int n = 0; n < avi.FrameCount(); ++n) avi.GetFrame(n, frame);
    SetSerial(false);
    return Seconds(t);
}

// The AVI reader's read-ahead alone: every frame taken as soon as it is there,
// nothing measured (what the loop would reach with no work of its own).
double AheadSeconds(const std::string& path) {
    TVfwAvi avi;
    if (!avi.Open(path)) return -1;
    Bitmap24 frame;
    QElapsedTimer t;
    t.start();
    avi.GetFrame(0, frame);
    avi.ReadAhead(1, 1);
    for (int n = 1; n < avi.FrameCount(); ++n) avi.GetFrame(n, frame);
    return Seconds(t);
}

struct Measured {
    double seconds = -1;
    int rows = 0;
    long rssAt2000 = 0, rssAtEnd = 0;  // kB
    std::string busy;                  // BusyShares of the loop
};

// Opens the video in a fresh main window with three objects and measures it all.
Measured Measure(const std::string& path, bool serial, int width, int height) {
    SetSerial(serial);
    Measured m;
    TPlatform w;
    w.State.DirectShowSelected = 0;
    w.State.UseAviSynth = 0;
    if (!w.OpenVideo(path, false)) return m;
    w.State.ObjectCount = 3;
    for (int k = 1; k <= 3; ++k)
        for (auto& line : w.State.DataLines) {
            line.Objects[k].StartX = line.Objects[k].PosX = kStarX[k - 1] * width / kWidth;
            line.Objects[k].StartY = line.Objects[k].PosY = kStarY[k - 1] * height / kHeight;
        }
    const size_t header = w.Table.Count();
    std::map<int, ThreadCpu> before, after;
    SampleThreads(before);
    QElapsedTimer sampled;
    sampled.start();
    m.seconds = bench::MeasureSeconds(w, [&] {
        if (!m.rssAt2000 && w.Table.Count() >= header + 2000) m.rssAt2000 = RssKb();
        // Threads that end with the run are seen at their last sample.
        if (sampled.elapsed() >= 20) {
            SampleThreads(after);
            sampled.restart();
        }
    });
    SampleThreads(after);
    m.busy = BusyShares(before, after, m.seconds);
    m.rssAtEnd = RssKb();
    m.rows = static_cast<int>(w.Table.Count() - header);
    SetSerial(false);
    return m;
}

struct Codec {
    const char* name;
    const char* encode;
};
const Codec kCodecs[] = {
    {"huffyuv", "-c:v huffyuv -pix_fmt yuv422p"},
    {"dv", "-c:v dvvideo -pix_fmt yuv420p"},
    {"mpeg4", "-c:v mpeg4 -q:v 3 -bf 2 -g 12 -pix_fmt yuv420p"},
    {"h264", "-c:v libx264 -preset fast -crf 20 -g 50 -pix_fmt yuv420p"},
    {"ffv1", "-c:v ffv1 -pix_fmt yuv420p"},
};

}  // namespace

int main(int argc, char** argv) {
    const bench::WindowBench program(
        argc, argv, "/tmp/tevorin-bench-pipeline.ini",
        "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
        "[Measurement]\r\nPhotometry=Aperture photometry\r\n[Background Area]\r\nForm=Standard\r\n");
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int longFrames = argc > 2 ? std::atoi(argv[2]) : 20000;
    const std::string only = argc > 3 ? std::string(",") + argv[3] + "," : "";

    std::printf("%d frames 720x576 of a star field; fps, and the loop's rate over each reference's:\n", frames);
    std::printf("%-8s %7s %7s %7s | %7s %7s | %6s %6s %6s | %6s\n", "codec", "(a)", "(b)", "(c)", "loop", "serial",
                "/(a)", "/(b)", "/(c)", "serial/(c)");
    for (const Codec& c : kCodecs) {
        if (!only.empty() && only.find(std::string(",") + c.name + ",") == std::string::npos) continue;
        const std::string path = "/tmp/tevorin-bench-stars-" + std::string(c.name) + "-" + std::to_string(frames) + ".avi";
        if (!MakeStarField(path, frames, kWidth, kHeight, c.encode)) return 1;
        const double a = FfmpegSeconds(path, ""), b = FfmpegSeconds(path, "-pix_fmt bgr24");
        const double decode = DecodeSeconds(path);
        const Measured loop = Measure(path, false, kWidth, kHeight);
        const Measured serial = Measure(path, true, kWidth, kHeight);
        if (loop.rows != frames || serial.rows != frames) std::printf("(rows: %d and %d)\n", loop.rows, serial.rows);
        std::printf("%-8s %7.0f %7.0f %7.0f | %7.0f %7.0f | %6.2f %6.2f %6.2f | %6.2f\n", c.name, frames / a,
                    frames / b, frames / decode, frames / loop.seconds, frames / serial.seconds, a / loop.seconds,
                    b / loop.seconds, decode / loop.seconds, decode / serial.seconds);
        const double ahead = AheadSeconds(path);
        std::printf("  reader's read-ahead alone: %.0f fps, the loop at %.2f of it\n", frames / ahead, ahead / loop.seconds);
        std::printf("  busy, loop:   %s\n  busy, serial: %s\n", loop.busy.c_str(), serial.busy.c_str());
        std::fflush(stdout);
    }

    if (longFrames <= 0) return 0;
    const std::string longPath = "/tmp/tevorin-bench-stars-long-" + std::to_string(longFrames) + ".avi";
    if (!MakeStarField(longPath, longFrames, 320, 240, "-c:v ffv1 -pix_fmt yuv420p")) return 1;
    // The Fresnel tables (77 MB) fill in spare time from start-up on: made complete
    // first, so that the two figures compare only what the run itself holds.
    fresnel::BuildFresnelTables();
    const Measured m = Measure(longPath, false, 320, 240);
    std::printf("long run %d frames 320x240: %.1f s, %d rows, memory %ld MB after 2,000 rows, %ld MB at the end\n",
                longFrames, m.seconds, m.rows, m.rssAt2000 / 1024, m.rssAtEnd / 1024);
    return 0;
}
