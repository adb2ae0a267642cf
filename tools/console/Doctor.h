#pragma once

#include <QStringList>

namespace tarovex::console {

// --doctor: checks this computer for reading the given ports (none given: the system's
// ports) and typing, writes the report to `out` and returns the exit status: 0 when nothing
// stops reading and typing, 1 otherwise.
int runDoctor(const QStringList& ports, int out);

} // namespace tarovex::console
