#include "web/software_update.h"

#include <filesystem>
#include <system_error>

#include "platform/numtext.h"

namespace fs = std::filesystem;

namespace web {

const char* const kRunningVersion = "0.9.97.3i";
const char* const kProgramFileName = "tevorin";
const char* const kNewProgramFileName = "tevorinN";
const char* const kRestartScriptName = "restart.sh";
const char* const kSettingsFileName = "tevorin.ini";

const char* const kAccessFailedText = "Failed in the access to Internet.";
const char* const kNotSignedText = "The update is not signed by a trusted key.";
const char* const kNotVersionText = "The first line of info.txt is not a version text.";
const char* const kNoKeyText = "This build has no key to check updates with, so no update is offered.";
const char* const kCancelledText = "The download was cancelled.";

std::string SettingsSkippedLine() {
    return std::string("The update's ") + kSettingsFileName + " is skipped: your settings file stays as it is.";
}

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }

bool VersionChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || Digit(c) || c == '.' || c == '-' || c == '_';
}

// Splits the next dot-separated part off `rest`.
std::string_view NextPart(std::string_view& rest) {
    const size_t dot = rest.find('.');
    const std::string_view part = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    return part;
}

// Compares two runs of digits as numbers of any length.
int CompareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int ComparePart(std::string_view a, std::string_view b) {
    size_t na = 0, nb = 0;
    while (na < a.size() && Digit(a[na])) ++na;
    while (nb < b.size() && Digit(b[nb])) ++nb;
    if (const int c = CompareNumbers(a.substr(0, na), b.substr(0, nb)); c != 0) return c;
    const int c = a.substr(na).compare(b.substr(nb));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

std::optional<std::string> NewestVersionFromInfo(std::string_view infoText) {
    const size_t end = infoText.find_first_of("\r\n");
    const std::string_view first = infoText.substr(0, end);
    if (first.empty() || first.size() > static_cast<size_t>(kVersionTextMax)) return std::nullopt;
    for (char c : first)
        if (!VersionChar(c)) return std::nullopt;
    // Each part starts with the number it is ordered by.
    if (first.back() == '.') return std::nullopt;
    for (size_t i = 0; i < first.size(); ++i)
        if ((i == 0 || first[i - 1] == '.') && !Digit(first[i])) return std::nullopt;
    return std::string(first);
}

int CompareVersions(std::string_view a, std::string_view b) {
    while (!a.empty() || !b.empty()) {
        if (a.empty() || b.empty()) return a.empty() ? -1 : 1;
        if (const int c = ComparePart(NextPart(a), NextPart(b)); c != 0) return c;
    }
    return 0;
}

std::string VersionDigits(const std::string& version) {
    std::string out;
    for (char c : version)
        if (c != '.') out += c;
    return out;
}

std::string UpdateArchiveName(const std::string& version) { return UpdateFolderName(version) + ".zip"; }

std::string UpdateFolderName(const std::string& version) { return kProgramFileName + VersionDigits(version); }

bool UpdateAvailable(const std::string& newest) { return CompareVersions(newest, kRunningVersion) > 0; }

std::vector<std::string> VersionCheckLines(const std::string& newest) {
    std::vector<std::string> out = {std::string("This program is Ver.") + kRunningVersion + "."};
    if (UpdateAvailable(newest)) {
        out.push_back("The newest version Ver." + newest + " is available.");
        out.push_back("");
        out.push_back("Do you need this update now?");
    } else {
        out.push_back("This program is the newest version. Update is not necessary.");
    }
    return out;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::vector<std::string> RestartScriptLines(const std::string& programFolder, long processId, int waitSeconds) {
    std::string folder = programFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string script = ShellQuote(folder + "/" + kRestartScriptName);
    const std::string pid = std::to_string(processId);
    const std::string newCopy = kNewProgramFileName, program = kProgramFileName;
    return {
        "#!/bin/sh",
        "cd " + ShellQuote(folder) + " || exit 1",
        "n=0",
        "while kill -0 " + pid + " 2>/dev/null; do",
        "  n=$((n + 1))",
        // The old program did not end: keep it, drop the new copy.
        "  if [ \"$n\" -gt " + std::to_string(waitSeconds) + " ]; then",
        "    rm -f " + newCopy,
        "    rm -f " + script,
        "    exit 1",
        "  fi",
        "  sleep 1",
        "done",
        "mv -f " + newCopy + " " + program,
        "chmod +x " + program,
        "./" + program + " >/dev/null 2>&1 &",
        "rm -f " + script,
    };
}

bool DeleteDirectoryTree(const std::string& path, std::string* error) {
    // With a trailing "/" the system would follow a link in the folder's place.
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(folder, ec);
    if (ec || !fs::is_directory(st)) return false;
    // remove_all removes links as links and does not descend through them.
    fs::remove_all(folder, ec);
    if (ec && error) *error = folder + ": " + ec.message();
    return true;
}

bool TracedFromStatus(std::string_view statusText) {
    const std::string_view key = "TracerPid:";
    size_t at = 0;
    while (at < statusText.size()) {
        const size_t end = statusText.find('\n', at);
        const std::string_view line = statusText.substr(at, end == std::string_view::npos ? end : end - at);
        if (line.substr(0, key.size()) == key) {
            const std::optional<int64_t> v = numtext::ParseInt(line.substr(key.size()));
            return v && *v != 0;
        }
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return false;
}

}  // namespace web
