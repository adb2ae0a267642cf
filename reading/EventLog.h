#pragma once

#include <QString>

namespace tarovex::reading {

// Where a part of a run tells the user what happened: the run's log in the window or the
// console. Each implementation says on which threads it may be called.
class EventLog {
public:
    virtual ~EventLog() = default;
    // A message of the regular kind ("Port ... opened", "Reading stopped.").
    virtual void logEvent(const QString& text) = 0;
    // A message that needs the user's attention (errors, a lost device, unsent data).
    virtual void logImportantEvent(const QString& text) = 0;
};

} // namespace tarovex::reading
