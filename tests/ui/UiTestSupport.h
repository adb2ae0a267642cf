#pragma once

#include "tarovex/startup/Version.h"

#include <QApplication>
#include <QDeadlineTimer>

#include <functional>

namespace ui_test {

// The widget tests run on the offscreen platform, with the process properties the program
// sets (the about pane shows the version).
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        tarovex::setProcessProperties();
        new QApplication(argc, argv);
    }
    return *static_cast<QApplication*>(QApplication::instance());
}

// Runs the event loop until `done` holds; false when `ms` passed first.
inline bool runUntil(const std::function<bool()>& done, int ms = 20000) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace ui_test
