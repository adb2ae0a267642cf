// The acquisition without a window: reads an instrument on a serial port with the stored
// settings and writes each processed value as a line on standard output.
#include "ConsoleStation.h"
#include "ConsoleTyping.h"
#include "ConsoleView.h"
#include "Detect.h"
#include "Doctor.h"
#include "JournalExport.h"
#include "PresetLine.h"
#include "SettingValues.h"
#include "StreamWriter.h"

#include "Tarolink/Diagnostics.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "config/Config.h"
#include "config/ResourceBundle.h"
#include "config/SettingsTable.h"
#include "hid/HidScaleDriver.h"
#include "tarovex/log/DiagnosticLog.h"
#include "tarovex/prefs/ConfigStore.h"
#include "tarovex/prefs/EnforcedSettings.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/run/KeyboardService.h"
#include "tarovex/run/PlatformServices.h"
#include "tarovex/startup/Version.h"
#include "tarovex/station/InstrumentProfiles.h"
#include "tarovex/station/Run.h"
#include "worker/RecordedStream.h"
#include "worker/WeightWorkerFactory.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using namespace tarovex;

const char* const kHelp = R"(Usage: tarovex-console [OPTIONS] [PORT[@LABEL]...] [--instrument LABEL...]
       tarovex-console --detect [PORT...]
       tarovex-console --journal-export [--since TIME] [--until TIME] [--format csv|json] [--events]
       tarovex-console --journal-verify [--head SEQ:HASH]
       tarovex-console --doctor [PORT...]

