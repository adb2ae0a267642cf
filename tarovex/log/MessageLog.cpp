#include "tarovex/log/MessageLog.h"

#include <QMetaObject>

namespace tarovex {

MessageLog::MessageLog(int maxLines, QObject* parent) : QObject(parent), maxLines_(maxLines) {
    timer_.setSingleShot(true);
    timer_.setInterval(batchIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &MessageLog::linesReady);
}

void MessageLog::append(LogLine line) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(line));
        while (qsizetype(pending_.size()) > maxLines_) {
            pending_.pop_front();
            ++dropped_;
        }
        if (scheduled_)
            return;
        scheduled_ = true;
    }
    // The timer belongs to the UI thread: start it there.
    QMetaObject::invokeMethod(this, &MessageLog::schedule, Qt::QueuedConnection);
}

void MessageLog::schedule() {
    if (!timer_.isActive())
        timer_.start();
}

QList<LogLine> MessageLog::takePending() {
    std::lock_guard lock(mutex_);
    QList<LogLine> out(std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()));
    pending_.clear();
    scheduled_ = false;
    return out;
}

qint64 MessageLog::droppedLines() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

} // namespace tarovex
