#include "imagefile/checksums.h"

#include <array>
#include <bit>
#include <cstring>

namespace imagefile {

namespace {
// Eight tables so that the loop takes eight bytes per step.
struct CrcTables {
    uint32_t t[8][256];
    CrcTables() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
};
const CrcTables& Tables() {
    static const CrcTables tables;
    return tables;
}
}  // namespace

uint32_t UpdateCRC32(uint32_t crc, const void* buffer, size_t count) {
    const auto& t = Tables().t;
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count >= 8) {
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        if constexpr (std::endian::native == std::endian::big) {
            lo = __builtin_bswap32(lo);
            hi = __builtin_bswap32(hi);
        }
        lo ^= crc;
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        count -= 8;
    }
    while (count--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

void UpdateAdler32(TAdler32& a, const void* buffer, size_t count) {
    // 5,552 is the most bytes whose sums cannot overflow 32 bits before the modulo.
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t s1 = a.s1, s2 = a.s2;
    while (count > 0) {
        size_t n = count < 5552 ? count : 5552;
        count -= n;
        while (n--) {
            s1 += *p++;
            s2 += s1;
        }
        s1 %= 65521u;
        s2 %= 65521u;
    }
    a.s1 = s1;
    a.s2 = s2;
}

}  // namespace imagefile
