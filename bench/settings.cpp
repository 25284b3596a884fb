// Two settings actions of the main window against reading the same 720 x 576
// video, in the same run (offscreen, the AVI reader):
//   direction_move: one mouse move in "Direction Setting" (spin point, direction
//     lines, masks, the frame shown with the zoom view), as a ratio to one
//     GetFrame of the reader (aim below 0.25);
//   dialog_open: opening and closing "Update Setting Items" with Video for Windows
//     chosen, which reopens the video, as a ratio to one OpenVideoReader (aim
//     below 1.2).
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "measure/main_2.h"
#include "measure/preserveset.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"
#include "reference_timing.h"
#include "video/VfwAvi.h"

namespace {

std::string g_video;
TPlatform* g_window = nullptr;

void BM_DirectionMove(benchmark::State& state) {
    TVfwAvi avi;
    avi.Open(g_video);
    Bitmap24 frame;
    const int count = avi.FrameCount();
    const double getFrame = bench::BestNsPerCall([&](int i) { avi.GetFrame(i % count, frame); }, 50, 5);
    TPlatform& w = *g_window;
    w.RadioButton3->setChecked(true);
    w.Button7->click();
    if (!w.State.DirectionMode) {
        state.SkipWithError("direction mode did not start");
        return;
    }
    const int x = w.State.FrameObject(1).PosX, y = w.State.FrameObject(1).PosY;
    bench::TimedAgainst(state, getFrame, "ratio_to_GetFrame", [&](int i) { w.Image1MouseMove(x + 30 + i % 17, y - 40 + i % 23); });
    w.Image1MouseDown(Qt::LeftButton, x + 30, y - 40);
}

// Best of several rounds on both sides: the reopen dominates and the machine may be busy.
void BM_DialogOpen(benchmark::State& state) {
    TPlatform& w = *g_window;
    const auto openAndClose = [&](int) {
        w.Button17->click();
        PreserveSetting->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    for (auto _ : state) {
        const double open = bench::BestNsPerCall([&](int) { w.OpenVideoReader(); }, 5, 7);
        const double dialog = bench::BestNsPerCall(openAndClose, 5, 7);
        state.counters["ratio_to_OpenVideoReader"] = dialog / open;
        state.counters["dialog_ms"] = dialog / 1e6;
        state.counters["open_ms"] = open / 1e6;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ScriptedDialogs dialogs;
    dialogs.Install();
    char folder[] = "/tmp/tevorin_bench_XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string ini = std::string(folder) + "/tevorin.ini";
    std::ofstream(ini) << "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
                          "[Measurement]\r\nPhotometry=Aperture photometry\r\n";
    SetSettingsFilePath(ini);
    g_video = std::string(folder) + "/video.avi";
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25 -frames:v 100 -c:v huffyuv " + g_video;
    int status = std::system(cmd.c_str());
    if (status == 0) {
        TPlatform w;
        g_window = &w;
        dialogs.fileAnswers.push_back(g_video);
        w.Button1Click();
        if (!w.State.VideoOpen) {
            std::fprintf(stderr, "the video did not open\n");
            status = 1;
        } else {
            benchmark::RegisterBenchmark("direction_move", BM_DirectionMove);
            benchmark::RegisterBenchmark("dialog_open", BM_DialogOpen)->Iterations(1);
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
        g_window = nullptr;
    }
    std::filesystem::remove_all(folder);
    return status == 0 ? 0 : 1;
}
