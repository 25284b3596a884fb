// The measurement loop of the main window (offscreen, three objects, aperture
// photometry and tracking, rows appended) against decoding the same file with the
// AVI reader's sequential GetFrame, in the same run. Then the memory in use at the
// end of a long run. Videos are made with the ffmpeg tool under /tmp.
//
//   bench_pipeline [FRAMES=2000] [LONG_FRAMES=20000]
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "video/VfwAvi.h"

namespace {

bool MakeVideo(const std::string& path, const std::string& size, int frames, const std::string& codec) {
    std::ifstream exists(path);
    if (exists) return true;
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i \"testsrc2=s=" + size + ":r=25\" -frames:v " +
                            std::to_string(frames) + " -c:v " + codec + " " + path;
    std::fprintf(stderr, "making %s ...\n", path.c_str());
    return std::system(cmd.c_str()) == 0;
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

double DecodeSeconds(const std::string& path) {
    TVfwAvi avi;
    if (!avi.Open(path)) return -1;
    Bitmap24 frame;
    QElapsedTimer t;
    t.start();
    for (int n = 0; n < avi.FrameCount(); ++n) avi.GetFrame(n, frame);
    return t.nsecsElapsed() / 1e9;
}

// Opens the video in a fresh main window with three objects and measures it all.
double MeasureSeconds(const std::string& path, int* rows) {
    TPlatform w;
    w.State.DirectShowSelected = 0;
    w.State.UseAviSynth = 0;
    if (!w.OpenVideo(path, false)) return -1;
    w.State.ObjectCount = 3;
    const int xs[3] = {200, 360, 520};
    for (int k = 1; k <= 3; ++k)
        for (auto& line : w.State.DataLines) {
            line.Objects[k].StartX = line.Objects[k].PosX = xs[k - 1];
            line.Objects[k].StartY = line.Objects[k].PosY = 288;
        }
    QElapsedTimer t;
    t.start();
    w.StartMeasurement();
    while (w.Timer1->isActive()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double s = t.nsecsElapsed() / 1e9;
    *rows = static_cast<int>(w.Table.Count()) - 6;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ScriptedDialogs dialogs;
    dialogs.Install();
    // Aperture photometry with a ring background, read by the AVI reader.
    const std::string ini = "/tmp/tevorin-bench-pipeline.ini";
    std::ofstream(ini) << "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
                          "[Measurement]\r\nPhotometry=Aperture photometry\r\n[Background Area]\r\nForm=Standard\r\n";
    SetSettingsFilePath(ini);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int longFrames = argc > 2 ? std::atoi(argv[2]) : 20000;

    for (const char* codec : {"huffyuv", "ffv1"}) {
        const std::string path = "/tmp/tevorin-bench-" + std::string(codec) + "-" + std::to_string(frames) + ".avi";
        if (!MakeVideo(path, "720x576", frames, codec)) return 1;
        const double decode = DecodeSeconds(path);
        int rows = 0;
        const double measure = MeasureSeconds(path, &rows);
        std::printf("%-8s %d frames 720x576: decode %.2f s (%.0f fps), measure %.2f s (%.0f fps, %d rows), ratio %.2f\n",
                    codec, frames, decode, frames / decode, measure, frames / measure, rows, decode / measure);
    }

    const std::string longPath = "/tmp/tevorin-bench-long-" + std::to_string(longFrames) + ".avi";
    if (!MakeVideo(longPath, "320x240", longFrames, "ffv1")) return 1;
    const long before = RssKb();
    int rows = 0;
    const double s = MeasureSeconds(longPath, &rows);
    std::printf("long run %d frames 320x240: %.1f s, %d rows, memory %ld MB before, %ld MB at the end\n", longFrames,
                s, rows, before / 1024, RssKb() / 1024);
    return 0;
}
