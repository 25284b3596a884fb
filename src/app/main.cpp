// Program entry: creates the main window and runs the message loop until it closes.
#include <QApplication>

#include "measure/main_2.h"
#include "platform/controls.h"
#include "platform/web_engine_setup.h"

int main(int argc, char** argv) {
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tevorin");
    ShowEditTextFromStart(app);
    TPlatform window;
    window.show();
    return QApplication::exec();
}
