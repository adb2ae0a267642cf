// The network port's pure parts: port names, the Telnet byte parser and the COM-PORT
// client's negotiation and requests.
#include "Tarolink/ComPortClient.h"
#include "Tarolink/NetworkAddress.h"
#include "Tarolink/SerialConfig.h"
#include "Tarolink/TelnetParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Tarolink;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;

TEST(NetworkAddress, ParsesTheNamesAndRefusesMalformedOnes) {
    struct Row {
        const char* name;
        bool ok;
        bool rfc2217;
        const char* host;
        int port;
    };
    const Row rows[] = {
        {"tcp://192.168.1.20:4001", true, false, "192.168.1.20", 4001},
        {"RFC2217://scale-3.lab.example:2217/", true, true, "scale-3.lab.example", 2217},
        {"rfc2217://[::1]:7000", true, true, "::1", 7000},
        {"tcp://[fe80::1:7000", false},
        {"tcp://::1:7000", false},
        {"tcp://host", false},
        {"tcp://host:", false},
        {"tcp://:4001", false},
        {"tcp://host:0", false},
        {"tcp://host:65536", false},
        {"tcp://host:12ab", false},
        {"tcp://ho st:1", false},
    };
    for (const Row& r : rows) {
        std::string why;
        const auto a = NetworkAddress::parse(r.name, &why);
        EXPECT_TRUE(NetworkAddress::isNetworkName(r.name)) << r.name;
        ASSERT_EQ(a.has_value(), r.ok) << r.name;
        if (!r.ok) {
            EXPECT_FALSE(why.empty()) << r.name;
            continue;
        }
        EXPECT_EQ(a->protocol == NetworkAddress::Protocol::Rfc2217, r.rfc2217) << r.name;
        EXPECT_EQ(a->host, r.host) << r.name;
        EXPECT_EQ(a->port, r.port) << r.name;
    }
    EXPECT_FALSE(NetworkAddress::isNetworkName("/dev/ttyUSB0"));
    EXPECT_FALSE(NetworkAddress::isNetworkName("udp://h:1"));
}

// Everything a parser reports, as one transcript.
struct Transcript : TelnetParser::Handler {
    std::string log;
    Bytes bytes;
    void data(const std::uint8_t* b, std::size_t n) override { bytes.insert(bytes.end(), b, b + n); }
    void command(std::uint8_t verb, std::uint8_t option) override {
        log += std::to_string(verb) + "/" + std::to_string(option) + " ";
    }
    void subnegotiation(std::uint8_t option, const std::uint8_t* p, std::size_t n) override {
        log += "sb" + std::to_string(option) + ":";
        for (std::size_t i = 0; i < n; ++i)
            log += std::to_string(p[i]) + ",";
        log += " ";
    }
};

TEST(TelnetParser, SplitsDataCommandsAndSubnegotiationsHoweverTheInputIsCut) {
    struct Row {
        Bytes in;
        Bytes data;
        std::string log;
    };
    const Row rows[] = {
        {{'a', IAC, IAC, 'b'}, {'a', 0xFF, 'b'}, ""},
        {{'1', IAC, DO, 44, '2'}, {'1', '2'}, "253/44 "},
        {{IAC, SB, 44, 107, 0x30, IAC, SE, 'x'}, {'x'}, "sb44:107,48, "},
        {{IAC, SB, 44, 101, 0, IAC, IAC, 0, 0, IAC, SE}, {}, "sb44:101,0,255,0,0, "},
        {{IAC, 241, 'n', IAC, 249}, {'n'}, ""},                    // NOP, GA dropped
        {{IAC, SB, 44, 1, 2, IAC, WILL, 3, 'z'}, {'z'}, "251/3 "}, // unterminated SB dropped
        {{IAC, SE, 'q'}, {'q'}, ""},                               // stray SE
    };
    for (const Row& r : rows) {
        for (std::size_t cut = 0; cut <= r.in.size(); ++cut) {
            TelnetParser parser;
            Transcript t;
            parser.feed(r.in.data(), cut, t);
            parser.feed(r.in.data() + cut, r.in.size() - cut, t);
            EXPECT_EQ(t.bytes, r.data) << "cut at " << cut;
            EXPECT_EQ(t.log, r.log) << "cut at " << cut;
        }
    }
}

TEST(TelnetParser, DropsAnOverlongSubnegotiationAndGoesOn) {
    Bytes in{IAC, SB, 44, 107};
    in.insert(in.end(), 1000, 0x10);
    in.insert(in.end(), {IAC, SE, 'k', IAC, SB, 44, 107, 0x20, IAC, SE});
    TelnetParser parser;
    Transcript t;
    parser.feed(in.data(), in.size(), t);
    EXPECT_EQ(t.bytes, Bytes{'k'});
    EXPECT_EQ(t.log, "sb44:107,32, ");
}

