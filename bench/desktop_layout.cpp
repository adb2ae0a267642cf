// What following the desktop's layout costs per value: one ask of each source (GNOME through
// gsettings on a settings file of its own, sway's IPC socket answered here), and the switch
// to a new layout (compiling its keymap).
#include "typing/XkbLayout.h"
#include "typing/desktop/DesktopLayout.h"
#include "typing/desktop/GnomeInputSources.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace tarovex::typing;

namespace {

void askGnome(benchmark::State& state) {
    const std::string home = std::filesystem::temp_directory_path() / "tarovex-bench-gsettings";
    std::filesystem::create_directories(home);
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    if (std::system(
            "gsettings set org.gnome.desktop.input-sources sources \"[('xkb', 'us'), ('xkb', 'de')]\" "
            "2>/dev/null") != 0) {
        state.SkipWithError("gsettings or the GNOME desktop schemas are missing");
        return;
    }
    DesktopSources s;
    s.currentDesktop = "GNOME";
    s.gnomeSettings = readGnomeInputSettings;
    for (auto _ : state)
        benchmark::DoNotOptimize(desktopLayout({}, s));
}
BENCHMARK(askGnome)->Unit(benchmark::kMillisecond);

// Answers every get_inputs with one keyboard, as sway does.
class SwayAnswer {
public:
    SwayAnswer() {
        path_ = std::filesystem::temp_directory_path() / "tarovex-bench-sway.sock";
        std::filesystem::remove(path_);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, path_.c_str());
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 16);
        thread_ = std::thread([this] {
            const std::string reply = R"json([{"name": "Tarovex virtual keyboard", "type": "keyboard",
                "xkb_active_layout_name": "German (no dead keys)"}])json";
            for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0; ::close(c)) {
                char header[14];
                if (::recv(c, header, sizeof header, MSG_WAITALL) != sizeof header)
                    continue;
                const std::uint32_t size = std::uint32_t(reply.size());
                std::memcpy(header + 6, &size, 4);
                ::send(c, header, sizeof header, MSG_NOSIGNAL);
                ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
        });
    }
    ~SwayAnswer() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::string path_;

private:
    int fd_ = -1;
    std::thread thread_;
};

void askSway(benchmark::State& state) {
    SwayAnswer sway;
    DesktopSources s;
    s.swaySocket = sway.path_;
    for (auto _ : state)
        benchmark::DoNotOptimize(desktopLayout({}, s));
}
BENCHMARK(askSway)->Unit(benchmark::kMicrosecond);

void switchLayout(benchmark::State& state) {
    const XkbRuleNames layouts[] = {{"us", ""}, {"de", "nodeadkeys"}};
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(XkbLayout::fromNames(layouts[i++ % 2]));
}
BENCHMARK(switchLayout)->Unit(benchmark::kMillisecond);

} // namespace
