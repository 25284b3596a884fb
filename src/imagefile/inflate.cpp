#include "imagefile/inflate.h"

#include <algorithm>
#include <cstring>

#include "imagefile/Deflate.h"
#include "imagefile/deflate_tables.h"
#include "imagefile/huffman.h"

namespace imagefile {

namespace {
using namespace huffman;

constexpr size_t kInSize = 32768;
constexpr uint32_t kHistory = 32768;
constexpr uint32_t kCapacity = kHistory + 65536;
constexpr uint32_t kSlack = 16;  // word-wise match copies may write a little past the end
constexpr uint32_t kMaxMatch = 258;
constexpr int kLitBits = 10;
constexpr int kDistBits = 8;
constexpr int kCodeLengthBits = 7;

[[noreturn]] void Corrupt() { throw EDecompressionError(kErrorInCompressedData); }
[[noreturn]] void BadCode() { throw EDecompressionError(kInvalidHuffmanCode); }

struct SymbolTables {
    SymbolInfo lit[288];
    SymbolInfo dist[32];
    SymbolInfo cl[19];
    std::vector<uint32_t> fixedLit, fixedDist;
    SymbolTables() {
        for (int s = 0; s < 288; ++s) {
            if (s < 256) lit[s] = {kLiteral, 0, static_cast<uint16_t>(s)};
            else if (s == 256) lit[s] = {kEnd, 0, 0};
            else if (s <= 285)
                lit[s] = {kLength, deflate_tables::kLengthExtraBits[s - 257], deflate_tables::kLengthBase[s - 257]};
            else lit[s] = {kInvalid, 0, 0};
        }
        for (int s = 0; s < 32; ++s)
            dist[s] = s < 30 ? SymbolInfo{kLiteral, deflate_tables::kDistanceExtra[s], deflate_tables::kDistanceBase[s]}
                             : SymbolInfo{kInvalid, 0, 0};
        for (int s = 0; s < 19; ++s) cl[s] = {kLiteral, 0, static_cast<uint16_t>(s)};
        uint8_t len[288];
        for (int i = 0; i < 288; ++i) len[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        BuildDecodeTable(len, 288, lit, kLitBits, true, fixedLit);
        for (int i = 0; i < 32; ++i) len[i] = 5;
        BuildDecodeTable(len, 32, dist, kDistBits, true, fixedDist);
    }
};
const SymbolTables& Symbols() {
    static const SymbolTables t;
    return t;
}

inline uint32_t Lookup(const uint32_t* table, uint64_t bits, int primaryBits) {
    uint32_t e = table[bits & ((1u << primaryBits) - 1)];
    if (EntryKind(e) == kSub) e = table[EntryValue(e) + ((bits >> primaryBits) & ((1u << EntryExtra(e)) - 1))];
    return e;
}
}  // namespace

Inflater::Inflater(TBaseStream& next)
    : next_(next), in_(new uint8_t[kInSize + 8]()), buf_(new uint8_t[kCapacity + kSlack]()) {
    Symbols();
}

// Next's ExactIO is off while the inflater reads from it: the end of the input is
// the inflater's to judge.
struct ExactIOOff {
    explicit ExactIOOff(TBaseStream& s) : stream(s), old(s.ExactIO) {
        if (old) stream.SetExactIO(false);
    }
    ~ExactIOOff() {
        if (old) stream.SetExactIO(true);
    }
    TBaseStream& stream;
    const bool old;
};

bool Inflater::FillInput(size_t want) {
    const size_t n = next_.Read(in_.get(), std::min(want, kInSize));
    inPos_ = 0;
    inEnd_ = n;
    return n > 0;
}

void Inflater::CheckTruncation() const {
    if (phantom_ && static_cast<uint32_t>(bitCount_) < 8 * phantom_) Corrupt();
}

// Loads bits until at least `need` are held. Reading ahead, it tops the buffer up
// to at least 57 bits; otherwise it takes only the bytes needed. Past the end of
// the input it adds zero bytes and counts them, so that using one of them is caught.
void Inflater::Load(int need) {
    if (readAhead_) {
        if (inEnd_ - inPos_ >= 8) {
            uint64_t v;
            std::memcpy(&v, in_.get() + inPos_, 8);
            bits_ |= v << bitCount_;
            inPos_ += static_cast<size_t>(63 - bitCount_) >> 3;
            bitCount_ |= 56;
            return;
        }
        need = 57;
    }
    while (bitCount_ < need) {
        if (inPos_ == inEnd_ && !phantom_)
            FillInput(readAhead_ ? kInSize : static_cast<size_t>(need - bitCount_ + 7) / 8 + 2);
        if (inPos_ < inEnd_) {
            bits_ |= uint64_t{in_[inPos_++]} << bitCount_;
        } else {
            ++phantom_;
        }
        bitCount_ += 8;
    }
    CheckTruncation();
}

size_t Inflater::Read(uint8_t* out, size_t count) {
    size_t done = std::min<size_t>(count, w_ - r_);
    std::memcpy(out, buf_.get() + r_, done);
    r_ += static_cast<uint32_t>(done);
    if (done == count || state_ == State::kDone) return done;
    if (!failure_.empty()) throw EDecompressionError(failure_);
    ExactIOOff guard(next_);
    try {
        while (done < count) {
            if (r_ < w_) {
                const size_t n = std::min<size_t>(count - done, w_ - r_);
                std::memcpy(out + done, buf_.get() + r_, n);
                r_ += static_cast<uint32_t>(n);
                done += n;
                continue;
            }
            if (state_ == State::kDone) break;
            Decode();
        }
    } catch (const EDecompressionError& e) {
        failure_ = e.what();  // a broken stream stays broken
        r_ = w_;
        throw;
    }
    return done;
}

// Decodes until the buffer is nearly full or the stream ends; called only when
// every decoded byte has been delivered.
void Inflater::Decode() {
    if (w_ > kCapacity - kMaxMatch) {
        const uint32_t keep = kHistory;
        std::memmove(buf_.get(), buf_.get() + w_ - keep, keep);
        r_ = w_ = keep;
    }
    const uint32_t limit = kCapacity - kMaxMatch;
    while (w_ <= limit && state_ != State::kDone) {
        switch (state_) {
            case State::kHeader: {
                Need(3);
                finalBlock_ = Bits(1);
                const uint32_t type = (bits_ >> 1) & 3;
                Consume(3);
                if (type == 0) {
                    Consume(bitCount_ & 7);
                    Need(32);
                    const uint32_t len = Bits(16), nlen = (bits_ >> 16) & 0xFFFF;
                    Consume(32);
                    CheckTruncation();
                    if (len != (~nlen & 0xFFFF)) Corrupt();
                    storedLeft_ = len;
                    state_ = State::kStored;
                } else if (type == 1) {
                    litTable_ = Symbols().fixedLit.data();
                    distTable_ = Symbols().fixedDist.data();
                    state_ = State::kHuffman;
                } else if (type == 2) {
                    ReadDynamicHeader();
                    state_ = State::kHuffman;
                } else {
                    Corrupt();
                }
                break;
            }
            case State::kStored:
                CopyStored(limit + kMaxMatch);
                break;
            case State::kHuffman:
                DecodeHuffman(limit);
                break;
            case State::kDone:
                break;
        }
    }
}

void Inflater::EndBlock() {
    CheckTruncation();
    state_ = finalBlock_ ? State::kDone : State::kHeader;
}

void Inflater::CopyStored(uint32_t limit) {
    // Whole bytes still in the bit buffer come first (the header left it aligned).
    while (storedLeft_ > 0 && bitCount_ >= 8 && w_ < limit) {
        CheckTruncation();
        buf_[w_++] = static_cast<uint8_t>(bits_);
        Consume(8);
        --storedLeft_;
    }
    CheckTruncation();
    if (bitCount_ < 8) {
        bits_ = 0;  // drop look-ahead copies of bytes that are now read directly
        bitCount_ = 0;
    }
    while (storedLeft_ > 0 && w_ < limit) {
        if (inPos_ == inEnd_ && !FillInput(readAhead_ ? kInSize : storedLeft_)) Corrupt();
        const size_t n = std::min<size_t>({storedLeft_, inEnd_ - inPos_, limit - w_});
        std::memcpy(buf_.get() + w_, in_.get() + inPos_, n);
        inPos_ += n;
        w_ += static_cast<uint32_t>(n);
        storedLeft_ -= static_cast<uint32_t>(n);
    }
    if (storedLeft_ == 0) EndBlock();
}

void Inflater::ReadDynamicHeader() {
    using deflate_tables::kCodeLengthOrder;
    const SymbolTables& sym = Symbols();
    Need(14);
    const int hlit = static_cast<int>(Bits(5)) + 257;
    const int hdist = static_cast<int>((bits_ >> 5) & 31) + 1;
    const int hclen = static_cast<int>((bits_ >> 10) & 15) + 4;
    Consume(14);
    if (hlit > 286 || hdist > 30) Corrupt();
    uint8_t clLen[19] = {};
    for (int i = 0; i < hclen; ++i) {
        Need(3);
        clLen[kCodeLengthOrder[i]] = static_cast<uint8_t>(Bits(3));
        Consume(3);
    }
    if (BuildDecodeTable(clLen, 19, sym.cl, kCodeLengthBits, false, clTable_) != BuildResult::kOk) Corrupt();
    uint8_t lens[286 + 30] = {};
    const int total = hlit + hdist;
    for (int n = 0; n < total;) {
        Need(kCodeLengthBits);
        const uint32_t e = clTable_[Bits(kCodeLengthBits)];
        if (EntryKind(e) == kInvalid) BadCode();
        Consume(static_cast<int>(EntryLength(e)));
        const uint32_t s = EntryValue(e);
        if (s < 16) {
            lens[n++] = static_cast<uint8_t>(s);
            continue;
        }
        uint8_t value = 0;
        int repeat;
        Need(7);
        if (s == 16) {
            if (n == 0) Corrupt();
            value = lens[n - 1];
            repeat = 3 + static_cast<int>(Bits(2));
            Consume(2);
        } else if (s == 17) {
            repeat = 3 + static_cast<int>(Bits(3));
            Consume(3);
        } else {
            repeat = 11 + static_cast<int>(Bits(7));
            Consume(7);
        }
        if (n + repeat > total) Corrupt();
        std::memset(lens + n, value, static_cast<size_t>(repeat));
        n += repeat;
    }
    CheckTruncation();
    if (lens[256] == 0) Corrupt();  // no end-of-block code
    if (BuildDecodeTable(lens, hlit, sym.lit, kLitBits, true, dynLit_) != BuildResult::kOk) Corrupt();
    if (BuildDecodeTable(lens + hlit, hdist, sym.dist, kDistBits, true, dynDist_) != BuildResult::kOk) Corrupt();
    litTable_ = dynLit_.data();
    distTable_ = dynDist_.data();
}

void Inflater::DecodeHuffman(uint32_t limit) {
    uint8_t* const out = buf_.get();
    const uint32_t* const lit = litTable_;
    const uint32_t* const dist = distTable_;
    uint32_t w = w_;
    while (w <= limit) {
        Need(15);
        uint32_t e = Lookup(lit, bits_, kLitBits);
        uint32_t kind = EntryKind(e);
        if (kind == kLiteral) {
            Consume(static_cast<int>(EntryLength(e)));
            out[w++] = static_cast<uint8_t>(EntryValue(e));
            // Reading ahead, a second literal fits in the bits left after one load.
            Need(15);
            e = Lookup(lit, bits_, kLitBits);
            if (EntryKind(e) != kLiteral) continue;
            Consume(static_cast<int>(EntryLength(e)));
            out[w++] = static_cast<uint8_t>(EntryValue(e));
            continue;
        }
        if (kind == kEnd) {
            Consume(static_cast<int>(EntryLength(e)));
            w_ = w;
            EndBlock();
            return;
        }
        if (kind != kLength) {
            w_ = w;
            BadCode();
        }
        Consume(static_cast<int>(EntryLength(e)));
        Need(static_cast<int>(EntryExtra(e)));
        const uint32_t length = EntryValue(e) + Bits(static_cast<int>(EntryExtra(e)));
        Consume(static_cast<int>(EntryExtra(e)));
        Need(15);
        e = Lookup(dist, bits_, kDistBits);
        if (EntryKind(e) != kLiteral) {
            w_ = w;
            BadCode();
        }
        Consume(static_cast<int>(EntryLength(e)));
        Need(static_cast<int>(EntryExtra(e)));
        const uint32_t distance = EntryValue(e) + Bits(static_cast<int>(EntryExtra(e)));
        Consume(static_cast<int>(EntryExtra(e)));
        if (distance > w) {  // the buffer always holds all output or at least 32 KB of it
            w_ = w;
            Corrupt();
        }
        uint8_t* dst = out + w;
        const uint8_t* src = dst - distance;
        if (distance >= 8) {
            for (uint32_t i = 0; i < length; i += 8) {
                uint64_t v;
                std::memcpy(&v, src + i, 8);
                std::memcpy(dst + i, &v, 8);
            }
        } else if (distance == 1) {
            std::memset(dst, *src, length);
        } else {
            for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
        }
        w += length;
    }
    w_ = w;
    CheckTruncation();
}

bool Inflater::DecodeToEnd() {
    if (!failure_.empty()) throw EDecompressionError(failure_);
    if (state_ != State::kDone && r_ == w_) {
        ExactIOOff guard(next_);
        Decode();
    }
    return state_ == State::kDone && r_ == w_;
}

size_t Inflater::ReadUnused(uint8_t* out, size_t count) {
    size_t done = 0;
    Consume(bitCount_ & 7);
    while (done < count && bitCount_ >= 8 && static_cast<uint32_t>(bitCount_) > 8 * phantom_) {
        out[done++] = static_cast<uint8_t>(bits_);
        Consume(8);
    }
    if (bitCount_ <= static_cast<int>(8 * phantom_)) {
        bits_ = 0;
        bitCount_ = 0;
        phantom_ = 0;
    }
    if (done < count && bitCount_ == 0) {
        const size_t n = std::min(count - done, inEnd_ - inPos_);
        std::memcpy(out + done, in_.get() + inPos_, n);
        inPos_ += n;
        done += n;
        if (done < count) {
            ExactIOOff guard(next_);
            done += next_.Read(out + done, count - done);
        }
    }
    return done;
}

}  // namespace imagefile
