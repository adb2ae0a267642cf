// Readings on request: the console asks the virtual instrument (or a silent pseudo-terminal
// of the test) with the preset's request command.
#include "ProcessSupport.h"
#include "tests/Tarolink/TestSupport.h"
#ifdef TAROVEX_WAYLAND
#include "tests/SwayServer.h"
#include "tests/WaylandUserKeyboard.h"
#include "tests/XTextRecorder.h"
#endif

#include <QDir>
#include <QTemporaryDir>

#include "tests/ProvenOrSkipped.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using tools_test::Process;
using namespace std::chrono_literals;

namespace {

const std::string kBin = std::string(TAROVEX_BINARY_DIR) + "/tools/";

class Requests : public ::testing::Test {
protected:
    std::map<std::string, std::string> env() const { return tools_test::isolatedEnv(home_.path()); }
    // A MITUTOYO gauge that answers each request with one reading; its port.
    std::string answeringGauge() {
        instrument_ =
            std::make_unique<Process>(kBin + "tarovex-virtual-instrument",
                                      std::vector<std::string>{"--preset", "MITUTOYO", "--answer"}, env());
        return instrument_->readLine().value_or("");
    }
    std::unique_ptr<Process> console(const std::string& port, std::vector<std::string> more = {},
                                     const std::map<std::string, std::string>& moreEnv = {}) {
        std::vector<std::string> args{port, "--set", "instrument=MITUTOYO"};
        args.insert(args.end(), more.begin(), more.end());
        auto e = env();
        e.insert(moreEnv.begin(), moreEnv.end());
        auto p = std::make_unique<Process>(kBin + "tarovex-console", args, e);
        EXPECT_TRUE(p->waitForError("RTS: off, DTR: on.")) << p->errorText();
        return p;
    }
    static int count(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }

    QTemporaryDir home_;
    std::unique_ptr<Process> instrument_;
};

TEST_F(Requests, TimerGivesOneReadingPerTick) {
    auto run = console(answeringGauge(), {"--request-every", "200"});
    const auto start = std::chrono::steady_clock::now();
    int values = 0;
    // Five readings, however slow the machine; never more readings than ticks so far.
    while (values < 5 && std::chrono::steady_clock::now() - start < 30s)
        if (const auto line = run->readLine(100)) {
            EXPECT_NE(line->find("."), std::string::npos) << *line; // a reading, not an empty line
            ++values;
        }
    const auto ticks = (std::chrono::steady_clock::now() - start) / 200ms + 1;
    EXPECT_EQ(values, 5);
    EXPECT_LE(values, ticks);
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait(), 0) << run->errorText();
}

TEST_F(Requests, SilentInstrumentGetsOneRequestAtATimeAndOneMessage) {
    tarolink_test::Pty pty;
    auto run = console(pty.slavePath(), {"--request-every", "100"});
    // Ticks every 100 ms, but the first request waits for its answer for 2 s.
    const auto first = pty.read(100, 1500);
    EXPECT_EQ(std::string(first.begin(), first.end()), "1\r");
    EXPECT_TRUE(run->waitForError("gave no line within 2000 ms", 3000)) << run->errorText();
    const auto second = pty.read(100, 1000);
    EXPECT_EQ(std::string(second.begin(), second.end()), "1\r");
    // The second silence is not told again.
    std::this_thread::sleep_for(2500ms);
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait(), 0);
    EXPECT_EQ(count(run->errorText(), "gave no line"), 1) << run->errorText();
}

TEST_F(Requests, SignalGivesExactlyOneReading) {
    auto run = console(answeringGauge());
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(run->readLine(300)) << "nothing is asked for unless the user asks";
    run->signal(SIGUSR1);
    EXPECT_TRUE(run->readLine(3000)) << run->errorText();
    EXPECT_FALSE(run->readLine(700));
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait(), 0);
}

