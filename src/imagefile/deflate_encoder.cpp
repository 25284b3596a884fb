#include "imagefile/deflate_encoder.h"

#include <algorithm>
#include <cstring>

#include "imagefile/Deflate.h"
#include "imagefile/deflate_tables.h"
#include "imagefile/huffman.h"

namespace imagefile {

namespace {
constexpr uint32_t kWindow = 65536;
constexpr uint32_t kMirror = 272;  // longest match plus a word of over-read
constexpr uint32_t kSlots = 64;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMaxDistance = 32768;
constexpr uint32_t kBlockEntries = 65527;
constexpr uint32_t kMatchFlag = 1u << 31;

struct FixedCodes {
    uint8_t litLen[288];
    uint16_t litCode[288];
    uint8_t distLen[32];
    uint16_t distCode[32];
    FixedCodes() {
        for (int i = 0; i < 288; ++i) litLen[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        for (int i = 0; i < 32; ++i) distLen[i] = 5;
        huffman::AssignCodes(litLen, 288, litCode);
        huffman::AssignCodes(distLen, 32, distCode);
    }
};
const FixedCodes& Fixed() {
    static const FixedCodes f;
    return f;
}

// Length of the common prefix of a and b, at most `limit`; reads up to 7 bytes
// beyond `limit`.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n < limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        uint64_t d = x ^ y;
        if (d) {
            n += static_cast<uint32_t>(__builtin_ctzll(d)) >> 3;
            return std::min(n, limit);
        }
        n += 8;
    }
    return limit;
}

// Symbol-buffer entries a match stands for: length and distance symbols and
// their extra-bit values.
inline uint32_t MatchEntries(uint32_t length, uint32_t distance) {
    return 2 + (deflate_tables::LengthExtra(length) > 0) + (deflate_tables::DistanceExtra(distance) > 0);
}
}  // namespace

DeflateEncoder::DeflateEncoder(TBitStream& bits, int method)
    : bits_(bits),
      method_(method),
      window_(new uint8_t[kWindow + kMirror]()),
      index_(method == TDeflateStream::kStored ? nullptr : new uint32_t[size_t{kWindow} * kSlots]),
      counters_(method == TDeflateStream::kStored ? nullptr : new uint8_t[kWindow]) {
    if (index_) {
        // Every byte 128: empty slots hold positions far behind any real one.
        std::memset(index_.get(), 128, size_t{kWindow} * kSlots * sizeof(uint32_t));
        std::memset(counters_.get(), 128, kWindow);
        items_.reserve(kBlockEntries + 8);
    }
}

void DeflateEncoder::Write(const uint8_t* data, size_t count) {
    if (finalWritten_) return;
    const uint32_t limit = method_ == TDeflateStream::kStored ? 65535 : 32767;
    while (count > 0) {
        const uint32_t at = (pos_ + pending_) & (kWindow - 1);
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>({count, limit - pending_, kWindow - at}));
        std::memcpy(window_.get() + at, data, n);
        if (at < kMirror) std::memcpy(window_.get() + kWindow + at, data, std::min(n, kMirror - at));
        pending_ += n;
        data += n;
        count -= n;
        if (method_ == TDeflateStream::kStored) {
            if (pending_ == limit) WriteStoredBlock();
        } else if (pending_ >= kMaxMatch) {
            Match(false);
        }
    }
}

void DeflateEncoder::Flush(bool final) {
    if (finalWritten_) return;
    finalRequested_ = finalRequested_ || final;
    if (method_ == TDeflateStream::kStored) {
        if (pending_ > 0 || finalRequested_) WriteStoredBlock();
        return;
    }
    Match(true);
    if (entries_ > 0 || finalRequested_) WriteHuffmanBlock();
}

void DeflateEncoder::Enter(uint32_t n) {
    uint8_t* w = window_.get();
    uint32_t* index = index_.get();
    uint8_t* counters = counters_.get();
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t key = w[pos_] | (uint32_t{w[pos_ + 1]} << 8);
        const uint32_t slot = counters[key]++ & (kSlots - 1);
        index[key * kSlots + slot] = total_;
        ++total_;
        pos_ = (pos_ + 1) & (kWindow - 1);
    }
    pending_ -= n;
}

