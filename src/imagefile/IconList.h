#pragma once
// The images of a Windows icon (.ico) or cursor (.cur) file.
//
// File: a 6-byte header (reserved, type 1 icon or 2 cursor, count), one 16-byte
// directory entry per image (width, height, colour count, reserved, then planes
// and bit count for icons or the hot spot for cursors, then data size and data
// offset), and at each offset a 40-byte bitmap information header whose height is
// twice the image's, the palette (B,G,R,0 entries, up to 8 bits), the colour rows
// and the mask rows, all bottom-up. Colour rows of every depth and mask rows are
// padded to 32 bits as in every DIB.
//
// Reading takes every entry's directory entry and image header at once but the
// pixels only when an image is decoded, so a small file of many entries sharing
// one offset stays small in memory. Failures raise ELinearBitmap: a header width
// or half-height other than the entry's "Size mismatch in icon %d" (1-based; an
// entry size of 0 stands for 256), a bit count other than 1, 4, 8 or 24
// "Unsupported pixel format", data outside the file "Error in icon data", a file
// larger than 100 MB or another file type "Unsupported file format".
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/LinarBitmap.h"

namespace imagefile {

class TIconImage {
public:
    // An empty image of the size and bit count (1, 4, 8 or 24; else "Unsupported
    // pixel format"): colour data, mask and palette cleared.
    TIconImage(int width, int height, int bitCount) : TIconImage(width, height, bitCount, true) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bitCount_; }
    // 1, 2, 3 or 6 for 1, 4, 8 or 24 bits.
    int PixelFormat() const;
    int ColorRowBytes() const { return (width_ * bitCount_ + 31) / 32 * 4; }
    int MaskRowBytes() const { return (width_ + 31) / 32 * 4; }
    int PaletteEntries() const { return bitCount_ <= 8 ? 1 << bitCount_ : 0; }

    // Bottom-up rows, as in the file.
    std::vector<uint8_t> ColorData;
    std::vector<uint8_t> MaskData;  // a set bit is a transparent pixel
    std::vector<uint8_t> Palette;   // B,G,R,0 entries
    int HotSpotX = 0, HotSpotY = 0;

    bool Masked(int x, int y) const;  // y from the top
    // Colour of (x, y) from the top as 0x00BBGGRR, the mask not applied.
    uint32_t Color(int x, int y) const;
    // A 24-bit picture with masked pixels in `transparentColor` (0x00BBGGRR).
    void Draw(uint32_t transparentColor, TLinearBitmap& bitmap) const;

private:
    friend class TIconList;
    TIconImage(int width, int height, int bitCount, bool allocate);
    int width_, height_, bitCount_;
    // Where the entry's data start in the file, until decoded.
    int64_t offset_ = -1;
};

class TIconList {
public:
    // 1 icon, 2 cursor, 0 other.
    int FileType = 0;
    int Count() const { return static_cast<int>(images_.size()); }
    TIconImage& Image(int i) { return *images_[i]; }
    const TIconImage& Image(int i) const { return *images_[i]; }
    void Add(std::unique_ptr<TIconImage> image) { images_.push_back(std::move(image)); }
    void Clear() { images_.clear(), file_.clear(); }

    // Reads the headers; the pixels of image i follow with Decode(i).
    void LoadFromStream(TBaseStream& stream);
    // Reads image i's palette, colour rows and mask (once).
    void Decode(int i);
    // Type 1 or 2 (else "Unsupported file format"), every image with its data
    // (images not decoded yet are decoded first).
    void SaveToStream(TBaseStream& stream);

    // The selection window's line for image i: "Icon 32 x 32 8 bit".
    std::string Describe(int i) const;

private:
    std::vector<std::unique_ptr<TIconImage>> images_;
    std::string file_;
};

}  // namespace imagefile
