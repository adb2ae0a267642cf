#pragma once

#include <optional>
#include <string>

namespace Tarolink {

// A port on the network, named "tcp://HOST:PORT" (bytes as they come) or
// "rfc2217://HOST:PORT" (Telnet with the COM-PORT option, which also carries the serial
// settings and modem lines). HOST is a name, an IPv4 address or an IPv6 address in
// brackets ("rfc2217://[::1]:2217").
struct NetworkAddress {
    enum class Protocol { RawTcp, Rfc2217 };

    Protocol protocol = Protocol::RawTcp;
    std::string host; // without brackets
    int port = 0;     // 1..65535

    // True when `name` starts with one of the two schemes (letter case ignored), whether or
    // not the rest is valid: such a name is never a device node.
    static bool isNetworkName(const std::string& name);
    // The address a network name gives; nothing when it is malformed, with the reason in
    // `error` ("no port after the host", ...). Any thread.
    static std::optional<NetworkAddress> parse(const std::string& name, std::string* error = nullptr);
};

} // namespace Tarolink
