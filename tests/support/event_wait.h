#pragma once
// Waiting in a window test: the event loop runs while the test waits, so queued
// work (page loads, child processes, timers) goes on.
#include <QApplication>
#include <QElapsedTimer>

namespace testutil {

// Runs the event loop until `done` or `limitMs` have passed; false on the limit.
template <typename F>
bool Until(F done, qint64 limitMs = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace testutil
