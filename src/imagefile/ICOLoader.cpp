#include "imagefile/ICOLoader.h"

#include <algorithm>
#include <cstring>

namespace imagefile {

std::string TICOLoader::GetLoadFilter() { return "Windows icon (*.ico)|*.ico|Windows cursor (*.cur)|*.cur"; }

void TICOLoader::LoadFromStream(TBaseStream& stream, const std::string&, TLinearBitmap& bitmap) {
    TIconList list;
    list.LoadFromStream(stream);
    if (list.Count() == 0) throw ELinearBitmap("No icons in file");
    int index = 0;
    uint32_t colour = TransparentColor;
    if (!NoDialog && list.Count() > 1 && SelectIcon) {
        if (!SelectIcon(list, index, colour)) {
            bitmap.Dispose();
            return;
        }
        index = std::clamp(index, 0, list.Count() - 1);
        TransparentColor = colour;
    }
    list.Decode(index);
    const TIconImage& image = list.Image(index);
    if (list.FileType == 2) HotSpotX = image.HotSpotX, HotSpotY = image.HotSpotY;
    image.Draw(TransparentColor, bitmap);
}

void TICOLoader::SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) {
    if (!bitmap.Present) throw ELinearBitmap(kInvalidBitmapSize);
    if (bitmap.Width > 255 || bitmap.Height > 255) throw ELinearBitmap("Image is too large for icon");
    const TLinearBitmap* src = &bitmap;
    TLinearBitmap converted;
    if (bitmap.PixelFormat != pf8bit && bitmap.PixelFormat != pf24bit) {
        converted.Assign(bitmap);
        converted.SetPixelFormat(pf24bit);
        src = &converted;
    }
    const int w = src->Width, h = src->Height;
    const uint8_t tb = static_cast<uint8_t>(TransparentColor >> 16), tg = static_cast<uint8_t>(TransparentColor >> 8),
                  tr = static_cast<uint8_t>(TransparentColor);
    auto transparent = [&](const uint8_t* bgr) { return bgr[0] == tb && bgr[1] == tg && bgr[2] == tr; };

    int bits = 24;
    if (src->PixelFormat == pf8bit) {
        int highest = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t i = src->ScanLine(y)[x];
                if (!transparent(src->Palette + 3 * i)) highest = std::max<int>(highest, i);
            }
        bits = highest < 16 ? 4 : 8;
    }
    auto image = std::make_unique<TIconImage>(w, h, bits);
    if (bits <= 8)
        for (int i = 0; i < image->PaletteEntries(); ++i) std::memcpy(&image->Palette[4 * i], src->Palette + 3 * i, 3);
    for (int y = 0; y < h; ++y) {
        const int fileRow = h - 1 - y;
        uint8_t* colour = image->ColorData.data() + static_cast<size_t>(image->ColorRowBytes()) * fileRow;
        uint8_t* mask = image->MaskData.data() + static_cast<size_t>(image->MaskRowBytes()) * fileRow;
        const uint8_t* s = src->ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t* bgr = bits == 24 ? s + 3 * x : src->Palette + 3 * s[x];
            if (transparent(bgr)) {
                mask[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
                continue;  // colour bits stay 0: black or index 0
            }
            if (bits == 24) std::memcpy(colour + 3 * x, bgr, 3);
            else if (bits == 8) colour[x] = s[x];
            else colour[x >> 1] |= static_cast<uint8_t>((x & 1) ? s[x] : s[x] << 4);
        }
    }
    const bool icon = ext == "ICO";
    if (!icon) image->HotSpotX = HotSpotX, image->HotSpotY = HotSpotY;
    TIconList list;
    list.FileType = icon ? 1 : 2;
    list.Add(std::move(image));
    list.SaveToStream(stream);
}

}  // namespace imagefile
