#include "ConsoleView.h"

#include <QDateTime>
#include <QTime>

#include <unistd.h>

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

void ConsoleLog::write(const QString& time, const QString& text) {
    log_.write((time + u' ' + prefix_ + text + u'\n').toUtf8());
}

void ConsoleLog::logEvent(const QString& text) {
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss"));
    for (const QString& part : text.split(u'\n'))
        write(time, part);
}

void ConsoleLog::line(const reading::DataLine& line) {
    if (logLines_)
        write(line.getTimeOfDay(), line.getReadable());
}

void ConsoleLog::unstableLine(const reading::DataLine& line) {
    if (logLines_)
        write(line.getTimeOfDay(), QStringLiteral("(unstable) ") + line.getReadable());
}

void StandardErrorLog::logEvent(const QString& text) {
    const QByteArray line = (QTime::currentTime().toString(u"HH:mm:ss") + u' ' + text + u'\n').toUtf8();
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
}

void ConsoleNotifier::show(Kind kind, const QString& title, const QString& message) {
    const QString text = kind == Kind::Warning ? title + QStringLiteral(": ") + message : message;
    if (kind == Kind::Info)
        log_.logEvent(text);
    else
        log_.logImportantEvent(text);
}

void ValueWriter::reading(const reading::DataLine& line, ReadingOutcome outcome) {
    static const QString none;
    const QByteArray record =
        valueRecord(outcome == ReadingOutcome::Value ? line.getProcessedData() : none, format_);
    if (values_.write(tag_.isEmpty() ? record : tag_ + record)) {
        dropping_ = false;
    } else if (!dropping_ && values_.error() == 0) {
        dropping_ = true;
        log_.logImportantEvent(
            QStringLiteral("Standard output is not being read: values are dropped until it is."));
    }
}

} // namespace tarovex::console
