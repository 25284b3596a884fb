#include "imagefile/Deflate.h"

#include <algorithm>
#include <cstring>

#include "imagefile/checksums.h"
#include "imagefile/deflate_encoder.h"
#include "imagefile/inflate.h"

namespace imagefile {

const char* const kErrorInCompressedData = "Error in compressed data";
const char* const kInvalidHuffmanCode = "Invalid Huffman code";

namespace {
constexpr size_t kOutPiece = 16384;
}

// ---- TBitStream ----

TBitStream::TBitStream(TBaseStream* next) : TFilterStream(next) {
    if (next->CanWrite) out_.resize(kOutPiece + 8);
}

TBitStream::~TBitStream() = default;

void TBitStream::BadBitCount() { throw EAssertionFailed("Assertion failed (BitStream): more than 32 bits"); }

void TBitStream::Spill32() {
    if (outCount_ + 4 > kOutPiece) SendOut();
    const uint32_t v = static_cast<uint32_t>(acc_);
    out_[outCount_] = static_cast<uint8_t>(v);
    out_[outCount_ + 1] = static_cast<uint8_t>(v >> 8);
    out_[outCount_ + 2] = static_cast<uint8_t>(v >> 16);
    out_[outCount_ + 3] = static_cast<uint8_t>(v >> 24);
    outCount_ += 4;
    acc_ >>= 32;
    bitCount_ -= 32;
}

void TBitStream::AlignToByte() {
    if (bitCount_ & 7) WriteBits(0, 8 - (bitCount_ & 7));
}

void TBitStream::PushBytes() {
    while (bitCount_ >= 8) {
        if (outCount_ == kOutPiece) SendOut();
        out_[outCount_++] = static_cast<uint8_t>(acc_);
        acc_ >>= 8;
        bitCount_ -= 8;
    }
    SendOut();
}

void TBitStream::SendOut() {
    if (outCount_ == 0) return;
    const size_t n = outCount_;
    outCount_ = 0;
    const size_t written = Next->Write(out_.data(), n);
    CheckCount(written, n);
}

void TBitStream::WriteAlignedBytes(const void* data, size_t count) {
    PushBytes();
    if (count == 0) return;
    const size_t written = Next->Write(data, count);
    CheckCount(written, count);
}

void TBitStream::FlushBits() {
    AlignToByte();
    PushBytes();
}

uint32_t TBitStream::ReadBits(int count) {
    if (count < 1) return 0;
    if (count > 32) BadBitCount();
    uint64_t v = 0;
    for (int got = 0; got < count;) {
        if (inCount_ == 0) {
            uint8_t b;
            if (Next->Read(&b, 1) != 1) throw EInOutError(kReadLessThanExpected);
            inAcc_ = b;
            inCount_ = 8;
        }
        const int take = std::min(inCount_, count - got);
        v |= static_cast<uint64_t>(inAcc_ & ((1u << take) - 1)) << got;
        inAcc_ >>= take;
        inCount_ -= take;
        got += take;
    }
    return static_cast<uint32_t>(v);
}

// ---- TDeflateStream ----

TDeflateStream::TDeflateStream(TBaseStream* next, int mode, int method) : TBitStream(next), Method(method) {
    if (next->CanWrite && (mode == -1 || mode == 1)) {
        CanWrite = true;
        CanRead = false;
    } else if (next->CanRead && (mode == -1 || mode == 0)) {
        CanRead = true;
        CanWrite = false;
        inflater_ = std::make_unique<Inflater>(*next);
    } else {
        throw EAssertionFailed("Assertion failed (Deflate): stream cannot be opened in this mode");
    }
}

TDeflateStream::~TDeflateStream() {
    try {
        Finish();
    } catch (...) {
    }
}

size_t TDeflateStream::Write(const void* buffer, size_t count) {
    if (!CanWrite) throw EStreamError("Stream not open for write");
    if (finished_) throw EStreamError("Stream not open for write");
    if (!encoder_) encoder_ = std::make_unique<DeflateEncoder>(*this, Method);
    encoder_->Write(static_cast<const uint8_t*>(buffer), count);
    return count;
}

size_t TDeflateStream::Read(void* buffer, size_t count) {
    if (!inflater_) throw EStreamError("Stream not open for read");
    inflater_->SetReadAhead(ReadAhead);
    const size_t n = inflater_->Read(static_cast<uint8_t*>(buffer), count);
    CheckCount(n, count);
    return n;
}

int64_t TDeflateStream::Available() {
    if (inflater_) return static_cast<int64_t>(inflater_->Buffered()) + (inflater_->Ended() ? 0 : Next->Available());
    return (encoder_ ? encoder_->Pending() : 0) + Next->Available();
}

void TDeflateStream::Flush() {
    if (!CanWrite || finished_) return;
    if (!encoder_) encoder_ = std::make_unique<DeflateEncoder>(*this, Method);
    encoder_->Flush(false);
    PushBytes();
    Next->Flush();
}

void TDeflateStream::Finish() {
    if (!CanWrite || finished_) return;
    finished_ = true;
    if (!encoder_) encoder_ = std::make_unique<DeflateEncoder>(*this, Method);
    encoder_->Flush(true);
    FlushBits();
    encoder_.reset();  // the 17 MB index is not needed any more
}

bool TDeflateStream::AtEnd() const { return inflater_ && inflater_->AtEnd(); }

size_t TDeflateStream::ReadUnusedInput(void* buffer, size_t count) {
    if (!inflater_) throw EStreamError("Stream not open for read");
    // The last Read may have stopped before the end-of-block code.
    inflater_->SetReadAhead(ReadAhead);
    if (!inflater_->DecodeToEnd()) throw EStreamError("Deflate data not at its end");
    const size_t n = inflater_->ReadUnused(static_cast<uint8_t*>(buffer), count);
    CheckCount(n, count);
    return n;
}

// ---- TCRC32Stream ----

size_t TCRC32Stream::Write(const void* buffer, size_t count) {
    const size_t n = Next->Write(buffer, count);
    CRC = UpdateCRC32(CRC, buffer, n);
    return n;
}

size_t TCRC32Stream::Read(void* buffer, size_t count) {
    const size_t n = Next->Read(buffer, count);
    CRC = UpdateCRC32(CRC, buffer, n);
    return n;
}

}  // namespace imagefile
