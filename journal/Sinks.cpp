#include "journal/Sinks.h"

#include "journal/ExportFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace tarovex::journal {

JournalSink::JournalSink(std::unique_ptr<JournalDb> db, Options options, reading::EventLog* log,
                         std::function<void(std::int64_t)> committed)
    : db_(std::move(db)), options_(std::move(options)), log_(log), committed_(std::move(committed)) {
    try {
        db_->setSizeBound(options_.maxBytes);
    } catch (const JournalError& e) {
        if (log_)
            log_->logImportantEvent(QString::fromUtf8(e.what()));
    }
}

void JournalSink::write(std::span<const Reading> group) {
    try {
        const std::int64_t last = db_->append(group, options_.station, options_.publish);
        failing_ = false;
        if (committed_)
            committed_(last);
    } catch (const JournalError& e) {
        if (!failing_ && log_)
            log_->logImportantEvent(QString::fromUtf8(e.what()));
        failing_ = true;
        return;
    }
    // A flood fills the bound long before the hourly maintenance: checked after each group
    // (the page count and two stat calls). Should a prune not get under the bound (a reader
    // that holds the log, a disk too full for VACUUM), the next waits a second, then twice as
    // long each time up to a minute, rather than follow each group.
    try {
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextPrune_ && db_->overBound(options_.maxBytes)) {
            maintain();
            if (!db_->overBound(options_.maxBytes)) {
                pruneBackOff_ = {};
            } else {
                pruneBackOff_ = std::clamp<std::chrono::seconds>(pruneBackOff_ * 2, std::chrono::seconds(1),
                                                                 std::chrono::seconds(60));
                nextPrune_ = now + pruneBackOff_;
            }
        }
    } catch (const JournalError& e) {
        if (log_)
            log_->logImportantEvent(QString::fromUtf8(e.what()));
    }
}

void JournalSink::maintain() {
    try {
        const auto cutoff = QDateTime::currentMSecsSinceEpoch() - std::int64_t(options_.days) * 86'400'000;
        db_->prune(cutoff, options_.maxBytes);
    } catch (const JournalError& e) {
        if (log_)
            log_->logImportantEvent(QString::fromUtf8(e.what()));
    }
}

LiveCsvFile::LiveCsvFile(QString pattern, QString station, reading::EventLog* log)
    : pattern_(std::move(pattern)), station_(std::move(station)), log_(log) {}

QString LiveCsvFile::expand(const QString& pattern, const QDateTime& local) {
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c != u'%' || i + 1 == pattern.size()) {
            out += c;
            continue;
        }
        const QChar f = pattern[++i];
        if (f == u'Y')
            out += local.toString(QStringLiteral("yyyy"));
        else if (f == u'm')
            out += local.toString(QStringLiteral("MM"));
        else if (f == u'd')
            out += local.toString(QStringLiteral("dd"));
        else if (f == u'H')
            out += local.toString(QStringLiteral("HH"));
        else if (f == u'%')
            out += u'%';
        else
            out += QStringView(pattern).mid(i - 1, 2);
    }
    if (out == u"~" || out.startsWith(QStringLiteral("~/")))
        out = QDir::homePath() + out.mid(1);
    return out;
}

bool LiveCsvFile::openFor(const QString& path) {
    if (file_.isOpen() && file_.fileName() == path)
        return true;
    file_.close();
    file_.setFileName(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // A file begun by an earlier version keeps its columns: a row longer than its header
    // would shift or break what reads it.
    end_ = CsvEnd::Output;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        const QByteArray header = existing.readLine(256);
        for (const CsvEnd earlier : {CsvEnd::Outcome, CsvEnd::Reason, CsvEnd::Label})
            if (header == csvHeader(false, earlier))
                end_ = earlier;
    }
    existing.close();
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file_.size() > 0 || file_.write(csvHeader(false)) >= 0;
}

void LiveCsvFile::write(std::span<const Reading> group) {
    QByteArray rows;
    QString path;
    const auto flushRows = [&] {
        if (rows.isEmpty())
            return;
        const bool ok = openFor(path) && file_.write(rows) == rows.size() && file_.flush();
        if (!ok) {
            if (failedPath_ != path && log_)
                log_->logImportantEvent(
                    QStringLiteral("The live CSV file %1 cannot be written (%2); the readings are not "
                                   "written to it, the run goes on.")
                        .arg(path, file_.errorString()));
            failedPath_ = path;
            file_.close();
        } else {
            failedPath_.clear();
        }
        rows.clear();
    };
    for (const Reading& r : group) {
        const QString p = expand(pattern_, QDateTime::fromMSecsSinceEpoch(r.timeMs));
        if (p != path) {
            flushRows();
            path = p;
            openFor(path); // its columns; a failure is reported by flushRows
        }
        rows += csvRow(r, station_, std::nullopt, end_);
    }
    flushRows();
}

} // namespace tarovex::journal
