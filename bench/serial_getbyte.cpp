// Bytes per second through SerialPort::getByte from a pseudo-terminal that another thread
// fills as fast as it can (the acquisition worker's read path).
#include "Tarolink/PosixSerialDriver.h"
#include "Tarolink/SerialPortLocal.h"
#include "Tarolink/SystemProperties.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Tarolink;

namespace {

// withFF: every 16th byte is 0xFF. askErrors: ask parity and framing errors after every
// byte, as the acquisition worker does.
void BM_GetByteFromPty(benchmark::State& state) {
    const bool withFF = state.range(0) != 0;
    const bool askErrors = state.range(1) != 0;
    SystemProperties::set("TLK_OSNAME", "Linux");
    SerialPortLocal::installDriver(std::make_shared<PosixSerialDriver>());
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SerialConfig config(::ptsname(master));
    config.setBitRate(SerialConfig::BR_921600);
    SerialPortLocal port(config);

    // A scale line stream; the line discipline doubles each 0xFF and the driver undoes it.
    std::vector<std::uint8_t> chunk(4096);
    const char line[] = "ST,GS,+  12.50 g\r\n";
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = (withFF && i % 16 == 15) ? 0xFF : static_cast<std::uint8_t>(line[i % (sizeof line - 1)]);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::size_t at = 0;
        while (!stop) {
            const ssize_t n = ::write(master, chunk.data() + at, chunk.size() - at);
            if (n > 0) {
                at = (at + static_cast<std::size_t>(n)) % chunk.size();
                continue;
            }
            pollfd p{master, POLLOUT, 0};
            ::poll(&p, 1, 20);
        }
    });

    constexpr int kBytesPerIteration = 1 << 20;
    std::int64_t checksum = 0;
    for (auto _ : state) {
        for (int got = 0; got < kBytesPerIteration;) {
            const int b = port.getByte();
            if (b < 0) {
                port.waitForData(1000);
                continue;
            }
            checksum += b;
            if (askErrors)
                checksum += port.sigParityErr() + port.sigFrameErr();
            ++got;
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
    stop = true;
    writer.join();
    port.close();
    ::close(master);
}

} // namespace

BENCHMARK(BM_GetByteFromPty)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"withFF", "askErrors"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
