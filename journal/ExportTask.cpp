#include "journal/ExportTask.h"

#include <QSaveFile>

namespace tarovex::journal {

ExportTask::ExportTask(QString journalPath, QString file, std::int64_t fromMs, std::int64_t toMs,
                       ExportFormat format, std::function<void(std::int64_t)> progress,
                       std::function<void(Outcome)> done) {
    thread_ = std::jthread([this, journalPath = std::move(journalPath), file = std::move(file), fromMs, toMs, format,
                            progress = std::move(progress), done = std::move(done)] {
        Outcome outcome;
        QSaveFile out(file);
        try {
            if (!out.open(QIODevice::WriteOnly)) {
                outcome.fileFailed = true;
                throw JournalError(out.errorString().toStdString());
            }
            JournalDb db(journalPath);
            outcome.written = exportJournal(db, fromMs, toMs, format, out, [&](std::int64_t n) {
                if (progress && n % kProgressEvery == 0)
                    progress(n);
                return !cancelled_;
            });
            outcome.cancelled = cancelled_;
            if (outcome.cancelled)
                out.cancelWriting();
            else if (!out.commit()) {
                outcome.fileFailed = true;
                throw JournalError(out.errorString().toStdString());
            }
        } catch (const JournalError& e) {
            out.cancelWriting();
            outcome.error = QString::fromUtf8(e.what());
        }
        if (done)
            done(std::move(outcome));
    });
}

ExportTask::~ExportTask() {
    cancel();
}

} // namespace tarovex::journal
