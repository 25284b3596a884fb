#pragma once
// The image file library's own streams. Loaders read and write through these,
// not through Qt; NativeStream.h joins them to QIODevice in both directions.
//
// Contracts shared by every stream here:
// - `ExactIO` (on after creation): a Read or Write that moves fewer bytes than
//   asked raises EInOutError "Read less than expected". With it off, Read returns
//   the shorter count and the caller looks at it.
// - Filter streams do not own the stream behind them; FreeChain deletes a stream
//   and every filter stream behind it, front first (so buffers flush inward).
// - No stream is thread-safe; one thread uses a stream chain at a time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace imagefile {

// Every error the library raises derives from this.
class EImageFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EStreamError : public EImageFileError {
public:
    using EImageFileError::EImageFileError;
};
// Input-output failures: system errors and short reads or writes.
class EInOutError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EStreamCreate : public EStreamError {
public:
    using EStreamError::EStreamError;
};
// Internal consistency checks that the original design reports as assertions.
class EAssertionFailed : public EImageFileError {
public:
    using EImageFileError::EImageFileError;
};

extern const char* const kReadLessThanExpected;  // "Read less than expected"

class TBaseStream {
public:
    virtual ~TBaseStream() = default;
    TBaseStream(const TBaseStream&) = delete;
    TBaseStream& operator=(const TBaseStream&) = delete;

    bool CanWrite = false;
    bool CanRead = false;
    bool ExactIO = true;

    virtual const char* ClassName() const { return "TBaseStream"; }
    virtual void SetExactIO(bool value) { ExactIO = value; }
    // Returns the count written or read; see ExactIO above.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    virtual size_t Read(void* buffer, size_t count) = 0;
    // (EOF in the original naming; EOF is a C macro.)
    virtual bool Eof() { return Available() <= 0; }
    // Bytes that can still be read (an estimate for filter streams).
    virtual int64_t Available() = 0;
    virtual void Flush() {}
    // Copies the whole of `source` in pieces of 4,096 bytes until it reports its
    // end; `source`'s ExactIO is off meanwhile and restored afterwards.
    virtual void CopyFrom(TBaseStream& source);

protected:
    TBaseStream() = default;
    // Raises "Read less than expected" when ExactIO is on and done < wanted.
    void CheckCount(size_t done, size_t wanted) const;
};

class TFilterStream : public TBaseStream {
public:
    explicit TFilterStream(TBaseStream* next);
    const char* ClassName() const override { return "TFilterStream"; }
    void SetExactIO(bool value) override;
    size_t Write(const void* buffer, size_t count) override { return Next->Write(buffer, count); }
    size_t Read(void* buffer, size_t count) override { return Next->Read(buffer, count); }
    int64_t Available() override { return Next->Available(); }

    TBaseStream* Next;
};

// Deletes `stream` and every filter stream behind it, front first.
void FreeChain(TBaseStream* stream);

class TSeekableStream : public TBaseStream {
public:
    const char* ClassName() const override { return "TSeekableStream"; }
    virtual int64_t GetPosition() = 0;
    virtual int64_t GetSize() = 0;
    virtual void Seek(int64_t position) = 0;  // absolute
    virtual void Truncate() = 0;              // at the position
    int64_t Available() override { return GetSize() - GetPosition(); }
};

// A file through POSIX calls. Mode bits as below; the share bits are accepted
// and have no effect here. System failures raise EInOutError with strerror text.
class TFileStream : public TSeekableStream {
public:
    enum : int { fmRead = 1, fmWrite = 2, fmCreate = 4, fmShareRead = 8, fmShareWrite = 16 };
    TFileStream(const std::string& fileName, int mode);
    // Wraps an open descriptor (taken over: closed on destruction).
    static std::unique_ptr<TFileStream> CreateFromHandle(int handle);
    ~TFileStream() override;
    const char* ClassName() const override { return "TFileStream"; }

    size_t Write(const void* buffer, size_t count) override;
    size_t Read(void* buffer, size_t count) override;
    int64_t GetPosition() override;
    int64_t GetSize() override;
    void Seek(int64_t position) override;
    void Truncate() override;
    void Flush() override;
    // Closes and deletes the file; the caller still frees the object.
    void CloseAndDelete();
    int Handle() const { return handle_; }
    const std::string& FileName() const { return fileName_; }

private:
    TFileStream() = default;
    int handle_ = -1;
    std::string fileName_;
};

// Read and write buffers in front of another stream. Sizes: -1 means 65,536, 0 no
// buffer on that side, 1 is refused. A read buffer exists only when Next can read
// and a write buffer only when Next can write. Takes over Next's ExactIO.
class TBufferedStream : public TFilterStream {
public:
    TBufferedStream(TBaseStream* next, int readBufferSize = -1, int writeBufferSize = -1);
    ~TBufferedStream() override;  // flushes; errors there are swallowed, Flush first to see them
    const char* ClassName() const override { return "TBufferedStream"; }

