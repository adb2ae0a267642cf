#pragma once

#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tools_test {

// A built program run as a child process with its own environment; the test reads its
// standard output line by line as it comes and its standard error as a whole.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        std::vector<std::string> envText;
        for (const auto& [k, v] : env)
            envText.push_back(k + "=" + v);
        // A sanitizer build's options (its suppressions) hold for the child too.
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(name); value && !env.count(name))
                envText.push_back(std::string(name) + "=" + value);
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork");
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            std::vector<char*> envp;
            for (auto& e : envText)
                envp.push_back(e.data());
            envp.push_back(nullptr);
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Process() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
        ::close(err_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // The next line of standard output (without its newline); nothing when the program
    // closed it or `timeoutMs` passed.
    std::optional<std::string> readLine(int timeoutMs = 10000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto nl = outBuffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = outBuffer_.substr(0, nl);
                outBuffer_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            const int got = pumpBoth(int(std::min<long long>(left.count(), 50)));
            if (got < 0)
                return std::nullopt;
        }
    }

    // Waits until standard error holds `text`; false when `timeoutMs` passed first.
    bool waitForError(const std::string& text, int timeoutMs = 10000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (errText_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            pumpBoth(20);
        }
        return true;
    }

    void signal(int sig) { ::kill(pid_, sig); }

    // From now on standard output is left unread (a stalled reader), or closed (a reader
    // gone).
    void stopReadingOutput() { readOutput_ = false; }
    void closeOutput() {
        ::close(out_);
        out_ = -1;
    }

    // Waits for the end (reading both streams meanwhile); the exit status, or -1 when it
    // did not end in `timeoutMs` or ended by a signal.
    int wait(int timeoutMs = 20000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!status_) {
            int st = 0;
            const pid_t r = ::waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                break;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            pumpBoth(20);
        }
        while (pump(err_, errText_, 0)) {
        }
        while (readOutput_ && pump(out_, outBuffer_, 0)) {
        }
        return *status_;
    }

    // Standard error so far (all of it after wait()).
    const std::string& errorText() { return errText_; }
    // Standard output not yet taken by readLine().
    const std::string& remainingOutput() const { return outBuffer_; }

private:
    // Reads whichever stream has data within `timeoutMs`; -1 when standard output ended.
    int pumpBoth(int timeoutMs) {
        pollfd p[2] = {{readOutput_ ? out_ : -1, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(p, 2, timeoutMs) <= 0)
            return 0;
        if (p[1].revents)
            pump(err_, errText_, 0);
        if (p[0].revents && !pump(out_, outBuffer_, 0))
            return -1;
        return 1;
    }

    // Appends what `fd` has within `timeoutMs`; false when nothing came.
    bool pump(int fd, std::string& into, int timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        into.append(buffer, std::size_t(n));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outBuffer_;
    std::string errText_;
    std::optional<int> status_;
    bool readOutput_ = true;
};

// The environment of a front end run by a test: a home of the test's own (settings, journal),
// nothing else of the caller's.
inline std::map<std::string, std::string> isolatedEnv(const QString& home) {
    return {{"HOME", home.toStdString()},
            {"XDG_CONFIG_HOME", (home + "/config").toStdString()},
            {"PATH", "/usr/bin:/bin"},
            {"LANG", "C.UTF-8"}};
}

} // namespace tools_test
