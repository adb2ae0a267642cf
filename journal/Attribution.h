#pragma once

#include "config/Config.h"
#include "journal/JournalDb.h"
#include "journal/RecordEvent.h"

#include <optional>
#include <vector>

namespace tarovex::journal {

// An event of `kind` at this moment, by this operating-system user on this host with this
// program's version.
RecordEvent attributedEvent(RecordEvent::Kind kind);

// Whether the system clock is kept by a time server: the kernel's own flag, which is what
// timedated's NTPSynchronized reports, asked directly so that it needs no daemon and no bus.
// Nothing when the kernel will not tell.
std::optional<bool> clockSynchronised();

// One event per setting whose stored text differs between the two records, the port first,
// then in the settings table's order.
std::vector<RecordEvent> settingChanges(const config::Config& before, const config::Config& after);

// Journals the settings changed from `before` to `after` when `after` keeps a journal, in the
// station `after` names. Returns what went wrong, for the log; empty when it went well.
QString journalSettingChanges(const config::Config& before, const config::Config& after,
                              const QString& journalPath = JournalDb::defaultPath());

} // namespace tarovex::journal
