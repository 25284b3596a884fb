#include "imagefile/PCXLoader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imagefile/DIBTools.h"
#include "imagefile/JPEGLoader.h"
#include "imagefile/PNGLoader.h"
#include "imagefile/indexed_picture.h"

namespace imagefile {

namespace {

constexpr int kHeaderSize = 128;
constexpr int kPaletteMark = 12;

inline uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void Put16(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8); }

// The most picture bytes that n file bytes can code: a run of 63 takes two bytes.
int64_t MostDecodable(int64_t n) { return n <= 0 ? 0 : 63 * (n / 2) + n % 2; }

// Codes one row of one plane at `out` (at most 2 n bytes) and returns the end:
// runs of equal bytes up to 63; a lone byte below 192 is written as itself.
uint8_t* EncodeRow(const uint8_t* s, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n;) {
        const uint8_t v = s[i];
        size_t j = i + 1;
        while (j < n && s[j] == v && j - i < 63) ++j;
        const size_t count = j - i;
        if (count == 1 && v < 0xC0) {
            *out++ = v;
        } else {
            *out++ = static_cast<uint8_t>(0xC0 | count);
            *out++ = v;
        }
        i = j;
    }
    return out;
}

}  // namespace

std::string TPCXLoader::GetLoadFilter() { return "Zsoft Paintbrush (*.pcx)|*.pcx"; }

void TPCXLoader::LoadFromStream(TBaseStream& stream, const std::string&, TLinearBitmap& bitmap) {
    const int64_t streamLeft = dynamic_cast<TSeekableStream*>(&stream) ? stream.Available() : -1;
    TBufferedFile in(stream);
    if (in.Ensure(kHeaderSize) < static_cast<size_t>(kHeaderSize)) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    const uint8_t* h = in.Data();
    const int planes = h[65];
    if (h[0] != 10 || h[1] != 5 || h[2] != 1 || h[3] != 8 || (planes != 1 && planes != 3))
        throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    const int xMin = LE16(h + 4), yMin = LE16(h + 6), xMax = LE16(h + 8), yMax = LE16(h + 10);
    const int bytesPerLine = LE16(h + 66);
    // A maximum below its minimum is no picture at all, and rows shorter than the
    // picture cannot hold it.
    if (xMax < xMin || yMax < yMin) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    const int width = xMax - xMin + 1, height = yMax - yMin + 1;
    if (bytesPerLine < width) throw EUnsupportedFileFormat(kUnsupportedFileFormat);
    in.Skip(kHeaderSize);

    CheckPictureBudget(width, height, planes, MaxPictureBytes);
    const int64_t coded = int64_t{bytesPerLine} * planes * height;
    if (streamLeft >= 0 && coded > MostDecodable(streamLeft - kHeaderSize)) throw EInOutError(kReadLessThanExpected);

    TLinearBitmap out;
    out.New(width, height, planes == 1 ? pf8bit : pf24bit);
    const int step = planes == 1 ? 1 : 3;
    int row = 0, plane = 0, x = 0;
    // Plane p of a row goes to byte 2 - p of each B,G,R pixel (red first).
    uint8_t* dst = out.ScanLine(0) + (planes == 1 ? 0 : 2);
    auto segmentEnd = [&] {
        x = 0;
        if (++plane == planes) {
            plane = 0;
            ++row;
            if (planes == 3 && LoaderProgress) LoaderProgress(static_cast<int>(int64_t{row} * 100 / height));
        }
        if (row < height) dst = out.ScanLine(row) + (planes == 1 ? 0 : 2 - plane);
    };
    // Codes are taken straight from the read buffer; a run code split at its end
    // waits for the next fill.
    while (row < height) {
        const size_t n = in.Ensure(65536);
        const uint8_t* p = in.Data();
        size_t i = 0;
        while (row < height && i < n) {
            int count = 1, value = p[i];
            if (value >= 0xC0) {
                if (i + 1 >= n) break;
                count = std::max(1, value & 63);
                value = p[i + 1];
                i += 2;
            } else {
                ++i;
            }
            if (count == 1 && x < width) {
                dst[step * x] = static_cast<uint8_t>(value);
                if (++x == bytesPerLine) segmentEnd();
                continue;
            }
            while (count > 0) {
                if (row >= height) throw ELinearBitmap(kErrorInBitmapData);
                const int take = std::min(count, bytesPerLine - x);
                const int kept = std::max(0, std::min(x + take, width) - x);
                if (step == 1) {
                    if (kept) std::memset(dst + x, value, static_cast<size_t>(kept));
                } else {
                    uint8_t* d = dst + 3 * x;
                    for (int k = 0; k < kept; ++k, d += 3) *d = static_cast<uint8_t>(value);
                }
                x += take;
                count -= take;
                if (x == bytesPerLine) segmentEnd();
            }
        }
        in.Skip(static_cast<int64_t>(i));
        if (i == 0 && row < height) throw EInOutError(kReadLessThanExpected);  // nothing left, or half a run code
    }

    if (planes == 1) {
        // The palette follows the mark byte 12; a file without it is grey.
        std::memcpy(out.Palette, GrayPalette, 768);
        int b;
        while ((b = in.ReadByte()) >= 0 && b != kPaletteMark) {
        }
        if (b == kPaletteMark && in.Ensure(768) == 768) {
            const uint8_t* p = in.Data();
            for (int i = 0; i < 256; ++i)
                out.Palette[3 * i] = p[3 * i + 2], out.Palette[3 * i + 1] = p[3 * i + 1], out.Palette[3 * i + 2] = p[3 * i];
        }
    }
    bitmap.TakeOver(out);
}

