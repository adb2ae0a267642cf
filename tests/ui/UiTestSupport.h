#pragma once

#include "tarovex/Version.h"

#include <QApplication>

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

} // namespace ui_test
