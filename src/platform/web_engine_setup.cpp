#include "platform/web_engine_setup.h"

#include <QCoreApplication>
#include <QtGlobal>
#include <unistd.h>

namespace platform {

void PrepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Only as root, where the sandbox cannot start at all; an explicit setting stays.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

}  // namespace platform
