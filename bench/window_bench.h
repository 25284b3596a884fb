#pragma once
// What the main window's benchmarks share: the program started offscreen with
// scripted dialogs and a settings file of its own, and one whole measurement of the
// open video timed as a user runs it (START, then the event loop until it stops).
#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "measure/main_2.h"
#include "measure/settings_file.h"
#include "platform/dialogs.h"

namespace bench {

class WindowBench {
public:
    // Offscreen unless QT_QPA_PLATFORM says otherwise; `settings` written to `ini`
    // and made the program's settings file.
    WindowBench(int& argc, char** argv, const std::string& ini, const std::string& settings)
        : app_(Offscreen(argc), argv) {
        dialogs_.Install();
        std::ofstream(ini) << settings;
        SetSettingsFilePath(ini);
    }

private:
    static int& Offscreen(int& argc) {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return argc;
    }
    QApplication app_;
    ScriptedDialogs dialogs_;
};

// Wall seconds of one whole measurement of the window's open video; `each` runs
// after every turn of the event loop (to sample memory, say).
inline double MeasureSeconds(TPlatform& w, const std::function<void()>& each = {}) {
    QElapsedTimer t;
    t.start();
    w.StartMeasurement();
    while (w.Timer1->isActive()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (each) each();
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

}  // namespace bench
