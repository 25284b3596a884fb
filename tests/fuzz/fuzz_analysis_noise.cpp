// Results tables from arbitrary bytes through every noise-reduction method, the
// statistics and the FFT listing: a refusal or a complete table, never a crash or
// a read past a row or an array.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/fft.h"
#include "analysis/noise_reduction.h"
#include "platform/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    static const char* kTexts[] = {"0", "5", "-7", "100", "511", "600", "99999", "x", "1.5", ""};
    noise::Controls c;
    c.method = data[0] % 5;
    c.objectCount = 1 + data[1] % 3;
    c.objectChecked = {bool(data[1] & 0x10), bool(data[1] & 0x20), bool(data[1] & 0x40)};
    c.halfWidth = {data[2] % 51, (data[2] >> 2) % 51, (data[2] >> 4) % 3};
    c.fftSize = 2 << (data[3] % 9);  // 2 .. 512
    c.offset = kTexts[data[3] >> 4 & 7];
    c.cutoff = kTexts[data[4] % 10];
    c.bandPass = data[4] & 0x10;
    c.outside = data[4] & 0x20;
    c.bandBegin = kTexts[data[5] % 10], c.bandEnd = kTexts[(data[5] >> 4) % 10];
    c.spotErasing = data[4] & 0x40;
    c.spotFrom = kTexts[data[3] % 10], c.spotTo = kTexts[data[2] % 10];
    c.sigmaFrom = kTexts[data[0] / 5 % 10], c.sigmaTo = kTexts[data[1] % 10];
    c.factor = data[5];
    c.statBegin = kTexts[data[2] / 7 % 10], c.statEnd = kTexts[data[4] / 3 % 10];
    c.fieldMeasure = data[0] & 0x80;
    c.formatVersion = data[5] % 3;
    const std::string text(reinterpret_cast<const char*>(data + 6), size - 6);
    const std::vector<std::string> table = fileio::SplitLines(text);
    const noise::Outcome r = (data[1] & 0x80) ? noise::Reset(table, c) : noise::Apply(table, c);
    if (r.tableReplaced && r.lines.size() != table.size()) std::abort();
    if (r.status == noise::Status::Nothing && r.tableReplaced) std::abort();
    fft::FftArrays a;
    std::string error;
    const auto listing = fft::FftListing(table, c.formatVersion, 8, c.fieldMeasure, a, error);
    if (!listing.empty() && listing.size() != 4) std::abort();
    return 0;
}
