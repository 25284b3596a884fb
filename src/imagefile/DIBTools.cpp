#include "imagefile/DIBTools.h"

#include "imagefile/indexed_picture.h"

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

bool ValidBits(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// One uncompressed row of fileStride bytes in the file: the pixel bytes `dib`'s
// rows hold are read into `row`, the rest skipped. Only the last row's padding may
// be missing from the file.
bool ReadFileRow(TBufferedFile& in, const TUniDIB& dib, int64_t fileStride, bool last, uint8_t* row) {
    const int64_t keep = std::min<int64_t>({fileStride, dib.ScanlineSize(), (int64_t{dib.Width()} * dib.BitCount() + 7) / 8});
    if (in.ReadRow(row, static_cast<size_t>(keep)) != static_cast<size_t>(keep)) return false;
    return fileStride <= keep || in.Skip(fileStride - keep) || last;
}

// Uncompressed rows into the DIB.
int ReadRows(TBufferedFile& in, TUniDIB& dib, int64_t fileStride, bool topDown) {
    const int h = dib.Height();
    for (int r = 0; r < h; ++r)
        if (!ReadFileRow(in, dib, fileStride, r == h - 1, dib.ScanLine(topDown ? r : h - 1 - r))) return 5;
    return 0;
}

// RLE8 (bits 8) and RLE4 (bits 4), one palette index per byte: rowAt(r) gives
// the w index bytes of the r-th row in file order, once per row reached, rows in
// increasing order. Stops at the end-of-bitmap escape, past the last row or at the
// end of the data, keeping what was decoded.
template <typename RowAt>
void DecodeRLE(TBufferedFile& in, int w, int h, int bits, RowAt&& rowAt) {
    int x = 0, r = 0;
    uint8_t* row = rowAt(0);
    auto put = [&](int v) {
        if (x < w) row[x] = static_cast<uint8_t>(v);
        ++x;
    };
    auto nextRow = [&](int rows) {
        r += rows;
        if (rows > 0 && r < h) row = rowAt(r);
    };
    while (r < h) {
        const int count = in.ReadByte(), value = in.ReadByte();
        if (value < 0) return;
        if (count > 0) {
            const int n = std::min(count, std::max(0, w - x));
            if (bits == 8) {
                if (n > 0) std::memset(row + x, value, static_cast<size_t>(n));
            } else {
                for (int k = 0; k < n; ++k) row[x + k] = static_cast<uint8_t>((k & 1) ? value & 15 : value >> 4);
            }
            x = std::min(w, x + count);
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
        } else if (bits == 8) {
            // A literal of 8-bit indices is copied as one block.
            const size_t got = in.Ensure(static_cast<size_t>(value));
            const int n = std::min(static_cast<int>(got), std::max(0, w - x));
            if (n > 0) std::memcpy(row + x, in.Data(), static_cast<size_t>(n));
            in.Skip(static_cast<int64_t>(got));
            if (got < static_cast<size_t>(value)) return;
            x = std::min(w, x + value);
            if (value & 1) in.ReadByte();
        } else {
            const int bytes = (value + 1) / 2;
            for (int k = 0; k < bytes; ++k) {
                const int b = in.ReadByte();
                if (b < 0) return;
                put(b >> 4);
                if (2 * k + 1 < value) put(b & 15);
            }
            x = std::min(x, w);
            if (bytes & 1) in.ReadByte();
        }
    }
}

// RLE into the DIB's rows (4 bits packed two to a byte through one row of indices).
void ReadRLE(TBufferedFile& in, TUniDIB& dib, int bits, bool topDown) {
    const int w = dib.Width(), h = dib.Height();
    std::vector<uint8_t> indices(bits == 4 ? static_cast<size_t>(w) : 0);
    int current = -1;
    auto dibRow = [&](int r) { return dib.ScanLine(topDown ? r : h - 1 - r); };
    auto pack = [&] {
        if (bits != 4 || current < 0) return;
        uint8_t* d = dibRow(current);
        for (int x = 0; x < w; x += 2)
            d[x >> 1] = static_cast<uint8_t>(indices[x] << 4 | (x + 1 < w ? indices[x + 1] : 0));
    };
    DecodeRLE(in, w, h, bits, [&](int r) -> uint8_t* {
        if (bits == 8) return dibRow(r);
        pack();
        current = r;
        std::fill(indices.begin(), indices.end(), 0);
        return indices.data();
    });
    pack();
}

// What a bitmap file's headers say, up to its pixel data.
struct DIBHeader {
    int64_t width = 0, absHeight = 0, dataOffset = 0, fileStride = 0;
    int bits = 0, headerSize = 0;
    uint32_t compression = 0;
    bool topDown = false;
    uint8_t table[256 * 4] = {};  // B, G, R, 0
    int colorCount = 0;
};

// Reads the headers and colour table and skips to the pixel data. 0 or 5 as
// LoadDIB; the picture's size is checked against maxPictureBytes.
int ReadDIBHeader(TBufferedFile& in, int64_t streamLeft, DIBHeader& d, TDIBFileInfo& fi, int64_t maxPictureBytes) {
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
    CheckPictureBudget(width, absHeight, pixelSize, maxPictureBytes);
    if (headerSize != 0) {
        fileStride = (width * bits + 31) / 32 * 4;
        if (dataOffset < tableStart) return 5;
    }
    if (compression == 0 || compression == 3) {
        if (fileStride * absHeight > kMaxBitmapBytes) return 5;
        if (streamLeft >= 0 && dataOffset + fileStride * (absHeight - 1) + (width * bits + 7) / 8 > streamLeft) return 5;
    }
    d.width = width, d.absHeight = absHeight, d.dataOffset = dataOffset, d.fileStride = fileStride;
    d.bits = bits, d.headerSize = headerSize, d.compression = compression, d.topDown = topDown;
    auto setEntry = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
        d.table[4 * i] = b, d.table[4 * i + 1] = g, d.table[4 * i + 2] = r, d.table[4 * i + 3] = 0;
    };
    if (palette) {
        const int max = 1 << bits;
        int count = headerSize == 0 ? max : static_cast<int>(std::min<uint32_t>(clrUsed ? clrUsed : max, max));
        fi.ColorCount = d.colorCount = count;
        if (headerSize == 0) {
            if (bits == 1) setEntry(1, 255, 255, 255);
            else
                for (int i = 0; i < 16; ++i) setEntry(i, kVGA[i][0], kVGA[i][1], kVGA[i][2]);
        } else {
            const int64_t end = std::min<int64_t>(tableStart + int64_t{count} * entrySize, dataOffset);
            const size_t got = in.Ensure(static_cast<size_t>(std::max<int64_t>(end, tableStart)));
            h = in.Data();
            for (int i = 0; i < count; ++i) {
                const int64_t at = tableStart + int64_t{i} * entrySize;
                if (at + entrySize > end || at + entrySize > static_cast<int64_t>(got)) break;
                setEntry(i, h[at + 2], h[at + 1], h[at]);
            }
        }
    }
    return in.Skip(dataOffset) ? 0 : 5;
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

namespace {

// The DIB of a file whose headers were read, from its pixel data on.
int ReadDIBPixels(TBufferedFile& in, const DIBHeader& d, std::unique_ptr<TUniDIB>& dib) {
    dib = std::make_unique<TUniDIB>(static_cast<int>(d.width), -static_cast<int>(d.absHeight), d.bits);
    dib->Info.biCompression = d.compression == 3 ? 3 : 0;
    if (d.bits <= 8) {
        std::memcpy(dib->ColorTable, d.table, sizeof d.table);
        dib->Info.biClrUsed = static_cast<uint32_t>(d.colorCount);
    }
    int result = 0;
    if (d.compression == 1 || d.compression == 2) ReadRLE(in, *dib, d.bits, d.topDown);
    else result = ReadRows(in, *dib, d.fileStride, d.topDown);
    if (result != 0) dib.reset();
    return result;
}

int64_t StreamLeft(TBaseStream& stream) { return dynamic_cast<TSeekableStream*>(&stream) ? stream.Available() : -1; }

}  // namespace

int LoadDIB(TBaseStream& stream, std::unique_ptr<TUniDIB>& dib, TDIBFileInfo* info, int64_t maxPictureBytes) {
    dib.reset();
    TDIBFileInfo local;
    TDIBFileInfo& fi = info ? *info : local;
    fi = TDIBFileInfo();
    const int64_t streamLeft = StreamLeft(stream);
    TBufferedFile in(stream);
    auto d = std::make_unique<DIBHeader>();
    if (ReadDIBHeader(in, streamLeft, *d, fi, maxPictureBytes) != 0) return 5;
    return ReadDIBPixels(in, *d, dib);
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
    const TDIBRows rows(dib, masks);
    if (bits <= 8 && keepPalette) {
        out.New(w, h, pf8bit);
        for (int i = 0; i < 256; ++i) std::memcpy(out.Palette + 3 * i, table + 4 * i, 3);
        for (int y = 0; y < h; ++y) rows.Indices(y, out.ScanLine(y));
    } else {
        out.New(w, h, pf24bit);
        for (int y = 0; y < h; ++y) rows.Row(y, out.ScanLine(y));
    }
    bitmap.TakeOver(out);
}

void TDIBRows::Indices(int y, uint8_t* d) const {
    const int w = dib_.Width(), bits = dib_.BitCount();
    const uint8_t* s = dib_.ScanLine(y);
    if (bits == 8) std::memcpy(d, s, static_cast<size_t>(w));
    else if (bits == 4)
        for (int x = 0; x < w; ++x) d[x] = (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    else
        for (int x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
}

TDIBRows::TDIBRows(const TUniDIB& dib, const uint32_t masks[3]) : dib_(dib) {
    const bool defaults = !masks[0] && !masks[1] && !masks[2];
    const uint32_t m16[3] = {0x7C00, 0x03E0, 0x001F}, m32[3] = {0xFF0000, 0xFF00, 0xFF};
    const uint32_t* m = defaults ? (dib.BitCount() == 16 ? m16 : m32) : masks;
    std::copy(m, m + 3, masks_);
}

void TDIBRows::Row(int y, uint8_t* d) const {
    const int w = dib_.Width(), bits = dib_.BitCount();
    const uint8_t* table = dib_.ColorTable;
    const uint8_t* s = dib_.ScanLine(y);
    const Channel red(masks_[0]), green(masks_[1]), blue(masks_[2]);
    switch (bits) {
        case 24: std::memcpy(d, s, static_cast<size_t>(w) * 3); break;
        case 32:
            if (masks_[0] == 0xFF0000 && masks_[1] == 0xFF00 && masks_[2] == 0xFF) {
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

void TFallbackBitmap::LoadFromStream(TBaseStream& stream) {
    const int64_t streamLeft = StreamLeft(stream);
    TBufferedFile in(stream);
    TDIBFileInfo info;
    auto d = std::make_unique<DIBHeader>();
    if (ReadDIBHeader(in, streamLeft, *d, info, MaxPictureBytes) != 0) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    const bool keepPalette = info.HeaderSize != 0 && info.HeaderSize != 64;
    if (d->compression == 1 || d->compression == 2) {
        // Run-length data decodes straight into the picture: a few bytes may
        // describe a picture of the full size cap, which must not be held twice.
        TIndexedPicture picture(d->width, d->absHeight, keepPalette, MaxPictureBytes);
        const int h = picture.Height();
        DecodeRLE(in, picture.Width(), h, d->bits, [&](int r) { return picture.Row(d->topDown ? r : h - 1 - r); });
        uint8_t palette[768];
        for (int i = 0; i < 256; ++i) std::memcpy(palette + 3 * i, d->table + 4 * i, 3);
        picture.Finish(palette, Picture);
        return;
    }
    // Uncompressed rows become the picture's rows as they are read, through a DIB of
    // one row: no DIB of the whole picture is held beside it.
    const int w = static_cast<int>(d->width), h = static_cast<int>(d->absHeight);
    TUniDIB row(w, -1, d->bits);
    std::memcpy(row.ColorTable, d->table, sizeof d->table);
    const bool indices = keepPalette && d->bits <= 8;
    TLinearBitmap out;
    out.New(w, h, indices ? pf8bit : pf24bit);
    if (indices)
        for (int i = 0; i < 256; ++i) std::memcpy(out.Palette + 3 * i, d->table + 4 * i, 3);
    const TDIBRows rows(row, info.Masks);
    for (int r = 0; r < h; ++r) {
        if (!ReadFileRow(in, row, d->fileStride, r == h - 1, row.ScanLine(0))) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
        uint8_t* dest = out.ScanLine(d->topDown ? r : h - 1 - r);
        if (indices) rows.Indices(0, dest);
        else rows.Row(0, dest);
    }
    Picture.TakeOver(out);
}

}  // namespace imagefile