Reads the serial instrument on PORT (for example /dev/ttyUSB0, the path that
tarovex-virtual-instrument prints, or tcp://HOST:PORT or rfc2217://HOST:PORT of a
device server on the network) with the settings of Tarovex and writes the
processed value of every received line as one line on standard output, at once,
so that a pipe gets each value as it comes. Control characters inside a value (a
scanner's CR or LF) are written as in the log, <13>, <10>, so that a value never
spans two lines; with --null every value is written as it is, ended by a NUL byte.

A received line gives an empty line when it has no value: the expression finds
nothing in it, the value is empty after editing and character removal, or the
repeat filter (setting ignoreDuplicates) suppresses it. A line whose value cannot
be processed (a division by zero, an expression without its group, ...) gives no
output line, and neither do bytes dropped for want of an input terminator: their
error is in the log. The message log goes to standard error, one "HH:MM:SS text"
line per message and per received line (shown readable: control bytes as <13>);
the serial library's own lines (its version, the system, the driver it loaded)
are among them.
When nobody reads standard output, up to 4 MiB of values wait and later ones are
dropped; the log says so, and at the end how many values could not be written.

Several instruments: name several PORTs, or stored instruments with --instrument
LABEL (each with its own settings and port, as the window keeps them), or
PORT@LABEL (that instrument's settings on PORT). A PORT alone takes the stored
settings of the first instrument. Each is read on its own; values are typed
one at a time, each whole, in the order they arrived. With more than one, every
value goes out as the instrument's label (or its port), a tab, and the value,
and every log line names its instrument after the time. One instrument that
fails ends alone; the others go on, and the exit status is 1 at the end.

Without PORT, the port of the stored settings is used (or the first port of the
system when none is stored); an empty PORT is an error. The instrument preset
chooses how lines are read, as
in the program: barcode presets keep the text as it is, the two A&D presets with
handshaking check the balance's answer first (a warning is logged).

Settings are read from the program's own store: the per-user settings file
(~/.config/Lumbrix/tarovex.conf, or under $XDG_CONFIG_HOME), or, when EDITION=QV,
the shared file $ProgramData/Lumbrix/tarovexQV/prefs.txt. They are never written.
The MQTT password (setting mqttPasswordFile) travels unencrypted to an mqtt://
broker, as the log warns at the start: use mqtts:// for a broker with passwords.
At the end of a run, readings the broker has not yet acknowledged are waited for
8 s at most; the rest stay in the journal and are sent by the next run.

Options:
  --set KEY=VALUE   override one setting for this run (may be repeated). KEY is a
                    settings key, VALUE as the store holds it or, for the serial
                    parameters, as people write them (bitRate=9600, dataBits=8,
                    stopBits=1, parity=EVEN; the stored index works too, but
                    stopBits=1 and 2 are always numbers of stop bits), enumerations
                    by name (instrument=BARCODE, roundingMethod=HALF_EVEN), switches
                    as true/false, numbers and texts as typed (inputTerminator=10,
                    decimalPlaces=2, customRegEx=([0-9.]+)). An unknown key or an
                    invalid value is an error that names the valid values.
  --replay FILE     read the captured raw bytes of FILE (- for standard input)
                    instead of a port, as fast as they can be processed, through the
                    same line cutting, processing and repeat filter; the end of FILE
                    stops the run as a signal would. No value is dropped: a slow
                    reader of standard output slows the replay down. A replay is
                    not a reading of an instrument: it is not kept in the journal,
                    the live CSV file or published to the MQTT broker.
  --reconnect       when the device vanishes during the run, wait for it to come
                    back (by its name under /dev/serial/by-id when it has one, else
                    by PORT) and go on (same as --set reconnect=true)
  --request-every MS
                    ask the instrument for a reading every MS milliseconds with the
                    preset's request command or the setting requestCommand (same as
                    --set requestInterval=MS); SIGUSR1 asks once. A request waits
                    for its line, 2 s at most, before the next is sent
  --instrument LABEL
                    read the stored instrument LABEL (may be repeated)
  --null            write every value raw and end it with a NUL byte, not a newline
  --preset-defaults take the line settings (bit rate, data bits, parity, stop
                    bits, input terminator) of the chosen preset for this run
                    instead of the stored ones, as the window's Default values
                    button does; a line setting given with --set still wins.
                    Without it, the log says when the stored ones differ
  --no-line-log     leave the received lines out of the message log
  --sound           play the sound of the settings (setting sound) for every value
                    written non-empty; without it, or with sound=NONE, no sound
                    output is created. One that cannot start is reported in the
                    message log and the run goes on without sound.
  --type            also type every value (after the repeat filter) into the
                    application that has the keyboard focus, as the window does:
                    the settings' delay, start key, terminators, every-X count and
                    keyboard type, the preset's coverage. X11 (XTest) in an X11
                    session; on Wayland, GNOME's remote desktop (Mutter) on
                    GNOME, a virtual keyboard where the compositor offers one;
                    else the kernel's uinput; the log names the
                    backend, its layout and the rule that chose it. A Caps Lock
                    warning and typing errors go to the log. A value that waited
                    more than 10 s to be typed is dropped, not typed late (the log
                    says how many). A stop lets the value being typed end before
                    the program exits (at most 10 s, then its keys are released);
                    values not yet typed are dropped, and the log says how many.
  --keyboard-backend x11|wayland|uinput|gnome|kde|portal
                    with --type: type through that backend, whatever the session
  --keyboard-layout XKB
                    with --type: the XKB layout uinput types with (de, fr,
                    us(intl)) instead of the keyboard type's; X11 always types on
                    the server's active layout
  --detect          find the port of an instrument as the window's auto button
                    does, over the given PORTs or else the system's ports: each
                    port is opened in turn and its modem lines probed (no data is
                    read). The messages go to standard error as the log; the best
                    port alone goes to standard output, as a line. Ctrl+C or
                    SIGTERM stops it (the port under test is closed).
  --journal-export  write the journal of readings ($XDG_DATA_HOME/tarovex/
                    journal.sqlite) to standard output and exit: CSV with a header
                    row of the columns time, station, port, instrument, line,
                    value, outcome, seq and reason (why a dropped value was not
                    delivered; times in ISO 8601 UTC, RFC 4180 quoting, UTF-8;
                    a cell that is not a number and begins with =, +, -, @ gets a
                    leading apostrophe), or with --format json
                    one JSON object per line. --since and --until TIME (a date such
                    as 2026-12-01, or a date and time, local unless it ends in Z or
                    an offset) bound it: since <= time < until. Each row ends
                    with its hash in the journal's chain (column hash): the
                    last row's seq and hash are the chain's head so far.
                    With --events: the runs (user, host, version, instrument,
                    whether the clock was synchronised) and the settings changed
                    in the window (old and new value, user) instead.
  --journal-verify  check the journal's hash chain and exit: 0 when intact,
                    with the count of readings verified and the head (seq and
                    hash), 1 naming the first seq whose reading was changed,
                    inserted, moved or deleted, 2 when the journal cannot be
                    read. --head SEQ:HASH, a head kept elsewhere (an export,
                    an earlier --journal-verify), must still be in the chain:
                    this also catches readings cut from the end.
                    The runs and settings changed have a chain of their own,
                    checked too (the first event altered is named).
  --doctor          check this computer for reading the given PORTs (or else the
                    system's ports) and typing: the session and the keyboard
                    backend, uinput's module, rights and udev rule, the layout and
                    where it comes from, each port's group and a process holding
                    it, services that grab new serial ports (brltty, ModemManager),
                    the soundfont and an audio output. Each finding is a sentence on
                    standard output, with the command that fixes it.
  --list-keys       print the settings keys with their valid values and exit
  --version         print the version and exit
  --help            print this text and exit

Stops on Ctrl+C (SIGINT), SIGTERM or SIGHUP, and when the reader of standard
output goes away (a broken pipe): the run ends as with the Stop button (bytes
after the last line are reported, the port is closed and its terminal settings
restored), also when standard output is not being read.

Exit status: 0 stopped by a signal, a broken pipe or the end of the replayed FILE;
1 no port, the keystroke output of --type could not be made (the log says why),
the port or FILE could not be opened, the device was disconnected, reading
failed or standard output failed otherwise; 2 a wrong option or setting, or an
empty or unusable PORT; 255 the serial library
has no driver for this system (TLK_OSNAME).
With --detect: 0 a port was found (it is on standard output); 1 none was, or
the detection was stopped. With --doctor: 0 nothing stops reading and typing,
1 something does.
)";

[[noreturn]] void usageError(const QString& message) {
    std::cerr << "tarovex-console: " << message.toStdString() << "\nTry --help.\n";
    std::exit(2);
}

// One instrument to read: a port, a stored profile, or a profile on another port.
struct InstrumentArgument {
    std::optional<QString> port;
    std::optional<QString> label;
};

struct Options {
    std::optional<QString> port;
    QStringList morePorts; // --detect takes several
    std::vector<InstrumentArgument> instruments; // more than the one of today's settings
    bool detect = false;
    bool doctor = false;
    std::optional<QString> replay;
    QList<std::pair<QString, QString>> overrides;
    bool logLines = true;
    bool sound = false;
    bool presetDefaults = false;
    console::ValueFormat format = console::ValueFormat::Readable;
    console::TypingChoice typing;
};

// /dev/ptmx under any name: opening it makes a new pseudo-terminal, it is no port.
bool isPtyMultiplexer(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode) &&
           major(st.st_rdev) == 5 && minor(st.st_rdev) == 2;
}

