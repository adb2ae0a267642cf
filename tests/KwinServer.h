#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace tarovex_test {

// KDE's compositor of the test's own: KWin on its virtual backend (no GPU, no input devices),
// with a private session bus, running until the object goes or stop() is called.
//
// KWin hands its fake input only to a client whose executable, /proc/<pid>/exe, is the first
// word of the Exec line of a desktop file listing the interface in X-KDE-Wayland-Interfaces;
// it finds that file through KService's cache (ksycoca) of the XDG_DATA_DIRS it runs with, so
// with `grantThisProgram` the test writes such a file for its own binary and builds the cache
// before KWin starts. KWin runs as the test's own user, since it must read that /proc link.
// The installed kwin_wayland carries a file capability that a container may refuse to
// execute, so a copy (which loses it) runs. When KWin is missing or does not start,
// available() is false and reason() says why.
class KwinServer {
public:
    explicit KwinServer(bool grantThisProgram) {
        for (const char* program : {"kwin_wayland", "dbus-run-session", "kbuildsycoca5"})
            if (!onPath(program)) {
                reason_ = std::string(program) + " is not installed (Debian packages kwin-wayland, dbus-daemon)";
                return;
            }
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "tarovex-kwin-XXXXXX").string();
        if (ec || !::mkdtemp(pattern.data())) {
            reason_ = "no temporary folder";
            return;
        }
        dir_ = pattern;
        const std::string run = dir_ + "/run", share = dir_ + "/share", kwin = dir_ + "/kwin_wayland";
        std::filesystem::create_directories(share + "/applications", ec);
        std::filesystem::create_directories(run, ec);
        std::filesystem::permissions(run, std::filesystem::perms::owner_all, ec);
        std::filesystem::copy_file(findOnPath("kwin_wayland"), kwin, ec);
        if (ec) {
            reason_ = "kwin_wayland cannot be copied: " + ec.message();
            return;
        }
        if (grantThisProgram) {
            const std::string self = std::filesystem::canonical("/proc/self/exe", ec).string();
            std::ofstream(share + "/applications/tarovex-test-typing.desktop")
                << "[Desktop Entry]\nType=Application\nName=Tarovex typing test\nNoDisplay=true\n"
                << "Exec=\"" << self << "\"\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n";
        }
        socket_ = run + "/tarovex-kwin";
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            const int log = ::open((dir_ + "/kwin.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
            const std::string script = "kbuildsycoca5 --noincremental && exec \"$0\" --virtual --socket tarovex-kwin "
                                       "--no-lockscreen --no-global-shortcuts --no-kactivities";
            std::vector<std::string> args = {"env",
                                              "-i",
                                              "PATH=/usr/bin:/bin",
                                              "HOME=" + dir_,
                                              "XDG_RUNTIME_DIR=" + run,
                                              "XDG_DATA_DIRS=" + share + ":/usr/local/share:/usr/share",
                                              "XDG_CONFIG_HOME=" + dir_ + "/config",
                                              "XDG_CACHE_HOME=" + dir_ + "/cache",
                                              "KWIN_COMPOSE=Q",
                                              "dbus-run-session",
                                              "--",
                                              "sh",
                                              "-c",
                                              script,
                                              kwin};
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (connectable(socket_))
                return;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        reason_ = "KWin did not start: " + lastLogLine();
        socket_.clear();
    }
    ~KwinServer() {
        stop();
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    KwinServer(const KwinServer&) = delete;
    KwinServer& operator=(const KwinServer&) = delete;

    bool available() const { return !socket_.empty(); }
    const std::string& reason() const { return reason_; }
    // The Wayland socket's absolute path: what WAYLAND_DISPLAY may hold.
    const std::string& socket() const { return socket_; }
    // Ends KWin and its session bus.
    void stop() {
        if (pid_ <= 0)
            return;
        ::kill(-pid_, SIGTERM);
        // KWin outlives the bus's launcher and writes its configuration on the way out: as their
        // subreaper the test collects every process of the group before the folder goes.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (pid_t done = 0; done >= 0;) {
            done = ::waitpid(-pid_, nullptr, WNOHANG);
            if (done == 0) {
                if (std::chrono::steady_clock::now() > deadline)
                    ::kill(-pid_, SIGKILL);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        pid_ = -1;
    }

private:
    static std::string findOnPath(const std::string& program) {
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        for (std::size_t start = 0;;) {
            const auto colon = dirs.find(':', start);
            const std::string candidate = dirs.substr(start, colon - start) + "/" + program;
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            if (colon == std::string::npos)
                return {};
            start = colon + 1;
        }
    }
    static bool onPath(const std::string& program) { return !findOnPath(program).empty(); }
    static bool connectable(const std::string& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }
    std::string lastLogLine() const {
        std::ifstream log(dir_ + "/kwin.log");
        std::string line, last = "no output";
        while (std::getline(log, line))
            if (!line.empty())
                last = line;
        return last;
    }

    std::string dir_;
    std::string socket_;
    std::string reason_;
    pid_t pid_ = -1;
};

} // namespace tarovex_test
