// Tarovex: the window. Everything but the arguments lives in the libraries.
#include "hid/HidScaleDriver.h"
#include "tarovex/instance/SingleInstance.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/startup/Version.h"
#include "tarovex/texts/ShellBundle.h"
#include "tarovex/ui/RazezaRoZurFrame2.h"
#include "tarovex/ui/Startup.h"

#include <QApplication>
#include <QLocale>
#include <QMainWindow>

#include <cstring>
#include <iostream>

#include <malloc.h>

namespace {

// Shows the window, also from the tray, in front of the others.
QString bringToFront(const QString&) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(w)) {
            w->showNormal();
            w->raise();
            w->activateWindow();
            return QStringLiteral("ok");
        }
    return QStringLiteral("no window yet");
}

} // namespace

int main(int argc, char* argv[]) {
    tarovex::hid::installScaleDriver();
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::cout << "Usage: tarovex [PORT]\n\n"
                         "Reads a serial instrument (balance, scale, barcode reader) and types every\n"
                         "reading into the application that has the keyboard focus. PORT (for example\n"
                         "/dev/ttyUSB0) replaces the stored port for this run. While Tarovex runs, a\n"
                         "second start brings its window to the front and ends.\n\n"
                         "  --request [LABEL]\n"
                         "             ask the running Tarovex of this user for a reading (for a key\n"
                         "             of the desktop): of the instrument LABEL (its label, or its\n"
                         "             port for the first), else of every instrument that reads;\n"
                         "             exit 0 when it was asked, else 1\n"
                         "  --help     print this text and exit\n"
                         "  --version  print the version and exit\n";
            return 0;
        }
        if (!std::strcmp(argv[i], "--request")) {
            QCoreApplication core(argc, argv);
            tarovex::SingleInstance instance;
            return tarovex::requestReading(instance,
                                           i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString());
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::cout << "tarovex " << tarovex::kVersion << " (" << tarovex::kReleaseDate << ")\n";
            return 0;
        }
    }
    // Lines are made on the reading thread and freed on the UI thread: with an arena per
    // thread a fast instrument left the heap several times larger than what is in use.
    // Set before any thread starts.
    mallopt(M_ARENA_MAX, 1);
    QLocale::setDefault(QLocale(QLocale::English));
    tarovex::setProcessProperties();
    QApplication app(argc, argv);
    tarovex::SingleInstance instance;
    if (const auto status = tarovex::startOrHandOver(instance, bringToFront))
        return *status;
    instance.setHandler(QStringLiteral("request"), [](const QString& label) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* frame = qobject_cast<tarovex::ui::RazezaRoZurFrame2*>(w))
                return frame->requestReading(label.trimmed());
        return QStringLiteral("no window yet");
    });
    return tarovex::ui::runProgram(app.arguments().mid(1));
}
