#pragma once
// The software update's work, without windows: the version check, the download,
// unpacking and copying of a new version, and the restart script's start.
//
// The program folder never loses its executable: files are copied only when the
// unpacked folder holds "tevorin"; each file is first copied to a temporary name
// and renamed over its target only when every copy succeeded; the restart script
// is written only then. The running program's own executable is never
// overwritten: "tevorin" arrives as "tevorinN", which the script renames once the
// program has ended.
#include <functional>
#include <string>
#include <vector>

namespace web {

// The update site's folder (files "info.txt" and "tevorin<digits>.zip" below it).
// No site exists yet: a reserved name that never resolves.
extern const char* const kUpdateBase;

// Where this run looks for the update and installs it.
struct UpdateSite {
    std::string base;        // HTTP folder ending in "/"
    std::string programDir;  // the program folder, ending in "/"
    int stallMs;             // a download fails after this long without data
};

// The site in use: kUpdateBase and the executable's folder unless set otherwise
// (the harness points them at a loopback server and a scratch folder).
UpdateSite CurrentUpdateSite();
void SetUpdateBase(const std::string& base);        // empty: kUpdateBase again
void SetUpdateProgramDir(const std::string& dir);   // empty: the executable's folder
void SetUpdateStallMs(int ms);                      // 0: the default 15 s

struct CheckOutcome {
    bool ok = false;
    std::vector<std::string> memo1;  // the messages
    std::vector<std::string> memo2;  // the fetched "info.txt", when it held a version
    std::string newest;              // its version text
};

// Downloads "info.txt" into the program folder and reads the newest version.
// A failed download, or a first line that is no version text, is a failed check.
CheckOutcome CheckNewestVersion(const UpdateSite& site);

enum class InstallStatus {
    Ready,           // files copied, restart script written
    DownloadFailed,  // the archive did not download
    Failed,          // the archive did not unpack or a file did not copy (see error)
};

struct InstallOutcome {
    InstallStatus status = InstallStatus::Failed;
    std::string error;       // the text of the error box (Failed)
    std::string scriptPath;  // the written restart script (Ready)
};

// Downloads, unpacks and copies version `newest`, then writes the restart script
// for this process. Each line for Memo1 goes to `memo1` as it happens, so a window
// can show it while the next step runs. `folderLines` adds the lines
// "DirectoryExists: " and "Directory Deleted".
InstallOutcome InstallUpdate(const UpdateSite& site, const std::string& newest, bool folderLines,
                             const std::function<void(const std::string&)>& memo1);

// A debugger is attached to this process (its TracerPid is not 0).
bool RunningUnderDebugger();

// Starts the restart script with /bin/sh, detached from this process (through
// the shell service, which tests and the harness record). False when it did not start.
bool StartRestartScript(const std::string& scriptPath);

}  // namespace web
