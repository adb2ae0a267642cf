#pragma once

#include "tarovex/log/LogLine.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <mutex>

namespace tarovex {

// The message log's lines on their way to the display. Any thread may append; the lines are
// handed over on the thread this object lives on (the UI thread), in order, in batches at
// most every batchIntervalMs, so that a fast instrument costs one document update per batch
// instead of one per line. Only the newest maxLines are kept while waiting: the display keeps
// no more than that either.
class MessageLog : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultMaxLines = 10000;
    static constexpr int batchIntervalMs = 40;

    explicit MessageLog(int maxLines = defaultMaxLines, QObject* parent = nullptr);

    int maxLines() const { return maxLines_; }

    // Any thread.
    void append(LogLine line);
    // The lines not yet handed over, oldest first (UI thread; also empties the queue).
    QList<LogLine> takePending();
    // Lines dropped unseen because more than maxLines were waiting.
    qint64 droppedLines() const;

signals:
    // A batch is waiting; take it with takePending(). UI thread.
    void linesReady();

private:
    void schedule();

    const int maxLines_;
    mutable std::mutex mutex_;
    std::deque<LogLine> pending_; // under mutex_
    bool scheduled_ = false;      // under mutex_
    qint64 dropped_ = 0;          // under mutex_
    QTimer timer_;
};

} // namespace tarovex
