// libFuzzer target: a prediction report as the identification window lists it.
// The first byte picks the automatic search and "Detail"; the rest is the report.
// Every listed line is applied; the selection must lie inside the list, the
// search may keep no more lines than the report has and angles stay folded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analysis/identification.h"
#include "platform/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    namespace id = identification;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<std::string> report = fileio::SplitLines(text);
    id::ListingOptions o;
    o.autoSearch = data[0] & 1;
    o.detail = data[0] & 2;
    o.clock = {"26", "12", "31", "23", "59", "58.25"};
    if (!report.empty()) o.clock.year = id::Copy(report[0], 1, 2);
    const id::Listing l = id::ListReport(report, o);
    if (l.memo1.size() > report.size()) std::abort();
    if (l.list.selected < -1 || l.list.selected >= static_cast<int>(l.list.items.size())) std::abort();
    if (!l.list.items.empty() && l.list.selected < 0 && !l.pasted.found) std::abort();
    for (const std::string& item : l.list.items) {
        const id::AppliedLine a = id::ApplyPredictionLine(item, l.columns);
        // Folded at 90: never above it.
        if (a.contactAngle && *a.contactAngle > 90) std::abort();
        if (a.date.month < 0 || a.date.month > 12) std::abort();
    }
    return 0;
}
