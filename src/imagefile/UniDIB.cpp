#include "imagefile/UniDIB.h"

#include <cstdlib>
#include <new>

namespace imagefile {

namespace {

// 16-bit packing of the three channels by layout (see the header).
inline uint16_t Pack16(uint32_t c, int layout) {
    uint32_t a = c & 0xFF, b = (c >> 8) & 0xFF, t = (c >> 16) & 0xFF, low = 0;
    switch (layout) {
        case 1: low = t & 1, t >>= 1; break;
        case 2: low = b & 1, b >>= 1; break;
        case 3: low = a & 1, a >>= 1; break;
        default: break;
    }
    return static_cast<uint16_t>((a & 31) | (b & 31) << 5 | (t & 31) << 10 | low << 15);
}

inline uint32_t Unpack16(uint16_t v, int layout) {
    uint32_t a = v & 31, b = (v >> 5) & 31, t = (v >> 10) & 31;
    const uint32_t low = v >> 15;
    switch (layout) {
        case 1: t = t << 1 | low; break;
        case 2: b = b << 1 | low; break;
        case 3: a = a << 1 | low; break;
        default: break;
    }
    return a | b << 8 | t << 16;
}

}  // namespace

template <int Bits, int Layout>
struct PixelAccess {
    static void Put(uint8_t* p, int bitPos, uint32_t c) {
        if constexpr (Bits == 1) {
            *p = static_cast<uint8_t>((*p & ~(1u << bitPos)) | (c & 1) << bitPos);
        } else if constexpr (Bits == 4) {
            *p = static_cast<uint8_t>((*p & ~(15u << bitPos)) | (c & 15) << bitPos);
        } else if constexpr (Bits == 8) {
            *p = static_cast<uint8_t>(c);
        } else if constexpr (Bits == 16) {
            const uint16_t v = Pack16(c, Layout);
            p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
        } else if constexpr (Bits == 24) {
            p[0] = static_cast<uint8_t>(c), p[1] = static_cast<uint8_t>(c >> 8), p[2] = static_cast<uint8_t>(c >> 16);
        } else {
            p[0] = static_cast<uint8_t>(c), p[1] = static_cast<uint8_t>(c >> 8), p[2] = static_cast<uint8_t>(c >> 16),
            p[3] = static_cast<uint8_t>(c >> 24);
        }
    }
    static uint32_t Get(const uint8_t* p, int bitPos) {
        if constexpr (Bits == 1) return (*p >> bitPos) & 1;
        else if constexpr (Bits == 4) return (*p >> bitPos) & 15;
        else if constexpr (Bits == 8) return *p;
        else if constexpr (Bits == 16) return Unpack16(static_cast<uint16_t>(p[0] | p[1] << 8), Layout);
        else if constexpr (Bits == 24) return p[0] | p[1] << 8 | uint32_t(p[2]) << 16;
        else return p[0] | p[1] << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    // Byte address and bit position of pixel x in a row.
    static uint8_t* At(uint8_t* row, int x, int& bitPos) {
        if constexpr (Bits == 1) {
            bitPos = 7 - (x & 7);
            return row + (x >> 3);
        } else if constexpr (Bits == 4) {
            bitPos = (x & 1) ? 0 : 4;
            return row + (x >> 1);
        } else {
            bitPos = 0;
            return row + static_cast<int64_t>(x) * (Bits / 8);
        }
    }
    static void Advance(TUniDIB& d) {
        if constexpr (Bits < 8) {
            d.BitPos -= Bits;
            if (d.BitPos < 0) d.BitPos += 8, ++d.Cursor;
        } else {
            d.Cursor += Bits / 8;
        }
    }
    static void SetPixel(TUniDIB& d, int x, int y, uint32_t c) {
        int bitPos;
        uint8_t* p = At(d.ScanLine(y), x, bitPos);
        Put(p, bitPos, c);
    }
    static uint32_t GetPixel(const TUniDIB& d, int x, int y) {
        int bitPos;
        const uint8_t* p = At(const_cast<uint8_t*>(d.ScanLine(y)), x, bitPos);
        return Get(p, bitPos);
    }
    static void WriteNext(TUniDIB& d, uint32_t c) {
        Put(d.Cursor, d.BitPos, c);
        Advance(d);
    }
    static uint32_t ReadNext(TUniDIB& d) {
        const uint32_t c = Get(d.Cursor, d.BitPos);
        Advance(d);
        return c;
    }
    static void Install(TUniDIB& d) {
        d.setPixel_ = &SetPixel;
        d.getPixel_ = &GetPixel;
        d.writeNext_ = &WriteNext;
        d.readNext_ = &ReadNext;
    }
};

TUniDIB::TUniDIB(int width, int height, int bitCount, int layout16) {
    const int bits = bitCount <= 1 ? 1 : bitCount <= 4 ? 4 : bitCount <= 8 ? 8 : bitCount <= 16 ? 16 : bitCount <= 24 ? 24 : 32;
    if (width < 1) width = 1;
    if (height == 0) height = 1;
    const int64_t absHeight = std::llabs(static_cast<int64_t>(height));
    const int64_t scanline = (static_cast<int64_t>(width) * bits + 31) / 32 * 4;
    if (absHeight > kMaxBitmapBytes || scanline * absHeight > kMaxBitmapBytes) throw ELinearBitmap(kInvalidBitmapSize);
    Info.biWidth = width;
    Info.biHeight = height < -INT32_MAX ? -INT32_MAX : height;
    Info.biBitCount = static_cast<uint16_t>(bits);
    height_ = static_cast<int>(absHeight);
    layout16_ = layout16 & 3;
    scanlineSize_ = static_cast<int>(scanline);
    imageSize_ = scanline * absHeight;
    bits_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(imageSize_)]());
    if (!bits_) throw ELinearBitmap("Out of memory for the bitmap");
    switch (bits) {
        case 1: PixelAccess<1, 0>::Install(*this); break;
        case 4: PixelAccess<4, 0>::Install(*this); break;
        case 8: PixelAccess<8, 0>::Install(*this); break;
        case 16:
            switch (layout16_) {
                case 0: PixelAccess<16, 0>::Install(*this); break;
                case 1: PixelAccess<16, 1>::Install(*this); break;
                case 2: PixelAccess<16, 2>::Install(*this); break;
                default: PixelAccess<16, 3>::Install(*this); break;
            }
            break;
        case 24: PixelAccess<24, 0>::Install(*this); break;
        default: PixelAccess<32, 0>::Install(*this); break;
    }
}

void TUniDIB::Seek(int x, int y) {
    uint8_t* row = ScanLine(y);
    switch (Info.biBitCount) {
        case 1: Cursor = PixelAccess<1, 0>::At(row, x, BitPos); break;
        case 4: Cursor = PixelAccess<4, 0>::At(row, x, BitPos); break;
        default: Cursor = row + static_cast<int64_t>(x) * (Info.biBitCount / 8), BitPos = 0; break;
    }
}

}  // namespace imagefile
