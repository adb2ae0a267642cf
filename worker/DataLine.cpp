#include "worker/DataLine.h"

namespace tarovex::worker {

QDateTime DataLine::getDateTime() const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(instant_.time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count(), Qt::LocalTime);
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

} // namespace tarovex::worker
