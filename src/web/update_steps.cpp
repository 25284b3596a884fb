#include "web/update_steps.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/file_io.h"
#include "platform/shell_service.h"
#include "web/SciZipFile.h"
#include "web/download.h"
#include "web/software_update.h"

namespace fs = std::filesystem;

namespace web {

const char* const kUpdateBase = "http://update.tevorin.invalid/tevorin/newestversion/";

namespace {

// "info.txt" holds a version line and perhaps a few notes.
constexpr uint64_t kMaxInfoBytes = 64 * 1024;
const char* const kInfoName = "info.txt";

std::string g_base;
std::string g_programDir;
int g_stallMs = 0;

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

bool IsRealFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(path, ec));
}

// The regular files directly in `folder` (no folders, no links), sorted, with
// "tevorin" last so that it wins over an entry that is itself named "tevorinN".
std::vector<std::string> TopLevelFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        if (fs::is_regular_file(it->symlink_status(sec))) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool pa = a == kProgramFileName, pb = b == kProgramFileName;
        return pa != pb ? pb : a < b;
    });
    return names;
}

struct PendingCopy {
    std::string temporary;
    std::string target;
};

void RemoveTemporaries(const std::vector<PendingCopy>& copies) {
    std::error_code ec;
    for (const PendingCopy& c : copies) fs::remove(c.temporary, ec);
}

// Copies every file of `from` into `to` ("tevorin" as "tevorinN"): all of them to
// temporary names first, then each renamed over its target. Empty on success,
// otherwise the error, with no temporary file left.
std::string CopyUpdateFiles(const std::string& from, const std::string& to, const std::vector<std::string>& names) {
    std::vector<PendingCopy> copies;
    for (const std::string& name : names) {
        const std::string target = name == kProgramFileName ? kNewProgramFileName : name;
        PendingCopy c{to + "." + target + ".update", to + target};
        std::error_code ec;
        fs::copy_file(from + name, c.temporary, fs::copy_options::overwrite_existing, ec);
        copies.push_back(c);
        if (ec) {
            RemoveTemporaries(copies);
            return "Cannot copy \"" + name + "\" into \"" + to + "\": " + ec.message();
        }
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        std::error_code ec;
        fs::rename(copies[i].temporary, copies[i].target, ec);
        if (ec) {
            RemoveTemporaries({copies.begin() + static_cast<std::ptrdiff_t>(i), copies.end()});
            return "Cannot replace \"" + copies[i].target + "\": " + ec.message();
        }
    }
    return {};
}

}  // namespace

UpdateSite CurrentUpdateSite() {
    return {WithSlash(g_base.empty() ? kUpdateBase : g_base),
            WithSlash(g_programDir.empty() ? fileio::ExecutableFolder() : g_programDir),
            g_stallMs > 0 ? g_stallMs : kDownloadStallMs};
}

void SetUpdateBase(const std::string& base) { g_base = base; }
void SetUpdateProgramDir(const std::string& dir) { g_programDir = dir; }
void SetUpdateStallMs(int ms) { g_stallMs = ms; }

CheckOutcome CheckNewestVersion(const UpdateSite& site) {
    CheckOutcome out;
    const std::string info = site.programDir + kInfoName;
    DownloadOptions options;
    options.stallMs = site.stallMs;
    options.maxBytes = kMaxInfoBytes;
    std::string text, error;
    std::optional<std::string> newest;
    if (DownloadToFile(site.base + kInfoName, info, options).Ok() && fileio::ReadFile(info, text, error, kMaxInfoBytes))
        newest = NewestVersionFromInfo(text);
    if (!newest) {
        out.memo1 = {"Failed in the access to Internet."};
        return out;
    }
    out.ok = true;
    out.newest = *newest;
    out.memo1 = VersionCheckLines(*newest);
    out.memo2 = fileio::SplitLines(text);
    return out;
}

InstallOutcome InstallUpdate(const UpdateSite& site, const std::string& newest, bool folderLines,
                             const std::function<void(const std::string&)>& memo1) {
    InstallOutcome out;
    memo1("Updating now.");
    const std::string archiveName = UpdateArchiveName(newest);
    const std::string url = site.base + archiveName;
    memo1(url);
    const std::string archive = site.programDir + archiveName;
    DownloadOptions options;
    options.stallMs = site.stallMs;
    if (!DownloadToFile(url, archive, options).Ok()) {
        out.status = InstallStatus::DownloadFailed;
        return out;
    }
    // A damaged archive unpacks nothing and is not kept.
    try {
        ExtractZipToFolder(archive, site.programDir);
    } catch (const std::exception& e) {
        fileio::DeleteFile(archive);
        out.error = e.what();
        return out;
    }

    const std::string search = site.programDir + UpdateFolderName(newest) + "/";
    memo1("SearchDir: " + search);
    auto discard = [&] {
        DeleteDirectoryTree(search);
        fileio::DeleteFile(archive);
    };
    if (!IsRealFolder(search)) {
        fileio::DeleteFile(archive);
        out.error = "The update has no folder \"" + search + "\".";
        return out;
    }
    if (folderLines) memo1("DirectoryExists: " + search);
    const std::vector<std::string> names = TopLevelFiles(search);
    if (std::find(names.begin(), names.end(), kProgramFileName) == names.end()) {
        discard();
        out.error = std::string("The update holds no \"") + kProgramFileName + "\"; nothing was copied.";
        return out;
    }
    out.error = CopyUpdateFiles(search, site.programDir, names);
    discard();
    if (folderLines) memo1("Directory Deleted");
    fileio::DeleteFile(site.programDir + kInfoName);
    if (!out.error.empty()) return out;

    const std::string script = site.programDir + kRestartScriptName;
    std::string error;
    if (!fileio::WriteFileAtomic(script, fileio::JoinLines(RestartScriptLines(site.programDir, ::getpid()), "\n"),
                                 error)) {
        out.error = error;
        return out;
    }
    out.status = InstallStatus::Ready;
    out.scriptPath = script;
    return out;
}

bool RunningUnderDebugger() {
    std::string status, error;
    return fileio::ReadFile("/proc/self/status", status, error, 1 << 20) && TracedFromStatus(status);
}

bool StartRestartScript(const std::string& scriptPath) { return platform::StartDetached("/bin/sh", {scriptPath}); }

}  // namespace web