    size_t Write(const void* buffer, size_t count) override;
    size_t Read(void* buffer, size_t count) override;
    int64_t Available() override;
    void Flush() override;
    void SetExactIO(bool value) override { ExactIO = value; }

    size_t ReadBufferSize() const { return readBuf_.size(); }
    size_t WriteBufferSize() const { return writeBuf_.size(); }

protected:
    // Refills the read buffer once; returns false when Next delivered nothing.
    bool Refill();
    std::vector<uint8_t> readBuf_;
    size_t readPos_ = 0, readEnd_ = 0;
    std::vector<uint8_t> writeBuf_;
    size_t writeCount_ = 0;
};

// Readable and writable memory as a chain of blocks; a new block holds
// max(4,096, bytes still to write).
class TMemStream : public TSeekableStream {
public:
    TMemStream();
    const char* ClassName() const override { return "TMemStream"; }
    size_t Write(const void* buffer, size_t count) override;
    size_t Read(void* buffer, size_t count) override;
    int64_t GetPosition() override { return position_; }
    int64_t GetSize() override { return size_; }
    void Seek(int64_t position) override;
    void Truncate() override;
    void Clear();
    // The whole content (for tests and callers that want one piece).
    std::string ToString() const;
    size_t BlockCount() const { return blocks_.size(); }
    size_t BlockSize(size_t i) const { return blocks_[i].size; }

private:
    struct Block {
        std::unique_ptr<uint8_t[]> data;
        size_t size;
    };
    std::vector<Block> blocks_;
    size_t current_ = 0;  // block index of the position
    size_t offset_ = 0;   // offset of the position in that block
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// Text lines over a buffered stream. Written lines end in CR LF. Reading decides
// the line end from the first CR or LF met: that one ends every line, and the other
// right after it is skipped.
class TTextStream : public TBufferedStream {
public:
    TTextStream(TBaseStream* next, int readBufferSize = -1, int writeBufferSize = -1);
    const char* ClassName() const override { return "TTextStream"; }
    using TBufferedStream::Write;
    void Write(const std::string& text);
    void WriteLine(const std::string& text);
    // Returns the line's length. Raises "Cannot read from stream" without a read
    // buffer and EInOutError "Error reading from stream - Read less than expected"
    // at the end of data when no character was read.
    size_t ReadLine(std::string& text);
    // Fixes the line ends instead of deciding them from the text; -1 for no
    // second character (SetLineEnds('\n', -1): every LF ends a line, CR is text).
    void SetLineEnds(int lineEnd, int secondEnd) {
        lineEnd_ = lineEnd;
        secondEnd_ = secondEnd;
    }
    int LineCount = 0;

private:
    int lineEnd_ = -1;     // -1 undetermined
    int secondEnd_ = -1;
    bool skipSecond_ = false;  // a line just ended; drop a directly following second character
};

class TAssignObject {
public:
    virtual ~TAssignObject() = default;
    virtual const char* ClassName() const { return "TAssignObject"; }
    // Base: the source's AssignTo(this), else "Cannot assign <source> to <this>".
    virtual void Assign(const TAssignObject& source);
    virtual void AssignTo(TAssignObject& dest) const;
};

class TStreamClass : public TAssignObject {
public:
    const char* ClassName() const override { return "TStreamClass"; }
    virtual void SaveToStream(TBaseStream& stream) const;
    virtual void LoadFromStream(TBaseStream& stream);
    // Saving goes through memory and an atomic replace, so a failed save never
    // leaves a half-written file.
    virtual void SaveToFile(const std::string& fileName) const;
    virtual void LoadFromFile(const std::string& fileName);
};

// Copies up to maxCount bytes in pieces of 4,096 until source's end (source's
// ExactIO off meanwhile); without a destination the bytes are skipped. Returns the
// count moved.
int64_t CopyStream(TBaseStream& source, TBaseStream* dest, int64_t maxCount);
// A TFileStream inside a TBufferedStream with a 65,536-byte buffer on the one side
// used. Free with FreeChain.
TBufferedStream* OpenBufferedFile(const std::string& fileName, bool forWriting);

// Index of `value` in buffer[from..to], or -1.
int IndexOfByte(uint8_t value, int from, int to, const void* buffer);
inline uint32_t SwapDWord(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
inline void SwapDWordInPlace(uint32_t& v) { v = SwapDWord(v); }
inline int EnsureRange(int value, int min, int max) { return value < min ? min : (value > max ? max : value); }
inline int Align4(int v) { return (v + 3) & ~3; }
inline int Align8(int v) { return (v + 7) & ~7; }

}  // namespace imagefile
