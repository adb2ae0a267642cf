#include "Tarolink/NetworkAddress.h"

#include <algorithm>
#include <cctype>

namespace Tarolink {

namespace {

constexpr const char* kRaw = "tcp://";
constexpr const char* kRfc2217 = "rfc2217://";

bool startsWithIgnoreCase(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(),
                      [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

std::optional<NetworkAddress> refuse(std::string* error, const char* why) {
    if (error)
        *error = why;
    return std::nullopt;
}

bool validHostName(const std::string& host) {
    return std::all_of(host.begin(), host.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; });
}

} // namespace

bool NetworkAddress::isNetworkName(const std::string& name) {
    return startsWithIgnoreCase(name, kRaw) || startsWithIgnoreCase(name, kRfc2217);
}

std::optional<NetworkAddress> NetworkAddress::parse(const std::string& name, std::string* error) {
    NetworkAddress a;
    std::string rest;
    if (startsWithIgnoreCase(name, kRaw)) {
        rest = name.substr(std::char_traits<char>::length(kRaw));
    } else if (startsWithIgnoreCase(name, kRfc2217)) {
        a.protocol = Protocol::Rfc2217;
        rest = name.substr(std::char_traits<char>::length(kRfc2217));
    } else {
        return refuse(error, "not tcp:// or rfc2217://");
    }
    // A trailing slash is what people paste from a browser; nothing else may follow.
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::string portText;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return refuse(error, "no ']' after the IPv6 address");
        a.host = rest.substr(1, close - 1);
        if (a.host.empty() || a.host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos)
            return refuse(error, "not an IPv6 address in the brackets");
        if (close + 1 >= rest.size() || rest[close + 1] != ':')
            return refuse(error, "no port after the host");
        portText = rest.substr(close + 2);
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos)
            return refuse(error, "no port after the host");
        a.host = rest.substr(0, colon);
        if (a.host.find(':') != std::string::npos)
            return refuse(error, "an IPv6 address needs brackets");
        if (a.host.empty() || !validHostName(a.host))
            return refuse(error, "no valid host name");
        portText = rest.substr(colon + 1);
    }
    if (portText.empty() || portText.size() > 5 ||
        !std::all_of(portText.begin(), portText.end(), [](unsigned char c) { return std::isdigit(c); }))
        return refuse(error, "no valid port number");
    a.port = std::stoi(portText);
    if (a.port < 1 || a.port > 65535)
        return refuse(error, "port number out of range 1..65535");
    return a;
}

} // namespace Tarolink
