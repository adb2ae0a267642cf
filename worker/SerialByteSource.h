#pragma once

#include "worker/ByteSource.h"

#include <memory>

namespace Tarolink {
class SerialPort;
}

namespace tarovex::worker {

// Any port of the serial library - a local device or a network port - as a run's byte
// source. The capabilities are the library's for the running system, asked once.
class SerialByteSource final : public ByteSource {
public:
    // Takes `port`, which is open.
    explicit SerialByteSource(std::unique_ptr<Tarolink::SerialPort> port);
    ~SerialByteSource() override;
    SerialByteSource(const SerialByteSource&) = delete;
    SerialByteSource& operator=(const SerialByteSource&) = delete;

    std::string name() const override;
    Capabilities capabilities() const override { return capabilities_; }
    int read(std::span<std::uint8_t> buffer) override;
    int readByte() override;
    LineErrors lineErrors() override;
    Wait waitForData(int timeoutMs) override;
    void wakeUp() override;
    bool isGone() override;
    void write(std::span<const std::uint8_t> bytes) override;
    void setLine(Control line, bool on) override;
    bool isLineOn(Status line) override;
    void close() override;
    bool reopen(const std::string& name) override;

    // The library's port, for what a run does not need (tests look at its driver).
    Tarolink::SerialPort& port() { return *port_; }

private:
    std::unique_ptr<Tarolink::SerialPort> port_;
    Capabilities capabilities_;
};

} // namespace tarovex::worker
