// A serial instrument on a pseudo-terminal, for trying the program without hardware:
// prints the port path, then sends data lines to whoever opens it.
#include "PtyInstrument.h"
#include "ReadingFormat.h"

#include "config/Config.h"
#include "config/Instrument.h"
#include "config/InstrumentCommands.h"
#include "tarovex/startup/Version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using tarovex::config::ConfigHelper::Instrument;

namespace {

// A file of lines bigger than this is a mistake (a log or a disk image), not test data.
constexpr long long kMaxFileBytes = 16LL * 1024 * 1024;

const char* const kHelp = R"(Usage: tarovex-virtual-instrument [OPTIONS]

Creates a pseudo-terminal that behaves like a serial instrument, prints the path of its
port (for example /dev/pts/7) on the first line of standard output, and sends data lines
to the program that opens that port until it is stopped with Ctrl+C (SIGINT) or SIGTERM.

Lines sent (one of):
  (default)             scale readings such as "ST,GS,+  12.50 g" with changing values
  --preset NAME         the sample lines of an instrument preset, in turn, each ending
                        with the preset's input terminator (NAME as in --list-presets)
  --file PATH           the lines of a regular text file of at most 16 MiB, in turn,
                        over and over
  --stdin               the lines read from standard input, until it ends

Options:
  --rate N              lines per second (default 2; fractions allowed, down to one line
                        in 24 days); 0 sends as fast as the reader takes them
  --count N             stop after N lines (default: no limit), once the reader has
                        taken them
  --eol crlf|cr|lf      line end added to default, file and stdin lines (default cr, the
                        input terminator of the default instrument preset)
  --link PATH           also make PATH a symbolic link to the port (removed at exit)
  --answer              send a reading only when asked with the preset's request command
                        (A&D's "Q" CR LF without --preset), one per request; --rate is
                        then not used
  --unstable N          mark every N-th reading unstable in the preset's format (A&D's
                        "US", SICS's "S D", Ohaus's "?", Sartorius and KERN FKB
                        without their unit)
  --list-presets        print the preset names, each with its number of sample lines
                        (a preset without any cannot be used with --preset), and exit
  --help                print this text and exit

With --answer or --unstable, a preset's lines are readings in its format instead of its
sample lines. The preset's tare and zero commands (A&D's "T" and "Z" without --preset)
set the readings to zero from then on, at any time.

Nothing is sent until a program opens the port, so that --count N delivers N lines
however late the reader comes; lines the reader leaves unread when it closes the port
are dropped. While the program reads slowly, the instrument waits for room instead of
piling up data: at most the terminal's own buffer is held back.
)";

struct Options {
    std::optional<std::string> preset;
    std::optional<std::string> file;
    bool fromStdin = false;
    double rate = 2.0;
    long long count = -1;
    // The default preset's input terminator, so that the default settings read the lines.
    std::string eol{static_cast<char>(Instrument::getDefault().getLineDefaults().inputTerminator)};
    std::optional<std::string> link;
    bool answer = false;
    long long unstableEvery = 0;
};

[[noreturn]] void usageError(const std::string& message) {
    std::cerr << "tarovex-virtual-instrument: " << message << "\nTry --help.\n";
    std::exit(2);
}

// The sample data lines of a preset, empty ones left out.
std::vector<QString> sampleLines(const Instrument& preset) {
    std::vector<QString> lines;
    for (const auto& sample : preset.getTestStrings())
        if (!sample.dataLine.isEmpty())
            lines.push_back(sample.dataLine);
    return lines;
}

void listPresets() {
    for (const Instrument& p : Instrument::values()) {
        const std::size_t n = sampleLines(p).size();
        std::cout << p.name().toStdString() << "  " << p.getDisplayName().toStdString() << "  ("
                  << (n == 0 ? std::string("no sample lines")
                             : std::to_string(n) + (n == 1 ? " sample line" : " sample lines"))
                  << ")\n";
    }
}

