// The operation guide and the occultation presets, each against a reference in
// the same run:
//   (1) the measuring loop of the main window with PSF photometry (three objects
//       on a star field), the guide open (the fit drawn into its picture every
//       frame) against the guide closed; rate open / rate closed, aim >= 0.9;
//   (2) ApplyOccultationPreset (three objects, their masks, one redraw) against
//       one ShowNeighbor of the same frame; aim <= 2.
//
//   bench_guide [FRAMES=400] [ROUNDS=3]
// The video is made once under /tmp and kept for later runs.
#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "measure/Profile.h"
#include "measure/main_2.h"
#include "reference_timing.h"
#include "window_bench.h"

namespace {

constexpr int kWidth = 720, kHeight = 576;
const int kStarX[3] = {200, 360, 520}, kStarY[3] = {288, 250, 320};

// Three Gaussian stars on a noisy sky, as grey huffyuv frames.
bool MakeStarField(const std::string& path, int frames) {
    if (std::ifstream(path)) return true;
    std::fprintf(stderr, "making %s ...\n", path.c_str());
    const std::string cmd = "ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt gray -s 720x576 -r 25 -i - -c:v huffyuv "
                            "-pix_fmt yuv422p '" + path + ".part.avi' && mv '" + path + ".part.avi' '" + path + "'";
    FILE* pipe = popen(cmd.c_str(), "w");
    if (!pipe) return false;
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight);
    uint32_t seed = 777;
    for (int n = 0; n < frames; ++n) {
        for (auto& p : frame) {
            seed = seed * 1664525u + 1013904223u;
            p = static_cast<uint8_t>(26 + (seed >> 29));
        }
        for (int k = 0; k < 3; ++k) {
            const double cx = kStarX[k] + 0.02 * n, cy = kStarY[k] + 0.01 * n, peak = 170 - 40 * k;
            for (int y = static_cast<int>(cy) - 12; y <= static_cast<int>(cy) + 12; ++y)
                for (int x = static_cast<int>(cx) - 12; x <= static_cast<int>(cx) + 12; ++x) {
                    uint8_t& p = frame[static_cast<size_t>(y) * kWidth + x];
                    p = static_cast<uint8_t>(std::min(255.0, p + peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / 8.0)));
                }
        }
        if (std::fwrite(frame.data(), 1, frame.size(), pipe) != frame.size()) break;
    }
    return pclose(pipe) == 0;
}

void PlaceThreeObjects(TPlatform& w) {
    w.State.ObjectCount = 3;
    for (int k = 1; k <= 3; ++k)
        for (auto& line : w.State.DataLines) {
            line.Objects[k].StartX = line.Objects[k].PosX = kStarX[k - 1];
            line.Objects[k].StartY = line.Objects[k].PosY = kStarY[k - 1];
        }
}

// Seconds of one whole measurement of the video, PSF photometry on, with or without the guide.
double MeasureSeconds(const std::string& path, bool guide) {
    TPlatform w;
    if (!w.OpenVideo(path, false)) return -1;
    w.SetPsfPhotometry(true);
    PlaceThreeObjects(w);
    if (guide) w.OpenWindow("Button32");
    if (guide != (Profile != nullptr)) return -1;
    const double s = bench::MeasureSeconds(w);
    const size_t rows = w.Table.Count() - static_cast<size_t>(DetectResultsFormat(w.Table).headerLines);
    if (rows != static_cast<size_t>(w.MaxPosition() + 1)) std::printf("(only %zu rows)\n", rows);
    if (Profile) delete Profile;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::WindowBench program(
        argc, argv, "/tmp/tevorin-bench-guide.ini",
        "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
        "[Measurement]\r\nPhotometry=PSF photometry\r\n[Background Area]\r\nForm=Standard\r\n");
    const int frames = argc > 1 ? std::atoi(argv[1]) : 400;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string path = "/tmp/tevorin-bench-guide-stars-" + std::to_string(frames) + ".avi";
    if (!MakeStarField(path, frames)) return 1;

    // (1) Alternated, best of each, so that a busy moment hits both alike.
    double closed = 1e30, open = 1e30;
    for (int r = 0; r < 2 * rounds; ++r) {
        const bool guide = (r % 2) != (r / 2 % 2);  // closed, open, open, closed, ...
        double& best = guide ? open : closed;
        best = std::min(best, MeasureSeconds(path, guide));
    }
    std::printf("(1) PSF measuring loop, %d frames 720x576, three objects: guide closed %.0f fps, open %.0f fps, "
                "open/closed rate %.3f (aim >= 0.9)\n",
                frames, frames / closed, frames / open, closed / open);

    // (2) On one frame of the same video.
    TPlatform w;
    if (!w.OpenVideo(path, false)) return 1;
    w.SetPsfPhotometry(true);
    PlaceThreeObjects(w);
    w.GoToFrame(frames / 2);
    const double redraw = bench::BestNsPerCall([&](int) { w.ShowNeighbor(); }, 20, 10);
    const double preset = bench::BestNsPerCall(
        [&](int i) {
            w.PresetIndex = 1 + i % 4;
            w.ApplyOccultationPreset();
        },
        20, 10);
    std::printf("(2) ApplyOccultationPreset %.0f us, one ShowNeighbor %.0f us: ratio %.2f (aim <= 2)\n", preset / 1e3,
                redraw / 1e3, preset / redraw);
    return 0;
}