void DeflateEncoder::Match(bool flushing) {
    const uint8_t* w = window_.get();
    const uint32_t* index = index_.get();
    const uint32_t minPending = flushing ? 3 : kMaxMatch;
    while (pending_ >= minPending) {
        const uint32_t p = pos_;
        const uint32_t maxLen = std::min(pending_, kMaxMatch);
        const uint32_t key = w[p] | (uint32_t{w[p + 1]} << 8);
        const uint32_t* bucket = index + key * kSlots;
        const uint32_t newest = counters_[key] - 1u;
        uint32_t best = 2, bestDistance = 0;
        for (uint32_t k = 0; k < kSlots; ++k) {
            const uint32_t distance = total_ - bucket[(newest - k) & (kSlots - 1)];
            if (distance < 1 || distance > kMaxDistance || distance > total_) break;
            const uint32_t c = (p - distance) & (kWindow - 1);
            if (w[c + best] != w[p + best]) continue;
            const uint32_t len = CommonLength(w + c, w + p, maxLen);
            if (len > best) {
                best = len;
                bestDistance = distance;
                if (best == maxLen) break;
            }
        }
        if (best < 3) {
            Literal(w[p]);
            Enter(1);
        } else {
            Copy(best, bestDistance);
            Enter(best);
        }
    }
    if (flushing) {
        while (pending_ > 0) {
            Literal(w[pos_]);
            Enter(1);
        }
    }
}

void DeflateEncoder::Literal(uint8_t b) {
    items_.push_back(b);
    if (++entries_ >= kBlockEntries) WriteHuffmanBlock();
}

void DeflateEncoder::Copy(uint32_t length, uint32_t distance) {
    items_.push_back(kMatchFlag | ((length - 3) << 15) | (distance - 1));
    entries_ += MatchEntries(length, distance);
    if (entries_ >= kBlockEntries) WriteHuffmanBlock();
}

void DeflateEncoder::WriteStoredBlock() {
    const bool final = finalRequested_ && !finalWritten_;
    bits_.WriteBits(final ? 1 : 0, 1);
    bits_.WriteBits(0, 2);
    bits_.AlignToByte();
    const uint32_t len = pending_;
    bits_.WriteBits(len, 16);
    bits_.WriteBits(~len & 0xFFFF, 16);
    const uint32_t first = std::min(len, kWindow - pos_);
    bits_.WriteAlignedBytes(window_.get() + pos_, first);
    if (first < len) bits_.WriteAlignedBytes(window_.get(), len - first);
    pos_ = (pos_ + len) & (kWindow - 1);
    total_ += len;
    pending_ = 0;
    if (final) finalWritten_ = true;
}

// Writes the collected symbols as one block: fixed codes for method 1, else a
// dynamic block with codes built from the symbols' counts.
void DeflateEncoder::WriteHuffmanBlock() {
    using namespace deflate_tables;
    const bool final = finalRequested_ && pending_ == 0 && !finalWritten_;
    bits_.WriteBits(final ? 1 : 0, 1);
    if (method_ == TDeflateStream::kFixed) {
        bits_.WriteBits(1, 2);
        const FixedCodes& f = Fixed();
        WriteSymbols(f.litCode, f.litLen, f.distCode, f.distLen);
    } else {
        bits_.WriteBits(2, 2);
        WriteDynamicCodes();
    }
    items_.clear();
    entries_ = 0;
    if (final) finalWritten_ = true;
}

