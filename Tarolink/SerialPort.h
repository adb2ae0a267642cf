#pragma once

#include "Tarolink/SerialConfig.h"

#include <cstdint>
#include <span>
#include <string>

namespace Tarolink {

class ErrorStatusHandler;

// A serial port. Failures throw PortIOException with the library's fixed texts
// (`<operation>: Port not open`, `<operation> not supported on <OS>`, `<operation> failed`),
// and with the system's error where a system call failed (describe() shows both);
// setters of line values throw PortArgumentException. One thread owns a port at a time;
// only wakeUp() may be called from another thread while it is in use.
//
// A reader thread that should neither spin nor miss a stop request or an unplugged device:
//
//     while (!stopRequested) {
//         const int b = port.getByte();
//         if (b >= 0) { take(b, port.sigParityErr(), port.sigFrameErr()); continue; }
//         switch (port.waitForData(500)) {
//         case WaitResult::DeviceGone: report("device gone"); return;
//         default: break; // DataReady, TimedOut, WokenUp: look at stopRequested again
//         }
//     }
//
// and the thread that stops it sets stopRequested, then calls port.wakeUp().
class SerialPort {
public:
    // Result of waitForData.
    enum class WaitResult {
        DataReady,  // getByte() will return a byte
        TimedOut,   // the time-out passed with nothing received
        WokenUp,    // wakeUp() was called (now or before this wait)
        DeviceGone, // the device hung up or failed; nothing more will come
    };

    virtual ~SerialPort() = default;

    // Opens the port with its configuration and applies it. Throws on failure; the port
    // stays closed.
    virtual void open() = 0;
    // Closes the port; does nothing when it is closed. Throws "ClosePort failed", but the
    // port is closed afterwards in any case.
    virtual void close() = 0;
    // Re-applies the port's own configuration ("configure: Port is not open" when closed).
    virtual void configure() = 0;
    // Applies `config` (kept by reference by the caller's port, see SerialPortLocal).
    virtual void configure(SerialConfig& config) = 0;
    // Closes and re-opens the device, keeping the transmit time-out.
    virtual void reset() = 0;

    // The next received byte 0..255, or -1 when none is waiting (also when the device is
    // gone: ask isDeviceGone()). Never blocks.
    virtual int getByte() = 0;
    // Reads up to buffer.size() bytes without waiting; returns how many.
    virtual int getData(std::span<std::uint8_t> buffer) = 0;
    // Reads up to `count` bytes into buffer[offset...]; refuses a slice that does not fit.
    virtual int getData(std::span<std::uint8_t> buffer, int offset, int count) = 0;
    // Sends one byte ("PutByte failed: <result>").
    virtual void putByte(std::uint8_t byte) = 0;
    // Sends all bytes; throws when fewer were sent.
    virtual void putData(std::span<const std::uint8_t> data) = 0;
    virtual void putData(std::span<const std::uint8_t> data, int count) = 0;
    virtual void putData(std::span<const std::uint8_t> data, int offset, int count) = 0;
    // Sends the text's bytes.
    virtual void putString(const std::string& text) = 0;

    // Discards received / unsent bytes; waits until everything is sent.
    virtual void rxFlush() = 0;
    virtual void txFlush() = 0;
    virtual void txDrain() = 0;
    // Bytes waiting to be read (-1 reported to the error status handler, if any).
    virtual int rxReadyCount() = 0;
    // Bytes still waiting to be sent.
    virtual int txBufCount() = 0;

    // Line and error states. The error states (parity, framing, break) describe the
    // byte most recently taken with getByte/getData.
    virtual bool rxOverflow() = 0;
    virtual bool sigBreak() = 0;
    virtual bool sigCD() = 0;
    virtual bool sigCTS() = 0;
    virtual bool sigDSR() = 0;
    virtual bool sigFrameErr() = 0;
    virtual bool sigOverrun() = 0;
    virtual bool sigParityErr() = 0;
    virtual bool sigRing() = 0;
    virtual void setDTR(bool on) = 0;
    virtual void setRTS(bool on) = 0;
    virtual void sendBreak(int durationMs) = 0;

    virtual void setTimeoutRx(int timeout) = 0;
    virtual void setTimeoutTx(int timeout) = 0;
    virtual int getTimeoutRx() = 0;
    virtual int getTimeoutTx() = 0;

    // Blocks the calling thread until a byte can be taken, `timeoutMs` passes (< 0: no
    // limit), wakeUp() is called or the device goes away. A wakeUp() made while nobody
    // waits is kept for the next wait, so a stop request cannot slip between a check and
    // the wait. Throws "waitForData: Port not open".
    virtual WaitResult waitForData(int timeoutMs) = 0;
    // Makes the current or next waitForData return WokenUp. Any thread; does nothing when
    // the port is closed.
    virtual void wakeUp() = 0;
    // True when the device has gone away (unplugged, hung up, I/O error) and every byte it
    // sent was taken: a getByte() of -1 then means "never again", not "not yet".
    // Throws "isDeviceGone: Port not open".
    virtual bool isDeviceGone() = 0;

    virtual bool isOpen() const = 0;
    // Whether the named capability ("sigCTS", "setRTS", ...) is offered on this system.
    virtual bool isSupported(const std::string& capability) const = 0;

    virtual SerialConfig& getConfig() = 0;
    virtual void setConfig(SerialConfig& config) = 0;
    virtual int getBitRate() const = 0;
    virtual int getDataBits() const = 0;
    virtual int getParity() const = 0;
    virtual int getStopBits() const = 0;
    virtual int getHandshake() const = 0;
    virtual void setBitRate(int value) = 0;
    virtual void setDataBits(int value) = 0;
    virtual void setParity(int value) = 0;
    virtual void setStopBits(int value) = 0;
    virtual void setHandshake(int value) = 0;
    virtual std::string getPortName() const = 0;
    virtual void setPortName(const std::string& name) = 0;
    // Zero-based number of the open device, -1 when closed.
    virtual int getPortNum() const = 0;
    virtual std::string getName() const = 0;
    virtual void setName(const std::string& name) = 0;
    virtual void setErrorStatusHandler(ErrorStatusHandler* handler) = 0;

    virtual bool rdSinceRxBufCheck() const = 0;
    virtual void clearReadSinceRxBufCheck() = 0;
    virtual bool sendSinceTxBufEmpty() const = 0;
    virtual void clearSendSinceTxBufEmpty() = 0;
};

} // namespace Tarolink
