#include "JournalExport.h"

#include "journal/ExportFormat.h"
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
    bool events = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--journal-export")
            continue;
        if (a == u"--events") {
            events = true;
            continue;
        }
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
        return fail(QStringLiteral("--journal-export takes --since TIME, --until TIME, --format csv|json and "
                                   "--events only, not '%1'\nTry --help.")
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
        if (events)
            journal::exportEvents(db, from, to, format, out);
        else
            journal::exportJournal(db, from, to, format, out);
    } catch (const journal::JournalError& e) {
        return fail(QString::fromUtf8(e.what()), 1);
    }
    return 0;
}

int journalVerify(const QStringList& args, int outFd) {
    std::optional<journal::JournalDb::SavedHead> saved;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == u"--journal-verify")
            continue;
        if (a == u"--head" && i + 1 < args.size()) {
            const QString& v = args[++i];
            const qsizetype colon = v.indexOf(u':');
            bool number = false;
            const std::int64_t seq = v.left(colon).toLongLong(&number);
            const QByteArray hex = v.mid(colon + 1).toLatin1();
            const QByteArray hash = QByteArray::fromHex(hex);
            if (colon < 0 || !number || hash.size() != 32 || hash.toHex() != hex.toLower())
                return fail(QStringLiteral("--head takes SEQ:HASH as an export or --journal-verify gives it "
                                           "(HASH: 64 hex digits), not '%1'\nTry --help.")
                                .arg(v),
                            2);
            saved = journal::JournalDb::SavedHead{seq, hash};
            continue;
        }
        return fail(
            QStringLiteral("--journal-verify takes --head SEQ:HASH only, not '%1'\nTry --help.").arg(a), 2);
    }
    const QString path = journal::JournalDb::defaultPath();
    if (!QFileInfo::exists(path))
        return fail(QStringLiteral("there is no journal at %1 to verify").arg(path), 2);
    journal::ChainCheck check;
    std::int64_t sealedNow = 0;
    try {
        journal::JournalDb db(path);
        sealedNow = db.sealedOnOpen();
        check = db.verifyChain(saved);
    } catch (const journal::JournalError& e) {
        return fail(QString::fromUtf8(e.what()), 2);
    }
    QString report;
    if (sealedNow > 0)
        report +=
            QStringLiteral("%1 readings written before the hash chain were sealed now.\n").arg(sealedNow);
    if (check.sealedRows > 0)
        report += QStringLiteral(
                      "%1 readings written before the hash chain, up to seq %2 of station %3, were sealed "
                      "on %4: they are vouched for from then on only.\n")
                      .arg(check.sealedRows)
                      .arg(check.sealedUpTo->seq)
                      .arg(check.sealedUpTo->station, journal::isoTime(check.sealedAtMs));
    if (check.anchor)
        report += QStringLiteral("Older readings were pruned; the chain begins after seq %1 of station %2.\n")
                      .arg(check.anchor->seq)
                      .arg(check.anchor->station);
    if (!check.note.isEmpty())
        report += u'(' + check.note + QStringLiteral(")\n");
    if (check.intact) {
        report += QStringLiteral("The journal is intact: %1 readings verified.\n").arg(check.rows);
        if (check.head)
            report += QStringLiteral(
                          "Head: seq %1 of station %2, hash %3 (keep it; --head %1:%3 checks it later)\n")
                          .arg(check.head->seq)
                          .arg(check.head->station, QString::fromLatin1(check.head->hash.toHex()));
    } else {
        report += QStringLiteral("The journal was altered at seq %1 of station %2: %3 (%4 readings before it "
                                 "verified).\n")
                      .arg(check.seq)
                      .arg(check.station, check.problem)
                      .arg(check.rows);
    }
    if (check.events.intact)
        report += QStringLiteral("The record of runs and settings changed is intact: %1 events verified.\n")
                      .arg(check.events.rows);
    else
        report += QStringLiteral("The record of runs and settings changed was altered at event %1: %2 (%3 "
                                 "events before it verified).\n")
                      .arg(check.events.id)
                      .arg(check.events.problem)
                      .arg(check.events.rows);
    QFile out;
    if (out.open(outFd, QIODevice::WriteOnly | QIODevice::Unbuffered))
        out.write(report.toUtf8());
    return check.intact && check.events.intact ? 0 : 1;
}

} // namespace tarovex::console
