#pragma once
// TUniDIB: a device-independent bitmap of 1, 4, 8, 16, 24 or 32 bits per pixel in
// memory, with one pixel-access routine set per bit count chosen at creation.
//
// Contracts:
// - Rows are padded to 4 bytes ((width x bits + 31) div 32 x 4). A negative height
//   at creation stores the rows top-down, a positive one bottom-up; y in every
//   access is the picture's row counted from the top either way.
// - The pixel memory starts zeroed. Creation raises ELinearBitmap "Invalid bitmap
//   size" when the pixels would exceed kMaxBitmapBytes; nothing larger is allocated.
// - A colour is a 32-bit value whose bytes 0, 1, 2 are the first, second and third
//   channel, already reduced to the layout's channel widths (16 bit) or a palette
//   index (up to 8 bits). Accesses are not range-checked.
#include <cstdint>
#include <memory>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

struct TBitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;  // 3: the first three colour-table words are R, G, B masks
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

class TUniDIB {
public:
    // bitCount is raised to the next of 1, 4, 8, 16, 24, 32 (32 above 24); width
    // below 1 becomes 1 and height 0 becomes 1. layout16 (0-3) picks the 16-bit
    // packing: 0 is 5-5-5; 1, 2, 3 give the third, second or first channel six bits,
    // its lowest bit in bit 15.
    TUniDIB(int width, int height, int bitCount, int layout16 = 0);
    TUniDIB(const TUniDIB&) = delete;
    TUniDIB& operator=(const TUniDIB&) = delete;

    TBitmapInfoHeader Info;
    uint8_t ColorTable[256 * 4] = {};  // B, G, R, 0 per entry

    int Width() const { return Info.biWidth; }
    int Height() const { return height_; }  // absolute
    int BitCount() const { return Info.biBitCount; }
    bool TopDown() const { return Info.biHeight < 0; }
    int ScanlineSize() const { return scanlineSize_; }
    int64_t ImageSize() const { return imageSize_; }
    bool HasPalette() const { return Info.biBitCount <= 8; }
    int NumColors() const { return HasPalette() ? 1 << Info.biBitCount : 0; }
    uint8_t* Bits() { return bits_.get(); }
    const uint8_t* Bits() const { return bits_.get(); }
    uint8_t* ScanLine(int y) { return bits_.get() + RowOffset(y); }
    const uint8_t* ScanLine(int y) const { return bits_.get() + RowOffset(y); }

    void SetPixel(int x, int y, uint32_t colour) { setPixel_(*this, x, y, colour); }
    uint32_t GetPixel(int x, int y) const { return getPixel_(*this, x, y); }
    // The sequential pair: Seek places the cursor on (x, y); each call then moves it
    // one pixel to the right.
    void Seek(int x, int y);
    void WriteNext(uint32_t colour) { writeNext_(*this, colour); }
    uint32_t ReadNext() { return readNext_(*this); }

    // The cursor (pixel address and, below 8 bits, the bit position of the pixel's
    // most significant bit).
    uint8_t* Cursor = nullptr;
    int BitPos = 0;

private:
    int64_t RowOffset(int y) const {
        return static_cast<int64_t>(TopDown() ? y : height_ - 1 - y) * scanlineSize_;
    }
    int height_ = 1;
    int layout16_ = 0;
    int scanlineSize_ = 0;
    int64_t imageSize_ = 0;
    std::unique_ptr<uint8_t[]> bits_;
    void (*setPixel_)(TUniDIB&, int, int, uint32_t) = nullptr;
    uint32_t (*getPixel_)(const TUniDIB&, int, int) = nullptr;
    void (*writeNext_)(TUniDIB&, uint32_t) = nullptr;
    uint32_t (*readNext_)(TUniDIB&) = nullptr;

    template <int Bits, int Layout>
    friend struct PixelAccess;
};

}  // namespace imagefile
