#pragma once

#include "journal/JournalExport.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace tarovex::journal {

// An export of the journal on a thread of its own, so that a large one holds up nothing
// (the window goes on reading and typing): the journal is opened there, and the file is
// written through a save file that replaces it only once it is whole.
class ExportTask {
public:
    struct Outcome {
        std::int64_t written = 0;
        bool cancelled = false;
        QString error;         // empty when the file was written
        bool fileFailed = false; // the error is the file's, not the journal's
    };
    static constexpr std::int64_t kProgressEvery = 5000;

    // Starts at once. `progress` hears the count written so far, every kProgressEvery
    // readings; `done` the outcome, once; both on the export's thread.
    ExportTask(QString journalPath, QString file, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
               std::function<void(std::int64_t)> progress, std::function<void(Outcome)> done);
    // Cancels, and waits for the thread; a cancelled export leaves no file behind.
    ~ExportTask();
    ExportTask(const ExportTask&) = delete;
    ExportTask& operator=(const ExportTask&) = delete;

    // Any thread; the export ends at its next reading.
    void cancel() { cancelled_ = true; }

private:
    std::atomic<bool> cancelled_{false};
    std::jthread thread_;
};

} // namespace tarovex::journal
