#include "web/update_steps.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/file_io.h"
#include "platform/shell_service.h"
#include "web/SciZipFile.h"
#include "web/download.h"
#include "web/software_update.h"
#include "web/update_signature.h"

namespace fs = std::filesystem;

namespace web {

const char* const kUpdateBase = "http://update.tevorin.invalid/tevorin/newestversion/";

namespace {

// "info.txt" holds a version line and perhaps a few notes.
constexpr uint64_t kMaxInfoBytes = 64 * 1024;
// A signature is 64 bytes; a little more is fetched to tell a wrong one.
constexpr uint64_t kMaxSignatureFetch = 4096;
const char* const kInfoName = "info.txt";

std::string g_base;
std::string g_programDir;
int g_stallMs = 0;
std::optional<std::string> g_key;
int g_checkDeadlineMs = 0, g_archiveDeadlineMs = 0;

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string WithoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// What is at `path` itself: a link is not followed, also with a trailing "/".
fs::file_status OwnStatus(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(WithoutSlash(path), ec);
}

bool IsRealFolder(const std::string& path) { return fs::is_directory(OwnStatus(path)); }

std::string RunningVersionLine() { return std::string("This program is Ver.") + kRunningVersion + "."; }

// The regular files directly in `folder` (no folders, no links), sorted.
std::vector<std::string> TopLevelFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sec;
        if (fs::is_regular_file(it->symlink_status(sec))) names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct PendingCopy {
    std::string temporary;  // the new content, beside its target
    std::string target;
    std::string backup;     // the replaced file while the others are renamed in
    bool hadOld = false;
    bool done = false;
};

void RemoveTemporaries(const std::vector<PendingCopy>& copies) {
    std::error_code ec;
    for (const PendingCopy& c : copies) fs::remove(c.temporary, ec);
}

// Undoes the renames made so far: each replaced file back, each new one removed.
void PutBack(std::vector<PendingCopy>& copies) {
    for (auto c = copies.rbegin(); c != copies.rend(); ++c) {
        std::error_code ec;
        if (c->done && !c->hadOld) fs::remove(c->target, ec);
        if (c->hadOld) fs::rename(c->backup, c->target, ec);
    }
    RemoveTemporaries(copies);
}

// Copies every named file of `from` into `to` ("tevorin" as "tevorinN"): all of
// them to temporary names first, then each old file set aside and the new one
// renamed in; a failure puts every old file back. Empty on success, otherwise the
// error, with nothing changed and no temporary file left.
std::string CopyUpdateFiles(const std::string& from, const std::string& to, const std::vector<std::string>& names) {
    std::vector<PendingCopy> copies;
    for (const std::string& name : names) {
        const std::string target = name == kProgramFileName ? kNewProgramFileName : name;
        PendingCopy c{to + "." + target + ".update", to + target, to + "." + target + ".replaced"};
        if (IsRealFolder(c.target)) {
            RemoveTemporaries(copies);
            return "Cannot replace \"" + c.target + "\": it is a folder.";
        }
        std::error_code ec;
        fs::copy_file(from + name, c.temporary, fs::copy_options::overwrite_existing, ec);
        copies.push_back(c);
        if (ec) {
            RemoveTemporaries(copies);
            return "Cannot copy \"" + name + "\" into \"" + to + "\": " + ec.message();
        }
    }
    for (PendingCopy& c : copies) {
        std::error_code ec;
        c.hadOld = fs::exists(OwnStatus(c.target));
        if (c.hadOld) fs::rename(c.target, c.backup, ec);
        if (ec) c.hadOld = false;
        if (!ec) fs::rename(c.temporary, c.target, ec);
        if (ec) {
            PutBack(copies);
            return "Cannot replace \"" + c.target + "\": " + ec.message();
        }
        c.done = true;
    }
    std::error_code ec;
    for (const PendingCopy& c : copies)
        if (c.hadOld) fs::remove(c.backup, ec);
    return {};
}

DownloadOptions Options(const UpdateSite& site, DownloadCancel* cancel) {
    DownloadOptions options;
    options.stallMs = site.stallMs;
    options.userInput = cancel != nullptr;
    options.cancel = cancel;
    return options;
}

enum class Fetched { Got, NotSigned, Failed, Cancelled };

Fetched Kind(const DownloadResult& r) {
    if (r.Ok()) return Fetched::Got;
    if (r.error == DownloadError::Cancelled) return Fetched::Cancelled;
    return Fetched::Failed;
}

// Fetches the signature of `url` into `signature`. A server that answers without
// one (404, or something that is no signature) makes the file unsigned; `detail`
// then says what came.
Fetched FetchSignature(const std::string& url, DownloadOptions options, std::string& signature, std::string& detail) {
    options.maxBytes = kMaxSignatureFetch;
    const DownloadResult r = DownloadToMemory(url + kSignatureSuffix, signature, options);
    const std::string name = url.substr(url.rfind('/') + 1) + kSignatureSuffix + ": ";
    if (r.error == DownloadError::HttpStatus || r.error == DownloadError::TooLarge) {
        detail = name + r.message;
        return Fetched::NotSigned;
    }
    if (r.Ok() && signature.size() != kSignatureBytes) {
        detail = name + "not a signature of 64 bytes";
        return Fetched::NotSigned;
    }
    return Kind(r);
}

}  // namespace

UpdateSite CurrentUpdateSite() {
    return {WithSlash(g_base.empty() ? kUpdateBase : g_base),
            WithSlash(g_programDir.empty() ? fileio::ExecutableFolder() : g_programDir),
            g_key ? *g_key : BuiltInUpdateKey(),
            g_stallMs > 0 ? g_stallMs : kDownloadStallMs,
            g_checkDeadlineMs > 0 ? g_checkDeadlineMs : kCheckDeadlineMs,
            g_archiveDeadlineMs > 0 ? g_archiveDeadlineMs : kArchiveDeadlineMs};
}

void SetUpdateBase(const std::string& base) { g_base = base; }
void SetUpdateProgramDir(const std::string& dir) { g_programDir = dir; }
void SetUpdateStallMs(int ms) { g_stallMs = ms; }
void SetUpdateKey(std::optional<std::string> pem) { g_key = std::move(pem); }
void SetUpdateDeadlinesMs(int checkMs, int archiveMs) {
    g_checkDeadlineMs = checkMs;
    g_archiveDeadlineMs = archiveMs;
}

CheckOutcome CheckNewestVersion(const UpdateSite& site, DownloadCancel* cancel) {
    CheckOutcome out;
    if (site.keyPem.empty()) {
        out.memo1 = {RunningVersionLine(), kNoKeyText};
        return out;
    }
    // One deadline for both downloads of the check.
    const auto start = std::chrono::steady_clock::now();
    auto options = [&] {
        DownloadOptions o = Options(site, cancel);
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        o.deadlineMs = static_cast<int>(std::max<int64_t>(1, site.checkDeadlineMs - spent));
        return o;
    };
    DownloadOptions infoOptions = options();
    infoOptions.maxBytes = kMaxInfoBytes;
    // Read in memory: nothing of a check, passed or failed, is left in the program folder.
    std::string text;
    Fetched fetched = Kind(DownloadToMemory(site.base + kInfoName, text, infoOptions));
    std::string signature, detail;
    if (fetched == Fetched::Got) fetched = FetchSignature(site.base + kInfoName, options(), signature, detail);
    if (fetched == Fetched::Got) {
        detail = SignatureProblem(site.keyPem, text, signature);
        if (!detail.empty()) {
            detail = std::string(kInfoName) + ": " + detail;
            fetched = Fetched::NotSigned;
        }
    }
    switch (fetched) {
        case Fetched::Got: break;
        case Fetched::Cancelled: out.memo1 = {kCancelledText}; return out;
        case Fetched::Failed: out.memo1 = {kAccessFailedText}; return out;
        case Fetched::NotSigned:
            out.memo1 = {kNotSignedText, detail};
            return out;
    }
    const std::optional<std::string> newest = NewestVersionFromInfo(text);
    if (!newest) {
        out.memo1 = {kNotVersionText};
        return out;
    }
    out.ok = true;
    out.offered = UpdateAvailable(*newest);
    out.newest = *newest;
    out.memo1 = VersionCheckLines(*newest);
    out.memo2 = fileio::SplitLines(text);
    return out;
}

InstallOutcome InstallUpdate(const UpdateSite& site, const std::string& newest, bool folderLines,
                             const std::function<void(const std::string&)>& memo1, DownloadCancel* cancel) {
    InstallOutcome out;
    auto stop = [&](InstallStatus status, const std::string& error, const std::vector<std::string>& lines) {
        for (const std::string& line : lines) memo1(line);
        out.status = status;
        out.error = error;
        return out;
    };
    memo1("Updating now.");
    if (site.keyPem.empty()) return stop(InstallStatus::Failed, kNoKeyText, {kNoKeyText});
    const std::string archiveName = UpdateArchiveName(newest);
    const std::string url = site.base + archiveName;
    memo1(url);
    const std::string archive = site.programDir + archiveName;

    // The archive, then its signature; when either fails, the downloaded archive
    // goes again (a failed download leaves nothing of its own).
    DownloadOptions options = Options(site, cancel);
    options.deadlineMs = site.archiveDeadlineMs;
    options.minBytesPerSecond = kArchiveMinBytesPerSecond;
    std::string signature, detail;
    Fetched fetched = Kind(DownloadToFile(url, archive, options));
    const bool downloaded = fetched == Fetched::Got;
    if (fetched == Fetched::Got) {
        options = Options(site, cancel);
        options.deadlineMs = site.checkDeadlineMs;
        fetched = FetchSignature(url, options, signature, detail);
    }
    if (fetched == Fetched::Got) {
        detail = FileSignatureProblem(site.keyPem, archive, signature, kMaxDownloadBytes);
        if (!detail.empty()) {
            detail = archiveName + ": " + detail;
            fetched = Fetched::NotSigned;
        }
    }
    if (downloaded && fetched != Fetched::Got) fileio::DeleteFile(archive);
    switch (fetched) {
        case Fetched::Got: break;
        case Fetched::Cancelled: return stop(InstallStatus::Cancelled, {}, {kCancelledText});
        case Fetched::Failed: return stop(InstallStatus::DownloadFailed, {}, {});
        case Fetched::NotSigned:
            return stop(InstallStatus::Failed, std::string(kNotSignedText) + "\n" + detail, {kNotSignedText, detail});
    }

    // The unpacked folder must be a folder of the program folder's own: a link
    // there would take the unpacking and the delete after it elsewhere. A real
    // folder left from an earlier attempt goes, so that only what this archive
    // holds is copied.
    const std::string folder = site.programDir + UpdateFolderName(newest);
    const fs::file_status st = OwnStatus(folder);
    std::string error;
    if (fs::exists(st) && !fs::is_directory(st)) {
        fileio::DeleteFile(archive);
        return stop(InstallStatus::Failed,
                    "\"" + folder + "\" is " + (fs::is_symlink(st) ? "a link" : "a file") +
                        ", not a folder; nothing was unpacked.",
                    {});
    }
    if (fs::exists(st)) {
        DeleteDirectoryTree(folder, &error);
        if (!error.empty()) {
            fileio::DeleteFile(archive);
            return stop(InstallStatus::Failed, error, {});
        }
    }
    // A damaged archive unpacks nothing and is not kept.
    try {
        ExtractZipToFolder(archive, site.programDir);
    } catch (const std::exception& e) {
        fileio::DeleteFile(archive);
        return stop(InstallStatus::Failed, e.what(), {});
    }

    const std::string search = folder + "/";
    memo1("SearchDir: " + search);
    auto discard = [&] {
        DeleteDirectoryTree(folder);
        fileio::DeleteFile(archive);
    };
    if (!IsRealFolder(folder)) {
        fileio::DeleteFile(archive);
        return stop(InstallStatus::Failed, "The update has no folder \"" + search + "\".", {});
    }
    if (folderLines) memo1("DirectoryExists: " + search);
    std::vector<std::string> names = TopLevelFiles(search);
    if (std::find(names.begin(), names.end(), kProgramFileName) == names.end()) {
        discard();
        return stop(InstallStatus::Failed,
                    std::string("The update holds no \"") + kProgramFileName + "\"; nothing was copied.", {});
    }
    // The program arrives as "tevorinN": an entry of that name would take the
    // same place. The user's settings stay.
    std::erase(names, std::string(kNewProgramFileName));
    if (std::erase(names, std::string(kSettingsFileName)) > 0) memo1(SettingsSkippedLine());
    out.error = CopyUpdateFiles(search, site.programDir, names);
    discard();
    if (folderLines) memo1("Directory Deleted");
    fileio::DeleteFile(site.programDir + kInfoName);
    if (!out.error.empty()) return out;

    const std::string script = site.programDir + kRestartScriptName;
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
