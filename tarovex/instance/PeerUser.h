#pragma once

#include <QtGlobal>

namespace tarovex {

// True when the process at the other end of the connected local socket `descriptor` runs
// as the same user as this one.
bool peerIsThisUser(qintptr descriptor);

} // namespace tarovex
