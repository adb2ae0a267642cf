#include "typing/desktop/SwayInputs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <xkbcommon/xkbregistry.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarovex::typing {
namespace {

constexpr char ipcMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::uint32_t getInputs = 100;
constexpr std::size_t headerSize = sizeof ipcMagic + 8;
constexpr int ipcTimeoutMs = 500;

// Closes the socket however the exchange ends.
struct Socket {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ~Socket() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Exactly `size` bytes, or false on an error, the end of the stream or the time-out.
bool transfer(int fd, char* data, std::size_t size, bool sending,
              std::chrono::steady_clock::time_point until) {
    while (size > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd p{fd, short(sending ? POLLOUT : POLLIN), 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            return false;
        const ssize_t n = sending ? ::send(fd, data, size, MSG_NOSIGNAL) : ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

std::map<std::string, XkbRuleNames> registryByDescription() {
    std::map<std::string, XkbRuleNames> byDescription;
    rxkb_context* ctx = rxkb_context_new(RXKB_CONTEXT_NO_FLAGS);
    if (!ctx)
        return byDescription;
    if (rxkb_context_parse_default_ruleset(ctx))
        for (rxkb_layout* l = rxkb_layout_first(ctx); l; l = rxkb_layout_next(l)) {
            const char* description = rxkb_layout_get_description(l);
            const char* variant = rxkb_layout_get_variant(l);
            if (description)
                byDescription.emplace(description,
                                      XkbRuleNames{rxkb_layout_get_name(l), variant ? variant : ""});
        }
    rxkb_context_unref(ctx);
    return byDescription;
}

} // namespace

std::optional<XkbRuleNames> layoutByDescription(const std::string& description) {
    static const auto byDescription = registryByDescription();
    const auto it = byDescription.find(description);
    if (it == byDescription.end())
        return std::nullopt;
    return it->second;
}

std::optional<XkbRuleNames> swayActiveLayout(const std::string& inputsJson,
                                             const std::string& preferredInput) {
    const QJsonArray inputs = QJsonDocument::fromJson(QByteArray::fromStdString(inputsJson)).array();
    QString active;
    for (const QJsonValue& v : inputs) {
        const QJsonObject input = v.toObject();
        const QString name = input.value(u"xkb_active_layout_name").toString();
        if (input.value(u"type").toString() != u"keyboard" || name.isEmpty())
            continue;
        if (input.value(u"name").toString().toStdString() == preferredInput) {
            active = name;
            break;
        }
        if (active.isEmpty())
            active = name;
    }
    if (active.isEmpty())
        return std::nullopt;
    return layoutByDescription(active.toStdString());
}

std::optional<std::string> swayInputs(const std::string& socketPath) {
    Socket s;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (s.fd < 0 || socketPath.size() >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    if (::connect(s.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ipcTimeoutMs);
    // Header: the magic, the payload's length and the message type, in the host's byte order.
    char header[headerSize];
    std::memcpy(header, ipcMagic, sizeof ipcMagic);
    const std::uint32_t request[2] = {0, getInputs};
    std::memcpy(header + sizeof ipcMagic, request, sizeof request);
    if (!transfer(s.fd, header, sizeof header, true, until) ||
        !transfer(s.fd, header, sizeof header, false, until) ||
        std::memcmp(header, ipcMagic, sizeof ipcMagic) != 0)
        return std::nullopt;
    std::uint32_t reply[2];
    std::memcpy(reply, header + sizeof ipcMagic, sizeof reply);
    if (reply[1] != getInputs || reply[0] > (16u << 20))
        return std::nullopt;
    std::string payload(reply[0], '\0');
    if (!transfer(s.fd, payload.data(), payload.size(), false, until))
        return std::nullopt;
    return payload;
}

} // namespace tarovex::typing
