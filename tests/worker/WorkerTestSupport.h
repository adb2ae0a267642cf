#pragma once

#include "Tarolink/SerialPort.h"
#include "worker/SerialByteSource.h"
#include "worker/WeightWorker.h"
#include "worker/WeightWorkerView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace worker_test {

// The workers deliver through the owner thread's event loop; the tests are that owner.
inline QCoreApplication& application() {
    static int argc = 1;
    static char name[] = "worker_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives as long as the test program
    return *QCoreApplication::instance();
}

// The serial library's port under a worker that reads one (its number names it to the
// driver, which any thread may ask).
inline Tarolink::SerialPort& serialPort(tarovex::worker::WeightWorker& w) {
    return dynamic_cast<tarovex::worker::SerialByteSource&>(w.source()).port();
}

// Runs the event loop until `done` holds; false when `timeoutMs` passed first (a failure,
// never a way to let time go by).
inline bool runUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    application();
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    poll.start(2);
    loop.exec();
    return done();
}

// Everything a worker told its view, in order.
class RecordingView : public tarovex::worker::WeightWorkerView {
public:
    enum class Kind { Log, Important, Connected, Line };
    struct Event {
        Kind kind;
        QString text;
        bool connected = false;
        std::optional<tarovex::reading::DataLine> line;
    };

    void logEvent(const QString& text) override { events.push_back({Kind::Log, text, false, std::nullopt}); }
    void logImportantEvent(const QString& text) override { events.push_back({Kind::Important, text, false, std::nullopt}); }
    void setConnectedInGUI(bool connected) override {
        this->connected = connected;
        events.push_back({Kind::Connected, {}, connected, std::nullopt});
    }
    void dataLineReceived(tarovex::reading::DataLine line) override {
        events.push_back({Kind::Line, {}, false, std::move(line)});
    }

    std::vector<tarovex::reading::DataLine> lines() const {
        std::vector<tarovex::reading::DataLine> out;
        for (const Event& e : events)
            if (e.line)
                out.push_back(*e.line);
        return out;
    }
    QStringList texts(Kind kind) const {
        QStringList out;
        for (const Event& e : events)
            if (e.kind == kind)
                out.append(e.text);
        return out;
    }

    std::vector<Event> events;
    bool connected = false;
};

} // namespace worker_test
