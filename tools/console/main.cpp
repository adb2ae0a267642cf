// The acquisition without a window: reads an instrument on a serial port with the stored
// settings and writes each processed value as a line on standard output.
#include "ConsoleView.h"

#include "Tarolink/Diagnostics.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "config/Config.h"
#include "config/ResourceBundle.h"
#include "tarovex/Version.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "worker/WeightWorkerFactory.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTime>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace {

using namespace tarovex;

const char* const kHelp = R"(Usage: tarovex-console [OPTIONS] [PORT]

Reads the serial instrument on PORT (for example /dev/ttyUSB0, or the path that
tarovex-virtual-instrument prints) with the settings of Tarovex and writes the
processed value of every received line as one line on standard output, at once,
so that a pipe gets each value as it comes. A line without a value, or a value
suppressed by the repeat filter (setting ignoreDuplicates), gives an empty line.
The message log goes to standard error, one "HH:MM:SS text" line per message and
per received line (shown readable: control bytes as <13>, <10>, ...); the serial
library's own lines (its version, the system, the driver it loaded) are among them.

Without PORT, the port of the stored settings is used (or the first port of the
system when none is stored). The instrument preset chooses how lines are read, as
in the program: barcode presets keep the text as it is, the two A&D presets with
handshaking check the balance's answer first (a warning is logged).

Settings are read from the program's own store: the per-user settings file
(~/.config/Lumbrix/tarovex.conf, or under $XDG_CONFIG_HOME), or, when EDITION=QV,
the shared file $ProgramData/Lumbrix/tarovexQV/prefs.txt. They are never written.

Options:
  --set KEY=VALUE   override one setting for this run (may be repeated). KEY is a
                    settings key, VALUE as the store holds it: serial parameters as
                    their index (bitRate=7 is 9600 bit/s), enumerations by name
                    (instrument=BARCODE, roundingMethod=HALF_EVEN), switches as
                    true/false, numbers and texts as typed (inputTerminator=10,
                    decimalPlaces=2, customRegEx=([0-9.]+)). An unknown key or an
                    invalid value is an error.
  --no-line-log     leave the received lines out of the message log
  --list-keys       print the settings keys and exit
  --help            print this text and exit

Stops on Ctrl+C (SIGINT) or SIGTERM: the run ends as with the Stop button (bytes
after the last line are reported, the port is closed).

Exit status: 0 stopped by a signal; 1 no port, the port could not be opened, the
device was disconnected or reading failed; 2 a wrong option or setting; 255 the
serial library has no driver for this system (TLK_OSNAME).
)";

[[noreturn]] void usageError(const QString& message) {
    std::cerr << "tarovex-console: " << message.toStdString() << "\nTry --help.\n";
    std::exit(2);
}

struct Options {
    QString port;
    QList<std::pair<QString, QString>> overrides;
    bool logLines = true;
};

Options parse(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--help" || a == u"-h") {
            std::cout << kHelp;
            std::exit(0);
        } else if (a == u"--list-keys") {
            for (const QString& key : prefs::settingKeys())
                std::cout << key.toStdString() << '\n';
            std::exit(0);
        } else if (a == u"--no-line-log") {
            o.logLines = false;
        } else if (a == u"--set" || a.startsWith(u"--set=")) {
            QString kv;
            if (a == u"--set") {
                if (++i >= args.size())
                    usageError(QStringLiteral("--set needs KEY=VALUE"));
                kv = args[i];
            } else {
                kv = a.mid(6);
            }
            const qsizetype eq = kv.indexOf(u'=');
            if (eq <= 0)
                usageError(QStringLiteral("--set needs KEY=VALUE, not '%1'").arg(kv));
            o.overrides.append({kv.left(eq), kv.mid(eq + 1)});
        } else if (a.startsWith(u'-') && a.size() > 1) {
            usageError(QStringLiteral("unknown option %1").arg(a));
        } else if (o.port.isEmpty()) {
            o.port = a;
        } else {
            usageError(QStringLiteral("only one port, not '%1' too").arg(a));
        }
    }
    return o;
}

// Signals end the run through the event loop: the handler only writes to a pipe.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 's';
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

void installStopSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("tarovex-console: pipe");
        std::exit(1);
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

QString workerText(QLatin1StringView key) {
    return worker::workerBundle().getString(key);
}

} // namespace

int main(int argc, char* argv[]) {
    installStopSignals();
    setProcessProperties();
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());

    // Standard output carries the values only; the serial library's lines join the log.
    const int valueFd = STDOUT_FILENO;
    const auto logLine = [](const std::string& text) {
        console::writeAll(STDERR_FILENO, (QTime::currentTime().toString(u"HH:mm:ss") + u' ' +
                                          QString::fromStdString(text) + u'\n')
                                             .toUtf8());
    };
    Tarolink::setDiagnosticHandler(logLine);
    try {
        Tarolink::SerialPortLocal::loadLibrary();
    } catch (const Tarolink::PlatformNotSupportedException& e) {
        logLine(e.what());
        return -1;
    }

    // The port list, as the program makes it: the given port alone, else the system's.
    QStringList ports;
    if (!options.port.isEmpty()) {
        ports.append(options.port);
    } else {
        try {
            for (const std::string& name : Tarolink::SerialPortLocal::getPortList())
                ports.append(QString::fromStdString(name));
        } catch (const std::exception& e) {
            std::cerr << "tarovex-console: the ports could not be listed: " << e.what() << '\n';
        }
    }

    config::Config config;
    try {
        prefs::Preferences* node = prefs::openSettingsNode();
        QStringList invalid;
        if (!prefs::loadConfig(*node, config, ports, &invalid))
            std::cerr << "tarovex-console: invalid stored settings replaced by their defaults: "
                      << invalid.join(QStringLiteral(", ")).toStdString() << '\n';
    } catch (const std::exception& e) {
        std::cerr << "tarovex-console: the settings could not be read, using the defaults: " << e.what()
                  << '\n';
        config = config::ConfigHelper::Instrument::getDefault().getDefaultConfig();
        config.setInstrument(config::ConfigHelper::Instrument::getDefault());
        if (!ports.isEmpty())
            config.setPort(ports.first());
    }
    if (!options.port.isEmpty())
        config.setPort(options.port);
    for (const auto& [key, value] : options.overrides) {
        if (!prefs::settingKeys().contains(key))
            usageError(
                QStringLiteral("unknown setting '%1' (see --list-keys; the port is the argument)").arg(key));
        if (!prefs::applySetting(config, key, value))
            usageError(QStringLiteral("invalid value '%1' for setting %2").arg(value, key));
    }
    if (config.getPort().isEmpty()) {
        std::cerr << "tarovex-console: no serial port found; give one as the argument\n";
        return 1;
    }

    std::optional<worker::Ignorer> ignorer;
    if (config.ignoreDuplicates)
        ignorer.emplace(config);
    console::ConsoleView view(valueFd, STDERR_FILENO, std::move(ignorer), options.logLines);

    worker::CreatedWorker created;
    try {
        created = worker::createWeightWorker(view, config);
    } catch (const std::exception& e) {
        view.logImportantEvent(workerText(worker::WorkerMessages::ERROR_OPENING_PORT) +
                               QString::fromStdString(Tarolink::describe(e)));
        return 1;
    }
    worker::WeightWorker& w = *created.worker;
    const auto instrument = config.getInstrument().value_or(config::ConfigHelper::Instrument::getDefault());
    view.logEvent(QStringLiteral("Instrument: ") + instrument.getDisplayName());
    if (!config.getCustomRegEx().isEmpty())
        view.logEvent(QStringLiteral("Custom regEx: ") + config.getCustomRegEx());
    if (created.warning)
        view.logImportantEvent(workerText(worker::WorkerMessages::WARNING) + QStringLiteral(": ") +
                               *created.warning);

    QSocketNotifier stopRequests(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopRequests, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        w.cancel(true);
    });
    QObject::connect(&w, &worker::WeightWorker::finished, &app, [&] {
        view.flush();
        app.exit(w.outcome() == worker::WeightWorker::Outcome::Cancelled ? 0 : 1);
    });
    w.start();
    const int status = app.exec();
    view.flush();
    return status;
}
