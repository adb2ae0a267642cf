// Network ports against TCP servers of the test itself on 127.0.0.1: what a user meets
// when the server is silent, leaves, floods, refuses or is no RFC 2217 server at all.
#include "Tarolink/Diagnostics.h"
#include "Tarolink/NetworkAddress.h"
#include "Tarolink/NetworkSerialDriver.h"
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/RoutingDriver.h"
#include "Tarolink/SerialExceptions.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/TcpConnect.h"
#include "TestSupport.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/Ser2netServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

using namespace Tarolink;
using Clock = std::chrono::steady_clock;

namespace {

// A listening socket on 127.0.0.1; `behave` runs on each accepted connection in turn.
class TestServer {
public:
    explicit TestServer(std::function<void(int)> behave, int backlog = 4) : behave_(std::move(behave)) {
        fd_ = tarovex_test::loopbackSocket(port_, backlog);
        if (behave_)
            thread_ = std::jthread([this](std::stop_token stop) {
                while (!stop.stop_requested()) {
                    pollfd p{fd_, POLLIN, 0};
                    if (::poll(&p, 1, 50) <= 0)
                        continue;
                    const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                    if (c >= 0)
                        behave_(c);
                }
            });
    }
    ~TestServer() {
        thread_ = {};
        ::close(fd_);
    }
    int port() const { return port_; }
    std::string url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }

private:
    std::function<void(int)> behave_;
    int fd_ = -1;
    int port_ = 0;
    std::jthread thread_;
};

// Reads and drops what the client sends until it closes or `ms` pass, then closes.
void drainUntilClosed(int c, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::uint8_t buffer[256];
    for (pollfd p{c, POLLIN, 0}; Clock::now() < end && ::poll(&p, 1, 50) >= 0;)
        if ((p.revents & POLLIN) && ::recv(c, buffer, sizeof buffer, 0) <= 0)
            break;
    ::close(c);
}

SerialConfig configFor(const std::string& name) {
    return SerialConfig(name);
}

class NetworkPort : public ::testing::Test {
protected:
    void SetUp() override {
        NetworkSerialDriver::Timeouts t;
        t.connectMs = 600;
        t.negotiationMs = 600;
        t.answerMs = 300;
        SerialPortLocal::installDriver(std::make_shared<RoutingDriver>(
            std::make_shared<PosixSerialDriver>(), std::make_shared<NetworkSerialDriver>(t)));
        previous_ = setDiagnosticHandler([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    void TearDown() override {
        setDiagnosticHandler(previous_);
        SerialPortLocal::reloadLibrary();
    }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex_);
        return lines_;
    }

    tarolink_test::PropertyGuard os_{"TLK_OSNAME", "Linux"};
    DiagnosticHandler previous_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

std::string openError(const std::string& name) {
    return tarolink_test::errorText<PortIOException>([&] { SerialPortLocal port(configFor(name)); });
}

TEST_F(NetworkPort, FailuresToConnectNameTheAddressAndSayWhy) {
    const int closedPort = tarovex_test::freeLoopbackPort();
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(closedPort);
    EXPECT_EQ(openError(refused), refused + ": SerOpenPort failed: Connection refused");
    EXPECT_EQ(openError("rfc2217://[::1]:" + std::to_string(closedPort)),
              "rfc2217://[::1]:" + std::to_string(closedPort) + ": SerOpenPort failed: Connection refused");
    EXPECT_EQ(openError("tcp://127.0.0.1"), "tcp://127.0.0.1: SerOpenPort failed: Port not valid");
    EXPECT_NE(std::find(lines().begin(), lines().end(), "tcp://127.0.0.1: no port after the host"),
              lines().end());

    // A full accept queue drops new connection requests: the connect never completes.
    TestServer full(nullptr, 0);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(tarovex_test::connectLoopback(full.port(), false));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    EXPECT_EQ(openError(full.url("tcp")), full.url("tcp") + ": SerOpenPort failed: No answer in time");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    for (int fd : queued)
        ::close(fd);
}

// A name lookup that answers after 600 ms, correctly.
int lateLookup(const char*, const char* service, const addrinfo* hints, addrinfo** found) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    return ::getaddrinfo("127.0.0.1", service, hints, found);
}
int unknownName(const char*, const char*, const addrinfo*, addrinfo**) {
    return EAI_NONAME;
}
int failingSystem(const char*, const char*, const addrinfo*, addrinfo**) {
    errno = EMFILE;
    return EAI_SYSTEM;
}

// The lookup counts against the connection's time: one that does not answer in time ends
// the open then, and its late answer is freed (the leak check sees it).
TEST(TcpConnect, TheNameLookupIsBoundedAndItsFailuresAreTold) {
    const NetworkAddress address{NetworkAddress::Protocol::RawTcp, "instrument.example", 4001};
    const struct {
        NameLookup lookup;
        int code;
        int systemError;
    } rows[] = {{lateLookup, SerialDriver::LOOKUP_TIMEOUT, 0},
                {unknownName, SerialDriver::UNKNOWN_HOST, 0},
                {failingSystem, SerialDriver::OTHER_ERROR, EMFILE}};
    for (const auto& row : rows) {
        int code = 0, systemError = 0;
        const auto start = Clock::now();
        EXPECT_EQ(connectTcp(address, 200, code, systemError, row.lookup), -1);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(550)) << "it waited for the lookup";
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(systemError, row.systemError);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700)); // the late answer arrives
}

