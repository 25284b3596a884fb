#pragma once
// The software update's work, without windows: the version check, the download,
// checking, unpacking and copying of a new version, and the restart script's start.
//
// Nothing is installed that the trusted key did not sign: "info.txt" is checked
// against "info.txt.sig" before a version is read from it, and the archive against
// its ".sig" before it is unpacked. A build without a trusted key checks nothing
// and offers nothing. Only a version newer than the running one is offered.
//
// The program folder never loses its executable: files are copied only when the
// unpacked folder holds "tevorin"; each file is first copied to a temporary name,
// and the targets are replaced only when every copy succeeded, all of them or
// (the replaced files put back) none; the restart script is written only then.
// The running program's own executable is never overwritten: "tevorin" arrives as
// "tevorinN", which the script renames once the program has ended. The user's
// settings file "tevorin.ini" is never replaced, and nothing outside the program
// folder is read, written or deleted: a link where the unpacked folder is expected
// ends the update.
//
// Every download has a stall limit and an overall deadline, and leaves no partial
// file; the fetched "info.txt" is removed again whether the check succeeded or not.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace web {

class DownloadCancel;

// The update site's folder (files "info.txt" and "tevorin<digits>.zip" below it,
// each with its signature "<name>.sig"). No site exists yet: a reserved name that
// never resolves.
extern const char* const kUpdateBase;

constexpr int kCheckDeadlineMs = 30000;
// The archive may take at least this long, longer when it announces a size that
// needs more time at kArchiveMinBytesPerSecond.
constexpr int kArchiveDeadlineMs = 60000;
constexpr uint64_t kArchiveMinBytesPerSecond = 32 * 1024;

// Where this run looks for the update and installs it.
struct UpdateSite {
    std::string base;        // HTTP folder ending in "/"
    std::string programDir;  // the program folder, ending in "/"
    std::string keyPem;      // the trusted public key; empty: none, no update
    int stallMs;             // a download fails after this long without data
    int checkDeadlineMs;     // the check's downloads end by then
    int archiveDeadlineMs;   // the archive's least deadline
};

// The site in use: kUpdateBase, the executable's folder and the build's key
// unless set otherwise (the harness points them at a loopback server, a scratch
// folder and a key made for the run).
UpdateSite CurrentUpdateSite();
void SetUpdateBase(const std::string& base);        // empty: kUpdateBase again
void SetUpdateProgramDir(const std::string& dir);   // empty: the executable's folder
void SetUpdateStallMs(int ms);                      // 0: the default 15 s
// The trusted key (PEM); nothing: the build's key again; an empty text: no key.
void SetUpdateKey(std::optional<std::string> pem);
// The check's and the archive's deadlines; 0: the defaults.
void SetUpdateDeadlinesMs(int checkMs, int archiveMs);

struct CheckOutcome {
    bool ok = false;                 // a signed version text was read
    bool offered = false;            // ... and it is newer than the running version
    std::vector<std::string> memo1;  // the messages
    std::vector<std::string> memo2;  // the fetched "info.txt", when it held a version
    std::string newest;              // its version text
};

// Downloads "info.txt" into the program folder, checks its signature, reads the
// newest version and removes the file again. A failed download, a missing or
// wrong signature, or a first line that is no version text is a failed check,
// each with its own message. With `cancel` given, user input goes on during the
// downloads and the Cancel ends them.
CheckOutcome CheckNewestVersion(const UpdateSite& site, DownloadCancel* cancel = nullptr);

enum class InstallStatus {
    Ready,           // files copied, restart script written
    DownloadFailed,  // the archive or its signature did not download
    Cancelled,       // a download was cancelled; nothing changed
    Failed,          // not signed, did not unpack, or a file did not copy (see error)
};

struct InstallOutcome {
    InstallStatus status = InstallStatus::Failed;
    std::string error;       // the text of the error box (Failed)
    std::string scriptPath;  // the written restart script (Ready)
};

// Downloads, checks, unpacks and copies version `newest`, then writes the restart
// script for this process. Each line for Memo1 goes to `memo1` as it happens, so a
// window can show it while the next step runs. `folderLines` adds the lines
// "DirectoryExists: " and "Directory Deleted". `cancel` as for the check.
InstallOutcome InstallUpdate(const UpdateSite& site, const std::string& newest, bool folderLines,
                             const std::function<void(const std::string&)>& memo1, DownloadCancel* cancel = nullptr);

// A debugger is attached to this process (its TracerPid is not 0).
bool RunningUnderDebugger();

// Starts the restart script with /bin/sh, detached from this process (through
// the shell service, which tests and the harness record). False when it did not start.
bool StartRestartScript(const std::string& scriptPath);

}  // namespace web
