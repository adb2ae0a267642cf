#include "journal/JournalExport.h"

#include "journal/ExportFormat.h"

#include <QJsonDocument>

namespace tarovex::journal {

std::int64_t exportJournal(JournalDb& db, std::int64_t fromMs, std::int64_t toMs, ExportFormat format,
                           QIODevice& out) {
    const auto put = [&out](const QByteArray& bytes) {
        if (out.write(bytes) != bytes.size())
            throw JournalError("The export cannot be written: " + out.errorString().toStdString());
    };
    if (format == ExportFormat::Csv)
        put(csvHeader(true));
    std::int64_t n = 0;
    db.forEach(fromMs, toMs, [&](const StoredReading& s) {
        if (format == ExportFormat::Csv)
            put(csvRow(s.reading, s.station, s.seq));
        else
            put(QJsonDocument(jsonObject(s)).toJson(QJsonDocument::Compact) + '\n');
        ++n;
    });
    return n;
}

} // namespace tarovex::journal
