#include "journal/ExportFormat.h"

#include "reading/DataLine.h"

#include <QDateTime>
#include <QRegularExpression>

namespace tarovex::journal {
namespace {

// A number as a spreadsheet reads one: sign, digits, one decimal point or comma, exponent.
bool isNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^[+-]?([0-9]+([.,][0-9]*)?|[.,][0-9]+)([eE][+-]?[0-9]+)?$"));
    return number.match(text).hasMatch();
}

// Barcodes are the user's text: a cell that a spreadsheet would take for a formula is written
// with a leading apostrophe, which it shows as text; numbers, negative ones too, stay numbers.
QString inert(const QString& field) {
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (field.isEmpty() || !formulaStarts.contains(field[0]) || isNumber(field))
        return field;
    return u'\'' + field;
}

void appendField(QByteArray& row, const QString& cell) {
    const QString field = inert(cell);
    const QByteArray utf8 = field.toUtf8();
    if (utf8.contains(',') || utf8.contains('"') || utf8.contains('\r') || utf8.contains('\n')) {
        row += '"';
        for (const char c : utf8) {
            if (c == '"')
                row += '"';
            row += c;
        }
        row += '"';
    } else {
        row += utf8;
    }
}

} // namespace

QString isoTime(std::int64_t timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString readableLine(const QByteArray& line) {
    return reading::DataLine::transformControlChars(QString::fromLatin1(line));
}

QByteArray csvHeader(bool withSeq, CsvEnd end) {
    QByteArray header = "time,station,port,instrument,line,value,outcome";
    if (withSeq)
        header += ",seq";
    if (end >= CsvEnd::Reason)
        header += ",reason";
    if (end >= CsvEnd::Label)
        header += ",label";
    if (end >= CsvEnd::Output)
        header += ",output";
    if (withSeq)
        header += ",hash";
    return header + "\r\n";
}

QByteArray csvRow(const Reading& r, const QString& station, std::optional<std::int64_t> seq, CsvEnd end,
                  const QByteArray& hash) {
    QByteArray row;
    row.reserve(96 + r.line.size() * 2 + r.value.size());
    const QString fields[] = {isoTime(r.timeMs),
                              station,
                              r.port,
                              r.instrument,
                              readableLine(r.line),
                              r.value,
                              QString(outcomeName(r.outcome))};
    for (const QString& f : fields) {
        if (!row.isEmpty())
            row += ',';
        appendField(row, f);
    }
    if (seq)
        row += ',' + QByteArray::number(*seq);
    if (end >= CsvEnd::Reason) {
        row += ',';
        appendField(row, r.reason);
    }
    if (end >= CsvEnd::Label) {
        row += ',';
        appendField(row, r.label);
    }
    if (end >= CsvEnd::Output) {
        row += ',';
        appendField(row, r.output);
    }
    if (seq)
        row += ',' + hash.toHex();
    row += "\r\n";
    return row;
}

QJsonObject jsonObject(const StoredReading& s) {
    QJsonObject o{{QStringLiteral("seq"), qint64(s.seq)},
                  {QStringLiteral("time"), isoTime(s.reading.timeMs)},
                  {QStringLiteral("station"), s.station},
                  {QStringLiteral("port"), s.reading.port},
                  {QStringLiteral("instrument"), s.reading.instrument},
                  {QStringLiteral("value"), s.reading.value},
                  {QStringLiteral("line"), readableLine(s.reading.line)},
                  {QStringLiteral("outcome"), QString(outcomeName(s.reading.outcome))},
                  {QStringLiteral("reason"), s.reading.reason},
                  {QStringLiteral("label"), s.reading.label},
                  {QStringLiteral("output"), s.reading.output}};
    if (!s.hash.isEmpty())
        o.insert(QStringLiteral("hash"), QString::fromLatin1(s.hash.toHex()));
    return o;
}

QByteArray csvEventHeader() {
    return "time,station,kind,user,host,version,label,port,instrument,clock_synchronised,setting,old_value,"
           "new_value,hash\r\n";
}

QByteArray csvEventRow(const StoredEvent& s) {
    const RecordEvent& e = s.event;
    const QString clock =
        e.clockSynchronised ? QString::fromLatin1(*e.clockSynchronised ? "true" : "false") : QString();
    const QString fields[] = {isoTime(e.timeMs),
                              s.station,
                              QString(eventKindName(e.kind)),
                              e.user,
                              e.host,
                              e.version,
                              e.label,
                              e.port,
                              e.instrument,
                              clock,
                              e.setting,
                              e.oldValue,
                              e.newValue};
    QByteArray row;
    for (const QString& f : fields) {
        appendField(row, f);
        row += ',';
    }
    return row + s.hash.toHex() + "\r\n";
}

QJsonObject jsonObject(const StoredEvent& s) {
    const RecordEvent& e = s.event;
    QJsonObject o{{QStringLiteral("time"), isoTime(e.timeMs)},
                  {QStringLiteral("station"), s.station},
                  {QStringLiteral("kind"), QString(eventKindName(e.kind))},
                  {QStringLiteral("user"), e.user},
                  {QStringLiteral("host"), e.host},
                  {QStringLiteral("version"), e.version},
                  {QStringLiteral("hash"), QString::fromLatin1(s.hash.toHex())}};
    if (e.kind == RecordEvent::Kind::Run) {
        o.insert(QStringLiteral("label"), e.label);
        o.insert(QStringLiteral("port"), e.port);
        o.insert(QStringLiteral("instrument"), e.instrument);
        o.insert(QStringLiteral("clock_synchronised"),
                 e.clockSynchronised ? QJsonValue(*e.clockSynchronised) : QJsonValue());
    } else {
        o.insert(QStringLiteral("setting"), e.setting);
        o.insert(QStringLiteral("old_value"), e.oldValue);
        o.insert(QStringLiteral("new_value"), e.newValue);
    }
    return o;
}

} // namespace tarovex::journal
