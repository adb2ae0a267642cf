#pragma once

#include <netdb.h>

namespace Tarolink {

struct NetworkAddress;

// How a host name is looked up; getaddrinfo's signature (tests slow it down).
using NameLookup = int (*)(const char* host, const char* service, const addrinfo* hints, addrinfo** found);

// A connected, non-blocking TCP socket to `address` (each address the name resolves to in
// turn, within `timeoutMs` in all, the name lookup included), with Nagle off and short
// keepalive intervals; or -1 with the driver's open code (UNKNOWN_HOST, LOOKUP_TIMEOUT,
// REFUSED, NO_ANSWER, OTHER_ERROR) in `code` and the errno behind it, if any, in
// `systemError`.
int connectTcp(const NetworkAddress& address, int timeoutMs, int& code, int& systemError,
               NameLookup lookup = ::getaddrinfo);

} // namespace Tarolink
