#pragma once
// CRC-32 (ISO 3309, reflected polynomial 0xEDB88320) and Adler-32. Pure functions
// on caller-held state; safe from any thread.
#include <cstddef>
#include <cstdint>

namespace imagefile {

// Adds bytes to a running CRC. Start from 0xFFFFFFFF; the CRC is the complement
// of the running value.
uint32_t UpdateCRC32(uint32_t running, const void* buffer, size_t count);
// The finished CRC-32 of one buffer.
inline uint32_t CRC32(const void* buffer, size_t count) { return ~UpdateCRC32(0xFFFFFFFFu, buffer, count); }

// Adler-32 running sums modulo 65,521.
struct TAdler32 {
    uint32_t s1 = 1;
    uint32_t s2 = 0;
};
inline void InitAdler32(TAdler32& a) { a = TAdler32{}; }
void UpdateAdler32(TAdler32& a, const void* buffer, size_t count);
inline void UpdateAdler32Byte(TAdler32& a, uint8_t value) {
    a.s1 = (a.s1 + value) % 65521u;
    a.s2 = (a.s2 + a.s1) % 65521u;
}
// The checksum as a number: s2 << 16 | s1.
inline uint32_t Adler32Value(const TAdler32& a) { return (a.s2 << 16) | a.s1; }
// The checksum with its bytes reversed, so that storing the value in memory on a
// little-endian machine gives the big-endian bytes a zlib stream ends with.
inline uint32_t GetAdler32(const TAdler32& a) {
    uint32_t v = Adler32Value(a);
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

}  // namespace imagefile
