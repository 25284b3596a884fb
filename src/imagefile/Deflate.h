#pragma once
// Raw deflate (RFC 1951: no zlib header or trailer) as a filter stream, the bit
// stream under it, and the CRC-32 filter stream. Adler-32 and the CRC routines are
// in checksums.h.
//
// TDeflateStream contract:
// - Opened over a writable stream it compresses: Write codes the bytes, Flush ends
//   the current block (not byte-aligned), Finish ends the stream with a final block
//   and pushes the last bits; the destructor finishes when Finish was not called,
//   swallowing errors. Method (0 dynamic, 1 fixed, 2 stored) is read at the first
//   Write or Flush. Fixed and dynamic blocks hold up to 65,527 symbols each.
// - Opened over a readable stream it inflates: Read returns decoded bytes, fewer
//   only at the end of the final block (with ExactIO on, a short read there raises
//   "Read less than expected"). Malformed data raises EDecompressionError with
//   "Error in compressed data" or "Invalid Huffman code"; nothing in the input can
//   make it read out of bounds, loop without consuming input, or allocate beyond
//   its fixed buffers. By default it takes from Next only about the bytes it
//   needs, at most four beyond the end of the deflate data (no further than a zlib
//   trailer reaches); with ReadAhead on it takes 32 KB pieces (faster). Either way the bytes that follow the deflate data are taken
//   with ReadUnusedInput, which hands out the ones already taken first.
// - The compressor holds about 17 MB (match index) for its life; the inflater
//   about 250 KB.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imagefile/Streams.h"

namespace imagefile {

class EDecompressionError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

extern const char* const kErrorInCompressedData;  // "Error in compressed data"
extern const char* const kInvalidHuffmanCode;     // "Invalid Huffman code"

// Bits least significant first. Written bits are collected and passed to Next in
// pieces; FlushBits pads the last partial byte with zeros and passes everything.
class TBitStream : public TFilterStream {
public:
    explicit TBitStream(TBaseStream* next);
    ~TBitStream() override;
    const char* ClassName() const override { return "TBitStream"; }

    // count 1..32; below 1 nothing happens, above 32 raises EAssertionFailed.
    void WriteBits(uint32_t value, int count) {
        if (count < 1) return;
        if (count > 32) BadBitCount();
        acc_ |= static_cast<uint64_t>(value & (0xFFFFFFFFu >> (32 - count))) << bitCount_;
        bitCount_ += count;
        if (bitCount_ >= 32) Spill32();
    }
    void AlignToByte();                                 // pads with zero bits
    void WriteAlignedBytes(const void* data, size_t count);  // after AlignToByte
    void PushBytes();                                   // complete bytes to Next
    void FlushBits();                                   // pads and pushes everything

    // Reading straight from Next, a byte at a time (for small headers); raises
    // "Read less than expected" at the end of Next.
    uint32_t ReadBits(int count);
    bool ReadBit() { return ReadBits(1) != 0; }

private:
    [[noreturn]] static void BadBitCount();
    void Spill32();
    void SendOut();
    uint64_t acc_ = 0;
    int bitCount_ = 0;
    std::vector<uint8_t> out_;
    size_t outCount_ = 0;
    uint32_t inAcc_ = 0;
    int inCount_ = 0;
};

class DeflateEncoder;
class Inflater;

class TDeflateStream : public TBitStream {
public:
    enum : int { kDynamic = 0, kFixed = 1, kStored = 2 };
    // mode -1: whichever Next allows (writing first), 1 compress, 0 inflate.
    explicit TDeflateStream(TBaseStream* next, int mode = -1, int method = kDynamic);
    ~TDeflateStream() override;
    const char* ClassName() const override { return "TDeflateStream"; }

    int Method = kDynamic;
    // Inflater: take the input in 32 KB pieces (see above).
    bool ReadAhead = false;

    size_t Write(const void* buffer, size_t count) override;
    size_t Read(void* buffer, size_t count) override;
    int64_t Available() override;
    void Flush() override;
    void Finish();
    // Inflater: true once the final block has been decoded and every byte read.
    bool AtEnd() const;
    // Inflater, once every byte has been read: the input bytes behind the deflate
    // data, first those already taken, then from Next. Raises "Deflate data not at
    // its end" when more output follows. Returns the count moved.
    size_t ReadUnusedInput(void* buffer, size_t count);

private:
    std::unique_ptr<DeflateEncoder> encoder_;
    std::unique_ptr<Inflater> inflater_;
    bool finished_ = false;
};

// Passes bytes through to Next and keeps the CRC-32 of the bytes actually moved.
class TCRC32Stream : public TFilterStream {
public:
    explicit TCRC32Stream(TBaseStream* next) : TFilterStream(next) {}
    const char* ClassName() const override { return "TCRC32Stream"; }
    size_t Write(const void* buffer, size_t count) override;
    size_t Read(void* buffer, size_t count) override;
    void Reset() { CRC = 0xFFFFFFFFu; }
    uint32_t Value() const { return ~CRC; }
    uint32_t CRC = 0xFFFFFFFFu;  // running value
};

}  // namespace imagefile
