#include "imagefile/PNGLoader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imagefile/Deflate.h"
#include "imagefile/checksums.h"

namespace imagefile {

const char* const kInvalidPNGHeader = "Invalid PNG header";
const char* const kInvalidPNGData = "Invalid PNG data";
const char* const kUnsupportedPNGData = "Unsupported PNG data";
const char* const kCRCError = "CRC error";
const char* const kAdler32Error = "Adler32 error";

std::function<void(int)> LoaderProgress;

namespace {

const uint8_t kPNGSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const uint8_t kMNGSignature[8] = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

constexpr uint32_t Tag(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 | uint8_t(d);
}
constexpr uint32_t kIHDR = Tag('I', 'H', 'D', 'R'), kPLTE = Tag('P', 'L', 'T', 'E'), kIDAT = Tag('I', 'D', 'A', 'T'),
                   kIEND = Tag('I', 'E', 'N', 'D'), kGAMA = Tag('g', 'A', 'M', 'A'), kTRNS = Tag('t', 'R', 'N', 'S'),
                   kMHDR = Tag('M', 'H', 'D', 'R'), kMEND = Tag('M', 'E', 'N', 'D'), kDEFI = Tag('D', 'E', 'F', 'I');

inline uint32_t BE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
inline uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline void PutBE32(uint8_t* p, uint32_t v) { p[0] = v >> 24, p[1] = v >> 16, p[2] = v >> 8, p[3] = v; }

[[noreturn]] void Fail(const char* message) { throw ELinearBitmap(message); }

// Adam7: column start and step, row start and step of each pass.
const int kColStart[7] = {0, 4, 0, 2, 0, 1, 0}, kColStep[7] = {8, 8, 4, 4, 2, 2, 1};
const int kRowStart[7] = {0, 0, 4, 0, 2, 0, 1}, kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};

inline uint8_t Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

// Undoes one row's filter in place; prev is the previous row (zeros for the first).
void Unfilter(int type, uint8_t* row, const uint8_t* prev, size_t n, size_t bpp) {
    switch (type) {
        case 0: break;
        case 1:
            for (size_t i = bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
            break;
        case 2:
            for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
            break;
        case 3:
            for (size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
            for (size_t i = bpp; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
            break;
        case 4:
            for (size_t i = 0; i < bpp && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
            for (size_t i = bpp; i < n; ++i)
                row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - bpp], prev[i], prev[i - bpp]));
            break;
        default: Fail(kInvalidPNGData);
    }
}

// The data of a run of consecutive IDAT chunks as one stream. Each chunk's CRC is
// checked when its data has been read; the run ends at the first other chunk,
// whose header is kept for the chunk loop.
class TIDATStream : public TBaseStream {
public:
    TIDATStream(TBaseStream& raw, TCRC32Stream& crc, uint32_t length, bool verify)
        : raw_(raw), crc_(crc), left_(length), verify_(verify) {
        CanRead = true;
    }
    size_t Write(const void*, size_t) override { throw EStreamError("Stream not open for write"); }
    int64_t Available() override { return ended_ ? 0 : static_cast<int64_t>(left_) + 1; }
    size_t Read(void* buffer, size_t count) override {
        auto* p = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        while (done < count) {
            if (left_ == 0) {
                if (ended_ || !NextChunk()) break;
                continue;
            }
            const size_t n = crc_.Read(p + done, std::min<size_t>(count - done, left_));
            if (n == 0) throw EInOutError(kReadLessThanExpected);
            left_ -= static_cast<uint32_t>(n);
            done += n;
        }
        CheckCount(done, count);
        return done;
    }
    // Skips what is left of the run, checking the CRCs.
    void SkipRest() {
        uint8_t piece[4096];
        while (!ended_) {
            while (left_ > 0) {
                const size_t n = crc_.Read(piece, std::min<size_t>(sizeof piece, left_));
                if (n == 0) throw EInOutError(kReadLessThanExpected);
                left_ -= static_cast<uint32_t>(n);
            }
            NextChunk();
        }
    }
    // After the run: the header of the chunk that ended it (false at end of file).
    bool Pending(uint32_t& length, uint32_t& type) const {
        length = nextLength_;
        type = nextType_;
        return havePending_;
    }

private:
    bool NextChunk() {
        uint8_t b[8];
        if (raw_.Read(b, 4) != 4) throw EInOutError(kReadLessThanExpected);
        if (verify_ && BE32(b) != crc_.Value()) Fail(kCRCError);
        ended_ = true;
        if (raw_.Read(b, 4) != 4) return false;
        crc_.Reset();
        if (crc_.Read(b + 4, 4) != 4) return false;
        const uint32_t length = BE32(b), type = BE32(b + 4);
        if (length > 0x7FFFFFFFu) Fail(kInvalidPNGData);
        if (type != kIDAT) {
            havePending_ = true;
            nextLength_ = length;
            nextType_ = type;
            return false;
        }
        ended_ = false;
        left_ = length;
        return true;
    }
    TBaseStream& raw_;
    TCRC32Stream& crc_;
    uint32_t left_;
    bool verify_;
    bool ended_ = false;
    bool havePending_ = false;
    uint32_t nextLength_ = 0, nextType_ = 0;
};

struct Header {
    uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0, filterMethod = 0, interlace = 0;
    int samples = 1;
};

bool StandardPair(int colourType, int depth) {
    switch (colourType) {
        case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
        case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
        case 2:
        case 4:
        case 6: return depth == 8 || depth == 16;
        default: return false;
    }
}

class PngReader {
public:
    PngReader(TPNGLoader& loader, TLinearBitmap& bitmap) : loader_(loader), bitmap_(bitmap) {}

    void Read(TBaseStream& stream) {
        TBufferedStream buffered(&stream, 65536, 0);
        TCRC32Stream crc(&buffered);
        crc.SetExactIO(false);
        uint8_t sig[8];
        if (buffered.Read(sig, 8) != 8) Fail(kInvalidPNGHeader);
        if (std::memcmp(sig, kPNGSignature, 8) == 0)
            mng_ = false;
        else if (std::memcmp(sig, kMNGSignature, 8) == 0)
            mng_ = true;
        else
            Fail(kInvalidPNGHeader);

        bool pending = false;
        uint32_t length = 0, type = 0;
        for (;;) {
            if (!pending) {
                uint8_t b[4];
                if (buffered.Read(b, 4) != 4) break;
                length = BE32(b);
                crc.Reset();
                if (crc.Read(b, 4) != 4) break;
                type = BE32(b);
                if (length > 0x7FFFFFFFu) Fail(kInvalidPNGData);
            }
            pending = false;
            if (type == kIEND) break;
            if (type == kIDAT && !imageRead_) {
                if (!header_.width) Fail(kInvalidPNGData);
                TIDATStream idat(buffered, crc, length, loader_.VerifyChecksums);
                ReadImage(idat);
                imageRead_ = true;
                idat.SkipRest();
                if (!idat.Pending(length, type)) break;
                pending = true;
                continue;
            }
            const bool handled = type == kIHDR || type == kPLTE || type == kIDAT || type == kGAMA || type == kTRNS;
            if (!handled) {
                if ((type >> 24 & 0x20) || type == kMHDR || type == kMEND || type == kDEFI) {
                    if (CopyStream(buffered, nullptr, int64_t{length} + 4) != int64_t{length} + 4) break;
                    continue;
                }
                Fail(kUnsupportedPNGData);
            }
            std::vector<uint8_t> data;
            ReadData(crc, length, type == kIDAT ? 0 : 1024, data);
            if (type == kIHDR) Ihdr(data, length);
            else if (type == kPLTE) Plte(data, length);
            else if (type == kGAMA) Gama(data);
            else if (type == kTRNS) Trns(data);
            uint8_t stored[4];
            if (buffered.Read(stored, 4) != 4) throw EInOutError(kReadLessThanExpected);
            if (loader_.VerifyChecksums && BE32(stored) != crc.Value()) Fail(kCRCError);
        }
        if (!imageRead_) Fail(kUnsupportedPNGData);
    }

private:
    // Keeps up to `keep` bytes of the chunk's data and passes over the rest.
    static void ReadData(TBaseStream& crc, uint32_t length, uint32_t keep, std::vector<uint8_t>& data) {
        data.resize(std::min(length, keep));
        if ((!data.empty() && crc.Read(data.data(), data.size()) != data.size()) ||
            CopyStream(crc, nullptr, length - data.size()) != int64_t{length} - static_cast<int64_t>(data.size()))
            throw EInOutError(kReadLessThanExpected);
    }

    void Ihdr(const std::vector<uint8_t>& d, uint32_t length) {
        if (length != 13 || header_.width) Fail(kInvalidPNGData);
        Header h;
        h.width = BE32(&d[0]);
        h.height = BE32(&d[4]);
        h.depth = d[8];
        h.colourType = d[9];
        h.filterMethod = d[11];
        h.interlace = d[12];
        loader_.BitDepth = h.depth;
        if (!StandardPair(h.colourType, h.depth) || d[10] != 0 || h.interlace > 1 ||
            !(h.filterMethod == 0 || (mng_ && h.filterMethod == 64)))
            Fail(kInvalidPNGData);
        static const int kSamples[7] = {1, 0, 3, 1, 2, 0, 4};
        h.samples = kSamples[h.colourType];
        int format = pf8bit;
        if (h.colourType == 2 || h.colourType == 6)
            format = pf24bit;
        else if (h.colourType != 3 && h.depth == 16)
            format = pf16bit;
        const int pixelSize = format == pf24bit ? 3 : format == pf16bit ? 2 : 1;
        if (h.width > 0x7FFFFFFFu || h.height > 0x7FFFFFFFu) Fail(kInvalidPNGData);
        CheckBitmapSize(h.width, h.height, pixelSize);
        if (int64_t{h.width} * h.height * pixelSize > loader_.MaxPictureBytes) Fail(kInvalidBitmapSize);
        bitmap_.Dispose();
        bitmap_.New(static_cast<int>(h.width), static_cast<int>(h.height), format);
        if (format == pf8bit) {
            std::memset(bitmap_.Palette, 0, 768);
            if (h.colourType == 0 || h.colourType == 4) {
                const int entries = 1 << std::min(h.depth, 8);
                for (int i = 0; i < entries; ++i)
                    std::memset(bitmap_.Palette + 3 * i, i * 255 / (entries - 1), 3);
            }
        }
        if (loader_.KeepAlpha && (h.colourType == 4 || h.colourType == 6)) {
            loader_.AlphaChannel = std::make_unique<TLinearBitmap>();
            loader_.AlphaChannel->New(bitmap_.Width, bitmap_.Height, pf8bit);
            std::memcpy(loader_.AlphaChannel->Palette, GrayPalette, 768);
        }
        header_ = h;
    }

    void Plte(const std::vector<uint8_t>& d, uint32_t length) {
        if (length > 768 || length % 3 != 0) Fail(kInvalidPNGData);
        uint8_t* target = nullptr;
        if (header_.colourType == 3 && bitmap_.Present) {
            target = bitmap_.Palette;
        } else if (loader_.KeepAlpha) {
            loader_.ExtraPalette.assign(768, 0);
            target = loader_.ExtraPalette.data();
        }
        if (!target) return;
        std::memset(target, 0, 768);
        for (uint32_t i = 0; i < length / 3; ++i) {
            target[3 * i] = d[3 * i + 2];
            target[3 * i + 1] = d[3 * i + 1];
            target[3 * i + 2] = d[3 * i];
        }
    }

    void Gama(const std::vector<uint8_t>& d) {
        if (d.size() < 4) Fail(kInvalidPNGData);
        loader_.Gamma = BE32(d.data()) / 100000.0;
    }

    void Trns(const std::vector<uint8_t>& d) {
        switch (header_.colourType) {
            case 0:
                if (d.size() < 2) Fail(kInvalidPNGData);
                loader_.TransparentColor = BE16(d.data());
                break;
            case 2:
                if (d.size() < 6) Fail(kInvalidPNGData);
                if (header_.depth == 8) loader_.TransparentColor = d[1] | d[3] << 8 | d[5] << 16;
                break;
            case 3: {
                const size_t n = std::min<size_t>(d.size(), 256);
                if (loader_.KeepAlpha) {
                    loader_.AlphaTable.assign(256, 255);
                    std::copy(d.begin(), d.begin() + n, loader_.AlphaTable.begin());
                } else {
                    for (size_t i = 0; i < n; ++i)
                        if (d[i] == 0) {
                            loader_.TransparentColor = static_cast<int32_t>(i);
                            break;
                        }
                }
                break;
            }
            default: break;
        }
    }

    void ReadImage(TIDATStream& idat) {
        uint8_t zhead[2];
        idat.Read(zhead, 2);
        if ((zhead[0] & 15) != 8 || (zhead[0] >> 4) > 7) Fail(kInvalidPNGData);
        TDeflateStream inflate(&idat, 0);
        inflate.ReadAhead = true;
        const Header& h = header_;
        const size_t bitsPerPixel = static_cast<size_t>(h.samples) * h.depth;
        const size_t bpp = std::max<size_t>(1, bitsPerPixel / 8);
        const size_t maxRow = (h.width * bitsPerPixel + 7) / 8;
        std::vector<uint8_t> rowA(maxRow + 1), rowB(maxRow + 1), pixels(static_cast<size_t>(h.width) * 3 + 1),
            alpha(h.width + 1);
        TAdler32 adler;
        const int passes = h.interlace ? 7 : 1;
        int64_t totalRows = 0, rowsDone = 0;
        for (int p = 0; p < passes; ++p) {
            const int pass = passes == 1 ? -1 : p;
            const uint32_t cols = PassSize(h.width, pass, true), rows = PassSize(h.height, pass, false);
            if (cols) totalRows += rows;
        }
        for (int p = 0; p < passes; ++p) {
            const int pass = passes == 1 ? -1 : p;
            const uint32_t cols = PassSize(h.width, pass, true), rows = PassSize(h.height, pass, false);
            if (cols == 0 || rows == 0) continue;
            const size_t n = (cols * bitsPerPixel + 7) / 8;
            uint8_t* cur = rowA.data();
            uint8_t* prev = rowB.data();
            std::memset(prev, 0, n + 1);
            for (uint32_t r = 0; r < rows; ++r) {
                inflate.Read(cur, n + 1);
                UpdateAdler32(adler, cur, n + 1);
                if (cur[0] > 4) Fail(kInvalidPNGData);
                Unfilter(cur[0], cur + 1, prev + 1, n, bpp);
                const uint32_t y = passes == 1 ? r : kRowStart[p] + r * kRowStep[p];
                if (passes == 1) {
                    Unpack(cur + 1, cols, bitmap_.ScanLine(y), AlphaRow(y));
                } else {
                    Unpack(cur + 1, cols, pixels.data(), alpha.data());
                    Scatter(p, y, cols, pixels.data(), alpha.data());
                }
                std::swap(cur, prev);
                ++rowsDone;
                if (LoaderProgress) LoaderProgress(static_cast<int>(rowsDone * 100 / totalRows));
            }
        }
        // Data beyond the image is tolerated up to the picture's size and checked.
        int64_t extra = 0;
        inflate.ExactIO = false;
        while (!inflate.AtEnd()) {
            const size_t n = inflate.Read(rowA.data(), rowA.size());
            if (n == 0) break;
            UpdateAdler32(adler, rowA.data(), n);
            extra += static_cast<int64_t>(n);
            if (extra > bitmap_.Size + int64_t{h.height} * 8) Fail(kInvalidPNGData);
        }
        inflate.ExactIO = true;
        uint8_t stored[4];
        inflate.ReadUnusedInput(stored, 4);
        if (loader_.VerifyChecksums && BE32(stored) != Adler32Value(adler)) Fail(kAdler32Error);
    }

    static uint32_t PassSize(uint32_t size, int pass, bool columns) {
        if (pass < 0) return size;
        const uint32_t start = columns ? kColStart[pass] : kRowStart[pass];
        const uint32_t step = columns ? kColStep[pass] : kRowStep[pass];
        return size > start ? (size - start + step - 1) / step : 0;
    }
    uint8_t* AlphaRow(uint32_t y) { return loader_.AlphaChannel ? loader_.AlphaChannel->ScanLine(y) : nullptr; }

    // One row of samples into the picture's pixel format (and alpha samples).
    void Unpack(const uint8_t* s, uint32_t cols, uint8_t* d, uint8_t* a) const {
        const Header& h = header_;
        const bool intrapixel = h.filterMethod == 64;
        if (h.depth < 8) {
            const int perByte = 8 / h.depth, mask = (1 << h.depth) - 1;
            for (uint32_t x = 0; x < cols; ++x) {
                const int shift = 8 - h.depth * (x % perByte + 1);
                d[x] = static_cast<uint8_t>((s[x / perByte] >> shift) & mask);
            }
            return;
        }
        const bool wide = h.depth == 16;
        const int sb = wide ? 2 : 1;  // bytes per sample
        switch (h.colourType) {
            case 0:
            case 3:
            case 4:
                for (uint32_t x = 0; x < cols; ++x, s += sb * h.samples) {
                    if (wide) {
                        d[2 * x] = s[1];
                        d[2 * x + 1] = s[0];
                    } else {
                        d[x] = s[0];
                    }
                    if (a && h.colourType == 4) a[x] = s[sb];
                }
                break;
            default:  // 2 and 6
                for (uint32_t x = 0; x < cols; ++x, s += sb * h.samples, d += 3) {
                    uint32_t r = s[0], g = s[sb], b = s[2 * sb];
                    if (wide) r = r << 8 | s[1], g = g << 8 | s[3], b = b << 8 | s[5];
                    if (intrapixel) {
                        const uint32_t m = wide ? 0xFFFF : 0xFF;
                        r = (r + g) & m;
                        b = (b + g) & m;
                    }
                    if (wide) r >>= 8, g >>= 8, b >>= 8;
                    d[0] = static_cast<uint8_t>(b), d[1] = static_cast<uint8_t>(g), d[2] = static_cast<uint8_t>(r);
                    if (a && h.colourType == 6) a[x] = s[3 * sb];
                }
        }
    }

    void Scatter(int pass, uint32_t y, uint32_t cols, const uint8_t* pixels, const uint8_t* alpha) {
        const int ps = bitmap_.PixelSize;
        uint8_t* d = bitmap_.ScanLine(y);
        uint8_t* a = AlphaRow(y);
        for (uint32_t i = 0; i < cols; ++i) {
            const uint32_t x = kColStart[pass] + i * kColStep[pass];
            std::memcpy(d + x * ps, pixels + i * ps, ps);
            if (a) a[x] = alpha[i];
        }
    }

    TPNGLoader& loader_;
    TLinearBitmap& bitmap_;
    Header header_;
    bool mng_ = false;
    bool imageRead_ = false;
};

// ---- writing ----

void PutChunk(TBaseStream& out, uint32_t type, const uint8_t* data, uint32_t length) {
    uint8_t head[8];
    PutBE32(head, length);
    PutBE32(head + 4, type);
    out.Write(head, 8);
    if (length) out.Write(data, length);
    uint32_t running = UpdateCRC32(0xFFFFFFFFu, head + 4, 4);
    running = UpdateCRC32(running, data, length);
    uint8_t crc[4];
    PutBE32(crc, ~running);
    out.Write(crc, 4);
}

// Filters one row (PNG byte order) with `type` into out (filter byte first).
void FilterRow(int type, const uint8_t* row, const uint8_t* prev, size_t n, size_t bpp, uint8_t* out) {
    out[0] = static_cast<uint8_t>(type);
    uint8_t* o = out + 1;
    switch (type) {
        case 0: std::memcpy(o, row, n); break;
        case 1:
            for (size_t i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(row[i] - (i >= bpp ? row[i - bpp] : 0));
            break;
        case 2:
            for (size_t i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(row[i] - prev[i]);
            break;
        case 3:
            for (size_t i = 0; i < n; ++i)
                o[i] = static_cast<uint8_t>(row[i] - (((i >= bpp ? row[i - bpp] : 0) + prev[i]) >> 1));
            break;
        default:
            for (size_t i = 0; i < n; ++i)
                o[i] = static_cast<uint8_t>(
                    row[i] - (i >= bpp ? Paeth(row[i - bpp], prev[i], prev[i - bpp]) : Paeth(0, prev[i], 0)));
    }
}

int64_t ScoreAbs(const uint8_t* f, size_t n) {  // lower is better
    int64_t s = 0;
    for (size_t i = 0; i < n; ++i) s += std::abs(static_cast<int>(static_cast<int8_t>(f[i])));
    return s;
}

int64_t ScoreRuns(const uint8_t* f, size_t n) {  // higher is better
    int64_t s = 0;
    for (size_t i = 4; i < n; ++i)
        s += f[i] == f[i - 1] && f[i] == f[i - 2] && f[i] == f[i - 3] && f[i] == f[i - 4];
    return s;
}

// The lossy pre-pass: each byte becomes its prediction plus the prediction error
// rounded to a multiple of the step; pixels that would turn into the transparent
// colour keep their value.
void LossyPrePass(TLinearBitmap& b, int level, bool palette, int32_t transparent) {
    // From a step of 511 on every error of a byte (at most 255) rounds to 0: higher
    // levels all give what 1023 gives, without overflowing the step.
    const int step = (std::min(level, 1023) + 1) / 2;
    if (step <= 1) return;
    const int ps = b.PixelSize;
    std::vector<uint8_t> zero(static_cast<size_t>(b.BytesPerLine), 0);
    for (int y = 0; y < b.Height; ++y) {
        uint8_t* row = b.ScanLine(y);
        const uint8_t* up = y ? b.ScanLine(y - 1) : zero.data();
        for (int x = 0; x < b.Width; ++x) {
            uint8_t old[4];
            std::memcpy(old, row + x * ps, ps);
            for (int c = 0; c < ps; ++c) {
                const int i = x * ps + c;
                const int left = x ? row[i - ps] : 0, above = up[i], corner = x ? up[i - ps] : 0;
                const int pred = palette ? Paeth(left, above, corner) : (left + above) >> 1;
                const int err = row[i] - pred;
                const int q = (err >= 0 ? (err + step / 2) / step : -((-err + step / 2) / step)) * step;
                row[i] = static_cast<uint8_t>(std::clamp(pred + q, 0, 255));
            }
            if (transparent >= 0) {
                uint32_t v = 0;
                if (ps == 3)
                    v = row[x * 3 + 2] | row[x * 3 + 1] << 8 | row[x * 3] << 16;
                else
                    v = row[x];
                uint32_t was = ps == 3 ? (old[2] | old[1] << 8 | old[0] << 16) : old[0];
                if (v == static_cast<uint32_t>(transparent) && was != v) std::memcpy(row + x * ps, old, ps);
            }
        }
    }
}

}  // namespace

std::string TPNGLoader::GetLoadFilter() {
    return "Portable Network Graphics (*.png)|*.png|Multiple-image Network Graphics (*.mng)|*.mng";
}

void TPNGLoader::LoadFromStream(TBaseStream& stream, const std::string& ext, TLinearBitmap& bitmap) {
    ExtraPalette.clear();
    AlphaTable.clear();
    AlphaChannel.reset();
    TransparentColor = -1;
    Gamma = 0;
    try {
        PngReader(*this, bitmap).Read(stream);
    } catch (...) {
        bitmap.Dispose();
        AlphaChannel.reset();
        throw;
    }
}

void TPNGLoader::SaveToStream(TBaseStream& stream, const std::string& ext, const TLinearBitmap& bitmap) {
    if (!bitmap.Present ||
        (bitmap.PixelFormat != pf8bit && bitmap.PixelFormat != pf16bit && bitmap.PixelFormat != pf24bit))
        throw ELinearBitmap(kUnsupportedPixelFormat);
    const bool mng = ext == "MNG";
    const TLinearBitmap* source = &bitmap;
    TLinearBitmap lossy;
    int mode = FilterMode;
    if (LossyLevel != 0 && bitmap.PixelFormat != pf16bit && !(mng && bitmap.PixelFormat == pf24bit)) {
        lossy.Assign(bitmap);
        const bool palette = bitmap.PixelFormat == pf8bit && !bitmap.IsGrayScale();
        LossyPrePass(lossy, LossyLevel, palette, SaveTransparentColor);
        mode = palette ? 4 : 3;
        source = &lossy;
    }
    if (mode < -3 || mode > 4) throw EAssertionFailed("Assertion failed (PNGLoader)");
    if (mode == -3) {
        int64_t best = 2147483647;
        for (int m = -2; m <= 4; ++m) {
            TMemStream mem;
            WriteImage(mem, mng, *source, m);
            if (mem.GetSize() < best) {
                best = mem.GetSize();
                mode = m;
            }
            if (LoaderProgress) LoaderProgress((m + 3) * 100 / 8);
        }
    }
    auto* seekable = dynamic_cast<TSeekableStream*>(&stream);
    if (seekable) {
        WriteImage(*seekable, mng, *source, mode);
    } else {
        TMemStream mem;
        WriteImage(mem, mng, *source, mode);
        mem.Seek(0);
        CopyStream(mem, &stream, mem.GetSize());
    }
}

void TPNGLoader::WriteImage(TSeekableStream& stream, bool mng, const TLinearBitmap& b, int filterMode) {
    const bool grey = b.PixelFormat == pf16bit || (b.PixelFormat == pf8bit && b.IsGrayScale());
    const int colourType = b.PixelFormat == pf24bit ? 2 : grey ? 0 : 3;
    const int depth = b.PixelFormat == pf16bit ? 16 : 8;
    const bool intrapixel = mng && b.PixelFormat == pf24bit;
    stream.Write(mng ? kMNGSignature : kPNGSignature, 8);

    uint8_t ihdr[13];
    PutBE32(ihdr, b.Width);
    PutBE32(ihdr + 4, b.Height);
    ihdr[8] = static_cast<uint8_t>(depth);
    ihdr[9] = static_cast<uint8_t>(colourType);
    ihdr[10] = 0;
    ihdr[11] = intrapixel ? 64 : 0;
    ihdr[12] = 0;
    PutChunk(stream, kIHDR, ihdr, 13);

    const uint8_t* palette = colourType == 3 ? b.Palette
                             : SaveExtraPalette.size() >= 768 ? SaveExtraPalette.data()
                                                               : nullptr;
    if (palette) {
        int last = 0;
        for (int i = 0; i < 256; ++i)
            if (palette[3 * i] || palette[3 * i + 1] || palette[3 * i + 2]) last = i;
        if (colourType == 3)
            for (int64_t i = 0; i < b.Size; ++i) last = std::max<int>(last, b.Map[i]);
        uint8_t plte[768];
        for (int i = 0; i <= last; ++i) {
            plte[3 * i] = palette[3 * i + 2];
            plte[3 * i + 1] = palette[3 * i + 1];
            plte[3 * i + 2] = palette[3 * i];
        }
        PutChunk(stream, kPLTE, plte, static_cast<uint32_t>(3 * (last + 1)));
    }
    if (SaveGamma != 0) {
        uint8_t g[4];
        PutBE32(g, static_cast<uint32_t>(std::lround(SaveGamma * 100000)));
        PutChunk(stream, kGAMA, g, 4);
    }
    const int32_t tc = SaveTransparentColor;
    if (tc != -1) {
        uint8_t t[256];
        uint32_t n = 0;
        if (colourType == 0) {
            t[0] = static_cast<uint8_t>(tc >> 8), t[1] = static_cast<uint8_t>(tc), n = 2;
        } else if (colourType == 2) {
            const uint8_t v[6] = {0, uint8_t(tc), 0, uint8_t(tc >> 8), 0, uint8_t(tc >> 16)};
            std::memcpy(t, v, 6);
            n = 6;
        } else if (tc >= 0 && tc < 256) {
            std::memset(t, 255, static_cast<size_t>(tc));
            t[tc] = 0;
            n = static_cast<uint32_t>(tc) + 1;
        }
        if (n) PutChunk(stream, kTRNS, t, n);
    }

    // IDAT: placeholder length, then the data through a CRC, patched afterwards.
    const int64_t start = stream.GetPosition();
    const uint8_t zero[4] = {0, 0, 0, 0};
    stream.Write(zero, 4);
    TCRC32Stream crc(&stream);
    {
        TBufferedStream buffered(&crc, 0, 65536);
        const uint8_t head[6] = {'I', 'D', 'A', 'T', 0x78, 0xDA};
        buffered.Write(head, 6);
        TAdler32 adler;
        {
            TDeflateStream deflate(&buffered, -1, TDeflateStream::kDynamic);
            const size_t n = static_cast<size_t>(b.BytesPerLine), bpp = static_cast<size_t>(b.PixelSize);
            std::vector<uint8_t> rowA(n), rowB(n, 0), trial(n + 1), best(n + 1);
            uint8_t* cur = rowA.data();
            uint8_t* prev = rowB.data();
            for (int y = 0; y < b.Height; ++y) {
                const uint8_t* s = b.ScanLine(y);
                if (b.PixelFormat == pf24bit) {
                    for (size_t i = 0; i < n; i += 3) {
                        uint8_t r = s[i + 2], g = s[i + 1], bl = s[i];
                        if (intrapixel) r = static_cast<uint8_t>(r - g), bl = static_cast<uint8_t>(bl - g);
                        cur[i] = r, cur[i + 1] = g, cur[i + 2] = bl;
                    }
                } else if (b.PixelFormat == pf16bit) {
                    for (size_t i = 0; i < n; i += 2) cur[i] = s[i + 1], cur[i + 1] = s[i];
                } else {
                    std::memcpy(cur, s, n);
                }
                if (filterMode >= 0) {
                    FilterRow(filterMode, cur, prev, n, bpp, best.data());
                } else {
                    int64_t bestScore = 0;
                    for (int t = 0; t <= 4; ++t) {
                        FilterRow(t, cur, prev, n, bpp, trial.data());
                        const int64_t score =
                            filterMode == -1 ? ScoreAbs(trial.data() + 1, n) : -ScoreRuns(trial.data() + 1, n);
                        if (t == 0 || score < bestScore) {
                            bestScore = score;
                            best.swap(trial);
                        }
                    }
                }
                deflate.Write(best.data(), n + 1);
                UpdateAdler32(adler, best.data(), n + 1);
                std::swap(cur, prev);
            }
            deflate.Finish();
        }
        uint8_t a[4];
        PutBE32(a, Adler32Value(adler));
        buffered.Write(a, 4);
        buffered.Flush();
    }
    const int64_t end = stream.GetPosition();
    uint8_t len[4], sum[4];
    PutBE32(len, static_cast<uint32_t>(end - start - 8));
    PutBE32(sum, crc.Value());
    stream.Seek(start);
    stream.Write(len, 4);
    stream.Seek(end);
    stream.Write(sum, 4);
    PutChunk(stream, kIEND, nullptr, 0);
}

}  // namespace imagefile
