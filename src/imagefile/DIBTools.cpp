#include "imagefile/DIBTools.h"

#include <algorithm>
#include <cstring>

namespace imagefile {

namespace {

constexpr size_t kMinBuffer = 65536;

inline uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t LE32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The standard 16 VGA colours as R, G, B, for the device-dependent form.
const uint8_t kVGA[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                             {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                             {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                             {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

void SetEntry(TUniDIB& dib, int i, uint8_t r, uint8_t g, uint8_t b) {
    dib.ColorTable[4 * i] = b, dib.ColorTable[4 * i + 1] = g, dib.ColorTable[4 * i + 2] = r, dib.ColorTable[4 * i + 3] = 0;
}

bool ValidBits(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// Uncompressed rows: fileStride bytes per row, the DIB's row filled from them.
// Only the last row's padding may be missing from the file.
int ReadRows(TBufferedFile& in, TUniDIB& dib, int64_t fileStride, bool topDown) {
    const int h = dib.Height();
    const int64_t keep = std::min<int64_t>({fileStride, dib.ScanlineSize(), (int64_t{dib.Width()} * dib.BitCount() + 7) / 8});
    for (int r = 0; r < h; ++r) {
        uint8_t* row = dib.ScanLine(topDown ? r : h - 1 - r);
        if (in.ReadRow(row, static_cast<size_t>(keep)) != static_cast<size_t>(keep)) return 5;
        if (fileStride > keep && !in.Skip(fileStride - keep) && r != h - 1) return 5;
    }
    return 0;
}

// RLE8 (bits 8) and RLE4 (bits 4). Stops at the end-of-bitmap escape, past the
// last row or at the end of the data, keeping what was decoded.
void ReadRLE(TBufferedFile& in, TUniDIB& dib, int bits, bool topDown) {
    const int w = dib.Width(), h = dib.Height();
    int x = 0, r = 0;
    uint8_t* row = dib.ScanLine(topDown ? 0 : h - 1);
    auto put = [&](uint32_t v) {
        if (x < w) {
            if (bits == 8) row[x] = static_cast<uint8_t>(v);
            else row[x >> 1] = static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0xF0) | v : (row[x >> 1] & 0x0F) | v << 4);
        }
        ++x;
    };
    auto nextRow = [&](int rows) {
        r += rows;
        if (r < h) row = dib.ScanLine(topDown ? r : h - 1 - r);
    };
    while (r < h) {
        const int count = in.ReadByte(), value = in.ReadByte();
        if (value < 0) return;
        if (count > 0) {
            const int n = std::min(count, std::max(0, w - x));
            if (bits == 8) {
                if (n > 0) std::memset(row + x, value, static_cast<size_t>(n));
                x += n;
            } else {
                for (int k = 0; k < n; ++k) put((k & 1) ? value & 15 : value >> 4);
            }
            x = std::min(w, x + (count - n));
            continue;
        }
        if (value == 0) {
            x = 0;
            nextRow(1);
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            const int dx = in.ReadByte(), dy = in.ReadByte();
            if (dy < 0) return;
            x = std::min(w, x + dx);
            nextRow(dy);
        } else {
            const int bytes = bits == 8 ? value : (value + 1) / 2;
            for (int k = 0; k < bytes; ++k) {
                const int b = in.ReadByte();
                if (b < 0) return;
                if (bits == 8) {
                    put(static_cast<uint32_t>(b));
                } else {
                    put(static_cast<uint32_t>(b) >> 4);
                    if (2 * k + 1 < value) put(static_cast<uint32_t>(b) & 15);
                }
            }
            x = std::min(x, w);
            if (bytes & 1) in.ReadByte();
        }
    }
}

}  // namespace

// ---- TBufferedFile ----

TBufferedFile::TBufferedFile(TBaseStream& stream) : stream_(stream), exactIO_(stream.ExactIO), buffer_(kMinBuffer) {
    stream_.SetExactIO(false);
}

TBufferedFile::~TBufferedFile() { stream_.SetExactIO(exactIO_); }

size_t TBufferedFile::Ensure(size_t n) {
    if (len_ - pos_ >= n) return n;
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, len_ - pos_);
        len_ -= pos_;
        pos_ = 0;
    }
    if (n > buffer_.size()) buffer_.resize(std::max(n, kMinBuffer));
    while (len_ < n && !ended_) {
        const size_t got = stream_.Read(buffer_.data() + len_, buffer_.size() - len_);
        if (got == 0) ended_ = true;
        len_ += got;
        streamPos_ += static_cast<int64_t>(got);
    }
    return std::min(n, len_);
}

bool TBufferedFile::Skip(int64_t n) {
    while (n > 0) {
        if (pos_ == len_ && Ensure(1) == 0) return false;
        const size_t step = static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(len_ - pos_)));
        pos_ += step;
        n -= static_cast<int64_t>(step);
    }
    return true;
}

