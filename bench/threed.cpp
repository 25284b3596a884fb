// The 3-D star view side by side with the frame reader, in the same run:
//   Draw: ThreeDGraphDraw's work (patch read, heights, 5-cell median smoothing,
//         projection, mesh with the aperture outlines, painting 252 x 414) against
//         TVfwAvi::GetFrame of one frame of a 720 x 576 huffyuv video (ratio: draw
//         time over frame time; aim at most 1).
//   Loop: the main window (offscreen) stepping through the video with the 3-D view
//         and the value panel open, against both closed (ratio: frame rate open over
//         closed; aim at least 0.6).
//
//   bench_threed [FRAMES=200]
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "measure/colorvalue.h"
#include "measure/grapharea.h"
#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "measure/threed_view.h"
#include "platform/dialogs.h"
#include "reference_timing.h"
#include "video/VfwAvi.h"

namespace {

double SteppingSeconds(TPlatform& w, int frames) {
    QElapsedTimer t;
    t.start();
    for (int n = 1; n <= frames; ++n) w.ScrollBar1->setValue(n % (w.ScrollBar1->maximum() + 1));
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/tevorin_bench_threed_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl, video = dir + "/field.avi";
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=" + std::to_string(frames / 25 + 1) +
                            " -c:v huffyuv '" + video + "'";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "could not make the test video (is ffmpeg installed?)\n");
        return 1;
    }

    // Draw against GetFrame.
    TVfwAvi avi;
    if (!avi.Open(video)) return 1;
    Bitmap24 bmp;
    const double frameNs = bench::BestNsPerCall([&](int i) { avi.GetFrame(i % 25, bmp); }, 25, 9);
    ApertureGrid mask;
    DirectionLines lines;
    MaskGeometry g;
    g.ApertureRadius = 5, g.BkgInnerRadius = 8, g.BkgOuterRadius = 12;
    BuildApertureMask(mask, lines, g);
    threed::ViewSettings view;
    view.Size = threed::SmoothSize::kFive;
    view.Filter = threed::SmoothFilter::kMedian;
    QImage picture(threed::kPictureWidth, threed::kPictureHeight, QImage::Format_ARGB32);
    threed::Patch raw, heights;
    const double drawNs = bench::BestNsPerCall(
        [&](int i) {
            threed::ReadRaw(bmp, 300 + i % 7, 250, raw);
            threed::ComputeHeights(raw, 20, heights);
            threed::Draw(raw, heights, mask, view, picture);
        },
        25, 9);

    // The stepping loop with the view and the panel open against both closed.
    ScriptedDialogs dialogs;
    dialogs.Install();
    const std::string ini = dir + "/tevorin.ini";
    std::FILE* f = std::fopen(ini.c_str(), "w");
    std::fputs("[FileRead]\r\nUse AviSynth to read file=0\r\nAPI for reading file=VideoForWindows\r\n"
               "[Measurement]\r\nPhotometry=Aperture photometry\r\n",
               f);
    std::fclose(f);
    SetSettingsFilePath(ini);
    double closedS = 0, openS = 0;
    {
        TPlatform w;
        dialogs.fileAnswers.push_back(video);
        w.Button1Click();
        if (!w.State.VideoOpen) return 1;
        w.Image1MouseDown(Qt::LeftButton, 360, 288);
        SteppingSeconds(w, 10);
        closedS = SteppingSeconds(w, frames);
        w.Button8->click();
        w.Button15->click();
        if (!ThreeDGraphShown || !ColorValueShown) return 1;
        openS = SteppingSeconds(w, frames);
        delete ThreeDGraph;
        delete ColorValueDisplay;
    }
    SetSettingsFilePath("");
    std::filesystem::remove_all(dir);

    std::printf("Draw: %.1f us per drawing, GetFrame %.1f us per frame: ratio %.3f (aim <= 1)\n", drawNs / 1e3, frameNs / 1e3,
                drawNs / frameNs);
    std::printf("Loop over %d frames: closed %.1f fps, view and panel open %.1f fps: ratio %.3f (aim >= 0.6)\n", frames,
                frames / closedS, frames / openS, closedS / openS);
    return 0;
}
