#pragma once
// Whole-file reading with a size cap, atomic writing (temporary file renamed over
// the target, so a failed write never destroys the old file), line splitting with
// every line-end convention, and path helpers with the class library's semantics.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fileio {

constexpr size_t kDefaultReadLimit = size_t{1} << 30;

// Reads the whole file. On failure returns false and a short English error.
bool ReadFile(const std::string& path, std::string& out, std::string& error, size_t maxBytes = kDefaultReadLimit);

// Reads the whole file as lines (split as SplitLines does) without holding the
// whole text in memory at once. On failure returns false and a short English error.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string& error,
               size_t maxBytes = kDefaultReadLimit);

// Writes `data` to a temporary file beside `path`, flushes it and renames it over
// `path`. On failure the temporary file is removed and `path` is untouched.
bool WriteFileAtomic(const std::string& path, std::string_view data, std::string& error);

// Splits text into lines at CR LF, LF or CR. A final line end does not start an
// empty line; text without a final line end keeps its last line.
std::vector<std::string> SplitLines(std::string_view text);
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
