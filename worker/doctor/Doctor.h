#pragma once

#include "worker/doctor/Finding.h"
#include "worker/doctor/SystemView.h"

#include <QString>
#include <QStringList>

namespace tarovex::worker::doctor {

// What will happen when this computer reads an instrument and types its values, and what is
// in the way: the session and the keyboard backend, uinput's module, rights and udev rule, the
// layout, every port in `ports` (a device: its group, a process holding it; a network
// address: whether it answers and agrees), services that grab new serial ports, and the sound.
Findings checkThisComputer(const SystemView& view, const QStringList& ports);

// Some finding stops reading or typing.
bool blocksReadingOrTyping(const Findings& findings);

// The report as text: a line per finding, each fix under it, and a closing line.
QString formatReport(const Findings& findings);

// The parts, each tested on its own.
Findings checkKeyboard(const SystemView& view);
Findings checkPort(const SystemView& view, const QString& port);
// Looks the host up, connects and, for rfc2217://, offers COM-PORT, each within the view's
// networkLimitMs; says what answered or failed.
Findings checkNetworkPort(const SystemView& view, const QString& port);
Findings checkPortServices(const SystemView& view);
// Each hidraw USB scale (by its descriptor under /sys), whether this user may open it, the fix.
Findings checkScales(const SystemView& view);
Findings checkSound(const SystemView& view);

} // namespace tarovex::worker::doctor
