#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

// A Wayland compositor of the test's own: sway on its headless backend with the pixman
// renderer (no GPU, no input devices), running until the object goes. Sway refuses to run
// as root, so under root it runs as nobody, with its runtime folder and configuration in a
// folder of its own under /tmp that nobody can reach (the clone may sit in a folder of mode
// 0700). When sway is missing or does not start, available() is false and reason() says why.
// With kernelInput it also reads the machine's input devices through libinput, as on a user's
// session, which takes a seat manager (seatd) and udev; `config` adds to its configuration.
class SwayServer {
public:
    explicit SwayServer(const std::string& config = {}, bool kernelInput = false) {
        if (!onPath("sway")) {
            reason_ = "sway is not installed (Debian package sway)";
            return;
        }
        std::error_code tmpError;
        std::string pattern =
            (std::filesystem::temp_directory_path(tmpError) / "tarovex-sway-XXXXXX").string();
        if (tmpError || !::mkdtemp(pattern.data())) {
            reason_ = "no temporary folder";
            return;
        }
        dir_ = pattern;
        ::chmod(dir_.c_str(), 0755);
        const std::string run = dir_ + "/run", configFile = dir_ + "/config";
        std::ofstream(configFile) << "xwayland disable\noutput * resolution 640x480\n" << config;
        ::chmod(configFile.c_str(), 0644);
        ::mkdir(run.c_str(), 0700);
        const bool root = ::geteuid() == 0;
        if (root) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(run.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                reason_ = "the user nobody cannot own the runtime folder";
                return;
            }
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            const int log =
                ::open((dir_ + "/sway.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
            std::vector<std::string> args;
            if (root)
                args = {"runuser", "-u", "nobody", "--"};
            std::vector<std::string> command = {"env",
                                                "-i",
                                                "XDG_RUNTIME_DIR=" + run,
                                                "HOME=" + dir_,
                                                "WLR_RENDERER=pixman",
                                                "PATH=/usr/bin:/bin"};
            if (kernelInput) {
                // Without WLR_LIBINPUT_NO_DEVICES: with it, wlroots leaves the devices present
                // at start unread until the next input event.
                command.insert(command.end(), {"WLR_BACKENDS=headless,libinput", "LIBSEAT_BACKEND=seatd"});
            } else {
                command.insert(command.end(), {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1"});
            }
            command.insert(command.end(), {"sway", "-c", configFile});
            args.insert(args.end(), command.begin(), command.end());
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            for (const auto& entry : std::filesystem::directory_iterator(run, ec))
                if (entry.is_socket() && entry.path().filename().string().starts_with("wayland-") &&
                    connectable(entry.path().string()))
                    socket_ = entry.path().string();
            if (!socket_.empty())
                return;
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        reason_ = "sway did not start: " + lastLogLine();
    }
    ~SwayServer() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }
    SwayServer(const SwayServer&) = delete;
    SwayServer& operator=(const SwayServer&) = delete;

    bool available() const { return !socket_.empty(); }
    const std::string& reason() const { return reason_; }
    // The Wayland socket's absolute path: what WAYLAND_DISPLAY may hold.
    const std::string& socket() const { return socket_; }

private:
    static bool onPath(const std::string& program) {
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        for (std::size_t start = 0;;) {
            const auto colon = dirs.find(':', start);
            if (::access((dirs.substr(start, colon - start) + "/" + program).c_str(), X_OK) == 0)
                return true;
            if (colon == std::string::npos)
                return false;
            start = colon + 1;
        }
    }
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
        std::ifstream log(dir_ + "/sway.log");
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
