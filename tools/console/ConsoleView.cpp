#include "ConsoleView.h"

#include <QDateTime>
#include <QMetaObject>

#include <cerrno>
#include <unistd.h>

namespace tarovex::console {

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

ConsoleView::ConsoleView(int valueFd, int logFd, std::optional<worker::Ignorer> ignorer, bool logLines)
    : valueFd_(valueFd), logFd_(logFd), ignorer_(std::move(ignorer)), logLines_(logLines) {}

void ConsoleView::log(const QString& time, const QString& text) {
    writeAll(logFd_, (time + u' ' + text + u'\n').toUtf8());
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
    if (logLines_)
        log(line.getDateTime().toString(QStringLiteral("HH:mm:ss")), line.getReadable());
    values_ += line.getProcessedData().toUtf8();
    values_ += '\n';
    // One write for the whole batch the worker delivered in this turn of the event loop.
    if (!flushScheduled_) {
        flushScheduled_ = true;
        QMetaObject::invokeMethod(
            &context_, [this] { flush(); }, Qt::QueuedConnection);
    }
}

void ConsoleView::flush() {
    flushScheduled_ = false;
    if (!values_.isEmpty())
        writeAll(valueFd_, values_);
    values_.clear();
}

} // namespace tarovex::console
