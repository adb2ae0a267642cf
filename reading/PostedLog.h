#pragma once

#include "reading/EventLog.h"

#include <QObject>

namespace tarovex::reading {

// Hands messages from any thread on to `log` on the thread this object was made on, in
// order; those still queued when it goes are dropped with it. For a part that reports from
// a thread of its own to a log that lives on the run's thread.
class PostedLog : public EventLog {
public:
    explicit PostedLog(EventLog* log) : log_(log) {}
    void logEvent(const QString& text) override { post(text, false); }
    void logImportantEvent(const QString& text) override { post(text, true); }
    // Hands on what is queued now, also without an event loop; on the thread that made this.
    void deliverPending();

private:
    void post(const QString& text, bool important);

    EventLog* log_;
    QObject context_; // receives the messages on the thread that made this
};

} // namespace tarovex::reading
