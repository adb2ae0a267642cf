#pragma once

#include "Tarolink/SerialConfig.h"
#include "Tarolink/SerialPort.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace tarovex::worker {

// A captured byte stream (a file, or standard input) read as if it came from a port, so
// that a worker can run it through its own loop. Its end is reported as a vanished device
// once every byte was taken; a read failure throws "getData failed" with the system's
// error. It has no modem lines and no parity or framing state (they read as off).
class RecordedStream : public Tarolink::SerialPort {
public:
    // Opens `path` ("-" for standard input, which is then not closed). The serial settings
    // are only shown. Throws std::runtime_error with a text for the user when the file is
    // missing, a folder or unreadable.
    static std::unique_ptr<RecordedStream> open(const QString& path, const Tarolink::SerialConfig& settings);
    ~RecordedStream() override;
    RecordedStream(const RecordedStream&) = delete;
    RecordedStream& operator=(const RecordedStream&) = delete;

    void open() override {}
    void close() override;
    void configure() override {}
    void configure(Tarolink::SerialConfig& config) override { config_ = config; }
    void reset() override {}

    int getByte() override;
    int getData(std::span<std::uint8_t> buffer) override;
    int getData(std::span<std::uint8_t> buffer, int offset, int count) override;
    // Nothing is ever sent.
    void putByte(std::uint8_t) override {}
    void putData(std::span<const std::uint8_t>) override {}
    void putData(std::span<const std::uint8_t>, int) override {}
    void putData(std::span<const std::uint8_t>, int, int) override {}
    void putString(const std::string&) override {}

    // A recording is never flushed: every byte of it counts.
    void rxFlush() override {}
    void txFlush() override {}
    void txDrain() override {}
    int rxReadyCount() override { return int(end_ - next_); }
    int txBufCount() override { return 0; }

    bool rxOverflow() override { return false; }
    bool sigBreak() override { return false; }
    bool sigCD() override { return false; }
    bool sigCTS() override { return false; }
    bool sigDSR() override { return false; }
    bool sigFrameErr() override { return false; }
    bool sigOverrun() override { return false; }
    bool sigParityErr() override { return false; }
    bool sigRing() override { return false; }
    void setDTR(bool) override {}
    void setRTS(bool) override {}
    void sendBreak(int) override {}

    void setTimeoutRx(int timeout) override { timeoutRx_ = timeout; }
    void setTimeoutTx(int timeout) override { timeoutTx_ = timeout; }
    int getTimeoutRx() override { return timeoutRx_; }
    int getTimeoutTx() override { return timeoutTx_; }

    WaitResult waitForData(int timeoutMs) override;
    void wakeUp() override;
    bool isDeviceGone() override { return ended_ && next_ == end_; }

    bool isOpen() const override { return fd_ >= 0; }
    bool isSupported(const std::string&) const override { return false; }

    Tarolink::SerialConfig& getConfig() override { return config_; }
    void setConfig(Tarolink::SerialConfig& config) override { config_ = config; }
    int getBitRate() const override { return config_.getBitRate(); }
    int getDataBits() const override { return config_.getDataBits(); }
    int getParity() const override { return config_.getParity(); }
    int getStopBits() const override { return config_.getStopBits(); }
    int getHandshake() const override { return config_.getHandshake(); }
    void setBitRate(int value) override { config_.setBitRate(value); }
    void setDataBits(int value) override { config_.setDataBits(value); }
    void setParity(int value) override { config_.setParity(value); }
    void setStopBits(int value) override { config_.setStopBits(value); }
    void setHandshake(int value) override { config_.setHandshake(value); }
    std::string getPortName() const override { return name_; }
    void setPortName(const std::string& name) override { name_ = name; }
    int getPortNum() const override { return isOpen() ? 0 : -1; }
    std::string getName() const override { return name_; }
    void setName(const std::string& name) override { name_ = name; }
    void setErrorStatusHandler(Tarolink::ErrorStatusHandler*) override {}

    bool rdSinceRxBufCheck() const override { return false; }
    void clearReadSinceRxBufCheck() override {}
    bool sendSinceTxBufEmpty() const override { return false; }
    void clearSendSinceTxBufEmpty() override {}

private:
    RecordedStream(int fd, bool ownsFd, bool alwaysReady, std::string name,
                   const Tarolink::SerialConfig& settings);
    // Refills the buffer with what can be read without waiting; false when nothing came.
    bool fill();

    int fd_;
    bool ownsFd_;
    bool alwaysReady_; // a regular file: a read never waits
    int wakeFd_;
    std::string name_;
    Tarolink::SerialConfig config_;
    std::vector<std::uint8_t> buffer_;
    std::size_t next_ = 0;
    std::size_t end_ = 0;
    bool ended_ = false;
    int timeoutRx_ = 0;
    int timeoutTx_ = 0;
};

} // namespace tarovex::worker
