#pragma once

#include "journal/ExportFormat.h"
#include "journal/JournalDb.h"
#include "journal/RecordThread.h"

#include <QFile>

#include <chrono>
#include <functional>
#include <memory>

namespace tarovex::journal {

// The journal as a sink: each group is one transaction; maintenance applies the retention.
class JournalSink : public RecordSink {
public:
    struct Options {
        QString station;
        int days = 30;
        std::int64_t maxBytes = 500LL << 20;
        bool publish = false; // marks the readings for MQTT publishing
    };
    // Takes an open journal (opened by the caller, so that it hears at once when it fails).
    // `committed` hears the last seq of each group written (may be empty).
    JournalSink(std::unique_ptr<JournalDb> db, Options options, reading::EventLog* log,
                std::function<void(std::int64_t lastSeq)> committed = {});

    void write(std::span<const Reading> group) override;
    void maintain() override;

private:
    std::unique_ptr<JournalDb> db_;
    Options options_;
    reading::EventLog* log_;
    std::function<void(std::int64_t)> committed_;
    bool failing_ = false;
    std::chrono::steady_clock::time_point nextPrune_{};
    std::chrono::seconds pruneBackOff_{};
};

// The live CSV file: each reading appended as it arrives to the file its pattern names for
// the reading's local date (%Y, %m, %d, %H, %%; a leading ~ is the home folder); a new or
// empty file starts with the header row; a file begun with the header of an earlier version
// (before the reason or the label column) goes on with its columns. A file that cannot be
// written is reported once (again only after it worked in between); the readings go on to
// the other sinks.
class LiveCsvFile : public RecordSink {
public:
    LiveCsvFile(QString pattern, QString station, reading::EventLog* log);

    void write(std::span<const Reading> group) override;

    // The pattern filled in for a local date and time.
    static QString expand(const QString& pattern, const QDateTime& local);

private:
    bool openFor(const QString& path);

    QString pattern_;
    QString station_;
    reading::EventLog* log_;
    QFile file_;
    CsvEnd end_ = CsvEnd::Output; // the last column of the open file
    QString failedPath_;
};

} // namespace tarovex::journal
