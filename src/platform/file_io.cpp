#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {
namespace {
std::string Errno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}
size_t LastSeparator(const std::string& path) { return path.find_last_of('/'); }

// ReadLines refuses a file with more lines than this plus one per kMinBytesPerLine
// bytes, which keeps the string headers within four times the file's size.
constexpr size_t kLinesAlwaysAllowed = 65536;
constexpr size_t kMinBytesPerLine = 8;

// Opens a regular file of at most maxBytes for reading; -1 with `error` otherwise.
int OpenForReading(const std::string& path, size_t maxBytes, std::string& error) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = Errno("Cannot open", path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "Not a regular file: " + path;
    } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = "File too large: " + path;
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = Errno("Cannot open", path);
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

// Reads the file in blocks, handing each to `take` until it returns false; the
// total is held to maxBytes (the file may grow after it was opened). Closes fd.
template <typename Take>
bool ReadBlocks(int fd, const std::string& path, size_t maxBytes, std::string& error, Take&& take) {
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    std::vector<char> buf(size_t{1} << 20);
    size_t total = 0;
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = Errno("Cannot read", path);
            return false;
        }
        if (n == 0) break;
        total += static_cast<size_t>(n);
        if (total > maxBytes) {
            error = "File too large: " + path;
            return false;
        }
        if (!take(buf.data(), buf.data() + n)) break;
    }
    return true;
}
}  // namespace

bool CheckRegularFile(const std::string& path, std::string& error, int* openErrno) {
    errno = 0;
    const int fd = OpenForReading(path, SIZE_MAX, error);
    if (openErrno) *openErrno = fd < 0 && error.rfind("Cannot open", 0) == 0 ? errno : 0;
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool ReadFile(const std::string& path, std::string& out, std::string& error, size_t maxBytes) {
    out.clear();
    const int fd = OpenForReading(path, maxBytes, error);
    if (fd < 0) return false;
    try {
        if (ReadBlocks(fd, path, maxBytes, error, [&](const char* p, const char* end) {
                out.append(p, end);
                return true;
            }))
            return true;
    } catch (const std::bad_alloc&) {
        error = "Out of memory reading " + path;
    }
    out = {};
    return false;
}

namespace {
// Splits text into lines; `carry` holds the unfinished last line between calls and
// `pendingCr` says that the previous piece ended with CR (so a leading LF belongs to it).
class LineSplitter {
public:
    LineSplitter(std::vector<std::string>& lines, size_t maxLines) : lines_(lines), maxLines_(maxLines) {}
    // False once the text holds more than maxLines lines.
    bool Feed(const char* p, const char* end) {
        if (pendingCr_ && p < end && *p == '\n') ++p;
        pendingCr_ = false;
        // The next CR of this piece is searched for once and remembered, so that
        // LF-only text is not searched to its end for every line.
        const char* cr = nullptr;
        while (p < end) {
            if (cr < p) {
                const void* c = std::memchr(p, '\r', static_cast<size_t>(end - p));
                cr = c ? static_cast<const char*>(c) : end;
            }
            const void* lf = std::memchr(p, '\n', static_cast<size_t>(cr - p));
            const char* e = lf ? static_cast<const char*>(lf) : cr;
            if (e == end) {
                carry_.append(p, static_cast<size_t>(end - p));
                return true;
            }
            if (lines_.size() >= maxLines_) return false;
            if (carry_.empty()) {
                lines_.emplace_back(p, static_cast<size_t>(e - p));
            } else {
                carry_.append(p, static_cast<size_t>(e - p));
                lines_.push_back(std::move(carry_));
                carry_.clear();
            }
            if (*e == '\r') {
                if (e + 1 == end) {
                    pendingCr_ = true;
                    return true;
                }
                p = e[1] == '\n' ? e + 2 : e + 1;
            } else {
                p = e + 1;
            }
        }
        return true;
    }
    bool Finish() {
        if (carry_.empty()) return true;
        if (lines_.size() >= maxLines_) return false;
        lines_.push_back(std::move(carry_));
        carry_.clear();
        return true;
    }

private:
    std::vector<std::string>& lines_;
    const size_t maxLines_;
    std::string carry_;
    bool pendingCr_ = false;
};
}  // namespace

bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& error, size_t maxBytes) {
    lines.clear();
    const int fd = OpenForReading(path, maxBytes, error);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) st.st_size = 0;
    // Each line costs a string header whatever its length; a file of line ends
    // alone would cost thirty-odd times its size.
    const size_t maxLines = kLinesAlwaysAllowed + static_cast<size_t>(st.st_size) / kMinBytesPerLine;
    bool tooMany = false;
    try {
        LineSplitter splitter(lines, maxLines);
        if (!ReadBlocks(fd, path, maxBytes, error, [&](const char* p, const char* end) {
                tooMany = !splitter.Feed(p, end);
                return !tooMany;
            })) {
            lines.clear();
            return false;
        }
        if (!tooMany && !splitter.Finish()) tooMany = true;
    } catch (const std::bad_alloc&) {
        lines = {};
        error = "Out of memory reading " + path;
        return false;
    }
    if (tooMany) {
        lines = {};
        error = "Too many lines for its size: " + path;
        return false;
    }
    return true;
}

