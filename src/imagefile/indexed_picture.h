#pragma once
// The one picture a run-length or otherwise compressed palette file decodes into.
//
// A few bytes of run-length data can describe a picture of the full size cap, so
// such loaders must not hold a second full-size buffer on the way (a DIB, a plane
// buffer, an index copy): the decoder writes palette indices straight into the
// rows of the final picture, and only a 24-bit picture is then expanded in place.
// Peak memory is the picture itself plus a small constant, and the time is
// proportional to the picture.
//
// Contracts:
// - The size is checked (CheckPictureBudget) before anything is allocated.
// - Every index starts at 0, so pixels a file never writes show palette entry 0.
// - Finish moves the picture into the caller's bitmap; the object is empty after.
#include <cstdint>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

// Raises "Invalid bitmap size" unless 1 <= width, height and width x height x
// pixelSize fits both kMaxBitmapBytes and maxPictureBytes. For any loader that
// decodes compressed data: call it before the first allocation.
void CheckPictureBudget(int64_t width, int64_t height, int pixelSize, int64_t maxPictureBytes = kMaxBitmapBytes);

class TIndexedPicture {
public:
    // keepPalette: an 8-bit picture with the palette; otherwise 24 bit.
    TIndexedPicture(int64_t width, int64_t height, bool keepPalette, int64_t maxPictureBytes = kMaxBitmapBytes);
    TIndexedPicture(const TIndexedPicture&) = delete;
    TIndexedPicture& operator=(const TIndexedPicture&) = delete;

    int Width() const { return picture_.Width; }
    int Height() const { return picture_.Height; }
    // Width bytes of palette indices for row y (top row 0).
    uint8_t* Row(int y) { return picture_.ScanLine(y); }
    // `palette` is 256 entries of B, G, R. A 24-bit picture gets each index's
    // colour, right to left within its row so no copy is needed.
    void Finish(const uint8_t palette[768], TLinearBitmap& bitmap);

private:
    TLinearBitmap picture_;
    bool keepPalette_;
};

}  // namespace imagefile
