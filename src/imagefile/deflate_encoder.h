#pragma once
// The compressing half of TDeflateStream: a greedy matcher over a 64 KB window
// with a match index keyed by the two bytes at each position (64 newest positions
// per key), and the block writers for dynamic, fixed and stored blocks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace imagefile {

class TBitStream;

class DeflateEncoder {
public:
    DeflateEncoder(TBitStream& bits, int method);
    void Write(const uint8_t* data, size_t count);
    // Codes everything pending and ends the current block; with `final`, the
    // stream ends (later calls do nothing).
    void Flush(bool final);
    int64_t Pending() const { return pending_; }

private:
    void Match(bool flushing);
    void Enter(uint32_t n);
    void Literal(uint8_t b);
    void Copy(uint32_t length, uint32_t distance);
    void WriteHuffmanBlock();
    void WriteDynamicCodes();
    void WriteSymbols(const uint16_t* litCode, const uint8_t* litLen, const uint16_t* distCode,
                      const uint8_t* distLen);
    void WriteStoredBlock();

    TBitStream& bits_;
    const int method_;
    std::unique_ptr<uint8_t[]> window_;      // 65,536 bytes and a mirror of the first few after them
    std::unique_ptr<uint32_t[]> index_;      // 65,536 keys x 64 positions
    std::unique_ptr<uint8_t[]> counters_;    // per key: next slot in its low six bits
    uint32_t pos_ = 0;                       // window index of the first pending byte
    uint32_t pending_ = 0;
    uint32_t total_ = 0;                     // absolute position of the first pending byte
    std::vector<uint32_t> items_;            // literals, or 1 << 31 | (length - 3) << 15 | (distance - 1)
    uint32_t entries_ = 0;                   // symbol-buffer entries the items stand for
    bool finalRequested_ = false;
    bool finalWritten_ = false;
};

}  // namespace imagefile
