#include "Tarolink/TcpConnect.h"

#include "Tarolink/NetworkAddress.h"
#include "Tarolink/SerialDriver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace Tarolink {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Short keepalive intervals: a peer that vanished without closing (cable pulled, box off)
// is noticed within about five seconds, as an unplugged USB adapter would be.
void tuneSocket(int fd) {
    const int on = 1;
    const int idleS = 2;
    const int intervalS = 1;
    const int probes = 3;
    const unsigned userTimeoutMs = 5000; // unacknowledged output counts as a dead peer too
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

// A name lookup that its asker may give up on; a late answer is freed by the lookup's thread.
struct Lookup {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool abandoned = false;
    int result = 0;
    int error = 0; // errno of the lookup's own thread, for EAI_SYSTEM
    addrinfo* found = nullptr;
};

// getaddrinfo's answer (the addresses in `found`), or nothing once `deadline` passes: the
// lookup has no time limit of its own (a resolver that does not answer holds it for many
// seconds), so it runs on a thread of its own, which frees a late answer.
std::optional<int> resolveBy(Clock::time_point deadline, const std::string& host, const std::string& service,
                             NameLookup lookup, addrinfo** found, int& error) {
    auto shared = std::make_shared<Lookup>();
    std::thread([shared, host, service, lookup] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        const int gai = lookup(host.c_str(), service.c_str(), &hints, &result);
        const int error = errno;
        std::lock_guard lock(shared->mutex);
        if (shared->abandoned) {
            if (gai == 0)
                ::freeaddrinfo(result);
            return;
        }
        shared->done = true;
        shared->result = gai;
        shared->error = error;
        shared->found = result;
        shared->answered.notify_one();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->answered.wait_until(lock, deadline, [&] { return shared->done; })) {
        shared->abandoned = true;
        return std::nullopt;
    }
    *found = shared->found;
    error = shared->error;
    return shared->result;
}

} // namespace

int connectTcp(const NetworkAddress& address, int timeoutMs, int& code, int& systemError, NameLookup lookup) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo* found = nullptr;
    int lookupError = 0;
    const std::optional<int> gai =
        resolveBy(deadline, address.host, std::to_string(address.port), lookup, &found, lookupError);
    if (!gai) {
        code = SerialDriver::LOOKUP_TIMEOUT;
        systemError = 0;
        return -1;
    }
    if (*gai != 0) {
        code = *gai == EAI_SYSTEM ? SerialDriver::OTHER_ERROR : SerialDriver::UNKNOWN_HOST;
        systemError = *gai == EAI_SYSTEM ? lookupError : 0;
        return -1;
    }
    code = SerialDriver::NO_ANSWER;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0)
            continue;
        int err = 0;
        if (::connect(s, a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                pollfd p{s, POLLOUT, 0};
                int r;
                while ((r = ::poll(&p, 1, msLeft(deadline))) < 0 && errno == EINTR) {
                }
                if (r <= 0) {
                    err = ETIMEDOUT;
                } else {
                    socklen_t len = sizeof err;
                    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                        err = errno;
                }
            }
        }
        if (err == 0) {
            fd = s;
            break;
        }
        ::close(s);
        // A refusal wins over a time-out only when no address answered at all.
        if (err == ECONNREFUSED)
            code = SerialDriver::REFUSED;
        else if (err != ETIMEDOUT && code != SerialDriver::REFUSED)
            code = SerialDriver::OTHER_ERROR, systemError = err;
        if (msLeft(deadline) == 0)
            break;
    }
    ::freeaddrinfo(found);
    if (fd >= 0)
        tuneSocket(fd);
    return fd;
}

} // namespace Tarolink
