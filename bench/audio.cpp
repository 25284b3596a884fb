// The audio channel display, each against a reference in the same run:
//   (1) GraphDraw for one frame change (48 kHz stereo, "Wide": the block read, the
//       detection and the picture) against TVfwAvi::GetFrame of one frame of the
//       same video; aim <= 0.3;
//   (2) the main window's measuring loop with the display open against closed;
//       rate open / rate closed, aim >= 0.75.
//
//   bench_audio [FRAMES=400] [ROUNDS=3]
// The video is made once under /tmp and kept for later runs.
#include <QApplication>
#include <QSignalBlocker>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "measure/main_2.h"
#include "measure/soundindicator1.h"
#include "reference_timing.h"
#include "window_bench.h"

namespace {

// 720x576 huffyuv at 25 fps with a beep every second on both channels.
bool MakeVideo(const std::string& path, int frames) {
    if (std::ifstream(path)) return true;
    std::fprintf(stderr, "making %s ...\n", path.c_str());
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
                            "\"aevalsrc='if(lt(mod(t,1),0.1),0.5*sin(2*PI*1000*t),0)|if(lt(mod(t,1),0.1),0.4*sin(2*PI*1000*t),0)'"
                            ":s=48000\" -t " + std::to_string(frames / 25.0) +
                            " -c:v huffyuv -c:a pcm_s16le '" + path + ".part.avi' && mv '" + path + ".part.avi' '" + path + "'";
    return std::system(cmd.c_str()) == 0;
}

double MeasureSeconds(const std::string& path, bool display) {
    TPlatform w;
    if (!w.OpenVideo(path, false)) return -1;
    if (display) w.OpenWindow("Button9");
    if (display != SoundIndicatorShown) return -1;
    const double s = bench::MeasureSeconds(w);
    if (SoundIndicator) {
        SoundIndicator->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    w.close();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::WindowBench program(argc, argv, "/tmp/tevorin-bench-audio.ini",
                                     "[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
                                     "[Measurement]\r\nPhotometry=Aperture photometry\r\n");
    const int frames = argc > 1 ? std::atoi(argv[1]) : 400;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string path = "/tmp/tevorin-bench-audio-" + std::to_string(frames) + ".avi";
    if (!MakeVideo(path, frames)) return 1;

    // (1) On frames in the middle of the video, stepping one frame at a time.
    {
        TPlatform w;
        if (!w.OpenVideo(path, false) || !w.OpenWindow("Button9") || !SoundIndicator) return 1;
        const int first = frames / 4, span = frames / 2;
        const double draw = bench::BestNsPerCall(
            [&](int i) {
                const QSignalBlocker quiet(w.ScrollBar1);
                w.ScrollBar1->setValue(first + i % span);
                SoundIndicator->GraphDraw();
            },
            100, 7);
        Bitmap24 frame;
        const double get = bench::BestNsPerCall([&](int i) { w.VfwAvi1->GetFrame(first + i % span, frame); }, 100, 7);
        std::printf("(1) GraphDraw %.0f us, GetFrame 720x576 huffyuv %.0f us: ratio %.3f (aim <= 0.3)\n", draw / 1e3,
                    get / 1e3, draw / get);
        SoundIndicator->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        w.close();
    }

    // (2) Alternated, best of each, so that a busy moment hits both alike.
    double closed = 1e30, open = 1e30;
    for (int r = 0; r < 2 * rounds; ++r) {
        const bool display = (r % 2) != (r / 2 % 2);
        double& best = display ? open : closed;
        const double s = MeasureSeconds(path, display);
        if (s < 0) return 1;
        best = std::min(best, s);
    }
    std::printf("(2) measuring loop, %d frames 720x576: display closed %.0f fps, open %.0f fps, open/closed rate %.3f "
                "(aim >= 0.75)\n",
                frames, frames / closed, frames / open, closed / open);
    return 0;
}
