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

namespace {

// The colours of a picture in order of first appearance, in an open-addressed
// table of 1,024 slots (at most 256 entries are ever put in).
class FirstAppearance {
public:
    FirstAppearance() { std::fill(std::begin(keys_), std::end(keys_), kEmpty); }
    // The colour's index; -1 when it would be the 257th.
    int IndexOf(const uint8_t* bgr) {
        const uint32_t c = bgr[0] | bgr[1] << 8 | uint32_t(bgr[2]) << 16;
        if (c == last_) return lastIndex_;
        uint32_t slot = (c * 2654435761u) >> 22;
        while (keys_[slot] != kEmpty && keys_[slot] != c) slot = (slot + 1) & 1023;
        if (keys_[slot] == kEmpty) {
            if (count_ == 256) return -1;
            keys_[slot] = c;
            values_[slot] = static_cast<uint8_t>(count_);
            std::memcpy(palette_ + 3 * count_, bgr, 3);
            ++count_;
        }
        last_ = c, lastIndex_ = values_[slot];
        return lastIndex_;
    }
    const uint8_t* Palette() const { return palette_; }

private:
    static constexpr uint32_t kEmpty = 0xFFFFFFFF;
    uint32_t keys_[1024];
    uint8_t values_[1024];
    uint8_t palette_[768] = {};
    int count_ = 0;
    uint32_t last_ = kEmpty;
    int lastIndex_ = 0;
};

}  // namespace

bool ReduceToFirstAppearancePalette(TLinearBitmap& bitmap) {
    if (!bitmap.Present || bitmap.PixelFormat != pf24bit) return false;
    const int64_t n = int64_t{bitmap.Width} * bitmap.Height;
    // The first pass only reads; the second writes each index over the start of
    // its own pixel (byte i lies at or before pixel i's first byte 3 i), so the
    // 8-bit picture takes the 24-bit one's memory and no second picture is held.
    FirstAppearance colours;
    for (int64_t i = 0; i < n; ++i)
        if (colours.IndexOf(bitmap.Map + 3 * i) < 0) return false;
    for (int64_t i = 0; i < n; ++i) bitmap.Map[i] = static_cast<uint8_t>(colours.IndexOf(bitmap.Map + 3 * i));
    bitmap.NarrowTo8Bit(colours.Palette());
    return true;
}

}  // namespace imagefile
