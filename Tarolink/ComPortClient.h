#pragma once

#include "Tarolink/TelnetParser.h"

#include <array>
#include <cstdint>
#include <vector>

namespace Tarolink {

class SerialConfig;

// The client side of the Telnet COM-PORT option (RFC 2217) without any I/O: option
// negotiation (COM-PORT, BINARY, SUPPRESS-GO-AHEAD; everything else refused), the
// requests for the serial settings and modem lines, and what the server reported back
// (acknowledgements, modem and line state). The driver feeds it the bytes it receives and
// sends what it is given. Not thread-safe; its owner serialises calls.
class ComPortClient : private TelnetParser::Handler {
public:
    static constexpr std::uint8_t OPT_BINARY = 0;
    static constexpr std::uint8_t OPT_SGA = 3;
    static constexpr std::uint8_t OPT_COM_PORT = 44;

    // Client-to-server commands; the server answers each with the command + 100.
    enum Command : std::uint8_t {
        SET_BAUDRATE = 1,
        SET_DATASIZE = 2,
        SET_PARITY = 3,
        SET_STOPSIZE = 4,
        SET_CONTROL = 5,
        NOTIFY_LINESTATE = 6,
        NOTIFY_MODEMSTATE = 7,
        SET_LINESTATE_MASK = 10,
        SET_MODEMSTATE_MASK = 11,
        PURGE_DATA = 12,
    };
    static constexpr std::uint8_t kServerOffset = 100;

    // SET-CONTROL values.
    enum Control : std::uint8_t {
        FLOW_NONE = 1,
        FLOW_XONXOFF = 2,
        FLOW_HARDWARE = 3,
        BREAK_ON = 5,
        BREAK_OFF = 6,
        DTR_ON = 8,
        DTR_OFF = 9,
        RTS_ON = 11,
        RTS_OFF = 12,
        INBOUND_NONE = 14,
        INBOUND_XONXOFF = 15,
        INBOUND_HARDWARE = 16,
        INBOUND_DTR = 18,
        FLOW_DSR = 19,
    };

    // Modem state bits of NOTIFY-MODEMSTATE.
    static constexpr int MODEM_CD = 0x80;
    static constexpr int MODEM_RI = 0x40;
    static constexpr int MODEM_DSR = 0x20;
    static constexpr int MODEM_CTS = 0x10;
    // Line state bits of NOTIFY-LINESTATE worth reporting.
    static constexpr int LINE_BREAK = 0x10;
    static constexpr int LINE_FRAMING = 0x08;
    static constexpr int LINE_PARITY = 0x04;
    static constexpr int LINE_OVERRUN = 0x02;

    // What opens the session: WILL COM-PORT, and BINARY and SUPPRESS-GO-AHEAD both ways.
    std::vector<std::uint8_t> start();

    // Parses bytes from the server: data goes to the end of `data`, answers the server is
    // owed (option replies) to the end of `reply`.
    void receive(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                 std::vector<std::uint8_t>& reply);

    // Data for the server, with 0xFF doubled (and CR followed by NUL while the server has
    // not accepted BINARY from us).
    void encodeData(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& out) const;

    // IAC SB COM-PORT command value IAC SE, value escaped.
    static std::vector<std::uint8_t> request(std::uint8_t command, const std::vector<std::uint8_t>& value);
    // The requests that set the line from `config`: rate, data size, parity, stop size,
    // flow control (outbound and inbound), in that order, each with the command it is.
    struct Request {
        std::uint8_t command;
        std::vector<std::uint8_t> bytes;
    };
    static std::vector<Request> lineRequests(const SerialConfig& config);

    // The server said DO COM-PORT / refused it (WONT or DONT).
    bool comPortAccepted() const { return us_[OPT_COM_PORT] == Yes; }
    bool comPortRefused() const { return comPortRefused_; }
    // Number of answers the server sent to `command`, and the value of the last one.
    unsigned acknowledgements(std::uint8_t command) const { return acks_[command & 0x7F]; }
    const std::vector<std::uint8_t>& lastAnswer(std::uint8_t command) const {
        return answers_[command & 0x7F];
    }
    // The last NOTIFY-MODEMSTATE (0 before any).
    int modemState() const { return modem_; }
    // Line-state error bits reported since the last call, then forgotten.
    int takeLineErrors() {
        const int e = lineErrors_;
        lineErrors_ = 0;
        return e;
    }

private:
    enum OptionState : std::uint8_t { No, WantYes, Yes };

    void data(const std::uint8_t* bytes, std::size_t count) override;
    void command(std::uint8_t verb, std::uint8_t option) override;
    void subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t count) override;

    TelnetParser parser_;
    std::array<OptionState, 256> us_{};  // options we perform
    std::array<OptionState, 256> him_{}; // options the server performs
    bool comPortRefused_ = false;
    bool afterCr_ = false;
    std::array<unsigned, 128> acks_{};
    std::array<std::vector<std::uint8_t>, 128> answers_{};
    int modem_ = 0;
    int lineErrors_ = 0;
    std::vector<std::uint8_t>* data_ = nullptr;
    std::vector<std::uint8_t>* reply_ = nullptr;
};

} // namespace Tarolink