Options parse(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--help" || a == u"-h") {
            std::cout << kHelp;
            std::exit(0);
        } else if (a == u"--version") {
            std::cout << "tarovex-console " << kVersion << '\n';
            std::exit(0);
        } else if (a == u"--list-keys") {
            for (const QString& key : prefs::settingKeys())
                std::cout << key.toStdString() << "  " << console::validSettingValues(key).toStdString()
                          << '\n';
            std::exit(0);
        } else if (a == u"--detect") {
            o.detect = true;
        } else if (a == u"--doctor") {
            o.doctor = true;
        } else if (a == u"--preset-defaults") {
            o.presetDefaults = true;
        } else if (a == u"--no-line-log") {
            o.logLines = false;
        } else if (a == u"--sound") {
            o.sound = true;
        } else if (a == u"--request-every") {
            if (++i >= args.size())
                usageError(QStringLiteral("--request-every needs a number of milliseconds"));
            o.overrides.append({QStringLiteral("requestInterval"), args[i]});
        } else if (a == u"--reconnect") {
            o.overrides.append({QStringLiteral("reconnect"), QStringLiteral("true")});
        } else if (a == u"--replay" || a.startsWith(u"--replay=")) {
            if (a == u"--replay" && ++i >= args.size())
                usageError(QStringLiteral("--replay needs a FILE (- for standard input)"));
            o.replay = a == u"--replay" ? args[i] : a.mid(9);
            if (o.replay->isEmpty())
                usageError(QStringLiteral("the replay FILE is empty; give a file, or - for standard input"));
        } else if (a == u"--instrument") {
            if (++i >= args.size() || args[i].isEmpty())
                usageError(QStringLiteral("--instrument needs the LABEL of a stored instrument"));
            o.instruments.push_back({std::nullopt, args[i]});
        } else if (a == u"--null") {
            o.format = console::ValueFormat::NullTerminated;
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
        } else if (QString error; console::takeTypingOption(args, i, o.typing, error)) {
            if (!error.isEmpty())
                usageError(error);
        } else if (a.startsWith(u'-') && a.size() > 1) {
            usageError(QStringLiteral("unknown option %1").arg(a));
        } else if (a.isEmpty()) {
            usageError(
                QStringLiteral("the port is empty (an unset variable?); give a port such as /dev/ttyUSB0"));
        } else if (!o.port) {
            o.port = a;
        } else {
            o.morePorts.append(a);
        }
    }
    if (o.typing.backendNamed && !o.typing.enabled)
        usageError(QStringLiteral("--keyboard-backend and --keyboard-layout go with --type"));
    if (!o.detect && !o.doctor) {
        // PORT@LABEL: a network port has no @ before its scheme's host part ends.
        std::vector<InstrumentArgument> given;
        for (const QString& port : (o.port ? QStringList{*o.port} : QStringList()) + o.morePorts) {
            const qsizetype at = port.lastIndexOf(u'@');
            if (at > 0 && !port.mid(at + 1).contains(u'/') && !port.mid(at + 1).contains(u':'))
                given.push_back({port.left(at), port.mid(at + 1)});
            else
                given.push_back({port, std::nullopt});
        }
        o.instruments.insert(o.instruments.begin(), given.begin(), given.end());
        if (o.instruments.size() == 1 && !o.instruments.front().label) {
            o.instruments.clear(); // the one instrument of today
        } else {
            o.port.reset();
            o.morePorts.clear();
        }
    }
    for (const InstrumentArgument& wanted : o.instruments)
        if (wanted.label && wanted.label->isEmpty())
            usageError(QStringLiteral("an instrument's LABEL after @ is empty"));
    for (const QString& port : (o.port ? QStringList{*o.port} : QStringList()) + o.morePorts)
        if (isPtyMultiplexer(port))
            usageError(QStringLiteral("%1 is the pseudo-terminal multiplexer, not a serial port").arg(port));
    for (const InstrumentArgument& wanted : o.instruments)
        if (wanted.port && isPtyMultiplexer(*wanted.port))
            usageError(
                QStringLiteral("%1 is the pseudo-terminal multiplexer, not a serial port").arg(*wanted.port));
    if ((o.port || !o.instruments.empty()) && o.replay)
        usageError(QStringLiteral("a PORT and --replay exclude each other"));
    if (o.detect && o.replay)
        usageError(QStringLiteral("--detect and --replay exclude each other"));
    return o;
}

