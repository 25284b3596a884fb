#pragma once
// The Qt environment of the test programs: offscreen unless the environment
// says otherwise, a private runtime folder when none is set, and the offscreen
// plugin's known notice about size hints silenced, so that real warnings stand out.
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace testutil {

inline void PrepareQtTestEnvironment() {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const char* tmp = std::getenv("TMPDIR");
        const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/tevorin-runtime-" + std::to_string(getuid());
        ::mkdir(dir.c_str(), 0700);
        struct stat st {};
        // Only a folder of ours that nobody else can enter.
        if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0)
            setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message == QLatin1String("This plugin does not support propagateSizeHints()")) return;
        if (previous) previous(type, context, message);
        else std::fprintf(stderr, "%s\n", qPrintable(message));
    });
}

}  // namespace testutil
