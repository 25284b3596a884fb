// The identification window's listing of a prediction report against the core's
// listing of the same lines, timed side by side: a report with one line of 20 MB,
// and one of 450,000 ordinary lines (60 MB). "open" reads the file and lists it
// (the window's creation against ReadReport + ListReport); "relist" lists the
// report already read ("Apply" against ListReport); "detail" fills the event list
// again ("Detail" against FillEventList). Each window step includes showing and
// painting the window.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "analysis/Identification1.h"
#include "analysis/identification.h"
#include "measure/main_2.h"
#include "platform/file_io.h"
#include "reference_timing.h"
#include "window_bench.h"

namespace {

namespace id = identification;

std::string Head() {
    return "Lunar occultations\r\nStation\r\n\r\n y  mon dd  h  m  s" + std::string(41, ' ') + "Cct" +
           std::string(30, ' ') + "Mdist" + std::string(20, ' ') + "SV\r\n----\r\n";
}

std::string EventLine(int i) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "26 Dec 31 23 59 %02d      %4d K0                          45.3   0.5432  384.4    ###### more "
                  "columns of the report ######",
                  i % 60, 1000 + i % 8000);
    return line;
}

double Seconds(const std::function<void()>& work) {
    QElapsedTimer t;
    t.start();
    work();
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The window's step as a user sees it: done, then laid out and painted.
std::function<void()> Shown(TIdentification*& window, const std::function<void()>& step) {
    return [&window, step] {
        step();
        window->show();
        window->repaint();
        QCoreApplication::processEvents();
    };
}

// Best of `rounds` of each, alternated.
void Compare(const char* what, const char* step, int rounds, const std::function<void()>& window,
             const std::function<void()>& core) {
    double w = 1e30, c = 1e30;
    for (int r = 0; r < rounds; ++r) {
        w = std::min(w, Seconds(window));
        c = std::min(c, Seconds(core));
    }
    std::printf("%-22s %-7s window %8.1f ms, core %8.1f ms, window/core %.2f\n", what, step, w * 1e3, c * 1e3, w / c);
}

void Run(TPlatform& p, const char* what, const std::string& path, int rounds) {
    p.State.PredictionFilePath = path;
    p.CheckBox5->setChecked(false);  // every dated line listed, not the search's few
    const id::ListingOptions options{false, false, {"26", "12", "31", "23", "59", "58"}};
    TIdentification* window = nullptr;
    Compare(
        what, "open", rounds, Shown(window,
        [&] {
            delete window;
            p.State.PredictionLoaded = 0;
            window = new TIdentification(&p);
        }),
        [&] {
            std::vector<std::string> lines;
            std::string error;
            id::ReadReport(path, lines, error);
            benchmark::DoNotOptimize(id::ListReport(lines, options));
        });
    const std::vector<std::string>& lines = p.Memo3Table.Lines();
    Compare(what, "relist", rounds, Shown(window, [&] { window->Button9Click(); }),
            [&] { benchmark::DoNotOptimize(id::ListReport(lines, options)); });
    const id::Listing listing = id::ListReport(lines, options);
    Compare(
        what, "detail", rounds, Shown(window,
        [&] {
            window->CheckBox2->setChecked(!window->CheckBox2->isChecked());
            window->CheckBox2Click();
        }),
        [&] { benchmark::DoNotOptimize(id::FillEventList(listing.memo1, true, "26")); });
    delete window;
}

}  // namespace

int main(int argc, char** argv) {
    const bench::WindowBench program(argc, argv, "/tmp/tevorin-bench-identification-window.ini", "");
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const std::string stem = "/tmp/tevorin-bench-identification-" + std::to_string(::getpid());
    std::string error;
    std::string longLine = Head() + EventLine(57);
    longLine += std::string((size_t{20} << 20) - longLine.size(), 'x') + "\r\n";
    std::string many = Head();
    for (int i = 0; i < 450000; ++i) many += EventLine(i) + "\r\n";
    if (!fileio::WriteFileAtomic(stem + "-long.txt", longLine, error) ||
        !fileio::WriteFileAtomic(stem + "-many.txt", many, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    {
        TPlatform p;
        Run(p, "one 20 MB line", stem + "-long.txt", rounds);
        Run(p, "450,000 lines (60 MB)", stem + "-many.txt", rounds);
    }
    std::remove((stem + "-long.txt").c_str());
    std::remove((stem + "-many.txt").c_str());
    return 0;
}
