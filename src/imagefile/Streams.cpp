#include "imagefile/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace imagefile {

const char* const kReadLessThanExpected = "Read less than expected";

namespace {
constexpr size_t kCopyPiece = 4096;
constexpr int kDefaultBuffer = 65536;

std::string SysText() { return std::strerror(errno); }
[[noreturn]] void RaiseIo(const std::string& message) { throw EInOutError(message); }
}  // namespace

// ---- TBaseStream ----

void TBaseStream::CheckCount(size_t done, size_t wanted) const {
    if (ExactIO && done < wanted) throw EInOutError(kReadLessThanExpected);
}

void TBaseStream::CopyFrom(TBaseStream& source) {
    const bool old = source.ExactIO;
    source.SetExactIO(false);
    try {
        uint8_t piece[kCopyPiece];
        while (!source.Eof()) {
            size_t n = source.Read(piece, sizeof piece);
            if (n == 0) break;
            Write(piece, n);
        }
    } catch (...) {
        source.SetExactIO(old);
        throw;
    }
    source.SetExactIO(old);
}

// ---- TFilterStream ----

TFilterStream::TFilterStream(TBaseStream* next) : Next(next) {
    if (!next) throw EStreamCreate("No stream to filter");
    CanRead = next->CanRead;
    CanWrite = next->CanWrite;
}

void TFilterStream::SetExactIO(bool value) {
    ExactIO = value;
    Next->SetExactIO(value);
}

void FreeChain(TBaseStream* stream) {
    while (stream) {
        auto* filter = dynamic_cast<TFilterStream*>(stream);
        TBaseStream* next = filter ? filter->Next : nullptr;
        delete stream;
        stream = next;
    }
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, int mode) : fileName_(fileName) {
    const bool read = mode & fmRead, write = mode & fmWrite;
    if (!read && !write)
        throw EStreamCreate("Either read, write or full access must be specified in call to CreateFile");
    int flags = read && write ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
    if (mode & fmCreate) flags |= O_CREAT | O_TRUNC;
    // Without O_NONBLOCK, opening a FIFO waits for a peer that may never come.
    flags |= O_CLOEXEC | O_NONBLOCK;
    handle_ = ::open(fileName.c_str(), flags, 0666);
    if (handle_ < 0) RaiseIo("Error opening \"" + fileName + "\" - " + SysText());
    struct stat st {};
    if (::fstat(handle_, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(handle_, F_SETFL, ::fcntl(handle_, F_GETFL) & ~O_NONBLOCK) != 0) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(handle_);
        handle_ = -1;
        if (folder) errno = EISDIR;
        RaiseIo("Error opening \"" + fileName + "\" - " + (folder ? SysText() : std::string("Not a regular file")));
    }
    CanRead = read;
    CanWrite = write;
}

std::unique_ptr<TFileStream> TFileStream::CreateFromHandle(int handle) {
    std::unique_ptr<TFileStream> s(new TFileStream());
    s->handle_ = handle;
    s->CanRead = s->CanWrite = true;
    return s;
}

