#include "worker/OpenedPort.h"

#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialPortLocal.h"
#include "config/ResourceBundle.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <stdexcept>

namespace tarovex::worker {
namespace {

namespace CH = config::ConfigHelper;

QString text(QLatin1StringView key) {
    return workerBundle().getString(key);
}

// The bit rate as shown: the rate of an index, or a literal rate as it stands.
QString bitRateLabel(int bitRate) {
    return CH::BitRates::isValidIndex(bitRate) ? CH::BitRates::getLabel(bitRate) : QString::number(bitRate);
}

// "1 stop bit", "1.5 stop bits", "2 stop bits".
QString stopBitsText(int stopBits) {
    const QString label = CH::StopBits::getLabel(stopBits);
    return label + (label == u"1" ? QStringLiteral(" stop bit") : QStringLiteral(" stop bits"));
}

OpenedPort prepare(std::unique_ptr<Tarolink::SerialPort> port, bool recording) {
    OpenedPort opened{std::move(port), recording, {}, std::nullopt};
    Tarolink::SerialPort& p = *opened.port;
    if (!recording)
        p.rxFlush();
    opened.messages.append(config::ResourceBundle::formatPrintf(
        text(WorkerMessages::PORT_OPENED),
        {QString::fromStdString(p.getPortName()), bitRateLabel(p.getBitRate()),
         CH::DataBits::getLabel(p.getDataBits()), stopBitsText(p.getStopBits()),
         CH::Parity::getLabel(p.getParity())}));
    p.setRTS(false);
    p.setDTR(true);
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    opened.messages.append(
        QStringLiteral("RTS: off, DTR: on. DSR: %1, CTS: %2.").arg(onOff(p.sigDSR()), onOff(p.sigCTS())));
    return opened;
}

} // namespace

OpenedPort openPort(const config::Config& config) {
    if (config.getPort().isEmpty())
        throw std::invalid_argument(text(WorkerMessages::NULL_PORT_ERROR).toStdString());
    Tarolink::SerialConfig serial(config.getPort().toStdString());
    serial.setBitRate(config.getBitRate());
    serial.setDataBits(config.getDataBits());
    serial.setParity(config.getParity());
    serial.setStopBits(config.getStopBits());
    // Closed again by its destructor when a later step throws.
    return prepare(std::make_unique<Tarolink::SerialPortLocal>(serial), false);
}

OpenedPort openRecording(std::unique_ptr<Tarolink::SerialPort> source) {
    return prepare(std::move(source), true);
}

} // namespace tarovex::worker
