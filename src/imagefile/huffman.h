#pragma once
// Huffman code construction for the deflate writer and decoding tables for the
// inflater. Plain functions on caller-owned arrays; no allocation on the encoder
// side, one growing table on the decoder side.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace imagefile::huffman {

// Code lengths for `count` symbols from their frequencies, limited to `limit`
// bits (1..15). Unused symbols get 0; a single used symbol gets 1. The pairing
// takes the two lightest groups (a later symbol wins ties); too-deep trees are
// repaired level by level and the lengths handed out again in the order of the
// unrepaired depths.
void BuildLengths(const uint32_t* freq, int count, int limit, uint8_t* lengths);

// Canonical codes (by length, then symbol), stored bit-reversed for
// least-significant-bit-first output.
void AssignCodes(const uint8_t* lengths, int count, uint16_t* codes);

// Decoding table entry: bits 0-4 code length, 5-7 kind, 8-15 extra bits (or the
// sub-table index bits), 16-31 value (literal, base or sub-table offset).
enum Kind : uint32_t { kLiteral = 0, kLength = 1, kEnd = 2, kSub = 3, kInvalid = 4 };
inline uint32_t EntryLength(uint32_t e) { return e & 31; }
inline uint32_t EntryKind(uint32_t e) { return (e >> 5) & 7; }
inline uint32_t EntryExtra(uint32_t e) { return (e >> 8) & 255; }
inline uint32_t EntryValue(uint32_t e) { return e >> 16; }
inline uint32_t MakeEntry(uint32_t length, uint32_t kind, uint32_t extra, uint32_t value) {
    return length | (kind << 5) | (extra << 8) | (value << 16);
}

// How each symbol decodes: kind, extra bits and value, by symbol number.
struct SymbolInfo {
    uint8_t kind;
    uint8_t extra;
    uint16_t value;
};

enum class BuildResult { kOk, kOverSubscribed, kIncomplete };

// Builds a decoding table over `primaryBits` of lookup with sub-tables for longer
// codes. An incomplete set is accepted only when it is one code of length 1 or
// no code at all (unused bit patterns decode as kInvalid); with `allowIncomplete`
// false (the code-length code) any incomplete set is refused.
BuildResult BuildDecodeTable(const uint8_t* lengths, int count, const SymbolInfo* info, int primaryBits,
                             bool allowIncomplete, std::vector<uint32_t>& table);

}  // namespace imagefile::huffman
