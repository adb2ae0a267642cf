// RFC 2217 ports against a real ser2net on 127.0.0.1 serving a pseudo-terminal; the test
// plays the instrument on the terminal's master side. A relay of the test sits between
// port and server where the test must see the requests the server received.
#include "Tarolink/Diagnostics.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/TelnetParser.h"
#include "TestSupport.h"
#include "tests/Ser2netServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace Tarolink;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Passes one connection through to 127.0.0.1:target unchanged, keeping what each side
// sent; `inject` bytes are sent to the client as if the server had sent them.
class Relay {
public:
    explicit Relay(int target) {
        listen_ = tarovex_test::loopbackSocket(port_, 1);
        thread_ = std::jthread([this, target](std::stop_token stop) { run(stop, target); });
    }
    ~Relay() {
        thread_ = {};
        ::close(listen_);
    }
    std::string url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    Bytes fromClient() {
        std::lock_guard lock(mutex_);
        return fromClient_;
    }
    Bytes fromServer() {
        std::lock_guard lock(mutex_);
        return fromServer_;
    }
    void inject(const Bytes& bytes) {
        std::lock_guard lock(mutex_);
        if (client_ >= 0)
            ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

private:
    void run(const std::stop_token& stop, int target) {
        pollfd l{listen_, POLLIN, 0};
        while (!stop.stop_requested() && ::poll(&l, 1, 50) <= 0) {
        }
        if (stop.stop_requested())
            return;
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = tarovex_test::connectLoopback(target, true);
        {
            std::lock_guard lock(mutex_);
            client_ = client;
        }
        std::uint8_t buffer[65536];
        for (bool open = true; open && !stop.stop_requested();) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2 && open; ++i) {
                if (!p[i].revents)
                    continue;
                const ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    open = false;
                    break;
                }
                std::lock_guard lock(mutex_);
                Bytes& kept = i == 0 ? fromClient_ : fromServer_;
                kept.insert(kept.end(), buffer, buffer + n);
                ::send(p[1 - i].fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL);
            }
        }
        std::lock_guard lock(mutex_);
        client_ = -1;
        ::close(client);
        ::close(server);
    }

    int listen_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    int client_ = -1;
    Bytes fromClient_;
    Bytes fromServer_;
    std::jthread thread_;
};

// The COM-PORT requests or answers (command, value) in what one side sent.
std::vector<Bytes> comPortRequests(const Bytes& sent) {
    struct Collect : TelnetParser::Handler {
        std::vector<Bytes> requests;
        void data(const std::uint8_t*, std::size_t) override {}
        void command(std::uint8_t, std::uint8_t) override {}
        void subnegotiation(std::uint8_t option, const std::uint8_t* p, std::size_t n) override {
            if (option == 44)
                requests.emplace_back(p, p + n);
        }
    } collect;
    TelnetParser parser;
    parser.feed(sent.data(), sent.size(), collect);
    return collect.requests;
}

class Ser2netPort : public ::testing::Test {
protected:
    void SetUp() override {
        SerialPortLocal::reloadLibrary();
        previous_ = setDiagnosticHandler([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    void TearDown() override { setDiagnosticHandler(previous_); }
    int linesContaining(const std::string& text) {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        }));
    }

    tarolink_test::PropertyGuard os_{"TLK_OSNAME", "Linux"};
    tarolink_test::Pty pty;
    tarovex_test::Ser2netServer server{pty.slavePath(), true};
    DiagnosticHandler previous_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

Bytes readAll(SerialPort& port, std::size_t expected) {
    Bytes got;
    std::vector<std::uint8_t> buffer(65536);
    while (got.size() < expected && port.waitForData(5000) == SerialPort::WaitResult::DataReady)
        for (int n; (n = port.getData(buffer)) > 0;)
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    return got;
}

TEST_F(Ser2netPort, SettingsArriveAtTheTerminalAndInTheRequests) {
    Relay relay(server.port());
    SerialConfig config(relay.url());
    config.setBitRate(19200);
    config.setDataBits(SerialConfig::LN_7BITS);
    config.setParity(SerialConfig::PY_EVEN);
    config.setStopBits(SerialConfig::ST_2BITS);
    SerialPortLocal port(config);

    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    // The terminal itself stays 8N; the server was asked for 7 bits and even parity.
    const auto requests = comPortRequests(relay.fromClient());
    EXPECT_NE(std::find(requests.begin(), requests.end(), Bytes{2, 7}), requests.end());
    EXPECT_NE(std::find(requests.begin(), requests.end(), Bytes{3, 3}), requests.end());

    config.setParity(SerialConfig::PY_SPACE);
    config.setStopBits(SerialConfig::ST_1BITS);
    port.configure(config);
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    const auto later = comPortRequests(relay.fromClient());
    EXPECT_EQ(later.size() - requests.size(), requests.size());
    EXPECT_NE(std::find(later.begin() + static_cast<long>(requests.size()), later.end(), Bytes{3, 5}),
              later.end());
}

TEST_F(Ser2netPort, ARequestTheServerIgnoresCostsOneBoundedWaitAndOneLogLine) {
    SerialPortLocal port(SerialConfig(server.url()));
    const auto start = Clock::now();
    port.setDTR(true); // ser2net leaves DTR on a terminal unanswered
    const auto first = Clock::now() - start;
    port.setDTR(false);
    port.setDTR(true);
    const auto rest = Clock::now() - start - first;
    EXPECT_LT(first, std::chrono::seconds(3));
    EXPECT_LT(rest, std::chrono::milliseconds(300));
    EXPECT_EQ(linesContaining("did not answer SET-CONTROL (DTR)"), 1);
    const std::string line = "still works\r";
    pty.write(line);
    EXPECT_EQ(readAll(port, line.size()), Bytes(line.begin(), line.end()));
}

TEST_F(Ser2netPort, HundredThousandLinesArriveIntactAndInOrder) {
    SerialPortLocal port(SerialConfig(server.url()));
    constexpr int lines = 100000;
    std::string sent;
    for (int i = 0; i < lines; ++i)
        sent += "ST,GS,+" + std::to_string(100000 + i) + " g\r\n";
    std::jthread writer([&] { pty.write(sent); });
    const Bytes got = readAll(port, sent.size());
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sent.begin(), sent.end()));
}

