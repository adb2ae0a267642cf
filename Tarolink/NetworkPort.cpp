#include "Tarolink/NetworkPort.h"

#include "Tarolink/Diagnostics.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <utility>

namespace Tarolink {

thread_local int tNetworkLastError = 0;

int msLeft(NetworkClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - NetworkClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

namespace {

constexpr std::size_t kReadBlock = 16384;

const char* commandName(std::uint8_t command) {
    switch (command) {
    case ComPortClient::SET_BAUDRATE:
        return "SET-BAUDRATE";
    case ComPortClient::SET_DATASIZE:
        return "SET-DATASIZE";
    case ComPortClient::SET_PARITY:
        return "SET-PARITY";
    case ComPortClient::SET_STOPSIZE:
        return "SET-STOPSIZE";
    case ComPortClient::SET_CONTROL:
        return "SET-CONTROL";
    case ComPortClient::SET_LINESTATE_MASK:
        return "SET-LINESTATE-MASK";
    case ComPortClient::SET_MODEMSTATE_MASK:
        return "SET-MODEMSTATE-MASK";
    case ComPortClient::PURGE_DATA:
        return "PURGE-DATA";
    default:
        return "a request";
    }
}

// What an unanswered request is remembered as: SET-CONTROL by what it drives (a server may
// answer flow control and ignore DTR), every other request by its command.
int requestKind(const ComPortClient::Request& r) {
    if (r.command != ComPortClient::SET_CONTROL || r.bytes.size() < 5)
        return r.command;
    const std::uint8_t v = r.bytes[4];
    const int group = v >= 4 && v <= 6 ? 1 : v >= 7 && v <= 9 ? 2 : v >= 10 && v <= 12 ? 3 : 0;
    return ComPortClient::SET_CONTROL * 16 + group;
}

// The log's name of a request kind.
std::string kindName(const ComPortClient::Request& r) {
    const int kind = requestKind(r);
    if (r.command != ComPortClient::SET_CONTROL)
        return commandName(r.command);
    static const char* const what[] = {" (flow control)", " (BREAK)", " (DTR)", " (RTS)"};
    return std::string(commandName(r.command)) + what[kind % 16];
}

} // namespace

NetworkPort::~NetworkPort() {
    if (fd >= 0)
        ::close(fd);
    if (wakeFd >= 0)
        ::close(wakeFd);
}

bool NetworkPort::send(const std::vector<std::uint8_t>& bytes, int timeoutMs) {
    std::lock_guard lock(sendMutex);
    const auto deadline = NetworkClock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, msLeft(deadline)) <= 0)
                return false;
            continue;
        }
        tNetworkLastError = errno;
        gone = true;
        return false;
    }
    return true;
}

int NetworkPort::fill(bool awaitingAnswer) {
    if (!awaitingAnswer && buffered() >= kMaxBuffered)
        return 0;
    std::uint8_t raw[kReadBlock];
    ssize_t n;
    while ((n = ::recv(fd, raw, sizeof raw, MSG_DONTWAIT)) < 0 && errno == EINTR) {
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    if (n <= 0) {
        if (n < 0)
            tNetworkLastError = errno;
        gone = true;
        return -1;
    }
    if (head > 0) {
        rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(head));
        head = 0;
    }
    if (!rfc2217) {
        rx.insert(rx.end(), raw, raw + n);
    } else {
        client.receive(raw, static_cast<std::size_t>(n), rx, reply);
        lineErrors |= client.takeLineErrors();
        if (!reply.empty()) {
            std::vector<std::uint8_t> out;
            out.swap(reply);
            send(out, 1000);
        }
    }
    if (rx.size() > kMaxBuffered) {
        // Down to half at once, so a long flood moves each byte about once.
        const std::size_t dropped = rx.size() - kMaxBuffered / 2;
        rx.erase(rx.begin(), rx.end() - static_cast<std::ptrdiff_t>(kMaxBuffered / 2));
        overflowed = true;
        if (awaitingAnswer)
            droppedWhileAwaiting += dropped;
    }
    return static_cast<int>(n);
}

void NetworkPort::dropReceived() {
    // Only what the socket held now: a server that keeps sending would hold the flush forever.
    int queued = 0;
    if (::ioctl(fd, FIONREAD, &queued) != 0)
        queued = 0;
    for (long dropped = 0; !gone && dropped < queued;) {
        rx.clear();
        head = 0;
        const int n = fill(true);
        if (n <= 0)
            break;
        dropped += n;
    }
    // The buffer may have grown while the open waited for its server; its memory goes back.
    std::vector<std::uint8_t>().swap(rx);
    head = 0;
    overflowed = false;
}

void NetworkPort::reportDropped() {
    std::size_t dropped;
    {
        std::lock_guard lock(mutex);
        dropped = std::exchange(droppedWhileAwaiting, 0);
    }
    if (dropped > 0)
        diagnostic(name + ": the server sent more than " + std::to_string(kMaxBuffered >> 20) +
                   " MiB while an answer was awaited; the oldest " + std::to_string(dropped) +
                   " bytes of it were dropped");
}

bool NetworkPort::pollInput(int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int r;
    while ((r = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return r > 0;
}

bool NetworkPort::exchange(const std::vector<ComPortClient::Request>& requests, int answerMs) {
    std::map<std::uint8_t, unsigned> expected;
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard lock(mutex);
        for (const auto& r : requests) {
            if (!unanswered->contains(requestKind(r))) {
                auto [it, fresh] = expected.try_emplace(r.command, client.acknowledgements(r.command));
                ++it->second;
            }
            bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
        }
    }
    if (!send(bytes, answerMs))
        return false;
    const auto answered = [&] {
        for (const auto& [command, count] : expected)
            if (client.acknowledgements(command) < count)
                return false;
        return true;
    };
    if (awaitServer(answered, NetworkClock::now() + std::chrono::milliseconds(answerMs)))
        return true;
    if (gone)
        return false;
    std::lock_guard lock(mutex);
    for (const auto& r : requests) {
        const auto it = expected.find(r.command);
        if (it == expected.end() || client.acknowledgements(r.command) >= it->second)
            continue;
        if (unanswered->add(requestKind(r)))
            diagnostic(name + ": the server did not answer " + kindName(r) + " within " +
                       std::to_string(answerMs) + " ms; going on without waiting for it");
    }
    return true;
}

} // namespace Tarolink
