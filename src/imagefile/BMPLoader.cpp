#include "imagefile/BMPLoader.h"

#include <cstring>
#include <vector>

#include "imagefile/DIBTools.h"

namespace imagefile {

namespace {

inline void Put16(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8); }
inline void Put32(uint8_t* p, uint32_t v) { Put16(p, v), Put16(p + 2, v >> 16); }

}  // namespace

std::string TBMPLoader::GetLoadFilter() { return "Windows bitmap (*.bmp)|*.bmp"; }

void TBMPLoader::LoadFromStream(TBaseStream& stream, const std::string&, TLinearBitmap& bitmap) {
    TFallbackBitmap fallback;
    fallback.MaxPictureBytes = MaxPictureBytes;
    fallback.LoadFromStream(stream);
    bitmap.TakeOver(fallback.Picture);
}

void TBMPLoader::SaveToStream(TBaseStream& stream, const std::string&, const TLinearBitmap& bitmap) {
    if (!bitmap.Present) throw ELinearBitmap(kInvalidBitmapSize);
    const int format = bitmap.PixelFormat;
    const int bits = format == pf8bit || format == pf16bit ? 8 : format == pf24bit ? 24 : 32;
    const int w = bitmap.Width, h = bitmap.Height;
    const int64_t stride = (int64_t{w} * bits + 31) / 32 * 4;
    const int64_t offset = 14 + 40 + (bits == 8 ? 1024 : 0);
    const int64_t total = offset + stride * h;
    if (total > UINT32_MAX) throw ELinearBitmap(kInvalidBitmapSize);
    std::vector<uint8_t> file(static_cast<size_t>(total), 0);
    uint8_t* p = file.data();
    p[0] = 'B', p[1] = 'M';
    Put32(p + 2, static_cast<uint32_t>(total));
    Put32(p + 10, static_cast<uint32_t>(offset));
    Put32(p + 14, 40);
    Put32(p + 18, static_cast<uint32_t>(w));
    Put32(p + 22, static_cast<uint32_t>(h));
    Put16(p + 26, 1);
    Put16(p + 28, static_cast<uint32_t>(bits));
    Put32(p + 34, static_cast<uint32_t>(stride * h));
    if (bits == 8) {
        const uint8_t* pal = format == pf8bit ? bitmap.Palette : GrayPalette;
        for (int i = 0; i < 256; ++i) std::memcpy(p + 54 + 4 * i, pal + 3 * i, 3);
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* d = p + offset + stride * (h - 1 - y);
        const uint8_t* s = bitmap.ScanLine(y);
        if (format == pf16bit)
            for (int x = 0; x < w; ++x) d[x] = s[2 * x + 1];
        else
            std::memcpy(d, s, static_cast<size_t>(bitmap.BytesPerLine));
    }
    stream.Write(file.data(), file.size());
}

}  // namespace imagefile
