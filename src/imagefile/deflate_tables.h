#pragma once
// RFC 1951 length and distance codes, shared by the deflate writer and the inflater.
#include <cstdint>

namespace imagefile::deflate_tables {

inline constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t kLengthExtraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                               33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                               6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Literal/length symbol (257..285) of a match length 3..258.
inline uint32_t LengthSymbol(uint32_t length) {
    if (length <= 10) return 254 + length;
    if (length == 258) return 285;
    const uint32_t x = length - 3;                      // 8..254
    const uint32_t n = 31 - static_cast<uint32_t>(__builtin_clz(x));  // 3..7
    return 257 + 4 * (n - 1) + ((x >> (n - 2)) & 3);
}
inline uint32_t LengthExtra(uint32_t length) { return kLengthExtraBits[LengthSymbol(length) - 257]; }

// Distance symbol (0..29) of a distance 1..32768.
inline uint32_t DistanceSymbol(uint32_t distance) {
    const uint32_t x = distance - 1;
    if (x < 4) return x;
    const uint32_t n = 31 - static_cast<uint32_t>(__builtin_clz(x));  // 2..14
    return 2 * n + ((x >> (n - 1)) & 1);
}
inline uint32_t DistanceExtra(uint32_t distance) { return kDistanceExtra[DistanceSymbol(distance)]; }

}  // namespace imagefile::deflate_tables
