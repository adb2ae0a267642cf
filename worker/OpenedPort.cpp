#include "worker/OpenedPort.h"

#include "Tarolink/RoutingDriver.h"
#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialPortLocal.h"
#include "config/ResourceBundle.h"
#include "worker/SerialByteSource.h"
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

// The serial settings as the log shows them (a port's as it keeps them).
struct LineSettings {
    int bitRate, dataBits, stopBits, parity;
};

OpenedPort prepare(std::unique_ptr<ByteSource> source, bool recording, const LineSettings& settings) {
    OpenedPort opened{std::move(source), recording, {}, std::nullopt};
    ByteSource& s = *opened.source;
    opened.messages.append(config::ResourceBundle::formatPrintf(
        text(WorkerMessages::PORT_OPENED),
        {QString::fromStdString(s.name()), bitRateLabel(settings.bitRate),
         CH::DataBits::getLabel(settings.dataBits), stopBitsText(settings.stopBits),
         CH::Parity::getLabel(settings.parity)}));
    const bool lines = s.capabilities().modemLines;
    if (lines) {
        s.setLine(ByteSource::Control::RTS, false);
        s.setLine(ByteSource::Control::DTR, true);
    }
    const auto onOff = [&](ByteSource::Status line) {
        return lines && s.isLineOn(line) ? QStringLiteral("on") : QStringLiteral("off");
    };
    opened.messages.append(QStringLiteral("RTS: off, DTR: on. DSR: %1, CTS: %2.")
                               .arg(onOff(ByteSource::Status::DSR), onOff(ByteSource::Status::CTS)));
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
    serial.setEveryReport(config.scaleEveryReport);
    // Closed again by its destructor when a later step throws.
    auto port = std::make_unique<Tarolink::SerialPortLocal>(serial);
    port->rxFlush();
    // A USB scale has neither serial settings nor modem lines: the log names its node instead.
    if (Tarolink::RoutingDriver::isScaleName(serial.getPortNameString())) {
        const QString opened = config::ResourceBundle::formatPrintf(
            text(WorkerMessages::SCALE_OPENED),
            {config.getPort(), QString::fromStdString(port->getName(port->getPortNum()))});
        return {std::make_unique<SerialByteSource>(std::move(port)), false, {opened}, std::nullopt};
    }
    const LineSettings shown{port->getBitRate(), port->getDataBits(), port->getStopBits(), port->getParity()};
    return prepare(std::make_unique<SerialByteSource>(std::move(port)), false, shown);
}

OpenedPort openRecording(std::unique_ptr<ByteSource> source, const config::Config& config) {
    return prepare(std::move(source), true,
                   {config.getBitRate(), config.getDataBits(), config.getStopBits(), config.getParity()});
}

} // namespace tarovex::worker