TFileStream::~TFileStream() {
    if (handle_ >= 0) ::close(handle_);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(handle_, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseIo("Error writing to stream - " + SysText());
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    CheckCount(done, count);
    return done;
}

size_t TFileStream::Read(void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(handle_, p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseIo("Error reading from stream - " + SysText());
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    CheckCount(done, count);
    return done;
}

int64_t TFileStream::GetPosition() {
    off_t p = ::lseek(handle_, 0, SEEK_CUR);
    if (p < 0) RaiseIo("IO-error: " + SysText());
    return p;
}

int64_t TFileStream::GetSize() {
    struct stat st {};
    if (::fstat(handle_, &st) != 0) RaiseIo("IO-error: " + SysText());
    return st.st_size;
}

void TFileStream::Seek(int64_t position) {
    if (::lseek(handle_, position, SEEK_SET) < 0) RaiseIo("Error moving file pointer - " + SysText());
}

void TFileStream::Truncate() {
    int64_t pos = GetPosition();
    if (::ftruncate(handle_, pos) != 0) RaiseIo("Error truncating file \"" + fileName_ + "\" - " + SysText());
}

void TFileStream::Flush() {
    if (CanWrite && ::fsync(handle_) != 0 && errno != EINVAL && errno != EROFS)
        RaiseIo("Error writing to stream - " + SysText());
}

void TFileStream::CloseAndDelete() {
    if (handle_ >= 0) {
        int h = handle_;
        handle_ = -1;
        if (::close(h) != 0) RaiseIo("Error closing \"" + fileName_ + "\" - " + SysText());
    }
    if (::unlink(fileName_.c_str()) != 0) RaiseIo("Error deleting \"" + fileName_ + "\" - " + SysText());
}

// ---- TBufferedStream ----

TBufferedStream::TBufferedStream(TBaseStream* next, int readBufferSize, int writeBufferSize)
    : TFilterStream(next) {
    if (readBufferSize == 1 || writeBufferSize == 1) throw EStreamCreate("Invalid buffer size");
    if (readBufferSize < 0) readBufferSize = kDefaultBuffer;
    if (writeBufferSize < 0) writeBufferSize = kDefaultBuffer;
    if (next->CanRead && readBufferSize > 0) readBuf_.resize(static_cast<size_t>(readBufferSize));
    if (next->CanWrite && writeBufferSize > 0) writeBuf_.resize(static_cast<size_t>(writeBufferSize));
    ExactIO = next->ExactIO;
    next->SetExactIO(false);
}

TBufferedStream::~TBufferedStream() {
    try {
        Flush();
    } catch (...) {
    }
}

bool TBufferedStream::Refill() {
    readPos_ = 0;
    readEnd_ = Next->Read(readBuf_.data(), readBuf_.size());
    return readEnd_ > 0;
}

size_t TBufferedStream::Read(void* buffer, size_t count) {
    if (readBuf_.empty()) {
        size_t n = Next->Read(buffer, count);
        CheckCount(n, count);
        return n;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    size_t have = readEnd_ - readPos_;
    if (count <= have) {
        std::memcpy(out, readBuf_.data() + readPos_, count);
        readPos_ += count;
        return count;
    }
    std::memcpy(out, readBuf_.data() + readPos_, have);
    readPos_ = readEnd_ = 0;
    size_t done = have, rest = count - have;
    if (rest >= readBuf_.size()) {
        done += Next->Read(out + done, rest);
    } else if (Refill()) {
        size_t n = std::min(rest, readEnd_);
        std::memcpy(out + done, readBuf_.data(), n);
        readPos_ = n;
        done += n;
    }
    CheckCount(done, count);
    return done;
}

size_t TBufferedStream::Write(const void* buffer, size_t count) {
    if (writeBuf_.empty()) {
        size_t n = Next->Write(buffer, count);
        CheckCount(n, count);
        return n;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t room = writeBuf_.size() - writeCount_;
    if (count <= room) {
        std::memcpy(writeBuf_.data() + writeCount_, in, count);
        writeCount_ += count;
        return count;
    }
    std::memcpy(writeBuf_.data() + writeCount_, in, room);
    const size_t before = writeCount_;
    size_t n = Next->Write(writeBuf_.data(), writeBuf_.size());
    writeCount_ = 0;
    if (n < writeBuf_.size()) {
        CheckCount(n, writeBuf_.size());
        return n > before ? n - before : 0;  // the caller's bytes that got through
    }
    size_t rest = count - room;
    if (rest < writeBuf_.size()) {
        std::memcpy(writeBuf_.data(), in + room, rest);
        writeCount_ = rest;
        return count;
    }
    size_t m = Next->Write(in + room, rest);
    CheckCount(m, rest);
    return room + m;
}

void TBufferedStream::Flush() {
    if (writeCount_ > 0) {
        size_t want = writeCount_;
        writeCount_ = 0;
        size_t n = Next->Write(writeBuf_.data(), want);
        CheckCount(n, want);
    }
    if (CanWrite) Next->Flush();
}

int64_t TBufferedStream::Available() { return static_cast<int64_t>(readEnd_ - readPos_) + Next->Available(); }

// ---- TMemStream ----

TMemStream::TMemStream() { CanRead = CanWrite = true; }

void TMemStream::Clear() {
    blocks_.clear();
    current_ = offset_ = 0;
    size_ = position_ = 0;
}

size_t TMemStream::Write(const void* buffer, size_t count) {
    const auto* in = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        if (current_ < blocks_.size() && offset_ == blocks_[current_].size) {
            ++current_;
            offset_ = 0;
        }
        if (current_ == blocks_.size()) {
            size_t n = std::max<size_t>(kCopyPiece, count - done);
            blocks_.push_back({std::unique_ptr<uint8_t[]>(new uint8_t[n]), n});
            offset_ = 0;
        }
        Block& b = blocks_[current_];
        size_t n = std::min(b.size - offset_, count - done);
        std::memcpy(b.data.get() + offset_, in + done, n);
        offset_ += n;
        done += n;
    }
    position_ += static_cast<int64_t>(count);
    size_ = std::max(size_, position_);
    return count;
}

size_t TMemStream::Read(void* buffer, size_t count) {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size_ - position_));
    size_t done = 0;
    while (done < want) {
        if (offset_ == blocks_[current_].size) {
            ++current_;
            offset_ = 0;
        }
        Block& b = blocks_[current_];
        size_t n = std::min(b.size - offset_, want - done);
        std::memcpy(out + done, b.data.get() + offset_, n);
        offset_ += n;
        done += n;
    }
    position_ += static_cast<int64_t>(done);
    if (ExactIO && done < count) RaiseIo(std::string("Error reading from stream - ") + ClassName());
    return done;
}

void TMemStream::Seek(int64_t position) {
    if (position < 0 || position > size_) throw EStreamError("Error moving stream pointer");
    if (position < position_) {
        current_ = offset_ = 0;
        position_ = 0;
    }
    int64_t rest = position - position_;
    while (rest > 0) {
        if (current_ >= blocks_.size()) throw EStreamError("Error in MemStream.Seek");
        size_t n = static_cast<size_t>(std::min<int64_t>(rest, static_cast<int64_t>(blocks_[current_].size - offset_)));
        offset_ += n;
        rest -= static_cast<int64_t>(n);
        if (rest > 0) {
            if (current_ + 1 >= blocks_.size()) throw EStreamError("Error in MemStream.Seek 2");
            ++current_;
            offset_ = 0;
        }
    }
    position_ = position;
}

void TMemStream::Truncate() {
    size_ = position_;
    // Keep the block holding the position; later ones go.
    if (!blocks_.empty()) blocks_.resize(std::min(blocks_.size(), current_ + 1));
    if (size_ == 0) Clear();
}

std::string TMemStream::ToString() const {
    std::string out;
    out.reserve(static_cast<size_t>(size_));
    size_t left = static_cast<size_t>(size_);
    for (const Block& b : blocks_) {
        size_t n = std::min(left, b.size);
        out.append(reinterpret_cast<const char*>(b.data.get()), n);
        left -= n;
    }
    return out;
}

// ---- TTextStream ----

TTextStream::TTextStream(TBaseStream* next, int readBufferSize, int writeBufferSize)
    : TBufferedStream(next, readBufferSize, writeBufferSize) {}

void TTextStream::Write(const std::string& text) { TBufferedStream::Write(text.data(), text.size()); }

void TTextStream::WriteLine(const std::string& text) {
    TBufferedStream::Write(text.data(), text.size());
    TBufferedStream::Write("\r\n", 2);
    ++LineCount;
}

size_t TTextStream::ReadLine(std::string& text) {
    if (readBuf_.empty()) throw EStreamError("Cannot read from stream");
    text.clear();
    bool any = false;  // a character or a line end was consumed
    for (;;) {
        if (readPos_ == readEnd_ && !Refill()) break;
        const uint8_t* buf = readBuf_.data();
        if (skipSecond_) {
            skipSecond_ = false;
            if (buf[readPos_] == secondEnd_) {
                ++readPos_;
                continue;
            }
        }
        size_t start = readPos_;
        size_t i = start;
        if (lineEnd_ < 0) {
            while (i < readEnd_ && buf[i] != '\n' && buf[i] != '\r') ++i;
            if (i < readEnd_) {
                lineEnd_ = buf[i];
                secondEnd_ = lineEnd_ == '\r' ? '\n' : '\r';
            }
        } else {
            const void* hit = std::memchr(buf + i, lineEnd_, readEnd_ - i);
            i = hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - buf) : readEnd_;
        }
        text.append(reinterpret_cast<const char*>(buf + start), i - start);
        any = any || i > start;
        readPos_ = i;
        if (i < readEnd_) {
            ++readPos_;
            skipSecond_ = true;
            ++LineCount;
            return text.size();
        }
    }
    if (!any) RaiseIo(std::string("Error reading from stream - ") + kReadLessThanExpected);
    ++LineCount;
    return text.size();
}

