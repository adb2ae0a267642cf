// The window as a whole process on an X server of its own (Xvfb): the time from process start
// to the window mapped, its resident memory when idle, and, while 100,000 lines per second
// arrive on a pseudo-terminal for 10 s (and again as fast as the chain takes them), the
// longest stall of its event loop and its memory; and the longest stall while a start opens
// an address that never answers.
// A stall is measured as the answer time to the window manager's ping (_NET_WM_PING), which
// the toolkit answers from the event loop of the UI thread; one ping is out at a time.
#include "tests/Ser2netServer.h"
#include "tests/XvfbServer.h"

#include <QSettings>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>

#include "tests/XPing.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Pty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    Pty() {
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
    }
    ~Pty() { ::close(master); }
    std::string slavePath() const { return ::ptsname(master); }
};

double rssMiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

// True once the process holds the file open.
bool holdsOpen(pid_t pid, const std::string& path) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd/";
    for (int fd = 0; fd < 256; ++fd) {
        char target[256];
        const ssize_t n = ::readlink((dir + std::to_string(fd)).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, std::size_t(n)) == path)
            return true;
    }
    return false;
}

// The bench's own connection to the X server, watching the top-level windows.
class XWatch {
public:
    explicit XWatch(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
        if (!display_)
            throw std::runtime_error("cannot open display " + name);
        root_ = DefaultRootWindow(display_);
        // Map notifications of top-level windows; the toolkit sends its ping answers to the
        // root for StructureNotify (or SubstructureRedirect) selections.
        XSelectInput(display_, root_, SubstructureNotifyMask | StructureNotifyMask);
        XSync(display_, False);
    }
    ~XWatch() { XCloseDisplay(display_); }

    // The first ordinary top-level window mapped within `ms`, or 0.
    Window waitForMap(int ms) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        XEvent e;
        while (next(e, deadline))
            if (e.type == MapNotify && !e.xmap.override_redirect)
                return e.xmap.window;
        return 0;
    }

    // Pings the window; the answer time in ms, or none within `ms`.
    std::optional<double> ping(Window w, int ms) {
        const auto sent = Clock::now();
        tarovex_test::sendPing(display_, w, ++serial_);
        const auto deadline = sent + std::chrono::milliseconds(ms);
        XEvent e{};
        while (next(e, deadline))
            if (tarovex_test::isPingAnswer(display_, e, serial_))
                return msSince(sent);
        return std::nullopt;
    }

private:
    bool next(XEvent& e, Clock::time_point deadline) {
        while (!XPending(display_)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&p, 1, int(left.count()));
        }
        XNextEvent(display_, &e);
        return true;
    }

    Display* display_;
    Window root_;
    long serial_ = 0;
};

// A temporary home whose stored settings start a run at once (connect mode AUTO).
struct Home {
    Home() {
        if (!::mkdtemp(path))
            throw std::runtime_error("no temporary folder");
        QSettings settings(QString::fromLatin1(path) + "/config/Lumbrix/tarovex.conf", QSettings::IniFormat);
        settings.setValue("com/lumbrix/tarovex/connect", "AUTO");
        settings.setValue("com/lumbrix/tarovex/checkForUpdates", "false");
        settings.sync();
    }
    ~Home() { std::system(("rm -rf '" + std::string(path) + "'").c_str()); }
    char path[32] = "/tmp/bench-window-XXXXXX";
};

