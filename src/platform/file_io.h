#pragma once
// Whole-file reading with a size cap, atomic writing (temporary file renamed over
// the target, so a failed write never destroys the old file), line splitting with
// every line-end convention, and path helpers with the class library's semantics.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fileio {

constexpr size_t kDefaultReadLimit = size_t{1} << 30;

// Readers open nothing but regular files (a FIFO is refused at once, without
// waiting for a writer) and turn running out of memory into their error.

// The same open without reading, for readers that open files by name through
// another library (FFmpeg, the image streams): true when `path` is a regular file
// that opens for reading. Otherwise `error` as ReadFile's, and `openErrno` gets
// the open's errno, or 0 when the file opened but is not a regular file.
bool CheckRegularFile(const std::string& path, std::string& error, int* openErrno = nullptr);

// Reads the whole file. On failure returns false and a short English error.
bool ReadFile(const std::string& path, std::string& out, std::string& error, size_t maxBytes = kDefaultReadLimit);

// Reads the whole file as lines (split as SplitLines does) without holding the
// whole text in memory at once. A file with far more lines than its size allows
// for real text (above 65,536 lines, more than one per 8 bytes) is refused before
// its lines cost more than about four times its size. On failure returns false
// and a short English error.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& error,
               size_t maxBytes = kDefaultReadLimit);

// The file a save to `path` replaces: a symbolic link (a chain of them) is followed
// to its target, also when that target does not exist yet.
// False with "Read-only file: ..." when that file exists without write permission
// (in its mode bits, so also for root), or "Not a regular file: ..." for a folder,
// FIFO or device.
bool ResolveSaveTarget(const std::string& path, std::string& target, std::string& error);

// The one routine every file the program writes goes through. Writes `data` to a
// temporary file beside the target (ResolveSaveTarget, checks included), flushes
// it and renames it over the target, keeping the replaced file's mode. On failure
// the temporary file is removed and the target is untouched.
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string& error);

// A file written piece by piece and put in place only when complete, as
// WriteFileAtomic puts a whole buffer: the pieces go to a temporary file beside the
// target, Commit flushes it and renames it over the target; a writer destroyed or
// abandoned before Commit removes its temporary file and leaves the target as it
// was. Every failure gives a short English error and abandons the file.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter() { Abandon(); }
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return fd_ >= 0; }
    // Appends at the end of what was written.
    bool Write(const void* data, size_t n, std::string& error);
    // Writes over bytes already written (a header filled in at the end).
    bool WriteAt(uint64_t offset, const void* data, size_t n, std::string& error);
    // Cuts what was written to `size` bytes.
    bool Truncate(uint64_t size, std::string& error);
    uint64_t Size() const { return size_; }
    bool Commit(std::string& error);
    void Abandon();

private:
    bool Fail(std::string& error);
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string path_, target_, temp_;
};

// Splits text into lines at CR LF, LF or CR. A final line end does not start an
// empty line; text without a final line end keeps its last line.
std::vector<std::string> SplitLines(std::string_view text);
// True when the first line of a file read as single-byte text is two-byte text: a
// UTF-16 byte-order mark, or the zero bytes of ASCII written as UTF-16.
bool IsTwoByteText(std::string_view firstLine);

// Each line followed by `eol` (CR LF by default), as a list of lines is saved.
std::string JoinLines(const std::vector<std::string>& lines, std::string_view eol = "\r\n");

bool FileExists(const std::string& path);
bool DeleteFile(const std::string& path);

// "/a/b/c.avi" -> "c.avi"
std::string ExtractFileName(const std::string& path);
// "/a/b/c.avi" -> "/a/b/" (with the trailing separator; empty without a folder)
std::string ExtractFilePath(const std::string& path);
// "/a/b/c.avi" -> "/a/b" (without the trailing separator)
std::string ExtractFileDir(const std::string& path);
// "/a/b/c.avi" -> ".avi" (empty without an extension)
std::string ExtractFileExt(const std::string& path);
// ChangeFileExt("/a/c.avi", ".avs") -> "/a/c.avs"; appends when there is no extension.
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Folder of the running executable, with a trailing separator.
std::string ExecutableFolder();
// Full path of the running executable.
std::string ExecutablePath();

}  // namespace fileio