Options parse(int argc, char** argv) {
    Options o;
    auto value = [&](int& i) -> std::string {
        if (i + 1 >= argc)
            usageError(std::string(argv[i]) + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            std::exit(0);
        } else if (a == "--version") {
            std::cout << "tarovex-virtual-instrument " << tarovex::kVersion << '\n';
            std::exit(0);
        } else if (a == "--list-presets") {
            listPresets();
            std::exit(0);
        } else if (a == "--preset") {
            o.preset = value(i);
        } else if (a == "--file") {
            o.file = value(i);
        } else if (a == "--stdin") {
            o.fromStdin = true;
        } else if (a == "--rate") {
            const std::string v = value(i);
            char* end = nullptr;
            o.rate = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(o.rate >= 0) || o.rate > 1e6)
                usageError("--rate wants a number of lines per second from 0 to 1000000");
            // The pause between lines, in milliseconds, must fit the wait it is given to.
            if (o.rate > 0 && 1000.0 / o.rate > static_cast<double>(INT_MAX))
                usageError("--rate " + v + " makes a pause longer than 24 days between lines");
        } else if (a == "--count") {
            const std::string v = value(i);
            char* end = nullptr;
            o.count = std::strtoll(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || o.count < 0)
                usageError("--count wants a whole number of lines, 0 or more");
        } else if (a == "--eol") {
            const std::string v = value(i);
            if (v == "crlf")
                o.eol = "\r\n";
            else if (v == "cr")
                o.eol = "\r";
            else if (v == "lf")
                o.eol = "\n";
            else
                usageError("--eol is crlf, cr or lf");
        } else if (a == "--answer") {
            o.answer = true;
        } else if (a == "--unstable") {
            const std::string v = value(i);
            char* end = nullptr;
            o.unstableEvery = std::strtoll(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || o.unstableEvery < 1)
                usageError("--unstable wants a whole number of readings, 1 or more");
        } else if (a == "--link") {
            o.link = value(i);
        } else {
            usageError("unknown option " + a);
        }
    }
    if ((o.preset ? 1 : 0) + (o.file ? 1 : 0) + (o.fromStdin ? 1 : 0) > 1)
        usageError("choose one of --preset, --file and --stdin");
    if ((o.answer || o.unstableEvery > 0) && (o.file || o.fromStdin))
        usageError("--answer and --unstable send readings, not the lines of --file or --stdin");
    return o;
}

std::string stripEol(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

// The preset's samples, each ending with its input terminator (bytes as Latin-1).
std::vector<std::string> presetLines(const std::string& name) {
    const auto preset = Instrument::find(QString::fromStdString(name));
    if (!preset)
        usageError("no preset " + name + " (see --list-presets)");
    const char terminator = static_cast<char>(preset->getLineDefaults().inputTerminator);
    std::vector<std::string> lines;
    for (const QString& sample : sampleLines(*preset)) {
        std::string line = sample.toLatin1().toStdString();
        if (line.back() != terminator)
            line += terminator;
        lines.push_back(line);
    }
    if (lines.empty())
        usageError("preset " + name + " has no sample lines");
    return lines;
}

// The lines of a regular file of at most kMaxFileBytes, each ending with `eol`.
std::vector<std::string> fileLines(const std::string& path, const std::string& eol) {
    // Not blocking, so that a FIFO given by mistake is refused instead of waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        usageError("cannot read " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        usageError(path + " is not a regular file");
    }
    if (st.st_size > kMaxFileBytes) {
        ::close(fd);
        usageError(path + " is larger than 16 MiB");
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            usageError("cannot read " + path + ": " + std::strerror(err));
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(n));
        if (static_cast<long long>(bytes.size()) > kMaxFileBytes) {
            ::close(fd);
            usageError(path + " is larger than 16 MiB");
        }
    }
    ::close(fd);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            end = bytes.size();
        lines.push_back(stripEol(bytes.substr(at, end - at)) + eol);
        at = end + 1;
    }
    if (lines.empty())
        usageError(path + " has no lines");
    return lines;
}

// Readings of a scale settling on loads that change now and then.
class ScaleReadings {
public:
    struct Reading {
        double grams;
        bool stable;
    };

    Reading nextReading() {
        if (step_++ % 12 == 0)
            target_ = static_cast<double>(random() % 50000) / 100.0;
        const double before = value_;
        value_ += (target_ - value_) * 0.5;
        if (std::fabs(target_ - value_) < 0.005)
            value_ = target_;
        if (zeroPending_) {
            offset_ = value_;
            zeroPending_ = false;
        }
        return {std::round((value_ - offset_) * 100.0) / 100.0, std::fabs(value_ - before) < 0.005};
    }

    std::string next() {
        const Reading r = nextReading();
        char line[64];
        std::snprintf(line, sizeof line, "%s,GS,%c%7.2f g", r.stable ? "ST" : "US", r.grams < 0 ? '-' : '+',
                      std::fabs(r.grams));
        return line;
    }

