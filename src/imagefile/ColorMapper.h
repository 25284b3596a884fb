#pragma once
// Colour counting, histograms and look-up tables over a TLinearBitmap.
#include <cstdint>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

struct THistogram {
    uint32_t Bins[256];
    uint32_t Count;  // samples counted
};

// Distinct colours: exact for 24-bit pictures, distinct byte values otherwise.
int CountColors(const TLinearBitmap& bitmap);
// Channel 0..2 counts that byte (B, G, R) of each pixel of a 24-bit picture;
// channel 3, and any channel for other formats, counts every byte.
void GetHistogram(THistogram& histogram, const TLinearBitmap& bitmap, int channel);
int CountUsedBins(const THistogram& histogram);
// Replaces bytes through `table`, channels as GetHistogram.
void ApplyLUT(const uint8_t (&table)[256], TLinearBitmap& bitmap, int channel);

}  // namespace imagefile
