#include "imagefile/PluginLinearBitmap.h"

#include <algorithm>
#include <cstring>

namespace imagefile {

void BitmapToPluginImage(const TLinearBitmap& bitmap, TPluginImage& image) {
    if (!bitmap.Present || (bitmap.PixelFormat != pf8bit && bitmap.PixelFormat != pf24bit))
        throw ELinearBitmap(kUnsupportedPixelFormat);
    image = TPluginImage{};
    image.Width = bitmap.Width;
    image.Height = bitmap.Height;
    image.BytesPerLine = bitmap.BytesPerLine;
    image.PixelKind = bitmap.PixelSize;
    image.Pixels = bitmap.Map;
    image.Palette = bitmap.PixelFormat == pf8bit ? bitmap.Palette : nullptr;
    image.Flags = bitmap.PixelFormat == pf8bit ? 1 : 3;
}

int PluginImageToBitmap(const TPluginImage& image, TLinearBitmap& bitmap) {
    const int planes = static_cast<int>(image.Flags & 15);
    const bool planar = image.PixelKind > 16;
    const int64_t w = image.Width, h = image.Height;
    if (w < 1 || h < 1 || !image.Pixels) throw ELinearBitmap(kInvalidBitmapSize);
    const bool grey16 = image.Flags == 33;
    const int64_t rowBytes = planes <= 1 ? w * (grey16 ? 2 : 1) : planar ? w : w * (image.PixelKind == 4 ? 4 : 3);
    if (image.BytesPerLine < rowBytes) throw ELinearBitmap("Error in bitmap data");
    const uint8_t* src = image.Pixels;
    const int64_t stride = image.BytesPerLine;
    if (planes <= 1) {
        bitmap.New(image.Width, image.Height, grey16 ? pf16bit : pf8bit);
        for (int y = 0; y < h; ++y) std::memcpy(bitmap.ScanLine(y), src + y * stride, bitmap.BytesPerLine);
        if (!grey16) std::memcpy(bitmap.Palette, image.Palette ? image.Palette : GrayPalette, 768);
        return planes;
    }
    bitmap.New(image.Width, image.Height, pf24bit);
    if (planes == 2 || planar) bitmap.Clear(0);
    if (planes == 2) {
        return planes;
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* d = bitmap.ScanLine(y);
        if (planar) {
            for (int p = 0; p < std::min(3, image.PixelKind - 16); ++p) {
                const uint8_t* s = src + (p * h + y) * stride;
                for (int64_t x = 0; x < w; ++x) d[3 * x + p] = s[x];
            }
        } else if (image.PixelKind == 4) {
            const uint8_t* s = src + y * stride;
            for (int64_t x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
        } else {
            std::memcpy(d, src + y * stride, 3 * w);
        }
    }
    return planes;
}

}  // namespace imagefile
