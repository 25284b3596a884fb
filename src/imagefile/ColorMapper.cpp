#include "imagefile/ColorMapper.h"

#include <cstring>
#include <vector>

namespace imagefile {

namespace {
bool OneChannel(const TLinearBitmap& b, int channel) { return b.PixelFormat == pf24bit && channel >= 0 && channel < 3; }
}  // namespace

int CountColors(const TLinearBitmap& bitmap) {
    if (!bitmap.Present) return 0;
    if (bitmap.PixelFormat != pf24bit) {
        THistogram h;
        GetHistogram(h, bitmap, 3);
        return CountUsedBins(h);
    }
    std::vector<uint8_t> seen(1 << 21);  // one bit per colour
    int count = 0;
    const uint8_t* p = bitmap.Map;
    for (int64_t i = 0, n = int64_t{bitmap.Width} * bitmap.Height; i < n; ++i, p += 3) {
        const uint32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
        const uint8_t bit = static_cast<uint8_t>(1u << (c & 7));
        if (!(seen[c >> 3] & bit)) {
            seen[c >> 3] |= bit;
            ++count;
        }
    }
    return count;
}

void GetHistogram(THistogram& histogram, const TLinearBitmap& bitmap, int channel) {
    std::memset(&histogram, 0, sizeof histogram);
    if (!bitmap.Present) return;
    const int64_t bytes = bitmap.Size;
    if (OneChannel(bitmap, channel)) {
        for (int64_t i = channel; i < bytes; i += 3) ++histogram.Bins[bitmap.Map[i]];
        histogram.Count = static_cast<uint32_t>(bytes / 3);
    } else {
        for (int64_t i = 0; i < bytes; ++i) ++histogram.Bins[bitmap.Map[i]];
        histogram.Count = static_cast<uint32_t>(bytes);
    }
}

int CountUsedBins(const THistogram& histogram) {
    int n = 0;
    for (uint32_t b : histogram.Bins) n += b != 0;
    return n;
}

void ApplyLUT(const uint8_t (&table)[256], TLinearBitmap& bitmap, int channel) {
    if (!bitmap.Present) return;
    const int64_t bytes = bitmap.Size;
    if (OneChannel(bitmap, channel)) {
        for (int64_t i = channel; i < bytes; i += 3) bitmap.Map[i] = table[bitmap.Map[i]];
    } else {
        for (int64_t i = 0; i < bytes; ++i) bitmap.Map[i] = table[bitmap.Map[i]];
    }
}

}  // namespace imagefile
