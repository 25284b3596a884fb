#pragma once
// The image record handed to and from image plug-ins.
#include <cstdint>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

struct TPluginImage {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BytesPerLine = 0;  // of one plane for planar kinds
    // 1, 3 or 4 bytes per pixel; 16 + n: n planes one after another, a byte each.
    int32_t PixelKind = 0;
    uint8_t* Pixels = nullptr;
    uint8_t* Palette = nullptr;  // 768 bytes B,G,R or none (then GrayPalette)
    uint32_t Flags = 0;          // low four bits: colour planes; 33: 16-bit grey
};

// Points the record at an 8- or 24-bit picture's memory (else "Unsupported
// pixel format").
void BitmapToPluginImage(const TLinearBitmap& bitmap, TPluginImage& image);
// Copies a record into a picture: one plane 8 bit (16-bit grey for flags 33), two
// planes a cleared 24-bit picture, three or more 24 bit (planes beyond the third
// are not read). Returns the plane count.
int PluginImageToBitmap(const TPluginImage& image, TLinearBitmap& bitmap);

}  // namespace imagefile
