#include "imagefile/IconList.h"

#include <cstdio>
#include <cstring>

namespace imagefile {

namespace {

const char* const kErrorInIconData = "Error in icon data";

inline uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LE32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
inline void Put16(std::string& s, uint32_t v) { s += static_cast<char>(v), s += static_cast<char>(v >> 8); }
inline void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }

}  // namespace

// ---- TIconImage ----

TIconImage::TIconImage(int width, int height, int bitCount, bool allocate)
    : width_(width), height_(height), bitCount_(bitCount) {
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) throw ELinearBitmap(kUnsupportedPixelFormat);
    if (width < 1 || height < 1 || width > 256 || height > 256) throw ELinearBitmap(kInvalidBitmapSize);
    if (!allocate) return;
    ColorData.assign(static_cast<size_t>(ColorRowBytes()) * height + 1, 0);
    MaskData.assign(static_cast<size_t>(MaskRowBytes()) * height, 0);
    Palette.assign(static_cast<size_t>(PaletteEntries()) * 4, 0);
}

int TIconImage::PixelFormat() const { return bitCount_ == 1 ? 1 : bitCount_ == 4 ? 2 : bitCount_ == 8 ? 3 : 6; }

bool TIconImage::Masked(int x, int y) const {
    const uint8_t* row = MaskData.data() + static_cast<size_t>(MaskRowBytes()) * (height_ - 1 - y);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

uint32_t TIconImage::Color(int x, int y) const {
    const uint8_t* row = ColorData.data() + static_cast<size_t>(ColorRowBytes()) * (height_ - 1 - y);
    const uint8_t* bgr;
    switch (bitCount_) {
        case 24: bgr = row + 3 * x; break;
        case 8: bgr = Palette.data() + 4 * row[x]; break;
        case 4: bgr = Palette.data() + 4 * ((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15); break;
        default: bgr = Palette.data() + 4 * ((row[x >> 3] >> (7 - (x & 7))) & 1); break;
    }
    return bgr[2] | bgr[1] << 8 | uint32_t(bgr[0]) << 16;
}

void TIconImage::Draw(uint32_t transparentColor, TLinearBitmap& bitmap) const {
    TLinearBitmap out;
    out.New(width_, height_, pf24bit);
    for (int y = 0; y < height_; ++y) {
        uint8_t* d = out.ScanLine(y);
        for (int x = 0; x < width_; ++x, d += 3) {
            const uint32_t c = Masked(x, y) ? transparentColor : Color(x, y);
            d[0] = static_cast<uint8_t>(c >> 16), d[1] = static_cast<uint8_t>(c >> 8), d[2] = static_cast<uint8_t>(c);
        }
    }
    bitmap.TakeOver(out);
}

// ---- TIconList ----

void TIconList::LoadFromStream(TBaseStream& stream) {
    Clear();
    FileType = 0;
    {
        TMemStream mem;
        if (CopyStream(stream, &mem, kMaxBridgedStream + 1) > kMaxBridgedStream)
            throw EUnsupportedFileFormat(kUnsupportedFileFormat);
        file_ = mem.ToString();
    }
    const auto* f = reinterpret_cast<const uint8_t*>(file_.data());
    const int64_t size = static_cast<int64_t>(file_.size());
    if (size < 6 || LE16(f) != 0) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    const int type = LE16(f + 2), count = LE16(f + 4);
    if (type != 1 && type != 2) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    FileType = type;
    if (6 + 16 * int64_t{count} > size) throw ELinearBitmap(kErrorInIconData);
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = f + 6 + 16 * i;
        const int width = e[0] ? e[0] : 256, height = e[1] ? e[1] : 256;
        const int64_t dataSize = LE32(e + 8), offset = LE32(e + 12);
        if (offset + 40 > size || dataSize < 40 || offset + dataSize > size) throw ELinearBitmap(kErrorInIconData);
        const uint8_t* h = f + offset;
        if (LE32(h) != 40) throw ELinearBitmap(kUnsupportedPixelFormat);  // PNG entries and other headers
        const int32_t headerWidth = static_cast<int32_t>(LE32(h + 4)), headerHeight = static_cast<int32_t>(LE32(h + 8));
        if (headerWidth != width || headerHeight / 2 != height) {
            char text[64];
            std::snprintf(text, sizeof text, "Size mismatch in icon %d", i + 1);
            throw ELinearBitmap(text);
        }
        // Pixels are decoded on demand; until then the image holds no buffers.
        std::unique_ptr<TIconImage> image(new TIconImage(width, height, LE16(h + 14), false));
        if (type == 2) image->HotSpotX = LE16(e + 4), image->HotSpotY = LE16(e + 6);
        image->offset_ = offset;
        const int64_t need = 40 + int64_t{image->PaletteEntries()} * 4 +
                             (int64_t{image->ColorRowBytes()} + image->MaskRowBytes()) * height;
        if (offset + need > size) throw ELinearBitmap(kErrorInIconData);
        images_.push_back(std::move(image));
    }
}

void TIconList::Decode(int i) {
    TIconImage& im = *images_.at(static_cast<size_t>(i));
    if (im.offset_ < 0) return;
    const auto* p = reinterpret_cast<const uint8_t*>(file_.data()) + im.offset_ + 40;
    const size_t palette = static_cast<size_t>(im.PaletteEntries()) * 4;
    const size_t colour = static_cast<size_t>(im.ColorRowBytes()) * im.height_;
    const size_t mask = static_cast<size_t>(im.MaskRowBytes()) * im.height_;
    im.Palette.assign(p, p + palette);
    im.ColorData.assign(p + palette, p + palette + colour);
    im.ColorData.push_back(0);
    im.MaskData.assign(p + palette + colour, p + palette + colour + mask);
    im.offset_ = -1;
}

void TIconList::SaveToStream(TBaseStream& stream) {
    if (FileType != 1 && FileType != 2) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    for (int i = 0; i < Count(); ++i) Decode(i);
    std::string out;
    Put16(out, 0), Put16(out, static_cast<uint32_t>(FileType)), Put16(out, static_cast<uint32_t>(Count()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(Count());
    for (const auto& im : images_) {
        const uint32_t colour = static_cast<uint32_t>(im->ColorRowBytes()) * im->Height();
        const uint32_t mask = static_cast<uint32_t>(im->MaskRowBytes()) * im->Height();
        const uint32_t size = colour + 40 + static_cast<uint32_t>(im->PaletteEntries()) * 4 + mask;
        out += static_cast<char>(im->Width() & 0xFF);
        out += static_cast<char>(im->Height() & 0xFF);
        out += static_cast<char>(im->BitCount() <= 8 ? (1 << im->BitCount()) & 0xFF : 0);
        out += '\0';
        Put16(out, static_cast<uint32_t>(im->HotSpotX)), Put16(out, static_cast<uint32_t>(im->HotSpotY));
        Put32(out, size), Put32(out, offset);
        offset += size;
    }
    for (const auto& im : images_) {
        const uint32_t colour = static_cast<uint32_t>(im->ColorRowBytes()) * im->Height();
        const uint32_t mask = static_cast<uint32_t>(im->MaskRowBytes()) * im->Height();
        Put32(out, 40), Put32(out, static_cast<uint32_t>(im->Width())), Put32(out, static_cast<uint32_t>(im->Height() * 2));
        Put16(out, 1), Put16(out, static_cast<uint32_t>(im->BitCount()));
        Put32(out, 0), Put32(out, colour + mask);
        out.append(16, '\0');
        out.append(reinterpret_cast<const char*>(im->Palette.data()), im->Palette.size());
        out.append(reinterpret_cast<const char*>(im->ColorData.data()), colour);
        out.append(reinterpret_cast<const char*>(im->MaskData.data()), mask);
    }
    stream.Write(out.data(), out.size());
}

std::string TIconList::Describe(int i) const {
    const TIconImage& im = Image(i);
    char text[64];
    std::snprintf(text, sizeof text, "%s %d x %d %d bit", FileType == 2 ? "Cursor" : "Icon", im.Width(), im.Height(),
                  im.BitCount());
    return text;
}

}  // namespace imagefile
