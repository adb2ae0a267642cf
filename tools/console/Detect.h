#pragma once

#include <QStringList>

namespace tarovex::console {

// `--detect`: the window's port detection for scripts. The detection's messages go to
// `logFd` as log lines ("HH:MM:SS text"), the best port alone, on one line, to `outFd`. A
// byte readable on `stopFd` (the pipe of the stop signals; -1 for none) cancels it and
// closes the port under test. Needs a Qt application; returns the exit status: 0 a port
// was found, 1 none was, the detection was stopped or the port could not be written.
int detectPort(const QStringList& ports, int outFd, int logFd, int stopFd);

} // namespace tarovex::console
