#include "reading/PostedLog.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace tarovex::reading {

void PostedLog::post(const QString& text, bool important) {
    if (!log_)
        return;
    QMetaObject::invokeMethod(
        &context_,
        [log = log_, text, important] { important ? log->logImportantEvent(text) : log->logEvent(text); },
        Qt::QueuedConnection);
}

void PostedLog::deliverPending() {
    QCoreApplication::sendPostedEvents(&context_, QEvent::MetaCall);
}

} // namespace tarovex::reading
