// Results tables from arbitrary bytes through the level statistics and the
// observed window of the diffraction fit, with ranges anywhere (also far outside
// the table): counts within the rows that exist, finite or NaN-free reads of
// every field, never a read past a line.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "graph/diffraction_fit.h"
#include "platform/file_io.h"

namespace {
int Offset(const uint8_t* d, int scale) { return (static_cast<int>(d[0]) - 128) * scale; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 10) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 10), size - 10);
    const std::vector<std::string> lines = fileio::SplitLines(text);
    diffraction::PlotRows rows;
    rows.lines = &lines;
    rows.firstDataLine = 1 + data[0] % 8;
    rows.plotColumn = data[1] % 16;
    rows.dataRowCount = static_cast<int>(lines.size()) + (data[2] % 3) - 1;  // also one more than exists
    const int selected = Offset(data + 3, 2);
    const int r[6] = {Offset(data + 4, 1), Offset(data + 5, 1), Offset(data + 6, 1),
                      Offset(data + 7, 1), Offset(data + 8, 1), Offset(data + 9, 1)};
    const diffraction::LevelStats s = diffraction::ComputeLevelStatistics(rows, selected, r[0], r[1], r[2], r[3], r[4], r[5]);
    for (const diffraction::RangeStats* x : {&s.before, &s.step, &s.after})
        if (x->count < 0 || x->count > static_cast<int>(lines.size()) || std::isnan(x->mean) || std::isnan(x->stdErr))
            std::abort();
    const diffraction::ObservedWindow w = diffraction::LoadObservedWindow(rows, selected, data[2] & 4, r[0], r[5]);
    if (w.first < -diffraction::kWindowLimit || w.last > diffraction::kWindowLimit || w.length < 1) std::abort();
    if (w.UsedCount() > static_cast<int>(lines.size())) std::abort();
    return 0;
}
