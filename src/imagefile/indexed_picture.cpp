#include "imagefile/indexed_picture.h"

#include <cstring>

namespace imagefile {

void CheckPictureBudget(int64_t width, int64_t height, int pixelSize, int64_t maxPictureBytes) {
    CheckBitmapSize(width, height, pixelSize);
    if (width * height * pixelSize > maxPictureBytes) throw ELinearBitmap(kInvalidBitmapSize);
}

TIndexedPicture::TIndexedPicture(int64_t width, int64_t height, bool keepPalette, int64_t maxPictureBytes)
    : keepPalette_(keepPalette) {
    const int pixelSize = keepPalette ? 1 : 3;
    CheckPictureBudget(width, height, pixelSize, maxPictureBytes);
    picture_.New(static_cast<int>(width), static_cast<int>(height), keepPalette ? pf8bit : pf24bit);
    // Only the index bytes need clearing; a 24-bit row's rest is written by Finish.
    for (int y = 0; y < picture_.Height; ++y) std::memset(picture_.ScanLine(y), 0, static_cast<size_t>(picture_.Width));
}

void TIndexedPicture::Finish(const uint8_t palette[768], TLinearBitmap& bitmap) {
    const int w = picture_.Width;
    if (keepPalette_) {
        std::memcpy(picture_.Palette, palette, 768);
    } else {
        for (int y = 0; y < picture_.Height; ++y) {
            uint8_t* row = picture_.ScanLine(y);
            for (int x = w - 1; x >= 0; --x) std::memcpy(row + 3 * x, palette + 3 * row[x], 3);
        }
    }
    bitmap.TakeOver(picture_);
}

}  // namespace imagefile