TEST_F(Ser2netPort, ALineHoldingFFPassesUnchangedBothWays) {
    SerialPortLocal port(SerialConfig(server.url()));
    const Bytes line{'W', 0xFF, 0xFF, 0xFE, '1', 0xFF, '\r'};
    pty.write(line);
    EXPECT_EQ(readAll(port, line.size()), line);
    port.putData(line);
    EXPECT_EQ(pty.read(line.size()), line);
}

// A pseudo-terminal cannot show a break, so what is seen is the server's side: both
// requests reach it, it answers each (ser2net's answer always says 5), and the line works
// on.
TEST_F(Ser2netPort, ABreakIsTurnedOnAndOffAtTheServerWhichAnswersBoth) {
    Relay relay(server.port());
    SerialPortLocal port(SerialConfig(relay.url()));
    const auto setControlAnswers = [&] {
        const auto answers = comPortRequests(relay.fromServer());
        return std::count_if(answers.begin(), answers.end(), [](const Bytes& a) { return a[0] == 105; });
    };
    const std::size_t requestsBefore = comPortRequests(relay.fromClient()).size();
    const auto answersBefore = setControlAnswers();
    port.sendBreak(50);
    const auto requests = comPortRequests(relay.fromClient());
    EXPECT_EQ(std::vector<Bytes>(requests.begin() + static_cast<long>(requestsBefore), requests.end()),
              (std::vector<Bytes>{{5, 5}, {5, 6}}));
    EXPECT_EQ(setControlAnswers() - answersBefore, 2);
    EXPECT_EQ(linesContaining("did not answer"), 0);
    const std::string line = "after break\r";
    pty.write(line);
    EXPECT_EQ(readAll(port, line.size()), Bytes(line.begin(), line.end()));
    port.putData(Bytes{'k', '\r'});
    EXPECT_EQ(pty.read(2), (Bytes{'k', '\r'}));
}

// Lines still on their way when the port flushes (in the terminal, the server and the
// connection) are dropped, and the next line arrives whole. ser2net reads the terminal 64
// bytes at a time and sends what it holds in hand after its answer to the purge: no more
// than that may come before the next line.
TEST_F(Ser2netPort, AReceiveFlushDropsWhatWasOnItsWayAndTheNextLineArrivesWhole) {
    SerialPortLocal port(SerialConfig(server.url()));
    const int flags = ::fcntl(pty.master(), F_GETFL);
    ::fcntl(pty.master(), F_SETFL, flags | O_NONBLOCK);
    const std::string stale = "ST,GS,+0000.00 g\r\n";
    std::size_t waiting = 0;
    for (ssize_t n; (n = ::write(pty.master(), stale.data(), stale.size())) > 0;) // until it is full
        waiting += static_cast<std::size_t>(n);
    ::fcntl(pty.master(), F_SETFL, flags);
    port.rxFlush();
    const std::string fresh = "ST,GS,+0012.50 g\r\n";
    std::jthread writer([&] { pty.write(fresh); }); // the terminal is still full if nothing purged it
    std::string got;
    std::vector<std::uint8_t> buffer(65536);
    while (!got.ends_with(fresh) && port.waitForData(3000) == SerialPort::WaitResult::DataReady)
        for (int n; (n = port.getData(buffer)) > 0;)
            got.append(buffer.begin(), buffer.begin() + n);
    EXPECT_TRUE(got.ends_with(fresh)) << got.substr(0, 60);
    EXPECT_LE(got.size(), 64 + fresh.size()) << "of " << waiting << " bytes that waited";
}

TEST_F(Ser2netPort, ModemStateReportsReachTheLineQueries) {
    // A pseudo-terminal has no modem lines ser2net could read (it reports 0), so the relay
    // adds the report a device server with a real UART sends on a change.
    Relay relay(server.port());
    SerialPortLocal port(SerialConfig(relay.url()));
    EXPECT_FALSE(port.sigCTS() || port.sigDSR() || port.sigRing() || port.sigCD());
    relay.inject({255, 250, 44, 107, 0x30, 255, 240}); // CTS and DSR on
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!port.sigDSR() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(port.sigDSR());
    EXPECT_TRUE(port.sigCTS());
    EXPECT_FALSE(port.sigRing() || port.sigCD());
    relay.inject({255, 250, 44, 107, 0xC0, 255, 240}); // CD and RI, the others off
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(port.sigCD() && port.sigRing());
    EXPECT_FALSE(port.sigDSR() || port.sigCTS());
}

TEST_F(Ser2netPort, AKilledServerIsAGoneDeviceAndTheAddressOpensAgainWhenItReturns) {
    SerialPortLocal port(SerialConfig(server.url()));
    server.stop();
    EXPECT_EQ(port.waitForData(3000), SerialPort::WaitResult::DeviceGone);
    port.close();
    EXPECT_THROW(port.open(), PortIOException);
    server.start();
    port.open();
    pty.write("back\r");
    EXPECT_EQ(readAll(port, 5), (Bytes{'b', 'a', 'c', 'k', '\r'}));
}

} // namespace
