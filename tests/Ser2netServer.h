#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace tarovex_test {

inline sockaddr_in loopbackAddress(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A socket bound to a free port on 127.0.0.1, listening with `backlog` unless it is < 0;
// its port in `port`.
inline int loopbackSocket(int& port, int backlog) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopbackAddress(0);
    socklen_t len = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        (backlog >= 0 && ::listen(s, backlog) != 0) ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("no loopback socket");
    port = ntohs(a.sin_port);
    return s;
}

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
inline int freeLoopbackPort() {
    int port = 0;
    ::close(loopbackSocket(port, -1));
    return port;
}

// Starts a connection to 127.0.0.1:port; -1 when it could not even start.
inline int connectLoopback(int port, bool wait) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    const sockaddr_in a = loopbackAddress(port);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(s);
        return -1;
    }
    return s;
}

// Waits (up to 5 s) until something opened the other side of the pseudo-terminal whose
// master is `master`: until then the master reports a hang-up.
inline bool awaitOtherSideOpen(int master) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        pollfd p{master, 0, 0};
        if (::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The serial device server ser2net, run by the test on 127.0.0.1 with a configuration of
// its own that serves one device (a pseudo-terminal) as RFC 2217 or as raw TCP.
class Ser2netServer {
public:
    // `charDelay` false turns off ser2net's wait for more characters before it sends
    // (on by default: about 3 ms of latency at 9600 bit/s).
    Ser2netServer(std::string device, bool rfc2217, bool charDelay = true)
        : device_(std::move(device)), rfc2217_(rfc2217), port_(freeLoopbackPort()) {
        char dirTemplate[] = "/tmp/tarovex-ser2net-XXXXXX";
        if (!::mkdtemp(dirTemplate))
            throw std::runtime_error("no temporary folder");
        dir_ = dirTemplate;
        std::ofstream(dir_ + "/ser2net.yaml")
            << "%YAML 1.1\n---\nconnection: &device\n"
            << "    accepter: " << (rfc2217_ ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port_
            << "\n"
            << "    enable: on\n    options:\n      kickolduser: true\n"
            << (charDelay ? "" : "      chardelay: false\n") << "    connector: serialdev," << device_
            << ",9600n81,local\n";
        start();
    }
    ~Ser2netServer() {
        stop();
        ::unlink((dir_ + "/ser2net.yaml").c_str());
        ::unlink((dir_ + "/ser2net.log").c_str());
        ::rmdir(dir_.c_str());
    }
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    int port() const { return port_; }
    // The port name Tarovex opens it by.
    std::string url() const {
        return (rfc2217_ ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
    }

    // Starts the server and waits until it listens (throws after 5 s).
    void start() {
        if (pid_ > 0)
            return;
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork");
        if (pid_ == 0) {
            const int log = ::open((dir_ + "/ser2net.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
            const std::string config = dir_ + "/ser2net.yaml";
            const std::string pidFile = dir_ + "/ser2net.pid";
            ::execlp("ser2net", "ser2net", "-n", "-u", "-c", config.c_str(), "-P", pidFile.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!listening()) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("ser2net did not start (is the package installed?)");
            }
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("ser2net does not listen");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Kills the server at once, as a power cut of the device server would.
    void stop() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    // Looks at the listening sockets instead of connecting: a connection would open the
    // device and take the terminal's first bytes.
    bool listening() const {
        std::ifstream tcp("/proc/net/tcp");
        char hex[8];
        std::snprintf(hex, sizeof hex, ":%04X", port_);
        for (std::string line; std::getline(tcp, line);)
            if (line.find(std::string("0100007F") + hex) != std::string::npos &&
                line.find(" 0A ") != std::string::npos)
                return true;
        return false;
    }

    std::string device_;
    bool rfc2217_;
    int port_;
    std::string dir_;
    pid_t pid_ = -1;
};

} // namespace tarovex_test
