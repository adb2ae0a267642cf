#include "Tarolink/ComPortClient.h"

#include "Tarolink/SerialConfig.h"

namespace Tarolink {

namespace {

using P = TelnetParser;

bool weSupport(std::uint8_t option) {
    return option == ComPortClient::OPT_COM_PORT || option == ComPortClient::OPT_BINARY ||
           option == ComPortClient::OPT_SGA;
}

bool serverMaySupport(std::uint8_t option) {
    return option == ComPortClient::OPT_BINARY || option == ComPortClient::OPT_SGA;
}

void put(std::vector<std::uint8_t>& out, std::uint8_t verb, std::uint8_t option) {
    out.insert(out.end(), {P::IAC, verb, option});
}

// Outbound flow control (what stops us sending to the device) and inbound (what stops the
// device sending), from the whole modes and the split-mode bits.
std::pair<std::uint8_t, std::uint8_t> flowValues(int handshake) {
    using C = ComPortClient;
    if (handshake & SerialConfig::HS_SPLIT_MASK) {
        const std::uint8_t out = (handshake & SerialConfig::HS_HARD_OUT)   ? C::FLOW_HARDWARE
                                 : (handshake & SerialConfig::HS_SOFT_OUT) ? C::FLOW_XONXOFF
                                                                           : C::FLOW_NONE;
        const std::uint8_t in = (handshake & SerialConfig::HS_HARD_IN)   ? C::INBOUND_HARDWARE
                                : (handshake & SerialConfig::HS_SOFT_IN) ? C::INBOUND_XONXOFF
                                                                         : C::INBOUND_NONE;
        return {out, in};
    }
    switch (handshake) {
    case SerialConfig::HS_XONXOFF:
        return {C::FLOW_XONXOFF, C::INBOUND_XONXOFF};
    case SerialConfig::HS_CTSRTS:
        return {C::FLOW_HARDWARE, C::INBOUND_HARDWARE};
    case SerialConfig::HS_DSRDTR:
        return {C::FLOW_DSR, C::INBOUND_DTR};
    default:
        return {C::FLOW_NONE, C::INBOUND_NONE};
    }
}

} // namespace

std::vector<std::uint8_t> ComPortClient::start() {
    std::vector<std::uint8_t> out;
    for (std::uint8_t option : {OPT_COM_PORT, OPT_BINARY, OPT_SGA}) {
        us_[option] = WantYes;
        put(out, P::WILL, option);
    }
    for (std::uint8_t option : {OPT_BINARY, OPT_SGA}) {
        him_[option] = WantYes;
        put(out, P::DO, option);
    }
    return out;
}

void ComPortClient::receive(const std::uint8_t* bytes, std::size_t count, std::vector<std::uint8_t>& data,
                            std::vector<std::uint8_t>& reply) {
    data_ = &data;
    reply_ = &reply;
    parser_.feed(bytes, count, *this);
    data_ = reply_ = nullptr;
}

void ComPortClient::data(const std::uint8_t* bytes, std::size_t count) {
    if (him_[OPT_BINARY] == Yes) {
        data_->insert(data_->end(), bytes, bytes + count);
        return;
    }
    // Telnet's text mode sends CR as CR NUL.
    for (std::size_t i = 0; i < count; ++i) {
        if (!(afterCr_ && bytes[i] == 0))
            data_->push_back(bytes[i]);
        afterCr_ = bytes[i] == '\r';
    }
}

void ComPortClient::command(std::uint8_t verb, std::uint8_t option) {
    // The loop-free negotiation: answer a request only when it changes the option's state.
    switch (verb) {
    case P::DO:
        if (us_[option] == WantYes) {
            us_[option] = Yes;
        } else if (us_[option] == No) {
            if (weSupport(option)) {
                us_[option] = Yes;
                put(*reply_, P::WILL, option);
            } else {
                put(*reply_, P::WONT, option);
            }
        }
        break;
    case P::DONT:
        if (option == OPT_COM_PORT)
            comPortRefused_ = true;
        if (us_[option] == Yes)
            put(*reply_, P::WONT, option);
        us_[option] = No;
        break;
    case P::WILL:
        if (him_[option] == WantYes) {
            him_[option] = Yes;
        } else if (him_[option] == No) {
            if (serverMaySupport(option)) {
                him_[option] = Yes;
                put(*reply_, P::DO, option);
            } else {
                put(*reply_, P::DONT, option);
            }
        }
        break;
    case P::WONT:
        if (option == OPT_COM_PORT && us_[OPT_COM_PORT] != Yes)
            comPortRefused_ = true;
        if (him_[option] == Yes)
            put(*reply_, P::DONT, option);
        him_[option] = No;
        break;
    default:
        break;
    }
}

void ComPortClient::subnegotiation(std::uint8_t option, const std::uint8_t* payload, std::size_t count) {
    if (option != OPT_COM_PORT || count == 0 || payload[0] < kServerOffset)
        return;
    const std::uint8_t command = static_cast<std::uint8_t>(payload[0] - kServerOffset);
    if (command >= acks_.size())
        return;
    if (command == NOTIFY_MODEMSTATE && count >= 2)
        modem_ = payload[1];
    if (command == NOTIFY_LINESTATE && count >= 2)
        lineErrors_ |= payload[1] & (LINE_BREAK | LINE_FRAMING | LINE_PARITY | LINE_OVERRUN);
    ++acks_[command];
    answers_[command].assign(payload + 1, payload + count);
}

void ComPortClient::encodeData(const std::uint8_t* bytes, std::size_t count,
                               std::vector<std::uint8_t>& out) const {
    const bool binary = us_[OPT_BINARY] == Yes;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == P::IAC)
            out.push_back(P::IAC);
        else if (!binary && bytes[i] == '\r')
            out.push_back(0);
    }
}

std::vector<std::uint8_t> ComPortClient::request(std::uint8_t command,
                                                 const std::vector<std::uint8_t>& value) {
    std::vector<std::uint8_t> out{P::IAC, P::SB, OPT_COM_PORT, command};
    for (std::uint8_t b : value) {
        out.push_back(b);
        if (b == P::IAC)
            out.push_back(P::IAC);
    }
    out.insert(out.end(), {P::IAC, P::SE});
    return out;
}

std::vector<ComPortClient::Request> ComPortClient::lineRequests(const SerialConfig& config) {
    const auto rate = static_cast<std::uint32_t>(config.getBitRateNumber(config.getBitRate()));
    const std::vector<std::uint8_t> rateBytes{
        static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
        static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
    // The protocol counts parity from NONE = 1 in our order (NONE, ODD, EVEN, MARK, SPACE)
    // and stop bits as 1 or 2.
    const auto dataSize = static_cast<std::uint8_t>(config.getDataBits() + 5);
    const auto parity = static_cast<std::uint8_t>(config.getParity() + 1);
    const auto stopSize = static_cast<std::uint8_t>(config.getStopBits() + 1);
    const auto [outbound, inbound] = flowValues(config.getHandshake());
    return {
        {SET_BAUDRATE, request(SET_BAUDRATE, rateBytes)}, {SET_DATASIZE, request(SET_DATASIZE, {dataSize})},
        {SET_PARITY, request(SET_PARITY, {parity})},      {SET_STOPSIZE, request(SET_STOPSIZE, {stopSize})},
        {SET_CONTROL, request(SET_CONTROL, {outbound})},  {SET_CONTROL, request(SET_CONTROL, {inbound})},
    };
}

} // namespace Tarolink
