#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tarovex_test {

// Runs a program to its end; its exit status, -1 when it could not run or was killed.
inline int runProgram(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// An X server of the test's own: Xvfb on a display it picks itself among the free ones,
// running until the object goes.
class XvfbServer {
public:
    XvfbServer() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::close(fds[0]);
            const int fd = ::dup(fds[1]); // without close-on-exec, for the server
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            const std::string fdText = std::to_string(fd);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-noreset", "-nolisten", "tcp", "-screen",
                     "0", "640x480x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty()) {
            stop();
            throw std::runtime_error("Xvfb did not start");
        }
        display_ = ":" + number;
    }
    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    const std::string& display() const { return display_; }

    // Makes that XKB layout (comma lists for several groups) the server's keyboard layout.
    bool setLayout(const std::string& layout, const std::string& variant = "") const {
        return runProgram({"setxkbmap", "-display", display_, "-layout", layout, "-variant", variant}) == 0;
    }

private:
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    pid_t pid_ = -1;
    std::string display_;
};

} // namespace tarovex_test
