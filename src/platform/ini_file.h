#pragma once
// A small INI document with the Windows profile-file rules, kept byte for byte:
//  - "[Section]" lines open a section; "key=value" lines inside it hold values.
//    Names are compared case-insensitively (ASCII); blanks around names and
//    values are ignored on reading. The first matching section and, inside it,
//    the first matching key win.
//  - Lines starting with ";" are comments; every line that is neither a
//    section, a key nor a comment is kept untouched, as are unknown bytes.
//  - Writing replaces a value in place as "key=value" with the key's existing
//    spelling; a new key goes after the last key of its section, a new section
//    at the end of the document. No blank lines are added.
//  - Integers are decimal text, booleans "1" and "0"; on reading a boolean any
//    integer other than 0 is true, and a value that does not convert gives the
//    caller's default.
//  - CR LF and LF line ends are both read; new lines use the document's first
//    line end (CR LF for a new document).
// A value, key or section name holding CR, LF or NUL is refused, so a write can
// never add lines of its own.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    // Settings files are small; anything larger is treated as unreadable.
    static constexpr size_t kMaxBytes = size_t{1} << 20;

    enum class LoadResult { Loaded, Missing, Failed };

    IniFile() = default;
    // A document parsed from text (never fails; unknown lines are kept).
    static IniFile FromText(std::string_view text);

    // Reads the file at `path`. Missing: an empty document and no error. Failed
    // (the path exists but cannot be read as a file of at most kMaxBytes): the
    // document is empty and `error` names the file.
    LoadResult Load(const std::string& path, std::string& error);

    // Writes the document to a temporary file beside `path` and renames it over
    // `path` (through a symbolic link, to the link's target). A file or folder
    // marked read-only is refused even where the system would allow the write.
    // On failure `path` is untouched and `error` names the file.
    bool Save(const std::string& path, std::string& error) const;

    // The document as bytes.
    std::string Text() const;

    // The value of a key, or nothing when the section or key is absent.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

    // False (and the document unchanged) when a name or the value is refused.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int32_t value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);

    // True when `folder` exists and both the system and its permission bits allow
    // creating files in it.
    static bool FolderWritable(const std::string& folder);

private:
    struct Line {
        std::string text;  // without its line end
        std::string eol;   // "\r\n", "\n", or empty for a last line without one
    };
    // Index of the first header naming `section`, or npos.
    size_t FindSection(std::string_view section) const;
    // Index of the first key line named `key` in the section starting at `header`.
    size_t FindKey(size_t header, std::string_view key) const;
    std::string NewLineEnd() const;

    std::vector<Line> lines_;
};
