#pragma once
// The inflating half of TDeflateStream: table-driven decoding of stored, fixed and
// dynamic blocks into a sliding history buffer, from which Read copies.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace imagefile {

class TBaseStream;

class Inflater {
public:
    explicit Inflater(TBaseStream& next);
    // Reading ahead takes the input in pieces of 32 KB; otherwise only the bytes
    // needed are taken (a few at a time), at most four beyond the end of the
    // deflate data, so a zlib trailer behind it is never read past.
    void SetReadAhead(bool on) { readAhead_ = on; }
    // Delivers up to `count` bytes; fewer only when the final block has ended.
    size_t Read(uint8_t* out, size_t count);
    // Decoded bytes not yet delivered.
    size_t Buffered() const { return w_ - r_; }
    bool Ended() const { return state_ == State::kDone; }
    bool AtEnd() const { return state_ == State::kDone && r_ == w_; }
    // Decodes what is left when every byte has been delivered; true when that
    // reaches the end of the final block with no more output.
    bool DecodeToEnd();
    // After the end: input bytes behind the deflate data, then Next's.
    size_t ReadUnused(uint8_t* out, size_t count);

private:
    enum class State { kHeader, kStored, kHuffman, kDone };
    void Decode();
    void DecodeHuffman(uint32_t limit);
    void ReadDynamicHeader();
    void CopyStored(uint32_t limit);
    bool FillInput(size_t want);
    void Need(int n) {
        if (bitCount_ < n) Load(n);
    }
    void Load(int need);
    uint32_t Bits(int n) const { return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1)); }
    void Consume(int n) {
        bits_ >>= n;
        bitCount_ -= n;
    }
    void CheckTruncation() const;
    void EndBlock();

    TBaseStream& next_;
    std::unique_ptr<uint8_t[]> in_;
    size_t inPos_ = 0, inEnd_ = 0;
    uint64_t bits_ = 0;
    int bitCount_ = 0;
    uint32_t phantom_ = 0;
    bool readAhead_ = false;  // zero bytes added past the end of the input

    std::unique_ptr<uint8_t[]> buf_;  // history and fresh output
    uint32_t r_ = 0, w_ = 0;

    State state_ = State::kHeader;
    bool finalBlock_ = false;
    uint32_t storedLeft_ = 0;
    const uint32_t* litTable_ = nullptr;
    const uint32_t* distTable_ = nullptr;
    std::vector<uint32_t> dynLit_, dynDist_, clTable_;
    std::string failure_;
};

}  // namespace imagefile
