#include "reading/DataLine.h"

namespace tarovex::reading {

QDateTime DataLine::getDateTime() const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(instant_.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count(), Qt::LocalTime);
}

// One conversion per second and thread: converting to local time asks the C library,
// which stats the zone file on every call, and a fast instrument sends thousands of lines
// per second.
QString DataLine::getTimeOfDay() const {
    using namespace std::chrono;
    thread_local sys_seconds second = sys_seconds::min();
    thread_local QString text;
    const sys_seconds s = floor<seconds>(instant_);
    if (s != second) {
        second = s;
        text = QDateTime::fromSecsSinceEpoch(s.time_since_epoch().count(), Qt::LocalTime)
                   .toString(QStringLiteral("HH:mm:ss"));
    }
    return text;
}

QString DataLine::transformControlChars(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u <= 0x7E) {
            out.append(c);
        } else {
            out.append(u'<');
            out.append(QString::number(u));
            out.append(u'>');
        }
    }
    return out;
}

} // namespace tarovex::reading