bool ResolveSaveTarget(const std::string& path, std::string& target, std::string& error) {
    target = path;
    struct stat st {};
    // Replacing a link itself would leave the file it points to stale; a link whose
    // target does not exist yet is written through too, creating that file.
    std::filesystem::path at(path);
    for (int hops = 0; ::lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hops) {
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(at, ec);
        if (ec || hops == 40) {
            error = "Cannot resolve " + path + ": " + (ec ? ec.message() : std::string("Too many levels of symbolic links"));
            return false;
        }
        at = (next.is_absolute() ? next : at.parent_path() / next).lexically_normal();
    }
    target = at.string();
    if (::stat(target.c_str(), &st) != 0) return true;  // a new file
    if (!S_ISREG(st.st_mode)) {
        error = "Not a regular file: " + target;
        return false;
    }
    // The mode bits count even for root, who may write anything.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
        error = "Read-only file: " + target;
        return false;
    }
    return true;
}

bool AtomicFileWriter::Open(const std::string& path, std::string& error) {
    Abandon();
    if (!ResolveSaveTarget(path, target_, error)) return false;
    path_ = path;
    std::string tmpl = ExtractFilePath(target_) + "." + ExtractFileName(target_) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    fd_ = ::mkstemp(name.data());
    if (fd_ < 0) {
        error = Errno("Cannot write", path);
        return false;
    }
    temp_ = name.data();
    size_ = 0;
    return true;
}

bool AtomicFileWriter::Fail(std::string& error) {
    error = Errno("Cannot write", path_);
    Abandon();
    return false;
}

bool AtomicFileWriter::WriteAt(uint64_t offset, const void* data, size_t n, std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + path_ + ": not open";
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
        if (w < 0) {
            if (errno == EINTR) continue;
            return Fail(error);
        }
        p += w;
        n -= static_cast<size_t>(w);
        offset += static_cast<uint64_t>(w);
    }
    size_ = std::max(size_, offset);
    return true;
}

bool AtomicFileWriter::Write(const void* data, size_t n, std::string& error) { return WriteAt(size_, data, n, error); }

bool AtomicFileWriter::Truncate(uint64_t size, std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + path_ + ": not open";
        return false;
    }
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Fail(error);
    size_ = size;
    return true;
}

bool AtomicFileWriter::Commit(std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + path_ + ": not open";
        return false;
    }
    // Keep the permissions of a file being replaced; new files get the usual 0666 & ~umask.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        ::fchmod(fd_, st.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::fsync(fd) != 0) {
        error = Errno("Cannot write", path_);
        ::close(fd);
        ::unlink(temp_.c_str());
        return false;
    }
    if (::close(fd) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = Errno("Cannot write", path_);
        ::unlink(temp_.c_str());
        return false;
    }
    return true;
}

void AtomicFileWriter::Abandon() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temp_.c_str());
    fd_ = -1;
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string& error) {
    AtomicFileWriter file;
    return file.Open(path, error) && file.Write(data.data(), data.size(), error) && file.Commit(error);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    LineSplitter splitter(lines, SIZE_MAX);
    splitter.Feed(text.data(), text.data() + text.size());
    splitter.Finish();
    return lines;
}

bool IsTwoByteText(std::string_view firstLine) {
    return firstLine.substr(0, 2) == "\xFF\xFE" || firstLine.substr(0, 2) == "\xFE\xFF" ||
           firstLine.find('\0') != std::string_view::npos;
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view eol) {
    size_t total = 0;
    for (const auto& l : lines) total += l.size() + eol.size();
    std::string out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += eol;
    }
    return out;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string ExtractFileName(const std::string& path) {
    size_t s = LastSeparator(path);
    return s == std::string::npos ? path : path.substr(s + 1);
}

std::string ExtractFilePath(const std::string& path) {
    size_t s = LastSeparator(path);
    return s == std::string::npos ? std::string() : path.substr(0, s + 1);
}

std::string ExtractFileDir(const std::string& path) {
    size_t s = LastSeparator(path);
    if (s == std::string::npos) return std::string();
    return s == 0 ? std::string("/") : path.substr(0, s);
}

std::string ExtractFileExt(const std::string& path) {
    std::string name = ExtractFileName(path);
    size_t d = name.find_last_of('.');
    return d == std::string::npos ? std::string() : name.substr(d);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    std::string folder = ExtractFilePath(path);
    std::string name = ExtractFileName(path);
    size_t d = name.find_last_of('.');
    if (d != std::string::npos) name.resize(d);
    return folder + name + ext;
}

std::string ExecutablePath() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

std::string ExecutableFolder() { return ExtractFilePath(ExecutablePath()); }

}  // namespace fileio
