#include "JournalExport.h"

#include "journal/JournalDb.h"
#include "journal/JournalExport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <iostream>
#include <limits>

namespace tarovex::console {
namespace {

int fail(const QString& message, int status) {
    std::cerr << "tarovex-console: " << message.toStdString() << '\n';
    return status;
}

} // namespace

std::optional<std::int64_t> parseExportTime(const QString& text) {
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return std::nullopt;
        time = date.startOfDay();
    }
    return time.toMSecsSinceEpoch();
}

int journalExport(const QStringList& args, int outFd) {
    std::int64_t from = std::numeric_limits<std::int64_t>::min();
    std::int64_t to = std::numeric_limits<std::int64_t>::max();
    auto format = journal::ExportFormat::Csv;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--journal-export")
            continue;
        if ((a == u"--since" || a == u"--until" || a == u"--format") && i + 1 < args.size()) {
            const QString& v = args[++i];
            if (a == u"--format") {
                if (v != u"csv" && v != u"json")
                    return fail(QStringLiteral("--format takes csv or json, not '%1'\nTry --help.").arg(v),
                                2);
                format = v == u"csv" ? journal::ExportFormat::Csv : journal::ExportFormat::Json;
                continue;
            }
            const auto time = parseExportTime(v);
            if (!time)
                return fail(QStringLiteral("%1 takes a time such as 2026-12-01 or 2026-12-01T08:00:00Z, "
                                           "not '%2'\nTry --help.")
                                .arg(a, v),
                            2);
            (a == u"--since" ? from : to) = *time;
            continue;
        }
        return fail(QStringLiteral("--journal-export takes --since TIME, --until TIME and --format csv|json "
                                   "only, not '%1'\nTry --help.")
                        .arg(a),
                    2);
    }
    const QString path = journal::JournalDb::defaultPath();
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("there is no journal at %1 (no run has recorded a reading yet)").arg(path),
                    1);
    QFile out;
    if (!out.open(outFd, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(QStringLiteral("standard output cannot be written"), 1);
    try {
        journal::JournalDb db(path);
        journal::exportJournal(db, from, to, format, out);
    } catch (const journal::JournalError& e) {
        return fail(QString::fromUtf8(e.what()), 1);
    }
    return 0;
}

} // namespace tarovex::console
