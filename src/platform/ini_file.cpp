#include "platform/ini_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "platform/numtext.h"

namespace {

constexpr size_t npos = std::string::npos;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// An editor may put a UTF-8 byte-order mark before the first line.
std::string_view Content(std::string_view text, bool first) {
    if (first && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return Trim(text);
}

// The section name of a header line, or nothing.
std::optional<std::string_view> HeaderName(std::string_view text, bool first) {
    std::string_view t = Content(text, first);
    if (t.empty() || t[0] != '[') return std::nullopt;
    size_t close = t.find(']');
    if (close == npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key, value;
};

// Key and value of a "key=value" line, or nothing for headers, comments and
// other lines.
std::optional<KeyLine> ParseKeyLine(std::string_view text, bool first) {
    std::string_view t = Content(text, first);
    if (t.empty() || t[0] == '[' || t[0] == ';') return std::nullopt;
    size_t eq = t.find('=');
    if (eq == npos) return std::nullopt;
    std::string_view key = Trim(t.substr(0, eq));
    if (key.empty()) return std::nullopt;
    return KeyLine{key, Trim(t.substr(eq + 1))};
}

bool HasBreak(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != npos; }

bool NameAllowed(std::string_view name) {
    return !name.empty() && !HasBreak(name) && Trim(name).size() == name.size();
}

bool KeyAllowed(std::string_view key) {
    return NameAllowed(key) && key.find('=') == npos && key[0] != '[' && key[0] != ';';
}

bool SectionAllowed(std::string_view section) { return NameAllowed(section) && section.find(']') == npos; }

bool ModeWritable(const struct stat& st) { return (st.st_mode & 0222) != 0; }

}  // namespace

IniFile IniFile::FromText(std::string_view text) {
    IniFile doc;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == npos) {
            doc.lines_.push_back({std::string(text.substr(start)), ""});
            break;
        }
        size_t end = lf;
        std::string eol = "\n";
        if (end > start && text[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        doc.lines_.push_back({std::string(text.substr(start, end - start)), eol});
        start = lf + 1;
    }
    return doc;
}

IniFile::LoadResult IniFile::Load(const std::string& path, std::string& error) {
    lines_.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
        // A dangling symbolic link is a file we could not read, not a missing one.
        if (::lstat(path.c_str(), &st) != 0) return LoadResult::Missing;
    }
    std::string text;
    if (!fileio::ReadFile(path, text, error, kMaxBytes)) return LoadResult::Failed;
    *this = FromText(text);
    return LoadResult::Loaded;
}

bool IniFile::FolderWritable(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ModeWritable(st) && ::access(folder.c_str(), W_OK) == 0;
}

bool IniFile::Save(const std::string& path, std::string& error) const {
    std::string target;
    if (!fileio::ResolveSaveTarget(path, target, error)) return false;
    std::error_code ec;
    std::string folder = fileio::ExtractFileDir(target);
    if (folder.empty()) folder = target.find('/') == 0 ? "/" : ".";
    if (!FolderWritable(folder)) {
        error = (std::filesystem::is_directory(folder, ec) ? "Read-only folder: " : "No such folder: ") + folder;
        return false;
    }
    return fileio::WriteFileAtomic(target, Text(), error);
}

std::string IniFile::Text() const {
    std::string out;
    for (const auto& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

size_t IniFile::FindSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        auto name = HeaderName(lines_[i].text, i == 0);
        if (name && SameName(*name, section)) return i;
    }
    return npos;
}

size_t IniFile::FindKey(size_t header, std::string_view key) const {
    for (size_t i = header + 1; i < lines_.size(); ++i) {
        if (HeaderName(lines_[i].text, false)) break;
        auto kl = ParseKeyLine(lines_[i].text, false);
        if (kl && SameName(kl->key, key)) return i;
    }
    return npos;
}

std::string IniFile::NewLineEnd() const {
    for (const auto& l : lines_)
        if (!l.eol.empty()) return l.eol;
    return "\r\n";
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    size_t header = FindSection(section);
    if (header == npos) return std::nullopt;
    size_t at = FindKey(header, key);
    if (at == npos) return std::nullopt;
    return std::string(ParseKeyLine(lines_[at].text, at == 0)->value);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto v = Find(section, key);
    return v ? *v : std::string(fallback);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const {
    auto v = Find(section, key);
    if (!v) return fallback;
    auto n = numtext::ParseInt32(*v);
    return n ? *n : fallback;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (!SectionAllowed(section) || !KeyAllowed(key) || HasBreak(value)) return false;
    const std::string eol = NewLineEnd();
    size_t header = FindSection(section);
    if (header != npos) {
        size_t at = FindKey(header, key);
        if (at != npos) {
            std::string spelling(ParseKeyLine(lines_[at].text, false)->key);
            lines_[at].text = spelling + "=" + std::string(value);
            return true;
        }
        // After the last key of the section, or right after its header.
        size_t last = header;
        for (size_t i = header + 1; i < lines_.size(); ++i) {
            if (HeaderName(lines_[i].text, false)) break;
            if (ParseKeyLine(lines_[i].text, false)) last = i;
        }
        if (lines_[last].eol.empty()) lines_[last].eol = eol;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1),
                      Line{std::string(key) + "=" + std::string(value), eol});
        return true;
    }
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
    lines_.push_back({"[" + std::string(section) + "]", eol});
    lines_.push_back({std::string(key) + "=" + std::string(value), eol});
    return true;
}

bool IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}
