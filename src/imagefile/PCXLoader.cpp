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

// Appends one row of one plane, run-length coded: runs of equal bytes up to 63; a
// lone byte below 192 is written as itself.
void EncodeRow(const uint8_t* s, size_t n, std::vector<uint8_t>& out) {
    for (size_t i = 0; i < n;) {
        const uint8_t v = s[i];
        size_t j = i + 1;
        while (j < n && s[j] == v && j - i < 63) ++j;
        const size_t count = j - i;
        if (count == 1 && v < 0xC0) {
            out.push_back(v);
        } else {
            out.push_back(static_cast<uint8_t>(0xC0 | count));
            out.push_back(v);
        }
        i = j;
    }
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
    uint8_t* line = out.ScanLine(0);
    while (row < height) {
        const int c = in.ReadByte();
        if (c < 0) throw EInOutError(kReadLessThanExpected);
        int count = 1, value = c;
        if ((c & 0xC0) == 0xC0) {
            count = std::max(1, c & 63);
            value = in.ReadByte();
            if (value < 0) throw EInOutError(kReadLessThanExpected);
        }
        while (count > 0) {
            if (row >= height) throw ELinearBitmap(kErrorInBitmapData);
            const int n = std::min(count, bytesPerLine - x);
            const int kept = std::max(0, std::min(x + n, width) - x);
            if (planes == 1) {
                if (kept) std::memset(line + x, value, static_cast<size_t>(kept));
            } else {
                uint8_t* d = line + 3 * x + (2 - plane);  // red plane first into B,G,R pixels
                for (int k = 0; k < kept; ++k, d += step) *d = static_cast<uint8_t>(value);
            }
            x += n;
            count -= n;
            if (x == bytesPerLine) {
                x = 0;
                if (++plane == planes) {
                    plane = 0;
                    ++row;
                    if (row < height) line = out.ScanLine(row);
                    if (planes == 3 && LoaderProgress) LoaderProgress(static_cast<int>(int64_t{row} * 100 / height));
                }
            }
        }
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

    std::vector<uint8_t> coded, plane(static_cast<size_t>(w));
    coded.reserve(static_cast<size_t>(w) * 2 * planes);
    for (int y = 0; y < h; ++y) {
        coded.clear();
        const uint8_t* s = src->ScanLine(y);
        if (planes == 1) {
            EncodeRow(s, static_cast<size_t>(w), coded);
        } else {
            for (int p = 2; p >= 0; --p) {
                for (int x = 0; x < w; ++x) plane[x] = s[3 * x + p];
                EncodeRow(plane.data(), plane.size(), coded);
            }
        }
        stream.Write(coded.data(), coded.size());
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
