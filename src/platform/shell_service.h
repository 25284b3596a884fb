#pragma once
// Starting other programs and opening addresses behind one service. Windows call
// StartDetached and OpenUrl; tests and the harness set a recorder, which receives
// each request instead of running it, so that no test starts a browser or a shell.
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct ShellRequest {
    std::string kind;    // "start" (a program started detached) or "open" (an address opened)
    std::string target;  // the program, or the address
    std::vector<std::string> args;
};

// Starts a program that outlives this one (QProcess::startDetached). False when it
// could not be started; a recorded request counts as started.
bool StartDetached(const std::string& program, const std::vector<std::string>& args);
// Opens an address with the desktop's handler (QDesktopServices::openUrl). False
// when no handler took it; a recorded request counts as opened.
bool OpenUrl(const std::string& url);
// With a recorder set, requests go to it instead of being run; an empty function
// restores running them.
void SetShellRecorder(std::function<void(const ShellRequest&)> recorder);

// One line for a request, as the harness prints it: the kind, the target and each
// argument, separated by tabs.
std::string ShellRequestLine(const ShellRequest& request);

// Records the requests made during its lifetime (and restores the previous
// recorder when it ends).
class ShellRecording {
public:
    ShellRecording();
    ~ShellRecording();
    ShellRecording(const ShellRecording&) = delete;
    ShellRecording& operator=(const ShellRecording&) = delete;
    std::vector<ShellRequest> requests;

private:
    std::function<void(const ShellRequest&)> previous_;
};

}  // namespace platform