// Signals end the run through the event loop: the handler only writes to a pipe. The
// writers of the two streams write to it too when a write fails.
int signalPipe[2] = {-1, -1};
// A stop signal came: it decides the status even when a write failed at the same moment
// (a closed terminal sends SIGHUP and then refuses writes).
volatile std::sig_atomic_t stopSignalled = 0;

void onSignal(int) {
    stopSignalled = 1;
    const char c = 's';
    [[maybe_unused]] auto n = ::write(signalPipe[1], &c, 1);
}

// SIGUSR1 asks the instrument for a reading.
int requestPipe[2] = {-1, -1};

void onRequestSignal(int) {
    const char c = 'r';
    [[maybe_unused]] auto n = ::write(requestPipe[1], &c, 1);
}

void installStopSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0 ||
        ::pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("tarovex-console: pipe");
        std::exit(1);
    }
    struct sigaction request {};
    request.sa_handler = onRequestSignal;
    sigemptyset(&request.sa_mask);
    request.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &request, nullptr);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    // A reader that went away is an EPIPE of the value writer, which stops the run.
    std::signal(SIGPIPE, SIG_IGN);
}

// Room for values that wait for a slow reader, and for log lines.
constexpr qsizetype kValueQueueBytes = 4 * 1024 * 1024;
constexpr qsizetype kLogQueueBytes = 1024 * 1024;
// A replay waits for room instead of dropping, so a deep queue only holds memory there.
constexpr qsizetype kReplayValueQueueBytes = 1024 * 1024;
// How long the end of a run waits for the streams to take what is still queued.
constexpr std::chrono::milliseconds kValueDrainTime{500};
constexpr std::chrono::milliseconds kLogDrainTime{500};
// How long the end of a run waits for the MQTT broker to acknowledge what is queued; the
// publisher's own end (a count under way, the DISCONNECT) adds at most 3 s to it.
constexpr std::chrono::milliseconds kBrokerWaitTime{5000};