void DeflateEncoder::WriteDynamicCodes() {
    using namespace deflate_tables;

    uint32_t litFreq[288] = {}, distFreq[32] = {};
    for (uint32_t item : items_) {
        if (item & kMatchFlag) {
            ++litFreq[LengthSymbol(((item >> 15) & 0xFF) + 3)];
            ++distFreq[DistanceSymbol((item & 0x7FFF) + 1)];
        } else {
            ++litFreq[item];
        }
    }
    ++litFreq[256];
    uint8_t litLen[288], distLen[32];
    uint16_t litCode[288], distCode[32];
    huffman::BuildLengths(litFreq, 288, 15, litLen);
    huffman::BuildLengths(distFreq, 32, 15, distLen);
    huffman::AssignCodes(litLen, 288, litCode);
    huffman::AssignCodes(distLen, 32, distCode);
    int hlit = 1, hdist = 1;
    for (int s = 285; s >= 0; --s)
        if (litLen[s]) {
            hlit = s + 1;
            break;
        }
    for (int s = 29; s >= 0; --s)
        if (distLen[s]) {
            hdist = s + 1;
            break;
        }

    // Run-length code the joined length lists: (symbol, extra value) pairs.
    uint8_t lens[288 + 32];
    std::memcpy(lens, litLen, static_cast<size_t>(hlit));
    std::memcpy(lens + hlit, distLen, static_cast<size_t>(hdist));
    const int total = hlit + hdist;
    uint8_t rleSym[288 + 32], rleExtra[288 + 32];
    int rleCount = 0;
    uint32_t clFreq[19] = {};
    auto put = [&](int sym, int extra) {
        rleSym[rleCount] = static_cast<uint8_t>(sym);
        rleExtra[rleCount++] = static_cast<uint8_t>(extra);
        ++clFreq[sym];
    };
    for (int i = 0; i < total;) {
        const uint8_t len = lens[i];
        int run = 1;
        while (i + run < total && lens[i + run] == len) ++run;
        i += run;
        if (len != 0) {
            put(len, 0);
            --run;
            while (run >= 3) {
                const int n = std::min(run, 6);
                put(16, n - 3);
                run -= n;
            }
        } else {
            while (run > 10) {
                const int n = std::min(run, 138);
                put(18, n - 11);
                run -= n;
            }
            if (run >= 3) {
                put(17, run - 3);
                run = 0;
            }
        }
        while (run-- > 0) put(len, 0);
    }
    uint8_t clLen[19];
    uint16_t clCode[19];
    huffman::BuildLengths(clFreq, 19, 7, clLen);
    huffman::AssignCodes(clLen, 19, clCode);
    int hclen = 19;
    while (hclen > 4 && clLen[kCodeLengthOrder[hclen - 1]] == 0) --hclen;

    bits_.WriteBits(static_cast<uint32_t>(hlit - 257), 5);
    bits_.WriteBits(static_cast<uint32_t>(hdist - 1), 5);
    bits_.WriteBits(static_cast<uint32_t>(hclen - 4), 4);
    for (int i = 0; i < hclen; ++i) bits_.WriteBits(clLen[kCodeLengthOrder[i]], 3);
    for (int i = 0; i < rleCount; ++i) {
        const int sym = rleSym[i];
        bits_.WriteBits(clCode[sym], clLen[sym]);
        if (sym >= 16) bits_.WriteBits(rleExtra[i], sym == 16 ? 2 : sym == 17 ? 3 : 7);
    }
    WriteSymbols(litCode, litLen, distCode, distLen);
}

void DeflateEncoder::WriteSymbols(const uint16_t* litCode, const uint8_t* litLen, const uint16_t* distCode,
                                  const uint8_t* distLen) {
    using namespace deflate_tables;
    for (uint32_t item : items_) {
        if (!(item & kMatchFlag)) {
            bits_.WriteBits(litCode[item], litLen[item]);
            continue;
        }
        const uint32_t length = ((item >> 15) & 0xFF) + 3, distance = (item & 0x7FFF) + 1;
        const uint32_t ls = LengthSymbol(length);
        bits_.WriteBits(litCode[ls] | ((length - kLengthBase[ls - 257]) << litLen[ls]),
                        litLen[ls] + static_cast<int>(LengthExtra(length)));
        const uint32_t ds = DistanceSymbol(distance);
        bits_.WriteBits(distCode[ds] | ((distance - kDistanceBase[ds]) << distLen[ds]),
                        distLen[ds] + static_cast<int>(kDistanceExtra[ds]));
    }
    bits_.WriteBits(litCode[256], litLen[256]);
}

}  // namespace imagefile