size_t TBufferedFile::ReadRow(uint8_t* dest, size_t n) {
    size_t done = std::min(n, len_ - pos_);
    std::memcpy(dest, buffer_.data() + pos_, done);
    pos_ += done;
    if (done == n) return n;
    // Large reads go past the buffer straight into the row; small ones refill it.
    if (n - done >= buffer_.size() / 2) {
        while (done < n && !ended_) {
            const size_t got = stream_.Read(dest + done, n - done);
            if (got == 0) ended_ = true;
            done += got;
            streamPos_ += static_cast<int64_t>(got);
        }
        return done;
    }
    const size_t got = Ensure(n - done);
    std::memcpy(dest + done, buffer_.data() + pos_, got);
    pos_ += got;
    return done + got;
}

// ---- LoadDIB ----

int LoadDIB(TBaseStream& stream, std::unique_ptr<TUniDIB>& dib, TDIBFileInfo* info, int64_t maxPictureBytes) {
    dib.reset();
    TDIBFileInfo local;
    TDIBFileInfo& fi = info ? *info : local;
    fi = TDIBFileInfo();
    const int64_t streamLeft = dynamic_cast<TSeekableStream*>(&stream) ? stream.Available() : -1;
    TBufferedFile in(stream);
    const size_t have = in.Ensure(78);
    if (have < 10) return 5;
    const uint8_t* h = in.Data();

    int64_t width, height, dataOffset, fileStride = 0;
    int bits, planes, headerSize;
    uint32_t compression = 0, clrUsed = 0;
    int64_t tableStart = 0;
    int entrySize = 4;
    if (LE16(h) == 0) {
        // Windows 1.x/2.x device-dependent bitmap.
        width = LE16(h + 2), height = LE16(h + 4);
        fileStride = (int64_t{LE16(h + 6)} + 3) / 4 * 4;
        planes = h[8], bits = h[9];
        dataOffset = 10, headerSize = 0;
    } else if (h[0] == 'B' && h[1] == 'M' && have >= 18) {
        dataOffset = LE32(h + 10);
        headerSize = static_cast<int>(std::min<uint32_t>(LE32(h + 14), 1024));
        if (headerSize != 12 && headerSize != 40 && headerSize != 64 && headerSize != 108 && headerSize != 124) return 5;
        if (in.Ensure(14 + headerSize) < static_cast<size_t>(14 + headerSize)) return 5;
        h = in.Data();
        if (headerSize == 12) {
            width = static_cast<int16_t>(LE16(h + 18)), height = static_cast<int16_t>(LE16(h + 20));
            planes = LE16(h + 22), bits = LE16(h + 24);
            entrySize = 3;
        } else {
            width = static_cast<int32_t>(LE32(h + 18)), height = static_cast<int32_t>(LE32(h + 22));
            planes = LE16(h + 26), bits = LE16(h + 28);
            compression = LE32(h + 30), clrUsed = LE32(h + 46);
        }
        tableStart = 14 + headerSize;
        if (headerSize == 64) {
            // OS/2 2.x: 3 is Huffman 1D and 4 RLE24, neither taken.
            if (compression > 2) return 5;
        } else if (compression == 3) {
            if (headerSize == 12 || (bits != 16 && bits != 32)) return 5;
            // Masks follow a 40-byte header and lie inside the longer ones.
            if (headerSize == 40) tableStart += 12;
            if (in.Ensure(66) < 66) return 5;
            h = in.Data();
            for (int c = 0; c < 3; ++c) fi.Masks[c] = LE32(h + 54 + 4 * c);
        }
    } else {
        return 5;
    }
    fi.HeaderSize = headerSize;
    if (planes != 1 || !ValidBits(bits) || width < 1 || height == 0 || height < -INT32_MAX) return 5;
    if (compression > 3 || (compression == 1 && bits != 8) || (compression == 2 && bits != 4)) return 5;
    const bool topDown = height < 0;
    const int64_t absHeight = topDown ? -height : height;
    const bool palette = bits <= 8;
    const int pixelSize = palette && headerSize != 0 && headerSize != 64 ? 1 : 3;
    CheckBitmapSize(width, absHeight, pixelSize);
    if (width * absHeight * pixelSize > maxPictureBytes) throw ELinearBitmap(kInvalidBitmapSize);
    if (headerSize != 0) {
        fileStride = (width * bits + 31) / 32 * 4;
        if (dataOffset < tableStart) return 5;
    }
    if (compression == 0 || compression == 3) {
        if (fileStride * absHeight > kMaxBitmapBytes) return 5;
        if (streamLeft >= 0 && dataOffset + fileStride * (absHeight - 1) + (width * bits + 7) / 8 > streamLeft) return 5;
    }

    dib = std::make_unique<TUniDIB>(static_cast<int>(width), -static_cast<int>(absHeight), bits);
    dib->Info.biCompression = compression == 3 ? 3 : 0;
    if (palette) {
        const int max = 1 << bits;
        int count = headerSize == 0 ? max : static_cast<int>(std::min<uint32_t>(clrUsed ? clrUsed : max, max));
        fi.ColorCount = count;
        if (headerSize == 0) {
            if (bits == 1) SetEntry(*dib, 1, 255, 255, 255);
            else
                for (int i = 0; i < 16; ++i) SetEntry(*dib, i, kVGA[i][0], kVGA[i][1], kVGA[i][2]);
        } else {
            const int64_t end = std::min<int64_t>(tableStart + int64_t{count} * entrySize, dataOffset);
            const size_t got = in.Ensure(static_cast<size_t>(std::max<int64_t>(end, tableStart)));
            h = in.Data();
            for (int i = 0; i < count; ++i) {
                const int64_t at = tableStart + int64_t{i} * entrySize;
                if (at + entrySize > end || at + entrySize > static_cast<int64_t>(got)) break;
                SetEntry(*dib, i, h[at + 2], h[at + 1], h[at]);
            }
        }
        dib->Info.biClrUsed = static_cast<uint32_t>(count);
    }
    if (!in.Skip(dataOffset)) {
        dib.reset();
        return 5;
    }
    int result = 0;
    if (compression == 1 || compression == 2) ReadRLE(in, *dib, bits, topDown);
    else result = ReadRows(in, *dib, fileStride, topDown);
    if (result != 0) dib.reset();
    return result;
}