TEST(ComPortClient, NegotiatesOnlyItsOptionsAndNeverAnswersTwice) {
    ComPortClient c;
    EXPECT_EQ(c.start(), (Bytes{IAC, WILL, 44, IAC, WILL, 0, IAC, WILL, 3, IAC, DO, 0, IAC, DO, 3}));
    struct Row {
        Bytes fromServer;
        Bytes reply;
    };
    const Row rows[] = {
        {{IAC, DO, 44}, {}},                // our own request agreed: nothing to say
        {{IAC, DO, 44}, {}},                // repeated: still nothing
        {{IAC, WILL, 1}, {IAC, DONT, 1}},   // echo refused
        {{IAC, DO, 24}, {IAC, WONT, 24}},   // terminal type refused
        {{IAC, WILL, 0, IAC, WILL, 3}, {}}, // our DO agreed
        {{IAC, WONT, 3}, {IAC, DONT, 3}},   // withdrawn: acknowledged once
        {{IAC, WONT, 3}, {}},
    };
    for (const Row& r : rows) {
        Bytes data, reply;
        c.receive(r.fromServer.data(), r.fromServer.size(), data, reply);
        EXPECT_EQ(reply, r.reply);
        EXPECT_TRUE(data.empty());
    }
    EXPECT_TRUE(c.comPortAccepted());
    EXPECT_FALSE(c.comPortRefused());

    ComPortClient refused;
    refused.start();
    Bytes data, reply;
    const Bytes no{IAC, DONT, 44};
    refused.receive(no.data(), no.size(), data, reply);
    EXPECT_TRUE(refused.comPortRefused());
}

TEST(ComPortClient, KeepsModemStateAnswersAndStripsTextModeNul) {
    ComPortClient c;
    c.start();
    Bytes data, reply;
    // Before BINARY is agreed CR NUL is CR; 0xFF doubled is one byte either way.
    const Bytes text{'1', '\r', 0, IAC, IAC, IAC, SB, 44, 107, 0xB0, IAC, SE, IAC, SB, 44, 102, 7, IAC, SE};
    c.receive(text.data(), text.size(), data, reply);
    EXPECT_EQ(data, (Bytes{'1', '\r', 0xFF}));
    EXPECT_EQ(c.modemState(), ComPortClient::MODEM_CD | ComPortClient::MODEM_DSR | ComPortClient::MODEM_CTS);
    EXPECT_EQ(c.acknowledgements(ComPortClient::SET_DATASIZE), 1u);
    EXPECT_EQ(c.lastAnswer(ComPortClient::SET_DATASIZE), Bytes{7});

    const Bytes binary{IAC, WILL, 0, IAC, DO, 0, '\r', 0, IAC, SB, 44, 106, 0x0C, IAC, SE};
    data.clear();
    c.receive(binary.data(), binary.size(), data, reply);
    EXPECT_EQ(data, (Bytes{'\r', 0}));
    EXPECT_EQ(c.takeLineErrors(), ComPortClient::LINE_FRAMING | ComPortClient::LINE_PARITY);
    EXPECT_EQ(c.takeLineErrors(), 0);

    Bytes out;
    const Bytes payload{'a', 0xFF, '\r'};
    c.encodeData(payload.data(), payload.size(), out);
    EXPECT_EQ(out, (Bytes{'a', 0xFF, 0xFF, '\r'}));
}

TEST(ComPortClient, LineRequestsCarryTheConfiguration) {
    struct Row {
        int rate, dataBits, parity, stopBits, handshake;
        Bytes rateBytes;
        std::uint8_t size, parityValue, stop, outbound, inbound;
    };
    using S = SerialConfig;
    using C = ComPortClient;
    const Row rows[] = {
        {19200,
         S::LN_7BITS,
         S::PY_EVEN,
         S::ST_2BITS,
         S::HS_NONE,
         {0, 0, 0x4B, 0},
         7,
         3,
         2,
         C::FLOW_NONE,
         C::INBOUND_NONE},
        {S::BR_9600,
         S::LN_8BITS,
         S::PY_MARK,
         S::ST_1BITS,
         S::HS_CTSRTS,
         {0, 0, 0x25, 0x80},
         8,
         4,
         1,
         C::FLOW_HARDWARE,
         C::INBOUND_HARDWARE},
        {S::BR_921600,
         S::LN_5BITS,
         S::PY_SPACE,
         S::ST_1BITS,
         S::HS_HARD_IN | S::HS_SOFT_OUT,
         {0, 0x0E, 0x10, 0},
         5,
         5,
         1,
         C::FLOW_XONXOFF,
         C::INBOUND_HARDWARE},
        {S::BR_1200,
         S::LN_8BITS,
         S::PY_ODD,
         S::ST_1BITS,
         S::HS_XONXOFF,
         {0, 0, 0x04, 0xB0},
         8,
         2,
         1,
         C::FLOW_XONXOFF,
         C::INBOUND_XONXOFF},
    };
    for (const Row& r : rows) {
        SerialConfig config("rfc2217://h:1");
        config.setBitRate(r.rate);
        config.setDataBits(r.dataBits);
        config.setParity(r.parity);
        config.setStopBits(r.stopBits);
        config.setHandshake(r.handshake);
        const auto requests = ComPortClient::lineRequests(config);
        ASSERT_EQ(requests.size(), 6u);
        EXPECT_EQ(requests[0].bytes, C::request(C::SET_BAUDRATE, r.rateBytes));
        EXPECT_EQ(requests[1].bytes, C::request(C::SET_DATASIZE, {r.size}));
        EXPECT_EQ(requests[2].bytes, C::request(C::SET_PARITY, {r.parityValue}));
        EXPECT_EQ(requests[3].bytes, C::request(C::SET_STOPSIZE, {r.stop}));
        EXPECT_EQ(requests[4].bytes, C::request(C::SET_CONTROL, {r.outbound}));
        EXPECT_EQ(requests[5].bytes, C::request(C::SET_CONTROL, {r.inbound}));
    }
    // A value byte of 0xFF is doubled inside the request.
    EXPECT_EQ(C::request(C::SET_BAUDRATE, {0, 0, 0xFF, 0}),
              (Bytes{IAC, SB, 44, 1, 0, 0, 0xFF, 0xFF, 0, IAC, SE}));
}

} // namespace
