#pragma once
// Loading pictures from bytes in the image tests, and pictures as plain R,G,B.
#include <cstdint>
#include <exception>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "imagefile/LinarBitmap.h"
#include "support/test_util.h"

namespace imagetest {

// Loads `bytes` by the loader of `ext`; returns the error text or "".
inline std::string LoadBytes(const std::string& bytes, const std::string& ext, imagefile::TLinearBitmap& b) {
    imagefile::TMemStream mem;
    mem.Write(bytes.data(), bytes.size());
    mem.Seek(0);
    try {
        b.LoadFromStream(mem, ext);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// The message of what `work` throws, "" when it throws nothing.
template <typename F>
std::string ErrorOf(F&& work) {
    try {
        work();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// The peak-memory measure of every test (support/test_util.h).
inline long long PeakGrowthBytes(const std::function<void()>& work) { return testutil::PeakGrowthBytes(work); }

// Under AddressSanitizer realloc copies instead of shrinking in place, and shadow
// memory adds an eighth to every peak.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Saves by the saver of `ext`; returns the file's bytes.
inline std::string SaveBytes(const imagefile::TLinearBitmap& b, const std::string& ext) {
    imagefile::TMemStream mem;
    b.SaveToStream(mem, ext);
    return mem.ToString();
}

// The picture as R,G,B bytes, top row first (8 bit through its palette, 16-bit
// grey by the high byte, 32 bit without its fourth byte).
inline std::string RgbBytes(const imagefile::TLinearBitmap& b) {
    std::string s;
    s.reserve(static_cast<size_t>(b.Width) * b.Height * 3);
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x) {
            const uint8_t* row = b.ScanLine(y);
            uint8_t bgr[3];
            switch (b.PixelFormat) {
                case imagefile::pf8bit:
                    for (int c = 0; c < 3; ++c) bgr[c] = b.Palette[3 * row[x] + c];
                    break;
                case imagefile::pf16bit: bgr[0] = bgr[1] = bgr[2] = row[2 * x + 1]; break;
                default:
                    for (int c = 0; c < 3; ++c) bgr[c] = row[b.PixelSize * x + c];
            }
            s += static_cast<char>(bgr[2]), s += static_cast<char>(bgr[1]), s += static_cast<char>(bgr[0]);
        }
    return s;
}

// A picture of random bytes (and a random palette for 8 bit).
inline void RandomPicture(imagefile::TLinearBitmap& b, int w, int h, int format, unsigned seed) {
    std::mt19937 rng(seed);
    b.New(w, h, format);
    for (int32_t k = 0; k < b.Size; ++k) b.Map[k] = static_cast<uint8_t>(rng());
    if (format == imagefile::pf8bit)
        for (int k = 0; k < 768; ++k) b.Palette[k] = static_cast<uint8_t>(rng());
}

// Little-endian writers for hand-made files.
inline std::string U16(unsigned v) { return {char(v), char(v >> 8)}; }
inline std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

}  // namespace imagetest
