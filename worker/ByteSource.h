#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace tarovex::worker {

// What a run reads from: the bytes an instrument sends, whatever carries them (a serial
// port, a network port, a recording). Failures throw; the reading thread owns the source
// and only wakeUp() may be called from another thread meanwhile. What a source cannot do
// (line errors, modem lines, coming back) it says in capabilities() and reopen(); the
// defaults below are those of a source that has none of it.
//
// A reader that should neither spin nor miss a stop request or a vanished device:
//
//     while (!stopRequested) {
//         while ((n = source.read(buffer)) > 0) take(buffer, n);
//         if (source.waitForData(500) == ByteSource::Wait::Gone) return;
//     }
//
// and the thread that stops it sets stopRequested, then calls source.wakeUp().
class ByteSource {
public:
    enum class Wait {
        DataReady, // read() will return bytes
        TimedOut,  // the time-out passed with nothing received
        WokenUp,   // wakeUp() was called (now or before this wait)
        Gone,      // the device hung up or failed, or the recording ended; nothing more comes
    };
    // Modem lines the run raises, and the ones an instrument answers on.
    enum class Control { DTR, RTS };
    enum class Status { DSR, CTS };

    // What the source can tell apart; the rest reads as off.
    struct Capabilities {
        bool parityErrors = false;  // lineErrors() reports a byte's parity error
        bool framingErrors = false; // lineErrors() reports a byte's framing error
        bool modemLines = false;    // setLine() and isLineOn() reach a device
        // waitForData returns Gone as soon as the device goes, so a wait needs no time-out
        // to notice it (a station of many idle ports then sleeps until something happens).
        bool signalsLoss = false;
    };
    struct LineErrors {
        bool parity = false;
        bool framing = false;
    };

    virtual ~ByteSource() = default;

    // The name the user knows the source by: the port, the recording's file.
    virtual std::string name() const = 0;
    virtual Capabilities capabilities() const { return {}; }

    // Up to buffer.size() received bytes, without waiting; how many (0: none waits).
    virtual int read(std::span<std::uint8_t> buffer) = 0;
    // The next received byte 0..255, or -1 when none waits; for a source that tells line
    // errors, which are those of one byte.
    virtual int readByte() {
        std::uint8_t byte;
        return read(std::span(&byte, 1)) == 1 ? byte : -1;
    }
    // The errors the byte readByte() returned last arrived with (asked only for the bytes
    // that matter, as asking may fail). Only the errors in capabilities() are reported.
    virtual LineErrors lineErrors() { return {}; }
    // Blocks until a read will return bytes, `timeoutMs` passes (< 0: no limit), wakeUp()
    // is called or the source is gone. A wakeUp() made while nobody waits is kept for the
    // next wait, so a stop request cannot slip between a check and the wait.
    virtual Wait waitForData(int timeoutMs) = 0;
    // Makes the current or next waitForData return WokenUp. Any thread.
    virtual void wakeUp() = 0;
    // True when the source has gone and every byte it had was read: nothing more will come.
    virtual bool isGone() = 0;

    // Sends all of `bytes` to the instrument (requests); throws when fewer went.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    // Modem lines; only with capabilities().modemLines (else std::logic_error).
    virtual void setLine(Control, bool) { throw std::logic_error("setLine: the source has no modem lines"); }
    virtual bool isLineOn(Status) { throw std::logic_error("isLineOn: the source has no modem lines"); }

    // Closes the source; does nothing when it is closed. The source is closed afterwards
    // even when this throws.
    virtual void close() = 0;
    // Opens a closed source again, now under `name` (a device that came back under another
    // node); false when it is not there, or gone again at once. A source that cannot come
    // back (a recording) answers false.
    virtual bool reopen(const std::string& /*name*/) { return false; }
};

} // namespace tarovex::worker
