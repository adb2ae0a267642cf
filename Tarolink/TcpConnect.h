#pragma once

namespace Tarolink {

struct NetworkAddress;

// A connected, non-blocking TCP socket to `address` (each address the name resolves to in
// turn, within `timeoutMs` in all), with Nagle off and short keepalive intervals; or -1
// with the driver's open code (UNKNOWN_HOST, REFUSED, NO_ANSWER, OTHER_ERROR) in `code`
// and the errno behind it, if any, in `systemError`.
int connectTcp(const NetworkAddress& address, int timeoutMs, int& code, int& systemError);

} // namespace Tarolink