    // Tare and zero alike: the load on the scale reads 0 from the next reading on.
    void setZeroHere() { zeroPending_ = true; }

private:
    unsigned random() {
        seed_ = seed_ * 1103515245u + 12345u;
        return (seed_ >> 8) & 0xFFFFFF;
    }
    unsigned seed_ = 20261207u;
    long step_ = 0;
    double value_ = 0;
    double target_ = 0;
    double offset_ = 0;
    bool zeroPending_ = false;
};

// Finds the preset's commands in what the program sent, in order.
class CommandReader {
public:
    enum class Command { Data, Tare, Zero };

    explicit CommandReader(const tarovex::config::InstrumentCommands& commands) {
        const auto add = [this](const QByteArray& bytes, Command c) {
            if (!bytes.isEmpty())
                known_.push_back({bytes.toStdString(), c});
        };
        add(commands.data, Command::Data);
        add(commands.tare, Command::Tare);
        add(commands.zero, Command::Zero);
    }

    std::vector<Command> take(const std::string& received) {
        pending_ += received;
        std::vector<Command> found;
        for (;;) {
            std::size_t first = std::string::npos;
            const Known* which = nullptr;
            for (const Known& k : known_) {
                const std::size_t at = pending_.find(k.bytes);
                if (at < first) {
                    first = at;
                    which = &k;
                }
            }
            if (!which)
                break;
            found.push_back(which->command);
            pending_.erase(0, first + which->bytes.size());
        }
        // Bytes of no command: keep only what may begin one.
        if (pending_.size() > 16)
            pending_.erase(0, pending_.size() - 16);
        return found;
    }

private:
    struct Known {
        std::string bytes;
        Command command;
    };
    std::vector<Known> known_;
    std::string pending_;
};

} // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);

    const bool readingsOnly = o.answer || o.unstableEvery > 0;
    std::optional<Instrument> preset;
    if (o.preset) {
        preset = Instrument::find(QString::fromStdString(*o.preset));
        if (!preset)
            usageError("no preset " + *o.preset + " (see --list-presets)");
    }
    // The default readings are A&D's, and so are its commands.
    const Instrument format = preset.value_or(Instrument::AND);
    if (o.answer && tarovex::config::commandsOf(format).data.isEmpty())
        usageError("preset " + *o.preset + " has no request command to answer");
    CommandReader commands(tarovex::config::commandsOf(format));
    // The line end of generated readings: the preset's terminator, else --eol.
    const std::string readingEol =
        preset ? std::string(1, static_cast<char>(preset->getLineDefaults().inputTerminator)) : o.eol;

    std::vector<std::string> cycle;
    if (o.preset && !readingsOnly) {
        cycle = presetLines(*o.preset);
    } else if (o.file) {
        cycle = fileLines(*o.file, o.eol);
    }

    try {
        PtyInstrument::installStopSignals();
        PtyInstrument pty;
        if (o.link)
            pty.link(*o.link);
        std::cout << pty.slavePath() << std::endl;

        ScaleReadings readings;
        // Tare and zero take effect whenever they come; requests are counted.
        long long owed = 0;
        const auto obey = [&] {
            for (const CommandReader::Command c : commands.take(pty.takeReceived())) {
                if (c == CommandReader::Command::Data)
                    ++owed;
                else
                    readings.setZeroHere();
            }
        };
        const long long pauseMs = o.rate > 0 ? std::llround(1000.0 / o.rate) : 0;
        for (long long sent = 0; o.count < 0 || sent < o.count; ++sent) {
            std::string line;
            if (o.answer) {
                // One reading per request; requests that come together get one each.
                while (owed == 0 && pty.pause(1000, true))
                    obey();
                if (owed == 0)
                    break; // stopped
                --owed;
            } else if (sent > 0) {
                obey();
            }
            if (readingsOnly) {
                ScaleReadings::Reading r = readings.nextReading();
                if (o.unstableEvery > 0)
                    r.stable = (sent + 1) % o.unstableEvery != 0;
                line = formatReading(format, r.grams, r.stable) + readingEol;
            } else if (o.fromStdin) {
                if (!std::getline(std::cin, line))
                    break;
                line = stripEol(line) + o.eol;
            } else if (!cycle.empty()) {
                line = cycle[static_cast<std::size_t>(sent % static_cast<long long>(cycle.size()))];
            } else {
                line = readings.next() + o.eol;
            }
            if (!o.answer && sent > 0 && pauseMs > 0 && !pty.pause(pauseMs))
                break;
            if (!pty.write(line))
                break;
        }
        // The port hangs up when we end; let the reader have the last lines first.
        pty.waitUntilTaken();
    } catch (const std::exception& e) {
        std::cerr << "tarovex-virtual-instrument: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