void TPCXLoader::SaveToStream(TBaseStream& stream, const std::string&, const TLinearBitmap& bitmap) {
    if (!bitmap.Present) throw ELinearBitmap(kInvalidBitmapSize);
    const TLinearBitmap* src = &bitmap;
    TLinearBitmap converted;
    if (bitmap.PixelFormat != pf8bit && bitmap.PixelFormat != pf24bit) {
        converted.Assign(bitmap);
        converted.SetPixelFormat(pf24bit);
        src = &converted;
    }
    const int w = src->Width, h = src->Height;
    if (w > 65535 || h > 65535) throw ELinearBitmap("Picture too large for PCX: at most 65,535 pixels a side");
    const int planes = src->PixelFormat == pf8bit ? 1 : 3;

    uint8_t header[kHeaderSize] = {};
    header[0] = 10, header[1] = 5, header[2] = 1, header[3] = 8;
    Put16(header + 8, static_cast<uint32_t>(w - 1));
    Put16(header + 10, static_cast<uint32_t>(h - 1));
    Put16(header + 12, 96);
    Put16(header + 14, 96);
    header[65] = static_cast<uint8_t>(planes);
    Put16(header + 66, static_cast<uint32_t>(w));
    stream.Write(header, kHeaderSize);

    std::vector<uint8_t> coded(static_cast<size_t>(w) * 2 * planes), plane(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = src->ScanLine(y);
        uint8_t* end = coded.data();
        if (planes == 1) {
            end = EncodeRow(s, static_cast<size_t>(w), end);
        } else {
            for (int p = 2; p >= 0; --p) {
                for (int x = 0; x < w; ++x) plane[x] = s[3 * x + p];
                end = EncodeRow(plane.data(), plane.size(), end);
            }
        }
        stream.Write(coded.data(), static_cast<size_t>(end - coded.data()));
    }
    if (planes == 1) {
        uint8_t tail[769];
        tail[0] = kPaletteMark;
        for (int i = 0; i < 256; ++i) {
            tail[1 + 3 * i] = src->Palette[3 * i + 2];
            tail[2 + 3 * i] = src->Palette[3 * i + 1];
            tail[3 + 3 * i] = src->Palette[3 * i];
        }
        stream.Write(tail, sizeof tail);
    }
}

}  // namespace imagefile