TEST_F(NetworkPort, AServerThatIsNoRfc2217ServerFailsTheOpenInBoundedTime) {
    TestServer silent([](int c) { drainUntilClosed(c, 2000); });
    const auto start = Clock::now();
    EXPECT_EQ(openError(silent.url("rfc2217")),
              silent.url("rfc2217") + ": SerOpenPort failed: No answer in time");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));

    TestServer refusing([](int c) {
        const std::uint8_t dont[] = {255, 254, 44, 255, 252, 44};
        ::send(c, dont, sizeof dont, MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::close(c);
    });
    EXPECT_EQ(openError(refusing.url("rfc2217")),
              refusing.url("rfc2217") +
                  ": SerOpenPort failed: The server does not offer the COM-PORT option");
}

TEST_F(NetworkPort, AnOpenWaitingForItsServerHoldsUpNoOtherPort) {
    TestServer silent([](int c) { drainUntilClosed(c, 2000); });
    std::atomic<bool> networkDone = false;
    std::jthread network([&] {
        openError(silent.url("rfc2217"));
        networkDone = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // it waits for an answer now
    tarolink_test::Pty pty;
    { SerialPortLocal port(configFor(pty.slavePath())); }
    EXPECT_FALSE(networkDone) << "the terminal's open waited for the network open";
}

TEST_F(NetworkPort, RawTcpServerThatNeverSendsIsAQuietPortWithoutLinesOrSettings) {
    TestServer quiet([](int c) { drainUntilClosed(c, 2000); });
    SerialConfig config = configFor(quiet.url("tcp"));
    config.setBitRate(SerialConfig::BR_19200);
    SerialPortLocal port(config);
    port.configure();
    EXPECT_EQ(port.waitForData(200), SerialPort::WaitResult::TimedOut);
    EXPECT_EQ(port.getByte(), -1);
    EXPECT_FALSE(port.isDeviceGone());
    port.setDTR(true);
    EXPECT_FALSE(port.sigCTS() || port.sigDSR() || port.sigCD() || port.sigRing());
    const auto said = lines();
    EXPECT_EQ(std::count_if(
                  said.begin(), said.end(),
                  [](const std::string& l) { return l.find("has no serial settings") != std::string::npos; }),
              1);
}

TEST_F(NetworkPort, RawTcpServerThatClosesAtOnceIsAGoneDevice) {
    TestServer closing([](int c) { ::close(c); });
    SerialPortLocal port(configFor(closing.url("tcp")));
    EXPECT_EQ(port.waitForData(2000), SerialPort::WaitResult::DeviceGone);
    EXPECT_TRUE(port.isDeviceGone());
}

TEST_F(NetworkPort, TenMegabytesWithoutTerminatorArriveWhole) {
    constexpr std::size_t total = 10u << 20;
    TestServer flood([](int c) {
        std::vector<std::uint8_t> block(65536);
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::uint8_t>('0' + i % 10);
        for (std::size_t sent = 0; sent < total;) {
            const ssize_t n = ::send(c, block.data(), std::min(block.size(), total - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        ::close(c);
    });
    SerialPortLocal port(configFor(flood.url("tcp")));
    std::size_t got = 0;
    bool inOrder = true;
    std::vector<std::uint8_t> buffer(8192);
    while (port.waitForData(5000) == SerialPort::WaitResult::DataReady) {
        for (int n; (n = port.getData(buffer)) > 0;) {
            for (int i = 0; i < n; ++i)
                inOrder = inOrder && buffer[i] == '0' + (got + i) % 65536 % 10;
            got += static_cast<std::size_t>(n);
        }
    }
    EXPECT_EQ(got, total);
    EXPECT_TRUE(inOrder);
    EXPECT_TRUE(port.isDeviceGone());
}

// Two network namespaces of the test's own, each with a TUN device (10.77.0.1 and
// 10.77.0.2), joined by a wire: a thread that passes IP packets from one device to the
// other. Cut, it drops every packet silently, as a pulled cable or a dead box would.
// A socket lives in the namespace of the thread that made it (see `in`).
class TunWire {
public:
    TunWire() {
        home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        for (int side = 0; side < 2 && why_.empty(); ++side) {
            if (::unshare(CLONE_NEWNET) != 0) {
                why_ = std::string("no network namespace of our own (root needed): ") + std::strerror(errno);
                break;
            }
            ns_[side] = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
            tun_[side] = openDevice(side);
            ::setns(home_, CLONE_NEWNET);
        }
        if (why_.empty())
            thread_ = std::jthread([this](std::stop_token stop) { forward(stop); });
    }
    ~TunWire() {
        thread_ = {};
        for (int fd : {tun_[0], tun_[1], ns_[0], ns_[1], home_})
            if (fd >= 0)
                ::close(fd);
    }
    // Empty when the wire works, else what it lacks.
    const std::string& why() const { return why_; }
    static std::string address(int side) { return side == 0 ? "10.77.0.1" : "10.77.0.2"; }
    void cut() { cut_ = true; }

    // Runs `f` with the calling thread in `side`'s namespace.
    template <typename F> void in(int side, F&& f) {
        ::setns(ns_[side], CLONE_NEWNET);
        struct Back {
            int home;
            ~Back() { ::setns(home, CLONE_NEWNET); }
        } back{home_};
        f();
    }

private:
    int openDevice(int side) {
        const int fd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
        ifreq ifr{};
        ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strcpy(ifr.ifr_name, "wire");
        if (fd < 0 || ::ioctl(fd, TUNSETIFF, &ifr) != 0) {
            why_ = std::string("no TUN device: ") + std::strerror(errno);
            return fd;
        }
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        auto* a = reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr);
        a->sin_family = AF_INET;
        ::inet_pton(AF_INET, address(side).c_str(), &a->sin_addr);
        const bool addressed = ::ioctl(s, SIOCSIFADDR, &ifr) == 0;
        ::inet_pton(AF_INET, "255.255.255.0", &a->sin_addr);
        const bool masked = ::ioctl(s, SIOCSIFNETMASK, &ifr) == 0;
        ifr.ifr_flags = IFF_UP | IFF_RUNNING;
        if (!addressed || !masked || ::ioctl(s, SIOCSIFFLAGS, &ifr) != 0)
            why_ = std::string("the TUN device does not come up: ") + std::strerror(errno);
        ::close(s);
        return fd;
    }
    void forward(const std::stop_token& stop) {
        std::vector<std::uint8_t> packet(65536);
        while (!stop.stop_requested()) {
            pollfd p[2] = {{tun_[0], POLLIN, 0}, {tun_[1], POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                const ssize_t n = (p[i].revents & POLLIN) ? ::read(tun_[i], packet.data(), packet.size()) : -1;
                if (n > 0 && !cut_)
                    [[maybe_unused]] auto w = ::write(tun_[1 - i], packet.data(), static_cast<std::size_t>(n));
            }
        }
    }

    int home_ = -1;
    int ns_[2] = {-1, -1};
    int tun_[2] = {-1, -1};
    std::string why_;
    std::atomic<bool> cut_ = false;
    std::jthread thread_;
};

// A listening socket on the wire's far end; its port in `port`.
int farListener(TunWire& wire, int& port) {
    int s = -1;
    wire.in(1, [&] {
        s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, TunWire::address(1).c_str(), &a.sin_addr);
        socklen_t len = sizeof a;
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 1) != 0 ||
            ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("no listening socket on the wire");
        port = ntohs(a.sin_port);
    });
    return s;
}

// An idle connection whose peer vanishes without a word is noticed by TCP keepalive: the
// port reports its device gone within 8 s, as an unplugged USB adapter would be.
TEST_F(NetworkPort, APeerThatVanishesSilentlyFromAnIdleConnectionIsAGoneDevice) {
    TunWire wire;
    if (!wire.why().empty())
        TAROVEX_SKIP_OR_FAIL(wire.why());
    int rawPort = 0, rfcPort = 0;
    const int raw = farListener(wire, rawPort);
    const int rfc = farListener(wire, rfcPort);
    std::vector<int> peers;
    std::jthread server([&](std::stop_token stop) {
        const std::uint8_t agree[] = {255, 253, 44}; // IAC DO COM-PORT; its requests go unanswered
        while (!stop.stop_requested()) {
            pollfd p[2] = {{raw, POLLIN, 0}, {rfc, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2; ++i)
                if (p[i].revents & POLLIN) {
                    const int c = ::accept4(p[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (i == 0)
                        ::send(c, "live\r", 5, MSG_NOSIGNAL);
                    else
                        ::send(c, agree, sizeof agree, MSG_NOSIGNAL);
                    peers.push_back(c);
                }
        }
    });
    std::unique_ptr<SerialPortLocal> ports[2];
    wire.in(0, [&] {
        const std::string far = TunWire::address(1) + ":";
        ports[0] = std::make_unique<SerialPortLocal>(configFor("tcp://" + far + std::to_string(rawPort)));
        ports[1] = std::make_unique<SerialPortLocal>(configFor("rfc2217://" + far + std::to_string(rfcPort)));
    });
    std::vector<std::uint8_t> buffer(16);
    ASSERT_EQ(ports[0]->waitForData(5000), SerialPort::WaitResult::DataReady);
    EXPECT_EQ(ports[0]->getData(buffer), 5) << "the wire passes data";

    // Idle past the first keepalive probe: a peer that answers it keeps the port.
    EXPECT_EQ(ports[0]->waitForData(3000), SerialPort::WaitResult::TimedOut);
    EXPECT_FALSE(ports[1]->isDeviceGone());

    wire.cut();
    const auto cutAt = Clock::now();
    const auto deadline = cutAt + std::chrono::seconds(8);
    for (auto& port : ports) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        EXPECT_EQ(port->waitForData(static_cast<int>(std::max<long>(left.count(), 0))),
                  SerialPort::WaitResult::DeviceGone);
    }
    std::cout << "noticed after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cutAt).count() << " ms\n";
    server = {};
    for (int fd : peers)
        ::close(fd);
    ::close(raw);
    ::close(rfc);
}

// kB of the calling process's status line `key` ("VmRSS").
long statusKb(const std::string& key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(key + ":"))
            return std::stol(line.substr(key.size() + 1));
    return -1;
}

// A server that floods before it agrees to COM-PORT: what the open had to drop is told in
// one line with its size, not a line per block.
TEST_F(NetworkPort, DataDroppedWhileAnAnswerIsAwaitedIsToldOnceWithItsSize) {
    constexpr std::size_t flood = std::size_t{4} << 20, kept = std::size_t{1} << 20;
    TestServer flooding([](int c) {
        const std::vector<std::uint8_t> block(65536, 'x');
        for (std::size_t sent = 0; sent < flood; sent += block.size())
            if (::send(c, block.data(), block.size(), MSG_NOSIGNAL) <= 0)
                break;
        const std::uint8_t agree[] = {255, 253, 44}; // IAC DO COM-PORT
        ::send(c, agree, sizeof agree, MSG_NOSIGNAL);
        drainUntilClosed(c, 5000);
    });
    { SerialPortLocal port(configFor(flooding.url("rfc2217"))); }
    std::vector<std::size_t> told;
    for (const std::string& line : lines())
        if (const auto at = line.find("; the oldest ");
            at != std::string::npos && line.ends_with(" bytes of it were dropped"))
            told.push_back(std::stoul(line.substr(at + 13)));
    ASSERT_EQ(told.size(), 1u) << testing::PrintToString(lines());
    // What stayed is between half the buffer and all of it.
    EXPECT_GE(told[0], flood - kept);
    EXPECT_LE(told[0], flood - kept / 2);
}

// A server that floods 400 MB before it agrees to COM-PORT: the open, done by a child
// process, stays small at its peak and after its flush.
TEST(NetworkPortMemory, AFloodBeforeTheAgreementKeepsThePeakSmall) {
    constexpr std::size_t flood = std::size_t{400} << 20;
    constexpr long limitKb = 150 * 1024;
    int port = 0;
    const int listener = tarovex_test::loopbackSocket(port, 1);
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tarolink_test::PropertyGuard os("TLK_OSNAME", "Linux");
        NetworkSerialDriver::Timeouts t;
        t.negotiationMs = 120000; // the flood's time is not what this test is about
        t.answerMs = 100;
        SerialPortLocal::installDriver(std::make_shared<NetworkSerialDriver>(t));
        long kept = -1;
        try {
            SerialPortLocal p(configFor("rfc2217://127.0.0.1:" + std::to_string(port)));
            p.rxFlush();
            kept = statusKb("VmRSS");
        } catch (const std::exception&) {
        }
        [[maybe_unused]] auto n = ::write(report[1], &kept, sizeof kept);
        ::_exit(kept > 0 ? 0 : 1);
    }
    ::close(report[1]);
    const int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ASSERT_GE(c, 0);
    std::vector<std::uint8_t> block(65536, 'x');
    for (std::size_t sent = 0; sent < flood;) {
        const ssize_t n = ::send(c, block.data(), block.size(), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    const std::uint8_t agree[] = {255, 253, 44}; // IAC DO COM-PORT
    ::send(c, agree, sizeof agree, MSG_NOSIGNAL);
    drainUntilClosed(c, 60000);
    long kept = -1;
    EXPECT_EQ(::read(report[0], &kept, sizeof kept), ssize_t(sizeof kept));
    ::close(report[0]);
    ::close(listener);
    int status = 0;
    rusage usage{};
    ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the open failed";
    EXPECT_LT(usage.ru_maxrss, limitKb) << "peak kB";
    EXPECT_LT(kept, limitKb) << "kB after the flush";
    std::cout << "peak " << usage.ru_maxrss / 1024 << " MB, after the flush " << kept / 1024 << " MB\n";
}

} // namespace