#ifdef TAROVEX_WAYLAND
// On Wayland nobody sees the keyboard: a value asked for by a desktop shortcut (Ctrl+Alt+R
// bound in sway, held for 300 ms after it asked) arrives exactly, and only once the shortcut's
// keys are up. Sway hands each keyboard's own modifiers to the application, so the text alone
// would pass even under the held keys; the order in which the application receives the keys
// shows where it went.
TEST_F(Requests, AValueAskedByAWaylandShortcutArrivesAfterItsKeysAreUp) {
    // Sway runs its commands as nobody when the tests run as root, and nobody may not signal
    // our console: the bound command writes to a pipe, and the test passes that on as the
    // signal a user binds.
    QTemporaryDir pipeDir(QDir::tempPath() + "/tarovex-shortcut-XXXXXX");
    const std::string fifo = pipeDir.path().toStdString() + "/requests";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    ::chmod(pipeDir.path().toLocal8Bit().constData(), 0755);
    ::chmod(fifo.c_str(), 0666);
    const int requests = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // A writer of our own: no hang-up is read between the command's writes.
    const int keepOpen = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(keepOpen, 0);
    tarovex_test::SwayServer sway("bindsym Ctrl+Alt+r exec echo >" + fifo + "\n");
    if (!sway.available())
        TAROVEX_SKIP_OR_FAIL(sway.reason());
    tarovex_test::WaylandUserKeyboard keyboard(sway.socket());
    tarovex_test::WaylandTextRecorder recorder(sway.socket());
    recorder.showModifiers();
    auto run = console(answeringGauge(), {"--type", "--set", "outputTerminator=ENTER"},
                       {{"WAYLAND_DISPLAY", sway.socket()}});
    ASSERT_TRUE(run->waitForError("Keyboard output started")) << run->errorText();

    keyboard.press(KEY_LEFTCTRL);
    keyboard.press(KEY_LEFTALT);
    keyboard.press(KEY_R);
    pollfd asked{requests, POLLIN, 0};
    ASSERT_EQ(::poll(&asked, 1, 5000), 1) << "sway did not run the shortcut's command";
    char buffer[16];
    while (::read(requests, buffer, sizeof buffer) > 0) {
    }
    run->signal(SIGUSR1);
    std::this_thread::sleep_for(300ms);
    keyboard.release(KEY_R);
    keyboard.release(KEY_LEFTALT);
    keyboard.release(KEY_LEFTCTRL);

    const std::optional<std::string> value = run->readLine(3000);
    ASSERT_TRUE(value && !value->empty()) << run->errorText();
    const std::string expected = "<+Control_L><+Alt_L><-Alt_L><-Control_L>" + *value + "<Return>";
    EXPECT_EQ(recorder.transcript(expected.size(), 3000), expected) << run->errorText();
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait(), 0);
    ::close(keepOpen);
    ::close(requests);
}
#endif

// The instrument's side of the dialogue, with the test as the program on the port.
TEST_F(Requests, VirtualInstrumentAnswersAndTares) {
    Process instrument(kBin + "tarovex-virtual-instrument", {"--preset", "AND", "--answer"}, env());
    const std::string port = instrument.readLine().value_or("");
    const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << port;
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
    const auto ask = [fd](const std::string& bytes) {
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        std::string line;
        char c = 0;
        for (pollfd p{fd, POLLIN, 0}; line.find('\n') == std::string::npos && ::poll(&p, 1, 3000) > 0;)
            if (::read(fd, &c, 1) == 1)
                line += c;
        return line;
    };
    std::this_thread::sleep_for(300ms); // the instrument settles the line after the open
    EXPECT_TRUE(ask("Q\r\n").ends_with(" g\n"));
    EXPECT_NE(ask("T\r\nQ\r\n").find("+00000.00"), std::string::npos);
    ::close(fd);
}

// Every preset whose lines mark stability: the virtual instrument marks every second
// reading unstable in the preset's format, and only the others give values (all of these
// presets end their lines with LF).
TEST_F(Requests, StableOnlyTypesOnlyStableReadings) {
    for (const char* preset :
         {"AND", "AND_EM", "METTLER_DIALOG", "OHAUS", "OHAUSSPU", "SARTORIUS", "KERN_FKB"}) {
        SCOPED_TRACE(preset);
        Process instrument(kBin + "tarovex-virtual-instrument",
                           {"--preset", preset, "--unstable", "2", "--count", "6", "--rate", "50"}, env());
        const std::string port = instrument.readLine().value_or("");
        auto run = std::make_unique<Process>(
            kBin + "tarovex-console",
            std::vector<std::string>{port, "--set", std::string("instrument=") + preset, "--set",
                                     "inputTerminator=10", "--set", "stableOnly=true"},
            env());
        std::vector<std::string> values;
        while (values.size() < 6)
            if (const auto line = run->readLine(5000))
                values.push_back(*line);
            else
                break;
        ASSERT_EQ(values.size(), 6u) << run->errorText();
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_EQ(values[i].empty(), i % 2 == 1) << i << ": " << values[i] << "\n" << run->errorText();
        EXPECT_NE(run->errorText().find("(unstable)"), std::string::npos);
        run->signal(SIGTERM);
        run->wait();
    }
}

} // namespace
