#include "config/Config.h"
#include "tests/ProvenOrSkipped.h"
#include "tests/XvfbServer.h"
#include "tests/typing/KeysTestSupport.h"
#include "typing/TypingSession.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

// Last: the X headers define macros (None, Bool, Status) that other headers use as names.
#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

using namespace tarovex;
using namespace tarovex::typing;
namespace CH = tarovex::config::ConfigHelper;

namespace {

bool installed(const std::string& program) {
    return tarovex_test::runProgram({"sh", "-c", "command -v " + program}) == 0;
}

// A program of the test's, ended with it. With `displayFd`, the X server's display number it
// writes there once it takes connections.
class Program {
public:
    explicit Program(std::vector<std::string> args, bool displayFd = false) {
        int fds[2] = {-1, -1};
        if (displayFd && ::pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            if (displayFd) {
                args.insert(args.begin() + 1, {"-displayfd", std::to_string(::dup(fds[1]))});
            }
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        if (!displayFd)
            return;
        ::close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            display_ += c;
        ::close(fds[0]);
        if (!display_.empty())
            display_.insert(0, ":");
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

std::string fileText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The viewer's window once it shows the remote screen, focused and under the pointer.
bool focusViewer(Display* d) {
    // The viewer may replace a window between our look and our focusing it.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    return keys_test::waitFor(
        [d] {
            Window root = 0, parent = 0, *children = nullptr;
            unsigned count = 0;
            XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
            Window found = 0;
            for (unsigned i = 0; i < count; ++i) {
                XWindowAttributes a{};
                if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && a.width >= 600)
                    found = children[i];
            }
            if (children)
                XFree(children);
            if (!found)
                return false;
            XWarpPointer(d, 0, found, 0, 0, 0, 0, 320, 240);
            XSetInputFocus(d, found, RevertToPointerRoot, CurrentTime);
            XSync(d, False);
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(d, &focus, &revert);
            return focus == found;
        },
        15000);
}

} // namespace

// Every printable ASCII character, through XTest into a VNC viewer, over the wire into a
// terminal on the VNC server, as the remote side reads it.
TEST(RemoteSessionTest, ViewerPassesEveryPrintableCharacterToTheRemoteTerminal) {
    for (const char* program : {"Xvfb", "Xvnc", "xtigervncviewer", "xterm"})
        if (!installed(program))
            TAROVEX_SKIP_OR_FAIL(std::string(program) + " is not installed");
    QTemporaryDir dir;
    const QString socket = dir.filePath("vnc"), ready = dir.filePath("ready"),
                  received = dir.filePath("received");
    constexpr int count = 2000;
    std::string sent;
    for (int i = 0; i < count; ++i)
        sent += char(0x20 + i % 95);
    std::shuffle(sent.begin(), sent.end(), std::mt19937(20261210));

    const tarovex_test::XvfbServer local;
    const Program server({"Xvnc", "-SecurityTypes", "None", "-localhost", "-rfbport", "-1", "-rfbunixpath",
                          socket.toStdString(), "-geometry", "640x480", "-depth", "24", "-nolisten", "tcp"},
                         true);
    ASSERT_FALSE(server.display().empty()) << "Xvnc did not start";
    const Program terminal({"xterm", "-display", server.display(), "-geometry", "100x30+0+0", "-e", "sh",
                            "-c",
                            "stty raw -echo; : > '" + ready.toStdString() + "'; head -c " +
                                std::to_string(count) + " > '" + received.toStdString() + "'"});
    ASSERT_TRUE(keys_test::waitFor([&] { return QFile::exists(ready); }, 15000)) << "xterm did not start";
    const Program viewer(
        {"xtigervncviewer", "-display", local.display(), "-FullScreen", socket.toStdString()});
    Display* d = XOpenDisplay(local.display().c_str());
    ASSERT_NE(d, nullptr);
    const bool shown = focusViewer(d);
    XCloseDisplay(d);
    ASSERT_TRUE(shown) << "the viewer showed no window";
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // its first screen update

    config::Config config = config::Config::defaultsOf(CH::Instrument::BARCODE_ALPHA_COMPLETE);
    config.setInstrument(CH::Instrument::BARCODE_ALPHA_COMPLETE);
    config.setOutputTerminator(CH::OutputTerminator::NONE);
    config.setDelay(QStringLiteral("0"));
    config.remoteSession = true;
    SessionEnvironment environment;
    environment.display = local.display();
    keys_test::LogView log;
    KeyOutputOptions options;
    options.backend = KeyBackend::X11;
    TypingSession session(config, log, nullptr, options, environment);
    EXPECT_TRUE(session.description().contains(QStringLiteral("remote session mode")))
        << session.description().toStdString();
    std::atomic<int> fate = 0; // 1 typed, 2 dropped
    const auto began = std::chrono::steady_clock::now();
    session.start(
        {}, [&](std::vector<TypingFate> fates) { fate = fates.size() == 1 && fates[0].typed() ? 1 : 2; });
    session.putString(QString::fromLatin1(sent));
    keys_test::waitFor([&] { return fate.load() != 0; }, 250000);
    EXPECT_EQ(fate.load(), 1) << log.important().join('\n').toStdString();
    const auto took = std::chrono::steady_clock::now() - began;
    std::cout << "Per character: " << std::chrono::duration<double, std::milli>(took).count() / count
              << " ms\n";

    keys_test::waitFor([&] { return fileText(received).size() >= count; }, 10000);
    const std::string got = fileText(received);
    EXPECT_EQ(got.size(), sent.size());
    const auto differ = std::mismatch(got.begin(), got.end(), sent.begin(), sent.end());
    EXPECT_EQ(got, sent) << "first difference at " << (differ.first - got.begin());
}
