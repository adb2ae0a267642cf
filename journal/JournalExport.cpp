#include "journal/JournalExport.h"

#include "journal/ExportFormat.h"

#include <QJsonDocument>

namespace tarovex::journal {

namespace {
// Ends a walk through the journal early.
struct Stopped {};

void put(QIODevice& out, const QByteArray& bytes) {
    if (out.write(bytes) != bytes.size())
        throw JournalError("The export cannot be written: " + out.errorString().toStdString());
}
} // namespace

std::int64_t exportJournal(JournalDb& db, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
                           QIODevice& out, const std::function<bool(std::int64_t)>& keepGoing) {
    if (format == ExportFormat::Csv)
        put(out, csvHeader(true));
    std::int64_t n = 0;
    try {
        db.forEach(fromMs, toMs, [&](const StoredReading& s) {
            if (format == ExportFormat::Csv)
                put(out, csvRow(s.reading, s.station, s.seq, CsvEnd::Output, s.hash));
            else
                put(out, QJsonDocument(jsonObject(s)).toJson(QJsonDocument::Compact) + '\n');
            ++n;
            if (keepGoing && !keepGoing(n))
                throw Stopped{};
        });
    } catch (const Stopped&) {
    }
    return n;
}

std::int64_t exportEvents(JournalDb& db, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
                          QIODevice& out) {
    if (format == ExportFormat::Csv)
        put(out, csvEventHeader());
    std::int64_t n = 0;
    db.forEachEvent([&](const StoredEvent& e) {
        if (e.event.timeMs < fromMs || e.event.timeMs >= toMs)
            return;
        put(out, format == ExportFormat::Csv ? csvEventRow(e)
                                        : QJsonDocument(jsonObject(e)).toJson(QJsonDocument::Compact) + '\n');
        ++n;
    });
    return n;
}

} // namespace tarovex::journal
