#include "imagefile/WMFLoader.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "imagefile/Metafile.h"

namespace imagefile {

std::string TWMFLoader::GetLoadFilter() { return "Windows metafile (*.wmf,*.emf)|*.wmf;*.emf"; }
std::string TWMFLoader::GetSaveFilter() {
    return "Windows metafile (*.wmf)|*.wmf|Windows enhanced metafile (*.emf)|*.emf";
}

void TWMFLoader::LoadFromStream(TBaseStream& stream, const std::string&, TLinearBitmap& bitmap) {
    TMetafile metafile;
    metafile.LoadFromStream(stream);
    TLinearBitmap picture;
    metafile.Draw(picture, MaxPictureBytes);
    ReduceToFirstAppearancePalette(picture);
    bitmap.TakeOver(picture);
}

void TWMFLoader::SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) {
    const std::string file = ext == "EMF" ? TMetafile::MakeEnhanced(bitmap) : TMetafile::MakePlaceable(bitmap);
    stream.Write(file.data(), file.size());
}

bool ReduceToFirstAppearancePalette(TLinearBitmap& bitmap) {
    if (!bitmap.Present || bitmap.PixelFormat != pf24bit) return false;
    // Colours seen so far in an open-addressed table of 1,024 slots (at most 257
    // entries are ever put in); every pixel's colour is then an exact entry, so
    // the nearest entry is its own.
    constexpr uint32_t kEmpty = 0xFFFFFFFF;
    uint32_t keys[1024];
    uint8_t values[1024];
    std::fill(std::begin(keys), std::end(keys), kEmpty);
    uint8_t palette[768] = {};
    int count = 0;
    const int64_t n = int64_t{bitmap.Width} * bitmap.Height;
    // One pass: the indices go straight into the 8-bit picture, which is given up
    // at the 257th colour (its pages untouched past that point cost nothing).
    TLinearBitmap out;
    out.New(bitmap.Width, bitmap.Height, pf8bit);
    uint32_t last = kEmpty;
    uint8_t lastIndex = 0;
    const uint8_t* s = bitmap.Map;
    for (int64_t i = 0; i < n; ++i, s += 3) {
        const uint32_t c = s[0] | s[1] << 8 | uint32_t(s[2]) << 16;
        if (c != last) {
            uint32_t slot = (c * 2654435761u) >> 22;
            while (keys[slot] != kEmpty && keys[slot] != c) slot = (slot + 1) & 1023;
            if (keys[slot] == kEmpty) {
                if (count == 256) return false;
                keys[slot] = c;
                values[slot] = static_cast<uint8_t>(count);
                std::memcpy(palette + 3 * count, s, 3);
                ++count;
            }
            last = c, lastIndex = values[slot];
        }
        out.Map[i] = lastIndex;
    }
    std::memcpy(out.Palette, palette, 768);
    bitmap.TakeOver(out);
    return true;
}

}  // namespace imagefile
