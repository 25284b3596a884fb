#include "platform/file_io.h"

#include <algorithm>
#include <cerrno>
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

// Opens a regular file of at most maxBytes for reading; -1 with `error` otherwise.
int OpenForReading(const std::string& path, size_t maxBytes, std::string& error) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = Errno("Cannot open", path);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "Not a regular file: " + path;
    } else if (static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = "File too large: " + path;
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}

// Reads the file in blocks, handing each to `take`; the total is held to maxBytes
// (the file may grow after it was opened).
template <typename Take>
bool ReadBlocks(int fd, const std::string& path, size_t maxBytes, std::string& error, Take&& take) {
    std::vector<char> buf(size_t{1} << 20);
    size_t total = 0;
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = Errno("Cannot read", path);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        total += static_cast<size_t>(n);
        if (total > maxBytes) {
            error = "File too large: " + path;
            ::close(fd);
            return false;
        }
        take(buf.data(), buf.data() + n);
    }
    ::close(fd);
    return true;
}
}  // namespace

bool ReadFile(const std::string& path, std::string& out, std::string& error, size_t maxBytes) {
    out.clear();
    const int fd = OpenForReading(path, maxBytes, error);
    if (fd < 0) return false;
    if (!ReadBlocks(fd, path, maxBytes, error, [&](const char* p, const char* end) { out.append(p, end); })) {
        out.clear();
        return false;
    }
    return true;
}

namespace {
// Splits text into lines; `carry` holds the unfinished last line between calls and
// `pendingCr` says that the previous piece ended with CR (so a leading LF belongs to it).
class LineSplitter {
public:
    explicit LineSplitter(std::vector<std::string>& lines) : lines_(lines) {}
    void Feed(const char* p, const char* end) {
        if (pendingCr_ && p < end && *p == '\n') ++p;
        pendingCr_ = false;
        while (p < end) {
            const void* cr = std::memchr(p, '\r', static_cast<size_t>(end - p));
            const char* stop = cr ? static_cast<const char*>(cr) : end;
            const void* lf = std::memchr(p, '\n', static_cast<size_t>(stop - p));
            const char* e = lf ? static_cast<const char*>(lf) : stop;
            if (e == end) {
                carry_.append(p, static_cast<size_t>(end - p));
                return;
            }
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
                    return;
                }
                p = e[1] == '\n' ? e + 2 : e + 1;
            } else {
                p = e + 1;
            }
        }
    }
    void Finish() {
        if (!carry_.empty()) lines_.push_back(std::move(carry_));
        carry_.clear();
    }

private:
    std::vector<std::string>& lines_;
    std::string carry_;
    bool pendingCr_ = false;
};
}  // namespace

bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& error, size_t maxBytes) {
    lines.clear();
    const int fd = OpenForReading(path, maxBytes, error);
    if (fd < 0) return false;
    LineSplitter splitter(lines);
    if (!ReadBlocks(fd, path, maxBytes, error, [&](const char* p, const char* end) { splitter.Feed(p, end); })) {
        lines.clear();
        return false;
    }
    splitter.Finish();
    return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view data, std::string& error) {
    std::string tmpl = ExtractFilePath(path) + "." + ExtractFileName(path) + ".XXXXXX";
    if (ExtractFilePath(path).empty()) tmpl = "." + path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = Errno("Cannot write", path);
        return false;
    }
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = Errno("Cannot write", path);
            ::close(fd);
            ::unlink(name.data());
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    // Keep the permissions of a file being replaced; new files get the usual 0666 & ~umask.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = Errno("Cannot write", path);
        ::unlink(name.data());
        return false;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        error = Errno("Cannot write", path);
        ::unlink(name.data());
        return false;
    }
    return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    LineSplitter splitter(lines);
    splitter.Feed(text.data(), text.data() + text.size());
    splitter.Finish();
    return lines;
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