// "--set KEY=VALUE" applied to `config`; a wrong key or value ends the program.
void applyOverride(config::Config& config, const QString& key, const QString& value) {
    if (!prefs::settingKeys().contains(key)) {
        const bool port = key == u"port" || key == u"prevPort";
        usageError(QStringLiteral("unknown setting '%1' (see --list-keys%2)")
                       .arg(key, port ? QStringLiteral("; the port is the argument") : QString()));
    }
    if (const auto& locked = prefs::enforcedSettings(); locked.locks(key))
        usageError(QStringLiteral("setting %1 is locked by the administrator in %2 (%1=%3)")
                       .arg(key, locked.path(), locked.values().value(key)));
    const QString stored = console::storedSettingText(key, value);
    if (!prefs::applySetting(config, key, stored)) {
        const QString problem = config::settingProblem(key, stored);
        usageError(QStringLiteral("invalid value '%1' for setting %2%3; valid: %4")
                       .arg(value, key, problem.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(problem),
                            console::validSettingValues(key)));
    }
}

// The settings of one instrument: a stored profile, else the first instrument's settings;
// on the port given, else its stored one. An unknown profile ends the program.
config::Config loadInstrument(prefs::Preferences* node, const InstrumentArgument& wanted,
                              const QStringList& ports) {
    config::Config config;
    QStringList invalid;
    if (wanted.label) {
        if (!node || !profiles::labels(*node).contains(*wanted.label, Qt::CaseInsensitive))
            usageError(
                QStringLiteral("no stored instrument is labelled '%1'%2")
                    .arg(*wanted.label, node && !profiles::labels(*node).isEmpty()
                                          ? QStringLiteral(" (stored: %1)")
                                                .arg(profiles::labels(*node).join(QStringLiteral(", ")))
                                          : QString()));
        // The stored spelling of the label, matched whole ("Caliper" is not "Caliper 2").
        const QStringList stored = profiles::labels(*node);
        const QString label = *std::find_if(stored.begin(), stored.end(), [&](const QString& l) {
            return l.compare(*wanted.label, Qt::CaseInsensitive) == 0;
        });
        if (!profiles::load(*node, label, config, &invalid))
            std::cerr << "tarovex-console: invalid stored settings of " << label.toStdString()
                      << " replaced by their defaults: " << invalid.join(QStringLiteral(", ")).toStdString()
                      << '\n';
    } else if (node) {
        try {
            if (!prefs::loadConfig(*node, config, wanted.port ? QStringList{*wanted.port} : ports, &invalid))
                std::cerr << "tarovex-console: invalid stored settings replaced by their defaults: "
                          << invalid.join(QStringLiteral(", ")).toStdString() << '\n';
        } catch (const std::exception& e) {
            std::cerr << "tarovex-console: the settings could not be read, using the defaults: " << e.what()
                      << '\n';
            return loadInstrument(nullptr, wanted, ports);
        }
    } else {
        config = config::Config::defaultsOf(config::ConfigHelper::Instrument::getDefault());
        config.setInstrument(config::ConfigHelper::Instrument::getDefault());
        if (!ports.isEmpty())
            config.setPort(ports.first());
    }
    if (wanted.port)
        config.setPort(*wanted.port);
    return config;
}

} // namespace

