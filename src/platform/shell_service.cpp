#include "platform/shell_service.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace platform {
namespace {
std::function<void(const ShellRequest&)>& Recorder() {
    static std::function<void(const ShellRequest&)> r;
    return r;
}
}  // namespace

bool StartDetached(const std::string& program, const std::vector<std::string>& args) {
    if (auto& r = Recorder()) {
        r(ShellRequest{"start", program, args});
        return true;
    }
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(program), list);
}

bool OpenUrl(const std::string& url) {
    if (auto& r = Recorder()) {
        r(ShellRequest{"open", url, {}});
        return true;
    }
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void SetShellRecorder(std::function<void(const ShellRequest&)> recorder) { Recorder() = std::move(recorder); }

std::string ShellRequestLine(const ShellRequest& request) {
    std::string line = request.kind + "\t" + request.target;
    for (const auto& a : request.args) line += "\t" + a;
    return line;
}

ShellRecording::ShellRecording() : previous_(Recorder()) {
    SetShellRecorder([this](const ShellRequest& r) { requests.push_back(r); });
}

ShellRecording::~ShellRecording() { SetShellRecorder(previous_); }

}  // namespace platform
