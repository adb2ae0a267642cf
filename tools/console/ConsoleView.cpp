#include "ConsoleView.h"

#include <QDateTime>

namespace tarovex::console {

QByteArray valueRecord(const QString& value, ValueFormat format) {
    if (format == ValueFormat::NullTerminated)
        return value.toUtf8() + '\0';
    // The common value is plain ASCII without a control character: its bytes as they are,
    // in one allocation.
    bool ascii = true;
    bool control = false;
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        if (control)
            break;
        ascii = ascii && u < 0x80;
    }
    if (!control && ascii) {
        QByteArray record(value.size() + 1, Qt::Uninitialized);
        char* out = record.data();
        for (const QChar c : value)
            *out++ = char(c.unicode());
        *out = '\n';
        return record;
    }
    if (!control)
        return value.toUtf8() + '\n';
    // A CR or LF inside a value (a scanner's suffix) must not split it over two lines.
    QString readable;
    readable.reserve(value.size());
    for (const QChar c : value) {
        if (c.category() == QChar::Other_Control)
            readable += u'<' + QString::number(c.unicode()) + u'>';
        else
            readable += c;
    }
    return readable.toUtf8() + '\n';
}

ConsoleView::ConsoleView(StreamWriter& values, StreamWriter& log, std::optional<worker::Ignorer> ignorer,
                         bool logLines, ValueFormat format)
    : values_(values), log_(log), ignorer_(std::move(ignorer)), logLines_(logLines), format_(format) {}

void ConsoleView::log(const QString& time, const QString& text) {
    log_.write((time + u' ' + text + u'\n').toUtf8());
}

void ConsoleView::logEvent(const QString& text) {
    log(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss")), text);
}

void ConsoleView::logImportantEvent(const QString& text) {
    logEvent(text);
}

void ConsoleView::dataLineReceived(worker::DataLine line) {
    if (ignorer_)
        ignorer_->process(line);
    if (sound_ && line.hasValue())
        sound_->play();
    if (type_)
        type_(line.getProcessedData());
    if (logLines_)
        log(line.getTimeOfDay(), line.getReadable());
    if (values_.write(valueRecord(line.getProcessedData(), format_))) {
        dropping_ = false;
    } else if (!dropping_ && values_.error() == 0) {
        dropping_ = true;
        logImportantEvent(
            QStringLiteral("Standard output is not being read: values are dropped until it is."));
    }
}

} // namespace tarovex::console