class Tarovex {
public:
    Tarovex(const std::string& display, const Home& home, const std::string& port) {
        const std::string program = std::string(TAROVEX_BINARY_DIR) + "/tarovex/tarovex";
        const std::string config = std::string(home.path) + "/config";
        started = Clock::now();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("HOME", home.path, 1);
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", home.path, 1); // its instance socket
            ::execl(program.c_str(), program.c_str(), port.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Tarovex() {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t pid() const { return pid_; }
    Clock::time_point started;

private:
    pid_t pid_;
};

tarovex_test::XvfbServer& server() {
    static tarovex_test::XvfbServer s;
    return s;
}

void BM_StartToWindowShown(benchmark::State& state) {
    Home home;
    XWatch x(server().display());
    for (auto _ : state) {
        Pty pty;
        Tarovex program(server().display(), home, pty.slavePath());
        if (!x.waitForMap(20000)) {
            state.SkipWithError("the window was not shown");
            return;
        }
        state.SetIterationTime(msSince(program.started) / 1000.0);
    }
}
BENCHMARK(BM_StartToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// `perSecond` lines per second for 10 s, written in batches every 10 ms; 0: as fast as the
// pseudo-terminal takes them, the highest rate the chain reaches.
void flood(int master, std::atomic<long>& sent, std::chrono::seconds length, long perSecond) {
    std::string batch;
    for (int i = 0; i < 1000; ++i)
        batch += "ST,GS,+  " + std::to_string(10 + i % 90) + "." + std::to_string(10 + i % 80) + " g\r";
    const auto start = Clock::now();
    const auto end = start + length;
    auto due = start;
    while (Clock::now() < end) {
        std::size_t done = 0;
        while (done < batch.size() && Clock::now() < end) {
            const ssize_t n = ::write(master, batch.data() + done, batch.size() - done);
            if (n > 0) {
                done += std::size_t(n);
            } else {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 5);
            }
        }
        if (done == batch.size())
            sent += 1000;
        if (perSecond == 0)
            continue;
        due += std::chrono::microseconds(1000000000 / perSecond);
        std::this_thread::sleep_until(due);
    }
}

void BM_IdleThenFlood(benchmark::State& state) {
    Home home;
    XWatch x(server().display());
    for (auto _ : state) {
        Pty pty;
        Tarovex program(server().display(), home, pty.slavePath());
        const Window w = x.waitForMap(20000);
        const auto shown = Clock::now();
        while (w && !holdsOpen(program.pid(), pty.slavePath()) && msSince(shown) < 5000)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!w || !holdsOpen(program.pid(), pty.slavePath())) {
            state.SkipWithError("the window did not start its run");
            return;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        double idleStall = 0;
        for (int i = 0; i < 20; ++i)
            idleStall = std::max(idleStall, x.ping(w, 5000).value_or(5000));
        state.counters["idle_MiB"] = rssMiB(program.pid());
        state.counters["idle_stall_ms"] = idleStall;

        std::atomic<long> sent{0};
        const auto start = Clock::now();
        std::thread writer(flood, pty.master, std::ref(sent), std::chrono::seconds(10), long(state.range(0)));
        double stall = 0, rss5 = 0, peak = 0;
        long pings = 0;
        while (msSince(start) < 10000) {
            stall = std::max(stall, x.ping(w, 10000).value_or(10000));
            ++pings;
            const double rss = rssMiB(program.pid());
            peak = std::max(peak, rss);
            if (rss5 == 0 && msSince(start) >= 5000)
                rss5 = rss;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        writer.join();
        const double seconds = msSince(start) / 1000.0;
        state.counters["flood_lines_per_s"] = double(sent) / seconds;
        state.counters["flood_stall_ms"] = stall;
        state.counters["flood_pings"] = double(pings);
        state.counters["MiB_at_5s"] = rss5;
        state.counters["MiB_at_10s"] = rssMiB(program.pid());
        state.counters["MiB_peak"] = peak;
        // What the run still works off after the flood, and what stays once it is done.
        double settleStall = 0;
        const auto settle = Clock::now();
        while (msSince(settle) < 3000) {
            settleStall = std::max(settleStall, x.ping(w, 10000).value_or(10000));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state.counters["after_stall_ms"] = settleStall;
        state.counters["MiB_3s_after"] = rssMiB(program.pid());
    }
}
BENCHMARK(BM_IdleThenFlood)->Arg(100000)->Arg(0)->Unit(benchmark::kSecond)->Iterations(1);

// A start on an RFC 2217 address of 127.0.0.1 that accepts and never answers, so that the
// open takes its 3 s negotiation limit: the time to the window shown and the longest stall
// in the 5 s after it, while the port opens and its failure is shown.
void BM_StartOnAnAddressThatNeverAnswers(benchmark::State& state) {
    Home home;
    XWatch x(server().display());
    int port = 0;
    const int listener = tarovex_test::loopbackSocket(port, 8); // the kernel accepts for it
    for (auto _ : state) {
        Tarovex program(server().display(), home, "rfc2217://127.0.0.1:" + std::to_string(port));
        const Window w = x.waitForMap(20000);
        if (!w) {
            state.SkipWithError("the window was not shown");
            break;
        }
        state.counters["start_to_shown_ms"] = msSince(program.started);
        double stall = 0;
        const auto shown = Clock::now();
        while (msSince(shown) < 5000) {
            stall = std::max(stall, x.ping(w, 10000).value_or(10000));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        state.counters["opening_stall_ms"] = stall;
    }
    ::close(listener);
}
BENCHMARK(BM_StartOnAnAddressThatNeverAnswers)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