// ---- TAssignObject, TStreamClass ----

void TAssignObject::Assign(const TAssignObject& source) { source.AssignTo(*this); }

void TAssignObject::AssignTo(TAssignObject& dest) const {
    throw EImageFileError(std::string("Cannot assign ") + ClassName() + " to " + dest.ClassName());
}

void TStreamClass::SaveToStream(TBaseStream&) const {
    throw EImageFileError(std::string(ClassName()) + ".SaveToStream not implemented");
}

void TStreamClass::LoadFromStream(TBaseStream&) {
    throw EImageFileError(std::string(ClassName()) + ".LoadFromStream not implemented");
}

void TStreamClass::SaveToFile(const std::string& fileName) const {
    TMemStream mem;
    SaveToStream(mem);
    std::string error;
    if (!fileio::WriteFileAtomic(fileName, mem.ToString(), error))
        RaiseIo("Error opening \"" + fileName + "\" - " + error);
}

void TStreamClass::LoadFromFile(const std::string& fileName) {
    std::unique_ptr<TBaseStream, void (*)(TBaseStream*)> s(OpenBufferedFile(fileName, false), FreeChain);
    LoadFromStream(*s);
}

// ---- routines ----

int64_t CopyStream(TBaseStream& source, TBaseStream* dest, int64_t maxCount) {
    // The last piece is usually short, so the source's ExactIO is off meanwhile.
    const bool old = source.ExactIO;
    source.SetExactIO(false);
    uint8_t piece[kCopyPiece];
    int64_t total = 0;
    try {
        while (total < maxCount && !source.Eof()) {
            size_t want = static_cast<size_t>(std::min<int64_t>(kCopyPiece, maxCount - total));
            size_t n = source.Read(piece, want);
            if (n == 0) break;
            if (dest) dest->Write(piece, n);
            total += static_cast<int64_t>(n);
        }
    } catch (...) {
        source.SetExactIO(old);
        throw;
    }
    source.SetExactIO(old);
    return total;
}

TBufferedStream* OpenBufferedFile(const std::string& fileName, bool forWriting) {
    auto file = forWriting ? new TFileStream(fileName, 15) : new TFileStream(fileName, 9);
    try {
        return forWriting ? new TBufferedStream(file, 0, kDefaultBuffer) : new TBufferedStream(file, kDefaultBuffer, 0);
    } catch (...) {
        delete file;
        throw;
    }
}

int IndexOfByte(uint8_t value, int from, int to, const void* buffer) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (int i = from; i <= to; ++i)
        if (p[i] == value) return i;
    return -1;
}

}  // namespace imagefile
