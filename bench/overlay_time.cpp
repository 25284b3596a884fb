// Reading the time line per frame against decoding the frame:
//   core/kiwi: ReadTimeOverlayLine on a 720x576 KIWI-OSD frame (both row
//     calibrations included) over one HuffYUV frame decode (TVfwAvi, serial road);
//   core/iota: the same on a 720x480 IOTA-VTI line on a located grid.
//   pipeline: the main window's measuring loop on the KIWI-OSD clip with the time
//     reading on, its frame rate over the rate with the reading off.
// The clips come from tests/overlay/overlay_synth.py (needs python3 with numpy and
// PIL, and ffmpeg).
//
//   bench_overlay_time [FRAMES=300]
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "measure/main_2.h"
#include "overlay/overlay_time.h"
#include "reference_timing.h"
#include "window_bench.h"
#include "video/VfwAvi.h"

namespace {

void SetSerial(bool serial) {
    if (serial)
        setenv("TEVORIN_SERIAL", "1", 1);
    else
        unsetenv("TEVORIN_SERIAL");
}

bool MakeClip(const std::string& dir, const std::string& args) {
    const std::string cmd = "/usr/bin/python3 " TEVORIN_BENCH_SOURCE "/tests/overlay/overlay_synth.py " + args +
                            " --video huffyuv --out " + dir + " > /dev/null";
    return std::system(cmd.c_str()) == 0;
}

struct Core {
    double decodeNs = 0, readNs = 0;
};

Core TimeCore(const std::string& path, uint8_t type, bool grid) {
    Core r;
    SetSerial(true);
    TVfwAvi avi;
    if (!avi.Open(path)) return r;
    std::vector<Bitmap24> frames(static_cast<size_t>(avi.FrameCount()));
    QElapsedTimer t;
    t.start();
    for (size_t n = 0; n < frames.size(); ++n) avi.GetFrame(static_cast<int>(n), frames[n]);
    r.decodeNs = static_cast<double>(t.nsecsElapsed()) / static_cast<double>(frames.size());
    SetSerial(false);

    overlay::OverlayState st;
    overlay::CopyKiwiCharacterColumns(st);
    overlay::OverlayControls c;
    c.TimeInserterType = type;
    c.VideoFrameRateInt = 25;
    c.UpDown4 = 80;
    c.FrameWidth = c.DisplayWidth = frames[0].Width();
    c.FrameHeight = c.DisplayHeight = frames[0].Height();
    if (grid) overlay::SetLocatedGrid(st, type, 82, 24.1, 432, 0, 0);
    overlay::OverlayTimeLine line;
    r.readNs = bench::BestNsPerCall(
        [&](int i) { overlay::ReadTimeOverlayLine(st, c, {0, true}, frames[static_cast<size_t>(i) % frames.size()], line); },
        static_cast<int>(frames.size()), 5);
    return r;
}

double LoopSeconds(const std::string& path, bool timeReading) {
    TPlatform w;
    w.State.DirectShowSelected = 0;
    w.State.UseAviSynth = 0;
    if (!w.OpenVideo(path, false)) return -1;
    if (timeReading) {
        w.ComboBox1Change(1);
        w.CheckBox5->setChecked(true);
    }
    w.ScrollBar1->setValue(0);
    return bench::MeasureSeconds(w);
}

}  // namespace

int main(int argc, char** argv) {
    const bench::WindowBench program(argc, argv, "/tmp/tevorin-bench-overlay.ini",
                                     "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n");
    const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    const std::string dir = "/tmp/tevorin-bench-overlay-" + std::to_string(frames);
    const std::string n = " --frames " + std::to_string(frames);
    if (!MakeClip(dir + "/kiwi", "--type kiwi --face dejavu --size 720x576 --rate 25 --background stars"
                                 " --kiwi-centres 70,94,140,164,210,234,306,330,353,424,448,472" + n) ||
        !MakeClip(dir + "/iota", "--type iota --face freemono --zero-width 22 --size 720x480 --rate 29.97"
                                 " --background stars" + n)) {
        std::fprintf(stderr, "could not make the clips\n");
        return 1;
    }
    const Core kiwi = TimeCore(dir + "/kiwi/video.avi", overlay::kKiwiOsd, false);
    const Core iota = TimeCore(dir + "/iota/video.avi", overlay::kIotaVti, true);
    std::printf("per frame       decode (us)  reading (us)  reading/decode (aim)\n");
    std::printf("kiwi 720x576    %10.1f  %12.1f  %6.3f (0.10)\n", kiwi.decodeNs / 1e3, kiwi.readNs / 1e3,
                kiwi.readNs / kiwi.decodeNs);
    std::printf("iota 720x480    %10.1f  %12.1f  %6.3f (0.05)\n", iota.decodeNs / 1e3, iota.readNs / 1e3,
                iota.readNs / iota.decodeNs);
    // Best of two runs each, alternating, so that neither side gets the warm caches alone.
    double off = 1e30, on = 1e30;
    for (int round = 0; round < 2; ++round) {
        off = std::min(off, LoopSeconds(dir + "/kiwi/video.avi", false));
        on = std::min(on, LoopSeconds(dir + "/kiwi/video.avi", true));
    }
    std::printf("pipeline %d frames: %.0f fps off, %.0f fps on, on/off %.3f (aim 0.9)\n", frames, frames / off,
                frames / on, off / on);
    return 0;
}
