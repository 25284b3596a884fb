// Results tables from arbitrary bytes through the mutual-event averaging, the fit
// and the window search: a refusal or a result, never a crash or a read past a row.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/mutual_event.h"
#include "analysis/poly_fit.h"
#include "platform/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    mutual::AverageSettings s;
    s.unitSize = mutual::kUnitSizes[data[0] % 4];  // small units keep runs short
    s.halfWidth = data[1] % 6;
    s.timeSetting = data[2] % 3;
    s.comparison = data[3] % 3;
    s.single = data[3] & 0x80;
    s.singleValue = (data[3] & 0x40) ? "0" : "2000";
    s.firstH = "23", s.firstM = "59", s.firstS = "50.5", s.lastH = "0", s.lastM = "0", s.lastS = "10";
    const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
    const mutual::AverageResult r = mutual::AverageFrames(fileio::SplitLines(text), s);
    if (r.status == mutual::AverageStatus::Done) {
        const int count = r.UnitCount();
        if (r.units.size() != static_cast<size_t>(count) + 1) std::abort();
        if (count < 1) return 0;
        const int last = count < 40 ? count : 40;
        const int degree = 2 + data[1] % 4;
        (void)mutual::FitUnits(r.units, 1, last, degree, data[2] & 1);
        int wf = 1, wl = last;
        mutual::SetFitWindow(1 + last / 4, last, count, wf, wl);
        const mutual::FitResult f = mutual::SearchWindow(r.units, 1 + last / 4, last, wf, wl, degree);
        if (f.ok && (f.windowFirst < wf || f.windowLast > wl)) std::abort();
    } else if (r.status != mutual::AverageStatus::NoData && !r.units.empty()) {
        std::abort();
    }
    return 0;
}
