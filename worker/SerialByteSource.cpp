#include "worker/SerialByteSource.h"

#include "Tarolink/SerialPort.h"

#include <exception>

namespace tarovex::worker {

using Tarolink::SerialPort;

SerialByteSource::SerialByteSource(std::unique_ptr<SerialPort> port) : port_(std::move(port)) {
    capabilities_.parityErrors = port_->isSupported("sigParityErr");
    capabilities_.framingErrors = port_->isSupported("sigFrameErr");
    capabilities_.modemLines = port_->isSupported("setDTR") && port_->isSupported("setRTS") &&
                               port_->isSupported("sigDSR") && port_->isSupported("sigCTS");
    // Both drivers wait in poll(), which a hung-up terminal or a closed connection ends.
    capabilities_.signalsLoss = true;
}

SerialByteSource::~SerialByteSource() = default;

std::string SerialByteSource::name() const {
    return port_->getPortName();
}

int SerialByteSource::read(std::span<std::uint8_t> buffer) {
    return port_->getData(buffer);
}

int SerialByteSource::readByte() {
    return port_->getByte();
}

ByteSource::LineErrors SerialByteSource::lineErrors() {
    LineErrors errors;
    errors.parity = capabilities_.parityErrors && port_->sigParityErr();
    errors.framing = capabilities_.framingErrors && port_->sigFrameErr();
    return errors;
}

ByteSource::Wait SerialByteSource::waitForData(int timeoutMs) {
    switch (port_->waitForData(timeoutMs)) {
    case SerialPort::WaitResult::DataReady:
        return Wait::DataReady;
    case SerialPort::WaitResult::TimedOut:
        return Wait::TimedOut;
    case SerialPort::WaitResult::WokenUp:
        return Wait::WokenUp;
    case SerialPort::WaitResult::DeviceGone:
        break;
    }
    return Wait::Gone;
}

void SerialByteSource::wakeUp() {
    port_->wakeUp();
}

bool SerialByteSource::isGone() {
    return port_->isDeviceGone();
}

void SerialByteSource::write(std::span<const std::uint8_t> bytes) {
    port_->putData(bytes);
}

void SerialByteSource::setLine(Control line, bool on) {
    if (line == Control::DTR)
        port_->setDTR(on);
    else
        port_->setRTS(on);
}

bool SerialByteSource::isLineOn(Status line) {
    return line == Status::DSR ? port_->sigDSR() : port_->sigCTS();
}

void SerialByteSource::close() {
    port_->close();
}

bool SerialByteSource::reopen(const std::string& name) {
    if (port_->getPortName() != name)
        port_->setPortName(name);
    try {
        port_->open();
    } catch (const std::exception&) {
        return false; // there, but not ready yet (udev still setting it up)
    }
    try {
        // A device that vanished again at once waits on the next round.
        if (!port_->isDeviceGone())
            return true;
    } catch (const std::exception&) {
    }
    try {
        port_->close();
    } catch (const std::exception&) {
    }
    return false;
}

} // namespace tarovex::worker
