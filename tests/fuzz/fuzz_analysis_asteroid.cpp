// Results tables from arbitrary bytes through the absorption correction, its
// restore, the timing guide's phase finder and block averaging: a refusal or a
// complete table, never a crash or a read past a row.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/absorption_correction.h"
#include "analysis/integration_base.h"
#include "platform/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int version = data[0] % 3;
    const int selected = static_cast<int>(data[1]) - 8;
    const int frames = 1 << (data[2] % 7);
    const int offset = (data[2] >> 3) % frames;
    const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    const std::vector<std::string> table = fileio::SplitLines(text);
    const absorption::Outcome c = absorption::Correct(table, version, selected);
    if (c.status == absorption::Status::Done) {
        if (c.lines.size() != table.size()) std::abort();
        // A corrected table restores to the table it came from.
        const absorption::Outcome r = absorption::Restore(c.lines, version, selected);
        if (r.status == absorption::Status::Done && r.lines.size() != table.size()) std::abort();
    } else if (!c.lines.empty()) {
        std::abort();
    }
    const std::vector<std::string> rows(table.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(table.size(), 6)), table.end());
    if (const auto p = integration::FindPhase(rows, frames))
        if (p->offset < 0 || p->offset >= frames || p->acceptedRow < 0 || static_cast<size_t>(p->acceptedRow) >= rows.size())
            std::abort();
    const integration::Blocks b = integration::AverageBlocks(table, 6, frames, offset);
    if (b.selectedFrame > b.lastRowIndex) std::abort();
    return 0;
}
