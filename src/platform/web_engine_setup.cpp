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

// Under AddressSanitizer: the browser engine's own code (libQt6WebEngineCore) frees
// some objects with a sized delete of a smaller base type, which the sanitizer
// reports when a page is closed. Only that one check is off, and only by default
// (ASAN_OPTIONS may set it again); our own deletes through a base without a virtual
// destructor are compile errors under -Wall's -Wdelete-non-virtual-dtor anyway.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