int main(int argc, char* argv[]) {
    tarovex::hid::installScaleDriver();
    installStopSignals();
    setProcessProperties();
    QCoreApplication app(argc, argv);
    if (app.arguments().contains(QStringLiteral("--journal-export")))
        return console::journalExport(app.arguments().mid(1), STDOUT_FILENO);
    if (app.arguments().contains(QStringLiteral("--journal-verify")))
        return console::journalVerify(app.arguments().mid(1), STDOUT_FILENO);
    const Options options = parse(app.arguments());

    // Standard output carries the values only; the serial library's lines join the log.
    const int valueFd = STDOUT_FILENO;
    // Lives until the process ends: the library's threads may still have a line to say.
    static console::StandardErrorLog programLog;
    static DiagnosticRoute diagnostics(programLog);
    try {
        Tarolink::SerialPortLocal::loadLibrary();
    } catch (const Tarolink::PlatformNotSupportedException& e) {
        programLog.logImportantEvent(QString::fromStdString(e.what()));
        return -1;
    }

    // The port list, as the program makes it: the given port alone, else the system's.
    QStringList ports;
    if (options.replay) {
        // no port is opened
    } else if (options.port) {
        ports.append(*options.port);
    } else {
        try {
            for (const std::string& name : Tarolink::SerialPortLocal::getPortList())
                ports.append(QString::fromStdString(name));
        } catch (const std::exception& e) {
            std::cerr << "tarovex-console: the ports could not be listed: " << e.what() << '\n';
        }
    }
    if (options.doctor)
        return console::runDoctor(ports + options.morePorts, STDOUT_FILENO);
    if (options.detect)
        return console::detectPort(ports + options.morePorts, STDOUT_FILENO, STDERR_FILENO, signalPipe[0]);

    prefs::Preferences* node = nullptr;
    try {
        node = prefs::openSettingsNode();
    } catch (const std::exception& e) {
        std::cerr << "tarovex-console: the settings could not be read, using the defaults: " << e.what()
                  << '\n';
    }
    // Today's one instrument, or each one named.
    std::vector<InstrumentArgument> named = options.instruments;
    if (named.empty())
        named.push_back({options.port, std::nullopt});
    std::vector<config::Config> configs;
    QStringList lineMismatches;
    for (const InstrumentArgument& wanted : named) {
        config::Config config = loadInstrument(node, wanted, ports);
        for (const auto& [key, value] : options.overrides)
            applyOverride(config, key, value);
        if (options.presetDefaults) {
            // The preset is known only now; a line setting given with --set still wins.
            console::takePresetLineSettings(config);
            for (const auto& [key, value] : options.overrides)
                applyOverride(config, key, value);
        } else if (const QString mismatch = console::presetLineMismatch(config); !mismatch.isEmpty()) {
            lineMismatches.append(named.size() > 1 ? config.instrumentName() + QStringLiteral(": ") + mismatch
                                                   : mismatch);
        }
        if (config.getPort().isEmpty() && !options.replay) {
            std::cerr << "tarovex-console: no serial port found; give one as the argument\n";
            return 1;
        }
        for (const config::Config& other : configs)
            if (!options.replay && other.getPort() == config.getPort())
                usageError(QStringLiteral("%1 and %2 both read %3: one port serves one instrument")
                               .arg(other.instrumentName(), config.instrumentName(), config.getPort()));
        configs.push_back(std::move(config));
    }

    console::StreamWriter values(valueFd, options.replay ? kReplayValueQueueBytes : kValueQueueBytes,
                                 signalPipe[1]);
    console::StreamWriter log(STDERR_FILENO, kLogQueueBytes);
    if (options.replay) {
        values.waitForRoom(&stopSignalled);
        log.waitForRoom(&stopSignalled);
    }
    console::ConsoleStation station({values, log, options.logLines, options.format}, configs.size() > 1);
    // Values of every instrument go through one keyboard, one whole value at a time.
    const auto lane = std::make_shared<typing::KeyboardLane>();
    std::shared_ptr<std::unique_ptr<worker::ByteSource>> recording;
    if (options.replay) {
        // Opened here, so that its failure is told as such; the one run takes it. It is read
        // as fast as its lines can be processed, and its end stops the run.
        recording = std::make_shared<std::unique_ptr<worker::ByteSource>>();
        try {
            *recording = worker::RecordedStream::open(*options.replay);
        } catch (const std::exception& e) {
            console::ConsoleLog(log, options.logLines).logImportantEvent(QString::fromStdString(e.what()));
            log.finish(kLogDrainTime);
            return 1;
        }
    }
    for (std::size_t i = 0; i < configs.size(); ++i) {
        RunServices services;
        if (recording)
            services.openPort = [recording](const config::Config& c) {
                return worker::openWorkerPortOn(std::move(*recording), c);
            };
        if (options.typing.enabled) {
            services.makeTyper = [&output = options.typing.output, lane](const config::Config& c,
                                                                         reading::EventLog& view) {
                return makeKeyboardTyper(c, view, lane, output);
            };
            services.capsLockOn = capsLockOn;
        }
        if (options.sound)
            services.makeSound = platformServices().makeSound;
        // A replay is not a reading of an instrument: it is neither recorded nor published.
        RunLog& runLog =
            station.add(configs[i], std::move(services), !options.replay, options.typing.enabled);
        if (i == 0)
            for (const QString& mismatch : lineMismatches)
                runLog.logEvent(mismatch);
    }
    console::ConsoleLog programLogLines(log, options.logLines);

    QSocketNotifier requestSignals(requestPipe[0], QSocketNotifier::Read);
    QObject::connect(&requestSignals, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(requestPipe[0], buffer, sizeof buffer) > 0) {
        }
        station.request();
    });

    // The status of a stop: a signal or a reader gone is a normal end, another failure of
    // standard output is not. Only the first reason counts.
    std::optional<int> stopStatus;
    QSocketNotifier stopRequests(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopRequests, &QSocketNotifier::activated, &app, [&] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (stopStatus)
            return;
        if (const int error = values.error(); stopSignalled || error == 0) {
            stopStatus = 0;
        } else if (error == EPIPE) {
            programLogLines.logEvent(QStringLiteral("The reader of standard output is gone."));
            stopStatus = 0;
        } else {
            programLogLines.logImportantEvent(QStringLiteral("Standard output could not be written: %1.")
                                                  .arg(QString::fromLocal8Bit(std::strerror(error))));
            stopStatus = 1;
        }
        station.stop();
    });
    // The process ends once every instrument has ended, each value being typed complete.
    station.onEnded([&](int failed) { app.exit(failed ? 1 : stopStatus.value_or(0)); });
    if (!station.start()) {
        log.finish(kLogDrainTime);
        return 1;
    }
    const int status = app.exec();
    // The readings the broker has not acknowledged yet stay queued in the journal.
    if (const qsizetype queued = station.finishRecords(kBrokerWaitTime); queued > 0)
        programLogLines.logImportantEvent(
            QStringLiteral("%1 readings are still queued for the MQTT broker; they are sent at the next "
                           "run.")
                .arg(queued));
    // A replay's values all wait for standard output, as long as no signal gives up.
    while (options.replay && !stopSignalled && !values.drain(kValueDrainTime)) {
    }
    if (const qsizetype lost = values.finish(kValueDrainTime); lost > 0)
        programLogLines.logImportantEvent(
            QStringLiteral("%1 values could not be written to standard output.").arg(lost));
    log.finish(kLogDrainTime);
    return status;
}
