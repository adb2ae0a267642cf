#include "Detect.h"

#include "worker/autoport/AutoPortWorker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTime>

#include <cerrno>
#include <memory>
#include <optional>
#include <unistd.h>

namespace tarovex::console {
namespace {

// Whole lines in one write each where the stream allows, so log lines never interleave.
bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The detection without a dialog: no button, the messages as the console's log.
class DetectView : public worker::AutoPortWorkerView {
public:
    explicit DetectView(int logFd) : logFd_(logFd) {}

    void setButtonToCancel() override {}
    void setButtonToClose() override {}
    void selectBestPort(const QString& name) override { best = name; }
    void appendMessage(const QString& text, Emphasis) override {
        writeAll(logFd_, (QTime::currentTime().toString(u"HH:mm:ss") + u' ' + text + u'\n').toUtf8());
    }

    std::optional<QString> best;

private:
    int logFd_;
};

} // namespace

int detectPort(const QStringList& ports, int outFd, int logFd, int stopFd) {
    DetectView view(logFd);
    worker::AutoPortWorker detection(view, ports);
    QEventLoop loop;
    QObject::connect(&detection, &worker::AutoPortWorker::finished, &loop, &QEventLoop::quit);
    std::unique_ptr<QSocketNotifier> stops;
    if (stopFd >= 0) {
        stops = std::make_unique<QSocketNotifier>(stopFd, QSocketNotifier::Read);
        QObject::connect(stops.get(), &QSocketNotifier::activated, &loop, [&] {
            char buffer[16];
            while (::read(stopFd, buffer, sizeof buffer) > 0) {
            }
            detection.cancel();
        });
    }
    detection.start();
    // finished() comes through the event loop, never from start() itself.
    loop.exec();
    if (!view.best)
        return 1;
    if (!writeAll(outFd, (*view.best + u'\n').toLocal8Bit())) {
        view.appendMessage(QStringLiteral("The port could not be written to standard output."), {});
        return 1;
    }
    return 0;
}

} // namespace tarovex::console
