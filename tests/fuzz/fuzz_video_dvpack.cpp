// The DV pack reader and the time formatter on arbitrary frame bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "video/dv_timecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy so that any read past the end is caught.
    std::vector<uint8_t> bytes(data, data + size);
    std::optional<video::DvRecTime> t = video::ParseDvRecTime(bytes.data(), bytes.size());
    if (!t) return 0;
    if (t->month < 1 || t->month > 12 || t->day < 1 || t->day > 31 || t->hour > 23 || t->minute > 59 ||
        t->second > 59 || t->year < 1969 || t->year > 2068)
        std::abort();
    const std::string format(reinterpret_cast<const char*>(data), std::min<size_t>(size, 64));
    if (video::FormatDvTime(*t, format.c_str()).size() > video::kMaxFormatted) std::abort();
    if (video::FormatDvTime(*t, "%x %X").size() != 17) std::abort();
    return 0;
}
