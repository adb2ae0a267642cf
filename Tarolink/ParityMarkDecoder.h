#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tarolink {

// One byte taken from the line, with the error mark the terminal driver put before it.
struct ReceivedByte {
    enum class Mark : std::uint8_t {
        None,      // plain data
        Error,     // parity or framing error on this byte (FF 00 x, x != 0)
        ZeroError, // FF 00 00: a break, or a parity/framing error on a 0x00 byte
    };
    std::uint8_t value = 0;
    Mark mark = Mark::None;

    bool operator==(const ReceivedByte&) const = default;
};

// Undoes the marking of termios PARMRK (with ISTRIP off): FF FF is a data byte 0xFF,
// FF 00 x flags x as received with an error, FF 00 00 is a break or an error on 0x00.
// A mark split between two reads is completed by the next call.
class ParityMarkDecoder {
public:
    // Appends the decoded bytes of `data` to `out`.
    void decode(const std::uint8_t* data, std::size_t size, std::vector<ReceivedByte>& out);
    // Forgets a half-read mark (after a flush).
    void reset() { state_ = State::Plain; }
    // True while a mark is incomplete.
    bool pending() const { return state_ != State::Plain; }

private:
    enum class State { Plain, AfterFF, AfterFF00 };
    State state_ = State::Plain;
};

} // namespace Tarolink
