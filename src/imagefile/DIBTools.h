#pragma once
// Reading Windows bitmap files into a TUniDIB, and the bitmap reader behind the
// BMP loader.
//
// LoadDIB takes: the Windows 1.x/2.x device-dependent form (first word 0, pixel
// data from byte 10, rows of the header's bytes per row rounded up to 4, built-in
// colours), and "BM" files with 12-, 40-, 64- (OS/2 2.x), 108- and 124-byte
// headers; 1, 4, 8, 16, 24 and 32 bits; compression 0, RLE8 (8 bits only), RLE4 (4
// bits only) and bit fields (16 and 32 bits of the Windows headers). Rows are
// bottom-up unless the height is negative; the DIB it makes is always top-down.
//
// Hostile input: the colour count is min(header value or 2^bits, 2^bits, 256);
// colour-table entries at or past the data offset read as 0; RLE runs, literals
// and moves are clipped at the row and bitmap ends and decoding stops there, the
// rows so far kept (pixels never written are index 0); the picture size is checked
// against kMaxBitmapBytes ("Invalid bitmap size") before any allocation, and
// uncompressed data running past the end of the stream is an unsupported file.
#include <cstdint>
#include <memory>
#include <vector>

#include "imagefile/Streams.h"
#include "imagefile/UniDIB.h"

namespace imagefile {

// A read buffer over a stream. The buffer holds at least 65,536 bytes and grows
// when a caller asks for more at once. Reading past the end is not an error: the
// calls report how much they got. The stream's ExactIO is off while this lives.
class TBufferedFile {
public:
    explicit TBufferedFile(TBaseStream& stream);
    ~TBufferedFile();
    TBufferedFile(const TBufferedFile&) = delete;
    TBufferedFile& operator=(const TBufferedFile&) = delete;

    // Buffers up to n bytes from the position; returns how many are there (n, or
    // fewer at the end of the stream).
    size_t Ensure(size_t n);
    // The buffered bytes from the position (valid until the next call).
    const uint8_t* Data() const { return buffer_.data() + pos_; }
    // The next byte, or -1 at the end.
    int ReadByte() {
        if (pos_ < len_ || Ensure(1)) return buffer_[pos_++];
        return -1;
    }
    // False when the stream ends first.
    bool Skip(int64_t n);
    // Reads n bytes into dest; returns the count read.
    size_t ReadRow(uint8_t* dest, size_t n);
    // Bytes taken from the position at creation.
    int64_t Position() const { return streamPos_ - static_cast<int64_t>(len_ - pos_); }

private:
    TBaseStream& stream_;
    bool exactIO_;
    std::vector<uint8_t> buffer_;
    size_t pos_ = 0, len_ = 0;
    int64_t streamPos_ = 0;  // bytes read from the stream so far
    bool ended_ = false;
};

// What LoadDIB read besides the pixels.
struct TDIBFileInfo {
    int HeaderSize = 0;    // 0 for the Windows 1.x/2.x form
    int ColorCount = 0;    // colour-table entries taken (up to 8 bits)
    uint32_t Masks[3] = {};  // red, green, blue masks of 16- and 32-bit pixels
};

// 0 on success, 5 for an unsupported file. Reads from the stream's position;
// `dib` is replaced (also on failure, by nothing). Pictures above maxPictureBytes
// (as 8 or 24 bits) raise "Invalid bitmap size".
int LoadDIB(TBaseStream& stream, std::unique_ptr<TUniDIB>& dib, TDIBFileInfo* info = nullptr,
            int64_t maxPictureBytes = kMaxBitmapBytes);

// The picture of a DIB: with `keepPalette` and up to 8 bits an 8-bit picture with
// the DIB's colour table (entries past it black), otherwise 24 bit. 16- and 32-bit
// pixels go through `masks` (the 5-5-5 or 8-8-8 defaults when all are zero), each
// channel scaled as round(v x 255 / max).
void DIBToLinearBitmap(const TUniDIB& dib, const uint32_t masks[3], bool keepPalette, TLinearBitmap& bitmap);

// One row of a DIB at a time as B,G,R, by the same rule, for a reader that copies
// rows straight to their place.
class TDIBRows {
public:
    TDIBRows(const TUniDIB& dib, const uint32_t masks[3]);
    // Row y (top row 0) into Width x 3 bytes at `bgr`.
    void Row(int y, uint8_t* bgr) const;
    // Row y of a DIB of up to 8 bits as Width palette indices.
    void Indices(int y, uint8_t* index) const;

private:
    const TUniDIB& dib_;
    uint32_t masks_[3];
};

// The bitmap reader: LoadDIB, then the picture by the bitmap rule (files of up to
// 8 bits with a 12-, 40-, 108- or 124-byte header keep their palette as an 8-bit
// picture; everything else becomes 24 bit). No DIB of the whole picture is made:
// run-length files decode straight into the picture (TIndexedPicture) and
// uncompressed rows are converted one by one as they are read, so the peak memory
// is the picture alone. Raises EUnsupportedFileFormat "Unsupported file format"
// where LoadDIB would give 5.
class TFallbackBitmap {
public:
    void LoadFromStream(TBaseStream& stream);
    TLinearBitmap Picture;
    int64_t MaxPictureBytes = kMaxBitmapBytes;  // lowered for fuzzing
};

}  // namespace imagefile
