#pragma once
// The parts of the software update that do not touch the network: what a fetched
// "info.txt" may offer, the names it builds, the texts the update window shows,
// the restart script and the tree delete.
//
// A version text builds file and folder names, so only a short run of letters,
// digits, ".", "-" and "_" is accepted, in dot-separated parts that each start
// with a number; anything else is no version. Only a version that orders after
// the running one is offered. The restart script never
// leaves the program folder without its executable: it waits a bounded time for
// the old program, and when that program does not end it keeps it and removes
// the new copy and itself.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace web {

// The version of this program, as the update site names versions.
extern const char* const kRunningVersion;  // "0.9.97.3i"
// The executable's name and the name its new copy arrives under.
extern const char* const kProgramFileName;     // "tevorin"
extern const char* const kNewProgramFileName;  // "tevorinN"
extern const char* const kRestartScriptName;   // "restart.sh"
// The user's settings file in the program folder, which an update never replaces.
extern const char* const kSettingsFileName;    // "tevorin.ini"
constexpr int kVersionTextMax = 32;
constexpr int kRestartWaitSeconds = 30;

// The lines the update window shows besides the version check's.
extern const char* const kAccessFailedText;  // "Failed in the access to Internet."
extern const char* const kNotSignedText;     // "The update is not signed by a trusted key."
extern const char* const kNotVersionText;    // info.txt's first line is no version
extern const char* const kNoKeyText;         // the build trusts no key: no update
extern const char* const kCancelledText;     // the download was cancelled
// The line for an archive's settings file that was left out.
std::string SettingsSkippedLine();

// The first line of a fetched "info.txt" (line ends "\n", "\r\n" or "\r") when it
// is a version text: 1 to 32 letters, digits, ".", "-" or "_", whose
// dot-separated parts are not empty and start with a digit. Empty otherwise.
std::optional<std::string> NewestVersionFromInfo(std::string_view infoText);

// Orders two version texts (as NewestVersionFromInfo accepts them): part by part,
// the leading numbers numerically (of any length), then what follows the number,
// nothing before anything and otherwise byte by byte; a version that runs out of
// parts first is the older. 0.9.97.3 < 0.9.97.3i < 0.9.98. Negative, 0 or positive.
int CompareVersions(std::string_view a, std::string_view b);

// The version with every "." removed ("0.9.98" gives "0998"), the archive name
// ("tevorin0998.zip") and the unpacked folder's name ("tevorin0998").
std::string VersionDigits(const std::string& version);
std::string UpdateArchiveName(const std::string& version);
std::string UpdateFolderName(const std::string& version);

// Memo1 after a successful check: the running version, then either the offer
// (a newer version) or "not necessary" (the same or an older one).
std::vector<std::string> VersionCheckLines(const std::string& newest);
// True when the newest version orders after the running one.
bool UpdateAvailable(const std::string& newest);

// The lines of restart.sh for `programFolder` (absolute, with or without a
// trailing "/") and the old program's process id: go to the folder, wait for the
// process to end (at most `waitSeconds`; otherwise remove the new copy and the
// script and keep the old program), replace "tevorin" by "tevorinN", make it
// executable, start it, delete the script. The folder is quoted for the shell.
std::vector<std::string> RestartScriptLines(const std::string& programFolder, long processId,
                                            int waitSeconds = kRestartWaitSeconds);
// A text as one single-quoted shell word.
std::string ShellQuote(const std::string& text);

// Deletes `folder` with everything below it, never following symbolic links: a
// link inside the tree is removed as a link and what it points to stays. A
// `folder` that is itself a link is not a folder here, with or without a trailing
// "/". Returns whether the folder
// existed; `error` gets the failure that stopped the delete.
bool DeleteDirectoryTree(const std::string& folder, std::string* error = nullptr);

// The TracerPid of a /proc/<pid>/status text is not 0: a debugger is attached.
bool TracedFromStatus(std::string_view statusText);

}  // namespace web