// ---- the picture of a DIB ----

namespace {

struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
    }
    uint8_t operator()(uint32_t v) const {
        if (!max) return 0;
        return static_cast<uint8_t>((((v & mask) >> shift) * 510 + max) / (2 * max));
    }
};

}  // namespace

void DIBToLinearBitmap(const TUniDIB& dib, const uint32_t masks[3], bool keepPalette, TLinearBitmap& bitmap) {
    const int w = dib.Width(), h = dib.Height(), bits = dib.BitCount();
    const uint8_t* table = dib.ColorTable;
    TLinearBitmap out;
    if (bits <= 8 && keepPalette) {
        out.New(w, h, pf8bit);
        for (int i = 0; i < 256; ++i) std::memcpy(out.Palette + 3 * i, table + 4 * i, 3);
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = dib.ScanLine(y);
            uint8_t* d = out.ScanLine(y);
            if (bits == 8) std::memcpy(d, s, static_cast<size_t>(w));
            else if (bits == 4)
                for (int x = 0; x < w; ++x) d[x] = (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
            else
                for (int x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
        }
        bitmap.TakeOver(out);
        return;
    }
    out.New(w, h, pf24bit);
    const bool defaults = !masks[0] && !masks[1] && !masks[2];
    const uint32_t m16[3] = {0x7C00, 0x03E0, 0x001F}, m32[3] = {0xFF0000, 0xFF00, 0xFF};
    const uint32_t* m = defaults ? (bits == 16 ? m16 : m32) : masks;
    const Channel red(m[0]), green(m[1]), blue(m[2]);
    const bool plain32 = bits == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = dib.ScanLine(y);
        uint8_t* d = out.ScanLine(y);
        switch (bits) {
            case 24: std::memcpy(d, s, static_cast<size_t>(w) * 3); break;
            case 32:
                if (plain32) {
                    for (int x = 0; x < w; ++x, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
                    break;
                }
                for (int x = 0; x < w; ++x, s += 4, d += 3) {
                    const uint32_t v = LE32(s);
                    d[0] = blue(v), d[1] = green(v), d[2] = red(v);
                }
                break;
            case 16:
                for (int x = 0; x < w; ++x, s += 2, d += 3) {
                    const uint32_t v = LE16(s);
                    d[0] = blue(v), d[1] = green(v), d[2] = red(v);
                }
                break;
            default:
                for (int x = 0; x < w; ++x, d += 3) {
                    const int i = bits == 8 ? s[x] : bits == 4 ? (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15
                                                               : (s[x >> 3] >> (7 - (x & 7))) & 1;
                    std::memcpy(d, table + 4 * i, 3);
                }
                break;
        }
    }
    bitmap.TakeOver(out);
}

void TFallbackBitmap::LoadFromStream(TBaseStream& stream) {
    std::unique_ptr<TUniDIB> dib;
    TDIBFileInfo info;
    if (LoadDIB(stream, dib, &info, MaxPictureBytes) != 0) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    const bool keepPalette = info.HeaderSize != 0 && info.HeaderSize != 64;
    DIBToLinearBitmap(*dib, info.Masks, keepPalette, Picture);
}

}  // namespace imagefile
