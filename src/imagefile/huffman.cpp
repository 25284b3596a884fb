#include "imagefile/huffman.h"

#include <algorithm>
#include <cstring>

namespace imagefile::huffman {

namespace {
constexpr int kMaxSymbols = 320;
constexpr int kMaxBits = 15;

uint32_t Reverse(uint32_t code, int length) {
    uint32_t r = 0;
    for (int i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1);
        code >>= 1;
    }
    return r;
}
}  // namespace

void BuildLengths(const uint32_t* freq, int count, int limit, uint8_t* lengths) {
    uint64_t weight[kMaxSymbols];
    int depth[kMaxSymbols], next[kMaxSymbols], tail[kMaxSymbols];
    bool active[kMaxSymbols];
    int used = 0, only = -1;
    for (int s = 0; s < count; ++s) {
        lengths[s] = 0;
        weight[s] = freq[s];
        active[s] = freq[s] > 0;
        depth[s] = 0;
        next[s] = -1;
        tail[s] = s;
        if (active[s]) {
            ++used;
            only = s;
        }
    }
    if (used == 0) return;
    if (used == 1) {
        lengths[only] = 1;
        return;
    }
    for (int groups = used; groups > 1; --groups) {
        int a = -1, b = -1;  // lightest, second lightest; a later symbol wins ties
        for (int s = 0; s < count; ++s) {
            if (!active[s]) continue;
            if (a < 0 || weight[s] <= weight[a]) {
                b = a;
                a = s;
            } else if (b < 0 || weight[s] <= weight[b]) {
                b = s;
            }
        }
        weight[a] += weight[b];
        active[b] = false;
        for (int x = a; x >= 0; x = next[x]) ++depth[x];
        for (int x = b; x >= 0; x = next[x]) ++depth[x];
        next[tail[a]] = b;
        tail[a] = tail[b];
    }
    int maxDepth = 0;
    for (int s = 0; s < count; ++s) maxDepth = std::max(maxDepth, depth[s]);
    if (maxDepth <= limit) {
        for (int s = 0; s < count; ++s) lengths[s] = static_cast<uint8_t>(depth[s]);
        return;
    }
    // Move leaves up until no level is deeper than the limit, keeping the code
    // complete: two leaves at level i become one at i-1, and a leaf at the deepest
    // occupied level j <= i-2 becomes two at j+1.
    std::vector<int> levels(static_cast<size_t>(maxDepth) + 1, 0);
    for (int s = 0; s < count; ++s)
        if (freq[s] > 0) ++levels[static_cast<size_t>(depth[s])];
    for (int i = maxDepth; i > limit; --i) {
        while (levels[i] > 0) {
            int j = i - 2;
            while (j > 0 && levels[j] == 0) --j;
            levels[i] -= 2;
            levels[i - 1] += 1;
            levels[j + 1] += 2;
            levels[j] -= 1;
        }
    }
    // Hand the lengths out again, shortest first, in the order of the old depths.
    int order[kMaxSymbols], n = 0;
    for (int s = 0; s < count; ++s)
        if (freq[s] > 0) order[n++] = s;
    std::stable_sort(order, order + n, [&](int x, int y) { return depth[x] < depth[y]; });
    int k = 0;
    for (int len = 1; len <= limit; ++len)
        for (int c = 0; c < levels[len]; ++c) lengths[order[k++]] = static_cast<uint8_t>(len);
}

void AssignCodes(const uint8_t* lengths, int count, uint16_t* codes) {
    int blCount[kMaxBits + 1] = {};
    for (int s = 0; s < count; ++s) ++blCount[lengths[s]];
    blCount[0] = 0;
    uint32_t nextCode[kMaxBits + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        code = (code + static_cast<uint32_t>(blCount[len - 1])) << 1;
        nextCode[len] = code;
    }
    for (int s = 0; s < count; ++s) {
        int len = lengths[s];
        codes[s] = len ? static_cast<uint16_t>(Reverse(nextCode[len]++, len)) : 0;
    }
}

BuildResult BuildDecodeTable(const uint8_t* lengths, int count, const SymbolInfo* info, int primaryBits,
                             bool allowIncomplete, std::vector<uint32_t>& table) {
    int blCount[kMaxBits + 1] = {};
    int maxLen = 0;
    for (int s = 0; s < count; ++s) {
        ++blCount[lengths[s]];
        maxLen = std::max<int>(maxLen, lengths[s]);
    }
    blCount[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left <<= 1;
        left -= blCount[len];
        if (left < 0) return BuildResult::kOverSubscribed;
    }
    if (left > 0) {
        const bool lone = maxLen == 0 || (maxLen == 1 && blCount[1] == 1);
        if (!allowIncomplete || !lone) return BuildResult::kIncomplete;
    }
    const uint32_t invalid = MakeEntry(1, kInvalid, 0, 0);
    const uint32_t primarySize = 1u << primaryBits;
    table.assign(primarySize, invalid);
    const int subBits = std::max(0, maxLen - primaryBits);
    uint32_t nextCode[kMaxBits + 2] = {};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        code = (code + static_cast<uint32_t>(blCount[len - 1])) << 1;
        nextCode[len] = code;
    }
    for (int s = 0; s < count; ++s) {
        const int len = lengths[s];
        if (!len) continue;
        const uint32_t rev = Reverse(nextCode[len]++, len);
        const uint32_t entry = MakeEntry(static_cast<uint32_t>(len), info[s].kind, info[s].extra, info[s].value);
        if (len <= primaryBits) {
            for (uint32_t i = rev; i < primarySize; i += 1u << len) table[i] = entry;
            continue;
        }
        const uint32_t prefix = rev & (primarySize - 1);
        if (EntryKind(table[prefix]) != kSub) {
            const uint32_t offset = static_cast<uint32_t>(table.size());
            table.resize(table.size() + (size_t{1} << subBits), invalid);
            table[prefix] = MakeEntry(0, kSub, static_cast<uint32_t>(subBits), offset);
        }
        const uint32_t offset = EntryValue(table[prefix]);
        for (uint32_t i = rev >> primaryBits; i < (1u << subBits); i += 1u << (len - primaryBits))
            table[offset + i] = entry;
    }
    return BuildResult::kOk;
}

}  // namespace imagefile::huffman
