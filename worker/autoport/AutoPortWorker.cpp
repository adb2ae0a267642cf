#include "worker/autoport/AutoPortWorker.h"

#include "Tarolink/NetworkAddress.h"
#include "Tarolink/RoutingDriver.h"
#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialPortLocal.h"
#include "config/ResourceBundle.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"
#include "worker/openhint/OpenFailureHint.h"

#include <chrono>
#include <exception>

namespace tarovex::worker {
namespace {

using Tarolink::SerialConfig;
using Tarolink::SerialPort;
using Emphasis = AutoPortWorkerView::Emphasis;

QString text(QLatin1StringView key) {
    return workerBundle().getString(key);
}

// The probe ends when the detection is cancelled during one of its waits.
struct ProbeCancelled {};

// The detection never uses the main window's settings: every instrument is probed alike.
SerialConfig probeConfig(const QString& name) {
    SerialConfig config(name.toStdString());
    config.setBitRate(SerialConfig::BR_9600);
    config.setDataBits(SerialConfig::LN_8BITS);
    config.setParity(SerialConfig::PY_NONE);
    config.setStopBits(SerialConfig::ST_1BITS);
    config.setRxLen(4096);
    config.setTxLen(4096);
    return config;
}

} // namespace

AutoPortWorker::AutoPortWorker(AutoPortWorkerView& view, QStringList portNames)
    : view_(view), portNames_(std::move(portNames)), channel_([this](Report& r) { deliver(r); }, 1024) {}

AutoPortWorker::~AutoPortWorker() {
    if (thread_.joinable()) {
        thread_.request_stop();
        wake_.notify_all();
        thread_.join();
    }
    closePort();
}

void AutoPortWorker::start() {
    if (started_)
        return;
    started_ = true;
    view_.setButtonToCancel();
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
}

bool AutoPortWorker::cancel() {
    if (done_ || cancelled_.exchange(true))
        return false;
    if (!started_) {
        started_ = true;
        channel_.push(Finished{});
        return true;
    }
    thread_.request_stop();
    wake_.notify_all();
    return true;
}

// ---- probing thread -------------------------------------------------------------------

void AutoPortWorker::run(std::stop_token stop) {
    try {
        publish(text(WorkerMessages::AUTO_PORT_DETECTION_STARTED));
        for (const QString& name : portNames_) {
            if (stop.stop_requested())
                break;
            int score = 0;
            publish(config::ResourceBundle::formatMessage(text(WorkerMessages::TESTING_PORT_0), {name}));
            try {
                auto opened = std::make_unique<Tarolink::SerialPortLocal>(probeConfig(name));
                std::lock_guard lock(portMutex_);
                port_ = std::move(opened);
            } catch (const std::exception& e) {
                publish(QString::fromUtf8(e.what()));
                if (const auto hint = openFailureHint(name, e))
                    publish(*hint);
                continue;
            }
            bool cancelledHere = false;
            try {
                probe(*port_, name, stop, score);
            } catch (const ProbeCancelled&) {
                cancelledHere = true;
            } catch (const std::exception&) {
                // The probe of this port ends with the score it reached.
            }
            closePort();
            if (cancelledHere || stop.stop_requested())
                break;
            if (score > bestPortConfidence_) {
                bestPortConfidence_ = score;
                bestPortName_ = name;
            }
            publish(text(WorkerMessages::CONFIDENCE) + u' ' + QString::number(score));
        }
    } catch (const std::exception& e) {
        failure_ = QString::fromUtf8(e.what());
    }
    channel_.push(Finished{});
}

void AutoPortWorker::probe(SerialPort& port, const QString& name, const std::stop_token& stop, int& score) {
    // Whatever happens, the outputs go off again before the port is closed.
    struct LinesOff {
        SerialPort& port;
        ~LinesOff() {
            try {
                port.setDTR(false);
                port.setRTS(false);
            } catch (const std::exception&) {
            }
        }
    } linesOff{port};

    // A USB scale ("hid:") opens only where a device's descriptor declares a scale: the open
    // itself finds it, and it has no modem lines to drive.
    if (Tarolink::RoutingDriver::isScaleName(name.toStdString())) {
        score = 3;
        return;
    }

    // A plain TCP port has no modem lines to drive: an instrument there shows itself only
    // by sending, so it scores 1 when bytes arrive within the probe's usual time.
    const auto address = Tarolink::NetworkAddress::parse(name.toStdString());
    if (address && address->protocol == Tarolink::NetworkAddress::Protocol::RawTcp) {
        for (int i = 0; i < 3 && port.rxReadyCount() <= 0; ++i)
            settle(stop);
        score = port.rxReadyCount() > 0 ? 1 : 0;
        return;
    }

    port.setDTR(false);
    port.setRTS(false);
    settle(stop);
    if (port.sigDSR()) {
        // On although both outputs are off.
        port.setDTR(true);
        port.setRTS(true);
        settle(stop);
        // Held to 1 on COM3, as the detection has always done there.
        score = port.sigDSR() && port.sigCTS() && name != QLatin1String("COM3") ? 3 : 1;
        return;
    }
    port.setDTR(true);
    settle(stop);
    if (port.sigDSR()) {
        port.setRTS(true);
        settle(stop);
        score = port.sigDSR() && port.sigCTS() ? 2 : 1;
        return;
    }
    port.setRTS(true);
    settle(stop);
    score = port.sigCTS() ? 1 : 0;
}

void AutoPortWorker::settle(const std::stop_token& stop) {
    std::unique_lock lock(waitMutex_);
    wake_.wait_for(lock, stop, std::chrono::milliseconds(kSettleMs), [] { return false; });
    if (stop.stop_requested())
        throw ProbeCancelled{};
}

void AutoPortWorker::publish(const QString& message) {
    channel_.push(message);
}

void AutoPortWorker::closePort() {
    std::unique_ptr<SerialPort> port;
    {
        std::lock_guard lock(portMutex_);
        port = std::move(port_);
    }
    if (!port)
        return;
    try {
        port->close();
    } catch (const std::exception&) {
        // closed in any case
    }
}

// ---- owner thread ------------------------------------------------------------------

void AutoPortWorker::deliver(Report& report) {
    if (const QString* message = std::get_if<QString>(&report))
        view_.appendMessage(*message, Emphasis::None);
    else
        complete();
}

void AutoPortWorker::complete() {
    if (done_)
        return;
    if (thread_.joinable())
        thread_.join();
    done_ = true;
    view_.setButtonToClose();
    if (cancelled_)
        view_.appendMessage(text(WorkerMessages::STOPPED), Emphasis::None);
    else if (failure_)
        view_.appendMessage(text(WorkerMessages::EXECUTION_EXCEPTION) + *failure_, Emphasis::None);
    else
        result_ = bestPortName_;
    if (result_) {
        view_.selectBestPort(*result_);
        view_.appendMessage(text(WorkerMessages::BEST_PORT) + u' ' + *result_, Emphasis::Bold);
    } else {
        view_.appendMessage(text(WorkerMessages::COULD_NOT_AUTO_DETECT_PORT), Emphasis::BoldFailure);
    }
    closePort();
    emit finished();
}

} // namespace tarovex::worker
