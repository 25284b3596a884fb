#include "video/avs_edit.h"

#include <filesystem>
#include <system_error>

#include "platform/file_io.h"

namespace avsedit {

bool LoadScript(const std::string& path, std::string& text, std::string& error) {
    std::string bytes;
    if (!fileio::ReadFile(path, bytes, error, kMaxScriptBytes)) return false;
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            out += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            out += bytes[i];
        }
    }
    text = std::move(out);
    return true;
}

std::string ScriptFileBytes(std::string_view text) { return fileio::JoinLines(fileio::SplitLines(text), "\r\n"); }

bool SaveScript(const std::string& path, std::string_view text, std::string& error) {
    return fileio::WriteFileAtomic(path, ScriptFileBytes(text), error);
}

std::string SaveAsName(const std::string& chosen) { return fileio::ChangeFileExt(chosen, ".avs"); }

std::string CouldNotOpenText(const std::string& name) { return "Could not open .AVS file.\r\n" + name; }

std::string CouldNotSaveText(const std::string& path, const std::string& error) {
    return "Could not save .AVS file.\r\n" + path + "\r\n" + error;
}

std::string ReplaceQuestion(const std::string& path) { return fileio::ExtractFileName(path) + " already exists. Replace it?"; }

bool ReplacesAnotherFile(const std::string& target, const std::string& editing) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(target, ec)) return false;
    if (editing.empty()) return true;
    const bool same = fs::equivalent(target, editing, ec);
    return ec || !same;
}

}  // namespace avsedit
