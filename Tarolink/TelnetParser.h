#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace Tarolink {

// The byte level of Telnet: splits what a server sends into data, option commands
// (WILL/WONT/DO/DONT) and subnegotiations. A pure state machine: no I/O, no allocation,
// any split of the input into pieces gives the same result. A doubled 0xFF is one data
// byte; other two-byte commands (NOP, GA, ...) are dropped; a subnegotiation longer than
// kMaxSubnegotiation is dropped whole.
class TelnetParser {
public:
    static constexpr std::uint8_t SE = 240;
    static constexpr std::uint8_t SB = 250;
    static constexpr std::uint8_t WILL = 251;
    static constexpr std::uint8_t WONT = 252;
    static constexpr std::uint8_t DO = 253;
    static constexpr std::uint8_t DONT = 254;
    static constexpr std::uint8_t IAC = 255;

    static constexpr std::size_t kMaxSubnegotiation = 64;

    class Handler {
    public:
        virtual ~Handler() = default;
        // A run of data bytes, 0xFF unescaped.
        virtual void data(const std::uint8_t* bytes, std::size_t count) = 0;
        // WILL, WONT, DO or DONT for `option`.
        virtual void command(std::uint8_t verb, std::uint8_t option) = 0;
        // IAC SB option payload IAC SE, the payload unescaped.
        virtual void subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t count) = 0;
    };

    void feed(const std::uint8_t* bytes, std::size_t count, Handler& handler);

private:
    enum class State : std::uint8_t { Data, Iac, Verb, SbOption, Sb, SbIac };

    void command(std::uint8_t byte);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t sbOption_ = 0;
    bool sbOverflow_ = false;
    std::size_t sbLength_ = 0;
    std::array<std::uint8_t, kMaxSubnegotiation> sb_{};
};

} // namespace Tarolink
