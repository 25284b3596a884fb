// The results-file reader on arbitrary text, without a window: format detection,
// parsing and the loaded geometry applied to the three object lines either load
// or give an error, never crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "measure/results_table.h"
#include "platform/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> lines = fileio::SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
    DetectResultsFormat(lines);
    LoadedResults r;
    std::string error;
    if (!ParseResultsFile(std::move(lines), r, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (r.objectCount < 1 || r.objectCount > 3) std::abort();
    MeasureState s;
    for (int k = 1; k <= r.objectCount; ++k) ApplyLoadedObject(s, k, r.objects[k], r.format.version);
    return 0;
}
