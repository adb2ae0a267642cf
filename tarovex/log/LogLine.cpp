#include "tarovex/log/LogLine.h"

namespace tarovex {
namespace {

QString timePrefix(const QDateTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss ")); // the 24-hour clock, whatever the locale
}

} // namespace

LogLine eventLine(const QDateTime& time, const QString& text, LogStyle style) {
    return {{timePrefix(time) + text + u'\n', style}};
}

LogLine dataLineLog(const reading::DataLine& line) {
    const QString time = line.getTimeOfDay() + u' ';
    const QString raw = line.getReadable();
    const QString& value = line.getProcessedData();
    if (value.isEmpty())
        return {{time + raw + u'\n', LogStyle::Ignored}};

    qsizetype at = raw.indexOf(value);
    if (at < 0)
        at = raw.indexOf(QString(value).replace(u',', u'.'));
    if (at < 0)
        at = raw.indexOf(QString(value).replace(u'.', u','));
    // A match after a control token is in a part of the line the value did not come from.
    if (at < 0 || raw.left(at).contains(u'<'))
        return {{time + raw + u'\n', LogStyle::Unknown}};

    LogLine out{{time, LogStyle::Regular}};
    if (at > 0)
        out.append({raw.left(at), LogStyle::Ignored});
    out.append({raw.mid(at, value.size()), LogStyle::Typed});
    out.append({raw.mid(at + value.size()) + u'\n', LogStyle::Ignored});
    return out;
}

LogLine unstableLineLog(const reading::DataLine& line) {
    return {{line.getTimeOfDay() + u' ' + line.getReadable() + u'\n', LogStyle::Unstable}};
}

} // namespace tarovex
